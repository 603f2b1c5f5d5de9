// The files the program writes, end to end: a name it writes that stands for a link to a
// file elsewhere, or for a FIFO, is refused (the other file unchanged, the run not waiting);
// a save that fails or is cut short keeps the earlier file whole and leaves no temporary
// file; the saves also work where files cannot be made without a name, or linked.
//
// Drives: /dev/sda the demo QUMA-K4410TN0100 behind SAT with the one-key answers. The RAID
// paths run a fake vendor utility first on PATH that records its arguments.
#include "e2e_util.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "case_names.h"

namespace {

std::string DataPath(const std::string& rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

// Writes its arguments, one a line, to "<name>.args" in the working directory.
const char kFakeUtility[] =
    "#!/bin/sh\n"
    "printf '%s\\n' \"$@\" > \"$(basename \"$0\").args\"\n"
    "echo 'Exit Code: 0x00'\n";

// A controller image of 40000 bytes whose first part is 10000 bytes, for the "-MIC" path.
std::string MicImage()
{
    std::string b(40000, '\0');
    for (size_t i = 0; i < b.size(); i++) {
        b[i] = static_cast<char>(i * 7 + 3);
    }
    const std::uint32_t first = 10000;
    for (int i = 0; i < 4; i++) {
        b[44 + i] = static_cast<char>(first >> (8 * i));
    }
    return b;
}

class OutputFilesE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        env_["ZV_EMU_CONFIG"] = DataPath("demo/sata_k4410.txt") + ":" + DataPath("one_key/sata_one_key.txt");
        char tmpl[] = "/tmp/zv_e2e_outside_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        outside_ = tmpl;
        ASSERT_EQ(mkdir(Path("bin").c_str(), 0755), 0);
        for (const char* name : {"MegaCli64", "MegaCli"}) {
            WriteFile(std::string("bin/") + name, kFakeUtility);
            ASSERT_EQ(chmod(Path(std::string("bin/") + name).c_str(), 0755), 0);
        }
        // The program runs the utility through the shell, which finds the fakes first.
        const char* path = getenv("PATH");
        saved_path_ = path != nullptr ? path : "";
        ASSERT_EQ(setenv("PATH", (Path("bin") + ":" + saved_path_).c_str(), 1), 0);
    }

    void TearDown() override
    {
        setenv("PATH", saved_path_.c_str(), 1);
        int rc = system(("rm -rf '" + outside_ + "'").c_str());
        (void)rc;
        E2eTest::TearDown();
    }

    std::string Outside(const std::string& rel) const { return outside_ + "/" + rel; }

    // Names in a directory of the working directory that a save left behind unfinished.
    std::vector<std::string> Temps(const std::string& dir) const
    {
        std::vector<std::string> found;
        DIR* d = opendir(Path(dir).c_str());
        while (d != nullptr) {
            struct dirent* e = readdir(d);
            if (e == nullptr) {
                closedir(d);
                break;
            }
            if (std::string(e->d_name).rfind(".zvtmp-", 0) == 0) {
                found.push_back(dir + "/" + e->d_name);
            }
        }
        return found;
    }

    std::string outside_;
    std::string saved_path_;
};

// ---------------------------------------------------------------- names that are no file

struct OwnNameCase {
    const char* what;
    const char* name;  // what stands in the way, relative to the working directory
    std::vector<std::string> args;
    const char* image;     // "mic": fw.rom is a controller image; "short": 100 bytes; "": none
    std::string out_line;  // the failure line the run prints
};

void PrintTo(const OwnNameCase& c, std::ostream* os) { *os << c.what; }

const OwnNameCase own_name_cases[] = {
    {"the log in the working directory", "cmd_resp_log.txt", {"-l"}, "",
     "Warning: Cann't open 'cmd_resp_log.txt'. This may due to cannot creat file under current directory.\n"},
    {"the one-key temporary file", "SSDlog/x.bin_tmp", {"-a", "-b", "x.bin", "/dev/sda"}, "",
     "    data can't be saved to SSDlog/x.bin_tmp, User Err Coode [00000017h:File can't be opened]\n"},
    {"the rewritten controller image", "fw.rom.new",
     {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, "mic", "open file error!\n"},
    {"the padded controller image", "fw.rom.tmp", {"-a", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"},
     "short", "    Original binary data can't be saved to fw.rom.tmp, User Err Coode [00000017h:File can't be opened]\n"},
    {"the utility's capture", "upgrade_out", {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"},
     "mic", "open file error!\n"},
    {"a -b name", "out.bin", {"-s", "value", "-b", "out.bin", "/dev/sda"}, "",
     "    Original binary data can't be saved to out.bin, User Err Coode [00000017h:File can't be opened]\n"},
};

enum class InTheWay { kLink, kFifo };

void PrintTo(InTheWay way, std::ostream* os) { *os << (way == InTheWay::kLink ? "as a link" : "as a FIFO"); }

class OwnNameInTheWay : public OutputFilesE2e,
                        public ::testing::WithParamInterface<std::tuple<OwnNameCase, InTheWay>> {};

// Nothing is written through the link (its file elsewhere, 2 MB as a log of the limit's size
// would be, keeps every byte), the run does not wait on the FIFO, and both say why.
TEST_P(OwnNameInTheWay, IsRefusedAndLeftAsItIs)
{
    const OwnNameCase& c = std::get<0>(GetParam());
    const bool link = std::get<1>(GetParam()) == InTheWay::kLink;
    const std::string precious(2 << 20, 'p');
    {
        std::ofstream(Outside("target"), std::ios::binary) << precious;
    }
    if (std::string(c.name).rfind("SSDlog/", 0) == 0) {
        ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    }
    if (std::string(c.image) == "mic") {
        WriteFile("fw.rom", MicImage());
    } else if (std::string(c.image) == "short") {
        WriteFile("fw.rom", std::string(100, 'i'));
    }
    if (link) {
        ASSERT_EQ(symlink(Outside("target").c_str(), Path(c.name).c_str()), 0);
    } else {
        ASSERT_EQ(mkfifo(Path(c.name).c_str(), 0644), 0);
    }
    time_limit_ = 20;
    RunResult r = Run(c.args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(c.out_line), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(std::string("    '") + c.name + "' is " + (link ? "a symbolic link" : "a FIFO") +
                         ", not a regular file: nothing is written to it\n"),
              std::string::npos)
        << r.err;

    struct stat st;
    ASSERT_EQ(lstat(Path(c.name).c_str(), &st), 0);
    EXPECT_TRUE(link ? S_ISLNK(st.st_mode) : S_ISFIFO(st.st_mode));
    std::ifstream f(Outside("target"), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_TRUE(ss.str() == precious) << ss.str().size() << " bytes";
    // The utility is never run on what could not be made.
    EXPECT_FALSE(Exists("MegaCli64.args"));
    EXPECT_FALSE(Exists(std::string(c.name) == "upgrade_out" ? "fw.rom.new" : "upgrade_out"));
}

INSTANTIATE_TEST_SUITE_P(Names, OwnNameInTheWay,
                         ::testing::Combine(::testing::ValuesIn(own_name_cases),
                                            ::testing::Values(InTheWay::kLink, InTheWay::kFifo)),
                         CaseName());

// ---------------------------------------------------------------- what stands at the log's name in SSDlog

enum class Planted { kLink, kFifo, kDirectory };

void PrintTo(Planted p, std::ostream* os)
{
    *os << (p == Planted::kLink ? "a link" : p == Planted::kFifo ? "a FIFO" : "a directory with a link in it");
}

class PlantedLog : public OutputFilesE2e, public ::testing::WithParamInterface<Planted> {};

// Start-up removes whatever stands at the log's name in SSDlog, never following it: the run
// has its log there, and the file behind a link keeps every byte.
TEST_P(PlantedLog, IsRemovedAtStartUpAndTheRunLogs)
{
    {
        std::ofstream(Outside("target"), std::ios::binary) << "precious";
    }
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    const std::string log = Path("SSDlog/cmd_resp_log.txt");
    switch (GetParam()) {
    case Planted::kLink:
        ASSERT_EQ(symlink(Outside("target").c_str(), log.c_str()), 0);
        break;
    case Planted::kFifo:
        ASSERT_EQ(mkfifo(log.c_str(), 0644), 0);
        break;
    case Planted::kDirectory:
        ASSERT_EQ(mkdir(log.c_str(), 0755), 0);
        ASSERT_EQ(symlink(Outside("target").c_str(), (log + "/inner").c_str()), 0);
        WriteFile("SSDlog/cmd_resp_log.txt/file", "x");
        break;
    }
    time_limit_ = 20;
    RunResult r = Run({"-b", "none.bin", "/dev/sda"});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    struct stat st;
    ASSERT_EQ(lstat(log.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
    std::ifstream f(Outside("target"), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_EQ(ss.str(), "precious");
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedLog, ::testing::Values(Planted::kLink, Planted::kFifo, Planted::kDirectory),
                         CaseName());

// A tree at the log's name that start-up cannot remove: a file system mounted inside it is
// neither entered nor emptied, one too deep is left whole. It is moved aside, said on standard
// error, and the run logs; the next run logs too, whatever stays of it.
enum class Unremovable { kMount, kBind, kDeep };

void PrintTo(Unremovable u, std::ostream* os)
{
    *os << (u == Unremovable::kMount  ? "a file system mounted inside"
            : u == Unremovable::kBind ? "a directory of the same file system bound inside"
                                      : "40 levels deep");
}

class UnremovableLog : public OutputFilesE2e, public ::testing::WithParamInterface<Unremovable> {
protected:
    void TearDown() override
    {
        if (!mounted_.empty()) {
            for (const std::string& e : DirEntries(Path("SSDlog"))) {
                umount2(Path("SSDlog/" + e + "/mnt").c_str(), MNT_DETACH);
            }
        }
        OutputFilesE2e::TearDown();
    }


    std::string mounted_;
};

TEST_P(UnremovableLog, IsMovedAsideAndEveryRunLogs)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("SSDlog/cmd_resp_log.txt").c_str(), 0755), 0);
    std::string inner = "SSDlog/cmd_resp_log.txt";
    if (GetParam() == Unremovable::kMount) {
        inner += "/mnt";
        ASSERT_EQ(mkdir(Path(inner).c_str(), 0755), 0);
        if (mount("zvtest", Path(inner).c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
        }
        mounted_ = inner;
        WriteFile(inner + "/kept", "on another file system");
    } else if (GetParam() == Unremovable::kBind) {
        // Same st_dev as the tree around it: only the mount's own mark tells it.
        inner += "/mnt";
        ASSERT_EQ(mkdir(Path(inner).c_str(), 0755), 0);
        ASSERT_EQ(mkdir(Outside("bound").c_str(), 0755), 0);
        if (mount(Outside("bound").c_str(), Path(inner).c_str(), nullptr, MS_BIND, nullptr) != 0) {
            GTEST_SKIP() << "cannot bind-mount here: " << strerror(errno);
        }
        mounted_ = inner;
        WriteFile(inner + "/kept", "in a bound directory");
    } else {
        for (int i = 0; i < 40; i++) {
            inner += "/d";
            ASSERT_EQ(mkdir(Path(inner).c_str(), 0755), 0);
        }
        WriteFile(inner + "/kept", "deep");
    }
    time_limit_ = 20;
    RunResult r = Run({"-b", "none.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> left = DirEntries(Path("SSDlog"));
    ASSERT_EQ(left.size(), 2u) << r.err;
    const std::string aside = left[1];
    EXPECT_EQ(left[0], "cmd_resp_log.txt");
    EXPECT_EQ(aside.rfind("cmd_resp_log.txt.aside-", 0), 0u) << aside;
    EXPECT_EQ(r.err, "    'SSDlog/cmd_resp_log.txt' cannot be removed: moved aside to 'SSDlog/" + aside + "'\n");
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
    const std::string kept = "SSDlog/" + aside + inner.substr(std::string("SSDlog/cmd_resp_log.txt").size()) + "/kept";
    EXPECT_TRUE(Exists(kept)) << kept;

    // The next run tries the tree again, leaves what it cannot remove, and logs.
    RunResult next = Run({"-b", "none.bin", "/dev/sda"});
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(next.err, "");
    EXPECT_EQ(DirEntries(Path("SSDlog")), left);
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
    EXPECT_TRUE(Exists(kept)) << kept;
}

INSTANTIATE_TEST_SUITE_P(Trees, UnremovableLog,
                         ::testing::Values(Unremovable::kMount, Unremovable::kBind, Unremovable::kDeep), CaseName());

// The log is written in place: a second name of a file elsewhere is refused, and that file
// keeps every byte. (A save replaces its name and never writes into the file behind it; the
// log in SSDlog is removed by start-up, which leaves the file behind a link as it is.)
TEST_F(OutputFilesE2e, HardLinkedLogIsRefusedAndTheFileKept)
{
    const std::string precious(4096, 'p');
    {
        std::ofstream(Outside("target"), std::ios::binary) << precious;
    }
    ASSERT_EQ(link(Outside("target").c_str(), Path("cmd_resp_log.txt").c_str()), 0);
    RunResult r = Run({"-l"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "    'cmd_resp_log.txt' has other hard links: nothing is written to it\n");
    EXPECT_NE(r.out.find(own_name_cases[0].out_line), std::string::npos) << r.out;
    std::ifstream f(Outside("target"), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_TRUE(ss.str() == precious) << ss.str().size() << " bytes";
}

// ---------------------------------------------------------------- saves that fail

struct SaveFailCase {
    const char* what;
    std::vector<std::string> args;
    const char* image;     // as in OwnNameCase
    std::string file;      // the file the run saves, holding "an earlier file" before it
    const char* fault;     // ZV_FAULT, or "" for none
    long long size_limit;  // RLIMIT_FSIZE, or -1
    std::string out_line;  // the failure line the run prints
};

void PrintTo(const SaveFailCase& c, std::ostream* os) { *os << c.what; }

const std::vector<std::string> kRawArgs = {"-s", "value", "-b", "out.bin", "/dev/sda"};
const std::string kRawFailed =
    "    Original binary data can't be saved to out.bin, User Err Coode [00000019h:File Write Error]\n";

const SaveFailCase save_fail_cases[] = {
    {"-b: the disk is full", kRawArgs, "", "out.bin", "fwrite@1=ENOSPC", -1, kRawFailed},
    {"-b: the data does not reach the disk", kRawArgs, "", "out.bin", "fsync@1=EIO", -1, kRawFailed},
    {"-b: the close fails", kRawArgs, "", "out.bin", "fclose@1=EIO", -1, kRawFailed},
    {"-b: the rename fails", kRawArgs, "", "out.bin", "rename@1=EIO", -1, kRawFailed},
    {"-b: no nameless files, the rename fails", kRawArgs, "", "out.bin", "tmpfile@1+=EOPNOTSUPP,rename@1=EIO", -1,
     kRawFailed},
    {"-b: no links by descriptor, the copy's rename fails", kRawArgs, "", "out.bin", "linkat@1+=EPERM,rename@1=EIO",
     -1, kRawFailed},
    {"-x: past the file size limit", {"-s", "value", "-x", "out.txt", "/dev/sda"}, "", "out.txt", "", 500,
     "    Parsed text data can't be saved to out.txt, User Err Coode [00000019h:File Write Error]\n"},
    {"one-key: the container does not reach the disk", {"-a", "-b", "x.bin", "/dev/sda"}, "", "SSDlog/x.bin",
     "fsync@1=EIO", -1, "    data can't be saved to SSDlog/x.bin, User Err Coode [00000019h:File Write Error]\n"},
    {"one-key: the items do not fit", {"-a", "-b", "x.bin", "/dev/sda"}, "", "SSDlog/x.bin", "", 2000,
     "    write cache file failed, User Err Coode [00000019h:File Write Error]\n"},
};

class SaveFailE2e : public OutputFilesE2e, public ::testing::WithParamInterface<SaveFailCase> {
protected:
    // Runs the case with its fault or file size limit: the run ends by itself, with status 0,
    // and prints the case's failure line.
    void RunFailingSave(const SaveFailCase& c)
    {
        if (c.fault[0] != '\0') {
            preload_.push_back(FaultLib());
            env_["ZV_FAULT"] = c.fault;
            env_["ZV_FAULT_IGNORE"] = "cmd_resp_log.txt";
        }
        file_size_limit_ = c.size_limit;
        time_limit_ = 30;
        RunResult r = Run(c.args);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.out_line), std::string::npos) << r.out;
    }
};

class SaveFails : public SaveFailE2e {};

TEST_P(SaveFails, KeepsTheEarlierFileWhole)
{
    const SaveFailCase& c = GetParam();
    if (c.file.rfind("SSDlog/", 0) == 0) {
        ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    }
    if (std::string(c.image) == "mic") {
        WriteFile("fw.rom", MicImage());
    } else if (std::string(c.image) == "short") {
        WriteFile("fw.rom", std::string(100, 'i'));
    }
    WriteFile(c.file, "an earlier file");
    RunFailingSave(c);
    EXPECT_EQ(ReadFile(c.file), "an earlier file");
    EXPECT_TRUE(Temps(".").empty());
    EXPECT_TRUE(Temps("SSDlog").empty());
    EXPECT_FALSE(Exists("MegaCli64.args"));
}

INSTANTIATE_TEST_SUITE_P(Causes, SaveFails, ::testing::ValuesIn(save_fail_cases), CaseName());

// The controller path's files are new ones (an earlier file of the name is the operator's and
// refused): a failed save leaves no file under the name, and the utility is not run.
const SaveFailCase new_file_fail_cases[] = {
    {"the rewritten controller image: the disk is full",
     {"-a", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, "mic", "fw.rom.new", "write@1=ENOSPC", -1,
     "make new fw file error!\n"},
    {"the rewritten controller image: past the file size limit",
     {"-a", "-SAM", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, "mic", "fw.rom.new", "", 4096,
     "make new fw file error!\n"},
    {"the padded controller image: the data does not reach the disk",
     {"-a", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"}, "short", "fw.rom.tmp", "fsync@1=EIO", -1,
     "    Original binary data can't be saved to fw.rom.tmp, User Err Coode [00000019h:File Write Error]\n"},
    {"the padded controller image: the close fails", {"-a", "MegaCli64", "-adpfwflash", "-f", "fw.rom", "-a0"},
     "short", "fw.rom.tmp", "close@1=EIO", -1,
     "    Original binary data can't be saved to fw.rom.tmp, User Err Coode [00000019h:File Write Error]\n"},
};

class NewFileFails : public SaveFailE2e {};

TEST_P(NewFileFails, LeavesNoFile)
{
    const SaveFailCase& c = GetParam();
    WriteFile("fw.rom", std::string(c.image) == "mic" ? MicImage() : std::string(100, 'i'));
    RunFailingSave(c);
    EXPECT_FALSE(Exists(c.file));
    EXPECT_FALSE(Exists("upgrade_out"));
    EXPECT_TRUE(Temps(".").empty());
    EXPECT_FALSE(Exists("MegaCli64.args"));
}

INSTANTIATE_TEST_SUITE_P(Causes, NewFileFails, ::testing::ValuesIn(new_file_fail_cases), CaseName());

// ---------------------------------------------------------------- the temporary name swapped

struct SwappedTempCase {
    const char* what;
    const char* fault;  // where the temporary name is swapped for a link (ZV_FAULT_RUN)
    bool earlier;       // an earlier file (0600) stands at the final name
};

void PrintTo(const SwappedTempCase& c, std::ostream* os) { *os << c.what; }

class SwappedTemp : public OutputFilesE2e, public ::testing::WithParamInterface<SwappedTempCase> {};

// Someone who can write the directory swaps the temporary name for a link to a file elsewhere:
// the final name stays the earlier file, whole and with its mode (or stays absent), never the
// link, the file elsewhere is not touched, and nothing is left beside it.
TEST_P(SwappedTemp, TheEarlierFileStays)
{
    const SwappedTempCase& c = GetParam();
    {
        std::ofstream(Outside("target"), std::ios::binary) << "precious";
    }
    if (c.earlier) {
        WriteFile("v.bin", "an earlier file");
        ASSERT_EQ(chmod(Path("v.bin").c_str(), 0600), 0);
    }
    preload_.push_back(FaultLib());
    env_["ZV_FAULT"] = c.fault;
    env_["ZV_FAULT_IGNORE"] = "cmd_resp_log.txt";
    env_["ZV_FAULT_RUN"] = "for f in .zvtmp-*; do rm -f \"$f\" && ln -s '" + Outside("target") + "' \"$f\"; done";
    time_limit_ = 30;
    RunResult r = Run({"-s", "value", "-b", "v.bin", "/dev/sda"});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("    Original binary data can't be saved to v.bin, User Err Coode "
                         "[00000017h:File can't be opened]\n"),
              std::string::npos)
        << r.out;
    struct stat st;
    if (c.earlier) {
        ASSERT_EQ(lstat(Path("v.bin").c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(ReadFile("v.bin"), "an earlier file");
    } else {
        EXPECT_NE(lstat(Path("v.bin").c_str(), &st), 0);
    }
    EXPECT_EQ(Temps("."), std::vector<std::string>{});
    std::ifstream f(Outside("target"), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_EQ(ss.str(), "precious");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SwappedTemp,
    ::testing::Values(SwappedTempCase{"the nameless file's link, at the rename", "rename@1=RUN", true},
                      SwappedTempCase{"no nameless files: the named file, at the rename",
                                      "tmpfile@1+=EOPNOTSUPP,rename@1=RUN", true},
                      SwappedTempCase{"before the look that comes before the rename", "fclose@1=RUN", true},
                      SwappedTempCase{"no earlier file, at the rename", "rename@1=RUN", false}),
    CaseName());

// ---------------------------------------------------------------- saves without the nameless file

class SaveFallback : public OutputFilesE2e, public ::testing::WithParamInterface<const char*> {};

// Where a file cannot be made without a name, or not be linked to one, the files come out
// the same as anywhere else, over the earlier ones, with their permissions, and nothing is left.
TEST_P(SaveFallback, WritesTheSameFiles)
{
    RunResult ref = Run({"-s", "value", "-b", "ref.bin", "-x", "ref.txt", "/dev/sda"});
    ASSERT_EQ(ref.status, 0);
    WriteFile("out.bin", "an earlier file");
    ASSERT_EQ(chmod(Path("out.bin").c_str(), 0600), 0);
    preload_.push_back(FaultLib());
    env_["ZV_FAULT"] = GetParam();
    RunResult r = Run({"-s", "value", "-b", "out.bin", "-x", "out.txt", "/dev/sda"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("    Original binary data is saved to out.bin\n    Parsed text data is saved to out.txt\n"), 0u)
        << r.out;
    EXPECT_EQ(ReadFile("out.bin"), ReadFile("ref.bin"));
    EXPECT_EQ(ReadFile("out.txt"), ReadFile("ref.txt"));
    EXPECT_EQ(ReadFile("ref.bin").size(), 1024u);
    struct stat st;
    ASSERT_EQ(stat(Path("out.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(Temps(".").empty());
}

INSTANTIATE_TEST_SUITE_P(Systems, SaveFallback,
                         ::testing::Values("tmpfile@1+=EOPNOTSUPP", "linkat@1+=EPERM"),
                         CaseName());

} // namespace
