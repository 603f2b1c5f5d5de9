// The compressed container ("QUMA", the big-endian uncompressed size, then one bit
// stream) and FileCompressor, its encoder: LZ77 over a 64 KiB window with hash chains
// and one step of lazy matching, coded with two adaptive Huffman codes that the
// decoder rebuilds on the same schedule. The bit stream is a stored file format.
#ifndef ZV_FILE_COMPRESSOR_H
#define ZV_FILE_COMPRESSOR_H

#include "common.h"

#include <cstdio>
#include <functional>

struct CompressedFileHeader {
    char magic[4];    // "QUMA"
    u8 orig_size[4];  // uncompressed length, big-endian
};
static_assert(sizeof(CompressedFileHeader) == 8, "the container header is 8 bytes");

extern const char kContainerMagic[4];

const u32 kLitLenSymbols = 288;  // 0-255 literal bytes, 256-287 match lengths
const u32 kDistSymbols = 32;
const u32 kMinMatch = 3;
const u32 kMaxMatch = 514;
const u32 kMaxDistance = 65535;
const u32 kMaxCodeLength = 16;
const u32 kCoderPathMax = 260;

// Plain rebuild periods; from the 48th rebuild on every build halves the counts
// and the period grows 48 times.
const u32 kLitLenRebuildPeriod = 72;
const u32 kDistRebuildPeriod = 8;
const u32 kPlainRebuilds = 47;

// A symbol with the extra bits that follow its code.
struct ExtraCoded {
    u32 symbol;
    u32 extra_bits;
    u32 extra;
};

// Match length 3..514 and distance 1..65535 as symbol and extra bits.
ExtraCoded LengthToSymbol(u32 length);
ExtraCoded DistanceToSymbol(u32 distance);

// Tree node: leaves are 0 .. leaves - 1, so a walk stops at the first index below that.
struct HuffNode {
    u32 count;
    u16 child0;
    u16 child1;
};

struct HuffCode {
    u8 length;
    u16 bits;  // right-aligned, the bit nearest the root first
};

// One adaptive alphabet, identical in encoder and decoder.
struct HuffmanCoder {
    HuffNode* nodes;  // 2 * leaves - 1; the root is the last
    HuffCode* codes;  // one per leaf, or null when the encoder's codes are not wanted
    // The decoder's lookup by the next table_bits bits: (length << 16) | leaf for codes of
    // at most table_bits bits, else the internal node those bits lead to (length 0).
    u32* table;
    u32 table_bits;
    u32 leaves;
    u32 period;       // plain rebuild period
    u32 countdown;    // symbols left before the next rebuild
    u8 halving;       // the rebuilds now halve the counts
    u32 rebuilds;
    bool report_long; // print the notice when a code had to be flattened
};

// Binds the work areas; no counts are touched. No lookup table until one is attached.
void AttachHuffmanCoder(HuffmanCoder* coder, HuffNode* nodes, HuffCode* codes, u32 leaves, u32 period,
                        bool report_long);
// The table holds 1 << bits entries; bits is at most kMaxCodeLength.
void AttachHuffmanTable(HuffmanCoder* coder, u32* table, u32 bits);
// Every count 1, codes built, countdown at the plain period.
void StartHuffmanCoder(HuffmanCoder* coder);
// Builds tree and codes from the leaf counts, merging the two smallest counts, the lower
// index first among equals; leaves deeper than 16 scale the counts (c / 4 + 1) and the
// build starts again; a halving build then makes every count (c >> 1) + 1.
void BuildHuffmanCode(HuffmanCoder* coder, bool halving);
// The schedule's rebuild, once the countdown has run out.
void RebuildHuffmanCode(HuffmanCoder* coder);

// Counts one coded symbol and rebuilds when the schedule says so.
inline void CountHuffmanSymbol(HuffmanCoder* coder, u32 symbol)
{
    coder->nodes[symbol].count++;
    if (--coder->countdown == 0) {
        RebuildHuffmanCode(coder);
    }
}

// (bytes read, bytes written, percent done); returning 0 stops the run.
typedef std::function<int(u32, u32, u32)> ProgressCallback;

// The two ends of a compressor or decompressor run, each a file by path or a memory
// area, and what both coders do with them. Each coder holds one.
struct CoderEnds {
    const u8* in_mem = nullptr;
    u32 in_size = 0;
    u8* out_mem = nullptr;
    u32 out_capacity = 0;
    u64 out_total = 0;
    int in_memory = 0;
    int out_memory = 0;
    FILE* in_file = nullptr;
    FILE* out_file = nullptr;
    char in_path[kCoderPathMax + 1] = {};
    char out_path[kCoderPathMax + 1] = {};
    bool in_path_too_long = false;
    bool out_path_too_long = false;
    bool aborted = false;
    bool write_failed = false;
    ProgressCallback progress;
    // In the file modes, streams the caller opened and closes itself in place of the paths:
    // a run reads the input from its start and makes the output anew, and closes neither.
    FILE* given_in = nullptr;
    FILE* given_out = nullptr;

    void SetInPath(const char* path);
    void SetOutPath(const char* path);
    void SetInData(const u8* data, u32 len);
    void SetOutData(u8* area, u32 capacity);
    // The given input stream at its start, or the path opened; null when the path is too
    // long or the file cannot be opened.
    FILE* OpenInPath() const;
    // Closes what OpenInPath opened (never the given stream).
    void CloseIn(FILE* f) const;
    bool OpenOutFile();
    void CloseFiles();
    // Appends to the memory area or the file; a failure sticks in write_failed.
    void Write(const u8* data, size_t len);
    // Whatever the run wrote is dropped.
    void EmptyOutput();
};

// Frees a work area and leaves its pointer null, as outside a run.
template <typename T> void FreeWorkArea(T*& area)
{
    delete[] area;
    area = nullptr;
}

// The compressor's chains on prefixes of 32, 16, 8, 6 and 4 bytes.
const u32 kPrefixChains = 5;

class FileCompressor {
public:
    FileCompressor();
    FileCompressor(const FileCompressor&) = delete;
    FileCompressor& operator=(const FileCompressor&) = delete;

    // Back to a new compressor's settings. The work areas and the state of a run live only
    // while Compress runs, which sets them up itself.
    void Init();
    // chain_cap: 1 -> 4, 2 -> 16, 3 -> 64, 4 -> 4096, 5 -> 65535, anything else 1.
    void SetLevel(u32 level);
    void SetInMemory(int flag) { ends.in_memory = flag; }
    void SetOutMemory(int flag) { ends.out_memory = flag; }
    void SetInPath(const char* path) { ends.SetInPath(path); }
    void SetOutPath(const char* path) { ends.SetOutPath(path); }
    void SetInStream(FILE* f) { ends.given_in = f; }
    void SetOutStream(FILE* f) { ends.given_out = f; }
    // Memory areas for the memory modes; the output area must hold the whole container.
    void SetInData(const u8* data, u32 len) { ends.SetInData(data, len); }
    void SetOutData(u8* area, u32 capacity) { ends.SetOutData(area, capacity); }
    void SetProgress(ProgressCallback callback) { ends.progress = callback; }

    // 0 done, 2 the input cannot be opened or read, 3 the output cannot be opened or
    // written, 4 stopped by the progress callback, 5 a work area cannot be allocated.
    // Whenever the result is not 0 the output holds nothing.
    int Compress();

    u32 GetChainCap() const { return chain_cap; }
    u32 GetOutSize() const { return static_cast<u32>(ends.out_total); }

private:
    bool OpenFiles(int* result);
    bool AllocWorkAreas();
    void FreeWorkAreas();
    void MainLoop();
    bool Refill();
    u32 FindMatch(u32 p, u32 beat, u32* distance) const;
    u32 FindMatchDeep(u32 p, u32 beat, u32* distance) const;
    // Enters the positions from .. from + count - 1 into the chains.
    void Insert(u32 from, u32 count);
    void PutLiteral(u32 byte);
    void PutMatch(u32 length, u32 distance);
    void PutBits(u32 value, u32 count);
    void FlushBits();
    void FlushOut();
    bool ProgressStop();

    CoderEnds ends;
    u64 size = 0;
    u32 chain_cap;

    // Input bytes of positions base .. filled - 1: the caller's area itself in memory
    // mode, else a sliding buffer that keeps the window behind the current position.
    const u8* window = nullptr;
    u8* in_buffer = nullptr;
    u64 base = 0;
    u64 filled = 0;
    u64 pos = 0;
    u64 lookahead_end = 0;  // where the reads stood after the last refill, for progress

    // Hash chains on the first 3 bytes, which define the candidates: the newest position
    // per hash as position + 1 (0 for none), and per position (modulo 64 Ki) the step
    // back to the previous one with its hash.
    u32* heads = nullptr;
    u16* steps = nullptr;
    // With long chains, the candidates are looked up on chains keyed on longer prefixes,
    // where they are fewer. Per position, a link holds the step back (low 16 bits, as in
    // steps) and the low 16 bits of its rank among the insertions into its 3-byte chain,
    // which are counted, to tell whether the 3-byte chain still holds it.
    bool deep = false;
    u32* deep_heads[kPrefixChains] = {};
    u32* deep_links[kPrefixChains] = {};
    u32* inserted = nullptr;

    u64 bit_acc = 0;
    u32 bit_count = 0;  // pending bits in bit_acc
    u64 bits_put = 0;
    u8* out_buffer = nullptr;
    u32 out_fill = 0;

    HuffNode* lit_nodes = nullptr;
    HuffCode* lit_codes = nullptr;
    HuffNode* dist_nodes = nullptr;
    HuffCode* dist_codes = nullptr;
    HuffmanCoder lit_coder = {};
    HuffmanCoder dist_coder = {};

    bool read_failed = false;
};

#endif
