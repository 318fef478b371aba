// Upload and start on the wire: every byte of the announcement, the image, the free-memory
// fallback and the start command.
#include <support/wire_session_fixture.h>

#include <korvan/sequence/sequence_elements.h>

namespace devicetest {
namespace {

// The image of an empty sequence: two end records of end tick 0.
const Bytes kEmptyImage{0, 0, 0, 2, 1, 0xFF, 0, 0, 0, 2, 1, 0xFF};

class SequenceWire : public WireTest {
protected:
    unsigned int UploadEmpty(unsigned short* number) {
        SequenceObject* none[1] = {};
        return UploadSequence(session, none, 0, number);
    }
};

TEST_F(SequenceWire, AnnouncementImageAndStart) {
    Open();
    Step({0x3F, 0, 0, 0, 12, 0, 0, 0, 6}, {0x3F, 0xFF, 0x00, 0x07});
    Step(kEmptyImage, {0xFF});
    unsigned short number = 0;
    ASSERT_EQ(UploadEmpty(&number), 0u);
    EXPECT_EQ(number, 7u);

    Step({0x3E, 0x00, 0x07, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00}, {0x3E, 0xFF});
    StateStep(1);
    EXPECT_EQ(StartSequence(session, 7, NoInput, Trigger1, 0), 0u);
    EXPECT_EQ(session.state, Running);
}

TEST_F(SequenceWire, RefusedAnnouncementDefragmentsAndTriesAgain) {
    Open();
    Step({0x3F, 0, 0, 0, 12, 0, 0, 0, 6}, {0x3F, 0x01, 0x00, 0x00});
    StateStep(0);
    Step({0x43}, {0x43, 0xFF, 0, 0, 0, 100, 0, 0, 0, 5});  // 100 free, at most 5 together
    StateStep(0);
    Step({0x44}, {0x44, 0xFF});
    StateStep(4);  // defragmenting: wait and ask again
    StateStep(0);
    Step({0x3F, 0, 0, 0, 12, 0, 0, 0, 6}, {0x3F, 0xFF, 0x00, 0x08});
    Step(kEmptyImage, {0xFF});
    unsigned short number = 0;
    ASSERT_EQ(UploadEmpty(&number), 0u);
    EXPECT_EQ(number, 8u);
}

TEST_F(SequenceWire, RefusalsAndTheirResults) {
    Open();
    // Too little free memory in all: 3, nothing more sent.
    Step({0x3F, 0, 0, 0, 12, 0, 0, 0, 6}, {0x3F, 0x01, 0x00, 0x00});
    StateStep(0);
    Step({0x43}, {0x43, 0xFF, 0, 0, 0, 11, 0, 0, 0, 11});
    unsigned short number = 0;
    EXPECT_EQ(UploadEmpty(&number), 3u);
    // The image refused by the device: 1.
    Step({0x3F, 0, 0, 0, 12, 0, 0, 0, 6}, {0x3F, 0xFF, 0x00, 0x09});
    Step(kEmptyImage, {0x01});
    EXPECT_EQ(UploadEmpty(&number), 1u);

    const struct {
        std::uint8_t status;
        unsigned int result;
    } starts[] = {{0x01, 2}, {0x03, 2}, {0x05, 5}};
    for (const auto& s : starts) {
        Step({0x3E, 0x00, 0x02, 0x01, 0x02, 0x00, 0x00, 0x00, 0x03}, {0x3E, s.status});
        EXPECT_EQ(StartSequence(session, 2, Input1, Trigger2, 3), s.result);
    }
    // Input and trigger both out of range: refused before sending; one of them alone is sent.
    EXPECT_EQ(StartSequence(session, 2, static_cast<InputPorts>(4), static_cast<TriggerBehaviour>(0), 1), 2u);
    Step({0x3E, 0x00, 0x02, 0x04, 0x01, 0x00, 0x00, 0x00, 0x01}, {0x3E, 0x01});
    EXPECT_EQ(StartSequence(session, 2, static_cast<InputPorts>(4), Trigger1, 1), 2u);
    EXPECT_EQ(Korvan().StartExternMode(Input0), 5u);
}

}  // namespace
}  // namespace devicetest
