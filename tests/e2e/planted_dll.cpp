// A DLL that records being loaded, in "<its own path>.ran".  Tests plant copies
// of it under the names of libraries that the setup program, or the system
// libraries it calls, may load, where a user without administrator rights can write.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    char marker[MAX_PATH + 4] = {};
    const DWORD length = reason == DLL_PROCESS_ATTACH ? GetModuleFileNameA(self, marker, MAX_PATH) : 0;
    if (length > 0 && length < MAX_PATH)
        CloseHandle(CreateFileA(lstrcatA(marker, ".ran"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return TRUE;
}
