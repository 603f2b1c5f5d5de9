#include "ata_log_decoder.h"

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseAtaLogDirectory(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseAtaSummaryErrorLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseAtaComprehensiveErrorLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseAtaDeviceStatistics(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseAtaSelfTestLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseAtaSelectiveSelfTestLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSmartPendList(std::string&, const u8*, u32, u32, void*) { return false; }
