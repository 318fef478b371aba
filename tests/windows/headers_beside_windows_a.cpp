// <windows.h> first, trimmed: the SDK's Win32-style names must be the system's own.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <korvan/korvan.h>
#include <tessel/tessel.h>

#include <gtest/gtest.h>

#include <type_traits>

static_assert(std::is_same_v<decltype(DCB::BaudRate), DWORD>, "DCB must be the system's");
static_assert(std::is_same_v<decltype(COMMTIMEOUTS::ReadIntervalTimeout), DWORD>, "COMMTIMEOUTS must be the system's");
static_assert(std::is_same_v<tagPOINT, POINT>, "tagPOINT must be the system's POINT");
static_assert(std::is_same_v<tagRECT, RECT>, "tagRECT must be the system's RECT");

TEST(HeadersBesideWindows, WindowsFirstLeanWithoutMinMax) {
    DCB dcb{};
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    POINT p{3, 4};
    EXPECT_EQ(Vector2f(p).y, 4.0f);
    EXPECT_EQ(std::max(1, 2), 2);  // NOMINMAX left std::max alone
}
