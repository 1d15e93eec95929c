// The main of every Windows test program (see support.h): the job that ends
// whatever the program started, and the check that nothing was left behind.
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

extern HANDLE testJob;

namespace {

void ListFolder(const std::string& folder, bool recursive, std::set<std::string>& found)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        found.insert(folder + "\\" + name);
        if (recursive && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ListFolder(folder + "\\" + name, true, found);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

void ListSubkeys(const std::string& key, std::set<std::string>& found)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    char name[256];
    for (DWORD i = 0, size = sizeof name; RegEnumKeyExA(opened, i, name, &size, nullptr, nullptr,
                                                         nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        found.insert("HKLM\\" + key + "\\" + name);
    RegCloseKey(opened);
}

// What a test could leave behind: files where installations, links, plants and
// scratch folders go, and uninstall entries.
std::set<std::string> Traces()
{
    std::set<std::string> found;
    ListFolder("C:", false, found);
    for (const char* folder : {"C:\\Program Files", "C:\\ProgramData", "C:\\users"})
        ListFolder(folder, true, found);
    ListSubkeys(kUninstallRoot, found);
    ListSubkeys("SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall", found);
    return found;
}

class NothingLeftBehind : public testing::Environment {
    void SetUp() override { before_ = Traces(); }

    void TearDown() override
    {
        for (const std::string& process : JobProcesses(true))
            ADD_FAILURE() << "left running: " << process;
        RemoveTree(ScratchFolder());
        std::string previous = "\\";  // removes a folder with its contents, so skip those
        for (const std::string& trace : Traces()) {
            if (before_.count(trace) != 0 || trace.rfind(previous + "\\", 0) == 0)
                continue;
            ADD_FAILURE() << "left behind: " << trace;
            if (trace.rfind("HKLM\\", 0) == 0)
                DeleteRegistryTree(HKEY_LOCAL_MACHINE, trace.substr(5));
            else
                RemoveTree(trace);
            previous = trace;
        }
    }

    std::set<std::string> before_;
};

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testJob = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(testJob, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(testJob, GetCurrentProcess())) {
        std::fprintf(stderr, "no job object for this test program\n");
        return 1;
    }
    testing::AddGlobalTestEnvironment(new NothingLeftBehind);
    int result = RUN_ALL_TESTS();
    // A filter that matches no test must not pass quietly.
    return result != 0 || testing::UnitTest::GetInstance()->test_to_run_count() == 0;
}
