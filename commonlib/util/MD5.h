// The MD5 message digest (RFC 1321) of a memory block or of a whole C stdio stream, rendered as
// 32 lowercase hexadecimal digits. Misuse (updating or finalising twice, reading an unfinished
// digest) is reported on standard error only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class MD5 {
 public:
  // An empty, unfinished digest: feed it with update, then finalize.
  MD5();
  // The digest of `length` bytes at `data`; finished.
  MD5(const void* data, size_t length);
  // The digest of everything left in `stream`, read in chunks of 1024 bytes; the object closes
  // the stream. A null stream leaves the digest unfinished, so it never passes for an empty file.
  explicit MD5(FILE* stream);

  void update(const void* data, size_t length);
  void finalize();
  // 32 lowercase hexadecimal digits in a buffer owned by this object, rewritten by every call;
  // an empty string while the digest is unfinished.
  const char* hex_digest();
  // The same digits, wide, into `out` (at least 33 characters); untouched while unfinished.
  void hex_digest(wchar_t* out) const;

 private:
  void Init();
  void Transform(const uint8_t block[64]);

  uint32_t m_state[4];
  uint64_t m_bitCount;
  uint8_t m_buffer[64];
  uint8_t m_digest[16];
  bool m_finalized;
  char m_text[33];
};
