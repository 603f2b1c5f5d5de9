// The vendor tools' own arithmetic (maximum-address packing, the magnify figures and their
// report) and their tables, and the tools without option or menu row (the three switches and
// the wear-level table download) run in-process on an emulated SATA drive with the console
// fed from a file: what they print and the commands the drive received.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "ata_trace.h"
#include "case_names.h"
#include "emu_api.h"
#include "test_init.h"

#include "disk_cmnd.h"
#include "front_state.h"
#include "sata_vendor_record.h"
#include "settings.h"
#include "vendor_tools.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

// ---------------------------------------------------------------- address packing

struct PackCase {
    const char* what;
    u64 lba;
    bool ext48;
    Bytes regs;     // the nine bytes after packing into a block of EEh
    u64 read_back;
};

void PrintTo(const PackCase& c, std::ostream* os) { *os << c.what; }

const PackCase pack_cases[] = {
    {"48-bit: LBA 47:24 in bytes 1, 3, 5, device 0", 0x0123456789ABull, true,
     Hex("AB 45 89 23 67 01 00 01 EE"), 0x0123456789ABull},
    {"28-bit: LBA 27:24 in the device byte, bytes 1, 3, 5 zero", 0x0A123456ull, false,
     Hex("56 00 34 00 12 00 0A 00 EE"), 0x0A123456ull},
    {"28-bit: bits above 27 do not reach the device byte's high nibble", 0x7F123456ull, false,
     Hex("56 00 34 00 12 00 0F 00 EE"), 0x0F123456ull},
    {"48-bit: bits above 47 are dropped", 0xFFFF800000000001ull, true, Hex("01 00 00 00 00 80 00 01 EE"),
     0x800000000001ull},
};

class AddressPacking : public ::testing::TestWithParam<PackCase> {};

TEST_P(AddressPacking, PacksAndReadsBack)
{
    const PackCase& c = GetParam();
    Bytes regs(9, 0xEE);
    lbaToTaskfile(regs.data(), c.lba, c.ext48);
    EXPECT_EQ(regs, c.regs);
    EXPECT_EQ(taskfileToLba(regs.data()), c.read_back);
}

INSTANTIATE_TEST_SUITE_P(Cases, AddressPacking, ::testing::ValuesIn(pack_cases), CaseName());

struct ReadCase {
    const char* what;
    Bytes regs;
    u64 lba;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.what; }

const ReadCase read_cases[] = {
    // As READ NATIVE MAX ADDRESS returns it: the device register's high bits are not address.
    {"28-bit: only the device byte's low nibble", Hex("2F 99 22 99 A5 99 4B 00 00"), 0x0BA5222Full},
    {"48-bit: the device byte is ignored", Hex("2F 0B 22 01 A5 02 4F 01 00"), 0x02010BA5222Full},
};

class AddressReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AddressReading, UsesTheFlagOfByte7)
{
    EXPECT_EQ(taskfileToLba(GetParam().regs.data()), GetParam().lba);
}

INSTANTIATE_TEST_SUITE_P(Cases, AddressReading, ::testing::ValuesIn(read_cases), CaseName());

// ---------------------------------------------------------------- tables

TEST(VendorToolTables, MaxAddressModelsInOrder)
{
    const struct {
        const char* name;
        bool ext48;
    } want[] = {
        {"QUMA-K4410TR0050", false},
        {"QUMA-K4410TR0100", false},
        {"QUMA-K4410TN0100", false},
        {"QUMA-K4410TN0032", false},
        {"QUMA-K4410TN0200", true},
    };
    ASSERT_EQ(kMaxAddressModelRows, sizeof(want) / sizeof(want[0]));
    for (u32 i = 0; i < kMaxAddressModelRows; i++) {
        EXPECT_STREQ(max_address_models[i].name, want[i].name) << i;
        EXPECT_EQ(max_address_models[i].ext48, want[i].ext48) << i;
    }
}

TEST(VendorToolTables, ModelIsSearchedForEachName)
{
    const struct {
        const char* model;
        bool known;
        bool ext48;
    } cases[] = {
        {"QUMA-K4410TN0200", true, true},
        {"  QUMA-K4410TR0050 rev B", true, false},  // contained, not only a prefix
        {"QUMA-K4410TN0032", true, false},
        {"QUMA-K4410TN0400", false, false},
        {"QUMA-K6410TN0100", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        bool ext48 = !c.ext48;
        EXPECT_EQ(maxAddressWidth(c.model, &ext48), c.known) << c.model;
        if (c.known) {
            EXPECT_EQ(ext48, c.ext48) << c.model;
        }
    }
}

TEST(VendorToolTables, OnOffSwitchesInTypeOrder)
{
    ASSERT_EQ(kVendorSwitchRows, 2u);
    EXPECT_EQ(vendor_switch_list[0].type, static_cast<u32>(TYPE_8BH_READ_TABLE_SWITCH));
    EXPECT_STREQ(vendor_switch_list[0].question, "%sSwitch Read Table On/Off : [0=Off, 1=On, 2=Quit]");
    EXPECT_STREQ(vendor_switch_list[0].done, "%sRead Table has switched to %s");
    EXPECT_EQ(vendor_switch_list[1].type, static_cast<u32>(TYPE_8BH_64CE_ON_OFF_SWITCH));
    EXPECT_STREQ(vendor_switch_list[1].question, "%sSwitch 64 CE On/Off : [0=Off, 1=On, 2=Quit]");
    EXPECT_STREQ(vendor_switch_list[1].done, "%s64 CE has switched to %s");
}

// ---------------------------------------------------------------- magnify figures

const u64 kU64Max = std::numeric_limits<u64>::max();

struct MagnifyCase {
    const char* what;
    u64 write_pages;
    u64 moved_pages;
    float root;
    const char* coefficient;  // as "%1Lf" prints it
    u64 disk_write_pages;
};

void PrintTo(const MagnifyCase& c, std::ostream* os) { *os << c.what; }

const MagnifyCase magnify_cases[] = {
    {"root 100 over 100 pages", 100, 10000, 100.0f, "2.000000", 200},
    // 2^24 + 1 is 2^24 in single precision: its root is 4096 exactly (not 4096.000122).
    {"the root of M in single precision", 1, 16777217, 4096.0f, "4097.000000", 4097},
    {"W in single precision before the sum", 16777217, 0, 0.0f, "1.000000", 16777216},
    {"root of 2 over 3", 3, 2, 1.41421354f, "1.471405", 4},
    {"a sum past 2^64 saturates", kU64Max, kU64Max, 4294967296.0f, "1.000000", kU64Max},
};

class MagnifyFiguresTest : public ::testing::TestWithParam<MagnifyCase> {};

TEST_P(MagnifyFiguresTest, SinglePrecisionRootAndSum)
{
    const MagnifyCase& c = GetParam();
    MagnifyFigures f;
    ASSERT_TRUE(computeMagnify(c.write_pages, c.moved_pages, &f));
    EXPECT_EQ(f.root, c.root);
    char text[64];
    snprintf(text, sizeof(text), "%1Lf", f.coefficient);
    EXPECT_STREQ(text, c.coefficient);
    EXPECT_EQ(f.disk_write_pages, c.disk_write_pages);
}

INSTANTIATE_TEST_SUITE_P(Cases, MagnifyFiguresTest, ::testing::ValuesIn(magnify_cases), CaseName());

TEST(MagnifyFigures, NoWrittenPageHasNoCoefficient)
{
    MagnifyFigures f;
    EXPECT_FALSE(computeMagnify(0, 10000, &f));
}

// A flag block table with the four counters at their offsets (344, 352, 360, 368) and every
// other byte set, so that a counter read from the wrong place shows.
R2FlagTable FlagTable(u64 read, u64 write, u64 gc, u64 wl)
{
    Bytes raw(512, 0xA5);
    const u64 counters[4] = {read, write, gc, wl};
    memcpy(raw.data() + 344, counters, sizeof(counters));
    R2FlagTable t;
    EXPECT_TRUE(LoadR2FlagTable(t, raw.data(), static_cast<u32>(raw.size())));
    return t;
}

TEST(MagnifyReport, FourCountersAndTheCoefficient)
{
    // The moved pages are a 64-bit sum that wraps: (2^64 - 1) + 10001 = 10000.
    EXPECT_EQ(formatMagnifyReport(FlagTable(0x123456789Aull, 100, kU64Max, 10001), "    "),
              "    host read pages     :  0x      123456789A\n"
              "    host write pages    :  0x              64\n"
              "    disk read pages     :  0x      123456789A\n"
              "    disk write pages    :  0x              C8\n"
              "    magnify coefficient :  2.000000\n");
}

TEST(MagnifyReport, NoWrittenPageGivesOneLine)
{
    EXPECT_EQ(formatMagnifyReport(FlagTable(5, 0, 10000, 0), "    "), "    test time is not long enough\n");
}

// ---------------------------------------------------------------- tools on an emulated drive

const char* const kNode = "/dev/sdt";

std::string ReadText(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class ToolOnDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        output_flags.save_log = 0;
        char tmpl[] = "/tmp/zv_tools_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        node_ = kNode;
        dev_name = &node_[0];
        fw_file_name = nullptr;
        freeDataBuf();
    }

    void TearDown() override
    {
        EXPECT_EQ(zvemu::OpenDescriptors(), 0);
        zvemu::Reset();
        dev_name = nullptr;
        fw_file_name = nullptr;
        freeDataBuf();
        FeedStdin("");
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    // The K4410 drive's vendor answers, then the extra ones (which win over them).
    void LoadDrive(const std::string& model, u32 smart_ver, const std::string& extra = "")
    {
        zvemu::Reset();
        const std::string dir = std::string(ZV_TEST_DATA_DIR) + "/ata";
        const std::string text =
            std::string("drive ") + kNode + " sat\n" + ReadText(dir + "/vendor_answers.txt") + extra;
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, dir, &err)) << err;
        cur_disk = DiskInfo();
        cur_disk.device_name = kNode;
        cur_disk.link_type = LINK_ATA_BY_SCSI;
        cur_disk.model = model;
        cur_disk.smart_ver = smart_ver;
    }

    // Runs the tool with the console input and returns what it printed.
    std::string RunTool(void (*tool)(), const std::string& input)
    {
        FeedStdin(input);
        ::testing::internal::CaptureStdout();
        tool();
        return ::testing::internal::GetCapturedStdout();
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void WriteFile(const std::string& name, const Bytes& data) const
    {
        std::ofstream f(Path(name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }

    std::string dir_;
    std::string node_;
    SettingsGuard settings_;
};

std::vector<std::string> SentRegs()
{
    std::vector<std::string> out;
    for (const atatest::SentAta& s : atatest::SentAtaCommands(zvemu::Trace())) {
        out.push_back(atatest::RegsText(s.regs));
    }
    return out;
}

// ---- switches

const std::string kCeAsk = "    Switch 64 CE On/Off : [0=Off, 1=On, 2=Quit]";
const std::string kTableAsk = "    Switch Read Table On/Off : [0=Off, 1=On, 2=Quit]";
const std::string kAheadAsk = "    input ahead : (0-255) ";
const std::string kThresAsk = "    input thres : (0-255) ";

struct SwitchCase {
    const char* what;
    void (*tool)();
    const char* input;
    const char* extra;  // drive answers added
    std::string out;
    std::vector<std::string> sent;  // current registers
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.what; }

const SwitchCase switch_cases[] = {
    {"64 CE on: the answer in the count, no newline after the line", switch64Ce, "1\n", "",
     kCeAsk + "    64 CE has switched to on", {"19 01 00 00 00 40 8B"}},
    {"64 CE off", switch64Ce, "0\n", "", kCeAsk + "    64 CE has switched to off", {"19 00 00 00 00 40 8B"}},
    {"64 CE quit sends nothing", switch64Ce, "2\n", "", kCeAsk, {}},
    {"64 CE end of input sends nothing", switch64Ce, "", "", kCeAsk + kCeAsk, {}},
    // Piped, an answer asked again ends the input there: the next line is not taken for it.
    {"64 CE: 3 piped ends the input", switch64Ce, "3\n1\n", "", kCeAsk + kCeAsk + kCeAsk, {}},
    {"64 CE refused by the drive", switch64Ce, "1\n", "answer ata 8B fea=19\n  regs status=51 err=04\n",
     kCeAsk + "    Query data length failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], System Err "
              "Code [00000000h]\n",
     {"19 01 00 00 00 40 8B"}},
    {"read table on", switchReadTable, "1\n", "", kTableAsk + "    Read Table has switched to on",
     {"18 01 00 00 00 40 8B"}},
    {"read table quit sends nothing", switchReadTable, "2\n", "", kTableAsk, {}},
    {"dynamic optimize: ahead in the count, thres in LBA 7:0", dynamicOptimize, "7\n200\n", "",
     kAheadAsk + kThresAsk + "    Dynamic Optmize successfully\n", {"17 07 C8 00 00 40 8B"}},
    {"dynamic optimize: 256 piped ends the input", dynamicOptimize, "256\n0\n255\n", "",
     kAheadAsk + kAheadAsk + kAheadAsk, {}},
    {"dynamic optimize: end of input at thres sends nothing", dynamicOptimize, "5\n", "",
     kAheadAsk + kThresAsk + kThresAsk, {}},
};

class Switches : public ToolOnDrive, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(Switches, AskThenSend)
{
    const SwitchCase& c = GetParam();
    LoadDrive("QUMA-K4410TN0100", VER_K4410, c.extra);
    EXPECT_EQ(RunTool(c.tool, c.input), c.out);
    EXPECT_EQ(SentRegs(), c.sent);
    EXPECT_EQ(data_buf, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, Switches, ::testing::ValuesIn(switch_cases), CaseName());

TEST_F(ToolOnDrive, SwitchWithoutDeviceLetsTheOperatorChooseOne)
{
    zvemu::Reset();
    std::string err;
    ASSERT_TRUE(zvemu::LoadFixture(std::string(ZV_TEST_DATA_DIR) + "/vendor_tools/sata_tools.txt", &err)) << err;
    dev_name = nullptr;
    cur_disk = DiskInfo();
    const std::string out = RunTool(switch64Ce, "1\n1\n");
    EXPECT_EQ(out, "     Index  Model                     Serial              Firmware DeviceName      \n"
                   "       1   QUMA-K4410TN0100          K4410TN0100A13000472 10731    /dev/sda            \n"
                   "    Select a disk: [ Index 1-1 or q or 0 to quit] " +
                       kCeAsk + "    64 CE has switched to on");
    ASSERT_NE(dev_name, nullptr);
    EXPECT_STREQ(dev_name, "/dev/sda");
    std::vector<atatest::SentAta> sent = atatest::SentAtaCommands(zvemu::Requests("/dev/sda"));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(atatest::RegsText(sent.back().regs), "19 01 00 00 00 40 8B");
}

// ---- every way out of the other tools releases the response buffer

const char kFlagTable[] =
    "answer ata 89 fea=0D\n  size 512\n  le 0 4 1\n"
    "answer ata 89 fea=8D\n  size 512\n  le 352 8 100\n  le 360 8 10000\n  offset-from lba 512\n";
const char kRefusedRead[] = "answer ata F8\n  regs status=51 err=04\n";
const char kRefusedRegister[] = "answer ata 8A fea=00\n  regs status=51 err=04\n";

struct EndCase {
    const char* what;
    void (*tool)();
    const char* model;
    const char* input;
    const char* extra;
    size_t sent;  // ATA commands the drive received
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.what; }

const EndCase end_cases[] = {
    {"max address: not a QUMA model", getSetMaxAddress, "QUMA-K6410TN0100", "0\n", "", 0},
    {"max address: quit", getSetMaxAddress, "QUMA-K4410TN0100", "2\n", "", 0},
    {"max address: end of input at the volatile question", getSetMaxAddress, "QUMA-K4410TN0100", "1\n5\n", "", 0},
    {"max address: query", getSetMaxAddress, "QUMA-K4410TN0100", "0\n", "", 1},
    {"max address: the read fails", getSetMaxAddress, "QUMA-K4410TN0100", "0\n", kRefusedRead, 1},
    {"max address: set", getSetMaxAddress, "QUMA-K4410TN0100", "1\n0\n0\n", "", 2},
    {"magnify coefficient", calcMagnifyCoefficient, "QUMA-K4410TN0100", "", kFlagTable, 2},
    {"eye chart: quit", tuneEyeChart, "QUMA-K4410TN0100", "2\n", "", 0},
    {"eye chart: query", tuneEyeChart, "QUMA-K4410TN0100", "0\n", "", 2},
    {"eye chart: the read fails", tuneEyeChart, "QUMA-K4410TN0100", "0\n", kRefusedRegister, 1},
    {"eye chart: end of input at the permanence question", tuneEyeChart, "QUMA-K4410TN0100", "1\n1\n2\n", "", 0},
};

class ToolEnd : public ToolOnDrive, public ::testing::WithParamInterface<EndCase> {};

TEST_P(ToolEnd, FreesTheResponseBuffer)
{
    const EndCase& c = GetParam();
    LoadDrive(c.model, VER_K4410, c.extra);
    // A buffer still held from an earlier command is released too.
    allocDataBuf(512);
    ASSERT_NE(data_buf, nullptr);
    RunTool(c.tool, c.input);
    EXPECT_EQ(SentRegs().size(), c.sent);
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(data_len, 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolEnd, ::testing::ValuesIn(end_cases), CaseName());

// ---- wear-level table

Bytes Table(size_t len)
{
    Bytes b(len);
    for (size_t i = 0; i < len; i++) {
        b[i] = static_cast<u8>(i / 512 + 1 + i % 7);
    }
    return b;
}

// "[C0h] Disk Basic info" of a drive with the given channels, CEs and blocks.
std::string BasicInfo(u32 channel, u32 ce, u32 block)
{
    char text[256];
    snprintf(text, sizeof(text),
             "answer scsi C0 fn=06\n  size 28\n  le 0 4 %u\n  le 4 4 %u\n  le 8 4 %u\n  le 12 4 64\n"
             "  le 16 4 8192\nanswer scsi C1 fn=0A\n",
             channel, ce, block);
    return text;
}

TEST_F(ToolOnDrive, WearLevelTableOnK4410GoesSectorBySector)
{
    LoadDrive("QUMA-K4410TN0100", VER_K4410);
    const Bytes table = Table(1024);
    WriteFile("wl.bin", table);
    // No file given: asked for.
    const std::string out = RunTool(downloadWearLevelTable, Path("wl.bin") + "\n");
    EXPECT_EQ(out, "  input wear level table file : "
                   "  Write Wear Level Table " + Path("wl.bin") + " to Disk /dev/sdt successfully\n");
    std::vector<atatest::SentAta> sent = atatest::SentAtaCommands(zvemu::Trace());
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(atatest::RegsText(sent[0].regs), "F7 01 00 00 00 40 8C");
    EXPECT_EQ(atatest::RegsText(sent[1].regs), "F7 01 01 00 80 40 8C");
    EXPECT_EQ(sent[0].data_out, Bytes(table.begin(), table.begin() + 512));
    EXPECT_EQ(sent[1].data_out, Bytes(table.begin() + 512, table.end()));
    EXPECT_EQ(fw_file_name, nullptr);
    EXPECT_EQ(data_buf, nullptr);
}

TEST_F(ToolOnDrive, WearLevelTableOnOtherFamilyIsCheckedAgainstTheGeometry)
{
    LoadDrive("QUMA-K6410TN0100", VER_K6410, BasicInfo(2, 2, 256));
    const Bytes table = Table(1024);
    WriteFile("wl.bin", table);
    std::string file = Path("wl.bin");
    fw_file_name = &file[0];
    EXPECT_EQ(RunTool(downloadWearLevelTable, ""),
              "  Write Wear Level Table " + file + " to Disk /dev/sdt successfully\n");
    EXPECT_EQ(disk_geometry.channel, 2u);
    EXPECT_EQ(disk_geometry.ce, 2u);
    EXPECT_EQ(disk_geometry.block, 256u);
    EXPECT_EQ(disk_geometry.page_size, 8192u);
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests(kNode);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb, Hex("C0 06 00 1C 00 00 00 00 00 00"));
    EXPECT_EQ(sent[1].cdb[0], 0xC1);
    EXPECT_EQ(sent[1].cdb[1], 0x0A);
    EXPECT_EQ(sent[1].data, table);
    EXPECT_EQ(fw_file_name, nullptr);
    EXPECT_EQ(data_buf, nullptr);
}

// What stands at the table's name besides a regular file.
enum class Plant { kNothingElse, kFifo, kLinkToZero, kDirectory };

struct WearRefusal {
    const char* what;
    const char* model;
    u32 smart_ver;
    std::string extra;
    long file_len;         // -1: no regular file
    const char* input;     // console, when no file is given
    const char* line;      // "%s" is the file
    std::vector<u8> sent;  // first CDB byte of each request
    Plant plant = Plant::kNothingElse;
};

const char kNotOpened[] = "  Query file %s 's length failed, User Err Code [00000017h:File can't be opened]\n";

void PrintTo(const WearRefusal& c, std::ostream* os) { *os << c.what; }

const WearRefusal wear_refusals[] = {
    {"length not a multiple of 512", "QUMA-K4410TN0100", VER_K4410, "", 1000, nullptr,
     "  file %s 's length is illegal, 1000 is not multiple of 512 Bytes\n", {}},
    {"empty file", "QUMA-K4410TN0100", VER_K4410, "", 0, nullptr,
     "  file %s 's length is illegal, 0 is not multiple of 512 Bytes\n", {}},
    {"missing file", "QUMA-K4410TN0100", VER_K4410, "", -1, nullptr,
     "  Query file %s 's length failed, User Err Code [00000017h:File can't be opened]\n", {}},
    {"end of input at the file prompt", "QUMA-K4410TN0100", VER_K4410, "", -1, "",
     "  input wear level table file : ", {}},
    {"a table shorter than channels x CEs x blocks", "QUMA-K6410TN0100", VER_K6410, BasicInfo(2, 2, 256), 512,
     nullptr, "  Write Wear Level Table Len is not Matching to Disk Type!\n", {0xC0}},
    // 65536 x 65536 x 1 is 2^32: a product kept in 32 bits would be 0 and pass any file.
    {"a geometry whose product passes 32 bits", "QUMA-K6410TN0100", VER_K6410, BasicInfo(65536, 65536, 1), 1024,
     nullptr, "  Write Wear Level Table Len is not Matching to Disk Type!\n", {0xC0}},
    // 2^31 x 2^31 x 4 is 2^64, which is 0 in 64 bits.
    {"a geometry whose product passes 64 bits", "QUMA-K6410TN0100", VER_K6410,
     BasicInfo(0x80000000u, 0x80000000u, 4), 512, nullptr, "  Write Wear Level Table Len is not Matching to Disk Type!\n", {0xC0}},
    {"the geometry read fails", "QUMA-K6410TN0100", VER_K6410,
     "answer scsi C0 fn=06\n  sense-fixed 5 24 00\n", 1024, nullptr,
     "  Write Wear Level Table to Disk , User Err Code [0000000Bh:Sense key : BAD FIELD], "
     "System Err Code [00000000h]\n",
     {0xC0}},
    // Blocks and the rest never arrive: the table is not checked against zeros for them.
    {"the geometry answer ends after 8 of its 28 bytes", "QUMA-K6410TN0100", VER_K6410,
     "answer scsi C0 fn=06\n  le 0 4 1\n  le 4 4 1\n  le 8 4 1\n  size 8\nanswer scsi C1 fn=0A\n", 1024, nullptr,
     "  Write Wear Level Table to Disk , User Err Code [00000004h:Parameter is illegal], "
     "System Err Code [00000000h]\n",
     {0xC0}},
    {"the drive refuses the table", "QUMA-K4410TN0100", VER_K4410, "answer ata 8C fea=F7\n  regs status=51 err=04\n",
     512, nullptr,
     "  Write Wear Level Table %s to Disk /dev/sdt failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], "
     "System Err Code [00000000h]\n",
     {0x85}},
    // Only a regular file is read: a FIFO would block, a device never end.
    {"a FIFO", "QUMA-K4410TN0100", VER_K4410, "", -1, nullptr, kNotOpened, {}, Plant::kFifo},
    {"a link to /dev/zero", "QUMA-K4410TN0100", VER_K4410, "", -1, nullptr, kNotOpened, {}, Plant::kLinkToZero},
    {"a directory", "QUMA-K6410TN0100", VER_K6410, BasicInfo(2, 2, 256), -1, nullptr, kNotOpened, {},
     Plant::kDirectory},
};

class WearLevelRefusal : public ToolOnDrive, public ::testing::WithParamInterface<WearRefusal> {};

TEST_P(WearLevelRefusal, ReportsAndSendsNoTable)
{
    const WearRefusal& c = GetParam();
    LoadDrive(c.model, c.smart_ver, c.extra);
    std::string file = Path("wl.bin");
    if (c.file_len >= 0) {
        WriteFile("wl.bin", Table(static_cast<size_t>(c.file_len)));
    }
    switch (c.plant) {
    case Plant::kNothingElse:
        break;
    case Plant::kFifo:
        ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
        break;
    case Plant::kLinkToZero:
        ASSERT_EQ(symlink("/dev/zero", file.c_str()), 0);
        break;
    case Plant::kDirectory:
        ASSERT_EQ(mkdir(file.c_str(), 0755), 0);
        break;
    }
    // A read that blocks ends the test run instead of stalling it.
    alarm(30);
    if (c.input == nullptr) {
        fw_file_name = &file[0];
    }
    std::string want = c.line;
    const size_t at = want.find("%s");
    if (at != std::string::npos) {
        want.replace(at, 2, file);
    }
    EXPECT_EQ(RunTool(downloadWearLevelTable, c.input != nullptr ? c.input : ""), want);
    std::vector<u8> sent;
    for (const zvemu::TraceEntry& e : zvemu::Requests(kNode)) {
        sent.push_back(e.cdb.empty() ? 0 : e.cdb[0]);
    }
    alarm(0);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(fw_file_name, nullptr);
    EXPECT_EQ(data_buf, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, WearLevelRefusal, ::testing::ValuesIn(wear_refusals), CaseName());

} // namespace
