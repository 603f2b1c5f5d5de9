// INQUIRY vital product data pages.
#ifndef ZV_SCSI_VPD_DECODER_H
#define ZV_SCSI_VPD_DECODER_H

#include <string>

#include "common.h"

bool ParseInquiryExtended(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseInquiryScsiPorts(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseInquiryDeviceId(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseInquiryPagePolicy(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
bool ParseInquiryBlockDevice(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

#endif
