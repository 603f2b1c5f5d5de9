// A test binary whose first case ends the process with status 0, as a product path that
// exits at the end of input would: the cases after it never run, so a shard of it must not
// count as passed.
#include <cstdlib>

#include <gtest/gtest.h>

TEST(EarlyExit, EndsTheProcess) { exit(0); }

TEST(EarlyExit, NeverRuns) { ADD_FAILURE() << "the process went on after exit"; }
