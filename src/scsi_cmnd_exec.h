// SCSI command executors (types 60 to 141 but the vendor logs and downloads).
// Registered in the command catalogue; every function has its executor signature.
// Each one opens the drive's node, sends its request or chunks (10 s each) and closes the node.
#ifndef ZV_SCSI_CMND_EXEC_H
#define ZV_SCSI_CMND_EXEC_H

#include <cstddef>

#include "common.h"
#include "disk_cmnd.h"
#include "disk_info.h"

// Drive address of the vendor table whose length row was read last; the table read starts there.
extern u32 vendor_table_base;
// Start address of the last "[C0h] NVRAM Data" read, taken from the caller's buffer bytes 0-3.
extern u32 nvram_read_base;

// Seconds every request of these executors may take.
const u32 kScsiExecTimeout = 10;

// Every executor below with the types it runs, checked against the catalogue at start-up;
// the count is the array's own.
extern const CmndExecTypes scsi_exec_types[];
extern const size_t scsi_exec_type_count;

// Types 120-123: one MODE SENSE(10); answers the length query.
bool ExecModeSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 118, 119: one READ DEFECT DATA(12); answers the length query.
bool ExecReadDefectData(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 100, 102, 104, 111, 112, 113, 117, 135: addressed C0h table reads in chunks; answers the length query.
bool ExecVendorTableRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 109, 110, 114: C0h reads in chunks without address.
bool ExecVendorDataRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 90, 94-98, 105: READ BUFFER table reads in chunks with a buffer offset.
bool ExecReadBuffer(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 68-83: one LOG SENSE of a standard page; answers the length query.
bool ExecLogSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 62-65: one INQUIRY of a vital product data page; answers the length query.
bool ExecInquiryVpd(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 60, 61, 66, 88, 91, 106-108, 125-133, 136-138, 141: the template CDB unchanged, one request.
bool ExecScsiCommand(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 92: data-out chunks with a chunk index.
bool ExecWriteWearLevelTableScsi(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 89: one SET TIMESTAMP with the host's time, written into bytes 4-9 of the caller's 12-byte buffer.
bool ExecSetTimestamp(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

#endif
