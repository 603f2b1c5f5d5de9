#include "vendor_tools.h"

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ata_cmnd_exec.h"
#include "cmd_resp_log.h"
#include "console_input.h"
#include "decode_util.h"
#include "disk_cmnd.h"
#include "disk_info.h"
#include "drive_select.h"
#include "front_state.h"
#include "fw_download.h"
#include "msg_processor.h"
#include "settings.h"
#include "workflow_common.h"

const MaxAddressModel max_address_models[kMaxAddressModelRows] = {
    {"QUMA-K4410TR0050", false},
    {"QUMA-K4410TR0100", false},
    {"QUMA-K4410TN0100", false},
    {"QUMA-K4410TN0032", false},
    {"QUMA-K4410TN0200", true},
};

const VendorSwitch vendor_switch_list[kVendorSwitchRows] = {
    {TYPE_8BH_READ_TABLE_SWITCH, "%sSwitch Read Table On/Off : [0=Off, 1=On, 2=Quit]", "%sRead Table has switched to %s"},
    {TYPE_8BH_64CE_ON_OFF_SWITCH, "%sSwitch 64 CE On/Off : [0=Off, 1=On, 2=Quit]", "%s64 CE has switched to %s"},
};

void lbaToTaskfile(u8* regs, u64 lba, bool ext48)
{
    regs[7] = ext48 ? 1 : 0;
    regs[0] = static_cast<u8>(lba);
    regs[2] = static_cast<u8>(lba >> 8);
    regs[4] = static_cast<u8>(lba >> 16);
    if (ext48) {
        regs[1] = static_cast<u8>(lba >> 24);
        regs[3] = static_cast<u8>(lba >> 32);
        regs[5] = static_cast<u8>(lba >> 40);
        regs[6] = 0;
    } else {
        regs[1] = 0;
        regs[3] = 0;
        regs[5] = 0;
        regs[6] = static_cast<u8>((lba >> 24) & 0x0F);
    }
}

u64 taskfileToLba(const u8* regs)
{
    u64 lba = regs[0] | static_cast<u64>(regs[2]) << 8 | static_cast<u64>(regs[4]) << 16;
    if (regs[7] != 0) {
        lba |= static_cast<u64>(regs[1]) << 24 | static_cast<u64>(regs[3]) << 32 | static_cast<u64>(regs[5]) << 40;
    } else {
        lba |= static_cast<u64>(regs[6] & 0x0F) << 24;
    }
    return lba;
}

bool maxAddressWidth(const std::string& model, bool* ext48)
{
    for (const MaxAddressModel& row : max_address_models) {
        if (model.find(row.name) != std::string::npos) {
            *ext48 = row.ext48;
            return true;
        }
    }
    return false;
}

bool computeMagnify(u64 write_pages, u64 moved_pages, MagnifyFigures* out)
{
    if (write_pages == 0) {
        return false;
    }
    const float root = std::sqrt(static_cast<float>(moved_pages));
    out->root = root;
    out->coefficient = static_cast<long double>(root) / static_cast<long double>(write_pages) + 1.0L;
    const float disk = static_cast<float>(write_pages) + root;
    // A float of 2^64 or more has no u64 value; such a count saturates.
    const float limit = 18446744073709551616.0f;
    out->disk_write_pages = disk >= limit ? ~0ull : static_cast<u64>(disk);
    return true;
}

namespace {

void PrintQueryFailed(int user_err, int sys_err) { PrintCmdFailure("Query data length failed", user_err, sys_err); }

void EndTool()
{
    freeDataBuf();
    fflush(stdout);
    CmdRespLog::GetInstance()->Flush();
}

// Sizes data_buf for the type by its length query; a failure is reported.
bool AllocFor(u32 type)
{
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    u32 len = 0;
    if (!DiskCmnd::GetDataLen(static_cast<int>(type), &cur_disk, &len, &user_err, &sys_err)) {
        PrintQueryFailed(user_err, sys_err);
        return false;
    }
    allocDataBuf(len);
    return true;
}

// Runs the type on data_buf; a failure is reported.
bool RunOnDataBuf(u32 type)
{
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    if (!DiskCmnd::Execute(static_cast<int>(type), &cur_disk, data_buf, data_len, &user_err, &sys_err)) {
        PrintQueryFailed(user_err, sys_err);
        return false;
    }
    return true;
}

// A buffer too short for what the tool puts into it is reported as the drive's refusal would be.
bool DataBufHolds(u32 n)
{
    if (data_buf != nullptr && data_len >= n) {
        return true;
    }
    PrintQueryFailed(USER_ERR_ILLEGAL_PARAM, 0);
    return false;
}

std::string Prompt(const char* format)
{
    char prompt[256];
    snprintf(prompt, sizeof(prompt), format, msg_indent);
    fputs(prompt, stdout);
    fflush(stdout);
    return prompt;
}

// The numeric questions; false when the operator quits (the end of input or "q").
bool Ask32(const char* format, int base, u32 max, u32* value)
{
    const std::string prompt = Prompt(format);
    inputNumber32(nullptr, value, true, prompt.c_str(), true, base, max, true);
    return !consoleAnswerQuit();
}

bool Ask64(const char* format, int base, u64 max, u64* value)
{
    const std::string prompt = Prompt(format);
    inputNumber64(nullptr, value, true, prompt.c_str(), true, base, max, true);
    return !consoleAnswerQuit();
}

// ---------------------------------------------------------------- eye chart

const u32 kRegisterWordsLen = offsetof(RegisterAccessBlock, reserved);

// Only the four words of the block are set; the rest of the buffer stays as sized and cleared.
void PutRegisterWords(u32 value, u32 save_to_disk, u32 address)
{
    RegisterAccessBlock block;
    block.width = 2;
    block.value = value;
    block.save_to_disk = save_to_disk;
    block.address = address;
    memcpy(data_buf, &block, kRegisterWordsLen);
}

bool ReadEyeRegister(u32 address, u32* value)
{
    if (!DataBufHolds(kRegisterWordsLen)) {
        return false;
    }
    PutRegisterWords(0, 0, address);
    if (!RunOnDataBuf(TYPE_8AH_READ_REGISTER)) {
        return false;
    }
    RegisterAccessBlock block;
    memcpy(&block, data_buf, kRegisterWordsLen);
    *value = block.value;
    return true;
}

bool WriteEyeRegister(u32 address, u32 value, u32 save_to_disk)
{
    if (!DataBufHolds(kRegisterWordsLen)) {
        return false;
    }
    PutRegisterWords(value, save_to_disk, address);
    return RunOnDataBuf(TYPE_8BH_WRITE_REGISTER);
}

void QueryEyeChart()
{
    u32 amplitude = 0;
    u32 emphasis = 0;
    if (!ReadEyeRegister(kTxAmplitudeReg, &amplitude) || !ReadEyeRegister(kTxEmphasisReg, &emphasis)) {
        return;
    }
    printf("%sCurrent Eye Chart Values\n", msg_indent);
    printf("%s3.0 Gb/s Tx Amplitude Control : %04Xh\n", msg_indent, amplitude & 0xFFFF);
    printf("%s3.0 Gb/s Tx Emphasis          : %04Xh\n", msg_indent, emphasis & 0xFFFF);
    printf("\n");
}

void SetEyeChart()
{
    u32 amplitude = 0;
    u32 emphasis = 0;
    u32 permanent = 0;
    if (!Ask32("%sInput Value for 3.0 Gb/s Tx Amplitude Control : [max=0xFFFF] 0x", 16, 0xFFFF, &amplitude) ||
        !Ask32("%sInput Value for 3.0 Gb/s Tx Emphasis          : [max=0xFFFF] 0x", 16, 0xFFFF, &emphasis) ||
        !Ask32("%sPermanant or Temporary Set to Disk : [0=temporary/1=permamant] ", 16, 1, &permanent)) {
        return;
    }
    if (!WriteEyeRegister(kTxAmplitudeReg, amplitude, permanent)) {
        return;
    }
    // The transmitter takes the second setting only after it has settled on the first.
    sleep(1);
    if (!WriteEyeRegister(kTxEmphasisReg, emphasis, permanent)) {
        return;
    }
    printf("%sSATA Eye Diagram Set successfully\n", msg_indent);
    printf("\n");
}

// ---------------------------------------------------------------- switches

void RunOnOffSwitch(const VendorSwitch& sw)
{
    chooseDriveWhenNoDevice();
    u32 answer = 0;
    if (AllocFor(sw.type) && Ask32(sw.question, 10, 2, &answer) && answer != 2 && DataBufHolds(1)) {
        data_buf[0] = static_cast<u8>(answer);
        if (RunOnDataBuf(sw.type)) {
            printf(sw.done, msg_indent, data_buf[0] != 0 ? "on" : "off");
        }
    }
    EndTool();
}

const VendorSwitch& SwitchOfType(u32 type)
{
    for (const VendorSwitch& sw : vendor_switch_list) {
        if (sw.type == type) {
            return sw;
        }
    }
    ZV_CHECK(false);
    return vendor_switch_list[0];
}

// ---------------------------------------------------------------- wear-level table

// "[C0h] Disk Basic info" into disk_geometry.
bool ReadDiskGeometry(int* user_err, int* sys_err)
{
    u32 len = 0;
    if (!DiskCmnd::GetDataLen(TYPE_C0H_DISK_BASIC_INFO, &cur_disk, &len, user_err, sys_err)) {
        return false;
    }
    std::vector<u8> answer(len);
    if (!DiskCmnd::Execute(TYPE_C0H_DISK_BASIC_INFO, &cur_disk, answer.data(), len, user_err, sys_err)) {
        return false;
    }
    // An answer without all seven words gives no geometry, rather than zeros for the missing.
    if (DiskCmnd::ReceivedLen() < sizeof(DiskGeometry)) {
        *user_err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    memcpy(&disk_geometry, answer.data(), sizeof(disk_geometry));
    return true;
}

// A table covers every block of every CE of every channel. The product of three drive words
// can pass 64 bits: one past 32 bits is more than any table held here.
bool TableFitsGeometry(u32 len, const DiskGeometry& g)
{
    const u64 units = static_cast<u64>(g.channel) * g.ce;
    return units <= 0xFFFFFFFFull && len >= units * g.block;
}

void SendWearLevelTable()
{
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    u32 type = TYPE_8CH_WRITE_WEAR_LEVEL_TABLE;
    if (cur_disk.smart_ver != VER_K4410) {
        if (!ReadDiskGeometry(&user_err, &sys_err)) {
            printf("  Write Wear Level Table to Disk , User Err Code [%08Xh:%s], System Err Code [%08lXh]\n",
                   static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str(), SysErrHex(sys_err));
            return;
        }
        if (!TableFitsGeometry(data_len, disk_geometry)) {
            puts("  Write Wear Level Table Len is not Matching to Disk Type!");
            return;
        }
        type = TYPE_C1H_WRITE_WEAR_LEVEL_TABLE;
    }
    if (DiskCmnd::Execute(static_cast<int>(type), &cur_disk, data_buf, data_len, &user_err, &sys_err)) {
        printf("  Write Wear Level Table %s to Disk %s successfully\n", fw_file_name, dev_name);
    } else {
        printf("  Write Wear Level Table %s to Disk %s failed, User Err Code [%08Xh:%s], System Err Code "
               "[%08lXh]\n",
               fw_file_name, dev_name, static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str(),
               SysErrHex(sys_err));
    }
}

} // namespace

std::string formatMagnifyReport(const R2FlagTable& table, const char* indent)
{
    std::string text;
    const u64 read_pages = table.seq_read_page;
    const u64 write_pages = table.seq_write_page;
    const u64 moved_pages = table.gc_move_page + table.wl_move_page;
    MagnifyFigures f;
    if (!computeMagnify(write_pages, moved_pages, &f)) {
        AppendF(text, "%stest time is not long enough\n", indent);
        return text;
    }
    AppendF(text, "%shost read pages     :  0x%16llX\n", indent, static_cast<unsigned long long>(read_pages));
    AppendF(text, "%shost write pages    :  0x%16llX\n", indent, static_cast<unsigned long long>(write_pages));
    AppendF(text, "%sdisk read pages     :  0x%16llX\n", indent, static_cast<unsigned long long>(read_pages));
    AppendF(text, "%sdisk write pages    :  0x%16llX\n", indent,
            static_cast<unsigned long long>(f.disk_write_pages));
    AppendF(text, "%smagnify coefficient :  %1Lf\n", indent, f.coefficient);
    return text;
}

void getSetMaxAddress()
{
    bool ext48 = false;
    if (!maxAddressWidth(cur_disk.model, &ext48)) {
        printf("%sCurrent PhysicalDrive is not QUMA\n\n", msg_indent);
        EndTool();
        return;
    }
    u32 action = 0;
    if (!Ask32("%sRead Native Address or Set Max Address : [0=Query, 1=Set, 2=Quit] ", 10, 2, &action) ||
        action == 2) {
        EndTool();
        return;
    }
    const bool set = action == 1;
    u64 address = 0;
    u32 non_volatile = 0;
    if (set && (!Ask64("%sInput Max Address : ", 10, kMaxLba48, &address) ||
                !Ask32("%sSet Volatile Value : [0=Volatile, 1=Non-volatile] ", 10, 1, &non_volatile))) {
        EndTool();
        return;
    }
    if (!AllocFor(TYPE_READ_NATIVE_MAX_ADDRESS) || !DataBufHolds(sizeof(MaxAddressRegs))) {
        EndTool();
        return;
    }
    data_buf[7] = ext48 ? 1 : 0;
    if (!RunOnDataBuf(ext48 ? TYPE_READ_NATIVE_MAX_ADDRESS_EXT : TYPE_READ_NATIVE_MAX_ADDRESS)) {
        EndTool();
        return;
    }
    if (set) {
        if (address > taskfileToLba(data_buf)) {
            printf("%sMax Address can't be greater than Native Address\n", msg_indent);
            consoleRefuseAnswer();
            EndTool();
            return;
        }
        lbaToTaskfile(data_buf, address, ext48);
        data_buf[8] = non_volatile != 0 ? 1 : 0;
        if (!RunOnDataBuf(ext48 ? TYPE_SET_MAX_ADDRESS_EXT : TYPE_SET_MAX_ADDRESS)) {
            EndTool();
            return;
        }
    }
    char number[32];
    snprintf(number, sizeof(number), "%llu", static_cast<unsigned long long>(taskfileToLba(data_buf)));
    printf("%sNative Address : %s\n", msg_indent, number);
    if (set) {
        printf("%sSet Max Address successfully\n", msg_indent);
    }
    EndTool();
}

void calcMagnifyCoefficient()
{
    chooseDriveWhenNoDevice();
    if (AllocFor(TYPE_89H_FLAG_BLOCK_TABLE) && RunOnDataBuf(TYPE_89H_FLAG_BLOCK_TABLE)) {
        R2FlagTable table;
        if (!LoadR2FlagTable(table, data_buf, data_len)) {
            puts("Parse R2 Flag Table failed");
        } else {
            fputs(formatMagnifyReport(table, msg_indent).c_str(), stdout);
        }
    }
    EndTool();
}

void tuneEyeChart()
{
    chooseDriveWhenNoDevice();
    u32 action = 0;
    if (AllocFor(TYPE_8AH_READ_REGISTER) &&
        Ask32("%sQuery or Set Eye Chart Value (0=Query, 1=Set, 2=Quit) : ", 16, 2, &action)) {
        if (action == 0) {
            QueryEyeChart();
        } else if (action == 1) {
            SetEyeChart();
        }
    }
    EndTool();
}

void switch64Ce() { RunOnOffSwitch(SwitchOfType(TYPE_8BH_64CE_ON_OFF_SWITCH)); }

void switchReadTable() { RunOnOffSwitch(SwitchOfType(TYPE_8BH_READ_TABLE_SWITCH)); }

void dynamicOptimize()
{
    chooseDriveWhenNoDevice();
    u32 ahead = 0;
    u32 thres = 0;
    if (AllocFor(TYPE_8BH_DYNAMIC_OPTMIZE) && Ask32("%sinput ahead : (0-255) ", 10, 255, &ahead) &&
        Ask32("%sinput thres : (0-255) ", 10, 255, &thres) && DataBufHolds(2)) {
        data_buf[0] = static_cast<u8>(ahead);
        data_buf[1] = static_cast<u8>(thres);
        if (RunOnDataBuf(TYPE_8BH_DYNAMIC_OPTMIZE)) {
            printf("%sDynamic Optmize successfully\n", msg_indent);
        }
    }
    EndTool();
}

void downloadWearLevelTable()
{
    if (chooseDownloadFile("  input wear level table file : ") && loadDownloadFile(fw_file_name, true)) {
        SendWearLevelTable();
    }
    fflush(stdout);
    fw_file_name = nullptr;
    freeDataBuf();
}
