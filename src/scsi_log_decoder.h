// READ CAPACITY(10) and the LOG SENSE pages.
#ifndef ZV_SCSI_LOG_DECODER_H
#define ZV_SCSI_LOG_DECODER_H

#include <string>

#include "common.h"

bool ParseReadCapacity(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseSupportedLogPages(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseWriteErrorCounterLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseReadErrorCounterLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseVerifyErrorCounterLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseNonMediumErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseTemperatureLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseSelfTestResultsLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseProtocolSpecificPortLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseInformationalExceptionsLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseSmartTemperatureLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
