// The command/response log of a run that changes a drive: a download, a new value or a
// pass-through command killed halfway still leaves on file every command that went out, up
// to the one it was killed in; a log that
// cannot be written is said once on standard error and the run goes on.
//
// Drives (tests/data/demo, tests/data/e2e, tests/data/fw):
//   /dev/sdb  QUMA-K6470BN0400 SAS drive (the image in one WRITE BUFFER behind SET TIMESTAMP)
//   /dev/sdc  QUMA-K6410TN0100 behind SAT (DOWNLOAD MICROCODE, 254 sectors a command)
//   /dev/sdd  QUMA-K4410TR0050 behind the vendor tunnel (one sector a command)
#include "e2e_util.h"

#include <signal.h>

#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;

std::string Data(const char* rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

std::string Drives()
{
    return Data("demo/sata_k4410.txt") + ":" + Data("demo/sas_k6470.txt") + ":" + Data("demo/sas_k6470_scsi.txt") +
           ":" + Data("e2e/sata_k6410.txt") + ":" + Data("fw/apt_k4410.txt") + ":" + Data("fw/download.txt");
}

// The CDBs of the log's "SCSI CDB" blocks, 16 bytes each as the log shows them.
std::vector<Bytes> LoggedCdbs(const std::string& log)
{
    std::vector<Bytes> cdbs;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 8 || line.compare(line.size() - 8, 8, "SCSI CDB") != 0) {
            continue;
        }
        std::string hex;
        for (int row = 0; row < 2 && std::getline(lines, line); row++) {
            for (char c : line) {
                if (c != 'h') {
                    hex += c;
                }
            }
        }
        cdbs.push_back(zvemu::Hex(hex));
    }
    return cdbs;
}

// The CDBs that reached the drives, padded as the log pads them.
std::vector<Bytes> SentCdbs16(const std::string& trace)
{
    std::vector<Bytes> cdbs;
    for (const zvemu::TraceEntry& e : zvemu::Only(zvemu::ParseTrace(trace), "sgio")) {
        Bytes c = e.cdb;
        c.resize(16, 0);
        cdbs.push_back(c);
    }
    return cdbs;
}

class CmdLogE2e : public E2eTest {
protected:
    std::string Log() const
    {
        return Exists("SSDlog/cmd_resp_log.txt") ? ReadFile("SSDlog/cmd_resp_log.txt") : ReadFile("cmd_resp_log.txt");
    }
};

struct KilledCase {
    const char* what;
    const char* node;
    const char* answers;  // for the node: the command that kills, after those that are taken
    std::vector<std::string> args;  // the image is "img.bin"
    std::string input;
    size_t image_len;
};

void PrintTo(const KilledCase& c, std::ostream* os) { *os << c.what; }

const KilledCase killed_cases[] = {
    {"SAS firmware in one WRITE BUFFER", "/dev/sdb", "answer scsi 3B b1=05\n  kill\n",
     {"-u", "img.bin", "/dev/sdb"}, "", 3 * 65536},
    {"SAS loader", "/dev/sdb", "answer scsi 3B b1=25\n  kill\n", {"-u", "loader", "img.bin", "/dev/sdb"}, "", 2048},
    {"SATA firmware behind SAT in one command", "/dev/sdc", "answer ata 92\n  kill\n",
     {"-u", "img.bin", "/dev/sdc"}, "", 2 * 254 * 512},
    // A later answer wins while it lasts: the first sector is taken, the second one kills.
    {"SATA firmware through the tunnel, a sector a command", "/dev/sdd",
     "answer ata 92\n  kill\nanswer ata 92\n  times 1\n", {"-u", "img.bin", "/dev/sdd"}, "", 3 * 512},
    {"new WWN", "/dev/sdb", "answer scsi C1 fn=0D\n  kill\n", {"-o", "setwwn", "0123456789ABCDEF", "/dev/sdb"}, "",
     0},
    {"guided pass-through", "/dev/sdb", "answer scsi 12 alloc=24\n  kill\n", {"-U", "spt", "/dev/sdb"},
     "6\n12\n0\n0\n0\n24\n0\n1\n24\nn\n", 0},
};

class KilledRun : public CmdLogE2e, public ::testing::WithParamInterface<KilledCase> {};

TEST_P(KilledRun, LogHoldsEveryCommandSent)
{
    const KilledCase& c = GetParam();
    WriteFile("kill.txt", std::string("drive ") + c.node + "\n" + c.answers);
    env_["ZV_EMU_CONFIG"] = Drives() + ":" + Path("kill.txt");
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    // Word 11 of the header, the first part's length, is the whole image.
    std::string image(c.image_len, '\x5A');
    for (int i = 0; i < 4 && image.size() >= 64; i++) {
        image[44 + i] = static_cast<char>(c.image_len >> (8 * i));
    }
    WriteFile("img.bin", image);
    time_limit_ = 30;
    RunResult r = Run(c.args, c.input);
    ASSERT_EQ(r.signal, SIGKILL) << r.out;
    const std::vector<Bytes> sent = SentCdbs16(ReadFile("trace.txt"));
    // The classification (two commands at least), then the transfer the run died in.
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(LoggedCdbs(Log()), sent);
}

INSTANTIATE_TEST_SUITE_P(Cases, KilledRun, ::testing::ValuesIn(killed_cases), CaseName());

// FORMAT UNIT goes out beside the log; what the run sent before it is on file when it starts.
TEST_F(CmdLogE2e, KilledFormatLeavesTheLogOfWhatCameBefore)
{
    WriteFile("kill.txt", "drive /dev/sdf\nanswer scsi 04\n  kill\n");
    env_["ZV_EMU_CONFIG"] = Data("format/sas_format.txt") + ":" + Path("kill.txt");
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    time_limit_ = 30;
    RunResult r = Run({"-f", "520", "/dev/sdf"});
    ASSERT_EQ(r.signal, SIGKILL) << r.out;
    std::vector<Bytes> before;
    for (const Bytes& cdb : SentCdbs16(ReadFile("trace.txt"))) {
        if (cdb[0] == 0x1A) {
            break;  // the format's first request, MODE SENSE(6)
        }
        before.push_back(cdb);
    }
    ASSERT_GE(before.size(), 2u);
    EXPECT_EQ(LoggedCdbs(Log()), before);
}

// The size rule empties the file between a command's records as they are written through:
// the command's CDB, already on file, is written again in front of its sense. Here the menu's
// SET TIMESTAMP: the filler puts its CDB record exactly at the limit, its sense past it.
TEST_F(CmdLogE2e, EmptiedLogKeepsTheCommandItIsIn)
{
    env_["ZV_EMU_CONFIG"] = Data("demo/sas_k6470.txt") + ":" + Data("demo/sas_k6470_scsi.txt");
    const std::string input = "1\n8\n3\nq\n";
    RunResult ref = Run({}, input);
    ASSERT_EQ(ref.status, 0);
    const std::string before = ReadFile("cmd_resp_log.txt");
    const size_t cdb = before.find("SCSI CDB\n    A4h");
    ASSERT_NE(cdb, std::string::npos) << before;
    const size_t sense = before.find("  SCSI Sense\n", cdb);
    ASSERT_NE(sense, std::string::npos);
    // Each record begins with its time of day (12 characters); the CDB record ends where its
    // sense record's time begins.
    const size_t cdb_record = cdb - 14;
    const size_t cdb_end = sense - 12;
    const std::string a4_record = before.substr(cdb_record + 12, cdb_end - cdb_record - 12);

    WriteFile("cmd_resp_log.txt", std::string(0x100000 - cdb_end, 'z'));
    RunResult r = Run({}, input);
    ASSERT_EQ(r.status, 0);
    const std::string log = ReadFile("cmd_resp_log.txt");
    EXPECT_LE(log.size(), 0x100000u);
    // Emptied at the sense: the A4h record comes first, its sense right behind it.
    ASSERT_GE(log.size(), cdb_end - cdb_record);
    EXPECT_EQ(log.substr(12, a4_record.size()), a4_record);
    EXPECT_EQ(log.substr(cdb_end - cdb_record + 12, 12), "  SCSI Sense");
    EXPECT_EQ(log.find('z'), std::string::npos);
}

// A file size limit (a full disk, as the log sees it) fails every write of the log.
TEST_F(CmdLogE2e, FailedLogWriteIsSaidOnceAndTheRunGoesOn)
{
    env_["ZV_EMU_CONFIG"] = Drives();
    file_size_limit_ = 64;
    RunResult r = Run({"-o", "setwwn", "0123456789ABCDEF", "/dev/sdb"});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    New WWN set successfully!\n");
    EXPECT_EQ(r.err, "Warning: Cannot write 'SSDlog/cmd_resp_log.txt'. The log of the operations may be incomplete.\n");
    // What fitted under the limit was written; nothing past it.
    EXPECT_LE(Log().size(), 64u);
}

} // namespace
