#include "maintenance/shutdown.h"

#include "app/bounded_text.h"
#include "app/product.h"

#include <psapi.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstring>

namespace {

constexpr int kTitleCapacity = 199;
constexpr int kPollLimit = 10;
constexpr DWORD kPollIntervalMs = 100;
constexpr UINT kTerminationExitCode = 1;
constexpr DWORD kMaxProcessIds = 1024;
// How often a pending close request looks whether its window is gone or hung.
constexpr DWORD kAnswerCheckMs = 100;

static_assert(sizeof(PROCESSENTRY32) == 304, "the ANSI process entry");

struct ProcessList {
    DWORD ids[kMaxProcessIds];
    DWORD count;
};

// The identifiers of the running processes; false when there are none to look at.
bool ListProcesses(ProcessList& list)
{
    DWORD bytes = 0;
    if (!K32EnumProcesses(list.ids, sizeof list.ids, &bytes))
        return false;
    list.count = bytes / sizeof(DWORD);
    return list.count > 0;
}

// The executable file name of process `id`, empty when it cannot be found.
// Every lookup takes a fresh snapshot of the process table.
void LookUpProcessName(DWORD id, char (&name)[kPathCapacity])
{
    std::memset(name, 0, sizeof name);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == id)
            CopyPath(name, entry.szExeFile);
    }
    CloseHandle(snapshot);
}

// "LumovaraRemote": a process whose name contains it counts as a running copy.
void FormSearchWord(char (&searchWord)[kPathCapacity])
{
    CopyPath(searchWord, PathFindFileNameA(InstallSubdir));
}

bool AnyRunningCopy(const ProcessList& list)
{
    char searchWord[kPathCapacity];
    FormSearchWord(searchWord);
    char name[kPathCapacity];
    for (DWORD i = 0; i < list.count; ++i) {
        LookUpProcessName(list.ids[i], name);
        if (StrStrA(name, searchWord) != nullptr)
            return true;
    }
    return false;
}

// Ends the first process whose name holds both the search word and the
// executable name.  At most one, even when it cannot be opened.
void TerminateFirstCopy()
{
    ProcessList list;
    if (!ListProcesses(list))
        return;
    char searchWord[kPathCapacity];
    FormSearchWord(searchWord);
    char name[kPathCapacity];
    for (DWORD i = 0; i < list.count; ++i) {
        LookUpProcessName(list.ids[i], name);
        if (StrStrA(name, searchWord) == nullptr || StrStrA(name, AppExeName) == nullptr)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, list.ids[i]);
        if (process != nullptr) {
            TerminateProcess(process, kTerminationExitCode);
            CloseHandle(process);
        }
        return;
    }
}

// Serial numbers of the close requests: the last one sent and the last one
// answered.  Not locals of the waiting call: the answer of a window we gave up
// on may still arrive later, whenever this thread next looks at its messages.
ULONG_PTR lastCloseRequest = 0;
ULONG_PTR answeredCloseRequest = 0;

void CALLBACK NoteCloseAnswer(HWND, UINT, ULONG_PTR request, LRESULT)
{
    answeredCloseRequest = request;
}

// Only the application's own windows: a browser on the download page or an
// editor on "VEK Lumovara Remote notes.txt" has a title like ours too.
bool IsApplicationWindow(HWND window)
{
    char title[kTitleCapacity] = {};
    GetWindowTextA(window, title, kTitleCapacity);
    if (std::strncmp(title, ProductName, sizeof ProductName - 1) != 0)
        return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char name[kPathCapacity];
    LookUpProcessName(processId, name);
    return lstrcmpiA(name, AppExeName) == 0;
}

// Asks the window to close and waits until its procedure has handled the
// request, however long a person takes over the "save changes?" prompt it may
// show meanwhile.  The wait ends early only when the window is gone or its
// thread has stopped taking messages altogether (the system's "not responding",
// a few seconds without a look at its queue); the polls then go on as usual.
void RequestClose(HWND window)
{
    ULONG_PTR request = ++lastCloseRequest;
    if (!SendMessageCallbackA(window, WM_CLOSE, 0, 0, NoteCloseAnswer, request))
        return;
    while (answeredCloseRequest != request && IsWindow(window) && !IsHungAppWindow(window)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kAnswerCheckMs, QS_SENDMESSAGE);
        // Delivers the answer, and messages other programs send us; posted
        // messages and input stay queued.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

void(WINAPI* pollPause)(DWORD milliseconds) = Sleep;

BOOL CALLBACK CloseProductWindow(HWND window, LPARAM)
{
    if (IsApplicationWindow(window))
        RequestClose(window);
    return TRUE;
}

void ShutDownRunningInstances()
{
    EnumWindows(CloseProductWindow, 0);

    for (int pollsLeft = kPollLimit; pollsLeft > 0; --pollsLeft) {
        ProcessList list;
        if (!ListProcesses(list) || !AnyRunningCopy(list))
            return;
        pollPause(kPollIntervalMs);
    }
    TerminateFirstCopy();
}
