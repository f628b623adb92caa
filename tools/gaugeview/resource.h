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
#define ID_FILE_SAVE_PANEL 1006
#define ID_FILE_SAVE_PANEL_AS 1007
#define ID_ZOOM_IN 1101
#define ID_ZOOM_OUT 1102
#define ID_ZOOM_ACTUAL 1103
#define ID_RUN_PAUSE 1201
#define ID_RUN_STEP 1202
#define ID_HELP_ABOUT 1301
#define ID_EDIT_LAYOUT 1401
#define ID_EDIT_UNDO 1402
#define ID_EDIT_REDO 1403
#define ID_EDIT_BRING_FORWARD 1404
#define ID_EDIT_SEND_BACKWARD 1405
#define ID_EDIT_ADD_GAUGE 1406
#define ID_EDIT_DELETE 1407
#define ID_EDIT_WINDOW_PROPERTIES 1408
// A panel.cfg's windows: ID_WINDOW_FIRST + their index.
#define ID_WINDOW_FIRST 2000
#define ID_WINDOW_LAST 2999
// The window list of the top strip.
#define ID_WINDOW_LIST 3001

// The dialogs and their controls.
#define IDD_ADD_GAUGE 200
#define IDD_WINDOW_PROPERTIES 201
#define IDD_NEW_WINDOW 202
#define IDD_UNSAVED 203
#define IDD_CHANGED_ON_DISK 204
#define IDC_MESSAGE 4001
#define IDC_GAUGE_NAME 4002
#define IDC_GAUGE_LIST 4003
#define IDC_TITLE 4010
#define IDC_BACKGROUND 4011
#define IDC_SIZE_MM 4012
#define IDC_VISIBLE 4013
#define IDC_IDENT 4014
#define IDC_POSITION 4015
#define IDC_ADD_WINDOW 4016
#define IDC_REMOVE_WINDOW 4017
#define IDC_DISCARD 4018
