#include "bench/block_client/ClientOptions.h"

#include <curl/curl.h>

#include "bench/common/CommandLine.h"

namespace bench {
namespace {

// The URL's host must be loopback and its port known, since pinned sources reuse it.
bool LoopbackUrlPort(const std::string& url, std::string* port, std::string* error) {
  CURLU* handle = curl_url();
  bool ok = curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  char* host = nullptr;
  char* portText = nullptr;
  ok = ok && curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK;
  ok = ok && curl_url_get(handle, CURLUPART_PORT, &portText, CURLU_DEFAULT_PORT) == CURLUE_OK;
  if (!ok) {
    *error = "bad URL " + url;
  } else if (std::string(host) != "localhost" && !IsLoopbackAddress(host)) {
    *error = "not a loopback URL: " + url;
    ok = false;
  } else {
    *port = portText;
  }
  curl_free(host);
  curl_free(portText);
  curl_url_cleanup(handle);
  return ok;
}

}  // namespace

const char* ClientUsage() {
  return "usage: block_client --url URL [--url URL]... [--pin ADDR]... --size BYTES --out PATH\n"
         "                    [--block BYTES] [--max-seconds S] [--in-flight N]\n"
         "  Every --url is one source; every --pin is one more source for the first URL, connected\n"
         "  to ADDR on the URL's port. Each source fetches one block per Range request over its own\n"
         "  keep-alive connection and takes the next free block when done. With --in-flight N each\n"
         "  source keeps N such requests going, on N connections. Loopback only.\n";
}

bool ParseClientOptions(int argc, char** argv, ClientOptions* options, std::string* error) {
  std::vector<std::string> urls;
  std::vector<std::string> pins;
  const bool walked = WalkOptions(argc, argv, error, [&](const std::string& name, const std::string& value) {
    if (name == "--url") {
      urls.push_back(value);
    } else if (name == "--pin") {
      if (!IsLoopbackAddress(value)) { *error = "not a loopback address: " + value; return false; }
      pins.push_back(value);
    } else if (name == "--size") {
      if (!ParseUnsigned(value, &options->size)) { *error = "bad --size " + value; return false; }
      options->sizeGiven = true;
    } else if (name == "--out") {
      options->out = value;
    } else if (name == "--block") {
      if (!ParseUnsigned(value, &options->blockSize) || options->blockSize == 0) {
        *error = "bad --block " + value;
        return false;
      }
    } else if (name == "--in-flight") {
      uint64_t n = 0;
      if (!ParseUnsigned(value, &n) || n == 0 || n > 8) { *error = "bad --in-flight " + value; return false; }
      options->inFlight = static_cast<uint32_t>(n);
    } else if (name == "--max-seconds") {
      return ParseMaxSeconds(value, &options->maxSeconds, error);
    } else {
      *error = "unknown option " + name;
      return false;
    }
    return true;
  });
  if (!walked) return false;
  if (urls.empty() || !options->sizeGiven || options->out.empty()) {
    *error = "--url, --size and --out are required";
    return false;
  }
  std::string port;
  for (const std::string& url : urls) {
    if (!LoopbackUrlPort(url, &port, error)) return false;
    options->sources.push_back(SourceSpec{url, ""});
  }
  LoopbackUrlPort(urls.front(), &port, error);
  for (const std::string& pin : pins) options->sources.push_back(SourceSpec{urls.front(), "::" + pin + ":" + port});
  return true;
}

}  // namespace bench
