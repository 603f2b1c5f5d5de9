#include "disk_info.h"

#include <cstdio>
#include <cstring>

#include "decode_util.h"

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

// IDENTIFY DEVICE byte offsets (ACS: words 10-19, 23-26, 27-46, 60-61, 83, 100-103, 129, 130).
const u32 kIdentifyLen = 512;
const u32 kIdSerialOff = 20;
const u32 kIdSerialLen = 20;
const u32 kIdFirmwareOff = 46;
const u32 kIdFirmwareLen = 8;
const u32 kIdModelOff = 54;
const u32 kIdModelLen = 40;
const u32 kIdLba28Off = 120;
const u32 kIdFeatures83Hi = 167; // word 83 bit 10 is bit 2 of its high byte
const u32 kIdLba48Off = 200;

// Standard INQUIRY byte offsets (SPC); the serial is the first 20 vendor-specific bytes.
const u32 kInqModelOff = 16;
const u32 kInqModelLen = 16;
const u32 kInqFirmwareOff = 32;
const u32 kInqFirmwareLen = 4;
const u32 kInqSerialOff = 36;
const u32 kInqSerialLen = 20;

// ATA strings hold two characters per word, high byte first.
std::string IdentifyText(const u8* data, u32 off, u32 width)
{
    char buf[kIdModelLen + 1] = {};
    memcpy(buf, data + off, width);
    SwapBytePairs(buf, width);
    std::string s(buf);
    trimBlanks(s);
    return s;
}

// Only the bytes the answer holds: a short answer gives a shorter or empty text.
std::string InquiryText(const u8* data, u32 len, u32 off, u32 width)
{
    char buf[kInqSerialLen + 1] = {};
    u32 n = len > off ? len - off : 0;
    if (n > width) {
        n = width;
    }
    memcpy(buf, data + off, n);
    std::string s(buf);
    trimBlanks(s);
    return s;
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
    u64 last = ReadBe32(data);
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

void trimBlanks(std::string& s)
{
    if (s.empty()) {
        return;
    }
    s.erase(0, s.find_first_not_of(' '));
    size_t last = s.find_last_not_of(' ');
    s.erase(last == std::string::npos ? 0 : last + 1);
}

bool DiskInfo::FillFromIdentify(const u8* data, u32 len)
{
    if (data == nullptr || len != kIdentifyLen) {
        return false;
    }
    u64 blocks = (data[kIdFeatures83Hi] & 0x04) != 0 ? ReadU64(data + kIdLba48Off) : ReadU32(data + kIdLba28Off);
    model = IdentifyText(data, kIdModelOff, kIdModelLen);
    serial = IdentifyText(data, kIdSerialOff, kIdSerialLen);
    firmware = IdentifyText(data, kIdFirmwareOff, kIdFirmwareLen);
    lba_count = blocks;
    capacity_gb = CapacityGbOfBlocks(blocks);
    SetSmartVer(model);
    SetFpgaHwVersion(data);
    return true;
}

bool DiskInfo::FillFromInquiry(const u8* data, u32 len)
{
    if (data == nullptr || len == 0) {
        return false;
    }
    model = InquiryText(data, len, kInqModelOff, kInqModelLen);
    firmware = InquiryText(data, len, kInqFirmwareOff, kInqFirmwareLen);
    serial = InquiryText(data, len, kInqSerialOff, kInqSerialLen);
    SetSmartVer(model);
    return true;
}

void DiskInfo::SetSmartVer(const std::string& m) { smart_ver = FamilyOfModel(m); }

void DiskInfo::SetFpgaHwVersion(const u8* identify)
{
    if (identify == nullptr || smart_ver != VER_P37RV) {
        return;
    }
    u32 hw = identify[260] & 7;
    hw_ver = std::string(1, hw <= 1 ? 'A' : char(64 + hw));
    char buf[32];
    snprintf(buf, sizeof(buf), "%X%X0.T0%X", (identify[259] >> 2) + 1, identify[259] & 3, identify[258] & 0xF);
    fpga_ver = buf;
}
