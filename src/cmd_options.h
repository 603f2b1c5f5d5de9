// Command-line options, their value tables and the usage text.
#ifndef ZV_CMD_OPTIONS_H
#define ZV_CMD_OPTIONS_H

#include <getopt.h>

#include "common.h"
#include "front_state.h"

typedef void (*FormatHandler)(const char* arg);

// What the option loop leaves behind for the steps after it.
struct CmdLineState {
    u32 selected_type;          // TYPE_BUTT (142) when none
    CmdHandler handler;         // a workflow chosen by an option, or null
    FormatHandler format_handler;
    const char* format_arg;
    bool option_read;
    bool megaraid_seen;
};

// One value of -s, -t, -o, -U or -L: a command type, or TYPE_BUTT and a handler.
struct OptItem {
    const char* name;
    u32 type;
    CmdHandler handler;
    const char* desc;  // read for the -U rows only
};

// One value of -r.
struct RaidItem {
    const char* name;
    u32 kind;  // RaidKind
};

const u32 kOptSmartNum = 12;
const u32 kOptTableNum = 3;
const u32 kOptOptionNum = 26;
const u32 kOptUtilNum = 8;
const u32 kOptLogNum = 8;
const u32 kOptRaidNum = 5;
const u32 kLongOptionNum = 21;

extern const char* const short_options;
// kLongOptionNum entries and the terminating all-zero entry.
extern const struct option long_options[kLongOptionNum + 1];

extern const OptItem opt_smart_list[kOptSmartNum];
extern const OptItem opt_table_list[kOptTableNum];
extern const OptItem opt_option_list[kOptOptionNum];
extern const OptItem opt_util_list[kOptUtilNum];
extern const OptItem opt_log_list[kOptLogNum];
extern const RaidItem opt_raid_list[kOptRaidNum];

// Reads the options into state and the process-wide settings. False when an
// option acted at once (help, version, listing, a refusal) and the handler must
// return. Each call scans argv afresh.
bool runOptionLoop(int argc, char** argv, CmdLineState* state);
void showUsage();

// A vendor command of one family and its counterpart on the other kind of drive: on a drive
// linked as SCSI (on_scsi) or as ATA, `from` runs as `to`.
struct LinkRule {
    u32 from;
    bool on_scsi;
    u32 to;
};
const u32 kLinkRuleRows = 8;
// First matching rule wins.
extern const LinkRule link_rules[kLinkRuleRows];

// The command type that runs for a selected type on a drive of the given link
// type (the vendor commands of one family and their counterparts of the other).
u32 AdaptTypeToLink(u32 type, u32 link_type);

#endif
