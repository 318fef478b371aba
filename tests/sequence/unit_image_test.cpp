// Byte forms of the actions and the layout of one list.
#include "sequence_test_support.h"

#include <korvan/device/result_codes.h>
#include <korvan/sequence/detail/actions.h>
#include <korvan/sequence/detail/image_writer.h>

#include <gtest/gtest.h>

using namespace korvan::detail;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Encoded(const SequenceAction& a) {
    Bytes out(a.Length());
    EXPECT_EQ(a.Encode(out.data()), out.size());
    return out;
}

}  // namespace

TEST(SequenceActions, ByteForms) {
    struct Case {
        SequenceAction action;
        Bytes bytes;
    } cases[] = {
        {ActionSetAnalog(0, 5, 10000), {0x40, 0x05, 0xFF, 0xFF}},
        {ActionSetAnalog(0, 4, 0), {0x40, 0x04, 0x00, 0x00}},
        {ActionSetAnalog(0, 7, 5000), {0x40, 0x07, 0x7F, 0xFF}},
        {ActionSetMirrorX(0, 0xABCD), {0x40, 0x02, 0xAB, 0xCD}},
        {ActionSetMirrorY(0, 0x0102), {0x40, 0x03, 0x01, 0x02}},
        {ActionSetTTL(0, 6, 1), {0x20, 0x06, 0x01}},
        {ActionPulseTTL(0, 1), {0x30, 0x01}},
        {ActionWaitTTL(0, 1, 2), {0x10, 0x01, 0x02}},
        {ActionWaitUser(0, 0x1234), {0x11, 0x12, 0x34}},
        {ActionJump(0, 3, 0x01020304, 0x0A0B0C0D),
         {0x51, 0x0A, 0x0B, 0x0C, 0x0D, 0x0A, 0x0B, 0x0C, 0x0D, 0x01, 0x02, 0x03, 0x04, 0x03}},
        {ActionNOP(0), {0x70}},
    };
    for (const Case& c : cases) EXPECT_EQ(Encoded(c.action), c.bytes);
}

TEST(ListWriter, EmptyListIsItsEndRecord) {
    Bytes image;
    ListWriter writer(image, 100);
    ASSERT_EQ(writer.Finish(0), 0u);
    EXPECT_EQ(image, (Bytes{0, 0, 0, 2, 1, 0xFF}));
}

TEST(ListWriter, BackwardJumpDistance) {
    // Slots padded with no-ops so that the target slot starts at 40 and the jump's slot at 120.
    Bytes image;
    ListWriter writer(image, 1000);
    for (int i = 0; i < 35; ++i) ASSERT_EQ(writer.File(ActionNOP(1)), 0u);
    for (int i = 0; i < 75; ++i) ASSERT_EQ(writer.File(ActionNOP(2)), 0u);  // 40..119
    ASSERT_EQ(writer.File(ActionJump(3, 2, 2, 1)), 0u);                     // slot at 120
    ASSERT_EQ(writer.Finish(10), 0u);
    const std::size_t distance = 120 + 5 + kJumpDistanceOffset;
    EXPECT_EQ(Bytes(image.begin() + distance, image.begin() + distance + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xB0}));
}

TEST(ListWriter, EarlierTicksAreInsertedAndJumpsFollowTheMove) {
    Bytes image;
    ListWriter w(image, 1000);
    ASSERT_EQ(w.File(ActionSetTTL(10, 0, 1)), 0u);
    ASSERT_EQ(w.File(ActionJump(20, 2, 5, 1)), 0u);
    ASSERT_EQ(w.File(ActionNOP(5)), 0u);           // a new slot before both
    ASSERT_EQ(w.File(ActionPulseTTL(10, 1)), 0u);  // joins slot 10
    ASSERT_EQ(w.Finish(30), 0u);
    EXPECT_EQ(sequence_test::Slots(image),
              (std::vector<std::string>{"5: 70", "10: 20 00 01 | 30 01",
                                        "20: 51 00 00 00 01 00 00 00 01 FF FF FF F0 02", "end 30"}));
}

TEST(ListWriter, Limits) {
    Bytes image;
    ListWriter full(image, 11);  // a slot of one no-op (6 bytes) and the end record (6) need 12
    EXPECT_EQ(full.File(ActionNOP(0)), 0u);
    EXPECT_EQ(full.Finish(0), korvan::ResultMemoryTooSmall);
    EXPECT_EQ(full.File(ActionSetMirrorX(1, 0)), korvan::ResultMemoryTooSmall);

    image.clear();
    ListWriter crowded(image, 100000);
    for (int i = 0; i < 255; ++i) ASSERT_EQ(crowded.File(ActionNOP(7)), 0u);
    EXPECT_EQ(crowded.File(ActionNOP(7)), korvan::ResultSequenceInvalid);  // the count byte would wrap

    image.clear();
    ListWriter unwritable(image, 100);
    EXPECT_EQ(unwritable.File(ActionNOP(0xFFFFFFFFu)), korvan::ResultSequenceInvalid);
    EXPECT_EQ(unwritable.Finish(0xFFFFFFFEu), korvan::ResultSequenceInvalid);
}
