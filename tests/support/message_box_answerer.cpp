#include "tests/support/message_box_answerer.h"

MessageBoxAnswerer::MessageBoxAnswerer(int buttonId, DWORD timeoutMs)
    : watcher_([this, buttonId, timeoutMs] {
          seen_ = ui::WaitForMessageBox(GetCurrentProcessId(), timeoutMs);
          if (seen_.window != nullptr)
              ui::Answer(seen_.window, buttonId);
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
