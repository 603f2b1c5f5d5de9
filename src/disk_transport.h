// Device transports: the drive's node, one SCSI request through the SCSI generic driver
// (SG_IO) with its logging and its mapping of driver, host and sense outcomes to
// (user_err, sys_err), the sense decoder, and the test of returned ATA registers.
// The ATA routes and the RAID controller pass-through send through SendScsiCmnd; the ATA routes,
// the SCSI executors and the pass-through tools fill their requests with ScsiExchange.
#ifndef ZV_DISK_TRANSPORT_H
#define ZV_DISK_TRANSPORT_H

#include "common.h"

// Data directions of a request (and of the ATA routes).
enum ScsiDataDir {
    SCSI_DIR_NONE = 0,
    SCSI_DIR_IN = 1,    // from the drive
    SCSI_DIR_OUT = 2,   // to the drive
};

// The size of the sense buffer every caller passes.
const u32 kSenseLen = 32;
// The longest CDB a caller builds.
const u32 kMaxCdbLen = 16;

// One request of SendScsiCmnd: filled by the caller (zeroed first, with a zeroed
// kSenseLen-byte sense buffer), results completed by SendScsiCmnd.
struct ScsiRequest {
    u8* cdb;
    u32 cdb_len;         // only its low byte reaches the driver
    u32 dir;             // ScsiDataDir
    u8* data;
    u32 data_len;
    u8* sense;
    u32 sense_len;       // only its low byte reaches the driver
    u32 timeout;         // seconds; 0 means 60
    u32 sense_written;   // result: sense bytes the driver wrote
    u8 status;           // result: SCSI status byte (2 = CHECK CONDITION)
    u32 resid;           // result: residual count (a negative one reported by the driver counts as 0)
};

// The seven current ATA registers; on return features holds error and command holds status.
struct TaskFile {
    u8 features;
    u8 count;
    u8 lba_low;    // LBA 7:0
    u8 lba_mid;    // LBA 15:8
    u8 lba_high;   // LBA 23:16
    u8 device;
    u8 command;
};
static_assert(sizeof(TaskFile) == 7, "TaskFile is the seven register bytes");

// The previous registers of a 48-bit command: features 15:8, count 15:8, LBA 31:24, 39:32, 47:40.
struct TaskFileHob {
    u8 features;
    u8 count;
    u8 lba_low;
    u8 lba_mid;
    u8 lba_high;
};
static_assert(sizeof(TaskFileHob) == 5, "TaskFileHob is the five previous register bytes");

// The outcome of one request's sense data.
struct SenseResult {
    int user_err;        // USER_ERR_CODE
    u8 response_code;    // sense byte 0 without bit 7
    u8 sense_key;
    u8 asc;
    u8 ascq;

    // All fields zero, then ReadSenseFields, then MapToUserErr; a CHECK CONDITION whose
    // sense key did not arrive (no sense written, a response code other than 70h-73h) maps to
    // USER_ERR_SENSE_UNKNOWN.
    explicit SenseResult(const ScsiRequest* req);
    // Sense key (and ASC/ASCQ) to user_err.
    void MapToUserErr();
};

// Node handles are plain descriptors; the caller sets the handle to 0 before opening.
bool OpenDiskWithFlags(int* handle, const char* path, int flags, int* user_err, int* sys_err);
// O_RDWR | O_NONBLOCK | O_LARGEFILE.
bool OpenDisk(int* handle, const char* path, int* user_err, int* sys_err);
bool OpenDiskQuiet(int* handle, const char* path);
// The handle value is left as it was.
bool CloseDisk(int* handle, int* user_err, int* sys_err);
bool CloseDiskQuiet(int* handle);

// One request on the open node (or the MegaRAID route when raid_kind is RAID_MEGARAID;
// context is passed on to it unread). Succeeds for GOOD, CONDITION MET and the two
// INTERMEDIATE statuses, and for CHECK CONDITION whose sense maps to no error; any other
// status fails with user error 1 and system error 5. On success user_err and sys_err are
// left as the caller set them.
bool SendScsiCmnd(int* handle, ScsiRequest* req, void* context, int* user_err, int* sys_err);

// The failure of a request whose answer did not arrive whole or complete (a short transfer,
// a status that is no completion): user error 1 and system error 5 (EIO), as the driver's own
// I/O errors; returns false.
bool FailIncomplete(int* user_err, int* sys_err);

// What a residual does to an exchange: it is only reported in req.resid, or the data phase
// had to move every byte and a residual fails the exchange with FailIncomplete.
enum ScsiResidRule {
    SCSI_RESID_KEPT = 0,
    SCSI_RESID_FAILS = 1,
};

// One request as the transports and tools send it: the request zeroed and filled from the
// arguments, with its own copy of the CDB (a null CDB or one longer than kMaxCdbLen is left
// null, which SendScsiCmnd refuses) and its own zeroed kSenseLen-byte sense buffer. After Send,
// req holds the results and sense the sense bytes; both point into the object, which is
// therefore not copied.
struct ScsiExchange {
    ScsiExchange(const u8* cdb, u32 cdb_len, u32 dir, u8* data, u32 data_len, u32 timeout);
    ScsiExchange(const ScsiExchange&) = delete;
    ScsiExchange& operator=(const ScsiExchange&) = delete;

    // SendScsiCmnd with the request, then the residual judged by rule.
    bool Send(int* handle, void* context, ScsiResidRule rule, int* user_err, int* sys_err);

    u8 cdb[kMaxCdbLen];
    u8 sense[kSenseLen];
    ScsiRequest req;
};

// ---- MegaRAID pass-through ----

// The controller's SCSI host number, read from the drive's node (SCSI_IOCTL_GET_IDLUN) by the
// first MegaRAID request of the run; megaraid_host_unread stays set until that succeeds.
extern u32 megaraid_host;
extern bool megaraid_host_unread;

// The MegaRAID route of SendScsiCmnd: the request goes to target raid_target_id through the
// controller's management node ("/dev/megaraid_sas_ioctl_node", else "/dev/megadev0"), which
// is made from its "/proc/devices" major number when missing and opened for every request.
// The node replaces (and closes) the descriptor in the handle, also after a failed request;
// the caller closes the handle as usual. Neither packet returns sense data: the request's
// status, sense_written and resid stay as the caller set them. context is not read.
// Errors: a failed host number query prints "get m_hba failed!Error = %d" and leaves
// user_err as it was; no node opens, or the pass-through fails: user_err 1 with errno;
// a target id above 255, no CDB or no data buffer: 4; a direction other than 0, 1, 2: 2.
bool SendMegaRaidCmnd(int* handle, ScsiRequest* req, void* context, int* user_err, int* sys_err);

// One MEGASAS_IOC_FIRMWARE request (an MFI pass-through frame) on the open megaraid_sas node;
// success when the driver accepts it and the frame's completion status comes back 0.
// Failure: user_err 1 with errno (0 when only the completion status failed).
bool MegaSasPassThrough(int* handle, ScsiRequest* req, void* context, int* user_err, int* sys_err);

// One MEGAIOCCMD request (a mailbox pass-through) on the open legacy node; success when the
// driver accepts it and both the SCSI status and the mailbox status come back 0. A request
// that reads has its buffer zeroed first. CDBs longer than the block's 10 bytes are refused
// without a call (errno EINVAL). On failure errno tells why (0: the statuses).
bool MegaDevPassThrough(int* handle, ScsiRequest* req);

// Response code, sense key, ASC and ASCQ of a CHECK CONDITION request's sense bytes, each
// only from bytes among the sense_written ones (ASC and ASCQ together); leaves them as they are
// for any other status. Only 70h/71h (fixed) and 72h/73h (descriptor) give a key; other codes
// name no format the fields could be read from.
void ReadSenseFields(const ScsiRequest* req, SenseResult* result);

// Whether sense byte 0 names descriptor format (72h or 73h, bit 7 aside): the one test of every
// reader of descriptor-format sense.
bool IsDescriptorSenseCode(u8 byte0);

// The first descriptor of the given type in descriptor-format sense data of len bytes,
// only when it lies whole inside them; else null.
const u8* FindSenseDescriptor(const u8* sense, int len, int type);

// True when the returned registers report success: status without ERR and DF, not 58h,
// and a zero error register.
bool IsAtaStatusGood(const TaskFile* regs);

#endif
