#include "cmd_runner.h"

#include <cstdio>
#include <cstring>

#include "cmd_resp_log.h"
#include "console_input.h"
#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "file_utils.h"
#include "front_state.h"
#include "msg_processor.h"
#include "settings.h"
#include "workflow_common.h"

const AtaScsiTypePair ata_scsi_type_map[kAtaScsiTypeMapRows] = {
    {TYPE_IDENTIFY_DEVICE, TYPE_IDENTIFY_DEVICE},
    {TYPE_SMART_RETURN_STATUS, TYPE_SMART_RETURN_STATUS},
    {TYPE_SMART_ENABLE, TYPE_SMART_ENABLE},
    {TYPE_SMART_DISABLE, TYPE_SMART_DISABLE},
    {TYPE_SMART_VALUE_THRES, TYPE_4DH_SMART_VALUE},
    {TYPE_SMART_THRESHOLD, TYPE_4DH_SMART_THRESHOLD},
    {TYPE_SMART_LOG_DIRECTORY, TYPE_SMART_LOG_DIRECTORY},
    {TYPE_SMART_SUMMARY_ERROR_LOG, TYPE_SMART_SUMMARY_ERROR_LOG},
    {TYPE_SMART_COMPREHENSIVE_ERR_LOG, TYPE_SMART_COMPREHENSIVE_ERR_LOG},
    {TYPE_SMART_EXTEND_COMPRE_ERR_LOG, TYPE_4DH_INFORMATIONAL_EXCEPTIONS},
    {TYPE_SMART_SELF_TEST_LOG, TYPE_4DH_SELF_TEST_RESULTS},
    {TYPE_SMART_EXTEND_SELF_TEST_LOG, TYPE_4DH_INFORMATIONAL_EXCEPTIONS},
    {TYPE_SMART_DEVICE_VENDOR_SPECIFIC, TYPE_4DH_READNVSRAM_LOG},
    {TYPE_SMART_PEND_LIST, TYPE_3CH_PEND_LIST_TABLE},
    {TYPE_89H_DEVICE_VENDOR_LOG, TYPE_4DH_READNVSRAM_LOG},
    {TYPE_SET_FORMAT_UNIT, TYPE_04H_SET_FORMAT_UNIT},
    {TYPE_89H_SYSTEM_INDEX_TABLE, TYPE_C0H_SYSTEM_BLOCK_TABLE},
    {TYPE_89H_BLANK_BLOCK_TABLE, TYPE_3CH_CUR_BLANK_BLOCK_TABLE},
    {TYPE_89H_BLANK_BLOCK_COUNT_TABLE, TYPE_C0H_BLANK_BLOCK_COUNT},
    {TYPE_89H_SMALL_BLOCK_TABLE, TYPE_C0H_BLOCK_INFO_TABLE},
    {TYPE_89H_SMART_BLOCK, TYPE_4DH_SMART_VALUE},
    {TYPE_89H_SMART_LOG, TYPE_4DH_READNVSRAM_LOG},
    {TYPE_89H_WEAR_LEVEL_TABLE, TYPE_C0H_GET_WEAR_LEVEL_TABLE},
    {TYPE_89H_BAD_BLOCK_TABLE, TYPE_37H_GROWN_DEFECT_DATA},
    {TYPE_89H_MAP_TABLE, TYPE_C0H_MAP_TABLE},
    {TYPE_92H_DOWNLOAD_MICROCODE, TYPE_3BH_DOWNLOAD_MICROCODE},
    {TYPE_ORIGINAL_BAD_BLOCK_TABLE, TYPE_37H_PRIMARY_DEFECT_DATA},
    {TYPE_ORIGINAL_BAD_BLOCK_TABLE_2, TYPE_37H_PRIMARY_DEFECT_DATA},
    {TYPE_8CH_WRITE_CURRENT_TIME, TYPE_A4H_SET_TIME_STAMP},
    {TYPE_89H_DEVICE_ALL_VENDOR_LOG, TYPE_4DH_READNVALL_LOG},
    {TYPE_8AH_GET_DISK_STRUCTURE, TYPE_C0H_DISK_BASIC_INFO},
    {TYPE_8AH_GET_DISK_STATUS, TYPE_3CH_ERASE_BASE_STATUS_TBL},
};

const RunnerMessage exec_ok_messages[kExecOkMessageRows] = {
    {TYPE_8BH_WRITE_REGISTER, "%sRegister set successfully!\n"},
    {TYPE_C1H_CLEAN_SMART, "%sClean SMART successfully!\n"},
    {TYPE_C0H_SET_DISK_WWN, "%sNew WWN set successfully!\n"},
    {TYPE_C0H_SET_DISK_SN, "%sNew SN set successfully!\n"},
    {TYPE_C0H_SET_DISK_MODEL, "%sNew Model set successfully!\n"},
    {TYPE_C1H_START_CAPACITANCE_STATUS, "%sCapacitance Status Start set successfully!\n"},
    {TYPE_C1H_SET_DISK_FLAG, "%sNew Flag set successfully!\n"},
};

const RunnerMessage no_data_ok_texts[kNoDataOkTextRows] = {
    {TYPE_SET_FORMAT_UNIT, "\n    Set Format Unit OK!"},
    {TYPE_SET_TRIM_FLAG, "\n    Set Trim Flag OK!"},
    {TYPE_4DH_SET_POWER_OFF_PROTECT, "\n    Set Power-Off Protect OK!"},
    {TYPE_04H_SET_FORMAT_UNIT, "\n    Set Format Unit OK!"},
};

const SetValueItem set_value_items[kSetValueItemRows] = {
    {TYPE_C0H_SET_DISK_WWN, "%sPlease input New WWN: ", 16},
    {TYPE_C0H_SET_DISK_SN, "%sPlease input New SN: ", 20},
    {TYPE_C0H_SET_DISK_MODEL, "%sPlease input New Model: ", 16},
    {TYPE_C1H_SET_DISK_FLAG, "%sPlease input New Flag: ", 8},
};

const SetValueItem* findSetValueItem(u32 type)
{
    for (const SetValueItem& item : set_value_items) {
        if (item.type == type) {
            return &item;
        }
    }
    return nullptr;
}

u32 mapAtaTypeToScsiType(u32 type)
{
    for (const AtaScsiTypePair& row : ata_scsi_type_map) {
        if (row.ata_type == type) {
            return row.scsi_type;
        }
    }
    return type;
}

bool usesVendorLogOptions(u32 type)
{
    static const u32 types[] = {
        TYPE_SMART_DEVICE_VENDOR_SPECIFIC, TYPE_89H_DEVICE_VENDOR_LOG, TYPE_89H_DEVICE_ALL_VENDOR_LOG,
        TYPE_4DH_READNVSRAM_LOG,           TYPE_4DH_READFLASH_LOG,     TYPE_4DH_READCURRENT_LOG,
        TYPE_4DH_READNVALL_LOG,            TYPE_C0H_INQUIRE_DISK_WWN,  TYPE_C0H_INQUIRE_DISK_SN,
        TYPE_C0H_INQUIRE_DISK_MODEL,       TYPE_C0H_GET_CAPACITANCE_RESULT, TYPE_C0H_GET_DISK_FLAG,
        TYPE_C0H_GET_DISK_SPEED,
    };
    for (u32 t : types) {
        if (t == type) {
            return true;
        }
    }
    return false;
}

u32 buildVendorLogOptions(u32 type, u32 smart_ver, bool data_gradation)
{
    u32 order = data_gradation ? 0 : 1;
    if (type == TYPE_4DH_READCURRENT_LOG) {
        order = 7;
    }
    return (smart_ver << 8) | order;
}

bool hasResultHeader(u32 type)
{
    return type == TYPE_SMART_VALUE_THRES || type == TYPE_SMART_THRESHOLD ||
           type == TYPE_SMART_DEVICE_VENDOR_SPECIFIC || type == TYPE_89H_DEVICE_VENDOR_LOG;
}

std::string buildResultHeader(const DiskInfo& disk, const std::string& host_name,
                              const std::vector<std::string>& ip_list)
{
    const std::string indent = msg_indent;
    std::string h;
    h += indent + "Model      : " + disk.model + "\n";
    h += indent + "Serial     : " + disk.serial + "\n";
    h += indent + "Firmware   : " + disk.firmware + "\n";
    h += indent + "Capacity   : " + std::to_string(disk.capacity_gb) + "GB\n";
    h += indent + "Host Name  : " + host_name + "\n";
    for (const std::string& ip : ip_list) {
        h += indent + "IP Address : " + ip + "\n";
    }
    h += "\n";
    return h;
}

namespace {

// How the preparation and execution steps end.
enum class RunEnd {
    kSilent,  // a prerequisite query failed: no output step, no flush
    kOutput,  // on to the output step
};

struct Run {
    u32 type;
    u32 options_word;
    bool map_type;
    bool register_in_use = false;
    bool exec_ok = false;
    bool raw_name_refused = false;
    // Bytes of the response buffer the drive filled; only these are decoded.
    u32 answer_len = 0;
    std::string text;
};

bool InList(u32 type, const u32* list, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (list[i] == type) {
            return true;
        }
    }
    return false;
}

bool NeedsDiskGeometry(u32 type)
{
    static const u32 types[] = {TYPE_C0H_BLANK_BLOCK_COUNT, TYPE_C0H_CMD_QUEUE_INFO, TYPE_C0H_BLOCK_INFO_TABLE,
                                TYPE_C0H_GET_WEAR_LEVEL_TABLE, TYPE_C0H_GET_BAD_PAGE};
    return InList(type, types, sizeof(types) / sizeof(types[0]));
}

bool NeedsDiskStructure(u32 type)
{
    return (type >= TYPE_89H_SYSTEM_INDEX_TABLE && type <= TYPE_89H_SMALL_BLOCK_COUNT_TABLE) ||
           type == TYPE_89H_WEAR_LEVEL_TABLE || type == TYPE_89H_BAD_BLOCK_TABLE ||
           type == TYPE_89H_FLAG_BLOCK_TABLE;
}

bool NeedsDiskStatus(u32 type)
{
    return type == TYPE_89H_SYSTEM_INDEX_TABLE || type == TYPE_89H_WEAR_LEVEL_TABLE ||
           type == TYPE_89H_BAD_BLOCK_TABLE;
}

bool BufferHeld() { return data_buf != nullptr && data_len > 0; }


const char* FindMessage(const RunnerMessage* rows, u32 n, u32 type)
{
    for (u32 i = 0; i < n; i++) {
        if (rows[i].type == type) {
            return rows[i].text;
        }
    }
    return nullptr;
}

// Vendor logs go into "SSDlog" when this run uses it. The prefixed name is built apart from the old
// one, and a name that would not fit is refused rather than cut.
void PrefixLogDir(Run* run)
{
    if (!UseLogDir()) {
        return;
    }
    static const char prefix[] = "SSDlog/";
    char name[sizeof(bin_file_name)];
    int n = snprintf(name, sizeof(name), "%s%s", prefix, bin_file_name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(name)) {
        run->raw_name_refused = true;
        if (output_flags.save_original_binary) {
            printf("%sOriginal binary data can't be saved: the file name under SSDlog/ is too long\n",
                   msg_indent);
        }
        return;
    }
    memcpy(bin_file_name, name, static_cast<size_t>(n) + 1);
}

// Reads one prerequisite answer into the response buffer and copies its first dst_size
// bytes to dst. False when its length query or read fails, or when the drive sent fewer
// bytes than are copied: fill that no drive sent is no record.
bool ReadIntoDataBuf(u32 type, void* dst, size_t dst_size, bool* len_ok)
{
    int user_err = 0;
    int sys_err = 0;
    u32 len = 0;
    *len_ok = DiskCmnd::GetDataLen(type, &cur_disk, &len, &user_err, &sys_err);
    if (!*len_ok) {
        return false;
    }
    allocDataBuf(len);
    if (!DiskCmnd::Execute(type, &cur_disk, data_buf, data_len, &user_err, &sys_err) || data_buf == nullptr ||
        DiskCmnd::ReceivedLen() < dst_size) {
        return false;
    }
    memcpy(dst, data_buf, dst_size);
    return true;
}

// Steps before the execution that read what the type needs from the drive.
bool ReadPrerequisites(u32 type, bool* skip_status)
{
    bool len_ok = false;
    if (NeedsDiskGeometry(type) &&
        !ReadIntoDataBuf(TYPE_C0H_DISK_BASIC_INFO, &disk_geometry, sizeof(disk_geometry), &len_ok)) {
        return false;
    }
    if (NeedsDiskStructure(type) &&
        !ReadIntoDataBuf(TYPE_8AH_GET_DISK_STRUCTURE, &disk_structure, sizeof(disk_structure), &len_ok)) {
        if (!len_ok) {
            return false;
        }
        // A read that failed or came back short: the model's own structure, and no status.
        setDiskStructureByModel(&cur_disk);
        *skip_status = true;
    }
    if (NeedsDiskStatus(type) && !*skip_status) {
        int user_err = 0;
        int sys_err = 0;
        u32 len = 0;
        if (!DiskCmnd::GetDataLen(TYPE_8AH_GET_DISK_STATUS, &cur_disk, &len, &user_err, &sys_err)) {
            return false;
        }
        std::vector<u8> status(len);
        if (len > 0 &&
            DiskCmnd::Execute(TYPE_8AH_GET_DISK_STATUS, &cur_disk, status.data(), len, &user_err, &sys_err) &&
            DiskCmnd::ReceivedLen() >= sizeof(disk_status)) {
            memcpy(&disk_status, status.data(), sizeof(disk_status));
        }
    }
    return true;
}

// Asks a number at a runner prompt; false at the end of input or "q", which end the run unsent.
bool AskNumber(const char* format, int base, u32 max, u32* value)
{
    char prompt[256];
    snprintf(prompt, sizeof(prompt), format, msg_indent);
    fputs(prompt, stdout);
    fflush(stdout);
    inputNumber32(nullptr, value, true, prompt, true, base, max, true);
    return !consoleAnswerQuit();
}

bool AskNvramRange(u32* address, u32* length)
{
    if (!AskNumber("%sinput NVRAM address(HEX): 0x", 16, 0x1FFFF, address)) {
        return false;
    }
    for (;;) {
        if (!AskNumber("%sinput NVRAM lenth(HEX): 0x", 16, 0x1FFFF, length)) {
            return false;
        }
        if (*length != 0) {
            break;
        }
        consoleRefuseAnswer();
    }
    return true;
}

bool AskRegisterAccess(u32 type, RegisterAccessBlock* reg)
{
    if (!AskNumber("%sInput R2 Register Addr(Hex) : 0x", 16, 0xFFFFFFFF, &reg->address) ||
        !AskNumber("%sInput R2 Register Width(1/2/4) : ", 10, 5, &reg->width)) {
        return false;
    }
    if (type == TYPE_8BH_WRITE_REGISTER) {
        if (!AskNumber("%sInput R2 Register Value(Hex) : 0x", 16, 0xFFFFFFFF, &reg->value) ||
            !AskNumber("%sSave To Disk (0=No or 1=Yes) : ", 10, 1, &reg->save_to_disk)) {
            return false;
        }
    }
    return true;
}

// Puts the new WWN, SN, model or flag into the buffer; false when no acceptable value was given.
// Typed or from the command line, a value holds exactly the data length: one cut or padded
// would be written to the drive as nobody gave it.
bool FillSetValue(const SetValueItem& item)
{
    if (!set_value_given) {
        printf(item.prompt, msg_indent);
        fflush(stdout);
        char line[kConsoleLineSize];
        if (!readConsoleLine(line, sizeof(line))) {
            return false;
        }
        // The reader refuses the other control bytes; a tab is no character of a value either.
        if (strlen(line) != item.length || strchr(line, '\t') != nullptr) {
            consoleRefuseAnswer();
            return false;
        }
        memset(set_value, 0, sizeof(set_value));
        memcpy(set_value, line, item.length);
    }
    set_value_given = 0;
    if (strnlen(set_value, sizeof(set_value)) != item.length) {
        return false;
    }
    if (data_buf != nullptr) {
        size_t copy = item.length < data_len ? item.length : data_len;
        memset(data_buf, 0, data_len);
        memcpy(data_buf, set_value, copy);
    }
    return true;
}

bool AskRemoveLog()
{
    printf("%sRemove Log?(Y/N): ", msg_indent);
    fflush(stdout);
    char line[kConsoleLineSize];
    return readConsoleLine(line, sizeof(line)) && (line[0] == 'y' || line[0] == 'Y');
}

RunEnd RunSmartPair(Run* run)
{
    int user_err = 0;
    int sys_err = 0;
    u32 len_value = 0;
    u32 len_thres = 0;
    if (!DiskCmnd::GetDataLen(TYPE_SMART_VALUE_THRES, &cur_disk, &len_value, &user_err, &sys_err) ||
        !DiskCmnd::GetDataLen(TYPE_SMART_THRESHOLD, &cur_disk, &len_thres, &user_err, &sys_err) ||
        static_cast<u64>(len_value) + len_thres > 0xFFFFFFFFull) {
        // A buffer still held from an earlier silent return must not reach the output step.
        freeDataBuf();
        puts("    Query SMART Value/Threshold's data length failed");
        return RunEnd::kOutput;
    }
    allocDataBuf(len_value + len_thres);
    u8* thres = data_buf != nullptr ? data_buf + len_value : nullptr;
    if (!DiskCmnd::Execute(TYPE_SMART_VALUE_THRES, &cur_disk, data_buf, len_value, &user_err, &sys_err) ||
        !DiskCmnd::Execute(TYPE_SMART_THRESHOLD, &cur_disk, thres, len_thres, &user_err, &sys_err)) {
        PrintCmdFailure("Query SMART Value/Threshold failed", user_err, sys_err);
        freeDataBuf();
        return RunEnd::kOutput;
    }
    run->exec_ok = true;
    run->answer_len = data_len;
    return RunEnd::kOutput;
}

// Steps up to the execution and its messages.
RunEnd PrepareAndExecute(Run* run)
{
    const u32 type = run->type;
    if (type == TYPE_89H_DEVICE_VENDOR_LOG || type == TYPE_4DH_READCURRENT_LOG) {
        PrefixLogDir(run);
    }
    bool skip_status = false;
    if (!ReadPrerequisites(type, &skip_status)) {
        return RunEnd::kSilent;
    }
    if ((type == TYPE_4CH_ERASENVSRAM_LOG || type == TYPE_4CH_ERASEFLASH_LOG) && !AskRemoveLog()) {
        freeDataBuf();
        return RunEnd::kOutput;
    }
    if (type == TYPE_SMART_VALUE_THRES) {
        return RunSmartPair(run);
    }

    int user_err = 0;
    int sys_err = 0;
    u32 len = 0;
    u32 nvram_address = 0;
    if (type == TYPE_C0H_NVRAM_DATA) {
        freeDataBuf();
        if (!AskNvramRange(&nvram_address, &len)) {
            return RunEnd::kOutput;
        }
        // The read address travels in the first four bytes, so the buffer is never shorter.
        if (len < 4) {
            len = 4;
        }
    } else if (!DiskCmnd::GetDataLen(type, &cur_disk, &len, &user_err, &sys_err)) {
        freeDataBuf();
        PrintCmdFailure("Query data length failed", user_err, sys_err);
        return RunEnd::kOutput;
    }
    allocDataBuf(len);

    if (type == TYPE_C0H_NVRAM_DATA && data_len >= 4) {
        for (int i = 0; i < 4; i++) {
            data_buf[i] = static_cast<u8>(nvram_address >> (8 * i));
        }
    }
    bool register_read = false;
    if (type == TYPE_8AH_READ_REGISTER || type == TYPE_8BH_WRITE_REGISTER) {
        // From here on nothing of this run is saved, decoded or shown but the register lines.
        run->register_in_use = true;
        RegisterAccessBlock block;
        memset(&block, 0, sizeof(block));
        if (data_len < sizeof(block) || !AskRegisterAccess(type, &block)) {
            freeDataBuf();
            return RunEnd::kOutput;
        }
        memcpy(data_buf, &block, sizeof(block));
        register_read = type == TYPE_8AH_READ_REGISTER;
    }
    const SetValueItem* set_item = findSetValueItem(type);
    if (set_item != nullptr && !FillSetValue(*set_item)) {
        freeDataBuf();
        return RunEnd::kOutput;
    }

    if (!DiskCmnd::Execute(type, &cur_disk, data_buf, data_len, &user_err, &sys_err)) {
        PrintCmdFailure("Query data failed", user_err, sys_err);
        freeDataBuf();
        return RunEnd::kOutput;
    }
    run->exec_ok = true;
    run->answer_len = DiskCmnd::ReceivedLen();
    if (register_read) {
        // The executor completes the record of a read in place.
        RegisterAccessBlock block;
        memcpy(&block, data_buf, sizeof(block));
        printf("%sRegister value :%08Xh\n", msg_indent, block.value);
    }
    const char* ok = FindMessage(exec_ok_messages, kExecOkMessageRows, type);
    if (ok != nullptr) {
        printf(ok, msg_indent);
    }
    if (set_item != nullptr) {
        freeDataBuf();
    }
    return RunEnd::kOutput;
}

void Decode(Run* run)
{
    if (BufferHeld() && !run->register_in_use) {
        int user_err = 0;
        void* ctx = &cur_disk;
        if (usesVendorLogOptions(run->type)) {
            ctx = &run->options_word;
        }
        // A short transfer leaves zero fill behind the answer; it is no part of what the drive said.
        if (!DiskAnalyser::Analyse(run->text, static_cast<CMND_TYPE>(run->type), data_buf, run->answer_len,
                                   &user_err, 4, ctx)) {
            // A rejected answer is reported as such, never shown half-decoded.
            run->text.clear();
        }
        return;
    }
    const char* ok = FindMessage(no_data_ok_texts, kNoDataOkTextRows, run->type);
    if (ok != nullptr) {
        run->text = ok;
    }
}

void WriteOutput(Run* run)
{
    const bool held = BufferHeld() && !run->register_in_use;
    if (held && output_flags.save_original_binary && !run->raw_name_refused) {
        int user_err = 0;
        if (WriteFileData(bin_file_name, data_buf, data_len, "wb", &user_err)) {
            printf("    Original binary data is saved to %s\n", bin_file_name);
        } else {
            printf("    Original binary data can't be saved to %s, User Err Coode [%08Xh:%s]\n", bin_file_name,
                   static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str());
        }
    }
    if (run->text.empty()) {
        if (run->type == TYPE_A4H_SET_TIME_STAMP && run->exec_ok) {
            puts("Set Time Stamp OK!");
        } else if (held) {
            puts("    Current data's parse is unsupported or length is illegal");
        }
        return;
    }
    if (hasResultHeader(run->type)) {
        HostInfo host;
        run->text = buildResultHeader(cur_disk, host.host_name, host.ip_list) + run->text;
    }
    if (run->register_in_use) {
        return;
    }
    if (output_flags.save_parsed_text) {
        int user_err = 0;
        if (WriteFileData(txt_file_name, run->text.data(), static_cast<u32>(run->text.size()), "wt", &user_err)) {
            printf("    Parsed text data is saved to %s\n", txt_file_name);
        } else {
            printf("    Parsed text data can't be saved to %s, User Err Coode [%08Xh:%s]\n", txt_file_name,
                   static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str());
        }
    }
    if (output_flags.show_parsed_text) {
        fputs("\n", stdout);
        fwrite(run->text.data(), 1, run->text.size(), stdout);
    }
}

} // namespace

void executeCmd(u32 type)
{
    Run run;
    run.type = type;
    run.options_word = buildVendorLogOptions(type, cur_disk.smart_ver, data_gradation != 0);
    run.map_type = cur_disk.smart_ver == VER_K6410;

    if (PrepareAndExecute(&run) == RunEnd::kSilent) {
        return;
    }
    if (run.map_type) {
        run.type = mapAtaTypeToScsiType(run.type);
    }
    if (run.exec_ok) {
        Decode(&run);
    }
    WriteOutput(&run);
    fflush(stdout);
    freeDataBuf();
    CmdRespLog::GetInstance()->Flush();
}
