// Per-user shell folders of the interactive user, also when running as LocalSystem.
#pragma once

#include <windows.h>

// Fills folderPath (260 bytes, our code page) with the folder `csidl` of the interactive
// user.  True when folderPath holds the path; on false folderPath is unchanged.
bool ResolveInteractiveUserFolder(int csidl, char* folderPath);

// Work in the interactive user's folders.  As LocalSystem these are the console
// user's, who may have put a junction or a link where we create or delete
// something: the calling thread then does that work impersonating the user,
// with no more rights than the user has.  For any other account the work runs
// as the process does.
//
// BeginInteractiveUserWork is true when the work may go ahead, with *userToken
// set for EndInteractiveUserWork (null when nothing is impersonated); false,
// with nothing to end, when the console user cannot be impersonated.  Call it
// after ResolveInteractiveUserFolder, which needs LocalSystem's own rights.
bool BeginInteractiveUserWork(HANDLE* userToken);
void EndInteractiveUserWork(HANDLE userToken);

// Whether the process token's user is the LocalSystem account.
bool RunsAsLocalSystem();

// The account facts that decide the road.  Wine always runs us as an ordinary
// account, so tests replace these to walk the LocalSystem road; the shipped
// program never changes them from the real calls.
struct AccountFacts {
    bool (*runsAsLocalSystem)();
    DWORD(WINAPI* activeConsoleSessionId)();
    BOOL(WINAPI* queryUserToken)(ULONG sessionId, HANDLE* token);
};
extern AccountFacts accountFacts;
