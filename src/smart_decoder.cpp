#include "smart_decoder.h"

#include "disk_analyser.h"
#include "disk_info.h"

void DiskAnalyser::InitSmartAttrName()
{
    vec_smart_attr_name.assign((unsigned int)(VER_UNKNOWN) + 1, std::vector<std::string>(256, "Unknown"));
}

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseAtaSmartValueThres(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseScsiSmartValue(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseScsiSmartThreshold(std::string&, const u8*, u32, u32, void*) { return false; }
