#include "cmd_wrap.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Removes what the program left in "SSDlog" for itself: its log, so that every run's log
// starts empty, and the temporary files of saves that never finished. Everything else in
// there is an earlier result and stays.
void ClearOwnLogFiles()
{
    DIR* dir = opendir("SSDlog");
    if (dir == nullptr) {
        return;
    }
    while (struct dirent* e = readdir(dir)) {
        const std::string path = std::string("SSDlog/") + e->d_name;
        struct stat st;
        if (strcmp(e->d_name, kCmdRespLogName) == 0) {
            if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                unlink(path.c_str());
            }
        } else if (IsOutputTempName(e->d_name)) {
            RemoveStaleOutputTemp(path.c_str());
        }
    }
    closedir(dir);
}

// The hold on "SSDlog" of this run; a new preparation lets go of the one before.
int held_log_dir = -1;

int OpenLogDir() { return open("SSDlog", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }

bool IsLogDir(int fd)
{
    struct stat mine;
    struct stat named;
    return fstat(fd, &mine) == 0 && lstat("SSDlog", &named) == 0 && S_ISDIR(named.st_mode) &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

} // namespace

bool PrepareLogDir(int argc, char** argv)
{
    // A run with a command writes into "SSDlog"; any other run tidies it up and works without it.
    const bool in_use = argc > 2 && strcmp(argv[2], "multilog") != 0;
    if (held_log_dir >= 0) {
        close(held_log_dir);
        held_log_dir = -1;
    }
    struct stat st;
    if (lstat("SSDlog", &st) == 0 && S_ISLNK(st.st_mode)) {
        // Never followed: the directory it points at is not this one.
        unlink("SSDlog");
    }
    // A run that writes into the directory holds it shared until it ends. Only a run that holds
    // it alone tidies it: a collection still running there keeps its log, and its temporary
    // file, which has no name yet, keeps the directory it is to be named in.
    int fd = OpenLogDir();
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ClearOwnLogFiles();
        if (!in_use) {
            // Only a directory that nothing else is left in goes.
            rmdir("SSDlog");
        }
    }
    log_dir_in_use = in_use;
    if (!in_use) {
        if (fd >= 0) {
            close(fd);
        }
        return true;
    }
    // A run tidying up may remove a directory made while it held it: made again then.
    for (int tries = 0; tries < 3; tries++) {
        if (fd < 0) {
            if (mkdir("SSDlog", 0775) != 0 &&
                !(errno == EEXIST && lstat("SSDlog", &st) == 0 && S_ISDIR(st.st_mode))) {
                printf("%scannot create directory 'SSDlog'\n", msg_indent);
                return false;
            }
            fd = OpenLogDir();
        }
        if (fd < 0 || flock(fd, LOCK_SH) != 0 || IsLogDir(fd)) {
            // Held until the run ends, or no lock to be had and used as it is.
            held_log_dir = fd;
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
