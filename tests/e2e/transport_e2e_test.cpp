// How the outcome of a request is judged, through the real binary on the emulated drives:
// the SCSI status, a CHECK CONDITION whose sense says nothing, an ATA return announced but
// cut, and transfers that did not arrive whole. Each failure prints the command's failure
// line; the clean answers beside them are shown as they always were.
//
// Drives (tests/data/demo, tests/data/fw):
//   /dev/sda  QUMA-K4410TN0100 behind SAT
//   /dev/sdb  QUMA-K6470BN0400 SAS drive
//   /dev/sdd  QUMA-K4410TR0050 behind the vendor tunnel
#include "e2e_util.h"

#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

// LOG SENSE page 0Dh as the demo drive answers it (temperature 40, reference 70).
const char kTemperature[] = "  data 0D 00 00 0C 00 00 03 02 00 28 00 01 03 02 00 46\n";

std::string QueryFailed(const char* code)
{
    return std::string("    Query data failed, User Err Code [") + code + "], System Err Code [00000000h]\n";
}

const std::string kOsApi =
    "    Query data failed, User Err Code [00000001h:OS API Error], System Err Code [00000005h]\n";
const std::string kUnknown = QueryFailed("00000013h:Sense key : UNKNOWN");
const std::string kSmartUnknown =
    "    Query SMART Value/Threshold failed, User Err Code [00000013h:Sense key : UNKNOWN], System Err Code "
    "[00000000h]\n";

struct OutcomeCase {
    const char* what;
    const char* node;
    std::vector<std::string> args;  // before the device
    std::string answers;            // fixture lines for the node, over its own answers
    const char* golden;             // the text shown, under tests/data; null: out
    std::string out;
    std::string log = "";           // text the command/response log holds
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.what; }

const OutcomeCase outcome_cases[] = {
    // SCSI status of a SAS drive's LOG SENSE.
    {"GOOD", "/dev/sdb", {"-L", "temperature"}, "", "scsi_log/demo_temperature.out", ""},
    {"CONDITION MET", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  status 04\n", "scsi_log/demo_temperature.out", ""},
    {"RECOVERED ERROR", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  sense-fixed 1 5D 00\n",
     "scsi_log/demo_temperature.out", ""},
    {"COMMAND TERMINATED", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  status 22\n", nullptr, kOsApi},
    {"reserved status 01h", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  status 01\n", nullptr, kOsApi},
    {"reserved status FFh", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  status FF\n", nullptr, kOsApi},
    {"CHECK CONDITION without sense", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  status 02\n", nullptr, kUnknown},
    {"CHECK CONDITION with response code 00h", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  sense 00 00 05 00 00 00 00 0A 00 00 00 00 24 00\n",
     nullptr, kUnknown},
    // An overrun the driver reports loses nothing of the page.
    {"negative residual", "/dev/sdb", {"-L", "temperature"},
     std::string("answer scsi 4D page=0D\n") + kTemperature + "  resid -16\n", "scsi_log/demo_temperature.out", ""},
    // SMART READ DATA of the SATA drive: CHECK CONDITION with no sense bytes written.
    {"SMART data, CHECK CONDITION without sense", "/dev/sda", {"-s", "value"},
     "answer ata B0 fea=D0\n  size 512\n  status 02\n", nullptr, kSmartUnknown},
    // SMART ENABLE over SAT: the ATA Status Return descriptor decides when it is there whole.
    {"ATA return whole, status 50h", "/dev/sda", {"-s", "enable"},
     "answer ata B0 fea=D8\n  sense 72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 4F 00 C2 40 50\n", nullptr, ""},
    {"ATA return whole, status 63h", "/dev/sda", {"-s", "enable"},
     "answer ata B0 fea=D8\n  sense 72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 4F 00 C2 40 63\n", nullptr,
     "    Query data failed, User Err Code [00000008h:ATA Status Register or Error Registor return false], System "
     "Err Code [00000063h]\n"},
    {"ATA return cut by the additional sense length", "/dev/sda", {"-s", "enable"},
     "answer ata B0 fea=D8\n  sense 72 01 00 1D 00 00 00 0D 09 0C 00 00 00 00 00 00 00 4F 00 C2 40 63\n", nullptr, kOsApi},
    {"GOOD without sense: a translator that ignores CK_COND", "/dev/sda", {"-s", "enable"},
     "answer ata B0 fea=D8\n  status-return none\n", nullptr, ""},
    {"ATA return in fixed format, whose registers are not read", "/dev/sda", {"-s", "enable"},
     "answer ata B0 fea=D8\n  sense-fixed 1 00 1D\n", nullptr, ""},
    // SMART ENABLE over the tunnel: the status block counts when its status bytes arrived.
    {"tunnel status block whole", "/dev/sdd", {"-s", "enable"}, "answer ata B0 fea=D8\n", nullptr, ""},
    {"tunnel status block whole, command aborted", "/dev/sdd", {"-s", "enable"},
     "answer ata B0 fea=D8\n  regs status=51 err=04\n", nullptr,
     "    Query data failed, User Err Code [00000008h:ATA Status Register or Error Registor return false], System "
     "Err Code [00000451h]\n"},
    {"tunnel status block without its error and status bytes", "/dev/sdd", {"-s", "enable"},
     "answer ata B0 fea=D8\n  regs status=51 err=04\n  status-block 18\n", nullptr, kOsApi},
    // SMART READ DATA over the tunnel, aborted: no data arrives, the status block says why.
    {"tunnel data-in aborted by the drive", "/dev/sdd", {"-s", "value"}, "answer ata B0 fea=D0\n  regs status=51 err=04\n",
     nullptr,
     "    Query SMART Value/Threshold failed, User Err Code [00000008h:ATA Status Register or Error Registor return "
     "false], System Err Code [00000451h]\n",
     "  Read APT\n"
     "    00h  00h  00h  00h  00h  00h  00h  01h\n"
     "    40h  C2h  4Fh  00h  00h  00h  00h  00h\n"
     "    00h  00h  04h  51h  00h  00h  00h  00h\n"},
};

class TransportOutcome : public E2eTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(TransportOutcome, FailureLineOrTheAnswer)
{
    const OutcomeCase& c = GetParam();
    WriteFile("answers.txt", std::string("drive ") + c.node + "\n" + c.answers);
    env_["ZV_EMU_CONFIG"] = TestData("demo/sata_k4410.txt") + ":" + TestData("demo/sas_k6470.txt") + ":" +
                            TestData("demo/sas_k6470_scsi.txt") + ":" + TestData("fw/apt_k4410.txt") + ":" +
                            Path("answers.txt");
    std::vector<std::string> args = c.args;
    args.push_back(c.node);
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.golden != nullptr ? "\n" + TestDataFile(c.golden) : c.out);
    if (!c.log.empty()) {
        EXPECT_NE(ReadFile("SSDlog/cmd_resp_log.txt").find(c.log), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TransportOutcome, ::testing::ValuesIn(outcome_cases), CaseName());

// An IDENTIFY DEVICE that brings no data is no identification: the drive is taken by its
// INQUIRY and READ CAPACITY answers, never shown with an empty model and no capacity.
struct IdentifyCase {
    const char* what;
    const char* answers;  // for /dev/sda
    std::string out;
};

void PrintTo(const IdentifyCase& c, std::ostream* os) { *os << c.what; }

// The demo INQUIRY names no serial number; its revision "0731" is cut as the family's firmware is.
const std::string kByInquiry = "\n    Model    : QUMA-K4410TN0100\n    Serial   : \n    Firmware : 1\n"
                               "    LBA      : 195371568\n    Capacity : 100 GB\n    LinkType : SCSI\n";

const IdentifyCase identify_cases[] = {
    {"whole", "",
     "\n    Model    : QUMA-K4410TN0100\n    Serial   : K4410TN0100A13000472\n    Firmware : 10731\n"
     "    LBA      : 195371568\n    Capacity : 100 GB\n    LinkType : ATA by SCSI\n"},
    {"residual equal to the request", "answer ata EC\n  size 512\n  resid 512\n", kByInquiry},
    {"no data at all", "answer ata EC\n", kByInquiry},
};

class IdentifyArrival : public E2eTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(IdentifyArrival, BasicInformation)
{
    const IdentifyCase& c = GetParam();
    WriteFile("answers.txt", std::string("drive /dev/sda\n") + c.answers);
    env_["ZV_EMU_CONFIG"] = TestData("demo/sata_k4410.txt") + ":" + Path("answers.txt");
    RunResult r = Run({"-i", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(Cases, IdentifyArrival, ::testing::ValuesIn(identify_cases), CaseName());

} // namespace
