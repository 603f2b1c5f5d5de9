#include "settings.h"

#include <sys/stat.h>

OutputFlags output_flags;
u32 raid_kind = RAID_BUTT;
u32 raid_target_id = 0;
u32 flash_log_part = 0;
bool fw_download_retry = false;
DiskGeometry disk_geometry;
bool log_dir_in_use = true;

bool UseLogDir()
{
    struct stat st;
    return log_dir_in_use && lstat("SSDlog", &st) == 0 && S_ISDIR(st.st_mode);
}
