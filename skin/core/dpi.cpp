#include "dpi.h"

namespace skin {

int SnapDpi(int dpi) {
  if (dpi < 96) return dpi;
  if (dpi >= 192) return 192;
  return 96 + (dpi - 96) / 24 * 24;
}

int ScaleForDpi(int snappedDpi) { return snappedDpi * 100 / 96; }

}  // namespace skin
