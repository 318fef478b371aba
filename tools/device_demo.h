#pragma once
// The device part of the demo: discovery and connection through the Korvan device class.

namespace tools {

// Searches for devices, connects to the first one, shows its state, moves the mirrors, reads
// the sequence memory, writes and reads user data, and disconnects. 0 on success.
int RunDeviceDemo();

}  // namespace tools
