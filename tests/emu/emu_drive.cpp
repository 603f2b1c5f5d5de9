// How an emulated drive answers one SCSI request: first the fixture's SCSI answers, then
// what its kind builds in (ATA PASS-THROUGH for "sat", the buffer tunnel for "apt"), then
// the refusal a real drive gives for an unknown command.
// To add a kind, write its handler and add one row to kinds.
#include <algorithm>

#include "emu_megaraid.h"
#include "emu_model.h"

namespace zvemu {

namespace {

bool Matches(const Answer& a, AnswerProto proto, u8 opcode, const u8* bytes, size_t n)
{
    if (a.proto != proto || (!a.any_opcode && a.opcode != opcode)) {
        return false;
    }
    if (a.times >= 0 && a.used >= a.times) {
        return false;
    }
    for (const Selector& s : a.selectors) {
        if (FieldValue(s.field, bytes, n) != s.value) {
            return false;
        }
    }
    return true;
}

// A named opcode beats "*", more selectors beat fewer, a later answer beats an earlier one.
bool Better(const Answer& a, const Answer& b)
{
    if (a.any_opcode != b.any_opcode) {
        return !a.any_opcode;
    }
    if (a.selectors.size() != b.selectors.size()) {
        return a.selectors.size() > b.selectors.size();
    }
    return a.order > b.order;
}

Answer* FindAnswer(Drive* d, AnswerProto proto, u8 opcode, const u8* bytes, size_t n)
{
    Answer* best = nullptr;
    for (Answer& a : d->answers) {
        if (Matches(a, proto, opcode, bytes, n) && (best == nullptr || Better(a, *best))) {
            best = &a;
        }
    }
    if (best != nullptr) {
        best->used++;
    }
    return best;
}

bool KnowsOpcode(const Drive& d, AnswerProto proto, u8 opcode)
{
    for (const Answer& a : d.answers) {
        if (a.proto == proto && !a.any_opcode && a.opcode == opcode) {
            return true;
        }
    }
    return false;
}

// The payload an answer returns for this request, at most len bytes.
Bytes AnswerData(const Answer& a, const u8* bytes, size_t n, u32 len)
{
    size_t start = 0;
    if (a.has_offset) {
        u64 v = FieldValue(a.offset_field, bytes, n);
        if (v < a.offset_base) {
            return Bytes();
        }
        u64 off = (v - a.offset_base) * a.offset_scale;
        if (off >= a.payload.size()) {
            return Bytes();
        }
        start = static_cast<size_t>(off);
    }
    size_t m = std::min(static_cast<size_t>(len), a.payload.size() - start);
    return Bytes(a.payload.begin() + start, a.payload.begin() + start + m);
}

bool IsDataIn(int dir) { return dir == TRACE_DIR_IN || dir == TRACE_DIR_INOUT; }

// What the answer says about status, sense, host and driver, and the ioctl itself.
void ApplyScsiOutcome(const Answer& a, Reply* r)
{
    r->sys_errno = a.sys_errno;
    if (a.has_sense) {
        r->sense = a.sense;
        r->status = 0x02;
    }
    if (a.has_status) {
        r->status = a.status;
    }
    if (a.has_host_status) {
        r->host_status = a.host_status;
    }
    if (a.has_driver_status) {
        r->driver_status = a.driver_status;
    }
    r->has_resid = a.has_resid;
    r->resid = a.resid;
    r->sense_written = a.sense_written;
}

// CHECK CONDITION with fixed-format sense, as a drive refuses a command.
void Refuse(Reply* r, u8 key, u8 asc, u8 ascq)
{
    r->status = 0x02;
    r->sense.assign(18, 0);
    r->sense[0] = 0x70;
    r->sense[2] = key;
    r->sense[7] = 10;
    r->sense[12] = asc;
    r->sense[13] = ascq;
}

bool AnswerFromScsiAnswers(Drive* d, const Request& q, Reply* r)
{
    Answer* a = FindAnswer(d, PROTO_SCSI, q.cdb[0], q.cdb.data(), q.cdb.size());
    if (a == nullptr) {
        return false;
    }
    r->via = a->where;
    r->kill = a->kill;
    r->run = a->run;
    ApplyScsiOutcome(*a, r);
    if (IsDataIn(q.dir)) {
        r->data = AnswerData(*a, q.cdb.data(), q.cdb.size(), q.len);
    }
    return true;
}

// INVALID FIELD IN CDB for a known opcode, INVALID COMMAND OPERATION CODE otherwise.
void RefuseUnknown(const Drive& d, const Request& q, Reply* r)
{
    r->via = "default";
    if (KnowsOpcode(d, PROTO_SCSI, q.cdb[0])) {
        Refuse(r, 0x05, 0x24, 0x00);
    } else {
        Refuse(r, 0x05, 0x20, 0x00);
    }
}

// ---- ATA commands, shared by the SAT and tunnel kinds ----

struct AtaOutcome {
    Answer* answer = nullptr;
    AtaRegs out;
    bool failed = false;
};

// Returned registers: those sent, with error 00h and status 50h, then the answer's own.
// A command without an answer is aborted (status 51h, error 04h).
void RunAta(Drive* d, const AtaRegs& in, AtaOutcome* o)
{
    o->answer = FindAnswer(d, PROTO_ATA, in.r[REG_CMD], in.r, REG_COUNT);
    o->out = in;
    o->out.r[REG_FEA] = o->answer != nullptr ? 0x00 : 0x04;
    o->out.r[REG_CMD] = o->answer != nullptr ? 0x50 : 0x51;
    if (o->answer != nullptr) {
        for (int i = 0; i < REG_COUNT; i++) {
            if (o->answer->reg_set[i]) {
                o->out.r[i] = o->answer->reg_val[i];
            }
        }
    }
    o->failed = (o->out.r[REG_CMD] & 0x21) != 0;   // ERR or DF
}

// ---- SAT: ATA PASS-THROUGH(16) and (12) ----

struct PassThrough {
    AtaRegs regs;
    bool ext = false;
    bool ck_cond = false;
};

bool DecodePassThrough(const Bytes& cdb, PassThrough* p)
{
    u8* r = p->regs.r;
    if (cdb[0] == 0x85) {
        if (cdb.size() < 16) {
            return false;
        }
        r[REG_FEA_HI] = cdb[3];
        r[REG_FEA] = cdb[4];
        r[REG_CNT_HI] = cdb[5];
        r[REG_CNT] = cdb[6];
        r[REG_LBA3] = cdb[7];
        r[REG_LBA0] = cdb[8];
        r[REG_LBA4] = cdb[9];
        r[REG_LBA1] = cdb[10];
        r[REG_LBA5] = cdb[11];
        r[REG_LBA2] = cdb[12];
        r[REG_DEV] = cdb[13];
        r[REG_CMD] = cdb[14];
        p->ext = (cdb[1] & 0x01) != 0;
    } else {
        if (cdb.size() < 12) {
            return false;
        }
        r[REG_FEA] = cdb[3];
        r[REG_CNT] = cdb[4];
        r[REG_LBA0] = cdb[5];
        r[REG_LBA1] = cdb[6];
        r[REG_LBA2] = cdb[7];
        r[REG_DEV] = cdb[8];
        r[REG_CMD] = cdb[9];
    }
    p->ck_cond = (cdb[2] & 0x20) != 0;
    return true;
}

// Descriptor-format sense holding the ATA Status Return descriptor (09h).
Bytes StatusReturnSense(u8 key, const AtaRegs& o, bool ext)
{
    Bytes s(8 + 14, 0);
    s[0] = 0x72;
    s[1] = key;
    s[2] = 0x00;
    s[3] = 0x1D;   // ATA PASS THROUGH INFORMATION AVAILABLE
    s[7] = 14;
    u8* d = &s[8];
    const u8* r = o.r;
    d[0] = 0x09;
    d[1] = 0x0C;
    d[2] = ext ? 0x01 : 0x00;
    d[3] = r[REG_FEA];
    d[4] = r[REG_CNT_HI];
    d[5] = r[REG_CNT];
    d[6] = r[REG_LBA3];
    d[7] = r[REG_LBA0];
    d[8] = r[REG_LBA4];
    d[9] = r[REG_LBA1];
    d[10] = r[REG_LBA5];
    d[11] = r[REG_LBA2];
    d[12] = r[REG_DEV];
    d[13] = r[REG_CMD];
    return s;
}

// A failed ATA command ends in CHECK CONDITION / ABORTED COMMAND, a good one with CK_COND set
// in CHECK CONDITION / RECOVERED ERROR, each with the returned registers; else GOOD.
bool SatBuiltin(Drive* d, const Request& q, Reply* r)
{
    if (q.cdb[0] != 0x85 && q.cdb[0] != 0xA1) {
        return false;
    }
    PassThrough p;
    if (!DecodePassThrough(q.cdb, &p)) {
        Refuse(r, 0x05, 0x24, 0x00);
        return true;
    }
    AtaOutcome o;
    RunAta(d, p.regs, &o);
    if (o.answer != nullptr) {
        r->via = o.answer->where;
        r->kill = o.answer->kill;
        r->run = o.answer->run;
        if (IsDataIn(q.dir) && !o.failed) {
            r->data = AnswerData(*o.answer, p.regs.r, REG_COUNT, q.len);
        }
        if (o.answer->DecidesScsi()) {
            ApplyScsiOutcome(*o.answer, r);
            return true;
        }
        // A residual alone leaves the outcome to SAT.
        r->has_resid = o.answer->has_resid;
        r->resid = o.answer->resid;
        if (o.answer->no_status_return) {
            return true;
        }
    }
    if (o.failed) {
        r->status = 0x02;
        r->sense = StatusReturnSense(0x0B, o.out, p.ext);
    } else if (p.ck_cond) {
        r->status = 0x02;
        r->sense = StatusReturnSense(0x01, o.out, p.ext);
    }
    return true;
}

// ---- The vendor tunnel: packet and status in buffer 06h, data in buffer 07h ----

const size_t kAptPacketLen = 28;
const size_t kAptStatusLen = 24;

void DecodeAptPacket(const Bytes& p, AtaRegs* in)
{
    u8* r = in->r;
    r[REG_FEA_HI] = p[8];
    r[REG_FEA] = p[9];
    r[REG_CNT_HI] = p[10];
    r[REG_CNT] = p[11];
    r[REG_DEV] = p[12];
    r[REG_LBA2] = p[13];
    r[REG_LBA1] = p[14];
    r[REG_LBA0] = p[15];
    r[REG_LBA5] = p[17];
    r[REG_LBA4] = p[18];
    r[REG_LBA3] = p[19];
    r[REG_CMD] = p[23];
}

Bytes AptStatusBlock(const AtaRegs& o)
{
    Bytes s(kAptStatusLen, 0);
    const u8* r = o.r;
    s[4] = r[REG_FEA_HI];
    s[6] = r[REG_CNT_HI];
    s[7] = r[REG_CNT];
    s[8] = r[REG_DEV];
    s[9] = r[REG_LBA2];
    s[10] = r[REG_LBA1];
    s[11] = r[REG_LBA0];
    s[13] = r[REG_LBA5];
    s[14] = r[REG_LBA4];
    s[15] = r[REG_LBA3];
    s[18] = r[REG_FEA];
    s[19] = r[REG_CMD];
    return s;
}

bool AptBuiltin(Drive* d, const Request& q, Reply* r)
{
    if (q.cdb[0] != 0x3B && q.cdb[0] != 0x3C) {
        return false;
    }
    r->via = "apt";
    const bool write = q.cdb[0] == 0x3B;
    const u8 mode = q.cdb.size() > 1 ? (q.cdb[1] & 0x1F) : 0;
    const u8 id = q.cdb.size() > 2 ? q.cdb[2] : 0;
    if (q.cdb.size() < 10 || mode != 0x01) {
        Refuse(r, 0x05, 0x24, 0x00);
        return true;
    }
    if (write && id == 0x06) {
        const Bytes& p = q.data_out;
        if (p.size() < kAptPacketLen || p[0] != 0x75 || p[1] != 0x30) {
            Refuse(r, 0x05, 0x26, 0x00);   // INVALID FIELD IN PARAMETER LIST
            return true;
        }
        AtaRegs in;
        DecodeAptPacket(p, &in);
        AtaOutcome o;
        RunAta(d, in, &o);
        d->apt = AptState();
        d->apt.result = o.out;
        const u32 len = (u32(p[5]) << 16) | (u32(p[6]) << 8) | p[7];
        if (o.answer != nullptr) {
            r->via = o.answer->where;
            r->kill = o.answer->kill;
            r->run = o.answer->run;
            const bool data_in = p[3] == 0x07;
            if (data_in && !o.failed) {
                d->apt.data = AnswerData(*o.answer, in.r, REG_COUNT, len);
                d->apt.has_data = true;
            }
            if (o.answer->DecidesScsi()) {
                ApplyScsiOutcome(*o.answer, r);
            }
            // The residual of the command's data phase: the data read, or this write of a
            // data-out or non-data command.
            if (data_in) {
                d->apt.has_resid = o.answer->has_resid;
                d->apt.resid = o.answer->resid;
            } else if (o.answer->has_resid) {
                r->has_resid = true;
                r->resid = o.answer->resid;
            }
            if (o.answer->status_block >= 0) {
                d->apt.status_len = static_cast<size_t>(o.answer->status_block);
            }
        }
        return true;
    }
    if (!write && id == 0x07) {
        r->data.assign(d->apt.data.begin(), d->apt.data.begin() + std::min<size_t>(d->apt.data.size(), q.len));
        r->has_resid = d->apt.has_resid;
        r->resid = d->apt.resid;
        return true;
    }
    if (!write && id == 0x06) {
        Bytes s = AptStatusBlock(d->apt.result);
        s.resize(std::min<size_t>(std::min<size_t>(s.size(), d->apt.status_len), q.len));
        r->data = s;
        return true;
    }
    Refuse(r, 0x05, 0x24, 0x00);
    return true;
}

struct KindSpec {
    const char* name;
    bool (*builtin)(Drive*, const Request&, Reply*);   // null: SCSI answers only
};

// One row per kind of drive.
const KindSpec kinds[] = {
    {"sas", nullptr},
    {"sat", SatBuiltin},
    {"apt", AptBuiltin},
    {"sas-format", FormatBuiltin},
};

const KindSpec* FindKind(const std::string& name)
{
    for (const KindSpec& k : kinds) {
        if (name == k.name) {
            return &k;
        }
    }
    return nullptr;
}

} // namespace

bool IsKnownKind(const std::string& kind) { return FindKind(kind) != nullptr || IsControllerKind(kind); }

void AnswerRequest(Drive* drive, const Request& req, Reply* reply)
{
    if (AnswerFromScsiAnswers(drive, req, reply)) {
        return;
    }
    const KindSpec* k = FindKind(drive->kind);
    if (k != nullptr && k->builtin != nullptr && k->builtin(drive, req, reply)) {
        return;
    }
    RefuseUnknown(*drive, req, reply);
}

} // namespace zvemu
