// The setup wizard, driven through the built program by its buttons: what each
// page shows, how Next, Cancel and the close box act on it, the licence viewer,
// the title font at two DPIs, and the wizard without its rich edit library or
// its licence text.
#include "resources/resource.h"
#include "tests/support/installation.h"
#include "tests/support/pe_resources.h"
#include "tests/support/registry.h"
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace {

const char kWelcomeText[] =
    "This installer will install VEK Lumovara Remote 2.0 release candidate 1 on this computer.";

enum Page { kWelcome, kLicence, kOptions, kFinish };

// The page view: which controls each page shows.  IDOK, IDCANCEL and the heading
// are always shown; the placeholder 1006 never is.
struct ControlView {
    int id;
    const char* name;
    bool shownOn[4];
};
const ControlView kControlViews[] = {
    {IDC_HEADING, "heading", {true, true, true, true}},
    {IDC_WELCOME_TEXT, "welcome text", {true, false, false, false}},
    {IDC_LICENCE_LABEL, "licence label", {false, true, false, false}},
    {IDC_LICENCE_PLACEHOLDER, "placeholder", {false, false, false, false}},
    {IDC_ACCEPT, "acceptance box", {false, true, false, false}},
    {IDC_START_MENU, "Start Menu option", {false, false, true, false}},
    {IDC_DESKTOP, "Desktop option", {false, false, true, false}},
    {IDC_ALL_USERS, "all-users option", {false, false, true, false}},
    {IDC_PROGRESS, "progress bar", {false, false, false, true}},
    {IDC_STATUS, "status line", {false, false, false, true}},
    // Hidden until the installation has ended; page 3 is only seen after it.
    {IDC_START_APP, "Start box", {false, false, false, true}},
    {IDOK, "IDOK", {true, true, true, true}},
    {IDCANCEL, "IDCANCEL", {true, true, true, true}},
};

HWND LicenceViewer(HWND wizard)
{
    return ui::FindChild(wizard, "RICHEDIT50W");
}

// Every control's visibility, the viewer's and the buttons' text and state on `page`.
void ExpectPageView(HWND wizard, Page page, bool accepted = false)
{
    SCOPED_TRACE("page " + std::to_string(page));
    for (const ControlView& view : kControlViews)
        EXPECT_EQ(view.shownOn[page], ui::ControlVisible(wizard, view.id)) << view.name;
    HWND viewer = LicenceViewer(wizard);
    if (viewer != nullptr) {
        EXPECT_EQ(page == kLicence, (GetWindowLongA(viewer, GWL_STYLE) & WS_VISIBLE) != 0);
    }

    const char* okText[] = {"Next", "Next", "Install", "Finish"};
    EXPECT_EQ(okText[page], ui::ControlText(wizard, IDOK));
    EXPECT_EQ(page != kLicence || accepted, ui::ControlEnabled(wizard, IDOK));
    EXPECT_EQ(page != kFinish, ui::ControlEnabled(wizard, IDCANCEL));
    EXPECT_EQ("Cancel", ui::ControlText(wizard, IDCANCEL));
}

// No two visible controls of the page cover each other.
void ExpectNoOverlap(HWND wizard)
{
    std::vector<std::pair<HWND, RECT>> shown;
    for (HWND child = GetWindow(wizard, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect;
        if ((GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) && GetWindowRect(child, &rect))
            shown.emplace_back(child, rect);
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            RECT common;
            EXPECT_FALSE(IntersectRect(&common, &shown[i].second, &shown[j].second))
                << "controls " << GetDlgCtrlID(shown[i].first) << " and "
                << GetDlgCtrlID(shown[j].first) << " overlap";
        }
    }
}

// The bounding box of the text's ink: pixels clearly unlike the background (the
// top-left pixel), so that anti-aliased fringes do not count.
struct InkBox {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool operator==(const InkBox& other) const
    {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
    bool operator!=(const InkBox& other) const { return !(*this == other); }
};

std::ostream& operator<<(std::ostream& out, const InkBox& box)
{
    return out << box.left << "," << box.top << " to " << box.right << "," << box.bottom;
}

InkBox InkOf(const ui::Pixels& pixels)
{
    InkBox box{pixels.width, pixels.height, -1, -1};
    if (pixels.rgb.empty())
        return box;
    DWORD background = pixels.at(0, 0);
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) {
            DWORD pixel = pixels.at(x, y);
            int distance = 0;
            for (int shift : {0, 8, 16})
                distance += std::abs(int((pixel >> shift) & 0xFF) - int((background >> shift) & 0xFF));
            if (distance > 192) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    return box;
}

// The ink of `text` drawn as a left-aligned static control draws it, in a bold
// "Verdana" of the given height, on an area of the given size.
InkBox RenderedInk(const std::string& text, LONG height, int width, int areaHeight)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, areaHeight);
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    RECT area = {0, 0, width, areaHeight};
    FillRect(memory, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = ANSI_CHARSET;
    lstrcpynA(font.lfFaceName, "Verdana", LF_FACESIZE);
    HFONT handle = CreateFontIndirectA(&font);
    HGDIOBJ previousFont = SelectObject(memory, handle);
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, RGB(0, 0, 0));
    DrawTextA(memory, text.c_str(), -1, &area, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK);
    ui::Pixels pixels = ui::ReadPixels(memory, area);
    SelectObject(memory, previousFont);
    DeleteObject(handle);
    SelectObject(memory, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return InkOf(pixels);
}

// Another process's font handle cannot be read under Wine (WM_GETFONT across
// processes answers 0), so the heading is checked by what it shows: its ink on
// the screen must be exactly that of its text in bold "Verdana" of `height`,
// and the measure must tell that height from its neighbours.
void ExpectTitleFont(HWND wizard, LONG height)
{
    HWND heading = GetDlgItem(wizard, IDC_HEADING);
    ui::Pixels shown = ui::CaptureWindow(heading);
    ASSERT_FALSE(shown.rgb.empty());
    std::string text = ui::WindowText(heading);
    InkBox expected = RenderedInk(text, height, shown.width, shown.height);
    ASSERT_NE(expected, RenderedInk(text, height - 1, shown.width, shown.height));
    ASSERT_NE(expected, RenderedInk(text, height + 1, shown.width, shown.height));
    EXPECT_EQ(expected, InkOf(shown)) << "the heading is not drawn in bold Verdana of height "
                                      << height;
}

// Waits until the wizard has handled every message queued for it so far (such as
// the IDCANCEL command that the default dialog handling posts for a close
// request): flips the hidden acceptance box by posted messages and waits for them.
void WaitForQueuedMessages(HWND wizard)
{
    HWND box = GetDlgItem(wizard, IDC_ACCEPT);
    int before = ui::CheckState(wizard, IDC_ACCEPT);
    int flipped = before == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    for (int state : {flipped, before}) {
        PostMessageA(box, BM_SETCHECK, WPARAM(state), 0);
        ui::WaitUntil([&] { return !IsWindow(wizard) || ui::CheckState(wizard, IDC_ACCEPT) == state; },
                      5000);
    }
}

bool ApplicationRunning()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, "LumovaraRemote.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

void ExpectNothingInstalled()
{
    InstallationPaths paths = Installation();
    for (const std::string& path :
         {paths.programFiles + "\\VEK", paths.userStartMenuFolder, paths.commonStartMenuFolder,
          paths.userDesktopLink, paths.commonDesktopLink})
        EXPECT_FALSE(FileExists(path)) << path;
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(ApplicationRunning());
}

class Wizard : public testing::Test {
protected:
    void SetUp() override { RemoveInstallationTraces(); }
    void TearDown() override
    {
        CloseSetup(setup_);
        // An application started on Finish would keep the test's output open.
        ui::EndProgramsWithWindowClass("LumovaraRemoteSample");
    }

    HWND StartWizard(const std::string& program = SetupProgramPath())
    {
        setup_ = ui::Start(program);
        EXPECT_TRUE(setup_.started());
        HWND wizard = WaitForWizard(setup_.id());
        EXPECT_NE(nullptr, wizard);
        return wizard;
    }

    // Next from the welcome page to `page`, accepting the licence on the way.
    void GoTo(HWND wizard, Page page)
    {
        if (page >= kLicence) {
            ASSERT_TRUE(ui::Press(wizard, IDOK));
        }
        if (page >= kOptions) {
            ASSERT_TRUE(ui::Press(wizard, IDC_ACCEPT));
            ASSERT_TRUE(ui::Press(wizard, IDOK));
        }
    }

    void ExpectExitWithZero()
    {
        DWORD exitCode = 99;
        ASSERT_TRUE(setup_.WaitForExit(10000, &exitCode)) << "the setup program is still running";
        EXPECT_EQ(0u, exitCode);
    }

    ui::Process setup_;
};

TEST_F(Wizard, WalksEveryPageToAFailedInstallAndFinish)
{
    // Another program holds the application's file, so the installation fails.
    InstallationPaths paths = Installation();
    SHCreateDirectoryExA(nullptr, paths.installDirectory.c_str(), nullptr);
    ui::FileHolder holder(paths.application);
    ASSERT_TRUE(holder.holding());

    HWND wizard = StartWizard();
    ASSERT_NE(nullptr, wizard);

    // Welcome: the text formatted at start, never the template's; the options preset.
    ExpectPageView(wizard, kWelcome);
    EXPECT_EQ(kWelcomeText, ui::ControlText(wizard, IDC_WELCOME_TEXT));
    EXPECT_EQ("Lumovara Remote Setup", ui::ControlText(wizard, IDC_HEADING));
    ExpectTitleFont(wizard, -16);
    for (int option : {IDC_START_MENU, IDC_DESKTOP, IDC_ALL_USERS, IDC_START_APP})
        EXPECT_EQ(BST_CHECKED, ui::CheckState(wizard, option)) << option;
    EXPECT_EQ(BST_UNCHECKED, ui::CheckState(wizard, IDC_ACCEPT));
    ExpectNoOverlap(wizard);
    ui::SaveScreenshot(wizard, "e2e-wizard-1-welcome");

    // Licence: the viewer over the placeholder, holding our licence as rich text.
    ASSERT_TRUE(ui::Press(wizard, IDOK));
    ExpectPageView(wizard, kLicence);
    HWND viewer = LicenceViewer(wizard);
    ASSERT_NE(nullptr, viewer) << "no licence viewer";
    EXPECT_EQ(0x50210844, GetWindowLongA(viewer, GWL_STYLE));
    EXPECT_EQ(WS_EX_CLIENTEDGE, GetWindowLongA(viewer, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(0, GetDlgCtrlID(viewer));
    RECT viewerRect, placeholderRect;
    GetWindowRect(viewer, &viewerRect);
    GetWindowRect(GetDlgItem(wizard, IDC_LICENCE_PLACEHOLDER), &placeholderRect);
    EXPECT_TRUE(EqualRect(&viewerRect, &placeholderRect));
    std::string licence = ui::WindowText(viewer);
    EXPECT_EQ(0u, licence.find("VEK Lumovara Remote\r")) << licence.substr(0, 80);
    EXPECT_NE(std::string::npos, licence.find("End-User License Agreement"));
    EXPECT_NE(std::string::npos, licence.find("9. Entire agreement"));
    EXPECT_NE(std::string::npos, licence.find("2026 VEK. All rights reserved."));
    EXPECT_EQ(std::string::npos, licence.find("\\rtf")) << "RTF shown as plain text";
    ExpectNoOverlap(wizard);

    // Next follows the acceptance box, each time it changes.
    for (int state : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
        ASSERT_TRUE(ui::Press(wizard, IDC_ACCEPT));
        EXPECT_EQ(state, ui::CheckState(wizard, IDC_ACCEPT));
        EXPECT_EQ(state == BST_CHECKED, ui::ControlEnabled(wizard, IDOK));
    }
    ExpectPageView(wizard, kLicence, true);
    ui::SaveScreenshot(wizard, "e2e-wizard-2-licence");

    // Options: all three chosen, Install.
    ASSERT_TRUE(ui::Press(wizard, IDOK));
    ExpectPageView(wizard, kOptions);
    for (int option : {IDC_START_MENU, IDC_DESKTOP, IDC_ALL_USERS})
        EXPECT_EQ(BST_CHECKED, ui::CheckState(wizard, option)) << option;
    ExpectNoOverlap(wizard);
    ui::SaveScreenshot(wizard, "e2e-wizard-3-options");

    // Install fails: the failure text, Finish, Cancel disabled for good.
    ASSERT_TRUE(ui::Click(wizard, IDOK));
    ASSERT_TRUE(WaitForFinishButton(wizard));
    ExpectPageView(wizard, kFinish);
    EXPECT_EQ("The install operation did fail!", ui::ControlText(wizard, IDC_STATUS));
    EXPECT_EQ(BST_CHECKED, ui::CheckState(wizard, IDC_START_APP));
    ExpectNoOverlap(wizard);
    ui::SaveScreenshot(wizard, "e2e-wizard-4-finish");

    // The close box and WM_CLOSE are refused now that Cancel is disabled.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(wizard, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    WaitForQueuedMessages(wizard);
    SendMessageTimeoutA(wizard, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG, 5000, &result);
    WaitForQueuedMessages(wizard);
    ASSERT_TRUE(setup_.Running()) << "a close request ended the wizard on the last page";
    ExpectPageView(wizard, kFinish);

    // Finish ends the program and starts nothing: the application was never written.
    ASSERT_TRUE(ui::Click(wizard, IDOK));
    ExpectExitWithZero();
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    for (const std::string& path :
         {paths.uninstaller, paths.commonStartMenuFolder, paths.commonDesktopLink})
        EXPECT_FALSE(FileExists(path)) << path;
    EXPECT_FALSE(ApplicationRunning());
}

// Cancel on each of pages 0 to 2, and a close request (WM_CLOSE, or the close
// box's SC_CLOSE), end the wizard with nothing installed.  Close requests reach
// the wizard the same way on every page before the installation, so each is
// tried on one page only to keep the run short.
TEST_F(Wizard, CancelAndCloseRequestsEndTheWizardBeforeInstall)
{
    enum Way { kCancelButton, kCloseMessage, kCloseBox };
    const std::pair<Page, Way> cases[] = {
        {kWelcome, kCancelButton}, {kLicence, kCancelButton}, {kOptions, kCancelButton},
        {kWelcome, kCloseBox},     {kLicence, kCloseMessage}, {kOptions, kCloseBox},
    };
    for (auto [page, way] : cases) {
        SCOPED_TRACE("page " + std::to_string(page) + ", way " + std::to_string(way));
        HWND wizard = StartWizard();
        ASSERT_NE(nullptr, wizard);
        GoTo(wizard, page);
        ExpectPageView(wizard, page, page == kOptions);
        if (way == kCancelButton)
            ASSERT_TRUE(ui::Click(wizard, IDCANCEL));
        else if (way == kCloseMessage)
            ASSERT_TRUE(PostMessageA(wizard, WM_CLOSE, 0, 0));
        else
            ASSERT_TRUE(PostMessageA(wizard, WM_SYSCOMMAND, SC_CLOSE, 0));
        ExpectExitWithZero();
        ExpectNothingInstalled();
    }
}

// The prefix's DPI, as Wine reads it at a program's start.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi)
    {
        saved_ = ReadRegistryValue(HKEY_CURRENT_USER, kKey, kName);
        SetRegistryValue(HKEY_CURRENT_USER, kKey, kName, REG_DWORD,
                         std::string(reinterpret_cast<const char*>(&dpi), sizeof dpi));
    }
    ~ScreenDpi()
    {
        if (saved_.exists)
            SetRegistryValue(HKEY_CURRENT_USER, kKey, kName, saved_.type, saved_.bytes);
        else
            DeleteRegistryValue(HKEY_CURRENT_USER, kKey, kName);
    }

private:
    static constexpr const char* kKey = "Control Panel\\Desktop";
    static constexpr const char* kName = "LogPixels";
    RegistryValue saved_;
};

TEST_F(Wizard, TheTitleFontIsTwelvePointsAtTheWindowsDpi)
{
    {
        ScreenDpi dpi(144);
        HWND wizard = StartWizard();
        ASSERT_NE(nullptr, wizard);
        ExpectTitleFont(wizard, -24);
        ExpectNoOverlap(wizard);
        ui::SaveScreenshot(wizard, "e2e-wizard-144dpi");
        CloseSetup(setup_);
    }
    HWND wizard = StartWizard();
    ASSERT_NE(nullptr, wizard);
    ExpectTitleFont(wizard, -16);
}

// Wine's per-program DLL override: `dll` is disabled for programs named
// `programName` while this lives, as on a system that lacks the library.
class DisabledDll {
public:
    DisabledDll(const std::string& programName, const std::string& dll)
        : key_("Software\\Wine\\AppDefaults\\" + programName)
    {
        EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, key_ + "\\DllOverrides", dll, ""));
    }
    ~DisabledDll() { DeleteRegistryTree(HKEY_CURRENT_USER, key_); }

private:
    std::string key_;
};

TEST_F(Wizard, WithoutTheRichEditLibraryTheLicencePageStillWorks)
{
    const std::string name = "LumovaraSetupNoRichEdit.exe";
    std::string copy = MakeScratchFolder("no-rich-edit") + "\\" + name;
    ASSERT_TRUE(CopyFileA(SetupProgramPath().c_str(), copy.c_str(), FALSE));
    DisabledDll noRichEdit(name, "msftedit");

    HWND wizard = StartWizard(copy);
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(ui::Press(wizard, IDOK));
    EXPECT_EQ(nullptr, LicenceViewer(wizard));
    ExpectPageView(wizard, kLicence);
    ui::SaveScreenshot(wizard, "e2e-wizard-licence-without-viewer");
    ASSERT_TRUE(ui::Press(wizard, IDC_ACCEPT));
    ExpectPageView(wizard, kLicence, true);
    ASSERT_TRUE(ui::Press(wizard, IDOK));
    ExpectPageView(wizard, kOptions);
    ASSERT_TRUE(ui::Click(wizard, IDOK));
    ASSERT_TRUE(WaitForFinishButton(wizard));
    ExpectPageView(wizard, kFinish);
    ASSERT_TRUE(ui::Click(wizard, IDOK));
    ExpectExitWithZero();
    RemoveTree(MakeScratchFolder("no-rich-edit"));
}

// A copy of the program with the licence resource taken out: the viewer is
// there but empty, and the wizard works as before.
TEST_F(Wizard, WithoutTheLicenceTextTheViewerStaysEmpty)
{
    std::string copy = MakeScratchFolder("no-licence") + "\\LumovaraSetup.exe";
    ASSERT_TRUE(CopyFileA(SetupProgramPath().c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(RemoveResource(copy, RT_RCDATA, MAKEINTRESOURCEA(IDR_LICENCE)));
    HMODULE image = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(nullptr, FindResourceA(image, MAKEINTRESOURCEA(IDR_LICENCE), RT_RCDATA));
    EXPECT_NE(nullptr, FindResourceA(image, MAKEINTRESOURCEA(IDD_WIZARD), RT_DIALOG));
    FreeLibrary(image);

    HWND wizard = StartWizard(copy);
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(ui::Press(wizard, IDOK));
    HWND viewer = LicenceViewer(wizard);
    ASSERT_NE(nullptr, viewer);
    EXPECT_EQ("", ui::WindowText(viewer));
    ExpectPageView(wizard, kLicence);
    ASSERT_TRUE(ui::Press(wizard, IDC_ACCEPT));
    ASSERT_TRUE(ui::Press(wizard, IDOK));
    ExpectPageView(wizard, kOptions);
    ASSERT_TRUE(ui::Click(wizard, IDCANCEL));
    ExpectExitWithZero();
    RemoveTree(MakeScratchFolder("no-licence"));
}

}  // namespace
