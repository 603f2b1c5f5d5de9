// Drive selection: the list of the drives found and the operator's choice of one.
#ifndef ZV_DRIVE_SELECT_H
#define ZV_DRIVE_SELECT_H

// Lists the drives; with prompt 1 the user also chooses one into cur_disk.
// Ends the process when there is no drive (1) or the user quits at the prompt (0).
void listDrives(int prompt);

// Lists the drives and lets the operator choose one into cur_disk, which then becomes
// dev_name; quitting the choice ends the process.
void chooseDrive();

// chooseDrive, when no device is set.
void chooseDriveWhenNoDevice();

#endif
