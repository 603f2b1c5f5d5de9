// Console input: the line readers and the numeric prompts of the runner, the menus and the tools.
#ifndef ZV_CONSOLE_INPUT_H
#define ZV_CONSOLE_INPUT_H

#include "common.h"

// Size of every console line buffer: a line holds at most kConsoleLineSize - 1 characters.
const u32 kConsoleLineSize = 4096;

// Reads one line from standard input into buf (size bytes, at least 2) without its line end
// (LF, or CR LF); the rest of buf is zero-filled. The rest of a line too long for buf is read
// and dropped, so it never turns into the next answer. A line too long for buf, or holding a
// control byte other than the tab (NUL, a CR inside the line, DEL, ...), is still one line,
// but no answer: buf is left empty, consoleLineInvalid tells it from an empty line, and the
// answer is refused (consoleRefuseAnswer).
// False at the end of input when nothing was read; buf is then empty.
bool readConsoleLine(char* buf, u32 size);

// The line reader of the pass-through tools, which must never send a command that was not
// typed whole: at the end of input the process ends with status 0. Otherwise as
// readConsoleLine, with trailing blanks, tabs and carriage returns cut too; returns the
// length left (0 for a null buf or a size below 2).
int readConsoleLineOrExit(char* buf, u32 size);

// Called for an answer that was read but refused. On a terminal the question may be asked
// again. Otherwise the rest of standard input is dropped: every later read meets the end of
// input, so an answer written for one question never lands on another.
void consoleRefuseAnswer();

// True when the last read of the console reader met the end of input with nothing read.
bool consoleInputEnded();

// True when the last line the console reader read was too long for its buffer or held a NUL byte.
bool consoleLineInvalid();

// True when the last numeric prompt was answered with an empty line (blanks only, with strip).
bool consoleAnswerEmpty();

// True when the last numeric prompt was answered with a stop: the end of input, or the lone
// "q" of the numeric prompts. A stop never counts as a typed 0.
bool consoleAnswerQuit();

// Numeric prompts. Return 1 when a number was stored in *out, 0 when a text was copied into
// dst (numeric false), -1 when nothing valid was read and repeat is off. Every answer asked
// again, and every one but an empty line refused without repeat, is refused (consoleRefuseAnswer).
// The caller prints prompt before the first read; these print it before each further read.
// With repeat, the end of input answers 0 (check consoleAnswerQuit to tell it from a typed 0).
// With strip, blanks are removed from the line. The line must be made of hexadecimal digits
// only and convert completely in base to a value of at most max; a line too long or holding
// a NUL is invalid. A lone "q" or "Q" returns 1 and answers 0 as a stop, at every prompt, as the end
// of input does with repeat (without repeat the end of input returns -1).
// dst, when not null, must hold kConsoleLineSize bytes.
int inputNumber32(char* dst, u32* out, bool repeat, const char* prompt, bool numeric, int base, u32 max,
                  bool strip);
int inputNumber64(char* dst, u64* out, bool repeat, const char* prompt, bool numeric, int base, u64 max,
                  bool strip);

#endif
