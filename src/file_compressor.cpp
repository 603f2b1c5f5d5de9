#include "file_compressor.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "decode_util.h"
#include "file_utils.h"

const char kContainerMagic[4] = {'Q', 'U', 'M', 'A'};

namespace {

const u32 kHashSize = 65536;
// Chains link positions modulo this; a window position's slot is never reused while it
// can still be reached.
const u32 kPrevSize = 65536;
// A search at pos reaches back to pos - 65534 (the lazy one at pos + 1 thus 65535 bytes).
const u64 kWindow = 65534;
// The lazy search at pos + 1 reads up to pos + 1 + 514, and hashing the last
// position passed over reads pos + 516.
const u64 kLookahead = 517;
// The file buffer keeps this much behind the position and reads in blocks.
const u64 kHistory = 65536;
const u64 kReadBlock = 65536;
const u64 kInBufferSize = kHistory + 2 * kReadBlock;
const u32 kOutBufferSize = 65536;
const u32 kProgressSteps = 4096;
const char kCodeTooLong[] = "\n\nDamnit - huffman code too long\n";

// Shared by every run in the process, as the callback cadence does not restart per file.
u32 progress_steps = 0;

// For v > 0.
inline u32 Log2(u32 v)
{
#if defined(__GNUC__)
    return 31 - static_cast<u32>(__builtin_clz(v));
#else
    u32 n = 0;
    while (v > 1) {
        v >>= 1;
        n++;
    }
    return n;
#endif
}

inline u64 Load64(const u8* p)
{
    u64 v;
    memcpy(&v, p, sizeof(v));
    return v;
}

inline u16 Load16(const u8* p)
{
    u16 v;
    memcpy(&v, p, sizeof(v));
    return v;
}

inline u32 Load32(const u8* p)
{
    u32 v;
    memcpy(&v, p, sizeof(v));
    return v;
}

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Equal leading bytes of two words loaded from memory, given they differ.
inline u32 EqualLeadingBytes(u64 x)
{
    return static_cast<u32>(__builtin_ctzll(x)) >> 3;
}
#define ZV_WIDE_COMPARE 1
#elif defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
inline u32 EqualLeadingBytes(u64 x)
{
    return static_cast<u32>(__builtin_clzll(x)) >> 3;
}
#define ZV_WIDE_COMPARE 1
#endif

// Equal leading bytes of a and b, at most limit; both must be readable that far.
inline u32 CommonPrefix(const u8* a, const u8* b, u32 limit)
{
    u32 i = 0;
#ifdef ZV_WIDE_COMPARE
    while (i + 8 <= limit) {
        u64 x = Load64(a + i) ^ Load64(b + i);
        if (x != 0) {
            return i + EqualLeadingBytes(x);
        }
        i += 8;
    }
#endif
    while (i < limit && a[i] == b[i]) {
        i++;
    }
    return i;
}

inline u32 Hash(const u8* p)
{
    return (p[0] ^ (static_cast<u32>(p[1]) << 7) ^ (static_cast<u32>(p[2]) << 11)) & 0xFFFF;
}

// The prefix chains, longest first; Insert and FindMatchDeep follow this order.
const u32 kPrefixLengths[kPrefixChains] = {32, 16, 8, 6, 4};
// Chain caps from this on search the prefix chains.
const u32 kDeepCap = 4096;
const u32 kDeepHashBits = 16;
const u32 kDeepHashSize = 1u << kDeepHashBits;
// The prefix chain hashes of a position read this far.
const u64 kDeepReach = 32;

const u64 kMix = 0x9E3779B97F4A7C15ull;

inline u32 HashTop(u64 h)
{
    return static_cast<u32>(h >> (64 - kDeepHashBits));
}

// Hash of the first K bytes; the longer ones build on the 8-byte one, as Insert does.
template <u32 K>
inline u32 PrefixHash(const u8* p)
{
    if (K == 4) {
        return (Load32(p) * 2654435761u) >> (32 - kDeepHashBits);
    }
    if (K == 6) {
        return HashTop((Load32(p) | (static_cast<u64>(Load16(p + 4)) << 32)) * kMix);
    }
    u64 h = Load64(p) * kMix;
    for (u32 i = 8; i < K; i += 8) {
        h = (h + Load64(p + i)) * kMix;
    }
    return HashTop(h);
}

template <u32 K>
inline bool PrefixEqual(const u8* a, const u8* b)
{
    if (K == 4) {
        return Load32(a) == Load32(b);
    }
    if (K == 6) {
        return Load32(a) == Load32(b) && Load16(a + 4) == Load16(b + 4);
    }
    u64 x = 0;
    for (u32 i = 0; i < K; i += 8) {
        x |= Load64(a + i) ^ Load64(b + i);
    }
    return x == 0;
}

// Chains are kept as steps back from each position (+ 1) to the previous one with the
// same hash. A step past 65535 is cut to 65535, which still lands outside the window,
// and from a first position the step leads to 0: either way the walk ends there.
inline u16 Step(u32 prev, u32 v)
{
    return static_cast<u16>(std::min<u32>(v - prev, 0xFFFF));
}

inline u32 Back(u32 v, const u16* steps)
{
    return v - steps[(v - 1) & (kPrevSize - 1)];
}

inline u32 Link(u32 prev, u32 v, u32 rank)
{
    return Step(prev, v) | (rank << 16);
}

// Puts position v - 1 at the head of the prefix chain with hash k.
inline void EnterPrefixChain(u32* heads, u32* links, u32 k, u32 v, u32 rank)
{
    links[(v - 1) & (kPrevSize - 1)] = Link(heads[k], v, rank);
    heads[k] = v;
}

struct DeepSearch {
    const u8* window;
    u64 base;
    const u8* here;
    u32 p;
    u32 low;      // positions + 1 at or below this are out of the window
    u32 cap;
    u32 count;    // insertions into the 3-byte chain of p so far
    u32 limit;    // the longest length possible at p
    u32 best;
    u32 distance;
};

// Takes the candidates of the K-byte prefix chain, newest first, that share K bytes with p
// and are still among the newest cap positions of p's 3-byte chain. Needs limit >= K.
template <u32 K>
inline void WalkPrefixChain(DeepSearch* s, const u32* heads, const u32* links)
{
    for (u32 v = heads[PrefixHash<K>(s->here)]; v > s->low;) {
        const u32 c = v - 1;
        const u32 link = links[c & (kPrevSize - 1)];
        v -= link & 0xFFFF;
        const u8* there = s->window + (c - s->base);
        if (!PrefixEqual<K>(there, s->here)) {
            continue;
        }
        // The older ones sharing the prefix sit in the same 3-byte chain, further back.
        // Fewer than 64 Ki insertions separate two window positions, so 16 bits of rank do.
        if (((s->count - (link >> 16)) & 0xFFFF) >= s->cap) {
            return;
        }
        if (s->best >= K && Load32(there + s->best - 3) != Load32(s->here + s->best - 3)) {
            continue;
        }
        u32 len = K + CommonPrefix(there + K, s->here + K, s->limit - K);
        if (len > s->best) {
            s->best = len;
            s->distance = s->p - c;
            if (len >= s->limit) {
                return;
            }
        }
    }
}

} // namespace

ExtraCoded LengthToSymbol(u32 length)
{
    u32 v = length - kMinMatch;
    if (v < 8) {
        return ExtraCoded{256 + v, 0, 0};
    }
    u32 log = Log2(v);
    u32 base = 1u << log;
    u32 n = log - 2;
    return ExtraCoded{264 + 4 * (n - 1) + ((v - base) >> n), n, (v - base) & ((1u << n) - 1)};
}

ExtraCoded DistanceToSymbol(u32 distance)
{
    if (distance < 4) {
        return ExtraCoded{distance, 0, 0};
    }
    u32 log = Log2(distance);
    u32 base = 1u << log;
    u32 n = log - 1;
    return ExtraCoded{4 + 2 * (n - 1) + ((distance - base) >> n), n, (distance - base) & ((1u << n) - 1)};
}

// ---- adaptive Huffman codes ----

void AttachHuffmanCoder(HuffmanCoder* coder, HuffNode* nodes, HuffCode* codes, u32 leaves, u32 period,
                        bool report_long)
{
    coder->nodes = nodes;
    coder->codes = codes;
    coder->table = nullptr;
    coder->table_bits = 0;
    coder->leaves = leaves;
    coder->period = period;
    coder->countdown = period;
    coder->halving = 0;
    coder->rebuilds = 0;
    coder->report_long = report_long;
}

void AttachHuffmanTable(HuffmanCoder* coder, u32* table, u32 bits)
{
    coder->table = table;
    coder->table_bits = bits;
}

void StartHuffmanCoder(HuffmanCoder* coder)
{
    for (u32 i = 0; i < coder->leaves; i++) {
        coder->nodes[i].count = 1;
    }
    coder->countdown = coder->period;
    coder->halving = 0;
    coder->rebuilds = 0;
    BuildHuffmanCode(coder, false);
}

void BuildHuffmanCode(HuffmanCoder* coder, bool halving)
{
    HuffNode* nodes = coder->nodes;
    const u32 leaves = coder->leaves;
    const u32 total = 2 * leaves - 1;
    ZV_CHECK(leaves >= 2 && leaves <= kLitLenSymbols);
    // Depth and path bits of every node, root first; the bits mean something only while
    // the depth is at most 16.
    u8 depth[2 * kLitLenSymbols - 1];
    u32 path[2 * kLitLenSymbols - 1];
    for (;;) {
        // The two smallest counts, lower index first among equals, are the heads of two
        // queues: the leaves sorted by (count, index), and the merged nodes, which come
        // out with counts that never decrease and indices that always grow, so they
        // stay in that order too. A leaf's index is below every merged node's.
        u64 order[kLitLenSymbols];
        for (u32 i = 0; i < leaves; i++) {
            order[i] = (static_cast<u64>(nodes[i].count) << 16) | i;
        }
        std::sort(order, order + leaves);
        u32 next_leaf = 0;
        u32 next_merged = leaves;
        for (u32 k = leaves; k < total; k++) {
            u32 pick[2];
            for (u32& chosen : pick) {
                if (next_leaf < leaves &&
                    (next_merged == k || (order[next_leaf] >> 16) <= nodes[next_merged].count)) {
                    chosen = static_cast<u32>(order[next_leaf++] & 0xFFFF);
                } else {
                    chosen = next_merged++;
                }
            }
            nodes[k].count = nodes[pick[0]].count + nodes[pick[1]].count;
            nodes[k].child0 = static_cast<u16>(pick[0]);
            nodes[k].child1 = static_cast<u16>(pick[1]);
        }
        depth[total - 1] = 0;
        path[total - 1] = 0;
        u32 deepest = 0;
        for (u32 k = total - 1; k >= leaves; k--) {
            u32 d = depth[k] + 1u;
            u32 c0 = nodes[k].child0;
            u32 c1 = nodes[k].child1;
            depth[c0] = static_cast<u8>(d > 255 ? 255 : d);
            depth[c1] = depth[c0];
            path[c0] = path[k] << 1;
            path[c1] = (path[k] << 1) | 1;
            if (d > deepest) {
                deepest = d;
            }
        }
        if (deepest <= kMaxCodeLength) {
            break;
        }
        if (coder->report_long) {
            fputs(kCodeTooLong, stdout);
        }
        for (u32 i = 0; i < leaves; i++) {
            nodes[i].count = nodes[i].count / 4 + 1;
        }
    }
    if (coder->codes != nullptr) {
        for (u32 i = 0; i < leaves; i++) {
            coder->codes[i].length = depth[i];
            coder->codes[i].bits = static_cast<u16>(path[i]);
        }
    }
    if (coder->table != nullptr) {
        const u32 bits = coder->table_bits;
        u32* table = coder->table;
        for (u32 n = 0; n < total; n++) {
            u32 d = depth[n];
            if (n < leaves && d <= bits) {
                u32* at = table + (path[n] << (bits - d));
                u32 entry = (d << 16) | n;
                for (u32 r = 0, span = 1u << (bits - d); r < span; r++) {
                    at[r] = entry;
                }
            } else if (n >= leaves && d == bits) {
                table[path[n]] = n;
            }
        }
    }
    if (halving) {
        for (u32 i = 0; i < leaves; i++) {
            nodes[i].count = (nodes[i].count >> 1) + 1;
        }
    }
}

void RebuildHuffmanCode(HuffmanCoder* coder)
{
    if (coder->rebuilds != 0xFFFFFFFFu) {
        coder->rebuilds++;
    }
    if (coder->rebuilds > kPlainRebuilds) {
        coder->halving = 1;
    }
    coder->countdown = coder->halving ? coder->period * (kPlainRebuilds + 1) : coder->period;
    BuildHuffmanCode(coder, coder->halving != 0);
}

// ---- the two ends ----

namespace {

// An over-long path is refused at open time rather than cut to another name.
bool CopyPath(char* dst, const char* src)
{
    dst[0] = '\0';
    if (src == nullptr) {
        return false;
    }
    size_t len = strlen(src);
    if (len > kCoderPathMax) {
        return true;
    }
    memcpy(dst, src, len + 1);
    return false;
}

// Empties a given output stream and goes back to its start.
bool Restart(FILE* f)
{
    return fflush(f) == 0 && ftruncate(fileno(f), 0) == 0 && fseek(f, 0, SEEK_SET) == 0;
}

} // namespace

void CoderEnds::SetInPath(const char* path)
{
    in_path_too_long = CopyPath(in_path, path);
}

void CoderEnds::SetOutPath(const char* path)
{
    out_path_too_long = CopyPath(out_path, path);
}

void CoderEnds::SetInData(const u8* data, u32 len)
{
    in_mem = data;
    in_size = len;
}

void CoderEnds::SetOutData(u8* area, u32 capacity)
{
    out_mem = area;
    out_capacity = area == nullptr ? 0 : capacity;
}

FILE* CoderEnds::OpenInPath() const
{
    if (given_in != nullptr) {
        return fseek(given_in, 0, SEEK_SET) == 0 ? given_in : nullptr;
    }
    return in_path_too_long ? nullptr : OpenRegularFileStream(in_path);
}

void CoderEnds::CloseIn(FILE* f) const
{
    if (f != nullptr && f != given_in) {
        fclose(f);
    }
}

bool CoderEnds::OpenOutFile()
{
    if (given_out != nullptr) {
        out_file = Restart(given_out) ? given_out : nullptr;
    } else {
        out_file = out_path_too_long ? nullptr : OpenRegularFileToWrite(out_path, "w+b", nullptr);
    }
    return out_file != nullptr;
}

void CoderEnds::CloseFiles()
{
    CloseIn(in_file);
    in_file = nullptr;
    if (out_file != nullptr) {
        // Buffered data reaches the file only at close (or flush), so a failure there is a
        // failed write.
        if (out_file == given_out ? fflush(out_file) != 0 || ferror(out_file) != 0 : fclose(out_file) != 0) {
            write_failed = true;
        }
        out_file = nullptr;
    }
}

void CoderEnds::Write(const u8* data, size_t len)
{
    if (write_failed || len == 0) {
        return;
    }
    if (out_memory == 1) {
        if (out_total + len > out_capacity) {
            write_failed = true;
            return;
        }
        memcpy(out_mem + out_total, data, len);
    } else if (fwrite(data, 1, len, out_file) != len) {
        write_failed = true;
        return;
    }
    out_total += len;
}

void CoderEnds::EmptyOutput()
{
    out_total = 0;
    if (out_memory != 1 && given_out != nullptr) {
        Restart(given_out);
    } else if (out_memory != 1) {
        // Reopening for writing truncates: a failed run leaves no partial output.
        FILE* f = OpenRegularFileToWrite(out_path, "wb", nullptr);
        if (f != nullptr) {
            fclose(f);
        }
    }
}

// ---- the compressor ----

FileCompressor::FileCompressor()
{
    Init();
}

void FileCompressor::Init()
{
    ends = CoderEnds();
    SetLevel(2);
}

void FileCompressor::SetLevel(u32 level)
{
    switch (level) {
    case 1: chain_cap = 4; break;
    case 2: chain_cap = 16; break;
    case 3: chain_cap = 64; break;
    case 4: chain_cap = 4096; break;
    case 5: chain_cap = 65535; break;
    default: chain_cap = 1; break;
    }
}

bool FileCompressor::OpenFiles(int* result)
{
    if (ends.in_memory == 1) {
        size = ends.in_size;
        if (ends.in_mem == nullptr && size > 0) {
            *result = 2;
            return false;
        }
    } else {
        size = 0;
        ends.in_file = ends.OpenInPath();
        if (ends.in_file == nullptr) {
            *result = 2;
            return false;
        }
        long len = -1;
        if (fseek(ends.in_file, 0, SEEK_END) == 0) {
            len = ftell(ends.in_file);
        }
        // The header holds the length in 32 bits; a longer file cannot be stored.
        if (len < 0 || static_cast<unsigned long>(len) > 0xFFFFFFFFul || fseek(ends.in_file, 0, SEEK_SET) != 0) {
            ends.CloseIn(ends.in_file);
            ends.in_file = nullptr;
            *result = 2;
            return false;
        }
        size = static_cast<u64>(len);
    }
    if (ends.out_memory != 1) {
        if (!ends.OpenOutFile()) {
            ends.CloseFiles();
            *result = 3;
            return false;
        }
    }
    return true;
}

bool FileCompressor::AllocWorkAreas()
{
    if (ends.in_memory != 1) {
        in_buffer = new (std::nothrow) u8[kInBufferSize];
    }
    heads = new (std::nothrow) u32[kHashSize];
    steps = new (std::nothrow) u16[kPrevSize];
    out_buffer = new (std::nothrow) u8[kOutBufferSize];
    lit_nodes = new (std::nothrow) HuffNode[2 * kLitLenSymbols - 1];
    lit_codes = new (std::nothrow) HuffCode[kLitLenSymbols];
    dist_nodes = new (std::nothrow) HuffNode[2 * kDistSymbols - 1];
    dist_codes = new (std::nothrow) HuffCode[kDistSymbols];
    bool ok = (ends.in_memory == 1 || in_buffer != nullptr) && heads != nullptr && steps != nullptr &&
              out_buffer != nullptr && lit_nodes != nullptr && lit_codes != nullptr && dist_nodes != nullptr &&
              dist_codes != nullptr;
    if (ok && deep) {
        inserted = new (std::nothrow) u32[kHashSize];
        ok = inserted != nullptr;
        for (u32 i = 0; i < kPrefixChains && ok; i++) {
            deep_heads[i] = new (std::nothrow) u32[kDeepHashSize];
            deep_links[i] = new (std::nothrow) u32[kPrevSize];
            ok = deep_heads[i] != nullptr && deep_links[i] != nullptr;
        }
    }
    if (!ok) {
        FreeWorkAreas();
    }
    return ok;
}

void FileCompressor::FreeWorkAreas()
{
    FreeWorkArea(in_buffer);
    FreeWorkArea(heads);
    FreeWorkArea(steps);
    FreeWorkArea(out_buffer);
    FreeWorkArea(lit_nodes);
    FreeWorkArea(lit_codes);
    FreeWorkArea(dist_nodes);
    FreeWorkArea(dist_codes);
    FreeWorkArea(inserted);
    for (u32 i = 0; i < kPrefixChains; i++) {
        FreeWorkArea(deep_heads[i]);
        FreeWorkArea(deep_links[i]);
    }
    window = nullptr;
}

int FileCompressor::Compress()
{
    int result = 0;
    ends.aborted = false;
    ends.write_failed = false;
    ends.out_total = 0;
    read_failed = false;
    if (!OpenFiles(&result)) {
        return result;
    }
    pos = 0;
    lookahead_end = 0;
    bit_acc = 0;
    bit_count = 0;
    bits_put = 0;
    out_fill = 0;
    deep = chain_cap >= kDeepCap;
    if (!AllocWorkAreas()) {
        ends.CloseFiles();
        ends.EmptyOutput();
        return 5;
    }
    if (ends.in_memory == 1) {
        window = ends.in_mem;
        base = 0;
        filled = size;
    } else {
        window = in_buffer;
        base = 0;
        filled = 0;
    }

    u8 header[sizeof(CompressedFileHeader)];
    memcpy(header, kContainerMagic, 4);
    PutBe32(header + 4, size);
    ends.Write(header, sizeof(header));

    AttachHuffmanCoder(&lit_coder, lit_nodes, lit_codes, kLitLenSymbols, kLitLenRebuildPeriod, true);
    AttachHuffmanCoder(&dist_coder, dist_nodes, dist_codes, kDistSymbols, kDistRebuildPeriod, true);
    StartHuffmanCoder(&lit_coder);
    StartHuffmanCoder(&dist_coder);
    memset(heads, 0, kHashSize * sizeof(u32));
    memset(steps, 0, kPrevSize * sizeof(u16));
    if (deep) {
        memset(inserted, 0, kHashSize * sizeof(u32));
        for (u32 i = 0; i < kPrefixChains; i++) {
            memset(deep_heads[i], 0, kDeepHashSize * sizeof(u32));
            memset(deep_links[i], 0, kPrevSize * sizeof(u32));
        }
    }

    MainLoop();

    FreeWorkAreas();
    ends.CloseFiles();
    if (ends.aborted) {
        result = 4;
    } else if (read_failed) {
        result = 2;
    } else if (ends.write_failed) {
        result = 3;
    }
    if (result != 0) {
        ends.EmptyOutput();
    }
    return result;
}

void FileCompressor::MainLoop()
{
    const u64 end = size >= 4 ? size - 4 : 0;
    while (pos < end && !ends.write_failed) {
        if (!Refill()) {
            return;
        }
        const u32 p = static_cast<u32>(pos);
        u32 d1 = 0;
        u32 l1 = FindMatch(p, 0, &d1);
        u32 advance = 1;
        if (l1 > 0) {
            u32 d2 = 0;
            u32 l2 = FindMatch(p + 1, l1, &d2);
            if (l1 + 1 < l2) {
                PutLiteral(window[pos - base]);
                PutMatch(l2, d2);
                advance = l2 + 1;
            } else {
                PutMatch(l1, d1);
                advance = l1;
            }
        } else {
            PutLiteral(window[pos - base]);
        }
        Insert(p, advance);
        pos += advance;
        if (ProgressStop()) {
            ends.aborted = true;
            return;
        }
    }
    while (pos < size && !ends.write_failed) {
        if (!Refill()) {
            return;
        }
        PutLiteral(window[pos - base]);
        pos++;
    }
    FlushBits();
    FlushOut();
}

// Makes the bytes up to pos + kLookahead, and as far again as the prefix hashes of the
// positions passed over read, available (or up to the end).
bool FileCompressor::Refill()
{
    lookahead_end = std::min(size, pos + kLookahead);
    const u64 need = std::min(size, pos + kLookahead + kDeepReach);
    if (filled >= need) {
        return true;
    }
    if (filled - base + kReadBlock > kInBufferSize) {
        // Only the window behind pos is still needed.
        u64 keep = pos - kHistory;
        memmove(in_buffer, in_buffer + (keep - base), filled - keep);
        base = keep;
    }
    u64 want = std::min(size - filled, kReadBlock);
    if (fread(in_buffer + (filled - base), 1, want, ends.in_file) != want) {
        // The file shrank or failed under us: its length no longer matches the header.
        read_failed = true;
        return false;
    }
    filled += want;
    return filled >= need;
}

// The longest match for p among the newest chain_cap positions of its hash chain that are
// still in the window, at most 514 bytes and not past the end; the nearest among equals.
// It must beat `beat`; below 3 bytes there is no match (0).
u32 FileCompressor::FindMatch(u32 p, u32 beat, u32* distance) const
{
    if (deep) {
        return FindMatchDeep(p, beat, distance);
    }
    u32 best = beat;
    const u32 limit = static_cast<u32>(std::min<u64>(kMaxMatch, size - p));
    if (best >= limit) {
        // No candidate can be longer.
        return best < kMinMatch ? 0 : best;
    }
    const u8* here = window + (p - base);
    // Positions are compared as position + 1 against low, so 0 (none) is always out.
    const u32 low = static_cast<u32>(pos > kWindow ? pos - kWindow : 0);
    u32 left = chain_cap;
    for (u32 v = heads[Hash(here)]; v > low; v = Back(v, steps)) {
        const u32 c = v - 1;
        const u8* there = window + (c - base);
        // Only a candidate equal up to and including byte `best` can be longer; the last
        // four of those bytes turn most of them away at once.
        bool may_beat = best >= 4 ? Load32(there + best - 3) == Load32(here + best - 3) : there[best] == here[best];
        if (may_beat || best == 0) {
            u32 len = CommonPrefix(there, here, limit);
            if (len > best) {
                best = len;
                *distance = p - c;
                if (best >= limit) {
                    break;
                }
            }
        }
        if (--left == 0) {
            break;
        }
    }
    return best < kMinMatch ? 0 : best;
}

// The same result as FindMatch: the longest match among the 3-byte chain's candidates is
// found on the longest prefix chain that has any, the nearest among equals; only when
// none shares 4 bytes does the 3-byte chain itself give its newest 3-byte match.
u32 FileCompressor::FindMatchDeep(u32 p, u32 beat, u32* distance) const
{
    DeepSearch s;
    s.limit = static_cast<u32>(std::min<u64>(kMaxMatch, size - p));
    if (beat >= s.limit) {
        return beat < kMinMatch ? 0 : beat;
    }
    s.window = window;
    s.base = base;
    s.here = window + (p - base);
    s.p = p;
    s.low = static_cast<u32>(pos > kWindow ? pos - kWindow : 0);
    s.cap = chain_cap;
    const u32 h = Hash(s.here);
    s.count = inserted[h];
    s.best = beat;
    s.distance = 0;
    // Longest prefix first. A chain that gives a length of at least its prefix settles the
    // search, as the shorter prefixes cannot beat it; otherwise the next one can give at
    // most one byte less than this prefix, and is walked only while that could still win.
    u32 reach = s.limit;
    for (u32 i = 0; i < kPrefixChains && s.best < reach; i++) {
        const u32 k = kPrefixLengths[i];
        if (s.limit < k) {
            continue;
        }
        switch (k) {
        case 32: WalkPrefixChain<32>(&s, deep_heads[i], deep_links[i]); break;
        case 16: WalkPrefixChain<16>(&s, deep_heads[i], deep_links[i]); break;
        case 8: WalkPrefixChain<8>(&s, deep_heads[i], deep_links[i]); break;
        case 6: WalkPrefixChain<6>(&s, deep_heads[i], deep_links[i]); break;
        default: WalkPrefixChain<4>(&s, deep_heads[i], deep_links[i]); break;
        }
        if (s.best >= k) {
            break;
        }
        reach = k - 1;
    }
    if (s.best > beat) {
        *distance = s.distance;
        return s.best;
    }
    if (beat >= kMinMatch) {
        return beat;
    }
    // No candidate shares 4 bytes: the newest sharing 3, within the cap.
    u32 left = chain_cap;
    for (u32 v = heads[h]; v > s.low; v = Back(v, steps)) {
        const u32 c = v - 1;
        const u8* there = window + (c - base);
        if (there[0] == s.here[0] && there[1] == s.here[1] && there[2] == s.here[2]) {
            *distance = p - c;
            return CommonPrefix(there, s.here, s.limit);
        }
        if (--left == 0) {
            break;
        }
    }
    return 0;
}

void FileCompressor::Insert(u32 from, u32 count)
{
    // The hash of the last two positions would read past the input; no search
    // ever looks them up, since the main loop has ended by then.
    u64 stop = std::min<u64>(static_cast<u64>(from) + count, size >= 2 ? size - 2 : 0);
    const u32 end = static_cast<u32>(std::max<u64>(stop, from));
    u32* const chain_heads = heads;
    u16* const chain_steps = steps;
    if (!deep) {
        for (u32 p = from; p < end; p++) {
            u32 h = Hash(window + (p - base));
            chain_steps[p & (kPrevSize - 1)] = Step(chain_heads[h], p + 1);
            chain_heads[h] = p + 1;
        }
        return;
    }
    u32* const counts = inserted;
    for (u32 p = from; p < end; p++) {
        const u8* at = window + (p - base);
        const u32 slot = p & (kPrevSize - 1);
        const u32 h = Hash(at);
        chain_steps[slot] = Step(chain_heads[h], p + 1);
        chain_heads[h] = p + 1;
        const u32 rank = ++counts[h];
        // A prefix running past the input has no chain entry; no search needs it, since
        // the searches that could are as near the end.
        const u64 left = size - p;
        if (left >= 32) {
            // The hashes of PrefixHash, sharing their steps.
            u64 h8 = Load64(at) * kMix;
            u64 h16 = (h8 + Load64(at + 8)) * kMix;
            u64 h32 = (((h16 + Load64(at + 16)) * kMix) + Load64(at + 24)) * kMix;
            EnterPrefixChain(deep_heads[0], deep_links[0], HashTop(h32), p + 1, rank);
            EnterPrefixChain(deep_heads[1], deep_links[1], HashTop(h16), p + 1, rank);
            EnterPrefixChain(deep_heads[2], deep_links[2], HashTop(h8), p + 1, rank);
        } else {
            if (left >= 16) {
                EnterPrefixChain(deep_heads[1], deep_links[1], PrefixHash<16>(at), p + 1, rank);
            }
            if (left >= 8) {
                EnterPrefixChain(deep_heads[2], deep_links[2], PrefixHash<8>(at), p + 1, rank);
            }
        }
        if (left >= 6) {
            EnterPrefixChain(deep_heads[3], deep_links[3], PrefixHash<6>(at), p + 1, rank);
        }
        if (left >= 4) {
            EnterPrefixChain(deep_heads[4], deep_links[4], PrefixHash<4>(at), p + 1, rank);
        }
    }
}

void FileCompressor::PutLiteral(u32 byte)
{
    const HuffCode& code = lit_codes[byte];
    PutBits(code.bits, code.length);
    CountHuffmanSymbol(&lit_coder, byte);
}

void FileCompressor::PutMatch(u32 length, u32 distance)
{
    ExtraCoded len = LengthToSymbol(length);
    const HuffCode& lc = lit_codes[len.symbol];
    PutBits((static_cast<u32>(lc.bits) << len.extra_bits) | len.extra, lc.length + len.extra_bits);
    CountHuffmanSymbol(&lit_coder, len.symbol);
    ExtraCoded dist = DistanceToSymbol(distance);
    const HuffCode& dc = dist_codes[dist.symbol];
    PutBits((static_cast<u32>(dc.bits) << dist.extra_bits) | dist.extra, dc.length + dist.extra_bits);
    CountHuffmanSymbol(&dist_coder, dist.symbol);
}

// Bits go out most significant first; count is at most 31.
void FileCompressor::PutBits(u32 value, u32 count)
{
    bit_acc = (bit_acc << count) | value;
    bit_count += count;
    bits_put += count;
    if (bit_count >= 32) {
        bit_count -= 32;
        PutBe32(out_buffer + out_fill, static_cast<u32>(bit_acc >> bit_count));
        out_fill += 4;
        if (out_fill == kOutBufferSize) {
            FlushOut();
        }
    }
}

// The pending bits, completed with zero bits to whole 16-bit units.
void FileCompressor::FlushBits()
{
    u32 padded = (bit_count + 15) / 16 * 16;
    u64 value = bit_acc << (padded - bit_count);
    for (u32 shift = padded; shift > 0; shift -= 8) {
        if (out_fill == kOutBufferSize) {
            FlushOut();
        }
        out_buffer[out_fill++] = static_cast<u8>(value >> (shift - 8));
    }
    bit_acc = 0;
    bit_count = 0;
}

void FileCompressor::FlushOut()
{
    ends.Write(out_buffer, out_fill);
    out_fill = 0;
}

bool FileCompressor::ProgressStop()
{
    if (!ends.progress) {
        return false;
    }
    if (progress_steps++ <= kProgressSteps) {
        return false;
    }
    progress_steps = 0;
    // What a writer of one 16-bit unit at a time, always one unit behind, has written.
    u64 units = bits_put / 16;
    u64 written = sizeof(CompressedFileHeader) + (units > 0 ? 2 * (units - 1) : 0);
    u32 percent = static_cast<u32>(lookahead_end * 100 / size);
    return ends.progress(static_cast<u32>(lookahead_end), static_cast<u32>(written), percent) == 0;
}
