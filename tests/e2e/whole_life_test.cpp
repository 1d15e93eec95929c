// The whole life of an installation, driven through the built setup program as
// a person would, with a screenshot of every page on the way (./dev run shows
// them): install with the preset options and let Finish start the application;
// start the setup program again, answer No and install over the running
// application with other options; uninstall from Uninstall.exe while the
// application runs; nothing of ours is left, the script and Uninstall.exe gone.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

const char kSuccess[] = "The install operation completed successfully.";
const char kFullName[] = "VEK Lumovara Remote 2.0 release candidate 1";

enum Page { kWelcome, kLicence, kOptions, kFinish };

// Which controls each page shows.
const struct {
    int id;
    bool shownOn[4];
} kPageViews[] = {
    {IDC_HEADING, {1, 1, 1, 1}},      {IDC_WELCOME_TEXT, {1, 0, 0, 0}},
    {IDC_LICENCE_LABEL, {0, 1, 0, 0}}, {IDC_LICENCE_PLACEHOLDER, {0, 0, 0, 0}},
    {IDC_ACCEPT, {0, 1, 0, 0}},       {IDC_START_MENU, {0, 0, 1, 0}},
    {IDC_DESKTOP, {0, 0, 1, 0}},      {IDC_ALL_USERS, {0, 0, 1, 0}},
    {IDC_PROGRESS, {0, 0, 0, 1}},     {IDC_STATUS, {0, 0, 0, 1}},
    {IDC_START_APP, {0, 0, 0, 1}},    {IDOK, {1, 1, 1, 1}},
    {IDCANCEL, {1, 1, 1, 1}},
};

// The page's controls, buttons and layout, and its screenshot.
void ExpectPage(HWND wizard, Page page, bool nextEnabled, const std::string& screenshot)
{
    SCOPED_TRACE(screenshot);
    for (const auto& view : kPageViews)
        EXPECT_EQ(view.shownOn[page], ControlVisible(wizard, view.id)) << "control " << view.id;
    HWND viewer = FindWindowExA(wizard, nullptr, "RICHEDIT50W", nullptr);
    EXPECT_EQ(page == kLicence, viewer != nullptr && IsWindowVisible(viewer));
    const char* nextText[] = {"Next", "Next", "Install", "Finish"};
    EXPECT_EQ(nextText[page], ControlText(wizard, IDOK));
    EXPECT_EQ(nextEnabled, ControlEnabled(wizard, IDOK));
    EXPECT_EQ(page != kFinish, ControlEnabled(wizard, IDCANCEL));
    std::vector<RECT> shown;
    for (HWND child = GetWindow(wizard, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect, common;
        if (!IsWindowVisible(child) || !GetWindowRect(child, &rect))
            continue;
        for (const RECT& other : shown)
            EXPECT_FALSE(IntersectRect(&common, &rect, &other)) << "control " << GetDlgCtrlID(child) << " overlaps";
        shown.push_back(rect);
    }
    Screenshot(wizard, screenshot);
}

// Waits until the wizard has handled what was posted to it so far, and what
// that posted in turn: two rounds of a posted flip of the hidden acceptance box.
void WaitForPostedMessages(HWND wizard)
{
    for (int round = 0; round < 2; ++round) {
        int flipped = CheckState(wizard, IDC_ACCEPT) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        PostMessageA(GetDlgItem(wizard, IDC_ACCEPT), BM_SETCHECK, WPARAM(flipped), 0);
        EXPECT_TRUE(WaitFor([&] { return CheckState(wizard, IDC_ACCEPT) == flipped; }));
    }
}

// The sample application's window, and the process behind it.
HWND WaitForApplication(Process& application)
{
    HWND window = nullptr;
    WaitFor([&] {
        std::vector<HWND> found = VisibleWindows(0, "LumovaraRemoteSample");
        return (window = found.empty() ? nullptr : found.front()) != nullptr;
    });
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    application = Process(id);
    return window;
}

DWORD KiB(const std::string& path)
{
    return DWORD((ReadFileBytes(path).size() + 1023) / 1024);
}

void ExpectLink(const std::string& path)
{
    ShellLink link = ReadShellLink(path);
    EXPECT_TRUE(link.loaded) << path;
    EXPECT_EQ(Installation().application, link.target) << path;
    EXPECT_EQ("VEK Lumovara Remote", link.description) << path;
    EXPECT_EQ("", link.arguments) << path;
}

void ExpectRegistration()
{
    const InstallationPaths& paths = Installation();
    const std::string command = Sz("\"" + paths.uninstaller + "\"");
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } values[] = {
        {"DisplayName", REG_SZ, Sz("VEK Lumovara Remote")},
        {"DisplayVersion", REG_SZ, Sz("2.0 release candidate 1")},
        {"Publisher", REG_SZ, Sz("VEK")},
        {"UninstallString", REG_SZ, command},
        {"DisplayIcon", REG_SZ, command},
        {"EstimatedSize", REG_DWORD, Dword(KiB(paths.application) + KiB(paths.helpFile) + KiB(paths.uninstaller))},
        {"NoModify", REG_DWORD, Dword(1)},
        {"NoRepair", REG_DWORD, Dword(1)},
    };
    for (const auto& expected : values) {
        RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, expected.name);
        EXPECT_TRUE(value.exists && value.type == expected.type && value.bytes == expected.bytes)
            << expected.name << ": type " << value.type << ", " << value.bytes.size() << " bytes";
    }
}

TEST(WholeLife, InstallInstallAgainAndUninstall)
{
    const InstallationPaths& paths = Installation();
    RemoveInstallation();
    // Where an unquoted "C:\Program Files\..." command line would lead.
    const std::string planted = "C:\\Program.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("tests/record_run.exe").c_str(), planted.c_str(), FALSE));

    // Install with the preset options.
    RunningSetup setup = StartSetup();
    ASSERT_NE(nullptr, setup.wizard) << "no wizard; the program showed: " << setup.box.text;
    HWND wizard = setup.wizard;
    ExpectPage(wizard, kWelcome, true, "wizard-1-welcome");
    EXPECT_EQ("This installer will install VEK Lumovara Remote 2.0 release candidate 1 on this computer.",
              ControlText(wizard, IDC_WELCOME_TEXT));
    for (int option : {IDC_START_MENU, IDC_DESKTOP, IDC_ALL_USERS, IDC_START_APP})
        EXPECT_EQ(BST_CHECKED, CheckState(wizard, option)) << option;

    ASSERT_TRUE(Press(wizard, IDOK));
    ExpectPage(wizard, kLicence, false, "wizard-2-licence");
    std::string licence = WindowText(FindWindowExA(wizard, nullptr, "RICHEDIT50W", nullptr));
    EXPECT_EQ(0u, licence.find("VEK Lumovara Remote\r")) << licence.substr(0, 80);
    EXPECT_NE(std::string::npos, licence.find("End-User License Agreement"));
    EXPECT_EQ(std::string::npos, licence.find("\\rtf")) << "RTF shown as plain text";
    for (int state : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
        ASSERT_TRUE(Press(wizard, IDC_ACCEPT));
        EXPECT_EQ(state == BST_CHECKED, ControlEnabled(wizard, IDOK)) << "Next with the box " << state;
    }
    ASSERT_TRUE(Press(wizard, IDOK));
    ExpectPage(wizard, kOptions, true, "wizard-3-options");

    MessageBoxInfo unexpected = Install(setup);
    ASSERT_EQ(nullptr, unexpected.window) << unexpected.text;
    ExpectPage(wizard, kFinish, true, "wizard-4-finish");
    EXPECT_EQ(kSuccess, ControlText(wizard, IDC_STATUS));
    DWORD_PTR position = 0;
    SendMessageTimeoutA(GetDlgItem(wizard, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    EXPECT_EQ(100u, position);
    EXPECT_EQ(BST_CHECKED, CheckState(wizard, IDC_START_APP));
    // With Cancel disabled, the close box and WM_CLOSE are refused.
    PostMessageA(wizard, WM_CLOSE, 0, 0);
    PostMessageA(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
    WaitForPostedMessages(wizard);
    ASSERT_TRUE(setup.process.Running()) << "a close request ended the wizard on its last page";
    ASSERT_EQ(0, Finish(setup, true));

    // Finish started the application from its quoted path, in its folder.
    Process application;
    HWND window = WaitForApplication(application);
    ASSERT_NE(nullptr, window) << "Finish started no application";
    std::string details = ControlText(window, 100);
    EXPECT_NE(std::string::npos, details.find("Path: " + paths.application + "\r\n")) << details;
    EXPECT_NE(std::string::npos, details.find("Working directory: " + paths.installDirectory)) << details;
    EXPECT_FALSE(FileExists(planted + ".ran")) << "the unquoted path ran " << planted;
    Screenshot(window, "application");

    // The files are the payload's inputs and the setup program itself.
    EXPECT_TRUE(ReadFileBytes(paths.application) == ReadFileBytes(BuildPath("sample/LumovaraRemote.exe")));
    EXPECT_TRUE(ReadFileBytes(paths.helpFile) == ReadFileBytes(BuildPath("sample/LumovaraRemote.chm")));
    EXPECT_TRUE(ReadFileBytes(paths.uninstaller) == ReadFileBytes(BuildPath("LumovaraSetup.exe")));
    ExpectLink(paths.commonStartMenuLink);
    ExpectLink(paths.commonDesktopLink);
    EXPECT_FALSE(FileExists(paths.userStartMenuFolder));
    EXPECT_FALSE(FileExists(paths.userDesktopLink));
    ExpectRegistration();

    // Again: the question, No, and an installation over the running application,
    // per user and on the Desktop only.  Our values are rewritten, others kept.
    ASSERT_TRUE(WriteFileBytes(paths.helpFile, "old"));
    ASSERT_TRUE(WriteFileBytes(paths.installDirectory + "\\notes.txt", "mine"));
    ASSERT_TRUE(WriteFileBytes(paths.commonStartMenuFolder + "\\Other.lnk", "another product's"));
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "Comments", REG_SZ, Sz("foreign")));
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher", REG_SZ, Sz("someone")));
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair", REG_DWORD, Dword(0)));
    setup = StartSetup();
    ASSERT_NE(nullptr, setup.box.window) << "no question";
    EXPECT_EQ(std::string(kFullName) + " is already installed. Do you want to uninstall " + kFullName + " now?",
              setup.box.text);
    EXPECT_EQ("VEK Lumovara Remote Setup", setup.box.title);
    Screenshot(setup.box.window, "startup-question");
    ASSERT_TRUE(Answer(setup.box, IDNO));
    ASSERT_NE(nullptr, setup.wizard = WaitForWizard(setup.process.id()));
    ASSERT_TRUE(WalkToOptions(setup.wizard));
    ASSERT_TRUE(SetOption(setup.wizard, IDC_START_MENU, false));
    ASSERT_TRUE(SetOption(setup.wizard, IDC_ALL_USERS, false));
    unexpected = Install(setup);
    ASSERT_EQ(nullptr, unexpected.window) << unexpected.text;
    EXPECT_EQ(kSuccess, ControlText(setup.wizard, IDC_STATUS));
    EXPECT_EQ(0, application.Wait(0)) << "the running application was not closed by its request";
    EXPECT_TRUE(ReadFileBytes(paths.helpFile) == ReadFileBytes(BuildPath("sample/LumovaraRemote.chm")));
    ExpectLink(paths.userDesktopLink);
    EXPECT_FALSE(FileExists(paths.userStartMenuFolder));
    ExpectRegistration();
    EXPECT_EQ(Sz("foreign"), ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "Comments").bytes);
    ASSERT_EQ(0, Finish(setup, true));
    ASSERT_NE(nullptr, window = WaitForApplication(application));

    // Uninstall from Uninstall.exe while the application runs.
    Process uninstaller(paths.uninstaller);
    MessageBoxInfo box = WaitForMessageBox(uninstaller.id());
    EXPECT_EQ(std::string("Do you want to uninstall ") + kFullName + " now?", box.text);
    Screenshot(box.window, "uninstall-question");
    ASSERT_TRUE(Answer(box, IDYES));
    ASSERT_TRUE(WaitFor([&] { return (box = FindMessageBox(uninstaller.id())).text ==
                                     "VEK Lumovara Remote has been uninstalled."; }));
    EXPECT_EQ("VEK Lumovara Remote Setup", box.title);
    Screenshot(box.window, "uninstalled");
    EXPECT_EQ(0, application.Wait(0)) << "the running application was not closed by its request";
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(0, uninstaller.Wait());
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string script = temp + std::string("lvremote_uninstall_") + std::to_string(uninstaller.id()) + ".bat";
    EXPECT_TRUE(WaitFor([&] { return !FileExists(paths.uninstaller) && !FileExists(script); }))
        << "Uninstall.exe or its script stayed";
    for (const std::string& gone : {paths.application, paths.helpFile, paths.commonStartMenuLink,
                                    paths.commonDesktopLink, paths.userDesktopLink, paths.userStartMenuFolder})
        EXPECT_FALSE(FileExists(gone)) << gone;
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ("mine", ReadFileBytes(paths.installDirectory + "\\notes.txt"));
    EXPECT_TRUE(FileExists(paths.commonStartMenuFolder + "\\Other.lnk"));

    RemoveTree(planted);
    RemoveInstallation();
}

}  // namespace
