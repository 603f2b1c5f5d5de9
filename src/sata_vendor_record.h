// Records of the SATA family's [89h]/[8Ah] vendor answers that are not block tables.
#ifndef ZV_SATA_VENDOR_RECORD_H
#define ZV_SATA_VENDOR_RECORD_H

#include <cstddef>
#include <string>
#include <vector>

#include "common.h"
#include "disk_info.h"

// Start of the "[89h] Flag block table" answer, long layout (every model but the
// short-layout K4410TN0032, whose fields end at byte 256 and are read by offset).
struct __attribute__((packed)) R2FlagTable {
    u8 ext_info[10];
    u8 this_block_from_channel;
    u8 global_table_page;
    u8 bad_reserve_table_channel;
    u8 part_one_in_channel;
    u8 org_bad_table_channel;
    u8 rsv15;
    u16 global_table_block;
    u16 blank_blocks_in_layer;
    u32 flush_map_log_cursor;
    u32 power_off_counter;
    u32 ecc_errors[8][8];
    u32 global_table_pad;
    u32 org_bad_table_pad;
    u32 bad_reserve_table_pad;
    u32 max_lba_address;
    u32 level1_recon_num;
    u32 level2_recon_num;
    u32 g_stack_pos_index;
    u32 g_stk_blk1_ers_cnt;
    u32 g_stk_blk2_ers_cnt;
    u64 g_index;
    u64 host_read_sector;
    u64 host_write_sector;
    u64 seq_read_page;
    u64 seq_write_page;
    u64 gc_move_page;
    u64 wl_move_page;
    u64 gc_erase_block;
};
static_assert(sizeof(R2FlagTable) == 384, "R2FlagTable is 384 bytes");
static_assert(offsetof(R2FlagTable, global_table_pad) == 284, "long layout offset");
static_assert(offsetof(R2FlagTable, seq_read_page) == 344, "long layout offset");
static_assert(offsetof(R2FlagTable, wl_move_page) == 368, "long layout offset");

// Copies the first 384 bytes of a flag block table answer; false for null or short data.
bool LoadR2FlagTable(R2FlagTable& dst, const u8* data, u32 len);

// The model whose flag block table has the short layout (four Ecc Errors rows, fields end
// at byte 256); the drive's model is tested for containing it.
extern const char* const kR2FlagShortModel;

// Parse shape; ctx is the drive's DiskInfo, which chooses the layout (false without it).
bool ParseFlagBlockTable(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Appends the layout the drive's model selects; false without a drive record.
bool PrintR2FlagTable(std::string& out, const R2FlagTable& table, u32 indent, const DiskInfo* drive);
// Appends the short layout, read by its own offsets.
bool PrintR2FlagTableShort(std::string& out, const R2FlagTable& table, u32 indent, const DiskInfo* drive);

// The drive configuration block.
struct __attribute__((packed)) ConfigBlock {
    u32 crc;
    u8 pwr_up_standby[8];
    u8 max_addr[8];
    u8 lock_pwd[40];
    u8 wl_attribute[64];
    u8 sys_attribute[64];
    u8 smart_en;
    u8 smart_auto_save;
    u8 smart_attribute_threshold[23];
    u8 rsv[299];
};
static_assert(sizeof(ConfigBlock) == 512, "ConfigBlock is one sector");
static_assert(offsetof(ConfigBlock, smart_en) == 188, "ConfigBlock offset");
static_assert(offsetof(ConfigBlock, rsv) == 213, "ConfigBlock offset");

// Copies 512 bytes; false for null or fewer than 512 bytes.
bool LoadConfigBlock(ConfigBlock& dst, const u8* data, u32 len);
// Parse shape, ctx not used.
bool ParseConfigBlock(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool PrintConfigBlock(std::string& out, const ConfigBlock& block, u32 indent);

const u32 kSectorRecordLen = 512;
// Copy a one-sector answer into dst (kSectorRecordLen bytes); false for null or any other length.
bool LoadSectorRecord(u8* dst, const u8* data, u32 len);
bool LoadSectorRecordAlt(u8* dst, const u8* data, u32 len);

// Parse shape, no context. Both need a full sector (getDiskQueryLen bytes).
// ParseDiskStatus stores the first 17 bytes into disk_status before printing them.
bool ParseDiskStatus(std::string& out, const u8* data, u32 len, u32 indent);
bool ParseDiskStructure(std::string& out, const u8* data, u32 len, u32 indent);
// The signed word at byte 0; false for fewer than 4 bytes, and for null data after
// printing "buffer is NULL!" on standard output.
bool ParseCheckGrain(std::string& out, const u8* data, u32 len, u32 indent);

// Error bytes of a firmware download: a row maps the bytes first..last to text, a
// byte of no row gets the table's fallback.
struct DownloadErrRow {
    u8 first;
    u8 last;
    const char* text;
};
const u32 kUpgradeErrRowNum = 3;
const u32 kLoadingErrRowNum = 4;
const u32 kFlashErrRowNum = 1;
const u32 kDdrErrRowNum = 1;
extern const DownloadErrRow upgrade_err_rows[kUpgradeErrRowNum];
extern const DownloadErrRow loading_err_rows[kLoadingErrRowNum];
extern const DownloadErrRow flash_err_rows[kFlashErrRowNum];
extern const DownloadErrRow ddr_err_rows[kDdrErrRowNum];
extern const char* const upgrade_err_fallback;
extern const char* const loading_err_fallback;
extern const char* const flash_err_fallback;
extern const char* const ddr_err_fallback;

// Text of the byte status points at; a null pointer gets the fallback.
std::string UpgradeErrText(const u8* status);
std::string LoadingErrText(const u8* status);
std::string FlashErrText(const u8* status);
std::string DdrErrText(const u8* status);

// One 4-byte slot of the CE information answer; all FFh is an empty slot.
struct __attribute__((packed)) CeRecord {
    u8 chan;
    u8 layer;
    u16 value;

    bool operator<(const CeRecord& other) const;
};
static_assert(sizeof(CeRecord) == 4, "CeRecord is 4 bytes");

// Clears dst and appends the non-empty slots in buffer order; false for null or empty data.
bool LoadCeRecords(std::vector<CeRecord>& dst, const u8* data, u32 len);
// Parse shape, ctx not used; replaces out.
bool ParseCeInformation(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Replaces out with the CE information text of records sorted by CeRecord::operator<.
bool PrintCeInformation(std::string& out, const std::vector<CeRecord>& records, u32 indent);

#endif
