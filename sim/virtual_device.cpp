// The virtual device: wires the line, the router and the responders together and runs the
// thread that moves bytes between them.
#include <sim/virtual_device.h>
#include <sim/device_responder.h>

#include <algorithm>
#include <chrono>

namespace sim {
namespace {
constexpr int kPollMs = 10;
constexpr size_t kReadChunk = 4096;
using Clock = std::chrono::steady_clock;
}  // namespace

VirtualDevice::VirtualDevice(Options options)
    : VirtualDevice(std::move(options), std::make_unique<BootloaderResponder>()) {}

VirtualDevice::VirtualDevice(Options options, std::unique_ptr<BootloaderResponder> bootloader)
    : options_(std::move(options)),
      line_(LineSettings{options_.checkLineRate, options_.staleInputMs, options_.keepHostBytes}),
      bootloader_(bootloader.get()),
      router_(std::move(bootloader)) {
    state_.identity = options_.identity;
    auto device = std::make_unique<DeviceResponder>();
    device_ = device.get();
    device_->Runner().SetTimeScale(options_.timeScale);
    device_->Runner().Timeline().SetCapacity(options_.timelineCapacity);
    device_->SetTimelinePath(options_.timelinePath);
    device_->SetAutoInputs(options_.autoInputMs);
    router_.Add(std::move(device));
    // Further protocols register here with AddResponder(...); they are asked before the bootloader.
}

VirtualDevice::VirtualDevice(const Identity& identity) : VirtualDevice(Options{identity}) {}

VirtualDevice::~VirtualDevice() { Stop(); }

void VirtualDevice::AddResponder(std::unique_ptr<Responder> responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    router_.Add(std::move(responder));
}

bool VirtualDevice::Start(std::string* error) {
    if (thread_.joinable()) return true;
    if (!line_.Open(error)) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!router_.Start(error)) {
            line_.Close();
            return false;
        }
        line_.Restore();
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void VirtualDevice::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    line_.Close();
    router_.Stop();
}

void VirtualDevice::Run() {
    std::vector<uint8_t> buffer(kReadChunk);
    int pollMs = kPollMs;
    while (!stop_) {
        bool lineFailed = false;
        const long n = line_.Read(pollMs, buffer.data(), buffer.size());
        if (n < 0) lineFailed = true;
        if (n > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            line_.Receive(buffer.data(), static_cast<size_t>(n), state_);
        }
        std::vector<Outgoing> out;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            out = line_.TakeUnsolicited();
            Answer(out);
            if (line_.DiscardStaleInput(router_.HoldsLine())) router_.Reset();
            if (line_.DropRequested()) out.push_back(Outgoing{{}, 0, true});
            // A running sequence may want the thread back before the next poll would end.
            const int due = router_.Advance();
            pollMs = due < 0 ? kPollMs : std::min(due, kPollMs);
        }
        if (!line_.Send(out)) lineFailed = true;
        if (lineFailed) {
            std::lock_guard<std::mutex> lock(mutex_);
            line_.HangUp();
            return;
        }
    }
}

void VirtualDevice::Answer(std::vector<Outgoing>& out) {
    std::vector<uint8_t>& pending = line_.Pending();
    while (!pending.empty() && !line_.DropRequested()) {
        const Router::Routed routed = router_.Route(pending, state_, out);
        if (routed == Router::Routed::Incomplete) return;
        if (routed == Router::Routed::LineGone) {
            line_.RequestDrop();
            return;
        }
    }
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
    line_.CorruptInputByte(n, mask);
}

void VirtualDevice::DropLineAfterInputBytes(size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    line_.DropAfterInputBytes(n);
}

void VirtualDevice::DropLine() {
    line_.RequestDrop();
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    // Until the line is closed, not only marked gone: a caller that goes on to write must fail.
    while (thread_.joinable() && !line_.HungUp() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void VirtualDevice::SendToHost(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    line_.SendToHost(bytes);
}

int VirtualDevice::LineRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.lineRate;
}

int VirtualDevice::HostLineRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return line_.HostLineRate();
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
    return line_.BytesFromHost();
}

size_t VirtualDevice::GarbledBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return line_.GarbledBytes();
}

size_t VirtualDevice::UnclaimedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return router_.UnclaimedBytes();
}

void VirtualDevice::SetIdentity(const Identity& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.identity = identity;
}

}  // namespace sim
