#include "uitoolkit/skin/Attributes.h"

#include <cwctype>
#include <string>
#include <vector>

namespace ui {
namespace {

std::wstring_view TrimSpaces(std::wstring_view text) {
  while (!text.empty() && std::iswspace(static_cast<wint_t>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::iswspace(static_cast<wint_t>(text.back()))) text.remove_suffix(1);
  return text;
}

bool ParseIntList(std::wstring_view text, std::vector<int>* values, size_t count) {
  values->clear();
  for (;;) {
    const size_t comma = text.find(L',');
    int value = 0;
    if (!ParseInt(text.substr(0, comma), &value)) return false;
    values->push_back(value);
    if (comma == std::wstring_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return values->size() == count;
}

}  // namespace

bool ParseInt(std::wstring_view text, int* value) {
  text = TrimSpaces(text);
  bool negative = false;
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  long long magnitude = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    magnitude = std::min<long long>(magnitude * 10 + (c - L'0'), kMaxCoordinate);
  }
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

bool ParseRect(std::wstring_view text, Rect* rect) {
  std::vector<int> v;
  if (!ParseIntList(text, &v, 4)) return false;
  *rect = Rect{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(std::wstring_view text, Size* size) {
  std::vector<int> v;
  if (!ParseIntList(text, &v, 2)) return false;
  *size = Size{v[0], v[1]};
  return true;
}

bool ParseColor(std::wstring_view text, Color* color) {
  text = TrimSpaces(text);
  if (!text.empty() && text.front() == L'#') text.remove_prefix(1);
  else if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) text.remove_prefix(2);
  if (text.size() != 8 && text.size() != 6) return false;
  uint32_t value = 0;
  for (wchar_t c : text) {
    if (!std::iswxdigit(static_cast<wint_t>(c))) return false;
    const uint32_t digit = c <= L'9' ? c - L'0' : (std::towlower(static_cast<wint_t>(c)) - L'a' + 10);
    value = (value << 4) | digit;
  }
  *color = text.size() == 6 ? (0xFF000000u | value) : value;
  return true;
}

bool ParseBool(std::wstring_view text, bool* value) {
  text = TrimSpaces(text);
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  if (lower == L"true" || lower == L"1") *value = true;
  else if (lower == L"false" || lower == L"0") *value = false;
  else return false;
  return true;
}

}  // namespace ui
