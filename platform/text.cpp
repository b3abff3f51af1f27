#include "platform/text.h"

#include <cwctype>
#include <limits>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i], advancing i; malformed input yields U+FFFD and skips one
// byte, so decoding always makes progress.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + len > text.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || IsSurrogate(c)) {
    ++i;
    return kReplacement;
  }
  i += len;
  return c;
}

template <typename Int>
Int ParseDecimal(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  // Out-of-range text saturates, as the C runtime's conversion does.
  constexpr Int kMax = std::numeric_limits<Int>::max();
  constexpr Int kMin = std::numeric_limits<Int>::min();
  Int value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const int digit = text[i] - L'0';
    if (!negative) {
      if (value > (kMax - digit) / 10) return kMax;
      value = value * 10 + digit;
    } else {
      if (value < (kMin + digit) / 10) return kMin;
      value = value * 10 - digit;
    }
  }
  return value;
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    const auto c = static_cast<char32_t>(w);
    AppendUtf8(c > 0x10FFFF || IsSurrogate(c) ? kReplacement : c, out);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out += static_cast<wchar_t>(DecodeUtf8(text, i));
  return out;
}

std::string WideToAnsi(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    const auto c = static_cast<char32_t>(w);
    if (c > 0x10FFFF || IsSurrogate(c))
      out += ' ';
    else
      AppendUtf8(c, out);
  }
  return out;
}

std::wstring AnsiToWide(std::string_view text) { return Utf8ToWide(text); }

std::u16string WideToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    auto c = static_cast<char32_t>(w);
    if (c > 0x10FFFF) c = kReplacement;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::wstring Utf16ToWide(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out += static_cast<wchar_t>(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else {
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}

void AppendUtf16LE(std::wstring_view text, std::string& out) {
  for (char16_t u : WideToUtf16(text)) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
}

std::wstring Utf16LEToWide(const void* bytes, size_t byteCount) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::u16string units(byteCount / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return Utf16ToWide(units);
}

int CompareUtf16(std::wstring_view a, std::wstring_view b) {
  // Walks both texts as UTF-16 code units, so that every text (lone surrogates included) sorts
  // exactly as its UTF-16 form does.
  struct Units {
    std::wstring_view text;
    size_t index = 0;
    int pendingLow = -1;
    bool Next(uint32_t& unit) {
      if (pendingLow >= 0) {
        unit = static_cast<uint32_t>(pendingLow);
        pendingLow = -1;
        return true;
      }
      if (index >= text.size()) return false;
      const auto c = static_cast<uint32_t>(text[index++]);
      if (c >= 0x10000 && c <= 0x10FFFF) {
        unit = 0xD800 + ((c - 0x10000) >> 10);
        pendingLow = static_cast<int>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        unit = c > 0x10FFFF ? 0xFFFD : c;
      }
      return true;
    }
  };
  Units ua{a}, ub{b};
  for (;;) {
    uint32_t x = 0, y = 0;
    const bool hasA = ua.Next(x), hasB = ub.Next(y);
    if (!hasA || !hasB) return hasA == hasB ? 0 : (hasA ? 1 : -1);
    if (x != y) return x < y ? -1 : 1;
  }
}

std::wstring IntToWide(int32_t value) { return std::to_wstring(value); }
std::wstring UIntToWide(uint32_t value) { return std::to_wstring(value); }
int32_t WideToInt32(std::wstring_view text) { return ParseDecimal<int32_t>(text); }
int64_t WideToInt64(std::wstring_view text) { return ParseDecimal<int64_t>(text); }

std::wstring Trim(std::wstring_view text) {
  size_t b = 0, e = text.size();
  while (b < e && std::iswspace(static_cast<wint_t>(text[b]))) ++b;
  while (e > b && std::iswspace(static_cast<wint_t>(text[e - 1]))) --e;
  return std::wstring(text.substr(b, e - b));
}

std::string Trim(std::string_view text) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
  size_t b = 0, e = text.size();
  while (b < e && space(text[b])) ++b;
  while (e > b && space(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace platform
