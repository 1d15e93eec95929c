// Procedures called directly where no run of the setup program reaches under
// Wine (no shell window, never LocalSystem): the launch through the shell's
// token and the folder work as LocalSystem through their seams; the flush
// before a replacement; the self-delete script's text, file, permissions and
// bound; the licence reader's bounds.
#include "core/application_path.h"
#include "core/platform_paths.h"
#include "app/licence_viewer.h"
#include "install/running_file.h"
#include "maintenance/self_delete_script.h"
#include "maintenance/system_programs.h"
#include "maintenance/uninstall.h"
#include "payload/extract.h"
#include "shell/launch.h"
#include "shell/shortcuts.h"
#include "shell/user_folders.h"
#include "tests/support/support.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <cstring>
#include <thread>

namespace {

// What the launch seam saw.
struct {
    HWND shell;
    bool refuse, asRequired;  // a primary token, creation flags 0x04000020, the window shown with SW_SHOW
    int shellLookups, tokenStarts;
    std::wstring commandLine, directory;
} seen;

HWND ShellWindow() { return ++seen.shellLookups, seen.shell; }

// The shell in the seams: no window (Wine's own facts), a window of this test, or a window that is gone.
enum Shell { kNoShell, kShellWindow, kShellGone };
HWND NewWindow() { return CreateWindowExA(0, "STATIC", "shell", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr); }
enum Elevation { kNotElevated, kElevated };
enum Found { kNotFound, kFound };  // what the procedure under test resolves

BOOL WINAPI StartWithToken(HANDLE token, DWORD logon, LPCWSTR name, LPWSTR commandLine, DWORD flags, LPVOID environment,
                           LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
{
    TOKEN_TYPE type = TokenImpersonation;
    DWORD size = 0;
    seen.asRequired = GetTokenInformation(token, TokenType, &type, sizeof type, &size) && type == TokenPrimary &&
                      flags == 0x04000020 && startup->dwFlags == STARTF_USESHOWWINDOW &&
                      startup->wShowWindow == SW_SHOW;
    seen.commandLine = commandLine, seen.directory = directory, ++seen.tokenStarts;
    return !seen.refuse &&
           CreateProcessWithTokenW(token, logon, name, commandLine, flags, environment, directory, startup, info);
}

// The lowest free handle values of this process: a handle left open takes one of them.
std::vector<HANDLE> FreeHandleValues()
{
    std::vector<HANDLE> events(16);
    for (HANDLE& event : events)
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (HANDLE event : events)
        CloseHandle(event);
    return events;
}

// Every road starts exactly one copy of the application and leaves no handle
// open.  A window of this test stands in for the shell's, so the token road
// opens this process and its token for real.
TEST(Launch, EveryRoadStartsTheApplicationOnceAndClosesItsHandles)
{
    const std::string folder = ScratchFolder() + "\\Program Files", application = folder + "\\LumovaraRemote.exe";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(BuildPath("sample/LumovaraRemote.exe").c_str(), application.c_str(), FALSE));
    RememberApplicationPath(application.c_str());
    enum TokenStart { kStarts, kRefused };  // what the start with the shell's token does
    const struct { const char* name; Elevation elevation; TokenStart start; Shell shell;
                   int shellLookups, tokenStarts; } roads[] = {
        {"warm-up", kElevated, kStarts, kShellWindow, 1, 1},
        {"not elevated", kNotElevated, kStarts, kShellWindow, 0, 0},
        {"shell token", kElevated, kStarts, kShellWindow, 1, 1},
        {"shell token refused", kElevated, kRefused, kShellWindow, 1, 1},
        {"shell gone", kElevated, kStarts, kShellGone, 1, 0}, {"no shell window", kElevated, kStarts, kNoShell, 1, 0}};
    for (const auto& road : roads) {
        seen = {road.shell != kNoShell ? NewWindow() : nullptr, road.start == kRefused};
        if (road.shell == kShellGone)
            DestroyWindow(seen.shell);
        const LaunchPlatform platform = {road.elevation == kElevated ? +[] { return true; } : +[] { return false; },
                                         ShellWindow, StartWithToken};
        SetLaunchPlatformForTesting(&platform);
        const std::vector<HANDLE> before = FreeHandleValues();
        LaunchInstalledApplication();
        EXPECT_TRUE(&road == roads || before == FreeHandleValues()) << road.name << ": a handle was left open";
        SetLaunchPlatformForTesting(nullptr);
        DestroyWindow(seen.shell);
        const std::vector<std::string> started = JobProcesses(true);
        EXPECT_TRUE(started.size() == 1 && started[0].rfind("LumovaraRemote.exe", 0) == 0)
            << road.name << ": " << started.size();
        EXPECT_TRUE(seen.shellLookups == road.shellLookups && seen.tokenStarts == road.tokenStarts) << road.name;
        EXPECT_TRUE(road.tokenStarts == 0 ||
                    (seen.asRequired &&
                     seen.commandLine == L"\"" + std::wstring(application.begin(), application.end()) + L"\"" &&
                     seen.directory == std::wstring(folder.begin(), folder.end()) + L"\\"))
            << road.name << ": started with " << std::string(seen.commandLine.begin(), seen.commandLine.end());
    }
}

// As LocalSystem the per-user folders are the console user's, through that
// user's token (always closed), never our own profile's; the links in them are
// made and removed only impersonating that user, and the thread ends as itself.
TEST(LocalSystem, FoldersComeOnlyThroughTheConsoleUsersToken)
{
    const AccountFacts saved = accountFacts;
    accountFacts.runsAsLocalSystem = [] { return true; };
    const auto nobodyLoggedOn = [](ULONG, HANDLE*) { return FALSE; };
    const struct { DWORD(WINAPI* session)(); BOOL(WINAPI* token)(ULONG, HANDLE*); int csidl; Found found; } roads[] = {
        {WTSGetActiveConsoleSessionId, WTSQueryUserToken, CSIDL_PROGRAMS, kFound},  // also loads what the lookup keeps
        {WTSGetActiveConsoleSessionId, WTSQueryUserToken, CSIDL_DESKTOPDIRECTORY, kFound},
        {WTSGetActiveConsoleSessionId, WTSQueryUserToken, 0xFF, kNotFound},  // a folder the lookup fails for
        {WTSGetActiveConsoleSessionId, nobodyLoggedOn, CSIDL_PROGRAMS, kNotFound},
        {[] { return DWORD(0xFFFFFFFF); }, WTSQueryUserToken, CSIDL_PROGRAMS, kNotFound}};  // no console session
    for (const auto& road : roads) {
        accountFacts.activeConsoleSessionId = road.session;
        accountFacts.queryUserToken = road.token;
        char own[MAX_PATH] = {}, folder[MAX_PATH];
        SHGetSpecialFolderPathA(nullptr, own, road.csidl, FALSE);
        std::memset(folder, 'x', MAX_PATH);
        const std::vector<HANDLE> before = FreeHandleValues();
        const bool found = road.found == kFound;
        EXPECT_EQ(found, ResolveInteractiveUserFolder(road.csidl, folder)) << &road - roads;
        EXPECT_TRUE(&road == roads || before == FreeHandleValues()) << &road - roads << ": the user token stayed open";
        EXPECT_EQ(found ? own : std::string(MAX_PATH, 'x'),
                  std::string(folder, found ? std::strlen(folder) : MAX_PATH));
    }
    accountFacts = saved;
}

// The per-user file calls (links made, files deleted), each noted at the moment
// of the call: "user" made impersonating, "process" as the process.  Through the
// import table of this program, which the procedures under test call through.
std::vector<std::string> userFileCalls;
extern "C" decltype(&CoCreateInstance) __imp_CoCreateInstance;
extern "C" decltype(&SHFileOperationA) __imp_SHFileOperationA;
decltype(&CoCreateInstance) createInstance;
decltype(&SHFileOperationA) fileOperation;
void NoteUserFileCall()
{
    HANDLE token = nullptr;
    const bool impersonating = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) && CloseHandle(token);
    userFileCalls.push_back(impersonating ? "user" : "process");
}

// The links in the interactive user's folders are made and removed only
// impersonating that user: as LocalSystem the console user, otherwise the
// shell's process, as the process itself only when there is no shell or the
// shell is another account's (whose folder was not resolved); never when the
// user cannot be impersonated.  The thread ends as itself.
TEST(UserFolders, FileWorkRunsWithTheUsersToken)
{
    const AccountFacts saved = accountFacts;
    const InstallationPaths& paths = Installation();
    RememberApplicationPath("C:\\VEK\\LumovaraRemote.exe");
    createInstance = __imp_CoCreateInstance, fileOperation = __imp_SHFileOperationA;
    __imp_CoCreateInstance = [](REFCLSID type, LPUNKNOWN outer, DWORD context, REFIID id, LPVOID* object) {
        return NoteUserFileCall(), createInstance(type, outer, context, id, object);
    };
    __imp_SHFileOperationA = [](LPSHFILEOPSTRUCTA operation) {
        if (lstrcmpiA(operation->pFrom, Installation().userStartMenuLink.c_str()) == 0 ||
            lstrcmpiA(operation->pFrom, Installation().userDesktopLink.c_str()) == 0)
            NoteUserFileCall();
        return fileOperation(operation);
    };
    const auto queryOnly = [](ULONG, HANDLE* out) { return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, out); };
    enum Task { kMakeLinks, kUninstall };
    enum LinksAfter { kNoLinks, kLinks };
    enum Account { kShellOurs, kShellAnother };  // whose the shell is: ours, or another account's
    const std::vector<std::string> none, asUser = {"user", "user"}, asProcess = {"process", "process"};
    // As LocalSystem, given the console user's token by `token`; with none, as an elevated user.
    const struct { BOOL(WINAPI* token)(ULONG, HANDLE*); Shell shell; Task task; LinksAfter links;
                   std::vector<std::string> calls; Account account = kShellOurs; } works[] = {
        {queryOnly, kNoShell, kMakeLinks, kNoLinks, none}, {WTSQueryUserToken, kNoShell, kMakeLinks, kLinks, asUser},
        {queryOnly, kNoShell, kUninstall, kLinks, none}, {WTSQueryUserToken, kNoShell, kUninstall, kNoLinks, asUser},
        {nullptr, kShellGone, kMakeLinks, kNoLinks, none}, {nullptr, kShellWindow, kMakeLinks, kLinks, asUser},
        {nullptr, kShellGone, kUninstall, kLinks, none}, {nullptr, kShellWindow, kUninstall, kNoLinks, asUser},
        {nullptr, kNoShell, kMakeLinks, kLinks, asProcess}, {nullptr, kNoShell, kUninstall, kNoLinks, asProcess},
        // A shell of another account than the one whose folder was resolved.
        {nullptr, kShellWindow, kMakeLinks, kLinks, asProcess, kShellAnother},
        {nullptr, kShellWindow, kUninstall, kNoLinks, asProcess, kShellAnother}};
    for (const auto& work : works) {
        static HWND shell;
        shell = work.shell != kNoShell ? NewWindow() : nullptr;
        if (work.shell == kShellGone)
            DestroyWindow(shell);
        accountFacts = {work.token != nullptr ? +[] { return true; } : +[] { return false; },
                        WTSGetActiveConsoleSessionId, work.token, [] { return shell; },
                        work.account == kShellAnother ? +[](HANDLE) { return true; } : IsAnotherAccount};
        userFileCalls.clear();
        ShortcutWork shortcuts;
        if (work.task == kUninstall) {
            UninstallProduct(false);
        } else {
            StartShortcuts(shortcuts, true, true, false);
            FinishShortcuts(shortcuts);
        }
        DestroyWindow(shell);
        HANDLE token = nullptr;  // of an impersonation left behind
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) && CloseHandle(token));
        EXPECT_EQ(work.calls, userFileCalls) << &work - works;
        const int userFiles = FileExists(paths.userStartMenuFolder) + FileExists(paths.userStartMenuLink) +
                              FileExists(paths.userDesktopLink);
        EXPECT_EQ(work.links == kLinks ? 3 : 0, userFiles) << &work - works;
    }
    __imp_CoCreateInstance = createInstance, __imp_SHFileOperationA = fileOperation;
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));  // the uninstall's script removes itself
    accountFacts = saved;
}

// A file written to take an old one's place is flushed to the disk before the
// rename, which is written through: a power cut cannot leave zeros where a
// working file was.  A first file has nothing to lose and is not flushed.  The
// calls ('f' a flush, 'm' a rename written through, 'M' one not) are seen
// through the import table, as above.
std::string replacementCalls;
extern "C" decltype(&FlushFileBuffers) __imp_FlushFileBuffers;
extern "C" decltype(&MoveFileExA) __imp_MoveFileExA;
decltype(&FlushFileBuffers) flushBuffers;
decltype(&MoveFileExA) moveFile;

TEST(DurableReplacement, FlushedBeforeItTakesAnOldFilesPlace)
{
    flushBuffers = __imp_FlushFileBuffers, moveFile = __imp_MoveFileExA;
    __imp_FlushFileBuffers = [](HANDLE file) { return replacementCalls += 'f', flushBuffers(file); };
    __imp_MoveFileExA = [](LPCSTR from, LPCSTR to, DWORD flags) {
        return replacementCalls += flags & MOVEFILE_WRITE_THROUGH ? 'm' : 'M', moveFile(from, to, flags);
    };
    const std::string target = ScratchFolder() + "\\replaced";
    HoldRunningFile();
    for (DWORD (*write)(const char*) : {+[](const char* path) { return ExtractPayloadEntry(1, path); },
                                        +[](const char* path) { return CopyRunningFile(path, InUse::kFail); }}) {
        replacementCalls.clear();
        RemoveTree(target);
        EXPECT_TRUE(write(target.c_str()) == ERROR_SUCCESS && write(target.c_str()) == ERROR_SUCCESS);
        EXPECT_EQ("mfm", replacementCalls);
    }
    __imp_FlushFileBuffers = flushBuffers, __imp_MoveFileExA = moveFile;
}

// Every "%" doubled, so that the command processor reads the path as written;
// and a file found under the script's name, which its owner could rewrite while
// the script runs, is never written to.
TEST(SelfDeleteScript, DoublesPercentSignsAndIsAlwaysANewFile)
{
    const char *uninstaller = "C:\\100% sure\\Uninstall.exe", *ping = "D:\\%W%\\PING.EXE";
    char script[kSelfDeleteScriptCapacity];
    const std::string text(script, FormatSelfDeleteScript(script, sizeof script, uninstaller, ping));
    EXPECT_EQ("@echo off\r\nset tries=300\r\n:loop\r\ndel /f /q \"C:\\100%% sure\\Uninstall.exe\" >nul 2>&1\r\n"
              "if exist \"C:\\100%% sure\\Uninstall.exe\" if %tries% gtr 1 (\r\n  set /a tries-=1\r\n"
              "  \"D:\\%%W%%\\PING.EXE\" -n 2 127.0.0.1 >nul\r\n  goto loop\r\n)\r\ndel /f /q \"%~f0\"\r\n", text);
    const std::string path = ScratchFolder() + "\\lvremote_uninstall_1.bat";
    ASSERT_TRUE(WriteFileBytes(path, "planted"));
    HANDLE planted = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(WriteSelfDeleteScript(path.c_str(), uninstaller, ping));
    CloseHandle(planted);
    EXPECT_EQ("planted", ReadFileBytes(path));
    EXPECT_TRUE(WriteSelfDeleteScript(path.c_str(), uninstaller, ping) && ReadFileBytes(path) == text);
    // Run elevated and read line by line: only SYSTEM and the administrators may change it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* sddl = nullptr;
    GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                          &descriptor);
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl,
                                                         nullptr);
    const std::string dacl = sddl != nullptr ? sddl : "";
    LocalFree(sddl), LocalFree(descriptor);
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr && dacl.rfind("D:P", 0) != 0)
        GTEST_SKIP() << "Wine keeps no DACL on files but reports one made from their mode bits: " << dacl;
    EXPECT_EQ("D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)", dacl);
}

// The command processor reads the script in the console's code page, not in
// ours (UTF-8): a path it can spell is removed when the script runs as the
// uninstall runs it; one it cannot spell gets no script rather than a wrong name.
// A file someone keeps open is tried for a bound (here two tries), then left.
TEST(SelfDeleteScript, SpeaksTheConsolesCodePage)
{
    const std::string folder = ScratchFolder() + "\\Récupération", uninstaller = folder + "\\Uninstall.exe";
    const std::string script = ScratchFolder() + "\\lvremote_uninstall_2.bat";
    char commandLine[2 * MAX_PATH], systemFolder[MAX_PATH];
    GetSystemDirectoryA(systemFolder, MAX_PATH);
    const std::string ping = std::string(systemFolder) + "\\PING.EXE";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) && WriteFileBytes(uninstaller, "uninstaller"));
    sprintf(commandLine, "\"%s\\cmd.exe\" /d /s /c \"\"%s\"\"", systemFolder, script.c_str());
    for (bool held : {true, false}) {  // held by a viewer that shares reading only
        HANDLE view = INVALID_HANDLE_VALUE;
        if (held)
            view = CreateFileA(uninstaller.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(WriteSelfDeleteScript(script.c_str(), uninstaller.c_str(), ping.c_str(), 2));
        STARTUPINFOA startup = {sizeof startup};
        PROCESS_INFORMATION started = {};
        ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   systemFolder, &startup, &started));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started.hProcess, kWaitMs)) << held << ": the script did not end";
        CloseHandle(started.hThread), CloseHandle(started.hProcess);
        if (held)
            CloseHandle(view);
        EXPECT_TRUE(FileExists(uninstaller) == held && !FileExists(script)) << held << ": the script read another path";
    }
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));  // the windowless console's host too
    const char* unspellable = "C:\\\xF0\x9F\x99\x82\\Uninstall.exe";  // U+1F642, in no OEM code page
    char text[kSelfDeleteScriptCapacity];
    EXPECT_EQ(0u, FormatSelfDeleteScript(text, sizeof text, unspellable, ping.c_str()));
    EXPECT_FALSE(WriteSelfDeleteScript(script.c_str(), unspellable, ping.c_str()) || FileExists(script));
}

// A path converts exactly or not at all: where the manifest's UTF-8 is ignored
// (Windows before 10 1903), a name outside the ANSI code page gives no path
// rather than a best-fit one; a lone surrogate none in UTF-8; a cut one none.
TEST(ConvertExactly, AWholePathOrNone)
{
    const struct { const wchar_t* text; UINT codePage; const char* expected; std::size_t capacity; } cases[] = {
        {L"C:\\users\\\u0141ukasz", CP_ACP, "C:\\users\\\u0141ukasz", MAX_PATH},
        {L"C:\\users\\\u0141ukasz", 1252, "", MAX_PATH},
        {L"C:\\users\\Ren\u00e9", 1252, "C:\\users\\Ren\xe9", MAX_PATH},    {L"C:\\\xD800x", CP_ACP, "", MAX_PATH},
        {L"C:\\users", CP_ACP, "", 8},                                             {L"C:\\users", CP_ACP, "", 0}};
    for (const auto& road : cases) {
        char converted[MAX_PATH];
        const std::size_t length = ConvertExactly(road.text, road.codePage, converted, road.capacity);
        EXPECT_EQ(road.expected, std::string(converted, length)) << &road - cases;
    }
}

// The program a stored uninstall command starts: a quoted full path is left to
// the platform (none named here), a bare name comes from the system folder, and
// an unquoted path counts only as far as a part ending in ".exe" before a blank
// or the end that is a file; a command found no such way is not started.
TEST(CommandProgram, OnlyAFileTheCommandNamesRuns)
{
    const std::string folder = ScratchFolder() + "\\VEK Lumovara", uninstaller = folder + "\\uninst.exe";
    CreateDirectoryA(folder.c_str(), nullptr), CreateDirectoryA((folder + "\\dir.exe").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(uninstaller, "MZ"));
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const struct { std::string command; Found resolved; std::string program; } commands[] = {
        {uninstaller + " /S", kFound, uninstaller}, {uninstaller, kFound, uninstaller},
        {uninstaller + "s /S", kNotFound, ""}, {folder + "\\dir.exe /S", kNotFound, ""},
        {folder + "\\dir.exe\\..\\uninst.exe\t/S", kFound, folder + "\\dir.exe\\..\\uninst.exe"},
        {folder + "\\missing.exe /S", kNotFound, ""}, {"\"" + folder + "\\missing.exe\" /S", kFound, ""},
        {"MsiExec /X{1}", kFound, system + std::string("\\msiexec.exe")},
        {"Lumovara\\uninst.exe /S", kNotFound, ""}};
    for (const auto& row : commands) {
        char program[MAX_PATH] = "x";
        EXPECT_EQ(row.resolved == kFound, ResolveCommandProgram(row.command.c_str(), program)) << row.command;
        EXPECT_EQ(0, lstrcmpiA(row.program.c_str(), program)) << row.command << ": " << program;
    }
}

// A negative request gives nothing and never moves the read position back.
TEST(LicenceReader, ANegativeRequestGivesNothing)
{
    LicenceReader reader = {reinterpret_cast<const BYTE*>("abc"), 3, 0};
    BYTE buffer[8];
    LONG given = -1;
    ReadLicenceChunk(DWORD_PTR(&reader), buffer, -5, &given);
    EXPECT_EQ(0, given);
    ReadLicenceChunk(DWORD_PTR(&reader), buffer, 8, &given);
    EXPECT_EQ("abc", std::string(reinterpret_cast<char*>(buffer), given));
}

}  // namespace
