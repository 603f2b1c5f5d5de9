// The start-up check of the front end's tables, run over copies of the program's tables that
// one case spoils each: mostly a row left out while the table's count stays, which leaves an
// empty row at the end (a -L row left out that way made every later -L value crash).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "case_names.h"
#include "type_tables.h"

namespace {

// A text matched as it is inside a death test's regular expression.
std::string Literal(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        if (std::string("\\^$.|?*+()[]{}").find(ch) != std::string::npos) {
            out += '\\';
        }
        out += ch;
    }
    return out;
}

// The table without row `row`, an empty row at its end: the count is what it was.
template <typename Row, size_t N>
std::vector<Row> LeftOut(const Row (&table)[N], size_t row)
{
    std::vector<Row> rows(table, table + N);
    rows.erase(rows.begin() + static_cast<long>(row));
    rows.push_back(Row{});
    return rows;
}

template <typename Row, size_t N>
std::vector<Row> Copy(const Row (&table)[N])
{
    return std::vector<Row>(table, table + N);
}

struct TableCase {
    const char* what;
    void (*check)();  // builds the spoilt copy and runs the check over it
    const char* assertion;
    const char* where;  // the table, row and type the message names
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.what; }

class TypeTablesDeathTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(TypeTablesDeathTest, StopsNamingTheRow)
{
    const TableCase& c = GetParam();
    EXPECT_DEATH(c.check(), Literal(std::string("Assertion `") + c.assertion + "' failed: " + c.where + "."));
}

INSTANTIATE_TEST_SUITE_P(
    Spoilt, TypeTablesDeathTest,
    ::testing::Values(
        TableCase{"L row left out",
                  [] {
                      const std::vector<OptItem> rows = LeftOut(opt_log_list, 3);
                      CheckOptRows("opt_log_list", rows.data(), rows.size(), false);
                  },
                  "!IsEmptyRow(row)", "opt_log_list row 7, command type none (an empty row)"},
        TableCase{"L value without its name",
                  [] {
                      std::vector<OptItem> rows = Copy(opt_log_list);
                      rows[2].name = "";
                      CheckOptRows("opt_log_list", rows.data(), rows.size(), false);
                  },
                  "Named(row.name)", "opt_log_list row 2, command type 72 \"[4Dh] Read Error Counter\""},
        TableCase{"o value twice",
                  [] {
                      std::vector<OptItem> rows = Copy(opt_option_list);
                      rows[1].name = "log";
                      CheckOptRows("opt_option_list", rows.data(), rows.size(), false);
                  },
                  "!Named(rows[j].name) || strcmp(rows[j].name, row.name) != 0",
                  "opt_option_list row 1, command type 85 \"[4Dh] ReadFlash LOG\""},
        TableCase{"s value of a type outside the catalogue",
                  [] {
                      std::vector<OptItem> rows = Copy(opt_smart_list);
                      rows[4].type = TYPE_BUTT + 1;
                      CheckOptRows("opt_smart_list", rows.data(), rows.size(), false);
                  },
                  "row.type == TYPE_BUTT || HasCatalogueRow(row.type)",
                  "opt_smart_list row 4, command type 143 (outside the catalogue)"},
        TableCase{"t value that selects nothing",
                  [] {
                      std::vector<OptItem> rows = Copy(opt_table_list);
                      rows[2].type = TYPE_BUTT;
                      CheckOptRows("opt_table_list", rows.data(), rows.size(), false);
                  },
                  "(row.type == TYPE_BUTT) == (row.handler != nullptr)",
                  "opt_table_list row 2, command type 142 (none)"},
        TableCase{"U row left out",
                  [] {
                      const std::vector<OptItem> rows = LeftOut(opt_util_list, 0);
                      CheckOptRows("opt_util_list", rows.data(), rows.size(), true);
                  },
                  "!IsEmptyRow(row)", "opt_util_list row 7, command type none (an empty row)"},
        TableCase{"U row without its description",
                  [] {
                      std::vector<OptItem> rows = Copy(opt_util_list);
                      rows[5].desc = nullptr;
                      CheckOptRows("opt_util_list", rows.data(), rows.size(), true);
                  },
                  "!util || Named(row.desc)", "opt_util_list row 5, command type 56 \"[8Ah] Get Disk Status   \""},
        TableCase{"main menu row left out",
                  [] {
                      const std::vector<MenuItem> rows = LeftOut(scsi_main_menu, 2);
                      CheckMenuRows("scsi_main_menu", rows.data(), rows.size());
                  },
                  "!IsEmptyRow(row)", "scsi_main_menu row 7, command type none (an empty row)"},
        TableCase{"menu row without its name",
                  [] {
                      std::vector<MenuItem> rows = Copy(scsi_main_menu);
                      rows[2].name = nullptr;
                      CheckMenuRows("scsi_main_menu", rows.data(), rows.size());
                  },
                  "row.name != nullptr", "scsi_main_menu row 2, command type 142 (none)"},
        TableCase{"submenu row of a type outside the catalogue",
                  [] {
                      std::vector<MenuItem> rows = Copy(scsi_main_menu);
                      static std::vector<MenuItem> sub;
                      sub.assign(rows[2].submenu, rows[2].submenu + rows[2].submenu_count);
                      sub[3].type = TYPE_BUTT + 8;
                      rows[2].submenu = sub.data();
                      CheckMenuRows("scsi_main_menu", rows.data(), rows.size());
                  },
                  "row.type == TYPE_BUTT || HasCatalogueRow(row.type)",
                  "scsi_main_menu row 2's submenu row 3, command type 150 (outside the catalogue)"},
        TableCase{"menu row with a handler and a type",
                  [] {
                      std::vector<MenuItem> rows = Copy(ata_main_menu);
                      rows[0].type = TYPE_IDENTIFY_DEVICE;
                      CheckMenuRows("ata_main_menu", rows.data(), rows.size());
                  },
                  "kinds == 1", "ata_main_menu row 0, command type 0 \"IDENTIFY DEVICE\""},
        TableCase{"link rule left out",
                  [] {
                      const std::vector<LinkRule> rows = LeftOut(link_rules, 3);
                      CheckLinkRules(rows.data(), rows.size());
                  },
                  "reverse", "link_rules row 0, command type 21 \"[89h] Device vendor log\""},
        TableCase{"link rule count raised, the rule not written",
                  [] {
                      std::vector<LinkRule> rows = Copy(link_rules);
                      rows.push_back(LinkRule{});
                      CheckLinkRules(rows.data(), rows.size());
                  },
                  "!IsEmptyRow(r)", "link_rules row 8, command type none (an empty row)"},
        TableCase{"link rule for the wrong kind of drive",
                  [] {
                      std::vector<LinkRule> rows = Copy(link_rules);
                      rows[1].on_scsi = false;
                      CheckLinkRules(rows.data(), rows.size());
                  },
                  "r.on_scsi ? ata_to_scsi : scsi_to_ata",
                  "link_rules row 1, command type 43 \"[8Ch] Write Current Time\""},
        TableCase{"ATA to SCSI type row left out",
                  [] {
                      const std::vector<AtaScsiTypePair> rows = LeftOut(ata_scsi_type_map, 5);
                      CheckTypeMapRows(rows.data(), rows.size());
                  },
                  "!IsEmptyRow(rows, i)", "ata_scsi_type_map row 31, command type none (an empty row)"},
        TableCase{"ATA type twice",
                  [] {
                      std::vector<AtaScsiTypePair> rows = Copy(ata_scsi_type_map);
                      rows[3] = rows[2];
                      CheckTypeMapRows(rows.data(), rows.size());
                  },
                  "rows[j].ata_type != row.ata_type", "ata_scsi_type_map row 3, command type 2 \"SMART ENABLE\""},
        TableCase{"success message row left out",
                  [] {
                      const std::vector<RunnerMessage> rows = LeftOut(exec_ok_messages, 1);
                      CheckMessageRows("exec_ok_messages", rows.data(), rows.size());
                  },
                  "!IsEmptyRow(rows[i])", "exec_ok_messages row 6, command type none (an empty row)"},
        TableCase{"success message without its text",
                  [] {
                      std::vector<RunnerMessage> rows = Copy(exec_ok_messages);
                      rows[1].text = nullptr;
                      CheckMessageRows("exec_ok_messages", rows.data(), rows.size());
                  },
                  "HasCatalogueRow(rows[i].type) && Named(rows[i].text)",
                  "exec_ok_messages row 1, command type 125 \"[C1h] Clean SMART\""},
        TableCase{"no-data text row twice",
                  [] {
                      std::vector<RunnerMessage> rows = Copy(no_data_ok_texts);
                      rows[3].type = rows[0].type;
                      CheckMessageRows("no_data_ok_texts", rows.data(), rows.size());
                  },
                  "FirstForItsType(rows, i)", "no_data_ok_texts row 3, command type 57 \"Set Format Unit\""},
        TableCase{"new-value row left out",
                  [] {
                      const std::vector<SetValueItem> rows = LeftOut(set_value_items, 0);
                      CheckSetValueRows(rows.data(), rows.size());
                  },
                  "!IsEmptyRow(row)", "set_value_items row 3, command type none (an empty row)"},
        TableCase{"new-value row without its length",
                  [] {
                      std::vector<SetValueItem> rows = Copy(set_value_items);
                      rows[1].length = 0;
                      CheckSetValueRows(rows.data(), rows.size());
                  },
                  "HasCatalogueRow(row.type) && Named(row.prompt) && row.length > 0",
                  "set_value_items row 1, command type 129 \"[C0h] Set Disk SN\""},
        TableCase{"vendor switch row left out",
                  [] {
                      const std::vector<VendorSwitch> rows = LeftOut(vendor_switch_list, 0);
                      CheckSwitchRows(rows.data(), rows.size());
                  },
                  "!IsEmptyRow(row)", "vendor_switch_list row 1, command type none (an empty row)"},
        TableCase{"vendor switch without its answer",
                  [] {
                      std::vector<VendorSwitch> rows = Copy(vendor_switch_list);
                      rows[0].done = "";
                      CheckSwitchRows(rows.data(), rows.size());
                  },
                  "HasCatalogueRow(row.type) && Named(row.question) && Named(row.done)",
                  "vendor_switch_list row 0, command type 53 \"[8Bh] Read Table Switch\""},
        TableCase{"one-key item left out",
                  [] {
                      const std::vector<OneKeyInfoItem> rows = LeftOut(one_key_info_list, 4);
                      CheckOneKeyRows(rows.data(), rows.size());
                  },
                  "!IsEmptyRow(row)", "one_key_info_list row 11, command type none (an empty row)"},
        TableCase{"one-key item of a type outside the catalogue",
                  [] {
                      std::vector<OneKeyInfoItem> rows = Copy(one_key_info_list);
                      rows[2].type = TYPE_BUTT;
                      CheckOneKeyRows(rows.data(), rows.size());
                  },
                  "HasCatalogueRow(row.type) && Named(row.name)", "one_key_info_list row 2, command type 142 (none)"},
        TableCase{"drive-change row left out",
                  [] {
                      const std::vector<DriveChangeRow> rows = LeftOut(drive_change_list, 5);
                      CheckDriveChangeRows(rows.data(), rows.size());
                  },
                  "!IsEmptyRow(row)", "drive_change_list row 27, command type none (an empty row)"},
        TableCase{"drive-change row without what it changes",
                  [] {
                      std::vector<DriveChangeRow> rows = Copy(drive_change_list);
                      rows[3].change = nullptr;
                      CheckDriveChangeRows(rows.data(), rows.size());
                  },
                  "HasCatalogueRow(row.type) && Named(row.change)",
                  "drive_change_list row 3, command type 39 \"[8Bh] Write Register\""},
        TableCase{"drive-change rows out of type order",
                  [] {
                      std::vector<DriveChangeRow> rows = Copy(drive_change_list);
                      std::swap(rows[0], rows[1]);
                      CheckDriveChangeRows(rows.data(), rows.size());
                  },
                  "i == 0 || rows[i - 1].type < row.type", "drive_change_list row 1, command type 2 \"SMART ENABLE\""}),
    CaseName());

TEST(TypeTablesDeathTest, RaidRowLeftOut)
{
    const std::vector<RaidItem> rows = LeftOut(opt_raid_list, 1);
    EXPECT_DEATH(CheckRaidRows(rows.data(), rows.size()),
                 Literal("Assertion `Named(rows[i].name) && rows[i].kind < RAID_BUTT' failed."));
}

TEST(TypeTables, ProgramTablesPass)
{
    EXPECT_EXIT(
        {
            CheckTypeTables();
            exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
