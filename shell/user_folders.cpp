#include "shell/user_folders.h"

bool ResolveInteractiveUserFolder(int, char*)
{
    return false;
}
