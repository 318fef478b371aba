#pragma once
// The studio's one device: the connection every page shares, its live state, and Stop. Each
// request and the state watcher take turns on the Korvan object (it is not synchronised); every
// change of the state is numbered so that the event streams of all tabs send the same states.
#include "tools/studio/request_error.h"
#include "tools/virtual_host.h"

#include <korvan/korvan.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tools::studio {

class DeviceSession {
public:
    /// With `virtualDevice` a built-in virtual device is started (throws DeviceError when it
    /// cannot be) and offered as the device {"virtual": true} connects to.
    explicit DeviceSession(bool virtualDevice);
    /// Stops what runs, switches the lasers off and hands the device back.
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    /// Connects to a port name or serial number (tools/connect_device.h), after handing back a
    /// device connected before. Throws RequestError 404 for a name that is neither a listed port
    /// nor a serial number (the connection in use stays), DeviceError when connecting fails (the
    /// state then tells why).
    void Connect(const std::string& device);
    /// Connects to the built-in virtual device; RequestError 409 when there is none.
    void ConnectVirtual();
    /// Stops, resets and hands back the device; nothing when none is connected.
    void Disconnect();
    /// Ends every sequence and switches every laser off. Allowed in every state; false (with
    /// the reason in the state's last error) when the device did not take it.
    bool StopAll();

    /// Asks the connected device for its state and publishes it when it changed; a device that
    /// stopped answering is shown lost. The server's watcher calls this a few times a second.
    void Poll();
    /// The current state: "connected", "lost", "virtual", "device" (port, serial, description,
    /// firmware), "state" (text), "stateCode", "sequenceCounter", "running", "lastError" (null or
    /// {"result", "text"}) and "version", which grows with every change.
    nlohmann::json State() const;
    /// Waits until the version passes `seen` or `timeout` ends; returns the state then.
    nlohmann::json WaitForChange(uint64_t seen, std::chrono::milliseconds timeout) const;
    /// The devices discovery finds (tools/discovery.h), the connected one marked; its port is not
    /// probed again.
    nlohmann::json Devices();
    /// Publishes `value` as the state's member `key` ("run", "calibration", "camera": what the
    /// studio's other parts follow), numbered like every other change; null removes it.
    void SetPart(const std::string& key, nlohmann::json value);

    /// Runs `work(korvan)` on the connected device, taking turns with every other request.
    /// RequestError 409 when no device is connected. Keep each call short (one exchange, one
    /// upload): Stop waits for its turn. Long work goes step by step and asks StopRequested.
    template <class Work>
    auto WithDevice(Work&& work) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_) throw RequestError(409, "no device is connected");
        return work(korvan_);
    }
    /// Grows with every StopAll (before it waits for its turn): long work compares the value it
    /// started with and ends when it changed.
    uint64_t StopCount() const { return stops_.load(); }

    /// The built-in virtual device, or null.
    sim::VirtualDevice* VirtualDevice() { return host_ ? &host_->Device() : nullptr; }
    /// Whether a built-in virtual device was started, and its port.
    bool HasVirtualDevice() const { return host_ != nullptr; }
    std::string VirtualPort() const { return host_ ? host_->PortName() : ""; }

private:
    // All below hold mutex_ while they run.
    void ConnectLocked(const std::string& device, bool isVirtual);
    void RecordFailure(const std::string& what, unsigned int result);
    void Publish();
    void Compose();  // holds stateMutex_: the device's members and the parts become state_

    std::unique_ptr<VirtualHost> host_;
    Korvan korvan_;
    mutable std::mutex mutex_;
    // The published state has a lock of its own, so that it is read and its parts change while
    // a device turn goes on; taken after mutex_ when both are held.
    mutable std::mutex stateMutex_;
    mutable std::condition_variable changed_;
    nlohmann::json device_;  // the device's members of the state, under stateMutex_
    nlohmann::json state_;   // the published state, under stateMutex_
    uint64_t version_ = 0;   // under stateMutex_
    bool connected_ = false, lost_ = false, virtual_ = false;
    std::string port_, serial_, description_, target_;
    int firmware_ = 0;
    ::State deviceState_ = NotConnected;
    unsigned int counter_ = 0;
    nlohmann::json lastError_;
    nlohmann::json parts_ = nlohmann::json::object();  // SetPart's members, under stateMutex_
    std::atomic<uint64_t> stops_{0};
};

}  // namespace tools::studio
