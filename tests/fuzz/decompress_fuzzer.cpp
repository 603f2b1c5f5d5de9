// FileDecompressor in memory mode. An input that begins with the container magic is
// decoded as it is, into an area of exactly the stated size; any other input is first
// compressed (at a level taken from its first byte) and must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "file_compressor.h"
#include "file_decompressor.h"
#include "fuzz_support.h"

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
    std::unique_ptr<u8[]> area(new u8[capacity]);

    FileDecompressor d;
    d.Init();
    d.SetInMemory(1);
    d.SetInData(in, static_cast<u32>(size));
    d.SetOutMemory(1);
    d.SetOutData(area.get(), capacity);
    const int rc = d.Decompress();

    ZV_FUZZ_REQUIRE(rc == 0 || rc == 1 || rc == 3);
    if (size < sizeof(CompressedFileHeader)) {
        ZV_FUZZ_REQUIRE(rc == 1);
    } else if (stated > capacity) {
        ZV_FUZZ_REQUIRE(rc == 3);
    }
    ZV_FUZZ_REQUIRE(d.GetOutSize() == (rc == 0 ? stated : 0));
}

void RoundTrip(const uint8_t* in, size_t size)
{
    const u32 len = static_cast<u32>(size);
    // Literal codes can reach 16 bits, so the container may be twice the input.
    const u32 packed_cap = 2 * len + 64;
    std::unique_ptr<u8[]> packed(new u8[packed_cap]);

    FileCompressor c;
    c.Init();
    c.SetLevel(size > 0 ? in[0] % 7 : 4);
    c.SetInMemory(1);
    c.SetInData(in, len);
    c.SetOutMemory(1);
    c.SetOutData(packed.get(), packed_cap);
    ZV_FUZZ_REQUIRE(c.Compress() == 0);
    const u32 packed_len = c.GetOutSize();

    std::unique_ptr<u8[]> back(new u8[len]);
    FileDecompressor d;
    d.Init();
    d.SetInMemory(1);
    d.SetInData(packed.get(), packed_len);
    d.SetOutMemory(1);
    d.SetOutData(back.get(), len);
    ZV_FUZZ_REQUIRE(d.Decompress() == 0);
    ZV_FUZZ_REQUIRE(d.GetOutSize() == len);
    ZV_FUZZ_REQUIRE(memcmp(back.get(), in, len) == 0);
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
