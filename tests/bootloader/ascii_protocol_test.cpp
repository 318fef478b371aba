// The text protocol client and the text bootloader end to end against the virtual device in
// text mode.
#include <tessel/bootloader/ascii_bootloader.h>
#include <tessel/bootloader/ascii_protocol.h>
#include <tessel/serial/rs232.h>
#include <sim/device_text_responder.h>
#include <sim/virtual_device.h>

#include <support/line_rate.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(char** answers, unsigned long long count) {
    return std::vector<std::string>(answers, answers + count);
}

class TextDevice : public testing::Test {
protected:
    void SetUp() override {
        sim::UseTextProtocol(device);
        ASSERT_TRUE(device.Start());
        name = device.PortName();
    }
    template <class F>
    void Model(F&& f) {
        device.WithResponder<sim::TextResponder>([&](sim::TextResponder* r) { f(r->Model()); });
    }
    std::vector<std::string> LinesReceived() {
        std::vector<std::string> lines;
        Model([&](sim::TextModel& m) { lines = m.lines; });
        return lines;
    }

    sim::VirtualDevice device;
    std::string name;
};

TEST_F(TextDevice, QueriesDeliverTheirAnswerLinesAndTheFinalLine) {
    ASCIIProtocol protocol(name.data());
    ASSERT_TRUE(protocol.IsConnected());
    char** answers = nullptr;
    unsigned long long count = 0;
    bool ack = false;
    char firmware[] = "device:firmware:version?";
    ASSERT_TRUE(protocol.Query(firmware, &answers, &count, &ack));
    EXPECT_TRUE(ack);
    EXPECT_EQ(Lines(answers, count), std::vector<std::string>{"16"});
    protocol.CleanupMemory(answers);

    // Eleven lines: more than the first ten places of the answer array, all in order.
    char help[] = "device:help?";
    ASSERT_TRUE(protocol.Query(help, &answers, &count));
    ASSERT_EQ(count, 11u);
    EXPECT_EQ(std::string(answers[0]), "device:type?");
    EXPECT_EQ(std::string(answers[10]), "device:transfer:N!");
    // Left registered: the destructor gives it back.

    char unknown[] = "device:colour?";
    ASSERT_TRUE(protocol.Query(unknown, &answers, &count, &ack));
    EXPECT_FALSE(ack);
    EXPECT_EQ(count, 0u);
    protocol.CleanupMemory(answers);
    EXPECT_FALSE(protocol.Query(unknown));
    protocol.CleanupMemory(nullptr);  // ignored
    EXPECT_TRUE(protocol.IsConnected());
}

TEST_F(TextDevice, ABrokenFinalLineFailsAndTheDeviceIsTakenAsLost) {
    struct Case {
        const char* name;
        sim::Fault fault;  // NoReply stands for "no fault rule"; the CR comes from the model
        bool crBeforeFinal;
    };
    const Case cases[] = {{"CR before ACK", sim::Fault::NoReply, true},
                          {"final LF missing", sim::Fault::ShortReply, false},
                          {"no reply", sim::Fault::NoReply, false},
                          {"line gone", sim::Fault::LineGone, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::VirtualDevice faulty;
        sim::UseTextProtocol(faulty);
        ASSERT_TRUE(faulty.Start());
        std::string port = faulty.PortName();
        char query[] = "device:serial?";
        if (c.crBeforeFinal) {
            faulty.WithResponder<sim::TextResponder>([](sim::TextResponder* r) { r->Model().crBeforeFinalLine = 1; });
        } else {
            faulty.AddFault({c.fault, sim::TextRequestCode(query)});
        }
        ASCIIProtocol protocol(port.data(), 100);
        char** answers = nullptr;
        unsigned long long count = 7;
        bool ack = true;
        EXPECT_FALSE(protocol.Query(query, &answers, &count, &ack));
        EXPECT_EQ(count, 0u);
        EXPECT_FALSE(ack);
        EXPECT_EQ(answers, nullptr);
        EXPECT_FALSE(protocol.IsConnected());
        char type[] = "device:type?";
        EXPECT_FALSE(protocol.Query(type));  // every later query fails without the line
    }
}

TEST_F(TextDevice, BinaryTransferSendsTenThousandBytePiecesAndCanBeAborted) {
    static std::vector<int> pieces;
    static ASCIIProtocol* aborting = nullptr;
    pieces.clear();
    // The query lines go through the same port: only data pieces are counted.
    auto onProgress = [](int sent, int total) {
        if (sent == total && total > 100) {
            pieces.push_back(total);
            if (aborting != nullptr) aborting->AbortBinaryTransfer();
        }
        return true;
    };
    std::vector<unsigned char> data(25000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
    char command[] = "device:transfer:25000!";

    ASCIIProtocol protocol(name.data());
    protocol.Port().sendProgressCallback = onProgress;
    char** answers = nullptr;
    unsigned long long count = 0;
    bool ack = false;
    ASSERT_TRUE(protocol.BinaryTransfer(command, data.data(), data.size(), &answers, &count, &ack));
    EXPECT_TRUE(ack);
    EXPECT_EQ(pieces, (std::vector<int>{10000, 10000, 5000}));
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(std::string(answers[0]), "bytes:25000");
    protocol.CleanupMemory(answers);
    Model([&](sim::TextModel& m) { EXPECT_EQ(m.lastTransfer.data, data); });

    // Aborted after the first piece: nothing more is written, and the closing answer (a NACK
    // telling what arrived) is still read.
    pieces.clear();
    aborting = &protocol;
    ASSERT_TRUE(protocol.BinaryTransfer(command, data.data(), data.size(), &answers, &count, &ack));
    aborting = nullptr;
    EXPECT_FALSE(ack);
    EXPECT_EQ(pieces, std::vector<int>{10000});
    EXPECT_EQ(Lines(answers, count), std::vector<std::string>{"bytes:10000"});
    EXPECT_TRUE(protocol.IsConnected());

    // A refused command sends no data at all.
    char tooLarge[] = "device:transfer:99999999999!";
    pieces.clear();
    EXPECT_FALSE(protocol.BinaryTransfer(tooLarge, data.data(), data.size()));
    EXPECT_TRUE(pieces.empty());
}

TEST_F(TextDevice, UpdateDeviceInfoKeepsWhatItReadBeforeARefusal) {
    sim::Identity id;
    id.serialNumber = "SN-0042";
    id.description = std::string(70, 'n');  // longer than a text holds
    device.SetIdentity(id);
    ASCIIBootloader bootloader(name.data());
    ASSERT_TRUE(bootloader.UpdateDeviceInfo());
    EXPECT_STREQ(bootloader.DeviceType(), "3");
    EXPECT_STREQ(bootloader.HardwareRevision(), "2");
    EXPECT_STREQ(bootloader.FirmwareVersion(), "16");
    EXPECT_STREQ(bootloader.BootloaderVersion(), "2");
    EXPECT_STREQ(bootloader.Serial(), "SN-0042");
    EXPECT_EQ(std::string(bootloader.DeviceName()), std::string(63, 'n'));

    id.deviceType = 7;
    id.revision = 9;
    id.firmwareVersion = 20;
    device.SetIdentity(id);
    Model([](sim::TextModel& m) { m.refused.insert("device:firmware:version?"); });
    EXPECT_FALSE(bootloader.UpdateDeviceInfo());
    EXPECT_STREQ(bootloader.DeviceType(), "7");
    EXPECT_STREQ(bootloader.HardwareRevision(), "9");
    EXPECT_STREQ(bootloader.FirmwareVersion(), "16");               // the old text stays
    EXPECT_EQ(LinesReceived().back(), "device:firmware:version?");  // nothing asked after it
}

TEST_F(TextDevice, BaudRateSwitchesFollowTheDeviceBothWays) {
    ASCIIProtocol protocol(name.data());
    EXPECT_EQ(device.HostLineRate(), testsupport::SeenHostRate(115200));
    ASSERT_TRUE(protocol.SetMaxBaudrate());
    EXPECT_EQ(device.LineRate(), 921600);
    EXPECT_EQ(device.HostLineRate(), testsupport::SeenHostRate(921600));
    char type[] = "device:type?";
    EXPECT_TRUE(protocol.Query(type));  // both ends agree: the line still works

    ASSERT_TRUE(protocol.SetDefaultBaudrate());
    EXPECT_EQ(device.LineRate(), 115200);
    EXPECT_EQ(device.HostLineRate(), testsupport::SeenHostRate(115200));
    EXPECT_TRUE(protocol.Query(type));
    EXPECT_EQ(device.GarbledBytes(), 0u);
}

TEST_F(TextDevice, AMaximumRateThatIsMissingOrNotPositiveSwitchesNothing) {
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "acknowledged without a rate" : "rate 0");
        sim::Identity id;
        id.maxBaudRate = silent ? 460800 : 0;
        device.SetIdentity(id);
        Model([&](sim::TextModel& m) {
            m.lines.clear();
            if (silent) m.silent.insert("device:baudrate:max?");
        });
        ASCIIProtocol protocol(name.data());
        EXPECT_FALSE(protocol.SetMaxBaudrate());
        EXPECT_EQ(device.LineRate(), 115200);
        EXPECT_EQ(LinesReceived(), std::vector<std::string>{"device:baudrate:max?"});
        EXPECT_TRUE(protocol.IsConnected());
    }
}

TEST_F(TextDevice, AnIdentityQueryAcknowledgedWithoutAnswerFails) {
    ASCIIBootloader bootloader(name.data());
    Model([](sim::TextModel& m) { m.silent.insert("device:serial?"); });
    EXPECT_FALSE(bootloader.UpdateDeviceInfo());
    EXPECT_STREQ(bootloader.BootloaderVersion(), "2");
    EXPECT_STREQ(bootloader.Serial(), "");
    EXPECT_STREQ(bootloader.DeviceName(), "");
}

TEST(TextProtocol, APortThatDoesNotOpenFailsEveryCall) {
    char missing[] = "tessel-no-such-port";
    ASCIIProtocol protocol(missing);
    EXPECT_FALSE(protocol.IsConnected());
    char type[] = "device:type?";
    bool ack = true;
    EXPECT_FALSE(protocol.Query(type, &ack));
    EXPECT_FALSE(ack);
    EXPECT_FALSE(protocol.SetMaxBaudrate());
    ASCIIBootloader bootloader(missing);
    EXPECT_FALSE(bootloader.UpdateDeviceInfo());
    EXPECT_STREQ(bootloader.DeviceType(), "");
}

}  // namespace
