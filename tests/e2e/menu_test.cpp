// Menu sessions: the program without arguments, driven through standard input
// against emulated drives, with the screen compared byte for byte.
#include "e2e_util.h"
#include "case_names.h"

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string kStars = "*************************";

std::string SelectPrompt(unsigned count)
{
    return "    Select a disk: [ Index 1-" + std::to_string(count) + " or q or 0 to quit] ";
}

std::string MenuPrompt(unsigned count)
{
    return "  select an option : [1-" + std::to_string(count) + " or o/t/s/r/b or q to quit] ";
}

struct Toggles {
    bool bin = false;
    bool txt = false;
    bool show = true;
    bool log = true;
};

// A menu screen: the shown rows (already numbered), the toggles, the back line of submenus.
std::string Menu(const std::string& rows, const Toggles& t, bool submenu)
{
    std::string s = "\n  " + kStars + " MENU " + kStars + "\n" + rows + "\n";
    s += t.bin ? "   o : disable save original binary data to file\n" : "   o : enable save original binary Data to file\n";
    s += t.txt ? "   t : disable save parsed text to file\n" : "   t : enable save parsed text to file\n";
    s += t.show ? "   s : disable show parsed text on screen\n" : "   s : enable show parsed text on screen\n";
    s += t.log ? "   r : disable save log to file\n" : "   r : enable save log to file\n";
    if (submenu) {
        s += "   b : back to previous menu\n";
    }
    s += "   q : quit\n  " + kStars + "******" + kStars + "\n";
    return s;
}

const std::string kListHead = "     Index  Model                     Serial              Firmware DeviceName      \n";
const std::string kK6470Line =
    "       1   QUMA-K6470BN0400          S6470BN400A130501879 B230     /dev/sdb            \n";

const std::string kScsiMainRows = "   1 : Basic Information         \n"
                                  "   2 : Inquiry Device            \n"
                                  "   3 : Log Sense                 \n"
                                  "   4 : Mode Sense                \n"
                                  "   5 : SMART Information         \n"
                                  "   6 : Dev Vendor Spec Option    \n"
                                  "   7 : Download Microcode        \n"
                                  "   8 : Utility                   \n";

const std::string kK6470Info = "\n"
                               "    Model    : QUMA-K6470BN0400\n"
                               "    Serial   : S6470BN400A130501879\n"
                               "    Firmware : B230\n"
                               "    LBA      : 781422768\n"
                               "    Capacity : 400 GB\n"
                               "    LinkType : SCSI\n";

class Menu_ : public E2eTest {
protected:
    void UseDrives(const std::string& fixtures) { env_["ZV_EMU_CONFIG"] = fixtures; }
};

TEST_F(Menu_, NoDriveFound)
{
    RunResult r = Run({}, "1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No Physical Drive found!\n");
}

struct QuitCase {
    const char* input;
    unsigned prompts;
};

void PrintTo(const QuitCase& c, std::ostream* os) { *os << SpeltOut(c.input); }

class MenuQuitAtSelection : public Menu_, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(MenuQuitAtSelection, EndsWithStatus0)
{
    UseDrives(TestData("demo/sas_k6470.txt"));
    RunResult r = Run({}, GetParam().input);
    EXPECT_EQ(r.status, 0);
    std::string expected = kListHead + kK6470Line;
    for (unsigned i = 0; i < GetParam().prompts; i++) {
        expected += SelectPrompt(1);
    }
    EXPECT_EQ(r.out, expected);
}

// The numeric prompt shows itself once more when the input ends, then answers 0.
INSTANTIATE_TEST_SUITE_P(Answers, MenuQuitAtSelection,
                         ::testing::Values(QuitCase{"0\n", 1}, QuitCase{"q\n", 1}, QuitCase{"Q\n", 1},
                                           QuitCase{" 0 \n", 1}, QuitCase{"", 2}),
                         CaseName());

TEST_F(Menu_, BadIndexRepeatsSelectionPrompt)
{
    // Asked again as on a terminal; piped, a refused answer ends the input.
    on_terminal_ = true;
    UseDrives(TestData("demo/sas_k6470.txt"));
    RunResult r = Run({}, "2\nx\n\n0\n");
    EXPECT_EQ(r.status, 0);
    // Out of range, not a number, and empty each ask again.
    EXPECT_EQ(r.out, kListHead + kK6470Line + SelectPrompt(1) + SelectPrompt(1) + SelectPrompt(1) + SelectPrompt(1));
}

TEST_F(Menu_, ListOptionListsWithoutPrompt)
{
    UseDrives(TestData("demo/sas_k6470.txt"));
    RunResult r = Run({"-l"}, "1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kListHead + kK6470Line);
}

TEST_F(Menu_, ChosenDriveShowsBasicInformationAndScsiMenu)
{
    UseDrives(TestData("demo/sas_k6470.txt"));
    RunResult r = Run({}, "1\n1\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string main_menu = Menu(kScsiMainRows, Toggles(), false) + MenuPrompt(8);
    EXPECT_EQ(r.out, kListHead + kK6470Line + SelectPrompt(1) + kK6470Info + main_menu + kK6470Info + main_menu);
}

TEST_F(Menu_, TwoDrivesListedAndAtaDriveGetsAtaMenu)
{
    // Asked again as on a terminal; piped, a refused answer ends the input.
    on_terminal_ = true;
    UseDrives(TestData("demo/sata_k4410.txt") + ":" + TestData("demo/sas_k6470.txt"));
    RunResult r = Run({}, "3\n1\n7\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string list = kListHead +
                             "       1   QUMA-K4410TN0100          K4410TN0100A13000472 10731    /dev/sda            \n"
                             "       2   QUMA-K6470BN0400          S6470BN400A130501879 B230     /dev/sdb            \n";
    const std::string info = "\n"
                             "    Model    : QUMA-K4410TN0100\n"
                             "    Serial   : K4410TN0100A13000472\n"
                             "    Firmware : 10731\n"
                             "    LBA      : 195371568\n"
                             "    Capacity : 100 GB\n"
                             "    LinkType : ATA by SCSI\n";
    const std::string main_menu = Menu("   1 : Basic Information         \n"
                                       "   2 : Identify Device           \n"
                                       "   3 : SMART Value-Threshold     \n"
                                       "   4 : SMART Log                 \n"
                                       "   5 : Dev Vendor Spec Tables    \n"
                                       "   6 : Download Microcode        \n"
                                       "   7 : Utility                   \n",
                                       Toggles(), false) +
                                  MenuPrompt(7);
    const std::string utility = Menu("   1 : Tune QUMA Eye Chart       \n"
                                     "   2 : Flush Date & Time         \n"
                                     "   3 : Calc Magnify Coefficient  \n"
                                     "   4 : Get/Set Max Address       \n",
                                     Toggles(), true) +
                                MenuPrompt(4);
    // Index 3 is out of range and asks again.
    EXPECT_EQ(r.out, list + SelectPrompt(2) + SelectPrompt(2) + info + main_menu + utility + main_menu);
}

TEST_F(Menu_, EndOfInputAtMenuEndsWithStatus0)
{
    UseDrives(TestData("demo/sas_k6470.txt"));
    RunResult r = Run({}, "1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kListHead + kK6470Line + SelectPrompt(1) + kK6470Info + Menu(kScsiMainRows, Toggles(), false) +
                         MenuPrompt(8));
}

TEST_F(Menu_, TogglesFlipAndBackAtMainMenuRedisplays)
{
    // Asked again as on a terminal; piped, a refused answer ends the input.
    on_terminal_ = true;
    UseDrives(TestData("demo/sas_k6470.txt"));
    RunResult r = Run({}, "1\no\nT\ns\nr\nb\n 9 \nO\nq\n");
    EXPECT_EQ(r.status, 0);
    Toggles t;
    std::string expected = kListHead + kK6470Line + SelectPrompt(1) + kK6470Info;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    t.bin = true;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    t.txt = true;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    t.show = false;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    t.log = false;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    // b at the main menu and an invalid number only show the menu again.
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    t.bin = false;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    EXPECT_EQ(r.out, expected);
}

TEST_F(Menu_, HiddenRowRunsByItsNumber)
{
    UseDrives(TestData("menu/sas_p37rv.txt"));
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    // Utility, then row 4 ("[4Dh] Set Power-Off Protect"), which this family does not show.
    RunResult r = Run({}, "1\n8\n4\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string info = "\n"
                             "    Model    : QUMA-P37RV-0064\n"
                             "    Serial   : P37RV0064A000000042\n"
                             "    Firmware : R101\n"
                             "    LBA      : 125000000\n"
                             "    Capacity : 63 GB\n"
                             "    LinkType : SCSI\n";
    const std::string main_menu = Menu(kScsiMainRows, Toggles(), false) + MenuPrompt(8);
    const std::string utility = Menu("   1 : SCSI Pass Through         \n", Toggles(), true) + MenuPrompt(8);
    EXPECT_EQ(r.out, kListHead +
                         "       1   QUMA-P37RV-0064           P37RV0064A000000042  R101     /dev/sdc            \n" +
                         SelectPrompt(1) + info + main_menu + utility + "\n\n    Set Power-Off Protect OK!" + utility +
                         main_menu);
    EXPECT_NE(ReadFile("trace.txt").find("sgio /dev/sdc cdb=C1060000000000000000 dir=none"), std::string::npos);
}

// The "YYYY-MM-DD_HH-MM-SS" stamps of every second from t0 to t1.
std::vector<std::string> StampsBetween(time_t t0, time_t t1)
{
    std::vector<std::string> stamps;
    for (time_t t = t0; t <= t1; t++) {
        struct tm tm;
        localtime_r(&t, &tm);
        char buf[32];
        strftime(buf, sizeof(buf), "%Y-%m-%d_%H-%M-%S", &tm);
        stamps.push_back(buf);
    }
    return stamps;
}

TEST_F(Menu_, CommandRowWithBothFilesOnWritesThemUnderTheBuiltNames)
{
    UseDrives(TestData("menu/sas_k6470_smart.txt"));
    time_t t0 = time(nullptr);
    // SMART Information, both file toggles on, row 4 "[4Dh] SMART Value", back, quit.
    RunResult r = Run({}, "1\n5\no\nt\n4\nb\nq\n");
    time_t t1 = time(nullptr);
    EXPECT_EQ(r.status, 0);

    const std::string prefix = "sdb_[4Dh] SMART Value_";
    std::vector<std::string> files = FilesStartingWith(prefix);
    ASSERT_EQ(files.size(), 2u);
    const std::string stem = files[0].substr(0, files[0].size() - 4);
    const std::string bin = stem + ".bin", txt = stem + ".txt";
    EXPECT_TRUE((files[0] == bin && files[1] == txt) || (files[0] == txt && files[1] == bin)) << files[0] << files[1];
    bool stamp_in_run = false;
    for (const std::string& s : StampsBetween(t0, t1)) {
        stamp_in_run = stamp_in_run || stem == prefix + s;
    }
    EXPECT_TRUE(stamp_in_run) << stem;

    // The raw file holds the page as the drive sent it.
    const std::string page = std::string("\x35\x00\x00\x18", 4) +
                             std::string("\x09\x00\x00\x00\x00\x00\x00\x00\x00\x00\x12\x34", 12) +
                             std::string("\x0C\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x07", 12);
    EXPECT_EQ(ReadFile(bin), page);
    const std::string text = ReadFile(txt);
    EXPECT_NE(text.find("(0x0C)"), std::string::npos) << text;

    const std::string smart_rows = "   1 : [4Dh] Informational Exceptions\n"
                                   "   2 : [4Dh] SMART Temperature\n"
                                   "   3 : [4Dh] SMART Threshold\n"
                                   "   4 : [4Dh] SMART Value\n";
    Toggles t;
    std::string expected = kListHead + kK6470Line + SelectPrompt(1) + kK6470Info;
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    expected += Menu(smart_rows, t, true) + MenuPrompt(4);
    t.bin = true;
    expected += Menu(smart_rows, t, true) + MenuPrompt(4);
    t.txt = true;
    expected += Menu(smart_rows, t, true) + MenuPrompt(4);
    expected += "    Original binary data is saved to " + bin + "\n";
    expected += "    Parsed text data is saved to " + txt + "\n";
    expected += "\n" + text;
    expected += Menu(smart_rows, t, true) + MenuPrompt(4);
    expected += Menu(kScsiMainRows, t, false) + MenuPrompt(8);
    EXPECT_EQ(r.out, expected);
}

TEST_F(Menu_, CommandRowWithFilesOffWritesNothing)
{
    UseDrives(TestData("menu/sas_k6470_smart.txt"));
    RunResult r = Run({}, "1\n5\n4\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(FilesStartingWith("sdb_").empty());
    EXPECT_NE(r.out.find("(0x09)"), std::string::npos);
}

} // namespace
