#include "cmd_options.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cmd_menu.h"
#include "cmd_runner.h"
#include "disk_cmnd.h"
#include "drive_select.h"
#include "fw_download.h"
#include "format_unit.h"
#include "one_key_info.h"
#include "scsi_passthrough.h"
#include "settings.h"
#include "vendor_tools.h"

const char* const short_options = "VvHhliIs:t:au:U:b:c:o:L:r:g:x:f:";

// The short forms -c and -g take an argument that they ignore; the long forms take none.
const struct option long_options[kLongOptionNum + 1] = {
    {"help", no_argument, nullptr, 'h'},
    {"usage", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"copyright", no_argument, nullptr, 'V'},
    {"license", no_argument, nullptr, 'V'},
    {"list", no_argument, nullptr, 'l'},
    {"info", no_argument, nullptr, 'i'},
    {"identify", no_argument, nullptr, 'I'},
    {"smart", required_argument, nullptr, 's'},
    {"table", required_argument, nullptr, 't'},
    {"all", no_argument, nullptr, 'a'},
    {"clean", no_argument, nullptr, 'c'},
    {"log", required_argument, nullptr, 'L'},
    {"upgrade", required_argument, nullptr, 'u'},
    {"util", required_argument, nullptr, 'U'},
    {"binary", required_argument, nullptr, 'b'},
    {"option", required_argument, nullptr, 'o'},
    {"raid", required_argument, nullptr, 'r'},
    {"datacompare", no_argument, nullptr, 'D'},
    {"datagradation", no_argument, nullptr, 'g'},
    {"txtdata", required_argument, nullptr, 'x'},
    {nullptr, 0, nullptr, 0},
};

const OptItem opt_smart_list[kOptSmartNum] = {
    {"status", TYPE_SMART_RETURN_STATUS, nullptr, nullptr},
    {"enable", TYPE_SMART_ENABLE, nullptr, nullptr},
    {"disable", TYPE_SMART_DISABLE, nullptr, nullptr},
    {"value", TYPE_SMART_VALUE_THRES, nullptr, nullptr},
    {"dir", TYPE_SMART_LOG_DIRECTORY, nullptr, nullptr},
    {"summary", TYPE_SMART_SUMMARY_ERROR_LOG, nullptr, nullptr},
    {"comp", TYPE_SMART_COMPREHENSIVE_ERR_LOG, nullptr, nullptr},
    {"selftest", TYPE_SMART_SELF_TEST_LOG, nullptr, nullptr},
    {"select", TYPE_SMART_SELECTIVE_SELF_TEST_LOG, nullptr, nullptr},
    {"stat", TYPE_SMART_DEVICE_STATISTICS, nullptr, nullptr},
    {"vendor", TYPE_SMART_DEVICE_VENDOR_SPECIFIC, nullptr, nullptr},
    {"pend", TYPE_SMART_PEND_LIST, nullptr, nullptr},
};

const OptItem opt_table_list[kOptTableNum] = {
    {"log", TYPE_89H_DEVICE_VENDOR_LOG, nullptr, nullptr},
    {"log2", TYPE_89H_DEVICE_ALL_VENDOR_LOG, nullptr, nullptr},
    {"multilog", TYPE_89H_DEVICE_VENDOR_LOG, nullptr, nullptr},
};

const OptItem opt_option_list[kOptOptionNum] = {
    {"log", TYPE_4DH_READNVSRAM_LOG, nullptr, nullptr},
    {"log2", TYPE_4DH_READFLASH_LOG, nullptr, nullptr},
    {"log3", TYPE_4DH_READCURRENT_LOG, nullptr, nullptr},
    {"getwwn", TYPE_C0H_INQUIRE_DISK_WWN, nullptr, nullptr},
    {"getsn", TYPE_C0H_INQUIRE_DISK_SN, nullptr, nullptr},
    {"getmodel", TYPE_C0H_INQUIRE_DISK_MODEL, nullptr, nullptr},
    {"setwwn", TYPE_C0H_SET_DISK_WWN, nullptr, nullptr},
    {"setsn", TYPE_C0H_SET_DISK_SN, nullptr, nullptr},
    {"setmodel", TYPE_C0H_SET_DISK_MODEL, nullptr, nullptr},
    {"startcap", TYPE_C1H_START_CAPACITANCE_STATUS, nullptr, nullptr},
    {"querycap", TYPE_C0H_GET_CAPACITANCE_RESULT, nullptr, nullptr},
    {"log4", TYPE_4DH_READNVALL_LOG, nullptr, nullptr},
    {"trim", TYPE_04H_SET_FORMAT_UNIT, nullptr, nullptr},
    {"smartval", TYPE_4DH_SMART_VALUE, nullptr, nullptr},
    {"smartthr", TYPE_4DH_SMART_THRESHOLD, nullptr, nullptr},
    {"smarttem", TYPE_4DH_SMART_TEMPERATURE, nullptr, nullptr},
    {"bad", TYPE_37H_PRIMARY_DEFECT_DATA, nullptr, nullptr},
    {"bad2", TYPE_37H_GROWN_DEFECT_DATA, nullptr, nullptr},
    {"time", TYPE_A4H_SET_TIME_STAMP, nullptr, nullptr},
    {"poweroff", TYPE_4DH_SET_POWER_OFF_PROTECT, nullptr, nullptr},
    {"getflag", TYPE_C0H_GET_DISK_FLAG, nullptr, nullptr},
    {"setflag", TYPE_C1H_SET_DISK_FLAG, nullptr, nullptr},
    {"getspeed", TYPE_C0H_GET_DISK_SPEED, nullptr, nullptr},
    {"flashlog1", TYPE_4DH_READRAIDFLASH_LOG1, nullptr, nullptr},
    {"flashlog2", TYPE_4DH_READRAIDFLASH_LOG2, nullptr, nullptr},
    {"getIoInfo", TYPE_C0H_DISK_IO_INFO, nullptr, nullptr},
};

const OptItem opt_util_list[kOptUtilNum] = {
    {"spt", TYPE_BUTT, scsiPassThrough, "SCSI Pass Through"},
    {"flush", TYPE_8DH_FLUSH_TABLE_DATA, nullptr, "Flush Data & Table"},
    {"time", TYPE_8CH_WRITE_CURRENT_TIME, nullptr, "Set system time"},
    {"magnify", TYPE_BUTT, calcMagnifyCoefficient, "Calc Magnify Coefficient"},
    {"hpa", TYPE_BUTT, getSetMaxAddress, "Get/Set Max Address"},
    {"status", TYPE_8AH_GET_DISK_STATUS, nullptr, "Get Status flags"},
    {"trim", TYPE_SET_FORMAT_UNIT, nullptr, "Set Format Unit"},
    {"trimflag", TYPE_SET_TRIM_FLAG, nullptr, "Set Trim Flag"},
};

const OptItem opt_log_list[kOptLogNum] = {
    {"supported", TYPE_4DH_SUPPORTED_LOG_PAGES, nullptr, nullptr},
    {"write", TYPE_4DH_WRITE_ERROR_COUNTER, nullptr, nullptr},
    {"read", TYPE_4DH_READ_ERROR_COUNTER, nullptr, nullptr},
    {"verify", TYPE_4DH_VERIFY_ERROR_COUNTER, nullptr, nullptr},
    {"nonmedium", TYPE_4DH_NON_MEDIUM_ERROR, nullptr, nullptr},
    {"temperature", TYPE_4DH_TEMPERATURE, nullptr, nullptr},
    {"selftest", TYPE_4DH_SELF_TEST_RESULTS, nullptr, nullptr},
    {"protocol", TYPE_4DH_PROTOCOL_SPECIFIC_PORT_LOG_PAGE, nullptr, nullptr},
};

const RaidItem opt_raid_list[kOptRaidNum] = {
    {"megaraid", RAID_MEGARAID},
    {"marvell", RAID_MARVELL},
    {"cciss", RAID_CCISS},
    {"areca", RAID_ARECA},
    {"ware", RAID_WARE},
};

namespace {

const char* const usage_indent2 = "  ";
const char* const usage_indent6 = "      ";
const char* const usage_dev = "/dev/sda";

const char* const msg_smart_name = "Zembrovant requires smart's name as argument";
const char* const msg_table_name = "Zembrovant requires table's name as argument";
const char* const msg_firmware_name = "Zembrovant requires firmware name as argument";
const char* const msg_util_name = "Zembrovant requires util's name as argument";
const char* const msg_file_name = "Zembrovant requires file name as argument";
const char* const msg_value = "Zembrovant requires the value as argument";
const char* const msg_value_length = "Zembrovant requires the value of %u characters as argument";
const char* const msg_option_name = "Zembrovant requires option's name as argument";
const char* const msg_unsupported = "Zembrovant does not support current option";

template <size_t N>
const OptItem* FindOpt(const OptItem (&list)[N], const char* value)
{
    for (const OptItem& item : list) {
        if (strcmp(item.name, value) == 0) {
            return &item;
        }
    }
    return nullptr;
}

const RaidItem* FindRaid(const char* value)
{
    for (const RaidItem& item : opt_raid_list) {
        if (strcmp(item.name, value) == 0) {
            return &item;
        }
    }
    return nullptr;
}

// The refusal of an option: its message, then the usage text.
bool Refuse(const char* msg)
{
    puts(msg);
    showUsage();
    return false;
}

// Copies a value into a fixed buffer; a value that does not fit is refused, never cut.
template <size_t N>
bool CopyValue(char (&dst)[N], const char* src)
{
    size_t n = strlen(src);
    if (n >= N) {
        return false;
    }
    memcpy(dst, src, n + 1);
    return true;
}

// A decimal number as atoi reads it (leading blanks, a sign, digits), without
// atoi's undefined behaviour on overflow.
u32 ReadDecimal(const char* s)
{
    long v = strtol(s, nullptr, 10);
    if (v > INT_MAX) {
        v = INT_MAX;
    } else if (v < INT_MIN) {
        v = INT_MIN;
    }
    return static_cast<u32>(static_cast<int>(v));
}

// A type chosen by a later option replaces the earlier choice whole: the part of
// the flash log that an earlier "flashlog1" or "flashlog2" asked for goes with it.
void SelectType(CmdLineState* state, u32 type)
{
    state->selected_type = type;
    flash_log_part = 0;
}

bool HasLetter(char letter) { return strchr(short_options, letter) != nullptr; }

const char* TypeName(u32 type) { return type < TYPE_BUTT ? disk_spt_list[type].name : ""; }

// Value lines "value : display name", with the counterpart that the link-type
// adaptation runs on the other kind of drive.
template <size_t N>
void PrintTypeRows(const OptItem (&list)[N], u32 other_link, const char* other_label)
{
    for (const OptItem& item : list) {
        u32 other = AdaptTypeToLink(item.type, other_link);
        if (other != item.type) {
            printf("%s%s%11s  : %30s(%s %15s)\n", usage_indent6, usage_indent6, item.name, TypeName(item.type),
                   other_label, TypeName(other));
        } else {
            printf("%s%s%11s  : %30s\n", usage_indent6, usage_indent6, item.name, TypeName(item.type));
        }
    }
}

void PrintUtilRows()
{
    for (const OptItem& item : opt_util_list) {
        if (item.type == TYPE_BUTT) {
            printf("%s%s%11s  :  %s\n", usage_indent6, usage_indent6, item.name, item.desc);
            continue;
        }
        u32 other = AdaptTypeToLink(item.type, LINK_SCSI);
        if (other != item.type) {
            printf("%s%s%11s  :  %s (SCSI %15s)\n", usage_indent6, usage_indent6, item.name, TypeName(item.type),
                   TypeName(other));
        } else {
            printf("%s%s%11s  :  %s\n", usage_indent6, usage_indent6, item.name, TypeName(item.type));
        }
    }
}

void Blank() { printf("\n"); }

void Pair(const char* first, const char* second)
{
    printf(first, usage_indent2);
    printf(second, usage_indent6);
    Blank();
}

void DevPair(const char* first, const char* second)
{
    printf(first, usage_indent2, usage_dev);
    printf(second, usage_indent6, usage_dev);
    Blank();
}

const char* const example_wwn = "5000C500A1B2C3D4";
const char* const example_sn = "QM2013120600000001AB";
const char* const example_fw = "QUMA_FW_1383.bin";
const char* const example_loader = "QUMA_LOADER_1383.bin";

} // namespace

const LinkRule link_rules[kLinkRuleRows] = {
    {TYPE_89H_DEVICE_VENDOR_LOG, true, TYPE_4DH_READCURRENT_LOG},
    {TYPE_8CH_WRITE_CURRENT_TIME, true, TYPE_A4H_SET_TIME_STAMP},
    {TYPE_8DH_FLUSH_TABLE_DATA, true, TYPE_4DH_SET_POWER_OFF_PROTECT},
    {TYPE_4DH_READCURRENT_LOG, false, TYPE_89H_DEVICE_VENDOR_LOG},
    {TYPE_A4H_SET_TIME_STAMP, false, TYPE_8CH_WRITE_CURRENT_TIME},
    {TYPE_4DH_SET_POWER_OFF_PROTECT, false, TYPE_8DH_FLUSH_TABLE_DATA},
    {TYPE_SET_FORMAT_UNIT, true, TYPE_04H_SET_FORMAT_UNIT},
    {TYPE_04H_SET_FORMAT_UNIT, false, TYPE_SET_FORMAT_UNIT},
};

u32 AdaptTypeToLink(u32 type, u32 link_type)
{
    const bool scsi = link_type == LINK_SCSI;
    const bool ata = link_type == LINK_ATA_BY_SCSI || link_type == LINK_ATA || link_type == LINK_ATA_BY_FC;
    for (const LinkRule& r : link_rules) {
        if (r.from == type && (r.on_scsi ? scsi : ata)) {
            return r.to;
        }
    }
    return type;
}

void showUsage()
{
    puts("\nUsage : zembrovant [otpion] device\n\tzembrovant is an alias of this tool in the help.\n");

    puts("================================= GENERAL OPTIONS ================");
    Blank();
    Pair("%s-h, --help, --usage\n", "%sDisplay this help and exit\n");
    Pair("%s-v, -V, --version, --copyright, --license\n", "%sPrint license, copyright, version information and exit\n");
    if (HasLetter('l')) {
        Pair("%s-l, --list\n", "%slist all physical drives' brief informations\n");
    }
    Pair("%s-i, --info\n", "%sDisplay disk's basic information\n");
    Pair("%s-I, --identify(only for SATA)\n", "%sDisplay disk's identify information\n");

    puts("================================= SHOW SMART INFORMATION =========  (ATA)");
    Blank();
    printf("%s-s VALUE, --smart=VALUE\n", usage_indent2);
    printf("%sEnable/disable SMART on device, or show SMART value and log\n", usage_indent6);
    printf("%sValue and meanings :\n", usage_indent6);
    PrintTypeRows(opt_smart_list, LINK_SCSI, "SCSI");
    Blank();

    puts("================================= VENDOR SPECIFIC COMMAND ========  (ATA)");
    Blank();
    printf("%s-t VALUE, --table=VALUE\n", usage_indent2);
    printf("%sExecute vendor specific command and display results\n", usage_indent6);
    printf("%sValue and meanings : \n", usage_indent6);
    PrintTypeRows(opt_table_list, LINK_SCSI, "SCSI");
    Blank();

    if (HasLetter('a')) {
        puts("================================= COLLECT ALL INFORMATIONS =======  (ATA)");
        Blank();
        Pair("%s-a, --all\n", "%scollect disk's all interior important informations\n");
    }

    if (HasLetter('U')) {
        puts("================================= UTILITY ========================  (ATA)");
        Blank();
        printf("%s-U VALUE, --util=VALUE\n", usage_indent2);
        printf("%sExecute utility tools\n", usage_indent6);
        printf("%sValue and meanings : \n", usage_indent6);
        PrintUtilRows();
        Blank();
    }

    puts("================================= VENDOR SPECIFIC COMMAND ========  (SCSI)");
    Blank();
    Pair("%s-c, --clean\n", "%sClean disk's SMART\n");
    printf("%s-o VALUE, --option=VALUE\n", usage_indent2);
    printf("%sExecute vendor specific command and display results\n", usage_indent6);
    printf("%sValue and meanings : \n", usage_indent6);
    PrintTypeRows(opt_option_list, LINK_ATA_BY_SCSI, "ATA ");
    Blank();

    if (HasLetter('o')) {
        printf("%szembrovant -o setwwn %s %s\n", usage_indent2, example_wwn, usage_dev);
        printf("%sNew WWN set successfully!\n", usage_indent6);
        Blank();
        printf("%szembrovant -o setsn %s %s\n", usage_indent2, example_sn, usage_dev);
        printf("%sNew SN set successfully!\n", usage_indent6);
        Blank();
    }

    if (HasLetter('L')) {
        puts("================================= SHOW LOG SENCE ============= (SCSI)");
        Blank();
        printf("%s-L VALUE, --log=VALUE\n", usage_indent2);
        printf("%sEnable/disable LOG SENCE on device, or show LOG SENCE value \n", usage_indent6);
        printf("%sValue and meanings : \n", usage_indent6);
        PrintTypeRows(opt_log_list, LINK_SCSI, "SCSI");
    }

    if (HasLetter('u')) {
        puts("================================= DOWNLOAD MICORCODE =============");
        Blank();
        printf("%s-u FILE, --upgrade=FILE\n", usage_indent2);
        printf("%s-u loader FILE", usage_indent2);
        printf("%sDownload microcode to device\n", usage_indent6);
        printf("%sFILE: micorcode or firmware for device\n", usage_indent6);
        Blank();
    }

    puts("================================= SAVE ORIGINAL BINARY DATA ======");
    Blank();
    printf("%s-b FILE, --binary=FILE\n", usage_indent2);
    printf("%sSave original binary data to file\n", usage_indent6);
    printf("%sFILE: file name to save\n", usage_indent6);
    Blank();

    puts("==================== ZEMBROVANT EXAMPLES =========================");
    Blank();
    if (HasLetter('l')) {
        Pair("%szembrovant -l \n", "%slist all physical drives' brief informations\n");
    }
    DevPair("%szembrovant -i %s\n", "%sDisplay %s's basic information\n");
    DevPair("%szembrovant -I %s\n", "%sDisplay %s's IDENTIFY DEVICE information\n");
    DevPair("%szembrovant -s enable %s\n", "%sEnable %s's SMART\n");
    DevPair("%szembrovant -s value %s\n", "%sRead %s's SMART Attributes and values\n");
    DevPair("%szembrovant -s value -b attr.bin %s\n",
            "%sRead %s's SMART Attributes and values, and save original binary data to attr.bin\n");
    DevPair("%szembrovant -t log -b log.bin %s\n",
            "%sRead %s's Vendor Log Table by 89h Command, and save original binary data to log.bin\n");
    if (HasLetter('u')) {
        printf("%szembrovant -u %s %s\n", usage_indent2, example_fw, usage_dev);
        printf("%sDownload micorcode %s to %s to upgrade firmware\n", usage_indent6, example_fw, usage_dev);
        printf("%szembrovant -u loader %s %s\n", usage_indent2, example_loader, usage_dev);
        printf("%sDownload loader %s to %s to upgrade loader\n", usage_indent6, example_loader, usage_dev);
        Blank();
    }
    if (HasLetter('a')) {
        DevPair("%szembrovant -a -b all_log.bin %s\n", "%scollect %s's all interior important informations to all_log.bin\n");
    }
    if (HasLetter('f')) {
        DevPair("%szembrovant -f 512|520 %s\n", "%sswitch disk to 512 or 520 sector unit format\n");
    }
}

bool runOptionLoop(int argc, char** argv, CmdLineState* state)
{
    // The parser may move arguments while it reads, so the device is looked up
    // where each check needs it.
    auto last = [argc, argv]() { return argv[argc - 1]; };
    // A fresh scan: the parser keeps its position across calls.
    optind = 0;
    int c;
    while ((c = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (c) {
        case 'V':
        case 'v':
            if (argc > 2) {
                return Refuse(msg_smart_name);
            }
            showVersion();
            return false;
        case 'H':
        case 'h':
            showUsage();
            return false;
        case 'l':
            if (argc > 2) {
                return Refuse(msg_smart_name);
            }
            listDrives(0);
            return false;
        case 'i':
            if (argc > 3 && !state->megaraid_seen) {
                return Refuse(msg_smart_name);
            }
            state->handler = showBasicInfo;
            break;
        case 'I':
            if (argc > 3 && !state->megaraid_seen) {
                return Refuse(msg_smart_name);
            }
            SelectType(state, TYPE_IDENTIFY_DEVICE);
            break;
        case 's': {
            const OptItem* item = FindOpt(opt_smart_list, optarg);
            if (item != nullptr) {
                SelectType(state, item->type);
            } else if (state->selected_type == TYPE_BUTT) {
                return Refuse(msg_smart_name);
            }
            break;
        }
        case 't': {
            const OptItem* item = FindOpt(opt_table_list, optarg);
            if (item != nullptr) {
                SelectType(state, item->type);
            } else if (state->selected_type == TYPE_BUTT) {
                return Refuse(msg_table_name);
            }
            break;
        }
        case 'a':
            state->handler = collectOneKeyInfo;
            break;
        case 'u':
            if (strcmp(optarg, "loader") == 0) {
                // The loader file follows the value; never the device itself.
                if (optind >= argc || strcmp(argv[optind], last()) == 0) {
                    return Refuse(msg_firmware_name);
                }
                state->handler = downloadLoader;
                fw_file_name = argv[optind];
            } else if (strcmp(optarg, last()) != 0) {
                state->handler = downloadMicrocode;
                fw_file_name = optarg;
            } else {
                return Refuse(msg_firmware_name);
            }
            break;
        case 'c':
            if (argc > 6) {
                return Refuse(msg_firmware_name);
            }
            SelectType(state, TYPE_C1H_CLEAN_SMART);
            break;
        case 'U': {
            const OptItem* item = FindOpt(opt_util_list, optarg);
            if (item != nullptr) {
                if (item->type != TYPE_BUTT) {
                    SelectType(state, item->type);
                } else {
                    state->handler = item->handler;
                }
            }
            if (state->selected_type == TYPE_BUTT && state->handler == nullptr) {
                return Refuse(msg_util_name);
            }
            break;
        }
        case 'b':
            if (strcmp(optarg, last()) == 0 || !CopyValue(bin_file_name, optarg)) {
                return Refuse(msg_file_name);
            }
            output_flags.save_original_binary = 1;
            break;
        case 'f':
            if (strcmp(optarg, "520") != 0 && strcmp(optarg, "512") != 0) {
                return Refuse(msg_file_name);
            }
            state->format_handler = formatUnit;
            state->format_arg = optarg;
            break;
        case 'o': {
            const OptItem* item = FindOpt(opt_option_list, optarg);
            if (item == nullptr) {
                if (state->selected_type == TYPE_BUTT) {
                    return Refuse(msg_option_name);
                }
                break;
            }
            u32 type = item->type;
            u32 part = 0;
            if (type == TYPE_4DH_READRAIDFLASH_LOG1) {
                type = TYPE_4DH_READFLASH_LOG;
                part = 1;
            } else if (type == TYPE_4DH_READRAIDFLASH_LOG2) {
                type = TYPE_4DH_READFLASH_LOG;
                part = 2;
            } else if (const SetValueItem* set_item = findSetValueItem(type)) {
                // The new value is the argument right after the option's value, in whatever
                // form that was written ("-osetsn", "--option=setsn"), and the second-to-last
                // one: a value found anywhere else (a file name of -b, say) is not the one
                // the operator meant for the drive. It must fit.
                if (optind != argc - 2) {
                    return Refuse(msg_value);
                }
                const char* value = argv[optind];
                if (strcmp(value, item->name) == 0 || !CopyValue(set_value, value)) {
                    return Refuse(msg_value);
                }
                // The prompt's rule: exactly as long as the drive's field, never cut or padded.
                if (strlen(value) != set_item->length) {
                    set_value[0] = '\0';
                    char msg[96];
                    snprintf(msg, sizeof(msg), msg_value_length, set_item->length);
                    return Refuse(msg);
                }
                set_value_given = 1;
                // Taken as the option's own argument, so it is never read as an option too.
                optind++;
            }
            SelectType(state, type);
            flash_log_part = part;
            break;
        }
        case 'L': {
            const OptItem* item = FindOpt(opt_log_list, optarg);
            if (item != nullptr) {
                SelectType(state, item->type);
            } else if (state->selected_type == TYPE_BUTT) {
                return Refuse(msg_option_name);
            }
            break;
        }
        case 'r': {
            const RaidItem* item = FindRaid(optarg);
            if (item != nullptr) {
                raid_kind = item->kind;
                if (argc >= 6) {
                    raid_target_id = ReadDecimal(argv[argc - 2]);
                }
            }
            if (raid_kind == RAID_BUTT) {
                return Refuse(msg_option_name);
            }
            break;
        }
        case 'g':
            data_gradation = 1;
            break;
        case 'x':
            if (strcmp(optarg, last()) == 0 || !CopyValue(txt_file_name, optarg)) {
                return Refuse(msg_file_name);
            }
            output_flags.save_parsed_text = 1;
            output_flags.show_parsed_text = 0;
            data_gradation = 1;
            break;
        default:
            return Refuse(msg_unsupported);
        }
        state->option_read = true;
    }
    return true;
}
