// MODE SENSE data walker and mode page printers.
#ifndef ZV_SCSI_MODE_DECODER_H
#define ZV_SCSI_MODE_DECODER_H

#include <string>

#include "common.h"

bool ParseModeSense(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
