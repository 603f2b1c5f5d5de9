// The SCSI generic transport against emulated drives: what reaches the driver (read back
// from the emulator's trace), how outcomes map to user and system errors, and the log.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "cmd_resp_log.h"
#include "disk_transport.h"
#include "emu_api.h"
#include "msg_processor.h"
#include "settings.h"
#include "test_init.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

const int kUserBefore = USER_ERR_UNSUPPORTED;   // what the catalogue sets before a call
const int kSysBefore = 0x1234;

struct Sent {
    bool ok = false;
    int user_err = kUserBefore;
    int sys_err = kSysBefore;
    ScsiRequest req;
    u8 sense[kSenseLen];
    Bytes data;

    // The request, its sense pointer aimed at this copy's buffer.
    const ScsiRequest* Req()
    {
        req.sense = sense;
        return &req;
    }
};

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        // These cases read the trace, not the log file; the log is checked in its own processes.
        output_flags.save_log = 0;
        raid_kind = RAID_BUTT;
        zvemu::Reset();
    }
    void TearDown() override
    {
        zvemu::Reset();
    }

    void Load(const std::string& text)
    {
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, ".", &err)) << err;
    }

    // One request on a freshly opened node, the error outputs preset as the catalogue does.
    Sent Send(const char* node, const Bytes& cdb, u32 dir, u32 len, u32 timeout = 10, const Bytes& out = Bytes(),
              u32 cdb_len = 0, u32 sense_len = kSenseLen)
    {
        Sent s;
        int handle = 0;
        int ue = 0, se = 0;
        EXPECT_TRUE(OpenDisk(&handle, node, &ue, &se)) << node;
        Bytes c = cdb;
        std::vector<u8> buf(len > 0 ? len : 1, 0);
        std::copy(out.begin(), out.end(), buf.begin());
        memset(&s.req, 0, sizeof(s.req));
        memset(s.sense, 0, sizeof(s.sense));
        s.req.cdb = c.data();
        s.req.cdb_len = cdb_len != 0 ? cdb_len : static_cast<u32>(c.size());
        s.req.dir = dir;
        s.req.data = len > 0 ? buf.data() : nullptr;
        s.req.data_len = len;
        s.req.sense = s.sense;
        s.req.sense_len = sense_len;
        s.req.timeout = timeout;
        s.ok = SendScsiCmnd(&handle, &s.req, nullptr, &s.user_err, &s.sys_err);
        s.data.assign(buf.begin(), buf.begin() + len);
        s.req.cdb = nullptr;
        s.req.data = nullptr;
        EXPECT_TRUE(CloseDiskQuiet(&handle));
        return s;
    }

    // TEST UNIT READY on a drive whose only answer carries the given attributes.
    Sent Probe(const std::string& attrs)
    {
        Load("drive /dev/sdt sas\nanswer scsi 00\n" + attrs + "\n");
        return Send("/dev/sdt", Hex("00 00 00 00 00 00"), SCSI_DIR_NONE, 0);
    }

    SettingsGuard settings_;
};

// ---- Node open and close ----

TEST_F(Transport, OpenDiskOpensReadWriteNonBlocking)
{
    Load("drive /dev/sdt sas\n");
    int handle = 0;
    int ue = kUserBefore, se = kSysBefore;
    ASSERT_TRUE(OpenDisk(&handle, "/dev/sdt", &ue, &se));
    EXPECT_GE(handle, 0);
    EXPECT_EQ(ue, kUserBefore);
    EXPECT_EQ(se, kSysBefore);
    ASSERT_TRUE(CloseDisk(&handle, &ue, &se));
    EXPECT_GE(handle, 0);   // the handle value is left as it was
    std::vector<zvemu::TraceEntry> t = zvemu::Trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].op, "open");
    EXPECT_EQ(t[0].flags, O_RDWR | O_NONBLOCK | O_LARGEFILE);
    EXPECT_EQ(t[1].op, "close");
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

TEST_F(Transport, OpenDiskWithFlagsPassesTheFlags)
{
    Load("drive /dev/sdt sas\n");
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDiskWithFlags(&handle, "/dev/sdt", O_RDWR | O_NONBLOCK | O_LARGEFILE | O_DIRECT, &ue, &se));
    EXPECT_TRUE(CloseDiskQuiet(&handle));
    ASSERT_FALSE(zvemu::Trace().empty());
    EXPECT_EQ(zvemu::Trace()[0].flags, O_RDWR | O_NONBLOCK | O_LARGEFILE | O_DIRECT);
}

struct OpenFailCase {
    int handle;
    const char* path;
    int user_err;
    int sys_err;
    bool reaches_open;
};

void PrintTo(const OpenFailCase& c, std::ostream* os)
{
    *os << (c.path != nullptr ? c.path : "no path") << " handle " << c.handle;
}

class TransportOpenFail : public Transport, public ::testing::WithParamInterface<OpenFailCase> {};

TEST_P(TransportOpenFail, ReportsAndQuietFormFails)
{
    Load("drive /dev/sdc sas\nopen-errno EBUSY\n");
    const OpenFailCase& c = GetParam();
    int handle = c.handle;
    int ue = kUserBefore, se = kSysBefore;
    EXPECT_FALSE(OpenDisk(&handle, c.path, &ue, &se));
    EXPECT_EQ(ue, c.user_err);
    EXPECT_EQ(se, c.sys_err);
    handle = c.handle;
    EXPECT_FALSE(OpenDiskQuiet(&handle, c.path));
    EXPECT_EQ(zvemu::Trace().size(), c.reaches_open ? 2u : 0u);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransportOpenFail,
                         ::testing::Values(OpenFailCase{0, "/dev/sdq", USER_ERR_OS_API, ENOENT, true},
                                           OpenFailCase{0, "/dev/sdc", USER_ERR_OS_API, EBUSY, true},
                                           OpenFailCase{-1, "/dev/sdc", USER_ERR_ILLEGAL_PARAM, kSysBefore, false},
                                           OpenFailCase{0, nullptr, USER_ERR_ILLEGAL_PARAM, kSysBefore, false}),
                         CaseName());

TEST_F(Transport, CloseDiskFailures)
{
    Load("drive /dev/sdt sas\n");
    int handle = 0;
    ASSERT_TRUE(OpenDiskQuiet(&handle, "/dev/sdt"));
    EXPECT_TRUE(CloseDiskQuiet(&handle));
    int ue = kUserBefore, se = kSysBefore;
    EXPECT_FALSE(CloseDisk(&handle, &ue, &se));   // already closed
    EXPECT_EQ(ue, USER_ERR_OS_API);
    EXPECT_EQ(se, EBADF);
    handle = -1;
    ue = kUserBefore;
    se = kSysBefore;
    EXPECT_FALSE(CloseDisk(&handle, &ue, &se));
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(se, kSysBefore);
    EXPECT_FALSE(CloseDiskQuiet(&handle));
}

// ---- What reaches the driver ----

TEST_F(Transport, RequestFieldsReachTheDriver)
{
    Load("drive /dev/sdt sas\n"
         "answer scsi 12\n  data 00 00 06 12 1F 00 00 02\n"
         "answer scsi 3B\n"
         "answer scsi 00\n");
    Sent in = Send("/dev/sdt", Hex("12 00 00 00 C0 00 00 00 00 00"), SCSI_DIR_IN, 512, 10, Bytes(), 0x10A, 0x120);
    EXPECT_TRUE(in.ok);
    EXPECT_EQ(in.user_err, kUserBefore);   // success leaves both outputs alone
    EXPECT_EQ(in.sys_err, kSysBefore);
    EXPECT_EQ(Bytes(in.data.begin(), in.data.begin() + 8), Hex("00 00 06 12 1F 00 00 02"));
    EXPECT_EQ(in.req.resid, 504u);
    EXPECT_EQ(in.req.status, 0);
    EXPECT_EQ(in.req.sense_written, 0u);

    Sent out = Send("/dev/sdt", Hex("3B 05 00 00 00 00 00 00 03 00"), SCSI_DIR_OUT, 3, 30, Hex("A1 B2 C3"));
    EXPECT_TRUE(out.ok);
    Sent none = Send("/dev/sdt", Hex("00 00 00 00 00 00"), SCSI_DIR_NONE, 0, 0);
    EXPECT_TRUE(none.ok);

    std::vector<zvemu::TraceEntry> sent = zvemu::Requests("/dev/sdt");
    std::vector<std::string> lines;
    for (const zvemu::TraceEntry& e : sent) {
        lines.push_back(zvemu::FormatTraceLine(e, false));
    }
    // Only the low bytes of the CDB and sense lengths reach the driver.
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "sgio /dev/sdt cdb=12000000C00000000000 dir=in len=512 timeout=10000 sense=32",
                         "sgio /dev/sdt cdb=3B050000000000000300 dir=out len=3 timeout=30000 sense=32 data=A1B2C3",
                         "sgio /dev/sdt cdb=000000000000 dir=none len=0 timeout=60000 sense=32"}));
}

struct TimeoutCase {
    u32 seconds;
    u32 ms;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) { *os << c.seconds << " s"; }

class TransportTimeout : public Transport, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TransportTimeout, SecondsBecomeMilliseconds)
{
    Load("drive /dev/sdt sas\nanswer scsi 00\n");
    Send("/dev/sdt", Hex("00 00 00 00 00 00"), SCSI_DIR_NONE, 0, GetParam().seconds);
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].timeout, GetParam().ms);
}

// 0 means 60 s; a time-out too long for the driver's field saturates instead of wrapping.
INSTANTIATE_TEST_SUITE_P(Cases, TransportTimeout,
                         ::testing::Values(TimeoutCase{0, 60000}, TimeoutCase{10, 10000}, TimeoutCase{30, 30000},
                                           TimeoutCase{60, 60000}, TimeoutCase{4294967, 4294967000u},
                                           TimeoutCase{4294968, UINT_MAX}),
                         CaseName());

TEST_F(Transport, DirectionThreeSendsNothing)
{
    Load("drive /dev/sdt sas\nanswer scsi 00\n");
    Sent s = Send("/dev/sdt", Hex("00 00 00 00 00 00"), 3, 0);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.user_err, USER_ERR_INVALID_HANDLE);
    EXPECT_EQ(s.sys_err, kSysBefore);
    EXPECT_TRUE(zvemu::Requests().empty());
}

TEST_F(Transport, NullRequestPartsAreRefusedBeforeTheDriver)
{
    Load("drive /dev/sdt sas\nanswer scsi 00\n");
    int handle = 0;
    ASSERT_TRUE(OpenDiskQuiet(&handle, "/dev/sdt"));
    u8 cdb[6] = {0};
    u8 sense[kSenseLen] = {0};
    ScsiRequest req;
    memset(&req, 0, sizeof(req));
    req.cdb_len = 6;
    req.sense = sense;
    req.sense_len = kSenseLen;
    int ue = kUserBefore, se = kSysBefore;
    EXPECT_FALSE(SendScsiCmnd(&handle, &req, nullptr, &ue, &se));   // no CDB
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    req.cdb = cdb;
    req.sense = nullptr;
    ue = kUserBefore;
    EXPECT_FALSE(SendScsiCmnd(&handle, &req, nullptr, &ue, &se));   // sense length without a buffer
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    ue = kUserBefore;
    EXPECT_FALSE(SendScsiCmnd(&handle, nullptr, nullptr, &ue, &se));
    EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(se, kSysBefore);
    EXPECT_TRUE(CloseDiskQuiet(&handle));
    EXPECT_TRUE(zvemu::Requests().empty());
}

// ---- Sense data ----

struct SenseCase {
    const char* attrs;   // the drive's answer
    bool ok;
    int user_err;        // expected when not ok
    int code;            // SenseResult of the request
    int key;
    int asc;
    int ascq;
};

void PrintTo(const SenseCase& c, std::ostream* os) { *os << c.attrs; }

class TransportSense : public Transport, public ::testing::WithParamInterface<SenseCase> {};

TEST_P(TransportSense, KeyMapsToUserError)
{
    const SenseCase& c = GetParam();
    Sent s = Probe(c.attrs);
    EXPECT_EQ(s.ok, c.ok);
    EXPECT_EQ(s.user_err, c.ok ? kUserBefore : c.user_err);
    EXPECT_EQ(s.sys_err, kSysBefore);
    EXPECT_EQ(s.req.status, 2);
    SenseResult r(s.Req());
    EXPECT_EQ(r.response_code, c.code);
    EXPECT_EQ(r.sense_key, c.key);
    EXPECT_EQ(r.asc, c.asc);
    EXPECT_EQ(r.ascq, c.ascq);
    EXPECT_EQ(r.user_err, c.ok ? USER_ERR_NO_ERROR : c.user_err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportSense,
    ::testing::Values(
        // Fixed format.
        SenseCase{"sense-fixed 0 00 00", true, 0, 0x70, 0, 0, 0},
        SenseCase{"sense-fixed 1 17 01", true, 0, 0x70, 1, 0x17, 0x01},
        SenseCase{"sense-fixed 2 3A 00", false, USER_ERR_SENSE_NO_MEDIUM, 0x70, 2, 0x3A, 0},
        SenseCase{"sense-fixed 2 04 01", false, USER_ERR_SENSE_BECOMING_READY, 0x70, 2, 0x04, 0x01},
        SenseCase{"sense-fixed 2 04 02", false, USER_ERR_SENSE_NOT_READY, 0x70, 2, 0x04, 0x02},
        SenseCase{"sense-fixed 3 11 00", false, USER_ERR_SENSE_MEDIUM_HARDWARE, 0x70, 3, 0x11, 0},
        SenseCase{"sense-fixed 4 44 00", false, USER_ERR_SENSE_MEDIUM_HARDWARE, 0x70, 4, 0x44, 0},
        SenseCase{"sense-fixed 5 20 00", false, USER_ERR_SENSE_BAD_OPCODE, 0x70, 5, 0x20, 0},
        SenseCase{"sense-fixed 5 24 00", false, USER_ERR_SENSE_BAD_FIELD, 0x70, 5, 0x24, 0},
        SenseCase{"sense-fixed 5 26 00", false, USER_ERR_SENSE_BAD_PARAM, 0x70, 5, 0x26, 0},
        SenseCase{"sense-fixed 6 29 00", false, USER_ERR_SENSE_TRY_AGAIN, 0x70, 6, 0x29, 0},
        SenseCase{"sense-fixed 7 27 00", false, USER_ERR_SENSE_UNKNOWN, 0x70, 7, 0x27, 0},
        SenseCase{"sense-fixed A 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x70, 0x0A, 0, 0},
        SenseCase{"sense-fixed B 47 00", false, USER_ERR_SENSE_ABORTED_COMMAND, 0x70, 0x0B, 0x47, 0},
        SenseCase{"sense-fixed C 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x70, 0x0C, 0, 0},
        SenseCase{"sense-fixed F 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x70, 0x0F, 0, 0},
        // Valid bit set, deferred errors, flag bits above the key.
        SenseCase{"sense F0 00 05 00 00 00 00 0A 00 00 00 00 24 00", false, USER_ERR_SENSE_BAD_FIELD, 0x70, 5,
                  0x24, 0},
        SenseCase{"sense 71 00 06 00 00 00 00 0A 00 00 00 00 29 00", false, USER_ERR_SENSE_TRY_AGAIN, 0x71, 6,
                  0x29, 0},
        SenseCase{"sense 70 00 E5 00 00 00 00 0A 00 00 00 00 20 00", false, USER_ERR_SENSE_BAD_OPCODE, 0x70, 5,
                  0x20, 0},
        // Short fixed sense: ASC and ASCQ only when more than 13 bytes were written.
        SenseCase{"sense-fixed 2 3A 00\nsense-written 8", false, USER_ERR_SENSE_NOT_READY, 0x70, 2, 0, 0},
        SenseCase{"sense-fixed 5 24 00\nsense-written 8", false, USER_ERR_SENSE_BAD_PARAM, 0x70, 5, 0, 0},
        SenseCase{"sense-fixed 5 24 00\nsense-written 13", false, USER_ERR_SENSE_BAD_PARAM, 0x70, 5, 0, 0},
        SenseCase{"sense-fixed 5 24 00\nsense-written 14", false, USER_ERR_SENSE_BAD_FIELD, 0x70, 5, 0x24, 0},
        // The key's byte must be among the bytes written: a CHECK CONDITION without it is no success.
        SenseCase{"sense-fixed 0 00 00\nsense-written 2", false, USER_ERR_SENSE_UNKNOWN, 0x70, 0, 0, 0},
        SenseCase{"sense-fixed 1 00 00\nsense-written 3", true, 0, 0x70, 1, 0, 0},
        SenseCase{"sense 72 01 00 1D\nsense-written 1", false, USER_ERR_SENSE_UNKNOWN, 0x72, 0, 0, 0},
        SenseCase{"sense-fixed 5 24 00\nsense-written 2", false, USER_ERR_SENSE_UNKNOWN, 0x70, 0, 0, 0},
        // Descriptor format reads ASC and ASCQ only when bytes 2 and 3 were written.
        SenseCase{"sense-desc 2 04 01\nsense-written 3", false, USER_ERR_SENSE_NOT_READY, 0x72, 2, 0, 0},
        SenseCase{"sense-desc 2 04 01\nsense-written 4", false, USER_ERR_SENSE_BECOMING_READY, 0x72, 2, 0x04, 0x01},
        // Descriptor format.
        SenseCase{"sense-desc 2 04 01", false, USER_ERR_SENSE_BECOMING_READY, 0x72, 2, 0x04, 0x01},
        SenseCase{"sense-desc 2 3A 00", false, USER_ERR_SENSE_NO_MEDIUM, 0x72, 2, 0x3A, 0},
        SenseCase{"sense-desc 5 20 00", false, USER_ERR_SENSE_BAD_OPCODE, 0x72, 5, 0x20, 0},
        SenseCase{"sense-desc 1 00 1D", true, 0, 0x72, 1, 0, 0x1D},
        SenseCase{"sense-desc B 00 00", false, USER_ERR_SENSE_ABORTED_COMMAND, 0x72, 0x0B, 0, 0},
        SenseCase{"sense-desc E 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x72, 0x0E, 0, 0},
        SenseCase{"sense 73 06 29 00 00 00 00 00", false, USER_ERR_SENSE_TRY_AGAIN, 0x73, 6, 0x29, 0},
        SenseCase{"sense F2 05 24 00 00 00 00 00", false, USER_ERR_SENSE_BAD_FIELD, 0x72, 5, 0x24, 0},
        // Response codes 74h-7Eh are reserved and 7Fh is vendor specific: no format to read a key from.
        SenseCase{"sense 74 05 24 00 00 00 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x74, 0, 0, 0},
        SenseCase{"sense 7E 06 29 00 00 00 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x7E, 0, 0, 0},
        SenseCase{"sense 7F 01 00 1D 00 00 00 0E 09 0C 00 04 00 00 00 00 00 00 00 00 40 51", false,
                  USER_ERR_SENSE_UNKNOWN, 0x7F, 0, 0, 0},
        SenseCase{"sense FF 00 00 00 00 00 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x7F, 0, 0, 0},
        // A response code below 70h names no sense format: the reason of the failure is unknown.
        SenseCase{"sense 00 00 05 00 00 00 00 0A 00 00 00 00 24 00", false, USER_ERR_SENSE_UNKNOWN, 0x00, 0, 0, 0},
        SenseCase{"sense 6F 00 05 00 00 00 00 0A 00 00 00 00 24 00", false, USER_ERR_SENSE_UNKNOWN, 0x6F, 0, 0, 0},
        SenseCase{"sense 80 00 00 00 00 00 00 0A 00 00 00 00 00 00", false, USER_ERR_SENSE_UNKNOWN, 0x00, 0, 0, 0},
        // Driver status 8 makes a zero status byte CHECK CONDITION.
        SenseCase{"sense-fixed 5 20 00\nstatus 00\ndriver-status 08", false, USER_ERR_SENSE_BAD_OPCODE, 0x70, 5,
                  0x20, 0},
        SenseCase{"sense-fixed 6 29 00\nstatus 00\ndriver-status 28", false, USER_ERR_SENSE_TRY_AGAIN, 0x70, 6,
                  0x29, 0}),
    CaseName());

// ---- Residual ----

struct ResidCase {
    const char* attrs;   // the answer of a 512-byte data-in, after its 8 data bytes
    u32 resid;
};

void PrintTo(const ResidCase& c, std::ostream* os) { *os << (c.attrs[0] != '\0' ? c.attrs : "no resid") << " gives " << c.resid; }

class TransportResid : public Transport, public ::testing::WithParamInterface<ResidCase> {};

TEST_P(TransportResid, ANegativeResidualIsNoShortfall)
{
    Load(std::string("drive /dev/sdt sas\nanswer scsi 12\n  data 00 00 06 12 1F 00 00 02\n") + GetParam().attrs +
         "\n");
    Sent s = Send("/dev/sdt", Hex("12 00 00 02 00 00"), SCSI_DIR_IN, 512);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.req.resid, GetParam().resid);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransportResid,
                         ::testing::Values(ResidCase{"", 504}, ResidCase{"resid 7", 7}, ResidCase{"resid 0", 0},
                                           ResidCase{"resid -4", 0}, ResidCase{"resid -2147483648", 0}),
                         CaseName());

// ---- One filled request ----

struct ExchangeCase {
    const char* resid;   // the answer's residual attribute
    u32 dir;
    ScsiResidRule rule;
    bool ok;
};

void PrintTo(const ExchangeCase& c, std::ostream* os)
{
    *os << (c.dir == SCSI_DIR_IN ? "in " : "out ") << (c.resid[0] != '\0' ? c.resid : "whole")
        << (c.rule == SCSI_RESID_FAILS ? " must be whole" : " may be short");
}

class TransportExchange : public Transport, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(TransportExchange, ResidualJudgedByTheRule)
{
    const ExchangeCase& c = GetParam();
    Load(std::string("drive /dev/sdt sas\n") +
         (c.dir == SCSI_DIR_OUT ? "answer scsi 3B\n" : "answer scsi 3C\n  data 11 22 33 44\n") + c.resid + "\n");
    int handle = 0;
    ASSERT_TRUE(OpenDiskQuiet(&handle, "/dev/sdt"));
    u8 buf[4] = {0xA1, 0xB2, 0xC3, 0xD4};
    u8 cdb[10] = {0x3C, 0x02, 0, 0, 0, 0, 0, 0, 0x04, 0};
    if (c.dir == SCSI_DIR_OUT) {
        cdb[0] = 0x3B;
    }
    ScsiExchange x(cdb, sizeof(cdb), c.dir, buf, sizeof(buf), 30);
    cdb[0] = 0xFF;   // the exchange sends its own copy
    int ue = kUserBefore, se = kSysBefore;
    EXPECT_EQ(x.Send(&handle, nullptr, c.rule, &ue, &se), c.ok);
    EXPECT_TRUE(CloseDiskQuiet(&handle));
    EXPECT_EQ(ue, c.ok ? kUserBefore : USER_ERR_OS_API);
    EXPECT_EQ(se, c.ok ? kSysBefore : 5);   // EIO
    const std::vector<zvemu::TraceEntry> sent = zvemu::Requests("/dev/sdt");
    ASSERT_EQ(sent.size(), 1u);
    const std::string cdb_sent = c.dir == SCSI_DIR_OUT ? "3B020000000000000400" : "3C020000000000000400";
    EXPECT_EQ(zvemu::FormatTraceLine(sent[0], false).substr(0, 38), "sgio /dev/sdt cdb=" + cdb_sent);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransportExchange,
                         ::testing::Values(ExchangeCase{"", SCSI_DIR_OUT, SCSI_RESID_FAILS, true},
                                           ExchangeCase{"resid 1", SCSI_DIR_OUT, SCSI_RESID_FAILS, false},
                                           ExchangeCase{"resid 1", SCSI_DIR_OUT, SCSI_RESID_KEPT, true},
                                           ExchangeCase{"", SCSI_DIR_IN, SCSI_RESID_FAILS, true},
                                           ExchangeCase{"resid 2", SCSI_DIR_IN, SCSI_RESID_FAILS, false},
                                           ExchangeCase{"resid 2", SCSI_DIR_IN, SCSI_RESID_KEPT, true}),
                         CaseName());

TEST_F(Transport, ExchangeWithoutAUsableCdbSendsNothing)
{
    Load("drive /dev/sdt sas\nanswer scsi 00\n");
    int handle = 0;
    ASSERT_TRUE(OpenDiskQuiet(&handle, "/dev/sdt"));
    u8 cdb[kMaxCdbLen + 1] = {};
    ScsiExchange none(nullptr, 6, SCSI_DIR_NONE, nullptr, 0, 10);
    ScsiExchange too_long(cdb, kMaxCdbLen + 1, SCSI_DIR_NONE, nullptr, 0, 10);
    for (ScsiExchange* x : {&none, &too_long}) {
        int ue = kUserBefore, se = kSysBefore;
        EXPECT_FALSE(x->Send(&handle, nullptr, SCSI_RESID_KEPT, &ue, &se));
        EXPECT_EQ(ue, USER_ERR_ILLEGAL_PARAM);
        EXPECT_EQ(se, kSysBefore);
    }
    EXPECT_TRUE(CloseDiskQuiet(&handle));
    EXPECT_TRUE(zvemu::Requests().empty());
}

TEST_F(Transport, SenseOfAnotherStatusIsNotRead)
{
    Sent s = Probe("sense-fixed 5 20 00\nstatus 00\ndriver-status 00");
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.req.status, 0);
    SenseResult r(s.Req());
    EXPECT_EQ(r.sense_key, 0);
    EXPECT_EQ(r.response_code, 0);
}

TEST_F(Transport, SenseCountIsCutToTheBuffer)
{
    Sent s = Probe("sense-fixed 2 3A 00\nsense-written 40");
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.user_err, USER_ERR_SENSE_NO_MEDIUM);
    EXPECT_EQ(s.req.sense_written, kSenseLen);
}

TEST(SenseFields, NeverReadPastTheSenseBuffer)
{
    // A 4-byte buffer of fixed-format sense: the key byte is inside, ASC/ASCQ are not.
    u8 sense[4] = {0x70, 0x00, 0x05, 0x00};
    ScsiRequest req;
    memset(&req, 0, sizeof(req));
    req.sense = sense;
    req.sense_len = sizeof(sense);
    req.sense_written = 18;
    req.status = 2;
    SenseResult r(&req);
    EXPECT_EQ(r.sense_key, 5);
    EXPECT_EQ(r.asc, 0);
    EXPECT_EQ(r.user_err, USER_ERR_SENSE_BAD_PARAM);
}

// ---- Host, driver and SCSI status, SG_IO failure ----

struct OutcomeCase {
    const char* attrs;
    bool ok;
    int user_err;
    int sys_err;
    int status;          // the request's status afterwards
    u32 sense_written;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << (*c.attrs != '\0' ? c.attrs : "plain answer"); }

class TransportOutcome : public Transport, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(TransportOutcome, MapsToUserAndSystemError)
{
    const OutcomeCase& c = GetParam();
    Sent s = Probe(c.attrs);
    EXPECT_EQ(s.ok, c.ok);
    EXPECT_EQ(s.user_err, c.user_err);
    EXPECT_EQ(s.sys_err, c.sys_err);
    EXPECT_EQ(s.req.status, c.status);
    EXPECT_EQ(s.req.sense_written, c.sense_written);
    EXPECT_EQ(zvemu::Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportOutcome,
    ::testing::Values(
        OutcomeCase{"", true, kUserBefore, kSysBefore, 0x00, 0},
        // GOOD, CONDITION MET, INTERMEDIATE (and its CONDITION MET form) succeed.
        OutcomeCase{"status 04", true, kUserBefore, kSysBefore, 0x04, 0},
        OutcomeCase{"status 10", true, kUserBefore, kSysBefore, 0x10, 0},
        OutcomeCase{"status 14", true, kUserBefore, kSysBefore, 0x14, 0},
        // The drive did not run the command.
        OutcomeCase{"status 08", false, USER_ERR_OS_API, 5, 0x08, 0},
        OutcomeCase{"status 18", false, USER_ERR_OS_API, 5, 0x18, 0},
        OutcomeCase{"status 28", false, USER_ERR_OS_API, 5, 0x28, 0},
        OutcomeCase{"status 30", false, USER_ERR_OS_API, 5, 0x30, 0},
        OutcomeCase{"status 40", false, USER_ERR_OS_API, 5, 0x40, 0},
        // COMMAND TERMINATED and reserved values are no completion either.
        OutcomeCase{"status 22", false, USER_ERR_OS_API, 5, 0x22, 0},
        OutcomeCase{"status 01", false, USER_ERR_OS_API, 5, 0x01, 0},
        OutcomeCase{"status 06", false, USER_ERR_OS_API, 5, 0x06, 0},
        OutcomeCase{"status 0C", false, USER_ERR_OS_API, 5, 0x0C, 0},
        OutcomeCase{"status FF", false, USER_ERR_OS_API, 5, 0xFF, 0},
        // CHECK CONDITION without any sense written: the reason is unknown, never a success.
        OutcomeCase{"status 02", false, USER_ERR_SENSE_UNKNOWN, kSysBefore, 0x02, 0},
        // Host status: no connection, bus busy and time-out are time-outs; the rest I/O errors.
        OutcomeCase{"host-status 01", false, USER_ERR_OS_API, 110, 0, 0},
        OutcomeCase{"host-status 02", false, USER_ERR_OS_API, 110, 0, 0},
        OutcomeCase{"host-status 03\nsense-fixed 5 20 00", false, USER_ERR_OS_API, 110, 2, 0},
        OutcomeCase{"host-status 04", false, USER_ERR_OS_API, 5, 0, 0},
        OutcomeCase{"host-status 07", false, USER_ERR_OS_API, 5, 0, 0},
        // Driver status, low four bits: 6 time-out, 8 sense, others I/O errors.
        OutcomeCase{"driver-status 06", false, USER_ERR_OS_API, 110, 0, 0},
        OutcomeCase{"driver-status 26", false, USER_ERR_OS_API, 110, 0, 0},
        OutcomeCase{"driver-status 01", false, USER_ERR_OS_API, 5, 0, 0},
        OutcomeCase{"driver-status 04\nsense-fixed 6 29 00", false, USER_ERR_OS_API, 5, 2, 0},
        OutcomeCase{"driver-status 10", true, kUserBefore, kSysBefore, 0, 0},
        OutcomeCase{"driver-status 08", false, USER_ERR_SENSE_UNKNOWN, kSysBefore, 2, 0},
        // The SG_IO call itself fails.
        OutcomeCase{"errno EIO", false, USER_ERR_OS_API, EIO, 0, 0},
        OutcomeCase{"errno ENOMEM", false, USER_ERR_OS_API, ENOMEM, 0, 0},
        OutcomeCase{"errno EINVAL", false, USER_ERR_OS_API, EINVAL, 0, 0},
        OutcomeCase{"sense-fixed 5 24 00", false, USER_ERR_SENSE_BAD_FIELD, kSysBefore, 2, 18}),
    CaseName());

// ---- Sense descriptors ----

// 72h sense with a 12-byte descriptor of type 01h at byte 8 and the 14-byte ATA Status
// Return descriptor (09h) at byte 20; additional length 26.
Bytes DescSense(u8 code = 0x72, u8 additional = 26)
{
    Bytes s = Hex("72 01 00 1D 00 00 00 1A"
                  "01 0A 00 00 00 00 00 00 00 00 00 00"
                  "09 0C 00 00 00 01 00 00 00 4F 00 C2 40 50");
    s[0] = code;
    s[7] = additional;
    return s;
}

struct DescCase {
    Bytes sense;
    int len;
    int type;
    int offset;   // of the descriptor found, -1 for none
};

void PrintTo(const DescCase& c, std::ostream* os)
{
    *os << "sense " << std::hex << unsigned(c.sense[0]) << " additional " << unsigned(c.sense[7]) << std::dec
        << " len " << c.len << " type " << c.type;
}

class SenseDescriptor : public ::testing::TestWithParam<DescCase> {};

TEST_P(SenseDescriptor, FoundOnlyWhenWholeInside)
{
    const DescCase& c = GetParam();
    const u8* found = FindSenseDescriptor(c.sense.data(), c.len, c.type);
    if (c.offset < 0) {
        EXPECT_EQ(found, nullptr);
    } else {
        EXPECT_EQ(found, c.sense.data() + c.offset);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SenseDescriptor,
                         ::testing::Values(DescCase{DescSense(), 34, 9, 20}, DescCase{DescSense(), 34, 1, 8},
                                           DescCase{DescSense(), 34, 2, -1}, DescCase{DescSense(0x73), 34, 9, 20},
                                           DescCase{DescSense(0x70), 34, 9, -1},
                                           DescCase{DescSense(0x71), 34, 1, -1},
                                           DescCase{DescSense(0xF2), 34, 9, 20},
                                           // Reserved and vendor-specific response codes name no format.
                                           DescCase{DescSense(0x74), 34, 9, -1}, DescCase{DescSense(0x7F), 34, 9, -1},
                                           DescCase{DescSense(0xFF), 34, 1, -1}, DescCase{DescSense(), 7, 9, -1},
                                           DescCase{DescSense(0x72, 0), 34, 1, -1},
                                           // The length given cuts the second descriptor short.
                                           DescCase{DescSense(), 33, 9, -1}, DescCase{DescSense(), 33, 1, 8},
                                           // So does the additional sense length.
                                           DescCase{DescSense(0x72, 25), 34, 9, -1},
                                           // A length byte outside the covered bytes ends the walk.
                                           DescCase{DescSense(0x72, 13), 34, 9, -1},
                                           // The smaller of byte 7 and len - 8 is covered.
                                           DescCase{DescSense(0x72, 0xFF), 34, 9, 20},
                                           DescCase{DescSense(0x72, 0xFF), 30, 9, -1}),
                         CaseName());

TEST(SenseDescriptorNull, NullSenseFindsNothing) { EXPECT_EQ(FindSenseDescriptor(nullptr, 32, 9), nullptr); }

// ---- Returned ATA registers ----

struct AtaStatusCase {
    u8 status;
    u8 error;
    bool good;
};

void PrintTo(const AtaStatusCase& c, std::ostream* os)
{
    *os << std::hex << "status " << unsigned(c.status) << " error " << unsigned(c.error);
}

class AtaStatus : public ::testing::TestWithParam<AtaStatusCase> {};

TEST_P(AtaStatus, GoodOnlyWithoutErrDfOr58hAndWithZeroError)
{
    TaskFile regs;
    memset(&regs, 0, sizeof(regs));
    regs.command = GetParam().status;
    regs.features = GetParam().error;
    regs.count = 0xFF;   // other registers do not matter
    EXPECT_EQ(IsAtaStatusGood(&regs), GetParam().good);
}

INSTANTIATE_TEST_SUITE_P(Cases, AtaStatus,
                         ::testing::Values(AtaStatusCase{0x50, 0x00, true}, AtaStatusCase{0x51, 0x00, false},
                                           AtaStatusCase{0x71, 0x00, false}, AtaStatusCase{0x70, 0x00, false},
                                           AtaStatusCase{0x58, 0x00, false}, AtaStatusCase{0x50, 0x04, false},
                                           AtaStatusCase{0x50, 0x80, false}, AtaStatusCase{0x40, 0x00, true},
                                           AtaStatusCase{0x00, 0x00, true}, AtaStatusCase{0x59, 0x00, false},
                                           AtaStatusCase{0xD0, 0x00, true}),
                         CaseName());

TEST(AtaStatusNull, NullRegistersAreNotGood) { EXPECT_FALSE(IsAtaStatusGood(nullptr)); }

// ---- The log ----

// The log is a process singleton whose file is chosen on first use: these cases run in
// a re-executed child inside a fresh working directory.
std::string ReadAll(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// '#' in the pattern stands for one decimal digit (the time of day).
bool MatchesPattern(const std::string& got, const std::string& pattern)
{
    if (got.size() != pattern.size()) {
        return false;
    }
    for (size_t i = 0; i < got.size(); i++) {
        if (pattern[i] == '#' ? (got[i] < '0' || got[i] > '9') : got[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

int LogRunInFreshDir()
{
    char tmpl[] = "/tmp/zv_sg_XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) {
        return 2;
    }
    EnsureErrTable();
    output_flags.save_log = 1;
    raid_kind = RAID_BUTT;
    zvemu::Reset();
    if (!zvemu::LoadFixtureText("drive /dev/sdt sas\n"
                                "answer scsi 12\n  data 00 00 06 12\n  sense-fixed 5 24 00\n  status 02\n"
                                "answer scsi 00\n  errno EIO\n")) {
        return 3;
    }
    int handle = 0;
    if (!OpenDiskQuiet(&handle, "/dev/sdt")) {
        return 4;
    }
    u8 inquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
    u8 tur[6] = {0};
    u8 data[36];
    u8 sense[kSenseLen];
    auto send = [&](u8* cdb, u32 dir, u32 len, int* ue, int* se) {
        ScsiRequest req;
        memset(&req, 0, sizeof(req));
        memset(sense, 0, sizeof(sense));
        req.cdb = cdb;
        req.cdb_len = 6;
        req.dir = dir;
        req.data = len > 0 ? data : nullptr;
        req.data_len = len;
        req.sense = sense;
        req.sense_len = kSenseLen;
        req.timeout = 10;
        return SendScsiCmnd(&handle, &req, nullptr, ue, se);
    };
    int ue = USER_ERR_UNSUPPORTED, se = 0;
    bool a = send(inquiry, SCSI_DIR_IN, sizeof(data), &ue, &se);   // sense record with 6 and 0, then 11
    int ue_after_a = ue;
    ue = USER_ERR_UNSUPPORTED;
    se = 0;
    bool b = send(tur, SCSI_DIR_NONE, 0, &ue, &se);                // SG_IO fails: no sense record
    bool c = send(tur, 3, 0, &ue, &se);                            // nothing at all
    CloseDiskQuiet(&handle);
    CmdRespLog::GetInstance()->Flush();
    const std::string got = ReadAll("cmd_resp_log.txt");
    const std::string expected = "##:##:##:###  SCSI CDB\n"
                                 "    12h  00h  00h  00h  24h  00h  00h  00h\n"
                                 "    00h  00h  00h  00h  00h  00h  00h  00h\n"
                                 "    DataLen:00000024h  DataDir:1\n"
                                 "##:##:##:###  SCSI Sense\n"
                                 "    70h  00h  05h  00h  00h  00h  00h  0Ah\n"
                                 "    00h  00h  00h  00h  24h  00h  00h  00h\n"
                                 "    00h  00h  00h  00h  00h  00h  00h  00h\n"
                                 "    00h  00h  00h  00h  00h  00h  00h  00h\n"
                                 "    UserErr:00000006h  SysErr:00000000h\n\n"
                                 "##:##:##:###  SCSI CDB\n"
                                 "    00h  00h  00h  00h  00h  00h  00h  00h\n"
                                 "    00h  00h  00h  00h  00h  00h  00h  00h\n"
                                 "    DataLen:00000000h  DataDir:0\n";
    int rc = 0;
    if (a || ue_after_a != USER_ERR_SENSE_BAD_FIELD || b || c || ue != USER_ERR_INVALID_HANDLE || se != EIO) {
        fprintf(stderr, "results: %d %d %d %d %d %d\n", a, ue_after_a, b, c, ue, se);
        rc = 1;
    }
    if (!MatchesPattern(got, expected)) {
        fprintf(stderr, "--- got ---\n%s--- expected ---\n%s", got.c_str(), expected.c_str());
        rc = 1;
    }
    std::string cmd = std::string("rm -rf '") + tmpl + "'";
    if (chdir("/") != 0 || system(cmd.c_str()) != 0) {
        rc = 5;
    }
    return rc;
}

TEST(TransportLog, CdbBeforeSenseAfterAndNothingForRefusedRequests)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit(LogRunInFreshDir()), ::testing::ExitedWithCode(0), "");
}

} // namespace
