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

// In type order; a null callback registers a type whose answer is not decoded.
const ParseMapRow parse_map_rows[kParseMapRows] = {
    {TYPE_IDENTIFY_DEVICE, ParseIdentifyDevice},
    {TYPE_SMART_RETURN_STATUS, nullptr},
    {TYPE_SMART_ENABLE, nullptr},
    {TYPE_SMART_DISABLE, nullptr},
    {TYPE_SMART_VALUE_THRES, ParseAtaSmartValueThres},
    {TYPE_SMART_THRESHOLD, ParseAtaSmartValueThres},
    {TYPE_SMART_LOG_DIRECTORY, ParseAtaLogDirectory},
    {TYPE_SMART_SUMMARY_ERROR_LOG, ParseAtaSummaryErrorLog},
    {TYPE_SMART_COMPREHENSIVE_ERR_LOG, ParseAtaComprehensiveErrorLog},
    {TYPE_SMART_EXTEND_COMPRE_ERR_LOG, nullptr},
    {TYPE_SMART_DEVICE_STATISTICS, ParseAtaDeviceStatistics},
    {TYPE_SMART_SELF_TEST_LOG, ParseAtaSelfTestLog},
    {TYPE_SMART_EXTEND_SELF_TEST_LOG, nullptr},
    {TYPE_SMART_SELECTIVE_SELF_TEST_LOG, ParseAtaSelectiveSelfTestLog},
    {TYPE_SMART_WRITE_STREAM_ERROR_LOG, nullptr},
    {TYPE_SMART_READ_STREAM_ERROR_LOG, nullptr},
    {TYPE_SMART_HOST_VENDOR_SPECIFIC, nullptr},
    {TYPE_SMART_PEND_LIST, ParseSmartPendList},
    {TYPE_89H_DEVICE_VENDOR_LOG, ParseDeviceVendorLog},
    {TYPE_8CH_WRITE_CURRENT_TIME, nullptr},
    {TYPE_12H_INQUIRY, ParseInquiry},
    {TYPE_12H_INQUIRY_EXTENDED, ParseInquiryExtended},
    {TYPE_12H_INQUIRY_SCSI_PORTS, ParseInquiryScsiPorts},
    {TYPE_12H_INQUIRY_DEVICE, ParseInquiryDeviceId},
    {TYPE_12H_INQUIRY_PAGE_POLICY, ParseInquiryPagePolicy},
    {TYPE_12H_INQUIRY_BLOCK_DEVICE, ParseInquiryBlockDevice},
    {TYPE_25H_READ_CAPACITY, ParseReadCapacity},
    {TYPE_3BH_DOWNLOAD_MICROCODE, nullptr},
    {TYPE_4DH_SUPPORTED_LOG_PAGES, ParseSupportedLogPages},
    {TYPE_4DH_WRITE_ERROR_COUNTER_PC0, ParseWriteErrorCounterLog},
    {TYPE_4DH_WRITE_ERROR_COUNTER, ParseWriteErrorCounterLog},
    {TYPE_4DH_READ_ERROR_COUNTER_PC0, ParseReadErrorCounterLog},
    {TYPE_4DH_READ_ERROR_COUNTER, ParseReadErrorCounterLog},
    {TYPE_4DH_VERIFY_ERROR_COUNTER_PC0, ParseVerifyErrorCounterLog},
    {TYPE_4DH_VERIFY_ERROR_COUNTER, ParseVerifyErrorCounterLog},
    {TYPE_4DH_NON_MEDIUM_ERROR_PC0, ParseNonMediumErrorLog},
    {TYPE_4DH_NON_MEDIUM_ERROR, ParseNonMediumErrorLog},
    {TYPE_4DH_TEMPERATURE, ParseTemperatureLog},
    {TYPE_4DH_SELF_TEST_RESULTS, ParseSelfTestResultsLog},
    {TYPE_4DH_PROTOCOL_SPECIFIC_PORT_LOG_PAGE, ParseProtocolSpecificPortLog},
    {TYPE_4DH_INFORMATIONAL_EXCEPTIONS, ParseInformationalExceptionsLog},
    {TYPE_4DH_SMART_TEMPERATURE, ParseSmartTemperatureLog},
    {TYPE_4DH_SMART_THRESHOLD, ParseScsiSmartThreshold},
    {TYPE_4DH_SMART_VALUE, ParseScsiSmartValue},
    {TYPE_4DH_READCURRENT_LOG, ParseReadCurrentLog},
    {TYPE_A4H_SET_TIME_STAMP, ParseSetTimeStamp},
    {TYPE_5AH_MODE_SENSE_CURRENT, ParseModeSense},
    {TYPE_5AH_MODE_SENSE_CHANGEABLE, ParseModeSense},
    {TYPE_5AH_MODE_SENSE_DEFAULT, ParseModeSense},
    {TYPE_5AH_MODE_SENSE_SAVED, ParseModeSense},
    {TYPE_3BH_DOWNLOAD_R5_LOADER, nullptr},
    {TYPE_C1H_CLEAN_SMART, nullptr},
    {TYPE_C0H_INQUIRE_DISK_WWN, ParseDiskWwn},
    {TYPE_C0H_INQUIRE_DISK_SN, ParseDiskSn},
    {TYPE_C0H_SET_DISK_WWN, nullptr},
    {TYPE_C0H_SET_DISK_SN, nullptr},
    {TYPE_C0H_INQUIRE_DISK_MODEL, ParseDiskModel},
    {TYPE_C0H_SET_DISK_MODEL, nullptr},
    {TYPE_C1H_START_CAPACITANCE_STATUS, nullptr},
    {TYPE_C0H_GET_CAPACITANCE_RESULT, ParseCapacitanceResult},
    {TYPE_C0H_GET_BAD_PAGE_INFO, nullptr},
    {TYPE_C0H_GET_BAD_PAGE, ParseBadPage},
    {TYPE_C0H_GET_DISK_FLAG, ParseDiskFlag},
    {TYPE_C1H_SET_DISK_FLAG, nullptr},
    {TYPE_C0H_GET_DISK_SPEED, ParseDiskSpeed},
    {TYPE_4DH_READRAIDFLASH_LOG1, nullptr},
    {TYPE_4DH_READRAIDFLASH_LOG2, nullptr},
    {TYPE_C0H_DISK_IO_INFO, ParseIoInfo},
};

namespace {

// Zero-initialised: type 0 without a callback. In type order that can be IDENTIFY DEVICE's row
// only in row 0; past it, the row holds nothing.
bool IsEmptyRow(const ParseMapRow* rows, size_t i) { return i > 0 && rows[i].type == 0 && rows[i].fun == nullptr; }

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
        ZV_CHECK_ROW(!IsEmptyRow(disk_spt_list[i]), "disk_spt_list", i, kEmptyRow);
        ZV_CHECK_ROW(i == (size_t)(disk_spt_list[i].type), "disk_spt_list", i, i);
    }
    // A type outside the catalogue could never be asked for.
    size_t row = 0;
    for (const auto& entry : map_parse_fun) {
        ZV_CHECK_ROW((size_t)(entry.first) < (size_t)(TYPE_BUTT), "map_parse_fun", row, entry.first);
        row++;
    }
    ZV_CHECK(((unsigned int)(VER_UNKNOWN) + 1) == ((unsigned int)vec_smart_attr_name.size()));
    for (size_t i = 0; i < vec_smart_attr_name.size(); i++) {
        ZV_CHECK(256 == vec_smart_attr_name[i].size());
    }
    CheckParseRows(parse_map_rows, kParseMapRows);
}

void DiskAnalyser::CheckParseRows(const ParseMapRow* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        // A row left out while kParseMapRows was raised.
        ZV_CHECK_ROW(!IsEmptyRow(rows, i), "parse_map_rows", i, kEmptyRow);
        ZV_CHECK_ROW((size_t)(rows[i].type) < (size_t)(TYPE_BUTT), "parse_map_rows", i, rows[i].type);
        // Out of order or twice: the map would keep only the first of two rows for one type.
        ZV_CHECK_ROW(i == 0 || rows[i - 1].type < rows[i].type, "parse_map_rows", i, rows[i].type);
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
