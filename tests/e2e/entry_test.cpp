#include "e2e_util.h"
#include "case_names.h"

#include <sys/stat.h>

#include <string>
#include <vector>

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

INSTANTIATE_TEST_SUITE_P(Shapes, EntryBadShape, ::testing::Values("-abc", "--a", "x", "-", "/dev/sda"), CaseName());

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

// A file in the way of "SSDlog": the message, and the run ends before the device is opened.
TEST_F(Entry, LogDirCannotBeCreated)
{
    WriteFile("SSDlog", "not a directory");
    RunResult r = Run({"-b", "out.bin", "/dev/sdq"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    cannot create directory 'SSDlog'\n");
    EXPECT_EQ(ReadFile("SSDlog"), "not a directory");
}

TEST_F(Entry, CommandRunCreatesLogDirWhenAbsent)
{
    Run({"-b", "out.bin", "/dev/sdq"});
    EXPECT_TRUE(IsDir("SSDlog"));
}

// An argument of the RAID-controller firmware path hands the run over after the log
// directory is prepared and before any option is read or the device is opened.
class EntryRaidHandOff : public E2eTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(EntryRaidHandOff, ReturnsBeforeOptionsAndDevice)
{
    RunResult r = Run(GetParam());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("arguments is error"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Usage :"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("requires"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("open device"), std::string::npos) << r.out;
    EXPECT_TRUE(IsDir("SSDlog"));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, EntryRaidHandOff,
    ::testing::Values(std::vector<std::string>{"-f", "fw.bin", "-SAM", "/dev/sdq"},
                      std::vector<std::string>{"-f", "fw.bin", "-MICx", "/dev/sdq"},
                      std::vector<std::string>{"-f", "fw.bin", "MegaCli64", "-a0", "/dev/sdq"},
                      std::vector<std::string>{"-s", "bogus", "MegaCli", "/dev/sdq"},
                      std::vector<std::string>{"-V", "x", "-SAM", "/dev/sdq"}),
    CaseName());

// A file name and no command: the drive is classified, nothing runs, and the log of the
// classification is flushed into the fresh "SSDlog".
TEST_F(Entry, FileNameOnlyClassifiesAndFlushesTheLog)
{
    env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/demo/sata_k4410.txt";
    RunResult r = Run({"-b", "none.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(Exists("none.bin"));
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
    EXPECT_FALSE(Exists("cmd_resp_log.txt"));
}

// "multilog" as the second argument: no "SSDlog", so the log goes to the working directory.
TEST_F(Entry, MultilogLogsInTheWorkingDirectory)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/demo/sata_k4410.txt";
    RunResult r = Run({"-t", "multilog", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(Exists("SSDlog"));
    EXPECT_NE(ReadFile("cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
}

} // namespace
