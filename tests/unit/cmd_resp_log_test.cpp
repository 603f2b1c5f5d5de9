#include <gtest/gtest.h>

#include "case_names.h"

#include "cmd_resp_log.h"
#include "disk_transport.h"
#include "settings.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

// The log is a process-wide singleton whose file is chosen and opened on first use,
// so every case runs in a re-executed child, inside a fresh working directory of its own.
// A child reports failed checks on stderr and exits 1.

namespace {

const char kLog[] = "cmd_resp_log.txt";
const char kSsdLog[] = "SSDlog/cmd_resp_log.txt";

bool Exists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

long SizeOf(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string ReadAll(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// The log directory as a run that writes into it holds it.
void MakeSsdLog()
{
    mkdir("SSDlog", 0755);
    log_dir_fd = open("SSDlog", O_RDONLY | O_DIRECTORY);
}

void WriteFiller(const char* path, long size)
{
    std::ofstream f(path, std::ios::binary);
    f << std::string(static_cast<size_t>(size), 'z');
}

// Collects failed checks of a child.
class Checks {
public:
    void That(bool ok, const std::string& what)
    {
        if (!ok) {
            failures_ += what + "\n";
        }
    }
    void Equal(const std::string& got, const std::string& expected, const std::string& what)
    {
        That(got == expected, what + ":\n--- got ---\n" + got + "\n--- expected ---\n" + expected);
    }
    void EqualNum(long got, long expected, const std::string& what)
    {
        That(got == expected, what + ": got " + std::to_string(got) + ", expected " + std::to_string(expected));
    }
    // '#' in the pattern stands for one decimal digit (the time of day); everything else is literal.
    void Matches(const std::string& got, const std::string& pattern, const std::string& what)
    {
        bool ok = got.size() == pattern.size();
        for (size_t i = 0; ok && i < got.size(); i++) {
            ok = pattern[i] == '#' ? (got[i] >= '0' && got[i] <= '9') : got[i] == pattern[i];
        }
        That(ok, what + ":\n--- got ---\n" + got + "\n--- expected ---\n" + pattern);
    }
    const std::string& failures() const { return failures_; }

private:
    std::string failures_;
};

// Runs body in a fresh temporary working directory and turns its checks into an exit code.
int InFreshDir(const std::function<void(Checks*)>& body)
{
    char tmpl[] = "/tmp/zv_log_XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) {
        fprintf(stderr, "no temp dir\n");
        return 1;
    }
    Checks checks;
    body(&checks);
    std::string cmd = std::string("rm -rf '") + tmpl + "'";
    if (chdir("/") != 0 || system(cmd.c_str()) != 0) {
        fprintf(stderr, "cleanup of %s failed\n", tmpl);
    }
    if (!checks.failures().empty()) {
        fprintf(stderr, "%s", checks.failures().c_str());
        return 1;
    }
    return 0;
}

// Captures what the log prints on standard output while fn runs.
std::string CaptureStdout(const std::function<void()>& fn)
{
    fflush(stdout);
    int saved = dup(1);
    int fd = open("stdout.txt", O_CREAT | O_TRUNC | O_WRONLY, 0600);
    dup2(fd, 1);
    close(fd);
    fn();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out = ReadAll("stdout.txt");
    unlink("stdout.txt");
    return out;
}

class CmdRespLogTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

#define EXPECT_IN_FRESH_PROCESS(body) EXPECT_EXIT(exit(InFreshDir(body)), ::testing::ExitedWithCode(0), "")

const u8 kInquiryCdb[6] = {0x12, 0x01, 0x80, 0x00, 0x24, 0x00};

std::string CdbPattern(const char* data_len, char dir)
{
    return std::string("##:##:##:###  SCSI CDB\n"
                       "    12h  01h  80h  00h  24h  00h  00h  00h\n"
                       "    00h  00h  00h  00h  00h  00h  00h  00h\n"
                       "    DataLen:") +
           data_len + "h  DataDir:" + dir + "\n";
}

void AddInquiryCdb(int data_len)
{
    CmdRespLog::GetInstance()->AddRecord(LOG_SCSI_CDB, kInquiryCdb, sizeof(kInquiryCdb), data_len, 1);
}

TEST_F(CmdRespLogTest, ScsiCdbAndSenseBlocks)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        u8 sense[40];
        for (int i = 0; i < 40; i++) {
            sense[i] = static_cast<u8>(0xA0 + i);
        }
        CmdRespLog* log = CmdRespLog::GetInstance();
        AddInquiryCdb(36);
        // Forty bytes offered, thirty-two kept.
        log->AddRecord(LOG_SCSI_SENSE, sense, sizeof(sense), 6, -1);
        c->EqualNum(SizeOf(kLog), 0, "created at first use, nothing written before the flush");
        log->Flush();
        const std::string first = CdbPattern("00000024", '1') +
                                  "##:##:##:###  SCSI Sense\n"
                                  "    A0h  A1h  A2h  A3h  A4h  A5h  A6h  A7h\n"
                                  "    A8h  A9h  AAh  ABh  ACh  ADh  AEh  AFh\n"
                                  "    B0h  B1h  B2h  B3h  B4h  B5h  B6h  B7h\n"
                                  "    B8h  B9h  BAh  BBh  BCh  BDh  BEh  BFh\n"
                                  "    UserErr:00000006h  SysErr:FFFFFFFFh\n\n";
        c->Matches(ReadAll(kLog), first, "CDB and sense blocks");
        // A second flush appends; an empty flush adds nothing.
        log->AddRecord(LOG_SCSI_CDB, kInquiryCdb, 6, 0x10000, 2);
        log->Flush();
        log->Flush();
        c->Matches(ReadAll(kLog), first + CdbPattern("00010000", '2'), "second batch appended once");
    });
}

TEST_F(CmdRespLogTest, TunnelAndAtaBlocks)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        u8 bytes[32];
        for (int i = 0; i < 32; i++) {
            bytes[i] = static_cast<u8>(i + 1);
        }
        CmdRespLog* log = CmdRespLog::GetInstance();
        log->AddRecord(LOG_WRITE_APT, bytes, 28, 512, 2);
        log->AddRecord(LOG_READ_APT, bytes, 24, 0, 0);
        // ATA kinds always keep eight bytes, whatever length is passed.
        log->AddRecord(LOG_ATA_STATUS, bytes, 12, 8, 0x5141);
        log->AddRecord(LOG_ATA_COMMAND, bytes, 2, 512, 1);
        log->AddAtaRecord(LOG_ATA_COMMAND, bytes, bytes + 16, nullptr, 1024, 2);
        // Kinds outside the table, and AddAtaRecord for another kind, record nothing.
        log->AddRecord(0, bytes, 8, 1, 1);
        log->AddRecord(7, bytes, 8, 1, 1);
        log->AddAtaRecord(LOG_ATA_STATUS, bytes, bytes, nullptr, 1, 1);
        log->Flush();
        c->Matches(ReadAll(kLog),
                   "##:##:##:###  Write APT\n"
                   "    01h  02h  03h  04h  05h  06h  07h  08h\n"
                   "    09h  0Ah  0Bh  0Ch  0Dh  0Eh  0Fh  10h\n"
                   "    11h  12h  13h  14h  15h  16h  17h  18h\n"
                   "    19h  1Ah  1Bh  1Ch\n"
                   "    DataLen:00000200h  DataDir:2\n"
                   "##:##:##:###  Read APT\n"
                   "    01h  02h  03h  04h  05h  06h  07h  08h\n"
                   "    09h  0Ah  0Bh  0Ch  0Dh  0Eh  0Fh  10h\n"
                   "    11h  12h  13h  14h  15h  16h  17h  18h\n"
                   "    UserErr:00000000h  SysErr:00000000h\n\n"
                   "##:##:##:###  ATA Status\n"
                   "    Cmd:07h  Fea:01h  Dev:06h  SecCnt[7:0]:02h\n"
                   "    LBA[7:0]:03h  LBA[15:8]:04h  LBA[23:16]:05h\n"
                   "    UserErr:00000008h  SysErr:00005141h\n\n"
                   "##:##:##:###  ATA Command\n"
                   "    Cmd:07h  Fea:01h  Dev:06h  SecCnt[7:0]:02h\n"
                   "    LBA[7:0]:03h  LBA[15:8]:04h  LBA[23:16]:05h\n"
                   "    DataLen:00000200h  DataDir:1\n"
                   "##:##:##:###  ATA Command\n"
                   "    Cmd:07h  Fea:01h  Dev:06h  SecCnt[7:0]:02h\n"
                   "    SecCnt[15:8]:12h  LBA[7:0]:03h  LBA[15:8]:04h  LBA[23:16]:05h\n"
                   "    LBA[31:24]:13h  LBA[39:32]:14h  LBA[47:40]:15h\n"
                   "    DataLen:00000400h  DataDir:2\n",
                   "tunnel and ATA blocks");
    });
}

// A copy of a value that ends exactly where a readable page ends; the next page cannot be
// read, so touching one byte past the value faults in every build.
template <typename T>
class AtPageEnd {
public:
    explicit AtPageEnd(const T& value)
    {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* m = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) {
            abort();
        }
        base_ = static_cast<u8*>(m);
        if (mprotect(base_ + page_, page_, PROT_NONE) != 0) {
            abort();
        }
        at_ = base_ + page_ - sizeof(T);
        memcpy(at_, &value, sizeof(T));
    }
    ~AtPageEnd() { munmap(base_, 2 * page_); }
    AtPageEnd(const AtPageEnd&) = delete;
    AtPageEnd& operator=(const AtPageEnd&) = delete;

    const u8* bytes() const { return at_; }

private:
    size_t page_ = 0;
    u8* base_ = nullptr;
    u8* at_ = nullptr;
};

// The ATA records read the caller's TaskFile (7 bytes) and TaskFileHob (5 bytes) and
// nothing beyond them.
void LogAtaRecordsAtPageEnds(Checks* c)
{
    const TaskFile tf = {0x11, 0x22, 0x33, 0x44, 0x55, 0xE0, 0xEC};
    const TaskFileHob hob = {0x66, 0x77, 0x88, 0x99, 0xAA};
    AtPageEnd<TaskFile> regs(tf);
    AtPageEnd<TaskFileHob> prev(hob);
    CmdRespLog* log = CmdRespLog::GetInstance();
    log->AddRecord(LOG_ATA_COMMAND, regs.bytes(), sizeof(TaskFile), 0x200, 1);
    log->AddRecord(LOG_ATA_STATUS, regs.bytes(), sizeof(TaskFile), 8, 0x5141);
    log->AddAtaRecord(LOG_ATA_COMMAND, regs.bytes(), prev.bytes(), nullptr, 0x400, 2);
    log->Flush();
    c->Matches(ReadAll(kLog),
               "##:##:##:###  ATA Command\n"
               "    Cmd:ECh  Fea:11h  Dev:E0h  SecCnt[7:0]:22h\n"
               "    LBA[7:0]:33h  LBA[15:8]:44h  LBA[23:16]:55h\n"
               "    DataLen:00000200h  DataDir:1\n"
               "##:##:##:###  ATA Status\n"
               "    Cmd:ECh  Fea:11h  Dev:E0h  SecCnt[7:0]:22h\n"
               "    LBA[7:0]:33h  LBA[15:8]:44h  LBA[23:16]:55h\n"
               "    UserErr:00000008h  SysErr:00005141h\n\n"
               "##:##:##:###  ATA Command\n"
               "    Cmd:ECh  Fea:11h  Dev:E0h  SecCnt[7:0]:22h\n"
               "    SecCnt[15:8]:77h  LBA[7:0]:33h  LBA[15:8]:44h  LBA[23:16]:55h\n"
               "    LBA[31:24]:88h  LBA[39:32]:99h  LBA[47:40]:AAh\n"
               "    DataLen:00000400h  DataDir:2\n",
               "ATA blocks from the caller's registers");
}

TEST_F(CmdRespLogTest, AtaRecordsReadOnlyTheRegistersTheCallerHolds)
{
    EXPECT_IN_FRESH_PROCESS(LogAtaRecordsAtPageEnds);
}

struct PlaceCase {
    bool ssdlog;
    const char* expected;
    const char* absent;
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << (c.ssdlog ? "with SSDlog" : "without SSDlog"); }

class CmdRespLogPlace : public CmdRespLogTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(CmdRespLogPlace, FileGoesIntoSsdLogWhenItExists)
{
    const PlaceCase p = GetParam();
    EXPECT_IN_FRESH_PROCESS([p](Checks* c) {
        if (p.ssdlog) {
            MakeSsdLog();
        }
        AddInquiryCdb(36);
        CmdRespLog::GetInstance()->Flush();
        c->Matches(ReadAll(p.expected), CdbPattern("00000024", '1'), p.expected);
        c->That(!Exists(p.absent), std::string("no ") + p.absent);
    });
}

INSTANTIATE_TEST_SUITE_P(Dirs, CmdRespLogPlace,
                         ::testing::Values(PlaceCase{false, kLog, kSsdLog}, PlaceCase{true, kSsdLog, kLog}),
                         CaseName());

struct SizeCase {
    long initial;         // size of the log before the first use
    long after_open;      // its size right after the first use
    bool keeps_old_text;  // whether the old text survives the first flush
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.initial << " bytes at start"; }

class CmdRespLogSize : public CmdRespLogTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(CmdRespLogSize, EmptiedWhenItWouldPassTheLimit)
{
    const SizeCase s = GetParam();
    EXPECT_IN_FRESH_PROCESS([s](Checks* c) {
        WriteFiller(kLog, s.initial);
        CmdRespLog* log = CmdRespLog::GetInstance();
        c->EqualNum(SizeOf(kLog), s.after_open, "size after the first use");
        AddInquiryCdb(36);
        log->Flush();
        std::string text = ReadAll(kLog);
        std::string old = s.keeps_old_text ? std::string(static_cast<size_t>(s.initial), 'z') : "";
        c->That(text.compare(0, old.size(), old) == 0, "old text kept as expected");
        c->Matches(text.substr(old.size()), CdbPattern("00000024", '1'), "the new batch");
    });
}

INSTANTIATE_TEST_SUITE_P(Sizes, CmdRespLogSize,
                         ::testing::Values(SizeCase{0x100001, 0, false}, SizeCase{0x100000, 0x100000, false},
                                           SizeCase{0x100000 - 142, 0x100000 - 142, true},
                                           SizeCase{0x100000 - 141, 0x100000 - 141, false},
                                           SizeCase{1000, 1000, true}),
                         CaseName());

TEST_F(CmdRespLogTest, SizeReopenPicksUpANewSsdLog)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        WriteFiller(kLog, 0x100000);
        CmdRespLog* log = CmdRespLog::GetInstance();
        MakeSsdLog();
        AddInquiryCdb(36);
        log->Flush();
        c->Matches(ReadAll(kSsdLog), CdbPattern("00000024", '1'), "reopened in SSDlog");
        c->EqualNum(SizeOf(kLog), 0x100000, "the old file is left alone");
    });
}

TEST_F(CmdRespLogTest, OversizedBatchIsCut)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        CmdRespLog* log = CmdRespLog::GetInstance();
        // 142 bytes a record: 7384 records fit into 0x100000 bytes, 7385 do not.
        for (int i = 0; i < 7384; i++) {
            AddInquiryCdb(i);
        }
        log->Flush();
        c->EqualNum(SizeOf(kLog), 7384 * 142, "a batch that fits is written whole");
        for (int i = 0; i < 7385; i++) {
            AddInquiryCdb(i);
        }
        log->Flush();
        c->EqualNum(SizeOf(kLog), 0xF8000, "a batch past the limit keeps its first 0xF8000 bytes");
        std::string text = ReadAll(kLog);
        c->Matches(text.substr(0, 142), CdbPattern("00000000", '1'), "the cut batch starts with its first record");
        // The next flush appends behind the cut text.
        AddInquiryCdb(7);
        log->Flush();
        c->EqualNum(SizeOf(kLog), 0xF8000 + 142, "appended after the cut");
    });
}

TEST_F(CmdRespLogTest, SaveLogOffAtFirstUseKeepsTheLogClosed)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        MakeSsdLog();
        output_flags.save_log = 0;
        std::string out = CaptureStdout([] {
            AddInquiryCdb(1);
            CmdRespLog::GetInstance()->Flush();
            output_flags.save_log = 1;
            AddInquiryCdb(2);
            CmdRespLog::GetInstance()->Flush();
        });
        c->That(!Exists(kLog) && !Exists(kSsdLog), "no log file at all");
        c->Equal(out, "", "nothing printed");
    });
}

TEST_F(CmdRespLogTest, RecordsWaitWhileSaveLogIsOff)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        CmdRespLog* log = CmdRespLog::GetInstance();
        AddInquiryCdb(0x11);
        output_flags.save_log = 0;
        AddInquiryCdb(0x22);
        log->Flush();
        c->EqualNum(SizeOf(kLog), 0, "opened but nothing written while off");
        output_flags.save_log = 1;
        log->Flush();
        c->Matches(ReadAll(kLog), CdbPattern("00000011", '1'), "only the record taken while on");
    });
}

struct OpenFailCase {
    bool ssdlog;
    const char* blocked;
};

void PrintTo(const OpenFailCase& c, std::ostream* os) { *os << c.blocked; }

class CmdRespLogOpenFail : public CmdRespLogTest, public ::testing::WithParamInterface<OpenFailCase> {};

TEST_P(CmdRespLogOpenFail, WarnsAndRunsWithoutALog)
{
    const OpenFailCase p = GetParam();
    EXPECT_IN_FRESH_PROCESS([p](Checks* c) {
        if (p.ssdlog) {
            MakeSsdLog();
        }
        // A directory in the file's place cannot be opened as a stream, not even by root.
        mkdir(p.blocked, 0755);
        std::string out = CaptureStdout([] {
            AddInquiryCdb(1);
            CmdRespLog::GetInstance()->Flush();
        });
        c->Equal(out,
                 std::string("Warning: Cann't open '") + p.blocked +
                     "'. This may due to cannot creat file under current directory.\n"
                     "         No impact of using 'zembrovant' ,but no file to record  the operation.\n\n",
                 "warning");
        rmdir(p.blocked);
        AddInquiryCdb(2);
        CmdRespLog::GetInstance()->Flush();
        c->That(!Exists(kLog) && !Exists(kSsdLog), "the log stays closed");
    });
}

INSTANTIATE_TEST_SUITE_P(Paths, CmdRespLogOpenFail,
                         ::testing::Values(OpenFailCase{false, kLog}, OpenFailCase{true, kSsdLog}),
                         CaseName());

TEST_F(CmdRespLogTest, FailedSizeReopenClosesTheLogSilently)
{
    EXPECT_IN_FRESH_PROCESS([](Checks* c) {
        WriteFiller(kLog, 0x100000);
        CmdRespLog* log = CmdRespLog::GetInstance();
        rename(kLog, "old.txt");
        mkdir(kLog, 0755);
        std::string out = CaptureStdout([log] {
            AddInquiryCdb(1);
            log->Flush();
        });
        c->Equal(out, "", "nothing printed");
        c->EqualNum(SizeOf("old.txt"), 0x100000, "the old file is untouched");
        rmdir(kLog);
        AddInquiryCdb(2);
        log->Flush();
        c->That(!Exists(kLog), "closed for the rest of the run");
    });
}

} // namespace

// Written through record by record, a command's records stay together when the size rule
// empties the file in the middle of them: a SCSI command between its CDB and its sense, a
// tunnel exchange before its "Read APT". What came before the command goes.
struct SplitCase {
    const char* what;
    std::vector<u32> kinds;   // the command's records, in order; the limit falls before the last
    std::vector<u32> before;  // records of earlier commands, all under the limit; they go
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.what; }

const u8 kSplitBlock[32] = {0xA4, 0x0F};
// What the tunnel's buffer commands send: WRITE BUFFER and READ BUFFER.
const u8 kWriteBufferBlock[32] = {0x3B, 0x01};
const u8 kReadBufferBlock[32] = {0x3C, 0x01};

// A tunnel exchange is WRITE/READ BUFFER commands between its "Write APT" and "Read APT".
const u8* BlockOf(u32 kind, bool in_tunnel)
{
    if (kind == LOG_SCSI_CDB && in_tunnel) {
        return kWriteBufferBlock;
    }
    return kind == LOG_SCSI_CDB ? kSplitBlock : kReadBufferBlock;
}

// The length of a record of each kind as the log writes it, its time included.
long RecordLen(u32 kind)
{
    switch (kind) {
    case LOG_SCSI_CDB:
        return 142;
    case LOG_SCSI_SENSE:
        return 238;
    case LOG_WRITE_APT:
        return 209;
    default:
        return 193;  // LOG_READ_APT
    }
}

const char* Title(u32 kind)
{
    switch (kind) {
    case LOG_SCSI_CDB:
        return "SCSI CDB";
    case LOG_SCSI_SENSE:
        return "SCSI Sense";
    case LOG_WRITE_APT:
        return "Write APT";
    default:
        return "Read APT";
    }
}

// The block titles of the records in a log text, in order.
std::vector<std::string> Titles(const std::string& text)
{
    std::vector<std::string> titles;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > 14 && line[2] == ':' && line[5] == ':' && line[8] == ':' && line.compare(12, 2, "  ") == 0) {
            titles.push_back(line.substr(14));
        }
    }
    return titles;
}

class CmdRespLogSplit : public CmdRespLogTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(CmdRespLogSplit, EmptiedFileKeepsTheCommandInProgress)
{
    const SplitCase s = GetParam();
    EXPECT_IN_FRESH_PROCESS([s](Checks* c) {
        // Filled so that every record but the last fits under the limit.
        long before_last = 0;
        long earlier = 0;
        std::vector<std::string> expected;
        for (size_t i = 0; i < s.kinds.size(); i++) {
            before_last += i + 1 < s.kinds.size() ? RecordLen(s.kinds[i]) : 0;
            expected.push_back(Title(s.kinds[i]));
        }
        for (u32 kind : s.before) {
            earlier += RecordLen(kind);
        }
        WriteFiller(kLog, 0x100000 - earlier - before_last);
        CmdRespLog* log = CmdRespLog::GetInstance();
        for (const std::vector<u32>* part : {&s.before, &s.kinds}) {
            bool tunnel = false;
            for (u32 kind : *part) {
                tunnel = kind == LOG_WRITE_APT || (tunnel && kind != LOG_READ_APT);
                log->AddRecord(kind, BlockOf(kind, tunnel), 32, 0, 0);
                log->Flush();
            }
        }
        const std::string text = ReadAll(kLog);
        c->That(text.find('z') == std::string::npos, "the filler is gone");
        c->That(Titles(text) == expected, "the whole command:\n" + text);
        long total = before_last + RecordLen(s.kinds.back());
        c->EqualNum(static_cast<long>(text.size()), total, "its length");
    });
}

// A tunnel exchange whose data phase failed ends with its status read and no "Read APT";
// count plain commands follow it (83: the ones before fill the carried text to just under
// its cap).
std::vector<u32> AfterFailedExchange(int count)
{
    std::vector<u32> kinds = {LOG_WRITE_APT,  LOG_SCSI_CDB, LOG_SCSI_SENSE, LOG_SCSI_CDB,
                              LOG_SCSI_SENSE, LOG_SCSI_CDB, LOG_SCSI_SENSE};
    for (int i = 0; i < count; i++) {
        kinds.push_back(LOG_SCSI_CDB);
        kinds.push_back(LOG_SCSI_SENSE);
    }
    return kinds;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CmdRespLogSplit,
    ::testing::Values(SplitCase{"a SCSI command", {LOG_SCSI_CDB, LOG_SCSI_SENSE}, {}},
                      SplitCase{"a tunnel exchange",
                                {LOG_WRITE_APT, LOG_SCSI_CDB, LOG_SCSI_SENSE, LOG_SCSI_CDB, LOG_SCSI_SENSE,
                                 LOG_READ_APT},
                                {}},
                      SplitCase{"a SCSI command after a failed tunnel exchange", {LOG_SCSI_CDB, LOG_SCSI_SENSE},
                                AfterFailedExchange(0)},
                      SplitCase{"a SCSI command after a failed tunnel exchange and many commands",
                                {LOG_SCSI_CDB, LOG_SCSI_SENSE}, AfterFailedExchange(83)}),
    CaseName());
