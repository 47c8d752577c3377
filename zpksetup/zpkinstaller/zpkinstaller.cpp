// The installer's entry point.
#include <windows.h>

#include "setuprun.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunSetup(instance); }
