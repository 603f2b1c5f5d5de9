// Command runner: runs one command type on the current drive and shows or saves its answer.
#ifndef ZV_CMD_RUNNER_H
#define ZV_CMD_RUNNER_H

#include "common.h"

void executeCmd(u32 type);

#endif
