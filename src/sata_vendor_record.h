// Records of the SATA family's [89h]/[8Ah] vendor answers that are not block tables.
#ifndef ZV_SATA_VENDOR_RECORD_H
#define ZV_SATA_VENDOR_RECORD_H

#include <cstddef>

#include "common.h"

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

#endif
