// Start-up: which registered version counts as this one, the uninstaller's
// file name in any case, the question and where each answer leads, with a copy
// of the built program under the name each case needs; the wizard ended before
// installing by Cancel, a close request or the close box; the built-in manifest.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

enum Outcome { kWizard, kQuestionNoOpensWizard, kShortQuestionNoEnds, kQuestionYesUninstalls };

struct Start {
    const char* name;
    const char* fileName;
    DWORD type;  // of "DisplayVersion"; REG_NONE: not registered
    std::string version;
    Outcome outcome;
    int page;   // where the wizard is ended,
    UINT close; // by WM_COMMAND (Cancel), WM_CLOSE or WM_SYSCOMMAND (the close box)
};
void PrintTo(const Start& start, std::ostream* out) { *out << start.name; }

const std::string kThisVersion = Sz("2.0 release candidate 1");
const Start kStarts[] = {
    {"NothingRegistered", "LumovaraSetup.exe", REG_NONE, "", kWizard, 0, WM_COMMAND},
    {"OtherCase", "LumovaraSetup.exe", REG_SZ, Sz("2.0 Release Candidate 1"), kWizard, 1, WM_CLOSE},
    {"TrailingBlank", "LumovaraSetup.exe", REG_SZ, Sz("2.0 release candidate 1 "), kWizard, 2, WM_SYSCOMMAND},
    {"ThirtyTwoBytesWithoutNul", "LumovaraSetup.exe", REG_SZ, "2.0 release candidate 1zzzzzzzzz", kWizard, 1, WM_COMMAND},
    {"RightBytesOfAnotherType", "LumovaraSetup.exe", REG_BINARY, kThisVersion, kQuestionNoOpensWizard, 2, WM_COMMAND},
    {"YesUninstallsWithoutTheWizard", "LumovaraSetup.exe", REG_SZ, kThisVersion, kQuestionYesUninstalls},
    {"UninstallerNameInAnyCase", "uNINSTALL.EXE", REG_SZ, kThisVersion, kShortQuestionNoEnds},
    {"UninstallerWithoutRegistration", "Uninstall.exe", REG_NONE, "", kWizard, 0, WM_SYSCOMMAND},
};

class Startup : public testing::TestWithParam<Start> {
protected:
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
    const std::string question = "Do you want to uninstall VEK Lumovara Remote 2.0 release candidate 1 now?";
    if (start.outcome == kWizard) {
        ASSERT_NE(nullptr, setup.wizard) << "asked: " << setup.box.text;
    } else {
        EXPECT_EQ(start.outcome == kShortQuestionNoEnds ? question
                                                        : "VEK Lumovara Remote 2.0 release candidate 1 is already installed. " + question,
                  setup.box.text);
        EXPECT_EQ("VEK Lumovara Remote Setup", setup.box.title);
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
    EXPECT_EQ(0, setup.process.Wait()) << "not ended, or not with exit code 0";
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));  // the uninstall's script removes itself
}

INSTANTIATE_TEST_SUITE_P(Start, Startup, testing::ValuesIn(kStarts),
                         [](const testing::TestParamInfo<Start>& start) { return std::string(start.param.name); });

TEST(SetupProgram, ManifestLicenceAndIconAreBuiltIn)
{
    HMODULE image = LoadLibraryExA(BuildPath("LumovaraSetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    auto resource = [image](LPCSTR type, int id) {
        HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(id), type);
        return std::string(static_cast<const char*>(LockResource(LoadResource(image, found))), SizeofResource(image, found));
    };
    for (const char* part : {"level=\"requireAdministrator\"", "uiAccess=\"false\"", "Microsoft.Windows.Common-Controls",
                             "version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\"", ">True/PM</dpiAware>"})
        EXPECT_NE(std::string::npos, resource(RT_MANIFEST, 1).find(part)) << part;
    for (const char* part : {"{\\rtf1\\ansi", "{\\fonttbl", "{\\colortbl", "{\\stylesheet"})
        EXPECT_NE(std::string::npos, resource(RT_RCDATA, IDR_LICENCE).find(part)) << part;
    EXPECT_FALSE(resource(RT_GROUP_ICON, IDI_SETUP).empty());
    FreeLibrary(image);
}

}  // namespace
