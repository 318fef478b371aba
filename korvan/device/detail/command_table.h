#pragma once
// Every command byte the host sends, with the lengths of request and reply. Lengths count all
// bytes, command byte and echo included. Operations name the command and state only what
// differs; the exchange routine (exchange.h) does the rest.
#include <korvan/device/detail/firmware.h>

#include <cstdint>

namespace korvan::detail {

struct Command {
    std::uint8_t code;
    std::uint8_t requestLength;  ///< 0: variable (user data write)
    std::uint8_t replyLength;    ///< fixed part; the state query and the table grow it
    bool statusByte;             ///< the reply carries a status byte after the echo
};

inline constexpr std::uint8_t kStatusDone = 0xFF;

inline constexpr Command kStateQuery{0x31, 1, 7, false};  // 9 from firmware 16
inline constexpr Command kResetDevice{0x40, 1, 2, true};
inline constexpr Command kClearError{0x4F, 1, 2, true};
inline constexpr Command kAcknowledge{0x36, 1, 2, true};
inline constexpr Command kResetBaudRate{0x1E, 1, 2, true};
inline constexpr Command kSetDigital{0x38, 3, 2, true};
inline constexpr Command kSetAnalog{0x39, 4, 2, true};
inline constexpr Command kSetOutputDefault{0xFE, 3, 2, true};
inline constexpr Command kGetOutputDefault{0xFD, 2, 4, true};
inline constexpr Command kSetTickTime{0xDE, 5, 2, true};
inline constexpr Command kReadPosition{0x3A, 2, 4, true};
inline constexpr Command kDeleteSequence{0x3C, 3, 2, true};
inline constexpr Command kDeleteAll{0x3B, 1, 2, true};
inline constexpr Command kSequenceCount{0x41, 1, 4, true};
inline constexpr Command kSequenceTable{0x42, 1, 2, true};  // + 6 per stored sequence
inline constexpr Command kMemoryStatus{0x43, 1, 10, true};
inline constexpr Command kDefragment{0x44, 1, 2, true};
inline constexpr Command kReadUserData{0x61, 1, 3, false};  // then `length` data bytes
inline constexpr Command kWriteUserData{0x60, 0, 2, true};
inline constexpr Command kAnnounceUpload{0x3F, 9, 4, true};
inline constexpr Command kStartSequence{0x3E, 9, 2, true};
inline constexpr Command kStopSequence{0x3D, 1, 2, true};

inline constexpr Command kAllCommands[] = {
    kStateQuery,    kResetDevice,      kClearError,       kAcknowledge,  kResetBaudRate, kSetDigital,
    kSetAnalog,     kSetOutputDefault, kGetOutputDefault, kSetTickTime,  kReadPosition,  kDeleteSequence,
    kDeleteAll,     kSequenceCount,    kSequenceTable,    kMemoryStatus, kDefragment,    kReadUserData,
    kWriteUserData, kAnnounceUpload,   kStartSequence,    kStopSequence,
};

/// The state reply grows by the status word from firmware 16 on.
constexpr std::uint8_t StateReplyLength(unsigned int firmwareVersion) { return HasStatusWord(firmwareVersion) ? 9 : 7; }

inline constexpr int kReplyTimeoutMs = 1000;
inline constexpr int kImageReplyTimeoutMs = 2000;
/// The device drops an image whose data pauses for longer than its reply time-out; the host keeps
/// the line silent this long after an image broke off, so its next command is not taken as data.
inline constexpr int kAbandonedImagePauseMs = 1500;
inline constexpr unsigned int kMaxUserDataWrite = 60;

}  // namespace korvan::detail
