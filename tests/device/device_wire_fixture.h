#pragma once
// A Korvan object whose port is opened straight onto a scripted peer, bypassing the bootloader
// identification, so a test states every byte of the device command protocol.
#include <korvan/device/detail/device_access.h>
#include <korvan/device/korvan.h>
#include <support/serial_pty_peer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace devicetest {

using korvan::detail::DeviceAccess;
using testsupport::Bytes;

class WireTest : public ::testing::Test {
protected:
    void Open(unsigned int firmware = 16) {
        DeviceAccess::FirmwareVersion(device) = firmware;
        std::string name = peer.PortName();
        ASSERT_TRUE(DeviceAccess::Line(device).rs232.Connect(name.data()));
        DeviceAccess::CachedState(device) = Idle;
    }

    /// Scripts one exchange and remembers the request, so TearDown can tell extra traffic.
    void Step(Bytes request, Bytes reply, int delayMs = 0) {
        sent_.insert(sent_.end(), request.begin(), request.end());
        peer.Expect(std::move(request), std::move(reply), delayMs);
    }

    /// Scripts a state query answered with device code `code` in the reply shape of the
    /// firmware the object was opened with.
    void StateStep(std::uint8_t code, std::uint8_t errors = 0, std::uint32_t counter = 0,
                   std::uint16_t statusWord = 0) {
        Bytes reply{0x31,
                    code,
                    errors,
                    std::uint8_t(counter >> 24),
                    std::uint8_t(counter >> 16),
                    std::uint8_t(counter >> 8),
                    std::uint8_t(counter)};
        if (DeviceAccess::FirmwareVersion(device) >= 16) {
            reply.push_back(std::uint8_t(statusWord >> 8));
            reply.push_back(std::uint8_t(statusWord));
        }
        Step({0x31}, reply);
    }

    bool PortOpen() { return DeviceAccess::Line(device).rs232.IsConnected(); }

    void TearDown() override {
        EXPECT_THAT(peer.Finish(), ::testing::IsEmpty());
        // Nothing beyond the scripted requests reached the device.
        EXPECT_EQ(testsupport::Hex(peer.AllFromHost()), testsupport::Hex(sent_));
    }

    testsupport::PtyPeer peer;
    Korvan device;

private:
    Bytes sent_;
};

}  // namespace devicetest
