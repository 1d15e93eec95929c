// What deployment tools learn of a run: its exit code, and the log's lines
// for each step of an installation or an uninstall.
#pragma once

#include "install/install_product.h"
#include "maintenance/uninstall.h"

// Exit codes, as MSI gives them, in every mode.
constexpr int kExitDone = 0;
constexpr int kExitBadCommandLine = 87;    // ERROR_INVALID_PARAMETER
constexpr int kExitDiskFull = 112;         // ERROR_DISK_FULL
constexpr int kExitCancelled = 1602;       // ERROR_INSTALL_USEREXIT
constexpr int kExitFailed = 1603;          // ERROR_INSTALL_FAILURE
constexpr int kExitAnotherSetup = 1618;    // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kExitNewerInstalled = 1638;  // ERROR_PRODUCT_VERSION
constexpr int kExitRestartNeeded = 3010;   // ERROR_SUCCESS_REBOOT_REQUIRED

// Logs each step and returns the exit code the outcome makes.
int ReportInstallOutcome(const InstallOutcome& outcome);
int ReportUninstallOutcome(const UninstallOutcome& outcome);

// With nobody to ask, a legacy 1.x installation is left alone: the log says so.
void ReportLegacyLeftAlone();
