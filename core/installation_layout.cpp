#include "core/installation_layout.h"

#include "core/platform_paths.h"
#include "core/product.h"

#include <shlobj.h>

namespace {

// The path to the install stem, then the file extension.
bool BuildPath(char (&path)[kPathCapacity], const char* programFiles, const char* suffix, const char* extension)
{
    return CopyPath(path, programFiles) && AppendPath(path, suffix) && AppendPath(path, extension);
}

}  // namespace

bool FindInstallationLayout(InstallationLayout* layout)
{
    *layout = {};
    char programFiles[kPathCapacity];
    if (GetSpecialFolder(CSIDL_PROGRAM_FILES, programFiles) &&
        BuildPath(layout->installDirectory, programFiles, InstallSubdir, "") &&
        BuildPath(layout->application, programFiles, InstallStem, AppExeExtension) &&
        BuildPath(layout->helpFile, programFiles, InstallStem, HelpFileExtension) &&
        BuildPath(layout->uninstaller, programFiles, InstallSubdir, UninstallerSuffix))
        return true;
    *layout = {};
    return false;
}
