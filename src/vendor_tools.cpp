#include "vendor_tools.h"

#include "workflow_common.h"

void getSetMaxAddress() { reportWorkflowUnsupported(); }
void calcMagnifyCoefficient() { reportWorkflowUnsupported(); }
void tuneEyeChart() { reportWorkflowUnsupported(); }
void switch64Ce() { reportWorkflowUnsupported(); }
void switchReadTable() { reportWorkflowUnsupported(); }
void dynamicOptimize() { reportWorkflowUnsupported(); }
void downloadWearLevelTable() { reportWorkflowUnsupported(); }
