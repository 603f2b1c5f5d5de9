// Coder benchmark: builds a drive-like one-key bundle of a given size (the twelve items
// with their 152-byte headers), compresses it file to file and expands it again, and
// prints the speed of each level next to gzip on the same bundle. CPU time is measured,
// the best of several rounds, since the machine it runs on may be busy.
//
//   zv_bench [--size MiB] [--levels 4|0-6|1,2,4] [--rounds N] [--no-gzip] [--keep DIR]
#include "file_compressor.h"
#include "file_decompressor.h"
#include "file_utils.h"
#include "one_key_info.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

typedef std::vector<u8> Bytes;

void PutLe(u8* p, u64 v, u32 n)
{
    for (u32 i = 0; i < n; i++) {
        p[i] = static_cast<u8>(v >> (8 * i));
    }
}

void PutText(u8* p, const char* s, size_t max)
{
    size_t n = strlen(s);
    memcpy(p, s, n < max ? n : max);
}

// Item contents. Each generator fills `len` bytes the way a drive's answer looks.

Bytes IdentifyPage(std::mt19937& rng)
{
    Bytes s(512, 0);
    const char serial[] = "QM2410A0012345      ";
    const char model[] = "QUMA-K4410TR0100 SSD 1920GB             ";
    for (u32 i = 0; i + 1 < sizeof(serial); i += 2) {
        s[20 + i] = static_cast<u8>(serial[i + 1]);
        s[21 + i] = static_cast<u8>(serial[i]);
    }
    for (u32 i = 0; i + 1 < sizeof(model); i += 2) {
        s[54 + i] = static_cast<u8>(model[i + 1]);
        s[55 + i] = static_cast<u8>(model[i]);
    }
    static const u16 words[][2] = {{0, 0x0040}, {49, 0x2F00}, {53, 0x0007}, {60, 0xFFFF}, {61, 0x0FFF},
                                   {75, 0x001F}, {76, 0xE70E}, {80, 0x07F0}, {82, 0x746B}, {83, 0x7D69},
                                   {84, 0x6163}, {85, 0x7469}, {86, 0xBC41}, {88, 0x407F}, {217, 0x0001}};
    for (const auto& w : words) {
        PutLe(&s[w[0] * 2], w[1], 2);
    }
    PutLe(&s[200], 3750748848ull, 8);
    s[510] = 0xA5;
    s[511] = static_cast<u8>(rng());
    return s;
}

Bytes SmartPage(std::mt19937& rng, bool thresholds)
{
    static const u8 ids[] = {1, 5, 9, 12, 160, 161, 163, 164, 165, 166, 167, 168, 169, 175,
                             176, 177, 178, 181, 182, 192, 194, 195, 196, 197, 198, 199, 241, 242};
    Bytes s(512, 0);
    PutLe(&s[0], 0x0010, 2);
    for (u32 a = 0; a < sizeof(ids); a++) {
        u8* e = &s[2 + a * 12];
        e[0] = ids[a];
        if (thresholds) {
            e[1] = static_cast<u8>(a % 3 == 0 ? 10 : 0);
            continue;
        }
        PutLe(e + 1, a % 4 == 0 ? 0x0033 : 0x0032, 2);
        e[3] = 100;
        e[4] = 100;
        PutLe(e + 5, a % 5 == 0 ? rng() % 100000 : a % 3 == 0 ? rng() % 64 : 0, 6);
    }
    u8 sum = 0;
    for (u32 i = 0; i < 511; i++) {
        sum = static_cast<u8>(sum + s[i]);
    }
    s[511] = static_cast<u8>(0x100 - sum);
    return s;
}

// 64-byte event records: a time stamp that creeps up, an event code from a small set, a
// few parameters, and now and then a short message in text.
Bytes VendorLog(std::mt19937& rng, size_t len, u32 seed_shift)
{
    static const char* const messages[] = {"power cycle", "read retry level 3", "program fail, block retired",
                                           "thermal throttle on", "thermal throttle off", "gc start", "gc done",
                                           "uncorrectable ECC", "erase fail", "wear leveling moved block"};
    Bytes s(len, 0);
    u64 stamp = 0x0000017A00000000ull + seed_shift;
    u32 seq = 0;
    for (size_t at = 0; at + 64 <= len; at += 64) {
        u8* r = &s[at];
        stamp += 1 + rng() % 3000;
        u32 event = rng() % 16;
        PutLe(r, stamp, 8);
        PutLe(r + 8, seq++, 4);
        PutLe(r + 12, 0x8000u + event, 2);
        PutLe(r + 14, rng() % 4, 2);
        PutLe(r + 16, rng() % 8, 1);
        PutLe(r + 18, rng() % 2048, 2);
        PutLe(r + 20, rng() % 512, 2);
        if (event < 10) {
            PutText(r + 24, messages[event], 40);
        } else if (event < 13) {
            PutLe(r + 24, rng(), 4);
            PutLe(r + 28, rng() % 65536, 4);
        }
    }
    return s;
}

// The firmware's own event log in text lines.
Bytes TextLog(std::mt19937& rng, size_t len)
{
    static const char* const what[] = {"host reset", "link up 6.0 Gbps", "link down", "cache flush",
                                       "spare blocks", "read disturb refresh", "temperature", "queue full",
                                       "security unlock", "trim range"};
    std::string s;
    u32 ms = 1000;
    while (s.size() < len) {
        ms += rng() % 5000;
        char line[128];
        u32 w = rng() % 10;
        u32 unit = rng() % 4;
        u32 value = static_cast<u32>(w < 5 ? rng() % 100 : rng() % 65536);
        snprintf(line, sizeof(line), "%10u.%03u [%u] %s: %u\n", ms / 1000, ms % 1000, unit, what[w], value);
        s += line;
    }
    s.resize(len);
    return Bytes(s.begin(), s.end());
}

// Erase counts per block: close to the mean, a few worn further.
Bytes WearTable(std::mt19937& rng, size_t len)
{
    Bytes s(len, 0);
    for (size_t at = 0; at + 4 <= len; at += 4) {
        u32 count = 1200 + rng() % 64;
        if (rng() % 50 == 0) {
            count += rng() % 3000;
        }
        PutLe(&s[at], count, 4);
    }
    return s;
}

// Sorted (die, plane, block) entries of retired blocks, the rest of the table zero.
Bytes BadBlockTable(std::mt19937& rng, size_t len)
{
    Bytes s(len, 0);
    size_t used = len / 3;
    u32 block = 0;
    for (size_t at = 0; at + 8 <= used; at += 8) {
        block += 1 + rng() % 400;
        PutLe(&s[at], (block >> 12) & 0x3F, 2);
        PutLe(&s[at + 2], (block >> 10) & 3, 2);
        PutLe(&s[at + 4], block & 0x3FF, 4);
    }
    return s;
}

// One state byte per block: mostly free, runs of used and a few flagged.
Bytes FlagTable(std::mt19937& rng, size_t len)
{
    Bytes s(len, 0);
    size_t at = 0;
    while (at < len) {
        size_t run = 1 + rng() % 300;
        u8 v = rng() % 10 < 6 ? 0x00 : rng() % 4 != 0 ? 0x01 : static_cast<u8>(0x80 | (rng() % 8));
        for (size_t i = 0; i < run && at < len; i++, at++) {
            s[at] = v;
        }
    }
    return s;
}

// Free block numbers, ascending, as 32-bit entries.
Bytes BlankBlockTable(std::mt19937& rng, size_t len)
{
    Bytes s(len, 0);
    u32 block = 16;
    for (size_t at = 0; at + 4 <= len; at += 4) {
        block += 1 + (rng() % 8 == 0 ? rng() % 40 : 0);
        PutLe(&s[at], block, 4);
    }
    return s;
}

// A ring of 32-byte index entries (slot, logical range, physical block, version) with a
// zeroed gap where the ring has not been written yet.
Bytes RingTable(std::mt19937& rng, size_t len)
{
    Bytes s(len, 0);
    size_t written = len - len / 5;
    u32 version = 1;
    for (size_t at = 0; at + 32 <= written; at += 32) {
        u32 slot = static_cast<u32>(at / 32);
        PutLe(&s[at], slot, 4);
        PutLe(&s[at + 4], slot * 1024u, 4);
        PutLe(&s[at + 8], 0x10000u + rng() % 8192, 4);
        PutLe(&s[at + 12], version += rng() % 3, 4);
        PutLe(&s[at + 16], 0x5A5A5A5Au, 4);
    }
    return s;
}

Bytes PendList(std::mt19937& rng, size_t len)
{
    Bytes s(len, 0);
    for (size_t at = 0; at + 8 <= len / 16; at += 8) {
        PutLe(&s[at], rng() % 3750748848u, 8);
    }
    return s;
}

// The plain one-key file: the twelve items in list order, each header then its data,
// the vendor logs and tables taking most of the size, as on a large drive.
Bytes Bundle(size_t size)
{
    std::mt19937 rng(4410);
    // Share of the size per list row in thousandths; the rest fills the vendor log.
    static const u32 shares[kOneKeyInfoItems] = {0, 0, 0, 0, 0, 280, 80, 60, 60, 40, 160, 20};
    Bytes out;
    for (u32 row = 0; row < kOneKeyInfoItems; row++) {
        OneKeyInfoItem item = one_key_info_list[row];
        size_t len = size / 1000 * shares[row] / 64 * 64;
        Bytes data;
        switch (row) {
        case 0: data = IdentifyPage(rng); break;
        case 1: break;
        case 2: data = SmartPage(rng, false); break;
        case 3: data = SmartPage(rng, true); break;
        case 4: {
            size_t rest = size;
            for (u32 r = 0; r < kOneKeyInfoItems; r++) {
                rest -= size / 1000 * shares[r] / 64 * 64;
            }
            // Headers and the three 512-byte sectors.
            rest = rest > 12 * sizeof(OneKeyInfoItem) + 3 * 512 ? rest - 12 * sizeof(OneKeyInfoItem) - 3 * 512 : 64;
            data = VendorLog(rng, rest, 0);
            break;
        }
        case 5: {
            data = VendorLog(rng, len / 2 / 64 * 64, 7);
            Bytes text = TextLog(rng, len - data.size());
            data.insert(data.end(), text.begin(), text.end());
            break;
        }
        case 6: data = FlagTable(rng, len); break;
        case 7: data = BlankBlockTable(rng, len); break;
        case 8: data = RingTable(rng, len); break;
        case 9: data = BadBlockTable(rng, len); break;
        case 10: data = WearTable(rng, len); break;
        default: data = PendList(rng, len); break;
        }
        item.data_len = static_cast<u32>(data.size());
        const u8* h = reinterpret_cast<const u8*>(&item);
        out.insert(out.end(), h, h + sizeof(item));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ChildCpuSeconds()
{
    rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

// The whole file equals b.
bool FileHolds(const std::string& path, const Bytes& b)
{
    u32 len = 0;
    if (!GetFileLen(path.c_str(), &len, nullptr) || len != b.size()) {
        return false;
    }
    Bytes got(len);
    return ReadFileData(path.c_str(), got.data(), len, nullptr) && got == b;
}

long FileSize(const std::string& path)
{
    u32 len = 0;
    return GetFileLen(path.c_str(), &len, nullptr) ? static_cast<long>(len) : -1;
}

double MBps(size_t bytes, double seconds)
{
    return seconds > 0 ? bytes / 1e6 / seconds : 0;
}

// Best CPU time of `rounds` runs of a shell command (its children included).
double TimeCommand(const std::string& cmd, u32 rounds, bool* ok)
{
    double best = -1;
    *ok = true;
    for (u32 r = 0; r < rounds; r++) {
        double t0 = ChildCpuSeconds();
        int rc = system(cmd.c_str());
        double t = ChildCpuSeconds() - t0;
        if (rc != 0) {
            *ok = false;
            return 0;
        }
        if (best < 0 || t < best) {
            best = t;
        }
    }
    return best;
}

bool ParseLevels(const char* s, std::vector<u32>* levels)
{
    levels->clear();
    std::string text = s;
    size_t at = 0;
    while (at < text.size()) {
        size_t comma = text.find(',', at);
        std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        size_t dash = part.find('-');
        u32 lo = static_cast<u32>(atoi(part.c_str()));
        u32 hi = dash == std::string::npos ? lo : static_cast<u32>(atoi(part.c_str() + dash + 1));
        if (part.empty() || hi < lo || hi > 255) {
            return false;
        }
        for (u32 l = lo; l <= hi; l++) {
            levels->push_back(l);
        }
        at = comma == std::string::npos ? text.size() : comma + 1;
    }
    return !levels->empty();
}

int Usage()
{
    fprintf(stderr, "usage: zv_bench [--size MiB] [--levels 4|0-6|1,2,4] [--rounds N] [--no-gzip] [--keep DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    double mib = 4;
    std::vector<u32> levels = {4};
    u32 rounds = 3;
    bool gzip = true;
    std::string keep;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--size" && has_value) {
            mib = atof(argv[++i]);
        } else if (a == "--levels" && has_value) {
            if (!ParseLevels(argv[++i], &levels)) {
                return Usage();
            }
        } else if (a == "--rounds" && has_value) {
            rounds = static_cast<u32>(atoi(argv[++i]));
        } else if (a == "--keep" && has_value) {
            keep = argv[++i];
        } else if (a == "--no-gzip") {
            gzip = false;
        } else {
            return Usage();
        }
    }
    if (mib <= 0 || mib > 4000 || rounds == 0) {
        return Usage();
    }

    std::string dir = keep;
    if (dir.empty()) {
        char tmpl[] = "/tmp/zv_bench_XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            perror("mkdtemp");
            return 1;
        }
        dir = tmpl;
    } else {
        mkdir(dir.c_str(), 0775);
    }
    const std::string plain = dir + "/bundle.bin";
    const std::string packed = dir + "/bundle.qma";
    const std::string back = dir + "/bundle.out";

    Bytes bundle = Bundle(static_cast<size_t>(mib * 1024 * 1024));
    if (!WriteFileData(plain.c_str(), bundle.data(), static_cast<u32>(bundle.size()), "wb", nullptr)) {
        fprintf(stderr, "cannot write %s\n", plain.c_str());
        return 1;
    }
    printf("bundle: %zu bytes, twelve one-key items; CPU time, best of %u%s\n", bundle.size(), rounds,
           gzip ? "; gzip without its start-up" : "");
    printf("%-10s %10s %7s %10s %10s %10s %10s\n", "coder", "output", "ratio", "comp s", "comp MB/s", "decomp s",
           "decomp MB/s");

    int status = 0;
    for (u32 level : levels) {
        double best_c = -1;
        double best_d = -1;
        for (u32 r = 0; r < rounds; r++) {
            FileCompressor c;
            c.SetInPath(plain.c_str());
            c.SetOutPath(packed.c_str());
            c.SetLevel(level);
            double t0 = CpuSeconds();
            int rc = c.Compress();
            double tc = CpuSeconds() - t0;
            FileDecompressor d;
            d.SetInPath(packed.c_str());
            d.SetOutPath(back.c_str());
            t0 = CpuSeconds();
            int rd = d.Decompress();
            double td = CpuSeconds() - t0;
            if (rc != 0 || rd != 0 || !FileHolds(back, bundle)) {
                fprintf(stderr, "level %u: compress %d, decompress %d, or the output differs\n", level, rc, rd);
                status = 1;
                break;
            }
            best_c = best_c < 0 || tc < best_c ? tc : best_c;
            best_d = best_d < 0 || td < best_d ? td : best_d;
        }
        long out = FileSize(packed);
        char name[32];
        snprintf(name, sizeof(name), "level %u", level);
        printf("%-10s %10ld %6.1f%% %10.3f %10.2f %10.3f %10.2f\n", name, out, 100.0 * out / bundle.size(), best_c,
               MBps(bundle.size(), best_c), best_d, MBps(bundle.size(), best_d));
    }

    if (gzip) {
        const std::string gz = dir + "/bundle.bin.gz";
        bool ok_c = false;
        bool ok_d = false;
        bool ok_s = false;
        // What starting a shell and gzip costs, with nothing to do, is not gzip's work.
        double start = TimeCommand("gzip -4 -c < /dev/null > /dev/null", rounds, &ok_s);
        double tc = TimeCommand("gzip -4 -c '" + plain + "' > '" + gz + "'", rounds, &ok_c);
        double td = TimeCommand("gzip -d -c '" + gz + "' > /dev/null", rounds, &ok_d);
        if (ok_s && ok_c && ok_d) {
            tc = tc > start ? tc - start : 0;
            td = td > start ? td - start : 0;
            long out = FileSize(gz);
            printf("%-10s %10ld %6.1f%% %10.3f %10.2f %10.3f %10.2f\n", "gzip -4", out, 100.0 * out / bundle.size(),
                   tc, MBps(bundle.size(), tc), td, MBps(bundle.size(), td));
        } else {
            printf("gzip: not available\n");
        }
        remove(gz.c_str());
    }

    if (keep.empty()) {
        remove(plain.c_str());
        remove(packed.c_str());
        remove(back.c_str());
        rmdir(dir.c_str());
    }
    return status;
}
