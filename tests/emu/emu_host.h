// Fixed host identity for tests: the host name and the IPv4 interfaces that the program
// reads for the header of its results. Unset, the real host answers.
//
// Preloaded, it is configured from the environment, read at first use:
//   ZV_EMU_HOST_NAME  the name gethostname returns
//   ZV_EMU_HOST_IFS   interfaces, separated by blanks: <name>:<dotted IPv4>[:<flag>,...]
//                     with the flags "up" and "loopback"; an empty value means none
// e.g. ZV_EMU_HOST_IFS="lo:127.0.0.1:up,loopback eth0:10.1.2.3:up eth1:10.9.9.9"
// SIOCGIFCONF then lists exactly these interfaces, and SIOCGIFFLAGS gives their flags.
#ifndef ZV_EMU_HOST_H
#define ZV_EMU_HOST_H

#include <string>
#include <vector>

namespace zvemu {

struct HostInterface {
    std::string name;    // at most 15 characters
    std::string ipv4;    // dotted decimal
    bool up = true;
    bool loopback = false;
};

// In-process control; these win over the environment until ClearHostIdentity.
void SetHostName(const std::string& name);
void SetHostInterfaces(const std::vector<HostInterface>& interfaces);
void ClearHostIdentity();
// Reads the two variables again (a malformed list stops the process with status 125).
void LoadHostIdentityFromEnvironment();

// The interface list of ZV_EMU_HOST_IFS; false (with the reason) for a malformed entry.
bool ParseHostInterfaces(const std::string& text, std::vector<HostInterface>* out, std::string* error);

// Called by the emulator's ioctl for every request on a descriptor it does not emulate:
// true when the request was answered here (its result in *rc).
bool HostIoctl(int fd, unsigned long request, void* arg, int* rc);

} // namespace zvemu

#endif
