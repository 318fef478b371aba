#pragma once
// A scripted device on the virtual device's line (a pseudo-terminal, or a named pipe on
// Windows): a test plays the device byte by byte and states the exact bytes the host must
// send. Either script it with Expect() or read and write by hand; do not mix both on one peer.
#include <sim/detail/pty.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    /// Name the host opens, such as "pts/7" or "\\.\pipe\korvan-sim-12-0".
    const std::string& PortName() const { return line_.portName; }

    /// Waits up to timeoutMs for n bytes from the host; returns what arrived (maybe fewer).
    Bytes ReadFromHost(std::size_t n, int timeoutMs = 2000);
    /// Everything the host sends until it has been quiet for quietMs.
    Bytes DrainFromHost(int quietMs = 50);
    void WriteToHost(const Bytes& bytes);

    /// Script step, served in order by the peer's thread: when the host has sent `request`
    /// (compared byte for byte), answer `reply` after delayMs. An empty reply answers nothing.
    void Expect(Bytes request, Bytes reply, int delayMs = 0);
    /// Waits until every step was served; returns the problems (empty when all went as scripted).
    std::vector<std::string> Finish(int timeoutMs = 3000);

    /// Every byte the host has sent so far.
    Bytes AllFromHost() const;
    /// Baud rate the host has configured on its end of the line (0 on a pipe, which has none).
    unsigned HostBaudRate() const;
#if !defined(_WIN32)
    /// Whether the host has XON/XOFF enabled on its end (a pseudo-terminal's mode flags).
    bool HostXonXoff() const;
#endif
    /// The line goes away: the device end closes, so host reads and writes fail.
    void CloseLine();

private:
    struct Step {
        Bytes request;
        Bytes reply;
        int delayMs;
    };
    void Run();
    void ServeSteps(std::unique_lock<std::mutex>& lock);

    sim::detail::Pty line_;  // closed only by the peer thread, on request
    std::atomic<bool> open_{false};
    bool closeRequested_ = false;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    Bytes inbox_;
    Bytes all_;
    std::deque<Step> steps_;
    std::vector<std::string> problems_;
    bool stop_ = false;
    std::thread thread_;
};

std::string Hex(const Bytes& bytes);

}  // namespace testsupport
