// Test support for the Windows tests, which run under Wine: programs started
// inside the test's job, the setup program and its wizard, message boxes,
// files, registry values, shell links and screenshots.
//
// Every test program links tests/support/main.cpp.  It puts the program into a
// job object that ends, whenever the program ends (pass, fail, crash or ctest's
// timeout), every process it started and everything those started: the setup
// program, the application it starts on Finish, the command processor of the
// self-delete script.  After the last test it fails the program if a process
// still runs or a file or uninstall entry was left behind, and removes them.
//
// Waits poll a condition with a bound; none is a fixed sleep.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr DWORD kWaitMs = 20000;

// Polls `condition` until it holds; false when `timeoutMs` passed first.
template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = kWaitMs)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
    return true;
}

// ---- Processes

// A program in the test's job, ended (terminated) when this goes away.
class Process {
public:
    Process() = default;
    // Starts `path` (quoted) with `arguments`; started() tells whether it ran.
    explicit Process(const std::string& path, const std::string& arguments = "");
    // Takes over a process the program under test started.
    explicit Process(DWORD id);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process() { End(); }

    bool started() const { return handle_ != nullptr; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_; }
    bool Running() const;
    // Waits for the program to end: its exit code, or -1 when it did not end in time.
    long Wait(DWORD timeoutMs = kWaitMs) const;
    void End();

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// The processes of the job other than the test program, "name (id)" each;
// with `end`, each is also terminated.
std::vector<std::string> JobProcesses(bool end = false);

// ---- Files

std::string BuildPath(const std::string& relative);  // in the windows build folder
std::string ScratchFolder();  // this program's own folder under %TEMP%, removed at its end
bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
void RemoveTree(const std::string& path);  // a folder with its contents, or a file

// Holds `path` (created if missing) open without sharing while it lives, as
// another program would.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    bool holding() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// ---- Registry (the 64-bit view, as the setup program sees it)

extern const char kUninstallKey[];  // the product's registration under HKLM
extern const char kUninstallRoot[];  // HKLM's uninstall entries of 64-bit programs
std::string Sz(const std::string& text);  // the bytes of a REG_SZ value
std::string Dword(DWORD value);           // the bytes of a REG_DWORD value

struct RegistryValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};
RegistryValue ReadRegistryValue(HKEY root, const std::string& key, const std::string& name);
bool WriteRegistryValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                        const std::string& bytes);  // creates the key
bool RegistryKeyExists(HKEY root, const std::string& key);
void DeleteRegistryTree(HKEY root, const std::string& key);

// ---- The installation, as this prefix resolves its folders

struct InstallationPaths {
    std::string programFiles, installDirectory, application, helpFile, uninstaller;
    std::string commonStartMenuFolder, userStartMenuFolder;  // the "VEK" folders
    std::string commonStartMenuLink, userStartMenuLink, commonDesktopLink, userDesktopLink;
};
const InstallationPaths& Installation();
void RemoveInstallation();  // every file, link, folder and key an installation makes

struct ShellLink {
    bool loaded = false;
    std::string target, description, arguments;
};
ShellLink ReadShellLink(const std::string& path);  // through IShellLinkA, as the shell reads it

// ---- Windows, dialogs and message boxes of other processes

std::vector<HWND> VisibleWindows(DWORD processId, const char* className);  // 0: any process
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
bool ControlVisible(HWND dialog, int controlId);
bool ControlEnabled(HWND dialog, int controlId);
int CheckState(HWND dialog, int controlId);  // BST_CHECKED, BST_UNCHECKED, -1 when missing
bool Click(HWND dialog, int controlId);      // posted: returns at once
bool Press(HWND dialog, int controlId);      // sent: returns once its handler has run

struct MessageBoxInfo {
    HWND window = nullptr;  // null: no message box
    std::string title, text;
};
MessageBoxInfo FindMessageBox(DWORD processId);  // one shown now
MessageBoxInfo WaitForMessageBox(DWORD processId, DWORD timeoutMs = kWaitMs);
bool Answer(const MessageBoxInfo& box, int buttonId);  // IDYES, IDNO, IDOK

// ---- The setup program

// The setup program and what it showed first: the wizard or a message box
// (both null when neither came in time).
struct RunningSetup {
    Process process;
    HWND wizard = nullptr;
    MessageBoxInfo box;
};
RunningSetup StartSetup(const std::string& program = BuildPath("LumovaraSetup.exe"));
HWND WaitForWizard(DWORD processId);  // past a message box just answered
// Next, the licence accepted, Next: true on the options page.
bool WalkToOptions(HWND wizard);
bool SetOption(HWND wizard, int controlId, bool checked);  // clicks it as a user would
// Presses Install; returns when Finish is enabled (window null) or when a
// message box (the legacy question) shows, unanswered.
MessageBoxInfo Install(const RunningSetup& setup);
bool WaitForFinish(HWND wizard);
// Finish (with the Start box as `startApplication`): the exit code, or -1.
long Finish(RunningSetup& setup, bool startApplication);

// ---- Screens

struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> rgb;  // 0x00RRGGBB, top row first
    bool operator==(const Pixels& other) const { return width == other.width && rgb == other.rgb; }
};
Pixels ReadPixels(HDC source, const RECT& area);
Pixels Capture(HWND window);  // once the window has repainted and its picture is steady
// Saves SCREENSHOT_DIR\<name>.bmp (the harness turns it into PNG); nothing without SCREENSHOT_DIR.
void Screenshot(HWND window, const std::string& name);
