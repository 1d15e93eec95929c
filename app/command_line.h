// The setup program's command line, for deployment tools and the package manager.
//
// Switches begin with "/" or "-" and are read without regard to case:
//   /S, /quiet      nothing shown: no wizard, no question, no message
//   /passive        the progress page only; no questions; it closes itself
//   /nostartmenu, /nodesktop, /currentuser   the options page's boxes unchecked
//   /log <file>, /log=<file>                  a UTF-8 text log, appended to
//   /norestart      accepted: the program never restarts the machine
//   /uninstall      remove the installed product
//   /?              the switches and exit codes
// An argument is split as the platform's C runtime splits it: blanks outside
// quotes separate, a quote pair keeps blanks, backslashes before a quote escape.
//
// Portable: no platform headers, so the host build tests it.
#pragma once

#include "core/bounded_text.h"
#include "core/install_options.h"

enum class SetupMode { kInteractive, kPassive, kQuiet };

struct CommandLine {
    SetupMode mode = SetupMode::kInteractive;
    InstallOptions options;
    bool uninstall = false;
    bool help = false;
    char logPath[kPathCapacity] = {};  // empty: no log
};

// Reads `text` (the arguments after the program's name) into *parsed.  False
// for a command line the program does not take: an unknown switch, a bare
// argument, a /log without a file or with a path too long, two logs or two
// modes that disagree.  Every argument is read even after a bad one, so that
// *parsed tells whether to stay quiet about it.
bool ParseCommandLine(const char* text, CommandLine* parsed);
