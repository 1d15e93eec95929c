// The licence viewer: a rich edit control put in place of the wizard's hidden
// placeholder and filled with the licence text (RTF) from the program's resources.
#pragma once

#include <windows.h>
#include <richedit.h>

// Where the licence text is streamed from: the resource bytes and how many the
// viewer has taken so far.
struct LicenceReader {
    const BYTE* bytes;
    LONG size;
    LONG delivered;
};

// EDITSTREAM callback: hands the viewer the next chunk of the LicenceReader in
// `cookie`; a chunk of 0 bytes tells it the text has ended.
DWORD CALLBACK ReadLicenceChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given);

// Creates the viewer over the placeholder 1006 (hiding it) and fills it with
// RCDATA 131.  Null when the rich edit library or its window is missing; an
// empty viewer when the licence resource is.
HWND CreateLicenceViewer(HWND dialog);
