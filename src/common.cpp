#include "common.h"

#include <cstdio>
#include <cstdlib>

void ZvAssertFail(const char* cond, const char* file, unsigned line, const char* func)
{
    fflush(stdout);
    fprintf(stderr, "zembrovant: %s:%u: %s: Assertion `%s' failed.\n", file, line, func, cond);
    fflush(stderr);
    abort();
}
