// Drive discovery and classification, with the per-model flash geometry defaults of the
// maker's drives. The records themselves are filled by DiskInfo (disk_info.h).
#ifndef ZV_DISK_DISCOVERY_H
#define ZV_DISK_DISCOVERY_H

#include <string>
#include <vector>

#include "common.h"
#include "disk_info.h"

// "[8Ah] Get Disk Structure": flash structure of the SATA family (first 20 bytes, host order).
struct DiskStructure {
    u32 channel;
    u32 layer;
    u32 block;
    u32 page_num;
    u32 page_size;
};
static_assert(sizeof(DiskStructure) == 20, "DiskStructure is five u32 words");

extern DiskStructure disk_structure;
// 0 when the model is not in the geometry table; only zero/non-zero is read
// (older or newer SAS flash-table layout).
extern u32 disk_model_code;
// 1: the 8GB K4410 variant; 2: the two-layer TR0050 variant; reset by its reader.
extern u32 disk_variant_flag;

// The drives found by the last scan, in probe order; one heap instance per process.
class DiskList {
public:
    static DiskList* GetInstance();

    // Probes every drive node name and keeps each node that classifies.
    void Scan();
    void GetList(std::vector<DiskInfo>& out) const;
    // Copies the first record with this probe number; false when there is none.
    bool FindByIndex(u32 index, DiskInfo* out) const;

private:
    DiskList() = default;

    std::vector<DiskInfo> disk_list;
};

// Number of scan probes; each probe has a primary and a fallback node name.
const u32 DISK_PROBE_NUM = 65536;
const u32 DISK_NAME_BUF_LEN = 128;

// Node names of probe i, into a zero-filled buffer of DISK_NAME_BUF_LEN bytes.
void diskProbeName(u32 i, char* buf);
void diskProbeFallbackName(u32 i, char* buf);

// Decides the link type of the node by its answers and fills the record; reads only
// disk->index on entry. On failure the record is unchanged. Prints nothing.
bool classifyDevice(const char* path, DiskInfo* disk);
bool classifyDeviceStr(const std::string& path, DiskInfo* disk);

// Presets disk_model_code and Channel, CE, Block, Page Num of disk_geometry;
// true when the model is in the table.
bool setDiskGeometryByModel(const DiskInfo* disk);
void setDiskGeometryByModelAlt(const DiskInfo* disk, u32 mode);

// Presets Channel and Layer of disk_structure (and disk_variant_flag for one model).
void setDiskStructureByModel(const DiskInfo* disk);
void setDiskStructureByModelEx(const DiskInfo* disk, u32 kind, u32 size);

#endif
