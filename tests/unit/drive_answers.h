// Identification answers built field by field, shared by the tests of record filling and
// of drive discovery.
#ifndef ZV_DRIVE_ANSWERS_H
#define ZV_DRIVE_ANSWERS_H

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common.h"

// A 96-byte standard INQUIRY answer (SPC): the texts at their offsets, cut to their fields and
// padded with blanks; the serial goes in the first 20 vendor-specific bytes.
inline std::vector<u8> InquiryAnswer(const std::string& vendor, const std::string& product, const std::string& rev,
                                     const std::string& serial)
{
    std::vector<u8> a(96, ' ');
    a[0] = 0;
    a[1] = 0;
    a[2] = 6;
    a[3] = 2;
    a[4] = 91;
    a[5] = a[6] = a[7] = 0;
    memcpy(&a[8], vendor.data(), std::min<size_t>(vendor.size(), 8));
    memcpy(&a[16], product.data(), std::min<size_t>(product.size(), 16));
    memcpy(&a[32], rev.data(), std::min<size_t>(rev.size(), 4));
    memcpy(&a[36], serial.data(), std::min<size_t>(serial.size(), 20));
    return a;
}

// READ CAPACITY(10): the last LBA big-endian, then a block length of 512.
inline std::vector<u8> CapacityAnswer(u32 last_lba)
{
    return {u8(last_lba >> 24), u8(last_lba >> 16), u8(last_lba >> 8), u8(last_lba), 0, 0, 2, 0};
}

// A 512-byte IDENTIFY DEVICE answer; texts go in ATA order (two characters per word, first
// character in the high byte), padded with blanks.
struct IdentifyImage {
    u8 b[512] = {};

    void Text(u32 off, u32 width, const std::string& text)
    {
        for (u32 i = 0; i < width; i++) {
            b[off + (i ^ 1)] = i < text.size() ? u8(text[i]) : u8(' ');
        }
    }
    void Le(u32 off, u32 bytes, u64 v)
    {
        for (u32 i = 0; i < bytes; i++) {
            b[off + i] = u8(v >> (8 * i));
        }
    }
    IdentifyImage& Model(const std::string& s) { Text(54, 40, s); return *this; }
    IdentifyImage& Serial(const std::string& s) { Text(20, 20, s); return *this; }
    IdentifyImage& Firmware(const std::string& s) { Text(46, 8, s); return *this; }
    IdentifyImage& Lba28(u32 v) { Le(120, 4, v); return *this; }
    IdentifyImage& Lba48(u64 v) { Le(200, 8, v); return *this; }
    IdentifyImage& Has48Bit(bool on)
    {
        b[167] = on ? u8(b[167] | 0x04) : u8(b[167] & ~0x04);
        return *this;
    }
    std::vector<u8> Bytes() const { return std::vector<u8>(b, b + sizeof(b)); }
};

#endif
