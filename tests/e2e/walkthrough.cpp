// What ./dev run does without a display: starts the setup program given on the
// command line, answers a start-up question with No, walks the wizard page by
// page as a person would (accepting the licence, keeping the preset options),
// saves a screenshot of each page and presses Finish.
#include "resources/resource.h"
#include "tests/support/setup_driver.h"

#include <cstdio>

namespace {

// Presses a wizard button whose handler returns at once, and reports a failure.
bool PressOrSay(HWND wizard, int controlId, const char* what)
{
    if (ui::Press(wizard, controlId))
        return true;
    std::fprintf(stderr, "walkthrough: %s did not respond\n", what);
    return false;
}

bool WalkWizard(HWND wizard, DWORD processId)
{
    std::printf("welcome: %s\n", ui::ControlText(wizard, IDC_WELCOME_TEXT).c_str());
    ui::SaveScreenshot(wizard, "wizard-1-welcome");
    if (!PressOrSay(wizard, IDOK, "Next on the welcome page"))
        return false;
    ui::SaveScreenshot(wizard, "wizard-2-licence");
    if (!PressOrSay(wizard, IDC_ACCEPT, "the acceptance box") ||
        !PressOrSay(wizard, IDOK, "Next on the licence page"))
        return false;
    ui::SaveScreenshot(wizard, "wizard-3-options");

    // Install runs the whole installation in its handler: press it without waiting
    // and answer any question it asks on the way.
    ui::Click(wizard, IDOK);
    bool finished = ui::WaitUntil(
        [&] {
            ui::MessageBoxInfo box = ui::WaitForMessageBox(processId, 0);
            if (box.window != nullptr) {
                std::printf("question: %s (answered No)\n", box.text.c_str());
                ui::SaveScreenshot(box.window, "wizard-question");
                ui::Answer(box.window, IDNO);
            }
            return ui::ControlText(wizard, IDOK) == "Finish" && ui::ControlEnabled(wizard, IDOK);
        },
        120000);
    if (!finished) {
        std::fprintf(stderr, "walkthrough: the installation did not end\n");
        return false;
    }
    std::printf("status: %s\n", ui::ControlText(wizard, IDC_STATUS).c_str());
    ui::SaveScreenshot(wizard, "wizard-4-finish");
    ui::Click(wizard, IDOK);
    return true;
}

}  // namespace

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
    bool walked = WalkWizard(first.wizard, setup.id());
    if (!walked || !setup.WaitForExit(10000)) {
        CloseSetup(setup);
        setup.Kill();
        return 1;
    }
    DWORD exitCode = 0;
    setup.WaitForExit(0, &exitCode);
    std::printf("setup program ended with exit code %lu\n", exitCode);
    return 0;
}
