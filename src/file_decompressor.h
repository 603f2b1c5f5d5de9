// FileDecompressor: expands a compressed container of file_compressor.h. It mirrors the
// encoder's adaptive codes and reads untrusted input: every code is checked against the
// output so far and the stated size, and the stream must end exactly where the data does.
#ifndef ZV_FILE_DECOMPRESSOR_H
#define ZV_FILE_DECOMPRESSOR_H

#include "common.h"
#include "file_compressor.h"

#include <cstdio>

// Extra bits after a length symbol (256..287) and the match length they complete.
u32 LengthExtraBits(u32 symbol);
u32 MatchLength(u32 symbol, u32 extra);
// Extra bits after a distance symbol (1..31) and the distance they complete.
u32 DistanceExtraBits(u32 symbol);
u32 MatchDistance(u32 symbol, u32 extra);

class FileDecompressor : public CoderEnds {
public:
    FileDecompressor();

    void Init();
    // Memory area for the memory mode.
    void SetInData(const u8* data, u32 len);

    // 0 done; 1 not a container: no "QUMA" header, or a stream that is truncated, runs
    // past the stated size, refers before the start of the output or goes on after it;
    // 2 the input cannot be opened; 3 the output cannot be opened, is too small or fails
    // to write; 4 stopped by the progress callback; 5 a work area cannot be allocated.
    // Whenever the result is not 0 the output holds nothing.
    int Decompress();

    // The header's uncompressed length; 0 when the input cannot be opened or is no container.
    u32 GetOrigSize();

private:
    bool ReadHeader(u8* header);
    int DecodeStream();
    bool ReadUnit();
    bool ReadBits(u32 count, u32* value);
    bool DecodeSymbol(const HuffmanCoder* coder, u32* symbol);
    void FlushOutput();
    bool TrailerClean();
    bool ProgressStop();

    u32 in_size;
    u32 orig_size;

    u8* ring;
    u64 produced;
    u64 flushed;
    u32 bit_acc;
    u32 bits_left;
    HuffNode* lit_nodes;
    HuffNode* dist_nodes;
    HuffmanCoder lit_coder;
    HuffmanCoder dist_coder;
};

#endif
