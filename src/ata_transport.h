// ATA routes: how one ATA task file reaches a SATA drive. SAT drives take it in
// ATA PASS-THROUGH(16); drives on the vendor tunnel take it in a packet carried by
// WRITE BUFFER, with the data and the result registers moved by READ/WRITE BUFFER.
// The routes return the drive's result registers; judging them is the caller's task.
#ifndef ZV_ATA_TRANSPORT_H
#define ZV_ATA_TRANSPORT_H

#include "common.h"
#include "disk_transport.h"
#include "scsi_opcodes.h"

// TaskFile and TaskFileHob (the current and the previous registers) and the direction codes
// (ScsiDataDir) come with the SCSI transport.

// The same signature for every route, so an executor picks one and calls it blindly.
// regs and prev go in and come back holding the result registers; context reaches
// SendScsiCmnd unread.
typedef bool (*AtaRouteFun)(int* handle, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len,
                            int dir, void* context, int* user_err, int* sys_err);

// The routes judge what arrived, not the ATA status: a tunnel packet that did not move whole,
// an ATA Status Return announced (00h/1Dh in descriptor-format sense) but not carried whole
// within the additional sense length, and a tunnel status block that did not arrive up to its
// status byte fail with user error 1 and system error 5 (EIO). So does a data phase that did
// not move whole, unless the drive's own registers report an error: a command the drive
// rejected comes back as a successful call with the error in the registers, whatever its data
// phase moved.

// LINK_ATA: there is no native ATA path on this platform; always user error 6, nothing sent.
bool SendAtaCmndNative(int* handle, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len, int dir,
                       void* context, int* user_err, int* sys_err);
// LINK_ATA_BY_SCSI: one ATA PASS-THROUGH(16) request, 60 s.
bool SendAtaCmndSat(int* handle, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len, int dir,
                    void* context, int* user_err, int* sys_err);
// LINK_ATA_BY_FC: packet, data and status through the vendor tunnel.
bool SendAtaCmndApt(int* handle, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len, int dir,
                    void* context, int* user_err, int* sys_err);

// The route of a link type; null for a link type that carries no ATA commands.
AtaRouteFun SelectAtaRoute(u32 link_type);

// Whether the last route call brought back the drive's own result registers: a complete ATA
// Status Return descriptor over SAT, the status block over the tunnel. When it did not (a
// translator that answers GOOD without sense, the MegaRAID route), a successful call leaves the
// registers as sent with error 00h and status 50h: enough to judge the command, no value to read.
bool AtaRegistersReturned();

// The command packet of the tunnel, written to buffer 06h.
struct AptPacket {
    u8 signature[2];   // 75h 30h
    u8 reserved2;
    u8 direction;      // 07h data in, 06h data out, 00h no data
    u8 reserved4;
    u8 length[3];      // data length in bytes, big-endian
    u8 features_hi;    // 48-bit only
    u8 features;
    u8 count_hi;       // 48-bit only
    u8 count;
    u8 device;
    u8 lba_23_16;
    u8 lba_15_8;
    u8 lba_7_0;
    u8 reserved16;
    u8 lba_47_40;      // 48-bit only
    u8 lba_39_32;      // 48-bit only
    u8 lba_31_24;      // 48-bit only
    u8 reserved20[3];
    u8 command;
    u8 reserved24[4];
};
static_assert(sizeof(AptPacket) == 28, "AptPacket is 28 bytes");

// The result block of the tunnel, read back from buffer 06h.
struct AptStatus {
    u8 reserved0[4];
    u8 features_hi;    // 48-bit only
    u8 reserved5;
    u8 count_hi;       // 48-bit only
    u8 count;
    u8 device;
    u8 lba_23_16;
    u8 lba_15_8;
    u8 lba_7_0;
    u8 reserved12;
    u8 lba_47_40;      // 48-bit only
    u8 lba_39_32;      // 48-bit only
    u8 lba_31_24;      // 48-bit only
    u8 reserved16[2];
    u8 error;
    u8 status;
    u8 reserved20[4];
};
static_assert(sizeof(AptStatus) == 24, "AptStatus is 24 bytes");

// Tunnel buffer commands: WRITE BUFFER / READ BUFFER (SCSI_OP_*), mode 01h, 10-byte CDB, 30 s.
const u8 APT_BUFFER_MODE = 0x01;
const u8 APT_BUFFER_CMND = 0x06;  // packet, data to the drive, status
const u8 APT_BUFFER_DATA = 0x07;  // data from the drive
const u32 APT_CDB_LEN = 10;
const u32 APT_TIMEOUT_S = 30;
// The largest transfer the 24-bit length fields can describe.
const u32 APT_MAX_LEN = 0xFFFFFF;

// Fills the packet and logs it ("Write APT"); false for a direction other than 0, 1, 2 or a null argument.
bool BuildAptPacket(AptPacket* out, const TaskFile* regs, const TaskFileHob* prev, const int* dir, u32 len,
                    bool ext48);
// Copies the result registers out of the status block and logs it ("Read APT") with the exchange's
// outcome: user_err and sys_err of its failure, 0 and 0 for a success. False for a null argument.
bool ParseAptStatus(TaskFile* regs, TaskFileHob* prev, const AptStatus* status, bool ext48, int user_err = 0,
                    int sys_err = 0);
// One 10-byte buffer command through SendScsiCmnd; a null CDB, buffer or direction gives user error 4.
// resid, when given, receives the request's residual count.
bool SendAptCdb(int* handle, const u8* cdb10, u8* buf, u32 len, const int* dir, void* context, int* user_err,
                int* sys_err, u32* resid = nullptr);

// Plain block I/O on the node at a byte offset, count x 512 bytes in one call; done gets the byte count.
// Nothing in the program uses them.
bool ReadSectors(int* handle, u8* buf, u64 offset, u64 count, void* context, int* done, int* user_err,
                 int* sys_err);
bool WriteSectors(int* handle, u8* buf, u64 offset, u64 count, void* context, int* done, int* user_err,
                  int* sys_err);

#endif
