// One uninstallation, in the temporary copy: the configuration and uninstall chunks
// from the installation directory, the globals the uninstall script expects, and its
// four events in order.
#pragma once
#include "uninstallargs.h"

// Exit code: 0 when the events ran, 1 when the chunks could not be run, 2 when the user
// declined.
int RunUninstall(const UninstallArgs& args);
