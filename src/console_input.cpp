#include "console_input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_utils.h"

namespace {

bool input_ended = false;

void ShowPrompt(const char* prompt)
{
    if (prompt != nullptr) {
        fputs(prompt, stdout);
        fflush(stdout);
    }
}

bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllHexDigits(const char* s)
{
    for (; *s != '\0'; s++) {
        if (!((*s >= '0' && *s <= '9') || (*s >= 'a' && *s <= 'f') || (*s >= 'A' && *s <= 'F'))) {
            return false;
        }
    }
    return true;
}

// Converts the whole of line in base; false on overflow, an empty line or a digit the base lacks.
bool ConvertWhole(const char* line, int base, u64* value)
{
    if (*line == '\0' || !AllHexDigits(line)) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long v = strtoull(line, &end, base);
    if (errno != 0 || end == line || *end != '\0') {
        return false;
    }
    *value = v;
    return true;
}

// The common body of both prompts; q_is_zero for the 32-bit one.
int InputNumber(char* dst, u64* out, bool repeat, const char* prompt, bool numeric, int base, u64 max,
                bool strip, bool q_is_zero)
{
    char line[kConsoleLineSize];
    for (;;) {
        if (!readConsoleLine(line, sizeof(line))) {
            if (!repeat) {
                return -1;
            }
            ShowPrompt(prompt);
            *out = 0;
            return 1;
        }
        if (strip) {
            StripBlank(line, static_cast<u32>(strlen(line)));
        }
        if (line[0] == '\0' && repeat) {
            ShowPrompt(prompt);
            continue;
        }
        if (!numeric) {
            if (dst != nullptr) {
                memcpy(dst, line, strlen(line) + 1);
            }
            return 0;
        }
        if (q_is_zero && (strcmp(line, "q") == 0 || strcmp(line, "Q") == 0)) {
            *out = 0;
            return 1;
        }
        u64 value = 0;
        if (ConvertWhole(line, base, &value) && value <= max) {
            if (dst != nullptr) {
                memcpy(dst, line, strlen(line) + 1);
            }
            *out = value;
            return 1;
        }
        if (!repeat) {
            return -1;
        }
        ShowPrompt(prompt);
    }
}

} // namespace

bool readConsoleLine(char* buf, u32 size)
{
    buf[0] = '\0';
    if (fgets(buf, static_cast<int>(size), stdin) == nullptr) {
        buf[0] = '\0';
        input_ended = true;
        return false;
    }
    input_ended = false;
    size_t n = strlen(buf);
    if (n > 0 && buf[n - 1] == '\n') {
        buf[n - 1] = '\0';
        return true;
    }
    // No line end: either the input ended or the line is longer than the buffer.
    int c;
    while ((c = fgetc(stdin)) != EOF && c != '\n') {
    }
    return true;
}

int readConsoleLineOrExit(char* buf, u32 size)
{
    if (buf == nullptr || size < 2) {
        return 0;
    }
    if (!readConsoleLine(buf, size)) {
        exit(0);
    }
    size_t n = strlen(buf);
    while (n > 0 && IsTrailingBlank(buf[n - 1])) {
        buf[--n] = '\0';
    }
    return static_cast<int>(n);
}

bool consoleInputEnded() { return input_ended; }

int inputNumber32(char* dst, u32* out, bool repeat, const char* prompt, bool numeric, int base, u32 max,
                  bool strip)
{
    u64 value = 0;
    int rc = InputNumber(dst, &value, repeat, prompt, numeric, base, max, strip, true);
    if (rc == 1) {
        *out = static_cast<u32>(value);
    }
    return rc;
}

int inputNumber64(char* dst, u64* out, bool repeat, const char* prompt, bool numeric, int base, u64 max,
                  bool strip)
{
    u64 value = 0;
    int rc = InputNumber(dst, &value, repeat, prompt, numeric, base, max, strip, false);
    if (rc == 1) {
        *out = value;
    }
    return rc;
}
