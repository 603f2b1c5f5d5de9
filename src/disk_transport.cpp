#include "disk_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <climits>
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

// Statuses by which the drive declines to run the command at all.
const u8 not_run_statuses[] = {
    0x08,   // BUSY
    0x18,   // RESERVATION CONFLICT
    0x28,   // TASK SET FULL
    0x30,   // ACA ACTIVE
    0x40,   // TASK ABORTED
};

bool IsNotRunStatus(u8 status)
{
    for (u8 s : not_run_statuses) {
        if (s == status) {
            return true;
        }
    }
    return false;
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

    req->resid = static_cast<u32>(hdr.resid);
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

    if (IsNotRunStatus(req->status)) {
        *err.user = USER_ERR_OS_API;
        *err.sys = kSysErrIo;
        return false;
    }

    SenseResult sense(req);
    if (sense.user_err != USER_ERR_NO_ERROR) {
        *err.user = sense.user_err;
        return false;
    }
    return true;
}

// ---- MegaRAID pass-through ----

bool SendMegaRaidCmnd(int*, ScsiRequest*, void*, int* user_err, int*)
{
    if (user_err != nullptr) {
        *user_err = USER_ERR_UNSUPPORTED;
    }
    return false;
}

// ---- Sense data ----

SenseResult::SenseResult(const ScsiRequest* req) : user_err(0), response_code(0), sense_key(0), asc(0), ascq(0)
{
    ReadSenseFields(req, this);
    MapToUserErr();
}

void ReadSenseFields(const ScsiRequest* req, SenseResult* result)
{
    if (req == nullptr || result == nullptr || req->status != kStatusCheckCondition || req->sense == nullptr) {
        return;
    }
    // Bytes beyond the buffer are never read; they count as zero.
    const u32 size = req->sense_len & 0xFF;
    const u8* s = req->sense;
    auto at = [&](u32 i) -> u8 { return i < size ? s[i] : 0; };
    result->response_code = at(0) & 0x7F;
    if (result->response_code > 0x71) {
        result->sense_key = at(1) & 0x0F;
        result->asc = at(2);
        result->ascq = at(3);
    } else if (result->response_code >= 0x70) {
        result->sense_key = at(2) & 0x0F;
        if (req->sense_written > 13) {
            result->asc = at(12);
            result->ascq = at(13);
        }
    }
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
    if (sense == nullptr || len < 8 || sense[7] == 0 || (sense[0] != 0x72 && sense[0] != 0x73)) {
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
