// The controller image rewrite (makeNewFwFile) byte for byte for both parts, its refusals of
// images whose length or header words do not fit the file, the shell words and command text
// of the vendor utility, and the download workflows' end state on an emulated drive.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu_api.h"
#include "test_init.h"

#include "front_state.h"
#include "fw_download.h"
#include "settings.h"

namespace {

std::string Le32(u32 v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++) {
        s[i] = static_cast<char>(v >> (8 * i));
    }
    return s;
}

// An image of len bytes, no two neighbours alike, with word 11 (offset 44) = first_len.
std::string Image(size_t len, u32 first_len)
{
    std::string s(len, '\0');
    for (size_t i = 0; i < len; i++) {
        s[i] = static_cast<char>(i * 13 + i / 256 + 1);
    }
    if (len >= 48) {
        s.replace(44, 4, Le32(first_len));
    }
    return s;
}

// The second part's frame put together from its pieces: the header with word 11 = 512 and
// zeros to 512 bytes, the part, zeros to the next multiple of 32768, the header again.
std::string Framed(const std::string& image, u32 first_len)
{
    std::string header = image.substr(0, 64);
    header.replace(44, 4, Le32(512));
    std::string s = header + std::string(448, '\0') + image.substr(first_len);
    s += std::string((32768 - s.size() % 32768) % 32768, '\0');
    return s + header;
}

class FwFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        char tmpl[] = "/tmp/zv_fw_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }

    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        int rc = system(cmd.c_str());
        (void)rc;
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void Write(const std::string& name, const std::string& data) const
    {
        std::ofstream f(Path(name), std::ios::binary);
        f << data;
    }

    bool Exists(const std::string& name) const
    {
        struct stat st;
        return stat(Path(name).c_str(), &st) == 0;
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream f(Path(name), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    // makeNewFwFile on two paths of this directory, with what it printed.
    bool Make(const std::string& src, const std::string& dst, u32 flag, std::string* out)
    {
        std::string s = Path(src);
        std::string d = Path(dst);
        ::testing::internal::CaptureStdout();
        bool ok = makeNewFwFile(&s[0], &d[0], flag);
        *out = ::testing::internal::GetCapturedStdout();
        return ok;
    }

    std::string dir_;
};

// ---------------------------------------------------------------- makeNewFwFile

struct FrameCase {
    const char* what;
    size_t len;
    u32 first_len;
    u32 flag;
    size_t out_len;  // by the length rule, independent of the builder above
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.what; }

const FrameCase frame_cases[] = {
    {"first part of 1000 bytes", 2048, 1000, 0, 1000},
    {"first part is the whole file", 2048, 2048, 0, 2048},
    {"first part of one byte", 64, 1, 0, 1},
    // 512 + 32256 fills 32768 exactly: no zeros before the trailer.
    {"second part fills the frame", 1024 + 32256, 1024, 1, 32768 + 64},
    {"second part one byte longer", 1024 + 32257, 1024, 1, 65536 + 64},
    {"second part of one byte", 513, 512, 1, 32768 + 64},
    {"largest image", 307199, 512, 1, 327680 + 64},
};

class MakeNewFwFile : public FwFiles, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(MakeNewFwFile, WritesThePartByteForByte)
{
    const FrameCase& c = GetParam();
    const std::string image = Image(c.len, c.first_len);
    Write("fw.rom", image);
    std::string out;
    ASSERT_TRUE(Make("fw.rom", "fw.rom.new", c.flag, &out)) << out;
    EXPECT_EQ(out, "");
    const std::string made = Read("fw.rom.new");
    ASSERT_EQ(made.size(), c.out_len);
    const std::string want = c.flag == 0 ? image.substr(0, c.first_len) : Framed(image, c.first_len);
    EXPECT_TRUE(made == want) << "rewritten image differs";
    if (c.flag == 1) {
        // Both headers say the first part is the 512-byte header block.
        EXPECT_EQ(made.substr(44, 4), Le32(512));
        EXPECT_EQ(made.substr(made.size() - 64 + 44, 4), Le32(512));
        EXPECT_EQ(made.substr(made.size() - 64, 44), image.substr(0, 44));
        EXPECT_EQ(made.substr(made.size() - 16), image.substr(48, 16));
    }
    EXPECT_TRUE(Read("fw.rom") == image);
}

INSTANTIATE_TEST_SUITE_P(Cases, MakeNewFwFile, ::testing::ValuesIn(frame_cases), CaseName());

TEST_F(FwFiles, FrameFillCountsByTheSecondPart)
{
    // One byte past a filled frame: 32767 zeros, then the trailer.
    const std::string image = Image(1024 + 32257, 1024);
    Write("fw.rom", image);
    std::string out;
    ASSERT_TRUE(Make("fw.rom", "fw.rom.new", 1, &out));
    const std::string made = Read("fw.rom.new");
    ASSERT_EQ(made.size(), 65600u);
    EXPECT_EQ(made.substr(512, 32257), image.substr(1024));
    EXPECT_EQ(made.substr(512 + 32257, 32767), std::string(32767, '\0'));
    EXPECT_EQ(made.substr(64, 448), std::string(448, '\0'));
}

struct RefusalCase {
    const char* what;
    size_t len;
    u32 first_len;
    u32 flag;
    const char* message;  // "%s" is the source path
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

const char kBadLength[] = "  file %s 's length is illegal, a firmware image holds 64 to 307199 Bytes\n";

const RefusalCase refusal_cases[] = {
    {"empty file", 0, 0, 0, kBadLength},
    {"header cut short", 63, 0, 1, kBadLength},
    {"at the size limit", 307200, 512, 0, kBadLength},
    {"past the size limit", 400000, 512, 1, kBadLength},
    {"first part of no bytes", 2048, 0, 0, "  file %s 's first firmware length 0 is illegal\n"},
    {"first part past the end", 2048, 2049, 0, "  file %s 's first firmware length 2049 is illegal\n"},
    {"first part far past the end", 2048, 0xFFFFFFFF, 1, "  file %s 's first firmware length 4294967295 is illegal\n"},
    {"second part inside the header block", 2048, 511, 1, "  file %s 's first firmware length 511 is illegal\n"},
    {"no second part", 2048, 2048, 1, "  file %s 's first firmware length 2048 is illegal\n"},
    {"unknown part", 2048, 1000, 2, "  firmware part 2 is illegal\n"},
};

class MakeNewFwFileRefused : public FwFiles, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(MakeNewFwFileRefused, LeavesTheOutputAlone)
{
    const RefusalCase& c = GetParam();
    Write("fw.rom", Image(c.len, c.first_len));
    Write("kept.new", "old contents");
    std::string out;
    EXPECT_FALSE(Make("fw.rom", "fw.rom.new", c.flag, &out));
    std::string want = c.message;
    const size_t at = want.find("%s");
    if (at != std::string::npos) {
        want.replace(at, 2, Path("fw.rom"));
    }
    EXPECT_EQ(out, want);
    EXPECT_FALSE(Exists("fw.rom.new"));
    EXPECT_FALSE(Make("fw.rom", "kept.new", c.flag, &out));
    EXPECT_EQ(Read("kept.new"), "old contents");
}

INSTANTIATE_TEST_SUITE_P(Cases, MakeNewFwFileRefused, ::testing::ValuesIn(refusal_cases), CaseName());

TEST_F(FwFiles, FilesThatCannotBeOpened)
{
    Write("fw.rom", Image(2048, 1000));
    std::string out;
    EXPECT_FALSE(Make("missing.rom", "missing.rom.new", 0, &out));
    EXPECT_EQ(out, "open file error!\n");
    EXPECT_FALSE(Exists("missing.rom.new"));
    EXPECT_FALSE(Make("fw.rom", "no/such/dir/fw.rom.new", 0, &out));
    EXPECT_EQ(out, "open file error!\n");
}

// A write cut short by the file size limit leaves no half-written image behind.
TEST_F(FwFiles, ShortWriteRemovesTheOutput)
{
    Write("fw.rom", Image(40000, 10000));
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit low = saved;
    low.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    std::string out;
    const bool ok = Make("fw.rom", "fw.rom.new", 1, &out);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "make new fw file error!\n");
    EXPECT_FALSE(Exists("fw.rom.new"));
}

// ---------------------------------------------------------------- the utility's command

struct WordCase {
    const char* word;
    const char* shell;
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << c.word; }

const WordCase word_cases[] = {
    {"MegaCli64", "MegaCli64"},
    {"-adpfwflash", "-adpfwflash"},
    {"fw_1.3/image.rom.new", "fw_1.3/image.rom.new"},
    {"-a0,1", "-a0,1"},
    // Brackets would be a glob, blanks split the word, the rest would be run.
    {"-PhysDrv[32:0]", "'-PhysDrv[32:0]'"},
    {"my fw.rom", "'my fw.rom'"},
    {"it's", "'it'\\''s'"},
    {"$(reboot)", "'$(reboot)'"},
    {"a;b", "'a;b'"},
    {"MegaCli64=1", "'MegaCli64=1'"},
    {"", "''"},
};

class ShellWord : public ::testing::TestWithParam<WordCase> {};

TEST_P(ShellWord, ReachesTheUtilityUnchanged)
{
    const WordCase& c = GetParam();
    const std::string quoted = shellWord(c.word);
    EXPECT_EQ(quoted, c.shell);
    // The shell itself gives the word back as it was.
    const std::string cmd = "printf '%s' " + quoted;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string got;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) {
        got.append(buf, n);
    }
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(got, c.word);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellWord, ::testing::ValuesIn(word_cases), CaseName());

struct CommandCase {
    const char* what;
    std::vector<std::string> args;
    bool found;
    const char* cmd;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.what; }

const CommandCase command_cases[] = {
    {"from the utility on", {"-f", "fw.rom", "-MIC", "MegaCli64", "-adpfwflash", "-f", "fw.rom.new", "-a0"}, true,
     "MegaCli64 -adpfwflash -f fw.rom.new -a0 "},
    {"the first utility argument", {"-u", "MegaCli", "MegaCli64", "-v"}, true, "MegaCli MegaCli64 -v "},
    {"utility alone", {"-SAM", "MegaCli64"}, true, "MegaCli64 "},
    {"quoted where needed", {"MegaCli", "-PdFwDownload", "-PhysDrv[32:0]", "-f", "a b.rom"}, true,
     "MegaCli -PdFwDownload '-PhysDrv[32:0]' -f 'a b.rom' "},
    // Unquoted, the shell would take the first word for an assignment and run "-v".
    {"utility word with '='", {"-SAM", "MegaCli64=x", "-v"}, true, "'MegaCli64=x' -v "},
    {"no utility", {"-f", "fw.rom", "-MIC", "megacli64"}, false, ""},
};

class UtilityCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(UtilityCommand, Text)
{
    const CommandCase& c = GetParam();
    std::string cmd = "untouched";
    EXPECT_EQ(buildUtilityCommand(c.args, &cmd), c.found);
    EXPECT_EQ(cmd, c.found ? std::string(c.cmd) : std::string("untouched"));
}

INSTANTIATE_TEST_SUITE_P(Cases, UtilityCommand, ::testing::ValuesIn(command_cases), CaseName());

// ---------------------------------------------------------------- the download workflows

const char* const kNode = "/dev/sdt";

class DownloadWorkflow : public FwFiles {
protected:
    void SetUp() override
    {
        FwFiles::SetUp();
        EnsureCmndRegistry();
        output_flags.save_log = 0;
        zvemu::Reset();
        std::string error;
        ASSERT_TRUE(zvemu::LoadFixtureText(std::string("drive ") + kNode + " sat\nanswer ata 92\n", ".", &error))
            << error;
        cur_disk = DiskInfo();
        cur_disk.device_name = kNode;
        cur_disk.link_type = LINK_ATA_BY_SCSI;
        cur_disk.model = "QUMA-K6410TN0100";
        node_ = kNode;
        dev_name = &node_[0];
    }

    void TearDown() override
    {
        fw_file_name = nullptr;
        dev_name = nullptr;
        freeDataBuf();
        zvemu::Reset();
        FwFiles::TearDown();
    }

    std::string Download(void (*workflow)(), const std::string& file)
    {
        file_ = Path(file);
        fw_file_name = &file_[0];
        ::testing::internal::CaptureStdout();
        workflow();
        return ::testing::internal::GetCapturedStdout();
    }

    std::string node_;
    std::string file_;
    SettingsGuard settings_;
};

// Whatever the outcome, the file name is cleared and the image buffer released.
TEST_F(DownloadWorkflow, EveryPathEndsWithoutFileAndBuffer)
{
    Write("empty.bin", "");
    Write("fw.bin", Image(300 * 1024, 1000));
    const struct {
        void (*workflow)();
        const char* file;
        const char* line;  // after "  "
    } cases[] = {
        {downloadMicrocode, "fw.bin", "Download microcode %s to Disk /dev/sdt successfully"},
        {downloadMicrocode, "empty.bin", "file %s 's length is illegal, 0 is empty"},
        {downloadMicrocode, "missing.bin", "Query file %s 's length failed, User Err Code [00000017h:File can't be opened]"},
        {downloadLoader, "empty.bin", "file %s 's length is illegal, 0 is not multiple of 512 Bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        allocDataBuf(16);
        std::string want = std::string("  ") + c.line + "\n";
        want.replace(want.find("%s"), 2, Path(c.file));
        EXPECT_EQ(Download(c.workflow, c.file), want);
        EXPECT_EQ(fw_file_name, nullptr);
        EXPECT_EQ(data_buf, nullptr);
        EXPECT_EQ(data_len, 0u);
    }
}

// A retry left over from an earlier download does not change how the next one is sent:
// over SAT a K4410-family drive's first attempt is the first 254 sectors alone, and its
// status (done) ends the download there.
TEST_F(DownloadWorkflow, LeftoverRetryIsClearedFirst)
{
    zvemu::Reset();
    std::string error;
    ASSERT_TRUE(zvemu::LoadFixtureText(std::string("drive ") + kNode +
                                           " sat\nanswer ata 92\nanswer ata 89 fea=74\n  size 512\n  put 0 01\n",
                                       ".", &error))
        << error;
    cur_disk.model = "QUMA-K4410TN0100";
    Write("fw.bin", Image(300 * 1024, 1000));
    fw_download_retry = true;
    EXPECT_EQ(Download(downloadMicrocode, "fw.bin"),
              "  Download microcode " + Path("fw.bin") + " to Disk /dev/sdt successfully\n");
    EXPECT_FALSE(fw_download_retry);
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests(kNode);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].len, 254u * 512u);
    EXPECT_EQ(sent[1].cdb[14], 0x89);
}

} // namespace
