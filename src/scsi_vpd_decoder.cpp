#include "scsi_vpd_decoder.h"

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseInquiryExtended(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInquiryScsiPorts(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInquiryDeviceId(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInquiryPagePolicy(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInquiryBlockDevice(std::string&, const u8*, u32, u32, void*) { return false; }
