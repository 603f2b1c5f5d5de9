// Small helpers shared by the front end's entry and workflows.
#ifndef ZV_WORKFLOW_COMMON_H
#define ZV_WORKFLOW_COMMON_H

// True when s begins with prefix.
bool StartsWith(const char* s, const char* prefix);

// A system error code as the "%08lXh" of the failure lines shows it: its 32 bits.
unsigned long SysErrHex(int sys_err);

// "<what>, User Err Code [..], System Err Code [..]" with the message indent.
void PrintCmdFailure(const char* what, int user_err, int sys_err);

#endif
