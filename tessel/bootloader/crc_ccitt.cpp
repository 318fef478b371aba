#include <tessel/bootloader/crc_ccitt.h>

CRC_CCITT::CRC_CCITT(InitialCrcValue start) : polynomial(0x1021), table{}, initialValue(start) {
    for (unsigned i = 0; i < 256; ++i) {
        unsigned short crc = 0;
        unsigned short c = static_cast<unsigned short>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            if ((crc ^ c) & 0x8000)
                crc = static_cast<unsigned short>((crc << 1) ^ polynomial);
            else
                crc = static_cast<unsigned short>(crc << 1);
            c = static_cast<unsigned short>(c << 1);
        }
        table[i] = crc;
    }
}

unsigned short CRC_CCITT::ComputeChecksum(unsigned char* data, int length) {
    return static_cast<const CRC_CCITT*>(this)->ComputeChecksum(static_cast<const unsigned char*>(data), length);
}

unsigned short CRC_CCITT::ComputeChecksum(const unsigned char* data, int length) const {
    unsigned short crc = initialValue;
    if (data == nullptr) return crc;
    for (int i = 0; i < length; ++i)
        crc = static_cast<unsigned short>(table[((crc >> 8) ^ data[i]) & 0xFF] ^ (crc << 8));
    return crc;
}
