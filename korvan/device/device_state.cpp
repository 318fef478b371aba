#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/firmware.h>
#include <korvan/device/detail/state_translation.h>

using korvan::detail::Exchange;
using korvan::detail::Request;

unsigned int Korvan::GetState(State* out, unsigned int* sequenceCounter, unsigned short* statusWord) {
    using namespace korvan::detail;
    if (out == nullptr || sequenceCounter == nullptr) return korvan::ResultInvalidArgument;

    Reply reply;
    std::optional<State> reported;
    if (port->rs232.IsConnected()) {
        reply = Exchange(*port, Request(kStateQuery), StateReplyLength(firmwareVersion));
        if (reply.Done()) reported = TranslateDeviceState(reply.bytes[1], firmwareVersion);
    }
    if (!reported) {
        // Whatever went wrong, the device can no longer be trusted to follow: start over with Connect.
        port->rs232.Disconnect();
        *out = NotConnected;
        return korvan::ResultCommunicationError;
    }

    lastDeviceError |= reply.bytes[2];
    // The device counts from 1 while a sequence is active; 0 means it has not counted yet.
    *sequenceCounter = 0;
    if (IsSequenceActive(*reported)) {
        const std::uint32_t counter = reply.At<4>(3);
        *sequenceCounter = counter != 0 ? counter - 1 : 0;
    }
    if (korvan::detail::HasStatusWord(firmwareVersion) && statusWord != nullptr) {
        *statusWord = static_cast<unsigned short>(reply.At<2>(7));
    }
    // A calibration is the host's idea: it lasts while the device stays idle or runs sequences.
    if (state == Calibrating && (*reported == Idle || IsSequenceActive(*reported))) {
        reported = Calibrating;
    }
    *out = *reported;
    return korvan::ResultSuccess;
}

unsigned int Korvan::GetState(State* out, unsigned int* sequenceCounter) {
    unsigned short statusWord = 0;
    return GetState(out, sequenceCounter, &statusWord);
}

unsigned int Korvan::GetState(State* out) {
    unsigned int sequenceCounter = 0;
    unsigned short statusWord = 0;
    return GetState(out, &sequenceCounter, &statusWord);
}

unsigned int Korvan::RequireState(std::initializer_list<State> accepted) {
    GetState(&state);
    if (state == NotConnected) return korvan::ResultCommunicationError;
    for (State s : accepted) {
        if (s == state) return korvan::ResultSuccess;
    }
    return korvan::ResultNotPossibleNow;
}

unsigned char Korvan::GetLastDeviceError() {
    GetState(&state);
    return lastDeviceError;
}

unsigned int Korvan::ClearLastDeviceError() {
    if (!Exchange(*port, Request(korvan::detail::kClearError)).Done()) {
        return korvan::ResultCommunicationError;
    }
    lastDeviceError = 0;
    return korvan::ResultSuccess;
}

unsigned int Korvan::AcknowledgeWaitForUser() {
    using korvan::detail::Outcome;
    if (unsigned int r = RequireState({WaitingForUser})) return r;
    const auto reply = Exchange(*port, Request(korvan::detail::kAcknowledge));
    switch (reply.outcome) {
    case Outcome::Done: return korvan::ResultSuccess;
    case Outcome::Refused: return korvan::ResultNotPossibleNow;
    default: return korvan::ResultCommunicationError;
    }
}

unsigned int Korvan::ResetDevice() {
    return korvan::detail::ResultOf(Exchange(*port, Request(korvan::detail::kResetDevice)));
}

unsigned int Korvan::StopSequenceInternal() {
    return korvan::detail::ResultOf(Exchange(*port, Request(korvan::detail::kStopSequence)));
}

unsigned int Korvan::Stop() {
    GetState(&state);
    if (state == Calibrating) {
        CalibrationLaserOff();
        state = Idle;
    } else if (IsSequenceActive(state)) {
        // The final state query tells whether it worked; the command's own answer adds nothing.
        StopSequenceInternal();
    } else if (state == NotConnected) {
        return korvan::ResultCommunicationError;
    }
    return GetState(&state);
}

unsigned int Korvan::DeleteAllSequences() {
    if (unsigned int r = RequireState({Idle})) return r;
    return korvan::detail::ResultOf(Exchange(*port, Request(korvan::detail::kDeleteAll)));
}
