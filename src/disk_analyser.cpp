#include "disk_analyser.h"

void DiskAnalyser::Init() { Check(); }

void DiskAnalyser::Check() {}
