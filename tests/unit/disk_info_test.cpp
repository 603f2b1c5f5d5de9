#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "disk_info.h"
#include "drive_answers.h"

namespace {

struct CapacityCase {
    u32 last_lba;
    u64 lba_count;
    u32 capacity_gb;
};

void PrintTo(const CapacityCase& c, std::ostream* os) { *os << "last lba " << c.last_lba; }

class Capacity : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(Capacity, FromReadCapacity10)
{
    const CapacityCase& c = GetParam();
    const std::vector<u8> data = CapacityAnswer(c.last_lba);
    DiskInfo d;
    ASSERT_TRUE(CalcCapacityGB(&d, data.data(), u32(data.size())));
    EXPECT_EQ(d.lba_count, c.lba_count);
    EXPECT_EQ(d.capacity_gb, c.capacity_gb);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Capacity,
    ::testing::Values(CapacityCase{0x1FF, 512, 0}, CapacityCase{0xFFFF, 65536, 0},
                      CapacityCase{97696367, 97696368, 50}, CapacityCase{97696366, 97696367, 49},
                      // one block (a failed READ CAPACITY) must not wrap to 2562473157 GB
                      CapacityCase{0, 1, 0}, CapacityCase{21167, 21168, 0},
                      CapacityCase{0xFFFFFFFF, 0x100000000ull, 2198}), CaseName());

TEST(CapacityRefusal, ShortOrNullDataLeavesRecord)
{
    DiskInfo d;
    d.lba_count = 7;
    d.capacity_gb = 3;
    u8 data[4] = {0, 0, 1, 0};
    EXPECT_FALSE(CalcCapacityGB(&d, nullptr, 8));
    EXPECT_FALSE(CalcCapacityGB(&d, data, 3));
    EXPECT_EQ(d.lba_count, 7u);
    EXPECT_EQ(d.capacity_gb, 3u);
    EXPECT_TRUE(CalcCapacityGB(&d, data, 4));
    EXPECT_EQ(d.lba_count, 257u);
}

struct FamilyCase {
    const char* model;
    u32 family;
};

void PrintTo(const FamilyCase& c, std::ostream* os) { *os << (*c.model != '\0' ? c.model : "no model"); }

class Family : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(Family, ByPrefix)
{
    const FamilyCase& c = GetParam();
    EXPECT_EQ(FamilyOfModel(c.model), c.family) << c.model;
    EXPECT_EQ(isFamilyP37RV(c.model), c.family == VER_P37RV);
    EXPECT_EQ(isFamilyK4410(c.model), c.family == VER_K4410);
    EXPECT_EQ(isFamilyG2T7(c.model), c.family == VER_G2T7);
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, Family,
    ::testing::Values(FamilyCase{"QUMA-P37RV-0032", VER_P37RV}, FamilyCase{"QUMA-W37RV-0256 X", VER_P37RV},
                      FamilyCase{"QUMA-K4410TR0050", VER_K4410}, FamilyCase{"QUMA-K4410TR0050ABC", VER_K4410},
                      FamilyCase{"QUMA-K4410TN0032", VER_K4410}, FamilyCase{"QUMA-K4410TR", VER_UNKNOWN},
                      FamilyCase{"QUMA-G2T7", VER_G2T7}, FamilyCase{"QUMA-G2T7-0400", VER_G2T7},
                      FamilyCase{"QUMA-K6410TN0200", VER_K6410}, FamilyCase{"quma-k4410tr0050", VER_UNKNOWN},
                      FamilyCase{"", VER_UNKNOWN}, FamilyCase{"QUMA-K4410TX0050", VER_UNKNOWN}), CaseName());

// The four prefix lists, in match order, as the family tests and the family choice use them.
TEST(FamilyLists, EveryPrefixInOrder)
{
    const std::vector<std::vector<std::string>> lists = {
        {"QUMA-P37RV-0032", "QUMA-P37RV-0064", "QUMA-P37RV-0128", "QUMA-W37RV-0064", "QUMA-W37RV-0128",
         "QUMA-W37RV-0256"},
        {"QUMA-K4410TR0050", "QUMA-K4410TR0100", "QUMA-K4410TN0100", "QUMA-K4410TN0200", "QUMA-K4410TN0032"},
        {"QUMA-G2T7"},
        {"QUMA-K6410TR0050", "QUMA-K6410TR0100", "QUMA-K6410TN0100", "QUMA-K6410TN0200", "QUMA-K6410TN0032"},
    };
    for (u32 family = 0; family < VER_UNKNOWN; family++) {
        const std::vector<std::string>& want = lists[family];
        ASSERT_EQ(smart_ver_model_num[family], want.size()) << "family " << family;
        for (u32 i = 0; i < want.size(); i++) {
            EXPECT_STREQ(smart_ver_model_list[family][i], want[i].c_str()) << "family " << family << " row " << i;
            // each prefix alone, and with a tail, names its family
            EXPECT_EQ(FamilyOfModel(want[i]), family) << want[i];
            EXPECT_EQ(FamilyOfModel(want[i] + " 2.5in"), family) << want[i];
            // one character short matches nothing
            EXPECT_EQ(FamilyOfModel(want[i].substr(0, want[i].size() - 1)), u32(VER_UNKNOWN)) << want[i];
        }
    }
}

TEST(DiskInfoRecord, EqualityCoversEveryField)
{
    DiskInfo a;
    a.index = 3;
    a.device_name = "/dev/sdc";
    a.link_type = LINK_SCSI;
    a.model = "M";
    a.lba_count = 100;
    DiskInfo b = a;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    b.hw_ver = "B";
    EXPECT_TRUE(a != b);
    b = a;
    b.capacity_gb = 1;
    EXPECT_FALSE(a == b);
    DiskInfo fresh;
    EXPECT_EQ(fresh.index, 0u);
    EXPECT_EQ(fresh.lba_count, 0u);
    EXPECT_TRUE(fresh == DiskInfo());
}

// A record differing in any one of its eleven fields is unequal (the scan relies on it).
TEST(DiskInfoRecord, EachFieldTakesPartInEquality)
{
    DiskInfo base;
    base.index = 1;
    base.device_name = "/dev/sdb";
    base.link_type = LINK_ATA_BY_SCSI;
    base.smart_ver = VER_K4410;
    base.model = "QUMA-K4410TR0050";
    base.serial = "S1";
    base.firmware = "F1";
    base.fpga_ver = "210.T03";
    base.hw_ver = "B";
    base.lba_count = 97696368;
    base.capacity_gb = 50;
    const struct {
        const char* field;
        void (*change)(DiskInfo*);
    } changes[] = {
        {"index", [](DiskInfo* d) { d->index = 2; }},
        {"device_name", [](DiskInfo* d) { d->device_name = "/dev/sdc"; }},
        {"link_type", [](DiskInfo* d) { d->link_type = LINK_ATA_BY_FC; }},
        {"smart_ver", [](DiskInfo* d) { d->smart_ver = VER_UNKNOWN; }},
        {"model", [](DiskInfo* d) { d->model = "QUMA-K4410TR0100"; }},
        {"serial", [](DiskInfo* d) { d->serial = "S2"; }},
        {"firmware", [](DiskInfo* d) { d->firmware = "F2"; }},
        {"fpga_ver", [](DiskInfo* d) { d->fpga_ver = "210.T04"; }},
        {"hw_ver", [](DiskInfo* d) { d->hw_ver = "C"; }},
        {"lba_count", [](DiskInfo* d) { d->lba_count = 0x100000000ull + 97696368; }},
        {"capacity_gb", [](DiskInfo* d) { d->capacity_gb = 51; }},
    };
    for (const auto& c : changes) {
        DiskInfo other = base;
        ASSERT_TRUE(other == base) << c.field;
        c.change(&other);
        EXPECT_FALSE(other == base) << c.field;
        EXPECT_TRUE(other != base) << c.field;
        EXPECT_FALSE(base == other) << c.field;
    }
}

TEST(DiskInfoRecord, LinkTypeNames)
{
    EXPECT_STREQ(LinkTypeName(LINK_ATA), "ATA");
    EXPECT_STREQ(LinkTypeName(LINK_ATA_BY_SCSI), "ATA by SCSI");
    EXPECT_STREQ(LinkTypeName(LINK_SCSI), "SCSI");
    EXPECT_STREQ(LinkTypeName(LINK_ATA_BY_FC), "ATA by FC");
    EXPECT_STREQ(LinkTypeName(0), "Unknown");
    EXPECT_STREQ(LinkTypeName(3), "Unknown");
}

TEST(SwapPairs, InPlaceAndCopy)
{
    char four[] = {'B', 'A', 'D', 'C'};
    SwapBytePairs(four, 4);
    EXPECT_EQ(std::string(four, 4), "ABCD");
    char five[] = {'B', 'A', 'D', 'C', 'E'};
    SwapBytePairs(five, 5);
    EXPECT_EQ(std::string(five, 5), "ABCDE");
    SwapBytePairs(nullptr, 4);
    char dst[4] = {0, 0, 0, 0};
    SwapBytePairsCopy(dst, "BADC", 4);
    EXPECT_EQ(std::string(dst, 4), "ABCD");
    SwapBytePairsCopy(nullptr, "BADC", 4);
}

// ---------------------------------------------------------------- trimBlanks

struct TrimCase {
    std::string in;
    std::string out;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << SpeltOut(c.in); }

class Trim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(Trim, OnlyBlanksAtBothEnds)
{
    std::string s = GetParam().in;
    trimBlanks(s);
    EXPECT_EQ(s, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Trim,
    ::testing::Values(TrimCase{"", ""}, TrimCase{"    ", ""}, TrimCase{" ", ""}, TrimCase{"abc", "abc"},
                      TrimCase{"  QUMA X  ", "QUMA X"}, TrimCase{"a  b   ", "a  b"}, TrimCase{"   z", "z"},
                      // tabs and zero bytes are not blanks
                      TrimCase{"\tab\t", "\tab\t"}, TrimCase{std::string(" a\0 ", 4), std::string("a\0", 2)},
                      TrimCase{std::string("\0 x", 3), std::string("\0 x", 3)}),
    CaseName());

// ---------------------------------------------------------- IDENTIFY filling

struct BlockCountCase {
    bool bit48;
    u32 lba28;
    u64 lba48;
    u8 other_word83_bits; // neighbours of bit 10 must not count
    u64 lba_count;
    u32 capacity_gb;
};

void PrintTo(const BlockCountCase& c, std::ostream* os)
{
    *os << (c.bit48 ? "48-bit" : "28-bit") << " lba28 " << c.lba28 << " lba48 " << c.lba48 << " word 83 "
        << std::hex << unsigned(c.other_word83_bits) << "h";
}

class IdentifyBlockCount : public ::testing::TestWithParam<BlockCountCase> {};

TEST_P(IdentifyBlockCount, ChosenByWord83Bit10)
{
    const BlockCountCase& c = GetParam();
    IdentifyImage id;
    id.Model("QUMA-K4410TR0050").Lba28(c.lba28).Lba48(c.lba48);
    id.b[167] = c.other_word83_bits;
    id.Has48Bit(c.bit48);
    DiskInfo d;
    ASSERT_TRUE(d.FillFromIdentify(id.b, sizeof(id.b)));
    EXPECT_EQ(d.lba_count, c.lba_count);
    EXPECT_EQ(d.capacity_gb, c.capacity_gb);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentifyBlockCount,
    ::testing::Values(
        // bit clear: words 60-61 even though words 100-103 hold a count
        BlockCountCase{false, 97696368, 500118192, 0x00, 97696368, 50},
        BlockCountCase{false, 97696368, 500118192, 0xFB, 97696368, 50},
        BlockCountCase{true, 0x0FFFFFFF, 500118192, 0x00, 500118192, 256},
        // all eight bytes of words 100-103 count
        BlockCountCase{true, 0, 0x0000000100000000ull, 0x00, 0x0000000100000000ull, 2198},
        BlockCountCase{true, 0, 0x0102030405060708ull, 0x40, 0x0102030405060708ull,
                       u32((0x0102030405060708ull - 21168) / 1953504)},
        BlockCountCase{false, 0xFFFFFFFF, 0, 0x00, 0xFFFFFFFFull, 2198},
        // below the IDEMA offset the capacity is 0, not a wrapped value
        BlockCountCase{false, 0, 5, 0x00, 0, 0}, BlockCountCase{false, 21167, 0, 0x00, 21167, 0},
        BlockCountCase{true, 0, 21168, 0x00, 21168, 0}),
    CaseName());

TEST(IdentifyFill, TextsAreSwappedAndTrimmed)
{
    IdentifyImage id;
    id.Model("  QUMA-K6410TN0200").Serial("SN0123456789ABCDEFGH").Firmware("ABC12345").Lba28(1000000);
    DiskInfo d;
    d.index = 9;
    d.device_name = "/dev/sdq";
    d.link_type = LINK_ATA_BY_SCSI;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.model, "QUMA-K6410TN0200");
    EXPECT_EQ(d.serial, "SN0123456789ABCDEFGH");
    EXPECT_EQ(d.firmware, "ABC12345");
    EXPECT_EQ(d.smart_ver, u32(VER_K6410));
    EXPECT_EQ(d.lba_count, 1000000u);
    // the record's own identity is the caller's
    EXPECT_EQ(d.index, 9u);
    EXPECT_EQ(d.device_name, "/dev/sdq");
    EXPECT_EQ(d.link_type, u32(LINK_ATA_BY_SCSI));
}

TEST(IdentifyFill, TextEndsAtFirstZeroByte)
{
    IdentifyImage id;
    id.Model(std::string("QUMA-K4410TR0050\0TAIL", 21)).Serial(std::string("S1\0S2", 5));
    DiskInfo d;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.model, "QUMA-K4410TR0050");
    EXPECT_EQ(d.serial, "S1");
    EXPECT_EQ(d.smart_ver, u32(VER_K4410));
    // an all-zero field gives an empty text
    EXPECT_EQ(d.firmware, "");
}

TEST(IdentifyFill, RefusesNullAndWrongLengthLeavingRecord)
{
    IdentifyImage id;
    id.Model("QUMA-G2T7").Lba28(123456);
    DiskInfo d;
    d.model = "old";
    d.lba_count = 77;
    d.capacity_gb = 5;
    d.smart_ver = VER_UNKNOWN;
    const DiskInfo before = d;
    EXPECT_FALSE(d.FillFromIdentify(nullptr, 512));
    EXPECT_FALSE(d.FillFromIdentify(id.b, 511));
    EXPECT_FALSE(d.FillFromIdentify(id.b, 0));
    std::vector<u8> big(1024, 0);
    memcpy(big.data(), id.b, 512);
    EXPECT_FALSE(d.FillFromIdentify(big.data(), 1024));
    EXPECT_TRUE(d == before);
}

// ----------------------------------------------------------- family by model

struct FamilyFillCase {
    std::string model;
    u32 smart_ver;
};

void PrintTo(const FamilyFillCase& c, std::ostream* os) { *os << (c.model.empty() ? "no model" : c.model); }

class FamilyFromIdentify : public ::testing::TestWithParam<FamilyFillCase> {};

TEST_P(FamilyFromIdentify, ByPrefixOfTrimmedModel)
{
    IdentifyImage id;
    id.Model(GetParam().model);
    DiskInfo d;
    d.smart_ver = 99;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.smart_ver, GetParam().smart_ver) << GetParam().model;
    DiskInfo direct;
    direct.SetSmartVer(GetParam().model);
    EXPECT_EQ(direct.smart_ver, GetParam().smart_ver) << GetParam().model;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FamilyFromIdentify,
    ::testing::Values(FamilyFillCase{"QUMA-P37RV-0032", VER_P37RV}, FamilyFillCase{"QUMA-W37RV-0256", VER_P37RV},
                      FamilyFillCase{"QUMA-K4410TR0050", VER_K4410}, FamilyFillCase{"QUMA-K4410TN0032", VER_K4410},
                      FamilyFillCase{"QUMA-K4410TN0200 EXTRA", VER_K4410}, FamilyFillCase{"QUMA-G2T7-0800", VER_G2T7},
                      FamilyFillCase{"QUMA-K6410TR0100", VER_K6410},
                      // 15 characters of a 16-character prefix
                      FamilyFillCase{"QUMA-K4410TR005", VER_UNKNOWN},
                      // a prefix inside, not at the start
                      FamilyFillCase{"X QUMA-K4410TR0050", VER_UNKNOWN},
                      FamilyFillCase{"quma-g2t7", VER_UNKNOWN}, FamilyFillCase{"", VER_UNKNOWN}),
    CaseName());

// ---------------------------------------------------- P37RV FPGA and HW texts

struct VersionCase {
    const char* model;
    u8 b258;
    u8 b259;
    u8 b260;
    const char* fpga;
    const char* hw;
};

void PrintTo(const VersionCase& c, std::ostream* os)
{
    *os << c.model << std::hex << " " << unsigned(c.b258) << " " << unsigned(c.b259) << " " << unsigned(c.b260);
}

class P37rvVersions : public ::testing::TestWithParam<VersionCase> {};

TEST_P(P37rvVersions, FromWords129And130)
{
    const VersionCase& c = GetParam();
    IdentifyImage id;
    id.Model(c.model);
    id.b[258] = c.b258;
    id.b[259] = c.b259;
    id.b[260] = c.b260;
    DiskInfo d;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.fpga_ver, c.fpga);
    EXPECT_EQ(d.hw_ver, c.hw);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, P37rvVersions,
    ::testing::Values(VersionCase{"QUMA-P37RV-0064", 0x03, 0x05, 0, "210.T03", "A"},
                      VersionCase{"QUMA-P37RV-0064", 0x03, 0x05, 1, "210.T03", "A"},
                      VersionCase{"QUMA-P37RV-0064", 0x03, 0x05, 2, "210.T03", "B"},
                      VersionCase{"QUMA-W37RV-0128", 0x03, 0x05, 7, "210.T03", "G"},
                      // only the low three bits of byte 260, the low nibble of byte 258
                      VersionCase{"QUMA-P37RV-0032", 0xF3, 0x05, 0xFB, "210.T03", "C"},
                      VersionCase{"QUMA-P37RV-0128", 0x00, 0x00, 0, "100.T00", "A"},
                      VersionCase{"QUMA-P37RV-0128", 0xFF, 0xFF, 6, "4030.T0F", "F"},
                      VersionCase{"QUMA-P37RV-0128", 0x0A, 0x2E, 3, "C20.T0A", "C"},
                      // other families keep the fresh record's empty texts
                      VersionCase{"QUMA-K4410TR0050", 0x03, 0x05, 7, "", ""},
                      VersionCase{"QUMA-G2T7", 0x03, 0x05, 2, "", ""},
                      VersionCase{"UNKNOWN MODEL", 0x03, 0x05, 2, "", ""}),
    CaseName());

TEST(P37rvVersionsKeep, OtherFamilyKeepsEarlierTexts)
{
    IdentifyImage id;
    id.Model("QUMA-K4410TR0100");
    id.b[258] = 0x03;
    id.b[259] = 0x05;
    id.b[260] = 2;
    DiskInfo d;
    d.fpga_ver = "old-fpga";
    d.hw_ver = "Z";
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.fpga_ver, "old-fpga");
    EXPECT_EQ(d.hw_ver, "Z");
    d.smart_ver = VER_P37RV;
    d.SetFpgaHwVersion(nullptr);
    EXPECT_EQ(d.fpga_ver, "old-fpga");
    d.SetFpgaHwVersion(id.b);
    EXPECT_EQ(d.fpga_ver, "210.T03");
    EXPECT_EQ(d.hw_ver, "B");
}

// ----------------------------------------------------------- INQUIRY filling

TEST(InquiryFill, FieldsUnswappedAndTrimmed)
{
    std::vector<u8> a = InquiryAnswer("QUMA", "QUMA-K6410TN0200", "B2A1", " 0123456789ABCDEFGHI");
    DiskInfo d;
    d.lba_count = 1234;
    d.capacity_gb = 7;
    d.fpga_ver = "f";
    d.hw_ver = "h";
    ASSERT_TRUE(d.FillFromInquiry(a.data(), u32(a.size())));
    EXPECT_EQ(d.model, "QUMA-K6410TN0200");
    EXPECT_EQ(d.firmware, "B2A1");
    EXPECT_EQ(d.serial, "0123456789ABCDEFGHI");
    EXPECT_EQ(d.smart_ver, u32(VER_K6410));
    // size and version texts are not INQUIRY's to set
    EXPECT_EQ(d.lba_count, 1234u);
    EXPECT_EQ(d.capacity_gb, 7u);
    EXPECT_EQ(d.fpga_ver, "f");
    EXPECT_EQ(d.hw_ver, "h");

    std::vector<u8> b = InquiryAnswer("ATA", "QUMA-K4410TR", "1.0", "SER");
    ASSERT_TRUE(d.FillFromInquiry(b.data(), u32(b.size())));
    EXPECT_EQ(d.model, "QUMA-K4410TR");
    EXPECT_EQ(d.firmware, "1.0");
    EXPECT_EQ(d.serial, "SER");
    EXPECT_EQ(d.smart_ver, u32(VER_UNKNOWN));
}

struct ShortInquiryCase {
    u32 len;
    const char* model;
    const char* firmware;
    const char* serial;
};

void PrintTo(const ShortInquiryCase& c, std::ostream* os) { *os << c.len << " bytes"; }

class ShortInquiry : public ::testing::TestWithParam<ShortInquiryCase> {};

TEST_P(ShortInquiry, ReadsOnlyTheAnswer)
{
    const ShortInquiryCase& c = GetParam();
    std::vector<u8> full = InquiryAnswer("QUMA", "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XYZ");
    // exactly the answer's bytes on the heap, so a read past them is caught by the sanitizer
    std::vector<u8> answer(full.begin(), full.begin() + c.len);
    DiskInfo d;
    d.model = "old model";
    d.firmware = "old fw";
    d.serial = "old serial";
    ASSERT_TRUE(d.FillFromInquiry(answer.data(), c.len));
    EXPECT_EQ(d.model, c.model);
    EXPECT_EQ(d.firmware, c.firmware);
    EXPECT_EQ(d.serial, c.serial);
    EXPECT_EQ(d.smart_ver, FamilyOfModel(c.model));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortInquiry,
    ::testing::Values(ShortInquiryCase{1, "", "", ""}, ShortInquiryCase{16, "", "", ""},
                      ShortInquiryCase{17, "Q", "", ""}, ShortInquiryCase{31, "QUMA-K4410TR005", "", ""},
                      ShortInquiryCase{32, "QUMA-K4410TR0050", "", ""},
                      ShortInquiryCase{34, "QUMA-K4410TR0050", "R1", ""},
                      ShortInquiryCase{36, "QUMA-K4410TR0050", "R123", ""},
                      ShortInquiryCase{40, "QUMA-K4410TR0050", "R123", "SERI"},
                      ShortInquiryCase{55, "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XY"},
                      ShortInquiryCase{56, "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XYZ"},
                      ShortInquiryCase{96, "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XYZ"}),
    CaseName());

TEST(InquiryFill, RefusesNullAndEmptyLeavingRecord)
{
    std::vector<u8> a = InquiryAnswer("QUMA", "QUMA-G2T7", "1", "2");
    DiskInfo d;
    d.model = "keep";
    d.smart_ver = VER_K4410;
    const DiskInfo before = d;
    EXPECT_FALSE(d.FillFromInquiry(nullptr, 96));
    EXPECT_FALSE(d.FillFromInquiry(a.data(), 0));
    EXPECT_TRUE(d == before);
}

} // namespace
