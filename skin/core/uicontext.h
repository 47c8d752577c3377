// What controls need from the window that hosts them (the paint manager on Windows, a
// fake in tests): the DPI scale, invalidation, notifications, timers, focus, text
// measuring, the clipboard; and the drawing surface they paint on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "uitypes.h"

namespace skin {

class CControlUI;

// Text layout flags (the values of the Windows DT_ flags, which they mirror).
enum TextStyle : unsigned {
  kTextLeft = 0x0, kTextCenter = 0x1, kTextRight = 0x2,
  kTextTop = 0x0, kTextVCenter = 0x4, kTextBottom = 0x8,
  kTextWordBreak = 0x10, kTextSingleLine = 0x20, kTextNoPrefix = 0x800,
  kTextEndEllipsis = 0x8000,
};

enum class EventType {
  MouseMove, MouseEnter, MouseLeave, ButtonDown, ButtonUp, DoubleClick, ContextMenu,
  KeyDown, KeyUp, Char, SetFocus, KillFocus, Timer, ImeResult,
};

// Virtual key codes the controls react to (the Windows VK_ values).
enum Key : unsigned {
  kKeyBack = 0x08, kKeyTab = 0x09, kKeyReturn = 0x0D, kKeySpace = 0x20, kKeyEnd = 0x23,
  kKeyHome = 0x24, kKeyLeft = 0x25, kKeyRight = 0x27, kKeyDelete = 0x2E, kKeyA = 0x41,
  kKeyC = 0x43, kKeyV = 0x56, kKeyX = 0x58, kKeyInsert = 0x2D,
};

struct UIEvent {
  EventType type = EventType::MouseMove;
  Point pt;               // window client coordinates
  unsigned key = 0;       // virtual key, character, or timer id
  bool shift = false;
  bool ctrl = false;
  std::wstring text;      // ImeResult: the composed string
};

class IRenderer {
 public:
  virtual ~IRenderer() = default;
  virtual void FillRect(const Rect& rc, Color color) = 0;
  // Draws an image attribute value for a control occupying `control`; a missing picture
  // draws nothing. `clip`, when not empty, limits the drawing.
  virtual void DrawImage(const std::wstring& attribute, const Rect& control, const Rect& clip) = 0;
  // The same for one frame of an animated picture (frame 0 is the still one).
  virtual void DrawImageFrame(const std::wstring& attribute, const Rect& control, const Rect& clip, int frame) {
    if (frame == 0) DrawImage(attribute, control, clip);
  }
  virtual void DrawText(const std::wstring& text, const Rect& rc, int font, Color color,
                        unsigned style) = 0;
  virtual void PushClip(const Rect& rc) = 0;
  virtual void PopClip() = 0;
};

class IUIContext {
 public:
  virtual ~IUIContext() = default;
  virtual int Scale() const = 0;  // percent: 100, 125, 150, 175, 200
  virtual void Invalidate(const Rect& rc) = 0;
  virtual void NeedUpdate() = 0;  // lay the window out again before the next paint
  virtual void SendNotify(CControlUI* sender, const std::wstring& type, uintptr_t wParam = 0,
                          intptr_t lParam = 0) = 0;
  virtual bool SetTimer(CControlUI* control, unsigned id, unsigned elapse) = 0;
  virtual bool KillTimer(CControlUI* control, unsigned id) = 0;
  virtual void SetFocus(CControlUI* control) = 0;
  virtual CControlUI* GetFocus() const = 0;
  // Size of `text` drawn with `font` in a box `width` wide (and 9999 high).
  virtual Size MeasureText(const std::wstring& text, int font, int width, unsigned style) = 0;
  virtual std::wstring GetClipboardText() = 0;
  virtual void SetClipboardText(const std::wstring& text) = 0;
  virtual void SetImePosition(const Point& caret, int height) = 0;
  virtual void ControlRemoved(CControlUI* control) = 0;  // forget timers, focus, hover
  // How long each frame of the picture an image attribute names stays, in milliseconds:
  // one entry per frame, empty when the picture is missing or still.
  virtual std::vector<int> ImageFrameDelays(const std::wstring& attribute) { return {}; }
};

}  // namespace skin
