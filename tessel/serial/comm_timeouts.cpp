#include <tessel/serial/detail/comm_timeouts.h>

namespace tessel::detail {
namespace {

std::uint32_t CapField(long long ms) {
    if (ms < 0) return 0;
    return ms >= kTimeoutFieldMax ? kTimeoutFieldMax - 1 : static_cast<std::uint32_t>(ms);
}

}  // namespace

COMMTIMEOUTS ReadTimeouts(int byteWaitMs) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = kTimeoutFieldMax;
    if (byteWaitMs > 0) {
        t.ReadTotalTimeoutMultiplier = kTimeoutFieldMax;
        t.ReadTotalTimeoutConstant = CapField(byteWaitMs);
    }
    return t;
}

long long WriteBudgetMs(const COMMTIMEOUTS& record, int pieceBytes) {
    const long long n = pieceBytes < 0 ? 0 : pieceBytes;
    const long long total = static_cast<long long>(record.WriteTotalTimeoutMultiplier) * n +
                            static_cast<long long>(record.WriteTotalTimeoutConstant);
    return total == 0 ? 1000 * n + 1000 : total;
}

COMMTIMEOUTS WriteTimeouts(const COMMTIMEOUTS& record, int pieceBytes) {
    COMMTIMEOUTS t = ReadTimeouts(0);
    t.WriteTotalTimeoutConstant = CapField(WriteBudgetMs(record, pieceBytes));
    return t;
}

}  // namespace tessel::detail
