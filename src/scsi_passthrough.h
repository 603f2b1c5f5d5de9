// SCSI pass-through tools: one raw SCSI command of the operator's own, composed at the
// console and sent to the current device outside the command catalogue.
#ifndef ZV_SCSI_PASSTHROUGH_H
#define ZV_SCSI_PASSTHROUGH_H

#include <cstdio>

#include "common.h"

// Largest transfers the tools accept: the hex tool's, and the guided tool's.
const u32 kPassThroughHexMaxData = 1024;
const u32 kPassThroughMaxData = 0x20000;
// Time-out of the tools' requests, in seconds.
const u32 kPassThroughTimeout = 30;

// The hex tool: the CDB typed as one hex string, data to send edited byte by byte.
void scsiPassThroughHex();
// The guided tool: CDB length, bytes, direction and length asked one by one; the data can
// come from or go to a file.
void scsiPassThrough();

// Reads one line of in into buf (size bytes) and returns its length after trailing blanks
// and the line end are cut. The rest of a line too long for buf is dropped, so it never
// becomes the next answer. At the end of input the process ends with status 0.
int readConsoleLine(char* buf, int size, FILE* in);

#endif
