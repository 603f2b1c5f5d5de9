// SMART attribute tables of SATA (SMART READ DATA + THRESHOLDS) and SAS (vendor
// LOG SENSE pages 34h and 35h) drives, named by model family.
#ifndef ZV_SMART_DECODER_H
#define ZV_SMART_DECODER_H

#include <string>
#include <vector>

#include "common.h"
#include "disk_info.h"

// One occupied slot of the SMART data page with its threshold.
struct AtaSmartAttr {
    u8 id;
    u16 flags;
    u8 cur;
    u8 worst;
    u8 thresh;
    u64 raw;  // six raw bytes plus the slot's last byte as bits 48 to 55
};

// The SMART READ DATA page followed by the SMART READ THRESHOLDS page.
const u32 kAtaSmartValueThresLen = 1024;
const u32 kAtaSmartSlots = 30;
// LOG SENSE page header in front of the SAS pages' entries.
const u32 kScsiLogHeaderLen = 4;

// An entry of the SAS SMART value page (35h); raw is in host order once loaded.
struct __attribute__((packed)) ScsiSmartValue {
    u8 id;
    u8 reserved[3];
    u64 raw;
};
static_assert(sizeof(ScsiSmartValue) == 12, "SAS SMART value entry is 12 bytes");

// An entry of the SAS SMART threshold page (34h).
struct ScsiSmartThreshold {
    u8 id;
    u8 flag;
    u8 cur;
    u8 max;
    u8 min;
    u8 thresh;
    u8 reserved[2];
};
static_assert(sizeof(ScsiSmartThreshold) == 8, "SAS SMART threshold entry is 8 bytes");

// Callbacks: ctx is the drive's DiskInfo or null; each replaces out by its table.
bool ParseAtaSmartValueThres(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseScsiSmartValue(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseScsiSmartThreshold(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

bool LoadAtaSmartAttr(std::vector<AtaSmartAttr>& attrs, const u8* data, u32 len);
// entries/len: what follows the page header.
bool LoadScsiSmartValue(std::vector<ScsiSmartValue>& values, const u8* entries, u32 len);
bool LoadScsiSmartThreshold(std::vector<ScsiSmartThreshold>& thresholds, const u8* entries, u32 len);

bool PrintAtaSmartTable(std::string& out, const std::vector<AtaSmartAttr>& attrs, u32 indent, const DiskInfo* disk);
bool PrintScsiSmartValue(std::string& out, const std::vector<ScsiSmartValue>& values, u32 indent,
                         const DiskInfo* disk);
bool PrintScsiSmartThreshold(std::string& out, const std::vector<ScsiSmartThreshold>& thresholds, u32 indent,
                             const DiskInfo* disk);

#endif
