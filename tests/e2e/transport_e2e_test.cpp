// How the outcome of a request is judged, through the real binary on the emulated drives:
// the SCSI status, a CHECK CONDITION whose sense says nothing, and residuals that are no
// shortfall. Each failure prints the command's failure line; the clean answers beside them
// are shown as they always were.
//
// Drives (tests/data/demo):
//   /dev/sdb  QUMA-K6470BN0400 SAS drive
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

struct OutcomeCase {
    const char* what;
    const char* node;
    std::vector<std::string> args;  // before the device
    std::string answers;            // fixture lines for the node, over its own answers
    const char* golden;             // the text shown, under tests/data; null: out
    std::string out;
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
};

class TransportOutcome : public E2eTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(TransportOutcome, FailureLineOrTheAnswer)
{
    const OutcomeCase& c = GetParam();
    WriteFile("answers.txt", std::string("drive ") + c.node + "\n" + c.answers);
    env_["ZV_EMU_CONFIG"] =
        TestData("demo/sas_k6470.txt") + ":" + TestData("demo/sas_k6470_scsi.txt") + ":" + Path("answers.txt");
    std::vector<std::string> args = c.args;
    args.push_back(c.node);
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.golden != nullptr ? "\n" + TestDataFile(c.golden) : c.out);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransportOutcome, ::testing::ValuesIn(outcome_cases), CaseIndexName());

} // namespace
