// The file utilities on odd files (a directory, a symbolic link loop, a name longer than the
// system takes, device and process files whose reported length is not their content, a file
// longer than asked) and the text helpers on buffers of exactly the stated length.
//
// Properties: a failure always carries a file error code and leaves the length result as it
// was; a success leaves the error code untouched; nothing is read or written outside the
// caller's buffer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "case_names.h"
#include "file_utils.h"
#include "msg_processor.h"
#include "robustness_util.h"

namespace {

using robust::ExactBuf;
using robust::Rng;

const int kUntouched = -777;

class Scratch {
public:
    Scratch()
    {
        char tmpl[] = "/tmp/zv_rb_XXXXXX";
        if (char* d = mkdtemp(tmpl)) {
            dir_ = d;
        }
    }
    ~Scratch()
    {
        if (!dir_.empty()) {
            int rc = system(("rm -rf '" + dir_ + "'").c_str());
            (void)rc;
        }
    }
    std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }
    bool ok() const { return !dir_.empty(); }

private:
    std::string dir_;
};

bool IsFileError(int e)
{
    return e == USER_ERR_FILE_NOT_EXIST || e == USER_ERR_FILE_OPEN || e == USER_ERR_FILE_READ ||
           e == USER_ERR_FILE_WRITE || e == USER_ERR_FILE_LENGTH;
}

// An odd path and how to make it inside the scratch directory.
struct OddFile {
    const char* what;
    std::function<std::string(const Scratch&)> make;
};

std::string LongName(const Scratch& s) { return s.Path(std::string(5000, 'n')); }

const OddFile odd_files[] = {
    {"a directory", [](const Scratch& s) {
         mkdir(s.Path("dir").c_str(), 0700);
         return s.Path("dir");
     }},
    {"a symbolic link loop", [](const Scratch& s) {
         int rc = symlink(s.Path("loop").c_str(), s.Path("loop").c_str());
         (void)rc;
         return s.Path("loop");
     }},
    // Never written through: the file it points to is not made.
    {"a dangling symbolic link", [](const Scratch& s) {
         int rc = symlink(s.Path("nowhere").c_str(), s.Path("dangling").c_str());
         (void)rc;
         return s.Path("dangling");
     }},
    {"a name longer than the system takes", LongName},
    {"an empty name", [](const Scratch&) { return std::string(); }},
    {"a file below a plain file", [](const Scratch& s) {
         std::ofstream(s.Path("plain")) << "x";
         return s.Path("plain/below");
     }},
};

void PrintTo(const OddFile& f, std::ostream* os) { *os << f.what; }

class OddFiles : public ::testing::TestWithParam<OddFile> {};

// None of these is a readable file of a known length: every helper fails with a file error
// and leaves what it would have reported alone.
TEST_P(OddFiles, ReadAndLengthFailWithAFileError)
{
    Scratch s;
    ASSERT_TRUE(s.ok());
    const std::string path = GetParam().make(s);
    SCOPED_TRACE(GetParam().what);

    int err = kUntouched;
    u32 len = 0xA5A5A5A5;
    EXPECT_FALSE(GetFileLen(path.c_str(), &len, &err));
    EXPECT_TRUE(IsFileError(err)) << err;
    EXPECT_EQ(len, 0xA5A5A5A5u);

    ExactBuf buf(16, 0x5A);
    err = kUntouched;
    EXPECT_FALSE(ReadFileData(path.c_str(), buf.data(), buf.len(), &err));
    EXPECT_TRUE(IsFileError(err)) << err;
}

TEST_P(OddFiles, WriteFailsWithAFileError)
{
    Scratch s;
    ASSERT_TRUE(s.ok());
    const std::string path = GetParam().make(s);
    SCOPED_TRACE(GetParam().what);
    ExactBuf data(16, 0x5A);
    int err = kUntouched;
    EXPECT_FALSE(WriteFileData(path.c_str(), data.data(), data.len(), "wb", &err));
    EXPECT_TRUE(IsFileError(err)) << err;
}

INSTANTIATE_TEST_SUITE_P(Odd, OddFiles, ::testing::ValuesIn(odd_files), CaseName());

// Files whose reported length is not what they hold: a length query and a read of that length
// agree with each other and stay inside the buffer they were given.
TEST(OddFileLengths, ReadOfTheReportedLengthStaysInsideIt)
{
    for (const char* path : {"/dev/null", "/dev/zero", "/proc/self/status", "/proc/self/cmdline"}) {
        SCOPED_TRACE(path);
        int err = kUntouched;
        u32 len = 0xA5A5A5A5;
        if (!GetFileLen(path, &len, &err)) {
            EXPECT_TRUE(IsFileError(err)) << err;
            continue;
        }
        EXPECT_EQ(err, kUntouched);
        ExactBuf buf(len);
        EXPECT_TRUE(ReadFileData(path, buf.data(), len, &err)) << "len " << len;
        EXPECT_EQ(err, kUntouched);
    }
    // A device is no regular file: it cannot be opened as one, and nothing is read from it.
    ExactBuf buf(8, 0x11);
    int err = kUntouched;
    EXPECT_FALSE(ReadFileData("/dev/zero", buf.data(), buf.len(), &err));
    EXPECT_EQ(err, USER_ERR_FILE_OPEN);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), buf.len()), std::string(8, '\x11'));
}

// A file longer than the buffer: only the buffer's length is read, from the start.
TEST(OddFileLengths, LongFileFillsOnlyTheBuffer)
{
    Scratch s;
    ASSERT_TRUE(s.ok());
    const std::string path = s.Path("long");
    Rng rng(0x5EED4000);
    ExactBuf content = robust::RandomBuf(rng, 70000);
    int err = kUntouched;
    ASSERT_TRUE(WriteFileData(path.c_str(), content.data(), content.len(), "wb", &err));
    for (u32 n : {0u, 1u, 511u, 4096u, 69999u, 70000u}) {
        ExactBuf buf(n);
        ASSERT_TRUE(ReadFileData(path.c_str(), buf.data(), n, &err)) << n;
        EXPECT_EQ(memcmp(buf.data(), content.data(), n), 0) << n;
    }
    ExactBuf over(70001);
    EXPECT_FALSE(ReadFileData(path.c_str(), over.data(), over.len(), &err));
    EXPECT_EQ(err, USER_ERR_FILE_READ);
}

// ---- text helpers on exact buffers ----

// A line with no terminating zero, as long as its buffer: nothing past it is touched, the kept
// bytes come first in order and the rest is zero.
TEST(StripBlankRobustness, ExactBuffersWithoutTerminator)
{
    Rng rng(0x5EED4001);
    for (int i = 0; i < 3000; i++) {
        const u32 n = rng.Below(300);
        ExactBuf buf = robust::RandomBuf(rng, n);
        std::string kept;
        for (u32 k = 0; k < n; k++) {
            const char c = static_cast<char>(buf.data()[k]);
            if (c != ' ' && c != '\n') {
                kept += c;
            }
        }
        const int r = StripBlank(reinterpret_cast<char*>(buf.data()), n);
        ASSERT_EQ(r, static_cast<int>(kept.size()));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), kept.size()), kept);
        for (u32 k = kept.size(); k < n; k++) {
            EXPECT_EQ(buf.data()[k], 0) << k;
        }
    }
}

// Every row width and offset mode over short exact buffers: rows of 8 or 16 bytes, the last
// one shorter, each byte once.
TEST(HexDumpRobustness, ExactBuffersAllLayouts)
{
    Rng rng(0x5EED4002);
    for (u32 len = 0; len <= 40; len++) {
        ExactBuf data = robust::RandomBuf(rng, len);
        for (u32 width = 0; width <= 20; width++) {
            for (u32 mode = 0; mode <= 9; mode++) {
                std::string out = "keep";
                const bool ok = HexDumpToStr(&out, data.data(), len, width, mode, 2);
                EXPECT_EQ(ok, len != 0 && mode <= 8);
                if (!ok) {
                    EXPECT_EQ(out, "keep");
                    continue;
                }
                const u32 per_row = width <= 8 ? 8 : 16;
                size_t rows = 0;
                for (char c : out) {
                    rows += c == '\n';
                }
                EXPECT_EQ(rows, (len + per_row - 1) / per_row) << len << " " << width << " " << mode;
                EXPECT_EQ(out.compare(0, 4, "keep"), 0);
            }
        }
    }
}

} // namespace
