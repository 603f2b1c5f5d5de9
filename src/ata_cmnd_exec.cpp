#include "ata_cmnd_exec.h"

#include "msg_processor.h"

// Not built yet: each function reports "Function is unsupported" without touching the drive.

bool ExecAtaCommand(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecAtaVendorRead(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecSmartReadLog(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecSmartPendList(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecAtaSwitch(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecMaxAddress(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecWriteWearLevelTableAta(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecRegisterAccess(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecWriteCurrentTime(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}
