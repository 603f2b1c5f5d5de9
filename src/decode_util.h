// Field reads and printf-style appends the table decoders share.
#ifndef ZV_DECODE_UTIL_H
#define ZV_DECODE_UTIL_H

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>

#include "common.h"

// The drive's tables are little-endian, as is the host: a plain copy reads a field
// wherever it sits, aligned or not.
template <typename T>
T ReadLe(const u8* p)
{
    T v;
    memcpy(&v, p, sizeof(v));
    return v;
}

inline u16 ReadU16(const u8* p) { return ReadLe<u16>(p); }
inline u32 ReadU32(const u8* p) { return ReadLe<u32>(p); }

// a * b, or UINT64_MAX when the product does not fit in 64 bits. Sizes taken from a drive's
// answer are multiplied with it: a saturated size stays above every u32 length, so a product
// that would wrap never passes for short (as long as no factor is 0).
inline u64 MulSat(u64 a, u64 b) { return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b; }

// Largest buffer AppendVFormat formats into.
const size_t kMaxFormatBuffer = 1024;

// Formats into a buffer of buffer_size bytes (at most buffer_size - 1 characters, the
// rest is cut) and appends that to out; a formatting error appends nothing.
void AppendVFormat(std::string& out, size_t buffer_size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// A report line: at most 255 formatted characters are appended.
void AppendF(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// pad, then as AppendF.
void AppendLine(std::string& out, const std::string& pad, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#endif
