#include "platform/format.h"

#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace platform {

int64_t FormatArg::AsSigned() const {
  switch (kind_) {
    case Kind::kSigned: return i_;
    case Kind::kUnsigned: return static_cast<int64_t>(u_);
    case Kind::kDouble: return static_cast<int64_t>(d_);
    case Kind::kPointer: return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p_));
    default: return 0;
  }
}

double FormatArg::AsDouble() const {
  switch (kind_) {
    case Kind::kDouble: return d_;
    case Kind::kSigned: return static_cast<double>(i_);
    case Kind::kUnsigned: return static_cast<double>(u_);
    default: return 0.0;
  }
}

namespace {

// One conversion (%[flags][width][.precision][length]type), parsed.
struct Spec {
  std::string flags;
  int width = -1;
  int precision = -1;
  int bits = 32;  // integer size from the length modifier
  char conv = 0;
};

template <typename Ch>
void AppendAscii(std::basic_string<Ch>& out, const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i) out += static_cast<Ch>(static_cast<unsigned char>(text[i]));
}

template <typename Ch>
std::basic_string<Ch> StringArg(const FormatArg* arg);

template <>
std::wstring StringArg<wchar_t>(const FormatArg* arg) {
  if (arg == nullptr) return std::wstring();
  if (arg->kind() == FormatArg::Kind::kWide) return arg->wide() ? std::wstring(arg->wide()) : L"(null)";
  if (arg->kind() == FormatArg::Kind::kNarrow) return arg->narrow() ? AnsiToWide(arg->narrow()) : L"(null)";
  return std::wstring();
}

template <>
std::string StringArg<char>(const FormatArg* arg) {
  if (arg == nullptr) return std::string();
  if (arg->kind() == FormatArg::Kind::kNarrow) return arg->narrow() ? std::string(arg->narrow()) : "(null)";
  if (arg->kind() == FormatArg::Kind::kWide) return arg->wide() ? WideToAnsi(arg->wide()) : "(null)";
  return std::string();
}

template <typename Ch>
void Pad(std::basic_string<Ch>& out, const std::basic_string<Ch>& body, const Spec& spec) {
  const bool left = spec.flags.find('-') != std::string::npos;
  const size_t pad = spec.width > 0 && static_cast<size_t>(spec.width) > body.size() ? spec.width - body.size() : 0;
  if (!left) out.append(pad, Ch(' '));
  out += body;
  if (left) out.append(pad, Ch(' '));
}

// Formats a number through the C library with a rebuilt narrow conversion.
template <typename Ch>
void AppendNumber(std::basic_string<Ch>& out, const Spec& spec, const FormatArg* arg) {
  std::string f = "%" + spec.flags;
  if (spec.width >= 0) f += std::to_string(spec.width);
  if (spec.precision >= 0) f += "." + std::to_string(spec.precision);
  char buffer[512];
  int n = 0;
  switch (spec.conv) {
    case 'd':
    case 'i': {
      int64_t v = arg ? arg->AsSigned() : 0;
      if (spec.bits == 32) v = static_cast<int32_t>(v);
      if (spec.bits == 16) v = static_cast<int16_t>(v);
      if (spec.bits == 8) v = static_cast<int8_t>(v);
      f += "lld";
      n = std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<long long>(v));
      break;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      uint64_t v = arg ? arg->AsUnsigned() : 0;
      if (spec.bits == 32) v = static_cast<uint32_t>(v);
      if (spec.bits == 16) v = static_cast<uint16_t>(v);
      if (spec.bits == 8) v = static_cast<uint8_t>(v);
      f += "ll";
      f += spec.conv;
      n = std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<unsigned long long>(v));
      break;
    }
    case 'p': {
      // Windows prints a pointer as zero-padded upper-case hex of the pointer's width.
      f = "%0" + std::to_string(2 * sizeof(void*)) + "llX";
      n = std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<unsigned long long>(arg ? arg->AsUnsigned() : 0));
      break;
    }
    default: {
      f += spec.conv;
      n = std::snprintf(buffer, sizeof buffer, f.c_str(), arg ? arg->AsDouble() : 0.0);
      break;
    }
  }
  if (n > 0) AppendAscii(out, buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

template <typename Ch>
std::basic_string<Ch> Format(const Ch* format, std::span<const FormatArg> args) {
  std::basic_string<Ch> out;
  if (format == nullptr) return out;
  size_t next = 0;
  auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
  for (const Ch* p = format; *p;) {
    if (*p != Ch('%')) {
      out += *p++;
      continue;
    }
    ++p;
    if (*p == Ch('%')) {
      out += *p++;
      continue;
    }
    Spec spec;
    while (*p == Ch('-') || *p == Ch('+') || *p == Ch(' ') || *p == Ch('#') || *p == Ch('0')) spec.flags += char(*p++);
    if (*p == Ch('*')) {
      const FormatArg* a = take();
      spec.width = a ? static_cast<int>(a->AsSigned()) : 0;
      if (spec.width < 0) spec.flags += '-', spec.width = -spec.width;
      ++p;
    } else {
      for (; *p >= Ch('0') && *p <= Ch('9'); ++p) spec.width = (spec.width < 0 ? 0 : spec.width) * 10 + (*p - Ch('0'));
    }
    if (*p == Ch('.')) {
      ++p;
      spec.precision = 0;
      if (*p == Ch('*')) {
        const FormatArg* a = take();
        spec.precision = a ? static_cast<int>(a->AsSigned()) : 0;
        if (spec.precision < 0) spec.precision = -1;
        ++p;
      } else {
        for (; *p >= Ch('0') && *p <= Ch('9'); ++p) spec.precision = spec.precision * 10 + (*p - Ch('0'));
      }
    }
    // Length modifiers, Windows style: l is 32 bits; ll, I64, j, z, t and I are 64 here.
    for (bool more = true; more && *p;) {
      switch (*p) {
        case Ch('h'): spec.bits = spec.bits == 16 ? 8 : 16, ++p; break;
        case Ch('l'): spec.bits = p[1] == Ch('l') ? (p += 2, 64) : (++p, 32); break;
        case Ch('L'): case Ch('w'): ++p; break;
        case Ch('j'): case Ch('z'): case Ch('t'): spec.bits = 64, ++p; break;
        case Ch('I'):
          if (p[1] == Ch('6') && p[2] == Ch('4')) spec.bits = 64, p += 3;
          else if (p[1] == Ch('3') && p[2] == Ch('2')) spec.bits = 32, p += 3;
          else spec.bits = 64, ++p;
          break;
        default: more = false;
      }
    }
    if (!*p) break;
    spec.conv = static_cast<char>(*p++);
    switch (spec.conv) {
      case 's':
      case 'S':
      case 'Z': {
        std::basic_string<Ch> s = StringArg<Ch>(take());
        if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < s.size()) s.resize(spec.precision);
        Pad(out, s, spec);
        break;
      }
      case 'c':
      case 'C': {
        const FormatArg* a = take();
        const auto code = static_cast<uint32_t>(a ? a->AsUnsigned() : 0);
        std::basic_string<Ch> s;
        if constexpr (sizeof(Ch) == 1) s = WideToAnsi(std::wstring(1, static_cast<wchar_t>(code)));
        else s = std::wstring(1, static_cast<wchar_t>(code));
        Pad(out, s, spec);
        break;
      }
      case 'n':
        take();
        break;
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'p':
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        AppendNumber(out, spec, take());
        break;
      default:
        // An unknown conversion is copied as it stands.
        out += Ch('%');
        out += static_cast<Ch>(spec.conv);
        break;
    }
  }
  return out;
}

}  // namespace

std::wstring VFormat(const wchar_t* format, std::span<const FormatArg> args) { return Format(format, args); }
std::string VFormat(const char* format, std::span<const FormatArg> args) { return Format(format, args); }

}  // namespace platform
