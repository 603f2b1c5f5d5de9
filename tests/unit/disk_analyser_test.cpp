#include <gtest/gtest.h>

#include "case_names.h"

#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ata_log_decoder.h"
#include "cmd_options.h"
#include "disk_analyser.h"
#include "identify_decoder.h"
#include "inquiry_decoder.h"
#include "msg_processor.h"
#include "scsi_log_decoder.h"
#include "scsi_mode_decoder.h"
#include "scsi_vpd_decoder.h"
#include "smart_decoder.h"
#include "vendor_log_decoder.h"
#include "vendor_table_decoder.h"

namespace {

struct MapRow {
    u32 type;
    ParseFun fun;
};

// The registrations as the command types' decoders define them.
const MapRow expected_map[] = {
    {0, ParseIdentifyDevice},
    {1, nullptr},
    {2, nullptr},
    {3, nullptr},
    {4, ParseAtaSmartValueThres},
    {5, ParseAtaSmartValueThres},
    {6, ParseAtaLogDirectory},
    {7, ParseAtaSummaryErrorLog},
    {8, ParseAtaComprehensiveErrorLog},
    {9, nullptr},
    {10, ParseAtaDeviceStatistics},
    {11, ParseAtaSelfTestLog},
    {12, nullptr},
    {13, ParseAtaSelectiveSelfTestLog},
    {14, nullptr},
    {15, nullptr},
    {16, nullptr},
    {18, ParseSmartPendList},
    {21, ParseDeviceVendorLog},
    {43, nullptr},
    {60, ParseInquiry},
    {61, ParseInquiryExtended},
    {62, ParseInquiryScsiPorts},
    {63, ParseInquiryDeviceId},
    {64, ParseInquiryPagePolicy},
    {65, ParseInquiryBlockDevice},
    {66, ParseReadCapacity},
    {67, nullptr},
    {68, ParseSupportedLogPages},
    {69, ParseWriteErrorCounterLog},
    {70, ParseWriteErrorCounterLog},
    {71, ParseReadErrorCounterLog},
    {72, ParseReadErrorCounterLog},
    {73, ParseVerifyErrorCounterLog},
    {74, ParseVerifyErrorCounterLog},
    {75, ParseNonMediumErrorLog},
    {76, ParseNonMediumErrorLog},
    {77, ParseTemperatureLog},
    {78, ParseSelfTestResultsLog},
    {79, ParseProtocolSpecificPortLog},
    {80, ParseInformationalExceptionsLog},
    {81, ParseSmartTemperatureLog},
    {82, ParseScsiSmartThreshold},
    {83, ParseScsiSmartValue},
    {86, ParseReadCurrentLog},
    {89, ParseSetTimeStamp},
    {120, ParseModeSense},
    {121, ParseModeSense},
    {122, ParseModeSense},
    {123, ParseModeSense},
    {124, nullptr},
    {125, nullptr},
    {126, ParseDiskWwn},
    {127, ParseDiskSn},
    {128, nullptr},
    {129, nullptr},
    {130, ParseDiskModel},
    {131, nullptr},
    {132, nullptr},
    {133, ParseCapacitanceResult},
    {134, nullptr},
    {135, ParseBadPage},
    {136, ParseDiskFlag},
    {137, nullptr},
    {138, ParseDiskSpeed},
    {139, nullptr},
    {140, nullptr},
    {141, ParseIoInfo},
};

class ParseMap : public ::testing::Test {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_F(ParseMap, HoldsExactlyTheRegisteredTypes)
{
    size_t with_callback = 0;
    for (const MapRow& row : expected_map) {
        auto it = map_parse_fun.find(static_cast<CMND_TYPE>(row.type));
        ASSERT_NE(it, map_parse_fun.end()) << "type " << row.type;
        EXPECT_EQ(it->second, row.fun) << "type " << row.type;
        with_callback += row.fun != nullptr;
    }
    EXPECT_EQ(map_parse_fun.size(), sizeof(expected_map) / sizeof(expected_map[0]));
    EXPECT_EQ(map_parse_fun.size(), 68u);
    EXPECT_EQ(with_callback, 48u);
}

// An option value that reads data from the drive has its answer decoded, unless its type is one
// whose answer is only saved: the vendor logs, the defect lists, the drive status. A parse row
// left out together with its count stops nothing at start-up; the page would never be decoded.
TEST_F(ParseMap, EveryOptionThatReadsDataIsDecodedOrSavedOnly)
{
    const std::set<u32> saved_only = {
        TYPE_SMART_DEVICE_VENDOR_SPECIFIC, TYPE_89H_DEVICE_ALL_VENDOR_LOG, TYPE_4DH_READNVSRAM_LOG,
        TYPE_4DH_READFLASH_LOG,            TYPE_4DH_READNVALL_LOG,         TYPE_37H_PRIMARY_DEFECT_DATA,
        TYPE_37H_GROWN_DEFECT_DATA,        TYPE_8AH_GET_DISK_STATUS,
    };
    const struct {
        char letter;
        const OptItem* rows;
        u32 count;
    } tables[] = {{'s', opt_smart_list, kOptSmartNum}, {'t', opt_table_list, kOptTableNum},
                  {'o', opt_option_list, kOptOptionNum}, {'U', opt_util_list, kOptUtilNum},
                  {'L', opt_log_list, kOptLogNum}};
    size_t reads = 0;
    for (const auto& table : tables) {
        for (u32 i = 0; i < table.count; i++) {
            const u32 type = table.rows[i].type;
            if (type >= TYPE_BUTT || cmnd_template_list[type].dir != CMND_DIR_IN || cmnd_func_list[type].fun == nullptr) {
                continue;
            }
            reads++;
            const auto it = map_parse_fun.find(static_cast<CMND_TYPE>(type));
            const bool decoded = it != map_parse_fun.end() && it->second != nullptr;
            EXPECT_NE(decoded, saved_only.count(type) != 0) << "-" << table.letter << " " << table.rows[i].name;
        }
    }
    EXPECT_GT(reads, saved_only.size());
}

TEST_F(ParseMap, NameTablesHaveTheirShape)
{
    ASSERT_EQ(vec_smart_attr_name.size(), 5u);
    for (const auto& table : vec_smart_attr_name) {
        EXPECT_EQ(table.size(), 256u);
    }
}

TEST_F(ParseMap, InitTwiceKeepsTheSameShape)
{
    DiskAnalyser::Init();
    EXPECT_EQ(map_parse_fun.size(), 68u);
    EXPECT_EQ(vec_smart_attr_name.size(), 5u);
}

struct AnalyseCase {
    u32 type;
    u32 len;
    bool ok;
    int user_err;
};

void PrintTo(const AnalyseCase& c, std::ostream* os)
{
    *os << CmndTypeText(static_cast<int>(c.type)) << " len " << c.len;
}

class AnalyseResult : public ::testing::TestWithParam<AnalyseCase> {
protected:
    void SetUp() override { DiskAnalyser::Init(); }
};

TEST_P(AnalyseResult, ErrorAndUntouchedText)
{
    const AnalyseCase& c = GetParam();
    u8 data[1024] = {};
    std::string out = "kept\n";
    int user_err = -1;
    EXPECT_EQ(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(c.type), data, c.len, &user_err, 4, nullptr), c.ok);
    EXPECT_EQ(user_err, c.user_err);
    EXPECT_EQ(out, "kept\n");
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, AnalyseResult,
    ::testing::Values(AnalyseCase{1, 512, false, USER_ERR_UNSUPPORTED},    // registered without a callback
                      AnalyseCase{17, 512, false, USER_ERR_UNSUPPORTED},   // not registered
                      AnalyseCase{142, 512, false, USER_ERR_UNSUPPORTED},  // outside the catalogue
                      AnalyseCase{4, 512, false, USER_ERR_PARSE_FAILED},   // callback refuses the length
                      AnalyseCase{4, 0, false, USER_ERR_PARSE_FAILED}),
    CaseName());

TEST_F(ParseMap, AnalyseToleratesNullErrorPointer)
{
    std::string out;
    EXPECT_FALSE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(1), nullptr, 0, nullptr, 4, nullptr));
    EXPECT_FALSE(DiskAnalyser::Analyse(out, static_cast<CMND_TYPE>(4), nullptr, 0, nullptr, 4, nullptr));
    EXPECT_TRUE(out.empty());
}

TEST(ParseIndentRule, ClampsAtTwentyBlanks)
{
    EXPECT_EQ(ParseIndent(0), "");
    EXPECT_EQ(ParseIndent(4), "    ");
    EXPECT_EQ(ParseIndent(20), std::string(20, ' '));
    EXPECT_EQ(ParseIndent(100), std::string(20, ' '));
}

// A name table of the wrong shape must stop the program before any argument is read.
struct CheckFailCase {
    const char* what;
    void (*corrupt)();
    const char* assertion;
};

void PrintTo(const CheckFailCase& c, std::ostream* os) { *os << c.what; }

class CheckDeath : public ::testing::TestWithParam<CheckFailCase> {};

TEST_P(CheckDeath, AbortsWithItsAssertion)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const CheckFailCase& c = GetParam();
    EXPECT_DEATH(
        {
            DiskAnalyser::Init();
            c.corrupt();
            DiskAnalyser::Check();
        },
        std::string("static void DiskAnalyser::Check\\(\\): Assertion `") + c.assertion + "' failed");
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CheckDeath,
    ::testing::Values(
        CheckFailCase{"a family's table missing", [] { vec_smart_attr_name.pop_back(); },
                      "\\(\\(unsigned int\\)\\(VER_UNKNOWN\\) \\+ 1\\) == "
                      "\\(\\(unsigned int\\)vec_smart_attr_name\\.size\\(\\)\\)"},
        CheckFailCase{"a table too many", [] { vec_smart_attr_name.emplace_back(256, "Unknown"); },
                      "\\(\\(unsigned int\\)\\(VER_UNKNOWN\\) \\+ 1\\) == "
                      "\\(\\(unsigned int\\)vec_smart_attr_name\\.size\\(\\)\\)"},
        CheckFailCase{"a table one name short", [] { vec_smart_attr_name[3].resize(255); },
                      "256 == vec_smart_attr_name\\[i\\]\\.size\\(\\)"},
        CheckFailCase{"a table one name long", [] { vec_smart_attr_name[0].push_back("Unknown"); },
                      "256 == vec_smart_attr_name\\[i\\]\\.size\\(\\)"},
        CheckFailCase{"a parser for a type outside the catalogue",
                      [] { map_parse_fun[static_cast<CMND_TYPE>(142)] = nullptr; },
                      "\\(size_t\\)\\(entry\\.first\\) < \\(size_t\\)\\(TYPE_BUTT\\)"}),
    CaseName());

TEST(CheckPasses, AfterInit)
{
    DiskAnalyser::Init();
    DiskAnalyser::Check();
    SUCCEED();
}

// Copies of the parse map's rows, spoilt by one case each: a row out of place, a type twice
// (the map would keep only the first callback), a type no command could ask for or a row never
// filled in.
struct ParseRowsCase {
    const char* what;
    void (*spoil)(std::vector<ParseMapRow>* rows);
    const char* assertion;
    const char* where;  // the row and type the message names
};

void PrintTo(const ParseRowsCase& c, std::ostream* os) { *os << c.what; }

size_t RowOf(const std::vector<ParseMapRow>& rows, u32 type)
{
    for (size_t i = 0; i < rows.size(); i++) {
        if (rows[i].type == type) {
            return i;
        }
    }
    ADD_FAILURE() << "type " << type << " has no row";
    return 0;
}

class ParseRowsDeath : public ::testing::TestWithParam<ParseRowsCase> {};

TEST_P(ParseRowsDeath, AbortsWithItsAssertion)
{
    const ParseRowsCase& c = GetParam();
    std::vector<ParseMapRow> rows(parse_map_rows, parse_map_rows + kParseMapRows);
    c.spoil(&rows);
    EXPECT_DEATH(DiskAnalyser::CheckParseRows(rows.data(), rows.size()),
                 std::string("static void DiskAnalyser::CheckParseRows\\(const ParseMapRow\\*, size_t\\): "
                             "Assertion `") +
                     c.assertion + "' failed: " + c.where);
}

INSTANTIATE_TEST_SUITE_P(
    Spoilt, ParseRowsDeath,
    ::testing::Values(
        ParseRowsCase{"temperature row after the self test row",
                      [](std::vector<ParseMapRow>* rows) {
                          std::swap((*rows)[RowOf(*rows, TYPE_4DH_TEMPERATURE)],
                                    (*rows)[RowOf(*rows, TYPE_4DH_SELF_TEST_RESULTS)]);
                      },
                      "i == 0 \\|\\| rows\\[i - 1\\]\\.type < rows\\[i\\]\\.type",
                      "parse_map_rows row 38, command type 77 \"\\[4Dh\\] Temperature\""},
        ParseRowsCase{"mode sense row twice",
                      [](std::vector<ParseMapRow>* rows) {
                          const size_t i = RowOf(*rows, TYPE_5AH_MODE_SENSE_CHANGEABLE);
                          (*rows)[i] = (*rows)[i - 1];
                      },
                      "i == 0 \\|\\| rows\\[i - 1\\]\\.type < rows\\[i\\]\\.type",
                      "parse_map_rows row 47, command type 120 \"\\[5Ah\\] Mode Sense\\(Current\\)\""},
        ParseRowsCase{"last row outside the catalogue",
                      [](std::vector<ParseMapRow>* rows) { rows->back().type = TYPE_BUTT; },
                      "\\(size_t\\)\\(rows\\[i\\]\\.type\\) < \\(size_t\\)\\(TYPE_BUTT\\)",
                      "parse_map_rows row 67, command type 142 \\(none\\)"},
        // kParseMapRows raised and the row not written: a zero-initialised row after the last.
        ParseRowsCase{"row left out while the count was raised",
                      [](std::vector<ParseMapRow>* rows) { rows->push_back(ParseMapRow{}); },
                      "!IsEmptyRow\\(rows, i\\)", "parse_map_rows row 68, command type none \\(an empty row\\)\\."}),
    CaseName());

} // namespace
