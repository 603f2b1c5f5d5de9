// Inside the emulator: drives, their answers, and one request with its reply.
#ifndef ZV_EMU_MODEL_H
#define ZV_EMU_MODEL_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "emu_megaraid_config.h"
#include "emu_trace.h"

namespace zvemu {

typedef std::uint8_t u8;
typedef std::uint32_t u32;
typedef std::uint64_t u64;

// Where a field is read from: the CDB, or the ATA registers of a pass-through or tunnel command.
enum FieldSource { FROM_CDB, FROM_REGS };

// Positions in the ATA register array: the task file, then the previous (48-bit) registers.
enum AtaReg {
    REG_FEA = 0,     // features; on return: error
    REG_CNT = 1,
    REG_LBA0 = 2,    // LBA 7:0
    REG_LBA1 = 3,    // LBA 15:8
    REG_LBA2 = 4,    // LBA 23:16
    REG_DEV = 5,
    REG_CMD = 6,     // command; on return: status
    REG_FEA_HI = 7,
    REG_CNT_HI = 8,
    REG_LBA3 = 9,    // LBA 31:24
    REG_LBA4 = 10,   // LBA 39:32
    REG_LBA5 = 11,   // LBA 47:40
    REG_COUNT = 12,
};

struct AtaRegs {
    u8 r[REG_COUNT] = {};
};

// An integer read from a byte array: the bytes (most significant first), then shift and mask.
struct Field {
    std::string name;
    FieldSource source = FROM_CDB;
    std::vector<int> bytes;
    int shift = 0;
    u64 mask = ~u64(0);
};

struct Selector {
    Field field;
    u64 value = 0;
};

enum AnswerProto { PROTO_SCSI, PROTO_ATA };

// One answer of a drive: what it matches and how the drive replies.
struct Answer {
    AnswerProto proto = PROTO_SCSI;
    bool any_opcode = false;
    u8 opcode = 0;                    // SCSI opcode, or ATA command
    std::vector<Selector> selectors;
    std::string where;                // fixture file and line, for the trace
    size_t order = 0;                 // definition order, later wins among equals

    Bytes payload;                    // data to the host
    bool has_status = false;
    u8 status = 0;
    bool has_sense = false;
    Bytes sense;
    bool has_host_status = false;
    u8 host_status = 0;
    bool has_driver_status = false;
    u8 driver_status = 0;
    int sys_errno = 0;                // the ioctl itself fails
    long sense_written = -1;          // -1: what was copied
    bool has_resid = false;           // else: transfer length minus the data returned
    long resid = 0;                   // may be negative (an overrun the driver reports)
    bool reg_set[REG_COUNT] = {};
    u8 reg_val[REG_COUNT] = {};       // returned ATA registers (REG_FEA = error, REG_CMD = status)
    bool no_status_return = false;    // SAT: GOOD without the ATA Status Return descriptor
    long status_block = -1;           // tunnel: bytes the status block read moves (-1: all 24)
    long times = -1;                  // -1: unlimited
    long used = 0;
    bool kill = false;                // the program is killed while this answer's request is out
    std::string run;                  // shell command run to its end while the request is out
    bool has_offset = false;          // the data starts at (field - base) * scale of the payload
    Field offset_field;
    u64 offset_base = 0;
    u64 offset_scale = 1;

    // True when the answer itself decides the SCSI outcome (no SAT synthesis).
    bool DecidesScsi() const
    {
        return has_status || has_sense || has_host_status || has_driver_status || sys_errno != 0;
    }
};

// The tunnel's pending command: the answer chosen by the packet write.
struct AptState {
    bool has_data = false;
    Bytes data;
    AtaRegs result;
    bool has_resid = false;           // the command's answer names the data read's residual
    long resid = 0;
    size_t status_len = 24;           // bytes of the status block its read moves
};

// A "sas-format" drive's block length and running format (emu_format.cpp).
struct FormatState {
    bool loaded = false;              // block length and count taken from the READ CAPACITY answer
    u32 block_len = 512;
    u64 blocks = 0x100000;
    bool formatting = false;
    u32 progress = 0;                 // of the running format, 65536 = done
};

struct Drive {
    std::string node;
    std::string kind;
    int open_errno = 0;               // open of this node fails with it
    std::vector<Answer> answers;
    AptState apt;
    FormatState format;
    MegaRaidConfig raid;              // GET_IDLUN answer, or the controller behind this node
};

// One SG_IO request as the drive sees it.
struct Request {
    std::string node;
    Bytes cdb;
    int dir = TRACE_DIR_NONE;
    u32 len = 0;
    Bytes data_out;
};

struct Reply {
    int sys_errno = 0;
    u8 status = 0;
    Bytes sense;
    u8 host_status = 0;
    int driver_status = -1;           // -1: DRIVER_SENSE when sense was written, else 0
    Bytes data;                       // to the host; cut to the transfer length
    bool has_resid = false;           // else: transfer length minus the data returned
    long resid = 0;
    long sense_written = -1;
    std::string via = "default";
    bool kill = false;                // from the answer that served the request
    std::string run;                  // from the answer that served the request
};

// Field lookup (emu_fields.cpp). A name is a named field of the opcode, or for the CDB
// b<N>, b<N>-<M> (big-endian bytes N to M) or b<N>&<hexmask>.
bool LookupScsiField(const std::string& name, bool any_opcode, u8 opcode, Field* out);
bool LookupAtaField(const std::string& name, Field* out);
// The register named in a "regs" attribute.
int LookupReturnedReg(const std::string& name);
u64 FieldValue(const Field& f, const u8* bytes, size_t n);

// Fixture parsing (emu_fixture.cpp): adds to drives; false with a message on an error.
bool ParseFixtureText(const std::string& text, const std::string& file_label, const std::string& base_dir,
                      std::map<std::string, Drive>* drives, size_t* order, std::string* error, int depth);
bool ParseFixtureFile(const std::string& path, std::map<std::string, Drive>* drives, size_t* order,
                      std::string* error, int depth);
bool IsKnownKind(const std::string& kind);

// Request handling (emu_drive.cpp).
void AnswerRequest(Drive* drive, const Request& req, Reply* reply);

// The built-in commands of the "sas-format" kind (emu_format.cpp); false for any other opcode.
bool FormatBuiltin(Drive* drive, const Request& req, Reply* reply);

} // namespace zvemu

#endif
