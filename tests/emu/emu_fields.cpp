// Named fields that select an answer: CDB fields per opcode and the ATA registers.
// To name a new field, add one row to a table below.
#include <cctype>
#include <cstdlib>

#include "emu_model.h"

namespace zvemu {

namespace {

struct CdbFieldRow {
    const char* name;
    u8 opcode;
    int first;   // first CDB byte (most significant)
    int last;    // last CDB byte
    int shift;
    u64 mask;
};

const u64 kAll = ~u64(0);

// Fields of the CDB that select a page, log, buffer or vendor function.
const CdbFieldRow cdb_fields[] = {
    {"evpd", 0x12, 1, 1, 0, 0x01},       // INQUIRY
    {"page", 0x12, 2, 2, 0, 0xFF},
    {"alloc", 0x12, 3, 4, 0, kAll},
    {"page", 0x1A, 2, 2, 0, 0x3F},       // MODE SENSE(6)
    {"pc", 0x1A, 2, 2, 6, 0x03},
    {"subpage", 0x1A, 3, 3, 0, 0xFF},
    {"page", 0x5A, 2, 2, 0, 0x3F},       // MODE SENSE(10)
    {"pc", 0x5A, 2, 2, 6, 0x03},
    {"subpage", 0x5A, 3, 3, 0, 0xFF},
    {"alloc", 0x5A, 7, 8, 0, kAll},
    {"page", 0x4D, 2, 2, 0, 0x3F},       // LOG SENSE
    {"pc", 0x4D, 2, 2, 6, 0x03},
    {"subpage", 0x4D, 3, 3, 0, 0xFF},
    {"alloc", 0x4D, 7, 8, 0, kAll},
    {"page", 0x4C, 2, 2, 0, 0x3F},       // LOG SELECT
    {"pc", 0x4C, 2, 2, 6, 0x03},
    {"pcr", 0x4C, 1, 1, 1, 0x01},
    {"mode", 0x3B, 1, 1, 0, 0x1F},       // WRITE BUFFER
    {"id", 0x3B, 2, 2, 0, 0xFF},
    {"offset", 0x3B, 3, 5, 0, kAll},
    {"mode", 0x3C, 1, 1, 0, 0x1F},       // READ BUFFER
    {"id", 0x3C, 2, 2, 0, 0xFF},
    {"offset", 0x3C, 3, 5, 0, kAll},
    {"sa", 0x9E, 1, 1, 0, 0x1F},         // SERVICE ACTION IN(16)
    {"sa", 0xA3, 1, 1, 0, 0x1F},         // MAINTENANCE IN
    {"sa", 0xA4, 1, 1, 0, 0x1F},         // MAINTENANCE OUT (SET TIMESTAMP)
    {"plist", 0xB7, 1, 1, 4, 0x01},      // READ DEFECT DATA(12)
    {"glist", 0xB7, 1, 1, 3, 0x01},
    {"format", 0xB7, 1, 1, 0, 0x07},
    {"fn", 0xC0, 1, 1, 0, 0xFF},         // vendor read: function, then table selector
    {"sel", 0xC0, 2, 2, 0, 0xFF},
    {"fn", 0xC1, 1, 1, 0, 0xFF},         // vendor write
    {"sel", 0xC1, 2, 2, 0, 0xFF},
};

struct RegFieldRow {
    const char* name;
    int bytes[6];   // register positions, most significant first; -1 ends
};

// ATA registers as a pass-through or tunnel command carries them.
const RegFieldRow reg_fields[] = {
    {"fea", {REG_FEA, -1}},
    {"cnt", {REG_CNT, -1}},
    {"lba0", {REG_LBA0, -1}},
    {"lba1", {REG_LBA1, -1}},
    {"lba2", {REG_LBA2, -1}},
    {"dev", {REG_DEV, -1}},
    {"cmd", {REG_CMD, -1}},
    {"fea-hi", {REG_FEA_HI, -1}},
    {"cnt-hi", {REG_CNT_HI, -1}},
    {"lba3", {REG_LBA3, -1}},
    {"lba4", {REG_LBA4, -1}},
    {"lba5", {REG_LBA5, -1}},
    {"count", {REG_CNT_HI, REG_CNT, -1}},
    {"lba", {REG_LBA5, REG_LBA4, REG_LBA3, REG_LBA2, REG_LBA1, REG_LBA0}},
};

// Registers a drive returns: "err" and "status" sit where features and command went.
const struct {
    const char* name;
    int reg;
} returned_regs[] = {
    {"err", REG_FEA}, {"cnt", REG_CNT}, {"lba0", REG_LBA0}, {"lba1", REG_LBA1},
    {"lba2", REG_LBA2}, {"dev", REG_DEV}, {"status", REG_CMD}, {"fea-hi", REG_FEA_HI},
    {"cnt-hi", REG_CNT_HI}, {"lba3", REG_LBA3}, {"lba4", REG_LBA4}, {"lba5", REG_LBA5},
};

bool ParseUnsigned(const char* s, int base, long* out, const char** end)
{
    unsigned char c = static_cast<unsigned char>(*s);
    if (base == 16 ? isxdigit(c) == 0 : isdigit(c) == 0) {
        return false;
    }
    char* e = nullptr;
    *out = strtol(s, &e, base);
    *end = e;
    return true;
}

// b<N>, b<N>-<M> or b<N>&<hexmask>.
bool ParseGenericCdbField(const std::string& name, Field* out)
{
    if (name.size() < 2 || name[0] != 'b') {
        return false;
    }
    const char* p = name.c_str() + 1;
    long first = 0;
    long last = 0;
    const char* end = nullptr;
    if (!ParseUnsigned(p, 10, &first, &end) || first > 31) {
        return false;
    }
    last = first;
    u64 mask = kAll;
    if (*end == '-') {
        if (!ParseUnsigned(end + 1, 10, &last, &end) || last < first || last > 31 || last - first > 7) {
            return false;
        }
    } else if (*end == '&') {
        long m = 0;
        if (!ParseUnsigned(end + 1, 16, &m, &end)) {
            return false;
        }
        mask = static_cast<u64>(m);
    }
    if (*end != 0) {
        return false;
    }
    out->name = name;
    out->source = FROM_CDB;
    out->bytes.clear();
    for (long i = first; i <= last; i++) {
        out->bytes.push_back(static_cast<int>(i));
    }
    out->shift = 0;
    out->mask = mask;
    return true;
}

} // namespace

bool LookupScsiField(const std::string& name, bool any_opcode, u8 opcode, Field* out)
{
    if (!any_opcode) {
        for (const CdbFieldRow& row : cdb_fields) {
            if (row.opcode == opcode && name == row.name) {
                out->name = name;
                out->source = FROM_CDB;
                out->bytes.clear();
                for (int i = row.first; i <= row.last; i++) {
                    out->bytes.push_back(i);
                }
                out->shift = row.shift;
                out->mask = row.mask;
                return true;
            }
        }
    }
    return ParseGenericCdbField(name, out);
}

bool LookupAtaField(const std::string& name, Field* out)
{
    for (const RegFieldRow& row : reg_fields) {
        if (name == row.name) {
            out->name = name;
            out->source = FROM_REGS;
            out->bytes.clear();
            for (int i = 0; i < 6 && row.bytes[i] >= 0; i++) {
                out->bytes.push_back(row.bytes[i]);
            }
            out->shift = 0;
            out->mask = kAll;
            return true;
        }
    }
    return false;
}

int LookupReturnedReg(const std::string& name)
{
    for (const auto& row : returned_regs) {
        if (name == row.name) {
            return row.reg;
        }
    }
    return -1;
}

u64 FieldValue(const Field& f, const u8* bytes, size_t n)
{
    u64 v = 0;
    for (int i : f.bytes) {
        v = (v << 8) | (static_cast<size_t>(i) < n ? bytes[i] : 0);
    }
    return (v >> f.shift) & f.mask;
}

} // namespace zvemu
