// SCSI pass-through tools: one raw SCSI command of the operator's own, composed at the
// console and sent to the current device outside the command catalogue.
#ifndef ZV_SCSI_PASSTHROUGH_H
#define ZV_SCSI_PASSTHROUGH_H

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

#endif
