// The layout of the self-extracting package vkinstaller.exe, shared by the program that builds it
// and the stub that unpacks it:
//
//   [stub program][zip archive][trailer]
//
// The trailer is the last 24 bytes: the magic "VKQXPKG1", then the archive's offset and length in
// bytes, each 64-bit little-endian. The archive is an ordinary zip (deflated entries, names with
// "/" separators, Unix modes in the external attributes), so the payload can be listed with any
// zip tool that is told to skip the stub.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vkpkg {

inline constexpr char kMagic[8] = {'V', 'K', 'Q', 'X', 'P', 'K', 'G', '1'};
inline constexpr size_t kTrailerSize = 24;

struct Trailer {
  uint64_t offset = 0;
  uint64_t length = 0;
};

inline void PutLE64(unsigned char* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint64_t GetLE64(const unsigned char* in) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

inline void EncodeTrailer(const Trailer& trailer, unsigned char out[kTrailerSize]) {
  std::memcpy(out, kMagic, sizeof kMagic);
  PutLE64(out + 8, trailer.offset);
  PutLE64(out + 16, trailer.length);
}

// False when the bytes are no trailer or describe an archive that does not end where the trailer
// begins in a file of `fileSize` bytes.
inline bool DecodeTrailer(const unsigned char in[kTrailerSize], uint64_t fileSize, Trailer* trailer) {
  if (std::memcmp(in, kMagic, sizeof kMagic) != 0 || fileSize < kTrailerSize) return false;
  trailer->offset = GetLE64(in + 8);
  trailer->length = GetLE64(in + 16);
  const uint64_t end = fileSize - kTrailerSize;
  return trailer->length > 0 && trailer->offset <= end && trailer->length == end - trailer->offset;
}

}  // namespace vkpkg
