#include "vendor_cmnd_exec.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "ata_cmnd_exec.h"
#include "cmnd_exec_common.h"
#include "decode_util.h"
#include "disk_cmnd.h"
#include "disk_transport.h"
#include "msg_processor.h"
#include "settings.h"

namespace {

const u32 SECTOR = 512;
// Seconds each LOG SENSE and WRITE BUFFER request may take.
const u32 kTimeout = 10;
// The widest value a 24-bit CDB field carries.
const u32 kMax24 = 0xFFFFFF;
// The widest chunk length the 16-bit field of the chunked vendor-log CDB carries.
const u32 kMax16 = 0xFFFF;

// Flash geometry a drive of neither SATA family is sized with.
const u32 kOtherPageSize = 8192;
const u32 kOtherMaxPages = 128;
// Only this geometry splits the flash log into its two parts.
const u32 kPartPageNum = 128;

bool IsVendorLog(int type) { return type >= TYPE_4DH_READNVSRAM_LOG && type <= TYPE_4DH_READNVALL_LOG; }

bool IsWriteBufferDownload(int type)
{
    return type == TYPE_3BH_DOWNLOAD_MICROCODE || type == TYPE_3BH_DOWNLOAD_R5_LOADER;
}

// The chunk indexes [first, end) of a vendor-log read, after applying flash_log_part.
bool SelectChunks(int type, u64 chunks, u64* first, u64* end, int* user_err)
{
    *first = 0;
    *end = chunks;
    const bool parts = type == TYPE_4DH_READFLASH_LOG && (flash_log_part == 1 || flash_log_part == 2) &&
                       disk_geometry.page_num == kPartPageNum;
    if (!parts) {
        flash_log_part = 0;
        return true;
    }
    if (flash_log_part == 1) {
        *end = std::min<u64>(chunks, kFlashLogPart1Chunks);
        return true;
    }
    // A log too short to have a second part would come back "read" with nothing in it.
    if (chunks <= kFlashLogPart1Chunks) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    *first = kFlashLogPart1Chunks;
    return true;
}

// Validates the tunnel's retry layout and rebuilds the header block in front of the second
// part; *data and *commands then describe what is sent. Nothing is changed when it fails.
bool PrepareRetryLayout(u8* buf, u32 len, u8** data, u64* commands, int* user_err)
{
    FwImageHeader first;
    memcpy(&first, buf, sizeof(first));
    const u64 second_at = first.fisrtFwLens;
    if (second_at < kFwRetryHeaderBlock || second_at + sizeof(FwImageHeader) > len) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    FwImageHeader second;
    memcpy(&second, buf + second_at, sizeof(second));
    const u64 sent_len = kFwRetryHeaderBlock + static_cast<u64>(second.fisrtFwLens);
    const u64 n = (sent_len + SECTOR - 1) / SECTOR;
    const u64 start = second_at - kFwRetryHeaderBlock;
    if (start + n * SECTOR > len) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    // The header is taken before the block is cleared: the block may cover it.
    FwImageHeader moved = first;
    moved.fisrtFwLens = kFwRetryHeaderBlock;
    memset(buf + start, 0, kFwRetryHeaderBlock);
    memcpy(buf + start, &moved, sizeof(moved));
    *data = buf + start;
    *commands = n;
    return true;
}

} // namespace

bool LenVendorLog(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (buf == nullptr || len < sizeof(u32) || disk == nullptr) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    StoreLen(buf, 0);
    const int log = type - CMND_LEN_QUERY;
    if (!IsVendorLog(log)) {
        return false;
    }
    const bool other_family = !isFamilyP37RV(disk->model) && !isFamilyK4410(disk->model);

    u32 info_len = 0;
    if (!DiskCmnd::GetDataLen(TYPE_C0H_DISK_BASIC_INFO, disk, &info_len, user_err, sys_err)) {
        return false;
    }
    if (info_len < sizeof(DiskGeometry)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    std::vector<u8> info(info_len, 0);
    if (!DiskCmnd::Execute(TYPE_C0H_DISK_BASIC_INFO, disk, info.data(), info_len, user_err, sys_err)) {
        return false;
    }
    // The zero fill behind a short answer is no geometry.
    if (DiskCmnd::ReceivedLen() < sizeof(DiskGeometry)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    memcpy(&disk_geometry, info.data(), sizeof(disk_geometry));

    // The substitutes size this log only; disk_geometry keeps what the drive answered.
    u64 pages = disk_geometry.page_num;
    u64 page_size = disk_geometry.page_size;
    if (other_family) {
        page_size = kOtherPageSize;
        pages = std::min<u64>(pages, kOtherMaxPages);
    }
    u64 total = 0;
    switch (log) {
    case TYPE_4DH_READNVSRAM_LOG:
        total = page_size;
        break;
    case TYPE_4DH_READFLASH_LOG:
        // Both factors reach 32 bits and more, so their product could wrap even a u64.
        total = pages * 15 + 2;
        total = total > 0xFFFFFFFFull / std::max<u64>(page_size, 1) ? 0x100000000ull : total * page_size;
        break;
    case TYPE_4DH_READCURRENT_LOG:
        total = page_size * 12;
        break;
    default:
        total = pages * page_size;
        break;
    }
    // A geometry whose log a u32 cannot measure would wrap to a short, wrong length.
    if (total > 0xFFFFFFFFull) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    StoreLen(buf, static_cast<u32>(total));
    return true;
}

bool ExecVendorLogSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (buf == nullptr || len == 0 || disk == nullptr) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    if (!IsVendorLog(type)) {
        return false;
    }
    // The current log goes in one command whose length lies in 24 bits of the CDB.
    const bool whole = type == TYPE_4DH_READCURRENT_LOG;
    if (whole && len > kMax24) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    // The other logs move twice the row's chunk: its word shifted right by 7, not by 8.
    const u64 chunk = whole ? len : (cmnd_template_list[type].xfer >> 7);
    if (chunk == 0 || (!whole && chunk > kMax16)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const u64 chunks = (len + chunk - 1) / chunk;
    u64 first = 0;
    u64 end = 0;
    if (!SelectChunks(type, chunks, &first, &end, user_err)) {
        return false;
    }

    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = true;
    for (u64 k = first; k < end && ok; k++) {
        const u32 offset = static_cast<u32>(k * chunk);
        const u32 n = static_cast<u32>(std::min<u64>(chunk, len - offset));
        ScsiRow row = LoadScsiRow(type);
        if (whole) {
            row.cdb[3] = static_cast<u8>(n >> 16);
            row.cdb[4] = static_cast<u8>(n >> 8);
            row.cdb[5] = 0;
            row.cdb[6] = 0;
            row.cdb[7] = static_cast<u8>(n);
            row.cdb[8] = static_cast<u8>(n);
        } else {
            PutBe32(row.cdb + 3, offset);
            PutBe16(row.cdb + 7, n);
        }
        ok = SendScsiRow(&handle, row, buf + offset, n, kTimeout, user_err, sys_err);
    }
    CloseDiskQuiet(&handle);
    return ok;
}

bool ExecWriteBufferDownload(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (!IsWriteBufferDownload(type) || buf == nullptr || len == 0 || disk == nullptr) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    // Offset and length travel in 24 bits: a longer image cannot be described, so it is
    // refused before the drive is touched.
    if (len > kMax24) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    u8 stamp[12];  // the SET TIMESTAMP parameter list, its time filled in by the executor
    memset(stamp, 0, sizeof(stamp));
    if (!DiskCmnd::Execute(TYPE_A4H_SET_TIME_STAMP, disk, stamp, sizeof(stamp), user_err, sys_err)) {
        return false;
    }

    // The piece is the row's word taken whole, so every image that fits the fields is one command.
    const u64 piece = cmnd_template_list[type].xfer;
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = true;
    for (u64 offset = 0; offset < len && ok; offset += piece) {
        const u32 n = static_cast<u32>(std::min<u64>(piece, len - offset));
        ScsiRow row = LoadScsiRow(type);
        PutBe24(row.cdb + 3, static_cast<u32>(offset));
        PutBe24(row.cdb + 6, n);
        ok = SendScsiRow(&handle, row, buf + offset, n, kTimeout, user_err, sys_err);
    }
    return CloseChecked(&handle, ok, user_err, sys_err);
}

bool ExecDownloadMicrocodeAta(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    TaskFile tmpl_regs;
    TaskFileHob tmpl_prev;
    if (type != TYPE_92H_DOWNLOAD_MICROCODE || buf == nullptr || len == 0 || len % SECTOR != 0 || disk == nullptr ||
        !LoadTaskFile(type, &tmpl_regs, &tmpl_prev)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const u32 link = disk->link_type;
    if (link != LINK_ATA && link != LINK_ATA_BY_SCSI && link != LINK_ATA_BY_FC) {
        return false;
    }
    const bool tunnel = link == LINK_ATA_BY_FC;
    const u64 per_cmnd = tunnel ? 1 : cmnd_template_list[type].xfer;
    // The sector count of a command lies in 16 bits (count and LBA 7:0).
    if (per_cmnd == 0 || per_cmnd > 0xFFFF) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const u64 chunk = per_cmnd * SECTOR;
    u8* data = buf;
    u64 commands = (len + chunk - 1) / chunk;

    if (tunnel && !fw_download_retry) {
        // Only the first firmware part goes, in whole sectors; it must lie inside the image.
        FwImageHeader header;
        memcpy(&header, buf, sizeof(header));
        if (header.fisrtFwLens == 0 || header.fisrtFwLens > len) {
            return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
        }
        commands = (static_cast<u64>(header.fisrtFwLens) + SECTOR - 1) / SECTOR;
    } else if (tunnel && !PrepareRetryLayout(buf, len, &data, &commands, user_err)) {
        return false;
    }
    // On SAT and the native route the first attempt of a K4410-family drive is its first
    // command alone: the drive's download status then judges it and the retry sends the
    // whole image. Every other drive has no such second chance, so it gets the whole image
    // at once.
    const bool first_only = !tunnel && !fw_download_retry && isFamilyK4410(disk->model);
    const u64 sent = first_only ? 1 : commands;
    // The block offset lies in 16 bits (LBA 15:8 and 23:16).
    if ((sent - 1) * per_cmnd > 0xFFFF) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const u32 avail = len - static_cast<u32>(data - buf);
    const u8 features = commands == 1 ? 0x07 : 0x03;  // save in one command, or with offsets

    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = true;
    for (u64 k = 0; k < sent && ok; k++) {
        const u64 offset = k * chunk;
        const u32 bytes = static_cast<u32>(std::min<u64>(chunk, avail - offset));
        const u32 sectors = bytes / SECTOR;
        const u32 block = static_cast<u32>(k * per_cmnd);
        TaskFile regs = tmpl_regs;
        TaskFileHob prev;
        memset(&prev, 0, sizeof(prev));
        regs.features = features;
        regs.count = static_cast<u8>(sectors);
        regs.lba_low = static_cast<u8>(sectors >> 8);
        regs.lba_mid = static_cast<u8>(block);
        regs.lba_high = static_cast<u8>(block >> 8);
        ok = RunAtaTaskFile(&handle, link, &regs, &prev, false, data + offset, bytes, SCSI_DIR_OUT, user_err,
                            sys_err);
    }
    return CloseChecked(&handle, ok, user_err, sys_err);
}

// {executor, opcode of its types' templates, its list}: LOG SENSE of the vendor pages, WRITE BUFFER.
const CmndExecTypes vendor_exec_types[] = {
    {ExecVendorLogSense, 0x4D, IsVendorLog},
    {ExecWriteBufferDownload, 0x3B, IsWriteBufferDownload},
};
const size_t vendor_exec_type_count = std::size(vendor_exec_types);
