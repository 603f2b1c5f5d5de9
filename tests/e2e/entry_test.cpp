#include "e2e_util.h"
#include "case_names.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
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
    struct stat st;
    ASSERT_EQ(stat(Path("SSDlog").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0775u & ~mask);
}

// ---------------------------------------------------------------- the log directory at start-up

struct StartUpCase {
    const char* what;
    std::vector<std::string> args;
    bool results;           // "SSDlog" holds earlier results besides the program's own files
    bool dir_after;         // "SSDlog" is there after the run
    const char* log_place;  // where this run's log is: "SSDlog", "." or "" for none
};

void PrintTo(const StartUpCase& c, std::ostream* os) { *os << c.what; }

class LogDirStartUp : public E2eTest, public ::testing::WithParamInterface<StartUpCase> {};

// Start-up removes only the program's own files from "SSDlog": its log (every run's log starts
// empty) and the temporary file a killed save left. Earlier results stay, and the directory
// goes only when nothing else is left in it. The log goes where it went when a run removed the
// directory whole: into "SSDlog" for a run with a command, else into the working directory.
TEST_P(LogDirStartUp, RemovesOnlyTheProgramsOwnFiles)
{
    const StartUpCase& c = GetParam();
    env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/demo/sata_k4410.txt";
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0755), 0);
    WriteFile("SSDlog/cmd_resp_log.txt", "old log\n");
    WriteFile("SSDlog/.zvtmp-k1lLed", "a save killed before its rename");
    if (c.results) {
        WriteFile("SSDlog/all_info_earlier.bin", "earlier collection");
        WriteFile("SSDlog/notes.txt", "the operator's");
        ASSERT_EQ(mkdir(Path("SSDlog/sub").c_str(), 0755), 0);
        WriteFile("SSDlog/sub/cmd_resp_log.txt", "not the program's log");
    }
    RunResult r = Run(c.args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(IsDir("SSDlog"), c.dir_after);
    if (c.results) {
        EXPECT_EQ(ReadFile("SSDlog/all_info_earlier.bin"), "earlier collection");
        EXPECT_EQ(ReadFile("SSDlog/notes.txt"), "the operator's");
        EXPECT_EQ(ReadFile("SSDlog/sub/cmd_resp_log.txt"), "not the program's log");
    }
    EXPECT_FALSE(Exists("SSDlog/.zvtmp-k1lLed"));
    const std::string place = c.log_place;
    if (place == "SSDlog") {
        const std::string log = ReadFile("SSDlog/cmd_resp_log.txt");
        EXPECT_NE(log.find("SCSI CDB"), std::string::npos);
        EXPECT_EQ(log.find("old log"), std::string::npos);
    } else {
        EXPECT_FALSE(Exists("SSDlog/cmd_resp_log.txt"));
    }
    EXPECT_EQ(Exists("cmd_resp_log.txt"), place == ".");
}

INSTANTIATE_TEST_SUITE_P(
    Runs, LogDirStartUp,
    ::testing::Values(StartUpCase{"a command with earlier results", {"-b", "none.bin", "/dev/sda"}, true, true, "SSDlog"},
                      StartUpCase{"a command with nothing else in it", {"-b", "none.bin", "/dev/sda"}, false, true,
                                  "SSDlog"},
                      StartUpCase{"help with earlier results", {"-h"}, true, true, ""},
                      StartUpCase{"help with nothing else in it", {"-h"}, false, false, ""},
                      StartUpCase{"the listing with earlier results", {"-l"}, true, true, "."},
                      StartUpCase{"multilog with earlier results", {"-t", "multilog", "/dev/sda"}, true, true, "."},
                      StartUpCase{"multilog with nothing else in it", {"-t", "multilog", "/dev/sda"}, false, false,
                                  "."}),
    CaseName());

// "SSDlog" as a link to a directory elsewhere: the link goes (as the shell's removal did) and
// a directory of its own takes its place; nothing in the other directory is touched.
TEST_F(Entry, LogDirLinkIsNotFollowed)
{
    char tmpl[] = "/tmp/zv_e2e_other_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string other = tmpl;
    {
        std::ofstream(other + "/cmd_resp_log.txt") << "another directory's log";
    }
    ASSERT_EQ(symlink(other.c_str(), Path("SSDlog").c_str()), 0);
    env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/demo/sata_k4410.txt";
    RunResult r = Run({"-b", "none.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    struct stat st;
    ASSERT_EQ(lstat(Path("SSDlog").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI CDB"), std::string::npos);
    std::ifstream f(other + "/cmd_resp_log.txt");
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_EQ(ss.str(), "another directory's log");
    int rc = system(("rm -rf '" + other + "'").c_str());
    (void)rc;
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
