// Legacy 1.x removal under Wine: which uninstall entries match, which command
// wins, and what the offer does on Yes, on No and when there is nothing.
#include "app/application_path.h"
#include "maintenance/legacy.h"
#include "resources/resource.h"
#include "tests/support/installation.h"
#include "tests/support/message_box_answerer.h"
#include "tests/support/registry.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const std::string kRoot64 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// For a 64-bit process the 32-bit installers' root is just another key path.
const std::string kRoot32 = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Enumerated in this order (the registry lists subkeys sorted by name).
const char* const kEntries[] = {"lvtest-legacy-a", "lvtest-legacy-b"};
const std::string kQuestion = "An installation of Lumovara Remote 1.4x was found. Remove it now?";

struct Entry {
    std::string name = "VEK Lumovara Remote";
    std::string version = "1.4.2";
    std::string quiet;     // not written when empty and !quietPresent
    bool quietPresent = false;
    std::string command;   // UninstallString, not written when empty
};

void AddEntry(const std::string& root, const std::string& subkey, const Entry& entry)
{
    const std::string key = root + "\\" + subkey;
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, key, "DisplayName", entry.name));
    if (!entry.version.empty()) {
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, key, "DisplayVersion", entry.version));
    }
    if (entry.quietPresent || !entry.quiet.empty()) {
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, key, "QuietUninstallString", entry.quiet));
    }
    if (!entry.command.empty()) {
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, key, "UninstallString", entry.command));
    }
}

void RemoveEntries()
{
    for (const std::string& root : {kRoot64, kRoot32})
        for (const char* subkey : kEntries)
            DeleteRegistryTree(HKEY_LOCAL_MACHINE, root + "\\" + subkey);
}

// The command found, or "<none>".
std::string Found()
{
    char command[260];
    std::memset(command, 'z', sizeof command);
    if (!FindLegacyInstallation(command))
        return command[0] == '\0' ? "<none>" : "<false, command not emptied>";
    return command;
}

class Legacy : public testing::Test {
protected:
    void SetUp() override { RemoveEntries(); }
    void TearDown() override { RemoveEntries(); }
};

TEST_F(Legacy, NothingFoundWithoutAnEntry)
{
    EXPECT_EQ("<none>", Found());
}

TEST_F(Legacy, OnlyTheExactNameWithAOneDotVersionMatches)
{
    struct Case {
        std::string name;
        std::string version;
        bool matches;
    } cases[] = {
        {"VEK Lumovara Remote", "1.0", true},
        {"VEK Lumovara Remote", "1.4.2", true},
        {"VEK Lumovara Remote", "1.", true},
        {"VEK Lumovara Remote", "10.1", false},
        {"VEK Lumovara Remote", " 1.0", false},
        {"VEK Lumovara Remote", "2.0 release candidate 1", false},
        {"VEK Lumovara Remote", "", false},  // no DisplayVersion at all
        {"vek lumovara remote", "1.4.2", false},
        {"VEK Lumovara Remote ", "1.4.2", false},
        {"VEK Lumovara", "1.4.2", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("name \"" + c.name + "\", version \"" + c.version + "\"");
        RemoveEntries();
        Entry entry;
        entry.name = c.name;
        entry.version = c.version;
        entry.command = "legacy.exe /x";
        AddEntry(kRoot64, kEntries[0], entry);
        EXPECT_EQ(c.matches ? "legacy.exe /x" : "<none>", Found());
        // The same in the 32-bit installers' root.
        RemoveEntries();
        AddEntry(kRoot32, kEntries[0], entry);
        EXPECT_EQ(c.matches ? "legacy.exe /x" : "<none>", Found());
    }
}

// Values that fill their buffer without a terminator are not readable.
TEST_F(Legacy, ValuesThatDoNotFitTheirBuffersDoNotCount)
{
    const std::string key = kRoot64 + "\\" + kEntries[0];
    Entry entry;
    entry.command = "legacy.exe";
    AddEntry(kRoot64, kEntries[0], entry);
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayName", REG_SZ,
                                 "VEK Lumovara Remote" + std::string(256 - 19, ' ')));
    EXPECT_EQ("<none>", Found());

    AddEntry(kRoot64, kEntries[0], entry);
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion", REG_SZ,
                                 "1.4" + std::string(29, '9')));
    EXPECT_EQ("<none>", Found());

    // A quiet command that fills 260 bytes: the plain one is used instead.
    AddEntry(kRoot64, kEntries[0], entry);
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString", REG_SZ,
                                 std::string(260, 'q')));
    EXPECT_EQ("legacy.exe", Found());
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString", REG_SZ,
                                 std::string(259, 'q') + '\0'));
    EXPECT_EQ(std::string(259, 'q'), Found());
}

TEST_F(Legacy, QuietCommandComesFirst)
{
    Entry entry;
    entry.quiet = "legacy.exe /quiet";
    entry.command = "legacy.exe";
    AddEntry(kRoot64, kEntries[0], entry);
    EXPECT_EQ("legacy.exe /quiet", Found());
}

TEST_F(Legacy, FirstRootWins)
{
    Entry entry;
    entry.command = "from the 32-bit root";
    AddEntry(kRoot32, kEntries[0], entry);
    entry.command = "from the 64-bit root";
    AddEntry(kRoot64, kEntries[1], entry);
    EXPECT_EQ("from the 64-bit root", Found());
}

// An empty quiet command counts as no command (the plain one is not read),
// and the search goes on to the next entry.
TEST_F(Legacy, FirstMatchingEntryWithAUsableCommandWins)
{
    Entry first;
    first.quietPresent = true;
    first.command = "first.exe";
    AddEntry(kRoot64, kEntries[0], first);
    Entry second;
    second.command = "second.exe";
    AddEntry(kRoot64, kEntries[1], second);
    EXPECT_EQ("second.exe", Found());

    first.quietPresent = false;
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kRoot64 + "\\" + kEntries[0]);
    AddEntry(kRoot64, kEntries[0], first);
    EXPECT_EQ("first.exe", Found());
}

// The offer, with a stand-in wizard holding the three option boxes.
class LegacyOffer : public Legacy {
protected:
    void SetUp() override
    {
        Legacy::SetUp();
        RemoveInstallationTraces();
        folder_ = MakeScratchFolder("legacy uninstaller");
        uninstaller_ = folder_ + "\\legacy uninstaller.exe";
        ASSERT_TRUE(CopyFileA(BuildPath("tests/win32/record_run.exe").c_str(),
                              uninstaller_.c_str(), FALSE));
        application_ = folder_ + "\\LumovaraRemote.exe";
        ASSERT_TRUE(WriteFileBytes(application_, "MZ"));
        RememberApplicationPath(application_.c_str());

        owner_ = CreateWindowExA(0, "STATIC", "VEK Lumovara Remote Setup", WS_OVERLAPPEDWINDOW, 0,
                                 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, owner_);
        for (int id : {IDC_START_MENU, IDC_DESKTOP, IDC_ALL_USERS})
            CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, owner_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        CheckDlgButton(owner_, IDC_START_MENU, BST_CHECKED);
        CheckDlgButton(owner_, IDC_DESKTOP, BST_CHECKED);
    }

    void TearDown() override
    {
        DestroyWindow(owner_);
        RemoveTree(folder_);
        RemoveInstallationTraces();
        Legacy::TearDown();
    }

    void RegisterLegacyUninstaller(const std::string& arguments)
    {
        Entry entry;
        entry.command = "\"" + uninstaller_ + "\" " + arguments;
        AddEntry(kRoot64, kEntries[0], entry);
    }

    std::string Ran() { return ReadFileBytes(uninstaller_ + ".ran"); }
    bool ShortcutsMade()
    {
        InstallationPaths paths = Installation();
        return FileExists(paths.userStartMenuLink) && FileExists(paths.userDesktopLink);
    }
    bool AnyShortcut()
    {
        InstallationPaths paths = Installation();
        return FileExists(paths.userStartMenuLink) || FileExists(paths.userDesktopLink) ||
               FileExists(paths.commonStartMenuLink) || FileExists(paths.commonDesktopLink);
    }

    std::string folder_;
    std::string uninstaller_;
    std::string application_;
    HWND owner_ = nullptr;
};

TEST_F(LegacyOffer, YesRunsTheStoredCommandAndMakesTheShortcutsAgain)
{
    RegisterLegacyUninstaller("/S %TEMP%");
    MessageBoxAnswerer answerer(IDYES);
    OfferLegacyRemoval(owner_);
    ui::MessageBoxInfo box = answerer.Seen();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ(kQuestion, box.text);
    EXPECT_EQ("VEK Lumovara Remote Setup", box.title);
    EXPECT_EQ(owner_, answerer.Owner());
    // Waited for, and run as stored: nothing expanded.
    EXPECT_EQ("\"" + uninstaller_ + "\" /S %TEMP%", Ran());
    EXPECT_TRUE(ShortcutsMade());
}

TEST_F(LegacyOffer, NoChangesNothing)
{
    RegisterLegacyUninstaller("/S");
    MessageBoxAnswerer answerer(IDNO);
    OfferLegacyRemoval(owner_);
    ASSERT_NE(nullptr, answerer.Seen().window);
    Sleep(1000);
    EXPECT_FALSE(FileExists(uninstaller_ + ".ran"));
    EXPECT_FALSE(AnyShortcut());
}

TEST_F(LegacyOffer, NoEntryAsksNothing)
{
    MessageBoxAnswerer answerer(IDNO, 1500);
    OfferLegacyRemoval(owner_);
    EXPECT_EQ(nullptr, answerer.Seen().window);
    EXPECT_FALSE(AnyShortcut());
}

TEST_F(LegacyOffer, CommandThatCannotStartStillMakesTheShortcuts)
{
    Entry entry;
    entry.command = "\"" + folder_ + "\\missing.exe\" /S";
    AddEntry(kRoot64, kEntries[0], entry);
    MessageBoxAnswerer answerer(IDYES);
    OfferLegacyRemoval(owner_);
    ASSERT_NE(nullptr, answerer.Seen().window);
    EXPECT_TRUE(ShortcutsMade());
}

// Slow lane (LVTEST_SLOW=1): a legacy uninstaller that outlasts the wait.
TEST_F(LegacyOffer, SlowUninstallerIsLeftRunningAfterSixtySeconds)
{
    if (std::getenv("LVTEST_SLOW") == nullptr)
        GTEST_SKIP() << "takes a minute; set LVTEST_SLOW=1";
    RegisterLegacyUninstaller("--sleep=90000");
    MessageBoxAnswerer answerer(IDYES);
    DWORD start = GetTickCount();
    OfferLegacyRemoval(owner_);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 59000u);
    EXPECT_LT(waited, 80000u);
    EXPECT_TRUE(ShortcutsMade());
}

}  // namespace
