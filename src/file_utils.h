// Whole-file I/O with user error codes, local date/time strings, host identity,
// blank stripping and hex dumps. No state of their own; they touch no drive.
#ifndef ZV_FILE_UTILS_H
#define ZV_FILE_UTILS_H

#include "common.h"

#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Opens path for reading only when it is a regular file: a FIFO would block the open, and a
// device may never end or act on being opened. The name is looked at first, opened without
// blocking and looked at again through the descriptor, which is then made blocking. -1 (null)
// for anything else, or when it cannot be opened.
int OpenRegularFile(const char* path);
FILE* OpenRegularFileStream(const char* path);

// Every helper that makes, opens to write, renames or removes a name takes a name under
// "SSDlog/" inside the directory that this run holds (log_dir_fd), never again by that name.

// Whole-file helpers: on failure *user_err gets the file error code, on success it is left alone.
// With a "w" mode WriteFileData saves through OutputFile: the file is whole or keeps what it had;
// with an "a" mode it appends in place as OpenRegularFileToWrite opens.
// The two readers take only a regular file, as OpenRegularFile does; anything else cannot be opened.
bool WriteFileData(const char* path, const void* data, u32 len, const char* mode, int* user_err);
bool ReadFileData(const char* path, u8* buf, u32 len, int* user_err);
bool GetFileLen(const char* path, u32* len, int* user_err);

// A name the program writes (this runs as root) must be absent or a regular file: a link,
// FIFO, device, socket or directory under it is never followed, opened or replaced. Such a
// name is refused: said on standard error, user error 23.
bool IsWritableName(const char* path, int* user_err);

// Opens a regular file to write in place ("+" to read it too), "a..." at its end or "w..." emptied: never through
// a link, never blocking on what is no regular file, never into a file that has other hard
// links (said on standard error), and emptied only once known to be one.
// Null (user error 23) when it cannot be opened or is refused.
FILE* OpenRegularFileToWrite(const char* path, const char* mode, int* user_err);

// Makes path a new, empty regular file (an old regular file of that name goes first) and
// returns its descriptor, or -1 (user error 23) when it cannot be made or the name is refused.
int CreateFreshFile(const char* path, int* user_err);

// True when the descriptor is the regular file that path names right now.
bool IsSameFile(int fd, const char* path);
// Reads the file behind fd from its start to its end, handing take each piece as it comes (the
// file position is left alone); false on a read error or as soon as take returns false.
bool ReadChunks(int fd, const std::function<bool(const u8*, size_t)>& take);

// Files that must be new: a name that already stands for anything, the operator's own file
// included, is refused and left as it is (said on standard error, with how to go on), never
// overwritten. *id, when given, tells the file apart later.
struct FileId {
    u64 dev = 0;
    u64 ino = 0;
};
// Makes the file with data, synced, under a temporary name or none first, so that the name
// only ever stands for the whole file; after a failure (user error 23 or 25) no file of its
// making remains. A regular file under the name that holds exactly data (a killed run's) is
// replaced: nothing is lost with it.
bool WriteNewFile(const char* path, const void* data, u32 len, unsigned mode, FileId* id, int* user_err);
// Removes path only while it is still the file id names; false when it is not (then left).
bool RemoveOwnFile(const char* path, const FileId& id);

// A new, empty file under path that the run holds, for as long as it needs it, also under a
// second name beside it: a temporary file (IsOutputTempName) that it keeps locked. So a file
// under path left by a killed run is told from anyone else's: its second name is held by no
// one. CreateHeldFile returns the descriptor (open to read and write) or -1 (user error 23).
struct HeldFile {
    std::string path;
    std::string temp;
    FileId id;
    int fd = -1;
};
int CreateHeldFile(const char* path, unsigned mode, HeldFile* held, int* user_err);
// Removes both names while they still stand for the file, and closes it.
void RemoveHeldFile(HeldFile* held);
// Removes the file under path with its second name when no running run holds it.
bool RemoveDeadHeldFile(const char* path);

// While on, INT and TERM remove the files that WriteNewFile and CreateHeldFile made (those
// still standing under their names) before they end the run as they would have; off puts the
// earlier actions back. A signal the run was started to ignore stays ignored.
void RemoveOwnFilesOnSignal(bool on);
// Removes path when it is a regular file (a link or anything else under it stays).
bool RemoveRegularFile(const char* path);

// An output file that appears under its name only whole. Everything is written to a
// temporary file in the same directory, held open from Open to Commit, which has no name at
// all where the file system allows (O_TMPFILE), else a fresh one that no one else can have
// made (O_EXCL); it is made readable by its owner alone. Commit gives it the final file's
// owner and mode and syncs it before it has a name, then puts it over the final name in one
// rename (an exchange with the earlier file where the file system has it), and checks that the
// name is the file written; until then, and after any failure, the final name keeps what it had
// (the earlier file is exchanged back when the temporary name was swapped for something else)
// and the temporary file is gone. A run killed before the
// rename leaves at most a temporary file (IsOutputTempName) no wider than the final file.
class OutputFile {
public:
    OutputFile() {}
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // mode is "wb" or "wt"; the stream can be read back as well. False (user error 23) when
    // path is refused or its directory takes no file. like, when given, names the file whose
    // owner and mode the file gets while that one stands (a regular file), before path's own.
    bool Open(const char* path, const char* mode, int* user_err, const char* like = nullptr);
    FILE* Stream() const { return stream; }
    // False (user error 25, or 23 when the final name became something else) after a failed
    // write, sync, close or rename: then nothing was put in place; 23 also when after the rename
    // the name, in its directory or as said, is not the file written.
    bool Commit(int* user_err);
    // Drops what was written; the final name is not touched.
    void Discard();

private:
    bool NameTemp(int fd, mode_t mode, int* named_fd);
    bool PutInPlace(int named, int* code);
    void FinalMode(int fd, mode_t mode);

    std::string path;  // as said
    std::string like;  // empty: the file takes path's own owner and mode
    int dir = -1;      // the directory the name is in, held from Open on
    std::string name;  // the last component
    std::string temp;  // in dir; empty while the temporary file has no name
    FILE* stream = nullptr;
    bool owner_set = false;
    uid_t owner_uid = 0;
    gid_t owner_gid = 0;
};

// The names OutputFile gives its temporary files; only those of a run that ended before its
// rename remain.
bool IsOutputTempName(const char* name);
// Removes such a file unless a running save still holds it; false when it stays.
bool RemoveStaleOutputTemp(const char* path);
bool RemoveStaleOutputTempAt(int dir, const char* name);
// Removes every such file in the directory dir (AT_FDCWD: the working directory) that no
// running save holds.
void RemoveStaleOutputTemps(int dir);
// Removes whatever stands under name in dir: a file, link, FIFO, or a directory with all in
// it, to 33 levels; nothing is followed, and nothing on another file system is entered or
// removed.
bool RemoveNameAt(int dir, const char* name);
// What cannot be removed from under a name the program needs (a tree too deep, or with a file
// system mounted in it) is moved aside in the same directory, to "<name>.aside-XXXXXX"; the
// new name, or empty when it cannot be moved. RemoveAsideTrees tries the removal again on every
// such name in dir.
bool IsAsideName(const char* entry, const char* name);
std::string MoveAsideAt(int dir, const char* name);
void RemoveAsideTrees(int dir, const char* name);

// Local time: "YYYY-MM-DD", "HH?MM?SS" and "HH?MM?SS?mmm" with ? the separator.
std::string GetDateStr();
std::string GetTimeStr(char sep);
std::string GetTimeStrMs(char sep);

// Host name and the dotted IPv4 addresses of the interfaces that are up and not the loopback.
class HostInfo {
public:
    HostInfo();
    ~HostInfo();

    std::string host_name;
    std::vector<std::string> ip_list;
};

void GetHostInfo(HostInfo* info);

// Removes blanks and newlines from buf[0..len) in place and zero-fills the rest of it;
// returns the new length, or -1 for a null buffer.
int StripBlank(char* buf, u32 len);

// Appends a hex dump of data to *out: rows of 8 (row_width <= 8) or 16 bytes, each
// indented, with a hexadecimal offset column unless offset_mode is 0 (offset_mode <= 8).
bool HexDumpToStr(std::string* out, const u8* data, u32 len, u32 row_width, u32 offset_mode, u32 indent);

#endif
