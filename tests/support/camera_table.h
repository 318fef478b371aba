#pragma once
// A calibration table recorded without a device: the virtual camera's mapping tells where each grid
// point's spot lands, seen in an image taken at a given camera region. Shared by the calibration
// and studio tests that map points between regions.
#include <korvan/calibration/calibration.h>
#include <korvan/calibration/camera_region.h>
#include <sim/virtual_camera.h>

namespace testsupport {

/// A camera region in one expression: first sensor pixel, image size and binning.
inline korvan::CameraRegion Region(int left, int top, int width, int height, int binning) {
    korvan::CameraRegion r;
    r.left = left, r.top = top, r.width = width, r.height = height, r.binning = binning;
    return r;
}

/// Device position of grid point `index` of a `grid` x `grid` table from `first` to `last` on
/// both axes. The default span stays inside the middle of the sensor, so a table can be recorded
/// in a window of half the sensor's size too.
inline RPOINTF GridDevicePoint(unsigned int grid, unsigned int index, double first = 16000, double last = 49500) {
    const double spacing = (last - first) / (grid - 1);
    return RPOINTF(first + (index % grid) * spacing, first + (index / grid) * spacing);
}

/// Where the spot of device position `device` appears in an image taken at `region`.
inline RPOINTF SpotInImage(const sim::VirtualCamera& camera, const korvan::CameraRegion& region, RPOINTF device) {
    const sim::CameraPoint sensor = camera.DeviceToCamera(device.x, device.y);
    return region.FromSensor(RPOINTF(sensor.x, sensor.y));
}

/// A grid x grid table whose camera points are the spots as an image at `region` shows them.
inline Calibration TableAt(const sim::VirtualCamera& camera, const korvan::CameraRegion& region,
                           unsigned int grid = 5) {
    Calibration table(grid * grid);
    for (unsigned int i = 0; i < grid * grid; ++i) {
        const RPOINTF device = GridDevicePoint(grid, i);
        table.SetCalibrationPoint(i, SpotInImage(camera, region, device), device);
    }
    return table;
}

}  // namespace testsupport
