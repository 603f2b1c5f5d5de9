#include "front_state.h"

#include <cstdlib>

DiskInfo cur_disk;
DiskStatus disk_status;
char* dev_name = nullptr;
char dev_name_buf[128];
char bin_file_name[4096];
char txt_file_name[4096];
char* fw_file_name = nullptr;
char set_value[1024];
u8 set_value_given = 0;
u8 data_gradation = 0;
const MenuItem* cur_menu = nullptr;
u8* data_buf = nullptr;
u32 data_len = 0;

const char* const msg_indent = "    ";

void allocDataBuf(u32 len)
{
    freeDataBuf();
    if (len > 0) {
        // Cleared: a short drive answer must never show stale heap bytes.
        data_buf = static_cast<u8*>(calloc(len, 1));
        data_len = data_buf != nullptr ? len : 0;
    }
}

void freeDataBuf()
{
    free(data_buf);
    data_buf = nullptr;
    data_len = 0;
}

u32 getDiskQueryLen() { return 512; }
