#include "support/serial_pty_peer.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

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
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    std::string path = ::ptsname(master_);
    portName_ = path.substr(5);  // strip "/dev/"
    slave_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);  // no echo before the host configures its end
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

void PtyPeer::Run() {
    std::uint8_t buffer[4096];
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_) return;
            if (closeRequested_ && master_ >= 0) {
                // Closed here, never under a poll or read of this thread.
                ::close(master_);
                master_ = -1;
                if (slave_ >= 0) ::close(slave_);
                slave_ = -1;
                cv_.notify_all();
            }
            if (master_ < 0) {
                cv_.wait_for(lock, std::chrono::milliseconds(10));
                continue;
            }
        }
        pollfd p{master_, POLLIN, 0};
        int r = ::poll(&p, 1, 10);
        if (r <= 0 || !(p.revents & POLLIN)) continue;
        ssize_t n = ::read(master_, buffer, sizeof buffer);
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
    std::size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return;
        }
    }
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

bool PtyPeer::HostXonXoff() const {
    termios tio{};
    if (::tcgetattr(master_, &tio) != 0) return false;
    return (tio.c_iflag & IXON) != 0;
}

void PtyPeer::CloseLine() {
    std::unique_lock<std::mutex> lock(mutex_);
    closeRequested_ = true;
    cv_.wait(lock, [&] { return master_ < 0; });
}

}  // namespace testsupport
