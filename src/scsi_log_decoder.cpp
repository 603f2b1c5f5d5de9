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
    if (data == nullptr || len < LenReadCapacity()) {
        return false;
    }
    ReadCapacityRecord rec;
    if (!DecodeReadCapacity(&rec, data, len)) {
        return false;
    }
    return PrintReadCapacity(out, &rec, indent, ctx);
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
    if (data == nullptr || len < LenSupportedLogPages()) {
        return false;
    }
    SupportedLogPagesRecord rec;
    if (!DecodeSupportedLogPages(&rec, data, len)) {
        return false;
    }
    return PrintSupportedLogPages(out, &rec, indent, ctx);
}

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseWriteErrorCounterLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseReadErrorCounterLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseVerifyErrorCounterLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseNonMediumErrorLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseTemperatureLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSelfTestResultsLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseProtocolSpecificPortLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseInformationalExceptionsLog(std::string&, const u8*, u32, u32, void*) { return false; }
bool ParseSmartTemperatureLog(std::string&, const u8*, u32, u32, void*) { return false; }
