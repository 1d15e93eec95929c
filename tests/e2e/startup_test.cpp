// Start-up: which version counts as installed, the uninstaller's file name, the
// question and what each answer leads to, all with the built program under Wine.
#include "tests/support/registry.h"
#include "tests/support/setup_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEK_LumovaraRemote";
// "DisplayVersion" as the installation writes it: the version and its NUL.
const std::string kThisVersion = std::string("2.0 release candidate 1") + '\0';
const std::string kTitle = "VEK Lumovara Remote Setup";
const std::string kSetupQuestion =
    "VEK Lumovara Remote 2.0 release candidate 1 is already installed. Do you want to uninstall "
    "VEK Lumovara Remote 2.0 release candidate 1 now?";
const std::string kUninstallerQuestion =
    "Do you want to uninstall VEK Lumovara Remote 2.0 release candidate 1 now?";

class Startup : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey)); }
    void TearDown() override
    {
        CloseSetup(setup_);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey);
    }

    void RegisterVersion(DWORD type, const std::string& bytes)
    {
        ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, kKey, "DisplayVersion", type, bytes));
    }

    // Starts the program and expects the wizard straight away; Cancel ends it with 0.
    void ExpectWizardDirectly(const std::string& copyName = "")
    {
        setup_ = StartSetup(copyName);
        ASSERT_TRUE(setup_.started());
        FirstWindow first = WaitForWizardOrMessageBox(setup_.id());
        ASSERT_EQ(nullptr, first.box.window) << "unexpected question: " << first.box.text;
        ASSERT_NE(nullptr, first.wizard);
        ExpectCancelEndsWithZero(first.wizard);
    }

    // Starts the program and expects the uninstall question with `text`.
    ui::MessageBoxInfo ExpectQuestion(const std::string& copyName, const std::string& text)
    {
        setup_ = StartSetup(copyName);
        EXPECT_TRUE(setup_.started());
        FirstWindow first = WaitForWizardOrMessageBox(setup_.id());
        EXPECT_EQ(nullptr, first.wizard) << "the wizard opened without a question";
        EXPECT_NE(nullptr, first.box.window);
        EXPECT_EQ(text, first.box.text);
        EXPECT_EQ(kTitle, first.box.title);
        return first.box;
    }

    // The setup program asks first; No opens the wizard, whose Cancel ends with 0.
    void ExpectQuestionThenWizardOnNo()
    {
        ui::MessageBoxInfo box = ExpectQuestion("", kSetupQuestion);
        ASSERT_NE(nullptr, box.window);
        ASSERT_TRUE(ui::Answer(box.window, IDNO));
        HWND wizard = WaitForWizard(setup_.id());
        ASSERT_NE(nullptr, wizard);
        ExpectCancelEndsWithZero(wizard);
    }

    void ExpectCancelEndsWithZero(HWND wizard)
    {
        ASSERT_TRUE(ui::Click(wizard, IDCANCEL));
        DWORD exitCode = 99;
        ASSERT_TRUE(setup_.WaitForExit(10000, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    // The program asks `question`; Yes runs the uninstall without the wizard.
    void ExpectQuestionThenUninstallOnYes(const std::string& copyName, const std::string& question)
    {
        ui::MessageBoxInfo box = ExpectQuestion(copyName, question);
        ASSERT_NE(nullptr, box.window);
        ASSERT_TRUE(ui::Answer(box.window, IDYES));
        ExpectUninstallAndExitZero();
    }

    // After Yes the uninstall runs; its closing message (if any) is answered.
    void ExpectUninstallAndExitZero()
    {
        DWORD exitCode = 99;
        bool ended = ui::WaitUntil([&] {
            if (setup_.WaitForExit(0, &exitCode))
                return true;
            ui::MessageBoxInfo box = ui::WaitForMessageBox(setup_.id(), 0);
            if (box.window != nullptr && box.text == "VEK Lumovara Remote has been uninstalled.")
                ui::Answer(box.window, IDOK);
            return false;
        });
        ASSERT_TRUE(ended);
        EXPECT_EQ(0u, exitCode);
        EXPECT_TRUE(ui::FindTopLevelWindows(setup_.id(), "#32770", nullptr).empty());
    }

    ui::Process setup_;
};

TEST_F(Startup, NoRegistrationOpensTheWizard)
{
    ExpectWizardDirectly();
}

TEST_F(Startup, KeyWithoutVersionOpensTheWizard)
{
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kKey, "DisplayName", "VEK Lumovara Remote"));
    ExpectWizardDirectly();
}

// Only the exact version string, whole, counts as this version.
TEST_F(Startup, AnyOtherVersionOpensTheWizard)
{
    const std::string others[] = {
        std::string("2.0 Release Candidate 1") + '\0',  // other case
        std::string("2.0 release candidate 1 ") + '\0', // trailing blank
        std::string("2.0 release candidate") + '\0',    // shorter
        std::string(31, '7') + '\0',                    // fills the buffer with its NUL
        std::string(32, '7') + '\0',                    // does not fit
        std::string("2.0 release candidate 1") + std::string(9, 'z'),  // 32 bytes, no NUL
    };
    for (const std::string& bytes : others) {
        SCOPED_TRACE(bytes);
        RegisterVersion(REG_SZ, bytes);
        ExpectWizardDirectly();
    }
}

TEST_F(Startup, AVersionOfAnotherTypeIsComparedByItsBytes)
{
    RegisterVersion(REG_DWORD, std::string("\x02\x00\x00\x00", 4));
    ExpectWizardDirectly();

    // The type is not looked at: the right bytes in a binary value count.
    RegisterVersion(REG_BINARY, kThisVersion);
    ExpectQuestionThenWizardOnNo();
}

TEST_F(Startup, NoInTheSetupProgramOpensTheWizard)
{
    RegisterVersion(REG_SZ, kThisVersion);
    ExpectQuestionThenWizardOnNo();
}

TEST_F(Startup, YesInTheSetupProgramUninstallsWithoutTheWizard)
{
    RegisterVersion(REG_SZ, kThisVersion);
    ExpectQuestionThenUninstallOnYes("", kSetupQuestion);
}

TEST_F(Startup, TheUninstallerNameInAnyCaseAsksTheShortQuestion)
{
    RegisterVersion(REG_SZ, kThisVersion);
    for (const char* name : {"Uninstall.exe", "UNINSTALL.EXE", "uninstall.Exe"}) {
        SCOPED_TRACE(name);
        ui::MessageBoxInfo box = ExpectQuestion(name, kUninstallerQuestion);
        ASSERT_NE(nullptr, box.window);
        // No in the uninstaller ends the program: no wizard, exit code 0.
        ASSERT_TRUE(ui::Answer(box.window, IDNO));
        DWORD exitCode = 99;
        ASSERT_TRUE(setup_.WaitForExit(10000, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }
}

TEST_F(Startup, YesInTheUninstallerUninstalls)
{
    RegisterVersion(REG_SZ, kThisVersion);
    ExpectQuestionThenUninstallOnYes("Uninstall.exe", kUninstallerQuestion);
}

TEST_F(Startup, TheUninstallerWithoutRegistrationOpensTheWizard)
{
    ExpectWizardDirectly("Uninstall.exe");
}

}  // namespace
