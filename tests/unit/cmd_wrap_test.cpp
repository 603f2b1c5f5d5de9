#include <gtest/gtest.h>

#include "case_names.h"

#include <sys/resource.h>

#include <algorithm>

#include "cmd_wrap.h"
#include "disk_cmnd.h"

namespace {

struct ShapeCase {
    const char* arg;
    bool ok;
};

class FirstArgShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(FirstArgShape, Rule) { EXPECT_EQ(IsFirstArgShapeValid(GetParam().arg), GetParam().ok) << GetParam().arg; }

INSTANTIATE_TEST_SUITE_P(Shapes, FirstArgShape,
                         ::testing::Values(ShapeCase{"-h", true}, ShapeCase{"--", true}, ShapeCase{"--help", true},
                                           ShapeCase{"--ab", true}, ShapeCase{"--a", false},
                                           ShapeCase{"-abc", false}, ShapeCase{"-", false},
                                           ShapeCase{"h", false}, ShapeCase{"ab", false}, ShapeCase{"", false},
                                           ShapeCase{"/dev/sda", false}), CaseIndexName());

struct AdaptCase {
    u32 type;
    u32 link;
    u32 runs;
};

class LinkAdaptation : public ::testing::TestWithParam<AdaptCase> {};

TEST_P(LinkAdaptation, RunsTheCounterpart)
{
    const AdaptCase& c = GetParam();
    EXPECT_EQ(AdaptTypeToLink(c.type, c.link), c.runs) << "type " << c.type << " link " << c.link;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LinkAdaptation,
    ::testing::Values(
        // ATA vendor commands on a SCSI drive
        AdaptCase{21, LINK_SCSI, 86}, AdaptCase{43, LINK_SCSI, 89}, AdaptCase{40, LINK_SCSI, 88},
        AdaptCase{57, LINK_SCSI, 91},
        // their SCSI counterparts on each ATA link
        AdaptCase{86, LINK_ATA_BY_SCSI, 21}, AdaptCase{86, LINK_ATA, 21}, AdaptCase{86, LINK_ATA_BY_FC, 21},
        AdaptCase{89, LINK_ATA_BY_SCSI, 43}, AdaptCase{89, LINK_ATA, 43}, AdaptCase{89, LINK_ATA_BY_FC, 43},
        AdaptCase{88, LINK_ATA_BY_SCSI, 40}, AdaptCase{88, LINK_ATA, 40}, AdaptCase{88, LINK_ATA_BY_FC, 40},
        AdaptCase{91, LINK_ATA_BY_SCSI, 57}, AdaptCase{91, LINK_ATA, 57}, AdaptCase{91, LINK_ATA_BY_FC, 57},
        // already right for the link
        AdaptCase{21, LINK_ATA_BY_SCSI, 21}, AdaptCase{21, LINK_ATA_BY_FC, 21}, AdaptCase{43, LINK_ATA, 43},
        AdaptCase{86, LINK_SCSI, 86}, AdaptCase{89, LINK_SCSI, 89}, AdaptCase{88, LINK_SCSI, 88},
        AdaptCase{91, LINK_SCSI, 91}, AdaptCase{57, LINK_ATA_BY_SCSI, 57},
        // an unknown link type changes nothing
        AdaptCase{21, 0, 21}, AdaptCase{86, 3, 86}, AdaptCase{57, 16, 57},
        // every other type stands, none included
        AdaptCase{4, LINK_SCSI, 4}, AdaptCase{45, LINK_SCSI, 45}, AdaptCase{85, LINK_ATA_BY_SCSI, 85},
        AdaptCase{87, LINK_ATA, 87}, AdaptCase{TYPE_BUTT, LINK_SCSI, TYPE_BUTT},
        AdaptCase{TYPE_BUTT, LINK_ATA_BY_SCSI, TYPE_BUTT}),
    CaseIndexName());

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

TEST(DataBuf, AllocatesClearedAndFrees)
{
    allocDataBuf(1024);
    ASSERT_NE(data_buf, nullptr);
    EXPECT_EQ(data_len, 1024u);
    for (u32 i = 0; i < data_len; i++) {
        ASSERT_EQ(data_buf[i], 0) << i;
        data_buf[i] = 0xAA;
    }
    allocDataBuf(16);
    ASSERT_NE(data_buf, nullptr);
    EXPECT_EQ(data_len, 16u);
    EXPECT_EQ(data_buf[15], 0);
    allocDataBuf(0);
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(data_len, 0u);
    allocDataBuf(8);
    freeDataBuf();
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(data_len, 0u);
    freeDataBuf();
}

TEST(DiskQueryLen, Is512) { EXPECT_EQ(getDiskQueryLen(), 512u); }

} // namespace
