// The input of the analyser target: a fixed header that picks the command type and sets
// everything a parse callback reads besides the answer (length, indent, the drive record
// or the vendor-log option word, the SAS flash geometry), then the answer's bytes.
#ifndef ZV_FUZZ_ANALYSE_INPUT_H
#define ZV_FUZZ_ANALYSE_INPUT_H

#include <cstdint>
#include <vector>

#include "disk_analyser.h"

namespace fuzzsup {

struct AnalyseInputHeader {
    uint8_t type_index;       // among the registered types in type order, modulo their count
    uint8_t indent;           // F0h and above: the largest u32 values
    uint8_t flags;            // kNullData, kNullOptions
    uint8_t smart_ver;        // drive record, raw: the callbacks must bound it themselves
    uint8_t link_type;
    uint8_t disk_model_code;  // 0: older SAS flash-table layout
    uint8_t reserved[2];
    uint8_t len[4];           // answer length, little-endian, bits 0-15; the answer is cut
                              // or zero-filled to it and held in a buffer of exactly that size
    uint8_t options[4];       // VendorLogOptions word, little-endian
    uint8_t geometry[28];     // disk_geometry, seven little-endian words (the drive sent them)
    uint8_t lba_count[8];
    char model[40];           // up to the first zero byte
};
static_assert(sizeof(AnalyseInputHeader) == 92, "the analyser input header is 92 bytes");

const uint8_t kNullData = 1;
const uint8_t kNullOptions = 2;  // only for the types whose context may be null
const uint32_t kAnalyseLenMask = 0xFFFF;

// Every type that has an entry in the parse map, with or without a callback, in type order.
inline const std::vector<CMND_TYPE>& RegisteredTypes()
{
    static std::vector<CMND_TYPE> types;
    if (types.empty()) {
        for (const auto& entry : map_parse_fun) {
            types.push_back(entry.first);
        }
    }
    return types;
}

} // namespace fuzzsup

#endif
