// The directories a run writes into, end to end, as someone who can open "SSDlog" or write
// in or beside the working directory would try them: a hold kept on "SSDlog" for ever never
// stops a run; "SSDlog" or another directory swapped for a link while a run is at work gets
// nothing outside it, and the save is not said to be done; a save killed at any step leaves
// nothing that others may read wider than the final file, and the next start-up tidies it;
// a name too long for the file system cannot be opened.
//
// Drives: /dev/sda the demo QUMA-K4410TN0100 behind SAT with the one-key and vendor-log
// answers.
#include "e2e_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "case_names.h"

namespace {

class HeldDirE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        Drives("");
        char tmpl[] = "/tmp/zv_e2e_outside_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        outside_ = tmpl;
    }

    void TearDown() override
    {
        int rc = system(("rm -rf '" + outside_ + "'").c_str());
        (void)rc;
        E2eTest::TearDown();
    }

    // The demo drive with the one-key and vendor-log answers, then an override.
    void Drives(const std::string& override_text)
    {
        UseDrives({"demo/sata_k4410.txt", "one_key/sata_one_key.txt", "vendor_log/sata_vendor_log.txt"},
                  override_text);
    }


    // Unfinished saves left in a directory of the working directory.
    std::vector<std::string> Temps(const std::string& dir) const
    {
        std::vector<std::string> found;
        for (const std::string& e : DirEntries(Path(dir))) {
            if (e.rfind(".zvtmp-", 0) == 0) {
                found.push_back(dir + "/" + e);
            }
        }
        return found;
    }

    std::string outside_;
};

double Seconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// ---------------------------------------------------------------- a hold kept for ever

struct LockCase {
    const char* what;
    std::vector<std::string> args;
    std::string file;  // what the run writes into SSDlog
};

void PrintTo(const LockCase& c, std::ostream* os) { *os << c.what; }

class HeldLock : public HeldDirE2e, public ::testing::WithParamInterface<LockCase> {};

// Anyone may open "SSDlog" and hold it alone: the run waits a moment, then goes on and writes
// its files there all the same.
TEST_P(HeldLock, RunEndsWithinSecondsAndWritesItsFiles)
{
    const LockCase& c = GetParam();
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    const int held = open(Path("SSDlog").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    time_limit_ = 20;
    const double start = Seconds();
    RunResult r = Run(c.args);
    const double took = Seconds() - start;
    close(held);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
    EXPECT_TRUE(Exists(c.file)) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Runs, HeldLock,
                         ::testing::Values(LockCase{"identify", {"-i", "/dev/sda"}, "SSDlog/cmd_resp_log.txt"},
                                           LockCase{"one-key collection", {"-a", "-b", "x.bin", "/dev/sda"},
                                                    "SSDlog/x.bin"},
                                           LockCase{"vendor log", {"-t", "log", "-b", "log.bin", "/dev/sda"},
                                                    "SSDlog/log.bin"}),
                         CaseName());

// ---------------------------------------------------------------- a directory swapped mid-run

struct SwapCase {
    const char* what;
    std::vector<std::string> args;
    const char* dir;        // the directory swapped for a link to a directory elsewhere
    const char* override;   // fixture lines: the swap at a chosen SG_IO ("@SWAP@" the command)
    const char* fault;      // or a rule of the fault library that runs it (ZV_FAULT_RUN)
    const char* held_file;  // what the run put into the directory it holds, found under its new name
    std::string out_line;   // the failure line
};

void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.what; }

class SwappedDir : public HeldDirE2e, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(SwappedDir, NothingOutsideChangesAndTheSaveIsNotSaidDone)
{
    const SwapCase& c = GetParam();
    const std::string swap =
        std::string("mv ") + c.dir + " " + c.dir + ".held && ln -s '" + outside_ + "' " + c.dir;
    if (std::string(c.dir) != "SSDlog") {
        ASSERT_EQ(mkdir(Path(c.dir).c_str(), 0755), 0);
    }
    if (c.override[0] != '\0') {
        std::string text = c.override;
        text.replace(text.find("@SWAP@"), 6, swap);
        Drives(text);
    } else {
        preload_.push_back(FaultLib());
        env_["ZV_FAULT"] = c.fault;
        env_["ZV_FAULT_RUN"] = swap;
        env_["ZV_FAULT_IGNORE"] = "cmd_resp_log.txt";
    }
    time_limit_ = 30;
    RunResult r = Run(c.args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    // The swap took place.
    struct stat st;
    ASSERT_EQ(lstat(Path(c.dir).c_str(), &st), 0);
    ASSERT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(DirEntries(outside_), std::vector<std::string>{});
    EXPECT_NE(r.out.find(c.out_line), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("is saved to"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("has been saved to"), std::string::npos) << r.out;
    EXPECT_TRUE(Exists(std::string(c.dir) + ".held/" + c.held_file));
}

const char kSwapAtSmartEnable[] = "drive /dev/sda\nanswer ata B0 fea=D8\n  run \"@SWAP@\"\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SwappedDir,
    ::testing::Values(
        SwapCase{"SSDlog during the one-key collection", {"-a", "-b", "x.bin", "/dev/sda"}, "SSDlog",
                 kSwapAtSmartEnable, "", "x.bin",
                 "    data can't be saved to SSDlog/x.bin, User Err Coode [00000017h:File can't be opened]\n"},
        SwapCase{"SSDlog as the vendor log is saved", {"-t", "log", "-b", "log.bin", "/dev/sda"}, "SSDlog", "",
                 "tmpfile@1=RUN", "log.bin",
                 "    Original binary data can't be saved to SSDlog/log.bin, User Err Coode "
                 "[00000017h:File can't be opened]\n"},
        SwapCase{"the -b directory before the rename", {"-s", "value", "-b", "sub/out.bin", "/dev/sda"}, "sub", "",
                 "rename@1=RUN", "out.bin",
                 "    Original binary data can't be saved to sub/out.bin, User Err Coode "
                 "[00000017h:File can't be opened]\n"}),
    CaseName());

// ---------------------------------------------------------------- a save killed at each step

struct KilledSaveCase {
    const char* what;
    const char* rules;
    bool leaves_temp;  // the save had a named temporary file when it was killed
};

void PrintTo(const KilledSaveCase& c, std::ostream* os) { *os << c.what; }

class KilledSave : public HeldDirE2e, public ::testing::WithParamInterface<KilledSaveCase> {};

// The earlier file is 0600: what the killed save left is never readable by more, it keeps the
// earlier file whole, and the next run, whatever it is, removes it.
TEST_P(KilledSave, LeavesNothingWiderAndTheNextStartUpTidies)
{
    WriteFile("out.bin", "an earlier file");
    ASSERT_EQ(chmod(Path("out.bin").c_str(), 0600), 0);
    preload_.push_back(FaultLib());
    env_["ZV_FAULT"] = GetParam().rules;
    env_["ZV_FAULT_IGNORE"] = "cmd_resp_log.txt";
    time_limit_ = 30;
    RunResult r = Run({"-s", "value", "-b", "out.bin", "/dev/sda"});
    ASSERT_EQ(r.signal, SIGKILL) << r.out;
    EXPECT_EQ(ReadFile("out.bin"), "an earlier file");
    const std::vector<std::string> left = Temps(".");
    EXPECT_EQ(!left.empty(), GetParam().leaves_temp);
    for (const std::string& name : left) {
        struct stat st;
        ASSERT_EQ(lstat(Path(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
        EXPECT_EQ(st.st_mode & 0177, 0u) << name << " has mode " << std::oct << (st.st_mode & 0777);
    }

    preload_.clear();
    env_.erase("ZV_FAULT");
    ASSERT_EQ(Run({"-h"}).status, 0);
    EXPECT_EQ(Temps("."), std::vector<std::string>{});
    EXPECT_EQ(ReadFile("out.bin"), "an earlier file");
}

INSTANTIATE_TEST_SUITE_P(
    Points, KilledSave,
    ::testing::Values(KilledSaveCase{"written, before it is on the disk", "fsync@1=KILL", false},
                      KilledSaveCase{"on the disk, before it has a name", "linkat@1=KILL", false},
                      KilledSaveCase{"named, before the rename", "rename@1=KILL", true},
                      KilledSaveCase{"no nameless files: while it is written", "tmpfile@1+=EOPNOTSUPP,fwrite@1=KILL",
                                     true},
                      KilledSaveCase{"no nameless files: before it is on the disk",
                                     "tmpfile@1+=EOPNOTSUPP,fsync@1=KILL", true},
                      KilledSaveCase{"no links by descriptor: the copy before it is on the disk",
                                     "linkat@1+=EPERM,fsync@2=KILL", true},
                      KilledSaveCase{"no links by descriptor: the copy before the rename",
                                     "linkat@1+=EPERM,rename@1=KILL", true}),
    CaseName());

// ---------------------------------------------------------------- a name too long for the file system

struct LongNameCase {
    const char* what;
    std::vector<std::string> args;  // "@LONG@" stands for the name
    std::string out_line;           // "@LONG@" as well
};

void PrintTo(const LongNameCase& c, std::ostream* os) { *os << c.what; }

class LongName : public HeldDirE2e, public ::testing::WithParamInterface<LongNameCase> {};

TEST_P(LongName, CannotBeOpened)
{
    const std::string name(300, 'n');
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
        if (a == "@LONG@") {
            a = name;
        }
    }
    std::string line = GetParam().out_line;
    if (line.find("@LONG@") != std::string::npos) {
        line.replace(line.find("@LONG@"), 6, name);
    }
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    EXPECT_EQ(Temps("."), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Saves, LongName,
    ::testing::Values(LongNameCase{"-b", {"-s", "value", "-b", "@LONG@", "/dev/sda"},
                                   "    Original binary data can't be saved to @LONG@, User Err Coode "
                                   "[00000017h:File can't be opened]\n"},
                      LongNameCase{"-x", {"-s", "value", "-x", "@LONG@", "/dev/sda"},
                                   "    Parsed text data can't be saved to @LONG@, User Err Coode "
                                   "[00000017h:File can't be opened]\n"},
                      LongNameCase{"one-key", {"-a", "-b", "@LONG@", "/dev/sda"},
                                   "    write cache file failed, User Err Coode [00000017h:File can't be opened]\n"}),
    CaseName());

} // namespace
