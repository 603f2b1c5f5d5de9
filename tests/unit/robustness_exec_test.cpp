// Every catalogued executor and length query, run through DiskCmnd::GetDataLen and
// DiskCmnd::Execute against emulated drives whose answers are hostile: length headers of
// 0, 1, FFFFh and FFFFFFFFh, short and over-long transfers, residuals that lie, sense data
// that claims more than was written, descriptor lists that run past their end, log
// directories with huge page counts, vendor length answers far past any buffer, and
// seeded random answers. Buffers are heap blocks of exactly the length given, so that
// the address sanitizer reports any access past them.
//
// Properties: nothing crashes; a failed call never reports user error 0; every node that
// was opened is closed again; a length query that succeeds and a read of that length
// (capped, to keep the suite fast) stay inside their buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "disk_cmnd.h"
#include "disk_transport.h"
#include "emu_api.h"
#include "msg_processor.h"
#include "robustness_util.h"
#include "scsi_cmnd_exec.h"
#include "settings.h"
#include "test_init.h"

namespace {

using robust::ExactBuf;
using robust::Rng;

const char* const kNode = "/dev/sdt";
// Reads longer than this are run at this length: the executors split every read into
// chunks, so a long one only repeats what a shorter one already showed.
const u32 kMaxRunLen = 16 * 1024;

enum Family { FAMILY_ATA, FAMILY_SCSI };

struct Kind {
    const char* name;
    u32 link_type;
    Family family;  // the command types the drive is tried with
};

const Kind kSas = {"sas", LINK_SCSI, FAMILY_SCSI};
const Kind kSat = {"sat", LINK_ATA_BY_SCSI, FAMILY_ATA};
const Kind kApt = {"apt", LINK_ATA_BY_FC, FAMILY_ATA};

bool InFamily(int type, Family f) { return f == FAMILY_ATA ? type <= TYPE_CHECK_GRAIN : type > TYPE_CHECK_GRAIN; }

class ExecRobustness {
public:
    ExecRobustness()
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        output_flags.save_log = 0;
        raid_kind = RAID_BUTT;
        zvemu::Reset();
    }
    ~ExecRobustness()
    {
        zvemu::Reset();
    }

    bool Load(const Kind& kind, const std::string& answers)
    {
        zvemu::Reset();
        std::string error;
        const std::string text = std::string("drive ") + kNode + " " + kind.name + "\n" + answers;
        const bool ok = zvemu::LoadFixtureText(text, ".", &error);
        EXPECT_TRUE(ok) << error << "\n" << text;
        disk_ = DiskInfo();
        disk_.device_name = kNode;
        disk_.link_type = kind.link_type;
        return ok;
    }

    // The length query and the run of one type, with the shared checks.
    void RunType(int type, Rng& rng)
    {
        SCOPED_TRACE("type " + std::to_string(type));
        u32 len = 0xDEADBEEF;
        int user_err = -1;
        int sys_err = 0;
        const bool len_ok = DiskCmnd::GetDataLen(type, &disk_, &len, &user_err, &sys_err);
        CheckOutcome("length query", len_ok, user_err);

        std::vector<u32> lens = {len_ok ? std::min(len, kMaxRunLen) : 512u, 1 + rng.Below(600)};
        for (u32 run_len : lens) {
            ExactBuf buf = robust::RandomBuf(rng, run_len);
            user_err = -1;
            const bool ok = DiskCmnd::Execute(type, &disk_, buf.data(), run_len, &user_err, &sys_err);
            CheckOutcome("run of " + std::to_string(run_len) + " bytes", ok, user_err);
        }
        zvemu::ClearTrace();
    }

    void RunFamily(Family family, Rng& rng)
    {
        for (int type = 0; type < TYPE_BUTT; type++) {
            if (InFamily(type, family)) {
                RunType(type, rng);
            }
        }
    }

private:
    static void CheckOutcome(const std::string& what, bool ok, int user_err)
    {
        if (!ok) {
            EXPECT_NE(user_err, USER_ERR_NO_ERROR) << what << " failed without an error";
            EXPECT_GT(user_err, USER_ERR_NO_ERROR) << what;
            EXPECT_LT(user_err, USER_ERR_BUTT) << what;
        }
        EXPECT_EQ(zvemu::OpenDescriptors(), 0) << what << " left the node open";
    }

    DiskInfo disk_;
    SettingsGuard settings_;
};

struct HostileDrive {
    const char* what;
    const Kind* kind;
    const char* answers;
};

// Answers of the transport level apply to every kind of drive (a SCSI answer for every opcode
// also replaces the ATA handling of SAT and tunnel drives); the ATA ones to SATA drives.
const char* const kScsiAnswers[][2] = {
    {"good status, no data", "answer scsi *\n"},
    {"one byte of FFh", "answer scsi *\n  size 1\n  fill 0 1 FF\n"},
    {"length headers all FFh", "answer scsi *\n  fill 0 8 FF\n"},
    {"far more data than asked", "answer scsi *\n  fill 0 70000 FF\n"},
    {"length headers of 1 (big-endian)", "answer scsi *\n  data 00 01 00 01 00 00 00 01\n"},
    {"length words of 1 (host order)", "answer scsi *\n  data 01 00 00 00 01 00 00 00\n"},
    {"length words of FFFFh", "answer scsi *\n  data FF FF 00 00 FF FF 00 00\n"},
    {"address FFFFFFFFh, length FFFFFFFFh", "answer scsi *\n  data FF FF FF FF FF FF FF FF 00 00\n"},
    {"address near the top, length 2", "answer scsi *\n  data FF FF FF FF 02 00 00 00\n"},
    {"short answer, residual 0", "answer scsi *\n  fill 0 5 FF\n  resid 0\n"},
    {"residual far past the transfer", "answer scsi *\n  fill 0 600 7F\n  resid 2147483647\n"},
    {"sense count past the buffer", "answer scsi *\n  sense-fixed 5 24 00\n  sense-written 255\n"},
    {"recovered error with data", "answer scsi *\n  fill 0 600 FF\n  sense-fixed 1 00 00\n  sense-written 255\n"},
    {"descriptor list past the end",
     "answer scsi *\n  status 02\n  sense 72 01 00 1D 00 00 00 FF 09 FF 00 50\n  sense-written 255\n"},
    {"descriptor list cut in a descriptor",
     "answer scsi *\n  status 02\n  sense 72 01 00 1D 00 00 00 18 01 02 00 00 09 0C 00 00 00 00 00 00 00 00 00 "
     "00 00 50 09 FE\n"},
    {"sense of FFh only",
     "answer scsi *\n  status 02\n  sense FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
     "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"},
    {"fixed sense of 8 bytes, count 14", "answer scsi *\n  status 02\n  sense 70 00 02 00 00 00 00 0A\n  "
                                         "sense-written 14\n"},
    {"check condition without sense", "answer scsi *\n  status 02\n  fill 0 16 FF\n"},
    {"sense flagged, none written", "answer scsi *\n  driver-status 08\n  fill 0 16 FF\n"},
    {"host status", "answer scsi *\n  host-status 07\n"},
    {"driver time-out", "answer scsi *\n  driver-status 26\n"},
    {"busy", "answer scsi *\n  status 08\n"},
    {"SG_IO fails", "answer scsi *\n  errno EIO\n"},
};

const char* const kAtaAnswers[][2] = {
    {"ATA good, no data", "answer ata *\n"},
    {"ATA all FFh (huge log directory, huge vendor length)", "answer ata *\n  fill 0 512 FF\n"},
    {"ATA far more data than asked", "answer ata *\n  fill 0 70000 FF\n"},
    {"ATA vendor length of 7FFFFFh sectors", "answer ata *\n  le 0 4 0x7FFFFF\n  size 512\n"},
    {"ATA vendor length of 1 sector", "answer ata *\n  le 0 4 1\n  size 512\n"},
    {"ATA log directory of 256-sector logs (a count that wraps the sector count register)",
     "answer ata *\n  fill 0 512 00\nanswer ata B0 fea=D5 lba0=00\n  size 512\n  le 2 2 256\n  le 4 2 256\n"
     "  le 6 2 256\n  le 8 2 256\n  le 12 2 256\n  le 14 2 256\n  le 18 2 256\n  le 20 2 256\n  le 22 2 256\n"
     "  le 288 2 256\n  le 320 2 256\n  le 352 2 256\n  le 448 2 256\n  le 450 2 256\n"},
    {"ATA log directory growing after the length query",
     "answer ata *\n  fill 0 512 00\nanswer ata B0 fea=D5 lba0=00\n  fill 0 512 FF\n"
     "answer ata B0 fea=D5 lba0=00\n  times 1\n  le 0 2 1\n  fill 2 510 01\n"},
    {"ATA one byte", "answer ata *\n  size 1\n"},
    {"ATA error status", "answer ata *\n  regs status=51 err=04\n"},
    {"ATA status 58h", "answer ata *\n  regs status=58\n"},
    {"ATA status 00h", "answer ata *\n  regs status=00 err=00\n  fill 0 512 FF\n"},
    {"ATA returned registers FFh", "answer ata *\n  regs status=D0 cnt=FF lba0=FF lba1=FF lba2=FF dev=FF\n"},
};

// Only SAT drives carry the registers in sense data; only tunnel drives have the buffer phases.
const char* const kSatAnswers[][2] = {
    {"SAT without status return", "answer ata *\n  status-return none\n  fill 0 512 FF\n"},
    {"SAT status return, count past the buffer",
     "answer ata *\n  status 02\n  sense 72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 00 00 00 40 50\n"
     "  sense-written 255\n"},
    {"SAT status return cut short",
     "answer ata *\n  status 02\n  sense 72 01 00 1D 00 00 00 0E 09 0C 00 00\n  sense-written 12\n"},
    {"SAT status return with a short length",
     "answer ata *\n  status 02\n  sense 72 01 00 1D 00 00 00 06 09 04 00 00 00 00\n"},
};

const char* const kAptAnswers[][2] = {
    {"tunnel status block of 3 bytes", "answer ata *\n  fill 0 512 AA\nanswer scsi 3C id=6\n  size 3\n"},
    {"tunnel status block of FFh", "answer ata *\n  fill 0 512 AA\nanswer scsi 3C id=6\n  fill 0 64 FF\n"},
    {"tunnel data phase fails", "answer ata *\n  fill 0 512 AA\nanswer scsi 3C id=7\n  errno EIO\n"},
    {"tunnel packet write fails", "answer ata *\nanswer scsi 3B\n  sense-fixed 4 00 00\n"},
    {"tunnel status read fails", "answer ata *\nanswer scsi 3C id=6\n  sense-fixed 2 04 01\n"},
};

template <size_t N>
void AddCases(std::vector<HostileDrive>* out, const Kind* kind, const char* const (&rows)[N][2])
{
    for (const auto& row : rows) {
        out->push_back({row[0], kind, row[1]});
    }
}

std::vector<HostileDrive> HostileDrives()
{
    std::vector<HostileDrive> out;
    for (const Kind* kind : {&kSas, &kSat, &kApt}) {
        AddCases(&out, kind, kScsiAnswers);
    }
    for (const Kind* kind : {&kSat, &kApt}) {
        AddCases(&out, kind, kAtaAnswers);
    }
    AddCases(&out, &kSat, kSatAnswers);
    AddCases(&out, &kApt, kAptAnswers);
    return out;
}

std::ostream& operator<<(std::ostream& os, const HostileDrive& d) { return os << d.kind->name << ": " << d.what; }

class ExecOnHostileDrive : public ::testing::TestWithParam<HostileDrive> {};

TEST_P(ExecOnHostileDrive, EveryTypeStaysInsideItsBuffersAndReportsItsFailures)
{
    const HostileDrive& d = GetParam();
    ExecRobustness run;
    ASSERT_TRUE(run.Load(*d.kind, d.answers));
    Rng rng(0x5EED1000);
    run.RunFamily(d.kind->family, rng);
}

INSTANTIATE_TEST_SUITE_P(Hostile, ExecOnHostileDrive, ::testing::ValuesIn(HostileDrives()), CaseName());

// ---- Random answers ----

std::string HexBytes(Rng& rng, u32 n)
{
    ExactBuf b = robust::RandomBuf(rng, n);
    std::string s;
    char cell[4];
    for (u32 i = 0; i < n; i++) {
        snprintf(cell, sizeof(cell), " %02X", b.data()[i]);
        s += cell;
    }
    return s;
}

template <typename T, size_t N>
T Pick(Rng& rng, const T (&values)[N])
{
    return values[rng.Below(N)];
}

// One answer for every opcode (or every ATA command) with random data and a random outcome.
std::string RandomAnswer(Rng& rng, bool ata, bool once)
{
    static const u32 sizes[] = {0, 1, 3, 4, 7, 8, 12, 16, 24, 28, 511, 512, 513, 1024, 4100};
    std::ostringstream s;
    s << "answer " << (ata ? "ata" : "scsi") << " *\n";
    if (once) {
        s << "  times 1\n";
    }
    const u32 size = Pick(rng, sizes);
    if (size != 0) {
        s << "  data" << HexBytes(rng, size) << "\n";
    }
    if (rng.Below(4) == 0) {
        static const u32 resids[] = {0, 1, 511, 0x10000, 0x7FFFFFFF};
        s << "  resid " << Pick(rng, resids) << "\n";
    }
    if (rng.Below(3) == 0) {
        static const u8 codes[] = {0x70, 0x71, 0x72, 0x73, 0x00, 0xFF};
        const u32 n = rng.Below(41);
        std::string sense = HexBytes(rng, n);
        if (n != 0) {
            char first[4];
            snprintf(first, sizeof(first), " %02X", Pick(rng, codes));
            sense.replace(0, 3, first);
            s << "  status 02\n  sense" << sense << "\n";
        } else {
            s << "  status 02\n";
        }
        static const u32 written[] = {0, 8, 14, 18, 32, 255};
        if (rng.Below(2) == 0) {
            s << "  sense-written " << Pick(rng, written) << "\n";
        }
    }
    if (rng.Below(16) == 0) {
        static const char* const outcomes[] = {"host-status 01", "host-status 07", "driver-status 06",
                                               "driver-status 18", "status 18", "status 28", "errno EIO"};
        s << "  " << Pick(rng, outcomes) << "\n";
    }
    if (ata && rng.Below(3) == 0) {
        char regs[64];
        snprintf(regs, sizeof(regs), "  regs status=%02X err=%02X cnt=%02X\n", rng.Byte(),
                 rng.Below(2) == 0 ? 0 : rng.Byte(), rng.Byte());
        s << regs;
    }
    return s.str();
}

// Seeded random drives: a standing answer and one that serves a single request first, so that
// a length query and the read after it may see different answers.
TEST(ExecRandomDrives, EveryTypeStaysInsideItsBuffersAndReportsItsFailures)
{
    const int kDrives = 12;
    Rng rng(0x5EED2000);
    ExecRobustness run;
    for (int i = 0; i < kDrives; i++) {
        for (const Kind* kind : {&kSas, &kSat, &kApt}) {
            const bool ata = kind->family == FAMILY_ATA;
            std::string answers = RandomAnswer(rng, false, false);
            if (ata) {
                answers += RandomAnswer(rng, true, false);
            }
            answers += RandomAnswer(rng, ata, true);
            SCOPED_TRACE(std::string(kind->name) + " drive " + std::to_string(i) + ":\n" + answers);
            ASSERT_TRUE(run.Load(*kind, answers));
            run.RunFamily(kind->family, rng);
        }
    }
}

// ---- Sense data ----

// Descriptor-format sense of every length up to 64 bytes in an exact block, random contents with
// a few descriptor headers: a descriptor found lies whole inside both the block and the
// additional sense length, and has the type asked for.
TEST(SenseRobustness, FoundDescriptorsLieWholeInsideTheSense)
{
    Rng rng(0x5EED2100);
    int found = 0;
    for (int i = 0; i < 4000; i++) {
        const u32 n = rng.Below(65);
        ExactBuf sense = robust::RandomBuf(rng, n);
        if (n > 0 && rng.Below(4) != 0) {
            sense.data()[0] = rng.Below(2) == 0 ? 0x72 : 0x73;
        }
        // Descriptor headers of the ATA Status Return type in some of the runs.
        for (u32 pos = 8; pos + 1 < n && rng.Below(3) != 0; pos += 2 + sense.data()[pos + 1]) {
            sense.data()[pos] = rng.Below(2) == 0 ? 0x09 : rng.Byte();
            sense.data()[pos + 1] = static_cast<u8>(rng.Below(2) == 0 ? 0x0C : rng.Below(40));
        }
        const int type = rng.Below(2) == 0 ? 0x09 : rng.Byte();
        const u8* d = FindSenseDescriptor(sense.data(), static_cast<int>(n), type);
        if (d == nullptr) {
            continue;
        }
        found++;
        const u8* s = sense.data();
        const u32 covered = std::min<u32>(n, 8u + s[7]);
        ASSERT_GE(d, s + 8);
        ASSERT_LE(d + 2, s + covered);
        EXPECT_LE(d + 2 + d[1], s + covered) << "the descriptor's body lies inside the sense";
        EXPECT_EQ(d[0], type);
    }
    EXPECT_GT(found, 100) << "the generator reaches found descriptors";
    // Lengths below a header, and negative ones, find nothing.
    ExactBuf sense(8, 0x72);
    for (int len : {-1, 0, 7, 8}) {
        EXPECT_EQ(FindSenseDescriptor(sense.data(), len, 0x72), nullptr) << len;
    }
}

// The sense decoder reads only the bytes of the sense buffer it is given, whatever the driver
// claims to have written; a request that fails by its sense never maps to success unless its
// key is NO SENSE or RECOVERED ERROR.
TEST(SenseRobustness, DecoderReadsOnlyTheSenseBuffer)
{
    Rng rng(0x5EED2101);
    for (int i = 0; i < 4000; i++) {
        const u32 n = rng.Below(40);
        ExactBuf sense = robust::RandomBuf(rng, n);
        if (n > 0 && rng.Below(2) == 0) {
            static const u8 codes[] = {0x70, 0x71, 0x72, 0x73};
            sense.data()[0] = codes[rng.Below(4)];
        }
        ScsiRequest req;
        memset(&req, 0, sizeof(req));
        req.sense = n != 0 ? sense.data() : nullptr;
        req.sense_len = n;
        req.sense_written = rng.Below(256);
        req.status = rng.Below(4) == 0 ? rng.Byte() : 0x02;
        SenseResult r(&req);
        EXPECT_GE(r.user_err, USER_ERR_NO_ERROR);
        EXPECT_LT(r.user_err, USER_ERR_BUTT);
        if (req.status != 0x02) {
            EXPECT_EQ(r.user_err, USER_ERR_NO_ERROR) << "only CHECK CONDITION carries sense";
        } else if (r.user_err == USER_ERR_NO_ERROR) {
            EXPECT_LE(r.sense_key, 1) << "success only for NO SENSE or RECOVERED ERROR";
        }
    }
}

} // namespace
