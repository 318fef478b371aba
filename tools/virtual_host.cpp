#include "tools/virtual_host.h"

#include "tools/detail/environment.h"
#include "tools/report.h"

namespace tools {

VirtualHost::VirtualHost(const sim::Options& options) : device_(std::make_unique<sim::VirtualDevice>(options)) {
    std::string error;
    if (!device_->Start(&error)) throw DeviceError("cannot start the virtual device: " + error);
    // Enumeration then lists this device alone: neither the hardware pass nor anything a caller
    // named in the environment is probed.
    noHardwarePorts_ = detail::GetEnvironment("TESSEL_NO_HARDWARE_PORTS");
    extraPorts_ = detail::GetEnvironment("TESSEL_EXTRA_PORTS");
    detail::SetEnvironment("TESSEL_NO_HARDWARE_PORTS", "1");
    detail::SetEnvironment("TESSEL_EXTRA_PORTS", device_->PortName());
}

VirtualHost::~VirtualHost() {
    device_->Stop();
    detail::RestoreEnvironment("TESSEL_NO_HARDWARE_PORTS", noHardwarePorts_);
    detail::RestoreEnvironment("TESSEL_EXTRA_PORTS", extraPorts_);
}

}  // namespace tools
