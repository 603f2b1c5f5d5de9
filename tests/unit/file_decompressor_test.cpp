#include <gtest/gtest.h>

#include "case_names.h"

#include "compress_test_util.h"
#include "file_compressor.h"
#include "file_decompressor.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace ctest;

// ---- symbol mapping ----

TEST(FileDecompressorSymbols, ExtraBitCountsFollowTheTables)
{
    // (first symbol, last symbol, extra bits)
    const u32 lengths[][3] = {{256, 263, 0}, {264, 267, 1}, {268, 271, 2}, {272, 275, 3},
                              {276, 279, 4}, {280, 283, 5}, {284, 287, 6}};
    for (const auto& r : lengths) {
        for (u32 s = r[0]; s <= r[1]; s++) {
            EXPECT_EQ(LengthExtraBits(s), r[2]) << "length symbol " << s;
        }
    }
    const u32 distances[][3] = {{1, 3, 0}, {4, 5, 1}, {6, 7, 2}, {8, 9, 3}, {10, 11, 4}, {12, 13, 5},
                                {14, 15, 6}, {16, 17, 7}, {18, 19, 8}, {20, 21, 9}, {22, 23, 10},
                                {24, 25, 11}, {26, 27, 12}, {28, 29, 13}, {30, 31, 14}};
    for (const auto& r : distances) {
        for (u32 s = r[0]; s <= r[1]; s++) {
            EXPECT_EQ(DistanceExtraBits(s), r[2]) << "distance symbol " << s;
        }
    }
}

TEST(FileDecompressorSymbols, EveryLengthAndDistanceComesBack)
{
    for (u32 len = kMinMatch; len <= kMaxMatch; len++) {
        ExtraCoded e = LengthToSymbol(len);
        ASSERT_EQ(LengthExtraBits(e.symbol), e.extra_bits) << "length " << len;
        ASSERT_LT(e.extra, 1u << e.extra_bits) << "length " << len;
        ASSERT_EQ(MatchLength(e.symbol, e.extra), len);
    }
    for (u32 d = 1; d <= kMaxDistance; d++) {
        ExtraCoded e = DistanceToSymbol(d);
        ASSERT_EQ(DistanceExtraBits(e.symbol), e.extra_bits) << "distance " << d;
        ASSERT_LT(e.extra, 1u << e.extra_bits) << "distance " << d;
        ASSERT_EQ(MatchDistance(e.symbol, e.extra), d);
    }
    EXPECT_EQ(MatchLength(287, 63), 514u);
    EXPECT_EQ(MatchDistance(31, 16383), 65535u);
}

// ---- hand-built streams ----

struct StreamCase {
    const char* what;
    u32 size;
    std::vector<Tok> tokens;
    std::string expected;
};

void PrintTo(const StreamCase& c, std::ostream* os)
{
    *os << c.what;
}

const std::vector<StreamCase> kStreamCases = {
    {"empty", 0, {}, ""},
    {"one literal", 1, Lits("A"), "A"},
    // A distance shorter than the length repeats the recent bytes.
    {"overlapping copy", 8, Cat({Lits("ab"), {Len(259), Dist(2)}}), "abababab"},
    {"longest match at distance 1", 515, Cat({Lits("z"), {Len(287, "111111"), Dist(1)}}), std::string(515, 'z')},
    {"distance extra bit", 14, Cat({Lits("abcdefg"), {Len(260), Dist(5, "1")}}), "abcdefgabcdefg"},
    // Length symbol 264 + 1 = 12; distance symbol 7 + 11 = 8 + 3 + 4 = 15.
    {"length and distance extra bits", 28, Cat({Lits("0123456789ABCDEF"), {Len(264, "1"), Dist(7, "11")}}),
     "0123456789ABCDEF123456789ABC"},
    // Not what the encoder would write for this, but a valid stream all the same.
    {"literal after matches", 10, Cat({Lits("x"), {Len(256), Dist(1)}, Lits("y"), {Len(258), Dist(4, "1")}}),
     "xxxxyxxxxy"},
};

class HandStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(HandStream, DecodesInMemoryAndFromFile)
{
    const StreamCase& c = GetParam();
    Bytes container = Container(c.size, TokenBits(c.tokens));
    MemResult r = DecompressMem(container, c.size);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out, FromString(c.expected));

    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.qma", container);
    FileDecompressor d;
    d.SetInPath(dir.Path("in.qma").c_str());
    d.SetOutPath(dir.Path("out.bin").c_str());
    ASSERT_EQ(d.Decompress(), 0);
    EXPECT_EQ(dir.Read("out.bin"), FromString(c.expected));
    EXPECT_EQ(d.GetOutSize(), c.expected.size());
}

INSTANTIATE_TEST_SUITE_P(FileDecompressor, HandStream, ::testing::ValuesIn(kStreamCases), CaseName());

// ---- hostile input ----

// "abcabcabc": 37 bits, so 11 bits of padding in the third unit.
const std::string kAbcBits = TokenBits(Cat({Lits("abc"), {Len(259), Dist(3)}}));

Bytes WithoutLast(Bytes b, size_t n)
{
    b.resize(b.size() - n);
    return b;
}

Bytes WithByte(Bytes b, size_t i, u8 v)
{
    b[i] = v;
    return b;
}

Bytes Appended(Bytes b, const Bytes& tail)
{
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

struct HostileCase {
    const char* what;
    Bytes container;
    u32 capacity;        // memory output area
    int memory_result;
    int file_result;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.what;
}

const std::vector<HostileCase> kHostileCases = {
    {"no bytes at all", Bytes(), 16, 1, 1},
    {"header cut short", Bytes({'Q', 'U', 'M', 'A', 0, 0, 0}), 16, 1, 1},
    {"other magic", WithByte(Container(9, kAbcBits), 3, 'B'), 16, 1, 1},
    {"magic in lower case", Bytes({'q', 'u', 'm', 'a', 0, 0, 0, 0}), 16, 1, 1},
    {"header only, data stated", Container(5, ""), 5, 1, 1},
    {"last unit missing", WithoutLast(Container(9, kAbcBits), 2), 9, 1, 1},
    {"last byte missing", WithoutLast(Container(9, kAbcBits), 1), 9, 1, 1},
    // The zero padding itself reads as one literal (64), then the stream runs out.
    {"size stated longer than the stream", Container(14, kAbcBits), 14, 1, 1},
    {"size stated shorter, cutting a match", Container(8, kAbcBits), 8, 1, 1},
    {"size stated shorter, at a symbol boundary", Container(3, kAbcBits), 3, 1, 1},
    {"a unit after the end", Appended(Container(9, kAbcBits), Bytes({0, 0})), 9, 1, 1},
    {"padding bits not zero", Container(9, kAbcBits + "00000000001"), 9, 1, 1},
    {"distance before the start", Container(4, TokenBits(Cat({Lits("a"), {Len(256), Dist(2)}}))), 4, 1, 1},
    {"match first", Container(3, TokenBits({Len(256), Dist(1)})), 3, 1, 1},
    {"distance symbol 0", Container(4, TokenBits(Cat({Lits("a"), {Len(256), Dist(0)}}))), 4, 1, 1},
    {"match past the stated size", Container(3, TokenBits(Cat({Lits("a"), {Len(256), Dist(1)}}))), 3, 1, 1},
    {"longest match past the stated size", Container(500, TokenBits(Cat({Lits("z"), {Len(287, "111111"), Dist(1)}}))),
     500, 1, 1},
    // The memory area cannot take 4 GiB; a file can, but the stream ends after one byte.
    {"size of 4 GiB - 1", Container(0xFFFFFFFF, TokenBits(Lits("A"))), 64, 3, 1},
};

class HostileStream : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileStream, FailsCleanlyInMemory)
{
    const HostileCase& c = GetParam();
    MemResult r = DecompressMem(c.container, c.capacity);
    EXPECT_EQ(r.result, c.memory_result);
    EXPECT_TRUE(r.out.empty());
}

TEST_P(HostileStream, FailsCleanlyFromFileLeavingAnEmptyOutput)
{
    const HostileCase& c = GetParam();
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.qma", c.container);
    FileDecompressor d;
    d.SetInPath(dir.Path("in.qma").c_str());
    d.SetOutPath(dir.Path("out.bin").c_str());
    EXPECT_EQ(d.Decompress(), c.file_result);
    EXPECT_TRUE(dir.Exists("out.bin"));
    EXPECT_TRUE(dir.Read("out.bin").empty());
    EXPECT_EQ(d.GetOutSize(), 0u);
}

INSTANTIATE_TEST_SUITE_P(FileDecompressor, HostileStream, ::testing::ValuesIn(kHostileCases), CaseName());

// Damaged copies of a real container: every outcome is 0 with exactly the stated size, or 1.
TEST(FileDecompressorHostile, DamagedContainersNeverOverrun)
{
    Bytes text = Text(1500, 21);
    Bytes base = CompressMem(Appended(text, text), 2).out;
    ASSERT_GT(base.size(), 16u);
    std::mt19937 rng(99);
    int failures = 0;
    for (int i = 0; i < 300; i++) {
        Bytes bad = base;
        switch (i % 4) {
        case 0:
            bad[8 + rng() % (bad.size() - 8)] ^= static_cast<u8>(1u << (rng() % 8));
            break;
        case 1:
            bad.resize(8 + rng() % (bad.size() - 8));
            break;
        case 2: {
            u32 size = rng() % 4000;
            bad[4] = 0;
            bad[5] = 0;
            bad[6] = static_cast<u8>(size >> 8);
            bad[7] = static_cast<u8>(size);
            break;
        }
        default:
            for (size_t k = 8; k < bad.size(); k++) {
                bad[k] = static_cast<u8>(rng());
            }
            break;
        }
        u32 stated = (static_cast<u32>(bad[6]) << 8) | bad[7];
        MemResult r = DecompressMem(bad, stated);
        ASSERT_TRUE(r.result == 0 || r.result == 1) << "mutant " << i;
        if (r.result == 0) {
            EXPECT_EQ(r.out.size(), stated) << "mutant " << i;
        } else {
            failures++;
        }
    }
    EXPECT_GT(failures, 0);
}

// ---- results ----

struct ResultCase {
    const char* cause;
    // Sets up a fresh decompressor inside dir, where "in.qma" holds a container of 3000 bytes.
    std::function<void(FileDecompressor*, const TempDir&, Bytes* in, Bytes* area)> setup;
    int expected;
};

void PrintTo(const ResultCase& c, std::ostream* os)
{
    *os << c.cause;
}

const std::vector<ResultCase> kResultCases = {
    {"input file missing",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         d->SetInPath(dir.Path("missing.qma").c_str());
         d->SetOutPath(dir.Path("out.bin").c_str());
     },
     2},
    {"input path too long is not cut to an existing name",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         std::string p = PathOf260(dir);
         dir.Write(p.substr(dir.Path("").size()), dir.Read("in.qma"));
         d->SetInPath((p + "x").c_str());
         d->SetOutPath(dir.Path("out.bin").c_str());
     },
     2},
    {"memory input without an area",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         d->SetInMemory(1);
         d->SetInData(nullptr, 100);
         d->SetOutPath(dir.Path("out.bin").c_str());
     },
     2},
    {"output directory missing",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         d->SetInPath(dir.Path("in.qma").c_str());
         d->SetOutPath(dir.Path("no/out.bin").c_str());
     },
     3},
    {"output path too long",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         d->SetInPath(dir.Path("in.qma").c_str());
         d->SetOutPath((PathOf260(dir) + "x").c_str());
     },
     3},
    {"memory output one byte short",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes* area) {
         d->SetInPath(dir.Path("in.qma").c_str());
         d->SetOutMemory(1);
         area->resize(2999);
         d->SetOutData(area->data(), 2999);
     },
     3},
    {"output device full",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         d->SetInPath(dir.Path("in.qma").c_str());
         d->SetOutPath("/dev/full");
     },
     3},
    {"memory to memory",
     [](FileDecompressor* d, const TempDir& dir, Bytes* in, Bytes* area) {
         *in = dir.Read("in.qma");
         d->SetInMemory(1);
         d->SetInData(in->data(), static_cast<u32>(in->size()));
         d->SetOutMemory(1);
         area->resize(3000);
         d->SetOutData(area->data(), 3000);
     },
     0},
    {"file to file",
     [](FileDecompressor* d, const TempDir& dir, Bytes*, Bytes*) {
         d->SetInPath(dir.Path("in.qma").c_str());
         d->SetOutPath(dir.Path("out.bin").c_str());
     },
     0},
};

class DecompressResult : public ::testing::TestWithParam<ResultCase> {};

TEST_P(DecompressResult, ByCause)
{
    const ResultCase& rc = GetParam();
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    Bytes plain = Text(3000, 5);
    dir.Write("in.qma", CompressMem(plain, 2).out);
    Bytes in;
    Bytes area;
    FileDecompressor d;
    rc.setup(&d, dir, &in, &area);
    EXPECT_EQ(d.Decompress(), rc.expected);
    if (rc.expected == 0) {
        EXPECT_EQ(d.GetOutSize(), 3000u);
        EXPECT_TRUE((area.empty() ? dir.Read("out.bin") : area) == plain);
    } else {
        EXPECT_EQ(d.GetOutSize(), 0u);
    }
    if (rc.expected == 2) {
        EXPECT_FALSE(dir.Exists("out.bin"));
    }
}

INSTANTIATE_TEST_SUITE_P(FileDecompressor, DecompressResult, ::testing::ValuesIn(kResultCases), CaseName());

TEST(FileDecompressorResult, EachFailedAllocationGivesFiveAndAnEmptyOutput)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.qma", CompressMem(Text(3000, 6), 2).out);
    int result = 5;
    int failing_points = 0;
    for (int n = 1; result == 5 && n < 100; n++) {
        FileDecompressor d;
        d.SetInPath(dir.Path("in.qma").c_str());
        d.SetOutPath(dir.Path("out.bin").c_str());
        fail_nothrow_array_new_at = n;
        result = d.Decompress();
        fail_nothrow_array_new_at = 0;
        if (result == 5) {
            failing_points++;
            EXPECT_TRUE(dir.Exists("out.bin"));
            EXPECT_TRUE(dir.Read("out.bin").empty()) << "allocation " << n;
        }
    }
    EXPECT_EQ(result, 0);
    EXPECT_GT(failing_points, 0);
}

TEST(FileDecompressorProgress, CalledEvery4098SymbolsWithReadWrittenAndPercent)
{
    Bytes plain = NoRepeats();
    Bytes container = CompressMem(plain, 2).out;
    struct Call {
        u32 read, written, percent;
    };
    std::vector<Call> calls;
    Bytes area(plain.size());
    FileDecompressor d;
    d.SetInMemory(1);
    d.SetOutMemory(1);
    d.SetInData(container.data(), static_cast<u32>(container.size()));
    d.SetOutData(area.data(), static_cast<u32>(area.size()));
    d.SetProgress([&calls](u32 read, u32 written, u32 percent) {
        calls.push_back(Call{read, written, percent});
        return 1;
    });
    ASSERT_EQ(d.Decompress(), 0);
    EXPECT_TRUE(area == plain);
    // One literal per symbol, so the output grows by exactly one step count between calls.
    ASSERT_GE(calls.size(), 7u);
    for (size_t i = 0; i < calls.size(); i++) {
        EXPECT_EQ(calls[i].percent, static_cast<u64>(calls[i].written) * 100 / plain.size());
        EXPECT_LE(calls[i].read, container.size());
        if (i > 0) {
            EXPECT_EQ(calls[i].written - calls[i - 1].written, 4098u);
            EXPECT_GT(calls[i].read, calls[i - 1].read);
        }
    }
}

TEST(FileDecompressorProgress, ZeroFromTheCallbackStopsWithFourAndNoOutput)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.qma", CompressMem(NoRepeats(), 2).out);
    FileDecompressor d;
    d.SetInPath(dir.Path("in.qma").c_str());
    d.SetOutPath(dir.Path("out.bin").c_str());
    int calls = 0;
    d.SetProgress([&calls](u32, u32, u32) {
        calls++;
        return 0;
    });
    EXPECT_EQ(d.Decompress(), 4);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(dir.Exists("out.bin"));
    EXPECT_TRUE(dir.Read("out.bin").empty());
}

// ---- the stored container and the header query ----

// The stored container was made by an independent implementation of the format; its input
// runs past the 48th rebuild of both alphabets.
TEST(FileDecompressorFixture, StoredContainerDecodes)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string data = std::string(ZV_TEST_DATA_DIR) + "/compress/";
    FileDecompressor d;
    d.SetInPath((data + "mixed_level4.qma").c_str());
    d.SetOutPath(dir.Path("mixed.bin").c_str());
    ASSERT_EQ(d.Decompress(), 0);
    Bytes expected = TempDir::ReadPath(data + "mixed.bin");
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(dir.Read("mixed.bin") == expected);
}

TEST(FileDecompressorHeader, OrigSizeFromTheHeader)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    struct Case {
        const char* what;
        Bytes file;  // empty: no file at all
        u32 expected;
    };
    const Case cases[] = {
        {"container", Container(0x01020304, ""), 0x01020304},
        {"empty container", Container(0, ""), 0},
        {"other magic", Bytes({'Q', 'U', 'M', 'B', 0, 0, 0, 9}), 0},
        {"header cut short", Bytes({'Q', 'U', 'M', 'A', 0, 0, 9}), 0},
        {"no file", Bytes(), 0},
    };
    for (const Case& c : cases) {
        std::string name = std::string("h") + std::to_string(&c - cases) + ".qma";
        if (!c.file.empty()) {
            dir.Write(name, c.file);
        }
        FileDecompressor d;
        d.SetInPath(dir.Path(name).c_str());
        EXPECT_EQ(d.GetOrigSize(), c.expected) << c.what;
        FileDecompressor m;
        m.SetInMemory(1);
        m.SetInData(c.file.data(), static_cast<u32>(c.file.size()));
        EXPECT_EQ(m.GetOrigSize(), c.expected) << c.what << " in memory";
    }
}

} // namespace
