// Stopping running copies of the application before its files change.
//
// Each copy is asked to close through its windows, and what its answer shows
// decides what follows.  Only a copy that cannot hold the user's work any more
// is ended by force: one that is hung or never answered.  A copy whose window
// answered and stayed (the person declined, to keep their work) and one whose
// windows we cannot see (another session) keep running: the installation then
// fails on the file in use if it must, and nobody loses anything.  Our own
// process is never asked, counted or ended, whatever the setup program's file
// is called.
#include "maintenance/shutdown.h"

#include "core/bounded_text.h"
#include "core/product.h"
#include "maintenance/message_wait.h"

#include <tlhelp32.h>

#include <cstring>

namespace {

constexpr int kTitleCapacity = 199;
constexpr UINT kTerminationExitCode = 1;
// A copy whose window closed may still be saving its state.
constexpr DWORD kEndingWaitMs = 10000;
// One that declined may yet be on its way out (some end without destroying
// their window); it gets the second that copies always had.
constexpr DWORD kDeclinedWaitMs = 1000;
// A terminated process is gone once the system has released its files.
constexpr DWORD kTerminatedWaitMs = 5000;
// The system calls a thread hung when it has not looked at its queue for some
// seconds and is not waiting on it.  A copy that sat idle that long is "hung"
// for the moment between our request waking it and its next look at the queue,
// so the verdict counts only once the request has had this long to be taken.
constexpr DWORD kHungGraceMs = 2000;
constexpr int kMaxCopies = 64;
// Unattended, a copy that shows a question of its own gets this long for an
// answer that may never come.
constexpr DWORD kUnattendedAnswerWaitMs = 30000;

static_assert(sizeof(PROCESSENTRY32) == 304, "the ANSI process entry");

// The executable file name of process `id`, empty when it cannot be found.
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

// What a copy's windows made of the close request, in rising weight: one
// window that declined keeps the whole copy.
enum CloseOutcome { kClosed, kHung, kDeclined };

struct AskedCopy {
    DWORD id;
    HANDLE process;
    CloseOutcome outcome;
};

struct AskedCopies {
    AskedCopy copies[kMaxCopies];
    int count;
    DWORD answerWaitMs;  // INFINITE with someone there to answer
};

// Serial numbers of the close requests: the last one sent and the last one
// answered.  Not locals of the waiting call: the answer of a window we gave up
// on may still arrive later, whenever this thread next looks at its messages.
ULONG_PTR lastCloseRequest = 0;
ULONG_PTR answeredCloseRequest = 0;

void CALLBACK NoteCloseAnswer(HWND, UINT, ULONG_PTR request, LRESULT)
{
    answeredCloseRequest = request;
}

// The process of a window of the application, 0 for any other window: a browser
// on the download page or an editor on "VEK Lumovara Remote notes.txt" has a
// title like ours too, and our own wizard's caption starts the same way.
DWORD ApplicationProcessOf(HWND window)
{
    char title[kTitleCapacity] = {};
    GetWindowTextA(window, title, kTitleCapacity);
    if (std::strncmp(title, ProductName, sizeof ProductName - 1) != 0)
        return 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId())
        return 0;
    char name[kPathCapacity];
    LookUpProcessName(processId, name);
    return lstrcmpiA(name, AppExeName) == 0 ? processId : 0;
}

// Asks the window to close and waits until its procedure has handled the
// request, however long a person takes over the "save changes?" prompt it may
// show meanwhile.  The wait ends early only when the window is gone or its
// thread has stopped taking messages altogether (the system's "not responding",
// a few seconds without a look at its queue).
CloseOutcome RequestClose(HWND window, DWORD answerWaitMs)
{
    ULONG_PTR request = ++lastCloseRequest;
    if (!SendMessageCallbackA(window, WM_CLOSE, 0, 0, NoteCloseAnswer, request))
        return IsWindow(window) ? kDeclined : kClosed;  // not asked: kept, like one we cannot see
    const DWORD sent = GetTickCount();
    WaitDeliveringSentMessages(answerWaitMs, [&] {
        return answeredCloseRequest == request || !IsWindow(window) ||
               (GetTickCount() - sent >= kHungGraceMs && IsHungAppWindow(window));
    });
    if (!IsWindow(window))
        return kClosed;
    return answeredCloseRequest == request ? kDeclined : kHung;
}

AskedCopy* FindOrAddCopy(AskedCopies& asked, DWORD processId)
{
    for (int i = 0; i < asked.count; ++i)
        if (asked.copies[i].id == processId)
            return &asked.copies[i];
    if (asked.count == kMaxCopies)
        return nullptr;
    // Opened before the request, so that the identifier cannot pass to another
    // process once this one has ended.
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    if (process == nullptr)
        return nullptr;
    asked.copies[asked.count] = {processId, process, kClosed};
    return &asked.copies[asked.count++];
}

BOOL CALLBACK CloseApplicationWindow(HWND window, LPARAM context)
{
    AskedCopies& asked = *reinterpret_cast<AskedCopies*>(context);
    DWORD processId = ApplicationProcessOf(window);
    if (processId == 0)
        return TRUE;
    // A copy we cannot open (or one too many) is asked all the same, but
    // neither waited for nor ended.
    AskedCopy* copy = FindOrAddCopy(asked, processId);
    // The copy may bring its prompt to the front, over the wizard.
    AllowSetForegroundWindow(processId);
    CloseOutcome outcome = RequestClose(window, asked.answerWaitMs);
    if (copy != nullptr && outcome > copy->outcome)
        copy->outcome = outcome;
    return TRUE;
}

// The bound of the unattended wait for a copy's answer, in milliseconds.
DWORD UnattendedAnswerWaitMs()
{
    // Tests shorten the wait through the environment; never lengthen it.
    char text[16] = {};
    DWORD length = GetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", text, sizeof text);
    DWORD wait = 0;
    for (DWORD i = 0; i < length && i < sizeof text && text[i] >= '0' && text[i] <= '9'; ++i)
        wait = wait * 10 + DWORD(text[i] - '0');
    return length > 0 && length < sizeof text && wait < kUnattendedAnswerWaitMs ? wait : kUnattendedAnswerWaitMs;
}

}  // namespace

ShutdownOutcome ShutDownRunningInstances(bool unattended)
{
    AskedCopies asked;
    asked.count = 0;
    asked.answerWaitMs = unattended ? UnattendedAnswerWaitMs() : INFINITE;
    EnumWindows(CloseApplicationWindow, reinterpret_cast<LPARAM>(&asked));

    ShutdownOutcome outcome;
    outcome.asked = asked.count;
    for (int i = 0; i < asked.count; ++i) {
        const AskedCopy& copy = asked.copies[i];
        bool ended = false;
        switch (copy.outcome) {
        case kClosed:
            ended = WaitForProcessEnd(copy.process, kEndingWaitMs);
            break;
        case kDeclined:
            ended = WaitForProcessEnd(copy.process, kDeclinedWaitMs);
            break;
        case kHung:
            // Unattended, "hung" may be a prompt nobody answers: never ended.
            if (!unattended && TerminateProcess(copy.process, kTerminationExitCode))
                ended = WaitForProcessEnd(copy.process, kTerminatedWaitMs);
            break;
        }
        outcome.left += ended ? 0 : 1;
        CloseHandle(copy.process);
    }
    return outcome;
}
