#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "inquiry_decoder.h"
#include "test_init.h"

namespace {

// Standard INQUIRY data set field by field, as SPC numbers the bytes.
class InquiryData {
public:
    explicit InquiryData(u32 len = 96) : bytes_(len, 0) {}

    InquiryData& Byte(u32 off, u8 v)
    {
        bytes_.at(off) = v;
        return *this;
    }
    InquiryData& Text(u32 off, const std::string& s)
    {
        for (size_t i = 0; i < s.size(); i++) {
            bytes_.at(off + i) = u8(s[i]);
        }
        return *this;
    }
    // The first len bytes, alone on the heap: a read past them is caught by the sanitizer.
    std::vector<u8> Cut(u32 len) const { return std::vector<u8>(bytes_.begin(), bytes_.begin() + len); }
    const std::vector<u8>& Bytes() const { return bytes_; }

private:
    std::vector<u8> bytes_;
};

std::string Golden(const char* name)
{
    std::ifstream f(std::string(ZV_TEST_DATA_DIR) + "/inquiry/" + name, std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A SAS drive as shipped: SPC-3 version, hierarchical LUNs, one target port group, two
// ports, command queuing; a serial number padded with blanks.
InquiryData TypicalFixture()
{
    InquiryData d;
    d.Byte(0, 0x00).Byte(1, 0x00).Byte(2, 0x05).Byte(3, 0x12).Byte(4, 0x5B).Byte(5, 0x10).Byte(6, 0x10).Byte(7, 0x02);
    d.Text(8, "QUMA    ").Text(16, "QUMA-K6410TR0100").Text(32, "B230").Text(36, "S6410TR100A1305018  ");
    return d;
}

// Every flag byte all ones (both task management bits set), qualifier bits over type 1Fh, an
// unlisted version, a model cut at a zero byte and a full serial with more text behind it.
InquiryData EverythingFixture()
{
    InquiryData d;
    d.Byte(0, 0x3F).Byte(1, 0x80).Byte(2, 0x06).Byte(3, 0xFF).Byte(5, 0xFF).Byte(6, 0xFF).Byte(7, 0xFF);
    d.Text(16, std::string("  QUMA-K6470\0JUN", 16)).Text(32, "  1 ").Text(36, "ABCDEFGHIJKLMNOPQRST");
    d.Text(56, std::string(40, 'X'));
    return d;
}

// SPC's fixed 36 bytes only: no serial. Every unnamed bit of the flag bytes set, the
// qualifier over type 00h, version 0 and the basic task management model.
InquiryData ShortFixture()
{
    InquiryData d(36);
    d.Byte(0, 0x20).Byte(1, 0x7F).Byte(2, 0x00).Byte(3, 0xCF).Byte(5, 0x06).Byte(6, 0xA7).Byte(7, 0xF5);
    d.Text(16, "QUMA-P37RV-0064 ").Text(32, "R101");
    return d;
}

struct GoldenCase {
    InquiryData (*fixture)();
    u32 indent;
    const char* file;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.file << " indent " << c.indent; }

class InquiryGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(InquiryGolden, WholeTextReplacesOut)
{
    const GoldenCase& c = GetParam();
    const InquiryData d = c.fixture();
    const std::vector<u8> answer = d.Bytes();
    std::string out = "earlier text\n";
    ASSERT_TRUE(ParseInquiry(out, answer.data(), u32(answer.size()), c.indent, nullptr));
    EXPECT_EQ(out, Golden(c.file));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, InquiryGolden,
                         ::testing::Values(GoldenCase{TypicalFixture, 4, "typical.txt"},
                                           GoldenCase{EverythingFixture, 20, "everything.txt"},
                                           GoldenCase{EverythingFixture, 25, "everything.txt"},
                                           GoldenCase{EverythingFixture, 1000, "everything.txt"},
                                           GoldenCase{ShortFixture, 0, "short.txt"}),
                         CaseName());

// The value after one label of the INQUIRY text at indent 0, or "<absent>".
std::string ValueOf(const std::string& text, const std::string& label)
{
    std::istringstream s(text);
    const std::string head = "    " + label;
    std::string found = "<absent>";
    int hits = 0;
    for (std::string line; std::getline(s, line);) {
        if (line.compare(0, head.size(), head) == 0) {
            found = line.substr(head.size());
            hits++;
        }
    }
    return hits > 1 ? "<repeated>" : found;
}

std::string InquiryText(const InquiryData& d)
{
    std::string out;
    const std::vector<u8>& b = d.Bytes();
    EXPECT_TRUE(ParseInquiry(out, b.data(), u32(b.size()), 0, nullptr));
    return out;
}

const char* const kDeviceType = "Device Type          : ";
const char* const kRemovable = "Removable            : ";
const char* const kProtocol = "SCSI Protocol        : ";

TEST(InquiryTable, DeviceTypeNamesByCodeWhateverTheQualifier)
{
    const char* const want[32] = {
        "Direct Access Block Device", "Sequential-access Device", "Printer Device", "Processor Device",
        "Write-once Device", "CD/DVD Device", "Scanner Device", "Optical Memory Device", "Medium Changer Device",
        "Communications Device", "Obsolete", "Obsolete", "Storage Array Controller Device",
        "Enclosure Services Device", "Simplified Direct-access Device", "Optical Card reader/writer Device",
        "Bridge Controller Commands", "Object-based Storage Device", "Automation/Drive Interface", "Reserved",
        "Reserved", "Reserved", "Reserved", "Reserved", "Reserved", "Reserved", "Reserved", "Reserved", "Reserved",
        "Reserved", "Well Known Logical Unit", "Unknown or No Device Type",
    };
    for (u32 code = 0; code < 32; code++) {
        ASSERT_NE(inquiry_device_type_names[code], nullptr) << code;
        EXPECT_STREQ(inquiry_device_type_names[code], want[code]) << code;
        for (u8 qualifier : {0x00, 0x20, 0x60, 0xE0}) {
            EXPECT_EQ(ValueOf(InquiryText(InquiryData().Byte(0, u8(qualifier | code))), kDeviceType), want[code])
                << code << " qualifier " << int(qualifier);
        }
    }
}

TEST(InquiryTable, ProtocolLineOnlyForKnownVersions)
{
    const struct {
        u8 version;
        const char* want;
    } cases[] = {
        {0x00, "Not Report"},           {0x01, "<absent>"}, {0x02, "<absent>"},
        {0x03, "ANSI INCITS 301-1997"}, {0x04, "ANSI INCITS 351-2001"},
        {0x05, "ANSI INCITS 375-200x"}, {0x06, "<absent>"}, {0x07, "<absent>"},
        {0x83, "<absent>"},             {0xFF, "<absent>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValueOf(InquiryText(InquiryData().Byte(2, c.version)), kProtocol), c.want) << int(c.version);
    }
}

TEST(InquiryTable, RemovableFromRmbOnly)
{
    EXPECT_EQ(ValueOf(InquiryText(InquiryData().Byte(1, 0x80)), kRemovable), "Yes");
    EXPECT_EQ(ValueOf(InquiryText(InquiryData().Byte(1, 0x7F)), kRemovable), "No");
    // RMB is byte 1, not the peripheral byte
    EXPECT_EQ(ValueOf(InquiryText(InquiryData().Byte(0, 0x80)), kRemovable), "No");
}

const char* const kCapLabels[13] = {
    "Normal ACA Supported",
    "Hierarchical Supported",
    "SCC Supported",
    "Access Controls Coordinator Supported",
    "Target Port Group Supported",
    "Third-Party Copy Supported",
    "Protection Information Supported",
    "Full task management model supported",
    "Basic task management model supported",
    "Enclosure Services Supported",
    "Multi Port",
    "Medium Changer Supported",
    "Linked Command Supported",
};

struct CapabilityCase {
    u8 b3, b5, b6, b7;
    std::vector<int> yes;  // indexes into kCapLabels
};

void PrintTo(const CapabilityCase& c, std::ostream* os)
{
    *os << std::hex << "bytes 3 5 6 7 = " << unsigned(c.b3) << " " << unsigned(c.b5) << " " << unsigned(c.b6) << " "
        << unsigned(c.b7);
}

class InquiryCapabilities : public ::testing::TestWithParam<CapabilityCase> {};

TEST_P(InquiryCapabilities, EachLineFromItsOwnBits)
{
    const CapabilityCase& c = GetParam();
    const std::string text = InquiryText(InquiryData().Byte(3, c.b3).Byte(5, c.b5).Byte(6, c.b6).Byte(7, c.b7));
    for (int i = 0; i < 13; i++) {
        bool yes = false;
        for (int y : c.yes) {
            yes = yes || y == i;
        }
        char label[64];
        snprintf(label, sizeof(label), "%-39s: ", kCapLabels[i]);
        EXPECT_EQ(ValueOf(text, label), yes ? "Yes" : "No") << kCapLabels[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bits, InquiryCapabilities,
    ::testing::Values(CapabilityCase{0x00, 0x00, 0x00, 0x00, {}},
                      CapabilityCase{0x20, 0x00, 0x00, 0x00, {0}},
                      CapabilityCase{0x10, 0x00, 0x00, 0x00, {1}},
                      CapabilityCase{0xCF, 0x00, 0x00, 0x00, {}},
                      CapabilityCase{0x00, 0x80, 0x00, 0x00, {2}},
                      CapabilityCase{0x00, 0x40, 0x00, 0x00, {3}},
                      // TPGS: any of its two bits
                      CapabilityCase{0x00, 0x10, 0x00, 0x00, {4}},
                      CapabilityCase{0x00, 0x20, 0x00, 0x00, {4}},
                      CapabilityCase{0x00, 0x30, 0x00, 0x00, {4}},
                      CapabilityCase{0x00, 0x08, 0x00, 0x00, {5}},
                      CapabilityCase{0x00, 0x01, 0x00, 0x00, {6}},
                      CapabilityCase{0x00, 0x06, 0x00, 0x00, {}},
                      // task management: BQUE (byte 6 bit 7) against CMDQUE (byte 7 bit 1)
                      CapabilityCase{0x00, 0x00, 0x00, 0x02, {7}},
                      CapabilityCase{0x00, 0x00, 0x80, 0x00, {8}},
                      CapabilityCase{0x00, 0x00, 0x80, 0x02, {}},
                      CapabilityCase{0x00, 0x00, 0x40, 0x00, {9}},
                      CapabilityCase{0x00, 0x00, 0x10, 0x00, {10}},
                      CapabilityCase{0x00, 0x00, 0x08, 0x00, {11}},
                      CapabilityCase{0x00, 0x00, 0x27, 0x00, {}},
                      CapabilityCase{0x00, 0x00, 0x00, 0x08, {12}},
                      CapabilityCase{0x00, 0x00, 0x00, 0xF5, {}},
                      CapabilityCase{0xFF, 0xFF, 0x7F, 0xFF, {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12}}),
    CaseName());

struct ShortCase {
    u32 len;
    const char* model;
    const char* firmware;
    const char* serial;
};

void PrintTo(const ShortCase& c, std::ostream* os) { *os << c.len << " bytes"; }

class InquiryLength : public ::testing::TestWithParam<ShortCase> {};

TEST_P(InquiryLength, ReadsOnlyTheAnswer)
{
    const ShortCase& c = GetParam();
    InquiryData full(512);
    full.Byte(2, 0x05).Text(16, "QUMA-K6410TR0100").Text(32, "B230").Text(36, "SERIAL-0123456789XYZ");
    const std::vector<u8> answer = full.Cut(c.len);
    std::string out;
    ASSERT_TRUE(ParseInquiry(out, answer.data(), c.len, 0, nullptr));
    EXPECT_EQ(ValueOf(out, "Model                : "), c.model);
    EXPECT_EQ(ValueOf(out, "Firmware Version     : "), c.firmware);
    EXPECT_EQ(ValueOf(out, "Serial Number        : "), c.serial);
    EXPECT_EQ(ValueOf(out, kProtocol), "ANSI INCITS 375-200x");
}

INSTANTIATE_TEST_SUITE_P(Cases, InquiryLength,
                         ::testing::Values(ShortCase{36, "QUMA-K6410TR0100", "B230", ""},
                                           ShortCase{40, "QUMA-K6410TR0100", "B230", "SERI"},
                                           ShortCase{55, "QUMA-K6410TR0100", "B230", "SERIAL-0123456789XY"},
                                           ShortCase{56, "QUMA-K6410TR0100", "B230", "SERIAL-0123456789XYZ"},
                                           ShortCase{96, "QUMA-K6410TR0100", "B230", "SERIAL-0123456789XYZ"},
                                           ShortCase{512, "QUMA-K6410TR0100", "B230", "SERIAL-0123456789XYZ"}),
                         CaseName());

TEST(InquiryRefusal, NullOrShorterThanTheFixedPartLeavesText)
{
    const InquiryData d = TypicalFixture();
    for (u32 len : {0u, 1u, 8u, 35u}) {
        const std::vector<u8> answer = d.Cut(len == 0 ? 1 : len);
        std::string out = "kept\n";
        EXPECT_FALSE(ParseInquiry(out, answer.data(), len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    std::string out = "kept\n";
    EXPECT_FALSE(ParseInquiry(out, nullptr, 96, 4, nullptr));
    EXPECT_FALSE(PrintInquiry(out, nullptr, 4));
    EXPECT_EQ(out, "kept\n");
    // the printer alone, given its full span
    const std::vector<u8> span = d.Cut(kInquiryPrintLen);
    EXPECT_TRUE(PrintInquiry(out, span.data(), 4));
    EXPECT_EQ(out, Golden("typical.txt"));
}

// ------------------------------------------------------------ vendor identity answers

typedef bool (*Callback)(std::string&, const u8*, u32, u32, void*);

struct IdentityCase {
    Callback fn;
    std::string answer;
    u32 indent;
    const char* want;  // appended line
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << "indent " << c.indent << " " << c.want; }

class IdentityAnswer : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityAnswer, AppendsTheAnswerTextUpToItsFirstZero)
{
    const IdentityCase& c = GetParam();
    const std::vector<u8> answer(c.answer.begin(), c.answer.end());
    std::string out = "before\n";
    ASSERT_TRUE(c.fn(out, answer.data(), u32(answer.size()), c.indent, nullptr));
    EXPECT_EQ(out, std::string("before\n") + c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentityAnswer,
    ::testing::Values(
        IdentityCase{ParseDiskWwn, "5000C500A1B2C3D4", 4, "    WWN Number :5000C500A1B2C3D4\n"},
        IdentityCase{ParseDiskWwn, std::string("5001\0" "ABCDEFGHIJK", 16), 0, "WWN Number :5001\n"},
        IdentityCase{ParseDiskWwn, std::string(16, '\0'), 2, "  WWN Number :\n"},
        IdentityCase{ParseDiskSn, std::string("S") + std::string(19, '\0'), 0, "SN Number :S\n"},
        // no trimming and no byte swapping
        IdentityCase{ParseDiskSn, "  QM20131206000001  ", 4, "    SN Number :  QM20131206000001  \n"},
        IdentityCase{ParseDiskSn, "QM2013120600000001AB", 25, "                    SN Number :QM2013120600000001AB\n"},
        IdentityCase{ParseDiskModel, "QUMA-K6470BN0400", 4, "    Model Number :QUMA-K6470BN0400\n"},
        IdentityCase{ParseDiskModel, "UQAMK-4607BN0040", 20, "                    Model Number :UQAMK-4607BN0040\n"},
        IdentityCase{ParseDiskModel, std::string("QUMA   \0\0\0\0\0\0\0\0\0", 16), 0, "Model Number :QUMA   \n"}),
    CaseName());

TEST(IdentityRefusal, WrongLengthOrNullLeavesText)
{
    const struct {
        Callback fn;
        u32 len;
    } cases[] = {
        {ParseDiskWwn, 0},   {ParseDiskWwn, 15},   {ParseDiskWwn, 17},   {ParseDiskWwn, 20},
        {ParseDiskSn, 0},    {ParseDiskSn, 16},    {ParseDiskSn, 19},    {ParseDiskSn, 21},
        {ParseDiskModel, 0}, {ParseDiskModel, 15}, {ParseDiskModel, 17}, {ParseDiskModel, 20},
    };
    const std::vector<u8> answer(32, 'A');
    for (const auto& c : cases) {
        std::string out = "kept\n";
        EXPECT_FALSE(c.fn(out, answer.data(), c.len, 4, nullptr)) << c.len;
        EXPECT_EQ(out, "kept\n");
    }
    for (auto pair : {std::make_pair(Callback(ParseDiskWwn), 16u), std::make_pair(Callback(ParseDiskSn), 20u),
                      std::make_pair(Callback(ParseDiskModel), 16u)}) {
        std::string out = "kept\n";
        EXPECT_FALSE(pair.first(out, nullptr, pair.second, 4, nullptr)) << pair.second;
        EXPECT_EQ(out, "kept\n");
    }
}

// ------------------------------------------------------------ capacitance and time stamp

TEST(Capacitance, StateLineWithoutIndentOrNothing)
{
    const struct {
        u32 state;
        const char* want;
    } cases[] = {
        {0, "     Start CapacitanceStatus is OK!\n"},
        {1, "     Start CapacitanceStatus is Fail!\n"},
        {2, "     Start CapacitanceStatus have in hand!\n"},
        {3, ""},
        {0x01000000, ""},
        {0xFFFFFFFF, ""},
    };
    for (const auto& c : cases) {
        u8 answer[4];
        memcpy(answer, &c.state, 4);  // host order, as the drive's answer is read
        for (u32 indent : {0u, 8u, 30u}) {
            std::string out = "before\n";
            EXPECT_TRUE(ParseCapacitanceResult(out, answer, 4, indent, nullptr)) << c.state;
            EXPECT_EQ(out, std::string("before\n") + c.want) << c.state << " indent " << indent;
        }
    }
}

TEST(Capacitance, WrongLengthOrNullLeavesText)
{
    const u8 answer[8] = {};
    for (u32 len : {0u, 3u, 5u, 8u}) {
        std::string out = "kept\n";
        EXPECT_FALSE(ParseCapacitanceResult(out, answer, len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n");
    }
    std::string out = "kept\n";
    EXPECT_FALSE(ParseCapacitanceResult(out, nullptr, 4, 4, nullptr));
    EXPECT_EQ(out, "kept\n");
}

TEST(TimeStamp, ReplacesTextWhateverTheAnswer)
{
    const struct {
        u32 indent;
        const char* want;
    } cases[] = {
        {0, "Set Time Stamp OK!\n "},
        {4, "    Set Time Stamp OK!\n "},
        {20, "                    Set Time Stamp OK!\n "},
        {25, "                    Set Time Stamp OK!\n "},
    };
    const u8 answer[12] = {0xFF};
    for (const auto& c : cases) {
        std::string out = "before\n";
        EXPECT_TRUE(ParseSetTimeStamp(out, answer, 12, c.indent, nullptr));
        EXPECT_EQ(out, c.want);
        out = "before\n";
        EXPECT_TRUE(ParseSetTimeStamp(out, nullptr, 0, c.indent, nullptr));
        EXPECT_EQ(out, c.want);
    }
}

// ------------------------------------------------------------ through the parse map

TEST(InquiryDispatch, RegisteredTypesDecodeAndRefuseThroughTheAnalyser)
{
    EnsureErrTable();
    DiskAnalyser::Init();
    const std::vector<u8> inquiry = TypicalFixture().Bytes();
    std::string out = "x";
    int user_err = -1;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, CMND_TYPE(60), inquiry.data(), u32(inquiry.size()), &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, Golden("typical.txt"));

    const std::string sn = "QM2013120600000001AB";
    out.clear();
    ASSERT_TRUE(DiskAnalyser::Analyse(out, CMND_TYPE(127), reinterpret_cast<const u8*>(sn.data()), 20, &user_err, 4,
                                      nullptr));
    EXPECT_EQ(out, "    SN Number :QM2013120600000001AB\n");

    out = "kept";
    EXPECT_FALSE(DiskAnalyser::Analyse(out, CMND_TYPE(126), reinterpret_cast<const u8*>(sn.data()), 20, &user_err, 4,
                                       nullptr));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, "kept");
    EXPECT_FALSE(DiskAnalyser::Analyse(out, CMND_TYPE(60), inquiry.data(), 35, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, "kept");
}

} // namespace
