// The common file dialogs behind filechoose, replaceable so that a test can answer them.
#pragma once

#include <windows.h>
// The common dialogs' header needs windows.h first.
#include <commdlg.h>

// Shows the open (save false) or save dialog for the filled-in record; non-zero when the
// user chose a file, whose path is then in ofn->lpstrFile.
typedef BOOL (*file_dialog_function)(OPENFILENAMEW* ofn, bool save);

// Puts `fn` in place of the system's dialogs; null brings them back.
void windows_set_file_dialog(file_dialog_function fn);
