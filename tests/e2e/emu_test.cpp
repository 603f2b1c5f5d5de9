// The preloaded emulator: what it refuses, its configuration through the environment,
// and the trace file it writes.
#include "e2e_util.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

#include "emu/emu_trace.h"

namespace {

class Emulator : public E2eTest {
protected:
    // Runs a shell script with the emulator preloaded and the given configuration;
    // standard error is merged into the returned output.
    std::string Shell(const std::string& script, const std::string& config, int* status)
    {
        std::string cmd = "cd '" + dir_ + "' && env LD_PRELOAD='" + ZV_EMU_LIB + "' ZV_EMU_TRACE='" +
                          Path("trace.txt") + "' ZV_EMU_CONFIG='" + config +
                          "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 /bin/sh -c '" + script +
                          "' 2>&1";
        std::string out;
        FILE* p = popen(cmd.c_str(), "r");
        if (p == nullptr) {
            ADD_FAILURE() << "popen failed";
            return out;
        }
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), p)) > 0) {
            out.append(buf, n);
        }
        int st = pclose(p);
        *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        return out;
    }

    static std::string Demo(const char* name) { return std::string(ZV_TEST_DATA_DIR) + "/demo/" + name; }
};

TEST_F(Emulator, UnconfiguredSdNodeIsRefusedWithEnoent)
{
    int status = -1;
    // /dev/sda is configured, /dev/sdq is not (whether or not the machine has such a disk).
    std::string out = Shell("( exec 3<>/dev/sda ) && echo configured; ( exec 4</dev/sdq ) || echo refused",
                            Demo("sata_k4410.txt"), &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("configured\n"), std::string::npos) << out;
    EXPECT_NE(out.find("No such file"), std::string::npos) << out;
    EXPECT_NE(out.find("refused\n"), std::string::npos) << out;

    std::vector<zvemu::TraceEntry> opens = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "open");
    ASSERT_EQ(opens.size(), 2u) << ReadFile("trace.txt");
    EXPECT_EQ(opens[0].node, "/dev/sda");
    EXPECT_EQ(opens[0].err, 0);
    EXPECT_EQ(opens[1].node, "/dev/sdq");
    EXPECT_EQ(opens[1].err, ENOENT);
}

TEST_F(Emulator, BrokenFixtureStopsTheBinaryAtLoad)
{
    WriteFile("bad.txt", "drive /dev/sda sat\nanswer ata EC\n  bogus 1\n");
    env_["ZV_EMU_CONFIG"] = Path("bad.txt");
    RunResult r = Run({"-b", "out.bin", "/dev/sda"});
    EXPECT_EQ(r.status, 125);
    EXPECT_EQ(r.err, "zvemu: bad.txt:3: unknown directive: bogus\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(Exists("SSDlog"));   // stopped before the program did anything
}

TEST_F(Emulator, DemoDrivesLoadInTheBinary)
{
    RunResult plain = Run({"-b", "out.bin", "/dev/sdq"});
    env_["ZV_EMU_CONFIG"] = Demo("sata_k4410.txt") + ":" + Demo("sas_k6470.txt");
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    RunResult r = Run({"-b", "out.bin", "/dev/sdq"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, plain.status);
    EXPECT_EQ(r.out, plain.out);
}

} // namespace
