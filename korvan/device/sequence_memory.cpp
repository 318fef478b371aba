#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/process_state.h>

using korvan::detail::Exchange;
using korvan::detail::Request;
using korvan::detail::ResultOf;

namespace {
constexpr std::size_t kTableRecordSize = 6;  // number BE16, size BE32
constexpr std::uint8_t kDeleteUnknownSequence = 0x01;
}  // namespace

unsigned int Korvan::GetSequenceCount() {
    using namespace korvan::detail;
    GetState(&state);
    if (state == NotConnected) return 0;
    auto& table = ProcessWide().sequenceTable;
    table.clear();

    const auto count = Exchange(*port, Request(kSequenceCount));
    if (!count.Done()) return 0;
    const std::size_t n = count.At<2>(2);
    const auto listing = Exchange(*port, Request(kSequenceTable), kSequenceTable.replyLength + kTableRecordSize * n);
    if (!listing.Done()) return 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t record = kSequenceTable.replyLength + kTableRecordSize * i;
        table.push_back(SequenceMemoryInfo{listing.At<2>(record), listing.At<4>(record + 2)});
    }
    return static_cast<unsigned int>(table.size());
}

unsigned int Korvan::GetMemoryUsage(unsigned int index, SequenceMemoryInfo* info) {
    const auto& table = korvan::detail::ProcessWide().sequenceTable;
    if (info == nullptr || index >= table.size()) return korvan::ResultInvalidArgument;
    *info = table[index];
    return korvan::ResultSuccess;
}

unsigned int Korvan::GetAvailableMemory(unsigned int* freeBytes, unsigned int* largestBlock) {
    if (freeBytes == nullptr) return korvan::ResultInvalidArgument;
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    const auto reply = Exchange(*port, Request(korvan::detail::kMemoryStatus));
    if (!reply.Done()) return korvan::ResultCommunicationError;
    *freeBytes = reply.At<4>(2);
    if (largestBlock != nullptr) *largestBlock = reply.At<4>(6);
    return korvan::ResultSuccess;
}

unsigned int Korvan::DefragmentMemory() {
    if (unsigned int r = RequireState({Idle})) return r;
    return ResultOf(Exchange(*port, Request(korvan::detail::kDefragment)));
}

unsigned int Korvan::DeleteSequence(unsigned short sequenceNumber) {
    using korvan::detail::Outcome;
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    const auto reply = Exchange(*port, Request(korvan::detail::kDeleteSequence).U16(sequenceNumber));
    // The device answers 0x01 for a number it does not hold: it is gone either way.
    const bool gone = reply.Done() || (reply.outcome == Outcome::Refused && reply.Status() == kDeleteUnknownSequence);
    return gone ? korvan::ResultSuccess : korvan::ResultCommunicationError;
}
