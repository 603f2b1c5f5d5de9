#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include <unistd.h>

#include "case_names.h"

#include "console_input.h"
#include "test_init.h"

namespace {

const char* const kPrompt = "P> ";

size_t CountOf(const std::string& hay, const std::string& needle)
{
    size_t n = 0;
    for (size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + needle.size())) {
        n++;
    }
    return n;
}

struct Num32Case {
    const char* input;
    bool repeat;
    int base;
    u32 max;
    bool strip;
    int rc;
    u32 out;        // checked when rc is 1
    size_t prompts; // prompts printed by the function itself
};

void PrintTo(const Num32Case& c, std::ostream* os)
{
    *os << SpeltOut(c.input) << (c.repeat ? " asked again" : " asked once") << " base " << c.base << " max "
        << c.max << (c.strip ? "" : " blanks kept");
}

class InputNumber32Cases : public ::testing::TestWithParam<Num32Case> {};

TEST_P(InputNumber32Cases, ReadsAsSpecified)
{
    const Num32Case& c = GetParam();
    FeedStdin(c.input);
    u32 out = 0xDEADBEEF;
    ::testing::internal::CaptureStdout();
    int rc = inputNumber32(nullptr, &out, c.repeat, kPrompt, true, c.base, c.max, c.strip);
    std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, c.rc) << c.input;
    if (c.rc == 1) {
        EXPECT_EQ(out, c.out) << c.input;
    } else {
        EXPECT_EQ(out, 0xDEADBEEFu) << c.input;
    }
    EXPECT_EQ(CountOf(shown, kPrompt), c.prompts) << c.input;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputNumber32Cases,
    ::testing::Values(Num32Case{"12\n", true, 10, 100, true, 1, 12, 0},
                      // Piped, an answer asked again ends the input: the line after it was
                      // written for another question. The end of input then answers 0.
                      // Not a hexadecimal digit:
                      Num32Case{"1g\n12\n", true, 10, 100, true, 1, 0, 2},
                      Num32Case{"1g\n", false, 10, 100, true, -1, 0, 0},
                      // A hexadecimal digit that the base lacks must not be cut off to "1".
                      Num32Case{"1a\n5\n", true, 10, 100, true, 1, 0, 2},
                      Num32Case{" 1 2 \n", true, 10, 100, true, 1, 12, 0},
                      Num32Case{" 1 2 \n", false, 10, 100, false, -1, 0, 0},
                      Num32Case{"\n7\n", true, 10, 100, true, 1, 0, 2},
                      Num32Case{"  \n7\n", true, 10, 100, true, 1, 0, 2},
                      Num32Case{"\n", false, 10, 100, true, -1, 0, 0},
                      // The end of input answers 0 with repeat and prints the prompt once more.
                      Num32Case{"", true, 10, 100, true, 1, 0, 1},
                      Num32Case{"", false, 10, 100, true, -1, 0, 0},
                      Num32Case{"q\n", true, 10, 100, true, 1, 0, 0},
                      Num32Case{"Q\n", false, 16, 100, true, 1, 0, 0},
                      Num32Case{"qq\n3\n", true, 10, 100, true, 1, 0, 2},
                      Num32Case{"1FFFF\n", true, 16, 0x1FFFF, true, 1, 0x1FFFF, 0},
                      Num32Case{"20000\n1ffff\n", true, 16, 0x1FFFF, true, 1, 0, 2},
                      Num32Case{"FFFFFFFF\n", true, 16, 0xFFFFFFFF, true, 1, 0xFFFFFFFF, 0},
                      Num32Case{"100000000\n", false, 16, 0xFFFFFFFF, true, -1, 0, 0},
                      Num32Case{"99999999999999999999999\n", false, 10, 0xFFFFFFFF, true, -1, 0, 0},
                      Num32Case{"-1\n", false, 10, 0xFFFFFFFF, true, -1, 0, 0},
                      Num32Case{"0x10\n", false, 16, 0xFFFFFFFF, true, -1, 0, 0},
                      Num32Case{"6\n5\n", true, 10, 5, true, 1, 0, 2},
                      // A CR LF line end is a line end; a CR or another control byte inside is refused.
                      Num32Case{"12\r\n", true, 10, 100, true, 1, 12, 0},
                      Num32Case{"12\r", false, 10, 100, true, 1, 12, 0},
                      Num32Case{"1\r2\n3\n", true, 10, 100, true, 1, 0, 2},
                      Num32Case{"12\x1b\n", false, 10, 100, true, -1, 0, 0},
                      Num32Case{"12\x7f\n", false, 10, 100, true, -1, 0, 0},
                      Num32Case{"12\r\r\n", false, 10, 100, true, -1, 0, 0},
                      // A last line without its line end still counts.
                      Num32Case{"4", true, 10, 5, true, 1, 4, 0}),
    CaseName());

// What an answer means beyond its number: a stop (the end of input, a lone q) must never be
// taken for a typed 0, and a line holding a NUL is no answer at all.
struct StopCase {
    const char* name;
    std::string input;
    bool repeat;
    int rc;
    u32 out;       // checked when rc is 1
    bool quit;
    size_t prompts;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class InputNumber32Stops : public ::testing::TestWithParam<StopCase> {};

TEST_P(InputNumber32Stops, StopIsToldFromATypedZero)
{
    const StopCase& c = GetParam();
    FeedStdin(c.input);
    u32 out = 0xDEADBEEF;
    ::testing::internal::CaptureStdout();
    const int rc = inputNumber32(nullptr, &out, c.repeat, kPrompt, true, 10, 100, true);
    const std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, c.rc);
    if (c.rc == 1) {
        EXPECT_EQ(out, c.out);
    }
    EXPECT_EQ(consoleAnswerQuit(), c.quit);
    EXPECT_EQ(CountOf(shown, kPrompt), c.prompts);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputNumber32Stops,
    ::testing::Values(StopCase{"typed zero", "0\n", true, 1, 0, false, 0},
                      StopCase{"lone q", "q\n", true, 1, 0, true, 0},
                      StopCase{"lone Q with blanks", " Q \n", true, 1, 0, true, 0},
                      StopCase{"lone q asked once", "q\n", false, 1, 0, true, 0},
                      StopCase{"end of input", "", true, 1, 0, true, 1},
                      StopCase{"end of input asked once", "", false, -1, 0, true, 0},
                      StopCase{"invalid answer piped ends the input", "x\n7\n", true, 1, 0, true, 2},
                      StopCase{"number after an earlier stop", "7\n", true, 1, 7, false, 0},
                      // Piped, the NUL line ends the input; its tail is no answer either.
                      StopCase{"NUL line then a number", std::string("1\0" "9\n5\n", 5), true, 1, 0, true, 2},
                      StopCase{"NUL line asked once", std::string("1\0\n", 3), false, -1, 0, false, 0},
                      StopCase{"NUL line then the end of input", std::string("\0\n", 2), true, 1, 0, true, 2},
                      StopCase{"lone q behind a NUL", std::string("q\0\n7\n", 5), true, 1, 0, true, 2}),
    CaseName());

struct NulLineCase {
    const char* name;
    std::string input;
    std::string first;   // the line read first
    bool invalid;  // too long or holding a NUL
    bool second_read;    // a second line follows
    std::string second;
};

void PrintTo(const NulLineCase& c, std::ostream* os) { *os << c.name; }

class ConsoleLineNul : public ::testing::TestWithParam<NulLineCase> {};

// Where a line ends is found in the bytes read, not by strlen: a NUL never swallows the next line.
TEST_P(ConsoleLineNul, OneLineWhateverItHolds)
{
    const NulLineCase& c = GetParam();
    FeedStdin(c.input);
    char buf[16];
    ASSERT_TRUE(readConsoleLine(buf, sizeof(buf)));
    EXPECT_EQ(std::string(buf), c.first);
    EXPECT_EQ(consoleLineInvalid(), c.invalid);
    if (c.invalid) {
        // Nothing of the line is left for a caller that looks no further than the buffer.
        EXPECT_EQ(std::string(buf, sizeof(buf)), std::string(sizeof(buf), '\0'));
    }
    EXPECT_EQ(readConsoleLine(buf, sizeof(buf)), c.second_read);
    EXPECT_EQ(std::string(buf), c.second);
    EXPECT_FALSE(consoleLineInvalid());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleLineNul,
    // Piped, the lines after an invalid one are never read: the input ends with it.
    ::testing::Values(NulLineCase{"plain line", "12\n5000\n", "12", false, true, "5000"},
                      NulLineCase{"NUL inside", std::string("1\0" "2\n5000\n", 8), "", true, false, ""},
                      NulLineCase{"NUL last before the line end", std::string("1\0\n5000\n", 8), "", true, false, ""},
                      NulLineCase{"NUL alone", std::string("\0\n5000\n", 7), "", true, false, ""},
                      NulLineCase{"CR LF line end", "12\r\n5000\r\n", "12", false, true, "5000"},
                      NulLineCase{"CR inside", "1\r2\n5000\n", "", true, false, ""},
                      NulLineCase{"escape", "\x1b[A\n5000\n", "", true, false, ""},
                      NulLineCase{"tab kept", "1\t2\n5000\n", "1\t2", false, true, "5000"},
                      NulLineCase{"CR LF after a line filling the buffer", "0123456789abcde\r\n7\n", "0123456789abcde",
                                  false, true, "7"},
                      NulLineCase{"NUL in a last line without line end", std::string("ab\0cd", 5), "", true, false, ""},
                      NulLineCase{"empty line", "\n5000\n", "", false, true, "5000"},
                      // A line that fills the buffer to its last byte is whole; one character
                      // more and no part of it is an answer, whatever its rest holds.
                      NulLineCase{"line filling the buffer", "0123456789abcde\n7\n", "0123456789abcde", false,
                                  true, "7"},
                      NulLineCase{"last line filling the buffer", "0123456789abcde", "0123456789abcde", false,
                                  false, ""},
                      NulLineCase{"one character too long", "0123456789abcdef\n7\n", "", true, false, ""},
                      NulLineCase{"NUL past the buffer", std::string("0123456789abcdefg\0h\n7\n", 23), "", true,
                                  false, ""}),
    CaseName());

TEST(InputNumber64, FullRangeOverflowAndQ)
{
    struct Case {
        const char* input;
        int rc;
        u64 out;
        size_t prompts;
    };
    const Case cases[] = {
        {"18446744073709551615\n", 1, 18446744073709551615ull, 0},
        {"18446744073709551616\n", -1, 0, 0},
        {"q\n", 1, 0, 0},
        {"", -1, 0, 0},
    };
    for (const Case& c : cases) {
        FeedStdin(c.input);
        u64 out = 7;
        int rc = inputNumber64(nullptr, &out, false, kPrompt, true, 10, ~0ull, true);
        EXPECT_EQ(rc, c.rc) << c.input;
        EXPECT_EQ(out, c.rc == 1 ? c.out : 7u) << c.input;
    }
    // With repeat a "q" is a stop that answers 0, as the 32-bit prompt's; a number is not.
    FeedStdin("q\n1234567890123\n");
    u64 out = 9;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(inputNumber64(nullptr, &out, true, kPrompt, true, 10, ~0ull, true), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(out, 0u);
    EXPECT_TRUE(consoleAnswerQuit());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(inputNumber64(nullptr, &out, true, kPrompt, true, 10, ~0ull, true), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(out, 1234567890123ull);
    EXPECT_FALSE(consoleAnswerQuit());
    FeedStdin("");
    out = 9;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(inputNumber64(nullptr, &out, true, kPrompt, true, 16, 0xFF, true), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kPrompt);
    EXPECT_EQ(out, 0u);
    EXPECT_TRUE(consoleInputEnded());
}

TEST(InputNumber, DestinationGetsTheLine)
{
    char dst[kConsoleLineSize];
    u32 out = 0;
    // A text prompt hands the line back unconverted, blanks kept without strip.
    FeedStdin("hello  world\n");
    EXPECT_EQ(inputNumber32(dst, &out, false, kPrompt, false, 10, 0, false), 0);
    EXPECT_STREQ(dst, "hello  world");
    FeedStdin(" a b\n");
    EXPECT_EQ(inputNumber32(dst, &out, false, kPrompt, false, 10, 0, true), 0);
    EXPECT_STREQ(dst, "ab");
    // A number is copied as typed after stripping.
    FeedStdin(" 1f \n");
    EXPECT_EQ(inputNumber32(dst, &out, false, kPrompt, true, 16, 0xFF, true), 1);
    EXPECT_STREQ(dst, "1f");
    EXPECT_EQ(out, 0x1Fu);
}

TEST(ConsoleLine, LongLineRestIsDropped)
{
    // Without the drop, the "5" left over from the long line would be the next answer; piped,
    // the input ends with the long line, so the "7" is not read either.
    FeedStdin(std::string(kConsoleLineSize - 1, 'z') + "5\n7\n");
    u32 out = 9;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(inputNumber32(nullptr, &out, true, kPrompt, true, 10, 100, true), 1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, 0u);
    EXPECT_TRUE(consoleAnswerQuit());
}

TEST(ConsoleLine, EndOfInputIsReported)
{
    char buf[16];
    FeedStdin("abc\n\nlast");
    EXPECT_TRUE(readConsoleLine(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "abc");
    EXPECT_FALSE(consoleInputEnded());
    EXPECT_TRUE(readConsoleLine(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(readConsoleLine(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "last");
    EXPECT_FALSE(consoleInputEnded());
    EXPECT_FALSE(readConsoleLine(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(consoleInputEnded());
}

// ---- the pass-through tools' reader, which ends the process at the end of input ----

struct LineCase {
    std::string input;
    int size;
    int len;
    const char* line;
    const char* next;   // what the following read returns
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << SpeltOut(c.input) << " into " << c.size; }

class ReadConsoleLineOrExitCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReadConsoleLineOrExitCases, CutsTrailingBlanksAndDropsTheRestOfALongLine)
{
    const LineCase& c = GetParam();
    FeedStdin(c.input + "next\n");
    char buf[64];
    memset(buf, 'Z', sizeof(buf));
    EXPECT_EQ(readConsoleLineOrExit(buf, c.size), c.len);
    EXPECT_STREQ(buf, c.line);
    // Nothing written beyond the size given.
    EXPECT_EQ(buf[c.size], 'Z');
    char rest[64];
    EXPECT_EQ(readConsoleLineOrExit(rest, sizeof(rest)), static_cast<int>(strlen(c.next)));
    EXPECT_STREQ(rest, c.next);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadConsoleLineOrExitCases,
    ::testing::Values(LineCase{"120000002400\n", 32, 12, "120000002400", "next"},
                      LineCase{"12 00 00  \t\r\n", 32, 8, "12 00 00", "next"},
                      LineCase{"   \n", 32, 0, "", "next"},
                      LineCase{"\n", 32, 0, "", "next"},
                      LineCase{"  lead\n", 32, 6, "  lead", "next"},
                      LineCase{"0123456\n", 8, 7, "0123456", "next"}),
    CaseName());

TEST(ReadConsoleLineOrExit, LastLineWithoutLineEnd)
{
    FeedStdin("abc  ");
    char buf[16];
    EXPECT_EQ(readConsoleLineOrExit(buf, sizeof(buf)), 3);
    EXPECT_STREQ(buf, "abc");
}

TEST(ReadConsoleLineOrExit, LineLongerThanTheBufferIsNoAnswerAndEndsPipedInput)
{
    FeedStdin("0123456789abcdef\nnext\n");
    char buf[8];
    EXPECT_EXIT(
        {
            // No part of the line becomes an answer, and piped, nothing after it does either.
            if (readConsoleLineOrExit(buf, sizeof(buf)) == 0 && buf[0] == '\0') {
                readConsoleLineOrExit(buf, sizeof(buf));
            }
            exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ReadConsoleLineOrExit, EndOfInputEndsTheProcessWithStatus0)
{
    FeedStdin("");
    char buf[16];
    EXPECT_EXIT(readConsoleLineOrExit(buf, sizeof(buf)), ::testing::ExitedWithCode(0), "");
}

} // namespace
