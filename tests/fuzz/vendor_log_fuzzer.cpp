// The type-21 vendor-log decoder in decode mode 1, which renames records from the name
// table log_config.txt in the working directory. The input holds both: a 4-byte header
// (table length, little-endian u16; sort mode; indent), the table's bytes, then the log,
// zero-filled to whole 512-byte sectors (zero slots are blank and dropped).
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vendor_log_decoder.h"

using namespace fuzzsup;

namespace {

const u32 kSector = 512;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    EnterScratchDir(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size)
{
    if (size < 4) {
        return -1;
    }
    const size_t stated = static_cast<size_t>(in[0]) | static_cast<size_t>(in[1]) << 8;
    const u32 options = (kVendorLogDecodeContents << 8) | in[2];
    const u32 indent = in[3];
    const uint8_t* rest = in + 4;
    const size_t rest_len = size - 4;
    const size_t table_len = stated < rest_len ? stated : rest_len;

    if (table_len > 0) {
        ZV_FUZZ_REQUIRE(WriteWhole(log_config_file_name, rest, table_len));
    } else {
        remove(log_config_file_name);
    }
    const size_t log_len = rest_len - table_len;
    const size_t sectors = log_len == 0 ? 1 : (log_len + kSector - 1) / kSector;
    std::vector<u8> answer(sectors * kSector, 0);
    std::copy(rest + table_len, rest + rest_len, answer.begin());

    std::string out;
    u32 word = options;
    ZV_FUZZ_REQUIRE(ParseDeviceVendorLog(out, answer.data(), static_cast<u32>(answer.size()), indent, &word));
    return 0;
}
