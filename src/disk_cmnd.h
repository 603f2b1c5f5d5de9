// Command type catalogue and the registry through which every drive command runs.
#ifndef ZV_DISK_CMND_H
#define ZV_DISK_CMND_H

#include "common.h"
#include "disk_info.h"

enum CMND_TYPE {
    TYPE_BUTT = 142,
};

class DiskCmnd {
public:
    static void Init();
    static void Check();
};

#endif
