// SCSI operation codes (SPC) shared below the transports: the ATA tunnel carries its packets
// in WRITE/READ BUFFER, and the command/response log, which the transports write to, keeps a
// tunnel exchange's buffer commands together by them.
#ifndef ZV_SCSI_OPCODES_H
#define ZV_SCSI_OPCODES_H

#include "common.h"

const u8 SCSI_OP_WRITE_BUFFER = 0x3B;
const u8 SCSI_OP_READ_BUFFER = 0x3C;

#endif
