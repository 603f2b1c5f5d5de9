#include "sata_vendor_record.h"

#include <cstring>

bool LoadR2FlagTable(R2FlagTable& dst, const u8* data, u32 len)
{
    if (data == nullptr || len < sizeof(R2FlagTable)) {
        return false;
    }
    std::memcpy(&dst, data, sizeof(R2FlagTable));
    return true;
}
