// Fault injection for the end-to-end tests: preloaded after the drive emulator, it makes
// a chosen call of the program fail with a chosen errno, or kills the program right there.
//
// ZV_FAULT holds rules separated by ',', each "<call>@<n>=<action>" or "<call>@<n>+=<action>":
// the n-th counted call (from 1), or the n-th and every later one, gets the action.
//   calls:   write, fwrite, fflush, fsync, fclose, close  (counted only on regular files
//            open for writing, never on the emulator's trace file nor on a file whose name
//            is in ZV_FAULT_IGNORE, ':'-separated names without directory), rename (rename,
//            renameat and renameat2), linkat (every call), tmpfile (an open with O_TMPFILE),
//            system (every call: the shell the program starts)
//   actions: an errno name (ENOSPC, EIO, EFBIG, EPERM, ENOENT, EOPNOTSUPP, EACCES) that the
//            call fails with, doing nothing; KILL, SIGKILL before the call is made; or RUN,
//            the shell command in ZV_FAULT_RUN run to its end before the call goes on as usual
//            (another run of the program while this one is in the middle of its work).
// A rule that cannot be read stops the process with status 124 and a message.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Rule {
    std::string call;
    long nth;
    bool onward;
    int err;  // kKill, kRun or the errno to fail with
    long seen;
};

std::vector<Rule>* rules = nullptr;

const int kKill = 0;
const int kRun = -1;

void Die(const std::string& what)
{
    std::string line = "zvfault: " + what + "\n";
    ssize_t rc = ::write(2, line.data(), line.size());
    (void)rc;
    _exit(124);
}

int ErrnoByName(const std::string& name)
{
    static const struct {
        const char* name;
        int value;
    } known[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EFBIG", EFBIG},           {"EPERM", EPERM},
                 {"ENOENT", ENOENT}, {"EACCES", EACCES}, {"EOPNOTSUPP", EOPNOTSUPP}, {"KILL", kKill},
                 {"RUN", kRun}};
    for (const auto& k : known) {
        if (name == k.name) {
            return k.value;
        }
    }
    Die("unknown action '" + name + "'");
    return -1;
}

std::vector<Rule>& Rules()
{
    if (rules != nullptr) {
        return *rules;
    }
    rules = new std::vector<Rule>();
    const char* env = getenv("ZV_FAULT");
    std::string text = env != nullptr ? env : "";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string one = text.substr(start, end - start);
        start = end + 1;
        const size_t at = one.find('@');
        const size_t eq = one.find('=');
        if (at == std::string::npos || eq == std::string::npos || eq < at) {
            Die("cannot read rule '" + one + "'");
        }
        Rule r;
        r.call = one.substr(0, at);
        std::string count = one.substr(at + 1, eq - at - 1);
        r.onward = !count.empty() && count.back() == '+';
        if (r.onward) {
            count.pop_back();
        }
        char* stop = nullptr;
        r.nth = strtol(count.c_str(), &stop, 10);
        if (count.empty() || *stop != '\0' || r.nth < 1) {
            Die("cannot read the count of rule '" + one + "'");
        }
        r.err = ErrnoByName(one.substr(eq + 1));
        r.seen = 0;
        rules->push_back(r);
    }
    return *rules;
}

// The command of a RUN rule, through the shell; this process waits for it and goes on.
void RunCommand()
{
    const char* cmd = getenv("ZV_FAULT_RUN");
    if (cmd == nullptr || cmd[0] == '\0') {
        Die("a RUN rule without ZV_FAULT_RUN");
    }
    const int saved = errno;
    const pid_t pid = fork();
    if (pid == 0) {
        // The command's own calls (mv renames too) are not this process's to count.
        unsetenv("ZV_FAULT");
        execl("/bin/sh", "sh", "-c", cmd, static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    while (pid > 0 && waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    errno = saved;
}

// Counts one call; true (errno set) when it is to fail.
bool Hit(const char* call)
{
    for (Rule& r : Rules()) {
        if (r.call != call) {
            continue;
        }
        r.seen++;
        if (r.seen == r.nth || (r.onward && r.seen > r.nth)) {
            if (r.err == kKill) {
                kill(getpid(), SIGKILL);
            }
            if (r.err == kRun) {
                RunCommand();
                continue;
            }
            errno = r.err;
            return true;
        }
    }
    return false;
}

bool Ignored(int fd)
{
    const char* names = getenv("ZV_FAULT_IGNORE");
    if (names == nullptr || names[0] == '\0') {
        return false;
    }
    char link[64];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    char target[4096];
    ssize_t n = readlink(link, target, sizeof(target) - 1);
    if (n <= 0) {
        return false;
    }
    const std::string path(target, static_cast<size_t>(n));
    const std::string base = path.substr(path.rfind('/') + 1);
    const std::string list = std::string(":") + names + ":";
    return list.find(":" + base + ":") != std::string::npos;
}

// Only the files the program writes count, not the console, pipes, the files it reads, the
// emulator's trace or the ignored ones.
bool Counted(int fd)
{
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) {
        return false;
    }
    const char* trace = getenv("ZV_EMU_TRACE");
    struct stat t;
    if (trace != nullptr && stat(trace, &t) == 0 && t.st_dev == st.st_dev && t.st_ino == st.st_ino) {
        return false;
    }
    return !Ignored(fd);
}

bool CountedStream(FILE* f) { return f != nullptr && Counted(fileno(f)); }

template <typename F> F Real(const char* name)
{
    void* p = dlsym(RTLD_NEXT, name);
    if (p == nullptr) {
        Die(std::string("no next ") + name);
    }
    return reinterpret_cast<F>(p);
}

bool IsTmpfile(int flags) { return (flags & O_TMPFILE) == O_TMPFILE; }

mode_t ModeArg(int flags, va_list ap)
{
    return (flags & O_CREAT) != 0 || IsTmpfile(flags) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t n)
{
    static auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
    if (Counted(fd) && Hit("write")) {
        return -1;
    }
    return real(fd, buf, n);
}

size_t fwrite(const void* p, size_t size, size_t n, FILE* f)
{
    static auto real = Real<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite");
    if (CountedStream(f) && Hit("fwrite")) {
        return 0;
    }
    return real(p, size, n, f);
}

int fflush(FILE* f)
{
    static auto real = Real<int (*)(FILE*)>("fflush");
    if (CountedStream(f) && Hit("fflush")) {
        return EOF;
    }
    return real(f);
}

int fsync(int fd)
{
    static auto real = Real<int (*)(int)>("fsync");
    if (Counted(fd) && Hit("fsync")) {
        return -1;
    }
    return real(fd);
}

int fclose(FILE* f)
{
    static auto real = Real<int (*)(FILE*)>("fclose");
    if (CountedStream(f) && Hit("fclose")) {
        // The stream is gone all the same, as after a failed close.
        int saved = errno;
        real(f);
        errno = saved;
        return EOF;
    }
    return real(f);
}

int close(int fd)
{
    static auto real = Real<int (*)(int)>("close");
    if (Counted(fd) && Hit("close")) {
        int saved = errno;
        real(fd);
        errno = saved;
        return -1;
    }
    return real(fd);
}

int rename(const char* from, const char* to)
{
    static auto real = Real<int (*)(const char*, const char*)>("rename");
    if (Hit("rename")) {
        return -1;
    }
    return real(from, to);
}

int renameat(int olddirfd, const char* from, int newdirfd, const char* to)
{
    static auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
    if (Hit("rename")) {
        return -1;
    }
    return real(olddirfd, from, newdirfd, to);
}

int renameat2(int olddirfd, const char* from, int newdirfd, const char* to, unsigned int flags)
{
    static auto real = Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    if (Hit("rename")) {
        return -1;
    }
    return real(olddirfd, from, newdirfd, to, flags);
}

int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags)
{
    static auto real = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
    if (Hit("linkat")) {
        return -1;
    }
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

int system(const char* cmd)
{
    static auto real = Real<int (*)(const char*)>("system");
    if (Hit("system")) {
        return -1;
    }
    return real(cmd);
}

#define ZV_FAULT_OPEN(name)                                                 \
    int name(const char* path, int flags, ...)                              \
    {                                                                       \
        static auto real = Real<int (*)(const char*, int, ...)>(#name);     \
        va_list ap;                                                         \
        va_start(ap, flags);                                                \
        mode_t mode = ModeArg(flags, ap);                                   \
        va_end(ap);                                                         \
        if (IsTmpfile(flags) && Hit("tmpfile")) {                           \
            return -1;                                                      \
        }                                                                   \
        return real(path, flags, mode);                                     \
    }

#define ZV_FAULT_OPENAT(name)                                               \
    int name(int dirfd, const char* path, int flags, ...)                   \
    {                                                                       \
        static auto real = Real<int (*)(int, const char*, int, ...)>(#name); \
        va_list ap;                                                         \
        va_start(ap, flags);                                                \
        mode_t mode = ModeArg(flags, ap);                                   \
        va_end(ap);                                                         \
        if (IsTmpfile(flags) && Hit("tmpfile")) {                           \
            return -1;                                                      \
        }                                                                   \
        return real(dirfd, path, flags, mode);                              \
    }

ZV_FAULT_OPEN(open)
ZV_FAULT_OPEN(open64)
ZV_FAULT_OPENAT(openat)
ZV_FAULT_OPENAT(openat64)

} // extern "C"
