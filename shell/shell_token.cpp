#include "shell/shell_token.h"

HANDLE DuplicateShellToken(HWND shellWindow, DWORD access, TOKEN_TYPE type)
{
    DWORD shellProcessId = 0;
    if (shellWindow == nullptr || GetWindowThreadProcessId(shellWindow, &shellProcessId) == 0 || shellProcessId == 0)
        return nullptr;
    HANDLE shellProcess = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId);
    if (shellProcess == nullptr)
        return nullptr;
    HANDLE processToken = nullptr;
    HANDLE shellToken = nullptr;
    if (OpenProcessToken(shellProcess, TOKEN_DUPLICATE, &processToken)) {
        if (!DuplicateTokenEx(processToken, access, nullptr, SecurityImpersonation, type, &shellToken))
            shellToken = nullptr;
        CloseHandle(processToken);
    }
    CloseHandle(shellProcess);
    return shellToken;
}
