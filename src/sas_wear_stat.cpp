#include "sas_wear_stat.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "decode_util.h"
#include "disk_discovery.h"
#include "file_utils.h"
#include "settings.h"
#include "vendor_table_decoder.h"

const char* WearLevelEntry::TypeName() const
{
    const char* name = BlockTypeName(Type(), newer);
    return name != nullptr ? name : "Unknown   ";
}

namespace {

// The table as disk_geometry describes it, checked against the caller's buffer.
struct WearTable {
    const u8* data;
    u32 channels;
    u32 ces;
    u32 blocks;
    u32 bitmap_words;
    u64 entry_size;
    bool newer;
    u32 skipped;  // leading blocks of every (channel, CE) the statistics leave out

    WearLevelEntry At(u32 ce, u32 channel, u32 block) const
    {
        const u64 number = (static_cast<u64>(ce) * channels + channel) * blocks + block;
        WearLevelEntry e;
        memcpy(&e.info, data + number * entry_size + 4ull * bitmap_words, sizeof(e.info));
        e.newer = newer;
        return e;
    }
};

bool LoadWearTable(WearTable& t, const u8* table, u32 len)
{
    if (table == nullptr) {
        return false;
    }
    t.data = table;
    t.channels = disk_geometry.channel;
    t.ces = disk_geometry.ce;
    t.blocks = disk_geometry.block;
    t.bitmap_words = WearLevelEntry::BitmapWords(disk_geometry.page_num);
    t.entry_size = WearLevelEntry::Size(disk_geometry.page_num);
    t.newer = disk_model_code != 0;
    // No blocks would leave the statistics rows unbounded by the table's length, and
    // no channels or CEs leave the older skip count undefined.
    if (t.channels == 0 || t.ces == 0 || t.blocks == 0) {
        return false;
    }
    // The geometry is the drive's word: a product that wraps must not pass for short
    // (every factor is above 0: the entry size is at least 4).
    if (MulSat(MulSat(MulSat(t.channels, t.ces), t.blocks), t.entry_size) > len) {
        return false;
    }
    if (!t.newer) {
        t.skipped = 512 / (t.channels * t.ces);  // no wrap: the length bounds the product
    } else {
        t.skipped = t.channels == 10 ? 25 : 16;
    }
    return true;
}

struct CeWearStatistics {
    u32 count;
    u32 maximum;
    u32 minimum;
    u32 average;
    u64 devsq;
};

CeWearStatistics Statistics(const WearTable& t, u32 ce, u32 channel)
{
    u32 count = 0;
    u32 maximum = 0;
    u32 minimum = 0;
    // 64 bits: a u32 sum of many large erase counts would wrap and spoil the average.
    u64 sum = 0;
    u64 sum_sq = 0;
    for (u32 block = t.skipped; block < t.blocks; block++) {
        const WearLevelEntry e = t.At(ce, channel, block);
        if (e.Bad()) {
            continue;
        }
        const u32 x = e.EraseCount();
        if (count == 0 || x > maximum) {
            maximum = x;
        }
        if (count == 0 || x < minimum) {
            minimum = x;
        }
        count++;
        sum += x;
        sum_sq += static_cast<u64>(x) * x;
    }
    CeWearStatistics s = {count, maximum, minimum, 0, 0};
    if (count != 0) {
        const u64 average = sum / count;
        s.average = static_cast<u32>(average);
        s.devsq = (sum_sq - count * average * average) / count;
    }
    return s;
}

// Only a regular file or a symbolic link (the link, not its target, goes) is replaced;
// this runs as root, and a directory, device node, FIFO or socket under the name is
// not the operator's old dump.
bool ReplaceableOrAbsent(const char* name)
{
    struct stat st;
    if (lstat(name, &st) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
}

// Replaces the dump file by bytes. The old file goes first, as the file is opened for
// appending; one that cannot be removed, or a new one that cannot be written in full,
// fails the call, and a partial new file is removed again.
bool ReplaceFile(const char* name, const char* mode, const std::string& bytes)
{
    if (!ReplaceableOrAbsent(name)) {
        return false;
    }
    if (remove(name) != 0 && errno != ENOENT) {
        return false;
    }
    // Something planted in between is not written through either.
    FILE* f = OpenRegularFileToWrite(name, mode, nullptr);
    if (f == nullptr) {
        return false;
    }
    const bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = fclose(f) == 0;
    if (!written || !closed) {
        remove(name);
        return false;
    }
    return true;
}

}  // namespace

bool PrintCeWearStatistics(std::string& out, const u8* table, u32 len)
{
    WearTable t;
    if (!LoadWearTable(t, table, len)) {
        return false;
    }
    std::string text = " ch, ce, blk_cnt, max, min, average, devsq\n";
    for (u32 ce = 0; ce < t.ces; ce++) {
        for (u32 ch = 0; ch < t.channels; ch++) {
            const CeWearStatistics s = Statistics(t, ce, ch);
            AppendF(text, "%u, %u,    %u,  %u,  %u,    %u,     %llu\n", ch, ce, s.count, s.maximum, s.minimum,
                    s.average, static_cast<unsigned long long>(s.devsq));
        }
    }
    text += "\n\n";
    for (u32 ce = 0; ce < t.ces; ce++) {
        for (u32 ch = 0; ch < t.channels; ch++) {
            AppendF(text, "ch%02u_ce%02u,", ch, ce);
        }
    }
    text += "\n";
    for (u32 block = t.skipped; block < t.blocks; block++) {
        for (u32 ce = 0; ce < t.ces; ce++) {
            for (u32 ch = 0; ch < t.channels; ch++) {
                AppendF(text, "%-10u,", t.At(ce, ch, block).EraseCount());
            }
        }
        text += "\n";
    }
    out = text;
    return true;
}

bool SaveWitTable(std::string& out, const u8* table, u32 len, u32)
{
    WearTable t;
    if (!LoadWearTable(t, table, len)) {
        return false;
    }
    std::string text = " ch  ce   blk_cnt   max  min   average   devsq\n";
    std::string file;
    file.reserve(static_cast<size_t>(t.channels) * t.ces * t.blocks * sizeof(u32));
    for (u32 ce = 0; ce < t.ces; ce++) {
        for (u32 ch = 0; ch < t.channels; ch++) {
            for (u32 block = 0; block < t.blocks; block++) {
                const u32 erase_count = t.At(ce, ch, block).EraseCount();
                file.append(reinterpret_cast<const char*>(&erase_count), sizeof(erase_count));
            }
            const CeWearStatistics s = Statistics(t, ce, ch);
            AppendF(text, "%2u %2u    %4u  %4u  %4u    %4u     %llu\n", ch, ce, s.count, s.maximum, s.minimum,
                    s.average, static_cast<unsigned long long>(s.devsq));
        }
    }
    if (!ReplaceFile(kWitTableFile, "ab+", file)) {
        return false;
    }
    out = text;
    return true;
}

bool SaveBlockTable(std::string& out, const u8* table, u32 len, u32 indent)
{
    WearTable t;
    if (!LoadWearTable(t, table, len)) {
        return false;
    }
    std::string file;
    AppendF(file, "**** Total Channel = %d, Total CE = %d, Total Block = %d ****\n", static_cast<int>(t.channels),
            static_cast<int>(t.ces), static_cast<int>(t.blocks));
    for (u32 ce = 0; ce < t.ces; ce++) {
        for (u32 ch = 0; ch < t.channels; ch++) {
            AppendF(file, "     ******* ch=%d ce=%d*******\n", static_cast<int>(ch), static_cast<int>(ce));
            for (u32 block = 0; block < t.blocks; block++) {
                const WearLevelEntry e = t.At(ce, ch, block);
                AppendF(file, "Blk = %4u    EraseCnt = 0x%4X     Invalid = 0x%2X   Type = %s \n", block,
                        e.EraseCount(), e.InvalidPages(), e.TypeName());
            }
        }
    }
    if (!ReplaceFile(kBlockTableFile, "at+", file)) {
        return false;
    }
    out += ParseIndent(indent) + "Original binary data is saved to " + kBlockTableFile + "\n";
    return true;
}
