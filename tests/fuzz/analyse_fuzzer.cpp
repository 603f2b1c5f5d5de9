// DiskAnalyser::Analyse over every registered command type, with a fuzzed answer, length,
// indent and context (the drive record, or the option word of the types that take one).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "analyse_input.h"
#include "cmd_runner.h"
#include "disk_analyser.h"
#include "disk_discovery.h"
#include "disk_info.h"
#include "fuzz_support.h"
#include "settings.h"

using namespace fuzzsup;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    InitRegistries();
    // The type-21 callback may read log_config.txt from the working directory.
    EnterScratchDir(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size)
{
    AnalyseInputHeader h;
    if (size < sizeof(h)) {
        return -1;
    }
    memcpy(&h, in, sizeof(h));
    const uint8_t* body = in + sizeof(h);
    const size_t body_len = size - sizeof(h);

    const std::vector<CMND_TYPE>& types = RegisteredTypes();
    const CMND_TYPE type = types[h.type_index % types.size()];
    const u32 indent = h.indent >= 0xF0 ? 0xFFFFFF00u | h.indent : h.indent;
    const u32 len = Le32(h.len) & kAnalyseLenMask;

    // Exactly len bytes, so that any read past the answer is a heap overflow.
    std::unique_ptr<u8[]> answer(new u8[len]);
    const size_t copied = body_len < len ? body_len : len;
    memcpy(answer.get(), body, copied);
    memset(answer.get() + copied, 0, len - copied);
    const u8* data = (h.flags & kNullData) != 0 ? nullptr : answer.get();

    DiskInfo disk;
    disk.link_type = h.link_type;
    disk.smart_ver = h.smart_ver;
    disk.model.assign(h.model, strnlen(h.model, sizeof(h.model)));
    disk.lba_count = Le64(h.lba_count);
    disk.capacity_gb = CapacityGbOfBlocks(disk.lba_count);
    u32 words[sizeof(DiskGeometry) / 4];
    for (u32 i = 0; i < sizeof(words) / 4; i++) {
        words[i] = Le32(h.geometry + 4 * i);
    }
    memcpy(&disk_geometry, words, sizeof(disk_geometry));
    disk_model_code = h.disk_model_code;
    u32 options = Le32(h.options);

    // The runner's rule: the option word for the listed types, the drive record otherwise.
    void* ctx = &disk;
    if (usesVendorLogOptions(type)) {
        ctx = (h.flags & kNullOptions) != 0 ? nullptr : &options;
    }

    const std::string prior = "prior text\n";
    std::string out = prior;
    int user_err = -1;
    const bool ok = DiskAnalyser::Analyse(out, type, data, len, &user_err, indent, ctx);

    const auto it = map_parse_fun.find(type);
    ZV_FUZZ_REQUIRE(it != map_parse_fun.end());
    if (it->second == nullptr) {
        ZV_FUZZ_REQUIRE(!ok && user_err == USER_ERR_UNSUPPORTED && out == prior);
    } else {
        ZV_FUZZ_REQUIRE(user_err == (ok ? USER_ERR_NO_ERROR : USER_ERR_PARSE_FAILED));
    }
    // A null buffer is refused whatever the length, except by the time stamp's callback,
    // which reads no answer.
    ZV_FUZZ_REQUIRE(data != nullptr || !ok || type == TYPE_A4H_SET_TIME_STAMP);
    return 0;
}
