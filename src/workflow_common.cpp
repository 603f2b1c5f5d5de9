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
