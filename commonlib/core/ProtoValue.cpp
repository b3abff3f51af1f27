#include "commonlib/core/ProtoValue.h"

#include <utility>

namespace {

const ProtoValue& SharedNull() {
  static const ProtoValue null;
  return null;
}

const std::wstring& SharedEmptyString() {
  static const std::wstring empty;
  return empty;
}

[[noreturn]] void Throw(int32_t code, const wchar_t* message, int line) {
  throw ProtoValueException(code, message, __FILE__, line);
}

}  // namespace

ProtoValue::ProtoValue(ProtoValueType type) {
  switch (type) {
    case PV_INTEGER: m_payload.emplace<PV_INTEGER>(0); break;
    case PV_REAL: m_payload.emplace<PV_REAL>(0.0); break;
    case PV_BINARY: m_payload.emplace<PV_BINARY>(std::make_unique<std::string>()); break;
    case PV_STRING: m_payload.emplace<PV_STRING>(std::make_unique<std::wstring>()); break;
    case PV_ARRAY: m_payload.emplace<PV_ARRAY>(std::make_unique<Array>()); break;
    case PV_MAP: m_payload.emplace<PV_MAP>(std::make_unique<Map>()); break;
    default: break;
  }
}

ProtoValue::ProtoValue(const std::wstring& text)
    : m_payload(std::in_place_index<PV_STRING>, std::make_unique<std::wstring>(text)) {}

ProtoValue::ProtoValue(const wchar_t* text)
    : m_payload(std::in_place_index<PV_STRING>, std::make_unique<std::wstring>(text ? text : L"")) {}

ProtoValue::ProtoValue(const wchar_t* text, size_t length)
    : m_payload(std::in_place_index<PV_STRING>,
                std::make_unique<std::wstring>(text ? std::wstring(text, length) : std::wstring())) {}

ProtoValue::ProtoValue(const void* bytes, size_t length)
    : m_payload(std::in_place_index<PV_BINARY>,
                std::make_unique<std::string>(bytes ? std::string(static_cast<const char*>(bytes), length)
                                                    : std::string())) {}

ProtoValue::ProtoValue(const ProtoValue& other) {
  switch (other.type()) {
    case PV_NULL: break;
    case PV_INTEGER: m_payload.emplace<PV_INTEGER>(std::get<PV_INTEGER>(other.m_payload)); break;
    case PV_REAL: m_payload.emplace<PV_REAL>(std::get<PV_REAL>(other.m_payload)); break;
    case PV_BINARY:
      m_payload.emplace<PV_BINARY>(std::make_unique<std::string>(*std::get<PV_BINARY>(other.m_payload)));
      break;
    case PV_STRING:
      m_payload.emplace<PV_STRING>(std::make_unique<std::wstring>(*std::get<PV_STRING>(other.m_payload)));
      break;
    case PV_ARRAY:
      m_payload.emplace<PV_ARRAY>(std::make_unique<Array>(*std::get<PV_ARRAY>(other.m_payload)));
      break;
    case PV_MAP: m_payload.emplace<PV_MAP>(std::make_unique<Map>(*std::get<PV_MAP>(other.m_payload))); break;
  }
}

// A moved-from value is null, never a container kind without its container.
ProtoValue::ProtoValue(ProtoValue&& other) noexcept : m_payload(std::exchange(other.m_payload, Payload())) {}

ProtoValue& ProtoValue::operator=(const ProtoValue& other) {
  ProtoValue copy(other);
  swap(copy);
  return *this;
}

ProtoValue& ProtoValue::operator=(ProtoValue&& other) noexcept {
  ProtoValue taken(std::move(other));
  swap(taken);
  return *this;
}

ProtoValue::~ProtoValue() = default;

int64_t ProtoValue::integer() const {
  if (type() == PV_NULL) return 0;
  if (type() != PV_INTEGER) Throw(PV_ERROR_WRONG_TYPE, L"ProtoValue::integer wrong type", __LINE__);
  return std::get<PV_INTEGER>(m_payload);
}

double ProtoValue::real() const {
  if (type() == PV_NULL) return 0.0;
  if (type() != PV_REAL) Throw(PV_ERROR_WRONG_TYPE, L"ProtoValue::real wrong type", __LINE__);
  return std::get<PV_REAL>(m_payload);
}

const std::wstring& ProtoValue::string() const {
  if (type() == PV_NULL) return SharedEmptyString();
  if (type() != PV_STRING) Throw(PV_ERROR_WRONG_TYPE, L"ProtoValue::string wrong type", __LINE__);
  return *std::get<PV_STRING>(m_payload);
}

ProtoValue& ProtoValue::Element(uint64_t index) {
  if (type() == PV_NULL) m_payload.emplace<PV_ARRAY>(std::make_unique<Array>());
  if (type() != PV_ARRAY) Throw(PV_ERROR_OUT_OF_RANGE, L"ProtoValue operator[int] out of range", __LINE__);
  Array& array = *std::get<PV_ARRAY>(m_payload);
  if (index < array.size()) return array[index];
  if (index > array.size()) Throw(PV_ERROR_OUT_OF_RANGE, L"ProtoValue operator[int] out of range", __LINE__);
  return array.emplace_back();
}

ProtoValue::Map& ProtoValue::MapForIndexing() {
  if (type() == PV_NULL) m_payload.emplace<PV_MAP>(std::make_unique<Map>());
  if (type() != PV_MAP) Throw(PV_ERROR_NOT_A_MAP, L"ProtoValue operator[string] wrong type", __LINE__);
  return *std::get<PV_MAP>(m_payload);
}

ProtoValue& ProtoValue::operator[](const wchar_t* key) { return MapForIndexing()[key ? key : L""]; }

ProtoValue& ProtoValue::operator[](const std::wstring& key) { return MapForIndexing()[key]; }

const ProtoValue& ProtoValue::Lookup(const std::wstring& key) const {
  const Map* map = GetMap();
  if (map == nullptr) return SharedNull();
  const auto found = map->find(key);
  return found == map->end() ? SharedNull() : found->second;
}

const ProtoValue& ProtoValue::Lookup(const wchar_t* key) const {
  if (GetMap() == nullptr) return SharedNull();
  return Lookup(std::wstring(key ? key : L""));
}

bool ProtoValue::HasKey(const std::wstring& key) const {
  const Map* map = GetMap();
  return map != nullptr && map->count(key) != 0;
}

size_t ProtoValue::size() const {
  if (const Array* array = GetArray()) return array->size();
  if (const Map* map = GetMap()) return map->size();
  return 0;
}

// Copied first: `value` may be this very value or one of its children.
void ProtoValue::push_back(const ProtoValue& value) { push_back(ProtoValue(value)); }

void ProtoValue::push_back(ProtoValue&& value) {
  if (type() != PV_NULL && type() != PV_ARRAY) {
    Throw(PV_ERROR_OUT_OF_RANGE, L"ProtoValue operator[int] out of range", __LINE__);
  }
  // Taken before this value changes, since it may be this very value or one of its children.
  ProtoValue taken(std::move(value));
  if (type() == PV_NULL) m_payload.emplace<PV_ARRAY>(std::make_unique<Array>());
  std::get<PV_ARRAY>(m_payload)->push_back(std::move(taken));
}

const std::string* ProtoValue::GetBinary() const {
  return type() == PV_BINARY ? std::get<PV_BINARY>(m_payload).get() : nullptr;
}

const ProtoValue::Array* ProtoValue::GetArray() const {
  return type() == PV_ARRAY ? std::get<PV_ARRAY>(m_payload).get() : nullptr;
}

const ProtoValue::Map* ProtoValue::GetMap() const {
  return type() == PV_MAP ? std::get<PV_MAP>(m_payload).get() : nullptr;
}

bool ProtoValue::operator==(const ProtoValue& other) const {
  if (type() != other.type()) return false;
  switch (type()) {
    case PV_NULL: return true;
    case PV_INTEGER: return std::get<PV_INTEGER>(m_payload) == std::get<PV_INTEGER>(other.m_payload);
    case PV_REAL: return std::get<PV_REAL>(m_payload) == std::get<PV_REAL>(other.m_payload);
    case PV_BINARY: return *GetBinary() == *other.GetBinary();
    case PV_STRING: return *std::get<PV_STRING>(m_payload) == *std::get<PV_STRING>(other.m_payload);
    case PV_ARRAY: return *GetArray() == *other.GetArray();
    case PV_MAP: return *GetMap() == *other.GetMap();
  }
  return false;
}
