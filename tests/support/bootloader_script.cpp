#include "support/bootloader_script.h"

namespace testsupport {

Bytes Be16(uint32_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string TakeText(Bootloader& b, bool (Bootloader::*get)(char**)) {
    char* text = nullptr;
    if (!(b.*get)(&text)) return "<none>";
    std::string s = text;
    Bootloader::Free(text);
    return text == nullptr ? s : "<not cleared by Free>";
}

void ScriptAcquisition(PtyPeer& peer, const ScriptedIdentity& id) {
    peer.Expect({0x17}, Concat({{0x17}, Be16(id.bootloaderVersion)}));
    peer.Expect({0x11}, Concat({{0x11}, Be16(id.deviceType)}));
    if (id.deviceType != 0) peer.Expect({0x14}, Concat({{0x14}, Be16(id.subType)}));
    peer.Expect({0x16}, Concat({{0x16}, Be16(id.firmwareVersion)}));
    peer.Expect({0x1A}, Concat({{0x1A}, Be32(id.maxBaudRate)}));
    peer.Expect({0x15}, Concat({{0x15}, Be16(id.revision)}));
    Bytes serial{0x19};
    for (size_t i = 0; i < 8; ++i) serial.push_back(i < id.serial.size() ? uint8_t(id.serial[i]) : 0);
    peer.Expect({0x19}, serial);
    peer.Expect({0x18}, {0x18, uint8_t(id.inProgmode ? 0x20 : 0x00)});
    Bytes description{0x1C};
    description.insert(description.end(), id.description.begin(), id.description.end());
    description.push_back(0);
    peer.Expect({0x1C}, id.descriptionReply ? *id.descriptionReply : description);
    if (id.inProgmode) peer.Expect({0x1F}, Concat({{0x1F}, Be32(id.blockSize), Be32(id.parameter2)}));
}

}  // namespace testsupport
