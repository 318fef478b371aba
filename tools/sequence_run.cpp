#include "tools/sequence_run.h"

#include "tools/report.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <thread>

namespace tools {
namespace {

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

// The library calls this during the image transfer; it cannot carry context, hence the static.
bool showProgress = false;
bool Progress(int sent, int total) {
    if (showProgress) DrawProgress("upload", sent, total);
    return interrupted == 0;  // Ctrl-C cancels a long upload too
}

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

// True when a line (Enter) arrived on standard input.
bool EnterPressed() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return false;
    char buf[256];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    return n > 0;
}

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

}  // namespace

void CatchInterrupts() {
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

RunReport RunSequence(Korvan& korvan, const sequence_file::DefinedSequence& defined, const RunSettings& settings) {
    RunReport report;
    std::vector<SequenceObject*> elements = defined.compiled.file.Pointers();
    showProgress = !settings.quiet && ::isatty(STDERR_FILENO);
    korvan.SetSendingDataFct(Progress);
    const auto began = std::chrono::steady_clock::now();
    unsigned int r =
        korvan.UploadSequence(elements.data(), static_cast<unsigned int>(elements.size()), &report.sequenceNumber);
    korvan.SetSendingDataFct(nullptr);
    if (interrupted) {
        report.interrupted = true;
        return report;
    }
    if (r == korvan::ResultSequenceInvalid) defined.compiled.ThrowIfFailed();
    if (r != 0) throw DeviceError(std::string("upload failed: ") + sequence_file::ResultName(r), r);
    report.imageBytes = defined.compiled.analysis.image.size();
    if (!settings.quiet) std::printf("uploaded %zu bytes as sequence %u\n", report.imageBytes, report.sequenceNumber);

    if ((r = korvan.StartSequence(report.sequenceNumber, settings.input, settings.trigger, settings.runs)) != 0)
        throw DeviceError(std::string("start failed: ") + sequence_file::ResultName(r), r);
    if (!settings.quiet)
        std::printf("started%s\n",
                    settings.input == NoInput ? "" : (" on input " + std::to_string(settings.input)).c_str());
    std::fflush(stdout);
    if (!settings.wait) return report;

    State state = Running, shown = Idle;
    unsigned int counter = 0, shownRun = 0;
    bool triggered = settings.virtualDevice == nullptr || settings.input == NoInput;
    while (true) {
        if (interrupted) {
            korvan.Stop();
            SwitchLasersOff(korvan, defined);
            report.interrupted = true;
            if (!settings.quiet) std::printf("interrupted: sequence stopped, lasers switched off\n");
            break;
        }
        if ((r = korvan.GetState(&state, &counter)) != 0) throw DeviceError("the device stopped answering", r);
        if (!IsSequenceActive(state)) {
            report.ended = true;
            break;
        }
        if (!settings.quiet && (state != shown || counter != shownRun)) {
            std::printf("  %s%s\n", StateText(state),
                        counter ? (" (run " + std::to_string(counter) + ")").c_str() : "");
            if (state == WaitingForUser) std::printf("  press Enter to go on\n");
            std::fflush(stdout);
            shown = state;
            shownRun = counter;
        }
        if (state == WaitingForUser) {
            report.waitedForUser = true;
            if (EnterPressed() && (r = korvan.AcknowledgeWaitForUser()) != 0)
                throw DeviceError("the device refused the acknowledgement", r);
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
