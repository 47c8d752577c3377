// Builds a control tree from layout markup: the root `Window` element gives the window's
// own settings and fonts, `Include` pulls in another file of the package, and every other
// element is a control made by its class name (the built-in factory, or the window's
// callback for classes of its own).
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "uicontrol.h"

namespace skin {

struct FontSpec {
  int id = 0;
  std::wstring name;
  int size = 12;  // character height in pixels at 100 %
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool isDefault = false;
  bool shared = false;
};

// The root element's settings.
struct WindowSpec {
  Size size;
  Size minInfo;
  Rect caption;
  Rect sizeBox;
  Rect sizeBoxInset;
  bool layered = false;
  bool showShadow = false;
  bool gdiplusText = false;
  int textRenderingHint = 0;
  Color tooltipBkColor = 0;
  Color tooltipTextColor = 0;
  bool normalTab = true;
  bool autoDpi = false;
  bool killFocusSendButtonUp = false;
  std::vector<FontSpec> fonts;
};

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A control for an element name the engine does not know; null to skip the element.
  virtual CControlUI* CreateControl(const std::wstring& className) = 0;
};

// Makes a built-in control from its markup element name ("Button", "VerticalLayout"...);
// null for an unknown name. RegisterControlClass adds names (string-keyed factory).
CControlUI* CreateBuiltinControl(const std::wstring& className);
void RegisterControlClass(const std::wstring& className, std::function<CControlUI*()> factory);

using FileReader = std::function<bool(const std::wstring& path, std::string* bytes)>;

// Builds the window's control tree from `file`. Null (with `error` set) when the file is
// missing, is not well-formed XML, has no `Window` root or defines no control.
std::unique_ptr<CControlUI> BuildMarkup(const std::wstring& file, const FileReader& read,
                                        IDialogBuilderCallback* callback, WindowSpec* window,
                                        std::wstring* error);
// The same from markup text (includes are read through `read`).
std::unique_ptr<CControlUI> BuildMarkupText(const std::string& xml, const FileReader& read,
                                            IDialogBuilderCallback* callback, WindowSpec* window,
                                            std::wstring* error);

}  // namespace skin
