// The installer's command line: a table-driven parser of short options ("-h"), long options
// ("--hide") and free arguments into an option store. Errors never stop the program: the store
// records the first one (code and message) and parsing ends there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CmdLineOptionSpec {
  wchar_t key;               // 0 ends the table
  const wchar_t* longName;
  int32_t minValues;
  int32_t maxValues;
};

class CCmdLineOptions {
 public:
  enum Error : int32_t { kNone = 0, kWrongValueCount = 1, kUnrecognized = 2, kNoArgs = 3 };

  struct Entry {
    wchar_t key;
    std::vector<std::vector<std::wstring>> lists;  // one list per occurrence
  };

  // Parses the process's arguments, program path first.
  CCmdLineOptions(int argc, const wchar_t* const* argv);
  CCmdLineOptions(const CCmdLineOptions&) = delete;
  CCmdLineOptions& operator=(const CCmdLineOptions&) = delete;

  bool Has(wchar_t key) const;
  // The first value of the key's first list, when there is one.
  bool GetFirst(wchar_t key, std::wstring& value) const;
  const Entry* Find(wchar_t key) const;

  std::vector<std::unique_ptr<Entry>> entries;
  std::wstring message;  // the parser's own texts are at most 127 characters
  int32_t error = kNone;

 private:
  void Parse(int argc, const wchar_t* const* argv);
  Entry& EntryFor(wchar_t key);
};

// The installer's option table: 'n' free arguments, 'h' hide, 'i' id, 'r' run; ends with key 0.
const CmdLineOptionSpec* InstallerOptionTable();
