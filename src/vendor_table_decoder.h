// The maker's vendor answers and tables.
#ifndef ZV_VENDOR_TABLE_DECODER_H
#define ZV_VENDOR_TABLE_DECODER_H

#include <string>

#include "common.h"

bool ParseBadPage(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskFlag(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseDiskSpeed(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseIoInfo(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
