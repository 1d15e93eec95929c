// Stand-in for the VEK Lumovara Remote application, used as the default payload.
//
// A plain window whose title starts with the product name and which shows the
// program's own path, version and working directory.  Built a second time with
// SAMPLE_IGNORES_CLOSE for tests: that variant answers WM_CLOSE and stays open,
// like a copy whose user chose to keep working.
#include <windows.h>

#include "core/product.h"

#include <cstdio>

namespace {

constexpr char kWindowClass[] = "LumovaraRemoteSample";

LRESULT CALLBACK SampleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
#ifdef SAMPLE_IGNORES_CLOSE
        return 0;
#else
        DestroyWindow(window);
        return 0;
#endif
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    char modulePath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
    char workingDirectory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, workingDirectory);

    char details[3 * MAX_PATH + 128];
    std::snprintf(details, sizeof details, "Path: %s\r\nVersion: %s\r\nWorking directory: %s", modulePath,
                  ProductVersion, workingDirectory);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SampleWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);

    char title[128];
    std::snprintf(title, sizeof title, "%s %s", ProductName, ProductVersion);
    HWND window = CreateWindowExA(0, kWindowClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 200,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    // The details control is what tests read back: path, version, working directory.
    CreateWindowExA(0, "STATIC", details, WS_CHILD | WS_VISIBLE | SS_LEFT, 12, 12, 600, 120, window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(100)), instance, nullptr);
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
