// The README's option table is the operator's reference: it must list exactly the options
// and values that the usage text lists, each with an example that uses them. What the README
// says a command line does is run on the emulated drives.
#include "e2e_util.h"

#include "case_names.h"
#include "cmd_options.h"
#include "disk_cmnd.h"
#include "drive_changes.h"
#include "one_key_info.h"
#include "scsi_passthrough.h"
#include "vendor_tools.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
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

// ---------------------------------------------------------------- the README's statements on the drives

// The demo drives, with the SAS drive's flash geometry and vendor logs and the SATA drive's
// vendor event log, so that every statement below reaches the drive's answer.
std::string StatementDrives()
{
    const std::string data = ZV_TEST_DATA_DIR;
    return data + "/demo/sata_k4410.txt:" + data + "/demo/sas_k6470.txt:" + data + "/demo/sas_k6470_scsi.txt:" +
           data + "/vendor/sas_logs.txt:" + data + "/vendor_log/sata_vendor_log.txt:" + data + "/format/sas_format.txt";
}

// A request as the drive saw it: "ata CC/FF" is an ATA command CC with features FF inside
// ATA PASS-THROUGH(16); anything else the first bytes of a SCSI CDB.
bool Matches(const zvemu::TraceEntry& e, const std::string& request)
{
    if (request.compare(0, 4, "ata ") == 0) {
        zvemu::Bytes cmd_fea = zvemu::Hex(request.substr(4, 2) + request.substr(7, 2));
        return e.cdb.size() == 16 && e.cdb[0] == 0x85 && e.cdb[14] == cmd_fea.at(0) && e.cdb[4] == cmd_fea.at(1);
    }
    zvemu::Bytes prefix = zvemu::Hex(request);
    return e.cdb.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), e.cdb.begin());
}

class ReadmeOnDrives : public E2eTest {
protected:
    RunResult RunOnDrives(const std::vector<std::string>& args)
    {
        env_["ZV_EMU_CONFIG"] = StatementDrives();
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
        remove(Path("trace.txt").c_str());
        return Run(args);
    }

    std::vector<zvemu::TraceEntry> Sent() const { return zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio"); }

    bool WasSent(const std::string& request) const
    {
        std::vector<zvemu::TraceEntry> sent = Sent();
        return std::any_of(sent.begin(), sent.end(), [&](const zvemu::TraceEntry& e) { return Matches(e, request); });
    }

    // "{dir}" in an argument stands for the working directory, for an absolute path.
    std::vector<std::string> Expand(const std::vector<std::string>& args) const
    {
        std::vector<std::string> out;
        for (std::string a : args) {
            size_t at = a.find("{dir}");
            if (at != std::string::npos) {
                a.replace(at, 5, dir_);
            }
            out.push_back(a);
        }
        return out;
    }
};

// "How the arguments combine": each line as the README gives it, with what reached the drive
// and which files the run left.
struct CombineCase {
    const char* statement;
    std::vector<std::string> args;
    std::vector<std::string> sent;      // requests that reached the drive
    std::vector<std::string> not_sent;  // requests that did not ("" stands for any request)
    const char* out_has;                // a text standard output holds, or ""
    std::vector<std::string> files;     // left in the working directory ("{dir}" allowed)
    std::vector<std::string> no_files;  // not there
};

void PrintTo(const CombineCase& c, std::ostream* os) { *os << c.statement; }

// A refusal: its line, then the usage text.
const char* const kSmartNameRefused = "Zembrovant requires smart's name as argument\n\nUsage : zembrovant";
const char* const kFirmwareNameRefused = "Zembrovant requires firmware name as argument\n\nUsage : zembrovant";
const char* const kValueRefused = "Zembrovant requires the value as argument\n\nUsage : zembrovant";
const char* const kNewSerial = "QM2013120600000001AB";

class ReadmeCombine : public ReadmeOnDrives, public ::testing::WithParamInterface<CombineCase> {};

TEST_P(ReadmeCombine, TheRunDoesWhatTheReadmeSays)
{
    const CombineCase& c = GetParam();
    RunResult r = RunOnDrives(Expand(c.args));
    EXPECT_EQ(r.status, 0) << r.out;
    for (const std::string& q : c.sent) {
        EXPECT_TRUE(WasSent(q)) << q << "\n" << ReadFile("trace.txt");
    }
    for (const std::string& q : c.not_sent) {
        EXPECT_FALSE(WasSent(q)) << q << "\n" << ReadFile("trace.txt");
    }
    EXPECT_NE(r.out.find(Expand({c.out_has})[0]), std::string::npos) << r.out;
    for (const std::string& f : Expand(c.files)) {
        EXPECT_TRUE(Exists(f.compare(0, dir_.size(), dir_) == 0 ? f.substr(dir_.size() + 1) : f)) << f;
    }
    for (const std::string& f : Expand(c.no_files)) {
        EXPECT_FALSE(Exists(f)) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ReadmeCombine,
    ::testing::Values(
        CombineCase{"a later -U trim replaces -s value and formats", {"-s", "value", "-U", "trim", "/dev/sda"},
                    {"ata 8B/20"}, {"ata B0/D0", "ata B0/D1"}, "", {}, {}},
        CombineCase{"-f after -s value starts a format", {"-s", "value", "-f", "512", "/dev/sdf"},
                    {"1A 00 01", "04 10"}, {}, "Format progress indication is", {}, {}},
        CombineCase{"-f before -s value starts a format as well", {"-f", "512", "-s", "value", "/dev/sdf"},
                    {"1A 00 01", "04 10"}, {}, "Format progress indication is", {}, {}},
        CombineCase{"a workflow wins over a later value", {"-U", "magnify", "-s", "value", "/dev/sda"},
                    {"ata 89/0D"}, {"ata B0/D0"}, "", {}, {}},
        CombineCase{"-c takes -o as its value and clears SMART", {"-c", "-o", "getsn", "/dev/sdb"},
                    {"C1 07"}, {"C0 0A 01"}, "Clean SMART successfully!", {}, {}},
        CombineCase{"-c last takes the device and clears SMART", {"-o", "getsn", "-c", "/dev/sdb"},
                    {"C1 07"}, {"C0 0A 01"}, "Clean SMART successfully!", {}, {}},
        CombineCase{"-t multilog second keeps the log and -b file here", {"-t", "multilog", "-b", "log.bin", "/dev/sda"},
                    {"ata 89/00"}, {}, "", {"cmd_resp_log.txt", "log.bin"}, {"SSDlog"}},
        CombineCase{"-t multilog after -g logs in SSDlog", {"-g", "1", "-t", "multilog", "/dev/sda"},
                    {"ata 89/00"}, {}, "", {"SSDlog/cmd_resp_log.txt"}, {"cmd_resp_log.txt"}},
        CombineCase{"--table=multilog logs in SSDlog", {"--table=multilog", "/dev/sda"},
                    {"ata 89/00"}, {}, "", {"SSDlog/cmd_resp_log.txt"}, {"cmd_resp_log.txt"}},
        CombineCase{"-t log -b with an absolute path cannot save", {"-t", "log", "-b", "{dir}/abs.bin", "/dev/sda"},
                    {"ata 89/00"}, {}, "    Original binary data can't be saved to SSDlog/{dir}/abs.bin, "
                                       "User Err Coode [00000017h:File can't be opened]\n", {}, {"abs.bin"}},
        CombineCase{"-t multilog -b saves the absolute path as given",
                    {"-t", "multilog", "-b", "{dir}/abs.bin", "/dev/sda"}, {"ata 89/00"}, {}, "", {"{dir}/abs.bin"},
                    {}},
        // What each command takes: anything else is refused before the drive is reached.
        CombineCase{"-v beside a device is refused", {"-v", "/dev/sda"}, {}, {""}, kSmartNameRefused, {}, {}},
        CombineCase{"-l beside another option is refused", {"-l", "-s", "value"}, {}, {""}, kSmartNameRefused, {},
                    {}},
        CombineCase{"-i after -s is refused", {"-s", "value", "-i", "/dev/sda"}, {}, {""}, kSmartNameRefused, {}, {}},
        CombineCase{"-i beside -x is refused", {"-i", "-x", "i.txt", "/dev/sda"}, {}, {""}, kSmartNameRefused, {},
                    {"i.txt"}},
        CombineCase{"-I beside -b is refused", {"-I", "-b", "id.bin", "/dev/sda"}, {}, {""}, kSmartNameRefused, {},
                    {"id.bin"}},
        CombineCase{"-i beside an argument beginning with megaraid runs", {"-i", "-b", "megaraid.bin", "/dev/sda"},
                    {"12"}, {}, "    LBA      : ", {}, {}},
        CombineCase{"-c with two more options is refused", {"-c", "x", "-b", "c.bin", "-x", "c.txt", "/dev/sdb"}, {},
                    {""}, kFirmwareNameRefused, {}, {"c.bin", "c.txt"}},
        CombineCase{"-c with one more option clears SMART", {"-c", "x", "-x", "c.txt", "/dev/sdb"}, {"C1 07"}, {},
                    "Clean SMART successfully!", {}, {}},
        CombineCase{"-o setsn with an option after its value is refused",
                    {"-o", "setsn", kNewSerial, "-b", "sn.bin", "/dev/sdb"}, {}, {""}, kValueRefused, {}, {"sn.bin"}},
        CombineCase{"-o setsn after another option sets the serial number",
                    {"-b", "sn.bin", "-o", "setsn", kNewSerial, "/dev/sdb"}, {"C1 0D 01"}, {},
                    "    New SN set successfully!\n", {}, {}},
        CombineCase{"-u loader with the device as its file is refused", {"-u", "loader", "/dev/sda"}, {}, {""},
                    kFirmwareNameRefused, {}, {}},
        CombineCase{"-h prints the usage text where it is read", {"-s", "value", "-h", "/dev/sda"}, {}, {""},
                    "\nUsage : zembrovant", {}, {}},
        CombineCase{"a later value its table does not know is ignored", {"-s", "value", "-s", "vlaue", "/dev/sda"},
                    {"ata B0/D0"}, {}, "", {}, {}}),
    CaseName());

// Any argument beginning with "MegaCli" runs that program instead of the command, a -b file
// name included; a missing one leaves standard output empty and the status 0.
class ReadmeMegaCliArgument : public ReadmeOnDrives {
protected:
    void SetUp() override
    {
        ReadmeOnDrives::SetUp();
        const char* path = getenv("PATH");
        saved_path_ = path != nullptr ? path : "";
    }
    void TearDown() override
    {
        setenv("PATH", saved_path_.c_str(), 1);
        ReadmeOnDrives::TearDown();
    }
    std::string saved_path_;
};

TEST_F(ReadmeMegaCliArgument, RunsTheProgramInsteadOfTheCommand)
{
    struct Case {
        bool installed;       // a program of that name on PATH
        const char* name;     // the -b value
        bool drive_reached;
    };
    const Case cases[] = {{false, "MegaCli.bin", false}, {true, "MegaCli.bin", false}, {true, "./MegaCli.bin", true}};
    ASSERT_EQ(mkdir(Path("bin").c_str(), 0755), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.installed ? " on PATH" : " missing"));
        remove(Path("bin/MegaCli.bin").c_str());
        remove(Path("ran.txt").c_str());
        remove(Path("MegaCli.bin").c_str());
        if (c.installed) {
            WriteFile("bin/MegaCli.bin", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/../ran.txt\"\n");
            ASSERT_EQ(chmod(Path("bin/MegaCli.bin").c_str(), 0755), 0);
        }
        ASSERT_EQ(setenv("PATH", (Path("bin") + ":" + saved_path_).c_str(), 1), 0);
        RunResult r = RunOnDrives({"-s", "value", "-b", c.name, "/dev/sda"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(Sent().empty(), !c.drive_reached) << ReadFile("trace.txt");
        if (c.drive_reached) {
            EXPECT_TRUE(Exists("MegaCli.bin"));
            EXPECT_FALSE(Exists("ran.txt"));
        } else {
            // Nothing on standard output: the README's failure check finds no failure text.
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(Exists("ran.txt") ? ReadFile("ran.txt") : std::string("(not run)"),
                      c.installed ? "/dev/sda\n" : "(not run)");
        }
    }
}

// The option rows' own words, run with the row's example: "prints only" a text, "prints
// nothing when it succeeds", "N requests", "page control NNb" of a LOG SENSE page, "its N
// characters".
class ReadmeRowsOnDrives : public ReadmeOnDrives {
protected:
    std::vector<std::string> ExampleArgs(const ReadmeRow& row)
    {
        std::istringstream words(row.example);
        std::vector<std::string> args;
        std::string w;
        words >> w;  // zembrovant
        while (words >> w) {
            args.push_back(w);
        }
        return args;
    }
};

TEST_F(ReadmeRowsOnDrives, UndecodedRowsPrintOnlyTheirLineAndKeepTheAnswer)
{
    const std::string marker = "prints only \"";
    std::set<std::string> checked;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        size_t at = row.shows.find(marker);
        if (at == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(row.example);
        at += marker.size();
        const std::string line = row.shows.substr(at, row.shows.find('"', at) - at);
        std::vector<std::string> args = ExampleArgs(row);
        auto b = std::find(args.begin(), args.end(), "-b");
        ASSERT_NE(b, args.end()) << "the row says -b saves the answer; its example must show it";
        const std::string file = *(b + 1);
        std::vector<std::string> bare = args;
        bare.erase(bare.begin() + (b - args.begin()), bare.begin() + (b - args.begin()) + 2);
        RunResult r = RunOnDrives(bare);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "    " + line + "\n");
        const size_t requests = Sent().size();
        r = RunOnDrives(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "    Original binary data is saved to " + file + "\n    " + line + "\n");
        ASSERT_TRUE(Exists(file));
        EXPECT_GT(ReadFile(file).size(), 0u);
        // "N requests": every request the run sent, the classification included.
        size_t req = row.shows.find(" requests");
        if (req != std::string::npos) {
            size_t start = row.shows.find_last_of(' ', req - 1) + 1;
            std::string n = row.shows.substr(start, req - start);
            n.erase(std::remove(n.begin(), n.end(), ','), n.end());
            EXPECT_EQ(requests, std::stoul(n));
        }
        checked.insert(row.value);
    }
    EXPECT_EQ(checked, (std::set<std::string>{"log", "log2", "log4", "flashlog1", "flashlog2", "bad", "bad2"}));
}

TEST_F(ReadmeRowsOnDrives, SilentRowsPrintNothingWhenTheDriveTakesThem)
{
    std::set<std::string> checked;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        if (row.shows.find("prints nothing when it succeeds") == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(row.example);
        RunResult r = RunOnDrives(ExampleArgs(row));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Sent().size(), 3u) << "the classification and the command";
        checked.insert(row.value);
    }
    EXPECT_EQ(checked, (std::set<std::string>{"enable", "disable"}));
}

TEST_F(ReadmeRowsOnDrives, LogRowsReadThePageAndPageControlTheyName)
{
    size_t checked = 0;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        size_t pc = row.shows.find("h, page control ");
        if (row.letters[0] != 'L' || pc == std::string::npos || pc < 2) {
            continue;
        }
        SCOPED_TRACE(row.example);
        const unsigned page = static_cast<unsigned>(std::stoul(row.shows.substr(pc - 2, 2), nullptr, 16));
        const std::string bits = row.shows.substr(pc + 16, 3);
        ASSERT_TRUE(bits == "00b" || bits == "01b" || bits == "10b" || bits == "11b") << bits;
        const unsigned control = static_cast<unsigned>(std::stoul(bits.substr(0, 2), nullptr, 2));
        RunResult r = RunOnDrives(ExampleArgs(row));
        EXPECT_EQ(r.status, 0);
        std::vector<zvemu::TraceEntry> sent = Sent();
        ASSERT_FALSE(sent.empty());
        ASSERT_EQ(sent.back().cdb.size(), 10u);
        EXPECT_EQ(sent.back().cdb[0], 0x4D);
        EXPECT_EQ(static_cast<unsigned>(sent.back().cdb[2]), (control << 6) | page);
        checked++;
    }
    EXPECT_EQ(checked, size_t(kOptLogNum));
}

// The identity getters print their label and as many readable characters as the row says.
TEST_F(ReadmeRowsOnDrives, IdentityRowsPrintTheirCharactersAsText)
{
    size_t checked = 0;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        size_t its = row.shows.find(": its ");
        if (its == std::string::npos || row.shows.find(" characters", its) == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(row.example);
        const size_t n = std::stoul(row.shows.substr(its + 6));
        RunResult r = RunOnDrives(ExampleArgs(row));
        EXPECT_EQ(r.status, 0);
        size_t colon = r.out.find(" :");
        ASSERT_NE(colon, std::string::npos) << r.out;
        const std::string text = r.out.substr(colon + 2, r.out.size() - colon - 3);
        EXPECT_EQ(text.size(), n) << r.out;
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char ch) { return isprint(static_cast<unsigned char>(ch)); }))
            << r.out;
        EXPECT_EQ(r.out.back(), '\n');
        checked++;
    }
    EXPECT_EQ(checked, 3u);
}

// A figure written with thousands separators ("8,298,496") right after marker in text.
size_t FigureAfter(const std::string& text, const std::string& marker)
{
    size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos) << "no \"" << marker << "\" in: " << text;
    std::string digits;
    for (size_t i = at == std::string::npos ? text.size() : at + marker.size();
         i < text.size() && (isdigit(static_cast<unsigned char>(text[i])) || text[i] == ','); i++) {
        if (text[i] != ',') {
            digits += text[i];
        }
    }
    EXPECT_FALSE(digits.empty()) << marker;
    return digits.empty() ? 0 : std::stoul(digits);
}

// Where a file holds zeros and where the drive's bytes (the fixture's flash log has no zero byte):
// its runs in order, "read N" or "zero N".
std::string Layout(const std::string& bytes)
{
    std::string layout;
    for (size_t at = 0; at < bytes.size();) {
        const bool zero = bytes[at] == '\0';
        size_t end = at;
        while (end < bytes.size() && (bytes[end] == '\0') == zero) {
            end++;
        }
        layout += (layout.empty() ? "" : ", ") + std::string(zero ? "zero " : "read ") + std::to_string(end - at);
        at = end;
    }
    return layout;
}

// A shell command run in the working directory; its standard output.
std::string Shell(const std::string& dir, const std::string& command)
{
    std::string out;
    FILE* p = popen(("cd '" + dir + "' && " + command).c_str(), "r");
    EXPECT_NE(p, nullptr) << command;
    if (p == nullptr) {
        return out;
    }
    char buf[256];
    for (size_t n; (n = fread(buf, 1, sizeof(buf), p)) > 0;) {
        out.append(buf, n);
    }
    EXPECT_EQ(pclose(p), 0) << command;
    return out;
}

// The two parts of the flash log: each -b file has the whole log's length with zeros where the
// other part lies, and the rows' command joins them into the whole log that -o log2 saves.
TEST_F(ReadmeRowsOnDrives, FlashLogPartsOverlayInFilesOfTheWholeLogsLength)
{
    std::map<std::string, ReadmeRow> rows;
    for (const ReadmeRow& row : ReadmeOptions(ReadReadme())) {
        if (row.letters[0] == 'o') {
            rows[row.value] = row;
        }
    }
    ASSERT_TRUE(rows.count("flashlog1") && rows.count("flashlog2") && rows.count("log2"));
    const std::string& first = rows["flashlog1"].shows;
    const std::string& second = rows["flashlog2"].shows;
    const size_t whole = FigureAfter(first, "`-b` writes a file of the whole log's length (");
    const size_t part = FigureAfter(first, "chunks of 8 KiB (");
    EXPECT_EQ(FigureAfter(second, "(byte "), part);
    EXPECT_EQ(FigureAfter(second, "zeros that were never read from the drive up to byte "), part);
    ASSERT_GT(whole, part);
    const std::string rest = std::to_string(whole - part);
    const std::pair<const char*, std::string> layouts[] = {
        {"flashlog1", "read " + std::to_string(part) + ", zero " + rest},
        {"flashlog2", "zero " + std::to_string(part) + ", read " + rest},
        {"log2", "read " + std::to_string(whole)}};
    std::map<std::string, std::string> saved;
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.first);
        std::vector<std::string> args = ExampleArgs(rows[l.first]);
        auto b = std::find(args.begin(), args.end(), "-b");
        ASSERT_NE(b, args.end());
        RunResult r = RunOnDrives(args);
        EXPECT_EQ(r.status, 0) << r.out;
        saved[l.first] = ReadFile(*(b + 1));
        EXPECT_EQ(Layout(saved[l.first]), l.second);
    }
    const size_t at = second.find("`head -c ");
    ASSERT_NE(at, std::string::npos) << second;
    const std::string join = second.substr(at + 1, second.find('`', at + 1) - at - 1);
    const std::string joined = Trim(join.substr(join.rfind(">>") + 2));
    remove(Path(joined).c_str());
    Shell(dir_, join);
    EXPECT_TRUE(ReadFile(joined) == saved["log2"]) << join;
}

// The README's failure check, as a script that reads the run's standard output from out.txt.
std::string FailureCheckScript(const std::string& readme)
{
    std::string script;
    bool inside = false;
    for (const std::string& line : Lines(readme)) {
        if (!inside && line.compare(0, 20, "    out=$(zembrovant") == 0) {
            inside = true;
            script = "out=$(cat out.txt)\n";
        } else if (inside) {
            script += line.substr(std::min<size_t>(4, line.size())) + "\n";
            if (line == "    esac") {
                return script;
            }
        }
    }
    ADD_FAILURE() << "no failure check in the README";
    return "";
}

struct CheckCase {
    const char* drive;
    const char* read_capacity;  // the SAS drive's READ CAPACITY answer, or "" for the demo drive's own
    const char* lba_line;       // the LBA line -i shows
    const char* verdict;        // what the check prints
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.drive; }

class ReadmeFailureCheck : public E2eTest, public ::testing::WithParamInterface<CheckCase> {};

// -i exits 0 and prints no failure text when READ CAPACITY fails: the check tells it by the LBA count.
TEST_P(ReadmeFailureCheck, TellsAnInfoWhoseReadCapacityFailed)
{
    const CheckCase& c = GetParam();
    UseDrives({"demo/sas_k6470.txt"},
              *c.read_capacity == '\0' ? "" : std::string("drive /dev/sdb\nanswer scsi 25\n") + c.read_capacity);
    RunResult r = Run({"-i", "/dev/sdb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(c.lba_line), std::string::npos) << r.out;
    WriteFile("out.txt", r.out);
    WriteFile("check.sh", FailureCheckScript(ReadReadme()));
    EXPECT_EQ(Shell(dir_, "sh check.sh"), c.verdict) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Drives, ReadmeFailureCheck,
    ::testing::Values(
        CheckCase{"formatting, READ CAPACITY NOT READY", "  sense-fixed 02 04 04\n",
                  "    LBA      : 1\n    Capacity : 0 GB\n", "failed\n"},
        CheckCase{"a count that begins with 1", "  be 0 4 0x0BA52AAF\n  be 4 4 512\n", "    LBA      : 195373744\n",
                  ""},
        CheckCase{"the demo drive", "", "    LBA      : 781422768\n", ""}),
    CaseName());

// A bit field of what -f sends, by its standard name: in the CDB of the opcode, or in the
// parameter list it carries.
struct FormatField {
    const char* name;
    unsigned opcode;
    bool in_list;
    size_t byte;
    unsigned shift;
    unsigned width;
};

const FormatField kFormatFields[] = {
    {"PC", 0x1A, false, 2, 6, 2},       {"PF", 0x15, false, 1, 4, 1},       {"SP", 0x15, false, 1, 0, 1},
    {"FMTPINFO", 0x04, false, 1, 6, 2}, {"LONGLIST", 0x04, false, 1, 5, 1}, {"FMTDATA", 0x04, false, 1, 4, 1},
    {"CMPLST", 0x04, false, 1, 3, 1},
    // the short parameter list header of FORMAT UNIT (SBC-3)
    {"FOV", 0x04, true, 1, 7, 1},       {"DPRY", 0x04, true, 1, 6, 1},      {"DCRT", 0x04, true, 1, 5, 1},
    {"STPF", 0x04, true, 1, 4, 1},      {"IP", 0x04, true, 1, 3, 1},        {"IMMED", 0x04, true, 1, 1, 1},
};

// The -f section's "NAME=N" are the bits the drive received; MODE SELECT sends back the page
// MODE SENSE read; nothing is asked and no READ CAPACITY of its own comes before the format.
TEST_F(ReadmeOnDrives, FormatSectionNamesTheBitsTheDriveReceives)
{
    const std::string readme = ReadReadme();
    const size_t begin = readme.find("\n## Formatting a SAS drive (`-f`)");
    ASSERT_NE(begin, std::string::npos);
    const std::string section = readme.substr(begin, readme.find("\n## ", begin + 1) - begin);
    std::map<std::string, unsigned> named;
    const std::regex bit("\\b([A-Z]+)=([0-9])\\b");
    for (std::sregex_iterator m(section.begin(), section.end(), bit), end; m != end; ++m) {
        named[(*m)[1]] = static_cast<unsigned>(std::stoul((*m)[2]));
    }

    // Page 01h with values of its own, so that what MODE SELECT sends back can be told apart.
    const std::string page = "810AE407110000000500FFFF";
    WriteFile("mode.txt", "drive /dev/sdf\nanswer scsi 1A page=01\n  data 17001008 0000100000000200 " + page + "\n");
    env_["ZV_EMU_CONFIG"] = StatementDrives() + ":" + Path("mode.txt");
    env_["ZV_EMU_TRACE"] = Path("trace.txt");
    // An operator's "n" is never read: there is no prompt.
    RunResult r = Run({"-f", "520", "/dev/sdf"}, "n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Format progress indication is  25%\n");
    std::vector<zvemu::TraceEntry> sent = Sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb.at(0), 0x12);  // the classification: INQUIRY, READ CAPACITY
    EXPECT_EQ(sent[1].cdb.at(0), 0x25);
    std::map<unsigned, zvemu::TraceEntry> by_opcode;
    std::string opcodes;
    for (size_t i = 2; i < sent.size(); i++) {
        by_opcode[sent[i].cdb.at(0)] = sent[i];
        opcodes += zvemu::HexText(sent[i].cdb.data(), 1) + " ";
    }
    EXPECT_EQ(opcodes, "1A 15 04 00 ");

    for (const FormatField& f : kFormatFields) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(named.count(f.name)) << "the -f section does not say " << f.name;
        ASSERT_TRUE(by_opcode.count(f.opcode));
        const zvemu::Bytes& bytes = f.in_list ? by_opcode[f.opcode].data : by_opcode[f.opcode].cdb;
        ASSERT_GT(bytes.size(), f.byte);
        EXPECT_EQ((bytes[f.byte] >> f.shift) & ((1u << f.width) - 1), named[f.name]);
    }
    for (const auto& n : named) {
        EXPECT_TRUE(std::any_of(std::begin(kFormatFields), std::end(kFormatFields),
                                [&](const FormatField& f) { return n.first == f.name; }))
            << "the -f section says " << n.first << "=" << n.second << ", which no request is checked for";
    }
    // Back go the descriptor with the new length and a count of 0, and the page as read (PS cleared).
    zvemu::Bytes page_back = zvemu::Hex(page);
    page_back[0] &= 0x7F;
    EXPECT_EQ(zvemu::HexText(by_opcode[0x15].data).substr(8), "0000000000000208" + zvemu::HexText(page_back));
}

} // namespace
