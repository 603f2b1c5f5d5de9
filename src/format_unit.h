// FORMAT UNIT procedure of SAS drives.
#ifndef ZV_FORMAT_UNIT_H
#define ZV_FORMAT_UNIT_H

void formatUnit(const char* value);

#endif
