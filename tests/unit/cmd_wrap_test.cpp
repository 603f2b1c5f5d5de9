#include <gtest/gtest.h>

#include "case_names.h"

#include "cmd_wrap.h"

namespace {

struct ShapeCase {
    const char* arg;
    bool ok;
};

class FirstArgShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(FirstArgShape, Rule) { EXPECT_EQ(IsFirstArgShapeValid(GetParam().arg), GetParam().ok) << GetParam().arg; }

INSTANTIATE_TEST_SUITE_P(Shapes, FirstArgShape,
                         ::testing::Values(ShapeCase{"-h", true}, ShapeCase{"--", true}, ShapeCase{"--help", true},
                                           ShapeCase{"--ab", true}, ShapeCase{"--a", false},
                                           ShapeCase{"-abc", false}, ShapeCase{"-", false},
                                           ShapeCase{"h", false}, ShapeCase{"ab", false}, ShapeCase{"", false},
                                           ShapeCase{"/dev/sda", false}), CaseIndexName());

TEST(DataBuf, AllocatesClearedAndFrees)
{
    allocDataBuf(1024);
    ASSERT_NE(data_buf, nullptr);
    EXPECT_EQ(data_len, 1024u);
    for (u32 i = 0; i < data_len; i++) {
        ASSERT_EQ(data_buf[i], 0) << i;
        data_buf[i] = 0xAA;
    }
    allocDataBuf(16);
    ASSERT_NE(data_buf, nullptr);
    EXPECT_EQ(data_len, 16u);
    EXPECT_EQ(data_buf[15], 0);
    allocDataBuf(0);
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(data_len, 0u);
    allocDataBuf(8);
    freeDataBuf();
    EXPECT_EQ(data_buf, nullptr);
    EXPECT_EQ(data_len, 0u);
    freeDataBuf();
}

TEST(DiskQueryLen, Is512) { EXPECT_EQ(getDiskQueryLen(), 512u); }

} // namespace
