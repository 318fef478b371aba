#include <korvan/calibration/calibration.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class CalibrationFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("korvan-cal-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "laser.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Text() const {
        std::ifstream in(path_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const std::string& text) const { std::ofstream(path_) << text; }
    fs::path dir_;
    std::string path_;
};

TEST_F(CalibrationFile, SixteenPointTableGivesTheExpectedFile) {
    Calibration c;
    ASSERT_EQ(c.SaveCalibration(path_.c_str()), 0u);
    // New keys go directly below their heading, so the point keys appear last-written first.
    std::string expected = " [Spot]\n ScanStepSize=100\n [Calibration]\n";
    const char* grid[] = {"0.000000", "21845.000000", "43690.000000", "65535.000000"};
    for (int i = 15; i >= 0; --i) {
        std::string p = " P" + std::to_string(i);
        expected += p + "DevY=" + grid[i / 4] + "\n" + p + "DevX=" + grid[i % 4] + "\n" + p + "CamY=" + grid[i / 4] +
                    "\n" + p + "CamX=" + grid[i % 4] + "\n";
    }
    expected += " PointCNT=16\n";
    EXPECT_EQ(Text(), expected);
    EXPECT_FALSE(fs::exists(path_ + ".saving"));
}

TEST_F(CalibrationFile, RoundTripsIntegersExactlyAndFractionsToSixDecimals) {
    Calibration c(9);
    c.scanStepSize = 37;
    for (unsigned int i = 0; i < 9; ++i) {
        ASSERT_EQ(c.SetCalibrationPoint(i, RPOINTF(10.0 * i, 20.0 * i), RPOINTF(1000.0 * i, 7000.0 * i)), 0u);
    }
    ASSERT_EQ(c.SaveCalibration(path_.c_str()), 0u);
    Calibration loaded;
    ASSERT_EQ(loaded.LoadCalibration(path_.c_str()), 0u);
    EXPECT_TRUE(loaded == c);
    EXPECT_EQ(loaded.scanStepSize, 37u);

    ASSERT_EQ(c.SetCalibrationPoint(4, RPOINTF(12.125, 0.5), RPOINTF(100.25, 3.75)), 0u);
    ASSERT_EQ(c.SaveCalibration(path_.c_str()), 0u);
    ASSERT_EQ(loaded.LoadCalibration(path_.c_str()), 0u);
    EXPECT_FLOAT_EQ(loaded.calibrationPoints[4].camera.x, 12.125f);
    EXPECT_FLOAT_EQ(loaded.calibrationPoints[4].device.y, 3.75f);
}

TEST_F(CalibrationFile, LoadFailuresNameTheirCause) {
    Calibration c;
    EXPECT_EQ(c.LoadCalibration((dir_ / "missing.ini").string().c_str()), 5u);
    Write("[Calibration]\nPointCNT=16\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 5u);  // no Spot section
    Write("[Spot]\nScanStepSize=0\n[Calibration]\nPointCNT=16\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 5u);
    Write("[Spot]\nScanStepSize=wide\n[Calibration]\nPointCNT=16\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 5u);
    Write("[Spot]\nScanStepSize=12\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 5u);
    EXPECT_EQ(c.scanStepSize, 12u);  // taken before the missing section was noticed
    Write("[Spot]\nScanStepSize=12\n[Calibration]\nPointCNT=\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 5u);
    Write("[Spot]\nScanStepSize=12\n[Calibration]\nPointCNT=10\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 2u);
    Write("[Spot]\nScanStepSize=12\n[Calibration]\nPointCNT=121\n");
    EXPECT_EQ(c.LoadCalibration(path_.c_str()), 2u);  // more points than a file can name
    EXPECT_EQ(c.pointCount, 16u);
    EXPECT_EQ(c.LoadCalibration(nullptr), 2u);
}

// A step size is loaded only when a save could write it back: saving formats it as a signed int.
TEST_F(CalibrationFile, StepSizesASaveCannotWriteBackFailToLoad) {
    struct Case {
        const char* text;
        unsigned int result;
        unsigned int stepSize;  // after the load; 55 is the value before it
    };
    const Case cases[] = {
        {"1", 0, 1},
        {"2147483647", 0, 2147483647u},
        {" +2147483647 steps", 0, 2147483647u},
        {"2147483648", 5, 55},
        {"3000000000", 5, 55},
        {"4294967295", 5, 55},
        {"4294967297", 5, 55},  // would wrap to 1
        {"9223372036854775808", 5, 55},
        {"99999999999999999999999", 5, 55},
        {"-4294967295", 5, 55},  // strtoul would turn this into 1
        {"-1", 5, 55},
    };
    for (const Case& c : cases) {
        Write(std::string("[Spot]\nScanStepSize=") + c.text + "\n[Calibration]\nPointCNT=4\n");
        Calibration loaded;
        loaded.scanStepSize = 55;
        EXPECT_EQ(loaded.LoadCalibration(path_.c_str()), c.result) << c.text;
        EXPECT_EQ(loaded.scanStepSize, c.stepSize) << c.text;
        if (c.result != 0) continue;
        // What was accepted survives a save and a second load.
        ASSERT_EQ(loaded.SaveCalibration(path_.c_str()), 0u) << c.text;
        Calibration again;
        EXPECT_EQ(again.LoadCalibration(path_.c_str()), 0u) << c.text;
        EXPECT_TRUE(again == loaded) << c.text;
    }
}

TEST_F(CalibrationFile, MissingPointKeysReadAsZero) {
    Write("[Spot]\nScanStepSize=3\n[Calibration]\nPointCNT=4\nP1DevX=5.5\n");
    Calibration c;
    ASSERT_EQ(c.LoadCalibration(path_.c_str()), 0u);
    EXPECT_EQ(c.pointCount, 4u);
    EXPECT_EQ(c.calibrationPoints[1].device.x, 5.5f);
    EXPECT_EQ(c.calibrationPoints[3].device.x, 0.0f);
}

TEST_F(CalibrationFile, DecimalPointDoesNotFollowTheApplicationsLocale) {
    struct RestoreLocale {
        std::string name = std::setlocale(LC_NUMERIC, nullptr);
        ~RestoreLocale() { std::setlocale(LC_NUMERIC, name.c_str()); }
    } restore;
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr && *std::localeconv()->decimal_point == ',') {
            comma = true;
            break;
        }
    }
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed";

    Calibration c(4);
    ASSERT_EQ(c.SetCalibrationPoint(1, RPOINTF(12.125, 0.5), RPOINTF(100.25, 3.75)), 0u);
    ASSERT_EQ(c.SaveCalibration(path_.c_str()), 0u);
    EXPECT_NE(Text().find(" P1CamX=12.125000\n"), std::string::npos) << Text();

    Write("[Spot]\nScanStepSize=3\n[Calibration]\nPointCNT=4\nP1CamX=12.125\nP1DevY= +3.75\n");
    Calibration loaded;
    ASSERT_EQ(loaded.LoadCalibration(path_.c_str()), 0u);
    EXPECT_EQ(loaded.calibrationPoints[1].camera.x, 12.125f);
    EXPECT_EQ(loaded.calibrationPoints[1].device.y, 3.75f);
}

TEST_F(CalibrationFile, AFailedSaveLeavesTheOldFile) {
    Write("old content\n");
    Calibration big(121);
    EXPECT_EQ(big.SaveCalibration(path_.c_str()), 2u);
    EXPECT_EQ(Text(), "old content\n");
    fs::create_directories(path_ + ".saving");  // the temporary file cannot be created
    Calibration c;
    EXPECT_EQ(c.SaveCalibration(path_.c_str()), 2u);
    EXPECT_EQ(Text(), "old content\n");
    EXPECT_EQ(c.SaveCalibration((dir_ / "no" / "such" / "dir.ini").string().c_str()), 2u);
}

}  // namespace
