#include <gtest/gtest.h>

#include "case_names.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "ata_log_decoder.h"
#include "disk_analyser.h"
#include "disk_info.h"

namespace {

typedef std::vector<u8> Bytes;

// Pages whose bytes all differ from their neighbours, so that a field read one byte
// off, or from the wrong page, shows in the text: byte i = i * mul + add.
Bytes Pattern(u32 mul, u32 add)
{
    Bytes b(512);
    for (u32 i = 0; i < 512; i++) {
        b[i] = u8(i * mul + add);
    }
    return b;
}

void PutLe(Bytes& b, size_t off, u64 v, u32 width)
{
    for (u32 i = 0; i < width; i++) {
        b[off + i] = u8(v >> (8 * i));
    }
}

Bytes Join(std::initializer_list<Bytes> pages)
{
    Bytes all;
    for (const Bytes& p : pages) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// Log directory: word n is n in the low byte and n ^ A5h in the high one, except the
// two words of the known edge cases (01h: 0001h, 05h: 0110h).
Bytes DirectoryPage()
{
    Bytes b(512);
    for (u32 n = 0; n < 256; n++) {
        b[2 * n] = u8(n);
        b[2 * n + 1] = u8(n ^ 0xA5);
    }
    PutLe(b, 2, 0x0001, 2);
    PutLe(b, 10, 0x0110, 2);
    return b;
}

// The index says two entries are in use; all five must still be shown.
Bytes ErrorPageA()
{
    Bytes b = Pattern(7, 3);
    b[0] = 0x01;
    b[1] = 0x02;
    PutLe(b, 452, 0x1234, 2);
    return b;
}

Bytes ErrorPageB()
{
    Bytes b = Pattern(13, 0x40);
    b[0] = 0x01;
    b[1] = 0x05;
    PutLe(b, 452, 0x8000, 2);
    return b;
}

Bytes SelfTestPageA()
{
    Bytes b = Pattern(7, 3);
    PutLe(b, 0, 0x0001, 2);
    b[508] = 0x15;
    return b;
}

Bytes SelfTestPageB() { return Pattern(11, 0x80); }

// Span 1 starts at 2^32: the high half of a 64-bit LBA must not be lost. All three
// off-line bits (1, 3, 4) set here, and only the other five bits on page B.
Bytes SelectivePageA()
{
    Bytes b = Pattern(7, 3);
    PutLe(b, 0, 0x0001, 2);
    PutLe(b, 2, 0x0000000100000000ull, 8);
    PutLe(b, 10, 0x00000001FFFFFFFFull, 8);
    b[502] = 0x1A;
    return b;
}

Bytes SelectivePageB()
{
    Bytes b = Pattern(11, 0x80);
    b[502] = 0xE5;
    return b;
}

// Goldens are written at an indent of 4.
std::string Golden(const char* name)
{
    std::ifstream f(std::string(ZV_TEST_DATA_DIR) + "/ata_log/" + name, std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The same text at another indent: the first four blanks of every line replaced.
std::string Reindent(const std::string& text, u32 indent)
{
    const std::string in(indent < 20 ? indent : 20, ' ');
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        if (line != "\n") {
            EXPECT_EQ(line.substr(0, 4), "    ") << line;
            line = in + line.substr(4);
        }
        out += line;
        pos = end;
    }
    return out;
}

size_t LineCount(const std::string& text)
{
    size_t n = 0;
    for (char c : text) {
        n += c == '\n';
    }
    return n;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// ---------------------------------------------------------------- whole texts

struct GoldenCase {
    ParseFun parse;
    Bytes (*answer)();
    std::vector<const char*> goldens;  // concatenated, in order
    const char* separator;             // after each golden
    size_t lines;
};

void PrintTo(const GoldenCase& c, std::ostream* os)
{
    *os << ParserText(c.parse);
    for (const char* golden : c.goldens) {
        *os << " " << golden;
    }
}

Bytes OneDirectory() { return DirectoryPage(); }
Bytes OneErrorPage() { return ErrorPageA(); }
Bytes TwoErrorPages() { return Join({ErrorPageA(), ErrorPageB()}); }
Bytes ThreeErrorPages() { return Join({ErrorPageB(), ErrorPageA(), ErrorPageB()}); }
Bytes OneSelfTestPage() { return SelfTestPageA(); }
Bytes TwoSelfTestPages() { return Join({SelfTestPageA(), SelfTestPageB()}); }
Bytes OneSelectivePage() { return SelectivePageA(); }
Bytes TwoSelectivePages() { return Join({SelectivePageB(), SelectivePageA()}); }

class AtaLogGolden : public ::testing::TestWithParam<GoldenCase> {};

// Each callback appends its text byte for byte to what `out` held, at every indent,
// larger ones clamped to 20 blanks.
TEST_P(AtaLogGolden, AppendsTextAtEachIndent)
{
    const GoldenCase& c = GetParam();
    const Bytes data = c.answer();
    std::string expected;
    for (const char* g : c.goldens) {
        expected += Golden(g) + c.separator;
    }
    ASSERT_EQ(LineCount(expected), c.lines);
    for (u32 indent : {4u, 0u, 19u, 20u, 21u, 1000u}) {
        std::string out = "earlier text\n";
        ASSERT_TRUE(c.parse(out, data.data(), u32(data.size()), indent, nullptr)) << indent;
        EXPECT_EQ(out, "earlier text\n" + Reindent(expected, indent)) << indent;
    }
    // The drive record passed as context changes nothing.
    DiskInfo disk;
    disk.smart_ver = VER_K6410;
    std::string out;
    ASSERT_TRUE(c.parse(out, data.data(), u32(data.size()), 4, &disk));
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, AtaLogGolden,
    ::testing::Values(GoldenCase{ParseAtaLogDirectory, OneDirectory, {"directory.txt"}, "", 256},
                      GoldenCase{ParseAtaSummaryErrorLog, OneErrorPage, {"error_page_a.txt"}, "", 404},
                      GoldenCase{ParseAtaComprehensiveErrorLog, OneErrorPage, {"error_page_a.txt"}, "\n\n", 406},
                      // two complete error-log texts, each followed by a blank line
                      GoldenCase{ParseAtaComprehensiveErrorLog, TwoErrorPages,
                                 {"error_page_a.txt", "error_page_b.txt"}, "\n\n", 812},
                      GoldenCase{ParseAtaComprehensiveErrorLog, ThreeErrorPages,
                                 {"error_page_b.txt", "error_page_a.txt", "error_page_b.txt"}, "\n\n", 1218},
                      GoldenCase{ParseAtaSelfTestLog, OneSelfTestPage, {"self_test_a.txt"}, "", 129},
                      // pages follow one another without a separator
                      GoldenCase{ParseAtaSelfTestLog, TwoSelfTestPages, {"self_test_a.txt", "self_test_b.txt"}, "",
                                 258},
                      GoldenCase{ParseAtaSelectiveSelfTestLog, OneSelectivePage, {"selective_a.txt"}, "", 18},
                      GoldenCase{ParseAtaSelectiveSelfTestLog, TwoSelectivePages,
                                 {"selective_b.txt", "selective_a.txt"}, "", 36}),
    CaseName());

// The page printers give the same text as the callbacks, a page at a time.
TEST(AtaLogPages, PagePrintersMatchTheCallbacks)
{
    Bytes dir = DirectoryPage();
    std::string out = "x";
    ASSERT_TRUE(ParseAtaLogDirectoryPage(out, dir.data(), 4));
    EXPECT_EQ(out, "x" + Golden("directory.txt"));

    Bytes err = ErrorPageB();
    out = "y";
    ASSERT_TRUE(ParseAtaErrorLogPage(out, err.data(), 25));
    EXPECT_EQ(out, "y" + Reindent(Golden("error_page_b.txt"), 20));

    out = "kept";
    EXPECT_FALSE(ParseAtaLogDirectoryPage(out, nullptr, 4));
    EXPECT_FALSE(ParseAtaErrorLogPage(out, nullptr, 4));
    EXPECT_EQ(out, "kept");
}

// ---------------------------------------------------------------- log directory

struct NameRange {
    u32 first;
    u32 last;
    const char* name;
};

// The log names by address, as published.
const NameRange log_names[] = {
    {0x00, 0x00, "Log directory"},
    {0x01, 0x01, "Summary SMART error log"},
    {0x02, 0x02, "Comprehensive SMART error log"},
    {0x03, 0x03, "Extended Comprehensive SMART error log"},
    {0x04, 0x04, "Device Statistics"},
    {0x05, 0x05, "Reserved"},
    {0x06, 0x06, "SMART self-test log"},
    {0x07, 0x07, "Extended SMART self-test log"},
    {0x08, 0x08, "Reserved"},
    {0x09, 0x09, "Selective Self-test log"},
    {0x0A, 0x0F, "Reserved"},
    {0x10, 0x17, "Reserved for Serial ATA"},
    {0x18, 0x1F, "Reserved"},
    {0x20, 0x20, "Obsotele"},
    {0x21, 0x21, "Write Stream error log"},
    {0x22, 0x22, "Read Stream error log"},
    {0x23, 0x23, "Obsolete"},
    {0x24, 0x7F, "Reserved"},
    {0x80, 0x9F, "Host vendor specific"},
    {0xA0, 0xBF, "Device vendor specific"},
    {0xC0, 0xDF, "Reserved"},
    {0xE0, 0xE0, "SCT Command/Status"},
    {0xE1, 0xE1, "SCT data transfer"},
    {0xE2, 0xFF, "Reserved"},
};

TEST(AtaLogDirectory, EveryAddressNamedAndPaddedTo42)
{
    Bytes dir(512, 0);
    std::string out;
    ASSERT_TRUE(ParseAtaLogDirectory(out, dir.data(), 512, 0, nullptr));
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 256u);
    u32 covered = 0;
    for (const NameRange& r : log_names) {
        ASSERT_EQ(r.first, covered);
        for (u32 n = r.first; n <= r.last; n++) {
            char head[32];
            snprintf(head, sizeof(head), "%02Xh   0000h   ", n);
            std::string name = r.name;
            name.append(42 - name.size(), ' ');
            EXPECT_EQ(lines[n], head + name) << n;
        }
        covered = r.last + 1;
    }
    EXPECT_EQ(covered, 256u);
}

// The count of address n is the little-endian word at bytes 2n and 2n + 1.
TEST(AtaLogDirectory, CountsAreLittleEndianWords)
{
    Bytes dir(512, 0);
    dir[2] = 0x01;
    dir[10] = 0x10;
    dir[11] = 0x01;
    dir[510] = 0x34;
    dir[511] = 0x12;
    std::string out;
    ASSERT_TRUE(ParseAtaLogDirectory(out, dir.data(), 512, 4, nullptr));
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 256u);
    EXPECT_EQ(lines[1].substr(0, 18), "    01h   0001h   ");
    EXPECT_EQ(lines[5].substr(0, 18), "    05h   0110h   ");
    EXPECT_EQ(lines[255].substr(0, 18), "    FFh   1234h   ");
    EXPECT_EQ(lines[0].substr(0, 18), "    00h   0000h   ");
}

// ---------------------------------------------------------------- device statistics

TEST(AtaDeviceStatistics, ThreeLinesPerPage)
{
    Bytes first(512, 0);
    PutLe(first, 0, 0x0001, 2);
    PutLe(first, 8, 0x12345678, 4);
    // The high half of the statistic is not part of the count; bit 63 is the flag.
    first[12] = 0xAA;
    first[13] = 0xBB;
    first[14] = 0xCC;
    first[15] = 0xC0;
    Bytes second(512, 0xEE);
    PutLe(second, 0, 0x0102, 2);
    PutLe(second, 8, 0xFFFFFFFE, 4);
    second[15] = 0x7F;  // every bit but 63
    Bytes data = Join({first, second});
    std::string out = "earlier\n";
    ASSERT_TRUE(ParseAtaDeviceStatistics(out, data.data(), u32(data.size()), 2, nullptr));
    EXPECT_EQ(out, "earlier\n"
                   "  Version              : 0001h\n"
                   "  Power-On Reset Times : 12345678h\n"
                   "  Counter Supported    : Yes\n"
                   "  Version              : 0102h\n"
                   "  Power-On Reset Times : FFFFFFFEh\n"
                   "  Counter Supported    : No\n");
}

// ---------------------------------------------------------------- selective self-test

struct OfflineCase {
    u8 flags;
    const char* scan;
    const char* pending;
    const char* active;
};

void PrintTo(const OfflineCase& c, std::ostream* os) { *os << "flags " << std::hex << unsigned(c.flags) << "h"; }

class AtaSelectiveOffline : public ::testing::TestWithParam<OfflineCase> {};

// Byte 502: bit 1 scan after the test, bit 3 pending, bit 4 active; no other bit counts.
TEST_P(AtaSelectiveOffline, EachFlagFromItsOwnBit)
{
    const OfflineCase& c = GetParam();
    Bytes page(512, 0);
    page[502] = c.flags;
    std::string out;
    ASSERT_TRUE(ParseAtaSelectiveSelfTestLog(out, page.data(), 512, 0, nullptr));
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[13], "Off-line scan after selective test             : " + std::string(c.scan));
    EXPECT_EQ(lines[14], "Off-line scan after selective test is pending  : " + std::string(c.pending));
    EXPECT_EQ(lines[15], "Off-line scan after selective test is active   : " + std::string(c.active));
}

INSTANTIATE_TEST_SUITE_P(Bits, AtaSelectiveOffline,
                         ::testing::Values(OfflineCase{0x00, "No", "No", "No"}, OfflineCase{0x02, "Yes", "No", "No"},
                                           OfflineCase{0x08, "No", "Yes", "No"}, OfflineCase{0x10, "No", "No", "Yes"},
                                           OfflineCase{0xE5, "No", "No", "No"}, OfflineCase{0xFF, "Yes", "Yes", "Yes"}),
                         CaseName());

// ---------------------------------------------------------------- pend list

struct PendRecord {
    u32 lba;
    u32 pba;
};

struct PendCase {
    std::vector<PendRecord> records;  // from the start of the answer
    u32 pages;
    u8 rest;  // the bytes after the records
    std::string expected;
};

void PrintTo(const PendCase& c, std::ostream* os)
{
    *os << c.records.size() << " records then " << std::hex << unsigned(c.rest) << "h";
}

class AtaPendList : public ::testing::TestWithParam<PendCase> {};

// The list replaces `out` and ends before the first record whose two low lba bytes are FFh.
TEST_P(AtaPendList, StopsAtTheEndMarker)
{
    const PendCase& c = GetParam();
    Bytes data(512 * c.pages, c.rest);
    for (size_t i = 0; i < c.records.size(); i++) {
        PutLe(data, 8 * i, c.records[i].lba, 4);
        PutLe(data, 8 * i + 4, c.records[i].pba, 4);
    }
    std::string out = "earlier text\n";
    ASSERT_TRUE(ParseSmartPendList(out, data.data(), u32(data.size()), 3, nullptr));
    EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, AtaPendList,
    ::testing::Values(
        // the second record's lba 1234FFFFh ends the list
        PendCase{{{0x00000010, 0x00001000}, {0x1234FFFF, 0x00002000}, {0x00000030, 0x00003000}},
                 1,
                 0x00,
                 "   LBA        PBA\n"
                 "   00000010h  00001000h\n"},
        // a first record of FFFFFFFFh/FFFFFFFFh leaves only the heading
        PendCase{{}, 1, 0xFF, "   LBA        PBA\n"},
        // one FFh low byte, FFFFh in the high half or an all-FFh pba is no end marker
        PendCase{{{0x000000FF, 0x00000001},
                  {0x0000FF00, 0x00000002},
                  {0xFFFF0000, 0x00000003},
                  {0x00FFFF00, 0xFFFFFFFF},
                  {0xABCDFFFF, 0x00000005},
                  {0x00000006, 0x00000006}},
                 1,
                 0x00,
                 "   LBA        PBA\n"
                 "   000000FFh  00000001h\n"
                 "   0000FF00h  00000002h\n"
                 "   FFFF0000h  00000003h\n"
                 "   00FFFF00h  FFFFFFFFh\n"}),
    CaseName());

// A list that fills its first page runs on into the next one; without any end marker
// every record of the answer is shown.
TEST(AtaPendListPages, RecordsOfEveryPage)
{
    Bytes data(1024, 0xFF);
    for (u32 i = 0; i < 65; i++) {
        PutLe(data, 8 * i, 0x01000000u + i, 4);
        PutLe(data, 8 * i + 4, 0x00020000u + 3 * i, 4);
    }
    std::string out;
    ASSERT_TRUE(ParseSmartPendList(out, data.data(), 1024, 0, nullptr));
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 66u);
    EXPECT_EQ(lines[0], "LBA        PBA");
    EXPECT_EQ(lines[1], "01000000h  00020000h");
    EXPECT_EQ(lines[64], "0100003Fh  000200BDh");  // last record of page 1
    EXPECT_EQ(lines[65], "01000040h  000200C0h");  // first record of page 2

    Bytes zeros(512, 0);
    ASSERT_TRUE(ParseSmartPendList(out, zeros.data(), 512, 0, nullptr));
    lines = Lines(out);
    ASSERT_EQ(lines.size(), 65u);
    EXPECT_EQ(lines[64], "00000000h  00000000h");
}

TEST(AtaPendListLoad, AppendsRecordsInHostOrder)
{
    Bytes data(512, 0xFF);
    PutLe(data, 0, 0x11223344, 4);
    PutLe(data, 4, 0x55667788, 4);
    std::vector<SmartPendEntry> entries = {{1, 2}};
    ASSERT_TRUE(LoadSmartPendList(entries, data.data(), 512));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].lba, 1u);
    EXPECT_EQ(entries[1].lba, 0x11223344u);
    EXPECT_EQ(entries[1].pba, 0x55667788u);

    std::string out = "old";
    ASSERT_TRUE(PrintSmartPendList(out, {}, 100));
    EXPECT_EQ(out, std::string(20, ' ') + "LBA        PBA\n");
}

// ---------------------------------------------------------------- page loaders

typedef bool (*LoadPagesFun)(std::vector<AtaLogPage>&, const u8*, u32);

struct LoaderCase {
    const char* what;
    LoadPagesFun load;
};

void PrintTo(const LoaderCase& c, std::ostream* os) { *os << c.what; }

class AtaLogPageLoader : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(AtaLogPageLoader, AppendsWholePagesInOrder)
{
    Bytes data = Join({ErrorPageA(), ErrorPageB(), SelfTestPageB()});
    std::vector<AtaLogPage> pages(1);
    memset(pages[0].bytes, 0x77, sizeof(pages[0].bytes));
    ASSERT_TRUE(GetParam().load(pages, data.data(), u32(data.size())));
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages[0].bytes[0], 0x77);
    EXPECT_EQ(Bytes(pages[1].bytes, pages[1].bytes + 512), ErrorPageA());
    EXPECT_EQ(Bytes(pages[2].bytes, pages[2].bytes + 512), ErrorPageB());
    EXPECT_EQ(Bytes(pages[3].bytes, pages[3].bytes + 512), SelfTestPageB());

    for (u32 len : {0u, 1u, 500u, 511u, 513u, 1000u}) {
        EXPECT_FALSE(GetParam().load(pages, data.data(), len)) << len;
    }
    EXPECT_FALSE(GetParam().load(pages, nullptr, 512));
    EXPECT_EQ(pages.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Loaders, AtaLogPageLoader,
                         ::testing::Values(LoaderCase{"LoadAtaErrorLogPages", LoadAtaErrorLogPages},
                                           LoaderCase{"LoadAtaDeviceStatisticsPages", LoadAtaDeviceStatisticsPages},
                                           LoaderCase{"LoadAtaSelfTestPages", LoadAtaSelfTestPages},
                                           LoaderCase{"LoadAtaSelectiveSelfTestPages", LoadAtaSelectiveSelfTestPages}),
                         CaseName());

// The printers take the pages from the vector, not from a buffer of their own.
TEST(AtaLogPagePrinters, PrintWhatTheyAreGiven)
{
    std::vector<AtaLogPage> pages;
    std::string out = "x";
    EXPECT_TRUE(PrintAtaErrorLogPages(out, pages, 4));
    EXPECT_TRUE(PrintAtaSelfTestLog(out, pages, 4));
    EXPECT_EQ(out, "x");

    Bytes b = ErrorPageB();
    Bytes s = SelfTestPageB();
    Bytes l = SelectivePageA();
    ASSERT_TRUE(LoadAtaErrorLogPages(pages, b.data(), 512));
    ASSERT_TRUE(PrintAtaErrorLogPages(out, pages, 4));
    EXPECT_EQ(out, "x" + Golden("error_page_b.txt") + "\n\n");
    pages.clear();
    ASSERT_TRUE(LoadAtaSelfTestPages(pages, s.data(), 512));
    out.clear();
    ASSERT_TRUE(PrintAtaSelfTestLog(out, pages, 4));
    EXPECT_EQ(out, Golden("self_test_b.txt"));
    pages.clear();
    ASSERT_TRUE(LoadAtaSelectiveSelfTestPages(pages, l.data(), 512));
    out.clear();
    ASSERT_TRUE(PrintAtaSelectiveSelfTestLog(out, pages, 4));
    EXPECT_EQ(out, Golden("selective_a.txt"));
}

// ---------------------------------------------------------------- refusals

struct RefusalCase {
    ParseFun parse;
    std::vector<u32> refused;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << ParserText(c.parse); }

class AtaLogRefusal : public ::testing::TestWithParam<RefusalCase> {};

// A null answer or a length outside the rule returns false and leaves `out` as it was
// (also for the pend list, which would otherwise replace it).
TEST_P(AtaLogRefusal, TextUntouched)
{
    const RefusalCase& c = GetParam();
    Bytes data(2048, 0x5A);
    for (u32 len : c.refused) {
        std::string out = "kept\n";
        EXPECT_FALSE(c.parse(out, data.data(), len, 4, nullptr)) << len;
        EXPECT_EQ(out, "kept\n") << len;
    }
    std::string out = "kept\n";
    EXPECT_FALSE(c.parse(out, nullptr, 512, 4, nullptr));
    EXPECT_EQ(out, "kept\n");
}

const std::vector<u32> kOnePageOnly = {0, 1, 500, 511, 513, 1000, 1024};
const std::vector<u32> kWholePages = {0, 1, 8, 500, 511, 513, 1000, 1023, 1025};

INSTANTIATE_TEST_SUITE_P(Callbacks, AtaLogRefusal,
                         ::testing::Values(RefusalCase{ParseAtaLogDirectory, kOnePageOnly},
                                           RefusalCase{ParseAtaSummaryErrorLog, kOnePageOnly},
                                           RefusalCase{ParseAtaComprehensiveErrorLog, kWholePages},
                                           RefusalCase{ParseAtaDeviceStatistics, kWholePages},
                                           RefusalCase{ParseAtaSelfTestLog, kWholePages},
                                           RefusalCase{ParseAtaSelectiveSelfTestLog, kWholePages},
                                           RefusalCase{ParseSmartPendList, kWholePages}),
                         CaseName());

// ---------------------------------------------------------------- through the parse map

struct AnalyseCase {
    CMND_TYPE type;
    Bytes (*answer)();
    const char* golden;
    const char* separator;
};

void PrintTo(const AnalyseCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

Bytes StatisticsPage()
{
    Bytes b(512, 0);
    PutLe(b, 0, 0x0001, 2);
    PutLe(b, 8, 263, 4);
    b[15] = 0xC0;
    return b;
}

Bytes PendPage()
{
    Bytes b(512, 0xFF);
    PutLe(b, 0, 0x00ABCDEF, 4);
    PutLe(b, 4, 0x00012345, 4);
    return b;
}

class AtaLogAnalyse : public ::testing::TestWithParam<AnalyseCase> {
protected:
    static void SetUpTestSuite() { DiskAnalyser::Init(); }
};

// Each log type reaches its own decoder; a refused length is user error 5.
TEST_P(AtaLogAnalyse, TypeReachesItsDecoder)
{
    const AnalyseCase& c = GetParam();
    const Bytes data = c.answer();
    std::string expected;
    if (c.type == TYPE_SMART_DEVICE_STATISTICS) {
        expected = "    Version              : 0001h\n"
                   "    Power-On Reset Times : 00000107h\n"
                   "    Counter Supported    : Yes\n";
    } else if (c.type == TYPE_SMART_PEND_LIST) {
        expected = "    LBA        PBA\n"
                   "    00ABCDEFh  00012345h\n";
    } else {
        expected = Golden(c.golden) + c.separator;
    }
    DiskInfo disk;
    int user_err = -1;
    std::string out;
    ASSERT_TRUE(DiskAnalyser::Analyse(out, c.type, data.data(), u32(data.size()), &user_err, 4, &disk));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, expected);

    out = "kept";
    EXPECT_FALSE(DiskAnalyser::Analyse(out, c.type, data.data(), 500, &user_err, 4, &disk));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, "kept");
}

INSTANTIATE_TEST_SUITE_P(
    Types, AtaLogAnalyse,
    ::testing::Values(AnalyseCase{TYPE_SMART_LOG_DIRECTORY, OneDirectory, "directory.txt", ""},
                      AnalyseCase{TYPE_SMART_SUMMARY_ERROR_LOG, OneErrorPage, "error_page_a.txt", ""},
                      AnalyseCase{TYPE_SMART_COMPREHENSIVE_ERR_LOG, OneErrorPage, "error_page_a.txt", "\n\n"},
                      AnalyseCase{TYPE_SMART_DEVICE_STATISTICS, StatisticsPage, nullptr, ""},
                      AnalyseCase{TYPE_SMART_SELF_TEST_LOG, OneSelfTestPage, "self_test_a.txt", ""},
                      AnalyseCase{TYPE_SMART_SELECTIVE_SELF_TEST_LOG, OneSelectivePage, "selective_a.txt", ""},
                      AnalyseCase{TYPE_SMART_PEND_LIST, PendPage, nullptr, ""}),
    CaseName());

} // namespace
