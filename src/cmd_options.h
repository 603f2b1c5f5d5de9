// Command-line options and the usage text.
#ifndef ZV_CMD_OPTIONS_H
#define ZV_CMD_OPTIONS_H

#include "cmd_wrap.h"

// Reads the options. False when an option acted at once and the handler must return.
bool runOptionLoop(int argc, char** argv, CmdLineState* state);
void showUsage();

#endif
