// The start-up check of the front end's tables keyed by command type: the option values, the
// menu rows, the link-type rules and the runner's, tools', collection's and drive-change lists.
// A row left out of a table whose count was raised, a type without its catalogue row, a row
// hidden behind an earlier one for the same key: each stops the program before any argument
// is read, naming the table, the row and the type (ZV_CHECK_ROW).
#ifndef ZV_TYPE_TABLES_H
#define ZV_TYPE_TABLES_H

#include <cstddef>

#include "cmd_menu.h"
#include "cmd_options.h"
#include "cmd_runner.h"
#include "common.h"
#include "drive_changes.h"
#include "one_key_info.h"
#include "vendor_tools.h"

// Runs every check below over the program's tables.
void CheckTypeTables();

// Each value names one command type, or for -U a handler instead (and a description).
void CheckOptRows(const char* table, const OptItem* rows, size_t count, bool util);
void CheckRaidRows(const RaidItem* rows, size_t count);
// Each row is one of: a handler, a submenu (checked too) or a command type; every row is named.
void CheckMenuRows(const char* menu, const MenuItem* rows, size_t count);
// Each rule turns an ATA type into a SCSI one on a SCSI link, or back on an ATA link, and has
// its reverse.
void CheckLinkRules(const LinkRule* rules, size_t count);
// A type's row: the first one for it is the one read, so none comes twice.
void CheckTypeMapRows(const AtaScsiTypePair* rows, size_t count);
void CheckMessageRows(const char* table, const RunnerMessage* rows, size_t count);
void CheckSetValueRows(const SetValueItem* rows, size_t count);
void CheckSwitchRows(const VendorSwitch* rows, size_t count);
void CheckOneKeyRows(const OneKeyInfoItem* rows, size_t count);
// In type order as well.
void CheckDriveChangeRows(const DriveChangeRow* rows, size_t count);

#endif
