#include "tools/sequence_run.h"

#include "tools/detail/console.h"
#include "tools/report.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

namespace tools {
namespace {

// The library calls this during the image transfer; it cannot carry context, hence the static.
bool showProgress = false;
bool Progress(int sent, int total) {
    if (showProgress) DrawProgress("upload", sent, total);
    return detail::CaughtInterrupt() == 0;  // Ctrl-C cancels a long upload too
}

}  // namespace

const char* StateText(State s) {
    switch (s) {
    case Idle: return "idle";
    case Running: return "running";
    case ActiveB: return "armed, waiting for the start input";
    case ActiveA: return "waiting for an input";
    case WaitingForUser: return "waiting for the user";
    case ActiveC: return "active";
    case NotReady: return "not ready";
    case Defragmenting: return "defragmenting";
    case Calibrating: return "calibrating";
    case NotConnected: return "not connected";
    }
    return "unknown";
}

namespace {

// Stop leaves the lines where the sequence put them: drive every continuous laser dark (a pulsed
// one is dark once its pulses stop).
void SwitchLasersOff(Korvan& korvan, const sequence_file::DefinedSequence& defined) {
    const std::vector<unsigned int>& ids = defined.LaserIds();
    const sequence_file::SequenceFile& file = defined.compiled.file;
    for (size_t i = 0; i < ids.size() && i < file.lasers.size(); ++i) {
        if (file.lasers[i].pulseFrequency != 0) continue;
        if (unsigned int r = korvan.SetLaserONOFF(ids[i], 0))
            throw DeviceError("stopped, but switching laser \"" + file.lasers[i].name + "\" off failed", r);
    }
}

const char* LevelText(unsigned int trigger) { return trigger == Trigger2 ? "low" : "high"; }

// "input 1 to go high" when the file's waits for an input name one input and level, else the
// inputs they name.
std::string FileWaitText(const sequence_file::DefinedSequence& defined) {
    std::map<unsigned int, unsigned int> waits;  // port -> trigger
    for (const SequenceObject* e : defined.compiled.file.Pointers())
        if (const auto* w = dynamic_cast<const SequenceWaitTTL*>(e)) waits[w->port] = w->trigger;
    if (waits.size() == 1)
        return "input " + std::to_string(waits.begin()->first) + " to go " + LevelText(waits.begin()->second);
    std::string s = "one of inputs";
    for (const auto& [port, trigger] : waits) s += " " + std::to_string(port);
    return s;
}

// What a wait for an input holds for, said so that nobody wonders why nothing happens.
std::string WaitText(const sequence_file::DefinedSequence& defined, const RunSettings& settings, int* virtualPort,
                     bool* virtualHigh) {
    *virtualPort = -1;
    if (settings.virtualDevice == nullptr) return "waiting for " + FileWaitText(defined);
    const sim::RunState run = settings.virtualDevice->GetRunState();
    if (run.waitPort < 0) return "waiting for an input";
    *virtualPort = run.waitPort;
    *virtualHigh = run.waitTrigger != Trigger2;
    return "waiting for input " + std::to_string(run.waitPort) + " to go " + LevelText(run.waitTrigger) +
           (settings.autoInputs ? " (the virtual device sets it shortly)"
                                : ": press Enter to set it on the virtual device (or run with --inputs auto)");
}

// "run 2 of 3", "run 4" (until stopped), or "" for a single run or before the first.
std::string RunText(State state, unsigned int runIndex, unsigned int runs) {
    if (runs == 1 || state == ActiveB) return "";
    // The library counts runs from 0.
    return " (run " + std::to_string(runIndex + 1) + (runs != 0 ? " of " + std::to_string(runs) : "") + ")";
}

}  // namespace

void CatchInterrupts() { detail::CatchInterrupts(); }

int InterruptSignal() { return detail::CaughtInterrupt(); }

namespace {

/// The identifier of the laser defined on `port`, or 0. Identifiers are the smallest free ones,
/// so the defined lasers sit among the first few.
unsigned int LaserOnPort(Korvan& korvan, OutputPorts port) {
    for (unsigned int id = 1; id <= 64; ++id) {
        OutputPorts on = NoOutput;
        if (korvan.GetPortForLaser(id, &on) == 0 && on == port) return id;
    }
    return 0;
}

}  // namespace

void SwitchAllLasersOff(Korvan& korvan) {
    for (OutputPorts port : {LaserOutput1, LaserOutput2, LaserOutput3, LaserOutput4}) {
        int offLevel = 0;
        if (korvan.GetOutputDefault(port, &offLevel) != 0) offLevel = 0;  // the usual active-high line
        LaserSettings settings;
        settings.port = port;
        settings.activeLevel = offLevel == 0 ? 1 : 0;
        unsigned int id = 0;
        // A laser defined on the port (a calibration run's, a running file's) is switched off as
        // it is: the port cannot take a second definition.
        const unsigned int owner = LaserOnPort(korvan, port);
        if (owner != 0) {
            id = owner;
        } else if (unsigned int r = korvan.AddLaser(settings, &id)) {
            throw DeviceError("cannot address laser output " + std::to_string(port - LaserOutput1 + 1), r);
        }
        unsigned int r = korvan.SetLaserONOFF(id, 0);
        if (r == korvan::ResultInvalidArgument && owner != 0) r = 0;  // a pulsed laser: Stop ended its pulses
        if (r == 0 && owner == 0) r = korvan.SetLaserIntensity(id, 0);
        if (owner == 0) korvan.RemoveLaser(id);
        if (r != 0)
            throw DeviceError("cannot switch laser output " + std::to_string(port - LaserOutput1 + 1) + " off", r);
    }
}

std::optional<unsigned short> UploadDefined(Korvan& korvan, const sequence_file::DefinedSequence& defined,
                                            bool (*progress)(int, int)) {
    std::vector<SequenceObject*> elements = defined.compiled.file.Pointers();
    unsigned short number = 0;
    korvan.SetSendingDataFct(progress);
    const unsigned int r = korvan.UploadSequence(elements.data(), static_cast<unsigned int>(elements.size()), &number);
    korvan.SetSendingDataFct(nullptr);
    if (r != 0 && korvan.LastFailure() == korvan::Failure::Cancelled) return std::nullopt;
    if (r == korvan::ResultSequenceInvalid) defined.compiled.ThrowIfFailed();
    if (r != 0) throw DeviceError(std::string("upload failed: ") + KorvanResultText(r), r);
    return number;
}

void StartUploaded(Korvan& korvan, unsigned short sequenceNumber, const RunSettings& settings) {
    if (unsigned int r = korvan.StartSequence(sequenceNumber, settings.input, settings.trigger, settings.runs))
        throw DeviceError(std::string("start failed: ") + KorvanResultText(r), r);
}

RunReport RunSequence(Korvan& korvan, const sequence_file::DefinedSequence& defined, const RunSettings& settings) {
    RunReport report;
    showProgress = !settings.quiet && detail::StandardErrorIsTerminal();
    const auto began = std::chrono::steady_clock::now();
    const std::optional<unsigned short> number = UploadDefined(korvan, defined, Progress);
    if (const int signal = detail::CaughtInterrupt()) {
        report.interrupted = true;
        report.signal = signal;
        return report;
    }
    if (!number) throw DeviceError("upload cancelled");
    report.sequenceNumber = *number;
    report.imageBytes = defined.compiled.analysis.image.size();
    if (!settings.quiet) std::printf("uploaded %zu bytes as sequence %u\n", report.imageBytes, report.sequenceNumber);

    StartUploaded(korvan, report.sequenceNumber, settings);
    if (!settings.quiet)
        std::printf("started%s\n",
                    settings.input == NoInput ? "" : (" on input " + std::to_string(settings.input)).c_str());
    std::fflush(stdout);
    if (!settings.wait) return report;

    State state = Running, shown = Idle;
    unsigned int counter = 0, shownRun = 0;
    unsigned int r = 0;
    bool triggered = settings.virtualDevice == nullptr || settings.input == NoInput || settings.autoInputs;
    int waitPort = -1;  // on a virtual device: the input the current wait holds for
    bool waitHigh = true;
    while (true) {
        if (const int signal = detail::CaughtInterrupt()) {
            korvan.Stop();
            SwitchLasersOff(korvan, defined);
            report.interrupted = true;
            report.signal = signal;
            if (!settings.quiet) std::printf("interrupted: sequence stopped, lasers switched off\n");
            break;
        }
        if ((r = korvan.GetState(&state, &counter)) != 0) throw DeviceError("the device stopped answering", r);
        if (!IsSequenceActive(state)) {
            report.ended = true;
            break;
        }
        if (state != shown || counter != shownRun) {
            if (state == ActiveA) {
                const std::string wait = WaitText(defined, settings, &waitPort, &waitHigh);
                if (!settings.quiet) std::printf("  %s\n", wait.c_str());
            } else if (!settings.quiet) {
                std::printf("  %s%s\n", StateText(state), RunText(state, counter, settings.runs).c_str());
                if (state == WaitingForUser) std::printf("  press Enter to go on\n");
            }
            std::fflush(stdout);
            shown = state;
            shownRun = counter;
        }
        if (state == WaitingForUser) {
            report.waitedForUser = true;
            if (detail::LineEntered() && (r = korvan.AcknowledgeWaitForUser()) != 0)
                throw DeviceError("the device refused the acknowledgement", r);
        }
        if (state == ActiveA && waitPort >= 0 && !settings.autoInputs && detail::LineEntered()) {
            settings.virtualDevice->SetInput(waitPort, waitHigh);
            if (!settings.quiet)
                std::printf("  virtual device: input %d set %s\n", waitPort, waitHigh ? "high" : "low");
            shown = Idle;  // a following wait is announced again
        }
        if (!triggered && state == ActiveB) {
            // Nobody can press the trigger of a built-in device: give it after a short pause.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            settings.virtualDevice->SetInput(static_cast<int>(settings.input), settings.trigger == Trigger1);
            if (!settings.quiet)
                std::printf("  virtual device: input %u set %s\n", settings.input,
                            settings.trigger == Trigger1 ? "high" : "low");
            triggered = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return report;
}

std::string SummarizeTimeline(const sim::image::Timeline& timeline) {
    std::map<std::string, size_t> counts;
    uint64_t end = 0;
    for (const auto& rec : timeline.Records()) {
        ++counts[sim::image::EventName(rec.event)];
        end = std::max<uint64_t>(end, rec.timeUs);
    }
    std::string s = "executed timeline: " + std::to_string(timeline.Records().size()) + " records, last at " +
                    FormatMicroseconds(static_cast<double>(end)) + " device time\n";
    for (const auto& [name, n] : counts)
        s += "  " + name + std::string(name.size() < 14 ? 14 - name.size() : 1, ' ') + std::to_string(n) + "\n";
    if (timeline.Dropped()) s += "  (" + std::to_string(timeline.Dropped()) + " more records not kept)\n";
    return s;
}

}  // namespace tools
