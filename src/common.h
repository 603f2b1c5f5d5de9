// Fixed-width types and the fatal self-check used by the start-up registries.
#ifndef ZV_COMMON_H
#define ZV_COMMON_H

#include <cstdint>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;

// Prints "file:line: function: Assertion `cond' failed." on stderr and aborts.
[[noreturn]] void ZvAssertFail(const char* cond, const char* file, unsigned line, const char* func);

// Active in every build type: the registries must never run unchecked.
#define ZV_CHECK(cond) \
    ((cond) ? static_cast<void>(0) : ZvAssertFail(#cond, __FILE__, __LINE__, __PRETTY_FUNCTION__))
#define ZV_CHECK_EQ(a, b) ZV_CHECK((a) == (b))

#endif
