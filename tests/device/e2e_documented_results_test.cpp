// Every result an operation gives must be named in its header comment. Each row runs one public
// operation in one situation on the virtual device (or with no device), checks the code it gives,
// and checks that the code's name (ResultInvalidArgument, ...) is in the `///` comment above the
// operation's declaration.
#include <support/header_comment.h>
#include <support/soak_cycle.h>
#include <support/virtual_device_fixture.h>

#include <korvan/calibration/calibration.h>
#include <korvan/sequence/sequence_elements.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Situation {
    NoLasers,     ///< not connected, the laser list empty
    Offline,      ///< not connected, three lasers defined
    Idle,         ///< connected, the lasers defined
    Running,      ///< an endless sequence runs
    Calibrating,  ///< a calibration run with the continuous laser
    WaitingUser,  ///< the device reports a wait for the user
};

const char* SituationName(Situation s) {
    switch (s) {
    case Situation::NoLasers: return "NoLasers";
    case Situation::Offline: return "Offline";
    case Situation::Idle: return "Idle";
    case Situation::Running: return "Running";
    case Situation::Calibrating: return "Calibrating";
    case Situation::WaitingUser: return "WaitingUser";
    }
    return "?";
}

class DocumentedResults;

struct Row {
    const char* operation;  ///< the declaration's name in the header
    const char* what;       ///< the case, for the test's name
    Situation situation;
    unsigned int expected;
    std::function<unsigned int(DocumentedResults&)> call;
    const char* header = KORVAN_HEADER;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << r.operation << "_" << SituationName(r.situation) << "_" << r.what;
}

class DocumentedResults : public devicetest::SimTest, public ::testing::WithParamInterface<Row> {
public:
    Korvan k;
    unsigned int continuous = 0;  ///< LaserOutput1, intensity range 0..10000
    unsigned int pulsed = 0;      ///< LaserOutput2, 1000 Hz
    unsigned int fixed = 0;       ///< LaserOutput3, no intensity range
    unsigned short stored = 0;    ///< a sequence on the device (Idle and later situations)
    std::vector<std::unique_ptr<SequenceObject>> owned;
    std::vector<SequenceObject*> elements;
    unsigned char bytes[4] = {1, 2, 3, 4};
    unsigned char* userData = nullptr;
    unsigned int length = 0;
    std::string missingFile = "/nonexistent-korvan-dir/table.ini";
    // Outputs of the calls, so that each row's call fits on one line.
    DeviceInfo info{};
    State state = Idle;
    int level = 0;
    tagPOINT position{};
    unsigned int number = 0;
    OutputPorts port = NoOutput;
    Laser laser;
    RPOINTF device;
    SequenceMemoryInfo memoryInfo{};
    SequenceAnalysis analysis;

    void Enter(Situation s) {
        if (s == Situation::NoLasers) return;
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput1, 0, 10000, 0, &continuous), 0u);
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput2, 0, 0, 1000, &pulsed), 0u);
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput3, 0, 0, 0, &fixed), 0u);
        owned = soak::Points(2, continuous);
        for (auto& e : owned) elements.push_back(e.get());
        if (s == Situation::Offline) return;
        ConnectByPort(k);
        ASSERT_EQ(k.UploadSequence(elements.data(), 2, &stored), 0u);
        if (s == Situation::Running) ASSERT_EQ(k.StartSequence(stored, NoInput, Trigger1, 0), 0u);
        if (s == Situation::Calibrating) ASSERT_EQ(k.StartCalibration(4, continuous), 0u);
        if (s == Situation::WaitingUser) Model([](sim::DeviceModel& m) { m.forcedStateCode = 9; });
    }
    unsigned int Upload() {
        unsigned short number = 0;
        return k.UploadSequence(elements.data(), static_cast<unsigned int>(elements.size()), &number);
    }
    unsigned int UploadOne(SequenceObject& element) {
        SequenceObject* one[] = {&element};
        unsigned short number = 0;
        return k.UploadSequence(one, 1, &number);
    }
    std::string PortName() { return sim.PortName(); }
    void SetCapacity(std::uint32_t bytes) {
        Model([bytes](sim::DeviceModel& m) { m.memory.SetCapacity(bytes); });
    }
    void Fault(sim::Fault kind, int request) {
        sim::FaultRule rule;
        rule.kind = kind;
        rule.request = request;
        sim.AddFault(rule);
    }

protected:
    void TearDown() override {
        k.FreeUserData(userData);
        k.Disconnect();
    }
};

using S = Situation;
using D = DocumentedResults;
constexpr unsigned int kOk = korvan::ResultSuccess, kComm = korvan::ResultCommunicationError,
                       kArg = korvan::ResultInvalidArgument, kMemory = korvan::ResultMemoryTooSmall,
                       kInvalid = korvan::ResultSequenceInvalid, kNotNow = korvan::ResultNotPossibleNow;
const RPOINTF kNaN(std::numeric_limits<double>::quiet_NaN(), 0.0);

const Row kRows[] = {
    // Discovery and connection.
    {"GetDeviceInfo", "ConnectedDeviceWithoutConnection", S::Offline, kComm,
 [](D& t) { return t.k.GetDeviceInfo(-1, &t.info); }},
    {"GetDeviceInfo", "NullInfo", S::Idle, kArg, [](D& t) { return t.k.GetDeviceInfo(-1, nullptr); }},
    {"GetDeviceInfo", "ConnectedDevice", S::Idle, kOk,
 [](D& t) { return t.k.GetDeviceInfo(-1, &t.info); }},
    {"Connect", "NullName", S::Offline, kArg, [](D& t) { return t.k.Connect(nullptr); }},
    {"Connect", "NoSuchPort", S::Offline, kComm, [](D& t) { return t.k.Connect("/nonexistent-korvan-port"); }},
    {"Connect", "CleanUpStepRefused", S::Offline, kComm,
     [](D& t) {
         t.Fault(sim::Fault::RefusingStatus, 0x4F);  // clearing the errors
         return t.k.Connect(t.PortName().c_str());
     }},
    {"Disconnect", "NotConnected", S::Offline, kOk, [](D& t) { return t.k.Disconnect(); }},
    // State, errors and reset.
    {"GetState", "NotConnected", S::Offline, kComm,
 [](D& t) { return t.k.GetState(&t.state); }},
    {"GetState", "NullState", S::Idle, kArg, [](D& t) { return t.k.GetState(nullptr); }},
    {"GetState", "NoReply", S::Idle, kComm,
     [](D& t) {
         t.Fault(sim::Fault::NoReply, 0x31);
         State s = Idle;
         return t.k.GetState(&s);
     }},
    {"ClearLastDeviceError", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.ClearLastDeviceError(); }},
    {"ClearLastDeviceError", "Refused", S::Idle, kComm,
     [](D& t) {
         t.Fault(sim::Fault::RefusingStatus, 0x4F);
         return t.k.ClearLastDeviceError();
     }},
    {"AcknowledgeWaitForUser", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.AcknowledgeWaitForUser(); }},
    {"AcknowledgeWaitForUser", "NoWait", S::Idle, kNotNow, [](D& t) { return t.k.AcknowledgeWaitForUser(); }},
    {"AcknowledgeWaitForUser", "Waiting", S::WaitingUser, kOk, [](D& t) { return t.k.AcknowledgeWaitForUser(); }},
    {"AcknowledgeWaitForUser", "Refused", S::WaitingUser, kNotNow,
     [](D& t) {
         t.Fault(sim::Fault::RefusingStatus, 0x36);
         return t.k.AcknowledgeWaitForUser();
     }},
    {"Stop", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.Stop(); }},
    {"Stop", "Running", S::Running, kOk, [](D& t) { return t.k.Stop(); }},
    {"DeleteAllSequences", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.DeleteAllSequences(); }},
    {"DeleteAllSequences", "Running", S::Running, kNotNow, [](D& t) { return t.k.DeleteAllSequences(); }},
    // Outputs, motion and timing.
    {"SetOutputDefault", "MirrorPort", S::Idle, kArg, [](D& t) { return t.k.SetOutputDefault(MirrorX, 1); }},
    {"SetOutputDefault", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.SetOutputDefault(TTLOutput1, 1); }},
    {"SetOutputDefault", "Running", S::Running, kNotNow, [](D& t) { return t.k.SetOutputDefault(TTLOutput1, 1); }},
    {"GetOutputDefault", "NullLevel", S::Idle, kArg, [](D& t) { return t.k.GetOutputDefault(TTLOutput1, nullptr); }},
    {"GetOutputDefault", "NotConnected", S::Offline, kComm,
 [](D& t) { return t.k.GetOutputDefault(TTLOutput1, &t.level); }},
    {"GetOutputDefault", "Calibrating", S::Calibrating, kNotNow,
 [](D& t) { return t.k.GetOutputDefault(TTLOutput1, &t.level); }},
    {"SetTickTime", "Zero", S::Idle, kArg, [](D& t) { return t.k.SetTickTime(0); }},
    {"SetTickTime", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.SetTickTime(20); }},
    {"SetTickTime", "Running", S::Running, kNotNow, [](D& t) { return t.k.SetTickTime(20); }},
    {"SetTickTime", "Idle", S::Idle, kOk, [](D& t) { return t.k.SetTickTime(20); }},
    {"SetScanMode", "Offline", S::Offline, kOk, [](D& t) { return t.k.SetScanMode(ScanModeShort); }},
    {"MoveAbsolute", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.MoveAbsolute(1, 1); }},
    {"MoveAbsolute", "BeyondField", S::Idle, kArg, [](D& t) { return t.k.MoveAbsolute(65536, 1); }},
    {"MoveAbsolute", "NegativePoint", S::Idle, kArg, [](D& t) { return t.k.MoveAbsolute(tagPOINT{-1, 5}); }},
    {"MoveAbsolute", "Running", S::Running, kNotNow, [](D& t) { return t.k.MoveAbsolute(1, 1); }},
    {"MoveAbsolute", "Calibrating", S::Calibrating, kOk, [](D& t) { return t.k.MoveAbsolute(100, 100); }},
    {"MoveRelative", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.MoveRelative(1, 1); }},
    {"MoveRelative", "LeavesField", S::Idle, kArg, [](D& t) { return t.k.MoveRelative(-70000, 0); }},
    {"GetActualPosition", "NullPosition", S::Idle, kArg, [](D& t) { return t.k.GetActualPosition(nullptr); }},
    {"GetActualPosition", "Running", S::Running, kNotNow,
 [](D& t) { return t.k.GetActualPosition(&t.position); }},
    // Sequence memory and user data.
    {"GetMemoryUsage", "NullInfo", S::Idle, kArg, [](D& t) { return t.k.GetMemoryUsage(0, nullptr); }},
    {"GetMemoryUsage", "BeyondTable", S::Idle, kArg,
 [](D& t) { return t.k.GetMemoryUsage(1000000, &t.memoryInfo); }},
    {"GetAvailableMemory", "NullFree", S::Idle, kArg, [](D& t) { return t.k.GetAvailableMemory(nullptr, nullptr); }},
    {"GetAvailableMemory", "NotConnected", S::Offline, kComm,
 [](D& t) { return t.k.GetAvailableMemory(&t.number, nullptr); }},
    {"DeleteSequence", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.DeleteSequence(1); }},
    {"DeleteSequence", "NotHeld", S::Idle, kOk, [](D& t) { return t.k.DeleteSequence(999); }},
    {"GetUserData", "NullData", S::Idle, kArg, [](D& t) { return t.k.GetUserData(nullptr, &t.length); }},
    {"GetUserData", "NotConnected", S::Offline, kNotNow, [](D& t) { return t.k.GetUserData(&t.userData, &t.length); }},
    {"GetUserData", "Idle", S::Idle, kOk, [](D& t) { return t.k.GetUserData(&t.userData, &t.length); }},
    {"SetUserData", "Empty", S::Idle, kArg, [](D& t) { return t.k.SetUserData(t.bytes, 0); }},
    {"SetUserData", "NotConnected", S::Offline, kNotNow, [](D& t) { return t.k.SetUserData(t.bytes, 4); }},
    // Laser definitions.
    {"AddLaser", "NullId", S::Offline, kArg,
     [](D& t) { return t.k.AddLaser(0, 0, 0, LaserOutput4, 0, 0, 0, nullptr); }},
    {"AddLaser", "PortTaken", S::Offline, kArg,
 [](D& t) { return t.k.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &t.number); }},
    {"AddLaser", "Running", S::Running, kNotNow,
 [](D& t) { return t.k.AddLaser(0, 0, 0, LaserOutput4, 0, 0, 0, &t.number); }},
    {"AddLaser", "OffLevelRefused", S::Idle, kComm,
     [](D& t) {
         t.Fault(sim::Fault::RefusingStatus, 0xFE);
         unsigned int id = 0;
         return t.k.AddLaser(0, 0, 0, LaserOutput4, 0, 0, 0, &id, 0);
     }},
    {"RemoveLaser", "Unknown", S::NoLasers, kArg, [](D& t) { return t.k.RemoveLaser(7); }},
    {"GetPortForLaser", "EmptyList", S::NoLasers, kNotNow,
 [](D& t) { return t.k.GetPortForLaser(1, &t.port); }},
    {"SetPortForLaser", "TTLPort", S::Offline, kArg, [](D& t) { return t.k.SetPortForLaser(t.fixed, TTLOutput2); }},
    {"SetPortForLaser", "EmptyList", S::NoLasers, kNotNow, [](D& t) { return t.k.SetPortForLaser(1, LaserOutput4); }},
    {"SetPortForLaser", "NotConnectedAfterConnection", S::Idle, kComm,
     [](D& t) {
         t.k.Disconnect();  // the last connection's firmware still asks for the off level
         return t.k.SetPortForLaser(t.fixed, LaserOutput4);
     }},
    {"GetLaserStepSize", "EmptyList", S::NoLasers, kNotNow,
 [](D& t) { return t.k.GetLaserStepSize(1, &t.level); }},
    {"SetLaserStepSize", "Unknown", S::Offline, kArg, [](D& t) { return t.k.SetLaserStepSize(99, 10); }},
    {"GetLaser", "EmptyList", S::NoLasers, kNotNow,
 [](D& t) { return t.k.GetLaser(1, &t.laser); }},
    // Laser switching.
    {"SetLaserONOFF", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.SetLaserONOFF(t.continuous, 1); }},
    {"SetLaserONOFF", "Pulsed", S::Idle, kArg, [](D& t) { return t.k.SetLaserONOFF(t.pulsed, 1); }},
    {"SetLaserONOFF", "Running", S::Running, kNotNow, [](D& t) { return t.k.SetLaserONOFF(t.continuous, 1); }},
    {"SetLaserIntensity", "NotConnected", S::Offline, kComm,
     [](D& t) { return t.k.SetLaserIntensity(t.continuous, 10); }},
    {"SetLaserIntensity", "NoRange", S::Idle, kNotNow, [](D& t) { return t.k.SetLaserIntensity(t.fixed, 10); }},
    {"SetLaserIntensity", "AboveFull", S::Idle, kArg, [](D& t) { return t.k.SetLaserIntensity(t.continuous, 10001); }},
    {"SetLaserIntensity", "WhileRunning", S::Running, kOk, [](D& t) { return t.k.SetLaserIntensity(t.continuous, 5); }},
    // Calibration runs.
    {"StartCalibration", "NotConnected", S::Offline, kComm, [](D& t) { return t.k.StartCalibration(4, t.continuous); }},
    {"StartCalibration", "BadCount", S::Idle, kArg, [](D& t) { return t.k.StartCalibration(5, t.continuous); }},
    {"StartCalibration", "Running", S::Running, kNotNow, [](D& t) { return t.k.StartCalibration(4, t.continuous); }},
    {"SetCalibrationIntensity", "NotConnected", S::Offline, kComm,
     [](D& t) { return t.k.SetCalibrationIntensity(10); }},
    {"SetCalibrationIntensity", "AboveFull", S::Calibrating, kArg,
     [](D& t) { return t.k.SetCalibrationIntensity(10001); }},
    {"SetCalibrationIntensity", "OutsideRun", S::Idle, kOk, [](D& t) { return t.k.SetCalibrationIntensity(10); }},
    {"SetCalibrationPoint", "NoRun", S::Idle, kNotNow,
     [](D& t) { return t.k.SetCalibrationPoint(0, RPOINTF(1, 1), RPOINTF(1, 1)); }},
    {"SetCalibrationPoint", "IndexBeyondCount", S::Calibrating, kArg,
     [](D& t) { return t.k.SetCalibrationPoint(4, RPOINTF(1, 1), RPOINTF(1, 1)); }},
    {"SetCalibrationPoint", "FromMirrorsNotConnected", S::Offline, kComm,
     [](D& t) { return t.k.SetCalibrationPoint(0, RPOINTF(1, 1)); }},
    {"ResetCalibration", "EmptyList", S::NoLasers, kNotNow, [](D& t) { return t.k.ResetCalibration(1); }},
    {"GetDeviceCoordinates", "NotANumber", S::Offline, kArg,
 [](D& t) { return t.k.GetDeviceCoordinates(kNaN, &t.device, t.continuous); }},
    {"GetDeviceCoordinates", "EmptyList", S::NoLasers, kNotNow,
 [](D& t) { return t.k.GetDeviceCoordinates(RPOINTF(1, 1), &t.device, 1); }},
    {"LoadCalibration", "MissingFile", S::Offline, kNotNow,
     [](D& t) { return t.k.LoadCalibration(t.missingFile.c_str(), t.continuous); }},
    {"LoadCalibration", "NullPath", S::Offline, kArg, [](D& t) { return t.k.LoadCalibration(nullptr, t.continuous); }},
    {"LoadCalibration", "DuringRun", S::Calibrating, kNotNow,
     [](D& t) { return t.k.LoadCalibration(t.missingFile.c_str(), t.continuous); }},
    {"LoadCalibration", "EmptyList", S::NoLasers, kArg,
     [](D& t) { return t.k.LoadCalibration(t.missingFile.c_str(), 1); }},
    {"SaveCalibration", "NullPath", S::Offline, kArg, [](D& t) { return t.k.SaveCalibration(nullptr, t.continuous); }},
    {"SaveCalibration", "UnwritableFolder", S::Offline, kArg,
     [](D& t) { return t.k.SaveCalibration(t.missingFile.c_str(), t.continuous); }},
    // Sequences.
    {"UploadSequence", "NullNumber", S::Idle, kArg,
     [](D& t) { return t.k.UploadSequence(t.elements.data(), 2, nullptr); }},
    {"UploadSequence", "NotConnected", S::Offline, kComm, [](D& t) { return t.Upload(); }},
    {"UploadSequence", "Running", S::Running, kNotNow, [](D& t) { return t.Upload(); }},
    {"UploadSequence", "MemoryTooSmall", S::Idle, kMemory,
     [](D& t) {
         t.SetCapacity(20);
         return t.Upload();
     }},
    {"UploadSequence", "AnalogOnTTL", S::Idle, kInvalid,
     [](D& t) {
         SequenceSetAnalog analog(TTLOutput1, 100);
         return t.UploadOne(analog);
     }},
    {"CalcMemoryUsage", "NullSize", S::Offline, kArg,
     [](D& t) { return t.k.CalcMemoryUsage(t.elements.data(), 2, nullptr); }},
    {"CalcMemoryUsage", "Offline", S::Offline, kOk,
 [](D& t) { return t.k.CalcMemoryUsage(t.elements.data(), 2, &t.number); }},
    {"GetTiming", "NullDuration", S::Offline, kArg,
 [](D& t) { return t.k.GetTiming(*t.elements[0], nullptr, &t.number); }},
    {"StartSequence", "NotConnected", S::Offline, kComm,
     [](D& t) { return t.k.StartSequence(1, NoInput, Trigger1, 1); }},
    {"StartSequence", "OnlyTriggerInvalid", S::Idle, kArg,
     [](D& t) { return t.k.StartSequence(t.stored, Input0, static_cast<TriggerBehaviour>(0), 1); }},
    {"StartSequence", "InputAndTriggerInvalid", S::Idle, kArg,
     [](D& t) { return t.k.StartSequence(t.stored, static_cast<InputPorts>(9), static_cast<TriggerBehaviour>(0), 1); }},
    {"StartSequence", "NumberNotHeld", S::Idle, kArg, [](D& t) { return t.k.StartSequence(999, NoInput, Trigger1, 1); }},
    {"StartSequence", "Running", S::Running, kNotNow,
     [](D& t) { return t.k.StartSequence(t.stored, NoInput, Trigger1, 1); }},
    {"StartSequence", "Idle", S::Idle, kOk, [](D& t) { return t.k.StartSequence(t.stored, NoInput, Trigger1, 1); }},
    {"AnalyzeSequence", "ElementYieldsNothing", S::Offline, kInvalid,
     [](D& t) {
         SequenceObject nothing;
         SequenceObject* one[] = {&nothing};
         SequenceAnalysis analysis;
         return t.k.AnalyzeSequence(one, 1, &analysis);
     }},
    {"StartExternMode", "Idle", S::Idle, kNotNow, [](D& t) { return t.k.StartExternMode(Input0); }},
    {"GetSequenceSettings", "NullSettings", S::Offline, kArg, [](D& t) { return t.k.GetSequenceSettings(nullptr); }},
    // The calibration table itself.
    {"Init", "BadCount", S::Offline, kArg, [](D&) { return Calibration().Init(5); }, CALIBRATION_HEADER},
    {"LoadCalibration", "TableMissingFile", S::Offline, kNotNow,
     [](D& t) { return Calibration().LoadCalibration(t.missingFile.c_str()); }, CALIBRATION_HEADER},
    {"SaveCalibration", "TableUnwritableFolder", S::Offline, kArg,
     [](D& t) { return Calibration().SaveCalibration(t.missingFile.c_str()); }, CALIBRATION_HEADER},
    {"SetCalibrationPoint", "TableIndexBeyondCount", S::Offline, kArg,
     [](D&) { return Calibration(4).SetCalibrationPoint(4, RPOINTF(1, 1), RPOINTF(1, 1)); }, CALIBRATION_HEADER},
};

TEST_P(DocumentedResults, GivesItsResultAndItsCommentNamesIt) {
    const Row& row = GetParam();
    Enter(row.situation);
    if (HasFatalFailure()) return;
    const unsigned int result = row.call(*this);
    EXPECT_EQ(result, row.expected) << testsupport::ResultCodeName(result);
    const std::string comment = testsupport::DeclarationComment(row.header, row.operation);
    ASSERT_FALSE(comment.empty()) << "no documented declaration of " << row.operation << " in " << row.header;
    EXPECT_NE(comment.find(testsupport::ResultCodeName(result)), std::string::npos)
        << row.operation << " gave " << testsupport::ResultCodeName(result) << ", which its comment does not name:\n"
        << comment;
}

INSTANTIATE_TEST_SUITE_P(Operations, DocumentedResults, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.operation) + "_" + SituationName(info.param.situation) +
                                    "_" + info.param.what;
                         });

TEST(DocumentedResultsTable, CoversEnoughPairsAndEveryCode) {
    EXPECT_GE(std::size(kRows), 60u);
    bool seen[6] = {};
    for (const Row& row : kRows) seen[row.expected] = true;
    for (unsigned int code = 0; code < 6; ++code) EXPECT_TRUE(seen[code]) << testsupport::ResultCodeName(code);
}

}  // namespace
