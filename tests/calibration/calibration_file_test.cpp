#include <korvan/calibration/calibration.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

/// A complete 4-point file in the layout SaveCalibration writes, but with one key's value
/// replaced (or the key left out when `value` is null) and the step size given.
std::string FourPointFile(const std::string& key = "", const char* value = nullptr, const std::string& step = "9") {
    std::string text = "[Spot]\nScanStepSize=" + step + "\n[Calibration]\nPointCNT=4\n";
    const char* coordinates[] = {"CamX", "CamY", "DevX", "DevY"};
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 4; ++k) {
            const std::string name = "P" + std::to_string(i) + coordinates[k];
            const std::string normal = std::to_string(100 * i + 10 * k) + ".500000";
            if (name != key)
                text += name + "=" + normal + "\n";
            else if (value != nullptr)
                text += name + "=" + value + "\n";
        }
    }
    return text;
}

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
    EXPECT_EQ(c.scanStepSize, 100u) << "a refused file changes nothing";
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
        Write(FourPointFile("", nullptr, c.text));
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

// Every value that is not a coordinate refuses the whole file, and the table in force stays.
TEST_F(CalibrationFile, PointValuesThatAreNotCoordinatesRefuseTheFile) {
    struct Case {
        const char* key;
        const char* value;  // null: the key is missing
        const char* reason;
    };
    const Case cases[] = {
        {"P3CamY", nullptr, "P3CamY is missing"},
        {"P0CamX", "", "P0CamX is missing"},
        {"P2DevX", "abc", "P2DevX=abc is not a number"},
        {"P2DevX", "12abc", "not a number"},
        {"P2DevX", "42.3.4", "not a number"},
        {"P2DevX", "1,2,3", "not a number"},
        {"P2DevX", "1.234,5", "not a number"},
        {"P2DevX", "0x10", "not a number"},
        {"P2DevX", "nan", "not a number"},
        {"P2DevX", "inf", "not a number"},
        {"P2DevX", "1e999", "not a number"},
        {"P2DevX", "+-5", "not a number"},
        {"P2DevX", ",", "not a number"},
        {"P1DevX", "65535.5", "P1DevX=65535.5 lies outside the device range 0..65535"},
        {"P1DevY", "-1", "outside the device range"},
        {"P1DevY", "70000", "outside the device range"},
        {"P1CamX", "-0.5", "P1CamX=-0.5 is a negative camera pixel"},
        {"P1CamY", "1e39", "negative camera pixel"},  // beyond a float
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "(missing)"));
        Write(FourPointFile(c.key, c.value));
        Calibration table(9);
        table.scanStepSize = 55;
        ASSERT_EQ(table.SetCalibrationPoint(4, RPOINTF(1.25, 2.5), RPOINTF(3.0, 4.0)), 0u);
        const Calibration before = table;
        std::string reason;
        EXPECT_EQ(korvan::LoadCalibrationFile(table, path_.c_str(), &reason), 5u);
        EXPECT_NE(reason.find("calibration file " + path_ + ": "), std::string::npos) << reason;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_TRUE(table == before) << "the table in force stays";
        EXPECT_EQ(table.LoadCalibration(path_.c_str()), 5u);
        EXPECT_TRUE(table == before);
    }
    // The file they were made from loads.
    Write(FourPointFile());
    Calibration table;
    ASSERT_EQ(table.LoadCalibration(path_.c_str()), 0u);
    EXPECT_EQ(table.calibrationPoints[3].device.y, 330.5f);
}

TEST_F(CalibrationFile, AFileWithOnePointLeftFailsToLoad) {
    // What a truncated or hand-edited file looks like: 15 of 16 points gone.
    Write(
        "[Spot]\nScanStepSize=100\n[Calibration]\nPointCNT=16\nP0CamX=10\nP0CamY=10\nP0DevX=2000\nP0DevY="
        "2000\n");
    Calibration table;
    std::string reason;
    EXPECT_EQ(korvan::LoadCalibrationFile(table, path_.c_str(), &reason), 5u);
    EXPECT_NE(reason.find("P1CamX is missing"), std::string::npos) << reason;
    EXPECT_TRUE(table == Calibration()) << "still the identity grid";
}

// Stored files may come from a program in a decimal-comma locale.
TEST_F(CalibrationFile, ADecimalCommaReadsAsADecimalPoint) {
    const std::pair<const char*, float> cases[] = {
        {"42,356", 42.356f}, {" +3,75", 3.75f}, {"0,5", 0.5f}, {"65535,000000", 65535.0f}, {"7", 7.0f}};
    for (const auto& [text, value] : cases) {
        Write(FourPointFile("P2DevX", text));
        Calibration table;
        ASSERT_EQ(table.LoadCalibration(path_.c_str()), 0u) << text;
        EXPECT_EQ(table.calibrationPoints[2].device.x, value) << text;
    }
}

TEST_F(CalibrationFile, UnreadableFilesSayWhy) {
    Calibration table;
    std::string reason;
    const std::string missing = (dir_ / "missing.ini").string();
    EXPECT_EQ(korvan::LoadCalibrationFile(table, missing.c_str(), &reason), 5u);
    EXPECT_EQ(reason, "cannot read calibration file " + missing + ": no such file");
    EXPECT_EQ(korvan::LoadCalibrationFile(table, dir_.string().c_str(), &reason), 5u);
    EXPECT_EQ(reason, "cannot read calibration file " + dir_.string() + ": it is a directory");
    Write("[Spot]\nScanStepSize=3\n");
    EXPECT_EQ(korvan::LoadCalibrationFile(table, path_.c_str(), &reason), 5u);
    EXPECT_EQ(reason, "calibration file " + path_ + ": the section [Calibration] is missing");
    Write("[Spot]\nScanStepSize=3\n[Calibration]\nPointCNT=10\n");
    EXPECT_EQ(korvan::LoadCalibrationFile(table, path_.c_str(), &reason), 2u);
    EXPECT_NE(reason.find("PointCNT=10 is not a point count"), std::string::npos) << reason;
    EXPECT_EQ(korvan::LoadCalibrationFile(table, nullptr, nullptr), 2u);
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

    Calibration loaded;
    ASSERT_EQ(loaded.LoadCalibration(path_.c_str()), 0u);
    EXPECT_TRUE(loaded == c);
    Write(FourPointFile("P1DevY", "3,75"));  // and a comma still reads as a decimal separator
    ASSERT_EQ(loaded.LoadCalibration(path_.c_str()), 0u);
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
