// The vendor event logs end to end: -t log / multilog on the emulated SATA drive (type 21,
// sorted and decoded for its K4410 family, renamed through "log_config.txt"), and the
// current log of the SAS drives (type 86, reached by -t log, -t multilog and -o log3).
//
// Drives (tests/data/vendor_log):
//   /dev/sda  QUMA-K4410TN0100 behind SAT, a two-sector device vendor log (sata_log.bin)
//   /dev/sdb  QUMA-K6470BN0400 SAS drive (no SATA family: contents not decoded)
//   /dev/sdc  SAS drive with a K4410 model (contents decoded)
#include "e2e_util.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu/emu_trace.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

std::string LogData(const std::string& name) { return std::string(ZV_TEST_DATA_DIR) + "/vendor_log/" + name; }

// The goldens were written from the record layouts and the fixtures' bytes, at an indent
// of 4, in UTC.
std::string Golden(const std::string& name) { return TestDataFile("vendor_log/" + name); }

// The header block that the runner puts in front of a type-21 text, for the host below.
const char kSataHeader[] =
    "    Model      : QUMA-K4410TN0100\n"
    "    Serial     : K4410TN0100A13000472\n"
    "    Firmware   : 10731\n"
    "    Capacity   : 100GB\n"
    "    Host Name  : testhost\n"
    "    IP Address : 10.1.2.3\n"
    "\n";

// 89h through ATA PASS-THROUGH(16): the length query, then one read per sector.
const Bytes kLogLength = Hex("85 08 2E 00 00 00 01 00 00 00 00 00 00 40 89 00");
const Bytes kLogSector0 = Hex("85 08 2E 00 80 00 01 00 00 00 00 00 00 40 89 00");
const Bytes kLogSector1 = Hex("85 08 2E 00 80 00 01 00 01 00 00 00 00 40 89 00");

class VendorLogE2e : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        // The child's zone comes from env_ alone.
        unsetenv("TZ");
        env_["TZ"] = "UTC";
        env_["ZV_EMU_CONFIG"] = LogData("sata_vendor_log.txt") + ":" + LogData("sas_vendor_log.txt");
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        env_["ZV_EMU_HOST_NAME"] = "testhost";
        env_["ZV_EMU_HOST_IFS"] = "lo:127.0.0.1:up,loopback eth0:10.1.2.3:up";
    }

    // The CDBs sent to a node after its classification.
    std::vector<Bytes> Commands(const char* node, size_t classification)
    {
        std::vector<zvemu::TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", node);
        std::vector<Bytes> cdbs;
        for (size_t i = classification; i < sent.size(); i++) {
            cdbs.push_back(sent[i].cdb);
        }
        return cdbs;
    }
};

// ---------------------------------------------------------------- SATA, type 21

struct SataCase {
    std::vector<std::string> args;
    const char* config;  // fixture copied to "log_config.txt", or null
    const char* golden;  // the table shown behind the header block
};

void PrintTo(const SataCase& c, std::ostream* os)
{
    for (const std::string& a : c.args) {
        *os << a << " ";
    }
    *os << (c.config != nullptr ? c.config : "");
}

class SataVendorLog : public VendorLogE2e, public ::testing::WithParamInterface<SataCase> {};

TEST_P(SataVendorLog, ReadsSortsAndShowsTheLog)
{
    const SataCase& c = GetParam();
    if (c.config != nullptr) {
        WriteFile("log_config.txt", Golden(c.config));
    }
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, std::string("\n") + kSataHeader + Golden(c.golden));
    // IDENTIFY DEVICE's INQUIRY and IDENTIFY, then the log's length and its two sectors
    EXPECT_EQ(Commands("/dev/sda", 2), (std::vector<Bytes>{kLogLength, kLogSector0, kLogSector1}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SataVendorLog,
    ::testing::Values(
        // sort mode 1, decode mode 1 (the K4410 family), no name table
        SataCase{{"-t", "log", "/dev/sda"}, nullptr, "sata_sorted_decoded.out"},
        SataCase{{"-t", "multilog", "/dev/sda"}, nullptr, "sata_sorted_decoded.out"},
        // renamed: a new name with a '1' switches the decoder table
        SataCase{{"-t", "log", "/dev/sda"}, "log_config.txt", "sata_sorted_named.out"},
        // -g: drive order, still decoded and renamed
        SataCase{{"-t", "log", "-g", "1", "/dev/sda"}, "log_config.txt", "sata_drive_order_named.out"},
        SataCase{{"-t", "log", "-g", "1", "/dev/sda"}, nullptr, "sata_drive_order_decoded.out"},
        // a name table of bytes that hold no pair renames nothing
        SataCase{{"-t", "log", "/dev/sda"}, "sata_log.bin", "sata_sorted_decoded.out"},
        SataCase{{"-t", "log", "/dev/sda"}, "sas_log.bin", "sata_sorted_decoded.out"}),
    CaseName());

// -x drops the sort and the screen text; the text file holds the header and the table.
TEST_F(VendorLogE2e, SataTextAndRawFiles)
{
    WriteFile("log_config.txt", Golden("log_config.txt"));
    RunResult r = Run({"-t", "log", "-b", "log.bin", "-x", "log.txt", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    const std::string text = std::string(kSataHeader) + Golden("sata_drive_order_named.out");
    EXPECT_EQ(r.out, "    Original binary data is saved to SSDlog/log.bin\n"
                     "    Parsed text data is saved to log.txt\n");
    EXPECT_EQ(ReadFile("log.txt"), text);
    EXPECT_EQ(ReadFile("SSDlog/log.bin"), Golden("sata_log.bin"));
}

std::string SortedScreen() { return std::string("\n") + kSataHeader + Golden("sata_sorted_decoded.out"); }

// A directory in the place of the name table is no table; lines of any length are read
// in pieces without harm.
TEST_F(VendorLogE2e, SataUnreadableOrHostileNameTable)
{
    ASSERT_EQ(mkdir(Path("log_config.txt").c_str(), 0755), 0);
    RunResult r = Run({"-t", "log", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, SortedScreen());

    ASSERT_EQ(rmdir(Path("log_config.txt").c_str()), 0);
    WriteFile("log_config.txt", "ENUM_" + std::string(100000, 'A') + " \"ftl_gc\"\n" + std::string(5000, '"') +
                                    "\nENUM_X \"" + std::string(2000, 'q') + "\"\n" +
                                    std::string("ENUM_GC \"ftl_gc\0\"\n", 17));
    r = Run({"-t", "log", "/dev/sda"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, SortedScreen());
}

// Something other than a regular file under the table's name: the run neither blocks on
// it nor reads it for ever, and shows the log with the drive's own names.
struct NotAFileCase {
    const char* what;
    std::function<int(const std::string& path)> make;
};

void PrintTo(const NotAFileCase& c, std::ostream* os) { *os << c.what; }

class SataNameTableNotAFile : public VendorLogE2e, public ::testing::WithParamInterface<NotAFileCase> {};

TEST_P(SataNameTableNotAFile, RunEndsWithTheDriveNames)
{
    const NotAFileCase& c = GetParam();
    ASSERT_EQ(c.make(Path("log_config.txt")), 0);
    time_limit_ = 30;
    RunResult r = Run({"-t", "log", "/dev/sda"});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, SortedScreen());
    EXPECT_EQ(Commands("/dev/sda", 2), (std::vector<Bytes>{kLogLength, kLogSector0, kLogSector1}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SataNameTableNotAFile,
    ::testing::Values(
        // No writer ever opens it: a blocking open would wait for ever.
        NotAFileCase{"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0644); }},
        // Never ends and holds no line end.
        NotAFileCase{"link to /dev/zero", [](const std::string& p) { return symlink("/dev/zero", p.c_str()); }},
        NotAFileCase{"directory", [](const std::string& p) { return mkdir(p.c_str(), 0755); }}),
    CaseName());

// ---------------------------------------------------------------- SAS, type 86

struct SasCase {
    std::vector<std::string> args;
    const char* node;
    const char* golden;
};

void PrintTo(const SasCase& c, std::ostream* os)
{
    for (const std::string& a : c.args) {
        *os << a << " ";
    }
}

class SasVendorLog : public VendorLogE2e, public ::testing::WithParamInterface<SasCase> {};

// Sort mode 7 whatever the options; decoded for the K4410 model only; never renamed.
TEST_P(SasVendorLog, ReadsSortsAndShowsTheLog)
{
    const SasCase& c = GetParam();
    WriteFile("log_config.txt", Golden("log_config.txt"));
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n" + Golden(c.golden));
    std::vector<Bytes> sent = Commands(c.node, 0);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back()[0], 0x4D);
    EXPECT_EQ(sent.back()[2], 0x33);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SasVendorLog,
    ::testing::Values(SasCase{{"-t", "log", "/dev/sdb"}, "/dev/sdb", "sas_sorted_raw.out"},
                      SasCase{{"-t", "multilog", "/dev/sdb"}, "/dev/sdb", "sas_sorted_raw.out"},
                      SasCase{{"-o", "log3", "/dev/sdb"}, "/dev/sdb", "sas_sorted_raw.out"},
                      SasCase{{"-t", "log", "-g", "1", "/dev/sdb"}, "/dev/sdb", "sas_sorted_raw.out"},
                      SasCase{{"-t", "log", "/dev/sdc"}, "/dev/sdc", "sas_sorted_decoded.out"},
                      SasCase{{"-o", "log3", "-g", "1", "/dev/sdc"}, "/dev/sdc", "sas_sorted_decoded.out"}),
    CaseName());

// The current log's transfer ends 10 bytes into its fourth record: the three whole
// records are shown, nothing of the fourth.
TEST_F(VendorLogE2e, SasLogCutInsideARecordShowsTheWholeRecords)
{
    WriteFile("cut.txt",
              "drive /dev/sdb\n"
              "answer scsi 4D b2=33\n"
              "  le 0 8 0\n  le 8 4 1\n  text 12 \"first\"\n  le 28 2 1\n  text 30 \"one\"\n"
              "  le 64 8 10\n  le 72 4 2\n  text 76 \"second\"\n  le 92 2 1\n  text 94 \"two\"\n"
              "  le 128 8 20\n  le 136 4 3\n  text 140 \"third\"\n  le 156 2 1\n  text 158 \"three\"\n"
              "  le 192 8 30\n  le 200 4 4\n  text 204 \"fourth\"\n  le 220 2 1\n  text 222 \"four\"\n"
              "  size 202\n");
    env_["ZV_EMU_CONFIG"] += ":" + Path("cut.txt");
    RunResult r = Run({"-t", "log", "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n" + Golden("sas_cut202.out"));
    // one LOG SENSE of the whole log, 12 pages of 8 KiB
    std::vector<zvemu::TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", "/dev/sdb");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().cdb[0], 0x4D);
    EXPECT_EQ(sent.back().len, 98304u);
}

// The flash geometry that sizes the log ends after 12 of its 28 bytes: no length is made of
// the missing words, the query fails and no log is read.
TEST_F(VendorLogE2e, SasLogSizedOnlyByAWholeGeometry)
{
    WriteFile("short.txt",
              "drive /dev/sdb\nanswer scsi C0 fn=06\n  le 0 4 16\n  le 12 4 128\n  le 16 4 8192\n  size 12\n");
    env_["ZV_EMU_CONFIG"] += ":" + Path("short.txt");
    RunResult r = Run({"-t", "log", "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "    Query data length failed, User Err Code [00000004h:Parameter is illegal], System Err Code "
                     "[00000000h]\n");
    std::vector<Bytes> sent = Commands("/dev/sdb", 0);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back()[0], 0xC0);
    for (const Bytes& cdb : sent) {
        EXPECT_NE(cdb[0], 0x4D);
    }
}

} // namespace
