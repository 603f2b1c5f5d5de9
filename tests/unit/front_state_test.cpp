#include <gtest/gtest.h>

#include "front_state.h"

namespace {

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
