#include "shell/user_folders.h"

#include "core/platform_paths.h"
#include "core/bounded_text.h"
#include "shell/shell_token.h"

#include <shlobj.h>

namespace {

constexpr DWORD kNoConsoleSession = 0xFFFFFFFF;
constexpr DWORD kTokenUserCapacity = 256;

// The console user's folder, looked up through that user's token.
bool ResolveConsoleUserFolder(int csidl, char* folderPath)
{
    DWORD sessionId = accountFacts.activeConsoleSessionId();
    if (sessionId == kNoConsoleSession)
        return false;
    HANDLE userToken = nullptr;
    if (!accountFacts.queryUserToken(sessionId, &userToken))
        return false;

    wchar_t widePath[kPathCapacity] = {};
    HRESULT hr = SHGetFolderPathAndSubDirW(nullptr, csidl, userToken, SHGFP_TYPE_CURRENT, nullptr,
                                           widePath);
    CloseHandle(userToken);
    if (FAILED(hr))
        return false;
    return ConvertWidePath(widePath, folderPath);
}

// WTSQueryUserToken, from the system folder.  WTSAPI32 is not one of the DLLs
// the system always takes from there: imported, it would be looked for beside
// the program before start-up could narrow the search.
BOOL WINAPI QueryUserToken(ULONG sessionId, HANDLE* token)
{
    HMODULE library = LoadLibraryExA("wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr)
        return FALSE;
    using QueryFunction = BOOL(WINAPI*)(ULONG, HANDLE*);
    auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "WTSQueryUserToken")));
    BOOL queried = query != nullptr && query(sessionId, token);
    FreeLibrary(library);
    return queried;
}

}  // namespace

AccountFacts accountFacts = {RunsAsLocalSystem, WTSGetActiveConsoleSessionId, QueryUserToken,
                             GetShellWindow};

bool RunsAsLocalSystem()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;

    // DWORD-aligned storage for the TOKEN_USER record and the SID behind it.
    DWORD tokenUser[kTokenUserCapacity / sizeof(DWORD)];
    DWORD systemSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD returnedLength = 0;
    DWORD sidSize = SECURITY_MAX_SID_SIZE;
    bool isLocalSystem =
        GetTokenInformation(token, TokenUser, tokenUser, kTokenUserCapacity, &returnedLength) &&
        CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &sidSize) &&
        EqualSid(reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid, systemSid);
    CloseHandle(token);
    return isLocalSystem;
}

bool BeginInteractiveUserWork(HANDLE* userToken)
{
    *userToken = nullptr;
    HANDLE token = nullptr;
    if (accountFacts.runsAsLocalSystem()) {
        DWORD sessionId = accountFacts.activeConsoleSessionId();
        if (sessionId == kNoConsoleSession || !accountFacts.queryUserToken(sessionId, &token))
            return false;
    } else {
        HWND shellWindow = accountFacts.shellWindow();
        if (shellWindow == nullptr)
            return true;
        token = DuplicateShellToken(shellWindow, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE,
                                    TokenImpersonation);
        if (token == nullptr)
            return false;
    }
    if (!ImpersonateLoggedOnUser(token)) {
        CloseHandle(token);
        return false;
    }
    *userToken = token;
    return true;
}

void EndInteractiveUserWork(HANDLE userToken)
{
    if (userToken == nullptr)
        return;
    RevertToSelf();
    CloseHandle(userToken);
}

bool ResolveInteractiveUserFolder(int csidl, char* folderPath)
{
    // As LocalSystem our own profile is the wrong one: only the console user's
    // folders count, and there is no falling back to ours.
    if (accountFacts.runsAsLocalSystem())
        return ResolveConsoleUserFolder(csidl, folderPath);

    return GetSpecialFolder(csidl, folderPath);
}
