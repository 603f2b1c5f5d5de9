#include "e2e_util.h"
#include "case_names.h"

#include <sys/stat.h>

namespace {

class Entry : public E2eTest {};

class EntryBadShape : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EntryBadShape, MessageThenUsageAndStatus0)
{
    RunResult r = Run({GetParam(), "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    const std::string msg = "    zembrovant's arguments is error, please check.\n";
    ASSERT_GE(r.out.size(), msg.size());
    EXPECT_EQ(r.out.substr(0, msg.size()), msg);
    EXPECT_NE(r.out.find("Usage : zembrovant [otpion] device"), std::string::npos);
    // The shape check comes before the log directory is prepared.
    EXPECT_FALSE(Exists("SSDlog"));
}

INSTANTIATE_TEST_SUITE_P(Shapes, EntryBadShape, ::testing::Values("-abc", "--a", "x", "-", "/dev/sda"), CaseIndexName());

TEST_F(Entry, DevicePathMustBeginWithDevS)
{
    RunResult r = Run({"-b", "out.bin", "/tmp/disk"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "/tmp/disk is not a SATA or SCSI storage device\n");
}

TEST_F(Entry, UnknownDeviceFailsClassification)
{
    RunResult r = Run({"-b", "out.bin", "/dev/sdq"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Zembrovant open device: /dev/sdq failed\n");
}

TEST_F(Entry, CommandRunRecreatesEmptyLogDir)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    WriteFile("SSDlog/old.txt", "stale");
    RunResult r = Run({"-b", "out.bin", "/dev/sdq"});
    EXPECT_TRUE(IsDir("SSDlog"));
    EXPECT_FALSE(Exists("SSDlog/old.txt"));
    struct stat st;
    ASSERT_EQ(stat(Path("SSDlog").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0775u & ~mask);
}

TEST_F(Entry, MultilogSecondRemovesLogDirWithoutRecreating)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    Run({"-t", "multilog", "/dev/sdq"});
    EXPECT_FALSE(Exists("SSDlog"));
}

TEST_F(Entry, SingleArgumentRemovesLogDir)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    Run({"-h"});
    EXPECT_FALSE(Exists("SSDlog"));
}

TEST_F(Entry, CommandRunCreatesLogDirWhenAbsent)
{
    Run({"-b", "out.bin", "/dev/sdq"});
    EXPECT_TRUE(IsDir("SSDlog"));
}

TEST_F(Entry, RaidWorkflowArgumentsReturnAtOnce)
{
    RunResult r = Run({"-SAMx", "fw.bin", "/dev/sdq"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("Zembrovant open device"), std::string::npos);
}

} // namespace
