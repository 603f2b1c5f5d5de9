// The one-key information parser on a file. An input that begins with the masked
// container magic is the file itself; any other input is the plain item list, which the
// harness compresses at level 4 and masks as the collection does. The parser works in a
// private directory that is emptied after every input; the last input byte picks the
// variant (bit 0 set: vendor logs sorted).
#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "file_compressor.h"
#include "fuzz_support.h"
#include "one_key_info.h"
#include "unit/compress_test_util.h"

using namespace fuzzsup;

namespace {

const char kInFile[] = "in.bin";
const char kOutDir[] = "out";

bool IsMaskedContainer(const uint8_t* in, size_t size)
{
    if (size < 4) {
        return false;
    }
    for (int i = 0; i < 4; i++) {
        if ((in[i] ^ kOneKeyInfoMask) != static_cast<u8>(kContainerMagic[i])) {
            return false;
        }
    }
    return true;
}

// The collection's packing: level 4, then every byte masked.
bool WritePacked(const uint8_t* plain, size_t size)
{
    ctest::MemResult packed = ctest::CompressMem(ctest::Bytes(plain, plain + size), 4);
    ZV_FUZZ_REQUIRE(packed.result == 0);
    for (u8& b : packed.out) {
        b ^= kOneKeyInfoMask;
    }
    return WriteWhole(kInFile, packed.out.data(), packed.out.size());
}

// The parser writes only inside its directory.
void RequireOnlyOwnFiles()
{
    DIR* d = opendir(".");
    ZV_FUZZ_REQUIRE(d != nullptr);
    while (struct dirent* e = readdir(d)) {
        const char* n = e->d_name;
        ZV_FUZZ_REQUIRE(strcmp(n, ".") == 0 || strcmp(n, "..") == 0 || strcmp(n, kInFile) == 0 ||
                        strcmp(n, kOutDir) == 0);
    }
    closedir(d);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    InitRegistries();
    EnterScratchDir(argc, argv);
    parse_file_name = kInFile;
    parse_dir_name = kOutDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size)
{
    const bool written = IsMaskedContainer(in, size) ? WriteWhole(kInFile, in, size) : WritePacked(in, size);
    ZV_FUZZ_REQUIRE(written);
    if (size > 0 && (in[size - 1] & 1) != 0) {
        parseOneKeyInfoFileEx();
    } else {
        parseOneKeyInfoFile();
    }
    fflush(stdout);
    RequireOnlyOwnFiles();
    EmptyDir(kOutDir);
    remove(kInFile);
    return 0;
}
