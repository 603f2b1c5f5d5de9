// The maker's vendor event logs: fixed 64-byte records of who logged, when, an event code
// and a small content area. Type 21 returns the ATA family's layout, type 86 the SAS
// family's; both are split into records, sorted, de-duplicated, renamed and printed.
#ifndef ZV_VENDOR_LOG_DECODER_H
#define ZV_VENDOR_LOG_DECODER_H

#include <string>
#include <vector>

#include "common.h"

// One record of a type-86 answer, little-endian.
struct ReadCurrentLogRecord {
    u64 TickCount;      // 0.1 s since 1970-01-01 00:00:00 UTC
    u32 PC;             // power count
    char FunName[16];   // not necessarily zero-terminated
    u16 ErrCode;
    u8 Content[34];
};
static_assert(sizeof(ReadCurrentLogRecord) == 64, "type-86 log record is 64 bytes");

// One record of a type-21 answer, little-endian.
struct DeviceVendorLogRecord {
    u32 PowerCount;
    u32 TickCount;
    char FunName[16];
    u16 ErrCode;
    u8 Content[38];
};
static_assert(sizeof(DeviceVendorLogRecord) == 64, "type-21 log record is 64 bytes");

// The option word of the vendor-log callbacks: bits 0-7 the sort mode, bits 8-15 the
// decode mode, the rest not read.
typedef u32 VendorLogOptions;
inline u32 VendorLogSortMode(VendorLogOptions w) { return w & 0xFF; }
inline u32 VendorLogDecodeMode(VendorLogOptions w) { return (w >> 8) & 0xFF; }
// The only decode mode that renames (type 21) and decodes contents.
const u32 kVendorLogDecodeContents = 1;

// Turns a record's Content bytes into text.
typedef std::string (*LogContentDecodeFun)(const u8* content);

struct LogContentDecoder {
    u16 ErrCode;
    LogContentDecodeFun decoder;
};

const u32 kLogContentDecoderNum = 3;
const u32 kLogContentDecoderAltNum = 5;
extern const LogContentDecoder log_content_decoders[kLogContentDecoderNum];
extern const LogContentDecoder log_content_decoders_alt[kLogContentDecoderAltNum];

// Content decoders: each reads at most the first 32 bytes of the content.
std::string DecodeCapacitanceTest(const u8* content);
std::string DecodeRawParam(const u8* content);
std::string DecodeVoltTempState(const u8* content);

// Replaces the first newline among the first len bytes by a zero byte.
void CutAtNewline(char* buf, u32 len);

// Clear records, then append every non-blank 64-byte slot in buffer order. An answer cut
// inside a record keeps the whole records before the cut; the part of the last one is not
// read. Refused: null data, or less than one whole record. With options, the records are
// also sorted and de-duplicated by its sort modes 1 to 6.
bool LoadReadCurrentLogRecords(std::vector<ReadCurrentLogRecord>& records, const u8* data, u32 len,
                               const u32* options);
bool LoadDeviceVendorLogRecords(std::vector<DeviceVendorLogRecord>& records, const u8* data, u32 len,
                                const u32* options);

// Sort, rename and decode as options asks (null: drive order, raw contents), then append
// the table to out. They reorder and shorten records and may rewrite FunName in it.
bool PrintReadCurrentLog(std::string& out, std::vector<ReadCurrentLogRecord>& records, u32 indent,
                         const u32* options);
bool PrintDeviceVendorLog(std::string& out, std::vector<DeviceVendorLogRecord>& records, u32 indent,
                          const u32* options);

// One pair of the name table: a FunName text and the NAME shown in its place.
struct LogNameEntry {
    std::string text;
    std::string name;
};

// The name table file, read from the working directory.
extern const char* const log_config_file_name;
// One line (or piece of a long line) of the name table: false when it adds nothing.
bool ParseLogConfigLine(const char* line, LogNameEntry* entry);
// The largest name table read, far above any real one.
const long kLogConfigMaxBytes = 1 << 20;
// The whole file into text; false (text empty) for anything but a regular file of at most
// kLogConfigMaxBytes, and for a file that cannot be read. Never blocks.
bool ReadLogConfigFile(const char* path, std::string* text);
// The table of the file in line order; empty when ReadLogConfigFile refuses it.
std::vector<LogNameEntry> LoadLogNameTable(const char* path);
// Every record whose name text equals a table text takes the NAME of the first such pair.
void ApplyLogNameTable(const std::vector<LogNameEntry>& table, std::vector<DeviceVendorLogRecord>& records);

// Parse callbacks (types 86 and 21); ctx is a pointer to a VendorLogOptions word, or null.
bool ParseDeviceVendorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseReadCurrentLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
