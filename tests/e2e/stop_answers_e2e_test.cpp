// Answers that mean "stop" or cannot be read whole send nothing: a lone "q", a line holding a
// NUL byte or too long for the reader, a typo in the byte editor and a new value of the wrong
// length or place, at the prompts of the maximum-address and eye chart tools, of both
// pass-through tools and of the new WWN, SN, model and flag, and on the command line. The real binary runs on emulated drives; the trace must show no request after
// the drive's classification.
//
// Drives (tests/data/vendor_tools, tests/data/demo, tests/data/passthrough):
//   /dev/sda  QUMA-K4410TN0100 behind SAT, with the vendor tools' answers
//   /dev/sdb  QUMA-K6470BN0400 SAS drive, with the vendor and pass-through answers
#include "e2e_util.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::TraceEntry;

std::string Data(const char* rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

// The line as typed, NUL bytes included.
std::string Nul(const char* before, const char* after) { return std::string(before) + '\0' + after; }

enum Drive { SATA, SAS };

struct StopCase {
    const char* what;
    Drive drive;
    std::vector<std::string> args;  // empty: menu mode
    std::string input;
    const char* says;               // a line the run must print, or null
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.what; }

// Menu mode: the only drive, then the row of the tool; the menus are left with b and q.
const std::string kEyeChart = "1\n7\n1\n";        // Utility, Tune QUMA Eye Chart
const std::string kHexTool = "1\n8\n1\n";         // Utility, SCSI Pass Through
const std::string kSetWwn = "1\n8\n6\n";          // Utility, [C0h] Set Disk WWN
const std::string kSetSn = "1\n8\n7\n";           // Utility, [C0h] Set Disk SN
const std::string kSetFlag = "1\n6\n13\n";        // SCSI menu row 6 (the vendor options), [C1h] Set Disk Flag
const std::vector<std::string> kHpa = {"-U", "hpa", "/dev/sda"};
const std::vector<std::string> kSpt = {"-U", "spt", "/dev/sdb"};
const std::string kSptInquiry = "6\n12\n0\n0\n0\n24\n0\n";  // the guided tool's CDB, up to the direction

const StopCase stop_cases[] = {
    {"max address: q at the first question", SATA, kHpa, "q\n", nullptr},
    {"max address: q at the volatile question", SATA, kHpa, "1\n4096\nq\n", nullptr},
    {"max address: q at the address", SATA, kHpa, "1\nq\n", nullptr},
    {"max address: NUL line at the volatile question", SATA, kHpa, "1\n4096\n" + Nul("1", "\n"), nullptr},
    {"max address: NUL line at the address", SATA, kHpa, "1\n" + Nul("4096", "\n") + "X\n0\n", nullptr},
    {"eye chart: q at the first question", SATA, {}, kEyeChart + "q\nb\nq\n", nullptr},
    {"eye chart: q at the emphasis", SATA, {}, kEyeChart + "1\n5\nq\nb\nq\n", nullptr},
    {"eye chart: q at permanent or temporary", SATA, {}, kEyeChart + "1\n5\n6\nq\nb\nq\n", nullptr},
    {"eye chart: NUL line at permanent or temporary", SATA, {}, kEyeChart + "1\n5\n6\n" + Nul("1", "\n") + "q\nb\nq\n",
     nullptr},
    {"guided pass-through: q at a CDB byte", SAS, kSpt, "6\n12\nq\n0\n0\n24\n0\n1\n24\nn\n", nullptr},
    {"guided pass-through: q at the direction", SAS, kSpt, kSptInquiry + "q\n", nullptr},
    {"guided pass-through: q at the data length", SAS, kSpt, kSptInquiry + "1\nq\nn\n", nullptr},
    {"guided pass-through: NUL line at the direction", SAS, kSpt, kSptInquiry + Nul("0", "\n"), nullptr},
    {"hex pass-through: q at the input length", SAS, {}, kHexTool + "120000002400\nq\nq\nq\n", nullptr},
    {"hex pass-through: q at the byte editor", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\nq\nq\n\nq\n",
     nullptr},
    {"hex pass-through: q at a byte's value", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\n1\nq\n\nq\n",
     nullptr},
    {"hex pass-through: NUL line at the byte editor", SAS, {},
     kHexTool + "3B020000000000000400\n0\n4\n" + Nul("1", "\n") + "q\n\nq\n", nullptr},
    {"hex pass-through: NUL line at a byte's value", SAS, {},
     kHexTool + "3B020000000000000400\n0\n4\n1\n" + Nul("5", "\n") + "q\n\nq\n", nullptr},
    {"hex pass-through: NUL line at the input length", SAS, {}, kHexTool + "120000002400\n" + Nul("36", "\n"),
     nullptr},
    // A typo in the byte editor is no answer to leave it by: nothing is sent on it.
    {"hex pass-through: G0 as a byte's value", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\n1\nG0\n\nq\n",
     nullptr},
    {"hex pass-through: 100 as a byte's value", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\n1\n100\n\nq\n",
     nullptr},
    {"hex pass-through: index past the data", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\n4\n\nq\n",
     nullptr},
    {"hex pass-through: over-long line at the byte editor", SAS, {},
     kHexTool + "3B020000000000000400\n0\n4\n" + std::string(4095, ' ') + "1\n\nq\n", nullptr},
    // What fits in the reader's buffer of a longer line is no answer either: here it would be
    // the address 1, and the "0" after it the answer to the volatile question.
    {"max address: over-long line at the address", SATA, kHpa, "1\n" + std::string(4094, ' ') + "123\n0\nq\n",
     nullptr},
    {"menu new WWN: q", SAS, {}, kSetWwn + "q\nb\nq\n", nullptr},
    {"menu new WWN: NUL line of 16 characters before the NUL", SAS, {},
     kSetWwn + Nul("0123456789ABCDEF", "X\n") + "b\nq\n", nullptr},
    {"menu new SN: 19 characters", SAS, {}, kSetSn + "QM201312060000000AB\nb\nq\n", nullptr},
    // A CR before the line end is part of the line end, never the value's last character.
    {"menu new SN: 19 characters and CR LF", SAS, {}, kSetSn + "QM201312060000000AB\r\nb\nq\n", nullptr},
    {"menu new WWN: 15 characters and CR LF", SAS, {}, kSetWwn + "0123456789ABCDE\r\nb\nq\n", nullptr},
    {"menu new model: 15 characters and CR LF", SAS, {}, "1\n8\n8\nQUMA-K6470BN080\r\nb\nq\n", nullptr},
    {"menu new flag: 7 characters and CR LF", SAS, {}, kSetFlag + "0102030\r\nb\nq\n", nullptr},
    // Any other control byte in a value is refused.
    {"menu new SN: a CR inside", SAS, {}, kSetSn + "QM20131206000000\r1AB\nb\nq\n", nullptr},
    {"menu new flag: an escape inside", SAS, {}, kSetFlag + "0102\x1b" "304\nb\nq\n", nullptr},
    {"menu new flag: a tab inside", SAS, {}, kSetFlag + "0102\t304\nb\nq\n", nullptr},
    {"menu new WWN: a DEL inside", SAS, {}, kSetWwn + "0123456789ABCDE\x7f\nb\nq\n", nullptr},
    {"menu new flag: NUL line of 8 characters before the NUL", SAS, {}, kSetFlag + Nul("01020304", "\n") + "b\nq\n",
     nullptr},
    {"-o setwwn of 2 characters", SAS, {"-o", "setwwn", "12", "/dev/sdb"}, "",
     "Zembrovant requires the value of 16 characters as argument\n"},
    {"-o setwwn of 17 characters", SAS, {"-o", "setwwn", "5000C500A1B2C3D45", "/dev/sdb"}, "",
     "Zembrovant requires the value of 16 characters as argument\n"},
    {"-o setsn of 19 characters", SAS, {"-o", "setsn", "QM201312060000000AB", "/dev/sdb"}, "",
     "Zembrovant requires the value of 20 characters as argument\n"},
    {"-o setmodel of 15 characters", SAS, {"-o", "setmodel", "QUMA-K6470BN080", "/dev/sdb"}, "",
     "Zembrovant requires the value of 16 characters as argument\n"},
    {"-o setflag of 16 characters", SAS, {"-o", "setflag", "0102030405060708", "/dev/sdb"}, "",
     "Zembrovant requires the value of 8 characters as argument\n"},
    // The value follows the option's value and stands second-to-last; an argument of another
    // option found there is not it.
    {"-o setflag with -b after the value", SAS, {"-o", "setflag", "12345678", "-b", "flag.bin", "/dev/sdb"}, "",
     "Zembrovant requires the value as argument\n"},
    {"-o setsn with -x after the value", SAS,
     {"-o", "setsn", "QM2013120600000001AB", "-x", "out.txt", "/dev/sdb"}, "",
     "Zembrovant requires the value as argument\n"},
    {"-o setwwn with -b between option and value", SAS,
     {"-o", "setwwn", "-b", "flag.bin", "0123456789ABCDEF", "/dev/sdb"}, "",
     "Zembrovant requires the value as argument\n"},
};

class StopAnswersBase : public E2eTest {
protected:
    // A run on the case's drive; the requests after the classification go to sent.
    template <typename Case>
    RunResult RunCase(const Case& c, const std::string& input, std::vector<std::string>* sent)
    {
        const bool sata = c.drive == SATA;
        env_["ZV_EMU_CONFIG"] = sata ? Data("vendor_tools/sata_tools.txt")
                                     : Data("demo/sas_k6470.txt") + ":" + Data("demo/sas_k6470_scsi.txt") + ":" +
                                           Data("passthrough/sas_extra.txt");
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        unlink(Path("trace.txt").c_str());
        time_limit_ = 30;
        RunResult r = Run(c.args, input);
        *sent = AfterClassification(sata ? "/dev/sda" : "/dev/sdb");
        return r;
    }

    // The requests after the drive's classification, which ends with its IDENTIFY DEVICE
    // (SATA) or READ CAPACITY (SAS).
    std::vector<std::string> AfterClassification(const std::string& node) const
    {
        std::vector<TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", node);
        size_t last = 0;
        for (size_t i = 0; i < sent.size(); i++) {
            const zvemu::Bytes& c = sent[i].cdb;
            if ((c.size() == 16 && c[0] == 0x85 && c[14] == 0xEC) || (!c.empty() && c[0] == 0x25)) {
                last = i + 1;
            }
        }
        std::vector<std::string> lines;
        for (size_t i = last; i < sent.size(); i++) {
            lines.push_back(zvemu::FormatTraceLine(sent[i], false));
        }
        return lines;
    }
};

class StopAnswers : public StopAnswersBase, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopAnswers, NothingIsSent)
{
    const StopCase& c = GetParam();
    const bool sata = c.drive == SATA;
    env_["ZV_EMU_CONFIG"] = sata ? Data("vendor_tools/sata_tools.txt")
                                 : Data("demo/sas_k6470.txt") + ":" + Data("demo/sas_k6470_scsi.txt") + ":" +
                                       Data("passthrough/sas_extra.txt");
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    time_limit_ = 30;
    RunResult r = Run(c.args, c.input);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(AfterClassification(sata ? "/dev/sda" : "/dev/sdb"), std::vector<std::string>{});
    if (c.says != nullptr) {
        // The refusal comes first, before the usage text.
        EXPECT_EQ(r.out.rfind(c.says, 0), 0u) << r.out;
    } else {
        // No success line of a change that was not made.
        EXPECT_EQ(r.out.find("successfully"), std::string::npos) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StopAnswers, ::testing::ValuesIn(stop_cases), CaseName());

// Piped answers after a refused one were written for questions the run never reached: the run
// ends at the refused answer as it ends when the input is cut right after it. Each row's answers
// after the refused line would send a command (FORMAT UNIT, INQUIRY, SET MAX ADDRESS, ...) if
// they were read.
struct RefusedCase {
    const char* what;
    Drive drive;
    std::vector<std::string> args;  // empty: menu mode
    std::string prefix;             // the answers up to the refused one
    std::string refused;
    std::string more;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.what; }

const std::string kFormatRow = "8\n2\n";  // main menu: Utility, FORMAT UNIT

const RefusedCase refused_cases[] = {
    {"drive selection: index past the list", SAS, {}, "", "2\n", "1\n" + kFormatRow},
    {"main menu: row past the menu", SAS, {}, "1\n", "9\n", kFormatRow},
    {"main menu: empty line", SAS, {}, "1\n", "\n", kFormatRow},
    {"main menu: CR inside", SAS, {}, "1\n", "8\r2\n", kFormatRow},
    {"submenu: not a row", SAS, {}, "1\n8\n", "x\n", "2\n"},
    {"hex pass-through: typo in the CDB line", SAS, {}, kHexTool, "3B05000000000000040G\n", "0\n2\n"},
    {"hex pass-through: CDB line of a wrong length", SAS, {}, kHexTool, "12000000240000\n", "2\n"},
    {"hex pass-through: input length past 1024", SAS, {}, kHexTool + "120000002400\n", "2000\n", "36\n"},
    {"hex pass-through: typo at a byte's value", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\n1\n", "G0\n",
     "2\n"},
    {"guided pass-through: CDB byte past FFh", SAS, kSpt, "6\n12\n0\n0\n", "100\n", "0\n24\n0\n1\n24\nn\n"},
    {"guided pass-through: direction past 2", SAS, kSpt, kSptInquiry, "3\n", "1\n24\nn\n"},
    {"guided pass-through: neither y nor n", SAS, kSpt, kSptInquiry + "1\n24\n", "maybe\n", "n\n"},
    {"guided pass-through: empty file name for the received data", SAS, kSpt, kSptInquiry + "1\n24\ny\n", "\n",
     "out.bin\n"},
    {"max address: over-long address", SATA, kHpa, "1\n", std::string(5000, '1') + "\n", "0\n1\n"},
    {"max address: NUL in the address", SATA, kHpa, "1\n", Nul("5000", "\n"), "0\n1\n"},
    {"max address: volatile answer past 1", SATA, kHpa, "1\n4096\n", "2\n", "1\n"},
    {"max address: action past 2", SATA, kHpa, "", "3\n", "1\n4096\n1\n"},
    {"eye chart: amplitude past FFFFh", SATA, {}, kEyeChart + "1\n", "10000\n", "5\n6\n1\n"},
    {"menu new SN: 19 characters", SAS, {}, kSetSn, "QM201312060000000AB\n", "2\n"},
    {"menu new SN: CR inside", SAS, {}, kSetSn, "QM20131206000000\r01AB\n", "2\n"},
    {"download: empty file name", SAS, {}, "1\n7\n", "\n", kFormatRow},
};

class RefusedAnswer : public StopAnswersBase, public ::testing::WithParamInterface<RefusedCase> {};

class CrLfSession : public StopAnswersBase, public ::testing::WithParamInterface<RefusedCase> {};
TEST_P(RefusedAnswer, LaterAnswersSendNothing)
{
    const RefusedCase& c = GetParam();
    std::vector<std::string> with_more;
    std::vector<std::string> cut;
    const RunResult r = RunCase(c, c.prefix + c.refused + c.more, &with_more);
    const RunResult r_cut = RunCase(c, c.prefix + c.refused, &cut);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, r_cut.status);
    EXPECT_EQ(with_more, cut);
    EXPECT_EQ(r.out.find("successfully"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedAnswer, ::testing::ValuesIn(refused_cases), CaseName());

// A session typed with CR LF line ends sends exactly what the same session with LF sends. Each
// row's answers are whole and send a command; only "prefix" is used.
const RefusedCase crlf_cases[] = {
    {"menu new SN", SAS, {}, kSetSn + "QM2013120600000001AB\nb\nq\n", "", ""},
    {"menu new WWN", SAS, {}, kSetWwn + "5000C500A1B2C3D4\nb\nq\n", "", ""},
    {"menu new model", SAS, {}, "1\n8\n8\nQUMA-K6470BN0800\nb\nq\n", "", ""},
    {"menu new flag", SAS, {}, kSetFlag + "01020304\nb\nq\n", "", ""},
    {"max address set", SATA, kHpa, "1\n4096\n1\n", "", ""},
    {"hex pass-through with the byte editor", SAS, {}, kHexTool + "3B020000000000000400\n0\n4\n2\nab\n\nb\nq\n",
     "", ""},
    {"guided pass-through saving to a file", SAS, kSpt, kSptInquiry + "1\n24\ny\nout.bin\n", "", ""},
};

TEST_P(CrLfSession, SendsWhatTheLfSessionSends)
{
    const RefusedCase& c = GetParam();
    std::string crlf;
    for (char ch : c.prefix) {
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    }
    std::vector<std::string> lf_sent;
    std::vector<std::string> crlf_sent;
    const RunResult lf = RunCase(c, c.prefix, &lf_sent);
    const std::string lf_file = Exists("out.bin") ? ReadFile("out.bin") : "";
    unlink(Path("out.bin").c_str());
    const RunResult cr = RunCase(c, crlf, &crlf_sent);
    EXPECT_FALSE(lf_sent.empty());
    EXPECT_EQ(crlf_sent, lf_sent);
    EXPECT_EQ(cr.status, lf.status);
    EXPECT_EQ(cr.out, lf.out);
    // The file name typed is the file written, without a CR.
    EXPECT_EQ(Exists("out.bin") ? ReadFile("out.bin") : "", lf_file);
}

INSTANTIATE_TEST_SUITE_P(Cases, CrLfSession, ::testing::ValuesIn(crlf_cases), CaseName());

} // namespace
