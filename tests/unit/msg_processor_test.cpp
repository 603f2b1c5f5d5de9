#include <gtest/gtest.h>

#include "case_names.h"

#include "msg_processor.h"
#include "test_init.h"
#include <ostream>

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

void PrintTo(const ErrTextCase& c, std::ostream* os) { *os << "code " << c.code; }

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
                                           ErrTextCase{2147483647, "Undefined User Err Code"}), CaseName());

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

// The whole vocabulary as the program stores it: constant, code and text, byte for byte.
TEST(MsgProcessor, EveryCodeHasItsText)
{
    struct Row {
        USER_ERR_CODE constant;
        int code;
        const char* text;
    };
    const Row rows[] = {
        {USER_ERR_NO_ERROR, 0, "No Error"},
        {USER_ERR_OS_API, 1, "OS API Error"},
        {USER_ERR_INVALID_HANDLE, 2, "Handle is invalid"},
        {USER_ERR_ILLEGAL_POINTER, 3, "Pointer is illegal"},
        {USER_ERR_ILLEGAL_PARAM, 4, "Parameter is illegal"},
        {USER_ERR_PARSE_FAILED, 5, "Parse data unsuccessfully"},
        {USER_ERR_UNSUPPORTED, 6, "Function is unsupported"},
        {USER_ERR_SAT_NO_CHECK_CONDITION, 7, "SatPassThroughIoctl has no check condition"},
        {USER_ERR_ATA_STATUS, 8, "ATA Status Register or Error Registor return false"},
        {USER_ERR_SENSE_NOT_READY, 9, "Sense key : NOT READY"},
        {USER_ERR_SENSE_BAD_OPCODE, 10, "Sense key : BAD OPCODE"},
        {USER_ERR_SENSE_BAD_FIELD, 11, "Sense key : BAD FIELD"},
        {USER_ERR_SENSE_BAD_PARAM, 12, "Sense key : BAD PARAM"},
        {USER_ERR_SENSE_BAD_RESPONSE, 13, "Sense key : BAD RESPONSE"},
        {USER_ERR_SENSE_NO_MEDIUM, 14, "Sense key : NO MEDIUM"},
        {USER_ERR_SENSE_BECOMING_READY, 15, "Sense key : BECOMING READY"},
        {USER_ERR_SENSE_TRY_AGAIN, 16, "Sense key : TRY AGAIN"},
        {USER_ERR_SENSE_MEDIUM_HARDWARE, 17, "Sense key : MEDIUM or HARDWARE ERROR"},
        {USER_ERR_SENSE_ABORTED_COMMAND, 18, "Sense key : ABORTED COMMAND"},
        {USER_ERR_SENSE_UNKNOWN, 19, "Sense key : UNKNOWN"},
        {USER_ERR_ILLEGAL_PHYSICAL_DRIVE, 20, "Current Physical Driver is Illegal"},
        {USER_ERR_QUERY_DRIVE_INFO, 21, "Error Occured when query current physical drive's information"},
        {USER_ERR_FILE_NOT_EXIST, 22, "File is not exist"},
        {USER_ERR_FILE_OPEN, 23, "File can't be opened"},
        {USER_ERR_FILE_READ, 24, "File Read Error"},
        {USER_ERR_FILE_WRITE, 25, "File Write Error"},
        {USER_ERR_FILE_LENGTH, 26, "File length is illegal"},
        {USER_ERR_ILLEGAL_REGS, 27, "Regs value is illegal"},
        {USER_ERR_CMND_TYPE_SELECT, 28, "Cmnd Type Select Error"},
        {USER_ERR_DATA_DIR_SELECT, 29, "Data Dir Select Error"},
        {USER_ERR_ILLEGAL_FLASH_ADDRESS, 30, "Value in Chan, Layer, Block or Page is illegal"},
        {USER_ERR_ILLEGAL_DIFF_OR_LENGTH, 31, "Value in Diff or Length is illegal"},
        {USER_ERR_COM_MONITOR_THREAD, 32, "COM Monitor Thread Error"},
        {USER_ERR_COM_NAK_RETRY, 33, "Return value is NAK, Retry is asked"},
        {USER_ERR_COM_NOT_ACK_OR_NAK, 34, "Return value is not ACK or NAK"},
        {USER_ERR_COM_FRAME_TOO_SHORT, 35, "Frame size is less than the minimum size of COM Protocol"},
        {USER_ERR_COM_FRAME_TOO_LONG, 36, "Frame size is larger than the maximum size of COM Protocol"},
        {USER_ERR_COM_FRAME_HEAD, 37, "Frame head is not match with Protocol"},
        {USER_ERR_COM_FRAME_TAIL, 38, "Frame tail is not match with Protocol"},
        {USER_ERR_COM_FRAME_COMMAND, 39, "Frame command responsed is not match with command sended"},
        {USER_ERR_COM_FRAME_CHECKSUM, 40, "Frame checksum error"},
        {USER_ERR_COM_RESPONSE_TIMEOUT, 41, "Timeout for response"},
        {USER_ERR_COM_COMMAND_FAILED, 42, "COM Command execute unsuccessfully"},
        {USER_ERR_INIT_TIMEOUT, 43, "Timeout for QUMA Initialization"},
        {USER_ERR_BRIDGE_FW_DOWNLOAD, 44, "Error occured when download bridge firmware"},
        {USER_ERR_INIT_FW_DOWNLOAD, 45, "Error occured when download QUMA Init firmware"},
        {USER_ERR_EZUSB_READ, 46, "Error occured when read from EzUSB device"},
        {USER_ERR_EZUSB_WRITE, 47, "Error occured when write to EzUSB device"},
        {USER_ERR_EZUSB_COMMAND_FAILED, 48, "EzUSB Command execute unsuccessfully"},
        {USER_ERR_DATA_COMPARE, 49, "Data compared error"},
        {USER_ERR_DATA_COMPRESS, 50, "Data compressed error"},
        {USER_ERR_DATA_DECOMPRESS, 51, "Data decompressed error"},
    };
    EnsureErrTable();
    EXPECT_EQ(static_cast<int>(USER_ERR_BUTT), 52);
    ASSERT_EQ(sizeof(rows) / sizeof(rows[0]), static_cast<size_t>(USER_ERR_BUTT));
    ASSERT_EQ(vec_err_str.size(), static_cast<size_t>(USER_ERR_BUTT));
    for (const Row& r : rows) {
        EXPECT_EQ(static_cast<int>(r.constant), r.code) << r.text;
        EXPECT_EQ(vec_err_str[r.code].err_str, r.text) << "code " << r.code;
        EXPECT_EQ(MsgProcessor::GetErrStr(r.code), r.text) << "code " << r.code;
    }
}
