#include <gtest/gtest.h>

#include "case_names.h"

#include "compress_test_util.h"
#include "file_compressor.h"
#include "file_decompressor.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

int fail_nothrow_array_new_at = 0;

void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    if (fail_nothrow_array_new_at > 0 && --fail_nothrow_array_new_at == 0) {
        return nullptr;
    }
    try {
        return ::operator new[](n);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using namespace ctest;

struct GoldenCase {
    const char* what;
    std::string input;
    u32 level;
    std::vector<Tok> tokens;
};

void PrintTo(const GoldenCase& c, std::ostream* os)
{
    *os << c.what << " (level " << c.level << ")";
}

// Four blocks "abcN" between two copies of "abcdefgh": the chain of "abc" then holds
// five positions, one more than level 1 keeps.
const char kFourRepeats[] = "abcdefghabc1abc2abc3abc4abcdefgh";
const char kThreeRepeats[] = "abcdefghabc1abc2abc3abcdefgh";
const char kNewerShorter[] = "abcdefabcXabcdef";

const std::vector<GoldenCase> kGoldenCases = {
    {"empty input: the header alone", "", 2, {}},
    {"one byte", "A", 2, Lits("A")},
    {"four bytes are literals only", "abcd", 2, Lits("abcd")},
    // At 3 the match with 0 runs to the end (6); 4 beats nothing.
    {"match running to the end", "abcabcabc", 2, Cat({Lits("abc"), {Len(259), Dist(3)}})},
    // v = 16: symbol 268, two extra bits 00; distance 1.
    {"run with length extra bits", std::string(20, 'x'), 2, Cat({Lits("x"), {Len(268, "00"), Dist(1)}})},
    // Distance 7: symbol 5, extra bit 1.
    {"distance extra bit", "abcdefgabcdefg", 2, Cat({Lits("abcdefg"), {Len(260), Dist(5, "1")}})},
    // At 10 "abc" (3) loses to "bcdef" (5) at 11: a literal, then the longer match, distance 7.
    {"lazy match", "abcZbcdefYabcdefW", 2, Cat({Lits("abcZbcdefYa"), {Len(258), Dist(5, "1")}, Lits("W")})},
    // 514 (symbol 287, extra 111111), then 485 (v = 482: symbol 287, extra 100010).
    {"1000 equal bytes", std::string(1000, 'z'), 2,
     Cat({Lits("z"), {Len(287, "111111"), Dist(1), Len(287, "100010"), Dist(1)}})},
    // Chain cap 1 remembers only "abcX" at 6: 3 at distance 4, beaten at 11 by 5 at distance 10.
    {"chain cap 1 keeps the newest position", kNewerShorter, 0,
     Cat({Lits("abcdef"), {Len(256), Dist(5, "0")}, Lits("Xa"), {Len(258), Dist(6, "10")}})},
    {"chain cap 1 keeps the newest position", kNewerShorter, 6,
     Cat({Lits("abcdef"), {Len(256), Dist(5, "0")}, Lits("Xa"), {Len(258), Dist(6, "10")}})},
    {"chain cap 1 keeps the newest position", kNewerShorter, 255,
     Cat({Lits("abcdef"), {Len(256), Dist(5, "0")}, Lits("Xa"), {Len(258), Dist(6, "10")}})},
    {"longer chains find the older, longer match", kNewerShorter, 2,
     Cat({Lits("abcdef"), {Len(256), Dist(5, "0")}, Lits("X"), {Len(259), Dist(6, "10")}})},
    // Distances 8 (symbol 6, extra 00), 4 (symbol 4, extra 0), 20 (symbol 8, extra 100).
    {"chain cap 4 still holds the fourth newest", kThreeRepeats, 1,
     Cat({Lits("abcdefgh"), {Len(256), Dist(6, "00")}, Lits("1"), {Len(256), Dist(4, "0")}, Lits("2"),
          {Len(256), Dist(4, "0")}, Lits("3"), {Len(261), Dist(8, "100")}})},
    // The fifth insertion drops position 0; what is left is "bcdefgh" at 25, distance 24
    // (symbol 9, extra 000).
    {"chain cap 4 drops the oldest", kFourRepeats, 1,
     Cat({Lits("abcdefgh"), {Len(256), Dist(6, "00")}, Lits("1"), {Len(256), Dist(4, "0")}, Lits("2"),
          {Len(256), Dist(4, "0")}, Lits("3"), {Len(256), Dist(4, "0")}, Lits("4a"), {Len(260), Dist(9, "000")}})},
    {"chain cap 16 keeps all five", kFourRepeats, 2,
     Cat({Lits("abcdefgh"), {Len(256), Dist(6, "00")}, Lits("1"), {Len(256), Dist(4, "0")}, Lits("2"),
          {Len(256), Dist(4, "0")}, Lits("3"), {Len(256), Dist(4, "0")}, Lits("4"), {Len(261), Dist(9, "000")}})},
    {"chain cap 65535 keeps all five", kFourRepeats, 5,
     Cat({Lits("abcdefgh"), {Len(256), Dist(6, "00")}, Lits("1"), {Len(256), Dist(4, "0")}, Lits("2"),
          {Len(256), Dist(4, "0")}, Lits("3"), {Len(256), Dist(4, "0")}, Lits("4"), {Len(261), Dist(9, "000")}})},
};

class GoldenStream : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenStream, CompressesToTheHandDerivedBits)
{
    const GoldenCase& c = GetParam();
    Bytes in = FromString(c.input);
    Bytes expected = Container(static_cast<u32>(in.size()), TokenBits(c.tokens));
    MemResult r = CompressMem(in, c.level);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out, expected);
    MemResult back = DecompressMem(r.out, static_cast<u32>(in.size()));
    EXPECT_EQ(back.result, 0);
    EXPECT_EQ(back.out, in);
}

INSTANTIATE_TEST_SUITE_P(FileCompressor, GoldenStream, ::testing::ValuesIn(kGoldenCases), CaseName());

TEST(FileCompressorGolden, EmptyInputIsTheEightByteHeader)
{
    MemResult r = CompressMem(Bytes(), 2);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out, Bytes({'Q', 'U', 'M', 'A', 0, 0, 0, 0}));
}

// Bytes 0..79 repeat no pair, so all 80 are literals. After the 72nd the code is rebuilt
// from counts 2 (leaves 0-71) and 1 (72-287): the 216 ones pair first (72+73 -> 288, ...,
// 78+79 -> 291), then the 180 twos in index order, leaves before nodes (288+289 -> 432,
// 290+291 -> 433, 432+433 -> 504), and so on up: 504 -> 540 -> 558 -> 567 (bit 0 each
// time, 567 = 558+559), 567 is child 1 of 571 = 566+567, 571 child 1 of 573 = 570+571,
// 573 child 1 of the root = 572+573. Symbols 72..79 are thus "111000" and three bits.
TEST(FileCompressorGolden, FirstRebuildAfterSeventyTwoSymbols)
{
    Bytes in;
    std::string bits;
    for (u32 b = 0; b < 80; b++) {
        in.push_back(static_cast<u8>(b));
        bits += b < 72 ? InitialLitLenCode(b) : "111000" + Bin(b - 72, 3);
    }
    MemResult r = CompressMem(in, 2);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out, Container(80, bits));
}

// ---- symbol mapping ----

struct SymbolCase {
    u32 value;
    u32 symbol;
    u32 extra_bits;
    u32 extra;
};

TEST(FileCompressorSymbols, LengthsFollowTheLengthTable)
{
    const SymbolCase cases[] = {
        {3, 256, 0, 0},     {10, 263, 0, 0},    {11, 264, 1, 0},    {12, 264, 1, 1},   {18, 267, 1, 1},
        {19, 268, 2, 0},    {34, 271, 2, 3},    {35, 272, 3, 0},    {66, 275, 3, 7},   {67, 276, 4, 0},
        {130, 279, 4, 15},  {131, 280, 5, 0},   {258, 283, 5, 31},  {259, 284, 6, 0},  {300, 284, 6, 41},
        {322, 284, 6, 63},  {323, 285, 6, 0},   {513, 287, 6, 62},  {514, 287, 6, 63},
    };
    for (const SymbolCase& c : cases) {
        ExtraCoded e = LengthToSymbol(c.value);
        EXPECT_EQ(e.symbol, c.symbol) << "length " << c.value;
        EXPECT_EQ(e.extra_bits, c.extra_bits) << "length " << c.value;
        EXPECT_EQ(e.extra, c.extra) << "length " << c.value;
    }
}

TEST(FileCompressorSymbols, DistancesFollowTheDistanceTable)
{
    const SymbolCase cases[] = {
        {1, 1, 0, 0},        {2, 2, 0, 0},         {3, 3, 0, 0},          {4, 4, 1, 0},
        {5, 4, 1, 1},        {6, 5, 1, 0},         {7, 5, 1, 1},          {8, 6, 2, 0},
        {11, 6, 2, 3},       {12, 7, 2, 0},        {15, 7, 2, 3},         {16, 8, 3, 0},
        {1024, 20, 9, 0},    {1535, 20, 9, 511},   {1536, 21, 9, 0},      {32767, 29, 13, 8191},
        {32768, 30, 14, 0},  {49151, 30, 14, 16383}, {49152, 31, 14, 0},  {65535, 31, 14, 16383},
    };
    for (const SymbolCase& c : cases) {
        ExtraCoded e = DistanceToSymbol(c.value);
        EXPECT_EQ(e.symbol, c.symbol) << "distance " << c.value;
        EXPECT_EQ(e.extra_bits, c.extra_bits) << "distance " << c.value;
        EXPECT_EQ(e.extra, c.extra) << "distance " << c.value;
    }
}

// ---- code construction and schedule ----

struct CoderStore {
    explicit CoderStore(u32 leaves, u32 period = kLitLenRebuildPeriod, bool report = true)
        : nodes(2 * leaves - 1), codes(leaves)
    {
        AttachHuffmanCoder(&coder, nodes.data(), codes.data(), leaves, period, report);
    }
    std::vector<HuffNode> nodes;
    std::vector<HuffCode> codes;
    HuffmanCoder coder;
};

std::string CodeString(const HuffCode& c)
{
    return Bin(c.bits, c.length);
}

TEST(FileCompressorCode, InitialCodesOfBothAlphabets)
{
    CoderStore lit(kLitLenSymbols);
    StartHuffmanCoder(&lit.coder);
    for (u32 s = 0; s < kLitLenSymbols; s++) {
        EXPECT_EQ(CodeString(lit.codes[s]), InitialLitLenCode(s)) << "symbol " << s;
    }
    CoderStore dist(kDistSymbols, kDistRebuildPeriod);
    StartHuffmanCoder(&dist.coder);
    for (u32 s = 0; s < kDistSymbols; s++) {
        EXPECT_EQ(CodeString(dist.codes[s]), Bin(s, 5)) << "symbol " << s;
    }
}

struct LongCodeCase {
    u32 leaves;                      // counts 2^0 .. 2^(leaves-1): a pure chain
    u32 notices;                     // times the counts had to be scaled
    std::vector<u32> counts_after;   // leaf counts after the build
    std::vector<u32> lengths;        // code length per leaf
};

void PrintTo(const LongCodeCase& c, std::ostream* os)
{
    *os << c.leaves << " leaves";
}

class LongCode : public ::testing::TestWithParam<LongCodeCase> {};

// 17 leaves: leaves 0 and 1 sit 16 deep, which is allowed. 18 leaves: 17 deep; c / 4 + 1
// gives 1,1,2,3,5,9,...,32769, still 17 deep (2+2 -> 4, 3+4, 5+7, 9+12, ...); again
// 1,1,1,1,2,3,5,9,...,8193 gives depth 14: leaves 0-3 at 14, 4-5 at 13, 6-7 at 12, then 10 down to 1.
const std::vector<LongCodeCase> kLongCodeCases = {
    {17, 0,
     {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536},
     {16, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
    {18, 2,
     {1, 1, 1, 1, 2, 3, 5, 9, 17, 33, 65, 129, 257, 513, 1025, 2049, 4097, 8193},
     {14, 14, 14, 14, 13, 13, 12, 12, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
};

TEST_P(LongCode, CountsAreScaledUntilNoCodeExceedsSixteenBits)
{
    const LongCodeCase& c = GetParam();
    CoderStore store(c.leaves);
    for (u32 i = 0; i < c.leaves; i++) {
        store.nodes[i].count = 1u << i;
    }
    ::testing::internal::CaptureStdout();
    BuildHuffmanCode(&store.coder, false);
    std::string printed = ::testing::internal::GetCapturedStdout();
    std::string expected;
    for (u32 i = 0; i < c.notices; i++) {
        expected += "\n\nDamnit - huffman code too long\n";
    }
    EXPECT_EQ(printed, expected);
    for (u32 i = 0; i < c.leaves; i++) {
        EXPECT_EQ(store.nodes[i].count, c.counts_after[i]) << "leaf " << i;
        EXPECT_EQ(store.codes[i].length, c.lengths[i]) << "leaf " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(FileCompressor, LongCode, ::testing::ValuesIn(kLongCodeCases), CaseName());

// The construction done the plain way, as a model: for each new node a scan of all active
// nodes for the two smallest counts, the lower index first among equals; leaves deeper
// than 16 scale the counts and the build starts again.
struct ModelCode {
    std::vector<u32> counts_after;
    std::vector<std::string> codes;
    u32 notices = 0;
};

ModelCode ModelBuild(std::vector<u32> counts, bool halving)
{
    const u32 leaves = static_cast<u32>(counts.size());
    const u32 total = 2 * leaves - 1;
    ModelCode m;
    std::vector<u32> parent;
    std::vector<char> bit;
    for (;;) {
        std::vector<u32> count(counts);
        count.resize(total);
        std::vector<bool> active(total, false);
        parent.assign(total, total);
        bit.assign(total, '0');
        for (u32 i = 0; i < leaves; i++) {
            active[i] = true;
        }
        for (u32 k = leaves; k < total; k++) {
            u32 pick[2];
            for (u32& chosen : pick) {
                chosen = total;
                for (u32 i = 0; i < k; i++) {
                    if (active[i] && (chosen == total || count[i] < count[chosen])) {
                        chosen = i;
                    }
                }
                active[chosen] = false;
            }
            count[k] = count[pick[0]] + count[pick[1]];
            active[k] = true;
            parent[pick[0]] = k;
            parent[pick[1]] = k;
            bit[pick[1]] = '1';
        }
        u32 deepest = 0;
        for (u32 i = 0; i < leaves; i++) {
            u32 depth = 0;
            for (u32 n = i; parent[n] != total; n = parent[n]) {
                depth++;
            }
            deepest = std::max(deepest, depth);
        }
        if (deepest <= kMaxCodeLength) {
            break;
        }
        m.notices++;
        for (u32& c : counts) {
            c = c / 4 + 1;
        }
    }
    for (u32 i = 0; i < leaves; i++) {
        std::string code;
        for (u32 n = i; parent[n] != total; n = parent[n]) {
            code.insert(code.begin(), bit[n]);
        }
        m.codes.push_back(code);
    }
    for (u32& c : counts) {
        c = halving ? (c >> 1) + 1 : c;
    }
    m.counts_after = counts;
    return m;
}

struct ModelCase {
    const char* what;
    std::vector<u32> counts;
};

void PrintTo(const ModelCase& c, std::ostream* os)
{
    *os << c.what;
}

std::vector<u32> Counts(u32 leaves, u32 seed, u32 modulus)
{
    std::mt19937 rng(seed);
    std::vector<u32> c(leaves);
    for (u32& x : c) {
        x = 1 + rng() % modulus;
    }
    return c;
}

// Counts whose pairs tie with merged nodes again and again, and ones deep enough to be scaled.
std::vector<u32> Fibonacci(u32 leaves, u32 rest)
{
    std::vector<u32> c(leaves, rest);
    u32 a = 1;
    u32 b = 1;
    for (u32 i = 0; i < leaves && i < 30; i++) {
        c[i * 7 % leaves] = a;
        u32 next = a + b;
        a = b;
        b = next;
    }
    return c;
}

const std::vector<ModelCase> kModelCases = {
    {"all equal, literal/length", std::vector<u32>(kLitLenSymbols, 1)},
    {"all equal, distance", std::vector<u32>(kDistSymbols, 5)},
    {"few values, many ties", Counts(kLitLenSymbols, 1, 3)},
    {"small counts", Counts(kLitLenSymbols, 2, 40)},
    {"spread counts", Counts(kLitLenSymbols, 3, 5000)},
    {"distance counts", Counts(kDistSymbols, 4, 300)},
    {"Fibonacci among ones, scaled", Fibonacci(kLitLenSymbols, 1)},
    {"Fibonacci among twos", Fibonacci(kLitLenSymbols, 2)},
    {"Fibonacci distances", Fibonacci(kDistSymbols, 1)},
};

class CodeModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(CodeModel, BuildGivesTheModelsCodesCountsAndNotices)
{
    const ModelCase& c = GetParam();
    const u32 leaves = static_cast<u32>(c.counts.size());
    for (bool halving : {false, true}) {
        ModelCode model = ModelBuild(c.counts, halving);
        CoderStore store(leaves);
        for (u32 i = 0; i < leaves; i++) {
            store.nodes[i].count = c.counts[i];
        }
        ::testing::internal::CaptureStdout();
        BuildHuffmanCode(&store.coder, halving);
        std::string printed = ::testing::internal::GetCapturedStdout();
        std::string notices;
        for (u32 i = 0; i < model.notices; i++) {
            notices += "\n\nDamnit - huffman code too long\n";
        }
        EXPECT_EQ(printed, notices) << "halving " << halving;
        for (u32 i = 0; i < leaves; i++) {
            ASSERT_EQ(CodeString(store.codes[i]), model.codes[i]) << "leaf " << i << ", halving " << halving;
            ASSERT_EQ(store.nodes[i].count, model.counts_after[i]) << "leaf " << i << ", halving " << halving;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FileCompressor, CodeModel, ::testing::ValuesIn(kModelCases), CaseName());

TEST(FileCompressorCode, DecoderSideBuildsQuietly)
{
    CoderStore store(18, kLitLenRebuildPeriod, false);
    for (u32 i = 0; i < 18; i++) {
        store.nodes[i].count = 1u << i;
    }
    ::testing::internal::CaptureStdout();
    BuildHuffmanCode(&store.coder, false);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(store.codes[0].length, 14);
}

struct ScheduleCase {
    u32 leaves;
    u32 period;
};

void PrintTo(const ScheduleCase& c, std::ostream* os)
{
    *os << c.leaves << " symbols";
}

class RebuildSchedule : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(RebuildSchedule, FortySevenPlainRebuildsThenHalvingOnes)
{
    const ScheduleCase& c = GetParam();
    CoderStore store(c.leaves, c.period);
    StartHuffmanCoder(&store.coder);
    const u32 long_period = 48 * c.period;
    // (symbols counted, rebuilds so far, halving, countdown)
    struct Point {
        u32 symbols, rebuilds, halving, countdown;
    };
    const Point points[] = {
        {0, 0, 0, c.period},
        {c.period - 1, 0, 0, 1},
        {c.period, 1, 0, c.period},
        {47 * c.period, 47, 0, c.period},
        {long_period - 1, 47, 0, 1},
        {long_period, 48, 1, long_period},
        {2 * long_period - 1, 48, 1, 1},
        {2 * long_period, 49, 1, long_period},
    };
    u32 counted = 0;
    for (const Point& p : points) {
        for (; counted < p.symbols; counted++) {
            CountHuffmanSymbol(&store.coder, counted % 7);
        }
        EXPECT_EQ(store.coder.rebuilds, p.rebuilds) << "after " << p.symbols;
        EXPECT_EQ(store.coder.halving, p.halving) << "after " << p.symbols;
        EXPECT_EQ(store.coder.countdown, p.countdown) << "after " << p.symbols;
    }
}

// The 48th rebuild makes its codes from the full counts and only then halves them.
TEST_P(RebuildSchedule, HalvingBuildCodesFirstThenHalvesCounts)
{
    const ScheduleCase& c = GetParam();
    CoderStore store(c.leaves, c.period);
    StartHuffmanCoder(&store.coder);
    const u32 long_period = 48 * c.period;
    std::mt19937 rng(11);
    for (u32 i = 0; i + 1 < long_period; i++) {
        CountHuffmanSymbol(&store.coder, rng() % 11 == 0 ? rng() % c.leaves : rng() % 5);
    }
    CoderStore plain(c.leaves, c.period);
    plain.nodes = store.nodes;
    plain.nodes[3].count++;
    BuildHuffmanCode(&plain.coder, false);
    CountHuffmanSymbol(&store.coder, 3);
    ASSERT_EQ(store.coder.rebuilds, 48u);
    for (u32 s = 0; s < c.leaves; s++) {
        EXPECT_EQ(CodeString(store.codes[s]), CodeString(plain.codes[s])) << "symbol " << s;
        EXPECT_EQ(store.nodes[s].count, (plain.nodes[s].count >> 1) + 1) << "symbol " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(FileCompressor, RebuildSchedule,
                         ::testing::Values(ScheduleCase{kLitLenSymbols, kLitLenRebuildPeriod},
                                           ScheduleCase{kDistSymbols, kDistRebuildPeriod}),
                         CaseName());

// ---- levels ----

TEST(FileCompressorLevel, ChainCapByLevel)
{
    const u32 caps[][2] = {{0, 1}, {1, 4}, {2, 16}, {3, 64}, {4, 4096}, {5, 65535}, {6, 1}, {255, 1}, {0xFFFFFFFF, 1}};
    FileCompressor c;
    EXPECT_EQ(c.GetChainCap(), 16u);
    for (const auto& lc : caps) {
        c.SetLevel(lc[0]);
        EXPECT_EQ(c.GetChainCap(), lc[1]) << "level " << lc[0];
    }
    c.Init();
    EXPECT_EQ(c.GetChainCap(), 16u);
}

// ---- round trips ----

Bytes Mixed(size_t n, u32 seed)
{
    Bytes out;
    u32 round = 0;
    while (out.size() < n) {
        Bytes piece;
        switch (round++ % 4) {
        case 0: piece = Text(9000, seed + round); break;
        case 1: piece = RandomBytes(3000, seed + round); break;
        case 2: piece = Bytes(700 + round * 13, static_cast<u8>(round)); break;
        default: piece = Bytes(out.end() - (out.size() > 5000 ? 5000 : out.size()), out.end()); break;
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(n);
    return out;
}

Bytes Run(size_t n)
{
    Bytes b = FromString("<");
    b.insert(b.end(), n, 'r');
    b.push_back('>');
    return b;
}

struct RoundTripCase {
    const char* what;
    Bytes input;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.what << " (" << c.input.size() << " bytes)";
}

const std::vector<RoundTripCase> kRoundTripCases = {
    {"empty", Bytes()},
    {"one byte", Bytes{0xA5}},
    {"two bytes", Bytes{0, 0xFF}},
    {"three equal bytes", Bytes{7, 7, 7}},
    {"four bytes", Bytes{1, 2, 1, 2}},
    {"five equal bytes", Bytes(5, 9)},
    {"run below the longest match", Run(512)},
    {"run of the longest match", Run(514)},
    {"run one past the longest match", Run(515)},
    {"run of the lookahead", Run(517)},
    {"run past the lookahead", Run(518)},
    {"long run", Run(100000)},
    {"random", RandomBytes(10000, 1)},
    {"text", Text(20000, 2)},
    {"literals only, past the first halving", NoRepeats()},
    {"mixed, 128 KiB less one", Mixed(131071, 3)},
    {"mixed, 128 KiB", Mixed(131072, 4)},
    {"mixed, 128 KiB and one", Mixed(131073, 5)},
    {"mixed, well over 128 KiB", Mixed(300000, 6)},
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, DecodesToTheInput)
{
    const Bytes& in = GetParam().input;
    MemResult c = CompressMem(in, 2);
    ASSERT_EQ(c.result, 0);
    ASSERT_GE(c.out.size(), 8u);
    EXPECT_EQ(Bytes(c.out.begin(), c.out.begin() + 8),
              Bytes({'Q', 'U', 'M', 'A', static_cast<u8>(in.size() >> 24), static_cast<u8>(in.size() >> 16),
                     static_cast<u8>(in.size() >> 8), static_cast<u8>(in.size())}));
    EXPECT_EQ((c.out.size() - 8) % 2, 0u);
    MemResult d = DecompressMem(c.out, static_cast<u32>(in.size()));
    ASSERT_EQ(d.result, 0);
    EXPECT_TRUE(d.out == in);
}

INSTANTIATE_TEST_SUITE_P(FileCompressor, RoundTrip, ::testing::ValuesIn(kRoundTripCases), CaseName());

TEST(FileCompressorRoundTrip, EveryLevelFileToFile)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    Bytes in = Mixed(40000, 9);
    dir.Write("in.bin", in);
    std::vector<Bytes> containers;
    for (u32 level = 0; level <= 5; level++) {
        FileCompressor c;
        c.SetInMemory(0);
        c.SetOutMemory(0);
        c.SetInPath(dir.Path("in.bin").c_str());
        c.SetOutPath(dir.Path("out.qma").c_str());
        c.SetLevel(level);
        ASSERT_EQ(c.Compress(), 0) << "level " << level;
        containers.push_back(dir.Read("out.qma"));
        EXPECT_EQ(c.GetOutSize(), containers.back().size());
        FileDecompressor d;
        d.SetInPath(dir.Path("out.qma").c_str());
        d.SetOutPath(dir.Path("back.bin").c_str());
        ASSERT_EQ(d.Decompress(), 0) << "level " << level;
        EXPECT_TRUE(dir.Read("back.bin") == in) << "level " << level;
    }
    EXPECT_NE(containers[1], containers[5]);
    EXPECT_EQ(containers[1], CompressMem(in, 1).out);
}

// Files longer than the coders' file buffers: the compressor's input buffer slides, and the
// decompressor refills its input and writes its output out in parts. Memory areas are read
// and written whole, so the files must give the same container and the same bytes back.
TEST(FileCompressorRoundTrip, FilesPastTheBuffersMatchMemory)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    Bytes in = Mixed(450000, 10);
    dir.Write("in.bin", in);
    for (u32 level : {2u, 4u}) {
        MemResult mem = CompressMem(in, level);
        ASSERT_EQ(mem.result, 0) << "level " << level;
        // More than the decompressor's 64 KiB input buffer holds.
        ASSERT_GT(mem.out.size(), 100000u) << "level " << level;
        FileCompressor c;
        c.SetInPath(dir.Path("in.bin").c_str());
        c.SetOutPath(dir.Path("out.qma").c_str());
        c.SetLevel(level);
        ASSERT_EQ(c.Compress(), 0) << "level " << level;
        EXPECT_TRUE(dir.Read("out.qma") == mem.out) << "level " << level;
        FileDecompressor d;
        d.SetInPath(dir.Path("out.qma").c_str());
        d.SetOutPath(dir.Path("back.bin").c_str());
        ASSERT_EQ(d.Decompress(), 0) << "level " << level;
        EXPECT_TRUE(dir.Read("back.bin") == in) << "level " << level;
    }
}

// A 600-byte random block R, then filler of 'a' and 'b', a byte 7Eh and R again. The
// direct search at a position reaches 65534 back; only the lazy search one further on
// reaches 65535. An earlier "7Eh R0 R1 x" gives 7Eh a 3-byte match, so with R starting
// 65535 after its first copy the lazy step takes R as a 514-byte match.
Bytes FarRepeat(bool lead_match, u32 gap, bool fresh_tail = false)
{
    Bytes r = RandomBytes(600, 77);
    std::mt19937 rng(78);
    Bytes filler(65534 - 600 + gap);
    for (auto& x : filler) {
        x = rng() % 2 ? 'a' : 'b';
    }
    if (lead_match) {
        filler[1000] = 0x7E;
        filler[1001] = r[0];
        filler[1002] = r[1];
        filler[1003] = static_cast<u8>(r[2] + 1);
    }
    Bytes in = r;
    in.insert(in.end(), filler.begin(), filler.end());
    in.push_back(0x7E);
    Bytes tail = fresh_tail ? RandomBytes(600, 79) : r;
    in.insert(in.end(), tail.begin(), tail.end());
    return in;
}

TEST(FileCompressorWindow, MatchesReachExactly65535Back)
{
    struct Case {
        const char* what;
        bool lead_match;
        u32 gap;
        bool far_copy_matched;
    };
    const Case cases[] = {
        {"lazy step at distance 65535", true, 0, true},
        {"direct search stops at 65534", false, 0, false},
        {"distance 65536 is out of reach", true, 1, false},
    };
    // The same with a fresh random block in place of the far copy.
    size_t unmatched_size = CompressMem(FarRepeat(true, 0, true), 2).out.size();
    for (const Case& c : cases) {
        Bytes in = FarRepeat(c.lead_match, c.gap);
        MemResult r = CompressMem(in, 2);
        ASSERT_EQ(r.result, 0) << c.what;
        MemResult back = DecompressMem(r.out, static_cast<u32>(in.size()));
        ASSERT_EQ(back.result, 0) << c.what;
        EXPECT_TRUE(back.out == in) << c.what;
        // Coded as literals R costs about 600 bytes; as two matches a few.
        if (c.far_copy_matched) {
            EXPECT_LT(r.out.size() + 500, unmatched_size) << c.what;
        } else {
            EXPECT_GT(r.out.size() + 100, unmatched_size) << c.what;
        }
    }
}

// The stored container was made by an independent implementation of the format.
TEST(FileCompressorFixture, MatchesTheStoredContainer)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string data = std::string(ZV_TEST_DATA_DIR) + "/compress/";
    FileCompressor c;
    c.SetInPath((data + "mixed.bin").c_str());
    c.SetOutPath(dir.Path("mixed.qma").c_str());
    c.SetLevel(4);
    ASSERT_EQ(c.Compress(), 0);
    Bytes expected = TempDir::ReadPath(data + "mixed_level4.qma");
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(dir.Read("mixed.qma") == expected);
}

// ---- files and results ----

TEST(FileCompressorFiles, OutputFileIsReplaced)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.bin", FromString("A"));
    dir.Write("out.qma", Bytes(1000, 0xEE));
    FileCompressor c;
    c.SetInPath(dir.Path("in.bin").c_str());
    c.SetOutPath(dir.Path("out.qma").c_str());
    ASSERT_EQ(c.Compress(), 0);
    EXPECT_EQ(dir.Read("out.qma"), Bytes({'Q', 'U', 'M', 'A', 0, 0, 0, 1, 0x01, 0x00}));
}

struct ResultCase {
    const char* cause;
    // Sets up input and output on a fresh compressor inside dir, where "in.bin" holds 5000 bytes.
    std::function<void(FileCompressor*, const TempDir&, Bytes* area)> setup;
    int expected;
    const char* out_file;    // file to look at afterwards, or null
    bool out_file_exists;    // ... which then is empty
};

void PrintTo(const ResultCase& c, std::ostream* os)
{
    *os << c.cause;
}

const std::vector<ResultCase> kResultCases = {
    {"input file missing",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         c->SetInPath(d.Path("missing.bin").c_str());
         c->SetOutPath(d.Path("out.qma").c_str());
     },
     2, "out.qma", false},
    {"input path too long is not cut to an existing name",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         std::string p = PathOf260(d);
         d.Write(p.substr(d.Path("").size()), Bytes(10, 1));
         c->SetInPath((p + "x").c_str());
         c->SetOutPath(d.Path("out.qma").c_str());
     },
     2, "out.qma", false},
    {"input longer than the 32-bit size field",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         d.Write("huge.bin", Bytes());
         // Sparse: no data blocks are written.
         ASSERT_EQ(truncate(d.Path("huge.bin").c_str(), 0x100000000LL), 0);
         c->SetInPath(d.Path("huge.bin").c_str());
         c->SetOutPath(d.Path("out.qma").c_str());
     },
     2, "out.qma", false},
    {"memory input without an area",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         c->SetInMemory(1);
         c->SetInData(nullptr, 5);
         c->SetOutPath(d.Path("out.qma").c_str());
     },
     2, "out.qma", false},
    {"output directory missing",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         c->SetInPath(d.Path("in.bin").c_str());
         c->SetOutPath(d.Path("no/out.qma").c_str());
     },
     3, nullptr, false},
    {"output path too long",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         c->SetInPath(d.Path("in.bin").c_str());
         c->SetOutPath((PathOf260(d) + "x").c_str());
     },
     3, nullptr, false},
    {"memory output without an area",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         c->SetInPath(d.Path("in.bin").c_str());
         c->SetOutMemory(1);
     },
     3, nullptr, false},
    {"memory output too small",
     [](FileCompressor* c, const TempDir& d, Bytes* area) {
         c->SetInPath(d.Path("in.bin").c_str());
         c->SetOutMemory(1);
         area->resize(100);
         c->SetOutData(area->data(), 100);
     },
     3, nullptr, false},
    {"output device full",
     [](FileCompressor* c, const TempDir& d, Bytes*) {
         c->SetInPath(d.Path("in.bin").c_str());
         c->SetOutPath("/dev/full");
     },
     3, nullptr, false},
    {"memory to memory",
     [](FileCompressor* c, const TempDir&, Bytes* area) {
         static const u8 data[] = {1, 2, 3, 1, 2, 3};
         c->SetInMemory(1);
         c->SetInData(data, sizeof(data));
         c->SetOutMemory(1);
         area->resize(32);
         c->SetOutData(area->data(), 32);
     },
     0, nullptr, false},
};

class CompressResult : public ::testing::TestWithParam<ResultCase> {};

TEST_P(CompressResult, ByCause)
{
    const ResultCase& rc = GetParam();
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.bin", Text(5000, 3));
    Bytes area;
    FileCompressor c;
    rc.setup(&c, dir, &area);
    EXPECT_EQ(c.Compress(), rc.expected);
    if (rc.expected != 0) {
        EXPECT_EQ(c.GetOutSize(), 0u);
    }
    if (rc.out_file != nullptr) {
        EXPECT_EQ(dir.Exists(rc.out_file), rc.out_file_exists);
    }
}

INSTANTIATE_TEST_SUITE_P(FileCompressor, CompressResult, ::testing::ValuesIn(kResultCases), CaseName());

TEST(FileCompressorResult, EachFailedAllocationGivesFiveAndAnEmptyOutput)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.bin", Text(3000, 4));
    int result = 5;
    int failing_points = 0;
    for (int n = 1; result == 5 && n < 100; n++) {
        dir.Write("out.qma", Bytes(50, 0xEE));
        FileCompressor c;
        c.SetInPath(dir.Path("in.bin").c_str());
        c.SetOutPath(dir.Path("out.qma").c_str());
        fail_nothrow_array_new_at = n;
        result = c.Compress();
        fail_nothrow_array_new_at = 0;
        if (result == 5) {
            failing_points++;
            EXPECT_TRUE(dir.Exists("out.qma"));
            EXPECT_TRUE(dir.Read("out.qma").empty()) << "allocation " << n;
        }
    }
    EXPECT_EQ(result, 0);
    EXPECT_GT(failing_points, 0);
}

TEST(FileCompressorProgress, CalledEvery4098StepsWithReadWrittenAndPercent)
{
    Bytes in = NoRepeats();
    struct Call {
        u32 read, written, percent;
    };
    std::vector<Call> calls;
    Bytes area(in.size() * 2);
    FileCompressor c;
    c.SetInMemory(1);
    c.SetOutMemory(1);
    c.SetInData(in.data(), static_cast<u32>(in.size()));
    c.SetOutData(area.data(), static_cast<u32>(area.size()));
    c.SetProgress([&calls](u32 read, u32 written, u32 percent) {
        calls.push_back(Call{read, written, percent});
        return 1;
    });
    ASSERT_EQ(c.Compress(), 0);
    area.resize(c.GetOutSize());
    EXPECT_EQ(area, CompressMem(in, 2).out);
    // One literal per step: steps are bytes, and the reads run 516 ahead of the position.
    ASSERT_GE(calls.size(), 7u);
    for (size_t i = 0; i < calls.size(); i++) {
        EXPECT_EQ(calls[i].percent, static_cast<u64>(calls[i].read) * 100 / in.size());
        EXPECT_LE(calls[i].written, area.size());
        if (i > 0 && calls[i].read < in.size()) {
            EXPECT_EQ(calls[i].read - calls[i - 1].read, 4098u);
            EXPECT_GT(calls[i].written, calls[i - 1].written);
        }
    }
}

TEST(FileCompressorProgress, ZeroFromTheCallbackStopsWithFourAndNoOutput)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.bin", NoRepeats());
    FileCompressor c;
    c.SetInPath(dir.Path("in.bin").c_str());
    c.SetOutPath(dir.Path("out.qma").c_str());
    int calls = 0;
    c.SetProgress([&calls](u32, u32, u32) {
        calls++;
        return 0;
    });
    EXPECT_EQ(c.Compress(), 4);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(dir.Exists("out.qma"));
    EXPECT_TRUE(dir.Read("out.qma").empty());
    EXPECT_EQ(c.GetOutSize(), 0u);
}

// The header states the length measured at the start; an input that then shrinks
// cannot be stored faithfully.
TEST(FileCompressorResult, InputShrinkingDuringTheRunGivesTwo)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    dir.Write("in.bin", RandomBytes(200000, 8));
    std::string in_path = dir.Path("in.bin");
    FileCompressor c;
    c.SetInPath(in_path.c_str());
    c.SetOutPath(dir.Path("out.qma").c_str());
    bool cut = false;
    c.SetProgress([&](u32, u32, u32) {
        if (!cut) {
            cut = truncate(in_path.c_str(), 20000) == 0;
        }
        return 1;
    });
    EXPECT_EQ(c.Compress(), 2);
    EXPECT_TRUE(cut);
    EXPECT_TRUE(dir.Read("out.qma").empty());
}

} // namespace
