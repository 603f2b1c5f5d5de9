#include "vendor_log_decoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include "decode_util.h"
#include "file_utils.h"

const LogContentDecoder log_content_decoders[kLogContentDecoderNum] = {
    {0x000C, DecodeCapacitanceTest},
    {0x0040, DecodeRawParam},
    {0x4000, DecodeVoltTempState},
};

// Used for a type-21 log once any function name holds a '0' or a '1'.
const LogContentDecoder log_content_decoders_alt[kLogContentDecoderAltNum] = {
    {0x2010, DecodeCapacitanceTest},
    {0x6021, DecodeRawParam},
    {0x6022, DecodeRawParam},
    {0x6023, DecodeRawParam},
    {0x6024, DecodeRawParam},
};

const char* const log_config_file_name = "log_config.txt";

namespace {

const u32 kRecordLen = 64;
// Sort modes of the option word (0 and anything above 7: drive order).
const u32 kSortByTime = 1;
const u32 kSortByTimeUnique = 2;
const u32 kSortByName = 3;
const u32 kSortByNameUnique = 4;
const u32 kSortByCode = 5;
const u32 kSortByCodeUnique = 6;
const u32 kSortByTimeContent = 7;
// Duplicates compare only this many bytes of the function name.
const u32 kDupNameBytes = 8;

// A slot the drive never wrote: bytes 4 to 63 erased (FFh), or all 64 bytes zero.
bool IsBlankSlot(const u8* slot)
{
    bool erased = true;
    for (u32 i = 4; i < kRecordLen && erased; i++) {
        erased = slot[i] == 0xFF;
    }
    if (erased) {
        return true;
    }
    for (u32 i = 0; i < kRecordLen; i++) {
        if (slot[i] != 0) {
            return false;
        }
    }
    return true;
}

void DecodeSlot(const u8* p, ReadCurrentLogRecord* r)
{
    r->TickCount = ReadU64(p);
    r->PC = ReadU32(p + 8);
    memcpy(r->FunName, p + 12, sizeof(r->FunName));
    r->ErrCode = ReadU16(p + 28);
    memcpy(r->Content, p + 30, sizeof(r->Content));
}

void DecodeSlot(const u8* p, DeviceVendorLogRecord* r)
{
    r->PowerCount = ReadU32(p);
    r->TickCount = ReadU32(p + 4);
    memcpy(r->FunName, p + 8, sizeof(r->FunName));
    r->ErrCode = ReadU16(p + 24);
    memcpy(r->Content, p + 26, sizeof(r->Content));
}

// Compared as C strings of at most n bytes, byte values unsigned (strncmp order).
int CompareBounded(const void* a, const void* b, u32 n)
{
    const u8* x = static_cast<const u8*>(a);
    const u8* y = static_cast<const u8*>(b);
    for (u32 i = 0; i < n; i++) {
        if (x[i] != y[i]) {
            return x[i] < y[i] ? -1 : 1;
        }
        if (x[i] == 0) {
            return 0;
        }
    }
    return 0;
}

template <typename Rec>
bool NameLess(const Rec& a, const Rec& b)
{
    return CompareBounded(a.FunName, b.FunName, sizeof(a.FunName)) < 0;
}

template <typename Rec>
bool CodeLess(const Rec& a, const Rec& b)
{
    return a.ErrCode < b.ErrCode;
}

bool TimeLess(const ReadCurrentLogRecord& a, const ReadCurrentLogRecord& b)
{
    if (a.PC != b.PC) {
        return a.PC < b.PC;
    }
    return u32(a.TickCount) < u32(b.TickCount);
}

bool TimeLess(const DeviceVendorLogRecord& a, const DeviceVendorLogRecord& b)
{
    if (a.PowerCount != b.PowerCount) {
        return a.PowerCount < b.PowerCount;
    }
    return a.TickCount < b.TickCount;
}

bool TimeContentLess(const ReadCurrentLogRecord& a, const ReadCurrentLogRecord& b)
{
    if (TimeLess(a, b)) {
        return true;
    }
    if (TimeLess(b, a)) {
        return false;
    }
    return CompareBounded(a.Content, b.Content, sizeof(a.Content)) < 0;
}

bool SameRecord(const ReadCurrentLogRecord& a, const ReadCurrentLogRecord& b)
{
    return a.PC == b.PC && a.TickCount == b.TickCount && a.ErrCode == b.ErrCode &&
           memcmp(a.FunName, b.FunName, kDupNameBytes) == 0 && memcmp(a.Content, b.Content, sizeof(a.Content)) == 0;
}

bool SameRecord(const DeviceVendorLogRecord& a, const DeviceVendorLogRecord& b)
{
    return a.PowerCount == b.PowerCount && a.TickCount == b.TickCount && a.ErrCode == b.ErrCode &&
           memcmp(a.FunName, b.FunName, kDupNameBytes) == 0 && memcmp(a.Content, b.Content, sizeof(a.Content)) == 0;
}

template <typename Rec>
void DropAdjacentDuplicates(std::vector<Rec>& records)
{
    records.erase(std::unique(records.begin(), records.end(),
                              [](const Rec& a, const Rec& b) { return SameRecord(a, b); }),
                  records.end());
}

// Modes 1 to 6, common to both layouts; false for any other mode (nothing done).
template <typename Rec>
bool SortCommon(std::vector<Rec>& records, u32 mode)
{
    switch (mode) {
    case kSortByTime:
    case kSortByTimeUnique:
        std::stable_sort(records.begin(), records.end(),
                         [](const Rec& a, const Rec& b) { return TimeLess(a, b); });
        break;
    case kSortByName:
    case kSortByNameUnique:
        std::stable_sort(records.begin(), records.end(), NameLess<Rec>);
        break;
    case kSortByCode:
    case kSortByCodeUnique:
        std::stable_sort(records.begin(), records.end(), CodeLess<Rec>);
        break;
    default:
        return false;
    }
    if (mode == kSortByTimeUnique || mode == kSortByNameUnique || mode == kSortByCodeUnique) {
        DropAdjacentDuplicates(records);
    }
    return true;
}

void SortLog(std::vector<ReadCurrentLogRecord>& records, u32 mode)
{
    if (mode == kSortByTimeContent) {
        std::stable_sort(records.begin(), records.end(), TimeContentLess);
        DropAdjacentDuplicates(records);
        return;
    }
    SortCommon(records, mode);
}

// Mode 7 keeps the drive order of a type-21 log, duplicates included.
void SortLog(std::vector<DeviceVendorLogRecord>& records, u32 mode) { SortCommon(records, mode); }

template <typename Rec>
bool LoadRecords(std::vector<Rec>& records, const u8* data, u32 len, const u32* options)
{
    records.clear();
    if (data == nullptr || len < kRecordLen) {
        return false;
    }
    // A transfer that ended inside a record leaves only its whole records.
    const u32 whole = len - len % kRecordLen;
    for (u32 off = 0; off < whole; off += kRecordLen) {
        if (IsBlankSlot(data + off)) {
            continue;
        }
        Rec r;
        DecodeSlot(data + off, &r);
        records.push_back(r);
    }
    if (options != nullptr) {
        SortCommon(records, VendorLogSortMode(*options));
    }
    return true;
}

// A name or content field as a C string (a zero byte after it), cut at its first newline.
template <typename T, size_t N>
std::string FieldText(const T (&field)[N])
{
    char buf[N + 1];
    memcpy(buf, field, N);
    buf[N] = 0;
    CutAtNewline(buf, N);
    return std::string(buf);
}

// Characters 4 to 23 of asctime's text for the local time of the record.
std::string TimeText(u64 tick_count)
{
    static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Only the low 32 bits of the seconds count.
    const time_t secs = static_cast<time_t>(static_cast<u32>(tick_count / 10));
    struct tm t;
    if (localtime_r(&secs, &t) == nullptr || t.tm_mon < 0 || t.tm_mon > 11) {
        return std::string(20, ' ');
    }
    char buf[64];
    snprintf(buf, sizeof(buf), "%.3s %2d %02d:%02d:%02d %d", months[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min,
             t.tm_sec, t.tm_year + 1900);
    return std::string(buf);
}

const LogContentDecoder* FindDecoder(const LogContentDecoder* table, u32 rows, u16 code)
{
    for (u32 i = 0; i < rows; i++) {
        if (table[i].ErrCode == code) {
            return &table[i];
        }
    }
    return nullptr;
}

struct DecoderTable {
    const LogContentDecoder* rows = nullptr;
    u32 count = 0;
};

// The record's content: decoded when the table has a row for its code, else as text.
template <typename Rec>
std::string ContentText(const Rec& r, const DecoderTable& table)
{
    const LogContentDecoder* d = FindDecoder(table.rows, table.count, r.ErrCode);
    if (d != nullptr) {
        return d->decoder(r.Content);
    }
    return FieldText(r.Content);
}

bool DecodesContents(const u32* options)
{
    return options != nullptr && VendorLogDecodeMode(*options) == kVendorLogDecodeContents;
}

bool NameHoldsZeroOrOne(const char (&name)[16])
{
    for (char c : name) {
        if (c == 0) {
            return false;
        }
        if (c == '0' || c == '1') {
            return true;
        }
    }
    return false;
}

} // namespace

std::string DecodeCapacitanceTest(const u8* content)
{
    const u32 start_time = ReadU32(content);
    const u32 mid_time = ReadU32(content + 4);
    const u32 end_time = ReadU32(content + 8);
    const u32 start_volt = ReadU32(content + 12);
    const u32 mid_volt = ReadU32(content + 16);
    const u32 end_volt = ReadU32(content + 20);
    const u32 capability = ReadU32(content + 24);
    char buf[160];
    snprintf(buf, sizeof(buf),
             "StartTime:%08Xh  StartVolt:%08Xh  MidTime:%08Xh  MidVolt:%08Xh  EndTime:%08Xh  EndVolt:%08Xh  "
             "Capability:%08Xh",
             start_time, start_volt, mid_time, mid_volt, end_time, end_volt, capability);
    return std::string(buf);
}

std::string DecodeRawParam(const u8* content)
{
    std::string text;
    for (u32 i = 0; i < 32; i++) {
        text += Hex2(content[i]) + "  ";
    }
    return text;
}

std::string DecodeVoltTempState(const u8* content)
{
    const u16 volt = ReadU16(content);
    const int16_t temp = static_cast<int16_t>(ReadU16(content + 2));
    const u16 state = ReadU16(content + 4);
    char buf[64];
    snprintf(buf, sizeof(buf), "volt:%04u  temp:%05d state:%04u", static_cast<unsigned>(volt),
             static_cast<int>(temp), static_cast<unsigned>(state));
    return std::string(buf);
}

void CutAtNewline(char* buf, u32 len)
{
    if (buf == nullptr) {
        return;
    }
    char* nl = static_cast<char*>(memchr(buf, '\n', len));
    if (nl != nullptr) {
        *nl = 0;
    }
}

bool LoadReadCurrentLogRecords(std::vector<ReadCurrentLogRecord>& records, const u8* data, u32 len,
                               const u32* options)
{
    return LoadRecords(records, data, len, options);
}

bool LoadDeviceVendorLogRecords(std::vector<DeviceVendorLogRecord>& records, const u8* data, u32 len,
                                const u32* options)
{
    return LoadRecords(records, data, len, options);
}

bool PrintReadCurrentLog(std::string& out, std::vector<ReadCurrentLogRecord>& records, u32 indent,
                         const u32* options)
{
    if (options != nullptr) {
        SortLog(records, VendorLogSortMode(*options));
    }
    const std::string in = ParseIndent(indent);
    out += in + "Device Vendor Specific Log\n";
    out += in + "PC                 TickCount       ErrCode        FunName                        Content\n";

    DecoderTable table;
    if (DecodesContents(options)) {
        table = {log_content_decoders, kLogContentDecoderNum};
    }
    for (const ReadCurrentLogRecord& r : records) {
        AppendLine(out, in, "%4u     %s      %04Xh    %20s    ", r.PC, TimeText(r.TickCount).c_str(),
                   static_cast<unsigned>(r.ErrCode), FieldText(r.FunName).c_str());
        out += ContentText(r, table) + "\n";
    }
    return true;
}

bool PrintDeviceVendorLog(std::string& out, std::vector<DeviceVendorLogRecord>& records, u32 indent,
                          const u32* options)
{
    const bool decode = DecodesContents(options);
    if (decode) {
        ApplyLogNameTable(LoadLogNameTable(log_config_file_name), records);
    }
    if (options != nullptr) {
        SortLog(records, VendorLogSortMode(*options));
    }
    const std::string in = ParseIndent(indent);
    out += in + "Device Vendor Specific Log\n";
    out += in + "PowerCount      TickCount       ErrCode    FunName                        Content\n";

    DecoderTable table;
    if (decode) {
        table = {log_content_decoders, kLogContentDecoderNum};
        for (const DeviceVendorLogRecord& r : records) {
            if (NameHoldsZeroOrOne(r.FunName)) {
                table = {log_content_decoders_alt, kLogContentDecoderAltNum};
                break;
            }
        }
    }
    for (const DeviceVendorLogRecord& r : records) {
        AppendLine(out, in, "%12u    %12u    %04Xh    %24s    ", r.PowerCount, r.TickCount,
                   static_cast<unsigned>(r.ErrCode), FieldText(r.FunName).c_str());
        out += ContentText(r, table) + "\n";
    }
    return true;
}

bool ParseLogConfigLine(const char* line, LogNameEntry* entry)
{
    if (line == nullptr || strlen(line) < 3) {
        return false;
    }
    const char* first = strchr(line, '"');
    const char* last = strrchr(line, '"');
    if (first == nullptr || last - first < 2) {
        return false;
    }
    const std::string head(line, first);
    const size_t enum_at = head.find("ENUM_");
    if (enum_at == std::string::npos) {
        return false;
    }
    // NAME runs to the first blank; without one it stops at the quote.
    const size_t name_at = enum_at + 5;
    size_t name_end = head.find(' ', name_at);
    if (name_end == std::string::npos) {
        name_end = head.size();
    }
    entry->text.assign(first + 1, last);
    entry->name = head.substr(name_at, name_end - name_at);
    return true;
}

bool ReadLogConfigFile(const char* path, std::string* text)
{
    text->clear();
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && st.st_size <= kLogConfigMaxBytes;
    // A file that grows past the limit while it is read is refused as well.
    char buf[8192];
    while (ok) {
        const ssize_t n = read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text->append(buf, static_cast<size_t>(n));
        ok = text->size() <= kLogConfigMaxBytes;
    }
    close(fd);
    if (!ok) {
        text->clear();
    }
    return ok;
}

std::vector<LogNameEntry> LoadLogNameTable(const char* path)
{
    std::vector<LogNameEntry> table;
    std::string text;
    if (!ReadLogConfigFile(path, &text)) {
        return table;
    }
    // Lines are taken as a 1024-byte line buffer would take them: a longer line comes in
    // pieces of 1023 characters, each taken as a line of its own, the newline kept.
    const size_t kPieceMax = 1023;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = std::min(pos + kPieceMax, text.size());
        const void* nl = memchr(text.data() + pos, '\n', end - pos);
        if (nl != nullptr) {
            end = static_cast<size_t>(static_cast<const char*>(nl) - text.data()) + 1;
        }
        const std::string piece = text.substr(pos, end - pos);
        pos = end;
        LogNameEntry entry;
        if (ParseLogConfigLine(piece.c_str(), &entry)) {
            table.push_back(entry);
        }
    }
    return table;
}

void ApplyLogNameTable(const std::vector<LogNameEntry>& table, std::vector<DeviceVendorLogRecord>& records)
{
    if (table.empty()) {
        return;
    }
    // The first pair of a text wins; a map keeps a long table from costing a scan per record.
    std::map<std::string, const std::string*> names;
    for (const LogNameEntry& e : table) {
        names.emplace(e.text, &e.name);
    }
    for (DeviceVendorLogRecord& r : records) {
        auto it = names.find(FieldText(r.FunName));
        if (it == names.end()) {
            continue;
        }
        const std::string& name = *it->second;
        memset(r.FunName, 0, sizeof(r.FunName));
        memcpy(r.FunName, name.data(), std::min(name.size(), sizeof(r.FunName)));
    }
}

bool ParseReadCurrentLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    std::vector<ReadCurrentLogRecord> records;
    if (!LoadReadCurrentLogRecords(records, data, len, nullptr)) {
        return false;
    }
    return PrintReadCurrentLog(out, records, indent, static_cast<const u32*>(ctx));
}

bool ParseDeviceVendorLog(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    std::vector<DeviceVendorLogRecord> records;
    if (!LoadDeviceVendorLogRecords(records, data, len, nullptr)) {
        return false;
    }
    return PrintDeviceVendorLog(out, records, indent, static_cast<const u32*>(ctx));
}
