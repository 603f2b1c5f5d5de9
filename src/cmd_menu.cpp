#include "cmd_menu.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmd_resp_log.h"
#include "cmd_runner.h"
#include "console_input.h"
#include "disk_cmnd.h"
#include "disk_info.h"
#include "file_utils.h"
#include "fw_download.h"
#include "one_key_info.h"
#include "scsi_passthrough.h"
#include "settings.h"
#include "vendor_tools.h"

namespace {

const char* const kStars = "*************************";

// A row that shows and runs a command type under the catalogue's display name. The catalogue is
// constant-initialised, so the menu tables may read it during their own dynamic initialisation.
MenuItem TypeRow(u32 type) { return MenuItem{disk_spt_list[type].name, nullptr, type, nullptr, 0}; }

// A row that runs a command type under a name of its own.
MenuItem NamedTypeRow(const char* name, u32 type) { return MenuItem{name, nullptr, type, nullptr, 0}; }

MenuItem HandlerRow(const char* name, CmdHandler handler) { return MenuItem{name, handler, TYPE_BUTT, nullptr, 0}; }

template <u32 N>
MenuItem SubmenuRow(const char* name, const MenuItem (&submenu)[N])
{
    return MenuItem{name, nullptr, TYPE_BUTT, submenu, N};
}

// ATA submenus.
MenuItem ata_smart_value_menu[] = {
    TypeRow(TYPE_SMART_RETURN_STATUS),
    TypeRow(TYPE_SMART_ENABLE),
    TypeRow(TYPE_SMART_DISABLE),
    TypeRow(TYPE_SMART_VALUE_THRES),
};

MenuItem ata_smart_log_menu[] = {
    TypeRow(TYPE_SMART_LOG_DIRECTORY),
    TypeRow(TYPE_SMART_SUMMARY_ERROR_LOG),
    TypeRow(TYPE_SMART_COMPREHENSIVE_ERR_LOG),
    TypeRow(TYPE_SMART_SELF_TEST_LOG),
    TypeRow(TYPE_SMART_SELECTIVE_SELF_TEST_LOG),
    TypeRow(TYPE_SMART_DEVICE_STATISTICS),
    TypeRow(TYPE_SMART_PEND_LIST),
};

MenuItem ata_vendor_menu[] = {
    HandlerRow("Collect QUMA All Important Informations    ", collectOneKeyInfo),
};

MenuItem ata_utility_menu[] = {
    HandlerRow("Tune QUMA Eye Chart       ", tuneEyeChart),
    NamedTypeRow("Flush Date & Time         ", TYPE_8CH_WRITE_CURRENT_TIME),
    HandlerRow("Calc Magnify Coefficient  ", calcMagnifyCoefficient),
    HandlerRow("Get/Set Max Address       ", getSetMaxAddress),
};

// SCSI submenus.
MenuItem scsi_inquiry_menu[] = {
    TypeRow(TYPE_12H_INQUIRY),
    TypeRow(TYPE_12H_INQUIRY_EXTENDED),
    TypeRow(TYPE_12H_INQUIRY_SCSI_PORTS),
    TypeRow(TYPE_12H_INQUIRY_DEVICE),
    TypeRow(TYPE_12H_INQUIRY_PAGE_POLICY),
    TypeRow(TYPE_12H_INQUIRY_BLOCK_DEVICE),
};

MenuItem scsi_log_sense_menu[] = {
    TypeRow(TYPE_4DH_SUPPORTED_LOG_PAGES),
    TypeRow(TYPE_4DH_WRITE_ERROR_COUNTER),
    TypeRow(TYPE_4DH_READ_ERROR_COUNTER),
    TypeRow(TYPE_4DH_VERIFY_ERROR_COUNTER),
    TypeRow(TYPE_4DH_NON_MEDIUM_ERROR),
    TypeRow(TYPE_4DH_TEMPERATURE),
    TypeRow(TYPE_4DH_SELF_TEST_RESULTS),
    TypeRow(TYPE_4DH_PROTOCOL_SPECIFIC_PORT_LOG_PAGE),
};

MenuItem scsi_mode_sense_menu[] = {
    TypeRow(TYPE_5AH_MODE_SENSE_CURRENT),
    TypeRow(TYPE_5AH_MODE_SENSE_CHANGEABLE),
    TypeRow(TYPE_5AH_MODE_SENSE_DEFAULT),
    TypeRow(TYPE_5AH_MODE_SENSE_SAVED),
};

MenuItem scsi_smart_menu[] = {
    TypeRow(TYPE_4DH_INFORMATIONAL_EXCEPTIONS),
    TypeRow(TYPE_4DH_SMART_TEMPERATURE),
    TypeRow(TYPE_4DH_SMART_THRESHOLD),
    TypeRow(TYPE_4DH_SMART_VALUE),
};

MenuItem scsi_vendor_menu[] = {
    TypeRow(TYPE_4DH_READNVSRAM_LOG),
    TypeRow(TYPE_4DH_READFLASH_LOG),
    TypeRow(TYPE_4DH_READCURRENT_LOG),
    TypeRow(TYPE_37H_PRIMARY_DEFECT_DATA),
    TypeRow(TYPE_37H_GROWN_DEFECT_DATA),
    TypeRow(TYPE_4DH_READNVALL_LOG),
    TypeRow(TYPE_C0H_INQUIRE_DISK_WWN),
    TypeRow(TYPE_C0H_INQUIRE_DISK_SN),
    TypeRow(TYPE_C1H_START_CAPACITANCE_STATUS),
    TypeRow(TYPE_C0H_GET_CAPACITANCE_RESULT),
    TypeRow(TYPE_C0H_INQUIRE_DISK_MODEL),
    TypeRow(TYPE_C0H_GET_DISK_FLAG),
    TypeRow(TYPE_C1H_SET_DISK_FLAG),
    TypeRow(TYPE_C0H_GET_DISK_SPEED),
    TypeRow(TYPE_C0H_DISK_IO_INFO),
};

MenuItem scsi_utility_menu[] = {
    HandlerRow("SCSI Pass Through         ", scsiPassThroughHex),
    TypeRow(TYPE_04H_SET_FORMAT_UNIT),
    TypeRow(TYPE_A4H_SET_TIME_STAMP),
    TypeRow(TYPE_4DH_SET_POWER_OFF_PROTECT),
    TypeRow(TYPE_C1H_CLEAN_SMART),
    TypeRow(TYPE_C0H_SET_DISK_WWN),
    TypeRow(TYPE_C0H_SET_DISK_SN),
    TypeRow(TYPE_C0H_SET_DISK_MODEL),
};

// Removes blanks and line ends; false when nothing usable is left to read.
bool StripMenuLine(char* line)
{
    return StripBlank(line, static_cast<u32>(strlen(line))) >= 0;
}

// A row number typed at a menu: decimal digits only, 1 to count; 0 when it is none.
u32 ParseRowNumber(const char* line, u32 count)
{
    if (*line == '\0') {
        return 0;
    }
    for (const char* p = line; *p != '\0'; p++) {
        if (*p < '0' || *p > '9') {
            return 0;
        }
    }
    errno = 0;
    char* end = nullptr;
    unsigned long v = strtoul(line, &end, 10);
    if (errno != 0 || *end != '\0' || v < 1 || v > count) {
        return 0;
    }
    return static_cast<u32>(v);
}

void FlushLog() { CmdRespLog::GetInstance()->Flush(); }

} // namespace

// Row labels are shown byte for byte, trailing blanks included.
MenuItem ata_main_menu[kAtaMainMenuCount] = {
    HandlerRow("Basic Information         ", showBasicInfo),
    NamedTypeRow("Identify Device           ", TYPE_IDENTIFY_DEVICE),
    SubmenuRow("SMART Value-Threshold     ", ata_smart_value_menu),
    SubmenuRow("SMART Log                 ", ata_smart_log_menu),
    SubmenuRow("Dev Vendor Spec Tables    ", ata_vendor_menu),
    HandlerRow("Download Microcode        ", downloadMicrocode),
    SubmenuRow("Utility                   ", ata_utility_menu),
};

MenuItem scsi_main_menu[kScsiMainMenuCount] = {
    HandlerRow("Basic Information         ", showBasicInfo),
    SubmenuRow("Inquiry Device            ", scsi_inquiry_menu),
    SubmenuRow("Log Sense                 ", scsi_log_sense_menu),
    SubmenuRow("Mode Sense                ", scsi_mode_sense_menu),
    SubmenuRow("SMART Information         ", scsi_smart_menu),
    SubmenuRow("Dev Vendor Spec Option    ", scsi_vendor_menu),
    HandlerRow("Download Microcode        ", downloadMicrocode),
    SubmenuRow("Utility                   ", scsi_utility_menu),
};

void showBasicInfo()
{
    printf("\n");
    printf("    Model    : %s\n", cur_disk.model.c_str());
    printf("    Serial   : %s\n", cur_disk.serial.c_str());
    printf("    Firmware : %s\n", cur_disk.firmware.c_str());
    printf("    LBA      : %llu\n", static_cast<unsigned long long>(cur_disk.lba_count));
    printf("    Capacity : %u GB\n", cur_disk.capacity_gb);
    printf("    LinkType : %s\n", LinkTypeName(cur_disk.link_type));
}

void showVersion()
{
    printf("\n");
    printf("Zembrovant %s, Control and Monitor Utility for QUMA\n", "Professional");
    printf("Version %s.  Released on %s at %s\n", "1.3.8.3", "DEC 6, 2013", "18:00:00 UTC+8");
    printf("\n");
}

bool isMenuItemSupported(u32 type)
{
    if (type == TYPE_BUTT) {
        return true;
    }
    if (type > TYPE_BUTT) {
        return false;
    }
    const u32* mask = disk_spt_list[type].family_mask;
    const bool p37rv = isFamilyP37RV(cur_disk.model);
    const bool k4410 = isFamilyK4410(cur_disk.model);
    if (p37rv && mask[0] != 0) {
        return true;
    }
    if (k4410 && mask[1] != 0) {
        return true;
    }
    return !p37rv && !k4410 && mask[2] != 0;
}

void showMenu(const MenuItem* menu, u32 count)
{
    printf("\n  %s MENU %s\n", kStars, kStars);
    for (u32 i = 0; i < count; i++) {
        if (isMenuItemSupported(menu[i].type)) {
            printf("  %2u : %s\n", i + 1, menu[i].name);
        }
    }
    printf("\n");
    puts(output_flags.save_original_binary ? "   o : disable save original binary data to file"
                                           : "   o : enable save original binary Data to file");
    puts(output_flags.save_parsed_text ? "   t : disable save parsed text to file" : "   t : enable save parsed text to file");
    puts(output_flags.show_parsed_text ? "   s : disable show parsed text on screen"
                                       : "   s : enable show parsed text on screen");
    puts(output_flags.save_log ? "   r : disable save log to file" : "   r : enable save log to file");
    if (menu != cur_menu) {
        puts("   b : back to previous menu");
    }
    puts("   q : quit");
    printf("  %s******%s\n", kStars, kStars);
}

int readMenuSelection(const MenuItem*, u32 count)
{
    printf("  select an option : [1-%u or o/t/s/r/b or q to quit] ", count);
    fflush(stdout);
    char line[kConsoleLineSize];
    if (!readConsoleLine(line, sizeof(line)) || !StripMenuLine(line)) {
        return MENU_QUIT;
    }
    if (line[0] != '\0' && line[1] == '\0') {
        switch (line[0]) {
        case 'o':
        case 'O':
            return MENU_TOGGLE_BINARY;
        case 't':
        case 'T':
            return MENU_TOGGLE_TEXT;
        case 's':
        case 'S':
            return MENU_TOGGLE_SHOW;
        case 'b':
        case 'B':
            return MENU_BACK;
        case 'r':
        case 'R':
            return MENU_TOGGLE_LOG;
        case 'q':
        case 'Q':
            return MENU_QUIT;
        default:
            break;
        }
    }
    u32 row = ParseRowNumber(line, count);
    if (row == 0) {
        consoleRefuseAnswer();
        return MENU_INVALID;
    }
    return static_cast<int>(row - 1);
}

void buildMenuOutputNames(const char* row_name)
{
    // The device node without its "/dev/" part.
    const char* dev = dev_name != nullptr && strlen(dev_name) >= 5 ? dev_name + 5 : "";
    std::string base = std::string(dev) + "_" + row_name + "_" + GetDateStr() + "_" + GetTimeStr('-');
    // A name too long for the buffers is cut before its suffix, so the two files never share a name.
    const size_t max_base = sizeof(bin_file_name) - 1 - strlen(".bin");
    if (base.size() > max_base) {
        base.resize(max_base);
    }
    memset(bin_file_name, 0, sizeof(bin_file_name));
    memset(txt_file_name, 0, sizeof(txt_file_name));
    snprintf(bin_file_name, sizeof(bin_file_name), "%s.bin", base.c_str());
    snprintf(txt_file_name, sizeof(txt_file_name), "%s.txt", base.c_str());
}

void dispatchMenuItem(int choice, const MenuItem* menu)
{
    switch (choice) {
    case MENU_QUIT:
        exit(0);
    case MENU_TOGGLE_BINARY:
        output_flags.save_original_binary = !output_flags.save_original_binary;
        break;
    case MENU_TOGGLE_TEXT:
        output_flags.save_parsed_text = !output_flags.save_parsed_text;
        break;
    case MENU_TOGGLE_SHOW:
        output_flags.show_parsed_text = !output_flags.show_parsed_text;
        break;
    case MENU_TOGGLE_LOG:
        output_flags.save_log = !output_flags.save_log;
        break;
    case MENU_BACK:
    case MENU_INVALID:
        break;
    default:
        if (choice >= 0) {
            const MenuItem& row = menu[choice];
            if (row.handler != nullptr) {
                row.handler();
            } else if (row.type == TYPE_BUTT) {
                int sub_choice;
                do {
                    showMenu(row.submenu, row.submenu_count);
                    sub_choice = readMenuSelection(row.submenu, row.submenu_count);
                    dispatchMenuItem(sub_choice, row.submenu);
                } while (sub_choice != MENU_BACK);
            } else {
                buildMenuOutputNames(row.name);
                executeCmd(row.type);
            }
        }
        break;
    }
    FlushLog();
}

void runMenuLoop()
{
    for (;;) {
        const bool scsi = cur_disk.link_type == LINK_SCSI;
        const MenuItem* menu = scsi ? scsi_main_menu : ata_main_menu;
        const u32 count = scsi ? kScsiMainMenuCount : kAtaMainMenuCount;
        cur_menu = menu;
        showMenu(menu, count);
        int choice = readMenuSelection(menu, count);
        dispatchMenuItem(choice, menu);
    }
}
