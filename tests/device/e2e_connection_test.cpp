// Discovery, connection and disconnection against the virtual device.
#include <support/virtual_device_fixture.h>

#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/device/detail/connection.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/memory.h>

#include <cstring>

namespace devicetest {
namespace {

using DeviceEndToEndConnection = SimTest;

TEST_F(DeviceEndToEndConnection, SearchListsDevicesOfThisKindOnly) {
    sim::Identity second;
    second.serialNumber = "222-0002";
    second.description = std::string(70, 'D');  // longer than the field
    sim::Identity other;
    other.deviceType = 2;
    other.serialNumber = "999-9999";
    sim::VirtualDevice b(second), c(other);
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(c.Start());
    ScopedEnv ports("TESSEL_EXTRA_PORTS", sim.PortName() + ":" + c.PortName() + ":" + b.PortName());

    Korvan k;
    ASSERT_EQ(k.Search(), 2u);
    DeviceInfo info{};
    ASSERT_EQ(k.GetDeviceInfo(0, &info), 0u);
    EXPECT_STREQ(info.portName, sim.PortName().c_str());
    EXPECT_STREQ(info.serialNumber, "123-4567");
    EXPECT_STREQ(info.description, "Korvan virtual scanner");
    EXPECT_EQ(info.deviceType, 3);
    EXPECT_EQ(info.firmwareVersion, 16);
    EXPECT_EQ(info.revision, 2);
    EXPECT_EQ(info.bootloaderVersion, 2);
    EXPECT_EQ(info.deviceSubType, 1);
    ASSERT_EQ(Korvan().GetDeviceInfo(1, &info), 0u) << "the list is shared";
    EXPECT_STREQ(info.serialNumber, "222-0002");
    EXPECT_EQ(std::string(info.description), std::string(49, 'D'));
    EXPECT_EQ(k.GetDeviceInfo(2, &info), 2u);
    EXPECT_EQ(k.GetDeviceInfo(-1, &info), 1u);
}

TEST_F(DeviceEndToEndConnection, NothingFound) {
    ScopedEnv ports("TESSEL_EXTRA_PORTS", "");
    Korvan k;
    EXPECT_EQ(k.Search(), 0u);
    DeviceInfo info{};
    EXPECT_EQ(k.GetDeviceInfo(0, &info), 2u);
    EXPECT_EQ(k.GetDeviceInfo(-1, &info), 1u);
    EXPECT_EQ(k.Connect("000-0000"), 1u);
}

TEST_F(DeviceEndToEndConnection, ConnectBySerialRaisesTheRateAndCleansUp) {
    ScopedEnv ports("TESSEL_EXTRA_PORTS", sim.PortName());
    Model([](sim::DeviceModel& m) {
        m.errorBits = 0x11;
        m.memory.Fill(*m.memory.Reserve(100), std::vector<uint8_t>(100));
        m.runningSequence = 1;
    });
    // A session of its own, so that the cached state and error bits can be read after Connect.
    korvan::detail::Session session;
    korvan::detail::CalibrationRun calibration;
    ASSERT_EQ(korvan::detail::Connect(session, calibration, "123-4567"), 0u);
    EXPECT_EQ(sim.HostLineRate(), 921600);
    EXPECT_EQ(sim.LineRate(), 921600);
    EXPECT_EQ(session.state, Idle);
    EXPECT_EQ(session.lastDeviceError, 0);
    EXPECT_EQ(CollectDeviceErrors(session), 0);
    EXPECT_EQ(GetSequenceCount(session), 0u);
    EXPECT_EQ(sim.RequestCount(0x3D), 1) << "the running sequence was stopped";
    DeviceInfo info{};
    ASSERT_EQ(korvan::detail::GetDeviceInfo(session, -1, &info), 0u);
    EXPECT_STREQ(info.serialNumber, "123-4567");
    EXPECT_STREQ(info.portName, sim.PortName().c_str());
}

TEST_F(DeviceEndToEndConnection, SerialNumberPatternMustMatchTheWholeArgument) {
    ScopedEnv ports("TESSEL_EXTRA_PORTS", sim.PortName());
    Korvan k;
    EXPECT_EQ(k.Connect("123-45678"), 1u) << "opened as a port name, which does not exist";
    EXPECT_EQ(k.Connect("765-4321"), 1u) << "no device carries it";
    EXPECT_EQ(sim.RequestCount(0x31), 0);
    EXPECT_EQ(k.Connect(nullptr), 2u);
}

TEST_F(DeviceEndToEndConnection, KeepBaudRateStaysAt9600) {
    Korvan k(1);
    ConnectByPort(k);
    EXPECT_EQ(sim.HostLineRate(), 9600);
    EXPECT_EQ(sim.RequestCount(0x1B), 0);
    EXPECT_EQ(StateOf(k), Idle);
}

TEST_F(DeviceEndToEndConnection, OtherDeviceTypeIsRefusedByPortName) {
    sim::Identity other;
    other.deviceType = 2;
    sim.SetIdentity(other);
    Korvan k;
    EXPECT_EQ(k.Connect(sim.PortName().c_str()), 1u);
    EXPECT_EQ(sim.RequestCount(0x31), 0);
}

TEST_F(DeviceEndToEndConnection, DisconnectReturnsTheDeviceTo9600) {
    Korvan k;
    ConnectByPort(k);
    EXPECT_EQ(sim.LineRate(), 921600);
    EXPECT_EQ(k.Disconnect(), 0u);
    EXPECT_EQ(sim.LineRate(), 9600);
    EXPECT_EQ(StateOf(k), NotConnected);
    const size_t sent = sim.BytesFromHost().size();
    EXPECT_EQ(k.Disconnect(), 0u);
    EXPECT_EQ(sim.BytesFromHost().size(), sent) << "a second Disconnect sends nothing";

    // The device speaks its bootloader protocol again: a new connection works.
    ConnectByPort(k);
    EXPECT_EQ(StateOf(k), Idle);
}

TEST_F(DeviceEndToEndConnection, UnknownStateCodeClosesThePort) {
    Korvan k;
    ConnectByPort(k);
    Model([](sim::DeviceModel& m) { m.forcedStateCode = 12; });
    EXPECT_EQ(StateOf(k), NotConnected);
    DeviceInfo info{};
    EXPECT_EQ(k.GetDeviceInfo(-1, &info), 1u);
    EXPECT_EQ(k.Stop(), 1u);
}

TEST_F(DeviceEndToEndConnection, FailingCleanUpIsReportedButTheConnectionStands) {
    sim.AddFault(sim::FaultRule{sim::Fault::RefusingStatus, 0x3B});
    Korvan k;
    EXPECT_EQ(k.Connect(sim.PortName().c_str()), 1u);
    EXPECT_EQ(sim.RequestCount(0x40), 0) << "clean-up stops at the first failure";
    EXPECT_EQ(StateOf(k), Idle);
}

}  // namespace
}  // namespace devicetest
