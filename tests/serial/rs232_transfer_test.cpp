#include <tessel/serial/rs232.h>

#include "support/serial_pty_peer.h"
#include <sim/detail/pty.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using testsupport::Bytes;
using testsupport::PtyPeer;

namespace {

std::vector<std::pair<int, int>> g_reports;
int g_stopAfter = -1;

bool RecordProgress(int sent, int total) {
    g_reports.emplace_back(sent, total);
    return g_stopAfter < 0 || static_cast<int>(g_reports.size()) < g_stopAfter;
}

class RS232Transfer : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        g_stopAfter = -1;
        name_ = peer_.PortName();
        ASSERT_TRUE(port_.Connect(name_.data()));
    }
    Bytes Pattern(std::size_t n) {
        Bytes data(n);
        std::iota(data.begin(), data.end(), 0);
        return data;
    }
    PtyPeer peer_;
    RS232 port_;
    std::string name_;
};

TEST_F(RS232Transfer, SendDeliversEveryByteAndReportsProgressByTheRule) {
    port_.sendProgressCallback = RecordProgress;
    Bytes data = Pattern(2100);
    ASSERT_TRUE(port_.Send(data.data(), static_cast<int>(data.size())));
    EXPECT_EQ(peer_.ReadFromHost(2100), data);
    EXPECT_EQ(g_reports, (std::vector<std::pair<int, int>>{{1051, 2100}, {2100, 2100}}));

    g_reports.clear();
    data = Pattern(1000);
    ASSERT_TRUE(port_.Send(data.data(), 1000));
    EXPECT_EQ(g_reports, (std::vector<std::pair<int, int>>{{1000, 1000}}));

    g_reports.clear();
    data = Pattern(4000);
    ASSERT_TRUE(port_.Send(data.data(), 4000));
    EXPECT_EQ(g_reports, (std::vector<std::pair<int, int>>{{1051, 4000}, {2101, 4000}, {3151, 4000}, {4000, 4000}}));

    g_reports.clear();
    ASSERT_TRUE(port_.Send(data.data(), 0));
    EXPECT_EQ(g_reports, (std::vector<std::pair<int, int>>{{0, 0}}));
}

TEST_F(RS232Transfer, ProgressFalseStopsBeforeTheNextPiece) {
    port_.sendProgressCallback = RecordProgress;
    g_stopAfter = 1;
    Bytes data = Pattern(3000);
    EXPECT_FALSE(port_.Send(data.data(), 3000));
    // 21 pieces of 50 bytes went out before the first report at offset 1050.
    EXPECT_EQ(peer_.DrainFromHost(100).size(), 1050u);
}

TEST_F(RS232Transfer, SendTextOmitsTheNul) {
    char text[] = "Enter Progmode\r\n";
    ASSERT_TRUE(port_.Send(text));
    EXPECT_EQ(peer_.ReadFromHost(16), Bytes(text, text + 16));
    EXPECT_TRUE(peer_.DrainFromHost(50).empty());
}

TEST_F(RS232Transfer, BadArgumentsFailWithoutCrashing) {
    EXPECT_FALSE(port_.Send(nullptr, 10));
    EXPECT_FALSE(port_.Send(static_cast<char*>(nullptr)));
    EXPECT_FALSE(port_.Receive(static_cast<unsigned char*>(nullptr), 3, 10));
    EXPECT_FALSE(port_.Receive(nullptr, nullptr, 10));
    unsigned char byte = 0;
    port_.sendProgressCallback = RecordProgress;
    EXPECT_FALSE(port_.Receive(&byte, -5, 10));
    EXPECT_FALSE(port_.Send(&byte, -5));
    EXPECT_FALSE(port_.Send(nullptr, -5));
    EXPECT_TRUE(g_reports.empty());  // a refused send reports nothing
    EXPECT_TRUE(port_.IsConnected());
}

TEST_F(RS232Transfer, FixedReadKeepsBytesBeforeATimeout) {
    unsigned char buffer[4] = {0};
    EXPECT_TRUE(port_.Receive(buffer, 0, 10));
    peer_.WriteToHost({0xAA, 0xBB});
    EXPECT_FALSE(port_.Receive(buffer, 3, 20));
    EXPECT_EQ(buffer[0], 0xAA);
    EXPECT_EQ(buffer[1], 0xBB);
    EXPECT_TRUE(port_.IsConnected());  // a time-out does not close the port
    peer_.WriteToHost({1, 2, 3});
    ASSERT_TRUE(port_.Receive(buffer, 3, 200));
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
}

TEST_F(RS232Transfer, AMissingByteIsAwaitedTwiceTheTimeout) {
    unsigned char byte = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port_.Receive(&byte, 1, 150));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 1500);
}

// The device end stays up while no host has it: every new open talks to it again, and nothing
// of an earlier connection is left over.
TEST_F(RS232Transfer, EachReopenOfTheLineCarriesTrafficBothWays) {
    for (std::uint8_t round = 1; round <= 3; ++round) {
        const Bytes request{0x30, round};
        ASSERT_TRUE(port_.Send(const_cast<std::uint8_t*>(request.data()), 2));
        EXPECT_EQ(peer_.ReadFromHost(2), request) << int(round);
        peer_.WriteToHost({0x60, round});
        unsigned char reply[2] = {0, 0};
        ASSERT_TRUE(port_.Receive(reply, 2, 500)) << int(round);
        EXPECT_EQ(Bytes(reply, reply + 2), (Bytes{0x60, round}));
        port_.Disconnect();
        ASSERT_TRUE(port_.Connect()) << int(round);
    }
    unsigned char stray = 0;
    EXPECT_FALSE(port_.Receive(&stray, 1, 20));
}

TEST_F(RS232Transfer, ReadUntilSilenceCollectsEverything) {
    unsigned char* data = reinterpret_cast<unsigned char*>(0x1);
    int length = 77;
    EXPECT_FALSE(port_.Receive(&data, &length, 20));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(data, reinterpret_cast<unsigned char*>(0x1));

    Bytes sent = Pattern(173);  // more than three growth steps of the work buffer
    peer_.WriteToHost(sent);
    ASSERT_TRUE(port_.Receive(&data, &length, 50));
    ASSERT_EQ(length, 173);
    EXPECT_EQ(Bytes(data, data + length), sent);
    port_.FreeRS232Memory(data);
}

TEST_F(RS232Transfer, ALineThatNeverFallsSilentIsReadInBoundedChunks) {
    // The device streams without pause and never ends a line: neither read may go on for ever.
    std::atomic<bool> stop{false};
    std::thread stream([&] {
        Bytes chunk(4096, 'x');
        while (!stop) peer_.WriteToHost(chunk);
    });
    unsigned char* data = nullptr;
    int length = 0;
    EXPECT_FALSE(port_.ReceiveLine(&data, &length, 1000));
    ASSERT_TRUE(port_.Receive(&data, &length, 1000));
    EXPECT_EQ(length, 64 * 1024);
    port_.FreeRS232Memory(data);
    stop = true;
    stream.join();
}

TEST_F(RS232Transfer, LineReadEndsAtTheTerminator) {
    unsigned char* data = nullptr;
    int length = 0;
    peer_.WriteToHost({'O', 'K', '\r', '\n', 'X'});
    ASSERT_TRUE(port_.ReceiveLine(&data, &length, 100));
    ASSERT_EQ(length, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "OK\r\n");  // NUL-terminated
    port_.FreeRS232Memory(data);

    port_.lineTerminator = "\n";
    peer_.WriteToHost({'O', 'K', '\r', '\n'});
    ASSERT_TRUE(port_.ReceiveLine(&data, &length, 100));
    EXPECT_EQ(length, 5);  // the X left over from before, then OK CR LF
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "XOK\r\n");
    port_.FreeRS232Memory(data);

    port_.lineTerminator = "";
    peer_.WriteToHost({'Z', 'Y'});
    ASSERT_TRUE(port_.ReceiveLine(&data, &length, 100));
    EXPECT_EQ(length, 1);
    port_.FreeRS232Memory(data);
}

TEST_F(RS232Transfer, NulByteHidesTheTerminatorSoTheLineTimesOut) {
    unsigned char* data = reinterpret_cast<unsigned char*>(0x1);
    int length = 0;
    peer_.WriteToHost({'A', 0x00, 'B', '\r', '\n'});
    EXPECT_FALSE(port_.ReceiveLine(&data, &length, 20));
    EXPECT_EQ(data, reinterpret_cast<unsigned char*>(0x1));
}

TEST_F(RS232Transfer, OperationsFailOnceTheLineIsGone) {
    peer_.CloseLine();
    unsigned char buffer[2];
    EXPECT_FALSE(port_.Receive(buffer, 2, 50));
    Bytes data = Pattern(200);
    EXPECT_FALSE(port_.Send(data.data(), 200));
}

TEST(RS232Write, APeerThatNeverReadsEndsTheSendByTheWriteTimeout) {
    // A line whose device end is never read: the host's writes back up.
    sim::detail::Pty line;
    ASSERT_TRUE(sim::detail::OpenPty(&line, nullptr));
    std::string name = line.portName;
    RS232 port;
    ASSERT_TRUE(port.Connect(name.data()));
    unsigned char byte = 0;
    ASSERT_TRUE(port.Receive(&byte, 0, 10));  // sets every time-out to 10 ms
    // Without a progress function the whole block goes to the driver in one call; the time-out
    // still holds per 50-byte piece (10 ms x 50 + 10 ms), not per block.
    std::vector<unsigned char> data(1 << 20, 0x55);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.Send(data.data(), static_cast<int>(data.size())));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    port.Disconnect();
    sim::detail::ClosePty(&line);
}

TEST_F(RS232Transfer, ClosedPortRefusesTraffic) {
    port_.Disconnect();
    unsigned char byte = 1;
    EXPECT_FALSE(port_.Send(&byte, 1));
    EXPECT_FALSE(port_.Receive(&byte, 1, 10));
    unsigned char* data = nullptr;
    int length = 0;
    EXPECT_FALSE(port_.ReceiveLine(&data, &length, 10));
}

}  // namespace
