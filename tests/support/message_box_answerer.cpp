#include "tests/support/message_box_answerer.h"

MessageBoxAnswerer::MessageBoxAnswerer(int buttonId, DWORD timeoutMs)
    : watcher_([this, buttonId, timeoutMs] {
          seen_ = ui::WaitForMessageBox(GetCurrentProcessId(), timeoutMs);
          if (seen_.window != nullptr) {
              owner_ = GetWindow(seen_.window, GW_OWNER);
              ui::Answer(seen_.window, buttonId);
          }
      })
{
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    if (watcher_.joinable())
        watcher_.join();
}

ui::MessageBoxInfo MessageBoxAnswerer::Seen()
{
    if (watcher_.joinable())
        watcher_.join();
    return seen_;
}

HWND MessageBoxAnswerer::Owner()
{
    Seen();
    return owner_;
}
