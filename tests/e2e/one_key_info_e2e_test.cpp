// The one-key collection (-a) end to end: the real binary on the emulated SATA drive,
// the requests it sent, the file it left (unmasked and decompressed here, then compared
// byte for byte) and its messages; the refusal on a SAS drive; reads and file writes
// failing part of the way.
//
// Drives: /dev/sda the demo QUMA-K4410TN0100 behind SAT with the one-key answers of
// tests/data/one_key; /dev/sdb the demo SAS drive.
#include "e2e_util.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "one_key_file.h"
#include "emu/emu_trace.h"
#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "file_decompressor.h"
#include "msg_processor.h"
#include "one_key_info.h"

namespace {

using zvemu::Bytes;
using zvemu::TraceEntry;

const char kDefaultName[] = "all_info_QUMA-K4410TN0100_K4410TN0100A13000472.bin";

std::string DataPath(const std::string& rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

Bytes DataBytes(const std::string& rel)
{
    std::ifstream f(DataPath(rel), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string s = ss.str();
    return Bytes(s.begin(), s.end());
}

Bytes Fill(size_t n, std::uint8_t b) { return Bytes(n, b); }

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One item as the file must hold it.
using onekeyfile::Item;

using onekeyfile::Plain;

// A catalogue call that succeeds returns with the user error it starts with: 6.
const std::uint32_t kOkErr = 6;

// What the emulated drive answers to all twelve rows.
std::vector<Item> GoodItems()
{
    return {
        {0, 1, 1, kOkErr, 0, 512, "identify", DataBytes("one_key/identify.bin")},
        {2, 1, 1, kOkErr, 0, 0, "smt_enable", {}},
        {4, 1, 1, kOkErr, 0, 512, "smt_value", DataBytes("one_key/smart_value.bin")},
        {5, 1, 1, kOkErr, 0, 512, "smt_thres", DataBytes("one_key/smart_thres.bin")},
        {21, 1, 1, kOkErr, 0, 1024, "vendor_log", Cat(Fill(512, 0x21), Fill(512, 0x22))},
        {45, 1, 1, kOkErr, 0, 512, "all_vendor_log", Fill(512, 0x45)},
        {35, 1, 1, kOkErr, 0, 512, "flag", Fill(512, 0x35)},
        {23, 1, 1, kOkErr, 0, 512, "blank_block", Fill(512, 0x23)},
        {22, 1, 1, kOkErr, 0, 1024, "system_index", Cat(Fill(512, 0xC1), Fill(512, 0xC2))},
        {32, 1, 1, kOkErr, 0, 512, "bad_block", Fill(512, 0x32)},
        {31, 1, 1, kOkErr, 0, 512, "wear_level", Fill(512, 0x31)},
        {18, 1, 1, kOkErr, 0, 1024, "smt_pendlist", Cat(Fill(512, 0xB1), Fill(512, 0xB2))},
    };
}

// One ATA command as the drive saw it inside ATA PASS-THROUGH(16).
struct AtaSent {
    std::uint8_t command;
    std::uint8_t features;
    std::uint8_t count;
    std::uint8_t lba_low;
};

bool operator==(const AtaSent& a, const AtaSent& b)
{
    return a.command == b.command && a.features == b.features && a.count == b.count && a.lba_low == b.lba_low;
}

std::ostream& operator<<(std::ostream& os, const AtaSent& a)
{
    char s[64];
    snprintf(s, sizeof(s), "{cmd %02X fea %02X cnt %02X lba %02X}", a.command, a.features, a.count, a.lba_low);
    return os << s;
}

// The twelve rows' requests on the emulated drive, in order.
std::vector<AtaSent> GoodRequests()
{
    return {
        {0xEC, 0x00, 0x01, 0x00},                            // identify
        {0xB0, 0xD8, 0x00, 0x00},                            // SMART ENABLE
        {0xB0, 0xD0, 0x01, 0x00},                            // SMART READ DATA
        {0xB0, 0xD1, 0x01, 0x00},                            // SMART READ THRESHOLDS
        {0x89, 0x00, 0x01, 0x00}, {0x89, 0x80, 0x01, 0x00}, {0x89, 0x80, 0x01, 0x01},  // vendor log
        {0x89, 0x72, 0x01, 0x00}, {0x89, 0xF2, 0x01, 0x00},  // all vendor log
        {0x89, 0x0D, 0x01, 0x00}, {0x89, 0x8D, 0x01, 0x00},  // flag
        {0x89, 0x02, 0x01, 0x00}, {0x89, 0x82, 0x01, 0x00},  // blank block
        {0x89, 0x01, 0x01, 0x00}, {0x89, 0x81, 0x01, 0x00}, {0x89, 0x81, 0x01, 0x01},  // system index
        {0x89, 0x0B, 0x01, 0x00}, {0x89, 0x8B, 0x01, 0x00},  // bad block
        {0x89, 0x0A, 0x01, 0x00}, {0x89, 0x8A, 0x01, 0x00},  // wear level
        {0xB0, 0xD5, 0x01, 0x00}, {0xB0, 0xD5, 0x01, 0x00},  // log directory: length, then read
        {0xB0, 0xD5, 0x01, 0xB0}, {0xB0, 0xD5, 0x02, 0xB0},  // pending list pages 1 and 2
    };
}

// Undoes the mask and the compression of a collected file.
bool Unpack(const std::string& masked, Bytes* plain, std::string* why)
{
    Bytes in(masked.begin(), masked.end());
    for (std::uint8_t& b : in) {
        b ^= 0xA7;
    }
    FileDecompressor d;
    d.Init();
    d.SetInMemory(1);
    d.SetInData(in.data(), static_cast<u32>(in.size()));
    u32 size = d.GetOrigSize();
    plain->assign(size + 1, 0);
    d.Init();
    d.SetInMemory(1);
    d.SetOutMemory(1);
    d.SetInData(in.data(), static_cast<u32>(in.size()));
    d.SetOutData(plain->data(), static_cast<u32>(plain->size()));
    int rc = d.Decompress();
    if (rc != 0) {
        *why = "decompression result " + std::to_string(rc);
        return false;
    }
    plain->resize(d.GetOutSize());
    return true;
}

class OneKeyE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        Drives("");
    }

    // The two demo drives with the one-key answers, then an override in the working directory.
    void Drives(const std::string& override_text)
    {
        UseDrives({"demo/sata_k4410.txt", "one_key/sata_one_key.txt", "demo/sas_k6470.txt"}, override_text);
    }

    // The ATA commands of the collection: everything after the classification's INQUIRY
    // and IDENTIFY.
    std::vector<AtaSent> Collected(const std::string& node)
    {
        std::vector<TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", node);
        std::vector<AtaSent> out;
        if (sent.size() < 2 || sent[0].cdb.empty() || sent[0].cdb[0] != 0x12) {
            ADD_FAILURE() << "no classification on " << node;
            return out;
        }
        for (size_t i = 2; i < sent.size(); i++) {
            const Bytes& c = sent[i].cdb;
            if (c.size() != 16 || c[0] != 0x85) {
                ADD_FAILURE() << "not an ATA PASS-THROUGH(16): " << zvemu::HexText(c);
                continue;
            }
            out.push_back({c[14], c[4], c[6], c[8]});
        }
        return out;
    }

    void ExpectFile(const std::string& rel, const std::vector<Item>& items)
    {
        ASSERT_TRUE(Exists(rel)) << rel;
        Bytes plain;
        std::string why;
        ASSERT_TRUE(Unpack(ReadFile(rel), &plain, &why)) << rel << ": " << why;
        Bytes want = Plain(items);
        ASSERT_EQ(plain.size(), want.size());
        for (size_t i = 0; i < want.size(); i++) {
            ASSERT_EQ(plain[i], want[i]) << "first difference at byte " << i;
        }
    }

    // What a run left in a directory of the working directory, besides the log, the
    // emulator's files and "SSDlog" itself.
    std::vector<std::string> Left(const std::string& dir)
    {
        static const char* const bystanders[] = {".", "..", "cmd_resp_log.txt", "trace.txt", "override.txt", "SSDlog"};
        std::vector<std::string> found;
        DIR* d = opendir(Path(dir).c_str());
        while (d != nullptr) {
            struct dirent* e = readdir(d);
            if (e == nullptr) {
                break;
            }
            if (std::find_if(std::begin(bystanders), std::end(bystanders),
                             [&](const char* b) { return strcmp(b, e->d_name) == 0; }) == std::end(bystanders)) {
                found.push_back(e->d_name);
            }
        }
        if (d != nullptr) {
            closedir(d);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

// ---------------------------------------------------------------- a full collection

struct PlacementCase {
    std::vector<std::string> args;
    bool stale_files;          // an old output and an old temporary file in the place it writes to
    std::string expected;      // where the file goes
    std::string out;           // the whole screen output
};

void PrintTo(const PlacementCase& c, std::ostream* os)
{
    *os << ArgsText(c.args) << (c.stale_files ? " over old files" : "");
}

class OneKeyPlacement : public OneKeyE2e, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(OneKeyPlacement, TwelveReadsIntoOneMaskedFile)
{
    const PlacementCase& c = GetParam();
    if (c.stale_files) {
        // Left over in the working directory, where a run without "SSDlog" writes.
        WriteFile(c.expected, "old output");
        WriteFile(c.expected + "_tmp", std::string(300, 'x'));
    }
    RunResult r = Run(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(Collected("/dev/sda"), GoodRequests());
    ExpectFile(c.expected, GoodItems());
    EXPECT_FALSE(Exists(c.expected + "_tmp"));
    // Nothing else written, in either place.
    const bool in_log = c.expected.find('/') != std::string::npos;
    const std::string base = in_log ? c.expected.substr(c.expected.find('/') + 1) : c.expected;
    EXPECT_EQ(Left(in_log ? "SSDlog" : "."), std::vector<std::string>{base});
    EXPECT_TRUE(Left(in_log ? "." : "SSDlog").empty());
}

const std::string kDefaultInLog = std::string("SSDlog/") + kDefaultName;

INSTANTIATE_TEST_SUITE_P(
    Places, OneKeyPlacement,
    ::testing::Values(
        // "SSDlog" exists (every run with a command makes it): the default name goes inside.
        PlacementCase{{"-a", "/dev/sda"}, false, kDefaultInLog,
                      std::string("    all informations will be saved to file ") + kDefaultName + "\n" +
                          "    please be patient as this process may take a moment\n" +
                          "    all information has been saved to " + kDefaultInLog + "\n"},
        // A -b name goes inside too, and is not announced.
        PlacementCase{{"-a", "-b", "mine.bin", "/dev/sda"}, false, "SSDlog/mine.bin",
                      "    please be patient as this process may take a moment\n"
                      "    all information has been saved to SSDlog/mine.bin\n"},
        // "multilog" as the second argument: no "SSDlog", the working directory; old files go first.
        PlacementCase{{"-a", "multilog", "/dev/sda"}, true, kDefaultName,
                      std::string("    all informations will be saved to file ") + kDefaultName + "\n" +
                          "    please be patient as this process may take a moment\n" +
                          "    all information has been saved to " + kDefaultName + "\n"},
        PlacementCase{{"-a", "multilog", "-b", "mine.bin", "/dev/sda"}, true, "mine.bin",
                      "    please be patient as this process may take a moment\n"
                      "    all information has been saved to mine.bin\n"}),
    CaseName());

TEST_F(OneKeyE2e, SasDriveIsRefusedBeforeAnyFileOrCommand)
{
    RunResult r = Run({"-a", "/dev/sdb"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "    can't support one-key-info funtion");
    EXPECT_TRUE(Left("SSDlog").empty());
    EXPECT_TRUE(Left(".").empty());
    // Only the classification: INQUIRY, then READ CAPACITY.
    std::vector<TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", "/dev/sdb");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb[0], 0x12);
    EXPECT_EQ(sent[1].cdb[0], 0x25);
}

// ---------------------------------------------------------------- reads failing

struct ReadFailCase {
    const char* override_text;
    size_t row;                     // the row that fails
    Item item;                      // what the file holds for it
    std::vector<size_t> dropped;    // indexes into GoodRequests() that are not sent
};

void PrintTo(const ReadFailCase& c, std::ostream* os)
{
    *os << "row " << c.row << " " << c.item.name << (c.item.query_len != 0 ? " read fails" : " length query fails");
}

class OneKeyReadFails : public OneKeyE2e, public ::testing::WithParamInterface<ReadFailCase> {};

TEST_P(OneKeyReadFails, ItemRecordsTheErrorAndTheCollectionGoesOn)
{
    const ReadFailCase& c = GetParam();
    Drives(c.override_text);
    RunResult r = Run({"-a", "-b", "x.bin", "/dev/sda"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "    please be patient as this process may take a moment\n"
                     "    all information has been saved to SSDlog/x.bin\n");
    std::vector<Item> items = GoodItems();
    items[c.row] = c.item;
    ExpectFile("SSDlog/x.bin", items);

    std::vector<AtaSent> want;
    std::vector<AtaSent> all = GoodRequests();
    for (size_t i = 0; i < all.size(); i++) {
        if (std::find(c.dropped.begin(), c.dropped.end(), i) == c.dropped.end()) {
            want.push_back(all[i]);
        }
    }
    EXPECT_EQ(Collected("/dev/sda"), want);
}

// An ATA command aborted behind SAT comes back as CHECK CONDITION, sense key ABORTED
// COMMAND: user error 18, system error 0.
const std::uint32_t kAtaErr = 18;
const std::uint32_t kAborted = 0;

INSTANTIATE_TEST_SUITE_P(
    Failures, OneKeyReadFails,
    ::testing::Values(
        // The flag table's length query fails: both flags 0, no read, no data.
        ReadFailCase{"drive /dev/sda\nanswer ata 89 fea=0D\n  regs status=51 err=04\n", 6,
                     {35, 0, 0, kAtaErr, kAborted, 0, "flag", {}}, {10}},
        // Its length is known (512) but the read fails: the length stays, no data.
        ReadFailCase{"drive /dev/sda\nanswer ata 89 fea=8D\n  regs status=51 err=04\n", 6,
                     {35, 1, 0, kAtaErr, kAborted, 512, "flag", {}}, {}},
        // The first read of the vendor log fails: the second sector is never asked for.
        ReadFailCase{"drive /dev/sda\nanswer ata 89 fea=80 lba=0\n  regs status=51 err=04\n", 4,
                     {21, 1, 0, kAtaErr, kAborted, 1024, "vendor_log", {}}, {6}},
        // SMART READ DATA fails after a fixed length.
        ReadFailCase{"drive /dev/sda\nanswer ata B0 fea=D0\n  regs status=51 err=04\n", 2,
                     {4, 1, 0, kAtaErr, kAborted, 512, "smt_value", {}}, {}},
        // IDENTIFY answers the classification, then fails for the collection.
        ReadFailCase{"drive /dev/sda\nanswer ata EC\n  regs status=51 err=04\n"
                     "answer ata EC\n  file " ZV_TEST_DATA_DIR "/one_key/identify.bin\n  times 1\n",
                     0, {0, 1, 0, kAtaErr, kAborted, 512, "identify", {}}, {}}),
    CaseName());

// The log directory gives the vendor logs B1h-B7h the most sectors a count holds: the
// pending list's length is that of B0h, the one log it reads, so the item holds the list.
TEST_F(OneKeyE2e, PendingListSizedByItsOwnLog)
{
    std::string dir = "drive /dev/sda\nanswer ata B0 fea=D5 lba0=00\n  size 512\n  le 0 2 1\n  le 0x160 2 2\n";
    for (int log = 0xB1; log <= 0xB7; log++) {
        dir += "  le " + std::to_string(2 * log) + " 2 0xFFFF\n";
    }
    Drives(dir);
    RunResult r = Run({"-a", "-b", "x.bin", "/dev/sda"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "    please be patient as this process may take a moment\n"
                     "    all information has been saved to SSDlog/x.bin\n");
    ExpectFile("SSDlog/x.bin", GoodItems());
    EXPECT_EQ(Collected("/dev/sda"), GoodRequests());
}

// ---------------------------------------------------------------- file errors

// The temporary file is opened before the first row: when it cannot be, nothing is read.
TEST_F(OneKeyE2e, TemporaryFileThatCannotBeWrittenEndsTheCollection)
{
    RunResult r = Run({"-a", "multilog", "-b", "no_such_dir/x.bin", "/dev/sda"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "    please be patient as this process may take a moment\n"
                     "    write cache file failed, User Err Coode [00000017h:File can't be opened]\n");
    EXPECT_TRUE(Collected("/dev/sda").empty());
}

// The masked container cannot be put in place: the output keeps what it had, and the plain
// form, now the only copy, stays under the temporary name for the operator, no wider than the
// output it stands in for.
TEST_F(OneKeyE2e, FailedSaveOfTheContainerKeepsThePlainForm)
{
    WriteFile("x.bin", "an earlier collection");
    ASSERT_EQ(chmod(Path("x.bin").c_str(), 0600), 0);
    preload_.push_back(FaultLib());
    // The first rename is the container's.
    env_["ZV_FAULT"] = "rename@1=EIO";
    RunResult r = Run({"-a", "multilog", "-b", "x.bin", "/dev/sda"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "    please be patient as this process may take a moment\n"
                     "    data can't be saved to x.bin, User Err Coode [00000019h:File Write Error]\n");
    EXPECT_EQ(ReadFile("x.bin"), "an earlier collection");
    std::string tmp = ReadFile("x.bin_tmp");
    EXPECT_EQ(Bytes(tmp.begin(), tmp.end()), Plain(GoodItems()));
    EXPECT_EQ(Left("."), (std::vector<std::string>{"x.bin", "x.bin_tmp"}));
    struct stat st;
    ASSERT_EQ(stat(Path("x.bin_tmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Collected("/dev/sda").size(), GoodRequests().size());
}

// Something else where the output or its temporary file goes (a FIFO stands in for a device
// node) is neither removed, followed nor written: nothing is read from the drive.
struct SpecialFileCase {
    const char* name;
    const char* kind;  // as the refusal names it
    std::function<int(const std::string& path, const std::string& outside)> make;
};

void PrintTo(const SpecialFileCase& c, std::ostream* os) { *os << c.name << " as " << c.kind; }

class OneKeySpecialFile : public OneKeyE2e, public ::testing::WithParamInterface<SpecialFileCase> {};

TEST_P(OneKeySpecialFile, IsRefusedBeforeAnyRead)
{
    const SpecialFileCase& c = GetParam();
    char tmpl[] = "/tmp/zv_e2e_outside_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string outside = tmpl;
    {
        std::ofstream(outside + "/target") << "precious";
    }
    ASSERT_EQ(c.make(Path(c.name), outside + "/target"), 0);
    struct stat before;
    ASSERT_EQ(lstat(Path(c.name).c_str(), &before), 0);
    time_limit_ = 30;
    RunResult r = Run({"-a", "multilog", "-b", "x.bin", "/dev/sda"});
    EXPECT_EQ(r.signal, 0);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("    data can't be saved to ") + c.name +
                         ", User Err Coode [00000017h:File can't be opened]\n");
    EXPECT_EQ(r.err, std::string("    '") + c.name + "' is " + c.kind + ", not a regular file: nothing is written to it\n");
    EXPECT_TRUE(Collected("/dev/sda").empty());
    struct stat after;
    ASSERT_EQ(lstat(Path(c.name).c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    std::ifstream f(outside + "/target");
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_EQ(ss.str(), "precious");
    int rc = system(("rm -rf '" + outside + "'").c_str());
    (void)rc;
}

int MakeFifo(const std::string& p, const std::string&) { return mkfifo(p.c_str(), 0600); }
int MakeLink(const std::string& p, const std::string& target) { return symlink(target.c_str(), p.c_str()); }
int MakeFullDir(const std::string& p, const std::string&)
{
    if (mkdir(p.c_str(), 0755) != 0) {
        return -1;
    }
    std::ofstream(p + "/keep") << "k";
    return 0;
}

INSTANTIATE_TEST_SUITE_P(Names, OneKeySpecialFile,
                         ::testing::Values(SpecialFileCase{"x.bin", "a FIFO", MakeFifo},
                                           SpecialFileCase{"x.bin_tmp", "a FIFO", MakeFifo},
                                           SpecialFileCase{"x.bin", "a symbolic link", MakeLink},
                                           SpecialFileCase{"x.bin_tmp", "a symbolic link", MakeLink},
                                           SpecialFileCase{"x.bin", "a directory", MakeFullDir}),
                         CaseName());

// ---------------------------------------------------------------- runs after and during a collection

bool IsOutputTemp(const std::string& name) { return name.rfind(".zvtmp-", 0) == 0 && name.size() == 13; }

// The offline parser has no option letter: it runs here, in this process.
std::string ParseInProcess(const std::string& file, const std::string& dir)
{
    static bool ready = false;
    if (!ready) {
        MsgProcessor::Init();
        DiskCmnd::Init();
        DiskAnalyser::Init();
        ready = true;
    }
    parse_file_name = file.c_str();
    parse_dir_name = dir.c_str();
    ::testing::internal::CaptureStdout();
    parseOneKeyInfoFileEx();
    std::string out = ::testing::internal::GetCapturedStdout();
    parse_file_name = nullptr;
    parse_dir_name = nullptr;
    return out;
}

// A later run in the same directory, with a command or with one argument, keeps what the
// collection saved, and the offline parser reads it.
TEST_F(OneKeyE2e, CollectionSurvivesLaterRunsAndParses)
{
    RunResult a = Run({"-a", "/dev/sda"});
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_NE(a.out.find("    all information has been saved to " + kDefaultInLog + "\n"), std::string::npos);
    const std::string saved = ReadFile(kDefaultInLog);
    ExpectFile(kDefaultInLog, GoodItems());

    RunResult i = Run({"-i", "/dev/sda"});
    EXPECT_EQ(i.status, 0) << i.err;
    EXPECT_EQ(ReadFile(kDefaultInLog), saved);
    Run({"-h"});
    EXPECT_EQ(ReadFile(kDefaultInLog), saved);

    EXPECT_EQ(ParseInProcess(Path(kDefaultInLog), Path("parsed")), "");
    const std::vector<Item> items = GoodItems();
    EXPECT_EQ(ReadFile("parsed/identify.bin"), std::string(items[0].data.begin(), items[0].data.end()));
    EXPECT_EQ(ReadFile("parsed/vendor_log.bin"), std::string(items[4].data.begin(), items[4].data.end()));
    EXPECT_EQ(ReadFile("parsed/all_vendor_log.bin"), std::string(items[5].data.begin(), items[5].data.end()));
    EXPECT_NE(ReadFile("parsed/identify.txt").find("QUMA-K4410TN0100"), std::string::npos);
    EXPECT_NE(ReadFile("parsed/smart.txt"), "");
    // The walk ends at type 45, which has no decoder.
    EXPECT_FALSE(Exists("parsed/flag.bin"));
}

struct BesideCase {
    const char* args;   // of the run started in the middle of the collection
    const char* says;   // something that run prints
};

void PrintTo(const BesideCase& c, std::ostream* os) { *os << c.args; }

class OneKeyBeside : public OneKeyE2e, public ::testing::WithParamInterface<BesideCase> {};

// Another run started while a collection writes its first item neither takes the
// directory the file is to be named in nor the collection's log, and the collection is saved.
TEST_P(OneKeyBeside, CollectionAndItsLogSurvive)
{
    preload_.push_back(FaultLib());
    env_["ZV_FAULT"] = "fflush@1=RUN";
    env_["ZV_FAULT_IGNORE"] = "cmd_resp_log.txt";
    env_["ZV_FAULT_RUN"] = std::string("ZV_FAULT= ") + ZV_BINARY + " " + GetParam().args + " >other.txt 2>&1 </dev/null";
    RunResult a = Run({"-a", "/dev/sda"});
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_NE(a.out.find("    all information has been saved to " + kDefaultInLog + "\n"), std::string::npos) << a.out;
    ExpectFile(kDefaultInLog, GoodItems());
    EXPECT_NE(ReadFile("other.txt").find(GetParam().says), std::string::npos) << ReadFile("other.txt");
    // The SMART ENABLE of the collection went out, and was logged, before the other run began.
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("    85h  06h  2Ch  00h  D8h  00h  00h  00h\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Runs, OneKeyBeside,
                         ::testing::Values(BesideCase{"-h", "Usage : zembrovant [otpion] device"}, BesideCase{"-i /dev/sda", "QUMA-K4410TN0100"}),
                         CaseName());

// The plain form that an earlier failed collection left stays until a new collection is
// saved: a run killed on its way keeps it, a run that saves removes it.
TEST_F(OneKeyE2e, EarlierPlainFormGoesOnlyOnceANewCollectionIsSaved)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    WriteFile("SSDlog/x.bin_tmp", "an earlier plain form");
    Drives("drive /dev/sda\nanswer ata B0 fea=D8\n  kill\n");
    RunResult killed = Run({"-a", "-b", "x.bin", "/dev/sda"});
    ASSERT_EQ(killed.signal, SIGKILL);
    EXPECT_EQ(ReadFile("SSDlog/x.bin_tmp"), "an earlier plain form");

    Drives("");
    RunResult r = Run({"-a", "-b", "x.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("    all information has been saved to SSDlog/x.bin\n"), std::string::npos) << r.out;
    EXPECT_EQ(Left("SSDlog"), std::vector<std::string>{"x.bin"});
    ExpectFile("SSDlog/x.bin", GoodItems());
}

struct KillCase {
    const char* what;
    const char* rules;
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.what; }

class OneKeyKilled : public OneKeyE2e, public ::testing::WithParamInterface<KillCase> {};

// A collection killed on its way never leaves anything under the output name but a whole
// masked container: here the earlier one, since the new one (which would differ: the flag
// table now fails) never got that far. What the killed save left goes at the next start-up.
TEST_P(OneKeyKilled, OutputNameKeepsTheEarlierContainer)
{
    ASSERT_EQ(Run({"-a", "-b", "x.bin", "/dev/sda"}).status, 0);
    const std::string earlier = ReadFile("SSDlog/x.bin");
    ExpectFile("SSDlog/x.bin", GoodItems());

    Drives("drive /dev/sda\nanswer ata 89 fea=0D\n  regs status=51 err=04\n");
    preload_.push_back(FaultLib());
    env_["ZV_FAULT"] = GetParam().rules;
    env_["ZV_FAULT_IGNORE"] = "cmd_resp_log.txt";
    RunResult r = Run({"-a", "-b", "x.bin", "/dev/sda"});
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_EQ(ReadFile("SSDlog/x.bin"), earlier);
    for (const std::string& name : Left("SSDlog")) {
        EXPECT_TRUE(name == "x.bin" || IsOutputTemp(name)) << name;
    }
    EXPECT_TRUE(Left(".").empty());

    preload_.clear();
    env_.erase("ZV_FAULT");
    ASSERT_EQ(Run({"-b", "none.bin", "/dev/sda"}).status, 0);
    EXPECT_EQ(Left("SSDlog"), std::vector<std::string>{"x.bin"});
    EXPECT_EQ(ReadFile("SSDlog/x.bin"), earlier);
}

INSTANTIATE_TEST_SUITE_P(
    Points, OneKeyKilled,
    ::testing::Values(KillCase{"while the items are written", "fflush@3=KILL"},
                      KillCase{"masked, before it is on the disk", "fsync@1=KILL"},
                      KillCase{"on the disk, before it has a name", "linkat@1=KILL"},
                      KillCase{"named, before the rename", "rename@1=KILL"},
                      KillCase{"no nameless files: while the items are written", "tmpfile@1+=EOPNOTSUPP,fflush@3=KILL"},
                      KillCase{"no nameless files: before the rename", "tmpfile@1+=EOPNOTSUPP,rename@1=KILL"}),
    CaseName());

} // namespace
