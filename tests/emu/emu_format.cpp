// The "sas-format" kind: a SAS drive that can be reformatted. Under its fixture answers (which
// still win) it builds in what SBC drives do for a new block length:
//   MODE SENSE(6)   page 01h (read-write error recovery, PS set) after one 8-byte block descriptor
//   MODE SELECT(6)  takes a new block length from the descriptor; checks the list as a drive does
//   FORMAT UNIT     checks its parameter list; with IMMED the format then runs in the background
//   TEST UNIT READY during a format: NOT READY, FORMAT IN PROGRESS with the progress in the
//                   sense-key specific bytes, a quarter further at each request; then GOOD
// While a format runs, the other three answer like TEST UNIT READY. The drive starts with the
// block length and count of its READ CAPACITY(10) answer (512-byte blocks without one).
#include "emu_model.h"

namespace zvemu {

namespace {

const u8 kKeyNotReady = 0x02;
const u8 kKeyIllegalRequest = 0x05;
const u8 kAscInvalidCdbField = 0x24;
const u8 kAscInvalidListField = 0x26;
const u8 kAscListLengthError = 0x1A;

const u32 kProgressDone = 0x10000;
const u32 kProgressPerRequest = 0x4000;

// The logical block lengths the drive can be formatted to.
const u32 supported_block_lens[] = {512, 520, 528};

bool IsSupportedBlockLen(u32 len)
{
    for (u32 s : supported_block_lens) {
        if (s == len) {
            return true;
        }
    }
    return false;
}

u32 Be(const u8* p, int n)
{
    u32 v = 0;
    for (int i = 0; i < n; i++) {
        v = (v << 8) | p[i];
    }
    return v;
}

void FixedSense(Reply* r, u8 key, u8 asc, u8 ascq)
{
    r->status = 0x02;
    r->sense.assign(18, 0);
    r->sense[0] = 0x70;
    r->sense[2] = key;
    r->sense[7] = 10;
    r->sense[12] = asc;
    r->sense[13] = ascq;
}

void IllegalRequest(Reply* r, u8 asc) { FixedSense(r, kKeyIllegalRequest, asc, 0x00); }

// NOT READY, LOGICAL UNIT NOT READY, FORMAT IN PROGRESS, with SKSV and the progress.
void FormatInProgress(const FormatState& f, Reply* r)
{
    FixedSense(r, kKeyNotReady, 0x04, 0x04);
    r->sense[15] = 0x80;
    r->sense[16] = static_cast<u8>(f.progress >> 8);
    r->sense[17] = static_cast<u8>(f.progress);
}

// The starting state: the last READ CAPACITY(10) answer without selectors, if any.
void LoadState(Drive* d)
{
    FormatState& f = d->format;
    if (f.loaded) {
        return;
    }
    f.loaded = true;
    for (const Answer& a : d->answers) {
        if (a.proto == PROTO_SCSI && !a.any_opcode && a.opcode == 0x25 && a.selectors.empty() &&
            a.payload.size() >= 8) {
            f.blocks = u64(Be(a.payload.data(), 4)) + 1;
            f.block_len = Be(a.payload.data() + 4, 4);
        }
    }
}

const u8 recovery_page[] = {0x81, 0x0A, 0xC0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0xFF, 0xFF};

void ModeSense6(const FormatState& f, const Request& q, Reply* r)
{
    const u8 page = q.cdb[2] & 0x3F;
    const bool dbd = (q.cdb[1] & 0x08) != 0;
    if (page != 0x01 && page != 0x3F) {
        IllegalRequest(r, kAscInvalidCdbField);
        return;
    }
    Bytes m(4, 0);
    m[2] = 0x10;   // DPOFUA
    if (!dbd) {
        const u32 count = f.blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(f.blocks);
        const u8 desc[8] = {static_cast<u8>(count >> 24), static_cast<u8>(count >> 16), static_cast<u8>(count >> 8),
                            static_cast<u8>(count), 0x00, static_cast<u8>(f.block_len >> 16),
                            static_cast<u8>(f.block_len >> 8), static_cast<u8>(f.block_len)};
        m.insert(m.end(), desc, desc + sizeof(desc));
        m[3] = 8;
    }
    m.insert(m.end(), recovery_page, recovery_page + sizeof(recovery_page));
    m[0] = static_cast<u8>(m.size() - 1);
    const size_t alloc = q.cdb[4];
    if (m.size() > alloc) {
        m.resize(alloc);
    }
    r->data = m;
}

// The list must come whole: header, at most one 8-byte descriptor of a supported length, and
// pages with PS clear that this drive has.
void ModeSelect6(FormatState* f, const Request& q, Reply* r)
{
    if ((q.cdb[1] & 0x10) == 0) {   // PF
        IllegalRequest(r, kAscInvalidCdbField);
        return;
    }
    const size_t len = q.cdb[4];
    const Bytes& p = q.data_out;
    if (len == 0) {
        return;
    }
    if (len < 4 || p.size() < len) {
        IllegalRequest(r, kAscListLengthError);
        return;
    }
    const size_t bd_len = p[3];
    if (p[0] != 0 || (bd_len != 0 && bd_len != 8)) {
        IllegalRequest(r, kAscInvalidListField);
        return;
    }
    if (4 + bd_len > len) {
        IllegalRequest(r, kAscListLengthError);
        return;
    }
    u32 new_len = f->block_len;
    if (bd_len == 8) {
        new_len = Be(&p[9], 3);
        if (!IsSupportedBlockLen(new_len)) {
            IllegalRequest(r, kAscInvalidListField);
            return;
        }
    }
    for (size_t pos = 4 + bd_len; pos < len;) {
        if (pos + 2 > len || pos + 2 + p[pos + 1] > len) {
            IllegalRequest(r, kAscListLengthError);
            return;
        }
        if ((p[pos] & 0x80) != 0 || (p[pos] & 0x3F) != 0x01 || p[pos + 1] != recovery_page[1]) {
            IllegalRequest(r, kAscInvalidListField);
            return;
        }
        pos += 2 + p[pos + 1];
    }
    f->block_len = new_len;
}

// With FMTDATA the host must send exactly the header, the initialization pattern descriptor
// when IP is set (a pattern no longer than a block), and no defect list.
void FormatUnit(FormatState* f, const Request& q, Reply* r)
{
    bool immed = false;
    if ((q.cdb[1] & 0x10) != 0) {
        const Bytes& p = q.data_out;
        if (p.size() < 4) {
            IllegalRequest(r, kAscListLengthError);
            return;
        }
        const u8 flags = p[1];
        const bool fov = (flags & 0x80) != 0;
        const bool ip = (flags & 0x08) != 0;
        if ((!fov && (flags & 0x78) != 0) || Be(&p[2], 2) != 0) {
            IllegalRequest(r, kAscInvalidListField);
            return;
        }
        size_t need = 4;
        if (ip) {
            if (p.size() < 8) {
                IllegalRequest(r, kAscListLengthError);
                return;
            }
            const u32 pattern_len = Be(&p[6], 2);
            if (p[5] > 0x01 || pattern_len > f->block_len) {
                IllegalRequest(r, kAscInvalidListField);
                return;
            }
            need = 8 + pattern_len;
        }
        if (p.size() != need) {
            IllegalRequest(r, kAscListLengthError);
            return;
        }
        immed = (flags & 0x02) != 0;
    }
    f->formatting = immed;
    f->progress = 0;
}

void TestUnitReady(FormatState* f, Reply* r)
{
    if (!f->formatting) {
        return;
    }
    f->progress += kProgressPerRequest;
    if (f->progress >= kProgressDone) {
        f->formatting = false;
        f->progress = 0;
        return;
    }
    FormatInProgress(*f, r);
}

} // namespace

bool FormatBuiltin(Drive* d, const Request& q, Reply* r)
{
    const u8 op = q.cdb[0];
    if (op != 0x00 && op != 0x04 && op != 0x15 && op != 0x1A) {
        return false;
    }
    r->via = "format";
    if (q.cdb.size() < 6) {
        IllegalRequest(r, kAscInvalidCdbField);
        return true;
    }
    LoadState(d);
    FormatState& f = d->format;
    if (op == 0x00) {
        TestUnitReady(&f, r);
    } else if (f.formatting) {
        FormatInProgress(f, r);
    } else if (op == 0x1A) {
        ModeSense6(f, q, r);
    } else if (op == 0x15) {
        ModeSelect6(&f, q, r);
    } else {
        FormatUnit(&f, q, r);
    }
    return true;
}

} // namespace zvemu
