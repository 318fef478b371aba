#include "support/serial_pty_peer.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace testsupport {
namespace {
constexpr int kPollMs = 10;
constexpr int kWriteWaitMs = 1000;
}  // namespace

std::string Hex(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

PtyPeer::PtyPeer() {
    // The virtual device's own line: raw, kept up between host opens.
    std::string error;
    if (!sim::detail::OpenPty(&line_, &error)) throw std::runtime_error("cannot open the peer's line: " + error);
    open_ = true;
    thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
    sim::detail::ClosePty(&line_);
}

void PtyPeer::Run() {
    std::uint8_t buffer[4096];
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_) return;
            if (closeRequested_ && open_) {
                // Closed here, never under a wait or read of this thread.
                sim::detail::ClosePty(&line_);
                open_ = false;
                cv_.notify_all();
            }
            if (!open_) {
                cv_.wait_for(lock, std::chrono::milliseconds(kPollMs));
                continue;
            }
        }
        if (sim::detail::WaitReadable(line_, kPollMs) != sim::detail::WaitResult::Readable) continue;
        const long n = sim::detail::ReadAvailable(line_, buffer, sizeof buffer);
        if (n <= 0) continue;
        std::unique_lock<std::mutex> lock(mutex_);
        inbox_.insert(inbox_.end(), buffer, buffer + n);
        all_.insert(all_.end(), buffer, buffer + n);
        ServeSteps(lock);
        cv_.notify_all();
    }
}

void PtyPeer::ServeSteps(std::unique_lock<std::mutex>& lock) {
    while (!steps_.empty() && inbox_.size() >= steps_.front().request.size()) {
        Step step = steps_.front();
        steps_.pop_front();
        Bytes got(inbox_.begin(), inbox_.begin() + static_cast<long>(step.request.size()));
        inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<long>(step.request.size()));
        if (got != step.request) {
            problems_.push_back("expected " + Hex(step.request) + " got " + Hex(got));
        }
        if (!step.reply.empty()) {
            lock.unlock();
            if (step.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
            WriteToHost(step.reply);
            lock.lock();
        }
        cv_.notify_all();
    }
}

Bytes PtyPeer::ReadFromHost(std::size_t n, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return inbox_.size() >= n; });
    std::size_t take = std::min(n, inbox_.size());
    Bytes out(inbox_.begin(), inbox_.begin() + static_cast<long>(take));
    inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<long>(take));
    return out;
}

Bytes PtyPeer::DrainFromHost(int quietMs) {
    Bytes out;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::size_t before = inbox_.size();
        cv_.wait_for(lock, std::chrono::milliseconds(quietMs), [&] { return inbox_.size() > before; });
        if (inbox_.size() == before) {
            out.insert(out.end(), inbox_.begin(), inbox_.end());
            inbox_.clear();
            return out;
        }
    }
}

void PtyPeer::WriteToHost(const Bytes& bytes) {
    if (open_ && !bytes.empty()) sim::detail::WriteAll(line_, bytes.data(), bytes.size(), kWriteWaitMs);
}

void PtyPeer::Expect(Bytes request, Bytes reply, int delayMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    steps_.push_back(Step{std::move(request), std::move(reply), delayMs});
    ServeSteps(lock);  // the request may have arrived already
}

std::vector<std::string> PtyPeer::Finish(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return steps_.empty(); });
    std::vector<std::string> problems = problems_;
    for (const Step& step : steps_) problems.push_back("never received " + Hex(step.request));
    return problems;
}

Bytes PtyPeer::AllFromHost() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return all_;
}

unsigned PtyPeer::HostBaudRate() const { return open_ ? static_cast<unsigned>(sim::detail::HostBaudRate(line_)) : 0u; }

void PtyPeer::CloseLine() {
    std::unique_lock<std::mutex> lock(mutex_);
    closeRequested_ = true;
    cv_.wait(lock, [&] { return !open_; });
}

}  // namespace testsupport
