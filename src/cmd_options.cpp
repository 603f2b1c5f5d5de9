#include "cmd_options.h"

#include <cstdio>

bool runOptionLoop(int, char**, CmdLineState*) { return true; }

void showUsage() { printf("Usage : zembrovant [otpion] device\n"); }
