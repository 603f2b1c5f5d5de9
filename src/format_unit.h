// FORMAT UNIT procedure of SAS drives: the block length read with MODE SENSE(6) and changed
// with MODE SELECT(6), FORMAT UNIT with an immediate return, then one TEST UNIT READY for
// the progress. It talks to the SCSI generic driver itself, with its own sense evaluation,
// outside the catalogue, the command/response log and the RAID route.
#ifndef ZV_FORMAT_UNIT_H
#define ZV_FORMAT_UNIT_H

#include <scsi/sg.h>

#include "common.h"

// The fields of a CHECK CONDITION's sense data; all zero otherwise.
struct SenseSummary {
    u8 response_code;   // sense byte 0 without bit 7
    u8 sense_key;
    u8 asc;
    u8 ascq;
    u8 fru;
};

// Results of senseCategory.
enum SenseCategory {
    SENSE_CAT_NONE = 0,             // nothing to report, or any other case
    SENSE_CAT_NOT_READY = 1,
    SENSE_CAT_BAD_OPCODE = 2,       // ILLEGAL REQUEST, ASC 20h
    SENSE_CAT_BAD_CDB_FIELD = 3,    // ILLEGAL REQUEST, ASC 24h
    SENSE_CAT_BAD_PARAM_FIELD = 4,  // ILLEGAL REQUEST, ASC 26h
    SENSE_CAT_NO_MEDIUM = 6,        // NOT READY, ASC 3Ah
    SENSE_CAT_BECOMING_READY = 7,   // NOT READY, 04h/01h
    SENSE_CAT_UNIT_ATTENTION = 8,
};

// The mode data buffer of the procedure.
const int kModeDataLen = 252;
// The procedure's own refusal: an argument, or mode data it must not act on.
const int kFormatRefused = -22;
// Time-outs in milliseconds: FORMAT UNIT, and every other request of the procedure.
const unsigned kFormatUnitTimeoutMs = 6000;
const unsigned kFormatRequestTimeoutMs = 6;

// -f: value is the block length, "512" or "520"; prints the outcome.
void formatUnit(const char* value);
// 0 when FORMAT UNIT ended with status GOOD, else an error value: 1 no path or no node,
// kFormatRefused, -1 a request not carried out (also a MODE SELECT whose list the drive did
// not take whole), a sense category of MODE SENSE, the SCSI status of a MODE SELECT that was
// not GOOD (the drive's ILLEGAL REQUEST 20h answer excepted: the format then goes on), or the
// SCSI status of FORMAT UNIT. No FORMAT UNIT follows a MODE SELECT that failed.
int doFormatUnit(const char* path, int block_len);
// Asks TEST UNIT READY once and prints the progress; returns its status (-1: not carried out).
int queryFormatProgress(const char* path);

// The requests; -1 when a request could not be carried out ("errno=%x" is printed).
// modeSense6: kFormatRefused for a length outside 0-255, else the sense category.
int modeSense6(int fd, u8* buf, int len);
// buf holds mode data of len bytes whose block descriptors and first page must fit them
// (else kFormatRefused, nothing sent); the sense category.
int modeSelect6(int fd, u8* buf, int len);
// The SCSI status byte.
int sendFormatUnit(int fd, u8* list, int len);
// The SCSI status byte; *progress is set from the sense-key specific bytes when valid.
int testUnitReadyProgress(int fd, SenseSummary* out, u32* progress);

void getSenseSummary(const sg_io_hdr* hdr, SenseSummary* out);
int senseCategory(const SenseSummary* summary);

#endif
