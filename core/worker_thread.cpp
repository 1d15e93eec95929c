#include "core/worker_thread.h"

HANDLE StartWorker(LPTHREAD_START_ROUTINE work, void* context)
{
    HANDLE worker = CreateThread(nullptr, 0, work, context, 0, nullptr);
    if (worker == nullptr)
        work(context);
    return worker;
}

void JoinWorker(HANDLE worker)
{
    if (worker == nullptr)
        return;
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
}
