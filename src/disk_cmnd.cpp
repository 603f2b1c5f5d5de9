#include "disk_cmnd.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>

#include "cmd_resp_log.h"
#include "disk_info.h"
#include "drive_changes.h"
#include "msg_processor.h"
#include "scsi_cmnd_exec.h"
#include "vendor_cmnd_exec.h"

// Expands NULL before the condition is printed, so the message shows what the compiler saw.
#define ZV_CHECK_ROW_EXPANDED(cond, table, row, type) ZV_CHECK_ROW(cond, table, row, type)

std::map<int, DiskCmndFunc> map_list;

namespace {

// The buffer of the Execute that is running and how much of it the drive has filled so far.
struct ExecWindow {
    const u8* buf;
    u32 len;
    u32 received;
};

ExecWindow exec_window = {nullptr, 0, 0};
u32 last_received_len = 0;

bool Dispatch(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    std::map<int, DiskCmndFunc>::const_iterator it = map_list.find(type);
    if (it == map_list.end() || it->second.fun == nullptr) {
        return false;
    }
    if (type == TYPE_92H_DOWNLOAD_MICROCODE) {
        // One firmware download type for both families: ATA links run the 92h executor registered for 37,
        // SAS drives the WRITE BUFFER download registered for 67, with the same image.
        switch (disk->link_type) {
        case LINK_ATA:
        case LINK_ATA_BY_SCSI:
        case LINK_ATA_BY_FC:
            break;
        case LINK_SCSI: {
            std::map<int, DiskCmndFunc>::const_iterator wb = map_list.find(TYPE_3BH_DOWNLOAD_MICROCODE);
            if (wb == map_list.end() || wb->second.fun == nullptr) {
                return false;
            }
            return wb->second.fun(TYPE_3BH_DOWNLOAD_MICROCODE, disk, buf, len, user_err, sys_err);
        }
        default:
            return false;
        }
    }
    return it->second.fun(type, disk, buf, len, user_err, sys_err);
}

} // namespace

bool HasCatalogueRow(u32 type)
{
    return type < TYPE_BUTT && disk_spt_list[type].type == type && disk_spt_list[type].name != nullptr;
}

bool IsEmptyRow(const DiskSptItem& row)
{
    return row.type == 0 && row.name == nullptr &&
           std::all_of(std::begin(row.family_mask), std::end(row.family_mask), [](u32 m) { return m == 0; });
}

bool IsEmptyRow(const CmndTemplate& row)
{
    return row.type == 0 && std::all_of(std::begin(row.regs), std::end(row.regs), [](u8 b) { return b == 0; }) &&
           row.ext48 == 0 && row.dir == 0 && row.xfer == 0;
}

bool IsEmptyRow(const CmndFuncRow& row)
{
    return row.type == 0 && row.fun_len == nullptr && row.fun_len_param == nullptr && row.fun == nullptr;
}

bool IsEmptyRow(const CmndExecTypes& row) { return row.exec == nullptr && row.opcode == 0 && row.lists == nullptr; }

std::string CmndTypeLabel(u32 type)
{
    if (type == kEmptyRow) {
        return "none (an empty row)";
    }
    const std::string number = std::to_string(type);
    if (type == TYPE_BUTT) {
        return number + " (none)";
    }
    if (type > TYPE_BUTT) {
        return number + " (outside the catalogue)";
    }
    if (!HasCatalogueRow(type)) {
        return number + " (no catalogue row)";
    }
    return number + " \"" + disk_spt_list[type].name + "\"";
}

void ZvRowAssertFail(const char* cond, const char* table, size_t row, u32 type, const char* file, unsigned line,
                     const char* func)
{
    fflush(stdout);
    fprintf(stderr, "zembrovant: %s:%u: %s: Assertion `%s' failed: %s row %zu, command type %s.\n", file, line, func,
            cond, table, row, CmndTypeLabel(type).c_str());
    fflush(stderr);
    abort();
}

u32 LenNoData() { return 0; }
u32 LenSector() { return 512; }
u32 LenInquiry() { return cmnd_template_list[TYPE_12H_INQUIRY].xfer >> 8; }
u32 LenReadCapacity() { return cmnd_template_list[TYPE_25H_READ_CAPACITY].xfer >> 8; }
u32 LenInquiryExtended() { return 64; }
u32 LenSupportedLogPages() { return 18; }
u32 LenWriteErrCounter() { return 0x70; }
u32 LenReadErrCounter() { return 0x64; }
u32 LenVerifyErrCounter() { return 88; }
u32 LenNonMediumErr() { return 16; }
u32 LenTemperature() { return 16; }
u32 LenSelfTestResults() { return 0x194; }
u32 LenProtocolPortLogPage() { return 0x7C; }
u32 LenSetTimeStamp() { return 12; }
u32 LenPendListTable() { return 0x400; }
u32 LenL2pTable() { return LenL2pTableExtra() + 0x9200000; }
u32 LenL2pTableExtra() { return 0x58000; }
u32 LenBlockInfoTable() { return 0x1000000; }
u32 LenBlockInfoChainTable() { return 0x800000; }
u32 LenChainHeadTailPtrTbl() { return 0x20000; }
u32 LenEraseBaseStatusTbl() { return 0x800; }
u32 LenCurBlankBlockTable() { return 0x400; }
u32 LenBlankBlockCount() { return 256; }
u32 LenNvramData() { return 0x20000; }
u32 LenDiskBasicInfo() { return 28; }
u32 LenDiskIoInfo() { return 64; }
u32 LenMaxAddress() { return 9; }
u32 LenDiskWwn() { return 16; }
u32 LenDiskSn() { return 20; }
u32 LenCapacitanceResult() { return 4; }
u32 LenDiskFlag() { return 8; }

void DiskCmnd::Init()
{
    for (int type = 0; type < TYPE_BUTT; type++) {
        const CmndFuncRow& row = cmnd_func_list[type];
        map_list.insert(std::make_pair(type, DiskCmndFunc{row.fun_len, row.fun_len_param, row.fun}));
    }
    Check();
}

void DiskCmnd::Check()
{
    ZV_CHECK_EQ((unsigned int)TYPE_BUTT, (unsigned int)(map_list.size()));
    for (size_t i = 0; i < (size_t)TYPE_BUTT; i++) {
        ZV_CHECK_ROW(!IsEmptyRow(disk_spt_list[i]), "disk_spt_list", i, kEmptyRow);
        ZV_CHECK_ROW(i == (size_t)(disk_spt_list[i].type), "disk_spt_list", i, i);
        std::map<int, DiskCmndFunc>::const_iterator it = map_list.find((int)i);
        ZV_CHECK_ROW(it != map_list.end(), "map_list", i, i);
        ZV_CHECK_ROW_EXPANDED(!( (NULL != it->second.fun_len) && (NULL != it->second.fun_len_param)), "map_list", i, i);
    }
    const std::vector<CmndExecTypes> lists = ExecTypeLists();
    CheckTables(CmndTables{disk_spt_list, cmnd_template_list, cmnd_func_list, lists.data(), lists.size()});
}

std::vector<CmndExecTypes> DiskCmnd::ExecTypeLists()
{
    std::vector<CmndExecTypes> lists(scsi_exec_types, scsi_exec_types + scsi_exec_type_count);
    lists.insert(lists.end(), vendor_exec_types, vendor_exec_types + vendor_exec_type_count);
    return lists;
}

void DiskCmnd::CheckTables(const CmndTables& tables)
{
    for (size_t i = 0; i < (size_t)TYPE_BUTT; i++) {
        ZV_CHECK_ROW(!IsEmptyRow(tables.spt[i]), "disk_spt_list", i, kEmptyRow);
        ZV_CHECK_ROW(i == (size_t)(tables.spt[i].type), "disk_spt_list", i, i);
        // The name is shown in menus and the usage text and goes into file names.
        ZV_CHECK_ROW(tables.spt[i].name != nullptr && tables.spt[i].name[0] != '\0', "disk_spt_list", i, i);
        ZV_CHECK_ROW(!IsEmptyRow(tables.templates[i]), "cmnd_template_list", i, kEmptyRow);
        ZV_CHECK_ROW(i == (size_t)(tables.templates[i].type), "cmnd_template_list", i, i);
        ZV_CHECK_ROW(!IsEmptyRow(tables.funcs[i]), "cmnd_func_list", i, kEmptyRow);
        ZV_CHECK_ROW(i == (size_t)(tables.funcs[i].type), "cmnd_func_list", i, i);
    }
    for (size_t n = 0; n < tables.exec_type_count; n++) {
        const CmndExecTypes& list = tables.exec_types[n];
        ZV_CHECK_ROW(!IsEmptyRow(list), "executor lists", n, kEmptyRow);
        ZV_CHECK_ROW(list.exec != nullptr && list.lists != nullptr, "executor lists", n, TYPE_BUTT);
        for (size_t i = 0; i < (size_t)TYPE_BUTT; i++) {
            const bool registered = tables.funcs[i].fun == list.exec;
            const bool listed = list.lists((int)i);
            ZV_CHECK_ROW(!registered || listed, "executor lists", n, i);
            ZV_CHECK_ROW(!listed || registered, "executor lists", n, i);
            ZV_CHECK_ROW(!listed || list.opcode == kAnyOpcode || list.opcode == tables.templates[i].regs[0],
                         "executor lists", n, i);
        }
    }
}

bool DiskCmnd::GetDataLen(int type, DiskInfo* disk, u32* len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    u8 scratch[512];
    memset(scratch, 0, sizeof(scratch));

    std::map<int, DiskCmndFunc>::const_iterator it = map_list.find(type);
    if (it == map_list.end()) {
        return false;
    }
    if (it->second.fun_len != nullptr) {
        *len = it->second.fun_len();
        *user_err = USER_ERR_NO_ERROR;
        *sys_err = 0;
        return true;
    }
    if (it->second.fun_len_param == nullptr) {
        return false;
    }
    bool ok = it->second.fun_len_param(type + CMND_LEN_QUERY, disk, scratch, sizeof(scratch), user_err, sys_err);
    // Taken whatever the result; callers use it only on success.
    u32 asked = 0;
    memcpy(&asked, scratch, sizeof(asked));
    *len = asked;
    return ok;
}

bool DiskCmnd::GetDataLenQuiet(int type, DiskInfo* disk, u32* len)
{
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    return GetDataLen(type, disk, len, &user_err, &sys_err);
}

bool DiskCmnd::Execute(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    // What goes out to change a drive is on file before, while and after it is sent.
    std::optional<LogWriteThrough> through;
    if (type >= 0 && ChangesDrive(static_cast<u32>(type))) {
        through.emplace();
    }
    const ExecWindow outer = exec_window;
    exec_window = {buf, len, len};
    bool ok = Dispatch(type, disk, buf, len, user_err, sys_err);
    last_received_len = exec_window.received;
    exec_window = outer;
    return ok;
}

bool DiskCmnd::ExecuteQuiet(int type, DiskInfo* disk, u8* buf, u32 len)
{
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    return Execute(type, disk, buf, len, &user_err, &sys_err);
}

u32 DiskCmnd::ReceivedLen() { return last_received_len; }

void DiskCmnd::NoteResidual(const u8* data, u32 n, u32 resid)
{
    if (resid == 0 || exec_window.buf == nullptr || data == nullptr) {
        return;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(exec_window.buf);
    const uintptr_t at = reinterpret_cast<uintptr_t>(data);
    if (at < start || at - start >= exec_window.len) {
        return;
    }
    const u32 offset = static_cast<u32>(at - start);
    const u32 asked = std::min(n, exec_window.len - offset);
    // A residual beyond the request leaves nothing trusted.
    const u32 sent = resid < asked ? asked - resid : 0;
    exec_window.received = std::min(exec_window.received, offset + sent);
}
