// The SATA block table printers: golden texts on small geometries (few channels and
// layers), the replace-or-append rule, the shared state they change, the model
// dependent layouts and tables that are short or hostile.
#include <gtest/gtest.h>

#include "case_names.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk_discovery.h"
#include "disk_info.h"
#include "front_state.h"
#include "sata_block_table.h"
#include "test_init.h"

namespace {

const char kEarlier[] = "earlier text\n";
const char kTN0032[] = "QUMA-K4410TN0032";
const char kTR0050[] = "QUMA-K4410TR0050";
const char kTR0100[] = "QUMA-K4410TR0100";
const char kTN0100[] = "QUMA-K4410TN0100";
const char kTN0200[] = "QUMA-K4410TN0200";
const char kOther[] = "QUMA-K6470BN0200";

void Put16(std::vector<u8>& b, size_t entry, u16 v)
{
    ASSERT_LE(2 * entry + 2, b.size());
    memcpy(&b[2 * entry], &v, 2);
}

void Put32(std::vector<u8>& b, size_t entry, u32 v)
{
    ASSERT_LE(4 * entry + 4, b.size());
    memcpy(&b[4 * entry], &v, 4);
}

u32 Get32(const std::vector<u8>& b, size_t entry)
{
    u32 v;
    memcpy(&v, &b[4 * entry], 4);
    return v;
}

DiskInfo Drive(const char* model)
{
    DiskInfo d;
    d.model = model;
    return d;
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        n++;
    }
    return n;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// Clears the shared status and variant flag for a test and sets its flash structure; the test
// leaves all three as it found them.
class SharedState {
public:
    SharedState()
    {
        memset(&disk_status, 0, sizeof(disk_status));
        disk_variant_flag = 0;
    }
    void Set(u32 channel, u32 layer)
    {
        disk_structure.channel = channel;
        disk_structure.layer = layer;
    }

private:
    SettingsGuard settings_;
};

// ---- blank block rings ----------------------------------------------------------------

struct Rings {
    std::vector<u8> ring, heads, tails, counts;
    Rings(u32 ring_len, u32 pointer_len = 512)
        : ring(ring_len), heads(pointer_len), tails(pointer_len), counts(pointer_len)
    {
        // Slot s of ring row r holds block r x 1000 + s: the text shows which row was read.
        for (size_t e = 0; e < ring_len / 2; e++) {
            Put16(ring, e, static_cast<u16>(e / kRingSlots * 1000 + e % kRingSlots));
        }
    }
    void Pointers(size_t idx, u16 head, u16 tail, u16 count)
    {
        Put16(heads, idx, head);
        Put16(tails, idx, tail);
        Put16(counts, idx, count);
    }
    bool Print(std::string& out, u32 indent)
    {
        return PrintBlankBlockRings(out, ring.data(), static_cast<u32>(ring.size()), heads.data(),
                                    static_cast<u32>(heads.size()), tails.data(), static_cast<u32>(tails.size()),
                                    counts.data(), static_cast<u32>(counts.size()), indent);
    }
};

TEST(BlankBlockRings, ListsEachRingFromHeadAndStopsAtTheFirstMismatch)
{
    SharedState state;
    state.Set(1, 4);
    Rings r(4 * kRingRowBytes);
    r.Pointers(0, 10, 20, 10);
    r.Pointers(1, 3270, 5, 15);
    r.Pointers(2, 7, 7, 0);  // equal head and tail stand for a full ring
    r.Pointers(3, 0, 1, 1);
    std::string out = kEarlier;
    ASSERT_TRUE(r.Print(out, 2));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "  \nlayer=0  ch=0  head=  10  tail=  20  count=  10\n"
                       "      block=  10\n      block=  11\n      block=  12\n      block=  13\n"
                       "      block=  14\n      block=  15\n      block=  16\n      block=  17\n"
                       "      block=  18\n      block=  19\n"
                       "  \nlayer=1  ch=0  head=3270  tail=   5  count=  15\n"
                       "      block=4270\n      block=4271\n      block=4272\n      block=4273\n"
                       "      block=4274\n      block=4275\n      block=4276\n      block=4277\n"
                       "      block=4278\n      block=4279\n"
                       "      block=1000\n      block=1001\n      block=1002\n      block=1003\n"
                       "      block=1004\n"
                       "  \nlayer=2  ch=0  head=   7  tail=   7  count=   0\n"
                       "      Oops! head-tail != count=0\n");
}

struct RingCountCase {
    u16 head, tail, count;
    bool oops;
    u32 first_block, last_block;  // of a listed ring (row 0: block = slot)
};

void PrintTo(const RingCountCase& c, std::ostream* os) { *os << c.head << "/" << c.tail << "/" << c.count; }

class RingCount : public ::testing::TestWithParam<RingCountCase> {};

TEST_P(RingCount, MatchesHeadAndTail)
{
    const RingCountCase& c = GetParam();
    SharedState state;
    state.Set(1, 1);
    Rings r(kRingRowBytes);
    r.Pointers(0, c.head, c.tail, c.count);
    std::string out;
    ASSERT_TRUE(r.Print(out, 0));
    const std::vector<std::string> lines = Lines(out);
    ASSERT_GE(lines.size(), 3u);
    char header[96];
    snprintf(header, sizeof(header), "layer=0  ch=0  head=%4u  tail=%4u  count=%4u", c.head, c.tail, c.count);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], header);
    if (c.oops) {
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[2], "    Oops! head-tail != count=" + std::to_string(c.count));
        return;
    }
    ASSERT_EQ(lines.size(), 2u + c.count);
    char first[32], last[32];
    snprintf(first, sizeof(first), "    block=%4u", c.first_block);
    snprintf(last, sizeof(last), "    block=%4u", c.last_block);
    EXPECT_EQ(lines[2], first);
    EXPECT_EQ(lines.back(), last);
}

INSTANTIATE_TEST_SUITE_P(
    Pointers, RingCount,
    ::testing::Values(RingCountCase{7, 7, 3280, false, 7, 6},  // full ring, wrapping once
                      RingCountCase{0, 3279, 3279, false, 0, 3278}, RingCountCase{3279, 0, 1, false, 3279, 3279},
                      RingCountCase{10, 20, 11, true, 0, 0}, RingCountCase{20, 10, 10, true, 0, 0},
                      // pointers outside the ring describe no ring: never read past its row
                      RingCountCase{5000, 6000, 1000, true, 0, 0}, RingCountCase{3280, 3280, 3280, true, 0, 0},
                      RingCountCase{0, 3280, 3280, true, 0, 0}),
    CaseName());

struct RingWalkCase {
    u32 channel, layer;
    u32 ring_len;
    const char* rings;  // "layer/ch:block" of each ring shown
};

void PrintTo(const RingWalkCase& c, std::ostream* os) { *os << c.channel << "x" << c.layer << " len " << c.ring_len; }

class RingWalk : public ::testing::TestWithParam<RingWalkCase> {};

// Every ring holds one block from slot 0: the text names the row each ring is read from.
TEST_P(RingWalk, LayersAndRowsRead)
{
    const RingWalkCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, c.layer);
    Rings r(c.ring_len);
    for (size_t i = 0; i < 256; i++) {
        r.Pointers(i, 0, 1, 1);
    }
    std::string out;
    ASSERT_TRUE(r.Print(out, 0));
    std::string seen;
    const std::vector<std::string> lines = Lines(out);
    for (size_t i = 0; i + 2 < lines.size(); i += 3) {
        unsigned layer, ch, head, tail, count, block;
        ASSERT_EQ(sscanf(lines[i + 1].c_str(), "layer=%u  ch=%u  head=%u  tail=%u  count=%u", &layer, &ch, &head,
                         &tail, &count),
                  5);
        ASSERT_EQ(sscanf(lines[i + 2].c_str(), "    block=%u", &block), 1);
        seen += (seen.empty() ? "" : " ") + std::to_string(layer) + "/" + std::to_string(ch) + ":" +
                std::to_string(block);
    }
    EXPECT_EQ(lines.size() % 3, 0u);
    EXPECT_EQ(seen, c.rings);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, RingWalk,
    ::testing::Values(
        RingWalkCase{1, 4, 4 * kRingRowBytes, "0/0:0 1/0:1000 2/0:2000 3/0:3000"},
        // twice the expected size walks 8 layers
        RingWalkCase{1, 4, 8 * kRingRowBytes,
                     "0/0:0 1/0:1000 2/0:2000 3/0:3000 4/0:4000 5/0:5000 6/0:6000 7/0:7000"},
        RingWalkCase{1, 4, 8 * kRingRowBytes - 2, "0/0:0 1/0:1000 2/0:2000 3/0:3000"},
        // fewer than 8 channels: C rows per layer; layers past the table are not shown
        RingWalkCase{2, 2, 4 * kRingRowBytes, "0/0:0 0/1:1000 1/0:2000 1/1:3000"},
        RingWalkCase{8, 1, 8 * kRingRowBytes,
                     "0/0:0 0/1:1000 0/2:2000 0/3:3000 0/4:4000 0/5:5000 0/6:6000 0/7:7000"},
        // a hostile structure that needs no ring bytes: only what the tables hold
        RingWalkCase{0xFFFFFFFFu, 0, kRingRowBytes, "0/0:0"}, RingWalkCase{0, 0, kRingRowBytes, ""}),
    CaseName());

struct RingRefuseCase {
    int null_table;  // 0 none, 1 ring, 2 heads, 3 tails, 4 counts
    u32 channel, layer;
    u32 ring_len, heads_len, tails_len, counts_len;
};

void PrintTo(const RingRefuseCase& c, std::ostream* os)
{
    *os << "null " << c.null_table << " " << c.channel << "x" << c.layer << " ring " << c.ring_len << " heads "
        << c.heads_len << " tails " << c.tails_len << " counts " << c.counts_len;
}

class RingRefused : public ::testing::TestWithParam<RingRefuseCase> {};

TEST_P(RingRefused, LeavesTheTextAlone)
{
    const RingRefuseCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, c.layer);
    std::vector<u8> ring(c.ring_len + 1), heads(c.heads_len + 1), tails(c.tails_len + 1), counts(c.counts_len + 1);
    std::string out = kEarlier;
    EXPECT_FALSE(PrintBlankBlockRings(out, c.null_table == 1 ? nullptr : ring.data(), c.ring_len,
                                      c.null_table == 2 ? nullptr : heads.data(), c.heads_len,
                                      c.null_table == 3 ? nullptr : tails.data(), c.tails_len,
                                      c.null_table == 4 ? nullptr : counts.data(), c.counts_len, 4));
    EXPECT_EQ(out, kEarlier);
}

INSTANTIATE_TEST_SUITE_P(Inputs, RingRefused,
                         ::testing::Values(RingRefuseCase{1, 1, 1, 6560, 512, 512, 512},
                                           RingRefuseCase{2, 1, 1, 6560, 512, 512, 512},
                                           RingRefuseCase{3, 1, 1, 6560, 512, 512, 512},
                                           RingRefuseCase{4, 1, 1, 6560, 512, 512, 512},
                                           RingRefuseCase{0, 2, 3, 6 * 6560 - 1, 512, 512, 512},
                                           RingRefuseCase{0, 1, 1, 6560, 511, 512, 512},
                                           RingRefuseCase{0, 1, 1, 6560, 512, 511, 512},
                                           RingRefuseCase{0, 1, 1, 6560, 512, 512, 511},
                                           // C x L x 6560 past 64 bits: no length reaches it
                                           RingRefuseCase{0, 0xFFFFFFFFu, 0xFFFFFFFFu, 6560, 512, 512, 512}),
                         CaseName());

// ---- per-(layer, channel) value list --------------------------------------------------

std::vector<u8> Values(u32 len)
{
    std::vector<u8> data(len);
    for (size_t e = 0; e < len / 2; e++) {
        Put16(data, e, static_cast<u16>(e * 10 + 1));
    }
    return data;
}

TEST(LayerChanValues, FourLayersOfTheChannelsAppended)
{
    SharedState state;
    state.Set(2, 8);  // the layer word plays no part
    const std::vector<u8> data = Values(512);
    const DiskInfo drive = Drive(kTR0050);
    std::string out = kEarlier;
    ASSERT_TRUE(PrintLayerChanValues(out, data.data(), 512, 3, &drive));
    EXPECT_EQ(out, std::string(kEarlier) +
                       "   layer=0  ch=0  value=   1\n"
                       "   layer=0  ch=1  value=  11\n"
                       "   layer=1  ch=0  value=  21\n"
                       "   layer=1  ch=1  value=  31\n"
                       "   layer=2  ch=0  value=  41\n"
                       "   layer=2  ch=1  value=  51\n"
                       "   layer=3  ch=0  value=  61\n"
                       "   layer=3  ch=1  value=  71\n");
}

TEST(LayerChanValues, SmallModelInDieForm)
{
    SharedState state;
    state.Set(8, 4);  // the die form always has 4 channels
    const std::vector<u8> data = Values(512);
    const DiskInfo drive = Drive(("X" + std::string(kTN0032) + " ").c_str());
    std::string out;
    ASSERT_TRUE(PrintLayerChanValues(out, data.data(), 512, 0, &drive));
    EXPECT_EQ(out,
              "layer=0 die=0 ch=0  value=   1\n"
              "layer=0 die=0 ch=1  value=  11\n"
              "layer=0 die=0 ch=2  value=  21\n"
              "layer=0 die=0 ch=3  value=  31\n"
              "layer=1 die=0 ch=0  value=  41\n"
              "layer=1 die=0 ch=1  value=  51\n"
              "layer=1 die=0 ch=2  value=  61\n"
              "layer=1 die=0 ch=3  value=  71\n"
              "layer=0 die=1 ch=0  value=  81\n"
              "layer=0 die=1 ch=1  value=  91\n"
              "layer=0 die=1 ch=2  value= 101\n"
              "layer=0 die=1 ch=3  value= 111\n"
              "layer=1 die=1 ch=0  value= 121\n"
              "layer=1 die=1 ch=1  value= 131\n"
              "layer=1 die=1 ch=2  value= 141\n"
              "layer=1 die=1 ch=3  value= 151\n");
}

struct ValuesCase {
    const char* model;
    u32 channel;
    u32 len;
    size_t lines;
    const char* last;
};

void PrintTo(const ValuesCase& c, std::ostream* os) { *os << c.model << " C " << c.channel << " len " << c.len; }

class LayerChanValuesCount : public ::testing::TestWithParam<ValuesCase> {};

TEST_P(LayerChanValuesCount, LinesAndLastValue)
{
    const ValuesCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, 1);
    const std::vector<u8> data = Values(c.len);
    const DiskInfo drive = Drive(c.model);
    std::string out;
    ASSERT_TRUE(PrintLayerChanValues(out, data.data(), c.len, 0, &drive));
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), c.lines);
    if (c.lines > 0) {
        EXPECT_EQ(lines.back(), c.last);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, LayerChanValuesCount,
    ::testing::Values(ValuesCase{kTR0100, 2, 512, 16, "layer=7  ch=1  value= 151"},
                      // TR0100 wins over TN0032 in the same model text
                      ValuesCase{"QUMA-K4410TR0100 QUMA-K4410TN0032", 1, 512, 8, "layer=7  ch=0  value=  71"},
                      ValuesCase{kTN0200, 8, 512, 32, "layer=3  ch=7  value= 311"},
                      // a list holding fewer values than the structure implies ends with it
                      ValuesCase{kTN0200, 300, 513, 256, "layer=0  ch=255  value=2551"},
                      ValuesCase{kTN0200, 0, 512, 0, ""}),
    CaseName());

TEST(LayerChanValues, Refusals)
{
    SharedState state;
    state.Set(2, 2);
    const std::vector<u8> data = Values(512);
    const DiskInfo drive = Drive(kTR0050);
    std::string out = kEarlier;
    EXPECT_FALSE(PrintLayerChanValues(out, nullptr, 512, 0, &drive));
    EXPECT_FALSE(PrintLayerChanValues(out, data.data(), 512, 0, nullptr));
    EXPECT_FALSE(PrintLayerChanValues(out, data.data(), 511, 0, &drive));
    EXPECT_EQ(out, kEarlier);
}

// ---- per-channel block slot list ------------------------------------------------------

// Row r of the list holds block r x 100 + 7 in slot 0 and r x 100 + 8 in slot 3279;
// every other slot is empty.
std::vector<u8> SlotList(u32 len)
{
    std::vector<u8> data(len, 0xFF);
    for (size_t row = 0; row * kRingSlots < len / 2; row++) {
        Put16(data, row * kRingSlots, static_cast<u16>(row * 100 + 7));
        if ((row + 1) * kRingSlots <= len / 2) {
            Put16(data, row * kRingSlots + kRingSlots - 1, static_cast<u16>(row * 100 + 8));
        }
    }
    return data;
}

TEST(LayerChanBlocks, UsedSlotsOfEveryRowAppended)
{
    SharedState state;
    state.Set(2, 2);
    const std::vector<u8> data = SlotList(4 * kRingRowBytes);
    const DiskInfo drive = Drive(kTR0050);
    std::string out = kEarlier;
    ASSERT_TRUE(PrintLayerChanBlocks(out, data.data(), 4 * kRingRowBytes, 1, &drive));
    EXPECT_EQ(out, std::string(kEarlier) +
                       " layer= 0  ch=0  block=   7\n"
                       " layer= 0  ch=0  block=   8\n"
                       " layer= 0  ch=1  block= 107\n"
                       " layer= 0  ch=1  block= 108\n"
                       " layer= 1  ch=0  block= 207\n"
                       " layer= 1  ch=0  block= 208\n"
                       " layer= 1  ch=1  block= 307\n"
                       " layer= 1  ch=1  block= 308\n");
}

struct BlocksCase {
    const char* model;
    u32 channel, layer;
    u32 len;
    const char* rows;  // "layer/ch:block" of each line
};

void PrintTo(const BlocksCase& c, std::ostream* os)
{
    *os << c.model << " " << c.channel << "x" << c.layer << " len " << c.len;
}

class LayerChanBlocksLayout : public ::testing::TestWithParam<BlocksCase> {};

TEST_P(LayerChanBlocksLayout, LayersChannelsAndRows)
{
    const BlocksCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, c.layer);
    const std::vector<u8> data = SlotList(c.len);
    const DiskInfo drive = Drive(c.model);
    std::string out;
    ASSERT_TRUE(PrintLayerChanBlocks(out, data.data(), c.len, 0, &drive));
    std::string seen;
    for (const std::string& line : Lines(out)) {
        unsigned layer, ch, block;
        ASSERT_EQ(sscanf(line.c_str(), "layer=%u  ch=%u  block=%u", &layer, &ch, &block), 3) << line;
        seen += (seen.empty() ? "" : " ") + std::to_string(layer) + "/" + std::to_string(ch) + ":" +
                std::to_string(block);
    }
    EXPECT_EQ(seen, c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Models, LayerChanBlocksLayout,
    ::testing::Values(
        // defaults: 4 layers
        BlocksCase{kTR0050, 1, 8, 8 * kRingRowBytes, "0/0:7 0/0:8 1/0:107 1/0:108 2/0:207 2/0:208 3/0:307 3/0:308"},
        BlocksCase{kTR0100, 1, 8, 8 * kRingRowBytes,
                   "0/0:7 0/0:8 1/0:107 1/0:108 2/0:207 2/0:208 3/0:307 3/0:308 4/0:407 4/0:408 5/0:507 5/0:508 "
                   "6/0:607 6/0:608 7/0:707 7/0:708"},
        // half the expected size: 2 layers
        BlocksCase{kTR0050, 1, 8, 4 * kRingRowBytes, "0/0:7 0/0:8 1/0:107 1/0:108"},
        BlocksCase{kTN0200, 1, 8, 4 * kRingRowBytes, "0/0:7 0/0:8 1/0:107 1/0:108"},
        // TN0200: half the layer word
        BlocksCase{kTN0200, 1, 6, 6 * kRingRowBytes, "0/0:7 0/0:8 1/0:107 1/0:108 2/0:207 2/0:208"},
        // TN0032: 2 layers of 4 channels, packed 4 rows per layer
        BlocksCase{kTN0032, 4, 2, 8 * kRingRowBytes,
                   "0/0:7 0/0:8 0/1:107 0/1:108 0/2:207 0/2:208 0/3:307 0/3:308 1/0:407 1/0:408 1/1:507 1/1:508 "
                   "1/2:607 1/2:608 1/3:707 1/3:708"},
        // 8 channel rows per layer: the layers past a short list are not shown
        BlocksCase{kTR0050, 8, 1, 8 * kRingRowBytes,
                   "0/0:7 0/0:8 0/1:107 0/1:108 0/2:207 0/2:208 0/3:307 0/3:308 0/4:407 0/4:408 0/5:507 0/5:508 "
                   "0/6:607 0/6:608 0/7:707 0/7:708"},
        // a row cut by the end of the list shows the slots it holds
        BlocksCase{kTR0050, 1, 8, 3 * kRingRowBytes + 2, "0/0:7 0/0:8 1/0:107 1/0:108 2/0:207 2/0:208 3/0:307"},
        BlocksCase{kTN0200, 0xFFFFFFFFu, 0xFFFFFFFFu, kRingRowBytes, "0/0:7 0/0:8"}),
    CaseName());

TEST(LayerChanBlocks, Refusals)
{
    SharedState state;
    state.Set(4, 2);
    const std::vector<u8> data = SlotList(8 * kRingRowBytes + 2);
    const DiskInfo small = Drive(kTN0032);
    const DiskInfo other = Drive(kTR0050);
    std::string out = kEarlier;
    EXPECT_FALSE(PrintLayerChanBlocks(out, nullptr, 8 * kRingRowBytes, 0, &other));
    EXPECT_FALSE(PrintLayerChanBlocks(out, data.data(), 8 * kRingRowBytes, 0, nullptr));
    EXPECT_FALSE(PrintLayerChanBlocks(out, data.data(), 8 * kRingRowBytes - 2, 0, &small));
    EXPECT_FALSE(PrintLayerChanBlocks(out, data.data(), 8 * kRingRowBytes + 2, 0, &small));
    EXPECT_EQ(out, kEarlier);
    // other models take any length
    EXPECT_TRUE(PrintLayerChanBlocks(out, data.data(), 8 * kRingRowBytes - 2, 0, &other));
}

// ---- wear level table -----------------------------------------------------------------

std::vector<u8> EraseCounts(u32 len)
{
    std::vector<u8> data(len);
    for (size_t e = 0; e < len / 4; e++) {
        Put32(data, e, static_cast<u32>(e * 3 + 1));
    }
    return data;
}

TEST(WearLevelTable, ReplacesTheTextWithHeadingAndRows)
{
    SharedState state;
    state.Set(1, 1);
    const std::vector<u8> data = EraseCounts(4 * kWearRowEntries);
    Put32(const_cast<std::vector<u8>&>(data), 2, 4000000000u);
    const DiskInfo drive = Drive(kTR0050);
    std::string out = kEarlier;
    ASSERT_TRUE(PrintWearLevelTable(out, data.data(), 4 * kWearRowEntries, 2, &drive));
    const std::string head =
        "\n\n  **** layer=0   ch=0  ****\n"
        "         0           1\n"
        "         1           4\n"
        "         2  4000000000\n"
        "         3          10\n";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_EQ(CountOf(out, "\n"), 3u + kWearRowEntries);
    EXPECT_EQ(Lines(out).back(), "      8191       24574");
}

struct WearCase {
    const char* model;
    u32 channel, layer;
    u32 len;
    u8 flag_8gb;
    size_t rows;
    const char* headings;  // "layer/ch" of each heading
};

void PrintTo(const WearCase& c, std::ostream* os)
{
    *os << c.model << " " << c.channel << "x" << c.layer << " len " << c.len << " flag " << int(c.flag_8gb);
}

class WearLevelLayout : public ::testing::TestWithParam<WearCase> {};

TEST_P(WearLevelLayout, RowsAndHeadings)
{
    const WearCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, c.layer);
    disk_status.flag_8gb = c.flag_8gb;
    const std::vector<u8> data = EraseCounts(c.len);
    const DiskInfo drive = Drive(c.model);
    std::string out;
    ASSERT_TRUE(PrintWearLevelTable(out, data.data(), c.len, 0, &drive));
    size_t rows = 0;
    std::string headings;
    u32 expect_block = 0;
    for (const std::string& line : Lines(out)) {
        unsigned layer, ch, block, count;
        if (sscanf(line.c_str(), "**** layer=%u  ch=%u ****", &layer, &ch) == 2) {
            headings += (headings.empty() ? "" : " ") + std::to_string(layer) + "/" + std::to_string(ch);
            EXPECT_EQ(rows % kWearRowEntries, 0u);
        } else if (sscanf(line.c_str(), " %u %u", &block, &count) == 2) {
            EXPECT_EQ(block, expect_block);
            EXPECT_EQ(count, rows * 3 + 1);
            expect_block = (expect_block + 1) % kWearRowEntries;
            rows++;
        } else {
            EXPECT_EQ(line, "");
        }
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(headings, c.headings);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, WearLevelLayout,
    ::testing::Values(
        WearCase{kTR0050, 1, 1, 4 * 8192, 0, 8192, "0/0"},
        // eight times E bytes list 2E entries
        WearCase{kTR0050, 1, 1, 8 * 8192, 0, 16384, "0/0 0/1"},
        WearCase{kTR0050, 1, 1, 8 * 8192 - 4, 0, 8192, "0/0"},
        WearCase{kTR0050, 4, 1, 8 * 4 * 8192, 0, 65536, "0/0 0/1 0/2 0/3 0/4 0/5 0/6 0/7"},
        WearCase{kTR0050, 8, 1, 8 * 8 * 8192, 0, 131072,
                 "0/0 0/1 0/2 0/3 0/4 0/5 0/6 0/7 1/0 1/1 1/2 1/3 1/4 1/5 1/6 1/7"},
        // the small model lists a quarter of E, its channel in bits 13-14 and layer in bit 15
        WearCase{kTN0032, 4, 2, 4 * 4 * 8192, 0, 16384, "0/0 0/1"},
        WearCase{kTN0032, 8, 2, 8 * 2 * 8192, 0, 32768, "0/0 0/1 0/2 0/3"},
        WearCase{kTN0032, 8, 4, 8 * 4 * 8192, 0, 65536, "0/0 0/1 0/2 0/3 1/0 1/1 1/2 1/3"},
        // the 8GB FLAG 2: the first 4096 entries under one heading
        WearCase{kTR0050, 1, 1, 8 * 8192, 2, 4096, "0/0"}, WearCase{kTR0050, 1, 1, 4 * 8192, 1, 8192, "0/0"},
        // at least E bytes are asked for, 4E listed: only the entries the table holds
        WearCase{kTR0050, 1, 1, 8192, 0, 2048, "0/0"}, WearCase{kTR0050, 1, 1, 8192 + 3, 0, 2048, "0/0"},
        WearCase{kTR0050, 0, 5, 64, 0, 0, ""}),
    CaseName());

TEST(WearLevelTable, IndentAtMostTenBlanks)
{
    SharedState state;
    state.Set(1, 1);
    disk_status.flag_8gb = 2;
    const std::vector<u8> data = EraseCounts(4 * 8192);
    const DiskInfo drive = Drive(kTR0050);
    std::string out;
    ASSERT_TRUE(PrintWearLevelTable(out, data.data(), 4 * 8192, 15, &drive));
    const std::string pad(10, ' ');
    const std::string want = "\n\n" + pad + "**** layer=0   ch=0  ****\n" + pad + "       0           1\n";
    EXPECT_EQ(out.substr(0, want.size()), want);
}

TEST(WearLevelTable, Refusals)
{
    SharedState state;
    state.Set(2, 1);
    const std::vector<u8> data = EraseCounts(4 * 16384);
    const DiskInfo drive = Drive(kTR0050);
    std::string out = kEarlier;
    EXPECT_FALSE(PrintWearLevelTable(out, nullptr, 4 * 16384, 0, &drive));
    EXPECT_FALSE(PrintWearLevelTable(out, data.data(), 4 * 16384, 0, nullptr));
    EXPECT_FALSE(PrintWearLevelTable(out, data.data(), 16383, 0, &drive));
    state.Set(0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_FALSE(PrintWearLevelTable(out, data.data(), 4 * 16384, 0, &drive));
    EXPECT_EQ(out, kEarlier);
}

// ---- bad block table ------------------------------------------------------------------

std::vector<u8> EmptyBadTable(u32 len) { return std::vector<u8>(len, 0xFF); }

size_t BadEntry(u32 row, u32 ch, u32 slot) { return row * kBadLayerEntries + ch * kBadChannelSlots + slot; }

TEST(BadBlockTable, ReplacesTheTextWithEveryUsedSlot)
{
    SharedState state;
    state.Set(2, 2);
    std::vector<u8> data = EmptyBadTable(kBadTableLenSmall);
    Put16(data, BadEntry(0, 0, 0), 0x8005);
    Put16(data, BadEntry(0, 1, 3), 0x0005);
    Put16(data, BadEntry(1, 0, 1023), 0x9FFF);
    Put16(data, BadEntry(1, 1, 9), 0x6007);     // bits 13 and 14 are not part of the number
    Put16(data, BadEntry(0, 2, 0), 0x0011);     // a channel past the structure
    Put16(data, BadEntry(2, 0, 0), 0x0012);     // a layer past the structure
    std::string out = kEarlier;
    const DiskInfo drive = Drive(kTR0050);
    ASSERT_TRUE(PrintBadBlockTable(out, data.data(), kBadTableLenSmall, 2, &drive));
    EXPECT_EQ(out,
              "  layer=0  ch=0  block=5     type=New    \n"
              "  layer=0  ch=1  block=5     type=Origin \n"
              "  layer=1  ch=0  block=8191  type=New    \n"
              "  layer=1  ch=1  block=7     type=Origin \n");
}

TEST(BadBlockTable, PairedTableIsReadInTwoPasses)
{
    SharedState state;
    state.Set(1, 1);
    std::vector<u8> data = EmptyBadTable(kBadTableLenPaired);
    Put16(data, BadEntry(0, 0, 4), 0x0004);
    Put16(data, kBadTableLenSmall / 2 + BadEntry(0, 0, 6), 0x8006);
    Put16(data, kBadTableLenSmall / 2 + BadEntry(1, 0, 0), 0x0001);  // layer 1 of the second half: past L
    std::string out;
    const DiskInfo drive = Drive(kTR0050);
    ASSERT_TRUE(PrintBadBlockTable(out, data.data(), kBadTableLenPaired, 0, &drive));
    EXPECT_EQ(out,
              "layer=0  ch=0  block=4     type=Origin \n"
              "layer=0  ch=0  block=6     type=New    \n");
    // the large table is one pass over all of it
    std::vector<u8> large = EmptyBadTable(kBadTableLenLarge);
    Put16(large, kBadTableLenSmall / 2 + BadEntry(0, 0, 6), 0x8006);
    Put16(large, BadEntry(0, 0, 2), 0x0002);
    ASSERT_TRUE(PrintBadBlockTable(out, large.data(), kBadTableLenLarge, 0, &drive));
    EXPECT_EQ(out, "layer=0  ch=0  block=2     type=Origin \n");
}

struct BadLayoutCase {
    const char* model;
    u8 flag_8gb;
    u32 variant;
    u32 channel, layer;
    const char* rows;  // "row/ch" of each line
    u32 channel_after, layer_after;
};

void PrintTo(const BadLayoutCase& c, std::ostream* os)
{
    *os << c.model << " flag " << int(c.flag_8gb) << " variant " << c.variant << " " << c.channel << "x" << c.layer;
}

class BadBlockLayout : public ::testing::TestWithParam<BadLayoutCase> {};

// Slot 0 of every row and channel holds a bad block: the lines name the rows read.
TEST_P(BadBlockLayout, RowsReadAndStateLeft)
{
    const BadLayoutCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, c.layer);
    disk_status.flag_8gb = c.flag_8gb;
    disk_variant_flag = c.variant;
    std::vector<u8> data = EmptyBadTable(kBadTableLenLarge);
    for (u32 row = 0; row < 32; row++) {
        for (u32 ch = 0; ch < 8; ch++) {
            Put16(data, BadEntry(row, ch, 0), static_cast<u16>(row * 8 + ch));
        }
    }
    const DiskInfo drive = Drive(c.model);
    std::string out;
    ASSERT_TRUE(PrintBadBlockTable(out, data.data(), kBadTableLenLarge, 0, &drive));
    std::string seen;
    for (const std::string& line : Lines(out)) {
        unsigned row, ch, block;
        ASSERT_EQ(sscanf(line.c_str(), "layer=%u  ch=%u  block=%u", &row, &ch, &block), 3) << line;
        EXPECT_EQ(block, row * 8 + ch);
        seen += (seen.empty() ? "" : " ") + std::to_string(row) + "/" + std::to_string(ch);
    }
    EXPECT_EQ(seen, c.rows);
    EXPECT_EQ(disk_variant_flag, 0u);
    EXPECT_EQ(disk_structure.channel, c.channel_after);
    EXPECT_EQ(disk_structure.layer, c.layer_after);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, BadBlockLayout,
    ::testing::Values(BadLayoutCase{kTR0050, 0, 0, 1, 4, "0/0 1/0 2/0 3/0", 1, 4},
                      BadLayoutCase{kTR0050, 0, 1, 1, 4, "1/0 3/0 5/0 7/0", 1, 4},
                      BadLayoutCase{kTR0050, 0, 2, 1, 2, "1/0 3/0", 1, 2},
                      BadLayoutCase{kTR0050, 0, 3, 1, 2, "0/0 1/0", 1, 2},  // reset all the same
                      BadLayoutCase{kTR0050, 1, 0, 1, 2, "1/0 3/0", 1, 2},
                      BadLayoutCase{kTR0050, 2, 0, 2, 1, "1/0 1/1", 2, 1},
                      BadLayoutCase{"QUMA-K4410TN0032 (X)", 0, 0, 2, 2, "1/0 1/1 3/0 3/1", 2, 2},
                      // flag 4: 8 channels and 4 layers from now on; this call keeps its layers
                      BadLayoutCase{kTR0050, 4, 0, 1, 1, "0/0 0/1 0/2 0/3 0/4 0/5 0/6 0/7", 8, 4},
                      BadLayoutCase{kTR0050, 4, 1, 2, 1, "1/0 1/1 1/2 1/3 1/4 1/5 1/6 1/7", 8, 4},
                      BadLayoutCase{kTR0050, 3, 0, 1, 1, "0/0", 1, 1}),
    CaseName());

TEST(BadBlockTable, HostileStructureStaysInTheTable)
{
    SharedState state;
    state.Set(0xFFFFFFFFu, 0xFFFFFFFFu);
    std::vector<u8> data = EmptyBadTable(kBadTableLenSmall);
    Put16(data, kBadTableLenSmall / 2 - 1, 0x8003);  // the last entry
    std::string out;
    const DiskInfo drive = Drive(kTR0050);
    ASSERT_TRUE(PrintBadBlockTable(out, data.data(), kBadTableLenSmall, 0, &drive));
    // channel rows run past their layer row: the last entry is seen from every row
    // that reaches it, and nothing past the table
    EXPECT_EQ(Lines(out).front(), "layer=0  ch=63  block=3     type=New    ");
    EXPECT_EQ(Lines(out).back(), "layer=7  ch=7  block=3     type=New    ");
    EXPECT_EQ(Lines(out).size(), 8u);
}

struct BadRefuseCase {
    bool null_data;
    bool null_drive;
    u32 len;
};

void PrintTo(const BadRefuseCase& c, std::ostream* os)
{
    *os << (c.null_data ? "null " : "") << (c.null_drive ? "no drive " : "") << std::hex << c.len;
}

class BadBlockRefused : public ::testing::TestWithParam<BadRefuseCase> {};

TEST_P(BadBlockRefused, NoTextAndNoStateChange)
{
    const BadRefuseCase& c = GetParam();
    SharedState state;
    state.Set(2, 2);
    disk_status.flag_8gb = 4;
    disk_variant_flag = 1;
    std::vector<u8> data = EmptyBadTable(kBadTableLenLarge);
    const DiskInfo drive = Drive(kTR0050);
    std::string out = kEarlier;
    EXPECT_FALSE(PrintBadBlockTable(out, c.null_data ? nullptr : data.data(), c.len, 0, c.null_drive ? nullptr : &drive));
    EXPECT_EQ(out, kEarlier);
    EXPECT_EQ(disk_variant_flag, 1u);
    EXPECT_EQ(disk_structure.channel, 2u);
    EXPECT_EQ(disk_structure.layer, 2u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BadBlockRefused,
                         ::testing::Values(BadRefuseCase{false, false, 0x30000}, BadRefuseCase{false, false, 0x1FFFF},
                                           BadRefuseCase{false, false, 0x40001}, BadRefuseCase{false, false, 0},
                                           BadRefuseCase{true, false, 0x20000}, BadRefuseCase{false, true, 0x20000}),
                         CaseName());

// ---- system index table ---------------------------------------------------------------

// Entry i: kind i mod 5 (4 is no kind), layer byte i / 256, block number i.
std::vector<u8> SystemIndex()
{
    std::vector<u8> data(kSysIndexTableLen);
    for (u32 i = 0; i < kSysIndexTableLen / 4; i++) {
        Put32(data, i, (i % 5) << 24 | (i / 256) << 16 | i);
    }
    return data;
}

TEST(SysTableSlots, FiveTablesOfTheSameLabels)
{
    for (u32 t = 0; t < SYS_TABLE_COUNT; t++) {
        for (u32 r = 0; r < kSysTableSlotCount; r++) {
            const SysTableSlot& slot = sys_table_slots[t][r];
            const std::string label = slot.label;
            EXPECT_EQ(label, sys_table_slots[SYS_TABLE_A][r].label) << t << " " << r;
            ASSERT_EQ(label.size(), 40u) << label;
            EXPECT_EQ(label.substr(38), ": ");
            EXPECT_EQ(label.compare(0, 5, "QUMA_"), 0) << label;
            // a name without blanks, padded to 38
            const std::string name = label.substr(0, 38);
            const size_t end = name.find(' ');
            EXPECT_TRUE(end == std::string::npos || name.find_first_not_of(' ', end) == std::string::npos) << label;
            // every code designates an entry of its table's geometry
            const u32 index = t == SYS_TABLE_A ? slot.code >> 3 : slot.code >> 5;
            EXPECT_LT(index, kSysIndexEntries) << t << " " << r;
        }
    }
    EXPECT_STREQ(sys_table_slots[SYS_TABLE_A][0].label, "QUMA_SYSTABLE_START_GLOBAL            : ");
    EXPECT_STREQ(sys_table_slots[SYS_TABLE_A][25].label, "QUMA_SYSTABLE_START1_BLANK_ORDER_TABLE: ");
    EXPECT_STREQ(sys_table_slots[SYS_TABLE_A][38].label, "QUMA_SYSTABLE_END_LOGBUF              : ");
}

struct SlotCodeCase {
    u32 table, row, code;
};

void PrintTo(const SlotCodeCase& c, std::ostream* os) { *os << c.table << ":" << c.row; }

class SysTableCodes : public ::testing::TestWithParam<SlotCodeCase> {};

TEST_P(SysTableCodes, CodeOfRow) { EXPECT_EQ(sys_table_slots[GetParam().table][GetParam().row].code, GetParam().code); }

INSTANTIATE_TEST_SUITE_P(
    Rows, SysTableCodes,
    ::testing::Values(SlotCodeCase{SYS_TABLE_A, 3, 0x051}, SlotCodeCase{SYS_TABLE_A, 19, 0x140},
                      SlotCodeCase{SYS_TABLE_A, 35, 0x3EE}, SlotCodeCase{SYS_TABLE_B, 19, 0x1C8},
                      SlotCodeCase{SYS_TABLE_B, 22, 0x2AF}, SlotCodeCase{SYS_TABLE_B, 30, 0x040},
                      SlotCodeCase{SYS_TABLE_C, 28, 0x4D7}, SlotCodeCase{SYS_TABLE_D, 26, 0x3D7},
                      SlotCodeCase{SYS_TABLE_E, 25, 0x3F8}, SlotCodeCase{SYS_TABLE_E, 30, 0x020},
                      SlotCodeCase{SYS_TABLE_E, 38, 0xFFF}),
    CaseName());

TEST(SystemBlockInfo, SmallModelAppendsAreasThenEveryEntry)
{
    SharedState state;
    state.Set(8, 8);  // the slot tables carry their own geometry
    const std::vector<u8> data = SystemIndex();
    const DiskInfo drive = Drive(kTN0032);
    std::string out = kEarlier;
    ASSERT_TRUE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen, 2, &drive));
    const std::string areas =
        "  System Block Info:\n"
        "  QUMA_SYSTABLE_START_GLOBAL            : layer=0  ch=0  block=0       \n"
        "  QUMA_SYSTABLE_END_GLOBAL              : layer=0  ch=1  block=128     \n"
        "  QUMA_SYSTABLE_START1_MAP_LOG          : layer=1  ch=2  block=256     \n"
        "  QUMA_SYSTABLE_END1_MAP_LOG            : layer=0  ch=1  block=138     \n"
        "  QUMA_SYSTABLE_START2_MAP_LOG          : layer=1  ch=2  block=266     \n"
        "  QUMA_SYSTABLE_END2_MAP_LOG            : layer=0  ch=1  block=148     \n"
        "  QUMA_SYSTABLE_START_SMART_LOG         : layer=1  ch=2  block=276     \n"
        "  QUMA_SYSTABLE_END_SMART_LOG           : layer=0  ch=1  block=149     \n"
        "  QUMA_SYSTABLE_START_SMART             : layer=1  ch=2  block=277     \n"
        "  QUMA_SYSTABLE_END_SMART               : layer=1  ch=3  block=405     \n"
        "  QUMA_SYSTABLE_START_BLANK             : layer=2  ch=0  block=533     \n"
        "  QUMA_SYSTABLE_END_BLANK               : layer=1  ch=3  block=407     \n"
        "  QUMA_SYSTABLE_START_SMBLOCK           : layer=2  ch=0  block=535     \n"
        "  QUMA_SYSTABLE_END_SMBLOCK             : layer=3  ch=3  block=923     \n"
        "  QUMA_SYSTABLE_START1_WL               : layer=0  ch=0  block=28      \n"
        "  QUMA_SYSTABLE_END1_WL                 : layer=3  ch=3  block=925     \n"
        "  QUMA_SYSTABLE_START2_WL               : layer=0  ch=0  block=30      \n"
        "  QUMA_SYSTABLE_END2_WL                 : layer=3  ch=3  block=927     \n"
        "  QUMA_SYSTABLE_START_MAP               : layer=0  ch=0  block=32      \n"
        "  QUMA_SYSTABLE_START_MAP2_64G          : layer=0  ch=0  block=40      \n"
        "  QUMA_SYSTABLE_START_MAP2_128G         : layer=2  ch=0  block=581     \n"
        "  QUMA_SYSTABLE_START1_BLANK_ORDER_LOG  : layer=0  ch=0  block=48      \n"
        "  QUMA_SYSTABLE_END1_BLANK_ORDER_LOG    : layer=3  ch=3  block=945     \n"
        "  QUMA_SYSTABLE_START2_BLANK_ORDER_LOG  : layer=0  ch=0  block=50      \n"
        "  QUMA_SYSTABLE_END2_BLANK_ORDER_LOG    : layer=3  ch=3  block=947     \n"
        "  QUMA_SYSTABLE_START1_BLANK_ORDER_TABLE: layer=0  ch=1  block=180     \n"
        "  QUMA_SYSTABLE_END1_BLANK_ORDER_TABLE  : layer=0  ch=0  block=56      \n"
        "  QUMA_SYSTABLE_START2_BLANK_ORDER_TABLE: layer=0  ch=1  block=184     \n"
        "  QUMA_SYSTABLE_END2_BLANK_ORDER_TABLE  : layer=0  ch=0  block=60      \n"
        "  QUMA_SYSTABLE_BLANK_ORDER_TABLE_BLOCKS: layer=0  ch=0  block=1       \n"
        "  QUMA_TABLEMEMPAGES_BLANK_ORDER_TABLE  : layer=0  ch=0  block=4       \n"
        "  QUMA_SYSTABLE_START1_SHADOW           : layer=0  ch=0  block=107     \n"
        "  QUMA_SYSTABLE_END1_SHADOW             : layer=3  ch=3  block=1004    \n"
        "  QUMA_SYSTABLE_START2_SHADOW           : layer=0  ch=0  block=109     \n"
        "  QUMA_SYSTABLE_END2_SHADOW             : layer=3  ch=3  block=1006    \n"
        "  QUMA_SYSTABLE_START_PENDBUF           : layer=3  ch=2  block=893     \n"
        "  QUMA_SYSTABLE_END_PENDBUF             : layer=3  ch=3  block=1021    \n"
        "  QUMA_SYSTABLE_START_LOGBUF            : layer=0  ch=0  block=126     \n"
        "  QUMA_SYSTABLE_END_LOGBUF              : layer=3  ch=3  block=1023    \n"
        "\n"
        "  All Block Info:\n"
        "  blank block count=205  system block count=205  erase fail block count=205  prog fail block count=205\n"
        "  layer=0  ch=0  block=0       type=blank\n"
        "  layer=0  ch=0  block=1       type=sys  \n"
        "  layer=0  ch=0  block=2       type=erase\n"
        "  layer=0  ch=0  block=3       type=prog \n"
        "  layer=0  ch=0  block=4       type=Error\n"
        "  layer=0  ch=0  block=5       type=blank\n";
    ASSERT_GE(out.size(), sizeof(kEarlier) - 1 + areas.size());
    EXPECT_EQ(out.substr(0, sizeof(kEarlier) - 1), kEarlier);
    EXPECT_EQ(out.substr(sizeof(kEarlier) - 1, areas.size()), areas);
    // 2 layers of 4 channels of 128 entries
    const std::vector<std::string> lines = Lines(out);
    EXPECT_EQ(lines.size(), 1u + 1u + 39u + 3u + 1024u);  // after the earlier line
    EXPECT_EQ(lines[44 + 128], "  layer=0  ch=1  block=128     type=prog ");
    EXPECT_EQ(lines.back(), "  layer=3  ch=3  block=1023    type=prog ");
}

struct SystemModelCase {
    const char* model;
    u8 flag_8gb;
    u32 variant;
    const char* row22;
};

void PrintTo(const SystemModelCase& c, std::ostream* os)
{
    *os << c.model << " flag " << int(c.flag_8gb) << " variant " << c.variant;
}

class SystemBlockModels : public ::testing::TestWithParam<SystemModelCase> {};

// Row 22 tells the tables B to E apart; the full tables have 4 layers of 8 channels.
TEST_P(SystemBlockModels, TableByModelAndFlags)
{
    const SystemModelCase& c = GetParam();
    SharedState state;
    state.Set(1, 1);
    disk_status.flag_8gb = c.flag_8gb;
    disk_variant_flag = c.variant;
    const std::vector<u8> data = SystemIndex();
    const DiskInfo drive = Drive(c.model);
    std::string out;
    ASSERT_TRUE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen, 0, &drive));
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 1u + 39u + 3u + 4096u);
    EXPECT_EQ(lines[23], std::string("QUMA_SYSTABLE_END1_BLANK_ORDER_LOG    : ") + c.row22);
    EXPECT_EQ(lines[39], "QUMA_SYSTABLE_END_LOGBUF              : layer=15  ch=7  block=4095    ");
    EXPECT_EQ(lines[42],
              "blank block count=820  system block count=819  erase fail block count=819  prog fail block count=819");
    EXPECT_EQ(lines.back(), "layer=15  ch=7  block=4095    type=blank");
    EXPECT_EQ(disk_variant_flag, c.variant);  // read, not reset
}

INSTANTIATE_TEST_SUITE_P(
    Models, SystemBlockModels,
    ::testing::Values(SystemModelCase{kTR0050, 0, 0, "layer=7  ch=7  block=1941    "},
                      SystemModelCase{kTR0050, 0, 1, "layer=7  ch=7  block=1941    "},
                      SystemModelCase{kTR0050, 2, 0, "layer=11  ch=7  block=2971    "},
                      SystemModelCase{kTR0050, 0, 2, "layer=11  ch=7  block=2971    "},
                      SystemModelCase{kTR0100, 2, 2, "layer=11  ch=7  block=2972    "},
                      SystemModelCase{kTN0100, 0, 0, "layer=11  ch=7  block=2971    "},
                      SystemModelCase{kTN0200, 2, 0, "layer=11  ch=7  block=2973    "},
                      // the first model of the list wins
                      SystemModelCase{"QUMA-K4410TN0200/QUMA-K4410TR0100", 0, 0, "layer=11  ch=7  block=2972    "}),
    CaseName());

TEST(SystemBlockInfo, KindByteAboveThreeIsAnError)
{
    SharedState state;
    std::vector<u8> data(kSysIndexTableLen);
    Put32(data, 0, 0xFF010203u);
    Put32(data, 1, 0x03FE1FFFu);
    Put32(data, 2, 0x0100E000u);  // bits 13 to 15 are not part of the number
    const DiskInfo drive = Drive(kTN0100);
    std::string out;
    ASSERT_TRUE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen, 0, &drive));
    const std::vector<std::string> lines = Lines(out);
    EXPECT_EQ(lines[42],
              "blank block count=4093  system block count=1  erase fail block count=0  prog fail block count=1");
    EXPECT_EQ(lines[43], "layer=1  ch=0  block=515     type=Error");
    EXPECT_EQ(lines[44], "layer=254  ch=0  block=8191    type=prog ");
    EXPECT_EQ(lines[45], "layer=0  ch=0  block=0       type=sys  ");
}

TEST(SystemBlockInfo, Refusals)
{
    SharedState state;
    const std::vector<u8> data = SystemIndex();
    const DiskInfo known = Drive(kTN0100);
    const DiskInfo other = Drive(kOther);
    const DiskInfo prefix = Drive("QUMA-K4410TN010");
    std::string out = kEarlier;
    EXPECT_FALSE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen, 0, &other));
    EXPECT_FALSE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen, 0, &prefix));
    EXPECT_FALSE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen - 1, 0, &known));
    EXPECT_FALSE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen - 4, 0, &known));
    EXPECT_FALSE(PrintSystemBlockInfo(out, nullptr, kSysIndexTableLen, 0, &known));
    EXPECT_FALSE(PrintSystemBlockInfo(out, data.data(), kSysIndexTableLen, 0, nullptr));
    EXPECT_EQ(out, kEarlier);
}

// ---- wear statistics ------------------------------------------------------------------

const std::string kStatsHeader = "layer, ch, blk_cnt, max, min, average, devsq\n";

std::string EmptyRows(u32 layers, u32 channels, u32 skip_first)
{
    std::string rows;
    for (u32 l = 0; l < layers; l++) {
        for (u32 c = 0; c < channels; c++) {
            if (l * channels + c >= skip_first) {
                rows += std::to_string(l) + ", " + std::to_string(c) + ", 0, 0, 0, 0, 0\n";
            }
        }
    }
    return rows;
}

std::string Heading(u32 layers, u32 channels)
{
    std::string h;
    char cell[32];
    for (u32 l = 0; l < layers; l++) {
        for (u32 c = 0; c < channels; c++) {
            snprintf(cell, sizeof(cell), "layer%02u_ch%02u,", l, c);
            h += cell;
        }
    }
    return h;
}

std::string Blanks(u32 cells)
{
    std::string s;
    for (u32 i = 0; i < cells; i++) {
        s += "        -1,";
    }
    return s;
}

// C = L = 1, an erase table of half of C x L x 32768 bytes: 4 layers of 8 channels
// of 4096 blocks, of which only (0, 0) lies in the table.
struct StatsFixture {
    SharedState state;
    std::vector<u8> erase = std::vector<u8>(16384);
    std::vector<u8> bad = std::vector<u8>(2048, 0xFF);
    std::vector<u8> system = std::vector<u8>(kSysIndexTableLen, 0xFF);
    StatsFixture()
    {
        state.Set(1, 1);
        Put32(erase, 0, 999);  // block 0 is never counted
        Put32(erase, 1, 10);
        Put32(erase, 2, 20);
        Put32(erase, 3, 30);
        Put32(erase, 4, 0xFFFFFFE5u);  // any value this high counts as a marker
        for (size_t b = 5; b < 4096; b++) {
            Put32(erase, b, 5);
        }
        Put16(bad, 0, 0x8003);
        Put16(bad, 1, 0x0006);
        Put16(bad, 2, 0x1FFF);  // past the 4096 blocks: marks nothing
        Put32(system, 0, 0x01000007);
        Put32(system, 128, 0x02000009);  // channel 1 lies past the erase table
        Put32(system, 1, 0x0A000009);   // kind bits 24 to 26 only
        Put32(system, 3, 0x01010008);   // layer byte 1: a row past the table
        Put32(system, 2, 0x03200001);   // layer byte 32: no such layer
    }
    bool Print(std::string& out, bool use_system)
    {
        return PrintWearStatistics(out, erase.data(), static_cast<u32>(erase.size()), bad.data(),
                                   static_cast<u32>(bad.size()), system.data(), static_cast<u32>(system.size()),
                                   use_system);
    }
};

TEST(WearStatistics, MarkersStatisticsAndMatrixReplaceTheText)
{
    StatsFixture f;
    std::string out = kEarlier;
    ASSERT_TRUE(f.Print(out, true));
    std::string want = kStatsHeader + "0, 0, 4090, 20, 5, 5, 250\n" + EmptyRows(4, 8, 1) + "\n\n" + Heading(4, 8) +
                       "\n" + Blanks(32) + "\n" +          // block 0
                       "10        ," + Blanks(31) + "\n" +  // block 1
                       "20        ," + Blanks(31) + "\n" +  // block 2
                       Blanks(32) + "\n" +                  // block 3, bad
                       Blanks(32) + "\n" +                  // block 4, a marker value
                       "5         ," + Blanks(31) + "\n" +  // block 5
                       Blanks(32) + "\n" +                  // block 6, bad
                       Blanks(32) + "\n" +                  // block 7, system
                       "5         ," + Blanks(31) + "\n" +  // block 8
                       Blanks(32) + "\n";                   // block 9, system
    ASSERT_GE(out.size(), want.size());
    EXPECT_EQ(out.substr(0, want.size()), want);
    EXPECT_EQ(Lines(out).size(), 33u + 2u + 1u + 4096u);
    EXPECT_EQ(Lines(out).back(), "5         ," + Blanks(31));
    // the markers stay in the caller's table
    EXPECT_EQ(Get32(f.erase, 0), 999u);
    EXPECT_EQ(Get32(f.erase, 3), 0xFFFFFFE1u);
    EXPECT_EQ(Get32(f.erase, 6), 0xFFFFFFE0u);
    EXPECT_EQ(Get32(f.erase, 7), 0xFFFFFFF1u);
    EXPECT_EQ(Get32(f.erase, 8), 5u);
    EXPECT_EQ(Get32(f.erase, 9), 0xFFFFFFF2u);
    EXPECT_EQ(Get32(f.erase, 1), 10u);
}

TEST(WearStatistics, WithoutTheSystemTableOnlyBadBlocksAreMarked)
{
    StatsFixture f;
    std::string out;
    ASSERT_TRUE(f.Print(out, false));
    EXPECT_EQ(out.substr(0, kStatsHeader.size() + 26), kStatsHeader + "0, 0, 4092, 20, 5, 5, 250\n");
    EXPECT_EQ(Get32(f.erase, 7), 5u);
    EXPECT_EQ(Get32(f.erase, 9), 5u);
    EXPECT_EQ(Get32(f.erase, 3), 0xFFFFFFE1u);
}

TEST(WearStatistics, SumsWiderThan32Bits)
{
    StatsFixture f;
    for (size_t b = 0; b < 4096; b++) {
        Put32(f.erase, b, 0xFFFFFFDFu);
    }
    std::vector<u8> none(2048, 0xFF);
    f.bad = none;
    std::string out;
    ASSERT_TRUE(f.Print(out, false));
    EXPECT_EQ(Lines(out)[1], "0, 0, 4095, 4294967263, 4294967263, 4294967263, 0");
    // half the blocks at 0, half near the top: the deviation passes 64 bits and saturates
    for (size_t b = 0; b < 4096; b++) {
        Put32(f.erase, b, b % 2 ? 0xFFFFFFDFu : 0);
    }
    ASSERT_TRUE(f.Print(out, false));
    EXPECT_EQ(Lines(out)[1], "0, 0, 4095, 4294967263, 0, 2148008047, 18446744073709551615");
    // small values: the 64-bit formula as it stands
    for (size_t b = 0; b < 4096; b++) {
        Put32(f.erase, b, b % 3 == 0 ? 1000000u : 7u);
    }
    ASSERT_TRUE(f.Print(out, false));
    EXPECT_EQ(Lines(out)[1], "0, 0, 4095, 1000000, 7, 333338, 909987260044590");
}

TEST(WearStatistics, OddRowLayoutOfTheQuarterTable)
{
    // an erase table of a quarter of C x L x 32768 bytes: 2 layers of 4 channels,
    // 8192 blocks, bad block rows 1 and 3
    SharedState state;
    state.Set(1, 1);
    std::vector<u8> erase(8192);
    for (size_t b = 0; b < 2048; b++) {
        Put32(erase, b, 100 + static_cast<u32>(b % 2));
    }
    std::vector<u8> bad(4 * kBadLayerEntries * 2, 0xFF);
    Put16(bad, BadEntry(0, 0, 0), 0x0002);  // an even row: not read
    Put16(bad, BadEntry(1, 0, 0), 0x0003);
    Put16(bad, BadEntry(1, 1, 0), 0x0004);  // a channel past C
    std::vector<u8> system(kSysIndexTableLen, 0xFF);
    std::string out;
    ASSERT_TRUE(PrintWearStatistics(out, erase.data(), 8192, bad.data(), static_cast<u32>(bad.size()),
                                    system.data(), 0, true));
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 1u + 8u + 2u + 1u + 8192u);
    EXPECT_EQ(lines[1], "0, 0, 2046, 101, 100, 100, 512");
    EXPECT_EQ(out.substr(out.find("0, 1,")).substr(0, EmptyRows(2, 4, 1).size() + 2 + Heading(2, 4).size() + 1),
              EmptyRows(2, 4, 1) + "\n\n" + Heading(2, 4) + "\n");
    EXPECT_EQ(lines[12], Blanks(8));
    EXPECT_EQ(lines[12 + 1], "101       ," + Blanks(7));
    EXPECT_EQ(lines[12 + 3], Blanks(8));
    EXPECT_EQ(lines[12 + 2], "100       ," + Blanks(7));
    EXPECT_EQ(lines[12 + 2047], "101       ," + Blanks(7));
    EXPECT_EQ(lines[12 + 2048], Blanks(8));
    EXPECT_EQ(Get32(erase, 3), 0xFFFFFFE0u);
    EXPECT_EQ(Get32(erase, 2), 100u);
    EXPECT_EQ(Get32(erase, 4), 100u);
}

struct StatsGeometryCase {
    u32 channel, layer;
    u32 erase_len, bad_len;
    u32 layers, channels, blocks;
};

void PrintTo(const StatsGeometryCase& c, std::ostream* os)
{
    *os << c.channel << "x" << c.layer << " erase " << c.erase_len << " bad " << c.bad_len;
}

class WearStatisticsGeometry : public ::testing::TestWithParam<StatsGeometryCase> {};

TEST_P(WearStatisticsGeometry, MatrixShape)
{
    const StatsGeometryCase& c = GetParam();
    SharedState state;
    state.Set(c.channel, c.layer);
    // one byte more than the length given, so that no table is null
    std::vector<u8> erase(c.erase_len + 1, 0x11);
    std::vector<u8> bad(c.bad_len + 1, 0xFF);
    std::vector<u8> system(16, 0);
    std::string out;
    ASSERT_TRUE(PrintWearStatistics(out, erase.data(), c.erase_len, bad.data(), c.bad_len, system.data(), 16, true));
    const std::vector<std::string> lines = Lines(out);
    const u32 cells = c.layers * c.channels;
    ASSERT_EQ(lines.size(), 1u + cells + 2u + 1u + c.blocks);
    EXPECT_EQ(lines[1 + cells + 2], Heading(c.layers, c.channels));
    EXPECT_EQ(lines.back().size(), 11u * cells);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, WearStatisticsGeometry,
    ::testing::Values(StatsGeometryCase{1, 1, 100, 2048, 4, 8, 8192}, StatsGeometryCase{1, 1, 100, 2050, 8, 8, 8192},
                      StatsGeometryCase{1, 1, 16384, 4096, 4, 8, 4096}, StatsGeometryCase{1, 1, 8192, 2048, 2, 4, 8192},
                      StatsGeometryCase{2, 2, 32768, 0, 2, 4, 8192}, StatsGeometryCase{2, 2, 65536, 0, 4, 8, 4096},
                      // no structure: both sizes are 0, the last rule holds
                      StatsGeometryCase{0, 0, 0, 0, 4, 8, 4096}),
    CaseName());

TEST(WearStatistics, Refusals)
{
    SharedState state;
    state.Set(1, 1);
    std::vector<u8> erase(64, 0x22), bad(64, 0xFF), system(64, 0);
    std::string out = kEarlier;
    EXPECT_FALSE(PrintWearStatistics(out, nullptr, 64, bad.data(), 64, system.data(), 64, false));
    EXPECT_FALSE(PrintWearStatistics(out, erase.data(), 64, nullptr, 64, system.data(), 64, false));
    EXPECT_FALSE(PrintWearStatistics(out, erase.data(), 64, bad.data(), 64, nullptr, 64, false));
    EXPECT_EQ(out, kEarlier);
    EXPECT_EQ(erase, std::vector<u8>(64, 0x22));
}

}  // namespace
