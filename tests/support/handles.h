// Counting the kernel handles a test process holds, to check that a procedure
// closes every handle it opens.  GetProcessHandleCount is a stub under Wine
// (always 0); the system's handle table is not.
#pragma once

// Handles held by the current process, or -1 when the system does not say.
int CountOwnHandles();
