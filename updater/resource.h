// Resource identifiers of update.exe.
#pragma once

#define IDI_UPDATE 128
#define IDB_ICON_STRIP 129
#define POPMENU 139
#define ID_SHOW_MAIN_WINDOW 32771
#define ID_APP_EXIT 57665
#define IDS_APP_TITLE 57344
