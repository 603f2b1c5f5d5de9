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
    // The NUL line is asked again; the line after it is the next answer to the same question.
    {"max address: NUL line at the address keeps its next line", SATA, kHpa,
     "1\n" + Nul("4096", "\n") + "X\n0\n", nullptr},
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

class StopAnswers : public E2eTest, public ::testing::WithParamInterface<StopCase> {
protected:
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

} // namespace
