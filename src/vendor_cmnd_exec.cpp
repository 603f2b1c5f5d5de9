#include "vendor_cmnd_exec.h"

#include "msg_processor.h"

// Not built yet: each function reports "Function is unsupported" without touching the drive.

bool ExecVendorLogSense(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool LenVendorLog(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecDownloadMicrocodeAta(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}

bool ExecWriteBufferDownload(int /*type*/, DiskInfo* /*disk*/, u8* /*buf*/, u32 /*len*/, int* user_err, int* /*sys_err*/)
{
    *user_err = USER_ERR_UNSUPPORTED;
    return false;
}
