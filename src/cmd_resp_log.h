// Command/response log: records of the SCSI and tunnel traffic, queued in memory
// and written to "cmd_resp_log.txt" at each flush.
#ifndef ZV_CMD_RESP_LOG_H
#define ZV_CMD_RESP_LOG_H

#include "common.h"

#include <cstdio>
#include <string>
#include <vector>

enum LOG_KIND : u32 {
    LOG_ATA_COMMAND = 1, // "ATA Command": task file (8) or task file and previous registers (16)
    LOG_ATA_STATUS = 2,  // "ATA Status": returned registers (8), user error, system error
    LOG_SCSI_CDB = 3,    // "SCSI CDB": the CDB (up to 16), transfer length, direction 0/1/2
    LOG_SCSI_SENSE = 4,  // "SCSI Sense": the sense buffer (32), user error, system error
    LOG_WRITE_APT = 5,   // "Write APT": the tunnel packet (28), data length, direction
    LOG_READ_APT = 6,    // "Read APT": the tunnel status (24), 0, 0
};

// Bytes a record keeps; longer blocks are cut.
const u32 kLogDataMax = 32;
// An ATA record keeps the registers in 8-byte slots: 7 task-file bytes and a zero, or
// 5 previous-register bytes and zeros.
const u32 kAtaRecordLen = 8;
// Name of the log file, placed in "SSDlog" when this run writes into that directory (UseLogDir).
extern const char* const kCmdRespLogName;
// The file is emptied when it would grow past this size...
const long kLogFileMax = 0x100000;
// ...and a single batch longer than that is cut to this many bytes.
const long kLogBatchCut = 0xF8000;

struct LogRecord {
    u32 kind;
    std::string time;      // HH:MM:SS:mmm when the record was added
    u8 data[kLogDataMax];  // zero-filled, then the recorded bytes
    u32 len;               // bytes copied into data
    int len_or_user_err;
    int dir_or_sys_err;
};

class CmdRespLog {
public:
    // The single process-wide instance, created (and the file opened) on the first call.
    static CmdRespLog* GetInstance();

    // Queues one record of the given kind; does nothing while the log is closed or save_log is not 1.
    // For the ATA kinds data is a TaskFile (7 bytes), whatever len says.
    void AddRecord(u32 kind, const void* data, u32 len, int len_or_user_err, int dir_or_sys_err);
    // Queues a 16-byte "ATA Command" record from a TaskFile (regs, 7 bytes) and a
    // TaskFileHob (prev_regs, 5 bytes).
    void AddAtaRecord(u32 kind, const u8* regs, const u8* prev_regs, const void* unused, int data_len, int dir);
    // Writes the queued records to the file in one write and empties the queue. A write that
    // fails (a full disk) is said once a run on standard error; the run goes on. When the file
    // is emptied for its size, the records of the command in progress stay together.
    void Flush();

    ~CmdRespLog();

private:
    CmdRespLog();
    CmdRespLog(const CmdRespLog&) = delete;
    CmdRespLog& operator=(const CmdRespLog&) = delete;

    FILE* file;
    std::vector<LogRecord> records;
    // The text already on file of a command whose records are not all taken yet (a CDB
    // written through before its sense, a tunnel exchange before its "Read APT"): emptying
    // the file for the size rule writes it again in front of the rest.
    std::string open_command;
    bool command_open = false;
    bool in_tunnel = false;
};

// Around a command that changes a drive: the queued records are written when it begins and
// when it ends, and every record taken meanwhile is written at once, so the log still says
// what was sent when the run is killed halfway (a download, say). Scopes may nest.
class LogWriteThrough {
public:
    LogWriteThrough();
    ~LogWriteThrough();
    LogWriteThrough(const LogWriteThrough&) = delete;
    LogWriteThrough& operator=(const LogWriteThrough&) = delete;
};

#endif
