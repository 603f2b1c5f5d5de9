// The FORMAT UNIT procedure's own sense evaluation and requests, in-process against the
// emulated drives: sense categories and summaries, the parameter list length of MODE SELECT,
// refusals that must send nothing, the bounds of the progress bytes, and the entry checks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "emu_api.h"
#include "format_unit.h"
#include "front_state.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

const char* const kNode = "/dev/sdt";

struct CategoryCase {
    u8 key;
    u8 asc;
    u8 ascq;
    int category;
};

void PrintTo(const CategoryCase& c, std::ostream* os)
{
    *os << std::hex << "key " << unsigned(c.key) << " asc " << unsigned(c.asc) << " ascq " << unsigned(c.ascq);
}

class SenseCategoryTable : public ::testing::TestWithParam<CategoryCase> {};

TEST_P(SenseCategoryTable, MapsKeyAndCodes)
{
    const CategoryCase& c = GetParam();
    SenseSummary s = {0x70, c.key, c.asc, c.ascq, 0};
    EXPECT_EQ(senseCategory(&s), c.category);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SenseCategoryTable,
    ::testing::Values(CategoryCase{0x00, 0x00, 0x00, 0}, CategoryCase{0x02, 0x04, 0x04, 1},
                      CategoryCase{0x02, 0x00, 0x00, 1}, CategoryCase{0x02, 0x3A, 0x00, 6},
                      CategoryCase{0x02, 0x04, 0x01, 7}, CategoryCase{0x02, 0x04, 0x02, 1},
                      CategoryCase{0x05, 0x20, 0x00, 2}, CategoryCase{0x05, 0x24, 0x00, 3},
                      CategoryCase{0x05, 0x26, 0x00, 4}, CategoryCase{0x05, 0x1A, 0x00, 0},
                      CategoryCase{0x06, 0x29, 0x00, 8}, CategoryCase{0x03, 0x11, 0x00, 0},
                      CategoryCase{0x04, 0x00, 0x00, 0}, CategoryCase{0x0B, 0x00, 0x00, 0},
                      // The codes count only under their sense key.
                      CategoryCase{0x03, 0x3A, 0x00, 0}, CategoryCase{0x06, 0x20, 0x00, 8}),
    CaseName());

struct SummaryCase {
    u8 status;
    int written;
    const char* sense;
    SenseSummary expected;
    const char* printed;
};

void PrintTo(const SummaryCase& c, std::ostream* os)
{
    *os << "status " << std::hex << unsigned(c.status) << std::dec << "h, " << c.written << " bytes of " << c.sense;
}

class SenseSummaryTable : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(SenseSummaryTable, ReadsOnlyWhatWasWritten)
{
    const SummaryCase& c = GetParam();
    Bytes sense = Hex(c.sense);
    sense.resize(32, 0);
    sg_io_hdr hdr;
    memset(&hdr, 0, sizeof(hdr));
    hdr.status = c.status;
    hdr.sb_len_wr = static_cast<unsigned char>(c.written);
    hdr.sbp = sense.data();
    SenseSummary out;
    memset(&out, 0xEE, sizeof(out));
    ::testing::internal::CaptureStdout();
    getSenseSummary(&hdr, &out);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(out.response_code, c.expected.response_code);
    EXPECT_EQ(out.sense_key, c.expected.sense_key);
    EXPECT_EQ(out.asc, c.expected.asc);
    EXPECT_EQ(out.ascq, c.expected.ascq);
    EXPECT_EQ(out.fru, c.expected.fru);
}

const char* const kFixed = "F0 00 05 00 00 00 00 0A 00 00 00 00 24 01 07 00 00 00";

INSTANTIATE_TEST_SUITE_P(
    Table, SenseSummaryTable,
    ::testing::Values(
        SummaryCase{0x02, 18, kFixed, {0x70, 0x05, 0x24, 0x01, 0x07},
                    "SENSE = 0x05,ASC = 0x24,ASCQ = 0x01,FRU = 0x07\n"},
        // Not CHECK CONDITION, or too little sense: nothing.
        SummaryCase{0x00, 18, kFixed, {0, 0, 0, 0, 0}, ""},
        SummaryCase{0x18, 18, kFixed, {0, 0, 0, 0, 0}, ""},
        SummaryCase{0x02, 7, kFixed, {0, 0, 0, 0, 0}, ""},
        // Eight to fourteen bytes: the key only, no line.
        SummaryCase{0x02, 14, kFixed, {0x70, 0x05, 0, 0, 0}, ""},
        SummaryCase{0x02, 15, kFixed, {0x70, 0x05, 0x24, 0x01, 0x07},
                    "SENSE = 0x05,ASC = 0x24,ASCQ = 0x01,FRU = 0x07\n"},
        // A format in progress is not reported.
        SummaryCase{0x02, 18, "70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 40 00", {0x70, 0x02, 0x04, 0x04, 0},
                    ""},
        SummaryCase{0x02, 18, "70 00 02 00 00 00 00 0A 00 00 00 00 04 01 00", {0x70, 0x02, 0x04, 0x01, 0},
                    "SENSE = 0x02,ASC = 0x04,ASCQ = 0x01,FRU = 0x00\n"},
        // Descriptor format: key and codes in bytes 1 to 3, the FRU in its descriptor.
        SummaryCase{0x02, 20, "72 06 29 01 00 00 00 0C 00 02 00 00 03 02 00 5A 00 00 00 00",
                    {0x72, 0x06, 0x29, 0x01, 0x5A}, "SENSE = 0x06,ASC = 0x29,ASCQ = 0x01,FRU = 0x5a\n"},
        // Bit 7 of a descriptor-format response code is reserved: the descriptors are read all the same.
        SummaryCase{0x02, 20, "F2 06 29 01 00 00 00 0C 00 02 00 00 03 02 00 5A 00 00 00 00",
                    {0x72, 0x06, 0x29, 0x01, 0x5A}, "SENSE = 0x06,ASC = 0x29,ASCQ = 0x01,FRU = 0x5a\n"},
        SummaryCase{0x02, 8, "72 02 04 04 00 00 00 00", {0x72, 0x02, 0x04, 0x04, 0}, ""},
        // A FRU descriptor cut off by the count written is not read.
        SummaryCase{0x02, 11, "73 05 26 00 00 00 00 08 03 02 00 5A", {0x73, 0x05, 0x26, 0x00, 0},
                    "SENSE = 0x05,ASC = 0x26,ASCQ = 0x00,FRU = 0x00\n"}),
    CaseName());

TEST(SenseSummary, NoHeaderOrBufferLeavesZeros)
{
    SenseSummary out;
    memset(&out, 0xEE, sizeof(out));
    getSenseSummary(nullptr, &out);
    EXPECT_EQ(out.sense_key, 0);
    sg_io_hdr hdr;
    memset(&hdr, 0, sizeof(hdr));
    hdr.status = 0x02;
    hdr.sb_len_wr = 18;
    memset(&out, 0xEE, sizeof(out));
    getSenseSummary(&hdr, &out);
    EXPECT_EQ(out.response_code, 0);
    EXPECT_EQ(senseCategory(nullptr), 0);
}

// A test that talks to an emulated drive through a node it opened like the procedure does.
class FormatRequests : public ::testing::Test {
protected:
    void SetUp() override { zvemu::Reset(); }

    void TearDown() override
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        zvemu::Reset();
    }

    void Drive(const std::string& answers)
    {
        std::string error;
        ASSERT_TRUE(zvemu::LoadFixtureText(std::string("drive ") + kNode + " sas-format\n" + answers, ".", &error))
            << error;
        fd_ = open(kNode, O_RDWR | O_NONBLOCK | O_DIRECT);
        ASSERT_GE(fd_, 0);
        zvemu::ClearTrace();
    }

    int fd_ = -1;
};

TEST_F(FormatRequests, ModeSenseLengthOutsideItsByteSendsNothing)
{
    Drive("");
    u8 buf[300] = {};
    EXPECT_EQ(modeSense6(fd_, buf, -1), kFormatRefused);
    EXPECT_EQ(modeSense6(fd_, buf, 256), kFormatRefused);
    EXPECT_EQ(modeSense6(fd_, nullptr, 4), kFormatRefused);
    EXPECT_TRUE(zvemu::Requests().empty());
    EXPECT_EQ(modeSense6(fd_, buf, 255), 0);
    ASSERT_EQ(zvemu::Requests().size(), 1u);
    EXPECT_EQ(zvemu::Requests()[0].cdb, Hex("1A 00 01 00 FF 00"));
}

struct SelectCase {
    const char* mode;       // mode data handed to modeSelect6, all of it as len
    int rc;
    const char* cdb;        // null: nothing may be sent
    const char* sent;       // the data as sent
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << c.mode; }

class ModeSelectList : public FormatRequests, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(ModeSelectList, ListLengthCoversHeaderDescriptorsAndFirstPage)
{
    const SelectCase& c = GetParam();
    Drive("");
    Bytes mode = Hex(c.mode);
    EXPECT_EQ(modeSelect6(fd_, mode.data(), static_cast<int>(mode.size())), c.rc);
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests();
    if (c.cdb == nullptr) {
        EXPECT_TRUE(sent.empty());
        return;
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cdb, Hex(c.cdb));
    EXPECT_EQ(sent[0].data, Hex(c.sent));
    EXPECT_EQ(sent[0].timeout, 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModeSelectList,
    ::testing::Values(
        // Byte 0 zeroed, PS of the page cleared; 4 + 8 + 2 + 0Ah.
        SelectCase{"17 00 00 08 00000000 00000208 810AC008000000000800FFFF", 0, "15 11 00 00 18 00",
                   "00 00 00 08 00000000 00000208 010AC008000000000800FFFF"},
        // Only the first page counts; the rest still travels in the transfer.
        SelectCase{"1B 00 00 08 00000000 00000208 810AC008000000000800FFFF 8202 0000", 0, "15 11 00 00 18 00",
                   "00 00 00 08 00000000 00000208 010AC008000000000800FFFF 8202 0000"},
        SelectCase{"0B 00 00 08 00000000 00000208", 0, "15 11 00 00 0C 00", "00 00 00 08 00000000 00000208"},
        // Descriptors or the first page beyond the data, or no header: refused unsent.
        SelectCase{"0B 00 00 10 00000000 00000208", kFormatRefused, nullptr, nullptr},
        SelectCase{"17 00 00 08 00000000 00000208 81", kFormatRefused, nullptr, nullptr},
        SelectCase{"17 00 00 08 00000000 00000208 810BC008000000000800FFFF", kFormatRefused, nullptr, nullptr},
        SelectCase{"03 00 00", kFormatRefused, nullptr, nullptr}),
    CaseName());

TEST_F(FormatRequests, ModeSelectOfMoreThanItsByteRefused)
{
    Drive("");
    std::vector<u8> mode(256, 0);
    mode[3] = 8;
    EXPECT_EQ(modeSelect6(fd_, mode.data(), 256), kFormatRefused);
    EXPECT_EQ(modeSelect6(fd_, nullptr, 12), kFormatRefused);
    EXPECT_TRUE(zvemu::Requests().empty());
}

// A format parameter list: header flags, then a pattern descriptor of pattern_len announced bytes.
Bytes FormatList(u8 flags, u32 pattern_len, size_t size, u32 defect_len = 0)
{
    Bytes list(size, 0);
    list[1] = flags;
    list[2] = static_cast<u8>(defect_len >> 8);
    list[3] = static_cast<u8>(defect_len);
    list[5] = 0x01;
    list[6] = static_cast<u8>(pattern_len >> 8);
    list[7] = static_cast<u8>(pattern_len);
    return list;
}

struct ListCase {
    Bytes list;
    int status;
};

void PrintTo(const ListCase& c, std::ostream* os)
{
    *os << "list of " << c.list.size() << " bytes, flags " << std::hex << unsigned(c.list[1]) << "h";
}

class FormatListChecked : public FormatRequests, public ::testing::WithParamInterface<ListCase> {};

// The drive model refuses the lists a drive refuses, and the status comes back as it is.
TEST_P(FormatListChecked, StatusOfTheDrive)
{
    Drive("");
    Bytes list = GetParam().list;
    EXPECT_EQ(sendFormatUnit(fd_, list.data(), static_cast<int>(list.size())), GetParam().status);
    ASSERT_EQ(zvemu::Requests().size(), 1u);
    EXPECT_EQ(zvemu::Requests()[0].cdb, Hex("04 10 00 00 00 00"));
    EXPECT_EQ(zvemu::Requests()[0].timeout, 6000u);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatListChecked,
                         ::testing::Values(ListCase{FormatList(0xBA, 512, 520), 0},
                                           // A pattern longer than the 512-byte block.
                                           ListCase{FormatList(0xBA, 520, 528), 2},
                                           // The list is one byte short or long of what it announces.
                                           ListCase{FormatList(0xBA, 512, 519), 2},
                                           ListCase{FormatList(0xBA, 512, 521), 2},
                                           ListCase{FormatList(0xBA, 512, 524, 4), 2},
                                           // Option bits without FOV.
                                           ListCase{FormatList(0x3A, 512, 520), 2}),
                         CaseName());

TEST_F(FormatRequests, FormatListMissingIsRefusedUnsent)
{
    Drive("");
    EXPECT_EQ(sendFormatUnit(fd_, nullptr, 520), kFormatRefused);
    u8 b = 0;
    EXPECT_EQ(sendFormatUnit(fd_, &b, 0), kFormatRefused);
    EXPECT_TRUE(zvemu::Requests().empty());
}

struct ProgressCase {
    const char* answer;
    int status;
    u32 progress;   // kUnset when it must stay untouched
    const char* printed;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.answer; }

const u32 kUnset = 0xDEADBEEF;

class ProgressBytes : public FormatRequests, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressBytes, ReadOnlyFromBytesTheDriverWrote)
{
    const ProgressCase& c = GetParam();
    Drive(std::string("answer scsi 00\n") + c.answer + "\n");
    SenseSummary s;
    u32 progress = kUnset;
    ::testing::internal::CaptureStdout();
    const int status = testUnitReadyProgress(fd_, &s, &progress);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(progress, c.progress);
    ASSERT_EQ(zvemu::Requests().size(), 1u);
    EXPECT_EQ(zvemu::Requests()[0].cdb, Hex("00 00 00 00 00 00"));
    EXPECT_EQ(zvemu::Requests()[0].timeout, 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressBytes,
    ::testing::Values(
        ProgressCase{"  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 12 34", 2, 0x1234, ""},
        // SKSV and the progress not written.
        ProgressCase{"  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 12 34\n  sense-written 16", 2, kUnset,
                     "No valid data!"},
        ProgressCase{"  sense 72 02 04 04 00 00 00 08 02 06 00 00 80 00 10 00", 2, 0x0010, ""},
        // The descriptor reaches past the count written, or past the additional length.
        ProgressCase{"  sense 72 02 04 04 00 00 00 08 02 06 00 00 80 00 10 00\n  sense-written 14", 2, kUnset, ""},
        ProgressCase{"  sense 72 02 04 04 00 00 00 06 02 06 00 00 80 00 10 00", 2, kUnset, ""},
        // The sense key specific descriptor after another one.
        ProgressCase{"  sense 72 02 04 04 00 00 00 0C 00 02 00 00 02 06 00 00 80 80 00 00", 2, 0x8000, ""},
        // Sense reported by the driver counts as CHECK CONDITION.
        ProgressCase{"  status 00\n  sense 70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 80 00 40\n  driver-status 08", 2,
                     0x0040, ""},
        // Sense of no more than 7 bytes has no format to read progress from.
        ProgressCase{"  sense 70 00 02 00 00 00 00\n  sense-written 7", 2, kUnset, ""},
        ProgressCase{"", 0, kUnset, ""}, ProgressCase{"  status 08", 8, kUnset, ""},
        ProgressCase{"  driver-status 01", -1, kUnset, "errno=5\n"},
        ProgressCase{"  errno EBUSY", -1, kUnset, "errno=10\n"}),
    CaseName());

class FormatEntry : public FormatRequests {
protected:
    void TearDown() override
    {
        dev_name = nullptr;
        FormatRequests::TearDown();
    }
};

TEST_F(FormatEntry, NoPathOrNoNodeGivesOne)
{
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(doFormatUnit(nullptr, 512), 1);
    EXPECT_EQ(queryFormatProgress(nullptr), 1);
    EXPECT_EQ(doFormatUnit("/dev/sdz", 512), 1);
    EXPECT_EQ(queryFormatProgress("/dev/sdz"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Block name is not exist!\nBlock name is not exist!\n");
}

TEST_F(FormatEntry, BlockLengthWithoutAPatternLengthRefusedBeforeOpening)
{
    Drive("");
    for (int len : {0, -520, 0x10000}) {
        EXPECT_EQ(doFormatUnit(kNode, len), kFormatRefused) << len;
    }
    EXPECT_TRUE(zvemu::Trace().empty());
}

TEST_F(FormatEntry, FormatUnitReportsWithoutLineEnd)
{
    char node[] = "/dev/sdt";
    Drive("");
    struct Case {
        char* dev;
        const char* value;
        const char* out;
    };
    const Case cases[] = {
        {nullptr, "520", "Block name is not exist!\nformat err:1,f:formatUnit,l:589"},
        {node, "abc", "format err:ffffffea,f:formatUnit,l:589"},
        {node, "99999999999999999999", "format err:ffffffea,f:formatUnit,l:589"},
        {node, "520", "Format progress indication is  25%\n"},
    };
    for (const Case& c : cases) {
        dev_name = c.dev;
        ::testing::internal::CaptureStdout();
        formatUnit(c.value);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.out) << c.value;
    }
    EXPECT_EQ(zvemu::OpenDescriptors(), 1);   // only the test's own
}

} // namespace
