// The asynchronous port end to end: queued requests to the virtual device's bootloader, replies
// framed and handed to the callback, refusals, and how the worker ends.
#include <tessel/serial/rs232_async.h>
#include <sim/virtual_device.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using namespace std::chrono_literals;

// The callbacks are plain functions, so what they see goes through one shared record.
struct Seen {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> replies;
    std::vector<int> reasons;
    std::atomic<bool> hold{false};     // a reply callback waits while set
    std::atomic<bool> holding{false};  // it is waiting now
    RS232Async* disconnectFromCallback = nullptr;

    template <class Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return pred(*this); });
    }
};
Seen* g_seen = nullptr;

void OnReply(unsigned char* data, int length) {
    {
        std::lock_guard<std::mutex> lock(g_seen->mutex);
        g_seen->replies.emplace_back(data, data + length);
    }
    g_seen->changed.notify_all();
    while (g_seen->hold) {
        g_seen->holding = true;
        std::this_thread::sleep_for(1ms);
    }
    g_seen->holding = false;
    if (g_seen->disconnectFromCallback != nullptr) g_seen->disconnectFromCallback->Disconnect();
}

void OnDisconnect(int reason) {
    {
        std::lock_guard<std::mutex> lock(g_seen->mutex);
        g_seen->reasons.push_back(reason);
    }
    g_seen->changed.notify_all();
}

class AsyncPort : public testing::Test {
protected:
    void SetUp() override {
        g_seen = &seen;
        ASSERT_TRUE(device.Start());
        line.receiveCallback = OnReply;
        line.disconnectCallback = OnDisconnect;
        // Bootloader replies: echo and two bytes; the serial number: echo and eight.
        line.AddCommand(0x11, 3);
        line.AddCommand(0x15, 3);
        line.AddCommand(0x16, 3);
        line.AddCommand(0x19, 9);
        line.AddCommand(0x41, 1);  // an unsolicited byte the tests send to hold the worker
        name = device.PortName();
        ASSERT_TRUE(line.Connect(name.data()));
    }
    void TearDown() override {
        seen.hold = false;
        line.Disconnect();
        g_seen = nullptr;
    }
    // Parks the worker inside the reply callback, so the queue is left alone.
    void HoldWorker() {
        seen.hold = true;
        device.SendToHost({0x41});
        ASSERT_TRUE(seen.WaitFor([](Seen& s) { return s.holding.load(); }));
    }

    Seen seen;
    sim::VirtualDevice device;
    RS232Async line;
    std::string name;
};

TEST_F(AsyncPort, QueuedRequestsAreAnsweredCompleteAndInOrder) {
    const unsigned char order[] = {0x11, 0x19, 0x16, 0x15};
    for (int round = 0; round < 5; ++round) {
        for (unsigned char request : order) {
            unsigned char byte = request;
            ASSERT_TRUE(line.Send(&byte, 1));
        }
    }
    ASSERT_TRUE(seen.WaitFor([](Seen& s) { return s.replies.size() >= 20; }));
    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_EQ(seen.replies.size(), 20u);
    const Bytes serial = {0x19, '1', '2', '3', '-', '4', '5', '6', '7'};
    for (size_t i = 0; i < seen.replies.size(); ++i) {
        const Bytes& reply = seen.replies[i];
        ASSERT_EQ(reply[0], order[i % 4]) << "reply " << i;
        if (reply[0] == 0x19) EXPECT_EQ(reply, serial);
        if (reply[0] == 0x16) EXPECT_EQ(reply, (Bytes{0x16, 0x00, 16}));
    }
}

TEST_F(AsyncPort, SendRefusesAClosedPortAndTheHundredAndSecondWaitingBlock) {
    RS232Async closed;
    unsigned char byte = 0x15;
    EXPECT_FALSE(closed.Send(&byte, 1));
    EXPECT_FALSE(closed.IsConnected());
    EXPECT_FALSE(line.Send(nullptr, 1));
    EXPECT_FALSE(line.Send(&byte, -1));
    EXPECT_FALSE(line.Receive(&byte, 1, 10));

    HoldWorker();
    for (int i = 0; i < 101; ++i) ASSERT_TRUE(line.Send(&byte, 1)) << "block " << i;
    EXPECT_EQ(line.GetSendBufferUse(), 101);
    EXPECT_FALSE(line.Send(&byte, 1));
    seen.hold = false;
    // Released, the worker sends them all and every reply comes back.
    EXPECT_TRUE(seen.WaitFor([](Seen& s) { return s.replies.size() == 102; }));
    EXPECT_EQ(line.GetSendBufferUse(), 0);
}

TEST_F(AsyncPort, AFailedWriteReportsReasonZeroAndStopsTheWorker) {
    HoldWorker();
    device.DropLine();
    unsigned char byte = 0x15;
    ASSERT_TRUE(line.Send(&byte, 1));  // queued: the worker has not seen the break yet
    seen.hold = false;
    ASSERT_TRUE(seen.WaitFor([](Seen& s) { return !s.reasons.empty(); }));
    EXPECT_EQ(seen.reasons, std::vector<int>{0});
    EXPECT_FALSE(line.IsConnected());
    EXPECT_FALSE(line.Send(&byte, 1));
    EXPECT_EQ(line.GetSendBufferUse(), 0);
}

TEST_F(AsyncPort, ALineThatGoesAwayWhileIdleReportsReasonOne) {
    device.DropLine();
    ASSERT_TRUE(seen.WaitFor([](Seen& s) { return !s.reasons.empty(); }));
    EXPECT_EQ(seen.reasons, std::vector<int>{1});
    EXPECT_FALSE(line.IsConnected());
}

TEST_F(AsyncPort, ACallbackMayDisconnectAndTheLineCanBeOpenedAgain) {
    seen.disconnectFromCallback = &line;
    device.SendToHost({0x41});
    ASSERT_TRUE(seen.WaitFor([](Seen& s) { return !s.replies.empty(); }));
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (line.IsConnected() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(line.IsConnected());
    EXPECT_TRUE(seen.reasons.empty());  // a requested stop is no error

    seen.disconnectFromCallback = nullptr;
    ASSERT_TRUE(line.Connect(name.data()));
    unsigned char byte = 0x16;
    ASSERT_TRUE(line.Send(&byte, 1));
    EXPECT_TRUE(seen.WaitFor([](Seen& s) { return s.replies.size() == 2; }));
}

// The worker waits on the line with a read in flight; Disconnect must end that read, not wait
// for a byte that never comes, and the line must answer again after each new Connect.
TEST_F(AsyncPort, DisconnectEndsAPendingReadPromptlyEveryTime) {
    unsigned char request = 0x16;
    for (int round = 1; round <= 4; ++round) {
        std::this_thread::sleep_for(20ms);  // the worker is parked in its wait by now
        const auto start = std::chrono::steady_clock::now();
        line.Disconnect();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << "round " << round;
        EXPECT_FALSE(line.IsConnected());
        ASSERT_TRUE(line.Connect(name.data())) << "round " << round;
        ASSERT_TRUE(line.Send(&request, 1));
        EXPECT_TRUE(seen.WaitFor([&](Seen& s) { return s.replies.size() == static_cast<size_t>(round); }))
            << "round " << round;
    }
    EXPECT_TRUE(seen.reasons.empty());
}

}  // namespace
