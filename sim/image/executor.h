#pragma once
// Runs a decoded image in device time.
//
// Clock. Device time is counted in microseconds from the start command. A run's slot at tick k
// runs at base + (k + loop offsets) x tick time, where base is the device time at which the run
// began, shifted by every pause; the main and the output list share that clock, and at equal
// times the main list goes first.
//
// Loops. Ticks in an image are absolute, as if every loop were unrolled. Each loop counter
// number has a register per list. A jump that meets an unloaded register loads it with its count;
// if the register is then above 0 it is decremented, the jump is taken and (jump tick + 1 -
// target tick) is added to that counter's offset, so the repeated slots run later by one pass of
// the loop; otherwise the jump falls through, the register is unloaded and its offset removed
// (the slots after the loop already count the repetitions in their ticks). A count of 0 never
// jumps; a loop nested in another runs fully again on each outer pass. A taken jump ends its
// slot: actions behind it in the same slot run only when it falls through. A slot whose time has
// already passed (an image whose ticks behind a loop leave out its repetitions) runs at once, so
// device time never runs backwards.
//
// Waits. A wait for an input holds while the input is not at the level its trigger asks for:
// trigger 1 waits for high, trigger 2 for low (level-sensitive, so an input already at that
// level lets it pass at once). A wait for the user holds until AcknowledgeUser(). While anything
// holds, the whole schedule pauses: the time held is added to the base of both lists, and the
// remaining actions of the waiting slot run at the release.
//
// Runs. The start input (0 to 3) holds the first run by the same rule as a wait for an input;
// 255 starts at once. A list ends when its end action runs (at its end tick + 1); a run ends when
// both lists have ended, and the next run begins at that moment. `runs` 0 repeats until Stop(),
// n runs n times. Run() is the number of the current run, counting from 1 (0 before the first).
#include <sim/image/decoded_image.h>
#include <sim/image/timeline.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace sim::image {

/// Where executed output actions go (the device's output state); all optional to implement.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void SetLine(uint8_t line, uint8_t level) {}
    virtual void PulseLine(uint8_t line) {}
    /// Channels 2 and 3 are the X and Y mirrors.
    virtual void SetAnalog(uint8_t channel, uint16_t value) {}
};

/// The arguments of a start command and the device state the run begins with.
struct StartParams {
    uint16_t sequenceNumber = 0;
    uint8_t input = 255;  ///< 0 to 3: the first run waits for this input; above 3: starts at once
    uint8_t trigger = 1;  ///< 1: the input must be high; 2: low
    uint32_t runs = 1;    ///< 0: until stopped
    uint32_t tickTimeUs = 50;
    std::array<bool, 4> inputs{};  ///< input levels at the start
};

/// What the executor is doing.
enum class Phase { Armed, Running, WaitingInput, WaitingUser, Ended };

class Executor {
public:
    /// Starts at device time 0. `timeline` and `sink` may be null and must outlive the executor.
    Executor(std::shared_ptr<const DecodedImage> image, const StartParams& params, Timeline* timeline,
             OutputSink* sink = nullptr);

    /// Runs every slot due at or before device time `nowUs`, but at most `maxSlots` slots
    /// (end records count). True when it stopped at that limit with more due.
    bool Advance(uint64_t nowUs, size_t maxSlots = SIZE_MAX);
    /// Device time of the next slot; nothing while holding or ended.
    std::optional<uint64_t> NextDueUs() const;
    /// Device time of the last thing executed or released.
    uint64_t NowUs() const { return nowUs_; }

    /// An input changes level at device time `nowUs` (not before NowUs()); may release a wait.
    void SetInput(int port, bool high, uint64_t nowUs);
    /// Releases a wait for the user at `nowUs`; false when nothing waits for the user.
    bool AcknowledgeUser(uint64_t nowUs);
    /// Ends the run at once.
    void Stop(uint64_t nowUs);

    Phase GetPhase() const { return phase_; }
    /// The input (0 to 3) a wait for an input or the armed start holds for; -1 when nothing does.
    int WaitPort() const {
        return phase_ == Phase::Armed || phase_ == Phase::WaitingInput ? static_cast<int>(waitPort_) : -1;
    }
    /// The trigger that wait asks for: 1 the input high, 2 low.
    uint8_t WaitTrigger() const { return waitTrigger_; }
    uint32_t Run() const { return run_; }
    /// Runs that reached their end (a stopped run does not count).
    uint64_t RunsEnded() const { return runsEnded_; }
    uint16_t SequenceNumber() const { return params_.sequenceNumber; }

private:
    struct Counter {
        bool loaded = false;
        uint32_t remaining = 0;
        uint64_t offsetTicks = 0;
    };
    struct ListState {
        const ActionList* list = nullptr;
        ListId id = ListId::Main;
        size_t slot = 0;                      // next slot; slots.size() means the end record
        size_t action = 0;                    // next action within that slot (after a wait)
        uint64_t offsetTicks = 0;             // sum of the offsets of the loops in progress
        std::array<Counter, 256> counters{};  // by loop counter number
        bool ended = false;
    };

    uint64_t DueUs(const ListState& l) const;
    const ListState* NextList() const;  // the list whose next slot is due first
    void RunSlot(ListState& l, uint64_t at);
    bool InputSatisfied(uint8_t port, uint8_t trigger) const;
    void hold(Phase phase, uint8_t port, uint8_t trigger, uint64_t at);
    void release(uint64_t at);
    void BeginRun(uint64_t at);
    void record(uint64_t at, Event event, ListId list, uint16_t channel, uint32_t value);

    std::shared_ptr<const DecodedImage> image_;
    StartParams params_;
    Timeline* timeline_;
    OutputSink* sink_;
    std::array<ListState, 2> lists_;
    Phase phase_ = Phase::Armed;
    uint32_t run_ = 0;
    uint64_t runsEnded_ = 0;
    uint64_t baseUs_ = 0;  // device time of tick 0 of this run, pauses included
    uint64_t nowUs_ = 0;
    uint64_t heldSinceUs_ = 0;
    ListId waitingList_ = ListId::None;  // None: the start input
    uint8_t waitPort_ = 0;
    uint8_t waitTrigger_ = 0;
};

}  // namespace sim::image
