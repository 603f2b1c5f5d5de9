// The SATA-family vendor records: golden texts worked out from small fixtures (every
// little-endian word of the flag table holds its own byte offset, every config byte its
// own offset), the layout chosen by the model substring, the refusals that leave the
// text and disk_status alone, and the CE list with its sort and empty slots.
#include <gtest/gtest.h>

#include "case_names.h"

#include <cstring>
#include <string>
#include <vector>

#include "disk_discovery.h"
#include "front_state.h"
#include "sata_vendor_record.h"
#include "test_init.h"

namespace {

const char kEarlier[] = "earlier text\n";

void PutLe(std::vector<u8>& b, size_t off, u64 v, unsigned width)
{
    if (b.size() < off + width) {
        b.resize(off + width);
    }
    for (unsigned i = 0; i < width; i++) {
        b[off + i] = static_cast<u8>(v >> (8 * i));
    }
}

// ---- flag block table -------------------------------------------------------------------

// Bytes 0 to 14 are A0h.., byte 15 (never printed) EEh, then two u16, two u32, and from
// byte 28 on every u32 holds its own offset, so a word read from the wrong place shows.
std::vector<u8> FlagTable(size_t len = 384)
{
    std::vector<u8> b(len, 0x5A);
    for (u32 i = 0; i < 15; i++) {
        b[i] = static_cast<u8>(0xA0 + i);
    }
    b[15] = 0xEE;
    PutLe(b, 16, 0x1234, 2);
    PutLe(b, 18, 0xBEEF, 2);
    PutLe(b, 20, 0x89ABCDEF, 4);
    PutLe(b, 24, 7, 4);
    for (u32 o = 28; o < 384; o += 4) {
        PutLe(b, o, o, 4);
    }
    return b;
}

const char kLongFlagText[] =
    "  Ext Info                  : A0h A1h A2h A3h A4h A5h A6h A7h A8h A9h \n"
    "  This Block From Channel   : AAh\n"
    "  Global Table Page         : ABh\n"
    "  Bad Reserve Table Channel : ACh\n"
    "  Part One In Channel       : ADh\n"
    "  Org Bad Table Channel     : AEh\n"
    "  Global Table Block        : 1234h\n"
    "  Blank Blocks In Layer     : BEEFh\n"
    "  Flush Map Log Cursor      : 89ABCDEFh\n"
    "  Power Off Counter         : 00000007h\n"
    "  Ecc Errors                : \n"
    "    0000001Ch 00000020h 00000024h 00000028h 0000002Ch 00000030h 00000034h 00000038h \n"
    "    0000003Ch 00000040h 00000044h 00000048h 0000004Ch 00000050h 00000054h 00000058h \n"
    "    0000005Ch 00000060h 00000064h 00000068h 0000006Ch 00000070h 00000074h 00000078h \n"
    "    0000007Ch 00000080h 00000084h 00000088h 0000008Ch 00000090h 00000094h 00000098h \n"
    "    0000009Ch 000000A0h 000000A4h 000000A8h 000000ACh 000000B0h 000000B4h 000000B8h \n"
    "    000000BCh 000000C0h 000000C4h 000000C8h 000000CCh 000000D0h 000000D4h 000000D8h \n"
    "    000000DCh 000000E0h 000000E4h 000000E8h 000000ECh 000000F0h 000000F4h 000000F8h \n"
    "    000000FCh 00000100h 00000104h 00000108h 0000010Ch 00000110h 00000114h 00000118h \n"
    "  Global Table Pad          : 0000011Ch\n"
    "  Org Bad Table Pad         : 00000120h\n"
    "  Bad Reserve Table Pad     : 00000124h\n"
    "  Max Lba Address           : 00000128h\n"
    "  Level1 Recon Num          : 0000012Ch\n"
    "  Level2 Recon Num          : 00000130h\n"
    "  G_Stack Pos Index         : 00000134h\n"
    "  G_Stk Blk1 ErsCnt         : 00000138h\n"
    "  G_Stk Blk2 ErsCnt         : 0000013Ch\n"
    "  G_Index                   : 14400000140h\n"
    "  Host Read Sector          : 00000148h  0000014Ch\n"
    "  Host Write Sector         : 00000150h  00000154h\n"
    "  Seq Read Page             : 00000158h  0000015Ch\n"
    "  Seq Write Page            : 00000160h  00000164h\n"
    "  GC Move Page              : 00000168h  0000016Ch\n"
    "  WL Move Page              : 00000170h  00000174h\n"
    "  GC Erase Block            : 00000178h  0000017Ch\n";

const char kShortFlagText[] =
    "Ext Info                  : A0h A1h A2h A3h A4h A5h A6h A7h A8h A9h \n"
    "This Block From Channel   : AAh\n"
    "Global Table Page         : ABh\n"
    "Bad Reserve Table Channel : ACh\n"
    "Part One In Channel       : ADh\n"
    "Org Bad Table Channel     : AEh\n"
    "Global Table Block        : 1234h\n"
    "Blank Blocks In Layer     : BEEFh\n"
    "Flush Map Log Cursor      : 89ABCDEFh\n"
    "Power Off Counter         : 00000007h\n"
    "Ecc Errors                : \n"
    "    0000001Ch 00000020h 00000024h 00000028h 0000002Ch 00000030h 00000034h 00000038h \n"
    "    0000003Ch 00000040h 00000044h 00000048h 0000004Ch 00000050h 00000054h 00000058h \n"
    "    0000005Ch 00000060h 00000064h 00000068h 0000006Ch 00000070h 00000074h 00000078h \n"
    "    0000007Ch 00000080h 00000084h 00000088h 0000008Ch 00000090h 00000094h 00000098h \n"
    "Global Table Pad          : 0000009Ch\n"
    "Org Bad Table Pad         : 000000A0h\n"
    "Bad Reserve Table Pad     : 000000A4h\n"
    "Max Lba Address           : 000000A8h\n"
    "Level1 Recon Num          : 000000ACh\n"
    "Level2 Recon Num          : 000000B0h\n"
    "G_Stack Pos Index         : 000000B4h\n"
    "G_Stk Blk1 ErsCnt         : 000000B8h\n"
    "G_Stk Blk2 ErsCnt         : 000000BCh\n"
    "G_Index                   : C4000000C0h\n"
    "Host Read Sector          : 000000C8h  000000CCh\n"
    "Host Write Sector         : 000000D0h  000000D4h\n"
    "Seq Read Page             : 000000D8h  000000DCh\n"
    "Seq Write Page            : 000000E0h  000000E4h\n"
    "GC Move Page              : 000000E8h  000000ECh\n"
    "WL Move Page              : 000000F0h  000000F4h\n"
    "GC Erase Block            : 000000F8h  000000FCh\n";

struct FlagCase {
    const char* model;
    u32 len;
    u32 indent;
    bool ok;
    const char* want;  // appended to the earlier text
};

void PrintTo(const FlagCase& c, std::ostream* os) { *os << c.model << " len " << c.len; }

class FlagBlockTable : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagBlockTable, LayoutByModelSubstring)
{
    const FlagCase& c = GetParam();
    std::vector<u8> data = FlagTable(c.len < 384 ? 384 : c.len);
    DiskInfo drive;
    drive.model = c.model;
    std::string out = kEarlier;
    EXPECT_EQ(ParseFlagBlockTable(out, data.data(), c.len, c.indent, &drive), c.ok);
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

INSTANTIATE_TEST_SUITE_P(
    SataVendorRecord, FlagBlockTable,
    ::testing::Values(FlagCase{"QUMA-K4410TN0032", 384, 0, true, kShortFlagText},
                      FlagCase{"ATA QUMA-K4410TN0032 A1", 384, 0, true, kShortFlagText},
                      FlagCase{"QUMA-K4410TN0100", 384, 2, true, kLongFlagText},
                      FlagCase{"QUMA-K4410TN003", 384, 2, true, kLongFlagText},
                      FlagCase{"QUMA-K4410TN0100", 512, 2, true, kLongFlagText},
                      FlagCase{"QUMA-K4410TN0100", 383, 2, false, ""},
                      FlagCase{"QUMA-K4410TN0032", 383, 0, false, ""}),
    CaseName());

TEST(SataFlagBlockTable, RefusesNullDataOrDrive)
{
    const std::vector<u8> data = FlagTable();
    DiskInfo drive;
    drive.model = "QUMA-K4410TN0100";
    std::string out = kEarlier;
    EXPECT_FALSE(ParseFlagBlockTable(out, nullptr, 384, 0, &drive));
    EXPECT_FALSE(ParseFlagBlockTable(out, data.data(), 384, 0, nullptr));
    R2FlagTable table;
    ASSERT_TRUE(LoadR2FlagTable(table, data.data(), 384));
    EXPECT_FALSE(PrintR2FlagTable(out, table, 0, nullptr));
    EXPECT_EQ(out, kEarlier);
}

TEST(SataFlagBlockTable, LoaderTakesTheFirst384Bytes)
{
    std::vector<u8> data(400, 0x77);
    PutLe(data, 344, 0x0000000100000002ull, 8);  // seq_read_page
    PutLe(data, 360, 0xCAFE, 8);                 // gc_move_page
    R2FlagTable table;
    std::memset(&table, 0, sizeof(table));
    EXPECT_FALSE(LoadR2FlagTable(table, data.data(), 383));
    EXPECT_FALSE(LoadR2FlagTable(table, nullptr, 384));
    EXPECT_EQ(table.seq_read_page, 0u);
    ASSERT_TRUE(LoadR2FlagTable(table, data.data(), 400));
    EXPECT_EQ(table.seq_read_page, 0x0000000100000002ull);
    EXPECT_EQ(table.gc_move_page, 0xCAFEu);
    EXPECT_EQ(table.wl_move_page, 0x7777777777777777ull);
    EXPECT_EQ(table.gc_erase_block, 0x7777777777777777ull);

    // low word 2, high word 1: the lower-offset word comes first
    DiskInfo drive;
    drive.model = "QUMA-G2T7";
    std::string out;
    ASSERT_TRUE(PrintR2FlagTable(out, table, 0, &drive));
    EXPECT_NE(out.find("\nSeq Read Page             : 00000002h  00000001h\n"), std::string::npos) << out;
}

TEST(SataFlagBlockTable, ShortPrinterReadsItsOwnOffsets)
{
    std::vector<u8> data = FlagTable();
    PutLe(data, 216, 0x0000000100000002ull, 8);  // Seq Read Page of the short layout
    R2FlagTable table;
    ASSERT_TRUE(LoadR2FlagTable(table, data.data(), 384));
    std::string out = kEarlier;
    ASSERT_TRUE(PrintR2FlagTableShort(out, table, 0, nullptr));
    std::string want = std::string(kEarlier) + kShortFlagText;
    const std::string old_line = "Seq Read Page             : 000000D8h  000000DCh\n";
    want.replace(want.find(old_line), old_line.size(), "Seq Read Page             : 00000002h  00000001h\n");
    EXPECT_EQ(out, want);
}

// ---- configuration block ----------------------------------------------------------------

const char kConfigText[] =
    " crc                       : 03020100h \n"
    " pwr_up_standby            : 04h 05h 06h 07h 08h 09h 0Ah 0Bh \n"
    " max_addr                  : 0Ch 0Dh 0Eh 0Fh 10h 11h 12h 13h \n"
    " lock_pwd                  : \n"
    "    14h 15h 16h 17h 18h 19h 1Ah 1Bh \n"
    "    1Ch 1Dh 1Eh 1Fh 20h 21h 22h 23h \n"
    "    24h 25h 26h 27h 28h 29h 2Ah 2Bh \n"
    "    2Ch 2Dh 2Eh 2Fh 30h 31h 32h 33h \n"
    "    34h 35h 36h 37h 38h 39h 3Ah 3Bh \n"
    "    \n"
    " wl_attribute              : \n"
    "    3Ch 3Dh 3Eh 3Fh 40h 41h 42h 43h \n"
    "    44h 45h 46h 47h 48h 49h 4Ah 4Bh \n"
    "    4Ch 4Dh 4Eh 4Fh 50h 51h 52h 53h \n"
    "    54h 55h 56h 57h 58h 59h 5Ah 5Bh \n"
    "    5Ch 5Dh 5Eh 5Fh 60h 61h 62h 63h \n"
    "    64h 65h 66h 67h 68h 69h 6Ah 6Bh \n"
    "    6Ch 6Dh 6Eh 6Fh 70h 71h 72h 73h \n"
    "    74h 75h 76h 77h 78h 79h 7Ah 7Bh \n"
    "    \n"
    " sys_attribute             : \n"
    "    7Ch 7Dh 7Eh 7Fh 80h 81h 82h 83h \n"
    "    84h 85h 86h 87h 88h 89h 8Ah 8Bh \n"
    "    8Ch 8Dh 8Eh 8Fh 90h 91h 92h 93h \n"
    "    94h 95h 96h 97h 98h 99h 9Ah 9Bh \n"
    "    9Ch 9Dh 9Eh 9Fh A0h A1h A2h A3h \n"
    "    A4h A5h A6h A7h A8h A9h AAh ABh \n"
    "    ACh ADh AEh AFh B0h B1h B2h B3h \n"
    "    B4h B5h B6h B7h B8h B9h BAh BBh \n"
    "    \n"
    " smart_en                  : BCh \n"
    " smart_auto_save           : BDh \n"
    " smart_attribute_threshold : \n"
    "    BEh BFh C0h C1h C2h C3h C4h C5h \n"
    "    C6h C7h C8h C9h CAh CBh CCh CDh \n"
    "    CEh CFh D0h D1h D2h D3h D4h \n"
    " rsv                       : \n"
    "    D5h D6h D7h D8h D9h DAh DBh DCh \n"
    "    DDh DEh DFh E0h E1h E2h E3h E4h \n"
    "    E5h E6h E7h E8h E9h EAh EBh ECh \n"
    "    EDh EEh EFh F0h F1h F2h F3h F4h \n"
    "    F5h F6h F7h F8h F9h FAh FBh FCh \n"
    "    FDh FEh FFh 00h 01h 02h 03h 04h \n"
    "    05h 06h 07h 08h 09h 0Ah 0Bh 0Ch \n"
    "    0Dh 0Eh 0Fh 10h 11h 12h 13h 14h \n"
    "    15h 16h 17h 18h 19h 1Ah 1Bh 1Ch \n"
    "    1Dh 1Eh 1Fh 20h 21h 22h 23h 24h \n"
    "    25h 26h 27h 28h 29h 2Ah 2Bh 2Ch \n"
    "    2Dh 2Eh 2Fh 30h 31h 32h 33h 34h \n"
    "    35h 36h 37h 38h 39h 3Ah 3Bh 3Ch \n"
    "    3Dh 3Eh 3Fh 40h 41h 42h 43h 44h \n"
    "    45h 46h 47h 48h 49h 4Ah 4Bh 4Ch \n"
    "    4Dh 4Eh 4Fh 50h 51h 52h 53h 54h \n"
    "    55h 56h 57h 58h 59h 5Ah 5Bh 5Ch \n"
    "    5Dh 5Eh 5Fh 60h 61h 62h 63h 64h \n"
    "    65h 66h 67h 68h 69h 6Ah 6Bh 6Ch \n"
    "    6Dh 6Eh 6Fh 70h 71h 72h 73h 74h \n"
    "    75h 76h 77h 78h 79h 7Ah 7Bh 7Ch \n"
    "    7Dh 7Eh 7Fh 80h 81h 82h 83h 84h \n"
    "    85h 86h 87h 88h 89h 8Ah 8Bh 8Ch \n"
    "    8Dh 8Eh 8Fh 90h 91h 92h 93h 94h \n"
    "    95h 96h 97h 98h 99h 9Ah 9Bh 9Ch \n"
    "    9Dh 9Eh 9Fh A0h A1h A2h A3h A4h \n"
    "    A5h A6h A7h A8h A9h AAh ABh ACh \n"
    "    ADh AEh AFh B0h B1h B2h B3h B4h \n"
    "    B5h B6h B7h B8h B9h BAh BBh BCh \n"
    "    BDh BEh BFh C0h C1h C2h C3h C4h \n"
    "    C5h C6h C7h C8h C9h CAh CBh CCh \n"
    "    CDh CEh CFh D0h D1h D2h D3h D4h \n"
    "    D5h D6h D7h D8h D9h DAh DBh DCh \n"
    "    DDh DEh DFh E0h E1h E2h E3h E4h \n"
    "    E5h E6h E7h E8h E9h EAh EBh ECh \n"
    "    EDh EEh EFh F0h F1h F2h F3h F4h \n"
    "    F5h F6h F7h F8h F9h FAh FBh FCh \n"
    "    FDh FEh FFh ";

TEST(SataConfigBlock, BlockFormOfEveryField)
{
    std::vector<u8> data(600);
    for (size_t i = 0; i < data.size(); i++) {
        data[i] = static_cast<u8>(i);
    }
    std::string out = kEarlier;
    ASSERT_TRUE(ParseConfigBlock(out, data.data(), 512, 1, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + kConfigText);

    // bytes past the block are not read
    out = kEarlier;
    ASSERT_TRUE(ParseConfigBlock(out, data.data(), 600, 1, nullptr));
    EXPECT_EQ(out, std::string(kEarlier) + kConfigText);

    ConfigBlock block;
    ASSERT_TRUE(LoadConfigBlock(block, data.data(), 512));
    EXPECT_EQ(block.crc, 0x03020100u);
    EXPECT_EQ(block.smart_en, 188);
    EXPECT_EQ(block.rsv[298], 0xFF);
}

TEST(SataConfigBlock, RefusesShortOrNullData)
{
    const std::vector<u8> data(512, 0x11);
    std::string out = kEarlier;
    EXPECT_FALSE(ParseConfigBlock(out, data.data(), 511, 0, nullptr));
    EXPECT_FALSE(ParseConfigBlock(out, nullptr, 512, 0, nullptr));
    EXPECT_EQ(out, kEarlier);
    ConfigBlock block;
    std::memset(&block, 0, sizeof(block));
    EXPECT_FALSE(LoadConfigBlock(block, data.data(), 511));
    EXPECT_EQ(block.crc, 0u);
}

// ---- one-sector answers -----------------------------------------------------------------

struct SectorCase {
    bool alt;
    bool null_data;
    u32 len;
    bool ok;
};

void PrintTo(const SectorCase& c, std::ostream* os)
{
    *os << (c.alt ? "alt " : "") << (c.null_data ? "null " : "") << "len " << c.len;
}

class SectorRecord : public ::testing::TestWithParam<SectorCase> {};

TEST_P(SectorRecord, ExactlyOneSector)
{
    const SectorCase& c = GetParam();
    std::vector<u8> data(600);
    for (size_t i = 0; i < data.size(); i++) {
        data[i] = static_cast<u8>(i * 7);
    }
    std::vector<u8> dst(600, 0xCC);
    const u8* src = c.null_data ? nullptr : data.data();
    const bool ok = c.alt ? LoadSectorRecordAlt(dst.data(), src, c.len) : LoadSectorRecord(dst.data(), src, c.len);
    EXPECT_EQ(ok, c.ok);
    std::vector<u8> want(600, 0xCC);
    if (c.ok) {
        std::memcpy(want.data(), data.data(), 512);
    }
    EXPECT_EQ(dst, want);
}

INSTANTIATE_TEST_SUITE_P(SataVendorRecord, SectorRecord,
                         ::testing::Values(SectorCase{false, false, 512, true}, SectorCase{false, false, 511, false},
                                           SectorCase{false, false, 513, false}, SectorCase{false, true, 512, false},
                                           SectorCase{true, false, 512, true}, SectorCase{true, false, 0, false},
                                           SectorCase{true, false, 600, false}, SectorCase{true, true, 512, false}),
                         CaseName());

std::vector<u8> StatusAnswer(size_t len)
{
    std::vector<u8> b(len, 0x99);
    const u8 head[17] = {0x01, 0x00, 0x03, 0x0F, 0x10, 0xFF, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                         0x34, 0x12, 0xCD, 0xAB, 0x0E, 0x04};
    std::memcpy(b.data(), head, sizeof(head));
    return b;
}

TEST(SataDiskStatus, StoresAndPrintsTheFirst17Bytes)
{
    SettingsGuard guard;
    std::memset(&disk_status, 0, sizeof(disk_status));
    const std::vector<u8> data = StatusAnswer(512);
    std::string out = kEarlier;
    ASSERT_TRUE(ParseDiskStatus(out, data.data(), 512, 2));
    EXPECT_EQ(std::memcmp(&disk_status, data.data(), 17), 0);
    EXPECT_EQ(disk_status.disk_check_frequency, 0x1234);
    EXPECT_EQ(disk_status.cap_check_frequency, 0xABCD);
    EXPECT_EQ(disk_status.flag_8gb, 4);
    EXPECT_EQ(out, std::string(kEarlier) +
                       "  64CE :                  0x1\n"
                       "  WL :                    0x0\n"
                       "  Lucky Num \xA3\xBA            0x3\n"
                       "  Lucky Page Count \xA3\xBA     0xf\n"
                       "  Write Through \xA3\xBA        0x10\n"
                       "  Map Read \xA3\xBA             0xff\n"
                       "  UNC Self-recov \xA3\xBA       0x7\n"
                       "  OUT-IN :                0x8\n"
                       "  Readonly :              0x9\n"
                       "  TRIM Rerurn-value :     0xa\n"
                       "  Disk-Check :            0xb\n"
                       "  Disk-Check Frequency :  0x1234\n"
                       "  Cap-Check Frequency :   0xabcd\n"
                       "  GPIO flag :             0xe\n"
                       "  8GB FLAG  :             0x4\n");
    // the colon is the two raw bytes, nothing converted
    const size_t at = out.find("Lucky Num ") + 10;
    EXPECT_EQ(static_cast<u8>(out[at]), 0xA3);
    EXPECT_EQ(static_cast<u8>(out[at + 1]), 0xBA);
}

TEST(SataDiskStatus, ShortAnswerStoresNothing)
{
    SettingsGuard guard;
    std::memset(&disk_status, 0x5C, sizeof(disk_status));
    const DiskStatus before = disk_status;
    const std::vector<u8> data = StatusAnswer(512);
    std::string out = kEarlier;
    EXPECT_FALSE(ParseDiskStatus(out, data.data(), 511, 0));
    EXPECT_FALSE(ParseDiskStatus(out, nullptr, 512, 0));
    EXPECT_EQ(out, kEarlier);
    EXPECT_EQ(std::memcmp(&disk_status, &before, sizeof(before)), 0);
}

TEST(SataDiskStructure, FiveWordsNothingStored)
{
    SettingsGuard guard;
    disk_structure = DiskStructure{1, 2, 3, 4, 5};
    std::vector<u8> data(512, 0);
    PutLe(data, 0, 8, 4);
    PutLe(data, 4, 4, 4);
    PutLe(data, 8, 4096, 4);
    PutLe(data, 12, 256, 4);
    PutLe(data, 16, 0xFFFFFFFF, 4);
    std::string out = kEarlier;
    EXPECT_FALSE(ParseDiskStructure(out, data.data(), 511, 0));
    EXPECT_FALSE(ParseDiskStructure(out, nullptr, 512, 0));
    EXPECT_EQ(out, kEarlier);
    ASSERT_TRUE(ParseDiskStructure(out, data.data(), 512, 30));  // indent stops at 20
    const std::string pad(20, ' ');
    EXPECT_EQ(out, std::string(kEarlier) + pad + "Channel   :          8\n" + pad + "Layer     :          4\n" + pad +
                       "Block     :       4096\n" + pad + "Page Num  :        256\n" + pad + "Page Size : 4294967295\n");
    EXPECT_EQ(disk_structure.channel, 1u);
    EXPECT_EQ(disk_structure.page_size, 5u);
}

struct GrainCase {
    std::vector<u8> data;
    bool ok;
    const char* want;
};

void PrintTo(const GrainCase& c, std::ostream* os) { *os << BytesText(c.data); }

class CheckGrain : public ::testing::TestWithParam<GrainCase> {};

TEST_P(CheckGrain, SignedWordAtByteZero)
{
    const GrainCase& c = GetParam();
    std::string out = kEarlier;
    EXPECT_EQ(ParseCheckGrain(out, c.data.data(), u32(c.data.size()), 1), c.ok);
    EXPECT_EQ(out, std::string(kEarlier) + c.want);
}

INSTANTIATE_TEST_SUITE_P(SataVendorRecord, CheckGrain,
                         ::testing::Values(GrainCase{{0xFF, 0xFF, 0xFF, 0xFF}, true, " CheckGrain = -1\n"},
                                           GrainCase{{0x7B, 0x00, 0x00, 0x00, 0x55}, true, " CheckGrain = 123\n"},
                                           GrainCase{{0x00, 0x00, 0x00, 0x80}, true, " CheckGrain = -2147483648\n"},
                                           GrainCase{{0xFF, 0xFF, 0xFF}, false, ""}),
                         CaseName());

TEST(SataCheckGrain, NullBufferMessage)
{
    std::string out = kEarlier;
    ::testing::internal::CaptureStdout();
    const bool ok = ParseCheckGrain(out, nullptr, 4, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "buffer is NULL!\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, kEarlier);
}

// ---- download status texts --------------------------------------------------------------

typedef std::string (*ErrTextFun)(const u8*);

struct ErrTextCase {
    ErrTextFun fun;
    u32 status;
    const char* want;
};

void PrintTo(const ErrTextCase& c, std::ostream* os)
{
    const std::string want(c.want);
    *os << want.substr(0, want.find(" : ")) << " status " << c.status;
}

class DownloadErrText : public ::testing::TestWithParam<ErrTextCase> {};

TEST_P(DownloadErrText, ByteToText)
{
    const ErrTextCase& c = GetParam();
    const u8 status = static_cast<u8>(c.status);
    EXPECT_EQ(c.fun(&status), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    SataVendorRecord, DownloadErrText,
    ::testing::Values(ErrTextCase{UpgradeErrText, 0, "LOG_ERRCODE_UPGRADE_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{UpgradeErrText, 1, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_CMD_ERR"},
                      ErrTextCase{UpgradeErrText, 2, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_FILE_LENGTH_ZERO"},
                      ErrTextCase{UpgradeErrText, 3, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_FILE_ERR"},
                      ErrTextCase{UpgradeErrText, 7, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_FILE_ERR"},
                      ErrTextCase{UpgradeErrText, 9, "LOG_ERRCODE_UPGRADE_ERR : UPGRADE_FILE_ERR"},
                      ErrTextCase{UpgradeErrText, 10, "LOG_ERRCODE_UPGRADE_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{UpgradeErrText, 255, "LOG_ERRCODE_UPGRADE_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{LoadingErrText, 0, "LOG_ERRCODE_LOADING_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{LoadingErrText, 1, "LOG_ERRCODE_LOADING_ERR : LOADER_READ_FIRMWARE_ERR"},
                      ErrTextCase{LoadingErrText, 2, "LOG_ERRCODE_LOADING_ERR : LOADER_FIRMWARE_CRC_FAILED"},
                      ErrTextCase{LoadingErrText, 3, "LOG_ERRCODE_LOADING_ERR : LOADER_WIRTE_FLAG_ERR"},
                      ErrTextCase{LoadingErrText, 4, "LOG_ERRCODE_LOADING_ERR : LOADER_NO_FIRMWARE"},
                      ErrTextCase{LoadingErrText, 5, "LOG_ERRCODE_LOADING_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{FlashErrText, 0, "LOG_ERRCODE_FLASH_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{FlashErrText, 1, "LOG_ERRCODE_FLASH_ERR : READ_FLASH_ID_FAILED"},
                      ErrTextCase{FlashErrText, 2, "LOG_ERRCODE_FLASH_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{DdrErrText, 0, "LOG_ERRCODE_DDR_ERR : BUFFER VALUE ERROR"},
                      ErrTextCase{DdrErrText, 1, "LOG_ERRCODE_DDR_ERR : DDR_TEST_FAILED"},
                      ErrTextCase{DdrErrText, 200, "LOG_ERRCODE_DDR_ERR : BUFFER VALUE ERROR"}),
    CaseName());

struct ErrTableCase {
    const DownloadErrRow* rows;
    u32 n;
    const char* fallback;
    ErrTextFun fun;
    const char* prefix;
};

void PrintTo(const ErrTableCase& c, std::ostream* os) { *os << c.prefix; }

class DownloadErrTable : public ::testing::TestWithParam<ErrTableCase> {};

// Rows ascend without overlap, every text carries the table's prefix, and every byte
// not in a row (and a null pointer) gets the fallback.
TEST_P(DownloadErrTable, RowsInOrderAndFallback)
{
    const ErrTableCase& c = GetParam();
    const std::string prefix = c.prefix;
    EXPECT_EQ(std::string(c.fallback), prefix + "BUFFER VALUE ERROR");
    EXPECT_EQ(c.fun(nullptr), c.fallback);
    for (u32 i = 0; i < c.n; i++) {
        EXPECT_LE(c.rows[i].first, c.rows[i].last) << "row " << i;
        if (i > 0) {
            EXPECT_GT(c.rows[i].first, c.rows[i - 1].last) << "row " << i;
        }
        EXPECT_EQ(std::string(c.rows[i].text).compare(0, prefix.size(), prefix), 0) << c.rows[i].text;
    }
    for (u32 v = 0; v < 256; v++) {
        const char* want = c.fallback;
        for (u32 i = 0; i < c.n; i++) {
            if (v >= c.rows[i].first && v <= c.rows[i].last) {
                want = c.rows[i].text;
            }
        }
        const u8 status = static_cast<u8>(v);
        EXPECT_EQ(c.fun(&status), want) << "status " << v;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SataVendorRecord, DownloadErrTable,
    ::testing::Values(ErrTableCase{upgrade_err_rows, kUpgradeErrRowNum, upgrade_err_fallback, UpgradeErrText,
                                   "LOG_ERRCODE_UPGRADE_ERR : "},
                      ErrTableCase{loading_err_rows, kLoadingErrRowNum, loading_err_fallback, LoadingErrText,
                                   "LOG_ERRCODE_LOADING_ERR : "},
                      ErrTableCase{flash_err_rows, kFlashErrRowNum, flash_err_fallback, FlashErrText,
                                   "LOG_ERRCODE_FLASH_ERR : "},
                      ErrTableCase{ddr_err_rows, kDdrErrRowNum, ddr_err_fallback, DdrErrText, "LOG_ERRCODE_DDR_ERR : "}),
    CaseName());

// ---- CE information ---------------------------------------------------------------------

// CE blocks without records, from CE first to CE last.
std::string EmptyCe(const std::string& pad, u32 first, u32 last)
{
    std::string text;
    for (u32 ce = first; ce <= last; ce++) {
        char buf[160];
        snprintf(buf, sizeof(buf), "\n\n%s[CE%03u]\n%slayer=%u\n%schan=%u\n%scount=0\n%svalue=", pad.c_str(), ce,
                 pad.c_str(), ce / 8, pad.c_str(), ce % 8, pad.c_str(), pad.c_str());
        text += buf;
    }
    return text;
}

// Slots of (chan, layer, value).
std::vector<u8> CeSlots(const std::vector<std::vector<u32>>& slots)
{
    std::vector<u8> b;
    for (const auto& s : slots) {
        b.push_back(static_cast<u8>(s[0]));
        b.push_back(static_cast<u8>(s[1]));
        b.push_back(static_cast<u8>(s[2]));
        b.push_back(static_cast<u8>(s[2] >> 8));
    }
    return b;
}

struct CeCase {
    std::vector<u8> data;
    u32 indent;
    std::string want;
};

void PrintTo(const CeCase& c, std::ostream* os) { *os << c.data.size() << " bytes from " << BytesText(c.data, 4); }

class CeInformation : public ::testing::TestWithParam<CeCase> {};

TEST_P(CeInformation, SortedRecordsAsText)
{
    const CeCase& c = GetParam();
    std::string out = kEarlier;
    ASSERT_TRUE(ParseCeInformation(out, c.data.data(), u32(c.data.size()), c.indent, nullptr));
    EXPECT_EQ(out, c.want);
}

INSTANTIATE_TEST_SUITE_P(
    SataVendorRecord, CeInformation,
    ::testing::Values(
        // only empty slots: CE000 to CE031
        CeCase{std::vector<u8>(16, 0xFF), 0, "[INFORMATION]\nversion=1.0\ntotal_count=0" + EmptyCe("", 0, 31)},
        // fewer than one slot
        CeCase{{0x01, 0x02, 0x03}, 0, "[INFORMATION]\nversion=1.0\ntotal_count=0" + EmptyCe("", 0, 31)},
        // CE 40 only: every CE is written, its values ascending
        CeCase{CeSlots({{0, 5, 9}, {0xFF, 0xFF, 0xFFFF}, {0, 5, 3}}), 2,
               "  [INFORMATION]\n  version=1.0\n  total_count=2" + EmptyCe("  ", 0, 39) +
                   "\n\n  [CE040]\n  layer=5\n  chan=0\n  count=2\n  value=3,9," + EmptyCe("  ", 41, 63)},
        // sorted by layer, then chan, then value; a slot that is not all FFh is a record
        CeCase{CeSlots({{0, 1, 70}, {7, 0, 500}, {2, 0, 65535}, {7, 0, 4}, {0xFF, 0xFF, 0xFEFF}}), 0,
               "[INFORMATION]\nversion=1.0\ntotal_count=5" + EmptyCe("", 0, 1) +
                   "\n\n[CE002]\nlayer=0\nchan=2\ncount=1\nvalue=65535," + EmptyCe("", 3, 6) +
                   "\n\n[CE007]\nlayer=0\nchan=7\ncount=2\nvalue=4,500," +
                   "\n\n[CE008]\nlayer=1\nchan=0\ncount=1\nvalue=70," + EmptyCe("", 9, 63)},
        // a chan of 9 matches no CE: it and all after it stay unwritten but are counted
        CeCase{CeSlots({{1, 0, 5}, {9, 0, 6}, {0, 1, 7}}), 0,
               "[INFORMATION]\nversion=1.0\ntotal_count=3" + EmptyCe("", 0, 0) +
                   "\n\n[CE001]\nlayer=0\nchan=1\ncount=1\nvalue=5," + EmptyCe("", 2, 63)}),
    CaseName());

TEST(SataCeInformation, RefusesNullOrEmptyData)
{
    const std::vector<u8> data(8, 0);
    std::string out = kEarlier;
    EXPECT_FALSE(ParseCeInformation(out, nullptr, 8, 0, nullptr));
    EXPECT_FALSE(ParseCeInformation(out, data.data(), 0, 0, nullptr));
    EXPECT_EQ(out, kEarlier);
}

TEST(SataCeInformation, LoaderKeepsBufferOrderOfWholeSlots)
{
    std::vector<u8> data = CeSlots({{3, 2, 0x1234}, {0xFF, 0xFF, 0xFFFF}, {0xFF, 0xFF, 0x00FF}, {1, 0, 9}});
    data.push_back(0x00);  // a partial slot is not a record
    data.push_back(0x00);
    std::vector<CeRecord> records(3, CeRecord{1, 1, 1});
    EXPECT_FALSE(LoadCeRecords(records, nullptr, 8));
    EXPECT_FALSE(LoadCeRecords(records, data.data(), 0));
    EXPECT_EQ(records.size(), 3u);
    ASSERT_TRUE(LoadCeRecords(records, data.data(), u32(data.size())));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].chan, 3);
    EXPECT_EQ(records[0].layer, 2);
    EXPECT_EQ(records[0].value, 0x1234);
    EXPECT_EQ(records[1].chan, 0xFF);
    EXPECT_EQ(records[1].value, 0x00FF);
    EXPECT_EQ(records[2].chan, 1);
    EXPECT_EQ(records[2].value, 9);
}

TEST(SataCeInformation, OrderIsLayerThenChanThenValue)
{
    const CeRecord a{7, 0, 900};
    const CeRecord b{0, 1, 1};
    const CeRecord c{7, 0, 901};
    const CeRecord d{2, 1, 0};
    EXPECT_TRUE(a < b);   // layer decides before chan
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(a < c);   // value last
    EXPECT_TRUE(b < d);   // chan within a layer
    EXPECT_FALSE(a < a);
}

TEST(SataCeInformation, PrintReplacesTheText)
{
    const std::vector<CeRecord> records = {CeRecord{0, 0, 12}, CeRecord{0, 4, 13}};
    std::string out = kEarlier;
    ASSERT_TRUE(PrintCeInformation(out, records, 1));
    EXPECT_EQ(out, " [INFORMATION]\n version=1.0\n total_count=2\n\n [CE000]\n layer=0\n chan=0\n count=1\n value=12," +
                       EmptyCe(" ", 1, 31) + "\n\n [CE032]\n layer=4\n chan=0\n count=1\n value=13," + EmptyCe(" ", 33, 63));
}

}  // namespace
