// ATA command executors (types 0 to 59 but the microcode download).
// Registered in the command catalogue; every function has its executor signature.
#ifndef ZV_ATA_CMND_EXEC_H
#define ZV_ATA_CMND_EXEC_H

#include "ata_transport.h"
#include "common.h"
#include "disk_info.h"

// The 9-byte buffer of the maximum-address types 47 to 50, shared with the maximum-address tool.
struct MaxAddressRegs {
    u8 lba_7_0;
    u8 lba_31_24;
    u8 lba_15_8;
    u8 lba_39_32;
    u8 lba_23_16;
    u8 lba_47_40;
    u8 device;         // LBA 27:24 in the low nibble for 28-bit commands
    u8 ext48;          // read only by the front end
    u8 volatile_flag;  // SET MAX ADDRESS: 1 keeps the new maximum over a power cycle, 0 does not
};
static_assert(sizeof(MaxAddressRegs) == 9, "MaxAddressRegs is nine bytes");

// The 512-byte buffer of "[8Ah] Read Register" and "[8Bh] Write Register"; host byte order.
struct RegisterAccessBlock {
    u32 width;         // 1, 2 or 4 bytes
    u32 value;         // written by a read, sent by a write
    u32 save_to_disk;  // writes: 0 or 1
    u32 address;
    u8 reserved[496];
};
static_assert(sizeof(RegisterAccessBlock) == 512, "RegisterAccessBlock is one sector");

// The registers of an ATA catalogue row (types 0 to 59); false for any other type.
bool LoadTaskFile(int type, TaskFile* regs, TaskFileHob* prev);

// One ATA command on an open node by the route of the link type, with the returned registers judged:
// user error 6 for a link type without ATA route, a failed route keeps its own error, and registers
// that fail IsAtaStatusGood give user error 8 with system error = error x 256 + status.
bool RunAtaTaskFile(int* handle, u32 link_type, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len,
                    int dir, int* user_err, int* sys_err);

// Types 0-6, 40, 51, 57, 58: the row's registers unchanged with the caller's buffer.
bool ExecAtaCommand(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 21-36, 45, 55, 56, 59: 89h/8Ah vendor reads sector by sector; answers the length query.
bool ExecAtaVendorRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 7-17, 19, 20: SMART READ LOG of the row's logs; answers the length query.
bool ExecSmartReadLog(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 18: SMART READ LOG of log B0h page by page; its length query states B0h's size.
bool ExecSmartPendList(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 52-54: non-data 8Bh switches with the caller's values.
bool ExecAtaSwitch(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 47-50: READ NATIVE MAX ADDRESS / SET MAX ADDRESS (and EXT) on a MaxAddressRegs. A read
// whose route brought back no registers fails with user error 7.
bool ExecMaxAddress(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 44: data-out 8Ch sector by sector.
bool ExecWriteWearLevelTableAta(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Types 38, 39: register read and write on a RegisterAccessBlock. A read whose route brought
// back no registers fails with user error 7.
bool ExecRegisterAccess(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// Type 43: one data-out sector carrying the host's time.
bool ExecWriteCurrentTime(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

#endif
