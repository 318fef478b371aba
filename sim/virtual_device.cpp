#include <sim/virtual_device.h>
#include <sim/device_responder.h>

#include <algorithm>
#include <chrono>
#include <fstream>

namespace sim {
namespace {
constexpr int kPollMs = 10;
constexpr int kWriteTimeoutMs = 2000;
using Clock = std::chrono::steady_clock;
}  // namespace

VirtualDevice::VirtualDevice(Options options) : options_(std::move(options)) {
    state_.identity = options_.identity;
    auto bootloader = std::make_unique<BootloaderResponder>();
    bootloader_ = bootloader.get();
    responders_.push_back(std::move(bootloader));
    auto device = std::make_unique<DeviceResponder>();
    device_ = device.get();
    device_->Runner().SetTimeScale(options_.timeScale);
    device_->Runner().Timeline().SetCapacity(options_.timelineCapacity);
    responders_.insert(responders_.begin(), std::move(device));
    // Further protocols register here with AddResponder(...); they are asked before the bootloader.
}

VirtualDevice::VirtualDevice(const Identity& identity) : VirtualDevice(Options{identity}) {}

VirtualDevice::~VirtualDevice() { Stop(); }

void VirtualDevice::AddResponder(std::unique_ptr<Responder> responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responders_.insert(responders_.end() - 1, std::move(responder));
}

bool VirtualDevice::Start(std::string* error) {
    if (thread_.joinable()) return true;
    if (!detail::OpenPty(&pty_, error)) return false;
    if (!options_.timelinePath.empty()) {
        auto file = std::make_unique<std::ofstream>(options_.timelinePath, std::ios::trunc);
        if (!*file) {
            if (error) *error = "cannot write the timeline file " + options_.timelinePath;
            detail::ClosePty(&pty_);
            return false;
        }
        image::WriteCsvHeader(*file);
        file->flush();
        timelineFile_ = std::move(file);
    }
    stop_ = false;
    lineGone_ = false;
    dropRequested_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void VirtualDevice::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    closeLine();
    writeTimeline();
}

void VirtualDevice::closeLine() {
    if (pty_.master >= 0) detail::ClosePty(&pty_);
}

void VirtualDevice::run() {
    std::vector<uint8_t> buffer(4096);
    auto lastInput = Clock::now();
    int pollMs = kPollMs;
    while (!stop_) {
        bool lineFailed = false;
        if (detail::WaitReadable(pty_.master, pollMs) == detail::WaitResult::Readable) {
            long n = detail::ReadAvailable(pty_.master, buffer.data(), buffer.size());
            if (n < 0) lineFailed = true;
            if (n > 0) {
                receive(buffer.data(), static_cast<size_t>(n));
                lastInput = Clock::now();
            }
        }
        std::vector<Outgoing> out;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            out.swap(unsolicited_);
            process(out);
            const bool held =
                std::any_of(responders_.begin(), responders_.end(), [](auto& r) { return r->HoldsLine(); });
            if ((!pending_.empty() || held) &&
                Clock::now() - lastInput > std::chrono::milliseconds(options_.staleInputMs)) {
                pending_.clear();
                for (auto& r : responders_) r->Reset();
            }
            if (dropRequested_) out.push_back(Outgoing{{}, 0, true});
            pollMs = advanceSequence();
        }
        for (const Outgoing& o : out) {
            if (o.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.delayMs));
            if (o.dropLine) {
                lineFailed = true;
                break;
            }
            if (!o.bytes.empty() && !detail::WriteAll(pty_.master, o.bytes.data(), o.bytes.size(), kWriteTimeoutMs))
                break;  // the host stopped reading; it will see a missing reply
        }
        if (lineFailed) {
            std::lock_guard<std::mutex> lock(mutex_);
            lineGone_ = true;  // before the close: a host that sees the hang-up may ask at once
            closeLine();
            return;
        }
    }
}

int VirtualDevice::advanceSequence() {
    const int due = device_->Advance();
    if (timelineFile_ && device_->Runner().RunsEnded() != timelineRunsWritten_) writeTimeline();
    return due < 0 ? kPollMs : std::min(due, kPollMs);
}

void VirtualDevice::writeTimeline() {
    if (!timelineFile_) return;
    timelineRunsWritten_ = device_->Runner().RunsEnded();
    device_->Runner().WriteNewRecords(*timelineFile_);
    timelineFile_->flush();
}

void VirtualDevice::SetInput(int port, bool high) {
    std::lock_guard<std::mutex> lock(mutex_);
    device_->SetInput(port, high);
}

image::Timeline VirtualDevice::ExecutedTimeline() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_->Runner().Timeline();
}

void VirtualDevice::ClearTimeline() {
    std::lock_guard<std::mutex> lock(mutex_);
    device_->Runner().Timeline().Clear();
}

RunState VirtualDevice::GetRunState() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_->Runner().State();
}

bool VirtualDevice::WaitUntilIdle(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!GetRunState().active) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void VirtualDevice::receive(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.hostLineRate = detail::HostBaudRate(pty_.master);
    const bool garbled = options_.checkLineRate && state_.hostLineRate != state_.lineRate;
    for (size_t i = 0; i < size; ++i) {
        uint8_t byte = data[i];
        if (hostBytes_ == corruptAt_) byte ^= corruptMask_;
        if (options_.keepHostBytes) fromHost_.push_back(byte);
        if (++hostBytes_ == dropLineAt_) dropRequested_ = true;
        if (garbled)
            ++garbled_;
        else
            pending_.push_back(byte);
        if (dropRequested_) break;  // nothing after the break in the line arrives
    }
}

void VirtualDevice::process(std::vector<Outgoing>& out) {
    while (!pending_.empty() && !dropRequested_) {
        Responder* holder = nullptr;
        for (auto& r : responders_)
            if (r->HoldsLine()) holder = r.get();
        Reply reply;
        long consumed = Responder::kNotMine;
        for (auto& r : responders_) {
            if (holder != nullptr && r.get() != holder) continue;
            reply = Reply{};
            consumed = r->Offer(pending_.data(), pending_.size(), state_, reply);
            if (consumed != Responder::kNotMine) break;
        }
        if (consumed == Responder::kIncomplete) return;
        if (consumed == Responder::kNotMine) {
            ++unclaimed_;
            pending_.erase(pending_.begin());
            continue;
        }
        if (reply.request == kAnyRequest) reply.request = pending_[0];
        const size_t n = std::min(static_cast<size_t>(consumed), pending_.size());
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
        ++state_.requestCounts[reply.request];

        Outgoing outgoing;
        if (auto rule = state_.faults.Take(reply.request)) applyFault(*rule, reply, outgoing);
        outgoing.bytes.insert(outgoing.bytes.end(), reply.bytes.begin(), reply.bytes.end());
        const bool dropLine = outgoing.dropLine;
        if (!outgoing.bytes.empty() || dropLine) out.push_back(std::move(outgoing));
        if (dropLine) {
            dropRequested_ = true;
            return;
        }
    }
}

void VirtualDevice::applyFault(const FaultRule& rule, Reply& reply, Outgoing& outgoing) {
    switch (rule.kind) {
    case Fault::NoReply: reply.bytes.clear(); break;
    case Fault::WrongEcho:
        if (!reply.bytes.empty()) reply.bytes[0] = static_cast<uint8_t>(~reply.bytes[0]);
        break;
    case Fault::RefusingStatus:
        if (reply.statusIndex >= 0 && static_cast<size_t>(reply.statusIndex) < reply.bytes.size())
            reply.bytes[static_cast<size_t>(reply.statusIndex)] = 0x00;
        break;
    case Fault::ShortReply:
        if (!reply.bytes.empty()) reply.bytes.pop_back();
        break;
    case Fault::LateReply: outgoing.delayMs = rule.delayMs; break;
    case Fault::Garbage: outgoing.bytes = rule.garbage; break;
    case Fault::LineGone:
        reply.bytes.clear();
        outgoing.dropLine = true;
        break;
    }
}

void VirtualDevice::AddFault(const FaultRule& rule) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.faults.Add(rule);
}

void VirtualDevice::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.faults.Clear();
}

void VirtualDevice::CorruptInputByte(size_t n, uint8_t mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    corruptAt_ = hostBytes_ + n;
    corruptMask_ = mask;
}

void VirtualDevice::DropLineAfterInputBytes(size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    dropLineAt_ = hostBytes_ + n;
    if (n == 0) dropRequested_ = true;
}

void VirtualDevice::DropLine() {
    dropRequested_ = true;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (thread_.joinable() && !lineGone_ && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void VirtualDevice::SendToHost(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    unsolicited_.push_back(Outgoing{bytes, 0, false});
}

int VirtualDevice::LineRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.lineRate;
}

int VirtualDevice::HostLineRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pty_.master >= 0 ? detail::HostBaudRate(pty_.master) : 0;
}

bool VirtualDevice::InProgramMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.programMode;
}

int VirtualDevice::RequestCount(int request) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = state_.requestCounts.find(request);
    return it == state_.requestCounts.end() ? 0 : it->second;
}

FirmwareUpdateRecord VirtualDevice::LastUpdate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bootloader_->LastUpdate();
}

std::vector<uint8_t> VirtualDevice::BytesFromHost() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fromHost_;
}

size_t VirtualDevice::GarbledBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return garbled_;
}

size_t VirtualDevice::UnclaimedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unclaimed_;
}

void VirtualDevice::SetIdentity(const Identity& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.identity = identity;
}

}  // namespace sim
