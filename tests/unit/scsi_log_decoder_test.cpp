#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "scsi_log_decoder.h"
#include "test_init.h"

namespace {

std::string DataPath(const std::string& name) { return std::string(ZV_TEST_DATA_DIR) + "/scsi_log/" + name; }

std::string Golden(const std::string& name)
{
    std::ifstream f(DataPath(name), std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A page fixture: hexadecimal bytes, "#" to the end of a line is a comment.
std::vector<u8> Page(const std::string& name)
{
    std::ifstream f(DataPath(name));
    EXPECT_TRUE(f.good()) << name;
    std::vector<u8> bytes;
    for (std::string line; std::getline(f, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        for (std::string w; words >> w;) {
            bytes.push_back(static_cast<u8>(std::stoul(w, nullptr, 16)));
        }
    }
    return bytes;
}

// The first len bytes alone on the heap, so that a read past them is caught by the sanitizer.
std::vector<u8> Cut(const std::vector<u8>& bytes, u32 len)
{
    EXPECT_LE(len, bytes.size());
    return std::vector<u8>(bytes.begin(), bytes.begin() + std::min<size_t>(len, bytes.size()));
}

std::vector<u8> Hex(const std::string& text)
{
    std::istringstream words(text);
    std::vector<u8> bytes;
    for (std::string w; words >> w;) {
        bytes.push_back(static_cast<u8>(std::stoul(w, nullptr, 16)));
    }
    return bytes;
}

const char kEarlier[] = "earlier text\n";

struct GoldenCase {
    ParseFun fun;
    const char* page;  // fixture
    u32 len;           // bytes handed to the callback; 0: the whole fixture
    u32 indent;
    const char* golden;
};

class LogGolden : public ::testing::TestWithParam<GoldenCase> {};

// Each callback appends its text to what the caller already holds.
TEST_P(LogGolden, AppendsTheDecodedText)
{
    const GoldenCase& c = GetParam();
    const std::vector<u8> all = Page(c.page);
    const std::vector<u8> answer = Cut(all, c.len != 0 ? c.len : u32(all.size()));
    std::string out = kEarlier;
    ASSERT_TRUE(c.fun(out, answer.data(), u32(answer.size()), c.indent, nullptr));
    EXPECT_EQ(out, kEarlier + Golden(c.golden));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, LogGolden,
    ::testing::Values(
        // page length 3: three codes, the last without a name
        GoldenCase{ParseSupportedLogPages, "supported_three.hex", 0, 4, "supported_three_4.out"},
        // page length 0: the heading alone, whatever codes follow
        GoldenCase{ParseSupportedLogPages, "supported_none.hex", 0, 4, "supported_none_4.out"},
        // 20 codes announced and sent: the first 14 listed, bits 7-6 masked off
        GoldenCase{ParseSupportedLogPages, "supported_many.hex", 0, 4, "supported_many_4.out"},
        // the same from the 18 bytes of the fixed length alone
        GoldenCase{ParseSupportedLogPages, "supported_many.hex", 18, 4, "supported_many_4.out"},
        // indents above 20 are 20
        GoldenCase{ParseSupportedLogPages, "supported_many.hex", 0, 30, "supported_many_30.out"},
        GoldenCase{ParseSupportedLogPages, "supported_many.hex", 0, 20, "supported_many_30.out"}),
    CaseIndexName());

struct RefuseCase {
    ParseFun fun;
    const char* page;  // fixture, or null for a null buffer
    u32 len;
};

class LogRefused : public ::testing::TestWithParam<RefuseCase> {};

TEST_P(LogRefused, LeavesTheTextAlone)
{
    const RefuseCase& c = GetParam();
    std::string out = kEarlier;
    if (c.page == nullptr) {
        EXPECT_FALSE(c.fun(out, nullptr, c.len, 4, nullptr));
    } else {
        const std::vector<u8> answer = Cut(Page(c.page), c.len);
        EXPECT_FALSE(c.fun(out, answer.data(), u32(answer.size()), 4, nullptr));
    }
    EXPECT_EQ(out, kEarlier);
}

INSTANTIATE_TEST_SUITE_P(Answers, LogRefused,
                         ::testing::Values(RefuseCase{ParseSupportedLogPages, nullptr, 18},
                                           RefuseCase{ParseSupportedLogPages, "supported_many.hex", 17},
                                           RefuseCase{ParseSupportedLogPages, "supported_many.hex", 0},
                                           RefuseCase{ParseReadCapacity, nullptr, 8},
                                           RefuseCase{ParseReadCapacity, "read_capacity.hex", 7},
                                           RefuseCase{ParseReadCapacity, "read_capacity.hex", 0}),
                         CaseIndexName());

TEST(LogPageNames, TableAsListed)
{
    const struct {
        u8 code;
        const char* name;
    } want[] = {
        {0x00, "Supported Log Pages"},
        {0x02, "Write Error Counter"},
        {0x03, "Read Error Counter"},
        {0x05, "Verify Error Counter"},
        {0x06, "Non-Medium Error"},
        {0x0D, "Temperature"},
        {0x10, "Self-Test Results"},
        {0x15, "Background scan results"},
        {0x18, "Protocol Specific Port"},
        {0x19, "General statistics and performance"},
        {0x2F, "Informational exceptions (SMART)"},
        {0x30, "Vendor specific"},
        {0x31, "Vendor specific"},
        {0x32, "SMART Temperature"},
        {0x33, "Vendor specific"},
        {0x34, "SMART Threshold"},
        {0x35, "SMART Value"},
    };
    static_assert(sizeof(want) / sizeof(want[0]) == kLogPageNameRows, "one row per named page");
    for (u32 i = 0; i < kLogPageNameRows; i++) {
        const LogPageNameRow& row = log_page_name_list[i];
        EXPECT_EQ(row.page_code, want[i].code) << i;
        ASSERT_NE(row.name, nullptr) << i;
        std::string padded = want[i].name;
        padded.resize(kLogPageNameWidth, ' ');
        EXPECT_EQ(std::string(row.name), padded) << i;
    }
}

// Every code from 00h to 3Fh: the named ones with their padded name, the rest bare.
TEST(SupportedLogPages, EveryCodeAloneIsListedByTheTable)
{
    for (u32 code = 0; code < 0x40; code++) {
        std::vector<u8> page(18, 0);
        page[3] = 1;
        page[4] = static_cast<u8>(0xC0 | code);
        std::string out;
        ASSERT_TRUE(ParseSupportedLogPages(out, page.data(), u32(page.size()), 0, nullptr));
        char hex[8];
        snprintf(hex, sizeof(hex), "%02Xh", code);
        std::string want = "Supported pages  :\n    " + std::string(hex) + "\n";
        for (const LogPageNameRow& row : log_page_name_list) {
            if (row.page_code == code) {
                want = "Supported pages  :\n    " + std::string(hex) + "    " + row.name + "\n";
                break;
            }
        }
        EXPECT_EQ(out, want) << code;
    }
}

TEST(SupportedLogPages, DecoderTurnsThePageLengthToHostOrder)
{
    const std::vector<u8> page = Page("supported_many.hex");
    SupportedLogPagesRecord rec;
    ASSERT_TRUE(DecodeSupportedLogPages(&rec, page.data(), u32(page.size())));
    EXPECT_EQ(rec.header.page_code, 0x00);
    EXPECT_EQ(rec.header.page_length, 20);
    EXPECT_EQ(rec.page_codes[0], 0x00);
    EXPECT_EQ(rec.page_codes[13], 0x18);

    SupportedLogPagesRecord untouched;
    memset(&untouched, 0x5A, sizeof(untouched));
    SupportedLogPagesRecord copy = untouched;
    EXPECT_FALSE(DecodeSupportedLogPages(&copy, page.data(), 17));
    EXPECT_FALSE(DecodeSupportedLogPages(&copy, nullptr, 18));
    EXPECT_EQ(memcmp(&copy, &untouched, sizeof(copy)), 0);
}

struct CapacityCase {
    const char* data;
    const char* total;
    const char* block;
    const char* capacity;
};

// Three lines with 26-character labels; the capacity follows the IDEMA rule for 512-byte
// sectors, LBA count = 1953504 x GB + 21168, rounded down.
TEST(ReadCapacity, ThreeLabelledLines)
{
    const CapacityCase cases[] = {
        {"00 01 E8 47 00 00 02 00", "125000", "512", "0"},
        {"0D F9 4B AF 00 00 02 00", "234441648", "512", "120"},
        // the demo drive: 400 GB
        {"2E 93 90 AF 00 00 02 00", "781422768", "512", "400"},
        // one block short of 120 GB; exactly 1 GB and one block short of it
        {"0D F9 4B AE 00 00 10 00", "234441647", "4096", "119"},
        {"00 1E 21 8F 00 00 02 08", "1974672", "520", "1"},
        {"00 1E 21 8E 00 00 02 00", "1974671", "512", "0"},
        // below the rule's offset there is no capacity, rather than a wrapped one
        {"00 00 00 00 00 00 02 00", "1", "512", "0"},
        {"00 00 52 AE 00 00 02 00", "21167", "512", "0"},
        // a drive past 32-bit block addresses: the count does not wrap to 0
        {"FF FF FF FF 00 00 02 00", "4294967296", "512", "2198"},
    };
    for (const CapacityCase& c : cases) {
        const std::vector<u8> answer = Hex(c.data);
        for (u32 indent : {0u, 4u, 20u, 30u}) {
            const std::string ind(std::min(indent, 20u), ' ');
            std::string out = kEarlier;
            ASSERT_TRUE(ParseReadCapacity(out, answer.data(), u32(answer.size()), indent, nullptr)) << c.data;
            EXPECT_EQ(out, std::string(kEarlier) + ind + "Total Block               : " + c.total + "\n" + ind +
                               "Block Length              : " + c.block + "B\n" + ind +
                               "Capacity                  : " + c.capacity + "G\n")
                << c.data << " indent " << indent;
        }
    }
}

TEST(ReadCapacity, DecoderAddsOneToTheLastBlock)
{
    const std::vector<u8> answer = Page("read_capacity.hex");
    ReadCapacityRecord rec{};
    ASSERT_TRUE(DecodeReadCapacity(&rec, answer.data(), u32(answer.size())));
    EXPECT_EQ(rec.total_blocks, 0x0DF94BB0u);
    EXPECT_EQ(rec.block_length, 0x00000208u);
    ReadCapacityRecord untouched{7, 9};
    EXPECT_FALSE(DecodeReadCapacity(&untouched, answer.data(), 7));
    EXPECT_FALSE(DecodeReadCapacity(&untouched, nullptr, 8));
    EXPECT_EQ(untouched.total_blocks, 7u);
    EXPECT_EQ(untouched.block_length, 9u);
}

// Through the parse map: both types reach their callbacks, a refusal is error 5 with no text.
TEST(LogDispatch, AnalyseReachesTheCallbacks)
{
    EnsureErrTable();
    DiskAnalyser::Init();
    const std::vector<u8> capacity = Page("read_capacity.hex");
    const std::vector<u8> pages = Page("supported_three.hex");
    std::string out;
    int user_err = -1;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_25H_READ_CAPACITY, capacity.data(), u32(capacity.size()),
                                      &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, "    Total Block               : 234441648\n"
                   "    Block Length              : 520B\n"
                   "    Capacity                  : 120G\n");

    out.clear();
    ASSERT_TRUE(DiskAnalyser::Analyse(out, TYPE_4DH_SUPPORTED_LOG_PAGES, pages.data(), u32(pages.size()), &user_err,
                                      4, nullptr));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, Golden("supported_three_4.out"));

    out = kEarlier;
    EXPECT_FALSE(
        DiskAnalyser::Analyse(out, TYPE_4DH_SUPPORTED_LOG_PAGES, pages.data(), 17, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, kEarlier);
}

} // namespace
