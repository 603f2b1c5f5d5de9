// The SAS vendor answers end to end: the -o options and the vendor menu rows that read
// the flags, the link speed and the I/O counters of the emulated SAS drive (/dev/sdb),
// the request sent and the text shown.
#include "e2e_util.h"

#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

// Worked out by hand from the answers of vendor_table/sas_answers.txt.
const char kSpeed[] = "    P0 Speed : 6G\n    P1 Speed : Unknown\n";
const char kFlag[] = "    Disk Flag :ZV-7\n";
const char kIoInfo[] = "disk Io info:\n"
                       "\thost read bytes:\t0x00000000001234\n"
                       "\tnm read bytes:\t\t0000000000000000\n"
                       "\tgc read bytes:\t\t0x123456789abcdef\n"
                       "\tbs read bytes:\t\t0x00000000000001\n"
                       "\thost write bytes:\t0xffffffffffffffff\n"
                       "\tnm write bytes:\t\t0xffffffffffffff\n"
                       "\tgc write bytes:\t\t0x100000000000000\n"
                       "\tbs write bytes:\t\t0x00000000abcdef\n";
// The demo drive's own answers are all zeros.
const char kDemoSpeed[] = "    P0 Speed : Unknown\n    P1 Speed : Unknown\n";
const char kDemoFlag[] = "    Disk Flag :\n";

class VendorTableE2e : public E2eTest {
protected:
    void UseDrive(bool with_values)
    {
        std::string config = TestData("demo/sas_k6470.txt") + ":" + TestData("demo/sas_k6470_scsi.txt");
        if (with_values) {
            config += ":" + TestData("vendor_table/sas_answers.txt");
        }
        env_["ZV_EMU_CONFIG"] = config;
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    // The requests after the drive's classification (INQUIRY, READ CAPACITY).
    std::vector<Bytes> Commands() const { return SentCdbs("/dev/sdb"); }
};

const char kFlagCdb[] = "C0 0A 03 00 08 00 00 00 00 00";
const char kSpeedCdb[] = "C0 0A 04 00 08 00 00 00 00 00";
const char kIoCdb[] = "C0 07 00 40 00 00 00 00 00 00";

struct OptionCase {
    const char* value;  // of -o
    bool with_values;
    const char* want;
    const char* cdb;
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.value << (c.with_values ? "" : " demo"); }

class VendorTableOption : public VendorTableE2e, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(VendorTableOption, ReadsTheAnswerAndShowsItsText)
{
    const OptionCase& c = GetParam();
    UseDrive(c.with_values);
    RunResult r = Run({"-o", c.value, "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, std::string("\n") + c.want);
    EXPECT_EQ(Commands(), std::vector<Bytes>{Hex(c.cdb)});
}

INSTANTIATE_TEST_SUITE_P(Answers, VendorTableOption,
                         ::testing::Values(OptionCase{"getspeed", true, kSpeed, kSpeedCdb},
                                           OptionCase{"getspeed", false, kDemoSpeed, kSpeedCdb},
                                           OptionCase{"getflag", true, kFlag, kFlagCdb},
                                           OptionCase{"getflag", false, kDemoFlag, kFlagCdb},
                                           OptionCase{"getIoInfo", true, kIoInfo, kIoCdb}),
                         CaseName());

TEST_F(VendorTableE2e, TextFileHoldsTheCounters)
{
    UseDrive(true);
    RunResult r = Run({"-o", "getIoInfo", "-x", "io.txt", "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Parsed text data is saved to io.txt\n");
    EXPECT_EQ(ReadFile("io.txt"), kIoInfo);
}

const std::string kStars = "*************************";

struct MenuCase {
    const char* row;  // of the vendor submenu
    const char* want;
    const char* cdb;
};

void PrintTo(const MenuCase& c, std::ostream* os) { *os << "row " << c.row; }

class VendorTableMenu : public VendorTableE2e, public ::testing::WithParamInterface<MenuCase> {};

// The SAS vendor-specific submenu (main row 6): the text shows after the submenu's prompt and
// before the submenu comes back.
TEST_P(VendorTableMenu, RowShowsTheText)
{
    const MenuCase& c = GetParam();
    UseDrive(true);
    RunResult r = Run({}, std::string("1\n6\n") + c.row + "\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string shown = "  select an option : [1-15 or o/t/s/r/b or q to quit] \n" + std::string(c.want) +
                              "\n  " + kStars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
    EXPECT_EQ(Commands(), std::vector<Bytes>{Hex(c.cdb)});
}

INSTANTIATE_TEST_SUITE_P(Rows, VendorTableMenu,
                         ::testing::Values(MenuCase{"12", kFlag, kFlagCdb}, MenuCase{"14", kSpeed, kSpeedCdb},
                                           MenuCase{"15", kIoInfo, kIoCdb}),
                         CaseName());

}  // namespace
