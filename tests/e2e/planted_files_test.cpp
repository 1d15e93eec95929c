// The elevated setup program, started from a folder where the user can leave
// files: marker DLLs and programs under the names of what it may load or start
// lie beside it and in its current directory, and none may ever run.
#include "app/application_path.h"
#include "maintenance/self_delete_script.h"
#include "maintenance/uninstall.h"
#include "resources/resource.h"
#include "shell/shortcuts.h"
#include "shell/user_folders.h"
#include "tests/support/installation.h"
#include "tests/support/message_box_answerer.h"
#include "tests/support/registry.h"
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

namespace {

const char* const kPlanted[] = {
    "Msftedit.dll", "riched20.dll", "wtsapi32.dll", "uxtheme.dll", "version.dll", "propsys.dll",
    "dwmapi.dll", "cryptbase.dll", "userenv.dll", "msimg32.dll", "usp10.dll", "comctl32.dll",
    "windowscodecs.dll", "profapi.dll", "windows.storage.dll", "cmd.exe", "MsiExec.exe",
    "ping.exe"};
const char kLegacyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\lvtest-legacy";

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
        ASSERT_TRUE(CopyFileA(SetupProgramPath().c_str(), setupPath_.c_str(), FALSE));
        for (const std::string& folder : {downloads_, currentDirectory_}) {
            for (const std::string name : kPlanted) {
                std::string marker = BuildPath(name.find(".dll") != std::string::npos
                                                   ? "tests/e2e/planted_dll.dll"
                                                   : "tests/win32/record_run.exe");
                ASSERT_TRUE(CopyFileA(marker.c_str(), (folder + "\\" + name).c_str(), FALSE));
            }
        }
    }
    void TearDown() override
    {
        CloseSetup(setup_);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kLegacyKey);
        RemoveInstallationTraces();
        for (const std::string& folder : {downloads_, currentDirectory_, temp_})
            RemoveTree(folder);
    }

    // The markers that appeared, with the command lines the programs got.
    std::string Ran()
    {
        std::string ran;
        for (const std::string& folder : {downloads_, currentDirectory_})
            for (const std::string name : kPlanted)
                if (FileExists(folder + "\\" + name + ".ran"))
                    ran += name + ": " + ReadFileBytes(folder + "\\" + name + ".ran") + "\n";
        return ran;
    }

    InstallationPaths paths_ = Installation();
    std::string downloads_ = MakeScratchFolder("downloads");
    std::string currentDirectory_ = MakeScratchFolder("current");
    std::string setupPath_ = downloads_ + "\\LumovaraSetup.exe";
    std::string temp_ = MakeScratchFolder("Bob (Home) & Co");
    ui::Process setup_;
};

// Install (another process trying to swap the running program's file) with a
// legacy removal of a bare-named program; the setup program again, Yes to
// uninstall, in a temporary folder whose name breaks naive quoting.
TEST_F(PlantedFiles, NoneRunsThroughInstallLegacyRemovalAndUninstall)
{
    const char* const legacyEntry[][2] = {
        {"DisplayName", "VEK Lumovara Remote"}, {"DisplayVersion", "1.4"},
        {"UninstallString", "MsiExec.exe /X{6E1F2D3C-1A2B-4C5D-8E9F-00000000A1B2}"}};
    for (const auto& [name, value] : legacyEntry)
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kLegacyKey, name, value));
    setup_ = ui::Start(setupPath_, "", currentDirectory_);
    HWND wizard = WalkToOptionsPage(setup_);
    ASSERT_NE(nullptr, wizard);
    if (MoveFileA(setupPath_.c_str(), (setupPath_ + ".old").c_str())) {
        ASSERT_TRUE(WriteFileBytes(setupPath_, "MZ planted"));
    }
    ASSERT_TRUE(ui::Click(wizard, IDOK));
    ASSERT_TRUE(AnswerBox(setup_, "Lumovara Remote 1.4x was found", IDYES));
    ASSERT_TRUE(WaitForFinishButton(wizard, 90000));
    ASSERT_TRUE(SetCheckBox(wizard, IDC_START_APP, false));
    ASSERT_EQ(0, FinishAndWaitForExit(wizard, setup_));
    EXPECT_TRUE(ReadFileBytes(SetupProgramPath()) == ReadFileBytes(paths_.uninstaller))
        << "Uninstall.exe is not the program that ran";
    EXPECT_EQ("", Ran());

    ASSERT_TRUE(SetEnvironmentVariableA("TMP", temp_.c_str()));  // this test process only
    {  // Uninstall.exe held a while: the script loops, calling ping
        ui::FileHolder inUse(paths_.uninstaller);
        ASSERT_TRUE(inUse.holding());
        setup_ = ui::Start(setupPath_, "", currentDirectory_);
        ASSERT_TRUE(AnswerBox(setup_, "is already installed", IDYES));
        ASSERT_TRUE(AnswerBox(setup_, "has been uninstalled", IDOK));
        ASSERT_TRUE(setup_.WaitForExit(10000));
        EXPECT_FALSE(ui::WaitUntil([&] { return !Ran().empty(); }, 3000));  // a few rounds
    }
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(paths_.uninstaller); }, 20000));
    std::string script = temp_ + "\\lvremote_uninstall_" + std::to_string(setup_.id()) + ".bat";
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(script); }, 20000));
    EXPECT_EQ("", Ran());
}

TEST(ElevatedWrites, SelfDeleteScriptIsWritableOnlyBySystemAndAdministrators)
{
    const std::string folder = MakeScratchFolder("script");
    const std::string script = folder + "\\lvremote_uninstall_1.bat";
    ASSERT_TRUE(WriteSelfDeleteScript(script.c_str(), "C:\\VEK\\Uninstall.exe"));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    GetNamedSecurityInfoA(script.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &descriptor);
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text,
                                                         nullptr);
    const std::string dacl = text != nullptr ? text : "";
    LocalFree(text);
    LocalFree(descriptor);
    RemoveTree(folder);
    // Wine keeps no DACL on files: it makes one up from the file's mode bits.
    bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (wine && dacl.rfind("D:P", 0) != 0)
        GTEST_SKIP() << "Wine keeps no DACL on files; read back " << dacl;
    EXPECT_EQ("D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)", dacl);
}

// As LocalSystem (through the account facts) the console user's folders are
// changed only as that user: never with a token that cannot be impersonated.
TEST(ElevatedWrites, ConsoleUserFoldersAreChangedOnlyAsThatUser)
{
    RemoveInstallationTraces();
    const InstallationPaths paths = Installation();
    RememberApplicationPath("C:\\VEK\\LumovaraRemote.exe");
    const AccountFacts real = accountFacts;
    auto queryOnly = [](ULONG, HANDLE* token) -> BOOL {
        return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token);
    };
    accountFacts.runsAsLocalSystem = [] { return true; };
    accountFacts.queryUserToken = queryOnly;
    CreateShortcuts(true, true, false);
    EXPECT_FALSE(FileExists(paths.userStartMenuFolder) || FileExists(paths.userDesktopLink));
    accountFacts.queryUserToken = real.queryUserToken;
    CreateShortcuts(true, true, false);
    EXPECT_TRUE(FileExists(paths.userStartMenuLink) && FileExists(paths.userDesktopLink));
    accountFacts.queryUserToken = queryOnly;
    MessageBoxAnswerer answerer(IDOK);
    UninstallProduct();
    EXPECT_TRUE(FileExists(paths.userStartMenuLink) && FileExists(paths.userDesktopLink));
    HANDLE threadToken = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &threadToken));
    accountFacts = real;
    RemoveInstallationTraces();
}

}  // namespace
