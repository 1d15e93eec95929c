// Interactive-user folders: the ordinary road against Wine's own folders, and the
// LocalSystem road, which Wine cannot run us on, through the account facts.
#include "shell/user_folders.h"

#include <shlobj.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr int kUnknownCsidl = 0xFF;

std::string OwnFolder(int csidl)
{
    char path[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE));
    return path;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A buffer with no NUL in it, so that any write shows.
struct Untouched {
    char bytes[260];
    Untouched() { std::fill(std::begin(bytes), std::end(bytes), 'x'); }
    bool intact() const
    {
        return std::all_of(std::begin(bytes), std::end(bytes), [](char c) { return c == 'x'; });
    }
};

TEST(OrdinaryAccount, IsNotLocalSystemUnderWine)
{
    EXPECT_FALSE(RunsAsLocalSystem());
}

TEST(OrdinaryAccount, GivesTheAccountsOwnFolders)
{
    char programs[260];
    ASSERT_TRUE(ResolveInteractiveUserFolder(CSIDL_PROGRAMS, programs));
    EXPECT_EQ(OwnFolder(CSIDL_PROGRAMS), programs);
    EXPECT_EQ(0, _strnicmp(programs, "C:\\users\\", 9)) << programs;
    EXPECT_TRUE(EndsWith(programs, "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"))
        << programs;

    char desktop[260];
    ASSERT_TRUE(ResolveInteractiveUserFolder(CSIDL_DESKTOPDIRECTORY, desktop));
    EXPECT_EQ(OwnFolder(CSIDL_DESKTOPDIRECTORY), desktop);
    EXPECT_TRUE(EndsWith(desktop, "\\Desktop")) << desktop;
}

TEST(OrdinaryAccount, UnknownFolderGivesFalseAndLeavesTheBufferAlone)
{
    Untouched folder;
    EXPECT_FALSE(ResolveInteractiveUserFolder(kUnknownCsidl, folder.bytes));
    EXPECT_TRUE(folder.intact());
}

// The LocalSystem road with the console facts under the test's control.
class LocalSystemRoad : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = accountFacts;
        accountFacts.runsAsLocalSystem = [] { return true; };
        tokenRequests = 0;
        requestedSession = 0;
        handedOutToken = nullptr;
    }
    void TearDown() override { accountFacts = saved_; }

    // Wine's own console user token, remembered so the test can see it closed.
    static BOOL WINAPI RealTokenRecorded(ULONG sessionId, HANDLE* token)
    {
        ++tokenRequests;
        requestedSession = sessionId;
        BOOL ok = WTSQueryUserToken(WTSGetActiveConsoleSessionId(), token);
        handedOutToken = ok ? *token : nullptr;
        return ok;
    }

    static bool Closed(HANDLE handle)
    {
        DWORD flags = 0;
        return !GetHandleInformation(handle, &flags);
    }

    static int tokenRequests;
    static ULONG requestedSession;
    static HANDLE handedOutToken;

private:
    AccountFacts saved_{};
};

int LocalSystemRoad::tokenRequests = 0;
ULONG LocalSystemRoad::requestedSession = 0;
HANDLE LocalSystemRoad::handedOutToken = nullptr;

TEST_F(LocalSystemRoad, NoConsoleSessionGivesFalseWithoutAskingForAToken)
{
    accountFacts.activeConsoleSessionId = []() -> DWORD { return 0xFFFFFFFF; };
    accountFacts.queryUserToken = RealTokenRecorded;
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY}) {
        Untouched folder;
        EXPECT_FALSE(ResolveInteractiveUserFolder(csidl, folder.bytes));
        EXPECT_TRUE(folder.intact());
    }
    EXPECT_EQ(0, tokenRequests);
}

TEST_F(LocalSystemRoad, NobodyLoggedOnGivesFalseAndNoFallbackToOwnFolder)
{
    accountFacts.activeConsoleSessionId = []() -> DWORD { return 3; };
    accountFacts.queryUserToken = [](ULONG sessionId, HANDLE*) -> BOOL {
        ++tokenRequests;
        requestedSession = sessionId;
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    };
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY}) {
        Untouched folder;
        EXPECT_FALSE(ResolveInteractiveUserFolder(csidl, folder.bytes));
        EXPECT_TRUE(folder.intact());
    }
    EXPECT_EQ(2, tokenRequests);
    EXPECT_EQ(3u, requestedSession);
}

TEST_F(LocalSystemRoad, ConsoleUserFolderComesThroughTheUsersTokenWhichIsClosed)
{
    // Wine's console session and user token are real: the console user is us.
    accountFacts.activeConsoleSessionId = []() -> DWORD { return 7; };
    accountFacts.queryUserToken = RealTokenRecorded;
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY}) {
        char folder[260];
        std::fill(std::begin(folder), std::end(folder), 'x');
        ASSERT_TRUE(ResolveInteractiveUserFolder(csidl, folder));
        EXPECT_EQ(OwnFolder(csidl), folder);
        ASSERT_NE(nullptr, handedOutToken);
        EXPECT_TRUE(Closed(handedOutToken));
    }
    EXPECT_EQ(7u, requestedSession);
}

TEST_F(LocalSystemRoad, FailedLookupGivesFalseAndStillClosesTheToken)
{
    accountFacts.queryUserToken = RealTokenRecorded;
    Untouched folder;
    EXPECT_FALSE(ResolveInteractiveUserFolder(kUnknownCsidl, folder.bytes));
    EXPECT_TRUE(folder.intact());
    ASSERT_EQ(1, tokenRequests);
    ASSERT_NE(nullptr, handedOutToken);
    EXPECT_TRUE(Closed(handedOutToken));
}

// The conversion to the ANSI code page.  Wine's code page is single-byte, so a
// folder path can outgrow 260 bytes only in a multi-byte one: UTF-8 stands in.
TEST(FolderPathConversion, FitsUpTo259BytesAndOtherwiseLeavesTheBufferAlone)
{
    std::wstring fits = L"a" + std::wstring(86, L'\x4E2D');  // 1 + 86 * 3 = 259 bytes
    char folder[260];
    ASSERT_TRUE(ConvertFolderPath(fits.c_str(), CP_UTF8, folder));
    EXPECT_EQ(259u, std::strlen(folder));

    std::wstring tooLong = L"ab" + std::wstring(86, L'\x4E2D');  // 260 bytes, no room for NUL
    Untouched untouched;
    EXPECT_FALSE(ConvertFolderPath(tooLong.c_str(), CP_UTF8, untouched.bytes));
    EXPECT_TRUE(untouched.intact());
}

TEST(FolderPathConversion, MissingCharactersBecomeTheDefaultCharacter)
{
    char folder[260];
    ASSERT_TRUE(ConvertFolderPath(L"C:\\users\\\x4E2D\\Desktop", 1252, folder));
    EXPECT_STREQ("C:\\users\\?\\Desktop", folder);
}

}  // namespace
