// The SCSI pass-through tools end to end on the emulated SAS drive /dev/sdb (the demo drive
// with tests/data/passthrough/sas_extra.txt): the guided tool through "-U spt", the hex tool
// through the Utility row of the SCSI menu, each driven by a standard input script. The
// screen is compared byte for byte, and the requests with their data in the trace.
#include "e2e_util.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::TraceEntry;

std::string Data(const char* rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

// ---- Texts of both tools ----

const std::string kSuccess = "\n    SCSI Pass Through execute successfully\n";

std::string Failed(const char* code, const char* text)
{
    return std::string("\n    SCSI Pass Through execute failed, User Err Code [") + code + ":" + text + "]\n";
}

// The four sense lines after the heading; sense is the written part, the rest stays zero.
std::string SenseLines(const std::string& hex = "")
{
    zvemu::Bytes b = zvemu::Hex(hex);
    b.resize(32, 0);
    std::string s = "    ==== Sense data ====\n";
    for (int row = 0; row < 4; row++) {
        char line[80];
        snprintf(line, sizeof(line), "    CDB[%02d - %02d] : ", row * 8, row * 8 + 7);
        s += line;
        for (int i = 0; i < 8; i++) {
            snprintf(line, sizeof(line), "%02X ", b[row * 8 + i]);
            s += line;
        }
        s += "\n";
    }
    return s;
}

const std::string kNoSense = SenseLines();
// What the demo drive answers to an opcode it does not know.
const std::string kBadOpcodeSense = SenseLines("70 00 05 00 00 00 00 0A 00 00 00 00 20 00 00 00 00 00");
const std::string kBadOpcode = Failed("0000000Ah", "Sense key : BAD OPCODE") + kBadOpcodeSense;

// The demo drive's standard INQUIRY data, first 36 bytes.
const std::string kInquiry36Hex = "00000612 5B001002 51554D41 20202020 51554D41 2D4B3634 3730424E 30343030 42323330";

std::string Sgio(const std::string& cdb, const char* dir, size_t len, const std::string& data = "")
{
    std::string s = "sgio /dev/sdb cdb=" + cdb + " dir=" + dir + " len=" + std::to_string(len) +
                    " timeout=30000 sense=32";
    if (!data.empty()) {
        s += " data=" + data;
    }
    return s;
}

const std::string kInquiry36 = Sgio("120000002400", "in", 36);

class PassThroughE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_CONFIG"] = Data("demo/sas_k6470.txt") + ":" + Data("passthrough/sas_extra.txt");
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    // The tools' requests: the only ones with their 30 s time-out.
    std::vector<std::string> ToolRequests() const
    {
        std::vector<std::string> lines;
        for (const TraceEntry& e : zvemu::ParseTrace(ReadFile("trace.txt"))) {
            if (e.op == "sgio" && e.timeout == 30000) {
                lines.push_back(zvemu::FormatTraceLine(e, false));
            }
        }
        return lines;
    }

    // Every open of the node was closed again.
    void ExpectNodeClosed() const
    {
        int open = 0;
        for (const TraceEntry& e : zvemu::ParseTrace(ReadFile("trace.txt"))) {
            open += e.op == "open" && e.err == 0 ? 1 : (e.op == "close" ? -1 : 0);
        }
        EXPECT_EQ(open, 0);
    }
};

// ---- The guided tool ----

const std::string kLen = "    set CDB length : [6/10/12/16] ";
const std::string kDir = "    set data direction : [0=No Data/1=From Disk/2=To Disk] ";
const std::string kDataLen = "    set data length : [Hex/Bytes/max=0x20000] 0x";
const std::string kGetFile = "    get data from file : [y/n] ";
const std::string kSaveFile = "    save received data : [y/n] ";
const std::string kFileName = "    input file name : ";

// The CDB prompts of bytes from to to, inclusive.
std::string CdbPrompts(int from, int to)
{
    std::string s;
    for (int i = from; i <= to; i++) {
        char p[40];
        snprintf(p, sizeof(p), "    set CDB[%02d] : 0x", i);
        s += p;
    }
    return s;
}

struct GuidedCase {
    std::string input;
    std::string out;
    std::vector<std::string> sent;
    bool on_terminal = false;  // typed at a terminal, else piped
};

void PrintTo(const GuidedCase& c, std::ostream* os) { *os << c.input; }

class GuidedTool : public PassThroughE2e, public ::testing::WithParamInterface<GuidedCase> {};

TEST_P(GuidedTool, AsksComposesAndSends)
{
    const GuidedCase& c = GetParam();
    on_terminal_ = c.on_terminal;
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(ToolRequests(), c.sent);
    ExpectNodeClosed();
}

INSTANTIATE_TEST_SUITE_P(
    Table, GuidedTool,
    ::testing::Values(
        // INQUIRY, 24h bytes in, not saved.
        GuidedCase{"6\n12\n00\n00\n00\n24\n00\n1\n24\nn\n",
                   kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile + kSuccess + kNoSense, {kInquiry36}},
        // An answer shorter than asked (96 of 80h bytes) is no failure here: the operator reads it.
        GuidedCase{"6\n12\n00\n00\n00\n80\n00\n1\n80\nn\n",
                   kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile + kSuccess + kNoSense,
                   {Sgio("120000008000", "in", 128)}},
        // The named lengths are not enforced: 7 asks seven bytes.
        GuidedCase{"7\n3B\n02\n0\n0\n0\n0\n0\n0\n", kLen + CdbPrompts(0, 6) + kDir + kSuccess + kNoSense,
                   {Sgio("3B020000000000", "none", 0)}},
        // Data to send without a file: the zero-filled buffer.
        GuidedCase{"10\n3B\n02\n00\n00\n00\n00\n00\n00\n08\n00\n2\n8\nN\n",
                   kLen + CdbPrompts(0, 9) + kDir + kDataLen + kGetFile + kSuccess + kNoSense,
                   {Sgio("3B020000000000000800", "out", 8, "0000000000000000")}},
        // Out of range, not a number or empty: asked again on a terminal.
        GuidedCase{"17\nx\n\n6\n100\n12\n0\n0\n0\n24\n0\n3\n1\n20001\n 2 4 \nn\n",
                   kLen + kLen + kLen + kLen + CdbPrompts(0, 0) + CdbPrompts(0, 5) + kDir + kDir + kDataLen +
                       kDataLen + kSaveFile + kSuccess + kNoSense,
                   {kInquiry36}, true},
        // The file question is repeated until the answer begins with y or n.
        GuidedCase{"6\n12\n0\n0\n0\n24\n0\n1\n24\nmaybe\n\n n\nNo\n",
                   kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile + kSaveFile + kSaveFile + kSaveFile +
                       kSuccess + kNoSense,
                   {kInquiry36}, true},
        // Piped, a refused answer ends the input: the lines after it answer nothing.
        GuidedCase{"6\n12\n0\n0\n100\n24\n0\n1\n24\nn\n", kLen + CdbPrompts(0, 3) + CdbPrompts(3, 3) +
                   CdbPrompts(3, 3), {}},
        // No bytes to move: no file question.
        GuidedCase{"6\n12\n0\n0\n0\n0\n0\n1\n0\n", kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSuccess + kNoSense,
                   {Sgio("120000000000", "in", 0)}},
        // The drive refuses: the failure and its sense bytes.
        GuidedCase{"6\nE0\n0\n0\n0\n0\n0\n0\n", kLen + CdbPrompts(0, 5) + kDir + kBadOpcode,
                   {Sgio("E00000000000", "none", 0)}},
        // 0 (or q) for the CDB length leaves the tool.
        GuidedCase{"q\n6\n", kLen, {}}, GuidedCase{"0\n", kLen, {}},
        // The input ends before the command is complete: nothing is sent.
        GuidedCase{"6\n12\n", kLen + CdbPrompts(0, 1) + CdbPrompts(1, 1), {}},
        GuidedCase{"6\n12\n0\n0\n0\n24\n0\n", kLen + CdbPrompts(0, 5) + kDir + kDir, {}},
        GuidedCase{"6\n12\n0\n0\n0\n24\n0\n1\n", kLen + CdbPrompts(0, 5) + kDir + kDataLen + kDataLen, {}}),
    CaseName());

TEST_F(PassThroughE2e, EndOfInputAtTheFileQuestionEndsTheProcessUnsent)
{
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, "6\n12\n0\n0\n0\n24\n0\n1\n24\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile);
    EXPECT_EQ(ToolRequests(), std::vector<std::string>());
}

const std::string kInquiryToFileInput = "6\n12\n00\n00\n00\n24\n00\n1\n24\ny\n";
const std::string kInquiryToFilePrompts = kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile;

TEST_F(PassThroughE2e, ReceivedDataSavedToTheNamedFileNotShown)
{
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, kInquiryToFileInput + " out .bin \n");
    EXPECT_EQ(r.out, kInquiryToFilePrompts + kFileName + kSuccess + kNoSense + "    data saved to file out.bin\n");
    EXPECT_EQ(ToolRequests(), std::vector<std::string>{kInquiry36});
    const zvemu::Bytes expected = zvemu::Hex(kInquiry36Hex);
    EXPECT_EQ(ReadFile("out.bin"), std::string(expected.begin(), expected.end()));
}

TEST_F(PassThroughE2e, EmptyNameForReceivedDataAskedAgain)
{
    on_terminal_ = true;
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, kInquiryToFileInput + "\n   \nout.bin\n");
    EXPECT_EQ(r.out, kInquiryToFilePrompts + kFileName + kFileName + kFileName + kSuccess + kNoSense +
                         "    data saved to file out.bin\n");
    EXPECT_EQ(ReadFile("out.bin").size(), 36u);
}

TEST_F(PassThroughE2e, FileThatCannotBeWrittenReported)
{
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, kInquiryToFileInput + "nodir/out.bin\n");
    EXPECT_EQ(r.out, kInquiryToFilePrompts + kFileName + kSuccess + kNoSense +
                         "    data saved to file nodir/out.bin failed, User Err Code [00000017h:File can't be opened]\n");
}

TEST_F(PassThroughE2e, NothingSavedAfterAFailedCommand)
{
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, "6\nE0\n0\n0\n0\n10\n0\n1\n10\ny\nout.bin\n");
    EXPECT_EQ(r.out, kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile + kFileName + kBadOpcode);
    EXPECT_FALSE(Exists("out.bin"));
}

TEST_F(PassThroughE2e, DataToSendReadFromFileAskedAgainUntilItHoldsTheLength)
{
    WriteFile("short.bin", "0123");
    WriteFile("in.bin", "0123456789AB");
    on_terminal_ = true;
    RunResult r = Run({"-U", "spt", "/dev/sdb"},
                      "10\n3B\n02\n00\n00\n00\n00\n00\n00\n08\n00\n2\n8\ny\nmissing.bin\nshort.bin\n in.bin\n");
    EXPECT_EQ(r.out, kLen + CdbPrompts(0, 9) + kDir + kDataLen + kGetFile + kFileName +
                         "    read file missing.bin failed; User Err Code [00000017h:File can't be opened]\n" +
                         kFileName + "    read file short.bin failed; User Err Code [00000018h:File Read Error]\n" +
                         kFileName + kSuccess + kNoSense);
    // Only the first 8 bytes of the longer file.
    EXPECT_EQ(ToolRequests(), std::vector<std::string>{Sgio("3B020000000000000800", "out", 8, "3031323334353637")});
}

TEST_F(PassThroughE2e, LargestGuidedLengthIsSent)
{
    RunResult r = Run({"-U", "spt", "/dev/sdb"}, "6\n12\n0\n0\n0\nFF\n0\n1\n20000\nn\n");
    EXPECT_EQ(r.out, kLen + CdbPrompts(0, 5) + kDir + kDataLen + kSaveFile + kSuccess + kNoSense);
    EXPECT_EQ(ToolRequests(), std::vector<std::string>{Sgio("12000000FF00", "in", 0x20000)});
}

// ---- The hex tool, from the SCSI menu: drive 1, Utility (8), SCSI Pass Through (1) ----

const std::string kCdb = "CDB:  [hex string or RETURN to quit] ";
const std::string kIn = "\nEnter input data length in bytes:  [0-1024 or RETURN to quit] ";
const std::string kOut = "\nEnter output data length in bytes:  [0-1024 or RETURN to quit] ";
const std::string kValue = "\nEnter value:  [00-FF or RETURN to quit] ";
const std::string kCdbLength = "CDB must be 6, 10, 12, or 16 bytes (12, 20, 24, or 32 characters)\n";

std::string ByteToChange(int last) { return "\nEnter byte to change:  [0-" + std::to_string(last) + " or RETURN to quit] "; }

std::string Transferred(int n) { return "\n    ==== " + std::to_string(n) + " bytes of data transferred ====\n"; }

const std::string kInquiry36Dump =
    Transferred(36) +
    "  0 : 00 00 06 12 5b 00 10 02 51 55 4d 41 20 20 20 20        [   QUMA    \n"
    " 16 : 51 55 4d 41 2d 4b 36 34 37 30 42 4e 30 34 30 30    QUMA-K6470BN0400\n"
    " 32 : 42 32 33 30 " + std::string(36, ' ') + "   B230\n";

class HexTool : public PassThroughE2e {
protected:
    // The screen up to the Utility menu's prompt, and that menu with its prompt, as the
    // menus show them (the tool's output comes between the two).
    void Screens(std::string* before, std::string* utility)
    {
        RunResult r = Run({}, "1\n8\nq\n");
        *before = r.out;
        const size_t pos = r.out.rfind("\n  *************************");
        ASSERT_NE(pos, std::string::npos);
        const size_t menu = r.out.rfind("\n  *************************", pos - 1);
        ASSERT_NE(menu, std::string::npos);
        *utility = r.out.substr(menu);
        // The trace of that run is not part of the test's run.
        WriteFile("trace.txt", "");
    }

    // Runs the tool with its input; the menu is left with q afterwards.
    std::string RunTool(const std::string& input)
    {
        std::string before;
        std::string utility;
        Screens(&before, &utility);
        RunResult r = Run({}, "1\n8\n1\n" + input + "q\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.compare(0, before.size(), before), 0);
        if (r.out.size() < before.size() + utility.size() ||
            r.out.compare(r.out.size() - utility.size(), utility.size(), utility) != 0) {
            ADD_FAILURE() << "the Utility menu does not follow the tool:\n" << r.out;
            return r.out;
        }
        return r.out.substr(before.size(), r.out.size() - before.size() - utility.size());
    }
};

struct HexCase {
    std::string input;
    std::string out;
    std::vector<std::string> sent;
    bool on_terminal = false;  // typed at a terminal, else piped
};

void PrintTo(const HexCase& c, std::ostream* os) { *os << SpeltOut(c.input); }

class HexToolCases : public HexTool, public ::testing::WithParamInterface<HexCase> {};

TEST_P(HexToolCases, ComposesSendsAndShows)
{
    const HexCase& c = GetParam();
    on_terminal_ = c.on_terminal;
    EXPECT_EQ(RunTool(c.input), c.out);
    EXPECT_EQ(ToolRequests(), c.sent);
    ExpectNodeClosed();
}

INSTANTIATE_TEST_SUITE_P(
    Table, HexToolCases,
    ::testing::Values(
        // INQUIRY with 24h bytes: three lines, the last of 4 bytes padded to the character column.
        HexCase{"120000002400\n36\n", kCdb + kIn + kSuccess + kNoSense + kInquiry36Dump, {kInquiry36}},
        // Lower case digits and trailing blanks; out of range asked again on a terminal; one short line.
        HexCase{"120000000a00  \n1025\n10\n",
                kCdb + kIn + kIn + kSuccess + kNoSense + Transferred(10) +
                    "  0 : 00 00 06 12 5b 00 10 02 51 55 " + std::string(18, ' ') + "       [   QU\n",
                {Sgio("120000000A00", "in", 10)}, true},
        // RETURN at a length quits, as its prompt says, on a terminal too.
        HexCase{"120000002400\n\n", kCdb + kIn, {}, true},
        HexCase{"3B020000000000000400\n0\n\n", kCdb + kIn + kOut, {}, true},
        HexCase{"120000002400\n \n", kCdb + kIn, {}},
        HexCase{"12000000240000\n", kCdb + kCdbLength, {}},
        HexCase{"12 00 00 00 24 00\n", kCdb + kCdbLength, {}},
        HexCase{"\n", kCdb + kCdbLength, {}},
        HexCase{"12000000240G\n", kCdb + "invalid hex digit G at offset 11\n", {}},
        HexCase{"x2000000240000000000\n", kCdb + "invalid hex digit x at offset 0\n", {}},
        // Output length 4: one editor line; an empty answer sends the four zero bytes.
        HexCase{"3B020000000000000400\n0\n4\n\n",
                kCdb + kIn + kOut + "\n  0 : 00 00 00 00 \n" + ByteToChange(3) + kSuccess + kNoSense,
                {Sgio("3B020000000000000400", "out", 4, "00000000")}},
        // Two edits; an empty answer leaves the editor and sends.
        HexCase{"3B020000000000000400\n0\n4\n2\nab\n0\n1\n\n",
                kCdb + kIn + kOut + "\n  0 : 00 00 00 00 \n" + ByteToChange(3) + kValue +
                    "\n  0 : 00 00 ab 00 \n" + ByteToChange(3) + kValue + "\n  0 : 01 00 ab 00 \n" +
                    ByteToChange(3) + kSuccess + kNoSense,
                {Sgio("3B020000000000000400", "out", 4, "0100AB00")}},
        // An invalid value ends the tool unsent (the stop cases hold the other typos); seventeen
        // bytes take two lines.
        HexCase{"3B020000000000001100\n0\n17\n16\n1FF\n",
                kCdb + kIn + kOut +
                    "\n  0 : 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n 16 : 00 \n" + ByteToChange(16) +
                    kValue,
                {}},
        // No data either way.
        HexCase{"000000000000\n0\n0\n", kCdb + kIn + kOut + kSuccess + kNoSense, {Sgio("000000000000", "none", 0)}},
        // A refused command shows no data.
        HexCase{"E00000000000\n8\n", kCdb + kIn + kBadOpcode, {Sgio("E00000000000", "in", 8)}}),
    CaseName());

TEST_F(HexTool, EndOfInputAtTheCdbLineEndsTheProcess)
{
    std::string before;
    std::string utility;
    Screens(&before, &utility);
    RunResult r = Run({}, "1\n8\n1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, before + kCdb);
    EXPECT_EQ(ToolRequests(), std::vector<std::string>());
}

TEST_F(HexTool, EndOfInputAtALengthSendsNothing)
{
    std::string before;
    std::string utility;
    Screens(&before, &utility);
    RunResult r = Run({}, "1\n8\n1\n120000002400\n");
    EXPECT_EQ(r.status, 0);
    // The menu follows and the end of input quits it.
    EXPECT_EQ(r.out, before + kCdb + kIn + utility);
    EXPECT_EQ(ToolRequests(), std::vector<std::string>());
    ExpectNodeClosed();
}

TEST_F(HexTool, LargestLengthIsSent)
{
    const std::string out = RunTool("120000040000\n1024\n");
    EXPECT_EQ(out.compare(0, (kCdb + kIn + kSuccess + kNoSense + Transferred(1024)).size(),
                          kCdb + kIn + kSuccess + kNoSense + Transferred(1024)),
              0);
    EXPECT_EQ(ToolRequests(), std::vector<std::string>{Sgio("120000040000", "in", 1024)});
}

} // namespace
