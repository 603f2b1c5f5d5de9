#include "msg_processor.h"

#include "common.h"

std::vector<USER_ERR_ITEM> vec_err_str;

namespace {

struct ErrRow {
    USER_ERR_CODE code;
    const char* text;
};

// One row per code, in code order; Init checks the order.
const ErrRow err_rows[] = {
    {USER_ERR_NO_ERROR, "No Error"},
    {USER_ERR_OS_API, "OS API Error"},
    {USER_ERR_INVALID_HANDLE, "Handle is invalid"},
    {USER_ERR_ILLEGAL_POINTER, "Pointer is illegal"},
    {USER_ERR_ILLEGAL_PARAM, "Parameter is illegal"},
    {USER_ERR_PARSE_FAILED, "Parse data unsuccessfully"},
    {USER_ERR_UNSUPPORTED, "Function is unsupported"},
    {USER_ERR_SAT_NO_CHECK_CONDITION, "SatPassThroughIoctl has no check condition"},
    {USER_ERR_ATA_STATUS, "ATA Status Register or Error Registor return false"},
    {USER_ERR_SENSE_NOT_READY, "Sense key : NOT READY"},
    {USER_ERR_SENSE_BAD_OPCODE, "Sense key : BAD OPCODE"},
    {USER_ERR_SENSE_BAD_FIELD, "Sense key : BAD FIELD"},
    {USER_ERR_SENSE_BAD_PARAM, "Sense key : BAD PARAM"},
    {USER_ERR_SENSE_BAD_RESPONSE, "Sense key : BAD RESPONSE"},
    {USER_ERR_SENSE_NO_MEDIUM, "Sense key : NO MEDIUM"},
    {USER_ERR_SENSE_BECOMING_READY, "Sense key : BECOMING READY"},
    {USER_ERR_SENSE_TRY_AGAIN, "Sense key : TRY AGAIN"},
    {USER_ERR_SENSE_MEDIUM_HARDWARE, "Sense key : MEDIUM or HARDWARE ERROR"},
    {USER_ERR_SENSE_ABORTED_COMMAND, "Sense key : ABORTED COMMAND"},
    {USER_ERR_SENSE_UNKNOWN, "Sense key : UNKNOWN"},
    {USER_ERR_ILLEGAL_PHYSICAL_DRIVE, "Current Physical Driver is Illegal"},
    {USER_ERR_QUERY_DRIVE_INFO, "Error Occured when query current physical drive's information"},
    {USER_ERR_FILE_NOT_EXIST, "File is not exist"},
    {USER_ERR_FILE_OPEN, "File can't be opened"},
    {USER_ERR_FILE_READ, "File Read Error"},
    {USER_ERR_FILE_WRITE, "File Write Error"},
    {USER_ERR_FILE_LENGTH, "File length is illegal"},
    {USER_ERR_ILLEGAL_REGS, "Regs value is illegal"},
    {USER_ERR_CMND_TYPE_SELECT, "Cmnd Type Select Error"},
    {USER_ERR_DATA_DIR_SELECT, "Data Dir Select Error"},
    {USER_ERR_ILLEGAL_FLASH_ADDRESS, "Value in Chan, Layer, Block or Page is illegal"},
    {USER_ERR_ILLEGAL_DIFF_OR_LENGTH, "Value in Diff or Length is illegal"},
    {USER_ERR_COM_MONITOR_THREAD, "COM Monitor Thread Error"},
    {USER_ERR_COM_NAK_RETRY, "Return value is NAK, Retry is asked"},
    {USER_ERR_COM_NOT_ACK_OR_NAK, "Return value is not ACK or NAK"},
    {USER_ERR_COM_FRAME_TOO_SHORT, "Frame size is less than the minimum size of COM Protocol"},
    {USER_ERR_COM_FRAME_TOO_LONG, "Frame size is larger than the maximum size of COM Protocol"},
    {USER_ERR_COM_FRAME_HEAD, "Frame head is not match with Protocol"},
    {USER_ERR_COM_FRAME_TAIL, "Frame tail is not match with Protocol"},
    {USER_ERR_COM_FRAME_COMMAND, "Frame command responsed is not match with command sended"},
    {USER_ERR_COM_FRAME_CHECKSUM, "Frame checksum error"},
    {USER_ERR_COM_RESPONSE_TIMEOUT, "Timeout for response"},
    {USER_ERR_COM_COMMAND_FAILED, "COM Command execute unsuccessfully"},
    {USER_ERR_INIT_TIMEOUT, "Timeout for QUMA Initialization"},
    {USER_ERR_BRIDGE_FW_DOWNLOAD, "Error occured when download bridge firmware"},
    {USER_ERR_INIT_FW_DOWNLOAD, "Error occured when download QUMA Init firmware"},
    {USER_ERR_EZUSB_READ, "Error occured when read from EzUSB device"},
    {USER_ERR_EZUSB_WRITE, "Error occured when write to EzUSB device"},
    {USER_ERR_EZUSB_COMMAND_FAILED, "EzUSB Command execute unsuccessfully"},
    {USER_ERR_DATA_COMPARE, "Data compared error"},
    {USER_ERR_DATA_COMPRESS, "Data compressed error"},
    {USER_ERR_DATA_DECOMPRESS, "Data decompressed error"},
};

} // namespace

void MsgProcessor::Init()
{
    for (const ErrRow& row : err_rows) {
        vec_err_str.push_back(USER_ERR_ITEM{row.code, row.text});
    }
    ZV_CHECK_EQ((unsigned int)USER_ERR_BUTT, (unsigned int)vec_err_str.size());
    for (unsigned int i = 0; i < vec_err_str.size(); i++) {
        ZV_CHECK_EQ((USER_ERR_CODE)i, vec_err_str[i].err_code);
    }
}

std::string MsgProcessor::GetErrStr(int code)
{
    for (const USER_ERR_ITEM& item : vec_err_str) {
        if (static_cast<int>(item.err_code) == code) {
            return item.err_str;
        }
    }
    return "Undefined User Err Code";
}
