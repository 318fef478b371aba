#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/port_codes.h>
#include <korvan/device/detail/process_state.h>

using korvan::detail::AnalogChannelCode;
using korvan::detail::DigitalLineCode;
using korvan::detail::Exchange;
using korvan::detail::Request;
using korvan::detail::ResultOf;

unsigned int Korvan::SetDigital(unsigned char outputPort, int level) {
    const auto line = DigitalLineCode(outputPort);
    if (!line) return korvan::ResultInvalidArgument;
    return ResultOf(
        Exchange(*port, Request(korvan::detail::kSetDigital).U8(*line).U8(static_cast<std::uint8_t>(level))));
}

unsigned int Korvan::SetAnalog(unsigned char outputPort, unsigned short value) {
    const auto channel = AnalogChannelCode(outputPort);
    if (!channel) return korvan::ResultInvalidArgument;
    return ResultOf(Exchange(*port, Request(korvan::detail::kSetAnalog).U8(*channel).U16(value)));
}

unsigned int Korvan::SetOutputDefault(OutputPorts outputPort, int level) {
    const auto line = DigitalLineCode(outputPort);
    if (!line) return korvan::ResultInvalidArgument;
    if (unsigned int r = RequireState({Idle})) return r;
    return ResultOf(
        Exchange(*port, Request(korvan::detail::kSetOutputDefault).U8(*line).U8(static_cast<std::uint8_t>(level))));
}

unsigned int Korvan::GetOutputDefault(OutputPorts outputPort, int* level) {
    const auto line = DigitalLineCode(outputPort);
    if (level == nullptr || !line) return korvan::ResultInvalidArgument;
    if (unsigned int r = RequireState({Idle})) return r;
    const auto reply = Exchange(*port, Request(korvan::detail::kGetOutputDefault).U8(*line));
    if (!reply.Done() || reply.bytes[2] != *line) return korvan::ResultCommunicationError;
    *level = reply.bytes[3];
    return korvan::ResultSuccess;
}

unsigned int Korvan::SetTickTime(unsigned int microseconds) {
    // Everything timed in ticks divides by the tick time.
    if (microseconds == 0) return korvan::ResultInvalidArgument;
    if (unsigned int r = RequireState({Idle})) return r;
    const auto reply = Exchange(*port, Request(korvan::detail::kSetTickTime).U32(microseconds));
    if (!reply.Done()) return korvan::ResultCommunicationError;
    tickTime = microseconds;
    return korvan::ResultSuccess;
}

unsigned int Korvan::SetScanMode(ScanMode mode) {
    // An unknown mode leaves the lead as it was.
    if (mode == ScanModeDefault || mode == ScanModeShort) korvan::detail::ProcessWide().scanMode = mode;
    return korvan::ResultSuccess;
}
