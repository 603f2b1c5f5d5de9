// SMART attribute tables of SATA (SMART READ DATA + THRESHOLDS) and SAS (vendor
// LOG SENSE pages 34h and 35h) drives, named by model family.
#ifndef ZV_SMART_DECODER_H
#define ZV_SMART_DECODER_H

#include <string>

#include "common.h"

bool ParseAtaSmartValueThres(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseScsiSmartValue(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseScsiSmartThreshold(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
