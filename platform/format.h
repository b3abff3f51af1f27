// printf-style formatting with the Windows C runtime's conventions, for wide and narrow text.
//
// Arguments are carried with their type (FormatArg), so a mismatch between a conversion and an
// argument cannot read garbage: a string conversion prints the string whether it was passed wide or
// narrow ("%s" in a wide format takes a wide string, as on Windows; a narrow one is converted), a
// missing argument prints as 0 or as an empty string. Length modifiers follow the Windows rules:
// "%ld" is 32 bits, "%I64u", "%lld" and "%llu" are 64 bits.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>

namespace platform {

class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kDouble, kWide, kNarrow, kPointer };

  template <typename T>
    requires(std::is_integral_v<T> && std::is_signed_v<T>)
  FormatArg(T v) : kind_(Kind::kSigned), i_(v) {}
  template <typename T>
    requires(std::is_integral_v<T> && std::is_unsigned_v<T>)
  FormatArg(T v) : kind_(Kind::kUnsigned), u_(v) {}
  template <typename T>
    requires std::is_enum_v<T>
  FormatArg(T v) : FormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
  FormatArg(double v) : kind_(Kind::kDouble), d_(v) {}
  FormatArg(const wchar_t* s) : kind_(Kind::kWide), ws_(s) {}
  FormatArg(const std::wstring& s) : kind_(Kind::kWide), ws_(s.c_str()) {}
  FormatArg(const char* s) : kind_(Kind::kNarrow), ns_(s) {}
  FormatArg(const std::string& s) : kind_(Kind::kNarrow), ns_(s.c_str()) {}
  FormatArg(const void* p) : kind_(Kind::kPointer), p_(p) {}

  Kind kind() const { return kind_; }
  int64_t AsSigned() const;
  uint64_t AsUnsigned() const { return static_cast<uint64_t>(AsSigned()); }
  double AsDouble() const;
  const wchar_t* wide() const { return kind_ == Kind::kWide ? ws_ : nullptr; }
  const char* narrow() const { return kind_ == Kind::kNarrow ? ns_ : nullptr; }

 private:
  Kind kind_;
  union {
    int64_t i_;
    uint64_t u_;
    double d_;
    const wchar_t* ws_;
    const char* ns_;
    const void* p_;
  };
};

std::wstring VFormat(const wchar_t* format, std::span<const FormatArg> args);
std::string VFormat(const char* format, std::span<const FormatArg> args);

template <typename... Args>
std::wstring StrFormat(const wchar_t* format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
  return VFormat(format, packed);
}

template <typename... Args>
std::string StrFormat(const char* format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
  return VFormat(format, packed);
}

}  // namespace platform
