#include "cmd_wrap.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "cmd_menu.h"
#include "cmd_options.h"
#include "cmd_resp_log.h"
#include "cmd_runner.h"
#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "drive_select.h"
#include "file_utils.h"
#include "front_state.h"
#include "fw_download.h"
#include "settings.h"
#include "type_tables.h"
#include "workflow_common.h"

namespace {

// Removes what the program left in "SSDlog" for itself, through the descriptor of it: its
// log, so that every run's log starts empty (whatever stands there, never followed), and the
// temporary files of saves that never finished. Everything else in there is an earlier result
// and stays.
void ClearOwnLogFiles(int dir)
{
    RemoveAsideTrees(dir, kCmdRespLogName);
    RemoveNameAt(dir, kCmdRespLogName);
    RemoveStaleOutputTemps(dir);
}

// No run's log is a directory: one at the log's name that could not be removed (or was not,
// another run holding "SSDlog") is moved aside, so that the log is made all the same.
void FreeLogName(int dir)
{
    struct stat st;
    if (fstatat(dir, kCmdRespLogName, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
        return;
    }
    const std::string aside = MoveAsideAt(dir, kCmdRespLogName);
    if (!aside.empty()) {
        fflush(stdout);
        fprintf(stderr, "    '%s/%s' cannot be removed: moved aside to '%s/%s'\n", kLogDirName, kCmdRespLogName,
                kLogDirName, aside.c_str());
    }
}

int OpenLogDir() { return open(kLogDirName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }

bool IsLogDir(int fd)
{
    struct stat mine;
    struct stat named;
    return fstat(fd, &mine) == 0 && lstat(kLogDirName, &named) == 0 && S_ISDIR(named.st_mode) &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

// The shared hold, waited for a moment only: anyone may open the directory and hold it
// alone for ever. A tidying run holds it for a few milliseconds.
const int kLockTries = 100;
const long kLockPauseNs = 10 * 1000 * 1000;

bool LockShared(int fd)
{
    for (int i = 0; i < kLockTries; i++) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        struct timespec pause = {0, kLockPauseNs};
        nanosleep(&pause, nullptr);
    }
    return false;
}

} // namespace

bool PrepareLogDir(int argc, char** argv)
{
    // A run with a command writes into "SSDlog"; any other run tidies it up and works without it.
    const bool in_use = argc > 2 && strcmp(argv[2], "multilog") != 0;
    if (log_dir_fd >= 0) {
        close(log_dir_fd);
        log_dir_fd = -1;
    }
    struct stat st;
    if (lstat(kLogDirName, &st) == 0 && S_ISLNK(st.st_mode)) {
        // Never followed: the directory it points at is not this one.
        unlink(kLogDirName);
    }
    // A run that writes into the directory holds it shared until it ends. Only a run that holds
    // it alone tidies it: a collection still running there keeps its log, and its temporary
    // file, which has no name yet, keeps the directory it is to be named in.
    int fd = OpenLogDir();
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ClearOwnLogFiles(fd);
        if (!in_use && IsLogDir(fd)) {
            // Only a directory that nothing else is left in goes.
            rmdir(kLogDirName);
        }
    }
    if (!in_use) {
        if (fd >= 0) {
            close(fd);
        }
        return true;
    }
    // A run tidying up may remove a directory made while it held it: made again then.
    for (int tries = 0; tries < 3; tries++) {
        if (fd < 0) {
            if (mkdir(kLogDirName, 0775) != 0 &&
                !(errno == EEXIST && lstat(kLogDirName, &st) == 0 && S_ISDIR(st.st_mode))) {
                printf("%scannot create directory 'SSDlog'\n", msg_indent);
                return false;
            }
            fd = OpenLogDir();
            if (fd < 0) {
                // Not to be opened: the run writes without it.
                return true;
            }
        }
        // Without the hold (someone keeps it alone) the run goes on all the same: another
        // run's tidy may then take its log, never its saves, which hold their files.
        LockShared(fd);
        if (IsLogDir(fd)) {
            log_dir_fd = fd;
            FreeLogName(fd);
            return true;
        }
        close(fd);
        fd = -1;
    }
    return true;
}

bool RaiseOpenFileLimit(struct rlimit* saved)
{
    if (getrlimit(RLIMIT_NOFILE, saved) != 0) {
        return false;
    }
    struct rlimit raised = *saved;
    raised.rlim_cur = 20480;
    // Never lower a hard limit that is already higher.
    if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < 20480) {
        raised.rlim_max = 20480;
    }
    return setrlimit(RLIMIT_NOFILE, &raised) == 0;
}

void RestoreOpenFileLimit(const struct rlimit& saved) { setrlimit(RLIMIT_NOFILE, &saved); }

bool IsFirstArgShapeValid(const char* arg)
{
    size_t n = strlen(arg);
    if (StartsWith(arg, "--") && n >= 4) {
        return true;
    }
    return arg[0] == '-' && n == 2;
}

void openCmdLineDevice()
{
    if (!StartsWith(dev_name, "/dev/s")) {
        printf("%s is not a SATA or SCSI storage device\n", dev_name);
        exit(1);
    }
    if (!classifyDevice(dev_name, &cur_disk)) {
        printf("Zembrovant open device: %s failed\n", dev_name);
        exit(1);
    }
}

void processCmdLine(int argc, char** argv)
{
    CmdLineState state;
    state.selected_type = TYPE_BUTT;
    state.handler = nullptr;
    state.format_handler = nullptr;
    state.format_arg = nullptr;
    state.option_read = false;
    state.megaraid_seen = false;
    bool menu_mode = false;
    bool limit_raised = false;
    struct rlimit saved_limit;

    DiskCmnd::Init();
    DiskAnalyser::Init();
    CheckTypeTables();
    output_flags.save_log = 1;

    if (argc > 1 && !IsFirstArgShapeValid(argv[1])) {
        printf("%szembrovant's arguments is error, please check.\n", msg_indent);
        showUsage();
        return;
    }

    // Unfinished saves of runs that were killed, wherever no running save holds them; first
    // the utility's capture of such a run, which is known by one of them.
    removeDeadCapture();
    RemoveStaleOutputTemps(AT_FDCWD);
    if (!PrepareLogDir(argc, argv)) {
        return;
    }

    for (int i = 1; i < argc; i++) {
        if (StartsWith(argv[i], "-SAM") || StartsWith(argv[i], "-MIC")) {
            raidFwUpgrade(argv, StartsWith(argv[i], "-SAM") ? 0 : 1);
            return;
        }
        if (StartsWith(argv[i], "MegaCli")) {
            Raid_UpFirware(argv);
            return;
        }
    }
    for (int i = 1; i < argc; i++) {
        if (StartsWith(argv[i], "megaraid")) {
            state.megaraid_seen = true;
        }
    }

    if (!runOptionLoop(argc, argv, &state)) {
        return;
    }

    if (argc == 1) {
        menu_mode = true;
        chooseDrive();
    } else if (argc == 2) {
        showUsage();
        exit(1);
    } else {
        dev_name = argv[argc - 1];
        openCmdLineDevice();
    }

    if (!menu_mode && !state.option_read) {
        puts("Zembrovant does not support current option");
        showUsage();
        return;
    }

    if (raid_kind == RAID_MEGARAID) {
        limit_raised = RaiseOpenFileLimit(&saved_limit);
    }

    if (menu_mode) {
        setDiskGeometryByModel(&cur_disk);
        showBasicInfo();
        runMenuLoop();
    }

    if (state.format_handler != nullptr) {
        state.format_handler(state.format_arg);
    } else if (state.handler == nullptr) {
        u32 type = AdaptTypeToLink(state.selected_type, cur_disk.link_type);
        if (type != TYPE_BUTT) {
            executeCmd(type);
        }
    } else {
        state.handler();
    }

    CmdRespLog::GetInstance()->Flush();

    if (raid_kind == RAID_MEGARAID && limit_raised) {
        RestoreOpenFileLimit(saved_limit);
    }
}
