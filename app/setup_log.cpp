#include "app/setup_log.h"

#include "core/bounded_text.h"

#include <cstdarg>
#include <cstdio>

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;

void Write(const char* text, int length)
{
    DWORD written = 0;
    if (logFile != INVALID_HANDLE_VALUE && length > 0)
        WriteFile(logFile, text, DWORD(length), &written, nullptr);
}

}  // namespace

void OpenSetupLog(const char* path)
{
    if (path[0] == '\0')
        return;
    // Appended to; others may read it meanwhile, as a deployment tool's agent does.
    logFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
}

void LogLine(const char* format, ...)
{
    if (logFile == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1024];
    int length = _snprintf(line, sizeof line - 2, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay,
                           now.wHour, now.wMinute, now.wSecond);
    va_list args;
    va_start(args, format);
    int text = _vsnprintf(line + length, sizeof line - 2 - length, format, args);
    va_end(args);
    length = text < 0 ? int(sizeof line - 2) : length + text;  // a cut line is still worth reading
    line[length++] = '\r';
    line[length++] = '\n';
    Write(line, length);
}

void LogStep(const char* what, const StepOutcome& step)
{
    switch (step.state) {
    case StepState::kNotRun:
        LogLine("%s: not done", what);
        break;
    case StepState::kDone:
        LogLine("%s: done", what);
        break;
    case StepState::kKept:
        LogLine("%s: kept, the one there already serves", what);
        break;
    case StepState::kAtRestart:
        LogLine("%s: in use, done when the machine next starts", what);
        break;
    case StepState::kFailed: {
        char text[256] = {};
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, step.error,
                                      0, text, sizeof text, nullptr);
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
            text[--length] = '\0';
        LogLine("%s: failed, error %lu%s%s", what, step.error, length > 0 ? ": " : "", text);
        break;
    }
    }
}
