// What the bench programs' option parsers share: the walk over "--name value" pairs and the
// checks of numbers and loopback addresses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace bench {

// Calls `handle(name, value)` for every "--name value" pair in argv[1..]. False with *error set
// when a name has no value or `handle` refuses a pair (it sets *error itself); false with an
// empty *error for --help or -h.
bool WalkOptions(int argc, char** argv, std::string* error,
                 const std::function<bool(const std::string& name, const std::string& value)>& handle);

// A plain decimal number that fills the whole text.
bool ParseUnsigned(const std::string& text, uint64_t* out);

// --max-seconds: 1 to 86400. False with *error set otherwise.
bool ParseMaxSeconds(const std::string& value, uint32_t* out, std::string* error);

// A dotted IPv4 address in 127.0.0.0/8.
bool IsLoopbackAddress(const std::string& text);

}  // namespace bench
