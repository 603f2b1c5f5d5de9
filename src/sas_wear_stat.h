// The SAS family's wear-level table ("[C0h] Get Wear level table"): erase-count
// statistics per channel and CE with an erase-count matrix, and the dump files
// "WitTable.bin" and "BlockTable.txt". The table is sized by the Channel, CE, Block and
// Page Num words of disk_geometry; disk_model_code 0 selects the older info word layout,
// any other value the newer one.
#ifndef ZV_SAS_WEAR_STAT_H
#define ZV_SAS_WEAR_STAT_H

#include <string>

#include "common.h"

// One entry per flash block, in the order (CE, channel, block), block fastest:
// Page Num / 32 little-endian u32 words of the valid-page bitmap, then the info word.
// The info word holds the erase count in bits 0-19 (older) or 0-18 (newer), the block
// type in bits 20-22 or 19-22 and the invalid page count in bits 23-31; bit 22 marks a
// bad block in both.
struct WearLevelEntry {
    u32 info;
    bool newer;

    static u32 BitmapWords(u32 page_num) { return page_num / 32; }
    static u64 Size(u32 page_num) { return 4ull * BitmapWords(page_num) + 4; }

    u32 EraseCount() const { return info & (newer ? 0x7FFFFu : 0xFFFFFu); }
    u32 Type() const { return newer ? (info >> 19) & 0xF : (info >> 20) & 0x7; }
    u32 InvalidPages() const { return info >> 23; }
    bool Bad() const { return (info & (1u << 22)) != 0; }
    // The BlockType name of the type; block types the newer set does not name get
    // a blank-filled "Unknown".
    const char* TypeName() const;
};

const char kWitTableFile[] = "WitTable.bin";
const char kBlockTableFile[] = "BlockTable.txt";

// Each refuses (false, out and the files untouched) a null table, a geometry without
// channels, CEs or blocks, and a table shorter than Channel x CE x Block entries.

// Replaces out by the statistics of every (channel, CE) and the erase-count matrix.
bool PrintCeWearStatistics(std::string& out, const u8* table, u32 len);
// The dumps replace a regular file or a symbolic link under their name; anything else
// there (directory, device node, FIFO, socket) is left alone and the call fails.

// Writes every erase count to "WitTable.bin" and replaces out by the statistics.
bool SaveWitTable(std::string& out, const u8* table, u32 len, u32 indent);
// Writes every block's erase count, invalid page count and type to "BlockTable.txt" and
// appends the line that says so to out.
bool SaveBlockTable(std::string& out, const u8* table, u32 len, u32 indent);

#endif
