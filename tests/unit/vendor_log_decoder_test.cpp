#include <gtest/gtest.h>

#include "case_names.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "disk_analyser.h"
#include "hex_fixture.h"
#include "vendor_log_decoder.h"

namespace {

typedef std::vector<u8> Bytes;

std::string DataPath(const std::string& name) { return std::string(ZV_TEST_DATA_DIR) + "/vendor_log/" + name; }

std::string ReadText(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    EXPECT_TRUE(f.good()) << path;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

Bytes ReadBytes(const std::string& name)
{
    std::string s = ReadText(DataPath(name));
    return Bytes(s.begin(), s.end());
}

void WriteText(const std::string& path, const std::string& data)
{
    std::ofstream f(path, std::ios::binary);
    f << data;
}

void PutLe(u8* p, u64 v, u32 width)
{
    for (u32 i = 0; i < width; i++) {
        p[i] = u8(v >> (8 * i));
    }
}

// One 64-byte slot of each layout, fields at their stated offsets.
struct Slot86 {
    u64 tick;
    u32 pc;
    std::string name;     // at most 16 bytes, zero-padded
    u16 code;
    std::string content;  // at most 34 bytes, zero-padded
};

Bytes Encode(const Slot86& s)
{
    Bytes b(64, 0);
    PutLe(&b[0], s.tick, 8);
    PutLe(&b[8], s.pc, 4);
    memcpy(&b[12], s.name.data(), std::min<size_t>(s.name.size(), 16));
    PutLe(&b[28], s.code, 2);
    memcpy(&b[30], s.content.data(), std::min<size_t>(s.content.size(), 34));
    return b;
}

struct Slot21 {
    u32 pc;
    u32 tick;
    std::string name;
    u16 code;
    std::string content;  // at most 38 bytes
};

Bytes Encode(const Slot21& s)
{
    Bytes b(64, 0);
    PutLe(&b[0], s.pc, 4);
    PutLe(&b[4], s.tick, 4);
    memcpy(&b[8], s.name.data(), std::min<size_t>(s.name.size(), 16));
    PutLe(&b[24], s.code, 2);
    memcpy(&b[26], s.content.data(), std::min<size_t>(s.content.size(), 38));
    return b;
}

// A type-86 log is any number of slots; a type-21 log is padded with blank slots to whole sectors.
Bytes Log86(const std::vector<Slot86>& slots)
{
    Bytes b;
    for (const Slot86& s : slots) {
        Bytes e = Encode(s);
        b.insert(b.end(), e.begin(), e.end());
    }
    return b;
}

Bytes Log21(const std::vector<Slot21>& slots)
{
    Bytes b;
    for (const Slot21& s : slots) {
        Bytes e = Encode(s);
        b.insert(b.end(), e.begin(), e.end());
    }
    b.resize((b.size() + 511) / 512 * 512, 0xFF);
    return b;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream s(text);
    std::string line;
    while (std::getline(s, line)) {
        lines.push_back(line);
    }
    return lines;
}

// The rows below the two heading lines.
std::vector<std::string> Rows(const std::string& text)
{
    std::vector<std::string> lines = Lines(text);
    EXPECT_GE(lines.size(), 2u) << text;
    return lines.size() < 2 ? lines : std::vector<std::string>(lines.begin() + 2, lines.end());
}

// Content column of a row at indent 4: after the name field and its four blanks.
const size_t kContentAt86 = 4 + 4 + 5 + 20 + 6 + 5 + 4 + 20 + 4;
const size_t kContentAt21 = 4 + 12 + 4 + 12 + 4 + 5 + 4 + 24 + 4;

std::vector<std::string> Contents(const std::string& text, size_t at)
{
    std::vector<std::string> out;
    for (const std::string& row : Rows(text)) {
        out.push_back(row.size() < at ? "<short row>" : row.substr(at));
    }
    return out;
}

std::string Print86(const Bytes& data, const u32* options, u32 indent = 4)
{
    std::string out;
    EXPECT_TRUE(ParseReadCurrentLog(out, data.data(), u32(data.size()), indent, const_cast<u32*>(options)));
    return out;
}

std::string Print21(const Bytes& data, const u32* options, u32 indent = 4)
{
    std::string out;
    EXPECT_TRUE(ParseDeviceVendorLog(out, data.data(), u32(data.size()), indent, const_cast<u32*>(options)));
    return out;
}

// The time zone for the type-86 times, restored afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* tz)
    {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        if (had_) {
            old_ = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (had_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

// Runs each test in a fresh working directory (where "log_config.txt" is looked for), in UTC.
class VendorLogInDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(old_cwd_, sizeof(old_cwd_)), nullptr);
        char tmpl[] = "/tmp/zv_vlog_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(old_cwd_), 0);
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    void Config(const std::string& text) { WriteText(dir_ + "/log_config.txt", text); }

    ZoneGuard zone_{"UTC"};
    char old_cwd_[4096];
    std::string dir_;
};

// ---------------------------------------------------------------- content decoders

TEST(VendorLogDecoderTables, RowsInOrder)
{
    struct Row {
        u16 code;
        LogContentDecodeFun fun;
    };
    const Row main_rows[] = {
        {0x000C, DecodeCapacitanceTest},
        {0x0040, DecodeRawParam},
        {0x4000, DecodeVoltTempState},
    };
    const Row alt_rows[] = {
        {0x2010, DecodeCapacitanceTest}, {0x6021, DecodeRawParam}, {0x6022, DecodeRawParam},
        {0x6023, DecodeRawParam},        {0x6024, DecodeRawParam},
    };
    ASSERT_EQ(kLogContentDecoderNum, sizeof(main_rows) / sizeof(main_rows[0]));
    ASSERT_EQ(kLogContentDecoderAltNum, sizeof(alt_rows) / sizeof(alt_rows[0]));
    for (u32 i = 0; i < kLogContentDecoderNum; i++) {
        EXPECT_EQ(log_content_decoders[i].ErrCode, main_rows[i].code) << i;
        EXPECT_EQ(log_content_decoders[i].decoder, main_rows[i].fun) << i;
    }
    for (u32 i = 0; i < kLogContentDecoderAltNum; i++) {
        EXPECT_EQ(log_content_decoders_alt[i].ErrCode, alt_rows[i].code) << i;
        EXPECT_EQ(log_content_decoders_alt[i].decoder, alt_rows[i].fun) << i;
    }
}

struct DecoderCase {
    LogContentDecodeFun fun;
    Bytes content;  // the 34 or 38 content bytes (only the first 32 are ever read)
    std::string text;
};

void PrintTo(const DecoderCase& c, std::ostream* os) { *os << c.text.substr(0, 20); }

Bytes Content(std::initializer_list<std::pair<u32, u64>> words32, u8 fill = 0)
{
    Bytes b(38, fill);
    u32 at = 0;
    for (const auto& w : words32) {
        PutLe(&b[at], w.second, w.first);
        at += w.first;
    }
    return b;
}

Bytes Counting(u8 first)
{
    Bytes b(38);
    for (u32 i = 0; i < 38; i++) {
        b[i] = u8(first + i);
    }
    return b;
}

class ContentDecoder : public ::testing::TestWithParam<DecoderCase> {};

TEST_P(ContentDecoder, Text)
{
    const DecoderCase& c = GetParam();
    EXPECT_EQ(c.fun(c.content.data()), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentDecoder,
    ::testing::Values(
        // stored as start, mid, end time, then start, mid, end volt, capability; printed interleaved
        DecoderCase{DecodeCapacitanceTest,
                    Content({{4, 0x11111111}, {4, 0x22222222}, {4, 0x33333333}, {4, 0x44444444}, {4, 0x55555555},
                             {4, 0x66666666}, {4, 0x77777777}}),
                    "StartTime:11111111h  StartVolt:44444444h  MidTime:22222222h  MidVolt:55555555h  "
                    "EndTime:33333333h  EndVolt:66666666h  Capability:77777777h"},
        // little-endian words, eight digits with leading zeros
        DecoderCase{DecodeCapacitanceTest, Content({{4, 0x0A}, {4, 0xABCDEF01}, {4, 0}, {4, 0x100}}, 0x00),
                    "StartTime:0000000Ah  StartVolt:00000100h  MidTime:ABCDEF01h  MidVolt:00000000h  "
                    "EndTime:00000000h  EndVolt:00000000h  Capability:00000000h"},
        // 32 of the bytes, each followed by two blanks; bytes 32 to 37 are not shown
        DecoderCase{DecodeRawParam, Counting(0xE0),
                    "E0h  E1h  E2h  E3h  E4h  E5h  E6h  E7h  E8h  E9h  EAh  EBh  ECh  EDh  EEh  EFh  "
                    "F0h  F1h  F2h  F3h  F4h  F5h  F6h  F7h  F8h  F9h  FAh  FBh  FCh  FDh  FEh  FFh  "},
        DecoderCase{DecodeRawParam, Content({}),
                    "00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  "
                    "00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  00h  "},
        // temp is signed; the fields widen past their minimum widths
        DecoderCase{DecodeVoltTempState, Content({{2, 3300}, {2, u16(-12)}, {2, 7}}), "volt:3300  temp:-0012 state:0007"},
        DecoderCase{DecodeVoltTempState, Content({{2, 12}, {2, 25}, {2, 1}}), "volt:0012  temp:00025 state:0001"},
        DecoderCase{DecodeVoltTempState, Content({{2, 0xFFFF}, {2, 0x8000}, {2, 0xFFFF}}),
                    "volt:65535  temp:-32768 state:65535"},
        DecoderCase{DecodeVoltTempState, Content({{2, 0}, {2, 0x7FFF}, {2, 0}}), "volt:0000  temp:32767 state:0000"}),
    CaseName());

// ---------------------------------------------------------------- CutAtNewline

struct CutCase {
    std::string in;
    u32 len;
    std::string out;  // all the bytes afterwards
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << SpeltOut(c.in) << " len " << c.len; }

class CutAtNewlineCase : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutAtNewlineCase, ReplacesOnlyTheFirstNewlineWithinLen)
{
    const CutCase& c = GetParam();
    std::string buf = c.in;
    CutAtNewline(&buf[0], c.len);
    EXPECT_EQ(buf, c.out);
}

INSTANTIATE_TEST_SUITE_P(Cases, CutAtNewlineCase,
                         ::testing::Values(CutCase{"ab\ncd", 5, std::string("ab\0cd", 5)},
                                           CutCase{"a\nb\nc", 5, std::string("a\0b\nc", 5)},
                                           CutCase{"ab\ncd", 2, "ab\ncd"},  // the newline lies past len
                                           CutCase{"ab\ncd", 3, std::string("ab\0cd", 5)},
                                           CutCase{"abcde", 5, "abcde"},
                                           CutCase{"\nabc", 0, "\nabc"},
                                           CutCase{std::string("a\0\nb", 4), 4, std::string("a\0\0b", 4)}),
                         CaseName());

// ---------------------------------------------------------------- loading

struct LenCase {
    int kind;  // 86 or 21
    u32 len;
    bool accepted;
};

void PrintTo(const LenCase& c, std::ostream* os) { *os << c.kind << " len " << c.len; }

class LoaderLength : public ::testing::TestWithParam<LenCase> {};

// Every whole 64-byte record is taken, the part of one after them is not; less than one
// record is refused: the vector is cleared and the callback leaves the text untouched.
TEST_P(LoaderLength, TakesTheWholeRecords)
{
    const LenCase& c = GetParam();
    Bytes data(c.len + 1, 0x41);
    std::string out = "kept\n";
    if (c.kind == 86) {
        std::vector<ReadCurrentLogRecord> records(3);
        EXPECT_EQ(LoadReadCurrentLogRecords(records, data.data(), c.len, nullptr), c.accepted);
        EXPECT_EQ(records.size(), c.accepted ? c.len / 64 : 0u);
        EXPECT_EQ(ParseReadCurrentLog(out, data.data(), c.len, 4, nullptr), c.accepted);
    } else {
        std::vector<DeviceVendorLogRecord> records(3);
        EXPECT_EQ(LoadDeviceVendorLogRecords(records, data.data(), c.len, nullptr), c.accepted);
        EXPECT_EQ(records.size(), c.accepted ? c.len / 64 : 0u);
        EXPECT_EQ(ParseDeviceVendorLog(out, data.data(), c.len, 4, nullptr), c.accepted);
    }
    if (c.accepted) {
        EXPECT_EQ(Lines(out).size(), 3 + c.len / 64);
    } else {
        EXPECT_EQ(out, "kept\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoaderLength,
                         ::testing::Values(LenCase{86, 0, false}, LenCase{86, 1, false}, LenCase{86, 63, false},
                                           LenCase{86, 64, true}, LenCase{86, 65, true}, LenCase{86, 100, true},
                                           LenCase{86, 128, true}, LenCase{86, 202, true}, LenCase{86, 768, true},
                                           LenCase{21, 0, false}, LenCase{21, 63, false}, LenCase{21, 64, true},
                                           LenCase{21, 202, true}, LenCase{21, 448, true},
                                           LenCase{21, 511, true}, LenCase{21, 512, true},
                                           LenCase{21, 513, true}, LenCase{21, 576, true},
                                           LenCase{21, 1024, true}),
                         CaseName());

struct CutLogCase {
    int kind;  // 86 or 21
    u32 cut;   // bytes of the four-record answer that arrived
    size_t whole;  // the records before the cut
};

void PrintTo(const CutLogCase& c, std::ostream* os) { *os << c.kind << " cut at " << c.cut; }

class CutLog : public ::testing::TestWithParam<CutLogCase> {};

// An answer that ends inside a record shows the records before it, as an answer of only
// those records would, and nothing of the part that arrived.
TEST_P(CutLog, ShowsTheWholeRecordsBeforeTheCut)
{
    const CutLogCase& c = GetParam();
    const u32 options = 0x100;  // drive order, contents decoded
    std::string cut_text;
    std::string whole_text;
    if (c.kind == 86) {
        const std::vector<Slot86> slots = {{10, 1, "first", 0x4000, "\x01\x02"},
                                           {20, 2, "second", 0x0001, "two"},
                                           {30, 3, "third", 0x0001, "three"},
                                           {40, 4, "fourth", 0x0001, "four"}};
        const Bytes log = HeapPrefix(Log86(slots), c.cut);
        cut_text = Print86(log, &options);
        whole_text = Print86(Log86(std::vector<Slot86>(slots.begin(), slots.begin() + c.whole)), &options);
    } else {
        const std::vector<Slot21> slots = {{1, 10, "first", 0x4000, "\x01\x02"},
                                           {2, 20, "second", 0x0001, "two"},
                                           {3, 30, "third", 0x0001, "three"},
                                           {4, 40, "fourth", 0x0001, "four"}};
        Bytes all;
        for (const Slot21& s : slots) {
            const Bytes e = Encode(s);
            all.insert(all.end(), e.begin(), e.end());
        }
        const Bytes log = HeapPrefix(all, c.cut);
        cut_text = Print21(log, &options);
        whole_text = Print21(Log21(std::vector<Slot21>(slots.begin(), slots.begin() + c.whole)), &options);
    }
    EXPECT_EQ(Rows(cut_text).size(), c.whole) << cut_text;
    EXPECT_EQ(cut_text, whole_text);
    if (c.whole < 4) {
        EXPECT_EQ(cut_text.find("fourth"), std::string::npos) << cut_text;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CutLog,
                         ::testing::Values(CutLogCase{86, 202, 3}, CutLogCase{21, 202, 3}, CutLogCase{86, 192, 3},
                                           CutLogCase{21, 192, 3}, CutLogCase{86, 255, 3},
                                           CutLogCase{21, 255, 3}, CutLogCase{86, 64, 1},
                                           CutLogCase{21, 127, 1}, CutLogCase{86, 256, 4},
                                           CutLogCase{21, 256, 4}),
                         CaseName());

TEST(VendorLogLoader, NullDataIsRefused)
{
    std::vector<ReadCurrentLogRecord> r86(1);
    std::vector<DeviceVendorLogRecord> r21(1);
    EXPECT_FALSE(LoadReadCurrentLogRecords(r86, nullptr, 64, nullptr));
    EXPECT_FALSE(LoadDeviceVendorLogRecords(r21, nullptr, 512, nullptr));
    EXPECT_TRUE(r86.empty());
    EXPECT_TRUE(r21.empty());
    std::string out = "kept";
    u32 options = 0x101;
    EXPECT_FALSE(ParseReadCurrentLog(out, nullptr, 64, 4, &options));
    EXPECT_FALSE(ParseDeviceVendorLog(out, nullptr, 512, 4, &options));
    EXPECT_EQ(out, "kept");
}

struct BlankCase {
    std::vector<std::pair<u32, u8>> puts;  // over a slot of 64 bytes of fill
    u8 fill;
    bool kept;
};

void PrintTo(const BlankCase& c, std::ostream* os)
{
    *os << std::hex << "fill " << int(c.fill);
    for (const auto& p : c.puts) {
        *os << " byte " << p.first << " = " << int(p.second);
    }
}

class BlankSlot : public ::testing::TestWithParam<BlankCase> {};

// The same slot through both loaders: first in a type-86 log of its own, then in a
// type-21 sector whose other seven slots are erased.
TEST_P(BlankSlot, DroppedOrKept)
{
    const BlankCase& c = GetParam();
    Bytes slot(64, c.fill);
    for (const auto& p : c.puts) {
        slot[p.first] = p.second;
    }
    std::vector<ReadCurrentLogRecord> r86;
    ASSERT_TRUE(LoadReadCurrentLogRecords(r86, slot.data(), 64, nullptr));
    EXPECT_EQ(r86.size(), c.kept ? 1u : 0u);

    Bytes sector(512, 0xFF);
    std::copy(slot.begin(), slot.end(), sector.begin() + 192);
    std::vector<DeviceVendorLogRecord> r21;
    ASSERT_TRUE(LoadDeviceVendorLogRecords(r21, sector.data(), 512, nullptr));
    EXPECT_EQ(r21.size(), c.kept ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlankSlot,
    ::testing::Values(BlankCase{{}, 0xFF, false},                                     // erased
                      BlankCase{{{0, 0x12}, {1, 0x34}, {2, 0x00}, {3, 0x78}}, 0xFF, false},  // 4 bytes, then erased
                      BlankCase{{}, 0x00, false},                                     // never written
                      BlankCase{{{4, 0xFE}}, 0xFF, true},
                      BlankCase{{{63, 0x7F}}, 0xFF, true},
                      BlankCase{{{63, 0x01}}, 0x00, true},
                      BlankCase{{{0, 0x01}}, 0x00, true},
                      // bytes 0-3 erased, the rest zero: neither rule holds
                      BlankCase{{{0, 0xFF}, {1, 0xFF}, {2, 0xFF}, {3, 0xFF}}, 0x00, true}),
    CaseName());

// Every field is taken from its own offset, little-endian.
TEST(VendorLogLoader, FieldsAtTheirOffsets)
{
    Bytes slot(64);
    for (u32 i = 0; i < 64; i++) {
        slot[i] = u8(i + 1);
    }
    std::vector<ReadCurrentLogRecord> r86;
    ASSERT_TRUE(LoadReadCurrentLogRecords(r86, slot.data(), 64, nullptr));
    ASSERT_EQ(r86.size(), 1u);
    EXPECT_EQ(r86[0].TickCount, 0x0807060504030201ull);
    EXPECT_EQ(r86[0].PC, 0x0C0B0A09u);
    EXPECT_EQ(Bytes(r86[0].FunName, r86[0].FunName + 16), Bytes(slot.begin() + 12, slot.begin() + 28));
    EXPECT_EQ(r86[0].ErrCode, 0x1E1D);
    EXPECT_EQ(Bytes(r86[0].Content, r86[0].Content + 34), Bytes(slot.begin() + 30, slot.end()));

    Bytes sector(512, 0);
    std::copy(slot.begin(), slot.end(), sector.begin() + 448);
    std::vector<DeviceVendorLogRecord> r21;
    ASSERT_TRUE(LoadDeviceVendorLogRecords(r21, sector.data(), 512, nullptr));
    ASSERT_EQ(r21.size(), 1u);
    EXPECT_EQ(r21[0].PowerCount, 0x04030201u);
    EXPECT_EQ(r21[0].TickCount, 0x08070605u);
    EXPECT_EQ(Bytes(r21[0].FunName, r21[0].FunName + 16), Bytes(slot.begin() + 8, slot.begin() + 24));
    EXPECT_EQ(r21[0].ErrCode, 0x1A19);
    EXPECT_EQ(Bytes(r21[0].Content, r21[0].Content + 38), Bytes(slot.begin() + 26, slot.end()));
}

// Given a word, the loaders sort and de-duplicate by modes 1 to 6 only.
TEST(VendorLogLoader, OptionsSortModesOneToSix)
{
    const Slot86 late{50, 2, "late", 1, "x"};
    const Slot86 early{10, 1, "early", 1, "y"};
    const Bytes log86 = Log86({late, early, early});
    const Slot21 late21{2, 50, "late", 1, "x"};
    const Slot21 early21{1, 10, "early", 1, "y"};
    const Bytes log21 = Log21({late21, early21, early21});
    struct Case {
        u32 options;
        std::vector<u32> pcs;  // power counts in the loaded order
    };
    const Case cases[] = {
        {0x001, {1, 1, 2}}, {0x102, {1, 2}}, {0x005, {2, 1, 1}}, {0x006, {2, 1}},
        {0x007, {2, 1, 1}},  // mode 7 is left to the printer
        {0x000, {2, 1, 1}},
    };
    for (const Case& c : cases) {
        std::vector<ReadCurrentLogRecord> r86;
        ASSERT_TRUE(LoadReadCurrentLogRecords(r86, log86.data(), u32(log86.size()), &c.options));
        std::vector<u32> pcs;
        for (const ReadCurrentLogRecord& r : r86) {
            pcs.push_back(r.PC);
        }
        EXPECT_EQ(pcs, c.pcs) << "86, options " << c.options;

        std::vector<DeviceVendorLogRecord> r21;
        ASSERT_TRUE(LoadDeviceVendorLogRecords(r21, log21.data(), u32(log21.size()), &c.options));
        pcs.clear();
        for (const DeviceVendorLogRecord& r : r21) {
            pcs.push_back(r.PowerCount);
        }
        EXPECT_EQ(pcs, c.pcs) << "21, options " << c.options;
    }
    std::vector<ReadCurrentLogRecord> r86;
    ASSERT_TRUE(LoadReadCurrentLogRecords(r86, log86.data(), u32(log86.size()), nullptr));
    EXPECT_EQ(r86.size(), 3u);
    EXPECT_EQ(r86[0].PC, 2u);
}

// ---------------------------------------------------------------- whole texts

struct GoldenCase {
    int kind;
    const char* data;
    bool null_options;
    u32 options;
    bool config;  // "log_config.txt" in the working directory
    const char* golden;
};

void PrintTo(const GoldenCase& c, std::ostream* os)
{
    *os << c.kind << " " << c.golden;
    if (c.null_options) {
        *os << " no options";
    } else {
        *os << " options " << std::hex << c.options << "h";
    }
    *os << (c.config ? " with config" : "");
}

class VendorLogGolden : public VendorLogInDir, public ::testing::WithParamInterface<GoldenCase> {};

// The goldens were written from the record layouts and the fixtures' bytes at an indent of
// 4, in UTC. The callbacks append to what the text holds.
TEST_P(VendorLogGolden, TextByteForByte)
{
    const GoldenCase& c = GetParam();
    if (c.config) {
        Config(ReadText(DataPath("log_config.txt")));
    }
    const Bytes data = ReadBytes(c.data);
    u32 options = c.options;
    void* ctx = c.null_options ? nullptr : &options;
    std::string out = "before\n";
    if (c.kind == 86) {
        ASSERT_TRUE(ParseReadCurrentLog(out, data.data(), u32(data.size()), 4, ctx));
    } else {
        ASSERT_TRUE(ParseDeviceVendorLog(out, data.data(), u32(data.size()), 4, ctx));
    }
    EXPECT_EQ(out, "before\n" + ReadText(DataPath(c.golden)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VendorLogGolden,
    ::testing::Values(
        // sorted by power count and tick, contents decoded from the main table
        GoldenCase{21, "sata_log.bin", false, 0x101, false, "sata_sorted_decoded.out"},
        // renamed: one new name holds a '1', so the other table decodes
        GoldenCase{21, "sata_log.bin", false, 0x101, true, "sata_sorted_named.out"},
        GoldenCase{21, "sata_log.bin", false, 0x100, true, "sata_drive_order_named.out"},
        GoldenCase{21, "sata_log.bin", false, 0x100, false, "sata_drive_order_decoded.out"},
        // decode modes 0 and 2: no renaming, no decoding
        GoldenCase{21, "sata_log.bin", false, 0x201, true, "sata_sorted_raw.out"},
        GoldenCase{21, "sata_log.bin", false, 0x001, true, "sata_sorted_raw.out"},
        // mode 7 keeps the drive order of a type-21 log
        GoldenCase{21, "sata_log.bin", false, 0x207, true, "sata_raw.out"},
        // no word: drive order, raw contents, the name table not read
        GoldenCase{21, "sata_log.bin", true, 0, true, "sata_raw.out"},
        // by power count, tick and content, duplicates dropped; decoded only in mode 1
        GoldenCase{86, "sas_log.bin", false, 0x107, false, "sas_sorted_decoded.out"},
        GoldenCase{86, "sas_log.bin", false, 0x107, true, "sas_sorted_decoded.out"},  // never renamed
        GoldenCase{86, "sas_log.bin", false, 0x407, false, "sas_sorted_raw.out"},
        GoldenCase{86, "sas_log.bin", true, 0, false, "sas_raw.out"},
        GoldenCase{86, "sas_log.bin", false, 0x400, false, "sas_raw.out"}),
    CaseName());

// The same text at another indent: the first four blanks of every line replaced.
std::string Reindent(const std::string& text, u32 indent)
{
    const std::string in(indent < 20 ? indent : 20, ' ');
    std::string out;
    for (const std::string& line : Lines(text)) {
        EXPECT_EQ(line.substr(0, 4), "    ") << line;
        out += in + line.substr(4) + "\n";
    }
    return out;
}

TEST_F(VendorLogInDir, IndentIsClampedToTwenty)
{
    const Bytes sas = ReadBytes("sas_log.bin");
    const Bytes sata = ReadBytes("sata_log.bin");
    const std::string sas_text = ReadText(DataPath("sas_sorted_decoded.out"));
    const std::string sata_text = ReadText(DataPath("sata_sorted_decoded.out"));
    const u32 options = 0x107;
    const u32 options21 = 0x101;
    for (u32 indent : {0u, 1u, 19u, 20u, 21u, 25u, 1000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Print86(sas, &options, indent), Reindent(sas_text, indent)) << indent;
        EXPECT_EQ(Print21(sata, &options21, indent), Reindent(sata_text, indent)) << indent;
    }
}

// A log of blank slots only prints the two heading lines.
TEST(VendorLogPrint, AllBlankPrintsTheHeadingsOnly)
{
    const std::string heading86 = std::string("    Device Vendor Specific Log\n") + "    PC" + std::string(17, ' ') +
                                  "TickCount" + std::string(7, ' ') + "ErrCode" + std::string(8, ' ') + "FunName" +
                                  std::string(24, ' ') + "Content\n";
    const std::string heading21 = std::string("    Device Vendor Specific Log\n") + "    PowerCount" +
                                  std::string(6, ' ') + "TickCount" + std::string(7, ' ') + "ErrCode" +
                                  std::string(4, ' ') + "FunName" + std::string(24, ' ') + "Content\n";
    Bytes blank(1024, 0xFF);
    std::fill(blank.begin() + 512, blank.end(), 0x00);
    const u32 options = 0x101;
    EXPECT_EQ(Print86(blank, &options), heading86);
    EXPECT_EQ(Print21(blank, &options), heading21);
    EXPECT_EQ(Print86(blank, nullptr), heading86);
}

// ---------------------------------------------------------------- sorting and duplicates

struct SortCase {
    u32 mode;
    std::vector<std::string> contents86;
    std::vector<std::string> contents21;
};

void PrintTo(const SortCase& c, std::ostream* os) { *os << "mode " << c.mode; }

// Content is the record's mark; d repeats b exactly, g repeats f but for the high half of
// its tick. Names compare as unsigned bytes: "\xE9t" sorts last.
Bytes SortLog86()
{
    return Log86({
        {0x100000001ull, 2, "beta", 5, "p"},   // a
        {30, 1, "alpha", 7, "m"},              // b
        {3, 2, "\xE9t", 5, "q"},               // c
        {30, 1, "alpha", 7, "m"},              // d
        {30, 1, "Alpha", 2, "k"},              // e
        {1, 2, "beta", 5, "r"},                // f
        {0x200000001ull, 2, "beta", 5, "r"},   // g
    });
}

// The tick 0xFFFFFFFF, the power count 80000000h and the code 8000h all compare unsigned.
Bytes SortLog21()
{
    return Log21({
        {2, 1, "beta", 5, "p"},                // a
        {1, 30, "alpha", 7, "m"},              // b
        {2, 0xFFFFFFFF, "\xE9t", 5, "q"},      // c
        {1, 30, "alpha", 7, "m"},              // d
        {1, 30, "Alpha", 2, "k"},              // e
        {0x80000000u, 0, "beta", 0x8000, "r"}, // f
    });
}

class SortMode : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortMode, OrderAndDuplicates)
{
    const SortCase& c = GetParam();
    const u32 options = 0x200 | c.mode;  // no decoding: the marks show
    EXPECT_EQ(Contents(Print86(SortLog86(), &options), kContentAt86), c.contents86);
    EXPECT_EQ(Contents(Print21(SortLog21(), &options), kContentAt21), c.contents21);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SortMode,
    ::testing::Values(
        SortCase{0, {"p", "m", "q", "m", "k", "r", "r"}, {"p", "m", "q", "m", "k", "r"}},
        // power count, then the tick (86: its low 32 bits), stable
        SortCase{1, {"m", "m", "k", "p", "r", "r", "q"}, {"m", "m", "k", "p", "q", "r"}},
        SortCase{2, {"m", "k", "p", "r", "r", "q"}, {"m", "k", "p", "q", "r"}},
        SortCase{3, {"k", "m", "m", "p", "r", "r", "q"}, {"k", "m", "m", "p", "r", "q"}},
        SortCase{4, {"k", "m", "p", "r", "r", "q"}, {"k", "m", "p", "r", "q"}},
        SortCase{5, {"k", "p", "q", "r", "r", "m", "m"}, {"k", "p", "q", "m", "m", "r"}},
        SortCase{6, {"k", "p", "q", "r", "r", "m"}, {"k", "p", "q", "m", "r"}},
        // 86: time, then content, duplicates dropped; 21: drive order with its duplicates
        SortCase{7, {"k", "m", "p", "r", "r", "q"}, {"p", "m", "q", "m", "k", "r"}},
        SortCase{8, {"p", "m", "q", "m", "k", "r", "r"}, {"p", "m", "q", "m", "k", "r"}},
        SortCase{255, {"p", "m", "q", "m", "k", "r", "r"}, {"p", "m", "q", "m", "k", "r"}}),
    CaseName());

// Two records, the second a copy of the first with one change; rows printed per mode 0-7.
struct DupCase {
    const char* what;
    int kind;
    std::vector<size_t> rows;  // modes 0 to 7
};

void PrintTo(const DupCase& c, std::ostream* os) { *os << c.kind << " " << c.what; }

Bytes DupPair(const DupCase& c)
{
    Slot86 a86{1000, 3, "abcdefghijklmnop", 0x0102, std::string("same\0", 5) + std::string(29, 'c')};
    Slot21 a21{3, 1000, "abcdefghijklmnop", 0x0102, std::string("same\0", 5) + std::string(33, 'c')};
    Slot86 b86 = a86;
    Slot21 b21 = a21;
    const std::string w = c.what;
    if (w == "name byte 8") {
        b86.name[8] = b21.name[8] = 'X';
    } else if (w == "name byte 15") {
        b86.name[15] = b21.name[15] = 'X';
    } else if (w == "name byte 7") {
        b86.name[7] = b21.name[7] = 'X';
    } else if (w == "last content byte") {
        b86.content[33] = b21.content[37] = 'X';
    } else if (w == "tick high half") {
        b86.tick += 1ull << 32;
    } else if (w == "tick") {
        b86.tick += 1;
        b21.tick += 1;
    } else if (w == "power count") {
        b86.pc += 1;
        b21.pc += 1;
    } else if (w == "code") {
        b86.code += 1;
        b21.code += 1;
    }
    return c.kind == 86 ? Log86({a86, b86}) : Log21({a21, b21});
}

class Duplicates : public ::testing::TestWithParam<DupCase> {};

TEST_P(Duplicates, RowsPerMode)
{
    const DupCase& c = GetParam();
    const Bytes data = DupPair(c);
    for (u32 mode = 0; mode < 8; mode++) {
        const u32 options = 0x200 | mode;
        const std::string text = c.kind == 86 ? Print86(data, &options) : Print21(data, &options);
        EXPECT_EQ(Rows(text).size(), c.rows[mode]) << "mode " << mode;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Duplicates,
    ::testing::Values(
        DupCase{"nothing", 86, {2, 2, 1, 2, 1, 2, 1, 1}}, DupCase{"nothing", 21, {2, 2, 1, 2, 1, 2, 1, 2}},
        // only the first 8 name bytes count
        DupCase{"name byte 8", 86, {2, 2, 1, 2, 1, 2, 1, 1}}, DupCase{"name byte 8", 21, {2, 2, 1, 2, 1, 2, 1, 2}},
        DupCase{"name byte 15", 86, {2, 2, 1, 2, 1, 2, 1, 1}},
        DupCase{"name byte 15", 21, {2, 2, 1, 2, 1, 2, 1, 2}},
        DupCase{"name byte 7", 86, {2, 2, 2, 2, 2, 2, 2, 2}}, DupCase{"name byte 7", 21, {2, 2, 2, 2, 2, 2, 2, 2}},
        // every content byte counts, also behind a zero byte
        DupCase{"last content byte", 86, {2, 2, 2, 2, 2, 2, 2, 2}},
        DupCase{"last content byte", 21, {2, 2, 2, 2, 2, 2, 2, 2}},
        // the whole 64-bit tick counts, though only its low half sorts
        DupCase{"tick high half", 86, {2, 2, 2, 2, 2, 2, 2, 2}}, DupCase{"tick", 86, {2, 2, 2, 2, 2, 2, 2, 2}},
        DupCase{"tick", 21, {2, 2, 2, 2, 2, 2, 2, 2}}, DupCase{"power count", 86, {2, 2, 2, 2, 2, 2, 2, 2}},
        DupCase{"power count", 21, {2, 2, 2, 2, 2, 2, 2, 2}}, DupCase{"code", 86, {2, 2, 2, 2, 2, 2, 2, 2}},
        DupCase{"code", 21, {2, 2, 2, 2, 2, 2, 2, 2}}),
    CaseName());

// On a log long enough for an unstable sort to show, records of an equal key keep their
// drive order in every sort mode; each record's content is its index.
TEST(VendorLogPrint, SortsAreStableOnLongLogs)
{
    const u32 n = 400;
    std::vector<Slot86> s86;
    std::vector<Slot21> s21;
    for (u32 i = 0; i < n; i++) {
        // every key takes three values; ticks of whole seconds
        const std::string name(1, char('a' + (i * 7) % 3));
        const std::string mark = std::to_string(1000 + i);
        s86.push_back({((i * 11) % 3) * 10ull, (i * 5) % 3, name, u16((i * 13) % 3), mark});
        s21.push_back({(i * 5) % 3, (i * 11) % 3, name, u16((i * 13) % 3), mark});
    }
    auto key = [&](int kind, u32 mode, u32 i) -> u64 {
        const u64 pc = kind == 86 ? s86[i].pc : s21[i].pc;
        const u64 tick = kind == 86 ? s86[i].tick : s21[i].tick;
        if (mode == 3) {
            return u8(s86[i].name[0]);
        }
        if (mode == 5) {
            return s86[i].code;
        }
        return pc << 32 | tick;
    };
    for (int kind : {86, 21}) {
        for (u32 mode : {1u, 3u, 5u}) {
            const u32 options = 0x200 | mode;
            const std::vector<std::string> marks = kind == 86 ? Contents(Print86(Log86(s86), &options), kContentAt86)
                                                              : Contents(Print21(Log21(s21), &options), kContentAt21);
            ASSERT_EQ(marks.size(), n);
            for (size_t r = 1; r < n; r++) {
                const u32 prev = u32(std::stoul(marks[r - 1]) - 1000);
                const u32 cur = u32(std::stoul(marks[r]) - 1000);
                ASSERT_LE(key(kind, mode, prev), key(kind, mode, cur)) << kind << " mode " << mode << " row " << r;
                if (key(kind, mode, prev) == key(kind, mode, cur)) {
                    EXPECT_LT(prev, cur) << kind << " mode " << mode << " row " << r;
                }
            }
        }
    }
}

// Only adjacent duplicates go: a record of the same code between them keeps both in mode 6.
TEST(VendorLogPrint, OnlyAdjacentDuplicatesAreDropped)
{
    const Slot21 x{1, 10, "same", 9, "x"};
    const Slot21 between{5, 10, "other", 9, "y"};
    const Bytes log = Log21({x, between, x});
    const u32 by_code = 0x206;
    const u32 by_time = 0x202;
    EXPECT_EQ(Contents(Print21(log, &by_code), kContentAt21), (std::vector<std::string>{"x", "y", "x"}));
    EXPECT_EQ(Contents(Print21(log, &by_time), kContentAt21), (std::vector<std::string>{"x", "y"}));
}

// The printers sort, shorten and rename the caller's vector itself.
TEST_F(VendorLogInDir, PrinterChangesTheCallersRecords)
{
    Config("ENUM_RENAMED \"old\"\n");
    const Bytes log = Log21({{2, 0, "old", 1, "a"}, {1, 0, "keep", 1, "b"}, {1, 0, "keep", 1, "b"}});
    std::vector<DeviceVendorLogRecord> records;
    ASSERT_TRUE(LoadDeviceVendorLogRecords(records, log.data(), u32(log.size()), nullptr));
    ASSERT_EQ(records.size(), 3u);
    std::string out;
    const u32 options = 0x102;
    EXPECT_TRUE(PrintDeviceVendorLog(out, records, 4, &options));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].PowerCount, 1u);
    EXPECT_EQ(std::string(records[1].FunName, 16), std::string("RENAMED\0\0\0\0\0\0\0\0\0", 16));

    std::vector<ReadCurrentLogRecord> r86;
    const Bytes log86 = Log86({{0, 2, "b", 1, "a"}, {0, 1, "a", 1, "b"}, {0, 1, "a", 1, "b"}});
    ASSERT_TRUE(LoadReadCurrentLogRecords(r86, log86.data(), u32(log86.size()), nullptr));
    const u32 options86 = 0x207;
    EXPECT_TRUE(PrintReadCurrentLog(out, r86, 4, &options86));
    ASSERT_EQ(r86.size(), 2u);
    EXPECT_EQ(r86[0].PC, 1u);
}

// ---------------------------------------------------------------- fields of a row

struct TimeCase {
    const char* tz;
    u64 tick;
    const char* text;
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.tz << " " << c.tick; }

class TimeText : public ::testing::TestWithParam<TimeCase> {};

// The tick in tenths of a second, its seconds cut to 32 bits, in local time as asctime writes it.
TEST_P(TimeText, LocalTimeOfTheTick)
{
    const TimeCase& c = GetParam();
    ZoneGuard zone(c.tz);
    const Bytes log = Log86({{c.tick, 7, "f", 1, "c"}});
    const std::vector<std::string> rows = Rows(Print86(log, nullptr));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], std::string("       7     ") + c.text + "      0001h                       f    c");
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeText,
                         ::testing::Values(TimeCase{"UTC", 0, "Jan  1 00:00:00 1970"},
                                           TimeCase{"UTC", 9, "Jan  1 00:00:00 1970"},
                                           TimeCase{"UTC", 10, "Jan  1 00:00:01 1970"},
                                           TimeCase{"UTC-8", 0, "Jan  1 08:00:00 1970"},
                                           TimeCase{"UTC+5", 36000, "Dec 31 20:00:00 1969"},
                                           TimeCase{"UTC", 17000000000ull, "Nov 14 22:13:20 2023"},
                                           TimeCase{"UTC", 0xFFFFFFFFull * 10, "Feb  7 06:28:15 2106"},
                                           // only the low 32 bits of the seconds
                                           TimeCase{"UTC", ((1ull << 32) + 5) * 10, "Jan  1 00:00:05 1970"},
                                           TimeCase{"UTC", ~0ull, "Aug 30 03:52:57 2051"}),
                         CaseName());

struct RowCase {
    std::string name;     // the 16 FunName bytes (shorter: zero-padded)
    std::string content;  // the content bytes
    std::string name_text;
    std::string content_text;
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << SpeltOut(c.name); }

class RowFields : public ::testing::TestWithParam<RowCase> {};

// Names right-aligned in their column, both cut at a newline; a name without a zero byte
// prints all 16 characters, contents without one all of theirs.
TEST_P(RowFields, NameAndContentText)
{
    const RowCase& c = GetParam();
    ZoneGuard zone("UTC");
    const std::string pad86 = std::string(20 - c.name_text.size(), ' ');
    const std::string pad21 = std::string(24 - c.name_text.size(), ' ');
    const Bytes log86 = Log86({{0, 1, c.name, 0x0040, c.content.substr(0, 34)}});
    EXPECT_EQ(Rows(Print86(log86, nullptr)),
              std::vector<std::string>{"       1     Jan  1 00:00:00 1970      0040h    " + pad86 + c.name_text +
                                       "    " + c.content_text.substr(0, 34)});
    const Bytes log21 = Log21({{1, 2, c.name, 0x0040, c.content}});
    EXPECT_EQ(Rows(Print21(log21, nullptr)),
              std::vector<std::string>{"               1               2    0040h    " + pad21 + c.name_text + "    " +
                                       c.content_text});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowFields,
    ::testing::Values(RowCase{"abcdefghijklmnop", std::string(38, 'z'), "abcdefghijklmnop", std::string(38, 'z')},
                      RowCase{"ab\ncd", "line one\nline two", "ab", "line one"},
                      RowCase{"\nab", "\ntext", "", ""},
                      RowCase{std::string("ab\0cd", 5), std::string("x\0y", 3), "ab", "x"},
                      RowCase{"%s%n", "%s%n%d", "%s%n", "%s%n%d"}),
    CaseName());

TEST(VendorLogPrint, NumbersAtTheirWidths)
{
    ZoneGuard zone("UTC");
    const Bytes log86 = Log86({{0, 0xFFFFFFFF, "n", 0xABCD, "c"}, {0, 0, "n", 0x000A, "c"}});
    EXPECT_EQ(Rows(Print86(log86, nullptr)),
              (std::vector<std::string>{
                  "    4294967295     Jan  1 00:00:00 1970      ABCDh                       n    c",
                  "       0     Jan  1 00:00:00 1970      000Ah                       n    c"}));
    const Bytes log21 = Log21({{0xFFFFFFFF, 0xFFFFFFFF, "n", 0xABCD, "c"}, {0, 0, "n", 0x000A, "c"}});
    EXPECT_EQ(Rows(Print21(log21, nullptr)),
              (std::vector<std::string>{
                  "      4294967295      4294967295    ABCDh                           n    c",
                  "               0               0    000Ah                           n    c"}));
}

// ---------------------------------------------------------------- which decoder table

const std::string kCapContent = [] {
    Bytes b = Content({{4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}, {4, 7}});
    return std::string(b.begin(), b.end());
}();
const char kCapText[] = "StartTime:00000001h  StartVolt:00000004h  MidTime:00000002h  MidVolt:00000005h  "
                        "EndTime:00000003h  EndVolt:00000006h  Capability:00000007h";
// As text: the first content byte, up to the zero behind it.
const char kCapRaw[] = "\x01";

struct TableCase {
    int kind;
    std::string other_name;  // the name of a record that comes with the two below
    bool null_options;
    u32 options;
    const char* text_000c;  // what a 000Ch and a 2010h record with kCapContent show
    const char* text_2010;
};

void PrintTo(const TableCase& c, std::ostream* os)
{
    *os << c.kind << " " << SpeltOut(c.other_name);
    if (c.null_options) {
        *os << " no options";
    } else {
        *os << " options " << std::hex << c.options << "h";
    }
}

class DecoderChoice : public ::testing::TestWithParam<TableCase> {};

TEST_P(DecoderChoice, ContentOfEachCode)
{
    const TableCase& c = GetParam();
    u32 options = c.options;
    const u32* opt = c.null_options ? nullptr : &options;
    std::vector<std::string> contents;
    if (c.kind == 86) {
        const Bytes log = Log86({{0, 1, "cap", 0x000C, kCapContent.substr(0, 34)},
                                 {0, 2, "cap", 0x2010, kCapContent.substr(0, 34)},
                                 {0, 3, c.other_name, 0x0007, "plain"}});
        contents = Contents(Print86(log, opt), kContentAt86);
    } else {
        const Bytes log = Log21({{1, 0, "cap", 0x000C, kCapContent},
                                 {2, 0, "cap", 0x2010, kCapContent},
                                 {3, 0, c.other_name, 0x0007, "plain"}});
        contents = Contents(Print21(log, opt), kContentAt21);
    }
    EXPECT_EQ(contents, (std::vector<std::string>{c.text_000c, c.text_2010, "plain"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecoderChoice,
    ::testing::Values(
        TableCase{21, "task", false, 0x101, kCapText, kCapRaw},
        // a '0' or a '1' anywhere in a name of the log picks the other table
        TableCase{21, "task1", false, 0x101, kCapRaw, kCapText},
        TableCase{21, "0task", false, 0x101, kCapRaw, kCapText},
        TableCase{21, "abcdefghijklmno1", false, 0x101, kCapRaw, kCapText},
        // the whole name counts, past a newline, but not past its zero byte
        TableCase{21, "ab\n1", false, 0x101, kCapRaw, kCapText},
        TableCase{21, std::string("ab\0" "1", 4), false, 0x101, kCapText, kCapRaw},
        // the type-86 log always decodes from the main table
        TableCase{86, "task1", false, 0x101, kCapText, kCapRaw},
        TableCase{86, "task", false, 0x107, kCapText, kCapRaw},
        // decode modes other than 1, or no word: contents as text
        TableCase{21, "task", false, 0x001, kCapRaw, kCapRaw},
        TableCase{21, "task", false, 0x201, kCapRaw, kCapRaw},
        TableCase{21, "task", false, 0x10101, kCapText, kCapRaw},  // bits 16-31 are not read
        TableCase{21, "task", true, 0, kCapRaw, kCapRaw},
        TableCase{86, "task", false, 0x007, kCapRaw, kCapRaw},
        TableCase{86, "task", true, 0, kCapRaw, kCapRaw}),
    CaseName());

// The alternative table decodes its four raw-parameter codes; the main table's 0040h and
// 4000h rows then show their text.
TEST(VendorLogPrint, AlternativeTableRows)
{
    Bytes raw = Counting(0x41);
    const std::string content(raw.begin(), raw.end());
    const std::string hex = "41h  42h  43h  44h  45h  46h  47h  48h  49h  4Ah  4Bh  4Ch  4Dh  4Eh  4Fh  50h  "
                            "51h  52h  53h  54h  55h  56h  57h  58h  59h  5Ah  5Bh  5Ch  5Dh  5Eh  5Fh  60h  ";
    const std::string text = content;  // no zero byte and no newline: all 38 bytes
    const Bytes log = Log21({{1, 0, "t1", 0x6021, content}, {2, 0, "t", 0x6022, content},
                             {3, 0, "t", 0x6023, content}, {4, 0, "t", 0x6024, content},
                             {5, 0, "t", 0x6025, content}, {6, 0, "t", 0x0040, content},
                             {7, 0, "t", 0x4000, content}});
    const u32 options = 0x101;
    EXPECT_EQ(Contents(Print21(log, &options), kContentAt21),
              (std::vector<std::string>{hex, hex, hex, hex, text, text, text}));
}

// ---------------------------------------------------------------- the name table

struct LineCase {
    std::string line;
    bool adds;
    std::string text;
    std::string name;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.line.substr(0, 40) << " of " << c.line.size(); }

class ConfigLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ConfigLine, Pair)
{
    const LineCase& c = GetParam();
    LogNameEntry e{"untouched", "untouched"};
    EXPECT_EQ(ParseLogConfigLine(c.line.c_str(), &e), c.adds);
    if (c.adds) {
        EXPECT_EQ(e.text, c.text);
        EXPECT_EQ(e.name, c.name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigLine,
    ::testing::Values(LineCase{"ENUM_ABC \"abc\"\n", true, "abc", "ABC"},
                      LineCase{"    ENUM_GC_TASK = \"ftl_gc\",   // comment\n", true, "ftl_gc", "GC_TASK"},
                      LineCase{"#define ENUM_X \"x\"", true, "x", "X"},  // no line end
                      // between the first and the last quote, quotes inside included
                      LineCase{"ENUM_Q \"say \"hi\" now\"\n", true, "say \"hi\" now", "Q"},
                      LineCase{"ENUM_ \"empty name\"\n", true, "empty name", ""},
                      LineCase{"xENUM_A ENUM_B \"t\"\n", true, "t", "A"},
                      // without a blank the name stops at the quote
                      LineCase{"ENUM_TIGHT\"t\"\n", true, "t", "TIGHT"},
                      LineCase{"ENUM_A\tB \"t\"\n", true, "t", "A\tB"},
                      LineCase{"ENUM_A \"a\"\"\n", true, "a\"", "A"},
                      LineCase{"\"a\"\n", false, "", ""},  // three characters, no ENUM_
                      LineCase{"\"\"\n", false, "", ""},   // nothing between the quotes
                      LineCase{"ab", false, "", ""},
                      LineCase{"", false, "", ""},
                      LineCase{"ENUM_A \"\"\n", false, "", ""},  // nothing between the quotes
                      LineCase{"ENUM_A \"abc\n", false, "", ""},  // one quote
                      LineCase{"ENUM_A abc\n", false, "", ""},
                      LineCase{"\"abc\" ENUM_LATE\n", false, "", ""},  // ENUM_ after the first quote
                      LineCase{"ENUM \"abc\"\n", false, "", ""},
                      LineCase{"enum_a \"abc\"\n", false, "", ""}),
    CaseName());

TEST_F(VendorLogInDir, NameTableFromTheFile)
{
    // A line longer than the buffer comes in pieces of 1023 characters, each a line of its own.
    const std::string long_head(1023, 'x');
    Config("ENUM_ONE \"one\"\n"
           "\n"
           "ENUM_BAD \"bad\n" +
           long_head + "ENUM_TAIL \"tail\"\n" + std::string("ENUM_NUL \"a\0b\"\n", 15) + "ENUM_LAST \"last\"");
    const std::vector<LogNameEntry> table = LoadLogNameTable("log_config.txt");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].text, "one");
    EXPECT_EQ(table[0].name, "ONE");
    EXPECT_EQ(table[1].text, "tail");
    EXPECT_EQ(table[1].name, "TAIL");
    // the line with a zero byte ends there for the reader: one quote, nothing added
    EXPECT_EQ(table[2].text, "last");
    EXPECT_EQ(table[2].name, "LAST");

    EXPECT_TRUE(LoadLogNameTable("missing.txt").empty());
    ASSERT_EQ(mkdir("dir.txt", 0755), 0);
    EXPECT_TRUE(LoadLogNameTable("dir.txt").empty());
}

// The table is read from a regular file of at most kLogConfigMaxBytes; a longer one is no
// table at all, even when its first line holds a pair.
TEST_F(VendorLogInDir, NameTableSizeBound)
{
    struct Case {
        long size;
        size_t entries;
    };
    const Case cases[] = {{kLogConfigMaxBytes, 1}, {kLogConfigMaxBytes + 1, 0}};
    for (const Case& c : cases) {
        Config("ENUM_ONE \"one\"\n");
        // The rest reads as zero bytes: pieces that add nothing.
        ASSERT_EQ(truncate("log_config.txt", c.size), 0);
        std::string text;
        EXPECT_EQ(ReadLogConfigFile("log_config.txt", &text), c.entries > 0) << c.size;
        EXPECT_EQ(static_cast<long>(text.size()), c.entries > 0 ? c.size : 0) << c.size;
        const std::vector<LogNameEntry> table = LoadLogNameTable("log_config.txt");
        ASSERT_EQ(table.size(), c.entries) << c.size;
        if (c.entries > 0) {
            EXPECT_EQ(table[0].name, "ONE");
        }
    }
}

TEST(VendorLogNames, ApplyTable)
{
    const std::vector<LogNameEntry> table = {
        {"abc", "FIRST"},
        {"abc", "SECOND"},                          // a later pair of the same text is not used
        {"long", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},     // cut to 16
        {"abcdefghijklmnop", "FULL"},               // a 16-character name matches
        {"", "EMPTY"},                              // a name that reads empty
        {"x", ""},                                  // an empty NAME clears the field
        {"abcdefghijklmnopq", "NEVER"},             // longer than any name
    };
    const Bytes log = Log21({{0, 0, "abc", 1, "1"},
                             {0, 0, "abc\nrest", 1, "2"},
                             {0, 0, "long", 1, "3"},
                             {0, 0, "abcdefghijklmnop", 1, "4"},
                             {0, 0, "\nhidden", 1, "5"},
                             {0, 0, "x", 1, "6"},
                             {0, 0, "abcd", 1, "7"}});
    std::vector<DeviceVendorLogRecord> records;
    ASSERT_TRUE(LoadDeviceVendorLogRecords(records, log.data(), u32(log.size()), nullptr));
    ApplyLogNameTable(table, records);
    ASSERT_EQ(records.size(), 7u);
    auto name = [&](size_t i) { return std::string(records[i].FunName, 16); };
    EXPECT_EQ(name(0), std::string("FIRST\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(name(1), std::string("FIRST\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(name(2), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(name(3), std::string("FULL\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(name(4), std::string("EMPTY\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(name(5), std::string(16, '\0'));
    EXPECT_EQ(name(6), std::string("abcd\0\0\0\0\0\0\0\0\0\0\0\0", 16));
}

// Renaming comes before the choice of table: a '1' renamed away no longer counts, and one
// brought in by a NAME does.
TEST_F(VendorLogInDir, RenamedNamesChooseTheTable)
{
    const Bytes log = Log21({{1, 0, "cap", 0x000C, kCapContent}, {2, 0, "task1", 0x0007, "plain"}});
    const u32 options = 0x101;
    EXPECT_EQ(Contents(Print21(log, &options), kContentAt21), (std::vector<std::string>{kCapRaw, "plain"}));
    Config("ENUM_TASK \"task1\"\n");
    std::string text = Print21(log, &options);
    EXPECT_EQ(Contents(text, kContentAt21), (std::vector<std::string>{kCapText, "plain"}));
    EXPECT_NE(Rows(text)[1].find("    TASK    plain"), std::string::npos) << text;

    const Bytes plain = Log21({{1, 0, "cap", 0x000C, kCapContent}});
    Config("ENUM_CAP1 \"cap\"\n");
    EXPECT_EQ(Contents(Print21(plain, &options), kContentAt21), (std::vector<std::string>{kCapRaw}));
}

// The renaming happens before sorting: names sort as renamed.
TEST_F(VendorLogInDir, RenamedBeforeSorting)
{
    Config("ENUM_AAA \"zzz\"\n");
    const Bytes log = Log21({{1, 0, "mmm", 1, "m"}, {1, 0, "zzz", 1, "z"}});
    const u32 by_name = 0x103;
    EXPECT_EQ(Contents(Print21(log, &by_name), kContentAt21), (std::vector<std::string>{"z", "m"}));
}

// Whatever the file holds, the text is the text without renaming.
TEST_F(VendorLogInDir, HostileConfigFiles)
{
    const Bytes data = ReadBytes("sata_log.bin");
    const u32 options = 0x101;
    const std::string expected = ReadText(DataPath("sata_sorted_decoded.out"));
    std::string binary;
    for (u32 i = 0; i < 70000; i++) {
        binary += char((i * 131 + 7) & 0xFF);
    }
    const std::string files[] = {
        binary,
        std::string(5000, '"'),
        "ENUM_" + std::string(4000, 'A') + " \"nomatch\"\n",
        "ENUM_X \"" + std::string(3000, 'q') + "\"\n",
        std::string(3000, '\n'),
        std::string("ENUM_X \"ftl_gc\0\"\n", 17),
        "ENUM_\"\"\"\n",
    };
    for (const std::string& f : files) {
        Config(f);
        EXPECT_EQ(Print21(data, &options), expected) << f.substr(0, 40);
    }
}

// ---------------------------------------------------------------- through the analyser

class VendorLogAnalyse : public VendorLogInDir {
protected:
    static void SetUpTestSuite() { DiskAnalyser::Init(); }
};

TEST_F(VendorLogAnalyse, DispatchByType)
{
    const Bytes sata = ReadBytes("sata_log.bin");
    const Bytes sas = ReadBytes("sas_log.bin");
    u32 options21 = 0x101;
    u32 options86 = 0x107;
    int user_err = -1;
    std::string out = "head\n";
    ASSERT_TRUE(DiskAnalyser::Analyse(out, CMND_TYPE(21), sata.data(), u32(sata.size()), &user_err, 4, &options21));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, "head\n" + ReadText(DataPath("sata_sorted_decoded.out")));

    out = "head\n";
    ASSERT_TRUE(DiskAnalyser::Analyse(out, CMND_TYPE(86), sas.data(), u32(sas.size()), &user_err, 4, &options86));
    EXPECT_EQ(user_err, 0);
    EXPECT_EQ(out, "head\n" + ReadText(DataPath("sas_sorted_decoded.out")));

    // less than one whole record is no log for either type
    out = "head\n";
    EXPECT_FALSE(DiskAnalyser::Analyse(out, CMND_TYPE(21), sata.data(), 63, &user_err, 4, &options21));
    EXPECT_EQ(user_err, 5);
    EXPECT_FALSE(DiskAnalyser::Analyse(out, CMND_TYPE(86), sas.data(), 63, &user_err, 4, &options86));
    EXPECT_EQ(user_err, 5);
    EXPECT_EQ(out, "head\n");
}

} // namespace
