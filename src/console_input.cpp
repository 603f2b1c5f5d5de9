#include "console_input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_utils.h"

namespace {

bool input_ended = false;
bool line_invalid = false;
bool answer_quit = false;
bool answer_empty = false;

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

// The common body of both prompts.
int InputNumber(char* dst, u64* out, bool repeat, const char* prompt, bool numeric, int base, u64 max,
                bool strip)
{
    char line[kConsoleLineSize];
    answer_quit = false;
    answer_empty = false;
    for (;;) {
        if (!readConsoleLine(line, sizeof(line))) {
            answer_quit = true;
            if (!repeat) {
                return -1;
            }
            ShowPrompt(prompt);
            *out = 0;
            return 1;
        }
        if (line_invalid) {
            if (!repeat) {
                return -1;
            }
            ShowPrompt(prompt);
            continue;
        }
        if (strip) {
            StripBlank(line, static_cast<u32>(strlen(line)));
        }
        if (line[0] == '\0' && repeat) {
            ShowPrompt(prompt);
            continue;
        }
        answer_empty = line[0] == '\0';
        if (!numeric) {
            if (dst != nullptr) {
                memcpy(dst, line, strlen(line) + 1);
            }
            return 0;
        }
        if (strcmp(line, "q") == 0 || strcmp(line, "Q") == 0) {
            answer_quit = true;
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
    // fgets tells nothing of how much it read, and a typed NUL hides the rest of the line
    // from strlen. Filled with a byte other than NUL first, the buffer shows it: the last NUL
    // is the one fgets put after the bytes it read.
    memset(buf, 0xFF, size);
    line_invalid = false;
    if (fgets(buf, static_cast<int>(size), stdin) == nullptr) {
        memset(buf, 0, size);
        input_ended = true;
        return false;
    }
    input_ended = false;
    size_t n = size - 1;
    while (n > 0 && buf[n] != '\0') {
        n--;
    }
    const char* line_end = static_cast<const char*>(memchr(buf, '\n', n));
    bool too_long = false;
    if (line_end == nullptr && !feof(stdin)) {
        // Only the line end may be left behind; anything more means the line did not fit.
        int c = fgetc(stdin);
        if (c != EOF && c != '\n') {
            too_long = true;
            while ((c = fgetc(stdin)) != EOF && c != '\n') {
            }
        }
    }
    const size_t len = line_end != nullptr ? static_cast<size_t>(line_end - buf) : n;
    if (too_long || memchr(buf, '\0', len) != nullptr) {
        // No prompt takes a part of the line, what fitted or what stands before a NUL, as
        // the whole answer.
        line_invalid = true;
        memset(buf, 0, size);
        return true;
    }
    memset(buf + len, 0, size - len);
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

bool consoleLineInvalid() { return line_invalid; }

bool consoleAnswerEmpty() { return answer_empty; }

bool consoleAnswerQuit() { return answer_quit; }

int inputNumber32(char* dst, u32* out, bool repeat, const char* prompt, bool numeric, int base, u32 max,
                  bool strip)
{
    u64 value = 0;
    int rc = InputNumber(dst, &value, repeat, prompt, numeric, base, max, strip);
    if (rc == 1) {
        *out = static_cast<u32>(value);
    }
    return rc;
}

int inputNumber64(char* dst, u64* out, bool repeat, const char* prompt, bool numeric, int base, u64 max,
                  bool strip)
{
    u64 value = 0;
    int rc = InputNumber(dst, &value, repeat, prompt, numeric, base, max, strip);
    if (rc == 1) {
        *out = value;
    }
    return rc;
}
