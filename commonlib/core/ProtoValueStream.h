// The binary form of a ProtoValue, which is also the download engine's meta file format: a kind
// byte (the ProtoValueType number), then
//   integer      varint of the 64 bits taken as unsigned (no zig-zag: -1 takes ten bytes)
//   real         the IEEE double, 8 bytes little-endian
//   byte string  varint byte count, the bytes
//   wide string  varint byte count, UTF-16LE code units (no terminator)
//   array        varint element count, the elements in index order
//   map          varint entry count, per entry in key order: varint key byte count, the key in
//                UTF-16LE, the value
// Varints are the unsigned base-128 integers of Protocol Buffers (at most 10 bytes). There is no
// header, version or checksum; a stream holds one value. Map {a: 300} is 06 01 02 61 00 01 AC 02.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "commonlib/core/BufferStream.h"
#include "commonlib/core/ProtoValue.h"

// Containers nested deeper than this are refused by the reader and the writer, so that hostile
// input cannot exhaust the stack and every written value reads back.
inline constexpr int kProtoValueMaxNesting = 1000;

class IProtoValueStream : public IBufferStream {
 public:
  using IBufferStream::IBufferStream;
  using IBufferStream::Read;

  // Reads one value into `target`: the number of bytes consumed, 0 when the data ends before the
  // kind byte, -1 on malformed or truncated data. Values are read in place: an existing array is
  // appended to and an existing map's entries are overwritten; an empty array or map leaves the
  // target as it was. After -1 the target may hold part of the value.
  int Read(ProtoValue& target);
  // The number of bytes of the varint, 0 at the end of the data, -1 when it is cut short or longer
  // than 10 bytes.
  int ReadVarint(uint64_t& value);

 private:
  enum class Status { kEnd, kOk, kBad };

  Status ReadValue(ProtoValue& target, int depth);
  bool ReadLength(size_t& length);
  bool ReadArray(ProtoValue& target, int depth);
  bool ReadMap(ProtoValue& target, int depth);
};

class OProtoValueStream : public OBufferStream {
 public:
  using OBufferStream::Write;

  // The number of bytes written, or -1 when the tree nests deeper than kProtoValueMaxNesting (what
  // was written before stays in the buffer).
  int Write(const ProtoValue& value);
  // Appends the varint of `value`; returns its length in bytes.
  int WriteVarint(uint64_t value);

 private:
  bool WriteValue(const ProtoValue& value, int depth);
  void WriteUtf16(const std::wstring& text);
};

// The whole binary form of `value` in `out`; true when at least one byte was written (`out` is left
// alone otherwise).
bool SerializeProtoValue(const ProtoValue& value, std::string& out);
// Parses one value from the start of `bytes` into `target` (read in place as by
// IProtoValueStream::Read); true when it read a whole value.
bool ParseProtoValue(const std::string& bytes, ProtoValue& target);
