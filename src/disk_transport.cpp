#include "disk_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "cmd_resp_log.h"
#include "msg_processor.h"
#include "settings.h"

namespace {

// Error outputs a caller did not give still need somewhere to go.
struct ErrOut {
    int user_local = 0;
    int sys_local = 0;
    int* user;
    int* sys;
    ErrOut(int* u, int* s) : user(u != nullptr ? u : &user_local), sys(s != nullptr ? s : &sys_local) {}
};

const int kDefaultTimeoutSec = 60;
const u32 kMaxCdbLog = 16;

// The system error of a failure the driver reports without an errno.
const int kSysErrTimeout = 110;   // ETIMEDOUT
const int kSysErrIo = 5;          // EIO

// Host status values that mean the command never completed for lack of a path.
bool IsHostTimeout(u32 host_status) { return host_status == 1 || host_status == 2 || host_status == 3; }

const u32 kDriverTimeout = 6;
const u32 kDriverSense = 8;

const u8 kStatusCheckCondition = 0x02;

// The statuses of a command the drive completed. CHECK CONDITION is judged by its sense;
// any other status (BUSY, COMMAND TERMINATED, TASK ABORTED, a reserved value) means the
// command did not complete.
const u8 completed_statuses[] = {
    0x00,   // GOOD
    0x04,   // CONDITION MET
    0x10,   // INTERMEDIATE
    0x14,   // INTERMEDIATE-CONDITION MET
};

bool IsCompletedStatus(u8 status)
{
    for (u8 s : completed_statuses) {
        if (s == status) {
            return true;
        }
    }
    return false;
}

// SPC: 70h/71h are fixed format and 72h/73h descriptor format; 74h-7Eh are reserved and 7Fh
// is vendor specific, so such sense has no layout a key could be read from.
bool IsFixedSenseCode(u8 byte0)
{
    const u8 code = byte0 & 0x7F;
    return code == 0x70 || code == 0x71;
}

// Whether the byte holding the sense key of a CHECK CONDITION's sense data arrived: the
// response code must name a format, and the key's byte must be among the bytes written.
bool SenseKeyArrived(const ScsiRequest* req)
{
    const u32 size = req->sense_len & 0xFF;
    const u32 written = req->sense_written < size ? req->sense_written : size;
    if (req->sense == nullptr || written == 0) {
        return false;
    }
    if (IsDescriptorSenseCode(req->sense[0])) {
        return written > 1;
    }
    return IsFixedSenseCode(req->sense[0]) && written > 2;
}

// Sense key to user error; first matching row wins, ASC/ASCQ -1 match anything.
struct SenseMapRow {
    u8 key;
    int asc;
    int ascq;
    int user_err;
};

const SenseMapRow sense_map[] = {
    {0x00, -1, -1, USER_ERR_NO_ERROR},
    {0x01, -1, -1, USER_ERR_NO_ERROR},
    {0x02, 0x3A, -1, USER_ERR_SENSE_NO_MEDIUM},
    {0x02, 0x04, 0x01, USER_ERR_SENSE_BECOMING_READY},
    {0x02, -1, -1, USER_ERR_SENSE_NOT_READY},
    {0x03, -1, -1, USER_ERR_SENSE_MEDIUM_HARDWARE},
    {0x04, -1, -1, USER_ERR_SENSE_MEDIUM_HARDWARE},
    {0x05, 0x20, -1, USER_ERR_SENSE_BAD_OPCODE},
    {0x05, 0x24, -1, USER_ERR_SENSE_BAD_FIELD},
    {0x05, -1, -1, USER_ERR_SENSE_BAD_PARAM},
    {0x06, -1, -1, USER_ERR_SENSE_TRY_AGAIN},
    {0x0B, -1, -1, USER_ERR_SENSE_ABORTED_COMMAND},
};

} // namespace

// ---- Device node ----

bool OpenDiskWithFlags(int* handle, const char* path, int flags, int* user_err, int* sys_err)
{
    ErrOut err(user_err, sys_err);
    if (handle == nullptr || *handle < 0 || path == nullptr) {
        *err.user = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    errno = 0;
    *handle = open(path, flags, 0);
    if (*handle < 0) {
        *err.user = USER_ERR_OS_API;
        *err.sys = errno;
        return false;
    }
    return true;
}

bool OpenDisk(int* handle, const char* path, int* user_err, int* sys_err)
{
    return OpenDiskWithFlags(handle, path, O_RDWR | O_NONBLOCK | O_LARGEFILE, user_err, sys_err);
}

bool OpenDiskQuiet(int* handle, const char* path) { return OpenDisk(handle, path, nullptr, nullptr); }

bool CloseDisk(int* handle, int* user_err, int* sys_err)
{
    ErrOut err(user_err, sys_err);
    if (handle == nullptr || *handle < 0) {
        *err.user = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    errno = 0;
    if (close(*handle) == -1) {
        *err.user = USER_ERR_OS_API;
        *err.sys = errno;
        return false;
    }
    return true;
}

bool CloseDiskQuiet(int* handle) { return CloseDisk(handle, nullptr, nullptr); }

// ---- SCSI generic request ----

bool SendScsiCmnd(int* handle, ScsiRequest* req, void* context, int* user_err, int* sys_err)
{
    ErrOut err(user_err, sys_err);
    if (raid_kind == RAID_MEGARAID) {
        return SendMegaRaidCmnd(handle, req, context, err.user, err.sys);
    }
    if (handle == nullptr || req == nullptr || req->cdb == nullptr ||
        (req->sense == nullptr && (req->sense_len & 0xFF) != 0)) {
        *err.user = USER_ERR_ILLEGAL_PARAM;
        return false;
    }

    sg_io_hdr_t hdr;
    memset(&hdr, 0, sizeof(hdr));
    hdr.interface_id = 'S';
    hdr.cmd_len = static_cast<unsigned char>(req->cdb_len & 0xFF);
    hdr.mx_sb_len = static_cast<unsigned char>(req->sense_len & 0xFF);
    hdr.dxfer_len = req->data_len;
    hdr.dxferp = req->data;
    hdr.cmdp = req->cdb;
    hdr.sbp = req->sense;
    if (req->timeout == 0) {
        hdr.timeout = kDefaultTimeoutSec * 1000;
    } else {
        // Saturates rather than wrapping to a short time-out.
        hdr.timeout = req->timeout > UINT_MAX / 1000 ? UINT_MAX : req->timeout * 1000;
    }
    switch (req->dir) {
    case SCSI_DIR_IN:
        hdr.dxfer_direction = SG_DXFER_FROM_DEV;
        break;
    case SCSI_DIR_OUT:
        hdr.dxfer_direction = SG_DXFER_TO_DEV;
        break;
    case SCSI_DIR_NONE:
        hdr.dxfer_direction = SG_DXFER_NONE;
        break;
    default:
        *err.user = USER_ERR_INVALID_HANDLE;
        return false;
    }

    req->sense_written = 0;
    req->status = 0;
    req->resid = 0;
    errno = 0;

    // The log keeps at most a 16-byte CDB; never read past what a CDB can be.
    u32 log_cdb_len = hdr.cmd_len < kMaxCdbLog ? hdr.cmd_len : kMaxCdbLog;
    CmdRespLog::GetInstance()->AddRecord(LOG_SCSI_CDB, req->cdb, log_cdb_len, static_cast<int>(req->data_len),
                                         static_cast<int>(req->dir));

    if (ioctl(*handle, SG_IO, &hdr) < 0) {
        *err.user = USER_ERR_OS_API;
        *err.sys = errno;
        return false;
    }

    CmdRespLog::GetInstance()->AddRecord(LOG_SCSI_SENSE, req->sense, hdr.mx_sb_len, *err.user, *err.sys);

    // A negative residual is an overrun the driver reports: nothing of the transfer is missing.
    req->resid = hdr.resid > 0 ? static_cast<u32>(hdr.resid) : 0;
    req->status = hdr.status;

    if (hdr.host_status != 0) {
        *err.user = USER_ERR_OS_API;
        *err.sys = IsHostTimeout(hdr.host_status) ? kSysErrTimeout : kSysErrIo;
        return false;
    }
    const u32 driver = hdr.driver_status & 0x0F;
    if (driver == kDriverTimeout) {
        *err.user = USER_ERR_OS_API;
        *err.sys = kSysErrTimeout;
        return false;
    }
    if (driver == kDriverSense) {
        req->status = kStatusCheckCondition;
    } else if (driver != 0) {
        *err.user = USER_ERR_OS_API;
        *err.sys = kSysErrIo;
        return false;
    }

    // The driver never reports more than the buffer holds.
    req->sense_written = hdr.sb_len_wr < hdr.mx_sb_len ? hdr.sb_len_wr : hdr.mx_sb_len;

    if (req->status != kStatusCheckCondition && !IsCompletedStatus(req->status)) {
        return FailIncomplete(err.user, err.sys);
    }

    SenseResult sense(req);
    if (sense.user_err != USER_ERR_NO_ERROR) {
        *err.user = sense.user_err;
        return false;
    }
    return true;
}

bool FailIncomplete(int* user_err, int* sys_err)
{
    ErrOut err(user_err, sys_err);
    *err.user = USER_ERR_OS_API;
    *err.sys = kSysErrIo;
    return false;
}

ScsiExchange::ScsiExchange(const u8* cdb_in, u32 cdb_len, u32 dir, u8* data, u32 data_len, u32 timeout)
{
    memset(cdb, 0, sizeof(cdb));
    memset(sense, 0, sizeof(sense));
    memset(&req, 0, sizeof(req));
    // A CDB that is missing or longer than the copy stays none: SendScsiCmnd refuses the request
    // rather than send zeros or bytes from past the copy.
    const bool usable = cdb_in != nullptr && cdb_len <= kMaxCdbLen;
    if (usable) {
        memcpy(cdb, cdb_in, cdb_len);
    }
    req.cdb = usable ? cdb : nullptr;
    req.cdb_len = cdb_len;
    req.dir = dir;
    req.data = data;
    req.data_len = data_len;
    req.sense = sense;
    req.sense_len = kSenseLen;
    req.timeout = timeout;
}

bool ScsiExchange::Send(int* handle, void* context, ScsiResidRule rule, int* user_err, int* sys_err)
{
    if (!SendScsiCmnd(handle, &req, context, user_err, sys_err)) {
        return false;
    }
    if (rule == SCSI_RESID_FAILS && req.resid != 0) {
        return FailIncomplete(user_err, sys_err);
    }
    return true;
}

// ---- MegaRAID pass-through ----

u32 megaraid_host = 0;
bool megaraid_host_unread = true;

namespace {

const char kMegaSasNode[] = "/dev/megaraid_sas_ioctl_node";
const char kMegaDevNode[] = "/dev/megadev0";
const char kProcDevices[] = "/proc/devices";

// The driver lines of /proc/devices: "%3d <name>", so a three-digit major and one blank.
const int kMegaSasLineLen = 22;   // "NNN megaraid_sas_ioctl"
const int kMegaDevLineLen = 11;   // "NNN megadev"
const int kProcLineLen = 128;
const int kMaxCharMajor = 4095;

// Both controller frames address the drive by one byte.
const u32 kMaxMegaRaidTarget = 0xFF;

// SCSI_IOCTL_GET_IDLUN: target, LUN, channel and host number in one word, host in bits 24-31.
struct ScsiIdLun {
    u32 dev_id;
    u32 host_unique_id;
};
static_assert(sizeof(ScsiIdLun) == 8, "SCSI_IOCTL_GET_IDLUN answers two words");

#pragma pack(push, 1)

// MFI pass-through frame of the megaraid_sas firmware interface.
struct MfiPassThroughFrame {
    u8 cmd;
    u8 sense_len;
    u8 cmd_status;        // FFh on entry; the completion status on return
    u8 scsi_status;
    u8 target_id;
    u8 lun;
    u8 cdb_len;
    u8 sge_count;
    u32 context;
    u32 pad0;
    u16 flags;
    u16 timeout;
    u32 data_xfer_len;
    u32 sense_addr_lo;
    u32 sense_addr_hi;
    u8 cdb[16];
    u32 sge_addr;         // first 32-bit scatter-gather element; the driver rewrites it
    u32 sge_len;
    u8 rest[72];
};
static_assert(sizeof(MfiPassThroughFrame) == 128, "an MFI frame is 128 bytes");
static_assert(offsetof(MfiPassThroughFrame, flags) == 16, "MFI frame flags at 16");
static_assert(offsetof(MfiPassThroughFrame, cdb) == 32, "MFI frame CDB at 32");
static_assert(offsetof(MfiPassThroughFrame, sge_addr) == 48, "MFI frame scatter-gather list at 48");

// One user buffer of the packet: the layout of the build's struct iovec.
struct MegaSasSge {
    u64 base;
    u64 len;
};
static_assert(sizeof(MegaSasSge) == sizeof(struct iovec), "scatter-gather entries are the build's iovec");

const u32 kMegaSasMaxSge = 16;

// The megaraid_sas driver's MEGASAS_IOC_FIRMWARE packet.
struct MegaSasIocPacket {
    u16 host_no;
    u16 pad;
    u32 sgl_off;          // where in the frame the driver puts its scatter-gather list
    u32 sge_count;
    u32 sense_off;
    u32 sense_len;
    MfiPassThroughFrame frame;
    MegaSasSge sgl[kMegaSasMaxSge];
};
static_assert(sizeof(MegaSasIocPacket) == 404, "megasas_iocpacket of the x86_64 driver is 404 bytes");
static_assert(offsetof(MegaSasIocPacket, frame) == 20, "the frame starts at 20");
static_assert(offsetof(MegaSasIocPacket, sgl) == 148, "the scatter-gather list starts at 148");

// Pass-through block of the legacy megaraid mailbox interface.
struct MegaPassThrough {
    u8 timeout_ars;       // time-out code bits 0-2, automatic request sense bit 3
    u8 logdrv;
    u8 channel;
    u8 target;
    u8 queuetag;
    u8 queueaction;
    u8 cdb[10];
    u8 cdblen;
    u8 reqsenselen;
    u8 reqsensearea[32];
    u8 numsgelements;
    u8 scsistatus;        // returned status
    u32 dataxferaddr;
    u32 dataxferlen;
};
static_assert(sizeof(MegaPassThrough) == 60, "the legacy pass-through block is 60 bytes");
static_assert(offsetof(MegaPassThrough, scsistatus) == 51, "scsistatus at 51");

const u32 kMegaMboxLen = 18;
const u32 kMegaMboxStatus = 17;

// The legacy driver's mimd_t; the user pointers have the build's width.
struct MegaMimd {
    u32 inlen;
    u32 outlen;
    u8 opcode;
    u8 subopcode;
    u16 adapno;
    u64 buffer;
    u32 length;
    u8 mbox[kMegaMboxLen];   // 16 command bytes, then two status bytes
    MegaPassThrough pthru;
    u64 data;
};
static_assert(sizeof(MegaMimd) == 110, "mimd_t is 110 bytes");
static_assert(offsetof(MegaMimd, mbox) == 24, "the mailbox starts at 24");
static_assert(offsetof(MegaMimd, pthru) == 42, "the pass-through block starts at 42");
static_assert(offsetof(MegaMimd, data) == 102, "the data pointer starts at 102");

#pragma pack(pop)

const unsigned long kMegaSasIocFirmware = _IOWR('M', 1, MegaSasIocPacket);
const unsigned long kMegaIocCmd = _IOWR('m', 0, MegaMimd);

const u8 kMfiCmdPdScsiIo = 0x04;
const u8 kMfiStatusPending = 0xFF;
const u32 kMfiSglOffset = offsetof(MfiPassThroughFrame, sge_addr);
// Transfer direction flags of an MFI frame.
const u16 kMfiDirNone = 0x0000;
const u16 kMfiDirWrite = 0x0008;
const u16 kMfiDirRead = 0x0010;

const u8 kMegaOpPassThrough = 0x80;
const u8 kMegaMboxCmdPassThrough = 0x03;
const u8 kMegaAdapterMagic = 'm';
const u8 kMegaTimeoutAndSense = 0x0A;   // time-out code 2, automatic request sense

u32 Low32(const void* p) { return static_cast<u32>(reinterpret_cast<uintptr_t>(p)); }

bool IsValidRequest(const ScsiRequest* req)
{
    return req != nullptr && req->cdb != nullptr && (req->data != nullptr || req->data_len == 0);
}

// Creates the node of a driver line; true when the node is there now.
bool MakeNodeOfLine(const char* line)
{
    int major = 0;
    int consumed = 0;
    const char* node = nullptr;
    if (sscanf(line, "%d megaraid_sas_ioctl%n", &major, &consumed) == 1 && consumed == kMegaSasLineLen) {
        node = kMegaSasNode;
    } else {
        consumed = 0;
        if (sscanf(line, "%d megadev%n", &major, &consumed) == 1 && consumed == kMegaDevLineLen) {
            node = kMegaDevNode;
        }
    }
    // A line that only looks like a driver line must not make a node of a wild number.
    if (node == nullptr || major <= 0 || major > kMaxCharMajor) {
        return false;
    }
    return mknod(node, S_IFCHR, makedev(static_cast<unsigned>(major), 0)) == 0 || errno == EEXIST;
}

// Makes the management node of the first controller driver that /proc/devices lists.
void MakeMegaRaidNodes()
{
    FILE* f = fopen(kProcDevices, "r");
    if (f == nullptr) {
        return;
    }
    char line[kProcLineLen];
    while (fgets(line, sizeof(line), f) != nullptr) {
        if (MakeNodeOfLine(line)) {
            break;
        }
    }
    fclose(f);
}

} // namespace

bool MegaSasPassThrough(int* handle, ScsiRequest* req, void* /*context*/, int* user_err, int* sys_err)
{
    ErrOut err(user_err, sys_err);
    if (handle == nullptr || !IsValidRequest(req)) {
        *err.user = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    u16 flags = kMfiDirNone;
    switch (req->dir) {
    case SCSI_DIR_IN:
        flags = kMfiDirRead;
        break;
    case SCSI_DIR_OUT:
        flags = kMfiDirWrite;
        break;
    case SCSI_DIR_NONE:
        break;
    default:
        *err.user = USER_ERR_INVALID_HANDLE;
        return false;
    }
    MegaSasIocPacket pkt;
    memset(&pkt, 0, sizeof(pkt));
    MfiPassThroughFrame& f = pkt.frame;
    if (req->cdb_len == 0 || req->cdb_len > sizeof(f.cdb) || raid_target_id > kMaxMegaRaidTarget) {
        *err.user = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    pkt.host_no = static_cast<u16>(megaraid_host);
    f.cmd = kMfiCmdPdScsiIo;
    f.cmd_status = kMfiStatusPending;
    f.scsi_status = 0;
    f.target_id = static_cast<u8>(raid_target_id);
    f.lun = 0;
    f.cdb_len = static_cast<u8>(req->cdb_len);
    // The firmware moves data by the frame's direction, so a write must say so.
    f.flags = flags;
    f.timeout = 0;
    f.data_xfer_len = req->data_len;
    memcpy(f.cdb, req->cdb, req->cdb_len);
    f.sge_addr = Low32(req->data);
    f.sge_len = req->data_len;
    if (req->data_len != 0) {
        pkt.sgl_off = kMfiSglOffset;
        pkt.sge_count = 1;
        f.sge_count = 1;
        pkt.sgl[0].base = reinterpret_cast<uintptr_t>(req->data);
        pkt.sgl[0].len = req->data_len;
    }
    errno = 0;
    if (ioctl(*handle, kMegaSasIocFirmware, &pkt) != 0 || pkt.frame.cmd_status != 0) {
        *err.user = USER_ERR_OS_API;
        *err.sys = errno;
        return false;
    }
    return true;
}

bool MegaDevPassThrough(int* handle, ScsiRequest* req)
{
    if (handle == nullptr || !IsValidRequest(req)) {
        errno = EINVAL;
        return false;
    }
    MegaMimd m;
    memset(&m, 0, sizeof(m));
    MegaPassThrough& p = m.pthru;
    // The block holds a 10-byte CDB; a longer one would run into the fields after it.
    if (req->cdb_len == 0 || req->cdb_len > sizeof(p.cdb) || raid_target_id > kMaxMegaRaidTarget) {
        errno = EINVAL;
        return false;
    }
    if (req->dir == SCSI_DIR_IN && req->data_len != 0) {
        memset(req->data, 0, req->data_len);
    }
    m.inlen = req->data_len;
    m.outlen = req->data_len;
    m.opcode = kMegaOpPassThrough;
    m.adapno = static_cast<u16>(kMegaAdapterMagic * 256 + (megaraid_host & 0xFF));
    m.mbox[0] = kMegaMboxCmdPassThrough;
    const u32 pthru_addr = Low32(&m.pthru);
    memcpy(m.mbox + 8, &pthru_addr, sizeof(pthru_addr));
    p.timeout_ars = kMegaTimeoutAndSense;
    p.channel = 0;
    p.target = static_cast<u8>(raid_target_id);
    memcpy(p.cdb, req->cdb, req->cdb_len);
    p.cdblen = static_cast<u8>(req->cdb_len);
    p.reqsenselen = kSenseLen;
    p.dataxferaddr = Low32(req->data);
    p.dataxferlen = req->data_len;
    m.data = reinterpret_cast<uintptr_t>(req->data);
    // errno must describe this call, not an earlier failed open.
    errno = 0;
    if (ioctl(*handle, kMegaIocCmd, &m) != 0) {
        return false;
    }
    // The mailbox status reports what the controller did; a command it could not
    // deliver leaves the SCSI status untouched.
    return m.pthru.scsistatus == 0 && m.mbox[kMegaMboxStatus] == 0;
}

bool SendMegaRaidCmnd(int* handle, ScsiRequest* req, void* context, int* user_err, int* sys_err)
{
    ErrOut err(user_err, sys_err);
    if (handle == nullptr || !IsValidRequest(req) || raid_target_id > kMaxMegaRaidTarget) {
        *err.user = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    if (req->dir > SCSI_DIR_OUT) {
        *err.user = USER_ERR_INVALID_HANDLE;
        return false;
    }
    if (megaraid_host_unread) {
        ScsiIdLun idlun;
        memset(&idlun, 0, sizeof(idlun));
        const int rc = ioctl(*handle, SCSI_IOCTL_GET_IDLUN, &idlun);
        if (rc != 0) {
            printf("get m_hba failed!Error = %d\n", rc);
            return false;
        }
        megaraid_host = idlun.dev_id >> 24;
        megaraid_host_unread = false;
    }

    MakeMegaRaidNodes();
    bool sas = true;
    errno = 0;
    int node = open(kMegaSasNode, O_RDWR);
    if (node < 0) {
        sas = false;
        errno = 0;
        node = open(kMegaDevNode, O_RDWR);
    }
    if (node < 0) {
        *err.user = USER_ERR_OS_API;
        *err.sys = errno;
        return false;
    }
    // The controller node takes the place of the caller's descriptor, which nothing else holds.
    if (*handle >= 0) {
        close(*handle);
    }
    *handle = node;

    // A failed request leaves the node in the handle: the caller closes it, exactly once.
    if (sas) {
        return MegaSasPassThrough(handle, req, context, err.user, err.sys);
    }
    if (!MegaDevPassThrough(handle, req)) {
        *err.user = USER_ERR_OS_API;
        *err.sys = errno;
        return false;
    }
    return true;
}

// ---- Sense data ----

SenseResult::SenseResult(const ScsiRequest* req) : user_err(0), response_code(0), sense_key(0), asc(0), ascq(0)
{
    ReadSenseFields(req, this);
    MapToUserErr();
    // A CHECK CONDITION reports a failure whose reason is in the sense key; without a key
    // that arrived the reason is unknown, and the command never a success.
    if (req != nullptr && req->status == kStatusCheckCondition && !SenseKeyArrived(req)) {
        user_err = USER_ERR_SENSE_UNKNOWN;
    }
}

void ReadSenseFields(const ScsiRequest* req, SenseResult* result)
{
    if (req == nullptr || result == nullptr || req->status != kStatusCheckCondition || req->sense == nullptr) {
        return;
    }
    // Only bytes the driver wrote are read, never past the buffer; the others count as zero.
    const u32 size = req->sense_len & 0xFF;
    const u32 written = req->sense_written < size ? req->sense_written : size;
    const u8* s = req->sense;
    auto at = [&](u32 i) -> u8 { return i < written ? s[i] : 0; };
    result->response_code = at(0) & 0x7F;
    if (IsDescriptorSenseCode(at(0))) {
        result->sense_key = at(1) & 0x0F;
        if (written > 3) {
            result->asc = at(2);
            result->ascq = at(3);
        }
    } else if (IsFixedSenseCode(at(0))) {
        result->sense_key = at(2) & 0x0F;
        if (written > 13) {
            result->asc = at(12);
            result->ascq = at(13);
        }
    }
}

bool IsDescriptorSenseCode(u8 byte0)
{
    // Bit 7 is reserved in descriptor format.
    const u8 code = byte0 & 0x7F;
    return code == 0x72 || code == 0x73;
}

void SenseResult::MapToUserErr()
{
    for (const SenseMapRow& row : sense_map) {
        if (row.key == sense_key && (row.asc < 0 || row.asc == asc) && (row.ascq < 0 || row.ascq == ascq)) {
            user_err = row.user_err;
            return;
        }
    }
    user_err = USER_ERR_SENSE_UNKNOWN;
}

const u8* FindSenseDescriptor(const u8* sense, int len, int type)
{
    if (sense == nullptr || len < 8 || sense[7] == 0 || !IsDescriptorSenseCode(sense[0])) {
        return nullptr;
    }
    const int covered = sense[7] < len - 8 ? sense[7] : len - 8;
    const u8* desc = sense + 8;
    int pos = 0;
    // Each descriptor: type, additional length, that many bytes. Its length byte must be
    // inside the covered bytes, and so must its whole body.
    while (pos + 1 < covered) {
        const int whole = desc[pos + 1] + 2;
        if (pos + whole > covered) {
            return nullptr;
        }
        if (desc[pos] == type) {
            return desc + pos;
        }
        pos += whole;
    }
    return nullptr;
}

// ---- ATA registers ----

bool IsAtaStatusGood(const TaskFile* regs)
{
    if (regs == nullptr) {
        return false;
    }
    const u8 status = regs->command;
    const u8 error = regs->features;
    return (status & 0x01) == 0 && (status & 0x20) == 0 && status != 0x58 && error == 0;
}
