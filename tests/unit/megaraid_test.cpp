// The MegaRAID route against an emulated controller: the packets that reach the driver (read
// back from the emulator's trace, user addresses zeroed), the host number, the management
// nodes and their descriptors, and the errors. Then the emulator's own MegaRAID side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <scsi/sg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ata_transport.h"
#include "case_names.h"
#include "disk_transport.h"
#include "emu_api.h"
#include "msg_processor.h"
#include "settings.h"
#include "test_init.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

const int kUserBefore = USER_ERR_UNSUPPORTED;   // what the catalogue sets before a call
const int kSysBefore = 0x1234;

const unsigned long kMegaSasIocFirmware = 0xC1944D01;   // _IOWR('M', 1, 404-byte packet)
const unsigned long kMegaIocCmd = 0xC06E6D00;           // _IOWR('m', 0, 110-byte mimd_t)
const u8 kHost = 6;

const char kVolume[] = "/dev/sdc";
const char kSasNode[] = "/dev/megaraid_sas_ioctl_node";
const char kDevNode[] = "/dev/megadev0";

// /dev/sdc is the controller's volume on SCSI host 6. Behind the controller, target 5 is a
// SAS drive and target 9 a SATA drive behind SCSI/ATA Translation.
const char kDrives[] = R"(
drive /dev/sdc sas
  scsi-host 6
drive pd5 sas
answer scsi 00
answer scsi 12 evpd=0
  size 96
  text 8 "QUMA    "
  text 16 "QUMA-K6470BN0400"
answer scsi 3B mode=2
drive pd9 sat
answer ata B0 fea=D0
  size 512
  put 0 10 00
  put 510 00 AB
answer ata B0 fea=D8
answer ata B0 fea=D6
)";

const char kSasController[] = R"(
drive /dev/megaraid_sas_ioctl_node megaraid_sas
  host 6
  major 249
  target 5 pd5
  target 9 pd9
)";

const char kDevController[] = R"(
drive /dev/megadev0 megadev
  host 6
  major 248
  target 5 pd5
  target 9 pd9
)";

void PutLe(Bytes* b, size_t off, u64 v, int width)
{
    for (int i = 0; i < width; i++) {
        (*b)[off + i] = static_cast<u8>(v >> (8 * i));
    }
}

// megasas_iocpacket of the x86_64 driver, field by field, with the user addresses zeroed.
Bytes SasPacket(u8 target, const Bytes& cdb, u16 flags, u32 len)
{
    Bytes p(404, 0);
    PutLe(&p, 0, kHost, 2);                // host_no
    if (len != 0) {
        PutLe(&p, 4, 48, 4);               // sgl_off
        PutLe(&p, 8, 1, 4);                // sge_count
        PutLe(&p, 148 + 8, len, 8);        // the first iovec: base (zeroed), length
    }
    const size_t f = 20;                   // the MFI frame
    p[f + 0] = 0x04;                       // SCSI I/O to a physical drive
    p[f + 2] = 0xFF;                       // cmd_status on entry
    p[f + 4] = target;
    p[f + 6] = static_cast<u8>(cdb.size());
    p[f + 7] = len != 0 ? 1 : 0;           // sge_count
    PutLe(&p, f + 16, flags, 2);
    PutLe(&p, f + 20, len, 4);             // data_xfer_len
    std::copy(cdb.begin(), cdb.end(), p.begin() + f + 32);
    PutLe(&p, f + 52, len, 4);             // the first element: address (zeroed), length
    return p;
}

// mimd_t of the x86_64 driver, with the user addresses zeroed.
Bytes MimdPacket(u8 target, const Bytes& cdb, u32 len)
{
    Bytes p(110, 0);
    PutLe(&p, 0, len, 4);                  // inlen
    PutLe(&p, 4, len, 4);                  // outlen
    p[8] = 0x80;                           // opcode
    PutLe(&p, 10, 'm' * 256 + kHost, 2);   // adapno
    p[24] = 0x03;                          // mailbox: pass-through
    const size_t t = 42;                   // the pass-through block
    p[t + 0] = 0x0A;                       // time-out code 2, automatic request sense
    p[t + 3] = target;
    std::copy(cdb.begin(), cdb.end(), p.begin() + t + 6);
    p[t + 16] = static_cast<u8>(cdb.size());
    p[t + 17] = 32;                        // reqsenselen
    PutLe(&p, t + 56, len, 4);             // dataxferlen
    return p;
}

struct Sent {
    bool ok = false;
    int user_err = kUserBefore;
    int sys_err = kSysBefore;
    ScsiRequest req;
    u8 sense[kSenseLen];
    Bytes data;
};

class MegaRaid : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        output_flags.save_log = 0;
        raid_kind = RAID_MEGARAID;
        raid_target_id = 5;
        megaraid_host = 0;
        megaraid_host_unread = true;
        zvemu::Reset();
    }
    void TearDown() override
    {
        zvemu::Reset();
        megaraid_host = 0;
        megaraid_host_unread = true;
    }

    void Load(const std::string& text)
    {
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, ".", &err)) << err;
    }

    // One request on a handle that holds the volume's descriptor, as an executor does it;
    // the buffer starts as EEh bytes (then the data to the drive).
    Sent Send(const Bytes& cdb, u32 dir, u32 len, const Bytes& out = Bytes())
    {
        Sent s;
        int handle = 0;
        int ue = 0, se = 0;
        EXPECT_TRUE(OpenDisk(&handle, kVolume, &ue, &se));
        Bytes c = cdb;
        std::vector<u8> buf(len > 0 ? len : 1, 0xEE);
        std::copy(out.begin(), out.end(), buf.begin());
        memset(&s.req, 0, sizeof(s.req));
        memset(s.sense, 0, sizeof(s.sense));
        s.req.cdb = c.data();
        s.req.cdb_len = static_cast<u32>(c.size());
        s.req.dir = dir;
        s.req.data = len > 0 ? buf.data() : nullptr;
        s.req.data_len = len;
        s.req.sense = s.sense;
        s.req.sense_len = kSenseLen;
        s.req.timeout = 10;
        s.ok = SendScsiCmnd(&handle, &s.req, nullptr, &s.user_err, &s.sys_err);
        s.data.assign(buf.begin(), buf.begin() + len);
        s.req.cdb = nullptr;
        s.req.data = nullptr;
        s.req.sense = nullptr;
        CloseDiskQuiet(&handle);
        return s;
    }

    // The controller requests of the trace.
    static std::vector<TraceEntry> Packets()
    {
        std::vector<TraceEntry> out;
        for (const TraceEntry& e : zvemu::Trace()) {
            if (e.op == "mfi" || e.op == "mimd") {
                out.push_back(e);
            }
        }
        return out;
    }

    // Every event of the trace as a line; controller requests only by node (and errno).
    static std::vector<std::string> Steps()
    {
        std::vector<std::string> out;
        for (const TraceEntry& e : zvemu::Trace()) {
            if (e.op == "mfi" || e.op == "mimd") {
                out.push_back(e.op + " " + e.node + (e.err != 0 ? " errno=" + std::to_string(e.err) : ""));
            } else {
                out.push_back(zvemu::FormatTraceLine(e, false));
            }
        }
        return out;
    }

    SettingsGuard settings_;
};

// ---- The MFI frame of a SCSI command ----

struct ScsiFrameCase {
    const char* cdb;
    u32 dir;
    u32 len;
    const char* out;        // data to the drive
    u16 flags;              // the frame's direction
    int trace_dir;
};

void PrintTo(const ScsiFrameCase& c, std::ostream* os) { *os << c.cdb; }

class MegaSasScsiFrame : public MegaRaid, public ::testing::WithParamInterface<ScsiFrameCase> {};

TEST_P(MegaSasScsiFrame, PacketAsTheDriverReadsIt)
{
    const ScsiFrameCase& c = GetParam();
    Load(std::string(kDrives) + kSasController);
    Sent s = Send(Hex(c.cdb), c.dir, c.len, Hex(c.out));
    ASSERT_TRUE(s.ok) << s.user_err << " " << s.sys_err;
    EXPECT_EQ(s.user_err, kUserBefore);
    EXPECT_EQ(s.sys_err, kSysBefore);
    std::vector<TraceEntry> p = Packets();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].op, "mfi");
    EXPECT_EQ(p[0].node, kSasNode);
    EXPECT_EQ(p[0].request, kMegaSasIocFirmware);
    EXPECT_EQ(p[0].packet, SasPacket(5, Hex(c.cdb), c.flags, c.len));
    EXPECT_EQ(p[0].addr, "ok");   // frame and iovec name the same buffer
    EXPECT_EQ(p[0].dir, c.trace_dir);
    EXPECT_EQ(p[0].len, c.len);
    EXPECT_EQ(p[0].data, Hex(c.out));
    EXPECT_EQ(p[0].via.substr(0, 7), "inline:");
    if (c.dir == SCSI_DIR_IN) {
        ASSERT_EQ(s.data.size(), 96u);
        EXPECT_EQ(std::string(s.data.begin() + 16, s.data.begin() + 32), "QUMA-K6470BN0400");
    }
    // No sense and no status come back on this route.
    EXPECT_EQ(s.req.status, 0);
    EXPECT_EQ(s.req.sense_written, 0u);
    EXPECT_EQ(s.req.resid, 0u);
    EXPECT_EQ(Bytes(s.sense, s.sense + kSenseLen), Bytes(kSenseLen, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MegaSasScsiFrame,
    ::testing::Values(ScsiFrameCase{"12 00 00 00 60 00", SCSI_DIR_IN, 96, "", 0x0010, zvemu::TRACE_DIR_IN},
                      // no data: no scatter-gather entry, sgl_off 0, sge_count 0 in packet and frame
                      ScsiFrameCase{"00 00 00 00 00 00", SCSI_DIR_NONE, 0, "", 0x0000, zvemu::TRACE_DIR_NONE},
                      ScsiFrameCase{"3B 02 00 00 00 00 00 00 08 00", SCSI_DIR_OUT, 8, "01 02 03 04 05 06 07 08",
                                    0x0008, zvemu::TRACE_DIR_OUT}),
    CaseName());

// ---- An ATA command over SAT through the controller ----

struct AtaFrameCase {
    TaskFile regs;
    int dir;
    u32 len;
    const char* cdb;        // without CK_COND and with device 0
    u16 flags;
};

void PrintTo(const AtaFrameCase& c, std::ostream* os) { *os << c.cdb; }

class MegaSasAtaFrame : public MegaRaid, public ::testing::WithParamInterface<AtaFrameCase> {};

TEST_P(MegaSasAtaFrame, PassThroughCdbInTheFrame)
{
    const AtaFrameCase& c = GetParam();
    Load(std::string(kDrives) + kSasController);
    raid_target_id = 9;
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDisk(&handle, kVolume, &ue, &se));
    TaskFile regs = c.regs;
    TaskFileHob prev = {};
    std::vector<u8> buf(c.len > 0 ? c.len : 1, 0x5A);
    ue = kUserBefore;
    se = kSysBefore;
    const bool ok = SendAtaCmndSat(&handle, &regs, &prev, false, c.len > 0 ? buf.data() : nullptr, c.len, c.dir,
                                   nullptr, &ue, &se);
    CloseDiskQuiet(&handle);
    ASSERT_TRUE(ok) << ue << " " << se;
    // No status return descriptor comes back: the registers as sent, error 0, status 50h.
    EXPECT_EQ(regs.features, 0x00);
    EXPECT_EQ(regs.command, 0x50);
    EXPECT_EQ(regs.lba_mid, 0x4F);
    std::vector<TraceEntry> p = Packets();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].cdb, Hex(c.cdb));
    EXPECT_EQ(p[0].packet, SasPacket(9, Hex(c.cdb), c.flags, c.len));
    EXPECT_EQ(p[0].addr, "ok");
    if (c.dir == SCSI_DIR_IN) {
        EXPECT_EQ(buf[0], 0x10);
        EXPECT_EQ(buf[511], 0xAB);
    }
    if (c.dir == SCSI_DIR_OUT) {
        EXPECT_EQ(p[0].data, Bytes(c.len, 0x5A));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MegaSasAtaFrame,
    ::testing::Values(
        // SMART READ DATA: byte 2 0Eh (no CK_COND), byte 13 (device 40h) sent as 0
        AtaFrameCase{{0xD0, 0x01, 0x00, 0x4F, 0xC2, 0x40, 0xB0}, SCSI_DIR_IN, 512,
                     "85 08 0E 00 D0 00 01 00 00 00 4F 00 C2 00 B0 00", 0x0010},
        // SMART ENABLE OPERATIONS: non-data, 0Ch
        AtaFrameCase{{0xD8, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0xB0}, SCSI_DIR_NONE, 0,
                     "85 06 0C 00 D8 00 00 00 00 00 4F 00 C2 00 B0 00", 0x0000},
        // SMART WRITE LOG: data-out, 06h
        AtaFrameCase{{0xD6, 0x01, 0x80, 0x4F, 0xC2, 0x40, 0xB0}, SCSI_DIR_OUT, 512,
                     "85 0A 06 00 D6 00 01 00 80 00 4F 00 C2 00 B0 00", 0x0008}),
    CaseName());

// ---- The legacy mailbox pass-through ----

TEST_F(MegaRaid, LegacyPassThroughBlockOfARead)
{
    Load(std::string(kDrives) + kDevController);
    const Bytes cdb = Hex("12 00 00 00 60 00");
    Sent s = Send(cdb, SCSI_DIR_IN, 96);
    ASSERT_TRUE(s.ok) << s.user_err << " " << s.sys_err;
    std::vector<TraceEntry> p = Packets();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].op, "mimd");
    EXPECT_EQ(p[0].node, kDevNode);
    EXPECT_EQ(p[0].request, kMegaIocCmd);
    EXPECT_EQ(p[0].packet, MimdPacket(5, cdb, 96));
    EXPECT_EQ(p[0].addr, "ok");   // mailbox -> block, block and data pointer -> the buffer
    // Both lengths are set, so the driver copies the buffer in: zeroed first, not EEh.
    EXPECT_EQ(p[0].dir, zvemu::TRACE_DIR_INOUT);
    EXPECT_EQ(p[0].data, Bytes(96, 0));
    EXPECT_EQ(std::string(s.data.begin() + 16, s.data.begin() + 32), "QUMA-K6470BN0400");
}

TEST_F(MegaRaid, LegacyPassThroughBlockOfAWrite)
{
    Load(std::string(kDrives) + kDevController);
    const Bytes cdb = Hex("3B 02 00 00 00 00 00 00 08 00");
    const Bytes out = Hex("01 02 03 04 05 06 07 08");
    Sent s = Send(cdb, SCSI_DIR_OUT, 8, out);
    ASSERT_TRUE(s.ok) << s.user_err << " " << s.sys_err;
    std::vector<TraceEntry> p = Packets();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].packet, MimdPacket(5, cdb, 8));
    EXPECT_EQ(p[0].data, out);   // sent unchanged
    EXPECT_EQ(s.data, out);
}

// The block holds 10 CDB bytes: the 16-byte ATA PASS-THROUGH is refused, nothing is sent.
TEST_F(MegaRaid, LegacyRouteRefusesCdbsLongerThanTen)
{
    Load(std::string(kDrives) + kDevController);
    raid_target_id = 9;
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDisk(&handle, kVolume, &ue, &se));
    TaskFile regs = {0xD0, 0x01, 0x00, 0x4F, 0xC2, 0x40, 0xB0};
    TaskFileHob prev = {};
    u8 buf[512];
    ue = kUserBefore;
    se = kSysBefore;
    EXPECT_FALSE(SendAtaCmndSat(&handle, &regs, &prev, false, buf, sizeof(buf), SCSI_DIR_IN, nullptr, &ue, &se));
    CloseDiskQuiet(&handle);
    EXPECT_EQ(ue, USER_ERR_OS_API);
    EXPECT_EQ(se, EINVAL);
    EXPECT_TRUE(Packets().empty());
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

// ---- Nodes, descriptors and the errors of the route ----

struct RouteCase {
    const char* what;
    std::string controllers;   // fixture lines after kDrives
    const char* cdb;
    u32 target;
    bool ok;
    int user_err;
    int sys_err;
    std::vector<std::string> steps;
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.what; }

class MegaRaidRoute : public MegaRaid, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(MegaRaidRoute, StepsAndResult)
{
    const RouteCase& c = GetParam();
    Load(std::string(kDrives) + c.controllers);
    raid_target_id = c.target;
    Sent s = Send(Hex(c.cdb), SCSI_DIR_IN, 96);
    EXPECT_EQ(s.ok, c.ok);
    EXPECT_EQ(s.user_err, c.user_err);
    EXPECT_EQ(s.sys_err, c.sys_err);
    EXPECT_EQ(Steps(), c.steps);
    // Every descriptor the route opened or replaced is closed, each exactly once.
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

const char kInquiry[] = "12 00 00 00 60 00";
const std::string kOpenVolume = "open /dev/sdc flags=802";
const std::string kIdLun = "ioctl /dev/sdc req=5382";
const std::string kProc = "fopen /proc/devices";
const std::string kMakeSas = "mknod /dev/megaraid_sas_ioctl_node mode=2000 dev=249:0";
const std::string kMakeDev = "mknod /dev/megadev0 mode=2000 dev=248:0";
const std::string kOpenSas = "open /dev/megaraid_sas_ioctl_node flags=2";
const std::string kOpenDev = "open /dev/megadev0 flags=2";
const std::string kCloseVolume = "close /dev/sdc";
const std::string kMfi = "mfi /dev/megaraid_sas_ioctl_node";
const std::string kMimd = "mimd /dev/megadev0";
const std::string kCloseSas = "close /dev/megaraid_sas_ioctl_node";
const std::string kCloseDev = "close /dev/megadev0";

INSTANTIATE_TEST_SUITE_P(
    Cases, MegaRaidRoute,
    ::testing::Values(
        RouteCase{"the megaraid_sas line makes its node; the node replaces the volume's descriptor",
                  kSasController, kInquiry, 5, true, kUserBefore, kSysBefore,
                  {kOpenVolume, kIdLun, kProc, kMakeSas, kOpenSas, kCloseVolume, kMfi, kCloseSas}},
        RouteCase{"an existing node stops the scan at its line (EEXIST)",
                  "drive /dev/megaraid_sas_ioctl_node megaraid_sas\n host 6\n major 249\n present\n target 5 pd5\n"
                  "drive /dev/megadev0 megadev\n host 6\n major 300\n target 5 pd5\n",
                  kInquiry, 5, true, kUserBefore, kSysBefore,
                  {kOpenVolume, kIdLun, kProc, kMakeSas + " errno=17", kOpenSas, kCloseVolume, kMfi, kCloseSas}},
        RouteCase{"an existing node that /proc/devices does not list is used as it is",
                  "drive /dev/megaraid_sas_ioctl_node megaraid_sas\n host 6\n present\n chrdev none\n target 5 pd5\n",
                  kInquiry, 5, true, kUserBefore, kSysBefore,
                  {kOpenVolume, kIdLun, kProc, kOpenSas, kCloseVolume, kMfi, kCloseSas}},
        RouteCase{"a failed mknod lets the scan go on to the legacy driver's line",
                  "drive /dev/megaraid_sas_ioctl_node megaraid_sas\n host 6\n major 247\n mknod-errno EACCES\n"
                  " target 5 pd5\n" + std::string(kDevController),
                  kInquiry, 5, true, kUserBefore, kSysBefore,
                  {kOpenVolume, kIdLun, kProc, "mknod /dev/megaraid_sas_ioctl_node mode=2000 dev=247:0 errno=13",
                   kMakeDev, kOpenSas + " errno=2", kOpenDev, kCloseVolume, kMimd, kCloseDev}},
        RouteCase{"the legacy driver registered as megadev_legacy still matches",
                  "drive /dev/megadev0 megadev\n host 6\n major 248\n chrdev megadev_legacy\n target 5 pd5\n",
                  kInquiry, 5, true, kUserBefore, kSysBefore,
                  {kOpenVolume, kIdLun, kProc, kMakeDev, kOpenSas + " errno=2", kOpenDev, kCloseVolume, kMimd,
                   kCloseDev}},
        RouteCase{"no driver line: no node is made, both opens fail, the volume stays in the handle",
                  "", kInquiry, 5, false, USER_ERR_OS_API, ENOENT,
                  {kOpenVolume, kIdLun, kProc, kOpenSas + " errno=2", kOpenDev + " errno=2", kCloseVolume}},
        RouteCase{"a four-digit major is not the kernel's three-character field",
                  "drive /dev/megaraid_sas_ioctl_node megaraid_sas\n host 6\n major 1234\n target 5 pd5\n",
                  kInquiry, 5, false, USER_ERR_OS_API, ENOENT,
                  {kOpenVolume, kIdLun, kProc, kOpenSas + " errno=2", kOpenDev + " errno=2", kCloseVolume}},
        RouteCase{"mknod fails and nothing else is listed",
                  "drive /dev/megaraid_sas_ioctl_node megaraid_sas\n host 6\n major 249\n mknod-errno EPERM\n",
                  kInquiry, 5, false, USER_ERR_OS_API, ENOENT,
                  {kOpenVolume, kIdLun, kProc, kMakeSas + " errno=1", kOpenSas + " errno=2",
                   kOpenDev + " errno=2", kCloseVolume}},
        RouteCase{"the controller request fails with errno; the caller closes the node once",
                  "drive /dev/megaraid_sas_ioctl_node megaraid_sas\n host 6\n major 249\n ioctl-errno EIO\n"
                  " target 5 pd5\n",
                  kInquiry, 5, false, USER_ERR_OS_API, EIO,
                  {kOpenVolume, kIdLun, kProc, kMakeSas, kOpenSas, kCloseVolume, kMfi + " errno=5", kCloseSas}},
        RouteCase{"the drive refuses the command: only the completion status tells",
                  kSasController, "1C 01 00 00 60 00", 5, false, USER_ERR_OS_API, 0,
                  {kOpenVolume, kIdLun, kProc, kMakeSas, kOpenSas, kCloseVolume, kMfi, kCloseSas}},
        RouteCase{"no drive at the target", kSasController, kInquiry, 7, false, USER_ERR_OS_API, 0,
                  {kOpenVolume, kIdLun, kProc, kMakeSas, kOpenSas, kCloseVolume, kMfi, kCloseSas}},
        RouteCase{"legacy: the request fails with errno",
                  "drive /dev/megadev0 megadev\n host 6\n major 248\n ioctl-errno EBUSY\n target 5 pd5\n",
                  kInquiry, 5, false, USER_ERR_OS_API, EBUSY,
                  {kOpenVolume, kIdLun, kProc, kMakeDev, kOpenSas + " errno=2", kOpenDev, kCloseVolume,
                   kMimd + " errno=16", kCloseDev}},
        // The mailbox status reports it; the untouched SCSI status alone would read as success.
        RouteCase{"legacy: no drive at the target", kDevController, kInquiry, 7, false, USER_ERR_OS_API, 0,
                  {kOpenVolume, kIdLun, kProc, kMakeDev, kOpenSas + " errno=2", kOpenDev, kCloseVolume, kMimd,
                   kCloseDev}},
        // The errno of the failed open of the other node must not be reported for it.
        RouteCase{"legacy: the drive refuses the command", kDevController, "1C 01 00 00 60 00", 5, false,
                  USER_ERR_OS_API, 0,
                  {kOpenVolume, kIdLun, kProc, kMakeDev, kOpenSas + " errno=2", kOpenDev, kCloseVolume, kMimd,
                   kCloseDev}},
        // Both frames carry the target in one byte: 261 would reach target 5.
        RouteCase{"a target id above 255 is refused before anything is sent", kSasController, kInquiry, 261,
                  false, USER_ERR_ILLEGAL_PARAM, kSysBefore, {kOpenVolume, kCloseVolume}}),
    CaseName());

TEST_F(MegaRaid, HostNumberReachesBothPackets)
{
    Load(std::string(kDrives) +
         "drive /dev/sdc\n  scsi-host 201\n"
         "drive /dev/megadev0 megadev\n  host 201\n  major 248\n  target 5 pd5\n");
    Sent s = Send(Hex(kInquiry), SCSI_DIR_IN, 96);
    ASSERT_TRUE(s.ok) << s.sys_err;
    EXPECT_EQ(megaraid_host, 201u);
    EXPECT_FALSE(megaraid_host_unread);
    ASSERT_EQ(Packets().size(), 1u);
    EXPECT_EQ(Packets()[0].packet[10], 201);   // adapno 'm' x 256 + host
    EXPECT_EQ(Packets()[0].packet[11], 'm');

    // A controller of another host number refuses the request (ENODEV).
    zvemu::Reset();
    Load(std::string(kDrives) + kSasController);
    s = Send(Hex(kInquiry), SCSI_DIR_IN, 96);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.sys_err, ENODEV);
    ASSERT_EQ(Packets().size(), 1u);
    EXPECT_EQ(Packets()[0].packet[0], 201);    // host_no, still the one read first
}

// Two requests on one handle: the host number is asked once, /proc/devices read twice, and
// the first request's node is closed when the second opens its own.
TEST_F(MegaRaid, TwoRequestsQueryTheHostOnceAndReadTheDevicesTwice)
{
    Load(std::string(kDrives) + kSasController);
    int handle = 0;
    int ue = 0, se = 0;
    ASSERT_TRUE(OpenDisk(&handle, kVolume, &ue, &se));
    for (int i = 0; i < 2; i++) {
        u8 cdb[6] = {0x00, 0, 0, 0, 0, 0};
        u8 sense[kSenseLen] = {};
        ScsiRequest req;
        memset(&req, 0, sizeof(req));
        req.cdb = cdb;
        req.cdb_len = sizeof(cdb);
        req.sense = sense;
        req.sense_len = kSenseLen;
        ue = kUserBefore;
        EXPECT_TRUE(SendScsiCmnd(&handle, &req, nullptr, &ue, &se)) << i;
    }
    EXPECT_TRUE(CloseDisk(&handle, &ue, &se));
    EXPECT_EQ(Steps(), (std::vector<std::string>{kOpenVolume, kIdLun, kProc, kMakeSas, kOpenSas, kCloseVolume, kMfi,
                                                 kProc, kMakeSas + " errno=17", kOpenSas, kCloseSas, kMfi,
                                                 kCloseSas}));
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

TEST_F(MegaRaid, FailedHostQueryIsPrintedAndAskedAgain)
{
    Load(std::string(kDrives) + kSasController + "drive /dev/sdc\n  idlun-errno EINVAL\n");
    ::testing::internal::CaptureStdout();
    Sent first = Send(Hex(kInquiry), SCSI_DIR_IN, 96);
    Sent second = Send(Hex(kInquiry), SCSI_DIR_IN, 96);
    fflush(stdout);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "get m_hba failed!Error = -1\nget m_hba failed!Error = -1\n");
    for (const Sent& s : {first, second}) {
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(s.user_err, kUserBefore);   // no error code is set
        EXPECT_EQ(s.sys_err, kSysBefore);
    }
    EXPECT_TRUE(megaraid_host_unread);
    const std::string failed = kIdLun + " errno=22";
    EXPECT_EQ(Steps(), (std::vector<std::string>{kOpenVolume, failed, kCloseVolume, kOpenVolume, failed, kCloseVolume}));
}

TEST_F(MegaRaid, DirectionOutsideTheThreeIsRefused)
{
    Load(std::string(kDrives) + kSasController);
    Sent s = Send(Hex(kInquiry), 3, 96);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.user_err, USER_ERR_INVALID_HANDLE);
    EXPECT_EQ(Steps(), (std::vector<std::string>{kOpenVolume, kCloseVolume}));
}

// ---- The emulator's MegaRAID side ----

class MegaRaidEmu : public ::testing::Test {
protected:
    void SetUp() override
    {
        zvemu::Reset();
        char tmpl[] = "/tmp/zv_megaraid_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        zvemu::Reset();
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string dir_;
};

// Device nodes are never made for real, wherever they are asked for; other nodes are.
TEST_F(MegaRaidEmu, MknodNeverMakesADeviceNode)
{
    ASSERT_TRUE(zvemu::LoadFixtureText(kSasController));
    struct Case {
        std::string path;
        mode_t mode;
        int err;
    } cases[] = {
        {dir_ + "/chr", S_IFCHR | 0600, EPERM},
        {dir_ + "/blk", S_IFBLK, EPERM},
        {"/dev/megaraid_sas_ioctl_node_x", S_IFCHR, EPERM},
        {"/dev/sda", S_IFBLK, EPERM},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(mknod(c.path.c_str(), c.mode, makedev(8, 0)), -1) << c.path;
        EXPECT_EQ(errno, c.err) << c.path;
        struct stat st;
        EXPECT_FALSE(stat(c.path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) << c.path;
    }
    const std::string chr_at = "chr_at";
    int dfd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dfd, 0);
    EXPECT_EQ(mknodat(dfd, chr_at.c_str(), S_IFCHR, makedev(1, 3)), -1);
    EXPECT_EQ(errno, EPERM);
    // A FIFO is no device: the real call makes it.
    EXPECT_EQ(mknodat(dfd, "fifo", S_IFIFO | 0600, 0), 0);
    close(dfd);
    struct stat st;
    EXPECT_NE(stat((dir_ + "/" + chr_at).c_str(), &st), 0);
    ASSERT_EQ(stat((dir_ + "/fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // The configured controller node comes into being in the emulator only, once.
    EXPECT_EQ(mknod(kSasNode, S_IFCHR, makedev(250, 0)), 0);
    EXPECT_EQ(mknod(kSasNode, S_IFCHR, makedev(250, 0)), -1);
    EXPECT_EQ(errno, EEXIST);
    std::vector<TraceEntry> t = zvemu::Only(zvemu::Trace(), "mknod");
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(zvemu::FormatTraceLine(t[5], false), "mknod /dev/megaraid_sas_ioctl_node mode=2000 dev=250:0");
}

TEST_F(MegaRaidEmu, NodeOpensOnlyWithItsDriversNumber)
{
    ASSERT_TRUE(zvemu::LoadFixtureText(kSasController));
    errno = 0;
    EXPECT_EQ(open(kSasNode, O_RDWR), -1);   // not made yet
    EXPECT_EQ(errno, ENOENT);
    ASSERT_EQ(mknod(kSasNode, S_IFCHR, makedev(250, 0)), 0);   // the controller's major is 249
    errno = 0;
    EXPECT_EQ(open(kSasNode, O_RDWR), -1);
    EXPECT_EQ(errno, ENXIO);

    zvemu::Reset();
    ASSERT_TRUE(zvemu::LoadFixtureText(kSasController));
    ASSERT_EQ(mknod(kSasNode, S_IFCHR, makedev(249, 0)), 0);
    int fd = open(kSasNode, O_RDWR);
    ASSERT_GE(fd, 0);
    // The controller answers only its own request.
    sg_io_hdr_t h;
    memset(&h, 0, sizeof(h));
    h.interface_id = 'S';
    errno = 0;
    EXPECT_EQ(ioctl(fd, SG_IO, &h), -1);
    EXPECT_EQ(errno, ENOTTY);
    u8 mimd[110] = {};
    errno = 0;
    EXPECT_EQ(ioctl(fd, kMegaIocCmd, mimd), -1);
    EXPECT_EQ(errno, ENOTTY);
    close(fd);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

// Controller requests never reach a descriptor the emulator does not own.
TEST_F(MegaRaidEmu, ControllerRequestsOnOtherDescriptorsAreRefused)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    u8 packet[404] = {};
    for (unsigned long req : {kMegaSasIocFirmware, kMegaIocCmd, 0x5382ul /* SCSI_IOCTL_GET_IDLUN */}) {
        errno = 0;
        EXPECT_EQ(ioctl(p[0], req, packet), -1) << std::hex << req;
        EXPECT_EQ(errno, ENOTTY) << std::hex << req;
    }
    close(p[0]);
    close(p[1]);
    EXPECT_TRUE(zvemu::Trace().empty());
}

TEST_F(MegaRaidEmu, ProcDevicesListsTheControllersByMajor)
{
    auto read_all = []() {
        std::string text;
        FILE* f = fopen("/proc/devices", "r");
        EXPECT_NE(f, nullptr);
        if (f != nullptr) {
            char line[256];
            while (fgets(line, sizeof(line), f) != nullptr) {
                text += line;
            }
            fclose(f);
        }
        return text;
    };
    const std::string plain = read_all();
    EXPECT_EQ(plain.find("Character devices:\n  1 mem\n"), 0u);
    EXPECT_EQ(plain.find("mega"), std::string::npos);
    ASSERT_TRUE(zvemu::LoadFixtureText(std::string(kSasController) +
                                       "drive /dev/megadev0 megadev\n  major 99\n  chrdev megadev_legacy\n"));
    const std::string text = read_all();
    EXPECT_NE(text.find(" 21 sg\n 99 megadev_legacy\n128 ptm\n136 pts\n249 megaraid_sas_ioctl\n\nBlock devices:\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(zvemu::Only(zvemu::Trace(), "fopen").size(), 2u);
}

TEST_F(MegaRaidEmu, FixtureErrors)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"drive /dev/sdc sas\n  host 6\n", "inline:2: host is for a controller node"},
        {"drive /dev/megadev0 megadev\n  scsi-host 6\n", "inline:2: scsi-host is for a disk node"},
        {"drive /dev/megadev0 megadev\n  target 256 pd\n", "inline:2: target <id 0-255> <drive>"},
        {"drive /dev/megadev0 megadev\n  major 0\n", "inline:2: bad major: 0"},
        {"drive /dev/megadev0 megadev\n  present 1\n", "inline:2: wrong argument count for present"},
        {"target 1 pd\n", "inline:1: target inside a drive"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_FALSE(zvemu::LoadFixtureText(c.text, ".", &err)) << c.text;
        EXPECT_EQ(err, c.error);
    }
}

} // namespace
