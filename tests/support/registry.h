// Registry set-up and checks for tests (64-bit view, like the setup program).
#pragma once

#include <windows.h>

#include <string>

// Writes value `name` with raw bytes and type under root\path, creating the key.
bool SetRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::string& bytes);
bool SetRegistryString(HKEY root, const std::string& path, const std::string& name,
                       const std::string& text);  // REG_SZ with its NUL
bool DeleteRegistryTree(HKEY root, const std::string& path);
bool DeleteRegistryValue(HKEY root, const std::string& path, const std::string& name);  // missing is fine
bool RegistryKeyExists(HKEY root, const std::string& path);

// A value read back whole: exists, type and the exact bytes stored.
struct RegistryValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};
RegistryValue ReadRegistryValue(HKEY root, const std::string& path, const std::string& name);
