// The virtual device spoken to byte by byte through a plain serial port.
#include <sim/virtual_device.h>
#include <tessel/serial/rs232.h>

#include <support/line_rate.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Host {
    explicit Host(sim::VirtualDevice& device, int baud = 9600) {
        port.baudRate = baud;
        std::string name = device.PortName();
        EXPECT_TRUE(port.Connect(name.data()));
    }
    // Sends `request` and returns what arrives of `n` bytes.
    Bytes Ask(Bytes request, size_t n, int timeoutMs = 200) {
        port.Send(request.data(), static_cast<int>(request.size()));
        Bytes reply(n);
        size_t got = 0;
        while (got < n && port.Receive(&reply[got], 1, timeoutMs)) ++got;
        reply.resize(got);
        return reply;
    }
    void Send(const std::string& text) {
        std::string copy = text;
        port.Send(copy.data());
    }
    RS232 port;
};

TEST(VirtualDevice, AnswersEveryIdentityRequest) {
    sim::Identity id;
    id.deviceType = 0x0103;
    id.deviceSubType = 0x0204;
    id.revision = 5;
    id.firmwareVersion = 0x1234;
    id.bootloaderVersion = 7;
    id.serialNumber = "AB";
    id.description = "Desc";
    id.maxBaudRate = 3000000;
    id.blockSize = 0x400;
    id.programParameter2 = 0x01020304;
    sim::VirtualDevice device(id);
    ASSERT_TRUE(device.Start());
    Host host(device);
    EXPECT_EQ(host.Ask({0x11}, 3), (Bytes{0x11, 0x01, 0x03}));
    EXPECT_EQ(host.Ask({0x14}, 3), (Bytes{0x14, 0x02, 0x04}));
    EXPECT_EQ(host.Ask({0x15}, 3), (Bytes{0x15, 0x00, 0x05}));
    EXPECT_EQ(host.Ask({0x16}, 3), (Bytes{0x16, 0x12, 0x34}));
    EXPECT_EQ(host.Ask({0x17}, 3), (Bytes{0x17, 0x00, 0x07}));
    EXPECT_EQ(host.Ask({0x18}, 2), (Bytes{0x18, 0x00}));
    EXPECT_EQ(host.Ask({0x19}, 9), (Bytes{0x19, 'A', 'B', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(host.Ask({0x1A}, 5), (Bytes{0x1A, 0x00, 0x2D, 0xC6, 0xC0}));
    EXPECT_EQ(host.Ask({0x1C}, 6), (Bytes{0x1C, 'D', 'e', 's', 'c', 0}));
    EXPECT_EQ(host.Ask({0x1F}, 9), (Bytes{0x1F, 0, 0, 4, 0, 1, 2, 3, 4}));
    // Bytes of no protocol are dropped, and the next request is answered as usual.
    EXPECT_EQ(host.Ask({0x00, 0x99, 0x17}, 3), (Bytes{0x17, 0x00, 0x07}));
    EXPECT_EQ(device.UnclaimedBytes(), 2u);

    id.shortDeviceType = true;
    device.SetIdentity(id);
    EXPECT_EQ(host.Ask({0x11}, 3, 30), (Bytes{0x11, 0x03}));
}

TEST(VirtualDevice, FollowsTheLineRateAndIgnoresAHostAtAnotherRate) {
    if (!testsupport::kLineHasRate) GTEST_SKIP() << "the line has no rate to be wrong at";
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    {
        Host host(device);
        EXPECT_EQ(device.HostLineRate(), 9600);
        EXPECT_EQ(host.Ask({0x1B}, 2), (Bytes{0x1B, 0x20}));
        EXPECT_EQ(device.LineRate(), 921600);
        EXPECT_EQ(host.Ask({0x17}, 3, 30), Bytes{});  // still at 9600: garbled
        EXPECT_EQ(device.GarbledBytes(), 1u);
    }
    Host fast(device, 921600);
    EXPECT_EQ(device.HostLineRate(), 921600);
    EXPECT_EQ(fast.Ask({0x1E}, 2), (Bytes{0x1E, 0x20}));
    EXPECT_EQ(device.LineRate(), 9600);
}

TEST(VirtualDevice, EntersProgramModeOnlyWithTheTextAndChecksBlocks) {
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    Host host(device);
    host.Ask({0x1D, 'X'}, 0);
    EXPECT_EQ(host.Ask({0x18}, 2), (Bytes{0x18, 0x00}));
    host.Ask({0x1D}, 0);
    host.Send("Enter Progmode\r\n");
    EXPECT_EQ(host.Ask({0x18}, 2), (Bytes{0x18, 0x20}));
    // A header whose numbers do not add up is refused: 2 blocks of 256 cannot end with 10 bytes
    // in an image of 300.
    EXPECT_EQ(host.Ask({0x1D, 2, 0, 0, 0x01, 0x2C, 0, 10, 0, 0}, 2), (Bytes{0x1D, 0x00}));
    // One block of 4 bytes: a wrong checksum is refused, the right one (computed by hand:
    // CRC-16/CCITT-FALSE of 01 02 03 04 is 0x89C3) accepted.
    EXPECT_EQ(host.Ask({0x1D, 1, 0, 0, 0, 4, 0, 4, 0, 9}, 2), (Bytes{0x1D, 0x20}));
    EXPECT_EQ(host.Ask({1, 2, 3, 4, 0x89, 0xC4}, 3), (Bytes{0x21, 0, 0}));
    EXPECT_EQ(host.Ask({0x1D, 1, 0, 0, 0, 4, 0, 4, 0, 9}, 2), (Bytes{0x1D, 0x20}));
    EXPECT_EQ(host.Ask({1, 2, 3, 4, 0x89, 0xC3}, 3), (Bytes{0x20, 0, 0}));
    sim::FirmwareUpdateRecord update = device.LastUpdate();
    EXPECT_TRUE(update.completed);
    EXPECT_EQ(update.image, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(update.updateParameter, 9);
    EXPECT_FALSE(device.InProgramMode());
}

TEST(VirtualDevice, CommitsEachInjectedFault) {
    struct Case {
        const char* name;
        sim::FaultRule rule;
        Bytes request;
        Bytes expected;
    };
    auto rule = [](sim::Fault kind, int request = sim::kAnyRequest) {
        sim::FaultRule r;
        r.kind = kind;
        r.request = request;
        return r;
    };
    const Case cases[] = {
        {"no reply", rule(sim::Fault::NoReply), {0x17}, {}},
        {"wrong echo", rule(sim::Fault::WrongEcho), {0x17}, {0xE8, 0x00, 0x02}},
        {"refusing status", rule(sim::Fault::RefusingStatus), {0x1E}, {0x1E, 0x00}},
        {"status-less reply unchanged", rule(sim::Fault::RefusingStatus), {0x17}, {0x17, 0x00, 0x02}},
        {"short reply", rule(sim::Fault::ShortReply), {0x17}, {0x17, 0x00}},
        {"garbage first", rule(sim::Fault::Garbage), {0x17}, {0xA5, 0x5A, 0xC3, 0x17, 0x00, 0x02}},
        {"only the named request", rule(sim::Fault::NoReply, 0x11), {0x17}, {0x17, 0x00, 0x02}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::VirtualDevice device;
        ASSERT_TRUE(device.Start());
        Host host(device);
        device.AddFault(c.rule);
        EXPECT_EQ(host.Ask(c.request, c.expected.size() + 1, 30), c.expected);
        device.ClearFaults();
        EXPECT_EQ(host.Ask({0x17}, 3), (Bytes{0x17, 0x00, 0x02}));  // one-off: next answer is sound
    }
}

TEST(VirtualDevice, LateReplyAndLineGone) {
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    Host host(device);
    sim::FaultRule late;
    late.kind = sim::Fault::LateReply;
    late.delayMs = 150;
    device.AddFault(late);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(host.Ask({0x17}, 3, 300), (Bytes{0x17, 0x00, 0x02}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));

    sim::FaultRule gone;
    gone.kind = sim::Fault::LineGone;
    device.AddFault(gone);
    EXPECT_EQ(host.Ask({0x17}, 3, 100), Bytes{});
    EXPECT_TRUE(device.LineGone());
    unsigned char byte = 0x17;
    host.port.Send(&byte, 1);
    EXPECT_FALSE(host.port.Receive(&byte, 1, 50));
}

TEST(VirtualDevice, StaleHalfRequestIsForgotten) {
    sim::Options options;
    options.staleInputMs = 100;
    sim::VirtualDevice device(options);
    ASSERT_TRUE(device.Start());
    Host host(device);
    host.Ask({0x1D, 'E', 'n'}, 0);  // the host gave up half-way through the text
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(host.Ask({0x17}, 3), (Bytes{0x17, 0x00, 0x02}));
    EXPECT_FALSE(device.InProgramMode());
}

// A further protocol in the manner of the device command protocol, on bytes that no built-in one
// uses: 0x70 switches to application mode, in which it also owns 0x1E; 0x7F announces `n` raw
// bytes that it takes whole.
class ApplicationResponder : public sim::Responder {
public:
    long Offer(const uint8_t* in, size_t size, sim::SimState&, sim::Reply& reply) override {
        if (rawLeft_ > 0) {
            size_t n = std::min(size, rawLeft_);
            rawLeft_ -= n;
            raw_ += n;
            if (rawLeft_ == 0) reply.bytes = {0x7F, 0xFF};
            return static_cast<long>(n);
        }
        switch (in[0]) {
        case 0x70:
            applicationMode_ = true;
            reply.bytes = {0x70, 0xFF};
            return 1;
        case 0x1E:
            if (!applicationMode_) return kNotMine;
            reply.bytes = {0x1E, 0xFF};
            return 1;
        case 0x7F:
            if (size < 2) return kIncomplete;
            rawLeft_ = in[1];
            return 2;
        default: return kNotMine;
        }
    }
    bool HoldsLine() const override { return rawLeft_ > 0; }
    size_t raw_ = 0;

private:
    bool applicationMode_ = false;
    size_t rawLeft_ = 0;
};

TEST(VirtualDevice, AddedResponderIsAskedFirstAndCanHoldTheLine) {
    sim::VirtualDevice device;
    device.AddResponder(std::make_unique<ApplicationResponder>());
    ASSERT_TRUE(device.Start());
    Host host(device);
    EXPECT_EQ(host.Ask({0x1E}, 2), (Bytes{0x1E, 0x20}));  // bootloader's while not in application mode
    EXPECT_EQ(host.Ask({0x70}, 2), (Bytes{0x70, 0xFF}));
    EXPECT_EQ(host.Ask({0x1E}, 2), (Bytes{0x1E, 0xFF}));
    // Raw bytes that look like bootloader requests go to the responder holding the line.
    EXPECT_EQ(host.Ask({0x7F, 4, 0x17, 0x11, 0x19, 0x1C}, 3, 50), (Bytes{0x7F, 0xFF}));
    EXPECT_EQ(device.WithResponder<ApplicationResponder>([](ApplicationResponder* r) { return r->raw_; }), 4u);
    EXPECT_EQ(host.Ask({0x17}, 3), (Bytes{0x17, 0x00, 0x02}));
}

}  // namespace
