// Uninstalling with the built program under Wine, as a person would: from
// Uninstall.exe in the install directory, with the application running, and
// the whole life of an installation from the wizard to the self-deleted
// uninstaller.
#include "resources/resource.h"
#include "tests/support/installation.h"
#include "tests/support/registry.h"
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

namespace {

const char kUninstallerQuestion[] =
    "Do you want to uninstall VEK Lumovara Remote 2.0 release candidate 1 now?";
const char kUninstalled[] = "VEK Lumovara Remote has been uninstalled.";
constexpr char kSampleClass[] = "LumovaraRemoteSample";

std::string ScriptPath(DWORD processId)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "lvremote_uninstall_" + std::to_string(processId) + ".bat";
}

class UninstallE2e : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveInstallationTraces();
        paths_ = Installation();
    }
    void TearDown() override
    {
        application_.Kill();
        CloseSetup(setup_);
        CloseSetup(uninstaller_);
        RemoveInstallationTraces();
    }

    // Starts the installed Uninstall.exe, answers Yes, and returns the final
    // message once it shows (the program still running).
    ui::MessageBoxInfo UninstallUpToTheFinalMessage()
    {
        uninstaller_ = ui::Start(paths_.uninstaller);
        EXPECT_TRUE(uninstaller_.started());
        ui::MessageBoxInfo question = ui::WaitForMessageBox(uninstaller_.id());
        EXPECT_EQ(kUninstallerQuestion, question.text);
        EXPECT_TRUE(ui::Answer(question.window, IDYES));
        ui::MessageBoxInfo final;
        ui::WaitUntil([&] {
            final = ui::WaitForMessageBox(uninstaller_.id(), 0);
            return final.window != nullptr && final.window != question.window &&
                   final.text == kUninstalled;
        });
        EXPECT_EQ(kUninstalled, final.text);
        EXPECT_EQ("VEK Lumovara Remote Setup", final.title);
        return final;
    }

    // OK ends the program; its script then removes Uninstall.exe and itself.
    void FinishAndExpectTheUninstallerGone(const ui::MessageBoxInfo& final)
    {
        ASSERT_TRUE(ui::Answer(final.window, IDOK));
        DWORD exitCode = 99;
        ASSERT_TRUE(uninstaller_.WaitForExit(10000, &exitCode));
        EXPECT_EQ(0u, exitCode);
        EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(paths_.uninstaller); }, 20000));
        EXPECT_TRUE(
            ui::WaitUntil([&] { return !FileExists(ScriptPath(uninstaller_.id())); }, 20000));
    }

    void ExpectNothingLeftBut(const std::string& foreign)
    {
        for (const std::string& gone :
             {paths_.application, paths_.helpFile, paths_.uninstaller, paths_.commonStartMenuLink,
              paths_.userStartMenuLink, paths_.commonDesktopLink, paths_.userDesktopLink,
              paths_.commonStartMenuFolder, paths_.userStartMenuFolder})
            EXPECT_FALSE(FileExists(gone)) << gone;
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        // The install directory stays, holding only what was not ours.
        EXPECT_TRUE(FileExists(paths_.installDirectory));
        if (!foreign.empty()) {
            EXPECT_TRUE(FileExists(foreign));
        }
    }

    InstallationPaths paths_;
    ui::Process application_;
    ui::Process setup_;
    ui::Process uninstaller_;
};

TEST_F(UninstallE2e, UninstallerClosesTheApplicationRemovesEverythingAndItself)
{
    ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, paths_.installDirectory.c_str(), nullptr));
    ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, paths_.commonStartMenuFolder.c_str(), nullptr));
    ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, paths_.userStartMenuFolder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(SetupProgramPath().c_str(), paths_.uninstaller.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildPath("sample/LumovaraRemote.exe").c_str(),
                          paths_.application.c_str(), FALSE));
    for (const std::string& file : {paths_.helpFile, paths_.commonStartMenuLink,
                                    paths_.userStartMenuLink, paths_.commonDesktopLink,
                                    paths_.userDesktopLink})
        ASSERT_TRUE(WriteFileBytes(file, "installed")) << file;
    const std::string foreign = paths_.installDirectory + "\\notes.txt";
    ASSERT_TRUE(WriteFileBytes(foreign, "mine"));
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion",
                                  "2.0 release candidate 1"));

    application_ = ui::Start(paths_.application);
    ASSERT_NE(nullptr, ui::WaitForTopLevelWindow(application_.id(), kSampleClass, nullptr));

    ui::MessageBoxInfo final = UninstallUpToTheFinalMessage();
    ASSERT_NE(nullptr, final.window);
    EXPECT_FALSE(application_.Running()) << "the running application was not closed";
    EXPECT_TRUE(FileExists(paths_.uninstaller)) << "in use until the program ends";
    FinishAndExpectTheUninstallerGone(final);
    ExpectNothingLeftBut(foreign);
}

// Install through the wizard, start the application on Finish, uninstall
// while it runs.  A program planted at "C:\Program.exe", where an unquoted
// "C:\Program Files\..." command line would lead, must not run.
TEST_F(UninstallE2e, WholeLife)
{
    const std::string planted = "C:\\Program.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("tests/win32/record_run.exe").c_str(), planted.c_str(), FALSE));
    DeleteFileA((planted + ".ran").c_str());
    struct RemovePlanted {
        std::string path;
        ~RemovePlanted()
        {
            DeleteFileA(path.c_str());
            DeleteFileA((path + ".ran").c_str());
        }
    } removePlanted{planted};

    setup_ = StartSetup();
    HWND wizard = WalkToOptionsPage(setup_);
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(SetCheckBox(wizard, IDC_START_MENU, true));
    ASSERT_TRUE(SetCheckBox(wizard, IDC_DESKTOP, true));
    ASSERT_TRUE(SetCheckBox(wizard, IDC_ALL_USERS, false));
    ASSERT_TRUE(InstallAndWaitForFinish(wizard));
    ASSERT_TRUE(SetCheckBox(wizard, IDC_START_APP, true));
    ASSERT_EQ(0, FinishAndWaitForExit(wizard, setup_));

    // The application runs from its install directory.
    HWND window = ui::WaitForTopLevelWindow(0, kSampleClass, nullptr);
    ASSERT_NE(nullptr, window);
    std::string details = ui::ControlText(window, 100);
    EXPECT_NE(std::string::npos, details.find("Path: " + paths_.application)) << details;
    EXPECT_NE(std::string::npos, details.find("Working directory: " + paths_.installDirectory))
        << details;
    EXPECT_FALSE(FileExists(planted + ".ran"));
    ASSERT_TRUE(FileExists(paths_.userStartMenuLink));
    ASSERT_TRUE(FileExists(paths_.userDesktopLink));

    ui::MessageBoxInfo final = UninstallUpToTheFinalMessage();
    ASSERT_NE(nullptr, final.window);
    EXPECT_FALSE(IsWindow(window)) << "the running application was not closed";
    FinishAndExpectTheUninstallerGone(final);
    ExpectNothingLeftBut("");
}

}  // namespace
