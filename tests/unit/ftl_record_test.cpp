// Flash translation layer records and checks. Records are built here bit by bit from
// the field positions (not through the record code), and the tables are addressed
// here on their own, so a wrong shift or index in the records shows up as a mismatch.
// Full-size tables come from calloc: untouched pages stay unbacked, which keeps the
// memory of the 150 MB map table small unless a test fills it.
#include <gtest/gtest.h>

#include "case_names.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk_cmnd.h"
#include "ftl_record.h"

namespace {

const char kEarlier[] = "earlier text\n";

struct Field {
    unsigned first;
    unsigned width;
};

// BlockInfoItem
const Field kFlagLow{0, 32};
const Field kPageCnt{32, 7};
const Field kErrType{39, 7};
const Field kDecNum{46, 4};
const Field kInitBad{54, 1};
const Field kSysBlock{55, 1};
const Field kFlagHigh{64, 32};
const Field kFreeFlag{96, 1};
const Field kEraseCnt{97, 21};
// L2pEntry
const Field kEven{0, 26};
const Field kOdd{26, 26};
// ChainHeadTail, ChainLink
const Field kHead{0, 13};
const Field kTail{13, 13};
const Field kFront{0, 13};
const Field kNext{13, 13};
// EraseBaseStatus, CurBlankEntry
const Field kEraseBase{0, 11};
const Field kCurBlank{32, 13};

void Put(u8* rec, Field f, u64 value)
{
    for (unsigned k = 0; k < f.width; k++) {
        const unsigned n = f.first + k;
        const u8 mask = static_cast<u8>(1u << (n % 8));
        if ((value >> k) & 1) {
            rec[n / 8] |= mask;
        } else {
            rec[n / 8] &= static_cast<u8>(~mask);
        }
    }
}

u32 PbnOf(u32 layer, u32 ch, u32 block, u32 page)
{
    return page | block << 6 | ch << 19 | layer << 23;
}

template <typename R>
R Rec(const u8* p)
{
    R r;
    memcpy(&r, p, sizeof(r));
    return r;
}

// A zero-filled table of a given length.
class Table {
public:
    explicit Table(size_t len) : len_(len), data_(static_cast<u8*>(calloc(len, 1))) {}
    ~Table() { free(data_); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    u8* data() const { return data_; }
    u32 len() const { return static_cast<u32>(len_); }

private:
    size_t len_;
    u8* data_;
};

size_t BlockOrdinal(u32 layer, u32 ch, u32 block)
{
    return (static_cast<size_t>(layer) * 16 + ch) * 8192 + block;
}

// ---- record fields ------------------------------------------------------------------

struct FieldCase {
    const char* what;
    unsigned size;
    Field field;
    u64 (*read)(const u8*);
};

void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.what; }

class RecordField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(RecordField, ReadsExactlyItsBits)
{
    const FieldCase& c = GetParam();
    const u64 ones = c.field.width == 64 ? ~u64(0) : (u64(1) << c.field.width) - 1;
    const u64 values[] = {0, 1, ones, ones & 0x5555555555555555ull, ones & 0xAAAAAAAAAAAAAAAAull};
    for (u8 background : {u8(0x00), u8(0xFF)}) {
        for (u64 v : values) {
            u8 rec[16];
            memset(rec, background, sizeof(rec));
            Put(rec, c.field, v);
            EXPECT_EQ(c.read(rec), v) << "background " << unsigned(background) << " value " << v;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RecordField,
    ::testing::Values(
        FieldCase{"BlockInfoItem ValidPageFlagLow", 16, kFlagLow,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).ValidPageFlagLow(); }},
        FieldCase{"BlockInfoItem ValidPageCnt", 16, kPageCnt,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).ValidPageCnt(); }},
        FieldCase{"BlockInfoItem ErrType", 16, kErrType,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).ErrType(); }},
        FieldCase{"BlockInfoItem DecNum", 16, kDecNum,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).DecNum(); }},
        FieldCase{"BlockInfoItem InitBadFlag", 16, kInitBad,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).InitBadFlag(); }},
        FieldCase{"BlockInfoItem SysBlockFlag", 16, kSysBlock,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).SysBlockFlag(); }},
        FieldCase{"BlockInfoItem ValidPageFlagHigh", 16, kFlagHigh,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).ValidPageFlagHigh(); }},
        FieldCase{"BlockInfoItem FreeBlockFlag", 16, kFreeFlag,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).FreeBlockFlag(); }},
        FieldCase{"BlockInfoItem EraseCnt", 16, kEraseCnt,
                  [](const u8* p) -> u64 { return Rec<BlockInfoItem>(p).EraseCnt(); }},
        FieldCase{"L2pEntry Even", 8, kEven, [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Even().value; }},
        FieldCase{"L2pEntry Odd", 8, kOdd, [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Odd().value; }},
        // the Pbn fields, seen through both halves of a map entry
        FieldCase{"L2pEntry Even Page", 8, {0, 6}, [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Even().Page(); }},
        FieldCase{"L2pEntry Even Block", 8, {6, 13},
                  [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Even().Block(); }},
        FieldCase{"L2pEntry Even Channel", 8, {19, 4},
                  [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Even().Channel(); }},
        FieldCase{"L2pEntry Even Layer", 8, {23, 3},
                  [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Even().Layer(); }},
        FieldCase{"L2pEntry Odd Page", 8, {26, 6}, [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Odd().Page(); }},
        FieldCase{"L2pEntry Odd Block", 8, {32, 13}, [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Odd().Block(); }},
        FieldCase{"L2pEntry Odd Channel", 8, {45, 4},
                  [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Odd().Channel(); }},
        FieldCase{"L2pEntry Odd Layer", 8, {49, 3}, [](const u8* p) -> u64 { return Rec<L2pEntry>(p).Odd().Layer(); }},
        FieldCase{"ChainHeadTail Head", 8, kHead, [](const u8* p) -> u64 { return Rec<ChainHeadTail>(p).Head(); }},
        FieldCase{"ChainHeadTail Tail", 8, kTail, [](const u8* p) -> u64 { return Rec<ChainHeadTail>(p).Tail(); }},
        FieldCase{"ChainLink FrontPtr", 8, kFront, [](const u8* p) -> u64 { return Rec<ChainLink>(p).FrontPtr(); }},
        FieldCase{"ChainLink NextBlock", 8, kNext, [](const u8* p) -> u64 { return Rec<ChainLink>(p).NextBlock(); }},
        FieldCase{"EraseBaseStatus EraseBase", 16, kEraseBase,
                  [](const u8* p) -> u64 { return Rec<EraseBaseStatus>(p).EraseBase(); }},
        FieldCase{"CurBlankEntry CurBlankBlock", 8, kCurBlank,
                  [](const u8* p) -> u64 { return Rec<CurBlankEntry>(p).CurBlankBlock(); }}),
    CaseName());

// ---- chain status bits --------------------------------------------------------------

enum StatusKind { kBlank, kData, kInfo };

bool StatusOf(const EraseBaseStatus& s, StatusKind kind, u32 index)
{
    switch (kind) {
    case kBlank:
        return s.BlankChainStatus(index);
    case kData:
        return s.DataChainStatus(index);
    case kInfo:
        break;
    }
    return s.BlockInfoChainStatus(index);
}

struct StatusCase {
    StatusKind kind;
    u32 index;
    unsigned bit;
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << (c.kind == kBlank ? "blank" : c.kind == kData ? "data" : "block info") << " chain " << c.index;
}

class ChainStatusBit : public ::testing::TestWithParam<StatusCase> {};

// One bit names one chain: set alone it shows in that chain only, cleared alone it is
// missing there only.
TEST_P(ChainStatusBit, OneBitOneChain)
{
    const StatusCase& c = GetParam();
    for (bool alone : {true, false}) {
        u8 rec[16];
        memset(rec, alone ? 0x00 : 0xFF, sizeof(rec));
        Put(rec, {c.bit, 1}, alone ? 1 : 0);
        const EraseBaseStatus s = Rec<EraseBaseStatus>(rec);
        const struct {
            StatusKind kind;
            u32 count;
        } kinds[] = {{kBlank, 8}, {kData, 8}, {kInfo, 65}};
        for (const auto& k : kinds) {
            for (u32 i = 0; i < k.count; i++) {
                const bool named = k.kind == c.kind && i == c.index;
                EXPECT_EQ(StatusOf(s, k.kind, i), named == alone) << "kind " << k.kind << " index " << i;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bits, ChainStatusBit,
                         ::testing::Values(StatusCase{kBlank, 0, 11}, StatusCase{kBlank, 7, 18},
                                           StatusCase{kData, 0, 19}, StatusCase{kData, 7, 26},
                                           StatusCase{kInfo, 0, 96}, StatusCase{kInfo, 15, 111},
                                           StatusCase{kInfo, 16, 64}, StatusCase{kInfo, 47, 95},
                                           StatusCase{kInfo, 48, 32}, StatusCase{kInfo, 64, 48}),
                         CaseName());

// ---- throwing accessors -------------------------------------------------------------

struct ThrowCase {
    const char* call_text;
    std::function<void()> call;
    const char* what;
};

void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.call_text; }

class RecordThrows : public ::testing::TestWithParam<ThrowCase> {};

TEST_P(RecordThrows, OutsideTheField)
{
    try {
        GetParam().call();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), GetParam().what);
    }
}

const BlockInfoItem kAllOnesInfo = Rec<BlockInfoItem>(std::vector<u8>(16, 0xFF).data());
const EraseBaseStatus kAllOnesStatus = Rec<EraseBaseStatus>(std::vector<u8>(16, 0xFF).data());

INSTANTIATE_TEST_SUITE_P(
    Limits, RecordThrows,
    ::testing::Values(ThrowCase{"kAllOnesInfo.IsPageValid(64)", [] { kAllOnesInfo.IsPageValid(64); },
                                "Block Info Table's page number is greater than 64"},
                      ThrowCase{"kAllOnesInfo.IsPageValid(0xFFFFFFFF)", [] { kAllOnesInfo.IsPageValid(0xFFFFFFFF); },
                                "Block Info Table's page number is greater than 64"},
                      ThrowCase{"kAllOnesStatus.BlankChainStatus(8)",
                                [] { kAllOnesStatus.BlankChainStatus(8); }, "Blank Erase Chain Index Overflow"},
                      ThrowCase{"kAllOnesStatus.DataChainStatus(8)",
                                [] { kAllOnesStatus.DataChainStatus(8); }, "Data Erase Chain Index Overflow"},
                      ThrowCase{"kAllOnesStatus.DataChainStatus(0x80000000)",
                                [] { kAllOnesStatus.DataChainStatus(0x80000000); }, "Data Erase Chain Index Overflow"},
                      ThrowCase{"kAllOnesStatus.BlockInfoChainStatus(65)",
                                [] { kAllOnesStatus.BlockInfoChainStatus(65); }, "Block Info Chain Index Overflow"},
                      ThrowCase{"kAllOnesStatus.BlockInfoChainStatus(0xFFFFFFFF)",
                                [] { kAllOnesStatus.BlockInfoChainStatus(0xFFFFFFFF); },
                                "Block Info Chain Index Overflow"}),
    CaseName());

// ---- block info rules ---------------------------------------------------------------

struct PageCase {
    u32 page;
    unsigned bit;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << "page " << c.page; }

class PageValid : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageValid, ReadsItsFlagBit)
{
    const PageCase& c = GetParam();
    u8 rec[16] = {};
    Put(rec, {c.bit, 1}, 1);
    const BlockInfoItem item = Rec<BlockInfoItem>(rec);
    for (u32 p = 0; p < 64; p++) {
        EXPECT_EQ(item.IsPageValid(p), p == c.page) << "page " << p;
    }
    memset(rec, 0xFF, sizeof(rec));
    Put(rec, {c.bit, 1}, 0);
    EXPECT_FALSE(Rec<BlockInfoItem>(rec).IsPageValid(c.page));
}

INSTANTIATE_TEST_SUITE_P(Pages, PageValid,
                         ::testing::Values(PageCase{0, 0}, PageCase{31, 31}, PageCase{32, 64}, PageCase{63, 95}),
                         CaseName());

struct LevelCase {
    u32 erase_cnt;
    u32 base;
    u32 level;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << "erase count " << c.erase_cnt << " base " << c.base; }

class EraseLevel : public ::testing::TestWithParam<LevelCase> {};

TEST_P(EraseLevel, ClampedUnsignedDifference)
{
    const LevelCase& c = GetParam();
    u8 rec[16];
    memset(rec, 0xFF, sizeof(rec));
    Put(rec, kEraseCnt, c.erase_cnt);
    EXPECT_EQ(Rec<BlockInfoItem>(rec).CalcLevel(c.base), c.level);
}

INSTANTIATE_TEST_SUITE_P(Levels, EraseLevel,
                         ::testing::Values(LevelCase{2048, 3, 7},  // 2 - 3 wraps
                                           LevelCase{5120, 3, 2}, LevelCase{3072, 3, 0}, LevelCase{1023, 0, 0},
                                           LevelCase{6 * 1024 + 1023, 0, 6}, LevelCase{8 * 1024, 0, 7},
                                           LevelCase{0x1FFFFF, 2040, 7}, LevelCase{0x1FFFFF, 2047, 0},
                                           LevelCase{0, 0xFFFFFFFF, 1}),
                         CaseName());

struct SelfCheckCase {
    u32 flag_low;
    u32 flag_high;
    u32 count;
    u32 calced;
    bool ok;
};

void PrintTo(const SelfCheckCase& c, std::ostream* os)
{
    *os << std::hex << "flags " << c.flag_high << "h " << c.flag_low << "h" << std::dec << " count " << c.count
        << " calculated " << c.calced;
}

class BlockInfoSelfCheck : public ::testing::TestWithParam<SelfCheckCase> {};

TEST_P(BlockInfoSelfCheck, CountAgainstBothFlagWords)
{
    const SelfCheckCase& c = GetParam();
    u8 rec[16];
    memset(rec, 0xFF, sizeof(rec));
    Put(rec, kFlagLow, c.flag_low);
    Put(rec, kFlagHigh, c.flag_high);
    Put(rec, kPageCnt, c.count);
    const BlockInfoItem item = Rec<BlockInfoItem>(rec);
    EXPECT_EQ(item.CalcValidPageCnt(), c.calced);
    EXPECT_EQ(item.SelfCheck(), c.ok);
}

INSTANTIATE_TEST_SUITE_P(Counts, BlockInfoSelfCheck,
                         ::testing::Values(SelfCheckCase{0, 0, 0, 0, true},
                                           SelfCheckCase{0x0000000F, 0x80000000, 5, 5, true},
                                           SelfCheckCase{0x0000000F, 0x80000000, 4, 5, false},
                                           SelfCheckCase{0xFFFFFFFF, 0xFFFFFFFF, 64, 64, true},
                                           SelfCheckCase{0xFFFFFFFF, 0, 64, 32, false}),
                         CaseName());

struct KindCase {
    Field field;
    u64 value;
    bool free_flag;
    bool is_free;
    bool is_data;
};

void PrintTo(const KindCase& c, std::ostream* os)
{
    *os << "bits " << c.field.first << " to " << c.field.first + c.field.width - 1 << " = " << c.value
        << (c.free_flag ? " free" : "");
}

class BlockKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(BlockKind, FourFieldsAndTheFreeFlag)
{
    const KindCase& c = GetParam();
    u8 rec[16] = {};
    // flags, count and erase count play no part
    Put(rec, kFlagLow, 0xFFFFFFFF);
    Put(rec, kPageCnt, 0x7F);
    Put(rec, kEraseCnt, 0x1FFFFF);
    Put(rec, kFreeFlag, c.free_flag);
    Put(rec, c.field, c.value);
    const BlockInfoItem item = Rec<BlockInfoItem>(rec);
    EXPECT_EQ(item.IsFreeBlock(), c.is_free);
    EXPECT_EQ(item.IsDataBlock(), c.is_data);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BlockKind,
                         ::testing::Values(KindCase{kErrType, 0, false, false, true},
                                           KindCase{kErrType, 0, true, true, false},
                                           KindCase{kErrType, 0x40, false, false, false},
                                           KindCase{kErrType, 1, true, false, false},
                                           KindCase{kDecNum, 8, false, false, false},
                                           KindCase{kDecNum, 1, true, false, false},
                                           KindCase{kInitBad, 1, false, false, false},
                                           KindCase{kSysBlock, 1, true, false, false},
                                           // bits 50 to 53 are not interpreted
                                           KindCase{{50, 4}, 0xF, true, true, false}),
                         CaseName());

// ---- small record rules -------------------------------------------------------------

TEST(L2pEntry, HalfValidAboveBlockThree)
{
    const struct {
        u32 even_block;
        u32 odd_block;
        bool even;
        bool odd;
    } cases[] = {{3, 4, false, true}, {4, 3, true, false}, {0, 8191, false, true}, {8191, 0, true, false}};
    for (const auto& c : cases) {
        u8 rec[8];
        memset(rec, 0xFF, sizeof(rec));  // page, channel and layer all ones
        Put(rec, {6, 13}, c.even_block);
        Put(rec, {32, 13}, c.odd_block);
        const L2pEntry e = Rec<L2pEntry>(rec);
        EXPECT_EQ(e.IsEvenValid(), c.even) << c.even_block;
        EXPECT_EQ(e.IsOddValid(), c.odd) << c.odd_block;
    }
}

TEST(ChainHeadTail, SetWhenBothEndsNonZero)
{
    const struct {
        u32 head;
        u32 tail;
        bool set;
    } cases[] = {{0, 0, false}, {0, 5, false}, {5, 0, false}, {1, 1, true}, {8191, 4096, true}};
    for (const auto& c : cases) {
        u8 rec[8];
        memset(rec, 0xFF, sizeof(rec));
        Put(rec, kHead, c.head);
        Put(rec, kTail, c.tail);
        EXPECT_EQ(Rec<ChainHeadTail>(rec).IsValid(), c.set) << c.head << " " << c.tail;
    }
}

TEST(CurBlankEntry, SetByItsBlockFieldOnly)
{
    u8 rec[8];
    memset(rec, 0xFF, sizeof(rec));
    Put(rec, kCurBlank, 0);
    EXPECT_FALSE(Rec<CurBlankEntry>(rec).IsValid());
    memset(rec, 0, sizeof(rec));
    Put(rec, kCurBlank, 1);
    EXPECT_TRUE(Rec<CurBlankEntry>(rec).IsValid());
}

TEST(FtlGeometry, AddressingAndTableLengths)
{
    EXPECT_EQ(FtlChannelIndex(0, 0), 0u);
    EXPECT_EQ(FtlChannelIndex(1, 0), 16u);
    EXPECT_EQ(FtlChannelIndex(7, 15), 127u);
    EXPECT_EQ(FtlBlockIndex(1, 2, 3), 18u * 8192 + 3);
    EXPECT_EQ(FtlBlockIndex(7, 15, 8191), 0xFFFFFu);
    EXPECT_EQ(FtlChainEntryIndex(1, 2, 80), 18u * 128 + 80);
    EXPECT_EQ(FtlChainEntryIndex(7, 15, 127), 0x3FFFu);
    // the checks judge the tables against the lengths the command types read
    EXPECT_EQ(kBlockInfoTableLen, LenBlockInfoTable());
    EXPECT_EQ(kChainLinkTableLen, LenBlockInfoChainTable());
    EXPECT_EQ(kChainHeadTailTableLen, LenChainHeadTailPtrTbl());
    EXPECT_EQ(kEraseBaseStatusTableLen, LenEraseBaseStatusTbl());
    EXPECT_EQ(kCurBlankTableLen, LenCurBlankBlockTable());
    EXPECT_EQ(LenL2pTable() % sizeof(L2pEntry), 0u);
}

// ---- formatters ---------------------------------------------------------------------

TEST(AppendFormat, AppendsAtMost1023Characters)
{
    std::string out = kEarlier;
    std::string& same = AppendFormat(out, "%s=%04X;", "key", 0xBEEFu);
    EXPECT_EQ(&same, &out);
    EXPECT_EQ(out, std::string(kEarlier) + "key=BEEF;");
    out.clear();
    AppendFormat(out, "%s", std::string(2000, 'x').c_str());
    EXPECT_EQ(out, std::string(1023, 'x'));
}

struct LineCase {
    u32 even;
    u32 odd;
    u8 info_fill;
    std::vector<std::pair<Field, u64>> info;
    const char* want;
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << std::hex << "even " << c.even << "h odd " << c.odd << "h fill " << unsigned(c.info_fill) << "h";
}

class L2pBlockInfoLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(L2pBlockInfoLine, Golden)
{
    const LineCase& c = GetParam();
    u8 entry[8] = {};
    Put(entry, kEven, c.even);
    Put(entry, kOdd, c.odd);
    u8 info[16];
    memset(info, c.info_fill, sizeof(info));
    for (const auto& f : c.info) {
        Put(info, f.first, f.second);
    }
    char buf[kL2pBlockInfoTextLen];
    const u32 n = FormatL2pBlockInfo(buf, Rec<L2pEntry>(entry), Rec<BlockInfoItem>(info));
    EXPECT_STREQ(buf, c.want);
    EXPECT_EQ(n, strlen(c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, L2pBlockInfoLine,
    ::testing::Values(
        LineCase{PbnOf(5, 12, 1234, 7),
                 PbnOf(0, 3, 8191, 63),
                 0,
                 {{kFlagLow, 0x23456789}, {kFlagHigh, 0xABCDEF01}, {kPageCnt, 9}, {kErrType, 0x7F}, {kDecNum, 0xA},
                  {kInitBad, 1}, {kFreeFlag, 1}, {kEraseCnt, 0x1ABCDE}},
                 "L2P PBN(Even), layer=5, ch=12, block=1234, page=07; L2P PBN(Odd), layer=0, ch=03, block=8191, "
                 "page=63; Block Info Item, Valid Page Flag=abcdef0123456789h, Valid Page Cnt=09, Err Type=7Fh, "
                 "Dec Num=Ah, Init Bad Flag=1, Sys Block Flag=0, Free Block Flag=1, Erase Cnt=1ABCDEh"},
        // every field at its widest
        LineCase{0x3FFFFFF, 0x3FFFFFF, 0xFF, {},
                 "L2P PBN(Even), layer=7, ch=15, block=8191, page=63; L2P PBN(Odd), layer=7, ch=15, block=8191, "
                 "page=63; Block Info Item, Valid Page Flag=ffffffffFFFFFFFFh, Valid Page Cnt=127, Err Type=7Fh, "
                 "Dec Num=Fh, Init Bad Flag=1, Sys Block Flag=1, Free Block Flag=1, Erase Cnt=1FFFFFh"},
        LineCase{0, 0, 0, {},
                 "L2P PBN(Even), layer=0, ch=00, block=0000, page=00; L2P PBN(Odd), layer=0, ch=00, block=0000, "
                 "page=00; Block Info Item, Valid Page Flag=0000000000000000h, Valid Page Cnt=00, Err Type=00h, "
                 "Dec Num=0h, Init Bad Flag=0, Sys Block Flag=0, Free Block Flag=0, Erase Cnt=000000h"}),
    CaseName());

// ---- host layout --------------------------------------------------------------------

TEST(HostLayout, ThisHostMatches)
{
    EXPECT_NO_THROW(CheckHostLayout());
    EXPECT_NO_THROW(RunFtlRecordHooks());
}

struct LayoutCase {
    u32 byte_order;
    u32 bit_field;
    const char* what;  // nullptr: accepted
};

void PrintTo(const LayoutCase& c, std::ostream* os)
{
    *os << std::hex << "order " << c.byte_order << "h bits " << c.bit_field << "h";
}

class LayoutWords : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutWords, Judged)
{
    const LayoutCase& c = GetParam();
    if (c.what == nullptr) {
        EXPECT_NO_THROW(CheckLayoutWords(c.byte_order, c.bit_field));
        return;
    }
    try {
        CheckLayoutWords(c.byte_order, c.bit_field);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), c.what);
    }
}

INSTANTIATE_TEST_SUITE_P(Words, LayoutWords,
                         ::testing::Values(LayoutCase{0x12345678, 0xFFF0C3A5, nullptr},
                                           LayoutCase{0x78563412, 0xFFF0C3A5, "Little Endian not match"},
                                           // fields allocated from the top: 1 in bit 31, 1D2h below it, ...
                                           LayoutCase{0x12345678, 0xBA5FFE18, "Bit Field Not Match"},
                                           LayoutCase{0x78563412, 0, "Little Endian not match"}),
                         CaseName());

// ---- block info table check ---------------------------------------------------------

void SetItem(const Table& t, size_t ordinal, u32 flag_low, u32 flag_high, u32 count)
{
    u8* rec = t.data() + ordinal * 16;
    Put(rec, kFlagLow, flag_low);
    Put(rec, kFlagHigh, flag_high);
    Put(rec, kPageCnt, count);
}

struct BlockInfoCheckCase {
    u32 max_errors;
    std::string want;
};

void PrintTo(const BlockInfoCheckCase& c, std::ostream* os) { *os << "at most " << c.max_errors << " errors"; }

class BlockInfoTableCheck : public ::testing::TestWithParam<BlockInfoCheckCase> {};

TEST_P(BlockInfoTableCheck, ReportsInTableOrder)
{
    const BlockInfoCheckCase& c = GetParam();
    Table t(0x1000000);
    ASSERT_NE(t.data(), nullptr);
    SetItem(t, 5, 0x0000000F, 0x80000000, 4);
    SetItem(t, 6, 0x0000000F, 0x80000000, 5);  // consistent
    Put(t.data() + 6 * 16 + 6, {0, 16}, 0xFFFF);  // with other fields set
    SetItem(t, 0xFFFFF, 0, 0, 127);              // the last item
    std::string out = kEarlier;
    EXPECT_FALSE(CheckBlockInfoTable(t.data(), t.len(), out, c.max_errors));
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

const char kSelfCheckFirst[] =
    "Block Info Table, Self Check Fail, Err Pos : 00000050h  flag_low:0000000Fh  flag_high:80000000h  count:04  "
    "calced:05\n";
const char kSelfCheckLast[] =
    "Block Info Table, Self Check Fail, Err Pos : 00FFFFF0h  flag_low:00000000h  flag_high:00000000h  count:127  "
    "calced:00\n";

INSTANTIATE_TEST_SUITE_P(Limits, BlockInfoTableCheck,
                         ::testing::Values(BlockInfoCheckCase{10, std::string(kSelfCheckFirst) + kSelfCheckLast},
                                           BlockInfoCheckCase{2, std::string(kSelfCheckFirst) + kSelfCheckLast},
                                           BlockInfoCheckCase{1, kSelfCheckFirst},
                                           BlockInfoCheckCase{0, kSelfCheckFirst}),
                         CaseName());

TEST(BlockInfoTableCheck, ConsistentTablePasses)
{
    Table t(0x1000000);
    ASSERT_NE(t.data(), nullptr);
    SetItem(t, 0, 0xFFFFFFFF, 0xFFFFFFFF, 64);
    SetItem(t, 0xFFFFF, 0x00010000, 0x00000001, 2);
    std::string out = kEarlier;
    EXPECT_TRUE(CheckBlockInfoTable(t.data(), t.len(), out, 10));
    EXPECT_EQ(out, kEarlier);
}

TEST(BlockInfoTableCheck, RefusesOtherLengths)
{
    Table t(0x1000010);
    ASSERT_NE(t.data(), nullptr);
    SetItem(t, 0, 0, 0, 1);
    std::string out = kEarlier;
    EXPECT_FALSE(CheckBlockInfoTable(t.data(), 0xFFFFFF, out, 10));
    EXPECT_FALSE(CheckBlockInfoTable(t.data(), 0x1000010, out, 10));
    EXPECT_FALSE(CheckBlockInfoTable(t.data(), 0, out, 10));
    EXPECT_FALSE(CheckBlockInfoTable(nullptr, 0x1000000, out, 10));
    EXPECT_EQ(out, kEarlier);
}

// ---- chain check --------------------------------------------------------------------

class ChainTables {
public:
    explicit ChainTables(size_t slack = 0)
        : status_(0x800 + slack), head_tail_(0x20000 + slack), links_(0x800000 + slack), info_(0x1000000 + slack)
    {
    }

    bool Allocated() const
    {
        return status_.data() != nullptr && head_tail_.data() != nullptr && links_.data() != nullptr &&
               info_.data() != nullptr;
    }

    void Status(u32 layer, u32 ch, unsigned bit, bool on = true) { Put(StatusRec(layer, ch), {bit, 1}, on); }
    void Base(u32 layer, u32 ch, u32 base) { Put(StatusRec(layer, ch), kEraseBase, base); }
    void HeadTail(u32 layer, u32 ch, u32 entry, u32 head, u32 tail)
    {
        u8* rec = head_tail_.data() + ((static_cast<size_t>(layer) * 16 + ch) * 128 + entry) * 8;
        Put(rec, kHead, head);
        Put(rec, kTail, tail);
    }
    void Front(u32 layer, u32 ch, u32 block, u32 front)
    {
        Put(links_.data() + BlockOrdinal(layer, ch, block) * 8, kFront, front);
    }
    void Next(u32 layer, u32 ch, u32 block, u32 next)
    {
        Put(links_.data() + BlockOrdinal(layer, ch, block) * 8, kNext, next);
    }
    // Links the blocks in order and lets the block after the last point back to it.
    void Chain(u32 layer, u32 ch, const std::vector<u32>& blocks, u32 after_last)
    {
        for (size_t k = 0; k + 1 < blocks.size(); k++) {
            Next(layer, ch, blocks[k], blocks[k + 1]);
            Front(layer, ch, blocks[k + 1], blocks[k]);
        }
        Next(layer, ch, blocks.back(), after_last);
        Front(layer, ch, after_last, blocks.back());
    }
    void Info(u32 layer, u32 ch, u32 block, Field f, u64 v)
    {
        Put(info_.data() + BlockOrdinal(layer, ch, block) * 16, f, v);
    }

    bool Check(std::string& out, u32 max_errors, size_t shorten = 0, int null_table = -1) const
    {
        const Table* t[4] = {&status_, &head_tail_, &links_, &info_};
        const u8* p[4];
        u32 len[4];
        for (int k = 0; k < 4; k++) {
            p[k] = k == null_table ? nullptr : t[k]->data();
            len[k] = t[k]->len() - (k == null_table ? 0 : static_cast<u32>(shorten));
        }
        return CheckFtlChains(p[0], len[0], p[1], len[1], p[2], len[2], p[3], len[3], out, max_errors);
    }

private:
    u8* StatusRec(u32 layer, u32 ch) { return status_.data() + (layer * 16 + ch) * 16; }

    Table status_;
    Table head_tail_;
    Table links_;
    Table info_;
};

// Status bits by chain kind and level or index.
unsigned BlankBit(u32 level) { return 11 + level; }
unsigned DataBit(u32 level) { return 19 + level; }
unsigned InfoBit(u32 index) { return index < 16 ? 96 + index : index < 48 ? 64 + index - 16 : 32 + index - 48; }

void ConsistentChains(ChainTables& t)
{
    // Layer 0, channel 0, erase base 2: blank erase level 1 over blocks 10, 20, 30.
    t.Base(0, 0, 2);
    t.Status(0, 0, BlankBit(1));
    t.HeadTail(0, 0, 81, 10, 30);
    for (u32 b : {10u, 20u, 30u}) {
        t.Info(0, 0, b, kFreeFlag, 1);
        t.Info(0, 0, b, kEraseCnt, 3 * 1024 + 5);
    }
    t.Chain(0, 0, {10, 20, 30}, 40);
    // data erase level 0: block 50
    t.Status(0, 0, DataBit(0));
    t.HeadTail(0, 0, 72, 50, 50);
    t.Info(0, 0, 50, kEraseCnt, 2 * 1024);
    t.Chain(0, 0, {50}, 51);
    // block info chain 5: blocks 60, 61
    t.Status(0, 0, InfoBit(5));
    t.HeadTail(0, 0, 5, 60, 61);
    t.Info(0, 0, 60, kPageCnt, 5);
    t.Info(0, 0, 61, kPageCnt, 5);
    t.Chain(0, 0, {60, 61}, 62);
    // the last channel's last chain at the end of every table
    t.Status(7, 15, InfoBit(64));
    t.HeadTail(7, 15, 64, 8191, 8191);
    t.Info(7, 15, 8191, kPageCnt, 64);
    t.Chain(7, 15, {8191}, 8190);
}

TEST(FtlChainCheck, ConsistentChainsPass)
{
    ChainTables t;
    ASSERT_TRUE(t.Allocated());
    std::string out = kEarlier;
    EXPECT_TRUE(t.Check(out, 0));
    ConsistentChains(t);
    EXPECT_TRUE(t.Check(out, 0));
    EXPECT_EQ(out, kEarlier);
}

TEST(FtlChainCheck, RefusesShortOrMissingTables)
{
    ChainTables t(16);
    ASSERT_TRUE(t.Allocated());
    ConsistentChains(t);
    t.Status(3, 3, BlankBit(0));  // one error for the accepted lengths to find
    std::string out;
    for (int k = 0; k < 4; k++) {
        EXPECT_FALSE(t.Check(out, 10, 0, k)) << "null table " << k;
    }
    EXPECT_FALSE(t.Check(out, 10, 17));  // every table one byte short
    EXPECT_EQ(out, "");
    // longer tables are read up to their full length only
    EXPECT_FALSE(t.Check(out, 10, 16));
    EXPECT_FALSE(t.Check(out, 10, 0));
    const std::string once =
        "Blank Erase Chain, Layer[3] Ch[3] Index[0], Status[1] HeadPtr[0] TailPtr[0], HeadTailPtr not match Status\n";
    EXPECT_EQ(out, once + once);
}

struct ChainCase {
    const char* what;
    std::function<void(ChainTables&)> setup;
    u32 max_errors;
    std::string want;  // empty: the check passes
};

void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.what << " at most " << c.max_errors; }

class FtlChainReports : public ::testing::TestWithParam<ChainCase> {};

TEST_P(FtlChainReports, Golden)
{
    const ChainCase& c = GetParam();
    ChainTables t;
    ASSERT_TRUE(t.Allocated());
    c.setup(t);
    std::string out = kEarlier;
    EXPECT_EQ(t.Check(out, c.max_errors), c.want.empty());
    EXPECT_EQ(out, kEarlier + c.want);
}

void WrongKindsAndPositions(ChainTables& t)
{
    t.Base(0, 1, 1);
    // blank erase level 0: block 7 is a data block, block 8 sits at level 4,
    // and block 8 does not point back to 7
    t.Status(0, 1, BlankBit(0));
    t.HeadTail(0, 1, 80, 7, 8);
    t.Chain(0, 1, {7, 8}, 9);
    t.Front(0, 1, 8, 6);
    t.Info(0, 1, 8, kFreeFlag, 1);
    t.Info(0, 1, 8, kEraseCnt, 5 * 1024);
    // data erase level 6: erase count 0 under base 1 wraps to level 7
    t.Status(0, 1, DataBit(6));
    t.HeadTail(0, 1, 78, 110, 110);
    t.Chain(0, 1, {110}, 111);
    // data erase level 7: a free block
    t.Status(0, 1, DataBit(7));
    t.HeadTail(0, 1, 79, 100, 100);
    t.Info(0, 1, 100, kFreeFlag, 1);
    t.Info(0, 1, 100, kEraseCnt, 8 * 1024);
    t.Chain(0, 1, {100}, 101);
    // block info chain 20: a wrong count, then a block with an error type
    t.Status(0, 1, InfoBit(20));
    t.HeadTail(0, 1, 20, 200, 201);
    t.Info(0, 1, 200, kPageCnt, 21);
    t.Info(0, 1, 201, kErrType, 1);
    t.Chain(0, 1, {200, 201}, 202);
}

void StatusMismatches(ChainTables& t)
{
    // blank erase level 2 says set, its entry lacks a head; level 3 would mismatch too
    t.Status(1, 3, BlankBit(2));
    t.HeadTail(1, 3, 82, 0, 9);
    t.HeadTail(1, 3, 83, 4, 5);
    // data erase levels 0 and 1 are set without their status
    t.HeadTail(1, 3, 72, 5, 6);
    t.HeadTail(1, 3, 73, 5, 6);
    // block info chain 0 says set with an empty entry
    t.Status(1, 3, InfoBit(0));
    // the next channel is examined again
    t.HeadTail(1, 4, 80, 1, 1);
}

void OneBlockChain(ChainTables& t, u32 front_of_block0)
{
    t.Status(0, 0, InfoBit(3));
    t.HeadTail(0, 0, 3, 7, 7);
    t.Info(0, 0, 7, kPageCnt, 3);
    t.Front(0, 0, 0, front_of_block0);
}

void LoopingChain(ChainTables& t)
{
    t.Status(2, 5, DataBit(3));
    t.HeadTail(2, 5, 75, 10, 30);
    t.Info(2, 5, 10, kEraseCnt, 3 * 1024);
    t.Info(2, 5, 20, kEraseCnt, 3 * 1024);
    t.Chain(2, 5, {10, 20}, 10);
    t.Front(2, 5, 20, 10);
}

// Four status reports on four channels.
void FourMismatches(ChainTables& t)
{
    for (u32 ch = 0; ch < 4; ch++) {
        t.Status(0, ch, BlankBit(ch));
    }
}

std::string Mismatch(u32 ch)
{
    return "Blank Erase Chain, Layer[0] Ch[" + std::to_string(ch) + "] Index[" + std::to_string(ch) +
           "], Status[1] HeadPtr[0] TailPtr[0], HeadTailPtr not match Status\n";
}

const char kOneBlockFront[] =
    "Block Info Chain, Layer[0] Ch[0] Index[3], Block[7] NextBlk[0] NextFrontPtr[0], Next Block's Front Ptr Not "
    "Match Cur Block\n";

INSTANTIATE_TEST_SUITE_P(
    Chains, FtlChainReports,
    ::testing::Values(
        ChainCase{"wrong kinds and positions", WrongKindsAndPositions, 100,
                  "Blank Erase Chain, Layer[0] Ch[1] Index[0], Block[7], Not Free Block\n"
                  "Blank Erase Chain, Layer[0] Ch[1] Index[0], Block[7] NextBlk[8] NextFrontPtr[6], Next Block's "
                  "Front Ptr Not Match Cur Block\n"
                  "Blank Erase Chain, Layer[0] Ch[1] Index[0], Block[8] EraseCnt[5120] EraseBase[1] CalcLevel[4], "
                  "EraseCnt != CalcLevel\n"
                  "Data Erase Chain, Layer[0] Ch[1] Index[6], Block[110] EraseCnt[0] EraseBase[1] CalcLevel[7], "
                  "EraseCnt != CalcLevel\n"
                  "Data Erase Chain, Layer[0] Ch[1] Index[7], Block[100], Not Data Block\n"
                  "Block Info Chain, Layer[0] Ch[1] Index[20], Block[200] PageCnt[21], PageCnt != Index\n"
                  "Block Info Chain, Layer[0] Ch[1] Index[20], Block[201], Not Data Block\n"},
        ChainCase{"status mismatches", StatusMismatches, 100,
                  "Blank Erase Chain, Layer[1] Ch[3] Index[2], Status[1] HeadPtr[0] TailPtr[9], HeadTailPtr not "
                  "match Status\n"
                  "Data Erase Chain, Layer[1] Ch[3] Index[0], Status[0] HeadPtr[5] TailPtr[6], HeadTailPtr not "
                  "match Status\n"
                  "Block Info Chain, Layer[1] Ch[3] Index[0], Status[1] HeadPtr[0] TailPtr[0], HeadTailPtr not "
                  "match Status\n"
                  "Blank Erase Chain, Layer[1] Ch[4] Index[0], Status[0] HeadPtr[1] TailPtr[1], HeadTailPtr not "
                  "match Status\n"},
        // a one-block chain whose next pointer is 0: block 0 must point back
        ChainCase{"one block chain of block 0", [](ChainTables& t) { OneBlockChain(t, 0); }, 100, kOneBlockFront},
        ChainCase{"one block chain of block 7", [](ChainTables& t) { OneBlockChain(t, 7); }, 100, ""},
        ChainCase{"looping chain", LoopingChain, 100,
                  "Data Erase Chain, Layer[2] Ch[5] Index[3], HeadPtr[10] TailPtr[30], TailPtr Not Reached In 8192 "
                  "Blocks\n"},
        ChainCase{"four mismatches", FourMismatches, 0, Mismatch(0)},
        ChainCase{"four mismatches", FourMismatches, 1, Mismatch(0) + Mismatch(1)},
        ChainCase{"four mismatches", FourMismatches, 2, Mismatch(0) + Mismatch(1) + Mismatch(2)},
        ChainCase{"four mismatches", FourMismatches, 3, Mismatch(0) + Mismatch(1) + Mismatch(2) + Mismatch(3)},
        ChainCase{"four mismatches", FourMismatches, 100, Mismatch(0) + Mismatch(1) + Mismatch(2) + Mismatch(3)},
        // the limit also cuts a walk short
        ChainCase{"wrong kinds and positions", WrongKindsAndPositions, 1,
                  "Blank Erase Chain, Layer[0] Ch[1] Index[0], Block[7], Not Free Block\n"
                  "Blank Erase Chain, Layer[0] Ch[1] Index[0], Block[7] NextBlk[8] NextFrontPtr[6], Next Block's "
                  "Front Ptr Not Match Cur Block\n"}),
    CaseName());

// ---- map check ----------------------------------------------------------------------

const u32 kL2pLen = 0x9258000;
const u32 kL2pEntries = kL2pLen / 8;

class MapTables {
public:
    MapTables() : l2p_(kL2pLen), info_(0x1000000), cur_blank_(0x400) {}

    bool Allocated() const
    {
        return l2p_.data() != nullptr && info_.data() != nullptr && cur_blank_.data() != nullptr;
    }

    void Entry(u32 i, u32 even, u32 odd)
    {
        u64 v = static_cast<u64>(even) | static_cast<u64>(odd) << 26;
        for (unsigned k = 0; k < 8; k++) {
            l2p_.data()[static_cast<size_t>(i) * 8 + k] = static_cast<u8>(v >> (8 * k));
        }
    }
    void Info(u32 layer, u32 ch, u32 block, Field f, u64 v)
    {
        Put(info_.data() + BlockOrdinal(layer, ch, block) * 16, f, v);
    }
    void CurBlank(u32 layer, u32 ch, u32 block) { Put(cur_blank_.data() + (layer * 16 + ch) * 8, kCurBlank, block); }

    bool Check(std::string& out, u32 max_errors) const
    {
        return CheckL2pTable(l2p_.data(), l2p_.len(), info_.data(), info_.len(), cur_blank_.data(), cur_blank_.len(),
                             out, max_errors);
    }

    const Table& l2p() const { return l2p_; }
    const Table& info() const { return info_; }
    const Table& cur_blank() const { return cur_blank_; }

private:
    Table l2p_;
    Table info_;
    Table cur_blank_;
};

struct MapCase {
    const char* what;
    std::function<void(MapTables&)> setup;
    u32 max_errors;
    std::string want;
};

void PrintTo(const MapCase& c, std::ostream* os) { *os << c.what << " at most " << c.max_errors; }

class L2pTableReports : public ::testing::TestWithParam<MapCase> {};

// Every case leaves the rest of the map empty, so the first empty entry reports and the
// limit ends the check there.
TEST_P(L2pTableReports, Golden)
{
    const MapCase& c = GetParam();
    MapTables t;
    ASSERT_TRUE(t.Allocated());
    c.setup(t);
    std::string out = kEarlier;
    EXPECT_FALSE(t.Check(out, c.max_errors));
    EXPECT_EQ(out, kEarlier + c.want);
}

// Two halves on one page, then a third on it; a bad and a free block with counts that
// the block info sum leaves out.
void SharedPages(MapTables& t)
{
    t.Info(6, 13, 4100, kFlagLow, 1u << 5);
    t.Info(6, 13, 4100, kFlagHigh, 1u << 8);  // page 40
    t.Info(6, 13, 4100, kPageCnt, 2);
    t.Info(3, 2, 9, kErrType, 1);
    t.Info(3, 2, 9, kPageCnt, 9);
    t.Info(3, 2, 10, kFreeFlag, 1);
    t.Info(3, 2, 10, kPageCnt, 3);
    t.Entry(0, PbnOf(6, 13, 4100, 5), PbnOf(6, 13, 4100, 5));
    t.Entry(1, PbnOf(6, 13, 4100, 5), PbnOf(6, 13, 4100, 40));
}

const char kSharedCount[] = "Valid Page Count L2P:00000004h != BLK_INFO:00000002h\n";

// Pages the block info does not hold: an unflagged page of a data block, a free block
// that is not the current blank block, a flagged page of a system block.
void UnflaggedPages(MapTables& t)
{
    t.Info(1, 2, 4, kFlagLow, 3u << 6);
    t.Info(1, 2, 4, kPageCnt, 2);
    t.Info(1, 2, 5, kFreeFlag, 1);
    t.Info(1, 2, 6, kSysBlock, 1);
    t.Info(1, 2, 6, kFlagLow, 1);
    t.Info(1, 2, 6, kPageCnt, 1);
    t.Entry(0, PbnOf(1, 2, 4, 5), PbnOf(1, 2, 5, 0));
    t.Entry(1, PbnOf(1, 2, 6, 0), PbnOf(7, 15, 3, 63));  // block 3 is no valid half
}

// Channel (0, 1) writes into its current blank block; channel (2, 3) names one that the
// block info holds as a data block.
void CurrentBlankBlocks(MapTables& t)
{
    t.CurBlank(0, 1, 9);
    t.Info(0, 1, 9, kFreeFlag, 1);
    t.Info(0, 1, 9, kPageCnt, 2);
    t.CurBlank(2, 3, 17);
    t.Entry(0, PbnOf(0, 1, 9, 0), PbnOf(0, 1, 9, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Maps, L2pTableReports,
    ::testing::Values(
        MapCase{"shared pages", SharedPages, 4,
                std::string(kSharedCount) +
                    "L2P(Odd)  Occupied, L2P Pos:00000000  Layer:06  Ch:13  Block:4100 Page:05\n"
                    "L2P(Even) Occupied, L2P Pos:00000008  Layer:06  Ch:13  Block:4100 Page:05\n"
                    "Invalid Even Page, Pos[00000010h]\n"},
        // the limit counts every kind of report
        MapCase{"shared pages", SharedPages, 2,
                std::string(kSharedCount) +
                    "L2P(Odd)  Occupied, L2P Pos:00000000  Layer:06  Ch:13  Block:4100 Page:05\n"},
        MapCase{"shared pages", SharedPages, 1, kSharedCount}, MapCase{"shared pages", SharedPages, 0, kSharedCount},
        MapCase{"unflagged pages", UnflaggedPages, 5,
                "Valid Page Count L2P:00000003h != BLK_INFO:00000002h\n"
                "Valid Page Flag(Even) Error, L2P Pos:00000000h  Layer:01  Ch:02  Block:0004 Page:05\n"
                "Valid Page Flag(Odd)  Error, L2P Pos:00000000h  Layer:01  Ch:02  Block:0005 Page:00\n"
                "Valid Page Flag(Even) Error, L2P Pos:00000008h  Layer:01  Ch:02  Block:0006 Page:00\n"
                "Invalid Odd Page, Pos[00000008h]\n"},
        // this report carries no line break of its own
        MapCase{"current blank blocks", CurrentBlankBlocks, 2,
                "Cur Blank Block [Layer:02  Ch:03  Block:0017] not marked Free Block In Block Info Table"
                "Invalid Even Page, Pos[00000008h]\n"},
        // the limit ends the check already among the current blank blocks
        MapCase{"current blank blocks", CurrentBlankBlocks, 1,
                "Cur Blank Block [Layer:02  Ch:03  Block:0017] not marked Free Block In Block Info Table"}),
    CaseName());

TEST(L2pTableCheck, RefusesOtherLengths)
{
    MapTables t;
    ASSERT_TRUE(t.Allocated());
    const u8* l2p = t.l2p().data();
    const u8* info = t.info().data();
    const u8* cur = t.cur_blank().data();
    std::string out = kEarlier;
    EXPECT_FALSE(CheckL2pTable(nullptr, kL2pLen, info, 0x1000000, cur, 0x400, out, 10));
    EXPECT_FALSE(CheckL2pTable(l2p, kL2pLen, nullptr, 0x1000000, cur, 0x400, out, 10));
    EXPECT_FALSE(CheckL2pTable(l2p, kL2pLen, info, 0x1000000, nullptr, 0x400, out, 10));
    EXPECT_FALSE(CheckL2pTable(l2p, kL2pLen - 8, info, 0x1000000, cur, 0x400, out, 10));
    EXPECT_FALSE(CheckL2pTable(l2p, kL2pLen, info, 0xFFFFF0, cur, 0x400, out, 10));
    EXPECT_FALSE(CheckL2pTable(l2p, kL2pLen, info, 0x1000000, cur, 0x3F8, out, 10));
    EXPECT_EQ(out, kEarlier);
}

// Where the fill of the full map stands: blocks 4 to 8191 of one channel after another.
struct FillBlock {
    u32 layer, ch, block;
};

// Every half of every entry on its own flagged page, in order: nothing to report.
TEST(L2pTableCheck, FullMapAgreesWithBlockInfo)
{
    MapTables t;
    ASSERT_TRUE(t.Allocated());
    // Whole records at a time, the map entries as host words: the fill is a large part of
    // this test's work. The records are little-endian; so must the host be.
    const u64 probe = 0x0807060504030201ull;
    const u8 probe_bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(memcmp(&probe, probe_bytes, 8), 0) << "big-endian host";
    u64* const entry = reinterpret_cast<u64*>(t.l2p().data());
    u8 full_block[16] = {};
    Put(full_block, kFlagLow, 0xFFFFFFFF);
    Put(full_block, kFlagHigh, 0xFFFFFFFF);
    Put(full_block, kPageCnt, 64);
    // adds one to the page of both halves
    const u64 page_step = 1 | u64(1) << 26;
    FillBlock b{0, 0, 4};
    u32 i = 0;
    while (i < kL2pEntries) {
        memcpy(t.info().data() + BlockOrdinal(b.layer, b.ch, b.block) * 16, full_block, 16);
        // pages 0 and 1 of the block, then 2 and 3, ...
        const u64 first = PbnOf(b.layer, b.ch, b.block, 0) | u64(PbnOf(b.layer, b.ch, b.block, 1)) << 26;
        for (u32 page = 0; page < 64; page += 2, i++) {
            entry[i] = first + page * page_step;
        }
        if (++b.block == 8192) {
            b.block = 4;
            if (++b.ch == 16) {
                b.ch = 0;
                b.layer++;
            }
        }
    }
    ASSERT_EQ(i, kL2pEntries);
    // 2 x 124B000h pages: the last block filled is block 1703 of layer 4, channel 9
    ASSERT_EQ(b.layer * 16 + b.ch, 73u);
    ASSERT_EQ(b.block, 1704u);
    // an unused current blank block adds nothing
    t.CurBlank(7, 15, 5);
    t.Info(7, 15, 5, kFreeFlag, 1);

    std::string out = kEarlier;
    EXPECT_TRUE(t.Check(out, 10));
    EXPECT_EQ(out, kEarlier);

    // the last page of the map loses its flag: only the end of the walk finds it
    t.Info(4, 9, 1703, kFlagHigh, 0x7FFFFFFF);
    t.Info(4, 9, 1703, kPageCnt, 63);
    EXPECT_FALSE(t.Check(out, 10));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "Valid Page Count L2P:02496000h != BLK_INFO:02495FFFh\n"
                       "Valid Page Flag(Odd)  Error, L2P Pos:09257FF8h  Layer:04  Ch:09  Block:1703 Page:63\n");
}

// ---- pend list ----------------------------------------------------------------------

std::vector<u8> PendBytes(u32 len, const std::vector<u8>& head)
{
    std::vector<u8> b(len);
    std::copy(head.begin(), head.end(), b.begin());
    return b;
}

// The first four bytes of a list as its first little-endian word.
std::string HexWord(const std::vector<u8>& data)
{
    char text[16];
    const unsigned word = data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned>(data[3]) << 24;
    snprintf(text, sizeof(text), "%08Xh", word);
    return text;
}

struct PendCase {
    std::vector<u8> data;
    bool null_data;
    std::vector<u32> before;
    bool ok;
    std::vector<u32> after;
};

void PrintTo(const PendCase& c, std::ostream* os)
{
    *os << (c.null_data ? "null " : "") << c.data.size() << " bytes"
        << (c.data.size() >= 4 ? " from " + HexWord(c.data) : std::string()) << " onto " << c.before.size()
        << " entries";
}

class PendLbaList : public ::testing::TestWithParam<PendCase> {};

TEST_P(PendLbaList, AppendsUpToTheEndMark)
{
    const PendCase& c = GetParam();
    std::vector<u32> dst = c.before;
    EXPECT_EQ(LoadPendLbaList(dst, c.null_data ? nullptr : c.data.data(), static_cast<u32>(c.data.size())), c.ok);
    EXPECT_EQ(dst, c.after);
}

std::vector<u8> CountingWords(u32 n)
{
    std::vector<u8> b;
    for (u32 k = 0; k < n; k++) {
        const u32 v = 0x01000000u * (k % 256) + k;
        for (int s = 24; s >= 0; s -= 8) {
            b.push_back(static_cast<u8>(v >> s));
        }
    }
    return b;
}

std::vector<u32> CountingLbas(u32 n)
{
    std::vector<u32> v;
    for (u32 k = 0; k < n; k++) {
        v.push_back(0x01000000u * (k % 256) + k);
    }
    return v;
}

const std::vector<u8> kOneLba = PendBytes(512, {0x00, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});

INSTANTIATE_TEST_SUITE_P(
    Lists, PendLbaList,
    ::testing::Values(
        PendCase{kOneLba, false, {}, true, {0x100}},
        // appended to what the list holds
        PendCase{kOneLba, false, {7}, true, {7, 0x100}},
        PendCase{PendBytes(1000, {0x00, 0x00, 0x01, 0x00}), false, {7}, false, {7}},
        PendCase{PendBytes(513, {}), false, {}, false, {}}, PendCase{{}, false, {}, false, {}},
        PendCase{PendBytes(512, {}), true, {}, false, {}},
        // only four FFh bytes end it; what follows the end is not read
        PendCase{PendBytes(512, {0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x12, 0x34,
                                 0x56, 0x78}),
                 false,
                 {},
                 true,
                 {0xFFFFFFFE, 0xFF}},
        PendCase{PendBytes(512, {0xFF, 0xFF, 0xFF, 0xFF, 0x12}), false, {}, true, {}},
        // no end mark: every word of the buffer
        PendCase{CountingWords(256), false, {}, true, CountingLbas(256)}),
    CaseName());

TEST(PendListTable, ReplacesTheTextWithTheList)
{
    std::string out = kEarlier;
    ASSERT_TRUE(ParsePendListTable(out, kOneLba.data(), 512, 2));
    EXPECT_EQ(out, "  ******  Total Pend List Count = 1  ******\n  LBA\n  00000100h\n");
    const std::vector<u8> table = PendBytes(0x400, {0x12, 0x34, 0x56, 0x78, 0xA0, 0xB0, 0xC0, 0xD0});
    ASSERT_TRUE(ParsePendListTable(out, table.data(), 0x400, 30));
    const std::string pad(20, ' ');
    std::string want = pad + "******  Total Pend List Count = 256  ******\n" + pad + "LBA\n" + pad + "12345678h\n" +
                       pad + "A0B0C0D0h\n";
    for (int k = 2; k < 256; k++) {
        want += pad + "00000000h\n";
    }
    EXPECT_EQ(out, want);
    out = kEarlier;
    const std::vector<u8> odd = PendBytes(1000, {0x00, 0x00, 0x01, 0x00});
    EXPECT_FALSE(ParsePendListTable(out, odd.data(), 1000, 2));
    EXPECT_FALSE(ParsePendListTable(out, nullptr, 512, 2));
    EXPECT_EQ(out, kEarlier);
}

}  // namespace
