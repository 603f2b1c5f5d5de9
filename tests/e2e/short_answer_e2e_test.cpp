// Answers that carry less than the command asked for, through the real binary on the emulated
// SAS drive (/dev/sdb): the text shows what the drive sent and nothing of the buffer's zero
// fill, and the requests stay those of a whole answer.
#include "e2e_util.h"

#include <cstdint>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

// MODE SENSE(10) of all pages and subpages, current values.
Bytes ModeSense(unsigned alloc)
{
    Bytes cdb = Hex("5A 00 3F FF 00 00 00 00 00 00");
    cdb[7] = static_cast<std::uint8_t>(alloc >> 8);
    cdb[8] = static_cast<std::uint8_t>(alloc);
    return cdb;
}

const char kRefused[] = "    Current data's parse is unsupported or length is illegal\n";
const std::string kMenuPrompt = "  select an option : [1-4 or o/t/s/r/b or q to quit] ";
const std::string kMenuAgain = "\n  ************************* MENU ";

struct ShortCase {
    const char* what;
    std::vector<std::string> args;  // before the device; none: the menu keys in input
    const char* input;
    std::string answer;             // fixture lines for /dev/sdb, over the demo drive's
    const char* golden;             // the text shown, under tests/data; null: refused
    std::vector<Bytes> sent;        // the last requests
};

void PrintTo(const ShortCase& c, std::ostream* os) { *os << c.what; }

class ShortAnswer : public E2eTest, public ::testing::WithParamInterface<ShortCase> {};

TEST_P(ShortAnswer, ShowsOnlyWhatTheDriveSent)
{
    const ShortCase& c = GetParam();
    WriteFile("answer.txt", std::string("drive /dev/sdb\n") + c.answer);
    env_["ZV_EMU_CONFIG"] =
        TestData("demo/sas_k6470.txt") + ":" + TestData("demo/sas_k6470_scsi.txt") + ":" + Path("answer.txt");
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    std::vector<std::string> args = c.args;
    const bool menu = args.empty();
    if (!menu) {
        args.push_back("/dev/sdb");
    }
    RunResult r = Run(args, c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    const std::string text = c.golden != nullptr ? "\n" + TestDataFile(c.golden) : kRefused;
    if (menu) {
        EXPECT_NE(r.out.find(kMenuPrompt + text + kMenuAgain), std::string::npos) << r.out;
    } else {
        EXPECT_EQ(r.out, text);
    }
    const std::vector<Bytes> sent = SentCdbs("/dev/sdb", 0);
    ASSERT_GE(sent.size(), c.sent.size());
    EXPECT_EQ(std::vector<Bytes>(sent.end() - c.sent.size(), sent.end()), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ShortAnswer,
    ::testing::Values(
        ShortCase{"write counters, one parameter sent",
                  {"-L", "write"},
                  "",
                  "answer scsi 4D page=02\n  data 02 00 00 0C 00 00 02 08 00 00 00 00 00 00 01 02\n",
                  nullptr,
                  {LogSense(0x42, 112)}},
        ShortCase{"write counters, whole page",
                  {"-L", "write"},
                  "",
                  "answer scsi 4D page=02\n" + DataLine("scsi_log/write_counters.hex"),
                  "scsi_log/write_counters.out",
                  {LogSense(0x42, 112)}},
        // the page length announces nine parameters; the transfer ends after one
        ShortCase{"write counters, transfer cut after one parameter",
                  {"-L", "write"},
                  "",
                  "answer scsi 4D page=02\n  data 02 00 00 6C 00 00 02 08 00 00 00 00 00 00 01 02\n",
                  nullptr,
                  {LogSense(0x42, 112)}},
        // the whole buffer arrives, but the page says it holds one parameter
        ShortCase{"write counters, page length of one parameter",
                  {"-L", "write"},
                  "",
                  "answer scsi 4D page=02\n  data 02 00 00 0C 00 00 02 08 00 00 00 00 00 00 01 02\n  size 112\n",
                  nullptr,
                  {LogSense(0x42, 112)}},
        ShortCase{"protocol-specific port page of one port",
                  {"-L", "protocol"},
                  "",
                  "answer scsi 4D page=18\n  data 18 00 00 3C 00 01 03 38 00 06 00 01\n  size 64\n",
                  nullptr,
                  {LogSense(0x18, 124)}},
        ShortCase{"self-test results page of one result",
                  {"-L", "selftest"},
                  "",
                  "answer scsi 4D page=10\n  data 10 00 00 14 00 01 03 10 10 01 00 2A\n  size 24\n",
                  nullptr,
                  {LogSense(0x10, 404)}},
        // a drive with three log pages sends a list of seven bytes
        ShortCase{"supported pages, three codes",
                  {"-L", "supported"},
                  "",
                  "answer scsi 4D page=00\n  data 00 00 00 03 00 02 07\n",
                  "scsi_log/supported_three_4.out",
                  {LogSense(0x40, 18)}},
        // the mode data length announces 64 bytes, the drive sends the 36 of its caching page
        ShortCase{"mode data cut after the caching page",
                  {},
                  "1\n4\n1\nb\nq\n",
                  "answer scsi 5A page=3F\n"
                  "  size 36\n"
                  "  be 0 2 62\n"
                  "  be 6 2 8\n"
                  "  put 8 2E 93 2F B0 00 00 02 00\n"
                  "  put 16 08 12 14 00 FF FF 00 00 FF FF FF FF 80 14 00 00 00 00 00 00\n",
                  "scsi_mode/demo_caching.out",
                  {ModeSense(16), ModeSense(64)}}),
    CaseName());

} // namespace
