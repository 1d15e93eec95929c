// Per-user shell folders of the interactive user, also when running as LocalSystem.
#pragma once

#include <windows.h>

// Fills folderPath (260 bytes, our code page) with the folder `csidl` of the interactive
// user.  True when folderPath holds the path; on false folderPath is unchanged.
bool ResolveInteractiveUserFolder(int csidl, char* folderPath);

// Work in the interactive user's folders, which that user may have pointed
// anywhere (User Shell Folders), also at a junction or a link to a file of the
// system: the calling thread does that work impersonating the user, with no
// more rights than the user has.  As LocalSystem that is the console user's
// token; for any other account, the token of the desktop shell's process (the
// user's unelevated rights), when the shell runs as that account, whose folder
// ResolveInteractiveUserFolder gave.  With no shell window to take it from, or
// a shell of another account (elevated with an administrator's credentials
// over a standard user's shoulder), the work runs as the process does.
//
// BeginInteractiveUserWork is true when the work may go ahead, with *userToken
// set for EndInteractiveUserWork (null when nothing is impersonated); false,
// with nothing to end, when the user cannot be impersonated.  Call it after
// ResolveInteractiveUserFolder, which needs the process's own rights.
bool BeginInteractiveUserWork(HANDLE* userToken);
void EndInteractiveUserWork(HANDLE userToken);

// Whether the process token's user is the LocalSystem account.
bool RunsAsLocalSystem();

// Whether the user of `token` is known to be another account than the
// process's: false when either cannot be read.
bool IsAnotherAccount(HANDLE token);

// The account facts that decide the road.  Wine always runs us as an ordinary
// account, the only one there is, with no shell window, so tests replace these
// to walk the LocalSystem road, the shell's and another account's; the shipped
// program never changes them from the real calls.
struct AccountFacts {
    bool (*runsAsLocalSystem)();
    DWORD(WINAPI* activeConsoleSessionId)();
    BOOL(WINAPI* queryUserToken)(ULONG sessionId, HANDLE* token);
    HWND(WINAPI* shellWindow)();
    bool (*isAnotherAccount)(HANDLE token);
};
extern AccountFacts accountFacts;
