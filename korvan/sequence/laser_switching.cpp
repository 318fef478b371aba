#include <korvan/sequence/detail/laser_switching.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/laser_levels.h>
#include <korvan/device/detail/laser_lookup.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/detail/process_state.h>
#include <korvan/sequence/detail/upload.h>
#include <korvan/sequence/sequence_outputs.h>

namespace korvan::detail {

unsigned int TurnLaserOn(Session& session, const Laser& laser) {
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    if (laser.port == NoOutput) return ResultInvalidArgument;
    if (!laser.IsPulsed()) return SetDigital(session, static_cast<unsigned char>(laser.port), laser.OnLevel());

    // Deliberately process-wide: a pulsed laser's switch-on gives later sequences the full scan
    // lead again, as the interface documents for this call.
    ProcessWide().scanMode = ScanModeDefault;
    SequencePulseTTL pulse(laser.port);
    pulse.startTick = PulseStartTick(laser.pulseFrequency, session.tickTime);
    SequenceObject* elements[] = {&pulse};
    unsigned short number = 0;
    // The laser's own port: only this sequence may pulse it.
    if (unsigned int r = UploadImage(session, elements, 1, &number, true)) return r;
    session.pulseSequenceNumber = number;
    return StartStoredSequence(session, session.pulseSequenceNumber, NoInput, Trigger1, 0);
}

unsigned int TurnLaserOff(Session& session, const Laser& laser) {
    if (unsigned int r = RequireState(session, {Idle, Calibrating})) return r;
    return SwitchLaserOff(session, laser);
}

unsigned int SwitchLaserOff(Session& session, const Laser& laser) {
    if (laser.port == NoOutput) return ResultInvalidArgument;
    if (!laser.IsPulsed()) return SetDigital(session, static_cast<unsigned char>(laser.port), laser.OffLevel());
    // The stop's own answer adds nothing: the delete below needs the device idle anyway.
    StopSequence(session);
    return DeleteSequence(session, session.pulseSequenceNumber);
}

unsigned int SetLaserOnOff(Session& session, unsigned int id, int on) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    // Only a calibration run starts a pulsed laser's pulse sequence.
    if (laser->IsPulsed()) return ResultInvalidArgument;
    return on != 0 ? TurnLaserOn(session, *laser) : TurnLaserOff(session, *laser);
}

unsigned int SetLaserIntensity(Session& session, unsigned int id, unsigned int intensity) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    if (laser->IsPulsed()) return ResultInvalidArgument;
    if (!laser->CanChangeIntensity()) return ResultNotPossibleNow;
    RefreshState(session);
    if (session.state == NotConnected) return ResultCommunicationError;
    if (intensity > kMaxIntensity) return ResultInvalidArgument;
    laser->intensity = intensity;
    // A running sequence drives the channel itself; the value waits for the next direct use.
    if (session.state != Idle && session.state != Calibrating) return ResultSuccess;
    return SetAnalog(session, static_cast<unsigned char>(laser->port), AnalogLevelFor(*laser, intensity));
}

}  // namespace korvan::detail
