// Interactive menus.
#ifndef ZV_CMD_MENU_H
#define ZV_CMD_MENU_H

#include "common.h"
#include "front_state.h"

// One row of a menu. A row with a handler runs it; else a row of type TYPE_BUTT opens its
// submenu; else the row runs its command type through the command runner.
struct MenuItem {
    const char* name;
    CmdHandler handler;
    u32 type;
    const MenuItem* submenu;
    u32 submenu_count;
};

// Main menus of drives not linked as SCSI (ATA) and of SCSI-linked drives.
const u32 kAtaMainMenuCount = 7;
const u32 kScsiMainMenuCount = 8;
extern MenuItem ata_main_menu[kAtaMainMenuCount];
extern MenuItem scsi_main_menu[kScsiMainMenuCount];

// What readMenuSelection returns besides a row index from 0.
enum MenuChoice {
    MENU_QUIT = -7,
    MENU_TOGGLE_LOG = -6,
    MENU_BACK = -5,
    MENU_TOGGLE_SHOW = -4,
    MENU_TOGGLE_TEXT = -3,
    MENU_TOGGLE_BINARY = -2,
    MENU_INVALID = -1,
};

void showBasicInfo();
void showVersion();

// Whether a row of this type is shown for cur_disk's model family.
bool isMenuItemSupported(u32 type);
void showMenu(const MenuItem* menu, u32 count);
int readMenuSelection(const MenuItem* menu, u32 count);
void dispatchMenuItem(int choice, const MenuItem* menu);

// Fills bin_file_name and txt_file_name for a command row run on dev_name now.
void buildMenuOutputNames(const char* row_name);

// Runs the main menu of cur_disk's link type until the user quits.
[[noreturn]] void runMenuLoop();

#endif
