// What a fixture says about the MegaRAID side of a node: a disk's SCSI address, or a
// controller's management node with its driver, host number and targets.
#ifndef ZV_EMU_MEGARAID_CONFIG_H
#define ZV_EMU_MEGARAID_CONFIG_H

#include <map>
#include <string>

namespace zvemu {

struct MegaRaidConfig {
    // A disk node: its answer to SCSI_IOCTL_GET_IDLUN.
    int scsi_host = 0;
    int idlun_errno = 0;

    // A controller node (kinds megaraid_sas and megadev).
    int host = 0;                           // host (adapter) number the requests must name
    int major = -1;                         // character major; -1: the kind's default
    bool listed = true;                     // it has a line in /proc/devices
    std::string chrdev;                     // the name of that line; "": the kind's default
    bool present = false;                   // the node exists before the run
    int mknod_errno = 0;                    // mknod of the node fails with it
    int ioctl_errno = 0;                    // every controller request fails with it
    std::map<int, std::string> targets;     // target id -> the fixture drive that answers for it

    // Run time: the node the program made.
    bool created = false;
    unsigned created_mode = 0;
    unsigned created_major = 0;
    unsigned created_minor = 0;
};

} // namespace zvemu

#endif
