#include "tests/support/setup_driver.h"

#include "resources/resource.h"
#include "tests/support/test_paths.h"

std::string SetupProgramPath()
{
    return BuildPath("LumovaraSetup.exe");
}

ui::Process StartSetup(const std::string& copyName)
{
    if (copyName.empty())
        return ui::Start(SetupProgramPath());
    std::string folder = MakeScratchFolder("setup-copy");
    std::string copy = folder + "\\" + copyName;
    if (!CopyFileA(SetupProgramPath().c_str(), copy.c_str(), FALSE))
        return ui::Process();
    return ui::Start(copy);
}

bool IsWizard(HWND window)
{
    return window != nullptr && !ui::IsMessageBox(window) &&
           ui::WindowText(window) == "VEK Lumovara Remote Setup" &&
           GetDlgItem(window, IDC_HEADING) != nullptr;
}

FirstWindow WaitForWizardOrMessageBox(DWORD processId, DWORD timeoutMs)
{
    FirstWindow first;
    ui::WaitUntil(
        [&] {
            for (HWND window : ui::FindTopLevelWindows(processId, "#32770", nullptr)) {
                if (!IsWindowVisible(window))
                    continue;
                if (ui::IsMessageBox(window)) {
                    first.box.window = window;
                    first.box.title = ui::WindowText(window);
                    first.box.text = ui::ControlText(window, 0xFFFF);
                    return true;
                }
                if (IsWizard(window)) {
                    first.wizard = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return first;
}

HWND WaitForWizard(DWORD processId, DWORD timeoutMs)
{
    // Only the wizard counts: a question just answered may still be on screen.
    HWND wizard = nullptr;
    ui::WaitUntil(
        [&] {
            for (HWND window : ui::FindTopLevelWindows(processId, "#32770", nullptr)) {
                if (IsWindowVisible(window) && IsWizard(window)) {
                    wizard = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return wizard;
}

bool WaitForFinishButton(HWND wizard, DWORD timeoutMs)
{
    return ui::WaitUntil(
        [&] { return ui::ControlText(wizard, IDOK) == "Finish" && ui::ControlEnabled(wizard, IDOK); },
        timeoutMs);
}

void CloseSetup(ui::Process& setup)
{
    if (!setup.Running())
        return;
    for (HWND window : ui::FindTopLevelWindows(setup.id(), "#32770", nullptr)) {
        if (IsWizard(window) && ui::ControlEnabled(window, IDCANCEL))
            ui::Click(window, IDCANCEL);
    }
    if (!setup.WaitForExit(5000))
        setup.Kill();
}

HWND WalkToOptionsPage(const ui::Process& setup)
{
    HWND wizard = WaitForWizard(setup.id());
    if (wizard == nullptr)
        return nullptr;
    ui::Click(wizard, IDOK);
    if (!ui::WaitUntil([&] { return ui::ControlVisible(wizard, IDC_ACCEPT); }))
        return nullptr;
    ui::Click(wizard, IDC_ACCEPT);
    if (!ui::WaitUntil([&] { return ui::ControlEnabled(wizard, IDOK); }))
        return nullptr;
    ui::Click(wizard, IDOK);
    if (!ui::WaitUntil([&] { return ui::ControlVisible(wizard, IDC_START_MENU); }))
        return nullptr;
    return wizard;
}

bool SetCheckBox(HWND wizard, int controlId, bool checked)
{
    int wanted = checked ? BST_CHECKED : BST_UNCHECKED;
    if (ui::CheckState(wizard, controlId) != wanted)
        ui::Click(wizard, controlId);
    return ui::WaitUntil([&] { return ui::CheckState(wizard, controlId) == wanted; });
}

bool InstallAndWaitForFinish(HWND wizard, DWORD timeoutMs)
{
    if (!ui::Click(wizard, IDOK))
        return false;
    return ui::WaitUntil(
        [&] { return ui::ControlEnabled(wizard, IDOK) && ui::ControlText(wizard, IDOK) == "Finish"; },
        timeoutMs);
}

long FinishAndWaitForExit(HWND wizard, const ui::Process& setup)
{
    ui::Click(wizard, IDOK);
    DWORD exitCode = 0;
    if (!setup.WaitForExit(20000, &exitCode))
        return -1;
    return long(exitCode);
}
