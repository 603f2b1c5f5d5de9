// IDENTIFY DEVICE decoder.
#ifndef ZV_IDENTIFY_DECODER_H
#define ZV_IDENTIFY_DECODER_H

#include <string>

#include "common.h"

bool ParseIdentifyDevice(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
