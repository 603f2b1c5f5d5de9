// Interactive menus and drive selection.
#ifndef ZV_CMD_MENU_H
#define ZV_CMD_MENU_H

#include "common.h"
#include "cmd_wrap.h"

void listDrives(int prompt);
void showBasicInfo();
void showVersion();
// Runs the main menu of the current drive until the user quits.
[[noreturn]] void runMenuLoop();

#endif
