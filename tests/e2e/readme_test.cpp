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
#include <cstdlib>
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
    std::vector<std::string> not_sent;  // requests that did not
    const char* out_has;                // a text standard output holds, or ""
    std::vector<std::string> files;     // left in the working directory ("{dir}" allowed)
    std::vector<std::string> no_files;  // not there
};

void PrintTo(const CombineCase& c, std::ostream* os) { *os << c.statement; }

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
                    {}}),
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

} // namespace
