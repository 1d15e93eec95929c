// The installation: what every front end (the wizard, an unattended run) drives.
//
// Options in, an outcome out that says what became of each step, and the
// bytes written reported as they go.  No window: the caller words the result.
#pragma once

#include "core/install_options.h"
#include "core/step_outcome.h"
#include "maintenance/shutdown.h"

#include <cstdint>

struct InstallOutcome {
    ShutdownOutcome runningCopies;
    StepOutcome programFiles;  // the Program Files folder found, the paths built
    StepOutcome application;
    StepOutcome helpFile;
    StepOutcome startMenuShortcut;
    StepOutcome desktopShortcut;
    StepOutcome uninstaller;
    StepOutcome registration;
    // Stopped before anything was written: the application's file is in use
    // (a copy stays, or another program holds it), with someone there to close
    // it and call again.  The application step says so as failed.
    bool applicationInUse = false;

    // The product is installed, and can be removed: both payload files and
    // the uninstaller in place, now or at the next start of the machine.
    bool Succeeded() const
    {
        return IsInstalled(application) && IsInstalled(helpFile) &&
               (IsInstalled(uninstaller) || uninstaller.state == StepState::kKept);
    }

    static bool IsInstalled(const StepOutcome& step)
    {
        return step.state == StepState::kDone || step.state == StepState::kAtRestart;
    }
};

// Bytes of the payload written so far of `total`; called from the extracting
// threads, so it must be safe to call from any thread.
struct InstallProgress {
    void (*report)(void* context, std::uint64_t written, std::uint64_t total) = nullptr;
    void* context = nullptr;
};

// Stops running copies of the application, then installs the product.  With
// someone there, an application file still in use stops it before anything is
// written (applicationInUse); unattended, such a file is replaced when the
// machine next starts.
InstallOutcome InstallProduct(const InstallOptions& options, const InstallProgress& progress);
