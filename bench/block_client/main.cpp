// block_client: the reference client of the benchmarks. It makes exactly the download engine's
// requests (one block per Range request, a few keep-alive sources) and nothing else, so the cost
// of that request pattern can be told apart from the engine's own overheads.
#include <curl/curl.h>

#include <cstdio>
#include <string>

#include "bench/block_client/BlockClient.h"
#include "bench/block_client/ClientOptions.h"

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  bench::ClientOptions options;
  std::string error;
  int code = 2;
  if (!bench::ParseClientOptions(argc, argv, &options, &error)) {
    if (!error.empty()) std::fprintf(stderr, "block_client: %s\n", error.c_str());
    std::fputs(bench::ClientUsage(), stderr);
  } else {
    bench::BlockClient client(options);
    code = client.Run();
  }
  curl_global_cleanup();
  return code;
}
