#include "inquiry_decoder.h"

#include <cstring>

#include "decode_util.h"
#include "disk_info.h"

// Peripheral device type codes of SPC.
const char* const inquiry_device_type_names[kDeviceTypeNum] = {
    "Direct Access Block Device",           // 00h
    "Sequential-access Device",             // 01h
    "Printer Device",                       // 02h
    "Processor Device",                     // 03h
    "Write-once Device",                    // 04h
    "CD/DVD Device",                        // 05h
    "Scanner Device",                       // 06h
    "Optical Memory Device",                // 07h
    "Medium Changer Device",                // 08h
    "Communications Device",                // 09h
    "Obsolete",                             // 0Ah
    "Obsolete",                             // 0Bh
    "Storage Array Controller Device",      // 0Ch
    "Enclosure Services Device",            // 0Dh
    "Simplified Direct-access Device",      // 0Eh
    "Optical Card reader/writer Device",    // 0Fh
    "Bridge Controller Commands",           // 10h
    "Object-based Storage Device",          // 11h
    "Automation/Drive Interface",           // 12h
    "Reserved",                             // 13h
    "Reserved",                             // 14h
    "Reserved",                             // 15h
    "Reserved",                             // 16h
    "Reserved",                             // 17h
    "Reserved",                             // 18h
    "Reserved",                             // 19h
    "Reserved",                             // 1Ah
    "Reserved",                             // 1Bh
    "Reserved",                             // 1Ch
    "Reserved",                             // 1Dh
    "Well Known Logical Unit",              // 1Eh
    "Unknown or No Device Type",            // 1Fh
};

namespace {

// Standard INQUIRY fields (SPC).
const u32 kInqPeripheral = 0;
const u32 kInqRmb = 1;
const u32 kInqVersion = 2;
const u8 kDeviceTypeMask = 0x1F;
const u8 kRmbBit = 0x80;

struct VersionRow {
    u8 version;
    const char* text;
};

// By the whole VERSION byte; other values print no protocol line.
const VersionRow version_rows[] = {
    {0, "Not Report"},
    {3, "ANSI INCITS 301-1997"},
    {4, "ANSI INCITS 351-2001"},
    {5, "ANSI INCITS 375-200x"},
};

template <u32 Byte, u8 Mask>
bool AnyBit(const u8* d)
{
    return (d[Byte] & Mask) != 0;
}

// BQUE (byte 6 bit 7) and CMDQUE (byte 7 bit 1) together name the task management model.
bool FullTaskManagement(const u8* d) { return (d[6] & 0x80) == 0 && (d[7] & 0x02) != 0; }
bool BasicTaskManagement(const u8* d) { return (d[6] & 0x80) != 0 && (d[7] & 0x02) == 0; }

struct CapabilityRow {
    const char* label;
    bool (*yes)(const u8* data);
};

const CapabilityRow capability_rows[] = {
    {"Normal ACA Supported", AnyBit<3, 0x20>},
    {"Hierarchical Supported", AnyBit<3, 0x10>},
    {"SCC Supported", AnyBit<5, 0x80>},
    {"Access Controls Coordinator Supported", AnyBit<5, 0x40>},
    {"Target Port Group Supported", AnyBit<5, 0x30>},
    {"Third-Party Copy Supported", AnyBit<5, 0x08>},
    {"Protection Information Supported", AnyBit<5, 0x01>},
    {"Full task management model supported", FullTaskManagement},
    {"Basic task management model supported", BasicTaskManagement},
    {"Enclosure Services Supported", AnyBit<6, 0x40>},
    {"Multi Port", AnyBit<6, 0x10>},
    {"Medium Changer Supported", AnyBit<6, 0x08>},
    {"Linked Command Supported", AnyBit<7, 0x08>},
};

// By the check's state; other states add nothing.
const char* const capacitance_lines[] = {
    "     Start CapacitanceStatus is OK!\n",
    "     Start CapacitanceStatus is Fail!\n",
    "     Start CapacitanceStatus have in hand!\n",
};

std::string Heading(const std::string& ind, const char* title) { return ind + Padded(title, 41) + "\n"; }

std::string Item(const std::string& ind, const std::string& label, const std::string& value)
{
    return ind + "    " + label + value + "\n";
}

// The answer's text up to its first zero byte, as the drive sent it.
std::string AnswerText(const u8* data, u32 len)
{
    const char* s = reinterpret_cast<const char*>(data);
    const void* nul = memchr(s, 0, len);
    return std::string(s, nul != nullptr ? static_cast<const char*>(nul) - s : len);
}

bool AppendIdentityLine(std::string& out, const u8* data, u32 len, u32 want_len, u32 indent, const char* label)
{
    if (data == nullptr || len != want_len) {
        return false;
    }
    out += ParseIndent(indent) + label + AnswerText(data, len) + "\n";
    return true;
}

} // namespace

bool PrintInquiry(std::string& out, const u8* data, u32 indent)
{
    DiskInfo disk;
    if (!disk.FillFromInquiry(data, kInquiryPrintLen)) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    std::string text = Heading(ind, "Basic Information");
    text += Item(ind, "Model                : ", disk.model);
    text += Item(ind, "Serial Number        : ", disk.serial);
    text += Item(ind, "Firmware Version     : ", disk.firmware);
    text += Item(ind, "Device Type          : ", inquiry_device_type_names[data[kInqPeripheral] & kDeviceTypeMask]);
    text += Item(ind, "Removable            : ", YesNo((data[kInqRmb] & kRmbBit) != 0));
    for (const VersionRow& v : version_rows) {
        if (v.version == data[kInqVersion]) {
            text += Item(ind, "SCSI Protocol        : ", v.text);
            break;
        }
    }
    text += Heading(ind, "Capabilities");
    for (const CapabilityRow& c : capability_rows) {
        text += Item(ind, Padded(c.label, 39) + ": ", YesNo(c.yes(data)));
    }
    out = text;
    return true;
}

bool ParseInquiry(std::string& out, const u8* data, u32 len, u32 indent, void* /*ctx*/)
{
    if (data == nullptr || len < kInquiryMinLen) {
        return false;
    }
    // The printer reads a fixed span; a shorter answer is padded so nothing past it is read.
    u8 answer[kInquiryPrintLen] = {};
    memcpy(answer, data, len < kInquiryPrintLen ? len : kInquiryPrintLen);
    return PrintInquiry(out, answer, indent);
}

bool ParseSetTimeStamp(std::string& out, const u8* /*data*/, u32 /*len*/, u32 indent, void* /*ctx*/)
{
    out = ParseIndent(indent) + "Set Time Stamp OK!\n ";
    return true;
}

bool ParseDiskWwn(std::string& out, const u8* data, u32 len, u32 indent, void* /*ctx*/)
{
    return AppendIdentityLine(out, data, len, 16, indent, "WWN Number :");
}

bool ParseDiskSn(std::string& out, const u8* data, u32 len, u32 indent, void* /*ctx*/)
{
    return AppendIdentityLine(out, data, len, 20, indent, "SN Number :");
}

bool ParseDiskModel(std::string& out, const u8* data, u32 len, u32 indent, void* /*ctx*/)
{
    return AppendIdentityLine(out, data, len, 16, indent, "Model Number :");
}

bool ParseCapacitanceResult(std::string& out, const u8* data, u32 len, u32 /*indent*/, void* /*ctx*/)
{
    if (data == nullptr || len != sizeof(u32)) {
        return false;
    }
    const u32 state = ReadU32(data);
    if (state < sizeof(capacitance_lines) / sizeof(capacitance_lines[0])) {
        out += capacitance_lines[state];
    }
    return true;
}
