#include "workflow_common.h"

#include <cstdio>
#include <cstring>

#include "cmd_menu.h"
#include "cmd_wrap.h"
#include "msg_processor.h"

void reportWorkflowUnsupported()
{
    printf("%s%s\n", msg_indent, MsgProcessor::GetErrStr(USER_ERR_UNSUPPORTED).c_str());
}

unsigned long SysErrHex(int sys_err) { return static_cast<unsigned long>(static_cast<u32>(sys_err)); }

void PrintCmdFailure(const char* what, int user_err, int sys_err)
{
    printf("%s%s, User Err Code [%08Xh:%s], System Err Code [%08lXh]\n", msg_indent, what,
           static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str(), SysErrHex(sys_err));
}

void chooseDriveWhenNoDevice()
{
    if (dev_name != nullptr && dev_name[0] != '\0') {
        return;
    }
    listDrives(1);
    memset(dev_name_buf, 0, sizeof(dev_name_buf));
    strncpy(dev_name_buf, cur_disk.device_name.c_str(), sizeof(dev_name_buf) - 1);
    dev_name = dev_name_buf;
}
