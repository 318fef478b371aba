#pragma once
// Behaviour that depends on the device's firmware version, in one place: every other file asks
// these instead of comparing with a bare number.

namespace korvan::detail {

/// From this firmware on the state reply carries a status word, and active sequences and a wait
/// for the user have state codes of their own.
inline constexpr unsigned int kFirmwareWithStatusWord = 16;
/// From this firmware on the device keeps output defaults that the lasers' lines must agree with.
inline constexpr unsigned int kFirmwareWithOutputDefaults = 6;

inline constexpr bool HasStatusWord(unsigned int firmwareVersion) { return firmwareVersion >= kFirmwareWithStatusWord; }
inline constexpr bool HasOutputDefaults(unsigned int firmwareVersion) {
    return firmwareVersion >= kFirmwareWithOutputDefaults;
}

}  // namespace korvan::detail
