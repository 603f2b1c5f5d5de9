#include "e2e_util.h"
#include "case_names.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Golden(const std::string& rel)
{
    std::ifstream f(std::string(ZV_TEST_DATA_DIR) + "/" + rel, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

const std::string& UsageText()
{
    static const std::string text = Golden("options/usage.txt");
    return text;
}

const char* const kVersionText =
    "\n"
    "Zembrovant Professional, Control and Monitor Utility for QUMA\n"
    "Version 1.3.8.3.  Released on DEC 6, 2013 at 18:00:00 UTC+8\n"
    "\n";

class Options : public E2eTest {};

TEST_F(Options, UsageGoldenIsPresent) { ASSERT_GT(UsageText().size(), 4000u); }

class OptionsHelp : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OptionsHelp, UsageByteForByte)
{
    RunResult r = Run({GetParam()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, UsageText());
    EXPECT_EQ(r.err, "");
}

// Help acts at once, whatever follows it.
TEST_P(OptionsHelp, UsageWithDeviceToo)
{
    RunResult r = Run({GetParam(), "-s", "value", "/dev/sdq"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, UsageText());
}

INSTANTIATE_TEST_SUITE_P(Spellings, OptionsHelp, ::testing::Values("-h", "-H", "--help", "--usage"), CaseName());

class OptionsVersion : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OptionsVersion, VersionScreenByteForByte)
{
    RunResult r = Run({GetParam()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kVersionText);
}

INSTANTIATE_TEST_SUITE_P(Spellings, OptionsVersion,
                         ::testing::Values("-V", "-v", "--version", "--copyright", "--license"), CaseName());

struct RefuseCase {
    std::vector<std::string> args;
    const char* msg;
    const char* err;  // getopt's own diagnostic on standard error, or null for none
};

void PrintTo(const RefuseCase& c, std::ostream* os) { *os << ArgsText(c.args); }

class OptionsRefuse : public E2eTest, public ::testing::WithParamInterface<RefuseCase> {};

// A refused option prints its line and the usage text, touches no drive and exits 0.
TEST_P(OptionsRefuse, MessageUsageStatus0)
{
    const RefuseCase& c = GetParam();
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(c.msg) + "\n" + UsageText());
    if (c.err != nullptr) {
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    } else {
        EXPECT_EQ(r.err, "");
    }
}

const char* const kSmartMsg = "Zembrovant requires smart's name as argument";
const char* const kTableMsg = "Zembrovant requires table's name as argument";
const char* const kFwMsg = "Zembrovant requires firmware name as argument";
const char* const kUtilMsg = "Zembrovant requires util's name as argument";
const char* const kFileMsg = "Zembrovant requires file name as argument";
const char* const kValueMsg = "Zembrovant requires the value as argument";
const char* const kOptionMsg = "Zembrovant requires option's name as argument";
const char* const kUnsupportedMsg = "Zembrovant does not support current option";

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsRefuse,
    ::testing::Values(
        // wrong argument count
        RefuseCase{{"-V", "/dev/sdq"}, kSmartMsg, nullptr}, RefuseCase{{"--version", "/dev/sdq"}, kSmartMsg, nullptr},
        RefuseCase{{"-l", "/dev/sdq"}, kSmartMsg, nullptr},
        RefuseCase{{"-i", "-b", "x.bin", "/dev/sdq"}, kSmartMsg, nullptr},
        RefuseCase{{"--identify", "a", "b", "/dev/sdq"}, kSmartMsg, nullptr},
        RefuseCase{{"-c", "/dev/sdq", "a", "b", "c", "/dev/sdq"}, kFwMsg, nullptr},
        // wrong value
        RefuseCase{{"-s", "Value", "/dev/sdq"}, kSmartMsg, nullptr},
        RefuseCase{{"--smart=bogus", "/dev/sdq"}, kSmartMsg, nullptr},
        RefuseCase{{"-t", "log3", "/dev/sdq"}, kTableMsg, nullptr},
        RefuseCase{{"-U", "Flush", "/dev/sdq"}, kUtilMsg, nullptr},
        RefuseCase{{"-o", "getSN", "/dev/sdq"}, kOptionMsg, nullptr},
        RefuseCase{{"-L", "selftests", "/dev/sdq"}, kOptionMsg, nullptr},
        RefuseCase{{"-r", "adaptec", "/dev/sdq"}, kOptionMsg, nullptr},
        RefuseCase{{"-f", "4096", "/dev/sdq"}, kFileMsg, nullptr},
        // value equal to the device
        RefuseCase{{"-u", "/dev/sdq"}, kFwMsg, nullptr},
        RefuseCase{{"-u", "loader", "/dev/sdq"}, kFwMsg, nullptr},
        RefuseCase{{"-b", "/dev/sdq"}, kFileMsg, nullptr},
        RefuseCase{{"-x", "/dev/sdq"}, kFileMsg, nullptr},
        RefuseCase{{"--txtdata=/dev/sdq", "/dev/sdq"}, kFileMsg, nullptr},
        // missing value
        RefuseCase{{"-o", "setwwn", "/dev/sdq"}, kValueMsg, nullptr},
        RefuseCase{{"-o", "setflag", "/dev/sdq"}, kValueMsg, nullptr},
        RefuseCase{{"--option=setmodel", "/dev/sdq"}, kValueMsg, nullptr},
        RefuseCase{{"-c"}, kUnsupportedMsg, "option requires an argument -- 'c'"},
        RefuseCase{{"-s"}, kUnsupportedMsg, "option requires an argument -- 's'"},
        RefuseCase{{"--binary"}, kUnsupportedMsg, "option '--binary' requires an argument"},
        // letters and long options without an action
        RefuseCase{{"--datacompare", "/dev/sdq"}, kUnsupportedMsg, nullptr},
        RefuseCase{{"-z", "/dev/sdq"}, kUnsupportedMsg, "invalid option -- 'z'"},
        RefuseCase{{"-p", "all.bin", "/dev/sdq"}, kUnsupportedMsg, "invalid option -- 'p'"},
        RefuseCase{{"--clean=1", "/dev/sdq"}, kUnsupportedMsg, "option '--clean' doesn't allow an argument"}),
    CaseName());

// A single argument that the loop does not act on needs a device: the usage text, status 1.
class OptionsSingle : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OptionsSingle, UsageStatus1)
{
    RunResult r = Run({GetParam()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, UsageText());
}

INSTANTIATE_TEST_SUITE_P(Options, OptionsSingle,
                         ::testing::Values("-a", "-i", "-I", "--all", "--clean", "--datagradation", "--"),
                         CaseName());

// Accepted options go on to the device, which no emulated drive answers here.
class OptionsAccepted : public E2eTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(OptionsAccepted, ReachClassification)
{
    RunResult r = Run(GetParam());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Zembrovant open device: /dev/sdq failed\n");
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionsAccepted,
    ::testing::Values(std::vector<std::string>{"-s", "value", "/dev/sdq"},
                      std::vector<std::string>{"-c", "/dev/sdq"},
                      std::vector<std::string>{"-i", "-r", "megaraid", "/dev/sdq"},
                      std::vector<std::string>{"-I", "megaraid_0", "x", "/dev/sdq"},
                      std::vector<std::string>{"-u", "loader", "ld.bin", "/dev/sdq"},
                      std::vector<std::string>{"-o", "setsn", "QM2013120600000001AB", "/dev/sdq"},
                      std::vector<std::string>{"-f", "520", "/dev/sdq"},
                      std::vector<std::string>{"-g", "1", "-x", "out.txt", "/dev/sdq"},
                      std::vector<std::string>{"-s", "value", "-s", "nothing", "/dev/sdq"}),
    CaseName());

// No option at all: the device is classified first, then the message and the usage
// text; the run returns before the log is flushed.
TEST_F(Options, NoOptionAfterClassification)
{
    env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/demo/sata_k4410.txt";
    RunResult r = Run({"--", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Zembrovant does not support current option\n" + UsageText());
    EXPECT_EQ(ReadFile("SSDlog/cmd_resp_log.txt"), "");
}

// A bad device reports its own error before the missing option.
TEST_F(Options, NoOptionBadDeviceFirst)
{
    RunResult r = Run({"--", "/dev/sdq"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Zembrovant open device: /dev/sdq failed\n");
}

TEST_F(Options, ListWithoutDrives)
{
    RunResult r = Run({"-l"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No Physical Drive found!\n");
}

} // namespace
