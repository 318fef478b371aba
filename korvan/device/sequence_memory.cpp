#include <korvan/device/detail/memory.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/process_state.h>

namespace korvan::detail {
namespace {

constexpr std::size_t kTableRecordSize = 6;  // number BE16, size BE32
constexpr std::uint8_t kDeleteUnknownSequence = 0x01;

}  // namespace

unsigned int GetSequenceCount(Session& session) {
    RefreshState(session);
    if (session.state == NotConnected) return 0;
    auto& table = ProcessWide().sequenceTable;
    table.clear();

    const auto count = Exchange(session.Line(), Request(kSequenceCount));
    if (!count.Done()) return 0;
    const std::size_t n = count.At<2>(2);
    const auto listing =
        Exchange(session.Line(), Request(kSequenceTable), kSequenceTable.replyLength + kTableRecordSize * n);
    if (!listing.Done()) return 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t record = kSequenceTable.replyLength + kTableRecordSize * i;
        table.push_back(SequenceMemoryInfo{listing.At<2>(record), listing.At<4>(record + 2)});
    }
    return static_cast<unsigned int>(table.size());
}

unsigned int GetMemoryUsage(unsigned int index, SequenceMemoryInfo* info) {
    const auto& table = ProcessWide().sequenceTable;
    if (info == nullptr || index >= table.size()) return ResultInvalidArgument;
    *info = table[index];
    return ResultSuccess;
}

unsigned int GetAvailableMemory(Session& session, unsigned int* freeBytes, unsigned int* largestBlock) {
    if (freeBytes == nullptr) return ResultInvalidArgument;
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    const auto reply = Exchange(session.Line(), Request(kMemoryStatus));
    if (!reply.Done()) return ResultCommunicationError;
    *freeBytes = reply.At<4>(2);
    if (largestBlock != nullptr) *largestBlock = reply.At<4>(6);
    return ResultSuccess;
}

unsigned int DefragmentMemory(Session& session) {
    if (unsigned int r = RequireState(session, {Idle})) return r;
    return ResultOf(Exchange(session.Line(), Request(kDefragment)));
}

unsigned int DeleteSequence(Session& session, unsigned short sequenceNumber) {
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    const auto reply = Exchange(session.Line(), Request(kDeleteSequence).U16(sequenceNumber));
    // The device answers 0x01 for a number it does not hold: it is gone either way.
    const bool gone = reply.Done() || (reply.outcome == Outcome::Refused && reply.Status() == kDeleteUnknownSequence);
    return gone ? ResultSuccess : ResultCommunicationError;
}

}  // namespace korvan::detail
