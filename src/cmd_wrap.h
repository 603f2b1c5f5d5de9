// Command-line front end: the entry handler and the run modes. It calls the options, the
// runner, the menus and the workflows, and none of them calls back into it.
#ifndef ZV_CMD_WRAP_H
#define ZV_CMD_WRAP_H

#include <sys/resource.h>

#include "common.h"

void processCmdLine(int argc, char** argv);
void openCmdLineDevice();

// Argument-vector checks that come before option parsing.
bool IsFirstArgShapeValid(const char* arg);

// The log directory "SSDlog" before a run: the program's own files in it go (whatever stands
// at the log's name, and the temporary files of unfinished saves), nothing else. A run with a
// command (at least two arguments, the second not "multilog") keeps or creates it with mode
// 0775, opens it (log_dir_fd) and holds it (a shared flock, waited for about a second, then
// gone on without) until it ends, and moves aside a directory that still stands at the log's
// name (said on standard error); false, with the message, when it cannot be created. Any
// other run removes it only when it is left empty, and writes without it. While another run
// holds it, nothing in it is removed.
bool PrepareLogDir(int argc, char** argv);

// The open-file limit of MegaRAID runs: the soft limit becomes 20480 and the hard
// limit rises to it where it is lower (a higher hard limit is kept). *saved receives
// the limits read; true when the new ones were set.
bool RaiseOpenFileLimit(struct rlimit* saved);
void RestoreOpenFileLimit(const struct rlimit& saved);

#endif
