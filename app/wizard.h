// The setup wizard: one modal dialog (template 110) showing four pages in turn
// (welcome, licence, options, progress and finish) by hiding and showing its
// controls.  There is no Back: the user goes forward or cancels.
#pragma once

#include <windows.h>

#include "app/command_line.h"

// What the wizard is started with, and what it ends with.
struct WizardRun {
    SetupMode mode = SetupMode::kInteractive;  // kPassive: the progress page only, closing itself
    InstallOptions options;                    // the boxes as they start
    int exitCode = 0;                          // the dialog's result, too
};

// Started with a WizardRun as its parameter.  Handles WM_INITDIALOG,
// WM_COMMAND and the end of the installation, and returns FALSE for every message,
// so the default dialog handling does the rest: a close request arrives as
// IDCANCEL, which ends the wizard only while the Cancel button is enabled.
INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the current page's controls, hides the others' and sets up the buttons.
void UpdateWizardPage(HWND dialog);
