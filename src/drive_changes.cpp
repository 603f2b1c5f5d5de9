#include "drive_changes.h"

#include "disk_cmnd.h"

// Every type whose template sends data to the drive, and the non-data commands that switch,
// set, erase or format.
const DriveChangeRow drive_change_list[kDriveChangeRows] = {
    {TYPE_SMART_ENABLE, "SMART switched on"},
    {TYPE_SMART_DISABLE, "SMART switched off"},
    {TYPE_92H_DOWNLOAD_MICROCODE, "firmware"},
    {TYPE_8BH_WRITE_REGISTER, "a controller register"},
    {TYPE_8DH_FLUSH_TABLE_DATA, "tables and data flushed to flash"},
    {TYPE_8CH_WRITE_CURRENT_TIME, "the drive's clock"},
    {TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, "the wear-level table"},
    {TYPE_SET_MAX_ADDRESS, "the maximum address"},
    {TYPE_SET_MAX_ADDRESS_EXT, "the maximum address"},
    {TYPE_8BH_DYNAMIC_OPTMIZE, "the read-ahead settings"},
    {TYPE_8BH_READ_TABLE_SWITCH, "the read table switch"},
    {TYPE_8BH_64CE_ON_OFF_SWITCH, "the 64 CE switch"},
    {TYPE_SET_FORMAT_UNIT, "every block: a format"},
    {TYPE_SET_TRIM_FLAG, "the trim flag"},
    {TYPE_3BH_DOWNLOAD_MICROCODE, "firmware"},
    {TYPE_4DH_SET_POWER_OFF_PROTECT, "tables and data flushed to flash"},
    {TYPE_A4H_SET_TIME_STAMP, "the drive's clock"},
    {TYPE_04H_SET_FORMAT_UNIT, "every block: a format"},
    {TYPE_C1H_WRITE_WEAR_LEVEL_TABLE, "the wear-level table"},
    {TYPE_4CH_ERASENVSRAM_LOG, "the NVSRAM log erased"},
    {TYPE_4CH_ERASEFLASH_LOG, "the flash log erased"},
    {TYPE_3BH_DOWNLOAD_R5_LOADER, "the loader"},
    {TYPE_C1H_CLEAN_SMART, "the SMART data cleared"},
    {TYPE_C0H_SET_DISK_WWN, "the WWN"},
    {TYPE_C0H_SET_DISK_SN, "the serial number"},
    {TYPE_C0H_SET_DISK_MODEL, "the model string"},
    {TYPE_C1H_START_CAPACITANCE_STATUS, "a capacitance test started"},
    {TYPE_C1H_SET_DISK_FLAG, "the disk flag"},
};

bool ChangesDrive(u32 type)
{
    for (const DriveChangeRow& row : drive_change_list) {
        if (row.type == type) {
            return true;
        }
    }
    return false;
}
