// Whole-file I/O with user error codes, local date/time strings, host identity,
// blank stripping and hex dumps. No state of their own; they touch no drive.
#ifndef ZV_FILE_UTILS_H
#define ZV_FILE_UTILS_H

#include "common.h"

#include <cstdio>
#include <string>
#include <vector>

// Opens path for reading only when it is a regular file: a FIFO would block the open, and a
// device may never end or act on being opened. The name is looked at first, opened without
// blocking and looked at again through the descriptor, which is then made blocking. -1 (null)
// for anything else, or when it cannot be opened.
int OpenRegularFile(const char* path);
FILE* OpenRegularFileStream(const char* path);

// Whole-file helpers: on failure *user_err gets the file error code, on success it is left alone.
// The two readers take only a regular file, as OpenRegularFile does; anything else cannot be opened.
bool WriteFileData(const char* path, const void* data, u32 len, const char* mode, int* user_err);
bool ReadFileData(const char* path, u8* buf, u32 len, int* user_err);
bool GetFileLen(const char* path, u32* len, int* user_err);
// WriteFileData for a "w" mode that leaves no half-written file: a regular file that was
// opened (and so truncated) but not written whole is removed.
bool WriteWholeFileData(const char* path, const void* data, u32 len, const char* mode, int* user_err);

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
