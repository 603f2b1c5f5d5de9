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
    FileDecompressor(const FileDecompressor&) = delete;
    FileDecompressor& operator=(const FileDecompressor&) = delete;

    // Back to a new decompressor's settings. The work areas and the state of a run live
    // only while Decompress runs, which sets them up itself.
    void Init();
    void SetInMemory(int flag) { ends.in_memory = flag; }
    void SetOutMemory(int flag) { ends.out_memory = flag; }
    void SetInPath(const char* path) { ends.SetInPath(path); }
    void SetOutPath(const char* path) { ends.SetOutPath(path); }
    void SetInStream(FILE* f) { ends.given_in = f; }
    void SetOutStream(FILE* f) { ends.given_out = f; }
    // Memory areas for the memory modes.
    void SetInData(const u8* data, u32 len) { ends.SetInData(data, len); }
    void SetOutData(u8* area, u32 capacity) { ends.SetOutData(area, capacity); }
    void SetProgress(ProgressCallback callback) { ends.progress = callback; }

    // 0 done; 1 not a container: no "QUMA" header, or a stream that is truncated, runs
    // past the stated size, refers before the start of the output or goes on after it;
    // 2 the input cannot be opened; 3 the output cannot be opened, is too small or fails
    // to write; 4 stopped by the progress callback; 5 a work area cannot be allocated.
    // Whenever the result is not 0 the output holds nothing.
    int Decompress();

    // The header's uncompressed length; 0 when the input cannot be opened or is no container.
    u32 GetOrigSize();

    u32 GetOutSize() const { return static_cast<u32>(ends.out_total); }

private:
    // The stated size from a "QUMA" header at the start of the memory area, or read from f.
    bool ReadHeader(FILE* f, u32* size) const;
    bool AllocWorkAreas();
    void FreeWorkAreas();
    int DecodeStream();
    void Refill();
    void RefillSlow();
    u32 DecodeSymbol(const HuffmanCoder* coder);
    u32 TakeBits(u32 count);
    u64 BitsConsumed() const;
    bool MakeRoom();
    void FlushOutput();
    bool TrailerClean();
    bool ProgressStop();

    CoderEnds ends;
    u32 orig_size = 0;

    // Stream bytes (after the header): the caller's area in memory mode, else a buffer
    // refilled from the file. stream_base counts the stream bytes before stream[0].
    const u8* stream = nullptr;
    u8* in_buffer = nullptr;
    u64 stream_len = 0;
    u64 stream_next = 0;
    u64 stream_base = 0;
    bool stream_eof = false;  // every byte of the input is in or before the buffer
    u64 past_end = 0;         // zero bytes taken beyond the end of the input

    // Most significant bits first: bit_acc's top bit_count bits are the next ones.
    u64 bit_acc = 0;
    u32 bit_count = 0;

    // Output bytes of positions out_base .. produced - 1: the caller's area in memory
    // mode, else a buffer that keeps 64 KiB behind the output position.
    u8* out = nullptr;
    u64 out_size = 0;
    u8* out_buffer = nullptr;
    u64 out_base = 0;
    u64 produced = 0;
    u64 flushed = 0;

    HuffNode* lit_nodes = nullptr;
    HuffNode* dist_nodes = nullptr;
    u32* lit_table = nullptr;
    u32* dist_table = nullptr;
    HuffmanCoder lit_coder = {};
    HuffmanCoder dist_coder = {};
};

#endif
