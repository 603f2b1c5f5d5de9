// ATA command executors (types 0 to 59 but the microcode download).
// Registered in the command catalogue; every function has its executor signature.
#ifndef ZV_ATA_CMND_EXEC_H
#define ZV_ATA_CMND_EXEC_H

#include "common.h"
#include "disk_info.h"

// Types 0-6, 40, 51, 57, 58: the row's registers unchanged with the caller's buffer.
bool ExecAtaCommand(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 21-36, 45, 55, 56, 59: 89h/8Ah vendor reads sector by sector; answers the length query.
bool ExecAtaVendorRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 7-17, 19, 20: SMART READ LOG of the row's logs; answers the length query.
bool ExecSmartReadLog(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 18: SMART READ LOG of log B0h page by page; answers the length query.
bool ExecSmartPendList(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 52-54: non-data 8Bh switches with the caller's values.
bool ExecAtaSwitch(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 47-50: READ NATIVE MAX ADDRESS / SET MAX ADDRESS (and EXT) on a MaxAddressRegs.
bool ExecMaxAddress(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 44: data-out 8Ch sector by sector.
bool ExecWriteWearLevelTableAta(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 38, 39: register read and write on a RegisterAccessBlock.
bool ExecRegisterAccess(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 43: one data-out sector carrying the host's time.
bool ExecWriteCurrentTime(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

#endif
