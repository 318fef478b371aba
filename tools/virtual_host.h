#pragma once
// The one place where the tool starts a virtual device: in this process, on a pseudo-terminal,
// and made the only port that discovery lists, so no real serial port is touched.
#include <sim/virtual_device.h>

#include <memory>
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
};

}  // namespace tools
