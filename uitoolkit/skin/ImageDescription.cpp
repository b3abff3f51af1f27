#include "uitoolkit/skin/ImageDescription.h"

#include <cwctype>

#include "uitoolkit/skin/Attributes.h"

namespace ui {
namespace {

bool IsSpace(wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }
bool IsKeyChar(wchar_t c) { return std::iswalnum(static_cast<wint_t>(c)) || c == L'_'; }

void SkipSpaces(std::wstring_view text, size_t* i) {
  while (*i < text.size() && IsSpace(text[*i])) ++*i;
}

// Applies one key to the layer; false for a key that starts nothing and a value that does not read.
void ApplyKey(std::wstring_view key, std::wstring_view value, ImageLayer* layer) {
  Rect rect;
  bool flag = false;
  int number = 0;
  if (key == L"file" || key == L"res") {
    layer->file.assign(value);
  } else if (key == L"source" && ParseRect(value, &rect)) {
    layer->source = rect;
    layer->hasSource = true;
  } else if (key == L"dest" && ParseRect(value, &rect)) {
    layer->dest = rect;
    layer->hasDest = true;
  } else if (key == L"corner" && ParseRect(value, &rect)) {
    layer->corner = rect;
  } else if (key == L"hole" && ParseBool(value, &flag)) {
    layer->hole = flag;
  } else if (key == L"xtiled" && ParseBool(value, &flag)) {
    layer->xtiled = flag;
  } else if (key == L"ytiled" && ParseBool(value, &flag)) {
    layer->ytiled = flag;
  } else if (key == L"fade" && ParseInt(value, &number)) {
    layer->fade = static_cast<uint8_t>(std::clamp(number, 0, 255));
  }
}

void Finish(ImageLayer* layer, std::vector<ImageLayer>* layers) {
  if (!layer->file.empty()) layers->push_back(std::move(*layer));
  *layer = ImageLayer{};
}

}  // namespace

std::vector<ImageLayer> ParseImageDescription(std::wstring_view text) {
  std::vector<ImageLayer> layers;
  size_t i = 0;
  SkipSpaces(text, &i);
  if (i == text.size()) return layers;
  if (text.find(L'=') == std::wstring_view::npos) {
    size_t end = text.size();
    while (end > i && IsSpace(text[end - 1])) --end;
    ImageLayer bare;
    bare.file.assign(text.substr(i, end - i));
    layers.push_back(std::move(bare));
    return layers;
  }

  ImageLayer layer;
  while (i < text.size()) {
    SkipSpaces(text, &i);
    const size_t keyStart = i;
    while (i < text.size() && IsKeyChar(text[i])) ++i;
    const std::wstring_view key = text.substr(keyStart, i - keyStart);
    SkipSpaces(text, &i);
    if (key.empty()) {
      // Not a key at all: skip to the next blank and look again.
      while (i < text.size() && !IsSpace(text[i])) ++i;
      continue;
    }
    if (i >= text.size() || text[i] != L'=') continue;  // a key without a value
    ++i;
    SkipSpaces(text, &i);
    std::wstring_view value;
    if (i < text.size() && (text[i] == L'\'' || text[i] == L'"')) {
      const wchar_t quote = text[i++];
      const size_t close = text.find(quote, i);
      if (close == std::wstring_view::npos) break;  // an unterminated value ends the attribute
      value = text.substr(i, close - i);
      i = close + 1;
    } else {
      const size_t start = i;
      while (i < text.size() && !IsSpace(text[i])) ++i;
      value = text.substr(start, i - start);
    }
    // A second "file" begins the next description.
    if ((key == L"file" || key == L"res") && !layer.file.empty()) Finish(&layer, &layers);
    ApplyKey(key, value, &layer);
  }
  Finish(&layer, &layers);
  return layers;
}

}  // namespace ui
