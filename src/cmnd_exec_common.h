// What the command executors share: the node's open and checked close, the error and length
// stores, and the SCSI row and its one request. The big-endian CDB fields are decode_util's.
#ifndef ZV_CMND_EXEC_COMMON_H
#define ZV_CMND_EXEC_COMMON_H

#include "common.h"
#include "disk_info.h"

// Sets user_err to code and returns false, for the refusals that end an executor.
bool Fail(int code, int* user_err);

// Opens the drive's node into *handle (set to 0 first); a null drive is an illegal parameter.
bool OpenNode(DiskInfo* disk, int* handle, int* user_err, int* sys_err);

// A failed transfer keeps its own error; a failed close fails a transfer that went well.
bool CloseChecked(int* handle, bool ok, int* user_err, int* sys_err);

// A length answer: value in host order in the first four bytes of buf.
void StoreLen(u8* buf, u32 value);

// A SCSI type's template row as the executors patch it.
struct ScsiRow {
    u8 cdb[16];
    u32 cdb_len;
    u32 dir;
    u32 chunk;  // bytes one request of a chunked read or write moves
};

ScsiRow LoadScsiRow(int type);

// One request of row on the open node, waiting at most timeout seconds. A data-in request
// tells the registry how much of data the drive filled; a data-out request with a residual
// fails with user error 1 and system error 5.
bool SendScsiRow(int* handle, const ScsiRow& row, u8* data, u32 data_len, u32 timeout, int* user_err,
                 int* sys_err);

#endif
