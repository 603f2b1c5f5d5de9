// Block tables of the SATA family's vendor reads (blank block rings, wear level,
// bad block and system index tables) and their printers. The tables are sized by
// the Channel and Layer words of disk_structure; all entries are little-endian.
#ifndef ZV_SATA_BLOCK_TABLE_H
#define ZV_SATA_BLOCK_TABLE_H

#include <array>
#include <string>

#include "common.h"
#include "disk_info.h"

// Slots of one blank block ring (and of one row of a block slot list), u16 each.
const u32 kRingSlots = 3280;
const u32 kRingRowBytes = kRingSlots * 2;
// Erase counts (u32) per (layer, channel) row of the wear level table.
const u32 kWearRowEntries = 8192;
// Bad block table: u16 slots per channel row, entries per layer row.
const u32 kBadChannelSlots = 1024;
const u32 kBadLayerEntries = 8 * kBadChannelSlots;
// The accepted lengths of a bad block table answer; the middle one holds two halves.
const u32 kBadTableLenSmall = 0x20000;
const u32 kBadTableLenPaired = 0x40000;
const u32 kBadTableLenLarge = 0x80000;
// System index table: u32 entries per (layer, channel) and the whole table's size.
const u32 kSysIndexEntries = 128;
const u32 kSysIndexTableLen = 16384;

// One named system area: a slot code designating an entry of the system index table.
struct SysTableSlot {
    u32 code;
    const char* label;
};

// The five slot tables (A to E) of 39 rows each, labels alike in all of them.
enum SysTableKind {
    SYS_TABLE_A = 0,  // K4410TN0032: channel = bits 0-1, layer = bit 2, index = bits 3-13
    SYS_TABLE_B = 1,  // the others: channel = bits 0-2, layer = bits 3-4, index = bits 5-15
    SYS_TABLE_C = 2,
    SYS_TABLE_D = 3,
    SYS_TABLE_E = 4,
    SYS_TABLE_COUNT = 5,
};
const u32 kSysTableSlotCount = 39;
typedef std::array<std::array<SysTableSlot, kSysTableSlotCount>, SYS_TABLE_COUNT> SysTableSlotTables;
// Built from one list of the labels, which every table shares, and each table's codes.
extern const SysTableSlotTables sys_table_slots;

// Text appended; false (no text) for a null table, a ring table shorter than
// C x L x 6560 bytes or a head, tail or count table shorter than 512 bytes.
bool PrintBlankBlockRings(std::string& out, const u8* ring, u32 ring_len, const u8* heads, u32 heads_len,
                          const u8* tails, u32 tails_len, const u8* counts, u32 counts_len, u32 indent);
// One u16 value per (layer, channel); text appended.
bool PrintLayerChanValues(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive);
// The used slots of a 3280-slot-per-channel block list; text appended.
bool PrintLayerChanBlocks(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive);
// Erase counts per block; the text replaces out. The indent is at most 10 blanks.
bool PrintWearLevelTable(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive);
// The text replaces out. Resets disk_variant_flag to 0 and, when the 8GB FLAG of
// disk_status is 4, sets disk_structure to 8 channels and 4 layers.
bool PrintBadBlockTable(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive);
// The named system areas, then every entry with the counts of each kind; appended.
bool PrintSystemBlockInfo(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive);
// Per (layer, channel) erase-count statistics and the block matrix; the text
// replaces out. Writes the bad-block (FFFFFFE0h + new) and, with use_system, the
// system-block (FFFFFFF0h + kind) markers into erase_counts.
bool PrintWearStatistics(std::string& out, u8* erase_counts, u32 erase_len, const u8* bad, u32 bad_len,
                         const u8* system_index, u32 system_len, bool use_system);

#endif
