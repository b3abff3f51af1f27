#include "bench/block_client/BlockClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace bench {
namespace {

constexpr int kMaxAttempts = 3;  // per block; a restart continues after the bytes already written

}  // namespace

BlockClient::BlockClient(const ClientOptions& options) : options_(options) {}

BlockClient::~BlockClient() {
  for (auto& source : sources_) {
    if (source->easy) {
      if (source->busy) curl_multi_remove_handle(multi_, source->easy);
      curl_easy_cleanup(source->easy);
    }
    curl_slist_free_all(source->connectTo);
  }
  if (multi_) curl_multi_cleanup(multi_);
  if (fd_ >= 0) close(fd_);
}

size_t BlockClient::OnBody(char* data, size_t size, size_t count, void* user) {
  auto* source = static_cast<Source*>(user);
  return source->owner->WriteBody(source, data, size * count);
}

// Bounded to the block: a body that is not the asked range, or longer than the block, is
// refused before a byte of it reaches the file.
size_t BlockClient::WriteBody(Source* source, const char* data, size_t size) {
  if (!source->checkedStatus) {
    long status = 0;
    curl_easy_getinfo(source->easy, CURLINFO_RESPONSE_CODE, &status);
    source->checkedStatus = true;
    if (status != 206) {
      failure_ = "source " + std::to_string(source->index) + " answered " + std::to_string(status) + " to a range";
      source->refused = true;
      return 0;
    }
  }
  Block& block = source->block;
  if (size > block.Length() - block.received) {
    failure_ = "source " + std::to_string(source->index) + " sent more than its block";
    source->refused = true;
    return 0;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(block.start + block.received + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      failure_ = std::string("write: ") + std::strerror(errno);
      source->refused = true;
      return 0;
    }
    done += static_cast<size_t>(n);
  }
  block.received += size;
  return size;
}

bool BlockClient::SetUpSource(Source* source, const SourceSpec& spec) {
  source->easy = curl_easy_init();
  if (!source->easy) return false;
  CURL* easy = source->easy;
  curl_easy_setopt(easy, CURLOPT_URL, spec.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");  // loopback only, whatever the environment says
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "HTTP-VKQX-1.0");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);  // the engine gives up on 16 s of silence
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 16L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &BlockClient::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, source);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, source);
  if (!spec.connectTo.empty()) {
    source->connectTo = curl_slist_append(nullptr, spec.connectTo.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, source->connectTo);
  }
  return true;
}

bool BlockClient::TakeNextBlock(Block* block) {
  if (nextOffset_ >= options_.size) return false;
  block->start = nextOffset_;
  block->end = std::min(options_.size, nextOffset_ + options_.blockSize) - 1;
  block->received = 0;
  nextOffset_ = block->end + 1;
  return true;
}

void BlockClient::StartRequest(Source* source) {
  const Block& block = source->block;
  char range[64];
  std::snprintf(range, sizeof range, "%" PRIu64 "-%" PRIu64, block.start + block.received, block.end);
  curl_easy_setopt(source->easy, CURLOPT_RANGE, range);
  source->checkedStatus = false;
  source->busy = true;
  ++source->attempts;
  curl_multi_add_handle(multi_, source->easy);
}

// Returns false when the download cannot succeed any more.
bool BlockClient::OnRequestDone(Source* source, CURLcode code) {
  curl_multi_remove_handle(multi_, source->easy);
  source->busy = false;
  long connects = 0;
  curl_easy_getinfo(source->easy, CURLINFO_NUM_CONNECTS, &connects);
  source->connects += connects;
  Block& block = source->block;
  if (code == CURLE_OK && block.received == block.Length()) {
    ++source->blocks;
    source->attempts = 0;
    if (TakeNextBlock(&block)) StartRequest(source);
    return true;
  }
  if (code == CURLE_OK) {
    failure_ = "source " + std::to_string(source->index) + " ended its block short";
    return false;
  }
  if (source->refused || source->attempts >= kMaxAttempts) {
    if (failure_.empty()) failure_ = "source " + std::to_string(source->index) + ": " + curl_easy_strerror(code);
    return false;
  }
  std::fprintf(stderr, "block_client: source %zu: %s, retrying at %" PRIu64 "\n", source->index,
               curl_easy_strerror(code), block.start + block.received);
  StartRequest(source);
  return true;
}

int BlockClient::Run() {
  fd_ = open(options_.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(options_.size)) != 0) {
    std::fprintf(stderr, "block_client: %s: %s\n", options_.out.c_str(), std::strerror(errno));
    return 1;
  }
  multi_ = curl_multi_init();
  // Requests in flight per source: one transfer each, on a connection of its own.
  for (uint32_t lane = 0; lane < options_.inFlight; ++lane) {
    for (size_t i = 0; i < options_.sources.size(); ++i) {
      auto source = std::make_unique<Source>();
      source->owner = this;
      source->index = sources_.size();
      if (!SetUpSource(source.get(), options_.sources[i])) {
        std::fprintf(stderr, "block_client: cannot create a transfer\n");
        return 1;
      }
      sources_.push_back(std::move(source));
    }
  }

  const auto begin = std::chrono::steady_clock::now();
  const auto endAt = begin + std::chrono::seconds(options_.maxSeconds);
  for (auto& source : sources_) {
    if (TakeNextBlock(&source->block)) StartRequest(source.get());
  }
  bool ok = true;
  for (;;) {
    int running = 0;
    curl_multi_perform(multi_, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Source* source = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &source);
      ok = OnRequestDone(source, message->data.result) && ok;
    }
    bool busy = false;
    for (auto& source : sources_) busy |= source->busy;
    if (!ok || !busy) break;
    if (std::chrono::steady_clock::now() >= endAt) {
      failure_ = "maximum run time reached";
      ok = false;
      break;
    }
    curl_multi_poll(multi_, nullptr, 0, 200, nullptr);
  }
  if (!ok) {
    std::fprintf(stderr, "block_client: failed: %s\n", failure_.c_str());
    return 1;
  }
  if (close(fd_) != 0) {
    fd_ = -1;
    std::fprintf(stderr, "block_client: close: %s\n", std::strerror(errno));
    return 1;
  }
  fd_ = -1;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::fprintf(stderr, "block_client: %" PRIu64 " bytes in %.3f s (%.1f MiB/s)", options_.size, seconds,
               seconds > 0 ? static_cast<double>(options_.size) / seconds / (1 << 20) : 0.0);
  for (auto& source : sources_) {
    std::fprintf(stderr, "; source %zu: %" PRIu64 " blocks, %ld connections", source->index, source->blocks,
                 source->connects);
  }
  std::fprintf(stderr, "\n");
  return 0;
}

}  // namespace bench
