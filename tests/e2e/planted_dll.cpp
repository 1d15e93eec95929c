// A DLL that records being loaded, in "<its own path>.ran".  Tests plant copies
// of it under the names of libraries the setup program, or the system libraries
// it calls, may load, where a user without administrator rights can write.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    char marker[MAX_PATH + 4] = {};
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(self, marker, MAX_PATH) < MAX_PATH) {
        lstrcatA(marker, ".ran");
        CloseHandle(CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    return TRUE;
}
