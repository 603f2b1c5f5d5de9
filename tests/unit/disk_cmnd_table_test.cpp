// The catalogue, row by row, against an independent transcription of the command type tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "case_names.h"
#include "disk_cmnd.h"
#include "disk_cmnd_expected.h"
#include "test_init.h"

// Case descriptions by type, not by the bytes of the row.
void PrintTo(const ExpectedCmndRow& row, std::ostream* os) { *os << CmndTypeText(row.type); }

namespace {

TEST(CmndCatalogue, HasOneRowPerType)
{
    EnsureCmndRegistry();
    EXPECT_EQ(static_cast<int>(TYPE_BUTT), 142);
    ASSERT_EQ(sizeof(expected_cmnd_rows) / sizeof(expected_cmnd_rows[0]), static_cast<size_t>(TYPE_BUTT));
    EXPECT_EQ(sizeof(disk_spt_list) / sizeof(disk_spt_list[0]), static_cast<size_t>(TYPE_BUTT));
    EXPECT_EQ(sizeof(cmnd_template_list) / sizeof(cmnd_template_list[0]), static_cast<size_t>(TYPE_BUTT));
    ASSERT_EQ(map_list.size(), static_cast<size_t>(TYPE_BUTT));
    int next = 0;
    for (const auto& entry : map_list) {
        EXPECT_EQ(entry.first, next++);
    }
}

class CmndRow : public ::testing::TestWithParam<ExpectedCmndRow> {
protected:
    void SetUp() override { EnsureCmndRegistry(); }
};

TEST_P(CmndRow, ConstantNameAndMasks)
{
    const ExpectedCmndRow& row = GetParam();
    EXPECT_EQ(row.constant, row.type);
    const DiskSptItem& item = disk_spt_list[row.type];
    EXPECT_EQ(item.type, static_cast<u32>(row.type));
    // Byte for byte, so stored trailing blanks count.
    EXPECT_EQ(std::string(item.name), std::string(row.name)) << "type " << row.type;
    for (int m = 0; m < 4; m++) {
        EXPECT_EQ(item.family_mask[m], row.masks[m]) << "type " << row.type << " mask " << m;
    }
}

TEST_P(CmndRow, Template)
{
    const ExpectedCmndRow& row = GetParam();
    const CmndTemplate& tpl = cmnd_template_list[row.type];
    EXPECT_EQ(std::vector<u8>(tpl.regs, tpl.regs + 16), std::vector<u8>(row.regs, row.regs + 16))
        << "type " << row.type;
    EXPECT_EQ(tpl.ext48, row.ext48) << "type " << row.type;
    EXPECT_EQ(tpl.dir, row.dir) << "type " << row.type;
    EXPECT_EQ(tpl.xfer, row.xfer) << "type " << row.type;
}

TEST_P(CmndRow, RegisteredFunctions)
{
    const ExpectedCmndRow& row = GetParam();
    auto it = map_list.find(row.type);
    ASSERT_NE(it, map_list.end());
    EXPECT_EQ(it->second.fun_len, row.fun_len) << "type " << row.type;
    EXPECT_EQ(it->second.fun_len_param, row.fun_len_param) << "type " << row.type;
    EXPECT_EQ(it->second.fun, row.fun) << "type " << row.type;
}

TEST_P(CmndRow, DataLength)
{
    const ExpectedCmndRow& row = GetParam();
    u32 len = 0xDEADBEEF;
    int user_err = -1;
    int sys_err = -1;
    if (row.fun_len != nullptr) {
        // No drive record at all: the fixed path must not reach for one.
        EXPECT_TRUE(DiskCmnd::GetDataLen(row.type, nullptr, &len, &user_err, &sys_err));
        EXPECT_EQ(len, row.fixed_len) << "type " << row.type;
        EXPECT_EQ(user_err, 0);
        EXPECT_EQ(sys_err, 0);
    } else if (row.fun_len_param != nullptr) {
        // The same answer as asking the query directly with a zeroed 512-byte scratch.
        DiskInfo disk;
        disk.device_name = "/dev/sdq";
        disk.link_type = row.type < 60 ? LINK_ATA_BY_SCSI : LINK_SCSI;
        u8 scratch[512] = {};
        int direct_user_err = -1;
        int direct_sys_err = -1;
        bool direct = row.fun_len_param(row.type + CMND_LEN_QUERY, &disk, scratch, sizeof(scratch), &direct_user_err,
                                        &direct_sys_err);
        u32 direct_len = 0;
        memcpy(&direct_len, scratch, sizeof(direct_len));
        EXPECT_EQ(DiskCmnd::GetDataLen(row.type, &disk, &len, &user_err, &sys_err), direct) << "type " << row.type;
        EXPECT_EQ(len, direct_len) << "type " << row.type;
        EXPECT_EQ(user_err, direct_user_err) << "type " << row.type;
    } else {
        EXPECT_FALSE(DiskCmnd::GetDataLen(row.type, nullptr, &len, &user_err, &sys_err));
        EXPECT_EQ(user_err, 6) << "type " << row.type;
        EXPECT_EQ(sys_err, -1);
        EXPECT_EQ(len, 0xDEADBEEF);
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, CmndRow, ::testing::ValuesIn(expected_cmnd_rows), CaseName());

TEST(CmndFixedLen, EveryLengthFunction)
{
    ASSERT_EQ(sizeof(expected_fixed_lens) / sizeof(expected_fixed_lens[0]), 31u);
    for (const ExpectedFixedLen& f : expected_fixed_lens) {
        EXPECT_EQ(f.fun(), f.len) << f.fun_name;
    }
}

} // namespace
