#include "scsi_log_decoder.h"

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseReadCapacity(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSupportedLogPages(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseWriteErrorCounterLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseReadErrorCounterLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseVerifyErrorCounterLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseNonMediumErrorLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseTemperatureLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSelfTestResultsLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseProtocolSpecificPortLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInformationalExceptionsLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSmartTemperatureLog(std::string&, const u8*, u32, u32, void*) { return false; }
