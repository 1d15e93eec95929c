// The uninstall procedure and its self-delete script, under Wine: what goes,
// what stays, the final message, and the script that Wine's own cmd.exe runs.
#include "maintenance/self_delete_script.h"
#include "maintenance/uninstall.h"
#include "tests/support/installation.h"
#include "tests/support/message_box_answerer.h"
#include "tests/support/registry.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

namespace {

std::string ExpectedScript(const std::string& writtenPath)
{
    return "@echo off\r\n"
           ":loop\r\n"
           "del /f /q \"" + writtenPath + "\" >nul 2>&1\r\n"
           "if exist \"" + writtenPath + "\" (\r\n"
           "  ping -n 2 127.0.0.1 >nul\r\n"
           "  goto loop\r\n"
           ")\r\n"
           "del /f /q \"%~f0\"\r\n";
}

std::string Script(const std::string& uninstallerPath)
{
    char script[kSelfDeleteScriptCapacity];
    std::size_t length = FormatSelfDeleteScript(script, sizeof script, uninstallerPath.c_str());
    return std::string(script, length);
}

// Someone else's handle on a file, as another user could keep one.
HANDLE OpenShared(const std::string& path, DWORD share)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteThrough(HANDLE file, const std::string& bytes)
{
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

std::string ScriptPathOfThisProcess()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "lvremote_uninstall_" + std::to_string(GetCurrentProcessId()) +
           ".bat";
}

// Starts the script the way the uninstaller does.
bool RunScript(const std::string& scriptPath)
{
    std::string commandLine = "cmd.exe /c \"" + scriptPath + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

TEST(SelfDeleteScript, HasTheEightLinesForAPathWithBlanks)
{
    const std::string path = "C:\\Program Files\\VEK\\LumovaraRemote\\Uninstall.exe";
    EXPECT_EQ(ExpectedScript(path), Script(path));
}

TEST(SelfDeleteScript, DoublesEveryPercentSign)
{
    EXPECT_EQ(ExpectedScript("C:\\100%% sure\\%%TEMP%%\\Uninstall.exe"),
              Script("C:\\100% sure\\%TEMP%\\Uninstall.exe"));
    // A path of nothing but percent signs still fits, doubled.
    std::string percents(259, '%');
    EXPECT_EQ(ExpectedScript(std::string(518, '%')), Script(percents));
}

class SelfDeleteScriptFile : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = MakeScratchFolder("self delete");
        scriptPath_ = folder_ + "\\lvremote_uninstall_1.bat";
        // Blanks and a "%" where the uninstaller lies; the script itself lies
        // in the temporary folder, whose name (given to cmd.exe as %~f0) we
        // do not choose.
        std::string uninstallerFolder = folder_ + "\\100%x done";
        CreateDirectoryA(uninstallerFolder.c_str(), nullptr);
        uninstaller_ = uninstallerFolder + "\\Uninstall.exe";
    }
    void TearDown() override { RemoveTree(folder_); }

    std::string folder_;
    std::string scriptPath_;
    std::string uninstaller_;
};

// A file left under the script's name is replaced whole, not overwritten in place.
TEST_F(SelfDeleteScriptFile, ReplacesAFileLeftUnderItsName)
{
    ASSERT_TRUE(WriteFileBytes(scriptPath_, std::string(4000, 'x')));
    ASSERT_TRUE(WriteSelfDeleteScript(scriptPath_.c_str(), uninstaller_.c_str()));
    EXPECT_EQ(Script(uninstaller_), ReadFileBytes(scriptPath_));
}

// A planted file whose owner keeps a handle that allows deletion is only
// marked for deletion while that handle is open, so the name is not free:
// no script, rather than one the owner could still rewrite.
TEST_F(SelfDeleteScriptFile, PlantedFileHeldOpenIsNotReused)
{
    ASSERT_TRUE(WriteFileBytes(scriptPath_, "planted"));
    HANDLE planted = OpenShared(scriptPath_, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(INVALID_HANDLE_VALUE, planted);
    EXPECT_FALSE(WriteSelfDeleteScript(scriptPath_.c_str(), uninstaller_.c_str()));
    WriteThrough(planted, "start calc.exe\r\n");
    CloseHandle(planted);
    EXPECT_FALSE(FileExists(scriptPath_));
}

// A planted file that cannot be removed is not written to: no script.
TEST_F(SelfDeleteScriptFile, PlantedFileThatCannotBeRemovedFailsTheWrite)
{
    ASSERT_TRUE(WriteFileBytes(scriptPath_, "planted"));
    HANDLE planted = OpenShared(scriptPath_, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, planted);
    EXPECT_FALSE(WriteSelfDeleteScript(scriptPath_.c_str(), uninstaller_.c_str()));
    CloseHandle(planted);
    EXPECT_EQ("planted", ReadFileBytes(scriptPath_));
}

// Wine's cmd.exe runs the script: it waits while the uninstaller is in use,
// then deletes it and itself.  The blank and the "%" in the uninstaller's
// folder test the quoting and the doubling.
TEST_F(SelfDeleteScriptFile, CommandProcessorDeletesTheUninstallerOnceFreeThenItself)
{
    ASSERT_TRUE(WriteFileBytes(uninstaller_, "MZ stand-in"));
    HANDLE inUse = CreateFileA(uninstaller_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);
    ASSERT_TRUE(WriteSelfDeleteScript(scriptPath_.c_str(), uninstaller_.c_str()));
    ASSERT_TRUE(RunScript(scriptPath_));

    Sleep(2000);
    EXPECT_TRUE(FileExists(uninstaller_)) << "deleted while in use";
    EXPECT_TRUE(FileExists(scriptPath_)) << "the script gave up while the file was in use";
    CloseHandle(inUse);

    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(uninstaller_); }, 20000));
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(scriptPath_); }, 20000));
}

class Uninstall : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveInstallationTraces();
        DeleteFileA(ScriptPathOfThisProcess().c_str());
        paths_ = Installation();
    }
    void TearDown() override
    {
        RemoveInstallationTraces();
        ui::WaitUntil([] { return !FileExists(ScriptPathOfThisProcess()); }, 10000);
        DeleteFileA(ScriptPathOfThisProcess().c_str());
    }

    void Install()
    {
        ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, paths_.installDirectory.c_str(), nullptr));
        ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, paths_.commonStartMenuFolder.c_str(), nullptr));
        ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, paths_.userStartMenuFolder.c_str(), nullptr));
        for (const std::string& file :
             {paths_.application, paths_.helpFile, paths_.uninstaller, paths_.commonStartMenuLink,
              paths_.userStartMenuLink, paths_.commonDesktopLink, paths_.userDesktopLink})
            ASSERT_TRUE(WriteFileBytes(file, "installed")) << file;
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion",
                                      "2.0 release candidate 1"));
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\Sub",
                                      "Value", "x"));
    }

    // Runs the procedure, answering its one message.
    void UninstallAndExpectTheMessage()
    {
        MessageBoxAnswerer answerer(IDOK);
        UninstallProduct();
        ui::MessageBoxInfo box = answerer.Seen();
        ASSERT_NE(nullptr, box.window) << "no final message";
        EXPECT_EQ("VEK Lumovara Remote has been uninstalled.", box.text);
        EXPECT_EQ("VEK Lumovara Remote Setup", box.title);
    }

    InstallationPaths paths_;
};

TEST_F(Uninstall, RemovesWhatTheInstallationMadeAndLeavesForeignFiles)
{
    Install();
    const std::string foreign = paths_.installDirectory + "\\notes.txt";
    ASSERT_TRUE(WriteFileBytes(foreign, "mine"));
    UninstallAndExpectTheMessage();

    for (const std::string& gone :
         {paths_.application, paths_.helpFile, paths_.commonStartMenuLink, paths_.userStartMenuLink,
          paths_.commonDesktopLink, paths_.userDesktopLink, paths_.commonStartMenuFolder,
          paths_.userStartMenuFolder})
        EXPECT_FALSE(FileExists(gone)) << gone;
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ("mine", ReadFileBytes(foreign));

    // Nothing holds the uninstaller copy here: the script removes it at once.
    EXPECT_TRUE(ui::WaitUntil([&] { return !FileExists(paths_.uninstaller); }, 10000));
    EXPECT_TRUE(ui::WaitUntil([] { return !FileExists(ScriptPathOfThisProcess()); }, 10000));
    EXPECT_TRUE(FileExists(paths_.installDirectory));
}

TEST_F(Uninstall, StartMenuFoldersThatHoldMoreStay)
{
    Install();
    for (const std::string& folder : {paths_.commonStartMenuFolder, paths_.userStartMenuFolder})
        ASSERT_TRUE(WriteFileBytes(folder + "\\Other Product.lnk", "other"));
    UninstallAndExpectTheMessage();
    for (const std::string& folder : {paths_.commonStartMenuFolder, paths_.userStartMenuFolder}) {
        EXPECT_EQ("other", ReadFileBytes(folder + "\\Other Product.lnk")) << folder;
        EXPECT_FALSE(FileExists(folder + "\\VEK Lumovara Remote.lnk")) << folder;
    }
}

TEST_F(Uninstall, TellsTheUserEvenWhenNothingWasInstalled)
{
    UninstallAndExpectTheMessage();
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(ui::WaitUntil([] { return !FileExists(ScriptPathOfThisProcess()); }, 10000));
}

// A script file planted under our name and held open: no script of ours runs,
// and the uninstaller copy stays.
TEST_F(Uninstall, PlantedScriptThatCannotBeReplacedLeavesTheUninstaller)
{
    Install();
    const std::string scriptPath = ScriptPathOfThisProcess();
    ASSERT_TRUE(WriteFileBytes(scriptPath, "planted"));
    HANDLE planted = OpenShared(scriptPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, planted);
    UninstallAndExpectTheMessage();
    Sleep(2000);
    CloseHandle(planted);
    EXPECT_EQ("planted", ReadFileBytes(scriptPath));
    EXPECT_TRUE(FileExists(paths_.uninstaller));
    DeleteFileA(scriptPath.c_str());
}

}  // namespace
