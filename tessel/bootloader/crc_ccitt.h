#pragma once
// CRC-16/CCITT as the bootloader expects it on every firmware block.
#include <tessel/export.h>

// Table-driven CRC-16 with polynomial 0x1021, most significant bit first, no reflection and no
// final XOR. Started at 0xFFFF (what the firmware update uses) it is CRC-16/CCITT-FALSE:
// "123456789" gives 0x29B1. An object keeps no running state, so one object can checksum any
// number of blocks; each ComputeChecksum starts again from the stored start value.
class TESSEL_API CRC_CCITT {
public:
    // Start values of the register. Any other 16-bit value may be passed as well; it is used as is.
    enum InitialCrcValue : unsigned short {
        Zeros = 0x0000,
        NonZero1 = 0xFFFF,
        NonZero2 = 0x1D0F,
    };

    // Stores the start value and the polynomial and builds the lookup table.
    explicit CRC_CCITT(InitialCrcValue initialValue);

    // Checksum of `length` bytes at `data`. A length of 0 or less (or a null `data`) returns the
    // start value unchanged.
    unsigned short ComputeChecksum(unsigned char* data, int length);
    unsigned short ComputeChecksum(const unsigned char* data, int length) const;

private:
    unsigned short polynomial;
    unsigned short table[256];
    unsigned short initialValue;
};
