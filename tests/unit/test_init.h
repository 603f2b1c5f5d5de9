// Start-up registries that most unit tests need, built once per test process.
#ifndef ZV_TEST_INIT_H
#define ZV_TEST_INIT_H

#include "msg_processor.h"

inline void EnsureErrTable()
{
    static bool done = false;
    if (!done) {
        MsgProcessor::Init();
        done = true;
    }
}

#endif
