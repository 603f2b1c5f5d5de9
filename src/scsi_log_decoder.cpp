#include "scsi_log_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "decode_util.h"
#include "disk_cmnd.h"
#include "disk_info.h"

// Names as the supported-pages list shows them, already padded to kLogPageNameWidth.
const LogPageNameRow log_page_name_list[kLogPageNameRows] = {
    {0x00, "Supported Log Pages                "},
    {0x02, "Write Error Counter                "},
    {0x03, "Read Error Counter                 "},
    {0x05, "Verify Error Counter               "},
    {0x06, "Non-Medium Error                   "},
    {0x0D, "Temperature                        "},
    {0x10, "Self-Test Results                  "},
    {0x15, "Background scan results            "},
    {0x18, "Protocol Specific Port             "},
    {0x19, "General statistics and performance "},
    {0x2F, "Informational exceptions (SMART)   "},
    {0x30, "Vendor specific                    "},
    {0x31, "Vendor specific                    "},
    {0x32, "SMART Temperature                  "},
    {0x33, "Vendor specific                    "},
    {0x34, "SMART Threshold                    "},
    {0x35, "SMART Value                        "},
};

const char* const write_error_counter_labels[kWriteErrorCounterParams] = {
    "Errors corrected without substantial delay = ",
    "Errors corrected with possible delays      = ",
    "Total rewrites or rereads                  = ",
    "Total errors corrected                     = ",
    "Total times correction algorithm processed = ",
    "Total bytes processed                      = ",
    "Total uncorrected errors                   = ",
    "Reserved or vendor specific [0x8000]       = ",
    "Reserved or vendor specific [0x8001]       = ",
};

const char* const read_error_counter_labels[kReadErrorCounterParams] = {
    "Errors corrected without substantial delay = ",
    "Errors corrected with possible delays      = ",
    "Total rewrites or rereads                  = ",
    "Total errors corrected                     = ",
    "Total times correction algorithm processed = ",
    "Total bytes processed                      = ",
    "Total uncorrected errors                   = ",
    "Reserved or vendor specific [0x8000]       = ",
};

const char* const verify_error_counter_labels[kVerifyErrorCounterParams] = {
    "Errors corrected without substantial delay = ",
    "Errors corrected with possible delays      = ",
    "Total rewrites or rereads                  = ",
    "Total errors corrected                     = ",
    "Total times correction algorithm processed = ",
    "Total bytes processed                      = ",
    "Total uncorrected errors                   = ",
};

const char* const non_medium_error_label = "Non-medium error count = ";

namespace {

const u8 kPageCodeMask = 0x3F;

// READ CAPACITY(10) data: last LBA, then block length, both big-endian.
const u32 kReadCapacityLen = 8;

// One value as text; the buffer is large enough for every format used here.
template <typename... Args>
std::string Fmt(const char* format, Args... args)
{
    char buf[32] = {};
    snprintf(buf, sizeof(buf), format, args...);
    return buf;
}

// A labelled line appended as one piece.
void AddLine(std::string& out, const std::string& ind, const char* label, const std::string& value)
{
    out += ind + label + value + "\n";
}

// The wire bytes of a page record whose every field is a byte copy of the answer's start,
// with its page length in host order; the caller turns its other multi-byte fields. The page
// is judged by its own length as well as by the bytes given: a drive that sends fewer
// parameters than the record holds has not sent the rest, whatever the buffer's size.
template <typename Rec>
bool CopyPage(Rec* rec, const u8* data, u32 len, u32 fixed_len)
{
    if (rec == nullptr || data == nullptr || len < fixed_len || len < sizeof(Rec)) {
        return false;
    }
    const u32 page_length = ReadBe16(data + 2);
    if (sizeof(LogPageHeader) + page_length < sizeof(Rec)) {
        return false;
    }
    memcpy(rec, data, sizeof(Rec));
    rec->header.page_length = static_cast<u16>(page_length);
    return true;
}

// These lines ignore the caller's indent: one blank and four more, always.
const char kCounterLead[] = "     ";

void AddCounterLine(std::string& out, const char* label, const ErrorCounterParam* param, bool upper)
{
    std::string line = std::string(kCounterLead) + label + "0x";
    for (u8 b : param->value) {
        line += Fmt(upper ? "%02X" : "%02x", b);
    }
    out += line + "\n";
}

// A position past the page's labels appends nothing.
template <u32 N>
void AddCounterLineAt(std::string& out, const char* const (&labels)[N], u32 position, const ErrorCounterParam* param,
                      bool upper)
{
    if (position < N) {
        AddCounterLine(out, labels[position], param, upper);
    }
}

template <u32 N>
void AddCounterParams(std::string& out, const ErrorCounterParam (&params)[N], u32 indent,
                      void (*print)(std::string&, const ErrorCounterParam*, u32, u32))
{
    for (u32 i = 0; i < N; i++) {
        print(out, &params[i], ClampIndent(indent), i);
    }
}

// A page of parameters that follow the header back to back: the page header and each
// parameter code to host order; the parameter bodies stay as sent.
template <typename Rec, typename Param>
bool DecodeParamPage(Rec* rec, Param* params, u32 count, const u8* data, u32 len, u32 fixed_len)
{
    if (!CopyPage(rec, data, len, fixed_len)) {
        return false;
    }
    for (u32 i = 0; i < count; i++) {
        params[i].header.param_code = ReadBe16(data + sizeof(LogPageHeader) + i * sizeof(Param));
    }
    return true;
}

template <typename Rec>
bool ParsePage(std::string& out, const u8* data, u32 len, u32 fixed_len, u32 indent, void* ctx,
               bool (*decode)(Rec*, const u8*, u32), bool (*print)(std::string&, const Rec*, u32, void*))
{
    if (data == nullptr || len < fixed_len) {
        return false;
    }
    Rec rec;
    if (!decode(&rec, data, len)) {
        return false;
    }
    return print(out, &rec, indent, ctx);
}

} // namespace

bool DecodeReadCapacity(ReadCapacityRecord* rec, const u8* data, u32 len)
{
    if (rec == nullptr || data == nullptr || len < LenReadCapacity() || len < kReadCapacityLen) {
        return false;
    }
    rec->total_blocks = static_cast<u64>(ReadBe32(data)) + 1;
    rec->block_length = ReadBe32(data + 4);
    return true;
}

bool PrintReadCapacity(std::string& out, const ReadCapacityRecord* rec, u32 indent, void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    // The IDEMA rule of the drive record; a count below its offset is no capacity at all.
    const u32 gb = CapacityGbOfBlocks(rec->total_blocks);
    AddLine(out, ind, "Total Block               : ", Fmt("%llu", static_cast<unsigned long long>(rec->total_blocks)));
    AddLine(out, ind, "Block Length              : ", Fmt("%u", rec->block_length) + "B");
    AddLine(out, ind, "Capacity                  : ", Fmt("%u", gb) + "G");
    return true;
}

bool ParseReadCapacity(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenReadCapacity(), indent, ctx, DecodeReadCapacity, PrintReadCapacity);
}

// A drive with fewer pages than the record holds sends a shorter list: the codes that arrived
// are kept, the record's page length counts only those, and the rest of the record is zero.
bool DecodeSupportedLogPages(SupportedLogPagesRecord* rec, const u8* data, u32 len)
{
    if (rec == nullptr || data == nullptr || len < sizeof(LogPageHeader)) {
        return false;
    }
    memset(rec, 0, sizeof(*rec));
    memcpy(rec, data, std::min<u32>(len, sizeof(*rec)));
    rec->header.page_length = static_cast<u16>(std::min<u32>(ReadBe16(data + 2), len - sizeof(LogPageHeader)));
    return true;
}

bool PrintSupportedLogPages(std::string& out, const SupportedLogPagesRecord* rec, u32 indent, void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    out += ind + "Supported pages  :\n";
    for (u32 i = 0; i < rec->header.page_length && i < kSupportedLogPageCodes; i++) {
        const u8 code = rec->page_codes[i] & kPageCodeMask;
        const std::string line = ind + "    " + Hex2(code);
        const LogPageNameRow* named = nullptr;
        for (const LogPageNameRow& row : log_page_name_list) {
            if (row.page_code == code) {
                named = &row;
                break;
            }
        }
        out += named != nullptr ? line + "    " + named->name + "\n" : line + "\n";
    }
    return true;
}

bool ParseSupportedLogPages(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, sizeof(LogPageHeader), indent, ctx, DecodeSupportedLogPages,
                     PrintSupportedLogPages);
}

void PrintWriteErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/, u32 position)
{
    AddCounterLineAt(out, write_error_counter_labels, position, param, true);
}

void PrintReadErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/, u32 position)
{
    AddCounterLineAt(out, read_error_counter_labels, position, param, false);
}

void PrintVerifyErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/, u32 position)
{
    AddCounterLineAt(out, verify_error_counter_labels, position, param, true);
}

void PrintNonMediumErrorParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/)
{
    AddCounterLine(out, non_medium_error_label, param, true);
}

bool DecodeWriteErrorCounterLog(WriteErrorCounterRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr &&
           DecodeParamPage(rec, rec->params, kWriteErrorCounterParams, data, len, LenWriteErrCounter());
}

bool DecodeReadErrorCounterLog(ReadErrorCounterRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr &&
           DecodeParamPage(rec, rec->params, kReadErrorCounterParams, data, len, LenReadErrCounter());
}

bool DecodeVerifyErrorCounterLog(VerifyErrorCounterRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr &&
           DecodeParamPage(rec, rec->params, kVerifyErrorCounterParams, data, len, LenVerifyErrCounter());
}

bool DecodeNonMediumErrorLog(NonMediumErrorRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr && DecodeParamPage(rec, &rec->param, 1, data, len, LenNonMediumErr());
}

bool PrintWriteErrorCounterLog(std::string& out, const WriteErrorCounterRecord* rec, u32 indent, void* /*ctx*/)
{
    AddCounterParams(out, rec->params, indent, PrintWriteErrorCounterParam);
    return true;
}

bool PrintReadErrorCounterLog(std::string& out, const ReadErrorCounterRecord* rec, u32 indent, void* /*ctx*/)
{
    AddCounterParams(out, rec->params, indent, PrintReadErrorCounterParam);
    return true;
}

bool PrintVerifyErrorCounterLog(std::string& out, const VerifyErrorCounterRecord* rec, u32 indent, void* /*ctx*/)
{
    AddCounterParams(out, rec->params, indent, PrintVerifyErrorCounterParam);
    return true;
}

bool PrintNonMediumErrorLog(std::string& out, const NonMediumErrorRecord* rec, u32 indent, void* /*ctx*/)
{
    PrintNonMediumErrorParam(out, &rec->param, ClampIndent(indent));
    return true;
}

bool ParseWriteErrorCounterLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenWriteErrCounter(), indent, ctx, DecodeWriteErrorCounterLog,
                     PrintWriteErrorCounterLog);
}

bool ParseReadErrorCounterLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenReadErrCounter(), indent, ctx, DecodeReadErrorCounterLog,
                     PrintReadErrorCounterLog);
}

bool ParseVerifyErrorCounterLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenVerifyErrCounter(), indent, ctx, DecodeVerifyErrorCounterLog,
                     PrintVerifyErrorCounterLog);
}

bool ParseNonMediumErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenNonMediumErr(), indent, ctx, DecodeNonMediumErrorLog,
                     PrintNonMediumErrorLog);
}

namespace {

// GB2312 degree Celsius sign; a literal, so that the labels below are spelt with it too.
#define ZV_DEGREE_SIGN "\xA1" "\xE6"
const char kDegree[] = ZV_DEGREE_SIGN;

// The header fields of a log parameter, as the self-test block and the generic
// parameter printer show them (33 characters, then ": ").
const char* const param_header_labels[] = {
    "PARAMETER CODE                   : ",
    "FORMAT AND LINKING               : ",
    "TMC                              : ",
    "ETC                              : ",
    "TSD                              : ",
    "Obsolete                         : ",
    "DU                               : ",
    "PARAMETER LENGTH                 : ",
};

// The rest of a self-test result parameter, in the order of its lines.
const char* const self_test_labels[] = {
    "SELF-TEST RESULTS                : ",
    "Reserved                         : ",
    "SELF-TEST CODE                   : ",
    "SELF-TEST NUMBER                 : ",
    "ACCUMULATED POWER ON HOURS       : ",
    "ADDRESS OF FIRST FAILURE         : ",
    "SENSE KEY                        : ",
    "Reserved                         : ",
    "ADDITIONAL SENSE CODE            : ",
    "ADDITIONAL SENSE CODE QUALIFIER  : ",
    "Vendor specific                  : ",
};

const char kParamValueLabel[] = "PARAMETER VALUE                  : ";

// 37 characters, then ": ".
const char* const info_exception_labels[] = {
    "PARAMETER CODE                       : ",
    "FORMAT AND LINKING                   : ",
    "TMC                                  : ",
    "ETC                                  : ",
    "TSD                                  : ",
    "Obsolete                             : ",
    "DU                                   : ",
    "PARAMETER LENGTH                     : ",
    "Additional Sense Code                : ",
    "Additional Sense Code Qualifier      : ",
    "Most Recent Temperature Reading      : ",
    "Vendor Specific                      : ",
};

const char* const page_header_labels[] = {
    "PAGE CODE                            : ",
    "SPF                                  : ",
    "DS                                   : ",
    "PAGE LENGTH                          : ",
};

const char* const temperature_labels[] = {
    "Current temperature   = ",
    "Reference temperature = ",
};

// The four temperature labels carry the degree sign; on a GB2312 terminal it is one
// double-width character and the colons line up with the three time labels.
const char* const smart_temperature_labels[] = {
    "Current Temperature   (" ZV_DEGREE_SIGN ")                     : ",
    "Reference Temperature (" ZV_DEGREE_SIGN ")                     : ",
    "Maximum Temperature   (" ZV_DEGREE_SIGN ")                     : ",
    "Minimum Temperature   (" ZV_DEGREE_SIGN ")                     : ",
    "Power-On Minutes when Max Temperature Occurred : ",
    "Total Time Spent Over Reference Temperature   : ",
    "Power-On Minutes when Min Temperature Occurred   : ",
};

// Labels of a port's lines, after kCounterLead.
const char* const port_labels[] = {
    "generation code = ",
    "number of phys = ",
    "phy identifier = ",
    "attached device type : ",
    "attached reason : ",
    "reason : ",
    "negotiated logical link rate : ",
    "attached initiator port : ",
    "attached target port : ",
    "SAS address = ",
    "attached SAS address = ",
    "attached phy identifier = ",
    "Invalid DWORD count = ",
    "Running disparity error count = ",
    "Loss of DWORD synchronization = ",
    "Phy reset problem = ",
};

// The control byte's fields: FORMAT AND LINKING, TMC, ETC, TSD, obsolete, DU.
void ControlFields(u8 control, u32 fields[6])
{
    fields[0] = control & 0x03;
    fields[1] = (control >> 2) & 0x03;
    fields[2] = (control >> 4) & 0x01;
    fields[3] = (control >> 5) & 0x01;
    fields[4] = (control >> 6) & 0x01;
    fields[5] = (control >> 7) & 0x01;
}

// The eight header lines of a log parameter under the given labels and line head.
void AddParamHeaderLines(std::string& out, const std::string& head, const char* const labels[8],
                         const LogParameterHeader& h)
{
    u32 control[6];
    ControlFields(h.control, control);
    AddLine(out, head, labels[0], Hex4(h.param_code));
    for (u32 i = 0; i < 6; i++) {
        AddLine(out, head, labels[1 + i], Fmt("%Xh", control[i]));
    }
    AddLine(out, head, labels[7], Hex2(h.param_length));
}

// "0x" and the bytes in the drive's order, lower case.
template <size_t N>
std::string HexBytes(const u8 (&bytes)[N])
{
    std::string s = "0x";
    for (u8 b : bytes) {
        s += Fmt("%02x", b);
    }
    return s;
}

std::string PortFlags(u8 ports)
{
    return "ssp = " + Fmt("%d ", (ports >> 3) & 1) + " stp = " + Fmt("%d ", (ports >> 2) & 1) + " smp = " +
           Fmt("%d ", (ports >> 1) & 1);
}

void AddPortLines(std::string& out, const SasPortParam& p, int number)
{
    out += "relative target port id =" + Fmt("%d", number) + "\n";
    const std::string head = kCounterLead;
    const std::string values[] = {
        Fmt("%d ", p.generation_code),
        Fmt("%d", p.phy_count),
        Fmt("%d ", p.phy_id),
        Fmt("%d ", (p.attached_device >> 4) & 0x07),
        Fmt("%d ", p.attached_device & 0x0F),
        Fmt("%d ", (p.reason_and_rate >> 4) & 0x0F),
        Fmt("%d ", p.reason_and_rate & 0x0F),
        PortFlags(p.attached_initiator_ports),
        PortFlags(p.attached_target_ports),
        HexBytes(p.sas_address),
        HexBytes(p.attached_sas_address),
        Fmt("%d", p.attached_phy_id),
        HexBytes(p.invalid_dword_count),
        HexBytes(p.disparity_error_count),
        HexBytes(p.loss_of_sync_count),
        HexBytes(p.phy_reset_problem_count),
    };
    static_assert(std::size(values) == std::size(port_labels), "one value per port label");
    for (size_t i = 0; i < std::size(port_labels); i++) {
        AddLine(out, head, port_labels[i], values[i]);
    }
}

} // namespace

bool DecodeTemperatureLog(TemperatureLogRecord* rec, const u8* data, u32 len)
{
    if (!CopyPage(rec, data, len, LenTemperature())) {
        return false;
    }
    rec->temperature_param.param_code = ReadBe16(data + 4);
    rec->reference_param.param_code = ReadBe16(data + 10);
    return true;
}

bool PrintTemperatureLog(std::string& out, const TemperatureLogRecord* rec, u32 indent, void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    AddLine(out, ind, temperature_labels[0], Fmt("%d", rec->temperature) + kDegree);
    AddLine(out, ind, temperature_labels[1], Fmt("%d", rec->reference) + kDegree);
    return true;
}

bool ParseTemperatureLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenTemperature(), indent, ctx, DecodeTemperatureLog, PrintTemperatureLog);
}

bool DecodeSelfTestResultsLog(SelfTestResultsRecord* rec, const u8* data, u32 len)
{
    if (!CopyPage(rec, data, len, LenSelfTestResults())) {
        return false;
    }
    for (u32 i = 0; i < kSelfTestResultParams; i++) {
        const u8* p = data + sizeof(LogPageHeader) + i * sizeof(SelfTestResultParam);
        SelfTestResultParam& r = rec->params[i];
        r.header.param_code = ReadBe16(p);
        r.power_on_hours = ReadBe16(p + 6);
        r.first_failure = ReadBe64(p + 8);
    }
    return true;
}

bool PrintSelfTestResultsLog(std::string& out, const SelfTestResultsRecord* rec, u32 indent, void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    const std::string head = ind + "    ";
    for (u32 i = 0; i < kSelfTestResultParams; i++) {
        const SelfTestResultParam& p = rec->params[i];
        out += ind + "Self-test results log parameter[" + Fmt("%d", static_cast<int>(i + 1)) + "]\n";
        AddParamHeaderLines(out, head, param_header_labels, p.header);
        const std::string values[] = {
            Fmt("%Xh", p.code_and_results & 0x0F),
            Fmt("%Xh", (p.code_and_results >> 4) & 0x01),
            Fmt("%Xh", (p.code_and_results >> 5) & 0x07),
            Hex2(p.number),
            Hex4(p.power_on_hours),
            Fmt("%llX", static_cast<unsigned long long>(p.first_failure)) + "h",
            Fmt("%Xh", p.sense_key & 0x0F),
            Fmt("%Xh", (p.sense_key >> 4) & 0x0F),
            Hex2(p.asc),
            Hex2(p.ascq),
            Hex2(p.vendor),
        };
        static_assert(std::size(values) == std::size(self_test_labels), "one value per self-test label");
        for (size_t k = 0; k < std::size(self_test_labels); k++) {
            AddLine(out, head, self_test_labels[k], values[k]);
        }
    }
    return true;
}

bool ParseSelfTestResultsLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenSelfTestResults(), indent, ctx, DecodeSelfTestResultsLog,
                     PrintSelfTestResultsLog);
}

bool DecodeProtocolSpecificPortLog(ProtocolPortLogRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr && DecodeParamPage(rec, rec->ports, kSasPorts, data, len, LenProtocolPortLogPage());
}

bool PrintProtocolSpecificPortLog(std::string& out, const ProtocolPortLogRecord* rec, u32 /*indent*/, void* /*ctx*/)
{
    // Ports are numbered by position, not by their relative target port identifier.
    for (u32 i = 0; i < kSasPorts; i++) {
        AddPortLines(out, rec->ports[i], static_cast<int>(i + 1));
    }
    return true;
}

bool ParseProtocolSpecificPortLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, LenProtocolPortLogPage(), indent, ctx, DecodeProtocolSpecificPortLog,
                     PrintProtocolSpecificPortLog);
}

// No fixed length: the record's own size is the least that is decoded, never more than was sent.
bool DecodeInformationalExceptionsLog(InformationalExceptionsRecord* rec, const u8* data, u32 len)
{
    if (!CopyPage(rec, data, len, sizeof(InformationalExceptionsRecord))) {
        return false;
    }
    rec->param.param_code = ReadBe16(data + 4);
    return true;
}

bool PrintInformationalExceptionsLog(std::string& out, const InformationalExceptionsRecord* rec, u32 indent,
                                     void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    AddParamHeaderLines(out, ind, info_exception_labels, rec->param);
    AddLine(out, ind, info_exception_labels[8], Hex2(rec->asc));
    AddLine(out, ind, info_exception_labels[9], Hex2(rec->ascq));
    AddLine(out, ind, info_exception_labels[10], Hex2(rec->temperature));
    AddLine(out, ind, info_exception_labels[11], Fmt("%Xh", rec->vendor));
    return true;
}

bool ParseInformationalExceptionsLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, sizeof(InformationalExceptionsRecord), indent, ctx,
                     DecodeInformationalExceptionsLog, PrintInformationalExceptionsLog);
}

bool DecodeSmartTemperatureLog(SmartTemperatureRecord* rec, const u8* data, u32 len)
{
    if (!CopyPage(rec, data, len, sizeof(SmartTemperatureRecord))) {
        return false;
    }
    rec->max_time = ReadBe32(data + 8);
    rec->over_reference = ReadBe32(data + 12);
    rec->min_time = ReadBe32(data + 16);
    return true;
}

bool PrintSmartTemperatureLog(std::string& out, const SmartTemperatureRecord* rec, u32 indent, void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    AddLine(out, ind, smart_temperature_labels[0], Fmt("%d", rec->current));
    AddLine(out, ind, smart_temperature_labels[1], Fmt("%d", rec->reference));
    AddLine(out, ind, smart_temperature_labels[2], Fmt("%d", rec->maximum));
    AddLine(out, ind, smart_temperature_labels[3], Fmt("%d", rec->minimum));
    AddLine(out, ind, smart_temperature_labels[4], Fmt("%u", rec->max_time));
    AddLine(out, ind, smart_temperature_labels[5], Fmt("%u", rec->over_reference));
    AddLine(out, ind, smart_temperature_labels[6], Fmt("%u", rec->min_time));
    return true;
}

bool ParseSmartTemperatureLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    return ParsePage(out, data, len, sizeof(SmartTemperatureRecord), indent, ctx, DecodeSmartTemperatureLog,
                     PrintSmartTemperatureLog);
}

void PrintLogParameter(std::string& out, const u8* param, u32 indent)
{
    if (param == nullptr) {
        return;
    }
    LogParameterHeader h;
    memcpy(&h, param, sizeof(h));
    const std::string head = ParseIndent(indent) + "    ";
    AddParamHeaderLines(out, head, param_header_labels, h);
    std::string value;
    for (u32 i = 0; i < 8; i++) {
        value += Hex2(param[sizeof(h) + i]) + " ";
    }
    AddLine(out, head, kParamValueLabel, value);
}

void PrintLogPageHeader(std::string& out, const LogPageHeader* header, u32 indent)
{
    if (header == nullptr) {
        return;
    }
    const std::string ind = ParseIndent(indent);
    AddLine(out, ind, page_header_labels[0], Hex2(header->page_code & kPageCodeMask));
    AddLine(out, ind, page_header_labels[1], Fmt("%Xh", (header->page_code >> 6) & 0x01));
    AddLine(out, ind, page_header_labels[2], Fmt("%Xh", (header->page_code >> 7) & 0x01));
    AddLine(out, ind, page_header_labels[3], Hex4(header->page_length));
}
