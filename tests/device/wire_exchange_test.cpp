// The exchange rules every command shares: echo and status checks, time-outs, late bytes,
// and the port shared between copies.
#include <support/wire_session_fixture.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace devicetest {
namespace {

using DeviceWireExchange = WireTest;

TEST_F(DeviceWireExchange, WrongEchoFailsEvenWithStatusDone) {
    Open();
    Step({0x4F}, {0x4E, 0xFF});
    EXPECT_EQ(ClearDeviceErrors(session), 1u);
    Step({0x40}, {0x40, 0xFF});
    EXPECT_EQ(ResetDevice(session), 0u);
}

TEST_F(DeviceWireExchange, RefusingStatusFails) {
    Open();
    Step({0x3D}, {0x3D, 0x00});
    EXPECT_EQ(StopSequence(session), 1u);
    EXPECT_TRUE(PortOpen()) << "only a failed state query closes the port";
}

TEST_F(DeviceWireExchange, SurplusBytesOfABadReplyDoNotShiftTheNextReply) {
    Open();
    // A garbled reply longer than expected: the host reads two bytes, sees a wrong echo, and
    // must not take the rest for the answer to its next command.
    Step({0x4F}, {0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(ClearDeviceErrors(session), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Step({0x40}, {0x40, 0xFF});
    EXPECT_EQ(ResetDevice(session), 0u);
}

TEST_F(DeviceWireExchange, LateReplyIsDiscardedBeforeTheNextCommand) {
    Open();
    // The reply comes after the host has given up on it (one byte is awaited at most 2 s).
    Step({0x40}, {0x40, 0xFF}, 2300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ResetDevice(session), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2300));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Step({0x3D}, {0x3D, 0xFF});
    EXPECT_EQ(StopSequence(session), 0u) << "took the late 40 FF as its reply";
}

TEST(DeviceWireLateInput, ALineThatKeepsSendingDoesNotHoldTheNextCommandBack) {
    testsupport::PtyPeer peer;
    korvan::detail::Session session;
    std::string name = peer.PortName();
    ASSERT_TRUE(session.Line().rs232.Connect(name.data()));
    std::atomic<bool> babbling{true};
    std::thread noise([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
        while (babbling && std::chrono::steady_clock::now() < end) {
            peer.WriteToHost({0x00});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_EQ(ResetDevice(session), 1u);  // wrong echo: late input expected
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ResetDevice(session), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    babbling = false;
    noise.join();
    EXPECT_EQ(peer.DrainFromHost(), (Bytes{0x40, 0x40})) << "both commands went out";
}

TEST_F(DeviceWireExchange, NotConnectedSendsNothing) {
    EXPECT_EQ(ClearDeviceErrors(session), 1u);
    EXPECT_EQ(Stop(session, calibration), 1u);
    EXPECT_EQ(Disconnect(session, calibration), 0u);
    State s = Idle;
    EXPECT_EQ(Query(&s), 1u);
    EXPECT_EQ(s, NotConnected);
}

TEST_F(DeviceWireExchange, CopiesShareThePortUntilTheLastOneGoes) {
    Open();
    {
        // A Korvan copies its session: the copies below are what its copies hold.
        korvan::detail::Session copy(session);
        korvan::detail::Session assigned;
        assigned = copy;
        Step({0x40}, {0x40, 0xFF});
        EXPECT_EQ(ResetDevice(assigned), 0u);
    }
    // The copies are gone; the original still owns an open port.
    EXPECT_TRUE(PortOpen());
    Step({0x40}, {0x40, 0xFF});
    EXPECT_EQ(ResetDevice(session), 0u);

    korvan::detail::Session survivor(session);
    session = korvan::detail::Session();
    EXPECT_TRUE(survivor.PortOpen());
    survivor = korvan::detail::Session();
    // Released with the last copy: the port can be opened again (opens are exclusive).
    RS232 probe;
    std::string name = peer.PortName();
    EXPECT_TRUE(probe.Connect(name.data()));
}

TEST_F(DeviceWireExchange, DisconnectStopsResetsAndRestoresTheBaudRate) {
    Open();
    StateStep(0);                // Disconnect's own query
    StateStep(0);                // Stop: refresh
    StateStep(0);                // Stop: final query
    Step({0x40}, {0x40, 0x00});  // reset refused ...
    Step({0x1E}, {0x1E, 0xFF});  // ... but the baud-rate reset confirms, which decides
    EXPECT_EQ(Disconnect(session, calibration), 0u);
    EXPECT_FALSE(PortOpen());
    State s = Idle;
    EXPECT_EQ(Query(&s), 1u);
    EXPECT_EQ(s, NotConnected);
    EXPECT_EQ(Disconnect(session, calibration), 0u) << "a second Disconnect sends nothing";
}

TEST_F(DeviceWireExchange, DisconnectReportsTheResetWhenTheBaudRateResetFails) {
    Open();
    StateStep(0);
    StateStep(0);
    StateStep(0);
    Step({0x40}, {0x40, 0x00});
    Step({0x1E}, {0x1E, 0x20});  // the bootloader's answer, not the device's
    EXPECT_EQ(Disconnect(session, calibration), 1u);
    EXPECT_FALSE(PortOpen());
}

}  // namespace
}  // namespace devicetest
