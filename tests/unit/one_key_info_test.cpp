// The one-key item table, the offline parser on good and hostile files (built here:
// plain form, compressed, masked), and a collection on the emulated SATA drive read
// back by the parser. Decoders are replaced by recording stand-ins, so what the parser
// hands them (data, indent, context) is checked, not their texts.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "one_key_file.h"
#include "emu_api.h"
#include "test_init.h"

#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "file_compressor.h"
#include "front_state.h"
#include "one_key_info.h"
#include "settings.h"

#include <fcntl.h>

namespace {

typedef std::vector<u8> Bytes;

std::string DataPath(const std::string& rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

Bytes ReadPath(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string s = ss.str();
    return Bytes(s.begin(), s.end());
}

void WritePath(const std::string& path, const Bytes& data)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes Fill(size_t n, u8 b) { return Bytes(n, b); }

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The identify fixture with another model string (ATA byte order), checksum renewed.
Bytes IdentifyWithModel(const std::string& model)
{
    Bytes id = ReadPath(DataPath("one_key/identify.bin"));
    std::string m = model;
    m.resize(40, ' ');
    for (size_t i = 0; i < 40; i += 2) {
        id[54 + i] = static_cast<u8>(m[i + 1]);
        id[54 + i + 1] = static_cast<u8>(m[i]);
    }
    unsigned sum = 0;
    for (size_t i = 0; i < 511; i++) {
        sum += id[i];
    }
    id[511] = static_cast<u8>(0x100 - (sum & 0xFF));
    return id;
}

// ---------------------------------------------------------------- the item table

TEST(OneKeyInfoList, RowsInCollectionOrder)
{
    struct Row {
        u32 type;
        const char* name;
    };
    const Row rows[] = {
        {0, "identify"},      {2, "smt_enable"}, {4, "smt_value"},    {5, "smt_thres"},
        {21, "vendor_log"},   {45, "all_vendor_log"}, {35, "flag"},   {23, "blank_block"},
        {22, "system_index"}, {32, "bad_block"}, {31, "wear_level"},  {18, "smt_pendlist"},
    };
    ASSERT_EQ(sizeof(rows) / sizeof(rows[0]), kOneKeyInfoItems);
    for (u32 i = 0; i < kOneKeyInfoItems; i++) {
        const OneKeyInfoItem& r = one_key_info_list[i];
        EXPECT_EQ(r.type, rows[i].type) << i;
        EXPECT_STREQ(r.name, rows[i].name) << i;
        EXPECT_EQ(r.query_data_len, 1) << i;
        EXPECT_EQ(r.query_data, 1) << i;
        EXPECT_EQ(r.reserved0[0] | r.reserved0[1], 0) << i;
        EXPECT_EQ(r.user_err_code, 0u) << i;
        EXPECT_EQ(r.sys_err_code, 0u) << i;
        EXPECT_EQ(r.reserved1, 1u) << i;
        EXPECT_EQ(r.data_len, 0u) << i;
    }
}

// An item carries at most its catalogue length when the catalogue fixes one, else the
// limit that the collection puts on what the drive states.
TEST(OneKeyInfoList, ItemLimitsFollowTheCatalogue)
{
    EnsureCmndRegistry();
    for (const OneKeyInfoItem& r : one_key_info_list) {
        u32 len = 0xFFFFFFFFu;
        int user_err = 0;
        int sys_err = 0;
        // Without a drive only a fixed length can be answered.
        if (DiskCmnd::GetDataLen(static_cast<int>(r.type), nullptr, &len, &user_err, &sys_err)) {
            EXPECT_EQ(OneKeyItemMaxLen(r.type), len) << r.name;
        } else {
            EXPECT_EQ(OneKeyItemMaxLen(r.type), kOneKeyAskedMaxLen) << r.name;
        }
    }
}

TEST(OneKeyInfoItemLayout, FieldOffsets)
{
    EXPECT_EQ(offsetof(OneKeyInfoItem, type), 0u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, query_data_len), 4u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, query_data), 5u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, user_err_code), 8u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, sys_err_code), 12u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, reserved1), 16u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, data_len), 20u);
    EXPECT_EQ(offsetof(OneKeyInfoItem, name), 24u);
    EXPECT_EQ(sizeof(OneKeyInfoItem), 152u);
}

// ---------------------------------------------------------------- building input files

using onekeyfile::Item;
using onekeyfile::Plain;

Item Ok(u32 type, const char* name, const Bytes& data)
{
    return {type, 1, 1, 6, 0, static_cast<u32>(data.size()), name, data};
}

Item Failed(u32 type, const char* name, u8 query_len, u32 user_err, u32 sys_err, u32 data_len)
{
    return {type, query_len, 0, user_err, sys_err, data_len, name, {}};
}

Bytes Compress(const Bytes& plain)
{
    FileCompressor c;
    c.Init();
    c.SetInMemory(1);
    c.SetOutMemory(1);
    c.SetInData(plain.data(), static_cast<u32>(plain.size()));
    Bytes out(plain.size() * 2 + 1024);
    c.SetOutData(out.data(), static_cast<u32>(out.size()));
    c.SetLevel(4);
    EXPECT_EQ(c.Compress(), 0);
    out.resize(c.GetOutSize());
    return out;
}

Bytes Masked(const Bytes& plain)
{
    Bytes b = Compress(plain);
    for (u8& x : b) {
        x ^= 0xA7;
    }
    return b;
}

// ---------------------------------------------------------------- recording decoders

struct ParseCall {
    u32 type;
    Bytes data;
    u32 indent;
    std::string model;  // the context drive's, for the DiskInfo context
    u32 smart_ver;
    u32 options;        // the word, for the vendor-log context
};

std::vector<ParseCall> parse_calls;
std::map<u32, bool> parse_result;

template <u32 T>
bool RecordingParse(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    ParseCall c{T, Bytes(data, data + len), indent, "", 0, 0};
    if (T == static_cast<u32>(TYPE_89H_DEVICE_VENDOR_LOG)) {
        c.options = *static_cast<const u32*>(ctx);
    } else {
        const DiskInfo* d = static_cast<const DiskInfo*>(ctx);
        c.model = d->model;
        c.smart_ver = d->smart_ver;
    }
    parse_calls.push_back(c);
    out += "decoded " + std::to_string(T) + "\n";
    auto it = parse_result.find(T);
    return it == parse_result.end() || it->second;
}

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        char tmpl[] = "/tmp/zv_onekey_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }

    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }

    bool Exists(const std::string& rel) const
    {
        struct stat st;
        return stat(Path(rel).c_str(), &st) == 0;
    }

    std::vector<std::string> List(const std::string& rel) const
    {
        std::vector<std::string> names;
        DIR* d = opendir(Path(rel).c_str());
        if (d == nullptr) {
            return names;
        }
        while (struct dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
                names.push_back(e->d_name);
            }
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

class OneKeyParse : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        saved_parsers_ = map_parse_fun;
        map_parse_fun.clear();
        // Type 45 and the tables have no decoder, as in the program.
        map_parse_fun[TYPE_IDENTIFY_DEVICE] = &RecordingParse<TYPE_IDENTIFY_DEVICE>;
        map_parse_fun[TYPE_SMART_ENABLE] = nullptr;
        map_parse_fun[TYPE_SMART_VALUE_THRES] = &RecordingParse<TYPE_SMART_VALUE_THRES>;
        map_parse_fun[TYPE_SMART_THRESHOLD] = &RecordingParse<TYPE_SMART_THRESHOLD>;
        map_parse_fun[TYPE_SMART_PEND_LIST] = &RecordingParse<TYPE_SMART_PEND_LIST>;
        map_parse_fun[TYPE_89H_DEVICE_VENDOR_LOG] = &RecordingParse<TYPE_89H_DEVICE_VENDOR_LOG>;
        parse_calls.clear();
        parse_result.clear();
        in_ = Path("in.bin");
        out_ = Path("out");
        parse_file_name = in_.c_str();
        parse_dir_name = out_.c_str();
    }

    void TearDown() override
    {
        map_parse_fun = saved_parsers_;
        parse_file_name = nullptr;
        parse_dir_name = nullptr;
        TempDirTest::TearDown();
    }

    std::string Parse(bool ex)
    {
        ::testing::internal::CaptureStdout();
        if (ex) {
            parseOneKeyInfoFileEx();
        } else {
            parseOneKeyInfoFile();
        }
        return ::testing::internal::GetCapturedStdout();
    }

    Bytes Out(const std::string& name) const { return ReadPath(out_ + "/" + name); }
    std::string OutText(const std::string& name) const { return Str(Out(name)); }

    std::map<CMND_TYPE, ParseFun> saved_parsers_;
    std::string in_;
    std::string out_;
};

const Bytes& Value() { static const Bytes b = ReadPath(DataPath("one_key/smart_value.bin")); return b; }
const Bytes& Thres() { static const Bytes b = ReadPath(DataPath("one_key/smart_thres.bin")); return b; }
const Bytes& Identify() { static const Bytes b = ReadPath(DataPath("one_key/identify.bin")); return b; }

// ---------------------------------------------------------------- good files

struct FullCase {
    bool ex;
    bool with_identify;   // else the IDENTIFY item failed and the start context stays
    u32 log_options;      // the word the vendor-log decoder gets
};

void PrintTo(const FullCase& c, std::ostream* os)
{
    *os << (c.ex ? "ex " : "") << (c.with_identify ? "with identify" : "without identify");
}

class OneKeyParseFull : public OneKeyParse, public ::testing::WithParamInterface<FullCase> {};

// Every read succeeded: the walk decodes rows 0 to 4, writes the raw file of row 5 and
// stops there without a word, since type 45 has no decoder.
TEST_P(OneKeyParseFull, RowsUpToTheFirstTypeWithoutDecoder)
{
    const FullCase& c = GetParam();
    const Bytes identify = IdentifyWithModel("QUMA-G2T7-0100");  // family 2
    const Bytes vendor = Cat(Fill(512, 0x21), Fill(512, 0x22));
    std::vector<Item> items = {
        c.with_identify ? Ok(0, "identify", identify) : Failed(0, "identify", 1, 18, 0, 512),
        Ok(2, "smt_enable", {}),
        Ok(4, "smt_value", Value()),
        Ok(5, "smt_thres", Thres()),
        Ok(21, "vendor_log", vendor),
        Ok(45, "all_vendor_log", Fill(512, 0x45)),
        Ok(35, "flag", Fill(512, 0x35)),
        Ok(23, "blank_block", Fill(512, 0x23)),
        Ok(22, "system_index", Fill(1024, 0xC1)),
        Ok(32, "bad_block", Fill(512, 0x32)),
        Ok(31, "wear_level", Fill(512, 0x31)),
        Ok(18, "smt_pendlist", Fill(512, 0xB1)),
    };
    const Bytes plain = Plain(items);
    WritePath(in_, Masked(plain));

    EXPECT_EQ(Parse(c.ex), "");

    std::vector<std::string> files = {"_decode.bin", "_parsed.bin", "all_vendor_log.bin", "identify.txt",
                                      "smart.bin",   "smart.txt",   "smt_thres.bin",      "smt_value.bin",
                                      "vendor_log.bin", "vendor_log.txt"};
    if (c.with_identify) {
        files.push_back("identify.bin");
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(List("out"), files);
    EXPECT_EQ(Out("_parsed.bin"), plain);
    // Every byte unmasked, the last one included: the container as it was compressed.
    EXPECT_EQ(Out("_decode.bin"), Compress(plain));
    EXPECT_EQ(Out("smt_value.bin"), Value());
    EXPECT_EQ(Out("smt_thres.bin"), Thres());
    EXPECT_EQ(Out("smart.bin"), Cat(Value(), Thres()));
    EXPECT_EQ(Out("vendor_log.bin"), vendor);
    EXPECT_EQ(Out("all_vendor_log.bin"), Fill(512, 0x45));
    EXPECT_EQ(OutText("smart.txt"), "decoded 4\n");
    EXPECT_EQ(OutText("vendor_log.txt"), "decoded 21\n");

    // The context drive: the fixed start record, or the one the IDENTIFY data fills.
    const std::string model = c.with_identify ? "QUMA-G2T7-0100" : "QUMA-K4410TR0100";
    const u32 family = c.with_identify ? 2 : 1;
    size_t k = 0;
    if (c.with_identify) {
        EXPECT_EQ(Out("identify.bin"), identify);
        EXPECT_EQ(OutText("identify.txt"), "decoded 0\n");
        ASSERT_GE(parse_calls.size(), 1u);
        EXPECT_EQ(parse_calls[0].type, 0u);
        EXPECT_EQ(parse_calls[0].data, identify);
        EXPECT_EQ(parse_calls[0].model, model);
        k = 1;
    } else {
        EXPECT_EQ(OutText("identify.txt"), "TYPE:0  QueryDataLen:1  QueryData:0  UserErrCode:00000012h[Sense key : "
                                           "ABORTED COMMAND]  SystemErrCode:00000000h");
    }
    ASSERT_EQ(parse_calls.size(), k + 2);
    EXPECT_EQ(parse_calls[k].type, 4u);
    EXPECT_EQ(parse_calls[k].data, Cat(Value(), Thres()));
    EXPECT_EQ(parse_calls[k].model, model);
    EXPECT_EQ(parse_calls[k].smart_ver, family);
    EXPECT_EQ(parse_calls[k + 1].type, 21u);
    EXPECT_EQ(parse_calls[k + 1].data, vendor);
    EXPECT_EQ(parse_calls[k + 1].options, c.log_options);
    for (const ParseCall& call : parse_calls) {
        EXPECT_EQ(call.indent, 0u) << call.type;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, OneKeyParseFull,
                         ::testing::Values(
                             // Drive order; the IDENTIFY item sets the decode mode to the family.
                             FullCase{false, true, 0x200},
                             // Sort mode 1 on top.
                             FullCase{true, true, 0x201},
                             // Without IDENTIFY data: the start word, decode mode 1.
                             FullCase{false, false, 0x100},
                             FullCase{true, false, 0x101}),
                         CaseName());

// Failed reads, empty answers and odd flag pairs each leave their line and the walk
// goes on to the end of the file.
TEST_F(OneKeyParse, FailedAndEmptyItemsReachTheEnd)
{
    std::vector<Item> items = {
        Ok(0, "identify", Identify()),
        Ok(2, "smt_enable", {}),
        Ok(4, "smt_value", Value()),
        Failed(5, "smt_thres", 1, 18, 0, 512),   // read failed: its length stays, no data follows
        Failed(21, "vendor_log", 0, 8, 0x451, 0),
        Ok(45, "all_vendor_log", {}),
        Failed(35, "flag", 1, 18, 0, 512),
        Failed(23, "blank_block", 0, 4, 0, 0),
        // Read flag without the length flag: a failure line, and its data is skipped.
        {22, 0, 1, 6, 0, 4, "system_index", Fill(4, 0xEE)},
        Failed(32, "bad_block", 0, 6, 0, 0),
        Failed(31, "wear_level", 0, 6, 0, 0),
        Ok(18, "smt_pendlist", Fill(512, 0xB1)),
    };
    WritePath(in_, Masked(Plain(items)));

    EXPECT_EQ(Parse(false), "Parse One-Key Information successfully\n");

    EXPECT_EQ(List("out"), (std::vector<std::string>{
                               "_decode.bin", "_parsed.bin", "all_vendor_log.txt", "bad_block.txt", "blank_block.txt",
                               "flag.txt", "identify.bin", "identify.txt", "smt_pendlist.bin", "smt_pendlist.txt",
                               "smt_thres.txt", "smt_value.bin", "system_index.txt", "vendor_log.txt",
                               "wear_level.txt"}));
    EXPECT_EQ(OutText("smt_thres.txt"), "TYPE:5  QueryDataLen:1  QueryData:0  UserErrCode:00000012h[Sense key : "
                                        "ABORTED COMMAND]  SystemErrCode:00000000h");
    EXPECT_EQ(OutText("vendor_log.txt"), "TYPE:21  QueryDataLen:0  QueryData:0  UserErrCode:00000008h[ATA Status "
                                         "Register or Error Registor return false]  SystemErrCode:00000451h");
    EXPECT_EQ(OutText("system_index.txt"), "TYPE:22  QueryDataLen:0  QueryData:1  UserErrCode:00000006h[Function is "
                                           "unsupported]  SystemErrCode:00000000h");
    EXPECT_EQ(OutText("all_vendor_log.txt"), "data length is 0");
    EXPECT_EQ(Out("smt_pendlist.bin"), Fill(512, 0xB1));
    EXPECT_EQ(OutText("smt_pendlist.txt"), "decoded 18\n");

    ASSERT_EQ(parse_calls.size(), 2u);
    EXPECT_EQ(parse_calls[0].type, 0u);
    EXPECT_EQ(parse_calls[1].type, 18u);
    EXPECT_EQ(parse_calls[1].model, "QUMA-K4410TN0100");  // from the IDENTIFY data
}

TEST_F(OneKeyParse, DecoderRefusalEndsTheWalkSilently)
{
    parse_result[TYPE_IDENTIFY_DEVICE] = false;
    WritePath(in_, Masked(Plain({Ok(0, "identify", Identify()), Ok(4, "smt_value", Value())})));
    EXPECT_EQ(Parse(false), "");
    EXPECT_EQ(List("out"), (std::vector<std::string>{"_decode.bin", "_parsed.bin", "identify.bin"}));
}

// ---------------------------------------------------------------- hostile files

struct HostileCase {
    const char* what;
    std::function<Bytes()> plain;
    std::string out;
    std::vector<std::string> item_files;  // besides _decode.bin and _parsed.bin
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }

class OneKeyParseHostile : public OneKeyParse, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(OneKeyParseHostile, FailsCleanlyWithoutReadingPastTheFile)
{
    const HostileCase& c = GetParam();
    WritePath(in_, Masked(c.plain()));
    EXPECT_EQ(Parse(false), c.out);
    std::vector<std::string> files = c.item_files;
    files.push_back("_decode.bin");
    files.push_back("_parsed.bin");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(List("out"), files);
    // Nothing lands beside the output directory.
    EXPECT_EQ(List(""), (std::vector<std::string>{"in.bin", "out"}));
}

const char kLengthIllegal[] = "    User Err Code [0000001Ah:File length is illegal]\n";
const char kParamIllegal[] = "    User Err Code [00000004h:Parameter is illegal]\n";

Bytes WithLength(Item it, u32 len)
{
    it.data_len = len;
    return Plain({it});
}

INSTANTIATE_TEST_SUITE_P(
    Files, OneKeyParseHostile,
    ::testing::Values(
        // Shorter than one header.
        HostileCase{"shorter than one header", [] {
                        Bytes b = Plain({Ok(0, "identify", {})});
                        b.resize(151);
                        return b;
                    },
                    kLengthIllegal, {}},
        // A data length that runs far past the file, and one that runs one byte past it.
        HostileCase{"data length far past the file",
                    [] { return WithLength(Ok(0, "identify", Identify()), 0xFFFFFFFFu); }, kLengthIllegal, {}},
        HostileCase{"data length one byte past the file", [] {
                        return Cat(Plain({Ok(0, "identify", Identify())}), WithLength(Ok(4, "smt_value", Value()), 513));
                    },
                    kLengthIllegal, {"identify.bin", "identify.txt"}},
        // A good item, then a piece of a header.
        HostileCase{"a good item then a piece of a header",
                    [] { return Cat(Plain({Ok(0, "identify", Identify())}), Fill(151, 0)); }, kLengthIllegal,
                    {"identify.bin", "identify.txt"}},
        // Names: no terminator in the field, a way out of the directory, nothing at all.
        HostileCase{"name without terminator",
                    [] { return Plain({Ok(18, std::string(128, 'A').c_str(), Fill(512, 1))}); }, kParamIllegal, {}},
        HostileCase{"name leading out of the directory",
                    [] { return Plain({Ok(18, "../escaped", Fill(512, 1))}); }, kParamIllegal, {}},
        HostileCase{"name with a directory",
                    [] { return Plain({Failed(35, "sub/flag", 0, 6, 0, 0)}); }, kParamIllegal, {}},
        HostileCase{"name of the parent directory",
                    [] { return Plain({Failed(35, "..", 0, 6, 0, 0)}); }, kParamIllegal, {}},
        HostileCase{"empty name", [] { return Plain({Failed(35, "", 0, 6, 0, 0)}); }, kParamIllegal, {}},
        // A type outside the catalogue: its raw data is kept, then the walk ends as at any
        // type without a decoder.
        HostileCase{"type outside the catalogue",
                    [] { return Plain({Ok(0xFFFFFFFFu, "odd", Fill(16, 2)), Ok(18, "smt_pendlist", Fill(512, 3))}); },
                    "", {"odd.bin"}},
        // IDENTIFY data of the wrong length cannot fill the context drive.
        HostileCase{"identify data of the wrong length",
                    [] { return Plain({Ok(0, "identify", Fill(100, 0x40))}); }, "    Parse identify failed.\n",
                    {"identify.bin"}}),
    CaseName());

// ---------------------------------------------------------------- paths and the container

struct SetupCase {
    const char* what;
    std::function<void(OneKeyParse*)> setup;
    std::string out;
    bool dir_made;  // the output directory exists afterwards, empty but for the names below
    std::vector<std::string> files;
};

void PrintTo(const SetupCase& c, std::ostream* os) { *os << c.what; }

// The longest plain form a collection writes: twelve headers, IDENTIFY and the SMART pair
// (512 bytes each), SMART ENABLE (no data) and eight items of at most 32 MiB.
const u32 kLongestPlain = 12 * 152 + 3 * 512 + 8 * (32u << 20);

// A masked container header that states size bytes, with no stream behind it.
Bytes MaskedHeaderStating(u32 size)
{
    Bytes b = {'Q', 'U', 'M', 'A', u8(size >> 24), u8(size >> 16), u8(size >> 8), u8(size)};
    for (u8& x : b) {
        x ^= 0xA7;
    }
    return b;
}

std::string TooLarge(u32 size)
{
    return "    one-key-info file states " + std::to_string(size) + " bytes, more than a collection can hold (" +
           std::to_string(kLongestPlain) + "), User Err Code [0000001Ah:File length is illegal]\n";
}

TEST(OneKeyInfoList, LongestFile)
{
    EXPECT_EQ(OneKeyInfoFileMaxLen(), kLongestPlain);
}

class OneKeyParseSetup : public OneKeyParse, public ::testing::WithParamInterface<SetupCase> {
public:
    void SetInput(const Bytes& b) { WritePath(in_, b); }
    void SetFileName(const char* p) { parse_file_name = p; }
    void SetDirName(const char* p) { parse_dir_name = p; }
    std::string DirPath(const std::string& rel) { held_ = Path(rel); return held_; }
    std::string held_;
};

TEST_P(OneKeyParseSetup, StopsWithItsMessage)
{
    const SetupCase& c = GetParam();
    c.setup(this);
    std::string expected = c.out;
    size_t at = expected.find("<dir>");
    if (at != std::string::npos) {
        expected.replace(at, 5, dir_);
    }
    EXPECT_EQ(Parse(false), expected);
    EXPECT_EQ(Exists("out"), c.dir_made);
    EXPECT_EQ(List("out"), c.files);
    EXPECT_TRUE(parse_calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneKeyParseSetup,
    ::testing::Values(
        // No input file: nothing is made, not even the directory.
        SetupCase{"file missing",
                  [](OneKeyParse*) {}, "    Get file length failed, User Err Code [00000017h:File can't be opened]\n",
                  false, {}},
        SetupCase{"no file name", [](OneKeyParse* t) { static_cast<OneKeyParseSetup*>(t)->SetFileName(nullptr); },
                  "    please specify one-key-info file", false, {}},
        SetupCase{"empty directory name", [](OneKeyParse* t) { static_cast<OneKeyParseSetup*>(t)->SetDirName(""); },
                  "    please specify directory", false, {}},
        // The directory's parent is missing.
        SetupCase{"directory parent missing", [](OneKeyParse* t) {
                      OneKeyParseSetup* s = static_cast<OneKeyParseSetup*>(t);
                      s->SetInput(Masked(Plain({Ok(0, "identify", Identify())})));
                      s->DirPath("no/out");
                      s->SetDirName(s->held_.c_str());
                  },
                  "    cannot create directory '<dir>/no/out'\n", false, {}},
        // The container without its mask, and an empty file, are no containers; no plain
        // form is left, not even an empty one.
        SetupCase{"container without its mask", [](OneKeyParse* t) {
                      static_cast<OneKeyParseSetup*>(t)->SetInput(Compress(Plain({Ok(0, "identify", Identify())})));
                  },
                  "Decompress unsuccessfully\n", true, {"_decode.bin"}},
        SetupCase{"empty file", [](OneKeyParse* t) { static_cast<OneKeyParseSetup*>(t)->SetInput({}); },
                  "Decompress unsuccessfully\n", true, {"_decode.bin"}},
        // A container stating more than any collection writes: refused before anything is
        // written, the directory left as it was, or not made at all.
        SetupCase{"container longer than any collection, directory there before", [](OneKeyParse* t) {
                      OneKeyParseSetup* s = static_cast<OneKeyParseSetup*>(t);
                      s->SetInput(MaskedHeaderStating(kLongestPlain + 1));
                      ASSERT_EQ(mkdir(s->DirPath("out").c_str(), 0755), 0);
                      WritePath(s->DirPath("out/old.txt"), Fill(3, 'x'));
                  },
                  TooLarge(kLongestPlain + 1), true, {"old.txt"}},
        SetupCase{"container stating 4 GiB", [](OneKeyParse* t) {
                      static_cast<OneKeyParseSetup*>(t)->SetInput(MaskedHeaderStating(0xFFFFFFFFu));
                  },
                  TooLarge(0xFFFFFFFFu), false, {}},
        SetupCase{"container longer than any collection, no directory before", [](OneKeyParse* t) {
                      static_cast<OneKeyParseSetup*>(t)->SetInput(MaskedHeaderStating(kLongestPlain + 1));
                  },
                  TooLarge(kLongestPlain + 1), false, {}},
        // Exactly the longest: past the size check, then refused for its missing stream.
        SetupCase{"container as long as the longest collection", [](OneKeyParse* t) {
                      static_cast<OneKeyParseSetup*>(t)->SetInput(MaskedHeaderStating(kLongestPlain));
                  },
                  "Decompress unsuccessfully\n", true, {"_decode.bin"}},
        // A directory stands where the first raw file goes.
        SetupCase{"directory in place of the first raw file", [](OneKeyParse* t) {
                      OneKeyParseSetup* s = static_cast<OneKeyParseSetup*>(t);
                      s->SetInput(Masked(Plain({Ok(0, "identify", Identify()), Ok(18, "smt_pendlist", Fill(512, 1))})));
                      ASSERT_EQ(mkdir(s->DirPath("out").c_str(), 0755), 0);
                      ASSERT_EQ(mkdir(s->DirPath("out/identify.bin").c_str(), 0755), 0);
                  },
                  "     Write bin file failed, User Err Code [00000017h:File can't be opened]\n", true,
                  {"_decode.bin", "_parsed.bin", "identify.bin"}}),
    CaseName());

// ---------------------------------------------------------------- collection, read back

class OneKeyRoundTrip : public OneKeyParse {
protected:
    void SetUp() override
    {
        OneKeyParse::SetUp();
        EnsureCmndRegistry();
        zvemu::Reset();
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixture(DataPath("demo/sata_k4410.txt"), &err)) << err;
        ASSERT_TRUE(zvemu::LoadFixture(DataPath("one_key/sata_one_key.txt"), &err)) << err;
        ASSERT_NE(getcwd(old_cwd_, sizeof(old_cwd_)), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        output_flags.save_log = 0;
        cur_disk = DiskInfo();
        ASSERT_TRUE(classifyDevice("/dev/sda", &cur_disk));
        dev_name = dev_;
        memset(bin_file_name, 0, sizeof(bin_file_name));
    }

    void TearDown() override
    {
        dev_name = nullptr;
        cur_disk = DiskInfo();
        zvemu::Reset();
        EXPECT_EQ(chdir(old_cwd_), 0);
        OneKeyParse::TearDown();
    }

    std::string Collect()
    {
        ::testing::internal::CaptureStdout();
        collectOneKeyInfo();
        return ::testing::internal::GetCapturedStdout();
    }

    char old_cwd_[4096];
    char dev_[16] = "/dev/sda";
    SettingsGuard settings_;
};

TEST_F(OneKeyRoundTrip, ParserGetsBackWhatTheDriveAnswered)
{
    snprintf(bin_file_name, sizeof(bin_file_name), "in.bin");
    EXPECT_EQ(Collect(), "    please be patient as this process may take a moment\n"
                         "    all information has been saved to in.bin\n");
    EXPECT_EQ(bin_file_name[0], '\0');
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
    EXPECT_FALSE(Exists("in.bin_tmp"));

    EXPECT_EQ(Parse(false), "");
    EXPECT_EQ(Out("identify.bin"), Identify());
    EXPECT_EQ(Out("smart.bin"), Cat(Value(), Thres()));
    EXPECT_EQ(Out("vendor_log.bin"), Cat(Fill(512, 0x21), Fill(512, 0x22)));
    EXPECT_EQ(Out("all_vendor_log.bin"), Fill(512, 0x45));
    EXPECT_FALSE(Exists("out/flag.bin"));
    ASSERT_EQ(parse_calls.size(), 3u);
    EXPECT_EQ(parse_calls[0].model, "QUMA-K4410TN0100");
    EXPECT_EQ(parse_calls[2].options, 0x100u);
}

// The drive states a flag block table one sector longer than a one-key item may be: the
// item is a failed length query, its data is never read, and the collection goes on.
TEST_F(OneKeyRoundTrip, StatedLengthBeyondTheItemLimitIsNotRead)
{
    const u32 sectors = kOneKeyAskedMaxLen / 512 + 1;
    std::string err;
    ASSERT_TRUE(zvemu::LoadFixtureText("drive /dev/sda\nanswer ata 89 fea=0D\n  size 512\n  le 0 4 " +
                                           std::to_string(sectors) + "\n",
                                       ".", &err))
        << err;
    zvemu::ClearTrace();
    snprintf(bin_file_name, sizeof(bin_file_name), "in.bin");
    EXPECT_EQ(Collect(), "    please be patient as this process may take a moment\n"
                         "    all information has been saved to in.bin\n");
    size_t flag_reads = 0;
    for (const zvemu::TraceEntry& e : zvemu::Requests("/dev/sda")) {
        // ATA PASS-THROUGH(16): features 7:0 in byte 4, the command in byte 14.
        flag_reads += e.cdb.size() == 16 && e.cdb[14] == 0x89 && e.cdb[4] == 0x8D;
    }
    EXPECT_EQ(flag_reads, 0u);

    EXPECT_EQ(Parse(false), "");
    const Bytes plain = Out("_parsed.bin");
    std::map<u32, OneKeyInfoItem> items;
    size_t off = 0;
    while (off + sizeof(OneKeyInfoItem) <= plain.size()) {
        OneKeyInfoItem it;
        memcpy(&it, plain.data() + off, sizeof(it));
        off += sizeof(it) + (it.query_data == 1 ? it.data_len : 0);
        items[it.type] = it;
    }
    EXPECT_EQ(off, plain.size());
    ASSERT_EQ(items.size(), kOneKeyInfoItems);
    const OneKeyInfoItem& flag = items[TYPE_89H_FLAG_BLOCK_TABLE];
    EXPECT_EQ(flag.query_data_len, 0);
    EXPECT_EQ(flag.query_data, 0);
    EXPECT_EQ(flag.data_len, sectors * 512);
    EXPECT_EQ(flag.user_err_code, static_cast<u32>(USER_ERR_ILLEGAL_DIFF_OR_LENGTH));
    EXPECT_EQ(flag.sys_err_code, 0u);
    // The items after it were read as usual.
    EXPECT_EQ(items[TYPE_89H_BLANK_BLOCK_TABLE].query_data, 1);
    EXPECT_EQ(items[TYPE_SMART_PEND_LIST].query_data, 1);
}

TEST_F(OneKeyRoundTrip, DefaultNameGoesIntoSsdlogWhenItExists)
{
    ASSERT_EQ(mkdir(Path("SSDlog").c_str(), 0775), 0);
    // Held as a run with a command holds it.
    log_dir_fd = open(Path("SSDlog").c_str(), O_RDONLY | O_DIRECTORY);
    struct Release {
        ~Release()
        {
            close(log_dir_fd);
            log_dir_fd = -1;
        }
    } release;
    const std::string name = "all_info_QUMA-K4410TN0100_K4410TN0100A13000472.bin";
    // An old temporary file would otherwise end up in front of the new items.
    WritePath(Path("SSDlog/" + name + "_tmp"), Fill(200, 0x55));
    EXPECT_EQ(Collect(), "    all informations will be saved to file " + name + "\n" +
                             "    please be patient as this process may take a moment\n" +
                             "    all information has been saved to SSDlog/" + name + "\n");
    EXPECT_EQ(List("SSDlog"), std::vector<std::string>{name});

    std::string path = Path("SSDlog/" + name);
    parse_file_name = path.c_str();
    EXPECT_EQ(Parse(false), "");
    Bytes parsed = Out("_parsed.bin");
    ASSERT_GE(parsed.size(), 152u);
    EXPECT_EQ(parsed[0], 0);  // the IDENTIFY item's type comes first
    EXPECT_EQ(Str(Bytes(parsed.begin() + 24, parsed.begin() + 32)), "identify");
}

TEST_F(OneKeyRoundTrip, SlashInTheModelStaysInTheFileName)
{
    cur_disk.model = "QUMA/K4410";
    cur_disk.serial = "S/1";
    EXPECT_EQ(Collect(), "    all informations will be saved to file all_info_QUMA_K4410_S_1.bin\n"
                         "    please be patient as this process may take a moment\n"
                         "    all information has been saved to all_info_QUMA_K4410_S_1.bin\n");
    EXPECT_TRUE(Exists("all_info_QUMA_K4410_S_1.bin"));
}

TEST_F(OneKeyRoundTrip, ScsiLinkIsRefused)
{
    cur_disk.link_type = LINK_SCSI;
    zvemu::ClearTrace();
    EXPECT_EQ(Collect(), "    can't support one-key-info funtion");
    EXPECT_TRUE(zvemu::Requests().empty());
    EXPECT_EQ(List(""), std::vector<std::string>{});
}

} // namespace
