// The log an administrator asks for with /log: UTF-8 text, one line a step,
// appended to whatever the file holds.  A log that cannot be opened or written
// is simply not written: it never changes what the program does or reports.
#pragma once

#include "core/step_outcome.h"

// Opens the log at path (nothing when path is empty).
void OpenSetupLog(const char* path);

// One line, after the local date and time, printf-style.
void LogLine(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));

// "<what>: done", "... kept", "... at the next restart", "... failed, error N: <system text>".
void LogStep(const char* what, const StepOutcome& step);
