// Reading ATA commands back out of the emulator's trace: the task file that an
// ATA PASS-THROUGH(16) CDB or a tunnel packet carried, whatever the route.
#ifndef ZV_ATA_TRACE_H
#define ZV_ATA_TRACE_H

#include <string>
#include <vector>

#include "emu_trace.h"

namespace atatest {

using zvemu::Bytes;

// One ATA command as the drive received it.
struct SentAta {
    // features, count, LBA 7:0, 15:8, 23:16, device, command, then the previous registers:
    // features 15:8, count 15:8, LBA 31:24, 39:32, 47:40
    Bytes regs;
    bool ext48 = false;
    int dir = 0;       // 0 none, 1 in, 2 out
    unsigned len = 0;  // data bytes
    Bytes data_out;    // the data sent to the drive
};

// The task file of a SAT CDB (85h) or a tunnel packet write (3Bh buffer 06h); false for
// any other request (the tunnel's data and status reads).
inline bool DecodeSentAta(const zvemu::TraceEntry& e, SentAta* out)
{
    SentAta s;
    if (e.cdb.size() == 16 && e.cdb[0] == 0x85) {
        const Bytes& c = e.cdb;
        s.regs = {c[4], c[6], c[8], c[10], c[12], c[13], c[14], c[3], c[5], c[7], c[9], c[11]};
        s.ext48 = (c[1] & 1) != 0;
        const int protocol = c[1] >> 1;
        s.dir = protocol == 4 ? 1 : protocol == 5 ? 2 : 0;
        s.len = e.len;
        s.data_out = e.data;
    } else if (e.cdb.size() == 10 && e.cdb[0] == 0x3B && e.cdb[2] == 0x06 && e.data.size() >= 28) {
        const Bytes& p = e.data;
        s.regs = {p[9], p[11], p[15], p[14], p[13], p[12], p[23], p[8], p[10], p[19], p[18], p[17]};
        s.ext48 = false;  // the packet has no flag; the high bytes are zero for 28-bit commands
        s.dir = p[3] == 0x07 ? 1 : p[3] == 0x06 ? 2 : 0;
        s.len = (unsigned(p[5]) << 16) | (unsigned(p[6]) << 8) | p[7];
        s.data_out.assign(p.begin() + 28, p.end());
    } else {
        return false;
    }
    *out = s;
    return true;
}

// Every ATA command of a trace, in order.
inline std::vector<SentAta> SentAtaCommands(const std::vector<zvemu::TraceEntry>& trace)
{
    std::vector<SentAta> out;
    for (const zvemu::TraceEntry& e : trace) {
        SentAta s;
        if (e.op == "sgio" && DecodeSentAta(e, &s)) {
            out.push_back(s);
        }
    }
    return out;
}

// The first seven registers as hex text, "D0 01 00 4F C2 40 B0", for readable case tables.
inline std::string RegsText(const Bytes& regs, size_t n = 7)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n && i < regs.size(); i++) {
        if (i != 0) {
            s += ' ';
        }
        s += digits[regs[i] >> 4];
        s += digits[regs[i] & 15];
    }
    return s;
}

// The trace as a string of its operations: "open sgio close ..." (for open/close patterns).
inline std::string OpsText(const std::vector<zvemu::TraceEntry>& trace)
{
    std::string s;
    for (const zvemu::TraceEntry& e : trace) {
        if (!s.empty()) {
            s += ' ';
        }
        s += e.op;
    }
    return s;
}

} // namespace atatest

#endif
