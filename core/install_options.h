// The choices of an installation, as the options page or a command line gives them.
#pragma once

// By default all of them, as the options page starts.
struct InstallOptions {
    bool startMenu = true;  // a Start Menu shortcut
    bool desktop = true;    // a Desktop shortcut
    bool allUsers = true;   // both in the common folders, otherwise the interactive user's
    // Nobody is there to answer: running copies are never ended, and files in
    // use are put in place when the machine next starts.
    bool unattended = false;
};
