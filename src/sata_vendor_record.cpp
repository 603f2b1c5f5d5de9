#include "sata_vendor_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decode_util.h"
#include "front_state.h"
#include "vendor_table_decoder.h"

namespace {

// Blocks of bytes start on a fresh line of four blanks, whatever the indent.
const char kBlockPad[] = "    ";

void AppendByteBlock(std::string& out, const u8* bytes, u32 n)
{
    for (u32 i = 0; i < n; i++) {
        AppendF(out, "%02Xh ", bytes[i]);
        if ((i + 1) % 8 == 0) {
            out += "\n";
            out += kBlockPad;
        }
    }
}

}  // namespace

bool LoadR2FlagTable(R2FlagTable& dst, const u8* data, u32 len)
{
    if (data == nullptr || len < sizeof(R2FlagTable)) {
        return false;
    }
    std::memcpy(&dst, data, sizeof(R2FlagTable));
    return true;
}

// ---- flag block table -------------------------------------------------------------------

const char* const kR2FlagShortModel = "QUMA-K4410TN0032";

namespace {

// Where the fields from Ecc Errors on sit in one layout.
struct R2FlagLayout {
    u32 ecc_rows;
    u32 pad_words;  // Global Table Pad .. G_Stk Blk2 ErsCnt
    u32 g_index;
    u32 counters;   // Host Read Sector .. GC Erase Block
};

const u32 kR2EccOffset = 28;
const R2FlagLayout kR2LongLayout = {8, 284, 320, 328};
const R2FlagLayout kR2ShortLayout = {4, 156, 192, 200};
static_assert(offsetof(R2FlagTable, g_index) == 320, "long layout offset");
static_assert(offsetof(R2FlagTable, host_read_sector) == 328, "long layout offset");

const char* const r2_pad_labels[9] = {
    "Global Table Pad          : ", "Org Bad Table Pad         : ", "Bad Reserve Table Pad     : ",
    "Max Lba Address           : ", "Level1 Recon Num          : ", "Level2 Recon Num          : ",
    "G_Stack Pos Index         : ", "G_Stk Blk1 ErsCnt         : ", "G_Stk Blk2 ErsCnt         : ",
};

const char* const r2_counter_labels[7] = {
    "Host Read Sector          : ", "Host Write Sector         : ", "Seq Read Page             : ",
    "Seq Write Page            : ", "GC Move Page              : ", "WL Move Page              : ",
    "GC Erase Block            : ",
};

void AppendR2FlagTable(std::string& out, const R2FlagTable& table, u32 indent, const R2FlagLayout& layout)
{
    const u8* raw = reinterpret_cast<const u8*>(&table);
    const std::string pad = ParseIndent(indent);
    std::string text = pad + "Ext Info                  : ";
    for (u8 b : table.ext_info) {
        AppendF(text, "%02Xh ", b);
    }
    text += "\n";
    AppendLine(text, pad, "This Block From Channel   : %02Xh\n", table.this_block_from_channel);
    AppendLine(text, pad, "Global Table Page         : %02Xh\n", table.global_table_page);
    AppendLine(text, pad, "Bad Reserve Table Channel : %02Xh\n", table.bad_reserve_table_channel);
    AppendLine(text, pad, "Part One In Channel       : %02Xh\n", table.part_one_in_channel);
    AppendLine(text, pad, "Org Bad Table Channel     : %02Xh\n", table.org_bad_table_channel);
    AppendLine(text, pad, "Global Table Block        : %04Xh\n", table.global_table_block);
    AppendLine(text, pad, "Blank Blocks In Layer     : %04Xh\n", table.blank_blocks_in_layer);
    AppendLine(text, pad, "Flush Map Log Cursor      : %08Xh\n", table.flush_map_log_cursor);
    AppendLine(text, pad, "Power Off Counter         : %08Xh\n", table.power_off_counter);

    text += pad + "Ecc Errors                : \n" + kBlockPad;
    for (u32 row = 0; row < layout.ecc_rows; row++) {
        if (row > 0) {
            text += "\n";
            text += kBlockPad;
        }
        for (u32 col = 0; col < 8; col++) {
            AppendF(text, "%08Xh ", ReadLe<u32>(raw + kR2EccOffset + 4 * (row * 8 + col)));
        }
    }
    text += "\n";

    for (u32 i = 0; i < 9; i++) {
        text += pad + r2_pad_labels[i];
        AppendF(text, "%08Xh\n", ReadLe<u32>(raw + layout.pad_words + 4 * i));
    }
    AppendLine(text, pad, "G_Index                   : %llXh\n",
               static_cast<unsigned long long>(ReadLe<u64>(raw + layout.g_index)));
    for (u32 i = 0; i < 7; i++) {
        const u32 at = layout.counters + 8 * i;
        text += pad + r2_counter_labels[i];
        AppendF(text, "%08Xh  %08Xh\n", ReadLe<u32>(raw + at), ReadLe<u32>(raw + at + 4));
    }
    out += text;
}

}  // namespace

bool ParseFlagBlockTable(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    R2FlagTable table;
    if (!LoadR2FlagTable(table, data, len)) {
        return false;
    }
    return PrintR2FlagTable(out, table, indent, static_cast<const DiskInfo*>(ctx));
}

bool PrintR2FlagTable(std::string& out, const R2FlagTable& table, u32 indent, const DiskInfo* drive)
{
    // Without the drive the layout is unknown; printing either one would mislabel fields.
    if (drive == nullptr) {
        return false;
    }
    if (drive->model.find(kR2FlagShortModel) != std::string::npos) {
        const R2FlagTable copy = table;
        return PrintR2FlagTableShort(out, copy, indent, drive);
    }
    AppendR2FlagTable(out, table, indent, kR2LongLayout);
    return true;
}

bool PrintR2FlagTableShort(std::string& out, const R2FlagTable& table, u32 indent, const DiskInfo*)
{
    AppendR2FlagTable(out, table, indent, kR2ShortLayout);
    return true;
}

// ---- configuration block ----------------------------------------------------------------

bool LoadConfigBlock(ConfigBlock& dst, const u8* data, u32 len)
{
    if (data == nullptr || len < sizeof(ConfigBlock)) {
        return false;
    }
    memcpy(&dst, data, sizeof(ConfigBlock));
    return true;
}

bool ParseConfigBlock(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    ConfigBlock block;
    if (!LoadConfigBlock(block, data, len)) {
        return false;
    }
    return PrintConfigBlock(out, block, indent);
}

bool PrintConfigBlock(std::string& out, const ConfigBlock& block, u32 indent)
{
    const std::string pad = ParseIndent(indent);
    std::string text;
    AppendLine(text, pad, "crc                       : %08Xh \n", block.crc);
    text += pad + "pwr_up_standby            : ";
    for (u8 b : block.pwr_up_standby) {
        AppendF(text, "%02Xh ", b);
    }
    text += "\n" + pad + "max_addr                  : ";
    for (u8 b : block.max_addr) {
        AppendF(text, "%02Xh ", b);
    }
    const struct {
        const char* label;
        const u8* bytes;
        u32 n;
    } blocks[3] = {
        {"lock_pwd                  : ", block.lock_pwd, sizeof(block.lock_pwd)},
        {"wl_attribute              : ", block.wl_attribute, sizeof(block.wl_attribute)},
        {"sys_attribute             : ", block.sys_attribute, sizeof(block.sys_attribute)},
    };
    for (const auto& b : blocks) {
        text += "\n" + pad + b.label + "\n" + kBlockPad;
        AppendByteBlock(text, b.bytes, b.n);
    }
    text += "\n";
    AppendLine(text, pad, "smart_en                  : %02Xh \n", block.smart_en);
    AppendLine(text, pad, "smart_auto_save           : %02Xh \n", block.smart_auto_save);
    text += pad + "smart_attribute_threshold : \n" + kBlockPad;
    AppendByteBlock(text, block.smart_attribute_threshold, sizeof(block.smart_attribute_threshold));
    text += "\n" + pad + "rsv                       : \n" + kBlockPad;
    AppendByteBlock(text, block.rsv, sizeof(block.rsv));
    out += text;
    return true;
}

// ---- one-sector answers -----------------------------------------------------------------

namespace {

bool CopySector(u8* dst, const u8* data, u32 len)
{
    if (dst == nullptr || data == nullptr || len != kSectorRecordLen) {
        return false;
    }
    memcpy(dst, data, kSectorRecordLen);
    return true;
}

}  // namespace

bool LoadSectorRecord(u8* dst, const u8* data, u32 len) { return CopySector(dst, data, len); }

bool LoadSectorRecordAlt(u8* dst, const u8* data, u32 len) { return CopySector(dst, data, len); }

bool ParseDiskStatus(std::string& out, const u8* data, u32 len, u32 indent)
{
    if (data == nullptr || len < getDiskQueryLen()) {
        return false;
    }
    memcpy(&disk_status, data, sizeof(DiskStatus));
    const DiskStatus& s = disk_status;
    // A3h BAh is the GB2312 full-width colon the drive tools have always shown.
    const struct {
        const char* format;
        u32 value;
    } lines[15] = {
        {"64CE :                  0x%x\n", s.ce64},
        {"WL :                    0x%x\n", s.wl},
        {"Lucky Num \xA3\xBA            0x%x\n", s.lucky_num},
        {"Lucky Page Count \xA3\xBA     0x%x\n", s.lucky_page_count},
        {"Write Through \xA3\xBA        0x%x\n", s.write_through},
        {"Map Read \xA3\xBA             0x%x\n", s.map_read},
        {"UNC Self-recov \xA3\xBA       0x%x\n", s.unc_self_recov},
        {"OUT-IN :                0x%x\n", s.out_in},
        {"Readonly :              0x%x\n", s.readonly},
        {"TRIM Rerurn-value :     0x%x\n", s.trim_return_value},
        {"Disk-Check :            0x%x\n", s.disk_check},
        {"Disk-Check Frequency :  0x%x\n", s.disk_check_frequency},
        {"Cap-Check Frequency :   0x%x\n", s.cap_check_frequency},
        {"GPIO flag :             0x%x\n", s.gpio_flag},
        {"8GB FLAG  :             0x%x\n", s.flag_8gb},
    };
    const std::string pad = ParseIndent(indent);
    std::string text;
    for (const auto& line : lines) {
        AppendLine(text, pad, line.format, line.value);
    }
    out += text;
    return true;
}

bool ParseDiskStructure(std::string& out, const u8* data, u32 len, u32 indent)
{
    if (data == nullptr || len < getDiskQueryLen()) {
        return false;
    }
    static const char* const formats[5] = {
        "Channel   : %10u\n", "Layer     : %10u\n", "Block     : %10u\n", "Page Num  : %10u\n", "Page Size : %10u\n",
    };
    const std::string pad = ParseIndent(indent);
    std::string text;
    for (u32 i = 0; i < 5; i++) {
        AppendLine(text, pad, formats[i], ReadLe<u32>(data + 4 * i));
    }
    out += text;
    return true;
}

bool ParseCheckGrain(std::string& out, const u8* data, u32 len, u32 indent)
{
    if (data == nullptr) {
        printf("buffer is NULL!\n");
        return false;
    }
    // A shorter answer has no whole word to show.
    if (len < sizeof(int32_t)) {
        return false;
    }
    out += ParseIndent(indent);
    AppendF(out, "CheckGrain = %d\n", static_cast<int>(ReadLe<int32_t>(data)));
    return true;
}

// ---- download status ----------------------------------------------------------------------

const DownloadErrRow upgrade_err_rows[kUpgradeErrRowNum] = {
    {1, 1, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_CMD_ERR"},
    {2, 2, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_FILE_LENGTH_ZERO"},
    {3, 9, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_FILE_ERR"},
};
const DownloadErrRow loading_err_rows[kLoadingErrRowNum] = {
    {1, 1, "LOG_ERRCODE_LOADING_ERR : LOADER_READ_FIRMWARE_ERR"},
    {2, 2, "LOG_ERRCODE_LOADING_ERR : LOADER_FIRMWARE_CRC_FAILED"},
    {3, 3, "LOG_ERRCODE_LOADING_ERR : LOADER_WIRTE_FLAG_ERR"},
    {4, 4, "LOG_ERRCODE_LOADING_ERR : LOADER_NO_FIRMWARE"},
};
const DownloadErrRow flash_err_rows[kFlashErrRowNum] = {
    {1, 1, "LOG_ERRCODE_FLASH_ERR : READ_FLASH_ID_FAILED"},
};
const DownloadErrRow ddr_err_rows[kDdrErrRowNum] = {
    {1, 1, "LOG_ERRCODE_DDR_ERR : DDR_TEST_FAILED"},
};
const char* const upgrade_err_fallback = "LOG_ERRCODE_UPGRADE_ERR : BUFFER VALUE ERROR";
const char* const loading_err_fallback = "LOG_ERRCODE_LOADING_ERR : BUFFER VALUE ERROR";
const char* const flash_err_fallback = "LOG_ERRCODE_FLASH_ERR : BUFFER VALUE ERROR";
const char* const ddr_err_fallback = "LOG_ERRCODE_DDR_ERR : BUFFER VALUE ERROR";

namespace {

std::string LookUpErrText(const DownloadErrRow* rows, u32 n, const char* fallback, const u8* status)
{
    if (status != nullptr) {
        for (u32 i = 0; i < n; i++) {
            if (*status >= rows[i].first && *status <= rows[i].last) {
                return rows[i].text;
            }
        }
    }
    return fallback;
}

}  // namespace

std::string UpgradeErrText(const u8* status)
{
    return LookUpErrText(upgrade_err_rows, kUpgradeErrRowNum, upgrade_err_fallback, status);
}

std::string LoadingErrText(const u8* status)
{
    return LookUpErrText(loading_err_rows, kLoadingErrRowNum, loading_err_fallback, status);
}

std::string FlashErrText(const u8* status)
{
    return LookUpErrText(flash_err_rows, kFlashErrRowNum, flash_err_fallback, status);
}

std::string DdrErrText(const u8* status) { return LookUpErrText(ddr_err_rows, kDdrErrRowNum, ddr_err_fallback, status); }

// ---- CE information ---------------------------------------------------------------------

bool CeRecord::operator<(const CeRecord& other) const
{
    if (layer != other.layer) {
        return layer < other.layer;
    }
    if (chan != other.chan) {
        return chan < other.chan;
    }
    return value < other.value;
}

bool LoadCeRecords(std::vector<CeRecord>& dst, const u8* data, u32 len)
{
    if (data == nullptr || len == 0) {
        return false;
    }
    dst.clear();
    for (u32 slot = 0; slot < len / sizeof(CeRecord); slot++) {
        const u8* p = data + slot * sizeof(CeRecord);
        if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF) {
            continue;
        }
        CeRecord rec;
        memcpy(&rec, p, sizeof(rec));
        dst.push_back(rec);
    }
    return true;
}

bool ParseCeInformation(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    std::vector<CeRecord> records;
    if (!LoadCeRecords(records, data, len)) {
        return false;
    }
    std::sort(records.begin(), records.end());
    return PrintCeInformation(out, records, indent);
}

bool PrintCeInformation(std::string& out, const std::vector<CeRecord>& records, u32 indent)
{
    const std::string pad = ParseIndent(indent);
    const size_t n = records.size();
    std::string text = CeInformationHeader(pad, static_cast<u32>(n));
    size_t p = 0;
    for (u32 layer = 0; layer < 8; layer++) {
        for (u32 chan = 0; chan < 8; chan++) {
            // CEs 0 to 31 always show; the upper half only while records remain.
            if (p == n && layer == 4 && chan == 0) {
                out = text;
                return true;
            }
            size_t count = 0;
            while (p + count < n && records[p + count].layer == layer && records[p + count].chan == chan) {
                count++;
            }
            text += CeInformationBlock(pad, layer * 8 + chan, layer, chan, static_cast<u32>(count));
            for (size_t i = 0; i < count; i++) {
                AppendF(text, CeInformationText::kValue, static_cast<u32>(records[p + i].value));
            }
            p += count;
        }
    }
    out = text;
    return true;
}
