// The FORMAT UNIT procedure end to end: -f on an emulated SAS drive that can be reformatted
// (tests/data/format/sas_format.txt, /dev/sdf, 512-byte blocks), its screen output byte for
// byte and the exact requests it sent on its own O_DIRECT opens of the node. Answers written
// by a test into its working directory win over the drive's built-in ones.
#include "e2e_util.h"

#include <fcntl.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::TraceEntry;

const char* const kNode = "/dev/sdf";

std::string DirectOpen()
{
    char flags[16];
    snprintf(flags, sizeof(flags), "%x", static_cast<unsigned>(O_RDWR | O_NONBLOCK | O_DIRECT | O_LARGEFILE));
    return std::string("open /dev/sdf flags=") + flags;
}

std::string Zeros(size_t n) { return std::string(2 * n, '0'); }

// The drive's MODE SENSE(6) answer for a block length: header, one descriptor, page 01h.
std::string ModeData(const char* block_len_hex)
{
    return std::string("17001008") + "2E9390B000" + block_len_hex + "810AC008000000000800FFFF";
}

std::string Sgio(const std::string& cdb, const char* dir, size_t len, unsigned timeout, const std::string& data = "")
{
    std::string s = std::string("sgio /dev/sdf cdb=") + cdb + " dir=" + dir + " len=" + std::to_string(len) +
                    " timeout=" + std::to_string(timeout) + " sense=32";
    if (!data.empty()) {
        s += " data=" + data;
    }
    return s;
}

const std::string kModeSense = Sgio("1A000100FC00", "in", 252, 6);
const std::string kTestUnitReady = Sgio("000000000000", "none", 0, 6);
const std::string kClose = "close /dev/sdf";

// FORMAT UNIT with FOV, DCRT, STPF, IP and IMMED and a zero pattern of one block.
std::string FormatUnitLine(size_t block_len, const char* len_hex)
{
    return Sgio("041000000000", "out", 8 + block_len, 6000, std::string("00BA00000001") + len_hex + Zeros(block_len));
}

class FormatUnitE2e : public E2eTest {
protected:
    // The drive, with extra fixture lines for it (or none).
    RunResult RunFormat(const char* value, const std::string& extra = "")
    {
        std::string config = std::string(ZV_TEST_DATA_DIR) + "/format/sas_format.txt";
        if (!extra.empty()) {
            WriteFile("extra.txt", "drive /dev/sdf\n" + extra);
            config += ":" + Path("extra.txt");
        }
        env_["ZV_EMU_CONFIG"] = config;
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        return Run({"-f", value, kNode});
    }

    // The procedure's part of the trace: from its first O_DIRECT open on (classification
    // opened the node before it without O_DIRECT).
    std::vector<std::string> ProcedureTrace() const
    {
        std::vector<std::string> lines;
        bool started = false;
        for (const TraceEntry& e : zvemu::ParseTrace(ReadFile("trace.txt"))) {
            std::string line = zvemu::FormatTraceLine(e, false);
            started = started || line == DirectOpen();
            if (started) {
                lines.push_back(line);
            }
        }
        return lines;
    }
};

struct BlockLenCase {
    const char* drive_len;     // READ CAPACITY block length of the drive
    const char* value;         // -f value
    const char* select_data;   // the MODE SELECT parameter list, or null when none is sent
    size_t list_block_len;
    const char* pattern_len_hex;
};

void PrintTo(const BlockLenCase& c, std::ostream* os) { *os << "drive " << c.drive_len << " to " << c.value; }

class FormatBlockLen : public FormatUnitE2e, public ::testing::WithParamInterface<BlockLenCase> {};

TEST_P(FormatBlockLen, SendsSenseSelectFormatAndOneTestUnitReady)
{
    const BlockLenCase& c = GetParam();
    RunResult r = RunFormat(c.value, std::string("answer scsi 25\n  be 0 4 0x2E9390AF\n  be 4 4 ") + c.drive_len + "\n");
    EXPECT_EQ(r.status, 0);
    // The drive's built-in format has just begun: the first TEST UNIT READY sees a quarter done.
    EXPECT_EQ(r.out, "Format progress indication is  25%\n");
    std::vector<std::string> expected = {DirectOpen(), kModeSense};
    if (c.select_data != nullptr) {
        // Parameter list length 18h: header, descriptor and the 12-byte page; PS cleared,
        // mode data length, medium type and device-specific byte zeroed, block count 0.
        expected.push_back(Sgio("151100001800", "out", 24, 6, c.select_data));
    }
    expected.push_back(FormatUnitLine(c.list_block_len, c.pattern_len_hex));
    expected.push_back(kClose);
    expected.push_back(DirectOpen());
    expected.push_back(kTestUnitReady);
    expected.push_back(kClose);
    EXPECT_EQ(ProcedureTrace(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatBlockLen,
    ::testing::Values(
        BlockLenCase{"512", "520", "000000080000000000000208010AC008000000000800FFFF", 520, "0208"},
        BlockLenCase{"512", "512", nullptr, 512, "0200"},
        BlockLenCase{"520", "512", "000000080000000000000200010AC008000000000800FFFF", 512, "0200"},
        BlockLenCase{"520", "520", nullptr, 520, "0208"}),
    CaseName());

struct ProgressCase {
    const char* answer;   // the TEST UNIT READY answer
    const char* out;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << (*c.answer == '\0' ? "no sense" : c.answer); }

class FormatProgress : public FormatUnitE2e, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(FormatProgress, TestUnitReadyAnswerShownOnce)
{
    const ProgressCase& c = GetParam();
    RunResult r = RunFormat("520", std::string("answer scsi 00\n") + c.answer + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    // Asked once, on a node of its own: no polling.
    std::vector<std::string> trace = ProcedureTrace();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[trace.size() - 3], DirectOpen());
    EXPECT_EQ(trace[trace.size() - 2].compare(0, kTestUnitReady.size(), kTestUnitReady), 0);
    EXPECT_EQ(trace.back(), kClose);
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                            [](const std::string& l) { return l.compare(0, kTestUnitReady.size(), kTestUnitReady) == 0; }),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatProgress,
    ::testing::Values(
        // Still formatting, SKSV with 8000h: no SENSE line for a format in progress.
        ProgressCase{"  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 80 00",
                     "Format progress indication is  50%\n"},
        ProgressCase{"  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 FF FF",
                     "Format progress indication is  99%\n"},
        // Descriptor format: the sense key specific descriptor carries it.
        ProgressCase{"  sense 72 02 04 04 00 00 00 08 02 06 00 00 80 C0 00 00",
                     "Format progress indication is  75%\n"},
        ProgressCase{"  sense 72 02 04 04 00 00 00 08 02 06 00 00 00 C0 00 00",
                     "No valid data!Format progress indication is  0%\n"},
        ProgressCase{"", "Format is complete, or the status of disk is ready.\n"},
        ProgressCase{"  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 00 80 00",
                     "No valid data!Format progress indication is  0%\n"},
        ProgressCase{"  sense 70 00 02 00 00 00 00 00", "No Sense Data here!\nFormat progress indication is  0%\n"},
        ProgressCase{"  sense-fixed 06 29 00",
                     "SENSE = 0x06,ASC = 0x29,ASCQ = 0x00,FRU = 0x00\nNo valid data!Format progress indication is  0%\n"},
        // A request that was not carried out shows no progress.
        ProgressCase{"  errno EIO", "errno=5\n"}, ProgressCase{"  host-status 03", "errno=6e\n"}),
    CaseName());

struct ModeSenseCase {
    std::string answer;       // the MODE SENSE(6) answer
    std::string out;
    std::vector<int> sent;    // opcodes the procedure sent, in order
};

void PrintTo(const ModeSenseCase& c, std::ostream* os) { *os << c.answer; }

class FormatModeSense : public FormatUnitE2e, public ::testing::WithParamInterface<ModeSenseCase> {};

TEST_P(FormatModeSense, OutcomeDecidesWhetherTheFormatGoesOn)
{
    const ModeSenseCase& c = GetParam();
    RunResult r = RunFormat("520", "answer scsi 1A\n" + c.answer + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    std::vector<int> sent;
    for (const TraceEntry& e : zvemu::ParseTrace(ReadFile("trace.txt"))) {
        if (e.op == "sgio" && e.cdb.size() == 6) {
            sent.push_back(e.cdb[0]);
        }
    }
    EXPECT_EQ(sent, c.sent);
}

const std::string kPage = "810AC008000000000800FFFF";

INSTANTIATE_TEST_SUITE_P(
    Table, FormatModeSense,
    ::testing::Values(
        // A format already running: category 1, no SENSE line, nothing else sent.
        ModeSenseCase{"  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 40 00",
                      "format err:1,f:formatUnit,l:589", {0x1A}},
        ModeSenseCase{"  sense-fixed 06 29 00", "SENSE = 0x06,ASC = 0x29,ASCQ = 0x00,FRU = 0x00\n"
                                                "format err:8,f:formatUnit,l:589", {0x1A}},
        ModeSenseCase{"  sense-fixed 02 3A 00", "SENSE = 0x02,ASC = 0x3a,ASCQ = 0x00,FRU = 0x00\n"
                                                "format err:6,f:formatUnit,l:589", {0x1A}},
        // Descriptor-format sense is read from its own positions.
        ModeSenseCase{"  sense 72 05 24 00 00 00 00 00", "SENSE = 0x05,ASC = 0x24,ASCQ = 0x00,FRU = 0x00\n"
                                                         "format err:3,f:formatUnit,l:589", {0x1A}},
        // MEDIUM ERROR is category 0: the data that came is used and the format goes on.
        ModeSenseCase{"  data " + ModeData("000200") + "\n  sense-fixed 03 11 00",
                      "SENSE = 0x03,ASC = 0x11,ASCQ = 0x00,FRU = 0x00\nFormat progress indication is  25%\n",
                      {0x1A, 0x15, 0x04, 0x00}},
        ModeSenseCase{"  errno EIO", "errno=5\nformat err:ffffffff,f:formatUnit,l:589", {0x1A}},
        ModeSenseCase{"  driver-status 06", "errno=6e\nformat err:ffffffff,f:formatUnit,l:589", {0x1A}},
        // No block descriptor: nothing is changed or formatted.
        ModeSenseCase{"  data 0F 00 10 00 " + kPage,
                      "No block descriptors present,bd_len=0\nformat err:ffffffea,f:formatUnit,l:589", {0x1A}},
        // Mode data that claims more than the buffer holds, or a page longer than the data.
        ModeSenseCase{"  data FF 00 10 08 2E9390B000000200 " + kPage + "\n  size 252",
                      "Mode parameter data is not usable,mode data length=255,bd_len=8\n"
                      "format err:ffffffea,f:formatUnit,l:589", {0x1A}},
        ModeSenseCase{"  data 17 00 10 08 2E9390B000000200 81 FF C008000000000800FFFF",
                      "Mode parameter data is not usable,mode data length=23,bd_len=8\n"
                      "format err:ffffffea,f:formatUnit,l:589", {0x1A}},
        // A descriptor shorter than a block descriptor.
        ModeSenseCase{"  data 13 00 10 04 00000200 " + kPage,
                      "Mode parameter data is not usable,mode data length=19,bd_len=4\n"
                      "format err:ffffffea,f:formatUnit,l:589", {0x1A}}),
    CaseName());

TEST_F(FormatUnitE2e, ModeDataWithoutPageSelectsHeaderAndDescriptorOnly)
{
    RunResult r = RunFormat("520", "answer scsi 1A\n  data 0B 00 10 08 2E9390B000000200\n");
    EXPECT_EQ(r.out, "Format progress indication is  25%\n");
    std::vector<std::string> trace = ProcedureTrace();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[2], Sgio("151100000C00", "out", 12, 6, "000000080000000000000208"));
}

struct SelectCase {
    const char* answer;   // the MODE SELECT(6) answer
    const char* out;
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << c.answer; }

class FormatModeSelectRefused : public FormatUnitE2e, public ::testing::WithParamInterface<SelectCase> {};

// The drive's own answer that it has no such block length lets the format go on, with the
// requested length; the drive, still at 512, then refuses a 520-byte pattern.
TEST_P(FormatModeSelectRefused, FormatStillSentWithRequestedLength)
{
    const SelectCase& c = GetParam();
    RunResult r = RunFormat("520", std::string("answer scsi 15\n") + c.answer + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    std::vector<std::string> trace = ProcedureTrace();
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_EQ(trace[3], FormatUnitLine(520, "0208"));
    EXPECT_EQ(trace[4], kClose);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatModeSelectRefused,
    ::testing::Values(SelectCase{"  sense-fixed 05 20 00",
                                 "SENSE = 0x05,ASC = 0x20,ASCQ = 0x00,FRU = 0x00\n"
                                 "The disk don't support this Block Length!It will be formatted with default Block "
                                 "size 512..\nformat err:2,f:formatUnit,l:589"}),
    CaseName());

class FormatModeSelectNotGood : public FormatUnitE2e, public ::testing::WithParamInterface<SelectCase> {};

// A MODE SELECT that never reached the drive, came back with any other status or did not
// take its whole list leaves the block length unknown: no FORMAT UNIT.
TEST_P(FormatModeSelectNotGood, NothingFormatted)
{
    const SelectCase& c = GetParam();
    RunResult r = RunFormat("520", std::string("answer scsi 15\n") + c.answer + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    std::vector<std::string> trace = ProcedureTrace();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[2].compare(0, 26, "sgio /dev/sdf cdb=15110000"), 0) << trace[2];
    EXPECT_EQ(trace[3], kClose);
    for (const TraceEntry& e : zvemu::ParseTrace(ReadFile("trace.txt"))) {
        EXPECT_FALSE(e.op == "sgio" && !e.cdb.empty() && e.cdb[0] == 0x04) << zvemu::FormatTraceLine(e, false);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatModeSelectNotGood,
    ::testing::Values(SelectCase{"  errno EIO", "errno=5\nformat err:ffffffff,f:formatUnit,l:589"},
                      SelectCase{"  host-status 07", "errno=5\nformat err:ffffffff,f:formatUnit,l:589"},
                      SelectCase{"  driver-status 06", "errno=6e\nformat err:ffffffff,f:formatUnit,l:589"},
                      // Statuses without sense: the status is the error.
                      SelectCase{"  status 08", "format err:8,f:formatUnit,l:589"},
                      SelectCase{"  status 18", "format err:18,f:formatUnit,l:589"},
                      SelectCase{"  status 28", "format err:28,f:formatUnit,l:589"},
                      // CHECK CONDITION other than the unsupported length: its SENSE line, then
                      // the status.
                      SelectCase{"  sense-fixed 02 04 00", "SENSE = 0x02,ASC = 0x04,ASCQ = 0x00,FRU = 0x00\n"
                                                           "format err:2,f:formatUnit,l:589"},
                      SelectCase{"  sense-fixed 05 26 00", "SENSE = 0x05,ASC = 0x26,ASCQ = 0x00,FRU = 0x00\n"
                                                           "format err:2,f:formatUnit,l:589"},
                      SelectCase{"  sense-fixed 06 29 00", "SENSE = 0x06,ASC = 0x29,ASCQ = 0x00,FRU = 0x00\n"
                                                           "format err:2,f:formatUnit,l:589"},
                      // GOOD, but the drive took 4 bytes less than the list: not delivered whole.
                      SelectCase{"  resid 4", "format err:ffffffff,f:formatUnit,l:589"}),
    CaseName());

TEST_F(FormatUnitE2e, FormatUnitNotGoodEndsWithItsStatusAndNoProgress)
{
    RunResult r = RunFormat("520", "answer scsi 04\n  status 18\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format err:18,f:formatUnit,l:589");
    std::vector<std::string> trace = ProcedureTrace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), kClose);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), DirectOpen()), 1);
}

TEST_F(FormatUnitE2e, HostFailureOfFormatUnitIsNoSuccess)
{
    RunResult r = RunFormat("512", "answer scsi 04\n  host-status 07\n");
    EXPECT_EQ(r.out, "errno=5\nformat err:ffffffff,f:formatUnit,l:589");
}

} // namespace
