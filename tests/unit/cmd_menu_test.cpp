#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu_api.h"
#include "test_init.h"

#include "cmd_menu.h"
#include "disk_cmnd.h"
#include "drive_select.h"
#include "file_utils.h"
#include "front_state.h"
#include "fw_download.h"
#include "one_key_info.h"
#include "scsi_passthrough.h"
#include "settings.h"
#include "vendor_tools.h"

namespace {

const char* const kStars = "*************************";

size_t CountOf(const std::string& hay, const std::string& needle)
{
    size_t n = 0;
    for (size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + needle.size())) {
        n++;
    }
    return n;
}

// Keeps the process-wide state that the menus read and write apart between tests.
class MenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        DiskCmnd::Init();
        output_flags = OutputFlags();
        cur_disk = DiskInfo();
    }

    SettingsGuard settings_;
};

// ---- The menu tables -------------------------------------------------------------------------

// One expected row; a null name stands for the catalogue's display name of the type.
struct ExpectedRow {
    const char* name;
    CmdHandler handler;
    u32 type;
    std::vector<ExpectedRow> submenu;
};

ExpectedRow Cmd(u32 type) { return ExpectedRow{nullptr, nullptr, type, {}}; }
ExpectedRow Named(const char* name, u32 type) { return ExpectedRow{name, nullptr, type, {}}; }
ExpectedRow Handler(const char* name, CmdHandler h) { return ExpectedRow{name, h, TYPE_BUTT, {}}; }
ExpectedRow Sub(const char* name, std::vector<ExpectedRow> rows) { return ExpectedRow{name, nullptr, TYPE_BUTT, rows}; }

std::vector<ExpectedRow> Cmds(std::initializer_list<u32> types)
{
    std::vector<ExpectedRow> rows;
    for (u32 t : types) {
        rows.push_back(Cmd(t));
    }
    return rows;
}

void ExpectRows(const MenuItem* menu, u32 count, const std::vector<ExpectedRow>& want, const std::string& where)
{
    ASSERT_EQ(count, want.size()) << where;
    for (u32 i = 0; i < count; i++) {
        const ExpectedRow& s = want[i];
        const MenuItem& m = menu[i];
        std::string at = where + " row " + std::to_string(i + 1);
        ASSERT_NE(m.name, nullptr) << at;
        std::string name = s.name != nullptr ? s.name : disk_spt_list[s.type].name;
        EXPECT_EQ(std::string(m.name), name) << at;
        EXPECT_EQ(m.handler, s.handler) << at;
        EXPECT_EQ(m.type, s.type) << at;
        EXPECT_EQ(m.submenu_count, s.submenu.size()) << at;
        if (s.submenu.empty()) {
            EXPECT_EQ(m.submenu, nullptr) << at;
        } else {
            ASSERT_NE(m.submenu, nullptr) << at;
            ExpectRows(m.submenu, m.submenu_count, s.submenu, at);
        }
    }
}

TEST(MenuTables, AtaMainMenu)
{
    const std::vector<ExpectedRow> want = {
        Handler("Basic Information         ", showBasicInfo),
        Named("Identify Device           ", 0),
        Sub("SMART Value-Threshold     ", Cmds({1, 2, 3, 4})),
        Sub("SMART Log                 ", Cmds({6, 7, 8, 11, 13, 10, 18})),
        Sub("Dev Vendor Spec Tables    ", {Handler("Collect QUMA All Important Informations    ", collectOneKeyInfo)}),
        Handler("Download Microcode        ", downloadMicrocode),
        Sub("Utility                   ",
            {Handler("Tune QUMA Eye Chart       ", tuneEyeChart), Named("Flush Date & Time         ", 43),
             Handler("Calc Magnify Coefficient  ", calcMagnifyCoefficient),
             Handler("Get/Set Max Address       ", getSetMaxAddress)}),
    };
    ExpectRows(ata_main_menu, kAtaMainMenuCount, want, "ata");
}

TEST(MenuTables, ScsiMainMenu)
{
    std::vector<ExpectedRow> utility = {Handler("SCSI Pass Through         ", scsiPassThroughHex)};
    for (u32 t : {91, 89, 88, 125, 128, 129, 131}) {
        utility.push_back(Cmd(t));
    }
    const std::vector<ExpectedRow> want = {
        Handler("Basic Information         ", showBasicInfo),
        Sub("Inquiry Device            ", Cmds({60, 61, 62, 63, 64, 65})),
        Sub("Log Sense                 ", Cmds({68, 70, 72, 74, 76, 77, 78, 79})),
        Sub("Mode Sense                ", Cmds({120, 121, 122, 123})),
        Sub("SMART Information         ", Cmds({80, 81, 82, 83})),
        Sub("Dev Vendor Spec Option    ",
            Cmds({84, 85, 86, 118, 119, 87, 126, 127, 132, 133, 130, 136, 137, 138, 141})),
        Handler("Download Microcode        ", downloadMicrocode),
        Sub("Utility                   ", utility),
    };
    ExpectRows(scsi_main_menu, kScsiMainMenuCount, want, "scsi");
}

// ---- Row filter ------------------------------------------------------------------------------

struct SupportCase {
    const char* model;
    u32 type;
    bool shown;
};

void PrintTo(const SupportCase& c, std::ostream* os)
{
    *os << (*c.model != '\0' ? c.model : "no model") << " " << CmndTypeText(static_cast<int>(c.type));
}

class MenuSupport : public MenuTest, public ::testing::WithParamInterface<SupportCase> {};

TEST_P(MenuSupport, FollowsTheFamilyMask)
{
    const SupportCase& c = GetParam();
    cur_disk.model = c.model;
    EXPECT_EQ(isMenuItemSupported(c.type), c.shown) << c.model << " type " << c.type;
}

INSTANTIATE_TEST_SUITE_P(
    Families, MenuSupport,
    ::testing::Values(
        // P37RV: mask [0]
        SupportCase{"QUMA-P37RV-0064", 0, true}, SupportCase{"QUMA-P37RV-0064", 7, false},
        SupportCase{"QUMA-P37RV-0064", 17, true}, SupportCase{"QUMA-P37RV-0064", 60, true},
        SupportCase{"QUMA-P37RV-0064", 61, false}, SupportCase{"QUMA-W37RV-0256", 18, true},
        // K4410: mask [1]
        SupportCase{"QUMA-K4410TN0200", 7, true}, SupportCase{"QUMA-K4410TN0200", 9, false},
        SupportCase{"QUMA-K4410TN0200", 20, true}, SupportCase{"QUMA-K4410TN0200", 61, false},
        SupportCase{"QUMA-K4410TR0050", 60, true},
        // every other drive: mask [2]
        SupportCase{"QUMA-G2T7-0400", 0, false}, SupportCase{"QUMA-K6410TN0100", 60, true},
        SupportCase{"QUMA-K6410TN0100", 61, true}, SupportCase{"QUMA-K6410TN0100", 66, false},
        SupportCase{"", 141, true}, SupportCase{"", 43, false},
        // no command type: always shown; beyond the catalogue: never
        SupportCase{"QUMA-P37RV-0064", TYPE_BUTT, true}, SupportCase{"", TYPE_BUTT, true},
        SupportCase{"", TYPE_BUTT + 1, false}),
    CaseName());

// ---- Display ---------------------------------------------------------------------------------

std::string Toggles(bool bin, bool txt, bool show, bool log)
{
    std::string s;
    s += bin ? "   o : disable save original binary data to file\n" : "   o : enable save original binary Data to file\n";
    s += txt ? "   t : disable save parsed text to file\n" : "   t : enable save parsed text to file\n";
    s += show ? "   s : disable show parsed text on screen\n" : "   s : enable show parsed text on screen\n";
    s += log ? "   r : disable save log to file\n" : "   r : enable save log to file\n";
    return s;
}

const std::string kHead = std::string("\n  ") + kStars + " MENU " + kStars + "\n";
const std::string kFoot = std::string("  ") + kStars + "******" + kStars + "\n";

TEST_F(MenuTest, SubmenuOfP37rvDriveHidesRowsKeepingNumbers)
{
    cur_disk.model = "QUMA-P37RV-0128";
    cur_menu = scsi_main_menu;
    const MenuItem* inquiry = scsi_main_menu[1].submenu;
    ::testing::internal::CaptureStdout();
    showMenu(inquiry, 6);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, kHead + "   1 : [12h] INQUIRY\n\n" + Toggles(false, false, true, true) +
                       "   b : back to previous menu\n   q : quit\n" + kFoot);
}

TEST_F(MenuTest, SubmenuShowsGapsInNumbers)
{
    cur_disk.model = "QUMA-K4410TN0100";
    cur_menu = ata_main_menu;
    ::testing::internal::CaptureStdout();
    showMenu(ata_main_menu[3].submenu, 7);
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string rows = std::string("   1 : ") + disk_spt_list[6].name + "\n" + "   2 : " + disk_spt_list[7].name +
                       "\n" + "   3 : " + disk_spt_list[8].name + "\n" + "   4 : " + disk_spt_list[11].name + "\n" +
                       "   5 : " + disk_spt_list[13].name + "\n" + "   6 : " + disk_spt_list[10].name + "\n" +
                       "   7 : " + disk_spt_list[18].name + "\n";
    EXPECT_EQ(out, kHead + rows + "\n" + Toggles(false, false, true, true) +
                       "   b : back to previous menu\n   q : quit\n" + kFoot);

    // A drive of no known family sees none of the ATA command rows.
    cur_disk.model = "OTHER";
    ::testing::internal::CaptureStdout();
    showMenu(ata_main_menu[3].submenu, 7);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, kHead + "\n" + Toggles(false, false, true, true) + "   b : back to previous menu\n   q : quit\n" +
                       kFoot);
}

TEST_F(MenuTest, MainMenuHasNoBackLineAndShowsFlippedToggles)
{
    cur_disk.model = "OTHER";
    cur_menu = ata_main_menu;
    output_flags.save_original_binary = 1;
    output_flags.save_parsed_text = 1;
    output_flags.show_parsed_text = 0;
    output_flags.save_log = 0;
    ::testing::internal::CaptureStdout();
    showMenu(ata_main_menu, kAtaMainMenuCount);
    std::string out = ::testing::internal::GetCapturedStdout();
    // Row 2 (IDENTIFY DEVICE) is hidden for this family; handler and submenu rows always show.
    EXPECT_EQ(out, kHead +
                       "   1 : Basic Information         \n"
                       "   3 : SMART Value-Threshold     \n"
                       "   4 : SMART Log                 \n"
                       "   5 : Dev Vendor Spec Tables    \n"
                       "   6 : Download Microcode        \n"
                       "   7 : Utility                   \n"
                       "\n" +
                       Toggles(true, true, false, false) + "   q : quit\n" + kFoot);
}

TEST_F(MenuTest, RowNumbersFromTenKeepTwoColumns)
{
    cur_disk.model = "OTHER";
    cur_menu = scsi_main_menu;
    ::testing::internal::CaptureStdout();
    showMenu(scsi_main_menu[5].submenu, 15);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("   9 : [C1h] Start Capacitance Status\n  10 : [C0h] Get Capacitance Result\n"),
              std::string::npos);
    EXPECT_NE(out.find("  15 : [C0h] Disk IO info\n"), std::string::npos);
}

TEST_F(MenuTest, BasicInformationScreen)
{
    struct Case {
        u32 link;
        const char* shown;
    };
    const Case cases[] = {{LINK_ATA, "ATA"},       {LINK_ATA_BY_SCSI, "ATA by SCSI"}, {LINK_SCSI, "SCSI"},
                          {LINK_ATA_BY_FC, "ATA by FC"}, {0, "Unknown"},               {3, "Unknown"}};
    cur_disk.model = "QUMA-K6410TN0100";
    cur_disk.serial = "SN0001";
    cur_disk.firmware = "FW12";
    cur_disk.lba_count = 0x1D1C0BEB0ULL;
    cur_disk.capacity_gb = 4000;
    for (const Case& c : cases) {
        cur_disk.link_type = c.link;
        ::testing::internal::CaptureStdout();
        showBasicInfo();
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, std::string("\n"
                                   "    Model    : QUMA-K6410TN0100\n"
                                   "    Serial   : SN0001\n"
                                   "    Firmware : FW12\n"
                                   "    LBA      : 7814037168\n"
                                   "    Capacity : 4000 GB\n"
                                   "    LinkType : ") +
                           c.shown + "\n")
            << c.link;
    }
}

TEST(MenuScreens, VersionScreen)
{
    ::testing::internal::CaptureStdout();
    showVersion();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "\nZembrovant Professional, Control and Monitor Utility for QUMA\n"
                   "Version 1.3.8.3.  Released on DEC 6, 2013 at 18:00:00 UTC+8\n\n");
}

// ---- Reading a choice ------------------------------------------------------------------------

struct SelectCase {
    const char* input;
    u32 count;
    int choice;
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << SpeltOut(c.input) << " of " << c.count << " rows"; }

class MenuSelect : public MenuTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(MenuSelect, ReadsOneLine)
{
    const SelectCase& c = GetParam();
    FeedStdin(c.input);
    ::testing::internal::CaptureStdout();
    int choice = readMenuSelection(ata_main_menu, c.count);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(choice, c.choice) << "input [" << c.input << "]";
    EXPECT_EQ(out, "  select an option : [1-" + std::to_string(c.count) + " or o/t/s/r/b or q to quit] ");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MenuSelect,
    ::testing::Values(
        SelectCase{"o\n", 7, MENU_TOGGLE_BINARY}, SelectCase{"O\n", 7, MENU_TOGGLE_BINARY},
        SelectCase{"t\n", 7, MENU_TOGGLE_TEXT}, SelectCase{"T\n", 7, MENU_TOGGLE_TEXT},
        SelectCase{"s\n", 7, MENU_TOGGLE_SHOW}, SelectCase{"S\n", 7, MENU_TOGGLE_SHOW},
        SelectCase{"b\n", 7, MENU_BACK}, SelectCase{"B\n", 7, MENU_BACK}, SelectCase{"r\n", 7, MENU_TOGGLE_LOG},
        SelectCase{"R\n", 7, MENU_TOGGLE_LOG}, SelectCase{"q\n", 7, MENU_QUIT}, SelectCase{"Q\n", 7, MENU_QUIT},
        SelectCase{" q \n", 7, MENU_QUIT}, SelectCase{"", 7, MENU_QUIT}, SelectCase{"oo\n", 7, MENU_INVALID},
        SelectCase{"x\n", 7, MENU_INVALID}, SelectCase{"\n", 7, MENU_INVALID}, SelectCase{"   \n", 7, MENU_INVALID},
        SelectCase{"1\n", 7, 0}, SelectCase{"7\n", 7, 6}, SelectCase{"8\n", 7, MENU_INVALID},
        SelectCase{"0\n", 7, MENU_INVALID}, SelectCase{" 1 2\n", 12, 11}, SelectCase{" 1 2\n", 11, MENU_INVALID},
        SelectCase{"1g\n", 7, MENU_INVALID}, SelectCase{"1\t\n", 7, MENU_INVALID}, SelectCase{"-1\n", 7, MENU_INVALID},
        SelectCase{"+1\n", 7, MENU_INVALID}, SelectCase{"0x3\n", 7, MENU_INVALID},
        SelectCase{"4294967297\n", 7, MENU_INVALID}, SelectCase{"99999999999999999999999\n", 7, MENU_INVALID},
        SelectCase{"5", 7, 4}, SelectCase{"\n3\n", 7, MENU_INVALID}),
    CaseName());

TEST_F(MenuTest, OverlongLineIsOneInvalidAnswer)
{
    // The rest of a line longer than the reader's buffer must not become the next answer.
    FeedStdin(std::string(5000, '1') + "2\nq\n");
    ::testing::internal::CaptureStdout();
    int first = readMenuSelection(ata_main_menu, 7);
    int second = readMenuSelection(ata_main_menu, 7);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(first, MENU_INVALID);
    EXPECT_EQ(second, MENU_QUIT);
}

// ---- Dispatch --------------------------------------------------------------------------------

TEST_F(MenuTest, TogglesFlipOneFlagEach)
{
    struct Case {
        int choice;
        u8 OutputFlags::*flag;
    };
    const Case cases[] = {{MENU_TOGGLE_BINARY, &OutputFlags::save_original_binary},
                          {MENU_TOGGLE_TEXT, &OutputFlags::save_parsed_text},
                          {MENU_TOGGLE_SHOW, &OutputFlags::show_parsed_text},
                          {MENU_TOGGLE_LOG, &OutputFlags::save_log}};
    for (const Case& c : cases) {
        output_flags = OutputFlags();
        const OutputFlags before = output_flags;
        dispatchMenuItem(c.choice, ata_main_menu);
        EXPECT_EQ(output_flags.*c.flag, !(before.*c.flag)) << c.choice;
        for (const Case& other : cases) {
            if (other.flag != c.flag) {
                EXPECT_EQ(output_flags.*other.flag, before.*other.flag) << c.choice;
            }
        }
        dispatchMenuItem(c.choice, ata_main_menu);
        EXPECT_EQ(output_flags.*c.flag, before.*c.flag) << c.choice;
    }
}

TEST_F(MenuTest, BackAndInvalidChangeNothing)
{
    output_flags.save_parsed_text = 1;
    for (int choice : {MENU_BACK, MENU_INVALID}) {
        ::testing::internal::CaptureStdout();
        dispatchMenuItem(choice, ata_main_menu);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(output_flags.save_original_binary, 0);
        EXPECT_EQ(output_flags.save_parsed_text, 1);
        EXPECT_EQ(output_flags.show_parsed_text, 1);
        EXPECT_EQ(output_flags.save_log, 1);
    }
}

using MenuDeathTest = MenuTest;

TEST_F(MenuDeathTest, QuitEndsTheProcessWithStatus0)
{
    EXPECT_EXIT(dispatchMenuItem(MENU_QUIT, ata_main_menu), ::testing::ExitedWithCode(0), "");
}

int handler_calls = 0;
void CountingHandler() { handler_calls++; }

MenuItem test_submenu[] = {
    {"Count                     ", CountingHandler, TYPE_BUTT, nullptr, 0},
};
MenuItem test_menu[] = {
    {"Count                     ", CountingHandler, TYPE_BUTT, nullptr, 0},
    {"Nested                    ", nullptr, TYPE_BUTT, test_submenu, 1},
    {"Inquiry                   ", nullptr, TYPE_12H_INQUIRY, nullptr, 0},
};

TEST_F(MenuTest, HandlerRowCallsItsHandler)
{
    handler_calls = 0;
    dispatchMenuItem(0, test_menu);
    EXPECT_EQ(handler_calls, 1);
}

TEST_F(MenuTest, SubmenuRowRunsUntilBack)
{
    cur_menu = test_menu;
    handler_calls = 0;
    FeedStdin("1\no\n1\nb\nq\n");
    ::testing::internal::CaptureStdout();
    dispatchMenuItem(1, test_menu);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(handler_calls, 2);
    EXPECT_EQ(output_flags.save_original_binary, 1);
    // Shown once per choice read: 1, o, 1, b.
    EXPECT_EQ(CountOf(out, " MENU "), 4u);
    EXPECT_EQ(CountOf(out, "   b : back to previous menu\n"), 4u);
    EXPECT_EQ(CountOf(out, "select an option : [1-1 or o/t/s/r/b or q to quit] "), 4u);
    // The q after the b is left for the menu above.
    char rest[16] = {};
    ASSERT_NE(fgets(rest, sizeof(rest), stdin), nullptr);
    EXPECT_STREQ(rest, "q\n");
}

TEST_F(MenuDeathTest, EndOfInputInsideSubmenuEndsWithStatus0)
{
    cur_menu = test_menu;
    FeedStdin("1\n");
    EXPECT_EXIT(
        {
            dispatchMenuItem(1, test_menu);
            exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

// The name that a command row on /dev/sdb builds at one moment.
std::string NameAt(const std::string& date, const std::string& time, const char* row, const char* ext)
{
    return std::string("sdb_") + row + "_" + date + "_" + time + ext;
}

TEST_F(MenuTest, CommandRowBuildsFileNamesFromDeviceRowDateAndTime)
{
    char dev[] = "/dev/sdb";
    dev_name = dev;
    strcpy(bin_file_name, "stale-bin-name");
    strcpy(txt_file_name, "stale-txt-name");
    std::string d0 = GetDateStr(), t0 = GetTimeStr('-');
    ::testing::internal::CaptureStdout();
    dispatchMenuItem(2, test_menu);
    ::testing::internal::GetCapturedStdout();
    std::string d1 = GetDateStr(), t1 = GetTimeStr('-');
    std::string bin = bin_file_name, txt = txt_file_name;
    EXPECT_TRUE(bin == NameAt(d0, t0, "Inquiry                   ", ".bin") ||
                bin == NameAt(d1, t1, "Inquiry                   ", ".bin"))
        << bin;
    EXPECT_TRUE(txt == NameAt(d0, t0, "Inquiry                   ", ".txt") ||
                txt == NameAt(d1, t1, "Inquiry                   ", ".txt"))
        << txt;
    EXPECT_EQ(bin.substr(0, bin.size() - 4), txt.substr(0, txt.size() - 4));
}

TEST_F(MenuTest, HiddenRowStillRunsByNumber)
{
    char dev[] = "/dev/sdc";
    dev_name = dev;
    cur_disk.model = "QUMA-P37RV-0064";
    cur_menu = scsi_main_menu;
    const MenuItem* inquiry = scsi_main_menu[1].submenu;
    ASSERT_FALSE(isMenuItemSupported(inquiry[1].type));
    memset(bin_file_name, 0, sizeof(bin_file_name));
    FeedStdin("2\n");
    ::testing::internal::CaptureStdout();
    int choice = readMenuSelection(inquiry, 6);
    dispatchMenuItem(choice, inquiry);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(choice, 1);
    EXPECT_EQ(std::string(bin_file_name).rfind("sdc_[12h] INQUIRY Extended_", 0), 0u) << bin_file_name;
}

TEST_F(MenuTest, OverlongNameIsCutBeforeItsSuffix)
{
    char dev[] = "/dev/sdb";
    dev_name = dev;
    std::string row(5000, 'n');
    buildMenuOutputNames(row.c_str());
    std::string bin = bin_file_name, txt = txt_file_name;
    EXPECT_EQ(bin.size(), sizeof(bin_file_name) - 1);
    EXPECT_EQ(txt.size(), sizeof(txt_file_name) - 1);
    EXPECT_EQ(bin.substr(bin.size() - 4), ".bin");
    EXPECT_EQ(txt.substr(txt.size() - 4), ".txt");
    EXPECT_EQ(bin.rfind("sdb_nnn", 0), 0u);
}

TEST_F(MenuTest, ShortDeviceNameGivesNoDevicePart)
{
    char dev[] = "/dev";
    dev_name = dev;
    buildMenuOutputNames("Row");
    EXPECT_EQ(std::string(bin_file_name).rfind("_Row_", 0), 0u) << bin_file_name;
}

// A SATA drive whose 40-character model is wider than the list's model column.
const char* const kLongModelDrive = R"(drive /dev/sda sat
answer scsi 12 evpd=0
  size 96
  put 0 00 00 05 02 5B 00 00 02
  text 8 "ATA     "
  text 16 "QUMA-G2T7-0400 W"
  text 32 "R101"
answer scsi 25
  be 0 4 0x0BA5222F
  be 4 4 512
answer ata EC
  size 512
  le 0 2 0x0040
  ata-text 20 20 "G2T7SERIAL0000000042"
  ata-text 46 8 "G2T7R101"
  ata-text 54 40 "QUMA-G2T7-0400 WIDE MODEL NAME OF 40 CHR"
  le 98 2 0x0200
  le 120 4 0x0BA52230
include demo/sas_k6470.txt
)";

TEST_F(MenuTest, DriveListCutsWideFieldsAndCopiesTheChosenDrive)
{
    zvemu::Reset();
    std::string err;
    ASSERT_TRUE(zvemu::LoadFixtureText(kLongModelDrive, ZV_TEST_DATA_DIR, &err)) << err;
    output_flags.save_log = 0;  // the scan's log has no place in the working directory
    FeedStdin("2\n");
    ::testing::internal::CaptureStdout();
    listDrives(1);
    std::string out = ::testing::internal::GetCapturedStdout();
    zvemu::Reset();
    EXPECT_EQ(out, "     Index  Model                     Serial              Firmware DeviceName      \n"
                   "       1   QUMA-G2T7-0400 WIDE MODEL G2T7SERIAL0000000042 G2T7R101 /dev/sda            \n"
                   "       2   QUMA-K6470BN0400          S6470BN400A130501879 B230     /dev/sdb            \n"
                   "    Select a disk: [ Index 1-2 or q or 0 to quit] ");
    EXPECT_EQ(cur_disk.device_name, "/dev/sdb");
    EXPECT_EQ(cur_disk.model, "QUMA-K6470BN0400");
    EXPECT_EQ(cur_disk.link_type, (u32)LINK_SCSI);
}

TEST_F(MenuDeathTest, NoDriveEndsWithStatus1)
{
    // The emulator presents no drive unless one is configured.
    EXPECT_EXIT(listDrives(0), ::testing::ExitedWithCode(1), "");
}

} // namespace
