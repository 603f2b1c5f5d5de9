#include "workflow_common.h"

#include <cstdio>

#include "cmd_wrap.h"
#include "msg_processor.h"

void reportWorkflowUnsupported()
{
    printf("%s%s\n", msg_indent, MsgProcessor::GetErrStr(USER_ERR_UNSUPPORTED).c_str());
}
