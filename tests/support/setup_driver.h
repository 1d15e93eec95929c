// Driving the built setup program: starting it, finding the wizard and its
// questions.  Shared by the end-to-end tests and the walkthrough of ./dev run.
#pragma once

#include "tests/support/ui_driver.h"

#include <string>

// The built setup program, as a Windows path.
std::string SetupProgramPath();

// Starts the setup program.  With a file name, a copy of it under that name in
// a scratch folder is started instead (the program's behaviour depends on it).
ui::Process StartSetup(const std::string& copyName = "");

// The wizard: a #32770 dialog titled "VEK Lumovara Remote Setup" holding the heading 1000.
bool IsWizard(HWND window);

// What the setup program shows first: the wizard or a message box (null both on timeout).
struct FirstWindow {
    HWND wizard = nullptr;
    ui::MessageBoxInfo box;
};
FirstWindow WaitForWizardOrMessageBox(DWORD processId, DWORD timeoutMs = ui::kDefaultTimeoutMs);

// Waits for the wizard alone, past any message box; null on timeout.
HWND WaitForWizard(DWORD processId, DWORD timeoutMs = ui::kDefaultTimeoutMs);

// Waits until the wizard's installation has ended: IDOK reads "Finish" and is enabled.
bool WaitForFinishButton(HWND wizard, DWORD timeoutMs = ui::kDefaultTimeoutMs);

// Ends a setup program a test no longer needs: Cancel on the wizard, else termination.
void CloseSetup(ui::Process& setup);

// Walks a freshly started wizard from the welcome page to the options page
// (Next, accept the licence, Next).  The wizard, or null when a step failed.
HWND WalkToOptionsPage(const ui::Process& setup);

// Sets a check box of the wizard the way a user does, by clicking it.
bool SetCheckBox(HWND wizard, int controlId, bool checked);

// Presses Install and waits for the finish page (IDOK reads "Finish" and is enabled).
bool InstallAndWaitForFinish(HWND wizard, DWORD timeoutMs = 120000);

// Presses Finish and waits for the program to end; its exit code, or -1.
long FinishAndWaitForExit(HWND wizard, const ui::Process& setup);
