// SCSI pass-through tools.
#ifndef ZV_SCSI_PASSTHROUGH_H
#define ZV_SCSI_PASSTHROUGH_H

void scsiPassThroughHex();
void scsiPassThrough();

#endif
