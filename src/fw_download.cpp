#include "fw_download.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console_input.h"
#include "disk_cmnd.h"
#include "disk_info.h"
#include "file_utils.h"
#include "front_state.h"
#include "msg_processor.h"
#include "settings.h"
#include "vendor_cmnd_exec.h"
#include "workflow_common.h"

namespace {

const u32 kSectorSize = 512;
const u32 kStatusLen = 512;  // "[89h] Check Download Status" answers one sector
const u8 kStatusDone = 1;    // status byte 0 once the drive has taken the image

// The console answer that fw_file_name points to when the workflow asked for the file.
char fw_file_input[kConsoleLineSize];

void PrintQueryLenFailed(const char* file, int user_err)
{
    printf("  Query file %s 's length failed, User Err Code [%08Xh:%s]\n", file, static_cast<u32>(user_err),
           MsgProcessor::GetErrStr(user_err).c_str());
}

void EndDownload()
{
    fw_file_name = nullptr;
    freeDataBuf();
}

void PrintDownloadOk(const char* what)
{
    printf("  Download %s %s to Disk %s successfully\n", what, fw_file_name, dev_name);
}

void PrintDownloadFailed(const char* what, int user_err, int sys_err)
{
    printf("  Download %s %s to Disk %s failed, User Err Code [%08Xh:%s], System Err Code [%08lXh]\n", what,
           fw_file_name, dev_name, static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str(),
           SysErrHex(sys_err));
}

// Asks the drive whether it took the image; a failed question is reported and counts as no.
bool DownloadDone()
{
    u8 status[kStatusLen];
    memset(status, 0, sizeof(status));
    // Anything but the drive's own answer must read as "not done".
    status[0] = 0xFF;
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    if (!DiskCmnd::Execute(TYPE_89H_CHECK_DOWNLOAD_STATUS, &cur_disk, status, kStatusLen, &user_err, &sys_err)) {
        PrintDownloadFailed("microcode", user_err, sys_err);
        return false;
    }
    return status[0] == kStatusDone;
}

bool SendImage(int* user_err, int* sys_err)
{
    return DiskCmnd::Execute(TYPE_92H_DOWNLOAD_MICROCODE, &cur_disk, data_buf, data_len, user_err, sys_err);
}

// ---------------------------------------------------------------- controller images

// Why an image cannot be rewritten.
enum class ImageFault { kNone, kLength, kFirstLen, kFlag };

ImageFault BuildNewFwImage(const u8* image, u32 len, u32 flag, std::vector<u8>* out)
{
    if (flag > 1) {
        return ImageFault::kFlag;
    }
    // The header must be there to be read, and the image within the utility's limit.
    if (len < sizeof(FwImageHeader) || len >= kFwImageMaxLen) {
        return ImageFault::kLength;
    }
    FwImageHeader header;
    memcpy(&header, image, sizeof(header));
    const u32 first = header.fisrtFwLens;
    // The first part lies inside the file; a second part must begin past the new header
    // block and hold at least one byte.
    if (first == 0 || first > len || (flag == 1 && (first < kFwHeaderBlock || first == len))) {
        return ImageFault::kFirstLen;
    }
    if (flag == 0) {
        out->assign(image, image + first);
        return ImageFault::kNone;
    }
    const u32 second = len - first;
    const u32 framed = (kFwHeaderBlock + second + kFwFrameAlign - 1) / kFwFrameAlign * kFwFrameAlign;
    out->assign(framed + sizeof(FwImageHeader), 0);
    header.fisrtFwLens = kFwHeaderBlock;
    memcpy(out->data(), &header, sizeof(header));
    memcpy(out->data() + kFwHeaderBlock, image + first, second);
    memcpy(out->data() + framed, &header, sizeof(header));
    return ImageFault::kNone;
}

bool IsImageArg(const std::string& arg) { return StartsWith(arg.c_str(), "-f") || StartsWith(arg.c_str(), "-u"); }

std::vector<std::string> CopyArgs(char** argv)
{
    std::vector<std::string> args;
    if (argv != nullptr && argv[0] != nullptr) {
        for (char** a = argv + 1; *a != nullptr; a++) {
            args.push_back(*a);
        }
    }
    return args;
}

// A file this run made, removed again only while the name still stands for it.
struct MadeFile {
    std::string name;
    FileId id;
};

bool WasMade(const std::vector<MadeFile>& made, const std::string& name)
{
    for (const MadeFile& m : made) {
        if (m.name == name) {
            return true;
        }
    }
    return false;
}

void RemoveFiles(const std::vector<MadeFile>& made)
{
    for (const MadeFile& m : made) {
        RemoveOwnFile(m.name.c_str(), m.id);
    }
}

// The files made for the utility are new: a file of that name is the operator's.
const unsigned kImageFileMode = 0666;

// Runs a shell command after the program's own output, so the two never interleave. With
// out >= 0 the shell's standard output is that descriptor; the program's own comes back after.
// False when the output could not be put in place (nothing is run then).
bool RunShell(const std::string& cmd, int out = -1)
{
    fflush(stdout);
    fflush(stderr);
    int saved = -1;
    if (out >= 0) {
        saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        // The program's own output must come back: only a closed one may stay closed.
        if ((saved < 0 && errno != EBADF) || dup2(out, STDOUT_FILENO) < 0) {
            if (saved >= 0) {
                close(saved);
            }
            return false;
        }
    }
    // The status of the command is not looked at.
    system(cmd.c_str());
    if (out >= 0) {
        if (saved >= 0) {
            dup2(saved, STDOUT_FILENO);
            close(saved);
        } else {
            close(STDOUT_FILENO);
        }
    }
    return true;
}

const char kCaptureName[] = "upgrade_out";

// The file that the utility's output goes to: made here, new and regular, just before the
// utility runs, and handed to the shell as its standard output, so that whatever is done to
// the name meanwhile, the output reaches this file alone. An "upgrade_out" that is there
// already is the operator's and is left alone, unless a killed run left it.
bool MakeCaptureFile(HeldFile* capture)
{
    if (CreateHeldFile(kCaptureName, 0600, capture, nullptr) < 0) {
        puts("open file error!");
        return false;
    }
    return true;
}

// INT and TERM remove the files of the run in progress before they end it.
class SignalsRemoveOwnFiles {
public:
    SignalsRemoveOwnFiles() { RemoveOwnFilesOnSignal(true); }
    ~SignalsRemoveOwnFiles() { RemoveOwnFilesOnSignal(false); }
    SignalsRemoveOwnFiles(const SignalsRemoveOwnFiles&) = delete;
    SignalsRemoveOwnFiles& operator=(const SignalsRemoveOwnFiles&) = delete;
};

// True when the file behind fd holds text anywhere, as grep finds a fixed string in a line.
bool FileHolds(int fd, const std::string& text)
{
    std::string window;
    bool found = false;
    ReadChunks(fd, [&](const u8* data, size_t len) {
        window.append(reinterpret_cast<const char*>(data), len);
        found = window.find(text) != std::string::npos;
        // Keep what a match across the next piece could start with.
        if (!found && window.size() >= text.size()) {
            window.erase(0, window.size() - (text.size() - 1));
        }
        return !found;
    });
    return found;
}

// The verdict comes from the capture this run made, read through its own descriptor: what
// the name stands for by now (another user's file put in its place) is not looked at.
void JudgeUpgradeOut(const char* exit_code, int capture)
{
    const bool ok = FileHolds(capture, exit_code);
    puts(ok ? "Download microcode Disk successfully" : "Download microcode Disk failed");
}

void PrintPaddingFault(int line)
{
    printf("%s:%d\n", "Raid_UpFirware", line);
    fflush(stdout);
    fflush(stderr);
}

// Raid_UpFirware's copy of an image padded to whole sectors: false when the image cannot
// be used (reported here, except an image that cannot be opened).
bool WritePaddedCopy(const std::string& image, const std::string& tmp, bool made_before, FileId* id,
                     bool* needed)
{
    *needed = false;
    u32 len = 0;
    int user_err = USER_ERR_NO_ERROR;
    if (!GetFileLen(image.c_str(), &len, &user_err)) {
        PrintQueryLenFailed(image.c_str(), user_err);
        return false;
    }
    if (len == 0) {
        printf("  file %s 's length is illegal, %u is empty\n", image.c_str(), len);
        return false;
    }
    if (len % kSectorSize == 0) {
        return true;
    }
    const u64 padded = static_cast<u64>(len) / kSectorSize * kSectorSize + kSectorSize;
    if (padded > INT_MAX) {
        printf("  file %s 's length is illegal, %u is too long\n", image.c_str(), len);
        return false;
    }
    printf("buf_len = %d\n", static_cast<int>(padded));
    allocDataBuf(static_cast<u32>(padded));
    if (data_buf == nullptr) {
        PrintPaddingFault(5413);
        return false;
    }
    // The buffer comes cleared, so the tail past the image is the zero padding.
    if (!ReadFileData(image.c_str(), data_buf, len, &user_err)) {
        if (user_err != USER_ERR_FILE_OPEN) {
            PrintPaddingFault(5403);
        }
        return false;
    }
    // The same image named twice has its copy made once.
    if (!made_before && !WriteNewFile(tmp.c_str(), data_buf, data_len, kImageFileMode, id, &user_err)) {
        printf("    Original binary data can't be saved to %s, User Err Coode [%08Xh:%s]\n", tmp.c_str(),
               static_cast<u32>(user_err), MsgProcessor::GetErrStr(user_err).c_str());
        return false;
    }
    *needed = true;
    return true;
}

} // namespace

// Takes the file of -u, or asks for one; false when the operator gives none.
bool chooseDownloadFile(const char* prompt)
{
    if (fw_file_name != nullptr) {
        return true;
    }
    fputs(prompt, stdout);
    fflush(stdout);
    if (!readConsoleLine(fw_file_input, sizeof(fw_file_input))) {
        return false;
    }
    if (fw_file_input[0] == '\0') {
        consoleRefuseAnswer();
        return false;
    }
    fw_file_name = fw_file_input;
    return true;
}

// Reads the whole file into data_buf. A loader must be whole sectors.
bool loadDownloadFile(const char* file, bool whole_sectors)
{
    u32 len = 0;
    int user_err = USER_ERR_NO_ERROR;
    if (!GetFileLen(file, &len, &user_err)) {
        PrintQueryLenFailed(file, user_err);
        return false;
    }
    if (whole_sectors && (len == 0 || len % kSectorSize != 0)) {
        printf("  file %s 's length is illegal, %u is not multiple of 512 Bytes\n", file, len);
        return false;
    }
    if (len == 0) {
        printf("  file %s 's length is illegal, %u is empty\n", file, len);
        return false;
    }
    allocDataBuf(len);
    // A failed allocation leaves no buffer, which the read reports.
    if (!ReadFileData(file, data_buf, len, &user_err)) {
        printf("  Read file %s 's failed, User Err Code [%08Xh:%s]\n", file, static_cast<u32>(user_err),
               MsgProcessor::GetErrStr(user_err).c_str());
        return false;
    }
    return true;
}

void downloadMicrocode()
{
    // Every download starts in the normal layout, also after an earlier retry in this process.
    fw_download_retry = false;
    if (chooseDownloadFile("  input firmware file : ") && loadDownloadFile(fw_file_name, false)) {
        int user_err = USER_ERR_NO_ERROR;
        int sys_err = 0;
        bool sent = SendImage(&user_err, &sys_err);
        if (isFamilyK4410(cur_disk.model) && (sent || user_err != USER_ERR_ILLEGAL_PARAM)) {
            // These drives tell by their status whether the image took, whatever the transfer
            // said; only an image refused before it left the host is not theirs to judge.
            if (DownloadDone()) {
                PrintDownloadOk("microcode");
            } else {
                fw_download_retry = true;
                sent = SendImage(&user_err, &sys_err);
                if (!sent && user_err == USER_ERR_ILLEGAL_PARAM) {
                    PrintDownloadFailed("microcode", user_err, sys_err);
                } else if (DownloadDone()) {
                    PrintDownloadOk("microcode");
                } else {
                    printf("  Download microcode %s to Disk %s failed\n", fw_file_name, dev_name);
                }
            }
        } else if (sent) {
            PrintDownloadOk("microcode");
        } else {
            PrintDownloadFailed("microcode", user_err, sys_err);
        }
    }
    EndDownload();
}

void downloadLoader()
{
    if (chooseDownloadFile("  input Loader file : ") && loadDownloadFile(fw_file_name, true)) {
        int user_err = USER_ERR_NO_ERROR;
        int sys_err = 0;
        if (DiskCmnd::Execute(TYPE_3BH_DOWNLOAD_R5_LOADER, &cur_disk, data_buf, data_len, &user_err, &sys_err)) {
            PrintDownloadOk("R5 Loader");
        } else {
            PrintDownloadFailed("R5 Loader", user_err, sys_err);
        }
    }
    EndDownload();
}

namespace {

bool MakeNewFwFile(const char* src, const char* dst, u32 flag, FileId* id)
{
    FILE* in = OpenRegularFileStream(src);
    if (in == nullptr) {
        puts("open file error!");
        return false;
    }
    // Reading up to the limit itself shows whether the file reaches it.
    std::vector<u8> image(kFwImageMaxLen);
    const size_t got = fread(image.data(), 1, image.size(), in);
    const bool read_failed = ferror(in) != 0;
    fclose(in);
    if (read_failed) {
        puts("open file error!");
        return false;
    }
    std::vector<u8> out;
    switch (BuildNewFwImage(image.data(), static_cast<u32>(got), flag, &out)) {
    case ImageFault::kNone:
        break;
    case ImageFault::kLength:
        printf("  file %s 's length is illegal, a firmware image holds %u to %u Bytes\n", src,
               static_cast<u32>(sizeof(FwImageHeader)), kFwImageMaxLen - 1);
        return false;
    case ImageFault::kFirstLen: {
        FwImageHeader header;
        memcpy(&header, image.data(), sizeof(header));
        printf("  file %s 's first firmware length %u is illegal\n", src, header.fisrtFwLens);
        return false;
    }
    case ImageFault::kFlag:
        printf("  firmware part %u is illegal\n", flag);
        return false;
    }
    // Whole or not there: the utility is never handed half an image.
    int user_err = USER_ERR_NO_ERROR;
    if (!WriteNewFile(dst, out.data(), static_cast<u32>(out.size()), kImageFileMode, id, &user_err)) {
        puts(user_err == USER_ERR_FILE_WRITE ? "make new fw file error!" : "open file error!");
        return false;
    }
    return true;
}

} // namespace

bool makeNewFwFile(char* src, char* dst, u32 flag) { return MakeNewFwFile(src, dst, flag, nullptr); }

std::string shellWord(const std::string& word)
{
    // No '=': as the first word of the command it would make the shell take the word for
    // a variable assignment and run the next word instead.
    static const char safe[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:+,%@";
    if (!word.empty() && word.find_first_not_of(safe) == std::string::npos) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

bool buildUtilityCommand(const std::vector<std::string>& args, std::string* cmd)
{
    size_t first = 0;
    while (first < args.size() && !StartsWith(args[first].c_str(), "MegaCli")) {
        first++;
    }
    if (first == args.size()) {
        return false;
    }
    cmd->clear();
    for (size_t i = first; i < args.size(); i++) {
        *cmd += shellWord(args[i]) + " ";
    }
    return true;
}

namespace {

// The arguments after the program name, refused (before anything is written) when they
// hold no utility command to run.
bool LoadUtilityArgs(char** argv, std::vector<std::string>* args, std::string* cmd)
{
    *args = CopyArgs(argv);
    if (!buildUtilityCommand(*args, cmd)) {
        puts("pls input the MegaCli64 or MegaCli utility..");
        return false;
    }
    return true;
}

// An image option at args[i] must be followed by its file name; the files made so far are
// removed when it is not.
bool ImageNameFollows(const std::vector<std::string>& args, size_t i, const std::vector<MadeFile>& made)
{
    if (i + 1 < args.size()) {
        return true;
    }
    puts("pls input the file name..");
    RemoveFiles(made);
    return false;
}

} // namespace

bool raidFwUpgrade(char** argv, u32 flag)
{
    SignalsRemoveOwnFiles on_signal;
    std::vector<std::string> args;
    std::string cmd;
    if (!LoadUtilityArgs(argv, &args, &cmd)) {
        return false;
    }
    std::vector<MadeFile> made;
    bool named = false;
    bool all_made = true;
    for (size_t i = 0; i < args.size(); i++) {
        if (!IsImageArg(args[i])) {
            continue;
        }
        if (!ImageNameFollows(args, i, made)) {
            return false;
        }
        std::string image = args[i + 1];
        std::string renamed = image + ".new";
        args[i + 1] = renamed;
        named = true;
        // The same image named twice is rewritten once.
        if (!WasMade(made, renamed)) {
            FileId id;
            if (MakeNewFwFile(image.c_str(), renamed.c_str(), flag, &id)) {
                made.push_back({renamed, id});
            } else {
                all_made = false;
            }
        }
        i++;
    }
    if (!named) {
        puts("pls input the file name..");
        return false;
    }
    // The utility must never be handed a name whose image was not made.
    if (!all_made) {
        RemoveFiles(made);
        return false;
    }
    const bool capture = flag == 1;
    HeldFile capture_file;
    if (capture && !MakeCaptureFile(&capture_file)) {
        RemoveFiles(made);
        return false;
    }
    const int capture_fd = capture_file.fd;
    buildUtilityCommand(args, &cmd);
    if (!RunShell(cmd, capture_fd)) {
        puts("open file error!");
        RemoveHeldFile(&capture_file);
        RemoveFiles(made);
        return false;
    }
    if (capture) {
        size_t util = 0;
        while (!StartsWith(args[util].c_str(), "MegaCli")) {
            util++;
        }
        if (StartsWith(args[util].c_str(), "MegaCli64")) {
            for (const std::string& a : args) {
                if (StartsWith(a.c_str(), "-SAM")) {
                    JudgeUpgradeOut("Exit Code: 0x00", capture_fd);
                    break;
                }
            }
        } else {
            JudgeUpgradeOut("Exit Code: 0x2e", capture_fd);
        }
    }
    RemoveFiles(made);
    // Only the capture of this run is removed: a file of that name is otherwise the operator's.
    RemoveHeldFile(&capture_file);
    return true;
}

bool Raid_UpFirware(char** argv)
{
    SignalsRemoveOwnFiles on_signal;
    std::vector<std::string> args;
    std::string cmd;
    if (!LoadUtilityArgs(argv, &args, &cmd)) {
        return false;
    }
    std::vector<std::string> images;
    std::vector<MadeFile> made;
    for (size_t i = 0; i < args.size(); i++) {
        if (!IsImageArg(args[i])) {
            continue;
        }
        if (!ImageNameFollows(args, i, made)) {
            freeDataBuf();
            return false;
        }
        const std::string image = args[i + 1];
        const std::string tmp = image + ".tmp";
        bool needed = false;
        const bool made_before = WasMade(made, tmp);
        FileId id;
        if (!WritePaddedCopy(image, tmp, made_before, &id, &needed)) {
            RemoveFiles(made);
            freeDataBuf();
            return false;
        }
        if (needed && !made_before) {
            images.push_back(image);
            made.push_back({tmp, id});
        }
        i++;
    }
    freeDataBuf();
    for (std::string& a : args) {
        for (const std::string& image : images) {
            if (a == image) {
                a = image + ".tmp";
                break;
            }
        }
    }
    buildUtilityCommand(args, &cmd);
    RunShell(cmd);
    RemoveFiles(made);
    return true;
}

void removeDeadCapture() { RemoveDeadHeldFile(kCaptureName); }
