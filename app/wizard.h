// The setup wizard: one modal dialog (template 110) showing four pages in turn.
#pragma once

#include <windows.h>

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
