// The product's entry in the system's list of installed programs.
#include "install/uninstall_registration.h"

#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/product.h"

#include <cstring>

namespace {

void SetString(HKEY key, const char* name, const char* text)
{
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   DWORD(std::strlen(text) + 1));
}

void SetDword(HKEY key, const char* name, DWORD value)
{
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

void WriteUninstallRegistration(const char* uninstallerPath, DWORD installedSizeKiB)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;

    // Start-up reads the version back into kVersionCapacity bytes: written through as many.
    char version[kVersionCapacity];
    FormatBounded(version, sizeof version, "%s", ProductVersion);
    // Room for any 260-character path and its two quotes.
    char command[kPathCapacity + 2];
    FormatBounded(command, sizeof command, "\"%s\"",
                  uninstallerPath != nullptr ? uninstallerPath : RememberedApplicationPath());

    // Each write stands alone: one that fails does not stop the others.
    SetString(key, "DisplayName", ProductName);
    SetString(key, "DisplayVersion", version);
    SetString(key, "Publisher", PublisherName);
    if (uninstallerPath != nullptr)
        SetString(key, "UninstallString", command);
    else
        RegDeleteValueA(key, "UninstallString");
    SetString(key, "DisplayIcon", command);
    SetDword(key, "EstimatedSize", installedSizeKiB);
    SetDword(key, "NoModify", 1);
    SetDword(key, "NoRepair", 1);
    RegCloseKey(key);
}
