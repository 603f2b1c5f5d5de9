// The list of what changes a drive, held against the catalogue: each row names the type whose
// display name it expects, every type that sends data to the drive is in it, and the reads
// are not.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"

#include "disk_cmnd.h"
#include "drive_changes.h"

namespace {

struct ChangeRow {
    u32 type;
    const char* name;  // the type's display name in the catalogue
};

const ChangeRow change_rows[] = {
    {2, "SMART ENABLE"},
    {3, "SMART DISABLE"},
    {37, "[92h] Download Microcode"},
    {39, "[8Bh] Write Register"},
    {40, "[8Dh] Flush Table & Data"},
    {43, "[8Ch] Write Current Time"},
    {44, "[8Ch] Write Wear Level Table"},
    {49, "Set Max Address"},
    {50, "Set Max Address Ext"},
    {52, "[8Bh] Dynamic Optmize"},
    {53, "[8Bh] Read Table Switch"},
    {54, "[8Bh] 64CE On/Off Switch"},
    {57, "Set Format Unit"},
    {58, "Set Trim Flag"},
    {67, "[3Bh] Download Microcode"},
    {88, "[4Dh] Set Power-Off Protect"},
    {89, "[A4h] Set Time Stamp"},
    {91, "[04h] Set Format Unit"},
    {92, "[C1h] Write Wear Level Table"},
    {107, "[4Ch] EraseNVSRAM LOG"},
    {108, "[4Ch] EraseFlash LOG"},
    {124, "[3Bh] Download R5 Loader"},
    {125, "[C1h] Clean SMART"},
    {128, "[C0h] Set Disk WWN"},
    {129, "[C0h] Set Disk SN"},
    {131, "[C0h] Set Disk Model"},
    {132, "[C1h] Start Capacitance Status"},
    {137, "[C1h] Set Disk Flag"},
};

static_assert(sizeof(change_rows) / sizeof(change_rows[0]) == kDriveChangeRows, "one expected row per list row");

void PrintTo(const ChangeRow& row, std::ostream* os) { *os << CmndTypeText(static_cast<int>(row.type)); }

const DriveChangeRow* ListRowOf(u32 type)
{
    for (const DriveChangeRow& row : drive_change_list) {
        if (row.type == type) {
            return &row;
        }
    }
    return nullptr;
}

class DriveChangeList : public ::testing::TestWithParam<ChangeRow> {};

TEST_P(DriveChangeList, RowNamesItsCatalogueType)
{
    const ChangeRow& want = GetParam();
    ASSERT_LT(want.type, static_cast<u32>(TYPE_BUTT));
    EXPECT_EQ(std::string(disk_spt_list[want.type].name), want.name);
    EXPECT_TRUE(ChangesDrive(want.type));
    const DriveChangeRow* row = ListRowOf(want.type);
    ASSERT_NE(row, nullptr);
    ASSERT_NE(row->change, nullptr);
    EXPECT_NE(std::string(row->change), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, DriveChangeList, ::testing::ValuesIn(change_rows), CaseName());

// The list holds these types and no other, one row each, in type order.
TEST(DriveChanges, ListIsTheExpectedTypesInOrder)
{
    std::vector<u32> listed;
    for (const DriveChangeRow& row : drive_change_list) {
        listed.push_back(row.type);
    }
    std::vector<u32> expected;
    for (const ChangeRow& row : change_rows) {
        expected.push_back(row.type);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
    EXPECT_EQ(std::adjacent_find(listed.begin(), listed.end()), listed.end()) << "one row per type";
}

// Whatever the catalogue sends to a drive changes it.
TEST(DriveChanges, EveryDataOutTypeIsListed)
{
    for (u32 type = 0; type < TYPE_BUTT; type++) {
        if (cmnd_template_list[type].dir == CMND_DIR_OUT) {
            EXPECT_TRUE(ChangesDrive(type)) << type << " " << disk_spt_list[type].name;
        }
    }
}

// Reads of every kind, also those without data and those whose name sounds like a setting.
TEST(DriveChanges, ReadsAreNotListed)
{
    for (u32 type : {0u, 1u, 4u, 21u, 38u, 47u, 48u, 51u, 55u, 56u, 60u, 66u, 84u, 126u, 127u, 130u, 136u, 138u,
                     141u, static_cast<u32>(TYPE_BUTT)}) {
        EXPECT_FALSE(ChangesDrive(type)) << type;
    }
}

} // namespace
