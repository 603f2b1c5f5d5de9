// The command runner end to end: the real binary on emulated SATA and SAS drives, its
// screen output, its -b/-x files and the requests the drives received.
//
// Drives (tests/data/demo plus the additions in tests/data/e2e):
//   /dev/sda  QUMA-K4410TN0100 behind SAT (family K4410)
//   /dev/sdb  QUMA-K6470BN0400 SAS drive (no SATA family)
//   /dev/sdc  QUMA-K6410TN0100 behind SAT (family K6410, answers decoded as SCSI types)
#include "e2e_util.h"

#include <dirent.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

std::string DataFile(const std::string& rel)
{
    std::ifstream f(std::string(ZV_TEST_DATA_DIR) + "/" + rel, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string Demo(const char* name) { return std::string(ZV_TEST_DATA_DIR) + "/demo/" + name; }
std::string Extra(const char* name) { return std::string(ZV_TEST_DATA_DIR) + "/e2e/" + name; }

// The header block of the SMART pair, as the host identity below makes it.
const char kSataHeader[] =
    "    Model      : QUMA-K4410TN0100\n"
    "    Serial     : K4410TN0100A13000472\n"
    "    Firmware   : 10731\n"  // "K4A10731" cut to its characters 3 to 9 for the K4410 family
    "    Capacity   : 100GB\n"  // (195371568 - 21168) / 1953504
    "    Host Name  : testhost\n"
    "    IP Address : 10.1.2.3\n"
    "    IP Address : 192.168.7.1\n"
    "\n";

// Both goldens were written from the decoders' layouts and the demo drive's bytes.
const std::string& SmartTable() { static const std::string t = DataFile("e2e/sata_k4410_smart_table.out"); return t; }
const std::string& IdentifyText() { static const std::string t = DataFile("e2e/sata_k4410_identify.out"); return t; }

// A 512-byte sector with bytes put at offsets, the last byte making the sector sum to 0.
Bytes ChecksummedSector(const std::vector<std::pair<size_t, const char*>>& puts)
{
    Bytes s(512, 0);
    for (const auto& p : puts) {
        Bytes b = Hex(p.second);
        std::copy(b.begin(), b.end(), s.begin() + p.first);
    }
    unsigned sum = 0;
    for (size_t i = 0; i < 511; i++) {
        sum += s[i];
    }
    s[511] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    return s;
}

// The demo SATA drive's SMART READ DATA and SMART READ THRESHOLDS, one after the other.
Bytes SataSmartPair()
{
    Bytes data = ChecksummedSector({
        {0, "10 00"},
        {2, "05 33 00 64 64 00 00 00 00 00 00 00"},   {14, "09 32 00 64 64 48 07 00 00 00 00 00"},
        {26, "0C 32 00 64 64 D5 00 00 00 00 00 00"},  {38, "0D 32 00 64 64 00 00 00 00 00 00 00"},
        {50, "B1 13 00 61 61 1F 00 00 00 00 00 00"},  {62, "C2 22 00 43 34 21 00 30 00 00 00 00"},
        {74, "C3 1A 00 64 64 00 00 00 00 00 00 00"},  {86, "C5 12 00 64 64 00 00 00 00 00 00 00"},
        {98, "C6 10 00 64 64 00 00 00 00 00 00 00"},  {110, "C7 3E 00 64 64 00 00 00 00 00 00 00"},
        {122, "E8 33 00 64 64 0C 00 00 00 00 00 00"}, {134, "E9 32 00 64 64 67 BC 00 00 00 00 00"},
        {146, "EA 32 00 64 64 00 00 00 00 00 00 00"}, {158, "EB 32 00 64 64 00 00 00 00 00 00 00"},
        {170, "EC 32 00 64 64 00 00 00 00 00 00 00"}, {182, "F1 32 00 64 64 00 00 00 00 00 00 00"},
        {194, "F2 32 00 64 64 01 00 00 00 00 00 00"}, {206, "F5 32 00 64 64 04 00 00 00 00 00 00"},
        {218, "F7 22 00 64 64 30 00 00 00 00 00 00"}, {230, "FB 33 00 61 61 03 00 00 00 00 00 00"},
        {362, "00 00 00 00 00 7B 03 00 01 00 02 0A"},
    });
    Bytes thres = ChecksummedSector({
        {0, "10 00"},  {2, "05 0A"},   {14, "09 00"},  {26, "0C 00"},  {38, "0D 00"},  {50, "B1 05"},
        {62, "C2 00"}, {74, "C3 00"},  {86, "C5 00"},  {98, "C6 00"},  {110, "C7 00"}, {122, "E8 0A"},
        {134, "E9 00"}, {146, "EA 00"}, {158, "EB 00"}, {170, "EC 00"}, {182, "F1 00"}, {194, "F2 00"},
        {206, "F5 00"}, {218, "F7 00"}, {230, "FB 0A"},
    });
    data.insert(data.end(), thres.begin(), thres.end());
    return data;
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string Args(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args) {
        s += (s.empty() ? "" : " ") + (a.size() <= 40 ? a : a.substr(0, 8) + "...(" + std::to_string(a.size()) + ")");
    }
    return s;
}

class RunnerE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        env_["ZV_EMU_HOST_NAME"] = "testhost";
        // The loopback and the interface that is down must not reach the header.
        env_["ZV_EMU_HOST_IFS"] = "lo:127.0.0.1:up,loopback eth0:10.1.2.3:up eth1:10.9.9.9 eth2:192.168.7.1:up";
        Drives({});
    }

    // The three drives, then the fixtures that override their answers.
    void Drives(const std::vector<std::string>& overrides)
    {
        std::string config = Demo("sata_k4410.txt") + ":" + Extra("sata_extra.txt") + ":" + Demo("sas_k6470.txt") +
                             ":" + Demo("sas_k6470_scsi.txt") + ":" + Extra("sas_extra.txt") + ":" +
                             Extra("sata_k6410.txt");
        for (const std::string& o : overrides) {
            config += ":" + Extra(o.c_str());
        }
        env_["ZV_EMU_CONFIG"] = config;
    }

    // The requests the node received after its classification (INQUIRY, then IDENTIFY
    // through the pass-through or READ CAPACITY).
    std::vector<TraceEntry> Commands(const std::string& node)
    {
        std::vector<TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", node);
        if (sent.size() < 2 || sent[0].cdb.empty() || sent[0].cdb[0] != 0x12) {
            ADD_FAILURE() << "no classification on " << node << ":\n" << ReadFile("trace.txt");
            return {};
        }
        return std::vector<TraceEntry>(sent.begin() + 2, sent.end());
    }

    static std::vector<Bytes> Cdbs(const std::vector<TraceEntry>& sent)
    {
        std::vector<Bytes> v;
        for (const TraceEntry& e : sent) {
            v.push_back(e.cdb);
        }
        return v;
    }

    // Every file the run left in the working directory, the trace and the command log aside.
    std::vector<std::string> OutputFiles() const
    {
        std::vector<std::string> files;
        ListFiles("", &files);
        std::sort(files.begin(), files.end());
        return files;
    }

private:
    void ListFiles(const std::string& rel, std::vector<std::string>* files) const
    {
        DIR* d = opendir(Path(rel).c_str());
        if (d == nullptr) {
            return;
        }
        while (struct dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || name == "trace.txt" || name == "cmd_resp_log.txt") {
                continue;
            }
            std::string sub = rel.empty() ? name : rel + "/" + name;
            if (IsDir(sub)) {
                ListFiles(sub, files);
            } else {
                files->push_back(sub);
            }
        }
        closedir(d);
    }
};

const Bytes kSmartReadData = Hex("85 08 2E 00 D0 00 01 00 00 00 4F 00 C2 40 B0 00");
const Bytes kSmartReadThresholds = Hex("85 08 2E 00 D1 00 01 00 00 00 4F 00 C2 40 B0 00");

// ---------------------------------------------------------------- the SMART pair on SATA

TEST_F(RunnerE2e, SmartValueOnSataShowsHeaderAndTable)
{
    RunResult r = Run({"-s", "value", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n" + std::string(kSataHeader) + SmartTable());
    EXPECT_EQ(Cdbs(Commands("/dev/sda")), (std::vector<Bytes>{kSmartReadData, kSmartReadThresholds}));
    EXPECT_EQ(OutputFiles(), std::vector<std::string>{});
}

TEST_F(RunnerE2e, SmartValueWithFilesWritesRawPairAndHeaderText)
{
    RunResult r = Run({"-s", "value", "-b", "a.bin", "-x", "a.txt", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    // -x turns the screen copy off.
    EXPECT_EQ(r.out, "    Original binary data is saved to a.bin\n"
                     "    Parsed text data is saved to a.txt\n");
    EXPECT_EQ(ReadFile("a.bin"), Text(SataSmartPair()));
    EXPECT_EQ(ReadFile("a.txt"), std::string(kSataHeader) + SmartTable());
}

struct HeaderCase {
    const char* ifs;
    const char* ip_lines;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << "ifs=\"" << c.ifs << "\""; }

class RunnerHeader : public RunnerE2e, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(RunnerHeader, OneLinePerInterfaceUpAndNotLoopback)
{
    env_["ZV_EMU_HOST_IFS"] = GetParam().ifs;
    RunResult r = Run({"-s", "value", "/dev/sda"});
    std::string header = kSataHeader;
    header = header.substr(0, header.find("    IP Address")) + GetParam().ip_lines + "\n";
    EXPECT_EQ(r.out, "\n" + header + SmartTable());
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, RunnerHeader,
    ::testing::Values(HeaderCase{"", ""}, HeaderCase{"lo:127.0.0.1:up,loopback eth0:10.9.9.9", ""},
                      HeaderCase{"eth1:172.16.0.9:up eth0:10.0.0.1:up",
                                 "    IP Address : 172.16.0.9\n    IP Address : 10.0.0.1\n"}),
    CaseName());

// ---------------------------------------------------------------- the K6410 family

// The pair is read as on any SATA drive, then decoded as the SAS vendor SMART value page
// (type 83): SCSI attribute names, no header block.
TEST_F(RunnerE2e, SmartValueOnK6410DecodesAsScsiValuePage)
{
    RunResult r = Run({"-s", "value", "-b", "a.bin", "/dev/sdc"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data is saved to a.bin\n"
                     "\n"
                     "    ( ID )Attribute Name                                Cur\n"
                     // "Power-On Minutes" is stored padded to 29, one more than the column
                     "    (0x09)Power-On Minutes                            123456    \n"
                     "    (0xC2)Disk Temperature                               35    \n"
                     "    (0xFB)Disk Life Expend                       4294967298    \n");
    EXPECT_EQ(Cdbs(Commands("/dev/sdc")), (std::vector<Bytes>{kSmartReadData, kSmartReadThresholds}));
    std::string raw = ReadFile("a.bin");
    ASSERT_EQ(raw.size(), 1024u);
    EXPECT_EQ(raw.substr(0, 4), Text(Hex("35 00 00 24")));
    EXPECT_EQ(raw.substr(512, 4), Text(Hex("34 00 00 08")));
}

// ---------------------------------------------------------------- failures

struct FailureCase {
    const char* fixture;
    std::vector<std::string> args;
    const char* out;
    std::vector<Bytes> sent;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.fixture << ": " << Args(c.args); }

class RunnerFailure : public RunnerE2e, public ::testing::WithParamInterface<FailureCase> {};

// A failed read or length query prints its message and writes neither file.
TEST_P(RunnerFailure, MessageAndNoFiles)
{
    const FailureCase& c = GetParam();
    Drives({c.fixture});
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Cdbs(Commands("/dev/sda")), c.sent);
    EXPECT_EQ(OutputFiles(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerFailure,
    ::testing::Values(
        // ERR in the returned status: CHECK CONDITION, ABORTED COMMAND; the thresholds are not asked
        FailureCase{"sata_smart_read_fails.txt",
                    {"-s", "value", "-b", "a.bin", "-x", "a.txt", "/dev/sda"},
                    "    Query SMART Value/Threshold failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], "
                    "System Err Code [00000000h]\n",
                    {kSmartReadData}},
        // the command completes, but the error register is not 0: error x 256 + status
        FailureCase{"sata_thres_regs_bad.txt",
                    {"-s", "value", "-b", "a.bin", "-x", "a.txt", "/dev/sda"},
                    "    Query SMART Value/Threshold failed, User Err Code [00000008h:ATA Status Register or Error "
                    "Registor return false], System Err Code [00000450h]\n",
                    {kSmartReadData, kSmartReadThresholds}},
        // the vendor log's length query (89h, features 00h) is aborted: nothing is read
        FailureCase{"sata_log_len_fails.txt",
                    {"-t", "log", "-b", "log.bin", "-x", "a.txt", "/dev/sda"},
                    "    Query data length failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], "
                    "System Err Code [00000000h]\n",
                    {Hex("85 08 2E 00 00 00 01 00 00 00 00 00 00 40 89 00")}}),
    CaseName());

// ---------------------------------------------------------------- output files

TEST_F(RunnerE2e, IdentifyOnSataShowsDecodedText)
{
    RunResult r = Run({"-I", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n" + IdentifyText());
    EXPECT_EQ(Cdbs(Commands("/dev/sda")), (std::vector<Bytes>{Hex("85 08 2E 00 00 00 01 00 00 00 00 00 00 40 EC 00")}));
}

TEST_F(RunnerE2e, IdentifyWritesRawAndText)
{
    // An argument beginning with "megaraid" lifts the argument-count limit of -I.
    RunResult r = Run({"-I", "-b", "a.bin", "-x", "a.txt", "megaraid", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data is saved to a.bin\n"
                     "    Parsed text data is saved to a.txt\n");
    EXPECT_EQ(ReadFile("a.txt"), IdentifyText());  // no header in front of IDENTIFY data
    std::string raw = ReadFile("a.bin");
    ASSERT_EQ(raw.size(), 512u);
    EXPECT_EQ(raw.substr(54, 16), "UQAMK-4401NT1000");  // model, byte pairs swapped
    EXPECT_EQ(raw.substr(510), Text(Hex("A5 5E")));
}

// A raw file that cannot be opened is reported, and the text is still shown.
TEST_F(RunnerE2e, UnwritableRawFileIsReportedAndTextStillShown)
{
    RunResult r = Run({"-s", "value", "-b", "no/a.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    Original binary data can't be saved to no/a.bin, User Err Coode [00000017h:File can't be opened]\n"
                     "\n" + std::string(kSataHeader) + SmartTable());
    EXPECT_FALSE(Exists("no"));
}

TEST_F(RunnerE2e, CommandWithoutDataWritesNoFile)
{
    RunResult r = Run({"-s", "enable", "-b", "a.bin", "-x", "a.txt", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Cdbs(Commands("/dev/sda")), (std::vector<Bytes>{Hex("85 06 2C 00 D8 00 00 00 00 00 4F 00 C2 40 B0 00")}));
    EXPECT_EQ(OutputFiles(), std::vector<std::string>{});
}

struct VendorLogCase {
    std::vector<std::string> args;
    std::string first_line;
    const char* file;  // where the raw data lands, or null for nowhere
};

void PrintTo(const VendorLogCase& c, std::ostream* os) { *os << Args(c.args); }

class RunnerVendorLog : public RunnerE2e, public ::testing::WithParamInterface<VendorLogCase> {};

// The raw vendor log goes under "SSDlog/" when that directory exists.
TEST_P(RunnerVendorLog, RawDataPlace)
{
    const VendorLogCase& c = GetParam();
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, c.first_line.size()), c.first_line);
    std::vector<std::string> files;
    if (c.file != nullptr) {
        files.push_back(c.file);
        // Two sectors, each read at its own LBA into its own place.
        EXPECT_EQ(ReadFile(c.file), std::string(512, '\xA5') + std::string(512, '\x5A'));
    }
    EXPECT_EQ(OutputFiles(), files);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerVendorLog,
    ::testing::Values(
        VendorLogCase{{"-t", "log", "-b", "log.bin", "/dev/sda"},
                      "    Original binary data is saved to SSDlog/log.bin\n",
                      "SSDlog/log.bin"},
        // "multilog" as the second argument leaves the run without the directory
        VendorLogCase{{"-t", "multilog", "-b", "log.bin", "/dev/sda"},
                      "    Original binary data is saved to log.bin\n",
                      "log.bin"},
        // a name that fits the file-name buffer alone but not behind the prefix is refused, not cut
        VendorLogCase{{"-t", "log", "-b", std::string(4090, 'x'), "/dev/sda"},
                      "    Original binary data can't be saved: the file name under SSDlog/ is too long\n",
                      nullptr}),
    CaseName());

// ---------------------------------------------------------------- commands by link type

struct CommandCase {
    std::vector<std::string> args;
    const char* node;
    std::vector<Bytes> sent;
    const char* out;  // null where the answer goes to a decoder that is checked elsewhere
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << Args(c.args); }

class RunnerCommand : public RunnerE2e, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(RunnerCommand, SendsAdaptedTypeAndReports)
{
    const CommandCase& c = GetParam();
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Cdbs(Commands(c.node)), c.sent) << ReadFile("trace.txt");
    if (c.out != nullptr) {
        EXPECT_EQ(r.out, c.out);
    }
}

const Bytes kAtaFlush = Hex("85 06 2C 00 06 00 00 00 00 00 00 00 00 40 8D 00");
const Bytes kAtaFormatUnit = Hex("85 06 2C 00 20 00 00 00 00 00 00 00 00 00 8B 00");
const Bytes kAtaTrimFlag = Hex("85 06 2C 00 26 00 00 00 00 00 00 00 00 00 8B 00");
const Bytes kAtaWriteTime = Hex("85 0A 26 00 F6 00 01 00 00 00 00 00 00 40 8C 00");
const Bytes kScsiPowerOffProtect = Hex("C1 06 00 00 00 00 00 00 00 00");
const Bytes kScsiFormatUnit = Hex("04 00 00 00 00 00");
const Bytes kScsiSetTimestamp = Hex("A4 0F 00 00 00 00 00 00 00 0C 00 00");

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerCommand,
    ::testing::Values(
        // power-off protect: 88 on SAS, the flush 40 on SATA, which has no line of its own
        CommandCase{{"-o", "poweroff", "/dev/sdb"}, "/dev/sdb", {kScsiPowerOffProtect}, "\n\n    Set Power-Off Protect OK!"},
        CommandCase{{"-U", "flush", "/dev/sdb"}, "/dev/sdb", {kScsiPowerOffProtect}, "\n\n    Set Power-Off Protect OK!"},
        CommandCase{{"-o", "poweroff", "/dev/sda"}, "/dev/sda", {kAtaFlush}, ""},
        CommandCase{{"-U", "flush", "/dev/sda"}, "/dev/sda", {kAtaFlush}, ""},
        // format unit: 91 on SAS, 57 on SATA, whichever option names it
        CommandCase{{"-o", "trim", "/dev/sdb"}, "/dev/sdb", {kScsiFormatUnit}, "\n\n    Set Format Unit OK!"},
        CommandCase{{"-U", "trim", "/dev/sdb"}, "/dev/sdb", {kScsiFormatUnit}, "\n\n    Set Format Unit OK!"},
        CommandCase{{"-U", "trim", "/dev/sda"}, "/dev/sda", {kAtaFormatUnit}, "\n\n    Set Format Unit OK!"},
        CommandCase{{"-o", "trim", "/dev/sda"}, "/dev/sda", {kAtaFormatUnit}, "\n\n    Set Format Unit OK!"},
        CommandCase{{"-U", "trimflag", "/dev/sda"}, "/dev/sda", {kAtaTrimFlag}, "\n\n    Set Trim Flag OK!"},
        // the time: 43 on SATA, reported as 89 only on a K6410 drive; 89 on SAS
        CommandCase{{"-U", "time", "/dev/sdc"}, "/dev/sdc", {kAtaWriteTime}, "Set Time Stamp OK!\n"},
        CommandCase{{"-U", "time", "/dev/sda"}, "/dev/sda", {kAtaWriteTime}, ""},
        CommandCase{{"-o", "time", "/dev/sda"}, "/dev/sda", {kAtaWriteTime}, ""},
        CommandCase{{"-U", "time", "/dev/sdb"}, "/dev/sdb", {kScsiSetTimestamp}, nullptr},
        // the current vendor log 86 on SATA runs as the device vendor log 21: length, then two sectors
        CommandCase{{"-o", "log3", "/dev/sda"},
                    "/dev/sda",
                    {Hex("85 08 2E 00 00 00 01 00 00 00 00 00 00 40 89 00"),
                     Hex("85 08 2E 00 80 00 01 00 00 00 00 00 00 40 89 00"),
                     Hex("85 08 2E 00 80 00 01 00 01 00 00 00 00 40 89 00")},
                    nullptr},
        // type 21 on SAS runs as 86: the flash geometry, then the 12 pages of 8 KiB in one command
        CommandCase{{"-t", "log", "/dev/sdb"},
                    "/dev/sdb",
                    {Hex("C0 06 00 1C 00 00 00 00 00 00"), Hex("4D 00 33 01 80 00 00 00 00 00")},
                    nullptr}),
    CaseName());

// The current vendor log that type 21 becomes on SAS lands whole in its raw file, under
// "SSDlog/" like the log it stands for.
TEST_F(RunnerE2e, DeviceVendorLogOnSasSavesTheCurrentLog)
{
    RunResult r = Run({"-t", "log", "-b", "log.bin", "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    const std::string saved = "    Original binary data is saved to SSDlog/log.bin\n";
    EXPECT_EQ(r.out.substr(0, saved.size()), saved);
    EXPECT_EQ(OutputFiles(), std::vector<std::string>{"SSDlog/log.bin"});
    EXPECT_EQ(ReadFile("SSDlog/log.bin"), std::string(4, '\x33') + std::string(98304 - 8, '\0') + std::string(4, '\xCC'));
}

// The host's time reaches the drive: as text in the sector of 8Ch, as milliseconds in
// the parameter list of SET TIMESTAMP.
TEST_F(RunnerE2e, TimeCommandsCarryTheHostClock)
{
    const std::time_t before = std::time(nullptr);
    Run({"-U", "time", "/dev/sda"});
    Run({"-U", "time", "/dev/sdb"});
    const std::time_t after = std::time(nullptr);

    std::vector<TraceEntry> ata = Commands("/dev/sda");
    ASSERT_EQ(ata.size(), 1u);
    ASSERT_EQ(ata[0].data.size(), 512u);
    const std::string text = Text(ata[0].data);
    EXPECT_TRUE(std::regex_match(text.substr(0, 23), std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}")))
        << text.substr(0, 23);
    EXPECT_EQ(text.substr(23), std::string(512 - 23, '\0'));

    std::vector<TraceEntry> scsi = Commands("/dev/sdb");
    ASSERT_EQ(scsi.size(), 1u);
    ASSERT_EQ(scsi[0].data.size(), 12u);
    unsigned long long ms = 0;
    for (size_t i = 4; i < 10; i++) {
        ms = ms << 8 | scsi[0].data[i];
    }
    EXPECT_GE(ms, static_cast<unsigned long long>(before) * 1000);
    EXPECT_LE(ms, static_cast<unsigned long long>(after + 1) * 1000);
    EXPECT_EQ(Text(scsi[0].data).substr(0, 4), std::string(4, '\0'));
    EXPECT_EQ(Text(scsi[0].data).substr(10), std::string(2, '\0'));
}

// ---------------------------------------------------------------- new values from the command line

struct SetValueCase {
    const char* option;
    const char* value;
    Bytes cdb;
    Bytes data;
    const char* out;
};

void PrintTo(const SetValueCase& c, std::ostream* os) { *os << c.option << " " << c.value; }

class RunnerSetValue : public RunnerE2e, public ::testing::WithParamInterface<SetValueCase> {};

// A value of the field's length is sent as given, not saved.
TEST_P(RunnerSetValue, SentAsGivenWithoutPrompt)
{
    const SetValueCase& c = GetParam();
    RunResult r = Run({"-b", "w.bin", "-o", c.option, c.value, "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    std::vector<TraceEntry> sent = Commands("/dev/sdb");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cdb, c.cdb);
    EXPECT_EQ(sent[0].dir, zvemu::TRACE_DIR_OUT);
    EXPECT_EQ(sent[0].data, c.data);
    EXPECT_EQ(OutputFiles(), std::vector<std::string>{});
}

Bytes Chars(const std::string& s, size_t len)
{
    Bytes b(s.begin(), s.end());
    b.resize(len, 0);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerSetValue,
    ::testing::Values(
        SetValueCase{"setwwn", "0123456789ABCDEF", Hex("C1 0D 00 00 10 00 00 00 00 00"),
                     Chars("0123456789ABCDEF", 16), "    New WWN set successfully!\n"},
        SetValueCase{"setsn", "SN420000000000000042", Hex("C1 0D 01 00 14 00 00 00 00 00"),
                     Chars("SN420000000000000042", 20), "    New SN set successfully!\n"},
        SetValueCase{"setmodel", "QUMA-K6470BN0800", Hex("C1 0D 02 00 10 00 00 00 00 00"),
                     Chars("QUMA-K6470BN0800", 16), "    New Model set successfully!\n"},
        SetValueCase{"setflag", "12345678", Hex("C1 0D 03 00 08 00 00 00 00 00"), Chars("12345678", 8),
                     "    New Flag set successfully!\n"}),
    CaseName());

} // namespace
