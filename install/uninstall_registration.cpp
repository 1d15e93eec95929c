// The product's entry in the system's list of installed programs.
#include "install/uninstall_registration.h"

#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/product.h"

#include <cstring>

namespace {

// Each write stands alone: one that fails does not stop the others, and the
// first failure is the one reported.
void SetString(HKEY key, const char* name, const char* text, LONG& status)
{
    LONG written =
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(std::strlen(text) + 1));
    if (status == ERROR_SUCCESS)
        status = written;
}

void SetDword(HKEY key, const char* name, DWORD value, LONG& status)
{
    LONG written = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status == ERROR_SUCCESS)
        status = written;
}

}  // namespace

DWORD WriteUninstallRegistration(const char* uninstallerPath, DWORD installedSizeKiB)
{
    HKEY key;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return DWORD(status);

    // Start-up reads the version back into kVersionCapacity bytes: written through as many.
    char version[kVersionCapacity];
    FormatBounded(version, sizeof version, "%s", ProductVersion);
    // Room for any 260-character path, its two quotes and the quiet switch.
    char command[kPathCapacity + 2];
    char quietCommand[kPathCapacity + 5];
    FormatBounded(command, sizeof command, "\"%s\"",
                  uninstallerPath != nullptr ? uninstallerPath : RememberedApplicationPath());
    FormatBounded(quietCommand, sizeof quietCommand, "%s /S", command);
    // Deployment tools and later setups compare versions by these numbers.
    constexpr VersionNumber kNumbers = ProductVersionNumbers();

    SetString(key, "DisplayName", ProductName, status);
    SetString(key, "DisplayVersion", version, status);
    SetString(key, "Publisher", PublisherName, status);
    SetString(key, "ProductVersionNumber", ProductVersionNumber, status);
    SetDword(key, "VersionMajor", kNumbers.parts[0], status);
    SetDword(key, "VersionMinor", kNumbers.parts[1], status);
    if (uninstallerPath != nullptr) {
        SetString(key, "UninstallString", command, status);
        SetString(key, "QuietUninstallString", quietCommand, status);
    } else {
        RegDeleteValueA(key, "UninstallString");
        RegDeleteValueA(key, "QuietUninstallString");
    }
    SetString(key, "DisplayIcon", command, status);
    SetDword(key, "EstimatedSize", installedSizeKiB, status);
    SetDword(key, "NoModify", 1, status);
    SetDword(key, "NoRepair", 1, status);
    RegCloseKey(key);
    return DWORD(status);
}
