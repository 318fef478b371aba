#include <tessel/config/conversions.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

TEST(ConfigConversions, NumbersToText) {
    EXPECT_EQ(convertInt(-7), "-7");
    EXPECT_EQ(convertInt(INT_MIN), "-2147483648");
    EXPECT_EQ(convertFloat(0.1f), "0.1");
    EXPECT_EQ(convertFloat(-2.0f), "-2");
    EXPECT_EQ(convertFloat(1.5f), "1.5");
    EXPECT_EQ(convertFloat(100.0f), "100");
    EXPECT_EQ(convertFloat(1234567.0f), "1.23457e+06");
    EXPECT_EQ(convertFloat(0.00001f), "1e-05");
    EXPECT_EQ(convertFloat(65535.5f), "65535.5");
    EXPECT_EQ(convertBool(true), "1");
    EXPECT_EQ(convertBool(false), "0");
}

TEST(ConfigConversions, TextToInt) {
    EXPECT_EQ(convertStringToInt("  42abc"), 42);
    EXPECT_EQ(convertStringToInt("abc"), 0);
    EXPECT_EQ(convertStringToInt("-17"), -17);
    EXPECT_EQ(convertStringToInt("+8"), 8);
    EXPECT_EQ(convertStringToInt("3.9"), 3);
    EXPECT_EQ(convertStringToInt(""), 0);
    EXPECT_EQ(convertStringToInt("99999999999"), INT_MAX);
    EXPECT_EQ(convertStringToInt("-99999999999"), INT_MIN);
}

TEST(ConfigConversions, TextToFloat) {
    EXPECT_FLOAT_EQ(convertStringToFloat("65535.000000"), 65535.0f);
    EXPECT_FLOAT_EQ(convertStringToFloat(" -1.5e2xyz"), -150.0f);
    EXPECT_EQ(convertStringToFloat("none"), 0.0f);
    EXPECT_EQ(convertStringToFloat("1e999"), std::numeric_limits<float>::max());
}

TEST(ConfigConversions, OnlyExactTrueIsTrue) {
    EXPECT_TRUE(convertStringToBool("true"));
    for (const char* text : {"True", " true", "true ", "1", "TRUE", "", "yes"}) {
        EXPECT_FALSE(convertStringToBool(text)) << text;
    }
}

}  // namespace
