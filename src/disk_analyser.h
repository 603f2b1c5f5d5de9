// Result analyser: the map from command type to its parse callback, the SMART
// attribute name tables, and the dispatcher that turns an answer into text.
#ifndef ZV_DISK_ANALYSER_H
#define ZV_DISK_ANALYSER_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "common.h"
#include "decode_util.h"  // ParseIndent, which every callback applies to its indent
#include "disk_cmnd.h"

// Writes the decoded text of one answer into out (appending or replacing, as the
// decoder states) and returns true; false for a null buffer or a length it refuses.
// ctx is the drive's DiskInfo for most types, a VendorLogOptions word for the
// vendor-log types.
typedef bool (*ParseFun)(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

// A row of the parse map: the type and its callback (null: the answer is not decoded).
struct ParseMapRow {
    u32 type;
    ParseFun fun;
};
// The rows DiskAnalyser::InitParseMap enters, in type order.
const size_t kParseMapRows = 68;
extern const ParseMapRow parse_map_rows[kParseMapRows];

// Filled once by DiskAnalyser::Init, constant afterwards. A null callback and a
// missing entry mean the same: the type's answer is not decoded.
extern std::map<CMND_TYPE, ParseFun> map_parse_fun;
// [model family][attribute id]: VER_UNKNOWN + 1 tables of 256 names.
extern std::vector<std::vector<std::string>> vec_smart_attr_name;

class DiskAnalyser {
public:
    static void Init();
    static void InitParseMap();
    static void InitSmartAttrName();
    static void Check();
    // Each row is filled in, its type is in the catalogue and above the type of the row before it;
    // aborts otherwise.
    static void CheckParseRows(const ParseMapRow* rows, size_t count);
    // user_err: 6 when the type has no callback (out untouched), 5 when the
    // callback refuses the answer, 0 on success.
    static bool Analyse(std::string& out, CMND_TYPE type, const u8* data, u32 len, int* user_err, u32 indent,
                        void* ctx);
};

#endif
