#include "vendor_table_decoder.h"

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseBadPage(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseDiskFlag(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseDiskSpeed(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseIoInfo(std::string&, const u8*, u32, u32, void*) { return false; }
