// INQUIRY data and the small vendor answers (WWN, serial number, model, capacitance, time stamp).
#ifndef ZV_INQUIRY_DECODER_H
#define ZV_INQUIRY_DECODER_H

#include <string>

#include "common.h"

// Standard INQUIRY data below this length (SPC's fixed part) is refused.
const u32 kInquiryMinLen = 36;
// Bytes the INQUIRY printer reads: the fixed part and the 20-byte serial after it.
const u32 kInquiryPrintLen = 56;

// Names by peripheral device type (INQUIRY byte 0 bits 4-0).
const u32 kDeviceTypeNum = 32;
extern const char* const inquiry_device_type_names[kDeviceTypeNum];

// Replaces out with the INQUIRY text; data must hold kInquiryPrintLen bytes.
// False (out untouched) for a null pointer.
bool PrintInquiry(std::string& out, const u8* data, u32 indent);

// Replaces out. Accepts at least kInquiryMinLen bytes; a serial number beyond the
// answer's end reads as empty.
bool ParseInquiry(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Replaces out; the answer is not read.
bool ParseSetTimeStamp(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Each appends one line for an answer of exactly 16, 20 and 16 bytes.
bool ParseDiskWwn(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskSn(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskModel(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Appends one unindented line for the states 0 to 2 and nothing for others; 4 bytes exactly.
bool ParseCapacitanceResult(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
