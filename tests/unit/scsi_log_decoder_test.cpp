// READ CAPACITY(10) and the LOG SENSE page decoders: golden texts from the page fixtures
// under tests/data/scsi_log/ (the .out files were written from the page layouts, not
// from this program), refusals, the decoders' records and the dispatch by command type.
#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "hex_fixture.h"
#include "scsi_log_decoder.h"
#include "test_init.h"

namespace {

const char kDir[] = "scsi_log";

std::string Golden(const std::string& name) { return FixtureText(kDir, name); }

std::vector<u8> Page(const std::string& name) { return FixtureHex(kDir, name); }

std::vector<u8> Cut(const std::vector<u8>& bytes, u32 len)
{
    EXPECT_LE(len, bytes.size());
    return HeapPrefix(bytes, len);
}

const char kEarlier[] = "earlier text\n";

struct GoldenCase {
    ParseFun fun;
    const char* page;  // fixture
    u32 len;           // bytes handed to the callback; 0: the whole fixture
    u32 indent;
    const char* golden;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.page << " len " << c.len << " indent " << c.indent; }

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
        // a drive with three pages sends only their seven bytes
        GoldenCase{ParseSupportedLogPages, "supported_three.hex", 7, 4, "supported_three_4.out"},
        GoldenCase{ParseSupportedLogPages, "supported_none.hex", 4, 4, "supported_none_4.out"},
        // indents above 20 are 20
        GoldenCase{ParseSupportedLogPages, "supported_many.hex", 0, 30, "supported_many_30.out"},
        GoldenCase{ParseSupportedLogPages, "supported_many.hex", 0, 20, "supported_many_30.out"},
        // counter lines: five blanks whatever the indent
        GoldenCase{ParseWriteErrorCounterLog, "write_counters.hex", 0, 4, "write_counters.out"},
        GoldenCase{ParseWriteErrorCounterLog, "write_counters.hex", 112, 0, "write_counters.out"},
        GoldenCase{ParseWriteErrorCounterLog, "write_counters.hex", 112, 20, "write_counters.out"},
        GoldenCase{ParseReadErrorCounterLog, "read_counters.hex", 0, 4, "read_counters.out"},
        GoldenCase{ParseReadErrorCounterLog, "read_counters.hex", 0, 30, "read_counters.out"},
        GoldenCase{ParseVerifyErrorCounterLog, "verify_counters.hex", 0, 4, "verify_counters.out"},
        GoldenCase{ParseVerifyErrorCounterLog, "verify_counters.hex", 0, 0, "verify_counters.out"},
        GoldenCase{ParseNonMediumErrorLog, "nonmedium.hex", 0, 4, "nonmedium.out"},
        GoldenCase{ParseNonMediumErrorLog, "nonmedium.hex", 0, 20, "nonmedium.out"},
        // temperatures are unsigned; the reserved bytes and a third parameter are not read
        GoldenCase{ParseTemperatureLog, "temperature.hex", 0, 4, "temperature_4.out"},
        GoldenCase{ParseTemperatureLog, "temperature.hex", 0, 8, "temperature_8.out"},
        GoldenCase{ParseTemperatureLog, "temperature_mixed.hex", 0, 4, "temperature_mixed_4.out"},
        GoldenCase{ParseTemperatureLog, "temperature_mixed.hex", 16, 4, "temperature_mixed_4.out"},
        // all 20 parameters, empty ones included
        GoldenCase{ParseSelfTestResultsLog, "selftest_zero.hex", 0, 4, "selftest_zero_4.out"},
        GoldenCase{ParseSelfTestResultsLog, "selftest_results.hex", 0, 4, "selftest_results_4.out"},
        GoldenCase{ParseSelfTestResultsLog, "selftest_results.hex", 0, 8, "selftest_results_8.out"},
        // the port lines ignore the indent
        GoldenCase{ParseProtocolSpecificPortLog, "port.hex", 0, 4, "port.out"},
        GoldenCase{ParseProtocolSpecificPortLog, "port.hex", 0, 0, "port.out"},
        GoldenCase{ParseProtocolSpecificPortLog, "port.hex", 0, 8, "port.out"},
        GoldenCase{ParseProtocolSpecificPortLog, "port.hex", 0, 30, "port.out"},
        GoldenCase{ParseInformationalExceptionsLog, "exceptions.hex", 0, 4, "exceptions_4.out"},
        GoldenCase{ParseInformationalExceptionsLog, "exceptions.hex", 12, 4, "exceptions_4.out"},
        GoldenCase{ParseInformationalExceptionsLog, "exceptions.hex", 0, 30, "exceptions_30.out"},
        // signed temperatures, unsigned minutes
        GoldenCase{ParseSmartTemperatureLog, "smart_temperature.hex", 0, 4, "smart_temperature_4.out"},
        GoldenCase{ParseSmartTemperatureLog, "smart_temperature.hex", 0, 8, "smart_temperature_8.out"}),
    CaseName());

struct RefuseCase {
    ParseFun fun;
    const char* page;  // fixture, or null for a null buffer
    u32 len;
};

void PrintTo(const RefuseCase& c, std::ostream* os)
{
    *os << ParserText(c.fun) << " " << (c.page ? c.page : "null") << " len " << c.len;
}

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
                                           // less than the page header
                                           RefuseCase{ParseSupportedLogPages, "supported_many.hex", 3},
                                           RefuseCase{ParseSupportedLogPages, "supported_many.hex", 0},
                                           RefuseCase{ParseReadCapacity, nullptr, 8},
                                           RefuseCase{ParseReadCapacity, "read_capacity.hex", 7},
                                           RefuseCase{ParseReadCapacity, "read_capacity.hex", 0},
                                           RefuseCase{ParseWriteErrorCounterLog, nullptr, 112},
                                           RefuseCase{ParseWriteErrorCounterLog, "write_counters.hex", 111},
                                           RefuseCase{ParseReadErrorCounterLog, nullptr, 100},
                                           RefuseCase{ParseReadErrorCounterLog, "read_counters.hex", 99},
                                           RefuseCase{ParseVerifyErrorCounterLog, nullptr, 88},
                                           RefuseCase{ParseVerifyErrorCounterLog, "verify_counters.hex", 87},
                                           // a page of the next smaller size is still short
                                           RefuseCase{ParseWriteErrorCounterLog, "read_counters.hex", 100},
                                           RefuseCase{ParseNonMediumErrorLog, nullptr, 16},
                                           RefuseCase{ParseNonMediumErrorLog, "nonmedium.hex", 15},
                                           RefuseCase{ParseTemperatureLog, nullptr, 16},
                                           RefuseCase{ParseTemperatureLog, "temperature.hex", 15},
                                           RefuseCase{ParseSelfTestResultsLog, nullptr, 404},
                                           // 19 parameters and a part of the 20th
                                           RefuseCase{ParseSelfTestResultsLog, "selftest_results.hex", 403},
                                           RefuseCase{ParseSelfTestResultsLog, "selftest_results.hex", 384},
                                           RefuseCase{ParseProtocolSpecificPortLog, nullptr, 124},
                                           // one port and most of the second
                                           RefuseCase{ParseProtocolSpecificPortLog, "port.hex", 123},
                                           RefuseCase{ParseProtocolSpecificPortLog, "port.hex", 64},
                                           RefuseCase{ParseInformationalExceptionsLog, nullptr, 12},
                                           // pages without a fixed length still need their record's bytes
                                           RefuseCase{ParseInformationalExceptionsLog, "exceptions.hex", 11},
                                           RefuseCase{ParseInformationalExceptionsLog, "exceptions.hex", 4},
                                           RefuseCase{ParseSmartTemperatureLog, nullptr, 20},
                                           RefuseCase{ParseSmartTemperatureLog, "smart_temperature.hex", 19},
                                           RefuseCase{ParseSmartTemperatureLog, "smart_temperature.hex", 12}),
                         CaseName());

struct PageLengthCase {
    ParseFun fun;
    const char* page;    // fixture, handed over whole
    u16 page_length;     // written over bytes 2-3
    const char* golden;  // null: refused
};

void PrintTo(const PageLengthCase& c, std::ostream* os) { *os << c.page << " page length " << c.page_length; }

class LogPageLength : public ::testing::TestWithParam<PageLengthCase> {};

// A page is judged by its own length too: a drive that announces fewer parameters than the
// record holds gets no text, however many bytes the buffer has.
TEST_P(LogPageLength, ShortPageIsRefusedWholeBufferOrNot)
{
    const PageLengthCase& c = GetParam();
    std::vector<u8> bytes = Page(c.page);
    bytes[2] = static_cast<u8>(c.page_length >> 8);
    bytes[3] = static_cast<u8>(c.page_length);
    const std::vector<u8> answer = HeapPrefix(bytes, bytes.size());
    std::string out = kEarlier;
    const bool ok = c.fun(out, answer.data(), u32(answer.size()), 4, nullptr);
    if (c.golden == nullptr) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(out, kEarlier);
    } else {
        EXPECT_TRUE(ok);
        EXPECT_EQ(out, kEarlier + Golden(c.golden));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, LogPageLength,
    ::testing::Values(
        // one parameter of nine, and one byte short of nine
        PageLengthCase{ParseWriteErrorCounterLog, "write_counters.hex", 0x0C, nullptr},
        PageLengthCase{ParseWriteErrorCounterLog, "write_counters.hex", 0x6B, nullptr},
        PageLengthCase{ParseWriteErrorCounterLog, "write_counters.hex", 0x6C, "write_counters.out"},
        PageLengthCase{ParseReadErrorCounterLog, "read_counters.hex", 0x5F, nullptr},
        PageLengthCase{ParseReadErrorCounterLog, "read_counters.hex", 0x60, "read_counters.out"},
        PageLengthCase{ParseVerifyErrorCounterLog, "verify_counters.hex", 0x53, nullptr},
        PageLengthCase{ParseVerifyErrorCounterLog, "verify_counters.hex", 0x54, "verify_counters.out"},
        PageLengthCase{ParseNonMediumErrorLog, "nonmedium.hex", 0x00, nullptr},
        PageLengthCase{ParseNonMediumErrorLog, "nonmedium.hex", 0x0B, nullptr},
        PageLengthCase{ParseTemperatureLog, "temperature.hex", 0x06, nullptr},
        PageLengthCase{ParseTemperatureLog, "temperature.hex", 0x0B, nullptr},
        // one self-test result of twenty
        PageLengthCase{ParseSelfTestResultsLog, "selftest_results.hex", 0x14, nullptr},
        PageLengthCase{ParseSelfTestResultsLog, "selftest_results.hex", 0x18F, nullptr},
        // one port of two
        PageLengthCase{ParseProtocolSpecificPortLog, "port.hex", 0x3C, nullptr},
        PageLengthCase{ParseProtocolSpecificPortLog, "port.hex", 0x77, nullptr},
        PageLengthCase{ParseInformationalExceptionsLog, "exceptions.hex", 0x07, nullptr},
        PageLengthCase{ParseInformationalExceptionsLog, "exceptions.hex", 0x08, "exceptions_4.out"},
        PageLengthCase{ParseSmartTemperatureLog, "smart_temperature.hex", 0x0F, nullptr},
        PageLengthCase{ParseSmartTemperatureLog, "smart_temperature.hex", 0x10, "smart_temperature_4.out"}),
    CaseName());

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
    EXPECT_FALSE(DecodeSupportedLogPages(&copy, page.data(), 3));
    EXPECT_FALSE(DecodeSupportedLogPages(&copy, nullptr, 18));
    EXPECT_EQ(memcmp(&copy, &untouched, sizeof(copy)), 0);

    // 13 of the 20 announced codes arrived: the record counts those and holds zero after them
    const std::vector<u8> cut = HeapPrefix(page, 17);
    memset(&rec, 0x5A, sizeof(rec));
    ASSERT_TRUE(DecodeSupportedLogPages(&rec, cut.data(), 17));
    EXPECT_EQ(rec.header.page_length, 13);
    EXPECT_EQ(rec.page_codes[12], 0xD5);
    EXPECT_EQ(rec.page_codes[13], 0x00);
}

// A list cut short lists the codes that arrived and no more, whatever its page length says.
TEST(SupportedLogPages, ListsOnlyTheCodesThatArrived)
{
    const std::vector<u8> page = Page("supported_many.hex");
    std::vector<std::string> lines;
    {
        std::istringstream golden(Golden("supported_many_4.out"));
        for (std::string line; std::getline(golden, line);) {
            lines.push_back(line + "\n");
        }
    }
    ASSERT_EQ(lines.size(), 1 + kSupportedLogPageCodes);
    for (u32 len = 4; len <= 18; len++) {
        const std::vector<u8> cut = HeapPrefix(page, len);
        std::string want;
        for (u32 i = 0; i <= len - 4; i++) {
            want += lines[i];
        }
        std::string out;
        ASSERT_TRUE(ParseSupportedLogPages(out, cut.data(), len, 4, nullptr)) << len;
        EXPECT_EQ(out, want) << len;
    }
}

TEST(ErrorCounterLabels, TablesAsListed)
{
    const char* const want[] = {
        "Errors corrected without substantial delay",
        "Errors corrected with possible delays",
        "Total rewrites or rereads",
        "Total errors corrected",
        "Total times correction algorithm processed",
        "Total bytes processed",
        "Total uncorrected errors",
        "Reserved or vendor specific [0x8000]",
        "Reserved or vendor specific [0x8001]",
    };
    const struct {
        const char* const* labels;
        u32 count;
    } tables[] = {
        {write_error_counter_labels, kWriteErrorCounterParams},
        {read_error_counter_labels, kReadErrorCounterParams},
        {verify_error_counter_labels, kVerifyErrorCounterParams},
    };
    EXPECT_EQ(kWriteErrorCounterParams, 9u);
    EXPECT_EQ(kReadErrorCounterParams, 8u);
    EXPECT_EQ(kVerifyErrorCounterParams, 7u);
    for (const auto& t : tables) {
        for (u32 i = 0; i < t.count; i++) {
            std::string label = want[i];
            label.resize(43, ' ');
            ASSERT_NE(t.labels[i], nullptr) << t.count << " " << i;
            EXPECT_EQ(std::string(t.labels[i]), label + "= ") << t.count << " " << i;
        }
    }
    EXPECT_STREQ(non_medium_error_label, "Non-medium error count = ");
}

TEST(ErrorCounterLog, DecoderTurnsOnlyHeaderAndCodesToHostOrder)
{
    const std::vector<u8> page = Page("write_counters.hex");
    WriteErrorCounterRecord rec;
    ASSERT_TRUE(DecodeWriteErrorCounterLog(&rec, page.data(), u32(page.size())));
    EXPECT_EQ(rec.header.page_code, 0x02);
    EXPECT_EQ(rec.header.page_length, 0x78);
    const u16 codes[] = {0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x8000, 0x8001};
    for (u32 i = 0; i < kWriteErrorCounterParams; i++) {
        EXPECT_EQ(rec.params[i].header.param_code, codes[i]) << i;
        EXPECT_EQ(rec.params[i].header.control, 0x02) << i;
        EXPECT_EQ(rec.params[i].header.param_length, 0x08) << i;
        // the counter bytes as the drive sent them
        EXPECT_EQ(memcmp(rec.params[i].value, page.data() + 8 + 12 * i, 8), 0) << i;
    }

    const std::vector<u8> read = Page("read_counters.hex");
    ReadErrorCounterRecord r;
    ASSERT_TRUE(DecodeReadErrorCounterLog(&r, read.data(), u32(read.size())));
    EXPECT_EQ(r.params[0].header.param_code, 0x8000);
    EXPECT_EQ(r.params[7].header.param_code, 0x0006);

    const std::vector<u8> nonmedium = Page("nonmedium.hex");
    NonMediumErrorRecord n;
    ASSERT_TRUE(DecodeNonMediumErrorLog(&n, nonmedium.data(), u32(nonmedium.size())));
    EXPECT_EQ(n.header.page_length, 0x0C);
    EXPECT_EQ(n.param.value[6], 0x1F);
    EXPECT_EQ(n.param.value[7], 0x2E);

    VerifyErrorCounterRecord v;
    memset(&v, 0x5A, sizeof(v));
    const VerifyErrorCounterRecord untouched = v;
    const std::vector<u8> verify = Page("verify_counters.hex");
    EXPECT_FALSE(DecodeVerifyErrorCounterLog(&v, verify.data(), 87));
    EXPECT_FALSE(DecodeVerifyErrorCounterLog(&v, nullptr, 88));
    EXPECT_EQ(memcmp(&v, &untouched, sizeof(v)), 0);
}

TEST(ErrorCounterLog, LinePrinterNamesThePositionItIsGiven)
{
    ErrorCounterParam param = {{0x8001, 0x02, 0x08}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAB, 0xCD}};
    std::string out;
    PrintWriteErrorCounterParam(out, &param, 12, 2);
    EXPECT_EQ(out, "     Total rewrites or rereads                  = 0x000000000000ABCD\n");
    out.clear();
    PrintReadErrorCounterParam(out, &param, 0, 7);
    EXPECT_EQ(out, "     Reserved or vendor specific [0x8000]       = 0x000000000000abcd\n");
    // positions past the page's labels print nothing
    out.clear();
    PrintWriteErrorCounterParam(out, &param, 4, 9);
    PrintReadErrorCounterParam(out, &param, 4, 8);
    PrintVerifyErrorCounterParam(out, &param, 4, 7);
    EXPECT_EQ(out, "");
    PrintNonMediumErrorParam(out, &param, 20);
    EXPECT_EQ(out, "     Non-medium error count = 0x000000000000ABCD\n");
}

TEST(StatusPages, DecodersTurnTheirIntegersToHostOrder)
{
    const std::vector<u8> temp = Page("temperature_mixed.hex");
    TemperatureLogRecord t;
    ASSERT_TRUE(DecodeTemperatureLog(&t, temp.data(), u32(temp.size())));
    EXPECT_EQ(t.header.page_length, 0x12);
    EXPECT_EQ(t.temperature_param.param_code, 0x0000);
    EXPECT_EQ(t.reference_param.param_code, 0x0001);
    EXPECT_EQ(t.temperature, 0x23);
    EXPECT_EQ(t.reference, 0x41);

    const std::vector<u8> tests = Page("selftest_results.hex");
    SelfTestResultsRecord st;
    ASSERT_TRUE(DecodeSelfTestResultsLog(&st, tests.data(), u32(tests.size())));
    EXPECT_EQ(st.header.page_length, 0x190);
    const SelfTestResultParam first = st.params[0];
    const SelfTestResultParam last = st.params[19];
    EXPECT_EQ(first.header.param_code, 0x0001);
    EXPECT_EQ(first.power_on_hours, 0x1234);
    EXPECT_EQ(first.first_failure, 0x000000000ABCDEF1ull);
    EXPECT_EQ(first.sense_key, 0xF3);
    EXPECT_EQ(last.header.param_code, 0x0014);
    EXPECT_EQ(last.power_on_hours, 0x0009);
    EXPECT_EQ(last.first_failure, 0x0123456789ABCDEFull);
    EXPECT_EQ(last.ascq, 0x01);

    const std::vector<u8> port = Page("port.hex");
    ProtocolPortLogRecord pr;
    ASSERT_TRUE(DecodeProtocolSpecificPortLog(&pr, port.data(), u32(port.size())));
    EXPECT_EQ(pr.ports[0].header.param_code, 0x0005);
    EXPECT_EQ(pr.ports[1].header.param_code, 0x0009);
    // addresses and counters stay in the drive's order
    EXPECT_EQ(memcmp(pr.ports[0].sas_address, "\x50\x00\xC5\x00\x12\x34\x56\x78", 8), 0);
    EXPECT_EQ(memcmp(pr.ports[1].phy_reset_problem_count, "\x7F\xFF\xFF\xFF", 4), 0);
    EXPECT_EQ(pr.ports[1].unread[0], 0xEE);

    const std::vector<u8> ie = Page("exceptions.hex");
    InformationalExceptionsRecord e;
    ASSERT_TRUE(DecodeInformationalExceptionsLog(&e, ie.data(), u32(ie.size())));
    EXPECT_EQ(e.header.page_length, 0x0C);
    EXPECT_EQ(e.param.param_code, 0x0000);
    EXPECT_EQ(e.param.control, 0xA7);
    EXPECT_EQ(e.asc, 0x5D);
    EXPECT_EQ(e.vendor, 0x0C);

    const std::vector<u8> smart = Page("smart_temperature.hex");
    SmartTemperatureRecord sm;
    ASSERT_TRUE(DecodeSmartTemperatureLog(&sm, smart.data(), u32(smart.size())));
    EXPECT_EQ(sm.current, 40);
    EXPECT_EQ(sm.maximum, -56);
    EXPECT_EQ(sm.max_time, 123456u);
    EXPECT_EQ(sm.over_reference, 0u);
    EXPECT_EQ(sm.min_time, 0xFFFFFFFFu);
}

// A refusing decoder leaves its record as it was.
TEST(StatusPages, RefusingDecodersTouchNothing)
{
    const std::vector<u8> port = Page("port.hex");
    ProtocolPortLogRecord pr;
    memset(&pr, 0x5A, sizeof(pr));
    const ProtocolPortLogRecord pr0 = pr;
    EXPECT_FALSE(DecodeProtocolSpecificPortLog(&pr, port.data(), 123));
    EXPECT_FALSE(DecodeProtocolSpecificPortLog(&pr, nullptr, 124));
    EXPECT_EQ(memcmp(&pr, &pr0, sizeof(pr)), 0);

    const std::vector<u8> smart = Page("smart_temperature.hex");
    SmartTemperatureRecord sm;
    memset(&sm, 0x5A, sizeof(sm));
    const SmartTemperatureRecord sm0 = sm;
    EXPECT_FALSE(DecodeSmartTemperatureLog(&sm, smart.data(), 19));
    EXPECT_EQ(memcmp(&sm, &sm0, sizeof(sm)), 0);

    const std::vector<u8> ie = Page("exceptions.hex");
    InformationalExceptionsRecord e;
    memset(&e, 0x5A, sizeof(e));
    const InformationalExceptionsRecord e0 = e;
    EXPECT_FALSE(DecodeInformationalExceptionsLog(&e, ie.data(), 11));
    EXPECT_EQ(memcmp(&e, &e0, sizeof(e)), 0);

    SelfTestResultsRecord st;
    memset(&st, 0x5A, sizeof(st));
    const SelfTestResultsRecord st0 = st;
    const std::vector<u8> tests = Page("selftest_results.hex");
    EXPECT_FALSE(DecodeSelfTestResultsLog(&st, tests.data(), 403));
    EXPECT_EQ(memcmp(&st, &st0, sizeof(st)), 0);

    TemperatureLogRecord t;
    memset(&t, 0x5A, sizeof(t));
    const TemperatureLogRecord t0 = t;
    const std::vector<u8> temp = Page("temperature.hex");
    EXPECT_FALSE(DecodeTemperatureLog(&t, temp.data(), 15));
    EXPECT_EQ(memcmp(&t, &t0, sizeof(t)), 0);
}

// The degree sign is the byte pair A1h E6h; no other byte of these texts is outside ASCII.
TEST(StatusPages, DegreeSignIsTheGb2312Pair)
{
    const std::vector<u8> temp = Page("temperature.hex");
    std::string out;
    ASSERT_TRUE(ParseTemperatureLog(out, temp.data(), u32(temp.size()), 0, nullptr));
    EXPECT_EQ(out, "Current temperature   = 200\xA1\xE6\nReference temperature = 200\xA1\xE6\n");
    const std::vector<u8> smart = Page("smart_temperature.hex");
    out.clear();
    ASSERT_TRUE(ParseSmartTemperatureLog(out, smart.data(), u32(smart.size()), 0, nullptr));
    size_t high = 0;
    for (size_t i = 0; i < out.size(); i++) {
        if (static_cast<u8>(out[i]) >= 0x80) {
            ASSERT_LT(i + 1, out.size());
            EXPECT_EQ(out.substr(i, 2), "\xA1\xE6") << i;
            high++;
            i++;
        }
    }
    EXPECT_EQ(high, 4u);
}

TEST(LogFacilities, ParameterPrinterShowsHeaderAndEightValueBytes)
{
    // a self-test parameter's first 12 bytes with its code in host order, as a decoder leaves it
    std::vector<u8> param = Cut(Page("selftest_results.hex"), 16);
    param.erase(param.begin(), param.begin() + 4);
    const u16 code = 0x0001;
    memcpy(param.data(), &code, sizeof(code));
    std::string out = kEarlier;
    PrintLogParameter(out, param.data(), 8);
    EXPECT_EQ(out, kEarlier + Golden("log_parameter_8.out"));
    // the value bytes do not depend on the parameter length
    param[3] = 0x00;
    std::string zero_length;
    PrintLogParameter(zero_length, param.data(), 8);
    EXPECT_NE(zero_length.find("PARAMETER LENGTH                 : 00h\n"), std::string::npos);
    EXPECT_NE(zero_length.find("PARAMETER VALUE                  : B5h 2Ah 12h 34h 00h 00h 00h 00h \n"),
              std::string::npos);
    out = kEarlier;
    PrintLogParameter(out, nullptr, 8);
    EXPECT_EQ(out, kEarlier);
}

TEST(LogFacilities, PageHeaderPrinterSplitsThePageCodeByte)
{
    const LogPageHeader headers[] = {{0xC2, 0x00, 0x1234}, {0x3F, 0xFF, 0x0000}};
    std::string out = kEarlier;
    PrintLogPageHeader(out, &headers[0], 4);
    PrintLogPageHeader(out, &headers[1], 4);
    const LogPageHeader wide = {0x4D, 0x00, 0xFFFF};
    PrintLogPageHeader(out, &wide, 25);
    EXPECT_EQ(out, kEarlier + Golden("page_header_4.out"));
    PrintLogPageHeader(out, nullptr, 4);
    EXPECT_EQ(out, kEarlier + Golden("page_header_4.out"));
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
        const std::vector<u8> answer = HexBytes(c.data);
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
        DiskAnalyser::Analyse(out, TYPE_4DH_SUPPORTED_LOG_PAGES, pages.data(), 3, &user_err, 4, nullptr));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, kEarlier);
}

// Both page controls of an error counter page reach the same callback and text.
TEST(LogDispatch, BothPageControlsDecodeAlike)
{
    EnsureErrTable();
    DiskAnalyser::Init();
    const struct {
        CMND_TYPE pc0;
        CMND_TYPE pc1;
        u32 (*fixed_len)();
        const char* page;
        const char* golden;
    } cases[] = {
        {TYPE_4DH_WRITE_ERROR_COUNTER_PC0, TYPE_4DH_WRITE_ERROR_COUNTER, LenWriteErrCounter, "write_counters.hex",
         "write_counters.out"},
        {TYPE_4DH_READ_ERROR_COUNTER_PC0, TYPE_4DH_READ_ERROR_COUNTER, LenReadErrCounter, "read_counters.hex",
         "read_counters.out"},
        {TYPE_4DH_VERIFY_ERROR_COUNTER_PC0, TYPE_4DH_VERIFY_ERROR_COUNTER, LenVerifyErrCounter, "verify_counters.hex",
         "verify_counters.out"},
        {TYPE_4DH_NON_MEDIUM_ERROR_PC0, TYPE_4DH_NON_MEDIUM_ERROR, LenNonMediumErr, "nonmedium.hex",
         "nonmedium.out"},
    };
    for (const auto& c : cases) {
        const std::vector<u8> page = Page(c.page);
        for (CMND_TYPE type : {c.pc0, c.pc1}) {
            std::string out;
            int user_err = -1;
            EXPECT_TRUE(DiskAnalyser::Analyse(out, type, page.data(), u32(page.size()), &user_err, 4, nullptr))
                << type;
            EXPECT_EQ(user_err, 0) << type;
            EXPECT_EQ(out, Golden(c.golden)) << type;
            // one byte short of the page's fixed length
            out = kEarlier;
            EXPECT_FALSE(DiskAnalyser::Analyse(out, type, page.data(), c.fixed_len() - 1, &user_err, 4,
                                               nullptr))
                << type;
            EXPECT_EQ(user_err, 5) << type;
            EXPECT_EQ(out, kEarlier) << type;
        }
    }
}

// Types 77 to 81 through the parse map.
TEST(LogDispatch, StatusPagesReachTheirCallbacks)
{
    EnsureErrTable();
    DiskAnalyser::Init();
    const struct {
        CMND_TYPE type;
        const char* page;
        const char* golden;
        u32 short_len;
    } cases[] = {
        {TYPE_4DH_TEMPERATURE, "temperature.hex", "temperature_4.out", 15},
        {TYPE_4DH_SELF_TEST_RESULTS, "selftest_results.hex", "selftest_results_4.out", 403},
        {TYPE_4DH_PROTOCOL_SPECIFIC_PORT_LOG_PAGE, "port.hex", "port.out", 123},
        {TYPE_4DH_INFORMATIONAL_EXCEPTIONS, "exceptions.hex", "exceptions_4.out", 11},
        {TYPE_4DH_SMART_TEMPERATURE, "smart_temperature.hex", "smart_temperature_4.out", 19},
    };
    for (const auto& c : cases) {
        const std::vector<u8> page = Page(c.page);
        std::string out;
        int user_err = -1;
        EXPECT_TRUE(DiskAnalyser::Analyse(out, c.type, page.data(), u32(page.size()), &user_err, 4, nullptr))
            << c.type;
        EXPECT_EQ(user_err, 0) << c.type;
        EXPECT_EQ(out, Golden(c.golden)) << c.type;
        const std::vector<u8> cut = Cut(page, c.short_len);
        out = kEarlier;
        EXPECT_FALSE(DiskAnalyser::Analyse(out, c.type, cut.data(), u32(cut.size()), &user_err, 4, nullptr)) << c.type;
        EXPECT_EQ(user_err, 5) << c.type;
        EXPECT_EQ(out, kEarlier) << c.type;
    }
}

} // namespace
