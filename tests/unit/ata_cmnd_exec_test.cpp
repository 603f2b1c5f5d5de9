// The ATA command executors against an emulated SATA drive, on both working routes (SAT
// and the vendor tunnel): the task files they send (decoded from the emulator's trace),
// how often they open the node, what they put into the caller's buffer, and their errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "ata_cmnd_exec.h"
#include "ata_trace.h"
#include "case_names.h"
#include "disk_cmnd.h"
#include "emu_api.h"
#include "file_utils.h"
#include "msg_processor.h"
#include "settings.h"
#include "test_init.h"

namespace {

using atatest::SentAta;
using zvemu::Bytes;
using zvemu::Hex;

const int kUserBefore = 0x55;
const int kSysBefore = 0x1234;
const char* const kNode = "/dev/sdt";

// The two routes that reach a drive, and the emulated kind that answers each.
struct Route {
    const char* kind;
    u32 link_type;
};
const Route kRoutes[] = {{"sat", LINK_ATA_BY_SCSI}, {"apt", LINK_ATA_BY_FC}};

std::string ReadText(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

Bytes Fill(size_t n, u8 v) { return Bytes(n, v); }

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

u32 U32At(const Bytes& b, size_t off)
{
    u32 v;
    memcpy(&v, b.data() + off, sizeof(v));
    return v;
}

struct Result {
    bool ok = false;
    int user_err = kUserBefore;
    int sys_err = kSysBefore;
    Bytes buf;
    std::vector<SentAta> sent;
    std::string ops;  // open/sgio/close pattern
};

class AtaExec : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        output_flags.save_log = 0;
        raid_kind = RAID_BUTT;
        zvemu::Reset();
    }
    void TearDown() override
    {
        EXPECT_EQ(zvemu::OpenDescriptors(), 0);
        zvemu::Reset();
    }

    // The vendor drive on one route, with extra answers that override its own.
    void LoadDrive(const Route& route, const std::string& extra = "")
    {
        zvemu::Reset();
        const std::string dir = std::string(ZV_TEST_DATA_DIR) + "/ata";
        const std::string text =
            std::string("drive ") + kNode + " " + route.kind + "\n" + ReadText(dir + "/vendor_answers.txt") + extra;
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, dir, &err)) << err;
        disk_ = DiskInfo();
        disk_.device_name = kNode;
        disk_.link_type = route.link_type;
    }

    // One executor call on a buffer that starts as `init` (len bytes, null when len is 0 and no init).
    Result Exec(CmndExecFun fun, int type, u32 len, const Bytes& init = Bytes(), bool null_buf = false)
    {
        Result r;
        r.buf = init;
        r.buf.resize(len, 0);
        std::vector<u8> storage(r.buf.begin(), r.buf.end());
        storage.resize(len > 0 ? len : 1);
        r.ok = fun(type, &disk_, null_buf ? nullptr : storage.data(), len, &r.user_err, &r.sys_err);
        r.buf.assign(storage.begin(), storage.begin() + len);
        std::vector<zvemu::TraceEntry> trace = zvemu::Trace();
        r.sent = atatest::SentAtaCommands(trace);
        r.ops = atatest::OpsText(trace);
        return r;
    }

    DiskInfo disk_;
    SettingsGuard settings_;
};

// The seven current registers of each command sent.
std::vector<std::string> Current(const std::vector<SentAta>& sent)
{
    std::vector<std::string> out;
    for (const SentAta& s : sent) {
        out.push_back(atatest::RegsText(s.regs));
    }
    return out;
}

// The expected open/sgio/close pattern of `commands` ATA commands: one request per command
// on SAT, `apt_requests` on the tunnel; the node opened around each command or around all.
std::string Ops(const Route& route, int commands, int apt_requests, bool open_each)
{
    const int requests = route.link_type == LINK_ATA_BY_FC ? apt_requests : 1;
    std::string s;
    for (int i = 0; i < commands; i++) {
        if (open_each || i == 0) {
            s += s.empty() ? "open" : " open";
        }
        for (int k = 0; k < requests; k++) {
            s += " sgio";
        }
        if (open_each || i == commands - 1) {
            s += " close";
        }
    }
    return s;
}

// ---- ExecAtaCommand: the row's registers unchanged ----

struct RowCase {
    int type;
    const char* regs;
    int dir;
    u32 len;
    u8 first_byte;  // of the answer, for data-in rows
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

const RowCase row_cases[] = {
    {TYPE_IDENTIFY_DEVICE, "00 01 00 00 00 40 EC", 1, 512, 0x00},
    {TYPE_SMART_RETURN_STATUS, "DA 00 00 4F C2 40 B0", 0, 0, 0},
    {TYPE_SMART_ENABLE, "D8 00 00 4F C2 40 B0", 0, 0, 0},
    {TYPE_SMART_DISABLE, "D9 00 00 4F C2 40 B0", 0, 0, 0},
    {TYPE_SMART_VALUE_THRES, "D0 01 00 4F C2 40 B0", 1, 512, 0x10},
    {TYPE_SMART_THRESHOLD, "D1 01 00 4F C2 40 B0", 1, 512, 0x10},
    {TYPE_SMART_LOG_DIRECTORY, "D5 01 00 4F C2 40 B0", 1, 512, 0x01},
    {TYPE_8DH_FLUSH_TABLE_DATA, "06 00 00 00 00 40 8D", 0, 0, 0},
    {TYPE_89H_CHECK_DOWNLOAD_STATUS, "74 01 00 00 00 40 89", 1, 512, 0x01},
    {TYPE_SET_FORMAT_UNIT, "20 00 00 00 00 00 8B", 0, 0, 0},
    {TYPE_SET_TRIM_FLAG, "26 00 00 00 00 00 8B", 0, 0, 0},
};

class AtaCommandRow : public AtaExec, public ::testing::WithParamInterface<RowCase> {};

TEST_P(AtaCommandRow, SendsTheRowOnEachRoute)
{
    const RowCase& c = GetParam();
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecAtaCommand, c.type, 512);
        EXPECT_TRUE(r.ok) << route.kind << " type " << c.type << " user_err " << r.user_err;
        EXPECT_EQ(r.user_err, USER_ERR_UNSUPPORTED) << "a success leaves the preset 6";
        ASSERT_EQ(r.sent.size(), 1u) << route.kind << " type " << c.type;
        EXPECT_EQ(atatest::RegsText(r.sent[0].regs), c.regs) << route.kind << " type " << c.type;
        EXPECT_EQ(r.sent[0].dir, c.dir) << route.kind << " type " << c.type;
        EXPECT_EQ(r.sent[0].len, c.len) << route.kind << " type " << c.type;
        EXPECT_EQ(r.ops, Ops(route, 1, c.dir == 1 ? 3 : 2, true)) << route.kind << " type " << c.type;
        if (c.dir == 1) {
            EXPECT_EQ(r.buf[0], c.first_byte) << route.kind << " type " << c.type;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AtaCommandRow, ::testing::ValuesIn(row_cases), CaseName());

TEST_F(AtaExec, IdentifyFillsTheBufferWithTheDriveAnswer)
{
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512, Fill(512, 0xEE));
        ASSERT_TRUE(r.ok) << route.kind;
        // Model words 27-46 hold the ATA string with its byte pairs swapped.
        EXPECT_EQ(std::string(r.buf.begin() + 54, r.buf.begin() + 62), "UQAMK-44") << route.kind;
        EXPECT_EQ(r.buf[510], 0xA5) << route.kind;
    }
}

// ---- The route of the link type ----

struct LinkCase {
    const char* what;
    const char* kind;
    u32 link_type;
    bool ok;
    int user_err;
    const char* first_cdb;  // "" when nothing is sent
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.what; }

const LinkCase link_cases[] = {
    {"SAT", "sat", LINK_ATA_BY_SCSI, true, USER_ERR_UNSUPPORTED, "85 08 2E 00 00 00 01 00 00 00 00 00 00 40 EC 00"},
    {"tunnel", "apt", LINK_ATA_BY_FC, true, USER_ERR_UNSUPPORTED, "3B 01 06 00 00 00 00 00 1C 00"},
    {"native: answers unsupported", "sat", LINK_ATA, false, USER_ERR_UNSUPPORTED, ""},
    {"SCSI drive", "sas", LINK_SCSI, false, USER_ERR_UNSUPPORTED, ""},
    {"no link type", "sat", 0, false, USER_ERR_UNSUPPORTED, ""},
    {"two link bits", "sat", LINK_ATA_BY_SCSI | LINK_ATA_BY_FC, false, USER_ERR_UNSUPPORTED, ""},
};

class LinkRoute : public AtaExec, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkRoute, PicksTheRouteOfTheLinkType)
{
    const LinkCase& c = GetParam();
    LoadDrive({c.kind, c.link_type});
    Result r = Exec(ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512);
    EXPECT_EQ(r.ok, c.ok) << c.what;
    EXPECT_EQ(r.user_err, c.user_err) << c.what;
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests(kNode);
    if (c.first_cdb[0] == '\0') {
        EXPECT_TRUE(sent.empty()) << c.what;
    } else {
        ASSERT_FALSE(sent.empty()) << c.what;
        EXPECT_EQ(sent[0].cdb, Hex(c.first_cdb)) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LinkRoute, ::testing::ValuesIn(link_cases), CaseName());

// Every executor, with arguments it accepts, on a SAS drive.
struct AnyExecCase {
    const char* what;
    CmndExecFun fun;
    int type;
    u32 len;
};

void PrintTo(const AnyExecCase& c, std::ostream* os) { *os << c.what; }

const AnyExecCase any_exec_cases[] = {
    {"ExecAtaCommand", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512},
    {"ExecAtaVendorRead", ExecAtaVendorRead, TYPE_89H_SYSTEM_INDEX_TABLE, 512},
    {"ExecAtaVendorRead length", ExecAtaVendorRead, TYPE_89H_DEVICE_VENDOR_LOG + CMND_LEN_QUERY, 512},
    {"ExecSmartReadLog", ExecSmartReadLog, TYPE_SMART_SUMMARY_ERROR_LOG, 512},
    {"ExecSmartReadLog length", ExecSmartReadLog, TYPE_SMART_SUMMARY_ERROR_LOG + CMND_LEN_QUERY, 512},
    {"ExecSmartPendList", ExecSmartPendList, TYPE_SMART_PEND_LIST, 1536},
    {"ExecAtaSwitch", ExecAtaSwitch, TYPE_8BH_READ_TABLE_SWITCH, 512},
    {"ExecMaxAddress", ExecMaxAddress, TYPE_READ_NATIVE_MAX_ADDRESS, 9},
    {"ExecWriteWearLevelTableAta", ExecWriteWearLevelTableAta, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 512},
    {"ExecRegisterAccess", ExecRegisterAccess, TYPE_8AH_READ_REGISTER, 512},
    {"ExecWriteCurrentTime", ExecWriteCurrentTime, TYPE_8CH_WRITE_CURRENT_TIME, 512},
};

class ScsiDrive : public AtaExec, public ::testing::WithParamInterface<AnyExecCase> {};

TEST_P(ScsiDrive, EveryAtaExecutorAnswersUnsupported)
{
    const AnyExecCase& c = GetParam();
    LoadDrive({"sas", LINK_SCSI}, "answer scsi *\n");
    Result r = Exec(c.fun, c.type, c.len, Bytes{1, 0, 0, 0});
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_EQ(r.user_err, USER_ERR_UNSUPPORTED) << c.what;
    EXPECT_EQ(r.sys_err, kSysBefore) << c.what;
    EXPECT_TRUE(zvemu::Requests().empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, ScsiDrive, ::testing::ValuesIn(any_exec_cases), CaseName());

// ---- Argument guards: user error 4 before the node is opened ----

struct GuardCase {
    const char* what;
    CmndExecFun fun;
    int type;
    u32 len;
    bool null_buf;
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.what; }

const GuardCase guard_cases[] = {
    {"vendor read, null buffer", ExecAtaVendorRead, TYPE_89H_SYSTEM_INDEX_TABLE, 512, true},
    {"vendor read, shorter than one sector", ExecAtaVendorRead, TYPE_89H_SYSTEM_INDEX_TABLE, 511, false},
    {"vendor read length query, short scratch", ExecAtaVendorRead,
     TYPE_89H_SYSTEM_INDEX_TABLE + CMND_LEN_QUERY, 100, false},
    {"switch, [89h] Check Download Status", ExecAtaSwitch, TYPE_89H_CHECK_DOWNLOAD_STATUS, 512, false},
    {"switch, [8Ah] Get Disk Structure", ExecAtaSwitch, TYPE_8AH_GET_DISK_STRUCTURE, 512, false},
    {"switch, null buffer", ExecAtaSwitch, TYPE_8BH_DYNAMIC_OPTMIZE, 512, true},
    {"switch, 511 bytes", ExecAtaSwitch, TYPE_8BH_DYNAMIC_OPTMIZE, 511, false},
    {"max address, QUMA One-Key Information", ExecMaxAddress, TYPE_QUMA_ONE_KEY_INFORMATION, 9, false},
    {"max address, [89h] Check Download Status", ExecMaxAddress, TYPE_89H_CHECK_DOWNLOAD_STATUS, 9, false},
    {"max address, null buffer", ExecMaxAddress, TYPE_SET_MAX_ADDRESS, 9, true},
    {"max address, 8 bytes", ExecMaxAddress, TYPE_SET_MAX_ADDRESS, 8, false},
    {"wear level, [8Ch] Write Current Time", ExecWriteWearLevelTableAta, TYPE_8CH_WRITE_CURRENT_TIME, 512, false},
    {"wear level, null buffer", ExecWriteWearLevelTableAta, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 512, true},
    {"wear level, length 0", ExecWriteWearLevelTableAta, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 0, false},
    {"wear level, not whole sectors", ExecWriteWearLevelTableAta, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 1000, false},
    {"register, [8Dh] Flush Table & Data", ExecRegisterAccess, TYPE_8DH_FLUSH_TABLE_DATA, 512, false},
    {"register, null buffer", ExecRegisterAccess, TYPE_8AH_READ_REGISTER, 512, true},
    {"register, 511 bytes", ExecRegisterAccess, TYPE_8AH_READ_REGISTER, 511, false},
    {"register, 1024 bytes", ExecRegisterAccess, TYPE_8BH_WRITE_REGISTER, 1024, false},
    {"current time, [8Ch] Write Wear Level Table", ExecWriteCurrentTime, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 512, false},
    {"ATA command, a SCSI row", ExecAtaCommand, TYPE_12H_INQUIRY, 512, false},
    {"ATA command, no such type", ExecAtaCommand, TYPE_BUTT, 512, false},
    {"SMART log, a row without logs", ExecSmartReadLog, TYPE_IDENTIFY_DEVICE, 512, false},
};

class Guard : public AtaExec, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(Guard, RefusesBeforeOpeningTheNode)
{
    const GuardCase& c = GetParam();
    LoadDrive(kRoutes[0]);
    Result r = Exec(c.fun, c.type, c.len, Bytes(), c.null_buf);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_EQ(r.user_err, USER_ERR_ILLEGAL_PARAM) << c.what;
    EXPECT_EQ(r.sys_err, kSysBefore) << c.what;
    EXPECT_TRUE(zvemu::Trace().empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, Guard, ::testing::ValuesIn(guard_cases), CaseName());

// ---- User error 8 from the returned registers ----

struct StatusCase {
    const char* what;
    const char* kind;
    CmndExecFun fun;
    int type;
    u32 len;
    const char* answer;  // overriding answer
    int user_err;
    int sys_err;
    size_t commands;     // ATA commands sent before the executor stopped
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.what; }

const StatusCase status_cases[] = {
    {"SAT: error register set", "sat", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512,
     "answer ata EC\n  size 512\n  regs err=04 status=50\n", USER_ERR_ATA_STATUS, 0x0450, 1},
    {"SAT: status 58h", "sat", ExecAtaCommand, TYPE_SMART_ENABLE, 0, "answer ata B0 fea=D8\n  regs status=58\n",
     USER_ERR_ATA_STATUS, 0x0058, 1},
    {"tunnel: ERR with an error code", "apt", ExecAtaCommand, TYPE_SMART_ENABLE, 0,
     "answer ata B0 fea=D8\n  regs err=04 status=51\n", USER_ERR_ATA_STATUS, 0x0451, 1},
    {"tunnel: an error code after whole data", "apt", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512,
     "answer ata EC\n  size 512\n  regs err=04 status=50\n", USER_ERR_ATA_STATUS, 0x0450, 1},
    {"tunnel: DF", "apt", ExecAtaCommand, TYPE_SMART_DISABLE, 0, "answer ata B0 fea=D9\n  regs status=70\n",
     USER_ERR_ATA_STATUS, 0x0070, 1},
    {"SAT: ERR under CK_COND is the route's sense error, not 8", "sat", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512,
     "answer ata EC\n  regs err=04 status=51\n", USER_ERR_SENSE_ABORTED_COMMAND, kSysBefore, 1},
    {"SAT: a switch whose route fails keeps the route's error", "sat", ExecAtaSwitch, TYPE_8BH_DYNAMIC_OPTMIZE, 512,
     "answer ata 8B fea=17\n  errno EIO\n", USER_ERR_OS_API, EIO, 1},
    {"tunnel: a switch whose buffer write fails keeps the route's error", "apt", ExecAtaSwitch,
     TYPE_8BH_READ_TABLE_SWITCH, 512, "answer scsi 3B mode=1 id=6\n  sense-fixed 5 24 00\n",
     USER_ERR_SENSE_BAD_FIELD, kSysBefore, 1},
    {"SAT: a switch the drive rejects in its registers", "sat", ExecAtaSwitch, TYPE_8BH_64CE_ON_OFF_SWITCH, 512,
     "answer ata 8B fea=19\n  regs err=01 status=50\n", USER_ERR_ATA_STATUS, 0x0150, 1},
    {"tunnel: maximum address read", "apt", ExecMaxAddress, TYPE_READ_NATIVE_MAX_ADDRESS, 9,
     "answer ata F8\n  regs err=04 status=51 lba0=99\n", USER_ERR_ATA_STATUS, 0x0451, 1},
    {"tunnel: register read", "apt", ExecRegisterAccess, TYPE_8AH_READ_REGISTER, 512,
     "answer ata 8A fea=00\n  regs err=10 status=51 lba0=99\n", USER_ERR_ATA_STATUS, 0x1051, 1},
    {"SAT: the second sector of a vendor read", "sat", ExecAtaVendorRead, TYPE_89H_SYSTEM_INDEX_TABLE, 1536,
     "answer ata 89 fea=81 lba=1\n  size 512\n  regs err=40 status=50\n", USER_ERR_ATA_STATUS, 0x4050, 2},
    {"tunnel: the first log page of a SMART log read", "apt", ExecSmartReadLog, TYPE_SMART_HOST_VENDOR_SPECIFIC,
     2048, "answer ata B0 fea=D5 lba0=90\n  size 512\n  regs err=04 status=50\n", USER_ERR_ATA_STATUS, 0x0450, 2},
    {"SAT: the second page of the pending list", "sat", ExecSmartPendList, TYPE_SMART_PEND_LIST, 1536,
     "answer ata B0 fea=D5 lba0=B0 cnt=2\n  size 512\n  regs err=04 status=50\n", USER_ERR_ATA_STATUS, 0x0450, 3},
    {"tunnel: the first chunk of a wear-level table", "apt", ExecWriteWearLevelTableAta,
     TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 1024, "answer ata 8C fea=F7\n  regs err=04 status=51\n",
     USER_ERR_ATA_STATUS, 0x0451, 1},
    {"SAT: current time", "sat", ExecWriteCurrentTime, TYPE_8CH_WRITE_CURRENT_TIME, 0,
     "answer ata 8C fea=F6\n  regs err=80 status=50\n", USER_ERR_ATA_STATUS, 0x8050, 1},
    // The drive's rejection, not the data phase it left empty, is what is reported.
    {"tunnel: an IDENTIFY the drive rejects, without data", "apt", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512,
     "answer ata EC\n  regs err=04 status=51\n", USER_ERR_ATA_STATUS, 0x0451, 1},
};

class ReturnedStatus : public AtaExec, public ::testing::WithParamInterface<StatusCase> {
protected:
    void ExpectFailure(const StatusCase& c);
};

TEST_P(ReturnedStatus, FailsWithErrorTimes256PlusStatus) { ExpectFailure(GetParam()); }

void ReturnedStatus::ExpectFailure(const StatusCase& c)
{
    const Route route = std::string(c.kind) == "sat" ? kRoutes[0] : kRoutes[1];
    LoadDrive(route, c.answer);
    Bytes init = Fill(c.len, 0xEE);
    if (c.fun == ExecRegisterAccess) {
        init = Concat({Hex("02000000 EEEEEEEE 00000000 78563412"), Fill(496, 0)});
    }
    Result r = Exec(c.fun, c.type, c.len, init);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_EQ(r.user_err, c.user_err) << c.what;
    EXPECT_EQ(r.sys_err, c.sys_err) << c.what;
    EXPECT_EQ(r.sent.size(), c.commands) << c.what;
    if (c.fun == ExecMaxAddress || c.fun == ExecRegisterAccess) {
        EXPECT_EQ(r.buf, init) << c.what << ": a failed read leaves the buffer";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReturnedStatus, ::testing::ValuesIn(status_cases), CaseName());

// Answers that did not arrive: data short of whole sectors, and values read from registers
// the drive never sent back.
const StatusCase not_arrived_cases[] = {
    {"SAT: IDENTIFY short of its sector", "sat", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512,
     "answer ata EC\n  size 100\n", USER_ERR_OS_API, EIO, 1},
    {"tunnel: IDENTIFY without data", "apt", ExecAtaCommand, TYPE_IDENTIFY_DEVICE, 512, "answer ata EC\n",
     USER_ERR_OS_API, EIO, 1},
    {"SAT: a maximum address read without returned registers", "sat", ExecMaxAddress,
     TYPE_READ_NATIVE_MAX_ADDRESS, 9, "answer ata F8\n  status-return none\n", USER_ERR_SAT_NO_CHECK_CONDITION,
     kSysBefore, 1},
    {"SAT: a 48-bit maximum address read without returned registers", "sat", ExecMaxAddress,
     TYPE_READ_NATIVE_MAX_ADDRESS_EXT, 9, "answer ata 27\n  status-return none\n",
     USER_ERR_SAT_NO_CHECK_CONDITION, kSysBefore, 1},
    {"SAT: a register read without returned registers", "sat", ExecRegisterAccess, TYPE_8AH_READ_REGISTER, 512,
     "answer ata 8A fea=00\n  status-return none\n", USER_ERR_SAT_NO_CHECK_CONDITION, kSysBefore, 1},
    {"SAT: a maximum address read returned in fixed format, which is not read", "sat", ExecMaxAddress,
     TYPE_READ_NATIVE_MAX_ADDRESS, 9, "answer ata F8\n  sense-fixed 1 00 1D\n", USER_ERR_SAT_NO_CHECK_CONDITION,
     kSysBefore, 1},
    {"tunnel: a maximum address read whose status block stops short", "apt", ExecMaxAddress,
     TYPE_READ_NATIVE_MAX_ADDRESS, 9, "answer ata F8\n  status-block 12\n", USER_ERR_OS_API, EIO, 1},
    {"SAT: a wear-level sector not taken whole: nothing after it", "sat", ExecWriteWearLevelTableAta,
     TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 1536, "answer ata 8C fea=F7\n  resid 512\n", USER_ERR_OS_API, EIO, 1},
    {"tunnel: the second wear-level sector not taken whole", "apt", ExecWriteWearLevelTableAta,
     TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, 1536, "answer ata 8C fea=F7 lba0=01\n  resid 4\n", USER_ERR_OS_API, EIO,
     2},
};

class AnswerNotArrived : public ReturnedStatus {};

TEST_P(AnswerNotArrived, FailsWithoutTakingIt) { ExpectFailure(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Cases, AnswerNotArrived, ::testing::ValuesIn(not_arrived_cases), CaseName());

// ---- Vendor reads: length queries and the per-sector reads ----

struct VendorLenCase {
    int type;
    const char* regs;
    u32 length;
};

void PrintTo(const VendorLenCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

const VendorLenCase vendor_len_cases[] = {
    {TYPE_89H_DEVICE_VENDOR_LOG, "00 01 00 00 00 40 89", 1536},
    {TYPE_89H_SYSTEM_INDEX_TABLE, "01 01 00 00 00 40 89", 1536},
    {TYPE_89H_DEVICE_ALL_VENDOR_LOG, "72 01 00 00 00 40 89", 1024},
};

class VendorLength : public AtaExec, public ::testing::WithParamInterface<VendorLenCase> {};

TEST_P(VendorLength, AsksWithoutBit7AndReturnsSectorsTimes512)
{
    const VendorLenCase& c = GetParam();
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecAtaVendorRead, c.type + CMND_LEN_QUERY, 512);
        EXPECT_TRUE(r.ok) << route.kind << " type " << c.type << " user_err " << r.user_err;
        EXPECT_EQ(Current(r.sent), std::vector<std::string>{c.regs}) << route.kind << " type " << c.type;
        EXPECT_EQ(r.sent[0].len, 512u) << route.kind;
        EXPECT_EQ(U32At(r.buf, 0), c.length) << route.kind << " type " << c.type;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorLength, ::testing::ValuesIn(vendor_len_cases), CaseName());

TEST_F(AtaExec, VendorLengthThatWouldWrapIsRefused)
{
    LoadDrive(kRoutes[0], "answer ata 89 fea=01\n  size 512\n  le 0 4 0x00800000\n");
    Result r = Exec(ExecAtaVendorRead, TYPE_89H_SYSTEM_INDEX_TABLE + CMND_LEN_QUERY, 512);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.user_err, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(U32At(r.buf, 0), 0u);
}

TEST_F(AtaExec, VendorReadReopensTheNodeForEverySector)
{
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        // 1600 bytes hold three whole sectors; the rest is not read.
        Result r = Exec(ExecAtaVendorRead, TYPE_89H_SYSTEM_INDEX_TABLE, 1600, Fill(1600, 0xEE));
        ASSERT_TRUE(r.ok) << route.kind << " user_err " << r.user_err;
        EXPECT_EQ(Current(r.sent), (std::vector<std::string>{"81 01 00 00 00 40 89", "81 01 01 00 00 40 89",
                                                             "81 01 02 00 00 40 89"}))
            << route.kind;
        EXPECT_EQ(r.ops, Ops(route, 3, 3, true)) << route.kind;
        EXPECT_EQ(r.buf, Concat({Fill(512, 0x81), Fill(512, 0x82), Fill(512, 0x83), Fill(64, 0xEE)})) << route.kind;
    }
}

TEST_F(AtaExec, VendorReadThroughTheRegistryUsesItsOwnLengthQuery)
{
    EnsureCmndRegistry();
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        u32 len = 0;
        int ue = kUserBefore, se = kSysBefore;
        ASSERT_TRUE(DiskCmnd::GetDataLen(TYPE_89H_DEVICE_VENDOR_LOG, &disk_, &len, &ue, &se)) << route.kind;
        ASSERT_EQ(len, 1536u) << route.kind;
        std::vector<u8> buf(len, 0);
        ASSERT_TRUE(DiskCmnd::Execute(TYPE_89H_DEVICE_VENDOR_LOG, &disk_, buf.data(), len, &ue, &se)) << route.kind;
        EXPECT_EQ(Bytes(buf.begin(), buf.end()), Fill(1536, 0x80)) << route.kind;
        EXPECT_EQ(atatest::SentAtaCommands(zvemu::Trace()).size(), 4u) << route.kind;
    }
}

// ---- SMART logs driven by the log directory ----

const std::string kDir = "D5 01 00 4F C2 40 B0";  // the directory read
// A directory that arrives with its data but fails in its registers.
const char* const kFailedDirectory = "answer ata B0 fea=D5 lba0=00\n  size 512\n  le 0x120 2 1\n  regs err=04 status=50\n";

struct LogCase {
    const char* what;
    int type;  // + CMND_LEN_QUERY for a length query
    u32 len;
    const char* extra;  // overriding answers
    bool ok;
    int user_err;
    std::vector<std::string> sent;
    u32 first_word;  // the u32 at the start of the buffer afterwards
    Bytes data;      // the buffer afterwards, when not empty
    int opens;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.what; }

const LogCase log_cases[] = {
    {"length of logs 90h-9Fh: the directory's 1 + 2 + 1 sectors", TYPE_SMART_HOST_VENDOR_SPECIFIC + CMND_LEN_QUERY,
     512, "", true, USER_ERR_UNSUPPORTED, {kDir}, 2048, Bytes(), 1},
    {"length of logs A0h-BFh: 32 logs, C0h not among them", TYPE_SMART_DEVICE_VENDOR_SPECIFIC + CMND_LEN_QUERY,
     512, "answer ata B0 fea=D5 lba0=00\n  size 512\n  le 0x140 2 2\n  le 0x160 2 3\n  le 0x17E 2 1\n"
          "  le 0x180 2 5\n  le 0x13E 2 7\n",
     true, USER_ERR_UNSUPPORTED, {kDir}, 3072, Bytes(), 1},
    {"length of the summary error log", TYPE_SMART_SUMMARY_ERROR_LOG + CMND_LEN_QUERY, 512, "", true,
     USER_ERR_UNSUPPORTED, {kDir}, 512, Bytes(), 1},
    {"logs 90h-9Fh: only logs with sectors, each at its own address", TYPE_SMART_HOST_VENDOR_SPECIFIC, 2048, "",
     true, USER_ERR_UNSUPPORTED,
     {kDir, "D5 01 90 4F C2 40 B0", "D5 02 93 4F C2 40 B0", "D5 01 9F 4F C2 40 B0"}, 0x90909090,
     Concat({Fill(512, 0x90), Fill(512, 0x93), Fill(512, 0x94), Fill(512, 0x9F)}), 2},
    {"the summary error log", TYPE_SMART_SUMMARY_ERROR_LOG, 512, "", true, USER_ERR_UNSUPPORTED,
     {kDir, "D5 01 01 4F C2 40 B0"}, 0x01010101, Fill(512, 0x01), 2},
    {"a log without sectors: only the directory is read", TYPE_SMART_EXTEND_COMPRE_ERR_LOG, 512, "", true,
     USER_ERR_UNSUPPORTED, {kDir}, 0, Bytes(), 1},
    {"the directory grew past the buffer: nothing is read", TYPE_SMART_HOST_VENDOR_SPECIFIC, 1536, "", false,
     USER_ERR_ILLEGAL_PARAM, {kDir}, 2048, Bytes(), 1},
    {"a failed directory read still writes its length", TYPE_SMART_HOST_VENDOR_SPECIFIC + CMND_LEN_QUERY, 512,
     kFailedDirectory, false, USER_ERR_ATA_STATUS, {kDir}, 512, Bytes(), 1},
    {"a failed directory read ends the read", TYPE_SMART_HOST_VENDOR_SPECIFIC, 2048,
     kFailedDirectory, false, USER_ERR_ATA_STATUS, {kDir}, 512, Bytes(), 1},
    {"the first failed page ends the read; earlier pages stay", TYPE_SMART_HOST_VENDOR_SPECIFIC, 2048,
     "answer ata B0 fea=D5 lba0=93\n  size 1024\n  regs err=04 status=50\n", false, USER_ERR_ATA_STATUS,
     {kDir, "D5 01 90 4F C2 40 B0", "D5 02 93 4F C2 40 B0"}, 0x90909090, Bytes(), 2},
};

class SmartLog : public AtaExec, public ::testing::WithParamInterface<LogCase> {};

TEST_P(SmartLog, ReadsTheLogsTheDirectoryNames)
{
    const LogCase& c = GetParam();
    for (const Route& route : kRoutes) {
        LoadDrive(route, c.extra);
        Result r = Exec(ExecSmartReadLog, c.type, c.len, Fill(c.len, 0xEE));
        EXPECT_EQ(r.ok, c.ok) << route.kind << ": " << c.what << " user_err " << r.user_err;
        EXPECT_EQ(r.user_err, c.user_err) << route.kind << ": " << c.what;
        EXPECT_EQ(Current(r.sent), c.sent) << route.kind << ": " << c.what;
        EXPECT_EQ(U32At(r.buf, 0), c.first_word) << route.kind << ": " << c.what;
        if (!c.data.empty()) {
            EXPECT_EQ(r.buf, c.data) << route.kind << ": " << c.what;
        }
        size_t opens = 0;
        for (const zvemu::TraceEntry& e : zvemu::Trace()) {
            opens += e.op == "open" ? 1 : 0;
        }
        EXPECT_EQ(opens, static_cast<size_t>(c.opens)) << route.kind << ": " << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SmartLog, ::testing::ValuesIn(log_cases), CaseName());

const LogCase pend_cases[] = {
    {"length: log B0h's 3 sectors; the 1 + 1 of B1h and B2h are not read, so not counted",
     TYPE_SMART_PEND_LIST + CMND_LEN_QUERY, 512, "", true, USER_ERR_UNSUPPORTED, {kDir}, 1536, Bytes(), 1},
    {"length: B1h-B7h at 65535 sectors each leave B0h's 2", TYPE_SMART_PEND_LIST + CMND_LEN_QUERY, 512,
     "answer ata B0 fea=D5 lba0=00\n  size 512\n  le 0x160 2 2\n  le 0x162 2 0xFFFF\n  le 0x164 2 0xFFFF\n"
     "  le 0x166 2 0xFFFF\n  le 0x168 2 0xFFFF\n  le 0x16A 2 0xFFFF\n  le 0x16C 2 0xFFFF\n  le 0x16E 2 0xFFFF\n",
     true, USER_ERR_UNSUPPORTED, {kDir}, 1024, Bytes(), 1},
    {"3 sectors in B0h: counts 1, 2, 3 into consecutive sectors", TYPE_SMART_PEND_LIST, 1536, "", true,
     USER_ERR_UNSUPPORTED, {kDir, "D5 01 B0 4F C2 40 B0", "D5 02 B0 4F C2 40 B0", "D5 03 B0 4F C2 40 B0"},
     0xB1B1B1B1, Concat({Fill(512, 0xB1), Fill(512, 0xB2), Fill(512, 0xB3)}), 2},
    {"an empty list reads nothing after the directory", TYPE_SMART_PEND_LIST, 512,
     "answer ata B0 fea=D5 lba0=00\n  size 512\n", true, USER_ERR_UNSUPPORTED, {kDir}, 0, Bytes(), 1},
    {"the list grew past the buffer: nothing is read", TYPE_SMART_PEND_LIST, 1024, "", false,
     USER_ERR_ILLEGAL_PARAM, {kDir}, 1536, Bytes(), 1},
    {"256 pages do not fit the 8-bit page count: nothing is read", TYPE_SMART_PEND_LIST, 132096,
     "answer ata B0 fea=D5 lba0=00\n  size 512\n  le 0x160 2 256\n  le 0x162 2 1\n  le 0x164 2 1\n", false,
     USER_ERR_ILLEGAL_PARAM, {kDir}, 131072, Bytes(), 1},
};

class PendList : public SmartLog {};

TEST_P(PendList, ReadsLogB0hPageByPage)
{
    const LogCase& c = GetParam();
    for (const Route& route : kRoutes) {
        LoadDrive(route, c.extra);
        Result r = Exec(ExecSmartPendList, c.type, c.len, Fill(c.len, 0xEE));
        EXPECT_EQ(r.ok, c.ok) << route.kind << ": " << c.what << " user_err " << r.user_err;
        EXPECT_EQ(r.user_err, c.user_err) << route.kind << ": " << c.what;
        EXPECT_EQ(Current(r.sent), c.sent) << route.kind << ": " << c.what;
        EXPECT_EQ(U32At(r.buf, 0), c.first_word) << route.kind << ": " << c.what;
        if (!c.data.empty()) {
            EXPECT_EQ(r.buf, c.data) << route.kind << ": " << c.what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PendList, ::testing::ValuesIn(pend_cases), CaseName());

TEST_F(AtaExec, SmartLogLengthQueryWithoutBufferStillAnswers)
{
    LoadDrive(kRoutes[0]);
    int ue = kUserBefore, se = kSysBefore;
    EXPECT_TRUE(ExecSmartReadLog(TYPE_SMART_SUMMARY_ERROR_LOG + CMND_LEN_QUERY, &disk_, nullptr, 0, &ue, &se));
    EXPECT_EQ(atatest::SentAtaCommands(zvemu::Trace()).size(), 1u);
}

// ---- Switches, maximum address, wear-level table ----

struct SwitchCase {
    int type;
    Bytes values;  // buf[0], buf[1]
    const char* regs;
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

const SwitchCase switch_cases[] = {
    {TYPE_8BH_DYNAMIC_OPTMIZE, {0x03, 0x07}, "17 03 07 00 00 40 8B"},
    {TYPE_8BH_READ_TABLE_SWITCH, {0x01, 0x09}, "18 01 00 00 00 40 8B"},
    {TYPE_8BH_64CE_ON_OFF_SWITCH, {0x00, 0x09}, "19 00 00 00 00 40 8B"},
};

class Switch : public AtaExec, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(Switch, SendsTheCallersValuesWithoutData)
{
    const SwitchCase& c = GetParam();
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecAtaSwitch, c.type, 512, c.values);
        EXPECT_TRUE(r.ok) << route.kind << " type " << c.type << " user_err " << r.user_err;
        EXPECT_EQ(Current(r.sent), std::vector<std::string>{c.regs}) << route.kind << " type " << c.type;
        EXPECT_EQ(r.sent[0].dir, 0) << route.kind;
        EXPECT_EQ(r.sent[0].len, 0u) << route.kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Switch, ::testing::ValuesIn(switch_cases), CaseName());

struct MaxCase {
    const char* what;
    int type;
    Bytes buf;             // the MaxAddressRegs before
    const char* sent;      // current registers
    const char* sent_hob;  // previous registers, for 48-bit commands ("" otherwise)
    Bytes after;           // the MaxAddressRegs after
};

void PrintTo(const MaxCase& c, std::ostream* os) { *os << c.what; }

const MaxCase max_cases[] = {
    {"SET, volatile: count 1, the address in its registers", TYPE_SET_MAX_ADDRESS,
     Hex("11 22 33 44 55 66 05 00 01"), "00 01 11 33 55 45 F9", "", Hex("11 22 33 44 55 66 05 00 01")},
    {"SET EXT, kept: count 0, LBA 47:24 in the previous registers", TYPE_SET_MAX_ADDRESS_EXT,
     Hex("11 22 33 44 55 66 00 01 00"), "00 00 11 33 55 40 37", "00 00 22 44 66",
     Hex("11 22 33 44 55 66 00 01 00")},
    {"READ: the returned 28-bit address and device come back", TYPE_READ_NATIVE_MAX_ADDRESS, Fill(9, 0xEE),
     "00 00 00 00 00 40 F8", "", Hex("2F 00 22 00 A5 00 4B EE EE")},
    {"READ EXT: the returned 48-bit address", TYPE_READ_NATIVE_MAX_ADDRESS_EXT, Fill(9, 0xEE),
     "00 00 00 00 00 40 27", "00 00 00 00 00", Hex("2F 0B 22 01 A5 02 40 EE EE")},
};

class MaxAddress : public AtaExec, public ::testing::WithParamInterface<MaxCase> {};

TEST_P(MaxAddress, PacksTheNineByteBlock)
{
    const MaxCase& c = GetParam();
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecMaxAddress, c.type, 9, c.buf);
        EXPECT_TRUE(r.ok) << route.kind << ": " << c.what << " user_err " << r.user_err;
        ASSERT_EQ(r.sent.size(), 1u) << route.kind << ": " << c.what;
        EXPECT_EQ(atatest::RegsText(r.sent[0].regs), c.sent) << route.kind << ": " << c.what;
        if (c.sent_hob[0] != '\0') {
            Bytes hob(r.sent[0].regs.begin() + 7, r.sent[0].regs.end());
            EXPECT_EQ(atatest::RegsText(hob, 5), c.sent_hob) << route.kind << ": " << c.what;
        }
        EXPECT_EQ(r.sent[0].dir, 0) << route.kind;
        EXPECT_EQ(r.buf, c.after) << route.kind << ": " << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MaxAddress, ::testing::ValuesIn(max_cases), CaseName());

TEST_F(AtaExec, SetMaxOn28BitSatCarriesTheHighBytesUnflagged)
{
    // The previous registers go into the CDB whatever the command; EXTEND stays clear.
    LoadDrive(kRoutes[0]);
    Result r = Exec(ExecMaxAddress, TYPE_SET_MAX_ADDRESS, 9, Hex("11 22 33 44 55 66 05 00 00"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(zvemu::Requests(kNode)[0].cdb, Hex("85 06 2C 00 00 00 00 22 11 44 33 66 55 45 F9 00"));
}

struct WearCase {
    u32 len;
    std::vector<std::string> sent;
};

void PrintTo(const WearCase& c, std::ostream* os) { *os << c.len << " bytes"; }

const WearCase wear_cases[] = {
    {512, {"F7 01 00 00 80 40 8C"}},
    {1024, {"F7 01 00 00 00 40 8C", "F7 01 01 00 80 40 8C"}},
    {1536, {"F7 01 00 00 00 40 8C", "F7 01 01 00 00 40 8C", "F7 01 02 00 80 40 8C"}},
};

class WearLevel : public AtaExec, public ::testing::WithParamInterface<WearCase> {};

TEST_P(WearLevel, WritesSectorBySectorAndMarksTheLast)
{
    const WearCase& c = GetParam();
    Bytes table;
    for (u32 i = 0; i < c.len; i++) {
        table.push_back(static_cast<u8>(i / 512 + 1));
    }
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecWriteWearLevelTableAta, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, c.len, table);
        EXPECT_TRUE(r.ok) << route.kind << " " << c.len << " user_err " << r.user_err;
        EXPECT_EQ(Current(r.sent), c.sent) << route.kind << " " << c.len;
        for (size_t k = 0; k < r.sent.size(); k++) {
            EXPECT_EQ(r.sent[k].dir, 2) << route.kind;
            EXPECT_EQ(r.sent[k].data_out, Bytes(table.begin() + k * 512, table.begin() + (k + 1) * 512))
                << route.kind << " command " << k;
        }
        EXPECT_EQ(r.ops, Ops(route, static_cast<int>(c.sent.size()), 2, false)) << route.kind << " " << c.len;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WearLevel, ::testing::ValuesIn(wear_cases), CaseName());

// ---- Register access ----

struct RegisterCase {
    const char* what;
    int type;
    u32 width;
    u32 value;
    u32 address;
    const char* sent;
    int dir;
    u32 value_after;
};

void PrintTo(const RegisterCase& c, std::ostream* os) { *os << c.what; }

const RegisterCase register_cases[] = {
    {"read 2 bytes: address in LBA, device and the count's high nibble; value cut to 16 bits",
     TYPE_8AH_READ_REGISTER, 2, 0, 0x12345678, "00 12 78 56 34 02 8A", 0, 0xEF12},
    {"read 1 byte: value cut to 8 bits", TYPE_8AH_READ_REGISTER, 1, 0, 0x12345678, "00 11 78 56 34 02 8A", 0,
     0x12},
    {"read 4 bytes: count and LBA 23:0 make the value", TYPE_8AH_READ_REGISTER, 4, 0, 0xF0000001,
     "00 F4 01 00 00 00 8A", 0, 0xABCDEF12},
    {"write: count low nibble 1, the block as data", TYPE_8BH_WRITE_REGISTER, 4, 0xCAFE, 0xA9000010,
     "02 A1 10 00 00 09 8B", 2, 0xCAFE},
};

class RegisterAccess : public AtaExec, public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterAccess, PacksTheAddressAndCompletesReads)
{
    const RegisterCase& c = GetParam();
    RegisterAccessBlock block;
    memset(&block, 0, sizeof(block));
    block.width = c.width;
    block.value = c.value;
    block.save_to_disk = 1;
    block.address = c.address;
    const u8* raw = reinterpret_cast<const u8*>(&block);
    const Bytes before(raw, raw + sizeof(block));
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        Result r = Exec(ExecRegisterAccess, c.type, 512, before);
        EXPECT_TRUE(r.ok) << route.kind << ": " << c.what << " user_err " << r.user_err;
        ASSERT_EQ(r.sent.size(), 1u) << route.kind << ": " << c.what;
        EXPECT_EQ(atatest::RegsText(r.sent[0].regs), c.sent) << route.kind << ": " << c.what;
        EXPECT_EQ(r.sent[0].dir, c.dir) << route.kind << ": " << c.what;
        if (c.dir == 2) {
            EXPECT_EQ(r.sent[0].data_out, before) << route.kind << ": " << c.what;
        }
        RegisterAccessBlock after;
        memcpy(&after, r.buf.data(), sizeof(after));
        EXPECT_EQ(after.value, c.value_after) << route.kind << ": " << c.what;
        Bytes rest_before = before, rest_after = r.buf;
        memset(rest_before.data() + 4, 0, 4);
        memset(rest_after.data() + 4, 0, 4);
        EXPECT_EQ(rest_after, rest_before) << route.kind << ": only the value changes";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisterAccess, ::testing::ValuesIn(register_cases), CaseName());

// ---- Write Current Time ----

TEST_F(AtaExec, WriteCurrentTimeSendsTheHostTimeInOneSector)
{
    for (const Route& route : kRoutes) {
        LoadDrive(route);
        const std::string date = GetDateStr();
        Result r = Exec(ExecWriteCurrentTime, TYPE_8CH_WRITE_CURRENT_TIME, 16, Fill(16, 0xEE));
        EXPECT_TRUE(r.ok) << route.kind << " user_err " << r.user_err;
        ASSERT_EQ(r.sent.size(), 1u) << route.kind;
        EXPECT_EQ(atatest::RegsText(r.sent[0].regs), "F6 01 00 00 00 40 8C") << route.kind;
        EXPECT_EQ(r.sent[0].dir, 2) << route.kind;
        const Bytes& sector = r.sent[0].data_out;
        ASSERT_EQ(sector.size(), 512u) << route.kind;
        // "YYYY-MM-DD HH:MM:SS:mmm", then zeros.
        const std::string text(sector.begin(), sector.begin() + 23);
        const std::string pattern = "####-##-## ##:##:##:###";
        for (size_t i = 0; i < pattern.size(); i++) {
            if (pattern[i] == '#') {
                EXPECT_TRUE(text[i] >= '0' && text[i] <= '9') << route.kind << ": " << text;
            } else {
                EXPECT_EQ(text[i], pattern[i]) << route.kind << ": " << text;
            }
        }
        EXPECT_EQ(text.substr(0, 10), date) << route.kind;
        EXPECT_EQ(Bytes(sector.begin() + 23, sector.end()), Fill(512 - 23, 0)) << route.kind;
        EXPECT_EQ(r.buf, Fill(16, 0xEE)) << route.kind << ": the caller's buffer is not used";
    }
}

} // namespace
