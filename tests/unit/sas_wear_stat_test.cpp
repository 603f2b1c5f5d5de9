// The SAS wear-level table: info word layouts, the counted-block rule, golden statistics
// texts and dump file bytes worked out by hand on small geometries, and refusals that
// leave the text and the files as they were. Every test runs in its own temporary
// working directory, where the dump files are written.
#include <gtest/gtest.h>

#include "case_names.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "disk_discovery.h"
#include "sas_wear_stat.h"
#include "settings.h"
#include "test_init.h"

namespace {

const char kEarlier[] = "earlier text\n";

struct Geometry {
    u32 channel, ce, block, page_num;
    u32 model_code;
};

// A table of the geometry: bitmap words filled with A5h so that reading them as the
// info word shows, every info word 0 until set.
class Table {
public:
    explicit Table(const Geometry& g) : g_(g), bytes_(Size(g), 0xA5)
    {
        for (u32 ce = 0; ce < g.ce; ce++) {
            for (u32 ch = 0; ch < g.channel; ch++) {
                for (u32 blk = 0; blk < g.block; blk++) {
                    Set(ce, ch, blk, 0);
                }
            }
        }
    }
    static size_t EntrySize(const Geometry& g) { return 4 * (g.page_num / 32) + 4; }
    static size_t Size(const Geometry& g) { return size_t(g.channel) * g.ce * g.block * EntrySize(g); }

    void Set(u32 ce, u32 ch, u32 blk, u32 info)
    {
        const size_t number = (size_t(ce) * g_.channel + ch) * g_.block + blk;
        const size_t at = number * EntrySize(g_) + EntrySize(g_) - 4;
        for (unsigned i = 0; i < 4; i++) {
            bytes_[at + i] = static_cast<u8>(info >> (8 * i));
        }
    }
    // The same info word in blocks [from, to) of every (channel, CE).
    void Fill(u32 from, u32 to, u32 info)
    {
        for (u32 ce = 0; ce < g_.ce; ce++) {
            for (u32 ch = 0; ch < g_.channel; ch++) {
                for (u32 blk = from; blk < to; blk++) {
                    Set(ce, ch, blk, info);
                }
            }
        }
    }
    const u8* data() const { return bytes_.data(); }
    u32 len() const { return static_cast<u32>(bytes_.size()); }

private:
    Geometry g_;
    std::vector<u8> bytes_;
};

std::string ReadAll(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteAll(const char* path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

bool Exists(const char* path) { return access(path, F_OK) == 0; }

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
    }
    return lines;
}

// One matrix cell: the number left-aligned in ten characters and a comma.
std::string Cell(const std::string& number) { return number + std::string(10 - number.size(), ' ') + ","; }

std::string Cells(const std::string& number, unsigned n)
{
    std::string s;
    for (unsigned i = 0; i < n; i++) {
        s += Cell(number);
    }
    return s;
}

std::string U32Bytes(const std::vector<u32>& values)
{
    std::string s;
    for (u32 v : values) {
        for (unsigned i = 0; i < 4; i++) {
            s += static_cast<char>(v >> (8 * i));
        }
    }
    return s;
}

// A temporary working directory and the shared geometry, both restored afterwards.
class WearStatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(old_cwd_, sizeof(old_cwd_)), nullptr);
        char tmpl[] = "/tmp/zv_wear_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(old_cwd_), 0);
        const std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    static void Use(const Geometry& g)
    {
        disk_geometry.channel = g.channel;
        disk_geometry.ce = g.ce;
        disk_geometry.block = g.block;
        disk_geometry.page_num = g.page_num;
        disk_model_code = g.model_code;
    }
    // One channel, two CEs, 18 newer-layout blocks (12-byte entries, first 16 blocks left out):
    // erase counts 3 and 7 on CE 0; on CE 1 a bad block (type 8, in the matrix only) and a
    // type 1 block of erase count 7FFFFh.
    static Table UseNewerTwoCeTable()
    {
        const Geometry g = {1, 2, 18, 64, 1};
        Use(g);
        Table t(g);
        t.Fill(0, 16, 1000);
        t.Set(0, 0, 16, 3);
        t.Set(0, 0, 17, 7);
        t.Set(1, 0, 16, 0x00400009);
        t.Set(1, 0, 17, 0xFF8FFFFF);
        return t;
    }
    // Two channels, two CEs, one older-layout block each (S = 128: nothing counted), bad ones among them.
    static Table UseOlderTwoByTwoTable()
    {
        const Geometry g = {2, 2, 1, 0, 0};
        Use(g);
        Table t(g);
        t.Set(0, 0, 0, 0x00400005);
        t.Set(0, 1, 0, 0xFF8FFFFF);
        t.Set(1, 0, 0, 0x00000010);
        t.Set(1, 1, 0, 0x00300007);
        return t;
    }

private:
    SettingsGuard settings_;
    char old_cwd_[4096];
    std::string dir_;
};

// ---- the info word ------------------------------------------------------------------

struct InfoCase {
    u32 info;
    bool newer;
    u32 erase_count, type, invalid;
    bool bad;
    const char* name;
};

void PrintTo(const InfoCase& c, std::ostream* os) { *os << std::hex << c.info << (c.newer ? " newer" : " older"); }

class WearInfoWord : public ::testing::TestWithParam<InfoCase> {};

TEST_P(WearInfoWord, FieldsOfTheLayout)
{
    const InfoCase& c = GetParam();
    const WearLevelEntry e = {c.info, c.newer};
    EXPECT_EQ(e.EraseCount(), c.erase_count);
    EXPECT_EQ(e.Type(), c.type);
    EXPECT_EQ(e.InvalidPages(), c.invalid);
    EXPECT_EQ(e.Bad(), c.bad);
    EXPECT_STREQ(e.TypeName(), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WearInfoWord,
    ::testing::Values(InfoCase{0x00400005, false, 5, 4, 0, true, "Bad_Era "},
                      InfoCase{0x00400005, true, 5, 8, 0, true, "Bad       "},
                      InfoCase{0xFF8FFFFF, false, 0xFFFFF, 0, 0x1FF, false, "Data    "},
                      InfoCase{0xFF8FFFFF, true, 0x7FFFF, 1, 0x1FF, false, "Blank     "},
                      // bit 19 counts erases in the older layout, types in the newer one
                      InfoCase{0x00380000, false, 0x80000, 3, 0, false, "Dirty   "},
                      InfoCase{0x00380000, true, 0, 7, 0, false, "Bpt       "},
                      InfoCase{0x80000000, false, 0, 0, 0x100, false, "Data    "},
                      InfoCase{0x00700000, false, 0, 7, 0, true, "Bad_Unc "},
                      InfoCase{0x00580000, true, 0, 11, 0, true, "Bad_U_U   "},
                      // newer types 12 to 15 have no name of their own
                      InfoCase{0x00600000, true, 0, 12, 0, true, "Unknown   "},
                      InfoCase{0x007FFFFF, true, 0x7FFFF, 15, 0, true, "Unknown   "}),
    CaseName());

// ---- statistics -------------------------------------------------------------------------

TEST_F(WearStatTest, NewerLayoutStatisticsAndMatrix)
{
    const Table t = UseNewerTwoCeTable();
    std::string out = kEarlier;
    ASSERT_TRUE(PrintCeWearStatistics(out, t.data(), t.len()));
    EXPECT_EQ(out, " ch, ce, blk_cnt, max, min, average, devsq\n"
                   "0, 0,    2,  7,  3,    5,     4\n"
                   "0, 1,    1,  524287,  524287,    524287,     0\n"
                   "\n\n"
                   "ch00_ce00,ch00_ce01,\n"
                   "3         ,9         ,\n"
                   "7         ,524287    ,\n");
    EXPECT_FALSE(Exists(kWitTableFile));
    EXPECT_FALSE(Exists(kBlockTableFile));
}

TEST_F(WearStatTest, OlderLayoutLeavesOutFirstBlocksAndBadOnes)
{
    const Geometry g = {16, 2, 18, 32, 0};  // S = 512 / 32 = 16
    Use(g);
    Table t(g);
    t.Fill(0, 16, 77777);
    t.Fill(16, 17, 4);
    t.Fill(17, 18, 6);
    t.Set(0, 1, 16, 0x00400005);   // Bad_Era, erase count 5
    t.Set(0, 2, 16, 0x00400005);   // both counted blocks bad
    t.Set(0, 2, 17, 0x00700010);   // Bad_Unc, erase count 16
    t.Set(1, 15, 16, 0x000FFFFF);  // largest older erase count
    t.Set(1, 15, 17, 1);
    std::string out = kEarlier;
    ASSERT_TRUE(PrintCeWearStatistics(out, t.data(), t.len()));
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 1u + 32 + 2 + 1 + 2);
    EXPECT_EQ(lines[0], " ch, ce, blk_cnt, max, min, average, devsq");
    EXPECT_EQ(lines[1], "0, 0,    2,  6,  4,    5,     1");
    EXPECT_EQ(lines[2], "1, 0,    1,  6,  6,    6,     0");
    EXPECT_EQ(lines[3], "2, 0,    0,  0,  0,    0,     0");
    EXPECT_EQ(lines[16], "15, 0,    2,  6,  4,    5,     1");
    EXPECT_EQ(lines[17], "0, 1,    2,  6,  4,    5,     1");
    EXPECT_EQ(lines[32], "15, 1,    2,  1048575,  1,    524288,     274876858369");
    EXPECT_EQ(lines[33], "");
    EXPECT_EQ(lines[34], "");
    EXPECT_EQ(lines[35], "ch00_ce00,ch01_ce00,ch02_ce00,ch03_ce00,ch04_ce00,ch05_ce00,ch06_ce00,ch07_ce00,"
                         "ch08_ce00,ch09_ce00,ch10_ce00,ch11_ce00,ch12_ce00,ch13_ce00,ch14_ce00,ch15_ce00,"
                         "ch00_ce01,ch01_ce01,ch02_ce01,ch03_ce01,ch04_ce01,ch05_ce01,ch06_ce01,ch07_ce01,"
                         "ch08_ce01,ch09_ce01,ch10_ce01,ch11_ce01,ch12_ce01,ch13_ce01,ch14_ce01,ch15_ce01,");
    // block 16, then 17; bad blocks keep their erase count in the matrix
    EXPECT_EQ(lines[36], Cell("4") + Cell("5") + Cell("5") + Cells("4", 28) + Cell("1048575"));
    EXPECT_EQ(lines[37], Cells("6", 2) + Cell("16") + Cells("6", 28) + Cell("1"));
}

struct SkipCase {
    u32 channel, ce;
    u32 model_code;
    u32 skipped;  // S
};

void PrintTo(const SkipCase& c, std::ostream* os)
{
    *os << c.channel << "x" << c.ce << " model " << c.model_code << " S " << c.skipped;
}

class CountedBlocks : public WearStatTest, public ::testing::WithParamInterface<SkipCase> {};

// Two counted blocks after S others: the statistics see only the two, and the matrix
// has a row for each of them alone.
TEST_P(CountedBlocks, FirstBlocksOfEveryUnitLeftOut)
{
    const SkipCase& c = GetParam();
    const Geometry g = {c.channel, c.ce, c.skipped + 2, 0, c.model_code};  // 4-byte entries
    Use(g);
    Table t(g);
    t.Fill(0, c.skipped, 900);
    t.Fill(c.skipped, c.skipped + 1, 2);
    t.Fill(c.skipped + 1, c.skipped + 2, 8);
    std::string out;
    ASSERT_TRUE(PrintCeWearStatistics(out, t.data(), t.len()));
    const std::vector<std::string> lines = Lines(out);
    const size_t units = size_t(c.channel) * c.ce;
    ASSERT_EQ(lines.size(), 1 + units + 3 + 2);
    EXPECT_EQ(lines[1], "0, 0,    2,  8,  2,    5,     9");
    EXPECT_EQ(lines[units], std::to_string(c.channel - 1) + ", " + std::to_string(c.ce - 1) +
                                ",    2,  8,  2,    5,     9");
    EXPECT_EQ(lines[units + 4], Cells("2", unsigned(units)));
    EXPECT_EQ(lines[units + 5], Cells("8", unsigned(units)));
}

INSTANTIATE_TEST_SUITE_P(Rule, CountedBlocks,
                         ::testing::Values(SkipCase{16, 2, 0, 16}, SkipCase{8, 4, 0, 16}, SkipCase{4, 1, 0, 128},
                                           // integer division
                                           SkipCase{3, 1, 0, 170}, SkipCase{24, 1, 0, 21},
                                           // more than 512 units: nothing left out
                                           SkipCase{32, 17, 0, 0}, SkipCase{16, 2, 1, 16},
                                           SkipCase{10, 1, 2, 25}, SkipCase{10, 4, 7, 25},
                                           SkipCase{8, 1, 1, 16}, SkipCase{20, 1, 1, 16}),
                         CaseName());

TEST_F(WearStatTest, NewerLayoutWithTenChannels)
{
    const Geometry g = {10, 1, 26, 0, 3};
    Use(g);
    Table t(g);
    t.Fill(0, 25, 500);
    for (u32 ch = 0; ch < 10; ch++) {
        t.Set(0, ch, 25, ch + 1);
    }
    std::string out;
    ASSERT_TRUE(PrintCeWearStatistics(out, t.data(), t.len()));
    EXPECT_EQ(out, " ch, ce, blk_cnt, max, min, average, devsq\n"
                   "0, 0,    1,  1,  1,    1,     0\n"
                   "1, 0,    1,  2,  2,    2,     0\n"
                   "2, 0,    1,  3,  3,    3,     0\n"
                   "3, 0,    1,  4,  4,    4,     0\n"
                   "4, 0,    1,  5,  5,    5,     0\n"
                   "5, 0,    1,  6,  6,    6,     0\n"
                   "6, 0,    1,  7,  7,    7,     0\n"
                   "7, 0,    1,  8,  8,    8,     0\n"
                   "8, 0,    1,  9,  9,    9,     0\n"
                   "9, 0,    1,  10,  10,    10,     0\n"
                   "\n\n"
                   "ch00_ce00,ch01_ce00,ch02_ce00,ch03_ce00,ch04_ce00,ch05_ce00,ch06_ce00,ch07_ce00,ch08_ce00,"
                   "ch09_ce00,\n"
                   "1         ,2         ,3         ,4         ,5         ,6         ,7         ,8         ,"
                   "9         ,10        ,\n");
}

// 8193 erase counts of 7FFFFh add up past 32 bits; the average must not wrap with them.
TEST_F(WearStatTest, SumBeyondThirtyTwoBits)
{
    const Geometry g = {1, 1, 16 + 8193, 0, 1};
    Use(g);
    Table t(g);
    t.Fill(0, g.block, 0x7FFFF);
    std::string out;
    ASSERT_TRUE(PrintCeWearStatistics(out, t.data(), t.len()));
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 2u + 3 + 8193);
    EXPECT_EQ(lines[1], "0, 0,    8193,  524287,  524287,    524287,     0");
}

// ---- WitTable.bin -------------------------------------------------------------------------

TEST_F(WearStatTest, WitTableHoldsEveryMaskedEraseCount)
{
    const Table t = UseNewerTwoCeTable();
    WriteAll(kWitTableFile, std::string(500, 'x'));  // replaced, not appended to
    std::string out = kEarlier;
    ASSERT_TRUE(SaveWitTable(out, t.data(), t.len(), 4));
    EXPECT_EQ(out, " ch  ce   blk_cnt   max  min   average   devsq\n"
                   " 0  0       2     7     3       5     4\n"
                   " 0  1       1  524287  524287    524287     0\n");
    std::vector<u32> want(16, 1000);
    want.push_back(3);
    want.push_back(7);
    want.insert(want.end(), 16, 1000);
    want.push_back(9);
    want.push_back(0x7FFFF);
    EXPECT_EQ(ReadAll(kWitTableFile), U32Bytes(want));
    EXPECT_FALSE(Exists(kBlockTableFile));
}

TEST_F(WearStatTest, WitTableOlderLayoutWritesBadBlocksToo)
{
    const Table t = UseOlderTwoByTwoTable();
    std::string out;
    ASSERT_TRUE(SaveWitTable(out, t.data(), t.len(), 0));
    EXPECT_EQ(out, " ch  ce   blk_cnt   max  min   average   devsq\n"
                   " 0  0       0     0     0       0     0\n"
                   " 1  0       0     0     0       0     0\n"
                   " 0  1       0     0     0       0     0\n"
                   " 1  1       0     0     0       0     0\n");
    EXPECT_EQ(ReadAll(kWitTableFile), U32Bytes({5, 0xFFFFF, 0x10, 7}));
}

// ---- BlockTable.txt -----------------------------------------------------------------------

TEST_F(WearStatTest, BlockTableNewerLayout)
{
    const Geometry g = {1, 2, 2, 32, 3};
    Use(g);
    Table t(g);
    t.Set(0, 0, 0, 0x80000000);
    t.Set(0, 0, 1, 0x00780ABC);
    t.Set(1, 0, 0, 0x0FC81234);
    t.Set(1, 0, 1, 0x005FFFFF);
    WriteAll(kBlockTableFile, "old table\n");
    std::string out = kEarlier;
    ASSERT_TRUE(SaveBlockTable(out, t.data(), t.len(), 4));
    EXPECT_EQ(out, std::string(kEarlier) + "    Original binary data is saved to BlockTable.txt\n");
    EXPECT_EQ(ReadAll(kBlockTableFile),
              "**** Total Channel = 1, Total CE = 2, Total Block = 2 ****\n"
              "     ******* ch=0 ce=0*******\n"
              "Blk =    0    EraseCnt = 0x   0     Invalid = 0x100   Type = Data       \n"
              "Blk =    1    EraseCnt = 0x ABC     Invalid = 0x 0   Type = Unknown    \n"
              "     ******* ch=0 ce=1*******\n"
              "Blk =    0    EraseCnt = 0x1234     Invalid = 0x1F   Type = Bad_P_U    \n"
              "Blk =    1    EraseCnt = 0x7FFFF     Invalid = 0x 0   Type = Bad_U_U    \n");
    EXPECT_FALSE(Exists(kWitTableFile));
}

TEST_F(WearStatTest, BlockTableOlderLayout)
{
    const Table t = UseOlderTwoByTwoTable();
    std::string out = kEarlier;
    ASSERT_TRUE(SaveBlockTable(out, t.data(), t.len(), 30));
    EXPECT_EQ(out, std::string(kEarlier) + std::string(20, ' ') + "Original binary data is saved to BlockTable.txt\n");
    EXPECT_EQ(ReadAll(kBlockTableFile),
              "**** Total Channel = 2, Total CE = 2, Total Block = 1 ****\n"
              "     ******* ch=0 ce=0*******\n"
              "Blk =    0    EraseCnt = 0x   5     Invalid = 0x 0   Type = Bad_Era  \n"
              "     ******* ch=1 ce=0*******\n"
              "Blk =    0    EraseCnt = 0xFFFFF     Invalid = 0x1FF   Type = Data     \n"
              "     ******* ch=0 ce=1*******\n"
              "Blk =    0    EraseCnt = 0x  10     Invalid = 0x 0   Type = Data     \n"
              "     ******* ch=1 ce=1*******\n"
              "Blk =    0    EraseCnt = 0x   7     Invalid = 0x 0   Type = Dirty    \n");
}

// ---- refusals -------------------------------------------------------------------------------

enum Consumer { kStatistics, kWitTable, kBlockTable };

bool RunConsumer(Consumer c, std::string& out, const u8* table, u32 len)
{
    switch (c) {
    case kStatistics:
        return PrintCeWearStatistics(out, table, len);
    case kWitTable:
        return SaveWitTable(out, table, len, 4);
    default:
        return SaveBlockTable(out, table, len, 4);
    }
}

struct RefuseCase {
    Geometry geometry;
    bool null_table;
    int len_delta;  // against the length the geometry needs, for a real buffer of that length
    u32 len;        // when the geometry's need cannot be a buffer: this length of zeros
};

void PrintTo(const RefuseCase& c, std::ostream* os)
{
    *os << c.geometry.channel << "x" << c.geometry.ce << "x" << c.geometry.block << " P " << c.geometry.page_num
        << " model " << c.geometry.model_code << (c.null_table ? " null table" : "") << " length "
        << (c.len != 0 ? std::to_string(c.len) : "needed " + std::to_string(c.len_delta));
}

class WearRefused : public WearStatTest, public ::testing::WithParamInterface<std::tuple<Consumer, RefuseCase>> {};

TEST_P(WearRefused, NoTextNoFileTouched)
{
    const Consumer consumer = std::get<0>(GetParam());
    const RefuseCase& c = std::get<1>(GetParam());
    Use(c.geometry);
    std::vector<u8> table;
    if (c.len != 0) {
        table.assign(c.len, 0);
    } else {
        table.assign(Table::Size(c.geometry) + c.len_delta, 0);
    }
    WriteAll(kWitTableFile, "old wit");
    WriteAll(kBlockTableFile, "old block");
    std::string out = kEarlier;
    EXPECT_FALSE(RunConsumer(consumer, out, c.null_table ? nullptr : table.data(), u32(table.size())));
    EXPECT_EQ(out, kEarlier);
    EXPECT_EQ(ReadAll(kWitTableFile), "old wit");
    EXPECT_EQ(ReadAll(kBlockTableFile), "old block");
}

const RefuseCase kRefuseCases[] = {
    {{2, 2, 20, 64, 0}, true, 0, 0},
    {{2, 2, 20, 64, 0}, false, -1, 0},
    {{2, 2, 20, 64, 1}, false, -1, 0},
    // no channels, CEs or blocks: an empty table
    {{0, 2, 20, 64, 0}, false, 0, 64},
    {{2, 0, 20, 64, 1}, false, 0, 64},
    {{2, 2, 0, 64, 1}, false, 0, 64},
    // 2^16 x 2^16 x 2^16 entries of 2^16 bytes: the product wraps to 0 in 64 bits
    {{0x10000, 0x10000, 0x10000, 524256, 1}, false, 0, 64},
    {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0}, false, 0, 64},
};

INSTANTIATE_TEST_SUITE_P(Tables, WearRefused,
                         ::testing::Combine(::testing::Values(kStatistics, kWitTable, kBlockTable),
                                            ::testing::ValuesIn(kRefuseCases)),
                         CaseName());

struct DumpCase {
    Consumer consumer;
    const char* file;
};

void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.file; }

class DumpNotWritten : public WearStatTest, public ::testing::WithParamInterface<DumpCase> {};

// A directory in the file's place cannot be removed nor opened as the file.
TEST_P(DumpNotWritten, FileCannotBeCreated)
{
    const DumpCase& c = GetParam();
    const Geometry g = {2, 1, 2, 32, 0};
    Use(g);
    Table t(g);
    ASSERT_EQ(mkdir(c.file, 0755), 0);
    WriteAll((std::string(c.file) + "/keep").c_str(), "kept");
    std::string out = kEarlier;
    EXPECT_FALSE(RunConsumer(c.consumer, out, t.data(), t.len()));
    EXPECT_EQ(out, kEarlier);
    EXPECT_EQ(ReadAll((std::string(c.file) + "/keep").c_str()), "kept");
}

// Writes cut short by the file size limit: no partial dump is left behind.
TEST_P(DumpNotWritten, ShortWriteLeavesNoFile)
{
    const DumpCase& c = GetParam();
    const Geometry g = {4, 2, 40, 32, 1};  // 1280 bytes in WitTable.bin, more as text
    Use(g);
    Table t(g);
    WriteAll(c.file, "old");
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string out = kEarlier;
    const bool ok = RunConsumer(c.consumer, out, t.data(), t.len());
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, kEarlier);
    EXPECT_FALSE(Exists(c.file));
}

// A symbolic link under the name is replaced itself; the file it points to is kept.
TEST_P(DumpNotWritten, LinkReplacedTargetKept)
{
    const DumpCase& c = GetParam();
    const Geometry g = {2, 1, 2, 32, 0};
    Use(g);
    Table t(g);
    WriteAll("target", "target bytes");
    ASSERT_EQ(symlink("target", c.file), 0);
    std::string out;
    ASSERT_TRUE(RunConsumer(c.consumer, out, t.data(), t.len()));
    EXPECT_EQ(ReadAll("target"), "target bytes");
    struct stat st;
    ASSERT_EQ(lstat(c.file, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

INSTANTIATE_TEST_SUITE_P(Files, DumpNotWritten,
                         ::testing::Values(DumpCase{kWitTable, kWitTableFile}, DumpCase{kBlockTable, kBlockTableFile}),
                         CaseName());

enum NodeKind { kFifo, kSocket, kEmptyDirectory };

// Makes a node of the kind under name; its file type, or 0 when it could not be made.
mode_t MakeNode(NodeKind kind, const char* name)
{
    switch (kind) {
    case kFifo:
        if (mkfifo(name, 0644) != 0) {
            return 0;
        }
        return S_IFIFO;
    case kSocket: {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0) {
            return 0;
        }
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", name);
        const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
        close(fd);
        return bound ? S_IFSOCK : 0;
    }
    default:
        return mkdir(name, 0755) == 0 ? S_IFDIR : 0;
    }
}

class DumpOverNode : public WearStatTest,
                     public ::testing::WithParamInterface<std::tuple<DumpCase, NodeKind>> {};

// Under the dump's name stands something that is not an old dump: it stays, and the
// call fails without text.
TEST_P(DumpOverNode, NodeIsNeitherRemovedNorWritten)
{
    const DumpCase& c = std::get<0>(GetParam());
    const Geometry g = {2, 1, 2, 32, 0};
    Use(g);
    Table t(g);
    const mode_t type = MakeNode(std::get<1>(GetParam()), c.file);
    ASSERT_NE(type, 0u);
    std::string out = kEarlier;
    EXPECT_FALSE(RunConsumer(c.consumer, out, t.data(), t.len()));
    EXPECT_EQ(out, kEarlier);
    struct stat st;
    ASSERT_EQ(lstat(c.file, &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, type);
}

INSTANTIATE_TEST_SUITE_P(Files, DumpOverNode,
                         ::testing::Combine(::testing::Values(DumpCase{kWitTable, kWitTableFile},
                                                              DumpCase{kBlockTable, kBlockTableFile}),
                                            ::testing::Values(kFifo, kSocket, kEmptyDirectory)),
                         CaseName());

}  // namespace
