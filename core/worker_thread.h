// Worker threads: started, then joined, one way throughout the program.
#pragma once

#include <windows.h>

// Runs work(context) on a new thread.  When no thread can be started the work
// is done at once on the calling thread and the result is null; either way it
// has been handed over.
HANDLE StartWorker(LPTHREAD_START_ROUTINE work, void* context);

// Waits for a worker to end and closes it; null (work done at once) is fine.
void JoinWorker(HANDLE worker);
