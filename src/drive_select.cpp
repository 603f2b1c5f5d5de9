#include "drive_select.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console_input.h"
#include "disk_discovery.h"
#include "front_state.h"

void listDrives(int prompt)
{
    std::vector<DiskInfo> drives;
    DiskList* list = DiskList::GetInstance();
    list->Scan();
    list->GetList(drives);
    if (drives.empty()) {
        puts("No Physical Drive found!");
        exit(1);
    }

    printf("%s%s %-25.25s %-20.20s %-8s %-16.16s\n", msg_indent, " Index", " Model", " Serial", "Firmware",
           "DeviceName");
    for (size_t i = 0; i < drives.size(); i++) {
        const DiskInfo& d = drives[i];
        printf("%s  %2u   %-25.25s %-20.20s %-8s %-20.20s\n", msg_indent, static_cast<u32>(i + 1), d.model.c_str(),
               d.serial.c_str(), d.firmware.c_str(), d.device_name.c_str());
    }
    if (prompt != 1) {
        return;
    }

    const u32 count = static_cast<u32>(drives.size());
    char text[128];
    snprintf(text, sizeof(text), "%sSelect a disk: [ Index 1-%u or q or 0 to quit] ", msg_indent, count);
    fputs(text, stdout);
    fflush(stdout);
    u32 choice = 0;
    // Repeats until a valid index; "q" and the end of input answer 0.
    if (inputNumber32(nullptr, &choice, true, text, true, 10, count, true) != 1 || choice == 0) {
        exit(0);
    }
    cur_disk = drives[choice - 1];
}

void chooseDrive()
{
    listDrives(1);
    memset(dev_name_buf, 0, sizeof(dev_name_buf));
    strncpy(dev_name_buf, cur_disk.device_name.c_str(), sizeof(dev_name_buf) - 1);
    dev_name = dev_name_buf;
}

void chooseDriveWhenNoDevice()
{
    if (dev_name == nullptr || dev_name[0] == '\0') {
        chooseDrive();
    }
}
