// Small helpers shared by the front end's workflows.
#ifndef ZV_WORKFLOW_COMMON_H
#define ZV_WORKFLOW_COMMON_H

// Prints the "Function is unsupported" text with the front end's indent.
void reportWorkflowUnsupported();

// When no device is set, lists the drives and lets the operator choose one into cur_disk,
// which then becomes dev_name; quitting the choice ends the process.
void chooseDriveWhenNoDevice();

#endif
