// Streams over memory: IBufferStream reads a block (its own copy or the caller's memory),
// OBufferStream collects written bytes in a block that grows by doubling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "commonlib/core/BaseStream.h"

class IBufferStream : public IBaseStream {
 public:
  // With `copy` the stream reads its own copy of the bytes; without, it reads the caller's memory,
  // which must outlive it.
  IBufferStream(const void* data, size_t size, bool copy);
  IBufferStream(const IBufferStream&) = delete;
  IBufferStream& operator=(const IBufferStream&) = delete;

  int Read(void* buffer, size_t count) override;
  uint64_t GetSize() override { return m_size; }
  bool Seek(uint64_t position) override;
  // Frees the stream's own copy; the stream is empty afterwards.
  void Close() override;

  size_t Position() const { return m_position; }
  size_t Remaining() const { return m_size - m_position; }
  // The next `count` bytes without copying them, advancing past them; null (and no move) when fewer
  // remain.
  const uint8_t* Take(size_t count);

 private:
  std::unique_ptr<uint8_t[]> m_owned;  // set when the stream holds its own copy
  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
  size_t m_position = 0;
};

class OBufferStream : public OBaseStream {
 public:
  static constexpr size_t kInitialCapacity = 65535;
  // Capacity taken by a stream whose block was freed by Close and that is written again.
  static constexpr size_t kReopenCapacity = 524288;
  // Every write leaves this many spare bytes, so a varint can be encoded straight into the block.
  static constexpr size_t kSpare = 10;

  OBufferStream();
  OBufferStream(const OBufferStream&) = delete;
  OBufferStream& operator=(const OBufferStream&) = delete;

  int Write(const void* data, size_t count) override;
  // Frees the block; length and capacity are 0 afterwards.
  void Close() override;
  void Dispose() override { Close(); }

  // The bytes written so far; read them before Close.
  const uint8_t* GetData() const { return m_data.get(); }
  size_t GetLength() const { return m_length; }
  size_t GetCapacity() const { return m_capacity; }

 protected:
  // Grows the block until `count` more bytes and the spare fit.
  void MakeRoom(size_t count);
  // Room for at least kSpare bytes past the length; the caller advances with Commit.
  uint8_t* Tail() { return m_data.get() + m_length; }
  void Commit(size_t count) { m_length += count; }

 private:
  std::unique_ptr<uint8_t[]> m_data;
  size_t m_capacity = 0;
  size_t m_length = 0;
};
