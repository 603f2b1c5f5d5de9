// Interactive vendor tools of the SATA family: maximum address, write magnify coefficient,
// eye chart registers, three vendor switches and the wear-level table download.
#ifndef ZV_VENDOR_TOOLS_H
#define ZV_VENDOR_TOOLS_H

#include <string>

#include "common.h"
#include "sata_vendor_record.h"

// Packs an address into a MaxAddressRegs block (bytes 0-7; byte 8 is left alone): LBA 23:0 in
// bytes 0, 2, 4; with ext48 LBA 47:24 in bytes 1, 3, 5 and byte 6 zero, without it bytes 1, 3, 5
// zero and LBA 27:24 in byte 6.
void lbaToTaskfile(u8* regs, u64 lba, bool ext48);
// The address of a MaxAddressRegs block, read by its byte 7 (the 48-bit flag).
u64 taskfileToLba(const u8* regs);

// The largest address of a 48-bit command.
const u64 kMaxLba48 = (1ull << 48) - 1;

// The maximum-address commands a model takes: the first row whose name the model contains.
struct MaxAddressModel {
    const char* name;
    bool ext48;
};
const u32 kMaxAddressModelRows = 5;
extern const MaxAddressModel max_address_models[kMaxAddressModelRows];
// False for a model of no row.
bool maxAddressWidth(const std::string& model, bool* ext48);

// An on/off vendor switch: its command type, question and success line ("%s" the indent,
// then "on" or "off").
struct VendorSwitch {
    u32 type;
    const char* question;
    const char* done;
};
const u32 kVendorSwitchRows = 2;
extern const VendorSwitch vendor_switch_list[kVendorSwitchRows];

// The write magnify figures of a flag block table.
struct MagnifyFigures {
    float root;                // square root of the moved pages, single precision
    long double coefficient;   // root / write pages + 1
    u64 disk_write_pages;      // write pages + root, single precision, saturated at 2^64 - 1
};
// False when no page was written (the coefficient is then undefined).
bool computeMagnify(u64 write_pages, u64 moved_pages, MagnifyFigures* out);
// The report of calcMagnifyCoefficient, each line starting with indent.
std::string formatMagnifyReport(const R2FlagTable& table, const char* indent);

// The eye chart registers (accessed 16 bits wide).
const u32 kTxAmplitudeReg = 0x1C005896;  // 3.0 Gb/s Tx Amplitude Control
const u32 kTxEmphasisReg = 0x1C0058AC;   // 3.0 Gb/s Tx Emphasis

// The console tools. They work on cur_disk, dev_name and data_buf; the magnify, eye chart and
// switch tools let the operator choose a drive first when no device is set.
void getSetMaxAddress();
void calcMagnifyCoefficient();
void tuneEyeChart();
void switch64Ce();
void switchReadTable();
void dynamicOptimize();
void downloadWearLevelTable();

#endif
