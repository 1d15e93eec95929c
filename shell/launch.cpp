#include "shell/launch.h"

void LaunchInstalledApplication()
{
}
