#include <korvan/calibration/calibration.h>
#include <korvan/calibration/calibration_quality.h>
#include <korvan/calibration/camera_region.h>
#include <korvan/device/result_codes.h>
#include <sim/virtual_camera.h>
#include <support/camera_table.h>
#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using korvan::CameraRegion;
using testsupport::TempDir;

using testsupport::Region;

const CameraRegion kFull = Region(0, 0, 1280, 1024, 1);
const CameraRegion kWindow = Region(320, 256, 320, 256, 2);

TEST(CameraRegionFile, RoundTripsBesideTheTableWhichLoadsUnchanged) {
    TempDir dir;
    const std::string path = dir.File("calibration.ini");
    Calibration table(9);
    for (unsigned int i = 0; i < 9; ++i)
        table.SetCalibrationPoint(i, RPOINTF(10.25 + i, 20.5 + 2 * i), RPOINTF(1000.0 + 100 * i, 2000.0 + 50 * i));
    table.scanStepSize = 37;
    for (const CameraRegion& region : {kFull, kWindow, Region(7, 9, 0, 0, 4)}) {
        SCOPED_TRACE(region.left);
        ASSERT_EQ(korvan::SaveCalibrationWithRegion(table, region, path.c_str()), korvan::ResultSuccess);
        CameraRegion read;
        bool stored = false;
        ASSERT_EQ(korvan::LoadCameraRegion(path.c_str(), &read, &stored), korvan::ResultSuccess);
        EXPECT_TRUE(stored);
        EXPECT_EQ(read, region);
        // The table's own loader reads past the new section.
        Calibration loaded(4);
        std::string reason;
        ASSERT_EQ(korvan::LoadCalibrationFile(loaded, path.c_str(), &reason), korvan::ResultSuccess) << reason;
        EXPECT_TRUE(loaded == table);
        EXPECT_FALSE(testsupport::FileExists(path + ".region"));
    }
    // Storing again replaces the section instead of adding a second one.
    const std::string text = testsupport::ReadFile(path);
    EXPECT_EQ(text.find("[Camera]"), text.rfind("[Camera]"));
    EXPECT_NE(text.find("[Spot]"), std::string::npos);
    EXPECT_NE(text.find("ScanStepSize=37"), std::string::npos);
}

TEST(CameraRegionFile, FileWithoutTheSectionIsTheFullSensorNotStored) {
    TempDir dir;
    const std::string path = dir.File("old.ini");
    Calibration table(4);
    ASSERT_EQ(table.SaveCalibration(path.c_str()), korvan::ResultSuccess);
    CameraRegion read = kWindow;
    bool stored = true;
    ASSERT_EQ(korvan::LoadCameraRegion(path.c_str(), &read, &stored), korvan::ResultSuccess);
    EXPECT_FALSE(stored);
    EXPECT_EQ(read, CameraRegion());
    EXPECT_EQ(read.binning, 1);
}

TEST(CameraRegionFile, RefusesWhatCannotBeARegion) {
    TempDir dir;
    const std::string path = dir.File("cal.ini");
    CameraRegion read;
    bool stored = false;
    std::string reason;
    EXPECT_EQ(korvan::LoadCameraRegion(path.c_str(), &read, &stored, &reason), korvan::ResultNotPossibleNow);
    EXPECT_NE(reason.find("cannot read"), std::string::npos);
    EXPECT_EQ(korvan::StoreCameraRegion(path.c_str(), kFull), korvan::ResultNotPossibleNow);
    EXPECT_FALSE(testsupport::FileExists(path));
    EXPECT_EQ(korvan::StoreCameraRegion(nullptr, kFull), korvan::ResultInvalidArgument);
    EXPECT_EQ(korvan::SaveCalibrationWithRegion(Calibration(4), Region(0, 0, 0, 0, 0), path.c_str()),
              korvan::ResultInvalidArgument);
    EXPECT_EQ(korvan::SaveCalibrationWithRegion(Calibration(4), Region(-1, 0, 0, 0, 1), path.c_str()),
              korvan::ResultInvalidArgument);

    struct Case {
        const char* camera;
        const char* key;
    } cases[] = {
        {"SensorLeft=1\nSensorTop=2\nImageWidth=3\nImageHeight=4\n", "Binning"},
        {"SensorLeft=1\nSensorTop=2\nImageWidth=3\nImageHeight=4\nBinning=0\n", "Binning"},
        {"SensorLeft=x\nSensorTop=2\nImageWidth=3\nImageHeight=4\nBinning=1\n", "SensorLeft"},
        {"SensorLeft=1\nSensorTop=-2\nImageWidth=3\nImageHeight=4\nBinning=1\n", "SensorTop"},
        {"SensorLeft=1\nSensorTop=2\nImageWidth=3.5\nImageHeight=4\nBinning=1\n", "ImageWidth"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        testsupport::WriteFile(path, std::string("[Spot]\nScanStepSize=1\n[Camera]\n") + c.camera);
        read = kWindow;
        EXPECT_EQ(korvan::LoadCameraRegion(path.c_str(), &read, &stored, &reason), korvan::ResultNotPossibleNow);
        EXPECT_NE(reason.find(c.key), std::string::npos) << reason;
        EXPECT_EQ(read, kWindow);
    }
}

// The point of storing the region: a table recorded in one image serves images taken at another
// region or binning, once their pixels go through full-sensor coordinates.
TEST(CameraRegionFile, TableFromOneRegionAimsSpotsSeenAtAnother) {
    sim::VirtualDevice device;  // never started: only the camera's mapping is used
    const sim::VirtualCamera camera(device);
    const struct {
        CameraRegion recorded, seen;
    } pairs[] = {{kFull, kWindow}, {kWindow, kFull}, {kWindow, Region(100, 50, 540, 460, 2)}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(std::to_string(pair.recorded.binning) + " -> " + std::to_string(pair.seen.binning));
        Calibration table = testsupport::TableAt(camera, pair.recorded);
        double worstConverted = 0, leastRaw = 1e9;
        // Targets inside both images: the window covers sensor pixels 320..959 x 256..767.
        for (double x : {26000.0, 32000.0, 38000.0}) {
            for (double y : {27000.0, 33000.0, 37500.0}) {
                const RPOINTF seen = testsupport::SpotInImage(camera, pair.seen, RPOINTF(x, y));
                const RPOINTF converted = korvan::ConvertCameraPoint(pair.seen, pair.recorded, seen);
                const RPOINTF aimed = table.DeviceCoordinates(converted);
                const RPOINTF raw = table.DeviceCoordinates(seen);
                worstConverted = std::max(worstConverted, std::hypot(aimed.x - x, aimed.y - y));
                leastRaw = std::min(leastRaw, std::hypot(raw.x - x, raw.y - y));
            }
        }
        // 80 device units is one camera pixel; the table's grid and the lens distortion cost less.
        EXPECT_LT(worstConverted, 80);
        EXPECT_GT(leastRaw, 2000);
    }
}

}  // namespace

namespace {

// The predicted camera point is what the page draws the leave-one-out arrow to: a point moved
// off its place must be predicted back where its neighbours say it belongs.
TEST(CalibrationQualityPrediction, PointsBackToWhereTheNeighboursPutAPoint) {
    Calibration table(9);
    for (unsigned int i = 0; i < 9; ++i) {
        const double col = i % 3, row = i / 3;
        table.SetCalibrationPoint(i, RPOINTF(100 + 50 * col, 200 + 40 * row), RPOINTF(10000 * col, 10000 * row));
    }
    CalibrationQuality quality = AssessCalibration(table);
    for (const CalibrationPointQuality& p : quality.points) {
        ASSERT_GE(p.leaveOneOutPixels, 0);
    }
    EXPECT_NEAR(quality.points[4].predictedCameraX, 150, 1e-6);
    EXPECT_NEAR(quality.points[4].predictedCameraY, 240, 1e-6);
    table.SetCalibrationPoint(4, RPOINTF(157, 236), RPOINTF(10000, 10000));
    quality = AssessCalibration(table);
    EXPECT_NEAR(quality.points[4].predictedCameraX, 150, 1e-6);
    EXPECT_NEAR(quality.points[4].predictedCameraY, 240, 1e-6);
    EXPECT_NEAR(quality.points[4].leaveOneOutPixels, std::hypot(7, 4), 1e-6);
}

}  // namespace
