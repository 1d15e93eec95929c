#include "maintenance/legacy.h"

bool FindLegacyInstallation(char* command)
{
    command[0] = '\0';
    return false;
}

void OfferLegacyRemoval(HWND)
{
}
