// The main() of every Windows test program.  It puts the program into a job
// object (EnterJob) that ends, however the program ends (pass, fail, crash,
// ctest's timeout), every process it started and all those started: the setup
// program, the application started on Finish, the self-delete script's command
// processor.  After the last test it fails the program when a process still
// runs or a file or the registration was left behind, and removes them.
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

// Where a test could leave something (installations, links, plants, scratch folders, the registration).
static std::set<std::string> Traces()
{
    std::set<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("C:\\", error))
        found.insert(entry.path().string());
    for (const char* folder : {"C:\\Program Files", "C:\\ProgramData", "C:\\users"})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
            found.insert(entry.path().string());
    if (RegistryKeyExists(kUninstallKey))
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
            trace.rfind("HKLM", 0) == 0 ? DeleteRegistryTree(kUninstallKey) : RemoveTree(trace);
        }
    }
    std::set<std::string> before_;
};

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!EnterJob())
        return std::fputs("no job object for the test program\n", stderr), 1;
    testing::AddGlobalTestEnvironment(new NothingLeftBehind);
    const int result = RUN_ALL_TESTS();
    return result != 0 || testing::UnitTest::GetInstance()->test_to_run_count() == 0;  // a filter matching none fails
}
