#pragma once
// Access to a Korvan object's private members for the rest of the library (sequence upload,
// calibration) and for the test suite, without widening the application interface.
#include <korvan/device/detail/exchange.h>
#include <korvan/device/korvan.h>

namespace korvan::detail {

struct DeviceAccess {
    static SerialLine& Line(Korvan& k) { return *k.port; }
    static State& CachedState(Korvan& k) { return k.state; }
    static unsigned int& FirmwareVersion(Korvan& k) { return k.firmwareVersion; }
    static unsigned int TickTime(const Korvan& k) { return k.tickTime; }
    static unsigned char LastDeviceError(const Korvan& k) { return k.lastDeviceError; }
    static const DeviceInfo& ConnectedDevice(const Korvan& k) { return k.deviceInfo; }
    static Laser& CalibrationLaser(Korvan& k) { return k.calibrationLaser; }

    static unsigned int SetDigital(Korvan& k, unsigned char port, int level) { return k.SetDigital(port, level); }
    static unsigned int SetAnalog(Korvan& k, unsigned char port, unsigned short value) {
        return k.SetAnalog(port, value);
    }
    static unsigned int ResetDevice(Korvan& k) { return k.ResetDevice(); }
    static unsigned int StopSequenceInternal(Korvan& k) { return k.StopSequenceInternal(); }
    static unsigned int DefragmentMemory(Korvan& k) { return k.DefragmentMemory(); }
};

}  // namespace korvan::detail
