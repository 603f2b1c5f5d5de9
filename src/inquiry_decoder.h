// INQUIRY data and the small vendor answers (WWN, serial number, model, capacitance, time stamp).
#ifndef ZV_INQUIRY_DECODER_H
#define ZV_INQUIRY_DECODER_H

#include <string>

#include "common.h"

bool ParseInquiry(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseSetTimeStamp(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskWwn(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskSn(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskModel(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseCapacitanceResult(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
