// Helpers of the compressor and decompressor tests: temp dirs, memory runs, and bit
// streams written out by hand with the codes that hold while every count is still 1.
#ifndef ZV_COMPRESS_TEST_UTIL_H
#define ZV_COMPRESS_TEST_UTIL_H

#include "file_compressor.h"
#include "file_decompressor.h"
#include "temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Fails the n-th nothrow array allocation from now (1 = the next one); 0 fails none.
// Both coders take their work areas from nothrow new[]; defined in file_compressor_test.cpp.
extern int fail_nothrow_array_new_at;

namespace ctest {

typedef std::vector<u8> Bytes;

using testdir::TempDir;

// A path of exactly 260 characters inside dir; one more character makes it too long.
inline std::string PathOf260(const TempDir& dir)
{
    std::string p = dir.Path("");
    p += std::string(260 - p.size(), 'n');
    return p;
}

inline Bytes FromString(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

struct MemResult {
    int result;
    Bytes out;
};

inline MemResult CompressMem(const Bytes& in, u32 level)
{
    // Codes are at most 16 bits, so a token never costs more than two bytes per input byte.
    Bytes area(in.size() * 2 + 64);
    FileCompressor c;
    c.SetInMemory(1);
    c.SetOutMemory(1);
    c.SetInData(in.data(), static_cast<u32>(in.size()));
    c.SetOutData(area.data(), static_cast<u32>(area.size()));
    c.SetLevel(level);
    MemResult r;
    r.result = c.Compress();
    area.resize(c.GetOutSize());
    r.out = area;
    return r;
}

// The output area is exactly capacity bytes, so a write past it is caught under ASan.
inline MemResult DecompressMem(const Bytes& in, u32 capacity)
{
    Bytes area(capacity);
    FileDecompressor d;
    d.SetInMemory(1);
    d.SetOutMemory(1);
    d.SetInData(in.data(), static_cast<u32>(in.size()));
    d.SetOutData(area.data(), capacity);
    MemResult r;
    r.result = d.Decompress();
    area.resize(d.GetOutSize());
    r.out = area;
    return r;
}

inline Bytes RandomBytes(size_t n, u32 seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) {
        x = static_cast<u8>(rng());
    }
    return b;
}

inline Bytes Text(size_t n, u32 seed)
{
    static const char* const words[] = {"drive", "SMART", "value", "threshold", "erase", "block", "page",
                                        "flash", "log",   "sector", "the",      "of",    "0x1F", "\n"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s += words[rng() % (sizeof(words) / sizeof(words[0]))];
        s += ' ';
    }
    s.resize(n);
    return FromString(s);
}

// Every pair of bytes once (a, then a b for each b > a): no three bytes repeat, so the
// whole input is coded as literals, 32896 of them.
inline Bytes NoRepeats()
{
    Bytes b;
    for (u32 a = 0; a < 256; a++) {
        b.push_back(static_cast<u8>(a));
        for (u32 c = a + 1; c < 256; c++) {
            b.push_back(static_cast<u8>(a));
            b.push_back(static_cast<u8>(c));
        }
    }
    return b;
}

inline std::string Bin(u32 v, u32 n)
{
    std::string s;
    for (u32 i = n; i > 0; i--) {
        s += ((v >> (i - 1)) & 1) ? '1' : '0';
    }
    return s;
}

// Codes while every count is still 1 (the first 72 literal/length and 8 distance symbols).
// Equal counts pair up in index order: 288 leaves give nine 32-leaf subtrees, 558 (leaves
// 0-31) to 566 (256-287); then 567 = 558+559, 568 = 560+561, 569 = 562+563,
// 570 = 564+565, 571 = 566+567, 572 = 568+569, 573 = 570+571, root = 572+573. So leaves
// 64-127 are "00", 128-191 "01", 192-255 "10", 256-287 "110" and 0-63 "111" followed by
// their offset in the subtree. The 32 distance leaves make a full tree of depth 5.
inline std::string InitialLitLenCode(u32 s)
{
    if (s < 64) {
        return "111" + Bin(s, 6);
    }
    if (s < 128) {
        return "00" + Bin(s - 64, 6);
    }
    if (s < 192) {
        return "01" + Bin(s - 128, 6);
    }
    if (s < 256) {
        return "10" + Bin(s - 192, 6);
    }
    return "110" + Bin(s - 256, 5);
}

struct Tok {
    char kind;  // 'l' literal or length symbol, 'd' distance symbol
    u32 symbol;
    const char* extra;
};

inline Tok Lit(char c)
{
    return Tok{'l', static_cast<u8>(c), ""};
}
inline Tok Len(u32 symbol, const char* extra = "")
{
    return Tok{'l', symbol, extra};
}
inline Tok Dist(u32 symbol, const char* extra = "")
{
    return Tok{'d', symbol, extra};
}
inline std::vector<Tok> Lits(const char* s)
{
    std::vector<Tok> t;
    for (; *s != '\0'; s++) {
        t.push_back(Lit(*s));
    }
    return t;
}
inline std::vector<Tok> Cat(std::vector<std::vector<Tok>> parts)
{
    std::vector<Tok> t;
    for (const auto& p : parts) {
        t.insert(t.end(), p.begin(), p.end());
    }
    return t;
}

inline std::string TokenBits(const std::vector<Tok>& toks)
{
    std::string bits;
    for (const Tok& t : toks) {
        bits += t.kind == 'l' ? InitialLitLenCode(t.symbol) : Bin(t.symbol, 5);
        bits += t.extra;
    }
    return bits;
}

// "QUMA", the size big-endian, then the bits in 16-bit units, the last one zero-padded.
inline Bytes Container(u32 size, std::string bits)
{
    Bytes out = {'Q', 'U', 'M', 'A', static_cast<u8>(size >> 24), static_cast<u8>(size >> 16),
                 static_cast<u8>(size >> 8), static_cast<u8>(size)};
    while (bits.size() % 16 != 0) {
        bits += '0';
    }
    for (size_t i = 0; i < bits.size(); i += 8) {
        out.push_back(static_cast<u8>(std::stoul(bits.substr(i, 8), nullptr, 2)));
    }
    return out;
}

} // namespace ctest

#endif
