#include "settings.h"

OutputFlags output_flags;
u32 raid_kind = RAID_BUTT;
u32 raid_target_id = 0;
u32 flash_log_part = 0;
bool fw_download_retry = false;
DiskGeometry disk_geometry;
const char kLogDirName[] = "SSDlog";
int log_dir_fd = -1;

bool UseLogDir() { return log_dir_fd >= 0; }
