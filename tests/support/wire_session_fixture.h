#pragma once
// A session whose line is opened straight onto a scripted peer, bypassing the bootloader
// identification, so a test states every byte of the device command protocol. Tests call the
// session functions that Korvan forwards to.
#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/calibration/detail/laser_tables.h>
#include <korvan/device/detail/connection.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/laser_list.h>
#include <korvan/sequence/detail/laser_switching.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/motion.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/detail/session.h>
#include <korvan/device/korvan.h>
#include <korvan/sequence/detail/upload.h>
#include <support/process_state_guard.h>
#include <support/serial_pty_peer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace devicetest {

using namespace korvan::detail;
using testsupport::Bytes;
using testsupport::ProcessStateGuard;

class WireTest : public ::testing::Test {
protected:
    void Open(unsigned int firmware = 16) {
        session.firmwareVersion = firmware;
        std::string name = peer.PortName();
        ASSERT_TRUE(session.Line().rs232.Connect(name.data()));
        session.state = Idle;
    }

    /// Scripts one exchange and remembers the request, so TearDown can tell extra traffic.
    void Step(Bytes request, Bytes reply, int delayMs = 0) {
        sent_.insert(sent_.end(), request.begin(), request.end());
        peer.Expect(std::move(request), std::move(reply), delayMs);
    }

    /// Scripts a state query answered with device code `code` in the reply shape of the
    /// firmware the session was opened with.
    void StateStep(std::uint8_t code, std::uint8_t errors = 0, std::uint32_t counter = 0,
                   std::uint16_t statusWord = 0) {
        Bytes reply{0x31,
                    code,
                    errors,
                    std::uint8_t(counter >> 24),
                    std::uint8_t(counter >> 16),
                    std::uint8_t(counter >> 8),
                    std::uint8_t(counter)};
        if (session.firmwareVersion >= 16) {
            reply.push_back(std::uint8_t(statusWord >> 8));
            reply.push_back(std::uint8_t(statusWord));
        }
        Step({0x31}, reply);
    }

    /// The state query into `*state`, the outputs a test does not look at dropped.
    unsigned int Query(State* state) { return QueryState(session, state, &counter_, &statusWord_); }
    unsigned int Query(State* state, unsigned int* counter) {
        return QueryState(session, state, counter, &statusWord_);
    }
    unsigned int Query(State* state, unsigned int* counter, unsigned short* statusWord) {
        return QueryState(session, state, counter, statusWord);
    }

    bool PortOpen() { return session.PortOpen(); }

    void TearDown() override {
        EXPECT_THAT(peer.Finish(), ::testing::IsEmpty());
        // Nothing beyond the scripted requests reached the device.
        EXPECT_EQ(testsupport::Hex(peer.AllFromHost()), testsupport::Hex(sent_));
    }

    testsupport::PtyPeer peer;
    Session session;
    CalibrationRun calibration;

private:
    Bytes sent_;
    unsigned int counter_ = 0;
    unsigned short statusWord_ = 0;
};

}  // namespace devicetest
