// What ./dev run does without a display: starts the setup program given on the
// command line, saves a screenshot of what start-up shows, and ends it cleanly.
#include "tests/support/setup_driver.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: walkthrough SETUP.EXE\n");
        return 2;
    }
    ui::Process setup = ui::Start(argv[1]);
    if (!setup.started()) {
        std::fprintf(stderr, "walkthrough: cannot start %s\n", argv[1]);
        return 1;
    }
    FirstWindow first = WaitForWizardOrMessageBox(setup.id());
    if (first.box.window != nullptr) {
        std::printf("question: %s\n", first.box.text.c_str());
        ui::SaveScreenshot(first.box.window, "startup-question");
        ui::Answer(first.box.window, IDNO);
        first.wizard = WaitForWizard(setup.id());
    }
    if (first.wizard == nullptr) {
        std::fprintf(stderr, "walkthrough: the wizard did not appear\n");
        setup.Kill();
        return 1;
    }
    std::printf("wizard: %s\n", ui::WindowText(first.wizard).c_str());
    ui::SaveScreenshot(first.wizard, "startup-wizard");
    CloseSetup(setup);
    DWORD exitCode = 0;
    setup.WaitForExit(5000, &exitCode);
    std::printf("setup program ended with exit code %lu\n", exitCode);
    return 0;
}
