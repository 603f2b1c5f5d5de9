#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu_host.h"
#include "test_init.h"

#include "cmd_runner.h"
#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "file_utils.h"
#include "front_state.h"
#include "settings.h"

#include <fcntl.h>
#include "smart_decoder.h"

namespace {

// ---------------------------------------------------------------- tables

TEST(AtaScsiTypeMap, RowsInOrder)
{
    const u32 expected[kAtaScsiTypeMapRows][2] = {
        {0, 0},    {1, 1},    {2, 2},    {3, 3},    {4, 83},   {5, 82},   {6, 6},    {7, 7},
        {8, 8},    {9, 80},   {11, 78},  {12, 80},  {17, 84},  {18, 90},  {21, 84},  {57, 91},
        {22, 100}, {23, 105}, {26, 109}, {27, 112}, {29, 83},  {30, 84},  {31, 117}, {32, 119},
        {33, 111}, {37, 67},  {41, 118}, {42, 118}, {43, 89},  {45, 87},  {55, 114}, {56, 98},
    };
    for (u32 i = 0; i < kAtaScsiTypeMapRows; i++) {
        EXPECT_EQ(ata_scsi_type_map[i].ata_type, expected[i][0]) << i;
        EXPECT_EQ(ata_scsi_type_map[i].scsi_type, expected[i][1]) << i;
    }
}

TEST(AtaScsiTypeMap, MapsListedTypesAndKeepsOthers)
{
    std::map<u32, u32> listed;
    for (const AtaScsiTypePair& row : ata_scsi_type_map) {
        listed.insert(std::make_pair(row.ata_type, row.scsi_type));
    }
    for (u32 type = 0; type <= TYPE_BUTT + 1; type++) {
        auto it = listed.find(type);
        EXPECT_EQ(mapAtaTypeToScsiType(type), it == listed.end() ? type : it->second) << type;
    }
    EXPECT_EQ(mapAtaTypeToScsiType(TYPE_SMART_VALUE_THRES), (u32)TYPE_4DH_SMART_VALUE);
    EXPECT_EQ(mapAtaTypeToScsiType(TYPE_8CH_WRITE_CURRENT_TIME), (u32)TYPE_A4H_SET_TIME_STAMP);
    EXPECT_EQ(mapAtaTypeToScsiType(TYPE_SMART_PEND_LIST), (u32)TYPE_3CH_PEND_LIST_TABLE);
    EXPECT_EQ(mapAtaTypeToScsiType(TYPE_89H_SMART_LOG), (u32)TYPE_4DH_READNVSRAM_LOG);
}

TEST(RunnerTexts, MessagesByType)
{
    const RunnerMessage exec_ok[] = {
        {39, "%sRegister set successfully!\n"},
        {125, "%sClean SMART successfully!\n"},
        {128, "%sNew WWN set successfully!\n"},
        {129, "%sNew SN set successfully!\n"},
        {131, "%sNew Model set successfully!\n"},
        {132, "%sCapacitance Status Start set successfully!\n"},
        {137, "%sNew Flag set successfully!\n"},
    };
    ASSERT_EQ(sizeof(exec_ok) / sizeof(exec_ok[0]), kExecOkMessageRows);
    for (u32 i = 0; i < kExecOkMessageRows; i++) {
        EXPECT_EQ(exec_ok_messages[i].type, exec_ok[i].type) << i;
        EXPECT_STREQ(exec_ok_messages[i].text, exec_ok[i].text) << i;
    }
    const RunnerMessage no_data[] = {
        {57, "\n    Set Format Unit OK!"},
        {58, "\n    Set Trim Flag OK!"},
        {88, "\n    Set Power-Off Protect OK!"},
        {91, "\n    Set Format Unit OK!"},
    };
    ASSERT_EQ(sizeof(no_data) / sizeof(no_data[0]), kNoDataOkTextRows);
    for (u32 i = 0; i < kNoDataOkTextRows; i++) {
        EXPECT_EQ(no_data_ok_texts[i].type, no_data[i].type) << i;
        EXPECT_STREQ(no_data_ok_texts[i].text, no_data[i].text) << i;
    }
    const SetValueItem set_items[] = {
        {128, "%sPlease input New WWN: ", 16},
        {129, "%sPlease input New SN: ", 20},
        {131, "%sPlease input New Model: ", 16},
        {137, "%sPlease input New Flag: ", 8},
    };
    ASSERT_EQ(sizeof(set_items) / sizeof(set_items[0]), kSetValueItemRows);
    for (u32 i = 0; i < kSetValueItemRows; i++) {
        EXPECT_EQ(set_value_items[i].type, set_items[i].type) << i;
        EXPECT_STREQ(set_value_items[i].prompt, set_items[i].prompt) << i;
        EXPECT_EQ(set_value_items[i].length, set_items[i].length) << i;
    }
}

TEST(ResultHeader, ExactBytes)
{
    DiskInfo disk;
    disk.model = "QUMA-K4410TR0100";
    disk.serial = "SN0123456789";
    disk.firmware = "FW01";
    disk.capacity_gb = 4294967295u;
    EXPECT_EQ(buildResultHeader(disk, "bench-7", {"10.1.2.3", "192.168.0.9"}),
              "    Model      : QUMA-K4410TR0100\n"
              "    Serial     : SN0123456789\n"
              "    Firmware   : FW01\n"
              "    Capacity   : 4294967295GB\n"
              "    Host Name  : bench-7\n"
              "    IP Address : 10.1.2.3\n"
              "    IP Address : 192.168.0.9\n"
              "\n");
    EXPECT_EQ(buildResultHeader(DiskInfo(), "", {}),
              "    Model      : \n"
              "    Serial     : \n"
              "    Firmware   : \n"
              "    Capacity   : 0GB\n"
              "    Host Name  : \n"
              "\n");
}

TEST(ResultHeader, OnlyForSmartPairAndDeviceLogs)
{
    for (u32 type = 0; type < TYPE_BUTT; type++) {
        bool expected = type == 4 || type == 5 || type == 17 || type == 21;
        EXPECT_EQ(hasResultHeader(type), expected) << type;
    }
}

TEST(VendorLogOptions, ContextTypesAndWord)
{
    const u32 listed[] = {17, 21, 45, 84, 85, 86, 87, 126, 127, 130, 133, 136, 138};
    for (u32 type = 0; type < TYPE_BUTT; type++) {
        bool expected = std::find(std::begin(listed), std::end(listed), type) != std::end(listed);
        EXPECT_EQ(usesVendorLogOptions(type), expected) << type;
    }
    struct Case {
        u32 type;
        u32 smart_ver;
        bool gradation;
        u32 word;
    };
    const Case cases[] = {
        {21, VER_K4410, false, 0x101}, {21, VER_K4410, true, 0x100}, {86, VER_K6410, false, 0x307},
        {86, VER_K6410, true, 0x307},  {17, VER_P37RV, false, 0x001}, {84, VER_UNKNOWN, true, 0x400},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(buildVendorLogOptions(c.type, c.smart_ver, c.gradation), c.word) << c.type;
    }
}

// ---------------------------------------------------------------- runs against a scripted drive

// What the scripted drive answers for one type.
struct FakeAnswer {
    bool len_ok = true;
    u32 len = 0;
    bool exec_ok = true;
    int user_err = 0;
    int sys_err = 0;
    u8 fill = 0;                 // written over the whole buffer on success
    std::vector<u8> data;        // then these bytes at data_offset
    u32 data_offset = 0;
    u32 resid = 0;               // bytes at the end of the buffer the drive did not send
};

struct DriveCall {
    int type;
    bool len_query;
    u32 len;
    std::vector<u8> sent;        // the buffer as the runner handed it over
};

std::map<int, FakeAnswer> fake_answers;
std::vector<DriveCall> drive_calls;

bool FakeLenQuery(int query, DiskInfo*, u8* buf, u32 len, int* user_err, int* sys_err)
{
    int type = query - 512;
    drive_calls.push_back(DriveCall{type, true, len, {}});
    const FakeAnswer& a = fake_answers[type];
    if (!a.len_ok) {
        *user_err = a.user_err;
        *sys_err = a.sys_err;
        return false;
    }
    memcpy(buf, &a.len, sizeof(a.len));
    return true;
}

bool FakeExec(int type, DiskInfo*, u8* buf, u32 len, int* user_err, int* sys_err)
{
    drive_calls.push_back(DriveCall{type, false, len, buf != nullptr ? std::vector<u8>(buf, buf + len) : std::vector<u8>()});
    const FakeAnswer& a = fake_answers[type];
    if (!a.exec_ok) {
        *user_err = a.user_err;
        *sys_err = a.sys_err;
        return false;
    }
    if (buf != nullptr) {
        memset(buf, a.fill, len);
        for (size_t i = 0; i < a.data.size() && a.data_offset + i < len; i++) {
            buf[a.data_offset + i] = a.data[i];
        }
    }
    // As the SCSI executors report a short data-in transfer.
    DiskCmnd::NoteResidual(buf, len, a.resid);
    return true;
}

struct ParseCall {
    u32 type;
    u32 len;
    void* ctx;
    u32 word;                    // *ctx read as a VendorLogOptions word
};
std::vector<ParseCall> parse_calls;
bool parse_ok = true;

template <u32 T>
bool FakeParse(std::string& out, const u8* data, u32 len, u32 indent, void* ctx)
{
    u32 word = 0;
    if (ctx != nullptr) {
        memcpy(&word, ctx, sizeof(word));
    }
    parse_calls.push_back(ParseCall{T, len, ctx, word});
    if (!parse_ok) {
        out += "half";
        return false;
    }
    char line[128];
    snprintf(line, sizeof(line), "%*sdecoded %u: %u bytes, first %02X\n", (int)indent, "", T, len, data[0]);
    out += line;
    return true;
}

class Runner : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        saved_cmnds_ = map_list;
        saved_parsers_ = map_parse_fun;
        map_list.clear();
        map_parse_fun.clear();
        fake_answers.clear();
        drive_calls.clear();
        parse_calls.clear();
        parse_ok = true;

        char tmpl[] = "/tmp/zv_runner_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_NE(getcwd(old_cwd_, sizeof(old_cwd_)), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);

        output_flags = OutputFlags();
        output_flags.save_log = 0;  // the log would add its own file to the working directory
        snprintf(bin_file_name, sizeof(bin_file_name), "out.bin");
        snprintf(txt_file_name, sizeof(txt_file_name), "out.txt");
        memset(set_value, 0, sizeof(set_value));
        set_value_given = 0;
        data_gradation = 0;
        freeDataBuf();

        cur_disk = DiskInfo();
        cur_disk.device_name = "/dev/sdz";
        cur_disk.link_type = LINK_ATA_BY_SCSI;
        cur_disk.smart_ver = VER_K4410;
        cur_disk.model = "QUMA-K4410TN0032";
        cur_disk.serial = "S1";
        cur_disk.firmware = "F1";
        cur_disk.capacity_gb = 32;
        FeedStdin("");
    }

    void TearDown() override
    {
        zvemu::ClearHostIdentity();
        freeDataBuf();
        map_list = saved_cmnds_;
        map_parse_fun = saved_parsers_;
        EXPECT_EQ(chdir(old_cwd_), 0);
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    void Drive(int type, const FakeAnswer& answer)
    {
        map_list[type] = DiskCmndFunc{nullptr, FakeLenQuery, FakeExec};
        fake_answers[type] = answer;
    }

    static FakeAnswer Data(u32 len, u8 fill)
    {
        FakeAnswer a;
        a.len = len;
        a.fill = fill;
        return a;
    }

    template <u32 T>
    void Decoder()
    {
        map_parse_fun[static_cast<CMND_TYPE>(T)] = &FakeParse<T>;
    }

    // Runs the type with the given console input and returns what it printed.
    std::string RunType(u32 type, const std::string& input = "")
    {
        FeedStdin(input);
        ::testing::internal::CaptureStdout();
        executeCmd(type);
        return ::testing::internal::GetCapturedStdout();
    }

    std::vector<int> Executed() const
    {
        std::vector<int> v;
        for (const DriveCall& c : drive_calls) {
            if (!c.len_query) {
                v.push_back(c.type);
            }
        }
        return v;
    }

    const DriveCall* LastExec(int type) const
    {
        for (auto it = drive_calls.rbegin(); it != drive_calls.rend(); ++it) {
            if (!it->len_query && it->type == type) {
                return &*it;
            }
        }
        return nullptr;
    }

    bool Exists(const std::string& rel) const
    {
        struct stat st;
        return stat(rel.c_str(), &st) == 0;
    }

    std::string ReadFile(const std::string& rel) const
    {
        std::ifstream f(rel, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    std::map<int, DiskCmndFunc> saved_cmnds_;
    std::map<CMND_TYPE, ParseFun> saved_parsers_;
    std::string dir_;
    char old_cwd_[4096];
};

std::string HostHeader()
{
    HostInfo host;
    return buildResultHeader(cur_disk, host.host_name, host.ip_list);
}

TEST_F(Runner, SmartPairReadsBothHalvesSavesAndShowsWithHeader)
{
    Drive(TYPE_SMART_VALUE_THRES, Data(512, 0x11));
    Drive(TYPE_SMART_THRESHOLD, Data(512, 0x22));
    Decoder<TYPE_SMART_VALUE_THRES>();
    output_flags.save_original_binary = 1;
    output_flags.save_parsed_text = 1;
    std::string out = RunType(TYPE_SMART_VALUE_THRES);

    EXPECT_EQ(Executed(), (std::vector<int>{4, 5}));
    std::string raw = ReadFile("out.bin");
    EXPECT_EQ(raw, std::string(512, '\x11') + std::string(512, '\x22'));
    ASSERT_EQ(parse_calls.size(), 1u);
    EXPECT_EQ(parse_calls[0].len, 1024u);
    EXPECT_EQ(parse_calls[0].ctx, &cur_disk);
    const std::string text = HostHeader() + "    decoded 4: 1024 bytes, first 11\n";
    EXPECT_EQ(ReadFile("out.txt"), text);
    EXPECT_EQ(out, "    Original binary data is saved to out.bin\n"
                   "    Parsed text data is saved to out.txt\n"
                   "\n" + text);
    EXPECT_EQ(data_buf, nullptr);
}

TEST_F(Runner, SmartPairFailures)
{
    struct Case {
        bool len5_ok;
        bool exec5_ok;
        const char* out;
        std::vector<int> executed;
    };
    const Case cases[] = {
        {false, true, "    Query SMART Value/Threshold's data length failed\n", {}},
        {true, false,
         "    Query SMART Value/Threshold failed, User Err Code [00000008h:ATA Status Register or Error Registor "
         "return false], System Err Code [00000451h]\n",
         {4, 5}},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        Drive(TYPE_SMART_VALUE_THRES, Data(512, 0x11));
        FakeAnswer thres = Data(512, 0x22);
        thres.len_ok = c.len5_ok;
        thres.exec_ok = c.exec5_ok;
        thres.user_err = 8;
        thres.sys_err = 0x451;
        Drive(TYPE_SMART_THRESHOLD, thres);
        Decoder<TYPE_SMART_VALUE_THRES>();
        output_flags.save_original_binary = 1;
        output_flags.save_parsed_text = 1;
        EXPECT_EQ(RunType(TYPE_SMART_VALUE_THRES), c.out);
        EXPECT_EQ(Executed(), c.executed);
        EXPECT_TRUE(parse_calls.empty());
        EXPECT_FALSE(Exists("out.bin"));
        EXPECT_FALSE(Exists("out.txt"));
    }
}

TEST_F(Runner, SmartPairLengthFailureAfterSilentReturnWritesNothing)
{
    // A failed prerequisite read returns silently and leaves its answer held.
    FakeAnswer basic = Data(28, 0x28);
    basic.exec_ok = false;
    Drive(TYPE_C0H_DISK_BASIC_INFO, basic);
    Drive(TYPE_C0H_BLANK_BLOCK_COUNT, Data(256, 0x5A));
    EXPECT_EQ(RunType(TYPE_C0H_BLANK_BLOCK_COUNT), "");
    ASSERT_NE(data_buf, nullptr);

    // That old answer is neither saved nor reported as this run's data.
    Drive(TYPE_SMART_VALUE_THRES, Data(512, 0x11));
    FakeAnswer thres = Data(512, 0x22);
    thres.len_ok = false;
    Drive(TYPE_SMART_THRESHOLD, thres);
    output_flags.save_original_binary = 1;
    EXPECT_EQ(RunType(TYPE_SMART_VALUE_THRES), "    Query SMART Value/Threshold's data length failed\n");
    EXPECT_FALSE(Exists("out.bin"));
    EXPECT_EQ(data_buf, nullptr);
}

TEST_F(Runner, K6410DecodesAsScsiTypeWithoutHeader)
{
    cur_disk.smart_ver = VER_K6410;
    Drive(TYPE_SMART_VALUE_THRES, Data(512, 0x33));
    Drive(TYPE_SMART_THRESHOLD, Data(512, 0x44));
    Decoder<TYPE_SMART_VALUE_THRES>();
    Decoder<TYPE_4DH_SMART_VALUE>();
    std::string out = RunType(TYPE_SMART_VALUE_THRES);
    EXPECT_EQ(Executed(), (std::vector<int>{4, 5}));
    ASSERT_EQ(parse_calls.size(), 1u);
    EXPECT_EQ(parse_calls[0].type, (u32)TYPE_4DH_SMART_VALUE);
    EXPECT_EQ(parse_calls[0].len, 1024u);
    EXPECT_EQ(out, "\n    decoded 83: 1024 bytes, first 33\n");

    // Without data the mapped time stamp type reports its own success line.
    drive_calls.clear();
    Drive(TYPE_8CH_WRITE_CURRENT_TIME, Data(0, 0));
    EXPECT_EQ(RunType(TYPE_8CH_WRITE_CURRENT_TIME), "Set Time Stamp OK!\n");
    EXPECT_EQ(Executed(), (std::vector<int>{43}));

    // A failed time stamp write never claims success.
    fake_answers[TYPE_8CH_WRITE_CURRENT_TIME].exec_ok = false;
    fake_answers[TYPE_8CH_WRITE_CURRENT_TIME].user_err = 6;
    EXPECT_EQ(RunType(TYPE_8CH_WRITE_CURRENT_TIME),
              "    Query data failed, User Err Code [00000006h:Function is unsupported], System Err Code [00000000h]\n");
}

TEST_F(Runner, TimeStampOkJudgedByExecutionOnScsiToo)
{
    cur_disk.link_type = LINK_SCSI;
    cur_disk.smart_ver = VER_UNKNOWN;
    Drive(TYPE_A4H_SET_TIME_STAMP, Data(0, 0));
    EXPECT_EQ(RunType(TYPE_A4H_SET_TIME_STAMP), "Set Time Stamp OK!\n");
}

TEST_F(Runner, GeometryPrerequisite)
{
    struct Case {
        bool len_ok;
        bool exec_ok;
        bool runs;
        u32 len = 28;   // the length the query states
        u32 resid = 0;  // bytes of it the drive did not send
    };
    const Case cases[] = {
        {false, true, false}, {true, false, false}, {true, true, true},
        // An answer without all seven words is no geometry: the run ends as after a failed read.
        {true, true, false, 28, 16}, {true, true, false, 28, 1}, {true, true, false, 12, 0},
        // Bytes after the seven words may be missing.
        {true, true, true, 32, 4},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        remove("out.bin");
        disk_geometry = DiskGeometry{9, 9, 9, 9, 9, 9, 9};
        FakeAnswer basic;
        basic.len = c.len;
        basic.resid = c.resid;
        basic.len_ok = c.len_ok;
        basic.exec_ok = c.exec_ok;
        for (u32 w = 1; w <= 7; w++) {
            const u32 word = w * 0x01010101u;
            basic.data.insert(basic.data.end(), reinterpret_cast<const u8*>(&word),
                              reinterpret_cast<const u8*>(&word) + 4);
        }
        Drive(TYPE_C0H_DISK_BASIC_INFO, basic);
        Drive(TYPE_C0H_BLANK_BLOCK_COUNT, Data(256, 0x5A));
        output_flags.save_original_binary = 1;
        std::string out = RunType(TYPE_C0H_BLANK_BLOCK_COUNT);
        if (!c.runs) {
            // A silent return: nothing shown, nothing sent for the table itself.
            EXPECT_EQ(out, "");
            EXPECT_EQ(Executed(), c.len_ok ? std::vector<int>{114} : std::vector<int>{});
            EXPECT_EQ(disk_geometry.channel, 9u);
            EXPECT_FALSE(Exists("out.bin"));
            if (c.len_ok) {
                // The answer of the failed read stays held until the next allocation.
                EXPECT_NE(data_buf, nullptr);
            }
            continue;
        }
        EXPECT_EQ(Executed(), (std::vector<int>{114, 109}));
        EXPECT_EQ(disk_geometry.channel, 0x01010101u);
        EXPECT_EQ(disk_geometry.page_size, 0x05050505u);
        EXPECT_EQ(disk_geometry.reserved_block, 0x07070707u);
        // The raw file holds the table, not the prerequisite answer.
        EXPECT_EQ(ReadFile("out.bin"), std::string(256, '\x5A'));
        EXPECT_EQ(out, "    Original binary data is saved to out.bin\n"
                       "    Current data's parse is unsupported or length is illegal\n");
    }
}

TEST_F(Runner, StructureAndStatusPrerequisites)
{
    struct Case {
        u32 type;
        bool len55_ok;
        bool exec55_ok;
        bool len56_ok;
        bool exec56_ok;
        std::vector<int> executed;
        bool silent;
        bool structure_read;
        bool status_read;
        u32 len55 = 512;  // the lengths the queries state
        u32 resid55 = 0;  // and the bytes of them the drive did not send
        u32 len56 = 512;
        u32 resid56 = 0;
    };
    const Case cases[] = {
        {22, true, true, true, true, {55, 56, 22}, false, true, true},
        // The status read fails: the earlier status stays and the table is still read.
        {22, true, true, true, false, {55, 56, 22}, false, true, false},
        // A failed length query of either prerequisite ends the run silently.
        {22, false, true, true, true, {}, true, false, false},
        {31, true, true, false, true, {55}, true, true, false},
        // The structure read fails: per-model defaults, and no status is asked.
        {32, true, false, true, true, {55, 32}, false, false, false},
        // Tables that need the structure only.
        {23, true, true, true, true, {55, 23}, false, true, false},
        {35, true, true, true, true, {55, 35}, false, true, false},
        // A structure answer without its five words: per-model defaults, no status asked.
        {22, true, true, true, true, {55, 22}, false, false, false, 512, 493},
        {23, true, true, true, true, {55, 23}, false, false, false, 16, 0},
        // A status answer without its 17 bytes: the earlier status stays.
        {31, true, true, true, true, {55, 56, 31}, false, true, false, 512, 0, 512, 496},
        {32, true, true, true, true, {55, 56, 32}, false, true, false, 512, 0, 16, 0},
        // Both whole up to the fields read, the rest missing.
        {22, true, true, true, true, {55, 56, 22}, false, true, true, 512, 492, 512, 495},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        disk_structure = DiskStructure{1, 1, 1, 1, 1};
        memset(&disk_status, 0xEE, sizeof(disk_status));
        FakeAnswer structure = Data(c.len55, 0);
        structure.len_ok = c.len55_ok;
        structure.exec_ok = c.exec55_ok;
        structure.resid = c.resid55;
        structure.data = {16, 0, 0, 0, 8, 0, 0, 0};
        Drive(TYPE_8AH_GET_DISK_STRUCTURE, structure);
        FakeAnswer status = Data(c.len56, 0x07);
        status.len_ok = c.len56_ok;
        status.exec_ok = c.exec56_ok;
        status.resid = c.resid56;
        Drive(TYPE_8AH_GET_DISK_STATUS, status);
        Drive(c.type, Data(512, 0x99));
        std::string out = RunType(c.type);
        EXPECT_EQ(Executed(), c.executed) << c.type;
        if (c.silent) {
            EXPECT_EQ(out, "") << c.type;
        } else {
            EXPECT_EQ(out, "    Current data's parse is unsupported or length is illegal\n") << c.type;
        }
        if (c.structure_read) {
            EXPECT_EQ(disk_structure.channel, 16u) << c.type;
            EXPECT_EQ(disk_structure.layer, 8u) << c.type;
            EXPECT_EQ(disk_structure.block, 0u) << c.type;
        } else if (c.len55_ok) {
            // QUMA-K4410TN0032: 4 channels, 2 layers.
            EXPECT_EQ(disk_structure.channel, 4u) << c.type;
            EXPECT_EQ(disk_structure.layer, 2u) << c.type;
            EXPECT_EQ(disk_structure.block, 1u) << c.type;
        }
        const u8* status_bytes = reinterpret_cast<const u8*>(&disk_status);
        for (size_t i = 0; i < sizeof(disk_status); i++) {
            EXPECT_EQ(status_bytes[i], c.status_read ? 0x07 : 0xEE) << c.type << " byte " << i;
        }
    }
}

TEST_F(Runner, EraseLogNeedsConfirmation)
{
    struct Case {
        u32 type;
        const char* input;
        bool sent;
    };
    const Case cases[] = {
        {107, "y\n", true}, {108, "Yes\n", true}, {107, "n\n", false}, {108, "\n", false}, {107, "", false},
        {108, " y\n", false},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        Drive(c.type, Data(0, 0));
        std::string out = RunType(c.type, c.input);
        EXPECT_EQ(out, "    Remove Log?(Y/N): ") << c.input;
        EXPECT_EQ(Executed(), c.sent ? std::vector<int>{(int)c.type} : std::vector<int>{}) << c.input;
    }
}

TEST_F(Runner, NvramAddressAndLength)
{
    struct Case {
        const char* input;
        bool sent;
        u32 len;
        u32 address;
        size_t length_prompts;
    };
    const Case cases[] = {
        {"1A2B\n10\n", true, 0x10, 0x1A2B, 1},
        // Piped, a refused answer (an address above 1FFFFh, a length of 0) is the end of the
        // input: the lines after it were written for other questions.
        {"20000\n1ffff\n10\n", false, 0, 0, 0},
        {"1A2B\n0\n10\n", false, 0, 0, 3},
        // The address needs four bytes even when fewer are asked for.
        {"12345\n2\n", true, 4, 0x12345, 1},
        // The end of input sends nothing.
        {"", false, 0, 0, 0},
        // The prompt that met the end of input is shown once more.
        {"100\n", false, 0, 0, 2},
        {"100\n0\n", false, 0, 0, 3},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        Drive(TYPE_C0H_NVRAM_DATA, Data(0, 0xC3));
        output_flags.save_original_binary = 1;
        unlink("out.bin");
        std::string out = RunType(TYPE_C0H_NVRAM_DATA, c.input);
        EXPECT_EQ(out.find("    input NVRAM address(HEX): 0x"), 0u) << c.input;
        size_t prompts = 0;
        for (size_t p = out.find("    input NVRAM lenth(HEX): 0x"); p != std::string::npos;
             p = out.find("    input NVRAM lenth(HEX): 0x", p + 1)) {
            prompts++;
        }
        EXPECT_EQ(prompts, c.length_prompts) << c.input;
        const DriveCall* call = LastExec(TYPE_C0H_NVRAM_DATA);
        // The length is the operator's, never asked from the drive.
        for (const DriveCall& dc : drive_calls) {
            EXPECT_FALSE(dc.len_query) << c.input;
        }
        if (!c.sent) {
            EXPECT_EQ(call, nullptr) << c.input;
            EXPECT_FALSE(Exists("out.bin")) << c.input;
            continue;
        }
        ASSERT_NE(call, nullptr) << c.input;
        ASSERT_EQ(call->len, c.len) << c.input;
        u32 address = call->sent[0] | call->sent[1] << 8 | call->sent[2] << 16 | (u32)call->sent[3] << 24;
        EXPECT_EQ(address, c.address) << c.input;
        EXPECT_EQ(ReadFile("out.bin"), std::string(c.len, '\xC3')) << c.input;
    }
}

TEST_F(Runner, RegisterAccess)
{
    // Each prompt is shown again on a refused answer and once more when the input ends.
    const std::string addr = "    Input R2 Register Addr(Hex) : 0x";
    const std::string width = "    Input R2 Register Width(1/2/4) : ";
    const std::string value = "    Input R2 Register Value(Hex) : 0x";
    const std::string save = "    Save To Disk (0=No or 1=Yes) : ";
    struct Case {
        u32 type;
        const char* input;
        bool sent;
        RegisterAccessBlock block;
        std::string out;
    };
    const Case cases[] = {
        {39, "4000A0\n4\ndeadbeef\n1\n", true, {4, 0xDEADBEEF, 1, 0x4000A0, {}},
         addr + width + value + save + "    Register set successfully!\n"},
        // Piped, a width above 5 or a save-to-disk above 1 ends the input there.
        {39, "10\n6\n2\n5\n0\n", false, {}, addr + width + width + width},
        {39, "10\n2\n5\n2\n0\n", false, {}, addr + width + value + save + save + save},
        {38, "ffffffff\n1\n", true, {1, 0, 0, 0xFFFFFFFF, {}}, addr + width + "    Register value :12345678h\n"},
        {38, "ffffffff\n", false, {}, addr + width + width},
        {39, "10\n4\n", false, {}, addr + width + value + value},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        FakeAnswer a = Data(512, 0);
        if (c.type == 38) {
            a.data = {0x78, 0x56, 0x34, 0x12};
            a.data_offset = 4;
        }
        Drive(c.type, a);
        Decoder<38>();
        Decoder<39>();
        output_flags.save_original_binary = 1;
        output_flags.save_parsed_text = 1;
        EXPECT_EQ(RunType(c.type, c.input), c.out) << c.input;
        const DriveCall* call = LastExec(c.type);
        // Register runs never write files nor decode.
        EXPECT_FALSE(Exists("out.bin")) << c.input;
        EXPECT_FALSE(Exists("out.txt")) << c.input;
        EXPECT_TRUE(parse_calls.empty()) << c.input;
        if (!c.sent) {
            EXPECT_EQ(call, nullptr) << c.input;
            continue;
        }
        ASSERT_NE(call, nullptr) << c.input;
        ASSERT_EQ(call->len, 512u);
        RegisterAccessBlock sent;
        memcpy(&sent, call->sent.data(), sizeof(sent));
        EXPECT_EQ(sent.width, c.block.width) << c.input;
        EXPECT_EQ(sent.value, c.block.value) << c.input;
        EXPECT_EQ(sent.save_to_disk, c.block.save_to_disk) << c.input;
        EXPECT_EQ(sent.address, c.block.address) << c.input;
    }
}

TEST_F(Runner, NewValues)
{
    struct Case {
        u32 type;
        u32 len;
        const char* given;         // from the command line, or null for the prompt
        std::string input;
        std::string sent;          // empty: nothing sent
        const char* out;
    };
    const Case cases[] = {
        // A value from the command line is sent as given, without a prompt...
        {128, 16, "0123456789ABCDEF", "", "0123456789ABCDEF", "    New WWN set successfully!\n"},
        {137, 8, "AB012345", "", "AB012345", "    New Flag set successfully!\n"},
        // ...and never cut or padded to the field.
        {128, 16, "0123456789ABCDEFGHIJ", "", "", ""},
        {137, 8, "AB", "", "", ""},
        // A typed line holding a NUL is no value, even when its length is right.
        {131, 16, nullptr, std::string("QUMA-K6470BN0200\0X\n", 19), "", "    Please input New Model: "},
        {129, 20, nullptr, "SN000000000000000001\n", "SN000000000000000001",
         "    Please input New SN:     New SN set successfully!\n"},
        {131, 16, nullptr, "QUMA-K6470BN0200\n", "QUMA-K6470BN0200",
         "    Please input New Model:     New Model set successfully!\n"},
        // A typed value of the wrong length, an empty line or the end of input sends nothing.
        {128, 16, nullptr, "0123456789ABCDE\n", "", "    Please input New WWN: "},
        {128, 16, nullptr, "0123456789ABCDEF0\n", "", "    Please input New WWN: "},
        {137, 8, nullptr, "\n", "", "    Please input New Flag: "},
        {129, 20, nullptr, "", "", "    Please input New SN: "},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        Drive(c.type, Data(c.len, 0));
        output_flags.save_original_binary = 1;
        memset(set_value, 'x', sizeof(set_value));
        set_value_given = 0;
        if (c.given != nullptr) {
            memset(set_value, 0, sizeof(set_value));
            snprintf(set_value, sizeof(set_value), "%s", c.given);
            set_value_given = 1;
        }
        EXPECT_EQ(RunType(c.type, c.input), c.out) << c.type;
        const DriveCall* call = LastExec(c.type);
        if (c.sent.empty()) {
            EXPECT_EQ(call, nullptr) << c.type;
        } else {
            ASSERT_NE(call, nullptr) << c.type;
            EXPECT_EQ(std::string(call->sent.begin(), call->sent.end()), c.sent) << c.type;
            EXPECT_EQ(set_value_given, 0) << c.type;
        }
        // The buffer sent is released before the output step.
        EXPECT_FALSE(Exists("out.bin")) << c.type;
    }
}

TEST_F(Runner, LengthAndExecutionFailuresWriteNothing)
{
    output_flags.save_original_binary = 1;
    output_flags.save_parsed_text = 1;
    Decoder<TYPE_IDENTIFY_DEVICE>();
    FakeAnswer a = Data(512, 1);
    a.len_ok = false;
    a.user_err = 10;
    a.sys_err = -1;
    Drive(TYPE_IDENTIFY_DEVICE, a);
    EXPECT_EQ(RunType(TYPE_IDENTIFY_DEVICE),
              "    Query data length failed, User Err Code [0000000Ah:Sense key : BAD OPCODE], System Err Code "
              "[FFFFFFFFh]\n");
    EXPECT_EQ(Executed(), std::vector<int>{});

    a.len_ok = true;
    a.exec_ok = false;
    a.user_err = 17;
    a.sys_err = 0x31100;
    Drive(TYPE_IDENTIFY_DEVICE, a);
    EXPECT_EQ(RunType(TYPE_IDENTIFY_DEVICE),
              "    Query data failed, User Err Code [00000011h:Sense key : MEDIUM or HARDWARE ERROR], System Err "
              "Code [00031100h]\n");
    EXPECT_EQ(Executed(), std::vector<int>{0});
    EXPECT_TRUE(parse_calls.empty());
    EXPECT_FALSE(Exists("out.bin"));
    EXPECT_FALSE(Exists("out.txt"));
    EXPECT_EQ(data_buf, nullptr);
}

TEST_F(Runner, LengthFailureAfterPrerequisiteKeepsItsAnswerOut)
{
    output_flags.save_original_binary = 1;
    Drive(TYPE_C0H_DISK_BASIC_INFO, Data(28, 0x28));
    FakeAnswer table = Data(0, 0);
    table.len_ok = false;
    table.user_err = 6;
    Drive(TYPE_C0H_GET_BAD_PAGE, table);
    EXPECT_EQ(RunType(TYPE_C0H_GET_BAD_PAGE),
              "    Query data length failed, User Err Code [00000006h:Function is unsupported], System Err Code "
              "[00000000h]\n");
    EXPECT_FALSE(Exists("out.bin"));
}

TEST_F(Runner, NoDataTypes)
{
    struct Case {
        u32 type;
        u32 link;
        const char* out;
    };
    const Case cases[] = {
        {2, LINK_ATA_BY_SCSI, ""},
        {88, LINK_SCSI, "\n\n    Set Power-Off Protect OK!"},
        {91, LINK_SCSI, "\n\n    Set Format Unit OK!"},
        {57, LINK_ATA_BY_SCSI, "\n\n    Set Format Unit OK!"},
        {58, LINK_ATA_BY_SCSI, "\n\n    Set Trim Flag OK!"},
    };
    for (const Case& c : cases) {
        drive_calls.clear();
        cur_disk.link_type = c.link;
        Drive(c.type, Data(0, 0));
        output_flags.save_original_binary = 1;
        EXPECT_EQ(RunType(c.type), c.out) << c.type;
        EXPECT_EQ(Executed(), std::vector<int>{(int)c.type}) << c.type;
        EXPECT_FALSE(Exists("out.bin")) << c.type;
    }
    // The success line is the text, so it is saved like any text.
    output_flags.save_parsed_text = 1;
    output_flags.show_parsed_text = 0;
    EXPECT_EQ(RunType(58), "    Parsed text data is saved to out.txt\n");
    EXPECT_EQ(ReadFile("out.txt"), "\n    Set Trim Flag OK!");
}

TEST_F(Runner, UndecodedOrRejectedData)
{
    output_flags.save_original_binary = 1;
    Drive(TYPE_SMART_LOG_DIRECTORY, Data(512, 0x66));
    const std::string expected = "    Original binary data is saved to out.bin\n"
                                 "    Current data's parse is unsupported or length is illegal\n";
    EXPECT_EQ(RunType(TYPE_SMART_LOG_DIRECTORY), expected);
    EXPECT_EQ(ReadFile("out.bin"), std::string(512, '\x66'));

    // A rejecting decoder's partial text is not shown.
    Decoder<TYPE_SMART_LOG_DIRECTORY>();
    parse_ok = false;
    EXPECT_EQ(RunType(TYPE_SMART_LOG_DIRECTORY), expected);
    EXPECT_EQ(parse_calls.size(), 1u);
}

TEST_F(Runner, DecoderContext)
{
    struct Case {
        u32 type;
        u32 link;
        u8 gradation;
        bool word_ctx;
        u32 word;
    };
    const Case cases[] = {
        {TYPE_89H_DEVICE_VENDOR_LOG, LINK_ATA_BY_SCSI, 0, true, 0x101},
        {TYPE_89H_DEVICE_VENDOR_LOG, LINK_ATA_BY_SCSI, 1, true, 0x100},
        {TYPE_4DH_READCURRENT_LOG, LINK_SCSI, 1, true, 0x107},
        {TYPE_C0H_GET_DISK_FLAG, LINK_SCSI, 0, true, 0x101},
        {TYPE_IDENTIFY_DEVICE, LINK_ATA_BY_SCSI, 0, false, 0},
        {TYPE_5AH_MODE_SENSE_CURRENT, LINK_SCSI, 1, false, 0},
    };
    for (const Case& c : cases) {
        parse_calls.clear();
        cur_disk.link_type = c.link;
        data_gradation = c.gradation;
        Drive(c.type, Data(64, 0x01));
        Decoder<TYPE_89H_DEVICE_VENDOR_LOG>();
        Decoder<TYPE_4DH_READCURRENT_LOG>();
        Decoder<TYPE_C0H_GET_DISK_FLAG>();
        Decoder<TYPE_IDENTIFY_DEVICE>();
        Decoder<TYPE_5AH_MODE_SENSE_CURRENT>();
        RunType(c.type);
        ASSERT_EQ(parse_calls.size(), 1u) << c.type;
        EXPECT_EQ(parse_calls[0].type, c.type);
        if (c.word_ctx) {
            EXPECT_NE(parse_calls[0].ctx, &cur_disk) << c.type;
            EXPECT_EQ(parse_calls[0].word, c.word) << c.type;
        } else {
            EXPECT_EQ(parse_calls[0].ctx, &cur_disk) << c.type;
        }
    }
}

TEST_F(Runner, VendorLogsGoUnderSsdlog)
{
    output_flags.save_original_binary = 1;
    Drive(TYPE_89H_DEVICE_VENDOR_LOG, Data(64, 0x21));
    Drive(TYPE_4DH_READCURRENT_LOG, Data(64, 0x86));
    snprintf(bin_file_name, sizeof(bin_file_name), "log.bin");
    RunType(TYPE_89H_DEVICE_VENDOR_LOG);
    EXPECT_EQ(ReadFile("log.bin"), std::string(64, '\x21'));

    ASSERT_EQ(mkdir("SSDlog", 0775), 0);
    // Held as a run with a command holds it.
    log_dir_fd = open("SSDlog", O_RDONLY | O_DIRECTORY);
    struct Release {
        ~Release()
        {
            close(log_dir_fd);
            log_dir_fd = -1;
        }
    } release;
    std::string out = RunType(TYPE_89H_DEVICE_VENDOR_LOG);
    EXPECT_STREQ(bin_file_name, "SSDlog/log.bin");
    EXPECT_EQ(ReadFile("SSDlog/log.bin"), std::string(64, '\x21'));
    EXPECT_EQ(out.find("    Original binary data is saved to SSDlog/log.bin\n"), 0u);

    // Other types keep the name; a further vendor-log run prefixes again.
    Drive(TYPE_IDENTIFY_DEVICE, Data(512, 0));
    RunType(TYPE_IDENTIFY_DEVICE);
    EXPECT_STREQ(bin_file_name, "SSDlog/log.bin");
    ASSERT_EQ(mkdir("SSDlog/SSDlog", 0775), 0);
    RunType(TYPE_4DH_READCURRENT_LOG);
    EXPECT_EQ(ReadFile("SSDlog/SSDlog/log.bin"), std::string(64, '\x86'));

    // A name that would not fit is refused whole: no write, no cut name.
    std::string long_name(sizeof(bin_file_name) - 5, 'n');
    snprintf(bin_file_name, sizeof(bin_file_name), "%s", long_name.c_str());
    out = RunType(TYPE_89H_DEVICE_VENDOR_LOG);
    EXPECT_EQ(std::string(bin_file_name), long_name);
    EXPECT_EQ(out.find("    Original binary data can't be saved: the file name under SSDlog/ is too long\n"), 0u);
    EXPECT_EQ(out.find("is saved to"), std::string::npos);
}

TEST_F(Runner, FileWriteFailuresAreReportedAndOutputGoesOn)
{
    output_flags.save_original_binary = 1;
    output_flags.save_parsed_text = 1;
    snprintf(bin_file_name, sizeof(bin_file_name), "missing/out.bin");
    snprintf(txt_file_name, sizeof(txt_file_name), "missing/out.txt");
    Drive(TYPE_IDENTIFY_DEVICE, Data(512, 0xAB));
    Decoder<TYPE_IDENTIFY_DEVICE>();
    EXPECT_EQ(RunType(TYPE_IDENTIFY_DEVICE),
              "    Original binary data can't be saved to missing/out.bin, User Err Coode [00000017h:File can't be "
              "opened]\n"
              "    Parsed text data can't be saved to missing/out.txt, User Err Coode [00000017h:File can't be "
              "opened]\n"
              "\n    decoded 0: 512 bytes, first AB\n");
}

TEST_F(Runner, ShowToggleOff)
{
    output_flags.show_parsed_text = 0;
    Drive(TYPE_IDENTIFY_DEVICE, Data(512, 0xAB));
    Decoder<TYPE_IDENTIFY_DEVICE>();
    EXPECT_EQ(RunType(TYPE_IDENTIFY_DEVICE), "");
    EXPECT_EQ(parse_calls.size(), 1u);
}

// The catalogue's own registry and parse map, with scripted executors only where a drive must answer.
class RunnerWithRegistry : public Runner {
protected:
    void SetUp() override
    {
        EnsureCmndRegistry();
        DiskAnalyser::Init();
        Runner::SetUp();
        map_list = saved_cmnds_;
        map_parse_fun = saved_parsers_;
    }

    // Keeps the registered length function and replaces only the executor.
    void Answer(int type, const FakeAnswer& answer)
    {
        map_list[type].fun = FakeExec;
        fake_answers[type] = answer;
    }
};

TEST_F(RunnerWithRegistry, SmartPairDecodedBehindHeader)
{
    // Slot 0 of the data page: attribute 9, flags 0032h, current 99, worst 98, raw 1234h;
    // slot 0 of the threshold page: attribute 9, threshold 5.
    FakeAnswer values = Data(0, 0);
    values.data = {0x10, 0x00, 9, 0x32, 0x00, 99, 98, 0x34, 0x12, 0, 0, 0, 0, 0};
    Answer(TYPE_SMART_VALUE_THRES, values);
    FakeAnswer thresholds = Data(0, 0);
    thresholds.data = {0x10, 0x00, 9, 5};
    Answer(TYPE_SMART_THRESHOLD, thresholds);
    output_flags.save_parsed_text = 1;
    output_flags.save_original_binary = 1;
    cur_disk.model = "QUMA-K4410TR0100";
    cur_disk.serial = "0123456789ABCDEFGHIJ";
    cur_disk.firmware = "K4R1.0";
    cur_disk.capacity_gb = 100;
    zvemu::SetHostName("bench-7");
    zvemu::SetHostInterfaces({{"lo", "127.0.0.1", true, true},
                              {"eth0", "10.1.2.3", true, false},
                              {"eth1", "10.9.9.9", false, false},
                              {"eth2", "192.168.7.1", true, false}});
    std::string out = RunType(TYPE_SMART_VALUE_THRES);
    zvemu::ClearHostIdentity();

    ASSERT_EQ(Executed(), (std::vector<int>{4, 5}));
    EXPECT_EQ(drive_calls[0].len, 512u);
    EXPECT_EQ(drive_calls[1].len, 512u);
    std::string raw = ReadFile("out.bin");
    ASSERT_EQ(raw.size(), 1024u);
    std::string table;
    ASSERT_TRUE(ParseAtaSmartValueThres(table, reinterpret_cast<const u8*>(raw.data()), 1024, 4, &cur_disk));
    EXPECT_NE(table.find("99"), std::string::npos);
    // The loopback and the interface that is down are left out.
    const std::string text = "    Model      : QUMA-K4410TR0100\n"
                             "    Serial     : 0123456789ABCDEFGHIJ\n"
                             "    Firmware   : K4R1.0\n"
                             "    Capacity   : 100GB\n"
                             "    Host Name  : bench-7\n"
                             "    IP Address : 10.1.2.3\n"
                             "    IP Address : 192.168.7.1\n"
                             "\n" +
                             table;
    EXPECT_EQ(ReadFile("out.txt"), text);
    EXPECT_EQ(out, "    Original binary data is saved to out.bin\n"
                   "    Parsed text data is saved to out.txt\n"
                   "\n" + text);
}

TEST_F(RunnerWithRegistry, UnsupportedTypesReportTheirError)
{
    // A type without length function, and one whose executor does not exist on this route.
    EXPECT_EQ(RunType(TYPE_ORIGINAL_BAD_BLOCK_TABLE),
              "    Query data length failed, User Err Code [00000006h:Function is unsupported], System Err Code "
              "[00000000h]\n");
    map_list[TYPE_SMART_RETURN_STATUS].fun = nullptr;
    EXPECT_EQ(RunType(TYPE_SMART_RETURN_STATUS),
              "    Query data failed, User Err Code [00000006h:Function is unsupported], System Err Code "
              "[00000000h]\n");
}

TEST(HostIdentity, InterfaceListFormat)
{
    std::vector<zvemu::HostInterface> ifs;
    std::string err;
    ASSERT_TRUE(zvemu::ParseHostInterfaces("  lo:127.0.0.1:up,loopback eth0:10.1.2.3:up  eth1:10.9.9.9 ", &ifs, &err));
    ASSERT_EQ(ifs.size(), 3u);
    EXPECT_EQ(ifs[0].name, "lo");
    EXPECT_TRUE(ifs[0].up && ifs[0].loopback);
    EXPECT_EQ(ifs[1].ipv4, "10.1.2.3");
    EXPECT_TRUE(ifs[1].up && !ifs[1].loopback);
    EXPECT_FALSE(ifs[2].up || ifs[2].loopback);
    ASSERT_TRUE(zvemu::ParseHostInterfaces("", &ifs, &err));
    EXPECT_TRUE(ifs.empty());
    for (const char* bad : {"eth0", "eth0:10.1.2", ":10.1.2.3", "eth0:10.1.2.3:fast", "averyveryverylongname:1.2.3.4"}) {
        EXPECT_FALSE(zvemu::ParseHostInterfaces(bad, &ifs, &err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }
}

TEST(HostIdentity, FixedNameAndAddressesReachHostInfo)
{
    zvemu::SetHostName("a-host-name-of-some-length");
    zvemu::SetHostInterfaces({{"lo", "127.0.0.1", true, true}, {"eth3", "172.16.0.4", true, false}});
    HostInfo host;
    EXPECT_EQ(host.host_name, "a-host-name-of-some-length");
    EXPECT_EQ(host.ip_list, (std::vector<std::string>{"172.16.0.4"}));
    char small[5];
    EXPECT_EQ(gethostname(small, sizeof(small)), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
    zvemu::SetHostInterfaces({});
    HostInfo none;
    EXPECT_TRUE(none.ip_list.empty());
    zvemu::ClearHostIdentity();
    // Unset, the real host answers.
    char real[256] = {};
    EXPECT_EQ(gethostname(real, sizeof(real)), 0);
    EXPECT_EQ(HostInfo().host_name, real);
}

TEST(HostIdentity, FromTheEnvironment)
{
    setenv("ZV_EMU_HOST_NAME", "env-host", 1);
    setenv("ZV_EMU_HOST_IFS", "eth0:10.0.0.1 eth1:10.0.0.2:up", 1);
    zvemu::LoadHostIdentityFromEnvironment();
    HostInfo host;
    unsetenv("ZV_EMU_HOST_NAME");
    unsetenv("ZV_EMU_HOST_IFS");
    EXPECT_EQ(host.host_name, "env-host");
    EXPECT_EQ(host.ip_list, (std::vector<std::string>{"10.0.0.2"}));
    zvemu::LoadHostIdentityFromEnvironment();
    char real[256] = {};
    EXPECT_EQ(gethostname(real, sizeof(real)), 0);
    EXPECT_NE(std::string(real), "env-host");

    EXPECT_EXIT(
        {
            setenv("ZV_EMU_HOST_IFS", "eth0:10.0.0.300", 1);
            zvemu::LoadHostIdentityFromEnvironment();
            exit(0);
        },
        ::testing::ExitedWithCode(125), "zvemu: ZV_EMU_HOST_IFS: bad interface \"eth0:10.0.0.300\"");
}

} // namespace
