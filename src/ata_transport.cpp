#include "ata_transport.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "cmd_resp_log.h"
#include "decode_util.h"
#include "disk_info.h"
#include "msg_processor.h"
#include "settings.h"

namespace {

const u8 SAT_OPCODE = 0x85;           // ATA PASS-THROUGH(16)
const u32 SAT_CDB_LEN = 16;
const u32 SAT_TIMEOUT_S = 60;
const int SAT_STATUS_RETURN = 0x09;   // ATA Status Return descriptor
const u8 SAT_STATUS_RETURN_LEN = 0x0C;
const u8 ATA_STATUS_DRDY_DSC = 0x50;  // what a translator that returns nothing implies
// ASC/ASCQ 00h/1Dh: ATA PASS THROUGH INFORMATION AVAILABLE, the announcement of the registers.
const u8 SAT_RETURN_ASC = 0x00;
const u8 SAT_RETURN_ASCQ = 0x1D;

// The tunnel's status block counts when it arrived up to its status byte.
const u32 APT_STATUS_NEEDED = offsetof(AptStatus, status) + 1;

// Whether the last route call brought back the drive's own result registers.
bool regs_returned = false;

// Descriptor-format sense of a CHECK CONDITION that succeeded and says the ATA Status Return
// descriptor comes with it. (The fixed-format return holds the registers in other fields,
// which are not read: such an answer is judged as one without registers.)
bool AnnouncesStatusReturn(const ScsiRequest& req)
{
    const SenseResult sense(&req);
    return req.status == 0x02 && IsDescriptorSenseCode(sense.response_code) && sense.asc == SAT_RETURN_ASC &&
           sense.ascq == SAT_RETURN_ASCQ;
}

// ATA PASS-THROUGH protocol and length flags per route direction.
struct SatProtocol {
    u8 protocol;
    u8 t_length;
    u8 t_dir;
};
const SatProtocol sat_protocols[] = {
    {3, 0, 1},  // non-data
    {4, 2, 1},  // PIO data-in, length in the sector count
    {5, 2, 0},  // PIO data-out
};

bool IsRouteDir(int dir) { return dir == SCSI_DIR_NONE || dir == SCSI_DIR_IN || dir == SCSI_DIR_OUT; }

void BuildBufferCdb(u8* cdb, u8 opcode, u8 buffer_id, u32 len)
{
    memset(cdb, 0, APT_CDB_LEN);
    cdb[0] = opcode;
    cdb[1] = APT_BUFFER_MODE;
    cdb[2] = buffer_id;
    PutBe24(cdb + 6, len);
}

// One buffer command of the tunnel; buffers are never null here. It fails unless at least
// `needed` of its len bytes moved; resid, when given, receives the residual.
bool SendBuffer(int* handle, u8 opcode, u8 buffer_id, u8* buf, u32 len, u32 needed, int dir, void* context,
                int* user_err, int* sys_err, u32* resid = nullptr)
{
    u8 cdb[APT_CDB_LEN];
    BuildBufferCdb(cdb, opcode, buffer_id, len);
    u32 left = 0;
    const bool sent = SendAptCdb(handle, cdb, buf, len, &dir, context, user_err, sys_err, &left);
    if (resid != nullptr) {
        *resid = left;
    }
    if (!sent) {
        return false;
    }
    const u32 moved = left < len ? len - left : 0;
    return moved >= needed ? true : FailIncomplete(user_err, sys_err);
}

// A data phase with a residual holds no whole answer. Registers from the drive that report an
// error are its verdict on the command, which a short (or empty) data phase then only follows
// from; registers that report success, or none from the drive, leave the residual the failure.
bool JudgeResidual(u32 resid, bool drive_regs, const TaskFile* regs, int* user_err, int* sys_err)
{
    if (resid == 0 || (drive_regs && !IsAtaStatusGood(regs))) {
        return true;
    }
    return FailIncomplete(user_err, sys_err);
}

} // namespace

bool AtaRegistersReturned() { return regs_returned; }

bool SendAtaCmndNative(int* /*handle*/, TaskFile* /*regs*/, TaskFileHob* /*prev*/, bool /*ext48*/, u8* /*buf*/,
                       u32 /*len*/, int /*dir*/, void* /*context*/, int* user_err, int* /*sys_err*/)
{
    regs_returned = false;
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool SendAtaCmndSat(int* handle, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len, int dir,
                    void* context, int* user_err, int* sys_err)
{
    regs_returned = false;
    if (!IsRouteDir(dir)) {
        return false;
    }
    if (handle == nullptr || regs == nullptr || prev == nullptr) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    const SatProtocol& proto = sat_protocols[dir];
    const bool has_data = proto.t_length != 0;
    if (has_data && buf == nullptr && len != 0) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    // A MegaRAID controller returns no sense to us, so asking for it would only fail the command.
    const bool megaraid = raid_kind == RAID_MEGARAID;
    const u8 ck_cond = megaraid ? 0 : 1;
    const u8 byt_blok = 1;

    u8 cdb[SAT_CDB_LEN] = {};
    cdb[0] = SAT_OPCODE;
    cdb[1] = static_cast<u8>(proto.protocol * 2 + (ext48 ? 1 : 0));
    cdb[2] = static_cast<u8>(ck_cond * 0x20 + proto.t_dir * 0x08 + byt_blok * 0x04 + proto.t_length);
    cdb[3] = prev->features;
    cdb[4] = regs->features;
    cdb[5] = prev->count;
    cdb[6] = regs->count;
    cdb[7] = prev->lba_low;
    cdb[8] = regs->lba_low;
    cdb[9] = prev->lba_mid;
    cdb[10] = regs->lba_mid;
    cdb[11] = prev->lba_high;
    cdb[12] = regs->lba_high;
    cdb[13] = megaraid ? 0 : regs->device;
    cdb[14] = regs->command;

    if (has_data && dir == SCSI_DIR_IN && buf != nullptr) {
        memset(buf, 0, len);
    }
    // Only the data protocols move the buffer.
    const u32 xfer_dir = has_data ? static_cast<u32>(dir) : static_cast<u32>(SCSI_DIR_NONE);
    ScsiExchange x(cdb, SAT_CDB_LEN, xfer_dir, has_data ? buf : nullptr, has_data ? len : 0, SAT_TIMEOUT_S);

    // Sense keys (a failing command under CK_COND comes back as CHECK CONDITION) are mapped there.
    // ATA moves whole sectors: a data phase that came back short is judged with the registers.
    if (!x.Send(handle, context, SCSI_RESID_KEPT, user_err, sys_err)) {
        return false;
    }
    const ScsiRequest& req = x.req;

    u32 written = req.sense_written < kSenseLen ? req.sense_written : kSenseLen;
    const u8* d = FindSenseDescriptor(x.sense, static_cast<int>(written), SAT_STATUS_RETURN);
    // Only a descriptor of the full standard length carries every register we read.
    const bool returned = d != nullptr && d[1] >= SAT_STATUS_RETURN_LEN;
    // A failed call leaves the registers as they were sent.
    TaskFile out = *regs;
    TaskFileHob out_prev = *prev;
    if (returned) {
        out.features = d[3];
        out.count = d[5];
        out.lba_low = d[7];
        out.lba_mid = d[9];
        out.lba_high = d[11];
        out.device = d[12];
        out.command = d[13];
        if (ext48) {
            out_prev.count = d[4];
            out_prev.lba_low = d[6];
            out_prev.lba_mid = d[8];
            out_prev.lba_high = d[10];
        }
    } else if (AnnouncesStatusReturn(req)) {
        // The registers were announced but did not arrive: the command's status is unknown.
        return FailIncomplete(user_err, sys_err);
    } else {
        out.features = 0;
        out.command = ATA_STATUS_DRDY_DSC;
    }
    if (!JudgeResidual(has_data ? req.resid : 0, returned, &out, user_err, sys_err)) {
        return false;
    }
    *regs = out;
    *prev = out_prev;
    regs_returned = returned;
    return true;
}

AtaRouteFun SelectAtaRoute(u32 link_type)
{
    switch (link_type) {
    case LINK_ATA:
        return SendAtaCmndNative;
    case LINK_ATA_BY_SCSI:
        return SendAtaCmndSat;
    case LINK_ATA_BY_FC:
        return SendAtaCmndApt;
    default:
        return nullptr;
    }
}

bool BuildAptPacket(AptPacket* out, const TaskFile* regs, const TaskFileHob* prev, const int* dir, u32 len,
                    bool ext48)
{
    if (out == nullptr || regs == nullptr || dir == nullptr || !IsRouteDir(*dir)) {
        return false;
    }
    static const u8 dir_codes[] = {0x00, 0x07, 0x06};
    memset(out, 0, sizeof(*out));
    out->signature[0] = 0x75;
    out->signature[1] = 0x30;
    out->direction = dir_codes[*dir];
    PutBe24(out->length, len);
    out->features = regs->features;
    out->count = regs->count;
    out->device = regs->device;
    out->lba_23_16 = regs->lba_high;
    out->lba_15_8 = regs->lba_mid;
    out->lba_7_0 = regs->lba_low;
    out->command = regs->command;
    if (ext48 && prev != nullptr) {
        out->features_hi = prev->features;
        out->count_hi = prev->count;
        out->lba_47_40 = prev->lba_high;
        out->lba_39_32 = prev->lba_mid;
        out->lba_31_24 = prev->lba_low;
    }
    CmdRespLog::GetInstance()->AddRecord(LOG_WRITE_APT, out, sizeof(*out), static_cast<int>(len), *dir);
    return true;
}

namespace {

void CopyAptStatus(TaskFile* regs, TaskFileHob* prev, const AptStatus* status, bool ext48)
{
    regs->features = status->error;
    regs->count = status->count;
    regs->lba_low = status->lba_7_0;
    regs->lba_mid = status->lba_15_8;
    regs->lba_high = status->lba_23_16;
    regs->device = status->device;
    regs->command = status->status;
    if (ext48 && prev != nullptr) {
        prev->features = status->features_hi;
        prev->count = status->count_hi;
        prev->lba_low = status->lba_31_24;
        prev->lba_mid = status->lba_39_32;
        prev->lba_high = status->lba_47_40;
    }
}

} // namespace

bool ParseAptStatus(TaskFile* regs, TaskFileHob* prev, const AptStatus* status, bool ext48, int user_err,
                    int sys_err)
{
    if (status == nullptr || regs == nullptr) {
        return false;
    }
    CopyAptStatus(regs, prev, status, ext48);
    CmdRespLog::GetInstance()->AddRecord(LOG_READ_APT, status, sizeof(*status), user_err, sys_err);
    return true;
}

bool SendAptCdb(int* handle, const u8* cdb10, u8* buf, u32 len, const int* dir, void* context, int* user_err,
                int* sys_err, u32* resid)
{
    if (cdb10 == nullptr || buf == nullptr || dir == nullptr) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    ScsiExchange x(cdb10, APT_CDB_LEN, static_cast<u32>(*dir), buf, len, APT_TIMEOUT_S);
    const bool ok = x.Send(handle, context, SCSI_RESID_KEPT, user_err, sys_err);
    if (resid != nullptr) {
        *resid = x.req.resid;
    }
    return ok;
}

bool SendAtaCmndApt(int* handle, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len, int dir,
                    void* context, int* user_err, int* sys_err)
{
    regs_returned = false;
    if (!IsRouteDir(dir)) {
        return false;
    }
    if (handle == nullptr || regs == nullptr || prev == nullptr) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    const u32 data_len = dir == SCSI_DIR_NONE ? 0 : len;
    // The length travels in 24-bit fields; the packet shares the buffer of a data-out.
    const u32 max_len = dir == SCSI_DIR_OUT ? APT_MAX_LEN - sizeof(AptPacket) : APT_MAX_LEN;
    if (data_len > max_len || (data_len != 0 && buf == nullptr)) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }

    AptPacket packet;
    BuildAptPacket(&packet, regs, prev, &dir, data_len, ext48);

    // Each failing request leaves its own error; a later failure replaces an earlier one.
    // The packet must move whole; a residual of the data phase is judged with the registers
    // (ATA moves whole sectors).
    bool packet_ok = true;
    bool data_ok;
    u32 data_resid = 0;
    if (dir == SCSI_DIR_IN) {
        packet_ok = SendBuffer(handle, SCSI_OP_WRITE_BUFFER, APT_BUFFER_CMND, reinterpret_cast<u8*>(&packet),
                               sizeof(packet), sizeof(packet), SCSI_DIR_OUT, context, user_err, sys_err);
        // The exchange runs to its end even after a failed packet write, leaving the tunnel idle.
        u8 empty = 0;
        data_ok = SendBuffer(handle, SCSI_OP_READ_BUFFER, APT_BUFFER_DATA, buf != nullptr ? buf : &empty, data_len, 0,
                             SCSI_DIR_IN, context, user_err, sys_err, &data_resid);
    } else {
        std::vector<u8> out(sizeof(packet) + data_len);
        memcpy(out.data(), &packet, sizeof(packet));
        if (data_len != 0) {
            memcpy(out.data() + sizeof(packet), buf, data_len);
        }
        data_ok = SendBuffer(handle, SCSI_OP_WRITE_BUFFER, APT_BUFFER_CMND, out.data(), static_cast<u32>(out.size()),
                             sizeof(packet), SCSI_DIR_OUT, context, user_err, sys_err, &data_resid);
    }

    // The block counts only when its error and status bytes arrived.
    AptStatus status;
    memset(&status, 0, sizeof(status));
    bool status_ok = SendBuffer(handle, SCSI_OP_READ_BUFFER, APT_BUFFER_CMND, reinterpret_cast<u8*>(&status),
                                sizeof(status), APT_STATUS_NEEDED, SCSI_DIR_IN, context, user_err, sys_err);
    if (!data_ok) {
        return false;   // the block read after a failed data phase is not taken
    }
    // After a data phase the drive ran, whole or short, the block is taken and logged whatever the
    // other requests did, so the log shows what came back; the call still fails when any of them
    // failed.
    // The block is judged before it is logged, so that its record holds the failure the caller
    // reports, the residual's included, not what the requests left before it.
    TaskFile got = *regs;
    TaskFileHob got_prev = *prev;
    CopyAptStatus(&got, &got_prev, &status, ext48);
    regs_returned = packet_ok && status_ok;
    const bool ok = regs_returned && JudgeResidual(data_resid, true, &got, user_err, sys_err);
    const int rec_user = ok || user_err == nullptr ? 0 : *user_err;
    const int rec_sys = ok || sys_err == nullptr ? 0 : *sys_err;
    ParseAptStatus(regs, prev, &status, ext48, rec_user, rec_sys);
    return ok;
}

namespace {

bool SectorIo(bool write, int* handle, u8* buf, u64 offset, u64 count, int* done, int* user_err, int* sys_err)
{
    if (handle == nullptr || *handle < 0 || buf == nullptr || done == nullptr) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    *done = 0;
    // One call moves at most what the byte count of the result can report.
    if (count > static_cast<u64>(INT_MAX) / 512 || offset > static_cast<u64>(LLONG_MAX)) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    errno = 0;
    if (lseek64(*handle, static_cast<off64_t>(offset), SEEK_SET) < 0) {
        *user_err = USER_ERR_OS_API;
        *sys_err = errno;
        return false;
    }
    size_t bytes = static_cast<size_t>(count * 512);
    ssize_t n = write ? ::write(*handle, buf, bytes) : ::read(*handle, buf, bytes);
    if (n < 0) {
        *user_err = USER_ERR_OS_API;
        *sys_err = errno;
        return false;
    }
    *done = static_cast<int>(n);
    return true;
}

} // namespace

bool ReadSectors(int* handle, u8* buf, u64 offset, u64 count, void* /*context*/, int* done, int* user_err,
                 int* sys_err)
{
    return SectorIo(false, handle, buf, offset, count, done, user_err, sys_err);
}

bool WriteSectors(int* handle, u8* buf, u64 offset, u64 count, void* /*context*/, int* done, int* user_err,
                  int* sys_err)
{
    return SectorIo(true, handle, buf, offset, count, done, user_err, sys_err);
}
