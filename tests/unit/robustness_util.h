// Shared pieces of the robustness tests: a seeded generator that gives the same bytes
// on every platform, and heap buffers of exactly the stated length, so that the address
// sanitizer reports any access past an answer's end.
#ifndef ZV_ROBUSTNESS_UTIL_H
#define ZV_ROBUSTNESS_UTIL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common.h"

namespace robust {

// SplitMix64: tiny, seedable, and independent of the standard library's distributions.
class Rng {
public:
    explicit Rng(u64 seed) : state_(seed) {}

    u64 Next()
    {
        u64 z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform enough in [0, n) for test data; n 0 gives 0.
    u32 Below(u32 n) { return n == 0 ? 0 : static_cast<u32>(Next() % n); }

    u8 Byte() { return static_cast<u8>(Next()); }

    // Bytes of one of a few characters: uniform, mostly zero, mostly FFh, mostly blanks, or a
    // small set of values, so that id bytes, flags and length fields take their edge values often.
    void Fill(u8* p, size_t n)
    {
        const u32 style = Below(5);
        for (size_t i = 0; i < n; i++) {
            const u8 r = Byte();
            switch (style) {
            case 0:
                p[i] = r;
                break;
            case 1:
                p[i] = Below(8) == 0 ? r : 0x00;
                break;
            case 2:
                p[i] = Below(8) == 0 ? r : 0xFF;
                break;
            case 3:
                p[i] = Below(4) == 0 ? r : 0x20;
                break;
            default: {
                static const u8 edge[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
                p[i] = edge[r % sizeof(edge)];
                break;
            }
            }
        }
    }

private:
    u64 state_;
};

// A heap block of exactly n bytes (n may be 0: the pointer is then valid but owns no byte).
class ExactBuf {
public:
    explicit ExactBuf(size_t n) : size_(n), data_(new u8[n]) {}
    ExactBuf(size_t n, u8 value) : ExactBuf(n) { memset(data_.get(), value, n); }
    ExactBuf(const std::vector<u8>& bytes) : ExactBuf(bytes.size())
    {
        if (!bytes.empty()) {
            memcpy(data_.get(), bytes.data(), bytes.size());
        }
    }

    u8* data() { return data_.get(); }
    const u8* data() const { return data_.get(); }
    size_t size() const { return size_; }
    u32 len() const { return static_cast<u32>(size_); }
    std::vector<u8> Copy() const { return std::vector<u8>(data_.get(), data_.get() + size_); }

private:
    size_t size_;
    std::unique_ptr<u8[]> data_;
};

inline ExactBuf RandomBuf(Rng& rng, size_t n)
{
    ExactBuf b(n);
    rng.Fill(b.data(), n);
    return b;
}

// Text that no decoder writes, to see whether a refusing callback touched its output.
inline std::string Sentinel() { return std::string("untouched \x01 sentinel\n"); }

} // namespace robust

#endif
