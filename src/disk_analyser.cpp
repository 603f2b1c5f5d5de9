#include "disk_analyser.h"

#include <cstddef>

#include "ata_log_decoder.h"
#include "disk_info.h"
#include "identify_decoder.h"
#include "inquiry_decoder.h"
#include "msg_processor.h"
#include "scsi_log_decoder.h"
#include "scsi_mode_decoder.h"
#include "scsi_vpd_decoder.h"
#include "smart_decoder.h"
#include "vendor_log_decoder.h"
#include "vendor_table_decoder.h"

std::map<CMND_TYPE, ParseFun> map_parse_fun;
std::vector<std::vector<std::string>> vec_smart_attr_name;

namespace {

struct ParseMapRow {
    u32 type;
    ParseFun fun;
};

// In type order; a null callback registers a type whose answer is not decoded.
const ParseMapRow parse_map_rows[] = {
    {0, ParseIdentifyDevice},               // IDENTIFY DEVICE
    {1, nullptr},                           // SMART RETURN STATUS
    {2, nullptr},                           // SMART ENABLE
    {3, nullptr},                           // SMART DISABLE
    {4, ParseAtaSmartValueThres},           // SMART VALUE-THRES
    {5, ParseAtaSmartValueThres},           // SMART threshold
    {6, ParseAtaLogDirectory},              // SMART log directory
    {7, ParseAtaSummaryErrorLog},           // SMART Summary error log
    {8, ParseAtaComprehensiveErrorLog},     // SMART Comprehensive err log
    {9, nullptr},                           // SMART Extend compre err log
    {10, ParseAtaDeviceStatistics},         // SMART Device statistics
    {11, ParseAtaSelfTestLog},              // SMART self-test log
    {12, nullptr},                          // SMART Extend self-test log
    {13, ParseAtaSelectiveSelfTestLog},     // SMART Selective self-test log
    {14, nullptr},                          // SMART Write Stream error log
    {15, nullptr},                          // SMART Read Stream error log
    {16, nullptr},                          // SMART Host vendor specific
    {18, ParseSmartPendList},               // SMART Pend List
    {21, ParseDeviceVendorLog},             // [89h] Device vendor log
    {43, nullptr},                          // [8Ch] Write Current Time
    {60, ParseInquiry},                     // [12h] INQUIRY
    {61, ParseInquiryExtended},             // [12h] INQUIRY Extended
    {62, ParseInquiryScsiPorts},            // [12h] INQUIRY SCSI Ports
    {63, ParseInquiryDeviceId},             // [12h] INQUIRY Device
    {64, ParseInquiryPagePolicy},           // [12h] INQUIRY Page Policy
    {65, ParseInquiryBlockDevice},          // [12h] INQUIRY Block device
    {66, ParseReadCapacity},                // [25h] Read Capacity
    {67, nullptr},                          // [3Bh] Download Microcode
    {68, ParseSupportedLogPages},           // [4Dh] Supported Log Pages
    {69, ParseWriteErrorCounterLog},        // [4Dh] Write Error Counter PC0
    {70, ParseWriteErrorCounterLog},        // [4Dh] Write Error Counter
    {71, ParseReadErrorCounterLog},         // [4Dh] Read Error Counter PC0
    {72, ParseReadErrorCounterLog},         // [4Dh] Read Error Counter
    {73, ParseVerifyErrorCounterLog},       // [4Dh] Verify Error Counter PC0
    {74, ParseVerifyErrorCounterLog},       // [4Dh] Verify Error Counter
    {75, ParseNonMediumErrorLog},           // [4Dh] Non-Medium Error PC0
    {76, ParseNonMediumErrorLog},           // [4Dh] Non-Medium Error
    {77, ParseTemperatureLog},              // [4Dh] Temperature
    {78, ParseSelfTestResultsLog},          // [4Dh] Self-Test Results
    {79, ParseProtocolSpecificPortLog},     // [4Dh] Protocol Specific Port log page
    {80, ParseInformationalExceptionsLog},  // [4Dh] Informational Exceptions
    {81, ParseSmartTemperatureLog},         // [4Dh] SMART Temperature
    {82, ParseScsiSmartThreshold},          // [4Dh] SMART Threshold
    {83, ParseScsiSmartValue},              // [4Dh] SMART Value
    {86, ParseReadCurrentLog},              // [4Dh] ReadCurrent LOG
    {89, ParseSetTimeStamp},                // [A4h] Set Time Stamp
    {120, ParseModeSense},                  // [5Ah] Mode Sense(Current)
    {121, ParseModeSense},                  // [5Ah] Mode Sense(Changeable)
    {122, ParseModeSense},                  // [5Ah] Mode Sense(Default)
    {123, ParseModeSense},                  // [5Ah] Mode Sense(Saved)
    {124, nullptr},                         // [3Bh] Download R5 Loader
    {125, nullptr},                         // [C1h] Clean SMART
    {126, ParseDiskWwn},                    // [C0h] Inquire Disk WWN
    {127, ParseDiskSn},                     // [C0h] Inquire Disk SN
    {128, nullptr},                         // [C0h] Set Disk WWN
    {129, nullptr},                         // [C0h] Set Disk SN
    {130, ParseDiskModel},                  // [C0h] Inquire Disk Model
    {131, nullptr},                         // [C0h] Set Disk Model
    {132, nullptr},                         // [C1h] Start Capacitance Status
    {133, ParseCapacitanceResult},          // [C0h] Get Capacitance Result
    {134, nullptr},                         // [C0h] Get Bad Page Info
    {135, ParseBadPage},                    // [C0h] Get Bad Page
    {136, ParseDiskFlag},                   // [C0h] Get Disk Flag
    {137, nullptr},                         // [C1h] Set Disk Flag
    {138, ParseDiskSpeed},                  // [C0h] Get Disk Speed
    {139, nullptr},                         // [4Dh] ReadRaidFlash LOG1
    {140, nullptr},                         // [4Dh] ReadRaidFlash LOG2
    {141, ParseIoInfo},                     // [C0h] Disk IO info
};

} // namespace

void DiskAnalyser::Init()
{
    InitParseMap();
    InitSmartAttrName();
    Check();
}

void DiskAnalyser::InitParseMap()
{
    map_parse_fun.clear();
    for (const ParseMapRow& row : parse_map_rows) {
        map_parse_fun.insert(std::make_pair(static_cast<CMND_TYPE>(row.type), row.fun));
    }
}

void DiskAnalyser::Check()
{
    for (size_t i = 0; i < TYPE_BUTT; i++) {
        ZV_CHECK(i == (size_t)(disk_spt_list[i].type));
    }
    // A type outside the catalogue could never be asked for.
    for (const auto& entry : map_parse_fun) {
        ZV_CHECK((size_t)(entry.first) < (size_t)(TYPE_BUTT));
    }
    ZV_CHECK(((unsigned int)(VER_UNKNOWN) + 1) == ((unsigned int)vec_smart_attr_name.size()));
    for (size_t i = 0; i < vec_smart_attr_name.size(); i++) {
        ZV_CHECK(256 == vec_smart_attr_name[i].size());
    }
}

bool DiskAnalyser::Analyse(std::string& out, CMND_TYPE type, const u8* data, u32 len, int* user_err, u32 indent,
                           void* ctx)
{
    auto it = map_parse_fun.find(type);
    if (it == map_parse_fun.end() || it->second == nullptr) {
        if (user_err != nullptr) {
            *user_err = USER_ERR_UNSUPPORTED;
        }
        return false;
    }
    bool ok = it->second(out, data, len, indent, ctx);
    if (user_err != nullptr) {
        *user_err = ok ? USER_ERR_NO_ERROR : USER_ERR_PARSE_FAILED;
    }
    return ok;
}
