#include "identify_decoder.h"

#include "decode_util.h"
#include "disk_info.h"

namespace {

const u32 kIdentifyLen = 512;
const char* const kItemIndent = "    ";

u16 Word(const u8* data, u32 n) { return ReadU16(data + 2 * n); }

bool Bit(const u8* data, u32 n, u32 bit) { return ((Word(data, n) >> bit) & 1) != 0; }

struct ChainStep {
    u8 bit;
    const char* text;
};

// First step whose bit is set, newest mode first; null when none is.
template <size_t N>
const char* FirstSet(u16 word, const ChainStep (&steps)[N])
{
    for (const ChainStep& s : steps) {
        if ((word >> s.bit) & 1) {
            return s.text;
        }
    }
    return nullptr;
}

const ChainStep major_chain[] = {
    {8, "ATA8-ACS"}, {7, "ATA/ATAPI-7"}, {6, "ATA/ATAPI-6"}, {5, "ATA/ATAPI-5"}, {4, "ATA/ATAPI-4"},
};

const ChainStep udma_supported_chain[] = {
    {6, "Ultra DMA mode 6 and below"}, {5, "Ultra DMA mode 5 and below"}, {4, "Ultra DMA mode 4 and below"},
    {3, "Ultra DMA mode 3 and below"}, {2, "Ultra DMA mode 2 and below"}, {1, "Ultra DMA mode 1 and below"},
    {0, "Ultra DMA mode 0 and below"},
};

const ChainStep udma_selected_chain[] = {
    {14, "UDMA6"}, {13, "UDMA5"}, {12, "UDMA4"}, {11, "UDMA3"}, {10, "UDMA2"}, {9, "UDMA1"}, {8, "UDMA0"},
};

const ChainStep mwdma_supported_chain[] = {
    {2, "Multiword DMA mode2 and below"}, {1, "Multiword DMA mode1 and below"}, {0, "Multiword DMA mode0"},
};

const ChainStep mwdma_selected_chain[] = {
    {10, "Multiword DMA mode2"}, {9, "Multiword DMA mode1"}, {8, "Multiword DMA mode0"},
};

const ChainStep pio_chain[] = {
    {1, "PIO mode 4"}, {0, "PIO mode 3"},
};

struct CmdSetRow {
    const char* label;
    u8 word;  // supported word; the enabled bit is the same bit three words further
    u8 bit;
};

const CmdSetRow cmd_set_rows[] = {
    {"SMART Feature set                                            : ", 82, 0},
    {"Security Mode feature set                                    : ", 82, 1},
    {"Power Management feature set                                 : ", 82, 3},
    {"write cache                                                  : ", 82, 5},
    {"look-ahead                                                   : ", 82, 6},
    {"release interrupt                                            : ", 82, 7},
    {"SERVICE interrupt                                            : ", 82, 8},
    {"DEVICE RESET                                                 : ", 82, 9},
    {"Host Protected Area feature set                              : ", 82, 10},
    {"WRITE BUFFER                                                 : ", 82, 12},
    {"READ BUFFER                                                  : ", 82, 13},
    {"NOP                                                          : ", 82, 14},
    {"DOWNLOAD MICROCODE                                           : ", 83, 0},
    {"READ/WRITE DMA QUEUED                                        : ", 83, 1},
    {"CFA feature set                                              : ", 83, 2},
    {"Advanced Power Management feature set                        : ", 83, 3},
    {"Power-Up In Standby feature set                              : ", 83, 5},
    {"SET FEATURES Subcommand required to spin-up after power-up   : ", 83, 6},
    {"SET MAX security extension                                   : ", 83, 8},
    {"Automatic Acoustic Management feature set                    : ", 83, 9},
    {"48-bit Address feature set                                   : ", 83, 10},
    {"Device Configuration Overlay feature set                     : ", 83, 11},
    {"FLUSH CACHE                                                  : ", 83, 12},
    {"FLUSH CACHE EXT                                              : ", 83, 13},
    {"SMART error logging                                          : ", 84, 0},
    {"SMART self-test                                              : ", 84, 1},
    {"Media serial number                                          : ", 84, 2},
    {"Media Card Pass Through Command feature set                  : ", 84, 3},
    {"General Purpose Logging feature set                          : ", 84, 5},
    {"WRITE DMA FUA EXT/WRITE MULTIPLE FUA EXT                     : ", 84, 6},
    {"WRITE DMA QUEUED FUA EXT                                     : ", 84, 7},
    {"64-bit World wide name                                       : ", 84, 8},
    {"IDLE IMMEDIATE with UNLOAD FEATURE                           : ", 84, 13},
};

struct FlagRow {
    const char* label;
    u8 word;
    u8 bit;
};

const FlagRow capability_rows[] = {
    {"DMA Supported            : ", 49, 8},
    {"LBA Supported            : ", 49, 9},
    {"IORDY Disabled           : ", 49, 10},
    {"IORDY Supported          : ", 49, 11},
    {"SATA 1.5 Gbps Supported  : ", 76, 1},
    {"SATA 3.0 Gbps Supported  : ", 76, 2},
    {"SATA 6.0 Gbps Supported  : ", 76, 3},
    {"NCQ Supported            : ", 76, 8},
};

const FlagRow security_rows[] = {
    {"Security Supported                                     : ", 128, 0},
    {"Security Enabled                                       : ", 128, 1},
    {"Security Locked                                        : ", 128, 2},
    {"Security Frozen                                        : ", 128, 3},
    {"Security Count Expired                                 : ", 128, 4},
    {"Enhanced Security Erase Supported                      : ", 128, 5},
};

// Collects the lines of one text, each prefixed with the clamped indent.
class Lines {
public:
    explicit Lines(u32 indent) : ind_(ParseIndent(indent)) {}

    void Heading(const char* text) { text_ += ind_ + text + "\n"; }
    void Field(const char* label, const std::string& value) { text_ += ind_ + label + value + "\n"; }
    void Item(const char* label, const std::string& value) { text_ += ind_ + kItemIndent + label + value + "\n"; }
    void Item(const char* label, const char* value)
    {
        if (value != nullptr) {
            Item(label, std::string(value));
        }
    }
    std::string& Text() { return text_; }

private:
    std::string ind_;
    std::string text_;
};

// The revision after the first three characters, at most seven of them; shorter revisions show nothing.
std::string ShownFirmware(const std::string& firmware)
{
    return firmware.size() > 3 ? firmware.substr(3, 7) : std::string();
}

} // namespace

bool PrintIdentifyDevice(std::string& out, const u8* data, u32 indent)
{
    DiskInfo disk;
    if (data == nullptr || !disk.FillFromIdentify(data, kIdentifyLen)) {
        return false;
    }
    Lines l(indent);

    l.Heading("Basic Information                        ");
    l.Item("Model                : ", disk.model);
    l.Item("Serial Number        : ", disk.serial);
    l.Item("Firmware Version     : ", ShownFirmware(disk.firmware));
    l.Item("FPGA Version         : ", disk.fpga_ver);
    l.Item("Hardware Version     : ", disk.hw_ver);
    l.Item("Total Block Address  : ", std::to_string(disk.lba_count));
    l.Item("Capacity             : ", std::to_string(disk.capacity_gb) + " GB");

    l.Heading("ATA Protocol                             ");
    u16 major = Word(data, 80);
    l.Item("Major Revision Number  : ",
           major == 0x0000 || major == 0xFFFF ? "Not Report" : FirstSet(major, major_chain));
    // No table of minor version texts: the code itself is shown for the operator to look up.
    u16 minor = Word(data, 81);
    l.Item("Minor Revision Number  : ", minor == 0x0000 || minor == 0xFFFF ? "Not Report" : Hex4(minor));

    l.Heading("ATA Mode                                 ");
    u16 udma = Word(data, 88);
    u16 mwdma = Word(data, 63);
    if (Bit(data, 53, 2)) {  // word 88 valid
        l.Item("Supported DMA modes             : ", FirstSet(udma, udma_supported_chain));
        l.Item("Selected DMA mode               : ", FirstSet(udma, udma_selected_chain));
    }
    l.Item("Supported Multiword DMA modes   : ", FirstSet(mwdma, mwdma_supported_chain));
    l.Item("Selected Multiword DMA mode     : ", FirstSet(mwdma, mwdma_selected_chain));
    if (Bit(data, 53, 1)) {  // words 64-70 valid
        l.Item("Supported PIO modes             : ", FirstSet(Word(data, 64), pio_chain));
    }

    l.Heading("Capabilities                             ");
    for (const FlagRow& r : capability_rows) {
        l.Item(r.label, YesNo(Bit(data, r.word, r.bit)));
    }

    l.Heading("Command set supported                    ");
    for (const CmdSetRow& r : cmd_set_rows) {
        l.Item(r.label, YesNo(Bit(data, r.word, r.bit)));
    }
    l.Heading("Command set/feature enabled/supported    ");
    for (const CmdSetRow& r : cmd_set_rows) {
        l.Item(r.label, YesNo(Bit(data, r.word + 3, r.bit)));
    }

    l.Heading("Security status                          ");
    for (const FlagRow& r : security_rows) {
        l.Item(r.label, YesNo(Bit(data, r.word, r.bit)));
    }
    l.Item("Security Level                                         : ", Bit(data, 128, 8) ? "Max" : "High");
    l.Item("Time required for security erase unit completion       : ", Hex4(Word(data, 89)));
    l.Item("Time required for Enhanced security erase completion   : ", Hex4(Word(data, 90)));

    l.Field("Signature                              : ", Hex2(data[510]));
    l.Field("Checksum                               : ", Hex2(data[511]));

    out.swap(l.Text());
    return true;
}

bool ParseIdentifyDevice(std::string& out, const u8* data, u32 len, u32 indent, void* /*ctx*/)
{
    if (data == nullptr || len != kIdentifyLen) {
        return false;
    }
    return PrintIdentifyDevice(out, data, indent);
}
