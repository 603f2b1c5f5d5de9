// Vendor log and microcode transfer executors.
// Registered in the command catalogue; every function has its executor signature.
#ifndef ZV_VENDOR_CMND_EXEC_H
#define ZV_VENDOR_CMND_EXEC_H

#include "common.h"
#include "disk_info.h"

// Types 84-87: vendor logs read with LOG SENSE in chunks.
bool ExecVendorLogSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Length query of types 84-87 (asked with type + 512): sizes the log from the flash geometry.
bool LenVendorLog(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 37 on the ATA link types: DOWNLOAD MICROCODE (92h).
bool ExecDownloadMicrocodeAta(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 67, 124 (and 37 on SAS drives as 67): WRITE BUFFER download after setting the clock.
bool ExecWriteBufferDownload(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

#endif
