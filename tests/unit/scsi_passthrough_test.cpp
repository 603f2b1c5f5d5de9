// The pass-through tools in-process: the open failure, and what every way
// out of a tool leaves behind (node closed, data released, line buffer cleared, no stale file name).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include "case_names.h"
#include "console_input.h"
#include "emu_api.h"
#include "front_state.h"
#include "scsi_passthrough.h"
#include "test_init.h"

namespace {

class PassThroughTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        zvemu::Reset();
        std::string error;
        ASSERT_TRUE(zvemu::LoadFixture(std::string(ZV_TEST_DATA_DIR) + "/demo/sas_k6470.txt", &error)) << error;
        strcpy(node_, "/dev/sdb");
        dev_name = node_;
        char tmpl[] = "/tmp/zv_spt_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }

    void TearDown() override
    {
        dev_name = nullptr;
        zvemu::Reset();
        std::string cmd = "rm -rf '" + dir_ + "'";
        int rc = system(cmd.c_str());
        (void)rc;
    }

    // Runs a tool on the script; its screen output.
    std::string RunTool(void (*tool)(), const std::string& script)
    {
        FeedStdin(script);
        ::testing::internal::CaptureStdout();
        tool();
        return ::testing::internal::GetCapturedStdout();
    }

    char node_[16];
    std::string dir_;
};

struct OpenCase {
    void (*tool)();
};

void PrintTo(const OpenCase& c, std::ostream* os)
{
    *os << (c.tool == scsiPassThroughHex ? "hex tool" : "guided tool");
}

class ToolOpenFailure : public PassThroughTool, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(ToolOpenFailure, ReportedBeforeAnyQuestion)
{
    strcpy(node_, "/dev/sdz");
    FeedStdin("6\n");
    ::testing::internal::CaptureStdout();
    GetParam().tool();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "    Zembrovant open device: /dev/sdz failed; User Err Code [00000001h:OS API Error], "
              "System Err Code [00000002h]\n");
    // The answer was left unread.
    char buf[16];
    EXPECT_EQ(readConsoleLineOrExit(buf, sizeof(buf)), 1);
    EXPECT_TRUE(zvemu::Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(BothTools, ToolOpenFailure,
                         ::testing::Values(OpenCase{scsiPassThroughHex}, OpenCase{scsiPassThrough}), CaseName());

struct ExitCase {
    void (*tool)();
    const char* script;
    size_t sent;
};

void PrintTo(const ExitCase& c, std::ostream* os)
{
    *os << (c.tool == scsiPassThroughHex ? "hex tool " : "guided tool ") << c.script;
}

class ToolWaysOut : public PassThroughTool, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ToolWaysOut, LeaveNoNodeDataOrLineBehind)
{
    const ExitCase& c = GetParam();
    RunTool(c.tool, c.script);
    EXPECT_EQ(zvemu::Requests().size(), c.sent);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(data_len, 0u);
    EXPECT_EQ(bin_file_name[0], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolWaysOut,
    ::testing::Values(ExitCase{scsiPassThroughHex, "120000002400\n36\n", 1},
                      ExitCase{scsiPassThroughHex, "1200000024\n", 0},
                      ExitCase{scsiPassThroughHex, "12000000240Z\n", 0},
                      ExitCase{scsiPassThroughHex, "3B020000000000000400\n0\n4\n", 0},
                      ExitCase{scsiPassThroughHex, "3B020000000000000400\n0\n4\n1\n", 0},
                      ExitCase{scsiPassThrough, "6\n12\n0\n0\n0\n24\n0\n1\n24\nn\n", 1},
                      ExitCase{scsiPassThrough, "6\n12\n0\n0\n0\n24\n0\n2\n", 0},
                      ExitCase{scsiPassThrough, "q\n", 0}),
    CaseName());

TEST_F(PassThroughTool, EarlierFileNameIsNoAnswer)
{
    // A -b name or a menu row's name must not receive the data of a command that asked no file.
    const std::string stale = dir_ + "/stale.bin";
    strcpy(bin_file_name, stale.c_str());
    RunTool(scsiPassThrough, "6\n12\n0\n0\n0\n0\n0\n1\n0\n");
    EXPECT_EQ(zvemu::Requests().size(), 1u);
    struct stat st;
    EXPECT_NE(stat(stale.c_str(), &st), 0);
}

TEST_F(PassThroughTool, ReceivedDataWrittenWhole)
{
    const std::string out = dir_ + "/in.bin";
    const std::string shown = RunTool(scsiPassThrough, "6\n12\n0\n0\n0\n60\n0\n1\n60\ny\n" + out + "\n");
    EXPECT_NE(shown.find("    data saved to file " + out + "\n"), std::string::npos);
    FILE* f = fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char got[200];
    const size_t n = fread(got, 1, sizeof(got), f);
    fclose(f);
    // All 60h bytes of the buffer: the drive's 96 bytes cut to the request.
    ASSERT_EQ(n, 0x60u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got) + 16, 16), "QUMA-K6470BN0400");
}

TEST_F(PassThroughTool, ReceivedDataThatDoesNotFitLeavesNoPartialFile)
{
    const std::string out = dir_ + "/in.bin";
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit low = saved;
    low.rlim_cur = 2048;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    // INQUIRY of 1000h bytes: only the first 2048 of them fit under the limit.
    const std::string shown = RunTool(scsiPassThrough, "6\n12\n0\n0\n10\n0\n0\n1\n1000\ny\n" + out + "\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_NE(shown.find("    data saved to file " + out + " failed, User Err Code [00000019h:"), std::string::npos)
        << shown;
    struct stat st;
    EXPECT_NE(stat(out.c_str(), &st), 0);
}

} // namespace
