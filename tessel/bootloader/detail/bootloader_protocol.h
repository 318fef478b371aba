#pragma once
// Request bytes and fixed reply shapes of the bootloader protocol.

namespace tessel::detail::bootloader_protocol {

constexpr unsigned char kDeviceType = 0x11;
constexpr unsigned char kDeviceSubType = 0x14;
constexpr unsigned char kRevision = 0x15;
constexpr unsigned char kFirmwareVersion = 0x16;
constexpr unsigned char kBootloaderVersion = 0x17;
constexpr unsigned char kProgramMode = 0x18;
constexpr unsigned char kSerialNumber = 0x19;
constexpr unsigned char kMaxBaudRate = 0x1A;
constexpr unsigned char kSwitchToMaxBaud = 0x1B;
constexpr unsigned char kDescription = 0x1C;
constexpr unsigned char kEnterProgmode = 0x1D;  // also the first byte of the update header
constexpr unsigned char kResetBaud = 0x1E;
constexpr unsigned char kProgramParameters = 0x1F;

// Status byte of a request that changed something, of a program-mode answer meaning "in
// programming mode", and the first byte of a block acknowledgement.
constexpr unsigned char kAccepted = 0x20;

constexpr int kSerialNumberLength = 8;
// A description longer than this is taken as a device that streams without end.
constexpr int kMaxDescriptionLength = 1024;

// Firmware update framing.
constexpr int kUpdateHeaderLength = 10;
constexpr int kBlockReplyLength = 3;
constexpr long kMaxBlocks = 255;
constexpr long kMaxLastBlock = 65535;

}  // namespace tessel::detail::bootloader_protocol
