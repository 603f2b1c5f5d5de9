// The maker's vendor event logs.
#ifndef ZV_VENDOR_LOG_DECODER_H
#define ZV_VENDOR_LOG_DECODER_H

#include <string>

#include "common.h"

bool ParseDeviceVendorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseReadCurrentLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
