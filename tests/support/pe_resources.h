// Editing the resources of a built program, to test how it copes without one.
#pragma once

#include <windows.h>

#include <string>

// Rewrites the PE file at `path` with every resource it holds except (type, name),
// in all languages.  False when the file cannot be read or rewritten.
bool RemoveResource(const std::string& path, LPCSTR type, LPCSTR name);
