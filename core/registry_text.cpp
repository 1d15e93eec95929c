#include "core/registry_text.h"

#include <cstring>

bool ReadRegistryText(HKEY key, const char* name, char* buffer, DWORD capacity)
{
    std::memset(buffer, 0, capacity);
    DWORD size = capacity;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS && std::memchr(buffer, '\0', capacity) != nullptr)
        return true;
    // Failed, or filled without a terminator: leave an empty string, never a fragment.
    std::memset(buffer, 0, capacity);
    return false;
}
