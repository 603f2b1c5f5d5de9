#include "vendor_table_decoder.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "settings.h"

namespace {

// The answers are little-endian, as is the host: a plain copy reads them.
u32 ReadU32(const u8* p)
{
    u32 v;
    memcpy(&v, p, sizeof(v));
    return v;
}

const char* SpeedName(u32 code)
{
    switch (code) {
    case 6:
        return "6G";
    case 3:
        return "3G";
    case 1:
        return "1.5G";
    default:
        return "Unknown";
    }
}

}  // namespace

bool ParseIoInfo(std::string& out, const u8* data, u32 len, u32, void*)
{
    if (data == nullptr || len != LenDiskIoInfo()) {
        // The full address: a 32-bit "%x" would cut it on this platform.
        printf("%s Error:buffer=%lx,buf_len=%d\n", "ParseIoInfo",
               static_cast<unsigned long>(reinterpret_cast<uintptr_t>(data)), static_cast<int>(len));
        return false;
    }
    DiskIoInfo io;
    memcpy(&io, data, sizeof(io));
    struct Line {
        const char* format;
        u64 value;
    };
    const Line lines[] = {
        {"\thost read bytes:\t%#016llx\n", io.host_read_bytes},
        {"\tnm read bytes:\t\t%#016llx\n", io.nm_read_bytes},
        {"\tgc read bytes:\t\t%#016llx\n", io.gc_read_bytes},
        {"\tbs read bytes:\t\t%#016llx\n", io.bs_read_bytes},
        {"\thost write bytes:\t%#016llx\n", io.host_write_bytes},
        {"\tnm write bytes:\t\t%#016llx\n", io.nm_write_bytes},
        {"\tgc write bytes:\t\t%#016llx\n", io.gc_write_bytes},
        {"\tbs write bytes:\t\t%#016llx\n", io.bs_write_bytes},
    };
    std::string text = "disk Io info:\n";
    char buf[128];
    for (const Line& l : lines) {
        snprintf(buf, sizeof(buf), l.format, static_cast<unsigned long long>(l.value));
        text += buf;
    }
    out += text;
    return true;
}

bool ParseDiskSpeed(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len != sizeof(DiskSpeedInfo)) {
        return false;
    }
    DiskSpeedInfo speed;
    memcpy(&speed, data, sizeof(speed));
    const std::string pad = ParseIndent(indent);
    out += pad + "P0 Speed : " + SpeedName(speed.port0) + "\n";
    out += pad + "P1 Speed : " + SpeedName(speed.port1) + "\n";
    return true;
}

bool ParseDiskFlag(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len != kDiskFlagLen) {
        return false;
    }
    size_t n = 0;
    while (n < kDiskFlagLen && data[n] != 0) {
        n++;
    }
    out += ParseIndent(indent) + "Disk Flag :" + std::string(reinterpret_cast<const char*>(data), n) + "\n";
    return true;
}

u8 GetLowerPageIdx(u8 wl)
{
    const u32 pages = disk_geometry.page_num;
    if (wl > pages / 2 - 1) {
        return 255;
    }
    if (pages == 256) {
        return static_cast<u8>(wl <= 3 ? wl : wl + (wl & 0xFE) - 2);
    }
    return static_cast<u8>(wl == 0 ? 0 : 2 * wl - 1);
}

u8 GetUpperPageIdx(u8 wl)
{
    const u32 pages = disk_geometry.page_num;
    if (wl > pages / 2 - 1) {
        return 255;
    }
    if (pages == 256) {
        if (wl <= 1) {
            return static_cast<u8>(wl + 4);
        }
        return static_cast<u8>(wl <= 125 ? wl + (wl & 0xFE) + 4 : wl + (wl & 0xFE) + 2);
    }
    return static_cast<u8>(wl == pages / 2 - 1 ? pages - 1 : 2 * wl + 2);
}

bool ParseBadPage(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len == 0) {
        return false;
    }
    const u32 pages = disk_geometry.page_num;
    const u32 blocks = disk_geometry.block;
    const u32 units = disk_geometry.channel * disk_geometry.ce;
    const u32 words = pages >> 5;
    const u32 record_size = words * 4 + 4;
    const u32 records = len / record_size;
    const std::string pad = ParseIndent(indent);
    std::string text;
    bool found = false;
    char buf[64];
    for (u32 r = 0; r < records; r++) {
        const u8* rec = data + static_cast<size_t>(r) * record_size;
        for (u32 w = 0; w < words; w++) {
            const u32 word = ReadU32(rec + 4 * w);
            for (u32 k = 0; k < 16; k++) {
                const u32 s = (word >> (2 * k)) & 3;
                if (s == 0) {
                    continue;
                }
                // Without a block count the record cannot be placed: refuse rather than divide by 0.
                if (blocks == 0) {
                    return false;
                }
                found = true;
                const u8 wl = static_cast<u8>(w * 16 + k);
                const u32 unit = r / blocks;
                const u32 block = r % blocks;
                const u32 base = block * units * pages + unit;
                const u32 lower = GetLowerPageIdx(wl) * units + base;
                const u32 upper = GetUpperPageIdx(wl) * units + base;
                snprintf(buf, sizeof(buf), "FP:0x%x  S:%d\n", lower, static_cast<int>(s));
                text += pad + buf;
                snprintf(buf, sizeof(buf), "SP:0x%x  S:%d\n", upper, static_cast<int>(s));
                text += pad + buf;
            }
        }
    }
    if (!found) {
        text += pad + "No Bad Page!" + "\n";
    }
    out += text;
    return true;
}
