#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <string>
#include <vector>

#include "disk_info.h"

namespace {

struct CapacityCase {
    u32 last_lba;
    u64 lba_count;
    u32 capacity_gb;
};

class Capacity : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(Capacity, FromReadCapacity10)
{
    const CapacityCase& c = GetParam();
    u8 data[8] = {u8(c.last_lba >> 24), u8(c.last_lba >> 16), u8(c.last_lba >> 8), u8(c.last_lba), 0, 0, 2, 0};
    DiskInfo d;
    ASSERT_TRUE(CalcCapacityGB(&d, data, sizeof(data)));
    EXPECT_EQ(d.lba_count, c.lba_count);
    EXPECT_EQ(d.capacity_gb, c.capacity_gb);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Capacity,
    ::testing::Values(CapacityCase{0x1FF, 512, 0}, CapacityCase{0xFFFF, 65536, 0},
                      CapacityCase{97696367, 97696368, 50}, CapacityCase{97696366, 97696367, 49},
                      // one block (a failed READ CAPACITY) must not wrap to 2562473157 GB
                      CapacityCase{0, 1, 0}, CapacityCase{21167, 21168, 0},
                      CapacityCase{0xFFFFFFFF, 0x100000000ull, 2198}), CaseIndexName());

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
                      FamilyCase{"", VER_UNKNOWN}, FamilyCase{"QUMA-K4410TX0050", VER_UNKNOWN}), CaseIndexName());

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

} // namespace
