// Standard ATA SMART and general-purpose log decoders.
#ifndef ZV_ATA_LOG_DECODER_H
#define ZV_ATA_LOG_DECODER_H

#include <string>

#include "common.h"

bool ParseAtaLogDirectory(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaSummaryErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaComprehensiveErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaDeviceStatistics(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaSelfTestLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaSelectiveSelfTestLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseSmartPendList(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
