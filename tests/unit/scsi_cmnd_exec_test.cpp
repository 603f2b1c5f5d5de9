// The SCSI command executors against an emulated SAS drive: the requests each one sends
// for its length query and the read or write that follows (read back from the emulator's
// trace), where the data lands, the guards, and the refusals of lengths and addresses
// that would reach past the caller's buffer or the CDB's fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "disk_cmnd.h"
#include "emu_api.h"
#include "exec_drive.h"
#include "msg_processor.h"
#include "scsi_cmnd_exec.h"
#include "settings.h"
#include "test_init.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

using execdrive::kNode;
using execdrive::kSysBefore;
const int Q = CMND_LEN_QUERY;

// What one request must look like: the CDB, the direction and the transfer length.
struct Req {
    const char* cdb;
    int dir;
    u32 len;
};

const int IN = zvemu::TRACE_DIR_IN;
const int OUT = zvemu::TRACE_DIR_OUT;
const int NONE = zvemu::TRACE_DIR_NONE;

std::string ReqText(const Bytes& cdb, int dir, u32 len)
{
    return zvemu::HexText(cdb) + " " + zvemu::DirName(dir) + " " + std::to_string(len);
}

std::string ReqText(const Req& r) { return ReqText(Hex(r.cdb), r.dir, r.len); }

std::string ReqText(const TraceEntry& e) { return ReqText(e.cdb, e.dir, e.len); }

u32 LenWord(const u8* buf)
{
    u32 v;
    memcpy(&v, buf, sizeof(v));
    return v;
}

// The executors' drive, a SAS drive unless a case loads another kind.
class ScsiExec : public execdrive::ExecDriveTest {
protected:
    using ExecDriveTest::Drive;
    // A SAS drive with the given answer lines.
    void Drive(const std::string& answers) { Drive("sas", answers); }
};

// ---------------------------------------------------------------------------------------
// The road of a command type: its length (asked from the drive or fixed), then the run.

struct Got {
    u32 offset;
    u8 value;
};

struct FlowCase {
    int type;
    CmndExecFun exec;          // the executor the catalogue runs the type with
    const char* answers;       // the drive's fixture lines
    u32 given_len;             // 0: the length comes from DiskCmnd::GetDataLen; else the caller brings it
    u32 want_len;              // the length the run then uses
    u32 nvram_addr;            // type 113: the start address the caller puts in bytes 0-3
    std::vector<Req> query;    // requests of the length query (none for a fixed length)
    std::vector<Req> run;      // requests of the run
    std::vector<Got> got;      // bytes the drive's answer leaves in the buffer
};

const FlowCase flow_cases[] = {
    // MODE SENSE(10): 16-byte header, then the mode data length + 2.
    {TYPE_5AH_MODE_SENSE_CURRENT, ExecModeSense,
     "answer scsi 5A page=3F pc=0 subpage=FF\n size 0x125\n be 0 2 0x0123\n put 0x124 7E\n", 0, 0x125, 0,
     {{"5A 00 3F FF 00 00 00 00 10 00", IN, 16}},
     {{"5A 00 3F FF 00 00 00 01 25 00", IN, 0x125}},
     {{1, 0x23}, {0x124, 0x7E}}},
    {TYPE_5AH_MODE_SENSE_SAVED, ExecModeSense,
     "answer scsi 5A page=3F pc=3\n size 0x40\n be 0 2 0x3E\n", 0, 0x40, 0,
     {{"5A 00 FF FF 00 00 00 00 10 00", IN, 16}},
     {{"5A 00 FF FF 00 00 00 00 40 00", IN, 0x40}},
     {{1, 0x3E}}},
    // READ DEFECT DATA(12): 8-byte header, then the defect list length + 8.
    {TYPE_37H_PRIMARY_DEFECT_DATA, ExecReadDefectData,
     "answer scsi B7 plist=1\n size 0x48\n be 4 4 0x40\n put 0x47 99\n", 0, 0x48, 0,
     {{"B7 10 00 00 00 00 00 00 00 08 00 00", IN, 8}},
     {{"B7 10 00 00 00 00 00 00 00 48 00 00", IN, 0x48}},
     {{7, 0x40}, {0x47, 0x99}}},
    {TYPE_37H_GROWN_DEFECT_DATA, ExecReadDefectData,
     "answer scsi B7 glist=1\n size 0x10200\n be 4 4 0x101F8\n put 0x101FF 5A\n", 0, 0x10200, 0,
     {{"B7 08 00 00 00 00 00 00 00 08 00 00", IN, 8}},
     {{"B7 08 00 00 00 00 00 01 02 00 00 00", IN, 0x10200}},
     {{0x101FF, 0x5A}}},
    // LOG SENSE: 4-byte header, then the page length + 4; fixed pages are read at once.
    {TYPE_4DH_INFORMATIONAL_EXCEPTIONS, ExecLogSense,
     "answer scsi 4D page=2F\n data 2F 00 00 08 00 00 03 04 00 00 26 00\n", 0, 12, 0,
     {{"4D 00 2F 00 00 00 00 00 04 00", IN, 4}},
     {{"4D 00 2F 00 00 00 00 00 0C 00", IN, 12}},
     {{3, 0x08}, {10, 0x26}}},
    {TYPE_4DH_WRITE_ERROR_COUNTER_PC0, ExecLogSense,
     "answer scsi 4D page=02 pc=0\n data 02 00 00 6C\n size 112\n put 111 01\n", 0, 112, 0,
     {},
     {{"4D 00 02 00 00 00 00 00 70 00", IN, 112}},
     {{0, 0x02}, {111, 0x01}}},
    // INQUIRY VPD: 4-byte header, then the page length + 4.
    {TYPE_12H_INQUIRY_SCSI_PORTS, ExecInquiryVpd,
     "answer scsi 12 evpd=1 page=88\n data 00 88 00 20\n size 0x24\n put 0x23 5C\n", 0, 0x24, 0,
     {{"12 01 88 00 04 00 00 00 00 00", IN, 4}},
     {{"12 01 88 00 24 00 00 00 00 00", IN, 0x24}},
     {{1, 0x88}, {0x23, 0x5C}}},
    {TYPE_12H_INQUIRY_BLOCK_DEVICE, ExecInquiryVpd,
     "answer scsi 12 evpd=1 page=B1\n data 00 B1 00 3C\n size 0x40\n", 0, 0x40, 0,
     {{"12 01 B1 00 04 00 00 00 00 00", IN, 4}},
     {{"12 01 B1 00 40 00 00 00 00 00", IN, 0x40}},
     {{1, 0xB1}}},
    // Addressed C0h table: the row before answers address and length; three chunks from that address.
    {TYPE_C0H_SYSTEM_BLOCK_TABLE, ExecVendorTableRead,
     "answer scsi C0 fn=02 sel=02\n le 0 4 0x00200000\n le 4 4 2500\n"
     "answer scsi C0 fn=03 sel=02\n offset-from b3-6 1 0x200000\n size 2500\n"
     " put 0 A0\n put 1023 A1\n put 1024 B0\n put 2047 B1\n put 2048 C0\n put 2499 C1\n",
     0, 2500, 0,
     {{"C0 02 02 00 08 00 00 00 00 00", IN, 8}},
     {{"C0 03 02 00 20 00 00 04 00 00", IN, 1024},
      {"C0 03 02 00 20 04 00 04 00 00", IN, 1024},
      {"C0 03 02 00 20 08 00 01 C4 00", IN, 452}},
     {{0, 0xA0}, {1023, 0xA1}, {1024, 0xB0}, {2047, 0xB1}, {2048, 0xC0}, {2499, 0xC1}}},
    // The map table's length row is four after it.
    {TYPE_C0H_MAP_TABLE, ExecVendorTableRead,
     "answer scsi C0 fn=02 sel=00\n le 0 4 0x12345678\n le 4 4 0x300\n"
     "answer scsi C0 fn=03 sel=00\n size 0x300\n put 0x2FF 3C\n",
     0, 0x300, 0,
     {{"C0 02 00 00 08 00 00 00 00 00", IN, 8}},
     {{"C0 03 00 12 34 56 78 03 00 00", IN, 0x300}},
     {{0x2FF, 0x3C}}},
    {TYPE_C0H_GET_BAD_PAGE, ExecVendorTableRead,
     "answer scsi C0 fn=02 sel=05\n le 0 4 0x8000\n le 4 4 0x410\n"
     "answer scsi C0 fn=03 sel=05\n offset-from b3-6 1 0x8000\n size 0x410\n put 0x400 6B\n",
     0, 0x410, 0,
     {{"C0 02 05 00 08 00 00 00 00 00", IN, 8}},
     {{"C0 03 05 00 00 80 00 04 00 00", IN, 0x400}, {"C0 03 05 00 00 84 00 00 10 00", IN, 0x10}},
     {{0x400, 0x6B}}},
    // NVRAM: the start address comes from the buffer itself, into CDB bytes 2-5.
    {TYPE_C0H_NVRAM_DATA, ExecVendorTableRead,
     "answer scsi C0 fn=04\n offset-from b2-5 1 0x1000\n size 1500\n put 0 4E\n put 1024 4F\n", 1500, 1500,
     0x1000,
     {},
     {{"C0 04 00 00 10 00 04 00 00 00", IN, 1024}, {"C0 04 00 00 14 00 01 DC 00 00", IN, 476}},
     {{0, 0x4E}, {1, 0x00}, {2, 0x00}, {3, 0x00}, {1024, 0x4F}}},
    // C0h data without address: the chunk length in bytes 2-3.
    {TYPE_C0H_BLANK_BLOCK_COUNT, ExecVendorDataRead, "answer scsi C0 fn=00\n size 256\n put 255 11\n", 0, 256, 0,
     {},
     {{"C0 00 01 00 00 00 00 00 00 00", IN, 256}},
     {{255, 0x11}}},
    {TYPE_C0H_CMD_QUEUE_INFO, ExecVendorDataRead, "answer scsi C0 fn=01\n size 256\n put 0 22\n", 0, 512, 0,
     {},
     {{"C0 01 01 00 00 00 00 00 00 00", IN, 256}, {"C0 01 01 00 00 00 00 00 00 00", IN, 256}},
     {{0, 0x22}, {256, 0x22}}},
    {TYPE_C0H_DISK_BASIC_INFO, ExecVendorDataRead, "answer scsi C0 fn=06\n size 28\n le 0 4 16\n", 0, 28, 0,
     {},
     {{"C0 06 00 1C 00 00 00 00 00 00", IN, 28}},
     {{0, 16}}},
    // READ BUFFER: byte offset in bytes 3-6, chunk length in bytes 7-8.
    {TYPE_3CH_PEND_LIST_TABLE, ExecReadBuffer, "answer scsi 3C mode=04 id=00\n size 1024\n put 1023 33\n", 0,
     0x400, 0,
     {},
     {{"3C 04 00 00 00 00 00 04 00 00", IN, 1024}},
     {{1023, 0x33}}},
    {TYPE_3CH_ERASE_BASE_STATUS_TBL, ExecReadBuffer,
     "answer scsi 3C mode=01 id=F4\n offset-from b3-6\n size 0x800\n"
     " put 0 40\n put 512 41\n put 1024 42\n put 1536 43\n put 2047 44\n",
     0, 0x800, 0,
     {},
     {{"3C 01 F4 00 00 00 00 02 00 00", IN, 512},
      {"3C 01 F4 00 00 02 00 02 00 00", IN, 512},
      {"3C 01 F4 00 00 04 00 02 00 00", IN, 512},
      {"3C 01 F4 00 00 06 00 02 00 00", IN, 512}},
     {{0, 0x40}, {512, 0x41}, {1024, 0x42}, {1536, 0x43}, {2047, 0x44}}},
    // The template unchanged with the caller's buffer.
    {TYPE_12H_INQUIRY, ExecScsiCommand, "answer scsi 12 evpd=0\n size 96\n text 16 \"QUMA-K6470BN0400\"\n", 0, 512,
     0,
     {},
     {{"12 00 00 00 C0 00 00 00 00 00", IN, 512}},
     {{16, 'Q'}, {31, '0'}}},
    {TYPE_25H_READ_CAPACITY, ExecScsiCommand, "answer scsi 25\n be 0 4 0x2E9390AF\n be 4 4 512\n", 0, 8, 0,
     {},
     {{"25 00 00 00 00 00 00 00 00 00", IN, 8}},
     {{0, 0x2E}, {3, 0xAF}, {6, 0x02}}},
    {TYPE_4DH_SET_POWER_OFF_PROTECT, ExecScsiCommand, "answer scsi C1 fn=06\n", 0, 0, 0,
     {},
     {{"C1 06 00 00 00 00 00 00 00 00", NONE, 0}},
     {}},
    {TYPE_C1H_SET_DISK_FLAG, ExecScsiCommand, "answer scsi C1 fn=0D sel=03\n", 0, 8, 0,
     {},
     {{"C1 0D 03 00 08 00 00 00 00 00", OUT, 8}},
     {}},
    // Wear-level table: chunk index (not offset) in bytes 2-3, chunk length in bytes 4-5.
    {TYPE_C1H_WRITE_WEAR_LEVEL_TABLE, ExecWriteWearLevelTableScsi, "answer scsi C1 fn=0A\n", 1500, 1500, 0,
     {},
     {{"C1 0A 00 00 04 00 00 00 00 00", OUT, 1024}, {"C1 0A 00 01 01 DC 00 00 00 00", OUT, 476}},
     {}},
    {TYPE_A4H_SET_TIME_STAMP, ExecSetTimestamp, "answer scsi A4 sa=0F\n", 0, 12, 0,
     {},
     {{"A4 0F 00 00 00 00 00 00 00 0C 00 00", OUT, 12}},
     {}},
};

void PrintTo(const FlowCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

class ScsiExecFlow : public ScsiExec, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(ScsiExecFlow, LengthThenRunSendsTheseRequests)
{
    const FlowCase& c = GetParam();
    Drive(c.answers);
    ASSERT_EQ(map_list.at(c.type).fun, c.exec) << "type " << c.type << " runs with another executor";
    SCOPED_TRACE("type " + std::to_string(c.type));

    u32 len = c.given_len;
    if (len == 0) {
        int user_err = USER_ERR_NO_ERROR;
        int sys_err = kSysBefore;
        ASSERT_TRUE(DiskCmnd::GetDataLen(c.type, &disk_, &len, &user_err, &sys_err)) << user_err;
    }
    EXPECT_EQ(len, c.want_len);
    const size_t query_events = zvemu::Trace().size();

    // The buffer holds a pattern, so data-out is seen to come from it and data-in to replace it.
    std::vector<u8> buf(c.want_len + 1);
    for (size_t i = 0; i < buf.size(); i++) {
        buf[i] = static_cast<u8>(i * 7 + 1);
    }
    if (c.type == TYPE_C0H_NVRAM_DATA) {
        memcpy(buf.data(), &c.nvram_addr, sizeof(c.nvram_addr));
    }
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = kSysBefore;
    ASSERT_TRUE(DiskCmnd::Execute(c.type, &disk_, buf.data(), c.want_len, &user_err, &sys_err))
        << "user error " << user_err << " system error " << sys_err;
    EXPECT_EQ(user_err, USER_ERR_UNSUPPORTED) << "a successful call leaves the code set at its start";
    EXPECT_EQ(sys_err, kSysBefore);

    std::vector<Req> want = c.query;
    want.insert(want.end(), c.run.begin(), c.run.end());
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), want.size());
    for (size_t i = 0; i < sent.size(); i++) {
        EXPECT_EQ(ReqText(sent[i]), ReqText(want[i])) << "request " << i;
        EXPECT_EQ(sent[i].timeout, 10000u) << "request " << i;
        EXPECT_EQ(sent[i].sense_len, 32u) << "request " << i;
    }

    // Each executor call opens the node once, sends and closes it.
    std::vector<TraceEntry> trace = zvemu::Trace();
    std::vector<std::string> ops;
    for (const TraceEntry& e : trace) {
        ops.push_back(e.op);
    }
    std::vector<std::string> want_ops;
    if (!c.query.empty()) {
        want_ops.push_back("open");
        want_ops.insert(want_ops.end(), c.query.size(), "sgio");
        want_ops.push_back("close");
    }
    want_ops.push_back("open");
    want_ops.insert(want_ops.end(), c.run.size(), "sgio");
    want_ops.push_back("close");
    EXPECT_EQ(ops, want_ops);
    EXPECT_EQ(query_events, c.query.empty() ? 0u : c.query.size() + 2);

    // Data-out chunks are consecutive slices of the buffer as it stands after the call.
    u32 offset = 0;
    for (size_t i = c.query.size(); i < sent.size(); i++) {
        if (sent[i].dir == OUT) {
            ASSERT_LE(offset + sent[i].len, c.want_len);
            EXPECT_EQ(sent[i].data, Bytes(buf.begin() + offset, buf.begin() + offset + sent[i].len))
                << "request " << i;
            offset += sent[i].len;
        }
    }
    for (const Got& g : c.got) {
        EXPECT_EQ(buf[g.offset], g.value) << "buffer byte " << g.offset;
    }
    EXPECT_EQ(buf[c.want_len], static_cast<u8>(c.want_len * 7 + 1)) << "nothing lands past the length";
}

INSTANTIATE_TEST_SUITE_P(Cases, ScsiExecFlow, ::testing::ValuesIn(flow_cases), CaseName());

TEST_F(ScsiExec, VendorTableQuerySetsTheBaseAndAnswersTheLength)
{
    Drive("answer scsi C0 fn=02 sel=01\n le 0 4 0x00ABCDEF\n le 4 4 0x1234\n");
    vendor_table_base = 0;
    std::vector<u8> scratch(512, 0);
    ASSERT_TRUE(Run(ExecVendorTableRead, TYPE_C0H_GET_WEAR_LEVEL_TABLE + Q, scratch.data(), 512));
    EXPECT_EQ(vendor_table_base, 0x00ABCDEFu);
    EXPECT_EQ(LenWord(scratch.data()), 0x1234u);
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(ReqText(sent[0]), ReqText(Req{"C0 02 01 00 08 00 00 00 00 00", IN, 8}));
}

// Every length row answers an address and a length of its own, so a table that asked
// another table's row would come back with the wrong pair.
const char* const kEveryLengthRow =
    "answer scsi C0 fn=02 sel=00\n le 0 4 0x11000000\n le 4 4 0x1100\n"
    "answer scsi C0 fn=02 sel=01\n le 0 4 0x11010000\n le 4 4 0x1101\n"
    "answer scsi C0 fn=02 sel=02\n le 0 4 0x11020000\n le 4 4 0x1102\n"
    "answer scsi C0 fn=02 sel=03\n le 0 4 0x11030000\n le 4 4 0x1103\n"
    "answer scsi C0 fn=02 sel=04\n le 0 4 0x11040000\n le 4 4 0x1104\n"
    "answer scsi C0 fn=02 sel=05\n le 0 4 0x11050000\n le 4 4 0x1105\n";

struct LengthRowCase {
    int type;
    const char* row_cdb;  // the length row's CDB with the 8-byte answer length in bytes 3-4
    u32 base;
    u32 length;
};

void PrintTo(const LengthRowCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

const LengthRowCase length_row_cases[] = {
    // The row before the table.
    {TYPE_C0H_SYSTEM_BLOCK_TABLE, "C0 02 02 00 08 00 00 00 00 00", 0x11020000, 0x1102},
    {TYPE_C0H_LEVEL2_SNAP_TABLE, "C0 02 03 00 08 00 00 00 00 00", 0x11030000, 0x1103},
    {TYPE_C0H_LEVEL2_PLOG_TABLE, "C0 02 04 00 08 00 00 00 00 00", 0x11040000, 0x1104},
    {TYPE_C0H_GET_WEAR_LEVEL_TABLE, "C0 02 01 00 08 00 00 00 00 00", 0x11010000, 0x1101},
    {TYPE_C0H_GET_BAD_PAGE, "C0 02 05 00 08 00 00 00 00 00", 0x11050000, 0x1105},
    // The row four after it.
    {TYPE_C0H_MAP_TABLE, "C0 02 00 00 08 00 00 00 00 00", 0x11000000, 0x1100},
    {TYPE_C0H_BLOCK_INFO_TABLE, "C0 02 01 00 08 00 00 00 00 00", 0x11010000, 0x1101},
};

class VendorLengthRow : public ScsiExec, public ::testing::WithParamInterface<LengthRowCase> {};

TEST_P(VendorLengthRow, AsksTheTablesOwnRow)
{
    const LengthRowCase& c = GetParam();
    Drive(kEveryLengthRow);
    vendor_table_base = 0;
    std::vector<u8> scratch(512, 0);
    ASSERT_TRUE(Run(ExecVendorTableRead, c.type + Q, scratch.data(), 512)) << user_err_;
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(ReqText(sent[0]), ReqText(Req{c.row_cdb, IN, 8}));
    EXPECT_EQ(vendor_table_base, c.base);
    EXPECT_EQ(LenWord(scratch.data()), c.length);
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorLengthRow, ::testing::ValuesIn(length_row_cases), CaseName());

// A failed header read still answers the length it makes of what arrived (here nothing:
// the header's own part), so the caller's scratch never keeps a stale word.
struct FailedQueryCase {
    CmndExecFun exec;
    int type;
    const char* answer;
    int user_err;
    u32 want;
};

void PrintTo(const FailedQueryCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

const FailedQueryCase failed_query_cases[] = {
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CHANGEABLE, "answer scsi 5A\n sense-fixed 5 24 00\n",
     USER_ERR_SENSE_BAD_FIELD, 2},
    {ExecReadDefectData, TYPE_37H_GROWN_DEFECT_DATA, "answer scsi B7\n sense-fixed 3 11 00\n",
     USER_ERR_SENSE_MEDIUM_HARDWARE, 8},
    {ExecLogSense, TYPE_4DH_SMART_TEMPERATURE, "answer scsi 4D\n sense-fixed 2 04 00\n", USER_ERR_SENSE_NOT_READY,
     4},
    {ExecInquiryVpd, TYPE_12H_INQUIRY_DEVICE, "answer scsi 12\n sense-fixed 5 24 00\n", USER_ERR_SENSE_BAD_FIELD,
     4},
};

class FailedLengthQuery : public ScsiExec, public ::testing::WithParamInterface<FailedQueryCase> {};

TEST_P(FailedLengthQuery, StillWritesItsLength)
{
    const FailedQueryCase& c = GetParam();
    Drive(c.answer);
    std::vector<u8> scratch(512, 0xEE);
    EXPECT_FALSE(Run(c.exec, c.type + Q, scratch.data(), 512));
    EXPECT_EQ(user_err_, c.user_err);
    EXPECT_EQ(LenWord(scratch.data()), c.want);
    EXPECT_EQ(Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedLengthQuery, ::testing::ValuesIn(failed_query_cases), CaseName());

TEST_F(ScsiExec, SetTimestampSendsTheHostTimeInMilliseconds)
{
    Drive("answer scsi A4 sa=0F\n");
    std::vector<u8> buf(12, 0xEE);
    const u64 before = static_cast<u64>(time(nullptr)) * 1000;
    ASSERT_TRUE(Run(ExecSetTimestamp, TYPE_A4H_SET_TIME_STAMP, buf.data(), 12));
    const u64 after = static_cast<u64>(time(nullptr)) * 1000;
    u64 ms = 0;
    for (int i = 4; i < 10; i++) {
        ms = (ms << 8) | buf[i];
    }
    EXPECT_GE(ms, before);
    EXPECT_LE(ms, after);
    for (int i : {0, 1, 2, 3, 10, 11}) {
        EXPECT_EQ(buf[i], 0xEE) << "byte " << i << " stays as the caller filled it";
    }
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, Bytes(buf.begin(), buf.end()));
}

// Every type these executors run, but FORMAT UNIT and the three READ BUFFER tables of
// 8 MiB and more, goes its whole road on the demo SAS drive.
TEST_F(ScsiExec, DemoDriveAnswersEveryType)
{
    const std::string demo = std::string(ZV_TEST_DATA_DIR) + "/demo/";
    std::string error;
    ASSERT_TRUE(zvemu::LoadFixture(demo + "sas_k6470.txt", &error)) << error;
    ASSERT_TRUE(zvemu::LoadFixture(demo + "sas_k6470_scsi.txt", &error)) << error;
    disk_.device_name = "/dev/sdb";
    const CmndExecFun mine[] = {ExecModeSense,  ExecReadDefectData, ExecVendorTableRead,         ExecVendorDataRead,
                                ExecReadBuffer, ExecLogSense,       ExecInquiryVpd,              ExecScsiCommand,
                                ExecWriteWearLevelTableScsi,        ExecSetTimestamp};
    const int skipped[] = {TYPE_04H_SET_FORMAT_UNIT, TYPE_3CH_L2P_TABLE, TYPE_3CH_BLOCK_INFO_TABLE,
                           TYPE_3CH_BLOCK_INFO_CHAIN_TABLE};
    int ran = 0;
    for (int type = 0; type < TYPE_BUTT; type++) {
        const CmndExecFun fun = map_list.at(type).fun;
        if (std::find(std::begin(mine), std::end(mine), fun) == std::end(mine) ||
            std::find(std::begin(skipped), std::end(skipped), type) != std::end(skipped)) {
            continue;
        }
        SCOPED_TRACE("type " + std::to_string(type));
        u32 len = 0x800;  // the wear-level table has no length function: the caller brings it
        int user_err = USER_ERR_NO_ERROR;
        int sys_err = 0;
        if (type != TYPE_C1H_WRITE_WEAR_LEVEL_TABLE) {
            ASSERT_TRUE(DiskCmnd::GetDataLen(type, &disk_, &len, &user_err, &sys_err)) << user_err;
        }
        std::vector<u8> buf(len + 1, 0);
        zvemu::ClearTrace();
        EXPECT_TRUE(DiskCmnd::Execute(type, &disk_, buf.data(), len, &user_err, &sys_err))
            << "user error " << user_err;
        std::vector<TraceEntry> sent = zvemu::Requests("/dev/sdb");
        ASSERT_FALSE(sent.empty());
        u32 moved = 0;
        for (const TraceEntry& e : sent) {
            EXPECT_NE(e.via, "default") << zvemu::FormatTraceLine(e);
            moved += e.len;
        }
        EXPECT_EQ(moved, len) << "the requests move the whole length";
        ran++;
    }
    EXPECT_EQ(ran, 67 - 4) << "the catalogue gives these executors 67 types";
}

// ---------------------------------------------------------------------------------------
// Guards: refused before the node is opened.

struct GuardCase {
    CmndExecFun exec;
    int type;
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

// Every executor that needs a buffer, for its run and (where it has one) its length query.
const GuardCase buffer_guard_cases[] = {
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CURRENT},
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CURRENT + Q},
    {ExecReadDefectData, TYPE_37H_GROWN_DEFECT_DATA},
    {ExecReadDefectData, TYPE_37H_PRIMARY_DEFECT_DATA + Q},
    {ExecVendorTableRead, TYPE_C0H_SYSTEM_BLOCK_TABLE},
    {ExecVendorTableRead, TYPE_C0H_SYSTEM_BLOCK_TABLE + Q},
    {ExecVendorTableRead, TYPE_C0H_NVRAM_DATA},
    {ExecVendorDataRead, TYPE_C0H_DISK_BASIC_INFO},
    {ExecReadBuffer, TYPE_3CH_PEND_LIST_TABLE},
    {ExecLogSense, TYPE_4DH_SUPPORTED_LOG_PAGES},
    {ExecLogSense, TYPE_4DH_SMART_VALUE + Q},
    {ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE},
    {ExecSetTimestamp, TYPE_A4H_SET_TIME_STAMP},
};

class BufferGuard : public ScsiExec, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(BufferGuard, NullBufferOrZeroLengthIsRefusedBeforeOpening)
{
    const GuardCase& c = GetParam();
    Drive("answer scsi * \n size 512\n");
    EXPECT_FALSE(Run(c.exec, c.type, nullptr, 512));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(sys_err_, kSysBefore);
    ExpectUntouched();

    std::vector<u8> buf(512, 0x5A);
    EXPECT_FALSE(Run(c.exec, c.type, buf.data(), 0));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();
    EXPECT_EQ(buf, std::vector<u8>(512, 0x5A));
}

INSTANTIATE_TEST_SUITE_P(Cases, BufferGuard, ::testing::ValuesIn(buffer_guard_cases), CaseName());

TEST_F(ScsiExec, VpdAndGenericCommandRunWithoutBuffer)
{
    Drive("answer scsi 12 evpd=1 page=83\n data 00 83 00 00\nanswer scsi 4C\n");
    EXPECT_TRUE(Run(ExecInquiryVpd, TYPE_12H_INQUIRY_DEVICE, nullptr, 0)) << user_err_;
    EXPECT_TRUE(Run(ExecScsiCommand, TYPE_4CH_ERASEFLASH_LOG, nullptr, 0)) << user_err_;
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(ReqText(sent[0]), ReqText(Req{"12 01 83 00 00 00 00 00 00 00", IN, 0}));
    EXPECT_EQ(ReqText(sent[1]), ReqText(Req{"4C 02 71 00 00 00 00 00 00 00", NONE, 0}));
}

// A length without a buffer, or a length query with nowhere to put its answer, would hand
// the driver or the executor a null pointer.
TEST_F(ScsiExec, VpdAndGenericCommandRefuseALengthWithoutBuffer)
{
    Drive("answer scsi * \n size 512\n");
    EXPECT_FALSE(Run(ExecInquiryVpd, TYPE_12H_INQUIRY_DEVICE, nullptr, 64));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_FALSE(Run(ExecInquiryVpd, TYPE_12H_INQUIRY_DEVICE + Q, nullptr, 512));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_FALSE(Run(ExecScsiCommand, TYPE_12H_INQUIRY, nullptr, 512));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();
}

// Types an executor does not run: nothing to do, "Function is unsupported", nothing opened.
const GuardCase foreign_type_cases[] = {
    {ExecModeSense, TYPE_37H_GROWN_DEFECT_DATA},
    {ExecReadDefectData, TYPE_5AH_MODE_SENSE_CURRENT + Q},
    {ExecVendorTableRead, TYPE_C0H_NVRAM_DATA + Q},  // fixed length: no length row
    {ExecVendorTableRead, TYPE_C0H_SYSTEM_BLOCK_TBL_LEN},
    {ExecVendorDataRead, TYPE_C0H_BLANK_BLOCK_COUNT + Q},
    {ExecReadBuffer, TYPE_3CH_SNAPSHOT_AB_PTR_TABLE},
    {ExecLogSense, TYPE_4DH_READNVSRAM_LOG},
    {ExecInquiryVpd, TYPE_12H_INQUIRY_EXTENDED},
    {ExecScsiCommand, TYPE_12H_INQUIRY_SCSI_PORTS},
    {ExecScsiCommand, TYPE_IDENTIFY_DEVICE},
    {ExecSetTimestamp, TYPE_8CH_WRITE_CURRENT_TIME},
    {ExecModeSense, TYPE_BUTT},
};

class ForeignType : public ScsiExec, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(ForeignType, IsUnsupportedAndSendsNothing)
{
    const GuardCase& c = GetParam();
    Drive("answer scsi * \n size 512\n");
    std::vector<u8> buf(512, 0);
    EXPECT_FALSE(Run(c.exec, c.type, buf.data(), 512));
    EXPECT_EQ(user_err_, USER_ERR_UNSUPPORTED);
    ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Cases, ForeignType, ::testing::ValuesIn(foreign_type_cases), CaseName());

TEST_F(ScsiExec, WearLevelWriteRefusesAnotherType)
{
    Drive("answer scsi * \n");
    std::vector<u8> buf(512, 0);
    EXPECT_FALSE(Run(ExecWriteWearLevelTableScsi, TYPE_8CH_WRITE_WEAR_LEVEL_TABLE, buf.data(), 512));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();
}

// ---------------------------------------------------------------------------------------
// Lengths and offsets that would reach past the caller's buffer or a CDB field.

TEST_F(ScsiExec, TimestampRefusesABufferShorterThanItsParameterList)
{
    Drive("answer scsi A4 sa=0F\n");
    std::vector<u8> buf(11, 0x77);
    EXPECT_FALSE(Run(ExecSetTimestamp, TYPE_A4H_SET_TIME_STAMP, buf.data(), 11));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(buf, std::vector<u8>(11, 0x77));
    ExpectUntouched();
}

// The answered length goes into bytes 0-3: a shorter buffer is refused, not written past.
const GuardCase short_query_cases[] = {
    {ExecModeSense, TYPE_5AH_MODE_SENSE_DEFAULT + Q},
    {ExecReadDefectData, TYPE_37H_PRIMARY_DEFECT_DATA + Q},
    {ExecLogSense, TYPE_4DH_SMART_TEMPERATURE + Q},
    {ExecInquiryVpd, TYPE_12H_INQUIRY_PAGE_POLICY + Q},
    {ExecVendorTableRead, TYPE_C0H_LEVEL2_PLOG_TABLE + Q},
    {ExecVendorTableRead, TYPE_C0H_NVRAM_DATA},  // the start address is read from bytes 0-3
};

class ShortBuffer : public ScsiExec, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(ShortBuffer, UnderFourBytesIsRefused)
{
    const GuardCase& c = GetParam();
    Drive("answer scsi * \n size 512\n");
    std::vector<u8> buf(3, 0x66);
    EXPECT_FALSE(Run(c.exec, c.type, buf.data(), 3));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(buf, std::vector<u8>(3, 0x66));
    ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortBuffer, ::testing::ValuesIn(short_query_cases), CaseName());

// A header announcing more than the allocation length field can ask for is answered with
// that field's maximum, not with a sum that wrapped to a few bytes.
struct HeaderCase {
    CmndExecFun exec;
    int type;
    const char* answer;
    u32 want;
};

const HeaderCase header_cases[] = {
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CURRENT, "answer scsi 5A\n size 16\n be 0 2 0xFFFF\n", 0xFFFF},
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CURRENT, "answer scsi 5A\n size 16\n be 0 2 0xFFFD\n", 0xFFFF},
    {ExecLogSense, TYPE_4DH_SMART_THRESHOLD, "answer scsi 4D\n data 34 00 FF FE\n", 0xFFFF},
    {ExecLogSense, TYPE_4DH_SMART_THRESHOLD, "answer scsi 4D\n data 34 00 FF FB\n", 0xFFFF},
    {ExecInquiryVpd, TYPE_12H_INQUIRY_DEVICE, "answer scsi 12\n data 00 83 FF FF\n", 0xFFFF},
    {ExecReadDefectData, TYPE_37H_GROWN_DEFECT_DATA, "answer scsi B7\n data 00 08 00 00 FF FF FF FC\n", 0xFFFFFFFF},
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << CmndTypeText(c.type) << " " << c.answer; }

class HeaderLength : public ScsiExec, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderLength, IsCutToTheAllocationField)
{
    const HeaderCase& c = GetParam();
    Drive(c.answer);
    std::vector<u8> scratch(512, 0);
    ASSERT_TRUE(Run(c.exec, c.type + Q, scratch.data(), 512)) << user_err_;
    EXPECT_EQ(LenWord(scratch.data()), c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderLength, ::testing::ValuesIn(header_cases), CaseName());

TEST_F(ScsiExec, ReadLongerThanTheAllocationFieldIsRefused)
{
    Drive("answer scsi * \n size 16\n");
    std::vector<u8> buf(0x10000, 0);
    EXPECT_FALSE(Run(ExecModeSense, TYPE_5AH_MODE_SENSE_CURRENT, buf.data(), 0x10000));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_FALSE(Run(ExecLogSense, TYPE_4DH_SMART_VALUE, buf.data(), 0x10000));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_FALSE(Run(ExecInquiryVpd, TYPE_12H_INQUIRY_DEVICE, buf.data(), 0x10000));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();

    // The largest length the field holds is sent as it is.
    EXPECT_TRUE(Run(ExecModeSense, TYPE_5AH_MODE_SENSE_CURRENT, buf.data(), 0xFFFF)) << user_err_;
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(ReqText(sent[0]), ReqText(Req{"5A 00 3F FF 00 00 00 FF FF 00", IN, 0xFFFF}));
}

// The drive's table address plus the length must stay inside the 32-bit address field.
TEST_F(ScsiExec, VendorTableReadPastTheAddressSpaceIsRefused)
{
    Drive("answer scsi C0 fn=03\n size 0x400\n");
    std::vector<u8> buf(0x800, 0);
    vendor_table_base = 0xFFFFFC00u;
    EXPECT_FALSE(Run(ExecVendorTableRead, TYPE_C0H_LEVEL2_SNAP_TABLE, buf.data(), 0x800));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();

    // Ending on the last address is fine.
    vendor_table_base = 0xFFFFF800u;
    EXPECT_TRUE(Run(ExecVendorTableRead, TYPE_C0H_LEVEL2_SNAP_TABLE, buf.data(), 0x800)) << user_err_;
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(ReqText(sent[1]), ReqText(Req{"C0 03 03 FF FF FC 00 04 00 00", IN, 0x400}));

    // The NVRAM start address is checked the same way.
    zvemu::ClearTrace();
    u32 addr = 0xFFFFFFF0u;
    memcpy(buf.data(), &addr, sizeof(addr));
    EXPECT_FALSE(Run(ExecVendorTableRead, TYPE_C0H_NVRAM_DATA, buf.data(), 0x20));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();
}

// The chunk index travels in 16 bits: a table needing more chunks would overwrite its start.
TEST_F(ScsiExec, WearLevelTableWithTooManyChunksIsRefused)
{
    Drive("answer scsi C1 fn=0A\n");
    const u32 len = 0x10000u * 1024u + 1u;
    std::vector<u8> buf(len, 0);
    EXPECT_FALSE(Run(ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE, buf.data(), len));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    ExpectUntouched();
}

// ---------------------------------------------------------------------------------------
// Failures of the drive and the node.

TEST_F(ScsiExec, FailedChunkEndsTheReadWithItsError)
{
    Drive("answer scsi C0 fn=03 sel=02\n offset-from b3-6 1 0x200000\n size 2500\n put 0 A0\n"
          "answer scsi C0 fn=03 sel=02 b3-6=200400\n sense-fixed 3 11 00\n");
    vendor_table_base = 0x200000;
    std::vector<u8> buf(2500, 0x11);
    EXPECT_FALSE(Run(ExecVendorTableRead, TYPE_C0H_SYSTEM_BLOCK_TABLE, buf.data(), 2500));
    EXPECT_EQ(user_err_, USER_ERR_SENSE_MEDIUM_HARDWARE);
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 2u) << "no chunk after the failed one";
    EXPECT_EQ(ReqText(sent[1]), ReqText(Req{"C0 03 02 00 20 04 00 04 00 00", IN, 1024}));
    EXPECT_EQ(buf[0], 0xA0) << "the chunk before stays";
    EXPECT_EQ(buf[2048], 0x11) << "nothing after it is written";
}

TEST_F(ScsiExec, FailedWearLevelChunkEndsTheWrite)
{
    Drive("answer scsi C1 fn=0A\nanswer scsi C1 fn=0A b2-3=0001\n sense-fixed 5 24 00\n");
    std::vector<u8> buf(3000, 0);
    EXPECT_FALSE(Run(ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE, buf.data(), 3000));
    EXPECT_EQ(user_err_, USER_ERR_SENSE_BAD_FIELD) << "the write's error, not the close's";
    EXPECT_EQ(Requests().size(), 2u);
    std::vector<TraceEntry> trace = zvemu::Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().op, "close");
}

// A write the drive did not take whole failed, and nothing is sent after it.
struct ShortWriteCase {
    const char* what;
    CmndExecFun exec;
    int type;
    const char* answers;
    u32 len;
    size_t requests;
};

void PrintTo(const ShortWriteCase& c, std::ostream* os) { *os << c.what; }

const ShortWriteCase short_write_cases[] = {
    {"first wear-level chunk", ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE,
     "answer scsi C1 fn=0A\nanswer scsi C1 fn=0A b2-3=0000\n resid 24\n", 3000, 1},
    {"second wear-level chunk", ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE,
     "answer scsi C1 fn=0A\nanswer scsi C1 fn=0A b2-3=0001\n resid 1\n", 3000, 2},
    {"time stamp", ExecSetTimestamp, TYPE_A4H_SET_TIME_STAMP, "answer scsi A4 sa=0F\n resid 12\n", 12, 1},
};

class ShortWrite : public ScsiExec, public ::testing::WithParamInterface<ShortWriteCase> {};

TEST_P(ShortWrite, FailsAndEndsTheTransfer)
{
    const ShortWriteCase& c = GetParam();
    Drive(c.answers);
    std::vector<u8> buf(c.len, 0x5A);
    EXPECT_FALSE(Run(c.exec, c.type, buf.data(), c.len));
    EXPECT_EQ(user_err_, USER_ERR_OS_API);
    EXPECT_EQ(sys_err_, EIO);
    EXPECT_EQ(Requests().size(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortWrite, ::testing::ValuesIn(short_write_cases), CaseName());

TEST_F(ScsiExec, WearLevelWriteWithANegativeResidualIsWhole)
{
    Drive("answer scsi C1 fn=0A\n resid -8\n");
    std::vector<u8> buf(1500, 0x5A);
    EXPECT_TRUE(Run(ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE, buf.data(), 1500)) << user_err_;
    EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(ScsiExec, FailedLengthRowKeepsTheTableBase)
{
    Drive("answer scsi C0 fn=02 sel=03\n sense-fixed 2 04 00\n");
    vendor_table_base = 0x4000;
    std::vector<u8> scratch(512, 0);
    EXPECT_FALSE(Run(ExecVendorTableRead, TYPE_C0H_LEVEL2_SNAP_TABLE + Q, scratch.data(), 512));
    EXPECT_EQ(user_err_, USER_ERR_SENSE_NOT_READY);
    EXPECT_EQ(vendor_table_base, 0x4000u);
    EXPECT_EQ(Requests().size(), 1u);
}

// Every executor reports a node that cannot be opened with the open's error.
const GuardCase open_cases[] = {
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CHANGEABLE},
    {ExecModeSense, TYPE_5AH_MODE_SENSE_CHANGEABLE + Q},
    {ExecReadDefectData, TYPE_37H_GROWN_DEFECT_DATA},
    {ExecVendorTableRead, TYPE_C0H_BLOCK_INFO_TABLE},
    {ExecVendorTableRead, TYPE_C0H_BLOCK_INFO_TABLE + Q},
    {ExecVendorDataRead, TYPE_C0H_CMD_QUEUE_INFO},
    {ExecReadBuffer, TYPE_3CH_CUR_BLANK_BLOCK_TABLE},
    {ExecLogSense, TYPE_4DH_TEMPERATURE},
    {ExecInquiryVpd, TYPE_12H_INQUIRY_SCSI_PORTS + Q},
    {ExecScsiCommand, TYPE_C0H_DISK_IO_INFO},
    {ExecWriteWearLevelTableScsi, TYPE_C1H_WRITE_WEAR_LEVEL_TABLE},
    {ExecSetTimestamp, TYPE_A4H_SET_TIME_STAMP},
};

class OpenFailure : public ScsiExec, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(OpenFailure, ReportsTheOpenErrorAndSendsNothing)
{
    const GuardCase& c = GetParam();
    Drive("open-errno EACCES\n");
    std::vector<u8> buf(512, 0);
    EXPECT_FALSE(Run(c.exec, c.type, buf.data(), 512));
    EXPECT_EQ(user_err_, USER_ERR_OS_API);
    EXPECT_EQ(sys_err_, 13);
    EXPECT_TRUE(Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenFailure, ::testing::ValuesIn(open_cases), CaseName());

// ---------------------------------------------------------------------------------------
// How much of the buffer the drive filled, as the registry reports it after a run.

struct ReceivedCase {
    const char* what;
    const char* kind;     // the drive's kind
    const char* answers;  // its fixture lines
    int type;
    u32 len;              // the buffer handed to DiskCmnd::Execute
    u32 want;             // DiskCmnd::ReceivedLen afterwards
};

void PrintTo(const ReceivedCase& c, std::ostream* os) { *os << c.what; }

class ReceivedLen : public ScsiExec, public ::testing::WithParamInterface<ReceivedCase> {};

TEST_P(ReceivedLen, CountsTheBytesUpToTheFirstShortTransfer)
{
    const ReceivedCase& c = GetParam();
    std::string error;
    ASSERT_TRUE(zvemu::LoadFixtureText(std::string("drive ") + kNode + " " + c.kind + "\n" + c.answers, ".", &error))
        << error;
    disk_.link_type = std::string(c.kind) == "sat" ? LINK_ATA_BY_SCSI : LINK_SCSI;
    // a length query just before the run: the count read afterwards is the run's own
    u32 asked = 0;
    DiskCmnd::GetDataLenQuiet(TYPE_5AH_MODE_SENSE_CURRENT, &disk_, &asked);
    std::vector<u8> buf(c.len, 0);
    ASSERT_TRUE(DiskCmnd::Execute(c.type, &disk_, buf.data(), c.len, &user_err_, &sys_err_)) << user_err_;
    EXPECT_EQ(DiskCmnd::ReceivedLen(), c.want);
}

const ReceivedCase received_cases[] = {
    {"whole page", "sas", "answer scsi 4D page=02\n  size 112\n", TYPE_4DH_WRITE_ERROR_COUNTER, 112, 112},
    {"one parameter of nine", "sas", "answer scsi 4D page=02\n  data 02 00 00 0C\n  size 16\n",
     TYPE_4DH_WRITE_ERROR_COUNTER, 112, 16},
    {"nothing sent", "sas", "answer scsi 4D page=02\n", TYPE_4DH_WRITE_ERROR_COUNTER, 112, 0},
    {"mode data cut short", "sas", "answer scsi 5A page=3F\n  data 00 3E 00 00 00 00 00 08\n  size 36\n",
     TYPE_5AH_MODE_SENSE_CURRENT, 64, 36},
    // the driver's count is believed only up to the request's own length
    {"residual past the request", "sas", "answer scsi 25\n  size 8\n  resid 9\n", TYPE_25H_READ_CAPACITY, 8, 0},
    // chunked reads: the answer ends where the first short chunk ends, later chunks
    // cannot lengthen it
    {"second chunk short", "sas",
     "answer scsi 3C mode=01 id=F4\n  offset-from b3-6\n  size 0x800\n"
     "answer scsi 3C mode=01 id=F4 b3-6=200\n  size 100\n",
     TYPE_3CH_ERASE_BASE_STATUS_TBL, 0x800, 612},
    {"all chunks whole", "sas", "answer scsi 3C mode=01 id=F4\n  offset-from b3-6\n  size 0x800\n",
     TYPE_3CH_ERASE_BASE_STATUS_TBL, 0x800, 0x800},
    // the vendor log reads count the same way
    {"vendor log cut short", "sas", "answer scsi 4D page=30\n  data 30 00 00 10\n  size 20\n",
     TYPE_4DH_READNVSRAM_LOG, 0x1000, 20},
    // an overrun the driver reports loses nothing
    {"negative residual", "sas", "answer scsi 25\n  size 8\n  resid -4\n", TYPE_25H_READ_CAPACITY, 8, 8},
    // ATA answers are whole sectors (a short one fails the command)
    {"ATA through SAT", "sat", "answer ata EC\n  size 512\n", TYPE_IDENTIFY_DEVICE, 512, 512},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReceivedLen, ::testing::ValuesIn(received_cases), CaseName());

} // namespace
