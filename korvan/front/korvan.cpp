// Korvan, the application's front: every operation forwards to the free functions over its
// session, to the laser list or to its calibration run.
#include <korvan/device/korvan.h>

#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/calibration/detail/laser_tables.h>
#include <korvan/detail/heap.h>
#include <korvan/device/detail/connection.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/laser_list.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/motion.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/detail/process_state.h>
#include <korvan/sequence/detail/laser_switching.h>
#include <korvan/sequence/detail/upload.h>

namespace kd = korvan::detail;

namespace {

// Every operation that returns a result code leaves the detail of a ResultCommunicationError
// behind for LastFailure, and Failure::None after any other result.
template <class Operation>
unsigned int Reported(kd::Session& session, Operation operation) {
    session.Line().failure = korvan::Failure::None;
    const unsigned int result = operation();
    const korvan::Failure seen = session.Line().failure;
    if (result != korvan::ResultCommunicationError)
        session.lastFailure = korvan::Failure::None;
    else
        session.lastFailure = seen != korvan::Failure::None ? seen : korvan::Failure::NoConnection;
    return result;
}

}  // namespace

Korvan::Korvan() : Korvan(0) {}

Korvan::Korvan(int keepBaudRate)
    : session_(std::make_unique<kd::Session>()), calibration_(std::make_unique<kd::CalibrationRun>()) {
    session_->keepBaudRate = keepBaudRate;
}

// A copy shares the session's line (the last copy closes it) and owns the rest, its calibration
// laser included.
Korvan::Korvan(const Korvan& other)
    : session_(std::make_unique<kd::Session>(*other.session_)),
      calibration_(std::make_unique<kd::CalibrationRun>(*other.calibration_)) {}

Korvan& Korvan::operator=(const Korvan& other) {
    *session_ = *other.session_;
    *calibration_ = *other.calibration_;
    return *this;
}

Korvan::~Korvan() { calibration_->Darken(*session_); }

// ---- Discovery and connection ----------------------------------------------------------

unsigned int Korvan::Search() { return kd::Search(*session_, *calibration_); }
unsigned int Korvan::GetDeviceInfo(int index, DeviceInfo* info) {
    return Reported(*session_, [&] { return kd::GetDeviceInfo(*session_, index, info); });
}
unsigned int Korvan::Connect(const char* portNameOrSerialNumber) {
    return Reported(*session_, [&] { return kd::Connect(*session_, *calibration_, portNameOrSerialNumber); });
}
unsigned int Korvan::Disconnect() {
    return Reported(*session_, [&] { return kd::Disconnect(*session_, *calibration_); });
}
void Korvan::SetSendingDataFct(bool (*function)(int, int)) { session_->Line().imageProgress = function; }

// ---- State, errors and reset -----------------------------------------------------------

unsigned int Korvan::GetState(State* state, unsigned int* sequenceCounter, unsigned short* statusWord) {
    return Reported(*session_, [&] { return kd::QueryState(*session_, state, sequenceCounter, statusWord); });
}
unsigned int Korvan::GetState(State* state, unsigned int* sequenceCounter) {
    unsigned short statusWord = 0;
    return Reported(*session_, [&] { return kd::QueryState(*session_, state, sequenceCounter, &statusWord); });
}
unsigned int Korvan::GetState(State* state) {
    unsigned int sequenceCounter = 0;
    unsigned short statusWord = 0;
    return Reported(*session_, [&] { return kd::QueryState(*session_, state, &sequenceCounter, &statusWord); });
}
unsigned char Korvan::GetLastDeviceError() { return kd::CollectDeviceErrors(*session_); }
unsigned int Korvan::ClearLastDeviceError() {
    return Reported(*session_, [&] { return kd::ClearDeviceErrors(*session_); });
}
unsigned int Korvan::AcknowledgeWaitForUser() {
    return Reported(*session_, [&] { return kd::AcknowledgeWaitForUser(*session_); });
}
unsigned int Korvan::Stop() {
    return Reported(*session_, [&] { return kd::Stop(*session_, *calibration_); });
}
unsigned int Korvan::DeleteAllSequences() {
    return Reported(*session_, [&] { return kd::DeleteAllSequences(*session_); });
}

// ---- Outputs, motion and timing --------------------------------------------------------

unsigned int Korvan::SetOutputDefault(OutputPorts port, int level) {
    return Reported(*session_, [&] { return kd::SetOutputDefault(*session_, port, level); });
}
unsigned int Korvan::GetOutputDefault(OutputPorts port, int* level) {
    return Reported(*session_, [&] { return kd::GetOutputDefault(*session_, port, level); });
}
unsigned int Korvan::SetTickTime(unsigned int microseconds) {
    return Reported(*session_, [&] { return kd::SetTickTime(*session_, microseconds); });
}
unsigned int Korvan::SetScanMode(ScanMode mode) {
    // An unknown mode leaves the lead as it was.
    if (mode == ScanModeDefault || mode == ScanModeShort) kd::ProcessWide().scanMode = mode;
    session_->lastFailure = korvan::Failure::None;
    return korvan::ResultSuccess;
}
unsigned int Korvan::MoveAbsolute(unsigned int x, unsigned int y) {
    return Reported(*session_, [&] { return kd::MoveAbsolute(*session_, *calibration_, x, y); });
}
unsigned int Korvan::MoveAbsolute(tagPOINT position) {
    return MoveAbsolute(static_cast<unsigned int>(position.x), static_cast<unsigned int>(position.y));
}
unsigned int Korvan::MoveRelative(int dx, int dy) {
    return Reported(*session_, [&] { return kd::MoveRelative(*session_, *calibration_, dx, dy); });
}
unsigned int Korvan::MoveRelative(tagPOINT offset) { return MoveRelative(offset.x, offset.y); }
unsigned int Korvan::GetActualPosition(tagPOINT* position) {
    return Reported(*session_, [&] { return kd::GetActualPosition(*session_, *calibration_, position); });
}

// ---- Sequence memory and user data -----------------------------------------------------

unsigned int Korvan::GetSequenceCount() { return kd::GetSequenceCount(*session_); }
unsigned int Korvan::GetMemoryUsage(unsigned int index, SequenceMemoryInfo* info) {
    return Reported(*session_, [&] { return kd::GetMemoryUsage(index, info); });
}
unsigned int Korvan::GetAvailableMemory(unsigned int* freeBytes, unsigned int* largestBlock) {
    return Reported(*session_, [&] { return kd::GetAvailableMemory(*session_, freeBytes, largestBlock); });
}
unsigned int Korvan::DeleteSequence(unsigned short sequenceNumber) {
    return Reported(*session_, [&] { return kd::DeleteSequence(*session_, sequenceNumber); });
}
unsigned int Korvan::GetUserData(unsigned char** data, unsigned int* length) {
    return Reported(*session_, [&] { return kd::GetUserData(*session_, data, length); });
}
unsigned int Korvan::SetUserData(const unsigned char* data, unsigned int length) {
    return Reported(*session_, [&] { return kd::SetUserData(*session_, data, length); });
}
void Korvan::FreeUserData(unsigned char* data) { kd::HeapRelease(data); }

// ---- Laser definitions -----------------------------------------------------------------

unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id, int activeLevel, unsigned int warmUpTime) {
    // In the order of LaserSettings' fields.
    return AddLaser(LaserSettings{port, switchOnDelay, switchOffDelay, intensityDelay, minIntensity, maxIntensity,
                                  pulseFrequency, activeLevel, warmUpTime},
                    id);
}
unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id) {
    return AddLaser(switchOnDelay, switchOffDelay, intensityDelay, port, minIntensity, maxIntensity, pulseFrequency, id,
                    1, 0u);
}
unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id, int activeLevel) {
    return AddLaser(switchOnDelay, switchOffDelay, intensityDelay, port, minIntensity, maxIntensity, pulseFrequency, id,
                    activeLevel, 0u);
}
unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id, unsigned int warmUpTime) {
    return AddLaser(switchOnDelay, switchOffDelay, intensityDelay, port, minIntensity, maxIntensity, pulseFrequency, id,
                    1, warmUpTime);
}
unsigned int Korvan::AddLaser(const LaserSettings& settings, unsigned int* id) {
    return Reported(*session_, [&] { return kd::DefineLaser(*session_, Laser(settings), id); });
}
unsigned int Korvan::RemoveLaser(unsigned int id) {
    return Reported(*session_, [&] { return kd::RemoveLaser(id); });
}
unsigned int Korvan::GetPortForLaser(unsigned int id, OutputPorts* port) {
    return Reported(*session_, [&] { return kd::GetPortForLaser(id, port); });
}
unsigned int Korvan::SetPortForLaser(unsigned int id, OutputPorts port) {
    return Reported(*session_, [&] { return kd::SetPortForLaser(*session_, id, port); });
}
unsigned int Korvan::GetLaserStepSize(unsigned int id, int* stepSize) {
    return Reported(*session_, [&] { return kd::GetLaserStepSize(id, stepSize); });
}
unsigned int Korvan::SetLaserStepSize(unsigned int id, int stepSize) {
    return Reported(*session_, [&] { return kd::SetLaserStepSize(id, stepSize); });
}
unsigned int Korvan::GetLaser(unsigned int id, Laser* laser) const { return kd::CopyLaser(id, laser); }

// ---- Laser switching -------------------------------------------------------------------

unsigned int Korvan::SetLaserONOFF(unsigned int id, int on) {
    return Reported(*session_, [&] { return kd::SetLaserOnOff(*session_, id, on); });
}
unsigned int Korvan::SetLaserIntensity(unsigned int id, unsigned int intensity) {
    return Reported(*session_, [&] { return kd::SetLaserIntensity(*session_, id, intensity); });
}

// ---- Calibration runs ------------------------------------------------------------------

unsigned int Korvan::StartCalibration(unsigned int pointCount, unsigned int laserId) {
    return Reported(*session_, [&] { return calibration_->Start(*session_, pointCount, laserId); });
}
unsigned int Korvan::SetCalibrationIntensity(unsigned int intensity) {
    return Reported(*session_, [&] { return calibration_->SetIntensity(*session_, intensity); });
}
unsigned int Korvan::SetCalibrationPoint(unsigned int index, RPOINTF camera, RPOINTF device) {
    return Reported(*session_, [&] { return calibration_->SetPoint(*session_, index, camera, device); });
}
unsigned int Korvan::SetCalibrationPoint(unsigned int index, RPOINTF camera) {
    return Reported(*session_, [&] { return calibration_->SetPoint(*session_, index, camera); });
}
unsigned int Korvan::ResetCalibration(unsigned int laserId) {
    return Reported(*session_, [&] { return kd::ResetCalibration(laserId); });
}
unsigned int Korvan::GetDeviceCoordinates(RPOINTF camera, RPOINTF* device, unsigned int laserId) {
    return Reported(*session_, [&] { return kd::GetDeviceCoordinates(camera, device, laserId); });
}
unsigned int Korvan::LoadCalibration(const char* path, unsigned int laserId) {
    return Reported(*session_, [&] { return kd::LoadCalibration(*session_, path, laserId); });
}
unsigned int Korvan::SaveCalibration(const char* path, unsigned int laserId) {
    return Reported(*session_, [&] { return kd::SaveCalibration(*session_, path, laserId); });
}

// ---- Sequences -------------------------------------------------------------------------

unsigned int Korvan::UploadSequence(const SequenceObject* const* elements, unsigned int count,
                                    unsigned short* sequenceNumber) {
    return Reported(*session_, [&] { return kd::UploadSequence(*session_, elements, count, sequenceNumber); });
}
unsigned int Korvan::CalcMemoryUsage(const SequenceObject* const* elements, unsigned int count, unsigned int* size) {
    return Reported(*session_, [&] { return kd::CalcMemoryUsage(*session_, elements, count, size); });
}
unsigned int Korvan::GetTiming(const SequenceObject& element, unsigned int* duration, unsigned int* illumination) {
    return Reported(*session_, [&] { return kd::GetTiming(*session_, element, duration, illumination); });
}
unsigned int Korvan::StartSequence(unsigned short sequenceNumber, InputPorts input, TriggerBehaviour trigger,
                                   unsigned int runs) {
    return Reported(*session_, [&] { return kd::StartSequence(*session_, sequenceNumber, input, trigger, runs); });
}
unsigned int Korvan::GetSequenceSettings(korvan::SequenceSettings* settings) const {
    if (settings == nullptr) return korvan::ResultInvalidArgument;
    *settings = kd::SequenceSettingsFor(*session_, false);
    return korvan::ResultSuccess;
}

unsigned int Korvan::AnalyzeSequence(const SequenceObject* const* elements, unsigned int count,
                                     SequenceAnalysis* analysis) {
    return Reported(*session_, [&] { return kd::AnalyzeSequence(*session_, elements, count, analysis); });
}
unsigned int Korvan::StartExternMode(InputPorts) {
    session_->lastFailure = korvan::Failure::None;
    return korvan::ResultNotPossibleNow;
}

korvan::Failure Korvan::LastFailure() const { return session_->lastFailure; }
