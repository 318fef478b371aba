// The calibration gate of check, preview and run: what it says about each laser's table, and
// which tables stop a verb.
#include "support/temp_dir.h"
#include "tools/calibration_gate.h"
#include "tools/report.h"

#include <korvan/calibration/calibration.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using testsupport::TempDir;

/// A 3 x 3 table of a straight camera, 50 device units per pixel; `swapped` exchanges the camera
/// points of two neighbours, which folds their cells.
Calibration Table(bool swapped) {
    Calibration table(9);
    for (unsigned int i = 0; i < 9; ++i) {
        const double x = 1000 + (i % 3) * 30000.0, y = 2000 + (i / 3) * 30000.0;
        table.SetCalibrationPoint(i, RPOINTF(x / 50, y / 50), RPOINTF(x, y));
    }
    if (swapped) std::swap(table.calibrationPoints[0].camera, table.calibrationPoints[1].camera);
    return table;
}

struct Outcome {
    std::string printed;
    std::string refusal;  // the InputError's pointer and message, empty when the verb may go on
};

class CalibrationGate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Table(false).SaveCalibration(dir_.File("good.ini").c_str()), 0u);
        ASSERT_EQ(Table(true).SaveCalibration(dir_.File("folded.ini").c_str()), 0u);
    }

    /// Reads a file with one laser "a" (calibration `calibration`, or none when empty) and one
    /// point at `at` in `units`, and passes it through the gate.
    Outcome Gate(const std::string& calibration, const std::string& units, bool allow) {
        const std::string laser = calibration.empty()
                                      ? R"({ "name": "a", "port": "laser1" })"
                                      : R"({ "name": "a", "port": "laser1", "calibration": ")" + calibration + R"(" })";
        const std::string text = R"({ "units": ")" + units + R"(", "lasers": [ )" + laser +
                                 R"( ], "elements": [ { "type": "point", "at": [600, 600], "laser": "a" } ] })";
        const sequence_file::SequenceFile file = sequence_file::ParseSequenceText(text, dir_.Path());
        Outcome out;
        // A real file rather than a memory stream: open_memstream is POSIX only.
        const std::string printed = dir_.File("printed.txt");
        std::FILE* stream = std::fopen(printed.c_str(), "w");
        try {
            tools::CheckCalibrations(file, allow, stream);
        } catch (const tools::InputError& e) {
            out.refusal = e.Pointer() + ": " + e.what();
        }
        std::fclose(stream);
        out.printed = testsupport::ReadFile(printed);
        return out;
    }

    TempDir dir_;
};

TEST_F(CalibrationGate, SaysWhatEachTableIsWorthAndStopsAnUnsoundOne) {
    struct Case {
        const char* calibration;
        const char* units;
        bool allow;
        const char* printed;  // a part of what is printed; "" for nothing at all
        const char* refusal;  // a part of the refusal; "" for none
    };
    const Case cases[] = {
        {"good.ini", "camera", false, "9 points, leave-one-out max 0.0 device units", ""},
        {"good.ini", "camera", false, "no folded cell: looks sound", ""},
        {"folded.ini", "camera", false, "1 folded cell at [0]: does not look sound",
         "/lasers/0/calibration: the calibration "},
        {"folded.ini", "camera", false, "(limit: no folded cell and a leave-one-out error below 5 %",
         "or give --allow-unsound-calibration"},
        {"folded.ini", "camera", true, "used anyway (--allow-unsound-calibration)", ""},
        {"folded.ini", "device", false, "does not look sound", "does not look sound"},
        {"", "camera", false, "laser \"a\": no calibration file: camera pixels are taken as device units", ""},
        {"", "device", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.calibration) + ", " + c.units + (c.allow ? ", allowed" : ""));
        const Outcome out = Gate(c.calibration, c.units, c.allow);
        if (*c.printed == '\0') EXPECT_EQ(out.printed, "");
        EXPECT_NE(out.printed.find(c.printed), std::string::npos) << out.printed;
        if (*c.refusal == '\0') EXPECT_EQ(out.refusal, "");
        EXPECT_NE(out.refusal.find(c.refusal), std::string::npos) << out.refusal;
    }
}

TEST_F(CalibrationGate, AMissingCalibrationFileIsNamedAsSuch) {
    const std::string missing = dir_.File("gone.ini");
    try {
        Gate("gone.ini", "camera", true);
        ADD_FAILURE() << "the file was read";
    } catch (const tools::InputError& e) {
        EXPECT_EQ(e.Pointer(), "/lasers/0/calibration");
        EXPECT_EQ(std::string(e.what()), "cannot read calibration file " + missing + ": no such file");
    }
}

}  // namespace
