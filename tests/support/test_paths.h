// Paths of the built programs, as the tests running under Wine see them.
#pragma once

#include <string>

// Windows path of a file in the windows build folder, e.g. BuildPath("LumovaraSetup.exe").
std::string BuildPath(const std::string& relative);

// A new, empty folder under the prefix's temporary folder, for one test.
std::string MakeScratchFolder(const std::string& name);

// Removes a folder and everything in it; missing is fine.
void RemoveTree(const std::string& path);

bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
