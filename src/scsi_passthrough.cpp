#include "scsi_passthrough.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cmd_resp_log.h"
#include "console_input.h"
#include "disk_transport.h"
#include "file_utils.h"
#include "front_state.h"
#include "msg_processor.h"
#include "workflow_common.h"

namespace {

const u32 kLineSize = sizeof(bin_file_name);

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A repeating numeric prompt. False when the operator stopped (the end of input or "q"): a
// command that is not complete is never sent, so the tool then stops.
bool AskRepeating(const char* prompt, int base, u32 max, u32* value)
{
    fputs(prompt, stdout);
    fflush(stdout);
    inputNumber32(nullptr, value, true, prompt, true, base, max, true);
    return !consoleAnswerQuit();
}

// A prompt whose text offers RETURN to quit: an empty line leaves the tool, nothing sent;
// any other answer that is no value is asked again.
bool AskOrReturn(const char* prompt, int base, u32 max, u32* value)
{
    fputs(prompt, stdout);
    fflush(stdout);
    for (;;) {
        const int rc = inputNumber32(nullptr, value, false, prompt, true, base, max, true);
        if (consoleAnswerQuit() || (consoleAnswerEmpty() && rc != 1)) {
            return false;
        }
        if (rc == 1) {
            return true;
        }
        fputs(prompt, stdout);
        fflush(stdout);
    }
}

enum AskResult { ASK_VALUE, ASK_LEFT, ASK_STOPPED };

// A prompt asked once: an empty answer leaves the question. Anything else that is no value
// (a typo, a number out of range, a line too long or holding a NUL, the end of input, "q")
// stops the tool: what was meant cannot be known, so nothing is sent on it.
AskResult AskOnce(const char* prompt, int base, u32 max, u32* value)
{
    fputs(prompt, stdout);
    fflush(stdout);
    const int rc = inputNumber32(nullptr, value, false, prompt, true, base, max, true);
    if (consoleAnswerQuit() || consoleLineInvalid()) {
        return ASK_STOPPED;
    }
    if (rc == 1) {
        return ASK_VALUE;
    }
    return consoleAnswerEmpty() ? ASK_LEFT : ASK_STOPPED;
}

bool OpenCurrentDevice(int* handle)
{
    int user_err = USER_ERR_UNSUPPORTED;
    int sys_err = 0;
    *handle = 0;
    if (OpenDisk(handle, dev_name, &user_err, &sys_err)) {
        return true;
    }
    printf("%sZembrovant open device: %s failed; User Err Code [%08Xh:%s], System Err Code [%08lXh]\n", msg_indent,
           dev_name != nullptr ? dev_name : "", static_cast<unsigned>(user_err),
           MsgProcessor::GetErrStr(user_err).c_str(), SysErrHex(sys_err));
    return false;
}

// Every way into a tool: the line buffer cleared, so no earlier file name may stand in for
// an answer, and the current device opened.
bool BeginPassThrough(int* handle)
{
    memset(bin_file_name, 0, sizeof(bin_file_name));
    return OpenCurrentDevice(handle);
}

// Every way out of a tool: the line buffer cleared, the data released, the node closed.
void EndPassThrough(int* handle)
{
    memset(bin_file_name, 0, sizeof(bin_file_name));
    freeDataBuf();
    CloseDiskQuiet(handle);
}

// One request of the operator's own; the outcome and the sense bytes are printed whatever happened.
bool SendAndReport(int* handle, const u8* cdb, u32 cdb_len, u32 dir)
{
    const bool has_data = dir != SCSI_DIR_NONE;
    ScsiExchange x(cdb, cdb_len, dir, has_data ? data_buf : nullptr, has_data ? data_len : 0, kPassThroughTimeout);
    int user_err = USER_ERR_UNSUPPORTED;
    int sys_err = 0;
    bool ok = false;
    {
        // Any command may be one that changes the drive: it is on file before it goes out.
        const LogWriteThrough through;
        // The operator reads what came back: a residual is no failure here.
        ok = x.Send(handle, nullptr, SCSI_RESID_KEPT, &user_err, &sys_err);
    }
    if (ok) {
        printf("\n%sSCSI Pass Through execute successfully\n", msg_indent);
    } else {
        printf("\n%sSCSI Pass Through execute failed, User Err Code [%08Xh:%s]\n", msg_indent,
               static_cast<unsigned>(user_err), MsgProcessor::GetErrStr(user_err).c_str());
    }
    printf("%s==== Sense data ====\n", msg_indent);
    for (u32 row = 0; row < kSenseLen / 8; row++) {
        const u8* s = x.sense + row * 8;
        printf("%sCDB[%02u - %02u] : %02X %02X %02X %02X %02X %02X %02X %02X \n", msg_indent, row * 8, row * 8 + 7,
               s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
    }
    return ok;
}

char Printable(u8 c) { return c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' '; }

// Received data, 16 bytes a line with their characters; a short last line is padded.
void PrintReceivedData(const u8* data, u32 len)
{
    printf("\n%s==== %d bytes of data transferred ====", msg_indent, static_cast<int>(len));
    if (len == 0) {
        return;
    }
    printf("\n");
    for (u32 off = 0; off < len; off += 16) {
        const u32 n = len - off < 16 ? len - off : 16;
        char chars[17];
        printf("%3d : ", static_cast<int>(off));
        for (u32 i = 0; i < n; i++) {
            printf("%02x ", data[off + i]);
            chars[i] = Printable(data[off + i]);
        }
        chars[n] = '\0';
        for (u32 i = n; i < 16; i++) {
            printf("   ");
        }
        printf("   %s\n", chars);
    }
}

void PrintEditorBuffer(const u8* data, u32 len)
{
    for (u32 off = 0; off < len; off++) {
        if (off % 16 == 0) {
            printf("\n%3d : ", static_cast<int>(off));
        }
        printf("%02x ", data[off]);
    }
    printf("\n");
}

// The byte editor of data to send; false when the operator stopped inside it.
bool EditOutputData()
{
    char prompt[96];
    for (;;) {
        PrintEditorBuffer(data_buf, data_len);
        snprintf(prompt, sizeof(prompt), "\nEnter byte to change:  [0-%d or RETURN to quit] ",
                 static_cast<int>(data_len - 1));
        u32 index = 0;
        AskResult rc = AskOnce(prompt, 10, data_len - 1, &index);
        if (rc != ASK_VALUE) {
            return rc == ASK_LEFT;
        }
        u32 value = 0;
        rc = AskOnce("\nEnter value:  [00-FF or RETURN to quit] ", 16, 0xFF, &value);
        if (rc != ASK_VALUE) {
            return rc == ASK_LEFT;
        }
        data_buf[index] = static_cast<u8>(value);
    }
}

// The hex tool's CDB line: 6, 10, 12 or 16 bytes as hex digits; 0 when it is refused.
u32 ReadHexCdb(u8* cdb)
{
    fputs("CDB:  [hex string or RETURN to quit] ", stdout);
    fflush(stdout);
    const int n = readConsoleLineOrExit(bin_file_name, kLineSize);
    if (n != 12 && n != 20 && n != 24 && n != 32) {
        puts("CDB must be 6, 10, 12, or 16 bytes (12, 20, 24, or 32 characters)");
        // RETURN quits, as the prompt says; any other line is refused (an invalid one by the reader).
        if (n != 0) {
            consoleRefuseAnswer();
        }
        return 0;
    }
    for (int i = 0; i < n; i++) {
        if (HexDigitValue(bin_file_name[i]) < 0) {
            printf("invalid hex digit %c at offset %d\n", bin_file_name[i], i);
            consoleRefuseAnswer();
            return 0;
        }
    }
    for (int i = 0; i < n; i += 2) {
        cdb[i / 2] = static_cast<u8>(HexDigitValue(bin_file_name[i]) * 16 + HexDigitValue(bin_file_name[i + 1]));
    }
    return static_cast<u32>(n / 2);
}

// Asks until the answer line begins with y or n (either case); true for y.
bool AskYesNo(const char* format)
{
    for (;;) {
        printf(format, msg_indent);
        fflush(stdout);
        readConsoleLineOrExit(bin_file_name, kLineSize);
        const char c = bin_file_name[0];
        if (c == 'y' || c == 'Y') {
            return true;
        }
        if (c == 'n' || c == 'N') {
            memset(bin_file_name, 0, sizeof(bin_file_name));
            return false;
        }
        consoleRefuseAnswer();
    }
}

// The data file of the guided tool, named into bin_file_name: for data to send its first
// data_len bytes are read now, asked again until that succeeds; a file for received data
// only needs a name.
void AskDataFile(u32 dir)
{
    for (;;) {
        printf("%sinput file name : ", msg_indent);
        fflush(stdout);
        const int n = readConsoleLineOrExit(bin_file_name, kLineSize);
        StripBlank(bin_file_name, static_cast<u32>(n));
        if (dir == SCSI_DIR_IN) {
            // Without a name the received data would be lost once the command has run.
            if (bin_file_name[0] != '\0') {
                return;
            }
            consoleRefuseAnswer();
            continue;
        }
        int user_err = USER_ERR_NO_ERROR;
        if (ReadFileData(bin_file_name, data_buf, data_len, &user_err)) {
            return;
        }
        printf("%sread file %s failed; User Err Code [%08Xh:%s]\n", msg_indent, bin_file_name,
               static_cast<unsigned>(user_err), MsgProcessor::GetErrStr(user_err).c_str());
        consoleRefuseAnswer();
    }
}

} // namespace

void scsiPassThroughHex()
{
    int handle = 0;
    if (!BeginPassThrough(&handle)) {
        return;
    }
    u8 cdb[kMaxCdbLen] = {};
    const u32 cdb_len = ReadHexCdb(cdb);
    if (cdb_len == 0) {
        EndPassThrough(&handle);
        return;
    }

    char prompt[96];
    snprintf(prompt, sizeof(prompt), "\nEnter input data length in bytes:  [0-%u or RETURN to quit] ",
             kPassThroughHexMaxData);
    u32 len = 0;
    if (!AskOrReturn(prompt, 10, kPassThroughHexMaxData, &len)) {
        EndPassThrough(&handle);
        return;
    }
    u32 dir = SCSI_DIR_IN;
    if (len == 0) {
        snprintf(prompt, sizeof(prompt), "\nEnter output data length in bytes:  [0-%u or RETURN to quit] ",
                 kPassThroughHexMaxData);
        if (!AskOrReturn(prompt, 10, kPassThroughHexMaxData, &len)) {
            EndPassThrough(&handle);
            return;
        }
        dir = len != 0 ? SCSI_DIR_OUT : SCSI_DIR_NONE;
    }
    if (len != 0) {
        allocDataBuf(len);
        if (data_buf == nullptr) {
            EndPassThrough(&handle);
            return;
        }
    }
    if (dir == SCSI_DIR_OUT && !EditOutputData()) {
        EndPassThrough(&handle);
        return;
    }

    const bool ok = SendAndReport(&handle, cdb, cdb_len, dir);
    if (ok && dir == SCSI_DIR_IN) {
        PrintReceivedData(data_buf, data_len);
    }
    EndPassThrough(&handle);
}

void scsiPassThrough()
{
    int handle = 0;
    if (!BeginPassThrough(&handle)) {
        return;
    }
    u8 cdb[kMaxCdbLen] = {};
    char prompt[128];

    snprintf(prompt, sizeof(prompt), "%sset CDB length : [6/10/12/16] ", msg_indent);
    u32 cdb_len = 0;
    // A CDB of no bytes is no command: 0 (also "q") leaves the tool.
    if (!AskRepeating(prompt, 10, kMaxCdbLen, &cdb_len) || cdb_len == 0) {
        EndPassThrough(&handle);
        return;
    }
    for (u32 i = 0; i < cdb_len; i++) {
        snprintf(prompt, sizeof(prompt), "%sset CDB[%02u] : 0x", msg_indent, i);
        u32 value = 0;
        if (!AskRepeating(prompt, 16, 0xFF, &value)) {
            EndPassThrough(&handle);
            return;
        }
        cdb[i] = static_cast<u8>(value);
    }

    snprintf(prompt, sizeof(prompt), "%sset data direction : [0=No Data/1=From Disk/2=To Disk] ", msg_indent);
    u32 dir = SCSI_DIR_NONE;
    if (!AskRepeating(prompt, 10, SCSI_DIR_OUT, &dir)) {
        EndPassThrough(&handle);
        return;
    }
    if (dir != SCSI_DIR_NONE) {
        snprintf(prompt, sizeof(prompt), "%sset data length : [Hex/Bytes/max=0x20000] 0x", msg_indent);
        u32 len = 0;
        if (!AskRepeating(prompt, 16, kPassThroughMaxData, &len)) {
            EndPassThrough(&handle);
            return;
        }
        allocDataBuf(len);
        if (len != 0 && data_buf == nullptr) {
            EndPassThrough(&handle);
            return;
        }
        // With no bytes to move there is nothing to read from or save to a file.
        if (len != 0) {
            const bool use_file = AskYesNo(dir == SCSI_DIR_OUT ? "%sget data from file : [y/n] "
                                                               : "%ssave received data : [y/n] ");
            if (use_file) {
                AskDataFile(dir);
            }
        }
    }

    const bool ok = SendAndReport(&handle, cdb, cdb_len, dir);
    if (ok && dir == SCSI_DIR_IN && bin_file_name[0] != '\0') {
        int user_err = USER_ERR_NO_ERROR;
        if (WriteFileData(bin_file_name, data_buf, data_len, "wb", &user_err)) {
            printf("%sdata saved to file %s\n", msg_indent, bin_file_name);
        } else {
            printf("%sdata saved to file %s failed, User Err Code [%08Xh:%s]\n", msg_indent, bin_file_name,
                   static_cast<unsigned>(user_err), MsgProcessor::GetErrStr(user_err).c_str());
        }
    }
    EndPassThrough(&handle);
}
