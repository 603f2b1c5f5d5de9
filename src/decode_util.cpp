#include "decode_util.h"

#include <cstdio>

namespace {

const size_t kLineBuffer = 256;

// v in at least digits upper-case hexadecimal digits, then "h".
std::string HexDigits(u64 v, int digits)
{
    char s[24];
    snprintf(s, sizeof(s), "%0*llXh", digits, static_cast<unsigned long long>(v));
    return s;
}

}  // namespace

void AppendVFormat(std::string& out, size_t buffer_size, const char* format, va_list args)
{
    ZV_CHECK(buffer_size > 0 && buffer_size <= kMaxFormatBuffer);
    char buf[kMaxFormatBuffer];
    const int n = vsnprintf(buf, buffer_size, format, args);
    if (n > 0) {
        out += buf;
    }
}

void AppendF(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendVFormat(out, kLineBuffer, format, args);
    va_end(args);
}

void AppendLine(std::string& out, const std::string& pad, const char* format, ...)
{
    out += pad;
    va_list args;
    va_start(args, format);
    AppendVFormat(out, kLineBuffer, format, args);
    va_end(args);
}

std::string ParseIndent(u32 indent) { return std::string(ClampIndent(indent), ' '); }

std::string Hex2(u8 v) { return HexDigits(v, 2); }
std::string Hex4(u16 v) { return HexDigits(v, 4); }
std::string Hex8(u32 v) { return HexDigits(v, 8); }
std::string Hex16(u64 v) { return HexDigits(v, 16); }

std::string Padded(const char* text, u32 width)
{
    std::string s = text;
    if (s.size() < width) {
        s.append(width - s.size(), ' ');
    }
    return s;
}
