// Command type catalogue and the registry through which every drive command runs.
#ifndef ZV_DISK_CMND_H
#define ZV_DISK_CMND_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "common.h"
#include "disk_info.h"

// One constant per catalogued drive operation: 0 to 59 ATA, 60 to 141 SCSI.
enum CMND_TYPE {
    TYPE_IDENTIFY_DEVICE = 0,
    TYPE_SMART_RETURN_STATUS = 1,
    TYPE_SMART_ENABLE = 2,
    TYPE_SMART_DISABLE = 3,
    TYPE_SMART_VALUE_THRES = 4,
    TYPE_SMART_THRESHOLD = 5,
    TYPE_SMART_LOG_DIRECTORY = 6,
    TYPE_SMART_SUMMARY_ERROR_LOG = 7,
    TYPE_SMART_COMPREHENSIVE_ERR_LOG = 8,
    TYPE_SMART_EXTEND_COMPRE_ERR_LOG = 9,
    TYPE_SMART_DEVICE_STATISTICS = 10,
    TYPE_SMART_SELF_TEST_LOG = 11,
    TYPE_SMART_EXTEND_SELF_TEST_LOG = 12,
    TYPE_SMART_SELECTIVE_SELF_TEST_LOG = 13,
    TYPE_SMART_WRITE_STREAM_ERROR_LOG = 14,
    TYPE_SMART_READ_STREAM_ERROR_LOG = 15,
    TYPE_SMART_HOST_VENDOR_SPECIFIC = 16,
    TYPE_SMART_DEVICE_VENDOR_SPECIFIC = 17,
    TYPE_SMART_PEND_LIST = 18,
    TYPE_SMART_SCT_COMMAND_STATUS = 19,
    TYPE_SMART_SCT_DATA_TRANSFER = 20,
    TYPE_89H_DEVICE_VENDOR_LOG = 21,
    TYPE_89H_SYSTEM_INDEX_TABLE = 22,
    TYPE_89H_BLANK_BLOCK_TABLE = 23,
    TYPE_89H_BLANK_BLOCK_HEADPTR_TBL = 24,
    TYPE_89H_BLANK_BLOCK_TAILPTR_TBL = 25,
    TYPE_89H_BLANK_BLOCK_COUNT_TABLE = 26,
    TYPE_89H_SMALL_BLOCK_TABLE = 27,
    TYPE_89H_SMALL_BLOCK_COUNT_TABLE = 28,
    TYPE_89H_SMART_BLOCK = 29,
    TYPE_89H_SMART_LOG = 30,
    TYPE_89H_WEAR_LEVEL_TABLE = 31,
    TYPE_89H_BAD_BLOCK_TABLE = 32,
    TYPE_89H_MAP_TABLE = 33,
    TYPE_89H_MAP_LOG_TABLE = 34,
    TYPE_89H_FLAG_BLOCK_TABLE = 35,
    TYPE_89H_GLOBAL_BLOCK_TABLE = 36,
    TYPE_92H_DOWNLOAD_MICROCODE = 37,
    TYPE_8AH_READ_REGISTER = 38,
    TYPE_8BH_WRITE_REGISTER = 39,
    TYPE_8DH_FLUSH_TABLE_DATA = 40,
    TYPE_ORIGINAL_BAD_BLOCK_TABLE = 41,
    TYPE_ORIGINAL_BAD_BLOCK_TABLE_2 = 42,
    TYPE_8CH_WRITE_CURRENT_TIME = 43,
    TYPE_8CH_WRITE_WEAR_LEVEL_TABLE = 44,
    TYPE_89H_DEVICE_ALL_VENDOR_LOG = 45,
    TYPE_QUMA_ONE_KEY_INFORMATION = 46,
    TYPE_READ_NATIVE_MAX_ADDRESS = 47,
    TYPE_READ_NATIVE_MAX_ADDRESS_EXT = 48,
    TYPE_SET_MAX_ADDRESS = 49,
    TYPE_SET_MAX_ADDRESS_EXT = 50,
    TYPE_89H_CHECK_DOWNLOAD_STATUS = 51,
    TYPE_8BH_DYNAMIC_OPTMIZE = 52,
    TYPE_8BH_READ_TABLE_SWITCH = 53,
    TYPE_8BH_64CE_ON_OFF_SWITCH = 54,
    TYPE_8AH_GET_DISK_STRUCTURE = 55,
    TYPE_8AH_GET_DISK_STATUS = 56,
    TYPE_SET_FORMAT_UNIT = 57,
    TYPE_SET_TRIM_FLAG = 58,
    TYPE_CHECK_GRAIN = 59,
    TYPE_12H_INQUIRY = 60,
    TYPE_12H_INQUIRY_EXTENDED = 61,
    TYPE_12H_INQUIRY_SCSI_PORTS = 62,
    TYPE_12H_INQUIRY_DEVICE = 63,
    TYPE_12H_INQUIRY_PAGE_POLICY = 64,
    TYPE_12H_INQUIRY_BLOCK_DEVICE = 65,
    TYPE_25H_READ_CAPACITY = 66,
    TYPE_3BH_DOWNLOAD_MICROCODE = 67,
    TYPE_4DH_SUPPORTED_LOG_PAGES = 68,
    TYPE_4DH_WRITE_ERROR_COUNTER_PC0 = 69,
    TYPE_4DH_WRITE_ERROR_COUNTER = 70,
    TYPE_4DH_READ_ERROR_COUNTER_PC0 = 71,
    TYPE_4DH_READ_ERROR_COUNTER = 72,
    TYPE_4DH_VERIFY_ERROR_COUNTER_PC0 = 73,
    TYPE_4DH_VERIFY_ERROR_COUNTER = 74,
    TYPE_4DH_NON_MEDIUM_ERROR_PC0 = 75,
    TYPE_4DH_NON_MEDIUM_ERROR = 76,
    TYPE_4DH_TEMPERATURE = 77,
    TYPE_4DH_SELF_TEST_RESULTS = 78,
    TYPE_4DH_PROTOCOL_SPECIFIC_PORT_LOG_PAGE = 79,
    TYPE_4DH_INFORMATIONAL_EXCEPTIONS = 80,
    TYPE_4DH_SMART_TEMPERATURE = 81,
    TYPE_4DH_SMART_THRESHOLD = 82,
    TYPE_4DH_SMART_VALUE = 83,
    TYPE_4DH_READNVSRAM_LOG = 84,
    TYPE_4DH_READFLASH_LOG = 85,
    TYPE_4DH_READCURRENT_LOG = 86,
    TYPE_4DH_READNVALL_LOG = 87,
    TYPE_4DH_SET_POWER_OFF_PROTECT = 88,
    TYPE_A4H_SET_TIME_STAMP = 89,
    TYPE_3CH_PEND_LIST_TABLE = 90,
    TYPE_04H_SET_FORMAT_UNIT = 91,
    TYPE_C1H_WRITE_WEAR_LEVEL_TABLE = 92,
    TYPE_BLOCK_INFO_TABLE = 93,
    TYPE_3CH_L2P_TABLE = 94,
    TYPE_3CH_BLOCK_INFO_TABLE = 95,
    TYPE_3CH_BLOCK_INFO_CHAIN_TABLE = 96,
    TYPE_3CH_CHAIN_HEAD_TAIL_PTR_TBL = 97,
    TYPE_3CH_ERASE_BASE_STATUS_TBL = 98,
    TYPE_C0H_SYSTEM_BLOCK_TBL_LEN = 99,
    TYPE_C0H_SYSTEM_BLOCK_TABLE = 100,
    TYPE_C0H_LEVEL2_SNAP_TBL_LEN = 101,
    TYPE_C0H_LEVEL2_SNAP_TABLE = 102,
    TYPE_C0H_LEVEL2_PLOG_TBL_LEN = 103,
    TYPE_C0H_LEVEL2_PLOG_TABLE = 104,
    TYPE_3CH_CUR_BLANK_BLOCK_TABLE = 105,
    TYPE_3CH_SNAPSHOT_AB_PTR_TABLE = 106,
    TYPE_4CH_ERASENVSRAM_LOG = 107,
    TYPE_4CH_ERASEFLASH_LOG = 108,
    TYPE_C0H_BLANK_BLOCK_COUNT = 109,
    TYPE_C0H_CMD_QUEUE_INFO = 110,
    TYPE_C0H_MAP_TABLE = 111,
    TYPE_C0H_BLOCK_INFO_TABLE = 112,
    TYPE_C0H_NVRAM_DATA = 113,
    TYPE_C0H_DISK_BASIC_INFO = 114,
    TYPE_C0H_SYSTEM_MAP_TBL_LEN = 115,
    TYPE_C0H_SYSTEM_BLK_TBL_LEN = 116,
    TYPE_C0H_GET_WEAR_LEVEL_TABLE = 117,
    TYPE_37H_PRIMARY_DEFECT_DATA = 118,
    TYPE_37H_GROWN_DEFECT_DATA = 119,
    TYPE_5AH_MODE_SENSE_CURRENT = 120,
    TYPE_5AH_MODE_SENSE_CHANGEABLE = 121,
    TYPE_5AH_MODE_SENSE_DEFAULT = 122,
    TYPE_5AH_MODE_SENSE_SAVED = 123,
    TYPE_3BH_DOWNLOAD_R5_LOADER = 124,
    TYPE_C1H_CLEAN_SMART = 125,
    TYPE_C0H_INQUIRE_DISK_WWN = 126,
    TYPE_C0H_INQUIRE_DISK_SN = 127,
    TYPE_C0H_SET_DISK_WWN = 128,
    TYPE_C0H_SET_DISK_SN = 129,
    TYPE_C0H_INQUIRE_DISK_MODEL = 130,
    TYPE_C0H_SET_DISK_MODEL = 131,
    TYPE_C1H_START_CAPACITANCE_STATUS = 132,
    TYPE_C0H_GET_CAPACITANCE_RESULT = 133,
    TYPE_C0H_GET_BAD_PAGE_INFO = 134,
    TYPE_C0H_GET_BAD_PAGE = 135,
    TYPE_C0H_GET_DISK_FLAG = 136,
    TYPE_C1H_SET_DISK_FLAG = 137,
    TYPE_C0H_GET_DISK_SPEED = 138,
    TYPE_4DH_READRAIDFLASH_LOG1 = 139,
    TYPE_4DH_READRAIDFLASH_LOG2 = 140,
    TYPE_C0H_DISK_IO_INFO = 141,
    TYPE_BUTT = 142,  // the number of types; also "no command type"
};

// A type value at or above this asks the executor for the data length of (type - this).
const int CMND_LEN_QUERY = 512;

enum CmndDataDir {
    CMND_DIR_NONE = 0,
    CMND_DIR_IN = 1,   // drive to host
    CMND_DIR_OUT = 2,  // host to drive
};

// A catalogue row: display name and the support masks that decide menu visibility.
struct DiskSptItem {
    u32 type;            // equal to the row index
    const char* name;    // shown and used in file names exactly as stored
    u32 family_mask[4];  // [0] P37RV family, [1] K4410 family, [2] other drives, [3] unused
};

// The command a type sends before its executor patches the per-call fields.
struct CmndTemplate {
    u32 type;     // equal to the row index
    u8 regs[16];  // ATA: features, count, LBA 7:0, 15:8, 23:16, device, command, 0, previous registers;
                  // SCSI: the CDB, zero-padded
    u32 ext48;    // 1 for a 48-bit ATA command
    u32 dir;      // CmndDataDir
    u32 xfer;     // ATA: sectors per command; SCSI: bytes per chunk << 8 | CDB length
};
static_assert(sizeof(CmndTemplate::regs) == 16, "the register bytes are a task file or a CDB of up to 16 bytes");

constexpr u32 ScsiXfer(u32 chunk_bytes, u32 cdb_len) { return (chunk_bytes << 8) | cdb_len; }

typedef u32 (*CmndLenFun)();
// Executor and length query: (type, drive, buffer, length, user error, system error).
typedef bool (*CmndExecFun)(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);

// How one type's data length is found and which executor runs it; at most one length function is set.
struct DiskCmndFunc {
    CmndLenFun fun_len;          // fixed length in bytes (0: non-data command)
    CmndExecFun fun_len_param;   // asks the drive, called with type + CMND_LEN_QUERY
    CmndExecFun fun;             // the executor
};

// A row of cmnd_func_list: the type and the functions DiskCmnd::Init registers for it.
struct CmndFuncRow {
    u32 type;  // equal to the row index
    CmndLenFun fun_len;
    CmndExecFun fun_len_param;
    CmndExecFun fun;
};

// The types one executor runs, by its own list, and the opcode every one of their templates sends.
// The start-up check holds the list against the catalogue, so a type that the catalogue hands
// the executor but the list lacks stops the program instead of answering "unsupported" later.
struct CmndExecTypes {
    CmndExecFun exec;
    int opcode;              // first register byte of each listed type's template; kAnyOpcode: they differ
    bool (*lists)(int type);  // the executor's own test of the types it accepts
};
const int kAnyOpcode = -1;

// The catalogue's tables, each indexed by type, and the executors' lists checked against them.
struct CmndTables {
    const DiskSptItem* spt;
    const CmndTemplate* templates;
    const CmndFuncRow* funcs;
    const CmndExecTypes* exec_types;
    size_t exec_type_count;
};

extern const DiskSptItem disk_spt_list[TYPE_BUTT];
extern const CmndTemplate cmnd_template_list[TYPE_BUTT];
// The entries DiskCmnd::Init registers, indexed by type; everything else reads map_list.
extern const CmndFuncRow cmnd_func_list[TYPE_BUTT];

// Every type, empty entries included, once DiskCmnd::Init has run.
extern std::map<int, DiskCmndFunc> map_list;

// The start-up checks of the tables keyed by command type fail as ZV_CHECK does, and say which
// row of which table holds which type: "... Assertion `cond' failed: table row 3, command type
// 21 "[89h] Device vendor log"." The name comes from the catalogue while its row is sound.
[[noreturn]] void ZvRowAssertFail(const char* cond, const char* table, size_t row, u32 type, const char* file,
                                  unsigned line, const char* func);
#define ZV_CHECK_ROW(cond, table, row, type)                                                               \
    ((cond) ? static_cast<void>(0)                                                                        \
            : ZvRowAssertFail(#cond, (table), static_cast<size_t>(row), static_cast<u32>(type), __FILE__, \
                              __LINE__, __PRETTY_FUNCTION__))
// What the checks name for a row that holds nothing: a row left out while the table's count stayed
// or was raised, zero-initialised. Each check asks for that first, so the message says "command type
// none (an empty row)" instead of naming type 0 and a fault of order or of type.
const u32 kEmptyRow = 0xFFFFFFFFu;
bool IsEmptyRow(const DiskSptItem& row);
bool IsEmptyRow(const CmndTemplate& row);
bool IsEmptyRow(const CmndFuncRow& row);
bool IsEmptyRow(const CmndExecTypes& row);
// The type as the checks name it: its number and display name, "none" for TYPE_BUTT.
std::string CmndTypeLabel(u32 type);
// Whether the catalogue's row of a type is in place with a display name.
bool HasCatalogueRow(u32 type);

// Fixed data lengths in bytes.
u32 LenNoData();
u32 LenSector();
u32 LenInquiry();
u32 LenReadCapacity();
u32 LenInquiryExtended();
u32 LenSupportedLogPages();
u32 LenWriteErrCounter();
u32 LenReadErrCounter();
u32 LenVerifyErrCounter();
u32 LenNonMediumErr();
u32 LenTemperature();
u32 LenSelfTestResults();
u32 LenProtocolPortLogPage();
u32 LenSetTimeStamp();
u32 LenPendListTable();
u32 LenL2pTable();
u32 LenL2pTableExtra();
u32 LenBlockInfoTable();
u32 LenBlockInfoChainTable();
u32 LenChainHeadTailPtrTbl();
u32 LenEraseBaseStatusTbl();
u32 LenCurBlankBlockTable();
u32 LenBlankBlockCount();
u32 LenNvramData();
u32 LenDiskBasicInfo();
u32 LenDiskIoInfo();
u32 LenMaxAddress();
u32 LenDiskWwn();
u32 LenDiskSn();
u32 LenCapacitanceResult();
u32 LenDiskFlag();

class DiskCmnd {
public:
    // Registers every type in map_list, then Check; aborts on a registry that does not match the catalogue.
    static void Init();
    static void Check();
    // Row i of every table is type i, and each executor list holds exactly the types whose row
    // names that executor, with the opcode it expects; aborts otherwise, also on a list row
    // without its executor or test. Check runs it over the program's tables.
    static void CheckTables(const CmndTables& tables);
    // The executors' lists that Check holds against the catalogue: the SCSI executors' and the
    // vendor-log and download executors'.
    static std::vector<CmndExecTypes> ExecTypeLists();

    // Data length of a type: fixed (nothing sent, errors 0) or asked from the drive.
    // Types without either give false with user error 6.
    static bool GetDataLen(int type, DiskInfo* disk, u32* len, int* user_err, int* sys_err);
    static bool GetDataLenQuiet(int type, DiskInfo* disk, u32* len);
    // Runs a type on the drive; a type without executor gives false with user error 6.
    static bool Execute(int type, DiskInfo* disk, u8* buf, u32 len, int* user_err, int* sys_err);
    static bool ExecuteQuiet(int type, DiskInfo* disk, u8* buf, u32 len);

    // Bytes at the start of the last Execute's buffer that hold the drive's answer: the whole
    // length, unless a SCSI data-in transfer into it came back short; then up to where the first
    // short one ended. The rest of the buffer is fill that no drive sent.
    static u32 ReceivedLen();
    // Told by the SCSI executors after a data-in request of n bytes at data that the driver
    // reports resid bytes short of; requests outside the running Execute's buffer are ignored.
    static void NoteResidual(const u8* data, u32 n, u32 resid);
};

#endif
