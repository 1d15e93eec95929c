// The whole life of an installation, driven through the built setup program as
// a person would, with a screenshot of every page on the way (./dev run shows
// them): install with the preset options, by a double-click on Install and an
// Enter, and let Finish start the application; start the setup program again,
// answer No and install over the running application with other options, while
// a copy with unsaved work prompts (its person keeps working) and a browser shows
// the download page; uninstall from Uninstall.exe while the application runs and
// the copy is kept once more; nothing of ours is left, the script and
// Uninstall.exe gone.  An uninstall that cannot remove the application its
// person keeps working in, and is run again.  The same life, shorter, for a
// user whose name lies outside the system's ANSI code page.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

namespace {

const std::string kFullName = "VEK Lumovara Remote 2.0 release candidate 1";
const char kSuccess[] = "The install operation completed successfully.";

// The wizard's pages, each a bit of the sets of pages on which each control shows.
enum Page { kWelcome = 1, kLicence = 2, kOptions = 4, kFinish = 8, kEvery = 15 };  // kFinish: progress and finish
const std::pair<int, int> kPageViews[] = {
    {IDC_WELCOME_TEXT, kWelcome}, {IDC_LICENCE_LABEL, kLicence}, {IDC_ACCEPT, kLicence}, {IDC_START_MENU, kOptions},
    {IDC_DESKTOP, kOptions},      {IDC_ALL_USERS, kOptions},     {IDC_PROGRESS, kFinish}, {IDC_STATUS, kFinish},
    {IDC_START_APP, kFinish},     {IDC_LICENCE_PLACEHOLDER, 0},  {IDC_HEADING, kEvery},   {IDCANCEL, kEvery}};

void ExpectPage(HWND wizard, Page page, const char* next, bool nextEnabled, const std::string& screenshot)
{
    for (auto [id, pages] : kPageViews)
        EXPECT_EQ((pages & page) != 0, ControlVisible(wizard, id)) << screenshot << ", control " << id;
    HWND viewer = FindWindowExA(wizard, nullptr, "RICHEDIT50W", nullptr);
    EXPECT_EQ(page == kLicence, viewer != nullptr && IsWindowVisible(viewer)) << screenshot;
    EXPECT_EQ(next, ControlText(wizard, IDOK)) << screenshot;
    EXPECT_EQ(nextEnabled, ControlEnabled(wizard, IDOK)) << screenshot;
    EXPECT_EQ(page != kFinish, ControlEnabled(wizard, IDCANCEL)) << screenshot;
    Screenshot(wizard, screenshot);
}

// The application that Finish started, checked to run from its quoted path in its folder.
Process StartedApplication()
{
    const InstallationPaths& paths = Installation();
    HWND window = nullptr;  // found once its details (control 100, made after the window) are there
    std::string details;
    const char* sample = "LumovaraRemoteSample";
    EXPECT_TRUE(WaitFor([&] { return !(details = ControlText(window = FindWindowA(sample, nullptr), 100)).empty(); }));
    EXPECT_TRUE(details.find("Path: " + paths.application + "\r\n") != std::string::npos &&
                details.find("Working directory: " + paths.installDirectory) != std::string::npos) << details;
    EXPECT_FALSE(FileExists("C:\\Program.exe.ran")) << "the unquoted path ran C:\\Program.exe";
    Screenshot(window, "application");
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return Process(id);
}

// Real input through the system's queue, the mouse on the control: `clicks` clicks, then Enter if asked.
bool InputAt(HWND control, int clicks, bool enter = false)
{
    std::vector<INPUT> inputs(2 * clicks + (enter ? 2 : 0));
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const DWORD up = i % 2;
        inputs[i].type = i < std::size_t(2 * clicks) ? INPUT_MOUSE : INPUT_KEYBOARD;
        if (inputs[i].type == INPUT_MOUSE)
            inputs[i].mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
        else
            inputs[i].ki.wVk = VK_RETURN, inputs[i].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    }
    RECT area;
    return GetWindowRect(control, &area) && SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2) &&
           SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

DWORD KiB(const std::string& path) { return DWORD((ReadFileBytes(path).size() + 1023) / 1024); }

// The installed files, the links where chosen and the eight registration values.
void ExpectInstallation(const std::vector<std::string>& links)
{
    const InstallationPaths& paths = Installation();
    EXPECT_TRUE(ReadFileBytes(paths.application) == ReadFileBytes(BuildPath("sample/LumovaraRemote.exe")));
    EXPECT_TRUE(ReadFileBytes(paths.helpFile) == ReadFileBytes(BuildPath("sample/LumovaraRemote.chm")));
    EXPECT_TRUE(ReadFileBytes(paths.uninstaller) == ReadFileBytes(BuildPath("LumovaraSetup.exe")));
    for (const std::string& path :
         {paths.commonStartMenuLink, paths.userStartMenuLink, paths.commonDesktopLink, paths.userDesktopLink}) {
        const ShellLink link = ReadShellLink(path);
        const bool ours = link.loaded && link.target == paths.application && link.description == "VEK Lumovara Remote";
        EXPECT_EQ(std::find(links.begin(), links.end(), path) != links.end(), ours && link.arguments.empty())
            << path << " -> " << link.target << ", " << link.description;
    }
    const std::string command = Sz("\"" + paths.uninstaller + "\"");
    const std::tuple<const char*, DWORD, std::string> values[] = {
        {"DisplayName", REG_SZ, Sz("VEK Lumovara Remote")}, {"DisplayVersion", REG_SZ, Sz("2.0 release candidate 1")},
        {"Publisher", REG_SZ, Sz("VEK")}, {"UninstallString", REG_SZ, command}, {"DisplayIcon", REG_SZ, command},
        {"EstimatedSize", REG_DWORD, Dword(KiB(paths.application) + KiB(paths.helpFile) + KiB(paths.uninstaller))},
        {"NoModify", REG_DWORD, Dword(1)}, {"NoRepair", REG_DWORD, Dword(1)}};
    for (const auto& [name, type, bytes] : values) {
        const RegistryValue value = EntryValue(name);
        EXPECT_TRUE(value.type == type && value.bytes == bytes)
            << name << ": type " << value.type << ", " << value.bytes.size() << " bytes";
    }
    // The icon shown beside the entry, "DisplayIcon": the uninstaller's own, in both sizes.
    HICON icons[2] = {};
    EXPECT_EQ(2u, ExtractIconExA(paths.uninstaller.c_str(), 0, &icons[0], &icons[1], 1));
    for (int i = 0; i < 2; ++i) {
        ICONINFO info = {};
        BITMAP bitmap = {};
        EXPECT_TRUE(icons[i] && GetIconInfo(icons[i], &info) && GetObjectA(info.hbmColor, sizeof bitmap, &bitmap) &&
                    bitmap.bmWidth == 32 >> i && bitmap.bmHeight == 32 >> i)
            << "icon " << i << ": " << bitmap.bmWidth << "x" << bitmap.bmHeight;
        for (HBITMAP part : {info.hbmColor, info.hbmMask})
            DeleteObject(part);
        DestroyIcon(icons[i]);
    }
}

TEST(WholeLife, InstallInstallAgainAndUninstall)
{
    const InstallationPaths& paths = Installation();
    RemoveInstallation();
    // Where an unquoted "C:\Program Files\..." command line would lead.
    ASSERT_TRUE(CopyFileA(BuildPath("tests/record_run.exe").c_str(), "C:\\Program.exe", FALSE));

    RunningSetup setup = StartSetup();
    ASSERT_NE(nullptr, setup.wizard) << "no wizard but: " << setup.box.text;
    HWND wizard = setup.wizard;
    ExpectPage(wizard, kWelcome, "Next", true, "wizard-1-welcome");
    EXPECT_EQ("This installer will install " + kFullName + " on this computer.", ControlText(wizard, IDC_WELCOME_TEXT));
    for (int option : {IDC_START_MENU, IDC_DESKTOP, IDC_ALL_USERS, IDC_START_APP})
        EXPECT_EQ(BST_CHECKED, CheckState(wizard, option)) << option;
    ASSERT_TRUE(Press(wizard, IDOK));
    ExpectPage(wizard, kLicence, "Next", false, "wizard-2-licence");
    const std::string licence = WindowText(FindWindowExA(wizard, nullptr, "RICHEDIT50W", nullptr));
    EXPECT_EQ(0u, licence.find("VEK Lumovara Remote\r")) << "not the licence as rich text: " << licence.substr(0, 80);
    EXPECT_NE(std::string::npos, licence.find("End-User License Agreement"));
    for (int state : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
        ASSERT_TRUE(Press(wizard, IDC_ACCEPT));
        EXPECT_EQ(state == BST_CHECKED, ControlEnabled(wizard, IDOK)) << "Next with the box " << state;
    }
    ASSERT_TRUE(Press(wizard, IDOK));
    ExpectPage(wizard, kOptions, "Install", true, "wizard-3-options");
    ASSERT_TRUE(InputAt(GetDlgItem(wizard, IDOK), 2, true));  // a double-click on Install, then Enter
    ASSERT_TRUE(WaitFor([&] { return OnFinishPage(wizard); }));
    ExpectPage(wizard, kFinish, "Finish", true, "wizard-4-finish");
    // The stray click and Enter had their turn before this click: the wizard stays on its last page.
    ASSERT_TRUE(InputAt(GetDlgItem(wizard, IDC_START_APP), 1));
    ASSERT_TRUE(WaitFor([&] { return IsWindow(wizard) && CheckState(wizard, IDC_START_APP) == BST_UNCHECKED; }))
        << "stray input pressed Finish";
    EXPECT_EQ(kSuccess, ControlText(wizard, IDC_STATUS));
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(GetDlgItem(wizard, IDC_PROGRESS), PBM_GETPOS, 0, 0) == 100; }));
    // With Cancel disabled, the close box and WM_CLOSE are refused.  Two flips of
    // the hidden acceptance box, posted after them, show they were handled.
    PostMessageA(wizard, WM_CLOSE, 0, 0);
    PostMessageA(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
    for (int state : {BST_UNCHECKED, BST_CHECKED}) {
        PostMessageA(GetDlgItem(wizard, IDC_ACCEPT), BM_SETCHECK, state, 0);
        ASSERT_TRUE(WaitFor([&] { return CheckState(wizard, IDC_ACCEPT) == state; }));
    }
    ASSERT_TRUE(setup.process.Running()) << "a close request ended the wizard on its last page";
    ASSERT_EQ(0, Finish(setup, true));
    Process application = StartedApplication();
    ExpectInstallation({paths.commonStartMenuLink, paths.commonDesktopLink});

    // Again: the question, No, and an installation over the running application,
    // per user and on the Desktop only.  Our values are rewritten, others kept.
    ASSERT_TRUE(WriteFileBytes(paths.helpFile, "old"));
    ASSERT_TRUE(WriteFileBytes(paths.installDirectory + "\\notes.txt", "mine"));
    ASSERT_TRUE(WriteFileBytes(paths.commonStartMenuFolder + "\\Other.lnk", "another product's"));
    ASSERT_TRUE(WriteRegistryValue(kUninstallKey, "Comments", REG_SZ, Sz("foreign")));
    ASSERT_TRUE(WriteRegistryValue(kUninstallKey, "NoRepair", REG_DWORD, Dword(0)));
    const std::string unsavedCopy = ScratchFolder() + "\\LumovaraRemote.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("tests/prompting_app.exe").c_str(), unsavedCopy.c_str(), FALSE));
    Process unsaved(unsavedCopy), browser(BuildPath("tests/prompting_app.exe"));
    HWND browserWindow = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        browserWindow = FindWindowA("PromptingApp", "VEK Lumovara Remote - Download");
        return browserWindow && FindWindowA("PromptingApp", "VEK Lumovara Remote");
    }));
    setup = StartSetup();
    EXPECT_EQ(kFullName + " is already installed. Do you want to uninstall " + kFullName + " now?", setup.box.text);
    EXPECT_EQ("VEK Lumovara Remote Setup", setup.box.title);
    Screenshot(setup.box.window, "startup-question");
    ASSERT_TRUE(Answer(setup.box, IDNO));
    ASSERT_TRUE((setup.wizard = WaitForWizard(setup.process.id())) && WalkToOptions(setup.wizard));
    ASSERT_TRUE(SetOption(setup.wizard, IDC_START_MENU, false) && SetOption(setup.wizard, IDC_ALL_USERS, false));
    ASSERT_TRUE(Click(setup.wizard, IDOK));
    const auto keepWorking = [&] { return Answer(WaitForMessageBox(unsaved.id()), IDCANCEL); };  // "save changes?"
    ASSERT_TRUE(keepWorking()) << "the unsaved copy was not asked";
    ASSERT_TRUE(WaitFor([&] { return OnFinishPage(setup.wizard); }));
    EXPECT_TRUE(unsaved.Running()) << "the copy whose person kept working was ended";
    EXPECT_EQ(kSuccess, ControlText(setup.wizard, IDC_STATUS));
    EXPECT_EQ(0, application.Wait()) << "the running application was not closed by its request";
    EXPECT_TRUE(IsWindowEnabled(browserWindow)) << "the browser was asked to close";
    ExpectInstallation({paths.commonStartMenuLink, paths.commonDesktopLink, paths.userDesktopLink});
    EXPECT_EQ(Sz("foreign"), EntryValue("Comments").bytes);
    ASSERT_EQ(0, Finish(setup, true));
    application = StartedApplication();

    // Uninstall from Uninstall.exe while the application runs.
    Process uninstaller(paths.uninstaller);
    MessageBoxInfo box;
    ASSERT_TRUE((box = WaitForMessageBox(uninstaller.id())).window);
    EXPECT_EQ("Do you want to uninstall " + kFullName + " now?", box.text);
    Screenshot(box.window, "uninstall-question");
    ASSERT_TRUE(Answer(box, IDYES) && keepWorking());
    ASSERT_TRUE((box = WaitForMessageBox(uninstaller.id(), kUninstalled)).window);
    EXPECT_TRUE(unsaved.Running()) << "the copy whose person kept working was ended";
    unsaved.End();
    EXPECT_EQ("VEK Lumovara Remote Setup", box.title) << box.text;
    Screenshot(box.window, "uninstalled");
    EXPECT_EQ(0, application.Wait()) << "the running application was not closed by its request";
    EXPECT_TRUE(IsWindowEnabled(browserWindow)) << "the browser was asked to close";
    browser.End();
    EXPECT_TRUE(FileExists(paths.uninstaller)) << "in use until the program ends";
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(0, uninstaller.Wait());
    char script[MAX_PATH];
    sprintf(script + GetTempPathA(MAX_PATH, script), "lvremote_uninstall_%lu.bat", uninstaller.id());
    const auto done = [&] { return !FileExists(paths.uninstaller) && !FileExists(script) && JobProcesses().empty(); };
    EXPECT_TRUE(WaitFor(done)) << "Uninstall.exe, its script or their command processor stayed";
    for (const std::string& gone : {paths.application, paths.helpFile, paths.commonStartMenuLink,
                                    paths.commonDesktopLink, paths.userDesktopLink, paths.userStartMenuFolder})
        EXPECT_FALSE(FileExists(gone)) << gone;
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey));
    EXPECT_EQ("mine", ReadFileBytes(paths.installDirectory + "\\notes.txt"));
    EXPECT_TRUE(FileExists(paths.commonStartMenuFolder + "\\Other.lnk"));
    RemoveTree("C:\\Program.exe");
    RemoveInstallation();
}

// The batch files in the user's and the system's temporary folders.
std::set<std::string> BatchFiles()
{
    char user[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, user);
    GetWindowsDirectoryA(system, MAX_PATH);
    std::set<std::string> found = Files(user + std::string("*.bat"));
    found.merge(Files(system + std::string("\\Temp\\*.bat")));
    return found;
}

// The person keeps working in the installed application itself, which asks
// to save its work: its file cannot go, so the uninstall removes the rest but
// keeps the entry and Uninstall.exe, and says so.  Once the application has
// ended, the uninstall runs again from the same entry and completes.
TEST(KeptApplication, UninstallIsIncompleteAndCanBeRunAgain)
{
    const InstallationPaths& paths = Installation();
    RemoveInstallation();
    RunningSetup setup = StartSetup();
    ASSERT_TRUE(setup.wizard && WalkToOptions(setup.wizard) && SetOption(setup.wizard, IDC_ALL_USERS, false));
    ASSERT_EQ(nullptr, Install(setup).window);
    ASSERT_EQ(0, Finish(setup, false));
    ASSERT_TRUE(CopyFileA(BuildPath("tests/prompting_app.exe").c_str(), paths.application.c_str(), FALSE));
    Process kept(paths.application);
    ASSERT_TRUE(WaitFor([&] { return ShowsWindow(kept.id()); }));
    const std::set<std::string> batchFiles = BatchFiles();

    for (bool keepWorking : {true, false}) {
        if (!keepWorking)
            kept.End();
        Process uninstaller(paths.uninstaller);
        const MessageBoxInfo question = WaitForMessageBox(uninstaller.id());
        ASSERT_TRUE(Answer(question, IDYES));
        ASSERT_TRUE(!keepWorking || Answer(WaitForMessageBox(kept.id()), IDCANCEL));
        MessageBoxInfo box;  // the answer is posted: the question may still show for a moment
        const auto next = [&] {
            return !(box = FindMessageBox(uninstaller.id())).text.empty() && box.text != question.text;
        };
        ASSERT_TRUE(WaitFor(next));
        EXPECT_EQ(keepWorking ? "VEK Lumovara Remote could not be removed completely: some of its files are in use. "
                                "Close Lumovara Remote and uninstall it again."
                              : "VEK Lumovara Remote has been uninstalled.",
                  box.text);
        ASSERT_TRUE(Answer(box, IDOK));
        EXPECT_EQ(keepWorking ? 1603 : 0, uninstaller.Wait());
        EXPECT_EQ(keepWorking, kept.Running()) << "the copy whose person kept working was ended";
        // No script is started for an uninstall left incomplete (the kept copy is the job's one process).
        EXPECT_TRUE(keepWorking ? FileExists(paths.uninstaller)
                                : WaitFor([&] { return !FileExists(paths.uninstaller) && JobProcesses().empty(); }))
            << "Uninstall.exe or the script's command processor";
        EXPECT_EQ(batchFiles, BatchFiles()) << "a script stayed";
        EXPECT_EQ(keepWorking, FileExists(paths.application));
        EXPECT_EQ(keepWorking ? Sz("\"" + paths.uninstaller + "\"") : "", EntryValue("UninstallString").bytes);
        for (const std::string& gone :
             {paths.helpFile, paths.userStartMenuLink, paths.userDesktopLink, paths.userStartMenuFolder})
            EXPECT_FALSE(FileExists(gone)) << gone;
    }
    RemoveInstallation();
}

// tests/harness/run-as-user runs this as "Łukasz" on code page 1252: the
// setup program, started from that user's Downloads folder, installs for that
// user with both links in the user's real folders; Uninstall.exe removes them,
// and its script removes Uninstall.exe and itself.
TEST(ForeignUserName, InstallFromDownloadsAndUninstall)
{
    char profile[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE);
    if (std::all_of(profile, profile + std::strlen(profile), [](unsigned char c) { return c < 0x80; }))
        GTEST_SKIP() << "for a user name outside the ANSI code page (tests/harness/run-as-user), not " << profile;
    ASSERT_EQ(UINT(CP_UTF8), GetACP()) << "this program would see best-fit paths itself";
    const InstallationPaths& paths = Installation();
    RemoveInstallation();
    const std::string downloaded = std::string(profile) + "\\Downloads\\LumovaraSetup.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), downloaded.c_str(), FALSE));

    RunningSetup setup = StartSetup(downloaded);
    ASSERT_TRUE(setup.wizard && WalkToOptions(setup.wizard) && SetOption(setup.wizard, IDC_ALL_USERS, false));
    ASSERT_EQ(nullptr, Install(setup).window);
    EXPECT_EQ(kSuccess, ControlText(setup.wizard, IDC_STATUS));
    ASSERT_EQ(0, Finish(setup, false));
    for (const std::string& link : {paths.userStartMenuLink, paths.userDesktopLink})
        EXPECT_EQ(0u, link.find(std::string(profile) + "\\")) << link;
    ExpectInstallation({paths.userStartMenuLink, paths.userDesktopLink});

    const std::set<std::string> batchFiles = BatchFiles();
    Process uninstaller(paths.uninstaller);
    ASSERT_TRUE(Answer(WaitForMessageBox(uninstaller.id()), IDYES));
    ASSERT_TRUE(Answer(WaitForMessageBox(uninstaller.id(), kUninstalled), IDOK));
    EXPECT_EQ(0, uninstaller.Wait());
    EXPECT_TRUE(WaitFor([&] { return !FileExists(paths.uninstaller) && JobProcesses().empty(); }))
        << "Uninstall.exe or the script's command processor stayed";
    EXPECT_EQ(batchFiles, BatchFiles()) << "the script stayed";
    for (const std::string& gone : {paths.userStartMenuLink, paths.userDesktopLink, paths.userStartMenuFolder})
        EXPECT_FALSE(FileExists(gone)) << gone;
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey));
    RemoveTree(downloaded);
    RemoveInstallation();
}

}  // namespace
