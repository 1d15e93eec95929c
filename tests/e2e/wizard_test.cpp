// The wizard off the whole life's road: the ways it ends before installing, its
// title font at another DPI, and the resources it is built with.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Cancel on the welcome page, a close request on the licence page and the close
// box on the options page each end the program, with nothing installed.
TEST(Wizard, CancelAndCloseRequestsEndItBeforeInstalling)
{
    RemoveInstallation();
    for (int page = 0; page < 3; ++page) {
        RunningSetup setup = StartSetup();
        ASSERT_TRUE(setup.wizard && (page == 0 || Press(setup.wizard, IDOK)));
        ASSERT_TRUE(page < 2 || (Press(setup.wizard, IDC_ACCEPT) && Press(setup.wizard, IDOK)));
        const UINT requests[] = {WM_COMMAND, WM_CLOSE, WM_SYSCOMMAND};
        PostMessageA(setup.wizard, requests[page], page == 0 ? IDCANCEL : SC_CLOSE, 0);
        EXPECT_EQ(0, setup.process.Wait()) << "page " << page;
    }
    EXPECT_FALSE(FileExists(Installation().installDirectory) || RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The box around the pixels clearly unlike the top-left one (anti-aliased fringes do not count).
RECT Ink(const Pixels& pixels)
{
    RECT box = {pixels.width, pixels.height, -1, -1};
    for (int i = 0; i < int(pixels.rgb.size()); ++i) {
        int distance = 0;
        for (int shift : {0, 8, 16})
            distance += std::abs(int((pixels.rgb[i] >> shift) & 0xFF) - int((pixels.rgb[0] >> shift) & 0xFF));
        const LONG x = i % pixels.width, y = i / pixels.width;
        if (distance > 192)
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
    }
    return box;
}

// The ink of `text` drawn as the heading draws it, in bold Verdana of `height`, on `area`.
RECT RenderedInk(const std::string& text, LONG height, const Pixels& area)
{
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, area.width, area.height);
    HFONT font = CreateFontA(height, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Verdana");
    SelectObject(memory, bitmap);
    SelectObject(memory, font);
    RECT rect = {0, 0, area.width, area.height};
    FillRect(memory, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawTextA(memory, text.c_str(), -1, &rect, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK);
    RECT ink = Ink(ReadPixels(memory, rect));
    DeleteDC(memory);
    DeleteObject(font);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return ink;
}

// Another process's font cannot be read under Wine (WM_GETFONT answers 0), so
// the heading is measured by its ink: 12 points at 144 DPI are 24 pixels.
TEST(Wizard, TheTitleIsTwelvePointBoldVerdanaAtTheWindowsDpi)
{
    const char* const key = "Control Panel\\Desktop";  // Wine reads the DPI from here when a program starts
    const RegistryValue saved = ReadRegistryValue(HKEY_CURRENT_USER, key, "LogPixels");
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, key, "LogPixels", REG_DWORD, Dword(144)));
    RunningSetup setup = StartSetup();
    if (saved.exists)
        WriteRegistryValue(HKEY_CURRENT_USER, key, "LogPixels", saved.type, saved.bytes);
    else
        RegDeleteKeyValueA(HKEY_CURRENT_USER, key, "LogPixels");
    ASSERT_NE(nullptr, setup.wizard);
    HWND heading = GetDlgItem(setup.wizard, IDC_HEADING);
    Pixels shown = Capture(heading);
    RECT expected = RenderedInk(WindowText(heading), -24, shown), ink = {};
    for (LONG other : {-23, -25}) {
        RECT neighbour = RenderedInk(WindowText(heading), other, shown);
        ASSERT_FALSE(EqualRect(&expected, &neighbour)) << "the measure cannot tell " << other << " from -24";
    }
    EXPECT_TRUE(WaitFor([&] { return ink = Ink(Capture(heading)), EqualRect(&expected, &ink); }, 5000))
        << "ink " << ink.right - ink.left << " x " << ink.bottom - ink.top << ", expected "
        << expected.right - expected.left << " x " << expected.bottom - expected.top;
    Screenshot(setup.wizard, "wizard-1-welcome-144-dpi");
    ASSERT_TRUE(Click(setup.wizard, IDCANCEL));
    EXPECT_EQ(0, setup.process.Wait());
}

TEST(SetupProgram, ManifestLicenceAndIconAreBuiltIn)
{
    HMODULE image = LoadLibraryExA(BuildPath("LumovaraSetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    auto resource = [image](LPCSTR type, int id) {
        HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(id), type);
        return std::string(static_cast<const char*>(LockResource(LoadResource(image, found))), SizeofResource(image, found));
    };
    for (const char* part : {"level=\"requireAdministrator\"", "uiAccess=\"false\"", "Microsoft.Windows.Common-Controls",
                             "version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\"", ">True/PM</dpiAware>"})
        EXPECT_NE(std::string::npos, resource(RT_MANIFEST, 1).find(part)) << part;
    for (const char* part : {"{\\rtf1\\ansi", "{\\fonttbl", "{\\colortbl", "{\\stylesheet"})
        EXPECT_NE(std::string::npos, resource(RT_RCDATA, IDR_LICENCE).find(part)) << part;
    EXPECT_FALSE(resource(RT_GROUP_ICON, IDI_SETUP).empty());
    FreeLibrary(image);
}

}  // namespace
