#pragma once
// Upload, start and follow a built sequence on a connected device: shared by run and demo.
#include <sequence_file/defined_sequence.h>
#include <sim/virtual_device.h>

#include <optional>
#include <string>

namespace tools {

struct RunSettings {
    InputPorts input = NoInput;
    TriggerBehaviour trigger = Trigger1;
    unsigned int runs = 1;
    bool wait = true;    ///< follow the sequence to its end
    bool quiet = false;  ///< no progress or state lines (--json)
    /// When running on a built-in virtual device: it gives the start trigger itself, and Enter
    /// gives a wait for an input its level.
    sim::VirtualDevice* virtualDevice = nullptr;
    /// The virtual device gives every input wait (and the start trigger) its level by itself
    /// (sim::Options::autoInputMs): the run neither triggers nor offers Enter for inputs.
    bool autoInputs = false;
};

struct RunReport {
    unsigned short sequenceNumber = 0;
    size_t imageBytes = 0;
    double wallSeconds = 0;
    bool interrupted = false;  ///< Ctrl-C: stopped, lasers switched off
    int signal = 0;            ///< the signal that interrupted it (SIGINT, SIGTERM)
    bool ended = false;        ///< followed to its end
    bool waitedForUser = false;
};

/// Lets Ctrl-C (SIGINT) and SIGTERM end a run cleanly instead of killing the tool.
void CatchInterrupts();
/// The signal that arrived since CatchInterrupts, or 0.
int InterruptSignal();

/// "idle", "running", "waiting for the user", ... for people.
const char* StateText(State state);

/// Drives every laser line to its off level and every laser's intensity to 0. Which level is
/// "off" is the line's stored default: defining a laser sets it to the laser's off level. Throws
/// DeviceError when a line cannot be switched.
void SwitchAllLasersOff(Korvan& korvan);

/// Uploads `defined` with `progress` (Korvan::SetSendingDataFct: called per block with the bytes
/// sent and the total; false cancels). Returns the sequence number, or nothing when `progress`
/// cancelled it. Throws the file's InputError when the device found it invalid, DeviceError for
/// other failures.
std::optional<unsigned short> UploadDefined(Korvan& korvan, const sequence_file::DefinedSequence& defined,
                                            bool (*progress)(int sent, int total));
/// Starts an uploaded sequence with the settings' input, trigger and runs. Throws DeviceError.
void StartUploaded(Korvan& korvan, unsigned short sequenceNumber, const RunSettings& settings);

/// Uploads with a progress bar on a terminal, starts, and (unless !wait) follows the state until
/// the sequence ends, offering Enter to acknowledge a wait for the user. A wait for an input is
/// announced with the input and level it waits for. On Ctrl-C it stops the sequence and switches
/// every laser of the file off. Throws DeviceError on failures.
RunReport RunSequence(Korvan& korvan, const sequence_file::DefinedSequence& defined, const RunSettings& settings);

/// One line per event kind with its count, and the end time, of an executed timeline.
std::string SummarizeTimeline(const sim::image::Timeline& timeline);

}  // namespace tools
