// The binary classifies the node named on the command line before anything else runs.
#include "e2e_util.h"

#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

struct NodeCase {
    const char* node;
    bool classifies;
    // opcodes of the node's requests, in order
    std::vector<unsigned> opcodes;
};

void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.node; }

class CmdLineClassify : public E2eTest, public ::testing::WithParamInterface<NodeCase> {};

TEST_P(CmdLineClassify, OpenOrRefuse)
{
    const NodeCase& c = GetParam();
    env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/discovery/drives.txt";
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    RunResult r = Run({"-b", "out.bin", c.node});
    std::string refused = std::string("Zembrovant open device: ") + c.node + " failed\n";
    if (c.classifies) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.find("Zembrovant open device"), std::string::npos) << r.out;
    } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, refused);
    }
    std::vector<unsigned> sent;
    for (const zvemu::TraceEntry& e : zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", c.node)) {
        sent.push_back(e.cdb.empty() ? 0u : e.cdb[0]);
    }
    EXPECT_EQ(sent, c.opcodes) << ReadFile("trace.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CmdLineClassify,
    ::testing::Values(
        // SAT: INQUIRY, then IDENTIFY in ATA PASS-THROUGH(16) (the native route sends nothing)
        NodeCase{"/dev/sdc", true, {0x12, 0x85}},
        // tunnel: the pass-through is refused, the tunnel answers, then INQUIRY and READ CAPACITY as SCSI
        NodeCase{"/dev/sdd", true, {0x12, 0x85, 0x3B, 0x3C, 0x3C, 0x12, 0x25}},
        // SAS: INQUIRY and READ CAPACITY, whose failure does not stop the classification
        NodeCase{"/dev/sdf", true, {0x12, 0x25}},
        NodeCase{"/dev/sdg", false, {0x12}},
        NodeCase{"/dev/sdq", false, {}}),
    CaseName());

} // namespace
