#include <gtest/gtest.h>

#include "case_names.h"

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "hex_fixture.h"
#include "scsi_mode_decoder.h"
#include "test_init.h"

namespace {

typedef std::vector<u8> Bytes;

const char kDir[] = "scsi_mode";

std::string Golden(const std::string& name) { return FixtureText(kDir, name); }

Bytes LoadHex(const std::string& name) { return FixtureHex(kDir, name); }

const char kBanner[] = "**********************  Mode Sense Data  *********************\n";

// ---------------------------------------------------------------- whole answers

struct WalkCase {
    const char* fixture;
    u32 cut;  // bytes of the answer handed over; 0 for all
    u32 indent;
    const char* golden;
};

void PrintTo(const WalkCase& c, std::ostream* os)
{
    *os << c.fixture << (c.cut != 0 ? " cut at " + std::to_string(c.cut) : std::string()) << " indent " << c.indent;
}

class ModeSenseWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(ModeSenseWalk, AppendsTheGoldenText)
{
    const WalkCase& c = GetParam();
    Bytes data = LoadHex(c.fixture);
    if (c.cut != 0) {
        data = HeapPrefix(data, c.cut);
    }
    std::string out = "earlier\n";
    ASSERT_TRUE(ParseModeSense(out, data.data(), u32(data.size()), c.indent, nullptr));
    EXPECT_EQ(out, "earlier\n" + Golden(c.golden));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ModeSenseWalk,
    ::testing::Values(
        // every block-device page with its own values; 00h's nine bytes step to 1Ah
        WalkCase{"pages.hex", 0, 4, "pages.out"},
        // 20 bytes: the page at byte 16 is walked, from the four bytes that lie inside
        WalkCase{"pages.hex", 20, 4, "pages_cut20.out"},
        // PS bit, pages and sub-pages without printer, a long 1Ah, three bytes left over
        WalkCase{"walk.hex", 0, 4, "walk.out"},
        // 1Ah of the current length (26h) steps by its own length to the 1Ch after it
        WalkCase{"power_ie.hex", 0, 4, "power_ie.out"},
        // cut inside the long 1Ah: its record is shown, nothing past the data
        WalkCase{"power_ie.hex", 40, 4, "power_ie_cut40.out"},
        // known pages shorter than their records get the notice; the walk goes on after each
        WalkCase{"short_pages.hex", 0, 4, "short_pages.out"},
        WalkCase{"walk.hex", 0, 20, "walk_i20.out"},
        WalkCase{"walk.hex", 0, 25, "walk_i20.out"},
        WalkCase{"walk.hex", 0, 0xFFFFFFFFu, "walk_i20.out"},
        // the answer ends inside the caching page: the fields that lie inside
        WalkCase{"truncated.hex", 0, 4, "truncated.out"},
        // SAS pages 18h, 19h and the sub-pages of 19h; one sub-page 03h ends after one phy
        WalkCase{"subpages.hex", 0, 4, "subpages.out"},
        WalkCase{"subpages.hex", 0, 0, "subpages_i0.out"},
        // the answer ends inside the second phy descriptor of sub-page 01h
        WalkCase{"subpages.hex", 110, 4, "subpages_cut110.out"}),
    CaseName());

TEST(ModeSenseWalkEdges, HeaderAndBlockDescriptorAloneGiveTheBanner)
{
    const Bytes all = LoadHex("pages.hex");
    for (u32 len = 8; len <= 19; len++) {
        const Bytes data = HeapPrefix(all, len);
        std::string out = "x";
        ASSERT_TRUE(ParseModeSense(out, data.data(), len, 2, nullptr)) << len;
        EXPECT_EQ(out, std::string("x  ") + kBanner) << len;
    }
}

TEST(ModeSenseWalkEdges, NullOrShortDataIsRefusedWithoutText)
{
    const Bytes all = LoadHex("pages.hex");
    for (u32 len = 0; len <= 7; len++) {
        const Bytes data = HeapPrefix(all, len);
        std::string out = "kept";
        EXPECT_FALSE(ParseModeSense(out, data.data(), len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept");
    }
    std::string out = "kept";
    EXPECT_FALSE(ParseModeSense(out, nullptr, 64, 4, nullptr));
    EXPECT_EQ(out, "kept");
}

// Every cut of every fixture: the walk ends, reads nothing past the data (the sanitizer
// build checks) and the text of a cut is the start of what a longer cut shows, up to the
// page that the cut runs into.
TEST(ModeSenseWalkEdges, EveryCutEndsInsideTheData)
{
    for (const char* name :
         {"pages.hex", "walk.hex", "truncated.hex", "subpages.hex", "power_ie.hex", "short_pages.hex"}) {
        const Bytes all = LoadHex(name);
        std::string whole;
        ASSERT_TRUE(ParseModeSense(whole, all.data(), u32(all.size()), 4, nullptr));
        for (size_t n = 8; n <= all.size(); n++) {
            const Bytes data = HeapPrefix(all, n);
            std::string out;
            ASSERT_TRUE(ParseModeSense(out, data.data(), u32(n), 4, nullptr)) << name << " " << n;
            // lines of a cut are lines of the whole text, in the same order
            std::istringstream lines(out);
            size_t at = 0;
            for (std::string line; std::getline(lines, line);) {
                const size_t found = whole.find(line + "\n", at);
                ASSERT_NE(found, std::string::npos) << name << " " << n << ": " << line;
                at = found + line.size() + 1;
            }
        }
    }
}

// Byte 0 of each of the 256 values as the first page, the rest of the page all ones: the
// walk ends and stays inside the data whatever the header says.
TEST(ModeSenseWalkEdges, AnyPageHeaderByteEndsTheWalk)
{
    for (u32 b0 = 0; b0 < 256; b0++) {
        Bytes data(16, 0);
        data.push_back(u8(b0));
        data.insert(data.end(), 40, 0xFF);
        std::string out;
        EXPECT_TRUE(ParseModeSense(out, data.data(), u32(data.size()), 4, nullptr)) << b0;
        EXPECT_EQ(out.compare(0, 4 + sizeof(kBanner) - 1, std::string("    ") + kBanner), 0) << b0;
    }
}

// ---------------------------------------------------------------- the parse map

class ModeSenseAnalyse : public ::testing::TestWithParam<CmndTypeCase> {
protected:
    static void SetUpTestSuite()
    {
        EnsureErrTable();
        DiskAnalyser::Init();
    }
};

// The four page controls share one decoder: the same bytes give the same text.
TEST_P(ModeSenseAnalyse, EveryPageControlReachesTheWalker)
{
    const Bytes data = LoadHex("pages.hex");
    std::string out = "earlier\n";
    int user_err = -1;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(GetParam().type), data.data(), u32(data.size()), &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, "earlier\n" + Golden("pages.out"));

    out = "kept";
    EXPECT_FALSE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(GetParam().type), data.data(), 7, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, "kept");
}

INSTANTIATE_TEST_SUITE_P(PageControls, ModeSenseAnalyse,
                         ::testing::ValuesIn(TypeCases(TYPE_5AH_MODE_SENSE_CURRENT, TYPE_5AH_MODE_SENSE_CHANGEABLE,
                                                       TYPE_5AH_MODE_SENSE_DEFAULT, TYPE_5AH_MODE_SENSE_SAVED)),
                         CaseName());

// ---------------------------------------------------------------- the name list

TEST(ModePageNameList, RowsInTheWalkersOrder)
{
    struct Row {
        u8 code;
        const char* title;
    };
    const Row expected[] = {
        {0x01, "Read-Write Error Recovery"},
        {0x02, "Disconnect-Reconnect"},
        {0x03, "Format Device"},
        {0x04, "Rigid Disk Geometry"},
        {0x07, "Verify Error Recovery"},
        {0x08, "Caching"},
        {0x0A, "Control"},
        {0x18, "Protocol-Specific LUN"},
        {0x19, "Protocol-Specific Port"},
        {0x1A, "Power Condition"},
        {0x1C, "Informational Exceptions Control"},
        {0x00, "Threshold Value"},
    };
    ASSERT_EQ(sizeof(expected) / sizeof(expected[0]), kModePageNameNum);
    for (u32 i = 0; i < kModePageNameNum; i++) {
        EXPECT_EQ(mode_page_name_list[i].page_code, expected[i].code) << i;
        std::string padded = expected[i].title;
        padded.resize(kModePageTitleWidth, ' ');
        EXPECT_EQ(std::string(mode_page_name_list[i].title), padded) << i;
    }
}

// ---------------------------------------------------------------- the printers

typedef bool (*Printer)(std::string& out, const u8* page, u32 indent);

struct PrinterCase {
    Printer printer;
    u32 record_size;
    std::vector<std::pair<u32, u8>> bytes;  // set in a zeroed record
    u32 indent;
    const char* line;                       // one whole line of the text
};

void PrintTo(const PrinterCase& c, std::ostream* os) { *os << "indent " << c.indent << " " << c.line; }

class ModePagePrinter : public ::testing::TestWithParam<PrinterCase> {};

// Each printer given exactly its record: the line it shows for a field.
TEST_P(ModePagePrinter, ShowsTheField)
{
    const PrinterCase& c = GetParam();
    Bytes page(c.record_size, 0);
    for (const auto& b : c.bytes) {
        page.at(b.first) = b.second;
    }
    std::string out = "before\n";
    ASSERT_TRUE(c.printer(out, page.data(), c.indent));
    EXPECT_EQ(out.compare(0, 7, "before\n"), 0);
    EXPECT_NE(out.find(std::string("\n") + c.line), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ModePagePrinter,
    ::testing::Values(
        PrinterCase{PrintCachingModePage, 20, {{2, 0x04}}, 4,
                    "    Write Cache Enable                       : 1\n"},
        PrinterCase{PrintCachingModePage, 20, {{2, 0x04}}, 4,
                    "    Read Cache Disable                       : 0\n"},
        PrinterCase{PrintCachingModePage, 20, {{2, 0x04}}, 25,
                    "                    Write Cache Enable                       : 1\n"},
        PrinterCase{PrintInformationalExceptionsControlModePage, 12, {{4, 0}, {5, 0}, {6, 0x0E}, {7, 0x10}}, 0,
                    "Interval Timer                           : 3600\n"},
        PrinterCase{PrintRigidDiskGeometryModePage, 24, {{2, 0x01}, {3, 0x86}, {4, 0xA0}}, 0,
                    "Number of Cylinders                      : 100000\n"},
        PrinterCase{PrintPowerConditionModePage, 12, {{8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}}, 1,
                    " Standby Condition Timer                  : 4294967295\n"},
        PrinterCase{PrintControlModePage, 12, {{3, 0xF0}}, 0,
                    "Queue Algorithm Modifier                 : 15\n"},
        PrinterCase{PrintProtocolSpecificLunModePage, 8, {{2, 0x16}}, 4,
                    "    Transport Protocol Identifier            : 6\n"},
        PrinterCase{PrintPhyControlAndDiscoverModePage, 200, {{8 + 22, 0x0A}, {8 + 23, 0xBC}}, 0,
                    "Attached SAS Address                     : 0xabc\n"},
        // descriptor 2 of sub-page 01h starts at byte 56
        PrinterCase{PrintPhyControlAndDiscoverModePage, 200, {{56 + 8, 0xFF}, {56 + 15, 0x01}}, 0,
                    "SAS Address                              : 0xff00000000000001\n"},
        PrinterCase{PrintEnhancedPhyControlModePage, 88, {{28 + 1, 0x07}}, 2,
                    "  Phy Identifier                           : 7\n"},
        PrinterCase{PrintEnhancedPhyControlModePage, 88, {}, 0,
                    "Current PHY Capabilities                 : 0x0\n"},
        PrinterCase{PrintSharedPortControlModePage, 16, {{5, 0xF9}, {6, 0x12}, {7, 0x34}}, 0,
                    "Power Loss Timeout                       : 4660\n"}),
    CaseName());

// Every page but 00h ends with an empty line; 00h ends with its seventh line.
TEST(ModePagePrinters, EmptyLineAfterEveryPageButThresholds)
{
    const struct {
        Printer printer;
        u32 record_size;
        u32 lines;
        bool blank;
    } cases[] = {
        {PrintThresholdValueModePage, 9, 7, false},
        {PrintReadWriteErrorRecoveryModePage, 12, 14, true},
        {PrintDisconnectReconnectModePage, 16, 11, true},
        {PrintFormatDeviceModePage, 24, 14, true},
        {PrintRigidDiskGeometryModePage, 24, 7, true},
        {PrintVerifyErrorRecoveryModePage, 12, 11, true},
        {PrintCachingModePage, 20, 18, true},
        {PrintControlModePage, 12, 12, true},
        {PrintPowerConditionModePage, 12, 4, true},
        {PrintInformationalExceptionsControlModePage, 12, 9, true},
        {PrintProtocolSpecificLunModePage, 8, 1, true},
        {PrintProtocolSpecificPortModePage, 16, 7, true},
        {PrintSharedPortControlModePage, 16, 2, true},
    };
    for (const auto& c : cases) {
        const Bytes page(c.record_size, 0xFF);
        std::string out;
        ASSERT_TRUE(c.printer(out, page.data(), 3));
        const std::string expected_end = c.blank ? "\n\n" : "\n";
        ASSERT_GE(out.size(), 3u);
        EXPECT_EQ(out.substr(out.size() - expected_end.size()), expected_end) << c.record_size;
        if (!c.blank) {
            EXPECT_NE(out.substr(out.size() - 2), "\n\n");
        }
        size_t field_lines = 0;
        std::istringstream s(out);
        for (std::string line; std::getline(s, line);) {
            if (!line.empty()) {
                EXPECT_EQ(line.compare(0, 3, "   "), 0) << line;
                EXPECT_EQ(line.compare(3 + 41, 2, ": "), 0) << line;
                field_lines++;
            }
        }
        EXPECT_EQ(field_lines, c.lines) << out;
    }
}

// Sub-pages 01h and 03h: header lines once, then two numbered descriptors, whatever the
// number of phys says, each followed by an empty line.
TEST(ModePagePrinters, PhyPagesShowTwoDescriptors)
{
    const struct {
        Printer printer;
        u32 record_size;
        const char* heading;
        u32 descriptor_lines;
    } cases[] = {
        {PrintPhyControlAndDiscoverModePage, 200, "SAS phy mode descriptor[", 18},
        {PrintEnhancedPhyControlModePage, 88, "Enhanced Phy Control Mode Descriptor[", 8},
    };
    for (const auto& c : cases) {
        for (u8 phys : {0, 1, 4}) {
            Bytes page(c.record_size, 0);
            page[7] = phys;
            std::string out;
            ASSERT_TRUE(c.printer(out, page.data(), 1));
            std::string expected = " Protocol Identifier                      : 0\n"
                                   " Generation Code                          : 0\n"
                                   " Number of Phys                           : " + std::to_string(phys) + "\n";
            const std::string block = out.substr(expected.size());
            EXPECT_EQ(out.substr(0, expected.size()), expected);
            for (int n = 1; n <= 2; n++) {
                const std::string heading = std::string(" ") + c.heading + std::to_string(n) + "]\n";
                EXPECT_NE(block.find(heading), std::string::npos) << out;
            }
            EXPECT_EQ(block.find(std::string(" ") + c.heading + "3]"), std::string::npos);
            // header 3 + 2 × (heading + fields + empty line)
            EXPECT_EQ(size_t(std::count(out.begin(), out.end(), '\n')), 3 + 2 * (c.descriptor_lines + 2)) << out;
            EXPECT_EQ(out.substr(out.size() - 2), "\n\n");
        }
    }
}

// ---------------------------------------------------------------- the sub-page walker

TEST(ModeSubPage, AdvancesPastThePage)
{
    Bytes data(16, 0);
    const Bytes page = {0x59, 0x04, 0x01, 0x00, 0xAA};  // page length 256, cut after a byte
    data.insert(data.end(), page.begin(), page.end());
    u32 offset = 16;
    std::string out = "x";
    ASSERT_TRUE(ParseModeSubPage(out, data.data(), u32(data.size()), &offset, 30));
    EXPECT_EQ(offset, 16u + 4 + 256);
    EXPECT_EQ(out, "x" + std::string(20, ' ') + "[19h]: Sub page[04h] \n");
}

TEST(ModeSubPage, RefusesWithoutAHeaderInsideTheData)
{
    const Bytes data = {0, 0, 0, 0, 0x59, 0x01, 0x00};
    const struct {
        const u8* data;
        u32 offset;
    } cases[] = {{nullptr, 0}, {data.data(), 4}, {data.data(), 7}, {data.data(), 0xFFFFFFFEu}};
    for (const auto& c : cases) {
        u32 offset = c.offset;
        std::string out = "kept";
        EXPECT_FALSE(ParseModeSubPage(out, c.data, u32(data.size()), &offset, 4)) << c.offset;
        EXPECT_EQ(offset, c.offset);
        EXPECT_EQ(out, "kept");
    }
    std::string out;
    EXPECT_FALSE(ParseModeSubPage(out, data.data(), u32(data.size()), nullptr, 4));
}

} // namespace
