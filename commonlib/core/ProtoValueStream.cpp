#include "commonlib/core/ProtoValueStream.h"

#include <bit>
#include <climits>

#include "platform/text.h"

namespace {

constexpr size_t kMaxVarintBytes = 10;

size_t EncodeVarint(uint64_t value, uint8_t* out) {
  size_t n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<uint8_t>(value);
  return n;
}

// A scalar target keeps its value until a container read actually adds to it; then it gives way
// instead of making the read throw.
void PrepareContainer(ProtoValue& target, ProtoValueType kind) {
  if (target.type() != PV_NULL && target.type() != kind) target.clear();
}

}  // namespace

int IProtoValueStream::ReadVarint(uint64_t& value) {
  value = 0;
  if (Remaining() == 0) return 0;
  for (size_t i = 0; i < kMaxVarintBytes; ++i) {
    const uint8_t* byte = Take(1);
    if (byte == nullptr) return -1;
    value |= static_cast<uint64_t>(*byte & 0x7F) << (7 * i);
    if ((*byte & 0x80) == 0) return static_cast<int>(i + 1);
  }
  return -1;
}

int IProtoValueStream::Read(ProtoValue& target) {
  const size_t start = Position();
  switch (ReadValue(target, 0)) {
    case Status::kEnd: return 0;
    case Status::kBad: return -1;
    case Status::kOk: break;
  }
  const size_t consumed = Position() - start;
  return consumed > INT_MAX ? -1 : static_cast<int>(consumed);
}

bool IProtoValueStream::ReadLength(size_t& length) {
  uint64_t value = 0;
  if (ReadVarint(value) <= 0) return false;
  // Checked before anything is allocated: a hostile length must not cost memory.
  if (value > Remaining()) return false;
  length = static_cast<size_t>(value);
  return true;
}

IProtoValueStream::Status IProtoValueStream::ReadValue(ProtoValue& target, int depth) {
  const uint8_t* kind = Take(1);
  if (kind == nullptr) return Status::kEnd;
  switch (*kind) {
    case PV_NULL: target.clear(); return Status::kOk;
    case PV_INTEGER: {
      uint64_t value = 0;
      if (ReadVarint(value) <= 0) return Status::kBad;
      target = static_cast<int64_t>(value);
      return Status::kOk;
    }
    case PV_REAL: {
      const uint8_t* bytes = Take(8);
      if (bytes == nullptr) return Status::kBad;
      uint64_t bits = 0;
      for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes[i];
      target = std::bit_cast<double>(bits);
      return Status::kOk;
    }
    case PV_BINARY:
    case PV_STRING: {
      size_t length = 0;
      if (!ReadLength(length)) return Status::kBad;
      const uint8_t* bytes = Take(length);
      if (*kind == PV_BINARY) {
        target = ProtoValue(bytes, length);
      } else {
        target = platform::Utf16LEToWide(bytes, length);
      }
      return Status::kOk;
    }
    case PV_ARRAY: return ReadArray(target, depth) ? Status::kOk : Status::kBad;
    case PV_MAP: return ReadMap(target, depth) ? Status::kOk : Status::kBad;
    default: return Status::kBad;
  }
}

// Data that ends inside a container is truncated and fails the read, like any other truncation;
// a partial tree must not pass for a whole one.
bool IProtoValueStream::ReadArray(ProtoValue& target, int depth) {
  size_t count = 0;
  // Every element takes at least its kind byte, so the count is bounded by what remains.
  if (!ReadLength(count)) return false;
  if (count == 0) return true;
  if (depth + 1 > kProtoValueMaxNesting) return false;
  for (size_t i = 0; i < count; ++i) {
    ProtoValue element;
    if (ReadValue(element, depth + 1) != Status::kOk) return false;
    PrepareContainer(target, PV_ARRAY);
    target.push_back(std::move(element));
  }
  return true;
}

bool IProtoValueStream::ReadMap(ProtoValue& target, int depth) {
  size_t count = 0;
  if (!ReadLength(count)) return false;
  if (count == 0) return true;
  if (depth + 1 > kProtoValueMaxNesting) return false;
  for (size_t i = 0; i < count; ++i) {
    size_t keyLength = 0;
    if (!ReadLength(keyLength)) return false;
    const std::wstring key = platform::Utf16LEToWide(Take(keyLength), keyLength);
    ProtoValue value;
    if (ReadValue(value, depth + 1) != Status::kOk) return false;
    PrepareContainer(target, PV_MAP);
    target[key] = std::move(value);
  }
  return true;
}

int OProtoValueStream::WriteVarint(uint64_t value) {
  if (GetCapacity() >= GetLength() + kSpare) {
    const size_t n = EncodeVarint(value, Tail());
    Commit(n);
    return static_cast<int>(n);
  }
  uint8_t scratch[kMaxVarintBytes];
  const size_t n = EncodeVarint(value, scratch);
  Write(scratch, n);
  return static_cast<int>(n);
}

void OProtoValueStream::WriteUtf16(const std::wstring& text) {
  std::string bytes;
  platform::AppendUtf16LE(text, bytes);
  WriteVarint(bytes.size());
  Write(bytes.data(), bytes.size());
}

int OProtoValueStream::Write(const ProtoValue& value) {
  const size_t start = GetLength();
  if (!WriteValue(value, 0)) return -1;
  const size_t written = GetLength() - start;
  return written > INT_MAX ? -1 : static_cast<int>(written);
}

bool OProtoValueStream::WriteValue(const ProtoValue& value, int depth) {
  const uint8_t kind = static_cast<uint8_t>(value.type());
  Write(&kind, 1);
  switch (value.type()) {
    case PV_NULL: return true;
    case PV_INTEGER: WriteVarint(static_cast<uint64_t>(value.integer())); return true;
    case PV_REAL: {
      uint64_t bits = std::bit_cast<uint64_t>(value.real());
      uint8_t bytes[8];
      for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(bits);
        bits >>= 8;
      }
      Write(bytes, sizeof bytes);
      return true;
    }
    case PV_BINARY: {
      const std::string& bytes = *value.GetBinary();
      WriteVarint(bytes.size());
      Write(bytes.data(), bytes.size());
      return true;
    }
    case PV_STRING: WriteUtf16(value.string()); return true;
    case PV_ARRAY: {
      const ProtoValue::Array& array = *value.GetArray();
      WriteVarint(array.size());
      if (!array.empty() && depth + 1 > kProtoValueMaxNesting) return false;
      for (const ProtoValue& element : array) {
        if (!WriteValue(element, depth + 1)) return false;
      }
      return true;
    }
    case PV_MAP: {
      const ProtoValue::Map& map = *value.GetMap();
      WriteVarint(map.size());
      if (!map.empty() && depth + 1 > kProtoValueMaxNesting) return false;
      for (const auto& [key, entry] : map) {
        WriteUtf16(key);
        if (!WriteValue(entry, depth + 1)) return false;
      }
      return true;
    }
  }
  return false;
}

bool SerializeProtoValue(const ProtoValue& value, std::string& out) {
  OProtoValueStream stream;
  if (stream.Write(value) <= 0) return false;
  out.assign(reinterpret_cast<const char*>(stream.GetData()), stream.GetLength());
  return true;
}

bool ParseProtoValue(const std::string& bytes, ProtoValue& target) {
  IProtoValueStream stream(bytes.data(), bytes.size(), false);
  return stream.Read(target) > 0;
}
