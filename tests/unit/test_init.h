// Start-up registries that most unit tests need, built once per test process, the guard of
// the process-wide settings, and the standard input that the interactive readers take their
// lines from.
#ifndef ZV_TEST_INIT_H
#define ZV_TEST_INIT_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "disk_cmnd.h"
#include "disk_discovery.h"
#include "disk_info.h"
#include "front_state.h"
#include "msg_processor.h"
#include "scsi_cmnd_exec.h"
#include "settings.h"

inline void EnsureErrTable()
{
    static bool done = false;
    if (!done) {
        MsgProcessor::Init();
        done = true;
    }
}

inline void EnsureCmndRegistry()
{
    static bool done = false;
    if (!done) {
        DiskCmnd::Init();
        done = true;
    }
}

// The process-wide settings that tests change, saved when the guard is made and put back
// when it goes. A fixture holds one as a member: it is made before SetUp and goes after
// TearDown, so every test starts from, and leaves behind, what the one before found.
class SettingsGuard {
public:
    SettingsGuard()
        : output_flags_(output_flags),
          raid_kind_(raid_kind),
          raid_target_id_(raid_target_id),
          flash_log_part_(flash_log_part),
          fw_download_retry_(fw_download_retry),
          disk_geometry_(disk_geometry),
          disk_structure_(disk_structure),
          disk_status_(disk_status),
          disk_model_code_(disk_model_code),
          disk_variant_flag_(disk_variant_flag),
          vendor_table_base_(vendor_table_base),
          nvram_read_base_(nvram_read_base),
          cur_disk_(cur_disk),
          cur_menu_(cur_menu),
          dev_name_(dev_name)
    {
    }
    ~SettingsGuard()
    {
        output_flags = output_flags_;
        raid_kind = raid_kind_;
        raid_target_id = raid_target_id_;
        flash_log_part = flash_log_part_;
        fw_download_retry = fw_download_retry_;
        disk_geometry = disk_geometry_;
        disk_structure = disk_structure_;
        disk_status = disk_status_;
        disk_model_code = disk_model_code_;
        disk_variant_flag = disk_variant_flag_;
        vendor_table_base = vendor_table_base_;
        nvram_read_base = nvram_read_base_;
        cur_disk = cur_disk_;
        cur_menu = cur_menu_;
        dev_name = dev_name_;
    }
    SettingsGuard(const SettingsGuard&) = delete;
    SettingsGuard& operator=(const SettingsGuard&) = delete;

private:
    const OutputFlags output_flags_;
    const u32 raid_kind_;
    const u32 raid_target_id_;
    const u32 flash_log_part_;
    const bool fw_download_retry_;
    const DiskGeometry disk_geometry_;
    const DiskStructure disk_structure_;
    const DiskStatus disk_status_;
    const u32 disk_model_code_;
    const u32 disk_variant_flag_;
    const u32 vendor_table_base_;
    const u32 nvram_read_base_;
    const DiskInfo cur_disk_;
    const MenuItem* const cur_menu_;
    char* const dev_name_;
};

// Standard input of this process becomes a file holding the given text.
inline void FeedStdin(const std::string& text)
{
    char path[] = "/tmp/zv_stdin_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    ASSERT_NE(freopen(path, "r", stdin), nullptr);
    unlink(path);
}

#endif
