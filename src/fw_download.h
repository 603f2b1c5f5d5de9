// Firmware and loader download, and the RAID-controller firmware path.
#ifndef ZV_FW_DOWNLOAD_H
#define ZV_FW_DOWNLOAD_H

#include <string>
#include <vector>

#include "common.h"

// A controller firmware image holds fewer bytes than this.
const u32 kFwImageMaxLen = 300 * 1024;
// The rewritten second part: a header block of this size, then the part, zero-filled to a
// multiple of kFwFrameAlign, then a copy of the header (sizeof(FwImageHeader) bytes).
const u32 kFwHeaderBlock = 512;
const u32 kFwFrameAlign = 32768;

// Firmware download (-u FILE, menu row): type 37, judged by type 51 and retried once in the
// alternative layout on K4410 drives. Loader download (-u loader FILE): type 124.
// Both ask for the file when fw_file_name is none, and clear it when they end.
void downloadMicrocode();
void downloadLoader();

// The file choice of the download workflows: fw_file_name when set, else one console line
// after the prompt. False when the operator gives none (end of input or an empty line).
bool chooseDownloadFile(const char* prompt);
// Reads the whole file into data_buf, with the workflows' messages for a file that cannot be
// used; whole_sectors refuses a length that is 0 or not a multiple of 512.
bool loadDownloadFile(const char* file, bool whole_sectors);

// Writes to dst the image src rewritten for the controller's utility: flag 0 keeps the first
// firmware part, flag 1 puts the second part in a new frame. Refuses images whose length or
// header words do not fit the file; dst is then not written.
bool makeNewFwFile(char* src, char* dst, u32 flag);

// The RAID-controller paths: argv is the whole null-terminated argument vector. True when
// the vendor's utility was run.
bool raidFwUpgrade(char** argv, u32 flag);
bool Raid_UpFirware(char** argv);

// The word as the shell must see it to pass it on unchanged: as typed when it holds only
// characters the shell leaves alone, else in single quotes.
std::string shellWord(const std::string& word);

// The utility's command text: the first argument beginning with "MegaCli" and every argument
// after it, each followed by one blank. False when no argument names the utility.
bool buildUtilityCommand(const std::vector<std::string>& args, std::string* cmd);

// Removes an "upgrade_out" that a killed run left: one whose second name no running run holds.
void removeDeadCapture();

#endif
