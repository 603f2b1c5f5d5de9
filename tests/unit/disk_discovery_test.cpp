#include <gtest/gtest.h>

#include "case_names.h"

#include <ostream>
#include <string>

#include "disk_discovery.h"
#include "disk_info.h"
#include "settings.h"

namespace {

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

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << (c.model.empty() ? "no model" : c.model); }

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
    CaseName());

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

void PrintTo(const GeometryAltCase& c, std::ostream* os)
{
    *os << (c.model.empty() ? "no model" : c.model) << " mode " << c.mode;
}

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
    CaseName());

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

void PrintTo(const StructureCase& c, std::ostream* os) { *os << (c.model.empty() ? "no model" : c.model); }

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
    CaseName());

struct StructureExCase {
    std::string model;
    u32 kind;
    u32 size;
    u32 channel;
    u32 layer;
    u32 variant_flag;
};

void PrintTo(const StructureExCase& c, std::ostream* os)
{
    *os << (c.model.empty() ? "no model" : c.model) << " kind " << c.kind << " size " << c.size;
}

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
    CaseName());

TEST(StructurePresetNull, ChangesNothing)
{
    MarkStructure();
    setDiskStructureByModel(nullptr);
    setDiskStructureByModelEx(nullptr, 1, 32);
    ExpectStructure(StructureCase{"", kMark, kMark + 1, 7});
}

} // namespace
