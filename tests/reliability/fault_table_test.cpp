// The fault table of docs/reliability.md, row by row: each fault the virtual device can commit,
// injected into one step of an upload, a start, a stop, the pulse sequence of a pulsed laser and a
// calibration run. Every row checks the result code, that the call returned within its time-outs,
// that no laser was left on, and that the object is usable afterwards: the next operation works,
// or the connection was reported lost and a new Connect works.
#include <support/virtual_device_fixture.h>
#include <support/process_state_guard.h>
#include "support/soak_cycle.h"

#include <korvan/sequence/sequence_elements.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using sim::Fault;

enum class Step {
    Announce,     ///< upload: the announcement (0x3F)
    Data,         ///< upload: the image bytes on the line
    DataReply,    ///< upload: the one-byte reply to the image
    Start,        ///< start sequence (0x3E)
    Stop,         ///< stop of a running sequence (0x3D)
    PulseUpload,  ///< calibration start of a pulsed laser: its pulse sequence's announcement
    PulseStart,   ///< ... and its start
    LaserOn,      ///< calibration start of a continuous laser: its line switched on (0x38)
    LaserOff,     ///< end of a calibration run (last point): its line switched off (0x38)
};

/// How the fault is made: a fault rule on the step's request, or something on the line.
enum class Make { Rule, DropMidData, ProgressStops };

struct Row {
    Step step;
    Make make;
    Fault fault;
    unsigned int result;  ///< the result code the call gives
    int withinMs;         ///< the call returns within this (the time-outs involved plus slack)
    bool connectionLost;  ///< afterwards the object reports NotConnected and needs a new Connect
};

const char* StepName(Step s) {
    switch (s) {
    case Step::Announce: return "UploadAnnouncement";
    case Step::Data: return "UploadData";
    case Step::DataReply: return "UploadDataReply";
    case Step::Start: return "Start";
    case Step::Stop: return "Stop";
    case Step::PulseUpload: return "PulsedLaserUpload";
    case Step::PulseStart: return "PulsedLaserStart";
    case Step::LaserOn: return "CalibrationLaserOn";
    case Step::LaserOff: return "CalibrationEnd";
    }
    return "?";
}

const char* FaultName(const Row& r) {
    if (r.make == Make::DropMidData) return "LineGoneMidTransfer";
    if (r.make == Make::ProgressStops) return "SendStopped";
    switch (r.fault) {
    case Fault::NoReply: return "NoReply";
    case Fault::WrongEcho: return "WrongEcho";
    case Fault::RefusingStatus: return "RefusingStatus";
    case Fault::ShortReply: return "ShortReply";
    case Fault::LateReply: return "LateReply";
    case Fault::Garbage: return "Garbage";
    case Fault::LineGone: return "LineGone";
    }
    return "?";
}

std::ostream& operator<<(std::ostream& os, const Row& r) { return os << StepName(r.step) << "_" << FaultName(r); }

// A reply byte is awaited for up to twice the reply time-out (1000 ms, 2000 ms for the image's
// reply), so an exchange without reply costs 2 s (4 s for the image); a late reply comes after
// that. Bounds add 1500 ms of slack for loaded machines.
constexpr int kSlack = 1500;
constexpr int kLate = 2300;            // later than a command reply's time-out
constexpr int kLateImage = 4300;       // later than the image reply's time-out
constexpr int kLong = 4000 + kSlack;   // two exchanges that time out, or the image reply
constexpr int kShort = 2000 + kSlack;  // one exchange that times out

// The rows of docs/reliability.md, in its order. A fault rule stays in force for every matching
// request (retries meet it too) until the operation has returned.
const Row kRows[] = {
    // Upload, announcement. A failed announcement is followed by the free-memory query and a
    // second announcement. A garbled reply may hide an accepted announcement, so the upload waits
    // for the device's image pause (1.5 s) before the next exchange, after either announcement.
    // A refusing status is taken at its word, but here the device has taken the announcement and
    // waits for image bytes: it swallows the memory query, which fails, and the connection is lost.
    {Step::Announce, Make::Rule, Fault::NoReply, 1, kLong, false},
    {Step::Announce, Make::Rule, Fault::WrongEcho, 1, kLong + 3000, false},
    {Step::Announce, Make::Rule, Fault::RefusingStatus, 1, kLong, true},
    {Step::Announce, Make::Rule, Fault::ShortReply, 1, kLong, false},
    {Step::Announce, Make::Rule, Fault::LateReply, 1, kLong, true},
    {Step::Announce, Make::Rule, Fault::Garbage, 1, kLong + 3000, false},
    {Step::Announce, Make::Rule, Fault::LineGone, 1, kLong, true},
    // Upload, image bytes.
    {Step::Data, Make::DropMidData, Fault::LineGone, 1, kLong, true},
    {Step::Data, Make::ProgressStops, Fault::NoReply, 1, kLong, false},
    // Upload, the one-byte reply to the image.
    {Step::DataReply, Make::Rule, Fault::NoReply, 1, kLong, false},
    {Step::DataReply, Make::Rule, Fault::WrongEcho, 1, kLong, false},
    {Step::DataReply, Make::Rule, Fault::RefusingStatus, 1, kLong, false},
    {Step::DataReply, Make::Rule, Fault::ShortReply, 1, kLong, false},
    {Step::DataReply, Make::Rule, Fault::LateReply, 1, kLong, false},
    {Step::DataReply, Make::Rule, Fault::Garbage, 1, kLong, false},
    {Step::DataReply, Make::Rule, Fault::LineGone, 1, kLong, true},
    // Start.
    {Step::Start, Make::Rule, Fault::NoReply, 1, kShort, false},
    {Step::Start, Make::Rule, Fault::WrongEcho, 1, kShort, false},
    {Step::Start, Make::Rule, Fault::RefusingStatus, 5, kShort, false},
    {Step::Start, Make::Rule, Fault::ShortReply, 1, kShort, false},
    {Step::Start, Make::Rule, Fault::LateReply, 1, kShort, false},
    {Step::Start, Make::Rule, Fault::Garbage, 1, kShort, false},
    {Step::Start, Make::Rule, Fault::LineGone, 1, kShort, true},
    // Stop of a running sequence: the stop command's own outcome is not passed on; Stop reports
    // its final state query, so only a lost line shows, and a reply so late that it meets that
    // query (whose wrong echo counts as a lost connection).
    {Step::Stop, Make::Rule, Fault::NoReply, 0, kShort, false},
    {Step::Stop, Make::Rule, Fault::WrongEcho, 0, kShort, false},
    {Step::Stop, Make::Rule, Fault::RefusingStatus, 0, kShort, false},
    {Step::Stop, Make::Rule, Fault::ShortReply, 0, kShort, false},
    {Step::Stop, Make::Rule, Fault::LateReply, 1, kShort, true},
    {Step::Stop, Make::Rule, Fault::Garbage, 0, kShort, false},
    {Step::Stop, Make::Rule, Fault::LineGone, 1, kShort, true},
    // Calibration start of a pulsed laser: its pulse sequence is uploaded (as above) ...
    {Step::PulseUpload, Make::Rule, Fault::NoReply, 1, kLong, false},
    {Step::PulseUpload, Make::Rule, Fault::WrongEcho, 1, kLong + 3000, false},
    {Step::PulseUpload, Make::Rule, Fault::RefusingStatus, 1, kLong, true},
    {Step::PulseUpload, Make::Rule, Fault::ShortReply, 1, kLong, false},
    {Step::PulseUpload, Make::Rule, Fault::LateReply, 1, kLong, true},
    {Step::PulseUpload, Make::Rule, Fault::Garbage, 1, kLong + 3000, false},
    {Step::PulseUpload, Make::Rule, Fault::LineGone, 1, kLong, true},
    // ... and started; a failed start stops and deletes it again.
    {Step::PulseStart, Make::Rule, Fault::NoReply, 1, kShort, false},
    {Step::PulseStart, Make::Rule, Fault::WrongEcho, 1, kShort, false},
    {Step::PulseStart, Make::Rule, Fault::RefusingStatus, 5, kShort, false},
    {Step::PulseStart, Make::Rule, Fault::ShortReply, 1, kShort, false},
    {Step::PulseStart, Make::Rule, Fault::LateReply, 1, kShort, false},
    {Step::PulseStart, Make::Rule, Fault::Garbage, 1, kShort, false},
    {Step::PulseStart, Make::Rule, Fault::LineGone, 1, kShort, true},
    // Calibration run of a continuous laser: switched on at the start (a failed start switches
    // it off again, through the same faulty command) ...
    {Step::LaserOn, Make::Rule, Fault::NoReply, 1, kLong, false},
    {Step::LaserOn, Make::Rule, Fault::WrongEcho, 1, kLong, false},
    {Step::LaserOn, Make::Rule, Fault::RefusingStatus, 1, kLong, false},
    {Step::LaserOn, Make::Rule, Fault::ShortReply, 1, kLong, false},
    {Step::LaserOn, Make::Rule, Fault::LateReply, 1, kLong, true},
    {Step::LaserOn, Make::Rule, Fault::Garbage, 1, kLong, false},
    {Step::LaserOn, Make::Rule, Fault::LineGone, 1, kLong, true},
    // ... and off when the last point is recorded, through Stop, whose final query decides.
    {Step::LaserOff, Make::Rule, Fault::NoReply, 0, kShort, false},
    {Step::LaserOff, Make::Rule, Fault::WrongEcho, 0, kShort, false},
    {Step::LaserOff, Make::Rule, Fault::RefusingStatus, 0, kShort, false},
    {Step::LaserOff, Make::Rule, Fault::ShortReply, 0, kShort, false},
    {Step::LaserOff, Make::Rule, Fault::LateReply, 1, kShort, true},
    {Step::LaserOff, Make::Rule, Fault::Garbage, 0, kShort, false},
    {Step::LaserOff, Make::Rule, Fault::LineGone, 1, kShort, true},
};

int RequestOf(Step s) {
    switch (s) {
    case Step::Announce:
    case Step::Data:
    case Step::DataReply:
    case Step::PulseUpload: return 0x3F;
    case Step::Start:
    case Step::PulseStart: return 0x3E;
    case Step::Stop: return 0x3D;
    case Step::LaserOn:
    case Step::LaserOff: return 0x38;
    }
    return sim::kAnyRequest;
}

bool g_keepSending = true;
bool StopAfterFirstPiece(int position, int total) { return position >= total || g_keepSending; }

class FaultTable : public devicetest::SimTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ConnectByPort(k);
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &continuous), 0u);
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput2, 0, 0, 1000, &pulsed), 0u);
    }
    void TearDown() override {
        k.SetSendingDataFct(nullptr);
        g_keepSending = true;
        k.Disconnect();
    }

    unsigned int Upload(int points, unsigned short* number) {
        // Enough points that the image is long enough to break off within.
        auto owned = soak::Points(points, continuous);
        std::vector<SequenceObject*> elements;
        for (auto& e : owned) elements.push_back(e.get());
        return k.UploadSequence(elements.data(), static_cast<unsigned>(elements.size()), number);
    }
    /// Uploads and starts a sequence that repeats until stopped.
    void StartEndless() {
        unsigned short number = 0;
        ASSERT_EQ(Upload(2, &number), 0u);
        ASSERT_EQ(k.StartSequence(number, NoInput, Trigger1, 0), 0u);
    }
    void InjectFault(const Row& row) {
        sim::FaultRule rule;
        rule.kind = row.fault;
        rule.request = RequestOf(row.step);
        rule.times = -1;  // every retry meets it too
        rule.delayMs = row.step == Step::DataReply ? kLateImage : kLate;
        // The image's reply is the second reply to 0x3F.
        rule.skip = row.step == Step::DataReply ? 1 : 0;
        sim.AddFault(rule);
    }

    /// Runs the row's operation with the fault in place; its result.
    unsigned int Operate(const Row& row) {
        switch (row.step) {
        case Step::Announce:
        case Step::DataReply: {
            unsigned short number = 0;
            InjectFault(row);
            return Upload(3, &number);
        }
        case Step::Data: {
            unsigned short number = 0;
            if (row.make == Make::DropMidData) {
                // State query and announcement come first (10 bytes); the image is longer than 400.
                sim.DropLineAfterInputBytes(10 + 200);
            } else {
                g_keepSending = false;
                k.SetSendingDataFct(&StopAfterFirstPiece);
            }
            return Upload(40, &number);
        }
        case Step::Start: {
            unsigned short number = 0;
            EXPECT_EQ(Upload(2, &number), 0u);
            InjectFault(row);
            return k.StartSequence(number, NoInput, Trigger1, 1);
        }
        case Step::Stop:
            StartEndless();
            InjectFault(row);
            return k.Stop();
        case Step::PulseUpload:
        case Step::PulseStart: InjectFault(row); return k.StartCalibration(4, pulsed);
        case Step::LaserOn: InjectFault(row); return k.StartCalibration(4, continuous);
        case Step::LaserOff: {
            EXPECT_EQ(k.StartCalibration(4, continuous), 0u);
            for (unsigned i = 0; i < 3; ++i)
                EXPECT_EQ(k.SetCalibrationPoint(i, RPOINTF(10.0 * i, 10.0 * i), RPOINTF(100.0 * i, 100.0 * i)), 0u);
            InjectFault(row);
            return k.SetCalibrationPoint(3, RPOINTF(50, 50), RPOINTF(500, 500));
        }
        }
        return 99;
    }

    testsupport::ProcessStateGuard guard;
    Korvan k;
    sim::VirtualDevice spare;  ///< connected to when the line of `sim` went away
    unsigned int continuous = 0, pulsed = 0;
};

TEST_P(FaultTable, GivesItsResultInTimeLeavesNoLaserOnAndTheObjectUsable) {
    const Row row = GetParam();
    const auto begin = std::chrono::steady_clock::now();
    const unsigned int result = Operate(row);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(result, row.result);
    EXPECT_LE(ms, row.withinMs);
    sim.ClearFaults();
    k.SetSendingDataFct(nullptr);
    // A late reply is discarded by the next exchange once it has arrived (one that starts before
    // takes it for its own reply: a wrong echo).
    if (row.fault == Fault::LateReply && row.make == Make::Rule)
        std::this_thread::sleep_until(
            begin + std::chrono::milliseconds((row.step == Step::DataReply ? kLateImage : kLate) + 300));

    // No laser may be left on: no sequence runs (a pulsed laser pulses only through one) and
    // neither laser line is on. A line that went away leaves the device as it was.
    if (!sim.LineGone()) {
        EXPECT_TRUE(sim.WaitUntilIdle(3000)) << "a sequence still runs";
        Model([](sim::DeviceModel& m) {
            EXPECT_EQ(m.lineLevels[6], 0) << "laser on LaserOutput1 left on";
            EXPECT_EQ(m.lineLevels[7], 0) << "laser on LaserOutput2 left on";
            EXPECT_EQ(m.runningSequence, -1);
        });
    }
    // A lost connection is reported as such, and a new Connect works: to the same device, which
    // still listens at the fast rate of the lost connection, or to a fresh one where the line
    // went away.
    sim::VirtualDevice* device = &sim;
    if (row.connectionLost) {
        State s = Idle;
        EXPECT_EQ(k.GetState(&s), 1u);
        EXPECT_EQ(s, NotConnected);
        if (sim.LineGone()) {
            ASSERT_TRUE(spare.Start());
            device = &spare;
        }
        ASSERT_EQ(k.Connect(device->PortName().c_str()), 0u);
    }

    // Usable: the next operations work on the same object.
    EXPECT_EQ(StateOf(k), Idle);
    unsigned short number = 0;
    ASSERT_EQ(Upload(2, &number), 0u);
    EXPECT_EQ(k.StartSequence(number, NoInput, Trigger1, 1), 0u);
    EXPECT_TRUE(device->WaitUntilIdle(3000));
    EXPECT_EQ(k.StartCalibration(4, pulsed), 0u);
    EXPECT_EQ(k.Stop(), 0u);
    EXPECT_EQ(StateOf(k), Idle);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    return std::string(StepName(info.param.step)) + "_" + FaultName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultTable, ::testing::ValuesIn(kRows), RowName);

}  // namespace
