// The markup builder on any layout text, then the built tree laid out in a window
// stand-in (no drawing). Every file the markup includes reads as the same text, so an
// input can include itself; the builder must end that recursion.
#include <cstddef>
#include <cstdint>
#include <string>

#include "uitypes.h"
#include "markupbuilder.h"
#include "skin_fakecontext.h"

using namespace skin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string xml(reinterpret_cast<const char*>(data), size);
  auto read = [&xml](const std::wstring&, std::string* bytes) {
    *bytes = xml;
    return true;
  };
  FakeContext ctx;  // outlives the tree: controls tell it when they go
  ctx.scale = 150;
  WindowSpec window;
  std::wstring error;
  std::unique_ptr<CControlUI> root = BuildMarkupText(xml, read, nullptr, &window, &error);
  if (!root) return 0;
  root->SetManager(&ctx, nullptr);
  // The window's own size is whatever the markup says; lay out in a bounded area too.
  const int w = ScaleValue(window.size.cx, ctx.scale), h = ScaleValue(window.size.cy, ctx.scale);
  root->SetPos({0, 0, w, h}, false);
  root->SetPos({0, 0, 800, 600}, false);
  root->EstimateSize({800, 600});
  root->FindControlAt({400, 300});
  root->FindControl(L"btn_close");
  return 0;
}
