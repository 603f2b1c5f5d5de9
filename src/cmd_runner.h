// Command runner: runs one command type on the current drive and shows or saves its answer.
#ifndef ZV_CMD_RUNNER_H
#define ZV_CMD_RUNNER_H

#include <string>
#include <vector>

#include "ata_cmnd_exec.h"
#include "common.h"
#include "disk_info.h"

// Drives of the family VER_K6410 answer SCSI-style: their ATA types are reported as these SCSI types.
struct AtaScsiTypePair {
    u32 ata_type;
    u32 scsi_type;
};
const u32 kAtaScsiTypeMapRows = 32;
extern const AtaScsiTypePair ata_scsi_type_map[kAtaScsiTypeMapRows];

// The first row with the type gives its SCSI type; a type in no row comes back unchanged.
u32 mapAtaTypeToScsiType(u32 type);

// Types whose parse callback takes a VendorLogOptions word as context instead of the drive record.
bool usesVendorLogOptions(u32 type);
// Bits 0-7: sort order (1, 0 with data gradation, 7 for type 86); bits 8-31: the drive's family.
u32 buildVendorLogOptions(u32 type, u32 smart_ver, bool data_gradation);

// Types whose text gets the drive and host header in front.
bool hasResultHeader(u32 type);
// Model, serial, firmware, capacity, host name, one line per IPv4 address, then an empty line.
std::string buildResultHeader(const DiskInfo& disk, const std::string& host_name,
                              const std::vector<std::string>& ip_list);

// A line printed after a successful execution, by type ("%s" is the message indent).
struct RunnerMessage {
    u32 type;
    const char* text;
};
const u32 kExecOkMessageRows = 7;
extern const RunnerMessage exec_ok_messages[kExecOkMessageRows];
// The text of a successful command without data, by type.
const u32 kNoDataOkTextRows = 4;
extern const RunnerMessage no_data_ok_texts[kNoDataOkTextRows];

// The new-value types: their prompt and the exact length of a typed value.
struct SetValueItem {
    u32 type;
    const char* prompt;
    u32 length;
};
const u32 kSetValueItemRows = 4;
extern const SetValueItem set_value_items[kSetValueItemRows];
// The row of a new-value type, or null for any other type.
const SetValueItem* findSetValueItem(u32 type);

// Runs the command type on cur_disk; everything is reported on the console and in files.
void executeCmd(u32 type);

#endif
