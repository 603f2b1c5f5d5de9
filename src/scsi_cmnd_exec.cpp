#include "scsi_cmnd_exec.h"

#include "msg_processor.h"

// Not built yet: each function reports "Function is unsupported" without touching the drive.

bool ExecModeSense(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecReadDefectData(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecVendorTableRead(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecVendorDataRead(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecReadBuffer(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecLogSense(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecInquiryVpd(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecScsiCommand(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecWriteWearLevelTableScsi(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecSetTimestamp(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}
