// Every unit test process runs in a scratch working directory of its own, so what the code
// under test writes relative to the working directory (its command log above all) never lands
// where the tests were started, and is gone when the process ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// A death test's child (re-run of this binary) finds the parent's directory in the
// environment and works there too; only the parent makes and removes it.
const char kWorkDirVar[] = "ZV_UNIT_WORK_DIR";

class ScratchWorkDir : public ::testing::Environment {
public:
    void SetUp() override
    {
        const char* inherited = getenv(kWorkDirVar);
        if (inherited != nullptr && chdir(inherited) == 0) {
            return;
        }
        char tmpl[] = "/tmp/zv_unit_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        ASSERT_EQ(chdir(tmpl), 0);
        dir_ = tmpl;
        setenv(kWorkDirVar, tmpl, 1);
    }
    void TearDown() override
    {
        if (dir_.empty() || chdir("/") != 0) {
            return;
        }
        const std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

private:
    std::string dir_;
};

::testing::Environment* const scratch_work_dir = ::testing::AddGlobalTestEnvironment(new ScratchWorkDir);

} // namespace
