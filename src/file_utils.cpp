#include "file_utils.h"

#include "msg_processor.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Lets the file helpers report without checking the out-parameter at every exit.
int* ErrSink(int* user_err)
{
    static int ignored;
    return user_err != nullptr ? user_err : &ignored;
}

struct tm LocalTime(time_t t)
{
    struct tm parts;
    memset(&parts, 0, sizeof(parts));
    localtime_r(&t, &parts);
    return parts;
}

} // namespace

bool WriteFileData(const char* path, const void* data, u32 len, const char* mode, int* user_err)
{
    int* err = ErrSink(user_err);
    if (path == nullptr) {
        *err = USER_ERR_FILE_NOT_EXIST;
        return false;
    }
    if (data == nullptr) {
        *err = USER_ERR_ILLEGAL_POINTER;
        return false;
    }
    if (mode == nullptr) {
        *err = USER_ERR_ILLEGAL_PARAM;
        return false;
    }
    FILE* f = fopen(path, mode);
    if (f == nullptr) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    size_t written = fwrite(data, 1, len, f);
    // Buffered data reaches the file only at close, so a failed close is a failed write too.
    int close_rc = fclose(f);
    if (written < len || close_rc != 0) {
        *err = USER_ERR_FILE_WRITE;
        return false;
    }
    return true;
}

bool WriteWholeFileData(const char* path, const void* data, u32 len, const char* mode, int* user_err)
{
    int err = USER_ERR_NO_ERROR;
    if (WriteFileData(path, data, len, mode, &err)) {
        return true;
    }
    // Only a failed write has touched the file; a device or a directory is never removed.
    struct stat st;
    if (err == USER_ERR_FILE_WRITE && mode[0] == 'w' && stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        remove(path);
    }
    *ErrSink(user_err) = err;
    return false;
}

int OpenRegularFile(const char* path)
{
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    // The name may have been replaced between the two looks: the descriptor decides.
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

FILE* OpenRegularFileStream(const char* path)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return nullptr;
    }
    FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        close(fd);
    }
    return f;
}

bool ReadFileData(const char* path, u8* buf, u32 len, int* user_err)
{
    int* err = ErrSink(user_err);
    if (path == nullptr) {
        *err = USER_ERR_FILE_NOT_EXIST;
        return false;
    }
    if (buf == nullptr) {
        *err = USER_ERR_ILLEGAL_POINTER;
        return false;
    }
    FILE* f = OpenRegularFileStream(path);
    if (f == nullptr) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    size_t got = fread(buf, 1, len, f);
    fclose(f);
    if (got < len) {
        *err = USER_ERR_FILE_READ;
        return false;
    }
    return true;
}

bool GetFileLen(const char* path, u32* len, int* user_err)
{
    int* err = ErrSink(user_err);
    if (path == nullptr) {
        *err = USER_ERR_FILE_NOT_EXIST;
        return false;
    }
    if (len == nullptr) {
        *err = USER_ERR_ILLEGAL_POINTER;
        return false;
    }
    FILE* f = OpenRegularFileStream(path);
    if (f == nullptr) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    long end = -1;
    if (fseek(f, 0, SEEK_END) == 0) {
        end = ftell(f);
    }
    fseek(f, 0, SEEK_SET);
    fclose(f);
    // A length that cannot be read is never reported as one.
    if (end < 0) {
        *err = USER_ERR_FILE_READ;
        return false;
    }
    if (static_cast<unsigned long>(end) > UINT32_MAX) {
        *err = USER_ERR_FILE_LENGTH;
        return false;
    }
    *len = static_cast<u32>(end);
    return true;
}

std::string GetDateStr()
{
    struct tm parts = LocalTime(time(nullptr));
    char buf[1024] = {};
    snprintf(buf, sizeof(buf), "%04u-%02u-%02u", static_cast<unsigned>(parts.tm_year + 1900),
             static_cast<unsigned>(parts.tm_mon + 1), static_cast<unsigned>(parts.tm_mday));
    return buf;
}

std::string GetTimeStr(char sep)
{
    struct tm parts = LocalTime(time(nullptr));
    char buf[1024] = {};
    snprintf(buf, sizeof(buf), "%02u%c%02u%c%02u", static_cast<unsigned>(parts.tm_hour), sep,
             static_cast<unsigned>(parts.tm_min), sep, static_cast<unsigned>(parts.tm_sec));
    return buf;
}

std::string GetTimeStrMs(char sep)
{
    // Seconds and milliseconds from the same reading, so they never disagree.
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm parts = LocalTime(now.tv_sec);
    char buf[1024] = {};
    snprintf(buf, sizeof(buf), "%02u%c%02u%c%02u%c%03ld", static_cast<unsigned>(parts.tm_hour), sep,
             static_cast<unsigned>(parts.tm_min), sep, static_cast<unsigned>(parts.tm_sec), sep,
             static_cast<long>(now.tv_usec / 1000));
    return buf;
}

HostInfo::HostInfo()
{
    GetHostInfo(this);
}

HostInfo::~HostInfo() {}

void GetHostInfo(HostInfo* info)
{
    if (info == nullptr) {
        return;
    }
    char name[256];
    memset(name, 0, sizeof(name));
    // One byte short of the buffer so a truncated name still ends in a zero.
    if (gethostname(name, sizeof(name) - 1) == 0) {
        info->host_name = name;
    }
    info->ip_list.clear();

    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0) {
        return;
    }
    alignas(struct ifreq) char conf_buf[8192];
    memset(conf_buf, 0, sizeof(conf_buf));
    struct ifconf conf;
    memset(&conf, 0, sizeof(conf));
    conf.ifc_len = sizeof(conf_buf);
    conf.ifc_buf = conf_buf;
    if (ioctl(sock, SIOCGIFCONF, &conf) == 0 && conf.ifc_len > 0) {
        size_t count = static_cast<size_t>(conf.ifc_len) / sizeof(struct ifreq);
        for (size_t i = 0; i < count; i++) {
            struct ifreq entry;
            memcpy(&entry, conf_buf + i * sizeof(struct ifreq), sizeof(entry));
            struct sockaddr_in addr;
            memcpy(&addr, &entry.ifr_addr, sizeof(addr));
            // The flags come back over the address, so the address was taken first.
            if (ioctl(sock, SIOCGIFFLAGS, &entry) != 0) {
                continue;
            }
            if ((entry.ifr_flags & IFF_UP) != 0 && (entry.ifr_flags & IFF_LOOPBACK) == 0) {
                char dotted[INET_ADDRSTRLEN] = {};
                if (inet_ntop(AF_INET, &addr.sin_addr, dotted, sizeof(dotted)) != nullptr) {
                    info->ip_list.push_back(dotted);
                }
            }
        }
    }
    close(sock);
}

int StripBlank(char* buf, u32 len)
{
    if (buf == nullptr || len > static_cast<u32>(INT_MAX)) {
        return -1;
    }
    // Compacted in place: nothing outside buf[0..len) is read or written.
    u32 kept = 0;
    for (u32 i = 0; i < len; i++) {
        if (buf[i] != ' ' && buf[i] != '\n') {
            buf[kept++] = buf[i];
        }
    }
    memset(buf + kept, 0, len - kept);
    return static_cast<int>(kept);
}

bool HexDumpToStr(std::string* out, const u8* data, u32 len, u32 row_width, u32 offset_mode, u32 indent)
{
    if (out == nullptr || data == nullptr || len == 0 || offset_mode > 8) {
        return false;
    }
    const u32 per_row = row_width <= 8 ? 8 : 16;
    const char* offset_fmt = len <= 0xFFFF ? "%04Xh : " : (len <= 0xFFFFFF ? "%06Xh : " : "%08Xh : ");
    const std::string pad(indent, ' ');
    std::string text;
    text.reserve(static_cast<size_t>(len / per_row + 1) * (pad.size() + 12 + per_row * 3 + 1));
    char cell[16];
    for (u32 row = 0; row < len; row += per_row) {
        text += pad;
        if (offset_mode != 0) {
            snprintf(cell, sizeof(cell), offset_fmt, row);
            text += cell;
        }
        u32 end = len - row < per_row ? len : row + per_row;
        for (u32 i = row; i < end; i++) {
            snprintf(cell, sizeof(cell), "%02X ", data[i]);
            text += cell;
        }
        text += '\n';
        if (end == len) {
            break;
        }
    }
    out->append(text);
    return true;
}
