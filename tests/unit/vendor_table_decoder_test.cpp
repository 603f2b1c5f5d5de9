// The SAS vendor answers and tables: golden texts worked out by hand from the answer
// layouts (little-endian words), refusals that leave the text alone, the paired-page
// rule and the dispatch by command type.
#include <gtest/gtest.h>

#include "case_names.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "settings.h"
#include "test_init.h"
#include "vendor_table_decoder.h"

namespace {

const char kEarlier[] = "earlier text\n";

std::vector<u8> Hex(const std::string& text)
{
    std::istringstream words(text);
    std::vector<u8> bytes;
    for (std::string w; words >> w;) {
        bytes.push_back(static_cast<u8>(std::stoul(w, nullptr, 16)));
    }
    return bytes;
}

void PutLe(std::vector<u8>& b, size_t off, u64 v, unsigned width)
{
    if (b.size() < off + width) {
        b.resize(off + width);
    }
    for (unsigned i = 0; i < width; i++) {
        b[off + i] = static_cast<u8>(v >> (8 * i));
    }
}

// Keeps the shared geometry and layout selector as the test found them.
class GeometryGuard {
public:
    GeometryGuard() : geometry_(disk_geometry), model_code_(disk_model_code) {}
    ~GeometryGuard()
    {
        disk_geometry = geometry_;
        disk_model_code = model_code_;
    }

    void Set(u32 channel, u32 ce, u32 block, u32 page_num)
    {
        disk_geometry.channel = channel;
        disk_geometry.ce = ce;
        disk_geometry.block = block;
        disk_geometry.page_num = page_num;
    }

private:
    DiskGeometry geometry_;
    u32 model_code_;
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
                         CaseIndexName());

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
    CaseIndexName());

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
    const std::vector<u8> data = Hex(c.bytes);
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
                         CaseIndexName());

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
                      PairCase{512, 200, 143, 146}, PairCase{512, 255, 253, 255}),
    CaseIndexName());

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
        BadPageCase{16, 4, 0, 128, {}, 40, 4, "    No Bad Page!\n"}),
    CaseIndexName());

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

// ---- refusals and dispatch ----------------------------------------------------------

struct RefuseCase {
    ParseFun fun;
    bool null_data;
    u32 len;
};

void PrintTo(const RefuseCase& c, std::ostream* os) { *os << (c.null_data ? "null" : "data") << " len " << c.len; }

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
                         CaseIndexName());

TEST(VendorTableDispatch, AnalyseReachesTheCallbacks)
{
    EnsureErrTable();
    EnsureCmndRegistry();
    DiskAnalyser::Init();
    GeometryGuard guard;
    guard.Set(1, 1, 1, 64);

    const std::vector<u8> speed = Hex("06 00 00 00 03 00 00 00");
    std::string out = kEarlier;
    int user_err = -1;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_C0H_GET_DISK_SPEED, speed.data(), 8, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, std::string(kEarlier) + "    P0 Speed : 6G\n    P1 Speed : 3G\n");

    out = kEarlier;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_C0H_GET_DISK_FLAG, Hex("5A 56 00 00 00 00 00 00").data(), 8,
                                      &user_err, 0, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + "Disk Flag :ZV\n");

    const std::vector<u8> pages = Hex("00 00 00 00 00 00 00 00 00 00 00 00");
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
