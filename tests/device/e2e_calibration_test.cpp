// Calibration runs against the virtual device, watched by the virtual camera.
#include <support/virtual_device_fixture.h>
#include <support/process_state_guard.h>

#include <korvan/calibration/calibration_quality.h>
#include <korvan/device/detail/laser_lookup.h>
#include <sim/virtual_camera.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

namespace devicetest {
namespace {

constexpr unsigned int kGrid = 4, kFirst = 4000, kStep = 19178;

struct LaserKind {
    const char* name;
    unsigned int minIntensity, maxIntensity, pulseFrequency;
};

class CalibrationRun : public SimTest, public ::testing::WithParamInterface<LaserKind> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // A pulse sequence repeats until stopped: let it run in device real time, not flat out.
        sim.WithResponder<sim::DeviceResponder>([](sim::DeviceResponder* r) { r->Runner().SetTimeScale(1); });
        ConnectByPort(k);
        const LaserKind& kind = GetParam();
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput1, kind.minIntensity, kind.maxIntensity, kind.pulseFrequency, &id),
                  0u);
    }

    Laser& TheLaser() {
        Laser* laser = nullptr;
        korvan::detail::LookUpLaser(id, &laser);
        return *laser;
    }

    /// Nothing lights the scene: no line at its active level, no pulse sequence, no stored one.
    void ExpectDark(const char* when) {
        EXPECT_FALSE(camera.Look().visible) << when;
        EXPECT_EQ(Model([](sim::DeviceModel& m) { return int(m.lineLevels[6]); }), 0) << when;
        EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.memory.Stored().size(); }), 0u) << when;
    }

    /// Moves to grid point i, finds the spot and records it; the result of the recording.
    unsigned int Record(unsigned int i) { return Record(i, camera); }
    unsigned int Record(unsigned int i, sim::VirtualCamera& seer) {
        const unsigned int x = kFirst + (i % kGrid) * kStep, y = kFirst + (i / kGrid) * kStep;
        EXPECT_EQ(k.MoveAbsolute(x, y), 0u);
        const sim::CameraSpot spot = seer.Look();
        EXPECT_TRUE(spot.visible) << "point " << i;
        return k.SetCalibrationPoint(i, RPOINTF(spot.x, spot.y));
    }

    Korvan k;
    unsigned int id = 0;
    sim::VirtualCamera camera{sim};
};

TEST_P(CalibrationRun, MapsCameraPixelsToWithinOneScanStep) {
    EXPECT_EQ(k.StartCalibration(10, id), 2u);
    ExpectDark("after a refused start");
    EXPECT_EQ(StateOf(k), Idle);

    ASSERT_EQ(k.StartCalibration(kGrid * kGrid, id), 0u);
    EXPECT_TRUE(camera.Look().visible);
    const Calibration before = *TheLaser().calibration;
    const double nan = std::nan("");
    const std::pair<RPOINTF, RPOINTF> invalid[] = {{RPOINTF(nan, 1.0), RPOINTF(1.0, 1.0)},
                                                   {RPOINTF(1.0, 1.0), RPOINTF(1.0, static_cast<double>(INFINITY))},
                                                   {RPOINTF(-1.0, 1.0), RPOINTF(1.0, 1.0)},
                                                   {RPOINTF(1.0, 1.0), RPOINTF(65536.0, 1.0)}};
    for (const auto& [cameraPoint, devicePoint] : invalid) {
        EXPECT_EQ(k.SetCalibrationPoint(0, cameraPoint, devicePoint), 2u);
    }
    EXPECT_EQ(k.SetCalibrationPoint(kGrid * kGrid, RPOINTF(1.0, 1.0), RPOINTF(1.0, 1.0)), 2u);
    // That the refused points leave the working table alone is checked on the run itself
    // (CalibrationRunUnit in unit_laser_test.cpp).

    for (unsigned int i = 0; i + 1 < kGrid * kGrid; ++i) ASSERT_EQ(Record(i), 0u);
    EXPECT_TRUE(*TheLaser().calibration == before) << "the table changes only at the last point";
    ASSERT_EQ(Record(kGrid * kGrid - 1), 0u);

    EXPECT_EQ(StateOf(k), Idle);
    ExpectDark("after the run");
    // Camera pixels inside the calibrated field, mapped through the new table.
    const int stepSize = int(TheLaser().calibration->scanStepSize);
    for (double px = 300; px <= 980; px += 85) {
        for (double py = 150; py <= 870; py += 90) {
            RPOINTF mapped;
            ASSERT_EQ(k.GetDeviceCoordinates(RPOINTF(px, py), &mapped, id), 0u);
            const sim::CameraPoint truth = camera.CameraToDevice(px, py);
            EXPECT_LE(std::hypot(mapped.x - truth.x, mapped.y - truth.y), stepSize) << px << ", " << py;
        }
    }
    const CalibrationQuality quality = AssessCalibration(*TheLaser().calibration);
    EXPECT_TRUE(quality.LooksSound()) << quality.leaveOneOutMax;
}

// Spot positions are measured to a fraction of a pixel, and one pixel is 80 device units here:
// a table that keeps whole pixels only misplaces every mapped point by up to that much.
TEST_P(CalibrationRun, ANoiselessRunMapsWithinOneDeviceStep) {
    struct Case {
        const char* name;
        double distortion;
    };
    for (const Case c : {Case{"a straight camera", 0.0}, Case{"a camera with lens distortion", 0.005}}) {
        SCOPED_TRACE(c.name);
        sim::CameraMapping mapping;
        mapping.distortion = c.distortion;
        sim::VirtualCamera seer(sim, mapping);
        ASSERT_EQ(k.StartCalibration(kGrid * kGrid, id), 0u);
        for (unsigned int i = 0; i < kGrid * kGrid; ++i) ASSERT_EQ(Record(i, seer), 0u);
        ASSERT_EQ(StateOf(k), Idle);

        // Between grid points only a straight camera is exactly piecewise affine; with lens
        // distortion the recorded points themselves must still come back.
        const unsigned int step = c.distortion == 0 ? kStep / 8 : kStep;
        double worst = 0;
        for (unsigned int y = kFirst; y <= kFirst + (kGrid - 1) * kStep; y += step) {
            for (unsigned int x = kFirst; x <= kFirst + (kGrid - 1) * kStep; x += step) {
                const sim::CameraPoint pixel = seer.DeviceToCamera(x, y);
                RPOINTF mapped;
                ASSERT_EQ(k.GetDeviceCoordinates(RPOINTF(pixel.x, pixel.y), &mapped, id), 0u);
                worst = std::max({worst, std::fabs(mapped.x - x), std::fabs(mapped.y - y)});
            }
        }
        EXPECT_LE(worst, 1.0);
        const CalibrationQuality quality = AssessCalibration(*TheLaser().calibration);
        EXPECT_TRUE(quality.LooksSound());
    }
}

TEST_P(CalibrationRun, EveryWayOutOfARunSwitchesTheLaserOff) {
    using Handle = std::unique_ptr<Korvan>;
    const std::pair<const char*, std::function<void(Handle&)>> ends[] = {
        {"Stop", [](Handle& device) { EXPECT_EQ(device->Stop(), 0u); }},
        {"Disconnect", [](Handle& device) { EXPECT_EQ(device->Disconnect(), 0u); }},
        {"a new Connect", [this](Handle& device) { EXPECT_EQ(device->Connect(sim.PortName().c_str()), 0u); }},
        {"destruction", [](Handle& device) { device.reset(); }},
    };
    k.Disconnect();  // the port opens once per process
    for (const auto& [name, end] : ends) {
        auto other = std::make_unique<Korvan>(1);  // at 9600 baud: the next object finds it there
        ConnectByPort(*other);
        ASSERT_EQ(other->StartCalibration(4, id), 0u) << name;
        EXPECT_TRUE(camera.Look().visible) << name;
        end(other);
        ExpectDark(name);
    }
}

INSTANTIATE_TEST_SUITE_P(Lasers, CalibrationRun,
                         ::testing::Values(LaserKind{"continuous", 0, 10000, 0}, LaserKind{"pulsed", 0, 0, 1000}),
                         [](const auto& info) { return std::string(info.param.name); });

class CalibrationSupport : public SimTest {};

TEST_F(CalibrationSupport, PulseSequencesStartAtThePulsePeriodInTicks) {
    sim.WithResponder<sim::DeviceResponder>([](sim::DeviceResponder* r) { r->Runner().SetTimeScale(1); });
    Korvan k;
    ConnectByPort(k);
    for (auto [frequency, tick] : {std::pair{1000u, 20u}, std::pair{3000u, 7u}, std::pair{1000000u, 1u}}) {
        unsigned int id = 0;
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput2, 0, 0, frequency, &id), 0u);
        ASSERT_EQ(k.StartCalibration(4, id), 0u);
        const auto slots = Model([](sim::DeviceModel& m) {
            const auto* block = m.memory.Find(static_cast<uint16_t>(m.runningSequence));
            return block != nullptr ? block->decoded->output.slots : std::vector<sim::image::Slot>{};
        });
        ASSERT_EQ(slots.size(), 1u) << frequency;
        EXPECT_EQ(slots[0].tick, tick) << frequency;
        EXPECT_EQ(k.Stop(), 0u);
        EXPECT_EQ(k.RemoveLaser(id), 0u);
    }
}

TEST_F(CalibrationSupport, AFailedLoadKeepsTheTableAndAnUnknownLaserWritesNoFile) {
    Korvan k;
    ConnectByPort(k);
    unsigned int id = 0;
    ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput1, 0, 10000, 0, &id), 0u);
    Laser* laser = nullptr;
    korvan::detail::LookUpLaser(id, &laser);
    laser->calibration->SetCalibrationPoint(5, RPOINTF(100.5, 200.25), RPOINTF(300.0, 400.0));
    const Calibration before = *laser->calibration;

    const std::string file = ::testing::TempDir() + "e2e_calibration_no_table.ini";
    std::ofstream(file) << "[Spot]\nScanStepSize=7\n";
    EXPECT_EQ(k.LoadCalibration(file.c_str(), id), 5u);
    korvan::detail::LookUpLaser(id, &laser);
    EXPECT_TRUE(*laser->calibration == before);
    EXPECT_EQ(laser->calibration->scanStepSize, 100u) << "the step size read before the failure is undone too";

    std::remove(file.c_str());
    EXPECT_EQ(k.SaveCalibration(file.c_str(), id + 1), 2u);
    EXPECT_FALSE(std::ifstream(file).good());
    EXPECT_EQ(k.SaveCalibration(file.c_str(), id), 0u);
    EXPECT_EQ(k.LoadCalibration(file.c_str(), id), 0u);
    std::remove(file.c_str());
}

}  // namespace
}  // namespace devicetest
