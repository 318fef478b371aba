// Framing of received bytes into replies by command byte.
#include <tessel/serial/receive_buffer.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Feeds `stream` byte by byte and collects every reply the framer hands out.
std::vector<Bytes> Frame(ReceiveBuffer& framer, const Bytes& stream) {
    std::vector<Bytes> replies;
    for (unsigned char b : stream) {
        Bytes reply = framer.AddToBuffer(b);
        if (!reply.empty()) replies.push_back(reply);
    }
    return replies;
}

struct FramingCase {
    const char* name;
    const char* terminator;
    std::vector<std::pair<unsigned char, int>> commands;
    Bytes stream;
    std::vector<Bytes> replies;
};

class Framing : public testing::TestWithParam<FramingCase> {};

TEST_P(Framing, CutsTheStreamIntoReplies) {
    const FramingCase& c = GetParam();
    ReceiveBuffer framer;
    framer.terminator = c.terminator;
    for (auto [command, length] : c.commands) framer.AddCommand(command, length);
    EXPECT_EQ(Frame(framer, c.stream), c.replies);
}

INSTANTIATE_TEST_SUITE_P(
    ReceiveBuffer, Framing,
    testing::Values(
        FramingCase{"LengthOneAtItsFirstByte", "", {{0x41, 1}}, {0x41, 0x41}, {{0x41}, {0x41}}},
        FramingCase{"LengthThreeGivesThreeBytes", "", {{0x31, 3}}, {0x31, 0x05, 0x06}, {{0x31, 0x05, 0x06}}},
        FramingCase{"BackToBackReplies",
                    "",
                    {{0x31, 3}, {0x41, 1}},
                    {0x31, 1, 2, 0x41, 0x31, 3, 4},
                    {{0x31, 1, 2}, {0x41}, {0x31, 3, 4}}},
        // Unlisted bytes are dropped one by one; the listed reply after them survives whole.
        FramingCase{"StrayBytesNeverSwallowALaterReply", "\r\n", {{0x31, 3}}, {0x99, 0x0D, 0x31, 7, 8}, {{0x31, 7, 8}}},
        FramingCase{"ListedWithLengthZeroEndsAtTheTerminator",
                    "\r\n",
                    {{'E', 0}, {0x41, 1}},
                    {'E', 'R', 'R', '\r', '\n', 0x41},
                    {{'E', 'R', 'R', '\r', '\n'}, {0x41}}},
        // The terminator must follow the first byte: "E\r\n" is one reply, not "E" alone.
        FramingCase{
            "TerminatorNotMatchedByTheFirstByteAlone", "\n", {{'\n', 0}}, {'\n', 'x', '\n'}, {{'\n', 'x', '\n'}}},
        FramingCase{"LengthZeroWithoutTerminatorIsOneByte", "", {{'E', 0}}, {'E', 'E'}, {{'E'}, {'E'}}}),
    [](const testing::TestParamInfo<FramingCase>& info) { return std::string(info.param.name); });

TEST(ReceiveBuffer, DuplicateAddKeepsTheOldLength) {
    ReceiveBuffer framer;
    EXPECT_EQ(framer.AddCommand(0x31, 3), 1);
    EXPECT_EQ(framer.AddCommand(0x31, 5), 0);
    EXPECT_EQ(Frame(framer, {0x31, 1, 2}), (std::vector<Bytes>{{0x31, 1, 2}}));
}

TEST(ReceiveBuffer, DeleteKeepsTheOthersInOrder) {
    ReceiveBuffer framer;
    framer.AddCommand(0x31, 2);
    framer.AddCommand(0x32, 2);
    framer.AddCommand(0x33, 3);
    framer.DeleteCommand(0x31);
    framer.DeleteCommand(0x77);  // absent: nothing changes
    // 0x31 now starts nothing; the other two keep their lengths.
    EXPECT_EQ(Frame(framer, {0x31, 0x32, 9, 0x33, 1, 2}), (std::vector<Bytes>{{0x32, 9}, {0x33, 1, 2}}));
    // Deleted and added again, it goes to the end of the list with its new length.
    EXPECT_EQ(framer.AddCommand(0x31, 1), 1);
    EXPECT_EQ(Frame(framer, {0x31}), (std::vector<Bytes>{{0x31}}));
}

TEST(ReceiveBuffer, ClearDropsAHalfReply) {
    ReceiveBuffer framer;
    framer.AddCommand(0x31, 3);
    Frame(framer, {0x31, 1});
    framer.Clear();
    EXPECT_EQ(Frame(framer, {0x31, 5, 6}), (std::vector<Bytes>{{0x31, 5, 6}}));
}

}  // namespace
