#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "cmd_menu.h"
#include "cmd_options.h"
#include "disk_cmnd.h"
#include "fw_download.h"
#include "format_unit.h"
#include "one_key_info.h"
#include "scsi_passthrough.h"
#include "settings.h"
#include "vendor_tools.h"

namespace {

// ---- value tables -------------------------------------------------------

struct Row {
    const char* name;
    u32 type;
    CmdHandler handler;
    const char* desc;
};

const std::vector<Row> smart_rows = {
    {"status", 1, nullptr, nullptr}, {"enable", 2, nullptr, nullptr},    {"disable", 3, nullptr, nullptr},
    {"value", 4, nullptr, nullptr},  {"dir", 6, nullptr, nullptr},       {"summary", 7, nullptr, nullptr},
    {"comp", 8, nullptr, nullptr},   {"selftest", 11, nullptr, nullptr}, {"select", 13, nullptr, nullptr},
    {"stat", 10, nullptr, nullptr},  {"vendor", 17, nullptr, nullptr},   {"pend", 18, nullptr, nullptr},
};

const std::vector<Row> table_rows = {
    {"log", 21, nullptr, nullptr}, {"log2", 45, nullptr, nullptr}, {"multilog", 21, nullptr, nullptr},
};

const std::vector<Row> option_rows = {
    {"log", 84, nullptr, nullptr},       {"log2", 85, nullptr, nullptr},      {"log3", 86, nullptr, nullptr},
    {"getwwn", 126, nullptr, nullptr},   {"getsn", 127, nullptr, nullptr},    {"getmodel", 130, nullptr, nullptr},
    {"setwwn", 128, nullptr, nullptr},   {"setsn", 129, nullptr, nullptr},    {"setmodel", 131, nullptr, nullptr},
    {"startcap", 132, nullptr, nullptr}, {"querycap", 133, nullptr, nullptr}, {"log4", 87, nullptr, nullptr},
    {"trim", 91, nullptr, nullptr},      {"smartval", 83, nullptr, nullptr},  {"smartthr", 82, nullptr, nullptr},
    {"smarttem", 81, nullptr, nullptr},  {"bad", 118, nullptr, nullptr},      {"bad2", 119, nullptr, nullptr},
    {"time", 89, nullptr, nullptr},      {"poweroff", 88, nullptr, nullptr},  {"getflag", 136, nullptr, nullptr},
    {"setflag", 137, nullptr, nullptr},  {"getspeed", 138, nullptr, nullptr}, {"flashlog1", 139, nullptr, nullptr},
    {"flashlog2", 140, nullptr, nullptr}, {"getIoInfo", 141, nullptr, nullptr},
};

const std::vector<Row> util_rows = {
    {"spt", TYPE_BUTT, scsiPassThrough, "SCSI Pass Through"},
    {"flush", 40, nullptr, "Flush Data & Table"},
    {"time", 43, nullptr, "Set system time"},
    {"magnify", TYPE_BUTT, calcMagnifyCoefficient, "Calc Magnify Coefficient"},
    {"hpa", TYPE_BUTT, getSetMaxAddress, "Get/Set Max Address"},
    {"status", 56, nullptr, "Get Status flags"},
    {"trim", 57, nullptr, "Set Format Unit"},
    {"trimflag", 58, nullptr, "Set Trim Flag"},
};

const std::vector<Row> log_rows = {
    {"supported", 68, nullptr, nullptr}, {"write", 70, nullptr, nullptr},       {"read", 72, nullptr, nullptr},
    {"verify", 74, nullptr, nullptr},    {"nonmedium", 76, nullptr, nullptr},   {"temperature", 77, nullptr, nullptr},
    {"selftest", 78, nullptr, nullptr},  {"protocol", 79, nullptr, nullptr},
};

struct TableCase {
    const char* option;  // the short option that looks values up in the table
    const OptItem* list;
    size_t count;
    const std::vector<Row>* expected;
};

const TableCase table_cases[] = {
    {"-s", opt_smart_list, kOptSmartNum, &smart_rows}, {"-t", opt_table_list, kOptTableNum, &table_rows},
    {"-o", opt_option_list, kOptOptionNum, &option_rows}, {"-U", opt_util_list, kOptUtilNum, &util_rows},
    {"-L", opt_log_list, kOptLogNum, &log_rows},
};

TEST(OptionTables, RowsInOrder)
{
    for (const TableCase& t : table_cases) {
        SCOPED_TRACE(t.option);
        ASSERT_EQ(t.count, t.expected->size());
        for (size_t i = 0; i < t.count; i++) {
            const Row& e = (*t.expected)[i];
            const OptItem& r = t.list[i];
            SCOPED_TRACE(e.name);
            EXPECT_STREQ(r.name, e.name);
            EXPECT_EQ(r.type, e.type);
            EXPECT_EQ(r.handler, e.handler);
            // A row names either a command type or a handler, never both.
            EXPECT_EQ(r.type == TYPE_BUTT, r.handler != nullptr);
            if (e.desc != nullptr) {
                EXPECT_STREQ(r.desc, e.desc);
            }
        }
    }
}

TEST(OptionTables, RaidRows)
{
    struct {
        const char* name;
        u32 kind;
    } expected[] = {{"megaraid", 0}, {"marvell", 1}, {"cciss", 2}, {"areca", 3}, {"ware", 4}};
    ASSERT_EQ(kOptRaidNum, sizeof(expected) / sizeof(expected[0]));
    for (u32 i = 0; i < kOptRaidNum; i++) {
        EXPECT_STREQ(opt_raid_list[i].name, expected[i].name);
        EXPECT_EQ(opt_raid_list[i].kind, expected[i].kind);
    }
    EXPECT_EQ(static_cast<u32>(RAID_BUTT), 5u);
}

TEST(OptionTables, ShortAndLongOptions)
{
    EXPECT_STREQ(short_options, "VvHhliIs:t:au:U:b:c:o:L:r:g:x:f:");
    struct {
        const char* name;
        int has_arg;
        int val;
    } expected[] = {
        {"help", no_argument, 'h'},         {"usage", no_argument, 'h'},       {"version", no_argument, 'V'},
        {"copyright", no_argument, 'V'},    {"license", no_argument, 'V'},     {"list", no_argument, 'l'},
        {"info", no_argument, 'i'},         {"identify", no_argument, 'I'},    {"smart", required_argument, 's'},
        {"table", required_argument, 't'},  {"all", no_argument, 'a'},         {"clean", no_argument, 'c'},
        {"log", required_argument, 'L'},    {"upgrade", required_argument, 'u'}, {"util", required_argument, 'U'},
        {"binary", required_argument, 'b'}, {"option", required_argument, 'o'}, {"raid", required_argument, 'r'},
        {"datacompare", no_argument, 'D'},  {"datagradation", no_argument, 'g'}, {"txtdata", required_argument, 'x'},
    };
    ASSERT_EQ(kLongOptionNum, sizeof(expected) / sizeof(expected[0]));
    for (u32 i = 0; i < kLongOptionNum; i++) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(long_options[i].name, expected[i].name);
        EXPECT_EQ(long_options[i].has_arg, expected[i].has_arg);
        EXPECT_EQ(long_options[i].flag, nullptr);
        EXPECT_EQ(long_options[i].val, expected[i].val);
    }
    EXPECT_EQ(long_options[kLongOptionNum].name, nullptr);
}

// ---- the option loop ----------------------------------------------------

const char* const kDev = "/dev/sda";

struct LoopRun {
    bool ok;
    CmdLineState state;
    std::string out;
};

class OptionLoop : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }
    void TearDown() override { ResetSettings(); }

    static void ResetSettings()
    {
        output_flags = OutputFlags();
        bin_file_name[0] = '\0';
        txt_file_name[0] = '\0';
        raid_kind = RAID_BUTT;
        raid_target_id = 0;
        flash_log_part = 0;
        set_value[0] = '\0';
        set_value_given = 0;
        data_gradation = 0;
        fw_file_name = nullptr;
    }

    // Runs the loop as the handler does: program name first, fresh state.
    LoopRun Run(const std::vector<std::string>& args)
    {
        store_.clear();
        store_.push_back("zembrovant");
        store_.insert(store_.end(), args.begin(), args.end());
        argv_.clear();
        for (std::string& s : store_) {
            argv_.push_back(&s[0]);
        }
        argv_.push_back(nullptr);
        LoopRun r;
        r.state = CmdLineState{TYPE_BUTT, nullptr, nullptr, nullptr, false, false};
        for (const std::string& s : store_) {
            if (s.compare(0, 8, "megaraid") == 0) {
                r.state.megaraid_seen = true;
            }
        }
        ::testing::internal::CaptureStdout();
        r.ok = runOptionLoop(static_cast<int>(store_.size()), argv_.data(), &r.state);
        r.out = ::testing::internal::GetCapturedStdout();
        return r;
    }

    static std::string Usage()
    {
        ::testing::internal::CaptureStdout();
        showUsage();
        return ::testing::internal::GetCapturedStdout();
    }

    std::vector<std::string> store_;  // argv points into these; stable for the test's checks
    std::vector<char*> argv_;
};

TEST_F(OptionLoop, EveryTableRowSelectsItsType)
{
    for (const TableCase& t : table_cases) {
        for (const Row& row : *t.expected) {
            SCOPED_TRACE(std::string(t.option) + " " + row.name);
            ResetSettings();
            std::vector<std::string> args = {t.option, row.name};
            // The set values need their new value before the device.
            const bool set_value_row = std::string(t.option) == "-o" &&
                                       (row.type == 128 || row.type == 129 || row.type == 131 || row.type == 137);
            if (set_value_row) {
                // As long as the drive's field: 20 characters for the SN, 8 for the flag, else 16.
                args.push_back(std::string(row.type == 129 ? 20 : row.type == 137 ? 8 : 16, 'N'));
            }
            args.push_back(kDev);
            LoopRun r = Run(args);
            ASSERT_TRUE(r.ok) << r.out;
            EXPECT_TRUE(r.state.option_read);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.state.format_handler, nullptr);
            if (row.type == TYPE_BUTT) {
                EXPECT_EQ(r.state.selected_type, TYPE_BUTT);
                EXPECT_EQ(r.state.handler, row.handler);
            } else if (row.type == 139 || row.type == 140) {
                // The two RAID flash-log parts run as "[4Dh] ReadFlash LOG" with their part.
                EXPECT_EQ(r.state.selected_type, 85u);
                EXPECT_EQ(flash_log_part, row.type - 138);
            } else {
                EXPECT_EQ(r.state.selected_type, row.type);
                EXPECT_EQ(r.state.handler, nullptr);
                EXPECT_EQ(flash_log_part, 0u);
            }
            EXPECT_EQ(set_value_given, set_value_row ? 1 : 0);
        }
    }
}

TEST_F(OptionLoop, RaidValuesSetTheKind)
{
    for (u32 i = 0; i < kOptRaidNum; i++) {
        SCOPED_TRACE(opt_raid_list[i].name);
        ResetSettings();
        LoopRun r = Run({"-r", opt_raid_list[i].name, kDev});
        ASSERT_TRUE(r.ok) << r.out;
        EXPECT_TRUE(r.state.option_read);
        EXPECT_EQ(raid_kind, opt_raid_list[i].kind);
        EXPECT_EQ(raid_target_id, 0u);  // fewer than six arguments
        EXPECT_EQ(r.state.selected_type, TYPE_BUTT);
    }
}

struct SelectCase {
    std::vector<std::string> args;
    u32 type;
    CmdHandler handler;
    FormatHandler format_handler;
    const char* format_arg;
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << ArgsText(c.args); }

class OptionSelect : public OptionLoop, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(OptionSelect, LeavesItsChoice)
{
    const SelectCase& c = GetParam();
    LoopRun r = Run(c.args);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.state.option_read);
    EXPECT_EQ(r.state.selected_type, c.type);
    EXPECT_EQ(r.state.handler, c.handler);
    EXPECT_EQ(r.state.format_handler, c.format_handler);
    if (c.format_arg != nullptr) {
        ASSERT_NE(r.state.format_arg, nullptr);
        EXPECT_STREQ(r.state.format_arg, c.format_arg);
    } else {
        EXPECT_EQ(r.state.format_arg, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionSelect,
    ::testing::Values(
        SelectCase{{"-i", kDev}, TYPE_BUTT, showBasicInfo, nullptr, nullptr},
        SelectCase{{"--info", kDev}, TYPE_BUTT, showBasicInfo, nullptr, nullptr},
        // An argument beginning with "megaraid" lifts the count limit of -i and -I.
        SelectCase{{"-i", "-r", "megaraid", kDev}, TYPE_BUTT, showBasicInfo, nullptr, nullptr},
        SelectCase{{"-I", kDev}, 0, nullptr, nullptr, nullptr},
        SelectCase{{"--identify", kDev}, 0, nullptr, nullptr, nullptr},
        SelectCase{{"-I", "-r", "megaraid", "3", kDev}, 0, nullptr, nullptr, nullptr},
        SelectCase{{"-a", kDev}, TYPE_BUTT, collectOneKeyInfo, nullptr, nullptr},
        SelectCase{{"--all", kDev}, TYPE_BUTT, collectOneKeyInfo, nullptr, nullptr},
        SelectCase{{"-u", "fw.bin", kDev}, TYPE_BUTT, downloadMicrocode, nullptr, nullptr},
        SelectCase{{"--upgrade=fw.bin", kDev}, TYPE_BUTT, downloadMicrocode, nullptr, nullptr},
        SelectCase{{"-u", "loader", "ld.bin", kDev}, TYPE_BUTT, downloadLoader, nullptr, nullptr},
        // -c: the device is both its ignored argument and the last argument.
        SelectCase{{"-c", kDev}, 125, nullptr, nullptr, nullptr},
        SelectCase{{"--clean", kDev}, 125, nullptr, nullptr, nullptr},
        SelectCase{{"-c", "x", "a", "b", kDev}, 125, nullptr, nullptr, nullptr},
        SelectCase{{"-f", "512", kDev}, TYPE_BUTT, nullptr, formatUnit, "512"},
        SelectCase{{"-f", "520", kDev}, TYPE_BUTT, nullptr, formatUnit, "520"},
        SelectCase{{"--smart=enable", kDev}, 2, nullptr, nullptr, nullptr},
        SelectCase{{"--table", "log2", kDev}, 45, nullptr, nullptr, nullptr},
        SelectCase{{"--log=temperature", kDev}, 77, nullptr, nullptr, nullptr},
        SelectCase{{"--util=hpa", kDev}, TYPE_BUTT, getSetMaxAddress, nullptr, nullptr},
        SelectCase{{"--option=getIoInfo", kDev}, 141, nullptr, nullptr, nullptr},
        // A later option of the same kind overrides an earlier one.
        SelectCase{{"-s", "value", "-s", "status", kDev}, 1, nullptr, nullptr, nullptr},
        SelectCase{{"-s", "value", "-L", "read", kDev}, 72, nullptr, nullptr, nullptr},
        // A failed lookup after a type was selected is ignored.
        SelectCase{{"-s", "value", "-s", "bogus", kDev}, 4, nullptr, nullptr, nullptr},
        SelectCase{{"-s", "value", "-t", "bogus", kDev}, 4, nullptr, nullptr, nullptr},
        SelectCase{{"-s", "value", "-o", "bogus", kDev}, 4, nullptr, nullptr, nullptr},
        SelectCase{{"-s", "value", "-L", "bogus", kDev}, 4, nullptr, nullptr, nullptr},
        SelectCase{{"-s", "value", "-U", "bogus", kDev}, 4, nullptr, nullptr, nullptr},
        SelectCase{{"-a", "-U", "bogus", kDev}, TYPE_BUTT, collectOneKeyInfo, nullptr, nullptr},
        // Toggles and file names alone select nothing.
        SelectCase{{"-g", "x", kDev}, TYPE_BUTT, nullptr, nullptr, nullptr},
        SelectCase{{"--datagradation", kDev}, TYPE_BUTT, nullptr, nullptr, nullptr}),
    CaseName());

// The flash-log part belongs to the -o value that asked for it: a later option that
// selects another type must not leave the vendor-log read cut to one part.
TEST_F(OptionLoop, FlashLogPartFollowsTheLastSelection)
{
    struct {
        std::vector<std::string> args;
        u32 type;
        u32 part;
    } cases[] = {
        {{"-o", "flashlog1", kDev}, 85, 1},
        {{"-o", "flashlog2", kDev}, 85, 2},
        {{"-o", "log4", "-o", "flashlog2", kDev}, 85, 2},
        {{"-o", "flashlog1", "-o", "flashlog2", kDev}, 85, 2},
        {{"-o", "flashlog1", "-o", "log2", kDev}, 85, 0},
        {{"-o", "flashlog2", "-o", "log4", kDev}, 87, 0},
        {{"-o", "flashlog1", "-t", "log", kDev}, 21, 0},
        {{"-o", "flashlog1", "-s", "value", kDev}, 4, 0},
        // A failed lookup changes nothing, the part included.
        {{"-o", "flashlog1", "-o", "bogus", kDev}, 85, 1},
        {{"-o", "flashlog2", "-L", "bogus", kDev}, 85, 2},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const std::string& a : c.args) {
            trace += a + " ";
        }
        SCOPED_TRACE(trace);
        ResetSettings();
        LoopRun r = Run(c.args);
        ASSERT_TRUE(r.ok) << r.out;
        EXPECT_EQ(r.state.selected_type, c.type);
        EXPECT_EQ(flash_log_part, c.part);
    }
}

TEST_F(OptionLoop, FirmwareFileNames)
{
    LoopRun r = Run({"-u", "fw.bin", kDev});
    ASSERT_TRUE(r.ok);
    ASSERT_NE(fw_file_name, nullptr);
    EXPECT_STREQ(fw_file_name, "fw.bin");

    r = Run({"-u", "loader", "ld.bin", kDev});
    ASSERT_TRUE(r.ok);
    ASSERT_NE(fw_file_name, nullptr);
    EXPECT_STREQ(fw_file_name, "ld.bin");
}

TEST_F(OptionLoop, BinaryFileSetsNameAndToggle)
{
    LoopRun r = Run({"-b", "out.bin", kDev});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.state.option_read);
    EXPECT_EQ(r.state.selected_type, TYPE_BUTT);
    EXPECT_STREQ(bin_file_name, "out.bin");
    EXPECT_EQ(output_flags.save_original_binary, 1);
    EXPECT_EQ(output_flags.save_parsed_text, 0);
    EXPECT_EQ(output_flags.show_parsed_text, 1);
    EXPECT_EQ(data_gradation, 0);
}

TEST_F(OptionLoop, TextFileSetsNameTogglesAndGradation)
{
    for (const char* opt : {"-x", "--txtdata"}) {
        SCOPED_TRACE(opt);
        ResetSettings();
        LoopRun r = Run({opt, "out.txt", "-s", "vendor", kDev});
        ASSERT_TRUE(r.ok) << r.out;
        EXPECT_EQ(r.state.selected_type, 17u);
        EXPECT_STREQ(txt_file_name, "out.txt");
        EXPECT_EQ(output_flags.save_parsed_text, 1);
        EXPECT_EQ(output_flags.show_parsed_text, 0);
        EXPECT_EQ(output_flags.save_original_binary, 0);
        EXPECT_EQ(data_gradation, 1);
    }
}

TEST_F(OptionLoop, GradationOnly)
{
    LoopRun r = Run({"-g", "ignored", kDev});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(data_gradation, 1);
    EXPECT_EQ(output_flags.save_parsed_text, 0);
    EXPECT_EQ(output_flags.show_parsed_text, 1);
}

TEST_F(OptionLoop, SetValueFromSecondToLast)
{
    struct {
        const char* value_name;
        u32 type;
        const char* value;  // exactly as long as the drive's field
    } cases[] = {{"setwwn", 128, "5000C500A1B2C3D4"},
                 {"setsn", 129, "QM2013120600000001AB"},
                 {"setmodel", 131, "QUMA-K6470BN0800"},
                 {"setflag", 137, "QM123456"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value_name);
        ResetSettings();
        LoopRun r = Run({"-o", c.value_name, c.value, kDev});
        ASSERT_TRUE(r.ok) << r.out;
        EXPECT_EQ(r.state.selected_type, c.type);
        EXPECT_STREQ(set_value, c.value);
        EXPECT_EQ(set_value_given, 1);
    }
    // Other -o values leave the set value alone.
    ResetSettings();
    LoopRun r = Run({"-o", "getsn", "QM123456", kDev});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(set_value_given, 0);
    EXPECT_STREQ(set_value, "");
}

TEST_F(OptionLoop, RaidTargetIdFromSecondToLastOfSix)
{
    LoopRun r = Run({"-r", "megaraid", "-s", "value", "12", kDev});
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(raid_kind, static_cast<u32>(RAID_MEGARAID));
    EXPECT_EQ(raid_target_id, 12u);
    EXPECT_EQ(r.state.selected_type, 4u);

    // Read as atoi reads it: digits up to the first other character.
    ResetSettings();
    r = Run({"-r", "ware", "-s", "value", " 7x", kDev});
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(raid_kind, static_cast<u32>(RAID_WARE));
    EXPECT_EQ(raid_target_id, 7u);

    // Five arguments: the target id stays as it was.
    ResetSettings();
    r = Run({"-r", "megaraid", "-s", "value", kDev});
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(raid_target_id, 0u);

    // A failed lookup after a kind was chosen is ignored.
    ResetSettings();
    r = Run({"-r", "cciss", "-r", "bogus", kDev});
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(raid_kind, static_cast<u32>(RAID_CCISS));
}

TEST_F(OptionLoop, HelpActsAtOnce)
{
    const std::string usage = Usage();
    for (const char* opt : {"-h", "-H", "--help", "--usage"}) {
        SCOPED_TRACE(opt);
        LoopRun r = Run({opt, "-s", "value", kDev});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out, usage);
        // The options after it are never read.
        EXPECT_EQ(r.state.selected_type, TYPE_BUTT);
    }
}

struct RefuseCase {
    std::vector<std::string> args;
    const char* msg;
};

void PrintTo(const RefuseCase& c, std::ostream* os) { *os << ArgsText(c.args); }

class OptionRefuse : public OptionLoop, public ::testing::WithParamInterface<RefuseCase> {};

TEST_P(OptionRefuse, MessageThenUsageAndSettingsUntouched)
{
    const RefuseCase& c = GetParam();
    LoopRun r = Run(c.args);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, std::string(c.msg) + "\n" + Usage());
    EXPECT_EQ(output_flags.save_original_binary, 0);
    EXPECT_EQ(output_flags.save_parsed_text, 0);
    EXPECT_EQ(output_flags.show_parsed_text, 1);
    EXPECT_STREQ(bin_file_name, "");
    EXPECT_STREQ(txt_file_name, "");
    EXPECT_EQ(set_value_given, 0);
    EXPECT_STREQ(set_value, "");
    EXPECT_EQ(fw_file_name, nullptr);
    EXPECT_EQ(flash_log_part, 0u);
}

const char* const kSmartMsg = "Zembrovant requires smart's name as argument";
const char* const kTableMsg = "Zembrovant requires table's name as argument";
const char* const kFwMsg = "Zembrovant requires firmware name as argument";
const char* const kUtilMsg = "Zembrovant requires util's name as argument";
const char* const kFileMsg = "Zembrovant requires file name as argument";
const char* const kValueMsg = "Zembrovant requires the value as argument";
const char* const kWwnLengthMsg = "Zembrovant requires the value of 16 characters as argument";
const char* const kSnLengthMsg = "Zembrovant requires the value of 20 characters as argument";
const char* const kModelLengthMsg = kWwnLengthMsg;
const char* const kFlagLengthMsg = "Zembrovant requires the value of 8 characters as argument";
const char* const kOptionMsg = "Zembrovant requires option's name as argument";
const char* const kUnsupportedMsg = "Zembrovant does not support current option";

const std::string long_name(4096, 'n');
const std::string long_value(1024, 'v');

INSTANTIATE_TEST_SUITE_P(
    Options, OptionRefuse,
    ::testing::Values(
        // Version and listing take no device.
        RefuseCase{{"-V", kDev}, kSmartMsg}, RefuseCase{{"-v", kDev}, kSmartMsg},
        RefuseCase{{"--copyright", kDev}, kSmartMsg}, RefuseCase{{"-l", kDev}, kSmartMsg},
        RefuseCase{{"--list", kDev}, kSmartMsg},
        // -i and -I: at most three arguments without a megaraid argument.
        RefuseCase{{"-i", "a", "b", kDev}, kSmartMsg}, RefuseCase{{"-I", "a", "b", kDev}, kSmartMsg},
        RefuseCase{{"-s", "Value", kDev}, kSmartMsg}, RefuseCase{{"-s", "bogus", kDev}, kSmartMsg},
        RefuseCase{{"-t", "Log", kDev}, kTableMsg},
        RefuseCase{{"-u", kDev}, kFwMsg}, RefuseCase{{"-u", "loader", kDev}, kFwMsg},
        RefuseCase{{"-u", "loader"}, kFwMsg},
        RefuseCase{{"-c", "x", "a", "b", "c", kDev}, kFwMsg},
        RefuseCase{{"-U", "bogus", kDev}, kUtilMsg}, RefuseCase{{"-U", "SPT", kDev}, kUtilMsg},
        RefuseCase{{"-b", kDev}, kFileMsg}, RefuseCase{{"--binary=/dev/sda", kDev}, kFileMsg},
        RefuseCase{{"-b", long_name, kDev}, kFileMsg},
        RefuseCase{{"-x", kDev}, kFileMsg}, RefuseCase{{"--txtdata", kDev}, kFileMsg},
        RefuseCase{{"-x", long_name, kDev}, kFileMsg},
        RefuseCase{{"-f", "1024", kDev}, kFileMsg}, RefuseCase{{"-f", "0512", kDev}, kFileMsg},
        // No new value before the device, in any spelling of the option.
        RefuseCase{{"-o", "setwwn", kDev}, kValueMsg}, RefuseCase{{"-o", "setsn", kDev}, kValueMsg},
        RefuseCase{{"-o", "setmodel", kDev}, kValueMsg}, RefuseCase{{"-o", "setflag", kDev}, kValueMsg},
        RefuseCase{{"-osetsn", kDev}, kValueMsg}, RefuseCase{{"--option=setwwn", kDev}, kValueMsg},
        RefuseCase{{"-o", "setsn", long_value, kDev}, kValueMsg},
        // A new value one character short or long of its field, never cut or padded.
        RefuseCase{{"-o", "setwwn", "5000C500A1B2C3D", kDev}, kWwnLengthMsg},
        RefuseCase{{"-o", "setwwn", "12", kDev}, kWwnLengthMsg},
        RefuseCase{{"-o", "setsn", "QM2013120600000001ABC", kDev}, kSnLengthMsg},
        RefuseCase{{"--option=setmodel", "QUMA-K6470BN080", kDev}, kModelLengthMsg},
        RefuseCase{{"-o", "setflag", "0102030405060708", kDev}, kFlagLengthMsg},
        RefuseCase{{"-o", "bogus", kDev}, kOptionMsg}, RefuseCase{{"-L", "bogus", kDev}, kOptionMsg},
        RefuseCase{{"-r", "MegaRaid", kDev}, kOptionMsg}, RefuseCase{{"--raid=none", kDev}, kOptionMsg},
        // A refused check is reported even after a type was selected.
        RefuseCase{{"-s", "value", "-b", kDev}, kFileMsg},
        RefuseCase{{"-s", "value", "-u", kDev}, kFwMsg},
        // Letters the parser does not define, a missing argument, "datacompare".
        RefuseCase{{"--datacompare", kDev}, kUnsupportedMsg}, RefuseCase{{"-D", kDev}, kUnsupportedMsg},
        RefuseCase{{"-z", kDev}, kUnsupportedMsg}, RefuseCase{{"-m", kDev}, kUnsupportedMsg},
        RefuseCase{{"-p", "f.bin", kDev}, kUnsupportedMsg}, RefuseCase{{"-d", "dir", kDev}, kUnsupportedMsg},
        RefuseCase{{"-e", kDev}, kUnsupportedMsg}, RefuseCase{{"-c"}, kUnsupportedMsg},
        RefuseCase{{"-s"}, kUnsupportedMsg}, RefuseCase{{"--clean=x", kDev}, kUnsupportedMsg},
        RefuseCase{{"--bogus", kDev}, kUnsupportedMsg}),
    CaseName());

TEST_F(OptionLoop, NoOptionsLeavesNothingRead)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--", kDev}, std::vector<std::string>{kDev}}) {
        LoopRun r = Run(args);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.state.option_read);
        EXPECT_EQ(r.out, "");
    }
}

// ---- link adaptation ----------------------------------------------------

struct AdaptCase {
    u32 type;
    u32 link;
    u32 runs;
};

void PrintTo(const AdaptCase& c, std::ostream* os)
{
    *os << CmndTypeText(static_cast<int>(c.type)) << " on " << LinkText(c.link);
}

class LinkAdaptation : public ::testing::TestWithParam<AdaptCase> {};

TEST_P(LinkAdaptation, RunsTheCounterpart)
{
    const AdaptCase& c = GetParam();
    EXPECT_EQ(AdaptTypeToLink(c.type, c.link), c.runs) << "type " << c.type << " link " << c.link;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LinkAdaptation,
    ::testing::Values(
        // ATA vendor commands on a SCSI drive
        AdaptCase{TYPE_89H_DEVICE_VENDOR_LOG, LINK_SCSI, TYPE_4DH_READCURRENT_LOG},
        AdaptCase{TYPE_8CH_WRITE_CURRENT_TIME, LINK_SCSI, TYPE_A4H_SET_TIME_STAMP},
        AdaptCase{TYPE_8DH_FLUSH_TABLE_DATA, LINK_SCSI, TYPE_4DH_SET_POWER_OFF_PROTECT},
        AdaptCase{TYPE_SET_FORMAT_UNIT, LINK_SCSI, TYPE_04H_SET_FORMAT_UNIT},
        // their SCSI counterparts on each ATA link
        AdaptCase{TYPE_4DH_READCURRENT_LOG, LINK_ATA_BY_SCSI, TYPE_89H_DEVICE_VENDOR_LOG},
        AdaptCase{TYPE_4DH_READCURRENT_LOG, LINK_ATA, TYPE_89H_DEVICE_VENDOR_LOG},
        AdaptCase{TYPE_4DH_READCURRENT_LOG, LINK_ATA_BY_FC, TYPE_89H_DEVICE_VENDOR_LOG},
        AdaptCase{TYPE_A4H_SET_TIME_STAMP, LINK_ATA_BY_SCSI, TYPE_8CH_WRITE_CURRENT_TIME},
        AdaptCase{TYPE_A4H_SET_TIME_STAMP, LINK_ATA, TYPE_8CH_WRITE_CURRENT_TIME},
        AdaptCase{TYPE_A4H_SET_TIME_STAMP, LINK_ATA_BY_FC, TYPE_8CH_WRITE_CURRENT_TIME},
        AdaptCase{TYPE_4DH_SET_POWER_OFF_PROTECT, LINK_ATA_BY_SCSI, TYPE_8DH_FLUSH_TABLE_DATA},
        AdaptCase{TYPE_4DH_SET_POWER_OFF_PROTECT, LINK_ATA, TYPE_8DH_FLUSH_TABLE_DATA},
        AdaptCase{TYPE_4DH_SET_POWER_OFF_PROTECT, LINK_ATA_BY_FC, TYPE_8DH_FLUSH_TABLE_DATA},
        AdaptCase{TYPE_04H_SET_FORMAT_UNIT, LINK_ATA_BY_SCSI, TYPE_SET_FORMAT_UNIT},
        AdaptCase{TYPE_04H_SET_FORMAT_UNIT, LINK_ATA, TYPE_SET_FORMAT_UNIT},
        AdaptCase{TYPE_04H_SET_FORMAT_UNIT, LINK_ATA_BY_FC, TYPE_SET_FORMAT_UNIT},
        // already right for the link
        AdaptCase{TYPE_89H_DEVICE_VENDOR_LOG, LINK_ATA_BY_SCSI, TYPE_89H_DEVICE_VENDOR_LOG},
        AdaptCase{TYPE_89H_DEVICE_VENDOR_LOG, LINK_ATA_BY_FC, TYPE_89H_DEVICE_VENDOR_LOG},
        AdaptCase{TYPE_8CH_WRITE_CURRENT_TIME, LINK_ATA, TYPE_8CH_WRITE_CURRENT_TIME},
        AdaptCase{TYPE_4DH_READCURRENT_LOG, LINK_SCSI, TYPE_4DH_READCURRENT_LOG},
        AdaptCase{TYPE_A4H_SET_TIME_STAMP, LINK_SCSI, TYPE_A4H_SET_TIME_STAMP},
        AdaptCase{TYPE_4DH_SET_POWER_OFF_PROTECT, LINK_SCSI, TYPE_4DH_SET_POWER_OFF_PROTECT},
        AdaptCase{TYPE_04H_SET_FORMAT_UNIT, LINK_SCSI, TYPE_04H_SET_FORMAT_UNIT},
        AdaptCase{TYPE_SET_FORMAT_UNIT, LINK_ATA_BY_SCSI, TYPE_SET_FORMAT_UNIT},
        // an unknown link type changes nothing
        AdaptCase{TYPE_89H_DEVICE_VENDOR_LOG, 0, TYPE_89H_DEVICE_VENDOR_LOG},
        AdaptCase{TYPE_4DH_READCURRENT_LOG, 3, TYPE_4DH_READCURRENT_LOG},
        AdaptCase{TYPE_SET_FORMAT_UNIT, 16, TYPE_SET_FORMAT_UNIT},
        // every other type stands, none included
        AdaptCase{TYPE_SMART_VALUE_THRES, LINK_SCSI, TYPE_SMART_VALUE_THRES},
        AdaptCase{TYPE_89H_DEVICE_ALL_VENDOR_LOG, LINK_SCSI, TYPE_89H_DEVICE_ALL_VENDOR_LOG},
        AdaptCase{TYPE_4DH_READFLASH_LOG, LINK_ATA_BY_SCSI, TYPE_4DH_READFLASH_LOG},
        AdaptCase{TYPE_4DH_READNVALL_LOG, LINK_ATA, TYPE_4DH_READNVALL_LOG},
        AdaptCase{TYPE_BUTT, LINK_SCSI, TYPE_BUTT},
        AdaptCase{TYPE_BUTT, LINK_ATA_BY_SCSI, TYPE_BUTT}),
    CaseName());

} // namespace
