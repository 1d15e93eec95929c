// Driving Windows programs from outside, as a person would: start a program,
// find its dialogs and message boxes by class, title and control id, read and
// click controls, answer questions, and take screenshots.
//
// Everything here works across processes under Wine (WM_GETTEXT, BM_GETCHECK,
// IsWindowVisible, IsWindowEnabled, BM_CLICK).  Waits poll with a deadline so a
// broken program fails a test instead of hanging it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

constexpr DWORD kDefaultTimeoutMs = 20000;

// A started program; the handle is closed when this goes away.
class Process {
public:
    Process() = default;
    Process(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    bool started() const { return handle_ != nullptr; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_; }

    // Waits for the program to end; false on timeout.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
    bool Running() const;
    // Ends a program that a failed test left behind.
    void Kill() const;

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// Starts `path` (quoted on the command line) with optional arguments.
Process Start(const std::string& path, const std::string& arguments = "",
              const std::string& workingDirectory = "");

// Top-level windows of a process (or of every process when processId is 0)
// whose class and title match; nullptr matches anything.
std::vector<HWND> FindTopLevelWindows(DWORD processId, const char* className, const char* title);

// Waits until `find` yields a window; nullptr on timeout.
HWND WaitForTopLevelWindow(DWORD processId, const char* className, const char* title,
                           DWORD timeoutMs = kDefaultTimeoutMs);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
bool ControlVisible(HWND dialog, int controlId);
bool ControlEnabled(HWND dialog, int controlId);
// BST_CHECKED (1), BST_UNCHECKED (0), or -1 when the control does not exist.
int CheckState(HWND dialog, int controlId);

// Presses a button: posted BM_CLICK, so a handler that runs long does not block us.
bool Click(HWND dialog, int controlId);

// Presses a button and returns once its handler has run (sent BM_CLICK); false
// when the button is missing or the program did not answer in time.
bool Press(HWND dialog, int controlId, DWORD timeoutMs = kDefaultTimeoutMs);

// The first child window of `parent` with this class, or nullptr.
HWND FindChild(HWND parent, const char* className);

// A message box: a #32770 dialog whose text is the static control 0xFFFF.
struct MessageBoxInfo {
    HWND window = nullptr;
    std::string title;
    std::string text;
};

bool IsMessageBox(HWND window);

// Waits for a message box of the process; window is null on timeout.
MessageBoxInfo WaitForMessageBox(DWORD processId, DWORD timeoutMs = kDefaultTimeoutMs);

// Answers a message box or dialog with the button IDYES, IDNO, IDOK, ...
bool Answer(HWND box, int buttonId);

// Waits until `predicate` holds; false on timeout.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD timeoutMs = kDefaultTimeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (predicate())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(25);
    }
}

// The window's area of the screen, top row first, as 0x00RRGGBB pixels.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> rgb;
    DWORD at(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};
// Asks the window to repaint first; empty on failure.
Pixels CaptureWindow(HWND window);
// The pixels of `area` of a device context; empty on failure.
Pixels ReadPixels(HDC source, const RECT& area);

// Ends the processes that own top-level windows of `className` (a program a
// test had started, such as the installed application), by their ids.
void EndProgramsWithWindowClass(const char* className);

// Saves the window's area of the screen as SCREENSHOT_DIR\<name>.bmp (the test
// harness turns it into PNG).  False when SCREENSHOT_DIR is unset or on failure.
bool SaveScreenshot(HWND window, const std::string& name);

// A helper process holding `path` open without sharing until it is ended.
class FileHolder {
public:
    explicit FileHolder(const std::string& path);
    ~FileHolder();
    bool holding() const { return holding_; }

private:
    Process process_;
    bool holding_ = false;
};

}  // namespace ui
