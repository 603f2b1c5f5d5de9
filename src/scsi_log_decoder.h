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

// An error counter parameter: header (code in host order once decoded) and an 8-byte
// counter left in the drive's order, most significant byte first.
struct ErrorCounterParam {
    LogParameterHeader header;
    u8 value[8];
};
static_assert(sizeof(ErrorCounterParam) == 12, "error counter parameter");

// Parameters by position: 0000h-0006h, then 8000h and (write page only) 8001h.
const u32 kWriteErrorCounterParams = 9;
const u32 kReadErrorCounterParams = 8;
const u32 kVerifyErrorCounterParams = 7;

struct WriteErrorCounterRecord {  // page 02h
    LogPageHeader header;
    ErrorCounterParam params[kWriteErrorCounterParams];
};
static_assert(sizeof(WriteErrorCounterRecord) == 112, "write error counter record");

struct ReadErrorCounterRecord {  // page 03h
    LogPageHeader header;
    ErrorCounterParam params[kReadErrorCounterParams];
};
static_assert(sizeof(ReadErrorCounterRecord) == 100, "read error counter record");

struct VerifyErrorCounterRecord {  // page 05h
    LogPageHeader header;
    ErrorCounterParam params[kVerifyErrorCounterParams];
};
static_assert(sizeof(VerifyErrorCounterRecord) == 88, "verify error counter record");

struct NonMediumErrorRecord {  // page 06h
    LogPageHeader header;
    ErrorCounterParam param;
};
static_assert(sizeof(NonMediumErrorRecord) == 16, "non-medium error record");

// Counter labels by position, each 45 characters ending in "= ".
extern const char* const write_error_counter_labels[kWriteErrorCounterParams];
extern const char* const read_error_counter_labels[kReadErrorCounterParams];
extern const char* const verify_error_counter_labels[kVerifyErrorCounterParams];
extern const char* const non_medium_error_label;

// Parse callbacks (ParseFun). All append to out and ignore ctx; a refused answer returns
// false with out untouched.
// Needs the 8 bytes of READ CAPACITY(10) data.
bool ParseReadCapacity(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Needs LenSupportedLogPages() bytes; lists at most 14 codes.
bool ParseSupportedLogPages(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// The error counter pages need their record's fixed length (LenWriteErrCounter() and so
// on); both page controls of a page decode alike.
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
bool DecodeWriteErrorCounterLog(WriteErrorCounterRecord* rec, const u8* data, u32 len);
bool DecodeReadErrorCounterLog(ReadErrorCounterRecord* rec, const u8* data, u32 len);
bool DecodeVerifyErrorCounterLog(VerifyErrorCounterRecord* rec, const u8* data, u32 len);
bool DecodeNonMediumErrorLog(NonMediumErrorRecord* rec, const u8* data, u32 len);

// Printers append to out and return true; ctx is ignored.
bool PrintReadCapacity(std::string& out, const ReadCapacityRecord* rec, u32 indent, void* ctx);
bool PrintSupportedLogPages(std::string& out, const SupportedLogPagesRecord* rec, u32 indent, void* ctx);
// One counter line per position.
bool PrintWriteErrorCounterLog(std::string& out, const WriteErrorCounterRecord* rec, u32 indent, void* ctx);
bool PrintReadErrorCounterLog(std::string& out, const ReadErrorCounterRecord* rec, u32 indent, void* ctx);
bool PrintVerifyErrorCounterLog(std::string& out, const VerifyErrorCounterRecord* rec, u32 indent, void* ctx);
bool PrintNonMediumErrorLog(std::string& out, const NonMediumErrorRecord* rec, u32 indent, void* ctx);

// Counter lines: five blanks whatever the indent, the position's label, "0x" and the
// eight value bytes in two hex digits each (lower case on the read page only). A
// position past the page's labels appends nothing.
void PrintWriteErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 indent, u32 position);
void PrintReadErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 indent, u32 position);
void PrintVerifyErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 indent, u32 position);
void PrintNonMediumErrorParam(std::string& out, const ErrorCounterParam* param, u32 indent);

#endif
