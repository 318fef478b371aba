// Sequence memory and user data on the wire.
#include <support/wire_session_fixture.h>

#include <korvan/detail/heap.h>
#include <korvan/device/detail/process_state.h>

#include <numeric>

namespace devicetest {
namespace {

class DeviceWireMemory : public WireTest {
protected:
    // The sequence table is process-wide: leave it as found.
    ProcessStateGuard processState_;
};

TEST_F(DeviceWireMemory, SequenceTableIsReadInOneReceive) {
    Open();
    StateStep(0);
    Step({0x41}, {0x41, 0xFF, 0x00, 0x03});
    Step({0x42}, {0x42, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00, 0x64, 0x00, 0x02,
                  0x00, 0x00, 0x00, 0xC8, 0x00, 0x05, 0x00, 0x00, 0x01, 0x2C});
    EXPECT_EQ(GetSequenceCount(session), 3u);
    SequenceMemoryInfo info{};
    EXPECT_EQ(korvan::detail::GetMemoryUsage(2, &info), 0u);
    EXPECT_EQ(info.sequenceNumber, 5u);
    EXPECT_EQ(info.size, 300u);
    EXPECT_EQ(Korvan().GetMemoryUsage(0, &info), 0u) << "the table is shared by all objects";
    EXPECT_EQ(info.sequenceNumber, 1u);
    EXPECT_EQ(korvan::detail::GetMemoryUsage(3, &info), 2u);
    EXPECT_EQ(korvan::detail::GetMemoryUsage(0, nullptr), 2u);

    StateStep(0);
    Step({0x41}, {0x41, 0xFF, 0x00, 0x00});
    Step({0x42}, {0x42, 0xFF});
    EXPECT_EQ(GetSequenceCount(session), 0u);
    EXPECT_EQ(korvan::detail::GetMemoryUsage(0, &info), 2u);
}

TEST_F(DeviceWireMemory, FailedCountLeavesTheTableEmpty) {
    Open();
    StateStep(0);
    Step({0x41}, {0x41, 0xFF, 0x00, 0x01});
    Step({0x42}, {0x42, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00, 0x64});
    EXPECT_EQ(GetSequenceCount(session), 1u);
    StateStep(0);
    Step({0x41}, {0x41, 0x00, 0x00, 0x01});
    EXPECT_EQ(GetSequenceCount(session), 0u);
    SequenceMemoryInfo info{};
    EXPECT_EQ(korvan::detail::GetMemoryUsage(0, &info), 2u);
}

TEST_F(DeviceWireMemory, AvailableMemory) {
    Open();
    unsigned int freeBytes = 0, largest = 0;
    StateStep(0);
    Step({0x43}, {0x43, 0xFF, 0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(GetAvailableMemory(session, &freeBytes, &largest), 0u);
    EXPECT_EQ(freeBytes, 0x02000000u);
    EXPECT_EQ(largest, 0x00100000u);
    StateStep(0);
    Step({0x43}, {0x43, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10});
    EXPECT_EQ(GetAvailableMemory(session, &freeBytes, nullptr), 0u);
    EXPECT_EQ(freeBytes, 256u);
    EXPECT_EQ(GetAvailableMemory(session, nullptr, &largest), 2u);
    StateStep(5);
    EXPECT_EQ(GetAvailableMemory(session, &freeBytes, &largest), 5u);
}

TEST_F(DeviceWireMemory, DeleteSequenceAcceptsStatusOne) {
    Open();
    const std::pair<std::uint8_t, unsigned int> cases[] = {{0xFF, 0}, {0x01, 0}, {0x00, 1}, {0xFE, 1}};
    for (auto [status, expected] : cases) {
        StateStep(0);
        Step({0x3C, 0x01, 0x02}, {0x3C, status});
        EXPECT_EQ(DeleteSequence(session, 0x0102), expected) << int(status);
    }
    session.state = Calibrating;
    StateStep(0);
    Step({0x3C, 0x00, 0x07}, {0x3C, 0xFF});
    EXPECT_EQ(DeleteSequence(session, 7), 0u) << "sent while calibrating";
}

TEST_F(DeviceWireMemory, SetUserDataFrame) {
    Open();
    std::vector<unsigned char> data(61);
    std::iota(data.begin(), data.end(), 1);
    EXPECT_EQ(SetUserData(session, data.data(), 61), 2u);
    EXPECT_EQ(SetUserData(session, data.data(), 0), 2u);
    EXPECT_EQ(SetUserData(session, nullptr, 5), 2u);

    Bytes frame{0x60, 0x00, 0x3C};
    frame.insert(frame.end(), data.begin(), data.begin() + 60);
    StateStep(0);
    Step(frame, {0x60, 0xFF});
    EXPECT_EQ(SetUserData(session, data.data(), 60), 0u);
    StateStep(0);
    Step({0x60, 0x00, 0x01, 0x01}, {0x60, 0x00});
    EXPECT_EQ(SetUserData(session, data.data(), 1), 5u) << "a refusal is 5";
    StateStep(1);
    EXPECT_EQ(SetUserData(session, data.data(), 1), 5u);
}

TEST_F(DeviceWireMemory, GetUserData) {
    Open();
    unsigned char* data = nullptr;
    unsigned int length = 99;
    StateStep(0);
    Step({0x61}, {0x61, 0x00, 0x03, 0xAA, 0xBB, 0xCC});
    ASSERT_EQ(GetUserData(session, &data, &length), 0u);
    ASSERT_EQ(length, 3u);
    EXPECT_EQ(Bytes(data, data + 3), (Bytes{0xAA, 0xBB, 0xCC}));
    korvan::detail::HeapRelease(data);

    StateStep(0);
    Step({0x61}, {0x61, 0x00, 0x00});
    ASSERT_EQ(GetUserData(session, &data, &length), 0u);
    EXPECT_EQ(length, 0u);
    korvan::detail::HeapRelease(data);
    korvan::detail::HeapRelease(nullptr);

    StateStep(0);
    EXPECT_EQ(GetUserData(session, nullptr, &length), 2u);
    StateStep(0);
    Step({0x61}, {0x60, 0x00, 0x00});
    EXPECT_EQ(GetUserData(session, &data, &length), 5u) << "wrong echo";
    StateStep(2);
    EXPECT_EQ(GetUserData(session, &data, &length), 5u);
}

TEST_F(DeviceWireMemory, LongAnnouncedUserDataIsReadWhole) {
    Open();
    Bytes reply{0x61, 0x01, 0x2C};  // 300 bytes, more than a write can carry
    for (int i = 0; i < 300; ++i) reply.push_back(static_cast<std::uint8_t>(i));
    StateStep(0);
    Step({0x61}, reply);
    unsigned char* data = nullptr;
    unsigned int length = 0;
    ASSERT_EQ(GetUserData(session, &data, &length), 0u);
    ASSERT_EQ(length, 300u);
    EXPECT_EQ(data[299], 299 % 256);
    korvan::detail::HeapRelease(data);
}

TEST_F(DeviceWireMemory, NotConnectedUserDataIsFive) {
    unsigned char* data = nullptr;
    unsigned int length = 0;
    unsigned char byte = 1;
    EXPECT_EQ(GetUserData(session, &data, &length), 5u);
    EXPECT_EQ(SetUserData(session, &byte, 1), 5u);
    EXPECT_EQ(GetSequenceCount(session), 0u);
    unsigned int freeBytes = 0;
    EXPECT_EQ(GetAvailableMemory(session, &freeBytes, nullptr), 1u);
}

}  // namespace
}  // namespace devicetest
