#include "tools/device_demo.h"

#include <korvan/korvan.h>

#include <cstdio>
#include <cstring>
#include <regex>

namespace tools {
namespace {

const char* StateName(State state) {
    switch (state) {
    case Idle: return "Idle";
    case Calibrating: return "Calibrating";
    case Running: return "Running";
    case NotReady: return "NotReady";
    case NotConnected: return "NotConnected";
    case Defragmenting: return "Defragmenting";
    case ActiveA: return "ActiveA";
    case ActiveB: return "ActiveB";
    case WaitingForUser: return "WaitingForUser";
    case ActiveC: return "ActiveC";
    }
    return "unknown";
}

// Prints a step and its result code; true when the step succeeded.
bool Step(const char* what, unsigned int result) {
    std::printf("  %-40s %s\n", what, result == 0 ? "ok" : "failed");
    if (result != 0) std::printf("    result code %u\n", result);
    return result == 0;
}

}  // namespace

int RunDeviceDemo() {
    Korvan korvan;
    unsigned int count = korvan.Search();
    std::printf("Korvan devices found: %u\n", count);
    if (count == 0) return 1;
    DeviceInfo info{};
    for (unsigned int i = 0; i < count; ++i) {
        if (korvan.GetDeviceInfo(static_cast<int>(i), &info) != 0) continue;
        std::printf("  [%u] %s  serial %s  firmware %d  \"%s\"\n", i, info.portName, info.serialNumber,
                    info.firmwareVersion, info.description);
    }
    korvan.GetDeviceInfo(0, &info);
    // Connect takes a serial number only in the form 123-4567; other identities go by port.
    bool bySerial = std::regex_match(info.serialNumber, std::regex("[0-9]{3}-[0-9]{4}"));
    const char* target = bySerial ? info.serialNumber : info.portName;
    std::printf("Connecting to %s by its %s\n", target, bySerial ? "serial number" : "port name");
    if (!Step("connect at the maximum baud rate", korvan.Connect(target))) return 1;

    bool ok = true;
    State state = NotConnected;
    unsigned int counter = 0;
    ok &= Step("state query", korvan.GetState(&state, &counter));
    std::printf("    state %s, sequence counter %u\n", StateName(state), counter);
    ok &= Step("tick time 50 us", korvan.SetTickTime(50));
    ok &= Step("move mirrors to (20000, 45000)", korvan.MoveAbsolute(20000u, 45000u));
    tagPOINT position{};
    ok &= Step("read mirror position", korvan.GetActualPosition(&position));
    std::printf("    mirrors at (%d, %d)\n", static_cast<int>(position.x), static_cast<int>(position.y));
    unsigned int freeBytes = 0, largest = 0;
    ok &= Step("sequence memory", korvan.GetAvailableMemory(&freeBytes, &largest));
    std::printf("    %u sequences stored, %u bytes free, largest block %u\n", korvan.GetSequenceCount(), freeBytes,
                largest);
    unsigned char note[] = "korvan demo";
    ok &= Step("write user data", korvan.SetUserData(note, sizeof note - 1));
    unsigned char* data = nullptr;
    unsigned int length = 0;
    if (Step("read user data", korvan.GetUserData(&data, &length))) {
        std::printf("    %u bytes: \"%.*s\"\n", length, static_cast<int>(length), reinterpret_cast<char*>(data));
        ok &= length == sizeof note - 1 && std::memcmp(data, note, length) == 0;
        korvan.FreeUserData(data);
    } else {
        ok = false;
    }
    ok &= Step("disconnect (device back to 9600 baud)", korvan.Disconnect());
    std::printf("Device demo %s\n", ok ? "finished" : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace tools
