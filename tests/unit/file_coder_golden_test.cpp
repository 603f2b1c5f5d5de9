// Containers stored byte for byte for generated inputs past the 64 KiB window, and for
// chains crowded around each chain cap: the encoder must keep writing exactly these,
// from memory and from a file, and the decoder must give the inputs back from them.
#include <gtest/gtest.h>

#include "case_names.h"

#include "coder_golden_inputs.h"
#include "compress_test_util.h"
#include "file_compressor.h"
#include "file_decompressor.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace ctest;

struct StoredCase {
    const char* input_name;
    Bytes (*input)();
    u32 level;
};

void PrintTo(const StoredCase& c, std::ostream* os)
{
    *os << c.input_name << " at level " << c.level;
}

std::string StoredPath(const StoredCase& c)
{
    return std::string(ZV_TEST_DATA_DIR) + "/compress/" + c.input_name + "_level" + std::to_string(c.level) + ".qma";
}

// Where two byte strings part, for a readable failure on 100 KB inputs.
std::string Difference(const Bytes& got, const Bytes& want)
{
    if (got == want) {
        return "";
    }
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) {
        i++;
    }
    return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) + ", first difference at " +
           std::to_string(i);
}

const std::vector<StoredCase> kStoredCases = {
    {"text", golden::TextLike, 1},      {"text", golden::TextLike, 2},      {"text", golden::TextLike, 4},
    {"sectors", golden::SectorLike, 0}, {"sectors", golden::SectorLike, 1}, {"sectors", golden::SectorLike, 2},
    {"sectors", golden::SectorLike, 3}, {"sectors", golden::SectorLike, 4}, {"sectors", golden::SectorLike, 5},
    {"far", golden::FarMatches, 1},     {"far", golden::FarMatches, 2},     {"far", golden::FarMatches, 4},
    {"skewed", golden::Skewed, 1},      {"skewed", golden::Skewed, 2},      {"skewed", golden::Skewed, 4},
    {"crowded", golden::CrowdedChains, 1}, {"crowded", golden::CrowdedChains, 2},
    {"crowded", golden::CrowdedChains, 3}, {"crowded", golden::CrowdedChains, 4},
};

class StoredContainer : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredContainer, CompressorWritesExactlyTheStoredBytes)
{
    const StoredCase& c = GetParam();
    Bytes stored = TempDir::ReadPath(StoredPath(c));
    ASSERT_FALSE(stored.empty()) << StoredPath(c);
    Bytes in = c.input();

    ::testing::internal::CaptureStdout();
    MemResult mem = CompressMem(in, c.level);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(mem.result, 0);
    EXPECT_EQ(Difference(mem.out, stored), "") << "memory to memory";

    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.bin", in);
    FileCompressor fc;
    fc.SetInPath(dir.Path("in.bin").c_str());
    fc.SetOutPath(dir.Path("out.qma").c_str());
    fc.SetLevel(c.level);
    ASSERT_EQ(fc.Compress(), 0);
    EXPECT_EQ(Difference(dir.Read("out.qma"), stored), "") << "file to file";
    EXPECT_EQ(fc.GetOutSize(), stored.size());
}

TEST_P(StoredContainer, DecompressorGivesTheInputBack)
{
    const StoredCase& c = GetParam();
    Bytes stored = TempDir::ReadPath(StoredPath(c));
    ASSERT_FALSE(stored.empty()) << StoredPath(c);
    Bytes in = c.input();

    MemResult mem = DecompressMem(stored, static_cast<u32>(in.size()));
    ASSERT_EQ(mem.result, 0);
    EXPECT_EQ(Difference(mem.out, in), "") << "memory to memory";

    FileDecompressor fd;
    fd.SetInPath(StoredPath(c).c_str());
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    fd.SetOutPath(dir.Path("out.bin").c_str());
    ASSERT_EQ(fd.Decompress(), 0);
    EXPECT_EQ(Difference(dir.Read("out.bin"), in), "") << "file to file";
    EXPECT_EQ(fd.GetOutSize(), in.size());
}

INSTANTIATE_TEST_SUITE_P(FileCoder, StoredContainer, ::testing::ValuesIn(kStoredCases), CaseName());

} // namespace
