// Switches two lasers on and off outside a sequence and reads back what the device's outputs do:
// a continuous laser through its line and analog channel, and a pulsed laser, which is lit by a
// pulse sequence on the device and so only through a calibration run (here ended by Stop).
//
// It brings its own virtual device (in this process, in real time) and reads the lines from it;
// real hardware has no read-back of its outputs.
//
//   ./switch_laser
#include <korvan/korvan.h>
#include <sim/virtual_scanner.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

struct Outputs {
    int line1 = 0, line2 = 0;  // laser outputs 1 and 2 (digital lines 6 and 7)
    unsigned int analog1 = 0;  // laser output 1's analog channel
    unsigned int pulses2 = 0;  // pulses given on laser output 2
    bool running = false;      // a sequence runs on the device
};

Outputs ReadOutputs(const sim::VirtualScanner& device) {
    const sim::ScannerOutputs m = device.Outputs();
    Outputs o;
    o.line1 = m.lineLevels[6];
    o.line2 = m.lineLevels[7];
    o.analog1 = m.analog[4];
    o.pulses2 = m.pulseCounts[7];
    o.running = m.runningSequence >= 0;
    return o;
}

void Show(const sim::VirtualScanner& device, const char* after) {
    const Outputs o = ReadOutputs(device);
    std::printf("%-34s line 1 %d, analog 1 %5u | line 2 %d, sequence %s\n", after, o.line1, o.analog1, o.line2,
                o.running ? "running" : "stopped");
}

}  // namespace

int main() {
    sim::ScannerOptions options;
    options.timeScale = 1;  // the pulse sequence runs in real time
    sim::VirtualScanner device(options);
    std::string error;
    if (!device.Start(&error)) {
        std::printf("cannot start the virtual device: %s\n", error.c_str());
        return 1;
    }
    Korvan scanner;
    if (scanner.Connect(device.PortName().c_str()) != 0) {
        std::printf("connect failed\n");
        return 1;
    }

    // Continuous on laser output 1, its analog range 10 % .. 30 % of full scale; pulsed at 1 kHz
    // on laser output 2.
    LaserSettings continuousSettings;
    continuousSettings.switchOnDelay = 100;
    continuousSettings.switchOffDelay = 50;
    continuousSettings.intensityDelay = 20;
    continuousSettings.minIntensity = 1000;
    continuousSettings.maxIntensity = 3000;
    LaserSettings pulsedSettings = continuousSettings;
    pulsedSettings.port = LaserOutput2;
    pulsedSettings.minIntensity = pulsedSettings.maxIntensity = 0;
    pulsedSettings.pulseFrequency = 1000;
    unsigned int continuous = 0, pulsed = 0;
    if (scanner.AddLaser(continuousSettings, &continuous) != 0 || scanner.AddLaser(pulsedSettings, &pulsed) != 0) {
        std::printf("cannot define the lasers\n");
        return 1;
    }
    Show(device, "defined:");

    // Intensity 50 % of the laser's range: 20 % of full scale, 0.2 x 65535.
    unsigned int result = scanner.SetLaserIntensity(continuous, 5000);
    Show(device, "continuous at intensity 5000:");
    result |= scanner.SetLaserONOFF(continuous, 1);
    Show(device, "continuous on:");
    result |= scanner.SetLaserONOFF(continuous, 0);
    Show(device, "continuous off:");
    if (result != 0) {
        std::printf("switching the continuous laser failed\n");
        return 1;
    }

    std::printf("SetLaserONOFF on the pulsed laser: %u (refused: its light is a sequence)\n",
                scanner.SetLaserONOFF(pulsed, 1));
    if ((result = scanner.StartCalibration(4, pulsed)) != 0) {
        std::printf("StartCalibration failed with %u\n", result);
        return 1;
    }
    Show(device, "pulsed on (calibration run):");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const unsigned int pulses = ReadOutputs(device).pulses2;
    std::printf("pulses on laser output 2 after about 100 ms: %s\n", pulses > 50 ? "more than 50" : "too few");
    scanner.Stop();
    Show(device, "pulsed off (Stop):");
    std::printf("sequences left on the device: %u\n", scanner.GetSequenceCount());

    // The device's own record of the pulse train: the time between the first pulses.
    const sim::image::Timeline timeline = device.ExecutedTimeline();
    std::uint64_t first = 0, second = 0;
    int seen = 0;
    for (const sim::image::Record& r : timeline.Records()) {
        if (r.event != sim::image::Event::Pulse) continue;
        (seen == 0 ? first : second) = r.timeUs;
        if (++seen == 2) break;
    }
    if (seen == 2)
        std::printf("first pulse at %llu us, next %llu us later\n", static_cast<unsigned long long>(first),
                    static_cast<unsigned long long>(second - first));

    scanner.RemoveLaser(pulsed);
    scanner.RemoveLaser(continuous);
    scanner.Disconnect();
    return 0;
}
