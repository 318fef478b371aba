#pragma once
// One connection to a device, as a plain record: the serial line and what the host remembers
// about the device behind it. The protocol operations are free functions over it, grouped by
// concern (device_state.h, outputs.h, motion.h, memory.h, laser_list.h, connection.h; upload and
// laser switching, which uploads a pulsed laser's pulse sequence, in korvan/sequence/detail/).
// Korvan (korvan/front/) holds one and forwards.
#include <korvan/device/detail/exchange.h>
#include <korvan/device/device_info.h>
#include <korvan/device/device_types.h>

#include <memory>

namespace korvan::detail {

struct Session {
    /// Copies share the line: the port closes when the last copy goes.
    std::shared_ptr<SerialLine> line = std::make_shared<SerialLine>();
    /// As last learnt by a state query. Calibrating is the host's own state: only a
    /// CalibrationRun enters or leaves it, and a state query keeps it while the device stays idle
    /// or runs sequences.
    State state = NotConnected;
    unsigned int firmwareVersion = 0;
    /// Microseconds per device tick; compiled sequences count in it.
    unsigned int tickTime = 50;
    /// The device of the last connection.
    DeviceInfo deviceInfo{};
    /// Error bits collected by the state queries since the last clear.
    unsigned char lastDeviceError = 0;
    /// Non-zero: Connect leaves the line at 9600 baud.
    int keepBaudRate = 0;
    /// The number of the pulse sequence that lights a pulsed laser.
    unsigned short pulseSequenceNumber = 0;
    /// The detail of the last operation's result (Korvan::LastFailure).
    Failure lastFailure = Failure::None;

    SerialLine& Line() const { return *line; }
    bool PortOpen() const { return line->rs232.IsConnected(); }
};

}  // namespace korvan::detail
