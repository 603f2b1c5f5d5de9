// FileDecompressor in memory mode. An input that begins with the container magic is
// decoded as it is, into an area of exactly the stated size; any other input is first
// compressed (at a level taken from its first byte) and must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "file_compressor.h"
#include "fuzz_support.h"
#include "unit/compress_test_util.h"

using namespace fuzzsup;

namespace {

// Larger stated sizes are only checked for their refusal.
const u32 kMaxOutput = 4u << 20;

void DecodeContainer(const uint8_t* in, size_t size)
{
    const u32 stated = size >= sizeof(CompressedFileHeader)
                           ? (u32(in[4]) << 24 | u32(in[5]) << 16 | u32(in[6]) << 8 | u32(in[7]))
                           : 0;
    const u32 capacity = stated < kMaxOutput ? stated : kMaxOutput;
    const ctest::MemResult r = ctest::DecompressMem(ctest::Bytes(in, in + size), capacity);

    ZV_FUZZ_REQUIRE(r.result == 0 || r.result == 1 || r.result == 3);
    if (size < sizeof(CompressedFileHeader)) {
        ZV_FUZZ_REQUIRE(r.result == 1);
    } else if (stated > capacity) {
        ZV_FUZZ_REQUIRE(r.result == 3);
    }
    ZV_FUZZ_REQUIRE(r.out.size() == (r.result == 0 ? stated : 0));
}

void RoundTrip(const uint8_t* in, size_t size)
{
    const ctest::Bytes plain(in, in + size);
    const ctest::MemResult packed = ctest::CompressMem(plain, size > 0 ? in[0] % 7 : 4);
    ZV_FUZZ_REQUIRE(packed.result == 0);
    const ctest::MemResult back = ctest::DecompressMem(packed.out, static_cast<u32>(size));
    ZV_FUZZ_REQUIRE(back.result == 0);
    ZV_FUZZ_REQUIRE(back.out == plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size)
{
    if (size >= 4 && memcmp(in, kContainerMagic, 4) == 0) {
        DecodeContainer(in, size);
    } else {
        RoundTrip(in, size);
    }
    return 0;
}
