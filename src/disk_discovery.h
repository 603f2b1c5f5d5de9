// Drive discovery, classification and the filling of drive records.
#ifndef ZV_DISK_DISCOVERY_H
#define ZV_DISK_DISCOVERY_H

#include "disk_info.h"

bool classifyDevice(const char* path, DiskInfo* disk);
void setDiskGeometryByModel(DiskInfo* disk);

#endif
