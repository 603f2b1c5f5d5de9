#include "file_decompressor.h"

#include "decode_util.h"

#include <cstring>
#include <new>

namespace {

const u32 kProgressSteps = 4096;
// Decoding tables: codes up to this long are found with one look-up.
const u32 kLitTableBits = 10;
const u32 kDistTableBits = 8;
// The longest token: a 16-bit length code, 6 extra bits, a 16-bit distance code and 14
// extra bits. One refill before each token covers it.
const u32 kMaxTokenBits = 52;
// A refill tops bit_acc up to at least 56 bits.
static_assert(kMaxTokenBits <= 56, "one refill before each token");
const u64 kInBufferSize = 65536;
// The file output buffer keeps a full window behind the output position, and room for a
// longest match with the slack of the 8-byte copies.
const u64 kHistory = 65536;
const u64 kOutBufferSize = kHistory + 262144;
const u64 kCopySlack = 8;

// Shared by every run in the process, as the callback cadence does not restart per file.
u32 progress_steps = 0;

} // namespace

u32 LengthExtraBits(u32 symbol)
{
    return symbol < 264 ? 0 : ((symbol - 264) >> 2) + 1;
}

u32 MatchLength(u32 symbol, u32 extra)
{
    if (symbol < 264) {
        return symbol - 256 + kMinMatch;
    }
    u32 n = LengthExtraBits(symbol);
    return (1u << ((symbol >> 2) - 63)) + extra + ((symbol & 3) << n) + kMinMatch;
}

u32 DistanceExtraBits(u32 symbol)
{
    return symbol < 4 ? 0 : ((symbol - 4) >> 1) + 1;
}

u32 MatchDistance(u32 symbol, u32 extra)
{
    if (symbol < 4) {
        return symbol;
    }
    return (1u << (symbol >> 1)) + extra + ((symbol & 1) << ((symbol >> 1) - 1));
}

FileDecompressor::FileDecompressor()
{
    Init();
}

void FileDecompressor::Init()
{
    ends = CoderEnds();
}

bool FileDecompressor::ReadHeader(FILE* f, u32* size) const
{
    u8 header[sizeof(CompressedFileHeader)];
    if (ends.in_memory == 1) {
        if (ends.in_mem == nullptr || ends.in_size < sizeof(header)) {
            return false;
        }
        memcpy(header, ends.in_mem, sizeof(header));
    } else if (fread(header, 1, sizeof(header), f) != sizeof(header)) {
        return false;
    }
    if (memcmp(header, kContainerMagic, 4) != 0) {
        return false;
    }
    *size = ReadBe32(header + 4);
    return true;
}

u32 FileDecompressor::GetOrigSize()
{
    FILE* f = nullptr;
    if (ends.in_memory != 1) {
        f = ends.OpenInPath();
        if (f == nullptr) {
            return 0;
        }
    }
    u32 size = 0;
    bool ok = ReadHeader(f, &size);
    ends.CloseIn(f);
    return ok ? size : 0;
}

bool FileDecompressor::AllocWorkAreas()
{
    if (ends.in_memory != 1) {
        in_buffer = new (std::nothrow) u8[kInBufferSize];
    }
    if (ends.out_memory != 1) {
        out_buffer = new (std::nothrow) u8[kOutBufferSize];
    }
    lit_nodes = new (std::nothrow) HuffNode[2 * kLitLenSymbols - 1];
    dist_nodes = new (std::nothrow) HuffNode[2 * kDistSymbols - 1];
    lit_table = new (std::nothrow) u32[1u << kLitTableBits];
    dist_table = new (std::nothrow) u32[1u << kDistTableBits];
    return (ends.in_memory == 1 || in_buffer != nullptr) && (ends.out_memory == 1 || out_buffer != nullptr) &&
           lit_nodes != nullptr && dist_nodes != nullptr && lit_table != nullptr && dist_table != nullptr;
}

void FileDecompressor::FreeWorkAreas()
{
    FreeWorkArea(in_buffer);
    FreeWorkArea(out_buffer);
    FreeWorkArea(lit_nodes);
    FreeWorkArea(dist_nodes);
    FreeWorkArea(lit_table);
    FreeWorkArea(dist_table);
    stream = nullptr;
    out = nullptr;
}

int FileDecompressor::Decompress()
{
    ends.aborted = false;
    ends.write_failed = false;
    ends.out_total = 0;
    if (ends.in_memory == 1) {
        if (ends.in_mem == nullptr && ends.in_size > 0) {
            return 2;
        }
    } else {
        ends.in_file = ends.OpenInPath();
        if (ends.in_file == nullptr) {
            return 2;
        }
    }
    if (ends.out_memory != 1) {
        if (!ends.OpenOutFile()) {
            ends.CloseFiles();
            return 3;
        }
    }
    produced = 0;
    flushed = 0;
    bit_acc = 0;
    bit_count = 0;
    past_end = 0;

    if (!ReadHeader(ends.in_file, &orig_size)) {
        ends.CloseFiles();
        ends.EmptyOutput();
        return 1;
    }
    if (ends.out_memory == 1 && orig_size > ends.out_capacity) {
        ends.CloseFiles();
        ends.EmptyOutput();
        return 3;
    }

    int result = 5;
    if (AllocWorkAreas()) {
        if (ends.in_memory == 1) {
            stream = ends.in_mem + sizeof(CompressedFileHeader);
            stream_len = ends.in_size - sizeof(CompressedFileHeader);
            stream_eof = true;
        } else {
            stream = in_buffer;
            stream_len = 0;
            stream_eof = false;
        }
        stream_next = 0;
        stream_base = 0;
        if (ends.out_memory == 1) {
            // Nothing past the stated size is touched, not even by the slack of a copy.
            out = ends.out_mem;
            out_size = orig_size;
        } else {
            out = out_buffer;
            out_size = kOutBufferSize;
        }
        out_base = 0;
        AttachHuffmanCoder(&lit_coder, lit_nodes, nullptr, kLitLenSymbols, kLitLenRebuildPeriod, false);
        AttachHuffmanCoder(&dist_coder, dist_nodes, nullptr, kDistSymbols, kDistRebuildPeriod, false);
        AttachHuffmanTable(&lit_coder, lit_table, kLitTableBits);
        AttachHuffmanTable(&dist_coder, dist_table, kDistTableBits);
        StartHuffmanCoder(&lit_coder);
        StartHuffmanCoder(&dist_coder);
        result = DecodeStream();
    }
    FreeWorkAreas();

    ends.CloseFiles();
    if (result == 0 && ends.write_failed) {
        result = 3;
    }
    if (result != 0) {
        ends.EmptyOutput();
    }
    return result;
}

int FileDecompressor::DecodeStream()
{
    // The stream may only use whole 16-bit units of the input.
    u64 limit = 0;
    u64 tokens = 0;
    int result = 0;
    while (produced < orig_size) {
        if (produced - out_base + kMaxMatch + kCopySlack > out_size && !MakeRoom()) {
            result = 3;
            break;
        }
        Refill();
        u32 symbol = DecodeSymbol(&lit_coder);
        CountHuffmanSymbol(&lit_coder, symbol);
        if (symbol < 256) {
            out[produced - out_base] = static_cast<u8>(symbol);
            produced++;
        } else {
            u32 length = MatchLength(symbol, TakeBits(LengthExtraBits(symbol)));
            u32 dist_symbol = DecodeSymbol(&dist_coder);
            CountHuffmanSymbol(&dist_coder, dist_symbol);
            u32 distance = MatchDistance(dist_symbol, TakeBits(DistanceExtraBits(dist_symbol)));
            // Distance 0 and bytes before the start do not exist; a match may not end past the size.
            if (distance == 0 || distance > produced || length > orig_size - produced) {
                result = 1;
                break;
            }
            u8* dst = out + (produced - out_base);
            const u8* src = dst - distance;
            if (distance >= 8 && produced - out_base + length + kCopySlack <= out_size) {
                // Whole words, each from bytes already in place; the few written past the
                // match are overwritten by what follows.
                for (u32 i = 0; i < length; i += 8) {
                    memcpy(dst + i, src + i, 8);
                }
            } else if (distance == 1) {
                memset(dst, *src, length);
            } else {
                for (u32 i = 0; i < length; i++) {
                    dst[i] = src[i];
                }
            }
            produced += length;
        }
        if (past_end > 0) {
            if (limit == 0) {
                limit = (stream_base + stream_len) / 2 * 16;
            }
            if (BitsConsumed() > limit) {
                result = 1;
                break;
            }
        }
        if (ends.progress) {
            if (ProgressStop()) {
                ends.aborted = true;
                result = 4;
                break;
            }
        } else {
            tokens++;
        }
    }
    // Without a callback the steps are only counted.
    progress_steps = static_cast<u32>((progress_steps + tokens) % (kProgressSteps + 2));
    if (result != 0) {
        return result;
    }
    FlushOutput();
    if (ends.write_failed) {
        return 3;
    }
    return TrailerClean() ? 0 : 1;
}

// At least kMaxTokenBits bits in bit_acc; past the end of the input they are zero.
inline void FileDecompressor::Refill()
{
    if (stream_next + 8 <= stream_len) {
        // Bits below bit_count already in bit_acc are the same stream bits, so OR keeps them.
        bit_acc |= ReadBe64(stream + stream_next) >> bit_count;
        u32 bytes = (63 - bit_count) >> 3;
        stream_next += bytes;
        bit_count += bytes * 8;
        return;
    }
    RefillSlow();
}

void FileDecompressor::RefillSlow()
{
    if (!stream_eof) {
        u64 rest = stream_len - stream_next;
        memmove(in_buffer, in_buffer + stream_next, rest);
        stream_base += stream_next;
        stream_next = 0;
        stream_len = rest;
        while (stream_len < kInBufferSize) {
            size_t got = fread(in_buffer + stream_len, 1, kInBufferSize - stream_len, ends.in_file);
            if (got == 0) {
                // A read error ends the input as end of file does.
                stream_eof = true;
                break;
            }
            stream_len += got;
        }
        if (stream_next + 8 <= stream_len) {
            Refill();
            return;
        }
    }
    while (bit_count <= 56) {
        if (stream_next < stream_len) {
            bit_acc |= static_cast<u64>(stream[stream_next++]) << (56 - bit_count);
        } else {
            past_end++;
        }
        bit_count += 8;
    }
}

inline u32 FileDecompressor::DecodeSymbol(const HuffmanCoder* coder)
{
    const u32 bits = coder->table_bits;
    u32 entry = coder->table[bit_acc >> (64 - bits)];
    u32 length = entry >> 16;
    if (length != 0) {
        bit_acc <<= length;
        bit_count -= length;
        return entry & 0xFFFF;
    }
    // A code longer than the table: walk the tree from where the table left off.
    bit_acc <<= bits;
    bit_count -= bits;
    u32 n = entry;
    const HuffNode* nodes = coder->nodes;
    while (n >= coder->leaves) {
        n = (bit_acc >> 63) != 0 ? nodes[n].child1 : nodes[n].child0;
        bit_acc <<= 1;
        bit_count--;
    }
    return n;
}

inline u32 FileDecompressor::TakeBits(u32 count)
{
    // Two shifts, so that a count of 0 gives 0.
    u32 v = static_cast<u32>((bit_acc >> 32) >> (32 - count));
    bit_acc <<= count;
    bit_count -= count;
    return v;
}

u64 FileDecompressor::BitsConsumed() const
{
    return (stream_base + stream_next + past_end) * 8 - bit_count;
}

// Makes room in the file output buffer for one more token, writing out what it holds.
bool FileDecompressor::MakeRoom()
{
    if (ends.out_memory == 1) {
        // The area holds the whole output.
        return true;
    }
    FlushOutput();
    if (ends.write_failed) {
        return false;
    }
    u64 keep = produced - out_base > kHistory ? produced - kHistory : out_base;
    memmove(out_buffer, out_buffer + (keep - out_base), produced - keep);
    out_base = keep;
    return true;
}

void FileDecompressor::FlushOutput()
{
    if (ends.out_memory == 1) {
        // Decoded in place.
        ends.out_total = produced;
    } else {
        ends.Write(out + (flushed - out_base), produced - flushed);
    }
    flushed = produced;
}

// The encoder pads its last unit with zero bits and writes nothing after it; anything
// else means the stated size is shorter than the stream.
bool FileDecompressor::TrailerClean()
{
    u64 units = (BitsConsumed() + 15) / 16;
    u32 pad = static_cast<u32>(units * 16 - BitsConsumed());
    if (pad > 0) {
        Refill();
        if ((bit_acc >> (64 - pad)) != 0) {
            return false;
        }
    }
    u64 stream_bytes = stream_base + stream_len;
    while (!stream_eof && stream_bytes <= 2 * units) {
        u8 scratch[256];
        size_t got = fread(scratch, 1, sizeof(scratch), ends.in_file);
        if (got == 0) {
            stream_eof = true;
        }
        stream_bytes += got;
    }
    return stream_bytes == 2 * units;
}

bool FileDecompressor::ProgressStop()
{
    if (progress_steps++ <= kProgressSteps) {
        return false;
    }
    progress_steps = 0;
    // What a reader of one 16-bit unit at a time has read, header included.
    u64 read = sizeof(CompressedFileHeader) + (BitsConsumed() + 15) / 16 * 2;
    u32 percent = static_cast<u32>(produced * 100 / orig_size);
    return ends.progress(static_cast<u32>(read), static_cast<u32>(produced), percent) == 0;
}
