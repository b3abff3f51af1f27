#include "commonlib/util/MD5.h"

#include <openssl/evp.h>

#include <cstring>
#include <iostream>

#include "platform/format.h"

namespace {

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

void MD5::ContextDeleter::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

void MD5::Init() {
  m_context.reset(EVP_MD_CTX_new());
  if (m_context != nullptr && EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr) != 1) m_context.reset();
  std::memset(m_digest, 0, sizeof m_digest);
  m_finalized = false;
  m_text[0] = '\0';
}

void MD5::update(const void* data, size_t length) {
  if (m_finalized) {
    ReportMisuse("MD5::update:  Can't update a finalized digest!");
    return;
  }
  if (length == 0 || m_context == nullptr) return;
  if (EVP_DigestUpdate(m_context.get(), data, length) != 1) m_context.reset();
}

void MD5::finalize() {
  if (m_finalized) {
    ReportMisuse("MD5::finalize:  Already finalized this digest!");
    return;
  }
  // A digest whose context failed stays unfinished, so it never passes for a real one.
  unsigned int length = 0;
  if (m_context == nullptr || EVP_DigestFinal_ex(m_context.get(), m_digest, &length) != 1 ||
      length != sizeof m_digest) {
    m_context.reset();
    ReportMisuse("MD5::finalize:  the digest failed");
    return;
  }
  m_context.reset();
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
