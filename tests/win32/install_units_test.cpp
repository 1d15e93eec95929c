// The installation as a value, driven as an unattended run on the LocalSystem
// road with nobody at the console, which Wine cannot give a process: the
// account facts come through the seam.
#include "install/install_product.h"
#include "install/running_file.h"
#include "shell/user_folders.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

namespace {

TEST(LocalSystem, UnattendedInstallWithNobodyAtTheConsoleMakesTheCommonShortcuts)
{
    RemoveInstallation();
    HoldRunningFile();  // the uninstaller's copy is made from this program
    const InstallationPaths& paths = Installation();
    const AccountFacts saved = accountFacts;
    accountFacts.runsAsLocalSystem = [] { return true; };
    accountFacts.activeConsoleSessionId = [] { return DWORD(0xFFFFFFFF); };
    InstallOptions options;
    options.unattended = true;
    const InstallOutcome outcome = InstallProduct(options, InstallProgress());
    accountFacts = saved;
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(StepState::kDone, outcome.startMenuShortcut.state);
    EXPECT_EQ(StepState::kDone, outcome.desktopShortcut.state);
    EXPECT_EQ(paths.application, ReadShellLink(paths.commonStartMenuLink).target);
    EXPECT_EQ(paths.application, ReadShellLink(paths.commonDesktopLink).target);
    EXPECT_FALSE(FileExists(paths.userStartMenuLink) || FileExists(paths.userDesktopLink));
    RemoveInstallation();
}

}  // namespace
