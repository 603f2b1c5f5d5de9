#include <gtest/gtest.h>
#include <sys/time.h>

#include "case_names.h"

#include "file_utils.h"
#include "msg_processor.h"
#include "temp_dir.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <vector>

namespace {

const int kUntouched = -12345;

using testdir::TempDir;

// ---- file helpers: error code by cause ----

struct FileErrCase {
    const char* cause;
    // Runs one call against a temp dir holding "four" (4 bytes) and reports its user error.
    std::function<bool(const TempDir&, int*)> call;
    int expected_err;
};

void PrintTo(const FileErrCase& c, std::ostream* os) { *os << c.cause; }

class FileErr : public ::testing::TestWithParam<FileErrCase> {};

TEST_P(FileErr, FailsWithCode)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("four", "abcd");
    // Names that are no regular file: a FIFO nobody writes to, a link to a device, a directory.
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.Path("zero").c_str()), 0);
    ASSERT_EQ(mkdir(dir.Path("dir").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.Path("fifo").c_str(), dir.Path("to_fifo").c_str()), 0);
    int err = kUntouched;
    // A call that blocks ends the test run instead of stalling it.
    alarm(30);
    EXPECT_FALSE(GetParam().call(dir, &err)) << GetParam().cause;
    alarm(0);
    EXPECT_EQ(err, GetParam().expected_err) << GetParam().cause;
}

u8 g_buf[64];
u32 g_len;

INSTANTIATE_TEST_SUITE_P(
    Causes, FileErr,
    ::testing::Values(
        FileErrCase{"write: null path before everything else",
                    [](const TempDir&, int* e) { return WriteFileData(nullptr, nullptr, 4, nullptr, e); }, 22},
        FileErrCase{"write: null data before a null mode",
                    [](const TempDir& d, int* e) { return WriteFileData(d.Path("w").c_str(), nullptr, 4, nullptr, e); },
                    3},
        FileErrCase{"write: null mode",
                    [](const TempDir& d, int* e) { return WriteFileData(d.Path("w").c_str(), g_buf, 4, nullptr, e); },
                    4},
        FileErrCase{"write: missing directory",
                    [](const TempDir& d, int* e) {
                        return WriteFileData(d.Path("nodir/w").c_str(), g_buf, 4, "wb", e);
                    },
                    23},
        FileErrCase{"write: bad mode string",
                    [](const TempDir& d, int* e) { return WriteFileData(d.Path("w").c_str(), g_buf, 4, "q", e); }, 23},
        // Never opened: a device stands under the name, not a file.
        FileErrCase{"write: a device is refused",
                    [](const TempDir&, int* e) { return WriteFileData("/dev/full", g_buf, 16, "wb", e); }, 23},
        FileErrCase{"read: null path",
                    [](const TempDir&, int* e) { return ReadFileData(nullptr, g_buf, 4, e); }, 22},
        FileErrCase{"read: null buffer",
                    [](const TempDir& d, int* e) { return ReadFileData(d.Path("four").c_str(), nullptr, 4, e); }, 3},
        FileErrCase{"read: missing file",
                    [](const TempDir& d, int* e) { return ReadFileData(d.Path("none").c_str(), g_buf, 4, e); }, 23},
        FileErrCase{"read: a FIFO", [](const TempDir& d, int* e) { return ReadFileData(d.Path("fifo").c_str(), g_buf, 4, e); },
                    23},
        FileErrCase{"read: a link to a FIFO",
                    [](const TempDir& d, int* e) { return ReadFileData(d.Path("to_fifo").c_str(), g_buf, 4, e); }, 23},
        FileErrCase{"read: a link to /dev/zero",
                    [](const TempDir& d, int* e) { return ReadFileData(d.Path("zero").c_str(), g_buf, 4, e); }, 23},
        FileErrCase{"read: a directory",
                    [](const TempDir& d, int* e) { return ReadFileData(d.Path("dir").c_str(), g_buf, 4, e); }, 23},
        FileErrCase{"length: a FIFO",
                    [](const TempDir& d, int* e) { return GetFileLen(d.Path("fifo").c_str(), &g_len, e); }, 23},
        FileErrCase{"length: a link to /dev/zero",
                    [](const TempDir& d, int* e) { return GetFileLen(d.Path("zero").c_str(), &g_len, e); }, 23},
        FileErrCase{"length: a directory",
                    [](const TempDir& d, int* e) { return GetFileLen(d.Path("dir").c_str(), &g_len, e); }, 23},
        FileErrCase{"read: file shorter than asked",
                    [](const TempDir& d, int* e) { return ReadFileData(d.Path("four").c_str(), g_buf, 5, e); }, 24},
        FileErrCase{"length: null path", [](const TempDir&, int* e) { return GetFileLen(nullptr, &g_len, e); }, 22},
        FileErrCase{"length: null result",
                    [](const TempDir& d, int* e) { return GetFileLen(d.Path("four").c_str(), nullptr, e); }, 3},
        FileErrCase{"length: missing file",
                    [](const TempDir& d, int* e) { return GetFileLen(d.Path("none").c_str(), &g_len, e); }, 23},
        // A pipe is no regular file: it cannot be opened as one.
        FileErrCase{"length: a pipe",
                    [](const TempDir&, int* e) {
                        int fds[2];
                        if (pipe(fds) != 0) {
                            *e = -1;
                            return false;
                        }
                        std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
                        bool ok = GetFileLen(path.c_str(), &g_len, e);
                        close(fds[0]);
                        close(fds[1]);
                        return ok;
                    },
                    23}),
    CaseName());

// A link to a regular file is read through; only what it leads to must be a regular file.
TEST(RegularFileReaders, LinkToARegularFileIsRead)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("four", "abcd");
    ASSERT_EQ(symlink(dir.Path("four").c_str(), dir.Path("link").c_str()), 0);
    int err = kUntouched;
    u32 len = 0;
    ASSERT_TRUE(GetFileLen(dir.Path("link").c_str(), &len, &err));
    EXPECT_EQ(len, 4u);
    u8 buf[4] = {};
    ASSERT_TRUE(ReadFileData(dir.Path("link").c_str(), buf, sizeof(buf), &err));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), sizeof(buf)), "abcd");
    EXPECT_EQ(err, kUntouched);
    // The descriptor it hands out blocks again, as a plain open would.
    const int fd = OpenRegularFile(dir.Path("link").c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    close(fd);
}

// ---- whole-file writes: what stays at the path after a failure ----

// The directory's entries, each with what it is: "name=<bytes>", "name@link", "name|fifo"
// or "name/" for a directory.
std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> out;
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    while (d != nullptr) {
        struct dirent* e = readdir(d.get());
        if (e == nullptr) {
            break;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = dir + "/" + name;
        struct stat st;
        lstat(path.c_str(), &st);
        if (S_ISLNK(st.st_mode)) {
            out.push_back(name + "@link");
        } else if (S_ISFIFO(st.st_mode)) {
            out.push_back(name + "|fifo");
        } else if (S_ISDIR(st.st_mode)) {
            out.push_back(name + "/");
        } else {
            out.push_back(name + "=" + TempDir::ReadTextPath(path));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct SaveFailCase {
    const char* cause;
    // Makes what stands at "out" in dir; outside is another directory, for link targets.
    std::function<void(const TempDir& dir, const TempDir& outside)> prepare;
    long size_limit;  // RLIMIT_FSIZE during the write, or -1
    int expected_err;
};

void PrintTo(const SaveFailCase& c, std::ostream* os) { *os << c.cause; }

class SaveFails : public ::testing::TestWithParam<SaveFailCase> {};

// A failed save leaves the directory, and any file a link there points at, exactly as they
// were: the old content whole, no half-written file and no temporary file.
TEST_P(SaveFails, LeavesEverythingAsItWas)
{
    const SaveFailCase& c = GetParam();
    TempDir dir;
    TempDir outside;
    ASSERT_TRUE(dir.ok() && outside.ok());
    outside.Write("target", "precious");
    c.prepare(dir, outside);
    const std::vector<std::string> before = Entries(dir.Path(""));
    std::vector<u8> data(8192, 0x5A);

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    if (c.size_limit >= 0) {
        struct rlimit low = saved;
        low.rlim_cur = static_cast<rlim_t>(c.size_limit);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    }
    // A FIFO that the write would wait on ends the test instead of the suite.
    alarm(20);
    int err = kUntouched;
    const bool ok = WriteFileData(dir.Path("out").c_str(), data.data(), static_cast<u32>(data.size()), "wb", &err);
    alarm(0);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(err, c.expected_err);
    EXPECT_EQ(Entries(dir.Path("")), before);
    EXPECT_EQ(outside.ReadText("target"), "precious");
    EXPECT_EQ(Entries(outside.Path("")), std::vector<std::string>{"target=precious"});
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SaveFails,
    ::testing::Values(
        // The new bytes do not fit: the old file is untouched, not truncated.
        SaveFailCase{"past the size limit, over an old file", [](const TempDir& d, const TempDir&) { d.Write("out", "old"); },
                     4096, 25},
        SaveFailCase{"past the size limit, no file before", [](const TempDir&, const TempDir&) {}, 4096, 25},
        // Names that are no regular file are refused before anything is opened.
        SaveFailCase{"a symbolic link to a file elsewhere",
                     [](const TempDir& d, const TempDir& o) {
                         ASSERT_EQ(symlink(o.Path("target").c_str(), d.Path("out").c_str()), 0);
                     },
                     -1, 23},
        SaveFailCase{"a dangling symbolic link",
                     [](const TempDir& d, const TempDir& o) {
                         ASSERT_EQ(symlink(o.Path("none").c_str(), d.Path("out").c_str()), 0);
                     },
                     -1, 23},
        SaveFailCase{"a FIFO that no one reads",
                     [](const TempDir& d, const TempDir&) { ASSERT_EQ(mkfifo(d.Path("out").c_str(), 0600), 0); }, -1,
                     23},
        SaveFailCase{"a directory",
                     [](const TempDir& d, const TempDir&) {
                         ASSERT_EQ(mkdir(d.Path("out").c_str(), 0755), 0);
                     },
                     -1, 23}),
    CaseName());

// A save replaces the old file whole and keeps its permissions; a second name of the old
// file (a hard link) keeps the old bytes rather than being written through.
TEST(FileData, SaveReplacesTheOldFileWhole)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("out", "old bytes");
    ASSERT_EQ(chmod(dir.Path("out").c_str(), 0640), 0);
    ASSERT_EQ(link(dir.Path("out").c_str(), dir.Path("second").c_str()), 0);
    int err = kUntouched;
    ASSERT_TRUE(WriteFileData(dir.Path("out").c_str(), "new", 3, "wt", &err));
    EXPECT_EQ(err, kUntouched);
    EXPECT_EQ(Entries(dir.Path("")), (std::vector<std::string>{"out=new", "second=old bytes"}));
    struct stat st;
    ASSERT_EQ(stat(dir.Path("out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// ---- files the program opens in place ----

struct InPlaceCase {
    const char* what;
    const char* mode;
    std::function<void(const TempDir& dir, const TempDir& outside)> prepare;
    bool opens;
    std::vector<std::string> after;  // the directory's entries after "more" is written and closed
};

void PrintTo(const InPlaceCase& c, std::ostream* os) { *os << c.what; }

class InPlace : public ::testing::TestWithParam<InPlaceCase> {};

TEST_P(InPlace, OnlyRegularFilesAreOpened)
{
    const InPlaceCase& c = GetParam();
    TempDir dir;
    TempDir outside;
    ASSERT_TRUE(dir.ok() && outside.ok());
    outside.Write("target", "precious");
    c.prepare(dir, outside);
    alarm(20);
    int err = kUntouched;
    FILE* f = OpenRegularFileToWrite(dir.Path("log").c_str(), c.mode, &err);
    alarm(0);
    EXPECT_EQ(f != nullptr, c.opens);
    if (f != nullptr) {
        EXPECT_EQ(err, kUntouched);
        EXPECT_EQ(fputs("more", f), 1);
        EXPECT_EQ(fclose(f), 0);
    } else {
        EXPECT_EQ(err, USER_ERR_FILE_OPEN);
    }
    EXPECT_EQ(Entries(dir.Path("")), c.after);
    EXPECT_EQ(Entries(outside.Path("")), std::vector<std::string>{"target=precious"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InPlace,
    ::testing::Values(
        InPlaceCase{"append to a file", "at", [](const TempDir& d, const TempDir&) { d.Write("log", "old "); }, true,
                    {"log=old more"}},
        InPlaceCase{"empty a file", "wt", [](const TempDir& d, const TempDir&) { d.Write("log", "old "); }, true,
                    {"log=more"}},
        InPlaceCase{"make a new file", "at", [](const TempDir&, const TempDir&) {}, true, {"log=more"}},
        InPlaceCase{"append through a link",
                    "at",
                    [](const TempDir& d, const TempDir& o) {
                        ASSERT_EQ(symlink(o.Path("target").c_str(), d.Path("log").c_str()), 0);
                    },
                    false, {"log@link"}},
        InPlaceCase{"empty through a link",
                    "wt",
                    [](const TempDir& d, const TempDir& o) {
                        ASSERT_EQ(symlink(o.Path("target").c_str(), d.Path("log").c_str()), 0);
                    },
                    false, {"log@link"}},
        // A second name of a file elsewhere: writing in place would change that file.
        InPlaceCase{"append to a file with another hard link", "at",
                    [](const TempDir& d, const TempDir& o) {
                        ASSERT_EQ(link(o.Path("target").c_str(), d.Path("log").c_str()), 0);
                    },
                    false, {"log=precious"}},
        InPlaceCase{"empty a file with another hard link", "wt",
                    [](const TempDir& d, const TempDir& o) {
                        ASSERT_EQ(link(o.Path("target").c_str(), d.Path("log").c_str()), 0);
                    },
                    false, {"log=precious"}},
        InPlaceCase{"a FIFO that no one reads", "at",
                    [](const TempDir& d, const TempDir&) { ASSERT_EQ(mkfifo(d.Path("log").c_str(), 0600), 0); },
                    false, {"log|fifo"}}),
    CaseName());

// ---- the capture file and the temporary files of unfinished saves ----

TEST(FreshFile, ReplacesAnOldFileAndRefusesAnythingElse)
{
    TempDir dir;
    TempDir outside;
    ASSERT_TRUE(dir.ok() && outside.ok());
    outside.Write("target", "precious");
    dir.Write("cap", "old capture");
    int err = kUntouched;
    const int fd = CreateFreshFile(dir.Path("cap").c_str(), &err);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(err, kUntouched);
    EXPECT_EQ(Entries(dir.Path("")), std::vector<std::string>{"cap="});
    EXPECT_TRUE(IsSameFile(fd, dir.Path("cap").c_str()));
    // Once the name stands for something else, the descriptor is not that file any more.
    ASSERT_EQ(unlink(dir.Path("cap").c_str()), 0);
    ASSERT_EQ(symlink(outside.Path("target").c_str(), dir.Path("cap").c_str()), 0);
    EXPECT_FALSE(IsSameFile(fd, dir.Path("cap").c_str()));
    close(fd);

    EXPECT_EQ(CreateFreshFile(dir.Path("cap").c_str(), &err), -1);
    EXPECT_EQ(err, USER_ERR_FILE_OPEN);
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    err = kUntouched;
    EXPECT_EQ(CreateFreshFile(dir.Path("fifo").c_str(), &err), -1);
    EXPECT_EQ(err, USER_ERR_FILE_OPEN);
    EXPECT_EQ(Entries(dir.Path("")), (std::vector<std::string>{"cap@link", "fifo|fifo"}));
    EXPECT_EQ(outside.ReadText("target"), "precious");
}

TEST(OutputTemp, NamesOfUnfinishedSaves)
{
    EXPECT_TRUE(IsOutputTempName(".zvtmp-Ab3xY9"));
    EXPECT_FALSE(IsOutputTempName(".zvtmp-Ab3xY"));
    EXPECT_FALSE(IsOutputTempName(".zvtmp-Ab3xY90"));
    EXPECT_FALSE(IsOutputTempName("x.zvtmp-Ab3xY9"));
    EXPECT_FALSE(IsOutputTempName("cmd_resp_log.txt"));
    EXPECT_FALSE(IsOutputTempName(nullptr));
}

// A temporary file that a running save holds (it keeps it locked) is never removed; one that
// a killed run left behind is, and a FIFO of such a name is no file of the program's.
TEST(OutputTemp, OnlyAnUnheldFileIsRemoved)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write(".zvtmp-stale1", "left");
    dir.Write(".zvtmp-held01", "saving");
    ASSERT_EQ(mkfifo(dir.Path(".zvtmp-fifo01").c_str(), 0600), 0);
    const int held = open(dir.Path(".zvtmp-held01").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    EXPECT_TRUE(RemoveStaleOutputTemp(dir.Path(".zvtmp-stale1").c_str()));
    EXPECT_FALSE(RemoveStaleOutputTemp(dir.Path(".zvtmp-held01").c_str()));
    EXPECT_FALSE(RemoveStaleOutputTemp(dir.Path(".zvtmp-fifo01").c_str()));
    EXPECT_EQ(Entries(dir.Path("")), (std::vector<std::string>{".zvtmp-fifo01|fifo", ".zvtmp-held01=saving"}));
    close(held);
    EXPECT_TRUE(RemoveStaleOutputTemp(dir.Path(".zvtmp-held01").c_str()));
    EXPECT_EQ(Entries(dir.Path("")), std::vector<std::string>{".zvtmp-fifo01|fifo"});
}

// ---- file helpers: success paths ----

TEST(FileData, WriteReadAndLengthRoundTrip)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.Path("data.bin");
    u8 out[300];
    for (u32 i = 0; i < sizeof(out); i++) {
        out[i] = static_cast<u8>(i * 7);
    }
    int err = kUntouched;
    ASSERT_TRUE(WriteFileData(path.c_str(), out, sizeof(out), "wb", &err));
    ASSERT_TRUE(WriteFileData(path.c_str(), out, 20, "ab", &err));
    u32 len = 0;
    ASSERT_TRUE(GetFileLen(path.c_str(), &len, &err));
    EXPECT_EQ(len, 320u);

    u8 in[320];
    memset(in, 0xEE, sizeof(in));
    ASSERT_TRUE(ReadFileData(path.c_str(), in, sizeof(in), &err));
    EXPECT_EQ(memcmp(in, out, sizeof(out)), 0);
    EXPECT_EQ(memcmp(in + 300, out, 20), 0);
    // A file longer than asked is fine: only its head is read.
    u8 head[10];
    ASSERT_TRUE(ReadFileData(path.c_str(), head, sizeof(head), &err));
    EXPECT_EQ(memcmp(head, out, sizeof(head)), 0);
    EXPECT_EQ(err, kUntouched);
}

TEST(FileData, ZeroLengthWriteFollowsTheMode)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("f", "12345");
    const std::string path = dir.Path("f");
    const u8 byte = 0;
    int err = kUntouched;
    ASSERT_TRUE(WriteFileData(path.c_str(), &byte, 0, "ab", &err));
    EXPECT_EQ(dir.ReadText("f"), "12345");
    ASSERT_TRUE(WriteFileData(path.c_str(), &byte, 0, "wb", &err));
    EXPECT_EQ(dir.ReadText("f"), "");
    ASSERT_TRUE(WriteFileData(dir.Path("new").c_str(), &byte, 0, "wt", &err));
    u32 len = 99;
    ASSERT_TRUE(GetFileLen(dir.Path("new").c_str(), &len, &err));
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(err, kUntouched);
}

TEST(FileData, ShortReadKeepsWhatWasRead)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("f", "abc");
    u8 buf[8];
    memset(buf, '.', sizeof(buf));
    int err = 0;
    EXPECT_FALSE(ReadFileData(dir.Path("f").c_str(), buf, sizeof(buf), &err));
    EXPECT_EQ(err, USER_ERR_FILE_READ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), sizeof(buf)), "abc.....");
}

TEST(FileData, LengthBeyond32BitsIsRefused)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.Path("sparse");
    int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    int rc = ftruncate(fd, 0x100000000LL + 5);
    close(fd);
    if (rc != 0) {
        GTEST_SKIP() << "no sparse files here";
    }
    u32 len = 77;
    int err = 0;
    EXPECT_FALSE(GetFileLen(path.c_str(), &len, &err));
    EXPECT_EQ(err, USER_ERR_FILE_LENGTH);
    EXPECT_EQ(len, 77u);
}

// ---- local time strings ----

std::string Strftime(const char* fmt, time_t t)
{
    struct tm parts;
    localtime_r(&t, &parts);
    char buf[64];
    strftime(buf, sizeof(buf), fmt, &parts);
    return buf;
}

// The helpers read the clock themselves, so their result must equal one of the
// readings taken just before and just after.
TEST(TimeStr, MatchesTheLocalClock)
{
    struct Case {
        std::function<std::string()> get;
        const char* fmt;
        const char* shape;
    };
    const Case cases[] = {
        {[] { return GetDateStr(); }, "%Y-%m-%d", "[0-9]{4}-[0-9]{2}-[0-9]{2}"},
        {[] { return GetTimeStr('-'); }, "%H-%M-%S", "[0-9]{2}-[0-9]{2}-[0-9]{2}"},
        {[] { return GetTimeStr(':'); }, "%H:%M:%S", "[0-9]{2}:[0-9]{2}:[0-9]{2}"},
        {[] { return GetTimeStrMs(':').substr(0, 8); }, "%H:%M:%S", "[0-9]{2}:[0-9]{2}:[0-9]{2}"},
    };
    // time() reads a coarser clock than gettimeofday(), and the two can straddle a second
    // boundary: either clock's reading before or after the call is a fair answer.
    auto readings = [] {
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        return std::vector<time_t>{time(nullptr), tv.tv_sec};
    };
    for (const Case& c : cases) {
        std::vector<time_t> seen = readings();
        std::string got = c.get();
        std::vector<time_t> after = readings();
        seen.insert(seen.end(), after.begin(), after.end());
        EXPECT_TRUE(std::regex_match(got, std::regex(c.shape))) << got;
        bool matched = false;
        for (time_t t : seen) {
            matched = matched || got == Strftime(c.fmt, t);
        }
        EXPECT_TRUE(matched) << got;
    }
}

TEST(TimeStr, MillisecondFormHasTwelveCharactersAndItsSeparator)
{
    for (char sep : {':', '-', '.'}) {
        std::string s = GetTimeStrMs(sep);
        ASSERT_EQ(s.size(), 12u) << s;
        EXPECT_EQ(s[2], sep);
        EXPECT_EQ(s[5], sep);
        EXPECT_EQ(s[8], sep);
        EXPECT_TRUE(std::regex_match(s.substr(9), std::regex("[0-9]{3}"))) << s;
    }
    EXPECT_EQ(GetTimeStr(':').size(), 8u);
    EXPECT_EQ(GetDateStr().size(), 10u);
}

// ---- host identity ----

std::vector<std::string> UpNonLoopbackIpv4()
{
    std::vector<std::string> ips;
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return ips;
    }
    for (struct ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        if ((a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        char dotted[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &reinterpret_cast<struct sockaddr_in*>(a->ifa_addr)->sin_addr, dotted, sizeof(dotted));
        ips.push_back(dotted);
    }
    freeifaddrs(list);
    std::sort(ips.begin(), ips.end());
    return ips;
}

TEST(HostInfo, MatchesWhatTheMachineReports)
{
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof(name) - 1), 0);
    HostInfo info;
    EXPECT_EQ(info.host_name, name);
    std::vector<std::string> got = info.ip_list;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, UpNonLoopbackIpv4());
    for (const std::string& ip : info.ip_list) {
        EXPECT_NE(ip.compare(0, 4, "127."), 0) << ip;
    }
}

TEST(HostInfo, RefillReplacesTheList)
{
    HostInfo info;
    info.host_name = "stale";
    info.ip_list.assign(3, "0.0.0.0");
    GetHostInfo(&info);
    EXPECT_NE(info.host_name, "stale");
    std::vector<std::string> got = info.ip_list;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, UpNonLoopbackIpv4());
}

bool SetIfUp(int sock, const char* name, bool up)
{
    struct ifreq req;
    memset(&req, 0, sizeof(req));
    strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(sock, SIOCGIFFLAGS, &req) != 0) {
        return false;
    }
    req.ifr_flags = static_cast<short>(up ? (req.ifr_flags | IFF_UP) : (req.ifr_flags & ~IFF_UP));
    return ioctl(sock, SIOCSIFFLAGS, &req) == 0;
}

// Child of the isolated-network test: 0 when every check holds, 1 on a failed
// check, 2 when this host cannot give the child a network of its own.
int IsolatedNetworkChild()
{
    if (unshare(CLONE_NEWNET) != 0) {
        return 2;
    }
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0 || !SetIfUp(sock, "lo", true)) {
        return 2;
    }
    HostInfo loopback_only;
    if (!loopback_only.ip_list.empty()) {
        fprintf(stderr, "loopback listed: %s\n", loopback_only.ip_list[0].c_str());
        return 1;
    }
    // A tunnel interface with an address, first down, then up.
    int tun = open("/dev/net/tun", O_RDWR);
    if (tun < 0) {
        return 2;
    }
    struct ifreq req;
    memset(&req, 0, sizeof(req));
    req.ifr_flags = IFF_TUN | IFF_NO_PI;
    strncpy(req.ifr_name, "zvtest0", IFNAMSIZ - 1);
    if (ioctl(tun, TUNSETIFF, &req) != 0) {
        return 2;
    }
    struct ifreq addr_req;
    memset(&addr_req, 0, sizeof(addr_req));
    strncpy(addr_req.ifr_name, "zvtest0", IFNAMSIZ - 1);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, "10.77.1.2", &addr.sin_addr);
    memcpy(&addr_req.ifr_addr, &addr, sizeof(addr));
    if (ioctl(sock, SIOCSIFADDR, &addr_req) != 0 || !SetIfUp(sock, "zvtest0", false)) {
        return 2;
    }
    HostInfo down;
    if (!down.ip_list.empty()) {
        fprintf(stderr, "down interface listed: %s\n", down.ip_list[0].c_str());
        return 1;
    }
    if (!SetIfUp(sock, "zvtest0", true)) {
        return 2;
    }
    HostInfo up;
    if (up.ip_list != std::vector<std::string>{"10.77.1.2"}) {
        fprintf(stderr, "up interface: %zu entries\n", up.ip_list.size());
        return 1;
    }
    return 0;
}

TEST(HostInfo, ListsOnlyUpInterfacesBesidesTheLoopback)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        _exit(IsolatedNetworkChild());
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "no private network namespace on this host";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// ---- StripBlank ----

struct StripCase {
    std::string in;
    int expected;
    std::string kept;
};

void PrintTo(const StripCase& c, std::ostream* os)
{
    *os << (c.in.size() <= 16 ? SpeltOut(c.in) : std::to_string(c.in.size()) + "-byte line");
}

class Strip : public ::testing::TestWithParam<StripCase> {};

TEST_P(Strip, RemovesBlanksAndNewlinesOnly)
{
    const StripCase& c = GetParam();
    // One guard byte past the line: it must survive untouched.
    std::vector<char> buf(c.in.begin(), c.in.end());
    buf.push_back('#');
    const u32 len = static_cast<u32>(c.in.size());
    ASSERT_EQ(StripBlank(buf.data(), len), c.expected);
    std::string expected_buf = c.kept + std::string(len - c.kept.size(), '\0');
    EXPECT_EQ(std::string(buf.data(), len), expected_buf);
    EXPECT_EQ(buf[len], '#');
}

std::string LongLine()
{
    std::string s;
    for (int i = 0; i < 3000; i++) {
        s += "x ";
    }
    return s;
}

INSTANTIATE_TEST_SUITE_P(Lines, Strip,
                         ::testing::Values(StripCase{"  \n", 0, ""}, StripCase{"a b", 2, "ab"},
                                           StripCase{"1 2\n", 2, "12"}, StripCase{" \tq \r\n", 3, "\tq\r"},
                                           StripCase{"abc", 3, "abc"}, StripCase{"", 0, ""},
                                           StripCase{LongLine(), 3000, std::string(3000, 'x')}),
                         CaseName());

TEST(Strip, NullBufferIsAnError) { EXPECT_EQ(StripBlank(nullptr, 4), -1); }

// ---- HexDumpToStr ----

struct HexCase {
    u32 len;
    u32 row_width;
    u32 offset_mode;
    u32 indent;
    std::vector<std::string> rows; // expected rows; "..." stands for the rows not checked
};

std::vector<std::string> SplitRows(const std::string& s)
{
    std::vector<std::string> rows;
    size_t start = 0;
    while (start < s.size()) {
        size_t nl = s.find('\n', start);
        if (nl == std::string::npos) {
            rows.push_back(s.substr(start) + "<no line end>");
            break;
        }
        rows.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return rows;
}

void PrintTo(const HexCase& c, std::ostream* os)
{
    *os << "len " << c.len << " width " << c.row_width << " offset " << c.offset_mode << " indent " << c.indent;
}

class HexDump : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexDump, Rows)
{
    const HexCase& c = GetParam();
    std::vector<u8> data(c.len);
    for (u32 i = 0; i < c.len; i++) {
        data[i] = static_cast<u8>(i);
    }
    std::string out = "kept|";
    ASSERT_TRUE(HexDumpToStr(&out, data.data(), c.len, c.row_width, c.offset_mode, c.indent));
    ASSERT_EQ(out.compare(0, 5, "kept|"), 0);
    std::vector<std::string> rows = SplitRows(out.substr(5));
    auto gap = std::find(c.rows.begin(), c.rows.end(), "...");
    if (gap == c.rows.end()) {
        EXPECT_EQ(rows, c.rows);
        return;
    }
    // Head and tail rows of a long dump, plus its row count.
    size_t head = static_cast<size_t>(gap - c.rows.begin());
    size_t tail = c.rows.size() - head - 1;
    u32 per_row = c.row_width <= 8 ? 8 : 16;
    ASSERT_EQ(rows.size(), (c.len + per_row - 1) / per_row);
    EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.begin() + head),
              std::vector<std::string>(c.rows.begin(), gap));
    EXPECT_EQ(std::vector<std::string>(rows.end() - tail, rows.end()), std::vector<std::string>(gap + 1, c.rows.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, HexDump,
    ::testing::Values(
        HexCase{20, 16, 1, 2,
                {"  0000h : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ", "  0010h : 10 11 12 13 "}},
        HexCase{16, 16, 8, 0, {"0000h : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "}},
        HexCase{10, 8, 0, 0, {"00 01 02 03 04 05 06 07 ", "08 09 "}},
        HexCase{9, 0, 0, 3, {"   00 01 02 03 04 05 06 07 ", "   08 "}},
        HexCase{3, 9, 1, 0, {"0000h : 00 01 02 "}},
        HexCase{0xFFFF, 16, 1, 0, {"0000h : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ", "...",
                                   "FFF0h : F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE "}},
        HexCase{0x10000, 8, 2, 1, {" 000000h : 00 01 02 03 04 05 06 07 ", "...", " 00FFF8h : F8 F9 FA FB FC FD FE FF "}},
        HexCase{0x1000001, 16, 1, 0, {"00000000h : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ", "...",
                                      "01000000h : 00 "}}),
    CaseName());

TEST(HexDump, RefusesBadArgumentsAndLeavesTheOutput)
{
    const u8 data[4] = {1, 2, 3, 4};
    std::string out = "before";
    EXPECT_FALSE(HexDumpToStr(&out, nullptr, 4, 16, 1, 0));
    EXPECT_FALSE(HexDumpToStr(&out, data, 0, 16, 1, 0));
    EXPECT_FALSE(HexDumpToStr(&out, data, 4, 16, 9, 0));
    EXPECT_FALSE(HexDumpToStr(nullptr, data, 4, 16, 1, 0));
    EXPECT_EQ(out, "before");
}

} // namespace
