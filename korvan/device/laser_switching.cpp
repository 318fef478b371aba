// Switching a defined laser outside a sequence: a continuous laser through its line and analog
// channel, a pulsed laser through a one-element pulse sequence that repeats until stopped.
#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/laser_levels.h>
#include <korvan/device/detail/laser_lookup.h>
#include <korvan/device/detail/process_state.h>
#include <korvan/sequence/sequence_outputs.h>

using korvan::ResultInvalidArgument;
using korvan::ResultNotPossibleNow;
using korvan::ResultSuccess;
using korvan::detail::kMaxIntensity;
using korvan::detail::LookUpLaser;

unsigned int Korvan::SetLaserONOFF(unsigned int id, int on) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    // Only a calibration run starts a pulsed laser's pulse sequence.
    if (laser->IsPulsed()) return ResultInvalidArgument;
    return on != 0 ? TurnLaserON(*laser) : TurnLaserOFF(*laser);
}

unsigned int Korvan::SetLaserIntensity(unsigned int id, unsigned int intensity) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    if (laser->IsPulsed()) return ResultInvalidArgument;
    if (!laser->CanChangeIntensity()) return ResultNotPossibleNow;
    GetState(&state);
    if (state == NotConnected) return korvan::ResultCommunicationError;
    if (intensity > kMaxIntensity) return ResultInvalidArgument;
    laser->intensity = intensity;
    // A running sequence drives the channel itself; the value waits for the next direct use.
    if (state != Idle && state != Calibrating) return ResultSuccess;
    return SetAnalog(static_cast<unsigned char>(laser->port), korvan::detail::AnalogLevelFor(*laser, intensity));
}

unsigned int Korvan::TurnLaserON(Laser& laser) {
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    if (laser.port == NoOutput) return ResultInvalidArgument;
    if (!laser.IsPulsed()) return SetDigital(static_cast<unsigned char>(laser.port), laser.OnLevel());

    // Deliberately process-wide: a pulsed laser's switch-on gives later sequences the full scan
    // lead again, as the interface documents for this call.
    korvan::detail::ProcessWide().scanMode = ScanModeDefault;
    SequencePulseTTL pulse(laser.port);
    pulse.startTick = korvan::detail::PulseStartTick(laser.pulseFrequency, tickTime);
    SequenceObject* elements[] = {&pulse};
    unsigned short number = 0;
    // The laser's own port: only this sequence may pulse it.
    if (unsigned int r = UploadSequenceInternal(elements, 1, &number, 1)) return r;
    pulseSequenceNumber = number;
    return StartSequenceInternal(pulseSequenceNumber, NoInput, Trigger1, 0);
}

unsigned int Korvan::TurnLaserOFF(Laser& laser) {
    if (unsigned int r = RequireState({Idle, Calibrating})) return r;
    return SwitchLaserOff(laser);
}

unsigned int Korvan::SwitchLaserOff(const Laser& laser) {
    if (laser.port == NoOutput) return ResultInvalidArgument;
    if (!laser.IsPulsed()) return SetDigital(static_cast<unsigned char>(laser.port), laser.OffLevel());
    // The stop's own answer adds nothing: the delete below needs the device idle anyway.
    StopSequenceInternal();
    return DeleteSequence(pulseSequenceNumber);
}

unsigned int Korvan::CalibrationLaserOff() { return TurnLaserOFF(calibrationLaser); }

unsigned int Korvan::CalibrationLaserOn() { return TurnLaserON(calibrationLaser); }

unsigned int Korvan::CalibrationLaserRestore() {
    // An intensity-controlled laser comes back at the run's intensity, which also relights it.
    if (!calibrationLaser.CanChangeIntensity()) return TurnLaserON(calibrationLaser);
    return SetCalibrationIntensity(calibrationIntensity);
}

void Korvan::DarkenCalibrationLaser() noexcept {
    if (state != Calibrating) return;
    try {
        if (port != nullptr && port->rs232.IsConnected()) SwitchLaserOff(calibrationLaser);
    } catch (...) {
        // Best effort on the way out: nothing may escape a destructor.
    }
    state = Idle;
}
