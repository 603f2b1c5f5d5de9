#include <gtest/gtest.h>

#include "case_names.h"

#include <sys/resource.h>

#include <algorithm>
#include <ostream>

#include "cmd_wrap.h"

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

} // namespace
