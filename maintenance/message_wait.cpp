#include "maintenance/message_wait.h"

void DeliverSentMessages(HANDLE object, DWORD milliseconds)
{
    MsgWaitForMultipleObjects(object != nullptr ? 1 : 0, &object, FALSE, milliseconds, QS_SENDMESSAGE);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool WaitForProcessEnd(HANDLE process, DWORD timeoutMs)
{
    return WaitDeliveringSentMessages(
        timeoutMs, [process] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, process);
}
