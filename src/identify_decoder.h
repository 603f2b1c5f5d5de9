// IDENTIFY DEVICE decoder.
#ifndef ZV_IDENTIFY_DECODER_H
#define ZV_IDENTIFY_DECODER_H

#include <string>

#include "common.h"

// Parse callback of IDENTIFY DEVICE: exactly 512 bytes, else false with `out` untouched.
// `ctx` is not read: the text depends only on the data and the indent.
bool ParseIdentifyDevice(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

// Replaces `out` with the field-by-field text of 512 bytes of IDENTIFY DEVICE data.
// False (and `out` untouched) only for null data.
bool PrintIdentifyDevice(std::string& out, const u8* data, u32 indent);

#endif
