#include "fw_download.h"

#include "workflow_common.h"

void downloadMicrocode() { reportWorkflowUnsupported(); }
void downloadLoader() { reportWorkflowUnsupported(); }
bool makeNewFwFile(char*, char*, u32) { return false; }
bool raidFwUpgrade(char**, u32)
{
    reportWorkflowUnsupported();
    return false;
}
bool Raid_UpFirware(char**)
{
    reportWorkflowUnsupported();
    return false;
}
