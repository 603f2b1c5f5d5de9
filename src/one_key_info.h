// One-key information collection and its offline parser.
//
// The collection reads twelve kinds of drive data into "<name>_tmp" (one item header,
// then the data of a successful read, per item), compresses it at level 4 and masks
// every byte of the container with 0xA7. The parser undoes both and splits the items
// into raw and decoded files; its input is untrusted and it never reads past an item.
#ifndef ZV_ONE_KEY_INFO_H
#define ZV_ONE_KEY_INFO_H

#include "common.h"

// Lists one item of the collection and heads that item inside the file (little-endian,
// the build's own layout being the file's).
struct OneKeyInfoItem {
    u32 type;           // CMND_TYPE
    u8 query_data_len;  // 1: the length query succeeded
    u8 query_data;      // 1: the read succeeded
    u8 reserved0[2];
    u32 user_err_code;  // of the last drive call
    u32 sys_err_code;
    u32 reserved1;      // 1 in every row, never read
    u32 data_len;       // from the length query
    char name[128];     // zero-terminated
};
static_assert(sizeof(OneKeyInfoItem) == 152, "OneKeyInfoItem is the 152-byte item header");

const u32 kOneKeyInfoItems = 12;
extern const OneKeyInfoItem one_key_info_list[kOneKeyInfoItems];

// Every byte of the compressed container is combined with this by exclusive or.
const u8 kOneKeyInfoMask = 0xA7;

// The longest data the collection keeps for an item whose length the drive states (see
// one_key_info.cpp); a longer statement is recorded as a failed length query.
const u32 kOneKeyAskedMaxLen = 32u << 20;
// The longest data an item of the given command type can carry in a one-key file: the
// type's fixed length in the command catalogue, else kOneKeyAskedMaxLen.
u32 OneKeyItemMaxLen(u32 type);
// The longest plain form a collection can write: every row's header and longest data.
// The parser refuses a container that states more before it writes anything.
u64 OneKeyInfoFileMaxLen();

// The parser's input file and output directory; no option sets them, so they stay
// null until a caller does.
extern const char* parse_file_name;
extern const char* parse_dir_name;

void collectOneKeyInfo();
// Vendor logs in drive order.
void parseOneKeyInfoFile();
// Vendor logs in sort mode 1.
void parseOneKeyInfoFileEx();

#endif
