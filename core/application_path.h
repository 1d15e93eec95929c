// The remembered application path: the one path several procedures share.
//
// Empty until the installation has written the application executable in full;
// then the executable's path for the rest of the run.  Nothing empties it again.
#pragma once

// The remembered path, "" while nothing has been installed in this run.
const char* RememberedApplicationPath();

// Remembers path (bounded copy).  Called once the executable is written whole.
void RememberApplicationPath(const char* path);
