// The emulator's trace: one text line per event the emulated drives saw, in order.
// Header-only so that end-to-end tests (which do not link the emulator) can read the
// trace file that a preloaded emulator wrote. Line forms (fields separated by one blank):
//   open <node> flags=<hex> [errno=<dec>]
//   close <node>
//   sgio <node> cdb=<HEX> dir=<none|out|in|inout|dec> len=<dec> timeout=<dec> sense=<dec>
//        [data=<HEX>] [errno=<dec>] [via=<answer>]
//   ioctl <node> req=<hex> [errno=<dec>]
//   mfi|mimd <node> req=<hex> cdb=<HEX> dir=<...> len=<dec> packet=<HEX> addr=<ok|bad>
//        [data=<HEX>] [errno=<dec>] [via=<answer>]
//   mknod <path> mode=<hex> dev=<major>:<minor> [errno=<dec>]
//   fopen <path>
// Every line may end with at=<ms>, the monotonic clock in milliseconds when the event
// happened (written to the trace file only when ZV_EMU_TRACE_TIME is set).
// HEX is a run of upper-case hex digit pairs without blanks; "data" holds the bytes sent to
// the drive; "via" names the fixture line that answered (information only). "mfi" and
// "mimd" are the MegaRAID controller requests (megaraid_sas and legacy driver): "packet" is
// the whole packet as the program passed it, its user addresses zeroed, and "addr" tells
// whether those addresses agreed with each other.
#ifndef ZV_EMU_TRACE_H
#define ZV_EMU_TRACE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace zvemu {

typedef std::vector<std::uint8_t> Bytes;

// Data directions, numbered as the SCSI generic driver numbers them.
enum TraceDir {
    TRACE_DIR_NONE = -1,
    TRACE_DIR_OUT = -2,
    TRACE_DIR_IN = -3,
    TRACE_DIR_INOUT = -4,
};

struct TraceEntry {
    std::string op;                // "open", "close", "sgio", "ioctl", "mfi", "mimd", "mknod", "fopen"
    std::string node;              // the path the program named
    int flags = 0;                 // open: the flags passed to open
    int err = 0;                   // errno the call failed with, 0 on success
    Bytes cdb;                     // sgio: the CDB bytes (cmd_len of them)
    int dir = TRACE_DIR_NONE;      // sgio: dxfer_direction
    std::uint32_t len = 0;         // sgio: dxfer_len
    std::uint32_t timeout = 0;     // sgio: time-out in milliseconds
    std::uint32_t sense_len = 0;   // sgio: mx_sb_len
    Bytes data;                    // sgio: the bytes sent to the drive
    unsigned long request = 0;     // ioctl, mfi, mimd: the request number
    std::string via;               // sgio, mfi, mimd: the answer that served it
    Bytes packet;                  // mfi, mimd: the packet, user addresses zeroed
    std::string addr;              // mfi, mimd: "ok" when its addresses agreed, else "bad"
    std::uint32_t mode = 0;        // mknod: the mode
    std::uint32_t major = 0;       // mknod: the device number
    std::uint32_t minor = 0;
    std::int64_t at_ms = -1;       // monotonic milliseconds of the event, -1 when unknown
};

// Bytes of a hex text; blanks, tabs, line ends and ':' between pairs are ignored.
// A character that is not a hex digit (or an odd digit count) ends the parse there.
inline Bytes Hex(const std::string& text)
{
    Bytes out;
    int hi = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ':') {
            continue;
        }
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else {
            break;
        }
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

inline std::string HexText(const std::uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; i++) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string HexText(const Bytes& b) { return HexText(b.data(), b.size()); }

inline std::string DirName(int dir)
{
    switch (dir) {
    case TRACE_DIR_NONE: return "none";
    case TRACE_DIR_OUT: return "out";
    case TRACE_DIR_IN: return "in";
    case TRACE_DIR_INOUT: return "inout";
    default: return std::to_string(dir);
    }
}

inline int DirOfName(const std::string& s)
{
    if (s == "none") return TRACE_DIR_NONE;
    if (s == "out") return TRACE_DIR_OUT;
    if (s == "in") return TRACE_DIR_IN;
    if (s == "inout") return TRACE_DIR_INOUT;
    return static_cast<int>(std::strtol(s.c_str(), nullptr, 10));
}

// The line of an entry; without "via" when with_via is false (for comparisons), with the
// time stamp only when with_time is true and the entry has one.
inline std::string FormatTraceLine(const TraceEntry& e, bool with_via = true, bool with_time = false)
{
    char num[32];
    std::string s = e.op + " " + e.node;
    if (e.op == "open") {
        snprintf(num, sizeof(num), "%x", static_cast<unsigned>(e.flags));
        s += std::string(" flags=") + num;
    } else if (e.op == "sgio") {
        s += " cdb=" + HexText(e.cdb) + " dir=" + DirName(e.dir) + " len=" + std::to_string(e.len) +
             " timeout=" + std::to_string(e.timeout) + " sense=" + std::to_string(e.sense_len);
        if (!e.data.empty()) {
            s += " data=" + HexText(e.data);
        }
    } else if (e.op == "ioctl") {
        snprintf(num, sizeof(num), "%lx", e.request);
        s += std::string(" req=") + num;
    } else if (e.op == "mfi" || e.op == "mimd") {
        snprintf(num, sizeof(num), "%lx", e.request);
        s += std::string(" req=") + num + " cdb=" + HexText(e.cdb) + " dir=" + DirName(e.dir) +
             " len=" + std::to_string(e.len) + " packet=" + HexText(e.packet) + " addr=" + e.addr;
        if (!e.data.empty()) {
            s += " data=" + HexText(e.data);
        }
    } else if (e.op == "mknod") {
        snprintf(num, sizeof(num), "%x", static_cast<unsigned>(e.mode));
        s += std::string(" mode=") + num + " dev=" + std::to_string(e.major) + ":" + std::to_string(e.minor);
    }
    if (e.err != 0) {
        s += " errno=" + std::to_string(e.err);
    }
    if (with_via && !e.via.empty()) {
        s += " via=" + e.via;
    }
    if (with_time && e.at_ms >= 0) {
        s += " at=" + std::to_string(e.at_ms);
    }
    return s;
}

// One line back into an entry; false for a line of no known form.
inline bool ParseTraceLine(const std::string& line, TraceEntry* e)
{
    std::istringstream in(line);
    TraceEntry r;
    if (!(in >> r.op >> r.node)) {
        return false;
    }
    if (r.op != "open" && r.op != "close" && r.op != "sgio" && r.op != "ioctl" && r.op != "mfi" && r.op != "mimd" &&
        r.op != "mknod" && r.op != "fopen") {
        return false;
    }
    std::string tok;
    while (in >> tok) {
        size_t eq = tok.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        std::string k = tok.substr(0, eq);
        std::string v = tok.substr(eq + 1);
        if (k == "flags") {
            r.flags = static_cast<int>(std::strtoul(v.c_str(), nullptr, 16));
        } else if (k == "errno") {
            r.err = static_cast<int>(std::strtol(v.c_str(), nullptr, 10));
        } else if (k == "cdb") {
            r.cdb = Hex(v);
        } else if (k == "dir") {
            r.dir = DirOfName(v);
        } else if (k == "len") {
            r.len = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
        } else if (k == "timeout") {
            r.timeout = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
        } else if (k == "sense") {
            r.sense_len = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
        } else if (k == "data") {
            r.data = Hex(v);
        } else if (k == "req") {
            r.request = std::strtoul(v.c_str(), nullptr, 16);
        } else if (k == "via") {
            r.via = v;
        } else if (k == "packet") {
            r.packet = Hex(v);
        } else if (k == "addr") {
            r.addr = v;
        } else if (k == "at") {
            r.at_ms = std::strtoll(v.c_str(), nullptr, 10);
        } else if (k == "mode") {
            r.mode = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 16));
        } else if (k == "dev") {
            size_t colon = v.find(':');
            if (colon == std::string::npos) {
                return false;
            }
            r.major = static_cast<std::uint32_t>(std::strtoul(v.substr(0, colon).c_str(), nullptr, 10));
            r.minor = static_cast<std::uint32_t>(std::strtoul(v.substr(colon + 1).c_str(), nullptr, 10));
        } else {
            return false;
        }
    }
    *e = r;
    return true;
}

// Every well-formed line of a trace file's text, in order.
inline std::vector<TraceEntry> ParseTrace(const std::string& text)
{
    std::vector<TraceEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        TraceEntry e;
        if (ParseTraceLine(line, &e)) {
            out.push_back(e);
        }
    }
    return out;
}

// The entries of one kind ("sgio" for the SCSI requests), optionally of one node.
inline std::vector<TraceEntry> Only(const std::vector<TraceEntry>& trace, const std::string& op,
                                    const std::string& node = "")
{
    std::vector<TraceEntry> out;
    for (const TraceEntry& e : trace) {
        if (e.op == op && (node.empty() || e.node == node)) {
            out.push_back(e);
        }
    }
    return out;
}

} // namespace zvemu

#endif
