// Stays alive for a while (at most the given seconds, 60 by default) so that tests can
// find and end it; exits with 0 when nobody did.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  Sleep(static_cast<DWORD>(seconds) * 1000);
  return 0;
}
