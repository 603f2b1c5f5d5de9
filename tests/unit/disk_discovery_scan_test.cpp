// Drive scan names and the classification sequence. The classification cases run
// against stand-in executors in the registry, so each answer and each failure of a
// probe command is under the test's control; the node itself is a scratch file.
#include <gtest/gtest.h>

#include "case_names.h"

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "disk_info.h"
#include "drive_answers.h"
#include "emu_api.h"
#include "settings.h"
#include "test_init.h"

namespace {

// ------------------------------------------------------------- probe names

struct ProbeNameCase {
    u32 probe;
    const char* primary;
    const char* fallback;
};

void PrintTo(const ProbeNameCase& c, std::ostream* os) { *os << "probe " << c.probe; }

class ProbeNames : public ::testing::TestWithParam<ProbeNameCase> {};

TEST_P(ProbeNames, PrimaryAndFallback)
{
    const ProbeNameCase& c = GetParam();
    char buf[DISK_NAME_BUF_LEN];
    memset(buf, 'x', sizeof(buf));
    diskProbeName(c.probe, buf);
    EXPECT_STREQ(buf, c.primary);
    // the whole buffer is zero behind the name
    EXPECT_TRUE(std::all_of(buf + strlen(c.primary), buf + sizeof(buf), [](char ch) { return ch == 0; }));
    memset(buf, 'x', sizeof(buf));
    diskProbeFallbackName(c.probe, buf);
    EXPECT_STREQ(buf, c.fallback);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeNames,
    ::testing::Values(ProbeNameCase{0, "/dev/sda", "/dev/sd-0a"}, ProbeNameCase{1, "/dev/sdb", "/dev/sd-1a"},
                      ProbeNameCase{25, "/dev/sdz", "/dev/sd-25a"}, ProbeNameCase{26, "/dev/sdaa", "/dev/sd-26a"},
                      ProbeNameCase{51, "/dev/sdaz", "/dev/sd-51a"}, ProbeNameCase{52, "/dev/sdba", "/dev/sd-52a"},
                      ProbeNameCase{701, "/dev/sdzz", "/dev/sd-701a"},
                      ProbeNameCase{702, "/dev/sdaaa", "/dev/sd-702a"},
                      ProbeNameCase{702 + 676, "/dev/sdbaa", "/dev/sd-1378a"},
                      ProbeNameCase{4095, "/dev/sdfan", "/dev/sd-4095a"},
                      ProbeNameCase{4096, "/dev/sdfao", "/dev/sd-0b"},
                      ProbeNameCase{18277, "/dev/sdzzz", "/dev/sd-1893e"},
                      ProbeNameCase{18278, "", "/dev/sd-1894e"}, ProbeNameCase{65535, "", "/dev/sd-4095p"}),
    CaseName());

// Every primary name is distinct and made of one to three lower-case letters.
TEST(ProbeNamesAll, PrimaryNamesDistinct)
{
    std::map<std::string, u32> seen;
    char buf[DISK_NAME_BUF_LEN];
    for (u32 i = 0; i < 18278; i++) {
        diskProbeName(i, buf);
        std::string s(buf);
        ASSERT_EQ(s.compare(0, 7, "/dev/sd"), 0) << i;
        std::string tail = s.substr(7);
        ASSERT_TRUE(tail.size() >= 1 && tail.size() <= 3) << s;
        ASSERT_TRUE(std::all_of(tail.begin(), tail.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; })) << s;
        ASSERT_TRUE(seen.emplace(s, i).second) << s << " for " << i << " and " << seen[s];
    }
}

// ------------------------------------------------ answers of a stand-in drive

// An IDENTIFY answer with a 28-bit block count.
std::vector<u8> IdentifyData(const std::string& model, const std::string& serial, const std::string& fw,
                             u32 blocks)
{
    return IdentifyImage().Model(model).Serial(serial).Firmware(fw).Lba28(blocks).Bytes();
}

// What the stand-in drive answers. An empty answer means the command fails.
struct FakeDrive {
    std::vector<u8> inquiry;         // every INQUIRY
    bool second_inquiry_fails = false;
    std::map<u32, std::vector<u8>> identify;  // by link type
    std::vector<u8> capacity;
};

struct Call {
    int type;
    u32 link_type;
    std::string device;
    u32 len;
    bool operator==(const Call& o) const
    {
        return type == o.type && link_type == o.link_type && device == o.device && len == o.len;
    }
};

std::ostream& operator<<(std::ostream& os, const Call& c)
{
    return os << "{type " << c.type << ", link " << c.link_type << ", " << c.device << ", " << c.len << "}";
}

const FakeDrive* fake_drive = nullptr;
std::vector<Call> calls;

bool Answer(const std::vector<u8>& data, u8* buf, u32 len)
{
    if (data.empty()) {
        // a failing drive may leave junk behind; the caller must not trust it
        memset(buf, 0xA5, len);
        return false;
    }
    memcpy(buf, data.data(), std::min<size_t>(data.size(), len));
    return true;
}

bool FakeExec(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int*)
{
    *user_err = USER_ERR_UNSUPPORTED;
    calls.push_back(Call{type, disk->link_type, disk->device_name, len});
    switch (type) {
    case TYPE_12H_INQUIRY: {
        size_t n = std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.type == TYPE_12H_INQUIRY; });
        if (n > 1 && fake_drive->second_inquiry_fails) {
            return Answer({}, buf, len);
        }
        return Answer(fake_drive->inquiry, buf, len);
    }
    case TYPE_IDENTIFY_DEVICE: {
        auto it = fake_drive->identify.find(disk->link_type);
        return Answer(it == fake_drive->identify.end() ? std::vector<u8>() : it->second, buf, len);
    }
    case TYPE_25H_READ_CAPACITY:
        return Answer(fake_drive->capacity, buf, len);
    default:
        ADD_FAILURE() << "unexpected probe type " << type;
        return false;
    }
}

class Classify : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        saved_ = map_list;
        for (int t : {TYPE_IDENTIFY_DEVICE, TYPE_12H_INQUIRY, TYPE_25H_READ_CAPACITY}) {
            map_list[t].fun = FakeExec;
        }
        char tmpl[] = "/tmp/zv_classify_XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        node_ = tmpl;
        calls.clear();
    }
    void TearDown() override
    {
        map_list = saved_;
        fake_drive = nullptr;
        unlink(node_.c_str());
    }

    bool Run(const FakeDrive& drive, DiskInfo* io)
    {
        fake_drive = &drive;
        return classifyDevice(node_.c_str(), io);
    }
    Call At(int type, u32 link) const { return Call{type, link, node_, 512}; }

    std::map<int, DiskCmndFunc> saved_;
    std::string node_;
};

// A record whose every field differs from what any classification writes.
DiskInfo Sentinel()
{
    DiskInfo d;
    d.index = 77;
    d.device_name = "/dev/old";
    d.link_type = 0x80;
    d.smart_ver = 9;
    d.model = "old model";
    d.serial = "old serial";
    d.firmware = "old fw";
    d.fpga_ver = "old fpga";
    d.hw_ver = "Q";
    d.lba_count = 4242;
    d.capacity_gb = 4;
    return d;
}

TEST_F(Classify, SataBehindSat)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("ATA     ", "QUMA-K6410TN0200", "B2A1", "");
    drive.identify[LINK_ATA_BY_SCSI] = IdentifyData("QUMA-K6410TN0200", "SAT0001", "K6FW0102", 97696368);
    DiskInfo d = Sentinel();
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(calls, (std::vector<Call>{At(TYPE_12H_INQUIRY, 0), At(TYPE_IDENTIFY_DEVICE, LINK_ATA),
                                        At(TYPE_IDENTIFY_DEVICE, LINK_ATA_BY_SCSI)}));
    EXPECT_EQ(d.link_type, u32(LINK_ATA_BY_SCSI));
    EXPECT_EQ(d.index, 77u);
    EXPECT_EQ(d.device_name, node_);
    EXPECT_EQ(d.model, "QUMA-K6410TN0200");
    EXPECT_EQ(d.serial, "SAT0001");
    EXPECT_EQ(d.firmware, "K6FW0102");
    EXPECT_EQ(d.smart_ver, u32(VER_K6410));
    EXPECT_EQ(d.lba_count, 97696368u);
    EXPECT_EQ(d.capacity_gb, 50u);
    // nothing carried over from the caller's record
    EXPECT_EQ(d.fpga_ver, "");
    EXPECT_EQ(d.hw_ver, "");
}

TEST_F(Classify, NativeRouteWinsWhenItAnswers)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("ATA", "anything", "", "");
    drive.identify[LINK_ATA] = IdentifyData("QUMA-G2T7 native", "N1", "FW1", 100000);
    drive.identify[LINK_ATA_BY_SCSI] = IdentifyData("wrong", "wrong", "wrong", 1);
    DiskInfo d;
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(calls, (std::vector<Call>{At(TYPE_12H_INQUIRY, 0), At(TYPE_IDENTIFY_DEVICE, LINK_ATA)}));
    EXPECT_EQ(d.link_type, u32(LINK_ATA));
    EXPECT_EQ(d.model, "QUMA-G2T7 native");
    EXPECT_EQ(d.smart_ver, u32(VER_G2T7));
}

// Tunnel drives: the IDENTIFY answer is kept only when its model is inside the INQUIRY model.
struct TunnelCase {
    const char* inquiry_model;
    const char* identify_model;  // nullptr: the tunnel IDENTIFY fails
    u32 link_type;
    const char* model;
    const char* serial;
    u64 lba_count;
};

void PrintTo(const TunnelCase& c, std::ostream* os)
{
    *os << "inquiry " << (*c.inquiry_model != '\0' ? c.inquiry_model : "empty") << " identify "
        << (c.identify_model == nullptr ? "fails" : *c.identify_model != '\0' ? c.identify_model : "empty");
}

class TunnelClassify : public Classify, public ::testing::WithParamInterface<TunnelCase> {};

TEST_P(TunnelClassify, ModelComparison)
{
    const TunnelCase& c = GetParam();
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("ATA", c.inquiry_model, "R001", "INQSERIAL");
    if (c.identify_model != nullptr) {
        drive.identify[LINK_ATA_BY_FC] = IdentifyData(c.identify_model, "IDSERIAL", "IDFW", 195371568);
    }
    drive.capacity = CapacityAnswer(97696367);
    DiskInfo d = Sentinel();
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(calls, (std::vector<Call>{At(TYPE_12H_INQUIRY, 0), At(TYPE_IDENTIFY_DEVICE, LINK_ATA),
                                        At(TYPE_IDENTIFY_DEVICE, LINK_ATA_BY_SCSI),
                                        At(TYPE_IDENTIFY_DEVICE, LINK_ATA_BY_FC), At(TYPE_12H_INQUIRY, LINK_SCSI),
                                        At(TYPE_25H_READ_CAPACITY, LINK_SCSI)}));
    EXPECT_EQ(d.link_type, c.link_type);
    EXPECT_EQ(d.model, c.model);
    EXPECT_EQ(d.serial, c.serial);
    EXPECT_EQ(d.lba_count, c.lba_count);
    EXPECT_EQ(d.index, 77u);
    EXPECT_EQ(d.device_name, node_);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TunnelClassify,
    ::testing::Values(
        // same text: the IDENTIFY record, with its block count
        TunnelCase{"QUMA-K6410TR0050", "QUMA-K6410TR0050", LINK_ATA_BY_FC, "QUMA-K6410TR0050", "IDSERIAL", 195371568},
        // IDENTIFY model is a part of the INQUIRY model
        TunnelCase{"XQUMA-G2T7 512GB", "QUMA-G2T7", LINK_ATA_BY_FC, "QUMA-G2T7", "IDSERIAL", 195371568},
        // not contained, or the other way round
        TunnelCase{"QUMA-K6410TR0050", "QUMA-K6410TR0100", LINK_SCSI, "QUMA-K6410TR0050", "INQSERIAL", 97696368},
        TunnelCase{"QUMA-G2T7", "QUMA-G2T7 512GB", LINK_SCSI, "QUMA-G2T7", "INQSERIAL", 97696368},
        // an empty model on either side never matches
        TunnelCase{"QUMA-K6410TR0050", "", LINK_SCSI, "QUMA-K6410TR0050", "INQSERIAL", 97696368},
        TunnelCase{"", "QUMA-K6410TR0050", LINK_SCSI, "", "INQSERIAL", 97696368},
        TunnelCase{"", "", LINK_SCSI, "", "INQSERIAL", 97696368},
        // the tunnel refuses: a SCSI drive
        TunnelCase{"QUMA-K6410TR0050", nullptr, LINK_SCSI, "QUMA-K6410TR0050", "INQSERIAL", 97696368}),
    CaseName());

// On the "ATA" path the second INQUIRY and READ CAPACITY must both answer.
struct AtaFailCase {
    bool tunnel_identify_ok;
    bool second_inquiry_fails;
    bool capacity_fails;
};

void PrintTo(const AtaFailCase& c, std::ostream* os)
{
    *os << "tunnel identify " << (c.tunnel_identify_ok ? "answers" : "fails")
        << (c.second_inquiry_fails ? ", inquiry fails" : "") << (c.capacity_fails ? ", capacity fails" : "");
}

class AtaPathFails : public Classify, public ::testing::WithParamInterface<AtaFailCase> {};

TEST_P(AtaPathFails, RecordUnchanged)
{
    const AtaFailCase& c = GetParam();
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("ATA", "QUMA-K6410TR0050", "R001", "S");
    if (c.tunnel_identify_ok) {
        drive.identify[LINK_ATA_BY_FC] = IdentifyData("QUMA-K6410TR0050", "S", "F", 1000000);
    }
    drive.second_inquiry_fails = c.second_inquiry_fails;
    if (!c.capacity_fails) {
        drive.capacity = CapacityAnswer(1000);
    }
    DiskInfo d = Sentinel();
    EXPECT_FALSE(Run(drive, &d));
    EXPECT_EQ(d, Sentinel());
}

INSTANTIATE_TEST_SUITE_P(Cases, AtaPathFails,
                         ::testing::Values(AtaFailCase{true, true, false}, AtaFailCase{true, false, true},
                                           AtaFailCase{false, true, false}, AtaFailCase{false, false, true}),
                         CaseName());

TEST_F(Classify, SasDrive)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("QUMA    ", "QUMA-K647YBN0300", "B100", "SAS000123");
    drive.capacity = CapacityAnswer(97696367);
    drive.identify[LINK_ATA_BY_FC] = IdentifyData("QUMA-K647YBN0300", "x", "x", 5);  // never asked
    disk_model_code = 0;
    DiskInfo d = Sentinel();
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(calls, (std::vector<Call>{At(TYPE_12H_INQUIRY, 0), At(TYPE_25H_READ_CAPACITY, LINK_SCSI)}));
    EXPECT_EQ(d.link_type, u32(LINK_SCSI));
    EXPECT_EQ(d.model, "QUMA-K647YBN0300");
    EXPECT_EQ(d.serial, "SAS000123");
    EXPECT_EQ(d.firmware, "B100");
    EXPECT_EQ(d.smart_ver, u32(VER_UNKNOWN));
    EXPECT_EQ(d.lba_count, 97696368u);
    EXPECT_EQ(d.capacity_gb, 50u);
    // the per-model geometry preset ran for it
    EXPECT_EQ(disk_model_code, 5u);
    EXPECT_EQ(disk_geometry.channel, 10u);
    EXPECT_EQ(disk_geometry.page_num, 256u);
}

TEST_F(Classify, SasDriveWithFailingReadCapacityHasOneBlock)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("QUMA", "QUMA-K647YBN0600", "B100", "SAS9");
    DiskInfo d = Sentinel();
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(d.link_type, u32(LINK_SCSI));
    EXPECT_EQ(d.model, "QUMA-K647YBN0600");
    EXPECT_EQ(d.lba_count, 1u);
    EXPECT_EQ(d.capacity_gb, 0u);
}

// The vendor test is exactly the three bytes "ATA", case-sensitive.
struct VendorCase {
    const char* vendor;
    bool ata;
};

void PrintTo(const VendorCase& c, std::ostream* os) { *os << "vendor " << SpeltOut(c.vendor); }

class VendorTest : public Classify, public ::testing::WithParamInterface<VendorCase> {};

TEST_P(VendorTest, FirstThreeBytes)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer(GetParam().vendor, "M", "R", "S");
    drive.capacity = CapacityAnswer(10);
    DiskInfo d;
    ASSERT_TRUE(Run(drive, &d));
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].type, GetParam().ata ? TYPE_IDENTIFY_DEVICE : TYPE_25H_READ_CAPACITY);
}

INSTANTIATE_TEST_SUITE_P(Cases, VendorTest,
                         ::testing::Values(VendorCase{"ATA     ", true}, VendorCase{"ATAX", true},
                                           VendorCase{"ata     ", false}, VendorCase{" ATA", false},
                                           VendorCase{"AT      ", false}, VendorCase{"SEAGATE ", false}),
                         CaseName());

TEST_F(Classify, FailingInquiryLeavesRecord)
{
    FakeDrive drive;  // answers nothing
    drive.capacity = CapacityAnswer(10);
    DiskInfo d = Sentinel();
    EXPECT_FALSE(Run(drive, &d));
    EXPECT_EQ(calls, (std::vector<Call>{At(TYPE_12H_INQUIRY, 0)}));
    EXPECT_EQ(d, Sentinel());
}

TEST_F(Classify, NodeThatDoesNotOpenSendsNothing)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("QUMA", "M", "R", "S");
    DiskInfo d = Sentinel();
    fake_drive = &drive;
    EXPECT_FALSE(classifyDevice((node_ + ".missing").c_str(), &d));
    EXPECT_FALSE(classifyDevice("", &d));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(d, Sentinel());
}

TEST_F(Classify, StringFormSameAsPath)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("QUMA", "QUMA-K647YBN0300", "B100", "S1");
    drive.capacity = CapacityAnswer(999);
    DiskInfo a;
    DiskInfo b;
    a.index = b.index = 3;
    ASSERT_TRUE(Run(drive, &a));
    ASSERT_TRUE(classifyDeviceStr(node_, &b));
    EXPECT_EQ(a, b);
}

// The firmware of the K4410 family drops its first three characters and keeps at most seven.
struct FirmwareCutCase {
    const char* model;
    const char* firmware;  // as the drive reports it
    const char* kept;
};

void PrintTo(const FirmwareCutCase& c, std::ostream* os) { *os << c.model << " firmware " << SpeltOut(c.firmware); }

class FirmwareCut : public Classify, public ::testing::WithParamInterface<FirmwareCutCase> {};

TEST_P(FirmwareCut, OnlyForK4410)
{
    const FirmwareCutCase& c = GetParam();
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("ATA", "x", "x", "x");
    drive.identify[LINK_ATA_BY_SCSI] = IdentifyData(c.model, "S", c.firmware, 1000000);
    DiskInfo d;
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(d.firmware, c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirmwareCut,
    ::testing::Values(FirmwareCutCase{"QUMA-K4410TR0050", "ABC12345", "12345"},
                      FirmwareCutCase{"QUMA-K4410TN0032", "ABCD", "D"},
                      FirmwareCutCase{"QUMA-K4410TN0032", "ABC", ""},
                      // shorter than the prefix: nothing left, and no failure
                      FirmwareCutCase{"QUMA-K4410TN0032", "AB", ""}, FirmwareCutCase{"QUMA-K4410TN0032", "A", ""},
                      FirmwareCutCase{"QUMA-K4410TN0032", "", ""},
                      // the cut applies to the trimmed text
                      FirmwareCutCase{"QUMA-K4410TN0200", "  XYZ9  ", "9"},
                      // other families keep the whole revision
                      FirmwareCutCase{"QUMA-K6410TR0050", "ABC12345", "ABC12345"},
                      FirmwareCutCase{"QUMA-P37RV-0064", "AB", "AB"}),
    CaseName());

// A SAS drive of the K4410 family gets the cut on its four-character INQUIRY revision.
TEST_F(Classify, FirmwareCutOnInquiryRevision)
{
    FakeDrive drive;
    drive.inquiry = InquiryAnswer("QUMA", "QUMA-K4410TR0100", "B2A1", "S");
    drive.capacity = CapacityAnswer(99);
    DiskInfo d;
    ASSERT_TRUE(Run(drive, &d));
    EXPECT_EQ(d.smart_ver, u32(VER_K4410));
    EXPECT_EQ(d.firmware, "1");
}

// ------------------------------------- classification through the real executors

// Drives of tests/data/discovery/drives.txt, classified through the catalogue's own
// executors and transports.
struct DriveCase {
    const char* node;
    bool ok;
    u32 link_type;
    const char* model;
    const char* serial;
    const char* firmware;
    u64 lba_count;
    u32 capacity_gb;
    u32 smart_ver;
    std::vector<u8> first_opcodes;  // the requests' opcodes, from the first
    std::vector<u8> last_opcodes;   // and up to the last
};

void PrintTo(const DriveCase& c, std::ostream* os) { *os << c.node; }

class EmulatedDrive : public ::testing::TestWithParam<DriveCase> {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        zvemu::Reset();
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixture(std::string(ZV_TEST_DATA_DIR) + "/discovery/drives.txt", &err)) << err;
    }
    void TearDown() override { zvemu::Reset(); }
};

std::vector<u8> Opcodes(const std::vector<zvemu::TraceEntry>& requests)
{
    std::vector<u8> out;
    for (const zvemu::TraceEntry& e : requests) {
        out.push_back(e.cdb.empty() ? 0 : e.cdb[0]);
    }
    return out;
}

TEST_P(EmulatedDrive, Classified)
{
    const DriveCase& c = GetParam();
    DiskInfo d = Sentinel();
    d.index = 5;
    ASSERT_EQ(classifyDevice(c.node, &d), c.ok);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
    std::vector<u8> sent = Opcodes(zvemu::Requests(c.node));
    ASSERT_GE(sent.size(), c.first_opcodes.size());
    ASSERT_GE(sent.size(), c.last_opcodes.size());
    EXPECT_EQ(std::vector<u8>(sent.begin(), sent.begin() + c.first_opcodes.size()), c.first_opcodes);
    EXPECT_EQ(std::vector<u8>(sent.end() - c.last_opcodes.size(), sent.end()), c.last_opcodes);
    if (!c.ok) {
        DiskInfo unchanged = Sentinel();
        unchanged.index = 5;
        EXPECT_EQ(d, unchanged);
        return;
    }
    EXPECT_EQ(d.index, 5u);
    EXPECT_EQ(d.device_name, c.node);
    EXPECT_EQ(d.link_type, c.link_type);
    EXPECT_EQ(d.model, c.model);
    EXPECT_EQ(d.serial, c.serial);
    EXPECT_EQ(d.firmware, c.firmware);
    EXPECT_EQ(d.lba_count, c.lba_count);
    EXPECT_EQ(d.capacity_gb, c.capacity_gb);
    EXPECT_EQ(d.smart_ver, c.smart_ver);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmulatedDrive,
    ::testing::Values(
        // SATA behind SAT: the native route sends nothing, the pass-through answers
        DriveCase{"/dev/sdc", true, LINK_ATA_BY_SCSI, "QUMA-K6410TN0200", "K6410TN0200A1300047", "K6B10102",
                  390721968, 200, VER_K6410, {0x12, 0x85}, {0x85}},
        // tunnel drive naming the same model: the IDENTIFY record (K4410: firmware cut)
        DriveCase{"/dev/sdd", true, LINK_ATA_BY_FC, "QUMA-K4410TR0050", "K4410TR0050A13000001", "10731",
                  195371568, 100, VER_K4410, {0x12, 0x85, 0x3B}, {0x12, 0x25}},
        // tunnel drive naming another model: the INQUIRY record with READ CAPACITY's count
        DriveCase{"/dev/sde", true, LINK_SCSI, "QUMA-K4410TR0050", "INQ-SERIAL-0002", "1", 97696368, 50,
                  VER_K4410, {0x12, 0x85, 0x3B}, {0x12, 0x25}},
        // SAS drive refusing READ CAPACITY: one block
        DriveCase{"/dev/sdf", true, LINK_SCSI, "QUMA-K6470BN0400", "S6470BN400A130501879", "B230", 1, 0,
                  VER_UNKNOWN, {0x12, 0x25}, {0x25}},
        DriveCase{"/dev/sdg", false, 0, "", "", "", 0, 0, 0, {0x12}, {0x12}},
        DriveCase{"/dev/sdq", false, 0, "", "", "", 0, 0, 0, {}, {}},
        // a K4410 firmware shorter than the prefix becomes empty
        DriveCase{"/dev/sdh", true, LINK_ATA_BY_SCSI, "QUMA-K4410TN0032", "K4410TN0032A1300009", "", 62533296,
                  32, VER_K4410, {0x12, 0x85}, {0x85}},
        // an IDENTIFY without data identifies nothing: the INQUIRY record with READ CAPACITY's count
        DriveCase{"/dev/sdi", true, LINK_SCSI, "QUMA-K6410TN0200", "INQ-SERIAL-0003", "0102", 195371568, 100,
                  VER_K6410, {0x12, 0x85, 0x3B}, {0x12, 0x25}},
        DriveCase{"/dev/sdj", true, LINK_SCSI, "QUMA-K4410TR0050", "INQ-SERIAL-0004", "1", 97696368, 50,
                  VER_K4410, {0x12, 0x85, 0x3B}, {0x12, 0x25}}),
    CaseName());

// The SAS drive's model presets the SAS flash geometry.
TEST_F(EmulatedDrive, GeometryPresetForTheClassifiedModel)
{
    disk_model_code = 0;
    DiskInfo d;
    ASSERT_TRUE(classifyDevice("/dev/sdf", &d));
    EXPECT_EQ(disk_model_code, 2u);
    EXPECT_EQ(disk_geometry.ce, 4u);
}

// A scan over the fixture's drives keeps the seven that classify, in probe order.
TEST_F(EmulatedDrive, ScanFindsTheClassifiedDrives)
{
    DiskList::GetInstance()->Scan();
    std::vector<DiskInfo> list;
    DiskList::GetInstance()->GetList(list);
    std::vector<std::string> names;
    for (const DiskInfo& d : list) {
        names.push_back(d.device_name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/sdc", "/dev/sdd", "/dev/sde", "/dev/sdf", "/dev/sdh",
                                               "/dev/sdi", "/dev/sdj"}));
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);
}

// --------------------------------------------------------------- the list

TEST(DiskListInstance, OneInstance)
{
    DiskList* a = DiskList::GetInstance();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, DiskList::GetInstance());
}

// Scans over emulated nodes: the emulator opens the configured names (and traces every
// open of a drive name), the stand-in executors answer INQUIRY by node name.
std::set<std::string> answering_nodes;

bool ScanExec(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int*)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (answering_nodes.count(disk->device_name) == 0) {
        return false;
    }
    if (type == TYPE_12H_INQUIRY) {
        std::vector<u8> a = InquiryAnswer("QUMA", disk->device_name.substr(5), "R1", "S" + disk->device_name);
        memcpy(buf, a.data(), std::min<size_t>(a.size(), len));
        return true;
    }
    if (type == TYPE_25H_READ_CAPACITY) {
        std::vector<u8> c = CapacityAnswer(1000 + disk->index);
        memcpy(buf, c.data(), std::min<size_t>(c.size(), len));
        return true;
    }
    return false;
}

class Scan : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        saved_ = map_list;
        for (int t : {TYPE_IDENTIFY_DEVICE, TYPE_12H_INQUIRY, TYPE_25H_READ_CAPACITY}) {
            map_list[t].fun = ScanExec;
        }
        zvemu::Reset();
        answering_nodes.clear();
    }
    void TearDown() override
    {
        map_list = saved_;
        zvemu::Reset();
        answering_nodes.clear();
    }

    // Emulated nodes; those in `answering` also answer INQUIRY and READ CAPACITY.
    void Nodes(const std::vector<std::string>& opening, const std::vector<std::string>& answering)
    {
        std::string text;
        for (const std::string& n : opening) {
            text += "drive " + n + " sas\n";
        }
        std::string err;
        ASSERT_TRUE(zvemu::LoadFixtureText(text, ".", &err)) << err;
        answering_nodes = std::set<std::string>(answering.begin(), answering.end());
    }

    static std::vector<std::string> OpenedNames()
    {
        std::vector<std::string> out;
        for (const zvemu::TraceEntry& e : zvemu::Only(zvemu::Trace(), "open")) {
            out.push_back(e.node);
        }
        return out;
    }

    static std::vector<DiskInfo> ScanList()
    {
        DiskList::GetInstance()->Scan();
        std::vector<DiskInfo> out;
        DiskList::GetInstance()->GetList(out);
        return out;
    }

    std::map<int, DiskCmndFunc> saved_;
};

// The names opened from `first` on, as many as `window` holds.
struct OrderWindow {
    const char* first;
    std::vector<std::string> window;
};

TEST_F(Scan, ProbeOrderAtTheTurningPoints)
{
    // sdb opens but does not answer: its fallback is tried; sdfao does not exist,
    // its fallback sd-0b is the drive; the last probe is found under its fallback.
    Nodes({"/dev/sdb", "/dev/sdz", "/dev/sdaa", "/dev/sdzz", "/dev/sdaaa", "/dev/sd-0b", "/dev/sd-4095p"},
          {"/dev/sdz", "/dev/sdaa", "/dev/sdzz", "/dev/sdaaa", "/dev/sd-0b", "/dev/sd-4095p"});
    std::vector<DiskInfo> list = ScanList();

    std::vector<std::string> opened = OpenedNames();
    const OrderWindow windows[] = {
        {"/dev/sda", {"/dev/sda", "/dev/sd-0a", "/dev/sdb", "/dev/sd-1a", "/dev/sdc", "/dev/sd-2a"}},
        // a node that classifies under its primary name has no fallback probe
        {"/dev/sdy", {"/dev/sdy", "/dev/sd-24a", "/dev/sdz", "/dev/sdaa", "/dev/sdab", "/dev/sd-27a"}},
        {"/dev/sdzy", {"/dev/sdzy", "/dev/sd-700a", "/dev/sdzz", "/dev/sdaaa", "/dev/sdaab", "/dev/sd-703a"}},
        {"/dev/sdazz", {"/dev/sdazz", "/dev/sd-1377a", "/dev/sdbaa", "/dev/sd-1378a"}},
        {"/dev/sdfan", {"/dev/sdfan", "/dev/sd-4095a", "/dev/sdfao", "/dev/sd-0b", "/dev/sdfap", "/dev/sd-1b"}},
        // past the three-letter names only the fallback names are opened
        {"/dev/sdzzz", {"/dev/sdzzz", "/dev/sd-1893e", "/dev/sd-1894e", "/dev/sd-1895e"}},
        {"/dev/sd-4095o", {"/dev/sd-4095o", "/dev/sd-0p", "/dev/sd-1p"}},
        {"/dev/sd-4094p", {"/dev/sd-4094p", "/dev/sd-4095p"}},
    };
    for (const OrderWindow& w : windows) {
        auto at = std::find(opened.begin(), opened.end(), std::string(w.first));
        ASSERT_NE(at, opened.end()) << w.first;
        ASSERT_LE(w.window.size(), size_t(opened.end() - at)) << w.first;
        EXPECT_EQ(std::vector<std::string>(at, at + w.window.size()), w.window) << w.first;
    }
    EXPECT_EQ(opened.back(), "/dev/sd-4095p");
    // 18278 primary names, and a fallback for every probe but the four found under their primary
    EXPECT_EQ(opened.size(), 18278u + 65536u - 4u);
    EXPECT_EQ(std::count(opened.begin(), opened.end(), std::string("/dev/sd-0a")), 1);
    EXPECT_EQ(zvemu::OpenDescriptors(), 0);

    struct Found {
        u32 index;
        const char* name;
    };
    const Found expected[] = {{25, "/dev/sdz"},   {26, "/dev/sdaa"},   {701, "/dev/sdzz"},
                              {702, "/dev/sdaaa"}, {4096, "/dev/sd-0b"}, {65535, "/dev/sd-4095p"}};
    ASSERT_EQ(list.size(), sizeof(expected) / sizeof(expected[0]));
    for (size_t i = 0; i < list.size(); i++) {
        EXPECT_EQ(list[i].index, expected[i].index);
        EXPECT_EQ(list[i].device_name, expected[i].name);
        EXPECT_EQ(list[i].model, std::string(expected[i].name).substr(5));
        EXPECT_EQ(list[i].link_type, u32(LINK_SCSI));
        EXPECT_EQ(list[i].lba_count, 1001u + expected[i].index);
    }
    DiskInfo d;
    ASSERT_TRUE(DiskList::GetInstance()->FindByIndex(4096, &d));
    EXPECT_EQ(d, list[4]);
    EXPECT_FALSE(DiskList::GetInstance()->FindByIndex(1, &d));
    EXPECT_EQ(d, list[4]);
}

TEST_F(Scan, NoNodesGivesEmptyList)
{
    Nodes({"/dev/sdd"}, {"/dev/sdd"});
    ASSERT_EQ(ScanList().size(), 1u);
    zvemu::Reset();
    zvemu::ClearTrace();
    answering_nodes.clear();
    EXPECT_TRUE(ScanList().empty());
    std::vector<zvemu::TraceEntry> opens = zvemu::Only(zvemu::Trace(), "open");
    // every primary and every fallback name, each failing at once
    EXPECT_EQ(opens.size(), 18278u + 65536u);
    EXPECT_TRUE(std::all_of(opens.begin(), opens.end(), [](const zvemu::TraceEntry& e) { return e.err == ENOENT; }));
    DiskInfo d;
    EXPECT_FALSE(DiskList::GetInstance()->FindByIndex(3, &d));
}

TEST_F(Scan, RescanKeepsOrReplacesTheList)
{
    Nodes({"/dev/sdc", "/dev/sdf"}, {"/dev/sdc", "/dev/sdf"});
    std::vector<DiskInfo> first = ScanList();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(ScanList(), first);

    answering_nodes.erase("/dev/sdc");
    std::vector<DiskInfo> second = ScanList();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0], first[1]);

    // same count, different data
    zvemu::Reset();
    Nodes({"/dev/sdg"}, {"/dev/sdg"});
    std::vector<DiskInfo> third = ScanList();
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0].device_name, "/dev/sdg");
    EXPECT_EQ(third[0].index, 6u);
}

// GetList replaces what the caller's vector held.
TEST_F(Scan, GetListReplacesOut)
{
    Nodes({"/dev/sdc"}, {"/dev/sdc"});
    DiskList::GetInstance()->Scan();
    std::vector<DiskInfo> out(3);
    DiskList::GetInstance()->GetList(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].device_name, "/dev/sdc");
}

} // namespace
