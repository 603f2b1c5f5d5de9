#include "scsi_vpd_decoder.h"

#include <cstdio>

#include "decode_util.h"

namespace {

// Every VPD page begins with the page code and a 16-bit page length.
const u32 kVpdHeaderLen = 4;
// Designation descriptor: byte 1 holds association and designator type, byte 3 the length.
const u32 kDesignatorHeaderLen = 4;
const u8 kDesignatorTypeNaa = 3;
const u8 kDesignatorTypeRelativeTargetPort = 4;
const u8 kNaaRegistered = 2;
const u8 kNaaIeeeRegistered = 5;
const u8 kNaaIeeeRegisteredExtended = 6;
// Bytes a designator must hold before its printer may read it.
const u32 kNaaFieldLen = 1;
const u32 kNaa5Len = 8;
const u32 kRelativeTargetPortLen = 4;
// SCSI port designation descriptor (88h): the fixed bytes before the initiator port
// TransportID, and the reserved word and target port descriptors length after it.
const u32 kPortHeadLen = 8;
const u32 kPortTailLen = 4;
const u32 kPolicyDescriptorLen = 4;
// Extended INQUIRY reads its flags from bytes 4 to 6.
const u32 kExtendedMinLen = 7;
const u32 kBlockDevicePageLen = 64;

const char* const kLead = "    ";
const char* const kUnsupported = "Current parse is unsupported \n";

const char* const association_names[4] = {
    "Logical Unit   : ",
    "Target Port    : ",
    "Target Device  : ",
    "Reserved       : ",
};

const char* const policy_names[4] = {
    "Shared",
    "Per target port",
    "Per initiator port",
    "Per I_T nexus",
};

struct ExtendedRow {
    const char* label;
    u32 byte;
    u8 mask;
};

const ExtendedRow extended_rows[] = {
    {"Logical Block Reference Tag Supported", 4, 0x08},
    {"Check Logical Block Guard Field", 4, 0x04},
    {"Check Logical Block Application Tag field", 4, 0x02},
    {"Check Logical Block Reference Tag Field", 4, 0x01},
    {"Grouping Function Supported", 5, 0x10},
    {"Task Priority Supported", 5, 0x08},
    {"HEAD OF QUEUE Task Attribute Supported", 5, 0x04},
    {"ORDERED Task Attribute Supported", 5, 0x02},
    {"SIMPLE Task Attribute Supported", 5, 0x01},
    {"A Non-Volatile Cache Supported", 6, 0x02},
    {"A Volatile Cache Supported", 6, 0x01},
};

// One designation descriptor (header and designator), already known to lie within the
// answer. A designator too short for the layout of its type cannot be shown.
void PrintDesignator(std::string& out, const u8* desc, u32 indent)
{
    const u8 type = desc[1] & 0x0F;
    const u32 len = desc[3];
    const u8* designator = desc + kDesignatorHeaderLen;
    if (type == kDesignatorTypeNaa && len >= kNaaFieldLen) {
        const u8 naa = designator[0] >> 4;
        if (naa == kNaaRegistered) {
            PrintNaa2Designator(out, designator, indent);
        } else if (naa == kNaaIeeeRegistered) {
            if (len >= kNaa5Len) {
                PrintNaa5Designator(out, designator, indent);
            } else {
                out += ParseIndent(indent) + kUnsupported;
            }
        } else if (naa == kNaaIeeeRegisteredExtended) {
            PrintNaa6Designator(out, designator, indent);
        }
        return;
    }
    if (type == kDesignatorTypeRelativeTargetPort && len >= kRelativeTargetPortLen) {
        PrintRelativeTargetPortDesignator(out, designator, indent);
        return;
    }
    out += ParseIndent(indent) + kUnsupported;
}

// Descriptor at off, within [off, end): its whole length, or 0 when it runs past end.
u64 DescriptorLen(const u8* data, u64 off, u64 end)
{
    if (end - off < kDesignatorHeaderLen) {
        return 0;
    }
    const u64 whole = kDesignatorHeaderLen + u64(data[off + 3]);
    return end - off < whole ? 0 : whole;
}

} // namespace

bool PrintNaa2Designator(std::string&, const u8*, u32) { return true; }

bool PrintNaa5Designator(std::string& out, const u8* designator, u32 indent)
{
    // The 36-bit vendor specific identifier: low nibble of byte 3, then bytes 4 to 7.
    char id[32];
    snprintf(id, sizeof(id), "%x%08x", designator[3] & 0x0F, ReadBe32(designator + 4));
    out += ParseIndent(indent) + kLead + "ID: " + id + "\n";
    return true;
}

bool PrintNaa6Designator(std::string&, const u8*, u32) { return true; }

bool PrintRelativeTargetPortDesignator(std::string& out, const u8* designator, u32 indent)
{
    const u32 port = ReadBe16(designator + 2);
    if (port == 1) {
        out += ParseIndent(indent) + kLead + "RELATIVE TARGET PORT: A\n";
    } else if (port == 2) {
        out += ParseIndent(indent) + kLead + "RELATIVE TARGET PORT: B\n";
    }
    return true;
}

bool PrintInquiryExtended(std::string& out, const u8* page, u32 indent)
{
    if (page == nullptr) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    std::string text = ind + Padded("Capabilities", 22) + "\n";
    for (const ExtendedRow& row : extended_rows) {
        text += ind + kLead + Padded(row.label, 43) + ": " + YesNo((page[row.byte] & row.mask) != 0) + "\n";
    }
    out = text;
    return true;
}

bool ParseInquiryExtended(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kExtendedMinLen) {
        return false;
    }
    return PrintInquiryExtended(out, data, indent);
}

bool ParseInquiryDeviceId(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kVpdHeaderLen) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    std::string text = ind + "Device Identification:\n";
    int number = 1;
    for (u64 off = kVpdHeaderLen; off < len; number++) {
        const u64 whole = DescriptorLen(data, off, len);
        if (whole == 0) {
            return false;
        }
        const u8* desc = data + off;
        char head[64];
        snprintf(head, sizeof(head), "Descriptor[%d] for ", number);
        text += ind + kLead + head + association_names[(desc[1] >> 4) & 0x03] + "\n";
        PrintDesignator(text, desc, indent);
        off += whole;
    }
    out += text;
    return true;
}

bool ParseInquiryScsiPorts(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kVpdHeaderLen) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    std::string text = ind + "SCSI Ports Identification:\n";
    for (u64 off = kVpdHeaderLen; off < len;) {
        if (len - off < kPortHeadLen) {
            return false;
        }
        const u8* port = data + off;
        // Targets follow the initiator port TransportID, whose length the header gives.
        const u64 tail = off + kPortHeadLen + ReadBe16(port + 6);
        if (len < tail + kPortTailLen) {
            return false;
        }
        const u64 targets = tail + kPortTailLen;
        const u64 targets_end = targets + ReadBe16(data + tail + 2);
        if (len < targets_end) {
            return false;
        }
        const u32 relative_port = ReadBe16(port + 2);
        const bool prefixed = relative_port == 1 || relative_port == 2;
        if (prefixed) {
            text += ind + kLead + (relative_port == 1 ? "PORT[A] " : "PORT[B] ");
        }
        const size_t after_prefix = text.size();
        for (u64 t = targets; t < targets_end;) {
            const u64 whole = DescriptorLen(data, t, targets_end);
            if (whole == 0) {
                return false;
            }
            PrintDesignator(text, data + t, indent);
            t += whole;
        }
        // A port prefix that no designator text followed still ends its line.
        if (prefixed && text.size() == after_prefix) {
            text += "\n";
        }
        off = targets_end;
    }
    out += text;
    return true;
}

bool ParseInquiryPagePolicy(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kVpdHeaderLen) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    std::string text = ind + "Mode Page Policy:\n";
    text += ind + kLead + "APPLICABILITY                  POLICY\n";
    for (u64 off = kVpdHeaderLen; off < len; off += kPolicyDescriptorLen) {
        if (len - off < kPolicyDescriptorLen) {
            return false;
        }
        const u8* desc = data + off;
        const u8 page = desc[0] & 0x3F;
        if (page == 0x3F && desc[1] == 0xFF) {
            text += ind + kLead + "All mode pages and subpages    ";
        } else {
            char which[64];
            snprintf(which, sizeof(which), "Page : %02xh Subpage : %02xh", page, desc[1]);
            text += ind + kLead + which;
        }
        text += ind + Padded(policy_names[desc[2] & 0x03], 22) + "\n";
    }
    out += text;
    return true;
}

bool ParseInquiryBlockDevice(std::string& out, const u8* data, u32 len, u32 indent, void*)
{
    if (data == nullptr || len < kBlockDevicePageLen) {
        return false;
    }
    const std::string ind = ParseIndent(indent);
    std::string text = ind + "VPD INQUIRY: Block device characteristcis page (SBC)\n";
    text += ind + kLead;
    const u32 rate = ReadBe16(data + 4);
    if (rate == 0x0000) {
        text += "Medium rotation rate is not reported";
    } else if (rate == 0x0001) {
        text += "Non-rotating medium (e.g., solid state)";
    } else if (rate <= 0x0400 || rate == 0xFFFF) {
        text += "Reserved";
    } else {
        text += "Nominal medium rotation rate in rotations per minute (i.e., rpm)\n" + ind + kLead +
                "(e.g., 7 200 rpm = 1C20h, 10 000 rpm = 2710h, and 15 000 rpm = 3A98h)";
    }
    text += "\n";
    out += text;
    return true;
}
