#include "file_compressor.h"

#include <cstring>
#include <new>

const char kContainerMagic[4] = {'Q', 'U', 'M', 'A'};

namespace {

const u16 kNoNode = 0xFFFF;
const u32 kHashSize = 65536;
const u32 kPoolSize = 65535;
// A position older than this many bytes leaves the window as the next one enters.
const u64 kWindow = 65534;
// The lazy search at pos + 1 reads up to pos + 1 + 514, and hashing the last
// position passed over reads pos + 516.
const u64 kLookahead = 517;
const u32 kStagingSize = 16;
const u32 kProgressSteps = 4096;
const char kCodeTooLong[] = "\n\nDamnit - huffman code too long\n";

// Shared by every run in the process, as the callback cadence does not restart per file.
u32 progress_steps = 0;

u32 Log2(u32 v)
{
    u32 n = 0;
    while (v > 1) {
        v >>= 1;
        n++;
    }
    return n;
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

void AttachHuffmanCoder(HuffmanCoder* coder, HuffNode* nodes, HuffCode* codes, u32 leaves, u32 period,
                        bool report_long)
{
    coder->nodes = nodes;
    coder->codes = codes;
    coder->leaves = leaves;
    coder->period = period;
    coder->countdown = period;
    coder->halving = 0;
    coder->rebuilds = 0;
    coder->report_long = report_long;
}

u32 HuffmanRoot(const HuffmanCoder* coder)
{
    return 2 * coder->leaves - 2;
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
    for (;;) {
        for (u32 i = 0; i < leaves; i++) {
            nodes[i].active = 1;
            nodes[i].parent = kNoNode;
            nodes[i].child0 = static_cast<u16>(i);
            nodes[i].child1 = static_cast<u16>(i);
            nodes[i].bit = 0;
        }
        for (u32 k = leaves; k < total; k++) {
            // Strict comparisons keep the lowest index among equal counts.
            u32 first = kNoNode;
            u32 second = kNoNode;
            for (u32 i = 0; i < k; i++) {
                if (!nodes[i].active) {
                    continue;
                }
                if (first == kNoNode || nodes[i].count < nodes[first].count) {
                    second = first;
                    first = i;
                } else if (second == kNoNode || nodes[i].count < nodes[second].count) {
                    second = i;
                }
            }
            nodes[first].active = 0;
            nodes[second].active = 0;
            nodes[first].parent = static_cast<u16>(k);
            nodes[first].bit = 0;
            nodes[second].parent = static_cast<u16>(k);
            nodes[second].bit = 1;
            nodes[k].count = nodes[first].count + nodes[second].count;
            nodes[k].active = 1;
            nodes[k].parent = kNoNode;
            nodes[k].child0 = static_cast<u16>(first);
            nodes[k].child1 = static_cast<u16>(second);
            nodes[k].bit = 0;
        }
        u32 deepest = 0;
        for (u32 i = 0; i < leaves; i++) {
            u32 depth = 0;
            for (u32 n = i; nodes[n].parent != kNoNode; n = nodes[n].parent) {
                depth++;
            }
            if (depth > deepest) {
                deepest = depth;
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
            u32 length = 0;
            u32 bits = 0;
            for (u32 n = i; nodes[n].parent != kNoNode; n = nodes[n].parent) {
                bits |= static_cast<u32>(nodes[n].bit) << length;
                length++;
            }
            coder->codes[i].length = static_cast<u8>(length);
            coder->codes[i].bits = static_cast<u16>(bits);
        }
    }
    if (halving) {
        for (u32 i = 0; i < leaves; i++) {
            nodes[i].count = (nodes[i].count >> 1) + 1;
        }
    }
}

void CountHuffmanSymbol(HuffmanCoder* coder, u32 symbol)
{
    coder->nodes[symbol].count++;
    if (--coder->countdown != 0) {
        return;
    }
    if (coder->rebuilds != 0xFFFFFFFFu) {
        coder->rebuilds++;
    }
    if (coder->rebuilds > kPlainRebuilds) {
        coder->halving = 1;
    }
    coder->countdown = coder->halving ? coder->period * (kPlainRebuilds + 1) : coder->period;
    BuildHuffmanCode(coder, coder->halving != 0);
}

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

} // namespace

CoderEnds::CoderEnds()
{
    ResetEnds();
}

void CoderEnds::ResetEnds()
{
    in_mem = nullptr;
    out_mem = nullptr;
    out_capacity = 0;
    in_pos = 0;
    out_total = 0;
    in_memory = 0;
    out_memory = 0;
    in_file = nullptr;
    out_file = nullptr;
    in_path[0] = '\0';
    out_path[0] = '\0';
    in_path_too_long = false;
    out_path_too_long = false;
    aborted = false;
    write_failed = false;
    progress = nullptr;
}

void CoderEnds::SetInMemory(int flag)
{
    in_memory = flag;
}

void CoderEnds::SetOutMemory(int flag)
{
    out_memory = flag;
}

void CoderEnds::SetInPath(const char* path)
{
    in_path_too_long = CopyPath(in_path, path);
}

void CoderEnds::SetOutPath(const char* path)
{
    out_path_too_long = CopyPath(out_path, path);
}

void CoderEnds::SetOutData(u8* area, u32 capacity)
{
    out_mem = area;
    out_capacity = area == nullptr ? 0 : capacity;
}

void CoderEnds::SetProgress(ProgressCallback callback)
{
    progress = callback;
}

FILE* CoderEnds::OpenInPath() const
{
    return in_path_too_long ? nullptr : fopen(in_path, "rb");
}

bool CoderEnds::OpenOutFile()
{
    out_file = out_path_too_long ? nullptr : fopen(out_path, "w+b");
    return out_file != nullptr;
}

void CoderEnds::CloseFiles()
{
    if (in_file != nullptr) {
        fclose(in_file);
        in_file = nullptr;
    }
    if (out_file != nullptr) {
        // Buffered data reaches the file only at close, so a failed close is a failed write.
        if (fclose(out_file) != 0) {
            write_failed = true;
        }
        out_file = nullptr;
    }
}

void CoderEnds::EmptyOutput()
{
    out_total = 0;
    if (out_memory != 1) {
        // Reopening for writing truncates: a failed run leaves no partial output.
        FILE* f = fopen(out_path, "wb");
        if (f != nullptr) {
            fclose(f);
        }
    }
}

FileCompressor::FileCompressor()
{
    Init();
}

void FileCompressor::Init()
{
    ResetEnds();
    size = 0;
    ring = nullptr;
    pos = 0;
    lookahead = 0;
    fill_pos = 0;
    staging = nullptr;
    staging_count = 0;
    bit_acc = 0;
    bit_room = 32;
    chain_heads = nullptr;
    chain_lengths = nullptr;
    nodes = nullptr;
    free_stack = nullptr;
    free_count = 0;
    lit_nodes = nullptr;
    lit_codes = nullptr;
    dist_nodes = nullptr;
    dist_codes = nullptr;
    memset(&lit_coder, 0, sizeof(lit_coder));
    memset(&dist_coder, 0, sizeof(dist_coder));
    read_failed = false;
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

void FileCompressor::SetInData(const u8* data, u32 len)
{
    in_mem = data;
    size = len;
}

bool FileCompressor::OpenFiles(int* result)
{
    if (in_memory == 1) {
        if (in_mem == nullptr && size > 0) {
            *result = 2;
            return false;
        }
    } else {
        size = 0;
        in_file = OpenInPath();
        if (in_file == nullptr) {
            *result = 2;
            return false;
        }
        long len = -1;
        if (fseek(in_file, 0, SEEK_END) == 0) {
            len = ftell(in_file);
        }
        // The header holds the length in 32 bits; a longer file cannot be stored.
        if (len < 0 || static_cast<unsigned long>(len) > 0xFFFFFFFFul || fseek(in_file, 0, SEEK_SET) != 0) {
            fclose(in_file);
            in_file = nullptr;
            *result = 2;
            return false;
        }
        size = static_cast<u64>(len);
    }
    if (out_memory != 1) {
        if (!OpenOutFile()) {
            CloseFiles();
            *result = 3;
            return false;
        }
    }
    return true;
}

bool FileCompressor::AllocWorkAreas()
{
    ring = new (std::nothrow) u8[kCoderRingSize];
    staging = new (std::nothrow) u8[kStagingSize];
    chain_heads = new (std::nothrow) u16[kHashSize];
    chain_lengths = new (std::nothrow) u32[kHashSize];
    nodes = new (std::nothrow) ChainNode[kPoolSize];
    free_stack = new (std::nothrow) u16[kPoolSize];
    lit_nodes = new (std::nothrow) HuffNode[2 * kLitLenSymbols - 1];
    lit_codes = new (std::nothrow) HuffCode[kLitLenSymbols];
    dist_nodes = new (std::nothrow) HuffNode[2 * kDistSymbols - 1];
    dist_codes = new (std::nothrow) HuffCode[kDistSymbols];
    if (ring == nullptr || staging == nullptr || chain_heads == nullptr || chain_lengths == nullptr ||
        nodes == nullptr || free_stack == nullptr || lit_nodes == nullptr || lit_codes == nullptr ||
        dist_nodes == nullptr || dist_codes == nullptr) {
        FreeWorkAreas();
        return false;
    }
    memset(ring, 0, kCoderRingSize);
    return true;
}

void FileCompressor::FreeWorkAreas()
{
    delete[] ring;
    delete[] staging;
    delete[] chain_heads;
    delete[] chain_lengths;
    delete[] nodes;
    delete[] free_stack;
    delete[] lit_nodes;
    delete[] lit_codes;
    delete[] dist_nodes;
    delete[] dist_codes;
    ring = nullptr;
    staging = nullptr;
    chain_heads = nullptr;
    chain_lengths = nullptr;
    nodes = nullptr;
    free_stack = nullptr;
    lit_nodes = nullptr;
    lit_codes = nullptr;
    dist_nodes = nullptr;
    dist_codes = nullptr;
}

int FileCompressor::Compress()
{
    int result = 0;
    aborted = false;
    read_failed = false;
    write_failed = false;
    if (!OpenFiles(&result)) {
        out_total = 0;
        return result;
    }
    in_pos = 0;
    out_total = 0;
    pos = 0;
    lookahead = 0;
    fill_pos = 0;
    staging_count = 0;
    bit_acc = 0;
    bit_room = 32;
    if (!AllocWorkAreas()) {
        CloseFiles();
        EmptyOutput();
        return 5;
    }

    u8 header[sizeof(CompressedFileHeader)];
    memcpy(header, kContainerMagic, 4);
    header[4] = static_cast<u8>(size >> 24);
    header[5] = static_cast<u8>(size >> 16);
    header[6] = static_cast<u8>(size >> 8);
    header[7] = static_cast<u8>(size);
    Output(header, sizeof(header));

    AttachHuffmanCoder(&lit_coder, lit_nodes, lit_codes, kLitLenSymbols, kLitLenRebuildPeriod, true);
    AttachHuffmanCoder(&dist_coder, dist_nodes, dist_codes, kDistSymbols, kDistRebuildPeriod, true);
    StartHuffmanCoder(&lit_coder);
    StartHuffmanCoder(&dist_coder);
    for (u32 h = 0; h < kHashSize; h++) {
        chain_heads[h] = kNoNode;
        chain_lengths[h] = 0;
    }
    for (u32 i = 0; i < kPoolSize; i++) {
        free_stack[i] = static_cast<u16>(kPoolSize - 1 - i);
    }
    free_count = kPoolSize;

    MainLoop();

    FreeWorkAreas();
    CloseFiles();
    if (aborted) {
        result = 4;
    } else if (read_failed) {
        result = 2;
    } else if (write_failed) {
        result = 3;
    }
    if (result != 0) {
        EmptyOutput();
    }
    return result;
}

void FileCompressor::MainLoop()
{
    const u64 end = size >= 4 ? size - 4 : 0;
    while (pos < end && !read_failed && !write_failed) {
        Refill();
        if (read_failed) {
            return;
        }
        u32 d1 = 0;
        u32 l1 = FindMatch(pos, 0, &d1);
        u64 advance = 1;
        if (l1 > 0) {
            u32 d2 = 0;
            u32 l2 = FindMatch(pos + 1, l1, &d2);
            if (l1 + 1 < l2) {
                PutLiteral(ring[pos % kCoderRingSize]);
                PutMatch(l2, d2);
                advance = l2 + 1;
            } else {
                PutMatch(l1, d1);
                advance = l1;
            }
        } else {
            PutLiteral(ring[pos % kCoderRingSize]);
        }
        for (u64 i = 0; i < advance; i++) {
            InsertPosition(pos + i);
        }
        pos += advance;
        lookahead -= advance;
        if (ProgressStop()) {
            aborted = true;
            return;
        }
    }
    while (pos < size && !read_failed && !write_failed) {
        Refill();
        if (read_failed) {
            return;
        }
        PutLiteral(ring[pos % kCoderRingSize]);
        pos++;
        lookahead--;
    }
    FlushBits();
}

void FileCompressor::Refill()
{
    u64 want = kLookahead - lookahead;
    if (want > size - in_pos) {
        want = size - in_pos;
    }
    while (want > 0) {
        u64 slot = fill_pos % kCoderRingSize;
        u64 chunk = want < kCoderRingSize - slot ? want : kCoderRingSize - slot;
        if (in_memory == 1) {
            memcpy(ring + slot, in_mem + in_pos, chunk);
        } else if (fread(ring + slot, 1, chunk, in_file) != chunk) {
            // The file shrank or failed under us: its length no longer matches the header.
            read_failed = true;
            return;
        }
        fill_pos += chunk;
        in_pos += chunk;
        lookahead += chunk;
        want -= chunk;
    }
}

u32 FileCompressor::HashAt(u64 p) const
{
    u32 b0 = ring[p % kCoderRingSize];
    u32 b1 = ring[(p + 1) % kCoderRingSize];
    u32 b2 = ring[(p + 2) % kCoderRingSize];
    return (b0 ^ (b1 << 7) ^ (b2 << 11)) & 0xFFFF;
}

u32 FileCompressor::FindMatch(u64 p, u32 beat, u32* distance) const
{
    u32 best = beat;
    for (u16 n = chain_heads[HashAt(p)]; n != kNoNode && best < kMaxMatch; n = nodes[n].next) {
        u64 c = nodes[n].position;
        if (best > 0 && p + best < size && ring[(c + best) % kCoderRingSize] != ring[(p + best) % kCoderRingSize]) {
            continue;
        }
        u32 i = 0;
        while (i < kMaxMatch && p + i < size && ring[(c + i) % kCoderRingSize] == ring[(p + i) % kCoderRingSize]) {
            i++;
        }
        if (i > best) {
            best = i;
            *distance = static_cast<u32>(p - c);
        }
    }
    return best < kMinMatch ? 0 : best;
}

void FileCompressor::InsertPosition(u64 p)
{
    // The hash of the last two positions would read past the input; no search
    // ever looks them up, since the main loop has ended by then.
    if (p + 2 >= size) {
        return;
    }
    if (p >= kWindow) {
        u64 q = p - kWindow;
        u32 h = HashAt(q);
        u16 head = chain_heads[h];
        if (head != kNoNode) {
            u16 tail = nodes[head].prev;
            if (nodes[tail].position <= q) {
                if (chain_lengths[h] == 1) {
                    chain_heads[h] = kNoNode;
                } else {
                    u16 new_tail = nodes[tail].prev;
                    nodes[new_tail].next = kNoNode;
                    nodes[head].prev = new_tail;
                }
                free_stack[free_count++] = tail;
                chain_lengths[h]--;
            }
        }
    }
    u32 h = HashAt(p);
    u16 head = chain_heads[h];
    u32 position = static_cast<u32>(p);
    if (head == kNoNode) {
        // The window holds at most 65534 positions, so the pool of 65535 never runs dry.
        ZV_CHECK(free_count > 0);
        u16 n = free_stack[--free_count];
        nodes[n].position = position;
        nodes[n].next = kNoNode;
        nodes[n].prev = n;
        chain_heads[h] = n;
        chain_lengths[h] = 1;
    } else if (chain_cap == 1) {
        nodes[head].position = position;
    } else if (chain_lengths[h] >= chain_cap) {
        u16 tail = nodes[head].prev;
        u16 new_tail = nodes[tail].prev;
        nodes[new_tail].next = kNoNode;
        nodes[tail].position = position;
        nodes[tail].next = head;
        nodes[tail].prev = new_tail;
        nodes[head].prev = tail;
        chain_heads[h] = tail;
    } else {
        ZV_CHECK(free_count > 0);
        u16 n = free_stack[--free_count];
        nodes[n].position = position;
        nodes[n].next = head;
        nodes[n].prev = nodes[head].prev;
        nodes[head].prev = n;
        chain_heads[h] = n;
        chain_lengths[h]++;
    }
}

void FileCompressor::PutLiteral(u8 byte)
{
    PutSymbol(&lit_coder, byte);
}

void FileCompressor::PutMatch(u32 length, u32 distance)
{
    ExtraCoded len = LengthToSymbol(length);
    PutBits(lit_codes[len.symbol].bits, lit_codes[len.symbol].length);
    PutBits(len.extra, len.extra_bits);
    CountHuffmanSymbol(&lit_coder, len.symbol);
    ExtraCoded dist = DistanceToSymbol(distance);
    PutBits(dist_codes[dist.symbol].bits, dist_codes[dist.symbol].length);
    PutBits(dist.extra, dist.extra_bits);
    CountHuffmanSymbol(&dist_coder, dist.symbol);
}

void FileCompressor::PutSymbol(HuffmanCoder* coder, u32 symbol)
{
    PutBits(coder->codes[symbol].bits, coder->codes[symbol].length);
    CountHuffmanSymbol(coder, symbol);
}

void FileCompressor::PutBits(u32 value, u32 count)
{
    for (u32 i = count; i > 0; i--) {
        bit_acc = (bit_acc << 1) | ((value >> (i - 1)) & 1);
        if (--bit_room == 0) {
            staging[staging_count++] = static_cast<u8>(bit_acc >> 24);
            staging[staging_count++] = static_cast<u8>(bit_acc >> 16);
            bit_room = 16;
            Output(staging, staging_count);
            staging_count = 0;
        }
    }
}

void FileCompressor::FlushBits()
{
    if (bit_room >= 32) {
        return;
    }
    u32 acc = bit_acc << bit_room;
    while (bit_room < 32) {
        staging[staging_count++] = static_cast<u8>(acc >> 24);
        staging[staging_count++] = static_cast<u8>(acc >> 16);
        acc <<= 16;
        bit_room += 16;
    }
    Output(staging, staging_count);
    staging_count = 0;
    bit_acc = 0;
    bit_room = 32;
}

void FileCompressor::Output(const u8* data, u32 len)
{
    if (write_failed) {
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

bool FileCompressor::ProgressStop()
{
    if (!progress) {
        return false;
    }
    if (progress_steps++ <= kProgressSteps) {
        return false;
    }
    progress_steps = 0;
    u32 percent = static_cast<u32>(in_pos * 100 / size);
    return progress(static_cast<u32>(in_pos), static_cast<u32>(out_total), percent) == 0;
}
