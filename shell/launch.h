// Starting the installed application with the desktop user's rights.
#pragma once

// Starts the program at the remembered application path; does not wait for it.
void LaunchInstalledApplication();
