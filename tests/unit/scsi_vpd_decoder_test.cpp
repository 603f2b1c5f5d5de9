#include <gtest/gtest.h>

#include "case_names.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "scsi_vpd_decoder.h"
#include "test_init.h"

namespace {

typedef bool (*Callback)(std::string&, const u8*, u32, u32, void*);

// Bytes written as hex pairs, blanks ignored.
std::vector<u8> Hex(const std::string& hex)
{
    std::vector<u8> bytes;
    std::string digits;
    for (char c : hex) {
        if (c != ' ') {
            digits += c;
        }
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(u8(strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    }
    EXPECT_EQ(digits.size() % 2, 0u) << hex;
    return bytes;
}

// A VPD page: the 4-byte header with the page length of what follows, then the body.
std::vector<u8> Page(u8 code, const std::string& body_hex)
{
    const std::vector<u8> body = Hex(body_hex);
    std::vector<u8> page(4 + body.size(), 0);
    page[1] = code;
    page[2] = u8(body.size() >> 8);
    page[3] = u8(body.size());
    std::copy(body.begin(), body.end(), page.begin() + 4);
    return page;
}

// The first len bytes alone on the heap: a read past them is caught by the sanitizer.
std::vector<u8> Cut(const std::vector<u8>& bytes, size_t len)
{
    return std::vector<u8>(bytes.begin(), bytes.begin() + std::min(len, bytes.size()));
}

// Designation descriptors (header, then the designator).
const char kLuNaa5[] = "01 03 00 08 50 01 4A 41 00 12 34 56";
const char kPortNaa5[] = "61 93 00 08 50 01 4A 41 00 12 34 57";
const char kDeviceNaa5[] = "61 A3 00 08 50 01 4A 41 00 12 34 58";
const char kRelPort1[] = "61 94 00 04 00 00 00 01";
const char kRelPort2[] = "61 94 00 04 00 00 00 02";
const char kLuNaa6[] = "01 03 00 10 60 01 4A 41 00 12 34 56 00 00 00 00 00 00 00 01";
const char kLuT10[] = "02 01 00 10 51 55 4D 41 20 20 20 20 4B 36 34 37 30 42 4E 30";  // "QUMA    K6470BN0"

// ------------------------------------------------------------ Extended INQUIRY (86h)

const char* const kExtendedLabels[11] = {
    "Logical Block Reference Tag Supported      : ",
    "Check Logical Block Guard Field            : ",
    "Check Logical Block Application Tag field  : ",
    "Check Logical Block Reference Tag Field    : ",
    "Grouping Function Supported                : ",
    "Task Priority Supported                    : ",
    "HEAD OF QUEUE Task Attribute Supported     : ",
    "ORDERED Task Attribute Supported           : ",
    "SIMPLE Task Attribute Supported            : ",
    "A Non-Volatile Cache Supported             : ",
    "A Volatile Cache Supported                 : ",
};

// The whole text with the rows whose bit is in yes_mask (bit i for row i) shown as "Yes".
std::string ExtendedText(const std::string& ind, u32 yes_mask)
{
    std::string text = ind + "Capabilities          \n";
    for (int i = 0; i < 11; i++) {
        text += ind + "    " + kExtendedLabels[i] + ((yes_mask >> i) & 1 ? "Yes" : "No") + "\n";
    }
    return text;
}

std::vector<u8> ExtendedPage(u8 b4, u8 b5, u8 b6)
{
    std::vector<u8> page(64, 0);
    page[1] = 0x86;
    page[3] = 0x3C;
    page[4] = b4;
    page[5] = b5;
    page[6] = b6;
    return page;
}

TEST(VpdExtended, BytesFourToSixGiveTheRowsAndReplaceTheText)
{
    std::vector<u8> page = ExtendedPage(0x07, 0x07, 0x03);
    std::string out = "earlier text\n";
    ASSERT_TRUE(ParseInquiryExtended(out, page.data(), u32(page.size()), 4, nullptr));
    EXPECT_EQ(out,
              "    Capabilities          \n"
              "        Logical Block Reference Tag Supported      : No\n"
              "        Check Logical Block Guard Field            : Yes\n"
              "        Check Logical Block Application Tag field  : Yes\n"
              "        Check Logical Block Reference Tag Field    : Yes\n"
              "        Grouping Function Supported                : No\n"
              "        Task Priority Supported                    : No\n"
              "        HEAD OF QUEUE Task Attribute Supported     : Yes\n"
              "        ORDERED Task Attribute Supported           : Yes\n"
              "        SIMPLE Task Attribute Supported            : Yes\n"
              "        A Non-Volatile Cache Supported             : Yes\n"
              "        A Volatile Cache Supported                 : Yes\n");
}

struct ExtendedBitCase {
    u8 b4, b5, b6;
    u32 yes_mask;
};

void PrintTo(const ExtendedBitCase& c, std::ostream* os)
{
    *os << std::hex << "bytes 4 5 6 = " << unsigned(c.b4) << " " << unsigned(c.b5) << " " << unsigned(c.b6);
}

class VpdExtendedBits : public ::testing::TestWithParam<ExtendedBitCase> {};

TEST_P(VpdExtendedBits, EachRowFromItsOwnBit)
{
    const ExtendedBitCase& c = GetParam();
    std::vector<u8> page = ExtendedPage(c.b4, c.b5, c.b6);
    // bytes outside 4 to 6 never count
    page[3] = 0xFF;
    page[7] = 0xFF;
    std::string out;
    ASSERT_TRUE(ParseInquiryExtended(out, page.data(), u32(page.size()), 0, nullptr));
    EXPECT_EQ(out, ExtendedText("", c.yes_mask));
}

INSTANTIATE_TEST_SUITE_P(Bits, VpdExtendedBits,
                         ::testing::Values(ExtendedBitCase{0x08, 0x00, 0x00, 1u << 0},
                                           ExtendedBitCase{0x04, 0x00, 0x00, 1u << 1},
                                           ExtendedBitCase{0x02, 0x00, 0x00, 1u << 2},
                                           ExtendedBitCase{0x01, 0x00, 0x00, 1u << 3},
                                           ExtendedBitCase{0x00, 0x10, 0x00, 1u << 4},
                                           ExtendedBitCase{0x00, 0x08, 0x00, 1u << 5},
                                           ExtendedBitCase{0x00, 0x04, 0x00, 1u << 6},
                                           ExtendedBitCase{0x00, 0x02, 0x00, 1u << 7},
                                           ExtendedBitCase{0x00, 0x01, 0x00, 1u << 8},
                                           ExtendedBitCase{0x00, 0x00, 0x02, 1u << 9},
                                           ExtendedBitCase{0x00, 0x00, 0x01, 1u << 10},
                                           // the bits no row names
                                           ExtendedBitCase{0xF0, 0xE0, 0xFC, 0},
                                           ExtendedBitCase{0xFF, 0xFF, 0xFF, 0x7FF}),
                         CaseName());

TEST(VpdExtended, IndentClampedAndShortestAnswerRead)
{
    // only the bytes up to byte 6 are read
    const std::vector<u8> page = Cut(ExtendedPage(0x00, 0x01, 0x02), 7);
    for (u32 indent : {20u, 21u, 1000u}) {
        std::string out;
        ASSERT_TRUE(ParseInquiryExtended(out, page.data(), 7, indent, nullptr)) << indent;
        EXPECT_EQ(out, ExtendedText(std::string(20, ' '), (1u << 8) | (1u << 9))) << indent;
    }
    std::string out = "x";
    ASSERT_TRUE(PrintInquiryExtended(out, page.data(), 2));
    EXPECT_EQ(out, ExtendedText("  ", (1u << 8) | (1u << 9)));
}

TEST(VpdExtended, NullOrAnswerWithoutTheFlagBytesLeavesText)
{
    const std::vector<u8> full = ExtendedPage(0xFF, 0xFF, 0xFF);
    for (u32 len : {0u, 1u, 4u, 6u}) {
        const std::vector<u8> page = Cut(full, len == 0 ? 1 : len);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiryExtended(out, page.data(), len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n");
    }
    std::string out = "kept\n";
    EXPECT_FALSE(ParseInquiryExtended(out, nullptr, 64, 4, nullptr));
    EXPECT_FALSE(PrintInquiryExtended(out, nullptr, 4));
    EXPECT_EQ(out, "kept\n");
}

// ------------------------------------------------------------ designator printers

TEST(VpdDesignator, Naa5PrintsTheVendorSpecificIdentifier)
{
    const struct {
        const char* designator;
        u32 indent;
        const char* want;
    } cases[] = {
        {"50 12 34 50 00 00 01 24", 0, "    ID: 000000124\n"},
        {"50 12 34 1F 12 34 56 78", 0, "    ID: f12345678\n"},
        // the company id's nibble in byte 3 is not part of it
        {"5F FF FF A3 DE AD BE EF", 4, "        ID: 3deadbeef\n"},
        {"50 00 00 00 00 00 00 00", 25, "                        ID: 000000000\n"},
    };
    for (const auto& c : cases) {
        const std::vector<u8> d = Hex(c.designator);
        std::string out = "before\n";
        EXPECT_TRUE(PrintNaa5Designator(out, d.data(), c.indent));
        EXPECT_EQ(out, std::string("before\n") + c.want) << c.designator;
    }
}

TEST(VpdDesignator, RelativeTargetPortOneAndTwoOnly)
{
    const struct {
        const char* designator;
        const char* want;
    } cases[] = {
        {"00 00 00 01", "      RELATIVE TARGET PORT: A\n"},
        {"00 00 00 02", "      RELATIVE TARGET PORT: B\n"},
        {"00 00 00 00", ""},
        {"00 00 00 03", ""},
        // the identifier is both bytes 2 and 3, and bytes 0 and 1 are not part of it
        {"00 00 01 01", ""},
        {"00 00 02 00", ""},
        {"FF FF 00 02", "      RELATIVE TARGET PORT: B\n"},
    };
    for (const auto& c : cases) {
        const std::vector<u8> d = Hex(c.designator);
        std::string out = "before\n";
        EXPECT_TRUE(PrintRelativeTargetPortDesignator(out, d.data(), 2));
        EXPECT_EQ(out, std::string("before\n") + c.want) << c.designator;
    }
}

TEST(VpdDesignator, Naa2AndNaa6PrintNothing)
{
    const std::vector<u8> d = Hex("60 01 4A 41 00 12 34 56 00 00 00 00 00 00 00 01");
    std::string out = "before\n";
    EXPECT_TRUE(PrintNaa2Designator(out, d.data(), 4));
    EXPECT_TRUE(PrintNaa6Designator(out, d.data(), 4));
    EXPECT_EQ(out, "before\n");
}

// ------------------------------------------------------------ Device Identification (83h)

struct PageCase {
    std::vector<u8> page;
    u32 indent;
    const char* want;  // appended text
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.page.size() << " bytes, indent " << c.indent; }

void ExpectAppends(Callback fn, const PageCase& c)
{
    std::string out = "before\n";
    ASSERT_TRUE(fn(out, c.page.data(), u32(c.page.size()), c.indent, nullptr));
    EXPECT_EQ(out, std::string("before\n") + c.want);
}

class VpdDeviceId : public ::testing::TestWithParam<PageCase> {};

TEST_P(VpdDeviceId, DescriptorsInOrderWithTheirDesignators)
{
    ExpectAppends(ParseInquiryDeviceId, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, VpdDeviceId,
    ::testing::Values(
        PageCase{Page(0x83, kLuNaa5), 4,
                 "    Device Identification:\n"
                 "        Descriptor[1] for Logical Unit   : \n"
                 "        ID: 100123456\n"},
        // every association, the designator types with and without a printer
        PageCase{Page(0x83, std::string(kLuNaa6) + kLuT10 + kPortNaa5 + kRelPort2 + kDeviceNaa5 +
                                "03 38 00 08 51 55 4D 41 3A 30 31 00"   // reserved association, SCSI name
                                "01 0C 00 04 00 00 00 01"),             // reserved designator type 0Ch
                 0,
                 "Device Identification:\n"
                 "    Descriptor[1] for Logical Unit   : \n"
                 "    Descriptor[2] for Logical Unit   : \n"
                 "Current parse is unsupported \n"
                 "    Descriptor[3] for Target Port    : \n"
                 "    ID: 100123457\n"
                 "    Descriptor[4] for Target Port    : \n"
                 "    RELATIVE TARGET PORT: B\n"
                 "    Descriptor[5] for Target Device  : \n"
                 "    ID: 100123458\n"
                 "    Descriptor[6] for Reserved       : \n"
                 "Current parse is unsupported \n"
                 "    Descriptor[7] for Logical Unit   : \n"
                 "Current parse is unsupported \n"},
        // NAA 2, NAA 3 and a relative port 3 print only their headings
        PageCase{Page(0x83, "01 03 00 08 20 00 00 00 00 00 00 01 01 03 00 08 30 00 00 00 00 00 00 01 "
                            "61 94 00 04 00 00 00 03"),
                 2,
                 "  Device Identification:\n"
                 "      Descriptor[1] for Logical Unit   : \n"
                 "      Descriptor[2] for Logical Unit   : \n"
                 "      Descriptor[3] for Target Port    : \n"},
        // designators too short for their layout cannot be shown
        PageCase{Page(0x83, "01 03 00 04 50 01 4A 41 01 03 00 00 61 94 00 02 00 01 01 03 00 08 50 01 4A 41 00 00 00 01"),
                 4,
                 "    Device Identification:\n"
                 "        Descriptor[1] for Logical Unit   : \n"
                 "    Current parse is unsupported \n"
                 "        Descriptor[2] for Logical Unit   : \n"
                 "    Current parse is unsupported \n"
                 "        Descriptor[3] for Target Port    : \n"
                 "    Current parse is unsupported \n"
                 "        Descriptor[4] for Logical Unit   : \n"
                 "        ID: 100000001\n"},
        // the page length is not the bound: the answer is
        PageCase{Hex(std::string("00 83 00 00 ") + kLuNaa5), 0,
                 "Device Identification:\n"
                 "    Descriptor[1] for Logical Unit   : \n"
                 "    ID: 100123456\n"},
        PageCase{Hex("00 83 00 00"), 25, "                    Device Identification:\n"}),
    CaseName());

// Answers cut inside a descriptor, or whose last descriptor claims more than is there.
TEST(VpdDeviceIdRefusal, DescriptorPastTheAnswerLeavesText)
{
    const std::vector<u8> two = Page(0x83, std::string(kLuNaa5) + kPortNaa5);
    for (size_t len : {5u, 7u, 8u, 15u, 17u, 19u, 27u}) {
        const std::vector<u8> page = Cut(two, len);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiryDeviceId(out, page.data(), u32(len), 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    const std::vector<u8> claims_more = Hex("00 83 00 0C 01 03 00 09 50 01 4A 41 00 12 34 56");
    std::string out = "kept\n";
    EXPECT_FALSE(ParseInquiryDeviceId(out, claims_more.data(), u32(claims_more.size()), 4, nullptr));
    EXPECT_EQ(out, "kept\n");
    // a whole answer of both descriptors is taken
    EXPECT_TRUE(ParseInquiryDeviceId(out, two.data(), u32(two.size()), 4, nullptr));
}

// ------------------------------------------------------------ SCSI Ports (88h)

// A SCSI port designation descriptor without TransportID, with its target port descriptors.
std::string Port(u16 relative_port, const std::string& targets_hex)
{
    const size_t n = Hex(targets_hex).size();
    char head[64];
    snprintf(head, sizeof(head), "00 00 %02X %02X 00 00 00 00 00 00 %02X %02X ", relative_port >> 8,
             relative_port & 0xFF, unsigned(n >> 8), unsigned(n & 0xFF));
    return head + targets_hex;
}

class VpdScsiPorts : public ::testing::TestWithParam<PageCase> {};

TEST_P(VpdScsiPorts, PortsWithTheirTargetDesignators)
{
    ExpectAppends(ParseInquiryScsiPorts, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, VpdScsiPorts,
    ::testing::Values(
        // the two ports of a SAS drive: the first designator's text on the port line
        PageCase{Page(0x88, Port(1, std::string(kPortNaa5) + kRelPort1) +
                                Port(2, "61 93 00 08 50 01 4A 41 00 12 34 5B " + std::string(kRelPort2))),
                 4,
                 "    SCSI Ports Identification:\n"
                 "        PORT[A]         ID: 100123457\n"
                 "        RELATIVE TARGET PORT: A\n"
                 "        PORT[B]         ID: 10012345b\n"
                 "        RELATIVE TARGET PORT: B\n"},
        // other relative ports have no prefix; unsupported designators are reported
        PageCase{Page(0x88, Port(3, kPortNaa5) + Port(0x0102, kLuT10) + Port(2, kLuT10)), 0,
                 "SCSI Ports Identification:\n"
                 "    ID: 100123457\n"
                 "Current parse is unsupported \n"
                 "    PORT[B] Current parse is unsupported \n"},
        // a port line that nothing follows still ends
        PageCase{Page(0x88, Port(1, "") + Port(2, kLuNaa6) + Port(1, kRelPort1)), 0,
                 "SCSI Ports Identification:\n"
                 "    PORT[A] \n"
                 "    PORT[B] \n"
                 "    PORT[A]     RELATIVE TARGET PORT: A\n"},
        // an initiator port TransportID (SAS, 24 bytes) comes before the targets
        PageCase{Page(0x88, "00 00 00 02 00 00 00 18 06 00 00 00 50 01 4A 41 00 12 34 99 00 00 00 00 "
                            "00 00 00 00 00 00 00 00 00 00 00 0C " +
                                std::string(kPortNaa5) + Port(1, kRelPort1)),
                 0,
                 "SCSI Ports Identification:\n"
                 "    PORT[B]     ID: 100123457\n"
                 "    PORT[A]     RELATIVE TARGET PORT: A\n"},
        // the demo drive's page: two ports of zeros
        PageCase{Page(0x88, std::string(48 * 2, '0')), 4, "    SCSI Ports Identification:\n"},
        PageCase{Hex("00 88 00 00"), 0, "SCSI Ports Identification:\n"}),
    CaseName());

TEST(VpdScsiPortsRefusal, PortOrTargetPastItsBoundLeavesText)
{
    const std::vector<u8> whole = Page(0x88, Port(1, std::string(kPortNaa5) + kRelPort1));
    // inside the port header, inside the targets
    for (size_t len : {5u, 11u, 12u, 15u, 16u, 20u, 27u, 35u}) {
        const std::vector<u8> page = Cut(whole, len);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiryScsiPorts(out, page.data(), u32(len), 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    const char* const bad[] = {
        // a target descriptor longer than the port's target length
        "00 88 00 18 00 00 00 01 00 00 00 00 00 00 00 08 61 93 00 08 50 01 4A 41 00 12 34 57",
        // a TransportID that runs past the answer
        "00 88 00 10 00 00 00 01 00 00 00 10 00 00 00 00 00 00 00 00",
    };
    for (const char* hex : bad) {
        const std::vector<u8> page = Hex(hex);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiryScsiPorts(out, page.data(), u32(page.size()), 4, nullptr)) << hex;
        EXPECT_EQ(out, "kept\n");
    }
    std::string out;
    EXPECT_TRUE(ParseInquiryScsiPorts(out, whole.data(), u32(whole.size()), 4, nullptr));
}

// ------------------------------------------------------------ Mode Page Policy (87h)

class VpdPagePolicy : public ::testing::TestWithParam<PageCase> {};

TEST_P(VpdPagePolicy, OneLinePerDescriptor)
{
    ExpectAppends(ParseInquiryPagePolicy, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, VpdPagePolicy,
    ::testing::Values(
        PageCase{Page(0x87, "3F FF 01 00"), 4,
                 "    Mode Page Policy:\n"
                 "        APPLICABILITY                  POLICY\n"
                 "        All mode pages and subpages        Per target port       \n"},
        // page code in bits 5 to 0 only; the policy in bits 1 and 0; MLUS not shown
        PageCase{Page(0x87, "08 00 00 00 CA 01 02 00 3F 00 83 00 2A FF FE FF FF FF FF FF BF FF 00 00"), 0,
                 "Mode Page Policy:\n"
                 "    APPLICABILITY                  POLICY\n"
                 "    Page : 08h Subpage : 00h" "Shared                \n"
                 "    Page : 0ah Subpage : 01h" "Per initiator port    \n"
                 "    Page : 3fh Subpage : 00h" "Per I_T nexus         \n"
                 "    Page : 2ah Subpage : ffh" "Per initiator port    \n"
                 "    All mode pages and subpages    " "Per I_T nexus         \n"
                 "    All mode pages and subpages    " "Shared                \n"},
        PageCase{Page(0x87, "19 00 82 00"), 30,
                 "                    Mode Page Policy:\n"
                 "                        APPLICABILITY                  POLICY\n"
                 "                        Page : 19h Subpage : 00h                    Per initiator port    \n"},
        PageCase{Hex("00 87 00 00"), 2,
                 "  Mode Page Policy:\n"
                 "      APPLICABILITY                  POLICY\n"}),
    CaseName());

TEST(VpdPagePolicyRefusal, AnswerEndingInsideADescriptorLeavesText)
{
    const std::vector<u8> whole = Page(0x87, "3F FF 00 00 08 00 01 00");
    for (size_t len : {5u, 7u, 9u, 11u}) {
        const std::vector<u8> page = Cut(whole, len);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiryPagePolicy(out, page.data(), u32(len), 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    std::string out;
    EXPECT_TRUE(ParseInquiryPagePolicy(out, whole.data(), u32(whole.size()), 4, nullptr));
}

// ------------------------------------------------------------ Block Device Characteristics (B1h)

std::vector<u8> BlockDevicePage(u8 rate_hi, u8 rate_lo, size_t len = 64)
{
    std::vector<u8> page(len, 0);
    page[1] = 0xB1;
    page[3] = 0x3C;
    page[4] = rate_hi;
    page[5] = rate_lo;
    return page;
}

TEST(VpdBlockDevice, RotationRateNamesTheMedium)
{
    const std::string head = "    VPD INQUIRY: Block device characteristcis page (SBC)\n";
    const std::string nominal = "        Nominal medium rotation rate in rotations per minute (i.e., rpm)\n"
                                "        (e.g., 7 200 rpm = 1C20h, 10 000 rpm = 2710h, and 15 000 rpm = 3A98h)\n";
    const struct {
        u8 hi, lo;
        std::string want;
    } cases[] = {
        {0x00, 0x00, "        Medium rotation rate is not reported\n"},
        {0x00, 0x01, "        Non-rotating medium (e.g., solid state)\n"},
        {0x00, 0x02, "        Reserved\n"},
        // big-endian: 0100h is reserved, not 0001h
        {0x01, 0x00, "        Reserved\n"},
        {0x04, 0x00, "        Reserved\n"},
        {0x04, 0x01, nominal},
        {0x1C, 0x20, nominal},
        {0x3A, 0x98, nominal},
        {0xFF, 0xFE, nominal},
        {0xFF, 0xFF, "        Reserved\n"},
    };
    for (const auto& c : cases) {
        const std::vector<u8> page = BlockDevicePage(c.hi, c.lo);
        std::string out = "before\n";
        ASSERT_TRUE(ParseInquiryBlockDevice(out, page.data(), 64, 4, nullptr));
        EXPECT_EQ(out, "before\n" + head + c.want) << int(c.hi) << " " << int(c.lo);
    }
}

TEST(VpdBlockDevice, LongerAnswerDecodesItsFirst64Bytes)
{
    std::vector<u8> page = BlockDevicePage(0x00, 0x01, 512);
    page[64] = 0xFF;
    std::string out;
    ASSERT_TRUE(ParseInquiryBlockDevice(out, page.data(), 512, 0, nullptr));
    EXPECT_EQ(out, "VPD INQUIRY: Block device characteristcis page (SBC)\n"
                   "    Non-rotating medium (e.g., solid state)\n");
}

TEST(VpdBlockDevice, NullOrShorterThanThePageLeavesText)
{
    for (size_t len : {0u, 4u, 6u, 63u}) {
        const std::vector<u8> page = Cut(BlockDevicePage(0x00, 0x01), len == 0 ? 1 : len);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiryBlockDevice(out, page.data(), u32(len), 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n");
    }
    std::string out = "kept\n";
    EXPECT_FALSE(ParseInquiryBlockDevice(out, nullptr, 64, 4, nullptr));
    EXPECT_EQ(out, "kept\n");
}

// ------------------------------------------------------------ common refusals

TEST(VpdRefusal, NullOrNoMoreThanTheHeaderLeavesText)
{
    const std::vector<u8> page = Hex("00 83 00 08 01 03 00 04");
    for (Callback fn : {ParseInquiryDeviceId, ParseInquiryScsiPorts, ParseInquiryPagePolicy}) {
        for (u32 len : {0u, 1u, 3u}) {
            const std::vector<u8> cut = Cut(page, len == 0 ? 1 : len);
            std::string out = "kept\n";
            EXPECT_FALSE(fn(out, cut.data(), len, 4, nullptr)) << len;
            EXPECT_EQ(out, "kept\n");
        }
        std::string out = "kept\n";
        EXPECT_FALSE(fn(out, nullptr, 64, 4, nullptr));
        EXPECT_EQ(out, "kept\n");
    }
}

// ------------------------------------------------------------ through the parse map

TEST(VpdDispatch, RegisteredTypesDecodeAndRefuseThroughTheAnalyser)
{
    EnsureErrTable();
    DiskAnalyser::Init();
    const struct {
        u32 type;
        std::vector<u8> page;
        const char* want;
        u32 refused_len;
    } cases[] = {
        {61, ExtendedPage(0x00, 0x00, 0x01), nullptr, 6},
        {62, Page(0x88, Port(2, kRelPort2)), "    SCSI Ports Identification:\n        PORT[B]         RELATIVE TARGET PORT: B\n",
         3},
        {63, Page(0x83, kLuNaa5),
         "    Device Identification:\n        Descriptor[1] for Logical Unit   : \n        ID: 100123456\n", 10},
        {64, Page(0x87, "3F FF 03 00"),
         "    Mode Page Policy:\n        APPLICABILITY                  POLICY\n"
         "        All mode pages and subpages        Per I_T nexus         \n",
         6},
        {65, BlockDevicePage(0x00, 0x00),
         "    VPD INQUIRY: Block device characteristcis page (SBC)\n        Medium rotation rate is not reported\n", 63},
    };
    for (const auto& c : cases) {
        std::string out = "before\n";
        int user_err = -1;
        ASSERT_TRUE(DiskAnalyser::Analyse(out, CMND_TYPE(c.type), c.page.data(), u32(c.page.size()), &user_err, 4,
                                          nullptr))
            << c.type;
        EXPECT_EQ(user_err, 0);
        // Extended INQUIRY replaces the text, the others append
        EXPECT_EQ(out, c.want == nullptr ? ExtendedText("    ", 1u << 10) : std::string("before\n") + c.want) << c.type;

        out = "kept\n";
        EXPECT_FALSE(DiskAnalyser::Analyse(out, CMND_TYPE(c.type), c.page.data(), c.refused_len, &user_err, 4, nullptr))
            << c.type;
        EXPECT_EQ(user_err, 5);
        EXPECT_EQ(out, "kept\n");
    }
}

} // namespace
