// The detail behind ResultCommunicationError (Korvan::LastFailure): a cancelled upload, a broken
// line and the exchange faults each say what they were, and a cancel neither waits for the
// device's pause nor leaves the connection or the device's memory confused.
#include <support/soak_cycle.h>
#include <support/virtual_device_fixture.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace {

using korvan::Failure;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point begin) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
}

// Where the progress function cancels: past this share of the image (1.0: at the final report,
// when every byte is already on the line).
double g_cancelShare = 0.5;
bool g_cancelled = false;
bool CancelPastShare(int sent, int total) {
    const bool cancel = sent >= total * g_cancelShare;
    g_cancelled = g_cancelled || cancel;
    return !cancel;
}

class FailureDetail : public devicetest::SimTest {
protected:
    void Prepare(Korvan& korvan) {
        ASSERT_EQ(korvan.Connect(sim.PortName().c_str()), 0u);
        if (laser == 0) ASSERT_EQ(korvan.AddLaser(0, 0, 0, LaserOutput1, 0, 10000, 0, &laser), 0u);
        owned = soak::Points(points, laser);
        for (auto& e : owned) elements.push_back(e.get());
        g_cancelled = false;
    }
    unsigned int Upload(Korvan& korvan) {
        unsigned short number = 0;
        return korvan.UploadSequence(elements.data(), static_cast<unsigned int>(elements.size()), &number);
    }
    /// Stored sequences as the device counts them.
    std::size_t Stored() {
        return Model([](sim::DeviceModel& m) { return m.memory.Stored().size(); });
    }
    /// Bytes of sequence memory in use, reservations included.
    std::uint32_t Used() {
        return Model([](sim::DeviceModel& m) { return m.memory.Capacity() - m.memory.FreeBytes(); });
    }

    Korvan k;
    unsigned int laser = 0;
    int points = 600;
    std::vector<std::unique_ptr<SequenceObject>> owned;
    std::vector<SequenceObject*> elements;
};

// A cancel whose rest the line takes quickly is finished at once: no wait for the device's
// pause, neither in the upload nor in the next command, and nothing stays stored.
TEST_F(FailureDetail, CancelledUploadSaysSoReturnsPromptlyAndTheLineStaysUsable) {
    for (double share : {0.5, 1.0}) {
        SCOPED_TRACE(share);
        g_cancelShare = share;
        Prepare(k);
        k.SetSendingDataFct(&CancelPastShare);
        const auto begin = Clock::now();
        EXPECT_EQ(Upload(k), korvan::ResultCommunicationError);
        EXPECT_EQ(k.LastFailure(), Failure::Cancelled);
        State state = NotConnected;
        EXPECT_EQ(k.GetState(&state), 0u);
        // Well under the reply time-out (1 s) and the image pause (1.5 s) on any machine.
        EXPECT_LT(MsSince(begin), 500);
        EXPECT_TRUE(g_cancelled);
        EXPECT_EQ(state, Idle);
        EXPECT_EQ(k.LastFailure(), Failure::None);
        EXPECT_EQ(Used(), 0u) << "the cancelled image stayed in the device";
        k.SetSendingDataFct(nullptr);
        EXPECT_EQ(Upload(k), 0u);
        EXPECT_EQ(Stored(), 1u);
        ASSERT_EQ(k.DeleteAllSequences(), 0u);
        owned.clear();
        elements.clear();
    }
}

// At 9600 baud the rest of a long image would take longer than the device's pause: the image is
// abandoned instead, the upload still returns at once, the next command waits out the pause and
// the connection works.
TEST_F(FailureDetail, CancelWithALongRestAbandonsTheImageAndTheNextCommandWaitsForThePause) {
    Korvan slow(1);
    g_cancelShare = 0.1;
    Prepare(slow);
    slow.SetSendingDataFct(&CancelPastShare);
    auto begin = Clock::now();
    EXPECT_EQ(Upload(slow), korvan::ResultCommunicationError);
    EXPECT_LT(MsSince(begin), 500);
    EXPECT_EQ(slow.LastFailure(), Failure::Cancelled);
    slow.SetSendingDataFct(nullptr);
    begin = Clock::now();
    EXPECT_EQ(Upload(slow), 0u);
    EXPECT_GE(MsSince(begin), 1000);
    EXPECT_EQ(Stored(), 1u);
    slow.Disconnect();
}

TEST_F(FailureDetail, LineBrokenDuringTheImageIsNotACancel) {
    Prepare(k);
    // State query and announcement come first (10 bytes); the image is far longer.
    sim.DropLineAfterInputBytes(10 + 200);
    EXPECT_EQ(Upload(k), korvan::ResultCommunicationError);
    EXPECT_EQ(k.LastFailure(), Failure::LineBroken);
    EXPECT_STRNE(korvan::FailureText(k.LastFailure()), korvan::FailureText(Failure::Cancelled));
}

struct FaultRow {
    const char* name;
    sim::Fault fault;
    int request;
    Failure expected;
};

// Each exchange fault leaves its own detail behind an operation that gave 1.
TEST_F(FailureDetail, EachExchangeFaultGivesItsDetail) {
    const FaultRow rows[] = {
        {"NoReply", sim::Fault::NoReply, 0x4F, Failure::Timeout},
        {"ShortReply", sim::Fault::ShortReply, 0x4F, Failure::Timeout},
        {"WrongEcho", sim::Fault::WrongEcho, 0x4F, Failure::GarbledReply},
        {"RefusingStatus", sim::Fault::RefusingStatus, 0x4F, Failure::DeviceRefused},
    };
    Prepare(k);
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.name);
        sim::FaultRule rule;
        rule.kind = row.fault;
        rule.request = row.request;
        sim.AddFault(rule);
        EXPECT_EQ(k.ClearLastDeviceError(), korvan::ResultCommunicationError);
        EXPECT_EQ(k.LastFailure(), row.expected);
        sim.ClearFaults();
        // A garbled or missing reply may still be on its way; the next exchange discards it.
        EXPECT_EQ(k.ClearLastDeviceError(), 0u);
        EXPECT_EQ(k.LastFailure(), Failure::None);
    }
}

TEST_F(FailureDetail, NoConnectionIsSaidAsSuchAndOtherResultsClearTheDetail) {
    EXPECT_EQ(k.Stop(), korvan::ResultCommunicationError);
    EXPECT_EQ(k.LastFailure(), Failure::NoConnection);
    EXPECT_EQ(k.Connect("/nonexistent-korvan-port"), korvan::ResultCommunicationError);
    EXPECT_EQ(k.LastFailure(), Failure::NoConnection);
    EXPECT_EQ(k.SetTickTime(0), korvan::ResultInvalidArgument);
    EXPECT_EQ(k.LastFailure(), Failure::None);
}

TEST(FailureText, EveryFailureHasItsOwnTextAndUnknownValuesAreSaidSo) {
    const Failure all[] = {Failure::None,         Failure::NoConnection,  Failure::Cancelled, Failure::Timeout,
                           Failure::GarbledReply, Failure::DeviceRefused, Failure::LineBroken};
    for (Failure a : all) {
        EXPECT_STRNE(korvan::FailureText(a), "unknown failure");
        for (Failure b : all) {
            if (a != b) EXPECT_STRNE(korvan::FailureText(a), korvan::FailureText(b));
        }
    }
    EXPECT_STREQ(korvan::FailureText(static_cast<Failure>(99)), "unknown failure");
}

TEST(ResultText, EveryCodeHasItsOwnTextAndUnknownCodesShareOneWithoutTheNumber) {
    for (unsigned int a = 0; a <= korvan::ResultNotPossibleNow; ++a) {
        EXPECT_STRNE(KorvanResultText(a), "unknown result code");
        for (unsigned int b = 0; b < a; ++b) EXPECT_STRNE(KorvanResultText(a), KorvanResultText(b));
    }
    EXPECT_STREQ(KorvanResultText(6), "unknown result code");
    EXPECT_EQ(KorvanResultText(4000000000u), KorvanResultText(6));  // one static text
}

}  // namespace
