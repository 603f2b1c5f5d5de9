#include "decode_util.h"

#include <cstdio>

namespace {

const size_t kLineBuffer = 256;

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
