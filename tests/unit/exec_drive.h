// The drive the executor tests run against: one emulated node and its drive record, the
// error codes an executor leaves, and the requests read back from the emulator's trace.
// The process-wide settings come back as they were after each test.
#ifndef ZV_EXEC_DRIVE_H
#define ZV_EXEC_DRIVE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk_cmnd.h"
#include "disk_info.h"
#include "emu_api.h"
#include "msg_processor.h"
#include "settings.h"
#include "test_init.h"

namespace execdrive {

const char* const kNode = "/dev/sdt";
// What sys_err holds before each call, so that a path that leaves it is seen to.
const int kSysBefore = 0x1234;

class ExecDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureErrTable();
        EnsureCmndRegistry();
        // The requests are read from the emulator's trace; the log has tests of its own.
        output_flags.save_log = 0;
        raid_kind = RAID_BUTT;
        zvemu::Reset();
        disk_.device_name = kNode;
        disk_.link_type = LINK_SCSI;
    }

    void TearDown() override
    {
        EXPECT_EQ(zvemu::OpenDescriptors(), 0) << "every open node is closed again";
        zvemu::Reset();
    }

    // A drive of the emulator's kind ("sas", "sat", "apt") with the given answer lines.
    void Drive(const std::string& kind, const std::string& answers)
    {
        std::string error;
        ASSERT_TRUE(zvemu::LoadFixtureText(std::string("drive ") + kNode + " " + kind + "\n" + answers, ".", &error))
            << error;
    }

    bool Run(CmndExecFun exec, int type, u8* buf, u32 len)
    {
        user_err_ = USER_ERR_NO_ERROR;
        sys_err_ = kSysBefore;
        return exec(type, &disk_, buf, len, &user_err_, &sys_err_);
    }

    static std::vector<zvemu::TraceEntry> Requests() { return zvemu::Requests(kNode); }

    // The trace holds no event at all: the node was not even opened.
    static void ExpectUntouched()
    {
        std::vector<zvemu::TraceEntry> trace = zvemu::Trace();
        EXPECT_TRUE(trace.empty()) << (trace.empty() ? "" : zvemu::FormatTraceLine(trace[0]));
    }

    DiskInfo disk_;
    int user_err_ = USER_ERR_NO_ERROR;
    int sys_err_ = kSysBefore;

private:
    SettingsGuard settings_;
};

} // namespace execdrive

#endif
