// Drive classification on emulated drives whose INQUIRY, IDENTIFY DEVICE and READ CAPACITY
// answers are hostile: empty, cut inside their fields, far too long, all FFh, zero bytes in
// the texts, failing with odd sense, and seeded random ones.
//
// Properties: nothing crashes; a refused node leaves the caller's record exactly as it was;
// an accepted one has a link type that carries commands, its own path and probe number,
// trimmed texts no longer than their fields, and a capacity that matches its block count;
// every node opened is closed again.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "disk_discovery.h"
#include "disk_info.h"
#include "emu_api.h"
#include "robustness_util.h"
#include "settings.h"
#include "test_init.h"

namespace {

using robust::Rng;

const char* const kNode = "/dev/sdt";

class Classify {
public:
    Classify()
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        output_flags.save_log = 0;
        raid_kind = RAID_BUTT;
    }
    ~Classify()
    {
        zvemu::Reset();
    }

    // Classifies one drive of the given kind and answers with the shared checks.
    void Run(const std::string& kind, const std::string& answers)
    {
        zvemu::Reset();
        std::string error;
        const std::string text = std::string("drive ") + kNode + " " + kind + "\n" + answers;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, ".", &error)) << error << "\n" << text;
        DiskInfo d = Marked();
        const bool ok = classifyDevice(kNode, &d);
        EXPECT_EQ(zvemu::OpenDescriptors(), 0) << "every node opened is closed again";
        if (!ok) {
            EXPECT_TRUE(d == Marked()) << "a refused node leaves the record as it was";
            return;
        }
        accepted_++;
        EXPECT_TRUE(d.link_type == LINK_SCSI || d.link_type == LINK_ATA_BY_SCSI || d.link_type == LINK_ATA_BY_FC)
            << d.link_type;
        EXPECT_EQ(d.index, Marked().index);
        EXPECT_EQ(d.device_name, kNode);
        EXPECT_LE(d.model.size(), 40u);
        EXPECT_LE(d.serial.size(), 20u);
        EXPECT_LE(d.firmware.size(), 8u);
        for (const std::string* s : {&d.model, &d.serial, &d.firmware}) {
            EXPECT_TRUE(s->empty() || (s->front() != ' ' && s->back() != ' ')) << "'" << *s << "'";
        }
        EXPECT_EQ(d.capacity_gb, CapacityGbOfBlocks(d.lba_count));
        EXPECT_LE(d.smart_ver, static_cast<u32>(VER_UNKNOWN));
        if (d.link_type == LINK_ATA_BY_FC) {
            EXPECT_FALSE(d.model.empty()) << "a tunnel drive is taken only with a model to match";
        }
    }

    int accepted() const { return accepted_; }

    static DiskInfo Marked()
    {
        DiskInfo d;
        d.index = 4242;
        d.device_name = "/dev/sdq";
        d.link_type = 0x77;
        d.smart_ver = 0x99;
        d.model = "before";
        d.serial = "before";
        d.firmware = "before";
        d.fpga_ver = "before";
        d.hw_ver = "before";
        d.lba_count = 123;
        d.capacity_gb = 456;
        return d;
    }

private:
    int accepted_ = 0;
    SettingsGuard settings_;
};

// INQUIRY answers that begin the vendor field with "ATA" where the case needs it.
const char* const kAtaInquiry = "answer scsi 12 evpd=0\n  size 96\n  text 8 \"ATA     \"\n"
                                "  text 16 \"QUMA-K4410TR0050\"\n";

struct ClassifyCase {
    const char* what;
    const char* kind;
    std::string answers;
};

std::ostream& operator<<(std::ostream& os, const ClassifyCase& c) { return os << c.kind << ": " << c.what; }

std::vector<ClassifyCase> ClassifyCases()
{
    const std::string ata = kAtaInquiry;
    return {
        {"INQUIRY without data", "sas", "answer scsi 12\nanswer scsi 25\n  data 00 00 10 00 00 00 02 00\n"},
        {"INQUIRY of one byte", "sas", "answer scsi 12\n  size 1\n"},
        {"INQUIRY cut in the vendor field", "sas", "answer scsi 12\n  size 10\n  text 8 \"AT\"\n"},
        {"INQUIRY of exactly the vendor \"ATA\"", "sat", "answer scsi 12\n  size 11\n  text 8 \"ATA\"\n"},
        {"INQUIRY cut in the model", "sas", "answer scsi 12\n  size 20\n  fill 8 12 41\n"},
        {"INQUIRY of FFh far past the buffer", "sas", "answer scsi 12\n  fill 0 70000 FF\n"},
        {"INQUIRY of zero bytes with blanks", "sas", "answer scsi 12\n  size 96\n  fill 16 40 20\n"},
        {"INQUIRY fails with FFh sense", "sas", "answer scsi 12\n  status 02\n  sense FF FF FF FF FF FF FF FF\n"},
        {"READ CAPACITY of FFh", "sas", "answer scsi 12\n  size 96\nanswer scsi 25\n  fill 0 64 FF\n"},
        {"READ CAPACITY of one byte", "sas", "answer scsi 12\n  size 96\nanswer scsi 25\n  size 1\n"},
        {"READ CAPACITY fails", "sas", "answer scsi 12\n  size 96\nanswer scsi 25\n  sense-fixed 3 11 00\n"},
        {"IDENTIFY without data", "sat", ata + "answer ata EC\n"},
        {"IDENTIFY of one byte", "sat", ata + "answer ata EC\n  size 1\n"},
        {"IDENTIFY of FFh far past the sector", "sat", ata + "answer ata EC\n  fill 0 70000 FF\n"},
        {"IDENTIFY texts of zero bytes", "sat", ata + "answer ata EC\n  size 512\n  fill 20 74 00\n"},
        {"IDENTIFY texts of blanks", "sat", ata + "answer ata EC\n  size 512\n  fill 20 74 20\n"},
        {"IDENTIFY aborted", "sat", ata + "answer ata EC\n  regs status=51 err=04\n"},
        {"IDENTIFY status return past the sense", "sat",
         ata + "answer ata EC\n  fill 0 512 FF\n  status 02\n  sense 72 01 00 1D 00 00 00 FF 09 FF 00\n"
               "  sense-written 255\n"},
        {"tunnel IDENTIFY without data", "apt", ata + "answer ata EC\nanswer scsi 25\n  size 8\n"},
        {"tunnel IDENTIFY of FFh", "apt", ata + "answer ata EC\n  fill 0 70000 FF\nanswer scsi 25\n  size 8\n"},
        {"tunnel IDENTIFY with the INQUIRY model", "apt",
         ata + "answer ata EC\n  size 512\n  ata-text 54 40 \"QUMA-K4410TR0050\"\n  fill 46 8 FF\n"
               "answer scsi 25\n  fill 0 8 FF\n"},
        {"tunnel status block of 3 bytes", "apt",
         ata + "answer ata EC\n  fill 0 512 41\nanswer scsi 3C id=6\n  size 3\nanswer scsi 25\n  size 8\n"},
        {"tunnel drive without READ CAPACITY", "apt",
         ata + "answer ata EC\n  size 512\n  ata-text 54 40 \"QUMA-K4410TR0050\"\n"},
    };
}

class ClassifyHostile : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyHostile, RefusesOrFillsABoundedRecord)
{
    Classify c;
    c.Run(GetParam().kind, GetParam().answers);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClassifyHostile, ::testing::ValuesIn(ClassifyCases()), CaseName());

std::string HexBytes(Rng& rng, u32 n)
{
    robust::ExactBuf b = robust::RandomBuf(rng, n);
    std::string s;
    char cell[4];
    for (u32 i = 0; i < n; i++) {
        snprintf(cell, sizeof(cell), " %02X", b.data()[i]);
        s += cell;
    }
    return s;
}

// Random data for one opcode or ATA command, sometimes with a random failure.
std::string RandomAnswer(Rng& rng, const std::string& head, const std::vector<u32>& sizes, bool ata_vendor)
{
    std::ostringstream s;
    s << head << "\n";
    const u32 size = sizes[rng.Below(static_cast<u32>(sizes.size()))];
    if (size != 0) {
        s << "  data" << HexBytes(rng, size) << "\n";
    }
    if (ata_vendor) {
        s << "  text 8 \"ATA\"\n";
    }
    switch (rng.Below(8)) {
    case 0:
        s << "  status 02\n  sense" << HexBytes(rng, 1 + rng.Below(40)) << "\n";
        break;
    case 1:
        s << "  resid " << rng.Below(1024) << "\n";
        break;
    default:
        break;
    }
    return s.str();
}

TEST(ClassifyRandom, RefusesOrFillsABoundedRecord)
{
    const int kDrives = 300;
    Rng rng(0x5EED3000);
    Classify c;
    const char* const kinds[] = {"sas", "sat", "apt"};
    for (int i = 0; i < kDrives; i++) {
        const std::string kind = kinds[rng.Below(3)];
        std::string answers = RandomAnswer(rng, "answer scsi 12", {0, 1, 8, 11, 20, 36, 56, 96, 512, 600},
                                           rng.Below(3) != 0);
        answers += RandomAnswer(rng, "answer scsi 25", {0, 1, 4, 8, 12}, false);
        if (kind != "sas") {
            answers += RandomAnswer(rng, "answer ata EC", {0, 1, 100, 511, 512, 513}, false);
        }
        SCOPED_TRACE(kind + " drive " + std::to_string(i) + ":\n" + answers);
        c.Run(kind, answers);
    }
    EXPECT_GT(c.accepted(), kDrives / 10) << "the random drives reach the filling steps";
}

} // namespace
