// Firmware and loader download, and the RAID-controller firmware path.
#ifndef ZV_FW_DOWNLOAD_H
#define ZV_FW_DOWNLOAD_H

#include "common.h"

void downloadMicrocode();
void downloadLoader();
bool makeNewFwFile(char* src, char* dst, u32 flag);
bool raidFwUpgrade(char** argv, u32 flag);
bool Raid_UpFirware(char** argv);

#endif
