// The setup program as deployment tools run it, the exit code read whole: /S
// with a log, a second setup beside a wizard, Cancel, an upgrade over a copy
// nobody answers (done by wineboot -r), the registered quiet uninstall, whose
// Uninstall.exe a reinstall before the restart keeps; /passive and the option
// switches; a newer installation; command lines not taken.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

const std::string kSetup = BuildPath("LumovaraSetup.exe");
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";  // carried out at the next start

// Runs the program to its end, failing when it shows any window meanwhile.
long RunUnseen(const std::string& program, const std::string& arguments)
{
    Process run(program, arguments);
    bool seen = false;
    EXPECT_TRUE(WaitFor([&] {
        seen = seen || ShowsWindow(run.id());
        return !run.Running();
    }, 3 * kWaitMs)) << arguments;
    EXPECT_FALSE(seen) << arguments << ": a window was shown";
    return run.Wait(0);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Unattended, InstallUpgradeOverABusyCopyAndQuietUninstall)
{
    RemoveInstallation();
    const InstallationPaths& paths = Installation();
    const std::string log = ScratchFolder() + "\\setup log.txt";
    ASSERT_TRUE(WriteFileBytes(log, "an earlier run\r\n"));

    // Installed with nothing shown, with the default choices.
    ASSERT_EQ(0, RunUnseen(kSetup, "/S /log \"" + log + "\""));
    EXPECT_EQ(ReadFileBytes(BuildPath("sample\\LumovaraRemote.exe")), ReadFileBytes(paths.application));
    EXPECT_TRUE(FileExists(paths.helpFile) && FileExists(paths.commonStartMenuLink) &&
                FileExists(paths.commonDesktopLink));
    const std::string quiet = "\"" + paths.uninstaller + "\" /S";
    EXPECT_EQ(Sz(quiet), EntryValue("QuietUninstallString").bytes);
    EXPECT_EQ(Dword(2), EntryValue("VersionMajor").bytes);
    EXPECT_EQ(Dword(0), EntryValue("VersionMinor").bytes);
    EXPECT_EQ(Sz("2.0.0.1"), EntryValue("ProductVersionNumber").bytes);
    std::string text = ReadFileBytes(log);
    EXPECT_EQ(0u, text.find("an earlier run\r\n")) << "appended to";
    EXPECT_TRUE(Contains(text, "application " + paths.application + ": done") && Contains(text, "exit code 0\r\n"))
        << text;

    // A second setup while a wizard is open changes nothing; Cancel then ends the wizard.
    RunningSetup wizard = StartSetup();
    ASSERT_TRUE(wizard.box.window) << "this version is installed: the question comes first";
    ASSERT_TRUE(Answer(wizard.box, IDNO));
    ASSERT_TRUE(wizard.wizard = WaitForWizard(wizard.process.id()));
    RemoveTree(paths.commonDesktopLink);
    EXPECT_EQ(1618, RunUnseen(kSetup, "/S"));
    EXPECT_FALSE(FileExists(paths.commonDesktopLink)) << "the second setup installed";
    PostMessageA(wizard.wizard, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(1602, wizard.process.Wait());

    // A copy of the application whose "save changes?" nobody answers keeps
    // running with its work; its file is replaced when the machine restarts.
    ASSERT_TRUE(CopyFileA(BuildPath("tests\\prompting_app.exe").c_str(), paths.application.c_str(), FALSE));
    Process copy(paths.application);
    ASSERT_TRUE(WaitFor([&] { return ShowsWindow(copy.id()); }));
    SetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", "1500");
    EXPECT_EQ(3010, RunUnseen(kSetup, "/quiet /log=\"" + log + "\""));
    SetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", nullptr);
    EXPECT_TRUE(copy.Running()) << "a copy was ended unattended";
    EXPECT_EQ(ReadFileBytes(BuildPath("tests\\prompting_app.exe")), ReadFileBytes(paths.application));
    text = ReadFileBytes(log);
    EXPECT_TRUE(Contains(text, "1 asked to close, 1 still running") &&
                Contains(text, "application " + paths.application + ": in use, done when the machine next starts") &&
                Contains(text, "exit code 3010\r\n")) << text;
    copy.End();  // the person saves and the machine restarts
    ASSERT_EQ(0, Process("C:\\windows\\system32\\wineboot.exe", "-r").Wait(3 * kWaitMs));
    EXPECT_EQ(ReadFileBytes(BuildPath("sample\\LumovaraRemote.exe")), ReadFileBytes(paths.application));
    EXPECT_FALSE(FileExists(paths.application + ".new"));

    // The registered quiet uninstall removes everything with nothing shown; a
    // busy copy's file goes when the machine restarts.
    ASSERT_TRUE(CopyFileA(BuildPath("tests\\prompting_app.exe").c_str(), paths.application.c_str(), FALSE));
    copy = Process(paths.application);
    ASSERT_TRUE(WaitFor([&] { return ShowsWindow(copy.id()); }));
    SetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", "1500");
    EXPECT_EQ(3010, RunUnseen(paths.uninstaller, "/S"));
    SetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", nullptr);
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey));
    EXPECT_FALSE(FileExists(paths.helpFile) || FileExists(paths.commonStartMenuLink));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(paths.uninstaller); }));
    copy.End();
    ASSERT_EQ(0, Process("C:\\windows\\system32\\wineboot.exe", "-r").Wait(3 * kWaitMs));
    EXPECT_FALSE(FileExists(paths.application));
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));

    // Uninstall.exe goes at the next restart too, in case someone kept it open
    // for longer than the script tries; an installation before then takes that back.
    const auto removedAtRestart = [&] {  // a pair of the system's list: the path, then an empty one
        const std::string list = '\0' + ReadRegistryValue(kSessionManager, kPendingRenames).bytes;
        return list.find('\0' + ("\\??\\" + paths.uninstaller) + std::string(2, '\0')) != std::string::npos;
    };
    ASSERT_EQ(0, RunUnseen(kSetup, "/S"));
    EXPECT_EQ(0, RunUnseen(paths.uninstaller, "/S"));
    EXPECT_TRUE(removedAtRestart());
    EXPECT_TRUE(WaitFor([&] { return !FileExists(paths.uninstaller) && JobProcesses().empty(); }));
    ASSERT_EQ(0, RunUnseen(kSetup, "/S"));
    EXPECT_FALSE(removedAtRestart());
    ASSERT_EQ(0, Process("C:\\windows\\system32\\wineboot.exe", "-r").Wait(3 * kWaitMs));
    EXPECT_TRUE(FileExists(paths.uninstaller)) << "the restart removed the new installation's Uninstall.exe";
    RemoveInstallation();
}

// /passive shows the progress page only and ends by itself; the option
// switches uncheck their boxes.  Over an older installation it installs;
// over a newer one, unattended or answered No, nothing changes.
TEST(Unattended, PassiveOptionsAndNewerVersions)
{
    RemoveInstallation();
    const InstallationPaths& paths = Installation();
    ASSERT_TRUE(WriteRegistryValue(kUninstallKey, "DisplayVersion", REG_SZ, Sz("1.9 beta")));
    // A copy elsewhere whose question nobody answers holds the progress page
    // up long enough to be seen; its files are not ours, so nothing waits for it.
    const std::string elsewhere = ScratchFolder() + "\\LumovaraRemote.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("tests\\prompting_app.exe").c_str(), elsewhere.c_str(), FALSE));
    Process copy(elsewhere);
    ASSERT_TRUE(WaitFor([&] { return ShowsWindow(copy.id()); }));
    SetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", "3000");
    Process passive(kSetup, "-PASSIVE /nodesktop /currentuser /norestart");
    SetEnvironmentVariableA("LUMOVARA_SETUP_ANSWER_WAIT_MS", nullptr);
    HWND wizard = WaitForWizard(passive.id());
    ASSERT_TRUE(wizard);
    EXPECT_TRUE(ControlVisible(wizard, IDC_PROGRESS) && !ControlVisible(wizard, IDC_START_MENU));
    EXPECT_EQ(0, passive.Wait(3 * kWaitMs));
    EXPECT_TRUE(copy.Running());
    copy.End();
    EXPECT_TRUE(FileExists(paths.userStartMenuLink));
    EXPECT_FALSE(FileExists(paths.commonStartMenuLink) || FileExists(paths.commonDesktopLink) ||
                 FileExists(paths.userDesktopLink));

    const std::string application = ReadFileBytes(paths.application);
    struct Newer { const char* displayVersion; const char* number; bool asked; };
    for (Newer newer : {Newer{"2.1", nullptr, false}, Newer{"2.0 release candidate 2", "2.0.0.2", false},
                        Newer{"2.1", "2.1.0.0", true}}) {
        DeleteRegistryTree(kUninstallKey);
        ASSERT_TRUE(WriteRegistryValue(kUninstallKey, "DisplayVersion", REG_SZ,
                                       Sz(newer.displayVersion)));
        if (newer.number)
            WriteRegistryValue(kUninstallKey, "ProductVersionNumber", REG_SZ, Sz(newer.number));
        RemoveTree(paths.userStartMenuLink);
        if (!newer.asked) {
            EXPECT_EQ(1638, RunUnseen(kSetup, "/S")) << newer.displayVersion;
        } else {
            RunningSetup setup = StartSetup();
            EXPECT_TRUE(Contains(setup.box.text, "A newer version of VEK Lumovara Remote (2.1) is installed"))
                << setup.box.text;
            ASSERT_TRUE(Answer(setup.box, IDNO));
            EXPECT_EQ(1638, setup.process.Wait());
        }
        EXPECT_EQ(Sz(newer.displayVersion), EntryValue("DisplayVersion").bytes);
        EXPECT_FALSE(FileExists(paths.userStartMenuLink)) << newer.displayVersion;
        EXPECT_EQ(application, ReadFileBytes(paths.application));
    }
    // The setup program itself removes whatever version is installed.
    EXPECT_EQ(0, RunUnseen(kSetup, "/uninstall /S"));
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey) || FileExists(paths.application));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(paths.uninstaller) && JobProcesses().empty(); }));
    RemoveInstallation();
}

// Command lines that are not taken, and the list of switches: a message box
// unless quiet, and the exit code either way.  Then a folder in the way.
TEST(Unattended, CommandLinesNotTaken)
{
    RemoveInstallation();
    struct Row { const char* arguments; long exitCode; bool box; };
    for (Row row : {Row{"/silent", 87, true}, Row{"/S /log", 87, false}, Row{"/?", 0, true}, Row{"/S /?", 0, false}}) {
        Process run(kSetup, row.arguments);
        MessageBoxInfo box;
        EXPECT_TRUE(WaitFor([&] { return (box = FindMessageBox(run.id())).window || !run.Running(); }))
            << row.arguments;
        EXPECT_EQ(row.box, box.window != nullptr) << row.arguments;
        if (box.window) {
            EXPECT_TRUE(Contains(box.text, "/nostartmenu") && Contains(box.text, "1618")) << box.text;
            Answer(box, IDOK);
        }
        EXPECT_EQ(row.exitCode, run.Wait()) << row.arguments;
    }
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey));
    // A folder at the help file's path is no file in use: a failure, not a replacement at a restart.
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(nullptr, Installation().helpFile.c_str(), nullptr));
    EXPECT_EQ(1603, RunUnseen(kSetup, "/S"));
    RemoveInstallation();
}

// Uninstall.exe is the program that runs, whatever lies at its path: a setup
// whose file another program swaps while it starts registers no uninstaller
// and does not claim success; one whose download another program holds open
// (reading, and free to delete it) copies itself all the same.
TEST(Unattended, TheUninstallerIsTheProgramThatRuns)
{
    RemoveInstallation();
    const InstallationPaths& paths = Installation();
    const std::string folder = ScratchFolder(), setup = folder + "\\LumovaraSetup.exe", log = folder + "\\swap.log";
    ASSERT_TRUE(CopyFileA(kSetup.c_str(), setup.c_str(), FALSE));
    std::string commandLine = "\"" + setup + "\" /S /log \"" + log + "\"";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &started));
    Process swapped(started.dwProcessId);
    EXPECT_TRUE(MoveFileA(setup.c_str(), (folder + "\\renamed.exe").c_str()) &&
                CopyFileA(BuildPath("tests\\record_run.exe").c_str(), setup.c_str(), FALSE));
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    EXPECT_EQ(1603, swapped.Wait(3 * kWaitMs));
    EXPECT_FALSE(FileExists(paths.uninstaller));
    EXPECT_FALSE(EntryValue("UninstallString").exists);
    EXPECT_TRUE(Contains(ReadFileBytes(log), "uninstaller " + paths.uninstaller + ": failed, error 1006"))
        << ReadFileBytes(log);
    RemoveInstallation();

    ASSERT_TRUE(CopyFileA(kSetup.c_str(), setup.c_str(), FALSE));
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE held = CreateFileA(setup.c_str(), GENERIC_READ | DELETE, everything, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, RunUnseen(setup, "/S"));
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(kSetup), ReadFileBytes(paths.uninstaller));
    EXPECT_EQ(Sz("\"" + paths.uninstaller + "\""), EntryValue("UninstallString").bytes);
    RemoveInstallation();
}

}  // namespace
