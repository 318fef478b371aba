// Compiles a sequence without a device and without touching the process's lasers or scan mode:
// the lasers and the timing go in as one settings value, the image and per-element timing come
// out. This is how an application checks or previews what it is about to upload.
//
//   ./compile_offline
#include <korvan/korvan.h>

#include <cstdio>
#include <vector>

int main() {
    // The lasers the elements name by identifier: a dimmable one and a pulsed one.
    std::vector<Laser> lasers(2);
    lasers[0].id = 1;
    lasers[0].port = LaserOutput1;
    lasers[0].switchOnDelay = 200;
    lasers[0].switchOffDelay = 100;
    lasers[0].maxIntensity = 10000;
    lasers[1].id = 2;
    lasers[1].port = LaserOutput2;
    lasers[1].pulseFrequency = 5000;

    korvan::SequenceSettings settings;
    settings.tickTime = 20;  // microseconds per tick
    settings.scanMode = ScanModeDefault;
    settings.lasers = lasers.data();
    settings.laserCount = static_cast<unsigned int>(lasers.size());

    SequencePoint spot(20000, 30000);
    spot.useCalibration = 0;  // device coordinates
    spot.laserIds[0] = 1;
    spot.intensities[0] = 6000;
    spot.repeatCount = 499;  // 500 ticks of light
    SequenceLine sweep(5000, 5000, 60000, 5000);
    sweep.laserIds[0] = 2;
    sweep.startTick = 1000;
    SequenceObject* elements[] = {&spot, &sweep};

    const SequenceAnalysis analysis = korvan::CompileSequence(elements, 2, settings);
    if (analysis.result != 0) {
        std::printf("element %d refused (result %u): %s\n", analysis.failedElement, analysis.result,
                    analysis.reason.c_str());
        return 1;
    }
    for (size_t i = 0; i < analysis.elements.size(); ++i) {
        const SequenceElementTiming& t = analysis.elements[i];
        std::printf("element %zu: start %u, %u ticks, light %u ticks, ends at %llu\n", i, t.startTick, t.duration,
                    t.illumination, t.endTick);
    }
    std::printf("image %zu bytes (main list %u), light %llu ticks = %.1f ms\n", analysis.image.size(),
                analysis.mainListLength, analysis.illuminationTicks,
                analysis.illuminationTicks * settings.tickTime / 1000.0);
    return 0;
}
