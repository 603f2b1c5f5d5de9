#include "console_input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "file_utils.h"

namespace {

bool input_ended = false;
bool line_invalid = false;
bool answer_quit = false;
bool answer_empty = false;
// Standard input could not be put at its end after a refused answer: every read meets the end.
bool input_closed = false;

void ShowPrompt(const char* prompt)
{
    if (prompt != nullptr) {
        fputs(prompt, stdout);
        fflush(stdout);
    }
}

bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A byte no operator types as part of an answer: NUL and the other C0 controls but the tab, and DEL.
bool HasControlByte(const char* s, size_t len)
{
    for (size_t i = 0; i < len; i++) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            return true;
        }
    }
    return false;
}

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
            consoleRefuseAnswer();
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
        // An empty line asked once leaves the question; anything else is refused.
        if (repeat || !answer_empty) {
            consoleRefuseAnswer();
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
    if (input_closed || fgets(buf, static_cast<int>(size), stdin) == nullptr) {
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
        if (c == '\r') {
            // A CR that did not fit is still the line end when the LF or the end of input follows.
            c = fgetc(stdin);
            if (c != EOF && c != '\n') {
                c = '\r';
            }
        }
        if (c != EOF && c != '\n') {
            too_long = true;
            while ((c = fgetc(stdin)) != EOF && c != '\n') {
            }
        }
    }
    size_t len = line_end != nullptr ? static_cast<size_t>(line_end - buf) : n;
    // A CR LF line end, as a terminal in raw mode or another system sends it, is a line end.
    if (len > 0 && buf[len - 1] == '\r') {
        len--;
    }
    if (too_long || HasControlByte(buf, len)) {
        // No prompt takes a part of the line, what fitted or what stands before a NUL, as
        // the whole answer, nor a byte that was never typed as one.
        line_invalid = true;
        memset(buf, 0, size);
        consoleRefuseAnswer();
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

void consoleRefuseAnswer()
{
    if (input_closed || isatty(STDIN_FILENO) == 1) {
        return;
    }
    // Piped or redirected answers after a refused one were written for questions the run
    // never reached: none of them may answer this question or a later one. The input ends here.
    if (freopen("/dev/null", "r", stdin) == nullptr) {
        input_closed = true;
    }
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
