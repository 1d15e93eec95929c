// Launch on Finish: the application starts from its quoted path in its own
// folder, on the shell-token road when elevated and on the ordinary road
// otherwise, and no handle is left open on any road.
//
// Wine reports every process as elevated, has no shell window and ignores the
// token given to CreateProcessWithTokenW; the LaunchPlatform seam supplies
// those facts, everything else runs for real.
#include "app/application_path.h"
#include "shell/launch.h"
#include "tests/support/handles.h"
#include "tests/support/test_paths.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kInstallDirectory = "C:\\Program Files\\lvtest launch";
const std::string kApplication = kInstallDirectory + "\\LumovaraRemote.exe";
// What the platform would try first for the unquoted path.
const std::vector<std::string> kPlantedPrograms = {"C:\\Program.exe",
                                                   "C:\\Program Files\\lvtest.exe"};
constexpr char kSampleClass[] = "LumovaraRemoteSample";
constexpr int kSampleDetails = 100;

// What the seam saw of the token road.
struct TokenRoadLog {
    int shellLookups = 0;
    int tokenStarts = 0;
    bool primaryToken = false;
    std::wstring commandLine;
    std::wstring directory;
    DWORD creationFlags = 0;
    DWORD startupFlags = 0;
    WORD showWindow = 0;
};
TokenRoadLog roadLog;
HWND fakeShellWindow = nullptr;
bool tokenStartFails = false;

bool Elevated() { return true; }
bool NotElevated() { return false; }

HWND FakeShellWindow()
{
    ++roadLog.shellLookups;
    return fakeShellWindow;
}

BOOL WINAPI RecordTokenStart(HANDLE token, DWORD logonFlags, LPCWSTR applicationName,
                             LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                             LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                             LPPROCESS_INFORMATION processInformation)
{
    ++roadLog.tokenStarts;
    TOKEN_TYPE type = TokenImpersonation;
    DWORD size = 0;
    roadLog.primaryToken = GetTokenInformation(token, TokenType, &type, sizeof type, &size) &&
                           type == TokenPrimary;
    roadLog.commandLine = commandLine;
    roadLog.directory = currentDirectory;
    roadLog.creationFlags = creationFlags;
    roadLog.startupFlags = startupInfo->dwFlags;
    roadLog.showWindow = startupInfo->wShowWindow;
    if (tokenStartFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return CreateProcessWithTokenW(token, logonFlags, applicationName, commandLine, creationFlags,
                                   environment, currentDirectory, startupInfo, processInformation);
}

std::vector<HWND> ApplicationWindows()
{
    std::vector<HWND> ours;
    for (HWND window : ui::FindTopLevelWindows(0, kSampleClass, nullptr)) {
        if (ui::ControlText(window, kSampleDetails).find(kApplication) != std::string::npos)
            ours.push_back(window);
    }
    return ours;
}

void CloseApplicationWindows()
{
    for (HWND window : ApplicationWindows())
        PostMessageA(window, WM_CLOSE, 0, 0);
    ui::WaitUntil([] { return ApplicationWindows().empty(); }, 10000);
}

class Launch : public testing::Test {
protected:
    void SetUp() override
    {
        CloseApplicationWindows();
        RemoveTree(kInstallDirectory);
        ASSERT_TRUE(CreateDirectoryA(kInstallDirectory.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA(BuildPath("sample/LumovaraRemote.exe").c_str(),
                              kApplication.c_str(), FALSE));
        for (const std::string& planted : kPlantedPrograms) {
            ASSERT_TRUE(CopyFileA(BuildPath("tests/win32/record_run.exe").c_str(),
                                  planted.c_str(), FALSE));
            DeleteFileA((planted + ".ran").c_str());
        }
        RememberApplicationPath(kApplication.c_str());
        roadLog = TokenRoadLog();
        fakeShellWindow = nullptr;
        tokenStartFails = false;
    }

    void TearDown() override
    {
        SetLaunchPlatformForTesting(nullptr);
        CloseApplicationWindows();
        for (const std::string& planted : kPlantedPrograms) {
            DeleteFileA(planted.c_str());
            DeleteFileA((planted + ".ran").c_str());
        }
        RemoveTree(kInstallDirectory);
        if (fakeShellWindow != nullptr)
            DestroyWindow(fakeShellWindow);
    }

    // Launches and expects exactly one copy of the application, started from
    // its own path with the install directory as working directory, no
    // planted program run, and as many handles open as before.
    void LaunchAndExpectApplication()
    {
        int handlesBefore = CountOwnHandles();
        LaunchInstalledApplication();
        int handlesAfter = CountOwnHandles();

        HWND window = ui::WaitForTopLevelWindow(0, kSampleClass, nullptr);
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(ui::WaitUntil([] { return !ApplicationWindows().empty(); }));
        std::string details = ui::ControlText(ApplicationWindows().front(), kSampleDetails);
        EXPECT_NE(std::string::npos, details.find("Path: " + kApplication + "\r\n")) << details;
        EXPECT_NE(std::string::npos, details.find("Working directory: " + kInstallDirectory))
            << details;
        Sleep(500);  // a second copy, from a second road, would show by now
        EXPECT_EQ(1u, ApplicationWindows().size());
        for (const std::string& planted : kPlantedPrograms)
            EXPECT_FALSE(FileExists(planted + ".ran")) << planted << " was started";

        EXPECT_NE(-1, handlesBefore);
        EXPECT_EQ(handlesBefore, handlesAfter);
    }

    // Puts the seam in place; with a shell, the test's own window stands in for
    // the shell's, so the token road opens this process and its token for real.
    void UseSeam(bool elevated, bool withShell)
    {
        if (withShell) {
            fakeShellWindow = CreateWindowExA(0, "STATIC", "shell", 0, 0, 0, 10, 10, nullptr,
                                              nullptr, nullptr, nullptr);
            ASSERT_NE(nullptr, fakeShellWindow);
        }
        platform_ = {elevated ? Elevated : NotElevated, FakeShellWindow, RecordTokenStart};
        SetLaunchPlatformForTesting(&platform_);
    }

    LaunchPlatform platform_ = {};
};

// Without a seam Wine gives the facts of an elevated process with no shell:
// the ordinary road.
TEST_F(Launch, ElevatedWithoutShellStartsTheApplicationOnTheOrdinaryRoad)
{
    LaunchAndExpectApplication();
}

// The planted programs do run when the same path is given unquoted, so their
// absence above means something.
TEST_F(Launch, PlantedProgramRunsFromTheUnquotedPath)
{
    std::string commandLine = kApplication;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
    WaitForSingleObject(started.hProcess, 10000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    EXPECT_TRUE(FileExists(kPlantedPrograms.front() + ".ran"));
}

TEST_F(Launch, NotElevatedStartsWithoutLookingForTheShell)
{
    UseSeam(false, false);
    LaunchAndExpectApplication();
    EXPECT_EQ(0, roadLog.shellLookups);
    EXPECT_EQ(0, roadLog.tokenStarts);
}

TEST_F(Launch, ElevatedWithShellStartsUnderAPrimaryCopyOfTheShellToken)
{
    UseSeam(true, true);
    LaunchAndExpectApplication();
    EXPECT_EQ(1, roadLog.tokenStarts);
    EXPECT_TRUE(roadLog.primaryToken);
    EXPECT_EQ(L"\"C:\\Program Files\\lvtest launch\\LumovaraRemote.exe\"", roadLog.commandLine);
    EXPECT_EQ(L"C:\\Program Files\\lvtest launch\\", roadLog.directory);
    EXPECT_EQ(0x04000020u, roadLog.creationFlags);
    EXPECT_EQ(DWORD(STARTF_USESHOWWINDOW), roadLog.startupFlags);
    EXPECT_EQ(SW_SHOW, roadLog.showWindow);
}

// The three handles of the token road are closed before the ordinary road runs.
TEST_F(Launch, FailedTokenStartFallsBackToTheOrdinaryRoad)
{
    tokenStartFails = true;
    UseSeam(true, true);
    LaunchAndExpectApplication();
    EXPECT_EQ(1, roadLog.tokenStarts);
    EXPECT_TRUE(roadLog.primaryToken);
}

TEST_F(Launch, ShellWindowThatIsGoneFallsBackToTheOrdinaryRoad)
{
    UseSeam(true, true);
    DestroyWindow(fakeShellWindow);
    LaunchAndExpectApplication();
    fakeShellWindow = nullptr;
    EXPECT_EQ(1, roadLog.shellLookups);
    EXPECT_EQ(0, roadLog.tokenStarts);
}

// A path without the executable's name keeps its whole text as working
// directory, which the platform refuses: nothing starts, and nothing leaks.
TEST_F(Launch, PathWithoutTheApplicationNameStartsNothing)
{
    std::string other = kInstallDirectory + "\\Other.exe";
    ASSERT_TRUE(CopyFileA(kApplication.c_str(), other.c_str(), FALSE));
    RememberApplicationPath(other.c_str());
    int handlesBefore = CountOwnHandles();
    LaunchInstalledApplication();
    EXPECT_EQ(handlesBefore, CountOwnHandles());
    Sleep(1000);
    EXPECT_TRUE(ui::FindTopLevelWindows(0, kSampleClass, nullptr).empty());
}

}  // namespace
