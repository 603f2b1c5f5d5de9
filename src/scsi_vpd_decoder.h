// INQUIRY vital product data pages (SPC: 83h, 86h, 87h, 88h; SBC: B1h) turned into text.
#ifndef ZV_SCSI_VPD_DECODER_H
#define ZV_SCSI_VPD_DECODER_H

#include <string>

#include "common.h"

// Parse callbacks of the parse map; none of them reads ctx. The Extended INQUIRY callback
// replaces out, the others append to it. A refused answer leaves out untouched.

// Extended INQUIRY Data (86h): needs the bytes up to byte 6.
bool ParseInquiryExtended(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// SCSI Ports (88h): needs the 4-byte page header; refused when a port
// descriptor or one of its target port descriptors runs past the answer.
bool ParseInquiryScsiPorts(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Device Identification (83h): needs the page header; refused when a
// designation descriptor runs past the answer.
bool ParseInquiryDeviceId(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Mode Page Policy (87h): needs the page header; refused when the answer
// ends inside a policy descriptor.
bool ParseInquiryPagePolicy(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);
// Block Device Characteristics (B1h): needs the whole 64-byte page.
bool ParseInquiryBlockDevice(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

// Replaces out with the capability lines of an Extended INQUIRY page (bytes 0 to 6 are
// read); false for a null page.
bool PrintInquiryExtended(std::string& out, const u8* page, u32 indent);

// Designator printers: designator points at the designator proper (after its 4-byte
// descriptor header). The caller has checked that the designator is long enough: 8
// bytes for NAA 5, 4 for the relative target port. They append and always succeed.
bool PrintNaa2Designator(std::string& out, const u8* designator, u32 indent);
bool PrintNaa5Designator(std::string& out, const u8* designator, u32 indent);
bool PrintNaa6Designator(std::string& out, const u8* designator, u32 indent);
bool PrintRelativeTargetPortDesignator(std::string& out, const u8* designator, u32 indent);

#endif
