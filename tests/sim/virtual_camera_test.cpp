// The virtual camera: its mapping and inverse, when it sees the spot, and repeatable noise.
#include <sim/device_responder.h>
#include <sim/virtual_camera.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

void SetLine(sim::VirtualDevice& device, int line, int level) {
    device.WithResponder<sim::DeviceResponder>([&](sim::DeviceResponder* r) {
        r->Model().lineLevels[static_cast<size_t>(line)] = static_cast<uint8_t>(level);
    });
}

TEST(VirtualCamera, InverseUndoesTheMappingAcrossTheDeviceRange) {
    sim::VirtualDevice device;
    sim::CameraMapping strong;
    strong.rotationDegrees = -40;
    strong.scaleX = 0.02;
    strong.distortion = -0.05;
    for (const sim::CameraMapping& mapping : {sim::CameraMapping{}, strong}) {
        const sim::VirtualCamera camera(device, mapping);
        for (double x = 0; x <= 65535; x += 65535 / 8.0) {
            for (double y = 0; y <= 65535; y += 65535 / 8.0) {
                const sim::CameraPoint pixel = camera.DeviceToCamera(x, y);
                const sim::CameraPoint back = camera.CameraToDevice(pixel.x, pixel.y);
                EXPECT_NEAR(back.x, x, 1e-6) << y;
                EXPECT_NEAR(back.y, y, 1e-6) << x;
            }
        }
    }
}

TEST(VirtualCamera, SeesTheSpotOnlyWhileALaserLineIsAtItsActiveLevel) {
    sim::VirtualDevice device;
    sim::VirtualCamera camera(device);
    EXPECT_FALSE(camera.Look().visible);
    SetLine(device, 0, 1);  // a TTL output lights nothing
    EXPECT_FALSE(camera.Look().visible);
    SetLine(device, 9, 1);  // laser output 4
    const sim::CameraSpot spot = camera.Look();
    ASSERT_TRUE(spot.visible);
    const sim::CameraPoint expected = camera.DeviceToCamera(0, 0);  // the mirrors start at 0, 0
    EXPECT_DOUBLE_EQ(spot.x, expected.x);
    EXPECT_DOUBLE_EQ(spot.y, expected.y);
    camera.SetActiveLevel(4, 0);
    EXPECT_FALSE(camera.Look().visible) << "an active-low laser is dark at level 1";
}

TEST(VirtualCamera, NoiseRepeatsWithTheSeed) {
    sim::VirtualDevice device;
    SetLine(device, 6, 1);
    sim::CameraMapping noisy;
    noisy.noisePixels = 0.5;
    sim::VirtualCamera first(device, noisy), second(device, noisy);
    const sim::CameraPoint exact = first.DeviceToCamera(0, 0);
    double spread = 0;
    for (int i = 0; i < 200; ++i) {
        const sim::CameraSpot a = first.Look(), b = second.Look();
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
        spread += std::hypot(a.x - exact.x, a.y - exact.y) / 200;
    }
    // The mean distance of 2-D Gaussian noise is sigma * sqrt(pi / 2), about 0.63 px here.
    EXPECT_NEAR(spread, 0.5 * std::sqrt(std::acos(-1.0) / 2), 0.1);
}

}  // namespace
