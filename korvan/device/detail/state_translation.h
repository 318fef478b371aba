#pragma once
// From the device's state code to State. Firmware 16 reports active sequences in more detail
// and adds code 9; a code outside the table counts as a failed state query.
#include <korvan/device/detail/firmware.h>
#include <korvan/device/device_types.h>

#include <cstdint>
#include <iterator>
#include <optional>

namespace korvan::detail {

inline constexpr State kStatesBeforeFirmware16[] = {
    Idle, Running, NotReady, Running, Defragmenting, NotReady, Running, Running, Running,
};
inline constexpr State kStatesFromFirmware16[] = {
    Idle, Running, NotReady, ActiveB, Defragmenting, NotReady, ActiveA, ActiveA, ActiveC, WaitingForUser,
};

constexpr std::optional<State> TranslateDeviceState(std::uint8_t code, unsigned int firmwareVersion) {
    if (HasStatusWord(firmwareVersion)) {
        if (code < std::size(kStatesFromFirmware16)) return kStatesFromFirmware16[code];
    } else if (code < std::size(kStatesBeforeFirmware16)) {
        return kStatesBeforeFirmware16[code];
    }
    return std::nullopt;
}

}  // namespace korvan::detail
