#include "tests/support/ui_driver.h"

#include "tests/support/test_paths.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace ui {

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0))
{
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

Process::~Process()
{
    if (handle_ != nullptr)
        CloseHandle(handle_);
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (handle_ == nullptr || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode != nullptr)
        GetExitCodeProcess(handle_, exitCode);
    return true;
}

bool Process::Running() const
{
    return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

void Process::Kill() const
{
    if (Running()) {
        TerminateProcess(handle_, 99);
        WaitForSingleObject(handle_, 5000);
    }
}

Process Start(const std::string& path, const std::string& arguments,
              const std::string& workingDirectory)
{
    std::string commandLine = "\"" + path + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                        &info))
        return Process();
    CloseHandle(info.hThread);
    return Process(info.hProcess, info.dwProcessId);
}

namespace {

struct WindowQuery {
    DWORD processId;
    const char* className;
    const char* title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* query = reinterpret_cast<WindowQuery*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (query->processId != 0 && owner != query->processId)
        return TRUE;
    if (query->className != nullptr) {
        char className[256] = {};
        GetClassNameA(window, className, sizeof className);
        if (std::strcmp(className, query->className) != 0)
            return TRUE;
    }
    if (query->title != nullptr && WindowText(window) != query->title)
        return TRUE;
    query->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> FindTopLevelWindows(DWORD processId, const char* className, const char* title)
{
    WindowQuery query{processId, className, title, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForTopLevelWindow(DWORD processId, const char* className, const char* title,
                           DWORD timeoutMs)
{
    HWND window = nullptr;
    WaitUntil(
        [&] {
            for (HWND candidate : FindTopLevelWindows(processId, className, title)) {
                if (IsWindowVisible(candidate)) {
                    window = candidate;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return window;
}

std::string WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return std::string();
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return std::string();
    text.resize(copied);
    return text;
}

std::string ControlText(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr ? WindowText(control) : std::string();
}

bool ControlVisible(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ControlEnabled(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr && IsWindowEnabled(control);
}

int CheckState(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr)
        return -1;
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state))
        return -1;
    return int(state);
}

bool Click(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr && PostMessageA(control, BM_CLICK, 0, 0);
}

bool Press(HWND dialog, int controlId, DWORD timeoutMs)
{
    HWND control = GetDlgItem(dialog, controlId);
    DWORD_PTR result = 0;
    return control != nullptr &&
           SendMessageTimeoutA(control, BM_CLICK, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

HWND FindChild(HWND parent, const char* className)
{
    return FindWindowExA(parent, nullptr, className, nullptr);
}

bool IsMessageBox(HWND window)
{
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    return std::strcmp(className, "#32770") == 0 && GetDlgItem(window, 0xFFFF) != nullptr;
}

MessageBoxInfo WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    MessageBoxInfo info;
    WaitUntil(
        [&] {
            for (HWND window : FindTopLevelWindows(processId, "#32770", nullptr)) {
                if (IsWindowVisible(window) && IsMessageBox(window)) {
                    info.window = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (info.window != nullptr) {
        info.title = WindowText(info.window);
        info.text = ControlText(info.window, 0xFFFF);
    }
    return info;
}

bool Answer(HWND box, int buttonId)
{
    HWND button = GetDlgItem(box, buttonId);
    return button != nullptr &&
           PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button));
}

void EndProgramsWithWindowClass(const char* className)
{
    for (HWND window : FindTopLevelWindows(0, className, nullptr)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
        if (process == nullptr)
            continue;
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

// Repaints the window (in its own process) and waits a moment for the paint.
static void RepaintAndSettle(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(150);
}

Pixels ReadPixels(HDC source, const RECT& area)
{
    Pixels pixels;
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC memory = CreateCompatibleDC(source);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, source, area.left, area.top, SRCCOPY)) {
            GdiFlush();
            const DWORD* first = static_cast<const DWORD*>(bits);
            pixels.rgb.assign(first, first + size_t(width) * size_t(height));
            pixels.width = width;
            pixels.height = height;
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return pixels;
}

Pixels CaptureWindow(HWND window)
{
    RepaintAndSettle(window);
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return Pixels();
    HDC screen = GetDC(nullptr);
    Pixels pixels = ReadPixels(screen, rect);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool SaveScreenshot(HWND window, const std::string& name)
{
    const char* folder = std::getenv("SCREENSHOT_DIR");
    if (folder == nullptr || *folder == '\0')
        return false;
    // The harness gives a Unix folder; Wine maps / to Z:.
    std::string path = folder[0] == '/' ? std::string("Z:") + folder : std::string(folder);
    path += "/" + name + ".bmp";
    Pixels pixels = CaptureWindow(window);
    if (pixels.rgb.empty())
        return false;
    for (DWORD& pixel : pixels.rgb)
        pixel |= 0xFF000000;  // opaque: viewers read the fourth byte as alpha

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = pixels.width;
    header.biHeight = -pixels.height;  // top row first
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    DWORD bytes = DWORD(pixels.rgb.size() * sizeof(DWORD));
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + bytes;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
              WriteFile(out, &header, sizeof header, &written, nullptr) &&
              WriteFile(out, pixels.rgb.data(), bytes, &written, nullptr);
    CloseHandle(out);
    return ok;
}

FileHolder::FileHolder(const std::string& path)
{
    process_ = Start(BuildPath("tests/hold_file.exe"), "\"" + path + "\"");
    // It holds the file once a plain open for reading is refused.
    holding_ = process_.started() && WaitUntil([&] {
                   HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ |
                                              FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, 0, nullptr);
                   if (probe == INVALID_HANDLE_VALUE)
                       return GetLastError() == ERROR_SHARING_VIOLATION;
                   CloseHandle(probe);
                   return false;
               });
}

FileHolder::~FileHolder()
{
    process_.Kill();
}

}  // namespace ui
