#include "file_utils.h"

#include "msg_processor.h"
#include "settings.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

bool ReadChunks(int fd, const std::function<bool(const u8*, size_t)>& take)
{
    u8 buf[65536];
    off_t off = 0;
    for (;;) {
        const ssize_t k = pread(fd, buf, sizeof(buf), off);
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k <= 0) {
            return k == 0;
        }
        if (!take(buf, static_cast<size_t>(k))) {
            return false;
        }
        off += k;
    }
}

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

// What stands under a name instead of a regular file, for the refusal.
const char* KindOf(mode_t mode)
{
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "no regular file";
}

void SayRefused(const char* path, mode_t mode)
{
    fflush(stdout);
    fprintf(stderr, "    '%s' is %s, not a regular file: nothing is written to it\n", path, KindOf(mode));
}

const char kTempPrefix[] = ".zvtmp-";
const size_t kTempRandom = 6;

// Six characters that change from call to call. Whatever already stands under a name is
// turned away by O_EXCL, so a name planted in advance only costs another try.
std::string TempSuffix()
{
    static u64 state = 0;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    state += 0x9E3779B97F4A7C15ull ^ (static_cast<u64>(now.tv_nsec) << 20) ^ static_cast<u64>(now.tv_sec) ^
             (static_cast<u64>(getpid()) << 40);
    u64 z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (size_t i = 0; i < kTempRandom; i++) {
        out += chars[z % (sizeof(chars) - 1)];
        z /= sizeof(chars) - 1;
    }
    return out;
}

const int kTempTries = 100;

const int kNoDir = -1000;

// A name as the helpers use it: the directory it is in, opened once, and its last component.
// A name under "SSDlog/" is looked up in the directory that this run holds, never again by
// that name, which may have been swapped for a link since.
class NameAt {
public:
    explicit NameAt(const char* path)
    {
        if (path == nullptr || path[0] == '\0') {
            return;
        }
        int base = AT_FDCWD;
        const char* rest = path;
        const size_t prefix = strlen(kLogDirName);
        if (log_dir_fd >= 0 && strncmp(path, kLogDirName, prefix) == 0 && path[prefix] == '/') {
            base = log_dir_fd;
            rest = path + prefix;
            while (*rest == '/') {
                rest++;
            }
        }
        const char* slash = strrchr(rest, '/');
        if (slash == nullptr) {
            dir_ = base;
            name_ = rest;
            return;
        }
        name_ = slash + 1;
        std::string parent(rest, static_cast<size_t>(slash - rest));
        if (parent.empty()) {
            parent = "/";
        }
        dir_ = openat(base, parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir_ < 0) {
            dir_ = kNoDir;
        } else {
            owned_ = true;
        }
    }
    ~NameAt()
    {
        if (owned_) {
            close(dir_);
        }
    }
    NameAt(const NameAt&) = delete;
    NameAt& operator=(const NameAt&) = delete;

    bool ok() const { return dir_ != kNoDir && !name_.empty(); }
    int dir() const { return dir_; }
    const char* name() const { return name_.c_str(); }
    // A descriptor of the directory of its own, for as long as the caller keeps it.
    int DupDir() const
    {
        if (dir_ == AT_FDCWD) {
            return open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        return fcntl(dir_, F_DUPFD_CLOEXEC, 0);
    }

private:
    int dir_ = kNoDir;
    bool owned_ = false;
    std::string name_;
};

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Moves from to to in dir, never over anything standing at to (errno EEXIST then). Where the
// file system cannot refuse a replacement itself, a look comes first.
bool RenameNoReplaceAt(int dir, const char* from, const char* to)
{
    if (renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    struct stat st;
    if (fstatat(dir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT && renameat(dir, from, dir, to) == 0;
}

// What linkat says on a file system that has no hard links (FAT, some network and FUSE ones).
bool NoHardLinks(int e) { return e == EPERM || e == EOPNOTSUPP || e == EMLINK; }

// True when name in dir is the regular file behind fd.
bool IsSameFileAt(int fd, int dir, const char* name)
{
    struct stat mine;
    struct stat named;
    return fd >= 0 && fstat(fd, &mine) == 0 && fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(named.st_mode) && SameInode(mine, named);
}

// What open gives a new file asked for with mode, under the umask.
mode_t UnderUmask(mode_t mode)
{
    const mode_t mask = umask(0);
    umask(mask);
    return mode & 0777 & ~mask;
}

// The mode a new file of the program gets: what open(0666) gives it.
mode_t NewFileMode() { return UnderUmask(0666); }

// A new regular file in dir under a temporary name: no link, FIFO or file that was there
// before can be taken for it. Locked before anything is in it, so that a start-up tidying the
// directory leaves it; created with mode, never wider than the file it is to become.
int CreateNamedTemp(int dir, mode_t mode, std::string* name)
{
    for (int i = 0; i < kTempTries; i++) {
        std::string candidate = kTempPrefix + TempSuffix();
        int fd = openat(dir, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            // A tidy that came between the open and the lock took the name away: another one.
            if (flock(fd, LOCK_EX | LOCK_NB) == 0 && IsSameFileAt(fd, dir, candidate.c_str())) {
                *name = candidate;
                return fd;
            }
            close(fd);
            continue;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

// Whether name in dir may be written: absent or a regular file. path is the name as said.
bool IsWritableAt(int dir, const char* name, const char* path, int* user_err)
{
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(st.st_mode)) {
        return true;
    }
    SayRefused(path, st.st_mode);
    *ErrSink(user_err) = USER_ERR_FILE_OPEN;
    return false;
}

bool WriteAll(int fd, const u8* data, size_t len)
{
    while (len > 0) {
        ssize_t k = write(fd, data, len);
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k <= 0) {
            return false;
        }
        data += k;
        len -= static_cast<size_t>(k);
    }
    return true;
}

// Copies the whole file behind from into to.
bool CopyFile(int from, int to)
{
    return ReadChunks(from, [to](const u8* data, size_t len) { return WriteAll(to, data, len); });
}

} // namespace

bool IsWritableName(const char* path, int* user_err)
{
    NameAt at(path);
    if (!at.ok()) {
        // Not reachable at all: whatever opens it reports that.
        return true;
    }
    return IsWritableAt(at.dir(), at.name(), path, user_err);
}

FILE* OpenRegularFileToWrite(const char* path, const char* mode, int* user_err)
{
    int* err = ErrSink(user_err);
    if (path == nullptr || mode == nullptr || (mode[0] != 'a' && mode[0] != 'w')) {
        *err = USER_ERR_FILE_OPEN;
        return nullptr;
    }
    NameAt at(path);
    if (!at.ok()) {
        *err = USER_ERR_FILE_OPEN;
        return nullptr;
    }
    if (!IsWritableAt(at.dir(), at.name(), path, err)) {
        return nullptr;
    }
    const int append = mode[0] == 'a' ? O_APPEND : 0;
    const int access = strchr(mode, '+') != nullptr ? O_RDWR : O_WRONLY;
    int fd = openat(at.dir(), at.name(), access | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | append, 0666);
    if (fd < 0) {
        if (errno == ELOOP) {
            SayRefused(path, S_IFLNK);
        }
        *err = USER_ERR_FILE_OPEN;
        return nullptr;
    }
    struct stat st;
    FILE* f = nullptr;
    if (fstat(fd, &st) != 0) {
        // Nothing known about it: not written.
    } else if (!S_ISREG(st.st_mode)) {
        SayRefused(path, st.st_mode);
    } else if (st.st_nlink > 1) {
        // Written in place, it would change the file under its other names too.
        fflush(stdout);
        fprintf(stderr, "    '%s' has other hard links: nothing is written to it\n", path);
    } else {
        // Writes may wait once it is known to be a file; only then is it emptied.
        const int flags = fcntl(fd, F_GETFL);
        if (flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && (append != 0 || ftruncate(fd, 0) == 0)) {
            f = fdopen(fd, mode);
        }
    }
    if (f == nullptr) {
        close(fd);
        *err = USER_ERR_FILE_OPEN;
    }
    return f;
}

int CreateFreshFile(const char* path, int* user_err)
{
    int* err = ErrSink(user_err);
    NameAt at(path);
    if (!at.ok()) {
        *err = USER_ERR_FILE_OPEN;
        return -1;
    }
    if (!IsWritableAt(at.dir(), at.name(), path, err)) {
        return -1;
    }
    int fd = -1;
    if (unlinkat(at.dir(), at.name(), 0) == 0 || errno == ENOENT) {
        fd = openat(at.dir(), at.name(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) {
            // Something took the name in between: say what.
            IsWritableAt(at.dir(), at.name(), path, err);
        }
    }
    if (fd < 0) {
        *err = USER_ERR_FILE_OPEN;
    }
    return fd;
}

bool IsSameFile(int fd, const char* path) { return path != nullptr && IsSameFileAt(fd, AT_FDCWD, path); }

bool RemoveRegularFile(const char* path)
{
    NameAt at(path);
    struct stat st;
    return at.ok() && fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
           unlinkat(at.dir(), at.name(), 0) == 0;
}

bool OutputFile::Open(const char* path_arg, const char* mode, int* user_err, const char* like_arg)
{
    Discard();
    int* err = ErrSink(user_err);
    if (path_arg == nullptr || mode == nullptr || mode[0] != 'w' || path_arg[0] == '\0') {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    NameAt at(path_arg);
    struct stat old;
    // A name that cannot stand in its directory (too long, a missing or closed directory)
    // cannot be opened: said now, not as a failed write once everything is written.
    const bool looked = at.ok() && fstatat(at.dir(), at.name(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!at.ok() || (!looked && errno != ENOENT)) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    if (!IsWritableAt(at.dir(), at.name(), path_arg, err)) {
        return false;
    }
    dir = at.DupDir();
    if (dir < 0) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    path = path_arg;
    like = like_arg != nullptr ? like_arg : "";
    name = at.name();
    // Nobody but the owner may read it before it has the final file's mode.
    const mode_t final_mode = looked ? (old.st_mode & 0777) : NewFileMode();
    const mode_t temp_mode = final_mode & 0600;
    // Without a name nothing can be planted in its place or remove it while it is written.
    int fd = openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, temp_mode);
    if (fd >= 0) {
        flock(fd, LOCK_EX | LOCK_NB);
    } else {
        fd = CreateNamedTemp(dir, temp_mode, &temp);
    }
    if (fd >= 0) {
        stream = fdopen(fd, strchr(mode, 'b') != nullptr ? "w+b" : "w+");
        if (stream == nullptr) {
            close(fd);
        }
    }
    if (stream == nullptr) {
        Discard();
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    return true;
}

// Gives the nameless temporary file a name beside the final one (a link needs either the
// right to link by descriptor or /proc; without both the bytes go into a named copy, which
// gets mode and is synced before it is renamed).
// *named_fd: a descriptor of the named file that holds its lock until the rename.
bool OutputFile::NameTemp(int fd, mode_t mode, int* named_fd)
{
    if (!temp.empty()) {
        *named_fd = dup(fd);
        return *named_fd >= 0;
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int i = 0; i < kTempTries; i++) {
        std::string candidate = kTempPrefix + TempSuffix();
        int rc = linkat(fd, "", dir, candidate.c_str(), AT_EMPTY_PATH);
        if (rc != 0 && errno != EEXIST) {
            rc = linkat(AT_FDCWD, proc.c_str(), dir, candidate.c_str(), AT_SYMLINK_FOLLOW);
        }
        if (rc == 0) {
            temp = candidate;
            *named_fd = dup(fd);
            return *named_fd >= 0;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    int copy = CreateNamedTemp(dir, mode & 0600, &temp);
    if (copy < 0) {
        return false;
    }
    *named_fd = copy;
    if (!CopyFile(fd, copy)) {
        return false;
    }
    FinalMode(copy, mode);
    return fsync(copy) == 0;
}

void OutputFile::FinalMode(int fd, mode_t mode)
{
    if (owner_set) {
        if (fchown(fd, owner_uid, owner_gid) != 0) {
            // Only root may give a file away; otherwise it stays the writer's.
        }
    }
    // A mode that cannot be set leaves the narrower one it was made with.
    fchmod(fd, mode);
}

bool OutputFile::Commit(int* user_err)
{
    int* err = ErrSink(user_err);
    if (stream == nullptr) {
        *err = USER_ERR_FILE_WRITE;
        return false;
    }
    const int fd = fileno(stream);
    struct stat old;
    bool replaces = false;
    if (!like.empty()) {
        NameAt model(like.c_str());
        replaces = model.ok() && fstatat(model.dir(), model.name(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISREG(old.st_mode);
    }
    if (!replaces) {
        replaces = fstatat(dir, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
    }
    // The file keeps the owner and permissions it had, a new one those of any new file.
    owner_set = replaces;
    owner_uid = replaces ? old.st_uid : 0;
    owner_gid = replaces ? old.st_gid : 0;
    const mode_t mode = replaces ? (old.st_mode & 0777) : NewFileMode();
    bool ok = fflush(stream) == 0 && ferror(stream) == 0;
    // Its final mode before it has any name, and on the disk before it has one, so that
    // neither a killed run nor a crash leaves a name on a wider copy or on lost bytes.
    if (ok) {
        FinalMode(fd, mode);
        ok = fsync(fd) == 0;
    }
    int named = -1;
    ok = ok && NameTemp(fd, mode, &named);
    const bool closed = fclose(stream) == 0;
    stream = nullptr;
    int code = USER_ERR_FILE_WRITE;
    if (ok && closed) {
        if (!IsWritableAt(dir, name.c_str(), path.c_str(), &code)) {
            ok = false;
        } else if (!IsSameFileAt(named, dir, temp.c_str())) {
            // The temporary name stands for something else by now: nothing is put in place.
            ok = false;
            code = USER_ERR_FILE_OPEN;
        } else {
            ok = PutInPlace(named, &code);
        }
        // The name must be the file written as said too: a directory swapped on the way puts
        // the file somewhere nobody looks.
        if (ok && !IsSameFile(named, path.c_str())) {
            ok = false;
            code = USER_ERR_FILE_OPEN;
        }
    } else {
        ok = false;
    }
    if (!ok) {
        *err = code;
    }
    Discard();
    if (named >= 0) {
        close(named);
    }
    return ok;
}

// Puts the temporary file over the final name. The temporary name may be swapped for
// something else right up to the rename, so what went in place is looked at afterwards: the
// earlier file was exchanged, not replaced, and is exchanged back then, a new name is given
// back. Where the file system cannot exchange names, a plain rename (after the look before it).
bool OutputFile::PutInPlace(int named, int* code)
{
    bool exchanged = false;
    bool moved = false;
    for (int i = 0; i < 3 && !moved; i++) {
        struct stat st;
        const bool stands = fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        const unsigned flag = stands ? RENAME_EXCHANGE : RENAME_NOREPLACE;
        if (renameat2(dir, temp.c_str(), dir, name.c_str(), flag) == 0) {
            moved = true;
            exchanged = stands;
        } else if (errno == EINVAL || errno == ENOSYS) {
            if (renameat(dir, temp.c_str(), dir, name.c_str()) != 0) {
                return false;
            }
            moved = true;
        } else if (errno != ENOENT && errno != EEXIST) {
            return false;
        }
    }
    if (!moved) {
        return false;
    }
    const std::string taken = temp;
    temp.clear();
    if (IsSameFileAt(named, dir, name.c_str())) {
        if (exchanged) {
            // The earlier file, now under the temporary name.
            unlinkat(dir, taken.c_str(), 0);
        }
        return true;
    }
    *code = USER_ERR_FILE_OPEN;
    if (exchanged) {
        if (renameat2(dir, taken.c_str(), dir, name.c_str(), RENAME_EXCHANGE) == 0) {
            // The earlier file is back; what stood at the temporary name goes.
            temp = taken;
        }
    } else if (renameat2(dir, name.c_str(), dir, taken.c_str(), RENAME_NOREPLACE) == 0) {
        temp = taken;
    }
    return false;
}

void OutputFile::Discard()
{
    if (!temp.empty()) {
        unlinkat(dir, temp.c_str(), 0);
        temp.clear();
    }
    if (stream != nullptr) {
        fclose(stream);
        stream = nullptr;
    }
    if (dir >= 0) {
        close(dir);
        dir = -1;
    }
}

bool IsOutputTempName(const char* name)
{
    const size_t prefix = sizeof(kTempPrefix) - 1;
    return name != nullptr && strncmp(name, kTempPrefix, prefix) == 0 && strlen(name) == prefix + kTempRandom;
}

bool RemoveStaleOutputTempAt(int dir, const char* name)
{
    int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool removed = false;
    // A save that is still running holds the lock until its rename; the name is looked at
    // again under the lock, so that only the file that was found unheld goes.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && IsSameFileAt(fd, dir, name)) {
        removed = unlinkat(dir, name, 0) == 0;
    }
    close(fd);
    return removed;
}

bool RemoveStaleOutputTemp(const char* path)
{
    NameAt at(path);
    return at.ok() && RemoveStaleOutputTempAt(at.dir(), at.name());
}

namespace {

// The entries of dir but "." and "..", read through a descriptor of its own.
std::vector<std::string> EntriesAt(int dir)
{
    std::vector<std::string> names;
    const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return names;
    }
    DIR* d = fdopendir(fd);
    if (d == nullptr) {
        close(fd);
        return names;
    }
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
            names.push_back(e->d_name);
        }
    }
    closedir(d);
    return names;
}

const int kMaxTreeDepth = 32;

// A bind mount of a directory of the same file system has its st_dev: only the kernel's mark
// of a mount's root tells it (where the kernel keeps that mark).
bool IsMountRoot(int fd)
{
    struct statx stx;
    return statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_TYPE, &stx) == 0 &&
           (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// Stays on the file system of dev, as rm --one-file-system does: a file system mounted inside,
// a bind mount included, is neither entered nor emptied (its mount point then stays, and the
// tree with it).
bool RemoveTreeAt(int dir, const char* name, int depth, dev_t dev)
{
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        return unlinkat(dir, name, 0) == 0;
    }
    if (st.st_dev != dev || depth > kMaxTreeDepth) {
        return false;
    }
    const int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
        return false;
    }
    // Only the directory that was looked at: one put in its place since may be a mount point.
    struct stat opened;
    if (fstat(sub, &opened) != 0 || !SameInode(st, opened) || IsMountRoot(sub)) {
        close(sub);
        return false;
    }
    for (const std::string& e : EntriesAt(sub)) {
        RemoveTreeAt(sub, e.c_str(), depth + 1, dev);
    }
    close(sub);
    return unlinkat(dir, name, AT_REMOVEDIR) == 0;
}

const char kAsideInfix[] = ".aside-";

} // namespace

void RemoveStaleOutputTemps(int dir)
{
    for (const std::string& e : EntriesAt(dir)) {
        if (IsOutputTempName(e.c_str())) {
            RemoveStaleOutputTempAt(dir, e.c_str());
        }
    }
}

bool RemoveNameAt(int dir, const char* name)
{
    struct stat here;
    return fstat(dir, &here) == 0 && RemoveTreeAt(dir, name, 0, here.st_dev);
}

bool IsAsideName(const char* entry, const char* name)
{
    const size_t n = strlen(name);
    const size_t infix = sizeof(kAsideInfix) - 1;
    return entry != nullptr && strncmp(entry, name, n) == 0 && strncmp(entry + n, kAsideInfix, infix) == 0 &&
           strlen(entry) == n + infix + kTempRandom;
}

std::string MoveAsideAt(int dir, const char* name)
{
    for (int i = 0; i < kTempTries; i++) {
        const std::string candidate = name + std::string(kAsideInfix) + TempSuffix();
        if (RenameNoReplaceAt(dir, name, candidate.c_str())) {
            return candidate;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return std::string();
}

void RemoveAsideTrees(int dir, const char* name)
{
    for (const std::string& e : EntriesAt(dir)) {
        if (IsAsideName(e.c_str(), name)) {
            RemoveNameAt(dir, e.c_str());
        }
    }
}

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
    if (mode[0] == 'w') {
        OutputFile out;
        if (!out.Open(path, mode, err)) {
            return false;
        }
        if (fwrite(data, 1, len, out.Stream()) < len) {
            *err = USER_ERR_FILE_WRITE;
            return false;
        }
        return out.Commit(err);
    }
    // Appending is in place: the same care as for the log.
    FILE* f = OpenRegularFileToWrite(path, mode, err);
    if (f == nullptr) {
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

namespace {

// The names this run made new, for a signal that ends it. The handler reads the list as it
// stands, so a changed list is put in place whole and the old one dropped afterwards.
struct OwnName {
    std::string path;  // as said: relative to the working directory, which the run never leaves
    FileId id;
};

std::atomic<const std::vector<OwnName>*> own_names{nullptr};
static_assert(ATOMIC_POINTER_LOCK_FREE == 2, "the signal handler reads the list without a lock");

void PublishOwnNames(const std::vector<OwnName>* next) { delete own_names.exchange(next); }

void TrackOwnName(const std::string& path, const FileId& id)
{
    const std::vector<OwnName>* now = own_names.load();
    auto* next = now != nullptr ? new std::vector<OwnName>(*now) : new std::vector<OwnName>();
    next->push_back({path, id});
    PublishOwnNames(next);
}

void UntrackOwnName(const std::string& path, const FileId& id)
{
    const std::vector<OwnName>* now = own_names.load();
    if (now == nullptr) {
        return;
    }
    auto* next = new std::vector<OwnName>();
    for (const OwnName& n : *now) {
        if (n.path != path || n.id.dev != id.dev || n.id.ino != id.ino) {
            next->push_back(n);
        }
    }
    PublishOwnNames(next);
}

bool IsFile(const struct stat& st, const FileId& id)
{
    return S_ISREG(st.st_mode) && st.st_dev == id.dev && st.st_ino == id.ino;
}

// Async-signal-safe: only fstatat, unlinkat, sigaction, sigprocmask and raise. The last name
// made goes first, so that a file held under a second name loses its own name before that one.
void RemoveOwnNamesAndEnd(int sig)
{
    const int saved = errno;
    const std::vector<OwnName>* names = own_names.load();
    if (names != nullptr) {
        for (size_t i = names->size(); i-- > 0;) {
            const OwnName& n = (*names)[i];
            struct stat st;
            if (fstatat(AT_FDCWD, n.path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && IsFile(st, n.id)) {
                unlinkat(AT_FDCWD, n.path.c_str(), 0);
            }
        }
    }
    struct sigaction dfl;
    memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    errno = saved;
}

const int kEndSignals[] = {SIGINT, SIGTERM};
struct sigaction saved_actions[2];
bool signals_taken = false;

FileId IdOf(int fd)
{
    struct stat st;
    FileId id;
    if (fstat(fd, &st) == 0) {
        id.dev = st.st_dev;
        id.ino = st.st_ino;
    }
    return id;
}

// "dir/" of "dir/name", "" of a bare name: where a name beside path is said from.
std::string DirPart(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash == nullptr ? std::string() : std::string(path, static_cast<size_t>(slash - path + 1));
}

void SayExists(const char* path)
{
    fflush(stdout);
    fprintf(stderr, "    '%s' already exists: it is left as it is and nothing is written to it\n", path);
    fprintf(stderr, "    remove it or move it aside, then run again\n");
}

// True when name in dir is a regular file of exactly data's bytes (*id: which one).
bool HoldsExactly(int dir, const char* name, const void* data, u32 len, FileId* id)
{
    const int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == static_cast<off_t>(len);
    if (same) {
        const u8* want = static_cast<const u8*>(data);
        size_t at = 0;
        same = ReadChunks(fd, [&](const u8* got, size_t n) {
            if (at + n > len || memcmp(got, want + at, n) != 0) {
                return false;
            }
            at += n;
            return true;
        }) && at == len;
        id->dev = st.st_dev;
        id->ino = st.st_ino;
    }
    close(fd);
    return same;
}

// Gives the synced file behind fd the final name, never over anything standing there: by its
// temporary name, else by the descriptor (a nameless file).
bool LinkNew(int fd, int dir, const std::string& temp, const char* name)
{
    if (!temp.empty()) {
        // Without hard links the temporary name itself becomes the name.
        return linkat(dir, temp.c_str(), dir, name, 0) == 0 ||
               (NoHardLinks(errno) && RenameNoReplaceAt(dir, temp.c_str(), name));
    }
    if (linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, proc.c_str(), dir, name, AT_SYMLINK_FOLLOW) == 0;
}

} // namespace

void RemoveOwnFilesOnSignal(bool on)
{
    if (on == signals_taken) {
        return;
    }
    for (size_t i = 0; i < 2; i++) {
        if (!on) {
            sigaction(kEndSignals[i], &saved_actions[i], nullptr);
            continue;
        }
        sigaction(kEndSignals[i], nullptr, &saved_actions[i]);
        // A signal the run was started to ignore stays ignored.
        if (saved_actions[i].sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction sa;
        memset(&sa, 0, sizeof(sa));
        sa.sa_handler = RemoveOwnNamesAndEnd;
        sigemptyset(&sa.sa_mask);
        for (int s : kEndSignals) {
            sigaddset(&sa.sa_mask, s);
        }
        sigaction(kEndSignals[i], &sa, nullptr);
    }
    signals_taken = on;
}

bool WriteNewFile(const char* path, const void* data, u32 len, unsigned mode, FileId* id, int* user_err)
{
    int* err = ErrSink(user_err);
    if (data == nullptr && len > 0) {
        *err = USER_ERR_ILLEGAL_POINTER;
        return false;
    }
    NameAt at(path);
    if (!at.ok()) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    // What stands under the name is refused before anything is written, but for a file of
    // exactly these bytes: a killed run's, which loses nothing when it is replaced.
    FileId stale;
    bool replaces = false;
    struct stat st;
    if (fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) {
            SayRefused(path, st.st_mode);
            *err = USER_ERR_FILE_OPEN;
            return false;
        }
        replaces = HoldsExactly(at.dir(), at.name(), data, len, &stale);
        if (!replaces) {
            SayExists(path);
            *err = USER_ERR_FILE_OPEN;
            return false;
        }
    }
    // Written and synced before it has the name, so the name only ever stands for the whole.
    std::string temp;
    int fd = openat(at.dir(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        fd = CreateNamedTemp(at.dir(), 0600, &temp);
    }
    if (fd < 0) {
        *err = USER_ERR_FILE_OPEN;
        return false;
    }
    const FileId made = IdOf(fd);
    const std::string temp_path = temp.empty() ? std::string() : DirPart(path) + temp;
    if (!temp.empty()) {
        TrackOwnName(temp_path, made);
    }
    // Known before the name is given, so that no moment has it unknown to a signal.
    TrackOwnName(path, made);
    bool ok = WriteAll(fd, static_cast<const u8*>(data), len);
    // A mode that cannot be set leaves the narrower one it was made with.
    fchmod(fd, UnderUmask(static_cast<mode_t>(mode)));
    ok = ok && fsync(fd) == 0;
    int code = USER_ERR_FILE_WRITE;
    if (ok && replaces) {
        struct stat now;
        if (fstatat(at.dir(), at.name(), &now, AT_SYMLINK_NOFOLLOW) == 0 && IsFile(now, stale)) {
            unlinkat(at.dir(), at.name(), 0);
        }
    }
    if (ok && !LinkNew(fd, at.dir(), temp, at.name())) {
        ok = false;
        if (errno == EEXIST) {
            // Put there by someone else meanwhile: theirs.
            SayExists(path);
            code = USER_ERR_FILE_OPEN;
        }
    }
    ok = close(fd) == 0 && ok;
    if (!temp.empty()) {
        RemoveOwnFile(temp_path.c_str(), made);
    }
    if (!ok) {
        // Only the file made here goes: the name may stand for another one by now.
        RemoveOwnFile(path, made);
        *err = code;
        return false;
    }
    if (id != nullptr) {
        *id = made;
    }
    return true;
}

bool RemoveOwnFile(const char* path, const FileId& id)
{
    if (path == nullptr) {
        return false;
    }
    UntrackOwnName(path, id);
    struct stat st;
    if (lstat(path, &st) != 0 || !IsFile(st, id)) {
        return false;
    }
    return unlink(path) == 0;
}

int CreateHeldFile(const char* path, unsigned mode, HeldFile* held, int* user_err)
{
    int* err = ErrSink(user_err);
    NameAt at(path);
    std::string temp;
    const int fd = at.ok() ? CreateNamedTemp(at.dir(), static_cast<mode_t>(mode) & 0600, &temp) : -1;
    if (fd < 0) {
        *err = USER_ERR_FILE_OPEN;
        return -1;
    }
    const FileId made = IdOf(fd);
    const std::string temp_path = DirPart(path) + temp;
    TrackOwnName(temp_path, made);
    TrackOwnName(path, made);
    // A link never replaces nor follows what stands under the name. Without hard links the
    // temporary name itself becomes the name: the file then has no second name to be known by
    // after a kill, and a dead run's capture stays the operator's to remove.
    bool one_name = false;
    if (linkat(at.dir(), temp.c_str(), at.dir(), at.name(), 0) != 0 &&
        !(NoHardLinks(errno) && (one_name = RenameNoReplaceAt(at.dir(), temp.c_str(), at.name())))) {
        struct stat st;
        if (errno == EEXIST && fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISREG(st.st_mode)) {
                SayExists(path);
            } else {
                SayRefused(path, st.st_mode);
            }
        }
        UntrackOwnName(path, made);
        RemoveOwnFile(temp_path.c_str(), made);
        close(fd);
        *err = USER_ERR_FILE_OPEN;
        return -1;
    }
    if (one_name) {
        UntrackOwnName(temp_path, made);
    }
    held->path = path;
    held->temp = one_name ? std::string() : temp_path;
    held->id = made;
    held->fd = fd;
    return fd;
}

void RemoveHeldFile(HeldFile* held)
{
    if (held->fd < 0) {
        return;
    }
    RemoveOwnFile(held->path.c_str(), held->id);
    if (!held->temp.empty()) {
        RemoveOwnFile(held->temp.c_str(), held->id);
    }
    close(held->fd);
    held->fd = -1;
}

bool RemoveDeadHeldFile(const char* path)
{
    NameAt at(path);
    struct stat st;
    if (!at.ok() || fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_nlink < 2) {
        return false;
    }
    for (const std::string& e : EntriesAt(at.dir())) {
        struct stat t;
        if (!IsOutputTempName(e.c_str()) || fstatat(at.dir(), e.c_str(), &t, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(t.st_mode) || !SameInode(t, st)) {
            continue;
        }
        const int fd = openat(at.dir(), e.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        bool removed = false;
        // Unheld: the run that made it is gone, and whatever it started is done with it.
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && IsSameFileAt(fd, at.dir(), e.c_str()) &&
            IsSameFileAt(fd, at.dir(), at.name())) {
            removed = unlinkat(at.dir(), at.name(), 0) == 0;
            unlinkat(at.dir(), e.c_str(), 0);
        }
        if (fd >= 0) {
            close(fd);
        }
        return removed;
    }
    return false;
}
