// Shortcuts: every choice of the three options against Wine's real shell folders,
// each link read back through IShellLinkA, and the COM apartment rules.
#include "app/application_path.h"
#include "shell/shortcuts.h"
#include "shell/user_folders.h"
#include "tests/support/installation.h"
#include "tests/support/shell_link.h"
#include "tests/support/test_paths.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <utility>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kLinkName = "\\VEK Lumovara Remote.lnk";
const std::string kProductName = "VEK Lumovara Remote";

// The four places a shortcut can go.
struct Places {
    InstallationPaths paths = Installation();
    std::string& userVek = paths.userStartMenuFolder;
    std::string& commonVek = paths.commonStartMenuFolder;

    std::string StartMenuLink(bool allUsers) const
    {
        return allUsers ? paths.commonStartMenuLink : paths.userStartMenuLink;
    }
    std::string DesktopLink(bool allUsers) const
    {
        return allUsers ? paths.commonDesktopLink : paths.userDesktopLink;
    }
};

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class Shortcuts : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveAll();
        scratch_ = MakeScratchFolder("shortcuts");
        appPath_ = scratch_ + "\\LumovaraRemote.exe";
        ASSERT_TRUE(CopyFileA(BuildPath("sample/LumovaraRemote.exe").c_str(), appPath_.c_str(), FALSE));
        RememberApplicationPath(appPath_.c_str());
    }
    void TearDown() override
    {
        RemoveAll();
        RemoveTree(scratch_);
    }

    void RemoveAll()
    {
        for (bool allUsers : {false, true})
            DeleteFileA(places_.DesktopLink(allUsers).c_str());
        RemoveTree(places_.userVek);
        RemoveTree(places_.commonVek);
    }

    // The link exists and holds exactly the target and the description.
    void ExpectLink(const std::string& path, const std::string& target)
    {
        SCOPED_TRACE(path);
        ShellLinkInfo link;
        ASSERT_TRUE(ReadShellLink(path, link));
        EXPECT_STREQ(target.c_str(), link.target.c_str());
        EXPECT_EQ(kProductName, link.description);
        EXPECT_EQ("", link.arguments);
        EXPECT_EQ("", link.workingDirectory);
        EXPECT_EQ("", link.iconLocation);
        EXPECT_EQ(0, link.hotkey);
        EXPECT_EQ(SW_SHOWNORMAL, link.showCommand);
    }

    Places places_;
    std::string scratch_;
    std::string appPath_;
};

// Each of start menu and desktop alone and together, and none at all, for
// each scope: the links exist exactly where chosen, and nowhere else.
TEST_F(Shortcuts, GoExactlyWhereChosen)
{
    for (bool chosenAllUsers : {false, true}) {
        for (auto [startMenu, desktop] : {std::pair{true, false}, {false, true}, {true, true},
                                          {false, false}}) {
            SCOPED_TRACE(testing::Message() << "startMenu " << startMenu << ", desktop " << desktop
                                            << ", allUsers " << chosenAllUsers);
            RemoveAll();
            CreateShortcuts(startMenu, desktop, chosenAllUsers);
            for (bool allUsers : {false, true}) {
                bool chosenScope = allUsers == chosenAllUsers;
                std::string vek = allUsers ? places_.commonVek : places_.userVek;
                if (chosenScope && startMenu) {
                    ExpectLink(places_.StartMenuLink(allUsers), appPath_);
                    EXPECT_EQ(std::vector<std::string>{kLinkName.substr(1)}, FilesIn(vek));
                } else {
                    EXPECT_FALSE(FileExists(vek)) << vek;
                }
                if (chosenScope && desktop)
                    ExpectLink(places_.DesktopLink(allUsers), appPath_);
                else
                    EXPECT_FALSE(FileExists(places_.DesktopLink(allUsers)));
            }
        }
    }
}

TEST_F(Shortcuts, SecondCallRewritesTheSameFiles)
{
    CreateShortcuts(true, true, false);
    std::string otherApp = scratch_ + "\\Other.exe";
    ASSERT_TRUE(CopyFileA(appPath_.c_str(), otherApp.c_str(), FALSE));
    RememberApplicationPath(otherApp.c_str());

    CreateShortcuts(true, true, false);
    ExpectLink(places_.StartMenuLink(false), otherApp);
    ExpectLink(places_.DesktopLink(false), otherApp);
    EXPECT_EQ(std::vector<std::string>{kLinkName.substr(1)}, FilesIn(places_.userVek));
}

TEST_F(Shortcuts, ExistingVekFolderIsNoObstacle)
{
    ASSERT_TRUE(CreateDirectoryA(places_.commonVek.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(places_.commonVek + "\\Readme.txt", "left alone"));

    CreateShortcuts(true, false, true);
    ExpectLink(places_.StartMenuLink(true), appPath_);
    EXPECT_EQ("left alone", ReadFileBytes(places_.commonVek + "\\Readme.txt"));
}

TEST_F(Shortcuts, LinkIntoMissingFolderIsNotSaved)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_FALSE(CreateShellLink((scratch_ + "\\Missing\\Link.lnk").c_str()));
    EXPECT_TRUE(CreateShellLink((scratch_ + "\\Link.lnk").c_str()));
    CoUninitialize();
    ExpectLink(scratch_ + "\\Link.lnk", appPath_);
}

// Runs `body` on a new thread, whose COM state starts empty.
template <typename Body>
void OnFreshThread(Body body)
{
    std::thread thread(body);
    thread.join();
}

TEST_F(Shortcuts, ThreadAlreadyInAnApartmentKeepsIt)
{
    HRESULT afterwards = E_FAIL;
    OnFreshThread([&] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        CreateShortcuts(false, true, true);
        // Still initialised once: the call undid only its own initialisation.
        afterwards = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    EXPECT_EQ(S_FALSE, afterwards);
    ExpectLink(places_.DesktopLink(true), appPath_);
}

TEST_F(Shortcuts, MultithreadedApartmentGetsNoShortcutAndKeepsItsCom)
{
    HRESULT afterwards = E_FAIL;
    OnFreshThread([&] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CreateShortcuts(true, true, true);
        // A CoUninitialize without its own successful CoInitializeEx would end ours.
        afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    EXPECT_EQ(S_FALSE, afterwards);
    EXPECT_FALSE(FileExists(places_.commonVek));
    EXPECT_FALSE(FileExists(places_.DesktopLink(true)));
}

// As LocalSystem with nobody at the console only the all-users shortcuts can be made.
class ShortcutsAsLocalSystemAlone : public Shortcuts {
protected:
    void SetUp() override
    {
        Shortcuts::SetUp();
        saved_ = accountFacts;
        accountFacts.runsAsLocalSystem = [] { return true; };
        accountFacts.activeConsoleSessionId = []() -> DWORD { return 0xFFFFFFFF; };
    }
    void TearDown() override
    {
        accountFacts = saved_;
        Shortcuts::TearDown();
    }

private:
    AccountFacts saved_{};
};

TEST_F(ShortcutsAsLocalSystemAlone, PerUserShortcutsAreSkippedSilentlyAllUsersOnesMade)
{
    CreateShortcuts(true, true, false);
    EXPECT_FALSE(FileExists(places_.userVek));
    EXPECT_FALSE(FileExists(places_.DesktopLink(false)));
    EXPECT_FALSE(FileExists(places_.commonVek));

    CreateShortcuts(true, true, true);
    ExpectLink(places_.StartMenuLink(true), appPath_);
    ExpectLink(places_.DesktopLink(true), appPath_);
    EXPECT_FALSE(FileExists(places_.userVek));
}

}  // namespace
