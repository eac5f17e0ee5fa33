// Drives another program's dialogs from a script, for the Wine tests of the
// designer: tabs, edits, check boxes, buttons by caption, message boxes, the
// standard file dialogs, pop-up menus and list rows.
#pragma once

// testhost.exe --drive <script> <record> <program> [args...]
int RunDialogDriver(int argc, char** argv);
