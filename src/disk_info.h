// The physical-drive record, its filling from identification answers, and the model families.
#ifndef ZV_DISK_INFO_H
#define ZV_DISK_INFO_H

#include <string>

#include "common.h"

enum LinkType {
    LINK_ATA = 1,
    LINK_ATA_BY_SCSI = 2,
    LINK_SCSI = 4,
    LINK_ATA_BY_FC = 8,
};

enum SMART_ATTR_VER {
    VER_P37RV = 0,
    VER_K4410 = 1,
    VER_G2T7 = 2,
    VER_K6410 = 3,
    VER_UNKNOWN = 4,
};

struct DiskInfo {
    u32 index = 0;
    std::string device_name;
    u32 link_type = 0;
    u32 smart_ver = 0;
    std::string model;
    std::string serial;
    std::string firmware;
    std::string fpga_ver;
    std::string hw_ver;
    u64 lba_count = 0;
    u32 capacity_gb = 0;

    // Filling from identification answers: texts trimmed, the family chosen by the model.
    bool FillFromIdentify(const u8* data, u32 len);
    bool FillFromInquiry(const u8* data, u32 len);
    void SetSmartVer(const std::string& model);
    void SetFpgaHwVersion(const u8* identify);

    bool operator==(const DiskInfo& other) const;
    bool operator!=(const DiskInfo& other) const { return !(*this == other); }
};

// Model prefixes of families 0 to 3, in match order.
extern const char* const* const smart_ver_model_list[VER_UNKNOWN];
extern const u32 smart_ver_model_num[VER_UNKNOWN];

// Text shown after "LinkType : " for a link type value.
const char* LinkTypeName(u32 link_type);

bool isFamilyP37RV(const std::string& model);
bool isFamilyK4410(const std::string& model);
bool isFamilyG2T7(const std::string& model);
// First family whose prefix list matches, else VER_UNKNOWN.
u32 FamilyOfModel(const std::string& model);

// Fills lba_count and capacity_gb from READ CAPACITY(10) data.
bool CalcCapacityGB(DiskInfo* disk, const u8* data, u32 len);
// IDEMA capacity in decimal GB; 0 below the 21168-block offset.
u32 CapacityGbOfBlocks(u64 lba_count);

// Removes leading and trailing blanks (0x20 only) in place.
void trimBlanks(std::string& s);

void SwapBytePairs(char* buf, u32 len);
void SwapBytePairsCopy(char* dst, const char* src, u32 len);

#endif
