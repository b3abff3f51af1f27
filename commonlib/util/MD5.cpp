#include "commonlib/util/MD5.h"

#include <cstring>
#include <iostream>

#include "platform/format.h"

namespace {

constexpr uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
// F and G in the equivalent forms with one operation fewer: (x & y) | (~x & z) and
// (x & z) | (y & ~z).
constexpr uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
constexpr uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
constexpr uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
constexpr uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

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

// One step of a round, written out: with the shift and the constant as compile-time values the
// compiler keeps a, b, c and d in registers, which a loop over the step number does not allow.
#define MD5_STEP(f, a, b, c, d, x, shift, sine) \
  (a) += f((b), (c), (d)) + (x) + (sine);       \
  (a) = RotateLeft((a), (shift)) + (b)

void MD5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
  uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];

  MD5_STEP(F, a, b, c, d, x[0], 7, 0xd76aa478);
  MD5_STEP(F, d, a, b, c, x[1], 12, 0xe8c7b756);
  MD5_STEP(F, c, d, a, b, x[2], 17, 0x242070db);
  MD5_STEP(F, b, c, d, a, x[3], 22, 0xc1bdceee);
  MD5_STEP(F, a, b, c, d, x[4], 7, 0xf57c0faf);
  MD5_STEP(F, d, a, b, c, x[5], 12, 0x4787c62a);
  MD5_STEP(F, c, d, a, b, x[6], 17, 0xa8304613);
  MD5_STEP(F, b, c, d, a, x[7], 22, 0xfd469501);
  MD5_STEP(F, a, b, c, d, x[8], 7, 0x698098d8);
  MD5_STEP(F, d, a, b, c, x[9], 12, 0x8b44f7af);
  MD5_STEP(F, c, d, a, b, x[10], 17, 0xffff5bb1);
  MD5_STEP(F, b, c, d, a, x[11], 22, 0x895cd7be);
  MD5_STEP(F, a, b, c, d, x[12], 7, 0x6b901122);
  MD5_STEP(F, d, a, b, c, x[13], 12, 0xfd987193);
  MD5_STEP(F, c, d, a, b, x[14], 17, 0xa679438e);
  MD5_STEP(F, b, c, d, a, x[15], 22, 0x49b40821);

  MD5_STEP(G, a, b, c, d, x[1], 5, 0xf61e2562);
  MD5_STEP(G, d, a, b, c, x[6], 9, 0xc040b340);
  MD5_STEP(G, c, d, a, b, x[11], 14, 0x265e5a51);
  MD5_STEP(G, b, c, d, a, x[0], 20, 0xe9b6c7aa);
  MD5_STEP(G, a, b, c, d, x[5], 5, 0xd62f105d);
  MD5_STEP(G, d, a, b, c, x[10], 9, 0x02441453);
  MD5_STEP(G, c, d, a, b, x[15], 14, 0xd8a1e681);
  MD5_STEP(G, b, c, d, a, x[4], 20, 0xe7d3fbc8);
  MD5_STEP(G, a, b, c, d, x[9], 5, 0x21e1cde6);
  MD5_STEP(G, d, a, b, c, x[14], 9, 0xc33707d6);
  MD5_STEP(G, c, d, a, b, x[3], 14, 0xf4d50d87);
  MD5_STEP(G, b, c, d, a, x[8], 20, 0x455a14ed);
  MD5_STEP(G, a, b, c, d, x[13], 5, 0xa9e3e905);
  MD5_STEP(G, d, a, b, c, x[2], 9, 0xfcefa3f8);
  MD5_STEP(G, c, d, a, b, x[7], 14, 0x676f02d9);
  MD5_STEP(G, b, c, d, a, x[12], 20, 0x8d2a4c8a);

  MD5_STEP(H, a, b, c, d, x[5], 4, 0xfffa3942);
  MD5_STEP(H, d, a, b, c, x[8], 11, 0x8771f681);
  MD5_STEP(H, c, d, a, b, x[11], 16, 0x6d9d6122);
  MD5_STEP(H, b, c, d, a, x[14], 23, 0xfde5380c);
  MD5_STEP(H, a, b, c, d, x[1], 4, 0xa4beea44);
  MD5_STEP(H, d, a, b, c, x[4], 11, 0x4bdecfa9);
  MD5_STEP(H, c, d, a, b, x[7], 16, 0xf6bb4b60);
  MD5_STEP(H, b, c, d, a, x[10], 23, 0xbebfbc70);
  MD5_STEP(H, a, b, c, d, x[13], 4, 0x289b7ec6);
  MD5_STEP(H, d, a, b, c, x[0], 11, 0xeaa127fa);
  MD5_STEP(H, c, d, a, b, x[3], 16, 0xd4ef3085);
  MD5_STEP(H, b, c, d, a, x[6], 23, 0x04881d05);
  MD5_STEP(H, a, b, c, d, x[9], 4, 0xd9d4d039);
  MD5_STEP(H, d, a, b, c, x[12], 11, 0xe6db99e5);
  MD5_STEP(H, c, d, a, b, x[15], 16, 0x1fa27cf8);
  MD5_STEP(H, b, c, d, a, x[2], 23, 0xc4ac5665);

  MD5_STEP(I, a, b, c, d, x[0], 6, 0xf4292244);
  MD5_STEP(I, d, a, b, c, x[7], 10, 0x432aff97);
  MD5_STEP(I, c, d, a, b, x[14], 15, 0xab9423a7);
  MD5_STEP(I, b, c, d, a, x[5], 21, 0xfc93a039);
  MD5_STEP(I, a, b, c, d, x[12], 6, 0x655b59c3);
  MD5_STEP(I, d, a, b, c, x[3], 10, 0x8f0ccc92);
  MD5_STEP(I, c, d, a, b, x[10], 15, 0xffeff47d);
  MD5_STEP(I, b, c, d, a, x[1], 21, 0x85845dd1);
  MD5_STEP(I, a, b, c, d, x[8], 6, 0x6fa87e4f);
  MD5_STEP(I, d, a, b, c, x[15], 10, 0xfe2ce6e0);
  MD5_STEP(I, c, d, a, b, x[6], 15, 0xa3014314);
  MD5_STEP(I, b, c, d, a, x[13], 21, 0x4e0811a1);
  MD5_STEP(I, a, b, c, d, x[4], 6, 0xf7537e82);
  MD5_STEP(I, d, a, b, c, x[11], 10, 0xbd3af235);
  MD5_STEP(I, c, d, a, b, x[2], 15, 0x2ad7d2bb);
  MD5_STEP(I, b, c, d, a, x[9], 21, 0xeb86d391);

  m_state[0] += a;
  m_state[1] += b;
  m_state[2] += c;
  m_state[3] += d;
}

#undef MD5_STEP
