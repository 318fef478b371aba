// korvan run FILE: connect, define the lasers, upload, start and follow a sequence file.
#include "tools/calibration_gate.h"
#include "tools/commands/command.h"
#include "tools/report.h"
#include "tools/connect_device.h"
#include "tools/run_length.h"
#include "tools/sequence_run.h"
#include "tools/virtual_host.h"

#include <sim/run_options.h>

#include <cstdio>
#include <regex>

namespace tools {
namespace {

struct Options {
    std::string file, device, timeline, inputs;
    bool virtualDevice = false, noWait = false, json = false, allowUnsoundCalibration = false;
    int input = -1;
    unsigned int trigger = 1, runs = 1;
    double timeScale = 1;
};

int Run(const Options& o) {
    if (o.virtualDevice == !o.device.empty()) throw UsageError("give either --device DEVICE or --virtual");
    if (!o.timeline.empty() && !o.virtualDevice) throw UsageError("--timeline needs --virtual");
    if (o.noWait && o.virtualDevice)
        throw UsageError("--no-wait needs a real device: the virtual one ends with the tool");
    if (!o.inputs.empty() && !o.virtualDevice)
        throw UsageError("--inputs needs --virtual: a real device's inputs are wired to it");
    int autoInputMs = -1;
    std::string inputsError;
    if (!o.inputs.empty() && !sim::ParseInputsMode(o.inputs, &autoInputMs, &inputsError)) throw UsageError(inputsError);
    sequence_file::SequenceFile file =
        sequence_file::ReadSequenceFile(o.file);  // bad input is reported before any device is touched
    CheckCalibrations(file, o.allowUnsoundCalibration, o.json);

    std::unique_ptr<VirtualHost> host;
    if (o.virtualDevice) {
        sim::Options options;
        options.timeScale = o.timeScale;
        options.timelinePath = o.timeline;
        options.autoInputMs = autoInputMs;
        host = std::make_unique<VirtualHost>(options);
    }
    CatchInterrupts();
    Korvan korvan;
    ConnectTo(korvan, o.virtualDevice ? host->PortName() : o.device);
    DeviceInfo info{};
    korvan.GetDeviceInfo(-1, &info);
    if (!o.json)
        std::printf("connected to %s (serial %s, firmware %d)%s\n", info.portName, info.serialNumber,
                    info.firmwareVersion, o.virtualDevice ? ", a built-in virtual device" : "");
    sequence_file::ApplyFileTiming(korvan, file);
    RunReport report;
    {
        const sequence_file::DefinedSequence built(korvan, std::move(file));
        built.compiled.ThrowIfFailed();
        if (const auto longRun = LongRunWarning(built.compiled))
            std::fprintf(stderr, "warning: %s\n", longRun->c_str());
        RunSettings settings;
        if (o.input >= 0) settings.input = static_cast<InputPorts>(o.input);
        settings.trigger = static_cast<TriggerBehaviour>(o.trigger);
        settings.runs = o.runs;
        settings.wait = !o.noWait;
        settings.quiet = o.json;
        settings.virtualDevice = host ? &host->Device() : nullptr;
        settings.autoInputs = autoInputMs >= 0;
        report = RunSequence(korvan, built, settings);
        if (!o.json && report.ended)
            std::printf("sequence %u ended after %.2f s (%u run(s) asked)\n", report.sequenceNumber, report.wallSeconds,
                        o.runs);
    }
    // The device goes on alone, at the raised baud rate of this connection.
    const bool bySerial = std::regex_match(info.serialNumber, std::regex("[0-9]{3}-[0-9]{4}"));
    const std::string stopCommand = std::string("korvan stop ") + (bySerial ? info.serialNumber : info.portName);
    if (o.noWait && !o.json && !report.interrupted)
        std::printf("the sequence goes on without the tool; to end it and switch the lasers off: %s\n",
                    stopCommand.c_str());
    std::string summary;
    if (host) summary = SummarizeTimeline(host->Device().ExecutedTimeline());
    if (!o.noWait) korvan.Disconnect();  // stops and resets the device, back to 9600 baud
    if (o.json) {
        nlohmann::json out = {{"ok", !report.interrupted},         {"file", o.file},
                              {"device", info.portName},           {"sequence", report.sequenceNumber},
                              {"imageBytes", report.imageBytes},   {"ended", report.ended},
                              {"interrupted", report.interrupted}, {"seconds", report.wallSeconds}};
        if (o.noWait) out["stopWith"] = stopCommand;
        if (host) {
            nlohmann::json events = nlohmann::json::object();
            const sim::image::Timeline timeline = host->Device().ExecutedTimeline();
            for (const auto& rec : timeline.Records()) {
                const char* name = sim::image::EventName(rec.event);
                events[name] = events.value(name, 0) + 1;
            }
            out["timeline"] = events;
        }
        PrintJson(out);
    } else if (host) {
        std::printf("%s", summary.c_str());
        if (!o.timeline.empty()) std::printf("timeline written to %s\n", o.timeline.c_str());
    }
    // An interrupted run did what was asked of Ctrl-C; it still did not run to its end, which
    // callers learn from the exit code shells give a program ended by that signal.
    return report.interrupted ? kExitSignalBase + report.signal : kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_option("FILE", o->file, "sequence file (JSON)")->required();
    auto* device = app.add_option("--device", o->device, "port name (ttyUSB0) or serial number of the device");
    app.add_flag("--virtual", o->virtualDevice, "run on a built-in virtual device instead")->excludes(device);
    app.add_option("--input", o->input, "start when this input (0 to 3) triggers")->check(CLI::Range(0, 3));
    app.add_option("--trigger", o->trigger, "1: the input goes high, 2: it goes low")->check(CLI::Range(1, 2));
    app.add_option("--runs", o->runs, "how often the sequence runs (0: until Ctrl-C)");
    app.add_flag("--no-wait", o->noWait, "return once the sequence has started");
    app.add_option("--timeline", o->timeline, "with --virtual: write the executed timeline there as CSV");
    app.add_option("--time-scale", o->timeScale, "with --virtual: 1 real time (default), 0 as fast as possible")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--inputs", o->inputs,
                   "with --virtual: manual (default: Enter sets the input a wait holds for), auto (the virtual "
                   "device sets it after 200 ms) or auto:MS");
    app.add_flag("--json", o->json, "print the result as JSON");
    AddCalibrationOption(app, &o->allowUnsoundCalibration);
    return [o] { return Guarded("run", o->file, o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kRunCommand = {
    "run",
    "Connect, define the lasers, upload a sequence file with a progress bar, start it and follow it "
    "to its end (Enter acknowledges a wait for the user; Ctrl-C stops it, switches the lasers off and exits with "
    "130). With --no-wait the sequence goes on after the tool; korvan stop DEVICE ends it.",
    Setup};

}  // namespace tools
