// The vendor log and microcode transfer executors against emulated drives: the geometry
// query and the log length made of it, the chunked LOG SENSE reads with the two parts of
// the flash log, the WRITE BUFFER download behind SET TIMESTAMP, and DOWNLOAD MICROCODE
// over SAT and the vendor tunnel in both image layouts (requests read back from the
// emulator's trace), with the refusals of images whose headers point outside the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "ata_trace.h"
#include "case_names.h"
#include "disk_cmnd.h"
#include "emu_api.h"
#include "exec_drive.h"
#include "msg_processor.h"
#include "settings.h"
#include "test_init.h"
#include "vendor_cmnd_exec.h"

namespace {

using atatest::SentAta;
using zvemu::Bytes;
using zvemu::Hex;
using zvemu::TraceEntry;

using execdrive::kNode;
using execdrive::kSysBefore;
const int Q = CMND_LEN_QUERY;
const u32 kChunk = 8192;
const u8 kSentinel = 0xEE;

const char* const kOtherModel = "QUMA-K6470BN0400";  // neither SATA family
const char* const kK4410Model = "QUMA-K4410TN0100";
const char* const kP37rvModel = "QUMA-P37RV-0064";

std::string Hex2(u32 v)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string(1, digits[(v >> 4) & 15]) + digits[v & 15];
}

// "4D 00 71 00 7E A0 00 20 00 00": a vendor-log chunk CDB of the page byte, offset and length.
std::string LogChunkCdb(u8 page, u32 offset, u32 n)
{
    std::string s = "4D 00 " + Hex2(page);
    for (int shift = 24; shift >= 0; shift -= 8) {
        s += " " + Hex2(offset >> shift);
    }
    return s + " " + Hex2(n >> 8) + " " + Hex2(n) + " 00";
}

std::string CdbText(const TraceEntry& e) { return zvemu::HexText(e.cdb); }

u32 LenWord(const u8* buf)
{
    u32 v;
    memcpy(&v, buf, sizeof(v));
    return v;
}

// The executors' drive, its model of neither SATA family, the flash-log part and the download
// retry cleared.
class VendorExec : public execdrive::ExecDriveTest {
protected:
    void SetUp() override
    {
        ExecDriveTest::SetUp();
        flash_log_part = 0;
        fw_download_retry = false;
        disk_.model = kOtherModel;
    }
};

// "[C0h] Disk Basic info" answering the seven words.
std::string BasicInfoAnswer(const DiskGeometry& g)
{
    const u32 words[7] = {g.channel, g.ce, g.block, g.page_num, g.page_size, g.max_lba, g.reserved_block};
    std::string s = "answer scsi C0 fn=06\n size 28\n";
    for (int i = 0; i < 7; i++) {
        s += " le " + std::to_string(4 * i) + " 4 " + std::to_string(words[i]) + "\n";
    }
    return s;
}

// ---------------------------------------------------------------------------------------
// The length query: the geometry read, the words kept, the length made of them.

struct LengthCase {
    const char* model;
    u32 page_num;
    u32 page_size;
    int type;
    u32 want;
};

void PrintTo(const LengthCase& c, std::ostream* os)
{
    *os << c.model << " pages " << c.page_num << " x " << c.page_size << " " << CmndTypeText(static_cast<int>(c.type));
}

const LengthCase length_cases[] = {
    // A drive of neither family with the usual geometry.
    {kOtherModel, 128, 8192, TYPE_4DH_READNVSRAM_LOG, 8192},
    {kOtherModel, 128, 8192, TYPE_4DH_READFLASH_LOG, 15745024},
    {kOtherModel, 128, 8192, TYPE_4DH_READCURRENT_LOG, 98304},
    {kOtherModel, 128, 8192, TYPE_4DH_READNVALL_LOG, 1048576},
    // Its page size counts as 8192 and its pages as at most 128.
    {kOtherModel, 256, 16384, TYPE_4DH_READFLASH_LOG, 15745024},
    {kOtherModel, 256, 16384, TYPE_4DH_READNVSRAM_LOG, 8192},
    {kOtherModel, 64, 4096, TYPE_4DH_READFLASH_LOG, 8192 * (64 * 15 + 2)},
    {kOtherModel, 64, 4096, TYPE_4DH_READNVALL_LOG, 64 * 8192},
    // Drives of the two families are sized as they answer.
    {kK4410Model, 256, 4096, TYPE_4DH_READNVSRAM_LOG, 4096},
    {kK4410Model, 256, 4096, TYPE_4DH_READFLASH_LOG, 4096 * (256 * 15 + 2)},
    {kK4410Model, 256, 4096, TYPE_4DH_READCURRENT_LOG, 4096 * 12},
    {kK4410Model, 256, 4096, TYPE_4DH_READNVALL_LOG, 256 * 4096},
    {kP37rvModel, 512, 16384, TYPE_4DH_READFLASH_LOG, 16384 * (512 * 15 + 2)},
    {kP37rvModel, 512, 16384, TYPE_4DH_READCURRENT_LOG, 16384 * 12},
};

class VendorLogLength : public VendorExec, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(VendorLogLength, ReadsTheGeometryAndSizesTheLog)
{
    const LengthCase& c = GetParam();
    disk_.model = c.model;
    const DiskGeometry answer = {16, 4, 8296, c.page_num, c.page_size, 0x2E9390AF, 256};
    Drive("sas", BasicInfoAnswer(answer));
    disk_geometry = DiskGeometry{1, 1, 1, 1, 1, 1, 1};

    u32 len = 0;
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = kSysBefore;
    ASSERT_TRUE(DiskCmnd::GetDataLen(c.type, &disk_, &len, &user_err, &sys_err)) << user_err;
    EXPECT_EQ(len, c.want);
    EXPECT_EQ(user_err, USER_ERR_UNSUPPORTED) << "a successful call leaves the code set at its start";

    // The drive's own words stay, whatever the length was made of.
    EXPECT_EQ(disk_geometry.channel, 16u);
    EXPECT_EQ(disk_geometry.ce, 4u);
    EXPECT_EQ(disk_geometry.block, 8296u);
    EXPECT_EQ(disk_geometry.page_num, c.page_num);
    EXPECT_EQ(disk_geometry.page_size, c.page_size);
    EXPECT_EQ(disk_geometry.max_lba, 0x2E9390AFu);
    EXPECT_EQ(disk_geometry.reserved_block, 256u);

    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(CdbText(sent[0]), zvemu::HexText(Hex("C0 06 00 1C 00 00 00 00 00 00"))) << "the read of type 114";
    EXPECT_EQ(sent[0].dir, zvemu::TRACE_DIR_IN);
    EXPECT_EQ(sent[0].len, 28u);
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorLogLength, ::testing::ValuesIn(length_cases), CaseName());

struct LengthFailCase {
    const char* what;
    const char* answers;
    int type;  // the length query's type value
    int user_err;
    bool sent;       // the geometry was asked
    u32 page_num;    // Page Num disk_geometry took from the drive (0: it kept its words)
};

void PrintTo(const LengthFailCase& c, std::ostream* os) { *os << c.what; }

const LengthFailCase length_fail_cases[] = {
    {"the geometry read fails with its own error", "answer scsi C0 fn=06\n sense-fixed 5 24 00\n",
     TYPE_4DH_READFLASH_LOG + Q, USER_ERR_SENSE_BAD_FIELD, true, 0},
    {"the drive knows no geometry read", "answer scsi 00\n", TYPE_4DH_READNVALL_LOG + Q, USER_ERR_SENSE_BAD_OPCODE,
     true, 0},
    // A family drive whose flash log a u32 cannot measure: 65536 x (65536 x 15 + 2) bytes.
    {"a length past 32 bits", "answer scsi C0 fn=06\n size 28\n le 12 4 65536\n le 16 4 65536\n",
     TYPE_4DH_READFLASH_LOG + Q, USER_ERR_ILLEGAL_PARAM, true, 65536},
    // 2^31 x (572662306 x 15 + 2) is exactly 2^64: a u64 product wraps to a length of 0.
    {"a length past 64 bits", "answer scsi C0 fn=06\n size 28\n le 12 4 572662306\n le 16 4 2147483648\n",
     TYPE_4DH_READFLASH_LOG + Q, USER_ERR_ILLEGAL_PARAM, true, 572662306},
    // The words of Page Num and Page Size never arrive: no zeros are taken for them.
    {"a geometry answer that ends after 12 of its 28 bytes",
     "answer scsi C0 fn=06\n le 0 4 16\n le 12 4 128\n le 16 4 8192\n size 12\n", TYPE_4DH_READCURRENT_LOG + Q,
     USER_ERR_ILLEGAL_PARAM, true, 0},
    {"a type that is no vendor log", "answer scsi C0 fn=06\n size 28\n", TYPE_4DH_SMART_VALUE + Q,
     USER_ERR_UNSUPPORTED, false, 0},
    {"the executor's own type value", "answer scsi C0 fn=06\n size 28\n", TYPE_4DH_READFLASH_LOG,
     USER_ERR_UNSUPPORTED, false, 0},
};

class VendorLogLengthFails : public VendorExec, public ::testing::WithParamInterface<LengthFailCase> {};

TEST_P(VendorLogLengthFails, NoLengthAndTheErrorOfTheStep)
{
    const LengthFailCase& c = GetParam();
    disk_.model = kK4410Model;
    Drive("sas", c.answers);
    disk_geometry = DiskGeometry{9, 9, 9, 9, 9, 9, 9};
    std::vector<u8> scratch(512, 0xAB);
    EXPECT_FALSE(Run(LenVendorLog, c.type, scratch.data(), 512));
    EXPECT_EQ(user_err_, c.user_err);
    EXPECT_EQ(LenWord(scratch.data()), 0u) << "no stale word is left for the caller";
    EXPECT_EQ(Requests().size(), c.sent ? 1u : 0u);
    if (c.page_num != 0) {
        EXPECT_EQ(disk_geometry.page_num, c.page_num);
    } else {
        EXPECT_EQ(disk_geometry.page_num, 9u);
        EXPECT_EQ(disk_geometry.channel, 9u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorLogLengthFails, ::testing::ValuesIn(length_fail_cases), CaseName());

TEST_F(VendorExec, LengthQueryRefusesAScratchWithoutRoom)
{
    Drive("sas", "answer scsi C0 fn=06\n size 28\n");
    u8 small[3] = {1, 2, 3};
    EXPECT_FALSE(Run(LenVendorLog, TYPE_4DH_READFLASH_LOG + Q, nullptr, 512));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_FALSE(Run(LenVendorLog, TYPE_4DH_READFLASH_LOG + Q, small, sizeof(small)));
    EXPECT_EQ(user_err_, USER_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(small[0], 1);
    ExpectUntouched();
}

// ---------------------------------------------------------------------------------------
// The chunked reads of types 84, 85 and 87.

// An answer whose every 8 KiB chunk starts with its own index, so a chunk that lands in the
// wrong place shows.
std::string ChunkedAnswer(u8 page, u32 len, Bytes* content)
{
    content->assign(len, 0x5A);
    std::string s = "answer scsi 4D b2=" + Hex2(page) + "\n offset-from b3-6\n size " + std::to_string(len) +
                    "\n fill 0 " + std::to_string(len) + " 5A\n";
    for (u32 k = 0, off = 0; off < len; k++, off += kChunk) {
        const u8 lo = static_cast<u8>(k);
        const u8 hi = static_cast<u8>(k >> 8);
        s += " put " + std::to_string(off) + " " + Hex2(lo) + " " + Hex2(hi) + "\n";
        (*content)[off] = lo;
        if (off + 1 < len) {
            (*content)[off + 1] = hi;
        }
    }
    return s;
}

struct ChunkCase {
    const char* what;
    int type;
    u8 page;          // CDB byte 2
    u32 len;
    u32 part_before;  // flash_log_part at the call
    u32 page_num;     // disk_geometry Page Num at the call
    u32 first;        // the first chunk read
    u32 chunks;       // how many are read
    u32 part_after;
};

void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.what; }

const u32 kFlashLen = 15745024;  // 8192 x (128 x 15 + 2): 1922 chunks

const ChunkCase chunk_cases[] = {
    {"NVSRAM log: one chunk", TYPE_4DH_READNVSRAM_LOG, 0x70, 8192, 0, 128, 0, 1, 0},
    {"NV all log: 128 chunks", TYPE_4DH_READNVALL_LOG, 0x76, 1048576, 0, 128, 0, 128, 0},
    {"a short last chunk", TYPE_4DH_READNVALL_LOG, 0x76, 20000, 0, 128, 0, 3, 0},
    {"flash log whole", TYPE_4DH_READFLASH_LOG, 0x71, kFlashLen, 0, 128, 0, 1922, 0},
    {"flash log part 1", TYPE_4DH_READFLASH_LOG, 0x71, kFlashLen, 1, 128, 0, 1013, 1},
    {"flash log part 2", TYPE_4DH_READFLASH_LOG, 0x71, kFlashLen, 2, 128, 1013, 909, 2},
    {"part 1 of a log shorter than the part", TYPE_4DH_READFLASH_LOG, 0x71, 1000 * 8192, 1, 128, 0, 1000, 1},
    // Only 128 pages per block split the log: any other geometry reads it all and clears the part.
    {"part 1 with 64 pages per block", TYPE_4DH_READFLASH_LOG, 0x71, kFlashLen, 1, 64, 0, 1922, 0},
    {"part 2 with 256 pages per block", TYPE_4DH_READFLASH_LOG, 0x71, kFlashLen, 2, 256, 0, 1922, 0},
    {"an unknown part", TYPE_4DH_READFLASH_LOG, 0x71, 3 * 8192, 3, 128, 0, 3, 0},
    // The parts belong to the flash log; the other logs read whole and clear the part.
    {"NV all log with part 2", TYPE_4DH_READNVALL_LOG, 0x76, 1048576, 2, 128, 0, 128, 0},
    {"NVSRAM log with part 1", TYPE_4DH_READNVSRAM_LOG, 0x70, 8192, 1, 128, 0, 1, 0},
};

class VendorLogChunks : public VendorExec, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(VendorLogChunks, OffsetsLengthsAndWhereTheDataLands)
{
    const ChunkCase& c = GetParam();
    Bytes content;
    Drive("sas", ChunkedAnswer(c.page, c.len, &content));
    flash_log_part = c.part_before;
    disk_geometry.page_num = c.page_num;

    std::vector<u8> buf(c.len + 1, kSentinel);
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = kSysBefore;
    ASSERT_TRUE(DiskCmnd::Execute(c.type, &disk_, buf.data(), c.len, &user_err, &sys_err)) << user_err;
    EXPECT_EQ(user_err, USER_ERR_UNSUPPORTED);
    EXPECT_EQ(sys_err, kSysBefore);
    EXPECT_EQ(flash_log_part, c.part_after);

    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), c.chunks);
    for (u32 i = 0; i < c.chunks; i++) {
        const u32 offset = (c.first + i) * kChunk;
        const u32 n = std::min(kChunk, c.len - offset);
        ASSERT_EQ(CdbText(sent[i]), zvemu::HexText(Hex(LogChunkCdb(c.page, offset, n)))) << "request " << i;
        ASSERT_EQ(sent[i].dir, zvemu::TRACE_DIR_IN) << "request " << i;
        ASSERT_EQ(sent[i].len, n) << "request " << i;
        ASSERT_EQ(sent[i].timeout, 10000u) << "request " << i;
    }

    // The read range holds the drive's chunks at their own offsets; the rest is untouched.
    const u32 lo = c.first * kChunk;
    const u32 hi = std::min<u32>(c.len, (c.first + c.chunks) * kChunk);
    for (u32 i = 0; i < c.len; i++) {
        const u8 want = (i >= lo && i < hi) ? content[i] : kSentinel;
        if (buf[i] != want) {
            ADD_FAILURE() << "buffer byte " << i << " is " << int(buf[i]) << ", not " << int(want);
            break;
        }
    }
    EXPECT_EQ(buf[c.len], kSentinel) << "nothing lands past the length";
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorLogChunks, ::testing::ValuesIn(chunk_cases), CaseName());

// The node is opened once around all chunks of a read.
TEST_F(VendorExec, ChunksShareOneOpenNode)
{
    Bytes content;
    Drive("sas", ChunkedAnswer(0x76, 3 * kChunk, &content));
    std::vector<u8> buf(3 * kChunk);
    ASSERT_TRUE(Run(ExecVendorLogSense, TYPE_4DH_READNVALL_LOG, buf.data(), 3 * kChunk)) << user_err_;
    EXPECT_EQ(atatest::OpsText(zvemu::Trace()), "open sgio sgio sgio close");
}

// ---------------------------------------------------------------------------------------
// Type 86: the whole log in one command, its length spread over CDB bytes 3, 4, 7 and 8.

struct WholeCase {
    u32 len;
    const char* cdb;
};

void PrintTo(const WholeCase& c, std::ostream* os) { *os << c.len << " bytes"; }

const WholeCase whole_cases[] = {
    {98304, "4D 00 33 01 80 00 00 00 00 00"},
    {0x012345, "4D 00 33 01 23 00 00 45 45 00"},
    {12, "4D 00 33 00 00 00 00 0C 0C 00"},
    {0xFFFFFF, "4D 00 33 FF FF 00 00 FF FF 00"},
};

class CurrentLogRead : public VendorExec, public ::testing::WithParamInterface<WholeCase> {};

TEST_P(CurrentLogRead, OneCommandWithTheWholeLength)
{
    const WholeCase& c = GetParam();
    Drive("sas", "answer scsi 4D page=33\n size " + std::to_string(c.len) + "\n fill 0 4 33\n put " +
                     std::to_string(c.len - 1) + " CC\n");
    // The part of the flash log is not this log's: it is cleared and the log read whole.
    flash_log_part = 2;
    disk_geometry.page_num = 128;
    std::vector<u8> buf(c.len + 1, kSentinel);
    ASSERT_TRUE(Run(ExecVendorLogSense, TYPE_4DH_READCURRENT_LOG, buf.data(), c.len)) << user_err_;
    EXPECT_EQ(flash_log_part, 0u);
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(CdbText(sent[0]), zvemu::HexText(Hex(c.cdb)));
    EXPECT_EQ(sent[0].len, c.len);
    EXPECT_EQ(sent[0].timeout, 10000u);
    EXPECT_EQ(buf[0], 0x33);
    EXPECT_EQ(buf[c.len - 1], 0xCC);
    EXPECT_EQ(buf[c.len], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(Cases, CurrentLogRead, ::testing::ValuesIn(whole_cases), CaseName());

// ---------------------------------------------------------------------------------------
// Failures and refusals of the log reads.

TEST_F(VendorExec, ChunkFailureEndsTheReadAndKeepsEarlierChunks)
{
    Bytes content;
    Drive("sas", ChunkedAnswer(0x76, 1048576, &content) + "answer scsi 4D b2=76 b3-6=0x4000\n sense-fixed 3 11 00\n");
    std::vector<u8> buf(1048576, kSentinel);
    EXPECT_FALSE(Run(ExecVendorLogSense, TYPE_4DH_READNVALL_LOG, buf.data(), 1048576));
    EXPECT_EQ(user_err_, USER_ERR_SENSE_MEDIUM_HARDWARE);
    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 3u) << "chunks 0 and 1, then the failing chunk 2";
    EXPECT_EQ(CdbText(sent[2]), zvemu::HexText(Hex("4D 00 76 00 00 40 00 20 00 00")));
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[kChunk], 1);
    EXPECT_EQ(buf[3 * kChunk], kSentinel);
    EXPECT_EQ(atatest::OpsText(zvemu::Trace()), "open sgio sgio sgio close");
}

struct RefusalCase {
    const char* what;
    int type;
    bool null_buf;
    u32 len;
    u32 part_before;
    int user_err;
    u32 part_after;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

const RefusalCase refusal_cases[] = {
    {"no buffer", TYPE_4DH_READFLASH_LOG, true, 8192, 1, USER_ERR_ILLEGAL_PARAM, 1},
    {"zero length", TYPE_4DH_READNVSRAM_LOG, false, 0, 2, USER_ERR_ILLEGAL_PARAM, 2},
    {"no vendor log", TYPE_4DH_SMART_VALUE, false, 8192, 1, USER_ERR_UNSUPPORTED, 1},
    {"a length query value", TYPE_4DH_READFLASH_LOG + Q, false, 512, 0, USER_ERR_UNSUPPORTED, 0},
    // 24 bits carry the current log's length.
    {"a current log past 24 bits", TYPE_4DH_READCURRENT_LOG, false, 0x1000000, 0, USER_ERR_ILLEGAL_PARAM, 0},
    // A second part that begins at or past the end would read nothing and report success.
    {"part 2 of a log without one", TYPE_4DH_READFLASH_LOG, false, 1013 * 8192, 2, USER_ERR_ILLEGAL_PARAM, 2},
};

class VendorLogRefusal : public VendorExec, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(VendorLogRefusal, NothingOpened)
{
    const RefusalCase& c = GetParam();
    Drive("sas", "answer scsi 4D\n size 16\n");
    flash_log_part = c.part_before;
    disk_geometry.page_num = 128;
    std::vector<u8> buf(c.len + 1, kSentinel);
    EXPECT_FALSE(Run(ExecVendorLogSense, c.type, c.null_buf ? nullptr : buf.data(), c.len));
    EXPECT_EQ(user_err_, c.user_err);
    EXPECT_EQ(sys_err_, kSysBefore);
    EXPECT_EQ(flash_log_part, c.part_after);
    ExpectUntouched();
    EXPECT_EQ(std::count(buf.begin(), buf.end(), kSentinel), static_cast<long>(buf.size()));
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorLogRefusal, ::testing::ValuesIn(refusal_cases), CaseName());

// The length query and the read together on a drive of neither family that reports 256
// pages per block: the length is made of 128, but the geometry keeps 256, so the parts
// never apply and the part is cleared.
TEST_F(VendorExec, FlashLogPartOnAGeometryThatDoesNotSplit)
{
    Bytes content;
    Drive("sas", BasicInfoAnswer(DiskGeometry{16, 4, 8296, 256, 16384, 1000, 256}) +
                     ChunkedAnswer(0x71, kFlashLen, &content));
    flash_log_part = 1;
    u32 len = 0;
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = 0;
    ASSERT_TRUE(DiskCmnd::GetDataLen(TYPE_4DH_READFLASH_LOG, &disk_, &len, &user_err, &sys_err)) << user_err;
    ASSERT_EQ(len, kFlashLen);
    std::vector<u8> buf(len);
    ASSERT_TRUE(DiskCmnd::Execute(TYPE_4DH_READFLASH_LOG, &disk_, buf.data(), len, &user_err, &sys_err)) << user_err;
    EXPECT_EQ(flash_log_part, 0u);
    EXPECT_EQ(Requests().size(), 1u + 1922u);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), content.begin()));
}

// ---------------------------------------------------------------------------------------
// WRITE BUFFER downloads.

Bytes Image(u32 len)
{
    Bytes b(len);
    for (u32 i = 0; i < len; i++) {
        b[i] = static_cast<u8>((i * 131) ^ (i >> 9));
    }
    return b;
}

const char* const kTimestampCdb = "A40F000000000000000C0000";

struct WriteBufferCase {
    const char* what;
    int type;  // through DiskCmnd::Execute
    u32 len;
    const char* cdb;
};

void PrintTo(const WriteBufferCase& c, std::ostream* os) { *os << c.what; }

const WriteBufferCase write_buffer_cases[] = {
    {"300 KiB firmware", TYPE_3BH_DOWNLOAD_MICROCODE, 300 * 1024, "3B 05 00 00 00 00 04 B0 00 00"},
    {"loader", TYPE_3BH_DOWNLOAD_R5_LOADER, 1024, "3B 25 00 00 00 00 00 04 00 00"},
    {"[92h] Download Microcode on a SAS drive", TYPE_92H_DOWNLOAD_MICROCODE, 1000, "3B 05 00 00 00 00 00 03 E8 00"},
    {"the longest image the fields carry", TYPE_3BH_DOWNLOAD_R5_LOADER, 0xFFFFFF, "3B 25 00 00 00 00 FF FF FF 00"},
};

class WriteBufferDownload : public VendorExec, public ::testing::WithParamInterface<WriteBufferCase> {};

TEST_P(WriteBufferDownload, ClockThenTheImageInOneCommand)
{
    const WriteBufferCase& c = GetParam();
    Drive("sas", "answer scsi A4 sa=0F\nanswer scsi 3B\n");
    const Bytes image = Image(c.len);
    std::vector<u8> buf(image.begin(), image.end());
    const u64 before = static_cast<u64>(time(nullptr)) * 1000;
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = kSysBefore;
    ASSERT_TRUE(DiskCmnd::Execute(c.type, &disk_, buf.data(), c.len, &user_err, &sys_err)) << user_err;
    const u64 after = static_cast<u64>(time(nullptr)) * 1000;

    std::vector<TraceEntry> sent = Requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(CdbText(sent[0]), kTimestampCdb);
    ASSERT_EQ(sent[0].data.size(), 12u);
    u64 ms = 0;
    for (int i = 4; i < 10; i++) {
        ms = ms << 8 | sent[0].data[i];
    }
    EXPECT_GE(ms, before);
    EXPECT_LE(ms, after);
    EXPECT_EQ(Bytes(sent[0].data.begin(), sent[0].data.begin() + 4), Bytes(4, 0));

    EXPECT_EQ(CdbText(sent[1]), zvemu::HexText(Hex(c.cdb)));
    EXPECT_EQ(sent[1].dir, zvemu::TRACE_DIR_OUT);
    EXPECT_EQ(sent[1].timeout, 10000u);
    EXPECT_TRUE(sent[1].data == image) << "the image goes unchanged";
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), image.begin())) << "the caller's buffer is not changed";
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteBufferDownload, ::testing::ValuesIn(write_buffer_cases), CaseName());

struct WriteBufferFailCase {
    const char* what;
    const char* answers;
    int type;
    bool null_buf;
    u32 len;
    int user_err;
    std::vector<const char*> sent;  // the CDBs that reached the drive
};

void PrintTo(const WriteBufferFailCase& c, std::ostream* os) { *os << c.what; }

const WriteBufferFailCase write_buffer_fail_cases[] = {
    {"a failed clock setting sends no data", "answer scsi A4\n sense-fixed 5 20 00\nanswer scsi 3B\n",
     TYPE_3BH_DOWNLOAD_MICROCODE, false, 4096, USER_ERR_SENSE_BAD_OPCODE, {kTimestampCdb}},
    {"the download itself fails", "answer scsi A4 sa=0F\nanswer scsi 3B\n sense-fixed 4 44 00\n",
     TYPE_3BH_DOWNLOAD_R5_LOADER, false, 4096, USER_ERR_SENSE_MEDIUM_HARDWARE,
     {kTimestampCdb, "3B250000000000100000"}},
    // A write the drive did not take whole failed.
    {"the clock setting comes back short: no data", "answer scsi A4 sa=0F\n resid 6\nanswer scsi 3B\n",
     TYPE_3BH_DOWNLOAD_MICROCODE, false, 4096, USER_ERR_OS_API, {kTimestampCdb}},
    {"half the image taken", "answer scsi A4 sa=0F\nanswer scsi 3B\n resid 2048\n", TYPE_3BH_DOWNLOAD_MICROCODE,
     false, 4096, USER_ERR_OS_API, {kTimestampCdb, "3B050000000000100000"}},
    {"one byte of the loader not taken", "answer scsi A4 sa=0F\nanswer scsi 3B\n resid 1\n",
     TYPE_3BH_DOWNLOAD_R5_LOADER, false, 4096, USER_ERR_OS_API, {kTimestampCdb, "3B250000000000100000"}},
    {"an image past the 24-bit fields", "answer scsi A4 sa=0F\nanswer scsi 3B\n", TYPE_3BH_DOWNLOAD_MICROCODE, false,
     0x1000000, USER_ERR_ILLEGAL_PARAM, {}},
    {"no buffer", "answer scsi A4 sa=0F\nanswer scsi 3B\n", TYPE_3BH_DOWNLOAD_MICROCODE, true, 512,
     USER_ERR_ILLEGAL_PARAM, {}},
    {"zero length", "answer scsi A4 sa=0F\nanswer scsi 3B\n", TYPE_3BH_DOWNLOAD_R5_LOADER, false, 0,
     USER_ERR_ILLEGAL_PARAM, {}},
    {"another type", "answer scsi A4 sa=0F\nanswer scsi 3B\n", TYPE_C1H_WRITE_WEAR_LEVEL_TABLE, false, 512,
     USER_ERR_ILLEGAL_PARAM, {}},
};

class WriteBufferDownloadFails : public VendorExec, public ::testing::WithParamInterface<WriteBufferFailCase> {};

TEST_P(WriteBufferDownloadFails, StopsAtTheFailingStep)
{
    const WriteBufferFailCase& c = GetParam();
    Drive("sas", c.answers);
    std::vector<u8> buf(c.len + 1, 0x11);
    EXPECT_FALSE(Run(ExecWriteBufferDownload, c.type, c.null_buf ? nullptr : buf.data(), c.len));
    EXPECT_EQ(user_err_, c.user_err);
    if (c.user_err == USER_ERR_OS_API) {
        EXPECT_EQ(sys_err_, EIO) << "a short write fails as the transport does";
    }
    std::vector<std::string> got;
    for (const TraceEntry& e : Requests()) {
        got.push_back(CdbText(e));
    }
    EXPECT_EQ(got, std::vector<std::string>(c.sent.begin(), c.sent.end()));
    if (c.sent.empty()) {
        ExpectUntouched();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteBufferDownloadFails, ::testing::ValuesIn(write_buffer_fail_cases),
                         CaseName());

// ---------------------------------------------------------------------------------------
// DOWNLOAD MICROCODE over the ATA routes.

void PutWord(Bytes* b, size_t off, u32 v) { memcpy(b->data() + off, &v, sizeof(v)); }

u32 WordAt(const u8* p)
{
    u32 v;
    memcpy(&v, p, sizeof(v));
    return v;
}

// An image of len bytes with fisrtFwLens = first_len and, when second_len is given, a second
// header at offset first_len announcing it.
Bytes FwImage(u32 len, u32 first_len, u32 second_len)
{
    Bytes b = Image(len);
    if (len >= 64) {
        PutWord(&b, 44, first_len);
    }
    if (second_len != 0 && static_cast<u64>(first_len) + 64 <= len) {
        PutWord(&b, first_len + 44, second_len);
    }
    return b;
}

// The retry layout as the download leaves it in the buffer: the 448 bytes before the second
// part cleared, the first header copied to their start with word 11 set to 448.
Bytes RetryLayout(const Bytes& image, u32 first_len)
{
    Bytes out = image;
    const u32 start = first_len - 448;
    Bytes header(image.begin(), image.begin() + 64);
    PutWord(&header, 44, 448);
    std::fill(out.begin() + start, out.begin() + first_len, 0);
    std::copy(header.begin(), header.end(), out.begin() + start);
    return out;
}

struct Cmd {
    const char* regs;  // features, count, LBA 7:0, 15:8, 23:16, device, command
    u32 offset;        // where its data starts in the buffer after the call
    u32 bytes;
};

struct MicrocodeCase {
    const char* what;
    const char* kind;
    u32 link;
    bool retry;
    u32 len;
    u32 first_len;
    u32 second_len;
    std::vector<Cmd> cmds;
    const char* model = nullptr;  // the drive's; null for one of neither SATA family
};

void PrintTo(const MicrocodeCase& c, std::ostream* os) { *os << c.what; }

const u32 k300K = 300 * 1024;  // 600 sectors: 254 + 254 + 92

const MicrocodeCase microcode_cases[] = {
    // SAT: the whole image, except a K4410-family drive's first attempt, whose status
    // then judges the first command alone.
    {"SAT, 300 KiB", "sat", LINK_ATA_BY_SCSI, false, k300K, 1000, 0,
     {{"03 FE 00 00 00 40 92", 0, 254 * 512},
      {"03 FE 00 FE 00 40 92", 254 * 512, 254 * 512},
      {"03 5C 00 FC 01 40 92", 508 * 512, 92 * 512}}},
    {"SAT, 300 KiB, K4410 family", "sat", LINK_ATA_BY_SCSI, false, k300K, 1000, 0,
     {{"03 FE 00 00 00 40 92", 0, 254 * 512}}, kK4410Model},
    {"SAT retry, 300 KiB", "sat", LINK_ATA_BY_SCSI, true, k300K, 1000, 0,
     {{"03 FE 00 00 00 40 92", 0, 254 * 512},
      {"03 FE 00 FE 00 40 92", 254 * 512, 254 * 512},
      {"03 5C 00 FC 01 40 92", 508 * 512, 92 * 512}}},
    {"SAT, one sector", "sat", LINK_ATA_BY_SCSI, false, 512, 1000, 0, {{"07 01 00 00 00 40 92", 0, 512}}},
    {"SAT retry, exactly one command", "sat", LINK_ATA_BY_SCSI, true, 254 * 512, 1000, 0,
     {{"07 FE 00 00 00 40 92", 0, 254 * 512}}},
    // The tunnel: one sector per command, the first part only.
    {"tunnel, first part of 1000 bytes", "apt", LINK_ATA_BY_FC, false, 4096, 1000, 0,
     {{"03 01 00 00 00 40 92", 0, 512}, {"03 01 00 01 00 40 92", 512, 512}}},
    {"tunnel, first part of one sector", "apt", LINK_ATA_BY_FC, false, 4096, 512, 0,
     {{"07 01 00 00 00 40 92", 0, 512}}},
    {"tunnel, first part is the whole image", "apt", LINK_ATA_BY_FC, false, 1536, 1536, 0,
     {{"03 01 00 00 00 40 92", 0, 512}, {"03 01 00 01 00 40 92", 512, 512}, {"03 01 00 02 00 40 92", 1024, 512}}},
    // The retry over the tunnel: 448 header bytes in front of the second part.
    {"tunnel retry", "apt", LINK_ATA_BY_FC, true, 4096, 1024, 600,
     {{"03 01 00 00 00 40 92", 576, 512}, {"03 01 00 01 00 40 92", 1088, 512}, {"03 01 00 02 00 40 92", 1600, 512}}},
    // The header block starts at the image's own header, which it replaces.
    {"tunnel retry, second part at 448", "apt", LINK_ATA_BY_FC, true, 1024, 448, 64,
     {{"07 01 00 00 00 40 92", 0, 512}}},
    {"tunnel retry up to the buffer's end", "apt", LINK_ATA_BY_FC, true, 2048, 960, 1088,
     {{"03 01 00 00 00 40 92", 512, 512}, {"03 01 00 01 00 40 92", 1024, 512}, {"03 01 00 02 00 40 92", 1536, 512}}},
};

class MicrocodeDownload : public VendorExec, public ::testing::WithParamInterface<MicrocodeCase> {};

TEST_P(MicrocodeDownload, CommandsOffsetsAndData)
{
    const MicrocodeCase& c = GetParam();
    Drive(c.kind, "answer ata 92\n");
    disk_.link_type = c.link;
    if (c.model != nullptr) {
        disk_.model = c.model;
    }
    fw_download_retry = c.retry;
    const Bytes image = FwImage(c.len, c.first_len, c.second_len);
    std::vector<u8> buf(image.begin(), image.end());
    int user_err = USER_ERR_NO_ERROR;
    int sys_err = kSysBefore;
    ASSERT_TRUE(DiskCmnd::Execute(TYPE_92H_DOWNLOAD_MICROCODE, &disk_, buf.data(), c.len, &user_err, &sys_err))
        << "user error " << user_err << " system error " << sys_err;
    EXPECT_EQ(user_err, USER_ERR_UNSUPPORTED);
    EXPECT_EQ(sys_err, kSysBefore);

    const Bytes after = c.link == LINK_ATA_BY_FC && c.retry ? RetryLayout(image, c.first_len) : image;
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), after.begin())) << "the buffer after the call";

    std::vector<TraceEntry> trace = zvemu::Trace();
    std::vector<SentAta> sent = atatest::SentAtaCommands(trace);
    ASSERT_EQ(sent.size(), c.cmds.size());
    for (size_t i = 0; i < sent.size(); i++) {
        SCOPED_TRACE("command " + std::to_string(i));
        EXPECT_EQ(atatest::RegsText(sent[i].regs), c.cmds[i].regs);
        EXPECT_EQ(atatest::RegsText(Bytes(sent[i].regs.begin() + 7, sent[i].regs.end()), 5), "00 00 00 00 00");
        EXPECT_FALSE(sent[i].ext48);
        EXPECT_EQ(sent[i].dir, 2);
        EXPECT_EQ(sent[i].len, c.cmds[i].bytes);
        ASSERT_LE(c.cmds[i].offset + c.cmds[i].bytes, c.len);
        EXPECT_TRUE(sent[i].data_out ==
                    Bytes(after.begin() + c.cmds[i].offset, after.begin() + c.cmds[i].offset + c.cmds[i].bytes));
    }
    // One open around all commands.
    const std::string ops = atatest::OpsText(trace);
    EXPECT_EQ(ops.substr(0, 5), "open ");
    EXPECT_EQ(ops.find("open", 1), std::string::npos) << ops;
    EXPECT_EQ(ops.substr(ops.size() - 6), " close");
}

INSTANTIATE_TEST_SUITE_P(Cases, MicrocodeDownload, ::testing::ValuesIn(microcode_cases), CaseName());

// The retry layout seen byte by byte: header copy with word 11 = 448, zeros, then the
// second part's own header untouched.
TEST_F(VendorExec, RetryLayoutOverTheTunnel)
{
    Drive("apt", "answer ata 92\n");
    disk_.link_type = LINK_ATA_BY_FC;
    fw_download_retry = true;
    const Bytes image = FwImage(4096, 1024, 600);
    std::vector<u8> buf(image.begin(), image.end());
    ASSERT_TRUE(Run(ExecDownloadMicrocodeAta, TYPE_92H_DOWNLOAD_MICROCODE, buf.data(), 4096)) << user_err_;
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 576, image.begin())) << "bytes before the block stay";
    EXPECT_TRUE(std::equal(buf.begin() + 576, buf.begin() + 576 + 44, image.begin())) << "header words 0-10";
    EXPECT_EQ(WordAt(buf.data() + 576 + 44), 448u);
    EXPECT_TRUE(std::equal(buf.begin() + 576 + 48, buf.begin() + 576 + 64, image.begin() + 48)) << "words 12-15";
    EXPECT_EQ(std::count(buf.begin() + 640, buf.begin() + 1024, 0), 384) << "the rest of the block is zero";
    EXPECT_EQ(WordAt(buf.data() + 1024 + 44), 600u) << "the second part keeps its own header";
    EXPECT_TRUE(std::equal(buf.begin() + 1024, buf.end(), image.begin() + 1024));
}

struct MicrocodeFailCase {
    const char* what;
    const char* kind;
    u32 link;
    bool retry;
    const char* answers;
    u32 len;
    int user_err;
    int sys_err;
    size_t commands;  // ATA commands that reached the drive
};

void PrintTo(const MicrocodeFailCase& c, std::ostream* os) { *os << c.what; }

const MicrocodeFailCase microcode_fail_cases[] = {
    {"SAT retry: the second command's registers fail", "sat", LINK_ATA_BY_SCSI, true,
     "answer ata 92\nanswer ata 92 lba1=FE\n regs status=50 err=04\n", k300K, USER_ERR_ATA_STATUS, 0x0450, 2},
    // ERR under CK_COND comes back as the route's sense error.
    {"SAT: the first command is aborted", "sat", LINK_ATA_BY_SCSI, false, "answer ata 92\n regs status=51 err=10\n",
     k300K, USER_ERR_SENSE_ABORTED_COMMAND, kSysBefore, 1},
    {"tunnel: the second sector's registers fail", "apt", LINK_ATA_BY_FC, false,
     "answer ata 92\nanswer ata 92 lba1=01\n regs status=51 err=04\n", 4096, USER_ERR_ATA_STATUS, 0x0451, 2},
    {"tunnel: the packet write fails", "apt", LINK_ATA_BY_FC, false,
     "answer ata 92\nanswer scsi 3B mode=1 id=6\n sense-fixed 4 44 00\n", 4096, USER_ERR_SENSE_MEDIUM_HARDWARE,
     kSysBefore, 1},
    // A data-out the drive did not take whole failed: nothing follows it.
    {"SAT: half the first command taken", "sat", LINK_ATA_BY_SCSI, false, "answer ata 92\n resid 65024\n", k300K,
     USER_ERR_OS_API, EIO, 1},
    {"SAT retry: the first command short, the rest not sent", "sat", LINK_ATA_BY_SCSI, true,
     "answer ata 92\nanswer ata 92 lba1=00\n resid 512\n", k300K, USER_ERR_OS_API, EIO, 1},
    {"tunnel: the first sector short, the second not sent", "apt", LINK_ATA_BY_FC, false,
     "answer ata 92\n resid 4\n", 4096, USER_ERR_OS_API, EIO, 1},
};

class MicrocodeDownloadFails : public VendorExec, public ::testing::WithParamInterface<MicrocodeFailCase> {};

TEST_P(MicrocodeDownloadFails, TheFirstFailureEndsIt)
{
    const MicrocodeFailCase& c = GetParam();
    Drive(c.kind, c.answers);
    disk_.link_type = c.link;
    fw_download_retry = c.retry;
    const Bytes image = FwImage(c.len, 1000, 0);
    std::vector<u8> buf(image.begin(), image.end());
    EXPECT_FALSE(Run(ExecDownloadMicrocodeAta, TYPE_92H_DOWNLOAD_MICROCODE, buf.data(), c.len));
    EXPECT_EQ(user_err_, c.user_err);
    EXPECT_EQ(sys_err_, c.sys_err);
    EXPECT_EQ(atatest::SentAtaCommands(zvemu::Trace()).size(), c.commands);
    const std::string ops = atatest::OpsText(zvemu::Trace());
    EXPECT_EQ(ops.substr(ops.size() - 6), " close");
}

INSTANTIATE_TEST_SUITE_P(Cases, MicrocodeDownloadFails, ::testing::ValuesIn(microcode_fail_cases), CaseName());

struct MicrocodeRefusalCase {
    const char* what;
    int type;
    u32 link;
    bool retry;
    bool null_buf;
    u32 len;
    u32 first_len;
    u32 second_len;
    int user_err;
};

void PrintTo(const MicrocodeRefusalCase& c, std::ostream* os) { *os << c.what; }

const MicrocodeRefusalCase microcode_refusal_cases[] = {
    {"a length not a multiple of 512", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_SCSI, false, false, 1000, 100, 0,
     USER_ERR_ILLEGAL_PARAM},
    {"zero length", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_SCSI, false, false, 0, 0, 0, USER_ERR_ILLEGAL_PARAM},
    {"no buffer", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, false, true, 512, 512, 0, USER_ERR_ILLEGAL_PARAM},
    {"another type", TYPE_3BH_DOWNLOAD_MICROCODE, LINK_ATA_BY_SCSI, false, false, 512, 512, 0,
     USER_ERR_ILLEGAL_PARAM},
    {"a SCSI link", TYPE_92H_DOWNLOAD_MICROCODE, LINK_SCSI, false, false, 512, 512, 0, USER_ERR_UNSUPPORTED},
    {"an unknown link", TYPE_92H_DOWNLOAD_MICROCODE, 0, false, false, 512, 512, 0, USER_ERR_UNSUPPORTED},
    // The tunnel's first part must lie inside the image and hold something.
    {"tunnel: first part past the image", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, false, false, 2048, 2049, 0,
     USER_ERR_ILLEGAL_PARAM},
    {"tunnel: empty first part", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, false, false, 2048, 0, 0,
     USER_ERR_ILLEGAL_PARAM},
    // The retry layout needs room for its block, the second header, and every sector it sends.
    {"retry: second part before 448", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, true, false, 4096, 447, 100,
     USER_ERR_ILLEGAL_PARAM},
    {"retry: second header past the end", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, true, false, 2048, 1985, 0,
     USER_ERR_ILLEGAL_PARAM},
    {"retry: second part longer than the image", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, true, false, 2048,
     960, 1089, USER_ERR_ILLEGAL_PARAM},
    {"retry: a second length that wraps", TYPE_92H_DOWNLOAD_MICROCODE, LINK_ATA_BY_FC, true, false, 2048, 960,
     0xFFFFFF80, USER_ERR_ILLEGAL_PARAM},
};

class MicrocodeRefusal : public VendorExec, public ::testing::WithParamInterface<MicrocodeRefusalCase> {};

TEST_P(MicrocodeRefusal, NothingOpenedAndTheImageUnchanged)
{
    const MicrocodeRefusalCase& c = GetParam();
    Drive("apt", "answer ata 92\n");
    disk_.link_type = c.link;
    fw_download_retry = c.retry;
    const Bytes image = FwImage(c.len, c.first_len, c.second_len);
    std::vector<u8> buf(image.begin(), image.end());
    buf.resize(c.len + 1, kSentinel);
    EXPECT_FALSE(Run(ExecDownloadMicrocodeAta, c.type, c.null_buf ? nullptr : buf.data(), c.len));
    EXPECT_EQ(user_err_, c.user_err);
    EXPECT_EQ(sys_err_, kSysBefore);
    ExpectUntouched();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), buf.begin()));
}

INSTANTIATE_TEST_SUITE_P(Cases, MicrocodeRefusal, ::testing::ValuesIn(microcode_refusal_cases), CaseName());

// The native link has no route: the node is opened and closed, nothing is sent.
TEST_F(VendorExec, NativeLinkSendsNothing)
{
    Drive("sat", "answer ata 92\n");
    disk_.link_type = LINK_ATA;
    std::vector<u8> buf(512, 0);
    EXPECT_FALSE(Run(ExecDownloadMicrocodeAta, TYPE_92H_DOWNLOAD_MICROCODE, buf.data(), 512));
    EXPECT_EQ(user_err_, USER_ERR_UNSUPPORTED);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(atatest::OpsText(zvemu::Trace()), "open close");
}

} // namespace
