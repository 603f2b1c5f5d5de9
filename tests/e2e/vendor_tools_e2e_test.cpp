// The interactive vendor tools end to end: the real binary started with -U hpa / -U magnify
// or in menu mode (Utility submenu), answering the console from standard input, on emulated
// SATA drives; the screen and the requests the drive received after its classification.
//
// Drives (tests/data/vendor_tools, tests/data/e2e):
//   /dev/sda  QUMA-K4410TN0100 (28-bit maximum address 0BA5222Fh, eye chart registers,
//             flag block table with 10000 moved pages over 100 written)
//   /dev/sdd  QUMA-K4410TN0200 (48-bit maximum address 02010BA5222Fh)
//   /dev/sdc  QUMA-K6410TN0100 (a family without maximum-address tool)
#include "e2e_util.h"

#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

std::string Data(const char* rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

const char kToolsDrives[] = "vendor_tools/sata_tools.txt";

std::string AllDrives()
{
    return Data(kToolsDrives) + ":" + Data("vendor_tools/sata_tn0200.txt") + ":" + Data("e2e/sata_k6410.txt");
}

bool IsIdentify(const TraceEntry& e) { return e.cdb.size() == 16 && e.cdb[0] == 0x85 && e.cdb[14] == 0xEC; }

// The requests after the drive's classification (which ends with its IDENTIFY DEVICE).
std::vector<TraceEntry> ToolRequests(const std::string& trace_text, const std::string& node)
{
    std::vector<TraceEntry> all = zvemu::Only(zvemu::ParseTrace(trace_text), "sgio", node);
    size_t first = 0;
    for (size_t i = 0; i < all.size(); i++) {
        if (IsIdentify(all[i])) {
            first = i + 1;
            break;
        }
    }
    return std::vector<TraceEntry>(all.begin() + static_cast<long>(first), all.end());
}

std::vector<Bytes> Cdbs(const std::vector<TraceEntry>& sent)
{
    std::vector<Bytes> out;
    for (const TraceEntry& e : sent) {
        out.push_back(e.cdb);
    }
    return out;
}

std::vector<Bytes> HexCdbs(const std::vector<const char*>& cdbs)
{
    std::vector<Bytes> out;
    for (const char* cdb : cdbs) {
        out.push_back(Hex(cdb));
    }
    return out;
}

const std::string kAsk = "    Read Native Address or Set Max Address : [0=Query, 1=Set, 2=Quit] ";
const std::string kAskAddress = "    Input Max Address : ";
const std::string kAskVolatile = "    Set Volatile Value : [0=Volatile, 1=Non-volatile] ";

// SAT CDBs: non-data with the registers returned (CK_COND), 28-bit and 48-bit.
const char kReadNative[] = "85 06 2C 00 00 00 00 00 00 00 00 00 00 40 F8 00";
const char kReadNativeExt[] = "85 07 2C 00 00 00 00 00 00 00 00 00 00 40 27 00";

class VendorTools : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_CONFIG"] = AllDrives();
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    std::vector<TraceEntry> Sent(const std::string& node) const { return ToolRequests(ReadFile("trace.txt"), node); }

    // The tools' drives with answers of a case's own added to /dev/sda.
    void UseSdaWithAnswers(const std::string& answers)
    {
        WriteFile("extra.txt", "drive /dev/sda\n" + answers);
        env_["ZV_EMU_CONFIG"] = Data(kToolsDrives) + ":" + Path("extra.txt");
    }
};

// ---------------------------------------------------------------- -U hpa

struct HpaCase {
    const char* what;
    const char* node;
    std::string input;
    std::string out;
    std::vector<const char*> cdbs;  // after the classification
    bool on_terminal = false;       // typed at a terminal, else piped
};

void PrintTo(const HpaCase& c, std::ostream* os) { *os << c.what; }

const HpaCase hpa_cases[] = {
    {"query on a 28-bit model", "/dev/sda", "0\n", kAsk + "    Native Address : 195371567\n", {kReadNative}},
    {"set equal to native, non-volatile: sent, with LBA 27:24 in the device register and count 1",
     "/dev/sda", "1\n195371567\n1\n",
     kAsk + kAskAddress + kAskVolatile + "    Native Address : 195371567\n    Set Max Address successfully\n",
     {kReadNative, "85 06 2C 00 00 00 01 00 2F 00 22 00 A5 4B F9 00"}},
    {"set native + 1: refused after the read", "/dev/sda", "1\n195371568\n0\n",
     kAsk + kAskAddress + kAskVolatile + "    Max Address can't be greater than Native Address\n", {kReadNative}},
    {"address above 48 bits asks again on a terminal; a smaller volatile one is set", "/dev/sda",
     "1\n281474976710656\n4096\n0\n",
     kAsk + kAskAddress + kAskAddress + kAskVolatile +
         "    Native Address : 4096\n    Set Max Address successfully\n",
     {kReadNative, "85 06 2C 00 00 00 00 00 00 00 10 00 00 40 F9 00"}, true},
    {"NUL line at the address asks again on a terminal; the next line answers it", "/dev/sda",
     std::string("1\n5000\0\n4096\n0\n", 15),
     kAsk + kAskAddress + kAskAddress + kAskVolatile +
         "    Native Address : 4096\n    Set Max Address successfully\n",
     {kReadNative, "85 06 2C 00 00 00 00 00 00 00 10 00 00 40 F9 00"}, true},
    // Piped, the answers after a refused one were written for other questions: the 0 meant
    // for the volatile question must not become the address. The input ends there.
    {"piped address above 48 bits ends the input", "/dev/sda", "1\n281474976710656\n0\n1\n",
     kAsk + kAskAddress + kAskAddress + kAskAddress, {}},
    {"piped over-long address line ends the input", "/dev/sda", "1\n" + std::string(5000, '1') + "\n0\n1\n",
     kAsk + kAskAddress + kAskAddress + kAskAddress, {}},
    {"piped NUL in the address ends the input", "/dev/sda", std::string("1\n5000\0\n0\n1\n", 12),
     kAsk + kAskAddress + kAskAddress + kAskAddress, {}},
    {"piped empty address ends the input", "/dev/sda", "1\n\n0\n1\n", kAsk + kAskAddress + kAskAddress + kAskAddress,
     {}},
    // A CR LF line end is a line end.
    {"CR LF answers set the address as LF ones do", "/dev/sda", "1\r\n4096\r\n0\r\n",
     kAsk + kAskAddress + kAskVolatile + "    Native Address : 4096\n    Set Max Address successfully\n",
     {kReadNative, "85 06 2C 00 00 00 00 00 00 00 10 00 00 40 F9 00"}},
    {"quit sends nothing", "/dev/sda", "2\n", kAsk, {}},
    {"end of input at the address ends the tool unsent", "/dev/sda", "1\n", kAsk + kAskAddress + kAskAddress, {}},
    {"K4410TN0200: the 48-bit query", "/dev/sdd", "0\n", kAsk + "    Native Address : 2203513594415\n",
     {kReadNativeExt}},
    {"K4410TN0200: set equal to native with the 48-bit command, LBA 47:24 in the previous registers",
     "/dev/sdd", "1\n2203513594415\n0\n",
     kAsk + kAskAddress + kAskVolatile + "    Native Address : 2203513594415\n    Set Max Address successfully\n",
     {kReadNativeExt, "85 07 2C 00 00 00 00 0B 2F 01 22 02 A5 40 37 00"}},
    {"another family: not QUMA, no prompt and no command", "/dev/sdc", "0\n",
     "    Current PhysicalDrive is not QUMA\n\n", {}},
};

class Hpa : public VendorTools, public ::testing::WithParamInterface<HpaCase> {};

TEST_P(Hpa, ScreenAndCommands)
{
    const HpaCase& c = GetParam();
    on_terminal_ = c.on_terminal;
    RunResult r = Run({"-U", "hpa", c.node}, c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Cdbs(Sent(c.node)), HexCdbs(c.cdbs));
}

INSTANTIATE_TEST_SUITE_P(Cases, Hpa, ::testing::ValuesIn(hpa_cases), CaseName());

// A drive command that fails ends the tool after its line: nothing else is sent or printed.
const char kRefused[] = "  regs status=51 err=04\n";
const std::string kAborted =
    "    Query data length failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], System Err Code "
    "[00000000h]\n";

const std::string kNoRegisters =
    "    Query data length failed, User Err Code [00000007h:SatPassThroughIoctl has no check condition], System Err "
    "Code [00000000h]\n";

struct HpaRefusalCase {
    const char* what;
    const char* answer;  // refused with kRefused
    const char* input;
    std::string out;
    std::vector<const char*> cdbs;
};

void PrintTo(const HpaRefusalCase& c, std::ostream* os) { *os << c.what; }

const HpaRefusalCase hpa_refusal_cases[] = {
    {"the native read fails: no address, no set", "answer ata F8\n", "1\n4096\n1\n",
     kAsk + kAskAddress + kAskVolatile + kAborted, {kReadNative}},
    {"the set fails: no address, no success line", "answer ata F9\n", "1\n4096\n1\n",
     kAsk + kAskAddress + kAskVolatile + kAborted, {kReadNative, "85 06 2C 00 00 00 01 00 00 00 10 00 00 40 F9 00"}},
    // A translator that answers GOOD without the ATA Status Return: the drive's registers (here
    // its refusal) never come back, so there is no native address to show or to set below.
    {"the native read returns no registers: no address", "answer ata F8\n  status-return none\n", "0\n",
     kAsk + kNoRegisters, {kReadNative}},
    {"the native read returns no registers: no set", "answer ata F8\n  status-return none\n", "1\n0\n1\n",
     kAsk + kAskAddress + kAskVolatile + kNoRegisters, {kReadNative}},
};

class HpaRefusal : public VendorTools, public ::testing::WithParamInterface<HpaRefusalCase> {};

TEST_P(HpaRefusal, EndsAfterTheFailure)
{
    const HpaRefusalCase& c = GetParam();
    UseSdaWithAnswers(std::string(c.answer) + kRefused);
    RunResult r = Run({"-U", "hpa", "/dev/sda"}, c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Cdbs(Sent("/dev/sda")), HexCdbs(c.cdbs));
}

INSTANTIATE_TEST_SUITE_P(Cases, HpaRefusal, ::testing::ValuesIn(hpa_refusal_cases), CaseName());

// ---------------------------------------------------------------- -U magnify

const char kFlagTableLenQuery[] = "85 08 2E 00 0D 00 01 00 00 00 00 00 00 40 89 00";
const char kFlagTableRead[] = "85 08 2E 00 8D 00 01 00 00 00 00 00 00 40 89 00";

struct MagnifyCase {
    const char* what;
    const char* extra;  // answers added to /dev/sda
    const char* out;
    std::vector<const char*> cdbs;
};

void PrintTo(const MagnifyCase& c, std::ostream* os) { *os << c.what; }

const MagnifyCase magnify_cases[] = {
    {"square root 100 over 100 written pages", "",
     "    host read pages     :  0x      123456789A\n"
     "    host write pages    :  0x              64\n"
     "    disk read pages     :  0x      123456789A\n"
     "    disk write pages    :  0x              C8\n"
     "    magnify coefficient :  2.000000\n",
     {kFlagTableLenQuery, kFlagTableRead}},
    {"no page written", "answer ata 89 fea=8D\n  size 512\n  le 344 8 7\n  le 360 8 10000\n",
     "    test time is not long enough\n", {kFlagTableLenQuery, kFlagTableRead}},
    {"an empty table: nothing to read into", "answer ata 89 fea=0D\n  size 512\n  le 0 4 0\n",
     "    Query data length failed, User Err Code [00000004h:Parameter is illegal], System Err Code [00000000h]\n",
     {kFlagTableLenQuery}},
    {"the length query fails", "answer ata 89 fea=0D\n  regs status=51 err=04\n",
     "    Query data length failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], System Err Code "
     "[00000000h]\n",
     {kFlagTableLenQuery}},
};

class Magnify : public VendorTools, public ::testing::WithParamInterface<MagnifyCase> {};

TEST_P(Magnify, ScreenAndCommands)
{
    const MagnifyCase& c = GetParam();
    UseSdaWithAnswers(c.extra);
    RunResult r = Run({"-U", "magnify", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Cdbs(Sent("/dev/sda")), HexCdbs(c.cdbs));
}

INSTANTIATE_TEST_SUITE_P(Cases, Magnify, ::testing::ValuesIn(magnify_cases), CaseName());

// ---------------------------------------------------------------- menu rows

const std::string kStars = "*************************";

// The Utility submenu of an ATA drive, as shown before each choice in it.
const std::string kUtilityMenu = "\n  " + kStars + " MENU " + kStars +
                                 "\n"
                                 "   1 : Tune QUMA Eye Chart       \n"
                                 "   2 : Flush Date & Time         \n"
                                 "   3 : Calc Magnify Coefficient  \n"
                                 "   4 : Get/Set Max Address       \n"
                                 "\n"
                                 "   o : enable save original binary Data to file\n"
                                 "   t : enable save parsed text to file\n"
                                 "   s : disable show parsed text on screen\n"
                                 "   r : disable save log to file\n"
                                 "   b : back to previous menu\n"
                                 "   q : quit\n  " +
                                 kStars + "******" + kStars +
                                 "\n"
                                 "  select an option : [1-4 or o/t/s/r/b or q to quit] ";

const std::string kEyeAsk = "    Query or Set Eye Chart Value (0=Query, 1=Set, 2=Quit) : ";

struct MenuCase {
    const char* what;
    const char* input;    // after the drive choice and the Utility row
    std::string shown;    // between two showings of the Utility submenu
    std::vector<const char*> cdbs;
    bool on_terminal = false;
};

void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.what; }

const MenuCase menu_cases[] = {
    {"Get/Set Max Address: query", "4\n0\n", kAsk + "    Native Address : 195371567\n", {kReadNative}},
    {"Calc Magnify Coefficient", "3\n",
     "    host read pages     :  0x      123456789A\n"
     "    host write pages    :  0x              64\n"
     "    disk read pages     :  0x      123456789A\n"
     "    disk write pages    :  0x              C8\n"
     "    magnify coefficient :  2.000000\n",
     {kFlagTableLenQuery, kFlagTableRead}},
    // Both registers read 16 bits wide: count 12h (address bits 31:28, width 2), LBA and device
    // from the rest of the address.
    {"Tune QUMA Eye Chart: query", "1\n0\n",
     kEyeAsk +
         "    Current Eye Chart Values\n"
         "    3.0 Gb/s Tx Amplitude Control : 012Ch\n"
         "    3.0 Gb/s Tx Emphasis          : 005Ah\n"
         "\n",
     {"85 06 2C 00 00 00 12 00 96 00 58 00 00 0C 8A 00", "85 06 2C 00 00 00 12 00 AC 00 58 00 00 0C 8A 00"}},
    {"Tune QUMA Eye Chart: quit", "1\n2\n", kEyeAsk, {}},
    {"Tune QUMA Eye Chart: an answer above 2 asks again on a terminal", "1\n3\n2\n", kEyeAsk + kEyeAsk, {}, true},
};

class MenuTool : public VendorTools, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuTool, RunsBetweenTwoShowingsOfTheUtilityMenu)
{
    const MenuCase& c = GetParam();
    on_terminal_ = c.on_terminal;
    env_["ZV_EMU_CONFIG"] = Data(kToolsDrives);
    RunResult r = Run({}, std::string("1\n7\n") + c.input + "b\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(kUtilityMenu + c.shown + kUtilityMenu), std::string::npos) << r.out;
    EXPECT_EQ(Cdbs(Sent("/dev/sda")), HexCdbs(c.cdbs));
}

INSTANTIATE_TEST_SUITE_P(Cases, MenuTool, ::testing::ValuesIn(menu_cases), CaseName());

// The block of a register write: width 2, the value, save to disk, the address, then zeros.
Bytes RegisterBlock(std::uint32_t value, std::uint32_t save, std::uint32_t address)
{
    Bytes b(512, 0);
    const std::uint32_t words[4] = {2, value, save, address};
    for (int w = 0; w < 4; w++) {
        for (int i = 0; i < 4; i++) {
            b[w * 4 + i] = static_cast<std::uint8_t>(words[w] >> (8 * i));
        }
    }
    return b;
}

TEST_F(VendorTools, EyeChartSetWritesBothRegistersASecondApart)
{
    env_["ZV_EMU_CONFIG"] = Data(kToolsDrives);
    env_["ZV_EMU_TRACE_TIME"] = "1";
    on_terminal_ = true;
    // Amplitude 0ABCh, emphasis 12h, 5Ah is above 1 and asked again (typed at a terminal), then permanent.
    RunResult r = Run({}, "1\n7\n1\n1\nabc\n12\n5a\n1\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string amplitude = "    Input Value for 3.0 Gb/s Tx Amplitude Control : [max=0xFFFF] 0x";
    const std::string emphasis = "    Input Value for 3.0 Gb/s Tx Emphasis          : [max=0xFFFF] 0x";
    const std::string permanent = "    Permanant or Temporary Set to Disk : [0=temporary/1=permamant] ";
    EXPECT_NE(r.out.find(kUtilityMenu + kEyeAsk + amplitude + emphasis + permanent + permanent +
                         "    SATA Eye Diagram Set successfully\n\n" + kUtilityMenu),
              std::string::npos)
        << r.out;
    std::vector<TraceEntry> sent = Sent("/dev/sda");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb, Hex("85 0A 26 00 02 00 11 00 96 00 58 00 00 0C 8B 00"));
    EXPECT_EQ(sent[0].data, RegisterBlock(0xABC, 1, 0x1C005896));
    EXPECT_EQ(sent[1].cdb, Hex("85 0A 26 00 02 00 11 00 AC 00 58 00 00 0C 8B 00"));
    EXPECT_EQ(sent[1].data, RegisterBlock(0x12, 1, 0x1C0058AC));
    ASSERT_GE(sent[0].at_ms, 0);
    const long long pause = sent[1].at_ms - sent[0].at_ms;
    EXPECT_GE(pause, 950);
    EXPECT_LT(pause, 5000);
}


const char kAmplitudeRead[] = "85 06 2C 00 00 00 12 00 96 00 58 00 00 0C 8A 00";
const char kEmphasisRead[] = "85 06 2C 00 00 00 12 00 AC 00 58 00 00 0C 8A 00";
const char kAmplitudeWrite[] = "85 0A 26 00 02 00 11 00 96 00 58 00 00 0C 8B 00";

struct EyeRefusalCase {
    const char* what;
    const char* answer;  // refused with kRefused
    const char* input;   // after the Utility row, to the end
    std::string shown;   // between two showings of the Utility submenu
    std::vector<const char*> cdbs;
};

void PrintTo(const EyeRefusalCase& c, std::ostream* os) { *os << c.what; }

const EyeRefusalCase eye_refusal_cases[] = {
    {"the amplitude read fails: the emphasis is not read", "answer ata 8A fea=00 lba0=96 lba1=58 lba2=00 dev=0C cnt=12\n",
     "1\n0\nb\nq\n", kEyeAsk + kAborted, {kAmplitudeRead}},
    {"the emphasis read fails: no values shown", "answer ata 8A fea=00 lba0=AC lba1=58 lba2=00 dev=0C cnt=12\n",
     "1\n0\nb\nq\n", kEyeAsk + kAborted, {kAmplitudeRead, kEmphasisRead}},
    {"the amplitude write fails: the emphasis is not written", "answer ata 8B fea=02\n", "1\n1\n5\n6\n0\nb\nq\n",
     kEyeAsk + "    Input Value for 3.0 Gb/s Tx Amplitude Control : [max=0xFFFF] 0x" +
         "    Input Value for 3.0 Gb/s Tx Emphasis          : [max=0xFFFF] 0x" +
         "    Permanant or Temporary Set to Disk : [0=temporary/1=permamant] " + kAborted,
     {kAmplitudeWrite}},
    // The menu shown after the tool then meets the end of input too and ends the run.
    {"end of input at the emphasis: nothing written", "answer ata 8B fea=02\n", "1\n1\n5\n",
     kEyeAsk + "    Input Value for 3.0 Gb/s Tx Amplitude Control : [max=0xFFFF] 0x" +
         "    Input Value for 3.0 Gb/s Tx Emphasis          : [max=0xFFFF] 0x" +
         "    Input Value for 3.0 Gb/s Tx Emphasis          : [max=0xFFFF] 0x",
     {}},
};

class EyeChartRefusal : public VendorTools, public ::testing::WithParamInterface<EyeRefusalCase> {};

TEST_P(EyeChartRefusal, EndsAfterTheFailure)
{
    const EyeRefusalCase& c = GetParam();
    UseSdaWithAnswers(std::string(c.answer) + kRefused);
    RunResult r = Run({}, std::string("1\n7\n") + c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(kUtilityMenu + c.shown + kUtilityMenu), std::string::npos) << r.out;
    EXPECT_EQ(Cdbs(Sent("/dev/sda")), HexCdbs(c.cdbs));
}

INSTANTIATE_TEST_SUITE_P(Cases, EyeChartRefusal, ::testing::ValuesIn(eye_refusal_cases), CaseName());

} // namespace
