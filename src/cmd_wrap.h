// Command-line front end: entry handler, run modes and the front end's process-wide state.
#ifndef ZV_CMD_WRAP_H
#define ZV_CMD_WRAP_H

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

// The count of command types; also the "no command" value.
const u32 kNoCmndType = 142;

extern DiskInfo cur_disk;
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

#endif
