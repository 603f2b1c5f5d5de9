// The ATA routes against emulated SATA drives: the exact ATA PASS-THROUGH(16) CDBs and
// tunnel requests (read back from the emulator's trace), the returned registers, the
// failure paths, the log records of a tunnel exchange, and the plain sector I/O.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "ata_trace.h"
#include "ata_transport.h"
#include "case_names.h"
#include "cmd_resp_log.h"
#include "emu_api.h"
#include "msg_processor.h"
#include "settings.h"
#include "test_init.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

const int kUserBefore = USER_ERR_UNSUPPORTED;  // what the catalogue sets before a call
const int kSysBefore = 0x1234;
const char* const kNode = "/dev/sdt";

// Task file as hex text: seven current registers, optionally the five previous ones.
struct Regs {
    TaskFile tf;
    TaskFileHob hob;
};

Regs MakeRegs(const std::string& current, const std::string& previous = "")
{
    Bytes c = Hex(current);
    Bytes p = Hex(previous);
    c.resize(7, 0);
    p.resize(5, 0);
    Regs r;
    r.tf = {c[0], c[1], c[2], c[3], c[4], c[5], c[6]};
    r.hob = {p[0], p[1], p[2], p[3], p[4]};
    return r;
}

std::string Text(const Regs& r)
{
    Bytes b = {r.tf.features, r.tf.count,  r.tf.lba_low,    r.tf.lba_mid,   r.tf.lba_high, r.tf.device,
               r.tf.command,  r.hob.features, r.hob.count, r.hob.lba_low, r.hob.lba_mid, r.hob.lba_high};
    return atatest::RegsText(b, 7) + " / " + atatest::RegsText(Bytes(b.begin() + 7, b.end()), 5);
}

struct Outcome {
    bool ok = false;
    int user_err = kUserBefore;
    int sys_err = kSysBefore;
    Regs regs;
    Bytes data;
};

class AtaRoute : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        output_flags.save_log = 0;
        raid_kind = RAID_BUTT;
        zvemu::Reset();
    }
    void TearDown() override
    {
        EXPECT_EQ(zvemu::OpenDescriptors(), 0);
        zvemu::Reset();
    }

    void Load(const std::string& text)
    {
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, ".", &err)) << err;
    }

    // One route call on a freshly opened node; `out` is the data of a data-out command.
    Outcome Run(AtaRouteFun route, const Regs& in, bool ext48, int dir, u32 len, const Bytes& out = Bytes())
    {
        Outcome o;
        int handle = 0;
        int ue = 0, se = 0;
        EXPECT_TRUE(OpenDisk(&handle, kNode, &ue, &se));
        std::vector<u8> buf(len > 0 ? len : 1, 0xEE);
        std::copy(out.begin(), out.end(), buf.begin());
        o.regs = in;
        o.ok = route(&handle, &o.regs.tf, &o.regs.hob, ext48, buf.data(), len, dir, nullptr, &o.user_err,
                     &o.sys_err);
        o.data.assign(buf.begin(), buf.begin() + len);
        EXPECT_TRUE(CloseDiskQuiet(&handle));
        return o;
    }

    SettingsGuard settings_;
};

// ---- SAT: the ATA PASS-THROUGH(16) CDB ----

struct SatCdbCase {
    const char* what;
    const char* regs;      // current registers
    const char* previous;  // previous registers
    bool ext48;
    int dir;
    u32 len;
    const char* cdb;
    const char* trace_dir;
};

void PrintTo(const SatCdbCase& c, std::ostream* os) { *os << c.what; }

const SatCdbCase sat_cdb_cases[] = {
    {"28-bit data-in: SMART READ DATA", "D0 01 00 4F C2 40 B0", "", false, SCSI_DIR_IN, 512,
     "85 08 2E 00 D0 00 01 00 00 00 4F 00 C2 40 B0 00", "in"},
    {"28-bit non-data: SMART ENABLE", "D8 00 00 4F C2 40 B0", "", false, SCSI_DIR_NONE, 0,
     "85 06 2C 00 D8 00 00 00 00 00 4F 00 C2 40 B0 00", "none"},
    {"48-bit non-data: each previous register before its current one", "01 02 03 04 05 40 37",
     "11 12 13 14 15", true, SCSI_DIR_NONE, 0, "85 07 2C 11 01 12 02 13 03 14 04 15 05 40 37 00", "none"},
    {"48-bit data-in", "00 01 E0 00 00 40 2F", "00 00 00 00 00", true, SCSI_DIR_IN, 512,
     "85 09 2E 00 00 00 01 00 E0 00 00 00 00 40 2F 00", "in"},
    {"28-bit data-out", "F6 01 00 00 00 40 8C", "", false, SCSI_DIR_OUT, 512,
     "85 0A 26 00 F6 00 01 00 00 00 00 00 00 40 8C 00", "out"},
    {"previous registers go out on a 28-bit command too", "00 01 00 00 00 40 F9", "22 33 44 55 66", false,
     SCSI_DIR_NONE, 0, "85 06 2C 22 00 33 01 44 00 55 00 66 00 40 F9 00", "none"},
};

class SatCdb : public AtaRoute, public ::testing::WithParamInterface<SatCdbCase> {};

TEST_P(SatCdb, SendsTheExactPassThroughRequest)
{
    const SatCdbCase& c = GetParam();
    Load("drive /dev/sdt sat\nanswer ata *\n  fill 0 512 5A\n");
    Bytes out(c.dir == SCSI_DIR_OUT ? c.len : 0);
    for (size_t i = 0; i < out.size(); i++) {
        out[i] = static_cast<u8>(i);
    }
    Outcome o = Run(SendAtaCmndSat, MakeRegs(c.regs, c.previous), c.ext48, c.dir, c.len, out);
    EXPECT_TRUE(o.ok) << c.what << " user_err " << o.user_err;
    EXPECT_EQ(o.user_err, kUserBefore) << c.what;

    std::vector<zvemu::TraceEntry> sent = zvemu::Requests(kNode);
    ASSERT_EQ(sent.size(), 1u) << c.what;
    EXPECT_EQ(sent[0].cdb, Hex(c.cdb)) << c.what;
    EXPECT_EQ(zvemu::DirName(sent[0].dir), c.trace_dir) << c.what;
    EXPECT_EQ(sent[0].len, c.len) << c.what;
    EXPECT_EQ(sent[0].timeout, 60000u) << c.what;
    EXPECT_EQ(sent[0].sense_len, 32u) << c.what;
    EXPECT_EQ(sent[0].data, out) << c.what;
    if (c.dir == SCSI_DIR_IN) {
        EXPECT_EQ(o.data, Bytes(c.len, 0x5A)) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SatCdb, ::testing::ValuesIn(sat_cdb_cases), CaseName());

// ---- SAT: the returned registers ----

struct SatRegsCase {
    const char* what;
    const char* answer;  // attribute lines of the drive's answer
    bool ext48;
    const char* expected;  // returned registers, "current / previous"
    int dir = SCSI_DIR_NONE;
    u32 len = 0;
};

void PrintTo(const SatRegsCase& c, std::ostream* os) { *os << c.what; }

// Sent: 00 01 02 03 04 40 EC with previous 09 0A 0B 0C 0D.
const SatRegsCase sat_regs_cases[] = {
    {"28-bit: the descriptor's registers, previous ones untouched",
     "regs cnt=12 lba0=34 lba1=56 lba2=78 dev=E0 status=50 lba3=99", false,
     "00 12 34 56 78 E0 50 / 09 0A 0B 0C 0D"},
    {"48-bit: count and LBA 47:24 too, features 15:8 is not returned",
     "regs cnt=12 lba0=34 lba1=56 lba2=78 dev=E0 cnt-hi=21 lba3=31 lba4=41 lba5=51 fea-hi=77", true,
     "00 12 34 56 78 E0 50 / 09 21 31 41 51"},
    {"the route does not judge: error and status come back as they are", "regs err=04 status=50", false,
     "04 01 02 03 04 40 50 / 09 0A 0B 0C 0D"},
    {"GOOD without sense: error 00h, status 50h, the rest as sent",
     "status-return none\n  regs lba0=99 err=04", false, "00 01 02 03 04 40 50 / 09 0A 0B 0C 0D"},
    {"a RECOVERED ERROR that announces no registers: error 00h, status 50h, the rest as sent",
     "sense-fixed 1 17 01", false, "00 01 02 03 04 40 50 / 09 0A 0B 0C 0D"},
    // The fixed-format return keeps the registers in fields that are not read.
    {"the fixed-format return: error 00h, status 50h, the rest as sent", "sense-fixed 1 00 1D", false,
     "00 01 02 03 04 40 50 / 09 0A 0B 0C 0D"},
    {"a descriptor after another one is found",
     "sense 72 01 00 1D 00 00 00 12 02 02 00 00 09 0C 00 00 00 66 00 34 00 56 00 78 E0 50", false,
     "00 66 34 56 78 E0 50 / 09 0A 0B 0C 0D"},
    // Bit 7 of a descriptor-format response code is reserved.
    {"a response code with bit 7 set",
     "sense F2 01 00 1D 00 00 00 0E 09 0C 00 00 00 66 00 34 00 56 00 78 E0 50", false,
     "00 66 34 56 78 E0 50 / 09 0A 0B 0C 0D"},
    // ASCQ 1Dh was not among the bytes written: nothing is announced.
    {"a descriptor-format sense of 3 bytes: error 00h, status 50h, the rest as sent",
     "sense 72 01 00 1D 00 00 00 00\n  sense-written 3", false, "00 01 02 03 04 40 50 / 09 0A 0B 0C 0D"},
    // The drive's rejection is its verdict, whatever the data phase moved.
    {"a data-in the drive rejects, without its data: the drive's registers",
     "size 0\n  sense 72 01 00 1D 00 00 00 0E 09 0C 00 04 00 01 00 02 00 03 00 04 40 51", false,
     "04 01 02 03 04 40 51 / 09 0A 0B 0C 0D", SCSI_DIR_IN, 512},
    {"a zero-length data-in with a residual, rejected: the drive's registers",
     "sense 72 01 00 1D 00 00 00 0E 09 0C 00 04 00 01 00 02 00 03 00 04 40 51\n  resid 4", false,
     "04 01 02 03 04 40 51 / 09 0A 0B 0C 0D", SCSI_DIR_IN, 0},
};

class SatRegs : public AtaRoute, public ::testing::WithParamInterface<SatRegsCase> {};

TEST_P(SatRegs, ReturnsTheRegistersOfTheStatusReturnDescriptor)
{
    const SatRegsCase& c = GetParam();
    Load(std::string("drive /dev/sdt sat\nanswer ata EC\n  ") + c.answer + "\n");
    Outcome o = Run(SendAtaCmndSat, MakeRegs("00 01 02 03 04 40 EC", "09 0A 0B 0C 0D"), c.ext48, c.dir, c.len);
    EXPECT_TRUE(o.ok) << c.what << " user_err " << o.user_err;
    EXPECT_EQ(o.user_err, kUserBefore) << c.what;
    EXPECT_EQ(Text(o.regs), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, SatRegs, ::testing::ValuesIn(sat_regs_cases), CaseName());

struct SatFailCase {
    const char* what;
    const char* answer;
    int user_err;
    int sys_err;
    int dir = SCSI_DIR_IN;
    u32 len = 512;
};

void PrintTo(const SatFailCase& c, std::ostream* os) { *os << c.what; }

const SatFailCase sat_fail_cases[] = {
    {"an ATA error under CK_COND is reported by its sense key", "regs status=51 err=04",
     USER_ERR_SENSE_ABORTED_COMMAND, kSysBefore},
    {"a drive that refuses the pass-through", "sense-fixed 5 20 00", USER_ERR_SENSE_BAD_OPCODE, kSysBefore},
    {"the SG_IO call fails", "errno EIO", USER_ERR_OS_API, EIO},
    // Announced registers (00h/1Dh) that did not arrive whole: the status is unknown.
    {"a descriptor shorter than the standard one",
     "size 512\n  sense 72 01 00 1D 00 00 00 04 09 02 00 04", USER_ERR_OS_API, EIO},
    {"a descriptor cut by the sense bytes written",
     "size 512\n  sense 72 01 00 1D 00 00 00 0E 09 0C 00 04 00 12 00 34 00 56 00 78 E0 51\n  sense-written 20",
     USER_ERR_OS_API, EIO},
    {"a descriptor holding status 63h cut by the additional sense length",
     "size 512\n  sense 72 01 00 1D 00 00 00 0D 09 0C 00 00 00 01 00 00 00 00 00 00 40 63", USER_ERR_OS_API, EIO},
    {"no descriptor at all", "size 512\n  sense-desc 1 00 1D", USER_ERR_OS_API, EIO},
    {"NO SENSE announcing the registers without a descriptor", "size 512\n  sense 72 00 00 1D 00 00 00 00",
     USER_ERR_OS_API, EIO},
    // ATA moves whole sectors: a short data phase is no answer.
    {"IDENTIFY without data: the residual is the request", "size 0", USER_ERR_OS_API, EIO},
    {"one byte short", "size 511", USER_ERR_OS_API, EIO},
    {"a residual the drive reports over whole data", "size 512\n  resid 512", USER_ERR_OS_API, EIO},
    {"a data-out the drive did not take whole", "resid 4", USER_ERR_OS_API, EIO, SCSI_DIR_OUT},
    {"a GOOD answer without sense and short data", "size 100\n  status-return none", USER_ERR_OS_API, EIO},
    {"a zero-length data-in with a residual, good registers", "resid 4", USER_ERR_OS_API, EIO, SCSI_DIR_IN, 0},
    // Response codes 74h-7Eh are reserved and 7Fh is vendor specific: a sense that cannot be read,
    // also when an ATA return would be found in it.
    {"response code 7Fh with a whole ATA return holding status 51h",
     "size 512\n  sense 7F 01 00 1D 00 00 00 0E 09 0C 00 04 00 01 00 00 00 00 00 00 40 51", USER_ERR_SENSE_UNKNOWN,
     kSysBefore},
    {"response code 7Fh without a descriptor", "size 512\n  sense 7F 01 00 1D 00 00 00 00", USER_ERR_SENSE_UNKNOWN,
     kSysBefore},
    {"response code 74h with a whole ATA return holding status 50h",
     "size 512\n  sense 74 01 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 00 00 00 40 50", USER_ERR_SENSE_UNKNOWN,
     kSysBefore},
    {"response code 74h without a descriptor", "size 512\n  sense 74 01 00 1D 00 00 00 00", USER_ERR_SENSE_UNKNOWN,
     kSysBefore},
};

class SatFail : public AtaRoute, public ::testing::WithParamInterface<SatFailCase> {};

TEST_P(SatFail, FailsWithTheTransportErrorAndLeavesTheRegisters)
{
    const SatFailCase& c = GetParam();
    Load(std::string("drive /dev/sdt sat\nanswer ata EC\n  ") + c.answer + "\n");
    const Regs in = MakeRegs("00 01 00 00 00 40 EC");
    Outcome o = Run(SendAtaCmndSat, in, false, c.dir, c.len, Bytes(c.len, 0x3C));
    EXPECT_FALSE(o.ok) << c.what;
    EXPECT_EQ(o.user_err, c.user_err) << c.what;
    EXPECT_EQ(o.sys_err, c.sys_err) << c.what;
    EXPECT_EQ(Text(o.regs), Text(in)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, SatFail, ::testing::ValuesIn(sat_fail_cases), CaseName());

TEST_F(AtaRoute, SatNegativeResidualIsAWholeTransfer)
{
    Load("drive /dev/sdt sat\nanswer ata EC\n  fill 0 512 5A\n  resid -8\n");
    Outcome o = Run(SendAtaCmndSat, MakeRegs("00 01 00 00 00 40 EC"), false, SCSI_DIR_IN, 512);
    EXPECT_TRUE(o.ok) << "user_err " << o.user_err;
    EXPECT_EQ(o.data, Bytes(512, 0x5A));
}

// ---- Both working routes refuse a direction they do not know; the native route sends nothing ----

struct RefusedCase {
    const char* what;
    const char* kind;
    AtaRouteFun route;
    int dir;
    int user_err;  // -1: left as the caller set it
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.what; }

const RefusedCase refused_cases[] = {
    {"SAT, direction 3", "sat", SendAtaCmndSat, 3, -1},
    {"SAT, direction -1", "sat", SendAtaCmndSat, -1, -1},
    {"tunnel, direction 3", "apt", SendAtaCmndApt, 3, -1},
    {"native route", "sat", SendAtaCmndNative, SCSI_DIR_IN, USER_ERR_UNSUPPORTED},
};

class Refused : public AtaRoute, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, FailsWithoutSendingAnything)
{
    const RefusedCase& c = GetParam();
    Load(std::string("drive /dev/sdt ") + c.kind + "\nanswer ata *\n");
    Outcome o;
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDisk(&handle, kNode, &ue, &se));
    Regs r = MakeRegs("00 01 00 00 00 40 EC");
    u8 buf[512];
    o.user_err = 0x55;
    o.ok = c.route(&handle, &r.tf, &r.hob, false, buf, sizeof(buf), c.dir, nullptr, &o.user_err, &o.sys_err);
    CloseDiskQuiet(&handle);
    EXPECT_FALSE(o.ok) << c.what;
    EXPECT_EQ(o.user_err, c.user_err < 0 ? 0x55 : c.user_err) << c.what;
    EXPECT_EQ(o.sys_err, kSysBefore) << c.what;
    EXPECT_TRUE(zvemu::Requests().empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, Refused, ::testing::ValuesIn(refused_cases), CaseName());

// ---- The tunnel: packet, data and status ----

struct Request {
    const char* cdb;
    const char* dir;
    u32 len;
    const char* data;  // the bytes sent, hex ("" for none)
};

struct AptCase {
    const char* what;
    const char* regs;
    const char* previous;
    bool ext48;
    int dir;
    u32 len;
    std::vector<Request> expected;
};

void PrintTo(const AptCase& c, std::ostream* os) { *os << c.what; }

const std::string kSmartReadPacket = "75 30 00 07 00 00 02 00 00 D0 00 01 40 C2 4F 00 00 00 00 00 00 00 00 B0 00 00 00 00";

// Data-out of the cases below: bytes 0, 1, 2, ... of the buffer.
std::string CountingHex(u32 n)
{
    std::string s;
    char b[4];
    for (u32 i = 0; i < n; i++) {
        snprintf(b, sizeof(b), "%02X", static_cast<unsigned>(i & 0xFF));
        s += b;
    }
    return s;
}

const AptCase apt_cases[] = {
    {"data-in: packet, data read, status read", "D0 01 00 4F C2 40 B0", "", false, SCSI_DIR_IN, 512,
     {{"3B 01 06 00 00 00 00 00 1C 00", "out", 28, kSmartReadPacket.c_str()},
      {"3C 01 07 00 00 00 00 02 00 00", "in", 512, ""},
      {"3C 01 06 00 00 00 00 00 18 00", "in", 24, ""}}},
    {"data-out: one WRITE BUFFER with the packet and the data, then the status", "F6 01 00 00 00 40 8C", "", false,
     SCSI_DIR_OUT, 512,
     {{"3B 01 06 00 00 00 00 02 1C 00", "out", 540, ""},
      {"3C 01 06 00 00 00 00 00 18 00", "in", 24, ""}}},
    {"non-data: the packet with length 0, then the status", "D8 00 00 4F C2 40 B0", "", false, SCSI_DIR_NONE, 512,
     {{"3B 01 06 00 00 00 00 00 1C 00", "out", 28,
       "75 30 00 00 00 00 00 00 00 D8 00 00 40 C2 4F 00 00 00 00 00 00 00 00 B0 00 00 00 00"},
      {"3C 01 06 00 00 00 00 00 18 00", "in", 24, ""}}},
    {"48-bit: the previous registers in their packet bytes", "01 02 03 04 05 40 37", "11 12 13 14 15", true,
     SCSI_DIR_NONE, 0,
     {{"3B 01 06 00 00 00 00 00 1C 00", "out", 28,
       "75 30 00 00 00 00 00 00 11 01 12 02 40 05 04 03 00 15 14 13 00 00 00 37 00 00 00 00"},
      {"3C 01 06 00 00 00 00 00 18 00", "in", 24, ""}}},
    {"28-bit: the previous registers stay out of the packet", "01 02 03 04 05 40 F9", "11 12 13 14 15", false,
     SCSI_DIR_NONE, 0,
     {{"3B 01 06 00 00 00 00 00 1C 00", "out", 28,
       "75 30 00 00 00 00 00 00 00 01 00 02 40 05 04 03 00 00 00 00 00 00 00 F9 00 00 00 00"},
      {"3C 01 06 00 00 00 00 00 18 00", "in", 24, ""}}},
};

class AptSequence : public AtaRoute, public ::testing::WithParamInterface<AptCase> {};

TEST_P(AptSequence, SendsTheTunnelRequests)
{
    const AptCase& c = GetParam();
    Load("drive /dev/sdt apt\nanswer ata *\n  fill 0 512 5A\n");
    Bytes out;
    if (c.dir == SCSI_DIR_OUT) {
        out = Hex(CountingHex(c.len));
    }
    Outcome o = Run(SendAtaCmndApt, MakeRegs(c.regs, c.previous), c.ext48, c.dir, c.len, out);
    EXPECT_TRUE(o.ok) << c.what << " user_err " << o.user_err;
    EXPECT_EQ(o.user_err, kUserBefore) << c.what;

    std::vector<zvemu::TraceEntry> sent = zvemu::Requests(kNode);
    ASSERT_EQ(sent.size(), c.expected.size()) << c.what;
    for (size_t i = 0; i < sent.size(); i++) {
        const Request& r = c.expected[i];
        EXPECT_EQ(sent[i].cdb, Hex(r.cdb)) << c.what << ", request " << i;
        EXPECT_EQ(zvemu::DirName(sent[i].dir), r.dir) << c.what << ", request " << i;
        EXPECT_EQ(sent[i].len, r.len) << c.what << ", request " << i;
        EXPECT_EQ(sent[i].timeout, 30000u) << c.what << ", request " << i;
        EXPECT_EQ(sent[i].sense_len, 32u) << c.what << ", request " << i;
        if (r.data[0] != '\0') {
            EXPECT_EQ(sent[i].data, Hex(r.data)) << c.what << ", request " << i;
        }
    }
    if (c.dir == SCSI_DIR_OUT) {
        // The packet, with direction 06h and the data length, followed by the data.
        Bytes expected = Hex("75 30 00 06 00 00 02 00 00 F6 00 01 40 00 00 00 00 00 00 00 00 00 00 8C 00 00 00 00");
        expected.insert(expected.end(), out.begin(), out.end());
        EXPECT_EQ(sent[0].data, expected) << c.what;
    }
    if (c.dir == SCSI_DIR_IN) {
        EXPECT_EQ(o.data, Bytes(c.len, 0x5A)) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AptSequence, ::testing::ValuesIn(apt_cases), CaseName());

struct AptRegsCase {
    const char* what;
    const char* answer;
    bool ext48;
    const char* expected;
    int dir = SCSI_DIR_NONE;
    u32 len = 0;
};

void PrintTo(const AptRegsCase& c, std::ostream* os) { *os << c.what; }

// Sent: 00 01 02 03 04 40 EC with previous 09 0A 0B 0C 0D.
const AptRegsCase apt_regs_cases[] = {
    {"28-bit: the status block's registers, previous ones untouched",
     "regs cnt=12 lba0=34 lba1=56 lba2=78 dev=E0 lba3=99", false, "00 12 34 56 78 E0 50 / 09 0A 0B 0C 0D"},
    {"48-bit: features 15:8, count 15:8 and LBA 47:24 too",
     "regs cnt=12 lba0=34 lba1=56 lba2=78 dev=E0 fea-hi=61 cnt-hi=21 lba3=31 lba4=41 lba5=51", true,
     "00 12 34 56 78 E0 50 / 61 21 31 41 51"},
    {"the route does not judge: a rejected command comes back as a successful call", "regs err=04 status=51",
     false, "04 01 02 03 04 40 51 / 09 0A 0B 0C 0D"},
    {"a status block that arrived up to its status byte counts", "regs cnt=12 err=04 status=51\n  status-block 20",
     false, "04 12 02 03 04 40 51 / 09 0A 0B 0C 0D"},
    // The drive's rejection is its verdict, whatever the data phase moved.
    {"a data-in the drive rejects, without its data: the status block's registers", "regs err=04 status=51", false,
     "04 01 02 03 04 40 51 / 09 0A 0B 0C 0D", SCSI_DIR_IN, 512},
    {"a zero-length data-in with a residual, rejected: the status block's registers",
     "regs err=04 status=51\n  resid 4", false, "04 01 02 03 04 40 51 / 09 0A 0B 0C 0D", SCSI_DIR_IN, 0},
    {"a data-out the drive rejects and did not take whole: the status block's registers",
     "regs err=04 status=51\n  resid 4", false, "04 01 02 03 04 40 51 / 09 0A 0B 0C 0D", SCSI_DIR_OUT, 512},
};

class AptRegs : public AtaRoute, public ::testing::WithParamInterface<AptRegsCase> {};

TEST_P(AptRegs, ReturnsTheRegistersOfTheStatusBlock)
{
    const AptRegsCase& c = GetParam();
    Load(std::string("drive /dev/sdt apt\nanswer ata EC\n  ") + c.answer + "\n");
    Outcome o = Run(SendAtaCmndApt, MakeRegs("00 01 02 03 04 40 EC", "09 0A 0B 0C 0D"), c.ext48, c.dir, c.len);
    EXPECT_TRUE(o.ok) << c.what << " user_err " << o.user_err;
    EXPECT_EQ(o.user_err, kUserBefore) << c.what;
    EXPECT_EQ(Text(o.regs), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, AptRegs, ::testing::ValuesIn(apt_regs_cases), CaseName());

struct AptFailCase {
    const char* what;
    int dir;
    const char* answers;   // SCSI answers that fail tunnel phases
    size_t requests;       // requests sent
    int user_err;
    const char* regs;      // returned registers, "current / previous"; null: left as sent
    u32 len = 512;
};

void PrintTo(const AptFailCase& c, std::ostream* os) { *os << c.what; }

// A status block the tunnel's own answer would not give: count 66h, LBA 332211h, device E0h.
#define APT_STATUS_66 "data 00 00 00 00 00 00 00 66 E0 33 22 11 00 00 00 00 00 00 00 50 00 00 00 00\n"

// The data a failed packet write leaves the data read to bring.
#define APT_DATA_512 "answer scsi 3C mode=1 id=7\n  size 512\n"

const AptFailCase apt_fail_cases[] = {
    {"packet write fails: the data and status reads still run, the status is taken", SCSI_DIR_IN,
     "answer scsi 3B mode=1 id=6\n  sense-fixed 5 24 00\n" APT_DATA_512 "answer scsi 3C mode=1 id=6\n  " APT_STATUS_66,
     3, USER_ERR_SENSE_BAD_FIELD, "00 66 11 22 33 E0 50 / 00 00 00 00 00"},
    {"data read fails: the status is still read, not parsed", SCSI_DIR_IN,
     "answer scsi 3C mode=1 id=7\n  sense-fixed 3 11 00\n", 3, USER_ERR_SENSE_MEDIUM_HARDWARE, nullptr},
    {"status read fails after a good data read: what it brought is taken", SCSI_DIR_IN,
     "answer scsi 3C mode=1 id=6\n  " APT_STATUS_66 "  sense-fixed 6 29 00\n", 3, USER_ERR_SENSE_TRY_AGAIN,
     "00 66 11 22 33 E0 50 / 00 00 00 00 00"},
    {"data read and status read fail: the status read's error", SCSI_DIR_IN,
     "answer scsi 3C mode=1 id=7\n  sense-fixed 3 11 00\nanswer scsi 3C mode=1 id=6\n  sense-fixed 6 29 00\n", 3,
     USER_ERR_SENSE_TRY_AGAIN, nullptr},
    {"data-out write fails: the status is still read, not parsed", SCSI_DIR_OUT,
     "answer scsi 3B mode=1 id=6\n  sense-fixed 5 26 00\n", 2, USER_ERR_SENSE_BAD_PARAM, nullptr},
    {"non-data packet write fails", SCSI_DIR_NONE, "answer scsi 3B mode=1 id=6\n  sense-fixed B 00 00\n", 2,
     USER_ERR_SENSE_ABORTED_COMMAND, nullptr},
    // What a buffer command did not move counts as a failed request.
    {"status block cut before its error and status bytes: what came is taken, the call fails", SCSI_DIR_IN,
     "answer ata EC\n  size 512\n  regs cnt=66\n  status-block 18\n", 3, USER_ERR_OS_API,
     "00 66 00 00 00 40 00 / 00 00 00 00 00"},
    {"no status block at all", SCSI_DIR_NONE, "answer ata EC\n  status-block 0\n", 2, USER_ERR_OS_API,
     "00 00 00 00 00 00 00 / 00 00 00 00 00"},
    // A short data phase is judged with the registers: good ones leave the residual the failure.
    {"data read short of a sector, good registers: the status is taken, the residual fails", SCSI_DIR_IN,
     "answer ata EC\n  size 256\n", 3, USER_ERR_OS_API, "00 01 00 00 00 40 50 / 00 00 00 00 00"},
    {"data read without data, good registers", SCSI_DIR_IN, "answer ata EC\n  regs cnt=66\n", 3, USER_ERR_OS_API,
     "00 66 00 00 00 40 50 / 00 00 00 00 00"},
    {"a zero-length data-in with a residual, good registers", SCSI_DIR_IN, "answer ata EC\n  resid 4\n", 3,
     USER_ERR_OS_API, "00 01 00 00 00 40 50 / 00 00 00 00 00", 0},
    {"data-out write the drive did not take whole, good registers", SCSI_DIR_OUT, "answer ata EC\n  resid 4\n", 2,
     USER_ERR_OS_API, "00 01 00 00 00 40 50 / 00 00 00 00 00"},
    {"data-out write that did not carry the whole packet: the status is not parsed", SCSI_DIR_OUT,
     "answer ata EC\n  regs status=51 err=04\n  resid 513\n", 2, USER_ERR_OS_API, nullptr},
    {"non-data packet write cut short", SCSI_DIR_NONE, "answer ata EC\n  resid 1\n", 2, USER_ERR_OS_API, nullptr},
    {"data-in packet write cut short: the exchange still runs to its end", SCSI_DIR_IN,
     "answer scsi 3B mode=1 id=6\n  resid 2\n" APT_DATA_512, 3, USER_ERR_OS_API,
     "00 00 00 00 00 00 00 / 00 00 00 00 00"},
};

class AptFail : public AtaRoute, public ::testing::WithParamInterface<AptFailCase> {};

TEST_P(AptFail, FailsAfterRunningTheExchangeToItsEnd)
{
    const AptFailCase& c = GetParam();
    Load(std::string("drive /dev/sdt apt\nanswer ata EC\n  size 512\n  regs cnt=77\n") + c.answers);
    const Regs in = MakeRegs("00 01 00 00 00 40 EC");
    Outcome o = Run(SendAtaCmndApt, in, false, c.dir, c.len);
    EXPECT_FALSE(o.ok) << c.what;
    EXPECT_EQ(o.user_err, c.user_err) << c.what;
    EXPECT_EQ(zvemu::Requests(kNode).size(), c.requests) << c.what;
    EXPECT_EQ(Text(o.regs), c.regs != nullptr ? std::string(c.regs) : Text(in)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, AptFail, ::testing::ValuesIn(apt_fail_cases), CaseName());

// ---- Whether the drive's registers came back ----

struct ReturnedCase {
    const char* what;
    const char* kind;
    AtaRouteFun route;
    const char* answer;  // attribute lines of the drive's answer
    bool ok;
    bool returned;
};

void PrintTo(const ReturnedCase& c, std::ostream* os) { *os << c.what; }

const ReturnedCase returned_cases[] = {
    {"SAT: the ATA Status Return descriptor", "sat", SendAtaCmndSat, "regs lba0=12", true, true},
    {"SAT: a translator that answers GOOD without sense", "sat", SendAtaCmndSat, "status-return none", true, false},
    {"SAT: a RECOVERED ERROR that announces nothing", "sat", SendAtaCmndSat, "sense-fixed 1 17 01", true, false},
    {"SAT: the fixed-format return, whose registers are not read", "sat", SendAtaCmndSat, "sense-fixed 1 00 1D",
     true, false},
    {"SAT: the command fails", "sat", SendAtaCmndSat, "regs status=51 err=04", false, false},
    {"tunnel: the status block", "apt", SendAtaCmndApt, "regs lba0=12", true, true},
    {"tunnel: a rejected command still brings its registers", "apt", SendAtaCmndApt, "regs status=51 err=04", true,
     true},
    {"tunnel: the status block did not arrive", "apt", SendAtaCmndApt, "status-block 18", false, false},
    {"native route", "sat", SendAtaCmndNative, "regs lba0=12", false, false},
};

class RegistersReturned : public AtaRoute, public ::testing::WithParamInterface<ReturnedCase> {};

TEST_P(RegistersReturned, TellsWhetherTheDriveSentThem)
{
    const ReturnedCase& c = GetParam();
    // A call that brought registers back first, so a stale answer shows.
    Load(std::string("drive /dev/sdu sat\nanswer ata EC\n  regs lba0=34\ndrive /dev/sdt ") + c.kind +
         "\nanswer ata EC\n  " + c.answer + "\n");
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDisk(&handle, "/dev/sdu", &ue, &se));
    Regs first = MakeRegs("00 01 00 00 00 40 EC");
    ASSERT_TRUE(SendAtaCmndSat(&handle, &first.tf, &first.hob, false, nullptr, 0, SCSI_DIR_NONE, nullptr, &ue, &se));
    ASSERT_TRUE(AtaRegistersReturned());
    CloseDiskQuiet(&handle);

    Outcome o = Run(c.route, MakeRegs("00 01 00 00 00 40 EC"), false, SCSI_DIR_NONE, 0);
    EXPECT_EQ(o.ok, c.ok) << c.what << " user_err " << o.user_err;
    EXPECT_EQ(AtaRegistersReturned(), c.returned) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistersReturned, ::testing::ValuesIn(returned_cases), CaseName());

TEST_F(AtaRoute, TunnelRefusesADataOutThatTheLengthFieldsCannotHold)
{
    Load("drive /dev/sdt apt\nanswer ata *\n");
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDisk(&handle, kNode, &ue, &se));
    Regs r = MakeRegs("F7 00 00 00 00 40 8C");
    const u32 len = APT_MAX_LEN - 27;  // with the 28-byte packet one byte too long
    std::vector<u8> buf(len, 0);
    ue = kUserBefore;
    EXPECT_FALSE(SendAtaCmndApt(&handle, &r.tf, &r.hob, false, buf.data(), len, SCSI_DIR_OUT, nullptr, &ue, &se));
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    CloseDiskQuiet(&handle);
    EXPECT_TRUE(zvemu::Requests().empty());
}

TEST(AptPacket, BuildAndParseRefuseWhatTheyCannotUse)
{
    EnsureErrTable();
    Regs r = MakeRegs("D0 01 00 4F C2 40 B0");
    AptPacket p;
    int dir = 3;
    EXPECT_FALSE(BuildAptPacket(&p, &r.tf, &r.hob, &dir, 512, false));
    dir = -1;
    EXPECT_FALSE(BuildAptPacket(&p, &r.tf, &r.hob, &dir, 512, false));
    dir = SCSI_DIR_IN;
    EXPECT_FALSE(BuildAptPacket(nullptr, &r.tf, &r.hob, &dir, 512, false));
    EXPECT_FALSE(BuildAptPacket(&p, &r.tf, &r.hob, nullptr, 512, false));
    EXPECT_TRUE(BuildAptPacket(&p, &r.tf, nullptr, &dir, 0x123456, true));
    EXPECT_EQ(Bytes(reinterpret_cast<u8*>(&p), reinterpret_cast<u8*>(&p) + sizeof(p)),
              Hex("75 30 00 07 00 12 34 56 00 D0 00 01 40 C2 4F 00 00 00 00 00 00 00 00 B0 00 00 00 00"));
    EXPECT_FALSE(ParseAptStatus(&r.tf, &r.hob, nullptr, false));
}

TEST(AptCdb, NullCdbOrBufferIsRefusedBeforeTheDriver)
{
    EnsureErrTable();
    zvemu::Reset();
    u8 cdb[10] = {0x3C, 0x01, 0x06, 0, 0, 0, 0, 0, 0x18, 0};
    u8 buf[24];
    int dir = SCSI_DIR_IN;
    int handle = 3;
    int ue = kUserBefore, se = kSysBefore;
    EXPECT_FALSE(SendAptCdb(&handle, nullptr, buf, sizeof(buf), &dir, nullptr, &ue, &se));
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    ue = kUserBefore;
    EXPECT_FALSE(SendAptCdb(&handle, cdb, nullptr, sizeof(buf), &dir, nullptr, &ue, &se));
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(se, kSysBefore);
    EXPECT_TRUE(zvemu::Trace().empty());
}

// ---- The log of a tunnel exchange ----

// The log is a process singleton whose file is chosen on first use: this case runs in a
// re-executed child inside a fresh working directory.
std::string ReadAll(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

struct TunnelLogCase {
    const char* what;
    const char* answers;   // added to the tunnel drive's answers
    int dir;
    bool ok;
    const char* names;     // the log's block names, in order
    bool blocks;           // also check the "Write APT" and "Read APT" blocks byte for byte
    const char* err_status = "00h  50h";   // bytes 18 and 19 of that "Read APT" block
    // Its last line: the failure the call reports, or none.
    const char* outcome = "UserErr:00000000h  SysErr:00000000h";
};

void PrintTo(const TunnelLogCase& c, std::ostream* os) { *os << c.what; }

const TunnelLogCase tunnel_log_cases[] = {
    {"data-in", "", SCSI_DIR_IN, true,
     "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;Read APT;", true},
    {"data-out", "", SCSI_DIR_OUT, true, "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;Read APT;", false},
    {"packet write fails: the status block is still logged",
     "answer scsi 3B mode=1 id=6\n  sense-fixed 5 24 00\nanswer scsi 3C mode=1 id=7\n  size 512\n", SCSI_DIR_IN,
     false, "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;Read APT;", false},
    {"status read fails: the status block is still logged", "answer scsi 3C mode=1 id=6\n  sense-fixed 6 29 00\n",
     SCSI_DIR_IN, false, "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;Read APT;", false},
    {"data read fails: no Read APT", "answer scsi 3C mode=1 id=7\n  sense-fixed 3 11 00\n", SCSI_DIR_IN, false,
     "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;", false},
    {"the data read's SG_IO fails: no sense record for it, no Read APT", "answer scsi 3C mode=1 id=7\n  errno EIO\n",
     SCSI_DIR_IN, false, "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI CDB;SCSI Sense;", false},
    {"the drive rejects the data-in: no data, the status block logged",
     "answer ata B0 fea=D0\n  regs cnt=03 status=51 err=04\n", SCSI_DIR_IN, true, "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;Read APT;", true,
     "04h  51h"},
    {"good registers over a short data read: the status block logged with the residual's failure",
     "answer ata B0 fea=D0\n  regs cnt=03\n  size 100\n", SCSI_DIR_IN, false,
     "Write APT;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;SCSI CDB;SCSI Sense;Read APT;", true, "00h  50h",
     "UserErr:00000001h  SysErr:00000005h"},
};

// The block names of the log, in order, and for the plain read the "Write APT" and
// "Read APT" blocks themselves.
int TunnelLogRunInFreshDir(const TunnelLogCase& c)
{
    char tmpl[] = "/tmp/zv_apt_XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) {
        return 2;
    }
    EnsureErrTable();
    output_flags.save_log = 1;
    raid_kind = RAID_BUTT;
    zvemu::Reset();
    if (!zvemu::LoadFixtureText(std::string("drive /dev/sdt apt\nanswer ata B0 fea=D0\n  fill 0 512 5A\n"
                                            "  regs cnt=03\n") +
                                c.answers)) {
        return 3;
    }
    int handle = 0;
    if (!OpenDiskQuiet(&handle, kNode)) {
        return 4;
    }
    Regs r = MakeRegs("D0 01 00 4F C2 40 B0");
    u8 buf[512] = {};
    int ue = kUserBefore, se = 0;
    bool ok = SendAtaCmndApt(&handle, &r.tf, &r.hob, false, buf, sizeof(buf), c.dir, nullptr, &ue, &se);
    CloseDiskQuiet(&handle);
    CmdRespLog::GetInstance()->Flush();
    const std::string got = ReadAll("cmd_resp_log.txt");

    std::string names;
    std::istringstream in(got);
    std::string line;
    while (std::getline(in, line)) {
        // Record heads are "HH:MM:SS:mmm  <name>".
        if (line.size() > 14 && line[2] == ':' && line[12] == ' ') {
            names += line.substr(14) + ";";
        }
    }
    const std::string write_apt = "  Write APT\n"
                                  "    75h  30h  00h  07h  00h  00h  02h  00h\n"
                                  "    00h  D0h  00h  01h  40h  C2h  4Fh  00h\n"
                                  "    00h  00h  00h  00h  00h  00h  00h  B0h\n"
                                  "    00h  00h  00h  00h\n"
                                  "    DataLen:00000200h  DataDir:1\n";
    const std::string read_apt = "  Read APT\n"
                                 "    00h  00h  00h  00h  00h  00h  00h  03h\n"
                                 "    40h  C2h  4Fh  00h  00h  00h  00h  00h\n"
                                 "    00h  00h  " + std::string(c.err_status) + "  00h  00h  00h  00h\n"
                                 "    " + c.outcome + "\n\n";
    int rc = 0;
    if (ok != c.ok || names != c.names ||
        (c.blocks && (got.find(write_apt) == std::string::npos || got.find(read_apt) == std::string::npos))) {
        fprintf(stderr, "%s: ok %d names %s\n--- log ---\n%s", c.what, ok, names.c_str(), got.c_str());
        rc = 1;
    }
    std::string cmd = std::string("rm -rf '") + tmpl + "'";
    if (chdir("/") != 0 || system(cmd.c_str()) != 0) {
        rc = 5;
    }
    return rc;
}

class TunnelLog : public ::testing::TestWithParam<TunnelLogCase> {};

TEST_P(TunnelLog, WriteAptThenTheBufferCommandsThenReadAptAfterAGoodDataPhase)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit(TunnelLogRunInFreshDir(GetParam())), ::testing::ExitedWithCode(0), "") << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Cases, TunnelLog, ::testing::ValuesIn(tunnel_log_cases), CaseName());

// ---- Plain sector I/O (on a regular file: no drive node is needed) ----

class SectorIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        char tmpl[] = "/tmp/zv_sectors_XXXXXX";
        fd_ = mkstemp(tmpl);
        ASSERT_GE(fd_, 0);
        path_ = tmpl;
    }
    void TearDown() override
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        unlink(path_.c_str());
    }
    int fd_ = -1;
    std::string path_;
};

TEST_F(SectorIo, WritesAndReadsWholeSectorsAtTheByteOffset)
{
    std::vector<u8> out(1024);
    for (size_t i = 0; i < out.size(); i++) {
        out[i] = static_cast<u8>(i * 7);
    }
    int done = -1;
    int ue = kUserBefore, se = kSysBefore;
    ASSERT_TRUE(WriteSectors(&fd_, out.data(), 1536, 2, nullptr, &done, &ue, &se));
    EXPECT_EQ(done, 1024);
    EXPECT_EQ(lseek(fd_, 0, SEEK_END), 2560);

    std::vector<u8> in(1024, 0);
    ASSERT_TRUE(ReadSectors(&fd_, in.data(), 1536, 2, nullptr, &done, &ue, &se));
    EXPECT_EQ(done, 1024);
    EXPECT_EQ(in, out);
    // Past the end a read moves what there is.
    ASSERT_TRUE(ReadSectors(&fd_, in.data(), 2048, 2, nullptr, &done, &ue, &se));
    EXPECT_EQ(done, 512);
    EXPECT_EQ(ue, kUserBefore);
}

TEST_F(SectorIo, RefusesBadArgumentsAndReportsSystemErrors)
{
    u8 buf[512];
    int done = 0;
    int closed = dup(fd_);
    ASSERT_GE(closed, 0);
    close(closed);
    struct Case {
        const char* what;
        int handle;
        u8* buf;
        u64 count;
        int user_err;
        int sys_err;
    } cases[] = {
        {"negative handle", -1, buf, 1, USER_ERR_ILLEGAL_PARAM, kSysBefore},
        {"null buffer", fd_, nullptr, 1, USER_ERR_ILLEGAL_PARAM, kSysBefore},
        {"more than one call can report", fd_, buf, u64(1) << 40, USER_ERR_ILLEGAL_PARAM, kSysBefore},
        {"a descriptor that is not open", closed, buf, 1, USER_ERR_OS_API, EBADF},
    };
    for (const Case& c : cases) {
        for (bool write : {false, true}) {
            int handle = c.handle;
            int ue = kUserBefore, se = kSysBefore;
            bool ok = write ? WriteSectors(&handle, c.buf, 0, c.count, nullptr, &done, &ue, &se)
                            : ReadSectors(&handle, c.buf, 0, c.count, nullptr, &done, &ue, &se);
            EXPECT_FALSE(ok) << c.what << (write ? " (write)" : " (read)");
            EXPECT_EQ(ue, c.user_err) << c.what;
            EXPECT_EQ(se, c.sys_err) << c.what;
        }
    }
}

} // namespace
