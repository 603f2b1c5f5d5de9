#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "disk_info.h"
#include "msg_processor.h"
#include "smart_decoder.h"

namespace {

const char* const kAtaHeading =
    "( ID )Attribute Name                  Cur   Worst  Thres     Flag    Type    Updated          Raw\n";
const char* const kValueHeading = "( ID )Attribute Name                                Cur\n";
const char* const kThresholdHeading = "( ID )Attribute Name                  Cur    Max    Min    Thres     Flag\n";

struct NameRow {
    u8 id;
    const char* name;
};

const NameRow k4410_expected[] = {
    {0x05, "Reallocated Sector Count"},
    {0x09, "Power-On Houres"},
    {0x0C, "Device Power Cycle Count"},
    {0x0D, "Soft Read Rate"},
    {0xB1, "Wear Leveling Count"},
    {0xC2, "Disk Temperature"},
    {0xC3, "Recovered ECC Error Count"},
    {0xC5, "Current Pending Sector"},
    {0xC6, "Offline Uncorrectable"},
    {0xC7, "CRC Error Count"},
    {0xD2, "Disk Page Size"},
    {0xE5, "Reserved Block"},
    {0xE8, "Defect Block"},
    {0xE9, "Total Erase Count"},
    {0xEA, "Block Erase Fail Count"},
    {0xEB, "Block Program Fail Count"},
    {0xEC, "New Bad Block Count"},
    {0xED, "Command Timeout Count"},
    {0xEE, "ECC Error Count"},
    {0xF1, "Map-Table Rebuild Count"},
    {0xF2, "Capacitor Status"},
    {0xF3, "Former Power Cycle CRC Error"},
    {0xF4, "Total CRC Count"},
    {0xF5, "Reset Count"},
    {0xF6, "End to End Error"},
    {0xF7, "Highest Temperature"},
    {0xF9, "Soft Reset Count"},
    {0xFB, "Disk Life Expend"},
};

const NameRow g2t7_k6410_expected[] = {
    {0x01, "Raw Read Error Rate"},
    {0x02, "Raw Write Error Rate"},
    {0x03, "Soft Read Error Rate"},
    {0x04, "Block Erase Fail Rate"},
    {0x09, "Power-On Minutes"},
    {0x0C, "Device Power Cycle Count"},
    {0x0D, "Soft Read Count"},
    {0xC2, "Disk Temperature"},
    {0xC4, "Reallocation count"},
    {0xC7, "CRC Error Count(P0)"},
    {0xC8, "CRC Error Count(P1)"},
    {0xD2, "Page Size"},
    {0xE1, "Rebuild Flag"},
    {0xE8, "Defect Block"},
    {0xE9, "Total Erase Count"},
    {0xEA, "Block Erase Fail Count"},
    {0xEB, "Block Program Fail Count"},
    {0xEC, "New Bad Block Count"},
    {0xEE, "UNC Error Count"},
    {0xF1, "Map-Table Rebuild Count"},
    {0xF2, "Capacitor Status"},
    {0xF3, "Former Pow_Cyc CRC Error(P0)"},
    {0xF4, "Former Pow_Cyc CRC Error(P1)"},
    {0xF5, "Hard Reset Count(P0)"},
    {0xF6, "Hard Reset Count(P1)"},
    {0xF7, "Highest Temperature"},
    {0xF8, "8b/10b Error Count(P0)"},
    {0xF9, "8b/10b Error Count(P1)"},
    {0xFA, "Current_Pending_Sector"},
    {0xFB, "Disk Life Expend"},
};

const NameRow generic_expected[] = {
    {0x01, "Raw read error rate"},
    {0x02, "Throughput performance"},
    {0x03, "Spinup time"},
    {0x04, "Start/Stop count"},
    {0x05, "Reallocated sector count"},
    {0x06, "Read channel margin"},
    {0x07, "Seek error rate"},
    {0x08, "Seek timer performance"},
    {0x09, "Power-on hours count"},
    {0x0A, "Spinup retry count"},
    {0x0B, "Calibration retry count"},
    {0x0C, "Power cycle count"},
    {0x0D, "Soft read error rate"},
    {0xBB, "vendor-specific"},
    {0xBD, "vendor-specific"},
    {0xBE, "vendor-specific"},
    {0xBF, "G-sense error rate"},
    {0xC0, "Power-off retract count"},
    {0xC1, "Load/Unload cycle count"},
    {0xC2, "HDA temperature"},
    {0xC3, "Hardware ECC recovered"},
    {0xC4, "Reallocation count"},
    {0xC5, "Current pending sector count"},
    {0xC6, "Offline uncorrectable count"},
    {0xC7, "UDMA CRC error rate"},
    {0xC8, "Write error rate"},
    {0xC9, "Soft read error rate"},
    {0xCA, "Data Address Mark errors"},
    {0xCB, "Run out cancel"},
    {0xCC, "Soft ECC correction"},
    {0xCD, "Thermal asperity rate"},
    {0xCE, "Flying height"},
    {0xCF, "Spin high current"},
    {0xD0, "Spin buzz"},
    {0xD1, "Offline seek performance"},
    {0xDC, "Disk shift"},
    {0xDD, "G-sense error rate"},
    {0xDE, "Load/Unload retry count"},
    {0xE0, "Load frication"},
    {0xE1, "Load/Unload cycle count"},
    {0xE2, "Load-in time"},
    {0xE3, "Torque amplification count"},
    {0xE4, "Power-off retract count"},
    {0xE6, "GMR head amplitude"},
    {0xE7, "Temperature"},
    {0xF0, "Head flying hours"},
    {0xFA, "Read error retry rate"},
};

// Names are stored padded to 28 columns; two keep their own widths.
std::string Stored(const char* name)
{
    std::string s = name;
    size_t width = s == "Power-On Minutes" ? 29 : s == "Page Size" ? 22 : 28;
    s.append(width - s.size(), ' ');
    return s;
}

struct NameTableCase {
    u32 table;
    const NameRow* rows;
    size_t count;
};

void PrintTo(const NameTableCase& c, std::ostream* os) { *os << "family " << c.table; }

class SmartNames : public ::testing::TestWithParam<NameTableCase> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_P(SmartNames, EveryIdOfTheTable)
{
    const NameTableCase& c = GetParam();
    ASSERT_EQ(vec_smart_attr_name.size(), 5u);
    const std::vector<std::string>& table = vec_smart_attr_name[c.table];
    ASSERT_EQ(table.size(), 256u);
    std::vector<std::string> expected(256, "Unknown");
    for (size_t i = 0; i < c.count; i++) {
        expected[c.rows[i].id] = Stored(c.rows[i].name);
    }
    for (u32 id = 0; id < 256; id++) {
        EXPECT_EQ(table[id], expected[id]) << "table " << c.table << " id " << id;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, SmartNames,
    ::testing::Values(NameTableCase{VER_P37RV, nullptr, 0},
                      NameTableCase{VER_K4410, k4410_expected, sizeof(k4410_expected) / sizeof(NameRow)},
                      NameTableCase{VER_G2T7, g2t7_k6410_expected, sizeof(g2t7_k6410_expected) / sizeof(NameRow)},
                      NameTableCase{VER_K6410, g2t7_k6410_expected, sizeof(g2t7_k6410_expected) / sizeof(NameRow)},
                      NameTableCase{VER_UNKNOWN, generic_expected, sizeof(generic_expected) / sizeof(NameRow)}),
    CaseName());

// A 1024-byte SMART READ DATA + THRESHOLDS answer.
struct AtaPage {
    u8 bytes[1024] = {};
    void Slot(u32 i, u8 id, u16 flags, u8 cur, u8 worst, u64 raw7, u8 thresh)
    {
        u8* s = bytes + 2 + 12 * i;
        s[0] = id;
        s[1] = u8(flags);
        s[2] = u8(flags >> 8);
        s[3] = cur;
        s[4] = worst;
        for (int b = 0; b < 7; b++) {
            s[5 + b] = u8(raw7 >> (8 * b));
        }
        bytes[512 + 3 + 12 * i] = thresh;
    }
};

const u32 kNoDisk = 0xFFFFFFFF;

struct AtaRowCase {
    u32 smart_ver;  // kNoDisk: null context
    u8 id;
    u16 flags;
    u8 cur, worst, thresh;
    u64 raw;
    const char* row;
};

void PrintTo(const AtaRowCase& c, std::ostream* os)
{
    *os << "family " << c.smart_ver << std::hex << " attribute " << unsigned(c.id) << "h flags " << c.flags << "h"
        << std::dec << " raw " << c.raw;
}

class AtaSmartRow : public ::testing::TestWithParam<AtaRowCase> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_P(AtaSmartRow, ExactText)
{
    const AtaRowCase& c = GetParam();
    AtaPage page;
    page.Slot(3, c.id, c.flags, c.cur, c.worst, c.raw, c.thresh);
    DiskInfo disk;
    disk.smart_ver = c.smart_ver;
    std::string out;
    ASSERT_TRUE(ParseAtaSmartValueThres(out, page.bytes, sizeof(page.bytes), 0, c.smart_ver == kNoDisk ? nullptr : &disk));
    EXPECT_EQ(out, std::string(kAtaHeading) + c.row + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AtaSmartRow,
    ::testing::Values(
        // flags 0003h; raw byte 0 and the slot's last byte: bit 48
        AtaRowCase{VER_K4410, 0x05, 0x0003, 100, 99, 10, 0x01000000000001ull,
                   "(0x05)" "Reallocated Sector Count    " "    100" "     99" "     10" "        3"
                   "   Pre_fail" "   Always " "  281474976710657"},
        // 29-column name moves the row one column right; 0032h shows as 50
        AtaRowCase{VER_G2T7, 0x09, 0x0032, 100, 100, 0, 1234,
                   "(0x09)" "Power-On Minutes             " "    100" "    100" "      0" "       50"
                   "   Old_age " "   Always " "        1234"},
        AtaRowCase{VER_K6410, 0x09, 0x0032, 100, 100, 0, 1234,
                   "(0x09)" "Power-On Minutes             " "    100" "    100" "      0" "       50"
                   "   Old_age " "   Always " "        1234"},
        AtaRowCase{VER_K4410, 0x09, 0x0002, 0, 0, 0, 0,
                   "(0x09)" "Power-On Houres             " "      0" "      0" "      0" "        2"
                   "   Old_age " "   Always " "           0"},
        AtaRowCase{VER_UNKNOWN, 0x09, 0x0000, 1, 2, 3, 0,
                   "(0x09)" "Power-on hours count        " "      1" "      2" "      3" "        0"
                   "   Old_age " "   Offline" "           0"},
        AtaRowCase{VER_G2T7, 0xD2, 0x0000, 0, 0, 0, 0,
                   "(0xD2)" "Page Size                   " "      0" "      0" "      0" "        0"
                   "   Old_age " "   Offline" "           0"},
        // no names in the family's table
        AtaRowCase{VER_P37RV, 0x05, 0x0001, 0, 0, 0, 0,
                   "(0x05)" "Unknown                     " "      0" "      0" "      0" "        1"
                   "   Pre_fail" "   Offline" "           0"},
        // null context: generic names; largest values of every field
        AtaRowCase{kNoDisk, 0xAA, 0xFFFF, 255, 255, 255, 0xFFFFFFFFFFFFFFull,
                   "(0xAA)" "Unknown                     " "    255" "    255" "    255" "    65535"
                   "   Pre_fail" "   Always " "  72057594037927935"},
        AtaRowCase{kNoDisk, 0xC2, 0x0000, 0, 0, 0, 0,
                   "(0xC2)" "HDA temperature             " "      0" "      0" "      0" "        0"
                   "   Old_age " "   Offline" "           0"},
        // a family value outside the tables must not index past them
        AtaRowCase{7, 0xC2, 0x0000, 0, 0, 0, 0,
                   "(0xC2)" "HDA temperature             " "      0" "      0" "      0" "        0"
                   "   Old_age " "   Offline" "           0"}),
    CaseName());

class AtaSmartTable : public ::testing::Test {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_F(AtaSmartTable, SlotOrderThresholdBySlotIndentClampedTextReplaced)
{
    AtaPage page;
    page.Slot(1, 0x0C, 0x0013, 98, 97, 5, 7);
    page.Slot(29, 0xFB, 0x0000, 1, 1, 0x0A0B, 9);
    // The threshold page's own ids do not decide which threshold a slot gets.
    page.bytes[512 + 2 + 12 * 1] = 0x99;
    page.bytes[512 + 2 + 12 * 29] = 0;
    DiskInfo disk;
    disk.smart_ver = VER_G2T7;
    const std::string ind(20, ' ');
    const std::string expected = ind + kAtaHeading +
        ind + "(0x0C)" "Device Power Cycle Count    " "     98" "     97" "      7" "       19"
              "   Pre_fail" "   Always " "           5\n" +
        ind + "(0xFB)" "Disk Life Expend            " "      1" "      1" "      9" "        0"
              "   Old_age " "   Offline" "        2571\n";
    std::string out = "text of an earlier decoder\n";
    ASSERT_TRUE(ParseAtaSmartValueThres(out, page.bytes, sizeof(page.bytes), 100, &disk));
    EXPECT_EQ(out, expected);

    // Through the analyser, for both type numbers that carry this answer.
    for (u32 type : {4u, 5u}) {
        std::string text = "earlier\n";
        int user_err = -1;
        ASSERT_TRUE(DiskAnalyser::Analyse(text, static_cast<CMND_TYPE>(type), page.bytes, sizeof(page.bytes),
                                          &user_err, 100, &disk));
        EXPECT_EQ(user_err, USER_ERR_NO_ERROR);
        EXPECT_EQ(text, expected);
    }
}

TEST_F(AtaSmartTable, EmptySlotsGiveHeadingOnly)
{
    AtaPage page;
    // Thresholds alone do not make an attribute.
    for (u32 i = 0; i < 30; i++) {
        page.bytes[512 + 2 + 12 * i] = u8(i + 1);
        page.bytes[512 + 3 + 12 * i] = 50;
    }
    std::string out = "x";
    ASSERT_TRUE(ParseAtaSmartValueThres(out, page.bytes, sizeof(page.bytes), 4, nullptr));
    EXPECT_EQ(out, std::string("    ") + kAtaHeading);
}

TEST_F(AtaSmartTable, AllThirtySlotsDecoded)
{
    AtaPage page;
    for (u32 i = 0; i < 30; i++) {
        page.Slot(i, u8(i + 1), 0, 0, 0, i, 0);
    }
    // Bytes past slot 29 belong to no attribute.
    page.bytes[2 + 12 * 30] = 0x42;
    std::vector<AtaSmartAttr> attrs;
    ASSERT_TRUE(LoadAtaSmartAttr(attrs, page.bytes, sizeof(page.bytes)));
    ASSERT_EQ(attrs.size(), 30u);
    for (u32 i = 0; i < 30; i++) {
        EXPECT_EQ(attrs[i].id, i + 1);
        EXPECT_EQ(attrs[i].raw, i);
    }
}

class AtaSmartRefusal : public ::testing::TestWithParam<u32> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_P(AtaSmartRefusal, LengthOtherThan1024LeavesText)
{
    AtaPage page;
    page.Slot(0, 0x05, 3, 1, 1, 1, 1);
    std::string out = "kept\n";
    int user_err = -1;
    DiskInfo disk;
    EXPECT_FALSE(ParseAtaSmartValueThres(out, page.bytes, GetParam(), 4, &disk));
    EXPECT_FALSE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(4), page.bytes, GetParam(), &user_err, 4, &disk));
    EXPECT_EQ(user_err, USER_ERR_PARSE_FAILED);
    EXPECT_EQ(out, "kept\n");
}

INSTANTIATE_TEST_SUITE_P(Lengths, AtaSmartRefusal, ::testing::Values(0u, 512u, 1023u, 1025u, 2048u),
                         CaseName());

TEST_F(AtaSmartTable, NullDataRefused)
{
    std::string out = "kept\n";
    std::vector<AtaSmartAttr> attrs;
    EXPECT_FALSE(LoadAtaSmartAttr(attrs, nullptr, 1024));
    EXPECT_FALSE(ParseAtaSmartValueThres(out, nullptr, 1024, 4, nullptr));
    EXPECT_EQ(out, "kept\n");
}

// A SAS LOG SENSE page: 4-byte header, then entries.
std::vector<u8> ScsiPage(u8 page_code, const std::vector<u8>& entries)
{
    std::vector<u8> page(4 + entries.size(), 0);
    page[0] = page_code;
    page[2] = u8(entries.size() >> 8);
    page[3] = u8(entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        page[4 + i] = entries[i];
    }
    return page;
}

struct ScsiRowCase {
    u32 smart_ver;  // kNoDisk: null context
    std::vector<u8> entry;
    const char* row;
};

void PrintTo(const ScsiRowCase& c, std::ostream* os)
{
    *os << "family " << c.smart_ver << " entry " << BytesText(c.entry);
}

class ScsiSmartValueRow : public ::testing::TestWithParam<ScsiRowCase> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_P(ScsiSmartValueRow, ExactText)
{
    const ScsiRowCase& c = GetParam();
    std::vector<u8> page = ScsiPage(0x35, c.entry);
    DiskInfo disk;
    disk.smart_ver = c.smart_ver;
    std::string out = "earlier\n";
    ASSERT_TRUE(ParseScsiSmartValue(out, page.data(), u32(page.size()), 0, c.smart_ver == kNoDisk ? nullptr : &disk));
    EXPECT_EQ(out, std::string(kValueHeading) + c.row + "\n");
}

const std::vector<u8> kPowerOn256 = {0x09, 0xEE, 0xEE, 0xEE, 0, 0, 0, 0, 0, 0, 1, 0};

INSTANTIATE_TEST_SUITE_P(
    Rows, ScsiSmartValueRow,
    ::testing::Values(
        // the maker's SAS models are in no family: names of table 3
        ScsiRowCase{VER_UNKNOWN, kPowerOn256,
                    "(0x09)" "Power-On Minutes             " "    " "              256" "    "},
        ScsiRowCase{VER_K6410, kPowerOn256,
                    "(0x09)" "Power-On Minutes             " "    " "              256" "    "},
        ScsiRowCase{VER_G2T7, kPowerOn256,
                    "(0x09)" "Power-On Houres             " "    " "              256" "    "},
        ScsiRowCase{VER_K4410, kPowerOn256,
                    "(0x09)" "Unknown                     " "    " "              256" "    "},
        // no table below its own; null context; out-of-range family: table 3
        ScsiRowCase{VER_P37RV, kPowerOn256,
                    "(0x09)" "Power-On Minutes             " "    " "              256" "    "},
        ScsiRowCase{kNoDisk, kPowerOn256,
                    "(0x09)" "Power-On Minutes             " "    " "              256" "    "},
        ScsiRowCase{9, kPowerOn256,
                    "(0x09)" "Power-On Minutes             " "    " "              256" "    "},
        // big-endian raw value; a value wider than its column
        ScsiRowCase{VER_UNKNOWN, {0xC2, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8},
                    "(0xC2)" "Disk Temperature            " "    " "72623859790382856" "    "},
        ScsiRowCase{VER_UNKNOWN, {0xFA, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                    "(0xFA)" "Current_Pending_Sector      " "    " "18446744073709551615" "    "}),
    CaseName());

class ScsiSmartThresholdRow : public ::testing::TestWithParam<ScsiRowCase> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_P(ScsiSmartThresholdRow, ExactText)
{
    const ScsiRowCase& c = GetParam();
    std::vector<u8> page = ScsiPage(0x34, c.entry);
    DiskInfo disk;
    disk.smart_ver = c.smart_ver;
    std::string out = "earlier\n";
    ASSERT_TRUE(
        ParseScsiSmartThreshold(out, page.data(), u32(page.size()), 0, c.smart_ver == kNoDisk ? nullptr : &disk));
    EXPECT_EQ(out, std::string(kThresholdHeading) + c.row + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScsiSmartThresholdRow,
    ::testing::Values(
        ScsiRowCase{VER_UNKNOWN, {0xC2, 0x32, 40, 70, 20, 5, 0xEE, 0xEE},
                    "(0xC2)" "Disk Temperature            " "     40" "     70" "     20" "      5" "       50"
                    "    "},
        ScsiRowCase{VER_UNKNOWN, {0x09, 0, 0, 0, 0, 0, 0, 0},
                    "(0x09)" "Power-On Minutes             " "      0" "      0" "      0" "      0" "        0"
                    "    "},
        ScsiRowCase{VER_G2T7, {0x05, 0xFF, 255, 255, 255, 255, 0, 0},
                    "(0x05)" "Reallocated Sector Count    " "    255" "    255" "    255" "    255" "      255"
                    "    "},
        ScsiRowCase{VER_K4410, {0x05, 1, 2, 3, 4, 5, 0, 0},
                    "(0x05)" "Unknown                     " "      2" "      3" "      4" "      5" "        1"
                    "    "},
        ScsiRowCase{kNoDisk, {0xFB, 1, 2, 3, 4, 5, 0, 0},
                    "(0xFB)" "Disk Life Expend            " "      2" "      3" "      4" "      5" "        1"
                    "    "}),
    CaseName());

using ScsiParse = bool (*)(std::string&, const u8*, u32, u32, void*);

struct ScsiPageCase {
    ScsiParse parse;
    u8 page_code;
    u32 entry_len;
    const char* heading;
    u32 max_entries_in_512;
};

void PrintTo(const ScsiPageCase& c, std::ostream* os) { *os << "page " << std::hex << unsigned(c.page_code) << "h"; }

class ScsiSmartPage : public ::testing::TestWithParam<ScsiPageCase> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

size_t CountLines(const std::string& s)
{
    size_t n = 0;
    for (char ch : s) {
        n += ch == '\n';
    }
    return n;
}

TEST_P(ScsiSmartPage, FirstEntryIdZeroGivesHeadingOnly)
{
    const ScsiPageCase& c = GetParam();
    std::vector<u8> entries(3 * c.entry_len, 0);
    entries[c.entry_len] = 0x05;  // entries after an empty one are not read
    entries[2 * c.entry_len] = 0x09;
    std::vector<u8> page = ScsiPage(c.page_code, entries);
    std::string out = "earlier\n";
    ASSERT_TRUE(c.parse(out, page.data(), u32(page.size()), 100, nullptr));
    EXPECT_EQ(out, std::string(20, ' ') + c.heading);
}

TEST_P(ScsiSmartPage, ShortAnswersRefusedHeaderAloneAccepted)
{
    const ScsiPageCase& c = GetParam();
    u8 page[64] = {c.page_code, 0, 0, 0};
    page[4] = 0x05;  // a partial entry after the header is not an entry
    for (u32 len = 0; len < 4; len++) {
        std::string out = "kept\n";
        EXPECT_FALSE(c.parse(out, page, len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    std::string out = "kept\n";
    EXPECT_FALSE(c.parse(out, nullptr, 512, 4, nullptr));
    EXPECT_EQ(out, "kept\n");
    for (u32 len : {4u, 4u + c.entry_len - 1}) {
        out = "kept\n";
        ASSERT_TRUE(c.parse(out, page, len, 4, nullptr)) << len;
        EXPECT_EQ(out, std::string("    ") + c.heading) << len;
    }
}

TEST_P(ScsiSmartPage, Full512ByteAnswerYieldsMaximumEntries)
{
    const ScsiPageCase& c = GetParam();
    std::vector<u8> page(512, 0);
    page[0] = c.page_code;
    for (u32 off = 4; off < 512; off++) {
        page[off] = 0x01;  // every byte, so also the tail of a cut-off entry, looks occupied
    }
    std::string out;
    ASSERT_TRUE(c.parse(out, page.data(), u32(page.size()), 0, nullptr));
    EXPECT_EQ(CountLines(out), 1u + c.max_entries_in_512);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ScsiSmartPage,
    ::testing::Values(ScsiPageCase{ParseScsiSmartValue, 0x35, 12, kValueHeading, 42},
                      ScsiPageCase{ParseScsiSmartThreshold, 0x34, 8, kThresholdHeading, 63}),
    CaseName());

TEST(ScsiSmartLoad, NullEntriesRefusedAndOrderKept)
{
    std::vector<ScsiSmartValue> values;
    std::vector<ScsiSmartThreshold> thresholds;
    EXPECT_FALSE(LoadScsiSmartValue(values, nullptr, 12));
    EXPECT_FALSE(LoadScsiSmartThreshold(thresholds, nullptr, 8));
    const u8 v[] = {0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0x09, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(LoadScsiSmartValue(values, v, sizeof(v)));
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].id, 0x0C);
    EXPECT_EQ(u64(values[0].raw), 7u);
    EXPECT_EQ(values[1].id, 0x09);
    EXPECT_EQ(u64(values[1].raw), 0x8000000000000000ull);
    const u8 t[] = {0xC2, 9, 8, 7, 6, 5, 0, 0};
    ASSERT_TRUE(LoadScsiSmartThreshold(thresholds, t, sizeof(t)));
    ASSERT_EQ(thresholds.size(), 1u);
    EXPECT_EQ(thresholds[0].flag, 9);
    EXPECT_EQ(thresholds[0].cur, 8);
    EXPECT_EQ(thresholds[0].max, 7);
    EXPECT_EQ(thresholds[0].min, 6);
    EXPECT_EQ(thresholds[0].thresh, 5);
}

TEST(ScsiSmartAnalyse, RegisteredForTypes82And83)
{
    DiskAnalyser::Init();
    DiskInfo disk;
    disk.smart_ver = VER_UNKNOWN;
    std::vector<u8> value_page = ScsiPage(0x35, kPowerOn256);
    std::vector<u8> thres_page = ScsiPage(0x34, {0x09, 0, 1, 2, 3, 4, 0, 0});
    std::string out;
    int user_err = -1;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(83), value_page.data(), u32(value_page.size()),
                                      &user_err, 4, &disk));
    EXPECT_EQ(user_err, USER_ERR_NO_ERROR);
    EXPECT_EQ(out, std::string("    ") + kValueHeading + "    (0x09)Power-On Minutes                               256    \n");
    ASSERT_TRUE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(82), thres_page.data(), u32(thres_page.size()),
                                      &user_err, 4, &disk));
    EXPECT_EQ(user_err, USER_ERR_NO_ERROR);
    EXPECT_EQ(out, std::string("    ") + kThresholdHeading +
                       "    (0x09)Power-On Minutes                   1      2      3      4        0    \n");
    out = "kept\n";
    EXPECT_FALSE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(82), thres_page.data(), 3, &user_err, 4, &disk));
    EXPECT_EQ(user_err, USER_ERR_PARSE_FAILED);
    EXPECT_EQ(out, "kept\n");
}

} // namespace
