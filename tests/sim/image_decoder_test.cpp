// The device's image decoder: what it accepts and each kind of image it refuses.
#include "image_bytes.h"

#include <sim/image/decoded_image.h>

#include <gtest/gtest.h>

namespace {

using namespace simtest;
using sim::image::DecodeImage;
using sim::image::Op;

sim::image::DecodeResult Decode(const Image& image) {
    return DecodeImage(image.bytes.data(), image.bytes.size(), image.mainLength);
}

TEST(ImageDecoder, ReadsEveryActionKindAndResolvesJumps) {
    const Image image = Join(ListBuilder()
                                 .Slot(0, {MirrorX(0x1234), MirrorY(0xFEDC), SetLine(6, 1)})
                                 .Slot(7, {WaitInput(3, 2), WaitUser(0xABCD), Nop()})
                                 .Slot(9, {Pulse(9), Analog(7, 65535), JumpTo(0x01020304, 0, 5)})
                                 .End(20),
                             ListBuilder().Slot(2, {SetLine(1, 0)}).End(3));
    const auto r = Decode(image);
    ASSERT_TRUE(r.Ok()) << r.error;
    const auto& main = r.image.main;
    ASSERT_EQ(main.slots.size(), 3u);
    EXPECT_EQ(main.slots[1].tick, 7u);
    EXPECT_EQ(main.slots[2].firstAction, 6u);
    EXPECT_EQ(main.endTick, 20u);
    EXPECT_EQ(main.EndSlotTick(), 21u);
    ASSERT_EQ(main.actions.size(), 9u);
    EXPECT_EQ(main.actions[1].value, 0xFEDCu);
    EXPECT_EQ(main.actions[1].channel, 3);
    EXPECT_EQ(main.actions[3].op, Op::WaitInput);
    EXPECT_EQ(main.actions[3].channel, 3);
    EXPECT_EQ(main.actions[3].level, 2);
    EXPECT_EQ(main.actions[4].value, 0xABCDu);
    EXPECT_EQ(main.actions[8].op, Op::Jump);
    EXPECT_EQ(main.actions[8].value, 0x01020304u);
    EXPECT_EQ(main.actions[8].channel, 5);
    EXPECT_EQ(main.actions[8].targetSlot, 0u);
    EXPECT_EQ(r.image.output.slots.size(), 1u);
    EXPECT_EQ(r.image.output.endTick, 3u);
}

TEST(ImageDecoder, AcceptsTheEmptyImageAndAJumpToItsOwnSlot) {
    EXPECT_TRUE(Decode(EmptyImage()).Ok());
    const auto r = Decode(Join(ListBuilder().Slot(4, {Nop(), JumpTo(2, 4, 1)}).End(8), ListBuilder().End(0)));
    ASSERT_TRUE(r.Ok()) << r.error;
    EXPECT_EQ(r.image.main.actions[1].targetSlot, 0u);
}

struct Malformed {
    const char* name;
    Image image;
    const char* error;  // a part of the expected message
};

Image WithMain(const Bytes& main) { return Join(main, ListBuilder().End(0)); }
Image Appended(Image image, const Bytes& extra) {
    image.bytes.insert(image.bytes.end(), extra.begin(), extra.end());
    return image;
}
Bytes Raw(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes SlotHeader(uint32_t field, uint8_t count) {
    Bytes b;
    PutBe(b, field, 4);
    b.push_back(count);
    return b;
}
const Bytes kEnd0 = ListBuilder().End(0);

class ImageDecoderRefuses : public ::testing::TestWithParam<Malformed> {};

TEST_P(ImageDecoderRefuses, WithAMessage) {
    const auto r = Decode(GetParam().image);
    ASSERT_FALSE(r.Ok());
    EXPECT_NE(r.error.find(GetParam().error), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ImageDecoderRefuses,
    ::testing::Values(
        Malformed{"MainLengthBeyondImage", Image{EmptyImage().bytes, 13}, "exceeds the image length"},
        Malformed{"MainWithoutEndRecord", Image{Raw({SlotHeader(1, 1), Nop(), kEnd0}), 6},
                  "main list ends without an end record"},
        Malformed{"OutputWithoutEndRecord", Join(kEnd0, Raw({SlotHeader(1, 1), Nop()})),
                  "output list ends without an end record"},
        Malformed{"RecordCutShort", Join(kEnd0, Bytes{0, 0, 0, 2}), "output list has a record cut short"},
        Malformed{"TickFieldZero", WithMain(Raw({SlotHeader(0, 1), Nop(), kEnd0})), "tick field 0"},
        Malformed{"TicksDescending",
                  WithMain(Raw({SlotHeader(6, 1), Nop(), SlotHeader(4, 1), Nop(), ListBuilder().End(9)})),
                  "slot tick 3 after tick 5"},
        Malformed{"TicksRepeated",
                  WithMain(Raw({SlotHeader(6, 1), Nop(), SlotHeader(6, 1), Nop(), ListBuilder().End(9)})),
                  "slot tick 5 after tick 5"},
        Malformed{"EndRecordNotAfterLastSlot", WithMain(ListBuilder().Slot(5, {Nop()}).End(3)),
                  "slot tick 4 after tick 5"},
        Malformed{"EndRecordAtTickZero", WithMain(Bytes{0, 0, 0, 1, 1, 0xFF}), "end record at tick 0"},
        Malformed{"UnknownAction", WithMain(ListBuilder().Slot(0, {Bytes{0x99}}).End(1)), "unknown action code 153"},
        Malformed{"CountAboveActions", WithMain(Raw({SlotHeader(1, 3), Nop(), Nop()})), "fewer actions than its count"},
        Malformed{"ActionCutShort", WithMain(Raw({SlotHeader(1, 1), Bytes{0x40, 0x02, 0x00}})), "action cut short"},
        Malformed{"UnknownLine", WithMain(ListBuilder().Slot(0, {SetLine(5, 1)}).End(1)), "digital line 5"},
        Malformed{"PulseOnMirrorChannel", WithMain(ListBuilder().Slot(0, {Pulse(2)}).End(1)), "digital line 2"},
        Malformed{"AnalogChannelOne", WithMain(ListBuilder().Slot(0, {Analog(1, 5)}).End(1)), "analog channel 1"},
        Malformed{"AnalogChannelEight", WithMain(ListBuilder().Slot(0, {Analog(8, 5)}).End(1)), "analog channel 8"},
        Malformed{"WaitForInputFour", WithMain(ListBuilder().Slot(0, {WaitInput(4, 1)}).End(1)), "unknown input 4"},
        Malformed{"WaitWithTriggerThree", WithMain(ListBuilder().Slot(0, {WaitInput(0, 3)}).End(1)),
                  "unknown trigger 3"},
        Malformed{"JumpCountsDiffer", WithMain(ListBuilder().Slot(0, {JumpRaw(2, 3, 0, 1)}).End(1)),
                  "two counts differ"},
        Malformed{"JumpIntoASlot", WithMain(ListBuilder().Slot(0, {Nop()}).Slot(1, {JumpRaw(1, 1, -4, 1)}).End(2)),
                  "does not land on a slot record"},
        Malformed{"JumpOntoTheEndRecord", WithMain(ListBuilder().Slot(0, {JumpRaw(1, 1, 19, 1)}).End(1)),
                  "does not land on a slot record"},
        Malformed{"JumpIntoTheOtherList", Join(kEnd0, ListBuilder().Slot(0, {JumpRaw(1, 1, -6, 1)}).End(1)),
                  "output list has a jump that does not land"},
        Malformed{"ForwardJump", WithMain(ListBuilder().Slot(0, {JumpTo(1, 3, 1)}).Slot(3, {Nop()}).End(4)),
                  "forward jump"},
        Malformed{"EndActionInASlot", WithMain(ListBuilder().Slot(0, {Nop(), Bytes{0xFF}}).End(1)),
                  "end action outside"},
        Malformed{"BytesAfterMainEnd", Image{Raw({kEnd0, Nop(), kEnd0}), 7}, "1 bytes after its end record"},
        Malformed{"BytesAfterOutputEnd", Appended(EmptyImage(), {0x70, 0x70}),
                  "output list has 2 bytes after its end record"}),
    [](const ::testing::TestParamInfo<Malformed>& info) { return std::string(info.param.name); });

}  // namespace
