// Option values reaching their command types on emulated drives: the requests that
// follow the drive's classification must carry the command of the selected type, as
// adapted to the drive's link type.
#include "e2e_util.h"
#include "case_names.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "emu/emu_trace.h"

namespace {

enum Drive { SATA, SAS };

const char* NodeOf(Drive d) { return d == SATA ? "/dev/sda" : "/dev/sdb"; }

std::string FixtureOf(Drive d)
{
    return std::string(ZV_TEST_DATA_DIR) + (d == SATA ? "/options/sata_logs.txt" : "/demo/sas_k6470.txt");
}

// A CDB pattern: hexadecimal byte pairs, ".." for a byte that may hold anything.
struct Key {
    std::string pattern;

    bool Matches(const zvemu::Bytes& cdb) const
    {
        std::istringstream in(pattern);
        std::string pair;
        size_t i = 0;
        for (; in >> pair; i++) {
            if (i >= cdb.size() || (pair != ".." && zvemu::Hex(pair) != zvemu::Bytes{cdb[i]})) {
                return false;
            }
        }
        return i > 0;
    }
};

// ATA PASS-THROUGH(16) carrying the task file: features (byte 4), LBA 7:0 (byte 8), command (byte 14).
Key Ata(const char* features, const char* lba_low, const char* command)
{
    return Key{std::string("85 .. .. .. ") + features + " .. .. .. " + lba_low + " .. .. .. .. .. " + command};
}

// A SCSI command by its first bytes.
Key Scsi(const char* head) { return Key{head}; }

struct TraceCase {
    std::vector<std::string> options;  // the device follows
    Drive drive;
    Key key;
};

void PrintTo(const TraceCase& c, std::ostream* os)
{
    for (const std::string& a : c.options) {
        *os << a << " ";
    }
    *os << NodeOf(c.drive) << " -> " << c.key.pattern;
}

class OptionsTraceBase : public E2eTest {
protected:
    std::vector<zvemu::TraceEntry> Requests(const std::vector<std::string>& options, Drive d, RunResult* r)
    {
        env_["ZV_EMU_CONFIG"] = FixtureOf(d);
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        std::vector<std::string> args = options;
        args.push_back(NodeOf(d));
        remove(Path("trace.txt").c_str());
        *r = Run(args);
        return zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", NodeOf(d));
    }

    // The requests of the drive's classification alone (a run that selects no command).
    std::vector<zvemu::TraceEntry> Classification(Drive d)
    {
        RunResult r;
        std::vector<zvemu::TraceEntry> sent = Requests({"-b", "none.bin"}, d, &r);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.find("open device"), std::string::npos) << r.out;
        EXPECT_FALSE(sent.empty());
        return sent;
    }
};

class OptionsTrace : public OptionsTraceBase, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(OptionsTrace, SelectedTypeReachesTheDrive)
{
    const TraceCase& c = GetParam();
    std::vector<zvemu::TraceEntry> base = Classification(c.drive);
    RunResult r;
    std::vector<zvemu::TraceEntry> sent = Requests(c.options, c.drive, &r);
    EXPECT_EQ(r.status, 0) << r.out;
    ASSERT_GT(sent.size(), base.size()) << r.out;
    for (size_t i = 0; i < base.size(); i++) {
        ASSERT_EQ(zvemu::HexText(sent[i].cdb), zvemu::HexText(base[i].cdb)) << "classification request " << i;
    }
    bool found = false;
    std::string seen;
    for (size_t i = base.size(); i < sent.size(); i++) {
        found = found || c.key.Matches(sent[i].cdb);
        seen += zvemu::HexText(sent[i].cdb) + "\n";
    }
    EXPECT_TRUE(found) << "expected " << c.key.pattern << ", sent:\n" << seen;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptionsTrace,
    ::testing::Values(
        // -s on the SATA drive
        TraceCase{{"-s", "status"}, SATA, Ata("DA", "00", "B0")},
        TraceCase{{"-s", "enable"}, SATA, Ata("D8", "00", "B0")},
        TraceCase{{"-s", "disable"}, SATA, Ata("D9", "00", "B0")},
        TraceCase{{"-s", "value"}, SATA, Ata("D0", "00", "B0")},
        TraceCase{{"-s", "dir"}, SATA, Ata("D5", "00", "B0")},
        TraceCase{{"-s", "summary"}, SATA, Ata("D5", "01", "B0")},
        TraceCase{{"-s", "comp"}, SATA, Ata("D5", "02", "B0")},
        TraceCase{{"-s", "selftest"}, SATA, Ata("D5", "06", "B0")},
        TraceCase{{"-s", "select"}, SATA, Ata("D5", "09", "B0")},
        TraceCase{{"-s", "stat"}, SATA, Ata("D5", "04", "B0")},
        TraceCase{{"-s", "vendor"}, SATA, Ata("D5", "A0", "B0")},
        TraceCase{{"-s", "pend"}, SATA, Ata("D5", "B0", "B0")},
        TraceCase{{"--smart=value"}, SATA, Ata("D0", "00", "B0")},
        // -t, -I on the SATA drive
        TraceCase{{"-t", "log"}, SATA, Ata("80", "00", "89")},
        TraceCase{{"-t", "log2"}, SATA, Ata("F2", "00", "89")},
        TraceCase{{"-t", "multilog"}, SATA, Ata("80", "00", "89")},
        TraceCase{{"-I"}, SATA, Ata("00", "00", "EC")},
        // -U command types on the SATA drive
        TraceCase{{"-U", "flush"}, SATA, Ata("06", "00", "8D")},
        TraceCase{{"-U", "time"}, SATA, Ata("F6", "00", "8C")},
        TraceCase{{"-U", "status"}, SATA, Ata("03", "00", "8A")},
        TraceCase{{"-U", "trim"}, SATA, Ata("20", "00", "8B")},
        TraceCase{{"-U", "trimflag"}, SATA, Ata("26", "00", "8B")},
        // -U on the SAS drive: the SCSI counterparts
        TraceCase{{"-U", "flush"}, SAS, Scsi("C1 06")},
        TraceCase{{"-U", "time"}, SAS, Scsi("A4 0F")},
        TraceCase{{"-U", "trim"}, SAS, Scsi("04 00 00")},
        // -o on the SATA drive: the ATA counterparts
        TraceCase{{"-o", "log3"}, SATA, Ata("80", "00", "89")},
        TraceCase{{"-o", "time"}, SATA, Ata("F6", "00", "8C")},
        TraceCase{{"-o", "poweroff"}, SATA, Ata("06", "00", "8D")},
        TraceCase{{"-o", "trim"}, SATA, Ata("20", "00", "8B")},
        // -o, -c on the SAS drive
        TraceCase{{"-o", "getwwn"}, SAS, Scsi("C0 0A 00")},
        TraceCase{{"-o", "getsn"}, SAS, Scsi("C0 0A 01")},
        TraceCase{{"-o", "getmodel"}, SAS, Scsi("C0 0A 02")},
        TraceCase{{"-o", "setwwn", "5000C500A1B2C3D4"}, SAS, Scsi("C1 0D 00")},
        TraceCase{{"-o", "setsn", "QM2013120600000001AB"}, SAS, Scsi("C1 0D 01")},
        TraceCase{{"-o", "setmodel", "QUMA-K6470BN0800"}, SAS, Scsi("C1 0D 02")},
        TraceCase{{"-o", "startcap"}, SAS, Scsi("C1 0E")},
        TraceCase{{"-o", "querycap"}, SAS, Scsi("C0 0B")},
        TraceCase{{"-o", "trim"}, SAS, Scsi("04 00 00")},
        TraceCase{{"-o", "smartval"}, SAS, Scsi("4D 00 35")},
        TraceCase{{"-o", "smartthr"}, SAS, Scsi("4D 00 34")},
        TraceCase{{"-o", "smarttem"}, SAS, Scsi("4D 00 32")},
        TraceCase{{"-o", "bad"}, SAS, Scsi("B7 10")},
        TraceCase{{"-o", "bad2"}, SAS, Scsi("B7 08")},
        TraceCase{{"-o", "time"}, SAS, Scsi("A4 0F")},
        TraceCase{{"-o", "poweroff"}, SAS, Scsi("C1 06")},
        TraceCase{{"-o", "getflag"}, SAS, Scsi("C0 0A 03")},
        TraceCase{{"-o", "setflag", "01020304"}, SAS, Scsi("C1 0D 03")},
        TraceCase{{"-o", "getspeed"}, SAS, Scsi("C0 0A 04")},
        TraceCase{{"-o", "getIoInfo"}, SAS, Scsi("C0 07 00")},
        TraceCase{{"-c"}, SAS, Scsi("C1 07")},
        TraceCase{{"--clean"}, SAS, Scsi("C1 07")},
        // -L on the SAS drive
        TraceCase{{"-L", "supported"}, SAS, Scsi("4D 00 40")},
        TraceCase{{"-L", "write"}, SAS, Scsi("4D 00 42")},
        TraceCase{{"-L", "read"}, SAS, Scsi("4D 00 43")},
        TraceCase{{"-L", "verify"}, SAS, Scsi("4D 00 45")},
        TraceCase{{"-L", "nonmedium"}, SAS, Scsi("4D 00 46")},
        TraceCase{{"-L", "temperature"}, SAS, Scsi("4D 00 0D")},
        TraceCase{{"-L", "selftest"}, SAS, Scsi("4D 00 10")},
        TraceCase{{"-L", "protocol"}, SAS, Scsi("4D 00 18")}),
    CaseName());

// The vendor logs are sized from the flash geometry, which the plain demo SAS drive does not
// answer; these rows run on the demo drive with the geometry and the log pages added.
struct VendorLogTraceCase {
    std::vector<std::string> options;  // the SAS device follows
    const char* first;                 // the first LOG SENSE CDB
    const char* last;                  // the last one
    size_t count;                      // how many LOG SENSE requests
};

void PrintTo(const VendorLogTraceCase& c, std::ostream* os)
{
    for (const std::string& a : c.options) {
        *os << a << " ";
    }
    *os << "-> " << c.count << " x " << c.first;
}

class VendorLogOptionsTrace : public E2eTest, public ::testing::WithParamInterface<VendorLogTraceCase> {
protected:
    std::vector<zvemu::TraceEntry> Requests(const std::vector<std::string>& options, RunResult* r)
    {
        env_["ZV_EMU_CONFIG"] = std::string(ZV_TEST_DATA_DIR) + "/vendor/sas_logs.txt";
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        std::vector<std::string> args = options;
        args.push_back(NodeOf(SAS));
        remove(Path("trace.txt").c_str());
        *r = Run(args);
        return zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", NodeOf(SAS));
    }
};

// After the classification: the geometry read, then the log in its chunks.
TEST_P(VendorLogOptionsTrace, GeometryThenTheChunks)
{
    const VendorLogTraceCase& c = GetParam();
    RunResult r;
    const size_t base = Requests({"-b", "none.bin"}, &r).size();
    ASSERT_GT(base, 0u);
    std::vector<zvemu::TraceEntry> sent = Requests(c.options, &r);
    EXPECT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(sent.size(), base + 1 + c.count) << r.out;
    EXPECT_EQ(zvemu::HexText(sent[base].cdb), zvemu::HexText(zvemu::Hex("C0 06 00 1C 00 00 00 00 00 00")));
    EXPECT_EQ(zvemu::HexText(sent[base + 1].cdb), zvemu::HexText(zvemu::Hex(c.first)));
    EXPECT_EQ(zvemu::HexText(sent.back().cdb), zvemu::HexText(zvemu::Hex(c.last)));
    for (size_t i = base + 1; i < sent.size(); i++) {
        ASSERT_EQ(zvemu::HexText(sent[i].cdb).substr(0, 6), zvemu::HexText(sent[base + 1].cdb).substr(0, 6))
            << "request " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VendorLogOptionsTrace,
    ::testing::Values(
        VendorLogTraceCase{{"-o", "log"}, "4D 00 70 00 00 00 00 20 00 00", "4D 00 70 00 00 00 00 20 00 00", 1},
        // 8192 x (128 x 15 + 2) bytes in 1922 chunks of 8 KiB
        VendorLogTraceCase{{"-o", "log2"}, "4D 00 71 00 00 00 00 20 00 00", "4D 00 71 00 F0 20 00 20 00 00", 1922},
        VendorLogTraceCase{{"-o", "log3"}, "4D 00 33 01 80 00 00 00 00 00", "4D 00 33 01 80 00 00 00 00 00", 1},
        VendorLogTraceCase{{"-o", "log4"}, "4D 00 76 00 00 00 00 20 00 00", "4D 00 76 00 0F E0 00 20 00 00", 128},
        // the two parts of the flash log: chunks 0-1012, then 1013-1921
        VendorLogTraceCase{{"-o", "flashlog1"}, "4D 00 71 00 00 00 00 20 00 00", "4D 00 71 00 7E 80 00 20 00 00",
                           1013},
        VendorLogTraceCase{{"-o", "flashlog2"}, "4D 00 71 00 7E A0 00 20 00 00", "4D 00 71 00 F0 20 00 20 00 00",
                           909},
        // the device vendor log 21 runs as the current log 86 on a SAS drive
        VendorLogTraceCase{{"-t", "log"}, "4D 00 33 01 80 00 00 00 00 00", "4D 00 33 01 80 00 00 00 00 00", 1},
        VendorLogTraceCase{{"-t", "multilog"}, "4D 00 33 01 80 00 00 00 00 00", "4D 00 33 01 80 00 00 00 00 00", 1}),
    CaseName());

class OptionsOnDrive : public OptionsTraceBase {};

// The new value of -o setsn is the second-to-last argument and is what the drive receives.
TEST_F(OptionsOnDrive, SetSerialSendsTheValue)
{
    const std::string sn = "QM2013120600000001AB";
    RunResult r;
    std::vector<zvemu::TraceEntry> sent = Requests({"-o", "setsn", sn}, SAS, &r);
    EXPECT_EQ(r.status, 0);
    bool found = false;
    for (const zvemu::TraceEntry& e : sent) {
        if (Scsi("C1 0D 01").Matches(e.cdb)) {
            found = true;
            EXPECT_EQ(e.data, zvemu::Bytes(sn.begin(), sn.end()));
        }
    }
    EXPECT_TRUE(found);
}

// A refused option touches no drive at all, not even to classify it.
TEST_F(OptionsOnDrive, RefusalSendsNothing)
{
    RunResult r;
    std::vector<zvemu::TraceEntry> sent = Requests({"-o", "setsn"}, SAS, &r);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(sent.empty());
}

// -i shows the classified drive's basic information and sends nothing more.
TEST_F(OptionsOnDrive, InfoShowsTheClassifiedDrive)
{
    std::vector<zvemu::TraceEntry> base = Classification(SATA);
    RunResult r;
    std::vector<zvemu::TraceEntry> sent = Requests({"-i"}, SATA, &r);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("QUMA-K4410TN0100"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ATA by SCSI"), std::string::npos) << r.out;
    EXPECT_EQ(sent.size(), base.size());
}

// -l alone lists the drives the scan finds and returns.
TEST_F(OptionsOnDrive, ListShowsTheDrives)
{
    env_["ZV_EMU_CONFIG"] = FixtureOf(SATA);
    RunResult r = Run({"-l"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("/dev/sda"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Usage :"), std::string::npos);
}

} // namespace
