#include "format_unit.h"

#include "workflow_common.h"

void formatUnit(const char*) { reportWorkflowUnsupported(); }
