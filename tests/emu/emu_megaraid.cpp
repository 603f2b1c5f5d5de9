// MegaRAID controllers: the host number of a disk node (SCSI_IOCTL_GET_IDLUN), the driver
// lines of "/proc/devices", the management nodes that mknod makes, and the controller
// requests: MEGASAS_IOC_FIRMWARE (megaraid_sas) and MEGAIOCCMD (legacy megaraid).
// A controller request reaches the fixture drive of its target id, which answers the CDB as
// it answers SG_IO. Packet layouts are those of the x86_64 drivers, read byte by byte here
// so that they are checked independently of the program's own definitions.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "emu_megaraid.h"

#include <dlfcn.h>
#include <errno.h>
#include <scsi/scsi.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace zvemu {

bool ParseErrnoName(const std::string& text, int* value);   // emu_fixture.cpp

namespace {

const char kSasKind[] = "megaraid_sas";
const char kDevKind[] = "megadev";
const int kSasDefaultMajor = 250;
const int kDevDefaultMajor = 251;
const char kProcDevicesPath[] = "/proc/devices";

// MEGASAS_IOC_FIRMWARE: the 404-byte megasas_iocpacket (host number, scatter-gather offset
// and count, sense offset and length, a 128-byte frame, 16 iovecs of 16 bytes).
const size_t kSasPacketLen = 404;
const size_t kSasFrame = 20;
const size_t kSasSgl = 148;
const size_t kSasSgeLen = 16;
const u32 kSasMaxSge = 16;
const size_t kFrameLen = 128;
const unsigned long kMegaSasIocFirmware = _IOC(_IOC_READ | _IOC_WRITE, 'M', 1, kSasPacketLen);

// MFI frame fields (offsets within the frame) and completion statuses.
const size_t kFrameCmdStatus = 2;
const size_t kFrameSgl = 48;
const u8 kMfiCmdPdScsiIo = 0x04;
const u8 kMfiOk = 0x00;
const u8 kMfiInvalidCmd = 0x01;
const u8 kMfiInvalidParameter = 0x03;
const u8 kMfiDeviceNotFound = 0x0C;
const u8 kMfiScsiDoneWithError = 0x2D;

// MEGAIOCCMD: the 110-byte mimd_t (lengths, opcode, adapter, 18-byte mailbox, 60-byte
// pass-through block, data pointer).
const size_t kMimdLen = 110;
const size_t kMimdMbox = 24;
const size_t kMimdPthru = 42;
const size_t kMimdData = 102;
const size_t kMboxStatus = 17;
const size_t kPthruCdbMax = 10;
const unsigned long kMegaIocCmd = _IOC(_IOC_READ | _IOC_WRITE, 'm', 0, kMimdLen);
const u8 kMegaOpPassThrough = 0x80;
const u8 kMboxCmdPassThrough = 0x03;
const u8 kMboxFailed = 0x01;
const u8 kMboxCheckCondition = 0x02;

u32 Le(const Bytes& b, size_t off, int width)
{
    u32 v = 0;
    for (int i = width - 1; i >= 0; i--) {
        v = (v << 8) | b[off + i];
    }
    return v;
}

u64 Le64(const Bytes& b, size_t off) { return (u64(Le(b, off + 4, 4)) << 32) | Le(b, off, 4); }

void Zero(Bytes* b, size_t off, size_t n) { std::fill(b->begin() + off, b->begin() + off + n, 0); }

int Refuse(TraceEntry* e, int err)
{
    e->err = err;
    RecordEvent(*e);
    errno = err;
    return -1;
}

std::string Unquote(const std::string& t) { return !t.empty() && t[0] == '\x01' ? t.substr(1) : t; }

bool ParseInt(const std::string& t, int lo, int hi, int* v)
{
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    int n = atoi(t.c_str());
    if (n < lo || n > hi) {
        return false;
    }
    *v = n;
    return true;
}

int MajorOf(const Drive& d)
{
    if (d.raid.major >= 0) {
        return d.raid.major;
    }
    return d.kind == kSasKind ? kSasDefaultMajor : kDevDefaultMajor;
}

std::string ChrdevOf(const Drive& d)
{
    if (!d.raid.chrdev.empty()) {
        return d.raid.chrdev;
    }
    return d.kind == kSasKind ? "megaraid_sas_ioctl" : "megadev";
}

bool NodeExists(const Drive& d) { return d.raid.present || d.raid.created; }

// ---- Directives ----

typedef bool (*DirectiveFn)(Drive*, const std::vector<std::string>&, std::string*);

bool DirScsiHost(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    if (!ParseInt(t[1], 0, 255, &d->raid.scsi_host)) {
        *error = "bad host number: " + t[1];
        return false;
    }
    return true;
}

bool DirIdLunErrno(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    if (!ParseErrnoName(t[1], &d->raid.idlun_errno)) {
        *error = "bad errno: " + t[1];
        return false;
    }
    return true;
}

bool DirHost(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    if (!ParseInt(t[1], 0, 255, &d->raid.host)) {
        *error = "bad host number: " + t[1];
        return false;
    }
    return true;
}

bool DirMajor(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    if (!ParseInt(t[1], 1, 4095, &d->raid.major)) {
        *error = "bad major: " + t[1];
        return false;
    }
    return true;
}

bool DirChrdev(Drive* d, const std::vector<std::string>& t, std::string* /*error*/)
{
    const std::string name = Unquote(t[1]);
    d->raid.listed = name != "none";
    d->raid.chrdev = d->raid.listed ? name : "";
    return true;
}

bool DirPresent(Drive* d, const std::vector<std::string>&, std::string*)
{
    d->raid.present = true;
    return true;
}

bool DirTarget(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    int id = 0;
    const std::string node = Unquote(t[2]);
    if (!ParseInt(t[1], 0, 255, &id) || node.empty()) {
        *error = "target <id 0-255> <drive>";
        return false;
    }
    d->raid.targets[id] = node;
    return true;
}

bool DirMknodErrno(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    if (!ParseErrnoName(t[1], &d->raid.mknod_errno)) {
        *error = "bad errno: " + t[1];
        return false;
    }
    return true;
}

bool DirIoctlErrno(Drive* d, const std::vector<std::string>& t, std::string* error)
{
    if (!ParseErrnoName(t[1], &d->raid.ioctl_errno)) {
        *error = "bad errno: " + t[1];
        return false;
    }
    return true;
}

struct DirectiveRow {
    const char* name;
    size_t args;        // after the name
    bool controller;    // for a controller node; else for a disk node
    DirectiveFn fn;
};

// One row per directive.
const DirectiveRow directives[] = {
    {"scsi-host", 1, false, DirScsiHost},
    {"idlun-errno", 1, false, DirIdLunErrno},
    {"host", 1, true, DirHost},
    {"major", 1, true, DirMajor},
    {"chrdev", 1, true, DirChrdev},
    {"present", 0, true, DirPresent},
    {"target", 2, true, DirTarget},
    {"mknod-errno", 1, true, DirMknodErrno},
    {"ioctl-errno", 1, true, DirIoctlErrno},
};

const DirectiveRow* FindDirective(const std::string& kw)
{
    for (const DirectiveRow& d : directives) {
        if (kw == d.name) {
            return &d;
        }
    }
    return nullptr;
}

// ---- Controller requests ----

int TraceDirOfFlags(u32 flags)
{
    switch (flags & 0x18) {
    case 0x08: return TRACE_DIR_OUT;
    case 0x10: return TRACE_DIR_IN;
    case 0x18: return TRACE_DIR_INOUT;
    default: return TRACE_DIR_NONE;
    }
}

bool IsOut(int dir) { return dir == TRACE_DIR_OUT || dir == TRACE_DIR_INOUT; }
bool IsIn(int dir) { return dir == TRACE_DIR_IN || dir == TRACE_DIR_INOUT; }

Drive* TargetDrive(const Drive& ctl, int target)
{
    auto t = ctl.raid.targets.find(target);
    if (t == ctl.raid.targets.end()) {
        return nullptr;
    }
    auto d = EmulatedDrives().find(t->second);
    return d == EmulatedDrives().end() ? nullptr : &d->second;
}

bool IsGood(const Reply& r)
{
    return r.status == 0 && r.host_status == 0 && r.driver_status <= 0;
}

// The target drive answers the CDB; data to the host goes into the user buffer.
void RunOnTarget(Drive* target, const Bytes& cdb, int dir, u8* buf, u32 len, const Bytes& out, Reply* r,
                 TraceEntry* e)
{
    Request q;
    q.node = target->node;
    q.cdb = cdb;
    q.dir = dir;
    q.len = len;
    q.data_out = out;
    AnswerRequest(target, q, r);
    e->via = r->via;
    if (r->sys_errno == 0 && IsIn(dir) && buf != nullptr && !r->data.empty()) {
        memcpy(buf, r->data.data(), std::min(r->data.size(), static_cast<size_t>(len)));
    }
}

int MegaSasRequest(Drive* ctl, TraceEntry* e, void* arg)
{
    e->op = "mfi";
    if (arg == nullptr) {
        return Refuse(e, EFAULT);
    }
    u8* user = static_cast<u8*>(arg);
    Bytes pkt(user, user + kSasPacketLen);
    const u32 host_no = Le(pkt, 0, 2);
    const u32 sgl_off = Le(pkt, 4, 4);
    const u32 sge_count = Le(pkt, 8, 4);
    const size_t f = kSasFrame;
    const u8 cmd = pkt[f + 0];
    const u8 target = pkt[f + 4];
    const u8 lun = pkt[f + 5];
    const u8 cdb_len = pkt[f + 6];
    const u32 flags = Le(pkt, f + 16, 2);
    const u32 xfer_len = Le(pkt, f + 20, 4);
    const u32 frame_addr = Le(pkt, f + kFrameSgl, 4);
    const u64 base0 = Le64(pkt, kSasSgl);
    const u64 len0 = Le64(pkt, kSasSgl + 8);

    bool addr_ok = frame_addr == static_cast<u32>(base0);
    for (u32 i = std::max<u32>(sge_count, 1); i < kSasMaxSge; i++) {
        addr_ok = addr_ok && Le64(pkt, kSasSgl + i * kSasSgeLen) == 0;
    }
    e->addr = addr_ok ? "ok" : "bad";
    e->packet = pkt;
    Zero(&e->packet, f + kFrameSgl, 4);
    for (u32 i = 0; i < kSasMaxSge; i++) {
        Zero(&e->packet, kSasSgl + i * kSasSgeLen, 8);
    }
    e->cdb.assign(pkt.begin() + f + 32, pkt.begin() + f + 32 + std::min<size_t>(cdb_len, 16));
    e->dir = TraceDirOfFlags(flags);
    u8* buf = sge_count >= 1 ? reinterpret_cast<u8*>(static_cast<uintptr_t>(base0)) : nullptr;
    e->len = buf != nullptr ? static_cast<u32>(len0) : 0;
    Bytes out;
    if (IsOut(e->dir) && buf != nullptr) {
        out.assign(buf, buf + e->len);
        e->data = out;
    }

    // What the driver refuses before the firmware sees the frame.
    if (host_no != static_cast<u32>(ctl->raid.host)) {
        return Refuse(e, ENODEV);
    }
    if (sge_count > kSasMaxSge || (sge_count != 0 && sgl_off + 8 > kFrameLen)) {
        return Refuse(e, EINVAL);
    }
    if (ctl->raid.ioctl_errno != 0) {
        return Refuse(e, ctl->raid.ioctl_errno);
    }

    u8 status = kMfiOk;
    Drive* drive = TargetDrive(*ctl, target);
    if (cmd != kMfiCmdPdScsiIo) {
        status = kMfiInvalidCmd;
    } else if (cdb_len == 0 || cdb_len > 16 || (buf != nullptr && xfer_len != len0)) {
        status = kMfiInvalidParameter;
    } else if (drive == nullptr || lun != 0) {
        status = kMfiDeviceNotFound;
    } else {
        Reply r;
        RunOnTarget(drive, e->cdb, e->dir, buf, e->len, out, &r, e);
        if (r.sys_errno != 0) {
            return Refuse(e, r.sys_errno);
        }
        status = IsGood(r) ? kMfiOk : kMfiScsiDoneWithError;
    }
    // The driver copies only the completion status back into the frame.
    user[f + kFrameCmdStatus] = status;
    RecordEvent(*e);
    return 0;
}

int MegaDevRequest(Drive* ctl, TraceEntry* e, void* arg)
{
    e->op = "mimd";
    if (arg == nullptr) {
        return Refuse(e, EFAULT);
    }
    u8* user = static_cast<u8*>(arg);
    Bytes pkt(user, user + kMimdLen);
    const u32 inlen = Le(pkt, 0, 4);
    const u32 outlen = Le(pkt, 4, 4);
    const u8 opcode = pkt[8];
    const u32 adapno = Le(pkt, 10, 2);
    const size_t m = kMimdMbox;
    const size_t p = kMimdPthru;
    const u32 mbox_xferaddr = Le(pkt, m + 8, 4);
    const u8 channel = pkt[p + 2];
    const u8 target = pkt[p + 3];
    const u8 cdblen = pkt[p + 16];
    const u32 dataxferaddr = Le(pkt, p + 52, 4);
    const u32 dataxferlen = Le(pkt, p + 56, 4);
    const u64 data = Le64(pkt, kMimdData);

    const u32 pthru_addr = static_cast<u32>(reinterpret_cast<uintptr_t>(user + p));
    e->addr = mbox_xferaddr == pthru_addr && dataxferaddr == static_cast<u32>(data) ? "ok" : "bad";
    e->packet = pkt;
    Zero(&e->packet, m + 8, 4);
    Zero(&e->packet, p + 52, 4);
    Zero(&e->packet, kMimdData, 8);
    e->cdb.assign(pkt.begin() + p + 6, pkt.begin() + p + 6 + std::min<size_t>(cdblen, kPthruCdbMax));
    // The driver moves the data by the two lengths: inlen to the drive, outlen back.
    e->dir = inlen != 0 && outlen != 0 ? TRACE_DIR_INOUT
             : inlen != 0            ? TRACE_DIR_OUT
             : outlen != 0           ? TRACE_DIR_IN
                                     : TRACE_DIR_NONE;
    u8* buf = reinterpret_cast<u8*>(static_cast<uintptr_t>(data));
    e->len = dataxferlen;
    Bytes out;
    if (IsOut(e->dir) && buf != nullptr) {
        out.assign(buf, buf + e->len);
        e->data = out;
    }

    if ((adapno >> 8) != 'm' || (adapno & 0xFF) != static_cast<u32>(ctl->raid.host)) {
        return Refuse(e, ENODEV);
    }
    if (opcode != kMegaOpPassThrough || pkt[m] != kMboxCmdPassThrough ||
        dataxferlen > std::max(inlen, outlen) || (dataxferlen != 0 && buf == nullptr)) {
        return Refuse(e, EINVAL);
    }
    if (ctl->raid.ioctl_errno != 0) {
        return Refuse(e, ctl->raid.ioctl_errno);
    }

    u8 mbox_status = kMboxFailed;
    u8 scsi_status = 0;
    Drive* drive = channel == 0 ? TargetDrive(*ctl, target) : nullptr;
    if (cdblen != 0 && cdblen <= kPthruCdbMax && drive != nullptr) {
        Reply r;
        RunOnTarget(drive, e->cdb, e->dir, buf, e->len, out, &r, e);
        if (r.sys_errno != 0) {
            return Refuse(e, r.sys_errno);
        }
        const bool good = IsGood(r);
        scsi_status = good ? 0 : (r.status != 0 ? r.status : kMboxCheckCondition);
        mbox_status = good ? 0 : kMboxCheckCondition;
    }
    user[m + kMboxStatus] = mbox_status;
    user[p + 51] = scsi_status;
    RecordEvent(*e);
    return 0;
}

// ---- mknod ----

bool IsUnderDev(const char* path) { return path != nullptr && strncmp(path, "/dev/", 5) == 0; }

// Device nodes are never made for real, and nothing under /dev is: the configured
// controller nodes come into being in the emulator, every other one is refused.
int EmulatedMknod(const char* path, mode_t mode, dev_t dev)
{
    TraceEntry e;
    e.op = "mknod";
    e.node = path != nullptr ? path : "";
    e.mode = mode;
    e.major = major(dev);
    e.minor = minor(dev);
    if (path == nullptr) {
        return Refuse(&e, EFAULT);
    }
    std::map<std::string, Drive>& drives = EmulatedDrives();
    auto it = drives.find(path);
    if (it == drives.end()) {
        return Refuse(&e, EPERM);
    }
    MegaRaidConfig& c = it->second.raid;
    if (!IsControllerKind(it->second.kind)) {
        return Refuse(&e, EEXIST);
    }
    if (c.mknod_errno != 0) {
        return Refuse(&e, c.mknod_errno);
    }
    if (NodeExists(it->second)) {
        return Refuse(&e, EEXIST);
    }
    c.created = true;
    c.created_mode = mode;
    c.created_major = e.major;
    c.created_minor = e.minor;
    RecordEvent(e);
    return 0;
}

bool IsDeviceMode(mode_t mode) { return S_ISCHR(mode) || S_ISBLK(mode); }

} // namespace

bool IsControllerKind(const std::string& kind) { return kind == kSasKind || kind == kDevKind; }

bool IsMegaRaidDirective(const std::string& kw) { return FindDirective(kw) != nullptr; }

bool ParseMegaRaidDirective(Drive* drive, const std::vector<std::string>& tokens, std::string* error)
{
    const DirectiveRow* row = tokens.empty() ? nullptr : FindDirective(tokens[0]);
    if (row == nullptr || drive == nullptr) {
        *error = "not a drive directive";
        return false;
    }
    if (tokens.size() != row->args + 1) {
        *error = "wrong argument count for " + tokens[0];
        return false;
    }
    if (row->controller != IsControllerKind(drive->kind)) {
        *error = tokens[0] + (row->controller ? " is for a controller node" : " is for a disk node");
        return false;
    }
    return row->fn(drive, tokens, error);
}

int ControllerOpenErrno(const Drive& d)
{
    if (!IsControllerKind(d.kind)) {
        return 0;
    }
    if (!NodeExists(d)) {
        return ENOENT;
    }
    // A character node of another number reaches no driver of ours.
    if (d.raid.created && (!S_ISCHR(d.raid.created_mode) || d.raid.created_major != static_cast<unsigned>(MajorOf(d)) ||
                           d.raid.created_minor != 0)) {
        return ENXIO;
    }
    return 0;
}

int IoctlGetIdLun(Drive* drive, const std::string& node, void* arg)
{
    TraceEntry e;
    e.op = "ioctl";
    e.node = node;
    e.request = SCSI_IOCTL_GET_IDLUN;
    if (drive == nullptr) {
        return Refuse(&e, ENODEV);
    }
    if (arg == nullptr) {
        return Refuse(&e, EFAULT);
    }
    if (drive->raid.idlun_errno != 0) {
        return Refuse(&e, drive->raid.idlun_errno);
    }
    // Target, LUN and channel 0; the host number in the top byte, and as the unique id.
    const u32 words[2] = {static_cast<u32>(drive->raid.scsi_host) << 24, static_cast<u32>(drive->raid.scsi_host)};
    memcpy(arg, words, sizeof(words));
    RecordEvent(e);
    return 0;
}

int ControllerIoctl(Drive* drive, const std::string& node, unsigned long request, void* arg)
{
    TraceEntry e;
    e.node = node;
    e.request = request;
    if (request == kMegaSasIocFirmware && drive->kind == kSasKind) {
        return MegaSasRequest(drive, &e, arg);
    }
    if (request == kMegaIocCmd && drive->kind == kDevKind) {
        return MegaDevRequest(drive, &e, arg);
    }
    e.op = "ioctl";
    return Refuse(&e, ENOTTY);
}

bool IsProcDevices(const char* path) { return path != nullptr && strcmp(path, kProcDevicesPath) == 0; }

std::string ProcDevicesText()
{
    std::vector<std::pair<int, std::string>> chr = {
        {1, "mem"}, {4, "/dev/vc/0"}, {4, "tty"}, {5, "/dev/tty"}, {5, "/dev/console"},
        {10, "misc"}, {21, "sg"}, {128, "ptm"}, {136, "pts"},
    };
    for (const auto& d : EmulatedDrives()) {
        if (IsControllerKind(d.second.kind) && d.second.raid.listed) {
            chr.emplace_back(MajorOf(d.second), ChrdevOf(d.second));
        }
    }
    std::stable_sort(chr.begin(), chr.end(),
                     [](const std::pair<int, std::string>& a, const std::pair<int, std::string>& b) {
                         return a.first < b.first;
                     });
    std::string text = "Character devices:\n";
    char line[160];
    for (const auto& c : chr) {
        snprintf(line, sizeof(line), "%3d %s\n", c.first, c.second.c_str());
        text += line;
    }
    text += "\nBlock devices:\n  8 sd\n 65 sd\n";
    return text;
}

FILE* OpenProcDevices()
{
    TraceEntry e;
    e.op = "fopen";
    e.node = kProcDevicesPath;
    RecordEvent(e);
    const std::string text = ProcDevicesText();
    // The stream owns its buffer, so nothing outlives fclose.
    FILE* f = fmemopen(nullptr, text.size(), "w+");
    if (f == nullptr) {
        return nullptr;
    }
    fwrite(text.data(), 1, text.size(), f);
    rewind(f);
    return f;
}

} // namespace zvemu

extern "C" {

int mknod(const char* path, mode_t mode, dev_t dev) __THROW
{
    if (zvemu::IsUnderDev(path) || zvemu::IsDeviceMode(mode)) {
        return zvemu::EmulatedMknod(path, mode, dev);
    }
    static auto real = reinterpret_cast<int (*)(const char*, mode_t, dev_t)>(dlsym(RTLD_NEXT, "mknod"));
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    return real(path, mode, dev);
}

int mknodat(int dirfd, const char* path, mode_t mode, dev_t dev) __THROW
{
    if (zvemu::IsUnderDev(path) || zvemu::IsDeviceMode(mode)) {
        return zvemu::EmulatedMknod(path, mode, dev);
    }
    static auto real = reinterpret_cast<int (*)(int, const char*, mode_t, dev_t)>(dlsym(RTLD_NEXT, "mknodat"));
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    return real(dirfd, path, mode, dev);
}

} // extern "C"
