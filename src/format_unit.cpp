#include "format_unit.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cmd_resp_log.h"
#include "decode_util.h"
#include "disk_transport.h"
#include "front_state.h"

namespace {

const int kSenseBufLen = 32;
const int kOpenFlags = O_RDWR | O_NONBLOCK | O_DIRECT | O_LARGEFILE;

const u8 kStatusCheckCondition = 0x02;
const u8 kKeyNotReady = 0x02;
const u8 kKeyIllegalRequest = 0x05;
const u8 kKeyUnitAttention = 0x06;

// Host statuses of a lost connection, a busy bus and a time-out; driver statuses of a
// time-out and of sense data.
const int kHostNoConnect = 1;
const int kHostTimeOut = 3;
const int kDriverTimeout = 6;
const int kDriverSense = 8;

// The errno-like values printed for a request that the host or driver failed.
const int kErrTimedOut = 110;
const int kErrIo = 5;

// FORMAT UNIT parameter list header flags: FOV, DCRT, STPF, IP and IMMED.
const u8 kFormatListFlags = 0xBA;
const u8 kPatternTypeRepeat = 0x01;
const int kFormatListHead = 8;
const int kMaxBlockLen = 0xFFFF;   // the initialization pattern length is 16 bits

void ReportNotSent(int err)
{
    printf("errno=%x\n", static_cast<unsigned>(err));
    fflush(nullptr);
}

// One request on the procedure's own node, with the sense buffer zeroed. -1 when it was not
// carried out: the ioctl failed, or the host or the driver failed it (a status byte is then
// meaningless and must not pass as GOOD). Sense reported by the driver counts as CHECK CONDITION.
int Send(int fd, sg_io_hdr* hdr, u8* cdb, int dir, u8* data, int len, unsigned timeout_ms, u8* sense)
{
    memset(hdr, 0, sizeof(*hdr));
    memset(sense, 0, kSenseBufLen);
    hdr->interface_id = 'S';
    hdr->cmd_len = 6;
    hdr->cmdp = cdb;
    hdr->dxfer_direction = dir;
    hdr->dxfer_len = static_cast<unsigned>(len);
    hdr->dxferp = len > 0 ? data : nullptr;
    hdr->mx_sb_len = kSenseBufLen;
    hdr->sbp = sense;
    hdr->timeout = timeout_ms;
    errno = 0;
    if (ioctl(fd, SG_IO, hdr) < 0) {
        ReportNotSent(errno);
        return -1;
    }
    const int host = hdr->host_status;
    const int driver = hdr->driver_status & 0x0F;
    if (host != 0) {
        ReportNotSent(host >= kHostNoConnect && host <= kHostTimeOut ? kErrTimedOut : kErrIo);
        return -1;
    }
    if (driver == kDriverTimeout) {
        ReportNotSent(kErrTimedOut);
        return -1;
    }
    if (driver != 0 && driver != kDriverSense) {
        ReportNotSent(kErrIo);
        return -1;
    }
    if (driver == kDriverSense && hdr->status == 0) {
        hdr->status = kStatusCheckCondition;
    }
    if (hdr->sb_len_wr > kSenseBufLen) {
        hdr->sb_len_wr = kSenseBufLen;
    }
    return 0;
}

// The sense category of a finished request.
int Category(const sg_io_hdr* hdr)
{
    SenseSummary s;
    getSenseSummary(hdr, &s);
    return senseCategory(&s);
}

// Where the parameter list of mode data ends: the header, the block descriptors and the
// first page, if any; 0 when they do not fit len bytes.
int ModeListLen(const u8* buf, int len)
{
    if (len < 4) {
        return 0;
    }
    const int page = 4 + buf[3];
    if (page > len) {
        return 0;
    }
    if (page == len) {
        return page;
    }
    if (page + 1 >= len) {
        return 0;
    }
    const int end = page + 2 + buf[page + 1];
    return end <= len ? end : 0;
}

// The fixed-format progress: valid only with SKSV in bytes that were written.
void FixedProgress(const u8* sense, int written, u32* progress)
{
    if (sense[7] == 0) {
        puts("No Sense Data here!");
    } else if (written >= 18 && (sense[15] & 0x80) != 0) {
        *progress = ReadBe16(sense + 16);
    } else {
        printf("No valid data!");
    }
}

// The descriptor-format progress: the sense key specific descriptor (02h).
void DescriptorProgress(const u8* sense, int written, u32* progress)
{
    const u8* d = FindSenseDescriptor(sense, written < kSenseBufLen ? written : kSenseBufLen, 0x02);
    if (d == nullptr || d[1] < 5) {
        return;
    }
    if ((d[4] & 0x80) != 0) {
        *progress = ReadBe16(d + 5);
    } else {
        printf("No valid data!");
    }
}

// What a MODE SELECT came back with: result as modeSelect6 returns it, and for a request
// that was carried out its SCSI status and residual.
struct SelectOutcome {
    int result;
    int status;
    int resid;
};

SelectOutcome ModeSelect(int fd, u8* buf, int len)
{
    SelectOutcome out = {kFormatRefused, 0, 0};
    if (buf == nullptr || len > 255) {
        return out;
    }
    const int list_len = ModeListLen(buf, len);
    if (list_len == 0) {
        return out;
    }
    buf[0] = 0;
    if (4 + buf[3] < len) {
        buf[4 + buf[3]] &= 0x7F;
    }
    // PF and SP set.
    u8 cdb[6] = {0x15, 0x11, 0x00, 0x00, static_cast<u8>(list_len), 0x00};
    u8 sense[kSenseBufLen];
    sg_io_hdr hdr;
    if (Send(fd, &hdr, cdb, SG_DXFER_TO_DEV, buf, len, kFormatRequestTimeoutMs, sense) != 0) {
        out.result = -1;
        return out;
    }
    out.result = Category(&hdr);
    out.status = hdr.status;
    out.resid = hdr.resid;
    return out;
}

// The body of doFormatUnit on the open node.
int FormatOnNode(int fd, int block_len)
{
    u8 mode[kModeDataLen];
    memset(mode, 0, sizeof(mode));
    int rc = modeSense6(fd, mode, kModeDataLen);
    if (rc != 0) {
        return rc;
    }
    const int total = mode[0] + 1;
    const int bd_len = mode[3];
    if (bd_len == 0) {
        // Without a block descriptor the new length has nowhere to go: changing a page in its
        // place, or formatting at an unknown length, would both be wrong.
        printf("No block descriptors present,bd_len=%d\n", bd_len);
        return kFormatRefused;
    }
    if (total > kModeDataLen || bd_len < 8 || ModeListLen(mode, total) == 0) {
        printf("Mode parameter data is not usable,mode data length=%d,bd_len=%d\n", mode[0], bd_len);
        return kFormatRefused;
    }
    mode[0] = 0;
    mode[1] = 0;
    mode[2] = 0;
    if (bd_len + 4 < total) {
        mode[4 + bd_len] &= 0x7F;
    }
    const int current = static_cast<int>(ReadBeBytes(mode + 9, 3));
    if (block_len != current) {
        memset(mode + 4, 0, 4);
        PutBe24(mode + 9, static_cast<u32>(block_len));
        const SelectOutcome selected = ModeSelect(fd, mode, total);
        // Only a block length the drive took, or its own answer that it has no such length,
        // lets the format go on. A MODE SELECT that never reached the drive, came back with
        // another status (BUSY, RESERVATION CONFLICT, TASK SET FULL, any other CHECK
        // CONDITION) or did not take the whole list leaves the block length unknown, and a
        // format then would be one at a length nobody asked for.
        if (selected.result < 0) {
            return selected.result;
        }
        if (selected.result == SENSE_CAT_BAD_OPCODE) {
            printf("The disk don't support this Block Length!It will be formatted with default Block size %d..\n",
                   current);
        } else if (selected.status != 0) {
            return selected.status;
        } else if (selected.resid != 0) {
            return -1;
        }
    }

    std::vector<u8> list(kFormatListHead + block_len, 0);
    list[1] = kFormatListFlags;
    list[5] = kPatternTypeRepeat;
    PutBe16(list.data() + 6, static_cast<u32>(block_len));
    return sendFormatUnit(fd, list.data(), static_cast<int>(list.size()));
}

} // namespace

void getSenseSummary(const sg_io_hdr* hdr, SenseSummary* out)
{
    memset(out, 0, sizeof(*out));
    const u8* sense = hdr != nullptr ? static_cast<const u8*>(hdr->sbp) : nullptr;
    if (sense == nullptr || hdr->status != kStatusCheckCondition || hdr->sb_len_wr <= 7) {
        return;
    }
    const int written = hdr->sb_len_wr;
    out->response_code = sense[0] & 0x7F;
    bool known = false;
    if (out->response_code == 0x72 || out->response_code == 0x73) {
        // Descriptor format keeps key, ASC and ASCQ in bytes 1 to 3; the FRU has a descriptor (03h).
        out->sense_key = sense[1] & 0x0F;
        out->asc = sense[2];
        out->ascq = sense[3];
        const u8* fru = FindSenseDescriptor(sense, written < kSenseBufLen ? written : kSenseBufLen, 0x03);
        if (fru != nullptr && fru[1] >= 2) {
            out->fru = fru[3];
        }
        known = true;
    } else {
        out->sense_key = sense[2] & 0x0F;
        if (written >= 15) {
            out->asc = sense[12];
            out->ascq = sense[13];
            out->fru = sense[14];
            known = true;
        }
    }
    const bool format_in_progress = out->sense_key == kKeyNotReady && out->asc == 0x04 && out->ascq == 0x04;
    if (known && !format_in_progress) {
        printf("SENSE = 0x%02x,ASC = 0x%02x,ASCQ = 0x%02x,FRU = 0x%02x\n", out->sense_key, out->asc, out->ascq,
               out->fru);
    }
}

int senseCategory(const SenseSummary* summary)
{
    if (summary == nullptr) {
        return SENSE_CAT_NONE;
    }
    switch (summary->sense_key) {
    case kKeyNotReady:
        if (summary->asc == 0x3A) {
            return SENSE_CAT_NO_MEDIUM;
        }
        if (summary->asc == 0x04 && summary->ascq == 0x01) {
            return SENSE_CAT_BECOMING_READY;
        }
        return SENSE_CAT_NOT_READY;
    case kKeyIllegalRequest:
        switch (summary->asc) {
        case 0x20:
            return SENSE_CAT_BAD_OPCODE;
        case 0x24:
            return SENSE_CAT_BAD_CDB_FIELD;
        case 0x26:
            return SENSE_CAT_BAD_PARAM_FIELD;
        default:
            return SENSE_CAT_NONE;
        }
    case kKeyUnitAttention:
        return SENSE_CAT_UNIT_ATTENTION;
    default:
        return SENSE_CAT_NONE;
    }
}

int modeSense6(int fd, u8* buf, int len)
{
    if (len < 0 || len > 255 || (len > 0 && buf == nullptr)) {
        return kFormatRefused;
    }
    // Page 01h, current values, block descriptors wanted.
    u8 cdb[6] = {0x1A, 0x00, 0x01, 0x00, static_cast<u8>(len), 0x00};
    u8 sense[kSenseBufLen];
    sg_io_hdr hdr;
    if (Send(fd, &hdr, cdb, SG_DXFER_FROM_DEV, buf, len, kFormatRequestTimeoutMs, sense) != 0) {
        return -1;
    }
    return Category(&hdr);
}

int modeSelect6(int fd, u8* buf, int len) { return ModeSelect(fd, buf, len).result; }

int sendFormatUnit(int fd, u8* list, int len)
{
    if (list == nullptr || len <= 0) {
        return kFormatRefused;
    }
    // FMTDATA: the parameter list follows.
    u8 cdb[6] = {0x04, 0x10, 0x00, 0x00, 0x00, 0x00};
    u8 sense[kSenseBufLen];
    sg_io_hdr hdr;
    if (Send(fd, &hdr, cdb, SG_DXFER_TO_DEV, list, len, kFormatUnitTimeoutMs, sense) != 0) {
        return -1;
    }
    return hdr.status;
}

int testUnitReadyProgress(int fd, SenseSummary* out, u32* progress)
{
    u8 cdb[6] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    u8 sense[kSenseBufLen];
    sg_io_hdr hdr;
    if (Send(fd, &hdr, cdb, SG_DXFER_NONE, nullptr, 0, kFormatRequestTimeoutMs, sense) != 0) {
        return -1;
    }
    getSenseSummary(&hdr, out);
    if (hdr.status == kStatusCheckCondition) {
        const int written = hdr.sb_len_wr;
        // The format comes from the summary: sense too short to hold a header tells nothing.
        const u8 code = out->response_code;
        if (code == 0x70 || code == 0x71) {
            FixedProgress(sense, written, progress);
        } else if (code == 0x72 || code == 0x73) {
            DescriptorProgress(sense, written, progress);
        }
    }
    return hdr.status;
}

int doFormatUnit(const char* path, int block_len)
{
    if (path == nullptr) {
        puts("Block name is not exist!");
        return 1;
    }
    // The pattern length of the parameter list is 16 bits; 0 or less is no block length.
    if (block_len <= 0 || block_len > kMaxBlockLen) {
        return kFormatRefused;
    }
    const int fd = open(path, kOpenFlags);
    if (fd < 0) {
        return 1;
    }
    const int rc = FormatOnNode(fd, block_len);
    close(fd);
    return rc;
}

int queryFormatProgress(const char* path)
{
    if (path == nullptr) {
        puts("Block name is not exist!");
        return 1;
    }
    const int fd = open(path, kOpenFlags);
    if (fd < 0) {
        return 1;
    }
    SenseSummary summary;
    u32 progress = 0;
    const int status = testUnitReadyProgress(fd, &summary, &progress);
    // A request that was not carried out has no progress to show.
    if (status > 0) {
        printf("Format progress indication is  %d%%\n", static_cast<int>(progress * 100 / 65536));
    } else if (status == 0) {
        puts("Format is complete, or the status of disk is ready.");
    }
    close(fd);
    return status;
}

void formatUnit(const char* value)
{
    // strtol converts as atol does, without its undefined overflow.
    const long requested = value != nullptr ? strtol(value, nullptr, 10) : 0;
    const int block_len = requested > 0 && requested <= INT_MAX ? static_cast<int>(requested) : 0;
    int rc = 0;
    {
        // The format sends outside the log; what the run sent before it is on file first.
        const LogWriteThrough through;
        rc = doFormatUnit(dev_name, block_len);
    }
    if (rc != 0) {
        printf("format err:%x,f:%s,l:%u", static_cast<unsigned>(rc), "formatUnit", 589u);
        return;
    }
    queryFormatProgress(dev_name);
}
