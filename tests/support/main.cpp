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
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
        const std::string name = entry.cFileName, path = folder + "\\" + name;
        if (name != "." && name != ".." && found.insert(path).second && recursive &&
            (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ListFolder(path, true, found);
    }
    FindClose(search);
}

// Where a test could leave something: installations, links, plants, scratch
// folders, the registration.
std::set<std::string> Traces()
{
    std::set<std::string> found;
    ListFolder("C:", false, found);
    for (const char* folder : {"C:\\Program Files", "C:\\ProgramData", "C:\\users"})
        ListFolder(folder, true, found);
    if (RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey))
        found.insert(std::string("HKLM\\") + kUninstallKey);
    return found;
}

class NothingLeftBehind : public testing::Environment {
    void SetUp() override { before_ = Traces(); }
    void TearDown() override
    {
        for (const std::string& process : JobProcesses(true))
            ADD_FAILURE() << "left running: " << process;
        RemoveTree(ScratchFolder());
        std::string removed = "?";  // a folder goes with all in it
        for (const std::string& trace : Traces()) {
            if (before_.count(trace) != 0 || trace.rfind(removed + "\\", 0) == 0)
                continue;
            ADD_FAILURE() << "left behind: " << (removed = trace);
            trace.rfind("HKLM", 0) == 0 ? DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey) : RemoveTree(trace);
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
        !AssignProcessToJobObject(testJob, GetCurrentProcess()))
        return std::fputs("no job object for the test program\n", stderr), 1;
    testing::AddGlobalTestEnvironment(new NothingLeftBehind);
    const int result = RUN_ALL_TESTS();
    return result != 0 || testing::UnitTest::GetInstance()->test_to_run_count() == 0;  // a filter matching none fails
}
