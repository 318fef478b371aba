// Builds a small sequence of points and a line, uploads it, runs it and follows it to its end,
// then prints what the device did. It brings its own virtual device (in this process, running in
// real time), so it needs no hardware; the executed timeline is that device's record of every
// mirror move and laser switch, in device microseconds.
//
//   ./run_sequence
#include <korvan/korvan.h>
#include <sim/virtual_scanner.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {

// Prints each step of the upload: the image goes out in pieces with progress reports.
bool Progress(int sent, int total) {
    if (sent == total && total > 100) std::printf("sent %d of %d image bytes\n", sent, total);
    return true;  // false would cancel the upload
}

}  // namespace

int main() {
    sim::ScannerOptions options;
    options.timeScale = 1;  // device time runs as on the real device
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
    scanner.SetSendingDataFct(Progress);

    // A continuous laser on laser output 1: 100 us to switch on, 50 us to go dark, driven by its
    // line alone (no intensity range).
    LaserSettings settings;
    settings.switchOnDelay = 100;
    settings.switchOffDelay = 50;
    settings.maxIntensity = 0;
    unsigned int laser = 0;
    scanner.AddLaser(settings, &laser);

    // Two points in device coordinates, then a line; each starts when the one before ends.
    SequencePoint first(20000, 20000), second(40000, 20000);
    SequenceLine line(20000, 40000, 20500, 40000);  // camera pixels = device units here
    first.useCalibration = second.useCalibration = 0;
    first.repeatCount = 19;  // 20 ticks of light
    line.repeatCount = 1;    // scanned twice
    SequenceObject* elements[] = {&first, &second, &line};
    unsigned int tick = 0;
    for (SequenceObject* e : elements) {
        e->laserIds[0] = laser;
        e->startTick = tick;
        unsigned int duration = 0, light = 0;
        scanner.GetTiming(*e, &duration, &light);
        std::printf("element at tick %u: %u ticks, %u of them lit\n", tick, duration, light);
        tick += duration;
    }

    unsigned int bytes = 0;
    scanner.CalcMemoryUsage(elements, 3, &bytes);
    unsigned short number = 0;
    unsigned int result = scanner.UploadSequence(elements, 3, &number);
    if (result != 0) {
        std::printf("upload failed with %u\n", result);
        return 1;
    }
    std::printf("stored as sequence %u (%u bytes)\n", number, bytes);

    if (scanner.StartSequence(number, NoInput, Trigger1, 1) != 0) {
        std::printf("start failed\n");
        return 1;
    }
    State state = Running;
    while (IsSequenceActive(state)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (scanner.GetState(&state) != 0) return 1;
    }
    std::printf("sequence ended; the device did:\n");
    const sim::image::Timeline timeline = device.ExecutedTimeline();
    sim::image::WriteCsvHeader(std::cout);
    sim::image::WriteCsv(std::cout, timeline.Records().data(), timeline.Records().size());

    scanner.RemoveLaser(laser);
    scanner.Disconnect();
    return 0;
}
