#include <korvan/device/detail/outputs.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/port_codes.h>

namespace korvan::detail {

unsigned int SetDigital(Session& session, unsigned char port, int level) {
    const auto line = DigitalLineCode(port);
    if (!line) return ResultInvalidArgument;
    return ResultOf(Exchange(session.Line(), Request(kSetDigital).U8(*line).U8(static_cast<std::uint8_t>(level))));
}

unsigned int SetAnalog(Session& session, unsigned char port, unsigned short value) {
    const auto channel = AnalogChannelCode(port);
    if (!channel) return ResultInvalidArgument;
    return ResultOf(Exchange(session.Line(), Request(kSetAnalog).U8(*channel).U16(value)));
}

unsigned int SetOutputDefault(Session& session, OutputPorts port, int level) {
    const auto line = DigitalLineCode(port);
    if (!line) return ResultInvalidArgument;
    if (unsigned int r = RequireState(session, {Idle})) return r;
    return ResultOf(
        Exchange(session.Line(), Request(kSetOutputDefault).U8(*line).U8(static_cast<std::uint8_t>(level))));
}

unsigned int GetOutputDefault(Session& session, OutputPorts port, int* level) {
    const auto line = DigitalLineCode(port);
    if (level == nullptr || !line) return ResultInvalidArgument;
    if (unsigned int r = RequireState(session, {Idle})) return r;
    const auto reply = Exchange(session.Line(), Request(kGetOutputDefault).U8(*line));
    if (!reply.Done() || reply.bytes[2] != *line) return ResultCommunicationError;
    *level = reply.bytes[3];
    return ResultSuccess;
}

unsigned int SetOutputDefaultTo(Session& session, OutputPorts port, int level) {
    int current = -1;
    if (unsigned int r = GetOutputDefault(session, port, &current)) return r;
    if (current == level) return ResultSuccess;
    return SetOutputDefault(session, port, level);
}

unsigned int SetTickTime(Session& session, unsigned int microseconds) {
    // Everything timed in ticks divides by the tick time.
    if (microseconds == 0) return ResultInvalidArgument;
    if (unsigned int r = RequireState(session, {Idle})) return r;
    const auto reply = Exchange(session.Line(), Request(kSetTickTime).U32(microseconds));
    if (!reply.Done()) return ResultCommunicationError;
    session.tickTime = microseconds;
    return ResultSuccess;
}

}  // namespace korvan::detail
