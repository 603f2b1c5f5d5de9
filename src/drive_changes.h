// What changes a drive: the command types of the catalogue that write to a drive or change
// its settings, as opposed to those that only read. Around each of them the command/response
// log is written through (LogWriteThrough), so that the log of a run that is killed halfway
// still shows what went out.
#ifndef ZV_DRIVE_CHANGES_H
#define ZV_DRIVE_CHANGES_H

#include "common.h"

struct DriveChangeRow {
    u32 type;
    const char* change;  // what the command changes on the drive
};

const u32 kDriveChangeRows = 28;
// In type order, one row per type.
extern const DriveChangeRow drive_change_list[kDriveChangeRows];

// True for a type of drive_change_list.
bool ChangesDrive(u32 type);

#endif
