// Detection and removal of a legacy 1.x installation, offered after a
// successful installation of this version.
#include "maintenance/legacy.h"

#include <cstring>

#include "core/bounded_text.h"
#include "core/product.h"
#include "core/registry_text.h"
#include "maintenance/message_wait.h"
#include "maintenance/system_programs.h"

namespace {

// The machine's uninstall entries: those of 64-bit installers, then those of 32-bit ones.
constexpr const char* kUninstallRoots[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

constexpr DWORD kLegacyUninstallWaitMs = 60000;

bool IsLegacyEntry(HKEY entry)
{
    char version[32];
    ReadRegistryText(entry, "DisplayVersion", version);  // missing: empty, no match
    char name[256];
    if (!ReadRegistryText(entry, "DisplayName", name))
        return false;
    return std::strcmp(name, ProductName) == 0 && std::strncmp(version, "1.", 2) == 0;
}

// The entry's uninstall command; the quiet one when it can be read at all,
// even if it is empty.
void ReadUninstallCommand(HKEY entry, char* command)
{
    if (!ReadRegistryText(entry, "QuietUninstallString", command, kPathCapacity))
        ReadRegistryText(entry, "UninstallString", command, kPathCapacity);
}

// Walks the entries of one root; true with command set at the first legacy
// entry that has a non-empty command.
bool FindInRoot(HKEY root, char* command)
{
    for (DWORD index = 0;; ++index) {
        char subkeyName[3 * 255 + 1];  // any key name (255 UTF-16 units) in UTF-8
        DWORD nameSize = sizeof subkeyName;
        if (RegEnumKeyExA(root, index, subkeyName, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        HKEY entry;
        if (RegOpenKeyExA(root, subkeyName, 0, KEY_READ, &entry) != ERROR_SUCCESS)
            continue;
        if (IsLegacyEntry(entry))
            ReadUninstallCommand(entry, command);
        RegCloseKey(entry);
        if (command[0] != '\0')
            return true;
    }
}

bool JobIsEmpty(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    return !QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                      nullptr) ||
           accounting.ActiveProcesses == 0;
}

// Lets the legacy uninstaller, started suspended, run and waits, with the
// bound, until it and everything it started have ended.  Many uninstallers copy
// themselves to the temporary folder, start the copy and end at once: the wait
// is for the job that holds them all, not for the first process.  When it
// cannot be put in a job, the first process alone is waited for.
void RunAndWaitForJob(const PROCESS_INFORMATION& started)
{
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    bool inJob = job != nullptr && AssignProcessToJobObject(job, started.hProcess);
    ResumeThread(started.hThread);
    if (inJob)
        WaitDeliveringSentMessages(kLegacyUninstallWaitMs, [job] { return JobIsEmpty(job); });
    else
        WaitForProcessEnd(started.hProcess, kLegacyUninstallWaitMs);
    if (job != nullptr)
        CloseHandle(job);
}

// The folder of the program the command starts, where it runs: an uninstaller
// looks for its own files there, and our current directory is usually the
// user's Downloads.  A quoted full path is the platform's to resolve: the
// text between the quotes.  The separator is kept, so that a root stays one.
bool ProgramFolder(const char* command, const char* program, char (&folder)[kPathCapacity])
{
    const char* path = program[0] != '\0' ? program : command + 1;
    std::size_t length = program[0] != '\0' ? std::strlen(program) : std::strcspn(path, "\"");
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
        --length;
    if (length == 0 || length >= kPathCapacity)
        return false;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return true;
}

// The machine's environment, as a program started by the system gets it: the
// system's variables only.  Ours is partly the user's (HKCU\Environment may
// set TEMP and PATH), which an elevated uninstaller must not follow.  From the
// system folder's userenv.dll, which the system does not always take from
// there: imported, it would be looked for beside the program first.
class MachineEnvironment {
public:
    MachineEnvironment() : library_(LoadLibraryExA("userenv.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        if (library_ == nullptr)
            return;
        using Create = BOOL(WINAPI*)(void**, HANDLE, BOOL);
        auto create =
            reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library_, "CreateEnvironmentBlock")));
        destroy_ =
            reinterpret_cast<Destroy>(reinterpret_cast<void*>(GetProcAddress(library_, "DestroyEnvironmentBlock")));
        if (create == nullptr || destroy_ == nullptr || !create(&block_, nullptr, FALSE))
            block_ = nullptr;
    }
    ~MachineEnvironment()
    {
        if (block_ != nullptr)
            destroy_(block_);
        if (library_ != nullptr)
            FreeLibrary(library_);
    }
    MachineEnvironment(const MachineEnvironment&) = delete;
    MachineEnvironment& operator=(const MachineEnvironment&) = delete;

    void* block() const { return block_; }  // UTF-16; null when it could not be made

private:
    using Destroy = BOOL(WINAPI*)(void*);
    HMODULE library_;
    Destroy destroy_ = nullptr;
    void* block_ = nullptr;
};

}  // namespace

bool FindLegacyInstallation(char* command)
{
    command[0] = '\0';
    for (const char* rootPath : kUninstallRoots) {
        HKEY root;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, rootPath, 0, KEY_READ, &root) != ERROR_SUCCESS)
            continue;
        bool found = FindInRoot(root, command);
        RegCloseKey(root);
        if (found)
            return true;
    }
    return false;
}

bool RemoveLegacyInstallation(const char* command)
{
    // The command runs as stored: nothing expanded, added or taken away.  Only
    // a program it names without a folder is taken from the system folders.
    char program[kPathCapacity];
    char folder[kPathCapacity];
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    char commandLine[kPathCapacity];  // CreateProcessA may change the line it is given
    MachineEnvironment environment;
    if (!ResolveCommandProgram(command, program) || !ProgramFolder(command, program, folder) ||
        environment.block() == nullptr || !CopyPath(commandLine, command) ||
        !CreateProcessA(program[0] != '\0' ? program : nullptr, commandLine, nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.block(), folder, &startup, &started))
        return false;
    // A legacy uninstaller that takes longer keeps running on its own.
    RunAndWaitForJob(started);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}
