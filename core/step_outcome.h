// What became of one step of an installation or an uninstall.
#pragma once

#include <windows.h>

#include <cstdint>

enum class StepState : std::uint8_t {
    kNotRun,  // not chosen, or a step it needs failed
    kDone,
    kKept,    // what was there already serves
    kFailed,
};

struct StepOutcome {
    StepState state = StepState::kNotRun;
    DWORD error = ERROR_SUCCESS;  // the Win32 error (or HRESULT) of a failed step
};

// kDone for ERROR_SUCCESS, otherwise kFailed with the error.
inline StepOutcome StepResult(DWORD error)
{
    return {error == ERROR_SUCCESS ? StepState::kDone : StepState::kFailed, error};
}
