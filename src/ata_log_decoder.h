// Standard ATA SMART and general-purpose log decoders.
#ifndef ZV_ATA_LOG_DECODER_H
#define ZV_ATA_LOG_DECODER_H

#include <string>
#include <vector>

#include "common.h"

// Every SMART log is read in whole 512-byte pages.
constexpr u32 kAtaLogPageLen = 512;

struct AtaLogPage {
    u8 bytes[kAtaLogPageLen];
};
static_assert(sizeof(AtaLogPage) == 512, "one SMART log page");

// One record of the maker's pending list, little-endian on the wire.
struct SmartPendEntry {
    u32 lba;
    u32 pba;
};
static_assert(sizeof(SmartPendEntry) == 8, "pending list record");

// Parse callbacks (ParseFun). The pending list replaces `out`; all others append to it.
// A null answer or a length outside the callback's rule returns false with `out` untouched.
bool ParseAtaLogDirectory(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaSummaryErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaComprehensiveErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaDeviceStatistics(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaSelfTestLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseAtaSelectiveSelfTestLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseSmartPendList(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

// One 512-byte page each; false only for a null page.
bool ParseAtaLogDirectoryPage(std::string& out, const u8* page, u32 indent);
bool ParseAtaErrorLogPage(std::string& out, const u8* page, u32 indent);

// Append the len / 512 pages of an answer in order; false (vector untouched) for a null
// answer or a length that is zero or not a multiple of 512.
bool LoadAtaErrorLogPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len);
bool LoadAtaDeviceStatisticsPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len);
bool LoadAtaSelfTestPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len);
bool LoadAtaSelectiveSelfTestPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len);
// Same length rule; appends the records up to the first whose two low lba bytes are FFh.
bool LoadSmartPendList(std::vector<SmartPendEntry>& entries, const u8* data, u32 len);

// Print every page or record (appending; the pending list replaces `out`).
bool PrintAtaErrorLogPages(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent);
bool PrintAtaDeviceStatistics(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent);
bool PrintAtaSelfTestLog(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent);
bool PrintAtaSelectiveSelfTestLog(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent);
bool PrintSmartPendList(std::string& out, const std::vector<SmartPendEntry>& entries, u32 indent);

#endif
