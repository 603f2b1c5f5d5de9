#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "front_state.h"
#include "test_init.h"

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

// ------------------------------------------------------------- status record

TEST(DiskStatusRecord, SeventeenBytesAsTheDriveSendsThem)
{
    EXPECT_EQ(offsetof(DiskStatus, disk_check), 10u);
    EXPECT_EQ(offsetof(DiskStatus, disk_check_frequency), 11u);
    EXPECT_EQ(offsetof(DiskStatus, cap_check_frequency), 13u);
    EXPECT_EQ(offsetof(DiskStatus, gpio_flag), 15u);
    EXPECT_EQ(offsetof(DiskStatus, flag_8gb), 16u);
    u8 answer[512];
    for (u32 i = 0; i < sizeof(answer); i++) {
        answer[i] = u8(i + 1);
    }
    SettingsGuard guard;
    memcpy(&disk_status, answer, sizeof(DiskStatus));
    EXPECT_EQ(disk_status.ce64, 1);
    EXPECT_EQ(disk_status.trim_return_value, 10);
    EXPECT_EQ(disk_status.disk_check, 11);
    EXPECT_EQ(disk_status.disk_check_frequency, 0x0D0C);
    EXPECT_EQ(disk_status.cap_check_frequency, 0x0F0E);
    EXPECT_EQ(disk_status.gpio_flag, 16);
    EXPECT_EQ(disk_status.flag_8gb, 17);
}

} // namespace
