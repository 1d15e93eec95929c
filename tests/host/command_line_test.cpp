// The setup program's command line, read as a deployment tool writes it.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What the program makes of a command line, in words: the mode, the boxes left
// checked (start menu, desktop, all users), then uninstall, help and the log.
std::string Described(const CommandLine& parsed)
{
    const char* modes[] = {"shown", "passive", "quiet"};
    std::string text = modes[int(parsed.mode)];
    text += parsed.options.startMenu ? " startmenu" : "";
    text += parsed.options.desktop ? " desktop" : "";
    text += parsed.options.allUsers ? " allusers" : "";
    text += parsed.uninstall ? " uninstall" : "";
    text += parsed.help ? " help" : "";
    return parsed.logPath[0] != '\0' ? text + " log=" + parsed.logPath : text;
}

struct Row {
    const char* text;
    bool valid;
    const char* described;
};

const Row kRows[] = {
    {.text = "", .valid = true, .described = "shown startmenu desktop allusers"},
    {.text = "  /S  ", .valid = true, .described = "quiet startmenu desktop allusers"},
    {.text = "-QUIET /nodesktop", .valid = true, .described = "quiet startmenu allusers"},
    {.text = "/passive /NoStartMenu /currentUSER /norestart", .valid = true, .described = "passive desktop"},
    {.text = "/s /S -quiet", .valid = true, .described = "quiet startmenu desktop allusers"},
    {.text = "/uninstall /s", .valid = true, .described = "quiet startmenu desktop allusers uninstall"},
    {.text = "/?", .valid = true, .described = "shown startmenu desktop allusers help"},
    {.text = "/log \"C:\\Program Files\\my logs\\a.log\" /S", .valid = true,
     .described = "quiet startmenu desktop allusers log=C:\\Program Files\\my logs\\a.log"},
    {.text = "/LOG=\"C:\\a b\\c.log\"", .valid = true,
     .described = "shown startmenu desktop allusers log=C:\\a b\\c.log"},
    {.text = "/log=x.log /log x.log", .valid = true, .described = "shown startmenu desktop allusers log=x.log"},
    // Backslashes before a closing quote, and quotes inside one.
    {.text = "/log \"C:\\end\\\\\" /S", .valid = true, .described = "quiet startmenu desktop allusers log=C:\\end\\"},
    {.text = "/log \"say \\\"hi\\\".log\"", .valid = true,
     .described = "shown startmenu desktop allusers log=say \"hi\".log"},
    // Refused: each still tells whether to stay quiet about it.
    {.text = "/S /unknown", .valid = false, .described = "quiet startmenu desktop allusers"},
    {.text = "/silent", .valid = false, .described = "shown startmenu desktop allusers"},
    {.text = "install", .valid = false, .described = "shown startmenu desktop allusers"},
    {.text = "/log", .valid = false, .described = "shown startmenu desktop allusers"},
    {.text = "/log /S", .valid = false, .described = "quiet startmenu desktop allusers"},  // a switch is no file
    {.text = "/log= /S", .valid = false, .described = "quiet startmenu desktop allusers"},
    {.text = "/log a.log /log b.log", .valid = false, .described = "shown startmenu desktop allusers log=a.log"},
    {.text = "/passive /S", .valid = false, .described = "quiet startmenu desktop allusers"},
    {.text = "/S/nodesktop", .valid = false, .described = "shown startmenu desktop allusers"},
    {.text = "/ S", .valid = false, .described = "shown startmenu desktop allusers"},
};

TEST(CommandLine, SwitchesAsDeploymentToolsWriteThem)
{
    for (const Row& row : kRows) {
        CommandLine parsed;
        EXPECT_EQ(row.valid, ParseCommandLine(row.text, &parsed)) << row.text;
        EXPECT_EQ(row.described, Described(parsed)) << row.text;
    }
}

// A log path as long as a path may be is taken; one byte more is refused,
// never cut to another file's name.
TEST(CommandLine, ALogPathWholeOrRefused)
{
    CommandLine parsed;
    const std::string longest(kPathCapacity - 1, 'x');
    EXPECT_TRUE(ParseCommandLine(("/log " + longest).c_str(), &parsed));
    EXPECT_EQ(longest, parsed.logPath);
    const std::string tooLong = longest + "x";
    for (const std::string& text : {"/S /log=" + tooLong, "/S /log \"" + tooLong + "\"", "/S /" + longest + tooLong})
        EXPECT_TRUE(!ParseCommandLine(text.c_str(), &parsed) && parsed.logPath[0] == '\0' &&
                    parsed.mode == SetupMode::kQuiet) << text;
}

}  // namespace
