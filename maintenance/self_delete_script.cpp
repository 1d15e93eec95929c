#include "maintenance/self_delete_script.h"

#include <windows.h>
#include <sddl.h>

#include "core/bounded_text.h"
#include "core/platform_paths.h"
#include "core/registry_text.h"

namespace {

// The script, one format string per line.  The loop retries while the
// uninstaller copy is there, which it is until our process has ended, and
// gives up after its tries: the count is read afresh each time the loop's
// lines are read again.  The pause's program is named by its full path: by a
// bare name the command processor would look for it along PATH with PATHEXT,
// which the user may set.
constexpr char kScriptFormat[] = "@echo off\r\n"
                                 "set tries=%u\r\n"
                                 ":loop\r\n"
                                 "del /f /q \"%s\" >nul 2>&1\r\n"
                                 "if exist \"%s\" if %%tries%% gtr 1 (\r\n"
                                 "  set /a tries-=1\r\n"
                                 "  \"%s\" -n 2 127.0.0.1 >nul\r\n"
                                 "  goto loop\r\n"
                                 ")\r\n"
                                 "del /f /q \"%%~f0\"\r\n";

// The script runs elevated, read line by line: only SYSTEM and the
// administrators may change it, everyone may read it.  Protected, so that the
// folder's own permissions are not inherited.
constexpr char kScriptSecurity[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)";

constexpr UINT kAsciiCodePage = 20127;

// The command processor expands "%" in a batch file even inside quotes; "%%"
// stands for one literal percent sign.
bool EscapePercentSigns(char* escaped, std::size_t capacity, const char* path)
{
    std::size_t length = 0;
    for (const char* c = path; *c != '\0'; ++c) {
        std::size_t needed = *c == '%' ? 2 : 1;
        if (length + needed >= capacity)
            return false;
        escaped[length++] = *c;
        if (*c == '%')
            escaped[length++] = '%';
    }
    escaped[length] = '\0';
    return true;
}

// The code page in which a console starts: the system's OEM code page.  Not
// GetOEMCP(), which gives UTF-8 to a process whose manifest chose UTF-8.
// Unknown, plain ASCII, which every OEM code page spells alike.
UINT ConsoleCodePage()
{
    char number[16] = {};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        ReadRegistryText(key, "OEMCP", number);
        RegCloseKey(key);
    }
    UINT codePage = 0;
    for (const char* digit = number; *digit >= '0' && *digit <= '9' && codePage < 100000; ++digit)
        codePage = codePage * 10 + UINT(*digit - '0');
    return IsValidCodePage(codePage) ? codePage : kAsciiCodePage;
}

// Our text is in the process's code page, UTF-8 by the manifest; the command
// processor reads a batch file in the console's, and must read the same path.
// The length written, 0 when that code page cannot spell it exactly.
std::size_t ToConsoleCodePage(char* converted, std::size_t capacity, const char* text)
{
    wchar_t wideText[kSelfDeleteScriptCapacity];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wideText, int(kSelfDeleteScriptCapacity)) == 0)
        return 0;
    return ConvertExactly(wideText, ConsoleCodePage(), converted, capacity);
}

}  // namespace

std::size_t FormatSelfDeleteScript(char* script, std::size_t capacity, const char* uninstallerPath,
                                   const char* pingPath, unsigned tries)
{
    char escapedPath[2 * kPathCapacity];
    char escapedPing[2 * kPathCapacity];
    if (!EscapePercentSigns(escapedPath, sizeof escapedPath, uninstallerPath) ||
        !EscapePercentSigns(escapedPing, sizeof escapedPing, pingPath))
        return 0;
    char text[kSelfDeleteScriptCapacity];
    if (FormatBounded(text, sizeof text, kScriptFormat, tries, escapedPath, escapedPath, escapedPing) != kFormatOk)
        return 0;
    return ToConsoleCodePage(script, capacity, text);
}

bool WriteSelfDeleteScript(const char* scriptPath, const char* uninstallerPath, const char* pingPath, unsigned tries)
{
    char script[kSelfDeleteScriptCapacity];
    std::size_t length = FormatSelfDeleteScript(script, sizeof script, uninstallerPath, pingPath, tries);
    if (length == 0)
        return false;

    // Remove whatever is there, then insist on a new file: if the old one
    // cannot go (held open, or only marked for deletion), CREATE_NEW fails.
    DeleteFileA(scriptPath);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kScriptSecurity, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    HANDLE file = CreateFileA(scriptPath, GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool complete = WriteFile(file, script, DWORD(length), &written, nullptr) && written == length;
    CloseHandle(file);
    if (!complete)
        DeleteFileA(scriptPath);  // a cut-off script must not run
    return complete;
}
