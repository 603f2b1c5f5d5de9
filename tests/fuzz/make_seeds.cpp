// Builds the seed corpora of the fuzz targets from tests/data into a scratch directory
// (tests/data is only read):
//   analyse     every answer that the emulated drives of the fixtures give to each
//               registered type, the hex dumps and binary answers kept beside the decoder
//               tests, and a zero answer of each type's own length;
//   decompress  the stored containers, containers of the binary files at every level, and
//               the binary files themselves (compressed and decoded again by the target);
//   one_key     the file that the collection writes for the one-key fixture drive, and
//               plain item lists of the binary answers;
//   vendor_log  the name table with the type-21 logs, in several sort modes.
// Usage: fuzz_seeds <tests/data directory> <corpus directory>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analyse_input.h"
#include "cmd_runner.h"
#include "front_state.h"
#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "disk_info.h"
#include "emu_api.h"
#include "fuzz_support.h"
#include "one_key_file.h"
#include "one_key_info.h"
#include "settings.h"
#include "unit/compress_test_util.h"

using namespace fuzzsup;

namespace {

typedef std::vector<uint8_t> Bytes;

std::string data_dir;
std::string corpus_dir;
std::map<std::string, std::set<Bytes>> seeds;  // target -> inputs

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string s = ss.str();
    return Bytes(s.begin(), s.end());
}

std::string ReadText(const std::string& path)
{
    const Bytes b = ReadFile(path);
    return std::string(b.begin(), b.end());
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& s, const std::string& head) { return s.compare(0, head.size(), head) == 0; }

// Paths relative to data_dir, sorted.
void ListFiles(const std::string& rel, std::vector<std::string>* out)
{
    const std::string dir = rel.empty() ? data_dir : data_dir + "/" + rel;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') {
            names.push_back(e->d_name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st;
        if (stat((data_dir + "/" + r).c_str(), &st) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            ListFiles(r, out);
        } else if (S_ISREG(st.st_mode)) {
            out->push_back(r);
        }
    }
}

// Hex bytes of a dump: '#' starts a comment, blanks separate groups of digit pairs.
Bytes ParseHex(const std::string& text)
{
    Bytes out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::string digits;
        for (char c : line) {
            if (isxdigit(static_cast<unsigned char>(c))) {
                digits += c;
            }
        }
        for (size_t i = 0; i + 1 < digits.size(); i += 2) {
            out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        }
    }
    return out;
}

void Add(const std::string& target, const Bytes& input) { seeds[target].insert(input); }

// ---------------------------------------------------------------- analyse

int TypeIndex(CMND_TYPE type)
{
    const std::vector<CMND_TYPE>& types = RegisteredTypes();
    for (size_t i = 0; i < types.size(); i++) {
        if (types[i] == type) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void AddAnswer(CMND_TYPE type, const DiskInfo& disk, const Bytes& answer)
{
    const int index = TypeIndex(type);
    if (index < 0) {
        return;
    }
    AnalyseInputHeader h;
    memset(&h, 0, sizeof(h));
    h.type_index = static_cast<uint8_t>(index);
    h.indent = 4;
    h.smart_ver = static_cast<uint8_t>(disk.smart_ver);
    h.link_type = static_cast<uint8_t>(disk.link_type);
    h.disk_model_code = disk_model_code != 0 ? 1 : 0;
    PutLe32(h.len, static_cast<uint32_t>(answer.size()) & kAnalyseLenMask);
    PutLe32(h.options, buildVendorLogOptions(type, disk.smart_ver, false));
    u32 words[sizeof(DiskGeometry) / 4];
    memcpy(words, &disk_geometry, sizeof(words));
    for (u32 i = 0; i < sizeof(words) / 4; i++) {
        PutLe32(h.geometry + 4 * i, words[i]);
    }
    PutLe32(h.lba_count, static_cast<uint32_t>(disk.lba_count));
    PutLe32(h.lba_count + 4, static_cast<uint32_t>(disk.lba_count >> 32));
    memcpy(h.model, disk.model.data(), std::min(disk.model.size(), sizeof(h.model)));
    Bytes input(reinterpret_cast<const uint8_t*>(&h), reinterpret_cast<const uint8_t*>(&h) + sizeof(h));
    input.insert(input.end(), answer.begin(), answer.end());
    Add("analyse", input);
}

// The drive record of the demo SATA drive, for answers that come without a drive.
DiskInfo DemoDisk()
{
    DiskInfo disk;
    disk.link_type = LINK_ATA_BY_SCSI;
    disk.model = "QUMA-K4410TN0100";
    disk.SetSmartVer(disk.model);
    disk.lba_count = 195371568;
    memset(&disk_geometry, 0, sizeof(disk_geometry));
    disk_model_code = 0;
    setDiskGeometryByModel(&disk);
    return disk;
}

// Dumps kept beside the decoder tests, by the page they hold.
struct DumpRow {
    const char* prefix;
    std::vector<u32> types;
};

const DumpRow dump_rows[] = {
    {"scsi_log/smart_temperature", {81}},
    {"scsi_log/write_counters", {69, 70}},
    {"scsi_log/read_counters", {71, 72}},
    {"scsi_log/verify_counters", {73, 74}},
    {"scsi_log/nonmedium", {75, 76}},
    {"scsi_log/temperature", {77}},
    {"scsi_log/selftest", {78}},
    {"scsi_log/port", {79}},
    {"scsi_log/exceptions", {80}},
    {"scsi_log/supported", {68}},
    {"scsi_log/read_capacity", {66}},
    {"scsi_log/header_only", {68, 70, 72, 74, 76, 77, 78, 79, 80, 81, 82, 83}},
    {"scsi_mode/", {120, 121, 122, 123}},
    {"one_key/identify", {0}},
    {"vendor_log/sata_log", {21}},
    {"vendor_log/sas_log", {86}},
};

void AnalyseFromDumps(const std::vector<std::string>& files)
{
    const DiskInfo disk = DemoDisk();
    for (const std::string& f : files) {
        Bytes answer;
        if (EndsWith(f, ".hex")) {
            answer = ParseHex(ReadText(data_dir + "/" + f));
        } else if (EndsWith(f, ".bin")) {
            answer = ReadFile(data_dir + "/" + f);
        } else {
            continue;
        }
        for (const DumpRow& row : dump_rows) {
            if (StartsWith(f, row.prefix)) {
                for (u32 t : row.types) {
                    AddAnswer(static_cast<CMND_TYPE>(t), disk, answer);
                }
                break;
            }
        }
    }
    // The SMART pair as the one-key parser joins it: values, then thresholds.
    Bytes smart = ReadFile(data_dir + "/one_key/smart_value.bin");
    const Bytes thres = ReadFile(data_dir + "/one_key/smart_thres.bin");
    smart.insert(smart.end(), thres.begin(), thres.end());
    AddAnswer(TYPE_SMART_VALUE_THRES, disk, smart);
    AddAnswer(TYPE_SMART_THRESHOLD, disk, smart);
}

// A zero answer of the type's fixed length (512 bytes when the drive is asked for it), so
// every registered type starts with at least one input.
void AnalyseZeroAnswers()
{
    const DiskInfo disk = DemoDisk();
    for (CMND_TYPE type : RegisteredTypes()) {
        u32 len = 0;
        if (!DiskCmnd::GetDataLenQuiet(type, nullptr, &len) || len == 0 || len > kAnalyseLenMask) {
            len = 512;
        }
        AddAnswer(type, disk, Bytes(len, 0));
    }
}

std::vector<std::string> DriveNodes(const std::string& fixture_text)
{
    std::vector<std::string> nodes;
    std::istringstream lines(fixture_text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        std::string node;
        if (words >> word >> node && word == "drive" && (StartsWith(node, "/dev/sd") || StartsWith(node, "/dev/sg"))) {
            nodes.push_back(node);
        }
    }
    return nodes;
}

// Fixture sets to try: the file alone, or after the demo drive it extends.
const std::vector<std::vector<std::string>> fixture_bases = {
    {},
    {"demo/sata_k4410.txt"},
    {"demo/sas_k6470.txt"},
    {"demo/sas_k6470.txt", "demo/sas_k6470_scsi.txt"},
};

bool LoadFixtureSet(const std::vector<std::string>& files)
{
    zvemu::Reset();
    for (const std::string& f : files) {
        if (!zvemu::LoadFixture(data_dir + "/" + f)) {
            return false;
        }
    }
    return true;
}

// Every answer that a fixture's drives give to the registered types, read as the runner
// reads it (length query, then the command, cut to the bytes received), with the geometry
// the runner would hold.
void HarvestDrive(const std::string& node)
{
    DiskInfo disk;
    if (!classifyDeviceStr(node, &disk)) {
        return;
    }
    memset(&disk_geometry, 0, sizeof(disk_geometry));
    disk_model_code = 0;
    setDiskGeometryByModel(&disk);
    u32 len = 0;
    if (DiskCmnd::GetDataLenQuiet(TYPE_C0H_DISK_BASIC_INFO, &disk, &len) && len > 0 && len <= kAnalyseLenMask) {
        Bytes info(len, 0);
        if (DiskCmnd::ExecuteQuiet(TYPE_C0H_DISK_BASIC_INFO, &disk, info.data(), len)) {
            memcpy(&disk_geometry, info.data(), std::min<size_t>(len, sizeof(disk_geometry)));
        }
    }
    for (const auto& entry : map_parse_fun) {
        if (entry.second == nullptr) {
            continue;
        }
        if (!DiskCmnd::GetDataLenQuiet(entry.first, &disk, &len) || len == 0 || len > kAnalyseLenMask) {
            continue;
        }
        Bytes answer(len, 0);
        if (DiskCmnd::ExecuteQuiet(entry.first, &disk, answer.data(), len)) {
            // What the drive sent, as the runner hands it on: a short transfer's fill is no answer.
            answer.resize(DiskCmnd::ReceivedLen());
            AddAnswer(entry.first, disk, answer);
            if (entry.first == TYPE_89H_DEVICE_VENDOR_LOG) {
                Add("vendor_log_answers", answer);
            }
        }
    }
}

void AnalyseFromFixtures(const std::vector<std::string>& files)
{
    for (const std::string& f : files) {
        if (!EndsWith(f, ".txt")) {
            continue;
        }
        for (const std::vector<std::string>& base : fixture_bases) {
            std::vector<std::string> set = base;
            set.push_back(f);
            if (!LoadFixtureSet(set)) {
                continue;
            }
            std::vector<std::string> nodes;
            for (const std::string& s : set) {
                for (const std::string& n : DriveNodes(ReadText(data_dir + "/" + s))) {
                    if (std::find(nodes.begin(), nodes.end(), n) == nodes.end()) {
                        nodes.push_back(n);
                    }
                }
            }
            for (const std::string& n : nodes) {
                HarvestDrive(n);
            }
            break;
        }
    }
    zvemu::Reset();
}

// ---------------------------------------------------------------- decompress

Bytes Pack(const Bytes& plain, u32 level)
{
    const ctest::MemResult packed = ctest::CompressMem(plain, level);
    ZV_FUZZ_REQUIRE(packed.result == 0);
    return packed.out;
}

void DecompressSeeds(const std::vector<std::string>& files)
{
    for (const std::string& f : files) {
        const Bytes b = ReadFile(data_dir + "/" + f);
        if (EndsWith(f, ".qma")) {
            Add("decompress", b);
        } else if (EndsWith(f, ".bin")) {
            Add("decompress", b);
            for (u32 level = 1; level <= 5; level++) {
                Add("decompress", Pack(b, level));
            }
        }
    }
}

// ---------------------------------------------------------------- one_key

Bytes Masked(Bytes b)
{
    for (uint8_t& c : b) {
        c ^= kOneKeyInfoMask;
    }
    return b;
}

void OneKeySeeds()
{
    const Bytes identify = ReadFile(data_dir + "/one_key/identify.bin");
    const Bytes value = ReadFile(data_dir + "/one_key/smart_value.bin");
    const Bytes thres = ReadFile(data_dir + "/one_key/smart_thres.bin");
    const Bytes log = ReadFile(data_dir + "/vendor_log/sata_log.bin");
    auto item = [](u32 type, const char* name, const Bytes& data) {
        return onekeyfile::Item{type, 1, 1, 0, 0, static_cast<uint32_t>(data.size()), name, data};
    };
    const std::vector<onekeyfile::Item> items = {
        item(0, "identify", identify),
        {2, 1, 1, 0, 0, 0, "smt_enable", {}},
        item(4, "smt_value", value),
        item(5, "smt_thres", thres),
        item(21, "vendor_log", log),
        {35, 0, 0, 6, 0, 0, "flag", {}},
        item(18, "smt_pendlist", Bytes(512, 0)),
    };
    Add("one_key", onekeyfile::Plain(items));
    Add("one_key", Masked(Pack(onekeyfile::Plain(items), 4)));
    for (const onekeyfile::Item& it : items) {
        Add("one_key", onekeyfile::Plain({it}));
    }
}

// The collection itself, on the fixture drive that answers all twelve reads.
void OneKeyCollected()
{
    if (!LoadFixtureSet({"demo/sata_k4410.txt", "one_key/sata_one_key.txt"})) {
        return;
    }
    static char node[] = "/dev/sda";
    cur_disk = DiskInfo();
    if (classifyDevice(node, &cur_disk)) {
        dev_name = node;
        snprintf(bin_file_name, sizeof(bin_file_name), "collected.bin");
        fflush(stdout);
        collectOneKeyInfo();
        fflush(stdout);
        const Bytes collected = ReadFile("collected.bin");
        if (!collected.empty()) {
            Add("one_key", collected);
        }
        remove("collected.bin");
        dev_name = nullptr;
    }
    cur_disk = DiskInfo();
    zvemu::Reset();
}

// ---------------------------------------------------------------- vendor_log

void VendorLogSeeds()
{
    const Bytes table = ReadFile(data_dir + "/vendor_log/log_config.txt");
    std::set<Bytes> logs = seeds["vendor_log_answers"];
    seeds.erase("vendor_log_answers");
    logs.insert(ReadFile(data_dir + "/vendor_log/sata_log.bin"));
    for (const Bytes& log : logs) {
        for (uint8_t sort : {0, 1, 2, 4}) {
            Bytes input = {static_cast<uint8_t>(table.size()), static_cast<uint8_t>(table.size() >> 8), sort, 4};
            input.insert(input.end(), table.begin(), table.end());
            input.insert(input.end(), log.begin(), log.end());
            Add("vendor_log", input);
        }
        Bytes bare = {0, 0, 1, 4};
        bare.insert(bare.end(), log.begin(), log.end());
        Add("vendor_log", bare);
    }
}

// ---------------------------------------------------------------- output

std::string Name(const Bytes& b)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t c : b) {
        h = (h ^ c) * 1099511628211ull;
    }
    char name[32];
    snprintf(name, sizeof(name), "seed_%016llx", static_cast<unsigned long long>(h));
    return name;
}

bool WriteCorpora()
{
    for (const auto& target : seeds) {
        const std::string dir = corpus_dir + "/" + target.first;
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
            perror(dir.c_str());
            return false;
        }
        for (const Bytes& b : target.second) {
            const std::string path = dir + "/" + Name(b);
            if (!WriteWhole(path.c_str(), b.data(), b.size())) {
                perror(path.c_str());
                return false;
            }
        }
        printf("%-11s %zu seeds\n", target.first.c_str(), target.second.size());
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s <tests/data directory> <corpus directory>\n", argv[0]);
        return 2;
    }
    if (mkdir(argv[2], 0755) != 0 && errno != EEXIST) {
        perror(argv[2]);
        return 1;
    }
    char data_path[PATH_MAX];
    char corpus_path[PATH_MAX];
    if (realpath(argv[1], data_path) == nullptr || realpath(argv[2], corpus_path) == nullptr) {
        perror("fuzz_seeds");
        return 1;
    }
    data_dir = data_path;
    corpus_dir = corpus_path;
    // The drive calls would log to cmd_resp_log.txt, and the collection writes its files,
    // in the working directory: no log, and a directory of the builder's own.
    output_flags.save_log = 0;
    char work[] = "/tmp/zv_seeds_XXXXXX";
    if (mkdtemp(work) == nullptr || chdir(work) != 0) {
        perror("fuzz_seeds: working directory");
        return 1;
    }
    InitRegistries();
    std::vector<std::string> files;
    ListFiles("", &files);
    if (files.empty()) {
        fprintf(stderr, "fuzz_seeds: no files under %s\n", data_dir.c_str());
        return 1;
    }

    // The drive calls print their own messages; the corpus summary is what counts.
    fflush(stdout);
    const int saved_stdout = dup(1);
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        return 1;
    }
    AnalyseFromFixtures(files);
    OneKeyCollected();
    fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    clearerr(stdout);

    AnalyseFromDumps(files);
    AnalyseZeroAnswers();
    DecompressSeeds(files);
    OneKeySeeds();
    VendorLogSeeds();
    const bool written = WriteCorpora();
    if (chdir("/") == 0) {
        RemoveTree(work);
    }
    return written ? 0 : 1;
}
