// Vendor log and microcode transfer executors.
// Registered in the command catalogue; every function has its executor signature.
#ifndef ZV_VENDOR_CMND_EXEC_H
#define ZV_VENDOR_CMND_EXEC_H

#include <cstddef>

#include "common.h"
#include "disk_cmnd.h"
#include "disk_info.h"

// The first 64 bytes of a controller firmware image: sixteen little-endian words (the host's
// order on the target). A second header of the same form starts at offset fisrtFwLens.
struct FwImageHeader {
    u32 head[11];     // words 0-10, copied unchanged
    u32 fisrtFwLens;  // word 11: length of the first firmware part, which starts at offset 0
    u32 tail[4];      // words 12-15, copied unchanged
};
static_assert(sizeof(FwImageHeader) == 64, "FwImageHeader is sixteen u32 words");
static_assert(offsetof(FwImageHeader, fisrtFwLens) == 44, "fisrtFwLens is word 11");

// "[4Dh] ReadFlash LOG" of a drive with 128 pages per block falls into two parts: the first
// kFlashLogPart1Chunks chunks, and the rest (flash_log_part 1 and 2).
const u32 kFlashLogPart1Chunks = 1013;

// The tunnel's retry layout puts a header block of this size in front of the second firmware part.
const u32 kFwRetryHeaderBlock = 448;

// Types 84-87: vendor logs read with LOG SENSE in chunks (type 85 honours flash_log_part).
bool ExecVendorLogSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Length query of types 84-87 (asked with type + 512): reads "[C0h] Disk Basic info" into
// disk_geometry and sizes the log from it.
bool LenVendorLog(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 37 on the ATA link types: DOWNLOAD MICROCODE (92h); the tunnel sends the image's first
// part, or with fw_download_retry its second part behind a rebuilt header (in buf).
bool ExecDownloadMicrocodeAta(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 67, 124 (and 37 on SAS drives as 67): WRITE BUFFER download after setting the clock.
bool ExecWriteBufferDownload(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// The vendor-log and WRITE BUFFER executors with the types they run, checked against the
// catalogue at start-up as the SCSI executors' lists are; the count is the array's own.
extern const CmndExecTypes vendor_exec_types[];
extern const size_t vendor_exec_type_count;

#endif
