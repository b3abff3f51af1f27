// ProtoValue: the system's one dynamic value (null, 64-bit integer, double, byte string, wide
// string, array, map keyed by wide string) with deep-copy value semantics. Indexing a null value
// turns it into an array or a map and indexing a missing map entry creates it, so trees are built by
// chains of indexing and assignment:
//
//   ProtoValue v;
//   v[L"process"][L"total"] = total;
//
// The typed accessors throw ProtoValueException on a kind mismatch; code that reads untrusted trees
// guards with type(), size(), HasKey() and Lookup(), which never throw.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "commonlib/core/ExceptionImpl.h"
#include "platform/text.h"

// The numbers are part of the binary form (the kind byte).
enum ProtoValueType : int32_t {
  PV_NULL = 0,
  PV_INTEGER = 1,
  PV_REAL = 2,
  PV_BINARY = 3,
  PV_STRING = 4,
  PV_ARRAY = 5,
  PV_MAP = 6,
};

// Codes of ProtoValueException.
enum : int32_t {
  PV_ERROR_OUT_OF_RANGE = 1,  // "ProtoValue operator[int] out of range"
  PV_ERROR_NOT_A_MAP = 2,     // "ProtoValue operator[string] wrong type"
  PV_ERROR_WRONG_TYPE = 3,    // "ProtoValue::integer wrong type" and the like
};

class ProtoValueException : public IException {
 public:
  using IException::IException;
};

class ProtoValue {
 public:
  using Array = std::vector<ProtoValue>;
  // Keys sort by UTF-16 code unit, whatever wchar_t holds, so that iteration and the binary form
  // follow the same order on every platform.
  using Map = std::map<std::wstring, ProtoValue, platform::Utf16Less>;

  ProtoValue() noexcept = default;
  // An empty value of the kind (0, 0.0, "", [], {}); a number that is no kind gives null.
  explicit ProtoValue(ProtoValueType type);
  template <std::integral T>
  ProtoValue(T value) : m_payload(std::in_place_index<PV_INTEGER>, static_cast<int64_t>(value)) {}
  ProtoValue(double value) : m_payload(std::in_place_index<PV_REAL>, value) {}
  ProtoValue(const std::wstring& text);
  ProtoValue(const wchar_t* text);
  ProtoValue(const wchar_t* text, size_t length);
  // A byte string (PV_BINARY) holding a copy of the bytes.
  ProtoValue(const void* bytes, size_t length);

  ProtoValue(const ProtoValue& other);
  ProtoValue(ProtoValue&& other) noexcept;
  // Builds the copy first, so a failed copy leaves this value as it was.
  ProtoValue& operator=(const ProtoValue& other);
  ProtoValue& operator=(ProtoValue&& other) noexcept;
  ~ProtoValue();

  void swap(ProtoValue& other) noexcept { m_payload.swap(other.m_payload); }
  // Frees the payload; the value is null afterwards.
  void clear() noexcept { m_payload = Payload(); }

  ProtoValueType type() const { return static_cast<ProtoValueType>(m_payload.index()); }

  // Typed reads: a null value reads as 0, 0.0 or ""; any other kind but the matching one throws
  // code 3. Kinds are never converted.
  int64_t integer() const;
  double real() const;
  const std::wstring& string() const;

  // Element `index` of an array (a null value becomes an empty array first). An index equal to the
  // size appends a null element; beyond it, or on any other kind, throws code 1.
  template <std::integral T>
  ProtoValue& operator[](T index) {
    if constexpr (std::is_signed_v<T>) {
      if (index < 0) return Element(UINT64_MAX);
    }
    return Element(static_cast<uint64_t>(index));
  }
  // Entry `key` of a map, inserted as null when missing (a null value becomes an empty map first).
  // Any other kind throws code 2.
  ProtoValue& operator[](const wchar_t* key);
  ProtoValue& operator[](const std::wstring& key);

  // Read-only lookup: the entry if this is a map holding the key, else a shared null value.
  const ProtoValue& Lookup(const wchar_t* key) const;
  const ProtoValue& Lookup(const std::wstring& key) const;
  bool HasKey(const std::wstring& key) const;

  // Elements of an array, entries of a map; 0 for every other kind.
  size_t size() const;
  // Appends a copy (a null value becomes an array first); any other kind throws code 1 and leaves
  // `value` untouched.
  void push_back(const ProtoValue& value);
  void push_back(ProtoValue&& value);

  // The payloads, for the converters and serialisers; null when the value is of another kind.
  const std::string* GetBinary() const;
  const Array* GetArray() const;
  const Map* GetMap() const;

  // Deep equality: same kind and equal payloads (doubles compare as doubles).
  bool operator==(const ProtoValue& other) const;

 private:
  // Index i holds kind i. Heap payloads are owned by the value; copies clone them.
  using Payload = std::variant<std::monostate, int64_t, double, std::unique_ptr<std::string>,
                               std::unique_ptr<std::wstring>, std::unique_ptr<Array>, std::unique_ptr<Map>>;

  ProtoValue& Element(uint64_t index);
  Map& MapForIndexing();

  Payload m_payload;
};

inline void swap(ProtoValue& a, ProtoValue& b) noexcept { a.swap(b); }
