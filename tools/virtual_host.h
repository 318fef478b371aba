#pragma once
// The one place where the tool starts a virtual device: in this process, on a pseudo-terminal,
// and made the only port that discovery lists, so no real serial port is touched. That lasts as
// long as the host: its end gives the process its enumeration back (a library user, a Python
// session, goes on listing its own ports).
#include <sim/virtual_device.h>

#include <memory>
#include <optional>
#include <string>

namespace tools {

class VirtualHost {
public:
    /// Starts the device; throws DeviceError when the pseudo-terminal cannot be opened.
    explicit VirtualHost(const sim::Options& options);
    ~VirtualHost();
    VirtualHost(const VirtualHost&) = delete;
    VirtualHost& operator=(const VirtualHost&) = delete;

    sim::VirtualDevice& Device() { return *device_; }
    const std::string& PortName() const { return device_->PortName(); }

private:
    std::unique_ptr<sim::VirtualDevice> device_;
    std::optional<std::string> noHardwarePorts_;  // the environment before, restored at the end
    std::optional<std::string> extraPorts_;
};

}  // namespace tools
