#include "uitoolkit/skin/SkinLoader.h"

#include <pugixml.hpp>

#include "platform/text.h"
#include "uitoolkit/controls/Button.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/controls/Label.h"
#include "uitoolkit/controls/Option.h"
#include "uitoolkit/controls/Progress.h"
#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/skin/SkinArchive.h"

namespace ui {
namespace {

// Deeper nesting than any window needs is refused rather than recursed into.
constexpr int kMaxDepth = 64;
constexpr int kMaxWindowSide = 8192;

std::wstring Wide(const char* utf8) { return platform::Utf8ToWide(utf8 ? utf8 : ""); }

void ReadWindowAttributes(const pugi::xml_node& node, WindowDesc* window) {
  for (const pugi::xml_attribute& a : node.attributes()) {
    const std::wstring name = Wide(a.name());
    const std::wstring value = Wide(a.value());
    Size size;
    Rect rect;
    if (name == L"size" && ParseSize(value, &size)) window->size = size;
    else if (name == L"mininfo" && ParseSize(value, &size)) window->minInfo = size;
    else if (name == L"maxinfo" && ParseSize(value, &size)) window->maxInfo = size;
    else if (name == L"caption" && ParseRect(value, &rect)) window->caption = rect;
    else if (name == L"shadowimage") window->shadowImage = value;
    else if (name == L"shadowcorner" && ParseRect(value, &rect)) window->shadowCorner = rect;
    else if (name == L"roundcorner" && ParseSize(value, &size)) window->roundCorner = size;
  }
  // No screen is larger; a skin asking for more would only make every paint allocate gigabytes.
  window->size.cx = std::clamp(window->size.cx, 0, kMaxWindowSide);
  window->size.cy = std::clamp(window->size.cy, 0, kMaxWindowSide);
}

void ReadFont(const pugi::xml_node& node, WindowDesc* window) {
  FontDesc font;
  int id = 0;
  bool isDefault = false;
  for (const pugi::xml_attribute& a : node.attributes()) {
    const std::wstring name = Wide(a.name());
    const std::wstring value = Wide(a.value());
    int number;
    bool flag;
    if (name == L"id" && ParseInt(value, &number)) id = number;
    else if (name == L"name" && !value.empty()) font.name = value;
    else if (name == L"size" && ParseInt(value, &number) && number > 0) font.size = std::min(number, 400);
    else if (name == L"bold" && ParseBool(value, &flag)) font.bold = flag;
    else if (name == L"italic" && ParseBool(value, &flag)) font.italic = flag;
    else if (name == L"underline" && ParseBool(value, &flag)) font.underline = flag;
    else if (name == L"default" && ParseBool(value, &flag)) isDefault = flag;
  }
  window->fonts.Add(id, font, isDefault);
}

std::unique_ptr<Control> BuildControl(const pugi::xml_node& node, int depth) {
  std::unique_ptr<Control> control = CreateControl(Wide(node.name()));
  if (!control) return nullptr;
  for (const pugi::xml_attribute& a : node.attributes()) control->SetAttribute(Wide(a.name()), Wide(a.value()));
  if (auto* container = dynamic_cast<Container*>(control.get()); container && depth < kMaxDepth) {
    for (const pugi::xml_node& child : node.children()) {
      if (child.type() != pugi::node_element) continue;
      if (auto built = BuildControl(child, depth + 1)) container->Add(std::move(built));
    }
  }
  return control;
}

}  // namespace

std::unique_ptr<Control> CreateControl(std::wstring_view kind) {
  if (kind == L"Control") return std::make_unique<Control>();
  if (kind == L"Container") return std::make_unique<Container>();
  if (kind == L"VerticalLayout") return std::make_unique<VerticalLayout>();
  if (kind == L"HorizontalLayout") return std::make_unique<HorizontalLayout>();
  if (kind == L"TabLayout") return std::make_unique<TabLayout>();
  if (kind == L"Label" || kind == L"Text") return std::make_unique<Label>();
  if (kind == L"Button") return std::make_unique<Button>();
  if (kind == L"Option") return std::make_unique<Option>();
  if (kind == L"Edit") return std::make_unique<Edit>();
  if (kind == L"Progress") return std::make_unique<Progress>();
  return nullptr;
}

std::unique_ptr<Control> ParseWindowSkin(const std::string& xml, WindowDesc* window, std::string* error) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed) {
    *error = std::string("XML error at offset ") + std::to_string(parsed.offset) + ": " + parsed.description();
    return nullptr;
  }
  const pugi::xml_node root = doc.child("Window");
  if (!root) {
    *error = "no Window element";
    return nullptr;
  }
  ReadWindowAttributes(root, window);
  std::unique_ptr<Control> content;
  for (const pugi::xml_node& child : root.children()) {
    if (child.type() != pugi::node_element) continue;
    if (std::string_view(child.name()) == "Font") {
      ReadFont(child, window);
    } else if (!content) {
      content = BuildControl(child, 0);
      if (content && !dynamic_cast<Container*>(content.get())) content.reset();
    }
  }
  if (!content) *error = "no root container";
  return content;
}

std::unique_ptr<Control> LoadWindowSkin(SkinArchive& skin, const std::wstring& fileName, WindowDesc* window,
                                        std::string* error) {
  std::string xml;
  if (!skin.Read(fileName, &xml)) {
    *error = "the skin has no file " + platform::WideToUtf8(fileName);
    return nullptr;
  }
  return ParseWindowSkin(xml, window, error);
}

}  // namespace ui
