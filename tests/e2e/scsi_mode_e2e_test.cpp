// MODE SENSE through the real binary: the four page-control rows of the SCSI menu's
// "Mode Sense" submenu on the emulated SAS drive, and the text each answer gives.
#include "e2e_util.h"
#include "case_names.h"

#include <dirent.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "emu/emu_trace.h"

namespace {

// The bytes of a hex fixture with its comments dropped, as one line of hex.
std::string HexOf(const std::string& rel)
{
    std::istringstream lines(TestDataFile(rel));
    std::string hex;
    for (std::string line; std::getline(lines, line);) {
        hex += line.substr(0, line.find('#')) + " ";
    }
    return hex;
}

const std::string kStars = "*************************";
const std::string kPrompt = "  select an option : [1-4 or o/t/s/r/b or q to quit] ";

// The demo SAS drive at /dev/sdb (QUMA-K6470BN0400), its MODE SENSE answers replaced.
class ModeSenseE2e : public E2eTest {
protected:
    // answers: fixture lines for /dev/sdb
    void UseDrive(const std::string& answers)
    {
        WriteFile("overrides.txt", "drive /dev/sdb\n" + answers);
        env_["ZV_EMU_CONFIG"] =
            TestData("demo/sas_k6470.txt") + ":" + TestData("demo/sas_k6470_scsi.txt") + ":" + Path("overrides.txt");
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    std::vector<zvemu::TraceEntry> Sent()
    {
        return zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", "/dev/sdb");
    }

    std::vector<std::string> FilesEndingWith(const std::string& suffix) const
    {
        std::vector<std::string> found;
        DIR* d = opendir(dir_.c_str());
        if (d == nullptr) {
            return found;
        }
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                found.push_back(name);
            }
        }
        closedir(d);
        return found;
    }
};

// Each page control answers its own fixture, so a row that sent the wrong one shows the
// wrong text.
std::string AllPageControls()
{
    const char* fixtures[] = {"pages.hex", "subpages.hex", "walk.hex", "truncated.hex"};
    std::string answers;
    for (int pc = 0; pc < 4; pc++) {
        answers += "answer scsi 5A page=3F pc=" + std::to_string(pc) + "\n  data " +
                   HexOf(std::string("scsi_mode/") + fixtures[pc]) + "\n";
    }
    return answers;
}

struct RowCase {
    const char* row;      // the row typed in the submenu
    unsigned page_control;  // CDB byte 2: page control and page code 3Fh
    const char* fixture;  // the answer of that page control
    const char* golden;
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << "row " << c.row << " " << c.fixture; }

class ModeSenseRows : public ModeSenseE2e, public ::testing::WithParamInterface<RowCase> {};

TEST_P(ModeSenseRows, RowReadsItsPageControlAndShowsTheWalk)
{
    const RowCase& c = GetParam();
    UseDrive(AllPageControls());
    // the drive, "Mode Sense", the row, back, quit
    RunResult r = Run({}, std::string("1\n4\n") + c.row + "\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string shown = kPrompt + "\n" + TestDataFile(std::string("scsi_mode/") + c.golden) + "\n  " + kStars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;

    // the length query, then the read of the whole answer
    const size_t answer_len = zvemu::Hex(HexOf(std::string("scsi_mode/") + c.fixture)).size();
    const std::vector<zvemu::TraceEntry> sent = Sent();
    ASSERT_GE(sent.size(), 2u);
    char query[64];
    char read[64];
    snprintf(query, sizeof(query), "5A 00 %02X FF 00 00 00 00 10 00", c.page_control);
    snprintf(read, sizeof(read), "5A 00 %02X FF 00 00 00 %02X %02X 00", c.page_control,
             unsigned(answer_len >> 8), unsigned(answer_len & 0xFF));
    EXPECT_EQ(sent[sent.size() - 2].cdb, zvemu::Hex(query));
    EXPECT_EQ(sent.back().cdb, zvemu::Hex(read));
    EXPECT_EQ(sent.back().len, answer_len);
}

INSTANTIATE_TEST_SUITE_P(Rows, ModeSenseRows,
                         ::testing::Values(RowCase{"1", 0x3F, "pages.hex", "pages.out"},
                                           RowCase{"2", 0x7F, "subpages.hex", "subpages.out"},
                                           RowCase{"3", 0xBF, "walk.hex", "walk.out"},
                                           RowCase{"4", 0xFF, "truncated.hex", "truncated.out"}),
                         CaseName());

struct PageWalkCase {
    const char* fixture;  // the current values' answer
    const char* golden;
};

void PrintTo(const PageWalkCase& c, std::ostream* os) { *os << c.fixture; }

class ModeSensePageWalk : public ModeSenseE2e, public ::testing::WithParamInterface<PageWalkCase> {};

// Pages whose length differs from their printer's record: each page is shown or noticed
// once, by its own length, and the page after it follows.
TEST_P(ModeSensePageWalk, EveryPageTheDriveSentAndNoOther)
{
    const PageWalkCase& c = GetParam();
    UseDrive("answer scsi 5A page=3F pc=0\n  data " + HexOf(std::string("scsi_mode/") + c.fixture) + "\n");
    RunResult r = Run({}, "1\n4\n1\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string shown = kPrompt + "\n" + TestDataFile(std::string("scsi_mode/") + c.golden) + "\n  " + kStars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Pages, ModeSensePageWalk,
                         ::testing::Values(PageWalkCase{"power_ie.hex", "power_ie.out"},
                                           PageWalkCase{"short_pages.hex", "short_pages.out"}),
                         CaseName());

// The saved text file holds what the screen shows.
TEST_F(ModeSenseE2e, SavedTextIsTheShownText)
{
    UseDrive(AllPageControls());
    RunResult r = Run({}, "1\n4\nt\n2\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> txt = FilesEndingWith(".txt");
    std::vector<std::string> saved;
    for (const std::string& name : txt) {
        if (name.compare(0, 34, "sdb_[5Ah] Mode Sense(Changeable)_2") == 0) {
            saved.push_back(name);
        }
    }
    ASSERT_EQ(saved.size(), 1u) << r.out;
    EXPECT_EQ(ReadFile(saved[0]), TestDataFile("scsi_mode/subpages.out"));
}

// Fewer than 8 bytes of mode data are refused: no text, the runner says so.
TEST_F(ModeSenseE2e, ShortAnswerIsReportedAsUnparsed)
{
    UseDrive("answer scsi 5A page=3F pc=0\n  data 00 04 00 00 00 00\n");
    RunResult r = Run({}, "1\n4\n1\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string shown =
        kPrompt + "    Current data's parse is unsupported or length is illegal\n\n  " + kStars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Mode Sense Data"), std::string::npos);
    ASSERT_FALSE(Sent().empty());
    EXPECT_EQ(Sent().back().len, 6u);
}

} // namespace
