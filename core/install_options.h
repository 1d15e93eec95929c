// The choices of an installation, as the options page or a command line gives them.
#pragma once

// By default all of them, as the options page starts.
struct InstallOptions {
    bool startMenu = true;  // a Start Menu shortcut
    bool desktop = true;    // a Desktop shortcut
    bool allUsers = true;   // both in the common folders, otherwise the interactive user's
};
