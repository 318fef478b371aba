#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/process_state.h>

#include <cstring>

Korvan::Korvan() : Korvan(0) {}

Korvan::Korvan(int keepBaudRate)
    : firmwareVersion(0),
      deviceInfo{},
      lastDeviceError(0),
      keepBaudRate(keepBaudRate),
      port(std::make_shared<korvan::detail::SerialLine>()),
      state(NotConnected),
      tickTime(50),
      calibrationLaser(),
      calibrationIntensity(0),
      pulseSequenceNumber(0) {}

// Copies share the port object; the last one to go closes it.
Korvan::Korvan(const Korvan& other) = default;
Korvan& Korvan::operator=(const Korvan& other) = default;
Korvan::~Korvan() { DarkenCalibrationLaser(); }

unsigned int Korvan::GetDeviceInfo(int index, DeviceInfo* info) {
    const auto& devices = korvan::detail::ProcessWide().deviceList;
    if (info == nullptr) return korvan::ResultInvalidArgument;
    if (index < -1 || (index >= 0 && static_cast<std::size_t>(index) >= devices.size())) {
        return korvan::ResultInvalidArgument;
    }
    if (index == -1) {
        if (!port->rs232.IsConnected()) return korvan::ResultCommunicationError;
        *info = deviceInfo;
    } else {
        *info = devices[static_cast<std::size_t>(index)];
    }
    return korvan::ResultSuccess;
}

void Korvan::SetSendingDataFct(bool (*function)(int, int)) { port->imageProgress = function; }

bool IsSequenceActive(State state) {
    switch (state) {
    case Running:
    case ActiveA:
    case ActiveB:
    case WaitingForUser:
    case ActiveC: return true;
    default: return false;
    }
}
