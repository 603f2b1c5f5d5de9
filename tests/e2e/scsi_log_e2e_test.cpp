// The LOG SENSE pages end to end: the -L and -o options and the menu rows that read them
// on the emulated SAS drive (/dev/sdb), the requests sent and the decoded text shown.
#include "e2e_util.h"

#include <string>
#include <utility>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;

// The goldens were written from the page layouts and the fixtures' bytes, at an indent of 4.
std::string Golden(const std::string& name) { return TestDataFile("scsi_log/" + name); }

struct PageAnswer {
    const char* page;     // page code as the fixture selects it, "0D"
    const char* fixture;  // under tests/data/scsi_log/
};

// The demo SAS drive with its SCSI pages; a case's pages answer with the bytes of the
// unit tests' fixtures.
class ScsiLogE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        UseDrive({});
    }

    void UseDrive(const std::vector<PageAnswer>& pages)
    {
        std::string config = TestData("demo/sas_k6470.txt") + ":" + TestData("demo/sas_k6470_scsi.txt");
        if (!pages.empty()) {
            std::string overrides = "drive /dev/sdb\n";
            for (const PageAnswer& p : pages) {
                overrides += std::string("answer scsi 4D page=") + p.page + "\n" +
                             DataLine(std::string("scsi_log/") + p.fixture);
            }
            WriteFile("pages.txt", overrides);
            config += ":" + Path("pages.txt");
        }
        env_["ZV_EMU_CONFIG"] = config;
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    // The requests after the drive's classification (INQUIRY, READ CAPACITY).
    std::vector<Bytes> Commands() const { return SentCdbs("/dev/sdb"); }
};

struct OptionCase {
    std::vector<std::string> args;  // before the device
    std::vector<PageAnswer> pages;  // over the demo drive's own pages
    const char* golden;
    std::vector<Bytes> sent;
};

void PrintTo(const OptionCase& c, std::ostream* os)
{
    for (const std::string& a : c.args) {
        *os << a << " ";
    }
    *os << c.golden;
}

class ScsiLogOption : public ScsiLogE2e, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(ScsiLogOption, ReadsThePageAndShowsItsText)
{
    const OptionCase& c = GetParam();
    UseDrive(c.pages);
    std::vector<std::string> args = c.args;
    args.push_back("/dev/sdb");
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n" + Golden(c.golden));
    EXPECT_EQ(Commands(), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ScsiLogOption,
    ::testing::Values(
        // the demo drive's list: 14 codes, the last one unnamed
        OptionCase{{"-L", "supported"}, {}, "demo_supported_4.out", {LogSense(0x40, 18)}},
        // 20 codes sent: the fixed 18-byte read holds 14 of them
        OptionCase{{"-L", "supported"}, {{"00", "supported_many.hex"}}, "supported_many_4.out", {LogSense(0x40, 18)}},
        OptionCase{{"-L", "supported"}, {{"00", "supported_none.hex"}}, "supported_none_4.out", {LogSense(0x40, 18)}},
        // the error counter options read the cumulative values (page control 01b) at their fixed lengths
        OptionCase{{"-L", "write"}, {}, "demo_write_counters.out", {LogSense(0x42, 112)}},
        OptionCase{{"-L", "write"}, {{"02", "write_counters.hex"}}, "write_counters.out", {LogSense(0x42, 112)}},
        OptionCase{{"-L", "read"}, {}, "demo_read_counters.out", {LogSense(0x43, 100)}},
        OptionCase{{"-L", "read"}, {{"03", "read_counters.hex"}}, "read_counters.out", {LogSense(0x43, 100)}},
        OptionCase{{"-L", "verify"}, {}, "demo_verify_counters.out", {LogSense(0x45, 88)}},
        OptionCase{{"-L", "verify"}, {{"05", "verify_counters.hex"}}, "verify_counters.out", {LogSense(0x45, 88)}},
        OptionCase{{"-L", "nonmedium"}, {}, "demo_nonmedium.out", {LogSense(0x46, 16)}},
        OptionCase{{"-L", "nonmedium"}, {{"06", "nonmedium.hex"}}, "nonmedium.out", {LogSense(0x46, 16)}},
        OptionCase{{"-L", "temperature"}, {}, "demo_temperature.out", {LogSense(0x0D, 16)}},
        OptionCase{{"-L", "temperature"}, {{"0D", "temperature.hex"}}, "temperature_4.out", {LogSense(0x0D, 16)}},
        // the demo drive's self-test page is empty: 20 blocks of zeros
        OptionCase{{"-L", "selftest"}, {}, "selftest_zero_4.out", {LogSense(0x10, 404)}},
        OptionCase{{"-L", "selftest"}, {{"10", "selftest_results.hex"}}, "selftest_results_4.out",
                   {LogSense(0x10, 404)}},
        OptionCase{{"-L", "protocol"}, {}, "demo_port.out", {LogSense(0x18, 124)}},
        OptionCase{{"-L", "protocol"}, {{"18", "port.hex"}}, "port.out", {LogSense(0x18, 124)}},
        // no fixed length: the page length asked first, then the page
        OptionCase{{"-o", "smarttem"}, {{"32", "smart_temperature.hex"}}, "smart_temperature_4.out",
                   {LogSense(0x32, 4), LogSense(0x32, 20)}}),
    CaseName());

TEST_F(ScsiLogE2e, RawAndTextFiles)
{
    UseDrive({{"00", "supported_many.hex"}});
    RunResult r = Run({"-L", "supported", "-b", "pages.bin", "-x", "pages.txt", "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data is saved to pages.bin\n"
                     "    Parsed text data is saved to pages.txt\n");
    EXPECT_EQ(ReadFile("pages.txt"), Golden("supported_many_4.out"));
    // the 18 bytes the fixed length asked for
    const std::string raw = ReadFile("pages.bin");
    EXPECT_EQ(raw, std::string("\x00\x00\x00\x14\x00\x42\x07\x3E\x30\x31\x33\x03\x05\x06\x0D\x10\xD5\x18", 18));
}

struct RefusedCase {
    std::vector<std::string> args;  // before the device
    std::vector<PageAnswer> pages;
    std::vector<Bytes> sent;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    for (const std::string& a : c.args) {
        *os << a << " ";
    }
    for (const PageAnswer& p : c.pages) {
        *os << "page " << p.page << " from " << p.fixture << " ";
    }
}

class ScsiLogRefused : public ScsiLogE2e, public ::testing::WithParamInterface<RefusedCase> {};

// A page shorter than its record is reported as such, and no text file is written.
TEST_P(ScsiLogRefused, ReportsTheDataAndWritesNoText)
{
    const RefusedCase& c = GetParam();
    UseDrive(c.pages);
    std::vector<std::string> args = c.args;
    for (const char* a : {"-b", "page.bin", "-x", "page.txt", "/dev/sdb"}) {
        args.push_back(a);
    }
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data is saved to page.bin\n"
                     "    Current data's parse is unsupported or length is illegal\n");
    EXPECT_FALSE(Exists("page.txt"));
    EXPECT_EQ(Commands(), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ScsiLogRefused,
    ::testing::Values(
        // the demo drive's SMART Temperature page announces 8 bytes, fewer than the 16 after its header
        RefusedCase{{"-o", "smarttem"}, {}, {LogSense(0x32, 4), LogSense(0x32, 12)}},
        // a SMART Temperature page of a header only
        RefusedCase{{"-o", "smarttem"}, {{"32", "header_only.hex"}}, {LogSense(0x32, 4), LogSense(0x32, 4)}}),
    CaseName());

const std::string kStars = "*************************";

std::string MenuPrompt(unsigned count)
{
    return "  select an option : [1-" + std::to_string(count) + " or o/t/s/r/b or q to quit] ";
}

struct MenuCase {
    const char* keys;  // after the drive's index, up to the row
    unsigned rows;     // of the submenu
    std::vector<PageAnswer> pages;
    const char* golden;
    std::vector<Bytes> sent;
};

void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.keys << " " << c.golden; }

class ScsiLogMenu : public ScsiLogE2e, public ::testing::WithParamInterface<MenuCase> {};

// The row's text shows after the submenu's prompt and before the submenu comes back.
TEST_P(ScsiLogMenu, RowShowsThePageText)
{
    const MenuCase& c = GetParam();
    UseDrive(c.pages);
    RunResult r = Run({}, std::string("1\n") + c.keys + "\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string shown = MenuPrompt(c.rows) + "\n" + Golden(c.golden) + "\n  " + kStars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
    EXPECT_EQ(Commands(), c.sent);
}

INSTANTIATE_TEST_SUITE_P(Rows, ScsiLogMenu,
                         ::testing::Values(
                             // Log Sense, row 1 "[4Dh] Supported Log Pages"
                             MenuCase{"3\n1", 8, {}, "demo_supported_4.out", {LogSense(0x40, 18)}},
                             // rows 2 to 5: the error counter pages
                             MenuCase{"3\n2", 8, {}, "demo_write_counters.out", {LogSense(0x42, 112)}},
                             MenuCase{"3\n3", 8, {{"03", "read_counters.hex"}}, "read_counters.out",
                                      {LogSense(0x43, 100)}},
                             MenuCase{"3\n4", 8, {}, "demo_verify_counters.out", {LogSense(0x45, 88)}},
                             MenuCase{"3\n5", 8, {}, "demo_nonmedium.out", {LogSense(0x46, 16)}},
                             // rows 6 to 8: temperature, self-test results, protocol-specific port
                             MenuCase{"3\n6", 8, {}, "demo_temperature.out", {LogSense(0x0D, 16)}},
                             MenuCase{"3\n7", 8, {{"10", "selftest_results.hex"}}, "selftest_results_4.out",
                                      {LogSense(0x10, 404)}},
                             MenuCase{"3\n8", 8, {{"18", "port.hex"}}, "port.out", {LogSense(0x18, 124)}},
                             // SMART Information, row 1 "[4Dh] Informational Exceptions": the page
                             // length first, then the page
                             MenuCase{"5\n1", 4, {}, "demo_exceptions.out", {LogSense(0x2F, 4), LogSense(0x2F, 12)}},
                             MenuCase{"5\n1", 4, {{"2F", "exceptions.hex"}}, "exceptions_4.out",
                                      {LogSense(0x2F, 4), LogSense(0x2F, 16)}},
                             // row 2 "[4Dh] SMART Temperature"
                             MenuCase{"5\n2", 4, {{"32", "smart_temperature.hex"}}, "smart_temperature_4.out",
                                      {LogSense(0x32, 4), LogSense(0x32, 20)}}),
                         CaseName());

} // namespace
