// MODE SENSE(10) data walker and mode page printers.
#ifndef ZV_SCSI_MODE_DECODER_H
#define ZV_SCSI_MODE_DECODER_H

#include <string>

#include "common.h"

// The answer of MODE SENSE(10), all pages and sub-pages, for any page control. Skips the
// 8-byte header and one 8-byte block descriptor, then steps from page to page by each
// page's own length. A known page whose length covers its printer's fixed record is printed
// from that record; any other page gets a one-line notice. Appends to out; ctx is not read.
// False for a null buffer or fewer than 8 bytes (out untouched).
bool ParseModeSense(std::string& out, const u8* data, u32 len, u32 indent, void* ctx);

// One page in sub_page format at *offset of the whole mode data (len bytes). Advances
// *offset past the page (4 + PAGE LENGTH) and returns true; false, with *offset and out
// untouched, for a null buffer or offset or a page header that does not lie inside len.
bool ParseModeSubPage(std::string& out, const u8* data, u32 len, u32* offset, u32 indent);

// The walker's known page codes with the title of their heading, blank-padded.
struct ModePageName {
    u8 page_code;
    const char* title;
};
const u32 kModePageNameNum = 12;
const u32 kModePageTitleWidth = 33;
extern const ModePageName mode_page_name_list[kModePageNameNum];

// Printers of one page each. page points at byte 0 of the page header and must hold the
// page's whole fixed record (00h 9, 01h 12, 02h 16, 03h 24, 04h 24, 07h 12, 08h 20, 0Ah 12,
// 18h 8, 19h 16, 1Ah 12, 1Ch 12; sub-pages 19h/01h 200, 19h/02h 16, 19h/03h 88 bytes).
// They append the page's field lines and return true.
bool PrintThresholdValueModePage(std::string& out, const u8* page, u32 indent);
bool PrintReadWriteErrorRecoveryModePage(std::string& out, const u8* page, u32 indent);
bool PrintDisconnectReconnectModePage(std::string& out, const u8* page, u32 indent);
bool PrintFormatDeviceModePage(std::string& out, const u8* page, u32 indent);
bool PrintRigidDiskGeometryModePage(std::string& out, const u8* page, u32 indent);
bool PrintVerifyErrorRecoveryModePage(std::string& out, const u8* page, u32 indent);
bool PrintCachingModePage(std::string& out, const u8* page, u32 indent);
bool PrintControlModePage(std::string& out, const u8* page, u32 indent);
bool PrintPowerConditionModePage(std::string& out, const u8* page, u32 indent);
bool PrintInformationalExceptionsControlModePage(std::string& out, const u8* page, u32 indent);

// SAS protocol-specific pages and the sub-pages of page 19h.
bool PrintProtocolSpecificLunModePage(std::string& out, const u8* page, u32 indent);
bool PrintProtocolSpecificPortModePage(std::string& out, const u8* page, u32 indent);
bool PrintPhyControlAndDiscoverModePage(std::string& out, const u8* page, u32 indent);
bool PrintSharedPortControlModePage(std::string& out, const u8* page, u32 indent);
bool PrintEnhancedPhyControlModePage(std::string& out, const u8* page, u32 indent);

#endif
