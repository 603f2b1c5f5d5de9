// Records of the SAS family's flash translation layer tables (READ BUFFER vendor
// pages), their geometry and addressing, and the checks that cross-examine them.
// Every record is little-endian; bit n is bit n mod 8 of byte n / 8. The records hold
// their words as the host reads them, which CheckHostLayout verifies is the same.
#ifndef ZV_FTL_RECORD_H
#define ZV_FTL_RECORD_H

#include <cstring>
#include <string>
#include <vector>

#include "common.h"

// Fixed geometry: the tables do not depend on the drive record.
const u32 FTL_LAYER_CNT = 8;
const u32 FTL_CHAN_CNT = 16;
const u32 FTL_BLOCK_CNT = 8192;
const u32 FTL_PAGE_CNT = 64;

// Head/tail entries per (layer, channel) and the first entry of each chain kind.
const u32 FTL_CHAIN_ENTRY_CNT = 128;
const u32 FTL_CHAIN_BLOCK_INFO = 0;   // chain k links the data blocks with k valid pages
const u32 FTL_CHAIN_BLOCK_INFO_CNT = 65;
const u32 FTL_CHAIN_DATA_ERASE = 72;  // by erase level
const u32 FTL_CHAIN_BLANK_ERASE = 80; // by erase level
const u32 FTL_ERASE_LEVEL_CNT = 8;

struct BlockInfoItem {
    u32 word[4];

    u32 ValidPageFlagLow() const { return word[0]; }   // pages 0 to 31
    u32 ValidPageFlagHigh() const { return word[2]; }  // pages 32 to 63
    u32 ValidPageCnt() const { return word[1] & 0x7F; }
    u32 ErrType() const { return (word[1] >> 7) & 0x7F; }
    u32 DecNum() const { return (word[1] >> 14) & 0xF; }
    u32 InitBadFlag() const { return (word[1] >> 22) & 1; }
    u32 SysBlockFlag() const { return (word[1] >> 23) & 1; }
    u32 FreeBlockFlag() const { return word[3] & 1; }
    u32 EraseCnt() const { return (word[3] >> 1) & 0x1FFFFF; }

    u32 CalcValidPageCnt() const;
    bool SelfCheck() const { return ValidPageCnt() == CalcValidPageCnt(); }
    // Throws std::runtime_error for page 64 or more.
    bool IsPageValid(u32 page) const;
    bool IsFreeBlock() const { return IsUsable() && FreeBlockFlag() == 1; }
    bool IsDataBlock() const { return IsUsable() && FreeBlockFlag() == 0; }
    // (Erase Cnt >> 10) - erase_base, unsigned; anything above 7 counts as 7.
    u32 CalcLevel(u32 erase_base) const;

private:
    bool IsUsable() const { return ErrType() == 0 && DecNum() == 0 && InitBadFlag() == 0 && SysBlockFlag() == 0; }
};
static_assert(sizeof(BlockInfoItem) == 16, "BlockInfoItem is 16 bytes");

// A physical page address of 26 bits.
struct Pbn {
    u32 value;

    u32 Page() const { return value & 0x3F; }
    u32 Block() const { return (value >> 6) & 0x1FFF; }
    u32 Channel() const { return (value >> 19) & 0xF; }
    u32 Layer() const { return (value >> 23) & 0x7; }
};
static_assert(sizeof(Pbn) == 4, "Pbn is one u32");

// One logical map entry: the physical pages of its even and odd halves.
struct L2pEntry {
    u64 raw;

    Pbn Even() const { return Pbn{static_cast<u32>(raw & 0x3FFFFFF)}; }
    Pbn Odd() const { return Pbn{static_cast<u32>((raw >> 26) & 0x3FFFFFF)}; }
    // Blocks 0 to 3 never hold mapped data.
    bool IsEvenValid() const { return Even().Block() > 3; }
    bool IsOddValid() const { return Odd().Block() > 3; }
};
static_assert(sizeof(L2pEntry) == 8, "L2pEntry is 8 bytes");

struct ChainHeadTail {
    u32 word[2];

    u32 Head() const { return word[0] & 0x1FFF; }
    u32 Tail() const { return (word[0] >> 13) & 0x1FFF; }
    bool IsValid() const { return Head() != 0 && Tail() != 0; }
};
static_assert(sizeof(ChainHeadTail) == 8, "ChainHeadTail is 8 bytes");

struct ChainLink {
    u32 word[2];

    u32 FrontPtr() const { return word[0] & 0x1FFF; }
    u32 NextBlock() const { return (word[0] >> 13) & 0x1FFF; }
};
static_assert(sizeof(ChainLink) == 8, "ChainLink is 8 bytes");

struct EraseBaseStatus {
    u32 word[4];

    u32 EraseBase() const { return word[0] & 0x7FF; }
    // Each throws std::runtime_error for a level or index outside its chains.
    bool BlankChainStatus(u32 level) const;
    bool DataChainStatus(u32 level) const;
    bool BlockInfoChainStatus(u32 index) const;

private:
    bool Bit(u32 n) const { return (word[n / 32] >> (n % 32)) & 1; }
};
static_assert(sizeof(EraseBaseStatus) == 16, "EraseBaseStatus is 16 bytes");

struct CurBlankEntry {
    u32 word[2];

    u32 CurBlankBlock() const { return word[1] & 0x1FFF; }
    bool IsValid() const { return CurBlankBlock() != 0; }
};
static_assert(sizeof(CurBlankEntry) == 8, "CurBlankEntry is 8 bytes");

// Entry addressing of the per-channel and per-block tables.
inline u32 FtlChannelIndex(u32 layer, u32 ch) { return layer * FTL_CHAN_CNT + ch; }
inline u32 FtlBlockIndex(u32 layer, u32 ch, u32 block) { return FtlChannelIndex(layer, ch) * FTL_BLOCK_CNT + block; }
inline u32 FtlChainEntryIndex(u32 layer, u32 ch, u32 entry)
{
    return FtlChannelIndex(layer, ch) * FTL_CHAIN_ENTRY_CNT + entry;
}

// Full table lengths the geometry implies.
const u32 kFtlChannelNum = FTL_LAYER_CNT * FTL_CHAN_CNT;
const u32 kFtlBlockNum = kFtlChannelNum * FTL_BLOCK_CNT;
const u32 kBlockInfoTableLen = kFtlBlockNum * sizeof(BlockInfoItem);
const u32 kChainLinkTableLen = kFtlBlockNum * sizeof(ChainLink);
const u32 kChainHeadTailTableLen = kFtlChannelNum * FTL_CHAIN_ENTRY_CNT * sizeof(ChainHeadTail);
const u32 kEraseBaseStatusTableLen = kFtlChannelNum * sizeof(EraseBaseStatus);
const u32 kCurBlankTableLen = kFtlChannelNum * sizeof(CurBlankEntry);
static_assert(kBlockInfoTableLen == 0x1000000, "block info table length");
static_assert(kChainLinkTableLen == 0x800000, "chain link table length");
static_assert(kChainHeadTailTableLen == 0x20000, "head/tail table length");
static_assert(kEraseBaseStatusTableLen == 0x800, "erase base and status table length");
static_assert(kCurBlankTableLen == 0x400, "current blank block table length");

// Record index of a table; the caller keeps index within the table.
template <typename Record>
Record FtlRecordAt(const u8* table, u32 index)
{
    Record r;
    memcpy(&r, table + static_cast<size_t>(index) * sizeof(Record), sizeof(Record));
    return r;
}

// Formats at most 1023 characters and appends them to out.
std::string& AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Size of the buffer FormatL2pBlockInfo writes: every field is bounded by its bits.
const u32 kL2pBlockInfoTextLen = 320;
// One line without line break into buf (kL2pBlockInfoTextLen bytes); returns its length.
u32 FormatL2pBlockInfo(char* buf, const L2pEntry& entry, const BlockInfoItem& info);

// Each appends its reports to out and returns true when it found no error; a null table
// or one of another length than the check needs is refused with false and no report.
bool CheckBlockInfoTable(const u8* block_info, u32 len, std::string& out, u32 max_errors);
bool CheckFtlChains(const u8* erase_status, u32 len1, const u8* head_tail, u32 len2, const u8* links, u32 len3,
                    const u8* block_info, u32 len4, std::string& out, u32 max_errors);
bool CheckL2pTable(const u8* l2p, u32 len1, const u8* block_info, u32 len2, const u8* cur_blank, u32 len3,
                   std::string& out, u32 max_errors);

// Throws std::runtime_error unless the host is little-endian and allocates bit fields
// from the least significant bit, as the records assume.
void CheckHostLayout();
// The judgement of CheckHostLayout over the two words the host produced.
void CheckLayoutWords(u32 byte_order_word, u32 bit_field_word);

void RunFtlRecordHooks();

// "[3Ch] Pend List Table": big-endian u32 LBAs up to the first all-FFh word.
bool LoadPendLbaList(std::vector<u32>& dst, const u8* data, u32 len);
// Replaces out with the list.
bool ParsePendListTable(std::string& out, const u8* data, u32 len, u32 indent);

#endif
