#include "shell/shortcuts.h"

void CreateShortcuts(bool, bool, bool)
{
}

bool CreateShellLink(const char*)
{
    return false;
}
