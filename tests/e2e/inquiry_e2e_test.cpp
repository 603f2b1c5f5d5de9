// INQUIRY data and the small vendor answers through the real binary: the options and the
// menu row that reach their types on the emulated SAS drive, and the text shown.
#include "e2e_util.h"
#include "case_names.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "emu/emu_trace.h"

namespace {

std::string Data(const char* rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

std::string DataFile(const char* rel)
{
    std::ifstream f(Data(rel), std::ios::binary);
    EXPECT_TRUE(f.good()) << rel;
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// The demo SAS drive at /dev/sdb (QUMA-K6470BN0400), with a case's answers over it.
class InquiryE2e : public E2eTest {
protected:
    void UseDrive(const std::string& overrides)
    {
        std::string config = Data("demo/sas_k6470.txt") + ":" + Data("demo/sas_k6470_scsi.txt");
        if (!overrides.empty()) {
            WriteFile("overrides.txt", "drive /dev/sdb\n" + overrides);
            config += ":" + Path("overrides.txt");
        }
        env_["ZV_EMU_CONFIG"] = config;
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    // The last request the drive received.
    zvemu::Bytes LastCdb()
    {
        std::vector<zvemu::TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", "/dev/sdb");
        return sent.empty() ? zvemu::Bytes() : sent.back().cdb;
    }
};

struct AnswerCase {
    const char* option;
    const char* overrides;  // fixture lines for /dev/sdb, or "" for the demo answer
    const char* cdb;        // the request that reached the drive last
    const char* out;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << "-o " << c.option << " " << c.overrides; }

class InquiryAnswers : public InquiryE2e, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(InquiryAnswers, OptionDecodesTheAnswer)
{
    const AnswerCase& c = GetParam();
    UseDrive(c.overrides);
    RunResult r = Run({"-o", c.option, "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(LastCdb(), zvemu::Hex(c.cdb)) << ReadFile("trace.txt");
    EXPECT_EQ(r.out, c.out);
}

const char kWwnCdb[] = "C0 0A 00 00 10 00 00 00 00 00";
const char kSnCdb[] = "C0 0A 01 00 14 00 00 00 00 00";
const char kModelCdb[] = "C0 0A 02 00 10 00 00 00 00 00";
const char kCapCdb[] = "C0 0B 00 00 04 00 00 00 00 00";

INSTANTIATE_TEST_SUITE_P(
    Cases, InquiryAnswers,
    ::testing::Values(
        AnswerCase{"getwwn", "answer scsi C0 fn=0A sel=00\n  text 0 \"5001A4A100123456\"\n", kWwnCdb,
                   "\n    WWN Number :5001A4A100123456\n"},
        // the demo drive's own answer reads as its name
        AnswerCase{"getwwn", "", kWwnCdb, "\n    WWN Number :50014A4100123456\n"},
        // a binary answer: its text stops at the first zero byte
        AnswerCase{"getwwn", "answer scsi C0 fn=0A sel=00\n  data 50 01 4A 41 00 12 34 56\n  size 16\n", kWwnCdb,
                   "\n    WWN Number :P\x01JA\n"},
        AnswerCase{"getsn", "", kSnCdb, "\n    SN Number :S6470BN400A130501879\n"},
        AnswerCase{"getsn", "answer scsi C0 fn=0A sel=01\n  text 0 \" SN42 \"\n  size 20\n", kSnCdb,
                   "\n    SN Number : SN42 \n"},
        AnswerCase{"getmodel", "", kModelCdb, "\n    Model Number :QUMA-K6470BN0400\n"},
        AnswerCase{"querycap", "answer scsi C0 fn=0B\n  le 0 4 0\n", kCapCdb,
                   "\n     Start CapacitanceStatus is OK!\n"},
        AnswerCase{"querycap", "answer scsi C0 fn=0B\n  le 0 4 1\n", kCapCdb,
                   "\n     Start CapacitanceStatus is Fail!\n"},
        AnswerCase{"querycap", "answer scsi C0 fn=0B\n  le 0 4 2\n", kCapCdb,
                   "\n     Start CapacitanceStatus have in hand!\n"},
        // a state outside 0 to 2 decodes to no text, which the runner reports as such
        AnswerCase{"querycap", "answer scsi C0 fn=0B\n  le 0 4 3\n", kCapCdb,
                   "    Current data's parse is unsupported or length is illegal\n"},
        AnswerCase{"time", "", "A4 0F 00 00 00 00 00 00 00 0C 00 00", "\n    Set Time Stamp OK!\n "}),
    CaseName());

TEST_F(InquiryE2e, MenuRowShowsTheStandardInquiryText)
{
    UseDrive("");
    // the drive, "Inquiry Device", its row 1 "[12h] INQUIRY", back, quit
    RunResult r = Run({}, "1\n2\n1\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string stars = "*************************";
    const std::string prompt = "  select an option : [1-6 or o/t/s/r/b or q to quit] ";
    const std::string shown = prompt + "\n" + DataFile("inquiry/sas_k6470_menu.out") + "\n  " + stars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
    EXPECT_EQ(LastCdb(), zvemu::Hex("12 00 00 00 C0 00 00 00 00 00"));
}

} // namespace
