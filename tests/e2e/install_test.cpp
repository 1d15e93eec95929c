// Installing with the built setup program, driven through the wizard as a user
// would, then checking what landed on the machine: files, shortcuts, registry.
#include "install/installed_size.h"
#include "resources/resource.h"
#include "tests/support/installation.h"
#include "tests/support/shell_link.h"
#include "tests/support/registry.h"
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const char kSuccess[] = "The install operation completed successfully.";
const char kFailure[] = "The install operation did fail!";

std::string Sz(const std::string& text)
{
    return text + '\0';
}

std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::uint32_t FileKiB(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return SizeInKiB((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

DWORD_PTR ProgressPosition(HWND wizard)
{
    DWORD_PTR position = 0;
    SendMessageTimeoutA(GetDlgItem(wizard, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &position);
    return position;
}

struct Options {
    bool startMenu = true;
    bool desktop = true;
    bool allUsers = true;
};

class Install : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveInstallationTraces();
        paths_ = Installation();
    }
    void TearDown() override
    {
        CloseSetup(setup_);
        ui::EndProgramsWithWindowClass("LumovaraRemoteSample");
        RemoveInstallationTraces();
    }

    // Starts the setup program and installs with the given options; the wizard
    // is left on its finish page.
    HWND InstallWith(const Options& options)
    {
        setup_ = StartSetup();
        HWND wizard = WalkToOptionsPage(setup_);
        EXPECT_NE(nullptr, wizard);
        if (wizard == nullptr)
            return nullptr;
        EXPECT_TRUE(SetCheckBox(wizard, IDC_START_MENU, options.startMenu));
        EXPECT_TRUE(SetCheckBox(wizard, IDC_DESKTOP, options.desktop));
        EXPECT_TRUE(SetCheckBox(wizard, IDC_ALL_USERS, options.allUsers));
        EXPECT_TRUE(InstallAndWaitForFinish(wizard));
        return wizard;
    }

    // Finish without starting the application.
    void FinishQuietly(HWND wizard)
    {
        ASSERT_TRUE(SetCheckBox(wizard, IDC_START_APP, false));
        EXPECT_EQ(0, FinishAndWaitForExit(wizard, setup_));
    }

    // Another program holds `path` (in the install directory) open without sharing.
    std::unique_ptr<ui::FileHolder> HoldInInstallDirectory(const std::string& path)
    {
        SHCreateDirectoryExA(nullptr, paths_.installDirectory.c_str(), nullptr);
        return std::make_unique<ui::FileHolder>(path);
    }

    // The size the registration should report for the installed files.
    DWORD InstalledKiB(const std::string& uninstallCommand)
    {
        return FileKiB(paths_.application) + FileKiB(paths_.helpFile) + FileKiB(uninstallCommand);
    }

    void ExpectLink(const std::string& linkPath)
    {
        SCOPED_TRACE(linkPath);
        ShellLinkInfo link;
        ASSERT_TRUE(ReadShellLink(linkPath, link));
        EXPECT_EQ(paths_.application, link.target);
        EXPECT_EQ("VEK Lumovara Remote", link.description);
        EXPECT_EQ("", link.arguments);
    }

    void ExpectValue(const char* name, DWORD type, const std::string& bytes)
    {
        SCOPED_TRACE(name);
        RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
        ASSERT_TRUE(value.exists);
        EXPECT_EQ(type, value.type);
        EXPECT_EQ(bytes, value.bytes);
    }

    void ExpectRegistration(const std::string& uninstallCommand, DWORD sizeKiB)
    {
        ExpectValue("DisplayName", REG_SZ, Sz("VEK Lumovara Remote"));
        ExpectValue("DisplayVersion", REG_SZ, Sz("2.0 release candidate 1"));
        ExpectValue("Publisher", REG_SZ, Sz("VEK"));
        ExpectValue("UninstallString", REG_SZ, Sz("\"" + uninstallCommand + "\""));
        ExpectValue("DisplayIcon", REG_SZ, Sz("\"" + uninstallCommand + "\""));
        ExpectValue("EstimatedSize", REG_DWORD, Dword(sizeKiB));
        ExpectValue("NoModify", REG_DWORD, Dword(1));
        ExpectValue("NoRepair", REG_DWORD, Dword(1));
    }

    void ExpectNoLinks()
    {
        for (const std::string& link : {paths_.commonStartMenuLink, paths_.userStartMenuLink,
                                        paths_.commonDesktopLink, paths_.userDesktopLink})
            EXPECT_FALSE(FileExists(link)) << link;
    }

    InstallationPaths paths_;
    ui::Process setup_;
};

TEST_F(Install, DefaultOptionsInstallEverything)
{
    HWND wizard = InstallWith(Options());
    ASSERT_NE(nullptr, wizard);
    ui::SaveScreenshot(wizard, "install-finished");

    EXPECT_EQ(kSuccess, ui::ControlText(wizard, IDC_STATUS));
    EXPECT_EQ(100u, ProgressPosition(wizard));
    EXPECT_TRUE(ui::ControlEnabled(wizard, IDOK));
    EXPECT_FALSE(ui::ControlEnabled(wizard, IDCANCEL));

    // The files are the payload's inputs and the setup program itself.
    EXPECT_EQ(ReadFileBytes(BuildPath("sample/LumovaraRemote.exe")), ReadFileBytes(paths_.application));
    EXPECT_EQ(ReadFileBytes(BuildPath("sample/LumovaraRemote.chm")), ReadFileBytes(paths_.helpFile));
    EXPECT_EQ(ReadFileBytes(SetupProgramPath()), ReadFileBytes(paths_.uninstaller));

    ExpectLink(paths_.commonStartMenuLink);
    ExpectLink(paths_.commonDesktopLink);
    EXPECT_FALSE(FileExists(paths_.userStartMenuLink));
    EXPECT_FALSE(FileExists(paths_.userDesktopLink));

    ExpectRegistration(paths_.uninstaller, InstalledKiB(paths_.uninstaller));
    FinishQuietly(wizard);
}

TEST_F(Install, ShortcutOptionsChooseTheFolders)
{
    // Per user only.
    HWND wizard = InstallWith({true, true, false});
    ASSERT_NE(nullptr, wizard);
    ExpectLink(paths_.userStartMenuLink);
    ExpectLink(paths_.userDesktopLink);
    EXPECT_FALSE(FileExists(paths_.commonStartMenuLink));
    EXPECT_FALSE(FileExists(paths_.commonDesktopLink));
    FinishQuietly(wizard);
    RemoveInstallationTraces();

    // "Install for all users" alone makes no shortcut; neither does nothing at all.
    for (bool allUsers : {true, false}) {
        SCOPED_TRACE(allUsers);
        wizard = InstallWith({false, false, allUsers});
        ASSERT_NE(nullptr, wizard);
        EXPECT_EQ(kSuccess, ui::ControlText(wizard, IDC_STATUS));
        ExpectNoLinks();
        EXPECT_FALSE(FileExists(paths_.commonStartMenuFolder));
        EXPECT_FALSE(FileExists(paths_.userStartMenuFolder));
        EXPECT_TRUE(FileExists(paths_.application));
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        FinishQuietly(wizard);
        RemoveInstallationTraces();
    }
}

TEST_F(Install, AgainOverAnExistingInstallation)
{
    HWND wizard = InstallWith(Options());
    ASSERT_NE(nullptr, wizard);
    FinishQuietly(wizard);

    ASSERT_TRUE(WriteFileBytes(paths_.application, std::string(3'000'000, 'x')));  // larger
    ASSERT_TRUE(WriteFileBytes(paths_.helpFile, "old"));
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "Comments", "foreign"));
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair", REG_DWORD, Dword(0)));
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher", "someone"));

    // This version is registered now: start-up asks first, and No opens the wizard.
    setup_ = StartSetup();
    FirstWindow first = WaitForWizardOrMessageBox(setup_.id());
    ASSERT_NE(nullptr, first.box.window);
    EXPECT_EQ("VEK Lumovara Remote 2.0 release candidate 1 is already installed. Do you want to "
              "uninstall VEK Lumovara Remote 2.0 release candidate 1 now?",
              first.box.text);
    ui::Answer(first.box.window, IDNO);
    wizard = WalkToOptionsPage(setup_);
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(InstallAndWaitForFinish(wizard));
    EXPECT_EQ(kSuccess, ui::ControlText(wizard, IDC_STATUS));

    EXPECT_EQ(ReadFileBytes(BuildPath("sample/LumovaraRemote.exe")), ReadFileBytes(paths_.application));
    EXPECT_EQ(ReadFileBytes(BuildPath("sample/LumovaraRemote.chm")), ReadFileBytes(paths_.helpFile));
    ExpectValue("Comments", REG_SZ, Sz("foreign"));
    ExpectRegistration(paths_.uninstaller, InstalledKiB(paths_.uninstaller));
    FinishQuietly(wizard);
}

TEST_F(Install, ALockedApplicationFailsBeforeAnythingElse)
{
    auto holder = HoldInInstallDirectory(paths_.application);
    ASSERT_TRUE(holder->holding());

    HWND wizard = InstallWith(Options());
    ASSERT_NE(nullptr, wizard);
    EXPECT_EQ(kFailure, ui::ControlText(wizard, IDC_STATUS));
    EXPECT_FALSE(FileExists(paths_.helpFile));
    EXPECT_FALSE(FileExists(paths_.uninstaller));
    ExpectNoLinks();
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    // Finish with the Start box checked starts nothing: nothing was installed.
    EXPECT_EQ(BST_CHECKED, ui::CheckState(wizard, IDC_START_APP));
    EXPECT_EQ(0, FinishAndWaitForExit(wizard, setup_));
    Sleep(500);
    EXPECT_TRUE(ui::FindTopLevelWindows(0, "LumovaraRemoteSample", nullptr).empty());
}

TEST_F(Install, ALockedHelpFileFailsButTheRestIsInstalled)
{
    auto holder = HoldInInstallDirectory(paths_.helpFile);
    ASSERT_TRUE(holder->holding());

    HWND wizard = InstallWith(Options());
    ASSERT_NE(nullptr, wizard);
    EXPECT_EQ(kFailure, ui::ControlText(wizard, IDC_STATUS));
    ExpectLink(paths_.commonStartMenuLink);
    ExpectLink(paths_.commonDesktopLink);
    EXPECT_EQ(ReadFileBytes(SetupProgramPath()), ReadFileBytes(paths_.uninstaller));
    // The help file another program holds is empty: it adds 0 KiB.
    ExpectRegistration(paths_.uninstaller, InstalledKiB(paths_.uninstaller));
    FinishQuietly(wizard);
}

TEST_F(Install, ALockedUninstallerCopyRegistersTheSetupProgramItself)
{
    auto holder = HoldInInstallDirectory(paths_.uninstaller);
    ASSERT_TRUE(holder->holding());

    HWND wizard = InstallWith(Options());
    ASSERT_NE(nullptr, wizard);
    EXPECT_EQ(kSuccess, ui::ControlText(wizard, IDC_STATUS));
    ExpectRegistration(SetupProgramPath(), InstalledKiB(SetupProgramPath()));
    FinishQuietly(wizard);
}

// Points the system's Program Files folder somewhere that does not exist, for
// one test: the shell then cannot resolve the folder, as on a damaged system.
class ProgramFilesRedirect {
public:
    explicit ProgramFilesRedirect(const std::string& path)
        : saved_(ReadRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir"))
    {
        SetRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", path);
    }
    ~ProgramFilesRedirect()
    {
        SetRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", saved_.type,
                         saved_.bytes);
    }

private:
    static constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    RegistryValue saved_;
};

TEST_F(Install, NoProgramFilesFolderInstallsNothing)
{
    ProgramFilesRedirect redirect("C:\\NoProgramFilesHere");
    HWND wizard = InstallWith(Options());
    ASSERT_NE(nullptr, wizard);
    EXPECT_EQ(kFailure, ui::ControlText(wizard, IDC_STATUS));
    EXPECT_EQ(100u, ProgressPosition(wizard));
    EXPECT_FALSE(FileExists("C:\\NoProgramFilesHere"));
    EXPECT_FALSE(FileExists(paths_.programFiles + "\\VEK"));
    ExpectNoLinks();
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    FinishQuietly(wizard);
}

}  // namespace
