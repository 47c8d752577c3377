// A window stand-in for the skin engine's portable tests: fixed scale, text measured as
// 7 pixels a character and 14 high, notifications and timers recorded.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "uicontrol.h"

struct FakeContext : skin::IUIContext {
  int scale = 100;
  struct Note { skin::CControlUI* sender; std::wstring type; uintptr_t wParam; };
  std::vector<Note> notes;
  std::vector<std::pair<skin::CControlUI*, unsigned>> timers;  // every SetTimer call
  std::vector<unsigned> elapses;                               // ... and its period
  std::vector<std::pair<skin::CControlUI*, unsigned>> running;  // set and not killed
  std::map<std::wstring, std::vector<int>> frameDelays;  // animated pictures by attribute
  int invalidations = 0;
  skin::CControlUI* focus = nullptr;
  std::wstring clipboard;
  int updates = 0;

  int Scale() const override { return scale; }
  void Invalidate(const skin::Rect&) override { ++invalidations; }
  void NeedUpdate() override { ++updates; }
  void SendNotify(skin::CControlUI* s, const std::wstring& t, uintptr_t w, intptr_t) override {
    notes.push_back({s, t, w});
  }
  bool SetTimer(skin::CControlUI* c, unsigned id, unsigned elapse) override {
    timers.emplace_back(c, id);
    elapses.push_back(elapse);
    if (!IsRunning(c, id)) running.emplace_back(c, id);
    return true;
  }
  bool KillTimer(skin::CControlUI* c, unsigned id) override {
    for (auto it = running.begin(); it != running.end(); ++it) {
      if (it->first == c && it->second == id) {
        running.erase(it);
        return true;
      }
    }
    return false;
  }
  bool IsRunning(skin::CControlUI* c, unsigned id) const {
    for (const auto& t : running) {
      if (t.first == c && t.second == id) return true;
    }
    return false;
  }
  std::vector<int> ImageFrameDelays(const std::wstring& attribute) override {
    auto it = frameDelays.find(attribute);
    return it == frameDelays.end() ? std::vector<int>{} : it->second;
  }
  void SetFocus(skin::CControlUI* c) override {
    if (focus == c) return;
    skin::UIEvent e;
    if (focus) { e.type = skin::EventType::KillFocus; focus->Event(e); }
    focus = c;
    if (focus) { e.type = skin::EventType::SetFocus; focus->Event(e); }
  }
  skin::CControlUI* GetFocus() const override { return focus; }
  skin::Size MeasureText(const std::wstring& text, int, int width, unsigned) override {
    int w = static_cast<int>(text.size()) * 7;
    return {w < width ? w : width, 14};
  }
  std::wstring GetClipboardText() override { return clipboard; }
  void SetClipboardText(const std::wstring& t) override { clipboard = t; }
  void SetImePosition(const skin::Point&, int) override {}
  void ControlRemoved(skin::CControlUI* c) override {
    if (focus == c) focus = nullptr;
    for (auto it = running.begin(); it != running.end();) it = it->first == c ? running.erase(it) : it + 1;
  }
};
