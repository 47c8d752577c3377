#include "uianimation.h"

#include "markupvalues.h"

namespace skin {

void CGifAnimUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"autoplay") m_play = ParseBool(value);
  else if (name == L"bkimage") SetBkImage(value);
  else CControlUI::SetAttribute(name, value);
}

void CGifAnimUI::SetBkImage(const std::wstring& image) {
  if (image == m_bkImage) return;
  StopTimer();
  m_frame = 0;
  m_delaysKnown = false;
  m_delays.clear();
  CControlUI::SetBkImage(image);
}

void CGifAnimUI::SetManager(IUIContext* manager, CControlUI* parent) {
  if (manager != m_manager) {
    StopTimer();
    m_delaysKnown = false;
  }
  CControlUI::SetManager(manager, parent);
}

void CGifAnimUI::SetVisible(bool visible) {
  if (!visible) StopTimer();
  CControlUI::SetVisible(visible);
}

const std::vector<int>& CGifAnimUI::Delays() {
  if (!m_delaysKnown && m_manager && !m_bkImage.empty()) {
    m_delays = m_manager->ImageFrameDelays(m_bkImage);
    m_delaysKnown = true;
    if (m_frame >= static_cast<int>(m_delays.size())) m_frame = 0;
  }
  return m_delays;
}

int CGifAnimUI::GetFrameCount() {
  size_t n = Delays().size();
  return n == 0 ? (m_bkImage.empty() ? 0 : 1) : static_cast<int>(n);
}

void CGifAnimUI::StartTimer() {
  const std::vector<int>& delays = Delays();
  if (m_timerOn || !m_play || delays.size() < 2 || !IsVisible()) return;
  m_timerOn = SetTimer(kFrameTimer, static_cast<unsigned>(delays[static_cast<size_t>(m_frame)]));
}

void CGifAnimUI::StopTimer() {
  if (!m_timerOn) return;
  KillTimer(kFrameTimer);
  m_timerOn = false;
}

void CGifAnimUI::Play() {
  m_play = true;
  StartTimer();
}

void CGifAnimUI::Stop() {
  m_play = false;
  StopTimer();
}

void CGifAnimUI::PaintBkImage(IRenderer& r) {
  if (m_bkImage.empty()) return;
  r.DrawImageFrame(m_bkImage, m_rcItem, Rect{}, Delays().empty() ? 0 : m_frame);
  // Painted means shown: (re)start the frames stopped while the control was hidden.
  StartTimer();
}

void CGifAnimUI::DoEvent(UIEvent& event) {
  if (event.type != EventType::Timer || event.key != kFrameTimer) {
    CControlUI::DoEvent(event);
    return;
  }
  m_timerOn = false;
  KillTimer(kFrameTimer);
  const std::vector<int>& delays = Delays();
  // Hidden (itself or an ancestor, such as a page not selected): no frames until shown.
  if (!m_play || !IsVisible() || delays.size() < 2) return;
  m_frame = (m_frame + 1) % static_cast<int>(delays.size());
  Invalidate();
  StartTimer();
}

}  // namespace skin
