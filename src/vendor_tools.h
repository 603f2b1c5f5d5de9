// Interactive vendor tools.
#ifndef ZV_VENDOR_TOOLS_H
#define ZV_VENDOR_TOOLS_H

void getSetMaxAddress();
void calcMagnifyCoefficient();
void tuneEyeChart();
void switch64Ce();
void switchReadTable();
void dynamicOptimize();
void downloadWearLevelTable();

#endif
