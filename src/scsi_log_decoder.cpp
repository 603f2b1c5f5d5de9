#include "scsi_log_decoder.h"

#include <cstdio>
#include <cstring>

#include "disk_analyser.h"
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

u16 Be16(const u8* p) { return static_cast<u16>((p[0] << 8) | p[1]); }

u32 Be32(const u8* p)
{
    return (static_cast<u32>(p[0]) << 24) | (static_cast<u32>(p[1]) << 16) | (static_cast<u32>(p[2]) << 8) |
           static_cast<u32>(p[3]);
}

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

// The wire bytes of a record whose every field is a byte copy of the answer's start; the
// caller turns its multi-byte fields into host order afterwards.
template <typename Rec>
bool CopyRecord(Rec* rec, const u8* data, u32 len, u32 fixed_len)
{
    if (rec == nullptr || data == nullptr || len < fixed_len || len < sizeof(Rec)) {
        return false;
    }
    memcpy(rec, data, sizeof(Rec));
    return true;
}

void HostPageHeader(LogPageHeader* header, const u8* data) { header->page_length = Be16(data + 2); }

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

// The page header and each parameter code to host order; counters stay as sent.
template <typename Rec, u32 N>
bool DecodeCounterPage(Rec* rec, ErrorCounterParam (&params)[N], const u8* data, u32 len, u32 fixed_len)
{
    if (!CopyRecord(rec, data, len, fixed_len)) {
        return false;
    }
    HostPageHeader(&rec->header, data);
    for (u32 i = 0; i < N; i++) {
        params[i].header.param_code = Be16(data + sizeof(LogPageHeader) + i * sizeof(ErrorCounterParam));
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

u32 ClampIndent(u32 indent) { return indent < kMaxParseIndent ? indent : kMaxParseIndent; }

} // namespace

bool DecodeReadCapacity(ReadCapacityRecord* rec, const u8* data, u32 len)
{
    if (rec == nullptr || data == nullptr || len < LenReadCapacity() || len < kReadCapacityLen) {
        return false;
    }
    rec->total_blocks = static_cast<u64>(Be32(data)) + 1;
    rec->block_length = Be32(data + 4);
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

bool DecodeSupportedLogPages(SupportedLogPagesRecord* rec, const u8* data, u32 len)
{
    if (!CopyRecord(rec, data, len, LenSupportedLogPages())) {
        return false;
    }
    HostPageHeader(&rec->header, data);
    return true;
}

bool PrintSupportedLogPages(std::string& out, const SupportedLogPagesRecord* rec, u32 indent, void* /*ctx*/)
{
    const std::string ind = ParseIndent(indent);
    out += ind + "Supported pages  :\n";
    for (u32 i = 0; i < rec->header.page_length && i < kSupportedLogPageCodes; i++) {
        const u8 code = rec->page_codes[i] & kPageCodeMask;
        const std::string line = ind + "    " + Fmt("%02Xh", code);
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
    return ParsePage(out, data, len, LenSupportedLogPages(), indent, ctx, DecodeSupportedLogPages,
                     PrintSupportedLogPages);
}

void PrintWriteErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/, u32 position)
{
    if (position < kWriteErrorCounterParams) {
        AddCounterLine(out, write_error_counter_labels[position], param, true);
    }
}

void PrintReadErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/, u32 position)
{
    if (position < kReadErrorCounterParams) {
        AddCounterLine(out, read_error_counter_labels[position], param, false);
    }
}

void PrintVerifyErrorCounterParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/, u32 position)
{
    if (position < kVerifyErrorCounterParams) {
        AddCounterLine(out, verify_error_counter_labels[position], param, true);
    }
}

void PrintNonMediumErrorParam(std::string& out, const ErrorCounterParam* param, u32 /*indent*/)
{
    AddCounterLine(out, non_medium_error_label, param, true);
}

bool DecodeWriteErrorCounterLog(WriteErrorCounterRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr && DecodeCounterPage(rec, rec->params, data, len, LenWriteErrCounter());
}

bool DecodeReadErrorCounterLog(ReadErrorCounterRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr && DecodeCounterPage(rec, rec->params, data, len, LenReadErrCounter());
}

bool DecodeVerifyErrorCounterLog(VerifyErrorCounterRecord* rec, const u8* data, u32 len)
{
    return rec != nullptr && DecodeCounterPage(rec, rec->params, data, len, LenVerifyErrCounter());
}

bool DecodeNonMediumErrorLog(NonMediumErrorRecord* rec, const u8* data, u32 len)
{
    if (!CopyRecord(rec, data, len, LenNonMediumErr())) {
        return false;
    }
    HostPageHeader(&rec->header, data);
    rec->param.header.param_code = Be16(data + sizeof(LogPageHeader));
    return true;
}

bool PrintWriteErrorCounterLog(std::string& out, const WriteErrorCounterRecord* rec, u32 indent, void* /*ctx*/)
{
    for (u32 i = 0; i < kWriteErrorCounterParams; i++) {
        PrintWriteErrorCounterParam(out, &rec->params[i], ClampIndent(indent), i);
    }
    return true;
}

bool PrintReadErrorCounterLog(std::string& out, const ReadErrorCounterRecord* rec, u32 indent, void* /*ctx*/)
{
    for (u32 i = 0; i < kReadErrorCounterParams; i++) {
        PrintReadErrorCounterParam(out, &rec->params[i], ClampIndent(indent), i);
    }
    return true;
}

bool PrintVerifyErrorCounterLog(std::string& out, const VerifyErrorCounterRecord* rec, u32 indent, void* /*ctx*/)
{
    for (u32 i = 0; i < kVerifyErrorCounterParams; i++) {
        PrintVerifyErrorCounterParam(out, &rec->params[i], ClampIndent(indent), i);
    }
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

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseTemperatureLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSelfTestResultsLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseProtocolSpecificPortLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInformationalExceptionsLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSmartTemperatureLog(std::string&, const u8*, u32, u32, void*) { return false; }
