#include "app/wizard.h"

#include "app/licence_viewer.h"
#include "app/outcome_report.h"
#include "app/setup_log.h"
#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/product.h"
#include "core/worker_thread.h"
#include "install/install_product.h"
#include "maintenance/legacy.h"
#include "product_texts.h"
#include "resources/resource.h"
#include "shell/launch.h"

#include <commctrl.h>

#include <initializer_list>

namespace {

enum WizardPage : DWORD { kWelcomePage = 0, kLicencePage = 1, kOptionsPage = 2, kFinishPage = 3 };

// Posted by the installation's thread when it is done.
constexpr UINT kInstalledMessage = WM_APP + 1;

// The installation, run on a thread of its own so that the wizard's window
// stays responsive and the progress bar moves.  After a legacy removal it runs
// again, there too.
struct Installation {
    HWND dialog;
    InstallOptions options;
    InstallOutcome outcome;
    HANDLE worker;
    char legacyCommand[kPathCapacity];  // a legacy installation to remove first, then install again
    bool legacyStarted;
};

// The wizard's state lives for the whole run; the font and the viewer are never
// freed, as they serve the dialog until the process ends.
DWORD wizardPage = kWelcomePage;
HWND licenceViewer = nullptr;
HFONT titleFont = nullptr;
WizardRun* run = nullptr;
Installation installation = {};

void ShowControl(HWND dialog, int controlId, bool shown)
{
    ShowWindow(GetDlgItem(dialog, controlId), shown ? SW_SHOW : SW_HIDE);
}

void EnableControl(HWND dialog, int controlId, bool enabled)
{
    EnableWindow(GetDlgItem(dialog, controlId), enabled ? TRUE : FALSE);
}

bool IsChecked(HWND dialog, int controlId) { return IsDlgButtonChecked(dialog, controlId) == BST_CHECKED; }

// The heading in bold Verdana, 12 points at the window's DPI.
void SetTitleFont(HWND dialog)
{
    if (titleFont != nullptr) {
        DeleteObject(titleFont);
        titleFont = nullptr;
    }
    LOGFONTA font = {};
    font.lfHeight = -MulDiv(12, int(GetDpiForWindow(dialog)), 72);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = ANSI_CHARSET;
    lstrcpynA(font.lfFaceName, "Verdana", LF_FACESIZE);
    titleFont = CreateFontIndirectA(&font);
    // Without a font of its own the heading keeps the dialog's.
    if (titleFont != nullptr)
        SendDlgItemMessageA(dialog, IDC_HEADING, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont), FALSE);
}

void InitializeWizard(HWND dialog)
{
    SetTitleFont(dialog);

    char welcome[256];
    FormatBounded(welcome, sizeof welcome, "This installer will install %s %s on this computer.", ProductName,
                  ProductVersion);
    SetDlgItemTextA(dialog, IDC_WELCOME_TEXT, welcome);

    if (licenceViewer == nullptr)
        licenceViewer = CreateLicenceViewer(dialog);

    CheckDlgButton(dialog, IDC_START_MENU, run->options.startMenu ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_DESKTOP, run->options.desktop ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_ALL_USERS, run->options.allUsers ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_START_APP, BST_CHECKED);

    wizardPage = kWelcomePage;
    UpdateWizardPage(dialog);
}

InstallOptions ChosenOptions(HWND dialog)
{
    InstallOptions options;
    options.startMenu = IsChecked(dialog, IDC_START_MENU);
    options.desktop = IsChecked(dialog, IDC_DESKTOP);
    options.allUsers = IsChecked(dialog, IDC_ALL_USERS);
    return options;
}

// The bar follows the bytes written, ten times a second at most: each repaint
// takes a core from the decoding threads (every piece cost 10 ms in all for a
// 27 MB application).  Called on those threads, so posted.
void ShowProgress(void* context, std::uint64_t written, std::uint64_t total)
{
    static volatile LONG shownAt = 0;
    const LONG last = shownAt;
    const LONG now = LONG(GetTickCount());
    if (total == 0 || DWORD(now - last) < 100 || InterlockedCompareExchange(&shownAt, now, last) != last)
        return;
    PostMessageA(static_cast<HWND>(context), PBM_SETPOS, WPARAM(written * 100 / total), 0);
}

// Asks about a legacy installation found after a successful installation.
// True on Yes, with its command kept for the worker.  With nobody to ask it is
// left alone.
bool OfferLegacyRemoval(HWND dialog)
{
    if (run->mode != SetupMode::kInteractive) {
        ReportLegacyLeftAlone();
        return false;
    }
    char command[kPathCapacity];
    if (!FindLegacyInstallation(command))
        return false;
    bool yes = MessageBoxA(dialog, LEGACY_QUESTION_TEXT, SetupTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
    LogLine("legacy 1.x installation found (%s): %s", command, yes ? "removed" : "kept, as asked");
    return yes && CopyPath(installation.legacyCommand, command);
}

// The application's file is in use and nothing was written: the person closes
// the program and tries again, or cancels with everything as it was.
bool RetryWhenInUse(HWND dialog)
{
    bool retry = MessageBoxA(dialog, APPLICATION_IN_USE_TEXT, SetupTitle, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
    LogLine("the application's file is in use: %s", retry ? "tried again" : "cancelled, nothing changed");
    return retry;
}

// The legacy uninstaller may remove what shares its names in our folder (the
// application, Uninstall.exe), the shortcuts and the registration: once it has
// ended, the installation runs again and puts back whatever is missing.
DWORD WINAPI InstallOnWorker(void*)
{
    InstallProgress progress;
    if (installation.legacyCommand[0] != '\0') {
        installation.legacyStarted = RemoveLegacyInstallation(installation.legacyCommand);
    } else {
        progress.report = ShowProgress;
        progress.context = GetDlgItem(installation.dialog, IDC_PROGRESS);
    }
    installation.outcome = InstallProduct(installation.options, progress);
    PostMessageA(installation.dialog, kInstalledMessage, 0, 0);
    return 0;
}

// Install: page 3 first, so that Cancel is already disabled when the installation
// runs; a close request that reaches the wizard meanwhile (from another program:
// stopping running copies asks only the application's own windows) is refused.
void RunInstallation(HWND dialog)
{
    wizardPage = kFinishPage;
    UpdateWizardPage(dialog);
    SetDlgItemTextA(dialog, IDC_STATUS, "Installing...");
    installation.dialog = dialog;
    installation.options = run->mode == SetupMode::kInteractive ? ChosenOptions(dialog) : run->options;
    installation.options.unattended = run->mode != SetupMode::kInteractive;
    installation.worker = StartWorker(InstallOnWorker, nullptr);
}

// The installation has ended: its result shown, logged, and the way to Finish open.
void OnInstalled(HWND dialog)
{
    JoinWorker(installation.worker);
    installation.worker = nullptr;
    if (installation.outcome.applicationInUse && RetryWhenInUse(dialog)) {
        installation.worker = StartWorker(InstallOnWorker, nullptr);
        return;
    }
    // Posted, not sent: after any position the decoding threads posted.
    PostMessageA(GetDlgItem(dialog, IDC_PROGRESS), PBM_SETPOS, 100, 0);
    const bool again = installation.legacyCommand[0] != '\0';
    if (again)
        LogLine("installing again after the legacy uninstaller%s",
                installation.legacyStarted ? "" : ", which could not be started");
    run->exitCode = ReportInstallOutcome(installation.outcome);
    if (installation.outcome.Succeeded()) {
        SetDlgItemTextA(dialog, IDC_STATUS, "The install operation completed successfully.");
        if (!again && OfferLegacyRemoval(dialog)) {
            SetDlgItemTextA(dialog, IDC_STATUS, "Removing the earlier version...");
            installation.worker = StartWorker(InstallOnWorker, nullptr);
            return;
        }
    } else {
        SetDlgItemTextA(dialog, IDC_STATUS, "The install operation did fail!");
    }
    if (run->mode == SetupMode::kPassive) {
        EndDialog(dialog, run->exitCode);
        return;
    }
    ShowControl(dialog, IDC_START_APP, true);
    SetDlgItemTextA(dialog, IDOK, "Finish");
    EnableControl(dialog, IDOK, true);
}

// Finish: start the application only when it was written and the user wants it.
void FinishWizard(HWND dialog)
{
    if (IsChecked(dialog, IDC_START_APP) && RememberedApplicationPath()[0] != '\0')
        LaunchInstalledApplication();
    EndDialog(dialog, run->exitCode);
}

void OnNext(HWND dialog)
{
    switch (wizardPage) {
    case kWelcomePage:
    case kLicencePage:
        ++wizardPage;
        UpdateWizardPage(dialog);
        break;
    case kOptionsPage:
        RunInstallation(dialog);
        break;
    case kFinishPage:
        FinishWizard(dialog);
        break;
    }
}

}  // namespace

void UpdateWizardPage(HWND dialog)
{
    ShowControl(dialog, IDC_WELCOME_TEXT, wizardPage == kWelcomePage);
    ShowControl(dialog, IDC_LICENCE_LABEL, wizardPage == kLicencePage);
    if (licenceViewer != nullptr)
        ShowWindow(licenceViewer, wizardPage == kLicencePage ? SW_SHOW : SW_HIDE);
    ShowControl(dialog, IDC_ACCEPT, wizardPage == kLicencePage);
    for (int option : {IDC_START_MENU, IDC_DESKTOP, IDC_ALL_USERS})
        ShowControl(dialog, option, wizardPage == kOptionsPage);
    ShowControl(dialog, IDC_PROGRESS, wizardPage == kFinishPage);
    ShowControl(dialog, IDC_STATUS, wizardPage == kFinishPage);
    ShowControl(dialog, IDC_START_APP, false);

    switch (wizardPage) {
    case kWelcomePage:
        SetDlgItemTextA(dialog, IDOK, "Next");
        EnableControl(dialog, IDOK, true);
        break;
    case kLicencePage:
        SetDlgItemTextA(dialog, IDOK, "Next");
        EnableControl(dialog, IDOK, IsChecked(dialog, IDC_ACCEPT));
        break;
    case kOptionsPage:
        SetDlgItemTextA(dialog, IDOK, "Install");
        EnableControl(dialog, IDOK, true);
        break;
    case kFinishPage:
        // Cancel is never enabled again: from here the dialog ends only by Finish.
        EnableControl(dialog, IDOK, false);
        EnableControl(dialog, IDCANCEL, false);
        break;
    }
}

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        run = reinterpret_cast<WizardRun*>(lParam);
        InitializeWizard(dialog);
        if (run->mode == SetupMode::kPassive)
            RunInstallation(dialog);
    } else if (message == kInstalledMessage) {
        OnInstalled(dialog);
    } else if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDOK:
            // Enter also arrives as IDOK, on some systems even while the button
            // is disabled: on the licence page before it is accepted, or while
            // the installation runs on its thread.
            if (IsWindowEnabled(GetDlgItem(dialog, IDOK)))
                OnNext(dialog);
            break;
        case IDCANCEL:
            // A close request also arrives as IDCANCEL; some systems send it even
            // while Cancel is disabled, and from page 3 on nothing may end the
            // wizard but Finish.
            if (IsWindowEnabled(GetDlgItem(dialog, IDCANCEL))) {
                LogLine("the wizard was cancelled");
                run->exitCode = kExitCancelled;
                EndDialog(dialog, kExitCancelled);
            }
            break;
        case IDC_ACCEPT:
            EnableControl(dialog, IDOK, IsChecked(dialog, IDC_ACCEPT));
            break;
        }
    }
    return FALSE;
}
