// Command line of block_client.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct SourceSpec {
  std::string url;
  std::string connectTo;  // a curl connect-to entry ("::ADDR:PORT"), empty for a source by name
};

struct ClientOptions {
  std::vector<SourceSpec> sources;
  uint64_t size = 0;
  bool sizeGiven = false;
  std::string out;
  uint64_t blockSize = 1310720;  // the engine's block for an HTTP source
  uint32_t maxSeconds = 600;
  uint32_t inFlight = 1;  // requests each source keeps in flight, each on its own connection
};

bool ParseClientOptions(int argc, char** argv, ClientOptions* options, std::string* error);

const char* ClientUsage();

}  // namespace bench
