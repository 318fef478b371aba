// The whole <windows.h> first, min and max macros included, then the SDK.
#include <windows.h>

#include <korvan/korvan.h>
#include <tessel/tessel.h>

#include <gtest/gtest.h>

TEST(HeadersBesideWindows, FullWindowsFirst) {
    tagPOINT p{-7, 9};
    POINT& same = p;
    EXPECT_EQ(same.x, -7);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_EQ(dcb.DCBlength, 28u);
}
