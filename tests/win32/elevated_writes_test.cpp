// What the elevated program writes where a user could interfere: the
// self-delete script, which only SYSTEM and administrators may change, and the
// console user's own folders, which as LocalSystem it changes only with that
// user's rights (the account facts stand in for LocalSystem).
#include "app/application_path.h"
#include "maintenance/self_delete_script.h"
#include "maintenance/uninstall.h"
#include "shell/shortcuts.h"
#include "shell/user_folders.h"
#include "tests/support/installation.h"
#include "tests/support/message_box_answerer.h"
#include "tests/support/test_paths.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

namespace {

TEST(ElevatedWrites, SelfDeleteScriptIsWritableOnlyBySystemAndAdministrators)
{
    const std::string folder = MakeScratchFolder("script rights");
    const std::string script = folder + "\\lvremote_uninstall_1.bat";
    ASSERT_TRUE(WriteSelfDeleteScript(script.c_str(), "C:\\VEK\\Uninstall.exe"));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(DWORD(ERROR_SUCCESS),
              GetNamedSecurityInfoA(script.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, nullptr, nullptr, &descriptor));
    char* text = nullptr;
    EXPECT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ("D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)", text);
    LocalFree(text);
    LocalFree(descriptor);
    RemoveTree(folder);
}

// A console user token that cannot be impersonated keeps the program out of
// that user's folders; the real one makes and removes the shortcuts and leaves
// the thread with its own token.
TEST(ElevatedWrites, ConsoleUserFoldersAreChangedOnlyAsThatUser)
{
    RemoveInstallationTraces();
    const InstallationPaths paths = Installation();
    RememberApplicationPath("C:\\VEK\\LumovaraRemote.exe");
    const AccountFacts real = accountFacts;
    auto queryOnly = [](ULONG, HANDLE* token) -> BOOL {
        return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token);
    };
    accountFacts.runsAsLocalSystem = [] { return true; };
    accountFacts.queryUserToken = queryOnly;
    CreateShortcuts(true, true, false);
    EXPECT_FALSE(FileExists(paths.userStartMenuFolder));
    EXPECT_FALSE(FileExists(paths.userDesktopLink));

    accountFacts.queryUserToken = real.queryUserToken;
    CreateShortcuts(true, true, false);
    EXPECT_TRUE(FileExists(paths.userStartMenuLink));
    EXPECT_TRUE(FileExists(paths.userDesktopLink));
    accountFacts.queryUserToken = queryOnly;
    {
        MessageBoxAnswerer answerer(IDOK);
        UninstallProduct();
    }
    EXPECT_TRUE(FileExists(paths.userStartMenuLink));
    EXPECT_TRUE(FileExists(paths.userDesktopLink));
    HANDLE threadToken = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &threadToken));
    accountFacts = real;
    RemoveInstallationTraces();
}

}  // namespace
