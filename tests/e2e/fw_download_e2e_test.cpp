// Firmware and loader downloads end to end: -u on emulated SATA, tunnel and SAS drives (the
// download commands, their data and every line on the screen), the judged retry of the K4410
// family, the file prompt of the menu row, and the RAID-controller paths with a fake vendor
// utility first on PATH that records how it was called and answers with a chosen exit code.
//
// Drives (tests/data/demo, tests/data/e2e and the download answers in tests/data/fw):
//   /dev/sda  QUMA-K4410TN0100 behind SAT (family K4410: status judged, one retry)
//   /dev/sdb  QUMA-K6470BN0400 SAS drive (WRITE BUFFER behind SET TIMESTAMP)
//   /dev/sdc  QUMA-K6410TN0100 behind SAT (the whole image in one transfer, which decides)
//   /dev/sdd  QUMA-K4410TR0050 behind the vendor tunnel (one sector per command)
#include "e2e_util.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

std::string Data(const std::string& rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

void PutWord(Bytes* b, size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        (*b)[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// An image whose every byte tells its offset apart, with word 11 of the first header and,
// when given, of the second header at first_len.
Bytes Image(size_t len, std::uint32_t first_len, std::uint32_t second_len = 0)
{
    Bytes b(len);
    for (size_t i = 0; i < len; i++) {
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251 + 3);
    }
    if (len >= 64) {
        PutWord(&b, 44, first_len);
    }
    if (second_len != 0) {
        PutWord(&b, first_len + 44, second_len);
    }
    return b;
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Binary contents compared without printing them: the lengths and the first difference.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want)
{
    if (got == want) {
        return ::testing::AssertionSuccess();
    }
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) {
        i++;
    }
    return ::testing::AssertionFailure() << got.size() << " bytes where " << want.size()
                                         << " are expected, first difference at " << i;
}

std::string Hex2(unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string(1, digits[(v >> 4) & 15]) + digits[v & 15];
}

// One ATA command as the drive received it: features, count, LBA 7:0, 15:8, 23:16, device,
// command as text, and its data-out.
struct Ata {
    std::string regs;
    Bytes data;
};

std::string RegsText(const std::vector<unsigned>& r)
{
    std::string s;
    for (unsigned v : r) {
        s += (s.empty() ? "" : " ") + Hex2(v);
    }
    return s;
}

// The DOWNLOAD MICROCODE (92h) and download status (89h, features 74h) commands of a trace,
// from SAT CDBs and tunnel packets alike.
std::vector<Ata> DownloadCommands(const std::vector<TraceEntry>& trace)
{
    std::vector<Ata> out;
    for (const TraceEntry& e : trace) {
        const Bytes& c = e.cdb;
        Ata a;
        unsigned cmd = 0;
        if (c.size() == 16 && c[0] == 0x85) {
            cmd = c[14];
            a.regs = RegsText({c[4], c[6], c[8], c[10], c[12], c[13], c[14]});
            a.data = e.data;
        } else if (c.size() == 10 && c[0] == 0x3B && c[1] == 0x01 && c[2] == 0x06 && e.data.size() >= 28) {
            const Bytes& p = e.data;
            cmd = p[23];
            a.regs = RegsText({p[9], p[11], p[15], p[14], p[13], p[12], p[23]});
            a.data.assign(p.begin() + 28, p.end());
        }
        if (cmd == 0x92 || (cmd == 0x89 && a.regs.substr(0, 2) == "74")) {
            out.push_back(a);
        }
    }
    return out;
}

const char* const kStatusRegs = "74 01 00 00 00 40 89";

// A 92h command expected: its registers and where its data lies in the image as sent.
struct Expect {
    const char* regs;
    size_t offset;
    size_t bytes;
};

const Expect kStatus = {kStatusRegs, 0, 0};

// The image over the tunnel's retry: the 448 bytes in front of the second part cleared, and
// the first header copied to their start with word 11 set to 448.
Bytes RetryLayout(const Bytes& image, std::uint32_t first_len)
{
    Bytes out = image;
    std::fill(out.begin() + first_len - 448, out.begin() + first_len, 0);
    std::copy(image.begin(), image.begin() + 64, out.begin() + first_len - 448);
    PutWord(&out, first_len - 448 + 44, 448);
    return out;
}

class FwDownloadE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        Drives({});
    }

    // The e2e drives with their download answers, then the given overrides from tests/data/fw.
    void Drives(const std::vector<std::string>& overrides)
    {
        std::string config = Data("demo/sata_k4410.txt") + ":" + Data("demo/sas_k6470.txt") + ":" +
                             Data("demo/sas_k6470_scsi.txt") + ":" + Data("e2e/sata_k6410.txt") + ":" +
                             Data("fw/apt_k4410.txt") + ":" + Data("fw/download.txt");
        for (const std::string& o : overrides) {
            config += ":" + Data("fw/" + o);
        }
        env_["ZV_EMU_CONFIG"] = config;
    }

    std::vector<TraceEntry> Sent(const std::string& node)
    {
        return zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", node);
    }

    // The requests after the node's classification, which ends with its last IDENTIFY
    // DEVICE or READ CAPACITY.
    std::vector<TraceEntry> AfterClassification(const std::string& node)
    {
        std::vector<TraceEntry> sent = Sent(node);
        size_t last = 0;
        for (size_t i = 0; i < sent.size(); i++) {
            const Bytes& c = sent[i].cdb;
            const bool identify = (c.size() == 16 && c[0] == 0x85 && c[14] == 0xEC) ||
                                  (c.size() == 10 && c[0] == 0x3B && sent[i].data.size() >= 28 &&
                                   sent[i].data[23] == 0xEC);
            if (identify || (!c.empty() && c[0] == 0x25)) {
                last = i + 1;
            }
        }
        return std::vector<TraceEntry>(sent.begin() + last, sent.end());
    }

    static void ExpectCommands(const std::vector<Ata>& got, const std::vector<Expect>& want, const Bytes& image)
    {
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); i++) {
            SCOPED_TRACE("command " + std::to_string(i));
            EXPECT_EQ(got[i].regs, want[i].regs);
            ASSERT_LE(want[i].offset + want[i].bytes, image.size());
            EXPECT_TRUE(SameBytes(Text(got[i].data), Text(Bytes(image.begin() + want[i].offset,
                                                                image.begin() + want[i].offset + want[i].bytes))));
        }
    }
};

const size_t k300K = 300 * 1024;  // 600 sectors: 254 + 254 + 92

// The first attempt of a K4410-family drive over SAT: the first 254 sectors in one command.
const Expect kSatFirst = {"03 FE 00 00 00 40 92", 0, 254 * 512};
// The whole image over SAT: the K4410 family's retry, and every other drive's download.
const Expect kSatRetry[] = {
    {"03 FE 00 00 00 40 92", 0, 254 * 512},
    {"03 FE 00 FE 00 40 92", 254 * 512, 254 * 512},
    {"03 5C 00 FC 01 40 92", 508 * 512, 92 * 512},
};

const char kOk[] = "  Download microcode fw.bin to Disk /dev/sda successfully\n";
const char kStatusAborted[] =
    "  Download microcode fw.bin to Disk /dev/sda failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], "
    "System Err Code [00000000h]\n";

struct SataCase {
    const char* what;
    std::vector<std::string> overrides;
    std::vector<Expect> commands;
    std::string out;
};

void PrintTo(const SataCase& c, std::ostream* os) { *os << c.what; }

const SataCase sata_cases[] = {
    {"done at once: one transfer", {}, {kSatFirst, kStatus}, kOk},
    {"not done, then done: the whole image again",
     {"status_2_then_1.txt"},
     {kSatFirst, kStatus, kSatRetry[0], kSatRetry[1], kSatRetry[2], kStatus},
     kOk},
    {"never done",
     {"status_always_2.txt"},
     {kSatFirst, kStatus, kSatRetry[0], kSatRetry[1], kSatRetry[2], kStatus},
     "  Download microcode fw.bin to Disk /dev/sda failed\n"},
    // The aborted question's bytes say "done"; only an answered question counts.
    {"first question aborted",
     {"status_fails_once.txt"},
     {kSatFirst, kStatus, kSatRetry[0], kSatRetry[1], kSatRetry[2], kStatus},
     std::string(kStatusAborted) + kOk},
    {"every question aborted",
     {"status_fails.txt"},
     {kSatFirst, kStatus, kSatRetry[0], kSatRetry[1], kSatRetry[2], kStatus},
     std::string(kStatusAborted) + kStatusAborted + "  Download microcode fw.bin to Disk /dev/sda failed\n"},
    // The drive's status judges, not the transfer.
    {"transfer aborted, status done", {"transfer_aborted.txt"}, {kSatFirst, kStatus}, kOk},
};

class K4410Download : public FwDownloadE2e, public ::testing::WithParamInterface<SataCase> {};

TEST_P(K4410Download, JudgedByTheDriveStatus)
{
    const SataCase& c = GetParam();
    Drives(c.overrides);
    const Bytes image = Image(k300K, 1000);
    WriteFile("fw.bin", Text(image));
    RunResult r = Run({"-u", "fw.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.out);
    ExpectCommands(DownloadCommands(AfterClassification("/dev/sda")), c.commands, image);
    // The image file is the operator's: left as it was.
    EXPECT_TRUE(SameBytes(ReadFile("fw.bin"), Text(image)));
}

INSTANTIATE_TEST_SUITE_P(Cases, K4410Download, ::testing::ValuesIn(sata_cases), CaseName());

// Over the tunnel the first attempt sends the first part, the retry the second part behind
// a rebuilt header, both one sector per command.
TEST_F(FwDownloadE2e, TunnelRetrySendsSecondPartBehindNewHeader)
{
    Drives({"apt_status_2_then_1.txt"});
    const Bytes image = Image(4096, 1024, 600);
    WriteFile("fw.bin", Text(image));
    RunResult r = Run({"-u", "fw.bin", "/dev/sdd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "  Download microcode fw.bin to Disk /dev/sdd successfully\n");
    std::vector<Ata> got = DownloadCommands(AfterClassification("/dev/sdd"));
    ASSERT_EQ(got.size(), 7u);
    ExpectCommands(std::vector<Ata>(got.begin(), got.begin() + 3),
                   {{"03 01 00 00 00 40 92", 0, 512}, {"03 01 00 01 00 40 92", 512, 512}, kStatus}, image);
    // 448 + 600 bytes from offset 576: three sectors.
    ExpectCommands(std::vector<Ata>(got.begin() + 3, got.end()),
                   {{"03 01 00 00 00 40 92", 576, 512},
                    {"03 01 00 01 00 40 92", 1088, 512},
                    {"03 01 00 02 00 40 92", 1600, 512},
                    kStatus},
                   RetryLayout(image, 1024));
}

struct OtherCase {
    const char* what;
    const char* node;
    std::vector<std::string> overrides;
    std::vector<Expect> commands;
    std::string out;
};

void PrintTo(const OtherCase& c, std::ostream* os) { *os << c.what; }

// Drives outside the K4410 family: no status is asked, so the one transfer is the whole
// image, and it decides; the first failed command ends it.
const OtherCase other_cases[] = {
    {"K6410 takes it", "/dev/sdc", {}, {kSatRetry[0], kSatRetry[1], kSatRetry[2]},
     "  Download microcode fw.bin to Disk /dev/sdc successfully\n"},
    {"K6410 aborts it", "/dev/sdc", {"transfer_aborted.txt"}, {kSatFirst},
     "  Download microcode fw.bin to Disk /dev/sdc failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], "
     "System Err Code [00000000h]\n"},
    {"K6410 aborts the second command", "/dev/sdc", {"second_transfer_aborted.txt"}, {kSatRetry[0], kSatRetry[1]},
     "  Download microcode fw.bin to Disk /dev/sdc failed, User Err Code [00000012h:Sense key : ABORTED COMMAND], "
     "System Err Code [00000000h]\n"},
    // Half of what was sent is no download.
    {"K6410 takes half of it", "/dev/sdc", {"transfer_short.txt"}, {kSatFirst},
     "  Download microcode fw.bin to Disk /dev/sdc failed, User Err Code [00000001h:OS API Error], "
     "System Err Code [00000005h]\n"},
};

class OtherSataDownload : public FwDownloadE2e, public ::testing::WithParamInterface<OtherCase> {};

TEST_P(OtherSataDownload, WholeImageInOneTransferThatDecides)
{
    const OtherCase& c = GetParam();
    Drives(c.overrides);
    const Bytes image = Image(k300K, 1000);
    WriteFile("fw.bin", Text(image));
    RunResult r = Run({"-u", "fw.bin", c.node});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    ExpectCommands(DownloadCommands(AfterClassification(c.node)), c.commands, image);
}

INSTANTIATE_TEST_SUITE_P(Cases, OtherSataDownload, ::testing::ValuesIn(other_cases), CaseName());

struct ScsiCase {
    const char* what;
    std::vector<std::string> args;  // before the file
    std::vector<std::string> overrides;
    const char* cdb;  // the WRITE BUFFER
    std::string out;
};

void PrintTo(const ScsiCase& c, std::ostream* os) { *os << c.what; }

const ScsiCase scsi_cases[] = {
    {"firmware", {"-u"}, {}, "3B 05 00 00 00 00 00 04 00 00",
     "  Download microcode img.bin to Disk /dev/sdb successfully\n"},
    {"loader", {"-u", "loader"}, {}, "3B 25 00 00 00 00 00 04 00 00",
     "  Download R5 Loader img.bin to Disk /dev/sdb successfully\n"},
    {"firmware refused", {"-u"}, {"write_buffer_refused.txt"}, "3B 05 00 00 00 00 00 04 00 00",
     "  Download microcode img.bin to Disk /dev/sdb failed, User Err Code [0000000Bh:Sense key : BAD FIELD], "
     "System Err Code [00000000h]\n"},
    {"loader refused", {"-u", "loader"}, {"write_buffer_refused.txt"}, "3B 25 00 00 00 00 00 04 00 00",
     "  Download R5 Loader img.bin to Disk /dev/sdb failed, User Err Code [0000000Bh:Sense key : BAD FIELD], "
     "System Err Code [00000000h]\n"},
    {"firmware taken in part", {"-u"}, {"write_buffer_short.txt"}, "3B 05 00 00 00 00 00 04 00 00",
     "  Download microcode img.bin to Disk /dev/sdb failed, User Err Code [00000001h:OS API Error], "
     "System Err Code [00000005h]\n"},
    {"loader taken in part", {"-u", "loader"}, {"write_buffer_short.txt"}, "3B 25 00 00 00 00 00 04 00 00",
     "  Download R5 Loader img.bin to Disk /dev/sdb failed, User Err Code [00000001h:OS API Error], "
     "System Err Code [00000005h]\n"},
};

class SasDownload : public FwDownloadE2e, public ::testing::WithParamInterface<ScsiCase> {};

TEST_P(SasDownload, WriteBufferBehindTheClock)
{
    const ScsiCase& c = GetParam();
    Drives(c.overrides);
    const Bytes image = Image(1024, 512);
    WriteFile("img.bin", Text(image));
    std::vector<std::string> args = c.args;
    args.push_back("img.bin");
    args.push_back("/dev/sdb");
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    std::vector<TraceEntry> sent = AfterClassification("/dev/sdb");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(zvemu::HexText(sent[0].cdb.data(), 2), "A40F");
    EXPECT_EQ(sent[1].cdb, Hex(c.cdb));
    EXPECT_TRUE(SameBytes(Text(sent[1].data), Text(image)));
}

INSTANTIATE_TEST_SUITE_P(Cases, SasDownload, ::testing::ValuesIn(scsi_cases), CaseName());

struct RefusedCase {
    const char* what;
    std::vector<std::string> args;
    size_t file_len;  // of "f.bin"; npos: no such file
    std::string out;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.what; }

const size_t kNoFile = std::string::npos;

// Files that never reach the drive.
const RefusedCase refused_cases[] = {
    {"empty firmware", {"-u", "f.bin", "/dev/sda"}, 0, "  file f.bin 's length is illegal, 0 is empty\n"},
    {"missing firmware", {"-u", "f.bin", "/dev/sda"}, kNoFile,
     "  Query file f.bin 's length failed, User Err Code [00000017h:File can't be opened]\n"},
    {"empty loader", {"-u", "loader", "f.bin", "/dev/sdb"}, 0,
     "  file f.bin 's length is illegal, 0 is not multiple of 512 Bytes\n"},
    {"loader of 1000 bytes", {"-u", "loader", "f.bin", "/dev/sdb"}, 1000,
     "  file f.bin 's length is illegal, 1000 is not multiple of 512 Bytes\n"},
    {"missing loader", {"-u", "loader", "f.bin", "/dev/sdb"}, kNoFile,
     "  Query file f.bin 's length failed, User Err Code [00000017h:File can't be opened]\n"},
    // Refused by the download itself before the node is opened: no status is asked, since a
    // "done" left from an earlier download would report this one as a success.
    {"K4410 firmware of 1000 bytes", {"-u", "f.bin", "/dev/sda"}, 1000,
     "  Download microcode f.bin to Disk /dev/sda failed, User Err Code [00000004h:Parameter is illegal], "
     "System Err Code [00000000h]\n"},
};

class RefusedFile : public FwDownloadE2e, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFile, NothingSent)
{
    const RefusedCase& c = GetParam();
    if (c.file_len != kNoFile) {
        WriteFile("f.bin", Text(Image(c.file_len, 512)));
    }
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(AfterClassification(c.args.back()).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedFile, ::testing::ValuesIn(refused_cases), CaseName());

// ---------------------------------------------------------------- the menu row

const std::string kStars = "*************************";
const std::string kMenuStart = "\n  " + kStars + " MENU " + kStars + "\n";
const char kPrompt[] = "  input firmware file : ";

// The ATA main menu's row 6 asks for the file; a second download in the same run starts
// in the normal layout again after the first one's retry.
TEST_F(FwDownloadE2e, MenuRowAsksForFileAndEveryDownloadStartsAnew)
{
    Drives({"status_2_then_1.txt"});
    const Bytes image = Image(k300K, 1000);
    WriteFile("fw.bin", Text(image));
    RunResult r = Run({}, "1\n6\nfw.bin\n6\nfw.bin\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string answer = std::string(kPrompt) + kOk + kMenuStart;
    const size_t first = r.out.find(answer);
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_NE(r.out.find(answer, first + 1), std::string::npos) << r.out;
    ExpectCommands(DownloadCommands(Sent("/dev/sda")),
                   {kSatFirst, kStatus, kSatRetry[0], kSatRetry[1], kSatRetry[2], kStatus, kSatFirst, kStatus},
                   image);
}

TEST_F(FwDownloadE2e, MenuRowWithoutFileSendsNothing)
{
    for (const char* input : {"1\n6\n\nq\n", "1\n6\n"}) {
        SCOPED_TRACE(input);
        RunResult r = Run({}, input);
        EXPECT_EQ(r.status, 0);
        const size_t at = r.out.find(kPrompt);
        ASSERT_NE(at, std::string::npos) << r.out;
        // Straight back to the menu.
        EXPECT_EQ(r.out.substr(at + strlen(kPrompt), kMenuStart.size()), kMenuStart);
        EXPECT_EQ(DownloadCommands(Sent("/dev/sda")).size(), 0u);
    }
}

// ---------------------------------------------------------------- the RAID-controller paths

// Each fake utility writes its arguments, one a line, to "<name>.args", copies the file
// that follows "-f" or "-u" to "<name>.image", and prints "<name>.reply" from its own directory.
const char kFakeUtility[] =
    "#!/bin/sh\n"
    "name=$(basename \"$0\")\n"
    "printf '%s\\n' \"$@\" > \"$name.args\"\n"
    "prev=\n"
    "for a in \"$@\"; do\n"
    "  case \"$prev\" in -f|-u) [ -f \"$a\" ] && cp \"$a\" \"$name.image\";; esac\n"
    "  prev=$a\n"
    "done\n"
    "cat \"$(dirname \"$0\")/$name.reply\"\n";

class RaidE2e : public FwDownloadE2e {
protected:
    void SetUp() override
    {
        FwDownloadE2e::SetUp();
        ASSERT_EQ(mkdir(Path("bin").c_str(), 0755), 0);
        for (const char* name : {"MegaCli64", "MegaCli"}) {
            WriteFile(std::string("bin/") + name, kFakeUtility);
            ASSERT_EQ(chmod(Path(std::string("bin/") + name).c_str(), 0755), 0);
            Reply(name, "Exit Code: 0x00\n");
        }
        // The program runs the utility through the shell, which finds the fakes first.
        const char* path = getenv("PATH");
        saved_path_ = path != nullptr ? path : "";
        ASSERT_EQ(setenv("PATH", (Path("bin") + ":" + saved_path_).c_str(), 1), 0);
    }

    void TearDown() override
    {
        setenv("PATH", saved_path_.c_str(), 1);
        FwDownloadE2e::TearDown();
    }

    void Reply(const std::string& name, const std::string& text) { WriteFile("bin/" + name + ".reply", text); }

    // The utility's arguments, or "(not run)".
    std::string Args(const std::string& name)
    {
        return Exists(name + ".args") ? ReadFile(name + ".args") : std::string("(not run)");
    }

    std::string saved_path_;
};

// flag 1 framing of an image: header block, second part, zeros to 32768, header copy.
std::string SecondPartFrame(const Bytes& image, std::uint32_t first_len)
{
    Bytes header(image.begin(), image.begin() + 64);
    PutWord(&header, 44, 512);
    Bytes out = header;
    out.resize(512, 0);
    out.insert(out.end(), image.begin() + first_len, image.end());
    out.resize((out.size() + 32767) / 32768 * 32768, 0);
    out.insert(out.end(), header.begin(), header.end());
    return Text(out);
}

struct RaidCase {
    const char* what;
    std::vector<std::string> args;
    const char* utility;
    const char* reply;
    std::string args_seen;  // by the utility, one a line
    int part;               // of fw.rom the utility received: 0 first, 1 second in a new frame
    std::string out;
};

void PrintTo(const RaidCase& c, std::ostream* os) { *os << c.what; }

// fw.rom: 40000 bytes, first part 10000 bytes.
const RaidCase raid_cases[] = {
    {"-MIC with MegaCli64 and -SAM: judged by 0x00",
     {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"}, "MegaCli64",
     "Exit Code: 0x00\n", "-adpfwflash\n-f\nfw.rom.new\n-SAM\n-a0\n", 1, "Download microcode Disk successfully\n"},
    {"-MIC with MegaCli64 and -SAM: another exit code",
     {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"}, "MegaCli64",
     "Exit Code: 0x01\n", "-adpfwflash\n-f\nfw.rom.new\n-SAM\n-a0\n", 1, "Download microcode Disk failed\n"},
    {"-MIC with MegaCli64 alone: no verdict",
     {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, "MegaCli64", "Exit Code: 0x00\n",
     "-adpfwflash\n-f\nfw.rom.new\n-a0\n", 1, ""},
    {"-MIC with MegaCli: judged by 0x2e",
     {"-f", "fw.rom", "-MIC", "MegaCli", "-PdFwDownload", "-PhysDrv[32:0]", "-f", "fw.rom", "-a0"}, "MegaCli",
     "Exit Code: 0x2e\n", "-PdFwDownload\n-PhysDrv[32:0]\n-f\nfw.rom.new\n-a0\n", 1,
     "Download microcode Disk successfully\n"},
    {"-MIC with MegaCli: 0x00 is a failure there",
     {"-f", "fw.rom", "-MIC", "MegaCli", "-PdFwDownload", "-f", "fw.rom", "-a0"}, "MegaCli", "Exit Code: 0x00\n",
     "-PdFwDownload\n-f\nfw.rom.new\n-a0\n", 1, "Download microcode Disk failed\n"},
    // -SAM keeps the first part and shows the utility's own output.
    {"-SAM: first part, output shown",
     {"-f", "fw.rom", "-SAM", "MegaCli64", "-adpfwflash", "-u", "fw.rom", "-a0"}, "MegaCli64", "Exit Code: 0x00\n",
     "-adpfwflash\n-u\nfw.rom.new\n-a0\n", 0, "Exit Code: 0x00\n"},
};

class RaidFwUpgrade : public RaidE2e, public ::testing::WithParamInterface<RaidCase> {};

TEST_P(RaidFwUpgrade, RewritesRunsJudgesAndCleansUp)
{
    const RaidCase& c = GetParam();
    Reply(c.utility, c.reply);
    const Bytes image = Image(40000, 10000);
    WriteFile("fw.rom", Text(image));
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Args(c.utility), c.args_seen);
    // The utility got the rewritten image, under the ".new" name.
    const std::string seen = ReadFile(std::string(c.utility) + ".image");
    if (c.part == 0) {
        EXPECT_TRUE(SameBytes(seen, Text(Bytes(image.begin(), image.begin() + 10000))));
    } else {
        EXPECT_TRUE(SameBytes(seen, SecondPartFrame(image, 10000)));
    }
    EXPECT_FALSE(Exists("fw.rom.new"));
    EXPECT_FALSE(Exists("upgrade_out"));
    EXPECT_TRUE(SameBytes(ReadFile("fw.rom"), Text(image)));
}

INSTANTIATE_TEST_SUITE_P(Cases, RaidFwUpgrade, ::testing::ValuesIn(raid_cases), CaseName());

// A file named "upgrade_out" that this run did not write is the operator's and stays.
TEST_F(RaidE2e, SamPathKeepsAnUpgradeOutItDidNotWrite)
{
    WriteFile("fw.rom", Text(Image(40000, 10000)));
    WriteFile("upgrade_out", "kept");
    RunResult r = Run({"-f", "fw.rom", "-SAM", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Args("MegaCli64"), "-adpfwflash\n-f\nfw.rom.new\n-a0\n");
    EXPECT_EQ(ReadFile("upgrade_out"), "kept");
}

struct SwapCase {
    const char* what;
    const char* utility;  // the fake MegaCli64's script
    const char* cat;      // a cat first on PATH, or null
    const char* out;
    bool planted;         // a planted file stands under the name at the end
};

void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.what; }

// Puts a file saying "Exit Code: 0x00" (or 0x01) in the capture's place.
#define ZV_PLANT(code) "printf 'Exit Code: " code "\\n' > planted && mv -f planted upgrade_out\n"

// The verdict is what the utility wrote into this run's capture; a file put under the name
// afterwards, between the utility and the verdict or while the verdict is read, changes
// nothing, and it is not removed.
const SwapCase swap_cases[] = {
    {"swapped for a success while the verdict is read",
     "#!/bin/sh\necho 'Exit Code: 0x01'\n",
     "#!/bin/sh\n[ \"$1\" = upgrade_out ] && " ZV_PLANT("0x00") "exec /bin/cat \"$@\"\n",
     "Download microcode Disk failed\n", false},
    {"swapped for a success by the utility's end", "#!/bin/sh\necho 'Exit Code: 0x01'\n" ZV_PLANT("0x00"), nullptr,
     "Download microcode Disk failed\n", true},
    {"swapped for a failure by the utility's end", "#!/bin/sh\necho 'Exit Code: 0x00'\n" ZV_PLANT("0x01"), nullptr,
     "Download microcode Disk successfully\n", true},
};

#undef ZV_PLANT

class RaidSwappedCapture : public RaidE2e, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(RaidSwappedCapture, VerdictFromThisRunsCapture)
{
    const SwapCase& c = GetParam();
    WriteFile("bin/MegaCli64", c.utility);
    if (c.cat != nullptr) {
        WriteFile("bin/cat", c.cat);
        ASSERT_EQ(chmod(Path("bin/cat").c_str(), 0755), 0);
    }
    WriteFile("fw.rom", Text(Image(40000, 10000)));
    RunResult r = Run({"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    // A planted file is someone else's: it stays. The run's own capture is removed.
    ASSERT_EQ(Exists("upgrade_out"), c.planted);
    if (c.planted) {
        EXPECT_EQ(ReadFile("upgrade_out").compare(0, 13, "Exit Code: 0x"), 0);
    }
    EXPECT_FALSE(Exists("fw.rom.new"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RaidSwappedCapture, ::testing::ValuesIn(swap_cases), CaseName());

struct OperatorFileCase {
    const char* what;
    const char* name;  // the operator's file in the way
    std::vector<std::string> args;
    size_t image_len;  // of fw.rom, first part 10000 bytes
    std::string out;
    bool one_more = false;  // the file holds what the run would write, and one byte more
};

void PrintTo(const OperatorFileCase& c, std::ostream* os) { *os << c.what; }

// A file of the operator's under a name the run would make is refused, and nothing is run.
const OperatorFileCase operator_file_cases[] = {
    {"the rewritten image", "fw.rom.new", {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, 40000,
     "open file error!\n"},
    {"the rewritten first part", "fw.rom.new", {"-a", "-SAM", "MegaCli64", "-adpfwflash", "-f", "fw.rom"}, 40000,
     "open file error!\n"},
    {"the utility's capture", "upgrade_out", {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"},
     40000, "open file error!\n"},
    {"the padded image", "fw.rom.tmp", {"-a", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, 40100,
     "buf_len = 40448\n    Original binary data can't be saved to fw.rom.tmp, User Err Coode "
     "[00000017h:File can't be opened]\n"},
    {"the rewritten image and a byte more", "fw.rom.new",
     {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, 40000, "open file error!\n", true},
    {"the padded image and a byte more", "fw.rom.tmp", {"-a", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"},
     40100,
     "buf_len = 40448\n    Original binary data can't be saved to fw.rom.tmp, User Err Coode "
     "[00000017h:File can't be opened]\n",
     true},
};

class RaidOperatorFile : public RaidE2e, public ::testing::WithParamInterface<OperatorFileCase> {};

TEST_P(RaidOperatorFile, IsRefusedAndKept)
{
    const OperatorFileCase& c = GetParam();
    const Bytes image = Image(c.image_len, 10000);
    WriteFile("fw.rom", Text(image));
    std::string theirs = "the operator's";
    if (c.one_more) {
        Bytes padded = image;
        padded.resize((image.size() + 511) / 512 * 512, 0);
        theirs = (std::string(c.name) == "fw.rom.new" ? SecondPartFrame(image, 10000) : Text(padded)) + "x";
    }
    WriteFile(c.name, theirs);
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, std::string("    '") + c.name +
                         "' already exists: it is left as it is and nothing is written to it\n"
                         "    remove it or move it aside, then run again\n");
    EXPECT_TRUE(ReadFile(c.name) == theirs);
    EXPECT_EQ(Args("MegaCli64"), "(not run)");
    for (const char* made : {"fw.rom.new", "fw.rom.tmp", "upgrade_out"}) {
        EXPECT_EQ(Exists(made), std::string(made) == c.name) << made;
    }
    EXPECT_TRUE(FilesStartingWith(".zvtmp-").empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, RaidOperatorFile, ::testing::ValuesIn(operator_file_cases), CaseName());

// An "upgrade_out" with another name besides, which is no killed run's: a file of the
// operator's, or a running run's capture (its second name is held).
TEST_F(RaidE2e, CaptureWithAnotherNameOfNoDeadRunIsKept)
{
    WriteFile("fw.rom", Text(Image(40000, 10000)));
    const std::vector<std::string> mic = {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"};
    const char* const refused =
        "    'upgrade_out' already exists: it is left as it is and nothing is written to it\n"
        "    remove it or move it aside, then run again\n";
    for (const char* other : {"keep.txt", ".zvtmp-Abc123"}) {
        SCOPED_TRACE(other);
        WriteFile(other, "Exit Code: 0x00\n");
        ASSERT_EQ(link(Path(other).c_str(), Path("upgrade_out").c_str()), 0);
        // The held one stands for a run still at work.
        const int held = std::string(other) == "keep.txt" ? -1 : open(Path(other).c_str(), O_RDONLY);
        if (held >= 0) {
            ASSERT_EQ(flock(held, LOCK_EX), 0);
        }
        RunResult r = Run(mic);
        EXPECT_EQ(r.out, "open file error!\n");
        EXPECT_EQ(r.err, refused);
        EXPECT_EQ(ReadFile("upgrade_out"), "Exit Code: 0x00\n");
        EXPECT_EQ(ReadFile(other), "Exit Code: 0x00\n");
        EXPECT_EQ(Args("MegaCli64"), "(not run)");
        if (held >= 0) {
            close(held);
        }
        ASSERT_EQ(unlink(Path("upgrade_out").c_str()), 0);
        ASSERT_EQ(unlink(Path(other).c_str()), 0);
    }
}

// ---------------------------------------------------------------- the capture's name swapped

struct CaptureSwapCase {
    const char* what;
    std::vector<std::string> args;
    const char* utility;
    const char* reply;
    const char* out;
    bool fifo;  // the name becomes a FIFO, else a link to root's own file
};

void PrintTo(const CaptureSwapCase& c, std::ostream* os) { *os << c.what; }

const CaptureSwapCase capture_swap_cases[] = {
    {"a link, MegaCli64", {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"},
     "MegaCli64", "Exit Code: 0x00\n", "Download microcode Disk successfully\n", false},
    {"a link, MegaCli", {"-f", "fw.rom", "-MIC", "MegaCli", "-PdFwDownload", "-f", "fw.rom", "-a0"}, "MegaCli",
     "Exit Code: 0x2e\n", "Download microcode Disk successfully\n", false},
    {"a FIFO", {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM", "-a0"}, "MegaCli64",
     "Exit Code: 0x01\n", "Download microcode Disk failed\n", true},
};

class RaidCaptureSwapped : public RaidE2e, public ::testing::WithParamInterface<CaptureSwapCase> {};

// Someone who can write the working directory puts something else under "upgrade_out" right
// after the run made it, before the shell starts: the utility's output still reaches only
// this run's capture (the verdict is the utility's), root's own file keeps every byte, and the
// run neither blocks on the FIFO nor removes what was put there.
TEST_P(RaidCaptureSwapped, OutputReachesOnlyThisRunsCapture)
{
    const CaptureSwapCase& c = GetParam();
    Reply(c.utility, c.reply);
    // The utility also says which of its descriptors are the capture.
    WriteFile(std::string("bin/") + c.utility,
              std::string(kFakeUtility) + "for f in /proc/$$/fd/*; do readlink \"$f\"; done | "
                                          "grep -c zvtmp > \"$name.captures\"\n");
    WriteFile("fw.rom", Text(Image(40000, 10000)));
    ASSERT_EQ(mkdir(Path("root").c_str(), 0700), 0);
    WriteFile("root/secret", "root's own\n");
    ASSERT_EQ(chmod(Path("root/secret").c_str(), 0600), 0);
    preload_.push_back(FaultLib());
    env_["ZV_FAULT"] = "system@1=RUN";
    env_["ZV_FAULT_RUN"] = c.fifo ? "rm -f upgrade_out && mkfifo upgrade_out"
                                  : "rm -f upgrade_out && ln -s " + Path("root/secret") + " upgrade_out";
    time_limit_ = 20;
    RunResult r = Run(c.args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile("root/secret"), "root's own\n");
    struct stat st;
    ASSERT_EQ(stat(Path("root/secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(lstat(Path("upgrade_out").c_str(), &st), 0);
    EXPECT_TRUE(c.fifo ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
    // Its standard output, and no other descriptor.
    EXPECT_EQ(ReadFile(std::string(c.utility) + ".captures"), "1\n");
    EXPECT_FALSE(Exists("fw.rom.new"));
    EXPECT_TRUE(FilesStartingWith(".zvtmp-").empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, RaidCaptureSwapped, ::testing::ValuesIn(capture_swap_cases), CaseName());

// ---------------------------------------------------------------- runs killed or interrupted

// Ends the run that started the utility (the leader of the run's process group) with the
// signal, or the whole group with "-" before it, then goes on as a utility at work would.
std::string Ending(const std::string& signal)
{
    return std::string("#!/bin/sh\necho 'Exit Code: 0x00'\nread -r _ _ _ _ pg _ < /proc/$$/stat\n") +
           (signal[0] == '-' ? "kill -s " + signal.substr(1) + " -- -$pg\n" : "kill -s " + signal + " $pg\n") +
           "sleep 0.2\necho 'the utility went on'\n";
}

const std::vector<std::string> kMicRun = {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-SAM",
                                          "-a0"};
const std::vector<std::string> kPadRun = {"-f", "fw.rom", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"};

struct EndedRunCase {
    const char* what;
    bool padded;          // Raid_UpFirware's padded copy, else -MIC's rewritten image
    const char* rules;    // of the fault library, or ""
    const char* run;      // ZV_FAULT_RUN, or ""
    const char* utility;  // a signal for Ending(), or "" for the usual fake
    int signal;           // that the run ends with, 0: it ends by itself
};

void PrintTo(const EndedRunCase& c, std::ostream* os) { *os << c.what; }

const EndedRunCase killed_cases[] = {
    {"image: while it is written", false, "write@1=KILL", "", "", SIGKILL},
    {"image: before it is on the disk", false, "fsync@1=KILL", "", "", SIGKILL},
    {"image: before it has its name", false, "linkat@1=KILL", "", "", SIGKILL},
    {"image, no nameless files: while it is written", false, "tmpfile@1+=EOPNOTSUPP,write@1=KILL", "", "", SIGKILL},
    {"image, no nameless files: before it has its name", false, "tmpfile@1+=EOPNOTSUPP,linkat@1=KILL", "", "",
     SIGKILL},
    {"capture: before it has its name", false, "linkat@2=KILL", "", "", SIGKILL},
    {"right before the utility", false, "system@1=KILL", "", "", SIGKILL},
    {"during the utility", false, "", "", "KILL", SIGKILL},
    {"padded copy: while it is written", true, "write@1=KILL", "", "", SIGKILL},
    {"padded copy: before it is on the disk", true, "fsync@1=KILL", "", "", SIGKILL},
    {"padded copy: before it has its name", true, "linkat@1=KILL", "", "", SIGKILL},
    {"padded copy: during the utility", true, "", "", "KILL", SIGKILL},
};

const EndedRunCase interrupted_cases[] = {
    {"TERM while the image is synced", false, "fsync@1=RUN", "kill -s TERM $PPID", "", SIGTERM},
    {"INT while the image is synced", false, "fsync@1=RUN", "kill -s INT $PPID", "", SIGINT},
    {"TERM right before the utility", false, "system@1=RUN", "kill -s TERM $PPID", "", SIGTERM},
    {"INT right before the utility", false, "system@1=RUN", "kill -s INT $PPID", "", SIGINT},
    {"TERM to the run during the utility", false, "", "", "TERM", SIGTERM},
    {"TERM to the run and the utility", false, "", "", "-TERM", SIGTERM},
    // The run waits for the utility with INT set aside, as the shell's caller does; a typed ^C
    // ends the utility and the run goes on to its end.
    {"INT to the run and the utility, as a typed ^C", false, "", "", "-INT", 0},
    {"TERM while the padded copy is synced", true, "fsync@1=RUN", "kill -s TERM $PPID", "", SIGTERM},
    {"TERM to the run during the padded copy's utility", true, "", "", "TERM", SIGTERM},
};

class RaidEndedRun : public RaidE2e, public ::testing::WithParamInterface<EndedRunCase> {
protected:
    const std::vector<std::string>& Args() const { return GetParam().padded ? kPadRun : kMicRun; }

    // fw.rom: 40000 bytes with a first part of 10000 for -MIC, 40100 bytes to be padded.
    Bytes image_;

    void SetUp() override
    {
        RaidE2e::SetUp();
        image_ = Image(GetParam().padded ? 40100 : 40000, 10000);
        WriteFile("fw.rom", Text(image_));
    }

    RunResult RunEnded()
    {
        const EndedRunCase& c = GetParam();
        if (c.utility[0] != '\0') {
            WriteFile("bin/MegaCli64", Ending(c.utility));
        }
        if (c.rules[0] != '\0') {
            preload_.push_back(FaultLib());
            env_["ZV_FAULT"] = c.rules;
            env_["ZV_FAULT_RUN"] = c.run;
        }
        time_limit_ = 20;
        RunResult r = Run(Args());
        preload_.clear();
        env_.erase("ZV_FAULT");
        env_.erase("ZV_FAULT_RUN");
        WriteFile("bin/MegaCli64", kFakeUtility);
        return r;
    }

    // The run flashed the image it was given and left nothing behind.
    void ExpectFlashed(const RunResult& r)
    {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        if (GetParam().padded) {
            EXPECT_EQ(r.out, "buf_len = 40448\nbuf_len = 40448\nExit Code: 0x00\n");
            Bytes want = image_;
            want.resize(40448, 0);
            EXPECT_TRUE(SameBytes(ReadFile("MegaCli64.image"), Text(want)));
        } else {
            EXPECT_EQ(r.out, "Download microcode Disk successfully\n");
            EXPECT_TRUE(SameBytes(ReadFile("MegaCli64.image"), SecondPartFrame(image_, 10000)));
        }
        ExpectNoFilesOfARun();
    }

    void ExpectNoFilesOfARun()
    {
        EXPECT_FALSE(Exists("fw.rom.new"));
        EXPECT_FALSE(Exists("fw.rom.tmp"));
        EXPECT_FALSE(Exists("upgrade_out"));
        EXPECT_EQ(FilesStartingWith(".zvtmp-"), std::vector<std::string>{});
        EXPECT_TRUE(SameBytes(ReadFile("fw.rom"), Text(image_)));
    }
};

class RaidKilledRun : public RaidEndedRun {};

// Whatever the killed run left, the next plain run flashes and leaves nothing.
TEST_P(RaidKilledRun, NeverBlocksTheNext)
{
    RunResult killed = RunEnded();
    ASSERT_EQ(killed.signal, GetParam().signal) << killed.out << killed.err;
    ExpectFlashed(Run(Args()));
}

INSTANTIATE_TEST_SUITE_P(Points, RaidKilledRun, ::testing::ValuesIn(killed_cases), CaseName());

class RaidInterruptedRun : public RaidEndedRun {};

TEST_P(RaidInterruptedRun, LeavesNoFilesOfItsOwn)
{
    RunResult r = RunEnded();
    EXPECT_EQ(r.signal, GetParam().signal) << r.out << r.err;
    if (GetParam().signal == 0) {
        EXPECT_EQ(r.status, 0);
    }
    ExpectNoFilesOfARun();
}

INSTANTIATE_TEST_SUITE_P(Points, RaidInterruptedRun, ::testing::ValuesIn(interrupted_cases), CaseName());

// A file system with neither nameless files nor hard links (FAT, some network ones): the
// files still appear only whole, and the run flashes.
const EndedRunCase no_links_cases[] = {
    {"rewritten image and capture", false, "tmpfile@1+=EOPNOTSUPP,linkat@1+=EPERM", "", "", 0},
    {"padded copy", true, "tmpfile@1+=EOPNOTSUPP,linkat@1+=EPERM", "", "", 0},
};

class RaidWithoutLinks : public RaidEndedRun {};

TEST_P(RaidWithoutLinks, Flashes) { ExpectFlashed(RunEnded()); }

INSTANTIATE_TEST_SUITE_P(FileSystems, RaidWithoutLinks, ::testing::ValuesIn(no_links_cases), CaseName());

struct RaidRefusal {
    const char* what;
    std::vector<std::string> args;
    std::uint32_t first_len;  // of fw.rom, 40000 bytes
    std::string out;
};

void PrintTo(const RaidRefusal& c, std::ostream* os) { *os << c.what; }

// Nothing is run and nothing is left behind.
const RaidRefusal raid_refusals[] = {
    {"first part past the file's end", {"-f", "fw.rom", "-MIC", "MegaCli64", "-f", "fw.rom"}, 40001,
     "  file fw.rom 's first firmware length 40001 is illegal\n"
     "  file fw.rom 's first firmware length 40001 is illegal\n"},
    {"second part inside the new header block", {"-f", "fw.rom", "-MIC", "MegaCli64"}, 511,
     "  file fw.rom 's first firmware length 511 is illegal\n"},
    {"first part of zero bytes", {"-f", "fw.rom", "-SAM", "MegaCli64"}, 0,
     "  file fw.rom 's first firmware length 0 is illegal\n"},
    {"no such image", {"-f", "nofile.rom", "-MIC", "MegaCli64"}, 10000, "open file error!\n"},
    {"no file after -f", {"-a", "-MIC", "MegaCli64", "-f"}, 10000, "pls input the file name..\n"},
    {"no image named", {"-a", "-MIC", "MegaCli64", "-a0"}, 10000, "pls input the file name..\n"},
    {"no utility", {"-f", "fw.rom", "-MIC", "-a0"}, 10000, "pls input the MegaCli64 or MegaCli utility..\n"},
};

class RaidFwUpgradeRefused : public RaidE2e, public ::testing::WithParamInterface<RaidRefusal> {};

TEST_P(RaidFwUpgradeRefused, NothingRun)
{
    const RaidRefusal& c = GetParam();
    WriteFile("fw.rom", Text(Image(40000, c.first_len)));
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Args("MegaCli64"), "(not run)");
    EXPECT_FALSE(Exists("fw.rom.new"));
    EXPECT_FALSE(Exists("nofile.rom.new"));
    EXPECT_FALSE(Exists("upgrade_out"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RaidFwUpgradeRefused, ::testing::ValuesIn(raid_refusals), CaseName());

// ---------------------------------------------------------------- Raid_UpFirware

struct PadCase {
    const char* what;
    size_t len;
    bool padded;
};

void PrintTo(const PadCase& c, std::ostream* os) { *os << c.what; }

const PadCase pad_cases[] = {
    {"whole sectors: the image itself", 1536, false},
    {"one byte past a sector", 1537, true},
    {"less than a sector", 100, true},
};

class RaidUpFirware : public RaidE2e, public ::testing::WithParamInterface<PadCase> {};

TEST_P(RaidUpFirware, PadsToWholeSectorsAndRunsTheUtility)
{
    const PadCase& c = GetParam();
    const Bytes image = Image(c.len, 0);
    WriteFile("fw.rom", Text(image));
    Reply("MegaCli64", "Exit Code: 0x00\n");
    RunResult r = Run({"-f", "fw.rom", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const size_t padded = c.len / 512 * 512 + 512;
    // The utility's output is not captured; both copies are made before it runs.
    EXPECT_EQ(r.out, c.padded ? "buf_len = " + std::to_string(padded) + "\nbuf_len = " + std::to_string(padded) +
                                    "\nExit Code: 0x00\n"
                              : std::string("Exit Code: 0x00\n"));
    const std::string name = c.padded ? "fw.rom.tmp" : "fw.rom";
    EXPECT_EQ(Args("MegaCli64"), "-adpfwflash\n-f\n" + name + "\n-a0\n");
    Bytes want = image;
    if (c.padded) {
        want.resize(padded, 0);
    }
    EXPECT_TRUE(SameBytes(ReadFile("MegaCli64.image"), Text(want)));
    EXPECT_FALSE(Exists("fw.rom.tmp"));
    EXPECT_TRUE(SameBytes(ReadFile("fw.rom"), Text(image)));
}

INSTANTIATE_TEST_SUITE_P(Cases, RaidUpFirware, ::testing::ValuesIn(pad_cases), CaseName());

// Only the image's own name is replaced, not an argument that merely begins with it.
TEST_F(RaidE2e, UpFirwareReplacesOnlyTheImageName)
{
    WriteFile("fw", Text(Image(100, 0)));
    RunResult r = Run({"-f", "fw", "MegaCli", "-f", "fw", "-a0", "fw.bak"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Args("MegaCli"), "-f\nfw.tmp\n-a0\nfw.bak\n");
    EXPECT_FALSE(Exists("fw.tmp"));
}

TEST_F(RaidE2e, UpFirwareRefusesEmptyAndMissingImages)
{
    const struct {
        const char* file;
        const char* out;
    } cases[] = {
        {"empty.rom", "  file empty.rom 's length is illegal, 0 is empty\n"},
        {"nofile.rom", "  Query file nofile.rom 's length failed, User Err Code [00000017h:File can't be opened]\n"},
    };
    WriteFile("empty.rom", "");
    WriteFile("ok.rom", Text(Image(100, 0)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        // The copy of the image before it is not left behind either.
        RunResult r = Run({"-f", "ok.rom", "MegaCli64", "-f", c.file});
        EXPECT_EQ(r.out, std::string("buf_len = 512\n") + c.out);
        EXPECT_EQ(Args("MegaCli64"), "(not run)");
        EXPECT_FALSE(Exists("ok.rom.tmp"));
    }
}

// ---------------------------------------------------------------- input files that are no regular files

// What stands at the image's name.
enum class Plant { kFifo, kLinkToZero, kDirectory };

const char* PlantName(Plant p)
{
    return p == Plant::kFifo ? "a FIFO" : p == Plant::kLinkToZero ? "a link to /dev/zero" : "a directory";
}

struct InputFileWay {
    const char* what;
    std::vector<std::string> args;  // the image is "img"; empty: menu mode
    std::string input;
    const char* node;               // the drive that must receive nothing, or null
    std::string says;
};

const std::string kImgNotOpened =
    "  Query file img 's length failed, User Err Code [00000017h:File can't be opened]\n";

const InputFileWay input_file_ways[] = {
    {"-u firmware on SATA", {"-u", "img", "/dev/sda"}, "", "/dev/sda", kImgNotOpened},
    {"-u loader on SAS", {"-u", "loader", "img", "/dev/sdb"}, "", "/dev/sdb", kImgNotOpened},
    // The only drive, the Download Microcode row, the file at its prompt, then quit.
    {"menu firmware file", {}, "1\n6\nimg\nq\n", "/dev/sda", "  input firmware file : " + kImgNotOpened},
    {"-MIC controller image", {"-f", "img", "-MIC", "MegaCli64", "-adpfwflash", "-f", "img"}, "", nullptr,
     "open file error!\nopen file error!\n"},
    {"MegaCli controller image", {"-f", "img", "MegaCli64", "-adpfwflash", "-f", "img"}, "", nullptr,
     kImgNotOpened},
};

void PrintTo(const InputFileWay& w, std::ostream* os) { *os << w.what; }
void PrintTo(Plant p, std::ostream* os) { *os << "as " << PlantName(p); }

using InputFileCase = std::tuple<InputFileWay, Plant>;

class InputFileNotRegular : public RaidE2e, public ::testing::WithParamInterface<InputFileCase> {};

// Refused as a file that cannot be opened, at once: nothing reaches the drive or the utility.
TEST_P(InputFileNotRegular, RefusedAndNothingSent)
{
    const InputFileWay& way = std::get<0>(GetParam());
    const Plant plant = std::get<1>(GetParam());
    if (way.args.empty()) {
        env_["ZV_EMU_CONFIG"] = Data("demo/sata_k4410.txt");
    }
    switch (plant) {
    case Plant::kFifo:
        ASSERT_EQ(mkfifo(Path("img").c_str(), 0644), 0);
        break;
    case Plant::kLinkToZero:
        ASSERT_EQ(symlink("/dev/zero", Path("img").c_str()), 0);
        break;
    case Plant::kDirectory:
        ASSERT_EQ(mkdir(Path("img").c_str(), 0755), 0);
        break;
    }
    time_limit_ = 20;
    RunResult r = Run(way.args, way.input);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    if (way.args.empty()) {
        EXPECT_NE(r.out.find(way.says), std::string::npos) << r.out;
    } else {
        EXPECT_EQ(r.out, way.says);
    }
    if (way.node != nullptr) {
        EXPECT_EQ(AfterClassification(way.node).size(), 0u);
    }
    EXPECT_EQ(Args("MegaCli64"), "(not run)");
    EXPECT_FALSE(Exists("img.new"));
    EXPECT_FALSE(Exists("img.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Cases, InputFileNotRegular,
                         ::testing::Combine(::testing::ValuesIn(input_file_ways),
                                            ::testing::Values(Plant::kFifo, Plant::kLinkToZero, Plant::kDirectory)),
                         CaseName());

} // namespace
