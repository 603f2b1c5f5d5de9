// Command/response log.
#ifndef ZV_CMD_RESP_LOG_H
#define ZV_CMD_RESP_LOG_H

class CmdRespLog {
public:
    static CmdRespLog* GetInstance();
    void Flush();
};

#endif
