// Fixed host identity: gethostname and the interface list of SIOCGIFCONF/SIOCGIFFLAGS.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "emu_host.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <errno.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zvemu {

namespace {

struct HostState {
    bool env_read = false;
    bool has_name = false;
    std::string name;
    bool has_interfaces = false;
    std::vector<HostInterface> interfaces;
};

// Never destroyed: interposed calls may come after static destructors.
HostState& Host()
{
    static HostState* h = new HostState();
    return *h;
}

[[noreturn]] void Fatal(const std::string& msg)
{
    std::string line = "zvemu: " + msg + "\n";
    ssize_t rc = write(2, line.data(), line.size());
    (void)rc;
    _exit(125);
}

void ReadEnvironment(HostState* h)
{
    h->env_read = true;
    int saved = errno;
    const char* name = getenv("ZV_EMU_HOST_NAME");
    h->has_name = name != nullptr;
    h->name = name != nullptr ? name : "";
    const char* ifs = getenv("ZV_EMU_HOST_IFS");
    h->has_interfaces = ifs != nullptr;
    h->interfaces.clear();
    if (ifs != nullptr) {
        std::string err;
        if (!ParseHostInterfaces(ifs, &h->interfaces, &err)) {
            Fatal("ZV_EMU_HOST_IFS: " + err);
        }
    }
    errno = saved;
}

HostState& Configured()
{
    HostState& h = Host();
    if (!h.env_read) {
        ReadEnvironment(&h);
    }
    return h;
}

// Read at load time, so that a malformed setting stops the run before the program starts.
__attribute__((constructor)) void ConfigureHostAtLoad() { Configured(); }

const HostInterface* FindInterface(const HostState& h, const char* name)
{
    for (const HostInterface& i : h.interfaces) {
        if (strncmp(i.name.c_str(), name, IFNAMSIZ) == 0) {
            return &i;
        }
    }
    return nullptr;
}

int ListInterfaces(const HostState& h, struct ifconf* conf)
{
    if (conf->ifc_buf == nullptr) {
        conf->ifc_len = static_cast<int>(h.interfaces.size() * sizeof(struct ifreq));
        return 0;
    }
    size_t room = conf->ifc_len > 0 ? static_cast<size_t>(conf->ifc_len) / sizeof(struct ifreq) : 0;
    size_t n = 0;
    for (; n < h.interfaces.size() && n < room; n++) {
        struct ifreq entry;
        memset(&entry, 0, sizeof(entry));
        strncpy(entry.ifr_name, h.interfaces[n].name.c_str(), IFNAMSIZ - 1);
        struct sockaddr_in addr;
        memset(&addr, 0, sizeof(addr));
        addr.sin_family = AF_INET;
        inet_pton(AF_INET, h.interfaces[n].ipv4.c_str(), &addr.sin_addr);
        memcpy(&entry.ifr_addr, &addr, sizeof(addr));
        memcpy(conf->ifc_buf + n * sizeof(struct ifreq), &entry, sizeof(entry));
    }
    conf->ifc_len = static_cast<int>(n * sizeof(struct ifreq));
    return 0;
}

} // namespace

void SetHostName(const std::string& name)
{
    HostState& h = Configured();
    h.has_name = true;
    h.name = name;
}

void SetHostInterfaces(const std::vector<HostInterface>& interfaces)
{
    HostState& h = Configured();
    h.has_interfaces = true;
    h.interfaces = interfaces;
}

void LoadHostIdentityFromEnvironment() { ReadEnvironment(&Host()); }

void ClearHostIdentity()
{
    HostState& h = Configured();
    h.has_name = false;
    h.name.clear();
    h.has_interfaces = false;
    h.interfaces.clear();
}

bool ParseHostInterfaces(const std::string& text, std::vector<HostInterface>* out, std::string* error)
{
    std::vector<HostInterface> list;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            pos++;
            continue;
        }
        size_t end = text.find(' ', pos);
        std::string item = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end;

        HostInterface i;
        i.up = false;
        size_t c1 = item.find(':');
        size_t c2 = c1 == std::string::npos ? std::string::npos : item.find(':', c1 + 1);
        i.name = item.substr(0, c1);
        i.ipv4 = c1 == std::string::npos ? "" : item.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
        struct in_addr probe;
        if (i.name.empty() || i.name.size() >= IFNAMSIZ || inet_pton(AF_INET, i.ipv4.c_str(), &probe) != 1) {
            *error = "bad interface \"" + item + "\" (name:address[:up,loopback])";
            return false;
        }
        std::string flags = c2 == std::string::npos ? "" : item.substr(c2 + 1) + ",";
        size_t f = 0;
        while (f < flags.size()) {
            size_t comma = flags.find(',', f);
            std::string flag = flags.substr(f, comma - f);
            if (flag == "up") {
                i.up = true;
            } else if (flag == "loopback") {
                i.loopback = true;
            } else if (!flag.empty()) {
                *error = "unknown interface flag \"" + flag + "\"";
                return false;
            }
            f = comma + 1;
        }
        list.push_back(i);
    }
    *out = list;
    return true;
}

bool HostIoctl(int /*fd*/, unsigned long request, void* arg, int* rc)
{
    HostState& h = Configured();
    if (!h.has_interfaces || arg == nullptr) {
        return false;
    }
    if (request == SIOCGIFCONF) {
        *rc = ListInterfaces(h, static_cast<struct ifconf*>(arg));
        return true;
    }
    if (request == SIOCGIFFLAGS) {
        struct ifreq* req = static_cast<struct ifreq*>(arg);
        const HostInterface* i = FindInterface(h, req->ifr_name);
        if (i == nullptr) {
            errno = ENODEV;
            *rc = -1;
            return true;
        }
        req->ifr_flags = static_cast<short>((i->up ? IFF_UP : 0) | (i->loopback ? IFF_LOOPBACK : 0));
        *rc = 0;
        return true;
    }
    return false;
}

} // namespace zvemu

extern "C" int gethostname(char* name, size_t len) __THROW
{
    zvemu::HostState& h = zvemu::Configured();
    if (!h.has_name) {
        static auto real = reinterpret_cast<int (*)(char*, size_t)>(dlsym(RTLD_NEXT, "gethostname"));
        if (real == nullptr) {
            errno = ENOSYS;
            return -1;
        }
        return real(name, len);
    }
    // As the C library does: a name that does not fit is cut and reported.
    size_t n = h.name.size() + 1;
    memcpy(name, h.name.c_str(), n <= len ? n : len);
    if (n > len) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}
