#include "cmd_resp_log.h"

#include "decode_util.h"
#include "disk_transport.h"
#include "file_utils.h"
#include "scsi_opcodes.h"
#include "settings.h"

#include <cstring>

const char* const kCmdRespLogName = "cmd_resp_log.txt";

namespace {

// The log goes into "SSDlog" when this run uses that directory and it is there right now.
std::string LogPath()
{
    char path[4096];
    if (UseLogDir()) {
        snprintf(path, sizeof(path), "SSDlog/%s", kCmdRespLogName);
    } else {
        snprintf(path, sizeof(path), "%s", kCmdRespLogName);
    }
    return path;
}

// Said once a run: the operations go on, only their log is short.
void ReportWriteFailure()
{
    static bool said = false;
    if (said) {
        return;
    }
    said = true;
    fprintf(stderr, "Warning: Cannot write '%s'. The log of the operations may be incomplete.\n", LogPath().c_str());
}

// More than any one command's records, a tunnel exchange with its buffer commands included.
const size_t kOpenCommandMax = 16384;

// A tunnel exchange runs from its "Write APT" to its "Read APT", with the CDB and sense of its
// buffer commands inside; any other command from its CDB to its sense. An exchange whose data
// phase failed has no "Read APT": a CDB other than WRITE or READ BUFFER is a command of its own.
bool StartsCommand(const LogRecord& rec, bool in_tunnel)
{
    if (rec.kind == LOG_WRITE_APT) {
        return true;
    }
    const bool buffer = rec.data[0] == SCSI_OP_WRITE_BUFFER || rec.data[0] == SCSI_OP_READ_BUFFER;
    return rec.kind == LOG_SCSI_CDB && (!in_tunnel || !buffer);
}

// Above 0, every record is written as it is taken (LogWriteThrough).
int write_through = 0;

void PrintOpenWarning(const std::string& path)
{
    printf("Warning: Cann't open '%s'. This may due to cannot creat file under current directory.\n", path.c_str());
    puts("         No impact of using 'zembrovant' ,but no file to record  the operation.");
    puts("");
}

// Rows of "    XXh  XXh ..." covering data[0..count), eight bytes to a row.
void AppendByteRows(std::string* text, const u8* data, u32 count)
{
    for (u32 row = 0; row < count; row += 8) {
        text->append("    ");
        for (u32 i = row; i < count && i < row + 8; i++) {
            if (i > row) {
                text->append("  ");
            }
            AppendF(*text, "%02Xh", data[i]);
        }
        text->append("\n");
    }
}

void AppendBlock(std::string* text, const LogRecord& rec)
{
    const u8* d = rec.data;
    unsigned v1 = static_cast<unsigned>(rec.len_or_user_err);
    unsigned v2 = static_cast<unsigned>(rec.dir_or_sys_err);
    switch (rec.kind) {
    case LOG_ATA_COMMAND:
        if (rec.len == 8) {
            AppendF(*text,
                    "ATA Command\n    Cmd:%02Xh  Fea:%02Xh  Dev:%02Xh  SecCnt[7:0]:%02Xh\n"
                    "    LBA[7:0]:%02Xh  LBA[15:8]:%02Xh  LBA[23:16]:%02Xh\n    DataLen:%08Xh  DataDir:%01u\n",
                    d[6], d[0], d[5], d[1], d[2], d[3], d[4], v1, v2);
        } else if (rec.len == 16) {
            AppendF(*text,
                    "ATA Command\n    Cmd:%02Xh  Fea:%02Xh  Dev:%02Xh  SecCnt[7:0]:%02Xh\n"
                    "    SecCnt[15:8]:%02Xh  LBA[7:0]:%02Xh  LBA[15:8]:%02Xh  LBA[23:16]:%02Xh\n"
                    "    LBA[31:24]:%02Xh  LBA[39:32]:%02Xh  LBA[47:40]:%02Xh\n    DataLen:%08Xh  DataDir:%01u\n",
                    d[6], d[0], d[5], d[1], d[9], d[2], d[3], d[4], d[10], d[11], d[12], v1, v2);
        }
        break;
    case LOG_ATA_STATUS:
        AppendF(*text,
                "ATA Status\n    Cmd:%02Xh  Fea:%02Xh  Dev:%02Xh  SecCnt[7:0]:%02Xh\n"
                "    LBA[7:0]:%02Xh  LBA[15:8]:%02Xh  LBA[23:16]:%02Xh\n    UserErr:%08Xh  SysErr:%08Xh\n\n",
                d[6], d[0], d[5], d[1], d[2], d[3], d[4], v1, v2);
        break;
    case LOG_SCSI_CDB:
        text->append("SCSI CDB\n");
        AppendByteRows(text, d, 16);
        AppendF(*text, "    DataLen:%08Xh  DataDir:%01u\n", v1, v2);
        break;
    case LOG_SCSI_SENSE:
        text->append("SCSI Sense\n");
        AppendByteRows(text, d, 32);
        AppendF(*text, "    UserErr:%08Xh  SysErr:%08Xh\n\n", v1, v2);
        break;
    case LOG_WRITE_APT:
        text->append("Write APT\n");
        AppendByteRows(text, d, 28);
        AppendF(*text, "    DataLen:%08Xh  DataDir:%01u\n", v1, v2);
        break;
    case LOG_READ_APT:
        text->append("Read APT\n");
        AppendByteRows(text, d, 24);
        AppendF(*text, "    UserErr:%08Xh  SysErr:%08Xh\n\n", v1, v2);
        break;
    default:
        break;
    }
}

} // namespace

CmdRespLog* CmdRespLog::GetInstance()
{
    // Never destroyed: records queued after the last flush are not written.
    static CmdRespLog* instance = new CmdRespLog();
    return instance;
}

CmdRespLog::CmdRespLog() : file(nullptr)
{
    // Decided once per run: switching save_log on later does not open the log.
    if (output_flags.save_log != 1) {
        return;
    }
    // The name is the program's own: never written through a link or into a FIFO.
    std::string path = LogPath();
    file = OpenRegularFileToWrite(path.c_str(), "at", nullptr);
    if (file == nullptr) {
        PrintOpenWarning(path);
        return;
    }
    fseek(file, 0, SEEK_END);
    if (ftell(file) > kLogFileMax) {
        fclose(file);
        file = OpenRegularFileToWrite(path.c_str(), "wt", nullptr);
        if (file == nullptr) {
            PrintOpenWarning(path);
        }
    }
}

CmdRespLog::~CmdRespLog()
{
    Flush();
    if (file != nullptr) {
        fclose(file);
    }
}

void CmdRespLog::AddRecord(u32 kind, const void* data, u32 len, int len_or_user_err, int dir_or_sys_err)
{
    if (file == nullptr || output_flags.save_log != 1) {
        return;
    }
    LogRecord rec;
    memset(rec.data, 0, sizeof(rec.data));
    u32 copy = len;
    if (kind == LOG_ATA_COMMAND || kind == LOG_ATA_STATUS) {
        // The caller holds a TaskFile; byte 7 of the record stays zero, as in a command template.
        copy = sizeof(TaskFile);
        len = kAtaRecordLen;
    } else if (kind < LOG_SCSI_CDB || kind > LOG_READ_APT) {
        return;
    }
    if (len > kLogDataMax) {
        len = copy = kLogDataMax;
    }
    if (data == nullptr) {
        len = copy = 0;
    }
    if (copy > 0) {
        memcpy(rec.data, data, copy);
    }
    rec.kind = kind;
    rec.len = len;
    rec.time = GetTimeStrMs(':');
    rec.len_or_user_err = len_or_user_err;
    rec.dir_or_sys_err = dir_or_sys_err;
    records.push_back(rec);
    if (write_through > 0) {
        Flush();
    }
}

void CmdRespLog::AddAtaRecord(u32 kind, const u8* regs, const u8* prev_regs, const void* unused, int data_len,
                              int dir)
{
    (void)unused;
    if (file == nullptr || output_flags.save_log != 1 || kind != LOG_ATA_COMMAND) {
        return;
    }
    LogRecord rec;
    memset(rec.data, 0, sizeof(rec.data));
    // Task file in bytes 0-6, previous registers in 8-12; bytes 7 and 13-15 stay zero,
    // the layout of a command template.
    if (regs != nullptr) {
        memcpy(rec.data, regs, sizeof(TaskFile));
    }
    if (prev_regs != nullptr) {
        memcpy(rec.data + kAtaRecordLen, prev_regs, sizeof(TaskFileHob));
    }
    rec.kind = kind;
    rec.len = 2 * kAtaRecordLen;
    rec.time = GetTimeStrMs(':');
    rec.len_or_user_err = data_len;
    rec.dir_or_sys_err = dir;
    records.push_back(rec);
    if (write_through > 0) {
        Flush();
    }
}

void CmdRespLog::Flush()
{
    if (file == nullptr || records.empty()) {
        return;
    }
    // Records taken while logging was on wait for a flush made while it is on again.
    if (output_flags.save_log != 1) {
        return;
    }
    // The command in progress when this batch began, on file already, when the batch goes on
    // with it; then this batch's text, and where the command in progress at its end begins in it.
    const bool continues = command_open && !StartsCommand(records.front(), in_tunnel);
    const std::string carried = continues ? open_command : std::string();
    std::string text;
    size_t open_from = 0;
    bool started = false;
    bool open = command_open;
    bool tunnel = in_tunnel;
    for (const LogRecord& rec : records) {
        const size_t begin = text.size();
        if (StartsCommand(rec, tunnel)) {
            open = true;
            started = true;
            open_from = begin;
            tunnel = rec.kind == LOG_WRITE_APT;
        }
        text += rec.time;
        text += "  ";
        AppendBlock(&text, rec);
        if (rec.kind == LOG_READ_APT || (rec.kind == LOG_SCSI_SENSE && !tunnel)) {
            open = false;
            tunnel = false;
        }
    }

    long pos = ftell(file);
    if (pos < 0) {
        pos = 0;
    }
    const std::string* out = &text;
    std::string joined;
    bool emptied = false;
    if (pos + static_cast<long>(text.size()) > kLogFileMax) {
        fclose(file);
        file = OpenRegularFileToWrite(LogPath().c_str(), "wt", nullptr);
        if (file == nullptr) {
            return;
        }
        emptied = true;
        if (!carried.empty()) {
            joined = carried + text;
            out = &joined;
        }
    }
    size_t to_write = out->size();
    if (emptied && static_cast<long>(to_write) > kLogFileMax) {
        to_write = static_cast<size_t>(kLogBatchCut);
    }
    const size_t written = fwrite(out->data(), 1, to_write, file);
    records.clear();
    if (!open) {
        open_command.clear();
    } else if (started) {
        open_command = text.substr(open_from);
    } else {
        open_command = carried + text;
    }
    // A command that never ends (its request failed before its sense) is no longer carried.
    if (open_command.size() > kOpenCommandMax) {
        open_command.clear();
    }
    command_open = open;
    in_tunnel = tunnel;
    if (fflush(file) != 0 || written != to_write) {
        // A full disk: the records are dropped, and a later flush tries again.
        clearerr(file);
        ReportWriteFailure();
    }
}

LogWriteThrough::LogWriteThrough()
{
    CmdRespLog::GetInstance()->Flush();
    write_through++;
}

LogWriteThrough::~LogWriteThrough()
{
    write_through--;
    CmdRespLog::GetInstance()->Flush();
}
