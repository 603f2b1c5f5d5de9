// The drive emulator itself, driven through raw SG_IO so that its answers are checked
// independently of the product's transport.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <ostream>
#include <scsi/sg.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "disk_info.h"
#include "emu_api.h"

namespace {

using zvemu::Bytes;
using zvemu::Hex;

struct SgResult {
    int rc = 0;
    int err = 0;
    sg_io_hdr_t h;
    Bytes sense;   // sb_len_wr bytes
    Bytes data;    // the transfer buffer after the call, cut by resid for data-in
};

SgResult SgIo(int fd, const Bytes& cdb, int dir, u32 len, const Bytes& out = Bytes())
{
    SgResult r;
    std::vector<u8> buf(len > 0 ? len : 1, 0xEE);
    if (dir == SG_DXFER_TO_DEV) {
        std::copy(out.begin(), out.end(), buf.begin());
    }
    u8 sense[32];
    memset(sense, 0xCC, sizeof(sense));
    Bytes c = cdb;
    memset(&r.h, 0, sizeof(r.h));
    r.h.interface_id = 'S';
    r.h.cmd_len = static_cast<unsigned char>(c.size());
    r.h.cmdp = c.data();
    r.h.dxfer_direction = dir;
    r.h.dxfer_len = len;
    r.h.dxferp = len > 0 ? buf.data() : nullptr;
    r.h.mx_sb_len = sizeof(sense);
    r.h.sbp = sense;
    r.h.timeout = 10000;
    errno = 0;
    r.rc = ioctl(fd, SG_IO, &r.h);
    r.err = errno;
    if (r.rc == 0) {
        r.sense.assign(sense, sense + std::min<int>(r.h.sb_len_wr, sizeof(sense)));
        if (dir == SG_DXFER_FROM_DEV) {
            r.data.assign(buf.begin(), buf.begin() + (len - std::min<u32>(len, r.h.resid)));
        }
    }
    return r;
}

class Emu : public ::testing::Test {
protected:
    void SetUp() override { zvemu::Reset(); }
    void TearDown() override
    {
        for (int fd : fds_) {
            close(fd);
        }
        zvemu::Reset();
    }

    void Load(const std::string& text)
    {
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, ".", &err)) << err;
    }

    int Open(const char* node)
    {
        int fd = open(node, O_RDWR | O_NONBLOCK);
        EXPECT_GE(fd, 0) << node;
        if (fd >= 0) {
            fds_.push_back(fd);
        }
        return fd;
    }

    std::vector<int> fds_;
};

// ---- Claims ----

class EmuRefusedPath : public Emu, public ::testing::WithParamInterface<const char*> {};

TEST_P(EmuRefusedPath, EveryOpenFormFailsWithEnoent)
{
    Load("drive /dev/sdb sas\n");
    const char* path = GetParam();
    errno = 0;
    EXPECT_EQ(open(path, O_RDWR | O_NONBLOCK), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(openat(AT_FDCWD, path, O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(open64(path, O_RDONLY | O_CREAT, 0600), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(fopen(path, "r+"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    // The three opens are in the trace, each with its errno.
    std::vector<zvemu::TraceEntry> t = zvemu::Trace();
    ASSERT_EQ(t.size(), 3u);
    for (const zvemu::TraceEntry& e : t) {
        EXPECT_EQ(e.op, "open");
        EXPECT_EQ(e.node, path);
        EXPECT_EQ(e.err, ENOENT);
    }
    EXPECT_EQ(t[0].flags, O_RDWR | O_NONBLOCK);
}

INSTANTIATE_TEST_SUITE_P(Paths, EmuRefusedPath,
                         ::testing::Values("/dev/sda", "/dev/sdzzz", "/dev/sd-4095p", "/dev/sg0",
                                           "/dev/megaraid_sas_ioctl_node", "/dev/megadev0", "/dev/sr0"),
                         CaseName());

TEST_F(Emu, UnclaimedPathsAndIoctlsPassThrough)
{
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    close(fd);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    int avail = -1;
    EXPECT_EQ(ioctl(p[0], FIONREAD, &avail), 0);
    EXPECT_EQ(avail, 0);
    close(p[0]);
    close(p[1]);
    EXPECT_TRUE(zvemu::Trace().empty());
}

TEST_F(Emu, ScsiIoctlsOnOtherDescriptorsAreRefused)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    sg_io_hdr_t h;
    memset(&h, 0, sizeof(h));
    h.interface_id = 'S';
    const unsigned long requests[] = {SG_IO, SG_GET_VERSION_NUM, 0x5382 /* SCSI_IOCTL_GET_IDLUN */, 1,
                                      0xC1144D01 /* a RAID driver request */};
    for (unsigned long req : requests) {
        errno = 0;
        EXPECT_EQ(ioctl(p[0], req, &h), -1) << std::hex << req;
        EXPECT_EQ(errno, ENOTTY) << std::hex << req;
    }
    close(p[0]);
    close(p[1]);
}

TEST_F(Emu, OpenErrnoAndDescriptorsAreTracked)
{
    Load("drive /dev/sdc sas\nopen-errno EACCES\ndrive /dev/sdd sas\n");
    errno = 0;
    EXPECT_EQ(open("/dev/sdc", O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
    int a = open("/dev/sdd", O_RDWR | O_NONBLOCK);
    int b = open("/dev/sdd", O_RDWR | O_NONBLOCK | O_DIRECT);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(zvemu::OpenDescriptors(), 2);
    int v = 0;
    EXPECT_EQ(ioctl(a, SG_GET_VERSION_NUM, &v), 0);
    EXPECT_GE(v, 30000);
    EXPECT_EQ(close(a), 0);
    EXPECT_EQ(close(b), 0);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
    std::vector<std::string> lines;
    for (const zvemu::TraceEntry& e : zvemu::Trace()) {
        lines.push_back(zvemu::FormatTraceLine(e));
    }
    char direct[64];
    snprintf(direct, sizeof(direct), "open /dev/sdd flags=%x", O_RDWR | O_NONBLOCK | O_DIRECT);
    EXPECT_EQ(lines, (std::vector<std::string>{"open /dev/sdc flags=2 errno=13", "open /dev/sdd flags=802",
                                               direct, "close /dev/sdd", "close /dev/sdd"}));
}

// ---- Fixture errors ----

struct FixtureErrorCase {
    const char* text;
    const char* message;   // expected inside the error
};

void PrintTo(const FixtureErrorCase& c, std::ostream* os) { *os << c.text; }

class EmuFixtureError : public Emu, public ::testing::WithParamInterface<FixtureErrorCase> {};

TEST_P(EmuFixtureError, ReportsLineAndKeepsNothing)
{
    const FixtureErrorCase& c = GetParam();
    std::string err;
    EXPECT_FALSE(zvemu::LoadFixtureText(std::string("drive /dev/sdk sas\nanswer scsi 00\n") + c.text, ".", &err));
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    // Nothing of a refused text is kept, not even its valid first lines.
    errno = 0;
    EXPECT_EQ(open("/dev/sdk", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmuFixtureError,
    ::testing::Values(FixtureErrorCase{"bogus 1\n", "inline:3: unknown directive: bogus"},
                      FixtureErrorCase{"data 0G\n", "inline:3: not hex bytes: 0G"},
                      FixtureErrorCase{"data 123\n", "inline:3: not hex bytes"},
                      FixtureErrorCase{"answer scsi 4D page=2F nope=1\n", "inline:3: unknown field: nope"},
                      FixtureErrorCase{"answer scsi 100\n", "inline:3: bad opcode"},
                      FixtureErrorCase{"answer scsi 4D page=40\n", "inline:3: value does not fit page: page=40"},
                      FixtureErrorCase{"answer ata B0 fea=100\n", "inline:3: value does not fit fea"},
                      FixtureErrorCase{"drive /dev/sdm\n", "inline:3: a new drive needs a kind"},
                      FixtureErrorCase{"drive /dev/sdm floppy\n", "inline:3: unknown kind: floppy"},
                      FixtureErrorCase{"drive /dev/sdk sat\n", "inline:3: /dev/sdk is already a sas drive"},
                      FixtureErrorCase{"text 0 \"open\n", "inline:3: unterminated string"},
                      FixtureErrorCase{"put 0\n", "inline:3: wrong argument count for put"},
                      FixtureErrorCase{"regs status=51\n", "inline:3: regs is for ata answers"},
                      FixtureErrorCase{"le 0 2 70000\n", "inline:3: bad value: 70000"},
                      FixtureErrorCase{"errno EWHAT\n", "inline:3: bad errno"},
                      FixtureErrorCase{"resid -x\n", "inline:3: bad residual: -x"},
                      FixtureErrorCase{"answer ata EC\nstatus-block 25\n", "inline:4: bad status block length: 25"},
                      FixtureErrorCase{"file no/such.bin\n", "inline:3: cannot read ./no/such.bin"},
                      FixtureErrorCase{"include no/such.txt\n", "cannot read fixture ./no/such.txt"},
                      FixtureErrorCase{"\n\ndrive /dev/sdn sat\nanswer ata EC\nregs bad=1\n",
                                       "inline:7: bad register: bad=1"}),
    CaseName());

TEST_F(Emu, AnswerOutsideDriveIsAnError)
{
    std::string err;
    EXPECT_FALSE(zvemu::LoadFixtureText("answer scsi 00\n", ".", &err));
    EXPECT_EQ(err, "inline:1: answer before any drive");
    EXPECT_FALSE(zvemu::LoadFixtureText("drive /dev/sdk sas\ndata 00\n", ".", &err));
    EXPECT_EQ(err, "inline:2: data outside an answer");
}

// ---- Payload builders ----

TEST_F(Emu, PayloadBuildersProduceExactBytes)
{
    char tmpl[] = "/tmp/zv_emu_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    {
        std::ofstream f(dir + "/blob.bin", std::ios::binary);
        f << "\x01\x02\x03";
    }
    Load("drive /dev/sde sas\n"
         "answer scsi 3C\n"
         "  data 11 2233\n"                // 0-2
         "  file " + dir + "/blob.bin\n"    // 3-5
         "  size 600\n"
         "  fill 6 3 7F\n"                 // 6-8
         "  put 9 AA BB\n"                 // 9-10
         "  text 11 \"Hi \\\"x\"\n"        // 11-15: H i blank " x
         "  ata-text 16 6 \"ABC\"\n"       // 16-21: B A blank C blank blank
         "  le 22 3 0x010203\n"            // 22-24
         "  be 25 2 258\n"                 // 25-26
         "  put 598 01\n"
         "  checksum 511\n"                // sector 0 sums to 0
         "  put 601 FF\n");                // grows to 602
    int rc = system(("rm -rf '" + dir + "'").c_str());
    EXPECT_EQ(rc, 0);
    int fd = Open("/dev/sde");
    SgResult r = SgIo(fd, Hex("3C 01 00 00 00 00 00 04 00 00"), SG_DXFER_FROM_DEV, 1024);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.h.status, 0);
    ASSERT_EQ(r.data.size(), 602u);
    EXPECT_EQ(r.h.resid, 1024 - 602);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 27),
              Hex("11 22 33 01 02 03 7F 7F 7F AA BB 48 69 20 22 78 42 41 20 43 20 20 03 02 01 01 02"));
    u8 sum = 0;
    for (int i = 0; i < 512; i++) {
        sum = static_cast<u8>(sum + r.data[i]);
    }
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(r.data[598], 0x01);
    EXPECT_EQ(r.data[600], 0x00);
    EXPECT_EQ(r.data[601], 0xFF);
    // A shorter transfer gets the first bytes only, without residual.
    r = SgIo(fd, Hex("3C 01 00 00 00 00 00 00 04 00"), SG_DXFER_FROM_DEV, 4);
    EXPECT_EQ(r.data, Hex("11 22 33 01"));
    EXPECT_EQ(r.h.resid, 0);
}

// ---- Choosing an answer ----

struct SelectCase {
    const char* cdb;
    int first_byte;   // first data byte of the answer, or -1 for a refusal
    int asc;          // ASC of the refusal
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << c.cdb; }

class EmuSelect : public Emu, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(EmuSelect, MostSpecificThenLatestAnswerWins)
{
    Load("drive /dev/sdf sas\n"
         "answer scsi 4D\n  data 01\n"
         "answer scsi 4D page=2F\n  data 02\n"
         "answer scsi 4D page=2F pc=1\n  data 03\n"
         "answer scsi 4D page=2F\n  data 04\n"          // replaces the first page=2F answer
         "answer scsi 12 evpd=1 page=80\n  data 05\n"
         "answer scsi * b1=7\n  data 06\n"
         "answer scsi C0 fn=02 sel=03\n  data 07\n"
         "answer scsi C0 b1-2=0203 b4&F0=10\n  data 08\n"
         "answer scsi B7 glist=1\n  data 09\n");
    const SelectCase& c = GetParam();
    int fd = Open("/dev/sdf");
    SgResult r = SgIo(fd, Hex(c.cdb), SG_DXFER_FROM_DEV, 16);
    ASSERT_EQ(r.rc, 0);
    if (c.first_byte >= 0) {
        EXPECT_EQ(r.h.status, 0);
        ASSERT_FALSE(r.data.empty());
        EXPECT_EQ(r.data[0], c.first_byte);
    } else {
        EXPECT_EQ(r.h.status, 2);
        EXPECT_EQ(r.h.driver_status, 0x08);
        ASSERT_EQ(r.sense.size(), 18u);
        EXPECT_EQ(r.sense[0], 0x70);
        EXPECT_EQ(r.sense[2], 0x05);
        EXPECT_EQ(r.sense[12], c.asc);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmuSelect,
    ::testing::Values(SelectCase{"4D 00 0D 00 00 00 00 00 10 00", 0x01, 0},
                      SelectCase{"4D 00 2F 00 00 00 00 00 10 00", 0x04, 0},
                      SelectCase{"4D 00 6F 00 00 00 00 00 10 00", 0x03, 0},
                      SelectCase{"4D 07 0D 00 00 00 00 00 10 00", 0x01, 0},   // a named opcode beats *
                      SelectCase{"12 01 80 00 10 00", 0x05, 0},
                      SelectCase{"12 01 83 00 10 00", -1, 0x24},              // known opcode, no answer
                      SelectCase{"12 00 00 00 10 00", -1, 0x24},
                      SelectCase{"1A 07 00 00 10 00", 0x06, 0},
                      SelectCase{"1A 00 00 00 10 00", -1, 0x20},              // unknown opcode
                      SelectCase{"C0 02 03 00 1F 00 00 00 00 00", 0x08, 0},
                      SelectCase{"C0 02 03 00 2F 00 00 00 00 00", 0x07, 0},
                      SelectCase{"B7 08 00 00 00 00 00 00 00 10 00 00", 0x09, 0},
                      SelectCase{"B7 10 00 00 00 00 00 00 00 10 00 00", -1, 0x24}),
    CaseName());

TEST_F(Emu, TimesRetiresAnAnswer)
{
    Load("drive /dev/sdg sas\n"
         "answer scsi 00\n"
         "answer scsi 00\n  times 2\n  sense-fixed 6 29 00\n");
    int fd = Open("/dev/sdg");
    const Bytes tur = Hex("00 00 00 00 00 00");
    EXPECT_EQ(SgIo(fd, tur, SG_DXFER_NONE, 0).h.status, 2);
    EXPECT_EQ(SgIo(fd, tur, SG_DXFER_NONE, 0).h.status, 2);
    EXPECT_EQ(SgIo(fd, tur, SG_DXFER_NONE, 0).h.status, 0);
    EXPECT_EQ(SgIo(fd, tur, SG_DXFER_NONE, 0).h.status, 0);
}

TEST_F(Emu, OffsetFromServesChunks)
{
    Load("drive /dev/sdh sas\n"
         "answer scsi 3C mode=1 id=F0\n"
         "  size 1500\n  put 0 A0\n  put 512 A1\n  put 1024 A2\n"
         "  offset-from b3-6\n"
         "answer scsi C0 fn=03\n"
         "  size 64\n  put 16 B1\n"
         "  offset-from b3-6 1 0x1000\n");
    int fd = Open("/dev/sdh");
    SgResult r = SgIo(fd, Hex("3C 01 F0 00 00 02 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(r.data.size(), 512u);
    EXPECT_EQ(r.data[0], 0xA1);
    r = SgIo(fd, Hex("3C 01 F0 00 00 04 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(r.data.size(), 476u);   // the last chunk is short
    EXPECT_EQ(r.data[0], 0xA2);
    r = SgIo(fd, Hex("3C 01 F0 00 00 08 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(r.h.resid, 512);
    r = SgIo(fd, Hex("C0 03 02 00 00 10 10 00 08 00"), SG_DXFER_FROM_DEV, 8);
    ASSERT_EQ(r.data.size(), 8u);
    EXPECT_EQ(r.data[0], 0xB1);
}

// ---- Outcome attributes ----

struct OutcomeCase {
    const char* attrs;
    int rc_errno;         // errno of a failed ioctl, else 0
    int status;
    int host;
    int driver;
    int sb_len_wr;
    int resid;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << (*c.attrs != '\0' ? c.attrs : "plain answer"); }

class EmuOutcome : public Emu, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(EmuOutcome, ReachesTheHeader)
{
    const OutcomeCase& c = GetParam();
    Load(std::string("drive /dev/sdi sas\nanswer scsi 28\n  data 01 02 03 04\n") + c.attrs);
    int fd = Open("/dev/sdi");
    SgResult r = SgIo(fd, Hex("28 00 00 00 00 00 00 00 01 00"), SG_DXFER_FROM_DEV, 512);
    if (c.rc_errno != 0) {
        EXPECT_EQ(r.rc, -1);
        EXPECT_EQ(r.err, c.rc_errno);
        std::vector<zvemu::TraceEntry> sent = zvemu::Requests();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].err, c.rc_errno);
        return;
    }
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.h.status, c.status);
    EXPECT_EQ(r.h.masked_status, c.status >> 1);
    EXPECT_EQ(r.h.host_status, c.host);
    EXPECT_EQ(r.h.driver_status, c.driver);
    EXPECT_EQ(r.h.sb_len_wr, c.sb_len_wr);
    EXPECT_EQ(r.h.resid, c.resid);
    EXPECT_EQ(r.h.info & SG_INFO_CHECK, (c.status | c.host | c.driver) != 0 ? SG_INFO_CHECK : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmuOutcome,
    ::testing::Values(OutcomeCase{"", 0, 0, 0, 0, 0, 508},
                      OutcomeCase{"sense-fixed 3 11 00\n", 0, 2, 0, 8, 18, 508},
                      OutcomeCase{"sense-desc 5 24 00\nstatus 0\n", 0, 0, 0, 8, 8, 508},
                      OutcomeCase{"status 08\n", 0, 8, 0, 0, 0, 508},
                      OutcomeCase{"sense 70 00 02\nsense-written 40\n", 0, 2, 0, 8, 40, 508},
                      OutcomeCase{"host-status 03\n", 0, 0, 3, 0, 0, 508},
                      OutcomeCase{"driver-status 06\n", 0, 0, 0, 6, 0, 508},
                      OutcomeCase{"sense-fixed 2 04 01\ndriver-status 00\n", 0, 2, 0, 0, 18, 508},
                      OutcomeCase{"resid 7\n", 0, 0, 0, 0, 0, 7},
                      OutcomeCase{"resid -4\n", 0, 0, 0, 0, 0, -4},
                      OutcomeCase{"errno EIO\n", EIO, 0, 0, 0, 0, 0},
                      OutcomeCase{"errno 12\n", ENOMEM, 0, 0, 0, 0, 0}),
    CaseName());

struct HeaderCase {
    char interface_id;
    int cmd_len;
    bool null_cdb;
    int dir;
    u32 len;
    bool null_data;
    int err;
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << "id " << c.interface_id << " cdb " << c.cmd_len << (c.null_cdb ? " null" : "") << " dir " << c.dir
        << " len " << c.len << (c.null_data ? " null data" : "");
}

class EmuHeader : public Emu, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(EmuHeader, CheckedAsTheBlockLayerDoes)
{
    Load("drive /dev/sdj sas\nanswer scsi *\n");
    const HeaderCase& c = GetParam();
    int fd = Open("/dev/sdj");
    u8 cdb[32] = {0x00};
    u8 buf[16] = {0};
    sg_io_hdr_t h;
    memset(&h, 0, sizeof(h));
    h.interface_id = c.interface_id;
    h.cmd_len = static_cast<unsigned char>(c.cmd_len);
    h.cmdp = c.null_cdb ? nullptr : cdb;
    h.dxfer_direction = c.dir;
    h.dxfer_len = c.len;
    h.dxferp = c.null_data ? nullptr : buf;
    errno = 0;
    int rc = ioctl(fd, SG_IO, &h);
    if (c.err == 0) {
        EXPECT_EQ(rc, 0);
    } else {
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(errno, c.err);
    }
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, EmuHeader,
                         ::testing::Values(HeaderCase{'S', 6, false, SG_DXFER_NONE, 0, false, 0},
                                           HeaderCase{'Q', 6, false, SG_DXFER_NONE, 0, false, EINVAL},
                                           HeaderCase{'S', 0, false, SG_DXFER_NONE, 0, false, EINVAL},
                                           HeaderCase{'S', 17, false, SG_DXFER_NONE, 0, false, EINVAL},
                                           HeaderCase{'S', 16, false, SG_DXFER_NONE, 0, false, 0},
                                           HeaderCase{'S', 6, true, SG_DXFER_NONE, 0, false, EFAULT},
                                           HeaderCase{'S', 6, false, SG_DXFER_NONE, 16, false, EINVAL},
                                           HeaderCase{'S', 6, false, -7, 16, false, EINVAL},
                                           HeaderCase{'S', 6, false, SG_DXFER_FROM_DEV, 16, true, EFAULT},
                                           HeaderCase{'S', 6, false, SG_DXFER_TO_DEV, 16, false, 0}),
                         CaseName());

// ---- SAT ----

// A fixture's answers, or what an empty one means.
std::string Answers(const char* answers) { return *answers != '\0' ? answers : "no answer"; }

struct SatCase {
    const char* answers;   // ata answers of the drive
    const char* cdb;
    int status;
    const char* sense;     // expected sense bytes (hex), empty for none
    int data_len;          // data-in bytes returned
};

void PrintTo(const SatCase& c, std::ostream* os) { *os << c.cdb << " to " << Answers(c.answers); }

class EmuSat : public Emu, public ::testing::WithParamInterface<SatCase> {};

TEST_P(EmuSat, PassThroughOutcome)
{
    const SatCase& c = GetParam();
    Load(std::string("drive /dev/sdt sat\n") + c.answers);
    int fd = Open("/dev/sdt");
    Bytes cdb = Hex(c.cdb);
    const bool in = (cdb[2] & 0x08) != 0 && (cdb[2] & 0x03) != 0;
    SgResult r = SgIo(fd, cdb, in ? SG_DXFER_FROM_DEV : SG_DXFER_NONE, in ? 512 : 0);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.h.status, c.status);
    EXPECT_EQ(r.sense, Hex(c.sense));
    EXPECT_EQ(static_cast<int>(r.data.size()), c.data_len);
}

const char kSmartData[] = "answer ata B0 fea=D0\n  size 512\n  put 0 10 00\n";
const char kReadLog[] = "answer ata B0 fea=D5 lba0=06\n  data 06\nanswer ata B0 fea=D5 lba0=01\n  data 01\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, EmuSat,
    ::testing::Values(
        // SMART READ DATA with CK_COND: RECOVERED ERROR with the registers as sent, status 50h.
        SatCase{kSmartData, "85 08 2E 00 D0 00 01 00 00 00 4F 00 C2 40 B0 00", 2,
                "72 01 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 4F 00 C2 40 50", 512},
        // Without CK_COND (the MegaRAID form): GOOD, no sense.
        SatCase{kSmartData, "85 08 0E 00 D0 00 01 00 00 00 4F 00 C2 00 B0 00", 0, "", 512},
        // Returned registers of the answer; a failed command returns no data.
        SatCase{"answer ata B0 fea=D0\n  data 01\n  regs status=51 err=04 cnt=00\n",
                "85 08 2E 00 D0 00 01 00 00 00 4F 00 C2 40 B0 00", 2,
                "72 0B 00 1D 00 00 00 0E 09 0C 00 04 00 00 00 00 00 4F 00 C2 40 51", 0},
        // No answer: aborted.
        SatCase{"", "85 06 2C 00 00 00 00 00 00 00 00 00 00 40 E7 00", 2,
                "72 0B 00 1D 00 00 00 0E 09 0C 00 04 00 00 00 00 00 00 00 00 40 51", 0},
        // 48-bit: the extend bit and the previous registers come back.
        SatCase{"answer ata 27\n  regs lba0=AF lba3=2E\n", "85 07 2C 00 00 00 00 00 00 00 00 00 00 40 27 00", 2,
                "72 01 00 1D 00 00 00 0E 09 0C 01 00 00 00 2E AF 00 00 00 00 40 50", 0},
        // A translator that returns no status descriptor.
        SatCase{"answer ata E7\n  status-return none\n", "85 06 2C 00 00 00 00 00 00 00 00 00 00 40 E7 00", 0, "",
                0},
        // ATA PASS-THROUGH(12).
        SatCase{"answer ata EC\n  size 512\n", "A1 08 2E 00 01 00 00 00 40 EC 00 00", 2,
                "72 01 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 00 00 00 40 50", 512},
        // Registers select the answer (SMART READ LOG by log address).
        SatCase{kReadLog, "85 08 0E 00 D5 00 01 00 01 00 4F 00 C2 00 B0 00", 0, "", 1},
        // A residual alone leaves the outcome to SAT and cuts the data.
        SatCase{"answer ata EC\n  size 512\n  resid 12\n", "85 08 2E 00 00 00 01 00 00 00 00 00 00 40 EC 00", 2,
                "72 01 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 00 00 00 40 50", 500},
        // The answer's own SCSI outcome replaces the SAT one.
        SatCase{"answer ata EC\n  sense-fixed B 47 00\n", "85 08 2E 00 00 00 01 00 00 00 00 00 00 40 EC 00", 2,
                "70 00 0B 00 00 00 00 0A 00 00 00 00 47 00 00 00 00 00", 0}),
    CaseName());

// ---- Tunnel ----

Bytes AptPacket(u8 dir_code, u32 len, u8 fea, u8 cnt, u8 cmd)
{
    Bytes p(28, 0);
    p[0] = 0x75;
    p[1] = 0x30;
    p[3] = dir_code;
    p[5] = static_cast<u8>(len >> 16);
    p[6] = static_cast<u8>(len >> 8);
    p[7] = static_cast<u8>(len);
    p[9] = fea;
    p[11] = cnt;
    p[12] = 0x40;
    p[23] = cmd;
    return p;
}

TEST_F(Emu, TunnelKeepsThePacketAndAnswersDataAndStatus)
{
    Load("drive /dev/sdu apt\n"
         "answer ata EC\n  size 512\n  put 0 5A\n  regs lba0=07\n");
    int fd = Open("/dev/sdu");
    const Bytes wb = Hex("3B 01 06 00 00 00 00 00 1C 00");
    SgResult r = SgIo(fd, wb, SG_DXFER_TO_DEV, 28, AptPacket(0x07, 512, 0, 1, 0xEC));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.h.status, 0);
    r = SgIo(fd, Hex("3C 01 07 00 00 00 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(r.data.size(), 512u);
    EXPECT_EQ(r.data[0], 0x5A);
    r = SgIo(fd, Hex("3C 01 06 00 00 00 00 00 18 00"), SG_DXFER_FROM_DEV, 24);
    EXPECT_EQ(r.data, Hex("00 00 00 00 00 00 00 01 40 00 00 07 00 00 00 00 00 00 00 50 00 00 00 00"));

    // A command without an answer: the packet write succeeds, the status block says aborted.
    SgIo(fd, wb, SG_DXFER_TO_DEV, 28, AptPacket(0x07, 512, 0xD0, 1, 0xB0));
    r = SgIo(fd, Hex("3C 01 07 00 00 00 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    EXPECT_TRUE(r.data.empty());
    r = SgIo(fd, Hex("3C 01 06 00 00 00 00 00 18 00"), SG_DXFER_FROM_DEV, 24);
    ASSERT_EQ(r.data.size(), 24u);
    EXPECT_EQ(r.data[18], 0x04);
    EXPECT_EQ(r.data[19], 0x51);

    // Not a packet, or not the tunnel's buffer mode: refused.
    r = SgIo(fd, wb, SG_DXFER_TO_DEV, 28, Bytes(28, 0));
    EXPECT_EQ(r.h.status, 2);
    EXPECT_EQ(r.sense[12], 0x26);
    r = SgIo(fd, Hex("3C 02 06 00 00 00 00 00 18 00"), SG_DXFER_FROM_DEV, 24);
    EXPECT_EQ(r.h.status, 2);
    EXPECT_EQ(r.sense[12], 0x24);
}

TEST_F(Emu, TunnelResidualAndStatusBlockBelongToTheCommand)
{
    Load("drive /dev/sdu apt\n"
         "answer ata EC\n  size 512\n  resid 8\n  status-block 18\n"
         "answer ata 8C\n  resid 4\n"
         "answer ata E7\n");
    int fd = Open("/dev/sdu");
    const Bytes wb = Hex("3B 01 06 00 00 00 00 00 1C 00");
    const Bytes status = Hex("3C 01 06 00 00 00 00 00 18 00");
    // Data-in: the residual is the data read's, the status block stops after 18 bytes.
    SgIo(fd, wb, SG_DXFER_TO_DEV, 28, AptPacket(0x07, 512, 0, 1, 0xEC));
    SgResult r = SgIo(fd, Hex("3C 01 07 00 00 00 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    EXPECT_EQ(r.h.resid, 8);
    r = SgIo(fd, status, SG_DXFER_FROM_DEV, 24);
    EXPECT_EQ(r.h.resid, 6);
    EXPECT_EQ(r.data.size(), 18u);
    // Data-out: the residual is the write's.
    Bytes out = AptPacket(0x06, 512, 0xF7, 1, 0x8C);
    out.resize(540, 0);
    r = SgIo(fd, Hex("3B 01 06 00 00 00 00 02 1C 00"), SG_DXFER_TO_DEV, 540, out);
    EXPECT_EQ(r.h.resid, 4);
    EXPECT_EQ(SgIo(fd, status, SG_DXFER_FROM_DEV, 24).data.size(), 24u);
    // The next command brings its own whole status block.
    r = SgIo(fd, wb, SG_DXFER_TO_DEV, 28, AptPacket(0x00, 0, 0, 0, 0xE7));
    EXPECT_EQ(r.h.resid, 0);
    EXPECT_EQ(SgIo(fd, status, SG_DXFER_FROM_DEV, 24).data.size(), 24u);
}

TEST_F(Emu, ScsiAnswerOverridesTunnelPhase)
{
    Load("drive /dev/sdv apt\n"
         "answer ata EC\n  size 512\n"
         "answer scsi 3C mode=1 id=7\n  host-status 03\n");
    int fd = Open("/dev/sdv");
    SgIo(fd, Hex("3B 01 06 00 00 00 00 00 1C 00"), SG_DXFER_TO_DEV, 28, AptPacket(0x07, 512, 0, 1, 0xEC));
    SgResult r = SgIo(fd, Hex("3C 01 07 00 00 00 00 02 00 00"), SG_DXFER_FROM_DEV, 512);
    EXPECT_EQ(r.h.host_status, 3);
    r = SgIo(fd, Hex("3C 01 06 00 00 00 00 00 18 00"), SG_DXFER_FROM_DEV, 24);
    EXPECT_EQ(r.h.host_status, 0);
    EXPECT_EQ(r.data.size(), 24u);
}

// ---- Trace ----

TEST_F(Emu, TraceRecordsEveryRequestInOrder)
{
    Load("drive /dev/sdw sas\nanswer scsi 3B\nanswer scsi 12\n  data 00\n");
    int fd = Open("/dev/sdw");
    SgIo(fd, Hex("12 00 00 00 24 00"), SG_DXFER_FROM_DEV, 36);
    SgIo(fd, Hex("3B 05 00 00 00 00 00 00 03 00"), SG_DXFER_TO_DEV, 3, Hex("A1 B2 C3"));
    close(fd);
    fds_.clear();
    std::vector<std::string> lines;
    for (const zvemu::TraceEntry& e : zvemu::Trace()) {
        lines.push_back(zvemu::FormatTraceLine(e, false));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "open /dev/sdw flags=802",
                         "sgio /dev/sdw cdb=120000002400 dir=in len=36 timeout=10000 sense=32",
                         "sgio /dev/sdw cdb=3B050000000000000300 dir=out len=3 timeout=10000 sense=32 data=A1B2C3",
                         "close /dev/sdw"}));
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests("/dev/sdw");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].via, "inline:3");
    EXPECT_EQ(sent[1].via, "inline:2");
    zvemu::ClearTrace();
    EXPECT_TRUE(zvemu::Trace().empty());
}

TEST(EmuTraceText, FormatAndParseRoundTrip)
{
    zvemu::TraceEntry e;
    e.op = "sgio";
    e.node = "/dev/sda";
    e.cdb = Hex("85 08 2e 00 D0");
    e.dir = zvemu::TRACE_DIR_OUT;
    e.len = 512;
    e.timeout = 60000;
    e.sense_len = 32;
    e.data = Hex("00 ff");
    e.err = 5;
    e.via = "x.txt:3";
    const std::string line = zvemu::FormatTraceLine(e);
    EXPECT_EQ(line, "sgio /dev/sda cdb=85082E00D0 dir=out len=512 timeout=60000 sense=32 data=00FF errno=5 via=x.txt:3");
    zvemu::TraceEntry back;
    ASSERT_TRUE(zvemu::ParseTraceLine(line, &back));
    EXPECT_EQ(zvemu::FormatTraceLine(back), line);
    std::vector<zvemu::TraceEntry> all =
        zvemu::ParseTrace("open /dev/sdb flags=802 errno=2\nnoise\nioctl /dev/sdb req=5382 errno=25\n" + line + "\n");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].err, 2);
    EXPECT_EQ(all[1].request, 0x5382u);
    EXPECT_EQ(zvemu::Only(all, "sgio").size(), 1u);
    EXPECT_FALSE(zvemu::ParseTraceLine("sgio /dev/sda bogus=1", &back));
}

// Every event carries the monotonic time it happened at; the line shows it only when asked.
TEST_F(Emu, TraceEventsAreTimeStamped)
{
    Load("drive /dev/sdw sas\nanswer scsi 00\n");
    int fd = Open("/dev/sdw");
    SgIo(fd, Hex("00 00 00 00 00 00"), SG_DXFER_NONE, 0);
    usleep(30000);
    SgIo(fd, Hex("00 00 00 00 00 00"), SG_DXFER_NONE, 0);
    std::vector<zvemu::TraceEntry> sent = zvemu::Requests("/dev/sdw");
    ASSERT_EQ(sent.size(), 2u);
    ASSERT_GE(sent[0].at_ms, 0);
    EXPECT_GE(sent[1].at_ms - sent[0].at_ms, 30);
    const std::string plain = zvemu::FormatTraceLine(sent[1], false);
    EXPECT_EQ(plain.find(" at="), std::string::npos);
    const std::string timed = zvemu::FormatTraceLine(sent[1], false, true);
    EXPECT_EQ(timed, plain + " at=" + std::to_string(sent[1].at_ms));
    zvemu::TraceEntry back;
    ASSERT_TRUE(zvemu::ParseTraceLine(timed, &back));
    EXPECT_EQ(back.at_ms, sent[1].at_ms);
}

// ---- Demo drives ----

class EmuDemo : public Emu {
protected:
    void SetUp() override
    {
        Emu::SetUp();
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixture(std::string(ZV_TEST_DATA_DIR) + "/demo/sata_k4410.txt", &err)) << err;
        ASSERT_TRUE(zvemu::LoadFixture(std::string(ZV_TEST_DATA_DIR) + "/demo/sas_k6470.txt", &err)) << err;
    }
};

u8 SectorSum(const Bytes& b)
{
    u8 sum = 0;
    for (size_t i = 0; i < 512 && i < b.size(); i++) {
        sum = static_cast<u8>(sum + b[i]);
    }
    return sum;
}

TEST_F(EmuDemo, SataDriveIsAK4410BehindSat)
{
    int fd = Open("/dev/sda");
    SgResult inq = SgIo(fd, Hex("12 00 00 00 C0 00 00 00 00 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_GE(inq.data.size(), 36u);
    EXPECT_EQ(std::string(inq.data.begin() + 8, inq.data.begin() + 11), "ATA");

    SgResult id = SgIo(fd, Hex("85 08 2E 00 00 00 01 00 00 00 00 00 00 40 EC 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(id.data.size(), 512u);
    EXPECT_EQ(id.data[510], 0xA5);
    EXPECT_EQ(SectorSum(id.data), 0);
    ASSERT_EQ(id.sense.size(), 22u);
    EXPECT_EQ(id.sense[8 + 13], 0x50);
    DiskInfo disk;
    ASSERT_TRUE(disk.FillFromIdentify(id.data.data(), 512));
    EXPECT_EQ(disk.model, "QUMA-K4410TN0100");
    EXPECT_EQ(disk.serial, "K4410TN0100A13000472");
    EXPECT_EQ(disk.firmware, "K4A10731");
    EXPECT_EQ(disk.smart_ver, static_cast<u32>(VER_K4410));
    EXPECT_EQ(disk.lba_count, 195371568u);
    EXPECT_EQ(disk.capacity_gb, 100u);

    for (const char* fea : {"D0", "D1"}) {
        SgResult s = SgIo(fd, Hex(std::string("85 08 2E 00 ") + fea + " 00 01 00 00 00 4F 00 C2 40 B0 00"),
                          SG_DXFER_FROM_DEV, 512);
        ASSERT_EQ(s.data.size(), 512u) << fea;
        EXPECT_EQ(SectorSum(s.data), 0) << fea;
        EXPECT_EQ(s.data[2], 0x05) << fea;   // first attribute slot
    }
}

TEST_F(EmuDemo, SasDriveAnswersInquiryAndCapacity)
{
    int fd = Open("/dev/sdb");
    SgResult inq = SgIo(fd, Hex("12 00 00 00 C0 00 00 00 00 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(inq.data.size(), 96u);
    EXPECT_EQ(inq.h.resid, 512 - 96);
    DiskInfo disk;
    ASSERT_TRUE(disk.FillFromInquiry(inq.data.data(), static_cast<u32>(inq.data.size())));
    EXPECT_EQ(disk.model, "QUMA-K6470BN0400");
    EXPECT_EQ(disk.firmware, "B230");
    EXPECT_EQ(disk.serial, "S6470BN400A130501879");
    SgResult cap = SgIo(fd, Hex("25 00 00 00 00 00 00 00 00 00"), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(cap.data.size(), 8u);
    ASSERT_TRUE(CalcCapacityGB(&disk, cap.data.data(), 8));
    EXPECT_EQ(disk.capacity_gb, 400u);
    // A SAS drive knows no ATA PASS-THROUGH.
    SgResult id = SgIo(fd, Hex("85 08 2E 00 00 00 01 00 00 00 00 00 00 40 EC 00"), SG_DXFER_FROM_DEV, 512);
    EXPECT_EQ(id.h.status, 2);
    EXPECT_EQ(id.sense[12], 0x20);
}

} // namespace
