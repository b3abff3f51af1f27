#include "commonlib/core/BufferStream.h"

#include <climits>
#include <cstring>

IBufferStream::IBufferStream(const void* data, size_t size, bool copy) {
  if (data == nullptr || size == 0) return;
  if (copy) {
    m_owned = std::make_unique_for_overwrite<uint8_t[]>(size);
    std::memcpy(m_owned.get(), data, size);
    m_data = m_owned.get();
  } else {
    m_data = static_cast<const uint8_t*>(data);
  }
  m_size = size;
}

int IBufferStream::Read(void* buffer, size_t count) {
  if (count > INT_MAX) return -1;
  if (m_position == m_size) return 0;
  const uint8_t* bytes = Take(count);
  if (bytes == nullptr) return -1;
  if (count != 0) std::memcpy(buffer, bytes, count);
  return static_cast<int>(count);
}

const uint8_t* IBufferStream::Take(size_t count) {
  if (count > Remaining()) return nullptr;
  const uint8_t* bytes = m_data + m_position;
  m_position += count;
  return bytes;
}

bool IBufferStream::Seek(uint64_t position) {
  if (position > m_size) return false;
  m_position = static_cast<size_t>(position);
  return true;
}

void IBufferStream::Close() {
  m_owned.reset();
  m_data = nullptr;
  m_size = 0;
  m_position = 0;
}

OBufferStream::OBufferStream()
    : m_data(std::make_unique_for_overwrite<uint8_t[]>(kInitialCapacity)), m_capacity(kInitialCapacity) {}

int OBufferStream::Write(const void* data, size_t count) {
  if (count > INT_MAX) return -1;
  MakeRoom(count);
  if (count != 0) std::memcpy(m_data.get() + m_length, data, count);
  m_length += count;
  return static_cast<int>(count);
}

void OBufferStream::MakeRoom(size_t count) {
  const size_t needed = m_length + count + kSpare;
  if (m_capacity >= needed) return;
  size_t capacity = m_capacity;
  while (capacity < needed) capacity = capacity == 0 ? kReopenCapacity : capacity * 2;
  auto block = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  if (m_length != 0) std::memcpy(block.get(), m_data.get(), m_length);
  m_data = std::move(block);
  m_capacity = capacity;
}

void OBufferStream::Close() {
  m_data.reset();
  m_capacity = 0;
  m_length = 0;
}
