#pragma once
// How the serial layer's waits map onto a port's time-out record. Pure functions, so the
// mapping is tested on every platform; Windows hands the records to SetCommTimeouts.
#include <tessel/export.h>
#include <tessel/serial/serial_types.h>

#include <cstdint>

namespace tessel::detail {

/// The all-bits-set field value that selects the "return at once" forms of a time-out record.
constexpr std::uint32_t kTimeoutFieldMax = 0xFFFFFFFFu;

/// Record for one system read that waits at most `byteWaitMs` for the first byte and returns as
/// soon as any byte is there, with everything that has arrived (interval and multiplier all bits
/// set, the wait as the total constant). A wait of 0 or less returns at once with what has
/// arrived. Write fields are 0.
TESSEL_API COMMTIMEOUTS ReadTimeouts(int byteWaitMs);

/// Milliseconds one write of `pieceBytes` bytes may take under `record`: multiplier x n +
/// constant. Both 0 would wait for ever; such a piece gets the 1000 + 1000 x n ms a port
/// starts with.
TESSEL_API long long WriteBudgetMs(const COMMTIMEOUTS& record, int pieceBytes);

/// Record for one system write of `pieceBytes` bytes with the budget of WriteBudgetMs as its
/// total constant (multiplier 0), capped below the all-bits value. The read fields ask for
/// "return at once", so a stray read never blocks.
TESSEL_API COMMTIMEOUTS WriteTimeouts(const COMMTIMEOUTS& record, int pieceBytes);

}  // namespace tessel::detail
