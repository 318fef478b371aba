#pragma once
// The device command protocol of the virtual device: the commands a connected host sends once
// the bootloader has identified the device, with the state behind them.
//
// Application mode: the byte 0x1E belongs to both protocols (the bootloader answers 1E 20, the
// device 1E FF). The device protocol claims it only after it has answered a device command, and
// leaves application mode when it answers it (or when a bootloader request arrives).
//
// User data model: the device keeps one block of user data; a write (1 to 60 bytes) replaces the
// whole block, a read returns the block as last written (empty at start).
//
// Sequence memory: see device_memory.h. An announcement (0x3F, image length, main length) reserves
// a block and is answered with the new sequence number; the next image-length bytes are the image.
// It is decoded and checked (sim/image/decoded_image.h): a good image is stored and answered with
// 0xFF, a malformed one is answered with 0x01, its block freed, and it can never run.
// An incomplete image: when the data pauses for longer than the device's stale-input time
// (Options::staleInputMs, 1000 ms by default) before the announced length has arrived, the bytes
// so far are dropped and the reservation freed; the next byte is read as a command again.
//
// Running (see device_sequence_runner.h and sim/image/executor.h for the clock, loops, waits and
// runs): 0x3E starts a stored sequence (status 0x01: unknown number, input neither 0..3 nor 255,
// or trigger not 1 or 2 with an input; 0x03: the block holds no checked image; 0x05: a sequence
// already runs). Executed mirror moves, lines, pulses and analog values change the model; inputs
// are set by VirtualDevice::SetInput (or by the device itself, see SetAutoInputs). Lines and
// analog values the host sets directly (0x38, 0x39, and the lines a reset returns to their
// defaults) go on the executed timeline too, under list "-". With a timeline path the executed timeline also goes to
// that file (device_timeline_file.h). State codes while a sequence is active:
//   1  running                        (host: Running)
//   3  the start waits for its input  (host: ActiveB from firmware 16, Running before)
//   6  a wait for an input holds      (host: ActiveA from firmware 16, Running before)
//   9  a wait for the user holds, firmware 16 and later (host: WaitingForUser);
//   8  the same before firmware 16, whose table has no code 9 (host: Running)
// The acknowledge (0x36) releases a wait for the user whatever the firmware. The sequence counter
// is the number of the current run, from 1 (0 while the start waits for its input); it keeps the
// last run's number after the end. The end, a stop (0x3D) and a reset (0x40) return to idle (0).
#include <sim/device_memory.h>
#include <sim/device_sequence_runner.h>
#include <sim/device_timeline_file.h>
#include <sim/responder.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

/// The device's state behind the command protocol; tests read and set it through
/// VirtualDevice::WithResponder<DeviceResponder>.
struct DeviceModel {
    /// A state code to report instead of the one derived from what runs; -1: none. Code 9 (waits
    /// for the user) is cleared by an acknowledge.
    int forcedStateCode = -1;
    uint8_t errorBits = 0;
    uint32_t sequenceCounter = 0;              ///< reported with the state: the current run (see above)
    uint16_t statusWord = 0;                   ///< reported by firmware 16 and later
    std::array<uint8_t, 10> lineLevels{};      ///< by digital line code (0, 1 TTL; 6..9 lasers)
    std::array<uint8_t, 10> outputDefaults{};  ///< by digital line code
    std::array<uint16_t, 8> analog{};          ///< by analog channel code (2 X, 3 Y, 4..7 lasers)
    std::array<uint32_t, 10> pulseCounts{};    ///< pulses executed, by digital line code
    std::array<bool, 4> inputs{};              ///< trigger input levels (set with SetInput)
    std::string lastImageError;                ///< why the last refused image was refused
    uint32_t tickTime = 50;
    DeviceMemory memory;
    /// State queries that report defragmentation (code 4) after 0x44 before the memory is compacted.
    int defragmentQueries = 2;
    int defragmentQueriesLeft = 0;
    std::vector<uint8_t> userData;
    int runningSequence = -1;
    /// Arguments of the last start command.
    uint8_t startInput = 0, startTrigger = 0;
    uint32_t startRuns = 0;
    bool applicationMode = false;

    uint16_t MirrorX() const { return analog[2]; }
    uint16_t MirrorY() const { return analog[3]; }
};

class DeviceResponder : public Responder, private image::OutputSink {
public:
    long Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) override;
    bool HoldsLine() const override { return imageExpected_ > 0; }
    void Reset() override;

    DeviceModel& Model() { return model_; }
    SequenceRunner& Runner() { return runner_; }

    /// Executes what is due of the running sequence; the wall-clock ms until more is due, 0 for
    /// at once, -1 when nothing is scheduled. Appends to the timeline file when a run has ended.
    int Advance() override;
    /// Creates the timeline file, if there is to be one.
    bool OnStart(std::string* error) override;
    /// Appends what the timeline file still lacks.
    void OnStop() override;
    /// Where the executed timeline is written as CSV; empty (the default): nowhere.
    void SetTimelinePath(std::string path) { timelineFile_.SetPath(std::move(path)); }
    /// Sets trigger input `port` (0 to 3); a wait or a start that waits for it may go on.
    void SetInput(int port, bool high);
    /// With `ms` >= 0 the device gives every wait for an input (and a start that waits for its
    /// input) the level it asks for once it has held `ms` wall-clock milliseconds, as if
    /// someone pressed the trigger; -1 (the default): only SetInput does.
    void SetAutoInputs(int ms) { autoInputMs_ = ms; }

private:
    long Command(const uint8_t* input, size_t size, SimState& state, Reply& reply);
    long Image(const uint8_t* input, size_t size, Reply& reply);
    uint8_t StateCode(unsigned firmwareVersion);
    uint8_t Start(const uint8_t* in);
    void SetLine(uint8_t line, uint8_t level) override;
    void PulseLine(uint8_t line) override;
    void SetAnalog(uint8_t channel, uint16_t value) override;
    void StateReply(const SimState& state, std::vector<uint8_t>& out);
    void FireDueInput();
    /// A line or analog value the host set directly, outside any sequence, on the timeline.
    void RecordDirect(image::Event event, uint8_t channel, uint32_t value);

    DeviceModel model_;
    SequenceRunner runner_;
    TimelineFile timelineFile_;
    uint32_t imageExpected_ = 0;
    uint32_t imageMain_ = 0;
    uint16_t imageNumber_ = 0;
    int autoInputMs_ = -1;
    bool waitSeen_ = false;
    std::chrono::steady_clock::time_point waitSince_{};
};

}  // namespace sim
