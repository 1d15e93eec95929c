#include "app/licence_viewer.h"

#include "resources/resource.h"

#include <cstring>

DWORD CALLBACK ReadLicenceChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given)
{
    auto* reader = reinterpret_cast<LicenceReader*>(cookie);
    LONG count = reader->size - reader->delivered;
    if (wanted < count)
        count = wanted;
    // A negative request must never move the read position backwards.
    if (count < 0)
        count = 0;
    if (count > 0)
        std::memcpy(buffer, reader->bytes + reader->delivered, size_t(count));
    reader->delivered += count;
    *given = count;
    return 0;
}

namespace {

// Streams RCDATA 131 into the viewer as RTF; a missing resource leaves it empty.
void FillLicenceViewer(HWND viewer)
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_LICENCE), RT_RCDATA);
    if (resource == nullptr)
        return;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    if (loaded == nullptr)
        return;
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr)
        return;
    LicenceReader reader = {static_cast<const BYTE*>(bytes), LONG(SizeofResource(nullptr, resource)), 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&reader), 0, ReadLicenceChunk};
    SendMessageA(viewer, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

}  // namespace

HWND CreateLicenceViewer(HWND dialog)
{
    HWND placeholder = GetDlgItem(dialog, IDC_LICENCE_PLACEHOLDER);
    RECT area = {};
    GetWindowRect(placeholder, &area);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&area), 2);
    ShowWindow(placeholder, SW_HIDE);

    // Kept loaded for the rest of the run: the viewer's window class lives in it.
    // From the system folder only, never from beside the program.
    LoadLibraryExA("Msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The placeholder's style without WS_BORDER: the client edge draws the frame.
    constexpr DWORD kViewerStyle = 0x50210844;
    HWND viewer = CreateWindowExA(WS_EX_CLIENTEDGE, "RICHEDIT50W", nullptr, kViewerStyle, area.left, area.top,
                                  area.right - area.left, area.bottom - area.top, dialog, nullptr,
                                  reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)), nullptr);
    if (viewer != nullptr)
        FillLicenceViewer(viewer);
    return viewer;
}
