#include <gtest/gtest.h>

#include "case_names.h"

#include "msg_processor.h"
#include "test_init.h"

TEST(MsgProcessorBeforeInit, EveryCodeIsUndefined)
{
    // A re-executed child, so the process-wide table is still empty there.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bool all_undefined = true;
            for (int code = -1; code <= 52; code++) {
                all_undefined = all_undefined && MsgProcessor::GetErrStr(code) == "Undefined User Err Code";
            }
            exit(all_undefined && vec_err_str.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

struct ErrTextCase {
    int code;
    const char* text;
};

class ErrText : public ::testing::TestWithParam<ErrTextCase> {};

TEST_P(ErrText, Lookup)
{
    EnsureErrTable();
    EXPECT_EQ(MsgProcessor::GetErrStr(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Codes, ErrText,
                         ::testing::Values(ErrTextCase{0, "No Error"}, ErrTextCase{5, "Parse data unsuccessfully"},
                                           ErrTextCase{6, "Function is unsupported"},
                                           ErrTextCase{8, "ATA Status Register or Error Registor return false"},
                                           ErrTextCase{21, "Error Occured when query current physical drive's information"},
                                           ErrTextCase{51, "Data decompressed error"},
                                           ErrTextCase{52, "Undefined User Err Code"},
                                           ErrTextCase{-1, "Undefined User Err Code"},
                                           ErrTextCase{2147483647, "Undefined User Err Code"}), CaseIndexName());

TEST(MsgProcessor, TableHoldsEveryCodeInOrder)
{
    EnsureErrTable();
    ASSERT_EQ(vec_err_str.size(), static_cast<size_t>(USER_ERR_BUTT));
    for (size_t i = 0; i < vec_err_str.size(); i++) {
        EXPECT_EQ(static_cast<size_t>(vec_err_str[i].err_code), i);
        EXPECT_FALSE(vec_err_str[i].err_str.empty());
    }
}

TEST(MsgProcessorDeathTest, SecondInitFailsTheSizeCheck)
{
    EXPECT_DEATH(
        {
            MsgProcessor::Init();
            MsgProcessor::Init();
        },
        "static void MsgProcessor::Init\\(\\): Assertion `\\(\\(unsigned int\\)USER_ERR_BUTT\\) == "
        "\\(\\(unsigned int\\)vec_err_str.size\\(\\)\\)' failed");
}
