// Benchmark (not a test): the start-up payload check's cost for a payload of the
// product's size, run under Wine or Windows. Prints milliseconds and MB/s over three runs
// of each SHA-256 the installer can compute (the system's CNG, which it uses, and the
// portable fallback), on a 90 MiB buffer (or the size given in MiB).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sha256.h"
#include "systemsha256.h"

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 90;
  std::vector<unsigned char> payload(mib << 20);
  unsigned x = 14;
  for (unsigned char& b : payload) {
    x = x * 1103515245u + 12345u;
    b = static_cast<unsigned char>(x >> 24);
  }
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  for (int system = 1; system >= 0; --system) {
    for (int i = 0; i < 3; ++i) {
      QueryPerformanceCounter(&t0);
      const std::string digest = system ? SystemSha256(payload.data(), payload.size())
                                        : Sha256Hex(payload.data(), payload.size());
      QueryPerformanceCounter(&t1);
      const double ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
      std::printf("%s SHA-256: %zu MiB in %.0f ms, %.0f MB/s (%s...)\n", system ? "system (CNG)" : "portable",
                  mib, ms, static_cast<double>(payload.size()) / 1e6 / (ms / 1000.0), digest.substr(0, 12).c_str());
    }
  }
  return 0;
}
