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

class FileDecompressor {
public:
    FileDecompressor();

    void Init();
    void SetInMemory(int flag);
    void SetOutMemory(int flag);
    void SetInPath(const char* path);
    void SetOutPath(const char* path);
    // Memory areas for the memory modes.
    void SetInData(const u8* data, u32 len);
    void SetOutData(u8* area, u32 capacity);
    void SetProgress(ProgressCallback callback);

    // 0 done; 1 not a container: no "QUMA" header, or a stream that is truncated, runs
    // past the stated size, refers before the start of the output or goes on after it;
    // 2 the input cannot be opened; 3 the output cannot be opened, is too small or fails
    // to write; 4 stopped by the progress callback; 5 a work area cannot be allocated.
    // Whenever the result is not 0 the output holds nothing.
    int Decompress();

    // The header's uncompressed length; 0 when the input cannot be opened or is no container.
    u32 GetOrigSize();
    u32 GetOutSize() const { return out_total; }

private:
    bool ReadHeader(u8* header);
    int DecodeStream();
    bool ReadUnit();
    bool ReadBits(u32 count, u32* value);
    bool DecodeSymbol(const HuffmanCoder* coder, u32* symbol);
    void FlushOutput();
    bool TrailerClean();
    bool ProgressStop();
    void CloseFiles();
    void EmptyOutput();

    u8* out_mem;
    u32 out_capacity;
    const u8* in_mem;
    u32 in_size;
    u64 out_total;
    u64 in_pos;
    u32 orig_size;
    int in_memory;
    int out_memory;
    FILE* in_file;
    FILE* out_file;
    char in_path[kCoderPathMax + 1];
    char out_path[kCoderPathMax + 1];
    bool in_path_too_long;
    bool out_path_too_long;

    u8* ring;
    u64 produced;
    u64 flushed;
    u32 bit_acc;
    u32 bits_left;
    HuffNode* lit_nodes;
    HuffNode* dist_nodes;
    HuffmanCoder lit_coder;
    HuffmanCoder dist_coder;

    bool aborted;
    bool write_failed;
    ProgressCallback progress;
};

#endif
