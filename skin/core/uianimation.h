// A picture control that plays an animated GIF or WebP background: each frame stays for
// its own delay, advanced by a per-control timer of the window. The timer runs only
// while the control is shown: it is stopped when the control (or a page holding it) is
// hidden and started again by the next paint.
#pragma once
#include <vector>

#include "uicontrol.h"

namespace skin {

class CGifAnimUI : public CControlUI {
 public:
  static constexpr unsigned kFrameTimer = 0x5EC1;  // kept to itself, never notified

  std::wstring GetClass() const override { return L"GifAnimUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetBkImage(const std::wstring& image) override;
  void SetVisible(bool visible) override;
  void SetManager(IUIContext* manager, CControlUI* parent) override;
  void PaintBkImage(IRenderer& r) override;
  void DoEvent(UIEvent& event) override;

  void Play();
  void Stop();  // keeps the current frame
  bool IsPlaying() const { return m_play; }
  bool IsTimerRunning() const { return m_timerOn; }
  int GetFrame() const { return m_frame; }
  int GetFrameCount();

 private:
  const std::vector<int>& Delays();
  void StartTimer();
  void StopTimer();

  bool m_play = true;
  bool m_timerOn = false;
  bool m_delaysKnown = false;
  int m_frame = 0;
  std::vector<int> m_delays;
};

}  // namespace skin
