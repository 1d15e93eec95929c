// The uninstall procedure.
#pragma once

#include "core/step_outcome.h"
#include "maintenance/shutdown.h"

struct UninstallOutcome {
    ShutdownOutcome runningCopies;
    StepOutcome programFiles;  // the Program Files folder found, the paths built
    StepOutcome files;         // the installed files removed (kFailed: one is in use and stays;
                               // kAtRestart: removed when the machine next starts)
    StepOutcome registration;  // the entry among the installed programs removed
    StepOutcome selfDelete;    // the script that removes Uninstall.exe once we have ended

    // Nothing of the product is left but the uninstaller, which the script
    // removes, and files that go at the next start.
    bool Succeeded() const { return files.state == StepState::kDone || files.state == StepState::kAtRestart; }
};

// Stops running copies, removes the installed files, shortcuts and
// registration, and leaves a script that deletes the uninstaller copy once the
// program has ended.  When an installed file is in use and stays, the
// registration and the uninstaller copy stay too, so that the uninstall can be
// run again; unattended, such a file goes when the machine next starts, and
// everything else now.  Shows nothing: the caller tells the user.
UninstallOutcome UninstallProduct(bool unattended);
