#include "app/outcome_report.h"

#include "app/setup_log.h"
#include "core/installation_layout.h"
#include "maintenance/legacy.h"

#include <initializer_list>

namespace {

void LogRunningCopies(const ShutdownOutcome& copies)
{
    LogLine("running copies of the application: %d asked to close, %d still running", copies.asked, copies.left);
}

bool IsDiskFull(const StepOutcome& step)
{
    return step.state == StepState::kFailed && (step.error == ERROR_DISK_FULL || step.error == ERROR_HANDLE_DISK_FULL);
}

// The code of a run whose steps are `steps`: the product is there (succeeded),
// and whether a step waits for the next start of the machine.
int ExitCode(bool succeeded, std::initializer_list<StepOutcome> steps)
{
    bool atRestart = false;
    bool diskFull = false;
    for (const StepOutcome& step : steps) {
        atRestart = atRestart || step.state == StepState::kAtRestart;
        diskFull = diskFull || IsDiskFull(step);
    }
    if (!succeeded)
        return diskFull ? kExitDiskFull : kExitFailed;
    return atRestart ? kExitRestartNeeded : kExitDone;
}

}  // namespace

int ReportInstallOutcome(const InstallOutcome& outcome)
{
    // Looked up again rather than carried in every outcome: the wizard keeps
    // its outcome in initialised data, where the paths would cost a KiB of
    // the program's file.
    InstallationLayout layout;
    FindInstallationLayout(&layout);
    char what[kPathCapacity + 32];
    LogRunningCopies(outcome.runningCopies);
    LogStep("Program Files folder", outcome.programFiles);
    FormatBounded(what, sizeof what, "application %s", layout.application);
    LogStep(what, outcome.application);
    FormatBounded(what, sizeof what, "help file %s", layout.helpFile);
    LogStep(what, outcome.helpFile);
    FormatBounded(what, sizeof what, "uninstaller %s", layout.uninstaller);
    LogStep(what, outcome.uninstaller);
    LogStep("registration among the installed programs", outcome.registration);
    LogStep("Start Menu shortcut", outcome.startMenuShortcut);
    LogStep("Desktop shortcut", outcome.desktopShortcut);
    return ExitCode(outcome.Succeeded(), {outcome.application, outcome.helpFile, outcome.uninstaller});
}

int ReportUninstallOutcome(const UninstallOutcome& outcome)
{
    LogRunningCopies(outcome.runningCopies);
    LogStep("Program Files folder", outcome.programFiles);
    LogStep("installed files removed", outcome.files);
    LogStep("registration removed", outcome.registration);
    LogStep("removal of the uninstaller once it has ended", outcome.selfDelete);
    return ExitCode(outcome.Succeeded(), {outcome.files});
}

void ReportLegacyLeftAlone()
{
    char command[kPathCapacity];
    if (FindLegacyInstallation(command))
        LogLine("legacy 1.x installation found, left alone: nobody to ask (%s)", command);
}
