// The maker's SAS vendor answers (C0h) and tables: I/O counters, link speed, flags,
// bad pages, flash geometry, NVRAM, CE information, defect lists, command queue and
// blank block counts. All integers in these answers are little-endian and are read as
// the host holds them.
#ifndef ZV_VENDOR_TABLE_DECODER_H
#define ZV_VENDOR_TABLE_DECODER_H

#include <string>
#include <vector>

#include "common.h"

// "[C0h] Disk IO info": eight byte counters.
struct DiskIoInfo {
    u64 host_read_bytes;
    u64 nm_read_bytes;
    u64 gc_read_bytes;
    u64 bs_read_bytes;
    u64 host_write_bytes;
    u64 nm_write_bytes;
    u64 gc_write_bytes;
    u64 bs_write_bytes;
};
static_assert(sizeof(DiskIoInfo) == 64, "DiskIoInfo is eight u64 counters");

// "[C0h] Get Disk Speed": link speed codes of the two ports.
struct DiskSpeedInfo {
    u32 port0;
    u32 port1;
};
static_assert(sizeof(DiskSpeedInfo) == 8, "DiskSpeedInfo is two u32 codes");

const u32 kDiskFlagLen = 8;

struct NvramDataRecord {
    u32 nvpbn;
    u32 nvch;
    u32 nvce;
    u32 nvpage;
    u32 nvblk;
    u32 nvlog_addr;
    u32 ddr_flash;
    u32 flash_pbn[15];
};
static_assert(sizeof(NvramDataRecord) == 88, "NvramDataRecord is 22 u32 words");

// One (unit, block) of the bad page answer, a unit being one channel and CE: Page Num / 32
// u32 words of 2-bit word line states, then 4 bytes that are not read.
struct BadPageBitmap {
    const u8* words;
    u32 word_num;

    static u32 WordNum(u32 page_num) { return page_num >> 5; }
    static u32 Size(u32 page_num) { return WordNum(page_num) * 4 + 4; }
    // State of word line w * 16 + k, for w below word_num: 0 good, 1 to 3 both pages bad.
    u32 State(u32 w, u32 k) const;
};
const u32 kBadPageWordLinesPerWord = 16;

const u32 kDefectListMagic = 0x4BADB10Cu;

struct DefectListHeader {
    u32 magic;
    u32 reserved0;
    u32 count;
    u32 reserved1;
    u32 reserved2;
};
static_assert(sizeof(DefectListHeader) == 20, "DefectListHeader is five u32 words");

struct DefectEntry {
    u8 reason;
    u8 group;
    u16 block;
};
static_assert(sizeof(DefectEntry) == 4, "DefectEntry is 4 bytes");

// Header skipped in front of the entries that PrintDefectData is given.
const u32 kDefectDataHeadLen = 8;

struct BadPageRecordRow {
    u32 bln;
    u32 time_l;
    u32 time_h;
    u32 status;
    u32 ecc_bit;
};
static_assert(sizeof(BadPageRecordRow) == 20, "BadPageRecordRow is five u32 words");

// Packed CE information: u16 total count, then kPackedCeRecords of these without gaps,
// each followed by its count u16 values.
struct __attribute__((packed)) PackedCeRecord {
    u8 ce_id;  // layer in bits 7-4, channel in bits 3-0
    u16 count;
};
static_assert(sizeof(PackedCeRecord) == 3, "PackedCeRecord is u8 id and u16 count");
const u32 kPackedCeRecords = 128;
const u32 kPackedCeMinLen = 2 + kPackedCeRecords * sizeof(PackedCeRecord);

// The INI-like text of per-CE value lists, without a final newline; every "%s" is the
// indent. The head takes the total count, each CE block the CE number, layer, channel
// and value count, and every value is followed by a comma.
struct CeInformationText {
    static constexpr const char* kHead = "%s[INFORMATION]\n%sversion=1.0\n%stotal_count=%u";
    static constexpr const char* kCeBlock = "\n\n%s[CE%03u]\n%slayer=%u\n%schan=%u\n%scount=%u\n%svalue=";
    static constexpr const char* kValue = "%u,";
};

// Block type and defect reason names, one row per code, blank-filled to 8 characters in
// the older set (disk_model_code 0) and to 10 in the newer one; the older set has no
// names past code 7.
struct BlockType {
    u32 code;
    const char* older;
    const char* newer;
};
const u32 kBlockTypeOldNum = 8;
const u32 kBlockTypeNewNum = 12;
extern const BlockType block_type_list[kBlockTypeNewNum];
// The name of a code in the given set; nullptr when the set has none.
const char* BlockTypeName(u32 code, bool newer);
// The same in the set disk_model_code selects.
const char* BlockTypeName(u32 code);

// Registered callbacks.
bool ParseBadPage(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskFlag(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskSpeed(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseIoInfo(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

// Paired pages of a word line under the Page Num word of disk_geometry; 255 for a word
// line the block does not have.
u8 GetLowerPageIdx(u8 wl);
u8 GetUpperPageIdx(u8 wl);

bool ParseDiskBasicInfo(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Replaces out.
bool PrintPendLbaList(std::string& out, const std::vector<u32>& lbas, u32 indent, void* ctx);
bool PrintNvramData(std::string& out, const NvramDataRecord* rec);
// Pieces of the CE information text: the header, then per CE its block, followed by
// one "%u," per value. pad is the indent string.
std::string CeInformationHeader(const std::string& pad, u32 total_count);
std::string CeInformationBlock(const std::string& pad, u32 ce, u32 layer, u32 chan, u32 count);
// Replaces out with the CE information text.
bool ParseCeInformationPacked(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDefectData(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool PrintDefectData(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseCmdQueueInfo(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseBlankBlockCount(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Replaces out.
bool ParseBadPageRecords(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
u32 CountSetBits(u32 v);

#endif
