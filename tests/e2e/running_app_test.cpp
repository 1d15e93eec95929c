// A person with unsaved work in the running application, and a browser on the
// product's download page, installs and later uninstalls.  The application is
// given all the time its "save changes?" prompt takes; the browser is never
// asked to close; a double-click on Install and an Enter pressed while it
// installs do not press Finish.
#include "resources/resource.h"
#include "tests/support/installation.h"
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Real input through the system's queue, with the mouse on the control:
// `clicks` clicks, then Enter when asked.
bool InputAt(HWND control, int clicks, bool enter = false)
{
    std::vector<INPUT> inputs(2 * clicks + (enter ? 2 : 0));
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        bool up = i % 2 == 1;
        inputs[i].type = i < std::size_t(2 * clicks) ? INPUT_MOUSE : INPUT_KEYBOARD;
        if (inputs[i].type == INPUT_MOUSE)
            inputs[i].mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
        else
            inputs[i].ki = {VK_RETURN, 0, DWORD(up ? KEYEVENTF_KEYUP : 0), 0, 0};
    }
    RECT area;
    return GetWindowRect(control, &area) &&
           SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2) &&
           SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

class RunningApplication : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveInstallationTraces();
        paths_ = Installation();
        folder_ = MakeScratchFolder("running-app");
    }
    void TearDown() override
    {
        for (ui::Process* process : {&app_, &browser_, &installed_, &uninstaller_})
            process->Kill();
        CloseSetup(setup_);
        ui::EndProgramsWithWindowClass("LumovaraRemoteSample");  // started by a stray Finish
        RemoveTree(folder_);
        RemoveInstallationTraces();
    }

    InstallationPaths paths_;
    std::string folder_;
    ui::Process app_, browser_, setup_, installed_, uninstaller_;
};

TEST_F(RunningApplication, IsWaitedForWhileItPromptsAndOnlyItsOwnWindowsAreClosed)
{
    const std::string program = BuildPath("tests/e2e/running_app.exe");
    const std::string app = folder_ + "\\LumovaraRemote.exe";
    ASSERT_TRUE(CopyFileA(program.c_str(), app.c_str(), FALSE));
    app_ = ui::Start(app);
    browser_ = ui::Start(program, "VEK Lumovara Remote - Download");
    HWND browser = ui::WaitForTopLevelWindow(browser_.id(), "RunningApp", nullptr);
    ASSERT_NE(nullptr, browser);
    ASSERT_NE(nullptr, ui::WaitForTopLevelWindow(app_.id(), "RunningApp", nullptr));

    setup_ = StartSetup();
    HWND wizard = WalkToOptionsPage(setup_);
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(InputAt(GetDlgItem(wizard, IDOK), 2, true));

    // The installation waits for the prompt, far past any old limit, and goes on once it closes.
    ASSERT_NE(nullptr, ui::WaitForMessageBox(app_.id()).window);
    DWORD exitCode = 99;
    ASSERT_TRUE(app_.WaitForExit(60000, &exitCode));
    EXPECT_EQ(0u, exitCode) << "terminated while it prompted";
    ASSERT_TRUE(WaitForFinishButton(wizard));
    EXPECT_EQ("The install operation completed successfully.", ui::ControlText(wizard, IDC_STATUS));
    // Its prompt would disable it; closing would destroy it.
    EXPECT_TRUE(IsWindowEnabled(browser)) << "the browser was asked to close";

    // Input is taken in order: once this click has unchecked Start, the stray
    // click and Enter have had their turn.
    ASSERT_TRUE(InputAt(GetDlgItem(wizard, IDC_START_APP), 1));
    EXPECT_TRUE(ui::WaitUntil([&] { return ui::CheckState(wizard, IDC_START_APP) == BST_UNCHECKED; }))
        << "the wizard did not stay on its finish page";
    EXPECT_EQ(0, FinishAndWaitForExit(wizard, setup_));

    // Uninstall while the installed application runs.
    installed_ = ui::Start(paths_.application);
    ASSERT_NE(nullptr, ui::WaitForTopLevelWindow(installed_.id(), "LumovaraRemoteSample", nullptr));
    uninstaller_ = ui::Start(paths_.uninstaller);
    ASSERT_TRUE(ui::Answer(ui::WaitForMessageBox(uninstaller_.id()).window, IDYES));
    ui::MessageBoxInfo final;
    ASSERT_TRUE(ui::WaitUntil([&] {
        final = ui::WaitForMessageBox(uninstaller_.id(), 0);
        return final.text == "VEK Lumovara Remote has been uninstalled.";
    }));
    EXPECT_TRUE(installed_.WaitForExit(0, &exitCode) && exitCode == 0) << "not closed on request";
    EXPECT_TRUE(IsWindowEnabled(browser)) << "the browser was asked to close";
    ASSERT_TRUE(ui::Answer(final.window, IDOK));
    // Its script removes Uninstall.exe once the program has ended, then itself.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string script = temp + ("lvremote_uninstall_" + std::to_string(uninstaller_.id()) + ".bat");
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(paths_.uninstaller) && !FileExists(script); }));
}

}  // namespace
