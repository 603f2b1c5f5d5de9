// Process-wide settings shared by the front end and the drive-access layer.
#ifndef ZV_SETTINGS_H
#define ZV_SETTINGS_H

#include "common.h"

struct OutputFlags {
    u8 save_original_binary;
    u8 save_parsed_text;
    u8 show_parsed_text;
    u8 save_log;
    OutputFlags() : save_original_binary(0), save_parsed_text(0), show_parsed_text(1), save_log(1) {}
};

enum RaidKind {
    RAID_MEGARAID = 0,
    RAID_MARVELL = 1,
    RAID_CCISS = 2,
    RAID_ARECA = 3,
    RAID_WARE = 4,
    RAID_BUTT = 5,
};

// "[C0h] Disk Basic info": flash geometry of the SAS family.
struct DiskGeometry {
    u32 channel;
    u32 ce;
    u32 block;
    u32 page_num;
    u32 page_size;
    u32 max_lba;
    u32 reserved_block;
};
static_assert(sizeof(DiskGeometry) == 28, "DiskGeometry is seven u32 words");

extern OutputFlags output_flags;
extern u32 raid_kind;
extern u32 raid_target_id;
extern u32 flash_log_part;
extern bool fw_download_retry;
extern DiskGeometry disk_geometry;

// The log directory, and the descriptor of it that a run writing into it (the log, the
// one-key file, the vendor-log files) holds from start-up to its end; -1 for a run that
// writes without it. What the run puts in there goes through this descriptor.
extern const char kLogDirName[];
extern int log_dir_fd;
// True when this run writes into "SSDlog".
bool UseLogDir();

#endif
