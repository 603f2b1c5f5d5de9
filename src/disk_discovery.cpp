#include "disk_discovery.h"

#include <cstdio>
#include <cstring>

#include "disk_cmnd.h"
#include "disk_transport.h"
#include "settings.h"

DiskStructure disk_structure;
u32 disk_model_code = 0;
u32 disk_variant_flag = 0;

namespace {

// Default SAS geometry applied before the table, for every drive.
const u32 kDefaultChannel = 16;
const u32 kDefaultBlock = 8296;
const u32 kAltDefaultPageNum = 64;

struct GeometryRow {
    const char* model_a;
    const char* model_b;
    u32 model_code;
    u32 channel;
    u32 ce;
    u32 block;
    u32 page_num;
};

const GeometryRow geometry_rows[] = {
    {"QUMA-K6470BN0200", "QUMA-K647YBN0200", 1, 16, 2, 8296, 128},
    {"QUMA-K6470BN0400", "QUMA-K647YBN0400", 2, 16, 4, 8296, 128},
    {"QUMA-K6470BN0800", "QUMA-K647YBN0800", 3, 16, 8, 8296, 128},
    {"QUMA-K647YBN0300", "QUMA-K6470BN0300", 5, 10, 4, 4096, 256},
    {"QUMA-K647YBN0600", "QUMA-K6470BN0600", 6, 10, 4, 8192, 256},
};

// Every row writes Channel, CE, Block and Page Num; rows that keep a base value repeat it.
struct GeometryAltRow {
    const char* model_a;
    const char* model_b; // null when the row has one name
    u32 channel;
    u32 ce;
    u32 block_mode1;
    u32 page_num_mode1;
    u32 block;
    u32 page_num;
};

const GeometryAltRow geometry_alt_rows[] = {
    {"QUMA-K6470BR0100", nullptr, 16, 2, 8296, 64, 8296, 64},
    {"QUMA-K6470BR0200", nullptr, 16, 4, 8296, 64, 8296, 64},
    {"QUMA-K6470BN0200", "QUMA-K647YBN0200", 16, 2, 8296, 128, 8296, 128},
    {"QUMA-K6470BN0400", "QUMA-K647YBN0400", 16, 4, 8296, 128, 4096, 256},
    {"QUMA-K6470BN0800", "QUMA-K647YBN0800", 16, 8, 8296, 256, 8296, 256},
    {"QUMA-K6470BN0300", "QUMA-K647YBN0300", 10, 4, 8296, 128, 4096, 256},
    {"QUMA-K6470BN0600", "QUMA-K647YBN0600", 10, 4, 8296, 128, 8192, 256},
};

struct StructureRow {
    const char* model;
    u32 channel;
    u32 layer;
    bool sets_variant;
    u32 variant_flag;
};

const StructureRow structure_rows[] = {
    {"QUMA-K4410TN0032", 4, 2, false, 0},
    {"QUMA-K4410TR0050", 8, 4, false, 0},
    {"QUMA-K4410TR0100", 8, 8, false, 0},
    {"QUMA-K4410TN0100", 8, 4, false, 0},
    {"QUMA-K4410TN0200", 8, 8, false, 0},
    {"QUMA-K4410T50(8GB)", 8, 4, true, 1},
};

// Kind 1 of the structure variant: a 32-sized TR0050 is the two-layer drive.
struct StructureExRow {
    const char* model;
    bool two_layer_at_32;
};

const StructureExRow structure_ex_rows[] = {
    {"QUMA-K4410TR0050", true},
    {"QUMA-K4410TR0100", false},
    {"QUMA-K4410TN0100", false},
    {"QUMA-K4410TN0200", false},
};

bool Contains(const std::string& model, const char* part)
{
    return part != nullptr && model.find(part) != std::string::npos;
}

const std::string& ModelOf(const DiskInfo* disk)
{
    static const std::string none;
    return disk != nullptr ? disk->model : none;
}

} // namespace

namespace {

// Every probe command moves this many bytes.
const u32 kProbeLen = 512;

// Primary names: one, two, then three letters after "/dev/sd".
const u32 kOneLetterEnd = 26;
const u32 kTwoLetterEnd = kOneLetterEnd + 26 * 26;
const u32 kThreeLetterEnd = kTwoLetterEnd + 26 * 26 * 26;

// Standard INQUIRY: T10 vendor identification starts at byte 8.
const u32 kInqVendorOff = 8;

// Drives of this family report their firmware behind a three-character prefix.
const size_t kK4410FirmwareOff = 3;
const size_t kK4410FirmwareLen = 7;

// A node that does not open (most of the probed names) costs one failed open.
bool TestOpenClose(const char* path)
{
    int handle = 0;
    if (!OpenDiskQuiet(&handle, path)) {
        return false;
    }
    return CloseDiskQuiet(&handle);
}

bool IsAtaVendor(const u8* inquiry) { return memcmp(inquiry + kInqVendorOff, "ATA", 3) == 0; }

// INQUIRY and READ CAPACITY(10) of a drive taken as SCSI; both must answer.
bool ProbeScsi(DiskInfo* disk, u8* inquiry, u8* capacity)
{
    disk->link_type = LINK_SCSI;
    return DiskCmnd::ExecuteQuiet(TYPE_12H_INQUIRY, disk, inquiry, kProbeLen) &&
           DiskCmnd::ExecuteQuiet(TYPE_25H_READ_CAPACITY, disk, capacity, kProbeLen);
}

bool FillScsi(DiskInfo* disk, const u8* inquiry, const u8* capacity)
{
    return disk->FillFromInquiry(inquiry, kProbeLen) && CalcCapacityGB(disk, capacity, kProbeLen);
}

} // namespace

void diskProbeName(u32 i, char* buf)
{
    memset(buf, 0, DISK_NAME_BUF_LEN);
    if (i < kOneLetterEnd) {
        snprintf(buf, DISK_NAME_BUF_LEN, "/dev/sd%c", char('a' + i));
    } else if (i < kTwoLetterEnd) {
        u32 n = i - kOneLetterEnd;
        snprintf(buf, DISK_NAME_BUF_LEN, "/dev/sd%c%c", char('a' + n / 26), char('a' + n % 26));
    } else if (i < kThreeLetterEnd) {
        u32 n = i - kTwoLetterEnd;
        snprintf(buf, DISK_NAME_BUF_LEN, "/dev/sd%c%c%c", char('a' + n / 676), char('a' + (n / 26) % 26),
                 char('a' + n % 26));
    }
    // Higher probe numbers have no primary name: the empty name never opens.
}

void diskProbeFallbackName(u32 i, char* buf)
{
    memset(buf, 0, DISK_NAME_BUF_LEN);
    snprintf(buf, DISK_NAME_BUF_LEN, "/dev/sd-%d%c", int(i & 0xFFF), char('a' + ((i >> 12) & 0xF)));
}

bool classifyDevice(const char* path, DiskInfo* disk)
{
    if (path == nullptr || disk == nullptr) {
        return false;
    }
    // The first record holds what SCSI commands and the ATA pass-through read,
    // the second the IDENTIFY data read through the vendor tunnel.
    DiskInfo scsi;
    DiskInfo tunnel;
    scsi.index = tunnel.index = disk->index;
    scsi.device_name = tunnel.device_name = path;
    u8 inquiry[kProbeLen] = {};
    u8 capacity[kProbeLen] = {};
    u8 tunnel_identify[kProbeLen] = {};

    if (!TestOpenClose(path)) {
        return false;
    }
    // SCSI types do not read the link type, so none is chosen yet.
    if (!DiskCmnd::ExecuteQuiet(TYPE_12H_INQUIRY, &scsi, inquiry, kProbeLen)) {
        return false;
    }

    const DiskInfo* chosen = &scsi;
    if (IsAtaVendor(inquiry)) {
        bool identified = false;
        for (u32 link : {u32(LINK_ATA), u32(LINK_ATA_BY_SCSI)}) {
            scsi.link_type = link;
            if (DiskCmnd::ExecuteQuiet(TYPE_IDENTIFY_DEVICE, &scsi, inquiry, kProbeLen)) {
                identified = true;
                break;
            }
        }
        if (identified) {
            if (!scsi.FillFromIdentify(inquiry, kProbeLen)) {
                return false;
            }
        } else {
            tunnel.link_type = LINK_ATA_BY_FC;
            bool tunnel_ok = DiskCmnd::ExecuteQuiet(TYPE_IDENTIFY_DEVICE, &tunnel, tunnel_identify, kProbeLen);
            // The IDENTIFY attempts may have left data in the INQUIRY buffer.
            memset(inquiry, 0, kProbeLen);
            if (!ProbeScsi(&scsi, inquiry, capacity) || !FillScsi(&scsi, inquiry, capacity)) {
                return false;
            }
            // The tunnel answer is taken only when it names the same drive as INQUIRY.
            if (tunnel_ok && tunnel.FillFromIdentify(tunnel_identify, kProbeLen) && !scsi.model.empty() &&
                !tunnel.model.empty() && scsi.model.find(tunnel.model) != std::string::npos) {
                tunnel.link_type = LINK_ATA_BY_FC;
                chosen = &tunnel;
            }
        }
    } else {
        scsi.link_type = LINK_SCSI;
        // A drive that refuses READ CAPACITY still lists, with a single block.
        if (!DiskCmnd::ExecuteQuiet(TYPE_25H_READ_CAPACITY, &scsi, capacity, kProbeLen)) {
            memset(capacity, 0, kProbeLen);
        }
        if (!FillScsi(&scsi, inquiry, capacity)) {
            return false;
        }
    }

    *disk = *chosen;
    setDiskGeometryByModel(disk);
    if (disk->smart_ver == VER_K4410) {
        // A revision shorter than the prefix leaves nothing to show.
        disk->firmware = disk->firmware.size() > kK4410FirmwareOff
                             ? disk->firmware.substr(kK4410FirmwareOff, kK4410FirmwareLen)
                             : std::string();
    }
    return true;
}

bool classifyDeviceStr(const std::string& path, DiskInfo* disk) { return classifyDevice(path.c_str(), disk); }

DiskList* DiskList::GetInstance()
{
    // Never destroyed: the list lives until the process ends.
    static DiskList* instance = new DiskList();
    return instance;
}

void DiskList::Scan()
{
    std::vector<DiskInfo> found;
    DiskInfo work;
    char name[DISK_NAME_BUF_LEN];
    for (u32 i = 0; i < DISK_PROBE_NUM; i++) {
        work.index = i;
        diskProbeName(i, name);
        work.device_name = name;
        bool ok = classifyDevice(name, &work);
        if (!ok) {
            diskProbeFallbackName(i, name);
            work.device_name = name;
            ok = classifyDevice(name, &work);
        }
        if (ok) {
            found.push_back(work);
        }
    }
    // Replaced only when something changed, so callers can compare against their copy.
    if (found != disk_list) {
        disk_list = found;
    }
}

void DiskList::GetList(std::vector<DiskInfo>& out) const { out = disk_list; }

bool DiskList::FindByIndex(u32 index, DiskInfo* out) const
{
    for (const DiskInfo& d : disk_list) {
        if (d.index == index) {
            if (out != nullptr) {
                *out = d;
            }
            return true;
        }
    }
    return false;
}

bool setDiskGeometryByModel(const DiskInfo* disk)
{
    disk_model_code = 0;
    disk_geometry.channel = kDefaultChannel;
    disk_geometry.block = kDefaultBlock;
    const std::string& model = ModelOf(disk);
    for (const GeometryRow& r : geometry_rows) {
        if (Contains(model, r.model_a) || Contains(model, r.model_b)) {
            disk_model_code = r.model_code;
            disk_geometry.channel = r.channel;
            disk_geometry.ce = r.ce;
            disk_geometry.block = r.block;
            disk_geometry.page_num = r.page_num;
            return true;
        }
    }
    return false;
}

void setDiskGeometryByModelAlt(const DiskInfo* disk, u32 mode)
{
    disk_geometry.channel = kDefaultChannel;
    disk_geometry.block = kDefaultBlock;
    disk_geometry.page_num = kAltDefaultPageNum;
    const std::string& model = ModelOf(disk);
    for (const GeometryAltRow& r : geometry_alt_rows) {
        if (Contains(model, r.model_a) || Contains(model, r.model_b)) {
            disk_geometry.channel = r.channel;
            disk_geometry.ce = r.ce;
            disk_geometry.block = mode == 1 ? r.block_mode1 : r.block;
            disk_geometry.page_num = mode == 1 ? r.page_num_mode1 : r.page_num;
            return;
        }
    }
}

void setDiskStructureByModel(const DiskInfo* disk)
{
    const std::string& model = ModelOf(disk);
    for (const StructureRow& r : structure_rows) {
        if (Contains(model, r.model)) {
            disk_structure.channel = r.channel;
            disk_structure.layer = r.layer;
            if (r.sets_variant) {
                disk_variant_flag = r.variant_flag;
            }
            return;
        }
    }
}

void setDiskStructureByModelEx(const DiskInfo* disk, u32 kind, u32 size)
{
    if (kind == 0 || kind == 2) {
        setDiskStructureByModel(disk);
        return;
    }
    if (kind != 1) {
        return;
    }
    const std::string& model = ModelOf(disk);
    for (const StructureExRow& r : structure_ex_rows) {
        if (Contains(model, r.model)) {
            disk_structure.channel = 8;
            if (r.two_layer_at_32 && size == 32) {
                disk_structure.layer = 2;
                disk_variant_flag = 2;
            } else {
                disk_structure.layer = 4;
            }
            return;
        }
    }
}
