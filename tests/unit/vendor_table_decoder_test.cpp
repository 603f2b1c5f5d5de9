// The SAS vendor answers and tables: golden texts worked out by hand from the answer
// layouts (little-endian words), refusals that leave the text alone, the paired-page
// rule and the dispatch by command type.
#include <gtest/gtest.h>

#include "case_names.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "hex_fixture.h"
#include "settings.h"
#include "test_init.h"
#include "vendor_table_decoder.h"

namespace {

const char kEarlier[] = "earlier text\n";

void PutLe(std::vector<u8>& b, size_t off, u64 v, unsigned width)
{
    if (b.size() < off + width) {
        b.resize(off + width);
    }
    for (unsigned i = 0; i < width; i++) {
        b[off + i] = static_cast<u8>(v >> (8 * i));
    }
}

// Sets the shared geometry for a test, which finds it and the layout selector as it left them.
class GeometryGuard {
public:
    void Set(u32 channel, u32 ce, u32 block, u32 page_num)
    {
        disk_geometry.channel = channel;
        disk_geometry.ce = ce;
        disk_geometry.block = block;
        disk_geometry.page_num = page_num;
    }

private:
    SettingsGuard settings_;
};

// ---- I/O counters -------------------------------------------------------------------

std::vector<u8> IoInfo()
{
    std::vector<u8> b(64);
    const u64 counters[8] = {0,
                             0x1234,
                             0x123456789ABCDEF0ull,
                             1,
                             0xFFFFFFFFFFFFFFFFull,
                             0xABCDEF,
                             0x00FFFFFFFFFFFFFFull,  // 14 digits: exactly 16 characters
                             0x100000000000000ull};  // 15 digits: wider
    for (unsigned i = 0; i < 8; i++) {
        PutLe(b, 8 * i, counters[i], 8);
    }
    return b;
}

TEST(IoInfo, EightCountersWithoutIndent)
{
    const std::vector<u8> data = IoInfo();
    for (u32 indent : {0u, 4u, 30u}) {
        std::string out = kEarlier;
        ASSERT_TRUE(ParseIoInfo(out, data.data(), 64, indent, nullptr));
        EXPECT_EQ(out, std::string(kEarlier) +
                           "disk Io info:\n"
                           "\thost read bytes:\t0000000000000000\n"
                           "\tnm read bytes:\t\t0x00000000001234\n"
                           "\tgc read bytes:\t\t0x123456789abcdef0\n"
                           "\tbs read bytes:\t\t0x00000000000001\n"
                           "\thost write bytes:\t0xffffffffffffffff\n"
                           "\tnm write bytes:\t\t0x00000000abcdef\n"
                           "\tgc write bytes:\t\t0xffffffffffffff\n"
                           "\tbs write bytes:\t\t0x100000000000000\n")
            << indent;
    }
}

struct IoRefuseCase {
    bool null_data;
    u32 len;
};

void PrintTo(const IoRefuseCase& c, std::ostream* os) { *os << (c.null_data ? "null" : "data") << " len " << c.len; }

class IoInfoRefused : public ::testing::TestWithParam<IoRefuseCase> {};

// The one decoder that says why it refuses: on standard output, the text left alone.
TEST_P(IoInfoRefused, ReportsOnStandardOutput)
{
    const IoRefuseCase& c = GetParam();
    std::vector<u8> data = IoInfo();
    data.resize(c.len);
    std::string out = kEarlier;
    testing::internal::CaptureStdout();
    const bool ok = ParseIoInfo(out, c.null_data ? nullptr : data.data(), c.len, 4, nullptr);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, kEarlier);
    char want[128];
    snprintf(want, sizeof(want), "ParseIoInfo Error:buffer=%lx,buf_len=%d\n",
             c.null_data ? 0ul : static_cast<unsigned long>(reinterpret_cast<uintptr_t>(data.data())),
             static_cast<int>(c.len));
    EXPECT_EQ(said, want);
}

INSTANTIATE_TEST_SUITE_P(Lengths, IoInfoRefused,
                         ::testing::Values(IoRefuseCase{false, 63}, IoRefuseCase{false, 65},
                                           IoRefuseCase{false, 0}, IoRefuseCase{true, 64}),
                         CaseName());

TEST(IoInfo, NullDataReportsAddressZero)
{
    std::string out;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ParseIoInfo(out, nullptr, 64, 0, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ParseIoInfo Error:buffer=0,buf_len=64\n");
    EXPECT_EQ(out, "");
}

// ---- link speed and flags -----------------------------------------------------------

struct SpeedCase {
    u32 port0;
    u32 port1;
    u32 indent;
    const char* want;
};

void PrintTo(const SpeedCase& c, std::ostream* os) { *os << c.port0 << "/" << c.port1 << " indent " << c.indent; }

class DiskSpeed : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(DiskSpeed, NamesBothPorts)
{
    const SpeedCase& c = GetParam();
    std::vector<u8> data;
    PutLe(data, 0, c.port0, 4);
    PutLe(data, 4, c.port1, 4);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseDiskSpeed(out, data.data(), 8, c.indent, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DiskSpeed,
    ::testing::Values(SpeedCase{6, 2, 4, "    P0 Speed : 6G\n    P1 Speed : Unknown\n"},
                      SpeedCase{3, 1, 0, "P0 Speed : 3G\nP1 Speed : 1.5G\n"},
                      SpeedCase{1, 6, 2, "  P0 Speed : 1.5G\n  P1 Speed : 6G\n"},
                      // the whole word is the code: a high byte makes it unknown
                      SpeedCase{0x106, 0x03000000, 4, "    P0 Speed : Unknown\n    P1 Speed : Unknown\n"},
                      SpeedCase{0, 0xFFFFFFFF, 30,
                                "                    P0 Speed : Unknown\n                    P1 Speed : Unknown\n"}),
    CaseName());

struct FlagCase {
    const char* bytes;
    u32 indent;
    const char* want;
};

void PrintTo(const FlagCase& c, std::ostream* os) { *os << c.bytes; }

class DiskFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(DiskFlag, CharactersUpToTheFirstZero)
{
    const FlagCase& c = GetParam();
    const std::vector<u8> data = HexBytes(c.bytes);
    ASSERT_EQ(data.size(), 8u);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseDiskFlag(out, data.data(), 8, c.indent, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

INSTANTIATE_TEST_SUITE_P(Flags, DiskFlag,
                         ::testing::Values(FlagCase{"41 42 43 00 00 00 00 00", 4, "    Disk Flag :ABC\n"},
                                           // no zero byte: all eight
                                           FlagCase{"51 55 4D 41 31 32 33 34", 0, "Disk Flag :QUMA1234\n"},
                                           // what follows the first zero is not shown
                                           FlagCase{"41 42 00 43 44 00 00 00", 2, "  Disk Flag :AB\n"},
                                           FlagCase{"00 41 42 43 44 45 46 47", 25,
                                                    "                    Disk Flag :\n"}),
                         CaseName());

// ---- paired pages and bad pages -----------------------------------------------------

struct PairCase {
    u32 pages;
    u8 wl;
    u8 lower;
    u8 upper;
};

void PrintTo(const PairCase& c, std::ostream* os) { *os << "P " << c.pages << " wl " << unsigned(c.wl); }

class PagePair : public ::testing::TestWithParam<PairCase> {};

TEST_P(PagePair, LowerAndUpperPage)
{
    const PairCase& c = GetParam();
    GeometryGuard guard;
    disk_geometry.page_num = c.pages;
    EXPECT_EQ(GetLowerPageIdx(c.wl), c.lower);
    EXPECT_EQ(GetUpperPageIdx(c.wl), c.upper);
}

INSTANTIATE_TEST_SUITE_P(
    WordLines, PagePair,
    ::testing::Values(PairCase{256, 0, 0, 4}, PairCase{256, 1, 1, 5}, PairCase{256, 2, 2, 8},
                      PairCase{256, 3, 3, 9}, PairCase{256, 4, 6, 12}, PairCase{256, 5, 7, 13},
                      PairCase{256, 124, 246, 252}, PairCase{256, 125, 247, 253}, PairCase{256, 126, 250, 254},
                      PairCase{256, 127, 251, 255},
                      // past the block's last word line
                      PairCase{256, 128, 255, 255}, PairCase{256, 255, 255, 255},
                      PairCase{128, 0, 0, 2}, PairCase{128, 1, 1, 4}, PairCase{128, 62, 123, 126},
                      PairCase{128, 63, 125, 127}, PairCase{128, 64, 255, 255},
                      PairCase{64, 31, 61, 63}, PairCase{64, 32, 255, 255},
                      // 512 pages: every u8 word line exists; results wrap at 256
                      PairCase{512, 200, 143, 146}, PairCase{512, 255, 253, 255},
                      // no Page Num: the last word line wraps in 32 bits, so every one exists
                      PairCase{0, 5, 9, 12}, PairCase{0, 255, 253, 0}, PairCase{1, 0, 0, 2}),
    CaseName());

struct BadPageCase {
    u32 channel, ce, block, pages;
    std::vector<std::pair<size_t, u32>> words;  // little-endian u32 at a byte offset
    u32 len;
    u32 indent;
    const char* want;
};

void PrintTo(const BadPageCase& c, std::ostream* os) { *os << "P " << c.pages << " len " << c.len; }

class BadPage : public ::testing::TestWithParam<BadPageCase> {};

TEST_P(BadPage, ListsBothPagesOfEachBadWordLine)
{
    const BadPageCase& c = GetParam();
    GeometryGuard guard;
    guard.Set(c.channel, c.ce, c.block, c.pages);
    std::vector<u8> data(c.len);
    for (const auto& w : c.words) {
        PutLe(data, w.first, w.second, 4);
    }
    ASSERT_EQ(data.size(), c.len);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseBadPage(out, data.data(), c.len, c.indent, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Records, BadPage,
    ::testing::Values(
        // 256 pages, 32 units: word line 4 of record 0 is pages 6 and 12
        BadPageCase{16, 2, 8296, 256, {{0, 2u << 8}}, 36, 4, "    FP:0xc0  S:2\n    SP:0x180  S:2\n"},
        // 128 pages, 4 units, 3 blocks, records of 20 bytes. Record 0 word line 0 (pages 0, 2);
        // record 2 = unit 0 block 2, word line 16 (pages 31, 34, base 1024); record 4 = unit 1
        // block 1, word line 63 (pages 125, 127, base 513). The unread tail word of record 1
        // and the partial record at the end are not looked at.
        BadPageCase{2,
                    2,
                    3,
                    128,
                    {{0, 1}, {36, 0xFFFFFFFF}, {44, 2}, {92, 3u << 30}, {100, 0xFFFFFFFF}, {106, 0xFFFFFFFF}},
                    110,
                    0,
                    "FP:0x0  S:1\nSP:0x8  S:1\n"
                    "FP:0x47c  S:2\nSP:0x488  S:2\n"
                    "FP:0x3f5  S:3\nSP:0x3fd  S:3\n"},
        // two states in one word, in word line order
        BadPageCase{1, 1, 1, 64, {{0, (3u << 2) | (1u << 30)}}, 12, 2,
                    "  FP:0x1  S:3\n  SP:0x4  S:3\n  FP:0x1d  S:1\n  SP:0x20  S:1\n"},
        BadPageCase{16, 4, 8296, 128, {}, 200, 4, "    No Bad Page!\n"},
        // shorter than one record
        BadPageCase{16, 4, 8296, 128, {{0, 0xFFFFFFFF}}, 19, 30, "                    No Bad Page!\n"},
        // no block count is harmless while nothing is bad
        BadPageCase{16, 4, 0, 128, {}, 40, 4, "    No Bad Page!\n"},
        // fewer than 32 pages: records hold only the unread tail word
        BadPageCase{1, 1, 1, 16, {{0, 0xFFFFFFFF}, {4, 0xFFFFFFFF}}, 8, 0, "No Bad Page!\n"}),
    CaseName());

TEST(BadPageGeometry, BadStateWithoutBlockCountIsRefused)
{
    GeometryGuard guard;
    guard.Set(16, 4, 0, 128);
    std::vector<u8> data(40);
    PutLe(data, 24, 1, 4);  // record 1
    std::string out = kEarlier;
    EXPECT_FALSE(ParseBadPage(out, data.data(), 40, 4, nullptr));
    EXPECT_EQ(out, kEarlier);
}

// ---- geometry, pending LBAs, NVRAM ----------------------------------------------------

TEST(DiskBasicInfo, SevenWordsRightAligned)
{
    std::vector<u8> data;
    const u32 words[7] = {16, 4, 8296, 128, 8192, 0x2E9390AF, 0xFFFFFFFF};
    for (u32 i = 0; i < 7; i++) {
        PutLe(data, 4 * i, words[i], 4);
    }
    data.resize(32, 0x77);  // longer answers are fine; the tail is not read
    std::string out = kEarlier;
    ASSERT_TRUE(ParseDiskBasicInfo(out, data.data(), 32, 2, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "  Channel        :         16\n"
                       "  CE             :          4\n"
                       "  Block          :       8296\n"
                       "  Page Num       :        128\n"
                       "  Page Size      :       8192\n"
                       "  Max LBA        :  781422767\n"
                       "  Reserved Block : 4294967295\n");
    out = kEarlier;
    EXPECT_FALSE(ParseDiskBasicInfo(out, data.data(), 27, 2, nullptr));
    EXPECT_FALSE(ParseDiskBasicInfo(out, nullptr, 28, 2, nullptr));
    EXPECT_EQ(out, kEarlier);
}

TEST(PendLbaList, ReplacesTheText)
{
    std::string out = kEarlier;
    ASSERT_TRUE(PrintPendLbaList(out, {0x1A2B, 0xFFFFFFFF}, 2, nullptr));
    EXPECT_EQ(out, "  ******  Total Pend List Count = 2  ******\n  LBA\n  00001A2Bh\n  FFFFFFFFh\n");
    ASSERT_TRUE(PrintPendLbaList(out, {}, 30, nullptr));
    EXPECT_EQ(out, std::string(20, ' ') + "******  Total Pend List Count = 0  ******\n" + std::string(20, ' ') + "LBA\n");
}

TEST(NvramData, TwentyTwoWordsInOrder)
{
    NvramDataRecord rec;
    u32 words[22];
    for (u32 k = 0; k < 22; k++) {
        words[k] = k * 0x11;
    }
    memcpy(&rec, words, sizeof(rec));
    std::string out = kEarlier;
    ASSERT_TRUE(PrintNvramData(out, &rec));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "\n\nNVPBN = 0\nNVCH = 11\nNVCE = 22\nNVPAGE = 33\nNVBLK = 44\nNVLOG ADDR = 55\nDDR FLASH = 66\n"
                       "FLASH PBN0 = 77\nFLASH PBN1 = 88\nFLASH PBN2 = 99\nFLASH PBN3 = aa\nFLASH PBN4 = bb\n"
                       "FLASH PBN5 = cc\nFLASH PBN6 = dd\nFLASH PBN7 = ee\nFLASH PBN8 = ff\nFLASH PBN9 = 110\n"
                       "FLASH PBN10 = 121\nFLASH PBN11 = 132\nFLASH PBN12 = 143\nFLASH PBN13 = 154\n"
                       "FLASH PBN14 = 165\n");
    out = kEarlier;
    EXPECT_FALSE(PrintNvramData(out, nullptr));
    EXPECT_EQ(out, kEarlier);
}

// ---- CE information -------------------------------------------------------------------

std::string EmptyCe(const std::string& pad, unsigned n)
{
    std::string s;
    for (unsigned i = 0; i < n; i++) {
        s += "\n\n" + pad + "[CE000]\n" + pad + "layer=0\n" + pad + "chan=0\n" + pad + "count=0\n" + pad + "value=";
    }
    return s;
}

// Total 258; CE 12h with two values, CE 3Fh with one, then 126 empty records.
std::vector<u8> PackedCe()
{
    std::vector<u8> b = HexBytes("02 01  12 02 00 05 00 FF FF  3F 01 00 07 00");
    b.resize(b.size() + 126 * 3);
    return b;
}

TEST(CeInformation, PackedRecordsAsText)
{
    const std::vector<u8> data = PackedCe();
    ASSERT_EQ(data.size(), 392u);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseCeInformationPacked(out, data.data(), u32(data.size()), 2, nullptr));
    EXPECT_EQ(out, "  [INFORMATION]\n  version=1.0\n  total_count=258"
                   "\n\n  [CE018]\n  layer=1\n  chan=2\n  count=2\n  value=5,65535,"
                   "\n\n  [CE063]\n  layer=3\n  chan=15\n  count=1\n  value=7," +
                       EmptyCe("  ", 126));
}

TEST(CeInformation, AllCountsZero)
{
    const std::vector<u8> data(kPackedCeMinLen);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseCeInformationPacked(out, data.data(), kPackedCeMinLen, 0, nullptr));
    EXPECT_EQ(out, "[INFORMATION]\nversion=1.0\ntotal_count=0" + EmptyCe("", 128));
    out = kEarlier;
    EXPECT_FALSE(ParseCeInformationPacked(out, data.data(), kPackedCeMinLen - 1, 0, nullptr));
    EXPECT_FALSE(ParseCeInformationPacked(out, nullptr, kPackedCeMinLen, 0, nullptr));
    EXPECT_EQ(out, kEarlier);
}

TEST(CeInformation, StopsWhereTheDataEnds)
{
    // 65535 values announced: the 190 that fit are shown
    std::vector<u8> data(kPackedCeMinLen);
    data[3] = 0xFF;
    data[4] = 0xFF;
    std::string out = kEarlier;
    ASSERT_TRUE(ParseCeInformationPacked(out, data.data(), kPackedCeMinLen, 0, nullptr));
    std::string zeros;
    for (int i = 0; i < 190; i++) {
        zeros += "0,";
    }
    EXPECT_EQ(out, "[INFORMATION]\nversion=1.0\ntotal_count=0\n\n[CE000]\nlayer=0\nchan=0\ncount=65535\nvalue=" + zeros +
                       "buffer length is not enough");

    // values push the last record's header past the end
    const std::vector<u8> packed = PackedCe();
    ASSERT_TRUE(ParseCeInformationPacked(out, packed.data(), u32(packed.size()) - 1, 0, nullptr));
    EXPECT_EQ(out, "[INFORMATION]\nversion=1.0\ntotal_count=258"
                   "\n\n[CE018]\nlayer=1\nchan=2\ncount=2\nvalue=5,65535,"
                   "\n\n[CE063]\nlayer=3\nchan=15\ncount=1\nvalue=7," +
                       EmptyCe("", 125) + "buffer length is not enough");
}

TEST(CeInformation, TextFormsAsWritten)
{
    char buf[256];
    snprintf(buf, sizeof(buf), CeInformationText::kHead, "  ", "  ", "  ", 258u);
    EXPECT_STREQ(buf, "  [INFORMATION]\n  version=1.0\n  total_count=258");
    snprintf(buf, sizeof(buf), CeInformationText::kCeBlock, "", 18u, "", 1u, "", 2u, "", 2u, "");
    EXPECT_STREQ(buf, "\n\n[CE018]\nlayer=1\nchan=2\ncount=2\nvalue=");
    snprintf(buf, sizeof(buf), CeInformationText::kValue, 65535u);
    EXPECT_STREQ(buf, "65535,");
}

// ---- defect lists -----------------------------------------------------------------------

// Entries (reason, group, block) after the 8-byte head of a list.
void PutEntries(std::vector<u8>& b, size_t off, const std::vector<std::array<u32, 3>>& entries)
{
    PutLe(b, off, 0xEEEEEEEE, 4);  // the head is skipped
    PutLe(b, off + 4, 0xEEEEEEEE, 4);
    for (size_t i = 0; i < entries.size(); i++) {
        const size_t at = off + 8 + 4 * i;
        PutLe(b, at, entries[i][0], 1);
        PutLe(b, at + 1, entries[i][1], 1);
        PutLe(b, at + 2, entries[i][2], 2);
    }
}

void PutHeader(std::vector<u8>& b, size_t off, u32 count)
{
    PutLe(b, off, kDefectListMagic, 4);
    PutLe(b, off + 4, 0x99, 4);
    PutLe(b, off + 8, count, 4);
    PutLe(b, off + 12, 0x99, 4);
    PutLe(b, off + 16, 0x99, 4);
}

// One junk word, the header, and four entries: list length 24.
std::vector<u8> SingleList(u32 count)
{
    std::vector<u8> b;
    PutLe(b, 0, 0x11111111, 4);
    PutHeader(b, 4, count);
    PutEntries(b, 24, {{{0, 1, 2}}, {{7, 255, 65535}}, {{9, 0, 10}}, {{4, 16, 1000}}});
    return b;
}

struct DefectCase {
    u32 model_code;
    u32 count;
    const char* want;
};

void PrintTo(const DefectCase& c, std::ostream* os) { *os << "model " << c.model_code << " count " << c.count; }

class DefectSingle : public ::testing::TestWithParam<DefectCase> {};

TEST_P(DefectSingle, ListOrNoDefect)
{
    const DefectCase& c = GetParam();
    GeometryGuard guard;
    disk_model_code = c.model_code;
    const std::vector<u8> data = SingleList(c.count);
    ASSERT_EQ(data.size(), 48u);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseDefectData(out, data.data(), 48, 4, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DefectSingle,
    ::testing::Values(
        DefectCase{0, 6,
                   "    ******  Total Defect Data Count = 4  ******\n"
                   "    Block =    2      Group =   1      Reason = Data    \n"
                   "    Block = 65535      Group = 255      Reason = Bad_Unc \n"
                   "    Block =   10      Group =   0      Reason =  9\n"
                   "    Block = 1000      Group =  16      Reason = Bad_Era \n"},
        // the newer layout names only reasons 8 to 11
        DefectCase{3, 6,
                   "    ******  Total Defect Data Count = 4  ******\n"
                   "    Block =    2      Group =   1      Reason =  0\n"
                   "    Block = 65535      Group = 255      Reason =  7\n"
                   "    Block =   10      Group =   0      Reason = Bad_P_U   \n"
                   "    Block = 1000      Group =  16      Reason =  4\n"},
        // a count larger than the list: the list's own length rules
        DefectCase{0, 1000,
                   "    ******  Total Defect Data Count = 4  ******\n"
                   "    Block =    2      Group =   1      Reason = Data    \n"
                   "    Block = 65535      Group = 255      Reason = Bad_Unc \n"
                   "    Block =   10      Group =   0      Reason =  9\n"
                   "    Block = 1000      Group =  16      Reason = Bad_Era \n"},
        DefectCase{0, 5, "        No Defect Data Exist!\n"}, DefectCase{1, 0, "        No Defect Data Exist!\n"}),
    CaseName());

// Two headers: the first list holds one entry (12 bytes), the second two (16 bytes).
std::vector<u8> TwoLists(u32 count1, u32 count2)
{
    std::vector<u8> b;
    PutHeader(b, 0, count1);
    PutEntries(b, 20, {{{1, 2, 3}}});
    PutHeader(b, 32, count2);
    PutEntries(b, 52, {{{2, 0, 7}}, {{3, 9, 300}}});
    return b;
}

TEST(DefectPair, EachListInTurn)
{
    GeometryGuard guard;
    disk_model_code = 0;
    const char first[] = "    ******  Total Defect Data Count = 1  ******\n"
                         "    Block =    3      Group =   2      Reason = Blank   \n";
    const char second[] = "    ******  Total Defect Data Count = 2  ******\n"
                          "    Block =    7      Group =   0      Reason = Snap    \n"
                          "    Block =  300      Group =   9      Reason = Dirty   \n";
    const char none[] = "        No Defect Data Exist!\n";
    const struct {
        u32 count1, count2;
        std::string want;
    } cases[] = {
        {3, 4, std::string(first) + second},
        {3, 3, std::string(first) + none},
        // an empty first list ends the call
        {2, 4, none},
        // a zero count prints a list of a pair
        {0, 0, std::string(none)},
    };
    for (const auto& c : cases) {
        const std::vector<u8> data = TwoLists(c.count1, c.count2);
        ASSERT_EQ(data.size(), 68u);
        std::string out = kEarlier;
        ASSERT_TRUE(ParseDefectData(out, data.data(), 68, 4, nullptr)) << c.count1 << "/" << c.count2;
        EXPECT_EQ(out, kEarlier + c.want) << c.count1 << "/" << c.count2;
    }
}

TEST(DefectPair, AThirdHeaderIsPartOfTheSecondList)
{
    GeometryGuard guard;
    disk_model_code = 0;
    std::vector<u8> data = TwoLists(3, 100);
    PutHeader(data, 68, 100);  // read as five more entries: 0C B1 AD 4B is reason 12, group 177
    ASSERT_EQ(data.size(), 88u);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseDefectData(out, data.data(), 88, 0, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "******  Total Defect Data Count = 1  ******\n"
                       "Block =    3      Group =   2      Reason = Blank   \n"
                       "******  Total Defect Data Count = 7  ******\n"
                       "Block =    7      Group =   0      Reason = Snap    \n"
                       "Block =  300      Group =   9      Reason = Dirty   \n"
                       "Block = 19373      Group = 177      Reason = 12\n"
                       "Block =    0      Group =   0      Reason = 153\n"
                       "Block =    0      Group =   0      Reason = 100\n"
                       "Block =    0      Group =   0      Reason = 153\n"
                       "Block =    0      Group =   0      Reason = 153\n");
}

TEST(DefectRefused, NoHeaderOrCutHeader)
{
    GeometryGuard guard;
    disk_model_code = 0;
    std::string out = kEarlier;
    const std::vector<u8> none(64, 0x0C);
    EXPECT_FALSE(ParseDefectData(out, none.data(), 64, 4, nullptr));
    // the magic off a 4-byte boundary is not a header
    std::vector<u8> odd(48);
    PutLe(odd, 2, kDefectListMagic, 4);
    EXPECT_FALSE(ParseDefectData(out, odd.data(), 48, 4, nullptr));
    // a header running past the end of the data
    std::vector<u8> cut(16);
    PutLe(cut, 4, kDefectListMagic, 4);
    EXPECT_FALSE(ParseDefectData(out, cut.data(), 16, 4, nullptr));
    // a second magic inside the first header
    std::vector<u8> overlap;
    PutHeader(overlap, 0, 100);
    PutLe(overlap, 8, kDefectListMagic, 4);
    PutEntries(overlap, 20, {{{1, 1, 1}}});
    EXPECT_FALSE(ParseDefectData(out, overlap.data(), u32(overlap.size()), 4, nullptr));
    // a list shorter than its own 8-byte head
    std::vector<u8> short_list;
    PutHeader(short_list, 0, 100);
    short_list.resize(24);
    EXPECT_FALSE(ParseDefectData(out, short_list.data(), 24, 4, nullptr));
    EXPECT_FALSE(ParseDefectData(out, nullptr, 64, 4, nullptr));
    EXPECT_FALSE(PrintDefectData(out, none.data(), 7, 4, nullptr));
    EXPECT_EQ(out, kEarlier);
}

TEST(DefectPrint, HeadSkippedAndPartialEntryIgnored)
{
    GeometryGuard guard;
    disk_model_code = 1;
    std::vector<u8> data;
    PutEntries(data, 0, {{{11, 1, 1}}, {{12, 2, 2}}});
    data.resize(data.size() + 3, 0xFF);
    std::string out = kEarlier;
    ASSERT_TRUE(PrintDefectData(out, data.data(), u32(data.size()), 0, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "******  Total Defect Data Count = 2  ******\n"
                       "Block =    1      Group =   1      Reason = Bad_U_U   \n"
                       "Block =    2      Group =   2      Reason = 12\n");
}

// ---- command queue and blank blocks ---------------------------------------------------

std::vector<u8> QueueInfo(const std::vector<u32>& depths)
{
    std::vector<u8> b(256);
    for (u32 i = 0; i < 10; i++) {
        PutLe(b, 2 * i, i + 1, 2);
    }
    PutLe(b, 20, 65535, 2);
    for (size_t i = 0; i < depths.size(); i++) {
        PutLe(b, 22 + 2 * i, depths[i], 2);
    }
    return b;
}

const char kQueueCounters[] =
    "  New Cmd Cnt       : 1\n  Active Cmd Cnt    : 2\n  Tx DMA Cnt        : 3\n  Rx DMA Cnt        : 4\n"
    "  New Tm Cmd Cnt    : 5\n  Active Tm Cmd Cnt : 6\n  UNCPendList       : 7\n  NMReadyQueue      : 8\n"
    "  NMFreeQueue       : 9\n  GCFreeQueue       : 10\n  CmdPendList       : 65535\n";

TEST(CmdQueueInfo, OlderLayout)
{
    GeometryGuard guard;
    guard.Set(2, 3, 8296, 128);
    disk_model_code = 0;
    const std::vector<u8> data = QueueInfo({100, 200, 7, 8});
    std::string out = kEarlier;
    ASSERT_TRUE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + kQueueCounters +
                       "  SoftFIFO[ 0]      : 100\n  SoftFIFO[ 1]      : 200\n"
                       "  HardFIFO[ 0]      : 7\n  HardFIFO[ 1]      : 8\n");
}

TEST(CmdQueueInfo, NewerLayout)
{
    GeometryGuard guard;
    guard.Set(2, 2, 8296, 128);
    disk_model_code = 5;
    const std::vector<u8> data = QueueInfo({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    std::string out = kEarlier;
    ASSERT_TRUE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + kQueueCounters +
                       "  WriteSoftFIFO[ 0]      : 1\n  WriteSoftFIFO[ 1]      : 2\n"
                       "  WriteSoftFIFO[ 2]      : 3\n  WriteSoftFIFO[ 3]      : 4\n"
                       "  ReadSoftFIFO[ 0]      : 5\n  ReadSoftFIFO[ 1]      : 6\n"
                       "  EraseSoftFIFO[ 0]      : 7\n  EraseSoftFIFO[ 1]      : 8\n"
                       "  HardFIFO[ 0]      : 9\n  HardFIFO[ 1]      : 10\n");
}

TEST(CmdQueueInfo, GeometryBeyondTheAnswerIsRefused)
{
    GeometryGuard guard;
    const std::vector<u8> data = QueueInfo({});
    std::string out = kEarlier;
    guard.Set(16, 8, 8296, 128);  // 176 depths: 374 bytes
    disk_model_code = 1;
    EXPECT_FALSE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
    guard.Set(0xFFFFFFFF, 0xFFFFFFFF, 1, 1);
    EXPECT_FALSE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
    // 2^63 depths: twice that wraps to 0 in 64 bits
    guard.Set(0x80000000, 0xFFFFFFFD, 1, 1);
    EXPECT_FALSE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
    disk_model_code = 0;
    guard.Set(59, 1, 1, 1);  // 118 depths: 258 bytes
    EXPECT_FALSE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
    guard.Set(2, 2, 1, 1);
    EXPECT_FALSE(ParseCmdQueueInfo(out, data.data(), 255, 2, nullptr));
    EXPECT_FALSE(ParseCmdQueueInfo(out, nullptr, 256, 2, nullptr));
    EXPECT_EQ(out, kEarlier);
    // 58 channels in the older layout fit: 254 bytes
    guard.Set(58, 1, 1, 1);
    EXPECT_TRUE(ParseCmdQueueInfo(out, data.data(), 256, 2, nullptr));
}

TEST(BlankBlockCount, CeMajorEntries)
{
    GeometryGuard guard;
    guard.Set(3, 2, 8296, 128);
    std::vector<u8> data(256);
    const u32 counts[6] = {0x1, 0xAB, 0xFFFF, 0x1234, 0x10, 0x0};
    for (u32 k = 0; k < 6; k++) {
        PutLe(data, 2 * k, counts[k], 2);
    }
    std::string out = kEarlier;
    ASSERT_TRUE(ParseBlankBlockCount(out, data.data(), 256, 4, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "    **** Total Channel = 3, Total CE = 2 ****\n"
                       "    CE = 00 Chan = 00 : 0x0001 \n"
                       "    CE = 00 Chan = 01 : 0x00ab \n"
                       "    CE = 00 Chan = 02 : 0xffff \n"
                       "    CE = 01 Chan = 00 : 0x1234 \n"
                       "    CE = 01 Chan = 01 : 0x0010 \n"
                       "    CE = 01 Chan = 02 : 0x0000 \n");
    out = kEarlier;
    guard.Set(16, 16, 8296, 128);  // 512 bytes of counts
    EXPECT_FALSE(ParseBlankBlockCount(out, data.data(), 256, 4, nullptr));
    // 2^63 + 2 counts: their byte count wraps to 4 in 64 bits
    guard.Set(0xFFFE0002, 0x80010001, 8296, 128);
    EXPECT_FALSE(ParseBlankBlockCount(out, data.data(), 256, 4, nullptr));
    guard.Set(3, 2, 8296, 128);
    EXPECT_FALSE(ParseBlankBlockCount(out, data.data(), 255, 4, nullptr));
    EXPECT_EQ(out, kEarlier);
    // no channels: only the heading, however many CEs the geometry claims
    guard.Set(0, 0xFFFFFFFF, 8296, 128);
    ASSERT_TRUE(ParseBlankBlockCount(out, data.data(), 256, 0, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + "**** Total Channel = 0, Total CE = -1 ****\n");
}

// ---- bad page rows, bit count, block type names ---------------------------------------

TEST(BadPageRecords, RowsWithoutIndentReplaceTheText)
{
    std::vector<u8> data;
    const u32 rows[2][5] = {{0x12, 0x1000, 0x2, 0x1, 0x40}, {0xDEADBEEF, 0xFFFFFFFF, 0x0, 0xAB, 0x123}};
    for (u32 r = 0; r < 2; r++) {
        for (u32 w = 0; w < 5; w++) {
            PutLe(data, 20 * r + 4 * w, rows[r][w], 4);
        }
    }
    data.resize(50, 0x5A);  // a partial third row
    std::string out = kEarlier;
    ASSERT_TRUE(ParseBadPageRecords(out, data.data(), 50, 8, nullptr));
    EXPECT_EQ(out, "Page      BLN    Time(H)     Time(L)   status  ECC-bit\n"
                   "   0        12         2        1000       1      40\n"
                   "   1  deadbeef         0    ffffffff      ab      123\n");
    ASSERT_TRUE(ParseBadPageRecords(out, data.data(), 0, 8, nullptr));
    EXPECT_EQ(out, "Page      BLN    Time(H)     Time(L)   status  ECC-bit\n");
    out = kEarlier;
    EXPECT_FALSE(ParseBadPageRecords(out, nullptr, 20, 8, nullptr));
    EXPECT_EQ(out, kEarlier);
}

TEST(CountSetBits, Words)
{
    const u32 cases[][2] = {{0, 0}, {0xFFFFFFFF, 32}, {0x80000001, 2}, {0x12345678, 13}, {0xF0F0F0F0, 16}};
    for (const auto& c : cases) {
        EXPECT_EQ(CountSetBits(c[0]), c[1]) << std::hex << c[0];
    }
}

struct BlockTypeCase {
    u32 code;
    const char* older;
    const char* newer;
};

void PrintTo(const BlockTypeCase& c, std::ostream* os) { *os << "code " << c.code; }

class BlockTypeNames : public ::testing::TestWithParam<BlockTypeCase> {};

TEST_P(BlockTypeNames, RowAndLayoutChoice)
{
    const BlockTypeCase& c = GetParam();
    ASSERT_LT(c.code, kBlockTypeNewNum);
    const BlockType& row = block_type_list[c.code];
    EXPECT_EQ(row.code, c.code);
    EXPECT_STREQ(row.newer, c.newer);
    EXPECT_EQ(strlen(row.newer), 10u);
    if (c.older == nullptr) {
        EXPECT_EQ(row.older, nullptr);
    } else {
        EXPECT_STREQ(row.older, c.older);
        EXPECT_EQ(strlen(row.older), 8u);
    }
    GeometryGuard guard;
    disk_model_code = 0;
    EXPECT_EQ(BlockTypeName(c.code), row.older);
    disk_model_code = 7;
    EXPECT_EQ(BlockTypeName(c.code), row.newer);
}

INSTANTIATE_TEST_SUITE_P(Codes, BlockTypeNames,
                         ::testing::Values(BlockTypeCase{0, "Data    ", "Data      "},
                                           BlockTypeCase{1, "Blank   ", "Blank     "},
                                           BlockTypeCase{2, "Snap    ", "Snap      "},
                                           BlockTypeCase{3, "Dirty   ", "Dirty     "},
                                           BlockTypeCase{4, "Bad_Era ", "Data_Sick "},
                                           BlockTypeCase{5, "Bad_Prg ", "Blank_Sick"},
                                           BlockTypeCase{6, "Bad_Ecc ", "Bad_False "},
                                           BlockTypeCase{7, "Bad_Unc ", "Bpt       "},
                                           BlockTypeCase{8, nullptr, "Bad       "},
                                           BlockTypeCase{9, nullptr, "Bad_P_U   "},
                                           BlockTypeCase{10, nullptr, "Bad_E_U   "},
                                           BlockTypeCase{11, nullptr, "Bad_U_U   "}),
                         CaseName());

TEST(BlockTypeNamesBeyond, NoNamePastEitherSet)
{
    EXPECT_EQ(BlockTypeName(8, false), nullptr);
    EXPECT_EQ(BlockTypeName(12, true), nullptr);
    EXPECT_EQ(BlockTypeName(0xFFFFFFFF, true), nullptr);
    EXPECT_STREQ(BlockTypeName(7, false), "Bad_Unc ");
}

// ---- refusals and dispatch ----------------------------------------------------------

struct RefuseCase {
    ParseFun fun;
    bool null_data;
    u32 len;
};

void PrintTo(const RefuseCase& c, std::ostream* os)
{
    *os << ParserText(c.fun) << " " << (c.null_data ? "null" : "data") << " len " << c.len;
}

class VendorTableRefused : public ::testing::TestWithParam<RefuseCase> {};

TEST_P(VendorTableRefused, LeavesTheTextAlone)
{
    const RefuseCase& c = GetParam();
    GeometryGuard guard;
    guard.Set(16, 4, 8296, 128);
    std::vector<u8> data(c.len + 1, 0x41);
    std::string out = kEarlier;
    EXPECT_FALSE(c.fun(out, c.null_data ? nullptr : data.data(), c.len, 4, nullptr));
    EXPECT_EQ(out, kEarlier);
}

INSTANTIATE_TEST_SUITE_P(Answers, VendorTableRefused,
                         ::testing::Values(RefuseCase{ParseDiskSpeed, true, 8}, RefuseCase{ParseDiskSpeed, false, 7},
                                           RefuseCase{ParseDiskSpeed, false, 9}, RefuseCase{ParseDiskFlag, true, 8},
                                           RefuseCase{ParseDiskFlag, false, 7}, RefuseCase{ParseDiskFlag, false, 16},
                                           RefuseCase{ParseBadPage, true, 20}, RefuseCase{ParseBadPage, false, 0}),
                         CaseName());

TEST(VendorTableDispatch, AnalyseReachesTheCallbacks)
{
    EnsureErrTable();
    EnsureCmndRegistry();
    DiskAnalyser::Init();
    GeometryGuard guard;
    guard.Set(1, 1, 1, 64);

    const std::vector<u8> speed = HexBytes("06 00 00 00 03 00 00 00");
    std::string out = kEarlier;
    int user_err = -1;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_C0H_GET_DISK_SPEED, speed.data(), 8, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, std::string(kEarlier) + "    P0 Speed : 6G\n    P1 Speed : 3G\n");

    out = kEarlier;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_C0H_GET_DISK_FLAG, HexBytes("5A 56 00 00 00 00 00 00").data(), 8,
                                      &user_err, 0, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + "Disk Flag :ZV\n");

    const std::vector<u8> pages = HexBytes("00 00 00 00 00 00 00 00 00 00 00 00");
    out = kEarlier;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_C0H_GET_BAD_PAGE, pages.data(), 12, &user_err, 4, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + "    No Bad Page!\n");

    const std::vector<u8> io = IoInfo();
    out = kEarlier;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_C0H_DISK_IO_INFO, io.data(), 64, &user_err, 4, nullptr));
    EXPECT_EQ(out.rfind(std::string(kEarlier) + "disk Io info:\n\thost read bytes:\t0000000000000000\n", 0), 0u);

    out = kEarlier;
    user_err = -1;
    EXPECT_FALSE(DiskAnalyser::Analyse(out, TYPE_C0H_GET_DISK_SPEED, speed.data(), 7, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, kEarlier);
}

}  // namespace
