#include <gtest/gtest.h>

#include "case_names.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "disk_info.h"
#include "identify_decoder.h"

namespace {

// 512 bytes of IDENTIFY DEVICE data, set word by word as ATA8-ACS numbers them.
class IdentifyData {
public:
    IdentifyData() : bytes_(512, 0) {}

    IdentifyData& W(u32 n, u16 v)
    {
        bytes_[2 * n] = u8(v);
        bytes_[2 * n + 1] = u8(v >> 8);
        return *this;
    }
    // An ATA string: blank-padded, first character in the high byte of the first word.
    IdentifyData& Str(u32 first_word, u32 words, const std::string& text)
    {
        std::string s = text;
        s.resize(2 * words, ' ');
        for (u32 i = 0; i < words; i++) {
            W(first_word + i, u16((u8(s[2 * i]) << 8) | u8(s[2 * i + 1])));
        }
        return *this;
    }
    IdentifyData& Serial(const std::string& s) { return Str(10, 10, s); }
    IdentifyData& Firmware(const std::string& s) { return Str(23, 4, s); }
    IdentifyData& Model(const std::string& s) { return Str(27, 20, s); }

    const u8* Data() const { return bytes_.data(); }

private:
    std::vector<u8> bytes_;
};

std::string Golden(const char* name)
{
    std::ifstream f(std::string(ZV_TEST_DATA_DIR) + "/identify/" + name, std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

size_t LineCount(const std::string& text)
{
    size_t n = 0;
    for (char c : text) {
        n += c == '\n';
    }
    return n;
}

// Every mode chain at its top, all capability and security bits, and command-set words whose
// supported and enabled bits differ row by row (with unnamed bits set as well).
IdentifyData FullFixture()
{
    IdentifyData d;
    d.Serial("SN0123456789").Firmware("ABCDEFGH").Model("QUMA-P37RV-0064");
    d.W(49, 0x0F00).W(53, 0x0006).W(60, 0xFFFF).W(61, 0x0FFF).W(63, 0x0407).W(64, 0x0003).W(76, 0x010E);
    d.W(80, 0x01F0).W(81, 0x0110);
    d.W(82, 0xF26E).W(83, 0x7409).W(84, 0x4123).W(85, 0x4063).W(86, 0xB401).W(87, 0x2043);
    d.W(88, 0x407F).W(89, 30).W(90, 0xABCD).W(100, 0x6DB0).W(101, 0x7470);
    d.W(128, 0x013F).W(129, 0xFFAB).W(130, 0x000A).W(255, 0x12A5);
    return d;
}

// No mode line, no major revision, 28-bit block count although words 100-103 are set,
// outside the P37RV family although words 129-130 are set, and a serial cut at a NUL.
IdentifyData BareFixture()
{
    IdentifyData d;
    d.Serial(std::string("  SERIAL42\0XYZ", 14)).Firmware("ABC").Model("  QUMA-K4410TR0050");
    d.W(49, 0x0100).W(60, 0xBA70).W(61, 0x05D2).W(64, 0x0003).W(80, 0x0E00).W(81, 0x0000);
    d.W(83, 0x4000).W(84, 0x4000).W(85, 0x0001).W(88, 0x407F);
    d.W(100, 0x6DB0).W(101, 0x7470).W(128, 0x003F).W(129, 0x0503).W(130, 0x0007);
    return d;
}

// Chains stopping at lower modes, a block count above 32 bits, every command-set bit set and
// every security flag clear with the level still Max.
IdentifyData ModesFixture()
{
    IdentifyData d;
    d.Serial("ZV-0001").Firmware("XY").Model("QUMA-W37RV-0256");
    d.W(49, 0x0200).W(53, 0x0006).W(63, 0x0001).W(64, 0x0001).W(76, 0x0008).W(80, 0x0070).W(81, 0xFFFF);
    for (u32 w = 82; w <= 87; w++) {
        d.W(w, 0xFFFF);
    }
    d.W(88, 0x0405).W(89, 0xFFFF).W(90, 0x0001);
    d.W(100, 0xBEB0).W(101, 0xD1C0).W(102, 0x0001);
    d.W(128, 0xFFC0).W(129, 0x0503).W(130, 0x0009).W(255, 0xFF00);
    return d;
}

struct GoldenCase {
    IdentifyData (*fixture)();
    u32 indent;
    const char* file;
    size_t lines;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.file << " indent " << c.indent; }

class IdentifyGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(IdentifyGolden, WholeTextReplacesOut)
{
    const GoldenCase& c = GetParam();
    IdentifyData d = c.fixture();
    std::string expected = Golden(c.file);
    ASSERT_EQ(LineCount(expected), c.lines) << c.file;

    std::string out = "earlier text\n";
    ASSERT_TRUE(ParseIdentifyDevice(out, d.Data(), 512, c.indent, nullptr));
    EXPECT_EQ(out, expected);
    EXPECT_EQ(LineCount(out), c.lines);

    // The caller's drive record does not colour the text.
    DiskInfo other;
    other.model = "QUMA-P37RV-0032";
    other.fpga_ver = "999.T09";
    std::string again = "x";
    ASSERT_TRUE(ParseIdentifyDevice(again, d.Data(), 512, c.indent, &other));
    EXPECT_EQ(again, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, IdentifyGolden,
                         ::testing::Values(GoldenCase{FullFixture, 4, "full.txt", 106},
                                           GoldenCase{BareFixture, 0, "bare.txt", 100},
                                           GoldenCase{ModesFixture, 20, "modes.txt", 105},
                                           GoldenCase{ModesFixture, 25, "modes.txt", 105},
                                           GoldenCase{ModesFixture, 1000, "modes.txt", 105}),
                         CaseName());

TEST(IdentifyRefusal, WrongLengthOrNullLeavesText)
{
    IdentifyData d = FullFixture();
    std::vector<u8> big(1024, 0);
    std::copy(d.Data(), d.Data() + 512, big.begin());
    for (u32 len : {0u, 1u, 511u, 513u, 1024u}) {
        std::string out = "kept\n";
        EXPECT_FALSE(ParseIdentifyDevice(out, big.data(), len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    std::string out = "kept\n";
    EXPECT_FALSE(ParseIdentifyDevice(out, nullptr, 512, 4, nullptr));
    EXPECT_FALSE(PrintIdentifyDevice(out, nullptr, 4));
    EXPECT_EQ(out, "kept\n");
    EXPECT_TRUE(PrintIdentifyDevice(out, big.data(), 4));
    EXPECT_EQ(out, Golden("full.txt"));
}

// One item line's expected value, or null when the line must be absent.
typedef std::pair<const char*, const char*> LineWant;

struct LineCase {
    std::vector<std::pair<u32, u16>> words;
    std::string model;
    std::string firmware;
    std::vector<LineWant> want;
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << std::hex;
    for (const auto& word : c.words) {
        *os << "word " << std::dec << word.first << " = " << std::hex << word.second << "h ";
    }
    *os << c.model << " " << c.firmware;
}

class IdentifyLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(IdentifyLines, ItemValues)
{
    const LineCase& c = GetParam();
    IdentifyData d;
    d.Model(c.model).Firmware(c.firmware);
    for (const auto& w : c.words) {
        d.W(w.first, w.second);
    }
    std::string out;
    ASSERT_TRUE(ParseIdentifyDevice(out, d.Data(), 512, 0, nullptr));
    std::vector<std::string> lines;
    std::istringstream s(out);
    for (std::string line; std::getline(s, line);) {
        lines.push_back(line);
    }
    for (const LineWant& w : c.want) {
        std::string label = std::string("    ") + w.first;
        std::vector<std::string> found;
        for (const std::string& line : lines) {
            if (line.compare(0, label.size(), label) == 0) {
                found.push_back(line.substr(label.size()));
            }
        }
        if (w.second == nullptr) {
            EXPECT_TRUE(found.empty()) << w.first << " shows " << found[0];
        } else {
            ASSERT_EQ(found.size(), 1u) << w.first;
            EXPECT_EQ(found[0], w.second) << w.first;
        }
    }
}

const char* const kMajor = "Major Revision Number  : ";
const char* const kMinor = "Minor Revision Number  : ";
const char* const kUdma = "Supported DMA modes             : ";
const char* const kUdmaSel = "Selected DMA mode               : ";
const char* const kMw = "Supported Multiword DMA modes   : ";
const char* const kMwSel = "Selected Multiword DMA mode     : ";
const char* const kPio = "Supported PIO modes             : ";
const char* const kDma = "DMA Supported            : ";
const char* const kLba = "LBA Supported            : ";
const char* const kIordyDis = "IORDY Disabled           : ";
const char* const kIordy = "IORDY Supported          : ";
const char* const kSata15 = "SATA 1.5 Gbps Supported  : ";
const char* const kSata30 = "SATA 3.0 Gbps Supported  : ";
const char* const kSata60 = "SATA 6.0 Gbps Supported  : ";
const char* const kNcq = "NCQ Supported            : ";
const char* const kSecSup = "Security Supported                                     : ";
const char* const kSecExp = "Enhanced Security Erase Supported                      : ";
const char* const kSecLevel = "Security Level                                         : ";
const char* const kEraseTime = "Time required for security erase unit completion       : ";
const char* const kFirmware = "Firmware Version     : ";
const char* const kFpga = "FPGA Version         : ";
const char* const kHw = "Hardware Version     : ";
const char* const kBlocks = "Total Block Address  : ";
const char* const kCapacity = "Capacity             : ";
const char* const kModel = "Model                : ";
const char* const kP37 = "QUMA-P37RV-0128";

INSTANTIATE_TEST_SUITE_P(
    Chains, IdentifyLines,
    ::testing::Values(
        LineCase{{{80, 0x0000}}, "", "", {{kMajor, "Not Report"}}},
        LineCase{{{80, 0xFFFF}}, "", "", {{kMajor, "Not Report"}}},
        LineCase{{{80, 0x01F0}}, "", "", {{kMajor, "ATA8-ACS"}}},
        LineCase{{{80, 0x00F0}}, "", "", {{kMajor, "ATA/ATAPI-7"}}},
        LineCase{{{80, 0x0070}}, "", "", {{kMajor, "ATA/ATAPI-6"}}},
        LineCase{{{80, 0x0030}}, "", "", {{kMajor, "ATA/ATAPI-5"}}},
        LineCase{{{80, 0x001E}}, "", "", {{kMajor, "ATA/ATAPI-4"}}},
        LineCase{{{80, 0x0E00}}, "", "", {{kMajor, nullptr}}},
        LineCase{{{80, 0xFE0F}}, "", "", {{kMajor, nullptr}}},
        LineCase{{{81, 0x0000}}, "", "", {{kMinor, "Not Report"}}},
        LineCase{{{81, 0xFFFF}}, "", "", {{kMinor, "Not Report"}}},
        LineCase{{{81, 0x0029}}, "", "", {{kMinor, "0029h"}}},
        // word 88 counts only while word 53 bit 2 says it is valid
        LineCase{{{53, 0x0006}, {88, 0x407F}}, "", "", {{kUdma, "Ultra DMA mode 6 and below"}, {kUdmaSel, "UDMA6"}}},
        LineCase{{{53, 0x0003}, {88, 0x407F}}, "", "", {{kUdma, nullptr}, {kUdmaSel, nullptr}}},
        LineCase{{{53, 0x0004}, {88, 0x213F}}, "", "", {{kUdma, "Ultra DMA mode 5 and below"}, {kUdmaSel, "UDMA5"}}},
        LineCase{{{53, 0x0004}, {88, 0x0018}}, "", "", {{kUdma, "Ultra DMA mode 4 and below"}, {kUdmaSel, nullptr}}},
        LineCase{{{53, 0x0004}, {88, 0x080F}}, "", "", {{kUdma, "Ultra DMA mode 3 and below"}, {kUdmaSel, "UDMA3"}}},
        LineCase{{{53, 0x0004}, {88, 0x0203}}, "", "", {{kUdma, "Ultra DMA mode 1 and below"}, {kUdmaSel, "UDMA1"}}},
        LineCase{{{53, 0x0004}, {88, 0x1101}}, "", "", {{kUdma, "Ultra DMA mode 0 and below"}, {kUdmaSel, "UDMA4"}}},
        LineCase{{{53, 0x0004}, {88, 0x8180}}, "", "", {{kUdma, nullptr}, {kUdmaSel, "UDMA0"}}},
        LineCase{{{53, 0x0004}, {88, 0x0000}}, "", "", {{kUdma, nullptr}, {kUdmaSel, nullptr}}},
        // the multiword lines ignore word 53
        LineCase{{{63, 0x0407}}, "", "", {{kMw, "Multiword DMA mode2 and below"}, {kMwSel, "Multiword DMA mode2"}}},
        LineCase{{{63, 0x0001}}, "", "", {{kMw, "Multiword DMA mode0"}, {kMwSel, nullptr}}},
        LineCase{{{63, 0x0203}}, "", "", {{kMw, "Multiword DMA mode1 and below"}, {kMwSel, "Multiword DMA mode1"}}},
        LineCase{{{63, 0x01F8}}, "", "", {{kMw, nullptr}, {kMwSel, "Multiword DMA mode0"}}},
        LineCase{{{53, 0x0006}, {63, 0x0000}}, "", "", {{kMw, nullptr}, {kMwSel, nullptr}}},
        LineCase{{{53, 0x0002}, {64, 0x0003}}, "", "", {{kPio, "PIO mode 4"}}},
        LineCase{{{53, 0x0004}, {64, 0x0003}}, "", "", {{kPio, nullptr}}},
        LineCase{{{53, 0x0002}, {64, 0x0001}}, "", "", {{kPio, "PIO mode 3"}}},
        LineCase{{{53, 0x0002}, {64, 0x00FC}}, "", "", {{kPio, nullptr}}},
        LineCase{{{49, 0x0100}}, "", "", {{kDma, "Yes"}, {kLba, "No"}, {kIordyDis, "No"}, {kIordy, "No"}}},
        LineCase{{{49, 0x0F00}}, "", "", {{kDma, "Yes"}, {kLba, "Yes"}, {kIordyDis, "Yes"}, {kIordy, "Yes"}}},
        LineCase{{{49, 0xF0FF}}, "", "", {{kDma, "No"}, {kLba, "No"}, {kIordyDis, "No"}, {kIordy, "No"}}},
        LineCase{{{76, 0x010E}}, "", "", {{kSata15, "Yes"}, {kSata30, "Yes"}, {kSata60, "Yes"}, {kNcq, "Yes"}}},
        LineCase{{{76, 0xFEF1}}, "", "", {{kSata15, "No"}, {kSata30, "No"}, {kSata60, "No"}, {kNcq, "No"}}},
        LineCase{{{128, 0x013F}}, "", "", {{kSecSup, "Yes"}, {kSecExp, "Yes"}, {kSecLevel, "Max"}}},
        LineCase{{{128, 0x003F}}, "", "", {{kSecSup, "Yes"}, {kSecLevel, "High"}}},
        LineCase{{{128, 0x0020}, {89, 30}}, "", "", {{kSecSup, "No"}, {kSecExp, "Yes"}, {kEraseTime, "001Eh"}}},
        // firmware: the first three characters dropped after trimming, never a throw on short ones
        LineCase{{}, "", "ABCDEFGH", {{kFirmware, "DEFGH"}}},
        LineCase{{}, "", "ABCD", {{kFirmware, "D"}}},
        LineCase{{}, "", "ABC", {{kFirmware, ""}}},
        LineCase{{}, "", "XY", {{kFirmware, ""}}},
        LineCase{{}, "", "", {{kFirmware, ""}}},
        LineCase{{}, "", "  AB  CD", {{kFirmware, " CD"}}},
        // model, P37RV versions
        LineCase{{}, std::string("QUMA-G2T7\0JUNK", 14), "", {{kModel, "QUMA-G2T7"}, {kFpga, ""}, {kHw, ""}}},
        LineCase{{{129, 0x0503}, {130, 0x0000}}, kP37, "", {{kFpga, "210.T03"}, {kHw, "A"}}},
        LineCase{{{129, 0x0503}, {130, 0x0001}}, kP37, "", {{kHw, "A"}}},
        LineCase{{{129, 0x0503}, {130, 0x0002}}, kP37, "", {{kHw, "B"}}},
        LineCase{{{129, 0xFC0F}, {130, 0xFFF7}}, kP37, "", {{kFpga, "4000.T0F"}, {kHw, "G"}}},
        LineCase{{{129, 0x0503}, {130, 0x0007}}, "QUMA-P37RV-012", "", {{kFpga, ""}, {kHw, ""}}},
        // block count: words 60-61 unless word 83 bit 10; a count below the offset is 0 GB, not a wrap
        LineCase{{{60, 0xBA70}, {61, 0x05D2}, {83, 0xFBFF}, {100, 0x1234}},
                 "", "", {{kBlocks, "97696368"}, {kCapacity, "50 GB"}}},
        LineCase{{{60, 0xBA6F}, {61, 0x05D2}}, "", "", {{kBlocks, "97696367"}, {kCapacity, "49 GB"}}},
        LineCase{{{60, 0xFFFF}, {61, 0x0FFF}, {83, 0x0400}, {100, 0x0005}, {102, 0x0002}},
                 "", "", {{kBlocks, "8589934597"}, {kCapacity, "4397 GB"}}},
        LineCase{{{60, 0x0001}}, "", "", {{kBlocks, "1"}, {kCapacity, "0 GB"}}}),
    CaseName());

} // namespace
