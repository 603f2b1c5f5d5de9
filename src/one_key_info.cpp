#include "one_key_info.h"

#include "workflow_common.h"

void collectOneKeyInfo() { reportWorkflowUnsupported(); }
void parseOneKeyInfoFile() { reportWorkflowUnsupported(); }
void parseOneKeyInfoFileEx() { reportWorkflowUnsupported(); }
