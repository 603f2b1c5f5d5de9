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

// The open-file limit of MegaRAID runs: the soft limit becomes 20480 and the hard
// limit rises to it where it is lower (a higher hard limit is kept). *saved receives
// the limits read; true when the new ones were set.
bool RaiseOpenFileLimit(struct rlimit* saved);
void RestoreOpenFileLimit(const struct rlimit& saved);

#endif
