#include "scsi_passthrough.h"

#include "workflow_common.h"

void scsiPassThroughHex() { reportWorkflowUnsupported(); }
void scsiPassThrough() { reportWorkflowUnsupported(); }
