#include "ftl_record.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "decode_util.h"
#include "disk_cmnd.h"
#include "vendor_table_decoder.h"

u32 BlockInfoItem::CalcValidPageCnt() const
{
    return CountSetBits(ValidPageFlagLow()) + CountSetBits(ValidPageFlagHigh());
}

bool BlockInfoItem::IsPageValid(u32 page) const
{
    if (page >= FTL_PAGE_CNT) {
        throw std::runtime_error("Block Info Table's page number is greater than 64");
    }
    return page < 32 ? (ValidPageFlagLow() >> page) & 1 : (ValidPageFlagHigh() >> (page - 32)) & 1;
}

u32 BlockInfoItem::CalcLevel(u32 erase_base) const
{
    const u32 level = (EraseCnt() >> 10) - erase_base;
    return level > 7 ? 7 : level;
}

bool EraseBaseStatus::BlankChainStatus(u32 level) const
{
    if (level >= FTL_ERASE_LEVEL_CNT) {
        throw std::runtime_error("Blank Erase Chain Index Overflow");
    }
    return Bit(11 + level);
}

bool EraseBaseStatus::DataChainStatus(u32 level) const
{
    if (level >= FTL_ERASE_LEVEL_CNT) {
        throw std::runtime_error("Data Erase Chain Index Overflow");
    }
    return Bit(19 + level);
}

bool EraseBaseStatus::BlockInfoChainStatus(u32 index) const
{
    if (index >= FTL_CHAIN_BLOCK_INFO_CNT) {
        throw std::runtime_error("Block Info Chain Index Overflow");
    }
    if (index < 16) {
        return Bit(96 + index);
    }
    if (index < 48) {
        return Bit(64 + (index - 16));
    }
    return Bit(32 + (index - 48));
}

std::string& AppendFormat(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendVFormat(out, kMaxFormatBuffer, format, args);
    va_end(args);
    return out;
}

u32 FormatL2pBlockInfo(char* buf, const L2pEntry& entry, const BlockInfoItem& info)
{
    const Pbn even = entry.Even();
    const Pbn odd = entry.Odd();
    const int n = snprintf(buf, kL2pBlockInfoTextLen,
                           "L2P PBN(Even), layer=%01u, ch=%02u, block=%04u, page=%02u; "
                           "L2P PBN(Odd), layer=%01u, ch=%02u, block=%04u, page=%02u; "
                           "Block Info Item, Valid Page Flag=%08x%08Xh, Valid Page Cnt=%02u, Err Type=%02Xh, "
                           "Dec Num=%01Xh, Init Bad Flag=%01x, Sys Block Flag=%01x, Free Block Flag=%01x, "
                           "Erase Cnt=%06Xh",
                           even.Layer(), even.Channel(), even.Block(), even.Page(), odd.Layer(), odd.Channel(),
                           odd.Block(), odd.Page(), info.ValidPageFlagHigh(), info.ValidPageFlagLow(),
                           info.ValidPageCnt(), info.ErrType(), info.DecNum(), info.InitBadFlag(),
                           info.SysBlockFlag(), info.FreeBlockFlag(), info.EraseCnt());
    // The fields are bounded by their bits, so the line always fits.
    ZV_CHECK(n > 0 && static_cast<u32>(n) < kL2pBlockInfoTextLen);
    return static_cast<u32>(n);
}

bool CheckBlockInfoTable(const u8* block_info, u32 len, std::string& out, u32 max_errors)
{
    if (block_info == nullptr || len != kBlockInfoTableLen) {
        return false;
    }
    u32 errors = 0;
    for (u32 i = 0; i < kFtlBlockNum; i++) {
        const BlockInfoItem item = FtlRecordAt<BlockInfoItem>(block_info, i);
        if (item.SelfCheck()) {
            continue;
        }
        AppendFormat(out,
                     "Block Info Table, Self Check Fail, Err Pos : %08Xh  flag_low:%08Xh  flag_high:%08Xh  "
                     "count:%02u  calced:%02u\n",
                     i * static_cast<u32>(sizeof(BlockInfoItem)), item.ValidPageFlagLow(), item.ValidPageFlagHigh(),
                     item.ValidPageCnt(), item.CalcValidPageCnt());
        if (++errors >= max_errors) {
            break;
        }
    }
    return errors == 0;
}

namespace {

enum ChainKind { kChainBlankErase, kChainDataErase, kChainBlockInfo };

struct ChainKindRow {
    ChainKind kind;
    const char* name;
    u32 first_entry;
    u32 count;
};

// In the order the check examines them.
const ChainKindRow chain_kinds[] = {
    {kChainBlankErase, "Blank Erase Chain", FTL_CHAIN_BLANK_ERASE, FTL_ERASE_LEVEL_CNT},
    {kChainDataErase, "Data Erase Chain", FTL_CHAIN_DATA_ERASE, FTL_ERASE_LEVEL_CNT},
    {kChainBlockInfo, "Block Info Chain", FTL_CHAIN_BLOCK_INFO, FTL_CHAIN_BLOCK_INFO_CNT},
};

class ChainWalker {
public:
    ChainWalker(const u8* erase_status, const u8* head_tail, const u8* links, const u8* block_info,
                std::string& out, u32 max_errors)
        : erase_status_(erase_status),
          head_tail_(head_tail),
          links_(links),
          block_info_(block_info),
          out_(out),
          max_errors_(max_errors)
    {
    }

    // False as soon as the error count exceeds the limit.
    bool Run()
    {
        for (u32 layer = 0; layer < FTL_LAYER_CNT; layer++) {
            for (u32 ch = 0; ch < FTL_CHAN_CNT; ch++) {
                for (const ChainKindRow& row : chain_kinds) {
                    if (!CheckKind(row, layer, ch)) {
                        return false;
                    }
                }
            }
        }
        return errors_ == 0;
    }

private:
    static bool Status(const EraseBaseStatus& s, ChainKind kind, u32 index)
    {
        switch (kind) {
        case kChainBlankErase:
            return s.BlankChainStatus(index);
        case kChainDataErase:
            return s.DataChainStatus(index);
        case kChainBlockInfo:
            break;
        }
        return s.BlockInfoChainStatus(index);
    }

    bool Counted() { return ++errors_ <= max_errors_; }

    bool CheckKind(const ChainKindRow& row, u32 layer, u32 ch)
    {
        const EraseBaseStatus s = FtlRecordAt<EraseBaseStatus>(erase_status_, FtlChannelIndex(layer, ch));
        for (u32 index = 0; index < row.count; index++) {
            const bool status = Status(s, row.kind, index);
            const ChainHeadTail ht =
                FtlRecordAt<ChainHeadTail>(head_tail_, FtlChainEntryIndex(layer, ch, row.first_entry + index));
            if (status != ht.IsValid()) {
                AppendFormat(out_,
                             "%s, Layer[%u] Ch[%u] Index[%u], Status[%u] HeadPtr[%u] TailPtr[%u], "
                             "HeadTailPtr not match Status\n",
                             row.name, layer, ch, index, status ? 1u : 0u, ht.Head(), ht.Tail());
                // The rest of this kind is judged against a status word already known wrong.
                return Counted();
            }
            if (status && !Walk(row, layer, ch, index, s.EraseBase(), ht)) {
                return false;
            }
        }
        return true;
    }

    bool Walk(const ChainKindRow& row, u32 layer, u32 ch, u32 index, u32 base, const ChainHeadTail& ht)
    {
        const u32 tail = ht.Tail();
        u32 b = ht.Head();
        // A chain cannot hold more blocks than the channel has; more means the links loop.
        for (u32 visits = 0; visits < FTL_BLOCK_CNT; visits++) {
            const BlockInfoItem info = FtlRecordAt<BlockInfoItem>(block_info_, FtlBlockIndex(layer, ch, b));
            if (row.kind == kChainBlankErase ? !info.IsFreeBlock() : !info.IsDataBlock()) {
                AppendFormat(out_, "%s, Layer[%u] Ch[%u] Index[%u], Block[%u], %s\n", row.name, layer, ch, index, b,
                             row.kind == kChainBlankErase ? "Not Free Block" : "Not Data Block");
                if (!Counted()) {
                    return false;
                }
            } else if (row.kind != kChainBlockInfo) {
                const u32 level = info.CalcLevel(base);
                if (level != index) {
                    AppendFormat(out_,
                                 "%s, Layer[%u] Ch[%u] Index[%u], Block[%u] EraseCnt[%u] EraseBase[%u] "
                                 "CalcLevel[%u], EraseCnt != CalcLevel\n",
                                 row.name, layer, ch, index, b, info.EraseCnt(), base, level);
                    if (!Counted()) {
                        return false;
                    }
                }
            } else if (info.ValidPageCnt() != index) {
                AppendFormat(out_, "%s, Layer[%u] Ch[%u] Index[%u], Block[%u] PageCnt[%u], PageCnt != Index\n",
                             row.name, layer, ch, index, b, info.ValidPageCnt());
                if (!Counted()) {
                    return false;
                }
            }
            const u32 next = FtlRecordAt<ChainLink>(links_, FtlBlockIndex(layer, ch, b)).NextBlock();
            const u32 next_front = FtlRecordAt<ChainLink>(links_, FtlBlockIndex(layer, ch, next)).FrontPtr();
            if (next_front != b) {
                AppendFormat(out_,
                             "%s, Layer[%u] Ch[%u] Index[%u], Block[%u] NextBlk[%u] NextFrontPtr[%u], "
                             "Next Block's Front Ptr Not Match Cur Block\n",
                             row.name, layer, ch, index, b, next, next_front);
                if (!Counted()) {
                    return false;
                }
            }
            if (b == tail) {
                return true;
            }
            b = next;
        }
        AppendFormat(out_,
                     "%s, Layer[%u] Ch[%u] Index[%u], HeadPtr[%u] TailPtr[%u], TailPtr Not Reached In %u Blocks\n",
                     row.name, layer, ch, index, ht.Head(), tail, FTL_BLOCK_CNT);
        return Counted();
    }

    const u8* erase_status_;
    const u8* head_tail_;
    const u8* links_;
    const u8* block_info_;
    std::string& out_;
    u32 max_errors_;
    u32 errors_ = 0;
};

}  // namespace

bool CheckFtlChains(const u8* erase_status, u32 len1, const u8* head_tail, u32 len2, const u8* links, u32 len3,
                    const u8* block_info, u32 len4, std::string& out, u32 max_errors)
{
    if (erase_status == nullptr || head_tail == nullptr || links == nullptr || block_info == nullptr ||
        len1 < kEraseBaseStatusTableLen || len2 < kChainHeadTailTableLen || len3 < kChainLinkTableLen ||
        len4 < kBlockInfoTableLen) {
        return false;
    }
    return ChainWalker(erase_status, head_tail, links, block_info, out, max_errors).Run();
}

bool CheckL2pTable(const u8* l2p, u32 len1, const u8* block_info, u32 len2, const u8* cur_blank, u32 len3,
                   std::string& out, u32 max_errors)
{
    // The geometry lengths equal those the command types read; the walk indexes by them.
    if (l2p == nullptr || block_info == nullptr || cur_blank == nullptr || len1 != LenL2pTable() ||
        len2 != kBlockInfoTableLen || len3 != kCurBlankTableLen) {
        return false;
    }
    // One word per block, bit p for page p: which pages the map already uses.
    std::unique_ptr<u64[]> occupied(new (std::nothrow) u64[kFtlBlockNum]());
    if (!occupied) {
        return false;
    }
    u64* const occupied_word = occupied.get();
    const u32 entry_num = len1 / static_cast<u32>(sizeof(L2pEntry));
    u32 errors = 0;

    u32 map_count = 0;
    for (u32 i = 0; i < entry_num; i++) {
        const L2pEntry e = FtlRecordAt<L2pEntry>(l2p, i);
        map_count += (e.IsEvenValid() ? 1 : 0) + (e.IsOddValid() ? 1 : 0);
    }
    u32 info_count = 0;
    for (u32 i = 0; i < kFtlBlockNum; i++) {
        const BlockInfoItem item = FtlRecordAt<BlockInfoItem>(block_info, i);
        if (item.IsDataBlock()) {
            info_count += item.ValidPageCnt();
        }
    }

    // FTL_BLOCK_CNT stands for a channel without a current blank block.
    u32 cur_blank_block[kFtlChannelNum];
    for (u32 layer = 0; layer < FTL_LAYER_CNT; layer++) {
        for (u32 ch = 0; ch < FTL_CHAN_CNT; ch++) {
            const u32 c = FtlChannelIndex(layer, ch);
            cur_blank_block[c] = FTL_BLOCK_CNT;
            const CurBlankEntry cur = FtlRecordAt<CurBlankEntry>(cur_blank, c);
            if (!cur.IsValid()) {
                continue;
            }
            const u32 block = cur.CurBlankBlock();
            cur_blank_block[c] = block;
            const BlockInfoItem item = FtlRecordAt<BlockInfoItem>(block_info, FtlBlockIndex(layer, ch, block));
            if (item.IsFreeBlock()) {
                info_count += item.ValidPageCnt();
                continue;
            }
            // No line break: the next report follows on the same line.
            AppendFormat(out,
                         "Cur Blank Block [Layer:%02u  Ch:%02u  Block:%04u] not marked Free Block In Block Info Table",
                         layer, ch, block);
            if (++errors >= max_errors) {
                return false;
            }
        }
    }

    if (map_count != info_count) {
        AppendFormat(out, "Valid Page Count L2P:%08Xh != BLK_INFO:%08Xh\n", map_count, info_count);
        if (++errors >= max_errors) {
            return false;
        }
    }

    struct Half {
        const char* invalid;
        const char* occupied;
        const char* flag_error;
    };
    const Half halves[2] = {
        {"Invalid Even Page, Pos[%08Xh]\n",
         "L2P(Even) Occupied, L2P Pos:%08X  Layer:%02u  Ch:%02u  Block:%04u Page:%02u\n",
         "Valid Page Flag(Even) Error, L2P Pos:%08Xh  Layer:%02u  Ch:%02u  Block:%04u Page:%02u\n"},
        {"Invalid Odd Page, Pos[%08Xh]\n",
         "L2P(Odd)  Occupied, L2P Pos:%08X  Layer:%02u  Ch:%02u  Block:%04u Page:%02u\n",
         "Valid Page Flag(Odd)  Error, L2P Pos:%08Xh  Layer:%02u  Ch:%02u  Block:%04u Page:%02u\n"},
    };
    for (u32 i = 0; i < entry_num; i++) {
        const L2pEntry e = FtlRecordAt<L2pEntry>(l2p, i);
        const u32 pos = i * static_cast<u32>(sizeof(L2pEntry));
        for (u32 h = 0; h < 2; h++) {
            const bool valid = h == 0 ? e.IsEvenValid() : e.IsOddValid();
            const Pbn pbn = h == 0 ? e.Even() : e.Odd();
            const u32 layer = pbn.Layer();
            const u32 ch = pbn.Channel();
            const u32 block = pbn.Block();
            const u32 page = pbn.Page();
            if (!valid) {
                AppendFormat(out, halves[h].invalid, pos);
            } else {
                const u32 b = FtlBlockIndex(layer, ch, block);
                const BlockInfoItem item = FtlRecordAt<BlockInfoItem>(block_info, b);
                const bool mapped = (item.IsDataBlock() && item.IsPageValid(page)) ||
                                    (block == cur_blank_block[FtlChannelIndex(layer, ch)] && item.IsFreeBlock());
                const u64 bit = u64(1) << page;
                if (!mapped) {
                    AppendFormat(out, halves[h].flag_error, pos, layer, ch, block, page);
                } else if (occupied_word[b] & bit) {
                    AppendFormat(out, halves[h].occupied, pos, layer, ch, block, page);
                } else {
                    occupied_word[b] |= bit;
                    continue;
                }
            }
            if (++errors >= max_errors) {
                return false;
            }
        }
    }
    return errors == 0;
}

void CheckLayoutWords(u32 byte_order_word, u32 bit_field_word)
{
    if (byte_order_word != 0x12345678u) {
        throw std::runtime_error("Little Endian not match");
    }
    if (bit_field_word != 0xFFF0C3A5u) {
        throw std::runtime_error("Bit Field Not Match");
    }
}

void CheckHostLayout()
{
    const u8 bytes[4] = {0x78, 0x56, 0x34, 0x12};
    u32 byte_order_word;
    memcpy(&byte_order_word, bytes, sizeof(byte_order_word));

    struct Fields {
        u32 first : 1;
        u32 second : 10;
        u32 third : 21;
    };
    static_assert(sizeof(Fields) == 4, "three bit fields in one u32");
    Fields f;
    f.first = 1;
    f.second = 0x1D2;
    f.third = 0x1FFE18;
    u32 bit_field_word;
    memcpy(&bit_field_word, &f, sizeof(bit_field_word));

    CheckLayoutWords(byte_order_word, bit_field_word);
}

namespace {

// One hook per record; none has work to do yet.
void BlockInfoItemHook() {}
void L2pEntryHook() {}
void PbnHook() {}
void ChainHeadTailHook() {}
void ChainLinkHook() {}
void EraseBaseStatusHook() {}
void CurBlankEntryHook() {}

}  // namespace

void RunFtlRecordHooks()
{
    BlockInfoItemHook();
    L2pEntryHook();
    PbnHook();
    ChainHeadTailHook();
    ChainLinkHook();
    EraseBaseStatusHook();
    CurBlankEntryHook();
}

bool LoadPendLbaList(std::vector<u32>& dst, const u8* data, u32 len)
{
    if (data == nullptr || len == 0 || len % 512 != 0) {
        return false;
    }
    for (u32 off = 0; off + 4 <= len; off += 4) {
        const u32 lba = ReadBe32(data + off);
        if (lba == 0xFFFFFFFFu) {
            break;
        }
        dst.push_back(lba);
    }
    return true;
}

bool ParsePendListTable(std::string& out, const u8* data, u32 len, u32 indent)
{
    std::vector<u32> lbas;
    if (!LoadPendLbaList(lbas, data, len)) {
        return false;
    }
    return PrintPendLbaList(out, lbas, indent, nullptr);
}
