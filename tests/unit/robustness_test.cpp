// Hostile drive answers fed to everything that decodes them: every parse callback of the
// result analyser and the drive-record fills. Each answer sits in a heap block of exactly
// its stated length, so that a read past its end is a sanitizer report. The data come
// from a seeded generator: every run sees the same bytes.
//
// Properties: nothing crashes; a refused answer leaves the text as it was; a refusal
// through the analyser is user error 5, never 0; an indent above 20 gives the text of 20;
// the fixed length rules of the decoders hold; a refused fill changes no field.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "cmd_runner.h"
#include "disk_analyser.h"
#include "disk_discovery.h"
#include "disk_info.h"
#include "msg_processor.h"
#include "robustness_util.h"
#include "test_init.h"

namespace {

using robust::ExactBuf;
using robust::Rng;

// Length rules stated by the decoders: an answer is accepted exactly when its length lies in
// [min, max]. Callbacks without a row are held to the properties that every callback shares.
struct LengthRule {
    CMND_TYPE type;
    u32 min;
    u32 max;
};

const LengthRule length_rules[] = {
    {TYPE_IDENTIFY_DEVICE, 512, 512},
    {TYPE_SMART_VALUE_THRES, 1024, 1024},
    {TYPE_SMART_THRESHOLD, 1024, 1024},
    {TYPE_4DH_SMART_THRESHOLD, 4, UINT32_MAX},  // the 4-byte page header must be there
    {TYPE_4DH_SMART_VALUE, 4, UINT32_MAX},
};

const LengthRule* RuleOf(CMND_TYPE type)
{
    for (const LengthRule& r : length_rules) {
        if (r.type == type) {
            return &r;
        }
    }
    return nullptr;
}

// The time-stamp acknowledgement reads no data at all and ends its text with "\n ".
bool ReadsNoData(CMND_TYPE type) { return type == TYPE_A4H_SET_TIME_STAMP; }

struct Callback {
    CMND_TYPE type;
    ParseFun fun;
};

void EnsureAnalyser()
{
    static bool done = false;
    if (!done) {
        EnsureErrTable();
        EnsureCmndRegistry();
        DiskAnalyser::Init();
        done = true;
    }
}

std::vector<Callback> Callbacks()
{
    EnsureAnalyser();
    std::vector<Callback> out;
    for (const auto& entry : map_parse_fun) {
        if (entry.second != nullptr) {
            out.push_back({entry.first, entry.second});
        }
    }
    return out;
}

// The fixed catalogue length of a type, 0 when it has none.
u32 CatalogueLen(CMND_TYPE type)
{
    auto it = map_list.find(type);
    return it != map_list.end() && it->second.fun_len != nullptr ? it->second.fun_len() : 0;
}

// The lengths that an answer of the type most likely has: its rule's lower bound (and upper
// bound when fixed) and its catalogue length.
std::vector<u32> LikelyLens(CMND_TYPE type)
{
    std::set<u32> lens;
    if (const LengthRule* r = RuleOf(type)) {
        lens.insert(r->min);
        if (r->max != UINT32_MAX) {
            lens.insert(r->max);
        }
    }
    if (u32 n = CatalogueLen(type)) {
        lens.insert(n);
    }
    if (lens.empty()) {
        lens.insert(512);
    }
    return std::vector<u32>(lens.begin(), lens.end());
}

// The context the command runner passes: the option word for the vendor-log types, else the
// drive record. Hostile values of both are part of the test.
struct Context {
    DiskInfo disk;
    u32 options = 0;
    void* For(CMND_TYPE type) { return usesVendorLogOptions(type) ? static_cast<void*>(&options) : &disk; }
};

const u32 kHostileSmartVers[] = {VER_P37RV, VER_K4410, VER_G2T7, VER_K6410, VER_UNKNOWN, 5, 0x80000000u,
                                 0xFFFFFFFFu};

// One callback call with the shared checks; returns the result, the text in *text.
bool Call(const Callback& cb, const u8* data, u32 len, u32 indent, void* ctx, std::string* text)
{
    *text = robust::Sentinel();
    bool ok = cb.fun(*text, data, len, indent, ctx);
    if (!ok) {
        // A refusal may leave what it appended before it gave up, never less than was there.
        EXPECT_EQ(text->compare(0, robust::Sentinel().size(), robust::Sentinel()), 0)
            << "a refused answer keeps the text it was given (len " << len << ")";
    }
    if (const LengthRule* r = RuleOf(cb.type)) {
        if (data != nullptr) {
            EXPECT_EQ(ok, len >= r->min && len <= r->max) << "length rule, len " << len;
        }
    }
    return ok;
}

TEST(ParseRobustness, NullDataIsRefusedAtAnyLength)
{
    Context ctx;
    for (const Callback& cb : Callbacks()) {
        SCOPED_TRACE("type " + std::to_string(cb.type));
        if (ReadsNoData(cb.type)) {
            continue;
        }
        for (u32 len : {0u, 1u, 4u, 512u, 1024u, 0x10000u, 0xFFFFFFFFu}) {
            std::string text;
            EXPECT_FALSE(Call(cb, nullptr, len, 4, ctx.For(cb.type), &text)) << "len " << len;
            int user_err = USER_ERR_NO_ERROR;
            text = robust::Sentinel();
            EXPECT_FALSE(DiskAnalyser::Analyse(text, cb.type, nullptr, len, &user_err, 4, ctx.For(cb.type)));
            EXPECT_EQ(user_err, USER_ERR_PARSE_FAILED);
            EXPECT_EQ(text, robust::Sentinel());
        }
    }
}

// Lengths 0 to 64 and 16 either side of each likely length, random bytes in an exact block.
TEST(ParseRobustness, LengthSweepAroundAcceptedLengths)
{
    Rng rng(0x5EED0001);
    Context ctx;
    for (const Callback& cb : Callbacks()) {
        SCOPED_TRACE("type " + std::to_string(cb.type));
        std::set<u32> lens;
        for (u32 n = 0; n <= 64; n++) {
            lens.insert(n);
        }
        for (u32 likely : LikelyLens(cb.type)) {
            for (u32 n = likely > 16 ? likely - 16 : 0; n <= likely + 16; n++) {
                lens.insert(n);
            }
        }
        for (u32 len : lens) {
            ExactBuf buf = robust::RandomBuf(rng, len);
            std::string text;
            Call(cb, buf.data(), len, 4, ctx.For(cb.type), &text);
            // The same answer through the analyser: a refusal is never reported as success.
            int user_err = -1;
            std::string via = robust::Sentinel();
            bool ok = DiskAnalyser::Analyse(via, cb.type, buf.data(), len, &user_err, 4, ctx.For(cb.type));
            EXPECT_EQ(user_err, ok ? USER_ERR_NO_ERROR : USER_ERR_PARSE_FAILED) << "len " << len;
            if (!ok) {
                EXPECT_EQ(via.compare(0, robust::Sentinel().size(), robust::Sentinel()), 0) << "len " << len;
            }
        }
    }
}

// A few thousand random answers of the likely lengths (and a share of odd lengths), with
// hostile contexts; the text of an accepted answer ends its last line.
TEST(ParseRobustness, RandomAnswers)
{
    const int kIterations = 1000;
    // A slow decoder is cut short rather than the suite: the answers stay the same, only fewer.
    const auto kBudget = std::chrono::seconds(1);
    Context ctx;
    for (const Callback& cb : Callbacks()) {
        SCOPED_TRACE("type " + std::to_string(cb.type));
        Rng rng(0x5EED0002 ^ (u64(cb.type) << 32));
        const std::vector<u32> likely = LikelyLens(cb.type);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kIterations && std::chrono::steady_clock::now() - start < kBudget; i++) {
            u32 len = rng.Below(4) == 0 ? rng.Below(2048) : likely[rng.Below(static_cast<u32>(likely.size()))];
            ExactBuf buf = robust::RandomBuf(rng, len);
            ctx.disk.smart_ver = kHostileSmartVers[rng.Below(sizeof(kHostileSmartVers) / sizeof(u32))];
            ctx.options = static_cast<u32>(rng.Next());
            void* c = rng.Below(8) == 0 ? nullptr : ctx.For(cb.type);
            std::string text;
            if (Call(cb, buf.data(), len, rng.Below(32), c, &text) && !text.empty() && !ReadsNoData(cb.type)) {
                EXPECT_EQ(text.back(), '\n') << "len " << len;
            }
        }
    }
}

// Every callback clamps the indent to 20 blanks itself: any larger indent gives the text of 20.
TEST(ParseRobustness, HugeIndentGivesTheTextOfTwenty)
{
    Rng rng(0x5EED0003);
    Context ctx;
    for (const Callback& cb : Callbacks()) {
        SCOPED_TRACE("type " + std::to_string(cb.type));
        for (u32 len : LikelyLens(cb.type)) {
            for (int i = 0; i < 8; i++) {
                ExactBuf buf = robust::RandomBuf(rng, len);
                std::string at20;
                const bool ok = Call(cb, buf.data(), len, 20, ctx.For(cb.type), &at20);
                for (u32 indent : {21u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
                    std::string text;
                    EXPECT_EQ(Call(cb, buf.data(), len, indent, ctx.For(cb.type), &text), ok);
                    EXPECT_EQ(text, at20) << "indent " << indent;
                }
            }
        }
    }
}

// The analyser itself on types that have no callback, also values outside the catalogue.
TEST(ParseRobustness, AnalyseWithoutCallbackLeavesTextAndSaysUnsupported)
{
    EnsureAnalyser();
    ExactBuf buf(1024, 0xFF);
    // Past the catalogue, within what the enumeration can hold (0 to 255).
    std::vector<int> types = {TYPE_BUTT, 200, 255};
    for (int t = 0; t < TYPE_BUTT; t++) {
        auto it = map_parse_fun.find(static_cast<CMND_TYPE>(t));
        if (it == map_parse_fun.end() || it->second == nullptr) {
            types.push_back(t);
        }
    }
    for (int t : types) {
        std::string text = robust::Sentinel();
        int user_err = USER_ERR_NO_ERROR;
        EXPECT_FALSE(DiskAnalyser::Analyse(text, static_cast<CMND_TYPE>(t), buf.data(), buf.len(), &user_err, 4,
                                           nullptr))
            << "type " << t;
        EXPECT_EQ(user_err, USER_ERR_UNSUPPORTED) << "type " << t;
        EXPECT_EQ(text, robust::Sentinel()) << "type " << t;
    }
}

// ---- Drive-record fills ----

// A record whose every field differs from what any fill writes.
DiskInfo MarkedRecord()
{
    DiskInfo d;
    d.index = 7;
    d.device_name = "/dev/sdq";
    d.link_type = LINK_SCSI;
    d.smart_ver = 0xABCD;
    d.model = "old model";
    d.serial = "old serial";
    d.firmware = "old fw";
    d.fpga_ver = "old fpga";
    d.hw_ver = "old hw";
    d.lba_count = 0x123456789ull;
    d.capacity_gb = 4321;
    return d;
}

bool Trimmed(const std::string& s) { return s.empty() || (s.front() != ' ' && s.back() != ' '); }

TEST(FillRobustness, IdentifyAcceptsOnlyWholeSectorsAndStaysInsideThem)
{
    Rng rng(0x5EED0010);
    for (u32 len = 0; len <= 1100; len++) {
        ExactBuf buf = robust::RandomBuf(rng, len);
        DiskInfo d = MarkedRecord();
        const bool ok = d.FillFromIdentify(buf.data(), len);
        EXPECT_EQ(ok, len == 512) << "len " << len;
        if (!ok) {
            EXPECT_TRUE(d == MarkedRecord()) << "a refused fill changes nothing, len " << len;
        }
    }
    DiskInfo d = MarkedRecord();
    EXPECT_FALSE(d.FillFromIdentify(nullptr, 512));
    EXPECT_TRUE(d == MarkedRecord());
}

TEST(FillRobustness, IdentifyRandomSectorsGiveBoundedTrimmedFields)
{
    Rng rng(0x5EED0011);
    for (int i = 0; i < 3000; i++) {
        ExactBuf buf = robust::RandomBuf(rng, 512);
        DiskInfo d = MarkedRecord();
        ASSERT_TRUE(d.FillFromIdentify(buf.data(), 512));
        EXPECT_LE(d.model.size(), 40u);
        EXPECT_LE(d.serial.size(), 20u);
        EXPECT_LE(d.firmware.size(), 8u);
        EXPECT_TRUE(Trimmed(d.model) && Trimmed(d.serial) && Trimmed(d.firmware));
        EXPECT_EQ(d.model.find('\0'), std::string::npos);
        EXPECT_EQ(d.capacity_gb, CapacityGbOfBlocks(d.lba_count));
        EXPECT_LE(d.smart_ver, static_cast<u32>(VER_UNKNOWN));
        EXPECT_EQ(d.index, 7u) << "only the identification fields are filled";
        EXPECT_EQ(d.device_name, "/dev/sdq");
    }
}

// An INQUIRY answer shorter than its fields gives only the bytes it holds: with 'A' in every
// byte, a field's text is exactly as long as the part of it inside the answer.
TEST(FillRobustness, InquiryShortAnswersGiveOnlyTheirOwnBytes)
{
    struct Field {
        const char* name;
        u32 off;
        u32 width;
        std::string DiskInfo::*member;
    };
    const Field fields[] = {
        {"model", 16, 16, &DiskInfo::model},
        {"firmware", 32, 4, &DiskInfo::firmware},
        {"serial", 36, 20, &DiskInfo::serial},
    };
    for (u32 len = 0; len <= 80; len++) {
        ExactBuf buf(len, 'A');
        DiskInfo d = MarkedRecord();
        const bool ok = d.FillFromInquiry(buf.data(), len);
        EXPECT_EQ(ok, len != 0) << "len " << len;
        if (!ok) {
            EXPECT_TRUE(d == MarkedRecord());
            continue;
        }
        for (const Field& f : fields) {
            const u32 inside = len > f.off ? std::min(len - f.off, f.width) : 0;
            EXPECT_EQ((d.*f.member).size(), inside) << f.name << ", len " << len;
        }
        EXPECT_EQ(d.lba_count, MarkedRecord().lba_count) << "INQUIRY does not fill the block count";
    }
    DiskInfo d = MarkedRecord();
    EXPECT_FALSE(d.FillFromInquiry(nullptr, 96));
    EXPECT_TRUE(d == MarkedRecord());
}

TEST(FillRobustness, InquiryRandomAnswersGiveBoundedTrimmedFields)
{
    Rng rng(0x5EED0012);
    for (int i = 0; i < 3000; i++) {
        const u32 len = 1 + rng.Below(rng.Below(2) == 0 ? 64 : 600);
        ExactBuf buf = robust::RandomBuf(rng, len);
        DiskInfo d = MarkedRecord();
        ASSERT_TRUE(d.FillFromInquiry(buf.data(), len));
        EXPECT_LE(d.model.size(), 16u);
        EXPECT_LE(d.firmware.size(), 4u);
        EXPECT_LE(d.serial.size(), 20u);
        EXPECT_TRUE(Trimmed(d.model) && Trimmed(d.serial) && Trimmed(d.firmware));
        EXPECT_LE(d.smart_ver, static_cast<u32>(VER_UNKNOWN));
    }
}

TEST(FillRobustness, ReadCapacityNeedsFourBytesAndNeverWraps)
{
    for (u32 len = 0; len <= 8; len++) {
        ExactBuf buf(len, 0xFF);
        DiskInfo d = MarkedRecord();
        const bool ok = CalcCapacityGB(&d, buf.data(), len);
        EXPECT_EQ(ok, len > 3) << "len " << len;
        if (ok) {
            EXPECT_EQ(d.lba_count, 0x100000000ull) << "last LBA FFFFFFFFh plus one, in 64 bits";
            EXPECT_EQ(d.capacity_gb, CapacityGbOfBlocks(0x100000000ull));
        } else {
            EXPECT_TRUE(d == MarkedRecord());
        }
    }
    DiskInfo d = MarkedRecord();
    EXPECT_FALSE(CalcCapacityGB(&d, nullptr, 8));
    EXPECT_FALSE(CalcCapacityGB(nullptr, ExactBuf(8, 0).data(), 8));
}

} // namespace
