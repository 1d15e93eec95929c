// Stopping running copies, with the sample application started for real under
// Wine under the names each case needs, and windows of the test's own.
//
// This program's own name must not contain the search word "LumovaraRemote".
#include "maintenance/shutdown.h"
#include "tests/support/test_paths.h"
#include "tests/support/ui_driver.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kSampleClass[] = "LumovaraRemoteSample";
const char kClosingSample[] = "sample/LumovaraRemote.exe";
const char kStubbornSample[] = "sample/StubbornApp.exe";

// Each pause of the shutdown, with which of the test's copies were running then.
struct Pause {
    DWORD milliseconds;
    std::vector<bool> running;
};
std::vector<Pause> pauses;
std::vector<HANDLE> watchedCopies;
// When set, the test itself ends the first copy during this pause (1 = the first).
std::size_t endFirstCopyAtPause = 0;
constexpr DWORD kEndedByTest = 42;

void WINAPI RecordingPause(DWORD milliseconds)
{
    Pause pause{milliseconds, {}};
    for (HANDLE copy : watchedCopies)
        pause.running.push_back(WaitForSingleObject(copy, 0) == WAIT_TIMEOUT);
    pauses.push_back(pause);
    if (pauses.size() == endFirstCopyAtPause && !watchedCopies.empty()) {
        TerminateProcess(watchedCopies[0], kEndedByTest);
        WaitForSingleObject(watchedCopies[0], 5000);
    }
    Sleep(milliseconds);
}

bool AnyProcessNameContains(const char* word)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        found = found || std::strstr(entry.szExeFile, word) != nullptr;
    CloseHandle(snapshot);
    return found;
}

class Shutdown : public testing::Test {
protected:
    void SetUp() override
    {
        pauses.clear();
        watchedCopies.clear();
        endFirstCopyAtPause = 0;
        savedPause_ = pollPause;
        pollPause = RecordingPause;
        ASSERT_FALSE(AnyProcessNameContains("LumovaraRemote")) << "a copy is already running";
    }

    void TearDown() override
    {
        pollPause = savedPause_;
        for (const ui::Process& copy : copies_)
            copy.Kill();
        copies_.clear();
        for (const std::string& folder : folders_)
            RemoveTree(folder);
    }

    // Copies a sample program into a folder of its own as `name`, starts it and
    // waits for its window.
    const ui::Process& StartCopy(const char* sample, const std::string& name)
    {
        std::string folder = MakeScratchFolder("shutdown" + std::to_string(folders_.size()));
        folders_.push_back(folder);
        std::string path = folder + "\\" + name;
        EXPECT_TRUE(CopyFileA(BuildPath(sample).c_str(), path.c_str(), FALSE)) << path;
        copies_.push_back(ui::Start(path));
        const ui::Process& copy = copies_.back();
        EXPECT_TRUE(copy.started()) << path;
        watchedCopies.push_back(copy.handle());
        EXPECT_NE(nullptr, ui::WaitForTopLevelWindow(copy.id(), kSampleClass, nullptr)) << path;
        return copy;
    }

    // `count` pauses of 100 ms, each with the first copy still running.
    static void ExpectPollsWhileRunning(std::size_t count)
    {
        ASSERT_EQ(count, pauses.size());
        for (const Pause& pause : pauses) {
            EXPECT_EQ(100u, pause.milliseconds);
            EXPECT_TRUE(pause.running[0]);
        }
    }

    static bool StillRunningAfterAWhile(const ui::Process& copy) { return !copy.WaitForExit(500); }

private:
    void(WINAPI* savedPause_)(DWORD) = nullptr;
    std::deque<ui::Process> copies_;
    std::vector<std::string> folders_;
};

TEST_F(Shutdown, NothingRunningMeansNoPauseAtAll)
{
    ShutDownRunningInstances();
    EXPECT_TRUE(pauses.empty());
}

TEST_F(Shutdown, CopyThatClosesOnRequestEndsAndIsNotTerminated)
{
    const ui::Process& copy = StartCopy(kClosingSample, "LumovaraRemote.exe");
    ShutDownRunningInstances();

    DWORD exitCode = 99;
    ASSERT_TRUE(copy.WaitForExit(0, &exitCode)) << "returned while the copy still ran";
    EXPECT_EQ(0u, exitCode) << "closed by request, not terminated";
    EXPECT_LT(pauses.size(), 10u);
}

// The sample ends within its close request here, before the first poll; a copy
// that the test ends during the third pause shows when the call stops polling.
TEST_F(Shutdown, CallReturnsAtTheFirstPollThatNoLongerSeesTheCopy)
{
    const ui::Process& copy = StartCopy(kStubbornSample, "LumovaraRemote.exe");
    endFirstCopyAtPause = 3;
    ShutDownRunningInstances();

    ExpectPollsWhileRunning(3);
    DWORD exitCode = 99;
    ASSERT_TRUE(copy.WaitForExit(0, &exitCode));
    EXPECT_EQ(kEndedByTest, exitCode) << "the call terminated it";
}

TEST_F(Shutdown, StubbornCopyIsTerminatedWithExitCodeOneAfterTenPolls)
{
    const ui::Process& copy = StartCopy(kStubbornSample, "LumovaraRemote.exe");
    ShutDownRunningInstances();

    ExpectPollsWhileRunning(10);
    DWORD exitCode = 99;
    ASSERT_TRUE(copy.WaitForExit(5000, &exitCode));
    EXPECT_EQ(1u, exitCode);
}

TEST_F(Shutdown, CopyNamedInLowerCaseIsLeftAloneAndNotWaitedFor)
{
    const ui::Process& copy = StartCopy(kStubbornSample, "lumovararemote.exe");
    ShutDownRunningInstances();

    EXPECT_TRUE(pauses.empty());
    EXPECT_TRUE(StillRunningAfterAWhile(copy));
}

TEST_F(Shutdown, NameWithTheSearchWordOnlyIsWaitedForButNotTerminated)
{
    const ui::Process& copy = StartCopy(kStubbornSample, "LumovaraRemoteHelper.exe");
    ShutDownRunningInstances();

    ExpectPollsWhileRunning(10);
    EXPECT_TRUE(StillRunningAfterAWhile(copy));
}

TEST_F(Shutdown, OfTwoStubbornCopiesExactlyOneIsTerminated)
{
    const ui::Process& first = StartCopy(kStubbornSample, "LumovaraRemote.exe");
    const ui::Process& second = StartCopy(kStubbornSample, "LumovaraRemote.exe");
    ShutDownRunningInstances();

    ExpectPollsWhileRunning(10);
    HANDLE both[] = {first.handle(), second.handle()};
    DWORD ended = WaitForMultipleObjects(2, both, FALSE, 5000);
    ASSERT_LT(ended - WAIT_OBJECT_0, 2u) << "neither copy was terminated";
    const ui::Process& terminated = ended == WAIT_OBJECT_0 ? first : second;
    const ui::Process& survivor = ended == WAIT_OBJECT_0 ? second : first;
    DWORD exitCode = 99;
    ASSERT_TRUE(terminated.WaitForExit(0, &exitCode));
    EXPECT_EQ(1u, exitCode);
    EXPECT_TRUE(StillRunningAfterAWhile(survivor));
}

// Windows of the test itself, counting the close requests they receive.
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        auto* count = reinterpret_cast<std::atomic<int>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (count != nullptr)
            ++*count;
        return 0;  // stays open
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateCountingWindow(const char* title, std::atomic<int>* closeRequests)
{
    static const ATOM registered = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "ShutdownTestWindow";
        return RegisterClassA(&windowClass);
    }();
    if (registered == 0)
        return nullptr;
    HWND window = CreateWindowExA(0, "ShutdownTestWindow", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(closeRequests));
    return window;
}

// This test program is not the application: whatever their titles, its windows
// are left alone.
TEST(WindowStage, WindowsOfAnotherProgramAreNotAskedToClose)
{
    struct Case {
        const char* title;
        std::atomic<int> received{0};
        HWND window = nullptr;
    };
    Case cases[] = {{"VEK Lumovara Remote Setup"}, {"VEK Lumovara Remote"}, {"vek lumovara remote"}};
    for (Case& c : cases)
        ASSERT_NE(nullptr, c.window = CreateCountingWindow(c.title, &c.received));

    ShutDownRunningInstances();

    for (Case& c : cases) {
        EXPECT_EQ(0, c.received.load()) << c.title;
        DestroyWindow(c.window);
    }
}

// In another process, as the copies of the application are: a window of another
// thread of our own process would already hold GetWindowTextA, which asks the
// window itself for its title.
TEST(WindowStage, WindowThatNeverAnswersDoesNotHoldTheCallForever)
{
    std::string folder = MakeScratchFolder("shutdown-hung");
    std::string path = folder + "\\LumovaraRemote.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("tests/win32/hung_window.exe").c_str(), path.c_str(), FALSE));
    ui::Process hung = ui::Start(path);
    ASSERT_TRUE(hung.started());
    struct EndByHandle {
        const ui::Process& process;
        const std::string& folder;
        ~EndByHandle()
        {
            process.Kill();
            RemoveTree(folder);
        }
    } endHung{hung, folder};
    ASSERT_NE(nullptr, ui::WaitForTopLevelWindow(hung.id(), "HungWindow", nullptr));

    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread caller([done] {
        ShutDownRunningInstances();
        SetEvent(done);
    });
    // Far above the bound of the close request, far below forever.
    bool returned = WaitForSingleObject(done, 30000) == WAIT_OBJECT_0;
    EXPECT_TRUE(returned) << "the call still waits for the hung window";
    // Ending the hung program lets a call that still waits finish, so the test can end.
    hung.Kill();
    caller.join();
    CloseHandle(done);
}

}  // namespace
