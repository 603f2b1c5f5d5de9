#include <gtest/gtest.h>

#include "case_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>

#include "cmd_wrap.h"
#include "settings.h"
#include "temp_dir.h"

namespace {

struct ShapeCase {
    const char* arg;
    bool ok;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << SpeltOut(c.arg); }

class FirstArgShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(FirstArgShape, Rule) { EXPECT_EQ(IsFirstArgShapeValid(GetParam().arg), GetParam().ok) << GetParam().arg; }

INSTANTIATE_TEST_SUITE_P(Shapes, FirstArgShape,
                         ::testing::Values(ShapeCase{"-h", true}, ShapeCase{"--", true}, ShapeCase{"--help", true},
                                           ShapeCase{"--ab", true}, ShapeCase{"--a", false},
                                           ShapeCase{"-abc", false}, ShapeCase{"-", false},
                                           ShapeCase{"h", false}, ShapeCase{"ab", false}, ShapeCase{"", false},
                                           ShapeCase{"/dev/sda", false}), CaseName());

// Runs a check with RLIMIT_NOFILE set to start, then puts back what the process had.
class OpenFileLimit : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &outer_), 0); }
    void TearDown() override { setrlimit(RLIMIT_NOFILE, &outer_); }

    static struct rlimit Now()
    {
        struct rlimit l;
        EXPECT_EQ(getrlimit(RLIMIT_NOFILE, &l), 0);
        return l;
    }

    struct rlimit outer_;
};

TEST_F(OpenFileLimit, SoftRaisedHardNeverLoweredThenRestored)
{
    // A low soft limit, so the raise shows.
    struct rlimit start = outer_;
    start.rlim_cur = std::min<rlim_t>(outer_.rlim_cur, 256);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &start), 0);

    struct rlimit saved;
    bool raised = RaiseOpenFileLimit(&saved);
    EXPECT_EQ(saved.rlim_cur, start.rlim_cur);
    EXPECT_EQ(saved.rlim_max, start.rlim_max);
    struct rlimit during = Now();
    if (start.rlim_max >= 20480) {
        ASSERT_TRUE(raised);
        EXPECT_EQ(during.rlim_cur, 20480u);
        EXPECT_EQ(during.rlim_max, start.rlim_max);
    } else if (raised) {
        // Privileged: a hard limit below 20480 rises to it.
        EXPECT_EQ(during.rlim_cur, 20480u);
        EXPECT_EQ(during.rlim_max, 20480u);
    } else {
        // Not allowed to raise the hard limit: the old limits stand.
        EXPECT_EQ(during.rlim_cur, start.rlim_cur);
        EXPECT_EQ(during.rlim_max, start.rlim_max);
    }

    RestoreOpenFileLimit(saved);
    struct rlimit after = Now();
    EXPECT_EQ(after.rlim_cur, start.rlim_cur);
    EXPECT_EQ(after.rlim_max, start.rlim_max);
}

TEST_F(OpenFileLimit, HigherHardLimitIsKept)
{
    struct rlimit start = outer_;
    start.rlim_cur = 256;
    if (start.rlim_max != RLIM_INFINITY && start.rlim_max <= 20480) {
        start.rlim_max = 40000;
    }
    if (setrlimit(RLIMIT_NOFILE, &start) != 0) {
        GTEST_SKIP() << "a hard open-file limit above 20480 needs privilege here";
    }
    struct rlimit saved;
    ASSERT_TRUE(RaiseOpenFileLimit(&saved));
    struct rlimit during = Now();
    EXPECT_EQ(during.rlim_cur, 20480u);
    EXPECT_EQ(during.rlim_max, start.rlim_max);
    RestoreOpenFileLimit(saved);
    EXPECT_EQ(Now().rlim_cur, 256u);
    EXPECT_EQ(Now().rlim_max, start.rlim_max);
}

// Start-up in a directory where another run is saving into "SSDlog" (its temporary file is
// named, as where files cannot be made without a name, and locked), one run killed before
// its rename left a temporary file, and earlier results lie beside the log.
class LogDirStartUpUnit : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.ok());
        ASSERT_NE(getcwd(old_cwd_, sizeof(old_cwd_)), nullptr);
        ASSERT_EQ(chdir(dir_.Path("").c_str()), 0);
        ASSERT_EQ(mkdir("SSDlog", 0755), 0);
        dir_.Write("SSDlog/cmd_resp_log.txt", "old log");
        dir_.Write("SSDlog/.zvtmp-stale1", "killed");
        dir_.Write("SSDlog/.zvtmp-held01", "saving");
        dir_.Write("SSDlog/result.bin", "earlier");
        held_ = open("SSDlog/.zvtmp-held01", O_RDONLY);
        ASSERT_GE(held_, 0);
        ASSERT_EQ(flock(held_, LOCK_EX), 0);
    }

    void TearDown() override
    {
        if (held_ >= 0) {
            close(held_);
        }
        if (log_dir_fd >= 0) {
            close(log_dir_fd);
            log_dir_fd = -1;
        }
        EXPECT_EQ(chdir(old_cwd_), 0);
    }

    testdir::TempDir dir_;
    char old_cwd_[4096];
    int held_ = -1;
};

TEST_F(LogDirStartUpUnit, LeavesWhatARunningSaveHoldsAndEarlierResults)
{
    char* command_run[] = {const_cast<char*>("zembrovant"), const_cast<char*>("-a"), const_cast<char*>("/dev/sda"),
                           nullptr};
    ASSERT_TRUE(PrepareLogDir(3, command_run));
    EXPECT_TRUE(UseLogDir());
    EXPECT_FALSE(dir_.Exists("SSDlog/cmd_resp_log.txt"));
    EXPECT_FALSE(dir_.Exists("SSDlog/.zvtmp-stale1"));
    EXPECT_EQ(dir_.ReadText("SSDlog/.zvtmp-held01"), "saving");
    EXPECT_EQ(dir_.ReadText("SSDlog/result.bin"), "earlier");

    // A run with one argument keeps the directory for what is left in it, and writes without it.
    char* help_run[] = {const_cast<char*>("zembrovant"), const_cast<char*>("-h"), nullptr};
    ASSERT_TRUE(PrepareLogDir(2, help_run));
    EXPECT_FALSE(UseLogDir());
    EXPECT_EQ(dir_.ReadText("SSDlog/result.bin"), "earlier");

    // Once the save is over and the results are gone, the directory goes too.
    close(held_);
    held_ = -1;
    ASSERT_EQ(unlink("SSDlog/result.bin"), 0);
    ASSERT_TRUE(PrepareLogDir(2, help_run));
    EXPECT_FALSE(dir_.Exists("SSDlog"));
}

} // namespace
