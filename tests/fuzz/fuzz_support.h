// Shared pieces of the fuzz targets: start-up registries, a private working directory and
// little-endian field reads from the fuzzer's input.
#ifndef ZV_FUZZ_SUPPORT_H
#define ZV_FUZZ_SUPPORT_H

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "msg_processor.h"

namespace fuzzsup {

// What main() does before any argument is read.
inline void InitRegistries()
{
    static bool done = false;
    if (!done) {
        MsgProcessor::Init();
        DiskCmnd::Init();
        DiskAnalyser::Init();
        done = true;
    }
}

inline std::string& ScratchDir()
{
    static std::string dir;
    return dir;
}

inline int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

inline void RemoveTree(const std::string& path)
{
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

inline void RemoveScratchDir()
{
    if (!ScratchDir().empty()) {
        if (chdir("/") != 0) {
            return;
        }
        RemoveTree(ScratchDir());
    }
}

// Makes the command line's relative paths absolute before the scratch directory becomes
// the working directory: the corpus directories and files, the paths of -artifact_prefix,
// -exact_artifact_path and -dict, and the default artifact prefix (the starting directory),
// so that crash reports land where the run started and not in a directory that goes away.
inline void AnchorArguments(const std::string& cwd, int* argc, char*** argv)
{
    static std::vector<std::string> storage;
    static std::vector<char*> args;
    static const char* const path_flags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict="};
    bool has_prefix = false;
    for (int i = 0; i < *argc; i++) {
        std::string a = (*argv)[i];
        if (i > 0 && !a.empty() && a[0] != '-' && a[0] != '/') {
            a = cwd + "/" + a;
        }
        for (const char* flag : path_flags) {
            const size_t n = strlen(flag);
            if (a.compare(0, n, flag) == 0) {
                has_prefix = has_prefix || strcmp(flag, "-artifact_prefix=") == 0;
                if (a.size() > n && a[n] != '/') {
                    a = std::string(flag) + cwd + "/" + a.substr(n);
                }
            }
        }
        storage.push_back(a);
    }
    if (!has_prefix) {
        storage.push_back("-artifact_prefix=" + cwd + "/");
    }
    for (std::string& a : storage) {
        args.push_back(&a[0]);
    }
    args.push_back(nullptr);
    *argc = static_cast<int>(storage.size());
    *argv = args.data();
}

// The decoders and the parser write and read files in the working directory: each
// target works in a directory of its own under $TMPDIR (or /tmp), removed at exit.
// Called from LLVMFuzzerInitialize, which runs before libFuzzer reads its arguments.
inline void EnterScratchDir(int* argc, char*** argv)
{
    if (!ScratchDir().empty()) {
        return;
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)) == nullptr) {
        perror("zv fuzz: getcwd");
        abort();
    }
    AnchorArguments(cwd, argc, argv);
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/zv_fuzz_XXXXXX";
    if (tmpl[0] != '/') {
        tmpl = std::string(cwd) + "/" + tmpl;
    }
    char* d = mkdtemp(&tmpl[0]);
    if (d == nullptr || chdir(d) != 0) {
        perror("zv fuzz: scratch directory");
        abort();
    }
    ScratchDir() = d;
    atexit(RemoveScratchDir);
}

// Removes everything inside dir (relative to the scratch directory), keeping dir.
inline void EmptyDir(const char* dir)
{
    DIR* d = opendir(dir);
    if (d == nullptr) {
        return;
    }
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
            RemoveTree(std::string(dir) + "/" + e->d_name);
        }
    }
    closedir(d);
}

inline bool WriteWhole(const char* path, const uint8_t* data, size_t len)
{
    FILE* f = fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = fwrite(data, 1, len, f) == len;
    return fclose(f) == 0 && ok;
}

inline uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t Le64(const uint8_t* p)
{
    return static_cast<uint64_t>(Le32(p)) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

inline void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// A finding of the harness's own checks: libFuzzer reports the abort with the input.
#define ZV_FUZZ_REQUIRE(cond)                                                           \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            fprintf(stderr, "zv fuzz: %s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                                    \
        }                                                                               \
    } while (0)

} // namespace fuzzsup

#endif
