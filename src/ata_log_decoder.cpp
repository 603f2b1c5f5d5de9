#include "ata_log_decoder.h"

#include <cstdio>
#include <cstring>

#include "decode_util.h"

namespace {

// Log names by address, blank-padded to 42 when printed. One row per range, in
// address order; a row covers the addresses from its own up to the next row's.
struct LogNameRow {
    u32 first;
    const char* name;
};

const LogNameRow log_name_rows[] = {
    {0x00, "Log directory"},
    {0x01, "Summary SMART error log"},
    {0x02, "Comprehensive SMART error log"},
    {0x03, "Extended Comprehensive SMART error log"},
    {0x04, "Device Statistics"},
    {0x05, "Reserved"},
    {0x06, "SMART self-test log"},
    {0x07, "Extended SMART self-test log"},
    {0x08, "Reserved"},
    {0x09, "Selective Self-test log"},
    {0x0A, "Reserved"},
    {0x10, "Reserved for Serial ATA"},
    {0x18, "Reserved"},
    {0x20, "Obsotele"},
    {0x21, "Write Stream error log"},
    {0x22, "Read Stream error log"},
    {0x23, "Obsolete"},
    {0x24, "Reserved"},
    {0x80, "Host vendor specific"},
    {0xA0, "Device vendor specific"},
    {0xC0, "Reserved"},
    {0xE0, "SCT Command/Status"},
    {0xE1, "SCT data transfer"},
    {0xE2, "Reserved"},
};

const u32 kLogNameWidth = 42;

const char* const ordinals[] = {"1st", "2nd", "3rd", "4th", "5th"};

// Error log page: five 90-byte error log data structures from byte 2, each five
// 12-byte command data structures and a 30-byte error data structure.
const u32 kErrorLogEntries = 5;
const u32 kErrorLogEntryLen = 90;
const u32 kCommandStructs = 5;
const u32 kCommandStructLen = 12;
const u32 kErrorStructOffset = 60;
const u32 kDeviceErrorCountOffset = 452;
const u32 kChecksumOffset = 511;

// Self-test log page: 21 descriptor entries of 24 bytes from byte 2.
const u32 kSelfTestEntries = 21;
const u32 kSelfTestEntryLen = 24;

const u32 kSelectiveLabelWidth = 47;

const char* LogName(u32 address)
{
    const char* name = log_name_rows[0].name;
    for (const LogNameRow& row : log_name_rows) {
        if (row.first > address) {
            break;
        }
        name = row.name;
    }
    return name;
}

// The multi-page logs take whole pages only.
bool IsPageMultiple(const u8* data, u32 len) { return data != nullptr && len != 0 && len % kAtaLogPageLen == 0; }

bool LoadPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len)
{
    if (!IsPageMultiple(data, len)) {
        return false;
    }
    const u32 count = len / kAtaLogPageLen;
    pages.reserve(pages.size() + count);
    for (u32 i = 0; i < count; i++) {
        AtaLogPage page;
        memcpy(page.bytes, data + static_cast<size_t>(i) * kAtaLogPageLen, kAtaLogPageLen);
        pages.push_back(page);
    }
    return true;
}

void AppendCommandStruct(std::string& out, const std::string& in, u32 j, const u8* c)
{
    const std::string item = in + "        ";
    out += in + "    " + ordinals[j] + " command data struct \n";
    out += item + "Transport Value  : " + Hex2(c[0]) + "\n";
    out += item + "Feature          : " + Hex2(c[1]) + "\n";
    out += item + "Count            : " + Hex2(c[2]) + "\n";
    out += item + "LBA [7:0]        : " + Hex2(c[3]) + "\n";
    out += item + "LBA [15:8]       : " + Hex2(c[4]) + "\n";
    out += item + "LBA [23:16]      : " + Hex2(c[5]) + "\n";
    out += item + "Device           : " + Hex2(c[6]) + "\n";
    out += item + "Command          : " + Hex2(c[7]) + "\n";
    out += item + "Time Stamp       : " + Hex8(ReadU32(c + 8)) + "\n";
}

void AppendErrorStruct(std::string& out, const std::string& in, const u8* e)
{
    const std::string item = in + "        ";
    out += in + "    " + "Error data struct       \n";
    out += item + "Error            : " + Hex2(e[1]) + "\n";
    out += item + "Count            : " + Hex2(e[2]) + "\n";
    out += item + "LBA [7:0]        : " + Hex2(e[3]) + "\n";
    out += item + "LBA [15:8]       : " + Hex2(e[4]) + "\n";
    out += item + "LBA [23:16]      : " + Hex2(e[5]) + "\n";
    out += item + "Device           : " + Hex2(e[6]) + "\n";
    out += item + "Status           : " + Hex2(e[7]) + "\n";
    for (u32 b = 8; b <= 26; b++) {
        out += item + "Extended error   : " + Hex2(e[b]) + "\n";
    }
    out += item + "State            : " + Hex2(e[27]) + "\n";
    out += item + "Time Stamp       : " + Hex4(ReadU16(e + 28)) + "\n";
}

void AppendSelectiveLine(std::string& out, const std::string& in, const char* label, const std::string& value)
{
    out += in + Padded(label, kSelectiveLabelWidth) + ": " + value + "\n";
}

} // namespace

bool ParseAtaLogDirectoryPage(std::string& out, const u8* page, u32 indent)
{
    if (page == nullptr) {
        return false;
    }
    const std::string in = ParseIndent(indent);
    std::string text;
    for (u32 n = 0; n < 256; n++) {
        char head[32];
        snprintf(head, sizeof(head), "%02Xh   %04Xh   ", n, ReadU16(page + 2 * n));
        text += in + head + Padded(LogName(n), kLogNameWidth) + "\n";
    }
    out += text;
    return true;
}

bool ParseAtaLogDirectory(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len != kAtaLogPageLen) {
        return false;
    }
    return ParseAtaLogDirectoryPage(out, data, indent);
}

bool ParseAtaErrorLogPage(std::string& out, const u8* page, u32 indent)
{
    if (page == nullptr) {
        return false;
    }
    const std::string in = ParseIndent(indent);
    std::string text;
    text += in + "err log version          : " + "  " + Hex2(page[0]) + "\n";
    text += in + "Error log index          : " + "  " + Hex2(page[1]) + "\n";
    // All five entries are shown: the index is the drive's word, not a bound.
    for (u32 k = 0; k < kErrorLogEntries; k++) {
        const u8* entry = page + 2 + kErrorLogEntryLen * k;
        text += in + ordinals[k] + " error log            : \n";
        for (u32 j = 0; j < kCommandStructs; j++) {
            AppendCommandStruct(text, in, j, entry + kCommandStructLen * j);
        }
        AppendErrorStruct(text, in, entry + kErrorStructOffset);
    }
    text += in + "Device error count       : " + Hex4(ReadU16(page + kDeviceErrorCountOffset)) + "\n";
    text += in + "check sum                : " + Hex2(page[kChecksumOffset]) + "\n";
    out += text;
    return true;
}

bool ParseAtaSummaryErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len != kAtaLogPageLen) {
        return false;
    }
    return ParseAtaErrorLogPage(out, data, indent);
}

bool LoadAtaErrorLogPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len)
{
    return LoadPages(pages, data, len);
}

bool PrintAtaErrorLogPages(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent)
{
    for (const AtaLogPage& page : pages) {
        std::string text;
        if (!ParseAtaErrorLogPage(text, page.bytes, indent)) {
            return false;
        }
        out += text + "\n\n";
    }
    return true;
}

bool ParseAtaComprehensiveErrorLog(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    std::vector<AtaLogPage> pages;
    if (!LoadAtaErrorLogPages(pages, data, len)) {
        return false;
    }
    return PrintAtaErrorLogPages(out, pages, indent);
}

bool LoadAtaDeviceStatisticsPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len)
{
    return LoadPages(pages, data, len);
}

bool PrintAtaDeviceStatistics(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent)
{
    const std::string in = ParseIndent(indent);
    for (const AtaLogPage& page : pages) {
        const u8* p = page.bytes;
        out += in + "Version              : " + Hex4(ReadU16(p)) + "\n";
        out += in + "Power-On Reset Times : " + Hex8(ReadU32(p + 8)) + "\n";
        // Bit 63 of the statistic: the device supports this counter.
        out += in + "Counter Supported    : " + YesNo((p[15] & 0x80) != 0) + "\n";
    }
    return true;
}

bool ParseAtaDeviceStatistics(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    std::vector<AtaLogPage> pages;
    if (!LoadAtaDeviceStatisticsPages(pages, data, len)) {
        return false;
    }
    return PrintAtaDeviceStatistics(out, pages, indent);
}

bool LoadAtaSelfTestPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len)
{
    return LoadPages(pages, data, len);
}

bool PrintAtaSelfTestLog(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent)
{
    const std::string in = ParseIndent(indent);
    const std::string item = in + "    ";
    for (const AtaLogPage& page : pages) {
        const u8* p = page.bytes;
        out += in + "Version                          : " + Hex4(ReadU16(p)) + "\n";
        for (u32 k = 0; k < kSelfTestEntries; k++) {
            const u8* d = p + 2 + kSelfTestEntryLen * k;
            char number[8];
            snprintf(number, sizeof(number), "%02u", k + 1);
            out += in + number + " " + "Descriptor Entry                   \n";
            out += item + "LBA[7:0]                     : " + Hex2(d[0]) + "\n";
            out += item + "self-test execution status   : " + Hex2(d[1]) + "\n";
            out += item + "Time Stamp                   : " + Hex4(ReadU16(d + 2)) + "\n";
            out += item + "self-test failure checkpoint : " + Hex2(d[4]) + "\n";
            out += item + "Failing LBA                  : " + Hex8(ReadU32(d + 5)) + "\n";
        }
        out += in + "Self-test index                  : " + Hex2(p[508]) + "\n";
        out += in + "Check Sum                        : " + Hex2(p[511]) + "\n";
    }
    return true;
}

bool ParseAtaSelfTestLog(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    std::vector<AtaLogPage> pages;
    if (!LoadAtaSelfTestPages(pages, data, len)) {
        return false;
    }
    return PrintAtaSelfTestLog(out, pages, indent);
}

bool LoadAtaSelectiveSelfTestPages(std::vector<AtaLogPage>& pages, const u8* data, u32 len)
{
    return LoadPages(pages, data, len);
}

bool PrintAtaSelectiveSelfTestLog(std::string& out, const std::vector<AtaLogPage>& pages, u32 indent)
{
    const std::string in = ParseIndent(indent);
    for (const AtaLogPage& page : pages) {
        const u8* p = page.bytes;
        AppendSelectiveLine(out, in, "Version", Hex4(ReadU16(p)));
        for (u32 k = 0; k < 5; k++) {
            char start[40];
            char end[40];
            snprintf(start, sizeof(start), "Starting LBA for test span %u", k + 1);
            snprintf(end, sizeof(end), "Ending LBA for test span %u", k + 1);
            AppendSelectiveLine(out, in, start, Hex16(ReadU64(p + 2 + 16 * k)));
            AppendSelectiveLine(out, in, end, Hex16(ReadU64(p + 10 + 16 * k)));
        }
        AppendSelectiveLine(out, in, "Current LBA under test", Hex16(ReadU64(p + 492)));
        AppendSelectiveLine(out, in, "Current span under test", Hex4(ReadU16(p + 500)));
        AppendSelectiveLine(out, in, "Off-line scan after selective test", YesNo((p[502] & 0x02) != 0));
        AppendSelectiveLine(out, in, "Off-line scan after selective test is pending", YesNo((p[502] & 0x08) != 0));
        AppendSelectiveLine(out, in, "Off-line scan after selective test is active", YesNo((p[502] & 0x10) != 0));
        AppendSelectiveLine(out, in, "Selective self-test pending time", Hex4(ReadU16(p + 508)));
        AppendSelectiveLine(out, in, "Check sum", Hex2(p[511]));
    }
    return true;
}

bool ParseAtaSelectiveSelfTestLog(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    std::vector<AtaLogPage> pages;
    if (!LoadAtaSelectiveSelfTestPages(pages, data, len)) {
        return false;
    }
    return PrintAtaSelectiveSelfTestLog(out, pages, indent);
}

bool LoadSmartPendList(std::vector<SmartPendEntry>& entries, const u8* data, u32 len)
{
    if (!IsPageMultiple(data, len)) {
        return false;
    }
    const u32 count = len / sizeof(SmartPendEntry);
    for (u32 i = 0; i < count; i++) {
        const u8* r = data + static_cast<size_t>(i) * sizeof(SmartPendEntry);
        // The list ends at a record whose low lba half-word is FFFFh, whatever follows.
        if (r[0] == 0xFF && r[1] == 0xFF) {
            break;
        }
        entries.push_back(SmartPendEntry{ReadU32(r), ReadU32(r + 4)});
    }
    return true;
}

bool PrintSmartPendList(std::string& out, const std::vector<SmartPendEntry>& entries, u32 indent)
{
    const std::string in = ParseIndent(indent);
    std::string text = in + "LBA        PBA\n";
    for (const SmartPendEntry& e : entries) {
        char row[40];
        snprintf(row, sizeof(row), "%08Xh  %08Xh\n", e.lba, e.pba);
        text += in + row;
    }
    out = text;
    return true;
}

bool ParseSmartPendList(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    std::vector<SmartPendEntry> entries;
    if (!LoadSmartPendList(entries, data, len)) {
        return false;
    }
    return PrintSmartPendList(out, entries, indent);
}
