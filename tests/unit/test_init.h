// Start-up registries that most unit tests need, built once per test process.
#ifndef ZV_TEST_INIT_H
#define ZV_TEST_INIT_H

#include "disk_cmnd.h"
#include "msg_processor.h"

inline void EnsureErrTable()
{
    static bool done = false;
    if (!done) {
        MsgProcessor::Init();
        done = true;
    }
}

inline void EnsureCmndRegistry()
{
    static bool done = false;
    if (!done) {
        DiskCmnd::Init();
        done = true;
    }
}

#endif
