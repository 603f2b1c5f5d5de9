#include "disk_info.h"

#include <cstring>

namespace {

const char* const p37rv_models[] = {"QUMA-P37RV-0032", "QUMA-P37RV-0064", "QUMA-P37RV-0128",
                                    "QUMA-W37RV-0064", "QUMA-W37RV-0128", "QUMA-W37RV-0256"};
const char* const k4410_models[] = {"QUMA-K4410TR0050", "QUMA-K4410TR0100", "QUMA-K4410TN0100",
                                    "QUMA-K4410TN0200", "QUMA-K4410TN0032"};
const char* const g2t7_models[] = {"QUMA-G2T7"};
const char* const k6410_models[] = {"QUMA-K6410TR0050", "QUMA-K6410TR0100", "QUMA-K6410TN0100",
                                    "QUMA-K6410TN0200", "QUMA-K6410TN0032"};

bool MatchesFamily(const std::string& model, u32 family)
{
    for (u32 i = 0; i < smart_ver_model_num[family]; i++) {
        const char* prefix = smart_ver_model_list[family][i];
        size_t plen = strlen(prefix);
        if (plen <= model.size() && memcmp(model.data(), prefix, plen) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

const char* const* const smart_ver_model_list[VER_UNKNOWN] = {p37rv_models, k4410_models, g2t7_models,
                                                               k6410_models};
const u32 smart_ver_model_num[VER_UNKNOWN] = {6, 5, 1, 5};

bool DiskInfo::operator==(const DiskInfo& o) const
{
    return index == o.index && device_name == o.device_name && link_type == o.link_type &&
           smart_ver == o.smart_ver && model == o.model && serial == o.serial && firmware == o.firmware &&
           fpga_ver == o.fpga_ver && hw_ver == o.hw_ver && lba_count == o.lba_count &&
           capacity_gb == o.capacity_gb;
}

const char* LinkTypeName(u32 link_type)
{
    switch (link_type) {
    case LINK_ATA:
        return "ATA";
    case LINK_ATA_BY_SCSI:
        return "ATA by SCSI";
    case LINK_SCSI:
        return "SCSI";
    case LINK_ATA_BY_FC:
        return "ATA by FC";
    default:
        return "Unknown";
    }
}

bool isFamilyP37RV(const std::string& model) { return MatchesFamily(model, VER_P37RV); }
bool isFamilyK4410(const std::string& model) { return MatchesFamily(model, VER_K4410); }
bool isFamilyG2T7(const std::string& model) { return MatchesFamily(model, VER_G2T7); }

u32 FamilyOfModel(const std::string& model)
{
    for (u32 family = 0; family < VER_UNKNOWN; family++) {
        if (MatchesFamily(model, family)) {
            return family;
        }
    }
    return VER_UNKNOWN;
}

u32 CapacityGbOfBlocks(u64 lba_count)
{
    // A failed READ CAPACITY leaves one block: never let the offset wrap.
    if (lba_count < 21168) {
        return 0;
    }
    return static_cast<u32>((lba_count - 21168) / 1953504);
}

bool CalcCapacityGB(DiskInfo* disk, const u8* data, u32 len)
{
    if (disk == nullptr || data == nullptr || len <= 3) {
        return false;
    }
    u64 last = (u64(data[0]) << 24) | (u64(data[1]) << 16) | (u64(data[2]) << 8) | u64(data[3]);
    disk->lba_count = last + 1;
    disk->capacity_gb = CapacityGbOfBlocks(disk->lba_count);
    return true;
}

void SwapBytePairs(char* buf, u32 len)
{
    if (buf == nullptr) {
        return;
    }
    for (u32 i = 1; i < len; i += 2) {
        char t = buf[i - 1];
        buf[i - 1] = buf[i];
        buf[i] = t;
    }
}

void SwapBytePairsCopy(char* dst, const char* src, u32 len)
{
    if (dst == nullptr || src == nullptr) {
        return;
    }
    for (u32 i = 1; i < len; i += 2) {
        dst[i - 1] = src[i];
        dst[i] = src[i - 1];
    }
}
