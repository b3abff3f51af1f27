#include "commonlib/util/MD5.h"

#include <cstring>
#include <iostream>

#include "platform/format.h"

namespace {

constexpr uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
constexpr uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
constexpr uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
constexpr uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
constexpr uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// Per-step shift amounts and the sine-derived constants of RFC 1321, section 3.4.
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void StoreLE32(uint32_t v, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void ReportMisuse(const char* text) { std::cerr << text << std::endl; }

}  // namespace

MD5::MD5() { Init(); }

MD5::MD5(const void* data, size_t length) {
  Init();
  update(data, length);
  finalize();
}

MD5::MD5(FILE* stream) {
  Init();
  if (stream == nullptr) return;
  uint8_t chunk[1024];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, stream)) != 0) update(chunk, n);
  std::fclose(stream);
  finalize();
}

void MD5::Init() {
  m_state[0] = 0x67452301;
  m_state[1] = 0xefcdab89;
  m_state[2] = 0x98badcfe;
  m_state[3] = 0x10325476;
  m_bitCount = 0;
  std::memset(m_buffer, 0, sizeof m_buffer);
  std::memset(m_digest, 0, sizeof m_digest);
  m_finalized = false;
  m_text[0] = '\0';
}

void MD5::update(const void* data, size_t length) {
  if (m_finalized) {
    ReportMisuse("MD5::update:  Can't update a finalized digest!");
    return;
  }
  if (length == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>((m_bitCount >> 3) & 63);
  m_bitCount += static_cast<uint64_t>(length) << 3;
  if (used != 0) {
    const size_t take = length < 64 - used ? length : 64 - used;
    std::memcpy(m_buffer + used, bytes, take);
    bytes += take;
    length -= take;
    used += take;
    if (used < 64) return;
    Transform(m_buffer);
  }
  for (; length >= 64; bytes += 64, length -= 64) Transform(bytes);
  if (length != 0) std::memcpy(m_buffer, bytes, length);
}

void MD5::finalize() {
  if (m_finalized) {
    ReportMisuse("MD5::finalize:  Already finalized this digest!");
    return;
  }
  uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(m_bitCount >> (8 * i));
  static const uint8_t kPadding[64] = {0x80};
  const size_t used = static_cast<size_t>((m_bitCount >> 3) & 63);
  update(kPadding, used < 56 ? 56 - used : 120 - used);
  update(lengthBytes, sizeof lengthBytes);
  for (int i = 0; i < 4; ++i) StoreLE32(m_state[i], m_digest + 4 * i);
  std::memset(m_buffer, 0, sizeof m_buffer);
  m_finalized = true;
}

const char* MD5::hex_digest() {
  if (!m_finalized) {
    ReportMisuse("MD5::hex_digest:  Can't get digest if you haven't finalized the digest!");
    m_text[0] = '\0';
    return m_text;
  }
  for (int i = 0; i < 16; ++i) {
    const std::string pair = platform::StrFormat("%02x", static_cast<unsigned>(m_digest[i]));
    std::memcpy(m_text + 2 * i, pair.data(), 2);
  }
  m_text[32] = '\0';
  return m_text;
}

void MD5::hex_digest(wchar_t* out) const {
  if (!m_finalized || out == nullptr) return;
  for (int i = 0; i < 16; ++i) {
    const std::wstring pair = platform::StrFormat(L"%02x", static_cast<unsigned>(m_digest[i]));
    out[2 * i] = pair[0];
    out[2 * i + 1] = pair[1];
  }
  out[32] = L'\0';
}

void MD5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
  uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
  for (int step = 0; step < 64; ++step) {
    uint32_t f;
    int k;
    switch (step / 16) {
      case 0: f = F(b, c, d); k = step; break;
      case 1: f = G(b, c, d); k = (5 * step + 1) % 16; break;
      case 2: f = H(b, c, d); k = (3 * step + 5) % 16; break;
      default: f = I(b, c, d); k = (7 * step) % 16; break;
    }
    const uint32_t rotated = b + RotateLeft(a + f + kSine[step] + x[k], kShift[step]);
    a = d;
    d = c;
    c = b;
    b = rotated;
  }
  m_state[0] += a;
  m_state[1] += b;
  m_state[2] += c;
  m_state[3] += d;
}
