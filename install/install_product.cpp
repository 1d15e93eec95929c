// The installation.
//
// Steps run in a fixed order, the shortcuts beside the steps after the
// application, and most of them go on after an earlier one failed; the two
// payload extractions and the uninstaller decide the result: a product that
// cannot be removed is not installed.  Nothing is rolled back, so with someone
// there an application file in use stops it before the first write.
#include "install/install_product.h"

#include "core/application_path.h"
#include "core/installation_layout.h"
#include "core/platform_paths.h"
#include "install/installed_size.h"
#include "install/running_file.h"
#include "install/uninstall_registration.h"
#include "maintenance/shutdown.h"
#include "payload/extract.h"
#include "shell/shortcuts.h"

#include <shlobj.h>

namespace {

// Size of the file at path in KiB, 0 when it cannot be measured.
std::uint32_t FileSizeInKiB(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path[0] == '\0' || !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return 0;
    return SizeInKiB((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

StepOutcome ShortcutStep(const ShortcutJob& job) { return job.chosen ? StepResult(job.error) : StepOutcome{}; }

// Copied from the file that runs, whatever lies at its path by now and
// however long that path is in our code page.  A copy that fails keeps the
// Uninstall.exe already there, which is registered only when it is this very
// program: another version's asks for its own version at start-up, and would
// open its wizard instead of uninstalling this one.
StepOutcome PlaceUninstaller(const char* uninstallerPath, InUse inUse)
{
    StepOutcome copy = StepResult(CopyRunningFile(uninstallerPath, inUse));
    if (copy.state == StepState::kFailed && IsRunningFileCopy(uninstallerPath))
        copy.state = StepState::kKept;
    return copy;
}

void InstallInto(const InstallationLayout& layout, const InstallOptions& options, WriteProgress& progress,
                 InstallOutcome& outcome)
{
    if (GetFileAttributesA(layout.installDirectory) == INVALID_FILE_ATTRIBUTES)
        SHCreateDirectoryExA(nullptr, layout.installDirectory, nullptr);

    const InUse inUse = options.unattended ? InUse::kAtRestart : InUse::kFail;
    outcome.application = StepResult(ExtractPayloadEntry(0, layout.application, &progress, inUse));
    if (outcome.application.state == StepState::kFailed)
        return;
    // The shortcuts point at the remembered path, so it is set first.
    RememberApplicationPath(layout.application);

    // From here on the result is fixed; the steps below run whatever it is.
    // The shortcuts are made meanwhile.
    ShortcutWork shortcuts;
    StartShortcuts(shortcuts, options.startMenu, options.desktop, options.allUsers);
    outcome.helpFile = StepResult(ExtractPayloadEntry(1, layout.helpFile, &progress, inUse));
    outcome.uninstaller = PlaceUninstaller(layout.uninstaller, inUse);

    // Without an uninstaller nothing is registered to run: the running
    // program's own path is usually in a folder of the user's, who could put
    // anything there.
    bool inPlace = outcome.uninstaller.state != StepState::kFailed;
    std::uint32_t sizeKiB = FileSizeInKiB(layout.application) + FileSizeInKiB(layout.helpFile) +
                            (inPlace ? FileSizeInKiB(layout.uninstaller) : 0);
    outcome.registration = StepResult(WriteUninstallRegistration(inPlace ? layout.uninstaller : nullptr, sizeKiB));
    FinishShortcuts(shortcuts);
    outcome.startMenuShortcut = ShortcutStep(shortcuts.startMenu);
    outcome.desktopShortcut = ShortcutStep(shortcuts.desktop);
}

}  // namespace

InstallOutcome InstallProduct(const InstallOptions& options, const InstallProgress& report)
{
    InstallOutcome outcome;
    outcome.runningCopies = ShutDownRunningInstances(options.unattended);
    WriteProgress progress;
    progress.report = report.report;
    progress.context = report.context;
    progress.total = PayloadEntrySize(0) + PayloadEntrySize(1);
    InstallationLayout layout;
    if (FindInstallationLayout(&layout)) {
        outcome.programFiles = StepResult(ERROR_SUCCESS);
        outcome.applicationInUse = !options.unattended && IsFileInUse(layout.application);
        if (outcome.applicationInUse)
            outcome.application = StepResult(ERROR_SHARING_VIOLATION);
        else
            InstallInto(layout, options, progress, outcome);
    } else {
        outcome.programFiles = StepResult(ERROR_PATH_NOT_FOUND);
    }
    return outcome;
}
