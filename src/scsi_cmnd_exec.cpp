#include "scsi_cmnd_exec.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

#include "cmnd_exec_common.h"
#include "decode_util.h"
#include "disk_cmnd.h"
#include "disk_transport.h"
#include "msg_processor.h"

u32 vendor_table_base = 0;
u32 nvram_read_base = 0;

namespace {

bool IsOneOf(int type, const int* types, size_t count)
{
    return std::find(types, types + count, type) != types + count;
}

template <size_t N>
bool IsOneOf(int type, const int (&types)[N])
{
    return IsOneOf(type, types, N);
}

// One request on a freshly opened node, closed quietly afterwards.
bool SendOnce(DiskInfo* disk, const ScsiRow& row, u8* data, u32 data_len, int* user_err, int* sys_err)
{
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = SendScsiRow(&handle, row, data, data_len, kScsiExecTimeout, user_err, sys_err);
    CloseDiskQuiet(&handle);
    return ok;
}

// Patches chunk k's fields into row (row.cdb is the template again on every call).
typedef void (*ChunkPatch)(ScsiRow* row, u32 index, u32 offset, u32 chunk_len, u32 base);

// Splits len bytes of buf into chunks of row.chunk bytes, the last one shorter; the first failure ends the loop.
bool SendChunks(int* handle, const ScsiRow& tmpl, u8* buf, u32 len, ChunkPatch patch, u32 base, int* user_err,
                int* sys_err)
{
    const u32 chunk = tmpl.chunk;
    for (u32 index = 0, offset = 0; offset < len; index++, offset += std::min(chunk, len - offset)) {
        const u32 n = std::min(chunk, len - offset);
        ScsiRow row = tmpl;
        patch(&row, index, offset, n, base);
        if (!SendScsiRow(handle, row, buf + offset, n, kScsiExecTimeout, user_err, sys_err)) {
            return false;
        }
    }
    return true;
}

bool ChunkedRead(DiskInfo* disk, const ScsiRow& row, u8* buf, u32 len, ChunkPatch patch, u32 base, int* user_err,
                 int* sys_err)
{
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = SendChunks(&handle, row, buf, len, patch, base, user_err, sys_err);
    CloseDiskQuiet(&handle);
    return ok;
}

// Adds the header's own size to the length it announces; a sum past what the CDB's
// allocation length field can ask for is cut to that field's maximum, not wrapped.
u32 HeaderTotal(u32 announced, u32 header_part, u32 field_max)
{
    u64 total = static_cast<u64>(announced) + header_part;
    return total > field_max ? field_max : static_cast<u32>(total);
}

// The four executors that read one answer with an allocation length field and ask its length
// from a short header of the same command.
struct AllocLenRead {
    const int* types;
    size_t type_count;
    u32 header_len;   // bytes of the length query's read
    u32 field_pos;    // first CDB byte of the big-endian allocation length
    u32 field_width;  // 2 or 4 bytes
    u32 (*total_of)(const u8* header, u32 field_max);
    bool needs_buf;   // refuses a null buffer or a zero length before anything else
};

// The longest length-query header: MODE SENSE(10)'s 16 bytes.
const u32 kMaxHeader = 16;

u32 FieldMax(u32 width) { return width >= 4 ? 0xFFFFFFFFu : 0xFFFFu; }

void PutField(u8* cdb, const AllocLenRead& req, u32 value)
{
    if (req.field_width >= 4) {
        PutBe32(cdb + req.field_pos, value);
    } else {
        PutBe16(cdb + req.field_pos, value);
    }
}

bool ExecAllocLenRead(const AllocLenRead& req, int type, DiskInfo* disk, u8* buf, u32 len, int* user_err,
                      int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (req.needs_buf && (buf == nullptr || len == 0)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const bool query = type >= CMND_LEN_QUERY;
    const int base_type = query ? type - CMND_LEN_QUERY : type;
    if (!IsOneOf(base_type, req.types, req.type_count)) {
        return false;
    }
    const u32 field_max = FieldMax(req.field_width);
    ScsiRow row = LoadScsiRow(base_type);

    if (query) {
        // The answer's length goes into the first four bytes.
        if (buf == nullptr || len < sizeof(u32)) {
            return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
        }
        u8 header[kMaxHeader];  // the drive's answer never reaches the caller's buffer
        memset(header, 0, sizeof(header));
        PutField(row.cdb, req, req.header_len);
        int handle = 0;
        if (!OpenNode(disk, &handle, user_err, sys_err)) {
            return false;
        }
        bool ok = SendScsiRow(&handle, row, header, req.header_len, kScsiExecTimeout, user_err, sys_err);
        CloseDiskQuiet(&handle);
        StoreLen(buf, req.total_of(header, field_max));
        return ok;
    }

    // A length the allocation field cannot carry would ask the drive for something else than len.
    if (len > field_max || (buf == nullptr && len != 0)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    PutField(row.cdb, req, len);
    return SendOnce(disk, row, buf, len, user_err, sys_err);
}

// MODE SENSE(10): mode data length in bytes 0-1 counts what follows it.
u32 ModeSenseTotal(const u8* h, u32 field_max) { return HeaderTotal(ReadBe16(h), 2, field_max); }
// READ DEFECT DATA(12): defect list length in bytes 4-7 after an 8-byte header.
u32 DefectDataTotal(const u8* h, u32 field_max) { return HeaderTotal(ReadBe32(h + 4), 8, field_max); }
// LOG SENSE and VPD pages: page length in bytes 2-3 after a 4-byte header.
u32 PageTotal(const u8* h, u32 field_max) { return HeaderTotal(ReadBe16(h + 2), 4, field_max); }

const int mode_sense_types[] = {TYPE_5AH_MODE_SENSE_CURRENT, TYPE_5AH_MODE_SENSE_CHANGEABLE,
                                TYPE_5AH_MODE_SENSE_DEFAULT, TYPE_5AH_MODE_SENSE_SAVED};
const int defect_data_types[] = {TYPE_37H_PRIMARY_DEFECT_DATA, TYPE_37H_GROWN_DEFECT_DATA};
const int log_sense_types[] = {
    TYPE_4DH_SUPPORTED_LOG_PAGES,      TYPE_4DH_WRITE_ERROR_COUNTER_PC0,  TYPE_4DH_WRITE_ERROR_COUNTER,
    TYPE_4DH_READ_ERROR_COUNTER_PC0,   TYPE_4DH_READ_ERROR_COUNTER,       TYPE_4DH_VERIFY_ERROR_COUNTER_PC0,
    TYPE_4DH_VERIFY_ERROR_COUNTER,     TYPE_4DH_NON_MEDIUM_ERROR_PC0,     TYPE_4DH_NON_MEDIUM_ERROR,
    TYPE_4DH_TEMPERATURE,              TYPE_4DH_SELF_TEST_RESULTS,        TYPE_4DH_PROTOCOL_SPECIFIC_PORT_LOG_PAGE,
    TYPE_4DH_INFORMATIONAL_EXCEPTIONS, TYPE_4DH_SMART_TEMPERATURE,        TYPE_4DH_SMART_THRESHOLD,
    TYPE_4DH_SMART_VALUE,
};
const int inquiry_vpd_types[] = {TYPE_12H_INQUIRY_SCSI_PORTS, TYPE_12H_INQUIRY_DEVICE, TYPE_12H_INQUIRY_PAGE_POLICY,
                                 TYPE_12H_INQUIRY_BLOCK_DEVICE};

// {types, header bytes, allocation field position and width, total, buffer required}
constexpr AllocLenRead mode_sense_read = {mode_sense_types, std::size(mode_sense_types), 16, 7, 2, ModeSenseTotal, true};
constexpr AllocLenRead defect_data_read = {defect_data_types, std::size(defect_data_types), 8, 6, 4, DefectDataTotal,
                                       true};
constexpr AllocLenRead log_sense_read = {log_sense_types, std::size(log_sense_types), 4, 7, 2, PageTotal, true};
constexpr AllocLenRead inquiry_vpd_read = {inquiry_vpd_types, std::size(inquiry_vpd_types), 4, 3, 2, PageTotal, false};
static_assert(mode_sense_read.header_len <= kMaxHeader && defect_data_read.header_len <= kMaxHeader &&
                  log_sense_read.header_len <= kMaxHeader && inquiry_vpd_read.header_len <= kMaxHeader,
              "room for every length-query header");

// The addressed C0h table reads and the length row each one asks first.
struct VendorTableRow {
    int type;
    int len_row;  // TYPE_BUTT: the table has a fixed length and no length row
};

const VendorTableRow vendor_table_rows[] = {
    {TYPE_C0H_SYSTEM_BLOCK_TABLE, TYPE_C0H_SYSTEM_BLOCK_TBL_LEN},
    {TYPE_C0H_LEVEL2_SNAP_TABLE, TYPE_C0H_LEVEL2_SNAP_TBL_LEN},
    {TYPE_C0H_LEVEL2_PLOG_TABLE, TYPE_C0H_LEVEL2_PLOG_TBL_LEN},
    {TYPE_C0H_MAP_TABLE, TYPE_C0H_SYSTEM_MAP_TBL_LEN},
    {TYPE_C0H_BLOCK_INFO_TABLE, TYPE_C0H_SYSTEM_BLK_TBL_LEN},
    {TYPE_C0H_NVRAM_DATA, TYPE_BUTT},
    {TYPE_C0H_GET_WEAR_LEVEL_TABLE, TYPE_C0H_SYSTEM_BLK_TBL_LEN},
    {TYPE_C0H_GET_BAD_PAGE, TYPE_C0H_GET_BAD_PAGE_INFO},
};

const VendorTableRow* FindVendorTable(int type)
{
    for (const VendorTableRow& row : vendor_table_rows) {
        if (row.type == type) {
            return &row;
        }
    }
    return nullptr;
}

// The length row answers the table's drive address and its length in bytes, two u32 in host order.
const u32 kVendorLenAnswer = 8;

bool VendorTableLenQuery(const VendorTableRow& table, DiskInfo* disk, u8* buf, u32 len, int* user_err,
                         int* sys_err)
{
    if (table.len_row == TYPE_BUTT) {
        return false;
    }
    if (len < sizeof(u32)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    ScsiRow row = LoadScsiRow(table.len_row);
    std::vector<u8> answer(std::max(row.chunk, kVendorLenAnswer), 0);
    PutBe16(row.cdb + 3, row.chunk);
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    bool ok = SendScsiRow(&handle, row, answer.data(), row.chunk, kScsiExecTimeout, user_err, sys_err);
    CloseDiskQuiet(&handle);
    if (ok) {
        vendor_table_base = ReadU32(answer.data());
    }
    StoreLen(buf, ReadU32(answer.data() + 4));
    return ok;
}

void PatchNvramChunk(ScsiRow* row, u32 /*index*/, u32 offset, u32 chunk_len, u32 base)
{
    PutBe32(row->cdb + 2, base + offset);
    PutBe16(row->cdb + 6, chunk_len);
}

// Byte 2 keeps the template's table selector.
void PatchTableChunk(ScsiRow* row, u32 /*index*/, u32 offset, u32 chunk_len, u32 base)
{
    PutBe32(row->cdb + 3, base + offset);
    PutBe16(row->cdb + 7, chunk_len);
}

void PatchDataChunk(ScsiRow* row, u32 /*index*/, u32 /*offset*/, u32 chunk_len, u32 /*base*/)
{
    PutBe16(row->cdb + 2, chunk_len);
}

// The template supplies the mode in byte 1 and the buffer id in byte 2.
void PatchBufferChunk(ScsiRow* row, u32 /*index*/, u32 offset, u32 chunk_len, u32 /*base*/)
{
    PutBe32(row->cdb + 3, offset);
    PutBe16(row->cdb + 7, chunk_len);
}

void PatchWearLevelChunk(ScsiRow* row, u32 index, u32 /*offset*/, u32 chunk_len, u32 /*base*/)
{
    PutBe16(row->cdb + 2, index);
    PutBe16(row->cdb + 4, chunk_len);
}

// Chunk length fields are 16 bits wide.
bool ChunkFits(const ScsiRow& row) { return row.chunk != 0 && row.chunk <= 0xFFFF; }

const int vendor_data_types[] = {TYPE_C0H_BLANK_BLOCK_COUNT, TYPE_C0H_CMD_QUEUE_INFO, TYPE_C0H_DISK_BASIC_INFO};
const int read_buffer_types[] = {TYPE_3CH_PEND_LIST_TABLE,        TYPE_3CH_L2P_TABLE,
                                 TYPE_3CH_BLOCK_INFO_TABLE,       TYPE_3CH_BLOCK_INFO_CHAIN_TABLE,
                                 TYPE_3CH_CHAIN_HEAD_TAIL_PTR_TBL, TYPE_3CH_ERASE_BASE_STATUS_TBL,
                                 TYPE_3CH_CUR_BLANK_BLOCK_TABLE};
const int scsi_command_types[] = {
    TYPE_12H_INQUIRY,          TYPE_12H_INQUIRY_EXTENDED,      TYPE_25H_READ_CAPACITY,
    TYPE_4DH_SET_POWER_OFF_PROTECT, TYPE_04H_SET_FORMAT_UNIT, TYPE_3CH_SNAPSHOT_AB_PTR_TABLE,
    TYPE_4CH_ERASENVSRAM_LOG,  TYPE_4CH_ERASEFLASH_LOG,        TYPE_C1H_CLEAN_SMART,
    TYPE_C0H_INQUIRE_DISK_WWN, TYPE_C0H_INQUIRE_DISK_SN,       TYPE_C0H_SET_DISK_WWN,
    TYPE_C0H_SET_DISK_SN,      TYPE_C0H_INQUIRE_DISK_MODEL,    TYPE_C0H_SET_DISK_MODEL,
    TYPE_C1H_START_CAPACITANCE_STATUS, TYPE_C0H_GET_CAPACITANCE_RESULT, TYPE_C0H_GET_DISK_FLAG,
    TYPE_C1H_SET_DISK_FLAG,    TYPE_C0H_GET_DISK_SPEED,        TYPE_C0H_DISK_IO_INFO,
};

// SET TIMESTAMP parameter list: 4 reserved bytes, the 48-bit time stamp, 2 reserved bytes.
const u32 kTimestampParamLen = 12;
const u32 kTimestampOffset = 4;

// The executors' lists as the start-up check reads them.
bool ListsModeSense(int type) { return IsOneOf(type, mode_sense_types); }
bool ListsDefectData(int type) { return IsOneOf(type, defect_data_types); }
bool ListsLogSense(int type) { return IsOneOf(type, log_sense_types); }
bool ListsInquiryVpd(int type) { return IsOneOf(type, inquiry_vpd_types); }
bool ListsVendorTable(int type) { return FindVendorTable(type) != nullptr; }
bool ListsVendorData(int type) { return IsOneOf(type, vendor_data_types); }
bool ListsReadBuffer(int type) { return IsOneOf(type, read_buffer_types); }
bool ListsScsiCommand(int type) { return IsOneOf(type, scsi_command_types); }
bool ListsWearLevelWrite(int type) { return type == TYPE_C1H_WRITE_WEAR_LEVEL_TABLE; }
bool ListsTimestamp(int type) { return type == TYPE_A4H_SET_TIME_STAMP; }

// A chunked read of one of types that names no drive address of its own.
template <size_t N>
bool ExecUnaddressedRead(const int (&types)[N], ChunkPatch patch, int type, DiskInfo* disk, u8* buf, u32 len,
                         int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (buf == nullptr || len == 0) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    if (!IsOneOf(type, types)) {
        return false;
    }
    ScsiRow row = LoadScsiRow(type);
    if (!ChunkFits(row)) {
        return false;
    }
    return ChunkedRead(disk, row, buf, len, patch, 0, user_err, sys_err);
}

} // namespace

bool ExecModeSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return ExecAllocLenRead(mode_sense_read, type, disk, buf, len, user_err, sys_err);
}

bool ExecReadDefectData(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    // READ DEFECT DATA(12) bytes 10-11 (reserved, control) go out as zero; the templates hold zero there.
    return ExecAllocLenRead(defect_data_read, type, disk, buf, len, user_err, sys_err);
}

bool ExecLogSense(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return ExecAllocLenRead(log_sense_read, type, disk, buf, len, user_err, sys_err);
}

bool ExecInquiryVpd(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return ExecAllocLenRead(inquiry_vpd_read, type, disk, buf, len, user_err, sys_err);
}

bool ExecVendorTableRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (buf == nullptr || len == 0) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    const bool query = type >= CMND_LEN_QUERY;
    const VendorTableRow* table = FindVendorTable(query ? type - CMND_LEN_QUERY : type);
    if (table == nullptr) {
        return false;
    }
    const bool nvram = table->type == TYPE_C0H_NVRAM_DATA;
    if (nvram) {
        // The caller names the start address in the first four bytes, little-endian.
        if (len < sizeof(u32)) {
            return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
        }
        nvram_read_base = ReadU32(buf);
    }
    if (query) {
        return VendorTableLenQuery(*table, disk, buf, len, user_err, sys_err);
    }

    ScsiRow row = LoadScsiRow(table->type);
    if (!ChunkFits(row)) {
        return false;
    }
    const u32 base = nvram ? nvram_read_base : vendor_table_base;
    // The drive's 32-bit address field cannot reach past the end of its address space.
    if (static_cast<u64>(base) + len - 1 > 0xFFFFFFFFull) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    return ChunkedRead(disk, row, buf, len, nvram ? PatchNvramChunk : PatchTableChunk, base, user_err, sys_err);
}

bool ExecVendorDataRead(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return ExecUnaddressedRead(vendor_data_types, PatchDataChunk, type, disk, buf, len, user_err, sys_err);
}

bool ExecReadBuffer(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    return ExecUnaddressedRead(read_buffer_types, PatchBufferChunk, type, disk, buf, len, user_err, sys_err);
}

bool ExecScsiCommand(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (!IsOneOf(type, scsi_command_types)) {
        return false;
    }
    // Non-data types come with no buffer; a length without one would hand the driver a null pointer.
    if (buf == nullptr && len != 0) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    return SendOnce(disk, LoadScsiRow(type), buf, len, user_err, sys_err);
}

bool ExecWriteWearLevelTableScsi(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    if (buf == nullptr || len == 0 || !ListsWearLevelWrite(type)) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    ScsiRow row = LoadScsiRow(type);
    if (!ChunkFits(row)) {
        return false;
    }
    // The chunk index travels in 16 bits; a longer table would wrap onto its first chunks.
    const u64 chunks = (static_cast<u64>(len) + row.chunk - 1) / row.chunk;
    if (chunks > 0x10000) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    const bool ok = SendChunks(&handle, row, buf, len, PatchWearLevelChunk, 0, user_err, sys_err);
    return CloseChecked(&handle, ok, user_err, sys_err);
}

bool ExecSetTimestamp(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err)
{
    *user_err = USER_ERR_UNSUPPORTED;
    // The parameter list is filled and sent whole; a shorter buffer would be written and read past its end.
    if (buf == nullptr || len < kTimestampParamLen) {
        return Fail(USER_ERR_ILLEGAL_PARAM, user_err);
    }
    if (!ListsTimestamp(type)) {
        return false;
    }
    const u64 ms = static_cast<u64>(time(nullptr)) * 1000;
    for (u32 i = 0; i < 6; i++) {
        buf[kTimestampOffset + i] = static_cast<u8>(ms >> (8 * (5 - i)));
    }
    ScsiRow row = LoadScsiRow(type);
    PutBe32(row.cdb + 6, kTimestampParamLen);
    row.cdb[10] = 0;
    row.cdb[11] = 0;
    int handle = 0;
    if (!OpenNode(disk, &handle, user_err, sys_err)) {
        return false;
    }
    const bool ok = SendScsiRow(&handle, row, buf, kTimestampParamLen, kScsiExecTimeout, user_err, sys_err);
    return CloseChecked(&handle, ok, user_err, sys_err);
}

// {executor, opcode of its types' templates, its list}
const CmndExecTypes scsi_exec_types[] = {
    {ExecModeSense, 0x5A, ListsModeSense},
    {ExecReadDefectData, 0xB7, ListsDefectData},
    {ExecVendorTableRead, 0xC0, ListsVendorTable},
    {ExecVendorDataRead, 0xC0, ListsVendorData},
    {ExecReadBuffer, 0x3C, ListsReadBuffer},
    {ExecLogSense, 0x4D, ListsLogSense},
    {ExecInquiryVpd, 0x12, ListsInquiryVpd},
    {ExecScsiCommand, kAnyOpcode, ListsScsiCommand},
    {ExecWriteWearLevelTableScsi, 0xC1, ListsWearLevelWrite},
    {ExecSetTimestamp, 0xA4, ListsTimestamp},
};
const size_t scsi_exec_type_count = std::size(scsi_exec_types);
