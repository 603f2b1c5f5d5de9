#include "vendor_table_decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "decode_util.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "settings.h"

namespace {

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

u32 BadPageBitmap::State(u32 w, u32 k) const
{
    ZV_CHECK(w < word_num && k < kBadPageWordLinesPerWord);
    return (ReadU32(words + 4 * static_cast<size_t>(w)) >> (2 * k)) & 3;
}

bool ParseBadPage(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len == 0) {
        return false;
    }
    const u32 pages = disk_geometry.page_num;
    const u32 blocks = disk_geometry.block;
    const u32 units = disk_geometry.channel * disk_geometry.ce;
    const u32 words = BadPageBitmap::WordNum(pages);
    const u32 record_size = BadPageBitmap::Size(pages);
    const u32 records = len / record_size;
    const std::string pad = ParseIndent(indent);
    std::string text;
    bool found = false;
    char buf[64];
    for (u32 r = 0; r < records; r++) {
        const BadPageBitmap rec = {data + static_cast<size_t>(r) * record_size, words};
        for (u32 w = 0; w < words; w++) {
            for (u32 k = 0; k < kBadPageWordLinesPerWord; k++) {
                const u32 s = rec.State(w, k);
                if (s == 0) {
                    continue;
                }
                // Without a block count the record cannot be placed: refuse rather than divide by 0.
                if (blocks == 0) {
                    return false;
                }
                found = true;
                const u8 wl = static_cast<u8>(w * kBadPageWordLinesPerWord + k);
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

const BlockType block_type_list[kBlockTypeNewNum] = {
    {0, "Data    ", "Data      "},
    {1, "Blank   ", "Blank     "},
    {2, "Snap    ", "Snap      "},
    {3, "Dirty   ", "Dirty     "},
    {4, "Bad_Era ", "Data_Sick "},
    {5, "Bad_Prg ", "Blank_Sick"},
    {6, "Bad_Ecc ", "Bad_False "},
    {7, "Bad_Unc ", "Bpt       "},
    {8, nullptr, "Bad       "},
    {9, nullptr, "Bad_P_U   "},
    {10, nullptr, "Bad_E_U   "},
    {11, nullptr, "Bad_U_U   "},
};

const char* BlockTypeName(u32 code, bool newer)
{
    if (code >= kBlockTypeNewNum) {
        return nullptr;
    }
    return newer ? block_type_list[code].newer : block_type_list[code].older;
}

const char* BlockTypeName(u32 code) { return BlockTypeName(code, disk_model_code != 0); }

bool ParseDiskBasicInfo(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < LenDiskBasicInfo()) {
        return false;
    }
    static const char* const formats[7] = {
        "Channel        : %10u\n", "CE             : %10u\n", "Block          : %10u\n", "Page Num       : %10u\n",
        "Page Size      : %10u\n", "Max LBA        : %10u\n", "Reserved Block : %10u\n",
    };
    const std::string pad = ParseIndent(indent);
    std::string text;
    for (u32 i = 0; i < 7; i++) {
        AppendLine(text, pad, formats[i], ReadU32(data + 4 * i));
    }
    out += text;
    return true;
}

bool PrintPendLbaList(std::string& out, const std::vector<u32>& lbas, u32 indent, void*)
{
    const std::string pad = ParseIndent(indent);
    std::string text;
    AppendLine(text, pad, "******  Total Pend List Count = %u  ******\n", static_cast<u32>(lbas.size()));
    text += pad + "LBA\n";
    for (u32 lba : lbas) {
        AppendLine(text, pad, "%08Xh\n", lba);
    }
    out = text;
    return true;
}

bool PrintNvramData(std::string& out, const NvramDataRecord* rec)
{
    if (rec == nullptr) {
        return false;
    }
    char buf[1024];
    snprintf(buf, sizeof(buf),
             "\n\nNVPBN = %x\nNVCH = %x\nNVCE = %x\nNVPAGE = %x\nNVBLK = %x\nNVLOG ADDR = %x\nDDR FLASH = %x\n"
             "FLASH PBN0 = %x\nFLASH PBN1 = %x\nFLASH PBN2 = %x\nFLASH PBN3 = %x\nFLASH PBN4 = %x\n"
             "FLASH PBN5 = %x\nFLASH PBN6 = %x\nFLASH PBN7 = %x\nFLASH PBN8 = %x\nFLASH PBN9 = %x\n"
             "FLASH PBN10 = %x\nFLASH PBN11 = %x\nFLASH PBN12 = %x\nFLASH PBN13 = %x\nFLASH PBN14 = %x\n",
             rec->nvpbn, rec->nvch, rec->nvce, rec->nvpage, rec->nvblk, rec->nvlog_addr, rec->ddr_flash,
             rec->flash_pbn[0], rec->flash_pbn[1], rec->flash_pbn[2], rec->flash_pbn[3], rec->flash_pbn[4],
             rec->flash_pbn[5], rec->flash_pbn[6], rec->flash_pbn[7], rec->flash_pbn[8], rec->flash_pbn[9],
             rec->flash_pbn[10], rec->flash_pbn[11], rec->flash_pbn[12], rec->flash_pbn[13], rec->flash_pbn[14]);
    out += buf;
    return true;
}

std::string CeInformationHeader(const std::string& pad, u32 total_count)
{
    char buf[256];
    snprintf(buf, sizeof(buf), CeInformationText::kHead, pad.c_str(), pad.c_str(),
             pad.c_str(), total_count);
    return buf;
}

std::string CeInformationBlock(const std::string& pad, u32 ce, u32 layer, u32 chan, u32 count)
{
    char buf[256];
    snprintf(buf, sizeof(buf), CeInformationText::kCeBlock, pad.c_str(), ce,
             pad.c_str(), layer, pad.c_str(), chan, pad.c_str(), count, pad.c_str());
    return buf;
}

bool ParseCeInformationPacked(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kPackedCeMinLen) {
        return false;
    }
    const std::string pad = ParseIndent(indent);
    char buf[256];
    std::string text = CeInformationHeader(pad, ReadU16(data));
    size_t pos = 2;
    for (u32 r = 0; r < kPackedCeRecords; r++) {
        // Values of earlier records may push a header past the end: stop as for a value.
        if (pos + 3 > len) {
            text += "buffer length is not enough";
            out = text;
            return true;
        }
        const u32 id = data[pos];
        const u32 count = ReadU16(data + pos + 1);
        pos += 3;
        text += CeInformationBlock(pad, id, id >> 4, id & 0x0F, count);
        for (u32 v = 0; v < count; v++) {
            if (pos + 2 > len) {
                text += "buffer length is not enough";
                out = text;
                return true;
            }
            snprintf(buf, sizeof(buf), CeInformationText::kValue, static_cast<u32>(ReadU16(data + pos)));
            text += buf;
            pos += 2;
        }
    }
    out = text;
    return true;
}

bool PrintDefectData(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kDefectDataHeadLen) {
        return false;
    }
    const u32 n = (len - kDefectDataHeadLen) / sizeof(DefectEntry);
    const bool newer = disk_model_code != 0;
    const std::string pad = ParseIndent(indent);
    std::string text;
    AppendLine(text, pad, "******  Total Defect Data Count = %u  ******\n", n);
    for (u32 i = 0; i < n; i++) {
        DefectEntry e;
        memcpy(&e, data + kDefectDataHeadLen + sizeof(DefectEntry) * i, sizeof(e));
        const bool named = newer ? (e.reason >= 8 && e.reason < kBlockTypeNewNum) : e.reason < kBlockTypeOldNum;
        if (named) {
            AppendLine(text, pad, "Block = %4u      Group = %3u      Reason = %s\n", static_cast<u32>(e.block),
                       static_cast<u32>(e.group), BlockTypeName(e.reason));
        } else {
            AppendLine(text, pad, "Block = %4u      Group = %3u      Reason = %2u\n", static_cast<u32>(e.block),
                       static_cast<u32>(e.group), static_cast<u32>(e.reason));
        }
    }
    out += text;
    return true;
}

namespace {

enum DefectListResult { kListPrinted, kListEmpty, kListRefused };

// One list after its header; single: the header is the only one in the data.
DefectListResult DefectList(std::string& text, const u8* data, u32 header_word, u32 end, bool single, u32 indent)
{
    const u64 start = 4ull * header_word + sizeof(DefectListHeader);
    // A header cut short by the data's end or by the next header describes nothing readable.
    if (start > end) {
        return kListRefused;
    }
    DefectListHeader head;
    memcpy(&head, data + 4ull * header_word, sizeof(head));
    const u32 list_len = end - static_cast<u32>(start);
    const u64 claimed = 4ull * head.count;
    if (claimed < list_len || (single && head.count == 0)) {
        text += "        No Defect Data Exist!\n";
        return kListEmpty;
    }
    return PrintDefectData(text, data + start, list_len, indent, nullptr) ? kListPrinted : kListRefused;
}

}  // namespace

bool ParseDefectData(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < 4) {
        return false;
    }
    u32 found[2];
    u32 hits = 0;
    for (u32 i = 0; i < len / 4 && hits < 2; i++) {
        if (ReadU32(data + 4 * i) == kDefectListMagic) {
            found[hits++] = i;
        }
    }
    if (hits == 0) {
        return false;
    }
    std::string text;
    if (hits == 1) {
        const DefectListResult r = DefectList(text, data, found[0], len, true, indent);
        if (r == kListRefused) {
            return false;
        }
        out += text;
        return true;
    }
    const u32 ends[2] = {4 * found[1], len};
    for (u32 k = 0; k < 2; k++) {
        const DefectListResult r = DefectList(text, data, found[k], ends[k], false, indent);
        if (r == kListRefused) {
            return false;
        }
        if (r == kListEmpty) {
            break;
        }
    }
    out += text;
    return true;
}

bool ParseCmdQueueInfo(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < LenBlankBlockCount()) {
        return false;
    }
    const u64 ch = disk_geometry.channel;
    const u64 ce = disk_geometry.ce;
    const bool newer = disk_model_code != 0;
    // Depths the geometry names but the answer lacks: refuse rather than print a part.
    // Each term is checked on its own so that a huge geometry cannot wrap the sum.
    const u64 room = (len - 22) / 2;
    const u64 per_channel = newer ? 3 : 2;
    if (ch > room / per_channel || (newer && ch * ce > room - per_channel * ch)) {
        return false;
    }
    static const char* const counters[11] = {
        "New Cmd Cnt       : %d\n", "Active Cmd Cnt    : %d\n", "Tx DMA Cnt        : %d\n",
        "Rx DMA Cnt        : %d\n", "New Tm Cmd Cnt    : %d\n", "Active Tm Cmd Cnt : %d\n",
        "UNCPendList       : %d\n", "NMReadyQueue      : %d\n", "NMFreeQueue       : %d\n",
        "GCFreeQueue       : %d\n", "CmdPendList       : %d\n",
    };
    const std::string pad = ParseIndent(indent);
    std::string text;
    for (u32 i = 0; i < 11; i++) {
        AppendLine(text, pad, counters[i], static_cast<int>(ReadU16(data + 2 * i)));
    }
    struct Group {
        const char* format;
        u64 count;
    };
    const Group older_groups[] = {{"SoftFIFO[%2d]      : %d\n", ch}, {"HardFIFO[%2d]      : %d\n", ch}};
    const Group newer_groups[] = {{"WriteSoftFIFO[%2d]      : %d\n", ch * ce},
                                  {"ReadSoftFIFO[%2d]      : %d\n", ch},
                                  {"EraseSoftFIFO[%2d]      : %d\n", ch},
                                  {"HardFIFO[%2d]      : %d\n", ch}};
    const Group* groups = newer ? newer_groups : older_groups;
    const u32 group_num = newer ? 4 : 2;
    size_t pos = 22;
    for (u32 g = 0; g < group_num; g++) {
        for (u64 i = 0; i < groups[g].count; i++) {
            AppendLine(text, pad, groups[g].format, static_cast<int>(i), static_cast<int>(ReadU16(data + pos)));
            pos += 2;
        }
    }
    out += text;
    return true;
}

bool ParseBlankBlockCount(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < LenBlankBlockCount()) {
        return false;
    }
    const u32 ch = disk_geometry.channel;
    const u32 ce = disk_geometry.ce;
    // The product of two u32 fits in u64; doubling it might not.
    if (static_cast<u64>(ch) * ce > len / 2) {
        return false;
    }
    const std::string pad = ParseIndent(indent);
    std::string text;
    AppendLine(text, pad, "**** Total Channel = %d, Total CE = %d ****\n", static_cast<int>(ch), static_cast<int>(ce));
    // Without channels a CE row is empty: a huge CE word must not spin through them.
    for (u32 c = 0; ch != 0 && c < ce; c++) {
        for (u32 h = 0; h < ch; h++) {
            AppendLine(text, pad, "CE = %02d Chan = %02d : 0x%04x \n", static_cast<int>(c), static_cast<int>(h),
                       static_cast<u32>(ReadU16(data + 2 * (static_cast<size_t>(c) * ch + h))));
        }
    }
    out += text;
    return true;
}

bool ParseBadPageRecords(std::string& out, const u8* data, u32 len, u32, void*)
{
    if (data == nullptr) {
        return false;
    }
    std::string text = "Page      BLN    Time(H)     Time(L)   status  ECC-bit\n";
    char buf[128];
    for (u32 i = 0; i < len / sizeof(BadPageRecordRow); i++) {
        BadPageRecordRow row;
        memcpy(&row, data + sizeof(BadPageRecordRow) * static_cast<size_t>(i), sizeof(row));
        snprintf(buf, sizeof(buf), "%4u  %8x  %8x    %8x      %2x      %2x\n", i, row.bln, row.time_h, row.time_l,
                 row.status, row.ecc_bit);
        text += buf;
    }
    out = text;
    return true;
}

u32 CountSetBits(u32 v)
{
    v = (v & 0x55555555u) + ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    v = (v & 0x0F0F0F0Fu) + ((v >> 4) & 0x0F0F0F0Fu);
    v = (v & 0x00FF00FFu) + ((v >> 8) & 0x00FF00FFu);
    return (v & 0x0000FFFFu) + (v >> 16);
}
