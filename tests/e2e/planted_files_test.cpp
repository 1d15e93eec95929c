// The elevated setup program started from a folder where the user can leave
// files.  Marker DLLs and programs, under the names of what it or the system
// libraries it calls may load or start, lie beside it and in its current
// directory through a whole installation with a legacy removal whose command
// names a bare program, and through a second run answered Yes to uninstall
// with a TMP folder whose name breaks naive quoting, with the user's PATHEXT
// and PATH leading to a ping.cmd of the user's: none may ever run.  Wine is told
// to prefer DLLs found on the search path to its own, as Windows does for any
// DLL that is not a KnownDLL; the uninstall's script lies where the user cannot
// reach it.
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

const char* const kPlanted[] = {
    "imm32.dll", "Msftedit.dll", "riched20.dll", "wtsapi32.dll", "uxtheme.dll", "version.dll", "propsys.dll",
    "dwmapi.dll", "cryptbase.dll", "userenv.dll", "msimg32.dll", "usp10.dll", "comctl32.dll",
    "windowscodecs.dll", "profapi.dll", "windows.storage.dll", "cmd.exe", "MsiExec.exe", "ping.exe"};

TEST(PlantedFiles, NoneRunsThroughInstallLegacyRemovalAndUninstall)
{
    const InstallationPaths& paths = Installation();
    RemoveInstallation();
    const std::string downloads = ScratchFolder() + "\\Downloads", current = ScratchFolder() + "\\current",
                      temp = ScratchFolder() + "\\Bob (Home) & Co", program = downloads + "\\LumovaraSetup.exe",
                      legacy = kUninstallRoot + std::string("\\lvtest-planted"), userBin = ScratchFolder() + "\\bin";
    const auto ran = [&] {  // the planted files that ran, with their command lines
        std::string names;
        for (const std::string& folder : {downloads, current})
            for (const std::string name : kPlanted)
                if (FileExists(folder + "\\" + name + ".ran"))
                    names += name + " (" + ReadFileBytes(folder + "\\" + name + ".ran") + ") ";
        return names + (FileExists(userBin + "\\ping.cmd.ran") ? "the user's ping.cmd" : "");
    };
    // How many uninstall scripts lie in a folder.
    const auto scripts = [](const std::string& folder) { return Files(folder + "\\lvremote_uninstall_*.bat").size(); };
    char oldTemp[MAX_PATH] = {}, oldCurrent[MAX_PATH] = {}, oldPath[4096] = {}, oldPathExt[256] = {};
    char overrides[512] = {}, windows[MAX_PATH] = {};
    GetEnvironmentVariableA("TMP", oldTemp, MAX_PATH), GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    GetEnvironmentVariableA("PATHEXT", oldPathExt, sizeof oldPathExt), GetCurrentDirectoryA(MAX_PATH, oldCurrent);
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides), GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string systemTemp = windows + std::string("\\Temp");
    // Wine takes its overrides from the environment the test program was started with (tests/CMakeLists.txt).
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    ASSERT_TRUE(!wine || std::strstr(overrides, "imm32,version=n,b"))
        << "Wine would not load the planted DLLs: WINEDLLOVERRIDES=" << overrides;
    const std::shared_ptr<void> restore(nullptr, [&](void*) {  // however the test ends
        SetEnvironmentVariableA("TMP", oldTemp), SetEnvironmentVariableA("PATH", oldPath);
        SetEnvironmentVariableA("PATHEXT", oldPathExt[0] != '\0' ? oldPathExt : nullptr);
        SetCurrentDirectoryA(oldCurrent), DeleteRegistryTree(legacy), RemoveInstallation();
    });
    for (const std::string& folder : {downloads, current, temp, userBin})
        CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(userBin + "\\ping.cmd", "@echo %* > \"%~f0.ran\"\r\n"));
    const std::string dll = BuildPath("tests/planted_dll.dll"), recorder = BuildPath("tests/record_run.exe");
    for (const std::string& folder : {downloads, current})
        for (const std::string name : kPlanted)
            ASSERT_TRUE(CopyFileA((name.find(".dll") != std::string::npos ? dll : recorder).c_str(),
                                  (folder + "\\" + name).c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), program.c_str(), FALSE));
    for (auto [name, value] : {std::pair{"DisplayName", "VEK Lumovara Remote"}, {"DisplayVersion", "1.4"},
                               {"UninstallString", "MsiExec.exe /X{6E1F2D3C-1A2B-4C5D-8E9F-00000000A1B2}"}})
        ASSERT_TRUE(WriteRegistryValue(legacy, name, REG_SZ, Sz(value)));

    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));  // inherited by the setup program
    RunningSetup setup = StartSetup(program);
    ASSERT_TRUE(setup.wizard && WalkToOptions(setup.wizard)) << setup.box.text << ran();
    // Another process of the user swaps the running program's file for its own.
    if (MoveFileA(program.c_str(), (program + ".old").c_str())) {
        ASSERT_TRUE(WriteFileBytes(program, "MZ planted"));
    }
    const MessageBoxInfo question = Install(setup);
    ASSERT_TRUE(question.text.find("1.4x was found") != std::string::npos && Answer(question, IDYES)) << question.text;
    ASSERT_TRUE(WaitFor([&] { return OnFinishPage(setup.wizard); }, 30000));
    ASSERT_EQ(0, Finish(setup, false));
    EXPECT_TRUE(ReadFileBytes(paths.uninstaller) == ReadFileBytes(BuildPath("LumovaraSetup.exe")))
        << "Uninstall.exe is not the program that ran";
    // The setup program is held with delete sharing, so the swap may have
    // happened: the user starts the downloaded program again, not the planted file.
    MoveFileExA((program + ".old").c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING);

    // Uninstall.exe held open a while, so that the script loops through its ping.
    // The environment is inherited by the setup program, as the user's own
    // (HKCU\Environment) is by an elevated one.
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", temp.c_str()) && SetEnvironmentVariableA("PATHEXT", ".CMD") &&
                SetEnvironmentVariableA("PATH", (userBin + ";" + oldPath).c_str()));
    HANDLE held =
        CreateFileA(paths.uninstaller.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    setup = StartSetup(program);
    ASSERT_TRUE(setup.box.text.find("is already installed") != std::string::npos && Answer(setup.box, IDYES))
        << setup.box.text;
    ASSERT_TRUE(Answer(WaitForMessageBox(setup.process.id(), kUninstalled), IDOK) && setup.process.Wait() == 0);
    EXPECT_TRUE(WaitFor([] {
        for (const std::string& process : JobProcesses())
            if (_strnicmp(process.c_str(), "ping.exe", 8) == 0)
                return true;
        return false;
    })) << "the script's command processor did not loop";
    EXPECT_TRUE(scripts(systemTemp) == 1 && scripts(temp) == 0)
        << "the script is not where only administrators may change it";
    CloseHandle(held);
    const auto done = [&] { return !FileExists(paths.uninstaller) && !scripts(systemTemp) && JobProcesses().empty(); };
    EXPECT_TRUE(WaitFor(done))
        << "Uninstall.exe, its script or their command processor stayed";
    EXPECT_EQ("", ran()) << "planted files ran";
}

}  // namespace
