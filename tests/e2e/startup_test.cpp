// Start-up: which registered version counts as this one, the uninstaller's
// file name in any case, the question and where each answer leads, with the
// built program (or a copy of it under another name) started as a user would.
#include "tests/support/support.h"

#include <gtest/gtest.h>

namespace {

const std::string kThisVersion = Sz("2.0 release candidate 1");
const char kFullName[] = "VEK Lumovara Remote 2.0 release candidate 1";

enum class Outcome {
    kWizard,               // no question: the wizard opens
    kQuestionNoWizard,     // "... is already installed ...", No opens the wizard
    kShortQuestionNoEnds,  // "Do you want to uninstall ...", No ends the program
    kQuestionYesUninstalls,
};

struct Start {
    const char* name;
    const char* fileName;  // of the program started
    DWORD type;            // of "DisplayVersion"; REG_NONE: not registered
    std::string version;
    Outcome outcome;
};

const Start kStarts[] = {
    {"NothingRegistered", "LumovaraSetup.exe", REG_NONE, "", Outcome::kWizard},
    {"OtherCase", "LumovaraSetup.exe", REG_SZ, Sz("2.0 Release Candidate 1"), Outcome::kWizard},
    {"TrailingBlank", "LumovaraSetup.exe", REG_SZ, Sz("2.0 release candidate 1 "), Outcome::kWizard},
    {"ThirtyTwoBytesWithoutNul", "LumovaraSetup.exe", REG_SZ, "2.0 release candidate 1zzzzzzzzz", Outcome::kWizard},
    {"RightBytesOfAnotherType", "LumovaraSetup.exe", REG_BINARY, kThisVersion, Outcome::kQuestionNoWizard},
    {"YesUninstallsWithoutTheWizard", "LumovaraSetup.exe", REG_SZ, kThisVersion, Outcome::kQuestionYesUninstalls},
    {"UninstallerNameInAnyCase", "uNINSTALL.EXE", REG_SZ, kThisVersion, Outcome::kShortQuestionNoEnds},
    {"UninstallerWithoutRegistration", "Uninstall.exe", REG_NONE, "", Outcome::kWizard},
};

class Startup : public testing::TestWithParam<Start> {
protected:
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override { RemoveInstallation(); }
};

TEST_P(Startup, FirstWindowAndAnswers)
{
    const Start& start = GetParam();
    if (start.type != REG_NONE) {
        ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion", start.type, start.version));
    }
    const std::string program = ScratchFolder() + "\\" + start.fileName;
    ASSERT_TRUE(CopyFileA(BuildPath("LumovaraSetup.exe").c_str(), program.c_str(), FALSE));

    RunningSetup setup = StartSetup(program);
    if (start.outcome == Outcome::kWizard) {
        ASSERT_NE(nullptr, setup.wizard) << "asked: " << setup.box.text;
    } else {
        ASSERT_NE(nullptr, setup.box.window) << "no question";
        const std::string shortQuestion = std::string("Do you want to uninstall ") + kFullName + " now?";
        EXPECT_EQ(start.outcome == Outcome::kShortQuestionNoEnds
                      ? shortQuestion
                      : std::string(kFullName) + " is already installed. " + shortQuestion,
                  setup.box.text);
        EXPECT_EQ("VEK Lumovara Remote Setup", setup.box.title);
        ASSERT_TRUE(Answer(setup.box, start.outcome == Outcome::kQuestionYesUninstalls ? IDYES : IDNO));
    }
    switch (start.outcome) {
    case Outcome::kWizard:
    case Outcome::kQuestionNoWizard:
        ASSERT_NE(nullptr, setup.wizard = WaitForWizard(setup.process.id()));
        ASSERT_TRUE(Click(setup.wizard, IDCANCEL));
        break;
    case Outcome::kShortQuestionNoEnds:
        break;
    case Outcome::kQuestionYesUninstalls: {
        MessageBoxInfo done;
        ASSERT_TRUE(WaitFor([&] { return (done = FindMessageBox(setup.process.id())).text ==
                                         "VEK Lumovara Remote has been uninstalled."; }));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        ASSERT_TRUE(Answer(done, IDOK));
        break;
    }
    }
    EXPECT_EQ(0, setup.process.Wait());
    EXPECT_TRUE(VisibleWindows(setup.process.id(), nullptr).empty());
    // The uninstall's script removes itself; its command processor then ends.
    EXPECT_TRUE(WaitFor([] { return JobProcesses().empty(); }));
}

INSTANTIATE_TEST_SUITE_P(Start, Startup, testing::ValuesIn(kStarts),
                         [](const testing::TestParamInfo<Start>& start) { return std::string(start.param.name); });

}  // namespace
