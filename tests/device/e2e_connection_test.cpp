// Discovery, connection and disconnection against the virtual device.
#include <support/serial_pty_peer.h>
#include <support/virtual_device_fixture.h>

#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/device/detail/connection.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/line_rates.h>
#include <support/line_rate.h>
#include <korvan/sequence/sequence_point.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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

// Ports are asked side by side; devices come out in the ports' order all the same, and
// connecting by serial number takes the first port that carries it and frees the others.
TEST_F(DeviceEndToEndConnection, DevicesAmongSilentPortsKeepThePortsOrder) {
    testsupport::PtyPeer silent[3];
    sim::Identity twin;
    twin.serialNumber = "222-0002";
    sim::VirtualDevice b(twin), c(twin);
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(c.Start());
    const std::vector<std::string> order = {silent[0].PortName(), sim.PortName(),       silent[1].PortName(),
                                            b.PortName(),         silent[2].PortName(), c.PortName()};
    std::string list;
    for (const std::string& port : order) list += (list.empty() ? "" : ":") + port;
    ScopedEnv ports("TESSEL_EXTRA_PORTS", list);

    Korvan k;
    ASSERT_EQ(k.Search(), 3u);
    const std::string expected[] = {sim.PortName(), b.PortName(), c.PortName()};
    for (int i = 0; i < 3; ++i) {
        DeviceInfo info{};
        ASSERT_EQ(k.GetDeviceInfo(i, &info), 0u);
        EXPECT_EQ(std::string(info.portName), expected[i]) << i;
    }

    ASSERT_EQ(k.Connect("222-0002"), 0u);
    DeviceInfo connected{};
    ASSERT_EQ(k.GetDeviceInfo(-1, &connected), 0u);
    EXPECT_EQ(std::string(connected.portName), b.PortName());
    EXPECT_EQ(b.LineRate(), 921600);
    EXPECT_EQ(c.LineRate(), 9600) << "the twin further on was only asked";
    Korvan other;
    EXPECT_EQ(other.Connect(c.PortName().c_str()), 0u) << "its probe let the port go";
    EXPECT_EQ(other.Disconnect(), 0u);
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
    EXPECT_EQ(sim.HostLineRate(), testsupport::SeenHostRate(921600));
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
    EXPECT_EQ(sim.HostLineRate(), testsupport::SeenHostRate(9600));
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

// A program that ends without Disconnect leaves its device at the raised rate (the destructor
// sends nothing), where nothing sent at 9600 baud reaches it.
TEST_F(DeviceEndToEndConnection, ADeviceLeftAtItsRaisedRateIsFoundAndConnectedAgain) {
    // The most common rate and the slowest, tried last.
    for (int rate : {korvan::kFastBaudRates[0], std::end(korvan::kFastBaudRates)[-1]}) {
        sim::Identity id;
        id.maxBaudRate = rate;
        id.serialNumber = "321-0001";
        sim::VirtualDevice left(id);
        ASSERT_TRUE(left.Start());
        ScopedEnv ports("TESSEL_EXTRA_PORTS", left.PortName());
        {
            Korvan first;
            ASSERT_EQ(first.Connect(left.PortName().c_str()), 0u) << rate;
            Model(left, [](sim::DeviceModel& m) { m.runningSequence = 1; });  // and it runs something
        }
        ASSERT_EQ(left.LineRate(), rate);

        Korvan next;
        ASSERT_EQ(next.Search(), 1u) << rate;
        DeviceInfo info{};
        ASSERT_EQ(next.GetDeviceInfo(0, &info), 0u);
        EXPECT_STREQ(info.serialNumber, "321-0001");
        const int stops = left.RequestCount(0x3D);
        ASSERT_EQ(next.Connect("321-0001"), 0u) << rate;
        EXPECT_EQ(StateOf(next), Idle) << rate;
        EXPECT_EQ(left.RequestCount(0x3D), stops + 1) << "what it ran was stopped";
        EXPECT_EQ(next.Disconnect(), 0u);
        EXPECT_EQ(left.LineRate(), 9600);
    }
}

// The device keeps its tick time across connections; a new object compiles with its own (50 µs
// unless set), so Connect gives the device that one.
TEST_F(DeviceEndToEndConnection, ConnectGivesTheDeviceTheObjectsTickTime) {
    Model([](sim::DeviceModel& m) { m.tickTime = 10; });  // left so by another program
    Korvan k;
    ConnectByPort(k);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.tickTime; }), 50u);

    unsigned int laser = 0;
    ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput1, 0, 10000, 0, &laser), 0u);
    SequencePoint point(1000, 1000);
    point.useCalibration = 0;
    point.laserIds[0] = laser;
    point.repeatCount = 200;
    unsigned int duration = 0, light = 0;
    ASSERT_EQ(k.GetTiming(point, &duration, &light), 0u);
    SequenceObject* elements[] = {&point};
    unsigned short number = 0;
    ASSERT_EQ(k.UploadSequence(elements, 1, &number), 0u);
    sim.ClearTimeline();
    ASSERT_EQ(k.StartSequence(number, NoInput, Trigger1, 1), 0u);
    ASSERT_TRUE(sim.WaitUntilIdle(5000));
    uint64_t endUs = 0;
    const sim::image::Timeline timeline = sim.ExecutedTimeline();  // a copy: the loop must not outlive it
    for (const auto& r : timeline.Records())
        if (r.event == sim::image::Event::RunEnd) endUs = r.timeUs;
    EXPECT_GE(endUs, uint64_t{duration} * 50) << "the device ran as long as GetTiming said";
    EXPECT_LE(endUs, uint64_t{duration + 2} * 50);

    // An object whose tick time was set keeps it through a new connection.
    ASSERT_EQ(k.SetTickTime(20), 0u);
    ASSERT_EQ(k.Disconnect(), 0u);
    Model([](sim::DeviceModel& m) { m.tickTime = 10; });
    ConnectByPort(k);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.tickTime; }), 20u);
}

// Search and Connect on a connected object drop its line: the device must come back to 9600 baud
// first, where every later search starts, and what it runs goes on.
class ReplacingAConnectedLine : public DeviceEndToEndConnection {
protected:
    void SetUp() override {
        DeviceEndToEndConnection::SetUp();
        sim::Identity id;
        id.serialNumber = "222-0002";
        second = std::make_unique<sim::VirtualDevice>(id);
        ASSERT_TRUE(second->Start());
        ports = std::make_unique<ScopedEnv>("TESSEL_EXTRA_PORTS", sim.PortName() + ":" + second->PortName());
        ConnectByPort(k);
        Model([](sim::DeviceModel& m) { m.runningSequence = 1; });
        ASSERT_EQ(sim.LineRate(), 921600);
    }
    /// The first device is back at 9600 and still runs, untouched by stop or reset.
    void ExpectHandedBackRunning() {
        EXPECT_EQ(sim.LineRate(), 9600);
        EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.runningSequence; }), 1);
        EXPECT_EQ(sim.RequestCount(0x3D), 0);
        EXPECT_EQ(sim.RequestCount(0x40), 1) << "only Connect's own reset";
    }
    std::unique_ptr<sim::VirtualDevice> second;
    std::unique_ptr<ScopedEnv> ports;
    Korvan k;
};

TEST_F(ReplacingAConnectedLine, SearchThenConnect) {
    EXPECT_EQ(k.Search(), 2u);
    ExpectHandedBackRunning();
    ASSERT_EQ(k.Connect("222-0002"), 0u);
    ExpectHandedBackRunning();
    EXPECT_EQ(second->LineRate(), 921600);
}

TEST_F(ReplacingAConnectedLine, ConnectThenSearch) {
    ASSERT_EQ(k.Connect("222-0002"), 0u);
    ExpectHandedBackRunning();
    EXPECT_EQ(k.Search(), 2u);
    ExpectHandedBackRunning();
    EXPECT_EQ(second->LineRate(), 9600);
}

}  // namespace
}  // namespace devicetest
