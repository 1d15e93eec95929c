// Copies of the application in the way of an upgrade, as a table of roads
// driven as a person would.  Each copy runs from the installed path over an
// older installation, so the upgrade depends on what becomes of it.  One saves
// its document inside its close handler for 8 s, and the system calls it hung
// after 5 s: our question about it closes itself once it has saved, nobody
// answering, and the document is whole.  One hides its window on the close
// request and runs on, as in the notification area: asked as the end of the
// session asks, it ends by itself.  One declines, and the wizard asks about its
// file in use: the person closes it and tries again, or cancels, and the old
// installation stays byte for byte.
#include "resources/resource.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <ostream>
#include <tuple>

namespace {

enum Question { kNone, kNotResponding, kInUse };

struct CopyRoad {
    const char *name, *program, *arguments;  // the copy's program and switches
    Question question;                       // the question of ours that shows
    int answer;                              // the person's; 0: nobody answers
    bool upgraded;
    long exitCode;  // the copy's, once the setup is done; -1: it runs on, or the test ended it
};
void PrintTo(const CopyRoad& road, std::ostream* out) { *out << road.name; }

const CopyRoad kCopyRoads[] = {
    {"BusySaving", "tests/prompting_app.exe", "--busy-save 16", kNotResponding, 0, true, 0},
    {"HidesOnClose", "tests/prompting_app.exe", "--hide-on-close", kNone, 0, true, 5},
    // The person closes it (the test ends it) before Retry.
    {"DeclinedThenRetry", "sample/StubbornApp.exe", "", kInUse, IDRETRY, true, -1},
    {"DeclinedThenCancel", "sample/StubbornApp.exe", "", kInUse, IDCANCEL, false, -1},
};

class CopyInTheWay : public testing::TestWithParam<CopyRoad> {
protected:
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override
    {
        copy_.End();
        RemoveInstallation();
    }
    Process copy_;
};

TEST_P(CopyInTheWay, Upgrade)
{
    const CopyRoad& road = GetParam();
    const InstallationPaths& paths = Installation();
    ASSERT_TRUE(SHCreateDirectoryExA(nullptr, paths.installDirectory.c_str(), nullptr) == ERROR_SUCCESS &&
                CopyFileA(BuildPath(road.program).c_str(), paths.application.c_str(), FALSE) &&
                WriteFileBytes(paths.helpFile, "old") && WriteFileBytes(paths.uninstaller, "old"));
    const std::string running = ReadFileBytes(paths.application);
    copy_ = Process(paths.application, road.arguments);
    ASSERT_TRUE(WaitFor([&] { return ShowsWindow(copy_.id()); }));
    RunningSetup setup = StartSetup();
    ASSERT_TRUE(setup.wizard && WalkToOptions(setup.wizard));
    const MessageBoxInfo question = Install(setup);
    EXPECT_EQ(road.question != kNone, question.window != nullptr) << question.text;
    if (road.question == kNotResponding) {
        EXPECT_EQ(0u, question.text.find("VEK Lumovara Remote (process " + std::to_string(copy_.id()) +
                                         ") is not responding.")) << question.text;
        EXPECT_TRUE(WaitFor([&] { return OnFinishPage(setup.wizard); }));
        std::string whole;
        for (int part = 1; part <= 16; ++part)
            whole += "part " + std::to_string(part) + "\r\n";
        EXPECT_EQ(whole, ReadFileBytes(paths.installDirectory + "\\document.txt"));
    }
    if (road.question == kInUse) {
        EXPECT_EQ("VEK Lumovara Remote is in use: a copy of it still runs, perhaps for another user, or another "
                  "program holds its file open. Close Lumovara Remote, then choose Retry. Cancel ends the setup and "
                  "changes nothing.", question.text);
        EXPECT_EQ(setup.wizard, GetWindow(question.window, GW_OWNER));
        if (road.answer == IDRETRY)
            copy_.End();
        ASSERT_TRUE(Answer(question, road.answer) && WaitFor([&] { return OnFinishPage(setup.wizard); }));
    }
    EXPECT_EQ(nullptr, FindMessageBox(setup.process.id()).window) << "a question was left open";
    EXPECT_EQ(road.upgraded ? "The install operation completed successfully." : "The install operation did fail!",
              ControlText(setup.wizard, IDC_STATUS));
    EXPECT_EQ(road.exitCode, copy_.Wait(0));
    for (auto [path, payload, before] : {std::tuple{paths.application, "sample/LumovaraRemote.exe", running},
                                         {paths.helpFile, "sample/LumovaraRemote.chm", "old"},
                                         {paths.uninstaller, "LumovaraSetup.exe", "old"}})
        EXPECT_TRUE(ReadFileBytes(path) == (road.upgraded ? ReadFileBytes(BuildPath(payload)) : before) &&
                    !FileExists(path + ".new")) << path;
    EXPECT_EQ(road.upgraded, RegistryKeyExists(kUninstallKey));
    EXPECT_EQ(road.upgraded, FileExists(paths.commonDesktopLink));
    EXPECT_EQ(road.upgraded ? 0 : 1603, Finish(setup, false));
}

INSTANTIATE_TEST_SUITE_P(Copy, CopyInTheWay, testing::ValuesIn(kCopyRoads),
                         [](const testing::TestParamInfo<CopyRoad>& road) { return std::string(road.param.name); });

}  // namespace
