#include "shell/user_folders.h"

#include "core/platform_paths.h"
#include "core/bounded_text.h"
#include "shell/shell_token.h"

#include <shlobj.h>

namespace {

constexpr DWORD kNoConsoleSession = 0xFFFFFFFF;
constexpr DWORD kTokenUserCapacity = 256;

// DWORD-aligned storage for a TOKEN_USER record and the SID behind it.
struct TokenUserRecord {
    DWORD storage[kTokenUserCapacity / sizeof(DWORD)];
    PSID Sid() { return reinterpret_cast<TOKEN_USER*>(storage)->User.Sid; }
};

// The user of `token`, or of our own process's when it is null.
bool ReadTokenUser(HANDLE token, TokenUserRecord& user)
{
    HANDLE own = nullptr;
    if (token == nullptr && !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return false;
    DWORD returnedLength = 0;
    bool read = GetTokenInformation(token != nullptr ? token : own, TokenUser, user.storage, kTokenUserCapacity,
                                    &returnedLength);
    if (own != nullptr)
        CloseHandle(own);
    return read;
}

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
    HRESULT hr = SHGetFolderPathAndSubDirW(nullptr, csidl, userToken, SHGFP_TYPE_CURRENT, nullptr, widePath);
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
    auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(GetProcAddress(library, "WTSQueryUserToken")));
    BOOL queried = query != nullptr && query(sessionId, token);
    FreeLibrary(library);
    return queried;
}

}  // namespace

AccountFacts accountFacts = {RunsAsLocalSystem, WTSGetActiveConsoleSessionId, QueryUserToken, GetShellWindow,
                             IsAnotherAccount};

bool RunsAsLocalSystem()
{
    TokenUserRecord user;
    DWORD systemSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD sidSize = SECURITY_MAX_SID_SIZE;
    return ReadTokenUser(nullptr, user) && CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &sidSize) &&
           EqualSid(user.Sid(), systemSid);
}

bool IsAnotherAccount(HANDLE token)
{
    TokenUserRecord ours;
    TokenUserRecord theirs;
    return ReadTokenUser(nullptr, ours) && ReadTokenUser(token, theirs) && !EqualSid(ours.Sid(), theirs.Sid());
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
        token = DuplicateShellToken(shellWindow, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, TokenImpersonation);
        if (token == nullptr)
            return false;
        // Elevated with another account's credentials (over a standard user's
        // shoulder), we resolved that account's own folder, where the shell's
        // user may not write: the work runs as we do, in a folder that only
        // our account can have pointed anywhere.
        if (accountFacts.isAnotherAccount(token)) {
            CloseHandle(token);
            return true;
        }
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
