// Stopping running copies of the application before its files change.
//
// Each copy is asked to close through its windows, and what its answer shows
// decides what follows.  No copy is ended on a guess: one that the system calls
// hung may be busy saving the user's work, so it is ended only when the person
// says so, and otherwise waited for.  A copy whose window answered and stayed
// (the person declined, to keep their work) and one whose windows we cannot see
// (another session) keep running: the installation then fails on the file in
// use if it must, and nobody loses anything.  One that hid its windows instead
// of closing (to the notification area) is asked as the end of the session
// asks.  Our own process is never asked, counted or ended, whatever the setup
// program's file is called.
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
// A copy the person chose to wait for is asked about again after this long, if
// it still takes no messages.
constexpr DWORD kWaitAgainMs = 15000;
// A copy asked as the end of the session asks has this long to answer, as at
// the end of a session.
constexpr DWORD kSessionAnswerWaitMs = 5000;
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
// window that declined keeps the whole copy, unless the person said to end it.
// kHung: not answered, unattended, when the wait ended.
enum CloseOutcome { kClosed, kHung, kDeclined, kEnd };

struct AskedCopy {
    DWORD id;
    HANDLE process;
    CloseOutcome outcome;
};

struct AskedCopies {
    AskedCopy copies[kMaxCopies];
    int count;
    DWORD answerWaitMs;  // INFINITE with someone there to answer
    bool attended;
};

// Serial numbers of the close requests: the last one sent and the last one
// answered.  Not locals of the waiting call: the answer of a window we gave up
// on may still arrive later, whenever this thread next looks at its messages.
ULONG_PTR lastCloseRequest = 0;
ULONG_PTR answeredCloseRequest = 0;

void CALLBACK NoteCloseAnswer(HWND, UINT, ULONG_PTR request, LRESULT) { answeredCloseRequest = request; }

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

// The question about a copy that takes no messages, shown on a thread of its
// own so that it can be closed when the copy settles first.
struct HungQuestion {
    char text[kTitleCapacity + 256];
    int answer;
};

DWORD WINAPI ShowHungQuestion(void* context)
{
    HungQuestion& question = *static_cast<HungQuestion*>(context);
    question.answer =
        MessageBoxA(nullptr, question.text, SetupTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_SETFOREGROUND);
    return 0;
}

// Ends the question as No would; its answer is then not read.
BOOL CALLBACK CloseQuestion(HWND window, LPARAM)
{
    char className[8] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, IDNO, 0);
    return TRUE;
}

enum HungAnswer { kSettled, kWait, kEndIt };

// Asks the person whether to end the copy behind `window`, which takes no
// messages: hung, or busy saving their work.  The question closes itself once
// the copy has answered, ended or takes messages again (kSettled), since only
// the person can tell a hung copy from a busy one and the copy has told us.
template <typename Condition>
HungAnswer AskAboutHungCopy(HWND window, DWORD processId, Condition answered)
{
    HungQuestion question = {};
    char title[kTitleCapacity] = {};
    GetWindowTextA(window, title, kTitleCapacity);
    FormatBounded(question.text, sizeof question.text,
                  "%s (process %lu) is not responding. It may be busy saving your work, or it may have stopped "
                  "working.\n\nEnd it now? Any work it has not saved is lost. No waits for it.",
                  title, processId);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, ShowHungQuestion, &question, 0, &threadId);
    if (thread == nullptr)
        return kWait;  // nobody can be asked: waited for, as a copy that answers
    auto settled = [&] { return answered() || !IsHungAppWindow(window); };
    auto closed = [&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; };
    WaitDeliveringSentMessages(
        INFINITE, [&] { return closed() || settled(); }, thread);
    WaitDeliveringSentMessages(
        INFINITE,
        [&] {
            EnumThreadWindows(threadId, CloseQuestion, 0);  // again until the thread ends: the box may be on its way
            return closed();
        },
        thread);
    CloseHandle(thread);
    if (settled())
        return kSettled;
    return question.answer == IDYES ? kEndIt : kWait;
}

// Asks the window to close and waits until its procedure has handled the
// request, however long a person takes over the "save changes?" prompt it may
// show meanwhile.  A thread that stops taking messages altogether (the
// system's "not responding", a few seconds without a look at its queue) may be
// hung or busy saving: with someone there, the person says whether to end it
// (kEnd) or wait; unattended, the wait ends there.
CloseOutcome RequestClose(HWND window, DWORD processId, const AskedCopies& asked)
{
    ULONG_PTR request = ++lastCloseRequest;
    if (!SendMessageCallbackA(window, WM_CLOSE, 0, 0, NoteCloseAnswer, request))
        return IsWindow(window) ? kDeclined : kClosed;  // not asked: kept, like one we cannot see
    auto answered = [&] { return answeredCloseRequest == request || !IsWindow(window); };
    DWORD from = GetTickCount();
    DWORD grace = kHungGraceMs;
    auto hung = [&] { return GetTickCount() - from >= grace && IsHungAppWindow(window); };
    while (WaitDeliveringSentMessages(asked.answerWaitMs, [&] { return answered() || hung(); }) && !answered()) {
        if (!asked.attended)
            return kHung;
        HungAnswer answer = AskAboutHungCopy(window, processId, answered);
        if (answer == kEndIt)
            return kEnd;
        from = GetTickCount();
        grace = answer == kWait ? kWaitAgainMs : kHungGraceMs;
    }
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
    if (copy != nullptr && copy->outcome == kEnd)
        return TRUE;  // the person said to end it: not asked about again
    // The copy may bring its prompt to the front, over the wizard.
    AllowSetForegroundWindow(processId);
    CloseOutcome outcome = RequestClose(window, processId, asked);
    if (copy != nullptr && outcome > copy->outcome)
        copy->outcome = outcome;
    return TRUE;
}

// The top-level windows of one copy, hidden ones included, each sent `message`
// (0: only looked at) as the end of a session sends it to close an application.
struct CopyWindows {
    DWORD processId;
    UINT message;
    WPARAM wParam;
    int count;
    bool shown;    // one of them is visible
    bool refused;  // one answered FALSE to WM_QUERYENDSESSION, or not in time
};

BOOL CALLBACK VisitCopyWindow(HWND window, LPARAM context)
{
    CopyWindows& windows = *reinterpret_cast<CopyWindows*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != windows.processId)
        return TRUE;
    ++windows.count;
    windows.shown = windows.shown || IsWindowVisible(window);
    DWORD_PTR agreed = 0;
    if (windows.message != 0 && !SendMessageTimeoutA(window, windows.message, windows.wParam, ENDSESSION_CLOSEAPP,
                                                     SMTO_ABORTIFHUNG, kSessionAnswerWaitMs, &agreed))
        agreed = FALSE;
    windows.refused = windows.refused || (windows.message == WM_QUERYENDSESSION && agreed == FALSE);
    return TRUE;
}

// A copy still running with no window on show hid instead of closing (to the
// notification area, say).  Such a program ends at the end of the session, so
// it is asked that way, and told whether the session ends after all: true
// when every window of it agreed, and it then ends by itself.
bool AskAsTheSessionEnds(DWORD processId)
{
    CopyWindows windows = {processId, 0, 0, 0, false, false};
    EnumWindows(VisitCopyWindow, reinterpret_cast<LPARAM>(&windows));
    if (windows.shown || windows.count == 0)
        return false;
    windows.message = WM_QUERYENDSESSION;
    EnumWindows(VisitCopyWindow, reinterpret_cast<LPARAM>(&windows));
    windows.message = WM_ENDSESSION;
    windows.wParam = !windows.refused;
    EnumWindows(VisitCopyWindow, reinterpret_cast<LPARAM>(&windows));
    return !windows.refused;
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
    asked.attended = !unattended;
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
            break;
        case kEnd:
            if (TerminateProcess(copy.process, kTerminationExitCode))
                ended = WaitForProcessEnd(copy.process, kTerminatedWaitMs);
            break;
        }
        if (!ended && (copy.outcome == kClosed || copy.outcome == kDeclined) && AskAsTheSessionEnds(copy.id))
            ended = WaitForProcessEnd(copy.process, kEndingWaitMs);
        outcome.left += ended ? 0 : 1;
        CloseHandle(copy.process);
    }
    return outcome;
}
