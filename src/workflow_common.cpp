#include "workflow_common.h"

#include <cstdio>
#include <cstring>

#include "front_state.h"
#include "msg_processor.h"

bool StartsWith(const char* s, const char* prefix) { return strncmp(s, prefix, strlen(prefix)) == 0; }

unsigned long SysErrHex(int sys_err) { return static_cast<unsigned long>(static_cast<u32>(sys_err)); }

void PrintCmdFailure(const char* what, int user_err, int sys_err)
{
    printf("%s%s, User Err Code [%08Xh:%s], System Err Code [%08lXh]\n", msg_indent, what,
           static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str(), SysErrHex(sys_err));
}
