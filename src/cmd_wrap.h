// Command-line front end: entry handler, run modes and the front end's process-wide state.
#ifndef ZV_CMD_WRAP_H
#define ZV_CMD_WRAP_H

#include <sys/resource.h>

#include "common.h"
#include "disk_info.h"

typedef void (*CmdHandler)();
typedef void (*FormatHandler)(const char* arg);

struct MenuItem;

// What the option loop leaves behind for the steps after it.
struct CmdLineState {
    u32 selected_type;          // TYPE_BUTT (142) when none
    CmdHandler handler;         // a workflow chosen by an option, or null
    FormatHandler format_handler;
    const char* format_arg;
    bool option_read;
    bool megaraid_seen;
};

// "[8Ah] Get Disk Status": the first 17 bytes of the answer, copied as they come.
// The two frequencies are little-endian and unaligned, hence the packing.
struct __attribute__((packed)) DiskStatus {
    u8 ce64;
    u8 wl;
    u8 lucky_num;
    u8 lucky_page_count;
    u8 write_through;
    u8 map_read;
    u8 unc_self_recov;
    u8 out_in;
    u8 readonly;
    u8 trim_return_value;
    u8 disk_check;
    u16 disk_check_frequency;
    u16 cap_check_frequency;
    u8 gpio_flag;
    u8 flag_8gb;
};
static_assert(sizeof(DiskStatus) == 17, "DiskStatus is the 17-byte status record");

// The count of command types; also the "no command" value.
const u32 kNoCmndType = 142;

extern DiskInfo cur_disk;
extern DiskStatus disk_status;
extern char* dev_name;
extern char dev_name_buf[128];
extern char bin_file_name[4096];
extern char txt_file_name[4096];
extern char* fw_file_name;
extern char set_value[1024];
extern u8 set_value_given;
extern u8 data_gradation;
extern const MenuItem* cur_menu;
extern u8* data_buf;
extern u32 data_len;

// The four-blank prefix of front-end messages.
extern const char* const msg_indent;

void processCmdLine(int argc, char** argv);
void openCmdLineDevice();
void allocDataBuf(u32 len);
void freeDataBuf();
u32 getDiskQueryLen();

// Argument-vector checks that come before option parsing.
bool IsFirstArgShapeValid(const char* arg);

// The command type that runs for a selected type on a drive of the given link
// type (the vendor commands of one family and their counterparts of the other).
u32 AdaptTypeToLink(u32 type, u32 link_type);

// The open-file limit of MegaRAID runs: the soft limit becomes 20480 and the hard
// limit rises to it where it is lower (a higher hard limit is kept). *saved receives
// the limits read; true when the new ones were set.
bool RaiseOpenFileLimit(struct rlimit* saved);
void RestoreOpenFileLimit(const struct rlimit& saved);

#endif
