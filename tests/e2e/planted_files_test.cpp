// The setup program runs elevated, mostly from a Downloads folder where any
// program of the user can leave files.  Copies of a marker DLL under the names
// of libraries it may load, and marker programs under the names of those it
// starts, lie beside it and in its current directory: none may ever run.
#include "resources/resource.h"
#include "tests/support/installation.h"
#include "tests/support/registry.h"
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kPlantedDlls[] = {
    "Msftedit.dll", "riched20.dll", "wtsapi32.dll", "uxtheme.dll", "version.dll",
    "propsys.dll", "dwmapi.dll", "cryptbase.dll", "userenv.dll", "msimg32.dll", "usp10.dll",
    "windowscodecs.dll", "profapi.dll", "windows.storage.dll", "comctl32.dll"};
const char* const kPlantedPrograms[] = {"cmd.exe", "MsiExec.exe", "ping.exe"};
const char kLegacyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\lvtest-planted";

// Waits for a message box of `setup` whose text holds `words`, and presses `button`.
bool AnswerBox(const ui::Process& setup, const std::string& words, int button)
{
    ui::MessageBoxInfo box;
    return ui::WaitUntil([&] {
        box = ui::WaitForMessageBox(setup.id(), 0);
        return box.text.find(words) != std::string::npos;
    }, 60000) && ui::Answer(box.window, button);
}

class PlantedFiles : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveInstallationTraces();
        GetEnvironmentVariableA("TMP", savedTmp_, MAX_PATH);
        downloads_ = MakeScratchFolder("downloads");
        currentDirectory_ = MakeScratchFolder("current");
        setupPath_ = downloads_ + "\\LumovaraSetup.exe";
        ASSERT_TRUE(CopyFileA(SetupProgramPath().c_str(), setupPath_.c_str(), FALSE));
        for (const std::string& folder : {downloads_, currentDirectory_}) {
            for (const char* dll : kPlantedDlls)
                ASSERT_TRUE(CopyFileA(BuildPath("tests/e2e/planted_dll.dll").c_str(),
                                      (folder + "\\" + dll).c_str(), FALSE));
            for (const char* program : kPlantedPrograms)
                ASSERT_TRUE(CopyFileA(BuildPath("tests/win32/record_run.exe").c_str(),
                                      (folder + "\\" + program).c_str(), FALSE));
        }
    }
    void TearDown() override
    {
        CloseSetup(setup_);
        SetEnvironmentVariableA("TMP", savedTmp_);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kLegacyKey);
        RemoveInstallationTraces();
        for (const std::string& folder : {downloads_, currentDirectory_, temp_})
            RemoveTree(folder);
    }

    // The markers that appeared, each with the command line its program got.
    std::string Ran()
    {
        std::string ran;
        for (const std::string& folder : {downloads_, currentDirectory_}) {
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((folder + "\\*.ran").c_str(), &found);
            for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
                ran += std::string(found.cFileName) + ": " + ReadFileBytes(folder + "\\" + found.cFileName) + "\n";
            if (search != INVALID_HANDLE_VALUE)
                FindClose(search);
        }
        return ran;
    }

    InstallationPaths paths_ = Installation();
    char savedTmp_[MAX_PATH] = {};
    std::string downloads_, currentDirectory_, setupPath_, temp_;
    ui::Process setup_;
};

// An installation with a legacy removal whose command names a bare program,
// then the setup program again with Yes to uninstall, with a temporary folder
// whose name breaks naive quoting and the uninstaller copy held for a while,
// so that the self-delete script has to wait.
TEST_F(PlantedFiles, NoneRunsThroughInstallLegacyRemovalAndUninstall)
{
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kLegacyKey, "DisplayName", "VEK Lumovara Remote"));
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kLegacyKey, "DisplayVersion", "1.4"));
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kLegacyKey, "UninstallString",
                                  "MsiExec.exe /X{6E1F2D3C-1A2B-4C5D-8E9F-00000000A1B2}"));
    setup_ = ui::Start(setupPath_, "", currentDirectory_);
    HWND wizard = WalkToOptionsPage(setup_);
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(ui::Click(wizard, IDOK));
    ASSERT_TRUE(AnswerBox(setup_, "Lumovara Remote 1.4x was found", IDYES));
    ASSERT_TRUE(WaitForFinishButton(wizard, 90000));
    ASSERT_TRUE(SetCheckBox(wizard, IDC_START_APP, false));
    ASSERT_EQ(0, FinishAndWaitForExit(wizard, setup_));

    temp_ = MakeScratchFolder("Bob (Home) & Co");
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", temp_.c_str()));
    {
        ui::FileHolder inUse(paths_.uninstaller);
        ASSERT_TRUE(inUse.holding());
        setup_ = ui::Start(setupPath_, "", currentDirectory_);
        ASSERT_TRUE(AnswerBox(setup_, "is already installed", IDYES));
        ASSERT_TRUE(AnswerBox(setup_, "has been uninstalled", IDOK));
        ASSERT_TRUE(setup_.WaitForExit(10000));
        // The script loops while the copy is held; give its first rounds time.
        EXPECT_FALSE(ui::WaitUntil([&] { return !Ran().empty(); }, 3000));
    }
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(paths_.uninstaller); }, 20000));
    const std::string script = temp_ + "\\lvremote_uninstall_" + std::to_string(setup_.id()) + ".bat";
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(script); }, 20000));
    EXPECT_EQ("", Ran());
}

// Another process renames the running setup program and puts its own file at
// its path before Install: Uninstall.exe must still be the program that ran.
TEST_F(PlantedFiles, UninstallerCopyIsTheRunningProgramWhateverLiesAtItsPath)
{
    setup_ = ui::Start(setupPath_);
    HWND wizard = WalkToOptionsPage(setup_);
    ASSERT_NE(nullptr, wizard);
    if (MoveFileA(setupPath_.c_str(), (setupPath_ + ".old").c_str())) {
        ASSERT_TRUE(WriteFileBytes(setupPath_, "MZ planted"));
    }
    ASSERT_TRUE(InstallAndWaitForFinish(wizard));
    EXPECT_TRUE(ReadFileBytes(SetupProgramPath()) == ReadFileBytes(paths_.uninstaller))
        << "Uninstall.exe is not the program that ran";
}

}  // namespace
