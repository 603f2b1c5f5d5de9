#include "inquiry_decoder.h"

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseInquiry(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSetTimeStamp(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseDiskWwn(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseDiskSn(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseDiskModel(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseCapacitanceResult(std::string&, const u8*, u32, u32, void*) { return false; }
