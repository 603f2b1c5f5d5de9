// Runs the real binary, with the drive emulator preloaded, in a fresh working directory.
#ifndef ZV_E2E_UTIL_H
#define ZV_E2E_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "emu/emu_trace.h"

// The path of a file under tests/data, and its bytes (a file that cannot be read fails the test).
std::string TestData(const std::string& rel);
std::string TestDataFile(const std::string& rel);
// A hex fixture under tests/data as one emulator "data" line (its comments dropped).
std::string DataLine(const std::string& rel);

// The names in a directory, without "." and "..", sorted; none when it cannot be read.
std::vector<std::string> DirEntries(const std::string& dir);

// The fault-injection library of tests/fault, configured by ZV_FAULT in E2eTest::env_.
inline std::string FaultLib() { return ZV_FAULT_LIB; }

// LOG SENSE(10) with page control and page code in byte 2 and the allocation length.
zvemu::Bytes LogSense(std::uint8_t byte2, unsigned alloc);

struct RunResult {
    int status = -1;        // exit status, or -1 when killed by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs zembrovant with args (program name excluded) and the given standard input.
    RunResult Run(const std::vector<std::string>& args, const std::string& input = "");

    std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }
    bool Exists(const std::string& rel) const;
    bool IsDir(const std::string& rel) const;
    std::string ReadFile(const std::string& rel) const;
    void WriteFile(const std::string& rel, const std::string& data) const;
    // Names in the working directory that begin with prefix.
    std::vector<std::string> FilesStartingWith(const std::string& prefix) const;
    // The CDBs that reached node through SG_IO, from the emulator's trace in "trace.txt",
    // without the first skip of them (the drive's classification).
    std::vector<zvemu::Bytes> SentCdbs(const std::string& node, size_t skip = 2) const;
    // The emulated drives: the test data's fixtures, in order, then override_text (when not
    // empty) as "override.txt" in the working directory.
    void UseDrives(const std::vector<std::string>& fixtures, const std::string& override_text = "");

    // Extra environment for the emulator (configuration, trace file).
    std::map<std::string, std::string> env_;
    // When not 0, a run still going after this many seconds is ended by SIGALRM (RunResult::signal),
    // so a run that would hang fails its test instead of stalling the suite; whatever it started
    // (a shell, a utility) is killed with it a moment later.
    unsigned time_limit_ = 0;
    // When set, the run's standard input is a pseudo-terminal (canonical mode, no echo) that the
    // input is typed into, followed by the end-of-file character.
    bool on_terminal_ = false;
    // Libraries preloaded after the emulator (FaultLib()).
    std::vector<std::string> preload_;
    // When set, the run's RLIMIT_FSIZE in bytes; SIGXFSZ is ignored, so a write past it fails with EFBIG.
    long long file_size_limit_ = -1;
    std::string dir_;
};

#endif
