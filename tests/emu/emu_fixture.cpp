// The fixture format (see README.md): drives and their answers, one directive per line.
// To add an answer attribute, write its handler and add one row to answer_attrs.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "emu_megaraid.h"
#include "emu_model.h"

namespace zvemu {

namespace {

// Payloads above this are fixture mistakes, not drive data.
const u64 kMaxPayload = 0x10000000;

struct Ctx {
    std::string label;        // file name shown in messages and in the trace
    std::string base_dir;     // relative paths start here
    int line = 0;
    std::string error;
};

std::string Where(const Ctx& c) { return c.label + ":" + std::to_string(c.line); }

bool Fail(Ctx& c, const std::string& msg)
{
    c.error = Where(c) + ": " + msg;
    return false;
}

// Blank-separated tokens; "..." is one token (\" and \\ escape); # starts a comment.
bool Tokenize(const std::string& line, std::vector<std::string>* out, std::string* err)
{
    out->clear();
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            i++;
            continue;
        }
        if (c == '#') {
            break;
        }
        std::string tok;
        if (c == '"') {
            i++;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '\\' && i < line.size()) {
                    tok += line[i++];
                } else if (d == '"') {
                    closed = true;
                    break;
                } else {
                    tok += d;
                }
            }
            if (!closed) {
                *err = "unterminated string";
                return false;
            }
            // A quoted token is marked so that "" stays distinguishable from no token.
            out->push_back("\x01" + tok);
            continue;
        }
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            tok += line[i++];
        }
        out->push_back(tok);
    }
    return true;
}

bool IsQuoted(const std::string& t) { return !t.empty() && t[0] == '\x01'; }
std::string Unquote(const std::string& t) { return IsQuoted(t) ? t.substr(1) : t; }

bool ParseHex(const std::string& t, u64* v)
{
    std::string s = t;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s = s.substr(2);
    }
    if (s.empty() || s.size() > 16 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    *v = strtoull(s.c_str(), nullptr, 16);
    return true;
}

bool ParseHexByte(const std::string& t, u8* b)
{
    u64 v = 0;
    if (!ParseHex(t, &v) || v > 0xFF) {
        return false;
    }
    *b = static_cast<u8>(v);
    return true;
}

// Decimal, or hexadecimal after 0x.
bool ParseNumber(const std::string& t, u64* v)
{
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        return ParseHex(t, v);
    }
    if (t.empty() || t.size() > 19 || t.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *v = strtoull(t.c_str(), nullptr, 10);
    return true;
}

const struct {
    const char* name;
    int value;
} errno_names[] = {
    {"EPERM", EPERM}, {"ENOENT", ENOENT}, {"EINTR", EINTR}, {"EIO", EIO}, {"ENXIO", ENXIO},
    {"EBADF", EBADF}, {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES}, {"EFAULT", EFAULT},
    {"EBUSY", EBUSY}, {"EEXIST", EEXIST}, {"ENODEV", ENODEV}, {"EINVAL", EINVAL}, {"ENOTTY", ENOTTY},
    {"ENOSPC", ENOSPC}, {"EROFS", EROFS}, {"ENOSYS", ENOSYS}, {"ETIMEDOUT", ETIMEDOUT},
    {"EOVERFLOW", EOVERFLOW}, {"EMSGSIZE", EMSGSIZE},
};

bool ParseErrno(const std::string& t, int* e)
{
    for (const auto& row : errno_names) {
        if (t == row.name) {
            *e = row.value;
            return true;
        }
    }
    u64 v = 0;
    if (!ParseNumber(t, &v) || v == 0 || v > 4095) {
        return false;
    }
    *e = static_cast<int>(v);
    return true;
}

// A run of hex tokens, each of whole bytes ("00 01" and "0001" alike).
bool ParseHexBytes(Ctx& c, const std::vector<std::string>& args, size_t from, Bytes* out)
{
    for (size_t i = from; i < args.size(); i++) {
        const std::string& t = args[i];
        if (IsQuoted(t) || t.size() % 2 != 0 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return Fail(c, "not hex bytes: " + Unquote(t));
        }
        Bytes b = Hex(t);
        out->insert(out->end(), b.begin(), b.end());
    }
    return true;
}

bool ReadWholeFile(const std::string& path, Bytes* out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        return false;
    }
    std::ostringstream ss;
    ss << f.rdbuf();
    const std::string s = ss.str();
    out->assign(s.begin(), s.end());
    return true;
}

std::string Resolve(const Ctx& c, const std::string& path)
{
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    return c.base_dir + "/" + path;
}

bool Offset(Ctx& c, const std::string& t, u64* off)
{
    if (!ParseNumber(t, off) || *off >= kMaxPayload) {
        return Fail(c, "bad offset: " + t);
    }
    return true;
}

// Makes room for n bytes at off.
void Reserve(Answer& a, u64 off, u64 n)
{
    if (a.payload.size() < off + n) {
        a.payload.resize(off + n, 0);
    }
}

typedef bool (*AttrFn)(Ctx&, Answer&, const std::vector<std::string>&);

bool AttrData(Ctx& c, Answer& a, const std::vector<std::string>& args) { return ParseHexBytes(c, args, 1, &a.payload); }

bool AttrFile(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    Bytes b;
    std::string path = Resolve(c, Unquote(args[1]));
    if (!ReadWholeFile(path, &b)) {
        return Fail(c, "cannot read " + path);
    }
    a.payload.insert(a.payload.end(), b.begin(), b.end());
    return true;
}

bool AttrSize(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 n = 0;
    if (!ParseNumber(args[1], &n) || n > kMaxPayload) {
        return Fail(c, "bad size: " + args[1]);
    }
    a.payload.resize(n, 0);
    return true;
}

bool AttrFill(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 off = 0;
    u64 n = 0;
    u8 v = 0;
    if (!Offset(c, args[1], &off)) {
        return false;
    }
    if (!ParseNumber(args[2], &n) || off + n > kMaxPayload) {
        return Fail(c, "bad count: " + args[2]);
    }
    if (!ParseHexByte(args[3], &v)) {
        return Fail(c, "bad byte: " + args[3]);
    }
    Reserve(a, off, n);
    memset(a.payload.data() + off, v, n);
    return true;
}

bool AttrPut(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 off = 0;
    Bytes b;
    if (!Offset(c, args[1], &off) || !ParseHexBytes(c, args, 2, &b)) {
        return false;
    }
    Reserve(a, off, b.size());
    std::copy(b.begin(), b.end(), a.payload.begin() + off);
    return true;
}

bool AttrText(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 off = 0;
    if (!Offset(c, args[1], &off)) {
        return false;
    }
    std::string s = Unquote(args[2]);
    Reserve(a, off, s.size());
    std::copy(s.begin(), s.end(), a.payload.begin() + off);
    return true;
}

// An ATA string: blank-padded to the field length, two characters per word, first in the high byte.
bool AttrAtaText(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 off = 0;
    u64 n = 0;
    if (!Offset(c, args[1], &off)) {
        return false;
    }
    std::string s = Unquote(args[3]);
    if (!ParseNumber(args[2], &n) || n % 2 != 0 || n < s.size() || n > 512) {
        return Fail(c, "bad ATA string length: " + args[2]);
    }
    s.resize(n, ' ');
    Reserve(a, off, n);
    for (u64 i = 0; i < n; i += 2) {
        a.payload[off + i] = static_cast<u8>(s[i + 1]);
        a.payload[off + i + 1] = static_cast<u8>(s[i]);
    }
    return true;
}

bool PutInteger(Ctx& c, Answer& a, const std::vector<std::string>& args, bool big_endian)
{
    u64 off = 0;
    u64 width = 0;
    u64 v = 0;
    if (!Offset(c, args[1], &off)) {
        return false;
    }
    if (!ParseNumber(args[2], &width) || width < 1 || width > 8) {
        return Fail(c, "bad width: " + args[2]);
    }
    if (!ParseNumber(args[3], &v) || (width < 8 && v >> (8 * width) != 0)) {
        return Fail(c, "bad value: " + args[3]);
    }
    Reserve(a, off, width);
    for (u64 i = 0; i < width; i++) {
        u8 byte = static_cast<u8>(v >> (8 * i));
        a.payload[off + (big_endian ? width - 1 - i : i)] = byte;
    }
    return true;
}

bool AttrLe(Ctx& c, Answer& a, const std::vector<std::string>& args) { return PutInteger(c, a, args, false); }
bool AttrBe(Ctx& c, Answer& a, const std::vector<std::string>& args) { return PutInteger(c, a, args, true); }

// The byte that makes its 512-byte sector sum to zero (IDENTIFY word 255, SMART data byte 511).
bool AttrChecksum(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 off = 0;
    if (!Offset(c, args[1], &off)) {
        return false;
    }
    Reserve(a, off, 1);
    u8 sum = 0;
    for (u64 i = off & ~u64(511); i < off; i++) {
        sum = static_cast<u8>(sum + a.payload[i]);
    }
    a.payload[off] = static_cast<u8>(0x100 - sum);
    return true;
}

bool AttrStatus(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    if (!ParseHexByte(args[1], &a.status)) {
        return Fail(c, "bad status: " + args[1]);
    }
    a.has_status = true;
    return true;
}

bool AttrSense(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    a.sense.clear();
    a.has_sense = true;
    return ParseHexBytes(c, args, 1, &a.sense);
}

bool SenseTriple(Ctx& c, const std::vector<std::string>& args, u8* key, u8* asc, u8* ascq)
{
    if (!ParseHexByte(args[1], key) || *key > 0x0F || !ParseHexByte(args[2], asc) || !ParseHexByte(args[3], ascq)) {
        return Fail(c, "sense needs <key> <asc> <ascq> in hex");
    }
    return true;
}

// Fixed format, 18 bytes.
bool AttrSenseFixed(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u8 key = 0, asc = 0, ascq = 0;
    if (!SenseTriple(c, args, &key, &asc, &ascq)) {
        return false;
    }
    a.sense.assign(18, 0);
    a.sense[0] = 0x70;
    a.sense[2] = key;
    a.sense[7] = 10;
    a.sense[12] = asc;
    a.sense[13] = ascq;
    a.has_sense = true;
    return true;
}

// Descriptor format header without descriptors, 8 bytes.
bool AttrSenseDesc(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u8 key = 0, asc = 0, ascq = 0;
    if (!SenseTriple(c, args, &key, &asc, &ascq)) {
        return false;
    }
    a.sense.assign(8, 0);
    a.sense[0] = 0x72;
    a.sense[1] = key;
    a.sense[2] = asc;
    a.sense[3] = ascq;
    a.has_sense = true;
    return true;
}

bool AttrHostStatus(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    if (!ParseHexByte(args[1], &a.host_status)) {
        return Fail(c, "bad host status: " + args[1]);
    }
    a.has_host_status = true;
    return true;
}

bool AttrDriverStatus(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    if (!ParseHexByte(args[1], &a.driver_status)) {
        return Fail(c, "bad driver status: " + args[1]);
    }
    a.has_driver_status = true;
    return true;
}

bool AttrSenseWritten(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 n = 0;
    if (!ParseNumber(args[1], &n) || n > 255) {
        return Fail(c, "bad sense count: " + args[1]);
    }
    a.sense_written = static_cast<long>(n);
    return true;
}

// A count the driver reports: "-" in front for a negative one (an overrun).
bool AttrResid(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    const bool negative = !args[1].empty() && args[1][0] == '-';
    u64 n = 0;
    if (!ParseNumber(negative ? args[1].substr(1) : args[1], &n) || n > (negative ? 0x80000000ull : 0x7FFFFFFFull)) {
        return Fail(c, "bad residual: " + args[1]);
    }
    a.has_resid = true;
    a.resid = negative ? -static_cast<long>(n) : static_cast<long>(n);
    return true;
}

bool AttrErrno(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    if (!ParseErrno(args[1], &a.sys_errno)) {
        return Fail(c, "bad errno: " + args[1]);
    }
    return true;
}

bool AttrRegs(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    for (size_t i = 1; i < args.size(); i++) {
        size_t eq = args[i].find('=');
        int reg = eq == std::string::npos ? -1 : LookupReturnedReg(args[i].substr(0, eq));
        u8 v = 0;
        if (reg < 0 || !ParseHexByte(args[i].substr(eq + 1), &v)) {
            return Fail(c, "bad register: " + args[i]);
        }
        a.reg_set[reg] = true;
        a.reg_val[reg] = v;
    }
    return true;
}

bool AttrStatusReturn(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    if (args[1] == "none") {
        a.no_status_return = true;
    } else if (args[1] == "descriptor") {
        a.no_status_return = false;
    } else {
        return Fail(c, "status-return is none or descriptor");
    }
    return true;
}

bool AttrStatusBlock(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 n = 0;
    if (!ParseNumber(args[1], &n) || n > 24) {
        return Fail(c, "bad status block length: " + args[1]);
    }
    a.status_block = static_cast<long>(n);
    return true;
}

bool AttrTimes(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    u64 n = 0;
    if (!ParseNumber(args[1], &n) || n == 0 || n > 0x7FFFFFFF) {
        return Fail(c, "bad count: " + args[1]);
    }
    a.times = static_cast<long>(n);
    return true;
}

bool AttrKill(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    if (args.size() > 1) {
        return Fail(c, "kill takes no value");
    }
    a.kill = true;
    return true;
}

bool AttrRun(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    a.run = Unquote(args[1]);
    if (a.run.empty()) {
        return Fail(c, "run takes a shell command");
    }
    return true;
}

bool AttrOffsetFrom(Ctx& c, Answer& a, const std::vector<std::string>& args)
{
    bool ok = a.proto == PROTO_ATA ? LookupAtaField(args[1], &a.offset_field)
                                   : LookupScsiField(args[1], a.any_opcode, a.opcode, &a.offset_field);
    if (!ok) {
        return Fail(c, "unknown field: " + args[1]);
    }
    if (args.size() > 2 && (!ParseNumber(args[2], &a.offset_scale) || a.offset_scale == 0)) {
        return Fail(c, "bad scale: " + args[2]);
    }
    if (args.size() > 3 && !ParseNumber(args[3], &a.offset_base)) {
        return Fail(c, "bad base: " + args[3]);
    }
    a.has_offset = true;
    return true;
}

struct AttrRow {
    const char* name;
    size_t min_args;   // after the name
    size_t max_args;   // after the name; 0 = no limit
    AttrFn fn;
    bool ata_only;
};

// One row per answer attribute.
const AttrRow answer_attrs[] = {
    {"data", 1, 0, AttrData, false},
    {"file", 1, 1, AttrFile, false},
    {"size", 1, 1, AttrSize, false},
    {"fill", 3, 3, AttrFill, false},
    {"put", 2, 0, AttrPut, false},
    {"text", 2, 2, AttrText, false},
    {"ata-text", 3, 3, AttrAtaText, false},
    {"le", 3, 3, AttrLe, false},
    {"be", 3, 3, AttrBe, false},
    {"checksum", 1, 1, AttrChecksum, false},
    {"status", 1, 1, AttrStatus, false},
    {"sense", 1, 0, AttrSense, false},
    {"sense-fixed", 3, 3, AttrSenseFixed, false},
    {"sense-desc", 3, 3, AttrSenseDesc, false},
    {"host-status", 1, 1, AttrHostStatus, false},
    {"driver-status", 1, 1, AttrDriverStatus, false},
    {"sense-written", 1, 1, AttrSenseWritten, false},
    {"resid", 1, 1, AttrResid, false},
    {"errno", 1, 1, AttrErrno, false},
    {"regs", 1, 0, AttrRegs, true},
    {"status-return", 1, 1, AttrStatusReturn, true},
    {"status-block", 1, 1, AttrStatusBlock, true},
    {"times", 1, 1, AttrTimes, false},
    {"kill", 0, 0, AttrKill, false},
    {"run", 1, 1, AttrRun, false},
    {"offset-from", 1, 3, AttrOffsetFrom, false},
};

struct Parser {
    std::map<std::string, Drive>* drives;
    size_t* order;
    int depth;
    Drive* drive = nullptr;
    Answer* answer = nullptr;
};

bool DirDrive(Ctx& c, Parser& p, const std::vector<std::string>& t)
{
    if (t.size() < 2 || t.size() > 3) {
        return Fail(c, "drive <node> [<kind>]");
    }
    const std::string node = Unquote(t[1]);
    if (node.empty()) {
        return Fail(c, "empty node");
    }
    auto it = p.drives->find(node);
    if (it == p.drives->end()) {
        if (t.size() < 3) {
            return Fail(c, "a new drive needs a kind");
        }
        if (!IsKnownKind(t[2])) {
            return Fail(c, "unknown kind: " + t[2]);
        }
        Drive d;
        d.node = node;
        d.kind = t[2];
        it = p.drives->emplace(node, d).first;
    } else if (t.size() == 3 && t[2] != it->second.kind) {
        return Fail(c, node + " is already a " + it->second.kind + " drive");
    }
    p.drive = &it->second;
    p.answer = nullptr;
    return true;
}

bool DirAnswer(Ctx& c, Parser& p, const std::vector<std::string>& t)
{
    if (p.drive == nullptr) {
        return Fail(c, "answer before any drive");
    }
    if (t.size() < 3 || (t[1] != "scsi" && t[1] != "ata")) {
        return Fail(c, "answer scsi|ata <opcode>|* [<field>=<value>...]");
    }
    Answer a;
    a.proto = t[1] == "scsi" ? PROTO_SCSI : PROTO_ATA;
    a.where = Where(c);
    a.order = (*p.order)++;
    if (t[2] == "*") {
        a.any_opcode = true;
    } else if (!ParseHexByte(t[2], &a.opcode)) {
        return Fail(c, "bad opcode: " + t[2]);
    }
    for (size_t i = 3; i < t.size(); i++) {
        size_t eq = t[i].find('=');
        if (eq == std::string::npos) {
            return Fail(c, "selector needs <field>=<value>: " + t[i]);
        }
        Selector s;
        const std::string name = t[i].substr(0, eq);
        bool ok = a.proto == PROTO_ATA ? LookupAtaField(name, &s.field)
                                       : LookupScsiField(name, a.any_opcode, a.opcode, &s.field);
        if (!ok) {
            return Fail(c, "unknown field: " + name);
        }
        if (!ParseHex(t[i].substr(eq + 1), &s.value)) {
            return Fail(c, "bad value: " + t[i]);
        }
        // A value the field can never hold would silently never match.
        const size_t width = s.field.bytes.size();
        if ((s.value & ~s.field.mask) != 0 || (width < 8 && (s.value >> (8 * width)) != 0)) {
            return Fail(c, "value does not fit " + name + ": " + t[i]);
        }
        a.selectors.push_back(s);
    }
    p.drive->answers.push_back(a);
    p.answer = &p.drive->answers.back();
    return true;
}

bool ParseLines(Ctx& c, Parser& p, const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> t;
    while (std::getline(in, line)) {
        c.line++;
        std::string terr;
        if (!Tokenize(line, &t, &terr)) {
            return Fail(c, terr);
        }
        if (t.empty()) {
            continue;
        }
        const std::string& kw = t[0];
        if (kw == "include") {
            if (t.size() != 2) {
                return Fail(c, "include <path>");
            }
            std::string err;
            if (!ParseFixtureFile(Resolve(c, Unquote(t[1])), p.drives, p.order, &err, p.depth + 1)) {
                return Fail(c, err);
            }
            // The included text may have added drives; pointers into the map stay valid,
            // but a block never continues across an include.
            p.drive = nullptr;
            p.answer = nullptr;
        } else if (kw == "drive") {
            if (!DirDrive(c, p, t)) {
                return false;
            }
        } else if (kw == "open-errno") {
            if (p.drive == nullptr || t.size() != 2 || !ParseErrno(t[1], &p.drive->open_errno)) {
                return Fail(c, "open-errno <errno> inside a drive");
            }
        } else if (kw == "answer") {
            if (!DirAnswer(c, p, t)) {
                return false;
            }
        } else if (IsMegaRaidDirective(kw)) {
            std::string err;
            if (p.drive == nullptr) {
                return Fail(c, kw + " inside a drive");
            }
            if (!ParseMegaRaidDirective(p.drive, t, &err)) {
                return Fail(c, err);
            }
        } else {
            const AttrRow* attr = nullptr;
            for (const AttrRow& s : answer_attrs) {
                if (kw == s.name) {
                    attr = &s;
                }
            }
            if (attr == nullptr) {
                return Fail(c, "unknown directive: " + kw);
            }
            if (p.answer == nullptr) {
                return Fail(c, kw + " outside an answer");
            }
            size_t n = t.size() - 1;
            if (n < attr->min_args || (attr->max_args != 0 && n > attr->max_args)) {
                return Fail(c, "wrong argument count for " + kw);
            }
            if (attr->ata_only && p.answer->proto != PROTO_ATA) {
                return Fail(c, kw + " is for ata answers");
            }
            if (!attr->fn(c, *p.answer, t)) {
                return false;
            }
        }
    }
    return true;
}

std::string DirName(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool ParseErrnoName(const std::string& text, int* value) { return ParseErrno(text, value); }

bool ParseFixtureText(const std::string& text, const std::string& file_label, const std::string& base_dir,
                      std::map<std::string, Drive>* drives, size_t* order, std::string* error, int depth)
{
    if (depth > 16) {
        *error = file_label + ": includes nest too deep";
        return false;
    }
    Ctx c;
    c.label = file_label;
    c.base_dir = base_dir;
    Parser p;
    p.drives = drives;
    p.order = order;
    p.depth = depth;
    if (!ParseLines(c, p, text)) {
        *error = c.error;
        return false;
    }
    return true;
}

bool ParseFixtureFile(const std::string& path, std::map<std::string, Drive>* drives, size_t* order,
                      std::string* error, int depth)
{
    Bytes b;
    if (!ReadWholeFile(path, &b)) {
        *error = "cannot read fixture " + path;
        return false;
    }
    return ParseFixtureText(std::string(b.begin(), b.end()), BaseName(path), DirName(path), drives, order, error,
                            depth);
}

} // namespace zvemu
