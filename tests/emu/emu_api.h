// In-process control of the drive emulator, for tests linked with it (zvemu_static).
// Unconfigured, the emulator only refuses every drive node; these calls give it drives
// and read back what they were sent. A process that was given ZV_EMU_CONFIG starts with
// those drives; Reset forgets them.
#ifndef ZV_EMU_API_H
#define ZV_EMU_API_H

#include <string>
#include <vector>

#include "emu_trace.h"

namespace zvemu {

// Forgets every drive, answer and trace entry. Open emulated descriptors stay open
// (their requests then fail with ENODEV) so that a test's own closes still work.
void Reset();

// Adds the drives of a fixture file (format in tests/emu/README.md). On an error nothing
// of the file is kept and the message (file:line: what) goes to *error.
bool LoadFixture(const std::string& path, std::string* error = nullptr);

// The same for fixture text; relative "file" and "include" paths start at base_dir.
bool LoadFixtureText(const std::string& text, const std::string& base_dir = ".", std::string* error = nullptr);

// Every event since the last Reset or ClearTrace, in order.
std::vector<TraceEntry> Trace();
// Only the SG_IO requests, optionally of one node.
std::vector<TraceEntry> Requests(const std::string& node = "");
void ClearTrace();

// Emulated descriptors currently open (a check that every open was closed).
int OpenDescriptors();

} // namespace zvemu

#endif
