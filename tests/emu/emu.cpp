// Drive emulator, preloaded into the unchanged binary (or linked into a test).
// It claims every drive and controller node so a test can never reach a real disk.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>

namespace {

const char* const claimed_prefixes[] = {"/dev/sd", "/dev/sg", "/dev/megaraid", "/dev/megadev"};

bool IsClaimed(const char* path)
{
    if (path == nullptr) {
        return false;
    }
    for (const char* prefix : claimed_prefixes) {
        if (strncmp(path, prefix, strlen(prefix)) == 0) {
            return true;
        }
    }
    return false;
}

template <typename Fn>
Fn Real(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

int ClaimedOpen()
{
    errno = ENOENT;
    return -1;
}

mode_t ModeArg(int flags, va_list ap)
{
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        return static_cast<mode_t>(va_arg(ap, int));
    }
    return 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return ClaimedOpen();
    }
    static auto real = Real<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return ClaimedOpen();
    }
    static auto real = Real<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return ClaimedOpen();
    }
    static auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    return real(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return ClaimedOpen();
    }
    static auto real = Real<int (*)(int, const char*, int, ...)>("openat64");
    return real(dirfd, path, flags, mode);
}

int __open_2(const char* path, int flags)
{
    if (IsClaimed(path)) {
        return ClaimedOpen();
    }
    static auto real = Real<int (*)(const char*, int)>("__open_2");
    return real(path, flags);
}

int __open64_2(const char* path, int flags)
{
    if (IsClaimed(path)) {
        return ClaimedOpen();
    }
    static auto real = Real<int (*)(const char*, int)>("__open64_2");
    return real(path, flags);
}

} // extern "C"
