// What became of one step of an installation or an uninstall.
#pragma once

#include <windows.h>

#include <cstdint>

enum class StepState : std::uint8_t {
    kNotRun,  // not chosen, or a step it needs failed
    kDone,
    kKept,       // what was there already serves
    kAtRestart,  // in use: put in place, or removed, when the machine next starts
    kFailed,
};

struct StepOutcome {
    StepState state = StepState::kNotRun;
    DWORD error = ERROR_SUCCESS;  // the Win32 error (or HRESULT) of a failed step
};

// kDone for ERROR_SUCCESS, kAtRestart for ERROR_SUCCESS_REBOOT_REQUIRED,
// otherwise kFailed with the error.
inline StepOutcome StepResult(DWORD error)
{
    if (error == ERROR_SUCCESS_REBOOT_REQUIRED)
        return {StepState::kAtRestart, ERROR_SUCCESS};
    return {error == ERROR_SUCCESS ? StepState::kDone : StepState::kFailed, error};
}
