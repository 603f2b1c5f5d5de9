// Builds the plain (unmasked, uncompressed) one-key info file the collector writes and the
// parser reads, for the unit and end-to-end tests alike.
#ifndef ZV_TESTS_ONE_KEY_FILE_H
#define ZV_TESTS_ONE_KEY_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace onekeyfile {

struct Item {
    std::uint32_t type;
    std::uint8_t query_len;
    std::uint8_t query;
    std::uint32_t user_err;
    std::uint32_t sys_err;
    std::uint32_t data_len;
    std::string name;                // cut or zero-padded to 128 characters: no terminator at 128
    std::vector<std::uint8_t> data;  // follows the header as given, whatever data_len says
};

inline void PutLe32(std::vector<std::uint8_t>* out, std::uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// The 152-byte header of each item: type, both flags, two zero bytes, both error codes, the
// reserved word 1, the data length, the name; then the item's data.
inline std::vector<std::uint8_t> Plain(const std::vector<Item>& items)
{
    std::vector<std::uint8_t> out;
    for (const Item& it : items) {
        PutLe32(&out, it.type);
        out.push_back(it.query_len);
        out.push_back(it.query);
        out.push_back(0);
        out.push_back(0);
        PutLe32(&out, it.user_err);
        PutLe32(&out, it.sys_err);
        PutLe32(&out, 1);
        PutLe32(&out, it.data_len);
        std::string name = it.name.substr(0, 128);
        name.resize(128, '\0');
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), it.data.begin(), it.data.end());
    }
    return out;
}

} // namespace onekeyfile

#endif
