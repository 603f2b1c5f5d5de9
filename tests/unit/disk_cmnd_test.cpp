// Registry dispatch: length paths, executor calls, the type-37 route and the start-up self-check.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "disk_cmnd.h"
#include "scsi_cmnd_exec.h"
#include "test_init.h"
#include "vendor_cmnd_exec.h"

namespace {

// Records what the registry hands to an executor or length query.
struct FakeCall {
    int fake;  // which fake ran
    int type;
    DiskInfo* disk;
    u8* buf;
    u32 len;
    int user_err_on_entry;
    bool buf_zeroed;
};

std::vector<FakeCall> fake_calls;
bool fake_result = false;
int fake_user_err = 0;
int fake_sys_err = 0;
bool fake_writes_len = false;
u32 fake_len_word = 0;

bool FakeBody(int fake, int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    bool zeroed = true;
    for (u32 i = 0; buf != nullptr && i < len; i++) {
        zeroed = zeroed && buf[i] == 0;
    }
    fake_calls.push_back(FakeCall{fake, type, disk, buf, len, *user_err, zeroed});
    if (fake_writes_len && buf != nullptr && len >= 4) {
        memcpy(buf, &fake_len_word, sizeof(fake_len_word));
    }
    *user_err = fake_user_err;
    *sys_err = fake_sys_err;
    return fake_result;
}

bool FakeA(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return FakeBody(1, type, disk, buf, len, user_err, sys_err);
}

bool FakeB(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return FakeBody(2, type, disk, buf, len, user_err, sys_err);
}

// Swaps registry entries for fakes and puts the real ones back afterwards.
class RegistryFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCmndRegistry();
        saved_ = map_list;
        fake_calls.clear();
        fake_result = false;
        fake_user_err = 0;
        fake_sys_err = 0;
        fake_writes_len = false;
        fake_len_word = 0;
    }
    void TearDown() override { map_list = saved_; }

private:
    std::map<int, DiskCmndFunc> saved_;
};

// Types that are neither measured nor run, and values outside the catalogue.
class UnsupportedType : public ::testing::TestWithParam<CmndTypeCase> {
protected:
    void SetUp() override { EnsureCmndRegistry(); }
};

TEST_P(UnsupportedType, LengthAndExecuteAnswer6)
{
    const int type = GetParam();
    DiskInfo disk;
    disk.device_name = "/dev/sdq";
    disk.link_type = LINK_SCSI;
    u8 buf[512] = {};
    u32 len = 0xDEADBEEF;
    int user_err = -1;
    int sys_err = -1;
    EXPECT_FALSE(DiskCmnd::GetDataLen(type, &disk, &len, &user_err, &sys_err));
    EXPECT_EQ(user_err, 6);
    EXPECT_EQ(sys_err, -1);
    EXPECT_EQ(len, 0xDEADBEEF);

    user_err = -1;
    EXPECT_FALSE(DiskCmnd::Execute(type, &disk, buf, sizeof(buf), &user_err, &sys_err));
    EXPECT_EQ(user_err, 6);
    EXPECT_EQ(sys_err, -1);

    EXPECT_FALSE(DiskCmnd::GetDataLenQuiet(type, &disk, &len));
    EXPECT_FALSE(DiskCmnd::ExecuteQuiet(type, &disk, buf, sizeof(buf)));
}

class TypeWithoutFunctions : public UnsupportedType {};

TEST_P(TypeWithoutFunctions, IsRegisteredEmpty)
{
    auto it = map_list.find(GetParam().type);
    ASSERT_NE(it, map_list.end());
    EXPECT_EQ(it->second.fun_len, nullptr);
    EXPECT_EQ(it->second.fun_len_param, nullptr);
    EXPECT_EQ(it->second.fun, nullptr);
}

const int no_function_types[] = {41, 42, 46, 93, 99, 101, 103, 115, 116, 134, 139, 140};

INSTANTIATE_TEST_SUITE_P(Empty, UnsupportedType, ::testing::ValuesIn(TypeCases(no_function_types)), CaseName());
INSTANTIATE_TEST_SUITE_P(Empty, TypeWithoutFunctions, ::testing::ValuesIn(TypeCases(no_function_types)),
                         CaseName());
INSTANTIATE_TEST_SUITE_P(OutsideCatalogue, UnsupportedType,
                         ::testing::ValuesIn(TypeCases(TYPE_BUTT, -1, 512, 37 + 512, INT_MIN, INT_MAX)),
                         CaseName());

TEST(CmndRegistry, OutsideCatalogueIsNotRegistered)
{
    EnsureCmndRegistry();
    EXPECT_EQ(map_list.count(TYPE_BUTT), 0u);
    EXPECT_EQ(map_list.count(-1), 0u);
}

// Downloads and table writes: the caller brings the data, so there is no length to ask.
class ExecutorWithoutLength : public ::testing::TestWithParam<CmndTypeCase> {};

TEST_P(ExecutorWithoutLength, LengthAnswers6)
{
    EnsureCmndRegistry();
    const int type = GetParam();
    ASSERT_NE(map_list.at(type).fun, nullptr);
    u32 len = 0xDEADBEEF;
    int user_err = -1;
    int sys_err = -1;
    EXPECT_FALSE(DiskCmnd::GetDataLen(type, nullptr, &len, &user_err, &sys_err));
    EXPECT_EQ(user_err, 6);
    EXPECT_EQ(sys_err, -1);
    EXPECT_EQ(len, 0xDEADBEEF);
}

INSTANTIATE_TEST_SUITE_P(Downloads, ExecutorWithoutLength, ::testing::ValuesIn(TypeCases(37, 44, 67, 92, 124)),
                         CaseName());

TEST(CmndRegistry, FixedLengthsOfTheEdgeTypes)
{
    EnsureCmndRegistry();
    struct {
        int type;
        u32 len;
    } cases[] = {{0, 512}, {1, 0}, {47, 9}, {60, 512}, {66, 8}, {94, 0x9258000}, {95, 0x1000000}, {141, 64}};
    for (const auto& c : cases) {
        u32 len = 0;
        int user_err = -1;
        int sys_err = -1;
        EXPECT_TRUE(DiskCmnd::GetDataLen(c.type, nullptr, &len, &user_err, &sys_err)) << "type " << c.type;
        EXPECT_EQ(len, c.len) << "type " << c.type;
        EXPECT_EQ(user_err, 0);
        EXPECT_EQ(sys_err, 0);
        len = 0;
        EXPECT_TRUE(DiskCmnd::GetDataLenQuiet(c.type, nullptr, &len)) << "type " << c.type;
        EXPECT_EQ(len, c.len) << "type " << c.type;
    }
}

struct LenQueryCase {
    bool result;
    bool writes;
    u32 word;
    int user_err;
    int sys_err;
    u32 want_len;
};

void PrintTo(const LenQueryCase& c, std::ostream* os)
{
    *os << (c.result ? "succeeds" : "fails") << (c.writes ? " storing " : " storing nothing") << std::hex
        << (c.writes ? c.word : 0);
}

class LenQuery : public RegistryFake, public ::testing::WithParamInterface<LenQueryCase> {};

TEST_P(LenQuery, AsksWithTypePlus512AndTakesTheFirstWord)
{
    const LenQueryCase& c = GetParam();
    map_list[TYPE_4DH_INFORMATIONAL_EXCEPTIONS].fun_len_param = FakeA;
    fake_result = c.result;
    fake_writes_len = c.writes;
    fake_len_word = c.word;
    fake_user_err = c.user_err;
    fake_sys_err = c.sys_err;
    DiskInfo disk;
    u32 len = 0xDEADBEEF;
    int user_err = -1;
    int sys_err = -1;
    EXPECT_EQ(DiskCmnd::GetDataLen(TYPE_4DH_INFORMATIONAL_EXCEPTIONS, &disk, &len, &user_err, &sys_err), c.result);
    ASSERT_EQ(fake_calls.size(), 1u);
    EXPECT_EQ(fake_calls[0].type, TYPE_4DH_INFORMATIONAL_EXCEPTIONS + 512);
    EXPECT_EQ(fake_calls[0].disk, &disk);
    EXPECT_NE(fake_calls[0].buf, nullptr);
    EXPECT_EQ(fake_calls[0].len, 512u);
    EXPECT_TRUE(fake_calls[0].buf_zeroed);
    EXPECT_EQ(fake_calls[0].user_err_on_entry, 6);
    // Taken whatever the query's result.
    EXPECT_EQ(len, c.want_len);
    EXPECT_EQ(user_err, c.user_err);
    EXPECT_EQ(sys_err, c.sys_err);
}

INSTANTIATE_TEST_SUITE_P(Answers, LenQuery,
                         ::testing::Values(LenQueryCase{true, true, 0x1234, 6, 0, 0x1234},
                                           LenQueryCase{false, true, 77, 11, 5, 77},
                                           LenQueryCase{false, false, 0, 1, 2, 0},
                                           LenQueryCase{true, true, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF}),
                         CaseName());

TEST_F(RegistryFake, ExecutePassesTheCallThroughUnchanged)
{
    map_list[TYPE_SMART_VALUE_THRES].fun = FakeA;
    DiskInfo disk;
    u8 buf[1024] = {};
    struct {
        bool result;
        int user_err;
        int sys_err;
    } cases[] = {{true, 6, 0}, {false, 8, 0x0451}, {true, 0, 0}};
    for (const auto& c : cases) {
        fake_calls.clear();
        fake_result = c.result;
        fake_user_err = c.user_err;
        fake_sys_err = c.sys_err;
        int user_err = -1;
        int sys_err = -1;
        EXPECT_EQ(DiskCmnd::Execute(TYPE_SMART_VALUE_THRES, &disk, buf, 700, &user_err, &sys_err), c.result);
        ASSERT_EQ(fake_calls.size(), 1u);
        EXPECT_EQ(fake_calls[0].type, TYPE_SMART_VALUE_THRES);
        EXPECT_EQ(fake_calls[0].disk, &disk);
        EXPECT_EQ(fake_calls[0].buf, buf);
        EXPECT_EQ(fake_calls[0].len, 700u);
        EXPECT_EQ(fake_calls[0].user_err_on_entry, 6);
        EXPECT_EQ(user_err, c.user_err);
        EXPECT_EQ(sys_err, c.sys_err);
        EXPECT_EQ(DiskCmnd::ExecuteQuiet(TYPE_SMART_VALUE_THRES, &disk, buf, 700), c.result);
    }
}

struct DownloadRouteCase {
    int type;
    u32 link_type;
    int want_fake;  // 0: nothing runs
    int want_type;
};

void PrintTo(const DownloadRouteCase& c, std::ostream* os)
{
    *os << CmndTypeText(c.type) << " on " << LinkText(c.link_type);
}

class DownloadRoute : public RegistryFake, public ::testing::WithParamInterface<DownloadRouteCase> {};

TEST_P(DownloadRoute, ByLinkType)
{
    const DownloadRouteCase& c = GetParam();
    map_list[TYPE_92H_DOWNLOAD_MICROCODE].fun = FakeA;
    map_list[TYPE_3BH_DOWNLOAD_MICROCODE].fun = FakeB;
    fake_result = true;
    fake_user_err = 6;
    DiskInfo disk;
    disk.link_type = c.link_type;
    u8 image[2048] = {};
    int user_err = -1;
    int sys_err = -1;
    bool ok = DiskCmnd::Execute(c.type, &disk, image, 1536, &user_err, &sys_err);
    if (c.want_fake == 0) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(user_err, 6);
        EXPECT_EQ(sys_err, -1);
        EXPECT_TRUE(fake_calls.empty());
        return;
    }
    EXPECT_TRUE(ok);
    ASSERT_EQ(fake_calls.size(), 1u);
    EXPECT_EQ(fake_calls[0].fake, c.want_fake);
    EXPECT_EQ(fake_calls[0].type, c.want_type);
    EXPECT_EQ(fake_calls[0].buf, image);
    EXPECT_EQ(fake_calls[0].len, 1536u);
    EXPECT_EQ(fake_calls[0].disk, &disk);
}

INSTANTIATE_TEST_SUITE_P(Links, DownloadRoute,
                         ::testing::Values(DownloadRouteCase{37, LINK_ATA, 1, 37},
                                           DownloadRouteCase{37, LINK_ATA_BY_SCSI, 1, 37},
                                           DownloadRouteCase{37, LINK_ATA_BY_FC, 1, 37},
                                           DownloadRouteCase{37, LINK_SCSI, 2, 67},
                                           DownloadRouteCase{37, 0, 0, 0},
                                           DownloadRouteCase{37, LINK_ATA | LINK_SCSI, 0, 0},
                                           // Only type 37 is rerouted.
                                           DownloadRouteCase{67, LINK_ATA_BY_SCSI, 2, 67},
                                           DownloadRouteCase{67, LINK_SCSI, 2, 67}),
                         CaseName());

// A regex that matches the text literally.
std::string Literal(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        if (strchr("\\^$.|?*+()[]{}", ch) != nullptr) {
            out += '\\';
        }
        out += ch;
    }
    return out;
}

// The assertion and the row it names, as the check prints them.
std::string CheckFailure(const std::string& cond, const std::string& where = "")
{
    return Literal("static void DiskCmnd::Check(): Assertion `" + cond + "' failed" +
                   (where.empty() ? "." : ": " + where + "."));
}

TEST(CmndRegistryDeathTest, ExtraEntryFailsTheSizeCheck)
{
    EnsureCmndRegistry();
    EXPECT_DEATH(
        {
            map_list[TYPE_BUTT] = DiskCmndFunc();
            DiskCmnd::Check();
        },
        CheckFailure("((unsigned int)TYPE_BUTT) == ((unsigned int)(map_list.size()))"));
}

TEST(CmndRegistryDeathTest, MissingTypeFailsTheLookup)
{
    EnsureCmndRegistry();
    EXPECT_DEATH(
        {
            // Same size, but type 7 replaced by a value outside the catalogue.
            map_list.erase(TYPE_SMART_SUMMARY_ERROR_LOG);
            map_list[1000] = DiskCmndFunc();
            DiskCmnd::Check();
        },
        CheckFailure("it != map_list.end()", "map_list row 7, command type 7 \"SMART Summary error log\""));
}

TEST(CmndRegistryDeathTest, BothLengthFunctionsFail)
{
    EnsureCmndRegistry();
    EXPECT_DEATH(
        {
            map_list[TYPE_IDENTIFY_DEVICE].fun_len_param = FakeA;
            DiskCmnd::Check();
        },
        CheckFailure("!( (__null != it->second.fun_len) && (__null != it->second.fun_len_param))",
                     "map_list row 0, command type 0 \"IDENTIFY DEVICE\""));
}

// Writable copies of the program's tables, spoilt by one case each and checked as a whole.
struct SpoiltTables {
    std::vector<DiskSptItem> spt{disk_spt_list, disk_spt_list + TYPE_BUTT};
    std::vector<CmndTemplate> templates{cmnd_template_list, cmnd_template_list + TYPE_BUTT};
    std::vector<CmndFuncRow> funcs{cmnd_func_list, cmnd_func_list + TYPE_BUTT};
    std::vector<CmndExecTypes> exec_types = DiskCmnd::ExecTypeLists();

    CmndTables View() const
    {
        return CmndTables{spt.data(), templates.data(), funcs.data(), exec_types.data(), exec_types.size()};
    }
    CmndExecTypes& ListOf(CmndExecFun exec)
    {
        for (CmndExecTypes& list : exec_types) {
            if (list.exec == exec) {
                return list;
            }
        }
        ADD_FAILURE() << "no list for the executor";
        return exec_types[0];
    }
};

// What the program's list of an executor holds.
bool ProgramListHolds(CmndExecFun exec, int type)
{
    for (const CmndExecTypes& list : DiskCmnd::ExecTypeLists()) {
        if (list.exec == exec) {
            return list.lists(type);
        }
    }
    return false;
}

bool ProgramLogSenseList(int type) { return ProgramListHolds(ExecLogSense, type); }

// A page that the catalogue runs with the LOG SENSE executor but its list forgot.
bool LogSenseListWithoutTemperature(int type)
{
    return type != TYPE_4DH_TEMPERATURE && ProgramLogSenseList(type);
}

// A vendor log, which the catalogue runs with another executor.
bool LogSenseListWithVendorLog(int type)
{
    return type == TYPE_4DH_READNVSRAM_LOG || ProgramLogSenseList(type);
}

// A vendor log that the catalogue runs with the vendor-log executor but its range left out.
bool VendorLogListWithoutCurrentLog(int type)
{
    return type != TYPE_4DH_READCURRENT_LOG && ProgramListHolds(ExecVendorLogSense, type);
}

// The loader download, which the catalogue runs with WRITE BUFFER, left out of that list.
bool DownloadListWithoutLoader(int type)
{
    return type != TYPE_3BH_DOWNLOAD_R5_LOADER && ProgramListHolds(ExecWriteBufferDownload, type);
}

struct SpoiltTableCase {
    const char* what;
    void (*spoil)(SpoiltTables* t);
    const char* assertion;
    const char* where;  // the table, row and type the message names
};

void PrintTo(const SpoiltTableCase& c, std::ostream* os) { *os << c.what; }

class CatalogueTablesDeathTest : public ::testing::TestWithParam<SpoiltTableCase> {};

TEST_P(CatalogueTablesDeathTest, AbortsWithItsAssertion)
{
    const SpoiltTableCase& c = GetParam();
    SpoiltTables tables;
    c.spoil(&tables);
    EXPECT_DEATH(DiskCmnd::CheckTables(tables.View()),
                 Literal(std::string("static void DiskCmnd::CheckTables(const CmndTables&): Assertion `") +
                         c.assertion + "' failed: " + c.where + "."));
}

INSTANTIATE_TEST_SUITE_P(
    Spoilt, CatalogueTablesDeathTest,
    ::testing::Values(
        SpoiltTableCase{"name rows swapped",
                        [](SpoiltTables* t) { std::swap(t->spt[TYPE_SMART_ENABLE], t->spt[TYPE_SMART_DISABLE]); },
                        "i == (size_t)(tables.spt[i].type)",
                        "disk_spt_list row 2, command type 2 \"SMART ENABLE\""},
        SpoiltTableCase{"catalogue row left out and the last row empty",
                        [](SpoiltTables* t) {
                            t->spt.erase(t->spt.begin() + TYPE_3CH_BLOCK_INFO_CHAIN_TABLE);
                            t->spt.push_back(DiskSptItem{});
                        },
                        "i == (size_t)(tables.spt[i].type)",
                        "disk_spt_list row 96, command type 96 \"[3Ch] Block Info Chain Table\""},
        SpoiltTableCase{"display name left empty",
                        [](SpoiltTables* t) { t->spt[TYPE_4DH_TEMPERATURE].name = ""; },
                        "tables.spt[i].name != nullptr && tables.spt[i].name[0] != '\\0'",
                        "disk_spt_list row 77, command type 77 \"[4Dh] Temperature\""},
        SpoiltTableCase{"template row placed after the next",
                        [](SpoiltTables* t) {
                            std::swap(t->templates[TYPE_4DH_TEMPERATURE], t->templates[TYPE_4DH_SELF_TEST_RESULTS]);
                        },
                        "i == (size_t)(tables.templates[i].type)",
                        "cmnd_template_list row 77, command type 77 \"[4Dh] Temperature\""},
        SpoiltTableCase{"function row placed after the next",
                        [](SpoiltTables* t) {
                            std::swap(t->funcs[TYPE_C0H_GET_DISK_FLAG], t->funcs[TYPE_C1H_SET_DISK_FLAG]);
                        },
                        "i == (size_t)(tables.funcs[i].type)",
                        "cmnd_func_list row 136, command type 136 \"[C0h] Get Disk Flag\""},
        SpoiltTableCase{"last name row left out",
                        [](SpoiltTables* t) { t->spt.back() = DiskSptItem{}; },
                        "!IsEmptyRow(tables.spt[i])", "disk_spt_list row 141, command type none (an empty row)"},
        SpoiltTableCase{"last template row left out",
                        [](SpoiltTables* t) { t->templates.back() = CmndTemplate{}; },
                        "!IsEmptyRow(tables.templates[i])",
                        "cmnd_template_list row 141, command type none (an empty row)"},
        SpoiltTableCase{"last function row left out",
                        [](SpoiltTables* t) { t->funcs.back() = CmndFuncRow{}; },
                        "!IsEmptyRow(tables.funcs[i])", "cmnd_func_list row 141, command type none (an empty row)"},
        SpoiltTableCase{"log sense type missing from its list",
                        [](SpoiltTables* t) { t->ListOf(ExecLogSense).lists = LogSenseListWithoutTemperature; },
                        "!registered || listed",
                        "executor lists row 5, command type 77 \"[4Dh] Temperature\""},
        SpoiltTableCase{"new log sense type without its list row",
                        [](SpoiltTables* t) { t->funcs[TYPE_4DH_READRAIDFLASH_LOG1].fun = ExecLogSense; },
                        "!registered || listed",
                        "executor lists row 5, command type 139 \"[4Dh] ReadRaidFlash LOG1\""},
        SpoiltTableCase{"list holds a type run by another executor",
                        [](SpoiltTables* t) { t->ListOf(ExecLogSense).lists = LogSenseListWithVendorLog; },
                        "!listed || registered",
                        "executor lists row 5, command type 84 \"[4Dh] ReadNVSRAM LOG\""},
        SpoiltTableCase{"listed type sends another opcode",
                        [](SpoiltTables* t) { t->templates[TYPE_5AH_MODE_SENSE_SAVED].regs[0] = 0x1A; },
                        "!listed || list.opcode == kAnyOpcode || list.opcode == tables.templates[i].regs[0]",
                        "executor lists row 0, command type 123 \"[5Ah] Mode Sense(Saved)\""},
        SpoiltTableCase{"vendor log missing from its range",
                        [](SpoiltTables* t) { t->ListOf(ExecVendorLogSense).lists = VendorLogListWithoutCurrentLog; },
                        "!registered || listed",
                        "executor lists row 10, command type 86 \"[4Dh] ReadCurrent LOG\""},
        SpoiltTableCase{"new vendor log type outside the range",
                        [](SpoiltTables* t) { t->funcs[TYPE_4DH_READRAIDFLASH_LOG1].fun = ExecVendorLogSense; },
                        "!registered || listed",
                        "executor lists row 10, command type 139 \"[4Dh] ReadRaidFlash LOG1\""},
        SpoiltTableCase{"vendor log template sends another opcode",
                        [](SpoiltTables* t) { t->templates[TYPE_4DH_READNVALL_LOG].regs[0] = 0x4C; },
                        "!listed || list.opcode == kAnyOpcode || list.opcode == tables.templates[i].regs[0]",
                        "executor lists row 10, command type 87 \"[4Dh] ReadNVAll LOG\""},
        SpoiltTableCase{"loader download missing from its list",
                        [](SpoiltTables* t) { t->ListOf(ExecWriteBufferDownload).lists = DownloadListWithoutLoader; },
                        "!registered || listed",
                        "executor lists row 11, command type 124 \"[3Bh] Download R5 Loader\""},
        SpoiltTableCase{"download template sends another opcode",
                        [](SpoiltTables* t) { t->templates[TYPE_3BH_DOWNLOAD_R5_LOADER].regs[0] = 0x3C; },
                        "!listed || list.opcode == kAnyOpcode || list.opcode == tables.templates[i].regs[0]",
                        "executor lists row 11, command type 124 \"[3Bh] Download R5 Loader\""},
        SpoiltTableCase{"list row left empty",
                        [](SpoiltTables* t) { t->exec_types.push_back(CmndExecTypes{}); },
                        "!IsEmptyRow(list)", "executor lists row 12, command type none (an empty row)"},
        SpoiltTableCase{"list row without its list of types",
                        [](SpoiltTables* t) { t->exec_types.push_back(CmndExecTypes{ExecLogSense, 0x4D, nullptr}); },
                        "list.exec != nullptr && list.lists != nullptr",
                        "executor lists row 12, command type 142 (none)"}),
    CaseName());

TEST(CatalogueTables, ProgramTablesPass)
{
    SpoiltTables tables;
    DiskCmnd::CheckTables(tables.View());
    // The lists the check passed are the executors' own.
    EXPECT_EQ(tables.ListOf(ExecLogSense).opcode, 0x4D);
    EXPECT_TRUE(tables.ListOf(ExecLogSense).lists(TYPE_4DH_TEMPERATURE));
    EXPECT_FALSE(tables.ListOf(ExecLogSense).lists(TYPE_4DH_READNVSRAM_LOG));
    EXPECT_EQ(tables.ListOf(ExecVendorLogSense).opcode, 0x4D);
    EXPECT_TRUE(tables.ListOf(ExecVendorLogSense).lists(TYPE_4DH_READNVSRAM_LOG));
    EXPECT_EQ(tables.ListOf(ExecWriteBufferDownload).opcode, 0x3B);
    EXPECT_TRUE(tables.ListOf(ExecWriteBufferDownload).lists(TYPE_3BH_DOWNLOAD_R5_LOADER));
}

} // namespace
