// Drive emulator, preloaded into the unchanged binary (or linked into a test).
// It claims every drive and controller node so a test can never reach a real disk:
// a configured node opens as an emulated descriptor, every other claimed path fails
// with ENOENT, and SCSI-level ioctls on any descriptor that is not emulated are refused.
// All interposed C library entry points live in this file and in emu_host.cpp, which
// this file's ioctl calls, so a static link pulls in all of them or none.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "emu_api.h"
#include "emu_host.h"
#include "emu_megaraid.h"
#include "emu_model.h"

namespace zvemu {

namespace {

// Runs a shell command to its end; this process waits for it and goes on.
void RunShell(const std::string& cmd)
{
    const int saved = errno;
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    while (pid > 0 && waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    errno = saved;
}


// "/dev/sr" and "/dev/scd" (optical drives) are claimed too: they also answer SG_IO.
const char* const claimed_prefixes[] = {"/dev/sd", "/dev/sg", "/dev/megaraid", "/dev/megadev", "/dev/sr",
                                        "/dev/scd"};

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

// Requests that reach a SCSI device or a RAID controller: SG_* (type 0x22), SCSI_IOCTL_*
// and CD-ROM (type 'S'), block-device commands (type 0x12), the RAID drivers (types 'M' and
// 'm'), and SCSI_IOCTL_SEND_COMMAND (1).
bool IsDeviceIoctl(unsigned long request)
{
    const unsigned long type = (request >> 8) & 0xFF;
    return request == 1 || type == 0x22 || type == 0x53 || type == 0x12 || type == 0x4D || type == 0x6D;
}

template <typename Fn>
Fn Real(const char* name)
{
    void* p = dlsym(RTLD_NEXT, name);
    if (p == nullptr) {
        const char msg[] = "zvemu: a C library function cannot be found\n";
        ssize_t rc = write(2, msg, sizeof(msg) - 1);
        (void)rc;
        _exit(125);
    }
    return reinterpret_cast<Fn>(p);
}

int RealOpen(const char* path, int flags, mode_t mode)
{
    static auto real = Real<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int RealClose(int fd)
{
    static auto real = Real<int (*)(int)>("close");
    return real(fd);
}

struct State {
    bool configured = false;
    std::map<std::string, Drive> drives;
    size_t order = 0;
    std::map<int, std::string> fakes;   // emulated descriptor -> node
    std::vector<TraceEntry> trace;
    int trace_fd = -1;
    bool trace_time = false;            // ZV_EMU_TRACE_TIME: time stamps in the trace file
};

// Built on first use and never destroyed: interposed calls may come before static
// constructors and after static destructors.
State& St()
{
    static State* s = new State();
    return *s;
}

[[noreturn]] void Fatal(const std::string& msg)
{
    std::string line = "zvemu: " + msg + "\n";
    ssize_t rc = write(2, line.data(), line.size());
    (void)rc;
    _exit(125);
}

void WriteAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t k = write(fd, s.data() + done, s.size() - done);
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k <= 0) {
            return;
        }
        done += static_cast<size_t>(k);
    }
}

std::int64_t MonotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void Record(const TraceEntry& event)
{
    State& s = St();
    int saved = errno;
    TraceEntry e = event;
    e.at_ms = MonotonicMs();
    s.trace.push_back(e);
    if (s.trace_fd >= 0) {
        WriteAll(s.trace_fd, FormatTraceLine(e, true, s.trace_time) + "\n");
    }
    errno = saved;
}

// ZV_EMU_CONFIG: fixture files separated by ':'. ZV_EMU_TRACE: the trace file, appended to
// (line by line, so that it survives an abort), since child processes may preload us too.
void EnsureConfigured()
{
    State& s = St();
    if (s.configured) {
        return;
    }
    s.configured = true;
    int saved = errno;
    const char* trace_time = getenv("ZV_EMU_TRACE_TIME");
    s.trace_time = trace_time != nullptr && *trace_time != 0 && strcmp(trace_time, "0") != 0;
    const char* trace = getenv("ZV_EMU_TRACE");
    if (trace != nullptr && *trace != 0) {
        s.trace_fd = RealOpen(trace, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (s.trace_fd < 0) {
            Fatal(std::string("cannot open the trace file ") + trace);
        }
    }
    const char* config = getenv("ZV_EMU_CONFIG");
    if (config != nullptr && *config != 0) {
        std::string list = config;
        size_t start = 0;
        while (start <= list.size()) {
            size_t colon = list.find(':', start);
            std::string path = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!path.empty()) {
                std::string err;
                if (!ParseFixtureFile(path, &s.drives, &s.order, &err, 0)) {
                    Fatal(err);
                }
            }
            if (colon == std::string::npos) {
                break;
            }
            start = colon + 1;
        }
    }
    errno = saved;
}

// Configuration is read at load time, so that a broken fixture stops the run before the
// program under test does anything.
__attribute__((constructor)) void ConfigureAtLoad() { EnsureConfigured(); }

int OpenClaimed(const char* path, int flags)
{
    State& s = St();
    EnsureConfigured();
    TraceEntry e;
    e.op = "open";
    e.node = path;
    e.flags = flags;
    auto it = s.drives.find(path);
    int fd = -1;
    if (it == s.drives.end()) {
        e.err = ENOENT;
    } else if (ControllerOpenErrno(it->second) != 0) {
        e.err = ControllerOpenErrno(it->second);
    } else if (it->second.open_errno != 0) {
        e.err = it->second.open_errno;
    } else {
        // A real descriptor of its own, so that its number never collides with a file's.
        fd = RealOpen("/dev/null", O_RDWR | O_CLOEXEC, 0);
        if (fd < 0) {
            e.err = errno;
        }
    }
    Record(e);
    if (e.err != 0) {
        errno = e.err;
        return -1;
    }
    s.fakes[fd] = path;
    return fd;
}

// A descriptor number that the system hands out again is no longer emulated.
int Forget(int fd)
{
    if (fd >= 0) {
        St().fakes.erase(fd);
    }
    return fd;
}

int Refused(int err)
{
    errno = err;
    return -1;
}

// ---- ioctl requests on an emulated node ----

bool IsDirIn(int dir) { return dir == SG_DXFER_FROM_DEV || dir == SG_DXFER_TO_FROM_DEV; }
bool IsDirOut(int dir) { return dir == SG_DXFER_TO_DEV || dir == SG_DXFER_TO_FROM_DEV; }

// Checks the header as the block layer's SG_IO does, then lets the drive answer.
int IoctlSgIo(Drive* drive, const std::string& node, void* arg)
{
    sg_io_hdr_t* h = static_cast<sg_io_hdr_t*>(arg);
    TraceEntry e;
    e.op = "sgio";
    e.node = node;
    if (h == nullptr) {
        e.err = EFAULT;
        Record(e);
        return Refused(EFAULT);
    }
    e.dir = h->dxfer_direction;
    e.len = h->dxfer_len;
    e.timeout = h->timeout;
    e.sense_len = h->mx_sb_len;
    const int dir = h->dxfer_direction;
    const bool known_dir = dir == SG_DXFER_NONE || dir == SG_DXFER_TO_DEV || dir == SG_DXFER_FROM_DEV ||
                           dir == SG_DXFER_TO_FROM_DEV;
    if (h->interface_id != 'S' || h->cmd_len == 0 || h->cmd_len > 16 || h->iovec_count != 0) {
        e.err = EINVAL;
    } else if (h->cmdp == nullptr) {
        e.err = EFAULT;
    } else {
        e.cdb.assign(h->cmdp, h->cmdp + h->cmd_len);
        if (h->dxfer_len != 0 && (dir == SG_DXFER_NONE || !known_dir)) {
            e.err = EINVAL;
        } else if (h->dxfer_len != 0 && h->dxferp == nullptr) {
            e.err = EFAULT;
        } else if (IsDirOut(dir) && h->dxfer_len != 0) {
            const u8* p = static_cast<const u8*>(h->dxferp);
            e.data.assign(p, p + h->dxfer_len);
        }
    }
    if (e.err == 0 && drive == nullptr) {
        e.err = ENODEV;
    }
    if (e.err != 0) {
        Record(e);
        return Refused(e.err);
    }

    Request q;
    q.node = node;
    q.cdb = e.cdb;
    q.dir = dir;
    q.len = h->dxfer_len;
    q.data_out = e.data;
    Reply r;
    AnswerRequest(drive, q, &r);
    e.via = r.via;
    if (r.kill) {
        // As a run ended by the operator or a crash: the request went out, nothing came back.
        Record(e);
        raise(SIGKILL);
    }
    if (!r.run.empty()) {
        // Another process at work while the drive takes its time (preloaded runs only).
        RunShell(r.run);
    }
    if (r.sys_errno != 0) {
        e.err = r.sys_errno;
        Record(e);
        return Refused(r.sys_errno);
    }
    size_t copied = std::min(r.sense.size(), static_cast<size_t>(h->mx_sb_len));
    if (copied != 0 && h->sbp == nullptr) {
        e.err = EFAULT;
        Record(e);
        return Refused(EFAULT);
    }
    if (copied != 0) {
        memcpy(h->sbp, r.sense.data(), copied);
    }
    h->sb_len_wr = static_cast<unsigned char>(r.sense_written >= 0 ? r.sense_written : static_cast<long>(copied));
    h->status = r.status;
    h->masked_status = static_cast<unsigned char>((r.status >> 1) & 0x7F);
    h->msg_status = 0;
    h->host_status = r.host_status;
    h->driver_status = static_cast<unsigned short>(
        r.driver_status >= 0 ? r.driver_status : (h->sb_len_wr != 0 ? 0x08 : 0));   // DRIVER_SENSE
    size_t returned = 0;
    if (IsDirIn(dir)) {
        returned = std::min(r.data.size(), static_cast<size_t>(h->dxfer_len));
        if (returned != 0) {
            memcpy(h->dxferp, r.data.data(), returned);
        }
    }
    h->resid = static_cast<int>(r.has_resid ? r.resid : static_cast<long>(IsDirIn(dir) ? h->dxfer_len - returned : 0));
    h->duration = 0;
    h->info = (h->status != 0 || h->host_status != 0 || h->driver_status != 0) ? SG_INFO_CHECK : SG_INFO_OK;
    Record(e);
    return 0;
}

int IoctlSgVersion(Drive*, const std::string&, void* arg)
{
    if (arg == nullptr) {
        return Refused(EFAULT);
    }
    *static_cast<int*>(arg) = 30527;
    return 0;
}

struct IoctlHandler {
    unsigned long request;
    int (*fn)(Drive* drive, const std::string& node, void* arg);
};

// One row per request an emulated node understands; the rest fail with ENOTTY.
const IoctlHandler ioctls[] = {
    {SG_IO, IoctlSgIo},
    {SG_GET_VERSION_NUM, IoctlSgVersion},
    {SCSI_IOCTL_GET_IDLUN, IoctlGetIdLun},
};

int EmulatedIoctl(const std::string& node, unsigned long request, void* arg)
{
    State& s = St();
    EnsureConfigured();
    auto it = s.drives.find(node);
    Drive* drive = it == s.drives.end() ? nullptr : &it->second;
    if (drive != nullptr && IsControllerKind(drive->kind)) {
        return ControllerIoctl(drive, node, request, arg);
    }
    for (const IoctlHandler& handler : ioctls) {
        if (handler.request == request) {
            return handler.fn(drive, node, arg);
        }
    }
    TraceEntry e;
    e.op = "ioctl";
    e.node = node;
    e.request = request;
    e.err = ENOTTY;
    Record(e);
    return Refused(ENOTTY);
}

mode_t ModeArg(int flags, va_list ap)
{
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        return static_cast<mode_t>(va_arg(ap, int));
    }
    return 0;
}

} // namespace

// ---- Services of the other emulator files ----

std::map<std::string, Drive>& EmulatedDrives()
{
    EnsureConfigured();
    return St().drives;
}

void RecordEvent(const TraceEntry& e) { Record(e); }

// ---- In-process control ----

void Reset()
{
    State& s = St();
    EnsureConfigured();
    s.drives.clear();
    s.trace.clear();
    s.order = 0;
}

bool LoadFixture(const std::string& path, std::string* error)
{
    State& s = St();
    EnsureConfigured();
    std::map<std::string, Drive> drives = s.drives;
    size_t order = s.order;
    std::string err;
    if (!ParseFixtureFile(path, &drives, &order, &err, 0)) {
        if (error != nullptr) {
            *error = err;
        }
        return false;
    }
    s.drives.swap(drives);
    s.order = order;
    return true;
}

bool LoadFixtureText(const std::string& text, const std::string& base_dir, std::string* error)
{
    State& s = St();
    EnsureConfigured();
    std::map<std::string, Drive> drives = s.drives;
    size_t order = s.order;
    std::string err;
    if (!ParseFixtureText(text, "inline", base_dir, &drives, &order, &err, 0)) {
        if (error != nullptr) {
            *error = err;
        }
        return false;
    }
    s.drives.swap(drives);
    s.order = order;
    return true;
}

std::vector<TraceEntry> Trace() { return St().trace; }

std::vector<TraceEntry> Requests(const std::string& node) { return Only(St().trace, "sgio", node); }

void ClearTrace() { St().trace.clear(); }

int OpenDescriptors() { return static_cast<int>(St().fakes.size()); }

} // namespace zvemu

using zvemu::Forget;
using zvemu::IsClaimed;
using zvemu::OpenClaimed;
using zvemu::Real;
using zvemu::Refused;
using zvemu::St;

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = zvemu::ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(const char*, int, ...)>("open");
    return Forget(real(path, flags, mode));
}

int open64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = zvemu::ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(const char*, int, ...)>("open64");
    return Forget(real(path, flags, mode));
}

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = zvemu::ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    return Forget(real(dirfd, path, flags, mode));
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = zvemu::ModeArg(flags, ap);
    va_end(ap);
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(int, const char*, int, ...)>("openat64");
    return Forget(real(dirfd, path, flags, mode));
}

int __open_2(const char* path, int flags)
{
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(const char*, int)>("__open_2");
    return Forget(real(path, flags));
}

int __open64_2(const char* path, int flags)
{
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(const char*, int)>("__open64_2");
    return Forget(real(path, flags));
}

int __openat_2(int dirfd, const char* path, int flags)
{
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(int, const char*, int)>("__openat_2");
    return Forget(real(dirfd, path, flags));
}

int __openat64_2(int dirfd, const char* path, int flags)
{
    if (IsClaimed(path)) {
        return OpenClaimed(path, flags);
    }
    static auto real = Real<int (*)(int, const char*, int)>("__openat64_2");
    return Forget(real(dirfd, path, flags));
}

int creat(const char* path, mode_t mode)
{
    if (IsClaimed(path)) {
        return Refused(ENOENT);
    }
    static auto real = Real<int (*)(const char*, mode_t)>("creat");
    return Forget(real(path, mode));
}

int creat64(const char* path, mode_t mode)
{
    if (IsClaimed(path)) {
        return Refused(ENOENT);
    }
    static auto real = Real<int (*)(const char*, mode_t)>("creat64");
    return Forget(real(path, mode));
}

// Standard I/O on a drive node is never emulated; "/proc/devices" always is.
FILE* fopen(const char* path, const char* mode)
{
    if (zvemu::IsProcDevices(path)) {
        return zvemu::OpenProcDevices();
    }
    if (IsClaimed(path)) {
        errno = ENOENT;
        return nullptr;
    }
    static auto real = Real<FILE* (*)(const char*, const char*)>("fopen");
    return real(path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
    if (zvemu::IsProcDevices(path)) {
        return zvemu::OpenProcDevices();
    }
    if (IsClaimed(path)) {
        errno = ENOENT;
        return nullptr;
    }
    static auto real = Real<FILE* (*)(const char*, const char*)>("fopen64");
    return real(path, mode);
}

int close(int fd)
{
    zvemu::State& s = St();
    auto it = s.fakes.find(fd);
    if (it != s.fakes.end()) {
        zvemu::TraceEntry e;
        e.op = "close";
        e.node = it->second;
        s.fakes.erase(it);
        zvemu::Record(e);
    }
    return zvemu::RealClose(fd);
}

int ioctl(int fd, unsigned long request, ...) __THROW
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    zvemu::State& s = St();
    auto it = s.fakes.find(fd);
    if (it != s.fakes.end()) {
        std::string node = it->second;
        return zvemu::EmulatedIoctl(node, request, arg);
    }
    if (zvemu::IsDeviceIoctl(request)) {
        return Refused(ENOTTY);
    }
    int host_rc = 0;
    if (zvemu::HostIoctl(fd, request, arg, &host_rc)) {
        return host_rc;
    }
    static auto real = Real<int (*)(int, unsigned long, ...)>("ioctl");
    return real(fd, request, arg);
}

} // extern "C"
