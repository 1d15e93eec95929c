// Support for the Windows tests, which run under Wine, and for the benchmark
// that installs: processes, the setup program and its wizard, message boxes,
// files, registry values, shell links, screenshots.  Waits poll a condition
// with a bound; none is a fixed sleep.  The test programs' main() is in
// test_main.cpp.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

constexpr DWORD kWaitMs = 10000;  // well inside each test's ctest time limit, so a failed wait is reported

// Polls `condition` until it holds; false when `timeoutMs` passed first.
template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = kWaitMs, DWORD pollMs = 20)  // the benchmark polls finer
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(pollMs))
        if (GetTickCount() - start > timeoutMs)
            return false;
    return true;
}

// A process of the test's job, terminated when this goes away or is assigned to.
class Process {
public:
    Process() = default;
    explicit Process(const std::string& path, const std::string& arguments = "");  // starts it
    explicit Process(DWORD id);  // takes over one that the program under test started
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process() { End(); }
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_; }  // null when it did not start
    bool Running() const;
    long Wait(DWORD timeoutMs = kWaitMs) const;  // the exit code, or -1 when it did not end in time
    void End();

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};
// Puts this program into a job that ends all it started when it ends; false when it cannot.
bool EnterJob();
// The job's processes other than this program, "name (id)" each; `end` terminates them.
std::vector<std::string> JobProcesses(bool end = false);

std::string BuildPath(const std::string& relative);  // BuildPath("LumovaraSetup.exe"): a file of the windows build
std::string ScratchFolder();  // this program's own folder under %TEMP%, removed at its end
bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);  // "" when it cannot be read
bool WriteFileBytes(const std::string& path, const std::string& bytes);
void RemoveTree(const std::string& path);  // a file, or a folder with all in it
std::set<std::string> Files(const std::string& pattern);  // the paths of those it matches, e.g. "C:\\Temp\\*.bat"

// Keys and values under HKLM in the 64-bit view, as the setup program sees them.
extern const char kUninstallRoot[];  // HKLM's uninstall entries
extern const char kUninstallKey[];   // the product's own entry
std::string Sz(const std::string& text);  // the bytes of a REG_SZ value
std::string Dword(DWORD value);           // the bytes of a REG_DWORD value
struct RegistryValue { bool exists = false; DWORD type = REG_NONE; std::string bytes; };
RegistryValue ReadRegistryValue(const std::string& key, const std::string& name);
RegistryValue EntryValue(const std::string& name);  // one of the product's own entry
bool WriteRegistryValue(const std::string& key, const std::string& name, DWORD type, const std::string& bytes);
bool RegistryKeyExists(const std::string& key);
void DeleteRegistryTree(const std::string& key);

// The installation's files and links, as this prefix resolves its folders.
struct InstallationPaths {
    std::string programFiles, installDirectory, application, helpFile, uninstaller;
    std::string commonStartMenuFolder, userStartMenuFolder;  // the "VEK" folders
    std::string commonStartMenuLink, userStartMenuLink, commonDesktopLink, userDesktopLink;
};
const InstallationPaths& Installation();
void RemoveInstallation();  // every file, link, folder and key an installation makes
struct ShellLink { bool loaded = false; std::string target, description, arguments; };
ShellLink ReadShellLink(const std::string& path);  // through IShellLinkA, as the shell reads it

// Windows and controls of other processes.
bool ShowsWindow(DWORD processId);  // a visible top-level window
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
bool ControlVisible(HWND dialog, int controlId);
bool ControlEnabled(HWND dialog, int controlId);
int CheckState(HWND dialog, int controlId);  // BST_CHECKED or BST_UNCHECKED
bool Click(HWND dialog, int controlId);      // posted: returns at once
bool Press(HWND dialog, int controlId, DWORD timeoutMs = kWaitMs);  // sent: returns when its handler has run
struct MessageBoxInfo { HWND window = nullptr; std::string title, text; };  // window null: none
MessageBoxInfo FindMessageBox(DWORD processId);  // one the process shows now
// The one the process shows once its text is `text` (any, when empty); window null when none came in time.
MessageBoxInfo WaitForMessageBox(DWORD processId, const std::string& text = "");
bool Answer(const MessageBoxInfo& box, int buttonId);  // IDYES, IDNO, IDOK
extern const char kUninstalled[];  // the text of the message that ends a complete uninstall

// The setup program and what it showed first, the wizard or a message box (null when neither came).
struct RunningSetup { Process process; HWND wizard = nullptr; MessageBoxInfo box; };
RunningSetup StartSetup(const std::string& program = BuildPath("LumovaraSetup.exe"));
HWND WaitForWizard(DWORD processId, DWORD timeoutMs = kWaitMs);  // e.g. after a question was answered
bool WalkToOptions(HWND wizard);      // Next, the licence accepted, Next
bool SetOption(HWND wizard, int controlId, bool checked);
// Presses Install; returns once Finish is enabled (window null) or a message
// box, the legacy question, shows unanswered.
MessageBoxInfo Install(const RunningSetup& setup);
bool OnFinishPage(HWND wizard);
long Finish(RunningSetup& setup, bool startApplication);  // the exit code, or -1

// SCREENSHOT_DIR/<name>.bmp (when set) of the window once it has painted and its picture is steady.
void Screenshot(HWND window, const std::string& name);
