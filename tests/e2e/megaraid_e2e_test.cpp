// Drives behind a MegaRAID controller through the real binary: with "-r megaraid <target>"
// every command goes through the controller's management node, and the drive answers as it
// does on its own node. The controller's volume /dev/sdc is on SCSI host 4.
#include "e2e_util.h"
#include "case_names.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

const std::uint8_t kHost = 4;
const char kSatDemo[] = "demo/sata_k4410.txt";
const char kSasDemo[] = "demo/sas_k6470.txt:demo/sas_k6470_scsi.txt";
const char kSasController[] = "megaraid/sas_controller.txt";
const char kLegacyController[] = "megaraid/legacy_controller.txt";

// ':'-separated data-relative fixtures as absolute paths.
std::string Config(const std::string& list)
{
    std::string out;
    size_t start = 0;
    while (start < list.size()) {
        size_t colon = list.find(':', start);
        std::string one = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        out += (out.empty() ? "" : ":") + (one[0] == '/' ? one : TestData(one));
        start = colon == std::string::npos ? list.size() : colon + 1;
    }
    return out;
}

// The pass-through CDB as the program builds it for a MegaRAID controller: no CK_COND, device 0.
Bytes MegaRaidForm(Bytes cdb)
{
    if (!cdb.empty() && cdb[0] == 0x85) {
        cdb[2] &= static_cast<std::uint8_t>(~0x20);
        cdb[13] = 0;
    }
    return cdb;
}

class MegaRaidE2e : public E2eTest {
protected:
    RunResult RunWith(const std::string& config, const std::vector<std::string>& args, const std::string& trace)
    {
        env_["ZV_EMU_CONFIG"] = Config(config);
        env_["ZV_EMU_TRACE"] = Path(trace);
        env_["ZV_EMU_HOST_NAME"] = "bench";
        env_["ZV_EMU_HOST_IFS"] = "";
        return Run(args);
    }

    std::vector<TraceEntry> Trace(const std::string& trace) { return zvemu::ParseTrace(ReadFile(trace)); }

    // The target byte of a controller packet.
    static int TargetOf(const TraceEntry& e) { return e.op == "mfi" ? e.packet.at(24) : e.packet.at(45); }
};

// ---- The same commands and the same text as on the drive's own node ----

struct SameCase {
    const char* what;
    const char* controller;
    std::vector<std::string> raid_args;
    const char* direct_config;
    std::vector<std::string> direct_args;
    const char* op;            // "mfi" (megaraid_sas) or "mimd" (legacy)
    int target;
};

void PrintTo(const SameCase& c, std::ostream* os) { *os << c.what; }

class MegaRaidSameAsDirect : public MegaRaidE2e, public ::testing::WithParamInterface<SameCase> {};

TEST_P(MegaRaidSameAsDirect, CommandsAndTextMatchTheDirectRun)
{
    const SameCase& c = GetParam();
    RunResult direct = RunWith(c.direct_config, c.direct_args, "direct.txt");
    const std::string direct_log = ReadFile("SSDlog/cmd_resp_log.txt");
    RunResult raid = RunWith(c.controller, c.raid_args, "raid.txt");
    EXPECT_EQ(raid.status, 0);
    EXPECT_EQ(raid.err, "");
    EXPECT_EQ(raid.status, direct.status);
    EXPECT_EQ(raid.out, direct.out);

    const std::vector<TraceEntry> trace = Trace("raid.txt");
    const std::vector<TraceEntry> sent = zvemu::Only(Trace("direct.txt"), "sgio");
    const std::vector<TraceEntry> packets = zvemu::Only(trace, c.op);
    // Nothing reaches a drive node directly.
    EXPECT_TRUE(zvemu::Only(trace, "sgio").empty()) << ReadFile("raid.txt");
    ASSERT_FALSE(sent.empty());
    ASSERT_EQ(packets.size(), sent.size()) << ReadFile("raid.txt");
    for (size_t i = 0; i < packets.size(); i++) {
        const TraceEntry& p = packets[i];
        EXPECT_EQ(p.cdb, MegaRaidForm(sent[i].cdb)) << i;
        EXPECT_EQ(p.len, sent[i].len) << i;
        EXPECT_EQ(p.err, 0) << i;
        EXPECT_EQ(p.addr, "ok") << i;
        EXPECT_EQ(TargetOf(p), c.target) << i;
        if (p.op == "mfi") {
            EXPECT_EQ(p.dir, sent[i].dir) << i;        // the frame says which way the data goes
            EXPECT_EQ(p.packet.at(0), kHost) << i;     // host_no
        } else {
            EXPECT_EQ(p.packet.at(10), kHost) << i;    // adapno: 'm' x 256 + host
            EXPECT_EQ(p.packet.at(11), 'm') << i;
        }
        if (sent[i].dir == zvemu::TRACE_DIR_OUT) {
            EXPECT_EQ(p.data.size(), sent[i].data.size()) << i;
        }
    }

    // The host number is asked once; /proc/devices is read and the node made for every request.
    std::vector<TraceEntry> idlun = zvemu::Only(trace, "ioctl");
    ASSERT_EQ(idlun.size(), 1u);
    EXPECT_EQ(zvemu::FormatTraceLine(idlun[0], false), "ioctl /dev/sdc req=5382");
    EXPECT_EQ(zvemu::Only(trace, "fopen").size(), packets.size());
    std::vector<TraceEntry> made = zvemu::Only(trace, "mknod");
    ASSERT_EQ(made.size(), packets.size());
    EXPECT_EQ(made[0].err, 0);
    for (size_t i = 1; i < made.size(); i++) {
        EXPECT_EQ(made[i].err, EEXIST) << i;
    }
    // Every node the run opened is closed again.
    size_t opened = 0;
    for (const TraceEntry& e : zvemu::Only(trace, "open")) {
        opened += e.err == 0 ? 1 : 0;
    }
    EXPECT_EQ(zvemu::Only(trace, "close").size(), opened);
    // Controller requests leave no SCSI records in the log.
    EXPECT_NE(direct_log.find("SCSI CDB"), std::string::npos);
    EXPECT_EQ(ReadFile("SSDlog/cmd_resp_log.txt").find("SCSI"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MegaRaidSameAsDirect,
    ::testing::Values(
        SameCase{"IDENTIFY of a SATA drive over megaraid_sas", kSasController, {"-I", "-r", "megaraid", "12", "/dev/sdc"},
                 kSatDemo, {"-I", "/dev/sda"}, "mfi", 12},
        SameCase{"SMART values of a SATA drive over megaraid_sas", kSasController,
                 {"-s", "value", "-r", "megaraid", "12", "/dev/sdc"}, kSatDemo, {"-s", "value", "/dev/sda"}, "mfi", 12},
        SameCase{"a time stamp written to a SAS drive over megaraid_sas", kSasController,
                 {"-o", "time", "-r", "megaraid", "3", "/dev/sdc"}, kSasDemo, {"-o", "time", "/dev/sdb"}, "mfi", 3},
        SameCase{"basic information of a SAS drive over the legacy driver", kLegacyController,
                 {"-i", "-r", "megaraid", "3", "/dev/sdc"}, kSasDemo, {"-i", "/dev/sdb"}, "mimd", 3},
        SameCase{"a vendor answer of a SAS drive over the legacy driver", kLegacyController,
                 {"-o", "getsn", "-r", "megaraid", "3", "/dev/sdc"}, kSasDemo, {"-o", "getsn", "/dev/sdb"}, "mimd",
                 3}),
    CaseName());

// ---- The target id on the command line ----

struct TargetCase {
    std::vector<std::string> args;
    int target;
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << ArgsText(c.args); }

class MegaRaidTargetId : public MegaRaidE2e, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(MegaRaidTargetId, SecondToLastOfSixOrMoreArguments)
{
    const TargetCase& c = GetParam();
    WriteFile("target0.txt", "drive /dev/megaraid_sas_ioctl_node\n  target 0 /dev/sda\n");
    RunResult r = RunWith(std::string(kSasController) + ":" + Path("target0.txt"), c.args, "trace.txt");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(TestDataFile("e2e/sata_k4410_identify.out")), std::string::npos) << r.out;
    std::vector<TraceEntry> packets = zvemu::Only(Trace("trace.txt"), "mfi");
    ASSERT_EQ(packets.size(), 3u);   // INQUIRY, then IDENTIFY DEVICE twice
    for (const TraceEntry& p : packets) {
        EXPECT_EQ(TargetOf(p), c.target);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MegaRaidTargetId,
    ::testing::Values(TargetCase{{"-I", "-r", "megaraid", "12", "/dev/sdc"}, 12},
                      // fewer than six arguments: the id stays 0
                      TargetCase{{"-r", "megaraid", "-I", "/dev/sdc"}, 0},
                      // the second-to-last argument is read as atoi reads it
                      TargetCase{{"-I", "-r", "megaraid", "-b", "id.bin", "/dev/sdc"}, 0},
                      TargetCase{{"-r", "megaraid", "-I", "012abc", "/dev/sdc"}, 12}),
    CaseName());

// ---- A drive the controller cannot reach ----

struct UnreachableCase {
    const char* what;
    std::string config;
    std::string overrides;                  // fixture lines loaded last, if any
    std::vector<std::string> args;
    std::string out;
    std::vector<std::string> first_steps;   // the trace up to the first controller request
};

void PrintTo(const UnreachableCase& c, std::ostream* os) { *os << c.what; }

class MegaRaidUnreachable : public MegaRaidE2e, public ::testing::WithParamInterface<UnreachableCase> {};

TEST_P(MegaRaidUnreachable, ClassificationFails)
{
    const UnreachableCase& c = GetParam();
    std::string config = c.config;
    if (!c.overrides.empty()) {
        WriteFile("overrides.txt", c.overrides);
        config += ":" + Path("overrides.txt");
    }
    RunResult r = RunWith(config, c.args, "trace.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.out);
    std::vector<std::string> steps;
    for (const TraceEntry& e : Trace("trace.txt")) {
        steps.push_back(e.op == "mfi" || e.op == "mimd" ? e.op + " " + e.node : zvemu::FormatTraceLine(e, false));
    }
    steps.resize(std::min(steps.size(), c.first_steps.size()));
    EXPECT_EQ(steps, c.first_steps);
}

const std::vector<std::string> kIdentify12 = {"-I", "-r", "megaraid", "12", "/dev/sdc"};
const std::string kOpenFailed = "Zembrovant open device: /dev/sdc failed\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, MegaRaidUnreachable,
    ::testing::Values(
        UnreachableCase{"no controller driver in /proc/devices", "megaraid/volume.txt:demo/sata_k4410.txt", "",
                        kIdentify12, kOpenFailed,
                        {"open /dev/sdc flags=802", "close /dev/sdc", "open /dev/sdc flags=802",
                         "ioctl /dev/sdc req=5382", "fopen /proc/devices",
                         "open /dev/megaraid_sas_ioctl_node flags=2 errno=2", "open /dev/megadev0 flags=2 errno=2",
                         "close /dev/sdc"}},
        UnreachableCase{"no drive at the target", kSasController, "", {"-I", "-r", "megaraid", "5", "/dev/sdc"},
                        kOpenFailed,
                        {"open /dev/sdc flags=802", "close /dev/sdc", "open /dev/sdc flags=802",
                         "ioctl /dev/sdc req=5382", "fopen /proc/devices",
                         "mknod /dev/megaraid_sas_ioctl_node mode=2000 dev=250:0",
                         "open /dev/megaraid_sas_ioctl_node flags=2", "close /dev/sdc",
                         "mfi /dev/megaraid_sas_ioctl_node", "close /dev/megaraid_sas_ioctl_node"}},
        UnreachableCase{"the host number cannot be read", kSasController, "drive /dev/sdc\n  idlun-errno EINVAL\n", kIdentify12,
                        "get m_hba failed!Error = -1\n" + kOpenFailed,
                        {"open /dev/sdc flags=802", "close /dev/sdc", "open /dev/sdc flags=802",
                         "ioctl /dev/sdc req=5382 errno=22", "close /dev/sdc"}}),
    CaseName());

} // namespace
