// Per-user shell folders of the interactive user, also when running as LocalSystem.
#pragma once

#include <windows.h>

// Fills folderPath (260 bytes, ANSI) with the folder `csidl` of the interactive
// user.  True when folderPath holds the path; on false folderPath is unchanged.
bool ResolveInteractiveUserFolder(int csidl, char* folderPath);

// Whether the process token's user is the LocalSystem account.
bool RunsAsLocalSystem();

// Converts a UTF-16 folder path into folderPath (260 bytes) in codePage.  False,
// with folderPath unchanged, when the converted path and its NUL do not fit.
bool ConvertFolderPath(const wchar_t* widePath, UINT codePage, char* folderPath);

// The account facts that decide the road.  Wine always runs us as an ordinary
// account, so tests replace these to walk the LocalSystem road; the shipped
// program never changes them from the real calls.
struct AccountFacts {
    bool (*runsAsLocalSystem)();
    DWORD(WINAPI* activeConsoleSessionId)();
    BOOL(WINAPI* queryUserToken)(ULONG sessionId, HANDLE* token);
};
extern AccountFacts accountFacts;
