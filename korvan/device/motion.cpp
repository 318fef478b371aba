#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/port_codes.h>

#include <cstdint>

namespace {
constexpr std::int64_t kMaxMirrorPosition = 65535;

bool OnMirrorRange(std::int64_t value) { return value >= 0 && value <= kMaxMirrorPosition; }
}  // namespace

unsigned int Korvan::MoveAbsolute(unsigned int x, unsigned int y) {
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    const bool calibrating = state == Calibrating;
    // The beam must not draw a line across the scene while the mirrors travel.
    if (calibrating) CalibrationLaserOff();
    if (!OnMirrorRange(x) || !OnMirrorRange(y)) return korvan::ResultInvalidArgument;
    if (unsigned int r = SetAnalog(MirrorX, static_cast<unsigned short>(x))) return r;
    if (unsigned int r = SetAnalog(MirrorY, static_cast<unsigned short>(y))) return r;
    return calibrating ? CalibrationLaserRestore() : korvan::ResultSuccess;
}

unsigned int Korvan::MoveAbsolute(tagPOINT position) {
    return MoveAbsolute(static_cast<unsigned int>(position.x), static_cast<unsigned int>(position.y));
}

unsigned int Korvan::MoveRelative(int dx, int dy) {
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    tagPOINT actual{};
    if (unsigned int r = GetActualPosition(&actual)) return r;
    const std::int64_t x = std::int64_t{actual.x} + dx;
    const std::int64_t y = std::int64_t{actual.y} + dy;
    if (!OnMirrorRange(x) || !OnMirrorRange(y)) return korvan::ResultInvalidArgument;
    return MoveAbsolute(static_cast<unsigned int>(x), static_cast<unsigned int>(y));
}

unsigned int Korvan::MoveRelative(tagPOINT offset) { return MoveRelative(offset.x, offset.y); }

unsigned int Korvan::GetActualPosition(tagPOINT* position) {
    using namespace korvan::detail;
    if (position == nullptr) return korvan::ResultInvalidArgument;
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    const bool calibrating = state == Calibrating;
    if (calibrating) CalibrationLaserOff();
    std::int32_t* axes[] = {&position->x, &position->y};
    const unsigned int channels[] = {MirrorX, MirrorY};
    for (int i = 0; i < 2; ++i) {
        const auto reply = Exchange(*port, Request(kReadPosition).U8(*AnalogChannelCode(channels[i])));
        if (!reply.Done()) return korvan::ResultCommunicationError;
        *axes[i] = static_cast<std::int32_t>(reply.At<2>(2));
    }
    if (calibrating) CalibrationLaserOn();
    return korvan::ResultSuccess;
}
