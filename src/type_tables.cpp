#include "type_tables.h"

#include <cstring>
#include <string>

#include "disk_cmnd.h"
#include "disk_info.h"
#include "settings.h"

namespace {

// Types below this are ATA commands, from it on SCSI commands.
const u32 kFirstScsiType = TYPE_12H_INQUIRY;

bool Named(const char* text) { return text != nullptr && text[0] != '\0'; }

// The type of row i comes in no earlier row.
template <typename Row>
bool FirstForItsType(const Row* rows, size_t i)
{
    for (size_t j = 0; j < i; j++) {
        if (rows[j].type == rows[i].type) {
            return false;
        }
    }
    return true;
}

// Rows that hold nothing, as a row left out while the table's count stayed is.
bool IsEmptyRow(const OptItem& r) { return r.name == nullptr && r.type == 0 && r.handler == nullptr; }
bool IsEmptyRow(const MenuItem& r)
{
    return r.name == nullptr && r.handler == nullptr && r.type == 0 && r.submenu == nullptr;
}
bool IsEmptyRow(const LinkRule& r) { return r.from == 0 && r.to == 0 && !r.on_scsi; }
// {0, 0} is also the row of IDENTIFY DEVICE: only after a row of type 0 does it hold nothing.
bool IsEmptyRow(const AtaScsiTypePair* rows, size_t i)
{
    if (rows[i].ata_type != 0 || rows[i].scsi_type != 0) {
        return false;
    }
    for (size_t j = 0; j < i; j++) {
        if (rows[j].ata_type == 0) {
            return true;
        }
    }
    return false;
}
bool IsEmptyRow(const RunnerMessage& r) { return r.type == 0 && r.text == nullptr; }
bool IsEmptyRow(const SetValueItem& r) { return r.type == 0 && r.prompt == nullptr; }
bool IsEmptyRow(const VendorSwitch& r) { return r.type == 0 && r.question == nullptr; }
bool IsEmptyRow(const OneKeyInfoItem& r) { return r.type == 0 && r.name[0] == '\0'; }
bool IsEmptyRow(const DriveChangeRow& r) { return r.type == 0 && r.change == nullptr; }

// The type a row is keyed by, or kEmptyRow for a row that holds nothing.
template <typename Row>
u32 KeyOf(const Row& r)
{
    return IsEmptyRow(r) ? kEmptyRow : r.type;
}
u32 KeyOf(const LinkRule& r) { return IsEmptyRow(r) ? kEmptyRow : r.from; }
u32 KeyOf(const AtaScsiTypePair& r) { return r.ata_type; }

} // namespace

#define ZV_CHECK_TABLE_ROW(cond, table, i, row) ZV_CHECK_ROW(cond, table, i, KeyOf(row))

void CheckOptRows(const char* table, const OptItem* rows, size_t count, bool util)
{
    for (size_t i = 0; i < count; i++) {
        const OptItem& row = rows[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(row), table, i, row);
        ZV_CHECK_TABLE_ROW(Named(row.name), table, i, row);
        // A value either selects a type or runs a handler; one with neither would do nothing.
        ZV_CHECK_TABLE_ROW((row.type == TYPE_BUTT) == (row.handler != nullptr), table, i, row);
        ZV_CHECK_TABLE_ROW(row.type == TYPE_BUTT || HasCatalogueRow(row.type), table, i, row);
        ZV_CHECK_TABLE_ROW(!util || Named(row.desc), table, i, row);
        for (size_t j = 0; j < i; j++) {
            // The first row of a value is the one found.
            ZV_CHECK_TABLE_ROW(!Named(rows[j].name) || strcmp(rows[j].name, row.name) != 0, table, i, row);
        }
    }
}

void CheckRaidRows(const RaidItem* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        ZV_CHECK(Named(rows[i].name) && rows[i].kind < RAID_BUTT);
    }
}

void CheckMenuRows(const char* menu, const MenuItem* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const MenuItem& row = rows[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(row), menu, i, row);
        ZV_CHECK_TABLE_ROW(row.name != nullptr, menu, i, row);
        const int kinds = (row.handler != nullptr ? 1 : 0) + (row.submenu != nullptr ? 1 : 0) +
                          (row.type != TYPE_BUTT ? 1 : 0);
        ZV_CHECK_TABLE_ROW(kinds == 1, menu, i, row);
        ZV_CHECK_TABLE_ROW(row.type == TYPE_BUTT || HasCatalogueRow(row.type), menu, i, row);
        ZV_CHECK_TABLE_ROW((row.submenu == nullptr) == (row.submenu_count == 0), menu, i, row);
        if (row.submenu != nullptr) {
            const std::string sub = std::string(menu) + " row " + std::to_string(i) + "'s submenu";
            CheckMenuRows(sub.c_str(), row.submenu, row.submenu_count);
        }
    }
}

void CheckLinkRules(const LinkRule* rules, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const LinkRule& r = rules[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(r), "link_rules", i, r);
        ZV_CHECK_TABLE_ROW(HasCatalogueRow(r.from) && HasCatalogueRow(r.to), "link_rules", i, r);
        const bool ata_to_scsi = r.from < kFirstScsiType && r.to >= kFirstScsiType;
        const bool scsi_to_ata = r.from >= kFirstScsiType && r.to < kFirstScsiType;
        ZV_CHECK_TABLE_ROW(r.on_scsi ? ata_to_scsi : scsi_to_ata, "link_rules", i, r);
        bool reverse = false;
        for (size_t j = 0; j < count; j++) {
            reverse = reverse || (rules[j].from == r.to && rules[j].to == r.from && rules[j].on_scsi != r.on_scsi);
        }
        ZV_CHECK_TABLE_ROW(reverse, "link_rules", i, r);
        for (size_t j = 0; j < i; j++) {
            ZV_CHECK_TABLE_ROW(rules[j].from != r.from || rules[j].on_scsi != r.on_scsi, "link_rules", i, r);
        }
    }
}

void CheckTypeMapRows(const AtaScsiTypePair* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const AtaScsiTypePair& row = rows[i];
        ZV_CHECK_ROW(!IsEmptyRow(rows, i), "ata_scsi_type_map", i, kEmptyRow);
        ZV_CHECK_TABLE_ROW(row.ata_type < kFirstScsiType && HasCatalogueRow(row.scsi_type), "ata_scsi_type_map", i,
                     row);
        for (size_t j = 0; j < i; j++) {
            ZV_CHECK_TABLE_ROW(rows[j].ata_type != row.ata_type, "ata_scsi_type_map", i, row);
        }
    }
}

void CheckMessageRows(const char* table, const RunnerMessage* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(rows[i]), table, i, rows[i]);
        ZV_CHECK_TABLE_ROW(HasCatalogueRow(rows[i].type) && Named(rows[i].text), table, i, rows[i]);
        ZV_CHECK_TABLE_ROW(FirstForItsType(rows, i), table, i, rows[i]);
    }
}

void CheckSetValueRows(const SetValueItem* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const SetValueItem& row = rows[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(row), "set_value_items", i, row);
        ZV_CHECK_TABLE_ROW(HasCatalogueRow(row.type) && Named(row.prompt) && row.length > 0, "set_value_items", i, row);
        ZV_CHECK_TABLE_ROW(FirstForItsType(rows, i), "set_value_items", i, row);
    }
}

void CheckSwitchRows(const VendorSwitch* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const VendorSwitch& row = rows[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(row), "vendor_switch_list", i, row);
        ZV_CHECK_TABLE_ROW(HasCatalogueRow(row.type) && Named(row.question) && Named(row.done), "vendor_switch_list", i,
                     row);
        ZV_CHECK_TABLE_ROW(FirstForItsType(rows, i), "vendor_switch_list", i, row);
    }
}

void CheckOneKeyRows(const OneKeyInfoItem* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const OneKeyInfoItem& row = rows[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(row), "one_key_info_list", i, row);
        ZV_CHECK_TABLE_ROW(HasCatalogueRow(row.type) && Named(row.name), "one_key_info_list", i, row);
        ZV_CHECK_TABLE_ROW(FirstForItsType(rows, i), "one_key_info_list", i, row);
    }
}

void CheckDriveChangeRows(const DriveChangeRow* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const DriveChangeRow& row = rows[i];
        ZV_CHECK_TABLE_ROW(!IsEmptyRow(row), "drive_change_list", i, row);
        ZV_CHECK_TABLE_ROW(HasCatalogueRow(row.type) && Named(row.change), "drive_change_list", i, row);
        ZV_CHECK_TABLE_ROW(i == 0 || rows[i - 1].type < row.type, "drive_change_list", i, row);
    }
}

void CheckTypeTables()
{
    CheckOptRows("opt_smart_list", opt_smart_list, kOptSmartNum, false);
    CheckOptRows("opt_table_list", opt_table_list, kOptTableNum, false);
    CheckOptRows("opt_option_list", opt_option_list, kOptOptionNum, false);
    CheckOptRows("opt_util_list", opt_util_list, kOptUtilNum, true);
    CheckOptRows("opt_log_list", opt_log_list, kOptLogNum, false);
    CheckRaidRows(opt_raid_list, kOptRaidNum);
    CheckMenuRows("ata_main_menu", ata_main_menu, kAtaMainMenuCount);
    CheckMenuRows("scsi_main_menu", scsi_main_menu, kScsiMainMenuCount);
    CheckLinkRules(link_rules, kLinkRuleRows);
    CheckTypeMapRows(ata_scsi_type_map, kAtaScsiTypeMapRows);
    CheckMessageRows("exec_ok_messages", exec_ok_messages, kExecOkMessageRows);
    CheckMessageRows("no_data_ok_texts", no_data_ok_texts, kNoDataOkTextRows);
    CheckSetValueRows(set_value_items, kSetValueItemRows);
    CheckSwitchRows(vendor_switch_list, kVendorSwitchRows);
    CheckOneKeyRows(one_key_info_list, kOneKeyInfoItems);
    CheckDriveChangeRows(drive_change_list, kDriveChangeRows);
}
