// The compressed container ("QUMA", the big-endian uncompressed size, then one bit
// stream) and FileCompressor, its encoder: LZ77 over a 128 KiB ring with hash chains
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
const u32 kCoderRingSize = 131072;
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

// Tree node; a leaf's child 0 is its own index, which is how a tree walk stops.
struct HuffNode {
    u32 count;
    u8 active;
    u16 parent;
    u16 child0;
    u16 child1;
    u8 bit;
};

struct HuffCode {
    u8 length;
    u16 bits;  // right-aligned, the bit nearest the root first
};

// One adaptive alphabet, identical in encoder and decoder.
struct HuffmanCoder {
    HuffNode* nodes;  // 2 * leaves - 1; the root is the last
    HuffCode* codes;  // one per leaf, or null when only the tree is walked
    u32 leaves;
    u32 period;       // plain rebuild period
    u32 countdown;    // symbols left before the next rebuild
    u8 halving;       // the rebuilds now halve the counts
    u32 rebuilds;
    bool report_long; // print the notice when a code had to be flattened
};

// Binds the work areas; no counts are touched.
void AttachHuffmanCoder(HuffmanCoder* coder, HuffNode* nodes, HuffCode* codes, u32 leaves, u32 period,
                        bool report_long);
// Every count 1, codes built, countdown at the plain period.
void StartHuffmanCoder(HuffmanCoder* coder);
// Builds tree and codes from the leaf counts; leaves deeper than 16 scale the counts
// (c / 4 + 1) and the build starts again; a halving build then makes every count (c >> 1) + 1.
void BuildHuffmanCode(HuffmanCoder* coder, bool halving);
// Counts one coded symbol and rebuilds when the schedule says so.
void CountHuffmanSymbol(HuffmanCoder* coder, u32 symbol);
u32 HuffmanRoot(const HuffmanCoder* coder);

// (bytes read, bytes written, percent done); returning 0 stops the run.
typedef std::function<int(u32, u32, u32)> ProgressCallback;

// The two ends of a compressor or decompressor run, each a file by path or a memory
// area, and what both do with them.
class CoderEnds {
public:
    void SetInMemory(int flag);
    void SetOutMemory(int flag);
    void SetInPath(const char* path);
    void SetOutPath(const char* path);
    void SetOutData(u8* area, u32 capacity);
    void SetProgress(ProgressCallback callback);

    u32 GetOutSize() const { return out_total; }

protected:
    CoderEnds();

    void ResetEnds();
    // Null when the path is too long or the file cannot be opened.
    FILE* OpenInPath() const;
    bool OpenOutFile();
    void CloseFiles();
    // Whatever the run wrote is dropped.
    void EmptyOutput();

    const u8* in_mem;
    u8* out_mem;
    u32 out_capacity;
    u64 in_pos;
    u64 out_total;
    int in_memory;
    int out_memory;
    FILE* in_file;
    FILE* out_file;
    char in_path[kCoderPathMax + 1];
    char out_path[kCoderPathMax + 1];
    bool in_path_too_long;
    bool out_path_too_long;
    bool aborted;
    bool write_failed;
    ProgressCallback progress;
};

class FileCompressor : public CoderEnds {
public:
    FileCompressor();

    void Init();
    // chain_cap: 1 -> 4, 2 -> 16, 3 -> 64, 4 -> 4096, 5 -> 65535, anything else 1.
    void SetLevel(u32 level);
    // Memory areas for the memory modes; the output area must hold the whole container.
    void SetInData(const u8* data, u32 len);

    // 0 done, 2 the input cannot be opened or read, 3 the output cannot be opened or
    // written, 4 stopped by the progress callback, 5 a work area cannot be allocated.
    // Whenever the result is not 0 the output holds nothing.
    int Compress();

    u32 GetChainCap() const { return chain_cap; }

private:
    struct ChainNode {
        u32 position;
        u16 next;  // older
        u16 prev;  // newer; the head's points at the tail
    };

    bool OpenFiles(int* result);
    bool AllocWorkAreas();
    void FreeWorkAreas();
    void MainLoop();
    void Refill();
    u32 FindMatch(u64 p, u32 beat, u32* distance) const;
    void InsertPosition(u64 p);
    u32 HashAt(u64 p) const;
    void PutLiteral(u8 byte);
    void PutMatch(u32 length, u32 distance);
    void PutSymbol(HuffmanCoder* coder, u32 symbol);
    void PutBits(u32 value, u32 count);
    void FlushBits();
    void Output(const u8* data, u32 len);
    bool ProgressStop();

    u64 size;

    u8* ring;
    u64 pos;
    u64 lookahead;
    u64 fill_pos;
    u8* staging;
    u32 staging_count;
    u32 bit_acc;
    u16 bit_room;
    u32 chain_cap;
    u16* chain_heads;
    u32* chain_lengths;
    ChainNode* nodes;
    u16* free_stack;
    u32 free_count;
    HuffNode* lit_nodes;
    HuffCode* lit_codes;
    HuffNode* dist_nodes;
    HuffCode* dist_codes;
    HuffmanCoder lit_coder;
    HuffmanCoder dist_coder;

    bool read_failed;
};

#endif
