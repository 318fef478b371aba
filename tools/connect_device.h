#pragma once
// Connecting the tool's Korvan object to the device a user named (port or serial number).
#include <korvan/korvan.h>

#include <string>

namespace tools {

/// Searches the ports (one walk) and connects to the device named by port or serial number.
/// Throws DeviceError when it is not found or the connection fails.
void ConnectTo(Korvan& korvan, const std::string& target);

}  // namespace tools
