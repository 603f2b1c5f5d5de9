// Field readers and writers, and the text formatters the decoders share.
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
inline u64 ReadU64(const u8* p) { return ReadLe<u64>(p); }

// A little-endian field of n bytes (at most 8) that no integer type fits.
inline u64 ReadLeBytes(const u8* p, u32 n)
{
    u64 v = 0;
    for (u32 i = n; i > 0; i--) {
        v = (v << 8) | p[i - 1];
    }
    return v;
}

// Big-endian fields, as SCSI answers hold them.
inline u16 ReadBe16(const u8* p) { return static_cast<u16>(p[0] << 8 | p[1]); }
inline u32 ReadBe32(const u8* p)
{
    return static_cast<u32>(p[0]) << 24 | static_cast<u32>(p[1]) << 16 | static_cast<u32>(p[2]) << 8 | p[3];
}
inline u64 ReadBe64(const u8* p) { return static_cast<u64>(ReadBe32(p)) << 32 | ReadBe32(p + 4); }
// A big-endian field of n bytes (at most 8).
inline u64 ReadBeBytes(const u8* p, u32 n)
{
    u64 v = 0;
    for (u32 i = 0; i < n; i++) {
        v = (v << 8) | p[i];
    }
    return v;
}

// Big-endian fields of CDBs and command packets: the low 16, 24 or 32 bits of v.
inline void PutBe16(u8* p, u32 v)
{
    p[0] = static_cast<u8>(v >> 8);
    p[1] = static_cast<u8>(v);
}
inline void PutBe24(u8* p, u32 v)
{
    p[0] = static_cast<u8>(v >> 16);
    PutBe16(p + 1, v);
}
inline void PutBe32(u8* p, u32 v)
{
    p[0] = static_cast<u8>(v >> 24);
    PutBe24(p + 1, v);
}

// Every decoder puts this in front of its lines: at most 20 blanks.
const u32 kMaxParseIndent = 20;
inline u32 ClampIndent(u32 indent) { return indent < kMaxParseIndent ? indent : kMaxParseIndent; }
std::string ParseIndent(u32 indent);

// a * b, or UINT64_MAX when the product does not fit in 64 bits. Sizes taken from a drive's
// answer are multiplied with it: a saturated size stays above every u32 length, so a product
// that would wrap never passes for short (as long as no factor is 0).
inline u64 MulSat(u64 a, u64 b) { return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b; }

// The value formats of the decoded texts: "Yes"/"No", and "%02Xh", "%04Xh", "%08Xh" and
// sixteen hexadecimal digits with the "h".
inline const char* YesNo(bool v) { return v ? "Yes" : "No"; }
std::string Hex2(u8 v);
std::string Hex4(u16 v);
std::string Hex8(u32 v);
std::string Hex16(u64 v);

// text, blank-padded on the right to width characters; a longer text is kept whole.
std::string Padded(const char* text, u32 width);

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
