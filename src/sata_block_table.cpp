#include "sata_block_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "decode_util.h"
#include "disk_discovery.h"
#include "front_state.h"

namespace {

const char kModelTN0032[] = "QUMA-K4410TN0032";
const char kModelTR0050[] = "QUMA-K4410TR0050";
const char kModelTR0100[] = "QUMA-K4410TR0100";
const char kModelTN0100[] = "QUMA-K4410TN0100";
const char kModelTN0200[] = "QUMA-K4410TN0200";

// Entries at or above this in an erase-count table are markers, not counts.
const u32 kMarkerBase = 0xFFFFFFE0u;
const u32 kBadMarker = 0xFFFFFFE0u;
const u32 kSystemMarker = 0xFFFFFFF0u;
const u16 kEmptySlot = 0xFFFF;
const u32 kBlockNumberMask = 0x1FFF;

void WriteU32(u8* p, u32 v) { memcpy(p, &v, sizeof(v)); }

bool ModelHas(const DiskInfo* drive, const char* name) { return drive->model.find(name) != std::string::npos; }

// C x L of disk_structure times a per-(layer, channel) size, saturated.
u64 StructureSize(u64 per_unit) { return MulSat(MulSat(disk_structure.channel, disk_structure.layer), per_unit); }

// A layer holds 8 channel rows; a drive with fewer channels packs its C rows per
// layer (its table of C x L rows has no room for 8 rows per layer).
u64 RowsPerLayer(u64 channels) { return channels < 8 ? channels : 8; }

// The ring holds count entries from head when head and tail are slots of it.
bool RingMatchesCount(u32 head, u32 tail, u32 count)
{
    if (head >= kRingSlots || tail >= kRingSlots) {
        return false;
    }
    if (head < tail) {
        return count == tail - head;
    }
    return count == tail + kRingSlots - head;
}

}  // namespace

namespace {

// One row per named system area: its label, alike in all five tables, and its slot code in
// tables A to E.
struct SysTableRow {
    const char* label;
    u16 code[SYS_TABLE_COUNT];
};

constexpr SysTableRow sys_table_rows[kSysTableSlotCount] = {
    {"QUMA_SYSTABLE_START_GLOBAL            : ", {0x000, 0x000, 0x000, 0x000, 0x000}},
    {"QUMA_SYSTABLE_END_GLOBAL              : ", {0x001, 0x001, 0x001, 0x001, 0x001}},
    {"QUMA_SYSTABLE_START1_MAP_LOG          : ", {0x002, 0x002, 0x002, 0x002, 0x002}},
    {"QUMA_SYSTABLE_END1_MAP_LOG            : ", {0x051, 0x051, 0x051, 0x051, 0x051}},
    {"QUMA_SYSTABLE_START2_MAP_LOG          : ", {0x052, 0x052, 0x052, 0x052, 0x052}},
    {"QUMA_SYSTABLE_END2_MAP_LOG            : ", {0x0A1, 0x0A1, 0x0A1, 0x0A1, 0x0A1}},
    {"QUMA_SYSTABLE_START_SMART_LOG         : ", {0x0A2, 0x0A2, 0x0A2, 0x0A2, 0x0A2}},
    {"QUMA_SYSTABLE_END_SMART_LOG           : ", {0x0A9, 0x0A9, 0x0A9, 0x0A9, 0x0A9}},
    {"QUMA_SYSTABLE_START_SMART             : ", {0x0AA, 0x0AA, 0x0AA, 0x0AA, 0x0AA}},
    {"QUMA_SYSTABLE_END_SMART               : ", {0x0AB, 0x0AB, 0x0AB, 0x0AB, 0x0AB}},
    {"QUMA_SYSTABLE_START_BLANK             : ", {0x0AC, 0x0AC, 0x0AC, 0x0AC, 0x0AC}},
    {"QUMA_SYSTABLE_END_BLANK               : ", {0x0BB, 0x0BB, 0x0BB, 0x0BB, 0x0BB}},
    {"QUMA_SYSTABLE_START_SMBLOCK           : ", {0x0BC, 0x0BC, 0x0BC, 0x0BC, 0x0BC}},
    {"QUMA_SYSTABLE_END_SMBLOCK             : ", {0x0DF, 0x0DF, 0x0DF, 0x0DF, 0x0DF}},
    {"QUMA_SYSTABLE_START1_WL               : ", {0x0E0, 0x0E0, 0x0E0, 0x0E0, 0x0E0}},
    {"QUMA_SYSTABLE_END1_WL                 : ", {0x0EF, 0x0EF, 0x0EF, 0x0EF, 0x0EF}},
    {"QUMA_SYSTABLE_START2_WL               : ", {0x0F0, 0x0F0, 0x0F0, 0x0F0, 0x0F0}},
    {"QUMA_SYSTABLE_END2_WL                 : ", {0x0FF, 0x0FF, 0x0FF, 0x0FF, 0x0FF}},
    {"QUMA_SYSTABLE_START_MAP               : ", {0x100, 0x100, 0x100, 0x100, 0x100}},
    {"QUMA_SYSTABLE_START_MAP2_64G          : ", {0x140, 0x1C8, 0x1C8, 0x1C8, 0x1C8}},
    {"QUMA_SYSTABLE_START_MAP2_128G         : ", {0x22C, 0x22C, 0x22C, 0x22C, 0x22C}},
    {"QUMA_SYSTABLE_START1_BLANK_ORDER_LOG  : ", {0x180, 0x290, 0x358, 0x358, 0x378}},
    {"QUMA_SYSTABLE_END1_BLANK_ORDER_LOG    : ", {0x18F, 0x2AF, 0x397, 0x377, 0x3B7}},
    {"QUMA_SYSTABLE_START2_BLANK_ORDER_LOG  : ", {0x190, 0x2B0, 0x398, 0x378, 0x3B8}},
    {"QUMA_SYSTABLE_END2_BLANK_ORDER_LOG    : ", {0x19F, 0x2CF, 0x3D7, 0x397, 0x3F7}},
    {"QUMA_SYSTABLE_START1_BLANK_ORDER_TABLE: ", {0x1A1, 0x2D0, 0x3D8, 0x398, 0x3F8}},
    {"QUMA_SYSTABLE_END1_BLANK_ORDER_TABLE  : ", {0x1C0, 0x30F, 0x457, 0x3D7, 0x477}},
    {"QUMA_SYSTABLE_START2_BLANK_ORDER_TABLE: ", {0x1C1, 0x310, 0x458, 0x3D8, 0x478}},
    {"QUMA_SYSTABLE_END2_BLANK_ORDER_TABLE  : ", {0x1E0, 0x34F, 0x4D7, 0x417, 0x4F7}},
    {"QUMA_SYSTABLE_BLANK_ORDER_TABLE_BLOCKS: ", {0x008, 0x008, 0x008, 0x008, 0x008}},
    {"QUMA_TABLEMEMPAGES_BLANK_ORDER_TABLE  : ", {0x020, 0x040, 0x040, 0x040, 0x020}},
    {"QUMA_SYSTABLE_START1_SHADOW           : ", {0x358, 0x358, 0x358, 0x358, 0x358}},
    {"QUMA_SYSTABLE_END1_SHADOW             : ", {0x367, 0x367, 0x367, 0x367, 0x367}},
    {"QUMA_SYSTABLE_START2_SHADOW           : ", {0x368, 0x368, 0x368, 0x368, 0x368}},
    {"QUMA_SYSTABLE_END2_SHADOW             : ", {0x377, 0x377, 0x377, 0x377, 0x377}},
    {"QUMA_SYSTABLE_START_PENDBUF           : ", {0x3EE, 0xFEE, 0xFEE, 0xFEE, 0xFEE}},
    {"QUMA_SYSTABLE_END_PENDBUF             : ", {0x3EF, 0xFEF, 0xFEF, 0xFEF, 0xFEF}},
    {"QUMA_SYSTABLE_START_LOGBUF            : ", {0x3F0, 0xFF0, 0xFF0, 0xFF0, 0xFF0}},
    {"QUMA_SYSTABLE_END_LOGBUF              : ", {0x3FF, 0xFFF, 0xFFF, 0xFFF, 0xFFF}},
};

constexpr SysTableSlotTables SysTableSlotsOfRows()
{
    SysTableSlotTables tables{};
    for (u32 t = 0; t < SYS_TABLE_COUNT; t++) {
        for (u32 r = 0; r < kSysTableSlotCount; r++) {
            tables[t][r] = SysTableSlot{sys_table_rows[r].code[t], sys_table_rows[r].label};
        }
    }
    return tables;
}

}  // namespace

constexpr SysTableSlotTables sys_table_slots = SysTableSlotsOfRows();

bool PrintBlankBlockRings(std::string& out, const u8* ring, u32 ring_len, const u8* heads, u32 heads_len,
                          const u8* tails, u32 tails_len, const u8* counts, u32 counts_len, u32 indent)
{
    const u64 full = StructureSize(kRingRowBytes);
    if (ring == nullptr || heads == nullptr || tails == nullptr || counts == nullptr || ring_len < full ||
        heads_len < 512 || tails_len < 512 || counts_len < 512) {
        return false;
    }
    const std::string pad = ParseIndent(indent);
    const u64 channels = disk_structure.channel;
    const u64 layers = ring_len >= MulSat(full, 2) ? 8 : 4;
    const u64 stride = RowsPerLayer(channels);
    const u64 pointer_entries = std::min(heads_len, std::min(tails_len, counts_len)) / 2;
    const u64 ring_rows = ring_len / kRingRowBytes;
    std::string text;
    for (u64 layer = 0; layer < layers; layer++) {
        // Rings whose pointers or slots lie beyond the tables are not shown.
        for (u64 ch = 0; ch < channels; ch++) {
            const u64 idx = layer * channels + ch;
            const u64 row = layer * stride + ch;
            if (idx >= pointer_entries || row >= ring_rows) {
                break;
            }
            const u32 head = ReadU16(heads + 2 * idx);
            const u32 tail = ReadU16(tails + 2 * idx);
            const u32 count = ReadU16(counts + 2 * idx);
            AppendLine(text, pad, "\nlayer=%u  ch=%u  head=%4u  tail=%4u  count=%4u\n", static_cast<u32>(layer),
                       static_cast<u32>(ch), head, tail, count);
            if (!RingMatchesCount(head, tail, count)) {
                AppendLine(text, pad, "    Oops! head-tail != count=%u\n", count);
                out += text;
                return true;
            }
            const u8* slots = ring + row * kRingRowBytes;
            for (u32 i = 0; i < count; i++) {
                const u32 slot = (head + i) % kRingSlots;
                AppendLine(text, pad, "    block=%4u\n", ReadU16(slots + 2 * slot));
            }
        }
    }
    out += text;
    return true;
}

bool PrintLayerChanValues(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive)
{
    if (data == nullptr || drive == nullptr || len < 512) {
        return false;
    }
    u64 layers = 4;
    u64 channels = disk_structure.channel;
    bool die_form = false;
    if (ModelHas(drive, kModelTR0100)) {
        layers = 8;
    } else if (ModelHas(drive, kModelTN0032)) {
        channels = 4;
        die_form = true;
    }
    const std::string pad = ParseIndent(indent);
    const u64 entries = len / 2;
    for (u64 layer = 0; layer < layers; layer++) {
        for (u64 ch = 0; ch < channels; ch++) {
            const u64 idx = layer * channels + ch;
            if (idx >= entries) {
                return true;  // the rest lies beyond the list
            }
            const u32 value = ReadU16(data + 2 * idx);
            if (die_form) {
                AppendLine(out, pad, "layer=%u die=%u ch=%u  value=%4u\n", static_cast<u32>(layer & 1),
                           static_cast<u32>(layer >> 1 & 1), static_cast<u32>(ch), value);
            } else {
                AppendLine(out, pad, "layer=%u  ch=%u  value=%4u\n", static_cast<u32>(layer), static_cast<u32>(ch),
                           value);
            }
        }
    }
    return true;
}

bool PrintLayerChanBlocks(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive)
{
    if (data == nullptr || drive == nullptr) {
        return false;
    }
    const u64 full = StructureSize(kRingRowBytes);
    u64 layers = 4;
    u64 channels = disk_structure.channel;
    if (ModelHas(drive, kModelTR0100)) {
        layers = 8;
    } else if (ModelHas(drive, kModelTN0032)) {
        if (len != full) {
            return false;
        }
        layers = 2;
        channels = 4;
    } else if (len == full / 2) {
        layers = 2;
    } else if (ModelHas(drive, kModelTN0200)) {
        layers = disk_structure.layer / 2;
    }
    if (channels == 0) {
        return true;
    }
    const std::string pad = ParseIndent(indent);
    const u64 stride = RowsPerLayer(channels);
    const u64 entries = len / 2;
    std::string text;
    for (u64 layer = 0; layer < layers && layer * stride * kRingSlots < entries; layer++) {
        for (u64 ch = 0; ch < channels; ch++) {
            const u64 first = (layer * stride + ch) * kRingSlots;
            if (first >= entries) {
                break;
            }
            // A row cut by the end of the list shows the slots it still holds.
            const u64 slots = std::min<u64>(kRingSlots, entries - first);
            for (u64 s = 0; s < slots; s++) {
                const u16 block = ReadU16(data + 2 * (first + s));
                if (block != kEmptySlot) {
                    AppendLine(text, pad, "layer=%2u  ch=%u  block=%4u\n", static_cast<u32>(layer),
                               static_cast<u32>(ch), block);
                }
            }
        }
    }
    out += text;
    return true;
}

bool PrintWearLevelTable(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive)
{
    const u64 e = StructureSize(kWearRowEntries);
    if (data == nullptr || drive == nullptr || len < e) {
        return false;
    }
    u64 listed = len >= 8 * e ? 2 * e : e;
    const bool small_model = ModelHas(drive, kModelTN0032);
    if (small_model) {
        listed = e / 4;
    }
    if (disk_status.flag_8gb == 2) {
        listed = std::min<u64>(listed, kWearRowEntries / 2);
    }
    // The refusal only asks for E bytes of the 4E a full table takes.
    listed = std::min<u64>(listed, len / 4);
    const std::string pad = ParseIndent(indent < 10 ? indent : 10);
    std::string text;
    for (u64 p = 0; p < listed; p++) {
        if (p % kWearRowEntries == 0) {
            const u32 layer = small_model ? static_cast<u32>(p >> 15 & 1) : static_cast<u32>(p >> 16 & 7);
            const u32 ch = small_model ? static_cast<u32>(p >> 13 & 3) : static_cast<u32>(p >> 13 & 7);
            text += "\n\n";
            AppendLine(text, pad, "**** layer=%-2u  ch=%-2u ****\n", layer, ch);
        }
        AppendLine(text, pad, "    %4u  %10u\n", static_cast<u32>(p % kWearRowEntries), ReadU32(data + 4 * p));
    }
    out = text;
    return true;
}

bool PrintBadBlockTable(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive)
{
    if (data == nullptr || drive == nullptr ||
        (len != kBadTableLenSmall && len != kBadTableLenPaired && len != kBadTableLenLarge)) {
        return false;
    }
    const u64 layers = disk_structure.layer;
    const u32 passes = len == kBadTableLenPaired ? 2 : 1;
    const bool odd_rows = ModelHas(drive, kModelTN0032) || disk_variant_flag == 1 || disk_variant_flag == 2 ||
                          disk_status.flag_8gb == 1 || disk_status.flag_8gb == 2;
    disk_variant_flag = 0;
    if (disk_status.flag_8gb == 4) {
        disk_structure.channel = 8;
        disk_structure.layer = 4;
    }
    const u64 channels = disk_structure.channel;
    const std::string pad = ParseIndent(indent);
    std::string text;
    for (u32 pass = 0; pass < passes; pass++) {
        // The second pass reads the upper half; each pass reads up to the table's end.
        const u8* table = data + pass * kBadTableLenSmall;
        const u64 entries = (len - pass * kBadTableLenSmall) / 2;
        for (u64 j = 0; j < layers; j++) {
            const u64 row = odd_rows ? 2 * j + 1 : j;
            if (row * kBadLayerEntries >= entries) {
                break;
            }
            for (u64 ch = 0; ch < channels; ch++) {
                const u64 first = row * kBadLayerEntries + ch * kBadChannelSlots;
                if (first >= entries) {
                    break;
                }
                const u64 slots = std::min<u64>(kBadChannelSlots, entries - first);
                for (u64 s = 0; s < slots; s++) {
                    const u16 entry = ReadU16(table + 2 * (first + s));
                    if (entry != kEmptySlot) {
                        AppendLine(text, pad, "layer=%u  ch=%u  block=%-4u  type=%s\n", static_cast<u32>(row),
                                   static_cast<u32>(ch), entry & kBlockNumberMask,
                                   (entry & 0x8000) != 0 ? "New    " : "Origin ");
                    }
                }
            }
        }
    }
    out = text;
    return true;
}

bool PrintSystemBlockInfo(std::string& out, const u8* data, u32 len, u32 indent, const DiskInfo* drive)
{
    if (data == nullptr || drive == nullptr || len != kSysIndexTableLen) {
        return false;
    }
    u32 kind;
    u32 layers = 4;
    u32 channels = 8;
    if (ModelHas(drive, kModelTN0032)) {
        kind = SYS_TABLE_A;
        layers = 2;
        channels = 4;
    } else if (ModelHas(drive, kModelTR0050)) {
        kind = disk_status.flag_8gb == 2 || disk_variant_flag == 2 ? SYS_TABLE_D : SYS_TABLE_B;
    } else if (ModelHas(drive, kModelTR0100)) {
        kind = SYS_TABLE_C;
    } else if (ModelHas(drive, kModelTN0100)) {
        kind = SYS_TABLE_D;
    } else if (ModelHas(drive, kModelTN0200)) {
        kind = SYS_TABLE_E;
    } else {
        return false;
    }
    const std::string pad = ParseIndent(indent);
    std::string text = pad + "System Block Info:\n";
    for (const SysTableSlot& slot : sys_table_slots[kind]) {
        u32 ch, layer, index;
        if (kind == SYS_TABLE_A) {
            ch = slot.code & 3;
            layer = slot.code >> 2 & 1;
            index = slot.code >> 3 & 0x7FF;
        } else {
            ch = slot.code & 7;
            layer = slot.code >> 3 & 3;
            index = slot.code >> 5 & 0x7FF;
        }
        const u32 pos = (layer * channels + ch) * kSysIndexEntries + index;
        ZV_CHECK(pos < kSysIndexTableLen / 4);
        const u32 entry = ReadU32(data + 4 * pos);
        text += pad + slot.label;
        AppendLine(text, "", "layer=%u  ch=%u  block=%-8u\n", entry >> 16 & 0xFF, ch, entry & kBlockNumberMask);
    }
    text += "\n" + pad + "All Block Info:\n";
    static const char* const kKindText[] = {"type=blank\n", "type=sys  \n", "type=erase\n", "type=prog \n"};
    u32 kind_count[4] = {0, 0, 0, 0};
    std::string rows;
    for (u32 layer = 0; layer < layers; layer++) {
        for (u32 ch = 0; ch < channels; ch++) {
            for (u32 index = 0; index < kSysIndexEntries; index++) {
                const u32 entry = ReadU32(data + 4 * ((layer * channels + ch) * kSysIndexEntries + index));
                const u32 entry_kind = entry >> 24;
                AppendLine(rows, pad, "layer=%u  ch=%u  block=%-8u", entry >> 16 & 0xFF, ch, entry & kBlockNumberMask);
                if (entry_kind < 4) {
                    rows += kKindText[entry_kind];
                    kind_count[entry_kind]++;
                } else {
                    rows += "type=Error\n";
                }
            }
        }
    }
    AppendLine(text, pad,
               "blank block count=%u  system block count=%u  erase fail block count=%u  prog fail block count=%u\n",
               kind_count[0], kind_count[1], kind_count[2], kind_count[3]);
    out += text;
    out += rows;
    return true;
}

namespace {

struct CellStats {
    u32 count = 0;
    u32 max = 0;
    u32 min = 0;
    u64 sum = 0;
};

// Sum of squared deviations, sum(x^2) - sum^2 / n with integer division, kept
// free of 64-bit overflow: with q = sum / n and r = sum % n it equals
// sum((x - q)^2) - r^2 / n. Saturates where the value exceeds 64 bits.
u64 DevSq(const u32* values, u64 n_values, const CellStats& s)
{
    const u64 q = s.sum / s.count;
    const u64 r = s.sum % s.count;
    u64 acc = 0;
    for (u64 i = 0; i < n_values; i++) {
        const u64 d = values[i] > q ? values[i] - q : q - values[i];
        const u64 sq = d * d;  // d < 2^32
        if (acc > UINT64_MAX - sq) {
            return UINT64_MAX;
        }
        acc += sq;
    }
    return acc - r * r / s.count;
}

}  // namespace

bool PrintWearStatistics(std::string& out, u8* erase_counts, u32 erase_len, const u8* bad, u32 bad_len,
                         const u8* system_index, u32 system_len, bool use_system)
{
    if (erase_counts == nullptr || bad == nullptr || system_index == nullptr) {
        return false;
    }
    const u64 full = StructureSize(32768);
    u64 channels = 8;
    u64 blocks = kWearRowEntries;
    u64 layers = bad_len == StructureSize(2048) ? 4 : 8;
    bool odd_rows = false;
    if (erase_len == full / 4) {
        layers = 2;
        channels = 4;
        odd_rows = true;
    }
    if (erase_len == full / 2) {
        layers = 4;
        channels = 8;
        blocks = 4096;
        odd_rows = false;
    }
    const u64 erase_entries = erase_len / 4;
    // The cell of (layer, channel, block), or erase_entries when it lies beyond the table.
    auto cell = [&](u64 layer, u64 ch, u64 block) -> u64 {
        const u64 pos = (layer * channels + ch) * blocks + block;
        return pos < erase_entries ? pos : erase_entries;
    };

    if (use_system) {
        const u64 system_entries = system_len / 4;
        for (u64 layer = 0; layer < layers; layer++) {
            for (u64 ch = 0; ch < channels; ch++) {
                for (u64 index = 0; index < kSysIndexEntries; index++) {
                    const u64 at = (layer * channels + ch) * kSysIndexEntries + index;
                    if (at >= system_entries) {
                        continue;
                    }
                    const u32 entry = ReadU32(system_index + 4 * at);
                    const u64 block_layer = entry >> 16 & 0xFF;
                    const u64 block = entry & kBlockNumberMask;
                    // An entry naming no cell of the matrix marks nothing.
                    if (block_layer >= layers || block >= blocks) {
                        continue;
                    }
                    const u64 pos = cell(block_layer, ch, block);
                    if (pos < erase_entries) {
                        WriteU32(erase_counts + 4 * pos, kSystemMarker + (entry >> 24 & 7));
                    }
                }
            }
        }
    }

    const u64 bad_entries = bad_len / 2;
    const u64 bad_channels = std::min<u64>(disk_structure.channel, channels);
    for (u64 j = 0; j < layers; j++) {
        const u64 row = odd_rows ? 2 * j + 1 : j;
        for (u64 ch = 0; ch < bad_channels; ch++) {
            for (u64 s = 0; s < kBadChannelSlots; s++) {
                const u64 at = row * kBadLayerEntries + ch * kBadChannelSlots + s;
                if (at >= bad_entries) {
                    break;
                }
                const u16 entry = ReadU16(bad + 2 * at);
                const u64 block = entry & kBlockNumberMask;
                if (entry == kEmptySlot || block >= blocks) {
                    continue;
                }
                const u64 pos = cell(j, ch, block);
                if (pos < erase_entries) {
                    WriteU32(erase_counts + 4 * pos, kBadMarker + (entry >> 15));
                }
            }
        }
    }

    // A value of a cell, or a marker for block 0 and for cells beyond the table.
    auto value = [&](u64 layer, u64 ch, u64 block) -> u32 {
        const u64 pos = cell(layer, ch, block);
        if (block == 0 || pos >= erase_entries) {
            return kMarkerBase;
        }
        return ReadU32(erase_counts + 4 * pos);
    };

    std::string text = "layer, ch, blk_cnt, max, min, average, devsq\n";
    std::string heading;
    std::vector<u32> counted;
    counted.reserve(blocks);
    for (u64 layer = 0; layer < layers; layer++) {
        for (u64 ch = 0; ch < channels; ch++) {
            CellStats s;
            counted.clear();
            for (u64 block = 1; block < blocks; block++) {
                const u32 v = value(layer, ch, block);
                if (v >= kMarkerBase) {
                    continue;
                }
                if (s.count == 0 || v > s.max) {
                    s.max = v;
                }
                if (s.count == 0 || v < s.min) {
                    s.min = v;
                }
                s.count++;
                s.sum += v;
                counted.push_back(v);
            }
            if (s.count == 0) {
                // Nothing counted: no mean and no deviation to report.
                AppendLine(text, "", "%u, %u, 0, 0, 0, 0, 0\n", static_cast<u32>(layer), static_cast<u32>(ch));
            } else {
                AppendLine(text, "", "%u, %u, %u, %u, %u, %u, %llu\n", static_cast<u32>(layer), static_cast<u32>(ch),
                           s.count, s.max, s.min, static_cast<u32>(s.sum / s.count),
                           static_cast<unsigned long long>(DevSq(counted.data(), counted.size(), s)));
            }
            AppendLine(heading, "", "layer%02u_ch%02u,", static_cast<u32>(layer), static_cast<u32>(ch));
        }
    }
    text += "\n\n";
    text += heading;
    text += "\n";
    for (u64 block = 0; block < blocks; block++) {
        for (u64 layer = 0; layer < layers; layer++) {
            for (u64 ch = 0; ch < channels; ch++) {
                const u32 v = value(layer, ch, block);
                if (v >= kMarkerBase) {
                    text += "        -1,";
                } else {
                    AppendLine(text, "", "%-10u,", v);
                }
            }
        }
        text += "\n";
    }
    out = text;
    return true;
}
