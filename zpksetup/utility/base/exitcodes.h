// The exit codes of the installer's silent run and of the uninstaller's silent run, in
// the numbering deployment tools read (Windows Installer's).
#pragma once

constexpr int kExitSuccess = 0;
constexpr int kExitRestartNeeded = 3010;   // done; files wait for the next restart
constexpr int kExitCancelled = 1602;       // the user declined or closed the window
constexpr int kExitFatal = 1603;           // the installation or removal failed or was refused
constexpr int kExitAnotherInstall = 1618;  // another installation of the product is running
constexpr int kExitDamagedPayload = 1392;  // the embedded payload failed its check (ERROR_FILE_CORRUPT)
