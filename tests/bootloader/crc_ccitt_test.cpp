#include <tessel/bootloader/crc_ccitt.h>

#include <gtest/gtest.h>

namespace {

unsigned char kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(CrcCcitt, PublishedCheckValuesForEachStartValue) {
    EXPECT_EQ(CRC_CCITT(CRC_CCITT::NonZero1).ComputeChecksum(kCheck, 9), 0x29B1);  // CCITT-FALSE
    EXPECT_EQ(CRC_CCITT(CRC_CCITT::Zeros).ComputeChecksum(kCheck, 9), 0x31C3);     // XMODEM
    EXPECT_EQ(CRC_CCITT(CRC_CCITT::NonZero2).ComputeChecksum(kCheck, 9), 0xE5CC);
    unsigned char zero = 0;
    EXPECT_EQ(CRC_CCITT(CRC_CCITT::NonZero1).ComputeChecksum(&zero, 1), 0xE1F0);
}

TEST(CrcCcitt, EmptyOrNegativeLengthGivesStartValue) {
    CRC_CCITT crc(CRC_CCITT::NonZero1);
    EXPECT_EQ(crc.ComputeChecksum(kCheck, 0), 0xFFFF);
    EXPECT_EQ(crc.ComputeChecksum(kCheck, -5), 0xFFFF);
    EXPECT_EQ(crc.ComputeChecksum(static_cast<unsigned char*>(nullptr), 9), 0xFFFF);
    EXPECT_EQ(CRC_CCITT(static_cast<CRC_CCITT::InitialCrcValue>(0x1234)).ComputeChecksum(kCheck, 0), 0x1234);
}

TEST(CrcCcitt, EachCallStartsAfreshSoOneObjectServesManyBlocks) {
    CRC_CCITT crc(CRC_CCITT::NonZero1);
    unsigned char other[] = {0xDE, 0xAD, 0xBE, 0xEF};
    const unsigned short first = crc.ComputeChecksum(kCheck, 9);
    crc.ComputeChecksum(other, 4);
    EXPECT_EQ(crc.ComputeChecksum(kCheck, 9), first);
    // Copies compute the same.
    CRC_CCITT copy = crc;
    EXPECT_EQ(copy.ComputeChecksum(kCheck, 9), 0x29B1);
}

}  // namespace
