#include "cmd_runner.h"

void executeCmd(u32) {}
