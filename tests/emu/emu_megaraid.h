// MegaRAID controllers in the emulator: the SCSI address of a disk node, the driver lines
// of "/proc/devices", the management nodes that mknod makes (never a real node), and the
// two controller requests that carry a SCSI command to a target drive.
#ifndef ZV_EMU_MEGARAID_H
#define ZV_EMU_MEGARAID_H

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "emu_model.h"

namespace zvemu {

// Kinds "megaraid_sas" (MEGASAS_IOC_FIRMWARE) and "megadev" (the legacy MEGAIOCCMD).
bool IsControllerKind(const std::string& kind);

// Fixture directives of a drive block (README.md): true when kw is one of them.
bool IsMegaRaidDirective(const std::string& kw);
// Applies one such line (its tokens, directive first) to the drive; false with a message.
bool ParseMegaRaidDirective(Drive* drive, const std::vector<std::string>& tokens, std::string* error);

// 0 when the node may open; ENOENT while a controller node does not exist, ENXIO when it
// was made with another device number than its driver's.
int ControllerOpenErrno(const Drive& drive);

// SCSI_IOCTL_GET_IDLUN on an emulated disk node.
int IoctlGetIdLun(Drive* drive, const std::string& node, void* arg);
// Every request on an emulated controller node.
int ControllerIoctl(Drive* drive, const std::string& node, unsigned long request, void* arg);

// "/proc/devices" is always answered here: its text is built from the controllers.
bool IsProcDevices(const char* path);
FILE* OpenProcDevices();
std::string ProcDevicesText();

// Provided by emu.cpp: the configured drives and the trace.
std::map<std::string, Drive>& EmulatedDrives();
void RecordEvent(const TraceEntry& e);

} // namespace zvemu

#endif
