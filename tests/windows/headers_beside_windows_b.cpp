// The SDK first, then the whole <windows.h> with its min/max macros: no clash either way.
#include <korvan/korvan.h>
#include <tessel/tessel.h>

#include <windows.h>

#include <gtest/gtest.h>

TEST(HeadersBesideWindows, SdkFirstThenFullWindows) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    RECT r{1, 2, 3, 4};
    tagRECT& same = r;
    EXPECT_EQ(same.bottom, 4);
    EXPECT_EQ(EVENPARITY, 2);
    EXPECT_EQ(TWOSTOPBITS, 2);
    EXPECT_EQ(DTR_CONTROL_DISABLE, 0);
}
