// The ids of gaugeview's resources and commands: the menu, the accelerators
// and the buttons all send these.
#pragma once

#define IDR_MENU 100
#define IDR_ACCELERATORS 101

#define ID_FILE_OPEN 1001
#define ID_FILE_RELOAD 1002
#define ID_FILE_SAVE_PICTURE 1003
#define ID_FILE_SAVE_SCENARIO 1004
#define ID_FILE_QUIT 1005
#define ID_ZOOM_IN 1101
#define ID_ZOOM_OUT 1102
#define ID_ZOOM_ACTUAL 1103
#define ID_RUN_PAUSE 1201
#define ID_RUN_STEP 1202
#define ID_HELP_ABOUT 1301
// A panel.cfg's windows: ID_WINDOW_FIRST + their index.
#define ID_WINDOW_FIRST 2000
#define ID_WINDOW_LAST 2999
// The window list of the top strip.
#define ID_WINDOW_LIST 3001
