// The setup wizard: one modal dialog (template 110) showing four pages in turn
// (welcome, licence, options, progress and finish) by hiding and showing its
// controls.  There is no Back: the user goes forward or cancels.
#pragma once

#include <windows.h>

// Handles WM_INITDIALOG and WM_COMMAND only and returns FALSE for every message,
// so the default dialog handling does the rest: a close request arrives as
// IDCANCEL, which ends the wizard only while the Cancel button is enabled.
INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the current page's controls, hides the others' and sets up the buttons.
void UpdateWizardPage(HWND dialog);
