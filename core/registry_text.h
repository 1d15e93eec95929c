// Reading registry values into fixed buffers.
//
// A stored value need not end with a NUL, and its type is not looked at.  Every
// string the program reads from the registry comes through ReadRegistryText,
// so nothing ever reads past a buffer whatever the stored length or terminator.
#pragma once

#include <windows.h>

// Reads value `name` of `key` into buffer[0..capacity), zeroed first.  True only
// when the read succeeded and the result is a string terminated inside the
// buffer; a value that fills the buffer without a terminator counts as not
// readable, and so does one that does not fit at all.  On false the buffer
// holds the empty string.
bool ReadRegistryText(HKEY key, const char* name, char* buffer, DWORD capacity);

template <DWORD N>
bool ReadRegistryText(HKEY key, const char* name, char (&buffer)[N])
{
    return ReadRegistryText(key, name, buffer, N);
}
