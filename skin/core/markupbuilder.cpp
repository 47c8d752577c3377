#include "markupbuilder.h"

#include <pugixml/pugixml.hpp>

#include "markupvalues.h"
#include "uianimation.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uiedit.h"

namespace skin {

namespace {

std::map<std::wstring, std::function<CControlUI*()>>& Factory() {
  static std::map<std::wstring, std::function<CControlUI*()>> factory = {
      {L"Control", [] { return new CControlUI; }},
      {L"Container", [] { return new CContainerUI; }},
      {L"VerticalLayout", [] { return new CVerticalLayoutUI; }},
      {L"HorizontalLayout", [] { return new CHorizontalLayoutUI; }},
      {L"TabLayout", [] { return new CTabLayoutUI; }},
      {L"Label", [] { return new CLabelUI; }},
      {L"Text", [] { return new CLabelUI; }},
      {L"Button", [] { return new CButtonUI; }},
      {L"Option", [] { return new COptionUI; }},
      {L"CheckBox", [] { return new COptionUI; }},
      {L"Progress", [] { return new CProgressUI; }},
      {L"RichEdit", [] { return new CRichEditUI; }},
      {L"Edit", [] { return new CRichEditUI; }},
      {L"GifAnim", [] { return new CGifAnimUI; }},
  };
  return factory;
}

constexpr int kMaxIncludeDepth = 8;
// Includes in all: a file including itself several times would multiply otherwise
// (n includes a level, 8 levels deep: n^8 parses, gigabytes of memory).
constexpr int kMaxIncludes = 64;
// Deeper control nesting is refused: the builder and the controls recurse over it.
constexpr int kMaxNesting = 200;

class Builder {
 public:
  Builder(const FileReader& read, IDialogBuilderCallback* callback, WindowSpec* window, std::wstring* error)
      : m_read(read), m_callback(callback), m_window(window), m_error(error) {}

  std::unique_ptr<CControlUI> Run(const std::string& xml, const std::wstring& name) {
    pugi::xml_document doc;
    if (!Parse(xml, name, &doc)) return nullptr;
    pugi::xml_node root = doc.document_element();
    if (std::string(root.name()) != "Window") return Fail(L"no Window root in " + name);
    ApplyWindow(root);
    std::vector<std::unique_ptr<CControlUI>> roots;
    WalkWindow(root, &roots, 0);
    if (roots.empty()) return Fail(L"no control in " + name);
    return std::move(roots.front());
  }

 private:
  std::nullptr_t Fail(const std::wstring& why) {
    if (m_error && m_error->empty()) *m_error = why;
    return nullptr;
  }

  bool Parse(const std::string& xml, const std::wstring& name, pugi::xml_document* doc) {
    pugi::xml_parse_result r = doc->load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!r) {
      Fail(name + L": " + FromUtf8(r.description()) + L" at offset " + std::to_wstring(r.offset));
      return false;
    }
    return true;
  }

  static std::wstring Attr(pugi::xml_node n, const char* a) { return FromUtf8(n.attribute(a).value()); }

  void ApplyWindow(pugi::xml_node root) {
    if (!m_window) return;
    for (pugi::xml_attribute a : root.attributes()) {
      std::string n = a.name();
      std::wstring v = FromUtf8(a.value());
      if (n == "size") m_window->size = ParseSize(v);
      else if (n == "mininfo") m_window->minInfo = ParseSize(v);
      else if (n == "caption") m_window->caption = ParseRect(v);
      else if (n == "sizebox") m_window->sizeBox = ParseRect(v);
      else if (n == "sizeboxinset") m_window->sizeBoxInset = ParseRect(v);
      else if (n == "bktrans" || n == "layered") m_window->layered = ParseBool(v);
      else if (n == "showshadow") m_window->showShadow = ParseBool(v);
      else if (n == "gdiplustext") m_window->gdiplusText = ParseBool(v);
      else if (n == "textrenderinghint") m_window->textRenderingHint = ParseInt(v);
      else if (n == "tooltipbkcolor") m_window->tooltipBkColor = ParseColor(v);
      else if (n == "tooltiptextcolor") m_window->tooltipTextColor = ParseColor(v);
      else if (n == "normaltab") m_window->normalTab = ParseBool(v);
      else if (n == "autodpi") m_window->autoDpi = ParseBool(v);
      else if (n == "KillFocusSendButtonUp") m_window->killFocusSendButtonUp = ParseBool(v);
    }
  }

  void AddFont(pugi::xml_node n) {
    if (!m_window) return;
    FontSpec f;
    f.id = ParseInt(Attr(n, "id"));
    f.name = Attr(n, "name");
    if (n.attribute("size")) f.size = ParseInt(Attr(n, "size"));
    f.bold = ParseBool(Attr(n, "bold"));
    f.underline = ParseBool(Attr(n, "underline"));
    f.italic = ParseBool(Attr(n, "italic"));
    f.isDefault = ParseBool(Attr(n, "default"));
    f.shared = ParseBool(Attr(n, "shared"));
    m_window->fonts.push_back(f);
  }

  // Reads an included file's root and hands its children to `each`.
  template <typename F>
  void Include(pugi::xml_node n, int depth, F each) {
    std::wstring source = Attr(n, "source");
    if (source.empty()) return;
    if (depth >= kMaxIncludeDepth) {
      Fail(L"includes nested too deeply at " + source);
      return;
    }
    if (++m_includes > kMaxIncludes) {
      Fail(L"too many includes at " + source);
      return;
    }
    std::string bytes;
    if (!m_read || !m_read(source, &bytes)) {
      Fail(L"missing include " + source);
      return;
    }
    auto doc = std::make_unique<pugi::xml_document>();
    if (!Parse(bytes, source, doc.get())) return;
    for (pugi::xml_node c : doc->document_element().children()) each(c, depth + 1);
    m_docs.push_back(std::move(doc));
  }

  // Children of a Window element: fonts, includes, and the root control(s).
  void WalkWindow(pugi::xml_node parent, std::vector<std::unique_ptr<CControlUI>>* roots, int depth) {
    for (pugi::xml_node n : parent.children()) WindowChild(n, roots, depth);
  }

  void WindowChild(pugi::xml_node n, std::vector<std::unique_ptr<CControlUI>>* roots, int depth) {
    if (n.type() != pugi::node_element) return;
    std::string tag = n.name();
    if (tag == "Font") AddFont(n);
    else if (tag == "Include") Include(n, depth, [&](pugi::xml_node c, int d) { WindowChild(c, roots, d); });
    else if (tag == "Default" || tag == "Style" || tag == "Image") return;
    else if (CControlUI* c = Create(n, depth)) roots->emplace_back(c);
  }

  CControlUI* Make(const std::wstring& cls) {
    if (CControlUI* c = CreateBuiltinControl(cls)) return c;
    if (m_callback) return m_callback->CreateControl(cls);
    return nullptr;
  }

  // One control element and its subtree; unknown elements are skipped whole.
  CControlUI* Create(pugi::xml_node n, int depth) {
    if (m_nesting >= kMaxNesting) {
      Fail(L"controls nested too deeply");
      return nullptr;
    }
    CControlUI* c = Make(FromUtf8(n.name()));
    if (!c) return nullptr;
    for (pugi::xml_attribute a : n.attributes()) c->SetAttribute(FromUtf8(a.name()), FromUtf8(a.value()));
    if (auto* box = ControlCast<CContainerUI>(c)) {
      ++m_nesting;
      AddChildren(box, n, depth);
      --m_nesting;
    }
    return c;
  }

  void AddChildren(CContainerUI* box, pugi::xml_node n, int depth) {
    for (pugi::xml_node ch : n.children()) ContainerChild(box, ch, depth);
  }

  void ContainerChild(CContainerUI* box, pugi::xml_node ch, int depth) {
    if (ch.type() != pugi::node_element) return;
    if (std::string(ch.name()) == "Include") {
      Include(ch, depth, [&](pugi::xml_node c, int d) { ContainerChild(box, c, d); });
      return;
    }
    if (CControlUI* child = Create(ch, depth)) box->Add(child);
  }

  const FileReader& m_read;
  IDialogBuilderCallback* m_callback;
  WindowSpec* m_window;
  std::wstring* m_error;
  std::vector<std::unique_ptr<pugi::xml_document>> m_docs;
  int m_includes = 0;
  int m_nesting = 0;
};

}  // namespace

CControlUI* CreateBuiltinControl(const std::wstring& className) {
  auto it = Factory().find(className);
  return it == Factory().end() ? nullptr : it->second();
}

void RegisterControlClass(const std::wstring& className, std::function<CControlUI*()> factory) {
  Factory()[className] = std::move(factory);
}

std::unique_ptr<CControlUI> BuildMarkupText(const std::string& xml, const FileReader& read,
                                            IDialogBuilderCallback* callback, WindowSpec* window,
                                            std::wstring* error) {
  Builder b(read, callback, window, error);
  return b.Run(xml, L"markup");
}

std::unique_ptr<CControlUI> BuildMarkup(const std::wstring& file, const FileReader& read,
                                        IDialogBuilderCallback* callback, WindowSpec* window,
                                        std::wstring* error) {
  std::string xml;
  if (!read || !read(file, &xml)) {
    if (error) *error = L"missing " + file;
    return nullptr;
  }
  Builder b(read, callback, window, error);
  return b.Run(xml, file);
}

}  // namespace skin
