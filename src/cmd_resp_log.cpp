#include "cmd_resp_log.h"

CmdRespLog* CmdRespLog::GetInstance()
{
    static CmdRespLog* instance = new CmdRespLog();
    return instance;
}

void CmdRespLog::Flush() {}
