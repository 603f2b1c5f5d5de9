// READ CAPACITY(10) and the LOG SENSE pages.
//
// Every page goes through three steps: the parse callback checks the answer, a decoder
// copies a fixed-size prefix of it into a record (multi-byte integers turned into host
// order), and a printer appends the record's text. Parameters are taken by position,
// never by walking the page; whatever the drive sends past the record is ignored.
#ifndef ZV_SCSI_LOG_DECODER_H
#define ZV_SCSI_LOG_DECODER_H

#include <string>

#include "common.h"

// Start of every LOG SENSE page (SPC).
struct LogPageHeader {
    u8 page_code;      // bits 5-0 page code, bit 6 SPF, bit 7 DS
    u8 sub_page_code;
    u16 page_length;   // bytes after the header
};
static_assert(sizeof(LogPageHeader) == 4, "LOG SENSE page header");

// Start of every log parameter (SPC).
struct LogParameterHeader {
    u16 param_code;
    u8 control;        // bits 1-0 FORMAT AND LINKING, 3-2 TMC, 4 ETC, 5 TSD, 6 obsolete, 7 DU
    u8 param_length;
};
static_assert(sizeof(LogParameterHeader) == 4, "log parameter header");

// Page codes that the supported-pages list names.
const u32 kLogPageNameRows = 17;
// Every name is blank-padded to this width.
const u32 kLogPageNameWidth = 35;
struct LogPageNameRow {
    u8 page_code;
    const char* name;
};
extern const LogPageNameRow log_page_name_list[kLogPageNameRows];

// Supported Log Pages (00h): the header and the first 14 page codes.
const u32 kSupportedLogPageCodes = 14;
struct SupportedLogPagesRecord {
    LogPageHeader header;           // page length in host order
    u8 page_codes[kSupportedLogPageCodes];
};
static_assert(sizeof(SupportedLogPagesRecord) == 18, "supported log pages record");

// READ CAPACITY(10), in host order. The block count is kept wide so that a last LBA of
// FFFFFFFFh (a drive beyond 32-bit addresses) does not wrap to 0.
struct ReadCapacityRecord {
    u64 total_blocks;   // returned last LBA + 1
    u32 block_length;   // bytes
};

// Parse callbacks (ParseFun). All append to out and ignore ctx; a refused answer returns
// false with out untouched.
// Needs the 8 bytes of READ CAPACITY(10) data.
bool ParseReadCapacity(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Needs LenSupportedLogPages() bytes; lists at most 14 codes.
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

// Decoders: false (record untouched) for a null answer or one shorter than the record.
bool DecodeReadCapacity(ReadCapacityRecord* rec, const u8* data, u32 len);
bool DecodeSupportedLogPages(SupportedLogPagesRecord* rec, const u8* data, u32 len);

// Printers append to out and return true; ctx is ignored.
bool PrintReadCapacity(std::string& out, const ReadCapacityRecord* rec, u32 indent, void* ctx);
bool PrintSupportedLogPages(std::string& out, const SupportedLogPagesRecord* rec, u32 indent, void* ctx);

#endif
