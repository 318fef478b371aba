#pragma once
// Scripts a device's answers to a whole identity acquisition on a PtyPeer.
#include "support/serial_pty_peer.h"

#include <tessel/bootloader/bootloader.h>

#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

struct ScriptedIdentity {
    int bootloaderVersion = 2;
    int deviceType = 3;
    int subType = 5;
    int firmwareVersion = 16;
    uint32_t maxBaudRate = 921600;
    int revision = 7;
    std::string serial = "123-4567";  // padded with NUL to 8 bytes
    bool inProgmode = false;
    std::string description = "Kv";
    std::optional<Bytes> descriptionReply;  // replaces 0x1C, the text and the NUL
    uint32_t blockSize = 256;
    uint32_t parameter2 = 9;
};

// The request/answer steps of AcquireDeviceInfo, in the order the host must send them.
void ScriptAcquisition(PtyPeer& peer, const ScriptedIdentity& id);

Bytes Be16(uint32_t value);
Bytes Be32(uint32_t value);
Bytes Concat(std::initializer_list<Bytes> parts);

// The text a Bootloader getter hands out (released again), or "<none>" when it gives none.
std::string TakeText(Bootloader& b, bool (Bootloader::*get)(char**));

}  // namespace testsupport
