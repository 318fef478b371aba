#include "tools/studio/device_session.h"

#include "tools/connect_device.h"
#include "tools/discovery.h"
#include "tools/report.h"
#include "tools/sequence_run.h"

#include <regex>

namespace tools::studio {
namespace {

constexpr int kProbeTimeoutMs = 500;

// Ports are named with or without their folder: "/dev/ttyUSB0" and "ttyUSB0" are one port.
std::string PortName(const std::string& port) { return port.rfind("/dev/", 0) == 0 ? port.substr(5) : port; }
bool SamePort(const std::string& a, const std::string& b) { return !a.empty() && PortName(a) == PortName(b); }

}  // namespace

DeviceSession::DeviceSession(bool virtualDevice) {
    if (virtualDevice) {
        sim::Options options;
        options.autoInputMs = 200;  // nobody can press a built-in device's inputs
        options.timeScale = 1;      // real time: a run on the page takes as long as on a device
        host_ = std::make_unique<VirtualHost>(options);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Publish();
}

DeviceSession::~DeviceSession() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_) return;
    try {
        korvan_.Stop();
        SwitchAllLasersOff(korvan_);
    } catch (const std::exception&) {
        // Disconnect below resets the device, which ends everything all the same.
    }
    korvan_.Disconnect();
}

void DeviceSession::RecordFailure(const std::string& what, unsigned int result) {
    std::string text = what;
    if (result != 0) text += ": " + std::string(KorvanResultText(result));
    if (result == korvan::ResultCommunicationError && korvan_.LastFailure() != korvan::Failure::None)
        text += " (" + std::string(korvan::FailureText(korvan_.LastFailure())) + ")";
    lastError_ = {{"result", result}, {"text", text}};
}

void DeviceSession::Publish() {
    nlohmann::json device = nullptr;
    if (connected_ || lost_)
        device = {{"port", port_}, {"serial", serial_}, {"description", description_}, {"firmware", firmware_}};
    nlohmann::json next = {{"connected", connected_},
                           {"lost", lost_},
                           {"virtual", virtual_},
                           {"virtualAvailable", host_ != nullptr},
                           {"device", device},
                           {"state", connected_ ? StateText(deviceState_) : "not connected"},
                           {"stateCode", static_cast<int>(connected_ ? deviceState_ : NotConnected)},
                           {"sequenceCounter", counter_},
                           {"running", connected_ && IsSequenceActive(deviceState_)},
                           {"lastError", lastError_}};
    std::lock_guard<std::mutex> lock(stateMutex_);
    device_ = std::move(next);
    Compose();
}

void DeviceSession::Compose() {
    nlohmann::json next = device_;
    for (const auto& [key, value] : parts_.items()) next[key] = value;
    nlohmann::json previous = state_;
    if (previous.is_object()) previous.erase("version");
    if (previous == next) return;
    next["version"] = ++version_;
    state_ = std::move(next);
    changed_.notify_all();
}

void DeviceSession::ConnectLocked(const std::string& device, bool isVirtual) {
    if (connected_) korvan_.Disconnect();
    connected_ = lost_ = false;
    try {
        ConnectTo(korvan_, device);
    } catch (const DeviceError& e) {
        RecordFailure(e.what(), 0);
        Publish();
        throw;
    }
    DeviceInfo info{};
    korvan_.GetDeviceInfo(-1, &info);
    connected_ = true;
    virtual_ = isVirtual;
    target_ = device;
    port_ = info.portName;
    serial_ = info.serialNumber;
    description_ = info.description;
    firmware_ = info.firmwareVersion;
    lastError_ = nullptr;
    unsigned int r = korvan_.GetState(&deviceState_, &counter_);
    if (r != 0) RecordFailure("the device did not tell its state", r);
    Publish();
}

void DeviceSession::Connect(const std::string& device) {
    // A name that is neither a listed port nor a serial number is refused before the
    // connection in use is handed back.
    const std::regex serialNumber("[0-9]{3}-[0-9]{4}");
    bool known = std::regex_match(device, serialNumber);
    for (const std::string& port : ListPorts()) known = known || SamePort(port, device);
    if (!known) throw RequestError(404, "no port " + device + " and no serial number of that form (123-4567)");
    std::lock_guard<std::mutex> lock(mutex_);
    ConnectLocked(device, host_ && SamePort(device, host_->PortName()));
}

void DeviceSession::ConnectVirtual() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!host_) throw RequestError(409, "no virtual device: start the studio with --virtual");
    ConnectLocked(host_->PortName(), true);
}

void DeviceSession::Disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connected_) {
        if (unsigned int r = korvan_.Disconnect()) RecordFailure("the device did not confirm the hand-back", r);
    }
    connected_ = lost_ = virtual_ = false;
    deviceState_ = NotConnected;
    counter_ = 0;
    Publish();
}

void DeviceSession::SetPart(const std::string& key, nlohmann::json value) {
    // Not the device's lock: a part changes while a long turn (an upload) holds the device.
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (value.is_null())
        parts_.erase(key);
    else
        parts_[key] = std::move(value);
    Compose();
}

bool DeviceSession::StopAll() {
    ++stops_;  // before the turn: long work between its steps sees it and ends
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_) return true;  // nothing of ours can run
    bool ok = true;
    if (unsigned int r = korvan_.Stop()) {
        RecordFailure("stop failed", r);
        ok = false;
    }
    try {
        SwitchAllLasersOff(korvan_);
    } catch (const DeviceError& e) {
        RecordFailure(e.what(), e.Result());
        ok = false;
    }
    if (ok) lastError_ = nullptr;
    korvan_.GetState(&deviceState_, &counter_);
    Publish();
    return ok;
}

void DeviceSession::Poll() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_) return;
    ::State state = NotConnected;
    unsigned int counter = 0;
    if (unsigned int r = korvan_.GetState(&state, &counter)) {
        // The library closed the port: the page offers to connect again.
        RecordFailure("the device stopped answering", r);
        connected_ = false;
        lost_ = true;
        deviceState_ = NotConnected;
    } else {
        deviceState_ = state;
        counter_ = counter;
    }
    Publish();
}

nlohmann::json DeviceSession::State() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return state_;
}

nlohmann::json DeviceSession::WaitForChange(uint64_t seen, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(stateMutex_);
    changed_.wait_for(lock, timeout, [&] { return version_ > seen; });
    return state_;
}

nlohmann::json DeviceSession::Devices() {
    std::string connectedPort;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (connected_) connectedPort = port_;
    }
    std::vector<std::string> ports = ListPorts();
    std::vector<std::string> probed;
    for (const std::string& port : ports)
        if (!SamePort(port, connectedPort)) probed.push_back(port);
    const std::vector<std::optional<FoundDevice>> found = IdentifyAll(probed, kProbeTimeoutMs);
    nlohmann::json out = nlohmann::json::array();
    const std::string virtualPort = VirtualPort();
    if (!connectedPort.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        out.push_back({{"port", port_},
                       {"serial", serial_},
                       {"description", description_},
                       {"firmware", firmware_},
                       {"connected", true},
                       {"virtual", virtual_}});
    }
    for (size_t i = 0; i < probed.size(); ++i) {
        if (!found[i]) continue;
        const FoundDevice& d = *found[i];
        out.push_back({{"port", d.port.empty() ? probed[i] : d.port},
                       {"serial", d.serial},
                       {"description", d.description},
                       {"firmware", d.firmware},
                       {"connected", false},
                       {"virtual", SamePort(probed[i], virtualPort)},
                       {"note", LeftRaisedNote(d)}});
    }
    return out;
}

}  // namespace tools::studio
