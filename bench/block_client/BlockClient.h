// The ideal block client: several keep-alive sources on one curl multi handle, each fetching one
// block per Range request and taking the next free block as soon as its last one is in, written
// with positioned writes into a pre-sized file. Nothing else: no state file, no threads, no timers.
// With --in-flight 2 every source keeps two requests going (the engine's limit when it asks
// ahead), always, on two connections.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/block_client/ClientOptions.h"

namespace bench {

struct Block {
  uint64_t start = 0;
  uint64_t end = 0;       // inclusive
  uint64_t received = 0;  // bytes of the block on disk
  uint64_t Length() const { return end - start + 1; }
};

class BlockClient {
 public:
  explicit BlockClient(const ClientOptions& options);
  ~BlockClient();
  BlockClient(const BlockClient&) = delete;
  BlockClient& operator=(const BlockClient&) = delete;

  // Downloads the whole file; returns the process exit code.
  int Run();

 private:
  struct Source {
    BlockClient* owner = nullptr;
    size_t index = 0;
    CURL* easy = nullptr;
    curl_slist* connectTo = nullptr;
    Block block;
    bool busy = false;
    bool checkedStatus = false;
    bool refused = false;  // the answer was not the range asked for: never retried
    int attempts = 0;
    uint64_t blocks = 0;
    long connects = 0;
  };

  static size_t OnBody(char* data, size_t size, size_t count, void* user);
  size_t WriteBody(Source* source, const char* data, size_t size);
  bool SetUpSource(Source* source, const SourceSpec& spec);
  bool TakeNextBlock(Block* block);
  void StartRequest(Source* source);
  bool OnRequestDone(Source* source, CURLcode code);

  ClientOptions options_;
  int fd_ = -1;
  CURLM* multi_ = nullptr;
  std::vector<std::unique_ptr<Source>> sources_;
  uint64_t nextOffset_ = 0;
  std::string failure_;
};

}  // namespace bench
