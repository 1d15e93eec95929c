// Answering a message box that a procedure under test shows on this thread:
// a second thread waits for it, notes what it says and presses a button.
#pragma once

#include "tests/support/ui_driver.h"

#include <thread>

class MessageBoxAnswerer {
public:
    // Starts watching for the next message box of this process.
    explicit MessageBoxAnswerer(int buttonId, DWORD timeoutMs = ui::kDefaultTimeoutMs);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // Waits for the watcher; the box it answered (window null when none came).
    ui::MessageBoxInfo Seen();

private:
    ui::MessageBoxInfo seen_;
    std::thread watcher_;
};
