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

#include <cstring>
#include <ostream>
#include <tuple>

namespace {

enum Outcome { kWizard, kQuestionNoOpensWizard, kShortQuestionNoEnds, kQuestionYesUninstalls };
enum Page { kWelcome, kLicence, kOptions };

// The registered "DisplayVersion" (type REG_NONE: none), the program's file name, what comes first and the
// answer; a wizard is ended on `page` by WM_COMMAND (Cancel), WM_CLOSE or WM_SYSCOMMAND (the close box).
struct Start { const char *name, *fileName; DWORD type; std::string version; Outcome outcome; Page page; UINT close; };
void PrintTo(const Start& start, std::ostream* out) { *out << start.name; }

const char kSetup[] = "LumovaraSetup.exe";
const std::string kFullName = "VEK Lumovara Remote 2.0 release candidate 1";
const std::string kThisVersion = Sz("2.0 release candidate 1");
const Start kStarts[] = {
    {"NothingRegistered", kSetup, REG_NONE, "", kWizard, kWelcome, WM_COMMAND},
    {"OtherCase", kSetup, REG_SZ, Sz("2.0 Release Candidate 1"), kWizard, kLicence, WM_CLOSE},
    {"TrailingBlank", kSetup, REG_SZ, Sz("2.0 release candidate 1 "), kWizard, kOptions, WM_SYSCOMMAND},
    // FULLWIDTH DIGIT ONE, "1" in best fit
    {"FullwidthDigit", kSetup, REG_SZ, Sz("2.0 release candidate \uFF11"), kWizard, kWelcome, WM_COMMAND},
    {"ThirtyTwoBytesWithoutNul", kSetup, REG_SZ, "2.0 release candidate 1zzzzzzzzz", kWizard, kLicence, WM_COMMAND},
    {"RightBytesOfAnotherType", kSetup, REG_BINARY, kThisVersion, kQuestionNoOpensWizard, kOptions, WM_COMMAND},
    {"YesUninstallsWithoutTheWizard", kSetup, REG_SZ, kThisVersion, kQuestionYesUninstalls},
    {"UninstallerNameInAnyCase", "uNINSTALL.EXE", REG_SZ, kThisVersion, kShortQuestionNoEnds},
    {"UninstallerWithoutRegistration", "Uninstall.exe", REG_NONE, "", kWizard, kWelcome, WM_SYSCOMMAND},
};

class Startup : public testing::TestWithParam<Start> {
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override { RemoveInstallation(); }
};

TEST_P(Startup, FirstWindowAndAnswers)
{
    const Start& start = GetParam();
    ASSERT_TRUE(start.type == REG_NONE ||
                WriteRegistryValue(kUninstallKey, "DisplayVersion", start.type, start.version));
    const std::string program = ScratchFolder() + "\\" + start.fileName;
    ASSERT_TRUE(CopyFileA(BuildPath(kSetup).c_str(), program.c_str(), FALSE));
    RunningSetup setup = StartSetup(program);
    ASSERT_EQ(start.outcome == kWizard, setup.wizard != nullptr) << "asked: " << setup.box.text;
    if (start.outcome != kWizard) {
        const std::string already = start.outcome == kShortQuestionNoEnds ? "" : kFullName + " is already installed. ";
        EXPECT_EQ("VEK Lumovara Remote Setup", setup.box.title);
        EXPECT_EQ(already + "Do you want to uninstall " + kFullName + " now?", setup.box.text);
        ASSERT_TRUE(Answer(setup.box, start.outcome == kQuestionYesUninstalls ? IDYES : IDNO));
    }
    if (start.outcome == kWizard || start.outcome == kQuestionNoOpensWizard) {  // nothing is installed on the way
        HWND wizard = WaitForWizard(setup.process.id());
        ASSERT_TRUE(wizard && (start.page == kWelcome || Press(wizard, IDOK)) &&
                    (start.page != kOptions || (Press(wizard, IDC_ACCEPT) && Press(wizard, IDOK))));
        PostMessageA(wizard, start.close, start.close == WM_COMMAND ? IDCANCEL : SC_CLOSE, 0);
    }
    if (start.outcome == kQuestionYesUninstalls) {
        ASSERT_TRUE(Answer(WaitForMessageBox(setup.process.id(), kUninstalled), IDOK));
        EXPECT_FALSE(RegistryKeyExists(kUninstallKey));
    }
    // Cancel, a close request or No ends as cancelled.
    EXPECT_EQ(start.outcome == kQuestionYesUninstalls ? 0 : 1602, setup.process.Wait());
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));  // the uninstall's script removes itself
}

INSTANTIATE_TEST_SUITE_P(Start, Startup, testing::ValuesIn(kStarts),
                         [](const testing::TestParamInfo<Start>& start) { return std::string(start.param.name); });


enum Fault { kLockedApplication, kLockedHelpFile, kLockedUninstaller, kHelpDecodesShort, kNoProgramFiles, kCopies,
             kLongFolder, kUninstallerFolder, kOwnName, kLegacy, kLegacyUnquoted, kFullForApplication,
             kFullForHelpFile, kFullForUninstaller };
enum Options { kNoOptions = 0, kStartMenu = 1, kDesktop = 2, kAllUsers = 4 };  // the boxes checked
enum Result { kFails, kSucceeds };
// What a file of the installation holds afterwards; kHeld: the empty file that another program holds.
enum Content { kNone, kPayload, kOld, kHeld, kFolder, kOther };
const char* const kContentNames[] = {"none", "the payload's", "the old one", "the held one", "a folder", "another"};
void PrintTo(Content content, std::ostream* out) { *out << kContentNames[content]; }

struct Road { const char* name; Fault fault; int options; Result result; Content application, helpFile, uninstaller; };
void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

const Road kRoads[] = {
    {"LockedApplication", kLockedApplication, kStartMenu | kDesktop | kAllUsers, kFails, kHeld, kNone, kNone},
    {"LockedHelpFile", kLockedHelpFile, kStartMenu | kDesktop | kAllUsers, kFails, kPayload, kHeld, kPayload},
    // A repair: Uninstall.exe, this very program, held by a scanner reading it.
    {"LockedUninstallerCopy", kLockedUninstaller, kAllUsers, kSucceeds, kPayload, kPayload, kPayload},
    {"HelpEntryDecodingShort", kHelpDecodesShort, kStartMenu, kFails, kPayload, kOld, kPayload},
    {"NoProgramFilesFolder", kNoProgramFiles, kStartMenu | kDesktop | kAllUsers, kFails, kNone, kNone, kNone},
    {"RunningCopies", kCopies, kNoOptions, kSucceeds, kPayload, kPayload, kPayload},
    {"LegacyEntries", kLegacy, kStartMenu | kDesktop, kSucceeds, kPayload, kPayload, kPayload},
    {"UnquotedLegacyCommand", kLegacyUnquoted, kDesktop, kSucceeds, kPayload, kPayload, kPayload},
    {"FromAFolderLongerInUtf8", kLongFolder, kAllUsers, kSucceeds, kPayload, kPayload, kPayload},
    // A folder where Uninstall.exe goes: no copy, nothing registered to run, and
    // no success claimed for a product that cannot be removed.
    {"UninstallerPathTakenByAFolder", kUninstallerFolder, kNoOptions, kFails, kPayload, kPayload, kFolder},
    {"SetupNamedLikeTheApplication", kOwnName, kStartMenu, kSucceeds, kPayload, kPayload, kPayload},
    // A small disk (tests/harness/small-disk) with room for the new application but no more, and so on.
    {"FullDiskForApplication", kFullForApplication, kStartMenu | kDesktop | kAllUsers, kFails, kOld, kOld, kOld},
    {"FullDiskForHelpFile", kFullForHelpFile, kStartMenu, kFails, kPayload, kOld, kOld},
    // The old version's Uninstall.exe stays but is not registered: it would not uninstall this one.
    {"FullDiskForUninstaller", kFullForUninstaller, kDesktop, kFails, kPayload, kPayload, kOld},
};

Content Found(const std::string& path, const std::string& payload)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return attributes == INVALID_FILE_ATTRIBUTES ? kNone : kFolder;
    const std::string bytes = ReadFileBytes(path);
    return bytes == ReadFileBytes(payload) ? kPayload : bytes == "old" ? kOld : bytes.empty() ? kHeld : kOther;
}

// A file's size in units (KiB, clusters), rounded up.
DWORD Units(const std::string& path, std::size_t unit) { return DWORD((ReadFileBytes(path).size() + unit - 1) / unit); }

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kMissingFolder[] = "C:\\NoProgramFilesHere";  // Program Files on the road without, as the registry says
const char kWow64Root[] = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kSystemEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
std::string StrokedLs(int count) { return count > 0 ? "\u0141" + StrokedLs(count - 1) : ""; }  // 2 bytes each in UTF-8
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
        for (const std::string planted : {"VEK Lumovara", "VEK.exe", "VEK.exe.ran"})
            RemoveTree("C:\\ProgramData\\" + planted);
        for (const char* root : {kUninstallRoot, kWow64Root})
            for (char entry = '0'; entry <= '7'; ++entry)
                DeleteRegistryTree(root + std::string("\\lvtest-") + entry);
        DeleteRegistryTree(kLongNamedEntry);
        if (programFiles_.exists)
            WriteRegistryValue(kCurrentVersion, "ProgramFilesDir", programFiles_.type, programFiles_.bytes);
    }

    // Puts the road's obstacle in place; the program to run, none when the road's small disk is not there.
    std::string Prepare(Fault fault)
    {
        const InstallationPaths& paths = Installation();
        const std::string setup = BuildPath(kSetup), vek = paths.programFiles + "\\VEK\\";
        SHCreateDirectoryExA(nullptr, paths.installDirectory.c_str(), nullptr);
        // Held open without sharing, as another program would, or for reading, as a scanner does.
        const std::string& locked = fault == kLockedApplication ? paths.application : paths.helpFile;
        if (fault == kLockedApplication || fault == kLockedHelpFile)
            held_ = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        const char* uninstaller = paths.uninstaller.c_str();
        if (fault == kLockedUninstaller && CopyFileA(setup.c_str(), uninstaller, FALSE))
            held_ = CreateFileA(uninstaller, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (fault == kLockedUninstaller || fault == kUninstallerFolder)  // by an earlier run whose copy failed
            WriteRegistryValue(kUninstallKey, "UninstallString", REG_SZ, Sz("\"C:\\Downloads\\LumovaraSetup.exe\""));
        if (fault == kHelpDecodesShort) {  // the help file's size word one above what its stream decodes to
            std::string image = ReadFileBytes(setup);
            const std::size_t entry0 = image.find(std::string("TPIZ\2\0\0\0", 8)) + 8;
            std::uint32_t size0;
            std::memcpy(&size0, &image[entry0], 4);
            ++reinterpret_cast<std::uint32_t&>(image[entry0 + 8 + (size0 + 3) / 4 * 4 + 4]);
            WriteFileBytes(paths.helpFile, "old");
            WriteFileBytes(ScratchFolder() + "\\" + kSetup, image);
            return ScratchFolder() + "\\" + kSetup;
        }
        if (fault == kLongFolder) {  // under 260 characters, over 260 bytes in UTF-8
            std::string folder = ScratchFolder();
            for (int level = 0; level < 3; ++level)
                CreateDirectoryA((folder += "\\" + StrokedLs(50)).c_str(), nullptr);
            CopyFileA(setup.c_str(), (folder += "\\" + std::string(kSetup)).c_str(), FALSE);
            return folder;
        }
        if (fault == kUninstallerFolder)
            CreateDirectoryA(uninstaller, nullptr);
        if (fault == kOwnName) {  // as a browser may save it
            const std::string renamed = ScratchFolder() + "\\VEK-LumovaraRemote.exe";
            CopyFileA(setup.c_str(), renamed.c_str(), FALSE);
            return renamed;
        }
        if (fault == kFullForApplication || fault == kFullForHelpFile || fault == kFullForUninstaller) {
            ULARGE_INTEGER disk = {};
            if (!GetDiskFreeSpaceExA(vek.c_str(), nullptr, &disk, nullptr) || disk.QuadPart > 64 << 20)
                return "";
            // An installation in place, then a filler that leaves the row's room.
            for (const char* file : {uninstaller, paths.application.c_str(), paths.helpFile.c_str()})
                WriteFileBytes(file, "old");
            DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
            GetDiskFreeSpaceA(vek.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
            const std::size_t cluster = std::size_t(sectorsPerCluster) * bytesPerSector;
            const DWORD application = Units(BuildPath("sample/LumovaraRemote.exe"), cluster);
            const DWORD help = Units(BuildPath("sample/LumovaraRemote.chm"), cluster);
            const DWORD room = fault == kFullForApplication ? application / 2  // not even the new application
                               : fault == kFullForHelpFile  ? application      // the application, not the help file
                                                            : application + help - 1;  // all but the uninstaller
            WriteFileBytes(vek + "filler", std::string((freeClusters - room) * cluster, '\0'));
        }
        if (fault == kNoProgramFiles) {  // the shell then cannot resolve the folder, as on a damaged system
            RemoveInstallation();
            programFiles_ = ReadRegistryValue(kCurrentVersion, "ProgramFilesDir");
            WriteRegistryValue(kCurrentVersion, "ProgramFilesDir", REG_SZ, Sz(kMissingFolder));
        }
        // A copy that saves its state for 3 s after its window closed, three that
        // answer the request to close but stay (one named like the application,
        // one whose name holds only the search word, one in other case) and a
        // hung one.  Each shows its window before the next starts, so the hung
        // copy's lies on top and is asked first: the others are asked only after
        // its wait, idle for longer than the system's time to call a copy hung.
        const char* const copies[][2] = {{"LumovaraRemote.exe", "--slow-end"}, {"LumovaraRemote.exe", ""},
            {"LumovaraRemoteHelper.exe", ""}, {"lumovararemote.exe", ""}, {"LumovaraRemote.exe", "--hung"}};
        for (auto [name, mode] : copies) {
            const std::string folder = ScratchFolder() + "\\" + std::to_string(copies_.size());
            const std::string program = BuildPath(*mode ? "tests/prompting_app.exe" : "sample/StubbornApp.exe");
            if (fault == kCopies && CreateDirectoryA(folder.c_str(), nullptr) &&
                CopyFileA(program.c_str(), (folder + "\\" + name).c_str(), FALSE)) {
                copies_.emplace_back(folder + "\\" + name, mode);
                EXPECT_TRUE(WaitFor([&] { return ShowsWindow(copies_.back().id()); }));
            }
        }
        if (fault == kLegacy || fault == kLegacyUnquoted)
            AddLegacyEntries(fault == kLegacyUnquoted);
        return setup;
    }

    // Only lvtest-7 is a legacy installation with a usable command in the root
    // searched first, where another product's entry with a long name comes
    // before it.  Its quiet command runs as stored and deletes every file in our
    // folder and the Desktop link, all to be put back.  Unquoted, its program lies in a
    // folder with a blank in its name, in C:\ProgramData, where any user may
    // create the VEK.exe that the platform would try first.
    void AddLegacyEntries(bool unquoted)
    {
        const std::string recordRun = BuildPath("tests/record_run.exe");
        recorder_ = unquoted ? "C:\\ProgramData\\VEK Lumovara\\uninst.exe"
                             : ScratchFolder() + "\\legacy uninstaller.exe";
        const std::string other = "\"" + recorder_ + "\" /wrong";
        ASSERT_TRUE(!unquoted || (CreateDirectoryA("C:\\ProgramData\\VEK Lumovara", nullptr) &&
                                  CopyFileA(recordRun.c_str(), "C:\\ProgramData\\VEK.exe", FALSE)));
        ASSERT_TRUE(CopyFileA(recordRun.c_str(), recorder_.c_str(), FALSE));
        legacyCommand_ = (unquoted ? recorder_ : "\"" + recorder_ + "\"") + " /S %TEMP% --again --delete=" +
                         Installation().installDirectory + "\\*|" + Installation().userDesktopLink;
        // Versions as stored; the 32-byte one has no NUL, so cannot be read (REG_BINARY: Wine ends a
        // REG_SZ read with one).  Quiet: the quiet command, null for none.
        const char* const name = "VEK Lumovara Remote";
        const struct { const char *root, *name; std::string version; const char* quiet; } entries[] = {
            {kWow64Root, name, Sz("1.0"), nullptr}, {kUninstallRoot, name, Sz("10.1"), nullptr},
            {kUninstallRoot, name, Sz(" 1.0"), nullptr}, {kUninstallRoot, "vek lumovara remote", Sz("1.4.2"), nullptr},
            {kUninstallRoot, "VEK Lumovara Remote ", Sz("1.4.2"), nullptr}, {kUninstallRoot, name, Sz("1.0"), ""},
            {kUninstallRoot, name, "1.4" + std::string(29, '9'), nullptr},
            {kUninstallRoot, name, Sz("1.4.2"), legacyCommand_.c_str()}};
        WriteRegistryValue(kLongNamedEntry, "DisplayName", REG_SZ, Sz("Other"));
        for (const auto& entry : entries) {
            const std::string key = entry.root + std::string("\\lvtest-") + char('0' + (&entry - entries));
            WriteRegistryValue(key, "DisplayName", REG_SZ, Sz(entry.name));
            WriteRegistryValue(key, "DisplayVersion", entry.version.back() ? REG_BINARY : REG_SZ, entry.version);
            WriteRegistryValue(key, "UninstallString", REG_SZ, Sz(other));
            if (entry.quiet != nullptr)
                WriteRegistryValue(key, "QuietUninstallString", REG_SZ, Sz(entry.quiet));
        }
    }

    HANDLE held_ = INVALID_HANDLE_VALUE;
    std::vector<Process> copies_;
    RegistryValue programFiles_;
    std::string legacyCommand_, recorder_;
};

DWORD KiB(const std::string& path) { return Units(path, 1024); }

TEST_P(FailureRoads, Install)
{
    const Road& road = GetParam();
    const InstallationPaths& paths = Installation();
    const std::string program = Prepare(road.fault), vek = paths.programFiles + "\\VEK";
    if (program.empty())
        GTEST_SKIP() << "no small disk over " << vek << ": tests/harness/small-disk mounts one, as root";
    const bool startMenu = road.options & kStartMenu, desktop = road.options & kDesktop;
    const bool allUsers = road.options & kAllUsers, legacy = road.fault == kLegacy || road.fault == kLegacyUnquoted;
    RunningSetup setup = StartSetup(program);
    ASSERT_TRUE(setup.wizard && WalkToOptions(setup.wizard) && SetOption(setup.wizard, IDC_START_MENU, startMenu) &&
                SetOption(setup.wizard, IDC_DESKTOP, desktop) && SetOption(setup.wizard, IDC_ALL_USERS, allUsers));
    const MessageBoxInfo question = Install(setup);
    if (legacy) {
        EXPECT_EQ("An installation of Lumovara Remote 1.4x was found. Remove it now?", question.text);
        EXPECT_EQ(setup.wizard, GetWindow(question.window, GW_OWNER));
        ASSERT_TRUE(Answer(question, IDYES) && WaitFor([&] { return OnFinishPage(setup.wizard); }));
        EXPECT_EQ(legacyCommand_, ReadFileBytes(recorder_ + ".ran"));
        EXPECT_FALSE(FileExists("C:\\ProgramData\\VEK.exe.ran")) << "the program planted in C:\\ProgramData ran";
        EXPECT_TRUE(FileExists(recorder_ + ".copy.exe.ran")) << "Finish came before the uninstaller's copy ended";
        const auto machine = [](const char* name) {  // the system's own value, not the user's
            char value[4096] = {};
            const RegistryValue stored = ReadRegistryValue(kSystemEnvironment, name);
            ExpandEnvironmentStringsA(stored.bytes.c_str(), value, sizeof value);
            return std::string(value);
        };
        EXPECT_EQ(recorder_.substr(0, recorder_.rfind('\\')) + "\n" + machine("TEMP") + "\n" + machine("PATH"),
                  ReadFileBytes(recorder_ + ".where")) << "the legacy uninstaller's folder, TEMP and PATH";
    } else if (road.fault == kCopies) {  // the hung copy, ended on the person's word
        EXPECT_EQ(0u, question.text.find("VEK Lumovara Remote (process " + std::to_string(copies_[4].id()) + ")"))
            << question.text;
        ASSERT_TRUE(Answer(question, IDYES) && WaitFor([&] { return OnFinishPage(setup.wizard); }));
    } else if (road.fault == kLockedApplication) {  // the file in use, before anything is written: Cancel
        EXPECT_EQ(0u, question.text.find("VEK Lumovara Remote is in use:")) << question.text;
        ASSERT_TRUE(Answer(question, IDCANCEL) && WaitFor([&] { return OnFinishPage(setup.wizard); }));
    } else {
        ASSERT_EQ(nullptr, question.window) << question.text;
    }
    const char* status = road.result == kSucceeds ? "completed successfully." : "did fail!";
    EXPECT_EQ(std::string("The install operation ") + status, ControlText(setup.wizard, IDC_STATUS));
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(GetDlgItem(setup.wizard, IDC_PROGRESS), PBM_GETPOS, 0, 0) == 100; }));
    if (road.fault == kCopies) {  // only the hung copy is ended, as the person said, and each was waited for
        EXPECT_EQ(7, copies_[0].Wait(0)) << "the copy saving its state did not end by itself";
        EXPECT_EQ(1, copies_[4].Wait(0)) << "the hung copy was not terminated";
        for (int i = 1; i < 4; ++i)
            EXPECT_TRUE(copies_[i].Running()) << "copy " << i << ", which answered, ended with " << copies_[i].Wait(0);
    }

    const std::string sample = BuildPath("sample/LumovaraRemote");
    for (auto [path, content, payload] : {std::tuple{paths.application, road.application, sample + ".exe"},
                                          {paths.helpFile, road.helpFile, sample + ".chm"},
                                          {paths.uninstaller, road.uninstaller, program}}) {  // the program that ran
        EXPECT_EQ(content, Found(path, payload)) << path;
        EXPECT_FALSE(FileExists(path + ".new")) << path;
    }
    // Links and the registration come only after the application was written.
    const bool written = road.application == kPayload;
    for (auto [link, chosen] : {std::pair{paths.commonStartMenuLink, startMenu && allUsers},
                                {paths.userStartMenuLink, startMenu && !allUsers},
                                {paths.commonDesktopLink, desktop && allUsers},
                                {paths.userDesktopLink, desktop && !allUsers}})
        EXPECT_EQ(written && chosen, ReadShellLink(link).target == paths.application) << link;
    EXPECT_TRUE(startMenu || !(FileExists(paths.commonStartMenuFolder) || FileExists(paths.userStartMenuFolder)));
    // Only an Uninstall.exe in the install folder that is this very program is
    // registered to run, a kept one too (an earlier entry's command goes);
    // without one the icon is the application's.
    const bool inPlace = road.uninstaller == kPayload;
    const std::string icon = inPlace ? paths.uninstaller : paths.application;
    const DWORD size = KiB(paths.application) + KiB(paths.helpFile) + (inPlace ? KiB(paths.uninstaller) : 0);
    EXPECT_EQ(written && inPlace ? Sz("\"" + paths.uninstaller + "\"") : "", EntryValue("UninstallString").bytes);
    EXPECT_EQ(written ? Sz("\"" + icon + "\"") : "", EntryValue("DisplayIcon").bytes);
    EXPECT_EQ(written ? Dword(size) : "", EntryValue("EstimatedSize").bytes);
    EXPECT_FALSE(FileExists(kMissingFolder) || (road.fault == kNoProgramFiles && FileExists(vek)));

    // Finish with the Start box checked starts the application only when it was
    // written; the exit code tells a deployment tool what happened.
    const bool full = road.fault == kFullForApplication || road.fault == kFullForHelpFile ||
                      road.fault == kFullForUninstaller;
    ASSERT_EQ(road.result == kSucceeds ? 0 : full ? 112 : 1603, Finish(setup, true));
    EXPECT_EQ(written, !JobProcesses(true).empty());
}

INSTANTIATE_TEST_SUITE_P(Road, FailureRoads, testing::ValuesIn(kRoads),
                         [](const testing::TestParamInfo<Road>& road) { return std::string(road.param.name); });

}  // namespace
