#include "one_key_info.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmd_resp_log.h"
#include "disk_analyser.h"
#include "disk_cmnd.h"
#include "disk_info.h"
#include "drive_select.h"
#include "file_compressor.h"
#include "file_decompressor.h"
#include "file_utils.h"
#include "front_state.h"
#include "msg_processor.h"
#include "settings.h"
#include "workflow_common.h"

#define ONE_KEY_ROW(type, name) {type, 1, 1, {0, 0}, 0, 0, 1, 0, name}

const OneKeyInfoItem one_key_info_list[kOneKeyInfoItems] = {
    ONE_KEY_ROW(TYPE_IDENTIFY_DEVICE, "identify"),
    ONE_KEY_ROW(TYPE_SMART_ENABLE, "smt_enable"),
    ONE_KEY_ROW(TYPE_SMART_VALUE_THRES, "smt_value"),
    ONE_KEY_ROW(TYPE_SMART_THRESHOLD, "smt_thres"),
    ONE_KEY_ROW(TYPE_89H_DEVICE_VENDOR_LOG, "vendor_log"),
    ONE_KEY_ROW(TYPE_89H_DEVICE_ALL_VENDOR_LOG, "all_vendor_log"),
    ONE_KEY_ROW(TYPE_89H_FLAG_BLOCK_TABLE, "flag"),
    ONE_KEY_ROW(TYPE_89H_BLANK_BLOCK_TABLE, "blank_block"),
    ONE_KEY_ROW(TYPE_89H_SYSTEM_INDEX_TABLE, "system_index"),
    ONE_KEY_ROW(TYPE_89H_BAD_BLOCK_TABLE, "bad_block"),
    ONE_KEY_ROW(TYPE_89H_WEAR_LEVEL_TABLE, "wear_level"),
    ONE_KEY_ROW(TYPE_SMART_PEND_LIST, "smt_pendlist"),
};

#undef ONE_KEY_ROW

const char* parse_file_name = nullptr;
const char* parse_dir_name = nullptr;

namespace {

const u32 kItemSize = sizeof(OneKeyInfoItem);
const u32 kCompressLevel = 4;
const u32 kSmartHalf = 512;

// The parser's context drive until an IDENTIFY item replaces it.
const char kParseContextModel[] = "QUMA-K4410TR0100";
const u32 kParseContextOptions = 0x100;  // decode mode 1, drive order

u32 Hex32(int code) { return static_cast<u32>(code); }

void PrintFileError(const char* format, int user_err)
{
    printf(format, msg_indent, Hex32(user_err), MsgProcessor::GetErrStr(user_err).c_str());
}

bool DirExists(const char* path)
{
    DIR* dir = opendir(path);
    if (dir == nullptr) {
        return false;
    }
    closedir(dir);
    return true;
}

void Mask(u8* data, u32 len)
{
    for (u32 i = 0; i < len; i++) {
        data[i] ^= kOneKeyInfoMask;
    }
}

// A drive's model or serial number becomes part of a file name: a slash in it must not
// turn into a directory.
std::string FileNamePart(const std::string& s)
{
    std::string out = s;
    for (char& c : out) {
        if (c == '/') {
            c = '_';
        }
    }
    return out;
}

// ------------------------------------------------------------------ collection

// Runs one row on the current drive into *item; the answer stays in data_buf.
void ReadItem(const OneKeyInfoItem& row, OneKeyInfoItem* item)
{
    *item = row;
    int user_err = 0;
    int sys_err = 0;
    u32 len = item->data_len;
    bool asked = DiskCmnd::GetDataLen(static_cast<int>(row.type), &cur_disk, &len, &user_err, &sys_err);
    if (asked && len > OneKeyItemMaxLen(row.type)) {
        // Beyond any real table: nothing is read, and the file stays within what the parser takes.
        asked = false;
        user_err = USER_ERR_ILLEGAL_DIFF_OR_LENGTH;
        sys_err = 0;
    }
    item->data_len = len;
    item->query_data_len = asked ? 1 : 0;
    item->query_data = 0;
    if (asked) {
        allocDataBuf(len);
        if (len > 0 && data_buf == nullptr) {
            // No buffer for the answer: the read is not sent rather than sent into nothing.
            user_err = USER_ERR_ILLEGAL_POINTER;
            sys_err = ENOMEM;
        } else {
            bool ok = DiskCmnd::Execute(static_cast<int>(row.type), &cur_disk, data_buf, data_len, &user_err, &sys_err);
            item->query_data = ok ? 1 : 0;
        }
    }
    item->user_err_code = Hex32(user_err);
    item->sys_err_code = Hex32(sys_err);
}

// Appends every item to the temporary file, held open from the first item to the
// compression; false after a failed append.
bool CollectItems(FILE* tmp)
{
    for (const OneKeyInfoItem& row : one_key_info_list) {
        OneKeyInfoItem item;
        ReadItem(row, &item);
        bool ok = fwrite(&item, 1, kItemSize, tmp) == kItemSize;
        if (ok && item.query_data == 1 && item.data_len > 0) {
            ok = fwrite(data_buf, 1, item.data_len, tmp) == item.data_len;
        }
        // A full disk shows at the item it stops, not only at the end.
        if (!ok || fflush(tmp) != 0) {
            PrintFileError("%swrite cache file failed, User Err Coode [%08Xh:%s]\n", USER_ERR_FILE_WRITE);
            return false;
        }
    }
    return true;
}

// Compresses the temporary file and masks the container; it takes the output name only
// then, so that name never holds anything but a whole masked container. False after a failure.
bool PackOutput(FILE* tmp, const std::string& out_name)
{
    OutputFile out;
    int file_err = 0;
    FileCompressor compressor;
    compressor.Init();
    compressor.SetInMemory(0);
    compressor.SetOutMemory(0);
    compressor.SetInStream(tmp);
    compressor.SetLevel(kCompressLevel);
    bool ok = out.Open(out_name.c_str(), "wb", &file_err);
    if (ok) {
        compressor.SetOutStream(out.Stream());
        ok = compressor.Compress() == 0;
    }
    if (!ok) {
        printf("%serror occured when compress file\n", msg_indent);
        return false;
    }

    FILE* f = out.Stream();
    const u32 len = compressor.GetOutSize();
    allocDataBuf(len);
    if (data_buf == nullptr || fseek(f, 0, SEEK_SET) != 0 || fread(data_buf, 1, len, f) != len) {
        PrintFileError("%sRead cache file failed, User Err Code [%08Xh:%s]\n", USER_ERR_FILE_READ);
        return false;
    }
    Mask(data_buf, len);
    ok = fseek(f, 0, SEEK_SET) == 0 && fwrite(data_buf, 1, len, f) == len;
    if (!ok) {
        file_err = USER_ERR_FILE_WRITE;
    }
    if (!ok || !out.Commit(&file_err)) {
        printf("%sdata can't be saved to %s, User Err Coode [%08Xh:%s]\n", msg_indent, out_name.c_str(),
               Hex32(file_err), MsgProcessor::GetErrStr(file_err).c_str());
        return false;
    }
    printf("%sall information has been saved to %s\n", msg_indent, out_name.c_str());
    return true;
}

// Also after a failure: a later request builds its own name.
void EndCollection()
{
    freeDataBuf();
    memset(bin_file_name, 0, sizeof(bin_file_name));
    CmdRespLog::GetInstance()->Flush();
}

// ------------------------------------------------------------------ parser

// A heap buffer that is released on every way out of the parser.
struct HeapBytes {
    u8* data = nullptr;
    u32 len = 0;

    HeapBytes() = default;
    HeapBytes(const HeapBytes&) = delete;
    HeapBytes& operator=(const HeapBytes&) = delete;
    ~HeapBytes() { free(data); }

    void Release()
    {
        free(data);
        data = nullptr;
        len = 0;
    }
};

// Reads a whole file; a failed allocation reaches ReadFileData as a null buffer and is
// reported as its error.
bool ReadWholeFile(const std::string& path, const char* read_failed_format, HeapBytes* out)
{
    u32 len = 0;
    int file_err = 0;
    if (!GetFileLen(path.c_str(), &len, &file_err)) {
        PrintFileError("%sGet file length failed, User Err Code [%08Xh:%s]\n", file_err);
        return false;
    }
    out->Release();
    // One byte more than asked: an empty file still gets a buffer.
    out->data = static_cast<u8*>(malloc(static_cast<size_t>(len) + 1));
    out->len = len;
    if (!ReadFileData(path.c_str(), out->data, len, &file_err)) {
        PrintFileError(read_failed_format, file_err);
        return false;
    }
    return true;
}

void PrintUserErr(int user_err)
{
    printf("%sUser Err Code [%08Xh:%s]\n", msg_indent, Hex32(user_err), MsgProcessor::GetErrStr(user_err).c_str());
}

// An item name becomes a file name inside the output directory: it must be terminated
// within its field and must not leave the directory.
bool IsUsableItemName(const char* name, size_t field_size)
{
    const void* end = memchr(name, '\0', field_size);
    if (end == nullptr || name[0] == '\0' || strchr(name, '/') != nullptr) {
        return false;
    }
    return strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

struct ParseState {
    std::string dir;
    bool sorted_logs;
    DiskInfo context;
    u32 options;
    u8 smart[2 * kSmartHalf];
    bool have_value;
    bool have_thres;
};

bool WriteOut(const std::string& path, const void* data, u32 len, const char* mode)
{
    int file_err = 0;
    if (!WriteFileData(path.c_str(), data, len, mode, &file_err)) {
        PrintFileError("%s Write bin file failed, User Err Code [%08Xh:%s]\n", file_err);
        return false;
    }
    return true;
}

bool WriteText(const std::string& path, const std::string& text)
{
    return WriteOut(path, text.c_str(), static_cast<u32>(text.size()), "wt");
}

bool IsVendorLogType(u32 type)
{
    return type == TYPE_SMART_DEVICE_VENDOR_SPECIFIC || type == TYPE_89H_DEVICE_VENDOR_LOG ||
           type == TYPE_89H_DEVICE_ALL_VENDOR_LOG;
}

// Decodes one item's data and writes its text; false ends the walk.
bool DecodeItem(ParseState* st, const OneKeyInfoItem& item, const u8* data, const std::string& base)
{
    const u32 type = item.type;
    const u32 len = item.data_len;
    int user_err = 0;
    std::string text;
    if (type >= TYPE_BUTT) {
        // No such command type, so no decoder either.
        return false;
    }
    if (type == TYPE_IDENTIFY_DEVICE) {
        if (!st->context.FillFromIdentify(data, len)) {
            puts("    Parse identify failed.");
            return false;
        }
        st->options = (st->context.smart_ver << 8) & 0xFF00;
        if (!DiskAnalyser::Analyse(text, TYPE_IDENTIFY_DEVICE, data, len, &user_err, 0, &st->context)) {
            return false;
        }
        return WriteText(base + ".txt", text);
    }
    if (type == TYPE_SMART_VALUE_THRES || type == TYPE_SMART_THRESHOLD) {
        const bool value = type == TYPE_SMART_VALUE_THRES;
        memcpy(st->smart + (value ? 0 : kSmartHalf), data, len < kSmartHalf ? len : kSmartHalf);
        (value ? st->have_value : st->have_thres) = true;
        if (!st->have_value || !st->have_thres) {
            return true;
        }
        if (!WriteOut(st->dir + "/smart.bin", st->smart, sizeof(st->smart), "wb")) {
            return false;
        }
        if (!DiskAnalyser::Analyse(text, TYPE_SMART_VALUE_THRES, st->smart, sizeof(st->smart), &user_err, 0,
                                   &st->context)) {
            return false;
        }
        return WriteText(st->dir + "/smart.txt", text);
    }
    void* ctx = &st->context;
    if (IsVendorLogType(type)) {
        if (st->sorted_logs) {
            st->options = ((st->context.smart_ver << 8) & 0xFF00) | 1;
        }
        ctx = &st->options;
    }
    if (!DiskAnalyser::Analyse(text, static_cast<CMND_TYPE>(type), data, len, &user_err, 0, ctx)) {
        return false;
    }
    return WriteText(base + ".txt", text);
}

// Splits the plain form into per-item files.
void WalkItems(ParseState* st, const u8* buf, u32 len)
{
    u64 off = 0;
    for (;;) {
        if (len - off < kItemSize) {
            PrintUserErr(USER_ERR_FILE_LENGTH);
            return;
        }
        OneKeyInfoItem item;
        memcpy(&item, buf + off, kItemSize);
        off += kItemSize;
        const bool has_data = item.query_data == 1 && item.data_len > 0;
        if (has_data && item.data_len > len - off) {
            PrintUserErr(USER_ERR_FILE_LENGTH);
            return;
        }
        if (!IsUsableItemName(item.name, sizeof(item.name))) {
            PrintUserErr(USER_ERR_ILLEGAL_PARAM);
            return;
        }
        const std::string base = st->dir + "/" + item.name;
        const bool both = item.query_data_len == 1 && item.query_data == 1;
        if (both && item.data_len > 0) {
            const u8* data = buf + off;
            if (!WriteOut(base + ".bin", data, item.data_len, "wb") || !DecodeItem(st, item, data, base)) {
                return;
            }
        } else if (both) {
            if (item.type != TYPE_SMART_ENABLE && !WriteText(base + ".txt", "data length is 0")) {
                return;
            }
        } else {
            char line[256];
            snprintf(line, sizeof(line),
                     "TYPE:%u  QueryDataLen:%u  QueryData:%u  UserErrCode:%08Xh[%s]  SystemErrCode:%08Xh", item.type,
                     item.query_data_len, item.query_data, item.user_err_code,
                     MsgProcessor::GetErrStr(static_cast<int>(item.user_err_code)).c_str(), item.sys_err_code);
            if (!WriteText(base + ".txt", line)) {
                return;
            }
        }
        if (has_data) {
            off += item.data_len;
        }
        if (off == len) {
            puts("Parse One-Key Information successfully");
            return;
        }
    }
}

void ParseOneKeyInfo(bool sorted_logs)
{
    if (parse_file_name == nullptr || parse_file_name[0] == '\0') {
        printf("%splease specify one-key-info file", msg_indent);
        return;
    }
    if (parse_dir_name == nullptr || parse_dir_name[0] == '\0') {
        printf("%splease specify directory", msg_indent);
        return;
    }
    ParseState st;
    st.dir = parse_dir_name;
    st.sorted_logs = sorted_logs;
    st.context.model = kParseContextModel;
    st.context.smart_ver = VER_K4410;
    st.options = kParseContextOptions;
    memset(st.smart, 0, sizeof(st.smart));
    st.have_value = false;
    st.have_thres = false;

    const std::string decode_name = st.dir + "/_decode.bin";
    const std::string parsed_name = st.dir + "/_parsed.bin";
    HeapBytes file;
    if (!ReadWholeFile(parse_file_name, "%sRead bin file failed, User Err Code [%08Xh:%s]\n", &file)) {
        return;
    }
    Mask(file.data, file.len);
    // A few megabytes can state gigabytes; what no collection writes is not expanded.
    FileDecompressor probe;
    probe.SetInMemory(1);
    probe.SetInData(file.data, file.len);
    const u32 stated = probe.GetOrigSize();
    const u64 max_len = OneKeyInfoFileMaxLen();
    if (stated > max_len) {
        printf("%sone-key-info file states %u bytes, more than a collection can hold (%llu), User Err Code "
               "[%08Xh:%s]\n",
               msg_indent, stated, static_cast<unsigned long long>(max_len), Hex32(USER_ERR_FILE_LENGTH),
               MsgProcessor::GetErrStr(USER_ERR_FILE_LENGTH).c_str());
        return;
    }
    // Made only for a file that is parsed: a refused one leaves nothing behind.
    if (!DirExists(st.dir.c_str()) && mkdir(st.dir.c_str(), 0775) != 0) {
        printf("%scannot create directory '%s'\n", msg_indent, st.dir.c_str());
        return;
    }
    int file_err = 0;
    if (!WriteFileData(decode_name.c_str(), file.data, file.len, "wb", &file_err)) {
        printf("%sdata can't be saved to %s, User Err Coode [%08Xh:%s]\n", msg_indent, decode_name.c_str(),
               Hex32(file_err), MsgProcessor::GetErrStr(file_err).c_str());
        return;
    }
    file.Release();

    // The plain form is whole under its name or not there.
    OutputFile parsed;
    FileDecompressor decompressor;
    decompressor.Init();
    decompressor.SetInMemory(0);
    decompressor.SetOutMemory(0);
    decompressor.SetInPath(decode_name.c_str());
    bool ok = parsed.Open(parsed_name.c_str(), "wb", &file_err);
    if (ok) {
        decompressor.SetOutStream(parsed.Stream());
        ok = decompressor.Decompress() == 0 && parsed.Commit(&file_err);
    }
    if (!ok) {
        puts("Decompress unsuccessfully");
        return;
    }

    if (!ReadWholeFile(parsed_name, "%s Read bin file failed, User Err Code [%08Xh:%s]\n", &file)) {
        return;
    }
    if (file.len < kItemSize) {
        PrintUserErr(USER_ERR_FILE_LENGTH);
        return;
    }
    WalkItems(&st, file.data, file.len);
}

} // namespace

u32 OneKeyItemMaxLen(u32 type)
{
    const CmndLenFun fixed = type < TYPE_BUTT ? cmnd_func_list[type].fun_len : nullptr;
    if (fixed != nullptr) {
        return fixed();
    }
    // The drive states the length: a u32 count of sectors for the 89h reads (up to
    // 4 GiB), the u16 sector count of log B0h in its log directory for the pending
    // list (just under 32 MiB). Real answers stay far below the cap: the largest block
    // table, the wear levels of 8 layers x 16 channels x 8192 blocks, is 8 MiB, the
    // largest vendor log about 15 MB.
    return kOneKeyAskedMaxLen;
}

u64 OneKeyInfoFileMaxLen()
{
    u64 total = 0;
    for (const OneKeyInfoItem& row : one_key_info_list) {
        total += kItemSize + static_cast<u64>(OneKeyItemMaxLen(row.type));
    }
    return total;
}

void collectOneKeyInfo()
{
    if (cur_disk.link_type == LINK_SCSI) {
        printf("%scan't support one-key-info funtion", msg_indent);
        return;
    }
    if (dev_name == nullptr || dev_name[0] == '\0') {
        chooseDriveWhenNoDevice();
        // The drive chosen now is held to the same rule.
        if (cur_disk.link_type == LINK_SCSI) {
            printf("%scan't support one-key-info funtion", msg_indent);
            return;
        }
    }

    std::string out_name;
    if (bin_file_name[0] != '\0') {
        out_name.assign(bin_file_name, strnlen(bin_file_name, sizeof(bin_file_name)));
    } else {
        out_name = "all_info_" + FileNamePart(cur_disk.model) + "_" + FileNamePart(cur_disk.serial) + ".bin";
        printf("%sall informations will be saved to file %s\n", msg_indent, out_name.c_str());
    }
    if (UseLogDir()) {
        out_name = "SSDlog/" + out_name;
    }
    const std::string tmp_name = out_name + "_tmp";
    // Both names are the program's own: a link, FIFO or device under either is refused
    // before anything is read. An older output, and the plain form an older failed collection left,
    // stay until this collection is saved.
    int file_err = 0;
    const bool out_ok = IsWritableName(out_name.c_str(), &file_err);
    if (!out_ok || !IsWritableName(tmp_name.c_str(), &file_err)) {
        const std::string& bad = out_ok ? tmp_name : out_name;
        printf("%sdata can't be saved to %s, User Err Coode [%08Xh:%s]\n", msg_indent, bad.c_str(),
               Hex32(file_err), MsgProcessor::GetErrStr(file_err).c_str());
        EndCollection();
        return;
    }
    printf("%splease be patient as this process may take a moment\n", msg_indent);
    fflush(stdout);
    // One descriptor from the first item to the compression: the file has no name while it
    // is written (or one that nobody else can have made), so no other run can empty or
    // remove it. It takes the temporary name only when the collection fails, for the operator.
    OutputFile tmp;
    // What it holds is what the output holds, unmasked: it is no wider than the output.
    if (!tmp.Open(tmp_name.c_str(), "wb", &file_err, out_name.c_str())) {
        PrintFileError("%swrite cache file failed, User Err Coode [%08Xh:%s]\n", file_err);
    } else if (CollectItems(tmp.Stream()) && PackOutput(tmp.Stream(), out_name)) {
        tmp.Discard();
        // The plain form of an earlier failed collection goes only now that this one is saved.
        RemoveRegularFile(tmp_name.c_str());
    } else {
        tmp.Commit(nullptr);
    }
    EndCollection();
}

void parseOneKeyInfoFile() { ParseOneKeyInfo(false); }

void parseOneKeyInfoFileEx() { ParseOneKeyInfo(true); }
