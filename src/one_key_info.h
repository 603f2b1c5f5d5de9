// One-key information collection and its offline parser.
#ifndef ZV_ONE_KEY_INFO_H
#define ZV_ONE_KEY_INFO_H

void collectOneKeyInfo();
void parseOneKeyInfoFile();
void parseOneKeyInfoFileEx();

#endif
