// Roads through the built setup program other than the whole life's, as tables
// of cases driven as a person would.  Start-up: which registered version counts
// as this one, the uninstaller's name in any case, where each answer leads, the
// wizard ended by Cancel, a close request or the close box.  Installing when
// something stands in the way: a file held open by another program, a damaged
// payload, no Program Files folder, copies that ignore the request to close,
// legacy entries of which exactly one may be offered, its command quoted or
// not (with a program planted where the platform would look first), a folder
// whose path takes more than 260 bytes in UTF-8, a full disk, the setup
// program saved under a name that holds the application's.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <tuple>

namespace {

enum Outcome { kWizard, kQuestionNoOpensWizard, kShortQuestionNoEnds, kQuestionYesUninstalls };

// The registered "DisplayVersion" (type REG_NONE: none), the program's file name, what comes first and the
// answer; a wizard is ended on `page` by WM_COMMAND (Cancel), WM_CLOSE or WM_SYSCOMMAND (the close box).
struct Start { const char *name, *fileName; DWORD type; std::string version; Outcome outcome; int page; UINT close; };
void PrintTo(const Start& start, std::ostream* out) { *out << start.name; }

const std::string kThisVersion = Sz("2.0 release candidate 1");
const Start kStarts[] = {
    {"NothingRegistered", "LumovaraSetup.exe", REG_NONE, "", kWizard, 0, WM_COMMAND},
    {"OtherCase", "LumovaraSetup.exe", REG_SZ, Sz("2.0 Release Candidate 1"), kWizard, 1, WM_CLOSE},
    {"TrailingBlank", "LumovaraSetup.exe", REG_SZ, Sz("2.0 release candidate 1 "), kWizard, 2, WM_SYSCOMMAND},
    {"FullwidthDigit", "LumovaraSetup.exe", REG_SZ, Sz("2.0 release candidate \uFF11"), kWizard, 0, WM_COMMAND},  // "1" in best fit
    {"ThirtyTwoBytesWithoutNul", "LumovaraSetup.exe", REG_SZ, "2.0 release candidate 1zzzzzzzzz", kWizard, 1, WM_COMMAND},
    {"RightBytesOfAnotherType", "LumovaraSetup.exe", REG_BINARY, kThisVersion, kQuestionNoOpensWizard, 2, WM_COMMAND},
    {"YesUninstallsWithoutTheWizard", "LumovaraSetup.exe", REG_SZ, kThisVersion, kQuestionYesUninstalls},
    {"UninstallerNameInAnyCase", "uNINSTALL.EXE", REG_SZ, kThisVersion, kShortQuestionNoEnds},
    {"UninstallerWithoutRegistration", "Uninstall.exe", REG_NONE, "", kWizard, 0, WM_SYSCOMMAND},
};

class Startup : public testing::TestWithParam<Start> {
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override { RemoveInstallation(); }
};

TEST_P(Startup, FirstWindowAndAnswers)
{
    const Start& start = GetParam();
    ASSERT_TRUE(start.type == REG_NONE ||
                WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion", start.type, start.version));
    const std::string program = ScratchFolder() + "\\" + start.fileName;
    ASSERT_TRUE(CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), program.c_str(), FALSE));
    RunningSetup setup = StartSetup(program);
    ASSERT_EQ(start.outcome == kWizard, setup.wizard != nullptr) << "asked: " << setup.box.text;
    if (start.outcome != kWizard) {
        const std::string already = start.outcome == kShortQuestionNoEnds ? "" : "VEK Lumovara Remote 2.0 release candidate 1 is already installed. ";
        EXPECT_TRUE(setup.box.title == "VEK Lumovara Remote Setup" &&
                    setup.box.text == already + "Do you want to uninstall VEK Lumovara Remote 2.0 release candidate 1 now?") << setup.box.text;
        ASSERT_TRUE(Answer(setup.box, start.outcome == kQuestionYesUninstalls ? IDYES : IDNO));
    }
    if (start.outcome == kWizard || start.outcome == kQuestionNoOpensWizard) {  // nothing is installed on the way
        HWND wizard = WaitForWizard(setup.process.id());
        ASSERT_TRUE(wizard && (start.page < 1 || Press(wizard, IDOK)) &&
                    (start.page < 2 || (Press(wizard, IDC_ACCEPT) && Press(wizard, IDOK))));
        PostMessageA(wizard, start.close, start.close == WM_COMMAND ? IDCANCEL : SC_CLOSE, 0);
    }
    if (start.outcome == kQuestionYesUninstalls) {
        MessageBoxInfo done;
        ASSERT_TRUE(WaitFor([&] { return (done = FindMessageBox(setup.process.id())).text == "VEK Lumovara Remote has been uninstalled."; }));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        ASSERT_TRUE(Answer(done, IDOK));
    }
    // Cancel, a close request or No ends as cancelled.
    EXPECT_EQ(start.outcome == kQuestionYesUninstalls ? 0 : 1602, setup.process.Wait());
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));  // the uninstall's script removes itself
}

INSTANTIATE_TEST_SUITE_P(Start, Startup, testing::ValuesIn(kStarts),
                         [](const testing::TestParamInfo<Start>& start) { return std::string(start.param.name); });


enum Fault { kLockedApplication, kLockedHelpFile, kLockedUninstaller, kHelpDecodesShort, kNoProgramFiles, kCopies, kLongFolder,
             kUninstallerFolder, kOwnName, kLegacy, kLegacyUnquoted, kFullForApplication, kFullForHelpFile, kFullForUninstaller };
bool IsLegacy(Fault fault) { return fault == kLegacy || fault == kLegacyUnquoted; }

// What each file of the installation holds afterwards: 'p' the payload's file,
// 'o' the file that was there before, 'h' the file another program holds, 'd' a folder, '-' none.
struct Road { const char* name; Fault fault; bool startMenu, desktop, allUsers, succeeds; char application, helpFile, uninstaller; };
void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

const Road kRoads[] = {
    {"LockedApplication", kLockedApplication, true, true, true, false, 'h', '-', '-'},
    {"LockedHelpFile", kLockedHelpFile, true, true, true, false, 'p', 'h', 'p'},
    // A repair: Uninstall.exe, this very program, held by a scanner reading it.
    {"LockedUninstallerCopy", kLockedUninstaller, false, false, true, true, 'p', 'p', 'p'},
    {"HelpEntryDecodingShort", kHelpDecodesShort, true, false, false, false, 'p', 'o', 'p'},
    {"NoProgramFilesFolder", kNoProgramFiles, true, true, true, false, '-', '-', '-'},
    {"RunningCopies", kCopies, false, false, false, true, 'p', 'p', 'p'},
    {"LegacyEntries", kLegacy, true, true, false, true, 'p', 'p', 'p'},
    {"UnquotedLegacyCommand", kLegacyUnquoted, false, true, false, true, 'p', 'p', 'p'},
    {"FromAFolderLongerInUtf8", kLongFolder, false, false, true, true, 'p', 'p', 'p'},
    // A folder where Uninstall.exe goes: no copy, and nothing registered to run.
    {"UninstallerPathTakenByAFolder", kUninstallerFolder, false, false, false, true, 'p', 'p', 'd'},
    {"SetupNamedLikeTheApplication", kOwnName, true, false, false, true, 'p', 'p', 'p'},
    // A small disk (tests/harness/small-disk) with room for the new application but no more, and so on.
    {"FullDiskForApplication", kFullForApplication, true, true, true, false, 'o', 'o', 'o'},
    {"FullDiskForHelpFile", kFullForHelpFile, true, false, false, false, 'p', 'o', 'o'},
    // The old version's Uninstall.exe stays but is not registered: it would not uninstall this one.
    {"FullDiskForUninstaller", kFullForUninstaller, false, true, false, true, 'p', 'p', 'o'},
};

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kWow64Root[] = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kSystemEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
std::string StrokedLs(int count) { return count > 0 ? "\u0141" + StrokedLs(count - 1) : ""; }  // two bytes each in UTF-8
// Another product's entry, walked before lvtest-7: 138 characters, 268 bytes in UTF-8.
const std::string kLongNamedEntry = std::string(kUninstallRoot) + "\\lvtest-6" + StrokedLs(130);

class FailureRoads : public testing::TestWithParam<Road> {
protected:
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override
    {
        CloseHandle(held_);
        copies_.clear();
        RemoveInstallation();
        for (const char* planted : {"C:\\ProgramData\\VEK Lumovara", "C:\\ProgramData\\VEK.exe", "C:\\ProgramData\\VEK.exe.ran"})
            RemoveTree(planted);
        for (const char* root : {kUninstallRoot, kWow64Root})
            for (char entry = '0'; entry <= '7'; ++entry)
                DeleteRegistryTree(HKEY_LOCAL_MACHINE, root + std::string("\\lvtest-") + entry);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kLongNamedEntry);
        if (programFiles_.exists)
            WriteRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", programFiles_.type, programFiles_.bytes);
    }

    // Puts the road's obstacle in place; the program to run.
    std::string Prepare(Fault fault)
    {
        const InstallationPaths& paths = Installation();
        SHCreateDirectoryExA(nullptr, paths.installDirectory.c_str(), nullptr);
        const std::string held[] = {paths.application, paths.helpFile, paths.uninstaller};
        if (fault < kLockedUninstaller)  // held open without sharing, as another program would
            held_ = CreateFileA(held[fault].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (fault == kLockedUninstaller && CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), held[fault].c_str(), FALSE))
            held_ = CreateFileA(held[fault].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);  // a scanner reading it
        if (fault == kLockedUninstaller)  // as an earlier run whose copy failed registered itself
            WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", REG_SZ, Sz("\"C:\\Downloads\\LumovaraSetup.exe\""));
        if (fault == kHelpDecodesShort) {  // the help file's size word one above what its stream decodes to
            std::string image = ReadFileBytes(BuildPath("LumovaraSetup.exe"));
            const std::size_t entry0 = image.find(std::string("TPIZ\2\0\0\0", 8)) + 8;
            std::uint32_t size0;
            std::memcpy(&size0, &image[entry0], 4);
            ++reinterpret_cast<std::uint32_t&>(image[entry0 + 8 + (size0 + 3) / 4 * 4 + 4]);
            WriteFileBytes(paths.helpFile, "old");
            WriteFileBytes(ScratchFolder() + "\\LumovaraSetup.exe", image);
            return ScratchFolder() + "\\LumovaraSetup.exe";
        }
        if (fault == kLongFolder) {  // under 260 characters, over 260 bytes in UTF-8
            std::string folder = ScratchFolder();
            for (int level = 0; level < 3; ++level)
                CreateDirectoryA((folder += "\\" + StrokedLs(50)).c_str(), nullptr);
            CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), (folder += "\\LumovaraSetup.exe").c_str(), FALSE);
            return folder;
        }
        if (fault == kUninstallerFolder) {  // as an earlier run whose copy failed registered itself
            CreateDirectoryA(paths.uninstaller.c_str(), nullptr);
            WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", REG_SZ, Sz("\"C:\\Downloads\\LumovaraSetup.exe\""));
        }
        if (fault == kOwnName) {  // as a browser may save it
            const std::string renamed = ScratchFolder() + "\\VEK-LumovaraRemote.exe";
            CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), renamed.c_str(), FALSE);
            return renamed;
        }
        if (fault >= kFullForApplication) {  // an installation in place, then a filler leaves the row's room
            for (const std::string& path : held)
                WriteFileBytes(path, "old");
            DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
            GetDiskFreeSpaceA((paths.programFiles + "\\VEK\\").c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
            const std::size_t cluster = std::size_t(sectorsPerCluster) * bytesPerSector;
            auto clustersOf = [&](const char* file) { return DWORD((ReadFileBytes(BuildPath(file)).size() + cluster - 1) / cluster); };
            const DWORD application = clustersOf("sample/LumovaraRemote.exe"), help = clustersOf("sample/LumovaraRemote.chm");
            const DWORD room = fault == kFullForApplication ? application / 2 : fault == kFullForHelpFile ? application : application + help - 1;
            WriteFileBytes(paths.programFiles + "\\VEK\\filler", std::string((freeClusters - room) * cluster, '\0'));
        }
        if (fault == kNoProgramFiles) {  // the shell then cannot resolve the folder, as on a damaged system
            RemoveInstallation();
            programFiles_ = ReadRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
            WriteRegistryValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", REG_SZ, Sz("C:\\NoProgramFilesHere"));
        }
        // A copy that saves its state for 3 s after its window closed, three that
        // answer the request to close but stay (one named like the application,
        // one whose name holds only the search word, one in other case) and a
        // hung one.  Each shows its window before the next starts, so the hung
        // copy's lies on top and is asked first: the others are asked only after
        // its wait, idle for longer than the system's time to call a copy hung.
        const std::pair<const char*, const char*> copies[] = {{"LumovaraRemote.exe", "--slow-end"}, {"LumovaraRemote.exe", ""},
            {"LumovaraRemoteHelper.exe", ""}, {"lumovararemote.exe", ""}, {"LumovaraRemote.exe", "--hung"}};
        for (auto [name, mode] : copies) {
            const std::string folder = ScratchFolder() + "\\" + std::to_string(copies_.size()) + "\\";
            if (fault == kCopies && CreateDirectoryA(folder.c_str(), nullptr) &&
                CopyFileA(BuildPath(*mode ? "tests/prompting_app.exe" : "sample/StubbornApp.exe").c_str(), (folder + name).c_str(), FALSE)) {
                copies_.emplace_back(folder + name, mode);
                EXPECT_TRUE(WaitFor([&] { return ShowsWindow(copies_.back().id()); }));
            }
        }
        if (IsLegacy(fault))
            AddLegacyEntries(fault == kLegacyUnquoted);
        return BuildPath("LumovaraSetup.exe");
    }

    // Only lvtest-7 is a legacy installation with a usable command in the root
    // searched first, where another product's entry with a long name comes
    // before it.  Its quiet command runs as stored and deletes every file in our
    // folder and the Desktop link, all to be put back.  Unquoted, its program lies in a
    // folder with a blank in its name, in C:\ProgramData, where any user may
    // create the VEK.exe that the platform would try first.
    void AddLegacyEntries(bool unquoted)
    {
        recorder_ = unquoted ? "C:\\ProgramData\\VEK Lumovara\\uninst.exe" : ScratchFolder() + "\\legacy uninstaller.exe";
        const std::string other = "\"" + recorder_ + "\" /wrong";
        ASSERT_TRUE(!unquoted || (CreateDirectoryA("C:\\ProgramData\\VEK Lumovara", nullptr) &&
                                  CopyFileA(BuildPath("tests/record_run.exe").c_str(), "C:\\ProgramData\\VEK.exe", FALSE)));
        ASSERT_TRUE(CopyFileA(BuildPath("tests/record_run.exe").c_str(), recorder_.c_str(), FALSE));
        legacyCommand_ = (unquoted ? recorder_ : "\"" + recorder_ + "\"") + " /S %TEMP% --again --delete=" +
                         Installation().installDirectory + "\\*|" + Installation().userDesktopLink;
        // Versions as stored; the 32-byte one has no NUL, so cannot be read (REG_BINARY: Wine ends a REG_SZ read with one).
        const struct { const char *root, *name; std::string version; const char* quiet; } entries[] = {  // quiet: null for none
            {kWow64Root, "VEK Lumovara Remote", Sz("1.0"), nullptr}, {kUninstallRoot, "VEK Lumovara Remote", Sz("10.1"), nullptr},
            {kUninstallRoot, "VEK Lumovara Remote", Sz(" 1.0"), nullptr}, {kUninstallRoot, "vek lumovara remote", Sz("1.4.2"), nullptr},
            {kUninstallRoot, "VEK Lumovara Remote ", Sz("1.4.2"), nullptr}, {kUninstallRoot, "VEK Lumovara Remote", Sz("1.0"), ""},
            {kUninstallRoot, "VEK Lumovara Remote", "1.4" + std::string(29, '9'), nullptr},
            {kUninstallRoot, "VEK Lumovara Remote", Sz("1.4.2"), legacyCommand_.c_str()}};
        WriteRegistryValue(HKEY_LOCAL_MACHINE, kLongNamedEntry, "DisplayName", REG_SZ, Sz("Other"));
        for (int i = 0; i < 8; ++i) {
            const std::string key = entries[i].root + std::string("\\lvtest-") + char('0' + i);
            WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayName", REG_SZ, Sz(entries[i].name));
            WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion", entries[i].version.back() ? REG_BINARY : REG_SZ,
                               entries[i].version);
            WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "UninstallString", REG_SZ, Sz(other));
            if (entries[i].quiet != nullptr)
                WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString", REG_SZ, Sz(entries[i].quiet));
        }
    }

    HANDLE held_ = INVALID_HANDLE_VALUE;
    std::vector<Process> copies_;
    RegistryValue programFiles_;
    std::string legacyCommand_, recorder_;
};

DWORD KiB(const std::string& path) { return DWORD((ReadFileBytes(path).size() + 1023) / 1024); }

TEST_P(FailureRoads, Install)
{
    const Road& road = GetParam();
    const InstallationPaths& paths = Installation();
    ULARGE_INTEGER disk = {};
    if (road.fault >= kFullForApplication &&
        (!GetDiskFreeSpaceExA((paths.programFiles + "\\VEK\\").c_str(), nullptr, &disk, nullptr) || disk.QuadPart > 64 << 20))
        GTEST_SKIP() << "no small disk over " << paths.programFiles << "\\VEK: tests/harness/small-disk mounts one, as root";
    const std::string program = Prepare(road.fault);
    RunningSetup setup = StartSetup(program);
    ASSERT_TRUE(setup.wizard && WalkToOptions(setup.wizard) && SetOption(setup.wizard, IDC_START_MENU, road.startMenu) &&
                SetOption(setup.wizard, IDC_DESKTOP, road.desktop) && SetOption(setup.wizard, IDC_ALL_USERS, road.allUsers));
    const MessageBoxInfo question = Install(setup);
    if (IsLegacy(road.fault)) {
        EXPECT_TRUE(question.text == "An installation of Lumovara Remote 1.4x was found. Remove it now?" &&
                    GetWindow(question.window, GW_OWNER) == setup.wizard) << question.text;
        ASSERT_TRUE(Answer(question, IDYES) && WaitFor([&] { return OnFinishPage(setup.wizard); }));
        EXPECT_EQ(legacyCommand_, ReadFileBytes(recorder_ + ".ran"));
        EXPECT_FALSE(FileExists("C:\\ProgramData\\VEK.exe.ran")) << "the program planted in C:\\ProgramData ran";
        EXPECT_TRUE(FileExists(recorder_ + ".copy.exe.ran")) << "Finish came before the uninstaller's copy ended";
        const auto machine = [](const char* name) {  // the system's own value, not the user's
            char value[4096] = {};
            const RegistryValue stored = ReadRegistryValue(HKEY_LOCAL_MACHINE, kSystemEnvironment, name);
            ExpandEnvironmentStringsA(stored.bytes.c_str(), value, sizeof value);
            return std::string(value);
        };
        EXPECT_EQ(recorder_.substr(0, recorder_.rfind('\\')) + "\n" + machine("TEMP") + "\n" + machine("PATH"),
                  ReadFileBytes(recorder_ + ".where")) << "the legacy uninstaller's folder, TEMP and PATH";
    } else {
        ASSERT_EQ(nullptr, question.window) << question.text;
    }
    EXPECT_EQ(road.succeeds ? "The install operation completed successfully." : "The install operation did fail!",
              ControlText(setup.wizard, IDC_STATUS));
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(GetDlgItem(setup.wizard, IDC_PROGRESS), PBM_GETPOS, 0, 0) == 100; }));
    if (road.fault == kCopies) {  // only the hung copy is ended by force, and each was waited for
        EXPECT_EQ(7, copies_[0].Wait(0)) << "the copy saving its state did not end by itself";
        EXPECT_EQ(1, copies_[4].Wait(0)) << "the hung copy was not terminated";
        for (int i = 1; i < 4; ++i)
            EXPECT_TRUE(copies_[i].Running()) << "copy " << i << ", which answered, ended with " << copies_[i].Wait(0);
    }

    for (auto [path, state, payload] : {std::tuple{paths.application, road.application, BuildPath("sample/LumovaraRemote.exe")},
                                        {paths.helpFile, road.helpFile, BuildPath("sample/LumovaraRemote.chm")},
                                        {paths.uninstaller, road.uninstaller, program}})
        EXPECT_TRUE((state == '-' ? !FileExists(path) : state == 'd' ? (FileExists(path) && (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)) : ReadFileBytes(path) == (state == 'p' ? ReadFileBytes(payload) : state == 'o' ? "old" : "") && FileExists(path)) &&
                    !FileExists(path + ".new")) << path << " does not hold what it should: " << state;
    // Links and the registration come only after the application was written.
    const bool written = road.application == 'p';
    for (auto [link, chosen] : {std::pair{paths.commonStartMenuLink, road.startMenu && road.allUsers},
                                {paths.userStartMenuLink, road.startMenu && !road.allUsers},
                                {paths.commonDesktopLink, road.desktop && road.allUsers},
                                {paths.userDesktopLink, road.desktop && !road.allUsers}})
        EXPECT_EQ(written && chosen, ReadShellLink(link).target == paths.application) << link;
    EXPECT_TRUE(road.startMenu || !(FileExists(paths.commonStartMenuFolder) || FileExists(paths.userStartMenuFolder)));
    // Only an Uninstall.exe in the install folder that is this very program is
    // registered to run, a kept one too (an earlier entry's command goes);
    // without one the icon is the application's.
    const bool inPlace = road.uninstaller == 'p';
    EXPECT_EQ(written && inPlace ? Sz("\"" + paths.uninstaller + "\"") : "", ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").bytes);
    EXPECT_EQ(written ? Sz("\"" + (inPlace ? paths.uninstaller : paths.application) + "\"") : "",
              ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon").bytes);
    EXPECT_EQ(written ? Dword(KiB(paths.application) + KiB(paths.helpFile) + (inPlace ? KiB(paths.uninstaller) : 0)) : "",
              ReadRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize").bytes);
    EXPECT_FALSE(FileExists("C:\\NoProgramFilesHere") || (road.fault == kNoProgramFiles && FileExists(paths.programFiles + "\\VEK")));

    // Finish with the Start box checked starts the application only when it was
    // written; the exit code tells a deployment tool what happened.
    const bool full = road.fault == kFullForApplication || road.fault == kFullForHelpFile;
    ASSERT_EQ(road.succeeds ? 0 : full ? 112 : 1603, Finish(setup, true));
    EXPECT_EQ(written, !JobProcesses(true).empty());
}

INSTANTIATE_TEST_SUITE_P(Road, FailureRoads, testing::ValuesIn(kRoads),
                         [](const testing::TestParamInfo<Road>& road) { return std::string(road.param.name); });

}  // namespace
