#include "tests/support/ui_driver.h"

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

namespace {

bool WriteBitmapFile(const std::string& path, HDC dc, HBITMAP bitmap, int width, int height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files store rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
    std::string pixels(size_t(stride) * height, '\0');
    if (!GetDIBits(dc, bitmap, 0, UINT(height), pixels.data(),
                   reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS))
        return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = DWORD(file.bfOffBits + pixels.size());
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
              WriteFile(out, &header, sizeof header, &written, nullptr) &&
              WriteFile(out, pixels.data(), DWORD(pixels.size()), &written, nullptr);
    CloseHandle(out);
    return ok;
}

// Repaints the window (in its own process) and waits a moment for the paint.
void RepaintAndSettle(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(150);
}

}  // namespace

Pixels CaptureWindow(HWND window)
{
    Pixels pixels;
    RepaintAndSettle(window);
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return pixels;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) {
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

    RepaintAndSettle(window);
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);  // GetDIBits wants the bitmap out of any DC
    bool ok = copied && WriteBitmapFile(path, screen, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace ui

#include "tests/support/test_paths.h"

namespace ui {

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
