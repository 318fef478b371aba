#include <korvan/device/detail/motion.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/detail/port_codes.h>

#include <cstdint>

namespace korvan::detail {
namespace {

constexpr std::int64_t kMaxMirrorPosition = 65535;

bool OnMirrorRange(std::int64_t value) { return value >= 0 && value <= kMaxMirrorPosition; }

}  // namespace

unsigned int MoveAbsolute(Session& session, CalibrationHooks& calibration, unsigned int x, unsigned int y) {
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    const bool calibrating = session.state == Calibrating;
    // The beam must not draw a line across the scene while the mirrors travel.
    if (calibrating) calibration.BeforeMove(session);
    if (!OnMirrorRange(x) || !OnMirrorRange(y)) return ResultInvalidArgument;
    if (unsigned int r = SetAnalog(session, MirrorX, static_cast<unsigned short>(x))) return r;
    if (unsigned int r = SetAnalog(session, MirrorY, static_cast<unsigned short>(y))) return r;
    return calibrating ? calibration.AfterMove(session) : ResultSuccess;
}

unsigned int MoveRelative(Session& session, CalibrationHooks& calibration, int dx, int dy) {
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    tagPOINT actual{};
    if (unsigned int r = GetActualPosition(session, calibration, &actual)) return r;
    const std::int64_t x = std::int64_t{actual.x} + dx;
    const std::int64_t y = std::int64_t{actual.y} + dy;
    if (!OnMirrorRange(x) || !OnMirrorRange(y)) return ResultInvalidArgument;
    return MoveAbsolute(session, calibration, static_cast<unsigned int>(x), static_cast<unsigned int>(y));
}

unsigned int GetActualPosition(Session& session, CalibrationHooks& calibration, tagPOINT* position) {
    if (position == nullptr) return ResultInvalidArgument;
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    const bool calibrating = session.state == Calibrating;
    if (calibrating) calibration.BeforeMove(session);
    decltype(position->x)* axes[] = {&position->x, &position->y};  // LONG on Windows, int32 elsewhere
    const unsigned int channels[] = {MirrorX, MirrorY};
    for (int i = 0; i < 2; ++i) {
        const auto reply = Exchange(session.Line(), Request(kReadPosition).U8(*AnalogChannelCode(channels[i])));
        if (!reply.Done()) return ResultCommunicationError;
        *axes[i] = static_cast<std::int32_t>(reply.At<2>(2));  // a 16-bit mirror position
    }
    if (calibrating) calibration.AfterPositionRead(session);
    return ResultSuccess;
}

}  // namespace korvan::detail
