// The standard ATA logs end to end: -s dir/summary/comp/stat/selftest/select/pend on the
// emulated SATA drive (tests/data/ata_log/sata_logs.txt), the logs read with SMART READ
// LOG and the decoded text on the screen and in the -x file.
#include "e2e_util.h"

#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

std::string LogData(const std::string& name) { return std::string(ZV_TEST_DATA_DIR) + "/ata_log/" + name; }

// The goldens were written from the log layouts and the fixture's bytes, at an indent of 4.
std::string Golden(const std::string& name) { return TestDataFile("ata_log/" + name); }

// SMART READ LOG through ATA PASS-THROUGH(16): log address and page count.
Bytes ReadLog(const char* log, const char* pages)
{
    return Hex(std::string("85 08 2E 00 D5 00 ") + pages + " 00 " + log + " 00 4F 00 C2 40 B0 00");
}

const Bytes kDirectory = ReadLog("00", "01");

class AtaLogE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        Drive({});
    }

    void Drive(const std::vector<std::string>& overrides)
    {
        std::string config = LogData("sata_logs.txt");
        for (const std::string& o : overrides) {
            config += ":" + LogData(o);
        }
        env_["ZV_EMU_CONFIG"] = config;
    }

    // The CDBs after the drive's classification (INQUIRY, IDENTIFY DEVICE).
    std::vector<Bytes> Commands() const { return SentCdbs("/dev/sda"); }
};

struct LogCase {
    const char* value;  // of -s
    const char* golden;
    std::vector<Bytes> sent;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << "-s " << c.value; }

class AtaLogOption : public AtaLogE2e, public ::testing::WithParamInterface<LogCase> {};

// Each value reads its own log, sized by the directory, and shows the decoded text.
TEST_P(AtaLogOption, ReadsTheLogAndShowsItsText)
{
    const LogCase& c = GetParam();
    RunResult r = Run({"-s", c.value, "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n" + Golden(c.golden));
    EXPECT_EQ(Commands(), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AtaLogOption,
    ::testing::Values(
        // the directory is a fixed one-page read
        LogCase{"dir", "sata_dir.out", {kDirectory}},
        // the others: the directory for the length, again for the read, then the log
        LogCase{"summary", "sata_summary.out", {kDirectory, kDirectory, ReadLog("01", "01")}},
        // two pages in one command, each page's text followed by a blank line
        LogCase{"comp", "sata_comp.out", {kDirectory, kDirectory, ReadLog("02", "02")}},
        LogCase{"stat", "sata_stat.out", {kDirectory, kDirectory, ReadLog("04", "01")}},
        LogCase{"selftest", "sata_selftest.out", {kDirectory, kDirectory, ReadLog("06", "01")}},
        LogCase{"select", "sata_select.out", {kDirectory, kDirectory, ReadLog("09", "01")}},
        // one page per command, the count naming the page; the full first page runs on
        LogCase{"pend", "sata_pend.out", {kDirectory, kDirectory, ReadLog("B0", "01"), ReadLog("B0", "02")}}),
    CaseName());

TEST_F(AtaLogE2e, RawAndTextFiles)
{
    RunResult r = Run({"-s", "comp", "-b", "comp.bin", "-x", "comp.txt", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data is saved to comp.bin\n"
                     "    Parsed text data is saved to comp.txt\n");
    EXPECT_EQ(ReadFile("comp.txt"), Golden("sata_comp.out"));
    std::string raw = ReadFile("comp.bin");
    ASSERT_EQ(raw.size(), 1024u);
    EXPECT_EQ(raw.substr(0, 2), "\x01\x02");
    EXPECT_EQ(raw.substr(512, 2), "\x01\x01");
    EXPECT_EQ(raw[1023], '\xA5');
}

// A summary log of two pages is refused: the raw answer is kept, no text is written.
TEST_F(AtaLogE2e, RefusedSummaryWritesNoText)
{
    Drive({"sata_logs_edges.txt"});
    RunResult r = Run({"-s", "summary", "-b", "s.bin", "-x", "s.txt", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data is saved to s.bin\n"
                     "    Current data's parse is unsupported or length is illegal\n");
    EXPECT_EQ(ReadFile("s.bin"), std::string(1024, '\x11'));
    EXPECT_FALSE(Exists("s.txt"));
    EXPECT_EQ(Commands(), (std::vector<Bytes>{kDirectory, kDirectory, ReadLog("01", "02")}));
}

// A pending list whose first record is the end marker shows the heading alone.
TEST_F(AtaLogE2e, EmptyPendingListShowsHeading)
{
    Drive({"sata_logs_edges.txt"});
    RunResult r = Run({"-s", "pend", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n    LBA        PBA\n");
    EXPECT_EQ(Commands(), (std::vector<Bytes>{kDirectory, kDirectory, ReadLog("B0", "01")}));
}

} // namespace
