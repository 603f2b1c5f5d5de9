// Start-up registries that most unit tests need, built once per test process, and the
// standard input that the interactive readers take their lines from.
#ifndef ZV_TEST_INIT_H
#define ZV_TEST_INIT_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

// Standard input of this process becomes a file holding the given text.
inline void FeedStdin(const std::string& text)
{
    char path[] = "/tmp/zv_stdin_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    ASSERT_NE(freopen(path, "r", stdin), nullptr);
    unlink(path);
}

#endif
