#pragma once
// What an executed sequence did, in device time.
//
// Each record is one thing that happened, stamped with the device time in microseconds since
// the start command was accepted. Memory is bounded: a timeline keeps its first Capacity()
// records (1,048,576 by default, 16 bytes each) and only counts the ones after that (Dropped()),
// so a sequence started with runs 0 cannot exhaust memory.
//
// CSV form (WriteCsv), one record a line after the header line "time_us,event,list,channel,value":
//   time_us  device time in microseconds
//   event    run_start, run_end, list_end, stop, mirror_x, mirror_y, line, pulse, analog,
//            wait_input, wait_user, wait_released, jump
//   list     main, output, or - for records that belong to no list (among them the lines and
//            analog values the host set directly, outside a sequence)
//   channel, value by event:
//     run_start, run_end, stop  sequence number, run number (1-based)
//     list_end                  0, the list's end tick
//     mirror_x, mirror_y        analog channel (2 or 3), mirror position
//     line                      digital line code, level
//     pulse                     digital line code, 0
//     analog                    analog channel code (4 to 7), value
//     wait_input                input port (0 to 3), trigger behaviour (list - : the start trigger)
//     wait_user                 0, the wait's 16-bit value
//     wait_released             input port or 255 for a user wait, microseconds it held
//     jump                      loop counter number, tick of the target slot
#include <sim/export.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

namespace sim::image {

/// What a timeline record reports.
enum class Event : uint8_t {
    RunStart,
    RunEnd,
    ListEnd,
    Stop,
    MirrorX,
    MirrorY,
    Line,
    Pulse,
    Analog,
    WaitInput,
    WaitUser,
    WaitReleased,
    Jump,
};

/// The list a record belongs to.
enum class ListId : uint8_t { Main, Output, None };

/// One executed step; see the header comment for the meaning of `channel` and `value`.
struct Record {
    uint64_t timeUs = 0;
    Event event = Event::RunStart;
    ListId list = ListId::None;
    uint16_t channel = 0;
    uint32_t value = 0;

    bool operator==(const Record& o) const {
        return timeUs == o.timeUs && event == o.event && list == o.list && channel == o.channel && value == o.value;
    }
};

/// The records of executed sequences, oldest first, bounded in memory.
class KORVAN_SIM_API Timeline {
public:
    static constexpr size_t kDefaultCapacity = size_t{1} << 20;

    explicit Timeline(size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    /// Appends `record`, or counts it as dropped when the timeline is full.
    void Add(const Record& record);
    /// Forgets all records and the dropped count.
    void Clear();

    const std::vector<Record>& Records() const { return records_; }
    /// Records that did not fit.
    uint64_t Dropped() const { return dropped_; }
    size_t Capacity() const { return capacity_; }
    void SetCapacity(size_t capacity) { capacity_ = capacity; }

private:
    size_t capacity_;
    std::vector<Record> records_;
    uint64_t dropped_ = 0;
};

/// The event's name as written in the CSV form.
KORVAN_SIM_API const char* EventName(Event event);
/// "main", "output" or "-".
KORVAN_SIM_API const char* ListName(ListId list);

/// Writes the CSV header line.
KORVAN_SIM_API void WriteCsvHeader(std::ostream& out);
/// Writes `count` records starting at `first` as CSV lines.
KORVAN_SIM_API void WriteCsv(std::ostream& out, const Record* first, size_t count);

}  // namespace sim::image
