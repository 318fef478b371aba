#pragma once
// The virtual device's end of the serial line: the pseudo-terminal and what can go wrong on it
// before a byte reaches a protocol or after a reply has left one. Line noise (a corrupted byte),
// a line that breaks off, unsolicited bytes and a host at the wrong rate all live here, so that
// the responders only ever see the bytes a real device's UART would have delivered.
//
// Not locked itself: the device thread reads and writes without the device's lock, everything
// else runs under it (see VirtualDevice). Only the hang-up flags are shared without the lock.
#include <sim/detail/pty.h>
#include <sim/outgoing.h>
#include <sim/responder.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct LineSettings {
    bool checkLineRate = true;  // bytes sent at another rate than the device's count as garbled
    int staleInputMs = 1000;    // incomplete input older than this is discarded
    bool keepHostBytes = true;  // keep a copy of every byte from the host
};

class Line {
public:
    explicit Line(const LineSettings& settings) : settings_(settings) {}

    // Opens the pseudo-terminal. False (with `error`) when the system refuses.
    bool Open(std::string* error);
    // The line is up for a new run of the device thread: an earlier hang-up is forgotten.
    void Restore();
    // Closes the pseudo-terminal; the host sees the line go away.
    void Close();
    // Marks the line gone, then closes it: a host that sees the hang-up may ask at once.
    void HangUp();
    const std::string& PortName() const { return pty_.portName; }

    // Device thread, without the lock: waits up to `waitMs` for the host's bytes and reads them.
    // The count read, 0 for none, -1 when the line failed.
    long Read(int waitMs, uint8_t* buffer, size_t capacity);
    // Device thread, without the lock: writes `out` in order. False when one of them drops the line.
    bool Send(const std::vector<Outgoing>& out);

    // Bytes read from the host arrive at the device, with the line's faults applied; records the
    // host's rate in `state`.
    void Receive(const uint8_t* data, size_t size, SimState& state);
    // What has arrived and no responder has consumed yet, the oldest first.
    std::vector<uint8_t>& Pending() { return pending_; }
    // Drops pending input (or a transfer held open, `transferHeld`) that has not grown for the
    // stale-input time. True when it did: the responders must forget their half requests.
    bool DiscardStaleInput(bool transferHeld);
    // Unsolicited bytes queued since the last call.
    std::vector<Outgoing> TakeUnsolicited();

    // Faults (see VirtualDevice).
    void CorruptInputByte(size_t n, uint8_t mask);
    void DropAfterInputBytes(size_t n);
    void RequestDrop() { dropRequested_ = true; }
    bool DropRequested() const { return dropRequested_; }
    void SendToHost(const std::vector<uint8_t>& bytes);

    bool Gone() const { return gone_; }
    // The hang-up is complete: the line is closed, so the host's next transfer fails.
    bool HungUp() const { return hungUp_; }
    int HostLineRate() const;
    const std::vector<uint8_t>& BytesFromHost() const { return fromHost_; }
    size_t GarbledBytes() const { return garbled_; }

private:
    using Clock = std::chrono::steady_clock;

    LineSettings settings_;
    detail::Pty pty_;
    std::atomic<bool> gone_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> dropRequested_{false};
    Clock::time_point lastInput_ = Clock::now();
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> fromHost_;
    size_t hostBytes_ = 0;  // received so far, kept or not
    std::vector<Outgoing> unsolicited_;
    size_t corruptAt_ = SIZE_MAX;
    uint8_t corruptMask_ = 0;
    size_t dropLineAt_ = SIZE_MAX;
    size_t garbled_ = 0;
};

}  // namespace sim
