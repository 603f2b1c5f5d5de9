#include "smart_decoder.h"

#include <cstdio>

#include "decode_util.h"
#include "disk_analyser.h"

namespace {

struct SmartNameRow {
    u8 id;
    const char* name;
    u8 width = 28;  // stored blank-padded to this width
};

const SmartNameRow k4410_names[] = {
    {0x05, "Reallocated Sector Count"},
    {0x09, "Power-On Houres"},
    {0x0C, "Device Power Cycle Count"},
    {0x0D, "Soft Read Rate"},
    {0xB1, "Wear Leveling Count"},
    {0xC2, "Disk Temperature"},
    {0xC3, "Recovered ECC Error Count"},
    {0xC5, "Current Pending Sector"},
    {0xC6, "Offline Uncorrectable"},
    {0xC7, "CRC Error Count"},
    {0xD2, "Disk Page Size"},
    {0xE5, "Reserved Block"},
    {0xE8, "Defect Block"},
    {0xE9, "Total Erase Count"},
    {0xEA, "Block Erase Fail Count"},
    {0xEB, "Block Program Fail Count"},
    {0xEC, "New Bad Block Count"},
    {0xED, "Command Timeout Count"},
    {0xEE, "ECC Error Count"},
    {0xF1, "Map-Table Rebuild Count"},
    {0xF2, "Capacitor Status"},
    {0xF3, "Former Power Cycle CRC Error"},
    {0xF4, "Total CRC Count"},
    {0xF5, "Reset Count"},
    {0xF6, "End to End Error"},
    {0xF7, "Highest Temperature"},
    {0xF9, "Soft Reset Count"},
    {0xFB, "Disk Life Expend"},
};

// Shared by the G2T7 and K6410 families.
const SmartNameRow g2t7_k6410_names[] = {
    {0x01, "Raw Read Error Rate"},
    {0x02, "Raw Write Error Rate"},
    {0x03, "Soft Read Error Rate"},
    {0x04, "Block Erase Fail Rate"},
    {0x09, "Power-On Minutes", 29},
    {0x0C, "Device Power Cycle Count"},
    {0x0D, "Soft Read Count"},
    {0xC2, "Disk Temperature"},
    {0xC4, "Reallocation count"},
    {0xC7, "CRC Error Count(P0)"},
    {0xC8, "CRC Error Count(P1)"},
    {0xD2, "Page Size", 22},
    {0xE1, "Rebuild Flag"},
    {0xE8, "Defect Block"},
    {0xE9, "Total Erase Count"},
    {0xEA, "Block Erase Fail Count"},
    {0xEB, "Block Program Fail Count"},
    {0xEC, "New Bad Block Count"},
    {0xEE, "UNC Error Count"},
    {0xF1, "Map-Table Rebuild Count"},
    {0xF2, "Capacitor Status"},
    {0xF3, "Former Pow_Cyc CRC Error(P0)"},
    {0xF4, "Former Pow_Cyc CRC Error(P1)"},
    {0xF5, "Hard Reset Count(P0)"},
    {0xF6, "Hard Reset Count(P1)"},
    {0xF7, "Highest Temperature"},
    {0xF8, "8b/10b Error Count(P0)"},
    {0xF9, "8b/10b Error Count(P1)"},
    {0xFA, "Current_Pending_Sector"},
    {0xFB, "Disk Life Expend"},
};

// Drives of no known family get the common names.
const SmartNameRow generic_names[] = {
    {0x01, "Raw read error rate"},
    {0x02, "Throughput performance"},
    {0x03, "Spinup time"},
    {0x04, "Start/Stop count"},
    {0x05, "Reallocated sector count"},
    {0x06, "Read channel margin"},
    {0x07, "Seek error rate"},
    {0x08, "Seek timer performance"},
    {0x09, "Power-on hours count"},
    {0x0A, "Spinup retry count"},
    {0x0B, "Calibration retry count"},
    {0x0C, "Power cycle count"},
    {0x0D, "Soft read error rate"},
    {0xBB, "vendor-specific"},
    {0xBD, "vendor-specific"},
    {0xBE, "vendor-specific"},
    {0xBF, "G-sense error rate"},
    {0xC0, "Power-off retract count"},
    {0xC1, "Load/Unload cycle count"},
    {0xC2, "HDA temperature"},
    {0xC3, "Hardware ECC recovered"},
    {0xC4, "Reallocation count"},
    {0xC5, "Current pending sector count"},
    {0xC6, "Offline uncorrectable count"},
    {0xC7, "UDMA CRC error rate"},
    {0xC8, "Write error rate"},
    {0xC9, "Soft read error rate"},
    {0xCA, "Data Address Mark errors"},
    {0xCB, "Run out cancel"},
    {0xCC, "Soft ECC correction"},
    {0xCD, "Thermal asperity rate"},
    {0xCE, "Flying height"},
    {0xCF, "Spin high current"},
    {0xD0, "Spin buzz"},
    {0xD1, "Offline seek performance"},
    {0xDC, "Disk shift"},
    {0xDD, "G-sense error rate"},
    {0xDE, "Load/Unload retry count"},
    {0xE0, "Load frication"},
    {0xE1, "Load/Unload cycle count"},
    {0xE2, "Load-in time"},
    {0xE3, "Torque amplification count"},
    {0xE4, "Power-off retract count"},
    {0xE6, "GMR head amplitude"},
    {0xE7, "Temperature"},
    {0xF0, "Head flying hours"},
    {0xFA, "Read error retry rate"},
};

template <size_t N>
void StoreNames(std::vector<std::string>& table, const SmartNameRow (&rows)[N])
{
    for (const SmartNameRow& row : rows) {
        std::string name = row.name;
        if (name.size() < row.width) {
            name.append(row.width - name.size(), ' ');
        }
        table[row.id] = name;
    }
}

// A family value that no table covers falls back to the generic names rather
// than indexing past the tables.
u32 AtaNameTable(const DiskInfo* disk)
{
    if (disk == nullptr || disk->smart_ver > VER_UNKNOWN) {
        return VER_UNKNOWN;
    }
    return disk->smart_ver;
}

// The SAS pages are named one family below the drive's own; a family with none
// below it, and any value out of range, gets the K6410 names.
u32 ScsiNameTable(const DiskInfo* disk)
{
    if (disk == nullptr || disk->smart_ver < VER_K4410 || disk->smart_ver > VER_UNKNOWN) {
        return VER_K6410;
    }
    return disk->smart_ver - 1;
}

const std::string& AttrName(u32 table, u8 id) { return vec_smart_attr_name[table][id]; }

} // namespace

void DiskAnalyser::InitSmartAttrName()
{
    vec_smart_attr_name.assign((unsigned int)(VER_UNKNOWN) + 1, std::vector<std::string>(256, "Unknown"));
    StoreNames(vec_smart_attr_name[VER_K4410], k4410_names);
    StoreNames(vec_smart_attr_name[VER_G2T7], g2t7_k6410_names);
    StoreNames(vec_smart_attr_name[VER_K6410], g2t7_k6410_names);
    StoreNames(vec_smart_attr_name[VER_UNKNOWN], generic_names);
}

bool LoadAtaSmartAttr(std::vector<AtaSmartAttr>& attrs, const u8* data, u32 len)
{
    if (data == nullptr || len != kAtaSmartValueThresLen) {
        return false;
    }
    for (u32 i = 0; i < kAtaSmartSlots; i++) {
        const u8* slot = data + 2 + 12 * i;
        if (slot[0] == 0) {
            continue;
        }
        AtaSmartAttr a;
        a.id = slot[0];
        a.flags = ReadU16(slot + 1);
        a.cur = slot[3];
        a.worst = slot[4];
        a.thresh = data[512 + 3 + 12 * i];
        a.raw = ReadLeBytes(slot + 5, 7);
        attrs.push_back(a);
    }
    return true;
}

bool LoadScsiSmartValue(std::vector<ScsiSmartValue>& values, const u8* entries, u32 len)
{
    if (entries == nullptr) {
        return false;
    }
    for (u32 off = 0; len - off >= sizeof(ScsiSmartValue); off += sizeof(ScsiSmartValue)) {
        const u8* e = entries + off;
        if (e[0] == 0) {
            break;
        }
        ScsiSmartValue v;
        v.id = e[0];
        v.reserved[0] = e[1];
        v.reserved[1] = e[2];
        v.reserved[2] = e[3];
        v.raw = ReadBe64(e + 4);
        values.push_back(v);
    }
    return true;
}

bool LoadScsiSmartThreshold(std::vector<ScsiSmartThreshold>& thresholds, const u8* entries, u32 len)
{
    if (entries == nullptr) {
        return false;
    }
    for (u32 off = 0; len - off >= sizeof(ScsiSmartThreshold); off += sizeof(ScsiSmartThreshold)) {
        const u8* e = entries + off;
        if (e[0] == 0) {
            break;
        }
        ScsiSmartThreshold t;
        t.id = e[0];
        t.flag = e[1];
        t.cur = e[2];
        t.max = e[3];
        t.min = e[4];
        t.thresh = e[5];
        t.reserved[0] = e[6];
        t.reserved[1] = e[7];
        thresholds.push_back(t);
    }
    return true;
}

bool PrintAtaSmartTable(std::string& out, const std::vector<AtaSmartAttr>& attrs, u32 indent, const DiskInfo* disk)
{
    const std::string ind = ParseIndent(indent);
    const u32 table = AtaNameTable(disk);
    out = ind;
    out += "( ID )Attribute Name                  Cur   Worst  Thres     Flag    Type    Updated          Raw\n";
    for (const AtaSmartAttr& a : attrs) {
        char raw[32] = {};
        char row[1024] = {};
        snprintf(raw, sizeof(raw), "%llu", static_cast<unsigned long long>(a.raw));
        snprintf(row, sizeof(row), "(0x%02X)%-28s    %3u    %3u    %3u    %5u   %8s   %7s  %10s", a.id,
                 AttrName(table, a.id).c_str(), a.cur, a.worst, a.thresh, a.flags,
                 (a.flags & 0x1) ? "Pre_fail" : "Old_age ", (a.flags & 0x2) ? "Always " : "Offline", raw);
        out += ind;
        out += row;
        out += "\n";
    }
    return true;
}

bool PrintScsiSmartValue(std::string& out, const std::vector<ScsiSmartValue>& values, u32 indent,
                         const DiskInfo* disk)
{
    const std::string ind = ParseIndent(indent);
    const u32 table = ScsiNameTable(disk);
    out = ind;
    out += "( ID )Attribute Name                                Cur\n";
    for (const ScsiSmartValue& v : values) {
        char raw[32] = {};
        char row[1024] = {};
        const unsigned long long value = v.raw;
        snprintf(raw, sizeof(raw), "%llu", value);
        snprintf(row, sizeof(row), "(0x%02X)%-28s    %17s    ", v.id, AttrName(table, v.id).c_str(), raw);
        out += ind;
        out += row;
        out += "\n";
    }
    return true;
}

bool PrintScsiSmartThreshold(std::string& out, const std::vector<ScsiSmartThreshold>& thresholds, u32 indent,
                             const DiskInfo* disk)
{
    const std::string ind = ParseIndent(indent);
    const u32 table = ScsiNameTable(disk);
    out = ind;
    out += "( ID )Attribute Name                  Cur    Max    Min    Thres     Flag\n";
    for (const ScsiSmartThreshold& t : thresholds) {
        char row[1024] = {};
        snprintf(row, sizeof(row), "(0x%02X)%-28s    %3u    %3u    %3u    %3u    %5u    ", t.id,
                 AttrName(table, t.id).c_str(), t.cur, t.max, t.min, t.thresh, t.flag);
        out += ind;
        out += row;
        out += "\n";
    }
    return true;
}

bool ParseAtaSmartValueThres(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    std::vector<AtaSmartAttr> attrs;
    if (!LoadAtaSmartAttr(attrs, data, len)) {
        return false;
    }
    return PrintAtaSmartTable(out, attrs, indent, static_cast<const DiskInfo*>(ctx));
}

// The SAS pages: a 4-byte header that must be there, then whole entries.
bool ParseScsiSmartValue(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    std::vector<ScsiSmartValue> values;
    if (data == nullptr || len < kScsiLogHeaderLen ||
        !LoadScsiSmartValue(values, data + kScsiLogHeaderLen, len - kScsiLogHeaderLen)) {
        return false;
    }
    return PrintScsiSmartValue(out, values, indent, static_cast<const DiskInfo*>(ctx));
}

bool ParseScsiSmartThreshold(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    std::vector<ScsiSmartThreshold> thresholds;
    if (data == nullptr || len < kScsiLogHeaderLen ||
        !LoadScsiSmartThreshold(thresholds, data + kScsiLogHeaderLen, len - kScsiLogHeaderLen)) {
        return false;
    }
    return PrintScsiSmartThreshold(out, thresholds, indent, static_cast<const DiskInfo*>(ctx));
}
