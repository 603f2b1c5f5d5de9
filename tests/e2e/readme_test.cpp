// The README's option table is the operator's reference: it must list exactly the options
// and values that the usage text lists, each with an example that uses them.
#include "e2e_util.h"

#include "cmd_options.h"
#include "disk_cmnd.h"
#include "drive_changes.h"
#include "one_key_info.h"
#include "scsi_passthrough.h"
#include "vendor_tools.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// (option letter, value); the value is "" for an option without one, or the usage text's
// own placeholder ("FILE", "loader FILE").
using OptionValue = std::pair<char, std::string>;

std::string ReadReadme()
{
    std::ifstream f(std::string(ZV_TEST_DATA_DIR) + "/../../README.md", std::ios::binary);
    EXPECT_TRUE(f.good()) << "README.md";
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The single-letter options ("-s", "-V") named in a piece of text, in order.
std::vector<char> ShortOptions(const std::string& text)
{
    std::vector<char> letters;
    for (size_t i = 0; i + 1 < text.size(); i++) {
        bool starts = i == 0 || (!isalnum(static_cast<unsigned char>(text[i - 1])) && text[i - 1] != '-');
        bool single = i + 2 >= text.size() || !isalnum(static_cast<unsigned char>(text[i + 2]));
        if (starts && text[i] == '-' && isalpha(static_cast<unsigned char>(text[i + 1])) && single) {
            letters.push_back(text[i + 1]);
        }
    }
    return letters;
}

// Options and values of the usage text: its option lines ("  -s VALUE, --smart=VALUE" with
// the "value  :  name" rows under it, "  -u loader FILE"), and the options that only its
// examples show ("  zembrovant -f 512|520 /dev/sda").
std::set<OptionValue> UsageOptions(const std::string& usage)
{
    std::set<OptionValue> found;
    std::set<char> in_option_lines;
    char listing = 0;  // the option whose value rows follow
    for (const std::string& line : Lines(usage)) {
        if (line.compare(0, 3, "  -") == 0) {
            std::string head = line.substr(2, line.find(',') == std::string::npos ? std::string::npos : line.find(',') - 2);
            std::istringstream words(head);
            std::string opt, arg, arg2;
            words >> opt >> arg >> arg2;
            listing = 0;
            if (arg == "VALUE") {
                listing = opt[1];
            } else if (arg == "FILE" || arg == "loader") {
                found.insert({opt[1], arg == "loader" ? "loader " + arg2 : arg});
            } else {
                for (char c : ShortOptions(line)) {
                    found.insert({c, ""});
                }
            }
            in_option_lines.insert(opt[1]);
            continue;
        }
        size_t colon = line.find("  :");
        if (listing != 0 && colon != std::string::npos && line.compare(0, 12, std::string(12, ' ')) == 0) {
            found.insert({listing, Trim(line.substr(0, colon))});
            continue;
        }
        if (line.compare(0, 13, "  zembrovant ") == 0) {
            std::istringstream words(line.substr(13));
            std::string opt, arg;
            words >> opt >> arg;
            if (opt.size() == 2 && opt[0] == '-' && in_option_lines.count(opt[1]) == 0) {
                std::istringstream alternatives(arg);
                for (std::string v; std::getline(alternatives, v, '|');) {
                    found.insert({opt[1], v});
                }
            }
        }
    }
    return found;
}

struct ReadmeRow {
    std::vector<char> letters;
    std::string option_cell;
    std::string value;
    std::string shows;
    std::string example;
};

std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    std::istringstream in(row);
    std::string cell;
    std::getline(in, cell, '|');  // before the first bar
    while (std::getline(in, cell, '|')) {
        cells.push_back(Trim(cell));
    }
    if (!cells.empty() && cells.back().empty()) {
        cells.pop_back();
    }
    return cells;
}

std::string Unquote(const std::string& cell)
{
    std::string out;
    for (char c : cell) {
        if (c != '`') {
            out += c;
        }
    }
    return out;
}

// The table rows between "<!-- name:begin -->" and "<!-- name:end -->".
std::vector<std::string> MarkedRows(const std::string& readme, const std::string& name)
{
    std::vector<std::string> rows;
    bool inside = false;
    for (const std::string& line : Lines(readme)) {
        if (line == "<!-- " + name + ":begin -->") {
            inside = true;
        } else if (line == "<!-- " + name + ":end -->") {
            inside = false;
        } else if (inside && line.compare(0, 3, "| `") == 0) {
            rows.push_back(line);
        }
    }
    return rows;
}

// The rows of the README's option table.
std::vector<ReadmeRow> ReadmeOptions(const std::string& readme)
{
    std::vector<ReadmeRow> rows;
    bool inside = false;
    for (const std::string& line : Lines(readme)) {
        if (line == "<!-- options:begin -->") {
            inside = true;
        } else if (line == "<!-- options:end -->") {
            inside = false;
        } else if (inside && line.compare(0, 3, "| `") == 0) {
            std::vector<std::string> cells = Cells(line);
            EXPECT_EQ(cells.size(), 4u) << line;
            if (cells.size() != 4) {
                continue;
            }
            ReadmeRow row;
            row.option_cell = cells[0];
            row.letters = ShortOptions(Unquote(cells[0]));
            row.value = Unquote(cells[1]);
            row.shows = cells[2];
            row.example = Unquote(cells[3]);
            EXPECT_FALSE(row.letters.empty()) << line;
            rows.push_back(row);
        }
    }
    return rows;
}

class Readme : public E2eTest {
protected:
    std::string Usage()
    {
        RunResult r = Run({"-h"});
        EXPECT_EQ(r.status, 0);
        return r.out;
    }
};

TEST_F(Readme, OptionTableListsExactlyTheUsageTextsOptionsAndValues)
{
    std::set<OptionValue> usage = UsageOptions(Usage());
    // The parser must see the usage text's structure, not an empty set that matches an empty table.
    ASSERT_TRUE(usage.count({'s', "pend"}));
    ASSERT_TRUE(usage.count({'u', "loader FILE"}));
    ASSERT_TRUE(usage.count({'f', "520"}));
    ASSERT_TRUE(usage.count({'V', ""}));

    std::set<OptionValue> readme;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        for (char c : row.letters) {
            EXPECT_TRUE(readme.insert({c, row.value}).second) << "listed twice: -" << c << " " << row.value;
        }
    }
    for (const OptionValue& ov : usage) {
        EXPECT_TRUE(readme.count(ov)) << "the README does not list -" << ov.first << " " << ov.second;
    }
    for (const OptionValue& ov : readme) {
        EXPECT_TRUE(usage.count(ov)) << "the usage text does not list -" << ov.first << " " << ov.second;
    }
}

// Each example runs the row's own option and value, and each long name is the usage text's.
TEST_F(Readme, EveryRowsExampleAndLongNamesMatchTheUsageText)
{
    std::string usage = Usage();
    std::vector<ReadmeRow> rows = ReadmeOptions(ReadReadme());
    ASSERT_FALSE(rows.empty());
    for (const ReadmeRow& row : rows) {
        EXPECT_EQ(row.example.compare(0, 11, "zembrovant "), 0) << row.example;
        bool uses_option = false;
        for (char c : row.letters) {
            std::string flag = std::string("-") + c;
            uses_option |= (" " + row.example + " ").find(" " + flag + " ") != std::string::npos;
        }
        EXPECT_TRUE(uses_option) << row.example;
        // A placeholder (FILE) stands for any name; a value is typed as it stands.
        if (!row.value.empty() && row.value.find("FILE") == std::string::npos) {
            EXPECT_NE((row.example + " ").find(" " + row.value + " "), std::string::npos) << row.example;
        }
        std::string cell = Unquote(row.option_cell);
        for (size_t at = cell.find("--"); at != std::string::npos; at = cell.find("--", at + 2)) {
            size_t end = cell.find_first_of(", ", at);
            std::string name = cell.substr(at, end == std::string::npos ? std::string::npos : end - at);
            EXPECT_NE(usage.find(name), std::string::npos) << name;
        }
    }
}

// The option and value tables of the command line, by option letter.
const OptItem* FindOptItem(char letter, const std::string& value)
{
    struct Table {
        char letter;
        const OptItem* rows;
        u32 count;
    };
    const Table tables[] = {{'s', opt_smart_list, kOptSmartNum}, {'t', opt_table_list, kOptTableNum},
                            {'o', opt_option_list, kOptOptionNum}, {'U', opt_util_list, kOptUtilNum},
                            {'L', opt_log_list, kOptLogNum}};
    for (const Table& t : tables) {
        for (u32 i = 0; t.letter == letter && i < t.count; i++) {
            if (value == t.rows[i].name) {
                return &t.rows[i];
            }
        }
    }
    return nullptr;
}

// A row is marked as changing the drive exactly when its command type is one that changes a
// drive, or its tool sends what the operator types (the pass-through, a new maximum address),
// or the collection it runs holds such a type.
TEST(ReadmeTables, OptionRowsMarkExactlyTheValuesThatChangeADrive)
{
    size_t looked_up = 0;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        const bool marked = row.shows.find("**changes**") != std::string::npos;
        bool changes = false;
        const char letter = row.letters[0];
        if (const OptItem* item = FindOptItem(letter, row.value)) {
            looked_up++;
            changes = item->type != TYPE_BUTT ? ChangesDrive(item->type)
                                              : item->handler == scsiPassThrough || item->handler == getSetMaxAddress;
        } else if (letter == 'c') {
            changes = ChangesDrive(TYPE_C1H_CLEAN_SMART);
        } else if (letter == 'a') {
            changes = std::any_of(std::begin(one_key_info_list), std::end(one_key_info_list),
                                  [](const OneKeyInfoItem& item) { return ChangesDrive(item.type); });
        } else {
            // Downloads and FORMAT UNIT; the rest only read or name files.
            changes = letter == 'u' || letter == 'f';
        }
        EXPECT_EQ(marked, changes) << "-" << letter << " " << row.value;
    }
    EXPECT_EQ(looked_up, size_t(kOptSmartNum + kOptTableNum + kOptOptionNum + kOptUtilNum + kOptLogNum));
}

// The table of what changes a drive names exactly the catalogue's types that do, in type order.
TEST(ReadmeTables, DriveChangeTableIsTheCataloguesList)
{
    std::vector<std::string> listed;
    for (const std::string& line : MarkedRows(ReadReadme(), "changes")) {
        listed.push_back(Unquote(Cells(line).at(0)));
    }
    std::vector<std::string> expected;
    for (const DriveChangeRow& row : drive_change_list) {
        std::string name = disk_spt_list[row.type].name;
        expected.push_back(Trim(name));
    }
    EXPECT_EQ(listed, expected);
}

} // namespace
