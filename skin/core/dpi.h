// Monitor DPI to the engine's scale steps.
#pragma once

namespace skin {

// Snaps down to 96, 120, 144, 168 or 192; a value below 96 stays as it is, 192 and
// above give 192.
int SnapDpi(int dpi);
// The scale in percent for a snapped DPI: 100, 125, 150, 175 or 200.
int ScaleForDpi(int snappedDpi);

}  // namespace skin
