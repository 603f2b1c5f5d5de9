#include "file_decompressor.h"

#include <cstring>
#include <new>

namespace {

const u32 kProgressSteps = 4096;

// Shared by every run in the process, as the callback cadence does not restart per file.
u32 progress_steps = 0;

u32 BigEndian32(const u8* p)
{
    return (static_cast<u32>(p[0]) << 24) | (static_cast<u32>(p[1]) << 16) | (static_cast<u32>(p[2]) << 8) | p[3];
}

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
    ResetEnds();
    in_size = 0;
    orig_size = 0;
    ring = nullptr;
    produced = 0;
    flushed = 0;
    bit_acc = 0;
    bits_left = 0;
    lit_nodes = nullptr;
    dist_nodes = nullptr;
    memset(&lit_coder, 0, sizeof(lit_coder));
    memset(&dist_coder, 0, sizeof(dist_coder));
}

void FileDecompressor::SetInData(const u8* data, u32 len)
{
    in_mem = data;
    in_size = len;
}

bool FileDecompressor::ReadHeader(u8* header)
{
    const u32 len = sizeof(CompressedFileHeader);
    if (in_memory == 1) {
        if (in_size - in_pos < len) {
            return false;
        }
        memcpy(header, in_mem + in_pos, len);
    } else if (fread(header, 1, len, in_file) != len) {
        return false;
    }
    in_pos += len;
    return true;
}

u32 FileDecompressor::GetOrigSize()
{
    u8 header[sizeof(CompressedFileHeader)];
    bool ok;
    if (in_memory == 1) {
        ok = in_mem != nullptr && in_size >= sizeof(header);
        if (ok) {
            memcpy(header, in_mem, sizeof(header));
        }
    } else {
        FILE* f = OpenInPath();
        if (f == nullptr) {
            return 0;
        }
        ok = fread(header, 1, sizeof(header), f) == sizeof(header);
        fclose(f);
    }
    if (!ok || memcmp(header, kContainerMagic, 4) != 0) {
        return 0;
    }
    return BigEndian32(header + 4);
}

int FileDecompressor::Decompress()
{
    aborted = false;
    write_failed = false;
    out_total = 0;
    if (in_memory == 1) {
        if (in_mem == nullptr && in_size > 0) {
            return 2;
        }
    } else {
        in_file = OpenInPath();
        if (in_file == nullptr) {
            return 2;
        }
    }
    if (out_memory != 1) {
        if (!OpenOutFile()) {
            CloseFiles();
            return 3;
        }
    }
    in_pos = 0;
    produced = 0;
    flushed = 0;
    bit_acc = 0;
    bits_left = 0;

    u8 header[sizeof(CompressedFileHeader)];
    if (!ReadHeader(header) || memcmp(header, kContainerMagic, 4) != 0) {
        CloseFiles();
        EmptyOutput();
        return 1;
    }
    orig_size = BigEndian32(header + 4);
    if (out_memory == 1 && orig_size > out_capacity) {
        CloseFiles();
        EmptyOutput();
        return 3;
    }

    ring = new (std::nothrow) u8[kCoderRingSize];
    lit_nodes = new (std::nothrow) HuffNode[2 * kLitLenSymbols - 1];
    dist_nodes = new (std::nothrow) HuffNode[2 * kDistSymbols - 1];
    int result = 0;
    if (ring == nullptr || lit_nodes == nullptr || dist_nodes == nullptr) {
        result = 5;
    } else {
        AttachHuffmanCoder(&lit_coder, lit_nodes, nullptr, kLitLenSymbols, kLitLenRebuildPeriod, false);
        AttachHuffmanCoder(&dist_coder, dist_nodes, nullptr, kDistSymbols, kDistRebuildPeriod, false);
        StartHuffmanCoder(&lit_coder);
        StartHuffmanCoder(&dist_coder);
        result = DecodeStream();
    }
    delete[] ring;
    delete[] lit_nodes;
    delete[] dist_nodes;
    ring = nullptr;
    lit_nodes = nullptr;
    dist_nodes = nullptr;

    CloseFiles();
    if (result == 0 && write_failed) {
        result = 3;
    }
    if (result != 0) {
        EmptyOutput();
    }
    return result;
}

int FileDecompressor::DecodeStream()
{
    while (produced < orig_size) {
        u32 symbol = 0;
        if (!DecodeSymbol(&lit_coder, &symbol)) {
            return 1;
        }
        CountHuffmanSymbol(&lit_coder, symbol);
        if (symbol < 256) {
            ring[produced % kCoderRingSize] = static_cast<u8>(symbol);
            produced++;
        } else {
            u32 extra = 0;
            if (!ReadBits(LengthExtraBits(symbol), &extra)) {
                return 1;
            }
            u32 length = MatchLength(symbol, extra);
            u32 dist_symbol = 0;
            if (!DecodeSymbol(&dist_coder, &dist_symbol)) {
                return 1;
            }
            CountHuffmanSymbol(&dist_coder, dist_symbol);
            if (!ReadBits(DistanceExtraBits(dist_symbol), &extra)) {
                return 1;
            }
            u32 distance = MatchDistance(dist_symbol, extra);
            // Distance 0 and bytes before the start do not exist; a match may not end past the size.
            if (distance == 0 || distance > produced || length > orig_size - produced) {
                return 1;
            }
            for (u32 i = 0; i < length; i++) {
                ring[produced % kCoderRingSize] = ring[(produced - distance) % kCoderRingSize];
                produced++;
            }
        }
        FlushOutput();
        if (write_failed) {
            return 3;
        }
        if (ProgressStop()) {
            aborted = true;
            return 4;
        }
    }
    return TrailerClean() ? 0 : 1;
}

bool FileDecompressor::ReadUnit()
{
    u8 unit[2];
    if (in_memory == 1) {
        if (in_size - in_pos < 2) {
            return false;
        }
        unit[0] = in_mem[in_pos];
        unit[1] = in_mem[in_pos + 1];
    } else {
        int hi = fgetc(in_file);
        int lo = hi == EOF ? EOF : fgetc(in_file);
        if (lo == EOF) {
            return false;
        }
        unit[0] = static_cast<u8>(hi);
        unit[1] = static_cast<u8>(lo);
    }
    in_pos += 2;
    bit_acc = (static_cast<u32>(unit[0]) << 8) | unit[1];
    bits_left = 16;
    return true;
}

bool FileDecompressor::ReadBits(u32 count, u32* value)
{
    u32 v = 0;
    for (u32 i = 0; i < count; i++) {
        if (bits_left == 0 && !ReadUnit()) {
            return false;
        }
        bits_left--;
        v = (v << 1) | ((bit_acc >> bits_left) & 1);
    }
    *value = v;
    return true;
}

bool FileDecompressor::DecodeSymbol(const HuffmanCoder* coder, u32* symbol)
{
    u32 n = HuffmanRoot(coder);
    while (coder->nodes[n].child0 != n) {
        u32 bit = 0;
        if (!ReadBits(1, &bit)) {
            return false;
        }
        n = bit ? coder->nodes[n].child1 : coder->nodes[n].child0;
    }
    *symbol = n;
    return true;
}

void FileDecompressor::FlushOutput()
{
    while (flushed < produced && !write_failed) {
        u64 slot = flushed % kCoderRingSize;
        u64 chunk = produced - flushed;
        if (chunk > kCoderRingSize - slot) {
            chunk = kCoderRingSize - slot;
        }
        if (out_memory == 1) {
            memcpy(out_mem + out_total, ring + slot, chunk);
        } else if (fwrite(ring + slot, 1, chunk, out_file) != chunk) {
            write_failed = true;
            return;
        }
        out_total += chunk;
        flushed += chunk;
    }
}

// The encoder pads its last unit with zero bits and writes nothing after it; anything
// else means the stated size is shorter than the stream.
bool FileDecompressor::TrailerClean()
{
    if (bits_left > 0 && (bit_acc & ((1u << bits_left) - 1)) != 0) {
        return false;
    }
    if (in_memory == 1) {
        return in_pos == in_size;
    }
    return fgetc(in_file) == EOF;
}

bool FileDecompressor::ProgressStop()
{
    if (progress_steps++ <= kProgressSteps) {
        return false;
    }
    progress_steps = 0;
    if (!progress) {
        return false;
    }
    u32 percent = static_cast<u32>(out_total * 100 / orig_size);
    return progress(static_cast<u32>(in_pos), static_cast<u32>(out_total), percent) == 0;
}
