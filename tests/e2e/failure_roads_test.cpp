// Installing when something stands in the way, with the built setup program
// driven through its wizard: a file of the installation held open by another
// program, a damaged payload, no Program Files folder, and legacy uninstall
// entries of which exactly one must be offered.  Each road checks the wizard's
// outcome and everything the installation left: files, links, registration,
// and whether Finish (Start box checked) started the application.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>

namespace {

enum class Fault { kLockedApplication, kLockedHelpFile, kLockedUninstaller, kDamagedApplication,
                   kShortHelpStream, kNoProgramFiles, kLegacyEntries };

// What a file of the installation holds afterwards: 'p' the payload's file,
// 'o' the file that was there before, 'h' the file another program holds, '-' none.
struct Road {
    const char* name;
    Fault fault;
    bool startMenu, desktop, allUsers;
    bool succeeds;
    char application, helpFile, uninstaller;
};

void PrintTo(const Road& road, std::ostream* out)
{
    *out << road.name;
}

const Road kRoads[] = {
    {"LockedApplication", Fault::kLockedApplication, true, true, true, false, 'h', '-', '-'},
    {"LockedHelpFile", Fault::kLockedHelpFile, true, true, true, false, 'p', 'h', 'p'},
    {"LockedUninstallerCopy", Fault::kLockedUninstaller, false, false, true, true, 'p', 'p', 'h'},
    {"DamagedApplicationEntry", Fault::kDamagedApplication, false, true, false, false, 'o', '-', '-'},
    {"HelpEntryDecodingShort", Fault::kShortHelpStream, true, false, false, false, 'p', 'o', 'p'},
    {"NoProgramFilesFolder", Fault::kNoProgramFiles, true, true, true, false, '-', '-', '-'},
    {"LegacyEntries", Fault::kLegacyEntries, true, true, false, true, 'p', 'p', 'p'},
};

const char kWow64Root[] = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A copy of the setup program whose payload entry `index` is damaged: its
// Huffman table broken, or its size word one above what the stream decodes to.
std::string DamagedSetupProgram(std::uint32_t index, bool decodesShort)
{
    std::string image = ReadFileBytes(BuildPath("LumovaraSetup.exe"));
    std::size_t entry = image.find(std::string("TPIZ\2\0\0\0", 8)) + 8;
    for (std::uint32_t i = 0; i < index; ++i) {
        std::uint32_t c;
        std::memcpy(&c, &image[entry], 4);
        entry += 8 + (c + 3) / 4 * 4;
    }
    if (decodesShort)
        ++reinterpret_cast<std::uint32_t&>(image[entry + 4]);
    else
        std::memset(&image[entry + 8 + 28], 0xFF, 256);
    std::string copy = ScratchFolder() + "\\LumovaraSetup.exe";
    return WriteFileBytes(copy, image) ? copy : "";
}

struct LegacyEntry {
    const char* root;
    const char* subkey;
    const char* name;
    const char* version;
    const char* quiet;  // null: no QuietUninstallString
    std::string command;
};

class FailureRoads : public testing::TestWithParam<Road> {
protected:
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override
    {
        held_.reset();
        RemoveInstallation();
        for (const char* root : {kUninstallRoot, kWow64Root})
            for (char entry = '0'; entry <= '7'; ++entry)
                DeleteRegistryTree(HKEY_LOCAL_MACHINE, root + std::string("\\lvtest-") + entry);
        if (savedProgramFiles_.exists)
            WriteRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", savedProgramFiles_.type,
                               savedProgramFiles_.bytes);
    }

    // Puts the road's obstacle in place; the program to run.
    std::string Prepare(Fault fault)
    {
        const InstallationPaths& paths = Installation();
        CreateDirectoryA((paths.programFiles + "\\VEK").c_str(), nullptr);
        CreateDirectoryA(paths.installDirectory.c_str(), nullptr);
        switch (fault) {
        case Fault::kLockedApplication: held_ = std::make_unique<HeldFile>(paths.application); break;
        case Fault::kLockedHelpFile: held_ = std::make_unique<HeldFile>(paths.helpFile); break;
        case Fault::kLockedUninstaller: held_ = std::make_unique<HeldFile>(paths.uninstaller); break;
        case Fault::kDamagedApplication:
            WriteFileBytes(paths.application, "old");
            return DamagedSetupProgram(0, false);
        case Fault::kShortHelpStream:
            WriteFileBytes(paths.helpFile, "old");
            return DamagedSetupProgram(1, true);
        case Fault::kNoProgramFiles:
            // The shell then cannot resolve the folder, as on a damaged system.
            RemoveInstallation();
            savedProgramFiles_ = ReadRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
            WriteRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", REG_SZ,
                               Sz("C:\\NoProgramFilesHere"));
            break;
        case Fault::kLegacyEntries: AddLegacyEntries(); break;
        }
        EXPECT_TRUE(held_ == nullptr || held_->holding());
        return BuildPath("LumovaraSetup.exe");
    }

    // Of these only lvtest-6 is a legacy installation with a usable command, in
    // the root searched first; its quiet command runs as stored, and deletes the
    // Desktop link so that the shortcuts must be made again.
    void AddLegacyEntries()
    {
        const std::string recorder = ScratchFolder() + "\\legacy uninstaller.exe";
        ASSERT_TRUE(CopyFileA(BuildPath("tests/record_run.exe").c_str(), recorder.c_str(), FALSE));
        legacyCommand_ = "\"" + recorder + "\" /S %TEMP% --delete=" + Installation().userDesktopLink;
        const std::string other = "\"" + recorder + "\" /wrong-entry";
        const LegacyEntry entries[] = {
            {kWow64Root, "0", "VEK Lumovara Remote", "1.0", nullptr, other},
            {kUninstallRoot, "1", "VEK Lumovara Remote", "10.1", nullptr, other},
            {kUninstallRoot, "2", "VEK Lumovara Remote", " 1.0", nullptr, other},
            {kUninstallRoot, "3", "vek lumovara remote", "1.4.2", nullptr, other},
            {kUninstallRoot, "4", "VEK Lumovara Remote ", "1.4.2", nullptr, other},
            {kUninstallRoot, "5", "VEK Lumovara Remote", "1.0", "", other},  // empty quiet: no command
            {kUninstallRoot, "6", "VEK Lumovara Remote", "1.4.2", legacyCommand_.c_str(), other},
            {kUninstallRoot, "7", "VEK Lumovara Remote", "1.0", nullptr, other},
        };
        for (const LegacyEntry& entry : entries) {
            const std::string key = entry.root + std::string("\\lvtest-") + entry.subkey;
            WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayName", REG_SZ, Sz(entry.name));
            WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion", REG_SZ, Sz(entry.version));
            WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "UninstallString", REG_SZ, Sz(entry.command));
            if (entry.quiet != nullptr)
                WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString", REG_SZ, Sz(entry.quiet));
        }
    }

    static constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    std::unique_ptr<HeldFile> held_;
    RegistryValue savedProgramFiles_;
    std::string legacyCommand_;
};

void ExpectFile(const std::string& path, char state, const std::string& payload)
{
    switch (state) {
    case 'p': EXPECT_TRUE(ReadFileBytes(path) == ReadFileBytes(payload)) << path << " is not " << payload; break;
    case 'o': EXPECT_EQ("old", ReadFileBytes(path)) << path; break;
    case 'h': EXPECT_TRUE(FileExists(path) && ReadFileBytes(path).empty()) << path; break;
    default: EXPECT_FALSE(FileExists(path)) << path;
    }
}

DWORD KiB(const std::string& path)
{
    return DWORD((ReadFileBytes(path).size() + 1023) / 1024);
}

TEST_P(FailureRoads, Install)
{
    const Road& road = GetParam();
    const InstallationPaths& paths = Installation();
    const std::string program = Prepare(road.fault);
    ASSERT_FALSE(program.empty());

    RunningSetup setup = StartSetup(program);
    ASSERT_NE(nullptr, setup.wizard) << setup.box.text;
    ASSERT_TRUE(WalkToOptions(setup.wizard));
    ASSERT_TRUE(SetOption(setup.wizard, IDC_START_MENU, road.startMenu));
    ASSERT_TRUE(SetOption(setup.wizard, IDC_DESKTOP, road.desktop));
    ASSERT_TRUE(SetOption(setup.wizard, IDC_ALL_USERS, road.allUsers));
    MessageBoxInfo question = Install(setup);
    if (road.fault == Fault::kLegacyEntries) {
        EXPECT_EQ("An installation of Lumovara Remote 1.4x was found. Remove it now?", question.text);
        EXPECT_EQ(setup.wizard, GetWindow(question.window, GW_OWNER));
        Screenshot(question.window, "legacy-question");
        ASSERT_TRUE(Answer(question, IDYES));
        ASSERT_TRUE(WaitForFinish(setup.wizard));
        EXPECT_EQ(legacyCommand_, ReadFileBytes(ScratchFolder() + "\\legacy uninstaller.exe.ran"));
    } else {
        ASSERT_EQ(nullptr, question.window) << question.text;
    }
    EXPECT_EQ(road.succeeds ? "The install operation completed successfully." : "The install operation did fail!",
              ControlText(setup.wizard, IDC_STATUS));
    DWORD_PTR position = 0;
    SendMessageTimeoutA(GetDlgItem(setup.wizard, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    EXPECT_EQ(100u, position);

    ExpectFile(paths.application, road.application, BuildPath("sample/LumovaraRemote.exe"));
    ExpectFile(paths.helpFile, road.helpFile, BuildPath("sample/LumovaraRemote.chm"));
    ExpectFile(paths.uninstaller, road.uninstaller, program);
    // Links and the registration come only after the application was written.
    const bool written = road.application == 'p';
    const struct {
        const std::string& path;
        bool made;
    } links[] = {
        {paths.commonStartMenuLink, written && road.startMenu && road.allUsers},
        {paths.userStartMenuLink, written && road.startMenu && !road.allUsers},
        {paths.commonDesktopLink, written && road.desktop && road.allUsers},
        {paths.userDesktopLink, written && road.desktop && !road.allUsers},
    };
    for (const auto& link : links) {
        ShellLink read = ReadShellLink(link.path);
        EXPECT_EQ(link.made, read.loaded && read.target == paths.application) << link.path;
    }
    if (!road.startMenu) {
        EXPECT_FALSE(FileExists(paths.commonStartMenuFolder) || FileExists(paths.userStartMenuFolder));
    }
    if (written) {
        const std::string command = road.uninstaller == 'p' ? paths.uninstaller : program;
        EXPECT_EQ(Sz("\"" + command + "\""), ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").bytes);
        EXPECT_EQ(Dword(KiB(paths.application) + KiB(paths.helpFile) + KiB(command)),
                  ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize").bytes);
    } else {
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    }
    if (road.fault == Fault::kNoProgramFiles) {
        EXPECT_FALSE(FileExists("C:\\NoProgramFilesHere") || FileExists(paths.programFiles + "\\VEK"));
    }

    // Finish with the Start box checked starts the application only if it was written.
    ASSERT_EQ(0, Finish(setup, true));
    EXPECT_EQ(written, !JobProcesses(true).empty());
}

INSTANTIATE_TEST_SUITE_P(Road, FailureRoads, testing::ValuesIn(kRoads),
                         [](const testing::TestParamInfo<Road>& road) { return std::string(road.param.name); });

}  // namespace
