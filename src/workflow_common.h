// Small helpers shared by the front end's workflows.
#ifndef ZV_WORKFLOW_COMMON_H
#define ZV_WORKFLOW_COMMON_H

// Prints the "Function is unsupported" text with the front end's indent.
void reportWorkflowUnsupported();

#endif
