#include "scsi_mode_decoder.h"

#include <algorithm>
#include <cstdio>

#include "decode_util.h"

namespace {

// How a field's value is written.
enum FieldFormat : u8 {
    kFmtDec,    // "%u"
    kFmtHex,    // "0x%x"
    kFmtHex64,  // "0x" then "%llx"
};

// One field of a page: bytes pos .. pos + width - 1, big-endian; when bits is not zero,
// only bits shift .. shift + bits - 1 of that value.
struct ModeField {
    const char* name;
    u8 pos;
    u8 width;
    u8 shift;
    u8 bits;
    FieldFormat fmt;
};

constexpr ModeField Bit(const char* name, u8 pos, u8 bit) { return {name, pos, 1, bit, 1, kFmtDec}; }
constexpr ModeField Bits(const char* name, u8 pos, u8 high, u8 low)
{
    return {name, pos, 1, low, static_cast<u8>(high - low + 1), kFmtDec};
}
constexpr ModeField Num(const char* name, u8 pos, u8 width) { return {name, pos, width, 0, 0, kFmtDec}; }
constexpr ModeField Hex(const char* name, u8 pos, u8 width)
{
    return {name, pos, width, 0, 0, width > 4 ? kFmtHex64 : kFmtHex};
}

// Phy descriptors after a page's own fields, each under a numbered heading; field
// positions count from the descriptor's start.
struct DescriptorLayout {
    const char* heading;  // followed by the number and "]"
    u32 first;            // page byte of descriptor 1
    u32 stride;
    u32 shown;            // descriptors shown, whatever the page's number of phys says
    const ModeField* fields;
    u32 field_count;
};

// A page's fields and the size of the record its printer reads.
struct PageLayout {
    const ModeField* fields;
    u32 field_count;
    u32 record_size;
    bool blank_after;  // an empty line follows the page
    const DescriptorLayout* descriptors;
};

const ModeField threshold_value_fields[] = {
    Num("Read Error Rate Threshold", 2, 1),
    Num("Write Error Rate Threshold", 3, 1),
    Num("Soft Error Rate Threshold", 4, 1),
    Num("Erase Fail Rate Threshold", 5, 1),
    Num("Disk Temperature Threshold", 6, 1),
    Num("Reallocation count Threshold", 7, 1),
    Num("Disk Life Expend Threshold", 8, 1),
};

const ModeField read_write_error_recovery_fields[] = {
    Bit("Disable Correction", 2, 0),
    Bit("Data Terminate on Error", 2, 1),
    Bit("Post Error", 2, 2),
    Bit("Enable Early Recovery", 2, 3),
    Bit("Read Continuous", 2, 4),
    Bit("Transfer Block", 2, 5),
    Bit("Automatic Read Reallocation Enabled", 2, 6),
    Bit("Automatic Write Reallocation Enabled", 2, 7),
    Num("Read Retry Count", 3, 1),
    Num("Correction Span", 4, 1),
    Num("Head Offset Count", 5, 1),
    Num("Data Strobe Count", 6, 1),
    Num("Write Retry Count", 8, 1),
    Num("Recovery Time Limit", 10, 2),
};

const ModeField disconnect_reconnect_fields[] = {
    Num("Buffer Full Ratio", 2, 1),
    Num("Buffer Empty Ratio", 3, 1),
    Num("Bus Inactivity Limit", 4, 2),
    Num("Disconnect Time Limit", 6, 2),
    Num("Connect Time Limit", 8, 2),
    Num("Maximum Burst Size", 10, 2),
    Bits("Data Transfer Disconnect Control", 12, 2, 0),
    Bit("Disconnect Immediate", 12, 3),
    Bits("Fair Arbitration", 12, 6, 4),
    Bit("Enable Modify Data Pointers", 12, 7),
    Num("First Burst Size", 14, 2),
};

const ModeField format_device_fields[] = {
    Num("Tracks per Zone", 2, 2),
    Num("Alternate Sectors per Zone", 4, 2),
    Num("Alternate Tracks per Zone", 6, 2),
    Num("Alternate Tracks per Volume", 8, 2),
    Num("Sectors per Track", 10, 2),
    Num("Data Bytes per Physical Sector", 12, 2),
    Num("Interleave", 14, 2),
    Num("Track Skew Factor", 16, 2),
    Num("Cylinder Skew Factor", 18, 2),
    Bit("INS", 20, 2),
    Bit("Surface", 20, 4),
    Bit("Removable", 20, 5),
    Bit("Hard Sector Formating", 20, 6),
    Bit("Soft Sectoring", 20, 7),
};

const ModeField rigid_disk_geometry_fields[] = {
    Num("Number of Cylinders", 2, 3),
    Num("Number of Heads", 5, 1),
    Num("Drive Step Rate", 12, 2),
    Num("Landing Zone Cylinder", 14, 3),
    Bits("Rotation Position Locking", 17, 1, 0),
    Num("Rotational Offset", 18, 1),
    Num("Medium Rotation Rate", 20, 2),
};

const ModeField verify_error_recovery_fields[] = {
    Bit("Disable Correction", 2, 0),
    Bit("Data Terminate on Error", 2, 1),
    Bit("Post Error", 2, 2),
    Bit("Enable Early Recovery", 2, 3),
    Bit("Read Continuous", 2, 4),
    Bit("Transfer Block", 2, 5),
    Bit("Automatic Read Reallocation Enabled", 2, 6),
    Bit("Automatic Write Reallocation Enabled", 2, 7),
    Num("Verify Retry Count", 3, 1),
    Num("Verify Correction Span", 4, 1),
    Num("Verify Recovery Time Limit", 10, 2),
};

const ModeField caching_fields[] = {
    Bit("Read Cache Disable", 2, 0),
    Bit("Multiplication Factor", 2, 1),
    Bit("Write Cache Enable", 2, 2),
    Bit("Size Enable", 2, 3),
    Bit("Discontinuity", 2, 4),
    Bit("Caching Analysis Permitted", 2, 5),
    Bit("Initiator Control", 2, 7),
    Bits("Write Retention Priority", 3, 3, 0),
    Bits("Demand Read Retention Priority", 3, 7, 4),
    Num("Disable Pre-Fetch Transfer Length", 4, 2),
    Num("Minimum Pre-Fetch", 6, 2),
    Num("Maximum Pre-Fetch", 8, 2),
    Num("Maximum Pre-Fetch Ceiling", 10, 2),
    Bit("Disable Read-Ahead", 12, 5),
    Bit("Logical Block Cache Segment Size", 12, 6),
    Bit("Force Sequential Write", 12, 7),
    Num("Number of Cache Segment(s)", 13, 1),
    Num("Cache Segment Size", 14, 2),
};

const ModeField control_fields[] = {
    Bit("Report Log Exception Conditions", 2, 0),
    Bit("Global Logging Target Save Disable", 2, 1),
    Bit("DQue", 3, 0),
    Bits("Queue Error Management", 3, 2, 1),
    Bits("Queue Algorithm Modifier", 3, 7, 4),
    Bit("EAENP", 4, 0),
    Bit("UAAENP", 4, 1),
    Bit("RAENP", 4, 2),
    Bit("EECA", 4, 7),
    Num("Ready AEN Holdoff Period", 6, 2),
    Num("Busy Timeout Period", 8, 2),
    Num("Extended Self-Test Completion Time", 10, 2),
};

const ModeField power_condition_fields[] = {
    Bit("Standby", 3, 0),
    Bit("Idle", 3, 1),
    Num("Idle Condition Timer", 4, 4),
    Num("Standby Condition Timer", 8, 4),
};

const ModeField informational_exceptions_control_fields[] = {
    Bit("Log Errors", 2, 0),
    Bit("Test", 2, 2),
    Bit("Disable Exception Control", 2, 3),
    Bit("Enable Warning", 2, 4),
    Bit("Enable Background Function", 2, 5),
    Bit("Performance", 2, 7),
    Bits("Method of Reporting Info Exceptions", 3, 3, 0),
    Num("Interval Timer", 4, 4),
    Num("Report Count", 8, 4),
};

const ModeField protocol_specific_lun_fields[] = {
    Bits("Transport Protocol Identifier", 2, 3, 0),
};

const ModeField protocol_specific_port_fields[] = {
    Bits("Protocol Identifier", 2, 3, 0),
    Bit("Ready LED Meaning", 2, 4),
    Bit("Broadcast Asychronous Event", 2, 5),
    Bit("Continue AWT", 2, 6),
    Num("I_T Nexus Loss Time", 4, 2),
    Num("Initiator Response Timeout", 6, 2),
    Num("Reject to Open Limit", 8, 2),
};

const ModeField shared_port_control_fields[] = {
    Bits("Protocol Identifier", 5, 3, 0),
    Num("Power Loss Timeout", 6, 2),
};

// The header of sub-pages 01h and 03h.
const ModeField phy_page_header_fields[] = {
    Bits("Protocol Identifier", 5, 3, 0),
    Num("Generation Code", 6, 1),
    Num("Number of Phys", 7, 1),
};

const ModeField sas_phy_mode_descriptor_fields[] = {
    Num("Phy Identifier", 1, 1),
    Bits("Attached Reason", 4, 3, 0),
    Bits("Attached Device Type", 4, 6, 4),
    Bits("Negotiated Logical Link Rate", 5, 3, 0),
    Bits("Reason", 5, 7, 4),
    Bit("Attached SMP Initiator Port", 6, 1),
    Bit("Attached STP Initiator Port", 6, 2),
    Bit("Attached SSP Initiator Port", 6, 3),
    Bit("Attached SMP Target Port", 7, 1),
    Bit("Attached STP Target Port", 7, 2),
    Bit("Attached SSP Target Port", 7, 3),
    Hex("SAS Address", 8, 8),
    Hex("Attached SAS Address", 16, 8),
    Num("Attached PHY Identifier", 24, 1),
    Bits("Hardware Minimum Physical Link Rate", 32, 3, 0),
    Bits("Programmed Minimum Physical Link Rate", 32, 7, 4),
    Bits("Hardware Maximum Physical Link Rate", 33, 3, 0),
    Bits("Programmed Maximum Physical Link Rate", 33, 7, 4),
};

const ModeField enhanced_phy_control_descriptor_fields[] = {
    Num("Phy Identifier", 1, 1),
    Num("Descriptor Length", 2, 2),
    Hex("Programmed PHY Capabilities", 4, 4),
    Hex("Current PHY Capabilities", 8, 4),
    Hex("Attached PHY Capabilities", 12, 4),
    Bits("Negotiated Physical Link Rate", 18, 3, 0),
    Bit("Negotiated SSC", 18, 4),
    Bit("Hardware Muxing Supported", 19, 0),
};

template <size_t N>
constexpr DescriptorLayout Descriptors(const char* heading, u32 stride, const ModeField (&fields)[N])
{
    return {heading, 8, stride, 2, fields, static_cast<u32>(N)};
}

const DescriptorLayout sas_phy_mode_descriptors =
    Descriptors("SAS phy mode descriptor[", 48, sas_phy_mode_descriptor_fields);
const DescriptorLayout enhanced_phy_control_descriptors =
    Descriptors("Enhanced Phy Control Mode Descriptor[", 20, enhanced_phy_control_descriptor_fields);

template <size_t N>
constexpr PageLayout Layout(const ModeField (&fields)[N], u32 record_size, bool blank_after = true,
                            const DescriptorLayout* descriptors = nullptr)
{
    return {fields, static_cast<u32>(N), record_size, blank_after, descriptors};
}

const PageLayout threshold_value_layout = Layout(threshold_value_fields, 9, false);
const PageLayout read_write_error_recovery_layout = Layout(read_write_error_recovery_fields, 12);
const PageLayout disconnect_reconnect_layout = Layout(disconnect_reconnect_fields, 16);
const PageLayout format_device_layout = Layout(format_device_fields, 24);
const PageLayout rigid_disk_geometry_layout = Layout(rigid_disk_geometry_fields, 24);
const PageLayout verify_error_recovery_layout = Layout(verify_error_recovery_fields, 12);
const PageLayout caching_layout = Layout(caching_fields, 20);
const PageLayout control_layout = Layout(control_fields, 12);
const PageLayout power_condition_layout = Layout(power_condition_fields, 12);
const PageLayout informational_exceptions_control_layout = Layout(informational_exceptions_control_fields, 12);
const PageLayout protocol_specific_lun_layout = Layout(protocol_specific_lun_fields, 8);
const PageLayout protocol_specific_port_layout = Layout(protocol_specific_port_fields, 16);
const PageLayout phy_control_and_discover_layout =
    Layout(phy_page_header_fields, 200, true, &sas_phy_mode_descriptors);
const PageLayout shared_port_control_layout = Layout(shared_port_control_fields, 16);
const PageLayout enhanced_phy_control_layout =
    Layout(phy_page_header_fields, 88, true, &enhanced_phy_control_descriptors);

// Row by row with mode_page_name_list.
const PageLayout* const mode_page_layouts[] = {
    &read_write_error_recovery_layout,
    &disconnect_reconnect_layout,
    &format_device_layout,
    &rigid_disk_geometry_layout,
    &verify_error_recovery_layout,
    &caching_layout,
    &control_layout,
    &protocol_specific_lun_layout,
    &protocol_specific_port_layout,
    &power_condition_layout,
    &informational_exceptions_control_layout,
    &threshold_value_layout,
};
static_assert(sizeof(mode_page_layouts) / sizeof(mode_page_layouts[0]) == kModePageNameNum,
              "one layout per known page");

// The sub-pages of page 19h with a printer.
const u8 kProtocolSpecificPortPage = 0x19;
struct SubPageRow {
    u8 subpage_code;
    const PageLayout* layout;
};
const SubPageRow port_subpage_rows[] = {
    {0x01, &phy_control_and_discover_layout},
    {0x02, &shared_port_control_layout},
    {0x03, &enhanced_phy_control_layout},
};

std::string FieldLine(const std::string& ind, const ModeField& f, const u8* record)
{
    u64 v = ReadBeBytes(record + f.pos, f.width);
    if (f.bits != 0) {
        v = (v >> f.shift) & ((u64(1) << f.bits) - 1);
    }
    const std::string label = Padded(f.name, 41) + ": ";
    char value[32];
    if (f.fmt == kFmtHex64) {
        snprintf(value, sizeof(value), "0x%llx", static_cast<unsigned long long>(v));
    } else {
        snprintf(value, sizeof(value), f.fmt == kFmtHex ? "0x%x" : "%u", static_cast<u32>(v));
    }
    return ind + label + value + "\n";
}

// The lines of the fields that lie inside the first avail bytes of record.
std::string FieldLines(const std::string& ind, const ModeField* fields, u32 count, const u8* record, u64 avail)
{
    std::string text;
    for (u32 i = 0; i < count; i++) {
        if (u64(fields[i].pos) + fields[i].width <= avail) {
            text += FieldLine(ind, fields[i], record);
        }
    }
    return text;
}

// Prints the fields of a page of which only avail bytes may be read: a page cut short by
// the end of the data shows the fields that lie inside.
void PrintLayout(std::string& out, const u8* page, u64 avail, const PageLayout& layout, u32 indent)
{
    const std::string ind = ParseIndent(indent);
    std::string text = FieldLines(ind, layout.fields, layout.field_count, page, avail);
    const DescriptorLayout* d = layout.descriptors;
    for (u32 n = 1; d != nullptr && n <= d->shown; n++) {
        const u32 start = d->first + (n - 1) * d->stride;
        if (start >= avail) {
            break;
        }
        const std::string lines = FieldLines(ind, d->fields, d->field_count, page + start, avail - start);
        if (!lines.empty()) {
            text += ind + d->heading + std::to_string(n) + "]\n" + lines + "\n";
        }
    }
    // One empty line after the page, also when the data ended before its descriptors.
    if (layout.blank_after && !text.empty() && text.compare(text.size() - 2, 2, "\n\n") != 0) {
        text += "\n";
    }
    out += text;
}

bool PrintRecord(std::string& out, const u8* page, const PageLayout& layout, u32 indent)
{
    PrintLayout(out, page, layout.record_size, layout, indent);
    return true;
}

const ModePageName* FindModePage(u8 page_code, u32* row)
{
    for (u32 i = 0; i < kModePageNameNum; i++) {
        if (mode_page_name_list[i].page_code == page_code) {
            *row = i;
            return &mode_page_name_list[i];
        }
    }
    return nullptr;
}

u32 AddSaturated(u32 offset, u32 step)
{
    const u64 next = u64(offset) + step;
    return next > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(next);
}

const u8 kPageCodeMask = 0x3F;
const u8 kSpfBit = 0x40;
// MODE SENSE(10) header and one short block descriptor.
const u32 kFirstPageOffset = 16;
const u32 kMinModeDataLen = 8;

} // namespace

// Titles blank-padded to kModePageTitleWidth.
const ModePageName mode_page_name_list[kModePageNameNum] = {
    {0x01, "Read-Write Error Recovery        "},
    {0x02, "Disconnect-Reconnect             "},
    {0x03, "Format Device                    "},
    {0x04, "Rigid Disk Geometry              "},
    {0x07, "Verify Error Recovery            "},
    {0x08, "Caching                          "},
    {0x0A, "Control                          "},
    {0x18, "Protocol-Specific LUN            "},
    {0x19, "Protocol-Specific Port           "},
    {0x1A, "Power Condition                  "},
    {0x1C, "Informational Exceptions Control "},
    {0x00, "Threshold Value                  "},
};

bool PrintThresholdValueModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, threshold_value_layout, indent);
}
bool PrintReadWriteErrorRecoveryModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, read_write_error_recovery_layout, indent);
}
bool PrintDisconnectReconnectModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, disconnect_reconnect_layout, indent);
}
bool PrintFormatDeviceModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, format_device_layout, indent);
}
bool PrintRigidDiskGeometryModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, rigid_disk_geometry_layout, indent);
}
bool PrintVerifyErrorRecoveryModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, verify_error_recovery_layout, indent);
}
bool PrintCachingModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, caching_layout, indent);
}
bool PrintControlModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, control_layout, indent);
}
bool PrintPowerConditionModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, power_condition_layout, indent);
}
bool PrintInformationalExceptionsControlModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, informational_exceptions_control_layout, indent);
}

bool PrintProtocolSpecificLunModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, protocol_specific_lun_layout, indent);
}
bool PrintProtocolSpecificPortModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, protocol_specific_port_layout, indent);
}
bool PrintPhyControlAndDiscoverModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, phy_control_and_discover_layout, indent);
}
bool PrintSharedPortControlModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, shared_port_control_layout, indent);
}
bool PrintEnhancedPhyControlModePage(std::string& out, const u8* page, u32 indent)
{
    return PrintRecord(out, page, enhanced_phy_control_layout, indent);
}

bool ParseModeSubPage(std::string& out, const u8* data, u32 len, u32* offset, u32 indent)
{
    if (data == nullptr || offset == nullptr || u64(*offset) + 4 > len) {
        return false;
    }
    const u32 start = *offset;
    const u8* page = data + start;
    const u8 page_code = page[0] & kPageCodeMask;
    const u8 subpage_code = page[1];
    const u32 page_len = ReadBe16(page + 2);
    const std::string ind = ParseIndent(indent);

    char line[64];
    snprintf(line, sizeof(line), "[%02xh]: Sub page[%02xh] \n", page_code, subpage_code);
    out += ind + line;
    if (page_code == kProtocolSpecificPortPage) {
        for (const SubPageRow& row : port_subpage_rows) {
            if (row.subpage_code == subpage_code) {
                // The descriptors shown are those inside the page and the data.
                const u64 avail = std::min<u64>(len - start, 4 + u64(page_len));
                PrintLayout(out, page, avail, *row.layout, indent);
            }
        }
    } else {
        out += ind + "Current parse is unsupported \n";
    }
    *offset = AddSaturated(start, 4 + page_len);
    return true;
}

bool ParseModeSense(std::string& out, const u8* data, u32 len, u32 indent, void* /*ctx*/)
{
    if (data == nullptr || len < kMinModeDataLen) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    out += ind + "**********************  Mode Sense Data  *********************\n";

    u32 offset = kFirstPageOffset;
    while (u64(offset) + 3 < len) {
        const u8* page = data + offset;
        const u8 page_code = page[0] & kPageCodeMask;
        const bool spf = (page[0] & kSpfBit) != 0;
        u32 row = 0;
        const ModePageName* known = FindModePage(page_code, &row);
        char line[80];
        if (known != nullptr && spf) {
            if (!ParseModeSubPage(out, data, len, &offset, indent)) {
                return false;
            }
            continue;
        }
        // A page's own length says where the next one starts, whatever its printer reads.
        const u32 page_size = spf ? 4 + ReadBe16(page + 2) : page[1] + 2u;
        if (known != nullptr && page_size >= mode_page_layouts[row]->record_size) {
            snprintf(line, sizeof(line), "[%02xh]:%s  \n", known->page_code, known->title);
            out += ind + line;
            PrintLayout(out, page, len - offset, *mode_page_layouts[row], indent);
        } else {
            // An unknown page, or a known one too short for its record.
            snprintf(line, sizeof(line), "  Mode page[%02xh]'s parse is unsupported \n", page_code);
            out += ind + line;
        }
        offset = AddSaturated(offset, page_size);
    }
    return true;
}
