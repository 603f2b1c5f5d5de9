#include "cmnd_exec_common.h"

#include <cstring>

#include "disk_cmnd.h"
#include "disk_transport.h"
#include "msg_processor.h"

bool Fail(int code, int* user_err)
{
    *user_err = code;
    return false;
}

bool OpenNode(DiskInfo* disk, int* handle, int* user_err, int* sys_err)
{
    if (disk == nullptr) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    *handle = 0;
    return OpenDisk(handle, disk->device_name.c_str(), user_err, sys_err);
}

bool CloseChecked(int* handle, bool ok, int* user_err, int* sys_err)
{
    if (!ok) {
        int close_user_err = 0;
        int close_sys_err = 0;
        CloseDisk(handle, &close_user_err, &close_sys_err);
        return false;
    }
    return CloseDisk(handle, user_err, sys_err);
}

void StoreLen(u8* buf, u32 value) { memcpy(buf, &value, sizeof(value)); }

ScsiRow LoadScsiRow(int type)
{
    const CmndTemplate& t = cmnd_template_list[type];
    ScsiRow row;
    memcpy(row.cdb, t.regs, sizeof(row.cdb));
    row.cdb_len = t.xfer & 0xFF;
    row.dir = t.dir;
    row.chunk = t.xfer >> 8;
    return row;
}

bool SendScsiRow(int* handle, const ScsiRow& row, u8* data, u32 data_len, u32 timeout, int* user_err,
                 int* sys_err)
{
    ScsiExchange x(row.cdb, row.cdb_len, row.dir, data, data_len, timeout);
    // A write the drive did not take whole (half an image, a part of a table) did not happen.
    const ScsiResidRule rule = row.dir == CMND_DIR_OUT ? SCSI_RESID_FAILS : SCSI_RESID_KEPT;
    if (!x.Send(handle, nullptr, rule, user_err, sys_err)) {
        return false;
    }
    if (row.dir == CMND_DIR_IN) {
        DiskCmnd::NoteResidual(data, data_len, x.req.resid);
    }
    return true;
}
