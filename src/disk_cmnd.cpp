#include "disk_cmnd.h"

void DiskCmnd::Init() { Check(); }

void DiskCmnd::Check() {}
