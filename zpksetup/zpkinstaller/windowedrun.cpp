// The windowed run. The installer window is not part of this build yet: the run ends
// here without touching the machine, as it does when the skin archive is missing.
#include "log/debugoutput.h"
#include "setuprun.h"

void RunWindowed(const SetupRun& run) {
  qd::OutputText(L"windowed run not available in this build, nothing installed");
}
