#include "ata_cmnd_exec.h"

#include <cstring>
#include <string>

#include "ata_transport.h"
#include "cmnd_exec_common.h"
#include "decode_util.h"
#include "disk_cmnd.h"
#include "disk_transport.h"
#include "file_utils.h"
#include "msg_processor.h"

namespace {

const int ATA_TYPE_LAST = TYPE_CHECK_GRAIN;  // types 0 to 59 are ATA rows
const u32 SECTOR = 512;

// One command of a row, patched per call before it is sent.
struct AtaCmnd {
    TaskFile regs;
    TaskFileHob prev;
    bool ext48;
    int dir;
    u32 sectors;  // the row's transfer word
};

bool LoadCmnd(int type, AtaCmnd* c)
{
    if (!LoadTaskFile(type, &c->regs, &c->prev)) {
        return false;
    }
    const CmndTemplate& row = cmnd_template_list[type];
    c->ext48 = row.ext48 != 0;
    c->dir = static_cast<int>(row.dir);
    c->sectors = row.xfer;
    return true;
}

enum CloseMode { CLOSE_QUIET, CLOSE_CHECKED };

// A checked close that fails turns a successful command into a failure; an earlier error stays.
bool CloseNode(int* handle, CloseMode mode, bool ok, int* user_err, int* sys_err)
{
    if (mode == CLOSE_QUIET) {
        CloseDiskQuiet(handle);
        return ok;
    }
    return CloseChecked(handle, ok, user_err, sys_err);
}

bool Send(int* handle, DiskInfo* disk, AtaCmnd* c, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return RunAtaTaskFile(handle, disk->link_type, &c->regs, &c->prev, c->ext48, buf, len, c->dir, user_err,
                          sys_err);
}

// Open, one command, close.
bool SendOnce(DiskInfo* disk, AtaCmnd* c, u8* buf, u32 len, CloseMode mode, int* user_err, int* sys_err)
{
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = Send(&handle, disk, c, buf, len, user_err, sys_err);
    return CloseNode(&handle, mode, ok, user_err, sys_err);
}

// A command whose answer is in the returned registers: without registers from the drive
// there is no answer, only the registers that were sent.
bool SendForRegisters(DiskInfo* disk, AtaCmnd* c, u8* buf, u32 len, CloseMode mode, int* user_err, int* sys_err)
{
    if (!SendOnce(disk, c, buf, len, mode, user_err, sys_err)) {
        return false;
    }
    return AtaRegistersReturned() ? true : Fail(USER_ERR_SAT_NO_CHECK_CONDITION, user_err);
}

// Sector count of log address `log` in a SMART log directory.
u32 LogSectors(const u8* dir, u32 log) { return ReadU16(dir + 2 * log); }

// The row's logs (first address and how many) for the log readers.
bool LogSpan(const AtaCmnd& c, u32* first, u32* count)
{
    *first = c.regs.lba_low;
    *count = c.sectors;
    return *count != 0 && *first + *count <= 256;
}

// Reads the log directory and the total length of `count` logs from `first`; the length
// goes into buf whenever there is room for it, also when the directory read failed.
bool ReadLogDirectory(DiskInfo* disk, u32 first, u32 count, u8* dir, u8* buf, u32 len, u32* total, int* user_err,
                      int* sys_err)
{
    memset(dir, 0, SECTOR);
    bool ok = ExecAtaCommand(TYPE_SMART_LOG_DIRECTORY, disk, dir, SECTOR, user_err, sys_err);
    u32 sectors = 0;
    for (u32 i = 0; i < count; i++) {
        sectors += LogSectors(dir, first + i);
    }
    *total = sectors * SECTOR;
    if (buf != nullptr && len >= sizeof(u32)) {
        StoreLen(buf, *total);
    }
    return ok;
}

} // namespace

bool LoadTaskFile(int type, TaskFile* regs, TaskFileHob* prev)
{
    if (type < 0 || type > ATA_TYPE_LAST || regs == nullptr || prev == nullptr) {
        return false;
    }
    const u8* r = cmnd_template_list[type].regs;
    regs->features = r[0];
    regs->count = r[1];
    regs->lba_low = r[2];
    regs->lba_mid = r[3];
    regs->lba_high = r[4];
    regs->device = r[5];
    regs->command = r[6];
    prev->features = r[8];
    prev->count = r[9];
    prev->lba_low = r[10];
    prev->lba_mid = r[11];
    prev->lba_high = r[12];
    return true;
}

bool RunAtaTaskFile(int* handle, u32 link_type, TaskFile* regs, TaskFileHob* prev, bool ext48, u8* buf, u32 len,
                    int dir, int* user_err, int* sys_err)
{
    AtaRouteFun route = SelectAtaRoute(link_type);
    if (route == nullptr) {
        return Fail(USER_ERR_UNSUPPORTED, user_err);
    }
    if (!route(handle, regs, prev, ext48, buf, len, dir, nullptr, user_err, sys_err)) {
        return false;
    }
    if (!IsAtaStatusGood(regs)) {
        *user_err = USER_ERR_ATA_STATUS;
        *sys_err = regs->features * 256 + regs->command;
        return false;
    }
    return true;
}

bool ExecAtaCommand(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    AtaCmnd c;
    if (disk == nullptr || !LoadCmnd(type, &c)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    return SendOnce(disk, &c, buf, len, CLOSE_QUIET, user_err, sys_err);
}

bool ExecAtaVendorRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    const bool query = type >= CMND_LEN_QUERY;
    AtaCmnd c;
    if (buf == nullptr || disk == nullptr || !LoadCmnd(query ? type - CMND_LEN_QUERY : type, &c)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }

    if (query) {
        if (len < SECTOR) {
            return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
        }
        // The length query of a vendor read is its feature code without bit 7.
        c.regs.features &= 0x7F;
        c.regs.count = 1;
        bool ok = SendOnce(disk, &c, buf, SECTOR, CLOSE_QUIET, user_err, sys_err);
        u32 sectors = ReadU32(buf);
        if (sectors > 0xFFFFFFFFu / SECTOR) {
            // A length that a u32 cannot hold would wrap to a short, wrong one.
            StoreLen(buf, 0);
            return ok ? Fail(USER_ERR_ILLEGAL_PARAM, user_err) : false;
        }
        StoreLen(buf, sectors * SECTOR);
        return ok;
    }

    const u32 per_cmnd = c.sectors;
    if (per_cmnd == 0 || per_cmnd > 0xFF) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const u32 chunk = per_cmnd * SECTOR;
    const u32 commands = len / chunk;
    // A buffer shorter than one command would come back "read" with nothing in it.
    if (commands == 0) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    for (u32 k = 0; k < commands; k++) {
        AtaCmnd cmd = c;
        const u32 lba = k * per_cmnd;
        cmd.regs.count = static_cast<u8>(per_cmnd);
        cmd.regs.lba_low = static_cast<u8>(lba);
        cmd.regs.lba_mid = static_cast<u8>(lba >> 8);
        cmd.regs.lba_high = static_cast<u8>(lba >> 16);
        // The node is opened and closed around every sector of a vendor read.
        if (!SendOnce(disk, &cmd, buf + static_cast<size_t>(k) * chunk, chunk, CLOSE_QUIET, user_err, sys_err)) {
            return false;
        }
    }
    return true;
}

bool ExecSmartReadLog(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    const bool query = type >= CMND_LEN_QUERY;
    AtaCmnd c;
    u32 first = 0;
    u32 count = 0;
    if (disk == nullptr || !LoadCmnd(query ? type - CMND_LEN_QUERY : type, &c) || !LogSpan(c, &first, &count)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    u8 dir[SECTOR];
    u32 total = 0;
    bool ok = ReadLogDirectory(disk, first, count, dir, buf, len, &total, user_err, sys_err);
    if (query || !ok) {
        return ok;
    }
    // The directory may have grown since the caller sized its buffer.
    if (buf == nullptr || total > len) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }

    int handle = 0;
    bool opened = false;
    u32 offset = 0;
    for (u32 i = 0; i < count && ok; i++) {
        const u32 log = first + i;
        const u32 sectors = LogSectors(dir, log);
        if (sectors == 0) {
            continue;
        }
        const u32 bytes = sectors * SECTOR;
        if (!opened) {
            if (!OpenNode(disk, &handle, user_err, sys_err)) {
                return false;
            }
            opened = true;
        }
        AtaCmnd cmd = c;
        cmd.regs.count = static_cast<u8>(sectors);
        cmd.regs.lba_low = static_cast<u8>(log);
        ok = Send(&handle, disk, &cmd, buf + offset, bytes, user_err, sys_err);
        offset += bytes;
    }
    if (opened) {
        ok = CloseNode(&handle, CLOSE_QUIET, ok, user_err, sys_err);
    }
    return ok;
}

bool ExecSmartPendList(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    const bool query = type >= CMND_LEN_QUERY;
    AtaCmnd c;
    u32 first = 0;
    u32 count = 0;
    if (disk == nullptr || !LoadCmnd(query ? type - CMND_LEN_QUERY : type, &c) || !LogSpan(c, &first, &count)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    u8 dir[SECTOR];
    u32 total = 0;
    // Sized by the one log that is read: the row's other logs are never fetched here.
    bool ok = ReadLogDirectory(disk, first, 1, dir, buf, len, &total, user_err, sys_err);
    if (query || !ok) {
        return ok;
    }
    if (buf == nullptr) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }

    // The list is read one page per command from its first log; the count names the page.
    const u32 pages = LogSectors(dir, first);
    // The page travels in the 8-bit count: a longer list would repeat pages without notice.
    if (pages > len / SECTOR || pages > 0xFF) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    if (pages == 0) {
        return true;
    }
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    for (u32 i = 0; i < pages && ok; i++) {
        AtaCmnd cmd = c;
        cmd.regs.count = static_cast<u8>(i + 1);
        ok = Send(&handle, disk, &cmd, buf + static_cast<size_t>(i) * SECTOR, SECTOR, user_err, sys_err);
    }
    return CloseNode(&handle, CLOSE_QUIET, ok, user_err, sys_err);
}

bool ExecAtaSwitch(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    AtaCmnd c;
    if (type < TYPE_8BH_DYNAMIC_OPTMIZE || type > TYPE_8BH_64CE_ON_OFF_SWITCH || buf == nullptr ||
        len < LenSector() || disk == nullptr || !LoadCmnd(type, &c)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    c.regs.count = buf[0];
    if (type == TYPE_8BH_DYNAMIC_OPTMIZE) {
        c.regs.lba_low = buf[1];
    }
    return SendOnce(disk, &c, buf, len, CLOSE_CHECKED, user_err, sys_err);
}

bool ExecMaxAddress(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    AtaCmnd c;
    if (type < TYPE_READ_NATIVE_MAX_ADDRESS || type > TYPE_SET_MAX_ADDRESS_EXT || buf == nullptr ||
        len < LenMaxAddress() || disk == nullptr || !LoadCmnd(type, &c)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    MaxAddressRegs* max = reinterpret_cast<MaxAddressRegs*>(buf);
    const bool set = type == TYPE_SET_MAX_ADDRESS || type == TYPE_SET_MAX_ADDRESS_EXT;
    if (set) {
        c.regs.device |= max->device;
        c.regs.lba_low = max->lba_7_0;
        c.regs.lba_mid = max->lba_15_8;
        c.regs.lba_high = max->lba_23_16;
        c.prev.lba_low = max->lba_31_24;
        c.prev.lba_mid = max->lba_39_32;
        c.prev.lba_high = max->lba_47_40;
        c.regs.count = max->volatile_flag != 0 ? 1 : 0;
    }
    bool ok = set ? SendOnce(disk, &c, buf, len, CLOSE_CHECKED, user_err, sys_err)
                  : SendForRegisters(disk, &c, buf, len, CLOSE_CHECKED, user_err, sys_err);
    if (ok && !set) {
        max->device = c.regs.device;
        max->lba_7_0 = c.regs.lba_low;
        max->lba_15_8 = c.regs.lba_mid;
        max->lba_23_16 = c.regs.lba_high;
        max->lba_31_24 = c.prev.lba_low;
        max->lba_39_32 = c.prev.lba_mid;
        max->lba_47_40 = c.prev.lba_high;
    }
    return ok;
}

bool ExecWriteWearLevelTableAta(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    AtaCmnd c;
    if (type != TYPE_8CH_WRITE_WEAR_LEVEL_TABLE || buf == nullptr || len == 0 || len % SECTOR != 0 ||
        disk == nullptr || !LoadCmnd(type, &c) || c.sectors == 0 || c.sectors > 0xFF) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const u32 total = len / SECTOR;
    const u32 commands = (total + c.sectors - 1) / c.sectors;
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = true;
    for (u32 k = 0; k < commands && ok; k++) {
        const u32 lba = k * c.sectors;
        const u32 sectors = total - lba < c.sectors ? total - lba : c.sectors;
        const bool last = k + 1 == commands;
        AtaCmnd cmd = c;
        cmd.regs.count = static_cast<u8>(sectors);
        cmd.regs.lba_low = static_cast<u8>(lba);
        cmd.regs.lba_mid = static_cast<u8>(lba >> 8);
        // Bit 7 of LBA 23:16 tells the drive the table is complete.
        cmd.regs.lba_high = static_cast<u8>(((lba >> 16) & 0x7F) | (last ? 0x80 : 0));
        ok = Send(&handle, disk, &cmd, buf + static_cast<size_t>(lba) * SECTOR, sectors * SECTOR, user_err,
                  sys_err);
    }
    return CloseNode(&handle, CLOSE_CHECKED, ok, user_err, sys_err);
}

bool ExecRegisterAccess(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    AtaCmnd c;
    if ((type != TYPE_8AH_READ_REGISTER && type != TYPE_8BH_WRITE_REGISTER) || buf == nullptr ||
        len != sizeof(RegisterAccessBlock) || disk == nullptr || !LoadCmnd(type, &c)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    RegisterAccessBlock block;
    memcpy(&block, buf, sizeof(block));
    const u32 address = block.address;
    c.regs.lba_low = static_cast<u8>(address);
    c.regs.lba_mid = static_cast<u8>(address >> 8);
    c.regs.lba_high = static_cast<u8>(address >> 16);
    c.regs.device = static_cast<u8>((address >> 24) & 0x0F);
    const u8 count_hi = static_cast<u8>((address >> 28) << 4);

    if (type == TYPE_8BH_WRITE_REGISTER) {
        c.regs.count = static_cast<u8>(count_hi | 1);
        return SendOnce(disk, &c, buf, len, CLOSE_QUIET, user_err, sys_err);
    }

    c.regs.count = static_cast<u8>(count_hi | (block.width & 0x0F));
    if (!SendForRegisters(disk, &c, buf, len, CLOSE_QUIET, user_err, sys_err)) {
        return false;
    }
    u32 value = static_cast<u32>(c.regs.count) << 24 | static_cast<u32>(c.regs.lba_high) << 16 |
                static_cast<u32>(c.regs.lba_mid) << 8 | c.regs.lba_low;
    if (block.width == 1) {
        value &= 0xFF;
    } else if (block.width == 2) {
        value &= 0xFFFF;
    }
    block.value = value;
    memcpy(buf, &block, sizeof(block));
    return true;
}

bool ExecWriteCurrentTime(int type, DiskInfo* disk, u8* /*buf*/, u32 /*len*/, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    AtaCmnd c;
    if (type != TYPE_8CH_WRITE_CURRENT_TIME || disk == nullptr || !LoadCmnd(type, &c)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    u8 sector[SECTOR];
    memset(sector, 0, sizeof(sector));
    const std::string now = GetDateStr() + " " + GetTimeStrMs(':');
    memcpy(sector, now.data(), now.size() < sizeof(sector) ? now.size() : sizeof(sector) - 1);
    return SendOnce(disk, &c, sector, sizeof(sector), CLOSE_QUIET, user_err, sys_err);
}
