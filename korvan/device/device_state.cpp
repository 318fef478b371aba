#include <korvan/device/detail/device_state.h>

#include <korvan/device/detail/firmware.h>
#include <korvan/device/detail/state_translation.h>
#include <korvan/device/result_codes.h>

namespace korvan::detail {

unsigned int QueryState(Session& session, State* out, unsigned int* sequenceCounter, unsigned short* statusWord) {
    if (out == nullptr || sequenceCounter == nullptr) return ResultInvalidArgument;

    Reply reply;
    std::optional<State> reported;
    if (session.PortOpen()) {
        reply = Exchange(session.Line(), Request(kStateQuery), StateReplyLength(session.firmwareVersion));
        if (reply.Done()) reported = TranslateDeviceState(reply.bytes[1], session.firmwareVersion);
    }
    if (!reported) {
        // Whatever went wrong, the device can no longer be trusted to follow: start over with Connect.
        session.Line().rs232.Disconnect();
        *out = NotConnected;
        return ResultCommunicationError;
    }

    session.lastDeviceError |= reply.bytes[2];
    // The device counts from 1 while a sequence is active; 0 means it has not counted yet.
    *sequenceCounter = 0;
    if (IsSequenceActive(*reported)) {
        const std::uint32_t counter = reply.At<4>(3);
        *sequenceCounter = counter != 0 ? counter - 1 : 0;
    }
    if (HasStatusWord(session.firmwareVersion) && statusWord != nullptr) {
        *statusWord = static_cast<unsigned short>(reply.At<2>(7));
    }
    // A calibration is the host's idea: it lasts while the device stays idle or runs sequences.
    if (session.state == Calibrating && (*reported == Idle || IsSequenceActive(*reported))) {
        reported = Calibrating;
    }
    *out = *reported;
    return ResultSuccess;
}

unsigned int RefreshState(Session& session) {
    unsigned int sequenceCounter = 0;
    unsigned short statusWord = 0;
    return QueryState(session, &session.state, &sequenceCounter, &statusWord);
}

unsigned int RequireState(Session& session, std::initializer_list<State> accepted) {
    RefreshState(session);
    if (session.state == NotConnected) return ResultCommunicationError;
    for (State s : accepted) {
        if (s == session.state) return ResultSuccess;
    }
    return ResultNotPossibleNow;
}

unsigned char CollectDeviceErrors(Session& session) {
    RefreshState(session);
    return session.lastDeviceError;
}

unsigned int ClearDeviceErrors(Session& session) {
    if (!Exchange(session.Line(), Request(kClearError)).Done()) return ResultCommunicationError;
    session.lastDeviceError = 0;
    return ResultSuccess;
}

unsigned int AcknowledgeWaitForUser(Session& session) {
    if (unsigned int r = RequireState(session, {WaitingForUser})) return r;
    const auto reply = Exchange(session.Line(), Request(kAcknowledge));
    switch (reply.outcome) {
    case Outcome::Done: return ResultSuccess;
    case Outcome::Refused: return ResultNotPossibleNow;
    default: return ResultCommunicationError;
    }
}

unsigned int ResetDevice(Session& session) { return ResultOf(Exchange(session.Line(), Request(kResetDevice))); }

unsigned int StopSequence(Session& session) { return ResultOf(Exchange(session.Line(), Request(kStopSequence))); }

unsigned int Stop(Session& session, CalibrationHooks& calibration) {
    RefreshState(session);
    if (session.state == Calibrating) {
        calibration.End(session);
    } else if (IsSequenceActive(session.state)) {
        // The final state query tells whether it worked; the command's own answer adds nothing.
        StopSequence(session);
    } else if (session.state == NotConnected) {
        return ResultCommunicationError;
    }
    return RefreshState(session);
}

unsigned int DeleteAllSequences(Session& session) {
    if (unsigned int r = RequireState(session, {Idle})) return r;
    return ResultOf(Exchange(session.Line(), Request(kDeleteAll)));
}

}  // namespace korvan::detail

bool IsSequenceActive(State state) {
    switch (state) {
    case Running:
    case ActiveA:
    case ActiveB:
    case WaitingForUser:
    case ActiveC: return true;
    default: return false;
    }
}
