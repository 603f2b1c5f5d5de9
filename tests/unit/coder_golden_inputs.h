// Inputs of the stored-container tests, generated here rather than stored: all but the
// crowded chains run past the 64 KiB window. Only std::mt19937 output (fixed by the
// standard) and integer arithmetic are used, so every platform builds the same bytes.
#ifndef ZV_CODER_GOLDEN_INPUTS_H
#define ZV_CODER_GOLDEN_INPUTS_H

#include "compress_test_util.h"

#include <random>
#include <string>
#include <vector>

namespace golden {

using ctest::Bytes;

inline void PutLe(Bytes* b, size_t at, u64 v, u32 n)
{
    for (u32 i = 0; i < n; i++) {
        (*b)[at + i] = static_cast<u8>(v >> (8 * i));
    }
}

// Log lines with counters, hex words and repeated phrases: long chains at every level.
inline Bytes TextLike()
{
    static const char* const phrases[] = {"erase count ", "program fail ", "read retry ", "block ",
                                          "page ",        "die ",          "temperature ", "power on hours ",
                                          "ECC corrected ", "bad block ",  "wear level ", "\n"};
    std::mt19937 rng(2024);
    std::string s;
    u32 line = 0;
    while (s.size() < 140000) {
        s += "[" + std::to_string(100000 + line * 7) + "] ";
        u32 words = 2 + line % 4;
        for (u32 w = 0; w < words; w++) {
            s += phrases[rng() % 8 == 0 ? rng() % 11 : (line / 4 + w * 3) % 11];
            s += std::to_string(rng() % 8 == 0 ? rng() % 1024 : line % 16);
            s += w + 1 < words ? ", " : "";
        }
        s += "\n";
        line++;
    }
    s.resize(140000);
    return Bytes(s.begin(), s.end());
}

// 512-byte sectors of the kinds a drive reports: mostly zero identify-like pages with
// ASCII strings, attribute tables whose raw values creep up, and 64-byte event records.
inline Bytes SectorLike()
{
    std::mt19937 rng(512);
    Bytes out;
    u64 stamp = 0x5F00000000ull;
    for (u32 sector = 0; out.size() < 140000; sector++) {
        Bytes s(512, 0);
        switch (sector % 5) {
        case 0: {
            const char model[] = "QMK4410TR0100 SSD 960GB         ";
            for (u32 i = 0; i + 1 < sizeof(model); i += 2) {
                s[54 + i] = static_cast<u8>(model[i + 1]);
                s[55 + i] = static_cast<u8>(model[i]);
            }
            PutLe(&s, 120, 0x6FC81AB0ull + sector, 8);
            PutLe(&s, 200, sector * 3u, 2);
            s[511] = static_cast<u8>(rng());
            break;
        }
        case 1:
        case 3: {
            static const u8 ids[] = {1, 5, 9, 12, 170, 171, 172, 173, 174, 177, 181, 182, 187, 194, 199, 241, 242};
            PutLe(&s, 0, 0x10, 2);
            for (u32 a = 0; a < sizeof(ids); a++) {
                size_t at = 2 + a * 12;
                s[at] = ids[a];
                PutLe(&s, at + 1, 0x32, 2);
                s[at + 3] = 100;
                s[at + 4] = static_cast<u8>(100 - rng() % 3);
                PutLe(&s, at + 5, (sector / 8) * (a + 1), 6);
            }
            s[511] = static_cast<u8>(rng());
            break;
        }
        default:
            for (u32 r = 0; r < 8; r++) {
                size_t at = r * 64;
                stamp += 1 + rng() % 16;
                PutLe(&s, at, stamp, 8);
                PutLe(&s, at + 8, 0xA000u + rng() % 4, 2);
                PutLe(&s, at + 10, rng() % 2, 2);
                PutLe(&s, at + 12, sector * 8 + r, 4);
                for (u32 k = 24; k < 64; k += 4) {
                    PutLe(&s, at + k, rng() % 32 == 0 ? rng() % 256 : 0, 4);
                }
            }
            break;
        }
        out.insert(out.end(), s.begin(), s.end());
    }
    out.resize(140000);
    return out;
}

// Random 600-byte blocks copied exactly 65535 bytes later, over filler of 'a' with some
// 'b'. Each copy follows a 7Eh byte that has a 3-byte match of its own, so the lazy search
// one position further on, which reaches one byte further back than the direct search,
// takes the copy at distance 65535. The second copy straddles 128 KiB, where the
// compressor's second 64 KiB read from a file ends.
inline Bytes FarMatches()
{
    std::mt19937 rng(65535);
    Bytes out(140000);
    for (auto& x : out) {
        x = rng() % 64 == 0 ? 'b' : 'a';
    }
    const size_t sources[] = {2000, 131072 - 200 - 65535};
    const size_t leads[] = {10000, 100000};
    for (u32 k = 0; k < 2; k++) {
        Bytes r = ctest::RandomBytes(600, 70 + k);
        size_t src = sources[k];
        size_t dst = src + 65535;
        for (size_t i = 0; i < r.size(); i++) {
            out[src + i] = r[i];
            out[dst + i] = r[i];
        }
        out[dst - 1] = 0x7E;
        out[leads[k]] = 0x7E;
        out[leads[k] + 1] = r[0];
        out[leads[k] + 2] = r[1];
        out[leads[k] + 3] = static_cast<u8>(r[2] + 1);
    }
    return out;
}

// Few, very unequal byte values: the deep codes of the rare ones have to be flattened.
inline Bytes Skewed()
{
    std::mt19937 rng(77);
    Bytes out(135000);
    for (auto& x : out) {
        u32 v = 0;
        while (v < 255 && rng() % 4 == 0) {
            v++;
        }
        x = static_cast<u8>(v);
    }
    return out;
}

// For each n around the chain caps 4, 16, 64 and 4096: a random 64-byte block P, then n
// groups "P0 P1 P2 y" that crowd the chain of P's first three bytes, a byte of its own,
// and P again. The first P is then the (n + 1)-th newest of that chain, so only a cap of
// at least n + 1 still offers it to the search at the copy.
inline Bytes CrowdedChains()
{
    const u32 counts[] = {3, 4, 5, 15, 16, 17, 63, 64, 65, 4095, 4096, 4097};
    Bytes out;
    u32 seed = 900;
    for (u32 n : counts) {
        Bytes block = ctest::RandomBytes(64, seed++);
        // y is never P's fourth byte, so every group matches exactly three bytes of P.
        u8 y = static_cast<u8>(block[3] ^ 0x55);
        out.insert(out.end(), block.begin(), block.end());
        for (u32 i = 0; i < n; i++) {
            out.insert(out.end(), {block[0], block[1], block[2], y});
        }
        out.push_back(static_cast<u8>(block[0] ^ 0x80));
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

} // namespace golden

#endif
