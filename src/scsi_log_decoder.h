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

// Temperature (0Dh): parameters 0000h (temperature) and 0001h (reference), degrees Celsius.
struct TemperatureLogRecord {
    LogPageHeader header;
    LogParameterHeader temperature_param;  // code in host order
    u8 reserved0;
    u8 temperature;
    LogParameterHeader reference_param;    // code in host order
    u8 reserved1;
    u8 reference;
};
static_assert(sizeof(TemperatureLogRecord) == 16, "temperature log record");

// One self-test result (SPC), 20 bytes; the code, hours and address in host order.
struct __attribute__((packed)) SelfTestResultParam {
    LogParameterHeader header;
    u8 code_and_results;  // bits 7-5 SELF-TEST CODE, bit 4 reserved, bits 3-0 SELF-TEST RESULTS
    u8 number;
    u16 power_on_hours;
    u64 first_failure;
    u8 sense_key;         // bits 3-0; bits 7-4 reserved
    u8 asc;
    u8 ascq;
    u8 vendor;
};
static_assert(sizeof(SelfTestResultParam) == 20, "self-test result parameter");

const u32 kSelfTestResultParams = 20;
struct SelfTestResultsRecord {  // page 10h
    LogPageHeader header;
    SelfTestResultParam params[kSelfTestResultParams];
};
static_assert(sizeof(SelfTestResultsRecord) == 404, "self-test results record");

// A SAS protocol-specific port parameter with one phy descriptor and no phy events. Only
// the parameter code is turned to host order; addresses and counters stay as sent.
struct SasPortParam {
    LogParameterHeader header;
    u8 protocol[2];
    u8 generation_code;
    u8 phy_count;
    u8 reserved0;
    u8 phy_id;
    u8 descriptor_head[2];
    u8 attached_device;          // bits 6-4 device type, bits 3-0 reason
    u8 reason_and_rate;          // bits 7-4 reason, bits 3-0 negotiated logical link rate
    u8 attached_initiator_ports; // bit 3 SSP, bit 2 STP, bit 1 SMP
    u8 attached_target_ports;
    u8 sas_address[8];
    u8 attached_sas_address[8];
    u8 attached_phy_id;
    u8 reserved1[7];
    u8 invalid_dword_count[4];
    u8 disparity_error_count[4];
    u8 loss_of_sync_count[4];
    u8 phy_reset_problem_count[4];
    u8 unread[4];
};
static_assert(sizeof(SasPortParam) == 60, "SAS port parameter");

const u32 kSasPorts = 2;
struct ProtocolPortLogRecord {  // page 18h
    LogPageHeader header;
    SasPortParam ports[kSasPorts];
};
static_assert(sizeof(ProtocolPortLogRecord) == 124, "protocol-specific port record");

struct InformationalExceptionsRecord {  // page 2Fh
    LogPageHeader header;
    LogParameterHeader param;  // code in host order
    u8 asc;
    u8 ascq;
    u8 temperature;            // most recent reading
    u8 vendor;
};
static_assert(sizeof(InformationalExceptionsRecord) == 12, "informational exceptions record");

// The maker's page 32h: fields right after the page header, no parameter header.
struct SmartTemperatureRecord {
    LogPageHeader header;
    int8_t current;
    int8_t reference;
    int8_t maximum;
    int8_t minimum;
    u32 max_time;        // power-on minutes at the maximum, host order
    u32 over_reference;  // time spent over the reference, host order
    u32 min_time;        // power-on minutes at the minimum, host order
};
static_assert(sizeof(SmartTemperatureRecord) == 20, "SMART temperature record");

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
// The temperature, self-test and port pages need LenTemperature(), LenSelfTestResults()
// and LenProtocolPortLogPage() bytes; the exceptions and SMART temperature pages, which
// have no fixed length, need the 12 and 20 bytes of their records.
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
bool DecodeTemperatureLog(TemperatureLogRecord* rec, const u8* data, u32 len);
bool DecodeSelfTestResultsLog(SelfTestResultsRecord* rec, const u8* data, u32 len);
bool DecodeProtocolSpecificPortLog(ProtocolPortLogRecord* rec, const u8* data, u32 len);
bool DecodeInformationalExceptionsLog(InformationalExceptionsRecord* rec, const u8* data, u32 len);
bool DecodeSmartTemperatureLog(SmartTemperatureRecord* rec, const u8* data, u32 len);

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

// The degree sign of the temperature lines is the GB2312 pair A1h E6h.
bool PrintTemperatureLog(std::string& out, const TemperatureLogRecord* rec, u32 indent, void* ctx);
// All 20 parameters, empty ones included.
bool PrintSelfTestResultsLog(std::string& out, const SelfTestResultsRecord* rec, u32 indent, void* ctx);
// Both ports; these lines ignore the indent.
bool PrintProtocolSpecificPortLog(std::string& out, const ProtocolPortLogRecord* rec, u32 indent, void* ctx);
bool PrintInformationalExceptionsLog(std::string& out, const InformationalExceptionsRecord* rec, u32 indent,
                                     void* ctx);
bool PrintSmartTemperatureLog(std::string& out, const SmartTemperatureRecord* rec, u32 indent, void* ctx);

// One log parameter: its header (code in host order, as the decoders leave it) and the
// eight bytes after it, which the caller must hold whatever the parameter length says.
// Nothing is appended for a null parameter.
void PrintLogParameter(std::string& out, const u8* param, u32 indent);
// A page header with its page length in host order.
void PrintLogPageHeader(std::string& out, const LogPageHeader* header, u32 indent);

#endif
