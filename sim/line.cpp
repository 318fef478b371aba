// The virtual device's serial line: the pseudo-terminal and the faults that happen on it.
#include <sim/line.h>

#include <thread>

namespace sim {
namespace {
constexpr int kWriteTimeoutMs = 2000;
}  // namespace

bool Line::Open(std::string* error) { return detail::OpenPty(&pty_, error); }

void Line::Restore() {
    gone_ = false;
    hungUp_ = false;
    dropRequested_ = false;
    lastInput_ = Clock::now();
}

void Line::Close() {
    if (detail::PtyOpen(pty_)) detail::ClosePty(&pty_);
}

void Line::HangUp() {
    gone_ = true;
    Close();
    hungUp_ = true;
}

long Line::Read(int waitMs, uint8_t* buffer, size_t capacity) {
    if (detail::WaitReadable(pty_, waitMs) != detail::WaitResult::Readable) return 0;
    return detail::ReadAvailable(pty_, buffer, capacity);
}

bool Line::Send(const std::vector<Outgoing>& out) {
    for (const Outgoing& o : out) {
        if (o.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.delayMs));
        if (o.dropLine) return false;
        if (!o.bytes.empty() && !detail::WriteAll(pty_, o.bytes.data(), o.bytes.size(), kWriteTimeoutMs))
            break;  // the host stopped reading; it will see a missing reply
    }
    return true;
}

void Line::Receive(const uint8_t* data, size_t size, SimState& state) {
    state.hostLineRate = detail::HostBaudRate(pty_);
    // A UART at another rate than the sender's reads garbage, which no protocol may see. A line
    // without a rate (a pipe) cannot be at the wrong one.
    const bool garbled = settings_.checkLineRate && state.hostLineRate != 0 && state.hostLineRate != state.lineRate;
    for (size_t i = 0; i < size; ++i) {
        uint8_t byte = data[i];
        if (hostBytes_ == corruptAt_) byte ^= corruptMask_;
        if (settings_.keepHostBytes) fromHost_.push_back(byte);
        if (++hostBytes_ == dropLineAt_) dropRequested_ = true;
        if (garbled)
            ++garbled_;
        else
            pending_.push_back(byte);
        if (dropRequested_) break;  // nothing after the break in the line arrives
    }
    lastInput_ = Clock::now();
}

bool Line::DiscardStaleInput(bool transferHeld) {
    if (pending_.empty() && !transferHeld) return false;
    if (Clock::now() - lastInput_ <= std::chrono::milliseconds(settings_.staleInputMs)) return false;
    pending_.clear();
    return true;
}

std::vector<Outgoing> Line::TakeUnsolicited() {
    std::vector<Outgoing> out;
    out.swap(unsolicited_);
    return out;
}

void Line::CorruptInputByte(size_t n, uint8_t mask) {
    corruptAt_ = hostBytes_ + n;
    corruptMask_ = mask;
}

void Line::DropAfterInputBytes(size_t n) {
    dropLineAt_ = hostBytes_ + n;
    if (n == 0) dropRequested_ = true;
}

void Line::SendToHost(const std::vector<uint8_t>& bytes) { unsolicited_.push_back(Outgoing{bytes, 0, false}); }

int Line::HostLineRate() const { return detail::PtyOpen(pty_) ? detail::HostBaudRate(pty_) : 0; }

}  // namespace sim
