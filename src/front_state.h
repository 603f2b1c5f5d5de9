// The front end's process-wide state: the current drive and its node, the response buffer,
// the output file names and the values the options set. The entry, the runner, the menus
// and the workflows share it through this file alone.
#ifndef ZV_FRONT_STATE_H
#define ZV_FRONT_STATE_H

#include "common.h"
#include "disk_info.h"

// A workflow that an option or a menu row starts.
typedef void (*CmdHandler)();

struct MenuItem;

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

// The one response buffer: freed and allocated anew (cleared) per command; 0 bytes frees it.
void allocDataBuf(u32 len);
void freeDataBuf();
u32 getDiskQueryLen();

#endif
