// The setup program's command line, read as a deployment tool writes it.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
    const char* text;
    bool valid;
    SetupMode mode;
    const char* options;  // the boxes left checked: 's'tart menu, 'd'esktop, 'a'll users
    bool uninstall;
    bool help;
    const char* logPath;
};

std::string Boxes(const InstallOptions& options)
{
    return std::string(options.startMenu ? "s" : "") + (options.desktop ? "d" : "") + (options.allUsers ? "a" : "");
}

constexpr SetupMode kShown = SetupMode::kInteractive;
constexpr SetupMode kPassive = SetupMode::kPassive;
constexpr SetupMode kQuiet = SetupMode::kQuiet;

const Row kRows[] = {
    {.text = "", .valid = true, .mode = kShown, .options = "sda", .uninstall = false, .help = false, .logPath = ""},
    {.text = "  /S  ", .valid = true, .mode = kQuiet, .options = "sda", .uninstall = false, .help = false, .logPath = ""},
    {.text = "-QUIET /nodesktop", .valid = true, .mode = kQuiet, .options = "sa", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/passive /NoStartMenu /currentUSER /norestart", .valid = true, .mode = kPassive, .options = "d",
     .uninstall = false, .help = false, .logPath = ""},
    {.text = "/s /S -quiet", .valid = true, .mode = kQuiet, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},  // the same switch twice
    {.text = "/uninstall /s", .valid = true, .mode = kQuiet, .options = "sda", .uninstall = true, .help = false,
     .logPath = ""},
    {.text = "/?", .valid = true, .mode = kShown, .options = "sda", .uninstall = false, .help = true, .logPath = ""},
    {.text = "/log \"C:\\Program Files\\my logs\\setup.log\" /S", .valid = true, .mode = kQuiet, .options = "sda",
     .uninstall = false, .help = false, .logPath = "C:\\Program Files\\my logs\\setup.log"},
    {.text = "/LOG=\"C:\\a b\\c.log\"", .valid = true, .mode = kShown, .options = "sda", .uninstall = false,
     .help = false, .logPath = "C:\\a b\\c.log"},
    {.text = "/log=x.log /log x.log", .valid = true, .mode = kShown, .options = "sda", .uninstall = false,
     .help = false, .logPath = "x.log"},  // the same log twice
    {.text = "/log \"C:\\trailing\\\\\" /S", .valid = true, .mode = kQuiet, .options = "sda", .uninstall = false,
     .help = false, .logPath = "C:\\trailing\\"},  // backslashes before a closing quote
    {.text = "/log \"say \\\"hi\\\".log\"", .valid = true, .mode = kShown, .options = "sda", .uninstall = false,
     .help = false, .logPath = "say \"hi\".log"},
    // Refused: each still tells whether to stay quiet about it.
    {.text = "/S /unknown", .valid = false, .mode = kQuiet, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/silent", .valid = false, .mode = kShown, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "install", .valid = false, .mode = kShown, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/log", .valid = false, .mode = kShown, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/log /S", .valid = false, .mode = kQuiet, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},  // a switch is not a file
    {.text = "/log= /S", .valid = false, .mode = kQuiet, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/log a.log /log b.log", .valid = false, .mode = kShown, .options = "sda", .uninstall = false,
     .help = false, .logPath = "a.log"},
    {.text = "/passive /S", .valid = false, .mode = kQuiet, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/S/nodesktop", .valid = false, .mode = kShown, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
    {.text = "/ S", .valid = false, .mode = kShown, .options = "sda", .uninstall = false, .help = false,
     .logPath = ""},
};

TEST(CommandLine, SwitchesAsDeploymentToolsWriteThem)
{
    for (const Row& row : kRows) {
        CommandLine parsed;
        EXPECT_EQ(row.valid, ParseCommandLine(row.text, &parsed)) << row.text;
        EXPECT_EQ(row.mode, parsed.mode) << row.text;
        EXPECT_EQ(row.options, Boxes(parsed.options)) << row.text;
        EXPECT_EQ(row.uninstall, parsed.uninstall) << row.text;
        EXPECT_EQ(row.help, parsed.help) << row.text;
        EXPECT_STREQ(row.logPath, parsed.logPath) << row.text;
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
    EXPECT_FALSE(ParseCommandLine(("/S /log=" + longest + "x").c_str(), &parsed));
    EXPECT_STREQ("", parsed.logPath);
    EXPECT_EQ(SetupMode::kQuiet, parsed.mode);
    EXPECT_FALSE(ParseCommandLine(("/log \"" + longest + "x\"").c_str(), &parsed));
    EXPECT_STREQ("", parsed.logPath);
    EXPECT_FALSE(ParseCommandLine(("/" + std::string(4000, 'S')).c_str(), &parsed));
}

}  // namespace
