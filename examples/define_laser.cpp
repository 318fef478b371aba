// Defines a laser, gives it a calibration from camera pixels to mirror positions, stores the
// calibration in an INI file and maps a camera point through it. Needs no device: lasers can be
// defined before connecting.
//
//   ./define_laser [calibration.ini]
#include <korvan/korvan.h>

#include <cstdio>

int main(int argc, char** argv) {
    const char* file = argc > 1 ? argv[1] : "laser1-calibration.ini";
    Korvan scanner;
    // 200 us on, 100 us off, 50 us per intensity change; the rest as LaserSettings has it: laser
    // output 1, analog range 0..100 %, continuous, active high.
    LaserSettings settings;
    settings.switchOnDelay = 200;
    settings.switchOffDelay = 100;
    settings.intensityDelay = 50;
    unsigned int id = 0;
    unsigned int result = scanner.AddLaser(settings, &id);
    if (result != 0) {
        std::printf("AddLaser failed with %u\n", result);
        return 1;
    }
    std::printf("laser %u on laser output 1\n", id);

    // A 3 x 3 grid: a 640 x 480 camera image seen across the middle half of the mirror range.
    Calibration calibration(9);
    for (unsigned int i = 0; i < 9; ++i) {
        double cx = (i % 3) * 320.0, cy = (i / 3) * 240.0;
        calibration.SetCalibrationPoint(i, RPOINTF(cx, cy), RPOINTF(16384 + cx * 51.2, 16384 + cy * 68.2666));
    }
    if (calibration.SaveCalibration(file) != 0) {
        std::printf("cannot write %s\n", file);
        return 1;
    }
    Calibration loaded;
    if (loaded.LoadCalibration(file) != 0) {
        std::printf("cannot read %s\n", file);
        return 1;
    }
    RPOINTF device = loaded.DeviceCoordinates(RPOINTF(160.0, 120.0));
    std::printf("calibration saved to %s; camera (160, 120) -> device (%.0f, %.0f)\n", file, device.x, device.y);
    scanner.RemoveLaser(id);
    return 0;
}
