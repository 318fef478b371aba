// korvan demo: the main job on a built-in virtual device (or on real hardware with --hardware):
// discover, connect, calibrate a laser with the virtual camera, run a sequence of points, a line
// and shapes, summarise what the device executed and draw a preview.
#include "tools/commands/command.h"
#include "tools/detail/demo_sequence.h"
#include "tools/device_demo.h"
#include "tools/discovery.h"
#include "preview/preview_files.h"
#include "tools/report.h"
#include "tools/connect_device.h"
#include "tools/sequence_run.h"
#include "tools/virtual_host.h"

#include <korvan/korvan.h>
#include <sim/sim_options.h>
#include <sim/virtual_camera.h>

#include <cstdio>

namespace tools {
namespace {

constexpr int kProbeTimeoutMs = 500;

struct Options {
    bool hardware = false;
    std::string preview = "korvan-demo.svg", dose = "korvan-demo-dose.png";
};

// Discovery as an application does it: every listed port asked through the bootloader.
std::string Discover() {
    const std::vector<std::string> ports = ListPorts();
    std::printf("Ports found: %zu\n", ports.size());
    std::string first;
    int found = 0;
    const std::vector<std::optional<FoundDevice>> identities = IdentifyAll(ports, kProbeTimeoutMs);
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i];
        if (identities[i]) {
            std::printf("%s", Describe(*identities[i]).c_str());
            if (first.empty()) first = port;
            ++found;
        } else {
            std::printf("No bootloader answered on %s\n", port.c_str());
        }
    }
    std::printf("Devices identified: %d\n\n", found);
    return first;
}

// A calibration run as in the lab: the beam visits a 4 x 4 grid, the virtual camera finds the spot,
// each pair is recorded; then the table is judged. The laser is defined for the run only, so the
// sequence file's lasers keep their outputs.
void CalibrateWithCamera(Korvan& korvan, sim::VirtualDevice& device) {
    constexpr unsigned int kGrid = 4, kFirst = 4000, kSpacing = 19178;
    sim::VirtualCamera camera(device, sim::CameraMapping{});
    LaserSettings settings;
    settings.switchOnDelay = 200;
    settings.switchOffDelay = 100;
    settings.intensityDelay = 50;
    unsigned int laser = 0;
    if (unsigned int r = korvan.AddLaser(settings, &laser)) throw DeviceError("cannot define the calibration laser", r);
    korvan.SetLaserIntensity(laser, 2000);
    std::printf("\nCalibration with the virtual camera (%u points):\n", kGrid * kGrid);
    unsigned int r = korvan.StartCalibration(kGrid * kGrid, laser);
    for (unsigned int i = 0; r == 0 && i < kGrid * kGrid; ++i) {
        r = korvan.MoveAbsolute(kFirst + (i % kGrid) * kSpacing, kFirst + (i / kGrid) * kSpacing);
        const sim::CameraSpot spot = camera.Look();
        if (r == 0 && !spot.visible) r = korvan::ResultNotPossibleNow;
        if (r == 0) r = korvan.SetCalibrationPoint(i, RPOINTF(spot.x, spot.y));
    }
    if (r != 0) {
        korvan.Stop();
        korvan.RemoveLaser(laser);
        throw DeviceError("calibration run failed", r);
    }
    RPOINTF centre;
    korvan.GetDeviceCoordinates(RPOINTF(640.0, 512.0), &centre, laser);
    const sim::CameraPoint truth = camera.CameraToDevice(640.0, 512.0);
    std::printf("  camera pixel (640, 512) -> mirrors (%.0f, %.0f), true (%.0f, %.0f); spot after the run: %s\n",
                centre.x, centre.y, truth.x, truth.y, camera.Look().visible ? "visible" : "gone (laser off)");
    korvan.RemoveLaser(laser);
}

int Run(const Options& o, const std::vector<std::string>& simArgs) {
    sim::Options options;
    options.timeScale = 1;  // the demo runs in device time, as the hardware would
    std::vector<std::string> rest;
    std::string error;
    if (!sim::ParseIdentityOptions(simArgs, &options.identity, &rest, &error)) throw UsageError(error);
    if (!rest.empty()) throw UsageError("unknown argument " + rest.front() + " (try korvan demo --help)");
    std::unique_ptr<VirtualHost> host;
    if (!o.hardware) {
        host = std::make_unique<VirtualHost>(options);
        std::printf("Virtual device started on %s\n", host->PortName().c_str());
    }
    const std::string port = Discover();
    if (port.empty()) throw DeviceError("no device found");
    if (RunDeviceDemo() != 0) return kExitDevice;

    std::printf("\nSequence: %s\n", kDemoSequenceName);
    sequence_file::SequenceFile file = sequence_file::ParseSequenceText(kDemoSequence, ".");
    file.path = kDemoSequenceName;
    CatchInterrupts();
    Korvan korvan;
    ConnectTo(korvan, port);
    if (host) CalibrateWithCamera(korvan, host->Device());
    sequence_file::ApplyFileTiming(korvan, file);
    {
        const sequence_file::DefinedSequence defined(korvan, std::move(file));
        const sequence_file::CompiledSequence& built = defined.compiled;
        built.ThrowIfFailed();
        std::printf("  %zu elements, %zu laser(s), ends at tick %llu, image %zu bytes\n", built.file.elements.size(),
                    built.file.lasers.size(), built.endTick, built.analysis.image.size());
        RunSettings settings;
        settings.virtualDevice = host ? &host->Device() : nullptr;
        const RunReport report = RunSequence(korvan, defined, settings);
        if (report.interrupted) return kExitDevice;
        std::printf("sequence %u ended after %.2f s\n", report.sequenceNumber, report.wallSeconds);
        if (host) std::printf("%s", SummarizeTimeline(host->Device().ExecutedTimeline()).c_str());
        const preview::BeamTrace trace = preview::WritePreview(built, o.preview, o.dose);
        std::printf("preview: %s (beam paths), %s (light dose); %s lit\n", o.preview.c_str(), o.dose.c_str(),
                    FormatMicroseconds(static_cast<double>(trace.litUs)).c_str());
    }
    if (unsigned int r = korvan.Disconnect()) throw DeviceError("disconnect failed", r);
    std::printf("Demo finished\n");
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_flag("--hardware", o->hardware,
                 "use real devices found on the serial ports instead of the built-in virtual device");
    app.add_option("--preview", o->preview, "where to write the preview picture (SVG)")->capture_default_str();
    app.add_option("--dose", o->dose, "where to write the light dose map (PNG)")->capture_default_str();
    app.allow_extras();
    app.footer("Virtual device options:\n" + sim::IdentityOptionsHelp());
    return [o, &app] { return Guarded("demo", "", false, [o, &app] { return Run(*o, app.remaining()); }); };
}

}  // namespace

const Command kDemoCommand = {
    "demo",
    "The main job on a built-in virtual device: discover it, connect, define a laser, run a sequence "
    "with points, a line and shapes, summarise the executed timeline and write a preview. No real "
    "serial port is touched unless --hardware is given.",
    Setup};

}  // namespace tools
