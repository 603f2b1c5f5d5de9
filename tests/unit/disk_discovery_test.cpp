#include <gtest/gtest.h>

#include "case_names.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "disk_discovery.h"
#include "disk_info.h"
#include "front_state.h"
#include "settings.h"

namespace {

// ---------------------------------------------------------------- trimBlanks

struct TrimCase {
    std::string in;
    std::string out;
};

class Trim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(Trim, OnlyBlanksAtBothEnds)
{
    std::string s = GetParam().in;
    trimBlanks(s);
    EXPECT_EQ(s, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Trim,
    ::testing::Values(TrimCase{"", ""}, TrimCase{"    ", ""}, TrimCase{" ", ""}, TrimCase{"abc", "abc"},
                      TrimCase{"  QUMA X  ", "QUMA X"}, TrimCase{"a  b   ", "a  b"}, TrimCase{"   z", "z"},
                      // tabs and zero bytes are not blanks
                      TrimCase{"\tab\t", "\tab\t"}, TrimCase{std::string(" a\0 ", 4), std::string("a\0", 2)},
                      TrimCase{std::string("\0 x", 3), std::string("\0 x", 3)}),
    CaseIndexName());

// ---------------------------------------------------------- IDENTIFY filling

// Builds a 512-byte IDENTIFY answer; texts go in ATA order (two characters per
// word, first character in the high byte), padded with blanks.
struct IdentifyImage {
    u8 b[512] = {};

    void Text(u32 off, u32 width, const std::string& text)
    {
        for (u32 i = 0; i < width; i++) {
            b[off + (i ^ 1)] = i < text.size() ? u8(text[i]) : u8(' ');
        }
    }
    void Le(u32 off, u32 bytes, u64 v)
    {
        for (u32 i = 0; i < bytes; i++) {
            b[off + i] = u8(v >> (8 * i));
        }
    }
    IdentifyImage& Model(const std::string& s) { Text(54, 40, s); return *this; }
    IdentifyImage& Serial(const std::string& s) { Text(20, 20, s); return *this; }
    IdentifyImage& Firmware(const std::string& s) { Text(46, 8, s); return *this; }
    IdentifyImage& Lba28(u32 v) { Le(120, 4, v); return *this; }
    IdentifyImage& Lba48(u64 v) { Le(200, 8, v); return *this; }
    IdentifyImage& Has48Bit(bool on)
    {
        b[167] = on ? u8(b[167] | 0x04) : u8(b[167] & ~0x04);
        return *this;
    }
};

struct BlockCountCase {
    bool bit48;
    u32 lba28;
    u64 lba48;
    u8 other_word83_bits; // neighbours of bit 10 must not count
    u64 lba_count;
    u32 capacity_gb;
};

class IdentifyBlockCount : public ::testing::TestWithParam<BlockCountCase> {};

TEST_P(IdentifyBlockCount, ChosenByWord83Bit10)
{
    const BlockCountCase& c = GetParam();
    IdentifyImage id;
    id.Model("QUMA-K4410TR0050").Lba28(c.lba28).Lba48(c.lba48);
    id.b[167] = c.other_word83_bits;
    id.Has48Bit(c.bit48);
    DiskInfo d;
    ASSERT_TRUE(d.FillFromIdentify(id.b, sizeof(id.b)));
    EXPECT_EQ(d.lba_count, c.lba_count);
    EXPECT_EQ(d.capacity_gb, c.capacity_gb);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentifyBlockCount,
    ::testing::Values(
        // bit clear: words 60-61 even though words 100-103 hold a count
        BlockCountCase{false, 97696368, 500118192, 0x00, 97696368, 50},
        BlockCountCase{false, 97696368, 500118192, 0xFB, 97696368, 50},
        BlockCountCase{true, 0x0FFFFFFF, 500118192, 0x00, 500118192, 256},
        // all eight bytes of words 100-103 count
        BlockCountCase{true, 0, 0x0000000100000000ull, 0x00, 0x0000000100000000ull, 2198},
        BlockCountCase{true, 0, 0x0102030405060708ull, 0x40, 0x0102030405060708ull,
                       u32((0x0102030405060708ull - 21168) / 1953504)},
        BlockCountCase{false, 0xFFFFFFFF, 0, 0x00, 0xFFFFFFFFull, 2198},
        // below the IDEMA offset the capacity is 0, not a wrapped value
        BlockCountCase{false, 0, 5, 0x00, 0, 0}, BlockCountCase{false, 21167, 0, 0x00, 21167, 0},
        BlockCountCase{true, 0, 21168, 0x00, 21168, 0}),
    CaseIndexName());

TEST(IdentifyFill, TextsAreSwappedAndTrimmed)
{
    IdentifyImage id;
    id.Model("  QUMA-K6410TN0200").Serial("SN0123456789ABCDEFGH").Firmware("ABC12345").Lba28(1000000);
    DiskInfo d;
    d.index = 9;
    d.device_name = "/dev/sdq";
    d.link_type = LINK_ATA_BY_SCSI;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.model, "QUMA-K6410TN0200");
    EXPECT_EQ(d.serial, "SN0123456789ABCDEFGH");
    EXPECT_EQ(d.firmware, "ABC12345");
    EXPECT_EQ(d.smart_ver, u32(VER_K6410));
    EXPECT_EQ(d.lba_count, 1000000u);
    // the record's own identity is the caller's
    EXPECT_EQ(d.index, 9u);
    EXPECT_EQ(d.device_name, "/dev/sdq");
    EXPECT_EQ(d.link_type, u32(LINK_ATA_BY_SCSI));
}

TEST(IdentifyFill, TextEndsAtFirstZeroByte)
{
    IdentifyImage id;
    id.Model(std::string("QUMA-K4410TR0050\0TAIL", 21)).Serial(std::string("S1\0S2", 5));
    DiskInfo d;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.model, "QUMA-K4410TR0050");
    EXPECT_EQ(d.serial, "S1");
    EXPECT_EQ(d.smart_ver, u32(VER_K4410));
    // an all-zero field gives an empty text
    EXPECT_EQ(d.firmware, "");
}

TEST(IdentifyFill, RefusesNullAndWrongLengthLeavingRecord)
{
    IdentifyImage id;
    id.Model("QUMA-G2T7").Lba28(123456);
    DiskInfo d;
    d.model = "old";
    d.lba_count = 77;
    d.capacity_gb = 5;
    d.smart_ver = VER_UNKNOWN;
    const DiskInfo before = d;
    EXPECT_FALSE(d.FillFromIdentify(nullptr, 512));
    EXPECT_FALSE(d.FillFromIdentify(id.b, 511));
    EXPECT_FALSE(d.FillFromIdentify(id.b, 0));
    std::vector<u8> big(1024, 0);
    memcpy(big.data(), id.b, 512);
    EXPECT_FALSE(d.FillFromIdentify(big.data(), 1024));
    EXPECT_TRUE(d == before);
}

// ----------------------------------------------------------- family by model

struct FamilyFillCase {
    std::string model;
    u32 smart_ver;
};

class FamilyFromIdentify : public ::testing::TestWithParam<FamilyFillCase> {};

TEST_P(FamilyFromIdentify, ByPrefixOfTrimmedModel)
{
    IdentifyImage id;
    id.Model(GetParam().model);
    DiskInfo d;
    d.smart_ver = 99;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.smart_ver, GetParam().smart_ver) << GetParam().model;
    DiskInfo direct;
    direct.SetSmartVer(GetParam().model);
    EXPECT_EQ(direct.smart_ver, GetParam().smart_ver) << GetParam().model;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FamilyFromIdentify,
    ::testing::Values(FamilyFillCase{"QUMA-P37RV-0032", VER_P37RV}, FamilyFillCase{"QUMA-W37RV-0256", VER_P37RV},
                      FamilyFillCase{"QUMA-K4410TR0050", VER_K4410}, FamilyFillCase{"QUMA-K4410TN0032", VER_K4410},
                      FamilyFillCase{"QUMA-K4410TN0200 EXTRA", VER_K4410}, FamilyFillCase{"QUMA-G2T7-0800", VER_G2T7},
                      FamilyFillCase{"QUMA-K6410TR0100", VER_K6410},
                      // 15 characters of a 16-character prefix
                      FamilyFillCase{"QUMA-K4410TR005", VER_UNKNOWN},
                      // a prefix inside, not at the start
                      FamilyFillCase{"X QUMA-K4410TR0050", VER_UNKNOWN},
                      FamilyFillCase{"quma-g2t7", VER_UNKNOWN}, FamilyFillCase{"", VER_UNKNOWN}),
    CaseIndexName());

// ---------------------------------------------------- P37RV FPGA and HW texts

struct VersionCase {
    const char* model;
    u8 b258;
    u8 b259;
    u8 b260;
    const char* fpga;
    const char* hw;
};

class P37rvVersions : public ::testing::TestWithParam<VersionCase> {};

TEST_P(P37rvVersions, FromWords129And130)
{
    const VersionCase& c = GetParam();
    IdentifyImage id;
    id.Model(c.model);
    id.b[258] = c.b258;
    id.b[259] = c.b259;
    id.b[260] = c.b260;
    DiskInfo d;
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.fpga_ver, c.fpga);
    EXPECT_EQ(d.hw_ver, c.hw);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, P37rvVersions,
    ::testing::Values(VersionCase{"QUMA-P37RV-0064", 0x03, 0x05, 0, "210.T03", "A"},
                      VersionCase{"QUMA-P37RV-0064", 0x03, 0x05, 1, "210.T03", "A"},
                      VersionCase{"QUMA-P37RV-0064", 0x03, 0x05, 2, "210.T03", "B"},
                      VersionCase{"QUMA-W37RV-0128", 0x03, 0x05, 7, "210.T03", "G"},
                      // only the low three bits of byte 260, the low nibble of byte 258
                      VersionCase{"QUMA-P37RV-0032", 0xF3, 0x05, 0xFB, "210.T03", "C"},
                      VersionCase{"QUMA-P37RV-0128", 0x00, 0x00, 0, "100.T00", "A"},
                      VersionCase{"QUMA-P37RV-0128", 0xFF, 0xFF, 6, "4030.T0F", "F"},
                      VersionCase{"QUMA-P37RV-0128", 0x0A, 0x2E, 3, "C20.T0A", "C"},
                      // other families keep the fresh record's empty texts
                      VersionCase{"QUMA-K4410TR0050", 0x03, 0x05, 7, "", ""},
                      VersionCase{"QUMA-G2T7", 0x03, 0x05, 2, "", ""},
                      VersionCase{"UNKNOWN MODEL", 0x03, 0x05, 2, "", ""}),
    CaseIndexName());

TEST(P37rvVersionsKeep, OtherFamilyKeepsEarlierTexts)
{
    IdentifyImage id;
    id.Model("QUMA-K4410TR0100");
    id.b[258] = 0x03;
    id.b[259] = 0x05;
    id.b[260] = 2;
    DiskInfo d;
    d.fpga_ver = "old-fpga";
    d.hw_ver = "Z";
    ASSERT_TRUE(d.FillFromIdentify(id.b, 512));
    EXPECT_EQ(d.fpga_ver, "old-fpga");
    EXPECT_EQ(d.hw_ver, "Z");
    d.smart_ver = VER_P37RV;
    d.SetFpgaHwVersion(nullptr);
    EXPECT_EQ(d.fpga_ver, "old-fpga");
    d.SetFpgaHwVersion(id.b);
    EXPECT_EQ(d.fpga_ver, "210.T03");
    EXPECT_EQ(d.hw_ver, "B");
}

// ----------------------------------------------------------- INQUIRY filling

std::vector<u8> InquiryAnswer(const std::string& vendor, const std::string& product, const std::string& rev,
                              const std::string& serial)
{
    std::vector<u8> a(96, ' ');
    a[0] = 0;
    a[1] = 0;
    a[2] = 6;
    a[3] = 2;
    a[4] = 91;
    a[5] = a[6] = a[7] = 0;
    memcpy(&a[8], vendor.data(), std::min<size_t>(vendor.size(), 8));
    memcpy(&a[16], product.data(), std::min<size_t>(product.size(), 16));
    memcpy(&a[32], rev.data(), std::min<size_t>(rev.size(), 4));
    memcpy(&a[36], serial.data(), std::min<size_t>(serial.size(), 20));
    return a;
}

TEST(InquiryFill, FieldsUnswappedAndTrimmed)
{
    std::vector<u8> a = InquiryAnswer("QUMA", "QUMA-K6410TN0200", "B2A1", " 0123456789ABCDEFGHI");
    DiskInfo d;
    d.lba_count = 1234;
    d.capacity_gb = 7;
    d.fpga_ver = "f";
    d.hw_ver = "h";
    ASSERT_TRUE(d.FillFromInquiry(a.data(), u32(a.size())));
    EXPECT_EQ(d.model, "QUMA-K6410TN0200");
    EXPECT_EQ(d.firmware, "B2A1");
    EXPECT_EQ(d.serial, "0123456789ABCDEFGHI");
    EXPECT_EQ(d.smart_ver, u32(VER_K6410));
    // size and version texts are not INQUIRY's to set
    EXPECT_EQ(d.lba_count, 1234u);
    EXPECT_EQ(d.capacity_gb, 7u);
    EXPECT_EQ(d.fpga_ver, "f");
    EXPECT_EQ(d.hw_ver, "h");

    std::vector<u8> b = InquiryAnswer("ATA", "QUMA-K4410TR", "1.0", "SER");
    ASSERT_TRUE(d.FillFromInquiry(b.data(), u32(b.size())));
    EXPECT_EQ(d.model, "QUMA-K4410TR");
    EXPECT_EQ(d.firmware, "1.0");
    EXPECT_EQ(d.serial, "SER");
    EXPECT_EQ(d.smart_ver, u32(VER_UNKNOWN));
}

struct ShortInquiryCase {
    u32 len;
    const char* model;
    const char* firmware;
    const char* serial;
};

class ShortInquiry : public ::testing::TestWithParam<ShortInquiryCase> {};

TEST_P(ShortInquiry, ReadsOnlyTheAnswer)
{
    const ShortInquiryCase& c = GetParam();
    std::vector<u8> full = InquiryAnswer("QUMA", "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XYZ");
    // exactly the answer's bytes on the heap, so a read past them is caught by the sanitizer
    std::vector<u8> answer(full.begin(), full.begin() + c.len);
    DiskInfo d;
    d.model = "old model";
    d.firmware = "old fw";
    d.serial = "old serial";
    ASSERT_TRUE(d.FillFromInquiry(answer.data(), c.len));
    EXPECT_EQ(d.model, c.model);
    EXPECT_EQ(d.firmware, c.firmware);
    EXPECT_EQ(d.serial, c.serial);
    EXPECT_EQ(d.smart_ver, FamilyOfModel(c.model));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortInquiry,
    ::testing::Values(ShortInquiryCase{1, "", "", ""}, ShortInquiryCase{16, "", "", ""},
                      ShortInquiryCase{17, "Q", "", ""}, ShortInquiryCase{31, "QUMA-K4410TR005", "", ""},
                      ShortInquiryCase{32, "QUMA-K4410TR0050", "", ""},
                      ShortInquiryCase{34, "QUMA-K4410TR0050", "R1", ""},
                      ShortInquiryCase{36, "QUMA-K4410TR0050", "R123", ""},
                      ShortInquiryCase{40, "QUMA-K4410TR0050", "R123", "SERI"},
                      ShortInquiryCase{55, "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XY"},
                      ShortInquiryCase{56, "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XYZ"},
                      ShortInquiryCase{96, "QUMA-K4410TR0050", "R123", "SERIAL-0123456789XYZ"}),
    CaseIndexName());

TEST(InquiryFill, RefusesNullAndEmptyLeavingRecord)
{
    std::vector<u8> a = InquiryAnswer("QUMA", "QUMA-G2T7", "1", "2");
    DiskInfo d;
    d.model = "keep";
    d.smart_ver = VER_K4410;
    const DiskInfo before = d;
    EXPECT_FALSE(d.FillFromInquiry(nullptr, 96));
    EXPECT_FALSE(d.FillFromInquiry(a.data(), 0));
    EXPECT_TRUE(d == before);
}

// ------------------------------------------------------------ geometry presets

const u32 kMark = 0xA5A5A5A5;

void MarkGeometry()
{
    disk_geometry = DiskGeometry{kMark, kMark + 1, kMark + 2, kMark + 3, kMark + 4, kMark + 5, kMark + 6};
    disk_model_code = kMark;
}

DiskInfo WithModel(const std::string& model)
{
    DiskInfo d;
    d.model = model;
    return d;
}

struct GeometryCase {
    std::string model;
    bool known;
    u32 code;
    u32 channel;
    u32 ce;
    u32 block;
    u32 page_num;
};

class GeometryPreset : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(GeometryPreset, ByModelSubstring)
{
    const GeometryCase& c = GetParam();
    MarkGeometry();
    DiskInfo d = WithModel(c.model);
    EXPECT_EQ(setDiskGeometryByModel(&d), c.known);
    EXPECT_EQ(disk_model_code, c.code);
    EXPECT_EQ(disk_geometry.channel, c.channel);
    EXPECT_EQ(disk_geometry.ce, c.ce);
    EXPECT_EQ(disk_geometry.block, c.block);
    EXPECT_EQ(disk_geometry.page_num, c.page_num);
    // never preset
    EXPECT_EQ(disk_geometry.page_size, kMark + 4);
    EXPECT_EQ(disk_geometry.max_lba, kMark + 5);
    EXPECT_EQ(disk_geometry.reserved_block, kMark + 6);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GeometryPreset,
    ::testing::Values(GeometryCase{"QUMA-K6470BN0200", true, 1, 16, 2, 8296, 128},
                      GeometryCase{"QUMA-K647YBN0200", true, 1, 16, 2, 8296, 128},
                      GeometryCase{"QUMA-K6470BN0400", true, 2, 16, 4, 8296, 128},
                      GeometryCase{"QUMA-K647YBN0400", true, 2, 16, 4, 8296, 128},
                      GeometryCase{"QUMA-K6470BN0800", true, 3, 16, 8, 8296, 128},
                      GeometryCase{"QUMA-K647YBN0800", true, 3, 16, 8, 8296, 128},
                      GeometryCase{"QUMA-K647YBN0300", true, 5, 10, 4, 4096, 256},
                      GeometryCase{"QUMA-K6470BN0300", true, 5, 10, 4, 4096, 256},
                      GeometryCase{"QUMA-K647YBN0600", true, 6, 10, 4, 8192, 256},
                      GeometryCase{"QUMA-K6470BN0600", true, 6, 10, 4, 8192, 256},
                      // anywhere in the model
                      GeometryCase{"SAS QUMA-K647YBN0300 R1", true, 5, 10, 4, 4096, 256},
                      // the first row that matches wins
                      GeometryCase{"QUMA-K6470BN0600/QUMA-K6470BN0200", true, 1, 16, 2, 8296, 128},
                      // unknown: code 0, Channel 16, Block 8296, CE and Page Num kept
                      GeometryCase{"QUMA-K4410TR0050", false, 0, 16, kMark + 1, 8296, kMark + 3},
                      GeometryCase{"QUMA-K6470BN020", false, 0, 16, kMark + 1, 8296, kMark + 3},
                      GeometryCase{"", false, 0, 16, kMark + 1, 8296, kMark + 3}),
    CaseIndexName());

TEST(GeometryPresetNull, TreatedAsUnknownModel)
{
    MarkGeometry();
    EXPECT_FALSE(setDiskGeometryByModel(nullptr));
    EXPECT_EQ(disk_model_code, 0u);
    EXPECT_EQ(disk_geometry.channel, 16u);
    EXPECT_EQ(disk_geometry.block, 8296u);
    EXPECT_EQ(disk_geometry.ce, kMark + 1);
}

struct GeometryAltCase {
    std::string model;
    u32 mode;
    u32 channel;
    u32 ce;
    u32 block;
    u32 page_num;
};

class GeometryAltPreset : public ::testing::TestWithParam<GeometryAltCase> {};

TEST_P(GeometryAltPreset, ByModelAndMode)
{
    const GeometryAltCase& c = GetParam();
    MarkGeometry();
    DiskInfo d = WithModel(c.model);
    setDiskGeometryByModelAlt(&d, c.mode);
    EXPECT_EQ(disk_geometry.channel, c.channel);
    EXPECT_EQ(disk_geometry.ce, c.ce);
    EXPECT_EQ(disk_geometry.block, c.block);
    EXPECT_EQ(disk_geometry.page_num, c.page_num);
    EXPECT_EQ(disk_geometry.page_size, kMark + 4);
    EXPECT_EQ(disk_geometry.max_lba, kMark + 5);
    EXPECT_EQ(disk_geometry.reserved_block, kMark + 6);
    EXPECT_EQ(disk_model_code, kMark);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GeometryAltPreset,
    ::testing::Values(GeometryAltCase{"QUMA-K6470BR0100", 0, 16, 2, 8296, 64},
                      GeometryAltCase{"QUMA-K6470BR0200", 1, 16, 4, 8296, 64},
                      GeometryAltCase{"QUMA-K6470BN0200", 0, 16, 2, 8296, 128},
                      GeometryAltCase{"QUMA-K647YBN0200", 1, 16, 2, 8296, 128},
                      GeometryAltCase{"QUMA-K6470BN0400", 1, 16, 4, 8296, 128},
                      GeometryAltCase{"QUMA-K647YBN0400", 0, 16, 4, 4096, 256},
                      GeometryAltCase{"QUMA-K6470BN0400", 2, 16, 4, 4096, 256},
                      GeometryAltCase{"QUMA-K6470BN0800", 0, 16, 8, 8296, 256},
                      GeometryAltCase{"QUMA-K647YBN0800", 1, 16, 8, 8296, 256},
                      GeometryAltCase{"QUMA-K6470BN0300", 1, 10, 4, 8296, 128},
                      GeometryAltCase{"QUMA-K647YBN0300", 0, 10, 4, 4096, 256},
                      GeometryAltCase{"QUMA-K6470BN0600", 1, 10, 4, 8296, 128},
                      GeometryAltCase{"QUMA-K647YBN0600", 3, 10, 4, 8192, 256},
                      // unknown: base values, CE kept
                      GeometryAltCase{"QUMA-K4410TR0050", 1, 16, kMark + 1, 8296, 64}),
    CaseIndexName());

// ----------------------------------------------------------- structure presets

void MarkStructure()
{
    disk_structure = DiskStructure{kMark, kMark + 1, kMark + 2, kMark + 3, kMark + 4};
    disk_variant_flag = 7;
}

struct StructureCase {
    std::string model;
    u32 channel;
    u32 layer;
    u32 variant_flag;
};

void ExpectStructure(const StructureCase& c)
{
    EXPECT_EQ(disk_structure.channel, c.channel) << c.model;
    EXPECT_EQ(disk_structure.layer, c.layer) << c.model;
    EXPECT_EQ(disk_variant_flag, c.variant_flag) << c.model;
    EXPECT_EQ(disk_structure.block, kMark + 2);
    EXPECT_EQ(disk_structure.page_num, kMark + 3);
    EXPECT_EQ(disk_structure.page_size, kMark + 4);
}

class StructurePreset : public ::testing::TestWithParam<StructureCase> {};

TEST_P(StructurePreset, ByModelSubstring)
{
    MarkStructure();
    DiskInfo d = WithModel(GetParam().model);
    setDiskStructureByModel(&d);
    ExpectStructure(GetParam());
}

TEST_P(StructurePreset, ExKinds0And2AreThePlainPreset)
{
    for (u32 kind : {0u, 2u}) {
        MarkStructure();
        DiskInfo d = WithModel(GetParam().model);
        setDiskStructureByModelEx(&d, kind, 32);
        ExpectStructure(GetParam());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StructurePreset,
    ::testing::Values(StructureCase{"QUMA-K4410TN0032", 4, 2, 7}, StructureCase{"QUMA-K4410TR0050", 8, 4, 7},
                      StructureCase{"QUMA-K4410TR0100", 8, 8, 7}, StructureCase{"QUMA-K4410TN0100", 8, 4, 7},
                      StructureCase{"QUMA-K4410TN0200", 8, 8, 7},
                      StructureCase{"QUMA-K4410T50(8GB)", 8, 4, 1},
                      StructureCase{"SATA QUMA-K4410T50(8GB) X", 8, 4, 1},
                      StructureCase{"QUMA-K4410TR0100 QUMA-K4410TN0032", 4, 2, 7},
                      // no row: nothing changes
                      StructureCase{"QUMA-K6470BN0200", kMark, kMark + 1, 7},
                      StructureCase{"QUMA-K4410T50", kMark, kMark + 1, 7},
                      StructureCase{"", kMark, kMark + 1, 7}),
    CaseIndexName());

struct StructureExCase {
    std::string model;
    u32 kind;
    u32 size;
    u32 channel;
    u32 layer;
    u32 variant_flag;
};

class StructureExPreset : public ::testing::TestWithParam<StructureExCase> {};

TEST_P(StructureExPreset, Kind1AndOthers)
{
    const StructureExCase& c = GetParam();
    MarkStructure();
    DiskInfo d = WithModel(c.model);
    setDiskStructureByModelEx(&d, c.kind, c.size);
    ExpectStructure(StructureCase{c.model, c.channel, c.layer, c.variant_flag});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StructureExPreset,
    ::testing::Values(StructureExCase{"QUMA-K4410TR0050", 1, 32, 8, 2, 2},
                      StructureExCase{"QUMA-K4410TR0050", 1, 64, 8, 4, 7},
                      StructureExCase{"QUMA-K4410TR0100", 1, 32, 8, 4, 7},
                      StructureExCase{"QUMA-K4410TN0100", 1, 32, 8, 4, 7},
                      StructureExCase{"QUMA-K4410TN0200", 1, 0, 8, 4, 7},
                      // kind 1 knows neither of these
                      StructureExCase{"QUMA-K4410TN0032", 1, 32, kMark, kMark + 1, 7},
                      StructureExCase{"QUMA-K4410T50(8GB)", 1, 32, kMark, kMark + 1, 7},
                      // other kinds do nothing
                      StructureExCase{"QUMA-K4410TR0050", 3, 32, kMark, kMark + 1, 7},
                      StructureExCase{"QUMA-K4410TN0032", 0xFFFFFFFF, 32, kMark, kMark + 1, 7}),
    CaseIndexName());

TEST(StructurePresetNull, ChangesNothing)
{
    MarkStructure();
    setDiskStructureByModel(nullptr);
    setDiskStructureByModelEx(nullptr, 1, 32);
    ExpectStructure(StructureCase{"", kMark, kMark + 1, 7});
}

// ------------------------------------------------------------- status record

TEST(DiskStatusRecord, SeventeenBytesAsTheDriveSendsThem)
{
    EXPECT_EQ(offsetof(DiskStatus, disk_check), 10u);
    EXPECT_EQ(offsetof(DiskStatus, disk_check_frequency), 11u);
    EXPECT_EQ(offsetof(DiskStatus, cap_check_frequency), 13u);
    EXPECT_EQ(offsetof(DiskStatus, gpio_flag), 15u);
    EXPECT_EQ(offsetof(DiskStatus, flag_8gb), 16u);
    u8 answer[512];
    for (u32 i = 0; i < sizeof(answer); i++) {
        answer[i] = u8(i + 1);
    }
    DiskStatus saved = disk_status;
    memcpy(&disk_status, answer, sizeof(DiskStatus));
    EXPECT_EQ(disk_status.ce64, 1);
    EXPECT_EQ(disk_status.trim_return_value, 10);
    EXPECT_EQ(disk_status.disk_check, 11);
    EXPECT_EQ(disk_status.disk_check_frequency, 0x0D0C);
    EXPECT_EQ(disk_status.cap_check_frequency, 0x0F0E);
    EXPECT_EQ(disk_status.gpio_flag, 16);
    EXPECT_EQ(disk_status.flag_8gb, 17);
    disk_status = saved;
}

} // namespace
