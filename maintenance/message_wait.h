// Waiting on the wizard's thread without blocking other programs.
//
// While the thread waits, the messages that other programs send to it are
// delivered: a program that sends to every top-level window (an uninstaller, a
// copy of the application showing its prompt) would otherwise hang on us until
// the wait ends.  Posted messages and input stay queued.
#pragma once

#include <windows.h>

// Delivers sent messages for up to `milliseconds`, returning early when `object`
// (may be null) is signalled or a message was delivered.
void DeliverSentMessages(HANDLE object, DWORD milliseconds);

// Waits until `done()` holds, at most timeoutMs (INFINITE: without a bound),
// looking at least every 100 ms and whenever `object` is signalled.  True when
// it held.
template <typename Condition>
bool WaitDeliveringSentMessages(DWORD timeoutMs, Condition done, HANDLE object = nullptr)
{
    constexpr DWORD kLookMs = 100;
    for (DWORD start = GetTickCount();;) {
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs)
            return false;
        DeliverSentMessages(object, timeoutMs - elapsed < kLookMs ? timeoutMs - elapsed : kLookMs);
    }
}

// Waits up to timeoutMs for the process to end; true when it has.
bool WaitForProcessEnd(HANDLE process, DWORD timeoutMs);
